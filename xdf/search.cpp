// Searching directory files by their primary keys: random files walk the
// in-memory directory pages, sequential files read each record's primary
// part in turn. Handles and the linking of files into one search chain.
#include <algorithm>

#include "xdf/old_format.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/xdf.h"

namespace zep::xdf {

namespace {

constexpr int kClassShift = 29;
constexpr int kOffsetShift = 7;
constexpr uint32_t kOffsetMask = 0x3FFFFF;

int handle_index(int handle) { return Handle::index_of(handle); }
int handle_entry(int handle) { return Handle::decode(handle).entry; }
int handle_page(int handle) { return Handle::decode(handle).page; }

bool entry_matches(const FileEntry &f, const uint32_t *entry) {
  for (int i = 0; i < f.entry_words(); ++i)
    if (((f.target[i] ^ entry[i]) & f.cur_mask[i]) != 0) return false;
  return true;
}

int next_match_random(FileEntry &f) {
  if (f.cur_dir_page == nullptr || f.cur_entry < 0 || f.cur_entry != f.page_record)
    return ERR_NO_POSITION;
  f.page_nrecords = f.cur_dir_page->entry_count();
  while (f.cur_dir_page != nullptr) {
    if (f.page_record >= f.page_nrecords) {
      DirPage *next = f.cur_dir_page->next;
      if (next == nullptr || f.cur_pageno + 1 >= kMaxLinkedPages) break;
      f.cur_dir_page = next;
      f.cur_pageno += 1;
      f.page_record = f.cur_entry = 0;
      f.page_nrecords = next->entry_count();
      continue;
    }
    const uint32_t *entry = f.cur_dir_page->entry(f.page_record);
    bool accepted = false;
    // Linked pages of another key layout never match.
    if (RecordHeader::type_of(entry[0]) <= 126 && f.cur_dir_page->primary_len == f.primary_len &&
        entry_matches(f, entry)) {
      const int handle = Handle{f.file_index, f.page_record, f.cur_pageno}.encode();
      accepted = f.record_filter == nullptr || f.record_filter(handle) != 0;
    }
    f.page_record += 1;
    f.cur_entry = f.page_record;
    if (accepted) {
      debug_trace("Record found at page# %d, record# %d\n", f.cur_pageno, f.page_record - 1);
      return Handle{f.file_index, f.page_record - 1, f.cur_pageno}.encode();
    }
  }
  return ERR_NOT_FOUND;
}

// A file written sequentially ends in its end mark: one that stops before it
// was cut short (or is still being written), and the records it lacks are
// reported as lost rather than taken for the end of the data.
int no_end_mark(const FileEntry &f, int64_t address) {
  return report("c_xdfloc", ERR_DAMAGED, ERROR,
                "file ends at address %lld without its end mark, file is probably dammaged\n"
                " file in error: %s\n",
                static_cast<long long>(address), row_file_name(f));
}

int runs_past_the_end(const FileEntry &f, int64_t address) {
  return report("c_xdfloc", ERR_DAMAGED, ERROR,
                "object at address %lld runs past the end of the file, file is probably dammaged\n"
                " file in error: %s\n",
                static_cast<long long>(address), row_file_name(f));
}

int next_match_sequential(FileEntry &f) {
  if (f.old_format) return old_format::next_match(f);
  f.valid_pos = 0;
  const int64_t file_words = c_wasize(f.iun);
  const int nwords = f.entry_words();
  // Written sequentially (no directory pages): each record is followed by
  // its trailer and the file by its end mark. A random file read
  // sequentially has its records back to back and simply ends.
  const bool framed = f.header.dir_page_count == 0;
  for (;;) {
    if (f.cur_addr < 1) return ERR_NOT_FOUND;
    if (f.cur_addr > file_words) return framed ? no_end_mark(f, f.cur_addr) : ERR_NOT_FOUND;
    // The two header words first: a logical end-of-file mark or the end mark
    // may lie closer to the end of the file than a whole entry.
    if (c_waread2(f.iun, f.head_keys.data(), static_cast<unsigned int>(f.cur_addr), 2) < 2)
      return framed ? no_end_mark(f, f.cur_addr) : ERR_NOT_FOUND;
    const RecordHeader h = RecordHeader::decode(f.head_keys.data());
    if (h.idtyp >= 112 && h.idtyp <= 127) {
      if (h.idtyp <= 126) f.cur_addr += 2;  // behind a logical end-of-file mark
      if (framed && h.idtyp == kTypeEndMark &&
          (h.length != 1 || h.address != static_cast<uint32_t>(unit_address(f.cur_addr))))
        return report("c_xdfloc", ERR_DAMAGED, ERROR,
                      "end mark at address %lld states length %u and address %u, file is "
                      "probably dammaged\n file in error: %s\n",
                      static_cast<long long>(f.cur_addr), h.length, h.address, row_file_name(f));
      return ERR_NOT_FOUND;
    }
    const int got =
        c_waread2(f.iun, f.head_keys.data(), static_cast<unsigned int>(f.cur_addr), nwords);
    if (got < nwords) return framed ? runs_past_the_end(f, f.cur_addr) : ERR_NOT_FOUND;
    if (h.length == 0)
      return report(
          "c_xdfloc", ERR_DAMAGED, ERROR,
          "object of length 0 at address %lld, file is probably dammaged\n file in error: %s\n",
          static_cast<long long>(f.cur_addr), row_file_name(f));
    bool matched = false;
    int64_t next = f.cur_addr + 2 * static_cast<int64_t>(h.length);
    if (next > file_words + 1) return runs_past_the_end(f, f.cur_addr);
    if (h.idtyp >= 1 && h.idtyp <= 111) {
      // A record that does not state its own address is not where its
      // writer put it: it is reported and passed over, never handed out.
      const bool placed = h.address == static_cast<uint32_t>(unit_address(f.cur_addr));
      if (!placed)
        report("c_xdfloc", ERR_DAMAGED, ERROR,
               "record at address %lld states address %u, file is probably dammaged\n"
               " file in error: %s\n",
               static_cast<long long>(f.cur_addr), h.address, row_file_name(f));
      matched = placed && entry_matches(f, f.head_keys.data());
      // Past the record trailer, when there is one.
      uint32_t trailer[seq::kTrailerWords] = {0, 0, 0, 0};
      const int want = framed ? seq::kTrailerWords : 2;
      if (next + want - 1 <= file_words &&
          c_waread2(f.iun, trailer, static_cast<unsigned int>(next), want) == want &&
          trailer[0] == 2 && trailer[1] == kAllOnes) {
        if (framed && (RecordHeader::length_of(trailer[2]) != h.length ||
                       trailer[3] != static_cast<uint32_t>(unit_address(f.cur_addr))))
          report("c_xdfloc", ERR_DAMAGED, ERROR,
                 "record at address %lld is followed by the trailer of another record, file is "
                 "probably dammaged\n file in error: %s\n",
                 static_cast<long long>(f.cur_addr), row_file_name(f));
        next += seq::kTrailerWords;
      } else if (framed && next + want - 1 <= file_words) {
        // (a file that ends within the trailer is reported at its end)
        report("c_xdfloc", ERR_DAMAGED, ERROR,
               "record at address %lld is not followed by its trailer, file is probably "
               "dammaged\n file in error: %s\n",
               static_cast<long long>(f.cur_addr), row_file_name(f));
      }
    }
    const int64_t found = f.cur_addr;
    f.cur_addr = next;
    if (matched) {
      f.valid_pos = 1;
      debug_trace("Record found at address %lld,\n", static_cast<long long>(found));
      return make_seq_handle(found, f.file_index, f);
    }
  }
}

// Page of a handle for c_xdfprm, c_xdfget2, c_xdfdel, c_xdfput: reports
// the page messages under `module`; never moves the search position.
int find_page(FileEntry &f, int pageno, const char *module, DirPage **out) {
  DirPage *p = page_along_chain(f, pageno);
  if (p != nullptr) {
    *out = p;
    return 0;
  }
  if (f.link == -1)
    return report(module, ERR_BAD_PAGE, ERROR,
                  "page number=%d > last page=%d and file not linked\n", pageno, f.npages - 1);
  return report(module, ERR_BAD_PAGE, ERROR, "invalid handle, invalid page number\n");
}

}  // namespace

int next_match(int index) {
  FileEntry *f = open_entry(index);
  if (f == nullptr) return ERR_NOT_OPEN;
  return f->xdf_seq ? next_match_sequential(*f) : next_match_random(*f);
}

int make_seq_handle(int64_t address, int index, const FileEntry &f) {
  const int64_t u = (address - 1) / 2;
  int64_t offset;
  int cls;
  if (f.old_format) {
    offset = u / 15;
    cls = 0;
  } else if (u >= 67108864) {
    cls = 3, offset = u / 64;
  } else if (u >= 16777216) {
    cls = 2, offset = u / 16;
  } else if (u >= 4194304) {
    cls = 1, offset = u / 4;
  } else {
    cls = 0, offset = u;
  }
  return index + static_cast<int>((static_cast<uint32_t>(offset) & kOffsetMask) << kOffsetShift) +
         (cls << kClassShift);
}

int64_t address_from_handle(int handle, const FileEntry &f) {
  const int cls = (handle >> kClassShift) & 3;
  int64_t u = static_cast<int64_t>((static_cast<uint32_t>(handle) >> kOffsetShift) & kOffsetMask)
              << (2 * cls);
  if (f.old_format) u *= 15;
  return 2 * u + 1;
}

// Locates the directory entry of a random-file handle. Returns 0 and the
// page and entry, or an error reported under `module`.
int entry_of_handle(FileEntry &f, int handle, const char *module, DirPage **page,
                    uint32_t **entry) {
  DirPage *p = nullptr;
  const int rc = find_page(f, handle_page(handle), module, &p);
  if (rc < 0) return rc;
  const int n = handle_entry(handle);
  if (n >= p->entry_count())
    return report(module, ERR_BAD_HANDLE, ERROR, "invalid handle, invalid record number\n");
  *page = p;
  *entry = p->entry(n);
  return 0;
}

}  // namespace zep::xdf

