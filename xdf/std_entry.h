// The directory entry of a standard file: its layout, the six-bit code of
// its names, the stored form of its date stamp, the key descriptors a
// standard file declares and the data type codes. The standard-file layer
// reads and writes entries through this codec; the old layouts (see
// old_format.h) are converted into entries with it.
//
// Entry layout (host-order 32-bit words, bit 0 least significant):
//   word 0   lng (bits 0-23, 64-bit units), record type (24-31)
//   word 1   record address (64-bit units, first unit = 1)
//   word 2   nbits (0-7), deet (8-31)
//   word 3   grtyp byte (0-7), ni (8-31)
//   word 4   datyp (0-7), nj (8-31)
//   word 5   ubc (0-11), nk (12-31)
//   word 6   npas (6-31)
//   word 7   ig2 bits 16-23 (0-7), ig4 (8-31)
//   word 8   ig2 bits 8-15 (0-7), ig1 (8-31)
//   word 9   ig2 bits 0-7 (0-7), ig3 (8-31)
//   word 10  etiket characters 1-5, six bits each from bit 26 down to bit 2
//   word 11  etiket characters 6-10, same arrangement
//   word 12  etiket characters 11-12 (26-31, 20-25), typvar (14-19, 8-13)
//   word 13  nomvar, four six-bit codes from bit 26 down to bit 8
//   words 14-16  ip1, ip2, ip3 (4-31)
//   word 17  valid stamp in stored form
// Words 0-1 are the record header (format.h); words 2-17 are the 16 primary
// key words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zep::xdf {
namespace std_entry {

constexpr int kEntryWords = 18;          // directory entry of a standard record
constexpr int kKeyWords = 16;            // primary key words (entry words 2..17)
constexpr int kInfoWords = 2;            // info key words
constexpr int kFirstIpWord = 14;         // ip1; ip2 and ip3 follow
constexpr uint32_t kIpMask = 0xFFFFFFF;  // the 28 bits of an ip field, once shifted down

// Data type codes (entry word 4, bits 0-7): how the data of a record is
// encoded. The compression flag added to kPackedReal or kFloatPacker means
// the same encoding followed by lossless compression.
enum DataType : int {
  kRawBits = 0,      // nbits-bit elements copied unchanged
  kPackedReal = 1,   // reals packed on nbits bits after a 120-bit header
  kUnsigned = 2,     // unsigned integers on nbits bits
  kCharacters = 3,   // characters, four per word
  kSigned = 4,       // signed integers on nbits bits
  kIeee = 5,         // IEEE floating point, 32 or 64 bits
  kFloatPacker = 6,  // reals through the float packer
  kCompressionFlag = 128,
  kPackedRealCompressed = kCompressionFlag + kPackedReal,    // 129
  kFloatPackerCompressed = kCompressionFlag + kFloatPacker,  // 134
};

// True for a code above the compression flag alone.
inline bool is_compressed(int datyp) { return datyp > kCompressionFlag; }
// The code with the compression flag (and every bit above it) cleared.
inline int without_compression(int datyp) { return datyp & (kCompressionFlag - 1); }

// Key descriptors declared when a standard file is created (name word,
// descriptor word per key): 16 primary keys "SF01".."SF16" of 32 bits, key
// n ending at bit 32n - 1, and 2 info keys "AXI1", "AXI2".
const uint32_t *primary_keys();  // 2 x kKeyWords words
const uint32_t *info_keys();     // 2 x kInfoWords words

// Six-bit character code of names: lower case folded onto upper case, then
// blank (0) to underscore (63).
uint32_t ascii6_encode(unsigned char c);
char ascii6_decode(uint32_t code);

// Where the six-bit code of a character of a name lies in the entry.
struct CharSlot {
  int word;
  int shift;
};
inline CharSlot etiket_slot(int i) {  // i = 0..11
  if (i < 10) return CharSlot{10 + i / 5, 2 + 6 * (4 - i % 5)};
  return CharSlot{12, i == 10 ? 26 : 20};
}
inline CharSlot typvar_slot(int i) { return CharSlot{12, 14 - 6 * i}; }  // i = 0..1
inline CharSlot nomvar_slot(int i) { return CharSlot{13, 26 - 6 * i}; }  // i = 0..3
inline uint32_t code6(const uint32_t *entry, CharSlot s) {
  return (entry[s.word] >> s.shift) & 0x3Fu;
}
inline void set_code6(uint32_t *entry, CharSlot s, uint32_t code) {
  entry[s.word] = (entry[s.word] & ~(0x3Fu << s.shift)) | ((code & 0x3Fu) << s.shift);
}

// Stored form of a date stamp: (s / 10) * 8 + s % 10 with truncating
// division, and back as (w >> 3) * 10 + (w & 7) with unsigned wrapping.
uint32_t stamp_to_stored(int32_t stamp);
int32_t stamp_from_stored(uint32_t word);

// Writes the six-bit codes of the names (blank-padded to 12, 2 and 4
// characters; only the first that many characters are used, a NUL ends
// the name) into entry words 10..13, leaving their pad bits as they are.
void put_etiket(uint32_t *entry, std::string_view etiket);
void put_typvar(uint32_t *entry, std::string_view typvar);
void put_nomvar(uint32_t *entry, std::string_view nomvar);

// Every descriptor of a record, decoded.
struct Descriptor {
  int nbits = 0, deet = 0, ni = 0, nj = 0, nk = 0, datyp = 0, ubc = 0, npas = 0;
  int ig1 = 0, ig2 = 0, ig3 = 0, ig4 = 0;
  int ip1 = 0, ip2 = 0, ip3 = 0;
  int datev = 0;  // valid stamp (decoded word 17)
  char grtyp = ' ';
  std::string etiket = "            ";  // 12 characters
  std::string typvar = "  ";            // 2 characters
  std::string nomvar = "    ";          // 4 characters

  // Decodes entry words 2..17 (the origin stamp needs crack_std_parms).
  static Descriptor from_entry(const uint32_t *entry);
  // Encodes into entry words 2..17; words 0 and 1 are left as they are.
  // Fields are cut to their widths; the stamp goes in its stored form.
  void to_entry(uint32_t *entry) const;
  // Words 2..9 and 14..16 alone: every field but the names and the stamp.
  void put_numbers(uint32_t *entry) const;
};

}  // namespace std_entry
}  // namespace zep::xdf
