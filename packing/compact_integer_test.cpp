#include "packing/compact_integer.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "common/bit_stream.h"
#include "zep/packing.h"

namespace {

using zep::packing::PackStatus;

TEST(CompactIntegerNoHeader, AutomaticUnsignedWidth) {
  uint32_t values[3] = {1, 2, 5};
  uint32_t stream[1] = {0xFFFFFFFFu};
  EXPECT_EQ(compact_integer(values, nullptr, stream, 3, -1, 0, 1, 1), 3);
  EXPECT_EQ(stream[0] >> 23, 0b001010101u);
  EXPECT_EQ(stream[0] & 0x7FFFFFu, 0x7FFFFFu);  // the rest of the word is kept
  uint32_t out[3] = {};
  EXPECT_EQ(compact_integer(out, nullptr, stream, 3, 3, 0, 1, 2), 3);
  EXPECT_EQ(out[0], 1u);
  EXPECT_EQ(out[1], 2u);
  EXPECT_EQ(out[2], 5u);
}

TEST(CompactIntegerNoHeader, AutomaticSignedWidthAndBias) {
  int32_t values[2] = {-4, 3};
  uint32_t stream[1] = {0};
  EXPECT_EQ(compact_integer(values, nullptr, stream, 2, -1, 0, 1, 3), 4);
  EXPECT_EQ(stream[0] >> 24, (4u << 4) | 11u);
  int32_t out[2] = {};
  EXPECT_EQ(compact_integer(out, nullptr, stream, 2, 4, 0, 1, 4), 4);
  EXPECT_EQ(out[0], -4);
  EXPECT_EQ(out[1], 3);
}

TEST(CompactIntegerNoHeader, SignedExtremesFitThirtyTwoBits) {
  // |INT_MIN| would need 33 bits by the magnitude rule; 32 bits with a bias of
  // 2^31 already hold every value.
  int32_t values[4] = {INT_MIN, INT_MAX, 0, -1};
  uint32_t stream[4];
  EXPECT_EQ(compact_integer(values, nullptr, stream, 4, -1, 0, 1, 3), 32);
  EXPECT_EQ(stream[0], 0u);
  EXPECT_EQ(stream[1], 0xFFFFFFFFu);
  int32_t out[4];
  EXPECT_EQ(compact_integer(out, nullptr, stream, 4, 32, 0, 1, 4), 32);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], values[i]);
}

TEST(CompactIntegerNoHeader, ZeroWidthDoesNothing) {
  uint32_t values[3] = {0, 0, 0};
  uint32_t stream[1] = {0x12345678u};
  EXPECT_EQ(compact_integer(values, nullptr, stream, 3, -1, 0, 1, 1), 0);
  EXPECT_EQ(compact_integer(values, nullptr, stream, 3, 0, 0, 1, 1), 0);
  EXPECT_EQ(compact_integer(values, nullptr, stream, 3, 0, 0, 1, 2), 0);
  EXPECT_EQ(stream[0], 0x12345678u);
}

TEST(CompactIntegerNoHeader, OffsetKeepsLeadingBits) {
  uint32_t values[4] = {0xABC, 0x123, 0xFFF, 0x000};
  uint32_t stream[3] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  EXPECT_EQ(compact_integer(values, nullptr, stream, 4, 12, 12, 1, 1), 12);
  EXPECT_EQ(stream[0] >> 20, 0xFFFu);
  EXPECT_EQ(zep::get_bits(stream, 3, 12, 12), 0xABCu);
  EXPECT_EQ(zep::get_bits(stream, 3, 36, 12), 0xFFFu);
  EXPECT_EQ(zep::get_bits(stream, 3, 48, 12), 0x000u);
  EXPECT_EQ(zep::get_bits(stream, 3, 60, 4), 0xFu);  // after the last token: kept
  EXPECT_EQ(stream[2], 0xFFFFFFFFu);
  uint32_t out[4];
  EXPECT_EQ(compact_integer(out, nullptr, stream, 4, 12, 12, 1, 2), 12);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], values[i]);
}

TEST(CompactIntegerNoHeader, WideTokensUseTheirFirst32Bits) {
  uint32_t stream[3] = {0, 0, 0};
  zep::put_bits(stream, 3, 0, 32, 0xCAFEF00Du);
  zep::put_bits(stream, 3, 32, 8, 0xFF);
  zep::put_bits(stream, 3, 40, 32, 0x00000007u);
  zep::put_bits(stream, 3, 72, 8, 0xEE);
  uint32_t out[2];
  EXPECT_EQ(compact_integer(out, nullptr, stream, 2, 40, 0, 1, 2), 40);
  EXPECT_EQ(out[0], 0xCAFEF00Du);
  EXPECT_EQ(out[1], 7u);
}

