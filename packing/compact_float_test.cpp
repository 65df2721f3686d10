#include "packing/compact_float.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "common/bit_stream.h"
#include "zep/packing.h"
#include "common/bit_cast.h"

namespace {

using zep::packing::PackStatus;

using zep::float_bits;

// The value the unpacker must give for token t: t * step * 1.0000000000001 + min.
double expected_value(uint32_t t, double step, double min) {
  const double c = 1.0000000000001;
  return t == 0 ? min : static_cast<double>(t) * step * c + min;
}

TEST(CompactFloatHeader, WorkedExampleSeparateForm) {
  float values[4] = {0, 1, 2, 3};
  uint32_t header[4] = {0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD};
  uint32_t stream[2] = {0, 0};
  ASSERT_EQ(compact_float(values, header, stream, 4, 16, 0, 1, 1, 0, nullptr), stream);
  // Range 3: R = 4, e = 2, scale 2^14; min 0.
  EXPECT_EQ(header[0], 0xFFF00004u);
  EXPECT_EQ(header[1], ((2u - 16u + 4096u) << 16) | (0x111u << 4));
  EXPECT_EQ(header[2], 0u);
  EXPECT_EQ(header[3], 16u << 8);
  EXPECT_EQ(stream[0], (0u << 16) | 16384u);
  EXPECT_EQ(stream[1], (32768u << 16) | 49152u);

  float out[4] = {-1, -1, -1, -1};
  ASSERT_EQ(compact_float(out, header, stream, 4, 16, 0, 1, 2, 0, nullptr), out);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(out[i], static_cast<float>(i * 1.0000000000001)) << i;
  }
  double dout[4];
  ASSERT_EQ(compact_double(dout, header, stream, 4, 16, 0, 1, 2, 0, nullptr), dout);
  EXPECT_EQ(dout[3], 3 * 1.0000000000001);
  EXPECT_NE(dout[3], 3.0);
}

TEST(CompactFloatHeader, ContiguousFormSharesWordThree) {
  std::vector<float> values = {10.0f, 10.5f, 11.0f, 12.0f, 13.75f};
  std::vector<uint32_t> rec(8, 0xFFFFFFFFu);
  ASSERT_NE(compact_float(values.data(), rec.data(), rec.data() + 3, 5, 8, 24, 1, 1, 0, nullptr),
            nullptr);
  EXPECT_EQ(rec[0] >> 20, 0x7FFu);
  EXPECT_EQ(rec[0] & 0xFFFFF, 5u);
  EXPECT_EQ((rec[3] >> 8) & 0xFF, 8u);
  EXPECT_EQ(rec[3] >> 16, 0u);
  // min 10: biased double exponent 1026, minus 47; mantissa of 1.25.
  EXPECT_EQ((rec[1] >> 4) & 0xFFF, 1026u - 47u);
  EXPECT_EQ(rec[1] & 0xF, 0u);
  EXPECT_EQ(rec[2], 0x80000000u | (0x200000u << 8));
  // Spread 3.75: R = 4, e = 2; tokens (v - 10) * 2^6.
  const uint32_t tokens[5] = {0, 32, 64, 128, 240};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(zep::get_bits(rec.data(), rec.size(), 120 + 8 * i, 8), tokens[i]) << i;
  }
  // Bits after the last token keep their old contents.
  EXPECT_EQ(zep::get_bits(rec.data(), rec.size(), 160, 32), 0xFFFFFFFFu);

  std::vector<float> out(5);
  ASSERT_EQ(compact_float(out.data(), rec.data(), rec.data() + 3, 5, 8, 24, 1, 2, 0, nullptr),
            out.data());
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(out[i], values[i], 1e-5) << i;
  // The header itself with offset 120 is the same contiguous form.
  std::vector<uint32_t> rec2(8, 0xFFFFFFFFu);
  ASSERT_NE(compact_float(values.data(), rec2.data(), rec2.data(), 5, 8, 120, 1, 1, 0, nullptr),
            nullptr);
  EXPECT_EQ(rec2, rec);
}

