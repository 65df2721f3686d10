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

// With the page cache on, the lock is on the file's own descriptor and is
// given up only after the close has written the cached pages back.
std::string cached_writer_scenario(const std::string &path) {
  std::string failures;
  auto check = [&failures](bool ok, const char *what) {
    if (!ok) failures += std::string(what) + "\n";
  };
  io_test::write_bytes(path, io_test::be_words(std::vector<uint32_t>(8, 0)));
  check(c_fnom(reinterpret_cast<void *>(intptr_t{25}), path.c_str(), "RND", 0) == 0, "bind 25");
  check(c_fnom(reinterpret_cast<void *>(intptr_t{26}), path.c_str(), "RND", 0) == 0, "bind 26");
  const int r25 = zep::io::file_index_of(25), r26 = zep::io::file_index_of(26);
  check(zep::io::lock_for_writing(r25) == WriterLock::kHeld, "25 takes the lock");
  check(zep::io::wa_slot_of_fd(zep::io::file_entry(r25).fd) >= 0, "locked descriptor is cached");
  uint32_t words[4] = {11, 12, 13, 14};
  check(c_wawrit2(25, words, 3, 4) == 4, "cached write");
  check(io_test::file_word(io_test::read_bytes(path), 2) == 0, "write still in the cache");
  check(zep::io::lock_for_writing(r26) == WriterLock::kBusy, "26 refused");
  check(c_waclos2(25) == 0, "close 25");
  check(io_test::file_word(io_test::read_bytes(path), 2) == 11, "pages written back");
  check(zep::io::lock_for_writing(r26) == WriterLock::kHeld, "26 takes the lock");
  c_fclos(25);
  c_waclos2(26);
  c_fclos(26);
  return failures;
}

TEST_F(FileLockTest, WithThePageCacheTheLockOutlivesTheWriteBack) {
  const std::string path = dir_.file("cached.dat");
  IO_RUN_FRESH("1 2", [&] { return cached_writer_scenario(path); });
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
