// Positioned reads of an open unit's words, safe from several threads.
#include "io/word_reader.h"

#include "common/big_endian.h"
#include "io/file_table.h"
#include "io/word_file.h"

namespace zep::io {

WordReader WordReader::of_unit(int iun) {
  WordReader r;
  const int index = file_index_of(iun);
  if (index < 0) return r;
  const FileEntry &e = file_entry(index);
  if (!e.open || e.fd < 0 || wa_settings().page_size > 0) return r;
  const int slot = wa_slot_of_fd(e.fd);
  if (slot < 0) return r;
  r.fd_ = e.fd;
  r.offset_ = wa_table()[slot].offset;
  r.words_ = e.esize;
  return r;
}

bool WordReader::read(uint32_t *words, int64_t adr, int64_t n) const {
  if (fd_ < 0 || n < 0 || adr < 1 || adr > words_ || n > words_ - adr + 1) return false;
  if (n == 0) return true;
  const uint64_t bytes = static_cast<uint64_t>(n) * 4;
  const int64_t at = (adr - 1 + offset_) * 4;
  if (read_at(fd_, words, bytes, at) != static_cast<int64_t>(bytes)) return false;
  swap_words_in_place(words, static_cast<size_t>(n));
  return true;
}

}  // namespace zep::io
