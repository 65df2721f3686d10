// The float packer: 32-bit floats quantised to at most 16 significant bits
// against the field's minimum, one 16-bit slot per value, behind a 3-word
// header. Every value is first brought to the power-of-two exponent E of the
// field's largest magnitude, so a slot f decodes exactly as
// (minimum + f * 2^shift) * 2^(E - 150).
//
// Header words (host order):
//   0: bits 31-20 signature 0xEFF, bits 19-16 nbits - 1, bits 15-8 exponent E
//      (the larger IEEE exponent field of the minimum and the maximum),
//      bits 7-0 shift (decoding uses its low 5 bits)
//   1: the minimum scaled to E, a signed integer
//   2: the number of values
// Stream: two slots per word, the earlier value in bits 31-16, the later in
// bits 15-0; an odd count leaves 0 in the low half of the last word. The
// stream always takes (count + 1) / 2 words, whatever nbits is.
//
// The C entries c_float_packer, c_float_unpacker, float_unpacker_1 and
// c_float_packer_params (include/zep/compress.h) forward to the bounded
// entries below, which record readers call directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packing/pack_status.h"

namespace zep::packing {

constexpr uint32_t kFloatPackerSignature = 0xEFF;
constexpr int kFloatPackerHeaderWords = 3;

// Number of stream words that `count` values take.
inline size_t float_packer_stream_words(size_t count) { return (count + 1) / 2; }

// The fields of header word 0, decoded.
struct FloatPackerHeader {
  uint32_t signature = 0;
  int nbits = 0;        // width code + 1: 1..16
  int exponent = 0;     // E, 0..255
  int shift = 0;        // as stored, 0..255
  int32_t minimum = 0;  // scaled minimum
  int32_t count = 0;    // header word 2

  static FloatPackerHeader decode(const uint32_t header[kFloatPackerHeaderWords]);
};

// Packs `count` values into header[0..2] and float_packer_stream_words(count)
// stream words. The signature, width, exponent and shift are ORed into
// header word 0 (the caller clears it); words 1 and 2 are stored.
// Refuses nbits outside 1..16 (nothing is written) and a stream shorter than
// (count + 1) / 2 words. count 0 writes a header with E = 0 and no slots.
// NaNs and infinities are not looked at; their slots are clamped into range.
PackStatus float_pack(const float *values, size_t count, int nbits,
                      uint32_t header[kFloatPackerHeaderWords], uint32_t *stream,
                      size_t stream_words);

// Decodes `count` values from the stream. Checks the signature, that the
// header's count equals `count`, that `stream_words` holds the
// (count + 1) / 2 words and that `out_room` holds count values; never reads
// or writes beyond them. *nbits_out (if not null) receives the header's
// width before any check, as the C entry promises.
PackStatus float_unpack(const uint32_t header[kFloatPackerHeaderWords], const uint32_t *stream,
                        size_t stream_words, size_t count, float *out, size_t out_room,
                        int *nbits_out);

// The value of scaled integer g at exponent E: exactly g * 2^(E - 150)
// whenever |g| < 2^24 (the float of exponent E and mantissa |g|, less the
// implicit bit when bit 23 of |g| is clear); larger magnitudes, which a
// rounding up of the top slot can produce, are scaled without cutting.
float float_packer_compose(int64_t g, int exponent);

}  // namespace zep::packing
