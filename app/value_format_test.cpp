#include "app/value_format.h"
#include "common/bit_cast.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string ours(double v) {
  char buf[zep::app::kMaxValueText];
  size_t n = zep::app::format_value(v, buf);
  return std::string(buf, n);
}

std::string ours_float(float v) {
  char buf[zep::app::kMaxValueText];
  size_t n = zep::app::format_float(v, buf);
  return std::string(buf, n);
}

std::string reference(double v) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%12.6g ", v);
  return std::string(buf, static_cast<size_t>(n));
}

using zep::float_from_bits;

// Compares the float road (and the double road, which takes floats through
// the same digits) with printf on one pattern; the message names it.
void expect_float_like_printf(uint32_t b) {
  const float f = float_from_bits(b);
  char buf[zep::app::kMaxValueText];
  char ref[64];
  const size_t n = zep::app::format_float(f, buf);
  const int m = std::snprintf(ref, sizeof ref, "%12.6g ", static_cast<double>(f));
  ASSERT_EQ(std::string(buf, n), std::string(ref, static_cast<size_t>(m)))
      << "float bits 0x" << std::hex << b;
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
  EXPECT_EQ(ours_float(-0.000123456789f), "-0.000123457 ");  // the widest fixed text
  EXPECT_EQ(ours_float(-1.5e-38f), "    -1.5e-38 ");
  EXPECT_EQ(ours_float(273.15f), "      273.15 ");
  EXPECT_EQ(ours_float(1.015625f), "     1.01562 ");  // an exact tie goes to even
  EXPECT_EQ(ours_float(1.046875f), "     1.04688 ");
}

TEST(ValueFormat, SpecialValuesAsTheCLibraryWritesThem) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {nan, -nan, inf, -inf, 0.0, -0.0}) EXPECT_EQ(ours(v), reference(v)) << v;
  EXPECT_EQ(ours(-nan), "        -nan ");
  // Every kind of float NaN (quiet, signalling, any payload, either sign),
  // the infinities, both zeros and the subnormal extremes.
  for (uint32_t b :
       {0x7FC00000u, 0xFFC00000u, 0x7F800001u, 0xFF800001u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x7FA5A5A5u,
        0x7F800000u, 0xFF800000u, 0x00000000u, 0x80000000u, 0x00000001u, 0x80000001u, 0x007FFFFFu,
        0x807FFFFFu, 0x00800000u, 0x7F7FFFFFu, 0xFF7FFFFFu}) {
    expect_float_like_printf(b);
  }
}

