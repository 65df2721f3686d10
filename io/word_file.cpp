// Word-addressable files: open, close, word reads and writes, sizes, and the
// unpaged transfers. The page cache itself is in page_cache.cpp.
#include "io/word_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/big_endian.h"
#include "common/fatal.h"
#include "io/file_lock.h"
#include "io/file_table.h"
#include "io/scratch_file.h"
#include "zep/io.h"

namespace zep::io {

namespace {

// Largest first number of WA_CONFIG: pages of at most 4096 × 1024 words.
constexpr long long kMaxPageKilowords = 4096;

struct WaState {
  std::array<WaSlot, kMaxWaFiles> slots;
  CacheSettings settings;
  WaState() { configure(); }

  // Reads WA_CONFIG: "size_in_kilowords [pages_per_file [buffer_limit [trace]]]".
  void configure() {
    long long v[4] = {0, 0, 0, 0};
    int n = 0;
    if (const char *cfg = std::getenv("WA_CONFIG")) {
      const char *p = cfg;
      while (n < 4) {
        while (*p == ' ' || *p == '\t' || *p == '\n') ++p;
        char *end = nullptr;
        errno = 0;
        long long x = std::strtoll(p, &end, 10);
        if (end == p) break;
        if (errno == ERANGE) x = x < 0 ? LLONG_MIN : LLONG_MAX;
        v[n++] = x;
        p = end;
      }
    }
    CacheSettings &s = settings;
    if (n >= 1) {
      if (v[0] >= 1 && v[0] <= kMaxPageKilowords) {
        s.page_size = static_cast<int32_t>(v[0] * 1024);
      } else {
        std::fprintf(stderr,
                     "WA_CONFIG warning: page size %lld is outside 1..%lld (units of 1024 words), "
                     "the page cache is off\n",
                     v[0], kMaxPageKilowords);
        s.page_size = 0;
      }
    }
    if (n >= 2) {
      if (v[1] < 1) {
        std::fprintf(stderr, "WA_CONFIG warning: WA_PAGE_NB %lld raised to 1\n", v[1]);
        s.page_nb = 1;
      } else if (v[1] > kMaxPagesPerFile) {
        std::fprintf(stderr, "WA_CONFIG warning: WA_PAGE_NB %lld lowered to %d\n", v[1],
                     kMaxPagesPerFile);
        s.page_nb = kMaxPagesPerFile;
      } else {
        s.page_nb = static_cast<int32_t>(v[1]);
      }
    }
    if (n >= 3) {
      if (v[2] < 0) {
        std::fprintf(stderr, "WA_CONFIG warning: WA_PAGE_LIMIT %lld raised to 1\n", v[2]);
        s.page_limit = 1;
      } else if (v[2] > kMaxPageBuffers) {
        std::fprintf(stderr, "WA_CONFIG warning: WA_PAGE_LIMIT %lld lowered to %d\n", v[2],
                     kMaxPageBuffers);
        s.page_limit = kMaxPageBuffers;
      } else {
        s.page_limit = static_cast<int32_t>(v[2]);
      }
    }
    if (n >= 4)
      s.trace = static_cast<int32_t>(v[3] > INT_MAX ? INT_MAX : (v[3] < INT_MIN ? INT_MIN : v[3]));
    if (s.page_limit == 0) s.page_limit = s.page_nb * kMaxWaFiles;
    if (s.page_size > 0) {
      std::fprintf(stderr, "WA_PAGE_SZ = %d Bytes ", s.page_size * 4);
      std::fprintf(stderr, "WA_PAGE_NB = %d ", s.page_nb);
      std::fprintf(stderr, "WA_PAGE_LIMIT = %d\n", s.page_limit);
    }
  }
};

WaState &wa_state() {
  static WaState s;
  return s;
}

}  // namespace

std::array<WaSlot, kMaxWaFiles> &wa_table() { return wa_state().slots; }
const CacheSettings &wa_settings() { return wa_state().settings; }

int wa_slot_of_fd(int fd) {
  if (fd < 0) return -1;
  auto &t = wa_table();
  for (int i = 0; i < kMaxWaFiles; ++i)
    if (t[i].fd == fd) return i;
  return -1;
}

int64_t read_at(int fd, void *buf, uint64_t bytes, int64_t offset) {
  uint64_t done = 0;
  char *p = static_cast<char *>(buf);
  while (done < bytes) {
    ssize_t r = ::pread(fd, p + done, bytes - done,
                        static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<int64_t>(done) : -1;
    }
    if (r == 0) break;
    done += static_cast<uint64_t>(r);
  }
  return static_cast<int64_t>(done);
}

int64_t write_at(int fd, const void *buf, uint64_t bytes, int64_t offset) {
  uint64_t done = 0;
  const char *p = static_cast<const char *>(buf);
  while (done < bytes) {
    ssize_t r = ::pwrite(fd, p + done, bytes - done,
                         static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<int64_t>(done) : -1;
    }
    if (r == 0) break;
    done += static_cast<uint64_t>(r);
  }
  return static_cast<int64_t>(done);
}

int qqcopen(int index) {
  auto &table = wa_table();  // first call: cache settings, free slots
  const CacheSettings &s = wa_settings();
  FileEntry &e = file_entry(index);
  e.fd = -1;
  int slot = -1;
  for (int i = 0; i < kMaxWaFiles; ++i) {
    if (table[i].fd == -1) {
      slot = i;
      break;
    }
  }
  if (slot < 0) {
    std::fprintf(stderr, "qqcopen error: too many open files\n");
    return -1;
  }
  WaSlot &w = table[slot];
  w.offset = 0;
  int fd = -1;
  int64_t member_words = 0;  // an archive member's size
  auto fail_after_open = [&]() {
    ::close(fd);
    w = WaSlot();
    e.fd = -1;
    e.open = 0;
    return -1;
  };

  if (e.subname) {
    if (s.trace > 4)
      std::fprintf(stderr, "Debug opening subfile %s from file %s\n", e.subname->c_str(),
                   e.file_name.c_str());
    e.set(kAttrReadOnly);
    fd = ::open(e.file_name.c_str(), O_RDONLY);
    if (fd < 0) {
      std::fprintf(stderr, "qqcopen error: cannot open file %s\n", e.file_name.c_str());
      return -1;
    }
    w.fd = fd;
    e.fd = fd;
    const MemberPosition member = filepos(index);
    const int64_t pos = member.position;
    if (pos < 1) {
      std::fprintf(stderr, "qqcopen error: subfile %s not found in %s\n", e.subname->c_str(),
                   e.file_name.c_str());
      return fail_after_open();
    }
    w.offset = pos;
    member_words = member.words;
    e.open = 1;
    if (s.trace > 4)
      std::fprintf(stderr, "Debug subfile found at position %u\n", static_cast<unsigned>(pos));
  } else {
    const char *reason = "";
    struct stat st;
    if (e.scratch) {
      // The scratch file created at binding, and no other.
      fd = reopen_scratch_file(e);
      reason = "cannot open scratch file";
    } else if (::stat(e.file_name.c_str(), &st) == 0) {
      if (e.has(kAttrReadOnly)) {
        fd = ::open(e.file_name.c_str(), O_RDONLY);
        reason = "cannot open file";
      } else {
        fd = ::open(e.file_name.c_str(), O_RDWR);
        if (fd < 0) {
          if (e.has(kAttrRwRequested)) {
            reason = "cannot open in write mode";
          } else {
            e.set(kAttrReadOnly);
            fd = ::open(e.file_name.c_str(), O_RDONLY);
            reason = "cannot open file";
          }
        }
      }
    } else if (errno == ENOENT) {
      fd = ::open(e.file_name.c_str(), O_RDWR | O_CREAT, 0666);
      e.set(kAttrReadOnly, false);
      reason = "cannot create file";
    }
    if (fd < 0) {
      std::fprintf(stderr, "qqcopen error: %s filename=(%s) !\n", reason, e.file_name.c_str());
      return -1;
    }
    w.fd = fd;
    e.fd = fd;
    e.open = 1;
  }

  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "qqcopen error: %s is a directory, not a file\n", e.file_name.c_str());
    return fail_after_open();
  }
  const off_t bytes = ::lseek(fd, 0, SEEK_END);
  if (bytes < 0) {
    std::fprintf(stderr, "qqcopen error: cannot measure file %s\n", e.file_name.c_str());
    return fail_after_open();
  }
  // Sizes are 32-bit word counts: refuse files that cannot be addressed.
  if (bytes / 4 > INT32_MAX) {
    std::fprintf(
        stderr, "qqcopen error: file %s is too large (%lld bytes, at most %lld can be addressed)\n",
        e.file_name.c_str(), static_cast<long long>(bytes), static_cast<long long>(INT32_MAX) * 4);
    return fail_after_open();
  }
  ::lseek(fd, 0, SEEK_SET);
  e.size = e.esize = static_cast<int32_t>(bytes / 4);
  if (member_words > 0) e.esize = static_cast<int32_t>(member_words);

  if (s.page_size == 0) return fd;
  for (int i = 0; i < s.page_nb; ++i) w.page[i] = PageRecord();
  w.npages = 0;
  if (s.trace > 1) {
    std::fprintf(stderr, "Debug ouverture du fichier %s ind=%d, fd=%d\n", e.file_name.c_str(), slot,
                 fd);
    std::fprintf(stderr, "Debug longueur du fichier =%d Bytes\n", static_cast<int>(bytes));
  }
  return fd;
}

