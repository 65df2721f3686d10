// Creating and writing directory files: the exact words on disk, page
// chaining, rewrites, deletions and the header counters.
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

class Write : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
  TempDir dir;
};

// Appends a standard record whose key words are i, i+1, ... and whose data
// holds `data_words` words of value i.
int put_record(int iun, uint32_t i, int data_words = 4, int handle = 0) {
  std::vector<uint32_t> buf = record_buffer(20 + static_cast<size_t>(data_words));
  uint32_t keys[16];
  for (int k = 0; k < 16; ++k) keys[k] = i + static_cast<uint32_t>(k);
  int rc = c_xdfini(iun, buf.data(), 1, keys, 16, nullptr, 0);
  if (rc < 0) return rc;
  std::vector<uint32_t> data(static_cast<size_t>(data_words), i);
  rc = c_xdfadd(buf.data(), data.data(), data_words, 32, 0);
  if (rc < 0) return rc;
  return c_xdfput(iun, handle, buf.data());
}

TEST_F(Write, FreshStandardFileHasTheExactWords) {
  const std::string path = dir.file("fresh.vkt");
  {
    OpenUnit u(31, path, "RND", "CREATE");
    ASSERT_EQ(u.result(), 0);
    EXPECT_EQ(u.entry().header.rw_flag, 2u);
    ASSERT_EQ(put_record(31, 100), 0);
  }
  std::vector<uint32_t> w = read_words(path);
  ASSERT_GE(w.size(), 4668u + 24u);
  EXPECT_EQ(w[0], 0x0000001Au);
  EXPECT_EQ(w[1], 0u);
  EXPECT_EQ(w[2], 0x58444630u);
  EXPECT_EQ(w[3], 0x53544452u);  // STDR
  EXPECT_EQ(w[4], 2334u + 12u);  // file_size after one record of 12 units
  EXPECT_EQ(w[6], 1u);           // extension_count
  EXPECT_EQ(w[7], 1u);           // dir_page_count
  EXPECT_EQ(w[8], 27u);          // last_dir_page
  EXPECT_EQ(w[9], 12u);          // biggest_record
  EXPECT_EQ(w[10], 0x00100009u);
  EXPECT_EQ(w[11], 0x00020001u);
  EXPECT_EQ(w[13], 1u);  // valid_count
  EXPECT_EQ(w[14], 0u);  // rw_flag cleared by the close
  EXPECT_EQ(w[16], 0x53463031u);
  EXPECT_EQ(w[17], 0x00FFC000u);
  EXPECT_EQ(w[46], 0x53463136u);
  EXPECT_EQ(w[47], 0x0FFFC000u);
  EXPECT_EQ(w[48], 0x41584931u);
  EXPECT_EQ(w[51], 0x01FFC000u);
  // First page at unit 27 (word 53), 2308 units.
  EXPECT_EQ(w[52], 2308u);
  EXPECT_EQ(w[53], 27u);
  EXPECT_EQ(w[56], 0u);  // next_page
  EXPECT_EQ(w[57], 1u);  // entry_count
  uint32_t x = 0;
  for (size_t i = 56; i < 52 + 4616; ++i) x ^= w[i];
  EXPECT_EQ(x, 0u);
  // Its entry: a copy of the record's primary part.
  EXPECT_EQ(w[60], 0x0100000Cu);
  EXPECT_EQ(w[61], 2335u);
  // The record at unit 2335 (word 4669).
  EXPECT_EQ(w[4668], 0x0100000Cu);
  EXPECT_EQ(w[4669], 2335u);
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(w[4670 + k], 100u + k);
    EXPECT_EQ(w[62 + k], 100u + k);
  }
  EXPECT_EQ(w[4688], 100u);
  EXPECT_EQ(w.size(), 4668u + 24u);
}

TEST_F(Write, EmptyPageOfAFreshFileHasChecksumZero) {
  const std::string path = dir.file("empty.vkt");
  { OpenUnit u(32, path, "RND", "CREATE"); }
  std::vector<uint32_t> w = read_words(path);
  ASSERT_EQ(w.size(), 4668u);
  EXPECT_EQ(w[58], 0u);
  EXPECT_EQ(w[4], 2334u);
  const std::string golden = std::string(kGolden) + "empty.vkt";
  if (exists(golden)) {
    EXPECT_EQ(w, read_words(golden));
  }
}

