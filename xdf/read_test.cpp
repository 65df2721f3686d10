// Reading files written by an independent writer: open read-only, walk
// every record with the search, check each record's words on disk.
#include "xdf/table.h"
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

struct Walk {
  int open_result = 0;
  std::vector<int> handles;
  std::vector<std::vector<uint32_t>> records;  // images as read by c_xdfget2
};

// Opens a golden file read-only and walks it with c_xdfloc (handle 0, then -1).
Walk walk(const std::string &path, int iun) {
  Walk w;
  OpenUnit u(iun, path, "RND+R/O", "READ");
  w.open_result = u.result();
  if (u.result() < 0) return w;
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  int h = c_xdfloc(iun, 0, keys, 16);
  while (h > 0 && w.handles.size() < 10000) {
    w.handles.push_back(h);
    int addr, len, type;
    uint32_t got[16];
    EXPECT_EQ(c_xdfprm(h, &addr, &len, &type, got, 16), 0);
    std::vector<uint32_t> buf = record_buffer(2 * static_cast<size_t>(len) + 1);
    int aux[2] = {7, 7};
    EXPECT_EQ(c_xdfget2(h, buf.data(), aux), 0);
    EXPECT_EQ(buf[1], 64u * len);
    EXPECT_EQ(buf[2], 20u);  // data offset: 9 + 1 units of keys
    EXPECT_EQ(buf[5], 18u);
    EXPECT_EQ(static_cast<int>(buf[9] >> 24), type);
    EXPECT_EQ(static_cast<int>(buf[10]), addr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(buf[11 + i], got[i]);
    w.records.emplace_back(buf.begin() + 9, buf.begin() + 9 + 2 * len);
    h = c_xdfloc(iun, -1, nullptr, 0);
  }
  EXPECT_EQ(h, zep::xdf::ERR_NOT_FOUND);
  return w;
}

class GoldenRead : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
};

TEST_F(GoldenRead, ManyRecordsWalksBothPagesInFileOrder) {
  const std::string path = std::string(kGolden) + "many_records.vkt";
  if (!exists(path)) GTEST_SKIP() << "golden file absent";
  Walk w = walk(path, 21);
  EXPECT_EQ(w.open_result, 300);
  ASSERT_EQ(w.handles.size(), 300u);
  // Entry 255 of page 0 then entry 0 of page 1.
  EXPECT_EQ((w.handles[255] >> 7) & 0xFFF, 255);
  EXPECT_EQ(w.handles[255] >> 19, 0);
  EXPECT_EQ((w.handles[256] >> 7) & 0xFFF, 0);
  EXPECT_EQ(w.handles[256] >> 19, 1);
  // The images read are the file's own words at their addresses.
  std::vector<uint32_t> disk = read_words(path);
  for (const auto &img : w.records) {
    const size_t at = 2 * static_cast<size_t>(img[1]) - 2;
    ASSERT_LE(at + img.size(), disk.size());
    EXPECT_TRUE(std::equal(img.begin(), img.end(), disk.begin() + at));
  }
}

TEST_F(GoldenRead, DeletedRecordsAreSkippedAndEmptyFileHasNone) {
  const std::string deleted = std::string(kGolden) + "deleted.vkt";
  const std::string empty = std::string(kGolden) + "empty.vkt";
  if (!exists(deleted) || !exists(empty)) GTEST_SKIP() << "golden file absent";
  Walk w = walk(deleted, 22);
  EXPECT_EQ(w.open_result, 7);
  EXPECT_EQ(w.handles.size(), 7u);
  // The entries of the deleted records are still counted by nrecords.
  OpenUnit u(23, deleted, "RND+R/O", "READ");
  ASSERT_GE(u.result(), 0);
  EXPECT_GT(u.entry().nrecords, 7);
  for (const auto &img : w.records) EXPECT_LT(img[0] >> 24, 126u);
  Walk e = walk(empty, 24);
  EXPECT_EQ(e.open_result, 0);
  EXPECT_TRUE(e.handles.empty());
}

TEST_F(GoldenRead, SequentialFilesAreReadRecordByRecord) {
  const std::string seq = std::string(kGolden) + "sequential.vkt";
  const std::string eof = std::string(kGolden) + "sequential_eof.vkt";
  if (!exists(seq) || !exists(eof)) GTEST_SKIP() << "golden file absent";
  Walk w = walk(seq, 25);
  EXPECT_EQ(w.open_result, 7);
  EXPECT_EQ(w.handles.size(), 7u);
  // Sequential handles: class 0, offset = unit offset of the record.
  std::vector<uint32_t> disk = read_words(seq);
  for (size_t i = 0; i < w.handles.size(); ++i) {
    const uint32_t unit_offset = static_cast<uint32_t>(w.handles[i]) >> 7;
    EXPECT_EQ(w.records[i][1], unit_offset + 1);
    EXPECT_EQ(disk[2 * unit_offset], w.records[i][0]);
  }
  Walk e = walk(eof, 26);
  EXPECT_EQ(e.handles.size(), 2u);
}

TEST_F(GoldenRead, EveryCurrentFormatFileYieldsItsRecordCount) {
  std::ifstream manifest(std::string(kGolden) + "MANIFEST.txt");
  if (!manifest) GTEST_SKIP() << "golden files absent";
  std::string name;
  int count;
  std::string rest;
  int files = 0;
  while (manifest >> name >> count && std::getline(manifest, rest)) {
    if (name.rfind("old_", 0) == 0) continue;  // old layouts: converted by a later layer
    const std::string path = std::string(kGolden) + name + ".vkt";
    if (!exists(path)) continue;
    Walk w = walk(path, 31);
    EXPECT_EQ(static_cast<int>(w.handles.size()), count) << name;
    EXPECT_GE(w.open_result, count) << name;  // records behind an end-of-file mark count too
    ++files;
  }
  EXPECT_GT(files, 20);
}

