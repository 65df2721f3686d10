// The page cache of word-addressable files. Each open file keeps up to
// WA_PAGE_NB pages, each holding one frame of WA_PAGE_SIZE words in disk
// order. Every paged access decays all weights by a quarter; a read adds
// 256 to the page's weight and a write 512, and the page of smallest weight
// is evicted (ties: lowest slot, then lowest record), written back first
// when dirty. Buffers are allocated on demand up to WA_PAGE_LIMIT and
// recycled through a free stack, never freed.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/fatal.h"
#include "io/file_table.h"
#include "io/word_file.h"

namespace zep::io {

namespace {

struct PagePool {
  std::vector<std::unique_ptr<uint32_t[]>> owned;  // every buffer ever allocated
  std::vector<uint32_t *> free_stack;              // top at back(); nfree = size() - 1
  PagePool() { free_stack.reserve(kMaxPageBuffers); }
};

PagePool &pool() {
  static PagePool p;
  return p;
}

int nfree() { return static_cast<int>(pool().free_stack.size()) - 1; }

// Checks that no two pages of a slot hold overlapping frames.
void check_overlap(const WaSlot &w, int64_t S, const char *who) {
  for (int i = 0; i < w.npages; ++i) {
    for (int j = 0; j < w.npages; ++j) {
      if (i == j) continue;
      const PageRecord &pi = w.page[i];
      const PageRecord &pj = w.page[j];
      if (pi.wa0 >= pj.wa0 && pj.wa0 + S - 1 >= pi.wa0) {
        zep::fatal_print(stderr, "%s error: overlapping pages i=%d\n", who, j);
        zep::fatal_print(stderr,
                         "page[j].wa0 =%lld, page[i].wa0 =%lld, page[i].wa0+WA_PAGE_SIZE =%lld\n",
                         static_cast<long long>(pi.wa0), static_cast<long long>(pj.wa0),
                         static_cast<long long>(pj.wa0 + S - 1));
        std::fflush(stderr);
        zep::fatal_print(stdout, "Error: call to stub version of module tracebck_\n");
        zep::fatal_stop(1, zep::FatalKind::kOther);
      }
    }
  }
}

int find_hit(const WaSlot &w, int64_t adr, int nmots, int64_t S) {
  for (int i = 0; i < w.npages; ++i)
    if (w.page[i].wa0 <= adr && adr + nmots <= w.page[i].wa0 + S) return i;
  return -1;
}

}  // namespace

// Writes a dirty page back to its frame of the file and marks it clean; a
// write that does not complete ends the process (or throws, see fatal.h):
// a failed write-back is never hidden.
static void write_page_back(WaSlot &w, PageRecord &p, int slot, int first, int last) {
  const CacheSettings &s = wa_settings();
  const int64_t nwords = p.walast - p.wa0 + 1;
  if (nwords > 0) {
    const int64_t ier =
        write_at(w.fd, p.page_adr, static_cast<uint64_t>(nwords) * 4, (p.wa0 - 1) * 4);
    if (ier != nwords * 4) {
      zep::fatal_print(stderr, "scrap_page error: cannot write page, fd=%d\n", w.fd);
      zep::fatal_print(stderr,
                       "scrap_page error: trying to write %d words buffer=%lx, fileadr=%lld\n",
                       static_cast<int>(nwords),
                       static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p.page_adr)),
                       static_cast<long long>(p.wa0 - 1));
      zep::fatal_print(stderr, "scrap_page error: ier=%d,fl0=%d,ind0=%d,ind1=%d\n",
                       static_cast<int>(ier), slot, first, last);
      zep::fatal_perror("FATAL WA ERROR");
      zep::fatal_stop(1, zep::FatalKind::kWrite);
    }
    if (s.trace > 4)
      std::fprintf(stderr, "Debug SCRAP_PAGE ecriture disque adr=%lld, nmots=%d \n",
                   static_cast<long long>(p.wa0), static_cast<int>(nwords));
  }
  p.dirty = 0;
}

int wa_buffers_allocated() { return static_cast<int>(pool().owned.size()); }
int wa_buffers_free() { return static_cast<int>(pool().free_stack.size()); }

void process_decay() {
  for (WaSlot &w : wa_table()) {
    for (int i = 0; i < w.npages; ++i) {
      w.page[i].age -= w.page[i].age >> 2;
      w.page[i].idle += 1;
    }
  }
}