TEST_F(Write, The257thRecordChainsASecondPage) {
  const std::string path = dir.file("chain.vkt");
  {
    OpenUnit u(33, path, "RND", "CREATE");
    for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(put_record(33, i), 0);
    EXPECT_EQ(u.entry().npages, 1);
    ASSERT_EQ(put_record(33, 256), 0);
    EXPECT_EQ(u.entry().npages, 2);
  }
  std::vector<uint32_t> w = read_words(path);
  // Page 2 appended at the end of the file at that moment: after 256 records
  // of 12 units following the first page.
  const uint32_t page2 = 2335 + 256 * 12;
  EXPECT_EQ(w[56], page2);  // first page's next_page
  EXPECT_EQ(w[57], 256u);
  EXPECT_EQ(w[7], 2u);
  EXPECT_EQ(w[8], page2);
  const size_t p2 = 2 * page2 - 2;
  EXPECT_EQ(w[p2], 2308u);
  EXPECT_EQ(w[p2 + 1], page2);
  EXPECT_EQ(w[p2 + 5], 1u);
  // The 257th record follows the page.
  EXPECT_EQ(w[p2 + 9], page2 + 2308);
  uint32_t x1 = 0, x2 = 0;
  for (size_t i = 56; i < 52 + 4616; ++i) x1 ^= w[i];
  for (size_t i = p2 + 4; i < p2 + 4616; ++i) x2 ^= w[i];
  EXPECT_EQ(x1, 0u);
  EXPECT_EQ(x2, 0u);
  // Reopened, the search runs over both pages.
  OpenUnit r(34, path, "RND+R/O", "READ");
  EXPECT_EQ(r.result(), 257);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  keys[0] = 256;
  const int h = c_xdfloc(34, 0, keys, 16);
  ASSERT_GT(h, 0);
  EXPECT_EQ(h >> 19, 1);
  EXPECT_EQ((h >> 7) & 0xFFF, 0);
}

TEST_F(Write, RewriteInPlaceAndAtTheEndKeepTheCounters) {
  const std::string path = dir.file("rewrite.vkt");
  OpenUnit u(35, path, "RND", "CREATE");
  ASSERT_EQ(put_record(35, 1), 0);
  ASSERT_EQ(put_record(35, 2), 0);
  const zep::xdf::FileHeader &hd = u.entry().header;
  const uint32_t size_before = hd.file_size;
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  keys[0] = 1;
  int h = c_xdfloc(35, 0, keys, 16);
  ASSERT_GT(h, 0);
  int addr, len, type;
  ASSERT_EQ(c_xdfprm(h, &addr, &len, &type, keys, 16), 0);
  // Same length: written over the old record.
  ASSERT_EQ(put_record(35, 1000, 4, h), 0);
  EXPECT_EQ(hd.valid_count, 2u);
  EXPECT_EQ(hd.erasure_count, 1u);
  EXPECT_EQ(hd.rewrite_count, 1u);
  EXPECT_EQ(hd.extension_count, 2u);
  EXPECT_EQ(hd.file_size, size_before);
  int addr2, len2, type2;
  ASSERT_EQ(c_xdfprm(h, &addr2, &len2, &type2, keys, 16), 0);
  EXPECT_EQ(addr2, addr);
  EXPECT_EQ(type2, 1);
  EXPECT_EQ(keys[0], 1000u);
  // Another length: appended anew, the old record deleted.
  ASSERT_EQ(put_record(35, 2000, 8, h), 0);
  EXPECT_EQ(hd.valid_count, 2u);
  EXPECT_EQ(hd.erasure_count, 2u);
  EXPECT_EQ(hd.rewrite_count, 2u);
  EXPECT_EQ(hd.extension_count, 3u);
  EXPECT_EQ(hd.file_size, size_before + 14);
  EXPECT_EQ(hd.biggest_record, 14u);
  ASSERT_EQ(c_xdfprm(h, &addr2, &len2, &type2, keys, 16), 0);
  EXPECT_EQ(type2, 254);  // deleted since open, in memory
  // The negative of a handle appends and deletes, whatever the length.
  for (auto &k : keys) k = 0xFFFFFFFFu;
  keys[0] = 2;
  const int h2 = c_xdfloc(35, 0, keys, 16);
  ASSERT_GT(h2, 0);
  ASSERT_EQ(put_record(35, 3000, 4, -h2), 0);
  EXPECT_EQ(hd.extension_count, 4u);
  EXPECT_EQ(c_xdfprm(h2, &addr2, &len2, &type2, keys, 16), 0);
  EXPECT_EQ(type2, 254);
  // Rewriting a deleted record is refused.
  EXPECT_EQ(put_record(35, 4000, 4, h2), zep::xdf::ERR_DELETED);
  // A search after writing starts again with 0: -1 finds the position invalid.
  EXPECT_EQ(c_xdfloc(35, -1, nullptr, 0), zep::xdf::ERR_NO_POSITION);
  for (auto &k : keys) k = 0xFFFFFFFFu;
  int n = 0;
  for (int x = c_xdfloc(35, 0, keys, 16); x > 0; x = c_xdfloc(35, -1, nullptr, 0)) ++n;
  EXPECT_EQ(n, 2);
}

