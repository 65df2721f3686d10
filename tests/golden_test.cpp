// Every golden standard file converts to its document byte for byte, with
// the expected standard output (where given) and exit status 0.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/e2e_support.h"

namespace {

using zep_test::env;
using zep_test::exists;
using zep_test::golden_names;
using zep_test::run;
using zep_test::slurp;

class Golden : public ::testing::TestWithParam<std::string> {};

// The golden files are part of the repository: their absence is a failure.
TEST(GoldenFolder, IsPresent) {
  EXPECT_FALSE(golden_names(zep_test::golden_dir()).empty())
      << "no golden files in '" << zep_test::golden_dir() << "'";
  ASSERT_FALSE(env("ZEP_VKT2XML").empty()) << "the converter was not built";
}

TEST(GoldenFiles, ConvertByteForByte) {
  const std::string dir = zep_test::golden_dir();
  const std::string exe = env("ZEP_VKT2XML");
  auto names = golden_names(dir);
  ASSERT_FALSE(names.empty()) << "no golden files in '" << dir << "'";
  ASSERT_FALSE(exe.empty());
  const std::string tmp = ::testing::TempDir() + "golden_out";
  run("mkdir -p '" + tmp + "'");
  const bool lint = run("command -v xmllint >/dev/null 2>&1") == 0;
  for (const auto &n : names) {
    SCOPED_TRACE(n);
    const std::string out = tmp + "/" + n + ".xml";
    const std::string so = tmp + "/" + n + ".stdout";
    int rc = run("cd '" + tmp + "' && '" + exe + "' -vkt '" + dir + "/" + n + ".vkt' -xml '" + out +
                 "' >'" + so + "' 2>'" + tmp + "/" + n + ".stderr'");
    EXPECT_EQ(rc, 0) << slurp(tmp + "/" + n + ".stderr");
    EXPECT_TRUE(slurp(out) == slurp(dir + "/" + n + ".xml"))
        << "document differs: diff " << out << " " << dir << "/" << n << ".xml";
    if (exists(dir + "/" + n + ".stdout")) {
      EXPECT_EQ(slurp(so), slurp(dir + "/" + n + ".stdout"));
    }
    if (lint) {
      EXPECT_EQ(run("xmllint --noout --schema '" + env("ZEP_SOURCE_DIR") + "/docs/vkt2xml.xsd' '" +
                    out + "' 2>/dev/null"),
                0)
          << "the document does not follow docs/vkt2xml.xsd";
    }
  }
}

}  // namespace
