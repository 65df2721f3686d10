// Opening, creating and closing directory files.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "io/file_lock.h"
#include "io/file_table.h"
#include "io/word_file.h"
#include "xdf/old_format.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/xdf.h"

namespace zep::xdf {

namespace {

constexpr uint32_t kOldRandomMark = old_format::kRandomMark;
constexpr uint32_t kOldSequentialMark = old_format::kSequentialMark;
constexpr int kOldSequentialProbeWords = old_format::kHeaderWords;

bool contains(const char *text, const char *word) {
  return text != nullptr && std::strstr(text, word) != nullptr;
}
bool contains_either(const char *text, const char *upper, const char *lower) {
  return contains(text, upper) || contains(text, lower);
}

// Installs the key builders and the search filter chosen by the file's kind.
void choose_builders(FileEntry &f, const io::FileEntry &row) {
  f.build_primary = build_gen_prim_keys;
  f.build_info = build_gen_info_keys;
  f.record_filter = nullptr;
  if (row.has(io::kAttrQolt)) return;  // report files use the generic pair here
  if (row.has(io::kAttrStd)) {
    const StdHooks &h = std_hooks();
    if (h.build_primary != nullptr) f.build_primary = h.build_primary;
    if (h.build_info != nullptr) f.build_info = h.build_info;
    f.record_filter = h.record_filter;
  }
}

// Files in one of the two old layouts, converted in memory and read-only.
int open_old_format(int index, bool sequential) {
  FileEntry &f = *file_table()[index];
  return sequential ? old_format::open_sequential(f) : old_format::open_random(f);
}

// Releases the slot of an open that failed (and the writer's lock it may
// have taken), then returns code.
int fail_open(int index, int code) {
  io::unlock_writer(io::file_index_of(file_table()[index]->iun));
  init_file(index);
  return code;
}

// Reads the chain of directory pages that starts at word `pos`.
//
// The chain is followed while it is sound: each page inside the file, after
// the page that links to it, of type 0 and a page's length, stating its own
// address and holding 0 to 256 entries. A header that counts more pages than
// that (a writer stopped between writing its pages and its header, or a file
// cut short) opens with the pages the chain holds: the damage is reported
// and every entry of those pages stays readable. A page the last counted
// page links to is followed too when it is sound and its checksum holds, so
// that entries written before the header was are not lost.
//
// The header's other counts are then held against the pages: its file size
// against the file and the last object the directory points to, its count
// of valid records against the live entries. A disagreement is reported and
// the counts in memory are set to what the file holds, so that a writer
// appends after the last object and its header at close states the chain.
// Returns the count of valid records, or an error when not even the first
// page can be read.
int read_directory(FileEntry &f, int64_t file_words, int64_t pos) {
  FileHeader &h = f.header;
  const char *name = row_file_name(f);
  const int64_t page_words = static_cast<int64_t>(dir_page::words(f.primary_len));
  const uint32_t page_units = static_cast<uint32_t>(dir_page::units(f.primary_len));
  const char *const kCountWrong = "number of directory pages is incorrect\n file in error: %s\n";
  bool damaged = false;
  std::vector<uint32_t> image(static_cast<size_t>(page_words));
  for (uint32_t i = 0;; ++i) {
    const bool counted = i < h.dir_page_count;
    // Page i is reached through the header (the first) or a link: one that
    // cannot be taken is reported, and the chain ends before it.
    int bad = 0;
    if (i >= static_cast<uint32_t>(kMaxDirPages) || pos < 1 || pos + page_words - 1 > file_words) {
      bad = report("c_xdfopn", ERR_DAMAGED, ERROR, kCountWrong, name);
    } else if (!f.dir_page.empty() && unit_address(pos) <= f.dir_page.back()->address()) {
      const bool again = std::any_of(f.dir_page.begin(), f.dir_page.end(), [&](const auto &p) {
        return p->address() == static_cast<uint32_t>(unit_address(pos));
      });
      bad = again ? report("c_xdfopn", ERR_DAMAGED, ERROR,
                           "directory page %u is a page already read, directory is probably "
                           "dammaged\n file in error: %s\n",
                           i, name)
                  : report("c_xdfopn", ERR_DAMAGED, ERROR,
                           "directory page %u lies before the page that links to it, directory "
                           "is probably dammaged\n file in error: %s\n",
                           i, name);
    } else if (c_waread2(f.iun, image.data(), static_cast<unsigned int>(pos),
                         static_cast<int>(page_words)) != page_words) {
      bad = report("c_xdfopn", ERR_DAMAGED, ERROR,
                   "short read of directory page %u\n file in error: %s\n", i, name);
    } else {
      const RecordHeader ph = RecordHeader::decode(image.data());
      const int32_t count = static_cast<int32_t>(image[dir_page::kEntryCount]);
      if (ph.idtyp != kTypeSpecial || ph.length != page_units ||
          ph.address != static_cast<uint32_t>(unit_address(pos)) || count < 0 ||
          count > kEntriesPerPage)
        bad = report("c_xdfopn", ERR_DAMAGED, ERROR,
                     "directory page %u holds %d entries, directory is probably dammaged\n file "
                     "in error: %s\n",
                     i, count, name);
      else if (!counted && dir_page::xor_check(image.data(), image.size()) != 0)
        bad = report(
            "c_xdfopn", ERR_CHECKSUM, ERROR,
            "incorrect checksum in page %u, directory is probably dammaged\n file in error: %s\n",
            i, name);
    }
    if (bad < 0) {
      damaged = true;
      break;
    }
    const int rc = add_dir_page(f.file_index, 0);
    if (rc < 0)
      return rc == ERR_NO_MEMORY ? report("c_xdfopn", ERR_NO_MEMORY, FATAL, "memory is full") : rc;
    DirPage &page = *f.dir_page.back();
    page.image.swap(image);
    image.assign(static_cast<size_t>(page_words), 0);
    if (counted && dir_page::xor_check(page.image.data(), page.image.size()) != 0)
      report("c_xdfopn", ERR_CHECKSUM, ERROR,
             "incorrect checksum in page %u, directory is probably dammaged\n file in error: %s\n",
             i, name);
    f.nrecords += page.entry_count();
    if (page.next_page() == 0) {
      if (i + 1 < h.dir_page_count) {
        report("c_xdfopn", ERR_DAMAGED, ERROR, kCountWrong, name);
        damaged = true;
      }
      break;
    }
    if (i + 1 == h.dir_page_count)
      damaged = true;  // a page past the header's count: reported below unless refused
    pos = word_address(page.next_page());
  }
  if (f.dir_page.empty()) return ERR_DAMAGED;  // reported above
  const int npages = f.npages;
  // A header behind its chain is what a writer leaves when it stops
  // between its pages and its header: nothing is lost, and it is a warning.
  // Every count that says the file holds more than it does is an error: the
  // records it counts are gone.
  if (damaged && static_cast<uint32_t>(npages) > h.dir_page_count)
    report("c_xdfopn", ERR_DAMAGED, WARNING, kCountWrong, name);

  // The last object the directory points to, and the live entries.
  const int64_t file_units = file_words / 2;
  int64_t last_unit = h.length;
  int64_t live = 0;
  for (const auto &page : f.dir_page) {
    last_unit = std::max<int64_t>(last_unit, page->address() + int64_t{page_units} - 1);
    for (int e = 0; e < page->entry_count(); ++e) {
      const RecordHeader eh = RecordHeader::decode(page->entry(e));
      if (eh.idtyp != kTypeSpecial && eh.idtyp != kTypeDeleted) ++live;
      if (eh.address >= 1 && eh.address <= file_units && eh.length > 0)
        last_unit = std::max<int64_t>(last_unit, int64_t{eh.address} + eh.length - 1);
    }
  }
  // A file shorter than its header says is a warning: a record the
  // directory places in the missing part is refused, as an error, when it
  // is read; the others are whole.
  if (2 * static_cast<int64_t>(h.file_size) > file_words) {
    report("c_xdfopn", ERR_DAMAGED, WARNING,
           "file size of %u units in the header is larger than the file (%lld units), file is "
           "probably dammaged\n file in error: %s\n",
           h.file_size, static_cast<long long>(file_units), name);
    damaged = true;
  } else if (last_unit > h.file_size) {
    report("c_xdfopn", ERR_DAMAGED, WARNING,
           "the directory points to unit %lld, past the file size of %u units in the header, "
           "file is probably dammaged\n file in error: %s\n",
           static_cast<long long>(last_unit), h.file_size, name);
    damaged = true;
  }
  if (live != h.valid_count) {
    report("c_xdfopn", ERR_DAMAGED, live < h.valid_count ? ERROR : WARNING,
           "%lld valid records in the directory, %u in the header, directory is probably "
           "dammaged\n file in error: %s\n",
           static_cast<long long>(live), h.valid_count, name);
    damaged = true;
  }
  if (!damaged) return static_cast<int>(h.valid_count);

  // What the file holds, for the search and for a writer: appends go after
  // the last object, and the header written at close states the chain.
  DirPage &last = *f.dir_page.back();
  h.dir_page_count = static_cast<uint32_t>(npages);
  h.last_dir_page = last.address();
  h.valid_count = static_cast<uint32_t>(live);
  h.file_size = static_cast<uint32_t>(
      std::max<int64_t>(last_unit, std::min<int64_t>(h.file_size, file_units)));
  f.next_write = 2 * static_cast<int64_t>(h.file_size) + 1;
  if (last.next_page() != 0) {
    last.image[dir_page::kNextPage] = 0;
    last.modified = true;
    if (h.rw_flag != 0) f.modified = 1;
  }
  return static_cast<int>(h.valid_count);
}

// Whether a unit may open its file for writing. A writer holds the file's
// lock (io/file_lock.h) until its unit closes, so a second writer finds it
// taken, checkpoint or not. The rw_flag stored in the header is then only a
// trace: a writer killed before its close leaves it set, and the lock, which
// died with that writer, is the truth. Where no lock can be had (a unit that
// cannot write, a file system without locks) the stored flag decides.
bool writer_may_open(const io::FileEntry &row, uint32_t stored_flag) {
  if (row.has(io::kAttrReadOnly)) return stored_flag == 0;
  switch (io::lock_for_writing(io::file_index_of(row.iun))) {
    case io::WriterLock::kHeld: return true;
    case io::WriterLock::kBusy: return false;
    case io::WriterLock::kUnsupported: break;
  }
  return stored_flag == 0;
}

int refuse_second_writer(int iun) {
  return report("c_xdfopn", ERR_IN_USE, FATAL,
                "file (unit=%d) currently used by another application in write mode", iun);
}

// Reads the header and every directory page of an existing current-format
// file. Returns the header's valid_count or an error (the slot is released
// by the caller).
int read_existing(FileEntry &f, io::FileEntry &row, const char *mode, int64_t file_words,
                  uint32_t first_word) {
  const char *name = row.file_name.c_str();
  const int64_t header_words = 2 * static_cast<int64_t>(RecordHeader::length_of(first_word));
  if (header_words < kFileHeaderFixedWords || header_words > file_words)
    return report(
        "c_xdfopn", ERR_DAMAGED, ERROR,
        "header length %lld words does not fit the file (%lld words)\n file in error: %s\n",
        static_cast<long long>(header_words), static_cast<long long>(file_words), name);
  std::vector<uint32_t> words;
  try {
    words.assign(static_cast<size_t>(header_words), 0);
  } catch (const std::bad_alloc &) {
    return report("c_xdfopn", ERR_NO_MEMORY, FATAL, "memory is full");
  }
  if (c_waread2(f.iun, words.data(), 1, static_cast<int>(header_words)) != header_words)
    return report("c_xdfopn", ERR_DAMAGED, ERROR, "short read of the header\n file in error: %s\n",
                  name);
  std::string why = FileHeader::decode(words.data(), words.size(), &f.header);
  if (!why.empty())
    return report("c_xdfopn", ERR_DAMAGED, ERROR, "%s\n file in error: %s\n", why.c_str(), name);
  FileHeader &h = f.header;
  f.has_header = true;
  f.primary_len = h.primary_len;
  f.info_len = h.info_len;
  f.next_write = 2 * static_cast<int64_t>(h.file_size) + 1;
  int64_t pos = header_words + 1;

  // The standard layer's builders copy the key words of a 9-unit primary
  // part and a 2-word info area: a file claiming more is not one of theirs.
  if (row.has(io::kAttrStd) && (h.primary_len > 9 || h.info_len > 1))
    return report("c_xdfopn", ERR_DAMAGED, ERROR, "File probably dammaged\n file in error: %s\n",
                  name);

  const bool writes = contains_either(mode, "WRITE", "write") ||
                      contains_either(mode, "R-W", "r-w") ||
                      contains_either(mode, "APPEND", "append");
  if (contains_either(mode, "READ", "read")) {
    h.rw_flag = 0;
  } else if (writes ? !writer_may_open(row, h.rw_flag) : h.rw_flag != 0) {
    return refuse_second_writer(f.iun);
  } else if (contains_either(mode, "WRITE", "write")) {
    h.rw_flag = 1;
  } else if (contains_either(mode, "R-W", "r-w")) {
    h.rw_flag = 3;
  } else if (contains_either(mode, "APPEND", "append")) {
    h.rw_flag = 4;
  }

  if (h.dir_page_count == 0) {
    if (row.has(io::kAttrStd) &&
        (h.app_signature == pack_chars4("STDR") || h.app_signature == pack_chars4("stdr")))
      return report("c_xdfopn", ERR_DAMAGED, ERROR, "File probably dammaged\n file in error: %s\n",
                    name);
    f.xdf_seq = 1;
  } else if (f.xdf_seq == 1) {
    h.rw_flag = 0;
    io::unlock_writer(io::file_index_of(row.iun));  // read only: no writer
  }
  debug_trace("Debug c_xdfopn fichier existe f->xdf_seq=%d\n", f.xdf_seq);

  if (f.xdf_seq) {
    f.cur_addr = f.seq_bof = pos;
    // Records appended to a sequential file follow the ones it holds.
    if (h.rw_flag == 4) seek_end_of_data(f);
    return static_cast<int>(h.valid_count);
  }
  return read_directory(f, file_words, pos);
}

}  // namespace

void seek_end_of_data(FileEntry &f) {
  const int64_t size = c_wasize(f.iun);
  int64_t a = f.seq_bof;
  bool at_end_mark = false;
  // Whole objects only: a record cut short by the end of the file was
  // never fully written, and the next record goes in its place.
  while (a + 1 <= size) {
    uint32_t w[2];
    if (c_waread2(f.iun, w, static_cast<unsigned int>(a), 2) != 2) break;
    const RecordHeader h = RecordHeader::decode(w);
    if (h.idtyp == kTypeEndMark) {
      at_end_mark = true;
      break;
    }
    if (h.length == 0 || a + 2 * static_cast<int64_t>(h.length) - 1 > size) break;
    a += 2 * static_cast<int64_t>(h.length);
  }
  if (!at_end_mark && f.header.dir_page_count == 0)
    report("c_xdfopn", ERR_DAMAGED, ERROR,
           "file ends at address %lld without its end mark, file is probably dammaged\n"
           " file in error: %s\n",
           static_cast<long long>(a), row_file_name(f));
  f.cur_addr = a;
}

int write_header(FileEntry &f) {
  std::vector<uint32_t> w = f.header.encode();
  return c_wawrit2(f.iun, w.data(), 1, static_cast<int>(f.header.words()));
}

int create_new_xdf(int index, int iun, uint32_t *pri, int npri, uint32_t *aux, int naux,
                   const char *appl) {
  FileEntry &f = *file_table()[index];
  FileHeader h;
  if (npri < 0 || naux < 0 || npri > 1024 || naux > 1024 || (npri > 0 && pri == nullptr) ||
      (naux > 0 && aux == nullptr))
    return report("c_xdfopn", ERR_MAX_KEYS, ERROR, "invalid key counts npri=%d naux=%d\n", npri,
                  naux);
  for (int i = 0; i < npri; ++i) h.primary.push_back(KeyDescriptor::decode(pri + 2 * i));
  for (int i = 0; i < naux; ++i) h.info.push_back(KeyDescriptor::decode(aux + 2 * i));
  h.primary_len = primary_len_for(h.primary);
  h.info_len = info_len_for(h.info);
  if (h.primary_len > kMaxPrimaryUnits || h.info_len > kMaxPrimaryUnits)
    return report("c_xdfopn", ERR_MAX_KEYS, ERROR,
                  "keys need %d primary and %d info units, more than %d\n", h.primary_len,
                  h.info_len, kMaxPrimaryUnits);
  h.length = static_cast<uint32_t>(8 + npri + naux);
  h.version = kXdfVersion;
  h.app_signature = pack_chars4(appl);
  h.file_size = h.length;
  h.primary_count = npri;
  h.info_count = naux;
  // The header is checked as the open of the finished file will check it
  // (keys inside their key areas among others): a file that would not open
  // again is never written.
  {
    const std::vector<uint32_t> words = h.encode();
    FileHeader check;
    const std::string why = FileHeader::decode(words.data(), words.size(), &check);
    if (!why.empty())
      return report("c_xdfopn", ERR_DAMAGED, ERROR, "%s\n file in error: %s\n", why.c_str(),
                    row_file_name(f));
  }
  f.header = std::move(h);
  f.has_header = true;
  f.primary_len = f.header.primary_len;
  f.info_len = f.header.info_len;
  f.next_write = 1;
  if (!row_read_only(f)) {
    write_header(f);
    f.next_write = 1 + static_cast<int64_t>(f.header.words());
  }
  (void)iun;
  return 0;
}

}  // namespace zep::xdf

