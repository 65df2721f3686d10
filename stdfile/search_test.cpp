// Search of standard records: key images and masks, wildcards, names in
// either case, stamps that differ in their last digit, start handles,
// c_vktinl, c_vktmsq, c_vktprm, and the opening rules of c_vktouv.
#include "stdfile/search.h"

#include <gtest/gtest.h>

#include <cstring>

#include "io/file_table.h"
#include "stdfile/descriptor.h"
#include "stdfile/test_support.h"
#include "xdf/table.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

namespace zep::stdfile {
namespace {

using stdfile_test::TempDir;

// True when the directory search would take `entry` for the key image.
bool matches(const uint32_t *entry, const uint32_t *keys, const uint32_t *mask) {
  for (int i = 0; i < kEntryWords; ++i)
    if ((entry[i] ^ keys[i]) & mask[i]) return false;
  return true;
}

std::vector<uint32_t> entry_for(const char *nomvar, const char *typvar, const char *etiket, int ip1,
                                int ip2, int ip3, int datev) {
  Descriptor d;
  d.nomvar = nomvar;
  d.typvar = typvar;
  d.etiket = etiket;
  d.ip1 = ip1;
  d.ip2 = ip2;
  d.ip3 = ip3;
  d.datev = datev;
  d.ni = 7;  // never compared
  d.nbits = 12;
  std::vector<uint32_t> e(kEntryWords, 0);
  d.to_entry(e.data());
  e[0] = 0x01000009;
  e[1] = 1234;
  return e;
}

TEST(SearchKeys, AllWildcardsCompareNothing) {
  uint32_t keys[kEntryWords], mask[kEntryWords];
  make_search_keys(SearchCriteria{}, keys, mask);
  for (int i = 0; i < kEntryWords; ++i) EXPECT_EQ(mask[i], 0u) << i;
  make_search_keys(SearchCriteria{-1, "            ", -1, -1, -1, "  ", "    "}, keys, mask);
  for (int i = 0; i < kEntryWords; ++i) EXPECT_EQ(mask[i], 0u) << i;
}

TEST(SearchKeys, FieldsAndPadsOfAFullTarget) {
  uint32_t keys[kEntryWords], mask[kEntryWords];
  make_search_keys(SearchCriteria{295918550, "LABEL", 12000, 3, 4, "P", "TT"}, keys, mask);
  for (int i = 0; i <= 9; ++i) EXPECT_EQ(mask[i], 0u) << i;
  EXPECT_EQ(mask[10], 0xFFFFFFFCu);
  EXPECT_EQ(mask[11], 0xFFFFFFFCu);
  EXPECT_EQ(mask[12], 0xFFFFFF00u);
  EXPECT_EQ(mask[13], 0xFFFFFF00u);
  EXPECT_EQ(mask[14], 0xFFFFFFF0u);
  EXPECT_EQ(mask[17], 0xFFFFFFF8u);
  EXPECT_EQ(keys[14], 12000u << 4);
  EXPECT_EQ(keys[17], stamp_to_stored(295918550));
  const auto hit = entry_for("TT", "P", "LABEL", 12000, 3, 4, 295918550);
  EXPECT_TRUE(matches(hit.data(), keys, mask));
  EXPECT_FALSE(matches(entry_for("TT", "P", "LABEL", 12001, 3, 4, 295918550).data(), keys, mask));
  EXPECT_FALSE(matches(entry_for("TT", "P", "LABEX", 12000, 3, 4, 295918550).data(), keys, mask));
  EXPECT_FALSE(matches(entry_for("TT", "A", "LABEL", 12000, 3, 4, 295918550).data(), keys, mask));
  EXPECT_FALSE(matches(entry_for("UU", "P", "LABEL", 12000, 3, 4, 295918550).data(), keys, mask));
  EXPECT_FALSE(matches(entry_for("TT", "P", "LABEL", 12000, 3, 5, 295918550).data(), keys, mask));
}

TEST(SearchKeys, NamesIgnoreCase) {
  uint32_t k1[kEntryWords], m1[kEntryWords], k2[kEntryWords], m2[kEntryWords];
  make_search_keys(SearchCriteria{-1, "label", -1, -1, -1, "p", "tt"}, k1, m1);
  make_search_keys(SearchCriteria{-1, "LABEL", -1, -1, -1, "P", "TT"}, k2, m2);
  for (int i = 0; i < kEntryWords; ++i) {
    EXPECT_EQ(k1[i], k2[i]) << i;
    EXPECT_EQ(m1[i], m2[i]) << i;
  }
}

TEST(SearchKeys, StampsThatDifferInTheLastDigitMatch) {
  uint32_t keys[kEntryWords], mask[kEntryWords];
  make_search_keys(SearchCriteria{295918550, "", -1, -1, -1, "", ""}, keys, mask);
  EXPECT_TRUE(matches(entry_for("A", "", "", 0, 0, 0, 295918557).data(), keys, mask));
  EXPECT_FALSE(matches(entry_for("A", "", "", 0, 0, 0, 295918560).data(), keys, mask));
  make_search_keys(SearchCriteria{295918557, "", -1, -1, -1, "", ""}, keys, mask);
  EXPECT_TRUE(matches(entry_for("A", "", "", 0, 0, 0, 295918550).data(), keys, mask));
}

TEST(SearchKeys, LabelWithBlankFirstTenIsAWildcard) {
  uint32_t keys[kEntryWords], mask[kEntryWords];
  make_search_keys(SearchCriteria{-1, "          XY", -1, -1, -1, "", ""}, keys, mask);
  EXPECT_EQ(mask[10], 0u);
  EXPECT_EQ(mask[11], 0u);
  EXPECT_EQ(mask[12] & 0xFFF00000u, 0u);
  EXPECT_TRUE(matches(entry_for("A", "", "ANYTHING", 0, 0, 0, 1).data(), keys, mask));
  // A label with one of its first ten set compares all twelve, blanks too.
  make_search_keys(SearchCriteria{-1, "A", -1, -1, -1, "", ""}, keys, mask);
  EXPECT_EQ(mask[12] & 0xFFF00000u, 0xFFF00000u);
  EXPECT_FALSE(matches(entry_for("A", "", "A          X", 0, 0, 0, 1).data(), keys, mask));
  EXPECT_TRUE(matches(entry_for("A", "", "a", 0, 0, 0, 1).data(), keys, mask));
}

// A file written for the test: four records, unit 50 (and 51 for a second).
class SearchFile : public stdfile_test::QuietLayer {
 protected:
  static constexpr int kUnit = 50;
  static constexpr int kS0 = 295918550;  // a stamp ending in 0
  static constexpr int kS1 = 295919000;