int qqcclos(int index) {
  FileEntry &e = file_entry(index);
  const int slot = wa_slot_of_fd(e.fd);
  if (slot < 0) {
    std::fprintf(stderr, "qqcclos error: file is not open, fd=%d, name=%s\n", e.fd,
                 e.file_name.c_str());
    return 1;
  }
  const CacheSettings &s = wa_settings();
  WaSlot &w = wa_table()[slot];
  if (s.page_size > 0) {
    wa_pages_flush(slot);
    if (w.npages != 0) std::fprintf(stderr, "qqcclos error: nb_page_in_use = %d\n", w.npages);
    e.size = 0;
    e.esize = 0;
    w.npages = 0;
    if (s.trace > 1) std::fprintf(stderr, "Debug fermeture du fichier ind=%d, fd=%d\n", slot, w.fd);
  }
  const int fd = w.fd;
  unlock_writer(index);
  w = WaSlot();
  e.fd = -1;
  e.open = 0;
  ::close(fd);
  return 0;
}

bool fsync_enabled() {
  static const bool enabled = [] {
    const char *v = std::getenv("ZEP_FSYNC");
    return v == nullptr || std::strcmp(v, "0") != 0;
  }();
  return enabled;
}

void qqcsync(int index, bool durable) {
  FileEntry &e = file_entry(index);
  const int slot = wa_slot_of_fd(e.fd);
  if (slot < 0) return;  // not open: nothing of it is pending
  if (wa_settings().page_size > 0) wa_pages_write_back(slot);
  if (!durable || !fsync_enabled() || e.has(kAttrReadOnly)) return;
  int rc;
  do {
    rc = ::fdatasync(e.fd);
  } while (rc != 0 && errno == EINTR);
  // Some file systems (pipes, special files) cannot sync: only a real
  // failure to write is one.
  if (rc != 0 && errno != EINVAL && errno != EROFS) {
    zep::fatal_print(stderr, "qqcsync error: cannot force file %s to disk\n", e.file_name.c_str());
    zep::fatal_perror("qqcsync");
    zep::fatal_stop(1, zep::FatalKind::kWrite);
  }
}