using namespace zep::xdf;

extern "C" int c_xdfloc2(int iun, int handle, uint32_t *keys, int nkeys, uint32_t *mask) {
  const int index = file_index(iun);
  FileEntry *fp = open_entry(index);
  if (fp == nullptr)
    return report("c_xdfloc", ERR_NOT_OPEN, ERROR, "file is not open,iun=%d\n", iun);
  FileEntry &f = *fp;
  if (keys == nullptr) nkeys = 0;
  std::vector<uint32_t> temp_mask;
  if (mask == nullptr && nkeys > 0) {
    temp_mask.resize(static_cast<size_t>(nkeys));
    for (int i = 0; i < nkeys; ++i) temp_mask[i] = keys[i] == kAllOnes ? 0 : kAllOnes;
    mask = temp_mask.data();
  }
  int wanted_page = 0, wanted_entry = 0;
  if (handle > 0) {
    if (handle_index(handle) != index)
      return report("c_xdfloc", ERR_BAD_HANDLE, ERROR, "invalid handle=%d or iun=%d\n", handle,
                    iun);
    if (f.xdf_seq && f.old_format) {
      const int64_t next = old_format::next_address(f, address_from_handle(handle, f), "c_xdfloc");
      if (next < 0) return static_cast<int>(next);
      f.cur_addr = next;
    } else if (f.xdf_seq) {
      const int64_t addr = address_from_handle(handle, f);
      uint32_t head[2] = {0, 0};
      if (c_waread2(f.iun, head, static_cast<unsigned int>(addr), 2) != 2)
        return report("c_xdfloc", ERR_BAD_HANDLE, ERROR, "invalid handle=%d or iun=%d\n", handle,
                      iun);
      const RecordHeader h = RecordHeader::decode(head);
      if (h.length == 0)
        return report(
            "c_xdfloc", ERR_DAMAGED, ERROR,
            "object of length 0 at address %lld, file is probably dammaged\n file in error: %s\n",
            static_cast<long long>(addr), row_file_name(f));
      f.cur_addr = addr + 2 * static_cast<int64_t>(h.length);
    } else {
      wanted_page = handle_page(handle);
      wanted_entry = handle_entry(handle) + 1;
    }
  } else if (handle == 0) {
    f.cur_pageno = -1;
    if (f.xdf_seq) f.cur_addr = f.seq_bof;
  } else if (handle == -1) {
    if (!f.xdf_seq && (f.cur_entry < 0 || f.cur_pageno == -1))
      return report("c_xdfloc", ERR_NO_POSITION, ERROR, "current file position is invalid\n");
  } else {
    return report("c_xdfloc", ERR_BAD_HANDLE, ERROR, "invalid handle\n");
  }

  if (nkeys > 0) {
    std::vector<uint32_t> values = builder_values(f, keys, nkeys, kAllOnes);
    std::vector<uint32_t> masks = builder_values(f, mask, nkeys, 0);
    f.build_primary(f.target.data(), values.data(), f.cur_mask.data(), masks.data(), index, 1);
    for (int i = 0; i < f.entry_words(); ++i) f.cur_mask[i] &= f.srch_mask[i];
    f.valid_target = 1;
  }

  if (!f.xdf_seq && handle != -1) {
    if (wanted_page == f.cur_pageno && f.cur_dir_page != nullptr) {
      // the current page stays
    } else if (wanted_page < f.npages) {
      f.cur_dir_page = f.dir_page[wanted_page].get();
      f.cur_pageno = wanted_page;
    } else if (f.link == -1) {
      f.cur_entry = -1;
      return report("c_xdfloc", ERR_BAD_PAGE, ERROR,
                    "page number=%d > last page=%d and file not linked\n", wanted_page,
                    f.npages - 1);
    } else {
      DirPage *p = page_along_chain(f, wanted_page);
      if (p == nullptr) {
        f.cur_entry = -1;
        return report("c_xdfloc", ERR_BAD_PAGE, ERROR, "invalid handle, invalid page number\n");
      }
      f.cur_dir_page = p;
      f.cur_pageno = wanted_page;
    }
    f.cur_entry = wanted_entry;
    f.page_record = wanted_entry;
  }
  if (!f.xdf_seq && (f.cur_dir_page == nullptr || f.cur_entry < 0))
    return report("c_xdfloc", ERR_NO_POSITION, ERROR, "no valid current file position\n");
  if (!f.valid_target)
    return report("c_xdfloc", ERR_NO_TARGET, ERROR, "no valid current search target\n");
  return next_match(index);
}