// A hundred thousand patterns spread evenly over all 2^32 (an odd stride
// reaches every exponent and many low significand bit patterns), then every
// exponent with the significands at both ends of its binade. Every one of
// the 2^32 patterns is compared by `make check-formatter`.
TEST(ValueFormat, FloatRoadIdenticalToPrintfOverASampleOfPatterns) {
  const uint32_t kStride = 42901;  // 2^32 / 42901 ≈ 100 thousand
  for (uint64_t b = 7; b <= 0xFFFFFFFFu; b += kStride) {
    expect_float_like_printf(static_cast<uint32_t>(b));
    if (HasFatalFailure()) return;
  }
  for (uint32_t expo = 0; expo < 256; ++expo) {
    for (uint32_t sign = 0; sign < 2; ++sign) {
      for (uint32_t low = 0; low < 64; ++low) {
        expect_float_like_printf(sign << 31 | expo << 23 | low);
        expect_float_like_printf(sign << 31 | expo << 23 | (0x7FFFFFu - low));
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Around every decimal boundary a float can reach: 10^k (where the number of
// digits before the point changes, and the fixed form gives way to the
// exponent form at 1e-5 and 1e6) and the values that round up to it
// (9.999995·10^k), 2000 patterns either side of each.
TEST(ValueFormat, FloatRoadIdenticalToPrintfAroundDecimalBoundaries) {
  for (int k = -46; k <= 38; ++k) {
    for (long double mant : {1.0L, 9.999995L, 5.0L, 1.000005L, 2.5L}) {
      const float f = static_cast<float>(mant * std::pow(10.0L, k));
      if (!std::isfinite(f) || f == 0.0f) continue;
      const uint32_t center = zep::float_bits(f);
      for (int d = -2000; d <= 2000; ++d) {
        const uint32_t b = center + static_cast<uint32_t>(d);
        if ((b & 0x7F800000u) == 0x7F800000u || (b >> 31) != (center >> 31)) continue;
        expect_float_like_printf(b);
        expect_float_like_printf(b | 0x80000000u);
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Whether k / 2^n (k odd) is an exact tie at the sixth significant digit:
// twice the value times 10^t an odd integer of six digits and a half.
bool is_sixth_digit_tie(uint64_t k, int n) {
  using u128 = unsigned __int128;
  u128 ten = 1;
  for (int t = 0; t <= 27; ++t, ten *= 10) {
    const u128 twice = static_cast<u128>(k) * ten * 2;
    if (n >= 128 || (twice & ((static_cast<u128>(1) << n) - 1)) != 0) continue;
    const u128 q = twice >> n;
    if ((q & 1) && q / 2 >= 100000 && q / 2 < 1000000) return true;
  }
  return false;
}

// Exact ties at the sixth digit round to even as the C library does. Below
// 10^6 the ties are dyadic fractions: short ones (k / 2^n) are searched and
// counted; above, integers whose seventh digit is 5 and the rest zeros.
TEST(ValueFormat, FloatRoadRoundsExactTiesToEven) {
  int ties = 0;
  for (int n = 1; n <= 34; ++n) {
    for (uint64_t k = 1; k < (1u << 24); k += 2 * 211) {
      const float f = std::ldexp(static_cast<float>(k), -n);
      ties += is_sixth_digit_tie(k, n);
      expect_float_like_printf(zep::float_bits(f));
      expect_float_like_printf(zep::float_bits(-f));
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(ties, 1000);  // the search above met ties
  for (int64_t scale = 1; scale <= 1000; scale *= 10) {
    for (int64_t j = 100000; j < 1000000; j += 13) {
      const double v = static_cast<double>((2 * j + 1) * 5 * scale);  // ...5 then zeros
      const float f = static_cast<float>(v);
      if (static_cast<double>(f) != v) continue;
      expect_float_like_printf(zep::float_bits(f));
      if (HasFatalFailure()) return;
    }
  }
  // Values of a 16-bit packed temperature field: 240 + n/1024, one in 128 a tie.
  for (uint32_t n = 0; n < 80 * 1024; ++n) {
    expect_float_like_printf(zep::float_bits(240.0f + static_cast<float>(n) / 1024.0f));
    if (HasFatalFailure()) return;
  }
  EXPECT_EQ(ours_float(1234565.0f), " 1.23456e+06 ");
  EXPECT_EQ(ours_float(1234575.0f), " 1.23458e+06 ");
  EXPECT_EQ(ours_float(0.0001220703125f), "  0.00012207 ");  // 2^-13
}

TEST(ValueFormat, FloatRoadIdenticalToPrintfOverSubnormals) {
  for (uint32_t b = 1; b < 0x800000u; b += 37) {
    expect_float_like_printf(b);
    expect_float_like_printf(b | 0x80000000u);
    if (HasFatalFailure()) return;
  }
  for (uint32_t shift = 0; shift < 23; ++shift) {
    expect_float_like_printf(1u << shift);
    expect_float_like_printf((1u << shift) - 1 + (shift == 0));
  }
}

TEST(ValueFormat, ManyFloatsWriteThirteenBytesEachAndNoMore) {
  std::mt19937 rng(77);
  std::vector<float> values(1001);
  for (auto &v : values) v = float_from_bits(static_cast<uint32_t>(rng()));
  values[3] = std::numeric_limits<float>::quiet_NaN();
  values[4] = -std::numeric_limits<float>::infinity();
  values[5] = -0.0f;
  // Exactly the room promised: the sanitizer catches a write past it.
  std::vector<char> out(13 * values.size() + zep::app::kMaxValueText);
  char *end = zep::app::format_floats(values.data(), values.size(), out.data());
  ASSERT_EQ(end - out.data(), static_cast<std::ptrdiff_t>(13 * values.size()));
  std::string expected;
  for (float v : values) expected += reference(v);
  EXPECT_EQ(std::string(out.data(), 13 * values.size()), expected);
  EXPECT_EQ(zep::app::format_floats(values.data(), 0, out.data()), out.data());
}

TEST(ValueFormat, IntegersOfEveryWidthAsPrintf) {
  // Integer records (unsigned and signed 32-bit) take the integer road:
  // every digit count, the ties of the sixth digit, the extremes.
  std::vector<int64_t> cases = {1,
                                9,
                                10,
                                99999,
                                100000,
                                999999,
                                1000000,
                                1000001,
                                1234565,
                                1234575,
                                1234555,
                                9999995,
                                9999994,
                                99999950,
                                2147483647,
                                4294967295LL,
                                4294967296LL,
                                999999500,
                                999998500,
                                9007199254740991LL,
                                123456500000000LL,
                                123457500000000LL,
                                1000000000000000LL};
  for (int64_t p = 10; p < 100000000000LL; p *= 10) {
    for (int64_t d = -3; d <= 3; ++d) cases.push_back(p + d);
    cases.push_back(p * 12 + p / 2);  // ...25 followed by zeros: a tie when long enough
  }
  for (int64_t c : cases) {
    EXPECT_EQ(ours(static_cast<double>(c)), reference(static_cast<double>(c))) << c;
    EXPECT_EQ(ours(-static_cast<double>(c)), reference(-static_cast<double>(c))) << c;
  }
  EXPECT_EQ(ours(-2147483648.0), reference(-2147483648.0));
  std::mt19937_64 rng(5);
  for (int i = 0; i < 400000; ++i) {
    const double s = static_cast<double>(static_cast<int32_t>(rng()));
    const double u = static_cast<double>(static_cast<uint32_t>(rng()));
    const double w = static_cast<double>(static_cast<int64_t>(rng()) >> (rng() % 64));
    ASSERT_EQ(ours(s), reference(s)) << s;
    ASSERT_EQ(ours(u), reference(u)) << u;
    ASSERT_EQ(ours(w), reference(w)) << w;
  }
}

TEST(ValueFormat, DoublesOfEveryKindAsPrintf) {
  for (int e = -324; e <= 308; ++e) {
    const double p = std::pow(10.0, e);
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, HUGE_VAL), 9.999995 * p,
                     std::nextafter(9.999995 * p, 0.0), 1.5 * p, 5e-324,
                     std::numeric_limits<double>::max(), 2.2250738585072014e-308}) {
      ASSERT_EQ(ours(v), reference(v)) << v;
      ASSERT_EQ(ours(-v), reference(-v)) << v;
    }
  }
  std::mt19937_64 rng(99);
  for (int i = 0; i < 300000; ++i) {
    const uint64_t bits = rng();
    const double v = zep::double_from_bits(bits);
    ASSERT_EQ(ours(v), reference(v)) << std::hexfloat << v;
    // Doubles a float holds exactly go the float road.
    const double f = float_from_bits(static_cast<uint32_t>(bits));
    ASSERT_EQ(ours(f), reference(f)) << std::hexfloat << f;
    // Half-integers and other short fractions of integer size.
    const double h = static_cast<double>(static_cast<int32_t>(bits >> 32)) + 0.5;
    ASSERT_EQ(ours(h), reference(h)) << h;
  }
}

}  // namespace
