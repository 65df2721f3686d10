// The master file table and unit association: c_fnom binds a unit to a
// file and opens it (word-addressable or record-unit), c_fclos releases it.
#include "io/file_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/fixed_text.h"
#include "io/file_lock.h"
#include "io/scratch_file.h"
#include "io/word_file.h"
#include "zep/io.h"

namespace zep::io {

namespace {

// Longest name and attribute string c_fnom accepts.
constexpr size_t kMaxNameLength = 4095;
constexpr size_t kMaxAttributesLength = 1023;

struct TableState {
  FileTable table;
  std::string obrvlib = "./";
  std::string yreksio = "./";
  TableState() {
    if (const char *v = std::getenv("OBRVLIB")) obrvlib = v;
    if (const char *v = std::getenv("YREKSIO")) yreksio = v;
  }
};

TableState &state() {
  static TableState s;
  return s;
}

}  // namespace

FileTable &FGFDT() { return state().table; }
const std::string &obrvlib_root() { return state().obrvlib; }
const std::string &yreksio_root() { return state().yreksio; }

int file_index_of(int iun) {
  if (iun == 0) return -1;
  FileTable &t = FGFDT();
  for (int i = 0; i < kMaxFiles; ++i)
    if (t[i].iun == iun) return i;
  return -1;
}

int first_free_entry() {
  FileTable &t = FGFDT();
  for (int i = 0; i < kMaxFiles; ++i)
    if (t[i].iun == 0) return i;
  return -1;
}

bool path_exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace zep::io

using zep::io::FileEntry;

extern "C" {

int find_file_entry(const char *caller, int iun) {
  int i = zep::io::file_index_of(iun);
  if (i < 0)
    std::fprintf(stderr, "%s error: unit %d is not associated with any file\n", caller, iun);
  return i;
}

void reset_file_entry(int index) {
  if (index < 0 || index >= zep::io::kMaxFiles) return;
  zep::io::FGFDT()[index] = FileEntry();
}

int c_qqqfscr(const char *attributes) {
  const char *a = attributes ? attributes : "";
  int start = 999;
  if (std::strstr(a, "FTN") || std::strstr(a, "ftn") || std::strstr(a, "D77") ||
      std::strstr(a, "d77"))
    start = 99;
  for (int u = start; u > 10; --u)
    if (zep::io::file_index_of(u) < 0) return u;
  return -1;
}

int c_fnom(void *iun_arg, const char *name, const char *attributes, int lrec) {
  zep::io::FGFDT();  // first call: table, search roots
  const std::string nm = name ? name : "";
  const std::string at = attributes ? attributes : "";

  // The unit: a direct number 1..999, or a reference to the unit variable.
  const intptr_t direct = reinterpret_cast<intptr_t>(iun_arg);
  int iun;
  if (direct >= 1 && direct <= 999) {
    iun = static_cast<int>(direct);
  } else {
    if (iun_arg == nullptr) {
      std::fprintf(stderr, "c_fnom error: no unit given\n");
      return -1;
    }
    int *ref = static_cast<int *>(iun_arg);
    if (*ref == 0) {
      int u = c_qqqfscr(at.c_str());
      if (u < 0) {
        std::fprintf(stderr, "c_fnom error: no free unit number left\n");
        return -1;
      }
      *ref = u;
    }
    iun = *ref;
  }

  if (nm.size() > zep::io::kMaxNameLength) {
    std::fprintf(stderr, "c_fnom error: file name is too long (%zu characters, at most %zu)\n",
                 nm.size(), zep::io::kMaxNameLength);
    return -1;
  }
  if (at.size() > zep::io::kMaxAttributesLength) {
    std::fprintf(stderr,
                 "c_fnom error: attribute string is too long (%zu characters, at most %zu)\n",
                 at.size(), zep::io::kMaxAttributesLength);
    return -1;
  }

  if (iun == 6 && nm != "$OUT" && nm != "$OUTPUT") {
    std::fflush(stdout);
    if (!std::freopen(nm.c_str(), "a", stdout)) {
      std::fprintf(stderr, "c_fnom error: cannot reopen standard output on %s\n", nm.c_str());
      return -1;
    }
    return 0;
  }
  if (iun == -2) {
    if (!std::freopen(nm.c_str(), "a", stderr)) return -1;
    return 0;
  }
  if (zep::io::file_index_of(iun) >= 0) {
    std::fprintf(stderr, "c_fnom error: unit %d is already in use\n", iun);
    return -1;
  }
  const int idx = zep::io::first_free_entry();
  if (idx < 0) {
    std::fprintf(stderr, "c_fnom error: too many files, file table is full\n");
    return -1;
  }
  FileEntry &e = zep::io::file_entry(idx);
  e.iun = iun;

  if (zep::io::resolve_name(e, nm, at) < 0) {
    c_fclos(iun);
    return -1;
  }
  e.file_type = at;
  zep::io::parse_attributes(e, at);
  // A member of an archive is read from an existing archive, never written.
  if (e.subname) e.set(zep::io::kAttrOld | zep::io::kAttrReadOnly);
  e.lrec = lrec;
  e.open = 0;

  if (e.has(zep::io::kAttrOld | zep::io::kAttrReadOnly) && !zep::io::path_exists(e.file_name)) {
    std::fprintf(stderr, "c_fnom error: file %s should exist and does not\n", e.file_name.c_str());
    c_fclos(iun);
    return -1;
  }

  // A scratch file is created here, exclusively: a name already taken is
  // refused rather than opened.
  if (e.has(zep::io::kAttrScratch) && zep::io::create_scratch_file(idx) < 0) {
    c_fclos(iun);
    return -1;
  }

  int result;
  if (e.has(zep::io::kAttrFtn)) {
    if (FILE *f = std::fopen(e.file_name.c_str(), "rb")) {
      long long bytes = -1;
      if (std::fseek(f, 0, SEEK_END) == 0) bytes = ftello(f);
      std::fclose(f);
      const long long words = bytes < 0 ? -1 : bytes / 4;
      e.size = e.esize = words > INT32_MAX ? INT32_MAX : static_cast<int32_t>(words);
    } else {
      e.size = e.esize = -1;
    }
    result = zep::io::record_unit_open(iun, e.file_name, lrec, e.has(zep::io::kAttrRnd),
                                       e.has(zep::io::kAttrUnf));
  } else {
    result = c_waopen2(iun);
    // The row may not have moved, but re-fetch it by unit to be safe.
    const int j = zep::io::file_index_of(iun);
    if (j >= 0) zep::io::file_entry(j).set(zep::io::kAttrWa, false);
  }
  if (result == 0) {
    const int j = zep::io::file_index_of(iun);
    if (j >= 0) zep::io::file_entry(j).open = 1;
  } else if (result < 0) {
    c_fclos(iun);
    return -1;
  }
  return 0;
}

int c_fclos(int iun) {
  const int idx = find_file_entry("c_fclos", iun);
  if (idx < 0) return -1;
  FileEntry &e = zep::io::file_entry(idx);
  int result = 0;
  if (e.open) {
    if (e.has(zep::io::kAttrFtn)) {
      result = zep::io::record_unit_close(iun);
    } else if (zep::io::wa_slot_of_fd(e.fd) >= 0) {
      // Still open as a word-addressable file: close it through the
      // word-addressable layer so that its slot and pages do not outlive
      // the descriptor (dirty pages are written back).
      result = zep::io::qqcclos(idx);
    } else if (e.fd >= 0) {
      zep::io::unlock_writer(idx);
      result = ::close(e.fd);
    }
  }
  zep::io::remove_scratch_file(e);
  reset_file_entry(idx);
  return result;
}

int qqqfnom_(int *iun, char *name, char *type, int *lrec, size_t name_len, size_t type_len) {
  const int idx = find_file_entry("qqqfnom", *iun);
  if (idx < 0) return -1;
  const FileEntry &e = zep::io::file_entry(idx);
  zep::fill_field(name, name_len, e.file_name);
  zep::fill_field(type, type_len, e.file_type ? *e.file_type : std::string());
  *lrec = e.lrec;
  return 0;
}

void dump_file_entry(int index) {
  if (index < 0 || index >= zep::io::kMaxFiles) return;
  const FileEntry &e = zep::io::file_entry(index);
  auto text = [](const std::optional<std::string> &s) { return s ? s->c_str() : "(null)"; };
  auto bit = [&e](uint32_t b, const char *set, const char *clear) {
    return e.has(b) ? set : clear;
  };
  std::fprintf(stderr, "FGFDT[%d] ", index);
  std::fprintf(stderr, "file_name=%s subname=%s file_type=%s\n",
               e.file_name.empty() ? "(null)" : e.file_name.c_str(), text(e.subname),
               text(e.file_type));
  std::fprintf(stderr, "iun=%d,fd=%d,size=%d,esize=%d,lrec=%d,flags=%s%s%s%s%s%s%s%s%s%s%s%s\n",
               e.iun, e.fd, e.size, e.esize, e.lrec, e.open ? "OPEN" : "",
               bit(zep::io::kAttrStream, "+STREAM", ""), bit(zep::io::kAttrStd, "+STD", ""),
               bit(zep::io::kAttrQolt, "+QOLT", ""), bit(zep::io::kAttrRnd, "+RND", "+SEQ"),
               bit(zep::io::kAttrWa, "+WA", ""), bit(zep::io::kAttrFtn, "+FTN", ""),
               bit(zep::io::kAttrUnf, "+UNF", "+FMT"), bit(zep::io::kAttrReadOnly, "+R/O", "+R/W"),
               bit(zep::io::kAttrOld, "+OLD", ""), bit(zep::io::kAttrNotPaged, "+NOT PAGED", ""),
               bit(zep::io::kAttrScratch, "+SCRATCH", ""));
  std::fprintf(stderr, "\n");
}

void d_fgfdt_(void) {
  std::fprintf(stderr, "********** DUMP of MASTER FILE TABLE **********\n");
  for (int i = 0; i < zep::io::kMaxFiles; ++i)
    if (zep::io::file_entry(i).iun != 0) dump_file_entry(i);
}

int existe_(const char *name, size_t name_len) {
  return zep::io::path_exists(
             std::string(zep::trim_blanks(zep::field_view(name, name_len, 256), 1)))
             ? 1
             : 0;
}

int longueur_(const char *string, size_t len) {
  return static_cast<int>(zep::trim_blanks(zep::field_view(string, len)).size());
}

void qqexit_(int *status) { std::exit(*status); }

}  // extern "C"
