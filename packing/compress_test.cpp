#include "packing/compress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "zep/compress.h"

namespace zep::packing {
namespace {

std::vector<uint32_t> zip(const std::vector<uint16_t> &v, int ni, int nj, int type, int nbits) {
  std::vector<uint32_t> stream(zip_max_words(ni, nj, type), 0xDEADBEEF);
  size_t words = 0;
  EXPECT_EQ(vktzip(v.data(), ni, nj, type, nbits, stream.data(), stream.size(), &words),
            PackStatus::kOk);
  stream.resize(words);
  return stream;
}

// Expands with exactly the stream words and exactly ni * nj values of room,
// so that any read or write beyond them is caught by the address checker.
PackStatus unzip(const std::vector<uint32_t> &stream, int ni, int nj, std::vector<uint16_t> *out) {
  out->assign(static_cast<size_t>(ni) * nj, 0);
  return vktunzip(stream.data(), stream.size(), ni, nj, out->data(), out->size());
}

enum class Shape { kRandom, kConstant, kOnePoint, kExtremes, kSmooth, kStripes };

std::vector<uint16_t> field(int ni, int nj, int nbits, Shape shape, std::mt19937 &rng) {
  const uint32_t top = (1u << nbits) - 1;
  std::vector<uint16_t> v(static_cast<size_t>(ni) * nj);
  for (int j = 0; j < nj; ++j) {
    for (int i = 0; i < ni; ++i) {
      uint32_t x = 0;
      switch (shape) {
        case Shape::kRandom: x = rng() & top; break;
        case Shape::kConstant: x = top / 3; break;
        case Shape::kOnePoint: x = (i == ni / 2 && j == nj / 3) ? top : 0; break;
        case Shape::kExtremes: x = ((i + j) % 2) ? top : 0; break;
        case Shape::kSmooth:
          x = static_cast<uint32_t>((i * 37 + j * 11 + (i * j) % 7)) & top;
          break;
        case Shape::kStripes: x = (i % 7 < 3) ? top : top / 2; break;
      }
      v[static_cast<size_t>(j) * ni + i] = static_cast<uint16_t>(x);
    }
  }
  return v;
}

TEST(ZipHeader, BitLayoutOfBothMethods) {
  EXPECT_EQ(ZipHeader::minimum(12).encode(), 3u | 0u << 4 | 5u << 7 | 12u << 10 | 1u << 15);
  EXPECT_EQ(ZipHeader::sample(16).encode(), 1u | 3u << 4 | 3u << 7 | 16u << 10 | 3u << 15);
  const ZipHeader h = ZipHeader::decode(0x3FFFF);
  EXPECT_EQ(h.type, 15);
  EXPECT_EQ(h.spare, 7);
  EXPECT_EQ(h.step, 7);
  EXPECT_EQ(h.nbits, 31);
  EXPECT_EQ(h.code, 7);
}

TEST(MinimumMethod, ConstantBlockCostsFourBitsPlusNbits) {
  const std::vector<uint16_t> v(25, 7);
  const std::vector<uint32_t> s = zip(v, 5, 5, kMinimumType, 8);
  // w = 0 in 4 bits, 7 in 8 bits, then 32 zero bits: one full word.
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[1], 0x00700000u);
  EXPECT_EQ(zip_length_code(s.size()), 9);
}

TEST(MinimumMethod, WideRangeBlockIsStoredRaw) {
  const std::vector<uint16_t> v = {0, 40000};
  const std::vector<uint32_t> s = zip(v, 2, 1, kMinimumType, 16);
  // w = 16 written as 15, then each value in 16 bits.
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[1], 0xF0000000u | (40000u >> 4));
  EXPECT_EQ(s[2] >> 28, 40000u & 0xF);
}

TEST(MinimumMethod, BlockOffsetsUseTheRangeWidth) {
  // One 2 x 2 block: min 100, max 105, w = 3.
  const std::vector<uint16_t> v = {100, 105, 101, 102};
  const std::vector<uint32_t> s = zip(v, 2, 2, kMinimumType, 10);
  // 0011 | 0001100100 | 000 101 001 010
  const uint32_t expect =
      (3u << 28) | (100u << 18) | (0u << 15) | (5u << 12) | (1u << 9) | (2u << 6);
  EXPECT_EQ(s[1], expect);
}

class ZipRoundTrip : public testing::TestWithParam<int> {};

