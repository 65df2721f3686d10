// Sequential standard files: the framing words this layer reads and writes
// between records, shared with its tests.
//
// In a sequential file every object starts with a record header (type in
// bits 24-31, length in units in bits 0-23, own unit address in word 1).
// A record is followed by a four-word trailer (type 0 length 2,
// all ones, copy of the record's word 0, the record's unit address).
// Marks are one-unit objects of type 0x70 + level: levels 1..14 are
// logical end-of-file marks between groups, 15 (type 0x7F) ends the data.
#pragma once

#include <cstdint>

#include "xdf/format.h"

namespace zep::stdfile {
namespace seq {

constexpr int kErrNotSequential = -37;  // warning: the call needs a sequential file
constexpr int kErrFraming = -39;        // fatal: record framing damaged

constexpr uint32_t kMarkBase = 0x70;
constexpr uint32_t kEndOfData = 0x7F;
constexpr int kMaxLevel = 15;
constexpr int kHeaderWords = 2;
constexpr int kTrailerWords = 4;

inline bool is_mark(uint32_t type) { return type >= kMarkBase && type <= kEndOfData; }

// Header word 0 of a mark of `level` (1..15).
inline uint32_t mark_word0(int level) {
  return xdf::RecordHeader::word0(kMarkBase + static_cast<uint32_t>(level), 1);
}

// Unit address of a word address.
inline uint32_t unit_of(int64_t word_address) {
  return static_cast<uint32_t>((word_address - 1) / 2 + 1);
}

// True when the four words are a record trailer: type 0, length 2, then
// all ones.
inline bool is_trailer(const uint32_t *w) { return w[0] == 2u && w[1] == xdf::kAllOnes; }

}  // namespace seq
}  // namespace zep::stdfile
