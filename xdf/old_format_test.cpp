// Old random and old sequential standard files: conversion of their
// entries, the date adjustment, searching and reading them, positioning the
// sequential layout, and damaged files.
#include "xdf/old_format.h"

#include "xdf/test_util.h"
#include "zep/coding.h"

using namespace xdf_test;
namespace old = zep::xdf::old_format;

namespace {

constexpr uint32_t kAny = 0xFFFFFFFFu;

// Fields of one old entry, before packing.
struct OldFields {
  uint32_t addr16 = 0;  // old word 1: address in 16-bit units from 0
  uint32_t nk = 1, npas = 0, ni = 1, nj = 1;
  char nomvar[3] = "TT", typvar = 'P';
  uint32_t nbits = 16, ip1 = 0, ip2 = 0, ip3 = 0;
  bool deleted = false;
  char etiket[9] = "OLDLABEL";
  uint32_t ig1 = 0, ig2 = 0, ig3 = 0, ig4 = 0;
  char grtyp = 'G';
  uint32_t datyp = 1;
  uint32_t date = 0;  // old word 13, stored form
  uint32_t deet = 0;
  uint32_t len16 = 4;       // old word 15: data length in 16-bit units
  uint32_t eof_level = 0;   // sequential header word 16
  uint32_t prev_block = 0;  // sequential header word 18
};

std::vector<uint32_t> pack(const OldFields &f, int nwords) {
  std::vector<uint32_t> w(static_cast<size_t>(nwords), 0);
  auto c = [](char ch) { return static_cast<uint32_t>(static_cast<unsigned char>(ch)); };
  w[0] = f.addr16;
  w[1] = (f.npas & 0xFFFF) << 16 | f.nk << 4;
  w[2] = f.ni << 16 | f.nj;
  w[3] = c(f.nomvar[0]) << 24 | c(f.nomvar[1]) << 16 | c(f.typvar) << 8 | f.nbits;
  w[4] = f.ip1 << 16 | f.ip2;
  w[5] = f.ip3 << 16 | (f.deleted ? 0x100u : 0u) | (f.npas >> 16);
  w[6] = c(f.etiket[0]) << 24 | c(f.etiket[1]) << 16 | c(f.etiket[2]) << 8 | c(f.etiket[3]);
  w[7] = c(f.etiket[4]) << 24 | c(f.etiket[5]) << 16 | c(f.etiket[6]) << 8 | c(f.etiket[7]);
  w[9] = f.ig2 & 0xFFFF;
  w[10] = f.ig3 << 16 | f.ig4;
  w[11] = c(f.grtyp) << 24 | f.datyp << 16 | f.ig1;
  w[12] = f.date;
  w[13] = f.deet;
  w[14] = f.len16;
  if (nwords >= 30) {
    w[15] = f.eof_level;
    w[17] = f.prev_block;
    w[28] = w[29] = old::kSequentialMark;
  }
  return w;
}

uint32_t stored(int stamp) { return static_cast<uint32_t>((stamp / 10) * 8 + stamp % 10); }

int stamp_of(int yyyymmdd, int hhmmss) {
  int s = 0, d = yyyymmdd, t = hhmmss * 100, mode = 3;
  EXPECT_EQ(newdate_(&s, &d, &t, &mode), 0);
  return s;
}

// An old random file of the given entries; entry i's data (len16 / 4
// units) follow the directory, each filled with i + 1.
std::vector<uint32_t> old_random(std::vector<OldFields> entries, int64_t declared = -1) {
  const size_t n = entries.size();
  std::vector<uint32_t> file(30 + 15 * n, 0);
  file[0] = file[1] = old::kRandomMark;
  file[4] = static_cast<uint32_t>(declared >= 0 ? declared : static_cast<int64_t>(n));
  if (file.size() % 2) file.push_back(0);
  for (size_t i = 0; i < n; ++i) {
    OldFields &f = entries[i];
    f.addr16 = static_cast<uint32_t>(2 * file.size());  // its word address - 1, in halves
    const std::vector<uint32_t> w = pack(f, 15);
    std::copy(w.begin(), w.end(), file.begin() + 30 + 15 * static_cast<long>(i));
    file.insert(file.end(), 2 * ((f.len16 + 3) / 4), static_cast<uint32_t>(i + 1));
  }
  return file;
}

class OldFormat : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
  void TearDown() override { c_xdfopt("ERRTOLR", "ERROR", 0); }
  TempDir dir;

