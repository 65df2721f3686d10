// Scratch files: created exclusively under TMPDIR/<pid>_<name> with the
// owner's permissions only, never through a link or over a file already
// there, reopened only if still the same file, and removed when the unit is
// released or the process ends.
#include "io/scratch_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "io/test_support.h"

namespace {

using io_test::read_bytes;
using io_test::write_text;

std::string text_of(const std::string &path) {
  const std::vector<unsigned char> b = read_bytes(path);
  return std::string(b.begin(), b.end());
}

class ScratchFileTest : public io_test::IoTest {
 protected:
  void SetUp() override {
    const char *old = std::getenv("TMPDIR");
    had_tmpdir_ = old != nullptr;
    if (old) old_tmpdir_ = old;
    setenv("TMPDIR", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    io_test::IoTest::TearDown();
    if (had_tmpdir_)
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  // The name a scratch file called `name` gets in this process.
  std::string scratch_path(const std::string &name) const {
    return dir_.path() + "/" + std::to_string(static_cast<long>(::getpid())) + "_" + name;
  }
  static int bind(int unit, const std::string &name, const char *attributes = "SCRATCH+RND") {
    return c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(unit)), name.c_str(), attributes,
                  0);
  }
  bool had_tmpdir_ = false;
  std::string old_tmpdir_;
};

TEST_F(ScratchFileTest, IsCreatedPrivateWrittenAndGoneAfterRelease) {
  const std::string path = scratch_path("work");
  ASSERT_EQ(bind(31, "work"), 0);
  const int row = zep::io::file_index_of(31);
  ASSERT_GE(row, 0);
  EXPECT_EQ(zep::io::file_entry(row).file_name, path);
  EXPECT_TRUE(zep::io::file_entry(row).has(zep::io::kAttrScratch));
  struct stat st;
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // Written, closed and opened again: the same file, contents kept.
  ASSERT_GE(c_waopen2(31), 0);
  uint32_t words[3] = {1, 2, 3};
  ASSERT_EQ(c_wawrit2(31, words, 1, 3), 3);
  ASSERT_EQ(c_waclos2(31), 0);
  ASSERT_GE(c_waopen2(31), 0);
  uint32_t back[3] = {};
  ASSERT_EQ(c_waread2(31, back, 1, 3), 3);
  EXPECT_EQ(back[2], 3u);
  EXPECT_EQ(c_waclos2(31), 0);

  EXPECT_EQ(c_fclos(31), 0);
  EXPECT_NE(::lstat(path.c_str(), &st), 0);
  // The name is free again for a new binding of this process.
  ASSERT_EQ(bind(31, "work"), 0);
  EXPECT_EQ(c_fclos(31), 0);
  EXPECT_NE(::lstat(path.c_str(), &st), 0);
}

TEST_F(ScratchFileTest, ANameAlreadyTakenIsRefusedAndWhatHoldsItUntouched) {
  const std::string target = dir_.file("victim.dat");
  write_text(target, "precious contents");
  struct Planted {
    const char *name;
    std::string link_to;  // empty: a plain file under the name
  } planted[] = {
      {"linked", target},                        // a link to an existing file
      {"dangling", dir_.file("not_there.dat")},  // a link to nothing (yet)
      {"plain", ""},                             // a file already there
  };
  for (const Planted &p : planted) {
    SCOPED_TRACE(p.name);
    const std::string path = scratch_path(p.name);
    if (p.link_to.empty())
      write_text(path, "someone else's");
    else
      ASSERT_EQ(::symlink(p.link_to.c_str(), path.c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(bind(32, p.name), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("c_fnom error: scratch file name " + path + " is already taken"),
              std::string::npos)
        << err;
    EXPECT_EQ(zep::io::file_index_of(32), -1);  // nothing left bound
    struct stat st;
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);  // the planted name stays as it was
    EXPECT_EQ(S_ISLNK(st.st_mode), !p.link_to.empty());
  }
  EXPECT_EQ(text_of(target), "precious contents");
  EXPECT_FALSE(zep::io::path_exists(dir_.file("not_there.dat")));
  EXPECT_EQ(text_of(scratch_path("plain")), "someone else's");
}

TEST_F(ScratchFileTest, AReplacedScratchFileIsNeitherReopenedNorRemoved) {
  const std::string path = scratch_path("swapped");
  ASSERT_EQ(bind(33, "swapped"), 0);
  ASSERT_EQ(c_waclos2(33), 0);  // bound, no longer open
  ASSERT_EQ(::unlink(path.c_str()), 0);
  write_text(path, "replacement");  // a different file under the name
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_waopen2(33), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open scratch file"),
            std::string::npos);
  EXPECT_EQ(c_fclos(33), 0);
  EXPECT_EQ(text_of(path), "replacement");

  // A scratch file removed behind the unit's back is created anew.
  ASSERT_EQ(bind(34, "removed"), 0);
  ASSERT_EQ(c_waclos2(34), 0);
  ASSERT_EQ(::unlink(scratch_path("removed").c_str()), 0);
  ASSERT_GE(c_waopen2(34), 0);
  EXPECT_TRUE(zep::io::path_exists(scratch_path("removed")));
  EXPECT_EQ(c_waclos2(34), 0);
  EXPECT_EQ(c_fclos(34), 0);
  EXPECT_FALSE(zep::io::path_exists(scratch_path("removed")));
}

TEST_F(ScratchFileTest, RecordUnitScratchFilesGoToo) {
  testing::internal::CaptureStdout();
  ASSERT_EQ(bind(35, "records", "SCRATCH+FTN"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(zep::io::path_exists(scratch_path("records")));
  EXPECT_EQ(c_fclos(35), 0);
  EXPECT_FALSE(zep::io::path_exists(scratch_path("records")));
}

TEST_F(ScratchFileTest, ProcessExitRemovesOnlyItsOwnScratchFiles) {
  // The parent's scratch file outlives a forked child that exits.
  ASSERT_EQ(bind(36, "parents"), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child's own scratch file, left bound, goes at its exit.
    const int rc = bind(37, "childs");
    const std::string mine =
        dir_.path() + "/" + std::to_string(static_cast<long>(::getpid())) + "_childs";
    std::exit(rc == 0 && zep::io::path_exists(mine) ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string childs =
      dir_.path() + "/" + std::to_string(static_cast<long>(child)) + "_childs";
  EXPECT_FALSE(zep::io::path_exists(childs));
  EXPECT_TRUE(zep::io::path_exists(scratch_path("parents")));
}

}  // namespace
