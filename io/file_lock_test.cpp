// The writer's lock: two opens of one file exclude each other (in one
// process as well as across processes), closing the unit gives the lock
// up, and a writer killed outright takes it with it.
#include "io/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "io/test_support.h"

namespace {

using zep::io::WriterLock;

class FileLockTest : public io_test::IoTest {
 protected:
  int bind(int unit, const std::string &path, const char *attributes = "RND") {
    return c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(unit)), path.c_str(), attributes,
                  0);
  }
  static int row(int unit) { return zep::io::file_index_of(unit); }
};

TEST_F(FileLockTest, TwoUnitsOnOneFileExcludeEachOtherUntilTheFirstCloses) {
  const std::string path = dir_.file("held.dat");
  io_test::write_text(path, "0123456789abcdef");
  ASSERT_EQ(bind(21, path), 0);
  ASSERT_EQ(bind(22, path), 0);
  EXPECT_EQ(zep::io::lock_for_writing(row(21)), WriterLock::kHeld);
  EXPECT_TRUE(zep::io::file_entry(row(21)).write_locked);
  EXPECT_EQ(zep::io::lock_for_writing(row(21)), WriterLock::kHeld);  // asked again: still held
  EXPECT_EQ(zep::io::lock_for_writing(row(22)), WriterLock::kBusy);
  EXPECT_FALSE(zep::io::file_entry(row(22)).write_locked);

  // Giving it up by hand, then closing the word-addressable file.
  zep::io::unlock_writer(row(21));
  EXPECT_EQ(zep::io::lock_for_writing(row(22)), WriterLock::kHeld);
  EXPECT_EQ(zep::io::lock_for_writing(row(21)), WriterLock::kBusy);
  ASSERT_EQ(c_waclos2(22), 0);
  EXPECT_FALSE(zep::io::file_entry(row(22)).write_locked);
  EXPECT_EQ(zep::io::lock_for_writing(row(21)), WriterLock::kHeld);

  // Releasing the unit gives it up as well.
  EXPECT_EQ(c_fclos(21), 0);
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(zep::io::lock_descriptor(fd), WriterLock::kHeld);
  zep::io::unlock_descriptor(fd);
  ::close(fd);
}

TEST_F(FileLockTest, RowsWithoutTheirOwnDescriptorTakeNoLock) {
  EXPECT_EQ(zep::io::lock_for_writing(-1), WriterLock::kUnsupported);
  EXPECT_EQ(zep::io::lock_for_writing(zep::io::kMaxFiles), WriterLock::kUnsupported);
  EXPECT_EQ(zep::io::lock_descriptor(-1), WriterLock::kUnsupported);
  // A bound row whose file is not open (a record unit) has nothing to lock.
  testing::internal::CaptureStdout();
  ASSERT_EQ(bind(23, dir_.file("records.dat"), "FTN"), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(zep::io::lock_for_writing(row(23)), WriterLock::kUnsupported);
}

TEST_F(FileLockTest, AKilledHolderLeavesTheLockFree) {
  const std::string path = dir_.file("killed.dat");
  io_test::write_text(path, "abcd");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(path.c_str(), O_RDWR);
    const char ok = zep::io::lock_descriptor(fd) == WriterLock::kHeld ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) std::_Exit(3);
    ::pause();
    std::_Exit(0);
  }
  ::close(ready[1]);
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(ok, 'y');

  ASSERT_EQ(bind(24, path), 0);
  EXPECT_EQ(zep::io::lock_for_writing(row(24)), WriterLock::kBusy);
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(zep::io::lock_for_writing(row(24)), WriterLock::kHeld);
}

}  // namespace
