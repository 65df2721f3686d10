// Files whose header, directory or records disagree with each other: the
// open keeps every record the directory chain really holds, each
// disagreement is reported as an error that does not end the process, and a
// writer that opens such a file appends after the last object and leaves a
// header that states the chain.
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

constexpr size_t kHeaderWords = 52;
constexpr size_t kPageWords = 4616;
constexpr size_t kFirstEntry = kHeaderWords + 8;
constexpr size_t kEntryWords = 18;
constexpr size_t kRecordWords = 24;  // 20 key words and 4 data words

size_t entry_at(size_t page, size_t i) { return page + 8 + kEntryWords * i; }

class Tolerant : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }

  // A random file of n records whose data words all hold the record's number
  // (1 to n); 257 records and more make a second directory page.
  std::vector<uint32_t> make(const std::string &path, uint32_t n) {
    {
      OpenUnit u(71, path, "RND", "CREATE");
      for (uint32_t i = 1; i <= n; ++i) put(71, i);
    }
    return read_words(path);
  }

  static void put(int iun, uint32_t i) {
    std::vector<uint32_t> buf = record_buffer(kRecordWords);
    uint32_t keys[16] = {i};
    ASSERT_EQ(c_xdfini(iun, buf.data(), 1, keys, 16, nullptr, 0), 0);
    uint32_t d[4] = {i, i, i, i};
    ASSERT_EQ(c_xdfadd(buf.data(), d, 4, 32, 0), 0);
    ASSERT_EQ(c_xdfput(iun, 0, buf.data()), 0);
  }

  static void fix_checksum(std::vector<uint32_t> &w, size_t page) {
    w[page + 6] = 0;
    uint32_t x = 0;
    for (size_t i = page + 4; i < page + kPageWords; ++i) x ^= w[i];
    w[page + 6] = x;
  }

  // What reading the file gives: the open's result, the number of each
  // record found (0 for one whose read failed), and the messages.
  struct Read {
    int open_rc = 0;
    std::vector<uint32_t> records;
    std::string err;
  };
  static Read read_all(const std::string &path) {
    Read r;
    testing::internal::CaptureStderr();
    {
      OpenUnit u(72, path, "RND+R/O", "READ");
      r.open_rc = u.result();
      uint32_t keys[16];
      for (auto &k : keys) k = 0xFFFFFFFFu;
      int h = r.open_rc >= 0 ? c_xdfloc(72, 0, keys, 16) : -1;
      for (; h > 0 && r.records.size() < 1000; h = c_xdfloc(72, h, nullptr, 0)) {
        std::vector<uint32_t> buf = record_buffer(kRecordWords);
        const bool ok = c_xdfget2(h, buf.data(), nullptr) == 0 && buf[9 + 20] == buf[9 + 23];
        r.records.push_back(ok ? buf[9 + 20] : 0);
      }
    }
    r.err = testing::internal::GetCapturedStderr();
    return r;
  }

  static std::vector<uint32_t> numbers(uint32_t first, uint32_t last) {
    std::vector<uint32_t> v;
    for (uint32_t i = first; i <= last; ++i) v.push_back(i);
    return v;
  }

  // `err` holds `text` in a report of the open with severity `level`.
  static void expect_says(const std::string &err, const char *level, const std::string &text) {
    const size_t at = err.find(text);
    ASSERT_NE(at, std::string::npos) << err;
    const size_t line = err.rfind("*** ", at);
    const std::string head = std::string("*** ") + level + " #33 from module c_xdfopn: ";
    ASSERT_NE(line, std::string::npos) << err;
    EXPECT_EQ(err.compare(line, head.size(), head), 0) << err.substr(line, at - line + text.size());
  }

  TempDir dir;
};

TEST_F(Tolerant, ChainLeavingTheFileKeepsTheFirstPages) {
  const std::string path = dir.file("chain.vkt");
  std::vector<uint32_t> w = make(path, 300);
  const size_t second = 2 * static_cast<size_t>(w[kHeaderWords + 4]) - 2;
  // The second page cut off: its 44 records are gone, the first 256 stay.
  w.resize(second + 100);
  write_words(path, w);
  Read r = read_all(path);
  EXPECT_EQ(r.open_rc, 256);
  EXPECT_EQ(r.records, numbers(1, 256));
  expect_says(r.err, "ERROR", "number of directory pages is incorrect\n file in error: ");
  expect_says(r.err, "ERROR", "256 valid records in the directory, 300 in the header");
  // A second page that does not say where it is.
  const std::string moved = dir.file("moved.vkt");
  w = make(moved, 300);
  w[second + 1] += 1;
  write_words(moved, w);
  r = read_all(moved);
  EXPECT_EQ(r.records, numbers(1, 256));
  expect_says(r.err, "ERROR", "directory page 1 holds 44 entries, directory is probably dammaged");
}

