// Reading standard files of the two old layouts through the current entry
// layout (see old_format.h).
#include "xdf/old_format.h"

#include <algorithm>
#include <new>
#include <vector>

#include "io/file_table.h"
#include "xdf/std_entry.h"
#include "zep/coding.h"
#include "zep/io.h"

namespace zep::xdf {
namespace old_format {

namespace {

uint32_t bits(uint32_t w, int first, int count) { return (w >> first) & ((1u << count) - 1); }

// Old words read from the unit; the count read (0 on failure).
int read_old(const FileEntry &f, int64_t address, uint32_t *buf, int n) {
  if (address < 1 || address > kMaxWordAddress) return 0;
  const int got = c_waread2(f.iun, buf, static_cast<unsigned int>(address), n);
  return got < 0 ? 0 : got;
}

int64_t file_words(const FileEntry &f) {
  const int n = c_wasize(f.iun);
  return n < 0 ? 0 : n;
}

bool entry_matches(const FileEntry &f, const uint32_t *entry) {
  for (int i = 0; i < f.entry_words(); ++i)
    if (((f.target[i] ^ entry[i]) & f.cur_mask[i]) != 0) return false;
  return true;
}

int damaged(const FileEntry &f, const char *module, const char *what, int64_t address) {
  return report(module, ERR_DAMAGED, ERROR,
                "%s at address %lld, file is probably dammaged\n file in error: %s\n", what,
                static_cast<long long>(address), row_file_name(f));
}

// Marks the row read-only and gives the file its standard header.
void prepare(FileEntry &f) {
  if (io::FileEntry *row = fnom_row(f)) row->set(io::kAttrReadOnly);
  f.old_format = 1;
  build_standard_header(f);
  f.header.rw_flag = 0;
}

}  // namespace

uint32_t data_units(const uint32_t *old) {
  return static_cast<uint32_t>(((static_cast<uint64_t>(word(old, 15)) + 3) / 4) & kMaxRecordUnits);
}

uint32_t sequential_record_units(const uint32_t *old) {
  const uint64_t units = (static_cast<uint64_t>(word(old, 15)) + 3) / 4 + kBlockUnits;
  return static_cast<uint32_t>(units & kMaxRecordUnits);
}

uint32_t adjusted_date(uint32_t stored, uint32_t deet, uint32_t npas) {
  // The product is formed in 64 bits and cut to the 32 bits the stamps
  // were written with.
  const int32_t d = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(deet) * npas));
  if (d % 3600 == 0) return stored;
  const int64_t r = (static_cast<int64_t>(d) + 1800) % 3600 - 1800;
  int stamp = std_entry::stamp_from_stored(stored);
  double hours = static_cast<double>(r) * (1.0 / 3600.0);
  int result = 0;
  incdatr_(&result, &stamp, &hours);
  return std_entry::stamp_to_stored(result);
}

