// By-reference entries: fixed-length blank-padded strings in and out, and
// c_vktlic's comparisons.
#include <gtest/gtest.h>

#include <cstring>

#include "stdfile/test_support.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

namespace {

class TwinsTest : public stdfile_test::QuietLayer {
 protected:
  static constexpr int kUnit = 55;
  void SetUp() override {
    QuietLayer::SetUp();
    path_ = dir_.file("twins.vkt");
    ASSERT_EQ(c_fnom(reinterpret_cast<void *>(intptr_t{kUnit}), path_.c_str(), "RND", 0), 0);
    ASSERT_EQ(c_vktouv(kUnit, "RND"), 0);
    std::vector<float> field = {1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f};
    ASSERT_GE(c_vktecr(field.data(), nullptr, -16, kUnit, 295918550, 0, 0, 3, 2, 1, 500, 6, 7, "P",
                       "TT", "RUN1", "N", 10, 20, 30, 40, 1, 0),
              0);
  }
  void TearDown() override {
    c_vktfrm(kUnit);
    c_fclos(kUnit);
    QuietLayer::TearDown();
  }
  stdfile_test::TempDir dir_;
  std::string path_;
};

TEST_F(TwinsTest, SearchAndDescriptorsWithPaddedStrings) {
  int iun = kUnit, ni = 0, nj = 0, nk = 0, datev = -1, ip1 = 500, ip2 = -1, ip3 = -1;
  // Fortran strings longer than the fields: only 12, 2 and 4 characters count.
  const int h = vktinf_(&iun, &ni, &nj, &nk, &datev, "run1            ", &ip1, &ip2, &ip3, "p   ",
                        "tt      ", 16, 4, 8);
  ASSERT_GT(h, 0);
  EXPECT_EQ(ni, 3);
  EXPECT_EQ(nj, 2);
  int handle = h, v[22];
  char typvar[4], nomvar[8], etiket[6], grtyp[3];
  std::memset(typvar, '#', sizeof typvar);
  std::memset(nomvar, '#', sizeof nomvar);
  std::memset(etiket, '#', sizeof etiket);
  std::memset(grtyp, '#', sizeof grtyp);
  EXPECT_EQ(vktprm_(&handle, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9],
                    &v[10], typvar, nomvar, etiket, grtyp, &v[11], &v[12], &v[13], &v[14], &v[15],
                    &v[16], &v[17], &v[18], &v[19], &v[20], &v[21], 3, 7, 5, 2),
            h);
  // At most the full width, at most the caller's length; the rest untouched.
  EXPECT_EQ(std::string(typvar, 4), "P ##");
  EXPECT_EQ(std::string(nomvar, 8), "TT  ####");
  EXPECT_EQ(std::string(etiket, 6), "RUN1 #");
  EXPECT_EQ(std::string(grtyp, 3), "N##");
  EXPECT_EQ(v[11], 10);
  EXPECT_EQ(v[12], 20);

  std::vector<float> values(6);
  EXPECT_EQ(vktluk_(values.data(), &handle, &ni, &nj, &nk), h);
  EXPECT_EQ(values[5], 6.5f);
  int nmax = 4, infon = 0, liste[4];
  EXPECT_EQ(vktinl_(&iun, &ni, &nj, &nk, &datev, " ", &ip1, &ip2, &ip3, " ", " ", liste, &infon,
                    &nmax, 1, 1, 1),
            0);
  EXPECT_EQ(infon, 1);
  EXPECT_EQ(liste[0], h);
}

TEST_F(TwinsTest, SelectionMaskThroughTheTwin) {
  int iun = kUnit, m1 = -1, m2 = 0, m3 = 0, get = 0;
  char met[14] = "**          X";
  EXPECT_EQ(vktmsq_(&iun, &m1, &m2, &m3, met, &get, 13), 0);
  m1 = m2 = m3 = 99;
  get = 1;
  char out[14];
  std::memset(out, '#', sizeof out);
  EXPECT_EQ(vktmsq_(&iun, &m1, &m2, &m3, out, &get, 14), 0);
  EXPECT_EQ(m1, 0xFFFFFFF);
  EXPECT_EQ(m2, 0);
  EXPECT_EQ(std::string(out, 14), "**          ##");
}

TEST_F(TwinsTest, ReadWithGridCheck) {
  std::vector<float> values(6, 0.0f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(
      c_vktlic(values.data(), kUnit, 3, 2, 1, -1, "", -1, -1, -1, "", "TT", 10, 20, 30, 41, "N"),
      -1);
  EXPECT_EQ(
      c_vktlic(values.data(), kUnit, 3, 2, 2, -1, "", -1, -1, -1, "", "TT", 10, 20, 30, 40, "N"),
      -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(" user ig4=41, file ig4=40\n"), std::string::npos);
  EXPECT_NE(err.find("c_vktlic unit=55, ni or nj or nk error: user ni=3, file ni=3\n"),
            std::string::npos);
  EXPECT_NE(err.find(" user nk=2, file nk=1\n"), std::string::npos);
  EXPECT_EQ(values[0], 0.0f) << "nothing read";

  int iun = kUnit, ni = 3, nj = 2, nk = 1, datev = -1, ip = -1, g1 = 10, g2 = 20, g3 = 30, g4 = 40;
  EXPECT_GT(vktlic_(values.data(), &iun, &ni, &nj, &nk, &datev, " ", &ip, &ip, &ip, " ", "TT", &g1,
                    &g2, &g3, &g4, "NX", 1, 1, 2, 2),
            0);
  EXPECT_EQ(values[0], 1.5f);
  EXPECT_EQ(
      c_vktlic(values.data(), kUnit, 3, 2, 1, -1, "", -1, -1, -1, "", "ZZ", 10, 20, 30, 40, "N"),
      -12);
}

TEST_F(TwinsTest, SearchAndReadEntries) {
  std::vector<float> values(6, 0.0f);
  int ni = 0, nj = 0, nk = 0;
  const int h = c_vktlir(values.data(), kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "");
  EXPECT_GT(h, 0);
  EXPECT_EQ(values[2], 3.5f);
  EXPECT_EQ(c_vktlis(values.data(), kUnit, &ni, &nj, &nk), -12);
  EXPECT_EQ(c_vktlirx(values.data(), h, kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""), -12);
  zep::xdf::settings().msg_level = 2;
  testing::internal::CaptureStdout();
  c_vktlis(values.data(), kUnit, &ni, &nj, &nk);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "c_vktlis: (unit=55) record not found, errcode=-12\n");
  EXPECT_EQ(c_vktlis(values.data(), 56, &ni, &nj, &nk), -29);
}

TEST_F(TwinsTest, ListingThroughTheTwinCutsItsOptions) {
  int iun = kUnit;
  std::string options(100, ' ');
  options.replace(0, 6, "NONOMV");
  options.replace(79, 6, "NOTYPV");  // beyond the 79 characters kept
  testing::internal::CaptureStdout();
  EXPECT_EQ(vktvoi_(&iun, options.c_str(), options.size()), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("    0-  P  RUN1        "), std::string::npos) << out;
}

}  // namespace