extern "C" int c_xdfloc(int iun, int handle, uint32_t *keys, int nkeys) {
  return c_xdfloc2(iun, handle, keys, nkeys, nullptr);
}

extern "C" int c_xdfprm(int handle, int *addr, int *length, int *idtyp, uint32_t *keys, int nkeys) {
  const int index = Handle::index_of(handle);
  FileEntry *fp = open_entry(index);
  if (fp == nullptr || handle <= 0)
    return report("c_xdfprm", ERR_BAD_HANDLE, ERROR, "invalid handle, invalid file index\n");
  FileEntry &f = *fp;
  const uint32_t *entry;
  FileEntry *owner = &f;
  if (f.xdf_seq) {
    if (!f.valid_pos)
      return report("c_xdfprm", ERR_NO_POSITION, ERROR,
                    "no valid file position for sequential file\n");
    const int64_t from_handle = address_from_handle(handle, f);
    const int64_t recorded = word_address(f.head_keys[1]);
    if (from_handle != recorded)
      return report("c_xdfprm", ERR_BAD_HANDLE, ERROR,
                    "invalid handle=%d, invalid address=%lld record address=%lld\n", handle,
                    static_cast<long long>(from_handle), static_cast<long long>(recorded));
    entry = f.head_keys.data();
  } else {
    DirPage *page;
    uint32_t *e;
    const int rc = entry_of_handle(f, handle, "c_xdfprm", &page, &e);
    if (rc < 0) return rc;
    entry = e;
    if (FileEntry *o = open_entry(page->owner)) owner = o;
  }
  const RecordHeader h = RecordHeader::decode(entry);
  if (idtyp) *idtyp = static_cast<int>(h.idtyp);
  if (length) *length = static_cast<int>(h.length);
  if (addr) *addr = static_cast<int>(h.address);
  if (keys != nullptr && nkeys > 0) {
    std::array<uint32_t, kMaxKeyWords> copy{}, scratch_mask{};
    std::copy(entry, entry + owner->entry_words(), copy.begin());
    std::vector<uint32_t> values = builder_values(*owner, nullptr, 0, 0);
    std::vector<uint32_t> ones = builder_values(*owner, nullptr, 0, kAllOnes);
    owner->build_primary(copy.data(), values.data(), scratch_mask.data(), ones.data(),
                         owner->file_index, 0);
    std::copy(values.begin(),
              values.begin() + std::min<size_t>(values.size(), static_cast<size_t>(nkeys)), keys);
  }
  return 0;
}