  static std::vector<uint32_t> found_ip1(int iun, uint32_t *keys) {
    std::vector<uint32_t> out;
    for (int h = c_xdfloc(iun, 0, keys, 16); h > 0 && out.size() < 1000;
         h = c_xdfloc(iun, -1, nullptr, 0)) {
      int a, l, t;
      uint32_t k[16];
      EXPECT_EQ(c_xdfprm(h, &a, &l, &t, k, 16), 0);
      out.push_back(k[12] >> 4);
    }
    return out;
  }
  static void any(uint32_t *keys) {
    for (int i = 0; i < 16; ++i) keys[i] = kAny;
  }
};

TEST_F(OldFormat, EntryConversion) {
  OldFields f;
  f.ni = 300, f.nj = 2, f.nk = 5, f.nbits = 12, f.datyp = 5, f.grtyp = 'Z';
  f.npas = 0x12345;  // above 16 bits: the high part comes from word 6
  f.deet = 3600;
  f.ip1 = 0xFFFF, f.ip2 = 12, f.ip3 = 0x8001;
  f.ig1 = 11, f.ig2 = 0xABCD, f.ig3 = 33, f.ig4 = 44;
  f.nomvar[0] = 'u', f.nomvar[1] = 'v';
  f.typvar = 'a';
  std::memcpy(f.etiket, "run_12ab", 8);
  f.date = 0x1035BB94;
  const std::vector<uint32_t> w = pack(f, 15);
  uint32_t e[18] = {};
  old::convert_keys(w.data(), e);
  EXPECT_EQ(e[2], 3600u << 8 | 12);
  EXPECT_EQ(e[3], 300u << 8 | 'Z');
  EXPECT_EQ(e[4], 2u << 8 | 5);
  EXPECT_EQ(e[5], 5u << 12);
  EXPECT_EQ(e[6], 0x12345u << 6);
  EXPECT_EQ(e[7], 44u << 8);  // ig2 top byte 0
  EXPECT_EQ(e[8], 11u << 8 | 0xAB);
  EXPECT_EQ(e[9], 33u << 8 | 0xCD);
  // Names in the 6-bit code, lower case folded: R U N _ 1 | 2 A B.
  auto c6 = [](char ch) { return static_cast<uint32_t>(ch - 32); };
  EXPECT_EQ(e[10], c6('R') << 26 | c6('U') << 20 | c6('N') << 14 | c6('_') << 8 | c6('1') << 2);
  EXPECT_EQ(e[11], c6('2') << 26 | c6('A') << 20 | c6('B') << 14);
  EXPECT_EQ(e[12], c6('A') << 14);
  EXPECT_EQ(e[13], c6('U') << 26 | c6('V') << 20);
  EXPECT_EQ(e[14], 0xFFFFu << 4);
  EXPECT_EQ(e[15], 12u << 4);
  EXPECT_EQ(e[16], 0x8001u << 4);
  // 3600 x npas is whole hours: the date is kept.
  EXPECT_EQ(e[17], 0x1035BB94u);
}

TEST_F(OldFormat, OldNamesKeepEveryByte) {
  // An old name is eight bytes, not a C string: a NUL in it is coded as the
  // character it is (code 32), and the characters after it are kept.
  OldFields f;
  std::memcpy(f.etiket, "AB\0CD~{}", 8);
  const std::vector<uint32_t> w = pack(f, 15);
  uint32_t e[18] = {};
  old::convert_keys(w.data(), e);
  auto c6 = [](char ch) {
    return static_cast<uint32_t>(static_cast<unsigned char>(ch) - 32) & 0x3F;
  };
  EXPECT_EQ(e[10], c6('A') << 26 | c6('B') << 20 | 32u << 14 | c6('C') << 8 | c6('D') << 2);
  // '~' (126) and '{' (123) fold onto '^' and '['; '}' onto ']'.
  EXPECT_EQ(e[11], c6('^') << 26 | c6('[') << 20 | c6(']') << 14);
}

TEST_F(OldFormat, DateAdjustment) {
  const int noon = stamp_of(20200101, 120000);
  // D = 2100 s: r = 300 - 1800 = -1500 s, 25 minutes back.
  EXPECT_EQ(old::adjusted_date(stored(noon), 300, 7), stored(stamp_of(20200101, 113500)));
  // D = 8100 s: r = 2700 - 1800 = 900 s, 15 minutes forward.
  EXPECT_EQ(old::adjusted_date(stored(noon), 900, 9), stored(stamp_of(20200101, 121500)));
  // Whole hours and no step at all: unchanged.
  EXPECT_EQ(old::adjusted_date(stored(noon), 1800, 4), stored(noon));
  EXPECT_EQ(old::adjusted_date(stored(noon), 0, 12345), stored(noon));
  // 65535 x 950288 needs 40 bits; cut to 32 bits it is -2147385360
  // seconds, whose remainder is ((-2147385360 + 1800) mod 3600) - 1800,
  // the remainder taking the sign of the dividend: -1560 - 1800 = -3360 s.
  EXPECT_EQ(old::adjusted_date(stored(noon), 65535, 950288), stored(stamp_of(20200101, 110400)));
}

