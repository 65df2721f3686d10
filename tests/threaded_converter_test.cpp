// vkt2xml on several threads (VKT2XML_THREADS): the document, standard
// output and exit status are those of the single-threaded run, for the
// golden files and for records of every size around the writer's chunks.
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"
#include "tests/e2e_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace {

using zep_test::converter;
using zep_test::golden_names;
using zep_test::quote;
using zep_test::run;
using zep_test::slurp;

class ThreadedConverter : public ::testing::Test {
 protected:
  void SetUp() override {
    if (converter().empty()) GTEST_SKIP() << "the converter was not built";
    dir_ = ::testing::TempDir() + "threaded_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    run("rm -rf " + quote(dir_) + " && mkdir -p " + quote(dir_));
  }

  // Runs the converter with VKT2XML_THREADS set to `threads` (unset when
  // null); standard output and error go to out.txt and err.txt.
  int convert(const char *threads, const std::string &args) {
    const std::string setting =
        threads ? "VKT2XML_THREADS=" + quote(threads) + " " : "unset VKT2XML_THREADS; ";
    return run("cd " + quote(dir_) + " && " + setting + quote(converter()) + " " + args + " >" +
               quote(dir_ + "/out.txt") + " 2>" + quote(dir_ + "/err.txt"));
  }

  std::string dir_;
};

// A file of records of awkward lengths, small and large: below, at and past
// the length worth the threads, not multiples of a chunk or of eight, as
// floats of several packings and as integers (whose text is not of fixed
// width). *values receives the number of values written.
void write_awkward_file(const std::string &path, size_t *values) {
  *values = 0;
  int unit = 21;
  ASSERT_EQ(c_fnom(&unit, path.c_str(), "STD+RND", 0), 0);
  ASSERT_GE(c_vktouv(unit, "RND"), 0);
  struct Shape {
    int ni, nj, nbits, datyp;
  };
  const Shape shapes[] = {{1, 1, 32, 5},      {9, 1, 32, 5},     {255, 257, 32, 5},
                          {256, 256, 16, 1},  {331, 299, 32, 5}, {7, 3, 16, 1},
                          {1000, 229, 16, 1}, {289, 401, 32, 4}, {5, 1, 32, 4}};
  uint64_t state = 7;
  int k = 0;
  for (const Shape &s : shapes) {
    const size_t n = static_cast<size_t>(s.ni) * static_cast<size_t>(s.nj);
    *values += n;
    std::vector<float> reals(n);
    std::vector<int32_t> ints(n);
    for (size_t i = 0; i < n; ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const double u = static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
      reals[i] = static_cast<float>((u - 0.3) * std::pow(10.0, static_cast<int>(state % 13) - 6));
      ints[i] = static_cast<int32_t>(state >> 32);
    }
    void *data = s.datyp == 4 ? static_cast<void *>(ints.data()) : reals.data();
    const std::string name = "R" + std::to_string(k++);
    ASSERT_GE(c_vktecr(data, nullptr, -s.nbits, unit, 0, 0, 0, s.ni, s.nj, 1, 500, 0, 0, "P",
                       name.c_str(), "AWKWARD", "X", 0, 0, 0, 0, s.datyp, 0),
              0);
  }
  c_vktfrm(unit);
  c_fclos(unit);
}

TEST_F(ThreadedConverter, AwkwardRecordsGiveTheSingleThreadDocument) {
  size_t values = 0;
  write_awkward_file(dir_ + "/awkward.vkt", &values);
  ASSERT_EQ(convert("1", "-vkt awkward.vkt -xml one.xml"), 0) << slurp(dir_ + "/err.txt");
  const std::string doc = slurp(dir_ + "/one.xml");
  const std::string out = slurp(dir_ + "/out.txt");
  ASSERT_GT(doc.size(), 13 * values);  // every value is there, 13 bytes at least
  // Thread counts asked for, the default, and settings that are not a
  // count (ignored) or too large (clamped).
  const char *settings[] = {"2", "3", nullptr, "0", "-4", "two", "", "100000"};
  for (const char *threads : settings) {
    SCOPED_TRACE(threads ? std::string("VKT2XML_THREADS='") + threads + "'" : "unset");
    ASSERT_EQ(convert(threads, "-vkt awkward.vkt -xml many.xml"), 0) << slurp(dir_ + "/err.txt");
    EXPECT_TRUE(slurp(dir_ + "/many.xml") == doc) << "documents differ";
    EXPECT_EQ(slurp(dir_ + "/out.txt"), out);
    EXPECT_EQ(slurp(dir_ + "/err.txt"), "");
  }
  // The document on standard output is the same document.
  ASSERT_EQ(convert("3", "-vkt awkward.vkt"), 0);
  EXPECT_TRUE(slurp(dir_ + "/out.txt") == doc);
}

TEST_F(ThreadedConverter, OutputErrorsAreStillCaught) {
  if (!std::ifstream("/dev/full").good()) GTEST_SKIP() << "no /dev/full";
  size_t values = 0;
  write_awkward_file(dir_ + "/awkward.vkt", &values);
  for (const char *threads : {"1", "3"}) {
    SCOPED_TRACE(threads);
    EXPECT_EQ(convert(threads, "-vkt awkward.vkt -xml /dev/full"), 1);
    EXPECT_NE(slurp(dir_ + "/err.txt").find("the document could not be written: No space left"),
              std::string::npos)
        << slurp(dir_ + "/err.txt");
  }
}

TEST_F(ThreadedConverter, GoldenFilesOnOneTwoAndThreeThreads) {
  const std::string golden = zep_test::golden_dir();
  const auto names = golden_names(golden);
  ASSERT_FALSE(names.empty());
  for (const char *threads : {"1", "2", "3"}) {
    for (const auto &n : names) {
      SCOPED_TRACE(n + " on " + threads + " threads");
      ASSERT_EQ(convert(threads, "-vkt " + quote(golden + "/" + n + ".vkt") + " -xml doc.xml"), 0);
      EXPECT_TRUE(slurp(dir_ + "/doc.xml") == slurp(golden + "/" + n + ".xml"))
          << "document differs";
      if (zep_test::exists(golden + "/" + n + ".stdout")) {
        EXPECT_EQ(slurp(dir_ + "/out.txt"), slurp(golden + "/" + n + ".stdout"));
      }
    }
  }
}

}  // namespace
