// Maintenance of whole directory files: statistics and their printout, the
// diagnosis of a header against a scan of the file, the restore of a file
// left marked by a writer, the copy of live records into another file, and
// a bit-field setter.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "io/file_table.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/xdf.h"
#include "zep/xdf_maint.h"

namespace zep::xdf {
namespace {

constexpr int kStatCount = 12;
constexpr int kMaxKeys = 100;
constexpr int64_t kMaxRestoreHeaderWords = 2048;
constexpr int64_t kCopyChunkWords = 8192;
constexpr int64_t kInitialCopyBuffer = 5000;
constexpr int kControlWords = kBufferControlWords;

bool is_xdf_version(uint32_t w) { return w == kXdfVersion || w == kXdfVersionLower; }

// Four characters of a word, first from bits 24-31, and a NUL.
void chars_of(uint32_t w, char *out) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((w >> (24 - 8 * i)) & 0xFF);
  out[4] = '\0';
}

io::FileEntry &row_of(int iun) { return io::file_entry(fnom_index(iun)); }

// The word-addressable file of a bound unit, opened for the time of one
// operation when it was not open already.
class WaSession {
 public:
  explicit WaSession(int iun) : iun_(iun) {
    if (!row_of(iun).open) {
      c_waopen(iun);
      opened_ = true;
    }
  }
  ~WaSession() { close(); }
  void close() {
    if (opened_) c_waclos(iun_);
    opened_ = false;
  }
  WaSession(const WaSession &) = delete;
  WaSession &operator=(const WaSession &) = delete;

