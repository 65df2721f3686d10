#include "packing/float_pack16.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "common/big_endian.h"

namespace {

using zep::packing::FloatRange;
using zep::packing::pack_floats16_be;
using zep::packing::packed16_bytes;
using zep::packing::PackStatus;

// The general packer's contiguous 16-bit form of `v`, each word stored
// most significant byte first: what a file holds.
std::vector<uint8_t> reference_bytes(const std::vector<float> &v) {
  const size_t words = packed16_bytes(v.size()) / 4;
  std::vector<uint32_t> w(words, 0u);
  const PackStatus st =
      zep::packing::pack_floats(v.data(), v.size(), v.size(), 1, 16, true, w.data(), w.data() + 3,
                                words - 3, 24, false, 0.0f, nullptr);
  EXPECT_EQ(st, PackStatus::kOk);
  std::vector<uint8_t> b(4 * words);
  for (size_t k = 0; k < words; ++k) zep::store_be32(b.data() + 4 * k, w[k]);
  return b;
}

// Packs into a buffer filled with 0xA5 and `extra` bytes of room after the
// packed words, and checks the bytes against the general packer's and the
// room behind them for zeros.
void expect_same_bytes(const std::vector<float> &v, size_t extra = 8) {
  const std::vector<uint8_t> want = reference_bytes(v);
  std::vector<uint8_t> got(want.size() + extra + 4, 0xA5);
  ASSERT_EQ(pack_floats16_be(v.data(), v.size(), got.data(), want.size() + extra, nullptr),
            PackStatus::kOk);
  for (size_t i = 0; i < want.size(); ++i)
    ASSERT_EQ(got[i], want[i]) << "byte " << i << " of " << v.size() << " values";
  for (size_t i = want.size(); i < want.size() + extra; ++i)
    ASSERT_EQ(got[i], 0) << "room byte " << i << " of " << v.size() << " values";
  for (size_t i = want.size() + extra; i < got.size(); ++i)
    ASSERT_EQ(got[i], 0xA5) << "byte " << i << " past the room was written";
}

TEST(FloatPack16, RandomFieldsOfEveryLengthMatchTheGeneralPacker) {
  std::mt19937 rng(2117);
  // Lengths around the vector blocks of 16 values and the odd ones, whose
  // last token ends in the middle of a word.
  std::vector<size_t> lengths;
  for (size_t n = 1; n <= 70; ++n) lengths.push_back(n);
  for (size_t n : {255u, 256u, 257u, 1023u, 4097u, 100001u}) lengths.push_back(n);
  for (size_t n : lengths) {
    std::uniform_real_distribution<float> centre(-1e6f, 1e6f);
    std::uniform_real_distribution<float> spread(1e-6f, 1e4f);
    const float c = centre(rng), s = spread(rng);
    std::uniform_real_distribution<float> value(c - s, c + s);
    std::vector<float> v(n);
    for (float &x : v) x = value(rng);
    SCOPED_TRACE(n);
    expect_same_bytes(v);
  }
}

TEST(FloatPack16, SpecialFieldsMatchTheGeneralPacker) {
  // A constant field (every token 0), a zero field (min 0), negative and
  // mixed-sign fields, subnormals, the extremes the packer accepts, and
  // a field whose spread is an exact power of two (top token 2^16 - 1).
  const std::vector<std::vector<float>> fields = {
      std::vector<float>(37, 273.15f),
      std::vector<float>(16, 0.0f),
      {-5.0f, -4.0f, -3.5f, -1e-3f, -2.0f},
      {-1.0f, 1.0f, 0.0f, -0.0f, 0.5f, -0.25f, 0.75f},
      {1e-40f, 2e-40f, 0.0f, 3e-42f},
      {-1e38f, 1e38f, 0.0f},
      {0.0f, 1.0f, 0.5f, 0.999999f},
      {std::numeric_limits<float>::lowest() / 4, 1.0f},
      {42.0f},
  };
  for (const std::vector<float> &v : fields) {
    SCOPED_TRACE(v.size());
    expect_same_bytes(v);
    expect_same_bytes(v, 0);
  }
  // A long constant field through the vector loop.
  expect_same_bytes(std::vector<float>(1000, -7.5f));
}

TEST(FloatPack16, RefusesWhatTheGeneralPackerMustDecide) {
  std::vector<uint8_t> out(64, 0);
  std::vector<float> v = {1.0f, 2.0f, 3.0f};
  EXPECT_EQ(pack_floats16_be(v.data(), 0, out.data(), out.size(), nullptr),
            PackStatus::kNothingToDo);
  // Three tokens end in the third byte of word 5: 24 bytes are needed.
  EXPECT_EQ(packed16_bytes(3), 24u);
  EXPECT_EQ(pack_floats16_be(v.data(), 3, out.data(), 23, nullptr), PackStatus::kShortStream);
  EXPECT_EQ(pack_floats16_be(v.data(), 3, out.data(), 24, nullptr), PackStatus::kOk);

  v[1] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(pack_floats16_be(v.data(), 3, out.data(), out.size(), nullptr),
            PackStatus::kBadArgument);

  std::vector<float> big(40, 1.0f);
  big[33] = 2e38f;
  FloatRange range;
  std::vector<uint8_t> room(packed16_bytes(big.size()));
  EXPECT_EQ(pack_floats16_be(big.data(), big.size(), room.data(), room.size() - 1, &range),
            PackStatus::kShortStream);
  EXPECT_EQ(pack_floats16_be(big.data(), big.size(), room.data(), room.size(), &range),
            PackStatus::kValueTooLarge);
  EXPECT_EQ(range.min, 1.0);
  EXPECT_EQ(range.max, static_cast<double>(2e38f));
  big[33] = -std::numeric_limits<float>::infinity();
  EXPECT_EQ(pack_floats16_be(big.data(), big.size(), room.data(), room.size(), &range),
            PackStatus::kValueTooLarge);
}

TEST(FloatPack16, HeaderAndFirstTokensOfAKnownField) {
  // Range 3 from 0: R = 4, e = 2, scale 2^14; tokens 0, 16384, 32768, 49152.
  const std::vector<float> v = {0.0f, 1.0f, 2.0f, 3.0f};
  std::vector<uint8_t> out(packed16_bytes(4), 0xFF);
  ASSERT_EQ(pack_floats16_be(v.data(), 4, out.data(), out.size(), nullptr), PackStatus::kOk);
  EXPECT_EQ(zep::load_be32(out.data()), 0x7FF00004u);
  EXPECT_EQ(zep::load_be32(out.data() + 4), ((2u - 16u + 4096u) << 16) | (0x111u << 4));
  EXPECT_EQ(zep::load_be32(out.data() + 8), 0u);
  // Word 3: nbits in bits 15-8, then the first token from bit 24.
  EXPECT_EQ(zep::load_be32(out.data() + 12), 16u << 8);
  const uint8_t tokens[] = {0x00, 0x40, 0x00, 0x80, 0x00, 0xC0, 0x00, 0x00};
  for (size_t i = 0; i < sizeof tokens; ++i) EXPECT_EQ(out[16 + i], tokens[i]) << i;
}

}  // namespace
