// Integer packing: 32-bit integers as fixed-width tokens, unsigned, signed
// through a bias of half the token range, or as distances to the minimum
// recorded in a 4-word header. Bounded entries for readers of untrusted
// records; the C entry compact_integer of include/zep/packing.h forwards
// here.
//
// Header words (host order):
//   0: bits 31-24 0xFD, bits 23-12 zero, bits 11-6 shift (low bits dropped
//      from each distance to the minimum), bits 5-0 token width
//   1: number of values
//   2: minimum (unsigned or signed as packed)
//   3: maximum
#pragma once

#include <cstddef>
#include <cstdint>

#include "packing/pack_status.h"

namespace zep::packing {

constexpr uint32_t kIntegerHeaderMarker = 0xFD;

struct IntegerHeader {
  int nbits = 0;  // token width, 0..63
  int shift = 0;  // 0..63 as stored
  uint32_t count = 0;
  uint32_t min = 0;
  uint32_t max = 0;
};

// Decodes the 4 header words; kBadHeader when the marker is not 0xFD.
PackStatus decode_integer_header(const uint32_t header[4], IntegerHeader *out);

// Unpacks tokens into values[i * stride].
//   header       null for no header; else its 4 words (REQUIRES: readable)
//   stream       first stream word; tokens start at bit `offset`
//   stream_words words readable from `stream` on
//   nbits        token width 1..64 without a header (above 32: the first 32
//                bits of each token are used); ignored with a header
//   count        number of values without a header; with a header, the most
//                values the caller accepts (the header's count is unpacked)
//   is_signed    without a header, tokens carry a bias of 2^(nbits - 1)
//   values_len   elements addressable from `values`
//   width_used   if not null, receives the token width
//   count_out    if not null, receives the number of values written
// Returns kOk, or without writing anything: kNothingToDo (width 0 without a
// header), kBadArgument (width outside 1..64, stride < 1), kBadHeader (bad
// marker, shift above 31, header count above `count`), kShortOutput,
// kShortStream. A header of width 0 gives `count` copies of its minimum.
PackStatus unpack_integers(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                           uint64_t offset, int nbits, size_t count, bool is_signed,
                           uint32_t *values, size_t values_len, size_t stride, int *width_used,
                           size_t *count_out);

// Packs values[i * stride] (i < count) as tokens from bit `offset`.
//   nbits        token width 1..32, or -1 for the smallest width that holds
//                the data
//   is_signed    values compare (and, without a header, are biased) as signed
//   header       null for no header; else receives the 4 header words
//   stream_words words writable from `stream` on
//   width_used   if not null, receives the token width (0 when a header
//                records a constant field, or without a header when every
//                value is 0 with automatic width: nothing is then written)
// Returns kOk, or without writing anything: kBadArgument (width outside
// -1, 1..32, stride < 1), kNothingToDo (count 0), kShortOutput,
// kShortStream.
PackStatus pack_integers(const uint32_t *values, size_t values_len, size_t count, size_t stride,
                         int nbits, bool is_signed, uint32_t *header, uint32_t *stream,
                         size_t stream_words, uint64_t offset, int *width_used);

}  // namespace zep::packing
