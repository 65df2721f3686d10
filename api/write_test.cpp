// Writing through the safe API: every value type back as written, the
// refusals (leaving the file as it was), the writer's datyp changes as
// messages, erasing, copying records bit for bit, and a write that finds no
// room on the disk.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "api/test_support.h"

namespace {

using api_test::descriptor;
using api_test::Scratch;
using api_test::Silence;

struct Messages {
  std::vector<std::pair<int, std::string>> seen;
  static void take(void *context, int severity, const char *text) {
    static_cast<Messages *>(context)->seen.emplace_back(severity, text);
  }
};

class ApiWrite : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = scratch_.path("Write.vkt");
    ASSERT_EQ(zep_open(path_.c_str(), "w", &f_), 0) << zep_last_message(nullptr);
  }
  void TearDown() override { zep_close(f_); }
  // The file closed and opened again for reading.
  std::vector<zep_record> reopen() {
    EXPECT_EQ(zep_close(f_), 0);
    f_ = nullptr;
    EXPECT_EQ(zep_open(path_.c_str(), "r", &f_), 0) << zep_last_message(nullptr);
    return api_test::walk(f_);
  }
  Scratch scratch_;
  std::string path_;
  zep_file *f_ = nullptr;
};

TEST_F(ApiWrite, EveryTypeComesBackAsWritten) {
  const double wide[3] = {0.1, -1e300, std::numeric_limits<double>::denorm_min()};
  const float narrow[3] = {1.5f, -3.25e-20f, 7e30f};
  const uint32_t unsigned_values[3] = {0u, 0xFFFFFFFFu, 123456789u};
  const int32_t signed_values[3] = {std::numeric_limits<int32_t>::min(), -1,
                                    std::numeric_limits<int32_t>::max()};
  const uint8_t text[3] = {'A', 0xE9, 0};
  zep_record d = descriptor("F64", 3, 1, 5, 64);
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F64, wide, 3), 0) << zep_last_message(f_);
  d = descriptor("F32", 3, 1, 5, 32);
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F32, narrow, 3), 0) << zep_last_message(f_);
  d = descriptor("U32", 3, 1, 2, 32);
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_U32, unsigned_values, 3), 0) << zep_last_message(f_);
  d = descriptor("I32", 3, 1, 4, 32);
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_I32, signed_values, 3), 0) << zep_last_message(f_);
  d = descriptor("CHR", 3, 1, 3, 8);
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_U8, text, 3), 0) << zep_last_message(f_);
  d = descriptor("PK", 3, 1, 1, 16);                                // doubles packed on 16 bits
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F64, wide, 1), ZEP_EINVAL);  // count is not ni*nj*nk
  const double ramp[3] = {10.0, 10.5, 11.0};
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F64, ramp, 3), 0) << zep_last_message(f_);

  const std::vector<zep_record> all = reopen();
  ASSERT_EQ(all.size(), 6u);
  double dv[3];
  float fv[3];
  ASSERT_EQ(zep_read_f64(f_, &all[0], dv, 3), 3);
  EXPECT_EQ(std::memcmp(dv, wide, sizeof wide), 0);
  EXPECT_EQ(all[0].type, ZEP_TYPE_F64);
  ASSERT_EQ(zep_read_f32(f_, &all[0], fv, 3), 3);
  EXPECT_EQ(fv[0], 0.1f);  // rounded to the nearest float
  EXPECT_EQ(fv[1], -std::numeric_limits<float>::infinity());
  ASSERT_EQ(zep_read_f32(f_, &all[1], fv, 3), 3);
  EXPECT_EQ(std::memcmp(fv, narrow, sizeof narrow), 0);
  uint32_t uv[3];
  int32_t iv[3];
  ASSERT_EQ(zep_read_u32(f_, &all[2], uv, 3), 3);
  EXPECT_EQ(std::memcmp(uv, unsigned_values, sizeof uv), 0);
  ASSERT_EQ(zep_read_f64(f_, &all[2], dv, 3), 3);
  EXPECT_EQ(dv[1], 4294967295.0);  // exact, where a float would round
  ASSERT_EQ(zep_read_i32(f_, &all[3], iv, 3), 3);
  EXPECT_EQ(std::memcmp(iv, signed_values, sizeof iv), 0);
  ASSERT_EQ(zep_read(f_, &all[3], ZEP_TYPE_F64, dv, 3), 3);
  EXPECT_EQ(dv[0], -2147483648.0);
  uint8_t cv[3];
  ASSERT_EQ(zep_read_u8(f_, &all[4], cv, 3), 3);
  EXPECT_EQ(std::memcmp(cv, text, 3), 0);
  EXPECT_EQ(all[4].type, ZEP_TYPE_U8);
  ASSERT_EQ(zep_read_f64(f_, &all[5], dv, 3), 3);
  EXPECT_NEAR(dv[1], 10.5, 1e-3);
  EXPECT_EQ(all[5].datyp, 1);
  // Types a record does not hold.
  EXPECT_EQ(zep_read_u8(f_, &all[0], cv, 3), ZEP_ETYPE);
  EXPECT_EQ(zep_read_i32(f_, &all[4], iv, 3), ZEP_ETYPE);
  EXPECT_EQ(zep_read(f_, &all[0], static_cast<zep_type>(42), dv, 3), ZEP_EINVAL);
}