void scrap_page(int first, int last) {
  const CacheSettings &s = wa_settings();
  auto &table = wa_table();
  if (s.trace > 4) std::fprintf(stderr, "Debug SCRAP_PAGE ind0=%d, ind1=%d \n", first, last);
  int fl0 = -1, pg0 = -1;
  int32_t age0 = 0;
  for (int j = first; j <= last; ++j) {
    const WaSlot &w = table[j];
    for (int i = 0; i < w.npages; ++i) {
      if (s.trace > 5)
        std::fprintf(stderr, "Debug SCRAP_PAGE j=%d, i=%d age0=%d\n", j, i, w.page[i].age);
      if (fl0 < 0 || w.page[i].age < age0) {
        fl0 = j;
        pg0 = i;
        age0 = w.page[i].age;
      }
    }
  }
  if (fl0 < 0) {
    zep::fatal_print(stderr, "scrap_page error: cannot find a page to scrap\n");
    zep::fatal_stop(1, zep::FatalKind::kOther);
  }
  if (s.trace > 4)
    std::fprintf(stderr, "Debug SCRAP_PAGE fl0=%d, pg0=%d, age0=%d\n", fl0, pg0, age0);
  WaSlot &w = table[fl0];
  PageRecord &p = w.page[pg0];
  if (p.dirty) write_page_back(w, p, fl0, first, last);
  pool().free_stack.push_back(p.page_adr);
  for (int i = pg0; i + 1 < w.npages; ++i) w.page[i] = w.page[i + 1];
  w.npages -= 1;
  w.page[w.npages] = PageRecord();
}

int get_new_page(int slot) {
  const CacheSettings &s = wa_settings();
  WaSlot &w = wa_table()[slot];
  if (w.npages >= s.page_nb) {
    scrap_page(slot, slot);
    if (w.npages >= s.page_nb) {
      zep::fatal_print(stderr, "get_new_page error: no page left !??");
      zep::fatal_stop(1, zep::FatalKind::kOther);
    }
  }
  PagePool &pp = pool();
  if (pp.free_stack.empty() && static_cast<int>(pp.owned.size()) < s.page_limit) {
    std::unique_ptr<uint32_t[]> buf(new (std::nothrow) uint32_t[static_cast<size_t>(s.page_size)]);
    if (!buf) {
      zep::fatal_print(stderr, "WA get_new_page error: can't allocate (not enough memory)\n");
      zep::fatal_stop(1, zep::FatalKind::kOther);
    }
    pp.free_stack.push_back(buf.get());
    pp.owned.push_back(std::move(buf));
    if (s.trace > 4)
      std::fprintf(stderr, "Debug GET_NEW_PAGE nfree=%d malloc=%d \n", nfree(),
                   static_cast<int>(pp.owned.size()));
  }
  if (pp.free_stack.empty()) {
    scrap_page(0, kMaxWaFiles - 1);
    if (pp.free_stack.empty()) {
      zep::fatal_print(stderr, "get_new_page error: no page left !??");
      zep::fatal_stop(1, zep::FatalKind::kOther);
    }
  }
  uint32_t *buf = pp.free_stack.back();
  pp.free_stack.pop_back();
  const int rec = w.npages;
  w.npages += 1;
  w.page[rec] = PageRecord();
  w.page[rec].page_adr = buf;
  if (s.trace > 4)
    std::fprintf(stderr, "Debug GET_NEW_PAGE pg0=%d, page_adr=%d \n", rec,
                 static_cast<int>(reinterpret_cast<uintptr_t>(buf)));
  return rec;
}

void wa_pages_drop(int slot) {
  WaSlot &w = wa_table()[slot];
  for (int i = 0; i < w.npages; ++i) {
    if (w.page[i].page_adr != nullptr) pool().free_stack.push_back(w.page[i].page_adr);
    w.page[i] = PageRecord();
  }
  w.npages = 0;
}

void wa_pages_flush(int slot) {
  WaSlot &w = wa_table()[slot];
  while (w.npages > 0) scrap_page(slot, slot);
}

void wa_pages_write_back(int slot) {
  WaSlot &w = wa_table()[slot];
  // In address order, each page once: the caller's barrier needs all of
  // them on the file, not any particular order among them.
  std::vector<int> dirty;
  for (int i = 0; i < w.npages; ++i)
    if (w.page[i].dirty) dirty.push_back(i);
  std::sort(dirty.begin(), dirty.end(),
            [&](int a, int b) { return w.page[a].wa0 < w.page[b].wa0; });
  for (int i : dirty) write_page_back(w, w.page[i], slot, slot, slot);
}

