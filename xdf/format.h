// On-disk structures of directory files, each with its size, its encoder and
// its decoder. Everything here works on host-order 32-bit words; the
// word-addressable layer converts them from and to the big-endian bytes of
// the file.
//
// Units and addresses: a file is allocated in 64-bit units of two words;
// unit u is words 2u-1 and 2u (both counted from 1). Every stored length and
// address is in units; word address = 2 x unit address - 1.
//
// Every object starts with a record header (one unit):
//   word 0: idtyp in bits 24-31, length in units (header included) in 0-23
//   word 1: the object's own unit address (0 in the file header)
// idtyp 0 is a special object (file header, directory page, sequential
// record trailer), 1..126 a data record (112..126 also a logical end-of-file
// mark in a sequential file), 127 the end mark of a sequential file, 254 an
// entry deleted since open (memory only), 255 a deleted record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zep::xdf {

constexpr uint32_t kXdfVersion = 0x58444630;       // "XDF0"
constexpr uint32_t kXdfVersionLower = 0x78646630;  // "xdf0", accepted on reading
constexpr int kEntriesPerPage = 256;
constexpr int kMaxDirPages = 1024;
constexpr int kMaxPrimaryUnits = 16;  // the 32-word search buffers
constexpr int kMaxKeyWords = 32;
constexpr int kFileHeaderFixedWords = 16;
constexpr int kDirPageHeaderWords = 8;
constexpr uint32_t kMaxRecordUnits = 0xFFFFFF;  // 24-bit length field
// A word of all ones: the -1 of key values (no value, match anything), the
// full mask, the second word of a sequential record trailer.
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;
// Highest word address of a file (addresses are 32-bit words).
constexpr int64_t kMaxWordAddress = 0xFFFFFFFFLL;

// Record buffer of the record calls (c_xdfini, c_xdfput, c_xdfget2 ...):
// control words (dimension, image bits, offsets, unit), then the record
// image as it lies on disk.
constexpr int kBufferControlWords = 9;

// idtyp values with a meaning of their own.
constexpr int kTypeSpecial = 0;
constexpr int kTypeEndMark = 127;
constexpr int kTypeDeletedInMemory = 254;
constexpr int kTypeDeleted = 255;

// Element types of the record-editing calls (c_xdfadd, c_xdfins, c_xdfxtr
// ...): how elements go into a record's data area and come out of it.
enum ElementType : int {
  kElementRaw = 0,         // words copied as they are
  kElementUnsigned = 2,    // unsigned integers, packed on nbits bits
  kElementChars = 3,       // characters, nbits 8, copied
  kElementSigned = 4,      // signed integers, packed on nbits bits
  kElementUpperChars = 5,  // characters, nbits 8, folded to upper case going in
  kElementWords = 6,       // 32-bit items, copied
  kElementDoubles = 7,     // 64-bit items, words exchanged on a little-endian host
  kElementWordsToo = 8,    // as 6
  kElementDoublesToo = 9,  // as 7
};

// A record type with bits 1..6 all set (126, 127, 254, 255) counts as
// deleted for reading, rewriting and deleting.
inline bool type_is_deleted(uint32_t idtyp) { return (idtyp & 0x7E) == 0x7E; }

inline int64_t word_address(int64_t unit_address) { return 2 * unit_address - 1; }
inline int64_t unit_address(int64_t word_address) { return (word_address - 1) / 2 + 1; }

// Record header: the first unit of every object.
struct RecordHeader {
  static constexpr int kWords = 2;
  uint32_t idtyp = 0;    // 8 bits
  uint32_t length = 0;   // units, 24 bits
  uint32_t address = 0;  // unit address

