// Sequential files: whole words or bytes read and written at the current
// position of a unit's descriptor, and the position moved to the start or
// the end. Units whose given name began with '%' carry the special-name
// flag: names beginning with '@' or '%' stand for sockets (whose opening
// does nothing here), and names "x0..." or "x1..." for a descriptor given
// by number.
#include "io/sequential_file.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "io/file_table.h"
#include "zep/io.h"
#include "zep/io_seq.h"

namespace zep::io {

int64_t stream_read_full(int fd, void *buf, uint64_t bytes) {
  char *p = static_cast<char *>(buf);
  uint64_t done = 0;
  while (done < bytes) {
    const ssize_t r = ::read(fd, p + done, bytes - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<uint64_t>(r);
  }
  return static_cast<int64_t>(done);
}

int64_t stream_write_full(int fd, const void *buf, uint64_t bytes) {
  const char *p = static_cast<const char *>(buf);
  uint64_t done = 0;
  while (done < bytes) {
    const ssize_t r = ::write(fd, p + done, bytes - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<uint64_t>(r);
  }
  return static_cast<int64_t>(done);
}

namespace {

// Row of iun (with the lookup message under `caller`), or null.
FileEntry *row_of(const char *caller, int iun) {
  const int index = find_file_entry(caller, iun);
  return index < 0 ? nullptr : &file_entry(index);
}

// Moves the descriptor of iun (SEEK_SET or SEEK_END, offset 0); the new
// position, or c_getfdsc's result when it is below 1, or -1.
int seek_unit(const char *caller, int iun, int whence) {
  FileEntry *e = row_of(caller, iun);
  if (e == nullptr) return -1;
  if (e->has(kAttrSpecialName)) return 1;
  const int fd = c_getfdsc(iun);
  if (fd < 1) return fd;
  const off_t pos = ::lseek(fd, 0, whence);
  if (pos < 0) {
    std::fprintf(stderr, "%s error: cannot position unit %d\n", caller, iun);
    return -1;
  }
  if (pos > INT_MAX) {
    std::fprintf(stderr, "%s error: unit %d is longer than %d bytes\n", caller, iun, INT_MAX);
    return -1;
  }
  return static_cast<int>(pos);
}

bool valid_count(const char *caller, int count, int64_t limit) {
  if (count >= 0 && count <= limit) return true;
  std::fprintf(stderr, "%s error: invalid count %d\n", caller, count);
  return false;
}

}  // namespace
}  // namespace zep::io

using zep::io::FileEntry;

extern "C" {

int c_getfdsc(int iun) {
  FileEntry *e = zep::io::row_of("c_getfdsc", iun);
  if (e == nullptr) return -1;
  if (!e->has(zep::io::kAttrStream)) {
    std::fprintf(stderr, "c_getfdsc error: unit %d does not have the STREAM attribute\n", iun);
    return -1;
  }
  if (!e->open) {
    std::fprintf(stderr, "c_getfdsc error: unit %d is not open\n", iun);
    return -1;
  }
  return e->fd;
}

void c_socket_open(void) {}

int c_sqopen(int iun) {
  FileEntry *e = zep::io::row_of("c_sqopen", iun);
  if (e == nullptr) return -1;
  if (e->has(zep::io::kAttrSpecialName)) {
    const std::string &name = e->file_name;
    if (!name.empty() && (name[0] == '@' || name[0] == '%')) {
      c_socket_open();
      return 64;
    }
    if (name.size() >= 2 && (name[1] == '0' || name[1] == '1')) {
      errno = 0;
      char *end = nullptr;
      const long fd = std::strtol(name.c_str() + 1, &end, 10);
      if (errno != 0 || fd < 0 || fd > INT_MAX) {
        std::fprintf(stderr, "c_sqopen error: invalid descriptor number in %s\n", name.c_str());
        return -1;
      }
      e->fd = static_cast<int32_t>(fd);
      return 1;
    }
    if (!name.empty()) e->file_name.erase(0, 1);
  }
  return c_waopen(iun);
}

int c_sqclos(int iun) {
  FileEntry *e = zep::io::row_of("c_sqclos", iun);
  if (e == nullptr) return -1;
  return e->has(zep::io::kAttrWa) ? c_waclos(iun) : 0;
}

int c_sqrew(int iun) { return zep::io::seek_unit("c_sqrew", iun, SEEK_SET); }

int c_sqeoi(int iun) { return zep::io::seek_unit("c_sqeoi", iun, SEEK_END); }

int c_sqgetw(int iun, void *buffer, int nwords) {
  const int fd = c_getfdsc(iun);
  if (fd <= 0) return fd;
  if (!zep::io::valid_count("c_sqgetw", nwords, zep::io::kMaxStreamWords)) return -1;
  const uint64_t bytes = 4 * static_cast<uint64_t>(nwords);
  if (bytes == 0) return 0;
  return zep::io::stream_read_full(fd, buffer, bytes) == static_cast<int64_t>(bytes) ? nwords : -1;
}

int c_sqputw(int iun, const void *buffer, int nwords) {
  const int fd = c_getfdsc(iun);
  if (fd <= 0) return fd;
  if (!zep::io::valid_count("c_sqputw", nwords, zep::io::kMaxStreamWords)) return -1;
  const uint64_t bytes = 4 * static_cast<uint64_t>(nwords);
  if (bytes == 0) return 0;
  return zep::io::stream_write_full(fd, buffer, bytes) == static_cast<int64_t>(bytes) ? nwords : -1;
}

int c_sqgets(int iun, char *buffer, int nbytes) {
  const int fd = c_getfdsc(iun);
  if (fd <= 0) return fd;
  if (!zep::io::valid_count("c_sqgets", nbytes, INT_MAX)) return -1;
  ssize_t r;
  do {
    r = ::read(fd, buffer, static_cast<size_t>(nbytes));
  } while (r < 0 && errno == EINTR);
  return r <= 0 ? -1 : static_cast<int>(r);
}

int c_sqputs(int iun, const char *buffer, int nbytes) {
  const int fd = c_getfdsc(iun);
  if (fd <= 0) return fd;
  if (!zep::io::valid_count("c_sqputs", nbytes, INT_MAX)) return -1;
  ssize_t r;
  do {
    r = ::write(fd, buffer, static_cast<size_t>(nbytes));
  } while (r < 0 && errno == EINTR);
  return r <= 0 ? -1 : static_cast<int>(r);
}

}  // extern "C"
