// Word-addressable files without the page cache: binding and opening,
// byte order on disk, reads and writes around the end of a file, sizes,
// read-only units, and the failure messages of the word API.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "io/test_support.h"

namespace {

using io_test::be_words;
using io_test::file_word;
using io_test::read_bytes;
using io_test::write_bytes;

class WordFileTest : public io_test::IoTest {};

TEST_F(WordFileTest, ReadOnlyBindingReadsBigEndianWordsInHostOrder) {
  const std::string path = dir_.file("input.vkt");
  write_bytes(path, be_words({0x01020304u, 0xA0B0C0D0u, 7u, 8u, 9u}));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(1), path.c_str(), "RND+R/O", 0), 0);
  const int idx = zep::io::file_index_of(1);
  ASSERT_GE(idx, 0);
  const zep::io::FileEntry &e = zep::io::file_entry(idx);
  EXPECT_EQ(e.file_name, path);
  EXPECT_TRUE(e.open);
  EXPECT_TRUE(e.has(zep::io::kAttrReadOnly | zep::io::kAttrOld));
  EXPECT_TRUE(e.has(zep::io::kAttrRnd));
  EXPECT_FALSE(e.has(zep::io::kAttrWa));
  EXPECT_EQ(e.size, 5);
  EXPECT_EQ(e.esize, 5);
  EXPECT_EQ(c_wasize(1), 5);

  ASSERT_GE(c_waopen2(1), 0);
  EXPECT_TRUE(zep::io::file_entry(idx).has(zep::io::kAttrWa));
  uint32_t buf[3] = {0, 0, 0};
  EXPECT_EQ(c_waread2(1, buf, 1, 2), 2);
  EXPECT_EQ(buf[0], 0x01020304u);
  EXPECT_EQ(buf[1], 0xA0B0C0D0u);
  EXPECT_EQ(c_waread2(1, buf, 4, 3), 2);
  EXPECT_EQ(buf[0], 8u);
  EXPECT_EQ(buf[1], 9u);
  EXPECT_EQ(c_waclos2(1), 0);
  EXPECT_FALSE(zep::io::file_entry(idx).open);
  EXPECT_EQ(c_fclos(1), 0);
  EXPECT_LT(zep::io::file_index_of(1), 0);
}

TEST_F(WordFileTest, WritesStoreBigEndianAndLeaveTheCallerBufferUnchanged) {
  const std::string path = dir_.file("out.dat");
  int unit = 0;
  ASSERT_EQ(c_fnom(&unit, path.c_str(), "RND", 0), 0);
  EXPECT_EQ(unit, 999);
  uint32_t data[3] = {0x11223344u, 0xCAFEBABEu, 5u};
  EXPECT_EQ(c_wawrit2(unit, data, 1, 3), 3);
  EXPECT_EQ(data[0], 0x11223344u);
  EXPECT_EQ(data[1], 0xCAFEBABEu);
  EXPECT_EQ(c_wasize(unit), 3);
  uint32_t back[3] = {};
  EXPECT_EQ(c_waread2(unit, back, 1, 3), 3);
  EXPECT_EQ(0, std::memcmp(back, data, sizeof data));
  EXPECT_EQ(c_waclos2(unit), 0);
  EXPECT_EQ(c_fclos(unit), 0);
  const auto bytes = read_bytes(path);
  ASSERT_EQ(bytes.size(), 12u);
  EXPECT_EQ(bytes[0], 0x11);
  EXPECT_EQ(bytes[3], 0x44);
  EXPECT_EQ(file_word(bytes, 1), 0xCAFEBABEu);
}

TEST_F(WordFileTest, ReadsAroundTheEndOfTheFile) {
  const std::string path = dir_.file("hundred.dat");
  std::vector<uint32_t> words(100);
  for (uint32_t i = 0; i < 100; ++i) words[i] = i + 1;
  write_bytes(path, be_words(words));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(20), path.c_str(), "RND+R/O", 0), 0);
  std::vector<uint32_t> buf(120, 0xDEADBEEFu);
  EXPECT_EQ(c_waread2(20, buf.data(), 91, 100), 10);  // esize - 9
  EXPECT_EQ(buf[0], 91u);
  EXPECT_EQ(buf[9], 100u);
  EXPECT_EQ(buf[10], 0xDEADBEEFu);                     // nothing past the words read
  EXPECT_EQ(c_waread2(20, buf.data(), 101, 100), 0);   // esize + 1
  EXPECT_EQ(c_waread2(20, buf.data(), 102, 100), 0);   // esize + 2
  EXPECT_EQ(c_waread2(20, buf.data(), 103, 100), -2);  // esize + 3
  EXPECT_EQ(c_waread2(20, buf.data(), 50, 0), 0);
  EXPECT_EQ(c_waread2(20, buf.data(), 50, -4), 0);
  EXPECT_EQ(c_waread2(20, buf.data(), 0xFFFFFFFFu, 1), -2);

  testing::internal::CaptureStderr();
  EXPECT_EQ(c_waread(20, buf.data(), 103, 1), -2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_waread error: attempt to read beyond EOF, of file " + path +
                "\n                addr = 103, EOF = 100\n");
}

