// Messages, error texts, the version, the coding helpers and calls from
// several threads.
#include <atomic>
#include <set>
#include <thread>

#include "api/test_support.h"
#include "zep/coding.h"

namespace {

using api_test::Scratch;

TEST(ApiMessages, EveryCodeHasItsOwnText) {
  std::set<std::string> texts;
  for (int code = ZEP_EINTERNAL; code <= ZEP_OK; ++code) {
    ASSERT_NE(zep_strerror(code), nullptr);
    texts.insert(zep_strerror(code));
  }
  EXPECT_EQ(texts.size(), static_cast<size_t>(1 - ZEP_EINTERNAL));
  EXPECT_STREQ(zep_strerror(-1000), "unknown error");
  EXPECT_STREQ(zep_version(), ZEP_TEST_VERSION);
}

struct Collected {
  std::vector<std::string> texts;
  int depth_seen = 0;
  static void take(void *context, int, const char *text) {
    Collected *c = static_cast<Collected *>(context);
    c->texts.emplace_back(text);
    // The handler may call the API again (the lock is recursive).
    zep_file *f = nullptr;
    if (zep_open("/no/such/file.vkt", "r", &f) == ZEP_EOPEN) ++c->depth_seen;
  }
};

TEST(ApiMessages, TheHandlerGetsTheLibrarysMessagesAndMayCallBack) {
  Scratch s;
  const std::string path = s.path("junk.vkt");
  {
    FILE *out = std::fopen(path.c_str(), "wb");
    std::vector<char> junk(10000, 7);
    std::fwrite(junk.data(), 1, junk.size(), out);
    std::fclose(out);
  }
  Collected c;
  zep_set_message_handler(&Collected::take, &c);
  zep_file *f = nullptr;
  EXPECT_EQ(zep_open(path.c_str(), "r", &f), ZEP_ENOTSTD);
  zep_set_message_handler(nullptr, nullptr);
  ASSERT_FALSE(c.texts.empty());
  EXPECT_NE(c.texts[0].find("c_xdfopn"), std::string::npos) << c.texts[0];
  EXPECT_GE(c.depth_seen, 1);
  // Removed: nothing more is collected.
  const size_t before = c.texts.size();
  EXPECT_EQ(zep_open(path.c_str(), "r", &f), ZEP_ENOTSTD);
  EXPECT_EQ(c.texts.size(), before);
}

TEST(ApiMessages, TheLastOpenFailureIsPerThreadAndPerFile) {
  Scratch s;
  const std::string good = s.path("good.vkt");
  api_test::write_floats(good, 1);
  zep_file *f = nullptr;
  EXPECT_EQ(zep_open(s.path("missing_here.vkt").c_str(), "r", &f), ZEP_EOPEN);
  std::string other_thread;
  std::thread t([&] {
    zep_file *g = nullptr;
    EXPECT_EQ(zep_open(s.path("missing_there.vkt").c_str(), "r", &g), ZEP_EOPEN);
    other_thread = zep_last_message(nullptr);
  });
  t.join();
  EXPECT_NE(std::string(zep_last_message(nullptr)).find("missing_here"), std::string::npos);
  EXPECT_NE(other_thread.find("missing_there"), std::string::npos);

  ASSERT_EQ(zep_open(good.c_str(), "r", &f), 0);
  EXPECT_STREQ(zep_last_message(f), "");
  zep_record r;
  ASSERT_EQ(zep_next(f, &r), 1);
  float v[2];
  EXPECT_EQ(zep_read_f32(f, &r, v, 2), ZEP_ETOOSMALL);
  EXPECT_NE(std::string(zep_last_message(f)).find("the buffer holds 2"), std::string::npos)
      << zep_last_message(f);
  // A success keeps the last failure's message.
  float all[12];
  EXPECT_EQ(zep_read_f32(f, &r, all, 12), 12);
  EXPECT_NE(std::string(zep_last_message(f)).find("buffer"), std::string::npos);
  zep_close(f);
}

TEST(ApiThreads, TwoFilesReadFromTwoThreadsGiveTheirOwnValues) {
  Scratch s;
  const std::string a = s.path("a.vkt"), b = s.path("b.vkt");
  api_test::write_floats(a, 20);
  api_test::write_floats(b, 30);
  std::atomic<int> wrong{0};
  auto reader = [&](const std::string &path, int records) {
    for (int round = 0; round < 20; ++round) {
      zep_file *f = nullptr;
      if (zep_open(path.c_str(), "r", &f) != 0) {
        ++wrong;
        return;
      }
      zep_record r;
      int k = 0;
      while (zep_next(f, &r) == 1) {
        float v[12];
        if (zep_read_f32(f, &r, v, 12) != 12 || v[5] != static_cast<float>(100 * k + 5)) ++wrong;
        ++k;
      }
      if (k != records || zep_count(f) != records) ++wrong;
      zep_close(f);
    }
  };
  std::thread t1(reader, a, 20), t2(reader, b, 30);
  t1.join();
  t2.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ApiCoding, StampsAndSecondsAgreeWithTheDateRoutines) {
  // 2024-02-29 13:45:10, through the specified routine and through the helper.
  int stamp = 0, date = 20240229, time = 13451000, mode = 3;
  ASSERT_EQ(newdate_(&stamp, &date, &time, &mode), 0);
  int64_t seconds = 0;
  ASSERT_EQ(zep_stamp_to_unix(stamp, &seconds), 0);
  EXPECT_EQ(seconds, 1709214310);
  int back = 0;
  ASSERT_EQ(zep_stamp_from_unix(seconds, &back), 0);
  EXPECT_EQ(back, stamp);
  // Before 1970, a whole hour.
  ASSERT_EQ(zep_stamp_from_unix(-86400 * 365, &back), 0);
  ASSERT_EQ(zep_stamp_to_unix(back, &seconds), 0);
  EXPECT_EQ(seconds, -86400 * 365);
  EXPECT_EQ(zep_stamp_to_unix(-1, &seconds), ZEP_EINVAL);
  EXPECT_EQ(zep_stamp_to_unix(0, &seconds), ZEP_EINVAL);
  EXPECT_EQ(zep_stamp_from_unix(int64_t{1} << 40, &back), ZEP_EINVAL);
  EXPECT_EQ(zep_stamp_to_unix(stamp, nullptr), ZEP_EINVAL);
}

TEST(ApiCoding, DatesAndTimesToSecondsCheckTheCalendar) {
  int64_t seconds = 0;
  ASSERT_EQ(zep_date_to_unix(20240229, 13451099, &seconds), 0);  // hundredths dropped
  EXPECT_EQ(seconds, 1709214310);
  ASSERT_EQ(zep_date_to_unix(19000101, 0, &seconds), 0);
  EXPECT_EQ(seconds, -2208988800);
  ASSERT_EQ(zep_date_to_unix(20000229, 23595900, &seconds), 0);
  EXPECT_EQ(seconds, 951868799);
  ASSERT_EQ(zep_date_to_unix(101, 0, &seconds), 0);  // 1 January of year 0
  EXPECT_EQ(seconds, -62167219200);
  seconds = 7;
  for (int date : {20230229, 19000229, 20241301, 20240001, 20240100, 20240431, -1, 100000101})
    EXPECT_EQ(zep_date_to_unix(date, 0, &seconds), ZEP_EINVAL) << date;
  for (int time : {24000000, 12600000, 12006000, -1})
    EXPECT_EQ(zep_date_to_unix(20240101, time, &seconds), ZEP_EINVAL) << time;
  EXPECT_EQ(seconds, 7);
  EXPECT_EQ(zep_date_to_unix(20240101, 0, nullptr), ZEP_EINVAL);
}

TEST(ApiCoding, GridParametersAgreeWithTheSpecifiedRoutine) {
  const struct {
    const char *grtyp;
    int ig[4];
  } cases[] = {{"L", {100, 200, 300, 400}}, {"N", {2000, 3000, 4000, 5000}}, {"G", {0, 0, 0, 0}}};
  for (const auto &c : cases) {
    float want[4], got[4];
    char g = c.grtyp[0];
    int ig1 = c.ig[0], ig2 = c.ig[1], ig3 = c.ig[2], ig4 = c.ig[3];
    cigaxg_(&g, &want[0], &want[1], &want[2], &want[3], &ig1, &ig2, &ig3, &ig4, 1);
    ASSERT_EQ(zep_grid_params(c.grtyp, ig1, ig2, ig3, ig4, got), 0) << c.grtyp;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], want[i]) << c.grtyp << " xg" << i + 1;
  }
  float xg[4];
  EXPECT_EQ(zep_grid_params("Q", 1, 2, 3, 4, xg), ZEP_EINVAL);
}

}  // namespace
