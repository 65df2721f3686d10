// Record buffers: preparing, editing, writing, reading and deleting records.
//
// A record buffer is nine control words followed by the record image:
//   0 dimension (words, control words included; set by the caller)
//   1 nbits: image length in bits     2 data offset (image words)
//   3 record offset (0)               4 unit whose key layout the image follows
//   5 info offset (image words)       6-8 spare
#include <algorithm>
#include <cstring>

#include "io/file_table.h"
#include "io/word_file.h"
#include "xdf/old_format.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/packing.h"
#include "zep/xdf.h"

namespace zep::xdf {
namespace {

constexpr int kControlWords = kBufferControlWords;
enum { kDim = 0, kNbits = 1, kDataOffset = 2, kRecordOffset = 3, kIun = 4, kInfoOffset = 5 };

uint32_t *image_of(uint32_t *buf) { return buf + kControlWords; }
int32_t as_int(uint32_t w) { return static_cast<int32_t>(w); }

// Room of the buffer for its image, in words; -1 when the dimension is absurd.
int64_t image_room(const uint32_t *buf) {
  const int64_t dim = as_int(buf[kDim]);
  return dim < kControlWords ? -1 : dim - kControlWords;
}

// Words of the primary and info parts of file f.
int64_t key_part_words(const FileEntry &f) {
  return 2 * static_cast<int64_t>(f.primary_len + f.info_len);
}

// The unit checks of the preparing calls, each with its own severity.
int check_open_unit(const char *module, int iun, int level, FileEntry **out) {
  if (fnom_index(iun) < 0)
    return report(module, ERR_NOT_FNOM, level, "file is not connected with fnom");
  FileEntry *f = open_entry(file_index(iun));
  if (f == nullptr || !f->has_header)
    return report(module, ERR_NOT_OPEN, level, "file is not open");
  *out = f;
  return 0;
}

int check_key_room(const char *module, const uint32_t *buf, const FileEntry &f) {
  if (image_room(buf) < key_part_words(f))
    return report(module, ERR_BUFFER_SMALL, ERROR,
                  "buffer of %d words cannot hold the record header and keys (%lld words)\n",
                  as_int(buf[kDim]), static_cast<long long>(kControlWords + key_part_words(f)));
  return 0;
}

void insert_primary(FileEntry &f, uint32_t *image, const uint32_t *keys, int nkeys) {
  std::vector<uint32_t> values = builder_values(f, keys, nkeys, kAllOnes);
  std::vector<uint32_t> ones = builder_values(f, nullptr, 0, kAllOnes);
  std::array<uint32_t, kMaxKeyWords> mask{};
  f.build_primary(image, values.data(), mask.data(), ones.data(), f.file_index, 1);
}

void insert_info(FileEntry &f, uint32_t *info_area, const uint32_t *info, int ninfo) {
  std::vector<uint32_t> values = builder_info_values(f, info, ninfo, kAllOnes);
  f.build_info(info_area, values.data(), f.file_index, 1);
}

bool datyp_supported(int datyp) {
  return datyp >= kElementRaw && datyp <= kElementDoublesToo && datyp != 1;
}

// The editing calls' common checks. bitpos < 0 for c_xdfadd. On success
// fills the edit's words W, its place in the image and the image's words.
struct Edit {
  int64_t w = 0, place = 0, image_words = 0, room = 0;
};
int edit_checks(const char *module, uint32_t *buf, int bitpos, int nelm, int nbits, int datyp,
                Edit *e) {
  if (bitpos >= 0 && bitpos % 64 != 0)
    return report(module, ERR_BAD_BITS, FATAL, "bitpos must be a multiple of 64");
  if ((datyp == kElementChars || datyp == kElementUpperChars) && nbits != 8)
    return report(module, ERR_BAD_TYPE, FATAL, "nbits must be 8 for datyp %d", datyp);
  if (nelm < 0 || nbits < 0 || bitpos < -1)
    return report(module, ERR_BAD_TYPE, ERROR, "invalid nelm=%d, nbits=%d or bitpos=%d\n", nelm,
                  nbits, bitpos);
  e->room = image_room(buf);
  const int64_t nbits_image = as_int(buf[kNbits]);
  const int64_t data_offset = as_int(buf[kDataOffset]);
  e->image_words = nbits_image / 32 + as_int(buf[kRecordOffset]);
  if (e->room < 0 || nbits_image < 0 || e->image_words < 0 || e->image_words > e->room ||
      data_offset < 0 || data_offset > e->room)
    return report(module, ERR_BAD_BUFFER, ERROR, "record not properly initialized\n");
  e->w = 2 * ((static_cast<int64_t>(nelm) * nbits + 63) / 64);
  e->place = (bitpos < 0 ? 0 : bitpos / 32) + data_offset;
  return 0;
}

// Words the elements occupy without rounding to units.
int64_t element_words(int nelm, int nbits) {
  return (static_cast<int64_t>(nelm) * nbits + 31) / 32;
}

// Stores nelm elements of data at dst (w words, zeroed first).
void store_elements(uint32_t *dst, int64_t w, uint32_t *data, int nelm, int nbits, int datyp) {
  std::fill(dst, dst + w, 0u);
  const int64_t nw = std::min(element_words(nelm, nbits), w);
  switch (datyp) {
    case kElementUnsigned:
    case kElementSigned:
      if (nelm > 0 && nbits > 0)
        compact_integer(data, nullptr, dst, nelm, nbits, 0, settings().xdf_stride,
                        datyp == kElementUnsigned ? 1 : 3);
      break;
    case kElementUpperChars:
      for (int64_t i = 0; i < nw; ++i) dst[i] = fold_upper(data[i]);
      break;
    case kElementDoubles:
    case kElementDoublesToo: {
      const int items = static_cast<int>(nw / 2);
      move6432_(data, dst, &items);
      if (nw % 2) dst[nw - 1] = data[nw - 1];
      break;
    }
    default: std::copy(data, data + nw, dst);
  }
}

void extract_elements(uint32_t *data, const uint32_t *src, int nelm, int nbits, int datyp) {
  const int64_t nw = element_words(nelm, nbits);
  switch (datyp) {
    case kElementUnsigned:
    case kElementSigned:
      if (nelm > 0 && nbits > 0)
        compact_integer(data, nullptr, const_cast<uint32_t *>(src), nelm, nbits, 0,
                        settings().xdf_stride, datyp == kElementUnsigned ? 2 : 4);
      break;
    case kElementDoubles:
    case kElementDoublesToo: {
      const int items = static_cast<int>(nw / 2);
      move6432_(src, data, &items);
      if (nw % 2) data[nw - 1] = src[nw - 1];
      break;
    }
    default: std::copy(src, src + nw, data);
  }
}

}  // namespace
}  // namespace zep::xdf

