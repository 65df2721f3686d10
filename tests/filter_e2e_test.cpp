// vkt2xml with a directive file named by VKT_FILTER_FILE: the document holds
// exactly the records of the unfiltered golden document that the request
// sets let through, unchanged and in order.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e_support.h"

namespace {

using zep_test::env;
using zep_test::slurp;

// A document cut into its records; head and tail are what surrounds them.
struct Document {
  std::string head, tail;
  std::vector<std::string> records;
};

Document split(const std::string &xml) {
  Document d;
  const std::string open = "<vktrecord>", close = "</vktrecord>\n";
  size_t p = xml.find(open);
  d.head = xml.substr(0, p);
  while (p != std::string::npos && xml.compare(p, open.size(), open) == 0) {
    size_t end = xml.find(close, p);
    if (end == std::string::npos) break;
    d.records.push_back(xml.substr(p, end + close.size() - p));
    p = end + close.size();
  }
  d.tail = p == std::string::npos ? "" : xml.substr(p);
  return d;
}

// The text of element `tag` of a record.
std::string field(const std::string &record, const std::string &tag) {
  size_t b = record.find("<" + tag + ">");
  if (b == std::string::npos) return "";
  b += tag.size() + 2;
  return record.substr(b, record.find("</" + tag + ">", b) - b);
}

std::string trim(std::string s) {
  s.erase(0, s.find_first_not_of(' '));
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

class FilterEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    if (env("ZEP_VKT2XML").empty()) GTEST_SKIP() << "the converter was not built";
    dir_ = testing::TempDir() + "filter_e2e_" + std::to_string(::getpid()) + "_" +
           testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_EQ(std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str()), 0);
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  std::string golden(const std::string &name) { return zep_test::golden_file(name); }

  // Converts golden `name` with the filter file `filter` (written from
  // `directives` unless empty); returns the exit status.
  int convert(const std::string &name, const std::string &directives,
              const std::string &filter_path = "") {
    std::string filter = filter_path.empty() ? dir_ + "/filter.txt" : filter_path;
    if (!directives.empty()) std::ofstream(filter) << directives;
    std::string cmd = "VKT_FILTER_FILE='" + filter + "' '" + env("ZEP_VKT2XML") + "' -vkt '" +
                      golden(name) + "' -xml '" + dir_ + "/out.xml' >'" + dir_ +
                      "/stdout.txt' 2>'" + dir_ + "/stderr.txt'";
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }

  // The golden records that `keep` accepts, against the converted ones.
  void expect_records(const std::string &name, const std::function<bool(const std::string &)> &keep,
                      size_t at_least, size_t at_most) {
    Document all = split(slurp(golden(name + ".xml")));
    Document got = split(slurp(dir_ + "/out.xml"));
    std::vector<std::string> want;
    for (const auto &r : all.records)
      if (keep(r)) want.push_back(r);
    // The filter must be selective on this file for the test to mean anything.
    ASSERT_GE(want.size(), at_least);
    ASSERT_LE(want.size(), at_most);
    EXPECT_EQ(got.head, all.head);
    EXPECT_EQ(got.tail, all.tail);
    ASSERT_EQ(got.records.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got.records[i], want[i]) << "record " << i;
  }

  std::string dir_;
};

TEST_F(FilterEndToEnd, NamesLevelsAndAnExclusionSet) {
  if (access(golden("many_records.vkt").c_str(), R_OK) != 0) GTEST_SKIP() << "no golden file";
  ASSERT_EQ(convert("many_records.vkt",
                    "nomvar(0, 1, [TT, GZ, UU])\n"
                    "ip1 = 0, 1, 2, [500, 850];\n"
                    "typvar(1, 0, P)\n"),
            0);
  // Set 0 takes TT, GZ, UU at 500 or 850 mb; set 1 refuses the types that
  // start with P; the others pass, the last set in use being an exclusion set.
  expect_records(
      "many_records",
      [](const std::string &r) {
        std::string nomvar = field(r, "nomvar"), level = trim(field(r, "level"));
        bool wanted_name =
            nomvar.rfind("TT", 0) == 0 || nomvar.rfind("GZ", 0) == 0 || nomvar.rfind("UU", 0) == 0;
        if (wanted_name && (level == "500 mb" || level == "850 mb")) return true;
        return field(r, "typvar")[0] != 'P';
      },
      150, 290);
  std::string err = slurp(dir_ + "/stderr.txt");
  EXPECT_NE(err.find("warning: VKTD software uses filter file "), std::string::npos);
  EXPECT_NE(err.find("END of directives\n"), std::string::npos);
}

TEST_F(FilterEndToEnd, DatesWalkedWithAStep) {
  if (access(golden("dates.vkt").c_str(), R_OK) != 0) GTEST_SKIP() << "no golden file";
  // From 1983-10-26 21:00 to 2000-01-01 00:00, on whole hours.
  ASSERT_EQ(convert("dates.vkt", "date = 0, 1, 1.0, [102683210, 280988000];\n"), 0);
  expect_records(
      "dates",
      [](const std::string &r) {
        std::string t = field(r, "date-of-origin");
        return t >= "1983-10-26T21:00:00Z" && t <= "2000-01-01T00:00:00Z" &&
               t.compare(13, 7, ":00:00Z") == 0;
      },
      3, 20);
}

TEST_F(FilterEndToEnd, UnopenableFilterFileIsIgnored) {
  if (access(golden("many_records.vkt").c_str(), R_OK) != 0) GTEST_SKIP() << "no golden file";
  // Every record passes and the document is whole, but the run did not do
  // what was asked: the exit status says so.
  ASSERT_EQ(convert("many_records.vkt", "", dir_ + "/missing/filter.txt"), 1);
  EXPECT_EQ(slurp(dir_ + "/out.xml"), slurp(golden("many_records.xml")));
  std::string err = slurp(dir_ + "/stderr.txt");
  EXPECT_NE(err.find("c_requetes_read_file error opening file " + dir_ +
                     "/missing/filter.txt\nfilter file ignored\n"),
            std::string::npos);
}

TEST_F(FilterEndToEnd, FailedDirectivesLeaveTheOthersInForce) {
  if (access(golden("many_records.vkt").c_str(), R_OK) != 0) GTEST_SKIP() << "no golden file";
  ASSERT_EQ(convert("many_records.vkt",
                    "nomvar(0, 1, [TT, GZ, UUUUU])\n"  // refused: a word past 4 characters
                    "\n"
                    "typvar(0, 1, [PX])\n"
                    "ip2(0, 1, [x])\n"),  // refused: not a number
            1);
  expect_records(
      "many_records", [](const std::string &r) { return field(r, "typvar") == "PX"; }, 5, 100);
  const std::string err = slurp(dir_ + "/stderr.txt");
  EXPECT_NE(
      err.find("skipping rest of line\n" + dir_ + "/filter.txt, line 1: this directive failed"),
      std::string::npos)
      << err;
  EXPECT_NE(err.find(dir_ + "/filter.txt, line 4: this directive failed"), std::string::npos)
      << err;
}

}  // namespace