TEST_F(GoldenRead, GenericBuildersReadTheSameKeys) {
  const std::string path = std::string(kGolden) + "many_records.vkt";
  if (!exists(path)) GTEST_SKIP() << "golden file absent";
  Walk copy = walk(path, 27);
  use_generic_builders();
  Walk gen = walk(path, 28);
  ASSERT_EQ(copy.records.size(), gen.records.size());
  EXPECT_EQ(copy.records, gen.records);
}

TEST_F(GoldenRead, OldRandomLayoutOpensReadOnly) {
  const std::string path = std::string(kGolden) + "old_random.vkt";
  if (!exists(path)) GTEST_SKIP() << "golden file absent";
  ASSERT_EQ(bind(29, path, "RND"), 0);
  StdKeys k;
  // Converted in memory: the open returns 0 and the unit becomes read-only.
  EXPECT_EQ(c_xdfopn(29, "R-W", k.pri, 16, k.aux, 2, "STDR"), 0);
  const int index = zep::xdf::file_index(29);
  ASSERT_GT(index, 0);
  EXPECT_EQ(zep::xdf::open_entry(index)->old_format, 1);
  EXPECT_EQ(zep::xdf::open_entry(index)->nrecords, 9);
  EXPECT_TRUE(zep::xdf::row_read_only(*zep::xdf::open_entry(index)));
  EXPECT_EQ(c_xdfcls(29), 0);
  c_fclos(29);
}

TEST_F(GoldenRead, DataOnlyReadSkipsTheKeys) {
  const std::string path = std::string(kGolden) + "many_records.vkt";
  if (!exists(path)) GTEST_SKIP() << "golden file absent";
  OpenUnit u(30, path, "RND+R/O", "READ");
  ASSERT_GE(u.result(), 0);
  int h = c_xdfloc2(30, 0, nullptr, 0, nullptr);
  EXPECT_EQ(h, zep::xdf::ERR_NO_TARGET);
  uint32_t keys[16];
  for (auto &k : keys) k = 0xFFFFFFFFu;
  h = c_xdfloc(30, 0, keys, 16);
  ASSERT_GT(h, 0);
  int addr, len, type;
  ASSERT_EQ(c_xdfprm(h, &addr, &len, &type, keys, 16), 0);
  const int s = 2 * len;
  std::vector<uint32_t> full = record_buffer(static_cast<size_t>(s));
  ASSERT_EQ(c_xdfget2(h, full.data(), nullptr), 0);
  std::vector<uint32_t> data(static_cast<size_t>(s) + 9 + 4, 0xDEADBEEF);
  data[0] = static_cast<uint32_t>(-(s + 9));
  data[1] = 0xFFFFFFFFu;
  ASSERT_EQ(c_xdfget2(h, data.data(), nullptr), 0);
  // Data words from image word 0; the rest of the S words cleared.
  for (int i = 0; i < s - 20; ++i) EXPECT_EQ(data[9 + i], full[9 + 20 + i]);
  for (int i = s - 20; i < s; ++i) EXPECT_EQ(data[9 + i], 0u);
  EXPECT_EQ(data[9 + s], 0xDEADBEEFu);  // nothing past the announced capacity
  // A dimension that does not hold the record is refused, nothing written.
  std::vector<uint32_t> small = record_buffer(static_cast<size_t>(s - 1));
  small.push_back(0xDEADBEEF);
  EXPECT_EQ(c_xdfget2(h, small.data(), nullptr), zep::xdf::ERR_BUFFER_SMALL);
  EXPECT_EQ(small.back(), 0xDEADBEEFu);
  // Negative dimension without nbits -1.
  data[0] = static_cast<uint32_t>(-(s + 9));
  data[1] = 0;
  EXPECT_EQ(c_xdfget2(h, data.data(), nullptr), zep::xdf::ERR_BUFFER_SMALL);

  // The head of the data alone, in a buffer that holds only it, and where
  // the rest lies.
  ASSERT_GT(s - 20, 3);
  std::vector<uint32_t> head(9 + 3 + 1, 0xDEADBEEF);
  head[0] = static_cast<uint32_t>(-(9 + 3));
  head[1] = 0xFFFFFFFFu;
  zep::xdf::RecordPlace place;
  ASSERT_EQ(zep::xdf::get_record(h, head.data(), nullptr, 3, &place), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(head[9 + i], full[9 + 20 + i]);
  EXPECT_EQ(head[9 + 3], 0xDEADBEEFu);
  EXPECT_EQ(place.iun, 30);
  EXPECT_EQ(place.words, s - 20);
  std::vector<uint32_t> rest(static_cast<size_t>(place.words));
  ASSERT_EQ(c_waread2(30, rest.data(), static_cast<unsigned int>(place.address), s - 20), s - 20);
  for (int i = 0; i < s - 20; ++i) EXPECT_EQ(rest[static_cast<size_t>(i)], full[9 + 20 + i]);
  // A head larger than the data is the whole read, with its room check.
  head[0] = static_cast<uint32_t>(-(9 + 3));
  head[1] = 0xFFFFFFFFu;
  EXPECT_EQ(zep::xdf::get_record(h, head.data(), nullptr, s, &place), zep::xdf::ERR_BUFFER_SMALL);
}

}  // namespace
