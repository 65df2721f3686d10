// The record descriptor of a standard file, as stored in its directory
// entry, and the helpers that pack and unpack it.
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
// The writer shares these helpers: build the 16 key words with
// `Descriptor::to_keys` and hand them to the directory-file layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zep/stdfile.h"

namespace stdfile {

constexpr int kEntryWords = 18;    // directory entry of a standard record
constexpr int kKeyWords = 16;      // primary key words (entry words 2..17)
constexpr int kInfoWords = 2;      // info key words
constexpr int kStdfVersion = 200001;

// Key descriptors declared when a standard file is created (name word,
// descriptor word per key): 16 primary and 2 info keys.
const uint32_t* stdfkeys();        // 32 words
const uint32_t* stdf_info_keys();  // 4 words

// Six-bit character code of names: blank (0) to underscore (63).
uint32_t ascii6_encode(unsigned char c);
char ascii6_decode(uint32_t code);

// Stored form of a date stamp: (s / 10) * 8 + s % 10, and back.
uint32_t stamp_to_stored(int32_t stamp);
int32_t stamp_from_stored(uint32_t word);

// Writes the six-bit codes of the names (blank-padded to 12, 2 and 4
// characters; only the first that many characters are used) into entry
// words 10..13, leaving their pad bits as they are.
void put_etiket(uint32_t* entry, std::string_view etiket);
void put_typvar(uint32_t* entry, std::string_view typvar);
void put_nomvar(uint32_t* entry, std::string_view nomvar);

// Every descriptor of a record, decoded.
struct Descriptor {
  int nbits = 0, deet = 0, ni = 0, nj = 0, nk = 0, datyp = 0, ubc = 0, npas = 0;
  int ig1 = 0, ig2 = 0, ig3 = 0, ig4 = 0;
  int ip1 = 0, ip2 = 0, ip3 = 0;
  int datev = 0;          // valid stamp (decoded word 17)
  char grtyp = ' ';
  std::string etiket = "            ";  // 12 characters
  std::string typvar = "  ";            // 2 characters
  std::string nomvar = "    ";          // 4 characters

  // Decodes entry words 2..17 (the origin stamp needs crack_std_parms).
  static Descriptor from_entry(const uint32_t* entry);
  // Encodes into entry words 2..17; words 0 and 1 are left as they are.
  // Fields are cut to their widths; the stamp goes in its stored form.
  void to_entry(uint32_t* entry) const;
};

// Letter of a datyp in the listing ('?' for a code outside the table).
char datyp_letter(int datyp);
// True for the datyps that the reader and writer know.
bool datyp_is_valid(int datyp);

}  // namespace stdfile