// Compressing then expanding restores any field of values below 2^nbits,
// with either method, on grids from 1 x 1 to a few hundred points a side.
TEST_P(ZipRoundTrip, EveryShapeAndGrid) {
  const int type = GetParam();
  std::mt19937 rng(type * 1000 + 1);
  const int sides[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 13,
                       16, 17, 28, 29, 31, 80, 81, 82, 83, 84, 97, 250};
  for (int ni : sides) {
    for (int nj : sides) {
      if (static_cast<long>(ni) * nj > 8000 && (ni + nj) % 5 != 0) continue;
      for (int nbits : {1, 9, 16}) {
        for (Shape shape : {Shape::kRandom, Shape::kConstant, Shape::kOnePoint, Shape::kExtremes,
                            Shape::kSmooth, Shape::kStripes}) {
          const std::vector<uint16_t> v = field(ni, nj, nbits, shape, rng);
          const std::vector<uint32_t> s = zip(v, ni, nj, type, nbits);
          std::vector<uint16_t> out;
          ASSERT_EQ(unzip(s, ni, nj, &out), PackStatus::kOk)
              << ni << "x" << nj << " nbits " << nbits << " shape " << static_cast<int>(shape);
          ASSERT_EQ(out, v) << ni << "x" << nj << " nbits " << nbits << " shape "
                            << static_cast<int>(shape);
        }
      }
    }
  }
}

TEST_P(ZipRoundTrip, LargeGridWithNoise) {
  const int type = GetParam();
  std::mt19937 rng(5);
  const int ni = 301, nj = 257, nbits = 16;
  std::vector<uint16_t> v(static_cast<size_t>(ni) * nj);
  for (int j = 0; j < nj; ++j) {
    for (int i = 0; i < ni; ++i) {
      v[static_cast<size_t>(j) * ni + i] = static_cast<uint16_t>(
          30000 + 20000 * std::sin(i * 0.05) * std::cos(j * 0.03) + rng() % 64);
    }
  }
  const std::vector<uint32_t> s = zip(v, ni, nj, type, nbits);
  EXPECT_LT(s.size(), v.size() / 2);  // noise of 6 bits on 16: it compresses
  std::vector<uint16_t> out;
  ASSERT_EQ(unzip(s, ni, nj, &out), PackStatus::kOk);
  EXPECT_EQ(out, v);
}

// A truncated stream is refused, never read past; the cut that only drops
// the trailing zero bits may still decode.
TEST_P(ZipRoundTrip, TruncatedStreamsAreRefused) {
  const int type = GetParam();
  std::mt19937 rng(9);
  for (int ni : {1, 7, 30, 85}) {
    const int nj = 83;
    const std::vector<uint16_t> v = field(ni, nj, 13, Shape::kRandom, rng);
    const std::vector<uint32_t> s = zip(v, ni, nj, type, 13);
    for (size_t cut = 0; cut + 1 < s.size(); ++cut) {
      std::vector<uint32_t> part(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(cut));
      std::vector<uint16_t> out;
      ASSERT_EQ(unzip(part, ni, nj, &out), PackStatus::kShortStream) << ni << " cut " << cut;
    }
  }
}

// Random damage never makes the decoder leave its arrays.
TEST_P(ZipRoundTrip, DamagedStreamsStayInBounds) {
  const int type = GetParam();
  std::mt19937 rng(11);
  const int ni = 90, nj = 84;
  const std::vector<uint16_t> v = field(ni, nj, 16, Shape::kSmooth, rng);
  const std::vector<uint32_t> good = zip(v, ni, nj, type, 16);
  int refused = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<uint32_t> s = good;
    for (int k = 0; k < 4; ++k) s[1 + rng() % (s.size() - 1)] ^= 1u << (rng() % 32);
    if (trial % 3 == 0) s.resize(1 + rng() % (s.size() - 1));
    std::vector<uint16_t> out;
    if (unzip(s, ni, nj, &out) != PackStatus::kOk) ++refused;
  }
  EXPECT_GT(refused, 0);
}

INSTANTIATE_TEST_SUITE_P(BothMethods, ZipRoundTrip, testing::Values(kMinimumType, kSampleType),
                         [](const testing::TestParamInfo<int> &p) {
                           return p.param == kMinimumType ? std::string("Minimum")
                                                          : std::string("Sample");
                         });