// A writer stopped after its new page was linked but before the header was
// written: the header counts one page, the chain holds two.
TEST_F(Tolerant, PagesPastTheHeadersCountAreFollowed) {
  const std::string path = dir.file("stale.vkt");
  std::vector<uint32_t> w = make(path, 300);
  const uint32_t second_unit = w[kHeaderWords + 4];
  const uint32_t sound_end = w[4];
  w[7] = 1;
  w[8] = static_cast<uint32_t>(kHeaderWords / 2 + 1);
  w[4] = second_unit - 1;
  w[13] = 256;
  write_words(path, w);
  // Nothing is lost: warnings, no error.
  const int errors = zep::xdf::errors_reported();
  Read r = read_all(path);
  EXPECT_EQ(zep::xdf::errors_reported(), errors);
  EXPECT_EQ(r.open_rc, 300);
  EXPECT_EQ(r.records, numbers(1, 300));
  expect_says(r.err, "WARNING", "number of directory pages is incorrect");
  expect_says(r.err, "WARNING", "the directory points to unit " + std::to_string(sound_end));
  expect_says(r.err, "WARNING", "300 valid records in the directory, 256 in the header");

  // The page past the count must be whole: with a wrong checksum it is not
  // taken, and the link to it is reported.
  w[2 * static_cast<size_t>(second_unit) - 2 + 8 + 5] ^= 1;
  write_words(path, w);
  r = read_all(path);
  EXPECT_EQ(r.open_rc, 256);
  EXPECT_EQ(r.records, numbers(1, 256));
  EXPECT_NE(r.err.find("incorrect checksum in page 1"), std::string::npos) << r.err;
}

TEST_F(Tolerant, WriterOfADamagedFileAppendsAfterItsData) {
  const std::string path = dir.file("append.vkt");
  std::vector<uint32_t> w = make(path, 3);
  const size_t sound_words = w.size();
  // The header counts two pages and 1000 units more than the file holds.
  w[7] = 2;
  w[4] += 1000;
  write_words(path, w);
  testing::internal::CaptureStderr();
  {
    OpenUnit u(73, path, "RND", "APPEND");
    EXPECT_EQ(u.result(), 3);
    put(73, 4);
  }
  const std::string err = testing::internal::GetCapturedStderr();
  expect_says(err, "ERROR", "number of directory pages is incorrect");
  expect_says(
      err, "WARNING",
      "file size of " + std::to_string(w[4]) + " units in the header is larger than the file");
  const std::vector<uint32_t> after = read_words(path);
  // The new record follows the old ones, and the header states the file.
  ASSERT_EQ(after.size(), sound_words + kRecordWords);
  EXPECT_EQ(after[7], 1u);
  EXPECT_EQ(after[4], after.size() / 2);
  EXPECT_EQ(after[13], 4u);
  EXPECT_EQ(after[entry_at(kHeaderWords, 3) + 1], sound_words / 2 + 1);
  const Read r = read_all(path);
  EXPECT_EQ(r.open_rc, 4);
  EXPECT_EQ(r.records, numbers(1, 4));
  EXPECT_EQ(r.err, "");
}

TEST_F(Tolerant, EntriesPastTheFileSizeAreNotOverwritten) {
  // Records and their entries on disk, the header left from before them.
  const std::string path = dir.file("behind.vkt");
  std::vector<uint32_t> w = make(path, 3);
  const uint32_t last_unit = w[4];
  w[4] -= kRecordWords;  // two records of 12 units fewer
  w[13] = 1;
  write_words(path, w);
  testing::internal::CaptureStderr();
  {
    OpenUnit u(74, path, "RND", "APPEND");
    EXPECT_EQ(u.result(), 3);
    put(74, 4);
  }
  const std::string err = testing::internal::GetCapturedStderr();
  expect_says(err, "WARNING", "the directory points to unit " + std::to_string(last_unit));
  expect_says(err, "WARNING", "3 valid records in the directory, 1 in the header");
  const Read r = read_all(path);
  EXPECT_EQ(r.records, numbers(1, 4));
  EXPECT_EQ(r.err, "");
}

