// Records through the safe API: the walk, zep_find's count semantics and
// wildcards, keys that find a record again (sequential files too), the
// decoded level and dates, and records from elsewhere refused.
#include "api/test_support.h"
#include "common/bit_cast.h"
#include "zep/coding.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

namespace {

using api_test::descriptor;
using api_test::Scratch;
using api_test::Silence;

class ApiRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = scratch_.path("Records.vkt");
    api_test::write_floats(path_, 6);
    ASSERT_EQ(zep_open(path_.c_str(), "r", &f_), 0);
  }
  void TearDown() override { zep_close(f_); }
  Scratch scratch_;
  std::string path_;
  zep_file *f_ = nullptr;
};

TEST_F(ApiRecords, FindCountsLikeSnprintfAndFillsWhatFits) {
  zep_query q;
  zep_query_init(&q);
  EXPECT_EQ(zep_find(f_, &q, nullptr, 0), 6);
  zep_record out[3];
  std::memset(out, 0x5A, sizeof out);
  ASSERT_EQ(zep_find(f_, &q, out, 2), 6);
  EXPECT_STREQ(out[0].nomvar, "T0");
  EXPECT_STREQ(out[1].nomvar, "T1");
  EXPECT_EQ(out[1].index, 1);
  EXPECT_EQ(static_cast<unsigned char>(out[2].nomvar[0]), 0x5A) << "written past the capacity";

  // Criteria: a name, a level, a name that matches nothing.
  std::snprintf(q.nomvar, sizeof q.nomvar, "T4");
  ASSERT_EQ(zep_find(f_, &q, out, 3), 1);
  EXPECT_EQ(out[0].index, 4);
  EXPECT_EQ(out[0].ip1, 4);
  zep_query_init(&q);
  q.ip1 = 2;
  ASSERT_EQ(zep_find(f_, &q, out, 3), 1);
  EXPECT_STREQ(out[0].nomvar, "T2");
  std::snprintf(q.etiket, sizeof q.etiket, "OTHER");
  EXPECT_EQ(zep_find(f_, &q, out, 3), 0);
  std::memset(q.etiket, 'E', sizeof q.etiket);
  EXPECT_EQ(zep_find(f_, &q, out, 3), ZEP_EINVAL);
  EXPECT_EQ(zep_find(f_, &q, nullptr, 1), ZEP_EINVAL);

  // A found record reads, and the walk was not disturbed by the search.
  zep_record first;
  ASSERT_EQ(zep_next(f_, &first), 1);
  std::snprintf(q.nomvar, sizeof q.nomvar, "T5");
  std::memset(q.etiket, 0, sizeof q.etiket);
  zep_query_init(&q);
  std::snprintf(q.nomvar, sizeof q.nomvar, "T5");
  ASSERT_EQ(zep_find(f_, &q, out, 1), 1);
  float v[12];
  ASSERT_EQ(zep_read_f32(f_, &out[0], v, 12), 12);
  EXPECT_EQ(v[0], 500.0f);
  zep_record second;
  ASSERT_EQ(zep_next(f_, &second), 1);
  EXPECT_STREQ(second.nomvar, "T1");
  EXPECT_EQ(second.index, 1);
}

TEST_F(ApiRecords, ARecordOfAnotherFileOrAMadeUpKeyIsRefused) {
  const std::string other = scratch_.path("Other.vkt");
  api_test::write_floats(other, 1);
  zep_file *g = nullptr;
  ASSERT_EQ(zep_open(other.c_str(), "r", &g), 0);
  zep_record theirs;
  ASSERT_EQ(zep_next(g, &theirs), 1);
  float v[12];
  EXPECT_EQ(zep_read_f32(f_, &theirs, v, 12), ZEP_EINVAL);
  zep_record made_up;
  std::memset(&made_up, 0, sizeof made_up);
  made_up.count = 12;
  EXPECT_EQ(zep_read_f32(f_, &made_up, v, 12), ZEP_EINVAL);
  made_up.key[0] = theirs.key[0] + (10 << 7);  // an entry past the page's count
  made_up.key[1] = theirs.key[1];
  EXPECT_LT(zep_read_f32(g, &made_up, v, 12), 0);
  EXPECT_NE(std::string(zep_last_message(g)), "");
  zep_close(g);
}