using namespace zep::xdf;

extern "C" int c_xdfini(int iun, uint32_t *buf, int idtyp, uint32_t *keys, int nkeys,
                        uint32_t *info, int ninfo) {
  FileEntry *f = nullptr;
  int rc = check_open_unit("c_xdfini", iun, WARNING, &f);
  if (rc < 0) return rc;
  if ((rc = check_key_room("c_xdfini", buf, *f)) < 0) return rc;
  std::fill(buf + 1, buf + as_int(buf[kDim]), 0u);
  if (idtyp < 1 || idtyp > 126)
    return report("c_xdfini", ERR_BAD_TYPE, ERROR, "invalid idtyp=%d, must be between 1 and 126",
                  idtyp);
  uint32_t *image = image_of(buf);
  buf[kRecordOffset] = 0;
  buf[kIun] = static_cast<uint32_t>(iun);
  image[0] = RecordHeader::word0(static_cast<uint32_t>(idtyp), 0);
  buf[kDataOffset] = static_cast<uint32_t>(key_part_words(*f));
  buf[kNbits] = static_cast<uint32_t>(32 * key_part_words(*f));
  buf[kInfoOffset] = static_cast<uint32_t>(2 * f->primary_len);
  if (nkeys >= 1) insert_primary(*f, image, keys, nkeys);
  if (ninfo >= 1) insert_info(*f, image + 2 * f->primary_len, info, ninfo);
  return 0;
}

extern "C" int c_xdfupd(int iun, uint32_t *buf, int idtyp, uint32_t *keys, int nkeys,
                        uint32_t *info, int ninfo) {
  FileEntry *f = nullptr;
  int rc = check_open_unit("c_xdfupd", iun, ERROR, &f);
  if (rc < 0) return rc;
  if (idtyp != -1 && (idtyp < 1 || idtyp > 126))
    return report("c_xdfupd", ERR_BAD_TYPE, ERROR,
                  "invalid idtyp=%d, must be between 1 and 126 or -1", idtyp);
  if ((rc = check_key_room("c_xdfupd", buf, *f)) < 0) return rc;
  uint32_t *image = image_of(buf);
  buf[kIun] = static_cast<uint32_t>(iun);
  if (idtyp >= 0) image[0] = RecordHeader::retyped(image[0], static_cast<uint32_t>(idtyp));
  if (nkeys > 0) insert_primary(*f, image, keys, nkeys);
  if (ninfo > 0) insert_info(*f, image + 2 * f->primary_len, info, ninfo);
  return 0;
}