TEST_F(Tolerant, RecordMustMatchItsEntry) {
  const std::string path = dir.file("entry.vkt");
  const std::vector<uint32_t> sound = make(path, 3);
  struct Case {
    const char *what;
    size_t entry, word;  // the word of the entry that is changed
    uint32_t value;
    std::vector<uint32_t> read;  // the records read whole
  };
  const size_t e0 = entry_at(kHeaderWords, 0), e1 = entry_at(kHeaderWords, 1);
  for (const Case &c : {Case{"into the record before", 1, 1, sound[e1 + 1] - 4, {1, 0, 3}},
                        Case{"into the record after", 0, 1, sound[e0 + 1] + 14, {0, 2, 3}},
                        Case{"a shorter length", 1, 0, sound[e1] - 1, {1, 0, 3}}}) {
    SCOPED_TRACE(c.what);
    std::vector<uint32_t> w = sound;
    w[entry_at(kHeaderWords, c.entry) + c.word] = c.value;
    fix_checksum(w, kHeaderWords);
    write_words(path, w);
    const Read r = read_all(path);
    EXPECT_EQ(r.records, c.read);
    EXPECT_NE(r.err.find("*** ERROR #33 from module c_xdfget: record at address "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("does not match its directory entry"), std::string::npos) << r.err;
  }
}

// Sequential files: each record's trailer and the end mark are checked as
// the search passes them; the records stay readable.
TEST_F(Tolerant, SequentialTrailersAndEndMark) {
  const std::string path = dir.file("seq.vkt");
  {
    OpenUnit u(75, path, "RND+SEQ", "CREATE", "STDS");
    for (uint32_t i = 1; i <= 3; ++i) put(75, i);
  }
  const std::vector<uint32_t> sound = read_words(path);
  const size_t trailer = kHeaderWords + kRecordWords;  // of the first record
  ASSERT_EQ(sound[trailer], 2u);
  ASSERT_EQ(sound[trailer + 1], 0xFFFFFFFFu);
  auto walk = [&](const std::vector<uint32_t> &w, int *last) {
    write_words(path, w);
    std::vector<uint32_t> found;
    testing::internal::CaptureStderr();
    {
      OpenUnit u(76, path, "RND+R/O", "READ", "STDS");
      uint32_t keys[16];
      for (auto &k : keys) k = 0xFFFFFFFFu;
      int h = c_xdfloc(76, 0, keys, 16);
      for (; h > 0; h = c_xdfloc(76, -1, nullptr, 0)) {
        std::vector<uint32_t> buf = record_buffer(kRecordWords);
        found.push_back(c_xdfget2(h, buf.data(), nullptr) == 0 ? buf[9 + 20] : 0);
      }
      *last = h;
    }
    return std::make_pair(found, testing::internal::GetCapturedStderr());
  };
  int last = 0;
  auto [found, err] = walk(sound, &last);
  EXPECT_EQ(found, numbers(1, 3));
  EXPECT_EQ(last, zep::xdf::ERR_NOT_FOUND);
  EXPECT_EQ(err, "");

  std::vector<uint32_t> w = sound;
  w[trailer + 3] += 1;  // the trailer names another record
  std::tie(found, err) = walk(w, &last);
  EXPECT_EQ(found, numbers(1, 3));
  EXPECT_NE(err.find("record at address 53 is followed by the trailer of another record"),
            std::string::npos)
      << err;

  w = sound;
  w[trailer + 1] = 0;  // no trailer behind the first record
  std::tie(found, err) = walk(w, &last);
  EXPECT_EQ(found, numbers(1, 3));
  EXPECT_NE(err.find("record at address 53 is not followed by its trailer"), std::string::npos)
      << err;

  w = sound;
  w[w.size() - 1] += 2;  // the end mark names another place
  std::tie(found, err) = walk(w, &last);
  EXPECT_EQ(found, numbers(1, 3));
  EXPECT_EQ(last, zep::xdf::ERR_DAMAGED);
  EXPECT_NE(err.find("end mark at address"), std::string::npos) << err;

  w = sound;
  w[kHeaderWords + 1] += 1;  // the first record does not state its own address
  std::tie(found, err) = walk(w, &last);
  EXPECT_EQ(found, numbers(2, 3));
  EXPECT_NE(err.find("record at address 53 states address 28"), std::string::npos) << err;

  // Cut inside the third record: two found, the cut reported.
  w = sound;
  w.resize(kHeaderWords + 2 * (kRecordWords + 4) + 10);
  std::tie(found, err) = walk(w, &last);
  EXPECT_EQ(found, numbers(1, 2));
  EXPECT_EQ(last, zep::xdf::ERR_DAMAGED);
  EXPECT_NE(err.find("runs past the end of the file"), std::string::npos) << err;

  // A writer appending to the cut file puts its record in place of the
  // broken one and leaves a sound file.
  testing::internal::CaptureStderr();
  {
    OpenUnit u(77, path, "RND+SEQ", "APPEND", "STDS");
    ASSERT_GE(u.result(), 0);
    put(77, 4);
  }
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("without its end mark"), std::string::npos) << err;
  std::tie(found, err) = walk(read_words(path), &last);
  EXPECT_EQ(found, (std::vector<uint32_t>{1, 2, 4}));
  EXPECT_EQ(last, zep::xdf::ERR_NOT_FOUND);
  EXPECT_EQ(err, "");
}

}  // namespace