TEST(CompactIntegerHeader, ShiftDropsLowBits) {
  std::vector<uint32_t> values = {0, 1000, 63, 64, 500, 999};
  uint32_t header[4];
  uint32_t stream[1] = {0};
  EXPECT_EQ(compact_integer(values.data(), header, stream, 6, 4, 0, 1, 1), 4);
  EXPECT_EQ(header[0], 0xFD000000u | (6u << 6) | 4u);
  EXPECT_EQ(header[1], 6u);
  EXPECT_EQ(header[2], 0u);
  EXPECT_EQ(header[3], 1000u);
  std::vector<uint32_t> out(6, 0xFFFFFFFFu);
  EXPECT_EQ(compact_integer(out.data(), header, stream, 6, 99, 0, 1, 2), 4);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(out[i], values[i] & ~63u) << i;
}

TEST(CompactIntegerHeader, SignedMinimumAndAutomaticWidth) {
  int32_t values[5] = {-70000, 5, -3, 12, -70000};
  uint32_t header[4];
  uint32_t stream[3] = {0, 0, 0};
  EXPECT_EQ(compact_integer(values, header, stream, 5, -1, 0, 1, 3), 17);
  EXPECT_EQ(static_cast<int32_t>(header[2]), -70000);
  EXPECT_EQ(static_cast<int32_t>(header[3]), 12);
  int32_t out[5];
  EXPECT_EQ(compact_integer(out, header, stream, 5, 0 + 17, 0, 1, 4), 17);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], values[i]);
}

TEST(CompactIntegerHeader, FullUnsignedRangeKeepsTopBit) {
  uint32_t values[3] = {0, 0xFFFFFFFFu, 0x80000001u};
  uint32_t header[4], stream[3];
  EXPECT_EQ(compact_integer(values, header, stream, 3, -1, 0, 1, 1), 32);
  uint32_t out[3];
  EXPECT_EQ(compact_integer(out, header, stream, 3, 32, 0, 1, 2), 32);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], values[i]);
}

TEST(CompactIntegerHeader, ConstantFieldHasWidthZero) {
  uint32_t values[4] = {77, 77, 77, 77};
  uint32_t header[4];
  uint32_t stream[1] = {0xDEADBEEFu};
  EXPECT_EQ(compact_integer(values, header, stream, 4, -1, 0, 1, 1), 0);
  EXPECT_EQ(header[0], 0xFD000000u);
  EXPECT_EQ(header[2], 77u);
  EXPECT_EQ(stream[0], 0xDEADBEEFu);
  uint32_t out[4] = {};
  compact_integer(out, header, stream, 4, 0 + 1, 0, 1, 2);
  for (uint32_t v : out) EXPECT_EQ(v, 77u);
}

