// The on-disk structures: header words, key descriptors, key extraction and
// insertion with folding and masks, page checksum, sequential framing.
#include <gtest/gtest.h>

#include "xdf/format.h"
#include "xdf/test_util.h"

using namespace zep::xdf;

namespace {

TEST(FileHeaderTest, StandardKeysEncodeAndDecode) {
  xdf_test::StdKeys k;
  FileHeader h;
  for (int i = 0; i < 16; ++i) h.primary.push_back(KeyDescriptor::decode(k.pri + 2 * i));
  for (int i = 0; i < 2; ++i) h.info.push_back(KeyDescriptor::decode(k.aux + 2 * i));
  EXPECT_EQ(primary_len_for(h.primary), 9);
  EXPECT_EQ(info_len_for(h.info), 1);
  h.length = 26;
  h.primary_count = 16;
  h.primary_len = 9;
  h.info_count = 2;
  h.info_len = 1;
  h.app_signature = pack_chars4("STDR");
  std::vector<uint32_t> w = h.encode();
  ASSERT_EQ(w.size(), 52u);
  EXPECT_EQ(w[0], 0x1Au);
  EXPECT_EQ(w[2], 0x58444630u);
  EXPECT_EQ(w[3], 0x53544452u);
  EXPECT_EQ(w[10], 0x00100009u);
  EXPECT_EQ(w[11], 0x00020001u);
  EXPECT_EQ(w[16], 0x53463031u);
  EXPECT_EQ(w[17], 0x00FFC000u);
  FileHeader back;
  EXPECT_EQ(FileHeader::decode(w.data(), w.size(), &back), "");
  EXPECT_EQ(back.encode(), w);
  // The reserved bits of a descriptor word are dropped.
  uint32_t d[2] = {0x41424344, 0x00FFC0FF};
  uint32_t out[2];
  KeyDescriptor::decode(d).encode(out);
  EXPECT_EQ(out[1], 0x00FFC000u);
  // "xdf0" is read too.
  w[2] = 0x78646630;
  EXPECT_EQ(FileHeader::decode(w.data(), w.size(), &back), "");
}

TEST(FileHeaderTest, DecodeRefusesInconsistentHeaders) {
  xdf_test::StdKeys k;
  FileHeader h;
  for (int i = 0; i < 16; ++i) h.primary.push_back(KeyDescriptor::decode(k.pri + 2 * i));
  h.length = 24;
  h.primary_count = 16;
  h.primary_len = 9;
  const std::vector<uint32_t> good = h.encode();
  FileHeader out;
  ASSERT_EQ(FileHeader::decode(good.data(), good.size(), &out), "");
  auto bad = [&](auto change) {
    std::vector<uint32_t> w = good;
    change(w);
    return !FileHeader::decode(w.data(), w.size(), &out).empty();
  };
  EXPECT_TRUE(bad([](auto &w) { w[2] = 0x58444631; }));   // version
  EXPECT_TRUE(bad([](auto &w) { w[0] = 25; }));           // length vs 8 + P + I
  EXPECT_TRUE(bad([](auto &w) { w[10] = 0x00100011; }));  // primary_len 17
  EXPECT_TRUE(bad([](auto &w) { w[10] = 0x00100000; }));  // primary_len 0
  EXPECT_TRUE(bad([](auto &w) { w[11] = 0x00000011; }));  // info_len 17
  EXPECT_TRUE(bad([](auto &w) { w[47] = 0x10FFC000; }));  // key 16 at bit 543: outside 16 words
  EXPECT_TRUE(bad([](auto &w) { w[17] = (20u << 19) | (31u << 14); }));  // 32 bits ending at bit 20
  EXPECT_TRUE(bad([](auto &w) { w[10] = 0x04000009; }));              // 1024 keys, length mismatch
  EXPECT_TRUE(FileHeader::decode(good.data(), 40, &out).size() > 0);  // fewer words than the length
  EXPECT_TRUE(FileHeader::decode(good.data(), 8, &out).size() > 0);
}

TEST(KeysTest, ExtractionAndInsertionFollowTheDescriptors) {
  // A 32-bit key at position 31, a 1-bit key at position 0, a 12-bit key of
  // type 32 (folded) ending at bit 63.
  std::vector<KeyDescriptor> keys(3);
  keys[0].bit1 = 31, keys[0].width = 32;
  keys[1].bit1 = 0, keys[1].width = 1;
  keys[2].bit1 = 63, keys[2].width = 12, keys[2].type = 32;
  uint32_t area[2] = {0, 0};
  uint32_t values[3] = {0x12345678, 0xFFFFFFFF, 0x61};
  uint32_t mask[2] = {0xAAAAAAAA, 0xAAAAAAAA};
  insert_keys(keys, area, 2, values, 3, mask, nullptr);
  EXPECT_EQ(area[0], 0x12345678u);  // key 1 left alone (value -1)
  EXPECT_EQ(area[1], 0x41u);        // folded to upper case
  EXPECT_EQ(mask[0], 0xFFFFFFFFu);
  EXPECT_EQ(mask[1], 0x00000FFFu);
  uint32_t out[3] = {};
  extract_keys(keys, area, 2, out, 3);
  EXPECT_EQ(out[0], 0x12345678u);
  EXPECT_EQ(out[1], 0u);  // the most significant bit of key word 0
  EXPECT_EQ(out[2], 0x41u);
  uint32_t one[3] = {0xFFFFFFFF, 1, 0xFFFFFFFF};
  insert_keys(keys, area, 2, one, 3, nullptr, nullptr);
  EXPECT_EQ(area[0], 0x92345678u);
  // A caller's mask value selects bits of a key.
  uint32_t mv[3] = {0x0000FFFF, 0, 0};
  insert_keys(keys, area, 2, values, 1, mask, mv);
  EXPECT_EQ(mask[0], 0x0000FFFFu);
  EXPECT_EQ(fold_upper(0x61627a7b), 0x41425a5bu);
  EXPECT_EQ(fold_upper(0x20313233), 0x20313233u);
  // A key outside the area is never touched.
  std::vector<KeyDescriptor> far(1);
  far[0].bit1 = 95, far[0].width = 8;
  uint32_t v = 7;
  const uint32_t kept[2] = {area[0], area[1]};
  insert_keys(far, area, 2, &v, 1, nullptr, nullptr);
  EXPECT_EQ(area[0], kept[0]);
  EXPECT_EQ(area[1], kept[1]);
  out[0] = 0xABC;
  extract_keys(far, area, 2, out, 1);
  EXPECT_EQ(out[0], 0xABCu);
}

TEST(KeysTest, DescriptorFromNameAndFields) {
  uint32_t d0, d1;
  EXPECT_EQ(c_xdfcle("SF01", 31, 32, 0, &d0, &d1), 0);
  EXPECT_EQ(d0, 0x53463031u);
  EXPECT_EQ(d1, 0x00FFC000u);
  EXPECT_EQ(c_xdfcle("AB", 63, 8, 32, &d0, &d1), 0);
  EXPECT_EQ(d0, 0x41422020u);
  EXPECT_EQ(d1, (63u << 19) | (7u << 14) | (32u << 8));
  const uint32_t desc[2] = {d0, d1};
  const KeyDescriptor k = KeyDescriptor::decode(desc);
  EXPECT_EQ(k.bit1, 63);
  EXPECT_EQ(k.width, 8);
  EXPECT_EQ(k.type, 32);
}

TEST(DirPageTest, ChecksumMakesTheXorZeroWhateverTheOldWord) {
  std::vector<uint32_t> page(dir_page::words(9), 0);
  EXPECT_EQ(dir_page::xor_check(page.data(), page.size()), 0u);
  page[0] = 0x12345678;  // words 0 to 3 are outside the checksum
  page[3] = 0x9;
  EXPECT_EQ(dir_page::xor_check(page.data(), page.size()), 0u);
  page[dir_page::kEntryCount] = 3;
  page[100] = 0xF0F0F0F0;
  page[dir_page::kChecksum] = 0xDEADBEEF;  // a stale checksum read from disk
  dir_page::set_checksum(page.data(), page.size());
  EXPECT_EQ(dir_page::xor_check(page.data(), page.size()), 0u);
  EXPECT_EQ(page[dir_page::kChecksum], 3u ^ 0xF0F0F0F0u);
  EXPECT_EQ(dir_page::units(9), 2308u);
}

TEST(SequentialFramingTest, PaddingToGranules) {
  EXPECT_EQ(seq::padded_words(53, 100), 100);
  EXPECT_EQ(seq::padded_words(53, 101), 102);
  // E = 8,388,609 is raised to the next multiple of 8.
  EXPECT_EQ(seq::padded_words(8388609 - 3 - 100, 100), 100 + 7);
  const int64_t s32 = 0x2000000 - 3, s128 = 0x8000000;
  EXPECT_EQ((s32 + seq::padded_words(s32, 1) + 3) % 32, 0);
  EXPECT_EQ(seq::padded_words(s32, 1), 32);
  EXPECT_EQ((s128 + seq::padded_words(s128, 1) + 3) % 128, 0);
  uint32_t w[6];
  seq::encode_trailer(0x01000032, 27, w);
  seq::encode_end_mark(79, w + 4);
  EXPECT_EQ(w[0], 2u);
  EXPECT_EQ(w[1], 0xFFFFFFFFu);
  EXPECT_EQ(w[2], 0x01000032u);
  EXPECT_EQ(w[3], 27u);
  EXPECT_EQ(w[4], 0x7F000001u);
  EXPECT_EQ(w[5], 79u);
}

TEST(HandleTest, SequentialHandleClasses) {
  FileEntry f;
  struct Case {
    int64_t unit_offset;
    int cls;
    int64_t offset;
  };
  const Case cases[] = {{0, 0, 0},
                        {4194303, 0, 4194303},
                        {4194304, 1, 1048576},
                        {16777216, 2, 1048576},
                        {67108864, 3, 1048576},
                        {67108864 + 64 * 5, 3, 1048581}};
  for (const Case &c : cases) {
    const int64_t addr = 2 * c.unit_offset + 1;
    const int h = make_seq_handle(addr, 5, f);
    EXPECT_GT(h, 0);
    EXPECT_EQ(h & 0x7F, 5);
    EXPECT_EQ((h >> 29) & 3, c.cls) << c.unit_offset;
    EXPECT_EQ((h >> 7) & 0x3FFFFF, c.offset) << c.unit_offset;
    EXPECT_EQ(address_from_handle(h, f), addr);
  }
  EXPECT_EQ(address_from_handle(make_seq_handle(2 * 4194304 + 1, 1, f), f), 8388609);
  f.old_format = 1;
  EXPECT_EQ(address_from_handle(make_seq_handle(2 * 150 + 1, 3, f), f), 301);
  EXPECT_EQ((make_seq_handle(2 * 150 + 1, 3, f) >> 7), 10);
}

}  // namespace