using namespace zep::xdf;

extern "C" int c_xdfopn(int iun, const char *mode, uint32_t *pri, int npri, uint32_t *aux, int naux,
                        const char *appl) {
  if (!settings().init_package_done) init_package();
  if (iun < 1 || iun > 999)
    return report("c_xdfopn", ERR_BAD_UNIT, ERROR, "invalid unit number=%d", iun);
  if (file_index(iun) != -1)
    return report("c_xdfopn", ERR_ALREADY_OPEN, WARNING, "file (unit=%d) is already open", iun);
  const int index = get_free_index();
  if (index < 0) return index;
  FileEntry &f = *file_table()[index];
  f.iun = iun;
  f.file_index = index;
  const int rown = fnom_index(iun);
  if (rown < 0)
    return fail_open(index, report("c_xdfopn", ERR_NOT_FNOM, ERROR,
                                   "file (unit=%d) is not connected with fnom", iun));
  f.fnom_row = rown;
  zep::io::FileEntry &row = zep::io::file_entry(rown);
  if (!row.has(zep::io::kAttrRnd))
    return fail_open(
        index, report("c_xdfopn", ERR_NOT_OPEN, ERROR, "file must be random\n file in error: %s\n",
                      row.file_name.c_str()));
  if (contains(appl, "QLT0")) row.set(zep::io::kAttrQolt);
  if (contains(appl, "STD")) row.set(zep::io::kAttrStd);
  choose_builders(f, row);
  const char *type = row.file_type ? row.file_type->c_str() : "";
  f.xdf_seq = contains_either(type, "SEQ", "seq") ? 1 : 0;
  debug_trace("Debug c_xdfopn f->xdf_seq=%d\n", f.xdf_seq);

  if (contains_either(mode, "CREATE", "create")) {
    // Creating needs to write the header and the first page.
    if (row.has(zep::io::kAttrReadOnly))
      return fail_open(index, report("c_xdfopn", ERR_NO_WRITE, ERROR,
                                     "file is open in read only mode or no write permission\n"));
    c_waopen(iun);
    if (!writer_may_open(row, 0)) return fail_open(index, refuse_second_writer(iun));
    const int rc = create_new_xdf(index, iun, pri, npri, aux, naux, appl);
    if (rc < 0) return fail_open(index, rc);
    if (f.xdf_seq) {
      f.cur_addr = f.seq_bof = f.next_write;
      f.header.file_size = static_cast<uint32_t>((f.next_write - 1) / 2);
    } else {
      const int prc = add_dir_page(index, 1);
      if (prc < 0) return fail_open(index, prc);
    }
    f.header.rw_flag = 2;
    f.modified = 1;
    return rc;
  }

  if (!row.open) c_waopen(iun);
  const int64_t file_words = c_wasize(iun);
  uint32_t first[4] = {0, 0, 0, 0};
  if (file_words < 4 || c_waread2(iun, first, 1, 4) != 4)
    return fail_open(index, report("c_xdfopn", ERR_NOT_XDF, FATAL,
                                   "file is not XDF type or old standard random type\n"));
  if (first[2] == kXdfVersion || first[2] == kXdfVersionLower) {
    const int rc = read_existing(f, row, mode, file_words, first[0]);
    if (rc < 0) return fail_open(index, rc);
    protect_written_words(f);
    return rc;
  }
  if (first[0] == kOldRandomMark) {
    const int rc = open_old_format(index, false);
    return rc < 0 ? fail_open(index, rc) : rc;
  }
  uint32_t probe[kOldSequentialProbeWords] = {};
  if (file_words >= kOldSequentialProbeWords &&
      c_waread2(iun, probe, 1, kOldSequentialProbeWords) == kOldSequentialProbeWords &&
      probe[28] == kOldSequentialMark) {
    const int rc = open_old_format(index, true);
    return rc < 0 ? fail_open(index, rc) : rc;
  }
  return fail_open(index, report("c_xdfopn", ERR_NOT_XDF, FATAL,
                                 "file is not XDF type or old standard random type\n"));
}

