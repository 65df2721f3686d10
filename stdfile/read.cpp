// Reading and decoding standard records: c_vktluk and the converter's
// read_values_as_floats / read_values (see read.h for the checks made on
// every size taken from the file).
#include "stdfile/read.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "common/big_endian.h"
#include "packing/compact_float.h"
#include "packing/compact_integer.h"
#include "packing/compress.h"
#include "packing/float_packer.h"
#include "packing/ieee_pack.h"
#include "stdfile/options.h"
#include "xdf/table.h"
#include "zep/stdfile.h"
#include "zep/xdf.h"
#include "common/bit_cast.h"

namespace zep::stdfile {

namespace {

constexpr const char *kModule = "c_vktluk";
constexpr int kDamaged = xdf::ERR_BAD_LENGTH;
constexpr int kFloatHeaderWords = 4;                                  // fixed-width float packer
constexpr int kPackerHeaderWords = packing::kFloatPackerHeaderWords;  // float packer (H)
// Points a compressed stream can describe per stored bit: the cheapest
// block of either method (a constant 5 x 5 block: 4 bits and the minimum)
// holds fewer than 8 points per bit.
constexpr int64_t kMaxPointsPerCompressedBit = 8;
// Room of the read buffer past what the compressed datyps expand to (16
// bits per point, and the float packer's header), for the expansion's own
// headers and rounding; and the words around the record: the buffer's
// control words and one spare.
constexpr int64_t kFloatPackerSlackWords = 21;
constexpr int64_t kCompressedSlackWords = 24;
constexpr int64_t kBufferExtraWords = xdf::kBufferControlWords + 1;
// A record is read by its head alone only when its data is at least this
// many words longer than the head: more than the keys before the data.
constexpr int64_t kHeadMargin = 4096;
constexpr int64_t kWholeRecord = INT64_MAX - kHeadMargin;
// The head read of a record read range by range: its packed header.
constexpr int64_t kHeadWords = 16;

int damaged(int handle, const char *what) {
  return xdf::report(kModule, kDamaged, xdf::ERROR, "record (handle=%d) is damaged: %s", handle,
                     what);
}

int invalid_datyp(int datyp) {
  return xdf::report(kModule, xdf::ERR_BAD_TYPE, xdf::ERROR, "invalid datyp=%d", datyp);
}

bool is_compressed_datyp(int datyp) { return is_compressed(datyp); }

// The compressed datyps leave fields one point wide, or wider than 16
// bits, as the packer wrote them.
bool stream_is_compressed(const Descriptor &d) { return d.nbits <= 16 && d.ni > 1 && d.nj > 1; }

// Words of the packed data of datyps 0, 1, 2, 4 and 5: ceil(bits / 32).
int64_t words_for_bits(int64_t bits) { return (bits + 31) / 32; }

// Width of an IEEE record as the packer reads its -nbits argument: 0 means
// 32 bits, 64 and more mean 64.
int ieee_width_of(int nbits) { return nbits == 0 ? 32 : (nbits >= 64 ? 64 : nbits); }

int stride() { return std::max(1, xdf::settings().xdf_stride); }

// Words skipped before the data by c_xdfget2 when it is asked for the data
// alone: the keys of the record, by the layout of the file that holds it.
int64_t skipped_words(int handle) {
  const xdf::FileEntry *f = xdf::open_entry(xdf::Handle::index_of(handle));
  if (!f) return 2 * (9 + 1);
  if (f->old_format) return f->xdf_seq ? 30 : 0;
  return 2 * static_cast<int64_t>(f->primary_len + f->info_len);
}

template <typename T>
T *as(void *field) {
  return static_cast<T *>(field);
}

// Expands the compressed stream at data[first] (stream_words words) in
// place; false when the stream is refused.
bool expand(FetchedRecord *rec, size_t first, size_t stream_words) {
  if (first >= rec->room()) return false;
  const packing::PackStatus st = packing::expand_packed(rec->data() + first, stream_words,
                                                        rec->room() - first, rec->d.ni, rec->d.nj);
  return st == packing::PackStatus::kOk;
}

}  // namespace

int64_t needed_data_words(int datyp, int nbits, int64_t count) {
  switch (datyp) {
    case DataType::kRawBits:
    case DataType::kUnsigned:
    case DataType::kSigned: return words_for_bits(static_cast<int64_t>(nbits) * count);
    case DataType::kPackedReal: return words_for_bits(static_cast<int64_t>(nbits) * count + 120);
    case DataType::kCharacters: return 0;  // characters beyond what is stored read as 0
    case DataType::kIeee: {
      const int w = ieee_width_of(nbits);
      if (w > 32 && w < 64) return -1;
      return w == 64 ? 2 * count : words_for_bits(static_cast<int64_t>(w) * count);
    }
    case DataType::kFloatPacker: return kPackerHeaderWords + (count + 1) / 2;
    case DataType::kPackedRealCompressed:
    case DataType::kFloatPackerCompressed: return 1;  // data[0]: the words that follow
    default: return -1;
  }
}

namespace {

// fetch_record, reading only the first head_words data words of a record
// of packed reals much longer than that (the whole record otherwise).
int fetch_impl(int handle, FetchedRecord *rec, int *ni, int *nj, int *nk, int64_t head_words) {
  rec->place = xdf::RecordPlace();
  rec->partial = false;
  int addr = 0, lng = 0, type = 0;
  std::fill(std::begin(rec->entry), std::end(rec->entry), 0u);
  const int status = c_xdfprm(handle, &addr, &lng, &type, rec->entry + 2, kKeyWords);
  if (status < 0) return status;
  rec->handle = handle;
  rec->entry[0] = xdf::RecordHeader::word0(static_cast<uint32_t>(type), static_cast<uint32_t>(lng));
  rec->entry[1] = static_cast<uint32_t>(addr);
  rec->d = Descriptor::from_entry(rec->entry);
  const Descriptor &d = rec->d;
  if (ni) *ni = d.ni;
  if (nj) *nj = d.nj;
  if (nk) *nk = d.nk;
  options().xdf_datatyp = d.datyp;

  // ni and nj hold 24 bits and nk 20: their product can pass 2^63, so it
  // is saturated just past the most values a record can hold.
  constexpr int64_t kCountCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  const int64_t plane = std::min<int64_t>(static_cast<int64_t>(d.ni) * d.nj, kCountCap);
  rec->count = std::min<int64_t>(plane * d.nk, kCountCap);
  rec->stored_words =
      2 * static_cast<int64_t>(xdf::RecordHeader::length_of(static_cast<uint32_t>(lng)));
  const int64_t L = rec->stored_words;
  const int64_t n = rec->count;
  if (n > std::numeric_limits<int32_t>::max())
    return damaged(handle, "more values than a record can hold");

  // Room of the read buffer: the stored record, and for the compressed
  // datyps what their expansion needs (16 bits per point and the headers).
  int64_t W = L;
  if (d.datyp == DataType::kFloatPacker || d.datyp == DataType::kFloatPackerCompressed) {
    W = kPackerHeaderWords + (16 * n + 63) / 32 + kFloatPackerSlackWords;
  } else if (is_compressed_datyp(d.datyp)) {
    W = (16 * n + 63) / 32 + kCompressedSlackWords;
  }
  if (is_compressed_datyp(d.datyp) && n > kMaxPointsPerCompressedBit * 32 * L + 64)
    return damaged(handle, "more points than its compressed stream can describe");
  if (!is_compressed_datyp(d.datyp)) {
    const int64_t need = needed_data_words(d.datyp, d.nbits, n);
    if (need > L) return damaged(handle, "stored length too short for its values");
  }
  // No writer stores values of 0 bits; such a record would let any count
  // through the length check.
  if (n > 0 && d.nbits == 0 &&
      (d.datyp == DataType::kRawBits || d.datyp == DataType::kPackedReal ||
       d.datyp == DataType::kUnsigned || d.datyp == DataType::kSigned))
    return damaged(handle, "values of 0 bits");
  // Characters: the record holds at least its first level (ni * nj); the
  // levels beyond read as 0.
  if (d.datyp == DataType::kCharacters && (static_cast<int64_t>(d.ni) * d.nj + 3) / 4 > L)
    return damaged(handle, "stored length too short for its characters");
  W = std::max(W, L);
  // The length is the file's word: the record must be inside the file
  // before a buffer of that size is made.
  if (const int rc = xdf::record_in_file(handle); rc < 0) return rc;
  // No record starts inside the file header: an address there is damage in
  // the directory, not a record of another version.
  if (const xdf::FileEntry *f = xdf::open_entry(xdf::Handle::index_of(handle));
      f != nullptr && f->has_header && !f->old_format && addr >= 1 &&
      static_cast<uint32_t>(addr) <= f->header.length)
    return damaged(handle, "its address points into the file header (the directory is damaged)");

  // A head is asked only of a record whose data is much longer: the keys
  // skipped before the data are far fewer than the margin.
  const bool head = d.datyp == DataType::kPackedReal && head_words + kHeadMargin < L;
  if (head) W = head_words;
  const int64_t total = W + kBufferExtraWords;
  try {
    // A buffer kept from an earlier read is reused: only the words the read
    // below does not write are cleared (the control words, and the room
    // past the stored record that the expansions use).
    rec->buffer.resize(static_cast<size_t>(total));
    std::fill(rec->buffer.begin(), rec->buffer.begin() + xdf::kBufferControlWords, 0u);
    std::fill(rec->buffer.begin() + xdf::kBufferControlWords + std::min(W, L), rec->buffer.end(),
              0u);
  } catch (const std::bad_alloc &) {
    const int64_t bytes = L * 4;
    return xdf::report(kModule, xdf::ERR_NO_MEMORY, xdf::FATAL,
                       "memory is full, was trying to allocate %d bytes",
                       static_cast<int>(std::min<int64_t>(bytes, INT32_MAX)));
  }
  // Data alone (negative dimension with nbits -1); the dimension announced
  // is the buffer's real room.
  rec->buffer[0] = static_cast<uint32_t>(-static_cast<int32_t>(total));
  rec->buffer[1] = xdf::kAllOnes;
  int aux[2] = {0, 0};
  const int got =
      xdf::get_record(handle, rec->buffer.data(), aux, head ? head_words : INT64_MAX, &rec->place);
  if (got < 0) return got;
  rec->data_words = static_cast<size_t>(
      std::clamp<int64_t>(L - skipped_words(handle), 0, static_cast<int64_t>(rec->room())));
  if (head) {
    rec->data_words = std::min<size_t>(rec->data_words, static_cast<size_t>(head_words));
    rec->partial = true;
  }

  if (aux[0] != 0 && aux[1] != 0) {
    std::printf("c_vktluk aux_keys[0]=%d, aux_keys[1]=%d\n", aux[0], aux[1]);
    return xdf::report(kModule, -40, xdf::FATAL,
                       "wrong version of vktd98 (%d), recompile with a more recent version",
                       kStdfVersion);
  }
  return handle;
}

}  // namespace

int fetch_record(int handle, FetchedRecord *rec, int *ni, int *nj, int *nk) {
  return fetch_impl(handle, rec, ni, nj, nk, kWholeRecord);
}

int fetch_record(int handle, FetchedRecord *rec) {
  return fetch_record(handle, rec, nullptr, nullptr, nullptr);
}

namespace {

// IMAGE mode: the packed words, unchanged.
int copy_image(FetchedRecord *rec, uint32_t *field, size_t field_words) {
  const Descriptor &d = rec->d;
  const uint32_t *data = rec->data();
  int64_t words = 0;
  if (is_compressed_datyp(d.datyp)) {
    words = static_cast<int64_t>(rec->data_words > 0 ? data[0] : 0) + 1;
  } else {
    int64_t bits = static_cast<int64_t>(d.nbits) * rec->count;
    if (d.datyp == DataType::kPackedReal) bits += 120;
    if (d.datyp == DataType::kCharacters) bits = static_cast<int64_t>(d.ni) * d.nj * 8;
    words = words_for_bits(bits);
  }
  // Words past the stored ones come from the zero-filled read buffer, as
  // far as it goes.
  if (words > static_cast<int64_t>(rec->room()))
    return damaged(rec->handle, "packed data longer than the record");
  if (static_cast<uint64_t>(words) > field_words)
    return damaged(rec->handle, "packed data larger than the caller's room");
  std::copy(data, data + words, field);
  return 0;
}

// `wrote_all`, when given, says whether every one of the record's values
// was written (a field of width 0 writes none).
int decode_fixed_floats(FetchedRecord *rec, float *field, size_t field_len,
                        bool *wrote_all = nullptr) {
  const Descriptor &d = rec->d;
  uint32_t *data = rec->data();
  const size_t n = static_cast<size_t>(rec->count);
  const size_t st = static_cast<size_t>(stride());
  const size_t len = n == 0 ? 0 : std::min(field_len, (n - 1) * st + 1);
  packing::PackStatus ps;
  if (d.datyp == DataType::kPackedReal) {
    if (rec->data_words < 4) return damaged(rec->handle, "packed header missing");
    ps = packing::unpack_floats(data, data + 3, rec->data_words - 3, 24, d.nbits, n, field, len, st,
                                false, 99999.0f);
  } else {  // 129
    if (rec->data_words < 1) return damaged(rec->handle, "compressed length missing");
    // Writers differ on whether data[0] counts itself: the words that
    // follow it are taken as at most what the record holds.
    const size_t k = std::min<size_t>(data[0], rec->data_words - 1);
    if (k < kFloatHeaderWords) return damaged(rec->handle, "compressed header missing");
    size_t stream_words = k - kFloatHeaderWords;
    if (stream_is_compressed(d)) {
      if (!expand(rec, 1 + kFloatHeaderWords, stream_words))
        return damaged(rec->handle, "compressed stream refused");
      stream_words = rec->room() - 1 - kFloatHeaderWords;
    }
    const int width = std::max(d.nbits, 16);
    ps = packing::unpack_floats(data + 1, data + 1 + kFloatHeaderWords, stream_words, 0,
                                d.nbits + 64 * width, n, field, len, st, false, 99999.0f);
  }
  if (wrote_all != nullptr) *wrote_all = ps == packing::PackStatus::kOk && st == 1 && len == n;
  if (ps == packing::PackStatus::kOk || ps == packing::PackStatus::kNothingToDo) return 0;
  return damaged(rec->handle, packing::pack_status_text(ps));
}

int decode_packer_floats(FetchedRecord *rec, float *field, size_t field_len) {
  const Descriptor &d = rec->d;
  uint32_t *data = rec->data();
  const size_t n = static_cast<size_t>(rec->count);
  const uint32_t *header = data;
  size_t first = kPackerHeaderWords;
  size_t stream_words = 0;
  if (d.datyp == DataType::kFloatPacker) {
    if (rec->data_words < static_cast<size_t>(kPackerHeaderWords))
      return damaged(rec->handle, "packer header missing");
    stream_words = rec->data_words - kPackerHeaderWords;
  } else {  // 134
    if (rec->data_words < 1) return damaged(rec->handle, "compressed length missing");
    const size_t k = std::min<size_t>(data[0], rec->data_words - 1);
    if (k < static_cast<size_t>(kPackerHeaderWords))
      return damaged(rec->handle, "compressed header missing");
    header = data + 1;
    first = 1 + kPackerHeaderWords;
    stream_words = k - kPackerHeaderWords;
    if (stream_is_compressed(d)) {
      if (!expand(rec, first, stream_words))
        return damaged(rec->handle, "compressed stream refused");
      stream_words = rec->room() - first;
    }
  }
  int bits = 0;
  const packing::PackStatus fs =
      packing::float_unpack(header, data + first, stream_words, n, field, field_len, &bits);
  if (fs == packing::PackStatus::kOk) return 0;
  return damaged(rec->handle, packing::pack_status_text(fs));
}

int decode_integers(FetchedRecord *rec, uint32_t *field, size_t field_len) {
  const Descriptor &d = rec->d;
  const size_t st = static_cast<size_t>(stride());
  size_t count = static_cast<size_t>(rec->count);
  int nbits = d.nbits;
  bool is_signed = d.datyp == DataType::kSigned;
  std::vector<uint32_t> padded;
  const uint32_t *stream = rec->data();
  size_t stream_words = rec->data_words;
  if (d.datyp == DataType::kCharacters) {
    // Four characters a word; words the record does not store read as 0.
    count = (count + 3) / 4;
    nbits = 32;
    is_signed = false;
    if (stream_words < count) {
      padded.assign(stream, stream + stream_words);
      padded.resize(count, 0u);
      stream = padded.data();
      stream_words = count;
    }
  }
  if (count == 0) return 0;
  const size_t len = std::min(field_len, (count - 1) * st + 1);
  const packing::PackStatus ps = packing::unpack_integers(
      nullptr, stream, stream_words, 0, nbits, count, is_signed, field, len, st, nullptr, nullptr);
  if (ps == packing::PackStatus::kOk || ps == packing::PackStatus::kNothingToDo) return 0;
  return damaged(rec->handle, packing::pack_status_text(ps));
}

// 64-bit IEEE values (high word first in the file) rounded to floats.
int reduce_doubles(FetchedRecord *rec, float *field, size_t field_len) {
  const size_t n = static_cast<size_t>(rec->count);
  if (2 * n > rec->data_words) return damaged(rec->handle, "fewer values stored than described");
  if (n > field_len) return damaged(rec->handle, "more values than the caller's room");
  const uint32_t *data = rec->data();
  for (size_t i = 0; i < n; ++i) {
    const uint64_t bits = (static_cast<uint64_t>(data[2 * i]) << 32) | data[2 * i + 1];
    field[i] = static_cast<float>(zep::double_from_bits(bits));
  }
  return 0;
}

int decode_ieee(FetchedRecord *rec, uint32_t *field, size_t field_words) {
  const size_t n = static_cast<size_t>(rec->count);
  const packing::PackStatus ps = packing::unpack_ieee(
      rec->data(), rec->data_words, n, ieee_width_of(rec->d.nbits), field, field_words);
  if (ps == packing::PackStatus::kOk || n == 0) return 0;
  return damaged(rec->handle, packing::pack_status_text(ps));
}

int copy_raw(FetchedRecord *rec, uint32_t *field, size_t field_words) {
  const int64_t words = words_for_bits(static_cast<int64_t>(rec->d.nbits) * rec->count);
  if (words > static_cast<int64_t>(rec->data_words))
    return damaged(rec->handle, "fewer words stored than described");
  if (static_cast<uint64_t>(words) > field_words)
    return damaged(rec->handle, "more words than the caller's room");
  std::copy(rec->data(), rec->data() + words, field);
  return 0;
}

// Words of the caller's array that decode_record may write.
size_t field_words_needed(const FetchedRecord &rec) {
  const Descriptor &d = rec.d;
  const size_t n = static_cast<size_t>(rec.count);
  if (d.datyp == DataType::kRawBits)
    return static_cast<size_t>(words_for_bits(int64_t{d.nbits} * rec.count));
  if (d.datyp == DataType::kCharacters) return (n + 3) / 4;
  if (d.datyp == DataType::kIeee && ieee_width_of(d.nbits) == 64) return 2 * n;
  return n;
}

void trace_read(const FetchedRecord &rec) {
  if (msg_level() > 1) return;
  char text[32];
  std::snprintf(text, sizeof text, "Read(%d)", static_cast<int>(rec.buffer[4]));
  print_std_parms(rec.entry, text, options().prnt_options.c_str(), 0);
}

}  // namespace

int decode_record(FetchedRecord *rec, void *field, size_t field_words) {
  const Descriptor &d = rec->d;
  uint32_t *words = as<uint32_t>(field);
  if (options().image_mode_copy) return copy_image(rec, words, field_words);
  const int64_t need = needed_data_words(d.datyp, d.nbits, rec->count);
  if (need < 0) return invalid_datyp(d.datyp);
  if (need > static_cast<int64_t>(rec->data_words))
    return damaged(rec->handle, "fewer words stored than its values need");
  switch (d.datyp) {
    case DataType::kRawBits: return copy_raw(rec, words, field_words);
    case DataType::kPackedReal:
    case DataType::kPackedRealCompressed:
      return decode_fixed_floats(rec, as<float>(field), field_words);
    case DataType::kUnsigned:
    case DataType::kSigned: return decode_integers(rec, words, field_words);
    case DataType::kCharacters: {
      const int status = decode_integers(rec, words, field_words);
      if (status < 0) return status;
      // Host-order words to the file's byte order: characters in record order.
      const size_t nwords = (static_cast<size_t>(rec->count) + 3) / 4;
      const size_t st = static_cast<size_t>(stride());
      for (size_t i = 0; i < nwords; ++i) zep::store_be32(&words[i * st], words[i * st]);
      return 0;
    }
    case DataType::kIeee:
      if (ieee_width_of(d.nbits) == 64 && options().downgrade_32)
        return reduce_doubles(rec, as<float>(field), field_words);
      return decode_ieee(rec, words, field_words);
    case DataType::kFloatPacker:
    case DataType::kFloatPackerCompressed:
      return decode_packer_floats(rec, as<float>(field), field_words);
    default: return invalid_datyp(d.datyp);
  }
}

namespace {

// The values of a fetched record widened to double (see read_values).
int decode_to_doubles(FetchedRecord &rec, std::vector<double> *out) {
  const Descriptor &d = rec.d;
  const size_t n = static_cast<size_t>(rec.count);
  int status = 0;
  try {
    out->resize(n);
    if (d.datyp == DataType::kIeee && ieee_width_of(d.nbits) == 64) {
      std::vector<float> f(n);
      status = reduce_doubles(&rec, f.data(), n);
      std::copy(f.begin(), f.end(), out->begin());
    } else if (d.datyp == DataType::kPackedReal || d.datyp == DataType::kPackedRealCompressed) {
      std::vector<float> f(n);
      status = decode_fixed_floats(&rec, f.data(), n);
      std::copy(f.begin(), f.end(), out->begin());
    } else if (d.datyp == DataType::kFloatPacker || d.datyp == DataType::kFloatPackerCompressed) {
      std::vector<float> f(n);
      status = decode_packer_floats(&rec, f.data(), n);
      std::copy(f.begin(), f.end(), out->begin());
    } else {
      std::vector<uint32_t> w(std::max(n, field_words_needed(rec)), 0u);
      if (d.datyp == DataType::kRawBits) {
        status = copy_raw(&rec, w.data(), w.size());
      } else if (d.datyp == DataType::kIeee) {
        status = decode_ieee(&rec, w.data(), w.size());
      } else {
        status = decode_integers(&rec, w.data(), w.size());
      }
      for (size_t i = 0; status >= 0 && i < n; ++i) {
        switch (d.datyp) {
          case DataType::kUnsigned: (*out)[i] = static_cast<double>(w[i]); break;
          case DataType::kSigned:
            (*out)[i] = static_cast<double>(static_cast<int32_t>(w[i]));
            break;
          case DataType::kCharacters:
            // Character i sits in word i / 4, the first in the high byte.
            (*out)[i] = static_cast<double>((w[i / 4] >> (24 - 8 * (i % 4))) & 0xFFu);
            break;
          default: {  // 0 and 5: the words as floats
            (*out)[i] = static_cast<double>(zep::float_from_bits(w[i]));
          }
        }
      }
    }
  } catch (const std::bad_alloc &) {
    status = xdf::report(kModule, xdf::ERR_NO_MEMORY, xdf::FATAL,
                         "memory is full, was trying to allocate %d bytes",
                         static_cast<int>(std::min<int64_t>(rec.count * 8, INT32_MAX)));
  }
  return status;
}

// Fetches the record and checks its stored length against its datyp.
// head_words: see fetch_impl.
int fetch_checked(int handle, FetchedRecord *rec, int64_t head_words = kWholeRecord) {
  const int status = fetch_impl(handle, rec, nullptr, nullptr, nullptr, head_words);
  if (status < 0) return status;
  const Descriptor &d = rec->d;
  const int64_t need = needed_data_words(d.datyp, d.nbits, rec->count);
  if (need < 0) return invalid_datyp(d.datyp);
  const int64_t stored = rec->partial ? rec->place.words : static_cast<int64_t>(rec->data_words);
  if (need > stored) return damaged(handle, "fewer words stored than its values need");
  return handle;
}

// The read buffer of the converter-style reads below is kept by the thread
// from record to record: a fresh multi-megabyte buffer per record costs its
// page faults and its clearing every time.
class KeptBuffer {
 public:
  explicit KeptBuffer(FetchedRecord *rec) : rec_(rec) { rec_->buffer.swap(kept()); }
  ~KeptBuffer() { rec_->buffer.swap(kept()); }
  KeptBuffer(const KeptBuffer &) = delete;
  KeptBuffer &operator=(const KeptBuffer &) = delete;

