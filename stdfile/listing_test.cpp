// The listing: the exact lines of the golden runs, the columns each option
// word switches, the level column, and c_vktvoi's table.
#include "stdfile/listing.h"

#include <gtest/gtest.h>

#include <sstream>

#include "stdfile/descriptor.h"
#include "stdfile/test_support.h"
#include "zep/coding.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

namespace zep::stdfile {
namespace {

using stdfile_test::golden_dir;
using stdfile_test::golden_records;

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line + "\n");
  return out;
}

// Every golden run printed one listing line per record, with the default
// options: rebuild each record's entry from its document and compare.
TEST(ListingLine, GoldenLinesWithTheDefaultOptions) {
  int files = 0, compared = 0;
  for (const char *name :
       {"datyp1_widths", "datyp1_magnitudes", "integers", "characters", "ieee", "raw_words",
        "float_packer", "compressed_reals", "compressed_packer", "levels_new", "levels_old",
        "dates", "many_records", "deleted", "zero_values", "names", "sample_reals"}) {
    if (!stdfile_test::have_golden(std::string(name) + ".stdout")) continue;
    ++files;
    const auto records = golden_records(name);
    const auto lines = lines_of(stdfile_test::read_text(golden_dir() + name + ".stdout"));
    ASSERT_EQ(lines.size(), records.size()) << name;
    for (size_t i = 0; i < records.size(); ++i) {
      const std::string &g = records[i].fields.at("grtyp");
      if (!g.empty() && g[0] == '\1') continue;  // a control character the document hides
      const auto entry = stdfile_test::entry_of(records[i]);
      EXPECT_EQ(listing_line(entry.data(), "Read(1)", "NINJNK+DATESTAMPO+IP1+IG1234", false),
                lines[i])
          << name << " record " << i;
      ++compared;
    }
  }
  if (files == 0) GTEST_SKIP() << "no golden files";
  EXPECT_GT(compared, 300);
}

std::vector<uint32_t> sample_entry() {
  Descriptor d;
  d.nomvar = "TT";
  d.typvar = "P";
  d.etiket = "RUN";
  d.ni = 3;
  d.nj = 2;
  d.nk = 1;
  d.ip1 = 12000;  // 1000 mb in the old coding
  d.ip2 = 6;
  d.ip3 = 0;
  d.deet = 3600;
  d.npas = 6;
  d.datyp = 129;
  d.nbits = 12;
  d.grtyp = 'G';
  d.ig1 = 0;
  d.ig2 = 0;
  d.ig3 = 0;
  d.ig4 = 0;
  int stamp = 0, date = 20011122, time = 11300000, mode = 3;
  newdate_(&stamp, &date, &time, &mode);
  d.datev = stamp;
  std::vector<uint32_t> e(kEntryWords, 0);
  d.to_entry(e.data());
  return e;
}

TEST(ListingLine, ColumnsOfTheOptionWords) {
  const auto e = sample_entry();
  // Everything off that can be: nine fields stay empty, separators remain.
  EXPECT_EQ(listing_line(e.data(), "X", "NONOMV+NOTYPV+NOETIQ+NOIP23+NODEET+NONPAS+NODTY", false),
            "X                \n");
  // DATEO alone: the origin date without its stamp.
  EXPECT_EQ(
      listing_line(e.data(), "X", "NONOMV+NOTYPV+NOETIQ+NOIP23+NODEET+NONPAS+NODTY+DATEO", false),
      "X     20011122 053000           \n");
  // The compressed datyp shows its lower-case letter.
  EXPECT_NE(listing_line(e.data(), "X", "", false).find("  r12  \n"), std::string::npos);
  // DATEV: date, time and the valid stamp.
  const std::string v = listing_line(e.data(), "X", "DATEV", false);
  char want[64];
  std::snprintf(want, sizeof want, " 20011122 113000 %09d ",
                Descriptor::from_entry(e.data()).datev);
  EXPECT_NE(v.find(want), std::string::npos) << v;
  EXPECT_NE(listing_line(e.data(), "X", "IG1234", false).find("G     0     0     0     0\n"),
            std::string::npos);
  // A long leading text is printed whole.
  const std::string text(300, 'T');
  EXPECT_EQ(listing_line(e.data(), text.c_str(), "NONOMV+NOTYPV+NOETIQ+NOIP23+NODEET+NONPAS+NODTY",
                         false),
            text + "                \n");
}

TEST(ListingLine, HeaderBlock) {
  const auto e = sample_entry();
  const std::string out = listing_line(e.data(), "", "NINJNK+DATESTAMPO+IP1+IG1234", true);
  EXPECT_EQ(out.substr(0, out.find("\n\n", 1) + 2),
            "\n       NOMV TV ETIQUETTE       NI    NJ    NK (DATE-O  h m s)   STAMP-O  "
            "       IP1    IP2   IP3     DEET     NPAS  DTY  G   IG1   IG2   IG3   IG4\n\n");
}