  static RecordHeader decode(const uint32_t *w) {
    RecordHeader h;
    h.idtyp = type_of(w[0]);
    h.length = length_of(w[0]);
    h.address = w[1];
    return h;
  }
  void encode(uint32_t *w) const {
    w[0] = word0(idtyp, length);
    w[1] = address;
  }
  // Word 0 alone: its type, its length, and the word from both.
  static uint32_t type_of(uint32_t w0) { return w0 >> 24; }
  static uint32_t length_of(uint32_t w0) { return w0 & kMaxRecordUnits; }
  static uint32_t word0(uint32_t idtyp, uint32_t length) {
    return (idtyp << 24) | (length & kMaxRecordUnits);
  }
  // Word 0 with its type replaced, its length kept.
  static uint32_t retyped(uint32_t w0, uint32_t idtyp) { return word0(idtyp, length_of(w0)); }
};

// Record handle of a directory file: bits 0-6 the file's index in the
// table of open files, bits 7-18 the entry within its directory page, bits
// 19-30 the page's rank in the chain. Sequential files have handles of their
// own (make_seq_handle); only the index field is common to both.
struct Handle {
  int index = 0;  // 7 bits
  int entry = 0;  // 12 bits
  int page = 0;   // 12 bits

  static int index_of(int handle) { return handle & 0x7F; }
  static Handle decode(int handle) {
    return Handle{index_of(handle), (handle >> 7) & 0xFFF, (handle >> 19) & 0xFFF};
  }
  // The fields are added unmasked: each is in range wherever a handle is made.
  int encode() const { return index + (entry << 7) + (page << 19); }
};

// Key descriptor: two words.
//   word 0: name, up to four characters, first in bits 24-31, blank padded
//   word 1: bits 19-31 rightmost bit position (counted from bit 0 = the most
//           significant bit of key word 0), bits 14-18 width - 1,
//           bits 8-13 type (32 asks for upper-case folding), bits 0-7 zero
struct KeyDescriptor {
  uint32_t name = 0;
  int bit1 = 0;   // rightmost bit position, 0..8191
  int width = 1;  // 1..32
  int type = 0;   // 0..63

  static KeyDescriptor decode(const uint32_t *w) {
    KeyDescriptor k;
    k.name = w[0];
    k.bit1 = static_cast<int>(w[1] >> 19);
    k.width = static_cast<int>((w[1] >> 14) & 0x1F) + 1;
    k.type = static_cast<int>((w[1] >> 8) & 0x3F);
    return k;
  }
  // The fields are added unmasked, so that a caller's out-of-range field
  // (c_xdfcle takes any) gives the word it always gave.
  void encode(uint32_t *w) const {
    w[0] = name;
    w[1] = (static_cast<uint32_t>(bit1) << 19) + (static_cast<uint32_t>(width - 1) << 14) +
           (static_cast<uint32_t>(type) << 8);
  }
  // The key word (within its key area) that holds the key.
  int key_word() const { return bit1 / 32; }
  // True when the key lies inside one key word of an area of `area_words`.
  bool fits(int area_words) const {
    return width >= 1 && width <= 32 && bit1 % 32 >= width - 1 && key_word() < area_words;
  }
};

// File header: 16 fixed words, then P primary and I info key descriptors.
// Its length is 8 + P + I units.
struct FileHeader {
  uint32_t idtyp = 0;
  uint32_t length = 0;  // units
  uint32_t version = kXdfVersion;
  uint32_t app_signature = 0;
  uint32_t file_size = 0;  // units
  uint32_t rewrite_count = 0;
  uint32_t extension_count = 0;
  uint32_t dir_page_count = 0;
  uint32_t last_dir_page = 0;
  uint32_t biggest_record = 0;
  int primary_count = 0;
  int primary_len = 0;  // units, record header included
  int info_count = 0;
  int info_len = 0;  // units
  uint32_t erasure_count = 0;
  uint32_t valid_count = 0;
  uint32_t rw_flag = 0;  // 0 none/read, 1 WRITE, 2 CREATE, 3 R-W, 4 APPEND
  std::vector<KeyDescriptor> primary;
  std::vector<KeyDescriptor> info;

