// The record writer's decisions, kept apart from any file so that they can
// be tested alone: the packing width from npak, the range checks, the data
// type actually written, the room the data area needs, the 18 entry words,
// and the packing of the data area for each data type.
//
// Every check the writer makes is here and runs before anything is written,
// so a refused call leaves the file as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stdfile/descriptor.h"
#include "xdf/format.h"

namespace zep::stdfile {

constexpr int kFtnBitmot = 32;                             // bits in the caller's element
constexpr int kDatypDouble = 801;                          // datyp 1 from an array of doubles
constexpr int kCompressFlag = DataType::kCompressionFlag;  // added to datyp 1 and 6
constexpr int kPackerHeaderWords = 3;                      // float packer header (12 bytes)

// Copies at most `width` characters of `src` (stopping at its NUL) into
// dst[0..width-1], blank-fills the rest and terminates dst[width].
// A null src gives all blanks.
void pad_name(const char *src, char *dst, int width);
// The same as a string of `width` characters.
std::string padded_name(const char *src, int width);

// Bits per element from the packing request: 0 gives 32, a negative value
// its opposite, a positive value 32 / npak, at least 1.
int nbits_from_npak(int npak);

// A value outside its accepted range: formats as
// "%s = %d must be between %d and %d".
struct RangeError {
  std::string name;
  int64_t value = 0;
  int64_t low = 0;
  int64_t high = 0;
  std::string message() const;
};

// The first descriptor of the record to write outside its range, in the
// order ni, nj, nk, deet, npas, nbits, ig1..ig4, ip1..ip3; nullopt when all
// are inside. `nbits` is the width asked for, before the data type plan.
// REQUIRES: nk already raised to 1 when it was 0 or less.
std::optional<RangeError> check_ranges(const Descriptor &d, int nbits);

// The data type and width actually written, and the warnings the change
// prints on standard error (each text ends with a newline).
struct DatypPlan {
  int datyp = 0;
  int nbits = 0;
  bool use_double = false;  // the caller's array holds doubles (compact_double)
  std::vector<std::string> warnings;
};

// Applies, in order: datyp 801 (datyp 1 from doubles); npak 0 or 1 writes
// raw 32-bit words (datyp 0); more than 16 bits drops the compression flag;
// the extra compression (VKT_COMPRESS) for datyp 1 and 6 of 16 bits or
// less; datyp 6 of more than 24 bits becomes datyp 5 of 32 bits and of more
// than 16 bits datyp 1, each with its warning; a compressed record with nk
// above 1 is written uncompressed (compression covers one level only);
// characters are stored on 8 bits.
DatypPlan plan_datyp(int datyp, int npak, int nbits, int extra_compression, int nk,
                     bool xdf_double);

// Refuses widths that the packer of `datyp` cannot store and read back:
// datyp 1 and 129 pack at most 32 significant bits, integers (2, 4) at
// most 32 bits, IEEE values (5) 1 to 32 bits or 64.
std::optional<RangeError> check_datyp_width(int datyp, int nbits);

// Room of the data area in 32-bit words (always even): the layouts of the
// reader, the 120-bit header of datyp 1 included; for the compressed forms
// the room of the uncompressed data.
int64_t data_words(int datyp, int64_t n, int nbits);

// Largest record the directory's 24-bit length field (64-bit units) holds.
constexpr int64_t kMaxRecordUnits = xdf::kMaxRecordUnits;

// Refuses a record of `record_words` 32-bit words that does not fit the
// directory's length field.
std::optional<RangeError> check_record_size(int64_t record_words);

// The 18 entry words of a record: words 0 and 1 as placeholders for the
// directory-file layer (type 1, length and address all ones), words 2..17
// the descriptor keys (names in their 6-bit codes, the valid stamp datev in
// stored form).
void build_entry(const Descriptor &d, uint32_t *entry);

// The caller's array and what the packers need to know of it.
struct PackInput {
  const void *field = nullptr;
  int ni = 0;
  int nj = 0;
  int nk = 0;
  int nbits = 0;
  int datyp = 0;
  bool use_double = false;
  int stride = 1;
  // Words left free (zero) before and after the data area, so that the
  // record buffer can be built around it; the compressed forms ignore them.
  size_t lead = 0;
  size_t trail = 0;
};

// Result of packing: the data words (data[0] first) and the record's data
// length in words when it differs from the room (compressed forms), and the
// data type finally written (a compressed form whose stream would not fit
// its room is written uncompressed).
struct Packed {
  std::vector<uint32_t> data;  // the data area from data[lead]
  size_t lead = 0;
  int64_t used_words = 0;
  int datyp = 0;
  // The data area is in file byte order (its words as the file holds them)
  // rather than in host order; the lead and trail words are zero either way.
  bool disk_order = false;
};

// Packs the caller's array into a data area of data_words(datyp, n, nbits)
// words in the layout the reader expects. Returns false for a datyp
// without a packer. May throw std::bad_alloc.
bool pack_data(const PackInput &in, Packed *out);

// Image mode: copies the caller's already packed words into a data area of
// `room` words. For the compressed forms the count comes from field[0],
// the words that follow it (at most room - 1 of them), which must lie in
// 0..room; returns that problem, or nullopt.
std::optional<RangeError> image_words(const void *field, int datyp, int64_t n, int nbits,
                                      int64_t room, int64_t *count);

}  // namespace zep::stdfile