// Cuts a transfer of nmots words from word address a into the pieces that
// each lie inside one cache frame of S words, and hands each to `piece`.
template <class Piece>
void for_each_frame(uint32_t *buf, int64_t a, int64_t nmots, int64_t S, Piece piece) {
  while (nmots > 0) {
    const int64_t frame_end = ((a - 1) / S + 1) * S;
    const int64_t n = std::min(nmots, frame_end - a + 1);
    piece(buf, a, static_cast<int>(n));
    buf += n;
    a += n;
    nmots -= n;
  }
}

void qqcward(uint32_t *buf, uint64_t adr, int nmots, int index) {
  FileEntry &e = file_entry(index);
  const int slot = wa_slot_of_fd(e.fd);
  if (slot < 0) {
    zep::fatal_print(stderr, "qqcward error: fd=%d not found in table\n", e.fd);
    zep::fatal_stop(1, zep::FatalKind::kOther);
  }
  const WaSlot &w = wa_table()[slot];
  if (adr != 0) adr += static_cast<uint64_t>(w.offset);
  const int64_t S = wa_settings().page_size;
  if (S > 0 && adr != 0) {
    for_each_frame(buf, static_cast<int64_t>(adr), nmots, S,
                   [&](uint32_t *p, int64_t a, int n) { wa_page_read(e.fd, p, a, n, index); });
    return;
  }
  const uint64_t bytes = static_cast<uint64_t>(nmots) * 4;
  int64_t got;
  if (adr == 0) {
    got = 0;
    char *q = reinterpret_cast<char *>(buf);
    while (static_cast<uint64_t>(got) < bytes) {
      ssize_t r = ::read(e.fd, q + got, bytes - static_cast<uint64_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += r;
    }
  } else {
    got = read_at(e.fd, buf, bytes, static_cast<int64_t>(adr - 1) * 4);
    if (got >= 0)
      ::lseek(e.fd, static_cast<off_t>((adr - 1) * 4 + static_cast<uint64_t>(got)), SEEK_SET);
  }
  if (got < 0 || static_cast<uint64_t>(got) < bytes) {
    zep::fatal_print(stderr, "qqcward error: tried to read %d bytes, only read %d\n",
                     static_cast<int>(bytes), static_cast<int>(got));
    zep::fatal_stop(1, zep::FatalKind::kShortRead);
  }
}

void qqcwawr(uint32_t *buf, uint64_t adr, int nmots, int index) {
  FileEntry &e = file_entry(index);
  const int slot = wa_slot_of_fd(e.fd);
  if (slot < 0) {
    zep::fatal_print(stderr, "qqcwawr error: filename=%s , fd=%d not found in table\n",
                     e.file_name.c_str(), e.fd);
    zep::fatal_stop(1, zep::FatalKind::kOther);
  }
  const WaSlot &w = wa_table()[slot];
  const uint64_t adr0 = adr;
  if (adr != 0) adr += static_cast<uint64_t>(w.offset);
  if (e.has(kAttrReadOnly)) {
    zep::fatal_print(stderr, "qqcwawr error: no write permission for file %s\n",
                     e.file_name.c_str());
    zep::fatal_stop(1, zep::FatalKind::kWrite);
  }
  const int64_t S = wa_settings().page_size;
  if (S > 0 && adr != 0) {
    for_each_frame(buf, static_cast<int64_t>(adr), nmots, S,
                   [&](uint32_t *p, int64_t a, int n) { wa_page_write(e.fd, p, a, n, index); });
    return;
  }
  const size_t bytes = static_cast<size_t>(nmots) * 4;
  if (adr != 0) ::lseek(e.fd, static_cast<off_t>((adr - 1) * 4), SEEK_SET);
  ssize_t written = ::write(e.fd, buf, bytes);
  auto detail = [&](long long count) {
    zep::fatal_print(
        stderr, "qqcwawr: filename=%s, buf=%0lx adr=%u, nmots=%d, nwritten=%lld, errno=%d\n",
        e.file_name.c_str(), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(buf)),
        static_cast<unsigned>(adr0), nmots, count, errno);
  };
  if (written < 0 || static_cast<size_t>(written) < bytes) {
    if (written < 0 && errno == EFAULT) {
      zep::fatal_print(stderr, "qqcwawr error: write error for file %s\n", e.file_name.c_str());
      detail(written);
      zep::fatal_print(stderr, "*** Contactez un membre de la section informatique de ZEP ***\n");
      zep::fatal_print(stderr, "*** Seek support from ZEP informatic section ***\n");
      zep::fatal_perror("qqcwawr");
      zep::fatal_stop(1, zep::FatalKind::kWrite);
    }
    if (written <= 0) {
      zep::fatal_print(stderr, "qqcwawr error: write error or file not open for write!\n");
      detail(written);
      zep::fatal_perror("qqcwawr");
      zep::fatal_stop(1, zep::FatalKind::kWrite);
    }
    const size_t remaining = bytes - static_cast<size_t>(written);
    ssize_t again = ::write(e.fd, reinterpret_cast<char *>(buf) + written, remaining);
    zep::fatal_print(
        stderr,
        "qqcwawr WARNING: multiple write attempt of file %s last write=%d bytes, total "
        "needed=%d bytes\n",
        e.file_name.c_str(), static_cast<int>(remaining), static_cast<int>(bytes));
    if (again < 0 || static_cast<size_t>(again) < remaining) {
      zep::fatal_print(stderr, "qqcwawr error: write error for file %s\n", e.file_name.c_str());
      detail(again);
      zep::fatal_perror("qqcwawr");
      zep::fatal_stop(1, zep::FatalKind::kWrite);
    }
  }
  if (adr != 0) {
    const int64_t last = static_cast<int64_t>(adr) + nmots - 1;
    if (e.size < last) e.size = e.esize = static_cast<int32_t>(last);
  }
}

}  // namespace zep::io

