// Directory pages in memory: appending a page, finding a page along the
// chain of a file and its linked files.
#include <new>

#include "xdf/table.h"
#include "zep/io.h"

namespace zep::xdf {

int add_dir_page(int index, int write) {
  FileEntry *f = open_entry(index);
  if (f == nullptr) return -1;
  if (f->npages >= kMaxDirPages)
    return report("add_dir_page", ERR_NO_PAGES, ERROR,
                  "Too many records, no more directory pages available");
  std::unique_ptr<DirPage> page(new (std::nothrow) DirPage);
  if (!page) return ERR_NO_MEMORY;
  page->owner = index;
  page->primary_len = f->primary_len;
  const size_t nwords = dir_page::words(f->primary_len);
  try {
    page->image.assign(nwords, 0);
  } catch (const std::bad_alloc &) {
    return ERR_NO_MEMORY;
  }
  const uint32_t address = static_cast<uint32_t>(unit_address(f->next_write));
  RecordHeader{kTypeSpecial, static_cast<uint32_t>(dir_page::units(f->primary_len)), address}
      .encode(page->image.data());
  DirPage *prev = f->dir_page.empty() ? nullptr : f->dir_page.back().get();
  if (prev != nullptr) {
    page->next = prev->next;  // a linked file's first page stays behind the chain
    if (page->next != nullptr) page->next->prev = page.get();
    prev->next = page.get();
    page->prev = prev;
  }
  if (write == 1) {
    if (prev != nullptr) prev->image[dir_page::kNextPage] = address;
    dir_page::set_checksum(page->image.data(), nwords);
    c_wawrit2(f->iun, page->image.data(), static_cast<unsigned int>(f->next_write),
              static_cast<int>(nwords));
    f->next_write += static_cast<int64_t>(nwords);
    f->header.file_size = static_cast<uint32_t>((f->next_write - 1) / 2);
    f->header.dir_page_count += 1;
    f->header.last_dir_page = address;
    page->modified = true;
    page->fresh = true;
  }
  f->dir_page.push_back(std::move(page));
  f->npages += 1;
  return 0;
}

DirPage *page_along_chain(FileEntry &f, int pageno) {
  if (pageno < 0 || pageno >= kMaxLinkedPages) return nullptr;
  if (pageno < f.npages) return f.dir_page[pageno].get();
  if (f.npages == 0) return nullptr;
  DirPage *p = f.dir_page[f.npages - 1].get();
  for (int n = f.npages - 1; n < pageno && p != nullptr; ++n) p = p->next;
  return p;
}

}  // namespace zep::xdf