extern "C" int c_xdfhdr(uint32_t *buf, int *addr, int *length, int *idtyp, uint32_t *keys,
                        int nkeys, uint32_t *info, int ninfo) {
  const uint32_t *image = image_of(buf);
  const RecordHeader h = RecordHeader::decode(image);
  *idtyp = static_cast<int>(h.idtyp);
  *addr = static_cast<int>(h.address);
  *length = static_cast<int>(h.length);
  FileEntry *f = open_entry(file_index(as_int(buf[kIun])));
  if (f == nullptr || !f->has_header || as_int(buf[kIun]) == kReservedUnit)
    return report("c_xdfhdr", ERR_NOT_OPEN, WARNING, "file is not open");
  const int rc = check_key_room("c_xdfhdr", buf, *f);
  if (rc < 0) return rc;
  std::array<uint32_t, kMaxKeyWords> copy{}, mask{};
  std::copy(image, image + f->entry_words(), copy.begin());
  if (keys != nullptr && nkeys > 0) {
    std::vector<uint32_t> values = builder_values(*f, nullptr, 0, 0);
    std::vector<uint32_t> ones = builder_values(*f, nullptr, 0, kAllOnes);
    f->build_primary(copy.data(), values.data(), mask.data(), ones.data(), f->file_index, 0);
    std::copy(values.begin(),
              values.begin() + std::min<size_t>(values.size(), static_cast<size_t>(nkeys)), keys);
  }
  if (info != nullptr && ninfo > 0) {
    std::vector<uint32_t> info_area(image + 2 * f->primary_len, image + key_part_words(*f));
    info_area.resize(std::max<size_t>(info_area.size(), kMaxKeyWords), 0);
    std::vector<uint32_t> values = builder_info_values(*f, nullptr, 0, 0);
    f->build_info(info_area.data(), values.data(), f->file_index, 0);
    std::copy(values.begin(),
              values.begin() + std::min<size_t>(values.size(), static_cast<size_t>(ninfo)), info);
  }
  return 0;
}

extern "C" int c_xdfadd(uint32_t *buf, uint32_t *data, int nelm, int nbits, int datyp) {
  Edit e;
  int rc = edit_checks("c_xdfadd", buf, -1, nelm, nbits, datyp, &e);
  if (rc < 0) return rc;
  if (e.image_words + e.w > e.room)
    return report("c_xdfadd", ERR_BUFFER_SMALL, ERROR, "buffer not big enough for insertion");
  if (!datyp_supported(datyp))
    return report("c_xdfadd", ERR_BAD_TYPE, ERROR, "invalid datyp=%d\n", datyp);
  store_elements(image_of(buf) + e.image_words, e.w, data, nelm, nbits, datyp);
  buf[kNbits] += static_cast<uint32_t>(32 * e.w);
  return 0;
}

extern "C" int c_xdfins(uint32_t *buf, uint32_t *data, int bitpos, int nelm, int nbits, int datyp) {
  Edit e;
  int rc = edit_checks("c_xdfins", buf, bitpos, nelm, nbits, datyp, &e);
  if (rc < 0) return rc;
  if (e.image_words + e.w > e.room || e.place > e.image_words)
    return report("c_xdfins", ERR_BUFFER_SMALL, ERROR, "buffer not big enough for insertion");
  if (!datyp_supported(datyp))
    return report("c_xdfins", ERR_BAD_TYPE, ERROR, "invalid datyp=%d", datyp);
  uint32_t *image = image_of(buf);
  std::copy_backward(image + e.place, image + e.image_words, image + e.image_words + e.w);
  store_elements(image + e.place, e.w, data, nelm, nbits, datyp);
  buf[kNbits] += static_cast<uint32_t>(32 * e.w);
  return 0;
}

extern "C" int c_xdfrep(uint32_t *buf, uint32_t *data, int bitpos, int nelm, int nbits, int datyp) {
  Edit e;
  int rc = edit_checks("c_xdfrep", buf, bitpos, nelm, nbits, datyp, &e);
  if (rc < 0) return rc;
  if (e.place + e.w > e.room)
    return report("c_xdfrep", ERR_BUFFER_SMALL, ERROR, "buffer not big enough for replacement");
  if (!datyp_supported(datyp))
    return report("c_xdfrep", ERR_BAD_TYPE, ERROR, "invalid datyp=%d", datyp);
  store_elements(image_of(buf) + e.place, e.w, data, nelm, nbits, datyp);
  return 0;
}

