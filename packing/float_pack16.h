// Packed reals of 16 bits straight into the bytes a file holds: the
// contiguous form of compact_float.h (4 header words, tokens from bit 24 of
// word 3) written most significant byte first, so that the area goes to the
// file as it is, with no pass over it to change the byte order. The bytes are
// those of pack_floats followed by a big-endian store of every word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packing/compact_float.h"
#include "packing/pack_status.h"

namespace zep::packing {

// Bytes the contiguous form of `count` 16-bit tokens occupies, its last word
// included: 4 * ceil((120 + 16 * count) / 32).
size_t packed16_bytes(size_t count);

// Packs values[0 .. count) as pack_floats(..., nbits_arg 16, contiguous, no
// missing values) would, into out[0 .. packed16_bytes(count)) in file byte
// order, and zeros the rest of out[0 .. out_bytes) (the bits after the last
// token and any room after its word).
// Returns kOk, or without a defined content of `out`: kNothingToDo (count 0),
// kShortStream (out_bytes too small), kValueTooLarge (a value beyond +-1e38;
// range, if not null, receives the extremes) and kBadArgument when a value
// is NaN (the general packer then decides).
PackStatus pack_floats16_be(const float *values, size_t count, uint8_t *out, size_t out_bytes,
                            FloatRange *range);

}  // namespace zep::packing
