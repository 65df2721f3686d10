// Sequential standard files written by the library's own writer (records,
// end-of-file marks of several levels, appends after reopening, early
// ends) and converted by vkt2xml: the document holds the records of the
// first group, in the order they were written, with the values written.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_seq.h"
#include "zep/stdfile_write.h"
#include "tests/e2e_support.h"

namespace {

using zep_test::env;
using zep_test::run;
using zep_test::slurp;

// What the document shows of one record.
struct Shown {
  std::string nomvar;
  int ip1 = 0;
  std::vector<double> values;
};

std::string tag(const std::string &text, const std::string &name) {
  const std::string open = "<" + name + ">", close = "</" + name + ">";
  const size_t a = text.find(open);
  if (a == std::string::npos) return "";
  const size_t b = text.find(close, a);
  return text.substr(a + open.size(), b - a - open.size());
}

std::vector<Shown> records_of(const std::string &doc) {
  std::vector<Shown> out;
  for (size_t a = doc.find("<vktrecord>"); a != std::string::npos;
       a = doc.find("<vktrecord>", a + 1)) {
    const size_t b = doc.find("</vktrecord>", a);
    const std::string rec = doc.substr(a, b == std::string::npos ? std::string::npos : b - a);
    Shown s;
    s.nomvar = tag(rec, "nomvar");
    s.ip1 = std::atoi(tag(rec, "ip1").c_str());
    const size_t v = rec.find("<values>");
    const size_t ve = rec.find("</values>", v);
    if (v != std::string::npos && ve != std::string::npos) {
      const std::string body = rec.substr(v + 8, ve - v - 8);
      const char *p = body.c_str();
      char *end = nullptr;
      for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
        s.values.push_back(x);
        p = end;
      }
    }
    out.push_back(std::move(s));
  }
  return out;
}

constexpr int kUnit = 71;

class SequentialE2eTest : public testing::Test {
 protected:
  void SetUp() override {
    exe_ = env("ZEP_VKT2XML");
    if (exe_.empty()) GTEST_SKIP() << "the converter was not built";
    dir_ = testing::TempDir();
    path_ = dir_ + "zep_seq_e2e_" + std::to_string(getpid()) + ".vkt";
    std::remove(path_.c_str());
    c_vktopc("MSGLVL", "WARNIN", 0);
  }
  void TearDown() override {
    close();
    std::remove(path_.c_str());
  }

  void open() {
    int u = kUnit;
    ASSERT_EQ(c_fnom(&u, path_.c_str(), "STD+SEQ", 0), 0);
    ASSERT_GE(c_vktouv(kUnit, "SEQ"), 0);
    open_ = true;
  }
  void close() {
    if (!open_) return;
    c_vktfrm(kUnit);
    c_fclos(kUnit);
    open_ = false;
  }

  // A 3 x 2 record of IEEE 32-bit values (kept exactly), told apart by ip1.
  void write(const std::string &nomvar, int ip1) {
    std::vector<float> v(6);
    for (size_t i = 0; i < v.size(); ++i)
      v[i] = 0.25f * static_cast<float>(ip1) + static_cast<float>(i);
    ASSERT_GE(c_vktecr(v.data(), nullptr, -32, kUnit, 0, 0, 0, 3, 2, 1, ip1, 0, 0, "P",
                       nomvar.c_str(), "SEQE2E", "X", 0, 0, 0, 0, 5, 0),
              0);
    written_.push_back({nomvar, ip1, std::vector<double>(v.begin(), v.end())});
  }

  std::vector<Shown> convert() {
    close();
    const std::string out = dir_ + "zep_seq_e2e.xml";
    const int rc = run("'" + exe_ + "' -vkt '" + path_ + "' -xml '" + out + "' >'" + dir_ +
                       "zep_seq_e2e.stdout' 2>'" + dir_ + "zep_seq_e2e.stderr'");
    EXPECT_EQ(rc, 0) << slurp(dir_ + "zep_seq_e2e.stderr");
    const std::string doc = slurp(out);
    EXPECT_NE(doc.find("</zep-standard-file>"), std::string::npos);
    return records_of(doc);
  }

