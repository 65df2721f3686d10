// Standard files in the two layouts that came before directory files.
//
// Neither layout describes itself. An old random file starts with a
// 30-word header (words 1 and 2 hold 0x55555555, word 5 the number N of
// directory entries) followed at word 31 by N entries of 15 words. An old
// sequential file is a run of records, each a 30-word header (words 29 and
// 30 hold 0xAAAAAAAA) followed by its data; words 1 to 15 of that header
// are laid out like an old directory entry and a non-zero word 16 makes it
// a logical end-of-file mark of that level.
//
// Both are opened read-only and turned, in memory only, into the entry
// layout of the standard-file keys: the random directory at open, the
// sequential headers one by one as the search or the positioning calls pass
// over them. Old words are numbered from 1 here, as in the layouts; bit 0 is
// the least significant bit of a word.
#pragma once

#include <cstdint>

#include "xdf/table.h"

namespace zep::xdf {
namespace old_format {

constexpr uint32_t kRandomMark = 0x55555555;      // old random file, word 1
constexpr uint32_t kSequentialMark = 0xAAAAAAAA;  // old sequential header, word 29
constexpr int kHeaderWords = 30;                  // random file header; sequential record header
constexpr int kEntryWords = 15;                   // old directory entry
constexpr int kBlockUnits = 15;                   // sequential handles count blocks of 15 units
constexpr int kMaxEntries = kMaxDirPages * kEntriesPerPage;
constexpr int kTypeOldDeleted = 128;  // an old entry marked deleted: no search matches it
constexpr int kEndOfData = 15;        // level reported at the end of the data

// Old word k (1..15 or 1..30) of an entry or header.
inline uint32_t word(const uint32_t *old, int k) { return old[k - 1]; }

// An old entry or sequential header marked deleted (word 6, bit 8).
inline bool is_deleted(const uint32_t *old) { return (word(old, 6) & 0x100u) != 0; }

// Units of data an old entry describes: (word 15 + 3) / 4, formed without
// overflow and kept to the 24 bits of a length field.
uint32_t data_units(const uint32_t *old);

// Units an old sequential record occupies, its 15-unit header included,
// kept to 24 bits; below 15 only on a damaged header.
uint32_t sequential_record_units(const uint32_t *old);

// The date stamp of an old entry in stored form, moved by the part of
// deet x npas seconds that is not a whole number of hours, rounded to the
// nearest hour: r = ((D + 1800) mod 3600) - 1800 with D = deet x npas cut
// to 32 bits. Unchanged when D is a multiple of 3600.
uint32_t adjusted_date(uint32_t stored, uint32_t deet, uint32_t npas);

// Words 2 to 17 of the standard entry of an old entry (keys only); words 0
// and 1 (record header) are left to the caller.
void convert_keys(const uint32_t *old, uint32_t *entry);

// The in-memory file header of a standard file (16 one-word primary keys,
// no info keys, signature "STDF"), as the old layouts are read.
void build_standard_header(FileEntry &f);

// Opens file `f` (unit open, row bound) in the old random layout: marks the
// row read-only, builds the header and the directory pages in memory.
// 0 or an error reported under c_xdfopn.
int open_random(FileEntry &f);

// The same for the old sequential layout: the position at word 1.
int open_sequential(FileEntry &f);

// What a 30-word header at a word address of an old sequential file is.
enum class Header { kRecord, kDeleted, kMark, kEnd, kDamaged };
struct SeqHeader {
  Header kind = Header::kEnd;
  uint32_t words[kHeaderWords] = {};
  uint32_t units = 0;  // units the object occupies, its header included
  int level = 0;       // end-of-file level of a mark
};
SeqHeader read_sequential_header(const FileEntry &f, int64_t address);

// Search step of an old sequential file from cur_addr: a handle, -12 when
// nothing more matches (end of the data or a mark, whose level is kept),
// or an error.
int next_match(FileEntry &f);

// Word address of the object following the one at `address` (a record
// handle's position), or an error reported under `module`.
int64_t next_address(FileEntry &f, int64_t address, const char *module);

// Words before the data of a record of file f, when the data alone is read.
inline int64_t data_skip_words(const FileEntry &f) { return f.xdf_seq ? kHeaderWords : 0; }

// Positioning of old sequential files for the standard-file layer. Each
// returns 0 or an error; the level of the header last read is kept in
// f.old_eof_level. skip sets *at_end when a forward skip stopped at a mark
// or at the end of the data before its count.
int skip(FileEntry &f, int nrec, bool *at_end);
int append_position(FileEntry &f);
// Level of the mark at the position, 31 reported as 15; 0 on a record.
int eof_level(const FileEntry &f);

}  // namespace old_format
}  // namespace zep::xdf