TEST(Unzip, RefusesHeadersNoWriterProduces) {
  std::mt19937 rng(3);
  const std::vector<uint16_t> v = field(10, 10, 8, Shape::kRandom, rng);
  const std::vector<uint32_t> good = zip(v, 10, 10, kMinimumType, 8);
  std::vector<uint16_t> out;

  std::vector<uint32_t> s = good;
  s[0] = (s[0] & ~0xFu) | 2;  // unknown method type
  EXPECT_EQ(unzip(s, 10, 10, &out), PackStatus::kUnknownMethod);
  s = good;
  s[0] = (s[0] & ~(7u << 7)) | (3u << 7);  // minimum method with step 3
  EXPECT_EQ(unzip(s, 10, 10, &out), PackStatus::kWrongStep);
  s = good;
  s[0] = (s[0] & ~(0x1Fu << 10)) | (17u << 10);
  EXPECT_EQ(unzip(s, 10, 10, &out), PackStatus::kBadWidth);
  s = zip(v, 10, 10, kSampleType, 8);
  s[0] = (s[0] & ~(7u << 7)) | (5u << 7);  // sample method with step 5
  EXPECT_EQ(unzip(s, 10, 10, &out), PackStatus::kWrongStep);
  EXPECT_EQ(unzip({}, 10, 10, &out), PackStatus::kShortStream);

  std::vector<uint16_t> small(99);
  EXPECT_EQ(vktunzip(good.data(), good.size(), 10, 10, small.data(), small.size()),
            PackStatus::kShortOutput);
  EXPECT_EQ(vktunzip(good.data(), good.size(), 0, 10, small.data(), small.size()),
            PackStatus::kBadGrid);
}

TEST(SampleTokens, WideResidualsUseFiveBitWidths) {
  const int ni = 4, nj = 4;
  // The first point of each 3 x 3 block (0, 3, 12, 15) is a node: residual 0.
  const std::vector<int32_t> r = {0,     70000,  -5, 0, -70000, 1, 0, 0,
                                  65535, -65536, 2,  9, 0,      0, 0, 0};
  std::vector<uint32_t> words(64, 0);
  BitWriter w(words.data(), words.size());
  pack_tokens_sample(r.data(), ni, nj, w);
  w.put(0, 32);
  EXPECT_EQ(words[0] >> 29, 5u);  // token width t
  BitReader in(words.data(), w.words_written());
  std::vector<int32_t> back(r.size(), 123);
  ASSERT_EQ(unpack_tokens_sample(in, ni, nj, back.data()), PackStatus::kOk);
  EXPECT_EQ(back, r);

  // A token width other than 4 or 5 is refused.
  std::vector<uint32_t> bad = {3u << 29, 0, 0};
  BitReader bad_in(bad.data(), bad.size());
  EXPECT_EQ(unpack_tokens_sample(bad_in, ni, nj, back.data()), PackStatus::kBadToken);
}

TEST(SampleTokens, NarrowResidualsUseFourBitWidths) {
  const std::vector<int32_t> r = {0, -1, 1, 300, -300, 0, 40000, -40000, 7};
  std::vector<uint32_t> words(16, 0);
  BitWriter w(words.data(), words.size());
  pack_tokens_sample(r.data(), 3, 3, w);
  w.put(0, 32);
  EXPECT_EQ(words[0] >> 29, 4u);
  // One block: w = bit length of 40000 = 16, written as 15; 8 residuals of 17 bits.
  EXPECT_EQ((words[0] >> 25) & 0xF, 15u);
  BitReader in(words.data(), w.words_written());
  std::vector<int32_t> back(r.size());
  ASSERT_EQ(unpack_tokens_sample(in, 3, 3, back.data()), PackStatus::kOk);
  EXPECT_EQ(back, r);
}

TEST(SampleArithmetic, CubicThroughFourSamplesAndRounding) {
  // Samples of x^3 at -3, 0, 3, 6 give 1 and 8 at offsets 1 and 2.
  EXPECT_EQ(sample_cubic(-27, 0, 27, 216, 1), 1);
  EXPECT_EQ(sample_cubic(-27, 0, 27, 216, 2), 8);
  // A line: 10 + 2x.
  EXPECT_EQ(sample_cubic(4, 10, 16, 22, 1), 12);
  EXPECT_EQ(sample_cubic(4, 10, 16, 22, -2), 6);
  EXPECT_EQ(sample_round(1.5), 2);
  EXPECT_EQ(sample_round(-1.5), -2);
  EXPECT_EQ(sample_round(1.4998), 1);
  EXPECT_EQ(sample_round(-1.4998), -1);
  EXPECT_EQ(sample_round(2.49995), 3);  // the rounding term is 0.5001, not 0.5
  EXPECT_EQ(sample_round(0.0), 0);
}

// The cubic as the writers of existing streams evaluate it: extended
// precision within each expression, a double between expressions.
int64_t extended_cubic(int64_t y0, int64_t y1, int64_t y2, int64_t y3, int64_t d) {
  const long double t = static_cast<long double>(((y3 - y0) + (y1 - y2) * 3) * d);
  const long double p = ((((y2 + y0) - (y1 + y1)) * 18.0L + t + t) * d * 6.0L +
                         (((6 * y2 - y3) - y1 * 3) - (y0 + y0)) * 108.0L) *
                            d * static_cast<long double>(0.00051440329218107) +
                        y1;
  const double v = static_cast<double>(p);
  const long double r =
      v + (v < 0 ? -static_cast<long double>(0.5001) : static_cast<long double>(0.5001));
  return static_cast<int64_t>(r);
}