  void SetUp() override {
    QuietLayer::SetUp();
    path_ = dir_.file("search.vkt");
    ASSERT_EQ(c_fnom(reinterpret_cast<void *>(intptr_t{kUnit}), path_.c_str(), "RND", 0), 0);
    ASSERT_EQ(c_vktouv(kUnit, "RND"), 0);
    write(10, "tt", "P", "LABEL", 10, 1, kS0);
    write(30, "TT", "P", "OTHER", 20, 1, kS0 + 7);
    write(20, "UU", "A", "          XY", 10, 2, kS1);
    write(5, "UU", "A", "LABEL", 30, 5, kS1);
  }
  void TearDown() override {
    c_vktfrm(kUnit);
    c_fclos(kUnit);
    QuietLayer::TearDown();
  }
  static void write(int ni, const char *nomvar, const char *typvar, const char *etiket, int ip1,
                    int ip2, int date) {
    std::vector<uint32_t> field(static_cast<size_t>(ni), 7u);
    ASSERT_GE(c_vktecr(field.data(), nullptr, -8, kUnit, date, 0, 0, ni, 1, 1, ip1, ip2, 0, typvar,
                       nomvar, etiket, "X", 1, 2, 3, 4, 2, 0),
              0);
  }
  // ni of every record found with the criteria, in order.
  static std::vector<int> find(int datev, const char *etiket, int ip1, int ip2, const char *typvar,
                               const char *nomvar) {
    std::vector<int> out;
    int ni = 0, nj = 0, nk = 0;
    for (int h = c_vktinf(kUnit, &ni, &nj, &nk, datev, etiket, ip1, ip2, -1, typvar, nomvar);
         h >= 0; h = c_vktsui(kUnit, &ni, &nj, &nk))
      out.push_back(ni);
    return out;
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(SearchFile, WildcardsNamesStampsAndLevels) {
  EXPECT_EQ(find(-1, "", -1, -1, "", ""), (std::vector<int>{10, 30, 20, 5}));
  EXPECT_EQ(find(-1, "", -1, -1, "", "tt"), (std::vector<int>{10, 30}));
  EXPECT_EQ(find(-1, "", -1, -1, "", "TT"), (std::vector<int>{10, 30}));
  EXPECT_EQ(find(kS0, "", -1, -1, "", ""), (std::vector<int>{10, 30}));
  EXPECT_EQ(find(kS0 + 7, "", -1, -1, "", ""), (std::vector<int>{10, 30}));
  EXPECT_EQ(find(-1, "", 10, -1, "", ""), (std::vector<int>{10, 20}));
  EXPECT_EQ(find(-1, "label", -1, -1, "", ""), (std::vector<int>{10, 5}));
  EXPECT_EQ(find(-1, "          XY", -1, -1, "", ""), (std::vector<int>{10, 30, 20, 5}));
  EXPECT_EQ(find(-1, "", -1, 2, "A", ""), (std::vector<int>{20}));
  EXPECT_TRUE(find(-1, "", 99, -1, "", "").empty());
}

TEST_F(SearchFile, StartHandles) {
  int ni = 0, nj = 0, nk = 0;
  const int first = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "TT");
  ASSERT_GT(first, 0);
  // After the first record, from the first again, and on from the position.
  EXPECT_GT(c_vktinfx(first, kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "TT"), 0);
  EXPECT_EQ(ni, 30);
  EXPECT_EQ(c_vktinfx(0, kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "TT"), first);
  EXPECT_GT(c_vktinfx(-1, kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "TT"), 0);
  EXPECT_EQ(ni, 30);
  EXPECT_EQ(c_vktsui(kUnit, &ni, &nj, &nk), -12);

  // A handle of another unit is refused.
  TempDir other;
  const std::string p2 = other.file("other.vkt");
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(intptr_t{51}), p2.c_str(), "RND", 0), 0);
  ASSERT_EQ(c_vktouv(51, "RND"), 0);
  std::vector<uint32_t> f(4, 1u);
  ASSERT_GE(c_vktecr(f.data(), nullptr, -8, 51, kS0, 0, 0, 4, 1, 1, 0, 0, 0, "", "ZZ", "", "X", 0,
                     0, 0, 0, 2, 0),
            0);
  const int h51 = c_vktinf(51, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "");
  ASSERT_GT(h51, 0);
  EXPECT_EQ(c_vktinfx(h51, kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""), -9);
  c_vktfrm(51);
  c_fclos(51);

