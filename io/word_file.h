// Word-addressable files: the WA control table (one slot per open file) and
// the transfers below the word API. Words here are in disk (big-endian)
// order; the public c_waread2/c_wawrit2 convert to host order.
#pragma once

#include <array>
#include <cstdint>

namespace zep::io {

constexpr int kMaxWaFiles = 128;
constexpr int kMaxPagesPerFile = 10;
constexpr int kMaxPageBuffers = kMaxPagesPerFile * kMaxWaFiles;  // 1280

// One page of a file in the cache. A page holds exactly one frame of
// WA_PAGE_SIZE words; wa0 is the frame's first word address.
struct PageRecord {
  uint32_t *page_adr = nullptr;  // buffer of WA_PAGE_SIZE words
  int64_t wa0 = 0;               // word address of the buffer's first word
  int64_t walast = 0;            // last word address holding file data
  int32_t age = 0;               // access weight; the smallest is evicted first
  int32_t idle = 0;              // decay steps since the last access
  int32_t dirty = 0;             // written since read
};

struct WaSlot {
  int32_t fd = -1;  // -1 marks a free slot
  int32_t npages = 0;
  std::array<PageRecord, kMaxPagesPerFile> page;
  int64_t offset = 0;  // word offset of an archive member inside its archive
};

struct CacheSettings {
  int32_t page_size = 0;   // WA_PAGE_SIZE, words; 0 = cache off
  int32_t page_nb = 1;     // WA_PAGE_NB
  int32_t page_limit = 0;  // WA_PAGE_LIMIT
  int32_t trace = 0;       // WA trace level
};

// The WA control table; configures the cache from WA_CONFIG on first use.
std::array<WaSlot, kMaxWaFiles> &wa_table();
const CacheSettings &wa_settings();

// Slot whose descriptor is fd, or -1.
int wa_slot_of_fd(int fd);

// Opens the file of row `index`; returns the descriptor or -1.
int qqcopen(int index);
// Closes the file of row `index` (writing back its pages); 0, or 1 when the
// descriptor is not in the WA control table.
int qqcclos(int index);
// Disk-order transfers of nmots words at word address adr (0: current
// position), through the cache when it is on. Fatal conditions end the
// process with status 1.
void qqcward(uint32_t *buf, uint64_t adr, int nmots, int index);
void qqcwawr(uint32_t *buf, uint64_t adr, int nmots, int index);

// c_wawrit2 for a buffer whose words from host_words on are already in disk
// order (the leading ones in host order, as c_wawrit2 takes them all): the
// same checks, one transfer, the buffer as it was afterwards.
int write_words(int iun, uint32_t *words, unsigned int adr, int nmots, int host_words);

// After a large transfer of nmots words at word address adr (at least
// kWriteBackBytes) to a file that barriers will force to disk: starts the
// disk's work on those words now, so that the barrier waits only for what
// followed. Moves nothing ahead of a barrier that precedes it; errors are
// left to the barrier's own report. Does nothing under ZEP_FSYNC=0.
constexpr int64_t kWriteBackBytes = int64_t{1} << 20;
void start_write_back(int iun, unsigned int adr, int nmots);

// Page cache (page_cache.cpp).
void wa_page_read(int fd, uint32_t *buf, int64_t adr, int nmots, int index);
void wa_page_write(int fd, uint32_t *buf, int64_t adr, int nmots, int index);
int get_new_page(int slot);
void scrap_page(int first, int last);
void process_decay();
void wa_pages_flush(int slot);
// Writes back every dirty cached page of a slot, in address order, and
// keeps them cached (clean). A failed write-back is a fatal stop.
void wa_pages_write_back(int slot);
// A barrier of the file of row `index`: everything written to it so far
// (its dirty cached pages included) is handed to the system and, when
// `durable` and the environment does not say ZEP_FSYNC=0, forced to the
// disk (fdatasync). Nothing written after the call can reach the file
// before what was written ahead of it. A failure is a fatal stop.
void qqcsync(int index, bool durable);
// False when ZEP_FSYNC=0 (read once): files are then never forced to disk.
bool fsync_enabled();
// Gives the cached pages of a slot back to the pool without writing them
// (the file is being abandoned after a failed transfer).
void wa_pages_drop(int slot);
// Buffers allocated so far and buffers on the free stack (for tests).
int wa_buffers_allocated();
int wa_buffers_free();

// Archive member search (archive.cpp): where the member's data starts
// (word position, or -1/-2/-3 when the member is not found) and its size.
struct MemberPosition {
  int64_t position = -1;  // words from the start of the archive
  int64_t words = 0;      // the member's data, in words
};
MemberPosition filepos(int index);

// Full-length positioned transfers on a descriptor (retrying short
// transfers); the count of bytes moved, or -1.
int64_t read_at(int fd, void *buf, uint64_t bytes, int64_t offset);
int64_t write_at(int fd, const void *buf, uint64_t bytes, int64_t offset);

}  // namespace zep::io
