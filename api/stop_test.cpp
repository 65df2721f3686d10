// Fatal stops of the layers below (a record cut off by a file that shrank
// while open): under the safe API an error return, a message and a broken
// file; through the entries of the old interface the same exit as ever.
#include <sys/types.h>
#include <unistd.h>

#include <vector>

#include "api/test_support.h"
#include "io/file_table.h"
#include "zep/io.h"
#include "zep/stdfile.h"

namespace {

using api_test::Scratch;

int bound_units() {
  int n = 0;
  for (const zep::io::FileEntry &e : zep::io::FGFDT()) n += e.is_free() ? 0 : 1;
  return n;
}

constexpr int kBig = 200;  // BIG is kBig x kBig floats, the last record

// A file of three small records and a large one written last, so that the
// large one lies beyond whatever the open reads; returns its size in bytes.
off_t write_file(const std::string &path) {
  zep_file *f = nullptr;
  EXPECT_EQ(zep_open(path.c_str(), "w", &f), 0) << zep_last_message(nullptr);
  if (f == nullptr) return 0;
  std::vector<float> small(12, 1.5f);
  for (int k = 0; k < 3; ++k) {
    zep_record d = api_test::descriptor("SM", 4, 3, 5, 32, k);
    EXPECT_EQ(zep_write(f, &d, ZEP_TYPE_F32, small.data(), small.size()), 0);
  }
  std::vector<float> big(kBig * kBig);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<float>(i);
  zep_record d = api_test::descriptor("BIG", kBig, kBig, 5, 32);
  EXPECT_EQ(zep_write(f, &d, ZEP_TYPE_F32, big.data(), big.size()), 0) << zep_last_message(f);
  EXPECT_EQ(zep_close(f), 0);
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

TEST(ApiStop, ARecordCutOffByAShrunkFileIsAnErrorNotAnExit) {
  Scratch s;
  const std::string path = s.path("Shrinks.vkt");
  const std::string other = s.path("Other.vkt");
  const off_t size = write_file(path);
  write_file(other);
  ASSERT_GT(size, 4 * kBig * kBig);
  const int units = bound_units();

  zep_file *f = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "r", &f), 0);
  zep_query q;
  zep_query_init(&q);
  std::snprintf(q.nomvar, sizeof q.nomvar, "BIG");
  zep_record big;
  ASSERT_EQ(zep_find(f, &q, &big, 1), 1) << zep_last_message(f);
  zep_record small;
  ASSERT_EQ(zep_next(f, &small), 1);
  // Half of the large record's values are gone from the disk.
  ASSERT_EQ(::truncate(path.c_str(), size - 2 * kBig * kBig), 0);

  std::vector<float> v(kBig * kBig, -1.0f);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const long got = zep_read_f32(f, &big, v.data(), v.size());
  const std::string message = zep_last_message(f);
  const long after = zep_read_f32(f, &small, v.data(), v.size());
  zep_record r;
  const int next = zep_next(f, &r);
  const int closed = zep_close(f);
  const std::string printed_out = testing::internal::GetCapturedStdout();
  const std::string printed_err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(got, ZEP_EDAMAGED);
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_NE(message.find("read"), std::string::npos) << message;
  // The file is broken: nothing more is read from it, and closing says so.
  EXPECT_EQ(after, ZEP_EDAMAGED);
  EXPECT_EQ(next, ZEP_EDAMAGED);
  EXPECT_EQ(closed, ZEP_EDAMAGED);
  EXPECT_EQ(printed_out, "");
  EXPECT_EQ(printed_err, "");
  EXPECT_EQ(bound_units(), units);

  // The tables are sound for the next file.
  zep_file *g = nullptr;
  ASSERT_EQ(zep_open(other.c_str(), "r", &g), 0) << zep_last_message(nullptr);
  zep_record big2;
  ASSERT_EQ(zep_find(g, &q, &big2, 1), 1);
  EXPECT_EQ(zep_read_f32(g, &big2, v.data(), v.size()), kBig * kBig) << zep_last_message(g);
  EXPECT_EQ(v[kBig * kBig - 1], static_cast<float>(kBig * kBig - 1));
  EXPECT_EQ(zep_close(g), 0);
  // And the shrunk file opens again (its directory is intact).
  ASSERT_EQ(zep_open(path.c_str(), "r", &f), 0) << zep_last_message(nullptr);
  EXPECT_EQ(zep_read_f32(f, &small, v.data(), v.size()), 12) << zep_last_message(f);
  EXPECT_EQ(zep_close(f), 0);
}

TEST(ApiStopDeathTest, TheOldInterfaceStillEndsTheProcessOnTheSameRead) {
  Scratch s;
  const std::string path = s.path("Shrinks.vkt");
  const off_t size = write_file(path);
  ASSERT_GT(size, 4 * kBig * kBig);
  auto read_after_shrink = [&] {
    int unit = 0;
    if (c_fnom(&unit, path.c_str(), "RND+R/O+OLD", 0) != 0) std::exit(90);
    if (c_vktouv(unit, "RND") < 0) std::exit(91);
    if (::truncate(path.c_str(), size - 2 * kBig * kBig) != 0) std::exit(92);
    std::vector<float> v(kBig * kBig);
    int ni = 0, nj = 0, nk = 0;
    c_vktlir(v.data(), unit, &ni, &nj, &nk, -1, " ", -1, -1, -1, " ", "BIG");
    std::exit(93);  // not reached: the read ends the process
  };
  EXPECT_EXIT(read_after_shrink(), testing::ExitedWithCode(1), "error: .*read");
}

}  // namespace