namespace zep::xdf {
namespace {
int check_unit(const char *module, int iun, FileEntry **out) {
  if (fnom_index(iun) < 0)
    return report(module, ERR_NOT_FNOM, ERROR, "file is not connected with fnom");
  FileEntry *f = open_entry(file_index(iun));
  if (f == nullptr) return report(module, ERR_NOT_OPEN, ERROR, "file is not open");
  *out = f;
  return 0;
}
}  // namespace
}  // namespace zep::xdf

extern "C" int c_xdflnk(int *units, int n) {
  if (units == nullptr || n <= 0) return 0;
  FileEntry *prev = nullptr;
  int rc = check_unit("c_xdflnk", units[0], &prev);
  if (rc < 0) return rc;
  for (int i = 1; i < n; ++i) {
    FileEntry *cur = nullptr;
    rc = check_unit("c_xdflnk", units[i], &cur);
    if (rc < 0) return rc;
    // A file already in the chain would make the chain a loop.
    for (FileEntry *p = cur; p != nullptr; p = p->link >= 0 ? open_entry(p->link) : nullptr) {
      if (p == prev)
        return report("c_xdflnk", ERR_BAD_HANDLE, ERROR, "unit %d is linked twice\n", units[i]);
    }
    for (int j = 0; j < i; ++j)
      if (units[j] == units[i])
        return report("c_xdflnk", ERR_BAD_HANDLE, ERROR, "unit %d is linked twice\n", units[i]);
    if (cur->primary_len != prev->primary_len)
      return report("c_xdflnk", ERR_DIFFERENT_FILES, ERROR,
                    "source and destination files are different type of file\n");
    debug_trace("Debug xdflink %d avec %d\n", units[i - 1], units[i]);
    prev->link = cur->file_index;
    if (!prev->dir_page.empty() && !cur->dir_page.empty()) {
      prev->dir_page.back()->next = cur->dir_page.front().get();
      cur->dir_page.front()->prev = prev->dir_page.back().get();
    }
    prev = cur;
  }
  return 0;
}

extern "C" int c_xdfunl(int *units, int n) {
  for (int i = 0; i < n && units != nullptr; ++i) {
    FileEntry *f = nullptr;
    const int rc = check_unit("c_xdfunl", units[i], &f);
    if (rc < 0) return rc;
    f->link = -1;
    if (!f->dir_page.empty()) {
      DirPage *last = f->dir_page.back().get();
      if (last->next != nullptr) last->next->prev = nullptr;
      last->next = nullptr;
    }
  }
  return 0;
}