TEST_F(WordFileTest, WritePastTheEndFillsTheGapWithZeros) {
  const std::string path = dir_.file("gap.dat");
  write_bytes(path, be_words({1, 2, 3, 4}));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(21), path.c_str(), "RND", 0), 0);
  uint32_t w[2] = {0xAAAAAAAAu, 0xBBBBBBBBu};
  EXPECT_EQ(c_wawrit2(21, w, 14, 2), 2);  // size + 10
  EXPECT_EQ(c_wasize(21), 15);
  ASSERT_EQ(c_waclos2(21), 0);
  const auto bytes = read_bytes(path);
  ASSERT_EQ(bytes.size(), 60u);
  for (size_t i = 4; i < 13; ++i) EXPECT_EQ(file_word(bytes, i), 0u) << i;
  EXPECT_EQ(file_word(bytes, 3), 4u);
  EXPECT_EQ(file_word(bytes, 13), 0xAAAAAAAAu);
  EXPECT_EQ(file_word(bytes, 14), 0xBBBBBBBBu);
}

TEST_F(WordFileTest, WriteFarPastTheEndEndsTheProcess) {
  const std::string path = dir_.file("far.dat");
  write_bytes(path, be_words({1, 2}));
  EXPECT_EXIT(
      {
        c_fnom(reinterpret_cast<void *>(22), path.c_str(), "RND", 0);
        uint32_t w = 1;
        c_wawrit2(22, &w, 2 + 2049, 1);
      },
      testing::ExitedWithCode(1), "c_wawrit error: attempt to write beyond EOF\\+2048");
  // The limit itself is allowed.
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(22), path.c_str(), "RND", 0), 0);
  uint32_t w = 9;
  EXPECT_EQ(c_wawrit2(22, &w, 2 + 2048, 1), 1);
  EXPECT_EQ(c_wasize(22), 2050);
}

TEST_F(WordFileTest, ReadOnlyUnitRefusesWrites) {
  const std::string path = dir_.file("ro.dat");
  write_bytes(path, be_words({1, 2, 3}));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(23), path.c_str(), "RND+R/O", 0), 0);
  uint32_t w[2] = {0x01020304u, 0x05060708u};
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_wawrit2(23, w, 1, 2), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_wawrit error: unit 23 ,file= " + path + " is READ ONLY\n");
  EXPECT_EQ(w[0], 0x01020304u);
  EXPECT_EQ(w[1], 0x05060708u);
  EXPECT_EQ(file_word(read_bytes(path), 0), 1u);
}

TEST_F(WordFileTest, UnitsNotBoundOrNotOpen) {
  uint32_t w = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_waread2(77, &w, 1, 1), -1);
  EXPECT_EQ(c_wawrit2(77, &w, 1, 1), -1);
  EXPECT_EQ(c_waclos2(77), -1);
  EXPECT_EQ(c_wasize(77), -1);
  EXPECT_EQ(c_numblks(77), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_waread error: unit 77 is not associated with any file\n"
            "c_wawrit error: unit 77 is not associated with any file\n"
            "c_waclos error: unit 77 is not associated with any file\n"
            "c_wasize error: unit 77 is not associated with any file\n"
            "c_wasize error: unit 77 is not associated with any file\n");

  const std::string path = dir_.file("closed.dat");
  write_bytes(path, be_words({1, 2, 3}));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(24), path.c_str(), "RND", 0), 0);
  ASSERT_EQ(c_waclos2(24), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_waread2(24, &w, 1, 1), -1);
  EXPECT_EQ(c_wawrit2(24, &w, 1, 1), -1);
  EXPECT_EQ(c_waclos2(24), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_waread error: unit 24 is not open\n"
            "c_wawrit error: unit 24 is not open\n"
            "c_waclos error: unit 24 is not open\n");
  // The size of a closed unit is measured by opening it for the query.
  EXPECT_EQ(c_wasize(24), 3);
  EXPECT_FALSE(zep::io::file_entry(zep::io::file_index_of(24)).open);
}