  EXPECT_EQ(c_vktinf(77, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""), -29);
}

TEST_F(SearchFile, ListOfHandles) {
  int ni = -5, nj = -5, nk = -5, infon = -1;
  int liste[10] = {};
  EXPECT_EQ(c_vktinl(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "", liste, &infon, 0), 0);
  EXPECT_EQ(infon, 0);
  EXPECT_EQ(ni, 10);  // none listed, the first match's dimensions given
  EXPECT_EQ(nj, 1);
  EXPECT_EQ(c_vktinl(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "", liste, &infon, 10), 0);
  EXPECT_EQ(infon, 4);
  EXPECT_EQ(ni, 30);  // the largest record
  EXPECT_EQ(nj, 1);
  int dims[3];
  c_vktprm(liste[2], &dims[0], &dims[0], &dims[0], &ni, &nj, &nk, &dims[0], &dims[0], &dims[0],
           &dims[0], &dims[0], nullptr, nullptr, nullptr, nullptr, &dims[0], &dims[0], &dims[0],
           &dims[0], &dims[0], &dims[0], &dims[0], &dims[0], &dims[0], &dims[1], &dims[2]);
  EXPECT_EQ(ni, 20);
  EXPECT_EQ(c_vktinl(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "UU", liste, &infon, 1), 0);
  EXPECT_EQ(infon, 1);
  EXPECT_EQ(ni, 20);
  ni = -3;
  EXPECT_EQ(c_vktinl(kUnit, &ni, &nj, &nk, -1, "", 99, -1, -1, "", "", liste, &infon, 10), 0);
  EXPECT_EQ(infon, 0);
  EXPECT_EQ(ni, -3);
}

TEST_F(SearchFile, DebugTraces) {
  xdf::settings().msg_level = 0;
  int ni = 0, nj = 0, nk = 0, infon = 0, liste[2];
  testing::internal::CaptureStdout();
  c_vktinf(kUnit, &ni, &nj, &nk, -1, "ab", 5, -1, -1, "p", "zz");
  c_vktsui(kUnit, &ni, &nj, &nk);
  c_vktinl(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "TT", liste, &infon, 2);
  const std::string out = testing::internal::GetCapturedStdout();
  xdf::settings().msg_level = 4;
  EXPECT_NE(out.find("Debug vktinf iun 50 recherche: datev=-1 etiket=[ab          ] ip1=5 "
                     "ip2=-1 ip3=-1 typvar=[p ] nomvar=[zz  ]\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("c_vktinf: (unit=50) record not found, errcode=-12\n"), std::string::npos);
  EXPECT_NE(out.find("c_vktsui: record not found, errcode=-12\n"), std::string::npos);
  EXPECT_NE(out.find("Debug vktinl iun 50 recherche: datev=-1 etiket=[            ]"),
            std::string::npos);
  EXPECT_NE(out.find("Debug vktinl nombre trouve=2 nmax=2\n"), std::string::npos);
}

TEST_F(SearchFile, SelectionMask) {
  int m1 = 5, m2 = 5, m3 = 5;
  char met[13];
  ASSERT_EQ(c_vktmsq(kUnit, &m1, &m2, &m3, met, 1), 0);
  EXPECT_EQ(m1, 0);
  EXPECT_EQ(m3, 0);
  EXPECT_STREQ(met, "            ");

  // Ignore every bit of ip1 and the label's characters 4 and 5.
  m1 = -1;
  m2 = 0;
  m3 = 0;
  char set[] = "   **";
  ASSERT_EQ(c_vktmsq(kUnit, &m1, &m2, &m3, set, 0), 0);
  ASSERT_EQ(c_vktmsq(kUnit, &m1, &m2, &m3, met, 1), 0);
  EXPECT_EQ(m1, 0xFFFFFFF);
  EXPECT_STREQ(met, "   **       ");
  EXPECT_EQ(find(-1, "", 999, -1, "", ""), (std::vector<int>{10, 30, 20, 5}));
  EXPECT_EQ(find(-1, "LABXX", -1, -1, "", ""), (std::vector<int>{10, 5}));
  // The twelfth character is judged by its whole field.
  char last[] = "           *";
  ASSERT_EQ(c_vktmsq(kUnit, &m1, &m2, &m3, last, 0), 0);
  ASSERT_EQ(c_vktmsq(kUnit, &m1, &m2, &m3, met, 1), 0);
  EXPECT_STREQ(met, "           *");

  EXPECT_EQ(c_vktmsq(88, &m1, &m2, &m3, met, 1), -1);
}

TEST_F(SearchFile, DescriptorQueryStrings) {
  int ni, nj, nk;
  const int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "UU");
  ASSERT_GT(h, 0);
  int v[22];
  char typvar[3] = "", nomvar[5] = "  ", etiket[13] = "            ", grtyp[2] = "?";
  ASSERT_EQ(c_vktprm(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9],
                     &v[10], typvar, nomvar, etiket, grtyp, &v[11], &v[12], &v[13], &v[14], &v[15],
                     &v[16], &v[17], &v[18], &v[19], &v[20], &v[21]),
            h);
  EXPECT_STREQ(typvar, "");    // an empty text receives nothing
  EXPECT_STREQ(nomvar, "UU");  // two places, two characters
  EXPECT_STREQ(etiket, "          XY");
  EXPECT_STREQ(grtyp, "X");
  EXPECT_EQ(v[3], 20);
  EXPECT_EQ(v[7], 2);     // datyp
  EXPECT_EQ(v[8], 10);    // ip1
  EXPECT_EQ(v[11], 1);    // ig1
  EXPECT_EQ(v[14], 4);    // ig4
  EXPECT_EQ(v[17], 0);    // dltf
  EXPECT_EQ(v[19], kS1);  // extra1
  EXPECT_EQ(v[0], kS1);   // dateo: deet x npas = 0
  EXPECT_EQ(v[20], 0);
  EXPECT_EQ(v[21], 0);
  EXPECT_EQ(v[16] % 2, 0);  // lng in 32-bit words
  EXPECT_LT(c_vktprm(0x7F, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9],
                     &v[10], typvar, nomvar, etiket, grtyp, &v[11], &v[12], &v[13], &v[14], &v[15],
                     &v[16], &v[17], &v[18], &v[19], &v[20], &v[21]),
            0);
}

