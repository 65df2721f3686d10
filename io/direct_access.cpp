// Direct-access files: block reads and writes over word-addressable files,
// with the start/check protocol of an asynchronous transfer (every transfer
// here completes before the call returns).
#include "io/direct_access.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "zep/io.h"
#include "zep/io_seq.h"

namespace zep::io {

std::array<int32_t, kMaxDaPending> &da_pending() {
  static std::array<int32_t, kMaxDaPending> list{};
  return list;
}

bool da_is_pending(int iun) {
  if (iun == 0) return false;
  const auto &list = da_pending();
  return std::find(list.begin(), list.end(), iun) != list.end();
}

bool da_transfer_span(int nblocks, int block, uint32_t *address, int *nwords) {
  if (block < 1 || nblocks < 0) return false;
  const int64_t first = (static_cast<int64_t>(block) - 1) * kDaBlockWords + 1;
  const int64_t count = static_cast<int64_t>(nblocks) * kDaBlockWords;
  // Word addresses and counts are 32-bit in the word API; file sizes are
  // int32 word counts.
  if (count > INT32_MAX || first + count - 1 > INT32_MAX) return false;
  *address = static_cast<uint32_t>(first);
  *nwords = static_cast<int>(count);
  return true;
}

namespace {

// Starts a transfer on iun: refuses a pending unit or a bad span, moves the
// words, then records the unit (unless the list is full).
template <typename Move>
void start_transfer(const char *name, int iun, void *buffer, int nblocks, int block, Move move) {
  if (da_is_pending(iun)) {
    std::fprintf(stderr, "%s error: consecutive calls to %s without call to checda, iun=%d \n",
                 name, name, iun);
    return;
  }
  uint32_t address = 0;
  int nwords = 0;
  if (!da_transfer_span(nblocks, block, &address, &nwords) || (nwords > 0 && buffer == nullptr)) {
    std::fprintf(stderr, "%s error: invalid transfer of %d blocks from block %d, iun=%d \n", name,
                 nblocks, block, iun);
    return;
  }
  move(address, nwords);
  auto &list = da_pending();
  auto slot = std::find(list.begin(), list.end(), 0);
  if (slot == list.end()) {
    std::fprintf(stderr, " *** %s error: recompiler avec MAXWAFILES++ \n", name);
    return;
  }
  *slot = iun;
}

}  // namespace
}  // namespace zep::io

extern "C" {

void c_openda(int iun) { c_waopen(iun); }

void c_closda(int iun) { c_waclos(iun); }

void c_readda(int iun, void *buffer, int nblocks, int block) {
  zep::io::start_transfer("readda", iun, buffer, nblocks, block, [&](uint32_t address, int nwords) {
    c_waread(iun, buffer, address, nwords);
  });
}

void c_writda(int iun, void *buffer, int nblocks, int block) {
  zep::io::start_transfer("writda", iun, buffer, nblocks, block, [&](uint32_t address, int nwords) {
    c_wawrit(iun, buffer, address, nwords);
  });
}

void c_checda(int iun) {
  if (iun == 0) return;
  auto &list = zep::io::da_pending();
  std::replace(list.begin(), list.end(), iun, 0);
}

}  // extern "C"
