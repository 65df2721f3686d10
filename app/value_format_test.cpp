#include "app/value_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

std::string ours(double v) {
  char buf[app::kMaxValueText];
  size_t n = app::format_value(v, buf);
  return std::string(buf, n);
}

std::string reference(double v) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%12.6g ", v);
  return std::string(buf, static_cast<size_t>(n));
}

std::string ours_float(float v) {
  char buf[app::kMaxValueText];
  size_t n = app::format_float(v, buf);
  return std::string(buf, n);
}

float float_from_bits(uint32_t b) {
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}

TEST(ValueFormat, DocumentedExamples) {
  EXPECT_EQ(ours(1.0), "           1 ");
  EXPECT_EQ(ours(2.5), "         2.5 ");
  EXPECT_EQ(ours(0.0), "           0 ");
  EXPECT_EQ(ours(-0.0), "          -0 ");
  EXPECT_EQ(ours(1e6), "       1e+06 ");
  EXPECT_EQ(ours(999999.5), "       1e+06 ");  // rounds into the exponent form
  EXPECT_EQ(ours(0.0001), "      0.0001 ");
  EXPECT_EQ(ours(0.00001), "       1e-05 ");
  EXPECT_EQ(ours(-1.23456789e-300), "-1.23457e-300 ");
}

TEST(ValueFormat, SpecialValuesAsTheCLibraryWritesThem) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {nan, -nan, inf, -inf, 0.0, -0.0}) EXPECT_EQ(ours(v), reference(v)) << v;
  EXPECT_EQ(ours(-nan), "        -nan ");
}

TEST(ValueFormat, IdenticalToPrintfOverRandomFloatPatterns) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 2000000; ++i) {
    double v = float_from_bits(static_cast<uint32_t>(rng()));
    ASSERT_EQ(ours(v), reference(v)) << std::hexfloat << v;
  }
}

TEST(ValueFormat, FloatRoadIdenticalToPrintfOverEveryExponent) {
  // Every exponent, with random significands and the significands next to
  // the decimal boundaries of each binade.
  std::mt19937 rng(2024);
  for (uint32_t expo = 0; expo < 256; ++expo) {
    for (int sign = 0; sign < 2; ++sign) {
      for (uint32_t low : {0u, 1u, 2u, 0x7FFFFFu, 0x7FFFFEu, 0x400000u}) {
        float f = float_from_bits((sign << 31) | (expo << 23) | low);
        ASSERT_EQ(ours_float(f), reference(f)) << std::hexfloat << f;
      }
      for (int i = 0; i < 10000; ++i) {
        float f = float_from_bits((sign << 31) | (expo << 23) | (rng() & 0x7FFFFF));
        ASSERT_EQ(ours_float(f), reference(f)) << std::hexfloat << f;
      }
    }
  }
  for (int e = -45; e <= 38; ++e) {
    for (double mant : {1.0, 9.999995, 9.999994, 9.999996, 1.000005, 1.234565, 5.0}) {
      float f = static_cast<float>(mant * std::pow(10.0, e));
      for (int d = -2; d <= 2; ++d) {
        uint32_t b;
        std::memcpy(&b, &f, 4);
        float g = float_from_bits(b + static_cast<uint32_t>(d));
        ASSERT_EQ(ours_float(g), reference(g)) << std::hexfloat << g;
      }
    }
  }
  // Integers that are exact ties at six digits go through the exact road.
  for (float f : {1234565.0f, 1234575.0f, 2500000.0f, 9999995.0f, 0.0f, -0.0f}) {
    ASSERT_EQ(ours_float(f), reference(f)) << f;
  }
}

TEST(ValueFormat, IdenticalToPrintfNearRoundingBoundariesAndTies) {
  // Integers whose seventh digit is 5 are exact ties; values one ulp either
  // side of the decimal boundaries test the switch to the exponent form.
  for (int64_t base : {1234565LL, 1234575LL, 9999995LL, 100000LL, 999999LL, 1000000LL}) {
    for (int64_t d = -3; d <= 3; ++d) {
      double v = static_cast<double>(base + d);
      ASSERT_EQ(ours(v), reference(v)) << v;
      ASSERT_EQ(ours(-v), reference(-v)) << v;
    }
  }
  for (int e = -310; e <= 308; ++e) {
    double p = std::pow(10.0, e);
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, HUGE_VAL), 9.999995 * p,
                     std::nextafter(9.999995 * p, 0.0), 5e-324}) {
      ASSERT_EQ(ours(v), reference(v)) << v;
      float f = static_cast<float>(v);
      ASSERT_EQ(ours(f), reference(f)) << f;
    }
  }
  std::mt19937_64 rng(99);
  for (int i = 0; i < 300000; ++i) {
    double v;
    uint64_t bits = rng();
    std::memcpy(&v, &bits, 8);
    ASSERT_EQ(ours(v), reference(v));
    double w = static_cast<double>(static_cast<int32_t>(rng()));
    ASSERT_EQ(ours(w), reference(w));
  }
}

}  // namespace