TEST_F(ApiRecords, LevelsAndDatesAreDecodedWithoutAPrint) {
  const std::string path = scratch_.path("Levels.vkt");
  zep_file *w = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "w", &w), 0);
  const float v = 1;
  zep_record d = descriptor("LV", 1, 1, 1, 16, 500);  // old-style 500 mb
  int date = 20240115, time = 12000000, mode = 3;
  ASSERT_EQ(newdate_(&d.dateo, &date, &time, &mode), 0);
  d.deet = 900;
  d.npas = 8;  // two hours later
  ASSERT_EQ(zep_write(w, &d, ZEP_TYPE_F32, &v, 1), 0);
  d = descriptor("BAD", 1, 1, 1, 16, (7 << 24) | 5);  // kind 7: no such level kind
  ASSERT_EQ(zep_write(w, &d, ZEP_TYPE_F32, &v, 1), 0);
  ASSERT_EQ(zep_close(w), 0);
  ASSERT_EQ(zep_open(path.c_str(), "r", &w), 0);
  Silence quiet;
  const std::vector<zep_record> all = api_test::walk(w);
  const std::string printed = quiet.text();
  zep_close(w);
  EXPECT_EQ(printed, "");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].level_ok, 1);
  EXPECT_STREQ(all[0].level_text, "500 mb");
  EXPECT_STREQ(all[0].level_kind_text, "mb");
  EXPECT_EQ(all[0].level_kind, 2);
  EXPECT_EQ(all[0].level, 500.0f);
  EXPECT_STREQ(all[0].dateo_iso, "2024-01-15T12:00:00Z");
  EXPECT_STREQ(all[0].datev_iso, "2024-01-15T14:00:00Z");
  EXPECT_EQ(all[0].datev_unix - all[0].dateo_unix, 7200);
  EXPECT_EQ(all[0].dateo_unix, 1705320000);
  EXPECT_EQ(all[1].level_ok, 0);
  EXPECT_STREQ(all[1].level_text, "");
}

TEST(ApiSequential, RecordsReadAgainByKeyAfterTheWalkMovedOn) {
  Scratch s;
  const std::string path = s.path("Seq.vkt");
  {
    Silence quiet;  // the specified API's traces
    int unit = 0;
    ASSERT_EQ(c_fnom(&unit, path.c_str(), "STD+SEQ", 0), 0);
    ASSERT_GE(c_vktouv(unit, "SEQ"), 0);
    for (int k = 0; k < 5; ++k) {
      float field[6];
      for (int i = 0; i < 6; ++i) field[i] = static_cast<float>(10 * k + i);
      char name[16];
      std::snprintf(name, sizeof name, "S%d", k % 10);
      ASSERT_GE(c_vktecr(field, nullptr, -32, unit, 0, 0, 0, 3, 2, 1, k, 0, 0, "P", name, "SEQ",
                         "X", 0, 0, 0, 0, 5, 0),
                0);
    }
    c_vktfrm(unit);
    c_fclos(unit);
  }
  zep_file *f = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "r", &f), 0) << zep_last_message(nullptr);
  const std::vector<zep_record> all = api_test::walk(f);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(zep_count(f), 5);
  // Backwards, after the walk has ended: each record by its key.
  for (int k = 4; k >= 0; --k) {
    float v[6];
    ASSERT_EQ(zep_read_f32(f, &all[k], v, 6), 6) << k << ": " << zep_last_message(f);
    EXPECT_EQ(v[5], static_cast<float>(10 * k + 5));
  }
  zep_query q;
  zep_query_init(&q);
  std::snprintf(q.nomvar, sizeof q.nomvar, "S3");
  zep_record found;
  ASSERT_EQ(zep_find(f, &q, &found, 1), 1);
  EXPECT_EQ(found.index, 3);
  EXPECT_EQ(found.key[0], all[3].key[0]);
  // The walk resumes where it was: at its end.
  zep_record r;
  EXPECT_EQ(zep_next(f, &r), 0);
  EXPECT_EQ(zep_rewind(f), 0);
  ASSERT_EQ(zep_next(f, &r), 1);
  EXPECT_STREQ(r.nomvar, "S0");
  zep_close(f);
}

}  // namespace