using zep::io::FileEntry;

namespace zep::io {

int write_words(int iun, uint32_t *words, unsigned int adr, int nmots, int host_words) {
  const int idx = find_file_entry("c_wawrit", iun);
  if (idx < 0) return -1;
  FileEntry &e = zep::io::file_entry(idx);
  if (!e.open) {
    std::fprintf(stderr, "c_wawrit error: unit %d is not open\n", iun);
    return -1;
  }
  if (e.has(zep::io::kAttrReadOnly)) {
    std::fprintf(stderr, "c_wawrit error: unit %d ,file= %s is READ ONLY\n", iun,
                 e.file_name.c_str());
    return -1;
  }
  if (nmots <= 0) return 0;
  if (static_cast<int64_t>(adr) > static_cast<int64_t>(e.size) + 2048) {
    zep::fatal_print(stderr, "c_wawrit error: attempt to write beyond EOF+%d\n", 2048);
    zep::fatal_print(stderr, "                unit = %d, adr=%u > file_size=%d\n", iun, adr,
                     e.size);
    zep::fatal_print(stderr, "                filename=%s\n", e.file_name.c_str());
    zep::fatal_stop(1);
  }
  // Sizes are 32-bit word counts: the last word written must stay addressable.
  if (static_cast<int64_t>(adr) + nmots - 1 > INT32_MAX) {
    std::fprintf(
        stderr,
        "c_wawrit error: unit %d, adr=%u, nmots=%d passes the last addressable word of %s\n", iun,
        adr, nmots, e.file_name.c_str());
    return -1;
  }
  if (static_cast<int64_t>(adr) > static_cast<int64_t>(e.size) + 1) {
    const int gap = static_cast<int>(static_cast<int64_t>(adr) - e.size);
    std::vector<uint32_t> zeros(static_cast<size_t>(gap), 0u);
    zep::io::qqcwawr(zeros.data(), static_cast<uint64_t>(e.size) + 1, gap, idx);
  }
  // Only the leading host-order words change order on the way out, and
  // back once written.
  const size_t host = static_cast<size_t>(std::clamp(host_words, 0, nmots));
  zep::swap_words_in_place(words, host);
  zep::io::qqcwawr(words, adr, nmots, idx);
  zep::swap_words_in_place(words, host);
  return nmots;
}

void start_write_back(int iun, unsigned int adr, int nmots) {
  const int64_t bytes = static_cast<int64_t>(nmots) * 4;
  if (bytes < kWriteBackBytes || adr == 0 || !fsync_enabled()) return;
  const int idx = file_index_of(iun);
  if (idx < 0) return;
  const FileEntry &e = file_entry(idx);
  const int slot = wa_slot_of_fd(e.fd);
  if (slot < 0 || e.has(kAttrReadOnly)) return;
  const int64_t first = static_cast<int64_t>(adr) - 1 + wa_table()[slot].offset;
#if defined(__linux__)
  ::sync_file_range(e.fd, static_cast<off_t>(first * 4), static_cast<off_t>(bytes),
                    SYNC_FILE_RANGE_WRITE);
#else
  (void)first;
#endif
}

}  // namespace zep::io

