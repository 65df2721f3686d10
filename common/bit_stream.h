// Bit streams in arrays of host-order 32-bit words: fields follow each other
// without gaps, most significant bit first, numbered from the most
// significant bit of word 0 (bit 0) onward. The order of tokens in packed
// and compressed streams and of keys in directory entries. The one bit-stream
// reader and writer of the library.
//
// Both go a word at a time through a 64-bit accumulator and are bounded:
// they never read or write outside words[0 .. nwords - 1]. Reading past the
// end yields zero bits and sets overrun(); a word that does not fit is not
// stored and sets overrun().
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace zep {

// Mask of the low n bits, n in 0..32.
inline uint32_t low_mask32(int n) {
  return n >= 32 ? 0xFFFFFFFFu : (n <= 0 ? 0u : ((1u << n) - 1u));
}

// Bit length of v: 0 for 0, else floor(log2(v)) + 1.
inline int bit_length(uint32_t v) { return v == 0 ? 0 : 32 - __builtin_clz(v); }

// The bit after `count` tokens of `width` bits written from bit `offset`.
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
// `nwords` words. Width is at most 64 and counts at most 2^40 here, so the
// products stay inside 64 bits.
inline bool token_span_fits(uint64_t offset, uint64_t count, int width, size_t nwords) {
  if (count == 0 || width <= 0) return true;
  return token_end_bit(offset, count, width) <= static_cast<uint64_t>(nwords) * 32;
}

// How a slot wider than 32 bits is turned into a 32-bit token.
enum class WideSlot {
  kLow32,   // the token is right-aligned in its slot: keep the low 32 bits
  kHigh32,  // the token starts the slot: keep the first 32 bits
};

class BitReader {
 public:
  // Reads from bit `start_bit` of words[0 .. nwords - 1]. A start beyond the
  // end reads as an overrun at the first token.
  BitReader(const uint32_t *words, size_t nwords, uint64_t start_bit = 0)
      : begin_(words), end_(words + nwords) {
    const uint64_t total = static_cast<uint64_t>(nwords) * 32;
    if (start_bit > total) start_bit = total, overrun_ = true;
    seek(start_bit);
  }

  // Bits that can still be read.
  uint64_t bits_left() const {
    return overrun_ ? 0 : static_cast<uint64_t>(n_) + 32 * static_cast<uint64_t>(end_ - p_);
  }
  bool overrun() const { return overrun_; }

  // The next k bits (0..32) as an unsigned value; zero bits past the end.
  uint32_t read(int k) {
    if (k <= 0) return 0;
    if (n_ < k) refill();
    const uint32_t v = static_cast<uint32_t>(acc_ >> (64 - k));
    acc_ <<= k;
    n_ -= k;
    return v;
  }

  // The next k bits (1..32) as a two's complement value.
  int32_t read_signed(int k) {
    const uint32_t v = read(k);
    const uint32_t sign = 1u << (k - 1);
    return static_cast<int32_t>(static_cast<int64_t>(v ^ sign) - static_cast<int64_t>(sign));
  }

  // Skips n bits.
  void skip(uint64_t n) {
    while (n >= 32) read(32), n -= 32;
    read(static_cast<int>(n));
  }

  // Calls sink(i, token) for the `count` tokens of `width` bits (1..64) that
  // start at bit `offset` of words[0 .. nwords - 1], in order: the bulk read
  // of the packers. Slots wider than 32 bits give a 32-bit token as `mode`
  // says; tokens of width 0 take no bits and nothing is called. Reads
  // nothing and returns false when the tokens run past the end or the width
  // is above 64; the loops then need no check.
  template <class Sink>
  static bool read_tokens(const uint32_t *words, size_t nwords, uint64_t offset, int width,
                          WideSlot mode, size_t count, Sink &&sink) {
    if (width > 64) return false;
    if (count == 0 || width <= 0) return true;
    if (__builtin_expect(!token_span_fits(offset, count, width, nwords), 0)) return false;
    const uint32_t *p = words + (offset >> 5);
    const int off = static_cast<int>(offset & 31);
    switch (width) {
      case 8: read_fixed<8>(p, off, count, sink); return true;
      case 12: read_fixed<12>(p, off, count, sink); return true;
      case 16: read_fixed<16>(p, off, count, sink); return true;
      case 32:
        if (off == 0) {  // on a word boundary: the words themselves
          for (size_t i = 0; i < count; ++i) sink(i, p[i]);
        } else {
          read_fixed<32>(p, off, count, sink);
        }
        return true;
      default:
        if (width < 32) {
          read_any(p, off, width, count, sink);
        } else {
          read_wide(p, off, width, mode, count, sink);
        }
        return true;
    }
  }

  // Bits read so far, from bit 0 of the first word.
  uint64_t position() const {
    return 32 * static_cast<uint64_t>(p_ - begin_) - static_cast<uint64_t>(n_);
  }

 private:
  // Moves to bit `pos` (at most the end).
  void seek(uint64_t pos) {
    p_ = begin_ + (pos >> 5);
    acc_ = 0;
    n_ = 0;
    const int off = static_cast<int>(pos & 31);
    if (off > 0) {
      refill();
      acc_ <<= off;
      n_ -= off;
    }
  }

  // Brings 32 more bits in (n_ < 32); zero bits past the end.
  void refill() {
    if (p_ < end_) {
      acc_ |= static_cast<uint64_t>(*p_++) << (32 - n_);
    } else {
      overrun_ = true;
    }
    n_ += 32;
  }

  // The loops of read_tokens: a 64-bit accumulator with the bits
  // right-aligned, the word pointer and the bit count in locals. The caller
  // has checked that every token exists. Each loop is a function of its own
  // (its sink inlined): it then has the registers to itself, whatever the
  // size of the caller.
  template <int kWidth, class Sink>
  static void read_fixed(const uint32_t *p, int off, size_t count, Sink sink) {
    read_any(p, off, std::integral_constant<int, kWidth>(), count, sink);
  }

  // Width: an int, or a std::integral_constant for the common widths.
  template <class Width, class Sink>
  __attribute__((noinline)) static void read_any(const uint32_t *p, int off, Width width,
                                                 size_t count, Sink sink) {
    const uint32_t mask = low_mask32(width);
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
  __attribute__((noinline)) static void read_wide(const uint32_t *p, int off, int width,
                                                  WideSlot mode, size_t count, Sink sink) {
    const int high = width - 32;
    const uint32_t high_mask = low_mask32(high);
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

  const uint32_t *begin_;
  const uint32_t *p_;
  const uint32_t *end_;
  uint64_t acc_ = 0;  // the next n_ bits, left-aligned
  int n_ = 0;
  bool overrun_ = false;
};

class BitWriter {
 public:
  // Writes from bit `start_bit` of words[0 .. nwords - 1]. The bits of the
  // first word before the start keep their contents; so do the bits of the
  // last word after the last token when finish() is called. A start beyond
  // the end makes every write an overrun.
  BitWriter(uint32_t *words, size_t nwords, uint64_t start_bit = 0)
      : begin_(words), p_(words), end_(words + nwords) {
    const uint64_t total = static_cast<uint64_t>(nwords) * 32;
    if (start_bit > total) {
      p_ = end_;
      overrun_ = true;
      return;
    }
    p_ += start_bit >> 5;
    nacc_ = static_cast<int>(start_bit & 31);
    if (nacc_ > 0) acc_ = *p_ >> (32 - nacc_);  // start < total: p_ < end_
  }

  // Appends the low k bits (0..32) of v.
  void put(uint32_t v, int k) {
    acc_ = (acc_ << k) | (v & low_mask32(k));
    nacc_ += k;
    if (nacc_ >= 32) {
      nacc_ -= 32;
      if (p_ < end_) {
        *p_++ = static_cast<uint32_t>(acc_ >> nacc_);
      } else {
        overrun_ = true;
      }
    }
  }

  // Stores the last, partly filled word, keeping its low bits. Without it
  // only whole words are stored.
  void finish() {
    if (nacc_ == 0) return;
    if (p_ < end_) {
      const int keep = 32 - nacc_;
      *p_ = static_cast<uint32_t>(acc_ << keep) | (*p_ & low_mask32(keep));
    } else {
      overrun_ = true;
    }
    nacc_ = 0;
  }

  // Writes `count` tokens of `width` bits (1..64) from bit `offset` of
  // words[0 .. nwords - 1], token i being the low bits of source(i) (a slot
  // wider than 32 bits holds it right-aligned): the bulk write of the
  // packers. The bits before the first token and after the last keep their
  // contents. Writes nothing and returns false when the tokens run past the
  // end or the width is above 64; tokens of width 0 take no bits.
  template <class Source>
  static bool write_tokens(uint32_t *words, size_t nwords, uint64_t offset, int width, size_t count,
                           Source &&source) {
    if (width > 64) return false;
    if (count == 0 || width <= 0) return true;
    if (!token_span_fits(offset, count, width, nwords)) return false;
    write_loop(words + (offset >> 5), static_cast<int>(offset & 31), width, count, source);
    return true;
  }

  // Whole words stored since the first word of the array.
  size_t words_written() const { return static_cast<size_t>(p_ - begin_); }
  bool overrun() const { return overrun_; }

 private:
  // The loop of write_tokens, with its cursor in locals; the caller has
  // checked that every token fits. A function of its own, as the reader's.
  template <class Source>
  __attribute__((noinline)) static void write_loop(uint32_t *p, int nacc, int width, size_t count,
                                                   Source source) {
    const int high = width > 32 ? width - 32 : 0;
    const int low = width - high;
    const uint32_t mask = low_mask32(low);
    uint64_t acc = nacc > 0 ? (*p >> (32 - nacc)) : 0;
    for (size_t i = 0; i < count; ++i) {
      if (high > 0) {
        acc <<= high;
        nacc += high;
        if (nacc >= 32) {
          nacc -= 32;
          *p++ = static_cast<uint32_t>(acc >> nacc);
        }
      }
      acc = (acc << low) | (source(i) & mask);
      nacc += low;
      if (nacc >= 32) {
        nacc -= 32;
        *p++ = static_cast<uint32_t>(acc >> nacc);
      }
    }
    if (nacc > 0) {
      const int keep = 32 - nacc;
      *p = static_cast<uint32_t>(acc << keep) | (*p & low_mask32(keep));
    }
  }

  uint32_t *begin_;
  uint32_t *p_;
  uint32_t *end_;
  uint64_t acc_ = 0;  // the low nacc_ bits are pending
  int nacc_ = 0;
  bool overrun_ = false;
};

// The `nbits`-wide field (1..32) at bit `pos` of words[0 .. nwords - 1];
// zero when it does not lie inside.
inline uint32_t get_bits(const uint32_t *words, size_t nwords, uint64_t pos, int nbits) {
  if (!token_span_fits(pos, 1, nbits, nwords)) return 0;
  BitReader in(words, nwords, pos);
  return in.read(nbits);
}

// Writes the low nbits (1..32) of value into the field at bit `pos`; the
// other bits are kept. Returns false, writing nothing, when the field does
// not lie inside words[0 .. nwords - 1].
inline bool put_bits(uint32_t *words, size_t nwords, uint64_t pos, int nbits, uint32_t value) {
  if (!token_span_fits(pos, 1, nbits, nwords)) return false;
  BitWriter out(words, nwords, pos);
  out.put(value, nbits);
  out.finish();
  return true;
}

}  // namespace zep
