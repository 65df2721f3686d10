// Bringing a file on disk up to date with its tables in memory, at a
// checkpoint and at the close, in an order that keeps it openable at every
// moment; and the care a writer takes at the open of a file whose last
// writer stopped half way.
//
// The order. A reader trusts the header's page count and follows that many
// pages along the chain; it trusts each counted page's entry count and
// reads that many entries; an entry sends it to a record. So every object
// must be complete on the file before the first object that leads to it:
//
//   1. the records (written when they were put, nothing to do here), then
//      the deletion marks over the headers of erased records;
//   2. the directory pages that no counted page leads to yet (pages added
//      since the header was last written): nothing can reach them before
//      the header counts them, so they may be written in any order;
//   3. the pages already counted, each body (its entries) before its first
//      words (address, link, entry count, checksum): a page whose first
//      words are older than its body counts only entries that were there;
//   4. the header, with the page and record counts and the file size.
//
// A barrier separates the steps: the dirty cached pages of the file are
// written back and the file is forced to disk, so that neither the page
// cache nor the system reorders a later step ahead of an earlier one. A
// writer that stops anywhere leaves one of: the previous header over the
// previous chain with extra records and pages nobody counts; the previous
// header over pages with more entries (each one pointing to a complete
// record); or the new header over the new chain. In each, every record that
// a completed checkpoint or close covered is where its entry says. A header
// never counts a page before that page, and the link to it, are on disk.
#include <algorithm>

#include "io/file_table.h"
#include "io/word_file.h"
#include "xdf/table.h"
#include "zep/io.h"

namespace zep::xdf {

void unit_barrier(const FileEntry &f, bool durable) {
  const io::FileEntry *row = fnom_row(f);
  if (row == nullptr || !row->open || row_read_only(f)) return;
  io::qqcsync(f.fnom_row, durable);
}

namespace {

// Writes one directory page, its body first, then its first words.
void write_page(FileEntry &f, DirPage &page) {
  const int64_t at = word_address(page.address());
  const int total = static_cast<int>(page.image.size());
  c_wawrit2(f.iun, page.image.data() + kDirPageHeaderWords,
            static_cast<unsigned int>(at + kDirPageHeaderWords), total - kDirPageHeaderWords);
  unit_barrier(f, false);
  c_wawrit2(f.iun, page.image.data(), static_cast<unsigned int>(at), kDirPageHeaderWords);
}

// Settles the entry types of a modified page in memory (erasures made in
// memory become erasures) and writes the deletion marks over the headers
// of the records erased since the last write. True when a mark was written.
bool settle_entries(FileEntry &f, DirPage &page, bool writable) {
  bool wrote = false;
  for (int e = 0; e < page.entry_count(); ++e) {
    uint32_t *entry = page.entry(e);
    const uint32_t type = RecordHeader::type_of(entry[0]) | 0x80;
    if (type == kTypeDeletedInMemory) {
      entry[0] = RecordHeader::retyped(entry[0], kTypeDeleted);
      if (writable && entry[1] != 0 && word_address(entry[1]) + 1 < f.next_write) {
        c_wawrit2(f.iun, entry, static_cast<unsigned int>(word_address(entry[1])), 2);
        wrote = true;
      }
    } else if (type == kTypeDeleted) {
      entry[0] = RecordHeader::retyped(entry[0], kTypeDeleted);
    } else {
      entry[0] &= ~0x80000000u;
    }
  }
  dir_page::set_checksum(page.image.data(), page.image.size());
  return wrote;
}

}  // namespace

void write_out(FileEntry &f, bool closing) {
  const bool writable = !row_read_only(f);
  if (f.modified) {
    const size_t npages = std::min<size_t>(f.header.dir_page_count, static_cast<size_t>(f.npages));
    std::vector<DirPage *> fresh, counted;
    for (size_t p = 0; p < npages; ++p) {
      DirPage &page = *f.dir_page[p];
      if (!page.modified) continue;
      settle_entries(f, page, writable);
      (page.fresh ? fresh : counted).push_back(&page);
    }
    if (writable) {
      if (!fresh.empty() || !counted.empty()) unit_barrier(f, true);  // step 1 done
      for (DirPage *page : fresh) write_page(f, *page);
      if (!fresh.empty()) unit_barrier(f, true);  // step 2 done
      for (DirPage *page : counted) write_page(f, *page);
      if (!counted.empty()) unit_barrier(f, true);  // step 3 done
    }
    for (DirPage *page : fresh) page->modified = false;
    for (DirPage *page : counted) page->modified = false;
    f.modified = 0;
  }
  if (!writable || f.header.rw_flag == 0) return;
  if (closing) f.header.rw_flag = 0;
  write_header(f);
  unit_barrier(f, true);  // step 4 done: the header is on disk
  for (auto &page : f.dir_page) page->fresh = false;
}

void protect_written_words(FileEntry &f) {
  if (f.xdf_seq || f.old_format || row_read_only(f) || f.header.rw_flag == 0) return;
  const int64_t file_words = c_wasize(f.iun);
  const int64_t page_words = static_cast<int64_t>(dir_page::words(f.primary_len));
  const size_t npages = std::min<size_t>(f.header.dir_page_count, f.dir_page.size());
  int64_t end = f.next_write;  // first word past everything the directory reaches
  uint32_t live = 0;
  for (size_t p = 0; p < npages; ++p) {
    DirPage &page = *f.dir_page[p];
    end = std::max(end, word_address(page.address()) + page_words);
    // A writer stopped between a page's body and its first words left a
    // checksum that no longer matches: the page is written again, whole.
    if (dir_page::xor_check(page.image.data(), page.image.size()) != 0) {
      page.modified = true;
      f.modified = 1;
    }
    for (int e = 0; e < page.entry_count(); ++e) {
      const uint32_t *entry = page.entry(e);
      const int64_t last =
          word_address(entry[1]) + 2 * static_cast<int64_t>(RecordHeader::length_of(entry[0]));
      if (entry[1] != 0 && last <= file_words + 1) end = std::max(end, last);
      if (!type_is_deleted(RecordHeader::type_of(entry[0]))) ++live;
    }
  }
  // Appends go past every word the chain leads to, even where the header,
  // written last by a writer that stopped, does not count them yet.
  if (end > f.next_write) {
    f.next_write = end + ((end - 1) % 2);  // a unit boundary
    f.header.file_size = static_cast<uint32_t>((f.next_write - 1) / 2);
    f.modified = 1;
  }
  if (live != f.header.valid_count) {
    f.header.valid_count = live;
    f.modified = 1;
  }
  // A link out of the last counted page leads to a page nobody counts;
  // the next page appended replaces it.
  if (npages > 0 && npages == f.dir_page.size()) {
    DirPage &last = *f.dir_page[npages - 1];
    if (last.next_page() != 0) {
      last.image[dir_page::kNextPage] = 0;
      last.modified = true;
      f.modified = 1;
    }
  }
}

}  // namespace zep::xdf
