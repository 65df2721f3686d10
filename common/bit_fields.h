// Bit fields in arrays of host-order 32-bit words, numbered from the most
// significant bit of word 0 (bit 0) onward: the order of keys in directory
// entries and of tokens in packed streams. The one bit-field helper of the
// library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zep {

// Mask of the low n bits, n in 0..32.
inline uint32_t low_mask32(int n) {
  return n >= 32 ? 0xFFFFFFFFu : (n <= 0 ? 0u : ((1u << n) - 1u));
}

// Reads the nbits-wide field (1..32) that starts at bit `pos`.
// REQUIRES: the field lies inside the array.
inline uint32_t get_bits(const uint32_t* words, uint64_t pos, int nbits) {
  const uint64_t w = pos >> 5;
  const int off = static_cast<int>(pos & 31);
  uint64_t two = static_cast<uint64_t>(words[w]) << 32;
  if (off + nbits > 32) two |= words[w + 1];
  return static_cast<uint32_t>(two >> (64 - off - nbits)) & low_mask32(nbits);
}

// Writes the low nbits (1..32) of value into the field at bit `pos`;
// the other bits of the array are kept.
// REQUIRES: the field lies inside the array.
inline void put_bits(uint32_t* words, uint64_t pos, int nbits, uint32_t value) {
  const uint64_t w = pos >> 5;
  const int off = static_cast<int>(pos & 31);
  const uint64_t m = static_cast<uint64_t>(low_mask32(nbits)) << (64 - off - nbits);
  const uint64_t v = (static_cast<uint64_t>(value) << (64 - off - nbits)) & m;
  uint64_t two = static_cast<uint64_t>(words[w]) << 32;
  const bool spans = off + nbits > 32;
  if (spans) two |= words[w + 1];
  two = (two & ~m) | v;
  words[w] = static_cast<uint32_t>(two >> 32);
  if (spans) words[w + 1] = static_cast<uint32_t>(two);
}

// Sequential reader of nbits-wide tokens, most significant bit first.
// Never reads past words[nwords - 1]: a read beyond the end sets `overrun`
// and yields zero bits.
class BitReader {
 public:
  BitReader(const uint32_t* words, size_t nwords, uint64_t start_bit = 0)
      : words_(words), nbits_total_(static_cast<uint64_t>(nwords) * 32), pos_(start_bit) {}

  uint32_t read(int nbits) {
    if (nbits <= 0) return 0;
    if (pos_ + static_cast<uint64_t>(nbits) > nbits_total_) {
      overrun_ = true;
      pos_ = nbits_total_;
      return 0;
    }
    uint32_t v = get_bits(words_, pos_, nbits);
    pos_ += static_cast<uint64_t>(nbits);
    return v;
  }
  void skip(uint64_t nbits) {
    if (pos_ + nbits > nbits_total_) { overrun_ = true; pos_ = nbits_total_; return; }
    pos_ += nbits;
  }
  uint64_t position() const { return pos_; }
  uint64_t bits_left() const { return nbits_total_ - pos_; }
  bool overrun() const { return overrun_; }

 private:
  const uint32_t* words_;
  uint64_t nbits_total_;
  uint64_t pos_;
  bool overrun_ = false;
};

// Sequential writer of nbits-wide tokens, most significant bit first. Bits
// after the last token of a partly filled word are left zero. Never writes
// past words[nwords - 1]: a write beyond the end sets `overrun`.
class BitWriter {
 public:
  BitWriter(uint32_t* words, size_t nwords, uint64_t start_bit = 0)
      : words_(words), nbits_total_(static_cast<uint64_t>(nwords) * 32), pos_(start_bit) {}

  void write(uint32_t value, int nbits) {
    if (nbits <= 0) return;
    if (pos_ + static_cast<uint64_t>(nbits) > nbits_total_) { overrun_ = true; return; }
    put_bits(words_, pos_, nbits, value);
    pos_ += static_cast<uint64_t>(nbits);
  }
  uint64_t position() const { return pos_; }
  bool overrun() const { return overrun_; }

 private:
  uint32_t* words_;
  uint64_t nbits_total_;
  uint64_t pos_;
  bool overrun_ = false;
};

}  // namespace zep