  // The records written at positions [from, to) of written_.
  void expect_shown(const std::vector<Shown> &shown, size_t from, size_t to) {
    ASSERT_EQ(shown.size(), to - from);
    for (size_t i = 0; i < shown.size(); ++i) {
      const Shown &want = written_[from + i];
      SCOPED_TRACE(want.nomvar);
      EXPECT_EQ(shown[i].nomvar, want.nomvar + std::string(4 - want.nomvar.size(), ' '));
      EXPECT_EQ(shown[i].ip1, want.ip1);
      EXPECT_EQ(shown[i].values, want.values);
    }
  }

  std::string exe_, dir_, path_;
  bool open_ = false;
  std::vector<Shown> written_;
};

TEST_F(SequentialE2eTest, RecordsAloneConvertInFileOrder) {
  open();
  for (int i = 1; i <= 5; ++i) write("A" + std::to_string(i), 10 * i);
  expect_shown(convert(), 0, 5);
}

TEST_F(SequentialE2eTest, TheDocumentEndsAtTheFirstMark) {
  open();
  write("G1", 1);
  write("G1B", 2);
  ASSERT_EQ(c_vktweo(kUnit, 4), 0);
  write("G2", 3);
  ASSERT_EQ(c_vktweo(kUnit, 9), 0);
  write("G3", 4);
  expect_shown(convert(), 0, 2);
}

TEST_F(SequentialE2eTest, AppendsAfterReopeningJoinTheFirstGroup) {
  open();
  write("R1", 1);
  write("R2", 2);
  close();
  open();
  ASSERT_EQ(c_vktapp(kUnit), 0);
  write("R3", 3);
  close();
  open();
  ASSERT_EQ(c_vktapp(kUnit), 0);
  write("R4", 4);
  ASSERT_EQ(c_vktweo(kUnit, 2), 0);
  write("S1", 5);
  expect_shown(convert(), 0, 4);

  // Appending behind the mark adds to the second group only.
  open();
  ASSERT_EQ(c_vktapp(kUnit), 0);
  ASSERT_EQ(c_vkteof(kUnit), 2);
  ASSERT_EQ(c_vktskp(kUnit, 1), 0);  // a skip stays on the mark
  ASSERT_EQ(c_vkteof(kUnit), 2);
  int ni, nj, nk;  // a search steps behind it
  ASSERT_LT(c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""), 0);
  ASSERT_EQ(c_vktapp(kUnit), 0);
  write("S2", 6);
  expect_shown(convert(), 0, 4);
}

TEST_F(SequentialE2eTest, AnEarlyEndLeavesOnlyTheRecordsBeforeIt) {
  open();
  for (int i = 1; i <= 4; ++i) write("E" + std::to_string(i), i);
  const long size_full = static_cast<long>(slurp(path_).size());
  ASSERT_EQ(c_vktrwd(kUnit), 0);
  ASSERT_EQ(c_vktskp(kUnit, 2), 0);
  ASSERT_EQ(c_vktweo(kUnit, 15), 0);
  close();
  // The close cuts the file right after the end-of-data mark: two records
  // of the four are gone from the disk.
  const long size_before_new = static_cast<long>(slurp(path_).size());
  EXPECT_LT(size_before_new, size_full * 3 / 4);
  expect_shown(convert(), 0, 2);
  // Writing at the end again replaces what the mark cut off.
  written_.resize(2);
  open();
  ASSERT_EQ(c_vktapp(kUnit), 0);
  write("N3", 30);
  close();
  EXPECT_GT(static_cast<long>(slurp(path_).size()), size_before_new);
  expect_shown(convert(), 0, 3);
}

TEST_F(SequentialE2eTest, AMarkAtTheStartLeavesAnEmptyDocument) {
  open();
  ASSERT_EQ(c_vktweo(kUnit, 1), 0);
  write("L1", 1);
  EXPECT_TRUE(convert().empty());
}

}  // namespace