// The quick double-precision decision must never differ from the extended
// evaluation. (The sums are multiples of 1/1944 up to the error of the
// constant, so none comes within 1e-4 of a rounding boundary 0.4999 + k.)
TEST(SampleArithmetic, CubicMatchesExtendedEvaluation) {
  std::mt19937 rng(17);
  for (int k = 0; k < 300000; ++k) {
    const int64_t y0 = rng() % 65536, y1 = rng() % 65536, y2 = rng() % 65536, y3 = rng() % 65536;
    const int64_t d = static_cast<int64_t>(rng() % 9) - 2;
    const int64_t want = extended_cubic(y0, y1, y2, y3, d);
    ASSERT_EQ(sample_cubic(y0, y1, y2, y3, d), want)
        << y0 << " " << y1 << " " << y2 << " " << y3 << " d " << d;
  }
}

std::vector<uint32_t> packed_pairs(const std::vector<uint16_t> &v) {
  std::vector<uint32_t> w((v.size() + 1) / 2, 0);
  for (size_t k = 0; k < v.size(); ++k) w[k / 2] |= static_cast<uint32_t>(v[k]) << (k % 2 ? 0 : 16);
  return w;
}

class ObrvCompress : public testing::Test {
 protected:
  void SetUp() override { saved_ = compress_level(); }
  void TearDown() override { compress_level() = saved_; }
  int saved_ = -1;
};

TEST_F(ObrvCompress, InPlaceRoundTripOfPackedPairs) {
  std::mt19937 rng(21);
  for (int ni : {2, 5, 82, 83}) {
    for (int nj : {3, 82, 91}) {
      for (int level : {0, 1}) {
        compress_level() = level;
        const std::vector<uint16_t> v = field(ni, nj, 12, Shape::kSmooth, rng);
        const std::vector<uint32_t> original = packed_pairs(v);
        std::vector<uint32_t> data = original;
        data.resize(original.size() + 64, 0);
        const int c = obrv_compress(data.data(), ni, nj, 1, 12, 1);
        ASSERT_GT(c, 1);
        ASSERT_EQ((c - 1) % 4, 0);
        const ZipHeader h = ZipHeader::decode(data[0]);
        const bool both = level == 1 && ni >= 82 && nj >= 82;
        if (!both) {
          EXPECT_EQ(h.type, kMinimumType);
        }
        EXPECT_EQ(h.nbits, 12);
        EXPECT_EQ(obrv_compress(data.data(), ni, nj, 1, 12, 2), 2 * ni * nj);
        data.resize(original.size());
        EXPECT_EQ(data, original) << ni << "x" << nj << " level " << level;
      }
    }
  }
}

TEST_F(ObrvCompress, LevelOneKeepsTheShorterStream) {
  const int ni = 120, nj = 100;
  std::vector<uint16_t> smooth(static_cast<size_t>(ni) * nj);
  for (int j = 0; j < nj; ++j) {
    for (int i = 0; i < ni; ++i)
      smooth[static_cast<size_t>(j) * ni + i] = static_cast<uint16_t>(i * i + 40 * j);
  }
  const size_t min_words = zip(smooth, ni, nj, kMinimumType, 16).size();
  const size_t sample_words = zip(smooth, ni, nj, kSampleType, 16).size();
  ASSERT_LT(sample_words, min_words);  // a smooth field suits the sample method

  std::vector<uint32_t> data = packed_pairs(smooth);
  size_t words = 0;
  ASSERT_EQ(compress_packed(data.data(), data.size(), ni, nj, 16, 1, &words), PackStatus::kOk);
  EXPECT_EQ(words, sample_words);
  EXPECT_EQ(ZipHeader::decode(data[0]).type, kSampleType);

  data = packed_pairs(smooth);
  ASSERT_EQ(compress_packed(data.data(), data.size(), ni, nj, 16, 0, &words), PackStatus::kOk);
  EXPECT_EQ(words, min_words);
  EXPECT_EQ(ZipHeader::decode(data[0]).type, kMinimumType);
}