 private:
  static std::vector<uint32_t> &kept() {
    thread_local std::vector<uint32_t> buffer;
    return buffer;
  }
  FetchedRecord *rec_;
};

}  // namespace

int read_values(int handle, std::vector<double> *out) {
  out->clear();
  FetchedRecord rec;
  KeptBuffer keep(&rec);
  int status = fetch_checked(handle, &rec);
  if (status >= 0) status = decode_to_doubles(rec, out);
  if (status < 0) {
    out->clear();
    return status;
  }
  trace_read(rec);
  return handle;
}

namespace {

// IEEE words of 32 bits or less as floats, as a round trip through double
// gives them: a NaN comes back quiet (its payload kept).
void copy_quieted(const uint32_t *from, float *values, size_t n) {
  uint32_t *bits = reinterpret_cast<uint32_t *>(values);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t b = from[i];
    bits[i] = (b & 0x7FFFFFFFu) > 0x7F800000u ? b | 0x00400000u : b;
  }
}

template <typename Int>
void integers_to_floats(float *values, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    Int v;
    std::memcpy(&v, values + i, sizeof v);
    values[i] = static_cast<float>(v);
  }
}

// The values of a fetched and checked record as floats into out[0 .. n).
int decode_floats(FetchedRecord &rec, float *out, size_t n) {
  const Descriptor &d = rec.d;
  if (d.datyp == DataType::kPackedReal || d.datyp == DataType::kPackedRealCompressed)
    return decode_fixed_floats(&rec, out, n);
  if (d.datyp == DataType::kFloatPacker || d.datyp == DataType::kFloatPackerCompressed)
    return decode_packer_floats(&rec, out, n);
  if (d.datyp == DataType::kIeee && ieee_width_of(d.nbits) == 64)
    return reduce_doubles(&rec, out, n);
  // The 32-bit kinds are decoded in place and converted word by word, as
  // the widening to double and back would.
  uint32_t *words = reinterpret_cast<uint32_t *>(out);
  if (stride() == 1 && n >= field_words_needed(rec)) {
    if (d.datyp == DataType::kIeee) {
      if (ieee_width_of(d.nbits) == 32 && rec.data_words >= n) {
        copy_quieted(rec.data(), out, n);  // the stored words are the values
        return 0;
      }
      const int status = decode_ieee(&rec, words, n);
      if (status >= 0) copy_quieted(words, out, n);
      return status;
    }
    if (d.datyp == DataType::kUnsigned || d.datyp == DataType::kSigned) {
      const int status = decode_integers(&rec, words, n);
      if (status < 0) return status;
      if (d.datyp == DataType::kSigned) {
        integers_to_floats<int32_t>(out, n);
      } else {
        integers_to_floats<uint32_t>(out, n);
      }
      return status;
    }
  }
  std::vector<double> values;
  const int status = decode_to_doubles(rec, &values);
  if (status >= 0)
    std::transform(values.begin(), values.end(), out,
                   [](double v) { return static_cast<float>(v); });
  return status;
}

}  // namespace

