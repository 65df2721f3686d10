// The bulk loops of the float and integer packers against their
// token-at-a-time loops: the same fields packed and unpacked with a stride
// of 2 (which takes the token-at-a-time path) must give the same words and
// the same bits.
#include "packing/token_groups.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/bit_cast.h"
#include "packing/compact_float.h"
#include "packing/compact_integer.h"

namespace {

using zep::packing::PackStatus;

// Fields that exercise the packer: smooth, noisy, constant, mixed signs,
// extremes near +-1e38, tiny and subnormal values, signed zeros.
std::vector<std::vector<float>> fields(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<std::vector<float>> out(7, std::vector<float>(n));
  for (size_t i = 0; i < n; ++i) {
    out[0][i] = 250.0f + 60.0f * std::sin(0.01f * static_cast<float>(i)) + unit(rng);
    out[1][i] = (unit(rng) - 0.5f) * 1e5f;
    out[2][i] = 273.15f;
    out[3][i] = (i % 2 ? -1.0f : 1.0f) * 9.9e37f * unit(rng);
    out[4][i] = std::numeric_limits<float>::denorm_min() * static_cast<float>(i % 50) - 1e-30f;
    out[5][i] = (i % 3 == 0) ? -0.0f : (i % 3 == 1 ? 0.0f : 1e-3f * unit(rng));
    out[6][i] = -1e38f + 2e38f * unit(rng);
  }
  return out;
}

std::vector<float> strided(const std::vector<float> &v) {
  std::vector<float> s(2 * v.size(), -7.0f);
  for (size_t i = 0; i < v.size(); ++i) s[2 * i] = v[i];
  return s;
}

struct Packed {
  std::vector<uint32_t> words;
  PackStatus status;
};

// Contiguous form (tokens from bit 24 of header word 3) or separate form.
Packed pack(const float *v, size_t len, size_t n, size_t stride, int nbits, bool contiguous) {
  Packed p;
  const size_t stream_words = (static_cast<size_t>(nbits) * n + 24 + 31) / 32 + 2;
  p.words.assign(stream_words + 8, 0xA5A5A5A5u);  // bits the packer must keep
  uint32_t *header = p.words.data();
  uint32_t *stream = contiguous ? header + 3 : header + 4;
  p.status = zep::packing::pack_floats(v, len, n, stride, nbits, contiguous, header, stream,
                                       stream_words, contiguous ? 24 : 0, false, 0.0f, nullptr);
  return p;
}

TEST(TokenGroups, BulkPackingGivesTheWordsOfTheTokenLoop) {
  for (size_t n : {1u, 2u, 3u, 5u, 1023u, 1024u, 2049u, 5001u}) {
    for (const auto &v : fields(n, static_cast<uint32_t>(n))) {
      const std::vector<float> s = strided(v);
      for (bool contiguous : {true, false}) {
        const Packed fast = pack(v.data(), n, n, 1, 16, contiguous);
        const Packed ref = pack(s.data(), s.size(), n, 2, 16, contiguous);
        ASSERT_EQ(fast.status, ref.status) << "n=" << n;
        EXPECT_EQ(fast.words, ref.words) << "n=" << n << " contiguous=" << contiguous;
      }
    }
  }
}

TEST(TokenGroups, BulkUnpackingGivesTheBitsOfTheTokenLoop) {
  for (int nbits = 1; nbits <= 32; ++nbits) {
    for (size_t n : {1u, 2u, 3u, 7u, 8u, 9u, 1001u, 4099u}) {
      for (const auto &v : fields(n, 1000u * static_cast<uint32_t>(nbits) + n)) {
        for (bool contiguous : {true, false}) {
          const Packed p = pack(v.data(), n, n, 1, nbits, contiguous);
          if (p.status != PackStatus::kOk) continue;  // +-1e38 refused by both paths
          const uint32_t *header = p.words.data();
          const uint32_t *stream = contiguous ? header + 3 : header + 4;
          const size_t words = p.words.size() - (contiguous ? 3 : 4);
          std::vector<float> fast(n, -1.0f), ref(2 * n, -1.0f);
          ASSERT_EQ(zep::packing::unpack_floats(header, stream, words, contiguous ? 24 : 0, nbits,
                                                n, fast.data(), n, 1, false, 0.0f),
                    PackStatus::kOk);
          ASSERT_EQ(zep::packing::unpack_floats(header, stream, words, contiguous ? 24 : 0, nbits,
                                                n, ref.data(), ref.size(), 2, false, 0.0f),
                    PackStatus::kOk);
          for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(zep::float_bits(fast[i]), zep::float_bits(ref[2 * i]))
                << "nbits=" << nbits << " n=" << n << " i=" << i;
        }
      }
    }
  }
}

// The word-group loop at every bit offset, against tokens placed one by one.
TEST(TokenGroups, EveryWidthAtEveryOffset) {
  std::mt19937 rng(5);
  for (int width : {8, 12, 16, 24, 32}) {
    for (int off = 0; off < 32; ++off) {
      const size_t n = 67;
      std::vector<uint32_t> tokens(n), words(n + 4, 0u);
      uint64_t bit = static_cast<uint64_t>(off);
      for (size_t i = 0; i < n; ++i, bit += static_cast<uint64_t>(width)) {
        tokens[i] = width == 32 ? rng() : rng() & ((1u << width) - 1u);
        for (int k = width - 1; k >= 0; --k) {
          const uint64_t b = bit + static_cast<uint64_t>(width - 1 - k);
          if ((tokens[i] >> k) & 1u) words[b / 32] |= 0x80000000u >> (b % 32);
        }
      }
      std::vector<float> out(n, -1.0f);
      const double scale = 0.25, min = -3.0;
      const size_t done =
          zep::packing::tokens_to_floats(words.data(), off, width, n, scale, min, out.data());
      ASSERT_EQ(done, n - n % zep::packing::token_group(width));
      for (size_t i = 0; i < done; ++i)
        ASSERT_EQ(out[i], static_cast<float>(tokens[i] * scale + min))
            << "width=" << width << " off=" << off << " i=" << i;
      for (size_t i = done; i < n; ++i) EXPECT_EQ(out[i], -1.0f);  // the caller's share
    }
  }
}

TEST(TokenGroups, ExtremesRefuseNaN) {
  std::vector<float> v = {3.0f, -2.0f, 7.5f, 0.0f};
  float lo = 0.0f, hi = 0.0f;
  ASSERT_TRUE(zep::packing::float_extremes(v.data(), v.size(), &lo, &hi));
  EXPECT_EQ(lo, -2.0f);
  EXPECT_EQ(hi, 7.5f);
  v[2] = std::nanf("");
  EXPECT_FALSE(zep::packing::float_extremes(v.data(), v.size(), &lo, &hi));
  // A NaN first: the token loop keeps it as both extremes; the bulk path
  // must not be taken, and packing gives the words of the token loop.
  std::vector<float> f(9, 1.0f);
  f[0] = std::nanf("");
  const std::vector<float> s = strided(f);
  const Packed fast = pack(f.data(), f.size(), f.size(), 1, 16, true);
  const Packed ref = pack(s.data(), s.size(), f.size(), 2, 16, true);
  EXPECT_EQ(fast.words, ref.words);
}

// Integers without a header, unsigned and signed, every width, at several
// bit offsets: the bulk loop against the token loop (stride 2).
TEST(TokenGroups, IntegersGiveTheValuesOfTheTokenLoop) {
  std::mt19937 rng(11);
  for (int nbits = 1; nbits <= 32; ++nbits) {
    for (size_t n : {1u, 3u, 8u, 13u, 1027u}) {
      for (uint64_t offset : {0u, 5u, 24u, 37u}) {
        std::vector<uint32_t> stream((nbits * n + offset + 31) / 32 + 2);
        for (uint32_t &w : stream) w = rng();
        for (bool is_signed : {false, true}) {
          std::vector<uint32_t> fast(n, 0u), ref(2 * n, 0u);
          ASSERT_EQ(
              zep::packing::unpack_integers(nullptr, stream.data(), stream.size(), offset, nbits, n,
                                            is_signed, fast.data(), n, 1, nullptr, nullptr),
              PackStatus::kOk);
          ASSERT_EQ(
              zep::packing::unpack_integers(nullptr, stream.data(), stream.size(), offset, nbits, n,
                                            is_signed, ref.data(), ref.size(), 2, nullptr, nullptr),
              PackStatus::kOk);
          for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(fast[i], ref[2 * i]) << "nbits=" << nbits << " n=" << n << " i=" << i;
        }
      }
    }
  }
}

}  // namespace