extern "C" int c_xdfxtr(uint32_t *buf, uint32_t *data, int bitpos, int nelm, int nbits, int datyp) {
  Edit e;
  int rc = edit_checks("c_xdfxtr", buf, bitpos, nelm, nbits, datyp, &e);
  if (rc < 0) return rc;
  if (e.place + e.w > e.room)
    return report("c_xdfxtr", ERR_BUFFER_SMALL, ERROR, "buffer not big enough for extraction");
  if (!datyp_supported(datyp))
    return report("c_xdfxtr", ERR_BAD_TYPE, ERROR, "invalid datyp=%d", datyp);
  extract_elements(data, image_of(buf) + e.place, nelm, nbits, datyp);
  return 0;
}

extern "C" int c_xdfcut(uint32_t *buf, int bitpos, int nelm, int nbits, int datyp) {
  Edit e;
  int rc = edit_checks("c_xdfcut", buf, bitpos, nelm, nbits, datyp, &e);
  if (rc < 0) return rc;
  if (e.place + e.w > e.image_words)
    return report("c_xdfcut", ERR_BUFFER_SMALL, ERROR, "buffer not big enough for deletion");
  uint32_t *image = image_of(buf);
  std::copy(image + e.place + e.w, image + e.image_words, image + e.place);
  buf[kNbits] -= static_cast<uint32_t>(32 * e.w);
  return 0;
}

extern "C" int c_xdfdel(int handle) {
  FileEntry *fp = open_entry(Handle::index_of(handle));
  if (fp == nullptr || handle <= 0)
    return report("c_xdfdel", ERR_BAD_HANDLE, ERROR, "invalid handle, invalid file index\n");
  FileEntry &f = *fp;
  if (f.header.rw_flag == 0 || f.header.rw_flag == 4)
    return report("c_xdfdel", ERR_NO_DELETE, ERROR, "file is open in read or append mode only\n");
  if (row_read_only(f)) return report("c_xdfdel", ERR_NO_DELETE, ERROR, "file is read only\n");
  uint32_t head[2] = {0, 0};
  uint32_t *entry = head;
  DirPage *page = nullptr;
  int64_t seq_addr = 0;
  if (f.xdf_seq) {
    seq_addr = address_from_handle(handle, f);
    if (c_waread2(f.iun, head, static_cast<unsigned int>(seq_addr), 2) != 2)
      return report("c_xdfdel", ERR_BAD_HANDLE, ERROR, "invalid handle, invalid address=%lld\n",
                    static_cast<long long>(seq_addr));
  } else {
    const int rc = entry_of_handle(f, handle, "c_xdfdel", &page, &entry);
    if (rc < 0) return rc;
    if (page->owner != f.file_index)
      return report("c_xdfdel", ERR_BAD_HANDLE, ERROR, "invalid handle, invalid record number\n");
  }
  const uint32_t type = RecordHeader::type_of(entry[0]);
  if (type == 0) return report("c_xdfdel", ERR_SPECIAL_RECORD, ERROR, "special record idtyp=0\n");
  if (type_is_deleted(type))
    return report("c_xdfdel", ERR_DELETED, WARNING, "record already deleted\n");
  if (f.xdf_seq) {
    head[0] = RecordHeader::retyped(head[0], kTypeDeleted);
    c_wawrit2(f.iun, head, static_cast<unsigned int>(seq_addr), 2);
  } else {
    entry[0] = RecordHeader::retyped(entry[0], kTypeDeletedInMemory);
    page->modified = true;
  }
  f.header.erasure_count += 1;
  f.header.valid_count -= 1;
  f.modified = 1;
  return 0;
}

