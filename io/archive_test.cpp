// Archive members opened as word-addressable files: both prologue forms,
// member sizes and offsets, read-only access, and damaged archives that
// must give "not found" rather than reads past the buffer or endless loops.
#include <gtest/gtest.h>

#include <cstring>

#include "io/test_support.h"
#include "io/word_reader.h"

namespace {

using io_test::be_words;
using io_test::write_bytes;

struct Member {
  std::string name;
  std::vector<uint32_t> data;  // an even number of words
};

void put_be32(std::vector<unsigned char> &out, uint32_t v) {
  unsigned char b[4];
  zep::store_be32(b, v);
  out.insert(out.end(), b, b + 4);
}

// One archive entry: counts, header (byte 0 unused, then the name), data, trailer.
void append_entry(std::vector<unsigned char> &out, const Member &m) {
  const size_t header_units = (1 + m.name.size() + 1 + 7) / 8;
  const uint32_t nd = static_cast<uint32_t>(m.data.size() / 2);
  put_be32(out, static_cast<uint32_t>(header_units + nd + 2));
  put_be32(out, nd);
  std::vector<unsigned char> header(header_units * 8, 0);
  header[0] = 'h';
  std::memcpy(header.data() + 1, m.name.data(), m.name.size());
  out.insert(out.end(), header.begin(), header.end());
  const auto data = be_words(m.data);
  out.insert(out.end(), data.begin(), data.end());
  out.insert(out.end(), 8, 't');
}

std::vector<unsigned char> archive_form_a(const std::vector<Member> &members) {
  std::vector<unsigned char> out = {'K', 'W', 'A', 'A', 'R', 'C', 'H', 'S'};
  for (const Member &m : members) append_entry(out, m);
  return out;
}

// Prologue of h 8-byte units with h stored in the given byte order.
std::vector<unsigned char> archive_form_b(const std::vector<Member> &members, uint32_t h,
                                          bool little_endian) {
  std::vector<unsigned char> out(h * 8, ' ');
  if (little_endian) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(h >> (8 * i));
  } else {
    zep::store_be32(out.data(), h);
  }
  std::memset(out.data() + 4, 0, 4);
  std::memcpy(out.data() + 9, "KWAARCHS", 8);
  for (const Member &m : members) append_entry(out, m);
  return out;
}

const std::vector<Member> kMembers = {
    {"first", {1, 2, 3, 4}},
    {"second.fld", {0xA0000001u, 0xA0000002u, 0xA0000003u, 0xA0000004u, 0xA0000005u, 0xA0000006u}},
    {"", {7, 8}},
};

class ArchiveTest : public io_test::IoTest {
 protected:
  // Binds archive@member to `unit`; returns c_fnom's result and the messages.
  int bind(int unit, const std::string &archive, const std::string &member,
           std::string *err = nullptr) {
    testing::internal::CaptureStderr();
    const int r = c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(unit)),
                         (archive + "@" + member).c_str(), "RND", 0);
    const std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return r;
  }
  void expect_second_member(int unit) {
    std::vector<uint32_t> buf(10, 0);
    EXPECT_EQ(c_wasize(unit), 6);
    EXPECT_EQ(c_waread2(unit, buf.data(), 1, 10), 6);
    EXPECT_EQ(buf[0], 0xA0000001u);
    EXPECT_EQ(buf[5], 0xA0000006u);
    EXPECT_EQ(buf[6], 0u);
    EXPECT_EQ(c_waread2(unit, buf.data(), 6, 1), 1);
    EXPECT_EQ(buf[0], 0xA0000006u);
    EXPECT_EQ(c_waread2(unit, buf.data(), 9, 1), -2);
    // Positioned reads see the member alone too.
    const zep::io::WordReader reader = zep::io::WordReader::of_unit(unit);
    ASSERT_TRUE(reader.usable());
    EXPECT_EQ(reader.size(), 6);
    std::fill(buf.begin(), buf.end(), 0u);
    EXPECT_TRUE(reader.read(buf.data(), 2, 5));
    EXPECT_EQ(buf[0], 0xA0000002u);
    EXPECT_EQ(buf[4], 0xA0000006u);
    EXPECT_FALSE(reader.read(buf.data(), 2, 6));
  }
};