TEST_F(Write, RefusedRewriteLeavesTheSearchAndTheFileAsTheyWere) {
  const std::string path = dir.file("refused.vkt");
  OpenUnit u(38, path, "RND", "CREATE");
  ASSERT_EQ(put_record(38, 1), 0);
  ASSERT_EQ(put_record(38, 2), 0);
  ASSERT_EQ(put_record(38, 3), 0);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  keys[0] = 3;
  const int h3 = c_xdfloc(38, 0, keys, 16);
  ASSERT_GT(h3, 0);
  ASSERT_EQ(c_xdfdel(h3), 0);
  for (auto &k : keys) k = 0xFFFFFFFFu;
  const int h1 = c_xdfloc(38, 0, keys, 16);
  ASSERT_GT(h1, 0);
  const zep::xdf::FileHeader before = u.entry().header;
  const uint32_t count_before = u.entry().dir_page[0]->entry_count();
  // Rewriting the deleted record is refused before anything moves: the
  // search goes on from the first record, no entry is claimed.
  EXPECT_EQ(put_record(38, 4000, 4, h3), zep::xdf::ERR_DELETED);
  EXPECT_EQ(u.entry().dir_page[0]->entry_count(), count_before);
  EXPECT_EQ(u.entry().header.valid_count, before.valid_count);
  EXPECT_EQ(u.entry().header.erasure_count, before.erasure_count);
  EXPECT_EQ(u.entry().header.file_size, before.file_size);
  const int h2 = c_xdfloc(38, -1, nullptr, 0);
  ASSERT_GT(h2, 0);
  EXPECT_EQ((h2 >> 7) & 0xFFF, 1);
  EXPECT_EQ(c_xdfloc(38, -1, nullptr, 0), zep::xdf::ERR_NOT_FOUND);
}

TEST_F(Write, DeleteMarksTheEntryAndTheRecordAtClose) {
  const std::string path = dir.file("delete.vkt");
  int h = 0;
  {
    OpenUnit u(36, path, "RND", "CREATE");
    ASSERT_EQ(put_record(36, 1), 0);
    ASSERT_EQ(put_record(36, 2), 0);
    uint32_t keys[16];
    for (auto &k : keys) k = 0xFFFFFFFFu;
    h = c_xdfloc(36, 0, keys, 16);
    ASSERT_GT(h, 0);
    ASSERT_EQ(c_xdfdel(h), 0);
    EXPECT_EQ(c_xdfdel(h), zep::xdf::ERR_DELETED);  // "record already deleted", severity 2
    std::vector<uint32_t> buf = record_buffer(40);
    EXPECT_EQ(c_xdfget2(h, buf.data(), nullptr), zep::xdf::ERR_DELETED);
    EXPECT_EQ(u.entry().header.valid_count, 1u);
    EXPECT_EQ(u.entry().header.erasure_count, 1u);
  }
  std::vector<uint32_t> w = read_words(path);
  EXPECT_EQ(w[60] >> 24, 255u);    // entry
  EXPECT_EQ(w[4668] >> 24, 255u);  // record header
  EXPECT_EQ(w[60 + 18] >> 24, 1u);
  EXPECT_EQ(w[13], 1u);
  EXPECT_EQ(w[12], 1u);
  OpenUnit r(37, path, "RND+R/O", "READ");
  EXPECT_EQ(r.result(), 1);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  const int only = c_xdfloc(37, 0, keys, 16);
  ASSERT_GT(only, 0);
  EXPECT_EQ((only >> 7) & 0xFFF, 1);
  // Read-only files refuse writes and deletions.
  EXPECT_EQ(c_xdfdel(only), zep::xdf::ERR_NO_DELETE);
  EXPECT_EQ(put_record(37, 9), zep::xdf::ERR_NO_WRITE);
}

