#include "packing/ieee_pack.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "zep/packing.h"

namespace {

using zep::packing::PackStatus;

void ieee(std::vector<uint32_t> &unpacked, std::vector<uint32_t> &packed, int n, int npak,
          int mode) {
  int ni = n, nj = 1, spare = 12345;
  ieeepak_(reinterpret_cast<int32_t *>(unpacked.data()), reinterpret_cast<int32_t *>(packed.data()),
           &ni, &nj, &npak, &spare, &mode);
}

TEST(IeeePack, WidthFromNpak) {
  EXPECT_EQ(zep::packing::ieee_width(-16), 16);
  EXPECT_EQ(zep::packing::ieee_width(-1), 1);
  EXPECT_EQ(zep::packing::ieee_width(-63), 63);
  EXPECT_EQ(zep::packing::ieee_width(-64), 64);
  EXPECT_EQ(zep::packing::ieee_width(-100), 64);
  EXPECT_EQ(zep::packing::ieee_width(0), 32);
  EXPECT_EQ(zep::packing::ieee_width(1), 32);
  EXPECT_EQ(zep::packing::ieee_width(2), 16);
  EXPECT_EQ(zep::packing::ieee_width(4), 8);
  EXPECT_EQ(zep::packing::ieee_width(5), 6);
  EXPECT_EQ(zep::packing::ieee_width(33), 1);
}

TEST(IeeePack, SixteenBitsKeepSignExponentAndLeadingMantissa) {
  std::vector<uint32_t> u = {0x3F800000u, 0x3FC00000u, 0x3F800001u};
  std::vector<uint32_t> p = {0xAAAAAAAAu, 0xAAAAAAAAu, 0xAAAAAAAAu};
  ieee(u, p, 3, -16, 1);
  EXPECT_EQ(p[0], 0x3F803FC0u);
  EXPECT_EQ(p[1], 0x3F80AAAAu);  // three fields take 2 words; the tail keeps its bits
  EXPECT_EQ(p[2], 0xAAAAAAAAu);
  std::vector<uint32_t> out(3, 0);
  ieee(out, p, 3, -16, 2);
  EXPECT_EQ(out[0], 0x3F800000u);
  EXPECT_EQ(out[1], 0x3FC00000u);
  EXPECT_EQ(out[2], 0x3F800000u);  // 1.0000001 comes back as 1.0
}

TEST(IeeePack, ThirtyTwoBitsCopy) {
  for (int npak : {0, 1, -32}) {
    std::vector<uint32_t> u = {1, 0xFFFFFFFFu, 0x7FC00000u};
    std::vector<uint32_t> p(3, 0);
    ieee(u, p, 3, npak, 1);
    EXPECT_EQ(p, u);
    std::vector<uint32_t> out(3, 0);
    ieee(out, p, 3, npak, 2);
    EXPECT_EQ(out, u);
  }
}

TEST(IeeePack, EightBitsFromFieldsPerWord) {
  std::vector<uint32_t> u = {0x11000000u, 0x22FFFFFFu, 0x33000000u, 0x44000001u, 0x55000000u};
  std::vector<uint32_t> p(2, 0x0000FFFFu);
  ieee(u, p, 5, 4, 1);
  EXPECT_EQ(p[0], 0x11223344u);
  EXPECT_EQ(p[1], 0x5500FFFFu);
}

TEST(IeeePack, SixtyFourBitsInFileOrder) {
  const double values[2] = {1.0, -2.5};
  for (int npak : {-64, -100}) {
    std::vector<uint32_t> u(4), p(4, 0);
    std::memcpy(u.data(), values, 16);
    ieee(u, p, 2, npak, 1);
    EXPECT_EQ(p[0], 0x3FF00000u);  // high half first
    EXPECT_EQ(p[1], 0u);
    EXPECT_EQ(p[2], 0xC0040000u);
    std::vector<uint32_t> out(4, 0);
    ieee(out, p, 2, npak, 2);
    double back[2];
    std::memcpy(back, out.data(), 16);
    EXPECT_EQ(back[0], 1.0);
    EXPECT_EQ(back[1], -2.5);
  }
}

// In place and into a separate array give the same elements, for every width
// below 32 and counts that end anywhere in a word.
TEST(IeeePack, InPlaceUnpackingMatchesSeparateArrays) {
  std::mt19937 rng(5);
  for (int nbits = 1; nbits < 32; ++nbits) {
    for (int n : {1, 2, 3, 7, 31, 32, 33, 100, 257}) {
      std::vector<uint32_t> u(static_cast<size_t>(n));
      for (auto &v : u) v = static_cast<uint32_t>(rng());
      const size_t w =
          static_cast<size_t>(zep::packing::ieee_packed_words(static_cast<uint64_t>(n), nbits));
      std::vector<uint32_t> p(w, 0);
      ieee(u, p, n, -nbits, 1);
      std::vector<uint32_t> separate(static_cast<size_t>(n), 0);
      ieee(separate, p, n, -nbits, 2);
      std::vector<uint32_t> inplace(static_cast<size_t>(n), 0xEEEEEEEEu);
      std::copy(p.begin(), p.end(), inplace.begin());
      ieee(inplace, inplace, n, -nbits, 2);
      ASSERT_EQ(inplace, separate) << nbits << " " << n;
      const uint32_t keep = ~0u << (32 - nbits);
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(separate[static_cast<size_t>(i)], u[static_cast<size_t>(i)] & keep)
            << nbits << " " << n << " " << i;
      }
    }
  }
}