namespace {

// Each record's values read alone from a fresh open of the file.
std::vector<uint32_t> read_alone(const std::string &path, size_t index) {
  zep_file *f = nullptr;
  EXPECT_EQ(zep_open(path.c_str(), "r", &f), 0);
  const std::vector<zep_record> recs = api_test::walk(f);
  std::vector<uint32_t> v(recs.at(index).count);
  const zep_type type = recs[index].type == ZEP_TYPE_F64 ? ZEP_TYPE_F32 : recs[index].type;
  EXPECT_EQ(zep_read(f, &recs[index], type, v.data(), v.size()),
            static_cast<long>(recs[index].count))
      << zep_last_message(f);
  zep_close(f);
  return v;
}

// The file object keeps its read buffer from one read to the next: records
// of other sizes and kinds read in turn through it (a large noisy one before
// a small compressed one, whose expansion uses the room past its stored
// words) give the values each gives read alone.
TEST(ApiReads, RecordsReadInTurnGiveTheirOwnValues) {
  Scratch scratch;
  const std::string path = scratch.path("Turns.vkt");
  zep_file *f = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "w", &f), 0);
  std::vector<float> big(300 * 200), small(50 * 40);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<float>((i * 7919) % 1000) - 500.0f;
  for (size_t i = 0; i < small.size(); ++i) small[i] = static_cast<float>(i % 50) * 0.5f;
  std::vector<int32_t> ints(123);
  for (size_t i = 0; i < ints.size(); ++i) ints[i] = static_cast<int32_t>(i * 1000) - 60000;
  zep_record d = descriptor("BIG", 300, 200, 1, 16);
  ASSERT_EQ(zep_write(f, &d, ZEP_TYPE_F32, big.data(), big.size()), 0) << zep_last_message(f);
  d = descriptor("CMP", 50, 40, 129, 16);
  ASSERT_EQ(zep_write(f, &d, ZEP_TYPE_F32, small.data(), small.size()), 0) << zep_last_message(f);
  d = descriptor("INT", 123, 1, 4, 24);
  ASSERT_EQ(zep_write(f, &d, ZEP_TYPE_I32, ints.data(), ints.size()), 0) << zep_last_message(f);
  d = descriptor("IEE", 50, 40, 5, 32);
  ASSERT_EQ(zep_write(f, &d, ZEP_TYPE_F32, small.data(), small.size()), 0) << zep_last_message(f);
  ASSERT_EQ(zep_close(f), 0);

  ASSERT_EQ(zep_open(path.c_str(), "r", &f), 0);
  const std::vector<zep_record> recs = api_test::walk(f);
  ASSERT_EQ(recs.size(), 4u);
  for (size_t index : {0u, 1u, 0u, 2u, 3u, 1u, 2u}) {
    std::vector<uint32_t> v(recs[index].count, 0xDEADBEEFu);
    const zep_type type = recs[index].type;
    ASSERT_EQ(zep_read(f, &recs[index], type, v.data(), v.size()),
              static_cast<long>(recs[index].count))
        << zep_last_message(f);
    EXPECT_EQ(v, read_alone(path, index)) << recs[index].nomvar;
  }
  // The integers come back exactly; the floats of IEEE 32 bits too.
  std::vector<int32_t> back(ints.size());
  ASSERT_EQ(zep_read_i32(f, &recs[2], back.data(), back.size()), 123);
  EXPECT_EQ(back, ints);
  std::vector<float> ieee(small.size());
  ASSERT_EQ(zep_read_f32(f, &recs[3], ieee.data(), ieee.size()), 2000);
  EXPECT_EQ(ieee, small);
  zep_close(f);
}

// IEEE words read as floats come back as a round trip through double gives
// them: NaNs quiet with their payload, everything else bit for bit.
TEST(ApiReads, IeeeWordsAsFloatsAsThroughDouble) {
  Scratch scratch;
  const std::string path = scratch.path("Ieee.vkt");
  const uint32_t patterns[] = {0x7F800001u, 0x7FC00123u, 0xFF800456u, 0x00000001u,
                               0x80000000u, 0x7F800000u, 0x3F800000u, 0xFFFFFFFFu};
  std::vector<float> v;
  for (uint32_t p : patterns) v.push_back(zep::float_from_bits(p));
  zep_file *f = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "w", &f), 0);
  zep_record d = descriptor("IEE", static_cast<int>(v.size()), 1, 5, 32);
  ASSERT_EQ(zep_write(f, &d, ZEP_TYPE_F32, v.data(), v.size()), 0) << zep_last_message(f);
  ASSERT_EQ(zep_close(f), 0);
  ASSERT_EQ(zep_open(path.c_str(), "r", &f), 0);
  const std::vector<zep_record> recs = api_test::walk(f);
  ASSERT_EQ(recs.size(), 1u);
  std::vector<float> back(v.size());
  ASSERT_EQ(zep_read_f32(f, &recs[0], back.data(), back.size()), static_cast<long>(v.size()));
  for (size_t i = 0; i < v.size(); ++i) {
    volatile double wide = static_cast<double>(v[i]);
    const float expected = static_cast<float>(wide);
    EXPECT_EQ(zep::float_bits(back[i]), zep::float_bits(expected)) << std::hex << patterns[i];
  }
  zep_close(f);
}

}  // namespace