 private:
  int iun_;
  bool opened_ = false;
};

int64_t file_words(int iun) {
  const int n = c_wasize(iun);
  return n < 0 ? 0 : n;
}

// Reads and decodes the header of a bound unit that is not open as a
// directory file (its word file open). 0 or an error under `module`.
int read_closed_header(const char *module, int iun, FileHeader *out) {
  uint32_t first[4] = {0, 0, 0, 0};
  if (file_words(iun) < 4 || c_waread2(iun, first, 1, 4) != 4 || !is_xdf_version(first[2]))
    return report(module, ERR_NOT_XDF, FATAL, "file is not XDF type\n");
  const int64_t words = 2 * static_cast<int64_t>(RecordHeader::length_of(first[0]));
  if (words < kFileHeaderFixedWords || words > file_words(iun))
    return report(module, ERR_BAD_LENGTH, FATAL, "Invalid header file length=%lld\n",
                  static_cast<long long>(words / 2));
  std::vector<uint32_t> w;
  try {
    w.assign(static_cast<size_t>(words), 0);
  } catch (const std::bad_alloc &) {
    return report(module, ERR_NO_MEMORY, FATAL, "memory is full\n");
  }
  if (c_waread2(iun, w.data(), 1, static_cast<int>(words)) != words)
    return report(module, ERR_BAD_LENGTH, FATAL, "Invalid header file length=%lld\n",
                  static_cast<long long>(words / 2));
  const std::string why = FileHeader::decode(w.data(), w.size(), out);
  if (!why.empty()) return report(module, ERR_DAMAGED, ERROR, "%s\n", why.c_str());
  return 0;
}

// The header of unit iun: the open file's own, or read from a closed one.
struct HeaderSource {
  const FileHeader *header = nullptr;
  FileHeader copy;
  std::unique_ptr<WaSession> session;
};
int header_of(const char *module, int iun, HeaderSource *src) {
  if (FileEntry *f = open_entry(file_index(iun)); f != nullptr && f->has_header) {
    src->header = &f->header;
    return 0;
  }
  src->session = std::make_unique<WaSession>(iun);
  const int rc = read_closed_header(module, iun, &src->copy);
  if (rc < 0) return rc;
  src->header = &src->copy;
  return 0;
}

// Counts found by walking the objects of a file.
struct ScanCounts {
  int64_t extensions = 0, valid = 0, erasures = 0, biggest = 0, pages = 0;
};

// Walks the objects after the header. A random file is a chain of objects
// each stating its own unit address; a sequential file (no directory
// pages) follows each record by its trailer and ends at its end mark, with
// logical end-of-file marks between records.
int scan_file(int iun, const FileHeader &h, ScanCounts *c) {
  const bool sequential = h.dir_page_count == 0;
  const int64_t size = file_words(iun);
  int64_t a = 2 * static_cast<int64_t>(h.length) + 1;
  while (a + 1 <= size) {
    uint32_t w[2];
    if (c_waread2(iun, w, static_cast<unsigned int>(a), 2) != 2) break;
    const uint32_t type = RecordHeader::type_of(w[0]), length = RecordHeader::length_of(w[0]);
    if (sequential && w[0] == 2 && w[1] == kAllOnes) {  // record trailer
      a += seq::kTrailerWords;
      continue;
    }
    if (w[1] != static_cast<uint32_t>(unit_address(a))) break;
    if (sequential && type == kTypeEndMark) break;
    if (sequential && type >= 112 && type <= 126 && length == 1) {  // logical end-of-file mark
      a += 2;
      continue;
    }
    if (length < 2)
      return report("c_qdfdiag", ERR_BAD_LENGTH, FATAL, "Invalid record length=%d, addr=%lld\n",
                    static_cast<int>(length), static_cast<long long>(a));
    if (type != 0) {
      c->extensions += 1;
      if (type == kTypeDeleted) {
        c->erasures += 1;
      } else {
        c->valid += 1;
      }
      c->biggest = std::max<int64_t>(c->biggest, length);
    } else {
      c->pages += 1;
    }
    a += 2 * static_cast<int64_t>(length);
  }
  return 0;
}

// Restores xdf_toler and msg_level when a copy ends, however it ends.
class LoweredLevels {
 public:
  LoweredLevels() : toler_(settings().xdf_toler), level_(settings().msg_level) {
    settings().xdf_toler = std::min(toler_, 3);
    settings().msg_level = std::min(level_, 3);
  }
  ~LoweredLevels() {
    settings().xdf_toler = toler_;
    settings().msg_level = level_;
  }
  LoweredLevels(const LoweredLevels &) = delete;
  LoweredLevels &operator=(const LoweredLevels &) = delete;

