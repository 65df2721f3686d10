// Reads of an open unit's words straight from its file, by several threads
// at once: each read is one positioned read of the descriptor, with no
// file position, cache or table touched, so that the pieces of a record may
// be read by whoever decodes them.
#pragma once

#include <cstdint>

namespace zep::io {

class WordReader {
 public:
  // A reader of unit `iun`, or an unusable one (usable() false) when the
  // unit is not open or its words go through the page cache (whose pages
  // belong to the caller's thread). The reader stays valid while the unit
  // stays open; it does not see words written after it was made beyond the
  // size the file had then.
  static WordReader of_unit(int iun);

  bool usable() const { return fd_ >= 0; }
  // Words the reads may reach (the file's size when the reader was made).
  int64_t size() const { return words_; }

  // Reads n words from word address adr (1 = the file's first word) into
  // words[0 .. n), in host order. Returns true when every word was read;
  // false (words left undefined) for a range outside 1 .. size() or a
  // short or failed read. Prints nothing.
  bool read(uint32_t *words, int64_t adr, int64_t n) const;

 private:
  int fd_ = -1;
  int64_t offset_ = 0;  // word offset of an archive member inside its archive
  int64_t words_ = 0;
};

}  // namespace zep::io