TEST_F(Write, ModesSetTheWriterFlagAndASecondWriterIsRefused) {
  const std::string path = dir.file("modes.vkt");
  { OpenUnit u(38, path, "RND", "CREATE"); }
  {
    OpenUnit u(38, path, "RND", "R-W");
    ASSERT_EQ(u.result(), 0);
    EXPECT_EQ(u.entry().header.rw_flag, 3u);
    ASSERT_EQ(put_record(38, 5), 0);
    // Checkpoint: header and pages written, the flag stays set on disk.
    zep::xdf::settings().xdf_checkpoint = 1;
    ASSERT_EQ(c_xdfcls(38), 0);
    EXPECT_GE(zep::xdf::file_index(38), 0);
    std::vector<uint32_t> w = read_words(path);
    EXPECT_EQ(w[14], 3u);
    EXPECT_EQ(w[57], 1u);
    EXPECT_EQ(w[13], 1u);
    // A second writer from elsewhere is refused (severity 4: tolerated here).
    c_xdfopt("ERRTOLR", "FATAL", 0);
    ASSERT_EQ(bind(39, path, "RND"), 0);
    StdKeys k;
    EXPECT_EQ(c_xdfopn(39, "WRITE", k.pri, 16, k.aux, 2, "STDR"), zep::xdf::ERR_IN_USE);
    c_xdfopt("ERRTOLR", "ERROR", 0);
    EXPECT_EQ(c_xdfopn(39, "READ", k.pri, 16, k.aux, 2, "STDR"), 1);
    c_xdfcls(39);
    c_fclos(39);
  }
  {
    OpenUnit u(38, path, "RND", "APPEND");
    EXPECT_EQ(u.entry().header.rw_flag, 4u);
    uint32_t keys[16];
    for (auto &k : keys) k = 0xFFFFFFFFu;
    const int h = c_xdfloc(38, 0, keys, 16);
    ASSERT_GT(h, 0);
    EXPECT_EQ(put_record(38, 6, 4, h), zep::xdf::ERR_NO_WRITE);
    EXPECT_EQ(c_xdfdel(h), zep::xdf::ERR_NO_DELETE);
    EXPECT_EQ(put_record(38, 6), 0);
  }
  {
    OpenUnit u(38, path, "RND", "whatever");
    EXPECT_EQ(u.entry().header.rw_flag, 0u);
    EXPECT_EQ(put_record(38, 7), zep::xdf::ERR_NO_WRITE);
  }
  EXPECT_EQ(read_words(path)[14], 0u);
  EXPECT_EQ(read_words(path)[13], 2u);
}