TEST_F(OldFormat, LengthsStayInTheirField) {
  uint32_t w[30] = {};
  w[14] = 0xFFFFFFFFu;  // (w + 3) / 4 formed without overflow, then cut to 24 bits
  EXPECT_EQ(old::data_units(w), 0u);
  w[14] = 13;
  EXPECT_EQ(old::data_units(w), 4u);
  EXPECT_EQ(old::sequential_record_units(w), 19u);
  w[14] = 0xFFFFFFC1u;  // wraps to 0 units: could never advance
  EXPECT_EQ(old::sequential_record_units(w), 0u);
}

TEST_F(OldFormat, RandomFileOfTwoPagesWithADeletedEntry) {
  std::vector<OldFields> entries(300);
  for (int i = 0; i < 300; ++i) {
    entries[i].ip1 = static_cast<uint32_t>(i);
    entries[i].len16 = 4 + 4 * (i % 3);
  }
  entries[7].deleted = true;
  entries[260].deleted = true;
  const std::string path = dir.file("r300.vkt");
  write_words(path, old_random(entries));
  OpenUnit u(21, path, "RND", "R-W");
  ASSERT_EQ(u.result(), 0);
  zep::xdf::FileEntry &f = u.entry();
  EXPECT_EQ(f.old_format, 1);
  ASSERT_EQ(f.npages, 2);
  EXPECT_EQ(f.dir_page[0]->entry_count(), 256);
  EXPECT_EQ(f.dir_page[1]->entry_count(), 44);
  EXPECT_EQ(f.nrecords, 300);
  EXPECT_EQ(f.dir_page[0]->entry(7)[0] >> 24, 128u);
  EXPECT_TRUE(zep::xdf::row_read_only(f));

  uint32_t keys[16];
  any(keys);
  const std::vector<uint32_t> all = found_ip1(21, keys);
  ASSERT_EQ(all.size(), 298u);
  EXPECT_EQ(all[7], 8u);
  EXPECT_EQ(all.back(), 299u);
  // The deleted entries are never found, even by their own keys.
  keys[12] = 7u << 4;
  EXPECT_TRUE(found_ip1(21, keys).empty());
  keys[12] = 260u << 4;
  EXPECT_TRUE(found_ip1(21, keys).empty());
  keys[12] = 261u << 4;
  ASSERT_EQ(found_ip1(21, keys), std::vector<uint32_t>{261});

  // The record of entry 261 is its data alone, at its own address.
  const int h = c_xdfloc(21, 0, keys, 16);
  ASSERT_GT(h, 0);
  int a, l, t;
  uint32_t k[16];
  ASSERT_EQ(c_xdfprm(h, &a, &l, &t, k, 16), 0);
  EXPECT_EQ(t, 1);
  EXPECT_EQ(l, 1 + 261 % 3);
  std::vector<uint32_t> buf(9 + 2 * l + 4, 0xEEEEEEEEu);
  buf[0] = static_cast<uint32_t>(-static_cast<int32_t>(buf.size()));
  buf[1] = 0xFFFFFFFFu;
  ASSERT_EQ(c_xdfget2(h, buf.data(), nullptr), 0);
  for (int i = 0; i < 2 * l; ++i) EXPECT_EQ(buf[9 + i], 262u) << i;

  // Nothing is ever written to an old file.
  std::vector<uint32_t> rec = record_buffer(40);
  uint32_t none[16];
  any(none);
  c_xdfopt("ERRTOLR", "FATAL", 0);
  EXPECT_EQ(c_xdfput(21, 0, rec.data()), zep::xdf::ERR_BAD_BUFFER);
  EXPECT_EQ(c_xdfdel(h), zep::xdf::ERR_NO_DELETE);
}

