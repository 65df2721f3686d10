// Members of KWAARC archives, opened as word-addressable files under names
// of the form archive@member.
//
// Layout (lengths count 8-byte units):
//   form A: "KWAARCHS" at byte 0, entries from byte 8;
//   form B: h (prologue length) at bytes 0-3, 0 at bytes 4-7, "KWAARCHS" at
//           bytes 9-16, entries from byte h × 8.
//   entry:  nt (whole entry) and nd (member data), both big-endian; then a
//           header of (nt - nd - 2) × 8 bytes whose byte 1 starts the
//           NUL-terminated member name; then nd × 8 bytes of data; then an
//           8-byte trailer.
// h is big-endian in archives written on big-endian hosts; when read that
// way it gives no sensible prologue, it is read little-endian.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/big_endian.h"
#include "io/file_table.h"
#include "io/word_file.h"

namespace zep::io {

namespace {

constexpr uint64_t kMaxEntryHeader = 4096;

bool read_exact(int fd, void *buf, uint64_t n, int64_t pos) {
  return read_at(fd, buf, n, pos) == static_cast<int64_t>(n);
}

uint32_t load_le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

MemberPosition filepos(int index) {
  auto not_found = [](int64_t code) { return MemberPosition{code, 0}; };
  FileEntry &e = file_entry(index);
  const int fd = e.fd;
  struct stat st;
  if (::fstat(fd, &st) != 0) return not_found(-1);
  const uint64_t file_len = static_cast<uint64_t>(st.st_size);
  const std::string member = e.subname ? *e.subname : std::string();

  unsigned char head[25];
  if (!read_exact(fd, head, 8, 0)) {
    std::fprintf(stderr, "%s is not a KWAARC type file\n", e.file_name.c_str());
    return not_found(-1);
  }
  uint64_t pos = 8;
  if (std::memcmp(head, "KWAARCHS", 8) != 0) {
    if (!read_exact(fd, head + 8, 17, 8) || std::memcmp(head + 9, "KWAARCHS", 8) != 0) {
      std::fprintf(stderr, "%s is not a KWAARC type file\n", e.file_name.c_str());
      return not_found(-1);
    }
    const uint32_t zero_word = zep::load_be32(head + 4);
    if (zero_word != 0) {
      std::fprintf(stderr, "%s is a KWAARC file but nd=%d\n", e.file_name.c_str(),
                   static_cast<int>(zero_word));
      return not_found(-1);
    }
    auto sensible = [file_len](uint64_t h) { return h * 8 >= 17 && h * 8 <= file_len; };
    uint64_t h = zep::load_be32(head);
    if (!sensible(h)) h = load_le32(head);
    if (!sensible(h)) return not_found(-1);
    pos = h * 8;
  }

  std::vector<char> header;
  for (;;) {
    unsigned char counts[8];
    if (pos + 8 > file_len || !read_exact(fd, counts, 8, static_cast<int64_t>(pos)))
      return not_found(-2);
    const uint64_t nt = zep::load_be32(counts);
    const uint64_t nd = zep::load_be32(counts + 4);
    // A sound entry advances, holds its two count words and trailer, has a
    // bounded header and lies inside the archive.
    if (nt < nd + 2 || (nt - nd - 2) * 8 > kMaxEntryHeader || pos + nt * 8 > file_len)
      return not_found(-2);
    const uint64_t header_len = (nt - nd - 2) * 8;
    header.assign(header_len, 0);
    if (header_len > 0 && !read_exact(fd, header.data(), header_len, static_cast<int64_t>(pos + 8)))
      return not_found(-3);
    if (header_len > 1) {
      const char *name = header.data() + 1;
      const void *nul = std::memchr(name, '\0', header_len - 1);
      if (nul != nullptr &&
          static_cast<const char *>(nul) - name == static_cast<ptrdiff_t>(member.size()) &&
          std::memcmp(name, member.data(), member.size()) == 0) {
        const uint64_t data_pos = pos + 8 + header_len;
        return MemberPosition{static_cast<int64_t>(data_pos / 4), static_cast<int64_t>(nd * 2)};
      }
    }
    pos += nt * 8;
  }
}

}  // namespace zep::io