TEST_F(ArchiveTest, FormAMembersOpenByName) {
  const std::string arch = dir_.file("plain.arc");
  write_bytes(arch, archive_form_a(kMembers));
  ASSERT_EQ(bind(10, arch, "second.fld"), 0);
  const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(10));
  EXPECT_EQ(e.file_name, arch);
  EXPECT_EQ(*e.subname, "second.fld");
  EXPECT_TRUE(e.has(zep::io::kAttrReadOnly | zep::io::kAttrOld));
  EXPECT_EQ(e.size, static_cast<int32_t>(archive_form_a(kMembers).size() / 4));
  expect_second_member(10);
  const int64_t offset = zep::io::wa_table()[zep::io::wa_slot_of_fd(e.fd)].offset;
  EXPECT_EQ(offset, (8 + 40 + 8 + 16) / 4);  // magic, first entry, counts and header of the second

  ASSERT_EQ(bind(11, arch, "first"), 0);
  uint32_t w[4] = {};
  EXPECT_EQ(c_waread2(11, w, 1, 4), 4);
  EXPECT_EQ(w[3], 4u);

  // Members are read-only.
  uint32_t x = 9;
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_wawrit2(11, &x, 1, 1), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("is READ ONLY"), std::string::npos);
}

TEST_F(ArchiveTest, FormBWithEitherByteOrderOfTheCount) {
  for (bool little : {false, true}) {
    const std::string arch = dir_.file(little ? "le.arc" : "be.arc");
    write_bytes(arch, archive_form_b(kMembers, 5, little));
    ASSERT_EQ(bind(12, arch, "second.fld"), 0) << little;
    expect_second_member(12);
    ASSERT_EQ(bind(13, arch, ""), 0) << little;  // the member with an empty name
    uint32_t w[2] = {};
    EXPECT_EQ(c_waread2(13, w, 1, 2), 2);
    EXPECT_EQ(w[1], 8u);
    c_waclos2(12);
    c_waclos2(13);
    c_fclos(12);
    c_fclos(13);
  }
}

TEST_F(ArchiveTest, MissingMembersAndForeignFiles) {
  const std::string arch = dir_.file("a.arc");
  write_bytes(arch, archive_form_a(kMembers));
  std::string err;
  EXPECT_EQ(bind(14, arch, "third"), -1);
  EXPECT_LT(zep::io::file_index_of(14), 0);
  EXPECT_EQ(bind(14, arch, "firs", &err), -1);  // a prefix of a name is not the name
  EXPECT_EQ(err, "qqcopen error: subfile firs not found in " + arch + "\n");

  const std::string other = dir_.file("other.dat");
  write_bytes(other, std::vector<unsigned char>(64, 'z'));
  EXPECT_EQ(bind(15, other, "first", &err), -1);
  EXPECT_EQ(err, other + " is not a KWAARC type file\nqqcopen error: subfile first not found in " +
                     other + "\n");

  auto bad = archive_form_b(kMembers, 5, false);
  bad[6] = 3;
  const std::string badnd = dir_.file("badnd.arc");
  write_bytes(badnd, bad);
  EXPECT_EQ(bind(16, badnd, "first", &err), -1);
  EXPECT_EQ(err, badnd +
                     " is a KWAARC file but nd=768\nqqcopen error: subfile first not found in " +
                     badnd + "\n");

  const std::string missing = dir_.file("missing.arc");
  EXPECT_EQ(bind(17, missing, "first", &err), -1);
  EXPECT_EQ(err, "c_fnom error: file " + missing + " should exist and does not\n");
  // No descriptor or slot is left behind by the failures.
  for (const auto &slot : zep::io::wa_table()) EXPECT_EQ(slot.fd, -1);
}

