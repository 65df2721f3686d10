#include "packing/float_packer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "zep/compress.h"
#include "zep/packing.h"
#include "common/bit_cast.h"

namespace zep::packing {
namespace {

struct Packed {
  int32_t header[3] = {0, 0, 0};
  std::vector<int32_t> stream;
};

Packed pack(std::vector<float> values, int nbits) {
  Packed p;
  p.stream.assign((values.size() + 1) / 2, 0);
  EXPECT_EQ(c_float_packer(values.data(), nbits, p.header, p.stream.data(),
                           static_cast<int>(values.size())),
            0);
  return p;
}

std::vector<float> unpack(Packed &p, int count) {
  // Exactly the words the count needs: any read beyond them is caught by the
  // address checker.
  std::vector<int32_t> stream(p.stream.begin(), p.stream.begin() + (count + 1) / 2);
  std::vector<float> out(static_cast<size_t>(count));
  int nbits = 0;
  EXPECT_EQ(c_float_unpacker(out.data(), p.header, stream.data(), count, &nbits), 0);
  return out;
}

uint32_t word0(int nbits, int e, int s) {
  return 0xEFF00000u | static_cast<uint32_t>(nbits - 1) << 16 | static_cast<uint32_t>(e) << 8 |
         static_cast<uint32_t>(s);
}

TEST(FloatPacker, AllZerosClampSlotsAndDecodeToZero) {
  Packed p = pack({0.0f, 0.0f, 0.0f}, 12);
  EXPECT_EQ(static_cast<uint32_t>(p.header[0]), word0(12, 0, 0));
  EXPECT_EQ(p.header[1], 0);
  EXPECT_EQ(p.header[2], 3);
  EXPECT_EQ(static_cast<uint32_t>(p.stream[0]), 0x0FFF0FFFu);
  EXPECT_EQ(static_cast<uint32_t>(p.stream[1]), 0x0FFF0000u);
  for (float v : unpack(p, 3)) EXPECT_EQ(zep::float_bits(v), 0u);
}

TEST(FloatPacker, ConstantOneIsExact) {
  Packed p = pack({1.0f, 1.0f}, 16);
  EXPECT_EQ(static_cast<uint32_t>(p.header[0]), word0(16, 127, 0));
  EXPECT_EQ(p.header[1], 1 << 23);
  EXPECT_EQ(p.stream[0], 0);
  for (float v : unpack(p, 2)) EXPECT_EQ(v, 1.0f);
}

TEST(FloatPacker, ZeroHalfOneWorkedExample) {
  Packed p = pack({0.0f, 0.5f, 1.0f}, 16);
  EXPECT_EQ(static_cast<uint32_t>(p.header[0]), word0(16, 127, 8));
  EXPECT_EQ(p.header[1], 0);
  EXPECT_EQ(static_cast<uint32_t>(p.stream[0]), (16384u << 0) | (0u << 16));
  EXPECT_EQ(static_cast<uint32_t>(p.stream[1]), 32768u << 16);
  const std::vector<float> out = unpack(p, 3);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], 0.5f);
  EXPECT_EQ(out[2], 1.0f);
}

TEST(FloatPacker, OddCountLeavesLowHalfZeroAndHeaderIsOred) {
  Packed p;
  p.stream.assign(3, -1);
  p.header[0] = 0x00000000;
  std::vector<float> v = {1, 2, 3, 4, 5};
  ASSERT_EQ(c_float_packer(v.data(), 10, p.header, p.stream.data(), 5), 0);
  EXPECT_EQ(static_cast<uint32_t>(p.stream[2]) & 0xFFFFu, 0u);
  EXPECT_EQ(static_cast<uint32_t>(p.header[0]) >> 20, 0xEFFu);
  EXPECT_EQ((static_cast<uint32_t>(p.header[0]) >> 16) & 0xF, 9u);

  // Bits already set in word 0 stay set: the caller is expected to clear it.
  int32_t header[3] = {0x1, 0, 0};
  int32_t stream[3];
  ASSERT_EQ(c_float_packer(v.data(), 10, header, stream, 5), 0);
  EXPECT_EQ(header[0] & 1, 1);
}