TEST_F(OldFormat, DamagedRandomFiles) {
  std::vector<OldFields> entries(3);
  const std::string path = dir.file("bad.vkt");
  // An entry count past the end of the file: a damaged directory.
  write_words(path, old_random(entries, 1000));
  {
    OpenUnit u(22, path, "RND", "READ");
    EXPECT_EQ(u.result(), zep::xdf::ERR_DAMAGED);
    EXPECT_EQ(zep::xdf::file_index(22), -1);
  }
  write_words(path, old_random(entries, 0xFFFFFFFBu));  // -5 as a signed word
  {
    OpenUnit u(22, path, "RND", "READ");
    EXPECT_EQ(u.result(), zep::xdf::ERR_DAMAGED);
  }
  // An entry whose data would run past the end: present but deleted.
  std::vector<uint32_t> file = old_random(entries);
  file[30 + 15 + 14] = 400;  // entry 2 claims 100 units
  write_words(path, file);
  OpenUnit u(22, path, "RND", "READ");
  ASSERT_EQ(u.result(), 0);
  EXPECT_EQ(u.entry().dir_page[0]->entry(1)[0] >> 24, 255u);
  uint32_t keys[16];
  any(keys);
  EXPECT_EQ(found_ip1(22, keys).size(), 2u);
}

// An old sequential file: record A (ip1 1), a deleted record (ip1 2),
// record B (ip1 3), a mark of level 1, record C (ip1 4). Each record is 30
// header words and 30 data words (2 blocks).
std::vector<uint32_t> old_sequential(uint32_t level = 1) {
  std::vector<uint32_t> file;
  uint32_t prev_block = 0;
  auto add = [&](OldFields f, uint32_t fill) {
    const uint32_t block = static_cast<uint32_t>(file.size() / 30);
    f.prev_block = prev_block;
    prev_block = block;
    f.addr16 = static_cast<uint32_t>(2 * file.size());
    const std::vector<uint32_t> h = pack(f, 30);
    file.insert(file.end(), h.begin(), h.end());
    if (f.eof_level == 0) file.insert(file.end(), 2 * ((f.len16 + 3) / 4), fill);
  };
  OldFields r;
  r.len16 = 60;
  for (uint32_t ip1 : {1u, 2u, 3u}) {
    r.ip1 = ip1;
    r.deleted = ip1 == 2;
    add(r, 100 + ip1);
  }
  OldFields mark;
  mark.len16 = 0;
  mark.eof_level = level;
  add(mark, 0);
  r.ip1 = 4;
  r.deleted = false;
  add(r, 104);
  return file;
}

TEST_F(OldFormat, SequentialSearchStopsAtTheMark) {
  const std::string path = dir.file("s.vkt");
  write_words(path, old_sequential());
  OpenUnit u(23, path, "RND", "READ");
  ASSERT_EQ(u.result(), 0);
  zep::xdf::FileEntry &f = u.entry();
  EXPECT_EQ(f.xdf_seq, 1);
  EXPECT_EQ(f.cur_addr, 1);
  uint32_t keys[16];
  any(keys);
  const int first = c_xdfloc(23, 0, keys, 16);
  ASSERT_GT(first, 0);
  const int second = c_xdfloc(23, -1, nullptr, 0);
  ASSERT_GT(second, 0);
  // Handles count 15-unit blocks: record B starts at word 121, unit offset 60.
  EXPECT_EQ((second >> 7) & 0x3FFFFF, 4);
  int a, l, t;
  uint32_t k[16];
  ASSERT_EQ(c_xdfprm(second, &a, &l, &t, k, 16), 0);
  EXPECT_EQ(a, 61);
  EXPECT_EQ(l, 30);
  EXPECT_EQ(k[12] >> 4, 3u);
  // The data alone skips the 30 header words.
  std::vector<uint32_t> buf(9 + 60 + 2, 0);
  buf[0] = static_cast<uint32_t>(-static_cast<int32_t>(buf.size()));
  buf[1] = 0xFFFFFFFFu;
  ASSERT_EQ(c_xdfget2(second, buf.data(), nullptr), 0);
  EXPECT_EQ(buf[9], 103u);
  EXPECT_EQ(buf[9 + 29], 103u);
  EXPECT_EQ(buf[9 + 30], 0u);
  // The mark ends the search, and the search stays on it.
  EXPECT_EQ(c_xdfloc(23, -1, nullptr, 0), zep::xdf::ERR_NOT_FOUND);
  EXPECT_EQ(f.head_keys[0] >> 24, 113u);
  EXPECT_EQ(old::eof_level(f), 1);
  EXPECT_EQ(c_xdfloc(23, -1, nullptr, 0), zep::xdf::ERR_NOT_FOUND);
  // A search started after record A finds B again.
  EXPECT_EQ(c_xdfloc(23, first, nullptr, 0), second);
  // A search by key passes over the deleted record.
  keys[12] = 2u << 4;
  EXPECT_EQ(c_xdfloc(23, 0, keys, 16), zep::xdf::ERR_NOT_FOUND);
}