  size_t words() const { return 2 * static_cast<size_t>(length); }
  // Writes words() words (the descriptors' reserved bits as 0).
  std::vector<uint32_t> encode() const;
  // Decodes a header of nwords words. Returns an empty string when the
  // header is self-consistent (version, lengths, key counts, every key inside
  // its key area, primary_len at most 16 units), else what was wrong.
  static std::string decode(const uint32_t *w, size_t nwords, FileHeader *out);
};

// primary_len and info_len from the key widths: the primary part has one
// extra unit for the record header.
int primary_len_for(const std::vector<KeyDescriptor> &keys);
int info_len_for(const std::vector<KeyDescriptor> &keys);

// Directory page: 8 words of header, then 256 entries of primary_len units.
//   word 0-1 record header (type 0, length primary_len * 256 + 4, address)
//   word 2-3 reserved, word 4 next_page (unit address, 0 on the last page),
//   word 5 entry_count, word 6 page_checksum, word 7 reserved.
// The checksum makes the XOR of words 4 to the end of the page zero.
namespace dir_page {
constexpr int kNextPage = 4;
constexpr int kEntryCount = 5;
constexpr int kChecksum = 6;
inline size_t units(int primary_len) {
  return static_cast<size_t>(primary_len) * kEntriesPerPage + 4;
}
inline size_t words(int primary_len) { return 2 * units(primary_len); }
// XOR of words 4 to the end, the checksum word included; 0 on a sound page.
uint32_t xor_check(const uint32_t *page, size_t nwords);
// Stores the checksum that makes xor_check() zero, whatever the word held.
void set_checksum(uint32_t *page, size_t nwords);
}  // namespace dir_page

// Sequential files: each record is padded so that the word following its
// trailer starts on a granule boundary, then followed by a two-unit trailer;
// the file ends with a one-unit end mark (type 127).
namespace seq {
constexpr int kTrailerWords = 4;
constexpr int kEndMarkWords = 2;
// Words of a record that starts at word address `start` and holds `nwords`
// words before padding, padding included.
int64_t padded_words(int64_t start, int64_t nwords);
// Record trailer: type 0 length 2, 0xFFFFFFFF, copy of the record's word 0,
// the record's unit address.
void encode_trailer(uint32_t record_word0, uint32_t record_unit, uint32_t *w);
// End mark at unit address `unit`.
void encode_end_mark(uint32_t unit, uint32_t *w);
}  // namespace seq

// Generic key handling from the header's descriptors.
//
// extract: for each key in declaration order, value = its w bits of the key
// area. insert: each value that is not -1 (0xFFFFFFFF) replaces the key's bits
// (folded to upper case first when the type has bit value 32); the mask, when
// given, gets zeros over [first key word, last key word] and then, for each
// key written, the key's bits from mask_values[i] (all ones when
// mask_values is null). Keys are bounded by area_words; a key outside it is
// skipped.
void extract_keys(const std::vector<KeyDescriptor> &keys, const uint32_t *area, int area_words,
                  uint32_t *values, int nvalues);
void insert_keys(const std::vector<KeyDescriptor> &keys, uint32_t *area, int area_words,
                 const uint32_t *values, int nvalues, uint32_t *mask, const uint32_t *mask_values);
// Four characters packed into a word, first in bits 24-31; a shorter text
// is padded with blanks.
inline uint32_t pack_chars4(const char *text) {
  uint32_t w = 0;
  bool ended = text == nullptr;
  for (int i = 0; i < 4; ++i) {
    if (!ended && text[i] == '\0') ended = true;
    w = (w << 8) | (ended ? 0x20u : static_cast<unsigned char>(text[i]));
  }
  return w;
}

// Upper-case folding: clears bit 5 of every byte whose bit 6 is set.
inline uint32_t fold_upper(uint32_t v) { return v & ~((v >> 1) & 0x20202020u); }

}  // namespace zep::xdf