TEST(FloatPacker, WidthOutsideOneToSixteenIsRefusedWithoutWriting) {
  for (int nbits : {0, 17, -3}) {
    int32_t header[3] = {7, 7, 7};
    int32_t stream[1] = {7};
    float v[1] = {1.0f};
    testing::internal::CaptureStdout();
    EXPECT_EQ(c_float_packer(v, nbits, header, stream, 1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "float_unpacker: ERROR nbits must be > 0 and <= 16 ,nbits = " +
                  std::to_string(nbits) + "\n");
    EXPECT_EQ(header[0], 7);
    EXPECT_EQ(header[2], 7);
    EXPECT_EQ(stream[0], 7);
  }
}

TEST(FloatPacker, ParamsGiveHeaderAndStreamBytes) {
  int hb = -1, sb = -1, s1 = -1, s2 = -1;
  c_float_packer_params(&hb, &sb, &s1, &s2, 5);
  EXPECT_EQ(hb, 12);
  EXPECT_EQ(sb, 12);
  EXPECT_EQ(s1, 0);
  EXPECT_EQ(s2, 0);
  int count = 8;
  float_packer_params_(&hb, &sb, &s1, &s2, &count);
  EXPECT_EQ(sb, 16);
}

// Every decoded value lies within one quantisation step of its input.
TEST(FloatPacker, RandomFieldsRoundTripWithinOneStep) {
  std::mt19937 rng(42);
  for (int trial = 0; trial < 200; ++trial) {
    const int nbits = 1 + trial % 16;
    const int count = 1 + static_cast<int>(rng() % 301);
    const float centre =
        std::ldexp(static_cast<float>(rng() % 2000) - 1000.0f, static_cast<int>(rng() % 40) - 20);
    const float spread = std::ldexp(1.0f, static_cast<int>(rng() % 30) - 15);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(static_cast<size_t>(count));
    for (float &x : v) x = centre + spread * dist(rng);
    Packed p = pack(v, nbits);
    const FloatPackerHeader h = FloatPackerHeader::decode(reinterpret_cast<uint32_t *>(p.header));
    ASSERT_EQ(h.nbits, nbits);
    const std::vector<float> out = unpack(p, count);
    const double step = std::ldexp(1.0, (h.shift & 31) + h.exponent - 150);
    for (int k = 0; k < count; ++k) {
      ASSERT_LE(std::fabs(static_cast<double>(out[k]) - v[k]), step)
          << "trial " << trial << " value " << k;
    }
  }
}

TEST(FloatPacker, NegativeMinimumAndMixedSigns) {
  Packed p = pack({-3.0f, -1.5f, 0.0f, 2.25f}, 16);
  EXPECT_LT(p.header[1], 0);
  const std::vector<float> out = unpack(p, 4);
  EXPECT_EQ(out[0], -3.0f);
  EXPECT_EQ(out[1], -1.5f);
  EXPECT_EQ(out[2], 0.0f);
  EXPECT_EQ(out[3], 2.25f);
}

// The top slot can round up to a scaled value of 2^24; it must decode to the
// top of the range, not wrap to zero.
TEST(FloatPacker, TopSlotRoundingPastTwoToTheTwentyFour) {
  const float top = zep::float_from_bits(0x3FFFFFFF);  // 1.99999988
  Packed p = pack({-1.0f, top}, 16);
  const std::vector<float> out = unpack(p, 2);
  EXPECT_EQ(out[0], -1.0f);
  EXPECT_NEAR(out[1], 2.0f, 1e-3);
  EXPECT_EQ(float_packer_compose(int64_t{1} << 24, 127), 2.0f);
  EXPECT_EQ(float_packer_compose(-(int64_t{3} << 22), 127), -1.5f);
}

TEST(FloatPacker, UnpackerRefusesBadSignatureAndCount) {
  Packed p = pack({1.0f, 2.0f, 3.0f}, 8);
  std::vector<float> out(3, 9.0f);
  int nbits = 0;

  int32_t bad[3] = {static_cast<int32_t>(0xEEF70000u), p.header[1], p.header[2]};
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_float_unpacker(out.data(), bad, p.stream.data(), 3, &nbits), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "float_unpacker: ERROR invalid header \n");
  EXPECT_EQ(nbits, 8);  // stored before the checks

  testing::internal::CaptureStdout();
  EXPECT_EQ(c_float_unpacker(out.data(), p.header, p.stream.data(), 2, &nbits), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "float_unpacker: ERROR inconsistent number of points (header/request mismatch)\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(float_unpacker_1(out.data(), p.header, p.stream.data(), 4), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "float_unpacker_1: ERROR inconsistent number of points\n");
  for (float v : out) EXPECT_EQ(v, 9.0f);

  int count = 3;
  EXPECT_EQ(float_unpacker_(out.data(), p.header, p.stream.data(), &count, &nbits), 0);
  EXPECT_EQ(out[2], 3.0f);
}

TEST(FloatPacker, BoundedUnpackRefusesShortStreamAndOutput) {
  Packed p = pack({1.0f, 2.0f, 3.0f, 4.0f, 5.0f}, 12);
  const uint32_t *h = reinterpret_cast<const uint32_t *>(p.header);
  const uint32_t *s = reinterpret_cast<const uint32_t *>(p.stream.data());
  std::vector<float> out(5);
  EXPECT_EQ(float_unpack(h, s, 2, 5, out.data(), 5, nullptr), PackStatus::kShortStream);
  EXPECT_EQ(float_unpack(h, s, 3, 5, out.data(), 4, nullptr), PackStatus::kShortOutput);
  EXPECT_EQ(float_unpack(h, s, 3, 6, out.data(), 6, nullptr), PackStatus::kCountMismatch);
  uint32_t negative[3] = {h[0], h[1], 0xFFFFFFFFu};
  EXPECT_EQ(float_unpack(negative, s, 3, 5, out.data(), 5, nullptr), PackStatus::kCountMismatch);
  EXPECT_EQ(float_unpack(h, s, 3, 5, out.data(), 5, nullptr), PackStatus::kOk);
  EXPECT_EQ(out[4], 5.0f);

  std::vector<uint32_t> small(1);
  uint32_t header[3] = {0, 0, 0};
  const float v[3] = {1, 2, 3};
  EXPECT_EQ(float_pack(v, 3, 8, header, small.data(), small.size()), PackStatus::kShortStream);
}

// A damaged header (large shift, huge minimum) still decodes inside the
// arrays, to finite values or the patterns of exponent 255.
TEST(FloatPacker, DamagedHeadersStayInBounds) {
  std::mt19937 rng(7);
  std::vector<uint32_t> stream(4);
  std::vector<float> out(7);
  for (int trial = 0; trial < 500; ++trial) {
    uint32_t header[3] = {0xEFF00000u | static_cast<uint32_t>(rng() & 0xFFFFF),
                          static_cast<uint32_t>(rng()), 7};
    for (uint32_t &w : stream) w = static_cast<uint32_t>(rng());
    ASSERT_EQ(
        float_unpack(header, stream.data(), stream.size(), 7, out.data(), out.size(), nullptr),
        PackStatus::kOk);
  }
}

TEST(FloatPacker, EmptyFieldWritesHeaderOnly) {
  int32_t header[3] = {0, 5, 5};
  EXPECT_EQ(c_float_packer(nullptr, 8, header, nullptr, 0), 0);
  EXPECT_EQ(static_cast<uint32_t>(header[0]), word0(8, 0, 0));
  EXPECT_EQ(header[1], 0);
  EXPECT_EQ(header[2], 0);
}

TEST(FloatPacker, TwinForwardsByReference) {
  float v[2] = {1.0f, 3.0f};
  int32_t header[3] = {0, 0, 0};
  int32_t stream[1];
  int nbits = 12, count = 2;
  EXPECT_EQ(float_packer_(v, &nbits, header, stream, &count), 0);
  float out[2];
  int got = 0;
  EXPECT_EQ(float_unpacker_(out, header, stream, &count, &got), 0);
  EXPECT_EQ(got, 12);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 3.0f);
}

}  // namespace
}  // namespace zep::packing

