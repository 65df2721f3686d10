// Package options: c_vktopc, c_vktopi, c_vktopl, c_vktopr, their
// by-reference forms, their messages, and the entries that only report.
#include "stdfile/options.h"

#include <gtest/gtest.h>

#include <string>

#include "xdf/table.h"
#include "zep/compress.h"
#include "zep/stdfile.h"

namespace zep::stdfile {
namespace {

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    xdf::settings().msg_level = 1;
    xdf::settings().xdf_toler = 3;
    options() = Options();
  }
  static std::string out_of(void (*call)()) {
    testing::internal::CaptureStdout();
    call();
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(OptionsTest, MessageLevelByName) {
  EXPECT_EQ(c_vktopc("MSGLVL", "FATALE", 0), 0);
  EXPECT_EQ(xdf::settings().msg_level, 4);
  c_vktopc("MSGLVL", "fatale", 0);  // names are compared exactly
  c_vktopc("MSGLVL", "DEBUGX", 0);
  EXPECT_EQ(xdf::settings().msg_level, 4);
  c_vktopc("TOLRNC", "CATAST", 0);
  EXPECT_EQ(xdf::settings().xdf_toler, 6);
  EXPECT_EQ(out_of([] { c_vktopc("MSGLVL", "", 1); }), "c_vktopc option FATALE, MSGLVL=8\n");
  EXPECT_EQ(out_of([] { c_vktopc("TOLRNC", "", 1); }), "c_vktopc option CATAST, TOLRNC=10\n");
  // Setting prints nothing.
  EXPECT_EQ(out_of([] { c_vktopc("MSGLVL", "DEBUG", 0); }), "");
  EXPECT_EQ(xdf::settings().msg_level, 0);
}

TEST_F(OptionsTest, MessageLevelByNumberTakesTheFirstMatch) {
  EXPECT_EQ(out_of([] { c_vktopi("MSGLVL", 10, 0); }), "c_vktopi option MSGLVL set to 10\n");
  EXPECT_EQ(xdf::settings().msg_level, 5);
  EXPECT_EQ(out_of([] { c_vktopi("MSGLVL", 3, 0); }), "");
  EXPECT_EQ(xdf::settings().msg_level, 5);
  EXPECT_EQ(out_of([] { c_vktopi("TOLRNC", 8, 0); }), "c_vktopi option TOLRNC set to 8\n");
  EXPECT_EQ(xdf::settings().xdf_toler, 4);
  EXPECT_EQ(out_of([] { c_vktopi("TOLRNC", 0, 1); }), "c_vktopi option TOLRNC=8\n");
  EXPECT_EQ(out_of([] { c_vktopi("OTHER", 2, 0); }), "");
}

TEST_F(OptionsTest, PrintOptionsAndTheirEcho) {
  EXPECT_EQ(options().prnt_options, "NINJNK+DATESTAMPO+IP1+IG1234");
  EXPECT_EQ(out_of([] { c_vktopc("PRINTOPT", "LEVEL+DATEV", 0); }),
            "c_vktopc option PRINTOPT set to LEVEL+DATEV\n");
  EXPECT_EQ(options().prnt_options, "LEVEL+DATEV");
  EXPECT_EQ(out_of([] { c_vktopc("PRINTOPT", "", 1); }), "c_vktopc option PRINTOPT=LEVEL+DATEV\n");
  xdf::settings().msg_level = 2;
  EXPECT_EQ(out_of([] { c_vktopc("PRINTOPT", "IP1", 0); }), "");
  EXPECT_EQ(options().prnt_options, "IP1");
  const std::string longer(200, 'A');
  c_vktopc("PRINTOPT", longer.c_str(), 0);
  EXPECT_EQ(options().prnt_options.size(), 127u);
}

TEST_F(OptionsTest, CompressionSpeed) {
  EXPECT_EQ(out_of([] { c_vktopc("TURBOCOMP", "BEST", 0); }),
            "c_vktopc option TURBOCOMP set to BEST\n");
  EXPECT_EQ(c_obrv_compress_getlevel(), 1);
  EXPECT_EQ(out_of([] { c_vktopc("TURBOCOMP", "SLOW", 0); }),
            "c_vktopc option TURBOCOMP set to BEST\n");
  EXPECT_EQ(out_of([] { c_vktopc("TURBOCOMP", "FAST", 0); }),
            "c_vktopc option TURBOCOMP set to FAST\n");
  EXPECT_EQ(c_obrv_compress_getlevel(), 0);
  EXPECT_EQ(out_of([] { c_vktopc("TURBOCOMP", "", 1); }), "c_vktopc option TURBOCOMP=FAST\n");
}

TEST_F(OptionsTest, UnknownOptionGoesToStandardError) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktopc("NOSUCH", "X", 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "c_vktopc: unknown option NOSUCH\n");
}

TEST_F(OptionsTest, LogicalOptions) {
  EXPECT_EQ(out_of([] { c_vktopl("IMAGE", 1, 0); }), "c_vktopl option IMAGE_MODE_COPY=1\n");
  EXPECT_EQ(options().image_mode_copy, 1);
  xdf::settings().msg_level = 4;
  EXPECT_EQ(out_of([] { c_vktopl("IMAGE", 0, 0); }), "");
  EXPECT_EQ(options().image_mode_copy, 0);
  EXPECT_EQ(out_of([] { c_vktopl("IMAGE", 0, 1); }), "c_vktopl option IMAGE_MODE_COPY=0\n");
  xdf::settings().msg_level = 3;
  EXPECT_EQ(out_of([] { c_vktopl("REDUCTION32", 1, 0); }), "");
  xdf::settings().msg_level = 2;
  EXPECT_EQ(out_of([] { c_vktopl("REDUCTION32", 1, 0); }), "c_vktopl option REDUCTION32\n");
  EXPECT_EQ(options().downgrade_32, 1);
  EXPECT_EQ(out_of([] { c_vktopl("REDUCTION32", 0, 1); }), "c_vktopl option REDUCTION32=1\n");
  EXPECT_EQ(out_of([] { c_vktopl("FASTIO", 1, 0); }), "");
  EXPECT_EQ(out_of([] { c_vktopl("FASTIO", 0, 1); }), "c_vktopl option FASTIO mode ON\n");
  EXPECT_EQ(c_vktopr("ANY", 1.5f, 0), 0);
  EXPECT_EQ(c_vkt_version(), 200001);
}

TEST_F(OptionsTest, ByReferenceForms) {
  int get = 0;
  vktopc_("MSGLVL          XX", "WARNIN   ", &get, 18, 9);  // cut to 16, blanks removed
  EXPECT_EQ(xdf::settings().msg_level, 2);
  int value = 6;
  vktopi_("TOLRNC", &value, &get, 3);  // "TOL" blank-filled: not an option
  EXPECT_EQ(xdf::settings().xdf_toler, 3);
  value = 4;
  testing::internal::CaptureStdout();
  vktopi_("TOLRNCXYZ", &value, &get, 9);  // the first 6 characters
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(xdf::settings().xdf_toler, 2);
  value = 1;
  vktopl_("IMAGE   ", &value, &get, 8);  // trailing blanks kept: no match
  EXPECT_EQ(options().image_mode_copy, 0);
  testing::internal::CaptureStdout();
  vktopl_("IMAGE", &value, &get, 5);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(options().image_mode_copy, 1);
  EXPECT_EQ(vkt_version_(), 200001);
}

TEST_F(OptionsTest, EntriesThatOnlyReport) {
  xdf::settings().xdf_toler = 6;
  testing::internal::CaptureStderr();
  EXPECT_EQ(vktsel_(), -38);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** WARNING #38 from module VKTSEL: this routine is not implemented in VKTD98\n"
            " \t\t vktinfx or vktlirx must be used instead\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(zvktcvt_(), -38);
  EXPECT_EQ(vktpos_(), -38);
  EXPECT_EQ(vktabt_(), -38);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("*** ERROR #38 from module VKTCVT: this routine is not implemented yet"),
            std::string::npos);
  EXPECT_NE(err.find("*** FATAL ERROR #38 from module VKTABT"), std::string::npos);
}

TEST_F(OptionsTest, FatalReportEndsTheProcessUnderTheDefaultTolerance) {
  EXPECT_EXIT(vktabt_(), testing::ExitedWithCode(38), "not implemented in VKTD98");
}

TEST_F(OptionsTest, ConversionEntryEndsTheProcess) {
  EXPECT_EXIT(vktcvt_(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr, nullptr, nullptr, nullptr),
              testing::ExitedWithCode(1), "");
}

TEST_F(OptionsTest, CompressionRequestReadOnceFromTheEnvironment) {
  setenv("VKT_COMPRESS", "", 1);
  read_compress_environment();
  EXPECT_EQ(options().extra_compression, 128);
  unsetenv("VKT_COMPRESS");
  read_compress_environment();
  EXPECT_EQ(options().extra_compression, 128) << "not read again";
}

}  // namespace
}  // namespace zep::stdfile