TEST_F(ObrvCompress, NothingDoneForWideValuesThinGridsAndOtherModes) {
  std::vector<uint32_t> data = {0x12345678, 0x9ABCDEF0, 0x0F0F0F0F};
  const std::vector<uint32_t> before = data;
  EXPECT_EQ(obrv_compress(data.data(), 2, 3, 1, 17, 1), 2 * 3 * 17 / 8 + 1);
  EXPECT_EQ(obrv_compress(data.data(), 1, 6, 2, 12, 1), 6 * 12 * 2 / 8 + 1);
  EXPECT_EQ(obrv_compress(data.data(), 6, 1, 1, 12, 2), 6 * 12 / 8 + 1);
  EXPECT_EQ(obrv_compress(data.data(), 2, 3, 1, 12, 3), 0);
  EXPECT_EQ(data, before);
}

TEST_F(ObrvCompress, BoundedEntriesRefuseWhatDoesNotFit) {
  std::mt19937 rng(1);
  const int ni = 10, nj = 10;
  const std::vector<uint16_t> v = field(ni, nj, 16, Shape::kRandom, rng);
  std::vector<uint32_t> data = packed_pairs(v);
  const std::vector<uint32_t> before = data;
  size_t words = 0;
  // Random 16-bit values do not compress: the stream is longer than the data.
  EXPECT_EQ(compress_packed(data.data(), data.size(), ni, nj, 16, 0, &words),
            PackStatus::kShortOutput);
  EXPECT_GT(words, data.size());
  EXPECT_EQ(data, before);

  std::vector<uint32_t> stream = zip(v, ni, nj, kMinimumType, 16);
  std::vector<uint32_t> room = stream;
  EXPECT_EQ(expand_packed(room.data(), room.size(), 49, ni, nj), PackStatus::kShortOutput);
  EXPECT_EQ(room, stream);
  ASSERT_EQ(expand_packed(room.data(), room.size(), room.size(), ni, nj), PackStatus::kOk);
  room.resize(50);
  EXPECT_EQ(room, before);
}

TEST_F(ObrvCompress, SetLevelReportsWrongValues) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_obrv_compress_setlevel(2), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Wrong compression level : 2\nSetting level to fast : 2\n");
  EXPECT_EQ(c_obrv_compress_getlevel(), 0);
  int one = 1;
  EXPECT_EQ(obrv_compress_setlevel_(&one), 1);
  EXPECT_EQ(c_obrv_compress_getlevel(), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_obrv_compress_setlevel(0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(ObrvCompress, FirstUseDecidesTheLevelFromTheEnvironment) {
  char name[16] = "";
  unsetenv("OBRV_COMPRESS");
  EXPECT_EQ(init_comp_settings(name), 0);
  EXPECT_STREQ(name, "fast");
  compress_level() = -1;
  std::vector<uint32_t> data(64, 0);
  obrv_compress(data.data(), 4, 4, 1, 8, 1);
  EXPECT_EQ(c_obrv_compress_getlevel(), 0);

  setenv("OBRV_COMPRESS", "", 1);
  char untouched[16] = "x";
  EXPECT_EQ(init_comp_settings(untouched), 1);
  EXPECT_STREQ(untouched, "x");
  compress_level() = -1;
  std::vector<uint32_t> packed(64, 0);
  obrv_compress(packed.data(), 4, 4, 1, 8, 2);
  EXPECT_EQ(c_obrv_compress_getlevel(), 1);
  unsetenv("OBRV_COMPRESS");
}

TEST(CEntries, ZipAndUnzipDispatchOnTheHeader) {
  std::mt19937 rng(4);
  const int ni = 20, nj = 9;
  const std::vector<uint16_t> v = field(ni, nj, 11, Shape::kRandom, rng);
  std::vector<uint16_t> in = v;
  std::vector<uint32_t> stream(zip_max_words(ni, nj, kSampleType), 0);
  int length = 0;
  ASSERT_EQ(c_vktzip(stream.data(), &length, in.data(), ni, nj, kSampleType, 3, 3, 11), 0);
  EXPECT_EQ((length - 1) % 4, 0);
  EXPECT_EQ(stream[0], ZipHeader::sample(11).encode());
  std::vector<uint16_t> out(v.size());
  ASSERT_EQ(c_vktunzip(out.data(), stream.data(), ni, nj), 0);
  EXPECT_EQ(out, v);

  EXPECT_EQ(c_vktzip(stream.data(), &length, in.data(), ni, nj, kMinimumType, 0, 3, 11), -1);
  EXPECT_EQ(c_vktzip(stream.data(), &length, in.data(), ni, nj, 2, 0, 5, 11), -1);
  stream[0] = 0;  // type 0
  EXPECT_EQ(c_vktunzip(out.data(), stream.data(), ni, nj), -1);
}

}  // namespace
}  // namespace zep::packing