TEST_F(OldFormat, SequentialPositioning) {
  const std::string path = dir.file("p.vkt");
  write_words(path, old_sequential(31));
  OpenUnit u(24, path, "RND", "READ");
  ASSERT_EQ(u.result(), 0);
  zep::xdf::FileEntry &f = u.entry();
  bool at_end = false;
  ASSERT_EQ(old::skip(f, 2, &at_end), 0);
  EXPECT_FALSE(at_end);
  EXPECT_EQ(f.cur_addr, 121);  // the deleted record counts as one
  EXPECT_EQ(old::eof_level(f), 0);
  ASSERT_EQ(old::skip(f, 5, &at_end), 0);
  EXPECT_TRUE(at_end);
  EXPECT_EQ(f.cur_addr, 181);        // on the mark
  EXPECT_EQ(old::eof_level(f), 15);  // level 31 reported as 15
  // Backward through word 18 of each header, down to the start.
  ASSERT_EQ(old::skip(f, -1, &at_end), 0);
  EXPECT_EQ(f.cur_addr, 121);
  ASSERT_EQ(old::skip(f, -1, &at_end), 0);
  EXPECT_EQ(f.cur_addr, 61);
  ASSERT_EQ(old::skip(f, -4, &at_end), 0);
  EXPECT_EQ(f.cur_addr, 1);
  // Appending positions on the first mark; past it, at the end of the data.
  ASSERT_EQ(old::append_position(f), 0);
  EXPECT_EQ(f.cur_addr, 181);
  EXPECT_EQ(f.next_write, 181);
  f.cur_addr = 211;
  ASSERT_EQ(old::append_position(f), 0);
  EXPECT_EQ(f.cur_addr, 271);
  EXPECT_EQ(old::eof_level(f), 15);
  // Backward from the end of the data walks the records from the start.
  ASSERT_EQ(old::skip(f, -1, &at_end), 0);
  EXPECT_EQ(f.cur_addr, 211);
}

TEST_F(OldFormat, DamagedSequentialFiles) {
  std::vector<uint32_t> file = old_sequential();
  file[60 + 14] = 0xFFFFFFC1u;  // the deleted record's length wraps to 0
  const std::string path = dir.file("d.vkt");
  write_words(path, file);
  {
    OpenUnit u(25, path, "RND", "READ");
    ASSERT_EQ(u.result(), 0);
    uint32_t keys[16];
    any(keys);
    ASSERT_GT(c_xdfloc(25, 0, keys, 16), 0);
    EXPECT_EQ(c_xdfloc(25, -1, nullptr, 0), zep::xdf::ERR_DAMAGED);
    bool at_end;
    u.entry().cur_addr = 61;
    EXPECT_EQ(old::skip(u.entry(), 1, &at_end), zep::xdf::ERR_DAMAGED);
    u.entry().cur_addr = 1;
    EXPECT_EQ(old::append_position(u.entry()), zep::xdf::ERR_DAMAGED);
  }
  // A record not on a block boundary cannot be named by a handle: A holds
  // one data unit, so B starts at unit offset 16.
  OldFields a;
  a.len16 = 4;
  file = pack(a, 30);
  file.insert(file.end(), 2, 7u);
  const std::vector<uint32_t> b = pack(a, 30);
  file.insert(file.end(), b.begin(), b.end());
  file.insert(file.end(), 2, 8u);
  write_words(path, file);
  OpenUnit u(25, path, "RND", "READ");
  ASSERT_EQ(u.result(), 0);
  uint32_t keys[16];
  any(keys);
  ASSERT_GT(c_xdfloc(25, 0, keys, 16), 0);
  EXPECT_EQ(c_xdfloc(25, -1, nullptr, 0), zep::xdf::ERR_DAMAGED);
}

TEST_F(OldFormat, GoldenFilesOpenInTheirLayouts) {
  for (const char *name : {"old_random.vkt", "old_sequential.vkt"}) {
    const std::string path = std::string(kGolden) + name;
    if (!exists(path)) GTEST_SKIP() << "golden file absent";
    OpenUnit u(26, path, "RND+R/O", "READ");
    ASSERT_EQ(u.result(), 0) << name;
    uint32_t keys[16];
    any(keys);
    int n = 0;
    for (int h = c_xdfloc(26, 0, keys, 16); h > 0 && n < 100; h = c_xdfloc(26, -1, nullptr, 0)) ++n;
    // 9 entries with one deleted; 4 records with one deleted before a mark.
    EXPECT_EQ(n, u.entry().xdf_seq ? 3 : 8) << name;
  }
}

}  // namespace