void convert_keys(const uint32_t *old, uint32_t *e) {
  const uint32_t w2 = word(old, 2), w3 = word(old, 3), w4 = word(old, 4), w5 = word(old, 5),
                 w6 = word(old, 6), w7 = word(old, 7), w8 = word(old, 8), w10 = word(old, 10),
                 w11 = word(old, 11), w12 = word(old, 12);
  std_entry::Descriptor d;
  d.deet = static_cast<int>(bits(word(old, 14), 0, 16));
  d.npas = static_cast<int>(bits(w2, 16, 16) + 65536u * bits(w6, 0, 8));
  d.nbits = static_cast<int>(bits(w4, 0, 8));
  d.ni = static_cast<int>(bits(w3, 16, 16));
  d.grtyp = static_cast<char>(bits(w12, 24, 8));
  d.nj = static_cast<int>(bits(w3, 0, 16));
  d.datyp = static_cast<int>(bits(w12, 16, 8));
  d.nk = static_cast<int>(bits(w2, 4, 12));
  d.ig4 = static_cast<int>(bits(w11, 0, 16));
  d.ig1 = static_cast<int>(bits(w12, 0, 16));
  d.ig3 = static_cast<int>(bits(w11, 16, 16));
  d.ig2 = static_cast<int>(bits(w10, 0, 16));
  d.ip1 = static_cast<int>(bits(w5, 16, 16));
  d.ip2 = static_cast<int>(bits(w5, 0, 16));
  d.ip3 = static_cast<int>(bits(w6, 16, 16));
  d.put_numbers(e);
  // The names from the old bytes as they are (a NUL is a character there):
  // etiket from words 7 and 8, one typvar and two nomvar characters from
  // word 4; every other character blank (code 0).
  e[10] = e[11] = e[12] = e[13] = 0;
  const uint32_t etiket[8] = {bits(w7, 24, 8), bits(w7, 16, 8), bits(w7, 8, 8), bits(w7, 0, 8),
                              bits(w8, 24, 8), bits(w8, 16, 8), bits(w8, 8, 8), bits(w8, 0, 8)};
  auto code = [](uint32_t byte) {
    return std_entry::ascii6_encode(static_cast<unsigned char>(byte));
  };
  for (int i = 0; i < 8; ++i) std_entry::set_code6(e, std_entry::etiket_slot(i), code(etiket[i]));
  std_entry::set_code6(e, std_entry::typvar_slot(0), code(bits(w4, 8, 8)));
  std_entry::set_code6(e, std_entry::nomvar_slot(0), code(bits(w4, 24, 8)));
  std_entry::set_code6(e, std_entry::nomvar_slot(1), code(bits(w4, 16, 8)));
  e[17] =
      adjusted_date(word(old, 13), static_cast<uint32_t>(d.deet), static_cast<uint32_t>(d.npas));
}

void build_standard_header(FileEntry &f) {
  FileHeader h;
  h.version = kXdfVersion;
  h.app_signature = pack_chars4("STDF");
  for (int n = 0; n < std_entry::kKeyWords; ++n)
    h.primary.push_back(KeyDescriptor::decode(std_entry::primary_keys() + 2 * n));
  h.primary_count = std_entry::kKeyWords;
  h.primary_len = primary_len_for(h.primary);
  h.info_count = 0;
  h.info_len = 0;
  h.length = static_cast<uint32_t>(8 + h.primary_count);
  const int64_t words = file_words(f);
  h.file_size = static_cast<uint32_t>(words / 2);
  f.header = std::move(h);
  f.has_header = true;
  f.primary_len = f.header.primary_len;
  f.info_len = 0;
  f.next_write = words + 1;
}

int open_random(FileEntry &f) {
  prepare(f);
  const int64_t words = file_words(f);
  uint32_t head[kHeaderWords] = {};
  if (read_old(f, 1, head, kHeaderWords) < kHeaderWords)
    return report("c_xdfopn", ERR_DAMAGED, ERROR,
                  "old random file shorter than its header\n file in error: %s\n",
                  row_file_name(f));
  const int64_t n = static_cast<int32_t>(word(head, 5));
  const int64_t room = (words - kHeaderWords) / kEntryWords;
  if (n < 0 || n > std::min<int64_t>(kMaxEntries, room))
    return report(
        "c_xdfopn", ERR_DAMAGED, ERROR,
        "old directory of %lld entries does not fit the file, directory is probably dammaged\n"
        " file in error: %s\n",
        static_cast<long long>(n), row_file_name(f));
  std::vector<uint32_t> dir;
  try {
    dir.assign(static_cast<size_t>(n * kEntryWords), 0);
  } catch (const std::bad_alloc &) {
    return report("c_xdfopn", ERR_NO_MEMORY, FATAL, "memory is full");
  }
  if (n > 0 && read_old(f, kHeaderWords + 1, dir.data(), static_cast<int>(n * kEntryWords)) !=
                   n * kEntryWords)
    return report("c_xdfopn", ERR_DAMAGED, ERROR,
                  "short read of the old directory\n file in error: %s\n", row_file_name(f));

  int64_t cut_short = 0, first_cut = 0;  // entries whose data the file does not hold
  for (int64_t i = 0; i < n || f.npages == 0; ++i) {
    if (f.npages == 0 || f.dir_page.back()->entry_count() == kEntriesPerPage) {
      const int rc = add_dir_page(f.file_index, 0);
      if (rc < 0)
        return rc == ERR_NO_MEMORY ? report("c_xdfopn", ERR_NO_MEMORY, FATAL, "memory is full")
                                   : rc;
    }
    if (i >= n) break;
    DirPage &page = *f.dir_page.back();
    const uint32_t *old = dir.data() + i * kEntryWords;
    uint32_t *e = page.entry(page.entry_count());
    convert_keys(old, e);
    const uint32_t units = data_units(old);
    const uint32_t address = word(old, 1) / 4 + 1;
    uint32_t type = 1;
    if (is_deleted(old)) {
      type = kTypeOldDeleted;
    } else if (word_address(address) + 2 * static_cast<int64_t>(units) - 1 > words) {
      type = kTypeDeleted;  // its data would run past the end of the file
      if (cut_short++ == 0) first_cut = word_address(address);
    }
    e[0] = RecordHeader::word0(type, units);
    e[1] = address;
    page.image[dir_page::kEntryCount] += 1;
  }
  // Entries whose data runs past the end are kept out of every search, and
  // said: the file was cut short and those records are lost.
  if (cut_short > 0)
    report("c_xdfopn", ERR_DAMAGED, ERROR,
           "%lld records of the old directory run past the end of the file (the first at address "
           "%lld), file is probably dammaged\n file in error: %s\n",
           static_cast<long long>(cut_short), static_cast<long long>(first_cut), row_file_name(f));
  f.nrecords = static_cast<int>(n);
  f.header.dir_page_count = static_cast<uint32_t>(f.npages);
  f.header.last_dir_page = f.dir_page.back()->address();
  return 0;
}

