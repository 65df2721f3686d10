// Fixed-width float packing: a 4-word header and a stream of unsigned
// tokens, token = trunc((v - min) * 2^(nbits - e)), value = min + token *
// 2^(e - nbits). Bounded entries for readers of untrusted records; the
// C entries compact_float / compact_double of include/zep/packing.h forward
// here.
//
// Header words (host order):
//   0: bits 31-20 marker (0x7FF contiguous, 0x7EF contiguous with missing
//      values, 0xFFF separate, 0xFEF separate with missing values),
//      bits 19-0 count (low part)
//   1: bits 31-16 e - nbits + 4096, bits 15-4 biased double exponent of min
//      minus 47 (0x111 for min 0), bit 0 sign of min
//   2: bit 31 set when min != 0, bits 30-8 the top 23 mantissa bits of min;
//      0 when min is 0
//   3: bits 15-8 nbits, bits 7-0 count bits 27-20 (separate form) or the
//      first 8 token bits (contiguous form: tokens start at bit 24 of word 3)
#pragma once

#include <cstddef>
#include <cstdint>

#include "packing/pack_status.h"

namespace zep::packing {

// Header markers (word 0 bits 31-20).
constexpr uint32_t kMarkerContiguous = 0x7FF;
constexpr uint32_t kMarkerContiguousMissing = 0x7EF;
constexpr uint32_t kMarkerSeparate = 0xFFF;
constexpr uint32_t kMarkerSeparateMissing = 0xFEF;

// Largest count a separate header can hold (28 bits).
constexpr uint64_t kMaxSeparateCount = (1u << 28) - 1;

// The nbits argument of the float packer: 64 or less is both the number of
// significant bits and the stored width of a token; above 64 it is
// width * 64 + significant bits.
struct TokenWidth {
  int significant = 0;  // bits of each token that carry the value
  int stored = 0;       // bits each token occupies in the stream
};
TokenWidth split_nbits(int nbits_arg);

// The fields of a packed-float header, decoded.
struct FloatHeader {
  uint32_t marker = 0;
  uint32_t count = 0;     // 20-bit count (contiguous) or 28-bit count (separate)
  int nbits = 0;          // significant bits per token
  int step_exponent = 0;  // e - nbits: value = min + token * 2^step_exponent
  float min = 0.0f;       // the min as stored (its mantissa cut to 23 bits)
  bool contiguous() const {
    return marker == kMarkerContiguous || marker == kMarkerContiguousMissing;
  }
};

// Decodes the 4 header words. Returns kBadHeader for a marker other than the
// four known ones.
PackStatus decode_float_header(const uint32_t header[4], FloatHeader *out);

// 2^k as a double: from the powers-of-two table (2^0 .. 2^64, built on first
// use) when k is inside it, else by exponent scaling.
double pow2(int k);

// Unpacks `count` values into values[i * stride] (i < count).
//   header       the 4 header words (REQUIRES: 4 readable words)
//   stream       first word of the token stream; tokens start at bit `offset`
//                (for the contiguous form: header + 3 with offset 24)
//   stream_words number of words readable from `stream` on
//   nbits_arg    as for the C entry (stored width and significant bits)
//   count        number of values the caller wants and has room for; a
//                separate-form header must hold this same count
//   values_len   elements addressable from `values`
//   has_missing  tokens of all ones (for the header's nbits) give `missing`
//                (compact_double: `missing` is rounded to float first)
// Returns kOk, or without writing anything: kNothingToDo (width 0, width 1
// with missing values, count 0), kBadArgument (stride < 1, stored width
// above 64, header nbits above the stored width), kBadHeader (unknown marker,
// separate-form count different from `count`), kShortOutput,
// kShortStream.
PackStatus unpack_floats(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                         uint64_t offset, int nbits_arg, size_t count, float *values,
                         size_t values_len, size_t stride, bool has_missing, float missing);
// Values first .. first + n - 1 of the `count` values unpack_floats would
// give (stride 1, no missing values), bit for bit, into values[0 .. n).
// Every check is made for the whole stream of `count` values, so ranges of
// one stream may be unpacked apart, on several threads at once. Returns what
// unpack_floats returns for the whole stream (nothing written unless kOk),
// or kBadArgument for a range outside it.
PackStatus unpack_float_range(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                              uint64_t offset, int nbits_arg, size_t count, size_t first, size_t n,
                              float *values);
// The stream words that hold tokens first .. first + n - 1 of a stream
// whose tokens start at bit `offset`: words [first, first + count).
struct WordSpan {
  uint64_t first = 0;
  uint64_t count = 0;
};
WordSpan float_range_words(uint64_t offset, int nbits_arg, size_t first, size_t n);
// unpack_float_range with only part of the stream at hand: window[0 ..
// window_words) are the stream's words window_first .. ; stream_words is
// the whole stream's length, for the checks of the whole stream. The window
// must hold the range's tokens (float_range_words), else kBadArgument.
PackStatus unpack_float_window(const uint32_t *header, size_t stream_words, uint64_t offset,
                               int nbits_arg, size_t count, size_t first, size_t n,
                               const uint32_t *window, uint64_t window_first, size_t window_words,
                               float *values);
PackStatus unpack_doubles(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                          uint64_t offset, int nbits_arg, size_t count, double *values,
                          size_t values_len, size_t stride, bool has_missing, double missing);

// Extremes found while packing (for the caller's message on kValueTooLarge).
struct FloatRange {
  double min = 0.0;
  double max = 0.0;
};

// The header of `count` values whose extremes are min and max, packed on
// nbits (1..32) significant bits, and the factor of the quantisation:
// token = trunc((v - min) * *scale).
void float_header(double min, double max, size_t count, int nbits, bool contiguous,
                  bool has_missing, uint32_t header[4], double *scale);

// Packs values[i * stride] (i < count) into the header and the token stream.
//   contiguous   header form: true writes marker 0x7FF/0x7EF and a 20-bit
//                count (the stream then normally is header + 3 at offset 24,
//                and the header is written before the tokens)
//   stream_words words writable from `stream` on
//   range        if not null, receives min and max (also on kValueTooLarge)
// Returns kOk, or without writing anything: kNothingToDo, kBadArgument
// (stride < 1, more than 32 significant bits, stored width above 64 or below
// the significant bits), kCountOverflow (separate form, count >= 2^28),
// kValueTooLarge (a value beyond +-1e38), kShortOutput (the values run past
// values_len), kShortStream (the tokens do not fit stream_words).
PackStatus pack_floats(const float *values, size_t values_len, size_t count, size_t stride,
                       int nbits_arg, bool contiguous, uint32_t *header, uint32_t *stream,
                       size_t stream_words, uint64_t offset, bool has_missing, float missing,
                       FloatRange *range);
PackStatus pack_doubles(const double *values, size_t values_len, size_t count, size_t stride,
                        int nbits_arg, bool contiguous, uint32_t *header, uint32_t *stream,
                        size_t stream_words, uint64_t offset, bool has_missing, double missing,
                        FloatRange *range);

}  // namespace zep::packing