TEST_F(ArchiveTest, DamagedEntriesAreNotFound) {
  auto with_second_entry = [](auto damage) {
    auto bytes = archive_form_a(kMembers);
    damage(bytes);
    return bytes;
  };
  // The second entry starts after the 8-byte magic and the first entry
  // (8 counts + 8 header + 16 data + 8 trailer).
  const size_t second = 8 + 40;
  struct Case {
    const char *what;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"nt 0", with_second_entry([&](auto &b) { zep::store_be32(b.data() + second, 0); })},
      {"nt below nd + 2", with_second_entry([&](auto &b) {
         zep::store_be32(b.data() + second, zep::load_be32(b.data() + second + 4) + 1);
       })},
      {"data past the end", with_second_entry([&](auto &b) {
         zep::store_be32(b.data() + second + 4, 1000);
         zep::store_be32(b.data() + second, 1004);
       })},
      {"huge counts", with_second_entry([&](auto &b) {
         zep::store_be32(b.data() + second, 0xFFFFFFFFu);
         zep::store_be32(b.data() + second + 4, 0xFFFFFFF0u);
       })},
      {"header over 4 KiB", with_second_entry([&](auto &b) {
         zep::store_be32(b.data() + second, 600);
         zep::store_be32(b.data() + second + 4, 0);
       })},
      {"cut short", with_second_entry([&](auto &b) { b.resize(second + 20); })},
      {"prologue longer than the file",
       [] {
         auto b = archive_form_b(kMembers, 5, false);
         zep::store_be32(b.data(), 5000);
         return b;
       }()},
      {"prologue shorter than its magic",
       [] {
         auto b = archive_form_b(kMembers, 5, false);
         zep::store_be32(b.data(), 2);
         return b;
       }()},
  };
  for (const Case &c : cases) {
    const std::string arch = dir_.file("damaged.arc");
    write_bytes(arch, c.bytes);
    std::string err;
    EXPECT_EQ(bind(18, arch, "second.fld", &err), -1) << c.what;
    EXPECT_NE(err.find("qqcopen error: subfile second.fld not found in"), std::string::npos)
        << c.what << ": " << err;
    EXPECT_LT(zep::io::file_index_of(18), 0) << c.what;
  }
  // A name without its terminator inside the header never matches, and the
  // search goes on to the next entry.
  std::vector<Member> unterminated = {{"abcdef", {1, 2}}, {"second.fld", kMembers[1].data}};
  auto bytes = archive_form_a(unterminated);
  bytes[8 + 8 + 7] = 'g';  // "abcdefg" fills the 8-byte header to its end
  const std::string arch = dir_.file("unterminated.arc");
  write_bytes(arch, bytes);
  EXPECT_EQ(bind(19, arch, "abcdefg"), -1);
  ASSERT_EQ(bind(19, arch, "second.fld"), 0);
  expect_second_member(19);
}

TEST_F(ArchiveTest, MembersThroughThePageCache) {
  const std::string arch = dir_.file("cached.arc");
  std::vector<uint32_t> big(3000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = 0x50000000u + static_cast<uint32_t>(i);
  write_bytes(arch, archive_form_a({{"small", {1, 2}}, {"big", big}}));
  auto scenario = [&]() {
    std::string failures;
    testing::internal::CaptureStderr();
    const int r = c_fnom(reinterpret_cast<void *>(20), (arch + "@big").c_str(), "RND", 0);
    testing::internal::GetCapturedStderr();
    if (r != 0) return std::string("bind failed\n");
    if (c_wasize(20) != 3000) failures += "size " + std::to_string(c_wasize(20)) + "\n";
    std::vector<uint32_t> buf(40);
    if (c_waread2(20, buf.data(), 1010, 40) != 40) failures += "read count\n";
    for (int i = 0; i < 40; ++i)
      if (buf[i] != 0x50000000u + 1009 + static_cast<uint32_t>(i))
        failures += "word " + std::to_string(i) + "\n";
    if (c_waread2(20, buf.data(), 2990, 40) != 11) failures += "end count\n";
    if (buf[10] != 0x50000000u + 2999) failures += "last word\n";
    // The cache's pages are the reading thread's: no positioned reader.
    if (zep::io::WordReader::of_unit(20).usable()) failures += "reader beside the cache\n";
    return failures;
  };
  IO_RUN_FRESH("1 2", scenario);
}

}  // namespace
