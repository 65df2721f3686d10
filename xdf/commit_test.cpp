// What a checkpoint writes and what a writer finds after another writer
// stopped between the directory and the header: the words on disk at each
// step, and no record overwritten by the next writer.
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

class Commit : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
  TempDir dir;
};

// A record whose key words are i, i+1, ... and whose 4 data words are i.
int put_record(int iun, uint32_t i) { return put_numbered_record(iun, i); }

// The data word of the record whose first key is i, or -1 when no such
// record is found (read through a fresh read-only open).
int64_t data_of(int iun, uint32_t i) {
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  keys[0] = i;
  const int h = c_xdfloc(iun, 0, keys, 16);
  if (h < 0) return -1;
  std::vector<uint32_t> buf = record_buffer(40);
  if (c_xdfget2(h, buf.data(), nullptr) < 0) return -1;
  if (buf[9 + 2] != i) return -2;  // the record's own first key
  return buf[9 + 20];
}

void checkpoint(int iun) {
  zep::xdf::settings().xdf_checkpoint = 1;
  ASSERT_EQ(c_xdfcls(iun), 0);
}

constexpr size_t kHeaderWords = 52;

TEST_F(Commit, CheckpointWritesTheNewPageAndTheLinkBeforeTheHeaderCountsIt) {
  const std::string path = dir.file("ckp.vkt");
  {
    OpenUnit u(41, path, "RND", "CREATE");
    for (uint32_t i = 1; i <= 256; ++i) ASSERT_EQ(put_record(41, i), 0);
  }
  OpenUnit u(41, path, "RND", "R-W");
  ASSERT_EQ(u.result(), 256);
  ASSERT_EQ(put_record(41, 257), 0);
  // The new page is on the file (empty, unlinked, uncounted) before any
  // checkpoint: nothing leads to it yet.
  std::vector<uint32_t> w = read_words(path);
  EXPECT_EQ(w[7], 1u);
  EXPECT_EQ(w[56], 0u);
  checkpoint(41);
  w = read_words(path);
  const uint32_t page2 = w[56];
  ASSERT_NE(page2, 0u);
  EXPECT_EQ(w[7], 2u);
  EXPECT_EQ(w[8], page2);
  EXPECT_EQ(w[13], 257u);
  EXPECT_EQ(w[14], 3u);                 // still held by its writer
  EXPECT_EQ(w[2 * page2 - 2 + 5], 1u);  // the new page's entry count
  EXPECT_EQ(w[4], w.size() / 2);        // the size counts every word written
}

// A writer stopped after its directory pages and before its header: the
// file says 250 records, its first page holds 256 and links to a second
// sound page nobody counts. The next writer keeps all 260 records the chain
// holds and appends past them.
TEST_F(Commit, NextWriterAppendsPastRecordsTheHeaderDoesNotCountYet) {
  const std::string path = dir.file("stopped.vkt");
  {
    OpenUnit u(42, path, "RND", "CREATE");
    for (uint32_t i = 1; i <= 250; ++i) ASSERT_EQ(put_record(42, i), 0);
  }
  const std::vector<uint32_t> before = read_words(path);
  {
    OpenUnit u(42, path, "RND", "R-W");
    for (uint32_t i = 251; i <= 260; ++i) ASSERT_EQ(put_record(42, i), 0);
  }
  std::vector<uint32_t> w = read_words(path);
  std::copy(before.begin(), before.begin() + kHeaderWords, w.begin());
  write_words(path, w);
  {
    OpenUnit u(42, path, "RND", "R-W");
    ASSERT_EQ(u.result(), 260);
    EXPECT_EQ(u.entry().header.valid_count, 260u);
    for (uint32_t i = 300; i < 305; ++i) ASSERT_EQ(put_record(42, i), 0);
  }
  OpenUnit r(43, path, "RND+R/O", "READ");
  EXPECT_EQ(r.result(), 265);
  for (uint32_t i = 1; i <= 260; ++i) ASSERT_EQ(data_of(43, i), i) << "record " << i;
  for (uint32_t i = 300; i < 305; ++i) EXPECT_EQ(data_of(43, i), i) << "record " << i;
  EXPECT_EQ(r.entry().header.dir_page_count, 2u);
}

// Stopped before the directory: the records appended are beyond every
// count, and the next writer may reuse their place.
TEST_F(Commit, RecordsNobodyCountsAreReplaced) {
  const std::string path = dir.file("early.vkt");
  {
    OpenUnit u(44, path, "RND", "CREATE");
    for (uint32_t i = 1; i <= 3; ++i) ASSERT_EQ(put_record(44, i), 0);
  }
  const std::vector<uint32_t> before = read_words(path);
  {
    OpenUnit u(44, path, "RND", "R-W");
    ASSERT_EQ(put_record(44, 4), 0);
  }
  std::vector<uint32_t> w = read_words(path);
  std::copy(before.begin(), before.begin() + kHeaderWords + 4616, w.begin());  // header and page
  write_words(path, w);
  {
    OpenUnit u(44, path, "RND", "R-W");
    EXPECT_EQ(u.entry().next_write, static_cast<int64_t>(before.size()) + 1);
    ASSERT_EQ(put_record(44, 5), 0);
  }
  EXPECT_EQ(read_words(path).size(), before.size() + 24);
  OpenUnit r(45, path, "RND+R/O", "READ");
  EXPECT_EQ(r.result(), 4);
  EXPECT_EQ(data_of(45, 4), -1);
  EXPECT_EQ(data_of(45, 5), 5);
}

// Stopped between a page's body and its first words: the first words (old
// entry count, old checksum) count only entries that were there; the
// checksum no longer matches, and the next writer writes the page again.
TEST_F(Commit, PageStoppedBetweenBodyAndFirstWordsIsWrittenAgain) {
  const std::string path = dir.file("torn.vkt");
  {
    OpenUnit u(46, path, "RND", "CREATE");
    for (uint32_t i = 1; i <= 3; ++i) ASSERT_EQ(put_record(46, i), 0);
  }
  const std::vector<uint32_t> before = read_words(path);
  {
    OpenUnit u(46, path, "RND", "R-W");
    ASSERT_EQ(put_record(46, 4), 0);
  }
  std::vector<uint32_t> w = read_words(path);
  // The old header and the old first words of the page over the new body.
  std::copy(before.begin(), before.begin() + kHeaderWords + 8, w.begin());
  write_words(path, w);
  uint32_t x = 0;
  for (size_t i = kHeaderWords + 4; i < kHeaderWords + 4616; ++i) x ^= w[i];
  EXPECT_NE(x, 0u);
  {
    OpenUnit u(46, path, "RND", "R-W");  // opened and closed, nothing put
    EXPECT_EQ(u.result(), 3);
  }
  w = read_words(path);
  x = 0;
  for (size_t i = kHeaderWords + 4; i < kHeaderWords + 4616; ++i) x ^= w[i];
  EXPECT_EQ(x, 0u);
  EXPECT_EQ(w[kHeaderWords + 5], 3u);  // the entry count the first words had
  {
    OpenUnit u(46, path, "RND", "R-W");
    ASSERT_EQ(put_record(46, 5), 0);
  }
  OpenUnit r(47, path, "RND+R/O", "READ");
  EXPECT_EQ(r.result(), 4);
  for (uint32_t i = 1; i <= 3; ++i) EXPECT_EQ(data_of(47, i), i);
  EXPECT_EQ(data_of(47, 5), 5);
}

}  // namespace