extern "C" int c_xdfcls(int iun) {
  if (fnom_index(iun) < 0)
    return report("c_xdfcls", ERR_NOT_FNOM, WARNING, "file is not connected with fnom");
  const int index = file_index(iun);
  FileEntry *fp = open_entry(index);
  if (fp == nullptr || index == 0)
    return report("c_xdfcls", ERR_NOT_OPEN, WARNING, "file is not open");
  FileEntry &f = *fp;
  const bool writable = !row_read_only(f);
  const bool checkpoint = settings().xdf_checkpoint != 0;
  settings().xdf_checkpoint = 0;
  const bool truncate_after_flush = f.modified && f.xdf_seq && writable;
  // Records, deletion marks, directory pages, then the header, each step on
  // disk before the next (see commit.cpp).
  write_out(f, !checkpoint);
  // The cut of a sequential file happens once its cached pages are on disk,
  // and never below the end mark this process wrote.
  int64_t cut_words = 0;
  if (truncate_after_flush) {
    const zep::io::FileEntry *row = fnom_row(f);
    cut_words = row != nullptr ? row->size : 0;
    if (f.seq_end_mark > 0 && cut_words < f.seq_end_mark + 1) cut_words = f.seq_end_mark + 1;
  }
  const std::string name = row_file_name(f);

  if (checkpoint) {
    unit_barrier(f, true);
    if (cut_words > 0) c_secateur(name.c_str(), 4 * cut_words);
    return 0;
  }
  // Unhook this file from any chain it is part of.
  for (int i = 1; i < kMaxFiles; ++i) {
    FileEntry *other = open_entry(i);
    if (other == nullptr || other->link != index) continue;
    other->link = -1;
    if (!other->dir_page.empty()) other->dir_page.back()->next = nullptr;
  }
  if (!f.dir_page.empty()) {
    if (f.dir_page.front()->prev != nullptr) f.dir_page.front()->prev->next = nullptr;
    if (f.dir_page.back()->next != nullptr) f.dir_page.back()->next->prev = nullptr;
  }
  c_waclos(iun);
  if (cut_words > 0) c_secateur(name.c_str(), 4 * cut_words);
  init_file(index);
  return 0;
}

extern "C" int c_secateur(const char *name, int64_t nbytes) {
  debug_trace("Truncating %s to \t %lld Bytes\n", name, static_cast<long long>(nbytes));
  const int rc = truncate(name, static_cast<off_t>(nbytes));
  if (rc == -1) std::perror("secateur");
  return rc;
}