namespace zep::xdf {
namespace {

// What c_xdfput is to do, settled before anything changes.
struct PutPlan {
  int index = 0;             // the file's slot
  int replaced = 0;          // handle of the record replaced (made positive), 0 for none
  bool append = false;       // the record goes at the end, else over the replaced one
  bool new_page = false;     // an append that needs a directory page first
  int64_t rewrite_addr = 0;  // word address of a rewrite in place
  int64_t words = 0;         // words written, padding included
  int64_t room = 0;          // words the buffer holds
  DirPage *page = nullptr;   // random file: page and entry of the replaced record
  uint32_t *entry = nullptr;
  uint32_t seq_head[2] = {0, 0};  // sequential file: header of the replaced record
};

// Every check of c_xdfput, those of c_xdfdel on the replaced record
// included; nothing changes. 0 with the plan filled, or the error reported.
int plan_put(int iun, int handle, const uint32_t *buf, PutPlan *plan) {
  const int src_index = file_index(as_int(buf[kIun]));
  FileEntry *src = open_entry(src_index);
  if (src == nullptr || !src->has_header)
    return report("c_xdfput", ERR_BAD_BUFFER, ERROR, "record not properly initialized\n");
  const int index = file_index(iun);
  FileEntry *fp = open_entry(index);
  if (fp == nullptr || !fp->has_header)
    return report("c_xdfput", ERR_BAD_UNIT, ERROR, "invalid iun (%d)\n", iun);
  FileEntry &f = *fp;
  const int64_t nbits = as_int(buf[kNbits]);
  if (nbits % 64 != 0)
    return report("c_xdfput", ERR_BAD_BITS, SYSTEM, "buf->nbits is not a multiple of 64 bits\n");
  if (f.header.rw_flag == 0 || row_read_only(f))
    return report("c_xdfput", ERR_NO_WRITE, ERROR,
                  "file is open in read only mode or no write permission\n");
  if (handle != 0 && f.header.rw_flag == 4)
    return report("c_xdfput", ERR_NO_WRITE, ERROR, "file is open in append mode only\n");
  // A buffer of another key layout would put its keys in the wrong places.
  if (src != &f &&
      (src->header.primary_count != f.header.primary_count || src->primary_len != f.primary_len ||
       src->header.info_count != f.header.info_count || src->info_len != f.info_len))
    return report("c_xdfput", ERR_DIFFERENT_FILES, ERROR,
                  "source and destination files are different type of file\n");
  const int64_t n = nbits / 32;
  const int64_t room = image_room(buf);
  if (n < key_part_words(f) || room < 0 || n > room)
    return report("c_xdfput", ERR_BUFFER_SMALL, ERROR,
                  "record of %lld words does not fit its buffer\n", static_cast<long long>(n));
  if (f.xdf_seq && handle < 0)
    return report("c_xdfput", ERR_NO_WRITE, ERROR,
                  "sequential file: a record is rewritten with its handle\n");

  PutPlan p;
  p.index = index;
  p.room = room;
  p.append = handle <= 0;
  const bool positive = handle > 0;
  if (handle < 0) handle = -handle;
  p.replaced = handle;
  if (handle != 0) {
    if (Handle::index_of(handle) != index)
      return report("c_xdfput", ERR_BAD_HANDLE, ERROR, "iun and handle do not match\n");
    const uint32_t *old = nullptr;
    int64_t old_addr;
    if (f.xdf_seq) {
      old_addr = address_from_handle(handle, f);
      if (c_waread2(f.iun, p.seq_head, static_cast<unsigned int>(old_addr), 2) != 2)
        return report("c_xdfput", ERR_BAD_HANDLE, ERROR, "invalid handle, invalid address=%lld\n",
                      static_cast<long long>(old_addr));
      old = p.seq_head;
    } else {
      const int rc = entry_of_handle(f, handle, "c_xdfput", &p.page, &p.entry);
      if (rc < 0) return rc;
      if (p.page->owner != index)
        return report("c_xdfput", ERR_BAD_HANDLE, ERROR, "iun and handle do not match\n");
      old = p.entry;
      old_addr = word_address(p.entry[1]);
      // A rewrite in place must land on the old record, inside the file.
      const int64_t old_words = 2 * static_cast<int64_t>(RecordHeader::length_of(p.entry[0]));
      if (p.entry[1] == 0 || old_addr + old_words - 1 > c_wasize(f.iun))
        return report("c_xdfput", ERR_DAMAGED, ERROR,
                      "record at address %lld runs past the end of the file\n file in error: %s\n",
                      static_cast<long long>(old_addr), row_file_name(f));
    }
    const uint32_t type = RecordHeader::type_of(old[0]);
    if (type == 0) return report("c_xdfput", ERR_SPECIAL_RECORD, ERROR, "special record idtyp=0\n");
    if (type_is_deleted(type)) return report("c_xdfput", ERR_DELETED, ERROR, "deleted record\n");
    if (n != 2 * static_cast<int64_t>(RecordHeader::length_of(old[0])))
      p.append = true;
    else if (positive)
      p.rewrite_addr = old_addr;
  }

  // The padded length must fit the 24-bit length field, and the record the
  // file, a directory page added first counted.
  p.new_page = p.append && !f.xdf_seq && f.dir_page.back()->entry_count() >= kEntriesPerPage;
  int64_t start = p.append ? (f.xdf_seq ? f.cur_addr : f.next_write) : p.rewrite_addr;
  if (p.new_page) start += static_cast<int64_t>(dir_page::words(f.primary_len));
  p.words = f.xdf_seq ? seq::padded_words(start, n) : n;
  if (p.words / 2 > static_cast<int64_t>(kMaxRecordUnits) || start < 1 ||
      start + p.words > kMaxWordAddress)
    return report("c_xdfput", ERR_BUFFER_SMALL, ERROR,
                  "record of %lld words is too long for the file\n",
                  static_cast<long long>(p.words));
  *plan = p;
  return 0;
}

// The writes of a planned c_xdfput: the directory page it needs, the
// replaced record deleted, the new entry claimed, the record, its entry and
// the header's counts.
int commit_put(FileEntry &f, uint32_t *buf, const PutPlan &p, int64_t disk_from) {
  DirPage *page = p.page;
  uint32_t *entry = p.entry;
  int64_t write_addr = p.rewrite_addr;
  if (p.new_page) {
    DirPage *full = f.dir_page.back().get();
    const int rc = add_dir_page(p.index, 1);
    if (rc < 0) return rc;
    full->modified = true;
  }
  if (p.replaced != 0) {
    if (f.xdf_seq) {
      std::copy(p.seq_head, p.seq_head + 2, f.head_keys.begin());
    } else {
      f.cur_dir_page = p.page;
      f.cur_entry = Handle::decode(p.replaced).entry;
    }
    // Cannot fail: every check of c_xdfdel was made by plan_put.
    const int rc = c_xdfdel(p.replaced);
    if (rc < 0) return rc;
  }
  if (p.append) {
    if (f.xdf_seq) {
      write_addr = f.cur_addr;
    } else {
      f.cur_pageno = f.npages - 1;
      f.cur_dir_page = f.dir_page.back().get();
      f.cur_entry = f.cur_dir_page->entry_count();
      f.cur_dir_page->image[dir_page::kEntryCount] += 1;
      entry = f.cur_dir_page->entry(f.cur_entry);
      page = f.cur_dir_page;
      write_addr = f.next_write;
    }
  }

  uint32_t *image = image_of(buf);
  const int64_t n = p.words;
  image[1] = static_cast<uint32_t>(unit_address(write_addr));
  image[0] = RecordHeader::word0(RecordHeader::type_of(image[0]), static_cast<uint32_t>(n / 2));
  std::vector<uint32_t> padded;
  const uint32_t *words = image;
  if (n > p.room) {  // the padding lies past the buffer: write zeros there
    padded.assign(image, image + p.room);
    padded.resize(static_cast<size_t>(n), 0);
    words = padded.data();
  }
  // A record appended to a sequential file goes over its end mark. Its
  // first unit replaces the mark: it is written last, once the rest of the
  // record, its trailer and the new end mark are on the file, so that a
  // reader finds either the old end mark or the whole new record, never a
  // record header followed by words that were not written yet.
  const bool seq_append = f.xdf_seq && p.append && n >= seq::kEndMarkWords;
  const int64_t first_words = seq_append ? seq::kEndMarkWords : n;
  // Words [from, from + count) of the record, those before the image's
  // disk-order part converted on the way.
  const int64_t host_end = disk_from - kControlWords;
  auto put_words = [&](int64_t from, int64_t count) {
    const int64_t host = std::clamp<int64_t>(host_end - from, 0, count);
    io::write_words(f.iun, const_cast<uint32_t *>(words + from),
                    static_cast<unsigned int>(write_addr + from), static_cast<int>(count),
                    static_cast<int>(host));
  };
  if (!seq_append) {
    put_words(0, n);
    io::start_write_back(f.iun, static_cast<unsigned int>(write_addr), static_cast<int>(n));
  } else if (n > first_words) {
    put_words(first_words, n - first_words);
  }
  if (f.xdf_seq && p.append) f.cur_addr += n;

  if (!f.xdf_seq) {
    std::vector<uint32_t> values = builder_values(f, nullptr, 0, 0);
    std::vector<uint32_t> ones = builder_values(f, nullptr, 0, kAllOnes);
    std::array<uint32_t, kMaxKeyWords> copy{}, mask{};
    std::copy(image, image + f.entry_words(), copy.begin());
    f.build_primary(copy.data(), values.data(), mask.data(), ones.data(), p.index, 0);
    f.build_primary(entry, values.data(), mask.data(), ones.data(), p.index, 1);
    entry[0] = image[0];
    entry[1] = image[1];
  }

  f.header.valid_count += 1;
  if (p.append) {
    f.header.extension_count += 1;
    f.header.file_size += static_cast<uint32_t>(n / 2);
    f.next_write = 2 * static_cast<int64_t>(f.header.file_size) + 1;
    f.header.biggest_record = std::max(f.header.biggest_record, static_cast<uint32_t>(n / 2));
    if (f.xdf_seq) {
      uint32_t tail[seq::kTrailerWords + seq::kEndMarkWords];
      seq::encode_trailer(image[0], image[1], tail);
      seq::encode_end_mark(static_cast<uint32_t>(unit_address(f.cur_addr + seq::kTrailerWords)),
                           tail + seq::kTrailerWords);
      c_wawrit2(f.iun, tail, static_cast<unsigned int>(f.cur_addr),
                seq::kTrailerWords + seq::kEndMarkWords);
      if (seq_append) {
        unit_barrier(f, false);  // no cached page of the rest may follow the first unit
        put_words(0, first_words);
      }
      f.cur_addr += seq::kTrailerWords;
      f.next_write = f.cur_addr;
      f.seq_end_mark = f.cur_addr;
      if (io::FileEntry *row = fnom_row(f)) row->size = static_cast<int32_t>(f.next_write + 1);
    }
  }
  if (p.replaced != 0) f.header.rewrite_count += 1;
  f.modified = 1;
  if (page != nullptr) page->modified = true;
  return 0;
}

}  // namespace
}  // namespace zep::xdf