TEST_F(Write, RandomFileOpenedSequentiallyIsReadInOrderAndNotWritten) {
  const std::string path = dir.file("rndseq.vkt");
  {
    OpenUnit u(45, path, "RND", "CREATE");
    for (uint32_t i = 1; i <= 5; ++i) ASSERT_EQ(put_record(45, i, 2 * i), 0);
  }
  OpenUnit u(46, path, "RND+SEQ", "R-W");
  ASSERT_EQ(u.result(), 5);
  EXPECT_EQ(u.entry().xdf_seq, 1);
  EXPECT_EQ(u.entry().header.rw_flag, 0u);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  std::vector<uint32_t> found;
  for (int h = c_xdfloc(46, 0, keys, 16); h > 0; h = c_xdfloc(46, -1, nullptr, 0)) {
    int a, l, t;
    uint32_t got[16];
    ASSERT_EQ(c_xdfprm(h, &a, &l, &t, got, 16), 0);
    found.push_back(got[0]);
  }
  EXPECT_EQ(found, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(put_record(46, 9), zep::xdf::ERR_NO_WRITE);
}

TEST_F(Write, ReadOnlyCloseWritesNothing) {
  const std::string path = dir.file("ro.vkt");
  {
    OpenUnit u(40, path, "RND", "CREATE");
    ASSERT_EQ(put_record(40, 1), 0);
  }
  const std::vector<uint32_t> before = read_words(path);
  {
    OpenUnit u(40, path, "RND", "READ");
    ASSERT_EQ(u.result(), 1);
    c_qdfmsig(40, "ABCD");  // would reach the disk only through a writer
  }
  EXPECT_EQ(read_words(path), before);
  {
    OpenUnit u(40, path, "RND", "WRITE");
    EXPECT_EQ(c_qdfmsig(40, "ABCD"), 0);
  }
  EXPECT_EQ(read_words(path)[3], 0x41424344u);
}

TEST_F(Write, SequentialFileFramingAndSearch) {
  const std::string path = dir.file("seq.vkt");
  {
    OpenUnit u(41, path, "RND+SEQ", "CREATE", "STDS");
    ASSERT_EQ(u.result(), 0);
    EXPECT_EQ(u.entry().xdf_seq, 1);
    // 100 words: 20 of keys and 80 of data, no padding needed.
    ASSERT_EQ(put_record(41, 1, 80), 0);
    EXPECT_EQ(u.entry().cur_addr, 157);
  }
  std::vector<uint32_t> w = read_words(path);
  ASSERT_EQ(w.size(), 158u);
  EXPECT_EQ(w[52], 0x01000032u);
  EXPECT_EQ(w[53], 27u);
  EXPECT_EQ(w[152], 0x00000002u);  // trailer at words 153-156
  EXPECT_EQ(w[153], 0xFFFFFFFFu);
  EXPECT_EQ(w[154], 0x01000032u);
  EXPECT_EQ(w[155], 27u);
  EXPECT_EQ(w[156], 0x7F000001u);  // end mark at words 157-158
  EXPECT_EQ(w[157], 79u);
  EXPECT_EQ(w[7], 0u);
  EXPECT_EQ(w[4], 26u + 50u);

  // Several records, a deletion, then a search over them.
  const std::string path3 = dir.file("seq3.vkt");
  {
    OpenUnit u(43, path3, "RND+SEQ", "CREATE", "STDS");
    for (uint32_t i = 1; i <= 4; ++i) ASSERT_EQ(put_record(43, i, 2 + 2 * i), 0);
  }
  {
    OpenUnit u(43, path3, "RND+SEQ", "R-W", "STDS");
    ASSERT_EQ(u.result(), 4);
    EXPECT_EQ(u.entry().xdf_seq, 1);
    uint32_t keys[16];
    for (auto &k : keys) k = 0xFFFFFFFFu;
    keys[0] = 2;
    const int h = c_xdfloc(43, 0, keys, 16);
    ASSERT_GT(h, 0);
    // A sequential rewrite through the negative of a handle is refused.
    EXPECT_EQ(put_record(43, 5, 4, -h), zep::xdf::ERR_NO_WRITE);
    ASSERT_EQ(c_xdfdel(h), 0);
  }
  OpenUnit r(44, path3, "RND+R/O", "READ", "STDS");
  ASSERT_EQ(r.result(), 3);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  std::vector<uint32_t> found;
  for (int h = c_xdfloc(44, 0, keys, 16); h > 0; h = c_xdfloc(44, -1, nullptr, 0)) {
    int a, l, t;
    uint32_t got[16];
    ASSERT_EQ(c_xdfprm(h, &a, &l, &t, got, 16), 0);
    found.push_back(got[0]);
    std::vector<uint32_t> buf = record_buffer(2 * static_cast<size_t>(l));
    ASSERT_EQ(c_xdfget2(h, buf.data(), nullptr), 0);
    EXPECT_EQ(buf[9 + 20], got[0]);
  }
  // The deleted record is stepped over, the ones after it are still found.
  EXPECT_EQ(found, (std::vector<uint32_t>{1, 3, 4}));
}

// Key descriptors that lie outside their key area are refused when the file
// is created, with the message and code its open would give: nothing is
// written that could not be opened again.
TEST_F(Write, CreateRefusesKeysOutsideTheirArea) {
  const std::string path = dir.file("badkeys.vkt");
  // Two keys of 32 bits make a key area of two words; the second key's
  // rightmost bit 95 lies in a third word.
  uint32_t pri[4] = {0x41414120u, (31u << 19) | (31u << 14), 0x42424220u,
                     (95u << 19) | (31u << 14)};
  ASSERT_EQ(bind(50, path, "RND"), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_xdfopn(50, "CREATE", pri, 2, nullptr, 0, "TEST"), zep::xdf::ERR_DAMAGED);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("primary key 2 lies outside its key area"), std::string::npos) << err;
  EXPECT_EQ(zep::xdf::file_index(50), -1);
  EXPECT_TRUE(read_words(path).empty());
  // The same keys with the second one in the second word make a sound file.
  pri[3] = (63u << 19) | (31u << 14);
  ASSERT_EQ(c_xdfopn(50, "CREATE", pri, 2, nullptr, 0, "TEST"), 0);
  ASSERT_EQ(c_xdfcls(50), 0);
  ASSERT_EQ(c_xdfopn(50, "READ", pri, 2, nullptr, 0, "TEST"), 0);
  ASSERT_EQ(c_xdfcls(50), 0);
  c_fclos(50);
}

