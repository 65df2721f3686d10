// IEEE packing: 32-bit IEEE words cut to their top nbits bits and packed
// without gaps, most significant bit first, from bit 0 of the first word
// (W = (N * nbits + 31) / 32 words). Width 32 copies the words; width 64
// moves 64-bit values to file order (high word first). Bounded entries for
// readers of untrusted records; the C entries ieeepak_, move6432_, movr8r4_
// and movr4r8_ of include/zep/packing.h forward here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packing/pack_status.h"

namespace zep::packing {

// Field width from the npak argument: -nbits when negative (below -63:
// 64), 32 for 0 and 1, 32 / npak (at least 1) for 2 and more.
int ieee_width(int npak);

// Words the packed side of n elements of width nbits occupies (2n for 64).
uint64_t ieee_packed_words(uint64_t n, int nbits);

// Packs n elements (2n words for width 64) into `packed`. The bits of the
// last packed word after the last field keep their previous contents.
// Packing in place (packed == unpacked) works.
// Returns kOk, kBadArgument (width 33..63 or outside 1..64), kShortOutput
// (fewer than ieee_packed_words(n, nbits) packed words), kShortStream
// (unpacked_len below the n elements).
PackStatus pack_ieee(const uint32_t *unpacked, size_t unpacked_len, size_t n, int nbits,
                     uint32_t *packed, size_t packed_words);

// Unpacks n elements of width nbits into `unpacked` (each field back in the
// top bits, low bits zero; 2n words for width 64). `packed` may be the same
// array as `unpacked` (or overlap it in any way): the packed words are moved
// to the end of the output first.
//   packed_words  words readable from `packed`
//   unpacked_len  words writable from `unpacked`
// Returns kOk, or without writing anything: kBadArgument (width 33..63 or
// outside 1..64), kShortStream (fewer packed words than the fields need),
// kShortOutput (unpacked_len below the n elements).
PackStatus unpack_ieee(const uint32_t *packed, size_t packed_words, size_t n, int nbits,
                       uint32_t *unpacked, size_t unpacked_len);

// Copies n 64-bit items between host order and file order (the two words of
// each item exchanged on a little-endian host). In place works.
void move_64_to_file_order(const uint32_t *source, uint32_t *destination, size_t n);

}  // namespace zep::packing
