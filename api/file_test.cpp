// Opening and closing through the safe API: refusals with their codes and
// messages, nothing printed, nothing ended, the settings of the layers
// below put back, and the file table's limit.
#include <fcntl.h>

#include <fstream>

#include "api/test_support.h"
#include "io/file_table.h"
#include "stdfile/options.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

namespace {

using api_test::Scratch;
using api_test::Silence;

int bound_units() {
  int n = 0;
  for (const zep::io::FileEntry &e : zep::io::FGFDT()) n += e.is_free() ? 0 : 1;
  return n;
}

TEST(ApiOpen, RefusalsGiveTheirCodeAMessageAndNoOutput) {
  Scratch s;
  const std::string text = s.path("passwd.txt");
  std::ofstream(text) << "root:x:0:0:root:/root:/bin/bash\nnobody:x:65534:65534::/:/bin/false\n"
                      << std::string(9000, 'x');
  const std::string empty = s.path("Empty.vkt");
  std::ofstream(empty).flush();
  const std::string missing = s.path("missing.vkt");
  const int units = bound_units();

  Silence quiet;
  zep_file *f = reinterpret_cast<zep_file *>(1);
  const int not_std = zep_open(text.c_str(), "r", &f);
  const std::string not_std_message = zep_last_message(nullptr);
  EXPECT_EQ(f, nullptr);
  const int no_file = zep_open(missing.c_str(), "r", &f);
  const std::string no_file_message = zep_last_message(nullptr);
  const int is_dir = zep_open("/tmp", "r", &f);
  const int is_empty = zep_open(empty.c_str(), "r", &f);
  const int bad_mode = zep_open(empty.c_str(), "rw", &f);
  const int no_path = zep_open(nullptr, "r", &f);
  const int no_out = zep_open(empty.c_str(), "r", nullptr);
  const int append_missing = zep_open(missing.c_str(), "a", &f);
  const std::string printed = quiet.text();

  EXPECT_EQ(not_std, ZEP_ENOTSTD);
  EXPECT_NE(not_std_message.find(text), std::string::npos) << not_std_message;
  EXPECT_EQ(no_file, ZEP_EOPEN);
  EXPECT_NE(no_file_message.find("No such file"), std::string::npos) << no_file_message;
  EXPECT_EQ(is_dir, ZEP_EOPEN);
  EXPECT_EQ(is_empty, ZEP_ENOTSTD);
  EXPECT_EQ(bad_mode, ZEP_EINVAL);
  EXPECT_EQ(no_path, ZEP_EINVAL);
  EXPECT_EQ(no_out, ZEP_EINVAL);
  EXPECT_EQ(append_missing, ZEP_EOPEN);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(bound_units(), units) << "a refused open left a unit bound";
}

TEST(ApiOpen, TheCallersSettingsComeBackAfterEveryCall) {
  Scratch s;
  const std::string path = s.path("Text.vkt");
  std::ofstream(path) << std::string(20000, 'z');
  // A caller of the specified API asked for every message and no tolerance.
  Silence quiet;
  c_vktopc("MSGLVL", "DEBUG", 0);
  c_vktopc("TOLRNC", "DEBUG", 0);
  c_vktopl("IMAGE", 1, 0);
  const zep::xdf::Settings before = zep::xdf::settings();
  zep_file *f = nullptr;
  EXPECT_EQ(zep_open(path.c_str(), "r", &f),
            ZEP_ENOTSTD);  // would end the process at this tolerance
  const zep::xdf::Settings after = zep::xdf::settings();
  const int image = zep::stdfile::options().image_mode_copy;
  c_vktopc("MSGLVL", "INFORM", 0);
  c_vktopc("TOLRNC", "ERRORS", 0);
  c_vktopl("IMAGE", 0, 0);
  const std::string printed = quiet.text();
  EXPECT_EQ(after.msg_level, before.msg_level);
  EXPECT_EQ(after.xdf_toler, before.xdf_toler);
  EXPECT_NE(image, 0);
  EXPECT_EQ(zep::xdf::message_sink().fn, nullptr);
  EXPECT_EQ(printed.find("c_xdfopn"), std::string::npos) << printed;
}

TEST(ApiOpen, WriteReplacesAFileAndAppendAddsToIt) {
  Scratch s;
  const std::string path = s.path("Mixed Case.vkt");
  std::ofstream(path) << "not a standard file at all";
  api_test::write_floats(path, 2);
  zep_file *f = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "a", &f), 0) << zep_last_message(nullptr);
  zep_record d = api_test::descriptor("NEW", 2, 2, 1, 16);
  const float v[4] = {1, 2, 3, 4};
  ASSERT_EQ(zep_write(f, &d, ZEP_TYPE_F32, v, 4), 0) << zep_last_message(f);
  EXPECT_EQ(zep_count(f), 3);
  ASSERT_EQ(zep_close(f), 0);

  ASSERT_EQ(zep_open(path.c_str(), "r", &f), 0);
  const std::vector<zep_record> all = api_test::walk(f);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_STREQ(all[0].nomvar, "T0");
  EXPECT_STREQ(all[2].nomvar, "NEW");
  EXPECT_STREQ(all[2].etiket, "TEST");
  EXPECT_EQ(zep_write(f, &d, ZEP_TYPE_F32, v, 4), ZEP_EREADONLY);
  EXPECT_NE(std::string(zep_last_message(f)).find("reading only"), std::string::npos);
  EXPECT_EQ(zep_close(f), 0);
  EXPECT_EQ(zep_close(nullptr), 0);
}