namespace {

TEST(KeysTest, OutOfRangeFieldsSpillAsTheyAlwaysDid) {
  // c_xdfcle takes any fields; the word is the sum of the shifted fields.
  uint32_t d0, d1;
  EXPECT_EQ(c_xdfcle("W0", 40, 0, 1, &d0, &d1), 0);
  EXPECT_EQ(d1, (40u << 19) + (0xFFFFFFFFu << 14) + (1u << 8));
  EXPECT_EQ(c_xdfcle("T64", 31, 32, 64, &d0, &d1), 0);
  EXPECT_EQ(d1, (31u << 19) + (31u << 14) + (64u << 8));
}

TEST(RecordHeaderTest, WordZeroTypeAndLength) {
  const uint32_t w0 = RecordHeader::word0(0x7A, 0x1234567);  // length cut to 24 bits
  EXPECT_EQ(w0, 0x7A234567u);
  EXPECT_EQ(RecordHeader::type_of(w0), 0x7Au);
  EXPECT_EQ(RecordHeader::length_of(w0), 0x234567u);
  EXPECT_EQ(RecordHeader::retyped(w0, kTypeDeleted), 0xFF234567u);
  uint32_t w[2] = {0, 0};
  RecordHeader{1, kMaxRecordUnits, kAllOnes}.encode(w);
  EXPECT_EQ(w[0], 0x01FFFFFFu);
  EXPECT_EQ(w[1], 0xFFFFFFFFu);
  const RecordHeader h = RecordHeader::decode(w);
  EXPECT_EQ(h.idtyp, 1u);
  EXPECT_EQ(h.length, kMaxRecordUnits);
}

TEST(HandleTest, RandomHandleFields) {
  const Handle h{5, 255, 1023};
  const int word = h.encode();
  EXPECT_EQ(word, 5 | 255 << 7 | 1023 << 19);
  const Handle back = Handle::decode(word);
  EXPECT_EQ(back.index, 5);
  EXPECT_EQ(back.entry, 255);
  EXPECT_EQ(back.page, 1023);
  EXPECT_EQ(Handle::index_of(word), 5);
  // Each field takes only its own bits.
  EXPECT_EQ(Handle::decode(0x7FFFFFFF).index, 0x7F);
  EXPECT_EQ(Handle::decode(0x7FFFFFFF).entry, 0xFFF);
  EXPECT_EQ(Handle::decode(0x7FFFFFFF).page, 0xFFF);
  EXPECT_EQ(Handle::decode(1 << 7).index, 0);
  EXPECT_EQ(Handle::decode(1 << 19).entry, 0);
}

}  // namespace
