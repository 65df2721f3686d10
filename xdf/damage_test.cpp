// Damaged files: every check of the open, the search and the read answers
// with the layer's error, never with a read out of bounds or a loop.
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

class Damage : public ::testing::Test {
 protected:
  void SetUp() override {
    use_copy_builders();
    // A random file of 3 records and a sequential one of 3 records.
    {
      OpenUnit u(81, good_, "RND", "CREATE");
      for (uint32_t i = 1; i <= 3; ++i) put(81, i);
    }
    {
      OpenUnit u(82, seq_, "RND+SEQ", "CREATE", "STDS");
      for (uint32_t i = 1; i <= 3; ++i) put(82, i);
    }
    words_ = read_words(good_);
    seq_words_ = read_words(seq_);
  }
  void TearDown() override { c_xdfopt("ERRTOLR", "ERROR", 0); }

  static void put(int iun, uint32_t i) {
    std::vector<uint32_t> buf = record_buffer(24);
    uint32_t keys[16] = {i};
    ASSERT_EQ(c_xdfini(iun, buf.data(), 1, keys, 16, nullptr, 0), 0);
    uint32_t d[4] = {i, i, i, i};
    ASSERT_EQ(c_xdfadd(buf.data(), d, 4, 32, 0), 0);
    ASSERT_EQ(c_xdfput(iun, 0, buf.data()), 0);
  }

  // Opens a damaged copy read-only; returns the open's result. The slot of
  // a failed open is released.
  int open_damaged(const std::vector<uint32_t> &w, const char *attr = "RND+R/O",
                   const char *appl = "STDR") {
    const std::string path = dir.file("bad.vkt");
    write_words(path, w);
    opened_ = std::make_unique<OpenUnit>(83, path, attr, "READ", appl);
    if (opened_->result() < 0) {
      EXPECT_EQ(zep::xdf::file_index(83), -1);
    }
    return opened_->result();
  }

  // Fixes the checksum of the page at word index p after a change.
  static void fix_checksum(std::vector<uint32_t> &w, size_t p) {
    w[p + 6] = 0;
    uint32_t x = 0;
    for (size_t i = p + 4; i < p + 4616; ++i) x ^= w[i];
    w[p + 6] = x;
  }

  TempDir dir;
  std::string good_ = dir.file("good.vkt");
  std::string seq_ = dir.file("seq.vkt");
  std::vector<uint32_t> words_, seq_words_;
  std::unique_ptr<OpenUnit> opened_;
};

TEST_F(Damage, TheGoodFilesOpen) {
  EXPECT_EQ(open_damaged(words_), 3);
  opened_.reset();
  EXPECT_EQ(open_damaged(seq_words_, "RND+R/O", "STDS"), 3);
  opened_.reset();
  std::vector<uint32_t> lower = words_;
  lower[2] = 0x78646630;  // "xdf0"
  EXPECT_EQ(open_damaged(lower), 3);
}

TEST_F(Damage, ShortOrForeignFilesAreNotXdf) {
  c_xdfopt("ERRTOLR", "FATAL", 0);
  EXPECT_EQ(open_damaged({0x1A, 0, 0x58444630}), zep::xdf::ERR_NOT_XDF);
  opened_.reset();
  std::vector<uint32_t> foreign(40, 0x12345678);
  EXPECT_EQ(open_damaged(foreign), zep::xdf::ERR_NOT_XDF);
}

TEST_F(Damage, ForeignFileEndsTheProcessUnderTheDefaultTolerance) {
  std::vector<uint32_t> foreign(40, 0x12345678);
  EXPECT_EXIT(
      open_damaged(foreign), ::testing::ExitedWithCode(34),
      "FATAL ERROR #34 from module c_xdfopn: file is not XDF type or old standard random type");
}

