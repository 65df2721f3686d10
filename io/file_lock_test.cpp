// The writer's lock: two opens of one file exclude each other even in one
// process, and closing the unit gives the lock up (after the page cache's
// write-back). Across processes: xdf/writer_lock_test.cpp.
#include "io/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
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

}  // namespace