// A missing buffer handed to an entry point of the layer is refused with a
// message and the entry's failure result; nothing is read or written.
TEST(PackingEntries, NullBuffersAreRefusedWithAMessage) {
  std::vector<float> values(16, 1.0f);
  std::vector<int32_t> header(8, 0), stream(64, 0);
  std::vector<uint32_t> uheader(8, 0), ustream(64, 0);
  std::vector<uint16_t> shorts(16, 1);
  int nbits = 0, length = 0, ni = 4, nj = 4, npak = -32, spare = 0, mode = 1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_float_packer(nullptr, 12, header.data(), stream.data(), 16), -1);
  EXPECT_EQ(c_float_packer(values.data(), 12, nullptr, stream.data(), 16), -1);
  EXPECT_EQ(c_float_packer(values.data(), 12, header.data(), nullptr, 16), -1);
  EXPECT_EQ(float_unpacker_1(nullptr, header.data(), stream.data(), 16), -1);
  EXPECT_EQ(c_float_unpacker(values.data(), nullptr, stream.data(), 16, &nbits), -1);
  EXPECT_EQ(compact_float(nullptr, uheader.data(), ustream.data(), 16, 16, 0, 1, 1, 0, nullptr),
            nullptr);
  EXPECT_EQ(compact_integer(nullptr, nullptr, ustream.data(), 16, 16, 0, 1, 1), 0);
  ieeepak_(nullptr, stream.data(), &ni, &nj, &npak, &spare, &mode);
  mode = 2;
  ieeepak_(header.data(), nullptr, &ni, &nj, &npak, &spare, &mode);
  EXPECT_EQ(c_vktzip(nullptr, &length, shorts.data(), 4, 4, 1, 0, 4, 12), -1);
  EXPECT_EQ(c_vktunzip(nullptr, ustream.data(), 4, 4), -1);
  const std::string out = testing::internal::GetCapturedStdout();
  for (const char *entry :
       {"float_packer: ERROR", "float_unpacker_1: ERROR", "float_unpacker: ERROR",
        "compact_float: ERROR", "compact_integer: ERROR", "IEEEPAK ERROR", "c_vktzip: ERROR",
        "c_vktunzip: ERROR"})
    EXPECT_NE(out.find(entry), std::string::npos) << entry << "\n" << out;
  EXPECT_EQ(header, std::vector<int32_t>(8, 0));
}