TEST_F(WordFileTest, BlockCounts) {
  const std::string a = dir_.file("a257.dat"), b = dir_.file("empty.dat");
  write_bytes(a, be_words(std::vector<uint32_t>(257, 1)));
  write_bytes(b, {});
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(25), a.c_str(), "RND+R/O", 0), 0);
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(26), b.c_str(), "RND+R/O", 0), 0);
  EXPECT_EQ(c_numblks(25), 2);
  EXPECT_EQ(c_numblks(26), 0);
  uint32_t w = 5;
  EXPECT_EQ(c_waread2(26, &w, 1, 1), 0);
  EXPECT_EQ(w, 5u);
}

TEST_F(WordFileTest, OpeningAnUnboundUnitNamesItsOwnFile) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  const int fd = c_waopen2(27);
  ASSERT_GE(fd, 0);
  const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(27));
  EXPECT_EQ(e.file_name, "Wafile27");
  EXPECT_TRUE(e.has(zep::io::kAttrRnd | zep::io::kAttrWa));
  EXPECT_TRUE(zep::io::path_exists("Wafile27"));
  // A second open returns the same descriptor with a warning.
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_waopen2(27), fd);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_waopen warning: unit 27 already open as Wafile27\n");
  testing::internal::CaptureStderr();
  d_wafdt_();
  const std::string dump = testing::internal::GetCapturedStderr();
  EXPECT_NE(dump.find("\n   DUMP OF WA CONTROL TABLE \nwaindex="), std::string::npos) << dump;
  EXPECT_NE(dump.find(", fd=" + std::to_string(fd) + ", npages=0, offset=0\n"), std::string::npos)
      << dump;
  EXPECT_EQ(c_waclos2(27), 0);
  EXPECT_FALSE(zep::io::file_entry(zep::io::file_index_of(27)).has(zep::io::kAttrWa));
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(WordFileTest, RecordUnitsAreNotWordAddressable) {
  testing::internal::CaptureStdout();
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(28), dir_.file("seq.txt").c_str(), "FTN", 0), 0);
  testing::internal::GetCapturedStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_waopen2(28), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_waopen error: waopen needs a file with the RND or WA type\n");
}

TEST_F(WordFileTest, WordsAlreadyInDiskOrderGoOutAsTheyAre) {
  // A buffer of host-order words followed by words already in disk order,
  // as a record packed in file byte order: the file holds every word
  // big-endian, and the buffer is as it was. With the page cache, the
  // transfer crosses several frames and the second host-order part is cut
  // in the middle of a frame.
  const std::string path = dir_.file("mixed.dat");
  auto scenario = [&]() {
    std::string failures;
    int unit = 0;
    if (c_fnom(&unit, path.c_str(), "RND", 0) != 0) return std::string("c_fnom failed\n");
    constexpr int kWords = 2600, kHost = 7;
    std::vector<uint32_t> value(kWords), buf(kWords);
    for (int i = 0; i < kWords; ++i) {
      value[i] = 0x01000193u * static_cast<uint32_t>(i + 1) ^ 0xA5C3u;
      buf[i] = i < kHost ? value[i] : zep::byte_swap32(value[i]);
    }
    const std::vector<uint32_t> before = buf;
    if (zep::io::write_words(unit, buf.data(), 1, kWords, kHost) != kWords)
      failures += "short write\n";
    // Words past the end count as host order: none is taken for disk order.
    std::vector<uint32_t> tail(value.begin(), value.begin() + 3);
    if (zep::io::write_words(unit, tail.data(), kWords + 1, 3, 99) != 3) failures += "short tail\n";
    if (buf != before) failures += "buffer changed\n";
    if (c_fclos(unit) != 0) failures += "c_fclos failed\n";
    const auto bytes = read_bytes(path);
    if (bytes.size() != 4u * (kWords + 3)) return failures + "wrong size\n";
    for (int i = 0; i < kWords + 3; ++i)
      if (file_word(bytes, i) != value[i < kWords ? i : i - kWords])
        return failures + "word " + std::to_string(i) + " differs\n";
    return failures;
  };
  EXPECT_EQ(scenario(), "");
  std::remove(path.c_str());
  IO_RUN_FRESH("1 2", scenario);
}

