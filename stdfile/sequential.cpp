// Sequential standard files: rewind, skip records, go to the end for
// appending, write end-of-file marks and report the mark at the position.
//
// The position is the directory-file layer's cur_addr (a word address);
// head_keys holds the header of the object the last move stopped at, which
// c_vkteof reads. Every address read from the file is checked before it is
// followed: a skip or an append never loops and never leaves the file.
#include "stdfile/sequential.h"

#include <cstdio>

#include "io/file_table.h"
#include "stdfile/options.h"
#include "xdf/old_format.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile_seq.h"

namespace zep::stdfile {
namespace seq {
namespace {

using xdf::FileEntry;
using xdf::report;

// The common checks of every call: the unit is bound and open. Returns the
// file, or null with *status set.
FileEntry *open_unit(const char *module, int iun, int *status) {
  if (xdf::fnom_index(iun) < 0) {
    *status = report(module, xdf::ERR_NOT_FNOM, xdf::ERROR,
                     "file (unit=%d) is not connected with fnom", iun);
    return nullptr;
  }
  FileEntry *f = xdf::open_entry(xdf::file_index(iun));
  if (f == nullptr || !f->has_header) {
    *status = report(module, xdf::ERR_NOT_OPEN, xdf::ERROR, "file (unit=%d) is not open", iun);
    return nullptr;
  }
  *status = 0;
  return f;
}

// The checks of the positioning calls: an open sequential file. Returns
// the file, or null with *status set.
FileEntry *sequential_unit(const char *module, int iun, int *status) {
  FileEntry *f = open_unit(module, iun, status);
  if (f == nullptr) return nullptr;
  if (!f->xdf_seq) {
    *status =
        report(module, kErrNotSequential, xdf::WARNING, "file (unit=%d) is not sequential", iun);
    return nullptr;
  }
  return f;
}

// Reads n words at word address addr; the count read (0 outside the file).
int read_words(const FileEntry &f, int64_t addr, uint32_t *buf, int n) {
  if (addr < 1 || addr + n - 1 > INT32_MAX) return 0;
  const int got = c_waread2(f.iun, buf, static_cast<unsigned int>(addr), n);
  return got < 0 ? 0 : got;
}

// Words of the file as the word layer sees them (what was written so far
// included).
int64_t file_words(const FileEntry &f) {
  const int n = c_wasize(f.iun);
  return n < 0 ? 0 : n;
}

void set_head(FileEntry &f, uint32_t word0, uint32_t word1) {
  f.head_keys[0] = word0;
  f.head_keys[1] = word1;
}

void skip_end_message(int iun, FILE *stream = stdout) {
  if (msg_level() <= 1) std::fprintf(stream, "c_vktskp: (unit %d) skip to end of file\n", iun);
}

int length_zero(const char *module, const FileEntry &f, int64_t addr) {
  return report(module, kErrFraming, xdf::FATAL,
                "file (unit=%d) has an object of length 0 at address %lld", f.iun,
                static_cast<long long>(addr));
}

int past_the_end(const char *module, const FileEntry &f, int64_t addr) {
  return report(module, kErrFraming, xdf::FATAL,
                "file (unit=%d) has an object at address %lld that runs past the end of the file",
                f.iun, static_cast<long long>(addr));
}

// One record forward. Returns 1 when the skip goes on, 0 when it stopped at
// a mark or the end, or an error.
int step_forward(FileEntry &f) {
  uint32_t head[kHeaderWords];
  const int64_t at = f.cur_addr;
  if (read_words(f, at, head, kHeaderWords) < kHeaderWords) {
    // A file written here ends in its end mark, where a skip stops: one
    // that ends before it was cut short, and records may be missing.
    if (!f.old_format && f.header.dir_page_count == 0)
      report("c_vktskp", kErrFraming, xdf::ERROR,
             "file (unit=%d) ends at address %lld without its end mark", f.iun,
             static_cast<long long>(at));
    skip_end_message(f.iun);
    return 0;
  }
  const uint32_t type = xdf::RecordHeader::type_of(head[0]);
  if (is_mark(type)) {
    // A skip stops on a mark and stays there, so that c_vkteof reports its
    // level and further skips never pass the records behind it (a search
    // steps over it).
    set_head(f, head[0], head[1]);
    skip_end_message(f.iun);
    return 0;
  }
  const int64_t length = xdf::RecordHeader::length_of(head[0]);
  if (length == 0) return length_zero("c_vktskp", f, at);
  const int64_t trailer = at + 2 * length;
  if (trailer + kTrailerWords > file_words(f) + 1) return past_the_end("c_vktskp", f, at);
  uint32_t post[kTrailerWords];
  if (read_words(f, trailer, post, kTrailerWords) < kTrailerWords || !is_trailer(post) ||
      post[3] != unit_of(at))
    return report("c_vktskp", kErrFraming, xdf::FATAL,
                  "file (unit=%d) has invalid or no record postfix", f.iun);
  set_head(f, head[0], head[1]);
  f.cur_addr = trailer + kTrailerWords;
  return 1;
}

// One record backward. Returns 1 when the skip goes on, 0 when it stopped
// (at the first record or on a mark), or an error.
int step_backward(FileEntry &f) {
  const int64_t at = f.cur_addr;
  // A logical end-of-file mark right before the position: stop on it.
  uint32_t mark[kHeaderWords];
  if (at - kHeaderWords >= f.seq_bof &&
      read_words(f, at - kHeaderWords, mark, kHeaderWords) == kHeaderWords &&
      is_mark(xdf::RecordHeader::type_of(mark[0])) &&
      xdf::RecordHeader::type_of(mark[0]) != kEndOfData &&
      xdf::RecordHeader::length_of(mark[0]) == 1 && mark[1] == unit_of(at - kHeaderWords)) {
    f.cur_addr = at - kHeaderWords;
    set_head(f, mark[0], mark[1]);
    return 0;
  }
  if (at - kTrailerWords <= f.seq_bof) return 0;
  uint32_t post[kTrailerWords];
  if (read_words(f, at - kTrailerWords, post, kTrailerWords) < kTrailerWords || !is_trailer(post))
    return report("c_vktskp", kErrFraming, xdf::FATAL, "file (unit=%d) has no record postfix",
                  f.iun);
  // The record the trailer names must lie before it and not before the
  // first record: anything else would loop or leave the data.
  const int64_t record = 2 * static_cast<int64_t>(post[3]) - 1;
  if (record < f.seq_bof || record >= at - kTrailerWords)
    return report("c_vktskp", kErrFraming, xdf::FATAL, "file (unit=%d) has no record postfix",
                  f.iun);
  uint32_t head[kHeaderWords] = {0, 0};
  if (read_words(f, record, head, kHeaderWords) < kHeaderWords || head[1] != unit_of(record))
    return report("c_vktskp", kErrFraming, xdf::FATAL,
                  "file (unit=%d), postfix address (%d) not equal to record address (%d) ", f.iun,
                  static_cast<int>(post[3]), static_cast<int>(head[1]));
  f.cur_addr = record;
  set_head(f, head[0], head[1]);
  return 1;
}

}  // namespace
}  // namespace seq
}  // namespace zep::stdfile

