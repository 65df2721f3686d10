// Standard files of the two old layouts through the standard-file calls:
// open, search, listing, and the refusal of every write.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "stdfile/test_support.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_seq.h"
#include "zep/stdfile_write.h"

namespace {

using stdfile_test::golden_dir;

constexpr int kUnit = 71;

class OldLayouts : public ::testing::Test {
 protected:
  void open(const std::string &name) {
    const std::string path = golden_dir() + name;
    ASSERT_EQ(c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(kUnit)), path.c_str(),
                     "STD+RND+R/O", 0),
              0);
    bound_ = true;
    count_ = c_vktouv(kUnit, "RND");
  }
  void TearDown() override {
    c_vktopc("TOLRNC", "ERRORS", 0);
    c_vktopc("MSGLVL", "INFORM", 0);
    if (count_ >= 0) c_vktfrm(kUnit);
    if (bound_) c_fclos(kUnit);
  }
  // The listing of the unit, its lines counted by their leading ordinal.
  static std::string listing(int *records) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(c_vktvoi(kUnit, "NINJNK+DATESTAMPO+IP1+IG1234"), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    *records = 0;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      // A record line starts with its ordinal: "%5d-".
      if (line.size() >= 6 && line[5] == '-' && line.find_first_not_of(" 0123456789", 0) == 5)
        ++*records;
    }
    return out;
  }
  bool bound_ = false;
  int count_ = -1;
};

TEST_F(OldLayouts, RandomLayoutListsItsLiveRecordsAndRefusesWrites) {
  SKIP_WITHOUT_GOLDEN("old_random.vkt");
  open("old_random.vkt");
  // The record count holds the deleted entry too.
  ASSERT_EQ(count_, 9);
  int listed = 0;
  const std::string out = listing(&listed);
  EXPECT_EQ(listed, 8);
  EXPECT_NE(out.find("\n8 records in random ZEP standard file (Version 1989)\n\n"),
            std::string::npos);
  // No statistics of a current-format header.
  EXPECT_EQ(out.find("Number of directory entries"), std::string::npos);

  int ni = 0, nj = 0, nk = 0;
  const int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "A", "UU");
  ASSERT_GT(h, 0);
  EXPECT_EQ(ni, 3);
  EXPECT_EQ(nj, 3);

  c_vktopc("TOLRNC", "SYSTEM", 0);
  testing::internal::CaptureStderr();
  float field[9] = {};
  EXPECT_EQ(c_vktecr(field, nullptr, -12, kUnit, 0, 0, 0, 3, 3, 1, 1, 0, 0, "P", "TT", "X", "N", 0,
                     0, 0, 0, 1, 0),
            -7);
  EXPECT_EQ(c_vkteff(h), -7);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(
      err.find(
          "*** FATAL ERROR #7 from module c_vktecr: can not write (unit=71) on an old (version 89) "
          "ZEP standard file\n"),
      std::string::npos);
  EXPECT_NE(
      err.find(
          "from module c_vkteff: can not write (unit=71) on an old (version 89) ZEP standard file"),
      std::string::npos);
}

TEST_F(OldLayouts, SequentialLayoutStopsAtItsEndOfFileMark) {
  SKIP_WITHOUT_GOLDEN("old_sequential.vkt");
  open("old_sequential.vkt");
  ASSERT_GE(count_, 0);
  int listed = 0;
  const std::string out = listing(&listed);
  EXPECT_EQ(listed, 3);
  EXPECT_NE(out.find("3 records in sequential ZEP standard file (Version 1989)\n"),
            std::string::npos);
  // The record behind the mark is never found.
  int ni, nj, nk;
  EXPECT_EQ(c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "N4"), -12);
  // A sequential search goes on from the position: back to the start, the
  // last record before the mark is found, the deleted one never.
  ASSERT_EQ(c_vktrwd(kUnit), 0);
  EXPECT_EQ(c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "WW"), -12);
  ASSERT_EQ(c_vktrwd(kUnit), 0);
  const int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "QC");
  ASSERT_GT(h, 0);
  EXPECT_EQ(ni, 4);
  EXPECT_EQ(nj, 3);
}

}  // namespace