TEST(CompactFloatHeader, NegativeMinimumKeepsSign) {
  float values[3] = {-1.5f, 2.0f, 0.25f};
  uint32_t header[4], stream[3] = {0, 0, 0};
  ASSERT_NE(compact_float(values, header, stream, 3, 12, 0, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ(header[1] & 1u, 1u);
  EXPECT_EQ((header[1] >> 4) & 0xFFF, 1023u - 47u);
  EXPECT_EQ(header[2], 0xC0000000u);
  float out[3];
  ASSERT_NE(compact_float(out, header, stream, 3, 12, 0, 1, 2, 0, nullptr), nullptr);
  EXPECT_EQ(out[0], -1.5f);
  EXPECT_NEAR(out[1], 2.0f, 4.0 / 4096);
  EXPECT_NEAR(out[2], 0.25f, 4.0 / 4096);
}

TEST(CompactFloatHeader, MinimumMantissaIsCutNotRounded) {
  // A double minimum keeps only the top 23 mantissa bits, cut.
  const double min = 1.0 + std::ldexp(1.0, -23) + std::ldexp(1.0, -24) + std::ldexp(1.0, -30);
  double values[2] = {min, min + 1.0};
  uint32_t header[4], stream[1] = {0};
  ASSERT_NE(compact_double(values, header, stream, 2, 8, 0, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ((header[2] >> 8) & 0x7FFFFF, 1u);
  zep::packing::FloatHeader h;
  ASSERT_EQ(zep::packing::decode_float_header(header, &h), PackStatus::kOk);
  EXPECT_EQ(h.min, 1.0f + std::ldexp(1.0f, -23));
}

TEST(CompactFloatHeader, ConstantFieldHasZeroTokens) {
  std::vector<float> values(7, 42.5f);
  uint32_t header[4];
  std::vector<uint32_t> stream(4, 0xAAAAAAAAu);
  ASSERT_NE(compact_float(values.data(), header, stream.data(), 7, 16, 0, 1, 1, 0, nullptr),
            nullptr);
  EXPECT_EQ(header[1] >> 16, 4096u - 16u);  // e = 0
  EXPECT_EQ(stream[0], 0u);
  EXPECT_EQ(stream[2], 0u);
  EXPECT_EQ(stream[3], 0x0000AAAAu);  // 7 tokens end half way into word 3
  std::vector<float> out(7, 0.0f);
  ASSERT_NE(compact_float(out.data(), header, stream.data(), 7, 16, 0, 1, 2, 0, nullptr), nullptr);
  for (float v : out) EXPECT_EQ(v, 42.5f);
}

TEST(CompactFloatMissing, MissingTokenAndDoubledRange) {
  float missing = -999.0f;
  // Spread 0.9 with 2 bits: R = 1 would make the top token 3, the missing
  // token, so R doubles to 2 and the top token is 1.
  float values[3] = {0.0f, 0.9f, -999.0f};
  uint32_t header[4], stream[1] = {0};
  ASSERT_NE(compact_float(values, header, stream, 3, 2, 0, 1, 1, 1, &missing), nullptr);
  EXPECT_EQ(header[0] >> 20, 0xFEFu);
  EXPECT_EQ(header[1] >> 16, 1u - 2u + 4096u);
  EXPECT_EQ(stream[0] >> 26, 0b000111u);
  float out[3];
  ASSERT_NE(compact_float(out, header, stream, 3, 2, 0, 1, 2, 1, &missing), nullptr);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], static_cast<float>(0.5 * 1.0000000000001));
  EXPECT_EQ(out[2], -999.0f);

  // Without missing values the same spread keeps R = 1 and the top token 3.
  ASSERT_NE(compact_float(values, header, stream, 2, 2, 0, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ(header[1] >> 16, 0u - 2u + 4096u);
  EXPECT_EQ(stream[0] >> 28, 0b0011u);
}

TEST(CompactFloatMissing, EveryValueMissing) {
  float missing = 7.0f;
  std::vector<float> values(5, 7.0f);
  uint32_t header[4];
  uint32_t stream[1] = {0};
  ASSERT_NE(compact_float(values.data(), header, stream, 5, 4, 0, 1, 1, 1, &missing), nullptr);
  EXPECT_EQ(header[2], 0u);  // min 0
  EXPECT_EQ((header[1] >> 4) & 0xFFF, 0x111u);
  EXPECT_EQ(stream[0], 0xFFFFF000u);  // five all-ones tokens
  std::vector<float> out(5, 0.0f);
  ASSERT_NE(compact_float(out.data(), header, stream, 5, 4, 0, 1, 2, 1, &missing), nullptr);
  for (float v : out) EXPECT_EQ(v, 7.0f);
}

TEST(CompactFloatMissing, DoubleMissingIsRoundedToFloat) {
  double missing = 0.1;  // compared and written back as (float) 0.1
  double values[3] = {static_cast<float>(0.1), 1.0, 2.0};
  uint32_t header[4], stream[1] = {0};
  ASSERT_NE(compact_double(values, header, stream, 3, 8, 0, 1, 1, 1, &missing), nullptr);
  EXPECT_EQ(stream[0] >> 24, 0xFFu);
  double out[3];
  ASSERT_NE(compact_double(out, header, stream, 3, 8, 0, 1, 2, 1, &missing), nullptr);
  EXPECT_EQ(out[0], static_cast<double>(static_cast<float>(0.1)));
  EXPECT_EQ(out[1], 1.0f);
}

TEST(CompactFloatLayout, StrideTouchesOnlyItsElements) {
  float values[6] = {1, -100, 2, -100, 3, -100};
  uint32_t header[4], stream[2] = {0, 0};
  ASSERT_NE(compact_float(values, header, stream, 3, 16, 0, 2, 1, 0, nullptr), nullptr);
  EXPECT_EQ(header[0] & 0xFFFFF, 3u);
  zep::packing::FloatHeader h;
  ASSERT_EQ(zep::packing::decode_float_header(header, &h), PackStatus::kOk);
  EXPECT_EQ(h.min, 1.0f);  // the odd elements were not looked at
  float out[6] = {9, 9, 9, 9, 9, 9};
  ASSERT_NE(compact_float(out, header, stream, 3, 16, 0, 2, 2, 0, nullptr), nullptr);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_NEAR(out[2], 2.0f, 1e-4);
  EXPECT_NEAR(out[4], 3.0f, 1e-4);
  EXPECT_EQ(out[1], 9.0f);
  EXPECT_EQ(out[3], 9.0f);
  EXPECT_EQ(out[5], 9.0f);
}

TEST(CompactFloatLayout, BitOffsetKeepsSurroundingBits) {
  float values[3] = {0, 1, 2};
  uint32_t header[4];
  uint32_t stream[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
  ASSERT_NE(compact_float(values, header, stream, 3, 11, 5, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ(stream[0] >> 27, 0x1Fu);              // first 5 bits kept
  EXPECT_EQ(stream[1] & 0x1FFFFFFu, 0x1FFFFFFu);  // bits after 5 + 33 kept
  float out[3];
  ASSERT_NE(compact_float(out, header, stream, 3, 11, 5, 1, 2, 0, nullptr), nullptr);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_NEAR(out[1], 1.0f, 1e-6);
  EXPECT_NEAR(out[2], 2.0f, 1e-6);
}

TEST(CompactFloatLayout, WideSlotsHoldTheSameTokens) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-50.0f, 50.0f);
  std::vector<float> values(33);
  for (float &v : values) v = d(rng);
  uint32_t h16[4], h20[4];
  std::vector<uint32_t> s16(17, 0), s20(21, 0);
  ASSERT_NE(compact_float(values.data(), h16, s16.data(), 33, 16, 0, 1, 1, 0, nullptr), nullptr);
  const int wide = 20 * 64 + 16;  // 16 significant bits in 20-bit slots
  ASSERT_NE(compact_float(values.data(), h20, s20.data(), 33, wide, 0, 1, 1, 0, nullptr), nullptr);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(h16[i], h20[i]);
  for (int i = 0; i < 33; ++i) {
    EXPECT_EQ(zep::get_bits(s16.data(), s16.size(), 16 * i, 16),
              zep::get_bits(s20.data(), s20.size(), 20 * i, 20))
        << i;
  }
  std::vector<float> a(33), b(33);
  ASSERT_NE(compact_float(a.data(), h16, s16.data(), 33, 16, 0, 1, 2, 0, nullptr), nullptr);
  ASSERT_NE(compact_float(b.data(), h20, s20.data(), 33, wide, 0, 1, 2, 0, nullptr), nullptr);
  EXPECT_EQ(a, b);
}

TEST(CompactFloatLayout, HeaderWiderThan32BitsUsesFirst32Bits) {
  // A header of 40 significant bits (beyond what our packer writes): each
  // 40-bit slot gives its first 32 bits as the token, the rest is skipped.
  uint32_t header[4] = {0xFFF00002u, ((4096u - 8u) << 16) | (0x111u << 4), 0, 40u << 8};
  uint32_t stream[3] = {0, 0, 0};
  zep::put_bits(stream, 3, 0, 32, 0x00000300u);  // token 0: top 32 bits 0x300
  zep::put_bits(stream, 3, 32, 8, 0xAB);         // ignored low 8 bits
  zep::put_bits(stream, 3, 40, 32, 0x00000001u);
  zep::put_bits(stream, 3, 72, 8, 0xCD);
  float out[2];
  ASSERT_EQ(zep::packing::unpack_floats(header, stream, 3, 0, 40, 2, out, 2, 1, false, 0.0f),
            PackStatus::kOk);
  EXPECT_EQ(out[0], static_cast<float>(expected_value(0x300, 1.0 / 256, 0)));
  EXPECT_EQ(out[1], static_cast<float>(expected_value(1, 1.0 / 256, 0)));
}

// Random fields across every width, with strides, offsets and both element
// types: the decoded value lies within one step below the original.
TEST(CompactFloatRoundTrip, RandomFields) {
  std::mt19937 rng(12345);
  for (int nbits = 1; nbits <= 32; ++nbits) {
    for (int trial = 0; trial < 6; ++trial) {
      const int count = 1 + static_cast<int>(rng() % 300);
      const int stride = 1 + static_cast<int>(rng() % 3);
      const int offset = static_cast<int>(rng() % 64);
      const float scale = std::ldexp(1.0f, static_cast<int>(rng() % 40) - 20);
      const float base = (static_cast<int>(rng() % 3) - 1) * scale * 3;
      std::uniform_real_distribution<float> d(base - scale, base + scale);
      std::vector<float> values(static_cast<size_t>(count * stride));
      for (float &v : values) v = d(rng);
      std::vector<double> dvalues(values.begin(), values.end());
      uint32_t header[4], dheader[4];
      std::vector<uint32_t> stream(static_cast<size_t>((offset + count * nbits + 31) / 32) + 1,
                                   0x5A5A5A5Au);
      std::vector<uint32_t> dstream = stream;
      ASSERT_NE(compact_float(values.data(), header, stream.data(), count, nbits, offset, stride, 1,
                              0, nullptr),
                nullptr);
      ASSERT_NE(compact_double(dvalues.data(), dheader, dstream.data(), count, nbits, offset,
                               stride, 1, 0, nullptr),
                nullptr);
      // Both element types write the same header and stream.
      for (int i = 0; i < 4; ++i) ASSERT_EQ(header[i], dheader[i]);
      ASSERT_EQ(stream, dstream);
      EXPECT_EQ(stream.back(), 0x5A5A5A5Au);

      zep::packing::FloatHeader h;
      ASSERT_EQ(zep::packing::decode_float_header(header, &h), PackStatus::kOk);
      const double step = std::ldexp(1.0, h.step_exponent);
      std::vector<float> out(values.size(), 0.0f);
      ASSERT_EQ(compact_float(out.data(), header, stream.data(), count, nbits, offset, stride, 2, 0,
                              nullptr),
                out.data());
      for (int i = 0; i < count; ++i) {
        const double v = values[static_cast<size_t>(i * stride)];
        const double got = out[static_cast<size_t>(i * stride)];
        const double tol = std::fabs(v) * 1e-6 + step * 1e-6;
        ASSERT_LE(got, v + tol) << "nbits " << nbits << " i " << i;
        ASSERT_GE(got, v - step - tol) << "nbits " << nbits << " i " << i;
      }
    }
  }
}

TEST(CompactFloatRoundTrip, OnePointAndOddCounts) {
  for (int count : {1, 2, 3, 5, 7, 31, 33}) {
    std::vector<float> values(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) values[static_cast<size_t>(i)] = -3.0f + 0.5f * i;
    uint32_t header[4];
    std::vector<uint32_t> stream(static_cast<size_t>(count), 0);
    ASSERT_NE(compact_float(values.data(), header, stream.data(), count, 13, 0, 1, 1, 0, nullptr),
              nullptr);
    std::vector<float> out(static_cast<size_t>(count));
    ASSERT_NE(compact_float(out.data(), header, stream.data(), count, 13, 0, 1, 2, 0, nullptr),
              nullptr);
    for (int i = 0; i < count; ++i) {
      EXPECT_NEAR(out[static_cast<size_t>(i)], values[static_cast<size_t>(i)], 1e-3) << count;
    }
  }
}

TEST(CompactFloatEntry, NothingDoneCases) {
  float values[2] = {1, 2}, missing = 0;
  uint32_t header[4] = {1, 2, 3, 4}, stream[2] = {5, 6};
  EXPECT_EQ(compact_float(values, header, stream, 2, 0, 0, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ(compact_float(values, header, stream, 2, 1, 0, 1, 1, 1, &missing), nullptr);
  EXPECT_EQ(compact_float(values, header, stream, 2, 33, 0, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ(header[0], 1u);
  EXPECT_EQ(stream[0], 5u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(compact_float(values, header, stream, 2, 8, 0, 1, 3, 0, nullptr), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n opCode is not defined \n");
  // A separate header cannot count 2^28 values; nothing is read or written.
  testing::internal::CaptureStdout();
  EXPECT_EQ(compact_float(values, header, stream, 1 << 28, 8, 0, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n element count overflow in xxpack header \n");
  EXPECT_EQ(header[0], 1u);
}

TEST(CompactFloatEntryDeathTest, HugeValueEndsProcess) {
  double values[2] = {1.0, 1e39};
  uint32_t header[4], stream[1];
  EXPECT_EXIT(compact_double(values, header, stream, 2, 8, 0, 1, 1, 0, nullptr),
              testing::ExitedWithCode(33),
              "number too large minFloat=1.000000E\\+00 maxFloat=1.000000E\\+39");
  float fvalues[2] = {-2e38f, 0.0f};
  EXPECT_EXIT(compact_float(fvalues, header, stream, 2, 8, 0, 1, 1, 0, nullptr),
              testing::ExitedWithCode(33), "minFloat=-2.000000E\\+38");
}

TEST(CompactFloatBounded, RefusesShortStreamAndOutput) {
  std::vector<float> values(100);
  for (int i = 0; i < 100; ++i) values[static_cast<size_t>(i)] = static_cast<float>(i);
  uint32_t header[4];
  std::vector<uint32_t> stream(50, 0);
  ASSERT_EQ(zep::packing::pack_floats(values.data(), 100, 100, 1, 16, false, header, stream.data(),
                                      50, 0, false, 0.0f, nullptr),
            PackStatus::kOk);
  std::vector<float> out(100, -1.0f);
  EXPECT_EQ(zep::packing::unpack_floats(header, stream.data(), 49, 0, 16, 100, out.data(), 100, 1,
                                        false, 0.0f),
            PackStatus::kShortStream);
  EXPECT_EQ(zep::packing::unpack_floats(header, stream.data(), 50, 1, 16, 100, out.data(), 100, 1,
                                        false, 0.0f),
            PackStatus::kShortStream);
  EXPECT_EQ(zep::packing::unpack_floats(header, stream.data(), 50, 0, 16, 100, out.data(), 99, 1,
                                        false, 0.0f),
            PackStatus::kShortOutput);
  EXPECT_EQ(zep::packing::unpack_floats(header, stream.data(), 50, 0, 16, 100, out.data(), 100, 2,
                                        false, 0.0f),
            PackStatus::kShortOutput);
  for (float v : out) ASSERT_EQ(v, -1.0f);
  // Packing into too few words is refused before anything is written.
  uint32_t h2[4] = {0, 0, 0, 0};
  EXPECT_EQ(zep::packing::pack_floats(values.data(), 100, 100, 1, 16, false, h2, stream.data(), 49,
                                      0, false, 0.0f, nullptr),
            PackStatus::kShortStream);
  EXPECT_EQ(h2[0], 0u);
  EXPECT_EQ(zep::packing::unpack_floats(header, stream.data(), 50, 0, 16, 100, out.data(), 100, 1,
                                        false, 0.0f),
            PackStatus::kOk);
  EXPECT_EQ(out[99], static_cast<float>(99 * 1.0000000000001));
}

TEST(CompactFloatBounded, RefusesInconsistentHeaders) {
  float values[4] = {0, 1, 2, 3};
  uint32_t header[4], stream[2];
  ASSERT_NE(compact_float(values, header, stream, 4, 16, 0, 1, 1, 0, nullptr), nullptr);
  float out[8] = {};
  // A separate header counts 4 values: a caller with room for 3 (or asking
  // for 5) is refused.
  EXPECT_EQ(compact_float(out, header, stream, 3, 16, 0, 1, 2, 0, nullptr), nullptr);
  EXPECT_EQ(zep::packing::unpack_floats(header, stream, 2, 0, 16, 5, out, 8, 1, false, 0.0f),
            PackStatus::kBadHeader);
  // Unknown marker.
  uint32_t bad[4] = {header[0] ^ 0x00100000u, header[1], header[2], header[3]};
  EXPECT_EQ(zep::packing::unpack_floats(bad, stream, 2, 0, 16, 4, out, 8, 1, false, 0.0f),
            PackStatus::kBadHeader);
  // Header nbits wider than the slots the caller reads.
  uint32_t wide[4] = {header[0], header[1], header[2], (40u << 8)};
  EXPECT_EQ(zep::packing::unpack_floats(wide, stream, 2, 0, 16, 4, out, 8, 1, false, 0.0f),
            PackStatus::kBadHeader);
  for (float v : out) EXPECT_EQ(v, 0.0f);
}

TEST(CompactFloatBounded, ExtremeScaleExponentsStayDefined) {
  // Scale exponent fields at both ends of 16 bits: step 2^61439 overflows to
  // infinity, 2^-4096 underflows to zero; neither indexes the table.
  uint32_t stream[1] = {0x00010002u};
  float out[2];
  uint32_t big[4] = {0xFFF00002u, (0xFFFFu << 16) | (0x111u << 4), 0, 16u << 8};
  ASSERT_EQ(zep::packing::unpack_floats(big, stream, 1, 0, 16, 2, out, 2, 1, false, 0.0f),
            PackStatus::kOk);
  EXPECT_TRUE(std::isinf(out[0]));
  uint32_t tiny[4] = {0xFFF00002u, (0u << 16) | (0x111u << 4), 0, 16u << 8};
  ASSERT_EQ(zep::packing::unpack_floats(tiny, stream, 1, 0, 16, 2, out, 2, 1, false, 0.0f),
            PackStatus::kOk);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(zep::packing::pow2(64), 18446744073709551616.0);
  EXPECT_EQ(zep::packing::pow2(-3), 0.125);
  EXPECT_EQ(zep::packing::pow2(100), std::ldexp(1.0, 100));
}

TEST(CompactFloatHeader, MinimumBelowSingleRangeReadsAsZero) {
  // A min exponent field below 849 (a float subnormal) reads as 0.
  const float tiny = std::ldexp(1.0f, -140);
  float values[2] = {tiny, 1.0f};
  uint32_t header[4], stream[1] = {0};
  ASSERT_NE(compact_float(values, header, stream, 2, 8, 0, 1, 1, 0, nullptr), nullptr);
  EXPECT_EQ((header[1] >> 4) & 0xFFF, 1023u - 140u - 47u);
  EXPECT_NE(header[2], 0u);
  zep::packing::FloatHeader h;
  ASSERT_EQ(zep::packing::decode_float_header(header, &h), PackStatus::kOk);
  EXPECT_EQ(h.min, 0.0f);
  EXPECT_EQ(float_bits(h.min), 0u);
}

TEST(CompactFloatPow, IntegerPowers) {
  double two = 2.0, three = 3.0;
  int e10 = 10, em3 = -3, zero = 0, e64 = 64;
  EXPECT_EQ(f_pow_(&two, &e10), 1024.0);
  EXPECT_EQ(f_pow_(&two, &em3), 0.125);
  EXPECT_EQ(f_pow_(&three, &zero), 1.0);
  EXPECT_EQ(f_pow_(&three, &e10), 59049.0);
  EXPECT_EQ(f_pow_(&two, &e64), zep::packing::pow2(64));
}

}  // namespace

namespace {

// Random headers and streams of random lengths, in heap blocks of exactly the
// size announced, so that the address checker sees any read or write past
// them. A successful unpack must have produced every value.
TEST(CompactFloatBounded, RandomDamagedRecordsStayInside) {
  std::mt19937 rng(2024);
  int ok = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    uint32_t header[4];
    for (uint32_t &h : header) h = static_cast<uint32_t>(rng());
    if (trial % 2) header[0] = (header[0] & 0x000FFFFFu) | (0xFFFu << 20);
    if (trial % 3 == 0) header[0] = (header[0] & 0x0000000Fu) | (0x7FFu << 20);
    const size_t words = rng() % 12;
    std::vector<uint32_t> stream(words);
    for (uint32_t &w : stream) w = static_cast<uint32_t>(rng());
    const size_t count = 1 + rng() % 20;
    const size_t len = rng() % 24;
    std::vector<float> out(len, -7.0f);
    int nbits = static_cast<int>(rng() % 2 ? rng() % 70 : rng() % 5000);
    if (trial % 4 == 1) {  // mostly consistent: matching count, narrow tokens
      header[0] = (0xFFFu << 20) | static_cast<uint32_t>(count);
      header[3] = static_cast<uint32_t>(rng() % 12) << 8;
      nbits = static_cast<int>(rng() % 12);
    }
    const PackStatus st =
        zep::packing::unpack_floats(header, stream.data(), words, rng() % 40, nbits, count,
                                    out.data(), len, 1 + rng() % 2, rng() % 2, 1.0f);
    if (st == PackStatus::kOk) {
      ++ok;
      ASSERT_NE(out[0], -7.0f);
    } else {
      for (float v : out) ASSERT_EQ(v, -7.0f);
    }
  }
  EXPECT_GT(ok, 50);
}

}  // namespace

namespace {

// Ranges unpacked apart give the bits of the whole stream, for every width,
// at every phase of the tokens against the words (the vector loops take a
// range's aligned middle and leave its ends to the scalar reader), in the
// contiguous form the records use (header + 3 at bit 24) and with wide slots.
TEST(CompactFloatRange, RangesGiveTheBitsOfTheWholeStream) {
  std::mt19937 rng(2024);
  for (int nbits_arg : {1, 2, 7, 8, 11, 12, 15, 16, 17, 23, 24, 31, 32, 16 + 64 * 24}) {
    const int stored = zep::packing::split_nbits(nbits_arg).stored;
    const size_t count = 2000 + rng() % 3000;
    std::vector<float> values(count);
    std::uniform_real_distribution<float> d(-40.0f, 300.0f);
    for (float &v : values) v = d(rng);
    std::vector<uint32_t> record(3 + (24 + count * static_cast<size_t>(stored) + 31) / 32 + 1);
    uint32_t *header = record.data();
    uint32_t *stream = record.data() + 3;
    const size_t stream_words = record.size() - 3;
    ASSERT_EQ(zep::packing::pack_floats(values.data(), count, count, 1, nbits_arg, true, header,
                                        stream, stream_words, 24, false, 0.0f, nullptr),
              PackStatus::kOk);
    std::vector<float> whole(count);
    ASSERT_EQ(zep::packing::unpack_floats(header, stream, stream_words, 24, nbits_arg, count,
                                          whole.data(), count, 1, false, 0.0f),
              PackStatus::kOk);
    std::vector<size_t> firsts = {0, 1, 7, 31, 32, 33, 1024, count - 1};
    for (int i = 0; i < 20; ++i) firsts.push_back(rng() % count);
    for (size_t first : firsts) {
      for (size_t n : {size_t{1}, size_t{5}, size_t{64}, size_t{1000}, count - first}) {
        n = std::min(n, count - first);
        std::vector<float> part(n + 1, -7.0f);
        ASSERT_EQ(zep::packing::unpack_float_range(header, stream, stream_words, 24, nbits_arg,
                                                   count, first, n, part.data()),
                  PackStatus::kOk);
        ASSERT_EQ(std::memcmp(part.data(), whole.data() + first, n * sizeof(float)), 0)
            << "nbits " << nbits_arg << " first " << first << " n " << n;
        ASSERT_EQ(part[n], -7.0f) << "written past the range";
        // The same from a copy of only the words the range's tokens take
        // (a vector of that size: reading past it is caught).
        const zep::packing::WordSpan span =
            zep::packing::float_range_words(24, nbits_arg, first, n);
        ASSERT_LE(span.first + span.count, stream_words);
        const std::vector<uint32_t> window(stream + span.first, stream + span.first + span.count);
        std::fill(part.begin(), part.end(), -7.0f);
        ASSERT_EQ(zep::packing::unpack_float_window(header, stream_words, 24, nbits_arg, count,
                                                    first, n, window.data(), span.first,
                                                    window.size(), part.data()),
                  PackStatus::kOk);
        ASSERT_EQ(std::memcmp(part.data(), whole.data() + first, n * sizeof(float)), 0)
            << "window: nbits " << nbits_arg << " first " << first << " n " << n;
        ASSERT_EQ(part[n], -7.0f) << "window: written past the range";
      }
    }
  }
}

// A window must hold every word of the range's tokens; nothing is written
// when it does not.
TEST(CompactFloatRange, WindowShortOfTheRangeIsRefused) {
  std::vector<float> values(100);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i);
  std::vector<uint32_t> record(3 + 60);
  ASSERT_EQ(zep::packing::pack_floats(values.data(), 100, 100, 1, 16, true, record.data(),
                                      record.data() + 3, 60, 24, false, 0.0f, nullptr),
            PackStatus::kOk);
  const uint32_t *stream = record.data() + 3;
  // Values 10 .. 19: bits 24 + 160 .. 24 + 320, words 5 .. 10 of the stream.
  const zep::packing::WordSpan span = zep::packing::float_range_words(24, 16, 10, 10);
  ASSERT_EQ(span.first, 5u);
  ASSERT_EQ(span.count, 6u);
  float out[10];
  std::fill(std::begin(out), std::end(out), -1.0f);
  // One word short at either end.
  EXPECT_EQ(zep::packing::unpack_float_window(record.data(), 60, 24, 16, 100, 10, 10, stream + 6, 6,
                                              5, out),
            PackStatus::kBadArgument);
  EXPECT_EQ(zep::packing::unpack_float_window(record.data(), 60, 24, 16, 100, 10, 10, stream + 5, 5,
                                              5, out),
            PackStatus::kBadArgument);
  // The whole stream's checks still apply.
  EXPECT_EQ(zep::packing::unpack_float_window(record.data(), 40, 24, 16, 100, 10, 10, stream + 5, 5,
                                              6, out),
            PackStatus::kShortStream);
  for (float v : out) EXPECT_EQ(v, -1.0f);
  ASSERT_EQ(zep::packing::unpack_float_window(record.data(), 60, 24, 16, 100, 10, 10, stream + 4, 4,
                                              8, out),
            PackStatus::kOk);
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(out[i], 10.0f + static_cast<float>(i), 0.01f);
}

// The checks are those of the whole stream, whatever the range; a range
// outside the stream is refused; nothing is written when refused.
TEST(CompactFloatRange, ChecksAreThoseOfTheWholeStream) {
  std::vector<float> values(100);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i) * 0.5f;
  uint32_t header[4];
  std::vector<uint32_t> stream(50);
  ASSERT_EQ(zep::packing::pack_floats(values.data(), 100, 100, 1, 16, false, header, stream.data(),
                                      50, 0, false, 0.0f, nullptr),
            PackStatus::kOk);
  float out[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
  // A stream one word short of the last token fails even for the first values.
  EXPECT_EQ(zep::packing::unpack_float_range(header, stream.data(), 49, 0, 16, 100, 0, 4, out),
            PackStatus::kShortStream);
  // The separate form's count must be the stream's, not the range's.
  EXPECT_EQ(zep::packing::unpack_float_range(header, stream.data(), 50, 0, 16, 4, 0, 4, out),
            PackStatus::kBadHeader);
  EXPECT_EQ(zep::packing::unpack_float_range(header, stream.data(), 50, 0, 16, 100, 97, 4, out),
            PackStatus::kBadArgument);
  EXPECT_EQ(zep::packing::unpack_float_range(header, stream.data(), 50, 0, 16, 100, 101, 0, out),
            PackStatus::kBadArgument);
  for (float v : out) EXPECT_EQ(v, -1.0f);
  EXPECT_EQ(zep::packing::unpack_float_range(header, stream.data(), 50, 0, 0, 100, 0, 4, out),
            PackStatus::kNothingToDo);
  std::vector<float> whole(100);
  ASSERT_EQ(zep::packing::unpack_floats(header, stream.data(), 50, 0, 16, 100, whole.data(), 100, 1,
                                        false, 0.0f),
            PackStatus::kOk);
  ASSERT_EQ(zep::packing::unpack_float_range(header, stream.data(), 50, 0, 16, 100, 96, 4, out),
            PackStatus::kOk);
  EXPECT_EQ(std::memcmp(out, whole.data() + 96, sizeof out), 0);
}

}  // namespace
