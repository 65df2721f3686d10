// Reading and decoding standard records: the pieces behind c_vktluk, and
// the converter's entry that decodes a record's values without ending the
// process.
//
// Every size from the file is untrusted: ni*nj*nk is formed in 64 bits and
// checked against what the record's stored words can hold for its datyp
// before anything is allocated; the read buffer holds at least the stored
// record; every decoder is called through its bounded entry with the words
// actually read. A record that fails these checks is reported as damaged
// (code -23, severity ERROR, module "c_vktluk") and nothing is decoded.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "io/word_reader.h"
#include "stdfile/descriptor.h"
#include "xdf/format.h"
#include "xdf/table.h"

namespace zep::stdfile {

// A record fetched with c_xdfprm and c_xdfget2.
struct FetchedRecord {
  uint32_t entry[kEntryWords] = {};
  Descriptor d;
  int handle = 0;
  int64_t count = 0;             // ni * nj * nk, 64-bit
  int64_t stored_words = 0;      // 32-bit words of the record on disk (lng x 2)
  std::vector<uint32_t> buffer;  // directory-file record buffer (9 control words first)
  size_t data_words = 0;         // data words read, from data()
  xdf::RecordPlace place;        // where the data words lie in the file
  bool partial = false;          // only the head of the data was read (data_words of place.words)

  const uint32_t *data() const { return buffer.data() + xdf::kBufferControlWords; }
  uint32_t *data() { return buffer.data() + xdf::kBufferControlWords; }
  // Writable words from data() on (the read buffer's room, >= data_words).
  size_t room() const { return buffer.size() - xdf::kBufferControlWords; }
};

// Words a record of this datyp needs from the start of its data (the
// packed data's own length; 0 for compressed datyps, whose length is in
// data[0]). -1 for datyps and widths the reader refuses.
int64_t needed_data_words(int datyp, int nbits, int64_t count);

// Fetches the record of `handle`: descriptors, checks, read buffer, data.
// ni, nj, nk (each may be null) receive the dimensions as soon as the
// descriptors are read. Returns the handle or a negative code (already
// reported).
int fetch_record(int handle, FetchedRecord *rec, int *ni, int *nj, int *nk);
int fetch_record(int handle, FetchedRecord *rec);

// Decodes a fetched record as c_vktluk does into `field` (32-bit elements,
// `field_words` of them writable), honouring IMAGE and REDUCTION32.
// Characters (datyp 3) are delivered in file order: the first character of
// the record in the first byte of `field`, on every host.
// Returns 0 or a negative code (already reported).
int decode_record(FetchedRecord *rec, void *field, size_t field_words);

// The converter's read: the values of the record of `handle`, ni*nj*nk of
// them, as 32-bit floats, whatever the datyp:
//   1, 129, 6, 134, 5 (nbits <= 32): the decoded floats;
//   5 with nbits 64: each double rounded to the nearest float (REDUCTION32
//     is neither needed nor changed, nothing is printed about it);
//   2, 4: each integer (unsigned, signed) converted to double, then float;
//   3: the code 0..255 of each stored character in file order (first
//     character in a word's most significant byte); characters beyond what
//     the record stores are 0;
//   0: the stored words reinterpreted as floats; elements beyond the
//     stored words 0.
// IMAGE mode is ignored. Prints the read listing line like c_vktluk (at
// message levels DEBUG and INFORM). Never ends the process for a damaged
// record or a failed allocation as long as the tolerance is raised
// (c_vktopc("TOLRNC", "CATAST", 0)): returns the negative code instead,
// with `out` emptied. Returns the handle on success.
int read_values_as_floats(int handle, std::vector<float> *out);

// The same values written to out[0 .. ni*nj*nk) (an ERROR, code -19, when
// they are more than `capacity`), with `rec` as the read buffer: a record
// kept from an earlier call is reused, so that a walk through a file
// allocates once.
int read_floats_into(int handle, FetchedRecord *rec, float *out, size_t capacity);

// The values read_values_as_floats gives, a range at a time. Records of
// packed reals (datyp 1, without XDF stride) keep their packed words and
// decode any range on demand, so that ranges of one record may be decoded
// on several threads at once and no float copy of the whole record is made;
// large ones are not even read whole: fetch() reads and checks their head,
// and each range reads its own words from the file when it is decoded.
// Records of other kinds are decoded whole by fetch(). An object is meant
// to be fetched again record after record: its buffers are reused.
class FloatValues {
 public:
  // Reads and checks the record of `handle` (prints the read listing line
  // and reports as read_values_as_floats does). Returns the handle, or a
  // negative code with size() 0.
  int fetch(int handle);
  // Values of the record fetched last (ni*nj*nk).
  size_t size() const { return count_; }
  // Bytes of memory the object holds for the record (its words read, its
  // decoded values): small for a record read range by range.
  size_t held_bytes() const {
    return rec_.buffer.capacity() * sizeof(uint32_t) + whole_.capacity() * sizeof(float);
  }
  // Writes values first .. first + n - 1 to out[0 .. n). REQUIRES:
  // first + n <= size(). Several threads may call it at once. `reach`: the
  // calling thread goes on with the values up to first + reach (a record
  // read range by range reads that far at once).
  void decode(size_t first, size_t n, float *out, size_t reach = 0) const;
  // False once a range of a record read range by range could not be read
  // (the file cut short or failing since fetch()): its values were given
  // as zeros. Reset by fetch().
  bool complete() const { return !unread_ || !unread_->load(std::memory_order_relaxed); }

 private:
  FetchedRecord rec_;
  size_t count_ = 0;
  enum class Form { kWhole, kPacked, kPackedInFile, kZeros } form_ = Form::kWhole;
  std::vector<float> whole_;  // kWhole: every value
  // kPackedInFile: the packed header, the stream's length and where it lies.
  uint32_t header_[4] = {};
  size_t stream_words_ = 0;
  int64_t stream_address_ = 0;
  io::WordReader reader_;
  uint64_t fetch_id_ = 0;  // tells the words a thread keeps from another record's
  std::unique_ptr<std::atomic<bool>> unread_;

  int fetch_head(int handle);
};

// The same, values widened exactly to double (integers of datyp 2 and 4
// keep every digit, which the float form rounds above 2^24).
int read_values(int handle, std::vector<double> *out);

}  // namespace zep::stdfile