TEST_F(WordFileTest, ReleasingAnOpenUnitWritesItsPagesBack) {
  const std::string path = dir_.file("released.dat");
  write_bytes(path, be_words({1, 2, 3}));
  auto scenario = [&]() {
    std::string failures;
    testing::internal::CaptureStderr();
    c_fnom(reinterpret_cast<void *>(29), path.c_str(), "RND", 0);
    testing::internal::GetCapturedStderr();
    uint32_t w = 0x0BADCAFEu;
    c_wawrit2(29, &w, 2, 1);
    const int fd = zep::io::file_entry(zep::io::file_index_of(29)).fd;
    if (c_fclos(29) != 0) failures += "c_fclos failed\n";
    if (zep::io::wa_slot_of_fd(fd) >= 0) failures += "slot left behind\n";
    if (file_word(read_bytes(path), 1) != 0x0BADCAFEu) failures += "dirty page lost\n";
    return failures;
  };
  IO_RUN_FRESH("1 1", scenario);
}

TEST_F(WordFileTest, OffsetsAreSixtyFourBitAndOversizedFilesAreRefused) {
  // Sparse files: the largest addressable size, and one word more.
  const std::string fits = dir_.file("fits.dat"), over = dir_.file("over.dat");
  const off_t max_words = 0x7FFFFFFF;
  {
    FILE *f = std::fopen(fits.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    f = std::fopen(over.c_str(), "wb");
    std::fclose(f);
  }
  if (truncate(fits.c_str(), max_words * 4) != 0 ||
      truncate(over.c_str(), (max_words + 1) * 4) != 0)
    GTEST_SKIP() << "no sparse files here";
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(90), fits.c_str(), "RND", 0), 0);
  EXPECT_EQ(c_wasize(90), 0x7FFFFFFF);
  uint32_t w[2] = {0x5A5A5A5Au, 0xA5A5A5A5u};
  EXPECT_EQ(c_wawrit2(90, w, 0x7FFFFFFEu, 2), 2);
  uint32_t back[4] = {0, 0, 7, 7};
  EXPECT_EQ(c_waread2(90, back, 0x7FFFFFFEu, 4), 2);
  EXPECT_EQ(back[0], 0x5A5A5A5Au);
  EXPECT_EQ(back[1], 0xA5A5A5A5u);
  EXPECT_EQ(back[2], 7u);
  // Nothing may be written past the last addressable word.
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_wawrit2(90, w, 0x7FFFFFFFu, 2), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("last addressable word"),
            std::string::npos);
  EXPECT_EQ(c_waclos2(90), 0);
  struct stat st;
  ASSERT_EQ(stat(fits.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, max_words * 4);
  const auto tail = [&] {
    FILE *f = std::fopen(fits.c_str(), "rb");
    unsigned char b[8] = {};
    fseeko(f, (max_words - 2) * 4, SEEK_SET);
    EXPECT_EQ(std::fread(b, 1, 8, f), 8u);
    std::fclose(f);
    return std::vector<unsigned char>(b, b + 8);
  }();
  EXPECT_EQ(file_word(tail, 0), 0x5A5A5A5Au);

  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(91), over.c_str(), "RND+R/O", 0), -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("qqcopen error: file " + over + " is too large"), std::string::npos) << err;
  EXPECT_LT(zep::io::file_index_of(91), 0);
  for (const auto &slot : zep::io::wa_table()) EXPECT_EQ(slot.fd, -1);
}

TEST_F(WordFileTest, FileCutShortUnderAnOpenUnitEndsTheProcess) {
  const std::string path = dir_.file("shrinks.dat");
  write_bytes(path, be_words(std::vector<uint32_t>(10, 3)));
  EXPECT_EXIT(
      {
        c_fnom(reinterpret_cast<void *>(92), path.c_str(), "RND", 0);
        if (truncate(path.c_str(), 8) != 0) std::_Exit(5);
        uint32_t buf[10];
        c_waread2(92, buf, 1, 10);
      },
      testing::ExitedWithCode(1), "qqcward error: tried to read 40 bytes, only read 8\n");
  write_bytes(path, be_words(std::vector<uint32_t>(10, 3)));
  setenv("WA_CONFIG", "1 1", 1);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        c_fnom(reinterpret_cast<void *>(93), path.c_str(), "RND", 0);
        if (truncate(path.c_str(), 8) != 0) std::_Exit(5);
        uint32_t buf[10];
        c_waread2(93, buf, 1, 10);
      },
      testing::ExitedWithCode(1),
      "wa_page_read error: cannot read page from file [0-9]+,fd=[0-9]+\n  tried to get 4096 bytes, "
      "got 8\n");
  unsetenv("WA_CONFIG");
}

}  // namespace
