// The request filter inside real searches: records written to a standard
// file, then found (or passed over) by c_vktinf and c_vktsui as the sets say.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "stdfile/options.h"
#include "zep/coding.h"
#include "zep/filter.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

namespace {

constexpr int kUnit = 47;
constexpr int kDate = 355847200;

int level_code(float value, int kind) {
  int code = 0, mode = 2, flag = 0;
  char text[1] = {' '};
  convip_(&code, &value, &kind, &mode, text, &flag, 0);
  return code;
}

class FilterSearchTest : public testing::Test {
 protected:
  void SetUp() override {
    c_vktopc("MSGLVL", "FATALE", 0);
    path_ = testing::TempDir() + "zep_filter_search_" + std::to_string(::getpid()) + ".vkt";
    std::remove(path_.c_str());
    int u = kUnit;
    ASSERT_EQ(c_fnom(&u, path_.c_str(), "RND", 0), 0);
    ASSERT_GE(c_vktouv(kUnit, "RND"), 0);  // the first open builds the (empty) table
    float field[4] = {1, 2, 3, 4};
    struct Rec {
      const char *nomvar, *typvar, *etiket;
      int ip1, ip2;
    };
    const Rec recs[] = {{"TT", "P", "OPER", level_code(500, 2), 0},
                        {"TT", "P", "OPER", level_code(850, 2), 6},
                        {"TTX", "A", "OPER", level_code(500, 2), 0},
                        {"GZ", "P", "TEST", level_code(500, 2), 6},
                        {"UU", "P", "OPER", level_code(500.001f, 0), 0}};
    for (const Rec &r : recs)
      ASSERT_GE(c_vktecr(field, nullptr, -16, kUnit, kDate, 0, 0, 2, 2, 1, r.ip1, r.ip2, 0,
                         r.typvar, r.nomvar, r.etiket, "X", 0, 0, 0, 0, 1, 0),
                0);
  }
  void TearDown() override {
    for (int s = 0; s < 20; ++s) c_requetes_reset(s, 0, 0, 0, 0, 0, 0, 0);
    c_desire_groupset(0, 19);
    c_vktfrm(kUnit);
    c_fclos(kUnit);
    std::remove(path_.c_str());
    c_vktopc("MSGLVL", "INFORM", 0);
  }

  // The variable names of every record a wildcard search finds, in order.
  std::vector<std::string> found() {
    std::vector<std::string> names;
    int ni, nj, nk;
    for (int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
         h = c_vktsui(kUnit, &ni, &nj, &nk)) {
      char nomvar[5] = "    ";
      int v[23];
      char typvar[3] = "  ", etiket[13] = "            ", grtyp[2] = " ";
      c_vktprm(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10],
               typvar, nomvar, etiket, grtyp, &v[11], &v[12], &v[13], &v[14], &v[15], &v[16],
               &v[17], &v[18], &v[19], &v[20], &v[21]);
      names.emplace_back(nomvar);
    }
    return names;
  }
  std::string path_;
};

using Names = std::vector<std::string>;

TEST_F(FilterSearchTest, NoSetsFindsEveryRecord) {
  EXPECT_EQ(found(), (Names{"TT  ", "TT  ", "TTX ", "GZ  ", "UU  "}));
}

TEST_F(FilterSearchTest, DesireAndExclusionSets) {
  const char *tt[] = {"TT"};
  ASSERT_EQ(c_desire_nomvar(0, 1, const_cast<char **>(tt), 1), 0);
  EXPECT_EQ(found(), (Names{"TT  ", "TT  ", "TTX "}));
  const char *a[] = {"A"};
  ASSERT_EQ(c_desire_typvar(0, 1, const_cast<char **>(a), 1), 0);
  EXPECT_EQ(found(), (Names{"TTX "}));

  c_requetes_reset(0, 0, 0, 0, 0, 0, 0, 0);
  const char *oper[] = {"OPER"};
  ASSERT_EQ(c_desire_etiquette(0, 0, const_cast<char **>(oper), 1), 0);
  EXPECT_EQ(found(), (Names{"GZ  "}));
}

TEST_F(FilterSearchTest, LevelsAndIp2) {
  float p500[] = {500.0f};
  ASSERT_EQ(c_desire_ip1(0, 1, p500, 1, 2), 0);
  EXPECT_EQ(found(), (Names{"TT  ", "TTX ", "GZ  "}));  // UU is at 500 m, not 500 mb
  int six[] = {6};
  ASSERT_EQ(c_desire_ip2(0, 1, six, 1, -1), 0);
  EXPECT_EQ(found(), (Names{"GZ  "}));
}

TEST_F(FilterSearchTest, DirectiveFileNarrowsTheSearch) {
  std::string dir = path_ + ".dir";
  FILE *f = std::fopen(dir.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("nomvar(0, 1, [TT, UU])\nip2 = 1, 0, -1, 0;\n", f);
  std::fclose(f);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_requetes_read_file(dir.c_str()), 0);
  testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  std::remove(dir.c_str());
  // Set 0 takes TT, TTX and UU; the others meet set 1, an exclusion set on
  // ip2 = 0 which, being the last in use, also lets GZ (ip2 6) pass.
  EXPECT_EQ(found(), (Names{"TT  ", "TT  ", "TTX ", "GZ  ", "UU  "}));
  c_requetes_reset(0, 0, 0, 0, 0, 0, 0, 0);
  const char *gz[] = {"GZ"};
  ASSERT_EQ(c_desire_nomvar(0, 0, const_cast<char **>(gz), 1), 0);
  // Set 0 now refuses GZ; set 1 refuses ip2 = 0; the rest (TT at 850, ip2 6) passes.
  EXPECT_EQ(found(), (Names{"TT  "}));
}

TEST_F(FilterSearchTest, MatchReqOnRealHandles) {
  int ni, nj, nk;
  int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "GZ");
  ASSERT_GE(h, 0);
  EXPECT_EQ(c_vkt_match_req(h), 1);
  const char *test[] = {"TEST"};
  ASSERT_EQ(c_desire_etiquette(0, 0, const_cast<char **>(test), 1), 0);
  EXPECT_EQ(c_vkt_match_req(h), 0);
  EXPECT_EQ(vkt_match_req_(&h), 0);
  EXPECT_LT(c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "GZ"), 0);
}

}  // namespace