int open_sequential(FileEntry &f) {
  prepare(f);
  f.xdf_seq = 1;
  f.cur_addr = f.seq_bof = 1;
  return 0;
}

SeqHeader read_sequential_header(const FileEntry &f, int64_t address) {
  SeqHeader h;
  if (read_old(f, address, h.words, kHeaderWords) < kHeaderWords) return h;  // kEnd
  h.units = sequential_record_units(h.words);
  if (word(h.words, 16) != 0) {
    h.kind = Header::kMark;
    h.level = static_cast<int>(word(h.words, 16) & 0x7FFFFFFF);
    return h;
  }
  if (h.units < static_cast<uint32_t>(kBlockUnits)) {
    h.kind = Header::kDamaged;
    return h;
  }
  h.kind = is_deleted(h.words) ? Header::kDeleted : Header::kRecord;
  return h;
}

int next_match(FileEntry &f) {
  f.valid_pos = 0;
  for (;;) {
    const SeqHeader h = read_sequential_header(f, f.cur_addr);
    switch (h.kind) {
      case Header::kEnd:
        // The layout has no end mark: the data ends where the last record
        // does. A header cut off by the end of the file is a file cut short
        // (a record cut short is refused when it is read).
        if (f.cur_addr >= 1 && f.cur_addr <= file_words(f))
          return damaged(f, "c_xdfloc", "old record header cut short by the end of the file",
                         f.cur_addr);
        return ERR_NOT_FOUND;
      case Header::kMark:
        // A logical end of file: the search stops on it, without moving.
        f.old_eof_level = h.level;
        f.head_keys.fill(0);
        f.head_keys[0] =
            RecordHeader::word0(static_cast<uint32_t>(112 + std::min(h.level, kEndOfData)), 1);
        f.head_keys[1] = static_cast<uint32_t>(unit_address(f.cur_addr));
        return ERR_NOT_FOUND;
      case Header::kDamaged: return damaged(f, "c_xdfloc", "old record of length 0", f.cur_addr);
      case Header::kDeleted:
        if (f.cur_addr + 2 * static_cast<int64_t>(h.units) - 1 > file_words(f))
          return damaged(f, "c_xdfloc", "old record runs past the end of the file", f.cur_addr);
        f.cur_addr += 2 * static_cast<int64_t>(h.units);
        continue;
      case Header::kRecord: break;
    }
    const int64_t found = f.cur_addr;
    // Reported here for a search that passes over it; the read of it fails.
    if (found + 2 * static_cast<int64_t>(h.units) - 1 > file_words(f))
      damaged(f, "c_xdfloc", "old record runs past the end of the file", found);
    // Handles of these files count whole blocks: a record elsewhere cannot
    // be named by one.
    if (((found - 1) / 2) % kBlockUnits != 0)
      return damaged(f, "c_xdfloc", "old record off its block boundary", found);
    f.old_eof_level = 0;
    f.head_keys.fill(0);
    convert_keys(h.words, f.head_keys.data());
    f.head_keys[0] = RecordHeader::word0(1, h.units);
    f.head_keys[1] = static_cast<uint32_t>(unit_address(found));
    f.cur_addr += 2 * static_cast<int64_t>(h.units);
    if (entry_matches(f, f.head_keys.data())) {
      f.valid_pos = 1;
      debug_trace("Record found at address %lld,\n", static_cast<long long>(found));
      return make_seq_handle(found, f.file_index, f);
    }
  }
}

