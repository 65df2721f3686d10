// Streams of fixed-width tokens in host-order 32-bit words: tokens follow each
// other without gaps, most significant bit first, from a bit offset counted
// from the most significant bit of the first word (the convention of
// common/bit_fields.h). Reading and writing go a word at a time through a
// 64-bit accumulator.
//
// These loops do not check bounds: callers first check the span with
// token_span_fits().
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bit_fields.h"

namespace packing {

// Number of bits that `count` tokens of `width` bits occupy after `offset`.
inline uint64_t token_end_bit(uint64_t offset, uint64_t count, int width) {
  return offset + count * static_cast<uint64_t>(width);
}

// Number of 32-bit words holding `count` tokens of `width` bits written from
// bit `offset` of the first word (0 for no tokens at all).
inline uint64_t token_words(uint64_t offset, uint64_t count, int width) {
  if (count == 0 || width <= 0) return 0;
  return (token_end_bit(offset, count, width) + 31) / 32;
}

// True when `count` tokens of `width` bits from bit `offset` lie inside
// `stream_words` words. Width is at most 64 and counts at most 2^40 here, so
// the products stay inside 64 bits.
inline bool token_span_fits(uint64_t offset, uint64_t count, int width, size_t stream_words) {
  if (count == 0 || width <= 0) return true;
  return token_end_bit(offset, count, width) <= static_cast<uint64_t>(stream_words) * 32;
}

// True when elements 0, stride, ..., (count - 1) * stride of an array of
// `len` elements exist (count >= 1, stride >= 1).
inline bool strided_fits(size_t count, size_t stride, size_t len) {
  if (len == 0) return false;
  return (count - 1) <= (len - 1) / stride;
}

// How a slot wider than 32 bits is turned into a 32-bit token.
enum class WideSlot {
  kLow32,   // the token is right-aligned in its slot: keep the low 32 bits
  kHigh32,  // the token starts the slot: keep the first 32 bits
};

namespace detail {

template <int kWidth, class Sink>
inline void read_fixed(const uint32_t* p, int off, size_t count, Sink& sink) {
  const uint32_t mask = zep::low_mask32(kWidth);
  uint64_t acc = *p++;
  int avail = 32 - off;
  for (size_t i = 0; i < count; ++i) {
    if (avail < kWidth) {
      acc = (acc << 32) | *p++;
      avail += 32;
    }
    avail -= kWidth;
    sink(i, static_cast<uint32_t>(acc >> avail) & mask);
  }
}

template <class Sink>
inline void read_any(const uint32_t* p, int off, int width, size_t count, Sink& sink) {
  const uint32_t mask = zep::low_mask32(width);
  uint64_t acc = *p++;
  int avail = 32 - off;
  for (size_t i = 0; i < count; ++i) {
    if (avail < width) {
      acc = (acc << 32) | *p++;
      avail += 32;
    }
    avail -= width;
    sink(i, static_cast<uint32_t>(acc >> avail) & mask);
  }
}

// Slots of 33 to 64 bits: two reads per slot, the high part then 32 bits.
template <class Sink>
inline void read_wide(const uint32_t* p, int off, int width, WideSlot mode, size_t count,
                      Sink& sink) {
  const int high = width - 32;
  const uint32_t high_mask = zep::low_mask32(high);
  uint64_t acc = *p++;
  int avail = 32 - off;
  for (size_t i = 0; i < count; ++i) {
    if (avail < high) {
      acc = (acc << 32) | *p++;
      avail += 32;
    }
    avail -= high;
    const uint64_t h = static_cast<uint32_t>(acc >> avail) & high_mask;
    acc = (acc << 32) | *p++;  // avail < 32 here, so 32 more bits are needed
    const uint64_t l = static_cast<uint32_t>(acc >> avail);
    const uint64_t slot = (h << 32) | l;
    sink(i, mode == WideSlot::kLow32 ? static_cast<uint32_t>(slot)
                                     : static_cast<uint32_t>(slot >> high));
  }
}

}  // namespace detail

// Calls sink(i, token) for the `count` tokens of `width` bits (1..64) that
// start at bit `offset` of `words`, in order. Slots wider than 32 bits give a
// 32-bit token as `mode` says.
// REQUIRES: token_span_fits(offset, count, width, <words available>).
template <class Sink>
inline void for_each_token(const uint32_t* words, uint64_t offset, int width, WideSlot mode,
                           size_t count, Sink&& sink) {
  if (count == 0 || width <= 0 || width > 64) return;
  const uint32_t* p = words + (offset >> 5);
  const int off = static_cast<int>(offset & 31);
  switch (width) {
    case 8: detail::read_fixed<8>(p, off, count, sink); return;
    case 12: detail::read_fixed<12>(p, off, count, sink); return;
    case 16: detail::read_fixed<16>(p, off, count, sink); return;
    case 32:
      if (off == 0) {
        for (size_t i = 0; i < count; ++i) sink(i, p[i]);
        return;
      }
      detail::read_fixed<32>(p, off, count, sink);
      return;
    default:
      if (width < 32) {
        detail::read_any(p, off, width, count, sink);
      } else {
        detail::read_wide(p, off, width, mode, count, sink);
      }
  }
}

// Sequential writer of tokens from a bit position. The bits of the first word
// before the position and the bits of the last word after the last token keep
// their previous contents (finish() merges them).
// REQUIRES: every bit written lies inside the array; at least one token is
// written (the first word is read at construction).
class TokenWriter {
 public:
  TokenWriter(uint32_t* words, uint64_t offset)
      : p_(words + (offset >> 5)), nacc_(static_cast<int>(offset & 31)) {
    acc_ = nacc_ ? (*p_ >> (32 - nacc_)) : 0;
  }

  // Appends the low `width` bits (1..32) of v.
  void put(uint32_t v, int width) {
    acc_ = (acc_ << width) | (v & zep::low_mask32(width));
    nacc_ += width;
    if (nacc_ >= 32) {
      nacc_ -= 32;
      *p_++ = static_cast<uint32_t>(acc_ >> nacc_);
    }
  }

  // Appends a slot of `width` bits (1..64) holding v right-aligned.
  void put_slot(uint32_t v, int width) {
    if (width <= 32) {
      put(v, width);
    } else {
      put(0, width - 32);
      put(v, 32);
    }
  }

  // Writes the last, partly filled word, keeping its low bits.
  void finish() {
    if (nacc_ > 0) {
      const int keep = 32 - nacc_;
      *p_ = static_cast<uint32_t>(acc_ << keep) | (*p_ & zep::low_mask32(keep));
      nacc_ = 0;
    }
  }

 private:
  uint32_t* p_;
  uint64_t acc_ = 0;
  int nacc_;
};

}  // namespace packing