int read_floats_into(int handle, FetchedRecord *rec, float *out, size_t capacity) {
  int status = fetch_checked(handle, rec);
  if (status < 0) return status;
  const size_t n = static_cast<size_t>(rec->count);
  if (n > capacity)
    return xdf::report(kModule, xdf::ERR_BUFFER_SMALL, xdf::ERROR,
                       "record (handle=%d) has %lld values, the array holds %lld", handle,
                       static_cast<long long>(n), static_cast<long long>(capacity));
  try {
    status = decode_floats(*rec, out, n);
  } catch (const std::bad_alloc &) {
    status = xdf::report(kModule, xdf::ERR_NO_MEMORY, xdf::FATAL,
                         "memory is full, was trying to allocate %d bytes",
                         static_cast<int>(std::min<int64_t>(rec->count * 8, INT32_MAX)));
  }
  if (status < 0) return status;
  trace_read(*rec);
  return handle;
}

int read_values_as_floats(int handle, std::vector<float> *out) {
  FetchedRecord rec;
  KeptBuffer keep(&rec);
  int status = fetch_checked(handle, &rec);
  if (status < 0) {
    out->clear();
    return status;
  }
  const size_t n = static_cast<size_t>(rec.count);
  try {
    // Packed reals write every value: a buffer of the right size (the
    // converter hands back the same one record after record) is not
    // cleared first, unless the decoder wrote nothing.
    if (out->size() == n && rec.d.datyp == DataType::kPackedReal && stride() == 1) {
      bool wrote_all = false;
      status = decode_fixed_floats(&rec, out->data(), n, &wrote_all);
      if (status >= 0 && !wrote_all) std::fill(out->begin(), out->end(), 0.0f);
    } else {
      out->clear();
      out->resize(n);
      status = decode_floats(rec, out->data(), n);
    }
  } catch (const std::bad_alloc &) {
    status = xdf::report(kModule, xdf::ERR_NO_MEMORY, xdf::FATAL,
                         "memory is full, was trying to allocate %d bytes",
                         static_cast<int>(std::min<int64_t>(rec.count * 4, INT32_MAX)));
  }
  if (status < 0) {
    out->clear();
    return status;
  }
  trace_read(rec);
  return handle;
}