TEST_F(SearchFile, CountOfAUnitBoundButNotOpen) {
  c_vktfrm(kUnit);
  EXPECT_EQ(c_vktnbr(kUnit), 4);
  EXPECT_LT(xdf::file_index(kUnit), 0) << "left closed";
  EXPECT_EQ(c_vktouv(kUnit, "RND"), 4);
  EXPECT_EQ(c_vktnbr(99), -29);
}

class OpenTest : public stdfile_test::QuietLayer {};

TEST_F(OpenTest, ApplicationCodeFromTheOptions) {
  TempDir dir;
  struct Case {
    const char *options;
    uint32_t signature;
  } cases[] = {{"RND", 0x53544452u}, {"rnd", 0x53544452u}, {"SEQ", 0x53544453u}, {"", 0x53544453u}};
  int n = 0;
  for (const Case &c : cases) {
    const std::string path = dir.file("app" + std::to_string(n++) + ".vkt");
    ASSERT_EQ(c_fnom(reinterpret_cast<void *>(intptr_t{60}), path.c_str(), "RND", 0), 0);
    EXPECT_EQ(c_vktouv(60, c.options), 0) << c.options;
    const xdf::FileEntry *f = xdf::open_entry(xdf::file_index(60));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->header.app_signature, c.signature) << c.options;
    EXPECT_TRUE(io::file_entry(xdf::fnom_index(60)).has(io::kAttrStd));
    c_vktfrm(60);
    c_fclos(60);
  }
}