void wa_page_read(int fd, uint32_t *buf, int64_t adr, int nmots, int index) {
  const CacheSettings &s = wa_settings();
  const int64_t S = s.page_size;
  process_decay();
  if (s.trace > 4)
    std::fprintf(stderr, "Debug WA_PAGE_READ requete adr=%u, nmots=%d ind=%d\n",
                 static_cast<unsigned>(adr), nmots, index);
  const int slot = wa_slot_of_fd(fd);
  if (slot < 0) {
    zep::fatal_print(stderr, "wa_page_read error: file is not open\n");
    zep::fatal_stop(1, zep::FatalKind::kOther);
  }
  WaSlot &w = wa_table()[slot];
  FileEntry &e = file_entry(index);
  int rec = find_hit(w, adr, nmots, S);
  if (rec < 0) {
    get_new_page(slot);
    rec = w.npages - 1;
    PageRecord &p = w.page[rec];
    p.wa0 = ((adr - 1) / S) * S + 1;
    p.age += 1;
    if (s.trace > 4) std::fprintf(stderr, "Debug WA_PAGE_READ obtention d'une page %d\n", rec);
    const int64_t expected = std::min<int64_t>(S, static_cast<int64_t>(e.size) - p.wa0 + 1);
    const int64_t got = read_at(fd, p.page_adr, static_cast<uint64_t>(S) * 4, (p.wa0 - 1) * 4);
    if (got < expected * 4) {
      zep::fatal_print(stderr, "wa_page_read error: cannot read page from file %d,fd=%d\n", slot,
                       fd);
      zep::fatal_print(stderr, "  tried to get %d bytes, got %d\n", static_cast<int>(S * 4),
                       static_cast<int>(got));
      zep::fatal_perror("WA_PAGE_READ");
      zep::fatal_stop(1, zep::FatalKind::kShortRead);
    }
    const int64_t words = got > 0 ? got / 4 : 0;
    std::memset(p.page_adr + words, 0, static_cast<size_t>(S - words) * 4);
    p.walast = p.wa0 - 1 + words;
    if (s.trace > 4)
      std::fprintf(stderr, "Debug WA_PAGE_READ lecture disque adr=%lld\n",
                   static_cast<long long>(p.wa0));
  }
  PageRecord &p = w.page[rec];
  std::memcpy(buf, p.page_adr + (adr - p.wa0), static_cast<size_t>(nmots) * 4);
  p.idle = 0;
  p.age += 256;
  check_overlap(w, S, "WA_PAGE_READ");
}

void wa_page_write(int fd, uint32_t *buf, int64_t adr, int nmots, int index) {
  const CacheSettings &s = wa_settings();
  const int64_t S = s.page_size;
  process_decay();
  if (s.trace > 4)
    std::fprintf(stderr, "Debug WA_PAGE_WRITE requete adr=%u, nmots=%d ind=%d\n",
                 static_cast<unsigned>(adr), nmots, index);
  const int slot = wa_slot_of_fd(fd);
  if (slot < 0) {
    zep::fatal_print(stderr, "wa_page_write error: file is not open\n");
    zep::fatal_stop(1, zep::FatalKind::kOther);
  }
  WaSlot &w = wa_table()[slot];
  FileEntry &e = file_entry(index);
  int rec = find_hit(w, adr, nmots, S);
  const int64_t last = adr + nmots - 1;
  if (rec < 0) {
    get_new_page(slot);
    rec = w.npages - 1;
    PageRecord &p = w.page[rec];
    p.wa0 = ((adr - 1) / S) * S + 1;
    p.age += 1;
    if (s.trace > 4) std::fprintf(stderr, "Debug WA_PAGE_WRITE obtention d'une page %d\n", rec);
    const bool covers = adr == p.wa0 && (last == p.wa0 + S - 1 || last >= e.size);
    if (!covers) {
      const int64_t expected = std::min<int64_t>(S, static_cast<int64_t>(e.size) - p.wa0 + 1);
      const int64_t got = read_at(fd, p.page_adr, static_cast<uint64_t>(S) * 4, (p.wa0 - 1) * 4);
      if (got < expected * 4) {
        zep::fatal_print(stderr, "wa_page_write error: cannot read page on file %s\n",
                         e.file_name.c_str());
        zep::fatal_print(stderr, " tried to get %d bytes, got %d\n", static_cast<int>(expected * 4),
                         static_cast<int>(got));
        zep::fatal_print(stderr, "WA_PAGE_SIZE=%d wa0=%lld file_size=%d\n", static_cast<int>(S),
                         static_cast<long long>(p.wa0), e.size);
        zep::fatal_perror("WA_PAGE_WRITE");
        zep::fatal_stop(1, zep::FatalKind::kShortRead);
      }
      const int64_t words = got > 0 ? got / 4 : 0;
      std::memset(p.page_adr + words, 0, static_cast<size_t>(S - words) * 4);
      p.walast = p.wa0 - 1 + words;
      if (s.trace > 4)
        std::fprintf(stderr,
                     "Debug WA_PAGE_WRITE relecture disque de la page %d a l'adresse %lld\n", rec,
                     static_cast<long long>(p.wa0));
    } else {
      // Words of the frame that the write does not reach are never part of
      // the file; keep them zero rather than stale.
      std::memset(p.page_adr, 0, static_cast<size_t>(S) * 4);
    }
  }
  PageRecord &p = w.page[rec];
  std::memcpy(p.page_adr + (adr - p.wa0), buf, static_cast<size_t>(nmots) * 4);
  p.idle = 0;
  p.age += 512;
  p.dirty = 1;
  if (static_cast<int64_t>(e.size) + 1 < adr) {
    zep::fatal_print(stderr, "WA_PAGE_WRITE error: ind = %d, adr=%u > file_size=%d\n", slot,
                     static_cast<unsigned>(adr), e.size);
    zep::fatal_print(stderr, "                     filename=%s\n", e.file_name.c_str());
    zep::fatal_stop(1, zep::FatalKind::kOther);
  }
  if (e.size < last) e.size = e.esize = static_cast<int32_t>(last);
  if (p.walast < last) p.walast = last;
  check_overlap(w, S, "WA_PAGE_WRITE");
}

}  // namespace zep::io