extern "C" {

int c_waopen2(int iun) {
  int idx = zep::io::file_index_of(iun);
  if (idx >= 0) {
    FileEntry &e = zep::io::file_entry(idx);
    if (!e.has(zep::io::kAttrRnd)) {
      std::fprintf(stderr, "c_waopen error: waopen needs a file with the RND or WA type\n");
      return -1;
    }
    if (e.open) {
      if (e.has(zep::io::kAttrWa))
        std::fprintf(stderr, "c_waopen warning: unit %d already open as %s\n", iun,
                     e.file_name.c_str());
      e.set(zep::io::kAttrWa);
      return e.fd;
    }
  } else {
    idx = zep::io::first_free_entry();
    if (idx < 0) {
      std::fprintf(stderr, "c_waopen error: file table is full\n");
      return -1;
    }
    FileEntry &e = zep::io::file_entry(idx);
    e.iun = iun;
    e.file_name = "Wafile" + std::to_string(iun);
    e.set(zep::io::kAttrRnd | zep::io::kAttrWa);
  }
  const int r = zep::io::qqcopen(idx);
  if (r >= 0) {
    FileEntry &e = zep::io::file_entry(idx);
    e.open = 1;
    e.set(zep::io::kAttrRnd | zep::io::kAttrWa);
  }
  return r;
}

int c_waopen(int iun) {
  const int r = c_waopen2(iun);
  if (r <= 0) zep::fatal_stop(1);
  return r;
}

int c_waclos2(int iun) {
  const int idx = find_file_entry("c_waclos", iun);
  if (idx < 0) return -1;
  FileEntry &e = zep::io::file_entry(idx);
  if (!e.open) {
    std::fprintf(stderr, "c_waclos error: unit %d is not open\n", iun);
    return -1;
  }
  const int r = zep::io::qqcclos(idx);
  e.open = 0;
  e.set(zep::io::kAttrWa, false);
  return r;
}

int c_waclos(int iun) { return c_waclos2(iun); }

int c_waread2(int iun, void *buf, unsigned int adr, int nmots) {
  const int idx = find_file_entry("c_waread", iun);
  if (idx < 0) return -1;
  FileEntry &e = zep::io::file_entry(idx);
  if (!e.open) {
    std::fprintf(stderr, "c_waread error: unit %d is not open\n", iun);
    return -1;
  }
  const int64_t esize = e.esize;
  if (static_cast<int64_t>(adr) > esize + 2) return -2;
  if (esize == 0) return 0;
  int64_t n = nmots;
  if (static_cast<int64_t>(adr) + n - 1 > esize) n = esize - static_cast<int64_t>(adr) + 1;
  if (n <= 0) return 0;
  uint32_t *words = static_cast<uint32_t *>(buf);
  zep::io::qqcward(words, adr, static_cast<int>(n), idx);
  zep::swap_words_in_place(words, static_cast<size_t>(n));
  return static_cast<int>(n);
}

int c_waread(int iun, void *buf, unsigned int adr, int nmots) {
  const int r = c_waread2(iun, buf, adr, nmots);
  if (r == -2) {
    const FileEntry &e = zep::io::file_entry(zep::io::file_index_of(iun));
    std::fprintf(stderr, "c_waread error: attempt to read beyond EOF, of file %s\n",
                 e.file_name.c_str());
    std::fprintf(stderr, "                addr = %u, EOF = %d\n", adr, e.esize);
  }
  return r;
}

int c_wawrit2(int iun, void *buf, unsigned int adr, int nmots) {
  return zep::io::write_words(iun, static_cast<uint32_t *>(buf), adr, nmots, nmots);
}

int c_wawrit(int iun, void *buf, unsigned int adr, int nmots) {
  return c_wawrit2(iun, buf, adr, nmots);
}

int c_wasize(int iun) {
  const int idx = find_file_entry("c_wasize", iun);
  if (idx < 0) return -1;
  FileEntry &e = zep::io::file_entry(idx);
  if (e.open) return e.esize;
  if (zep::io::qqcopen(idx) < 0) return -1;
  const int n = e.esize;
  zep::io::qqcclos(idx);
  return n;
}

int c_numblks(int iun) {
  const int n = c_wasize(iun);
  if (n < 0) return n;
  return static_cast<int>((static_cast<int64_t>(n) + 255) / 256);
}

void d_wafdt_(void) {
  std::fprintf(stderr, "\n   DUMP OF WA CONTROL TABLE \n");
  const auto &t = zep::io::wa_table();
  for (int i = 0; i < zep::io::kMaxWaFiles; ++i)
    if (t[i].fd != -1)
      std::fprintf(stderr, "waindex=%d, fd=%d, npages=%d, offset=%d\n", i, t[i].fd, t[i].npages,
                   static_cast<int>(t[i].offset));
}

}  // extern "C"