TEST_F(ApiWrite, RefusedWritesLeaveTheFileAsItWas) {
  const float v[4] = {1, 2, 3, 4};
  zep_record d = descriptor("OK", 2, 2, 1, 16);
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F32, v, 4), 0);
  const int32_t ints[4] = {1, 2, 3, 4};
  const float huge[4] = {1, 2e38f, 3, 4};

  Silence quiet;
  d = descriptor("BAD", 2, 2, 1, 16);
  const int wrong_type = zep_write(f_, &d, ZEP_TYPE_I32, ints, 4);
  d = descriptor("BAD", 2, 2, 5, 40);
  const int wrong_bits = zep_write(f_, &d, ZEP_TYPE_F32, v, 4);
  d = descriptor("BAD", 0, 2, 1, 16);
  const int no_points = zep_write(f_, &d, ZEP_TYPE_F32, v, 0);
  d = descriptor("BAD", 2, 2, 6, 16);  // the float packer would end the process
  const int too_large = zep_write(f_, &d, ZEP_TYPE_F32, huge, 4);
  const std::string too_large_message = zep_last_message(f_);
  d = descriptor("BAD", 2, 2, 1, 16);
  d.ip1 = 1 << 29;  // beyond the writer's range
  const int out_of_range = zep_write(f_, &d, ZEP_TYPE_F32, v, 4);
  const std::string range_message = zep_last_message(f_);
  d = descriptor("BAD", 2, 2, 1, 16);
  std::memset(d.nomvar, 'X', sizeof d.nomvar);  // no terminator
  const int unterminated = zep_write(f_, &d, ZEP_TYPE_F32, v, 4);
  const std::string printed = quiet.text();

  EXPECT_EQ(wrong_type, ZEP_ETYPE);
  EXPECT_EQ(wrong_bits, ZEP_EINVAL);
  EXPECT_EQ(no_points, ZEP_EINVAL);
  EXPECT_EQ(too_large, ZEP_EINVAL);
  EXPECT_NE(too_large_message.find("1e38"), std::string::npos) << too_large_message;
  EXPECT_EQ(out_of_range, ZEP_EINVAL);
  EXPECT_NE(range_message.find("ip1"), std::string::npos) << range_message;
  EXPECT_EQ(unterminated, ZEP_EINVAL);
  EXPECT_EQ(printed, "");
  const std::vector<zep_record> all = reopen();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_STREQ(all[0].nomvar, "OK");
}

TEST_F(ApiWrite, TheWritersChangeOfDatypIsAMessageNotAPrint) {
  Messages m;
  zep_set_message_handler(&Messages::take, &m);
  const float v[4] = {1, 2, 3, 4};
  zep_record d = descriptor("P20", 2, 2, 6, 20);
  Silence quiet;
  const int rc = zep_write(f_, &d, ZEP_TYPE_F32, v, 4);
  const std::string printed = quiet.text();
  zep_set_message_handler(nullptr, nullptr);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(printed, "");
  ASSERT_EQ(m.seen.size(), 1u);
  EXPECT_EQ(m.seen[0].first, 2);  // a warning
  EXPECT_NE(m.seen[0].second.find("writing R20 instead of F20"), std::string::npos)
      << m.seen[0].second;
  const std::vector<zep_record> all = reopen();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].datyp, 1);
  EXPECT_EQ(all[0].nbits, 20);
}

TEST_F(ApiWrite, AnErasedRecordIsGoneForEveryCall) {
  zep_close(f_);
  api_test::write_floats(path_, 3);
  ASSERT_EQ(zep_open(path_.c_str(), "a", &f_), 0);
  std::vector<zep_record> all = api_test::walk(f_);
  ASSERT_EQ(all.size(), 3u);
  ASSERT_EQ(zep_erase(f_, &all[1]), 0) << zep_last_message(f_);
  float v[12];
  EXPECT_EQ(zep_read_f32(f_, &all[1], v, 12), ZEP_ENOTFOUND);
  EXPECT_EQ(zep_erase(f_, &all[1]), ZEP_ENOTFOUND);
  EXPECT_EQ(zep_count(f_), 2);
  zep_query q;
  zep_query_init(&q);
  std::snprintf(q.nomvar, sizeof q.nomvar, "T1");
  EXPECT_EQ(zep_find(f_, &q, nullptr, 0), 0);
  // The others keep their keys.
  ASSERT_EQ(zep_read_f32(f_, &all[2], v, 12), 12);
  EXPECT_EQ(v[0], 200.0f);
  all = reopen();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_STREQ(all[1].nomvar, "T2");
}

