// One writer per directory file: a unit opened for writing (or creating)
// holds the file's lock until its close, a second writer is refused at open
// whether or not the first has checkpointed, a reader is never refused and
// never changes the file, and the rw_flag left by a writer that was killed
// does not refuse the next one.
#include <signal.h>
#include <sys/wait.h>

#include "io/file_lock.h"
#include "io/file_table.h"
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

constexpr const char *kInUse = "currently used by another application in write mode";

class WriterLock : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
  void TearDown() override { c_xdfopt("ERRTOLR", "ERROR", 0); }

  static int open_unit(int iun, const char *mode) {
    StdKeys k;
    return c_xdfopn(iun, mode, k.pri, 16, k.aux, 2, "STDR");
  }
  // Appends a record whose keys are i, i+1, ... and data 4 words of i.
  static int put(int iun, uint32_t i) { return put_numbered_record(iun, i); }
  static bool row_locked(int iun) {
    const int row = zep::io::file_index_of(iun);
    return row >= 0 && zep::io::file_entry(row).write_locked;
  }
  // Makes a closed file of n records.
  void make(const std::string &path, int n) {
    ASSERT_EQ(bind(70, path, "RND"), 0);
    ASSERT_EQ(open_unit(70, "CREATE"), 0);
    for (int i = 1; i <= n; ++i) ASSERT_EQ(put(70, static_cast<uint32_t>(i)), 0);
    ASSERT_EQ(c_xdfcls(70), 0);
    ASSERT_EQ(c_fclos(70), 0);
  }
  TempDir dir;
};

TEST_F(WriterLock, ASecondWriterIsRefusedBeforeAnyCheckpointAndAReaderIsNot) {
  const std::string path = dir.file("busy.vkt");
  make(path, 2);
  ASSERT_EQ(bind(71, path, "RND"), 0);
  ASSERT_EQ(open_unit(71, "APPEND"), 2);
  EXPECT_TRUE(row_locked(71));
  ASSERT_EQ(put(71, 3), 0);  // nothing written back yet: the flag on disk is still 0
  const std::vector<uint32_t> before = read_words(path);
  EXPECT_EQ(before[14], 0u);

  c_xdfopt("ERRTOLR", "FATAL", 0);
  ASSERT_EQ(bind(72, path, "RND"), 0);
  for (const char *mode : {"WRITE", "R-W", "APPEND", "CREATE"}) {
    SCOPED_TRACE(mode);
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_unit(72, mode), zep::xdf::ERR_IN_USE);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("file (unit=72) " + std::string(kInUse)),
              std::string::npos);
    EXPECT_EQ(zep::xdf::file_index(72), -1);
    EXPECT_FALSE(row_locked(72));
  }
  EXPECT_EQ(read_words(path), before);  // the refused CREATE wrote nothing

  // A reader, bound read-only or not, opens and takes no lock.
  ASSERT_EQ(bind(73, path, "RND+R/O"), 0);
  EXPECT_EQ(open_unit(73, "READ"), 2);
  EXPECT_FALSE(row_locked(73));
  EXPECT_EQ(c_xdfcls(73), 0);
  EXPECT_EQ(open_unit(72, "READ"), 2);
  EXPECT_FALSE(row_locked(72));
  EXPECT_EQ(c_xdfcls(72), 0);
  EXPECT_EQ(read_words(path), before);

  // The first writer's close gives the file to the next.
  EXPECT_EQ(c_xdfcls(71), 0);
  EXPECT_FALSE(row_locked(71));
  EXPECT_EQ(open_unit(72, "R-W"), 3);
  EXPECT_TRUE(row_locked(72));
  EXPECT_EQ(c_xdfcls(72), 0);
  c_fclos(71);
  c_fclos(72);
  c_fclos(73);
}

TEST_F(WriterLock, AtTheDefaultToleranceTheSecondWriterEndsItsProcess) {
  const std::string path = dir.file("ends.vkt");
  make(path, 1);
  ASSERT_EQ(bind(74, path, "RND"), 0);
  ASSERT_EQ(open_unit(74, "R-W"), 1);
  GTEST_FLAG_SET(death_test_style, "fast");  // the child shares this process's open file
  EXPECT_EXIT(
      {
        bind(75, path, "RND");
        open_unit(75, "WRITE");
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(21), kInUse);
  EXPECT_EQ(c_xdfcls(74), 0);
  c_fclos(74);
}

TEST_F(WriterLock, AnOpenThatFailsOrEndsUpReadOnlyGivesTheLockBack) {
  const std::string path = dir.file("damaged.vkt");
  make(path, 1);
  std::vector<uint32_t> w = read_words(path);
  w[52 + 1] = 5000;  // the first directory page does not state its own address
  write_words(path, w);
  ASSERT_EQ(bind(76, path, "RND"), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_unit(76, "R-W"), zep::xdf::ERR_DAMAGED);
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(row_locked(76));
  c_fclos(76);

  // A random file opened through a sequential binding can only be read.
  const std::string seq = dir.file("seq.vkt");
  make(seq, 2);
  ASSERT_EQ(bind(77, seq, "RND+SEQ"), 0);
  ASSERT_EQ(open_unit(77, "R-W"), 2);
  EXPECT_FALSE(row_locked(77));
  ASSERT_EQ(bind(78, seq, "RND"), 0);
  EXPECT_EQ(open_unit(78, "R-W"), 2);
  EXPECT_TRUE(row_locked(78));
  EXPECT_EQ(c_xdfcls(78), 0);
  EXPECT_EQ(c_xdfcls(77), 0);
  c_fclos(77);
  c_fclos(78);
}

TEST_F(WriterLock, AKilledWritersFlagDoesNotRefuseTheNextWriter) {
  const std::string path = dir.file("killed.vkt");
  make(path, 2);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The writer: appends, checkpoints (the flag reaches the disk), waits.
    ::close(ready[0]);
    char ok = 'n';
    if (bind(80, path, "RND") == 0 && open_unit(80, "APPEND") == 2 && put(80, 3) == 0) {
      zep::xdf::settings().xdf_checkpoint = 1;
      if (c_xdfcls(80) == 0) ok = 'y';
    }
    if (::write(ready[1], &ok, 1) != 1) std::_Exit(3);
    ::pause();
    std::_Exit(0);
  }
  ::close(ready[1]);
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(ok, 'y');
  const std::vector<uint32_t> checkpointed = read_words(path);
  EXPECT_EQ(checkpointed[14], 4u);  // APPEND, on disk
  EXPECT_EQ(checkpointed[13], 3u);

  c_xdfopt("ERRTOLR", "FATAL", 0);
  ASSERT_EQ(bind(81, path, "RND"), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_unit(81, "R-W"), zep::xdf::ERR_IN_USE);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(kInUse), std::string::npos);
  ASSERT_EQ(bind(82, path, "RND+R/O"), 0);
  EXPECT_EQ(open_unit(82, "READ"), 3);
  EXPECT_EQ(c_xdfcls(82), 0);
  EXPECT_EQ(read_words(path), checkpointed);

  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(read_words(path)[14], 4u);  // left behind by the dead writer
  EXPECT_EQ(open_unit(81, "R-W"), 3);
  EXPECT_TRUE(row_locked(81));
  EXPECT_EQ(put(81, 4), 0);
  EXPECT_EQ(c_xdfcls(81), 0);
  const std::vector<uint32_t> after = read_words(path);
  EXPECT_EQ(after[14], 0u);
  EXPECT_EQ(after[13], 4u);
  c_fclos(81);
  c_fclos(82);
}

}  // namespace
