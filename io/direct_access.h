// Direct-access files: word-addressable files moved in blocks of 512 words,
// with a list of units whose transfer was started and not yet checked.
#pragma once

#include <array>
#include <cstdint>

namespace zep::io {

constexpr int kDaBlockWords = 512;
constexpr int kMaxDaPending = 128;

// Units with a transfer not yet checked; 0 marks a free place. Created
// empty on first use.
std::array<int32_t, kMaxDaPending> &da_pending();

// True when iun is on the pending list.
bool da_is_pending(int iun);

// Word address and word count of a transfer of nblocks blocks from block
// `block`; false when the block is below 1, the count negative, or the
// transfer passes the last word a word-addressable file can address.
bool da_transfer_span(int nblocks, int block, uint32_t *address, int *nwords);

}  // namespace zep::io
