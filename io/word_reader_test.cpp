// Positioned reads of a unit's words: the words the word API reads, bounds
// of the file as it was when the reader was made, and units it cannot serve.
#include "io/word_reader.h"

#include <gtest/gtest.h>

#include <thread>

#include "io/test_support.h"

namespace {

using io_test::be_words;
using io_test::write_bytes;

class WordReaderTest : public io_test::IoTest {};

TEST_F(WordReaderTest, ReadsWhatTheWordApiReadsFromSeveralThreads) {
  const std::string path = dir_.file("words.bin");
  std::vector<uint32_t> words(5000);
  for (size_t i = 0; i < words.size(); ++i)
    words[i] = 0x80000000u ^ static_cast<uint32_t>(i * 7919);
  write_bytes(path, be_words(words));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(3), path.c_str(), "RND+R/O", 0), 0);
  ASSERT_GE(c_waopen2(3), 0);
  const zep::io::WordReader reader = zep::io::WordReader::of_unit(3);
  ASSERT_TRUE(reader.usable());
  EXPECT_EQ(reader.size(), 5000);

  std::vector<uint32_t> api(300), got(300);
  ASSERT_EQ(c_waread2(3, api.data(), 4701, 300), 300);
  ASSERT_TRUE(reader.read(got.data(), 4701, 300));
  EXPECT_EQ(got, api);
  // Ranges outside the file are refused whole, not cut.
  EXPECT_FALSE(reader.read(got.data(), 4701, 301));
  EXPECT_FALSE(reader.read(got.data(), 0, 1));
  EXPECT_FALSE(reader.read(got.data(), 5001, 0));
  EXPECT_TRUE(reader.read(got.data(), 5000, 0));

  // Two threads at once, each over the whole file in its own pieces.
  auto sweep = [&](size_t piece, bool *same) {
    std::vector<uint32_t> buf(piece);
    *same = true;
    for (size_t first = 0; first < words.size(); first += piece) {
      const size_t n = std::min(piece, words.size() - first);
      if (!reader.read(buf.data(), static_cast<int64_t>(first) + 1, static_cast<int64_t>(n)) ||
          !std::equal(buf.begin(), buf.begin() + static_cast<long>(n),
                      words.begin() + static_cast<long>(first)))
        *same = false;
    }
  };
  bool a = false, b = false;
  std::thread t([&] { sweep(17, &a); });
  sweep(256, &b);
  t.join();
  EXPECT_TRUE(a);
  EXPECT_TRUE(b);
  // The word API's file position is not the reader's to move.
  ASSERT_EQ(c_waread2(3, api.data(), 1, 2), 2);
  EXPECT_EQ(api[0], words[0]);

  EXPECT_EQ(c_waclos2(3), 0);
  EXPECT_FALSE(zep::io::WordReader::of_unit(3).usable());  // bound, not open
  EXPECT_EQ(c_fclos(3), 0);
  EXPECT_FALSE(zep::io::WordReader::of_unit(3).usable());  // not bound
}

TEST_F(WordReaderTest, FileCutShortUnderTheReaderIsAFailedReadNotAnEnd) {
  const std::string path = dir_.file("cut.bin");
  std::vector<uint32_t> words(4096, 0x01020304u);
  write_bytes(path, be_words(words));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(4), path.c_str(), "RND+R/O", 0), 0);
  ASSERT_GE(c_waopen2(4), 0);
  const zep::io::WordReader reader = zep::io::WordReader::of_unit(4);
  ASSERT_EQ(truncate(path.c_str(), 1000 * 4), 0);
  std::vector<uint32_t> buf(100, 0);
  EXPECT_TRUE(reader.read(buf.data(), 901, 100));
  EXPECT_EQ(buf[99], 0x01020304u);
  EXPECT_FALSE(reader.read(buf.data(), 901, 101));
  EXPECT_FALSE(reader.read(buf.data(), 2001, 10));
  EXPECT_EQ(c_waclos2(4), 0);
  EXPECT_EQ(c_fclos(4), 0);
}

}  // namespace