using namespace zep::stdfile::seq;

extern "C" {

int c_vktrwd(int iun) {
  int status = 0;
  FileEntry *f = open_unit("c_vktrwd", iun, &status);
  if (f == nullptr) return status;
  const zep::io::FileEntry *row = zep::xdf::fnom_row(*f);
  if (row == nullptr || !row->has(zep::io::kAttrStd))
    return report("c_vktrwd", zep::xdf::ERR_NOT_OPEN, zep::xdf::ERROR,
                  "file (unit=%d) is not a ZEP standard file", iun);
  if ((f = sequential_unit("c_vktrwd", iun, &status)) == nullptr) return status;
  f->cur_addr = f->seq_bof;
  f->valid_pos = 0;
  // Nothing has been met at the start yet.
  set_head(*f, 0, 0);
  f->old_eof_level = 0;
  return 0;
}

int c_vktskp(int iun, int nrec) {
  int status = 0;
  FileEntry *f = sequential_unit("c_vktskp", iun, &status);
  if (f == nullptr) return status;
  f->valid_pos = 0;
  if (f->old_format) {  // files of the old layout, through their 30-word headers
    bool at_end = false;
    const int rc = zep::xdf::old_format::skip(*f, nrec, &at_end);
    if (rc == 0 && at_end) skip_end_message(iun, stderr);
    return rc;
  }
  const int64_t steps = nrec < 0 ? -static_cast<int64_t>(nrec) : nrec;
  for (int64_t i = 0; i < steps; ++i) {
    const int rc = nrec > 0 ? step_forward(*f) : step_backward(*f);
    if (rc < 0) return rc;
    if (rc == 0) break;
  }
  return 0;
}

int c_vktapp(int iun) {
  int status = 0;
  FileEntry *f = sequential_unit("c_vktapp", iun, &status);
  if (f == nullptr) return status;
  f->valid_pos = 0;
  if (f->old_format) return zep::xdf::old_format::append_position(*f);
  const int64_t end = file_words(*f);
  // Every object (records and their trailers alike) moves the position
  // forward by its length, so the walk ends within the file.
  for (;;) {
    uint32_t head[kHeaderWords];
    if (read_words(*f, f->cur_addr, head, kHeaderWords) < kHeaderWords) {
      set_head(*f, mark_word0(kMaxLevel), unit_of(f->cur_addr));
      break;
    }
    if (is_mark(zep::xdf::RecordHeader::type_of(head[0]))) {
      set_head(*f, head[0], head[1]);
      break;
    }
    const int64_t length = zep::xdf::RecordHeader::length_of(head[0]);
    if (length == 0) return length_zero("c_vktapp", *f, f->cur_addr);
    if (f->cur_addr + 2 * length > end + 1) return past_the_end("c_vktapp", *f, f->cur_addr);
    f->cur_addr += 2 * length;
  }
  f->next_write = f->cur_addr;
  return 0;
}

int c_vktweo(int iun, int level) {
  int status = 0;
  FileEntry *f = sequential_unit("c_vktweo", iun, &status);
  if (f == nullptr) return status;
  if (level < 1 || level > kMaxLevel)
    return report("c_vktweo", zep::xdf::ERR_MAX_KEYS, zep::xdf::ERROR,
                  "%s = %d must be between %d and %d", "level", level, 1, kMaxLevel);
  if (f->header.rw_flag == 0 || zep::xdf::row_read_only(*f))
    return report("c_vktweo", zep::xdf::ERR_NO_WRITE, zep::xdf::ERROR,
                  "file (unit=%d) is open in read only mode or no write permission", iun);
  if (f->cur_addr < 1 || f->cur_addr + 2 * kHeaderWords > INT32_MAX)
    return report("c_vktweo", zep::xdf::ERR_NO_POSITION, zep::xdf::ERROR,
                  "file (unit=%d) has no valid position", iun);
  f->valid_pos = 0;
  if (level < kMaxLevel) {
    uint32_t mark[kHeaderWords] = {mark_word0(level), unit_of(f->cur_addr)};
    if (c_wawrit2(iun, mark, static_cast<unsigned int>(f->cur_addr), kHeaderWords) != kHeaderWords)
      return report("c_vktweo", zep::xdf::ERR_NO_WRITE, zep::xdf::ERROR,
                    "file (unit=%d): the mark could not be written", iun);
    f->cur_addr += kHeaderWords;
  }
  uint32_t end[kHeaderWords] = {mark_word0(kMaxLevel), unit_of(f->cur_addr)};
  if (c_wawrit2(iun, end, static_cast<unsigned int>(f->cur_addr), kHeaderWords) != kHeaderWords)
    return report("c_vktweo", zep::xdf::ERR_NO_WRITE, zep::xdf::ERROR,
                  "file (unit=%d): the mark could not be written", iun);
  set_head(*f, end[0], end[1]);
  f->next_write = f->cur_addr;
  // The file ends after this end-of-data mark: the close cuts it there.
  f->seq_end_mark = f->cur_addr;
  if (zep::io::FileEntry *row = zep::xdf::fnom_row(*f))
    row->size = static_cast<int32_t>(f->cur_addr + 1);
  f->modified = 1;
  return 0;
}

int c_vkteof(int iun) {
  int status = 0;
  FileEntry *f = open_unit("c_vkteof", iun, &status);
  if (f == nullptr) return status;
  if (!f->xdf_seq) return 0;
  if (f->old_format) return zep::xdf::old_format::eof_level(*f);
  const uint32_t type = zep::xdf::RecordHeader::type_of(f->head_keys[0]);
  return is_mark(type) ? static_cast<int>(type - kMarkBase) : 0;
}

}  // extern "C"