TEST_F(ApiWrite, ACopiedRecordKeepsItsStoredWords) {
  const float v[6] = {1.25f, -7, 3e5f, 0, 1, 2};
  zep_record d = descriptor("CP", 3, 2, 1, 12);
  d.ig1 = 77;
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F32, v, 6), 0);
  const std::vector<zep_record> src_records = reopen();
  ASSERT_EQ(src_records.size(), 1u);

  const std::string other = scratch_.path("Copy.vkt");
  api_test::write_floats(other, 2);
  zep_file *dst = nullptr;
  ASSERT_EQ(zep_open(other.c_str(), "a", &dst), 0);
  ASSERT_EQ(zep_copy_record(dst, f_, &src_records[0]), 0) << zep_last_message(f_);
  EXPECT_EQ(zep_copy_record(f_, dst, &src_records[0]), ZEP_EREADONLY);
  ASSERT_EQ(zep_close(dst), 0);

  ASSERT_EQ(zep_open(other.c_str(), "r", &dst), 0);
  const std::vector<zep_record> copied = api_test::walk(dst);
  ASSERT_EQ(copied.size(), 3u);
  const zep_record &c = copied[2];
  const zep_record &o = src_records[0];
  EXPECT_STREQ(c.nomvar, "CP");
  EXPECT_EQ(c.lng, o.lng);
  EXPECT_EQ(c.ig1, 77);
  EXPECT_EQ(c.nbits, 12);
  EXPECT_NE(c.swa, o.swa);
  float a[6], b[6];
  ASSERT_EQ(zep_read_f32(dst, &c, a, 6), 6);
  ASSERT_EQ(zep_read_f32(f_, &o, b, 6), 6);
  EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
  EXPECT_EQ(zep_close(dst), 0);
}

TEST_F(ApiWrite, NoRoomOnTheDiskIsARefusalAndTheFileStaysReadable) {
  const float small[4] = {1, 2, 3, 4};
  zep_record d = descriptor("FIRST", 2, 2, 5, 32);
  std::snprintf(d.nomvar, sizeof d.nomvar, "ONE");
  ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F32, small, 4), 0);
  ASSERT_EQ(zep_close(f_), 0);
  ASSERT_EQ(zep_open(path_.c_str(), "a", &f_), 0);

  // Files may not grow beyond their size plus a little from here on.
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old_limit;
  limit.rlim_cur = static_cast<rlim_t>(st.st_size) + 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::vector<float> big(200 * 200, 1.0f);
  d = descriptor("BIG", 200, 200, 5, 32);
  Silence quiet;
  const int rc = zep_write(f_, &d, ZEP_TYPE_F32, big.data(), big.size());
  const std::string message = zep_last_message(f_);
  const std::string printed = quiet.text();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_EQ(rc, ZEP_EWRITE);
  EXPECT_NE(message.find("no room for the record"), std::string::npos) << message;
  EXPECT_EQ(printed, "");
  const std::vector<zep_record> all = reopen();
  ASSERT_EQ(all.size(), 1u);
  float v[4];
  ASSERT_EQ(zep_read_f32(f_, &all[0], v, 4), 4);
  EXPECT_EQ(v[3], 4.0f);
}

// The room reserved ahead of each record is about what the record takes:
// once closed, a file of 16-bit records holds little disk beyond its size.
TEST_F(ApiWrite, RoomReservedAheadIsTheRecordsOwn) {
  std::vector<float> values(500 * 500);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i % 977) * 0.5f;
  for (int r = 0; r < 8; ++r) {
    zep_record d = descriptor("ROOM", 500, 500, 1, 16);
    d.ip1 = r;
    ASSERT_EQ(zep_write(f_, &d, ZEP_TYPE_F32, values.data(), values.size()), 0)
        << zep_last_message(f_);
  }
  ASSERT_EQ(zep_close(f_), 0);
  f_ = nullptr;
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  const long long held = static_cast<long long>(st.st_blocks) * 512;
  // The records take 4 MB; the directory's reserve and block rounding stay
  // well below the 2 MB that a reserve of 8 bytes a value would leave.
  EXPECT_LT(held - static_cast<long long>(st.st_size), 256 * 1024)
      << "size " << st.st_size << ", disk held " << held;
}

}  // namespace