TEST(CompactIntegerEntry, UndefinedOperation) {
  uint32_t values[1] = {1}, stream[1] = {0};
  testing::internal::CaptureStdout();
  EXPECT_EQ(compact_integer(values, nullptr, stream, 1, 8, 0, 1, 5), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n opCode:5 is not defined \n");
}

TEST(CompactIntegerRoundTrip, RandomWidthsStridesOffsets) {
  std::mt19937 rng(99);
  for (int nbits = 1; nbits <= 32; ++nbits) {
    for (int trial = 0; trial < 8; ++trial) {
      const bool is_signed = trial & 1;
      const bool with_header = trial & 2;
      const size_t count = 1 + rng() % 200;
      const size_t stride = 1 + rng() % 3;
      const int offset = static_cast<int>(rng() % 70);
      std::vector<uint32_t> values(count * stride, 0xAAAAAAAAu);
      for (size_t i = 0; i < count; ++i) {
        uint32_t v = static_cast<uint32_t>(rng()) & zep::low_mask32(nbits);
        if (is_signed && !with_header) v -= nbits == 32 ? 0u : (1u << (nbits - 1));
        if (with_header) v += 12345;  // distances to the minimum still fit
        values[i * stride] = v;
      }
      const int words = (offset + static_cast<int>(count) * nbits + 31) / 32 + 1;
      std::vector<uint32_t> stream(static_cast<size_t>(words), 0x3C3C3C3Cu);
      uint32_t header[4];
      uint32_t *hp = with_header ? header : nullptr;
      const int op = is_signed ? 3 : 1;
      ASSERT_EQ(compact_integer(values.data(), hp, stream.data(), static_cast<int>(count), nbits,
                                offset, static_cast<int>(stride), op),
                nbits);
      EXPECT_EQ(stream.back(), 0x3C3C3C3Cu);
      if (with_header) {
        EXPECT_EQ(header[0] >> 6 & 0x3F, 0u);
      }
      std::vector<uint32_t> out(count * stride, 0xAAAAAAAAu);
      ASSERT_EQ(compact_integer(out.data(), hp, stream.data(), static_cast<int>(count), nbits,
                                offset, static_cast<int>(stride), op + 1),
                nbits);
      ASSERT_EQ(out, values) << "nbits " << nbits << " trial " << trial;
    }
  }
}

TEST(CompactIntegerBounded, RefusesDamagedInput) {
  uint32_t values[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  uint32_t header[4], stream[2];
  ASSERT_EQ(compact_integer(values, header, stream, 10, 5, 0, 1, 1), 5);
  uint32_t out[10] = {};
  int width = -1;
  size_t n = 0;
  EXPECT_EQ(
      zep::packing::unpack_integers(header, stream, 1, 0, 0, 10, false, out, 10, 1, &width, &n),
      PackStatus::kShortStream);
  EXPECT_EQ(
      zep::packing::unpack_integers(header, stream, 2, 0, 0, 9, false, out, 10, 1, &width, &n),
      PackStatus::kBadHeader);  // header counts more than the caller accepts
  EXPECT_EQ(
      zep::packing::unpack_integers(header, stream, 2, 0, 0, 10, false, out, 9, 1, &width, &n),
      PackStatus::kShortOutput);
  uint32_t bad[4] = {header[0] | (40u << 6), header[1], header[2], header[3]};
  EXPECT_EQ(zep::packing::unpack_integers(bad, stream, 2, 0, 0, 10, false, out, 10, 1, &width, &n),
            PackStatus::kBadHeader);  // shift beyond a word
  bad[0] = 0xFC000005u;
  EXPECT_EQ(zep::packing::unpack_integers(bad, stream, 2, 0, 0, 10, false, out, 10, 1, &width, &n),
            PackStatus::kBadHeader);
  EXPECT_EQ(
      zep::packing::unpack_integers(nullptr, stream, 2, 0, 65, 10, false, out, 10, 1, &width, &n),
      PackStatus::kBadArgument);
  EXPECT_EQ(
      zep::packing::unpack_integers(nullptr, stream, 2, 7, 6, 10, false, out, 10, 1, &width, &n),
      PackStatus::kShortStream);
  for (uint32_t v : out) ASSERT_EQ(v, 0u);
  EXPECT_EQ(
      zep::packing::unpack_integers(header, stream, 2, 0, 0, 12, false, out, 10, 1, &width, &n),
      PackStatus::kOk);
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(width, 5);
  EXPECT_EQ(out[9], 10u);
  // Packing refuses a stream too short for the chosen width, untouched.
  uint32_t small[1] = {0x11111111u};
  EXPECT_EQ(zep::packing::pack_integers(values, 10, 10, 1, -1, false, nullptr, small, 1, 0, &width),
            PackStatus::kShortStream);
  EXPECT_EQ(small[0], 0x11111111u);
}

TEST(CompactIntegerBounded, BitLength) {
  EXPECT_EQ(zep::packing::bit_length(0), 0);
  EXPECT_EQ(zep::packing::bit_length(1), 1);
  EXPECT_EQ(zep::packing::bit_length(1000), 10);
  EXPECT_EQ(zep::packing::bit_length(0x80000000u), 32);
}

}  // namespace

namespace {

TEST(CompactIntegerBounded, RandomDamagedRecordsStayInside) {
  std::mt19937 rng(77);
  int ok = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    uint32_t header[4];
    for (uint32_t &h : header) h = static_cast<uint32_t>(rng());
    header[0] = (0xFDu << 24) | (header[0] & 0x7FFu);
    header[1] %= 40;
    const bool with_header = trial % 2;
    const size_t words = rng() % 12;
    std::vector<uint32_t> stream(words);
    for (uint32_t &w : stream) w = static_cast<uint32_t>(rng());
    const size_t count = rng() % 30;
    const size_t len = rng() % 30;
    std::vector<uint32_t> out(len, 0xEEEEEEEEu);
    size_t n = 0;
    const PackStatus st =
        zep::packing::unpack_integers(with_header ? header : nullptr, stream.data(), words,
                                      rng() % 40, static_cast<int>(rng() % 70) - 2, count,
                                      rng() % 2, out.data(), len, 1 + rng() % 2, nullptr, &n);
    if (st == PackStatus::kOk) {
      ++ok;
      EXPECT_LE(n, count);
    } else {
      for (uint32_t v : out) ASSERT_EQ(v, 0xEEEEEEEEu);
    }
  }
  EXPECT_GT(ok, 50);
}

}  // namespace