TEST_F(Damage, HeaderChecks) {
  auto bad = [&](size_t at, uint32_t value) {
    std::vector<uint32_t> w = words_;
    w[at] = value;
    const int rc = open_damaged(w);
    opened_.reset();
    return rc;
  };
  EXPECT_EQ(bad(0, 0x00FFFFFF), zep::xdf::ERR_DAMAGED);   // header longer than the file
  EXPECT_EQ(bad(0, 4), zep::xdf::ERR_DAMAGED);            // shorter than its fixed words
  EXPECT_EQ(bad(0, 0x1B), zep::xdf::ERR_DAMAGED);         // length != 8 + P + I
  EXPECT_EQ(bad(10, 0x00100011), zep::xdf::ERR_DAMAGED);  // primary_len 17
  EXPECT_EQ(bad(10, 0x0010000A), zep::xdf::ERR_DAMAGED);  // standard file with 10 units
  EXPECT_EQ(bad(11, 0x00020002), zep::xdf::ERR_DAMAGED);  // info area of 4 words
  EXPECT_EQ(bad(17, 0x7FFFC000), zep::xdf::ERR_DAMAGED);  // key outside the key area
  EXPECT_EQ(bad(7, 1025), 3);  // too many pages: opens with the one the chain holds
  EXPECT_EQ(bad(7, 2), 3);     // a page that is not there: likewise
  EXPECT_EQ(bad(7, 0), zep::xdf::ERR_DAMAGED);  // standard random file without pages
}

TEST_F(Damage, PageChecks) {
  std::vector<uint32_t> w = words_;
  // Checksum wrong: reported, the file still opens and reads.
  w[52 + 100] ^= 1;
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_damaged(w), 3);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(
      err.find("*** ERROR #32 from module c_xdfopn: incorrect checksum in page 0, directory is "
               "probably dammaged\n file in error: "),
      std::string::npos)
      << err;
  opened_.reset();
  // More than 256 entries.
  w = words_;
  w[52 + 5] = 300;
  fix_checksum(w, 52);
  EXPECT_EQ(open_damaged(w), zep::xdf::ERR_DAMAGED);
  opened_.reset();
  // A next page that does not leave room for a whole page: the chain ends
  // with the first page, which still opens.
  w = words_;
  w[7] = 2;
  w[52 + 4] = static_cast<uint32_t>(w.size() / 2 - 10);
  fix_checksum(w, 52);
  EXPECT_EQ(open_damaged(w), 3);
  opened_.reset();
  // A first page that does not state its own address.
  w = words_;
  w[52 + 1] = 5000;
  EXPECT_EQ(open_damaged(w), zep::xdf::ERR_DAMAGED);
  opened_.reset();
  // The file cut inside its first page.
  w = words_;
  w.resize(1000);
  EXPECT_EQ(open_damaged(w), zep::xdf::ERR_DAMAGED);
}

TEST_F(Damage, RecordRunningPastTheEndIsRefused) {
  std::vector<uint32_t> w = words_;
  // Entry 2 claims a record far longer than the file.
  w[60 + 36] = 0x01000000u | 5000;
  fix_checksum(w, 52);
  ASSERT_EQ(open_damaged(w), 3);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  keys[0] = 3;
  const int h = c_xdfloc(83, 0, keys, 16);
  ASSERT_GT(h, 0);
  std::vector<uint32_t> buf = record_buffer(10010);
  buf[9] = 0xDEADBEEF;
  EXPECT_EQ(c_xdfget2(h, buf.data(), nullptr), zep::xdf::ERR_DAMAGED);
  EXPECT_EQ(buf[9], 0xDEADBEEFu);
  // The record's address beyond the file.
  opened_.reset();
  w = words_;
  w[60 + 37] = 0x7FFFFFF0;
  fix_checksum(w, 52);
  ASSERT_EQ(open_damaged(w), 3);
  const int h2 = c_xdfloc(83, 0, keys, 16);
  ASSERT_GT(h2, 0);
  EXPECT_EQ(c_xdfget2(h2, buf.data(), nullptr), zep::xdf::ERR_DAMAGED);
}