TEST(ApiOpen, ManyFilesUpToTheTableThenAClearError) {
  Scratch s;
  const std::string path = s.path("one.vkt");
  api_test::write_floats(path, 1);
  std::vector<zep_file *> open;
  int rc = 0;
  for (int i = 0; i < 400; ++i) {
    zep_file *f = nullptr;
    rc = zep_open(path.c_str(), "r", &f);
    if (rc != 0) break;
    open.push_back(f);
  }
  EXPECT_EQ(rc, ZEP_ETOOMANY);
  EXPECT_NE(std::string(zep_last_message(nullptr)).find("table is full"), std::string::npos);
  EXPECT_GE(open.size(), 100u);
  // Every one of them still reads.
  for (zep_file *f : {open.front(), open.back()}) {
    zep_record r;
    ASSERT_EQ(zep_next(f, &r), 1);
    float v[12];
    EXPECT_EQ(zep_read_f32(f, &r, v, 12), 12);
    EXPECT_EQ(v[11], 11.0f);
  }
  for (zep_file *f : open) EXPECT_EQ(zep_close(f), 0);
  zep_file *again = nullptr;
  EXPECT_EQ(zep_open(path.c_str(), "r", &again), 0);
  zep_close(again);
}

TEST(ApiOpen, AFileOfTheOldSequentialKindOpensForReadingOnly) {
  Scratch s;
  const std::string path = s.path("seq.vkt");
  {
    Silence quiet;  // the specified API prints its traces
    int unit = 0;
    ASSERT_EQ(c_fnom(&unit, path.c_str(), "STD+SEQ", 0), 0);
    ASSERT_GE(c_vktouv(unit, "SEQ"), 0);
    float field[4] = {1, 2, 3, 4};
    ASSERT_GE(c_vktecr(field, nullptr, -32, unit, 0, 0, 0, 2, 2, 1, 0, 0, 0, "P", "SQ", "SEQ", "X",
                       0, 0, 0, 0, 5, 0),
              0);
    c_vktfrm(unit);
    c_fclos(unit);
  }
  zep_file *f = nullptr;
  EXPECT_EQ(zep_open(path.c_str(), "a", &f), ZEP_EINVAL);
  ASSERT_EQ(zep_open(path.c_str(), "r", &f), 0);
  zep_record r;
  ASSERT_EQ(zep_next(f, &r), 1);
  EXPECT_STREQ(r.nomvar, "SQ");
  float v[4];
  EXPECT_EQ(zep_read_f32(f, &r, v, 4), 4);
  EXPECT_EQ(v[3], 4.0f);
  EXPECT_EQ(zep_close(f), 0);
}

}  // namespace

namespace {

TEST(ApiCheck, ASoundFileIsCountedAndAnUnreadableOneRefused) {
  Scratch s;
  const std::string path = s.path("Check.vkt");
  api_test::write_floats(path, 3);
  zep_file *f = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "a", &f), 0);
  const std::vector<zep_record> all = api_test::walk(f);
  ASSERT_EQ(all.size(), 3u);
  ASSERT_EQ(zep_erase(f, &all[0]), 0);
  ASSERT_EQ(zep_close(f), 0);

  zep_check_report report;
  ASSERT_EQ(zep_check(path.c_str(), &report), 0);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(report.records, 2);
  EXPECT_EQ(report.deleted, 1);
  EXPECT_EQ(report.pages, 1);
  EXPECT_EQ(report.bytes, static_cast<int64_t>(st.st_size));
  EXPECT_EQ(report.sequential, 0);
  EXPECT_EQ(report.damaged, 0);
  EXPECT_STREQ(report.message, "");

  // Records cut off: examined, damaged, the first damage named.
  ASSERT_EQ(truncate(path.c_str(), st.st_size - 8), 0);
  ASSERT_EQ(zep_check(path.c_str(), &report), 0);
  EXPECT_EQ(report.damaged, 1);
  EXPECT_NE(std::string(report.message).find(path), std::string::npos) << report.message;
  EXPECT_EQ(zep_check(s.path("none.vkt").c_str(), &report), ZEP_EOPEN);
  EXPECT_EQ(zep_check(path.c_str(), nullptr), ZEP_EINVAL);
}

}  // namespace