// Packed reals are decoded range by range from the words read: the tokens
// of a record of 1000 x 1000 take half the room of its floats, and the
// decoding is shared by whoever formats the values.
int FloatValues::fetch(int handle) {
  count_ = 0;
  form_ = Form::kWhole;
  if (unread_) unread_->store(false);
  static std::atomic<uint64_t> fetches{0};
  fetch_id_ = ++fetches;
  int status = fetch_head(handle);
  if (status < 0) return status;
  const size_t n = static_cast<size_t>(rec_.count);
  const Descriptor &d = rec_.d;
  if (d.datyp == DataType::kPackedReal && stride() == 1 && n > 0) {
    const size_t stored = form_ == Form::kPackedInFile ? stream_words_ + 3 : rec_.data_words;
    if (stored < 4) return damaged(handle, "packed header missing");
    // The checks of the whole record, made once: a range cannot fail after
    // (unless its words cannot be read).
    const packing::PackStatus ps = packing::unpack_float_range(
        rec_.data(), rec_.data() + 3, stored - 3, 24, d.nbits, n, 0, 0, nullptr);
    if (ps != packing::PackStatus::kOk && ps != packing::PackStatus::kNothingToDo)
      return damaged(handle, packing::pack_status_text(ps));
    if (ps != packing::PackStatus::kOk) {
      form_ = Form::kZeros;
    } else if (form_ != Form::kPackedInFile) {
      form_ = Form::kPacked;
    } else {
      std::copy_n(rec_.data(), 4, header_);
      if (!unread_) unread_ = std::make_unique<std::atomic<bool>>(false);
    }
  } else {
    try {
      whole_.clear();
      whole_.resize(n);
      status = decode_floats(rec_, whole_.data(), n);
    } catch (const std::bad_alloc &) {
      status = xdf::report(kModule, xdf::ERR_NO_MEMORY, xdf::FATAL,
                           "memory is full, was trying to allocate %d bytes",
                           static_cast<int>(std::min<int64_t>(rec_.count * 4, INT32_MAX)));
    }
    if (status < 0) return status;
  }
  count_ = n;
  trace_read(rec_);
  return handle;
}