TEST(ListingLine, LevelColumn) {
  // The decoded level right-aligned at column 12 when it ends in a digit
  // (an arbitrary code), at 15 otherwise; the exception names show the raw
  // code.
  EXPECT_EQ(level_column(500, "TT  "), "         500 mb");
  EXPECT_EQ(level_column(12000, "TT  "), "      1.0000 sg");
  EXPECT_EQ(level_column(58870256, "TT  "), "          15   ");
  EXPECT_EQ(level_column(12000, "^^  "), "       12000   ");
  EXPECT_EQ(level_column(12000, ">>  "), "       12000   ");
  const std::string line = listing_line(sample_entry().data(), "X", "LEVEL+NOIP23", false);
  EXPECT_NE(line.find(" 1.0000 sg "), std::string::npos) << line;
  EXPECT_EQ(level_exceptions(), "^^  >>  ");
}

TEST(ListingLine, GridInformation) {
  auto e = sample_entry();
  const std::string line = listing_line(e.data(), "X", "GRIDINFO", false);
  // Grid type G: the four texts are integers of widths 6, 6, 7 and 7.
  EXPECT_NE(line.find("  G      0      0       0       0\n"), std::string::npos) << line;
}

class VoirTest : public stdfile_test::QuietLayer {};

TEST_F(VoirTest, TableOfARandomFile) {
  SKIP_WITHOUT_GOLDEN("many_records.vkt");
  stdfile_test::OpenUnit unit(70, golden_dir() + "many_records.vkt");
  ASSERT_EQ(unit.status(), 300);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktvoi(70, "NINJNK+IP1"), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  const auto records = golden_records("many_records");
  // 300 rows, titles before rows 0, 70, 140, 210 and 280.
  size_t titles = 0, pos = 0;
  while ((pos = out.find("       NOMV TV ETIQUETTE", pos)) != std::string::npos) ++titles, ++pos;
  EXPECT_EQ(titles, 5u);
  EXPECT_NE(out.find(listing_line(stdfile_test::entry_of(records[0]).data(), "    0-", "NINJNK+IP1",
                                  false)),
            std::string::npos);
  EXPECT_NE(out.find(listing_line(stdfile_test::entry_of(records[299]).data(), "  299-",
                                  "NINJNK+IP1", false)),
            std::string::npos);
  EXPECT_NE(out.find("\nSTATISTICS for file "), std::string::npos);
  EXPECT_NE(out.find("many_records.vkt, unit=70\n\n"), std::string::npos);
  EXPECT_NE(out.find("Number of valid records     \t 300\n"), std::string::npos);
  EXPECT_NE(out.find("\n300 records in random ZEP standard file (Version 1998)\n\n"),
            std::string::npos);
}

TEST_F(VoirTest, DeletedRecordsAreLeftOut) {
  SKIP_WITHOUT_GOLDEN("deleted.vkt");
  const auto records = golden_records("deleted");
  stdfile_test::OpenUnit unit(71, golden_dir() + "deleted.vkt");
  ASSERT_GE(unit.status(), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktvoi(71, ""), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  char want[80];
  std::snprintf(want, sizeof want, "Number of valid records     \t %zu\n", records.size());
  EXPECT_NE(out.find(want), std::string::npos) << out;
}

TEST_F(VoirTest, TableOfASequentialFile) {
  SKIP_WITHOUT_GOLDEN("sequential.vkt");
  const auto records = golden_records("sequential");
  stdfile_test::OpenUnit unit(72, golden_dir() + "sequential.vkt", "RND+SEQ+R/O", "SEQ");
  ASSERT_GE(unit.status(), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktvoi(72, "IP1"), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  char want[80];
  std::snprintf(want, sizeof want, "%zu records in sequential ZEP standard file (Version 1998)\n",
                records.size());
  EXPECT_NE(out.find(want), std::string::npos) << out;
  EXPECT_NE(out.find(listing_line(stdfile_test::entry_of(records.back()).data(),
                                  ("    " + std::to_string(records.size() - 1) + "-").c_str(),
                                  "IP1", false)),
            std::string::npos);
}

TEST_F(VoirTest, UnitChecks) {
  EXPECT_EQ(c_vktvoi(73, ""), -29);
  stdfile_test::TempDir dir;
  const std::string path = dir.file("x.vkt");
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(intptr_t{73}), path.c_str(), "RND", 0), 0);
  EXPECT_EQ(c_vktvoi(73, ""), -1);
  c_fclos(73);
}

}  // namespace
}  // namespace zep::stdfile
