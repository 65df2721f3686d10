// Record buffers: preparation, key updates, the editing calls' room and
// datyp rules, and the checks of c_xdfput.
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

class Record : public ::testing::Test {
 protected:
  void SetUp() override {
    use_copy_builders();
    unit_ = std::make_unique<OpenUnit>(71, dir.file("r.vkt"), "RND", "CREATE");
    ASSERT_EQ(unit_->result(), 0);
  }
  void TearDown() override { unit_.reset(); }
  TempDir dir;
  std::unique_ptr<OpenUnit> unit_;
};

TEST_F(Record, PreparedBufferAndKeyUpdates) {
  // The generic builder: keys of -1 are left alone.
  unit_->entry().build_primary = zep::xdf::build_gen_prim_keys;
  std::vector<uint32_t> buf = record_buffer(40);
  std::fill(buf.begin() + 1, buf.end(), 0x5A5A5A5Au);
  uint32_t keys[16];
  for (int i = 0; i < 16; ++i) keys[i] = 0xFFFFFFFFu;
  keys[3] = 33;
  ASSERT_EQ(c_xdfini(71, buf.data(), 1, keys, 16, nullptr, 0), 0);
  EXPECT_EQ(buf[0], 49u);
  EXPECT_EQ(buf[1], 640u);
  EXPECT_EQ(buf[2], 20u);
  EXPECT_EQ(buf[3], 0u);
  EXPECT_EQ(buf[4], 71u);
  EXPECT_EQ(buf[5], 18u);
  EXPECT_EQ(buf[9], 0x01000000u);
  EXPECT_EQ(buf[11], 0u);  // keys given as -1 stay 0
  EXPECT_EQ(buf[14], 33u);
  EXPECT_EQ(buf[48], 0u);  // the whole buffer cleared
  EXPECT_EQ(c_xdfini(71, buf.data(), 127, keys, 16, nullptr, 0), zep::xdf::ERR_BAD_TYPE);
  EXPECT_EQ(c_xdfini(71, buf.data(), 0, keys, 16, nullptr, 0), zep::xdf::ERR_BAD_TYPE);
  ASSERT_EQ(c_xdfini(71, buf.data(), 7, keys, 16, nullptr, 0), 0);
  // c_xdfupd: -1 keeps the type, keys of -1 keep their bits.
  keys[3] = 0xFFFFFFFFu;
  keys[4] = 44;
  ASSERT_EQ(c_xdfupd(71, buf.data(), -1, keys, 16, nullptr, 0), 0);
  EXPECT_EQ(buf[9] >> 24, 7u);
  EXPECT_EQ(buf[14], 33u);
  EXPECT_EQ(buf[15], 44u);
  ASSERT_EQ(c_xdfupd(71, buf.data(), 9, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(buf[9] >> 24, 9u);
  EXPECT_EQ(c_xdfupd(71, buf.data(), 127, nullptr, 0, nullptr, 0), zep::xdf::ERR_BAD_TYPE);
  EXPECT_EQ(c_xdfupd(72, buf.data(), 1, nullptr, 0, nullptr, 0), zep::xdf::ERR_NOT_FNOM);
  // c_xdfhdr reads them back.
  int a, l, t;
  uint32_t out[16];
  ASSERT_EQ(c_xdfhdr(buf.data(), &a, &l, &t, out, 16, nullptr, 0), 0);
  EXPECT_EQ(t, 9);
  EXPECT_EQ(out[3], 33u);
  EXPECT_EQ(out[4], 44u);
  // A buffer too small for the keys is refused before anything is written.
  std::vector<uint32_t> tiny = record_buffer(10);
  tiny.push_back(0xDEADBEEF);
  EXPECT_EQ(c_xdfini(71, tiny.data(), 1, keys, 16, nullptr, 0), zep::xdf::ERR_BUFFER_SMALL);
  EXPECT_EQ(tiny.back(), 0xDEADBEEFu);
}

TEST_F(Record, EditingCallsMoveWholeUnits) {
  std::vector<uint32_t> buf = record_buffer(30);
  ASSERT_EQ(c_xdfini(71, buf.data(), 1, nullptr, 0, nullptr, 0), 0);
  // 3 elements of 8 bits: one unit.
  uint32_t chars[1] = {0x61626300};
  ASSERT_EQ(c_xdfadd(buf.data(), chars, 3, 8, 3), 0);
  EXPECT_EQ(buf[1], 640u + 64u);
  EXPECT_EQ(buf[9 + 20], 0x61626300u);
  EXPECT_EQ(buf[9 + 21], 0u);
  // datyp 5: folded on the way in.
  ASSERT_EQ(c_xdfadd(buf.data(), chars, 4, 8, 5), 0);
  EXPECT_EQ(buf[9 + 22], 0x41424300u);
  // Insert at the data start moves what follows up by W.
  uint32_t raw[2] = {0x11111111, 0x22222222};
  ASSERT_EQ(c_xdfins(buf.data(), raw, 0, 2, 32, 0), 0);
  EXPECT_EQ(buf[1], 640u + 192u);
  EXPECT_EQ(buf[9 + 20], 0x11111111u);
  EXPECT_EQ(buf[9 + 21], 0x22222222u);
  EXPECT_EQ(buf[9 + 22], 0x61626300u);
  EXPECT_EQ(buf[9 + 24], 0x41424300u);
  // Replace the second unit of data.
  uint32_t rep[1] = {0x33333333};
  ASSERT_EQ(c_xdfrep(buf.data(), rep, 64, 1, 32, 8), 0);
  EXPECT_EQ(buf[9 + 22], 0x33333333u);
  EXPECT_EQ(buf[9 + 23], 0u);
  EXPECT_EQ(buf[1], 640u + 192u);
  // Extract the first unit; cut it.
  uint32_t back[2] = {};
  ASSERT_EQ(c_xdfxtr(buf.data(), back, 0, 2, 32, 0), 0);
  EXPECT_EQ(back[1], 0x22222222u);
  ASSERT_EQ(c_xdfcut(buf.data(), 0, 2, 32, 0), 0);
  EXPECT_EQ(buf[1], 640u + 128u);
  EXPECT_EQ(buf[9 + 20], 0x33333333u);
  EXPECT_EQ(buf[9 + 22], 0x41424300u);
  // c_xdfcut with datyp 3 needs 8 bits.
  ASSERT_EQ(c_xdfcut(buf.data(), 64, 4, 8, 3), 0);
  EXPECT_EQ(buf[1], 640u + 64u);
}

TEST_F(Record, IntegerAndSixtyFourBitItems) {
  std::vector<uint32_t> buf = record_buffer(30);
  ASSERT_EQ(c_xdfini(71, buf.data(), 1, nullptr, 0, nullptr, 0), 0);
  int32_t sv[5] = {-3, 0, 7, -8, 5};
  ASSERT_EQ(c_xdfadd(buf.data(), reinterpret_cast<uint32_t *>(sv), 5, 4, 4), 0);
  EXPECT_EQ(buf[1], 640u + 64u);
  EXPECT_EQ(buf[9 + 20], 0x58F0D000u);  // biased by 8: 5, 8, 15, 0, 13
  uint32_t uv[3] = {1, 2, 3};
  ASSERT_EQ(c_xdfadd(buf.data(), uv, 3, 16, 2), 0);
  EXPECT_EQ(buf[9 + 22], 0x00010002u);
  EXPECT_EQ(buf[9 + 23], 0x00030000u);
  int32_t sback[5] = {};
  ASSERT_EQ(c_xdfxtr(buf.data(), reinterpret_cast<uint32_t *>(sback), 0, 5, 4, 4), 0);
  EXPECT_EQ(std::vector<int32_t>(sback, sback + 5), std::vector<int32_t>(sv, sv + 5));
  uint32_t uback[3] = {};
  ASSERT_EQ(c_xdfxtr(buf.data(), uback, 64, 3, 16, 2), 0);
  EXPECT_EQ(uback[2], 3u);
  // 64-bit items: the two words of each item are exchanged on a
  // little-endian host, both ways.
  uint32_t item[2] = {0xAAAA0001, 0xBBBB0002};
  ASSERT_EQ(c_xdfadd(buf.data(), item, 1, 64, 7), 0);
  if (zep::host_is_little_endian()) {
    EXPECT_EQ(buf[9 + 24], 0xBBBB0002u);
  } else {
    EXPECT_EQ(buf[9 + 24], 0xAAAA0001u);
  }
  uint32_t item_back[2] = {};
  ASSERT_EQ(c_xdfxtr(buf.data(), item_back, 128, 1, 64, 7), 0);
  EXPECT_EQ(item_back[0], 0xAAAA0001u);
  EXPECT_EQ(item_back[1], 0xBBBB0002u);
}

TEST_F(Record, RoomAndDatypRules) {
  std::vector<uint32_t> buf = record_buffer(22);  // room for one more unit
  ASSERT_EQ(c_xdfini(71, buf.data(), 1, nullptr, 0, nullptr, 0), 0);
  uint32_t d[4] = {1, 2, 3, 4};
  EXPECT_EQ(c_xdfadd(buf.data(), d, 3, 32, 0), zep::xdf::ERR_BUFFER_SMALL);
  EXPECT_EQ(c_xdfins(buf.data(), d, 0, 3, 32, 0), zep::xdf::ERR_BUFFER_SMALL);
  EXPECT_EQ(c_xdfrep(buf.data(), d, 64, 1, 32, 0), zep::xdf::ERR_BUFFER_SMALL);
  EXPECT_EQ(buf[1], 640u);
  ASSERT_EQ(c_xdfadd(buf.data(), d, 2, 32, 0), 0);
  // datyp 1 and values beyond 9 are refused; c_xdfins refuses before moving.
  const std::vector<uint32_t> before = buf;
  std::vector<uint32_t> big = record_buffer(30);
  ASSERT_EQ(c_xdfini(71, big.data(), 1, nullptr, 0, nullptr, 0), 0);
  ASSERT_EQ(c_xdfadd(big.data(), d, 2, 32, 0), 0);
  const std::vector<uint32_t> big_before = big;
  EXPECT_EQ(c_xdfins(big.data(), d, 0, 2, 32, 1), zep::xdf::ERR_BAD_TYPE);
  EXPECT_EQ(big, big_before);
  EXPECT_EQ(c_xdfadd(big.data(), d, 2, 32, 10), zep::xdf::ERR_BAD_TYPE);
  EXPECT_EQ(c_xdfrep(big.data(), d, 0, 2, 32, -1), zep::xdf::ERR_BAD_TYPE);
  EXPECT_EQ(big, big_before);
  // Cutting beyond the image is refused.
  EXPECT_EQ(c_xdfcut(big.data(), 64, 2, 32, 0), zep::xdf::ERR_BUFFER_SMALL);
  // An inconsistent buffer (image longer than its dimension) is refused.
  big[1] = 32 * 100;
  EXPECT_EQ(c_xdfadd(big.data(), d, 2, 32, 0), zep::xdf::ERR_BAD_BUFFER);
  // Tolerated severity 4: the return codes.
  c_xdfopt("ERRTOLR", "FATAL", 0);
  EXPECT_EQ(c_xdfrep(buf.data(), d, 32, 1, 32, 0), zep::xdf::ERR_BAD_BITS);
  EXPECT_EQ(c_xdfcut(buf.data(), 0, 4, 16, 3), zep::xdf::ERR_BAD_TYPE);
  c_xdfopt("ERRTOLR", "ERROR", 0);
}

TEST_F(Record, EditingRulesEndTheProcessAtSeverityFour) {
  std::vector<uint32_t> buf = record_buffer(30);
  ASSERT_EQ(c_xdfini(71, buf.data(), 1, nullptr, 0, nullptr, 0), 0);
  uint32_t d[2] = {0, 0};
  EXPECT_EXIT(c_xdfrep(buf.data(), d, 32, 1, 32, 0), ::testing::ExitedWithCode(18),
              "FATAL ERROR #18 from module c_xdfrep: bitpos must be a multiple of 64");
  EXPECT_EXIT(c_xdfadd(buf.data(), d, 2, 16, 5), ::testing::ExitedWithCode(16),
              "nbits must be 8 for datyp 5");
  buf[1] = 640 + 32;
  EXPECT_EXIT(
      c_xdfput(71, 0, buf.data()), ::testing::ExitedWithCode(18),
      "SYSTEM SOFTWARE ERROR #18 from module c_xdfput: buf->nbits is not a multiple of 64 bits");
}

TEST_F(Record, PutChecksItsBufferAndHandle) {
  std::vector<uint32_t> buf = record_buffer(24);
  ASSERT_EQ(c_xdfini(71, buf.data(), 1, nullptr, 0, nullptr, 0), 0);
  buf[4] = 999;
  EXPECT_EQ(c_xdfput(71, 0, buf.data()), zep::xdf::ERR_BAD_BUFFER);
  buf[4] = 71;
  EXPECT_EQ(c_xdfput(73, 0, buf.data()), zep::xdf::ERR_BAD_UNIT);
  ASSERT_EQ(c_xdfput(71, 0, buf.data()), 0);
  // A handle of another file.
  EXPECT_EQ(c_xdfput(71, 0x7E + (0 << 7), buf.data()), zep::xdf::ERR_BAD_HANDLE);
  // A buffer of another key layout.
  uint32_t pri[2], aux[2];
  c_xdfcle("K1", 31, 32, 0, &pri[0], &pri[1]);
  c_xdfcle("I1", 31, 32, 0, &aux[0], &aux[1]);
  ASSERT_EQ(bind(74, dir.file("other.vkt"), "RND"), 0);
  ASSERT_EQ(c_xdfopn(74, "CREATE", pri, 1, aux, 1, "OTHR"), 0);
  std::vector<uint32_t> other = record_buffer(10);
  ASSERT_EQ(c_xdfini(74, other.data(), 1, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(c_xdfput(71, 0, other.data()), zep::xdf::ERR_DIFFERENT_FILES);
  c_xdfcls(74);
  c_fclos(74);
  // A record image longer than its buffer.
  buf[1] = 32 * 40;
  EXPECT_EQ(c_xdfput(71, 0, buf.data()), zep::xdf::ERR_BUFFER_SMALL);
}

}  // namespace