 private:
  int toler_, level_;
};

// Statistics and descriptors of one file as c_xdfsta gives them.
struct FileStats {
  int32_t stats[kStatCount] = {};
  uint32_t pri[2 * kMaxKeys] = {};
  uint32_t aux[2 * kMaxKeys] = {};
  char version[5] = {};
  char appl[5] = {};
  int get(int iun) {
    return c_xdfsta(iun, stats, kStatCount, pri, kMaxKeys, aux, kMaxKeys, version, appl);
  }
  int npri() const { return std::clamp(stats[6], 0, kMaxKeys); }
  int naux() const { return std::clamp(stats[8], 0, kMaxKeys); }
};

bool same_layout(const FileStats &a, const FileStats &b) {
  for (int i = 6; i <= 9; ++i)
    if (a.stats[i] != b.stats[i]) return false;
  return std::equal(a.pri, a.pri + 2 * a.npri(), b.pri) &&
         std::equal(a.aux, a.aux + 2 * a.naux(), b.aux);
}

bool same_file(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return a == b;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace
}  // namespace zep::xdf

using namespace zep::xdf;

extern "C" int c_xdfsta(int iun, int32_t *stats, int nstat, uint32_t *pri, int npri, uint32_t *aux,
                        int naux, char *version_out, char *appl_out) {
  if (fnom_index(iun) < 0)
    return report("c_xdfsta", ERR_NOT_FNOM, WARNING, "file is not connected with fnom");
  HeaderSource src;
  const int rc = header_of("c_xdfsta", iun, &src);
  if (rc < 0) return rc;
  if (nstat < 0 || nstat > kStatCount)
    return report("c_xdfsta", ERR_BAD_STATS, ERROR, "wrong number of stat nstat=%d\n", nstat);
  const FileHeader &h = *src.header;
  const uint32_t all[kStatCount] = {h.file_size,
                                    h.rewrite_count,
                                    h.extension_count,
                                    h.dir_page_count,
                                    h.last_dir_page,
                                    h.biggest_record,
                                    static_cast<uint32_t>(h.primary_count),
                                    static_cast<uint32_t>(h.primary_len),
                                    static_cast<uint32_t>(h.info_count),
                                    static_cast<uint32_t>(h.info_len),
                                    h.erasure_count,
                                    h.valid_count};
  for (int i = 0; i < nstat && stats != nullptr; ++i) stats[i] = static_cast<int32_t>(all[i]);
  if (version_out != nullptr) chars_of(h.version, version_out);
  if (appl_out != nullptr) chars_of(h.app_signature, appl_out);
  const int np = std::min<int>(std::max(npri, 0), static_cast<int>(h.primary.size()));
  for (int i = 0; i < np && pri != nullptr; ++i) h.primary[i].encode(pri + 2 * i);
  const int na = std::min<int>(std::max(naux, 0), static_cast<int>(h.info.size()));
  for (int i = 0; i < na && aux != nullptr; ++i) h.info[i].encode(aux + 2 * i);
  return 0;
}

extern "C" int c_xdfimp(int iun, const int32_t *stats, int nstat, const uint32_t *pri,
                        const uint32_t *aux, const char *version, const char *appl) {
  if (fnom_index(iun) < 0)
    return report("c_xdfimp", ERR_NOT_FNOM, WARNING, "file is not connected with fnom");
  // Statistics the caller did not pass print as 0.
  auto stat = [&](int i) { return stats != nullptr && i < nstat ? static_cast<int>(stats[i]) : 0; };
  std::printf("\n  Statistiques pour le fichier %d, Nom %s\n", iun, row_of(iun).file_name.c_str());
  std::printf("  Taille du fichier \t\t\t %d\n", stat(0));
  std::printf("  Nombre de reecriture \t\t\t %d\n", stat(1));
  std::printf("  Nombre d'extensions \t\t\t %d\n", stat(2));
  std::printf("  Nombre de pages de Repertoires \t %d\n", stat(3));
  std::printf("  Addr. derniere page de repertoire \t %d\n", stat(4));
  std::printf("  Taille du plus gros enregistrement \t %d\n", stat(5));
  std::printf("  Nombre d'enregistrements effaces \t %d\n", stat(10));
  std::printf("  Nombre d'enregistrements valides \t %d\n", stat(11));
  std::printf("  Version du progiciel XDF \t\t %s\n", version ? version : "");
  std::printf("  Nom de l'application \t\t\t %s\n", appl ? appl : "");
  auto print_keys = [](const uint32_t *keys, int n) {
    std::printf(" \tNom \tBit1 \tLongueur \tType \n\n");
    for (int i = 0; i < n && keys != nullptr; ++i) {
      const KeyDescriptor k = KeyDescriptor::decode(keys + 2 * i);
      char name[5];
      chars_of(k.name, name);
      std::printf(" \t%s \t%d \t%d \t\t%d \n", name, k.bit1, k.width, k.type);
    }
  };
  std::printf("\n  Definition des cles primaires \n\n");
  print_keys(pri, stat(6));
  if (stat(8) != 0) {
    std::printf("\n  Definition des cles auxiliaires \n\n");
    print_keys(aux, stat(8));
  }
  return 0;
}

extern "C" int c_qdfdiag(int iun) {
  if (fnom_index(iun) < 0)
    return report("c_qdfdiag", ERR_NOT_FNOM, WARNING, "file is not connected with fnom");
  // A file of an old layout has no objects to scan, only a header made in
  // memory.
  if (const FileEntry *f = open_entry(file_index(iun)); f != nullptr && f->old_format)
    return report("c_qdfdiag", ERR_NOT_XDF, FATAL, "file is not XDF type\n");
  HeaderSource src;
  int rc = header_of("c_qdfdiag", iun, &src);
  if (rc < 0) return rc;
  const FileHeader &h = *src.header;
  ScanCounts c;
  rc = scan_file(iun, h, &c);
  if (rc < 0) return rc;
  const bool sound = h.extension_count == c.extensions && h.valid_count == c.valid &&
                     static_cast<int64_t>(h.extension_count) - h.valid_count == c.erasures &&
                     h.biggest_record == c.biggest && h.dir_page_count == c.pages;
  char version[5], appl[5];
  chars_of(h.version, version);
  chars_of(h.app_signature, appl);
  std::printf("\nStatistics from file header for %s\n", row_of(iun).file_name.c_str());
  std::printf("\t file size (64 bit units)        %d\n", static_cast<int>(h.file_size));
  std::printf("\t number of rewrites              %d\n", static_cast<int>(h.rewrite_count));
  std::printf("\t number of extensions            %d\n", static_cast<int>(h.extension_count));
  std::printf("\t number of directory pages       %d\n", static_cast<int>(h.dir_page_count));
  std::printf("\t last directory page address     %d\n", static_cast<int>(h.last_dir_page));
  std::printf("\t size of biggest record          %d\n", static_cast<int>(h.biggest_record));
  std::printf("\t number erasures                 %d\n", static_cast<int>(h.erasure_count));
  std::printf("\t number of valid records         %d\n", static_cast<int>(h.valid_count));
  std::printf("\t XDF version                     %s\n", version);
  std::printf("\t application signature           %s\n", appl);
  if (sound) {
    std::printf("\n **** This file is in OK ****\n");
  } else {
    std::printf("\n **** This file has been dammaged ****\n");
    std::printf("\nStatistics from file scan\n");
    std::printf("\t number of extensions            %d\n", static_cast<int>(c.extensions));
    std::printf("\t number of directory pages       %d\n", static_cast<int>(c.pages));
    std::printf("\t size of biggest record          %d\n", static_cast<int>(c.biggest));
    std::printf("\t number erasures                 %d\n", static_cast<int>(c.erasures));
    std::printf("\t number of valid records         %d\n", static_cast<int>(c.valid));
  }
  return 0;
}

extern "C" int c_qdfrstr(int source_unit, int dest_unit) {
  for (int u : {source_unit, dest_unit})
    if (fnom_index(u) < 0)
      return report("c_qdfrstr", ERR_NOT_FNOM, WARNING, "file (unit=%d) is not connected with fnom",
                    u);
  for (int u : {source_unit, dest_unit})
    if (file_index(u) >= 0)
      return report("c_qdfrstr", ERR_ALREADY_OPEN, WARNING, "file (unit=%d) is already open", u);
  const std::string src_name = row_of(source_unit).file_name;
  const std::string dst_name = row_of(dest_unit).file_name;
  if (source_unit == dest_unit || same_file(src_name, dst_name))
    return report("c_qdfrstr", ERR_DIFFERENT_FILES, ERROR,
                  "source (unit=%d) and destination (unit=%d) are the same file", source_unit,
                  dest_unit);

  WaSession source(source_unit);
  const int64_t size = file_words(source_unit);
  uint32_t first[4] = {0, 0, 0, 0};
  if (size < 4 || c_waread2(source_unit, first, 1, 4) != 4 || !is_xdf_version(first[2]))
    return report("c_qdfrstr", ERR_NOT_XDF, FATAL, "file is not XDF type\n");
  const int64_t l = RecordHeader::length_of(first[0]);
  // The header is read into a buffer of 2048 words at most.
  if (2 * l < kFileHeaderFixedWords || 2 * l > size || 2 * l > kMaxRestoreHeaderWords)
    return report("c_qdfrstr", ERR_BAD_LENGTH, FATAL, "Invalid header file length=%lld\n",
                  static_cast<long long>(l));
  std::vector<uint32_t> header(static_cast<size_t>(2 * l), 0);
  if (c_waread2(source_unit, header.data(), 1, static_cast<int>(2 * l)) != 2 * l)
    return report("c_qdfrstr", ERR_BAD_LENGTH, FATAL, "Invalid header file length=%lld\n",
                  static_cast<long long>(l));
  const int64_t file_size = header[4];
  if (file_size < l || 2 * file_size > size)
    return report("c_qdfrstr", ERR_BAD_LENGTH, FATAL,
                  "Invalid file size=%lld, the file holds %lld units\n",
                  static_cast<long long>(file_size), static_cast<long long>(size / 2));
  // A sequential file (no directory pages) does not count its record
  // trailers and end mark in file_size: all of it is copied.
  const int64_t end = header[7] == 0 ? size : 2 * file_size;

  // A fresh destination: nothing of an older file stays behind the copy.
  if (row_of(dest_unit).open) c_waclos(dest_unit);
  if (zep::io::path_exists(dst_name)) c_secateur(dst_name.c_str(), 0);
  c_waopen(dest_unit);
  header[14] = 0;  // rw_flag
  c_wawrit2(dest_unit, header.data(), 1, static_cast<int>(2 * l));
  std::vector<uint32_t> chunk(static_cast<size_t>(kCopyChunkWords));
  for (int64_t a = 2 * l + 1; a <= end; a += kCopyChunkWords) {
    const int n = static_cast<int>(std::min(kCopyChunkWords, end - a + 1));
    std::fill(chunk.begin(), chunk.end(), 0u);
    c_waread2(source_unit, chunk.data(), static_cast<unsigned int>(a), n);
    c_wawrit2(dest_unit, chunk.data(), static_cast<unsigned int>(a), n);
  }
  // Both units end closed, whoever opened them.
  c_waclos(dest_unit);
  source.close();
  if (row_of(source_unit).open) c_waclos(source_unit);
  return 0;
}

extern "C" int c_xdfuse(int source_unit, int dest_unit) {
  LoweredLevels lowered;
  if (fnom_index(source_unit) < 0)
    return report("c_xdfuse", ERR_NOT_FNOM, ERROR, "source file is not connected with fnom");
  if (fnom_index(dest_unit) < 0)
    return report("c_xdfuse", ERR_NOT_FNOM, ERROR, "destination file is not connected with fnom");

  const int nsplit = std::max(1, settings().xdf_nsplit);
  FileStats src, dst;
  int rc;
  if (file_index(dest_unit) >= 0) {
    if ((rc = dst.get(dest_unit)) < 0) return rc;
  } else if (row_of(dest_unit).size < 1) {
    if ((rc = src.get(source_unit)) < 0) return rc;
    dst = src;
    for (int i = 0; i < nsplit; ++i) {
      rc = c_xdfopn(dest_unit + i, "CREATE", dst.pri, dst.npri(), dst.aux, dst.naux(), dst.appl);
      if (rc < 0) return rc;
    }
  } else {
    if ((rc = dst.get(dest_unit)) < 0) return rc;
    if ((rc = c_xdfopn(dest_unit, "APPEND", nullptr, 0, nullptr, 0, dst.appl)) < 0) return rc;
    if (FileEntry *d = open_entry(file_index(dest_unit)); d != nullptr && d->xdf_seq)
      seek_end_of_data(*d);
  }

  bool source_opened = false;
  if (file_index(source_unit) < 0) {
    FileStats peek;
    if ((rc = peek.get(source_unit)) < 0) return rc;
    if ((rc = c_xdfopn(source_unit, "READ", nullptr, 0, nullptr, 0, peek.appl)) < 0) return rc;
    source_opened = true;
  }
  auto finish = [&](int code) {
    if (source_opened) c_xdfcls(source_unit);
    return code;
  };
  if ((rc = src.get(source_unit)) < 0) return finish(rc);
  if (!same_layout(src, dst))
    return finish(report("c_xdfuse", ERR_DIFFERENT_FILES, ERROR,
                         "incompatible source (unit %d) and destination (unit %d) files",
                         source_unit, dest_unit));
  if (settings().msg_level <= 1)
    c_xdfimp(source_unit, src.stats, kStatCount, src.pri, src.aux, src.version, src.appl);

  const FileEntry *sf = open_entry(file_index(source_unit));
  const bool sequential = sf != nullptr && sf->xdf_seq;
  const int64_t size = row_of(source_unit).size;
  std::vector<uint32_t> buf;
  try {
    buf.assign(static_cast<size_t>(kInitialCopyBuffer), 0);
  } catch (const std::bad_alloc &) {
    return finish(report("c_xdfuse", ERR_NO_MEMORY, ERROR,
                         "malloc can't allocate, no more memory available"));
  }
  int copied = 0;
  int64_t a = 1;
  while (a + 1 <= size) {
    uint32_t w[2];
    if (c_waread2(source_unit, w, static_cast<unsigned int>(a), 2) != 2) break;
    if (sequential && w[0] == 2 && w[1] == kAllOnes) {  // record trailer
      a += seq::kTrailerWords;
      continue;
    }
    const uint32_t address = w[1] == 0 ? 1 : w[1];
    if (address != static_cast<uint32_t>(unit_address(a))) break;
    const uint32_t type = RecordHeader::type_of(w[0]);
    const int64_t length = RecordHeader::length_of(w[0]);
    if (length < 1) break;
    if (sequential && type == kTypeEndMark) break;
    const int64_t words = 2 * length;
    const bool record = type >= 1 && type <= (sequential ? 111u : 126u);
    if (record && a + words - 1 <= size) {
      const size_t need = static_cast<size_t>(kControlWords + words + 2 * 100);
      if (buf.size() < need) {
        try {
          buf.assign(need, 0);
        } catch (const std::bad_alloc &) {
          return finish(report("c_xdfuse", ERR_NO_MEMORY, ERROR,
                               "malloc can't allocate, no more memory available"));
        }
      }
      std::fill(buf.begin(), buf.end(), 0u);
      buf[0] = static_cast<uint32_t>(buf.size());
      buf[1] = static_cast<uint32_t>(32 * words);
      buf[2] = static_cast<uint32_t>(2 * (src.stats[7] + src.stats[9]));
      buf[3] = 0;
      buf[4] = static_cast<uint32_t>(source_unit);
      buf[5] = static_cast<uint32_t>(2 * src.stats[7]);
      if (c_waread2(source_unit, buf.data() + kControlWords, static_cast<unsigned int>(a),
                    static_cast<int>(words)) != words)
        break;
      const int target = nsplit < 2 ? dest_unit : dest_unit + copied % nsplit;
      if ((rc = c_xdfput(target, 0, buf.data())) < 0) return finish(rc);
      ++copied;
    }
    a += words;
  }
  std::printf(">>> c_xdfuse: copy of %d records from unit %d to unit %d <<<\n", copied, source_unit,
              dest_unit);
  return finish(0);
}

extern "C" int c_qdfput(uint32_t *words, uint32_t value, int bitpos, int nbits) {
  if (words == nullptr || bitpos < 0) return -1;
  const uint32_t mask = (1u << (static_cast<unsigned>(nbits) & 31)) - 1;
  const int shift = 31 - bitpos % 32;
  uint32_t &w = words[bitpos / 32];
  w = (w & ~(mask << shift)) | ((value & mask) << shift);
  return 0;
}