TEST_F(OpenTest, EmptyFileDeclaredOldIsNotCreated) {
  TempDir dir;
  const std::string path = dir.file("empty.vkt");
  std::FILE *f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(intptr_t{61}), path.c_str(), "RND+OLD", 0), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktouv(61, "RND"), -2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  c_fclos(61);
  EXPECT_EQ(stdfile_test::read_text(path), "");
  EXPECT_EQ(c_vktouv(62, "RND"), -29);
}

TEST_F(OpenTest, ReadOnlyUnitOpensAFileLeftHeldByAWriter) {
  SKIP_WITHOUT_GOLDEN("integers.vkt");
  TempDir dir;
  std::vector<uint32_t> w = stdfile_test::read_words(stdfile_test::golden_dir() + "integers.vkt");
  w[14] = 3;  // rw_flag of a writer that never closed
  const std::string path = dir.file("held.vkt");
  stdfile_test::write_words(path, w);
  {
    stdfile_test::OpenUnit unit(63, path, "RND+R/O");
    EXPECT_EQ(unit.status(), 64);
  }
  // No writer holds the file's lock: the flag is what a writer that died
  // left behind, and a read-write unit opens the file (its close clears it).
  {
    stdfile_test::OpenUnit writer(64, path, "RND");
    EXPECT_EQ(writer.status(), 64);
    // While it is open, a second read-write unit is refused (without ending
    // the process under the raised tolerance), a reader is not.
    stdfile_test::OpenUnit second(66, path, "RND");
    EXPECT_EQ(second.status(), -21);
    stdfile_test::OpenUnit reader(67, path, "RND+R/O");
    EXPECT_EQ(reader.status(), 64);
  }
  EXPECT_EQ(stdfile_test::read_words(path)[14], 0u);
}

TEST_F(OpenTest, NameWithBlanksAndUpperCaseIsProbedAsItIs) {
  SKIP_WITHOUT_GOLDEN("names.vkt");
  TempDir dir;
  const std::string path = dir.file("a b.vkt");
  stdfile_test::write_words(path,
                            stdfile_test::read_words(stdfile_test::golden_dir() + "names.vkt"));
  stdfile_test::OpenUnit unit(65, path);
  EXPECT_EQ(unit.status(), 8);
}

}  // namespace
}  // namespace zep::stdfile