// Large records of packed reals in a file that several threads may read
// are fetched by their head (the packed header among it); the rest is read
// range by range by decode().
int FloatValues::fetch_head(int handle) {
  const xdf::FileEntry *f = xdf::open_entry(xdf::Handle::index_of(handle));
  if (f == nullptr || f->xdf_seq || stride() != 1) return fetch_checked(handle, &rec_);
  const int status = fetch_checked(handle, &rec_, kHeadWords);
  if (status < 0 || !rec_.partial) return status;  // refused, or read whole
  reader_ = io::WordReader::of_unit(rec_.place.iun);
  if (!reader_.usable()) return fetch_checked(handle, &rec_);  // the cache's pages: whole
  form_ = Form::kPackedInFile;
  stream_words_ = static_cast<size_t>(rec_.place.words) - 3;
  stream_address_ = rec_.place.address + 3;
  return status;
}

void FloatValues::decode(size_t first, size_t n, float *out, size_t reach) const {
  if (n == 0) return;
  switch (form_) {
    case Form::kWhole: std::copy_n(whole_.data() + first, n, out); return;
    case Form::kZeros: std::fill_n(out, n, 0.0f); return;
    case Form::kPackedInFile: {
      // Each thread keeps the words it read last: a range read ahead serves
      // the calls that follow it.
      struct Window {
        uint64_t fetch = 0;  // fetch_id_ of the record they belong to
        packing::WordSpan span;
        std::vector<uint32_t> words;
      };
      thread_local Window w;
      const int nbits = rec_.d.nbits;
      const packing::WordSpan span = packing::float_range_words(24, nbits, first, n);
      bool held = w.fetch == fetch_id_ && span.first >= w.span.first &&
                  span.first + span.count <= w.span.first + w.span.count;
      // A read ahead that fails (the file cut short since fetch()) is
      // tried again for this range alone: what can be read is.
      for (size_t ahead = std::min(std::max(n, reach), count_ - first); !held; ahead = n) {
        w.fetch = 0;
        w.span = packing::float_range_words(24, nbits, first, ahead);
        try {
          if (w.words.size() < w.span.count) w.words.resize(w.span.count);
          held = reader_.read(w.words.data(), stream_address_ + static_cast<int64_t>(w.span.first),
                              static_cast<int64_t>(w.span.count));
        } catch (const std::bad_alloc &) {
        }
        if (held) w.fetch = fetch_id_;
        if (ahead == n) break;
      }
      const packing::PackStatus ps =
          held ? packing::unpack_float_window(header_, stream_words_, 24, nbits, count_, first, n,
                                              w.words.data(), w.span.first, w.span.count, out)
               : packing::PackStatus::kShortStream;
      if (ps != packing::PackStatus::kOk) {
        std::fill_n(out, n, 0.0f);
        unread_->store(true, std::memory_order_relaxed);
      }
      return;
    }
    case Form::kPacked: {
      const packing::PackStatus ps =
          packing::unpack_float_range(rec_.data(), rec_.data() + 3, rec_.data_words - 3, 24,
                                      rec_.d.nbits, count_, first, n, out);
      // fetch() made the checks of the whole record; a range refused is
      // one outside it, and gives zeros rather than memory past the values.
      if (ps != packing::PackStatus::kOk) std::fill_n(out, n, 0.0f);
      return;
    }
  }
}

}  // namespace zep::stdfile

using namespace zep::stdfile;

extern "C" {

int c_vktluk(void *field, int handle, int *ni, int *nj, int *nk) {
  if (field == nullptr)
    return zep::xdf::report(kModule, zep::xdf::ERR_BAD_BUFFER, zep::xdf::ERROR,
                            "no array to read the record (handle=%d) into (field is NULL)", handle);
  FetchedRecord rec;
  const int status = fetch_record(handle, &rec, ni, nj, nk);
  if (status < 0) return status;
  // The caller's array holds what the record's descriptors announce.
  const int result = decode_record(&rec, field, std::numeric_limits<size_t>::max());
  if (result < 0) return result;
  trace_read(rec);
  return handle;
}

}  // extern "C"