// Checks, then plan, then writes: a refused put changes nothing.
namespace zep::xdf {
int put_record(int iun, int handle, uint32_t *buf, int64_t disk_from) {
  PutPlan plan;
  const int rc = plan_put(iun, handle, buf, &plan);
  if (rc < 0) return rc;
  return commit_put(*open_entry(plan.index), buf, plan, disk_from);
}
}  // namespace zep::xdf

extern "C" int c_xdfput(int iun, int handle, uint32_t *buf) {
  return zep::xdf::put_record(iun, handle, buf, INT64_MAX);
}

namespace zep::xdf {
namespace {

// The entry of `handle` and the file that holds its record (the page's
// owner when files are linked). 0, or a code reported under c_xdfget.
int locate_record(int handle, FileEntry **file, const uint32_t **entry) {
  FileEntry *f = open_entry(Handle::index_of(handle));
  if (f == nullptr || handle <= 0)
    return report("c_xdfget", ERR_BAD_HANDLE, ERROR, "invalid handle, invalid file index\n");
  if (f->xdf_seq) {
    if (!f->valid_pos)
      return report("c_xdfget", ERR_NO_POSITION, ERROR,
                    "no valid file position for sequential file\n");
    const int64_t from_handle = address_from_handle(handle, *f);
    const int64_t recorded = word_address(f->head_keys[1]);
    if (from_handle != recorded)
      return report("c_xdfget", ERR_BAD_HANDLE, ERROR,
                    "invalid handle, invalid address=%lld record address=%lld\n",
                    static_cast<long long>(from_handle), static_cast<long long>(recorded));
    *entry = f->head_keys.data();
  } else {
    DirPage *page;
    uint32_t *e;
    const int rc = entry_of_handle(*f, handle, "c_xdfget", &page, &e);
    if (rc < 0) return rc;
    *entry = e;
    if (FileEntry *owner = open_entry(page->owner)) f = owner;
  }
  *file = f;
  return 0;
}

int past_the_end(const FileEntry &f, int64_t addr, int64_t words) {
  return report(
      "c_xdfget", ERR_DAMAGED, ERROR,
      "record at address %lld of %lld words runs past the end of the file\n file in error: %s\n",
      static_cast<long long>(addr), static_cast<long long>(words), row_file_name(f));
}

}  // namespace
}  // namespace zep::xdf