// Reopened with APPEND, a sequential file takes new records after its old
// ones: nothing written before is overwritten or cut away.
TEST_F(Write, SequentialAppendFollowsTheExistingRecords) {
  const std::string path = dir.file("seqapp.vkt");
  {
    OpenUnit u(48, path, "RND+SEQ", "CREATE", "STDS");
    for (uint32_t i = 1; i <= 3; ++i) ASSERT_EQ(put_record(48, i, 2 + 2 * i), 0);
  }
  for (uint32_t i = 4; i <= 5; ++i) {
    OpenUnit u(48, path, "RND+SEQ", "APPEND", "STDS");
    ASSERT_EQ(u.result(), static_cast<int>(i - 1));
    ASSERT_EQ(put_record(48, i, 6), 0);
  }
  OpenUnit r(49, path, "RND+R/O", "READ", "STDS");
  ASSERT_EQ(r.result(), 5);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  std::vector<uint32_t> found;
  for (int h = c_xdfloc(49, 0, keys, 16); h > 0; h = c_xdfloc(49, -1, nullptr, 0)) {
    int a, l, t;
    uint32_t got[16];
    ASSERT_EQ(c_xdfprm(h, &a, &l, &t, got, 16), 0);
    std::vector<uint32_t> buf = record_buffer(2 * static_cast<size_t>(l));
    ASSERT_EQ(c_xdfget2(h, buf.data(), nullptr), 0);
    EXPECT_EQ(buf[9 + 20], got[0]);
    found.push_back(got[0]);
  }
  EXPECT_EQ(found, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

}  // namespace

namespace {

// With the page cache on, what a checkpoint reports written is on disk. The
// cache is configured at the first open of a process: the scenario runs in
// a fresh process.
TEST(Durability, CheckpointFlushesCachedPages) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("WA_CONFIG", "4 4", 1);
        use_copy_builders();
        TempDir dir;
        const std::string path = dir.file("cached.vkt");
        bool ok = bind(47, path, "RND") == 0;
        StdKeys k;
        ok = ok && c_xdfopn(47, "CREATE", k.pri, 16, k.aux, 2, "STDR") == 0;
        ok = ok && put_record(47, 5) == 0;
        zep::xdf::settings().xdf_checkpoint = 1;
        ok = ok && c_xdfcls(47) == 0;
        const std::vector<uint32_t> w = read_words(path);
        ok = ok && w.size() == 4668u + 24u && w[14] == 2u && w[13] == 1u && w[57] == 1u &&
             w[4668] == 0x0100000Cu && w[4688] == 5u;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