TEST(IeeePack, PackingInPlace) {
  std::vector<uint32_t> u = {0x12345678u, 0x9ABCDEF0u, 0x0F0F0F0Fu, 0xF0F0F0F0u};
  std::vector<uint32_t> copy = u;
  std::vector<uint32_t> p(4, 0);
  ieee(copy, p, 4, -12, 1);
  ieee(u, u, 4, -12, 1);
  EXPECT_EQ(p[0], 0x1239AB0Fu);
  EXPECT_EQ(p[1], 0x0F0F0000u);
  EXPECT_EQ(u[0], p[0]);
  EXPECT_EQ(u[1], 0x0F0FDEF0u);  // the tail keeps what the word held: element 1's bits
}

TEST(IeeePackDeathTest, WidthBetween32And64StopsTheProcess) {
  std::vector<uint32_t> u(2), p(4);
  // Standard output joins standard error so that both texts are matched.
  EXPECT_EXIT(
      {
        dup2(2, 1);
        ieee(u, p, 2, -40, 1);
      },
      testing::ExitedWithCode(1),
      "^ IEEEPAK ERROR: NBITS MUST BE <= 32 OR 64, NBITS=          40\nSTOP IEEEPAK\n$");
  EXPECT_EXIT(ieee(u, p, 2, -33, 2), testing::ExitedWithCode(1), "STOP IEEEPAK");
  EXPECT_EQ(zep::packing::pack_ieee(u.data(), 2, 2, 33, p.data(), 4), PackStatus::kBadArgument);
  EXPECT_EQ(zep::packing::unpack_ieee(p.data(), 4, 2, 63, u.data(), 2), PackStatus::kBadArgument);
}

TEST(IeeePackBounded, RefusesShortBuffers) {
  std::vector<uint32_t> p = {0x3F803FC0u, 0x3F800000u};
  std::vector<uint32_t> out(3, 7);
  EXPECT_EQ(zep::packing::unpack_ieee(p.data(), 1, 3, 16, out.data(), 3), PackStatus::kShortStream);
  EXPECT_EQ(zep::packing::unpack_ieee(p.data(), 2, 3, 16, out.data(), 2), PackStatus::kShortOutput);
  EXPECT_EQ(zep::packing::unpack_ieee(p.data(), 2, 2, 64, out.data(), 3), PackStatus::kShortOutput);
  EXPECT_EQ(zep::packing::unpack_ieee(p.data(), 2, 3, 32, out.data(), 3), PackStatus::kShortStream);
  EXPECT_EQ(out, std::vector<uint32_t>(3, 7));
  EXPECT_EQ(zep::packing::unpack_ieee(p.data(), 2, 3, 16, out.data(), 3), PackStatus::kOk);
  EXPECT_EQ(out[2], 0x3F800000u);
  std::vector<uint32_t> small(1, 9);
  EXPECT_EQ(zep::packing::pack_ieee(out.data(), 3, 3, 16, small.data(), 1),
            PackStatus::kShortOutput);
  EXPECT_EQ(small[0], 9u);
}

TEST(IeeeMoves, Move6432ExchangesWordsInPlace) {
  const double v[2] = {3.0, -0.0};
  uint32_t w[4];
  std::memcpy(w, v, 16);
  int n = 2;
  move6432_(w, w, &n);
  EXPECT_EQ(w[0], 0x40080000u);
  EXPECT_EQ(w[1], 0u);
  EXPECT_EQ(w[2], 0x80000000u);
  uint32_t back[4];
  move6432_(w, back, &n);
  double r[2];
  std::memcpy(r, back, 16);
  EXPECT_EQ(r[0], 3.0);
  EXPECT_TRUE(std::signbit(r[1]));
}

TEST(IeeeMoves, RealConversionsWorkInPlace) {
  std::vector<double> buf = {1.5, 0.1, -3.0, 1e300};
  int n = 4;
  auto *as_float = reinterpret_cast<float *>(buf.data());
  movr8r4_(buf.data(), as_float, &n);
  EXPECT_EQ(as_float[0], 1.5f);
  EXPECT_EQ(as_float[1], 0.1f);
  EXPECT_EQ(as_float[2], -3.0f);
  EXPECT_TRUE(std::isinf(as_float[3]));
  as_float[3] = 2.25f;
  movr4r8_(as_float, buf.data(), &n);
  EXPECT_EQ(buf[0], 1.5);
  EXPECT_EQ(buf[1], static_cast<double>(0.1f));
  EXPECT_EQ(buf[2], -3.0);
  EXPECT_EQ(buf[3], 2.25);
}

}  // namespace