int zep::xdf::record_in_file(int handle) {
  FileEntry *f = nullptr;
  const uint32_t *entry = nullptr;
  const int rc = locate_record(handle, &f, &entry);
  if (rc < 0) return rc;
  const RecordHeader h = RecordHeader::decode(entry);
  const int64_t s = 2 * static_cast<int64_t>(h.length);
  const int64_t addr = word_address(h.address);
  if (h.address == 0 || addr + s - 1 > c_wasize(f->iun)) return past_the_end(*f, addr, s);
  return 0;
}

int zep::xdf::get_record(int handle, uint32_t *buf, int *aux, int64_t head_words,
                         RecordPlace *place) {
  FileEntry *f = nullptr;
  const uint32_t *entry = nullptr;
  const int located = locate_record(handle, &f, &entry);
  if (located < 0) return located;
  const RecordHeader h = RecordHeader::decode(entry);
  if (h.idtyp == 0)
    return report("c_xdfget", ERR_SPECIAL_RECORD, ERROR, "special record idtyp=0\n");
  if (type_is_deleted(h.idtyp)) return report("c_xdfget", ERR_DELETED, ERROR, "deleted record\n");
  int64_t dim = as_int(buf[kDim]);
  int64_t skip = 0;
  if (dim < 0) {
    if (as_int(buf[kNbits]) != -1)
      return report("c_xdfget", ERR_BUFFER_SMALL, ERROR, "dimension of buf is invalid = %lld\n",
                    static_cast<long long>(dim));
    skip = f->old_format ? old_format::data_skip_words(*f) : key_part_words(*f);
    dim = -dim;
  }
  const int64_t s = 2 * static_cast<int64_t>(h.length);
  // The buffer holds the whole record, or the head of its data asked for.
  const bool whole = head_words >= s - skip;
  const int64_t room = whole ? s : std::max<int64_t>(head_words, 0);
  if (dim < room + kControlWords)
    return report("c_xdfget", ERR_BUFFER_SMALL, ERROR,
                  "dimension of buf (%lld) < record size (%lld)\n", static_cast<long long>(dim),
                  static_cast<long long>(room + kControlWords));
  const int64_t addr = word_address(h.address);
  const int64_t file_words = c_wasize(f->iun);
  if (h.address == 0 || skip > s || addr + s - 1 > file_words) return past_the_end(*f, addr, s);
  buf[kNbits] = static_cast<uint32_t>(32 * s);
  buf[kDataOffset] = static_cast<uint32_t>(key_part_words(*f));
  buf[kRecordOffset] = 0;
  buf[kIun] = static_cast<uint32_t>(f->iun);
  buf[kInfoOffset] = static_cast<uint32_t>(2 * f->primary_len);
  if (aux != nullptr) {
    aux[0] = aux[1] = 0;
    if (!f->xdf_seq && !f->old_format && f->info_len > 0)
      c_waread2(f->iun, aux, static_cast<unsigned int>(addr + 2 * f->primary_len), 2 * f->info_len);
  }
  // The record states its own type, length and address: an entry that
  // points anywhere else (into another record, at a stale place) would
  // hand out words that are not this record's.
  if (!f->old_format) {
    uint32_t own[RecordHeader::kWords] = {0, 0};
    if (c_waread2(f->iun, own, static_cast<unsigned int>(addr), RecordHeader::kWords) !=
        RecordHeader::kWords)
      return past_the_end(*f, addr, s);
    // An erase marks the record's header before the directory page that
    // commits it is written; a writer stopped in between leaves a record
    // marked deleted under a live entry, and the entry decides.
    const bool erase_not_committed = type_is_deleted(RecordHeader::type_of(own[0])) &&
                                     RecordHeader::length_of(own[0]) == h.length;
    if ((own[0] != entry[0] && !erase_not_committed) || own[1] != entry[1]) {
      const RecordHeader r = RecordHeader::decode(own);
      return report("c_xdfget", ERR_DAMAGED, ERROR,
                    "record at address %lld does not match its directory entry, file is probably "
                    "dammaged\n record: type %u, %u units, address %u; entry: type %u, %u units, "
                    "address %u\n file in error: %s\n",
                    static_cast<long long>(addr), r.idtyp, r.length, r.address, h.idtyp, h.length,
                    h.address, row_file_name(*f));
    }
  }
  uint32_t *image = image_of(buf);
  const int64_t stored = s - skip;
  const int64_t want = whole ? stored : room;
  std::fill(image + std::max<int64_t>(want, 0), image + room, 0u);  // the rest is read
  if (want > 0 && c_waread2(f->iun, image, static_cast<unsigned int>(addr + skip),
                            static_cast<int>(want)) != want)
    return report("c_xdfget", ERR_DAMAGED, ERROR,
                  "short read of the record at address %lld\n file in error: %s\n",
                  static_cast<long long>(addr), row_file_name(*f));
  if (place != nullptr) {
    place->iun = f->iun;
    place->address = addr + skip;
    place->words = std::max<int64_t>(stored, 0);
  }
  return 0;
}

extern "C" int c_xdfget2(int handle, uint32_t *buf, int *aux) {
  return zep::xdf::get_record(handle, buf, aux, INT64_MAX, nullptr);
}

extern "C" int c_xdfget(int handle, uint32_t *buf) { return c_xdfget2(handle, buf, nullptr); }