int64_t next_address(FileEntry &f, int64_t address, const char *module) {
  const SeqHeader h = read_sequential_header(f, address);
  if (h.kind == Header::kEnd)
    return report(module, ERR_BAD_HANDLE, ERROR, "invalid handle, no record at address %lld\n",
                  static_cast<long long>(address));
  if (h.kind == Header::kDamaged) return damaged(f, module, "old record of length 0", address);
  return address + 2 * static_cast<int64_t>(h.units);
}

namespace {

// The record before the one at `address`: through word 18 of its header
// (the previous record's 30-word block), or, when no header can be read
// there (the end of the data), by walking the records from the start.
int64_t previous_record(FileEntry &f, int64_t address) {
  const SeqHeader h = read_sequential_header(f, address);
  if (h.kind != Header::kEnd) {
    const int64_t prev = static_cast<int64_t>(word(h.words, 18)) * kHeaderWords + 1;
    return prev < address ? prev : 1;
  }
  int64_t prev = 1;
  for (int64_t at = 1; at < address;) {
    const SeqHeader r = read_sequential_header(f, at);
    if (r.kind == Header::kEnd || r.units < static_cast<uint32_t>(kBlockUnits)) break;
    prev = at;
    at += 2 * static_cast<int64_t>(r.units);
  }
  return prev;
}

}  // namespace

int skip(FileEntry &f, int nrec, bool *at_end) {
  *at_end = false;
  f.valid_pos = 0;
  if (nrec >= 0) {
    for (int i = 0; i < nrec; ++i) {
      const SeqHeader h = read_sequential_header(f, f.cur_addr);
      if (h.kind == Header::kEnd || h.kind == Header::kMark) {
        f.old_eof_level = h.kind == Header::kEnd ? kEndOfData : h.level;
        *at_end = true;
        return 0;
      }
      if (h.kind == Header::kDamaged)
        return damaged(f, "c_vktskp", "old record of length 0", f.cur_addr);
      f.old_eof_level = 0;
      f.cur_addr += 2 * static_cast<int64_t>(h.units);
    }
    return 0;
  }
  for (int64_t i = 0; i < -static_cast<int64_t>(nrec); ++i) {
    if (f.cur_addr <= 1) {
      f.cur_addr = 1;
      break;
    }
    f.cur_addr = previous_record(f, f.cur_addr);
    f.old_eof_level = 0;
    if (f.cur_addr <= 1) break;
  }
  return 0;
}

int append_position(FileEntry &f) {
  f.valid_pos = 0;
  for (;;) {
    const SeqHeader h = read_sequential_header(f, f.cur_addr);
    if (h.kind == Header::kEnd) {
      f.old_eof_level = kEndOfData;
      break;
    }
    if (h.kind == Header::kMark) {
      f.old_eof_level = h.level;
      break;
    }
    if (h.kind == Header::kDamaged)
      return damaged(f, "c_vktapp", "old record of length 0", f.cur_addr);
    f.cur_addr += 2 * static_cast<int64_t>(h.units);
  }
  f.next_write = f.cur_addr;
  return 0;
}

int eof_level(const FileEntry &f) { return f.old_eof_level == 31 ? kEndOfData : f.old_eof_level; }

}  // namespace old_format
}  // namespace zep::xdf
