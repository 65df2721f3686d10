// Bit cursors of the compressed streams: tokens most significant bit first,
// each word filled from bit 31 down, fields crossing word boundaries. Both
// go a word at a time through a 64-bit accumulator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bit_fields.h"

namespace packing {

// Reads tokens from words[0 .. nwords - 1]. Callers check bits_left() before
// a run of takes; take() itself does not.
class ZipBitReader {
 public:
  ZipBitReader(const uint32_t* words, size_t nwords) : p_(words), end_(words + nwords) {}

  uint64_t bits_left() const {
    return static_cast<uint64_t>(n_) + 32 * static_cast<uint64_t>(end_ - p_);
  }

  // The next k bits (0..32) as an unsigned value.
  // REQUIRES: bits_left() >= k.
  uint32_t take(int k) {
    if (k == 0) return 0;
    if (n_ < k) {
      acc_ |= static_cast<uint64_t>(*p_++) << (32 - n_);
      n_ += 32;
    }
    const uint32_t v = static_cast<uint32_t>(acc_ >> (64 - k));
    acc_ <<= k;
    n_ -= k;
    return v;
  }

  // The next k bits (1..32) as a two's complement value.
  // REQUIRES: bits_left() >= k.
  int32_t take_signed(int k) {
    const uint32_t v = take(k);
    const uint32_t sign = 1u << (k - 1);
    return static_cast<int32_t>(static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign));
  }

 private:
  const uint32_t* p_;
  const uint32_t* end_;
  uint64_t acc_ = 0;  // the next n_ bits, left-aligned
  int n_ = 0;
};

// Writes tokens into words[0 .. nwords - 1]. Only full words are stored: the
// bits of a last partial word stay in the accumulator (the coders end their
// streams with 32 zero bits, which pushes the last token bits out). A word
// that does not fit sets overrun() and is dropped.
class ZipBitWriter {
 public:
  ZipBitWriter(uint32_t* words, size_t nwords) : begin_(words), p_(words), end_(words + nwords) {}

  // Appends the low k bits (0..32) of v.
  void put(uint32_t v, int k) {
    if (k == 0) return;
    acc_ = (acc_ << k) | (v & zep::low_mask32(k));
    n_ += k;
    if (n_ >= 32) {
      n_ -= 32;
      if (p_ < end_) {
        *p_++ = static_cast<uint32_t>(acc_ >> n_);
      } else {
        overrun_ = true;
      }
    }
  }

  size_t words_written() const { return static_cast<size_t>(p_ - begin_); }
  bool overrun() const { return overrun_; }

 private:
  uint32_t* begin_;
  uint32_t* p_;
  uint32_t* end_;
  uint64_t acc_ = 0;  // the low n_ bits are pending
  int n_ = 0;
  bool overrun_ = false;
};

// Bit length of v: 0 for 0, else floor(log2(v)) + 1.
inline int bit_length(uint32_t v) { return v == 0 ? 0 : 32 - __builtin_clz(v); }

}  // namespace packing