TEST_F(Damage, WritesNeverLandOutsideTheFile) {
  std::vector<uint32_t> w = words_;
  w[60 + 1] = 0x10000000;  // entry 0's record far beyond the end
  fix_checksum(w, 52);
  const std::string path = dir.file("badw.vkt");
  write_words(path, w);
  {
    OpenUnit u(84, path, "RND", "R-W");
    ASSERT_EQ(u.result(), 3);
    uint32_t keys[16];
    for (auto &k : keys) k = 0xFFFFFFFFu;
    const int h = c_xdfloc(84, 0, keys, 16);
    ASSERT_GT(h, 0);
    std::vector<uint32_t> buf = record_buffer(24);
    ASSERT_EQ(c_xdfini(84, buf.data(), 1, keys, 16, nullptr, 0), 0);
    buf[1] = 24 * 32;
    EXPECT_EQ(c_xdfput(84, h, buf.data()), zep::xdf::ERR_DAMAGED);
    // Deleted: the close marks the entry but writes no record header out there.
    ASSERT_EQ(c_xdfdel(h), 0);
  }
  const std::vector<uint32_t> after = read_words(path);
  EXPECT_EQ(after.size(), w.size());
  EXPECT_EQ(after[60] >> 24, 255u);
}

TEST_F(Damage, SequentialObjectsThatDoNotMoveForward) {
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  // The second record's header says length 0.
  std::vector<uint32_t> w = seq_words_;
  const size_t second = 52 + 24 + 4;
  ASSERT_EQ(w[second] >> 24, 1u);
  w[second] = 0x01000000u;
  ASSERT_EQ(open_damaged(w, "RND+R/O", "STDS"), 3);
  int h = c_xdfloc(83, 0, keys, 16);
  EXPECT_GT(h, 0);
  EXPECT_EQ(c_xdfloc(83, -1, nullptr, 0), zep::xdf::ERR_DAMAGED);
  opened_.reset();
  // A length that runs past the end of the file.
  w = seq_words_;
  w[second] = 0x01000000u | 0xFFFFFF;
  ASSERT_EQ(open_damaged(w, "RND+R/O", "STDS"), 3);
  h = c_xdfloc(83, 0, keys, 16);
  EXPECT_GT(h, 0);
  EXPECT_EQ(c_xdfloc(83, -1, nullptr, 0), zep::xdf::ERR_DAMAGED);
  opened_.reset();
  // No end mark: every record is found, then the end of the file is
  // reported as damage, not taken for the end of the data.
  w = seq_words_;
  w.resize(w.size() - 2);
  ASSERT_EQ(open_damaged(w, "RND+R/O", "STDS"), 3);
  int n = 0;
  testing::internal::CaptureStderr();
  for (h = c_xdfloc(83, 0, keys, 16); h > 0; h = c_xdfloc(83, -1, nullptr, 0)) ++n;
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(n, 3);
  EXPECT_EQ(h, zep::xdf::ERR_DAMAGED);
  EXPECT_NE(err.find("file ends at address " + std::to_string(w.size() + 1) +
                     " without its end mark, file is probably dammaged"),
            std::string::npos)
      << err;
}

TEST_F(Damage, SequentialLogicalEndOfFileMark) {
  // Replace the second record by a logical end-of-file mark of one unit,
  // followed by filler objects of type 0 up to the third record.
  std::vector<uint32_t> w = seq_words_;
  const size_t second = 52 + 24 + 4;
  w[second] = (113u << 24) | 1;
  w[second + 2] = 0x00000000u | 13;  // a special object covering the rest
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  ASSERT_EQ(open_damaged(w, "RND+R/O", "STDS"), 3);
  int h = c_xdfloc(83, 0, keys, 16);
  ASSERT_GT(h, 0);
  EXPECT_EQ(c_xdfloc(83, -1, nullptr, 0), zep::xdf::ERR_NOT_FOUND);
  // The next search goes on behind the mark.
  h = c_xdfloc(83, -1, nullptr, 0);
  ASSERT_GT(h, 0);
  int a, l, t;
  uint32_t got[16];
  ASSERT_EQ(c_xdfprm(h, &a, &l, &t, got, 16), 0);
  EXPECT_EQ(got[0], 3u);
  // c_xdfprm on a sequential handle other than the last one found.
  const int first = c_xdfloc(83, 0, keys, 16);
  EXPECT_EQ(c_xdfprm(h, &a, &l, &t, got, 16), zep::xdf::ERR_BAD_HANDLE);
  EXPECT_EQ(c_xdfprm(first, &a, &l, &t, got, 16), 0);
}

}  // namespace
