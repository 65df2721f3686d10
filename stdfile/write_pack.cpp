// The data area of a record, packed from the caller's array by data type,
// in the layouts the reader expects:
//   0    nbits-bit elements copied from the caller's words
//   1    4-word header, tokens from bit 24 of data[3]
//   129  data[0] words count, header data[1..4], compressed 16-bit tokens from data[5]
//   2, 4 unsigned / signed nbits-bit integers from data[0]
//   3    characters, four a word, the first in the most significant byte
//   5    IEEE values (top nbits bits; 64-bit values high word first)
//   6    3-word float-packer header, 16-bit slots from data[3]
//   134  data[0] words count, header data[1..3], compressed slots from data[4]
#include <algorithm>
#include <cstring>

#include "common/bit_stream.h"
#include "packing/compress.h"
#include "packing/float_pack16.h"
#include "stdfile/write.h"
#include "zep/compress.h"
#include "zep/packing.h"

namespace zep::stdfile {
namespace {

constexpr double kNoMissing = 99999.0;
constexpr int kRealsHeaderWords = 4;  // compact_float header

// Words a 16-bit slot stream of n values occupies.
int64_t slot_words(int64_t n) { return (n + 1) / 2; }

// data[0] of a compressed record from the compressor's result c (stream
// bytes plus one) and the bytes of the header that precedes the stream.
int64_t compressed_count(int64_t c, int64_t header_bytes) {
  return 2 * (((c + header_bytes + 16) * 8 + 63) / 64);
}

// Compresses in place the `stream_words` words of 16-bit slots at
// data + first and sets data[0]. The compressor never writes past the room
// of the data area (a noisy field can grow); returns false when the
// compressed record would not fit it, the data then left as packed.
bool compress_slots(std::vector<uint32_t> &data, int64_t first, int64_t stream_words, int ni,
                    int nj, int nbits, int64_t header_bytes, int64_t *used_words) {
  const int64_t room = static_cast<int64_t>(data.size());
  int64_t c = 0;
  if (ni == 1 || nj == 1) {
    // A grid one point wide is stored as packed: size it from those words.
    c = 4 * stream_words + 1;
  } else {
    size_t words = 0;
    const packing::PackStatus st =
        packing::compress_packed(data.data() + first, static_cast<size_t>(room - first), ni, nj,
                                 nbits, packing::decided_compress_level(), &words);
    if (st != packing::PackStatus::kOk) return false;
    c = packing::zip_length_code(words);
    const int64_t count = compressed_count(c, header_bytes);
    if (count > room) {
      // Cannot happen with the room reserved for the packed slots, but a
      // record cut short would lose values: refuse the compressed form.
      return false;
    }
    std::fill(data.begin() + first + static_cast<int64_t>(words), data.end(), 0u);
    data[0] = static_cast<uint32_t>(count);
    *used_words = count;
    return true;
  }
  const int64_t count = compressed_count(c, header_bytes);
  if (count > room) data.resize(static_cast<size_t>(count), 0u);
  data[0] = static_cast<uint32_t>(count);
  *used_words = count;
  return true;
}

// Packed reals (datyp 1 or, with `separate`, the header and 16-bit-wide
// tokens of datyp 129).
void pack_reals(const PackInput &in, int64_t n, uint32_t *data, bool separate) {
  uint32_t *header = separate ? data + 1 : data;
  uint32_t *stream = separate ? data + 1 + kRealsHeaderWords : data + 3;
  const int width = separate ? in.nbits + 64 * std::max(in.nbits, 16) : in.nbits;
  const int offset = separate ? 0 : 24;
  if (in.use_double) {
    double missing = kNoMissing;
    compact_double(static_cast<double *>(const_cast<void *>(in.field)), header, stream,
                   static_cast<int>(n), width, offset, in.stride, 1, 0, &missing);
  } else {
    float missing = static_cast<float>(kNoMissing);
    compact_float(static_cast<float *>(const_cast<void *>(in.field)), header, stream,
                  static_cast<int>(n), width, offset, in.stride, 1, 0, &missing);
  }
}

void pack_float_packer(const PackInput &in, int64_t n, uint32_t *header) {
  c_float_packer(static_cast<float *>(const_cast<void *>(in.field)), in.nbits,
                 reinterpret_cast<int32_t *>(header),
                 reinterpret_cast<int32_t *>(header + kPackerHeaderWords), static_cast<int>(n));
}

// 16-bit packed reals from floats one after the other, packed straight in
// file byte order into a buffer kept from an earlier record: no pass to
// clear it first (the packer writes every byte of the area) and none to
// change the byte order on the way to the file. False, with nothing
// decided, for the fields the general packer must see (NaN, values it
// refuses).
bool pack_reals16_disk_order(const PackInput &in, int64_t n, size_t words, Packed *out) {
  if (in.datyp != DataType::kPackedReal || in.use_double || in.nbits != 16 || in.stride != 1)
    return false;
  std::vector<uint32_t> &data = out->data;
  data.resize(out->lead + words + in.trail);
  uint8_t *area = reinterpret_cast<uint8_t *>(data.data() + out->lead);
  if (packing::pack_floats16_be(static_cast<const float *>(in.field), static_cast<size_t>(n), area,
                                4 * words, nullptr) != packing::PackStatus::kOk)
    return false;
  std::fill(data.begin(), data.begin() + static_cast<int64_t>(out->lead), 0u);
  std::fill(data.end() - static_cast<int64_t>(in.trail), data.end(), 0u);
  out->disk_order = true;
  return true;
}

}  // namespace

bool pack_data(const PackInput &in, Packed *out) {
  const int64_t n = static_cast<int64_t>(in.ni) * in.nj * in.nk;
  const bool framed = !is_compressed(in.datyp);
  const size_t words = static_cast<size_t>(data_words(in.datyp, n, in.nbits));
  out->datyp = in.datyp;
  out->lead = framed ? in.lead : 0;
  out->used_words = static_cast<int64_t>(words);
  out->disk_order = false;
  if (pack_reals16_disk_order(in, n, words, out)) return true;
  out->data.assign(out->lead + words + (framed ? in.trail : 0), 0u);
  std::vector<uint32_t> &data = out->data;
  uint32_t *area = data.data() + out->lead;
  void *field = const_cast<void *>(in.field);

  switch (in.datyp) {
    case DataType::kRawBits: {
      const int64_t bits_words = (n * in.nbits + 31) / 32;
      std::memcpy(area, in.field, static_cast<size_t>(bits_words) * 4);
      return true;
    }
    case DataType::kPackedReal: pack_reals(in, n, area, false); return true;
    case DataType::kPackedRealCompressed: {
      pack_reals(in, n, data.data(), true);
      const int64_t first = 1 + kRealsHeaderWords;
      if (compress_slots(data, first, slot_words(n), in.ni, in.nj, in.nbits, 0, &out->used_words)) {
        return true;
      }
      PackInput plain = in;
      plain.datyp = DataType::kPackedReal;
      return pack_data(plain, out);
    }
    case DataType::kUnsigned:
    case DataType::kSigned:
      compact_integer(field, nullptr, area, static_cast<int>(n), in.nbits, 0, in.stride,
                      in.datyp == DataType::kUnsigned ? 1 : 3);
      return true;
    case DataType::kCharacters: {
      // Characters in file order: the first goes to the top byte of word 0.
      const auto *bytes = static_cast<const unsigned char *>(in.field);
      zep::BitWriter out(area, words);
      for (int64_t i = 0; i < n; ++i) out.put(bytes[i], 8);
      out.finish();
      return true;
    }
    case DataType::kIeee: {
      int ni = in.ni;
      int njnk = in.nj * in.nk;
      int npak = -in.nbits;
      int spare = 0;
      int mode = 1;
      ieeepak_(static_cast<int32_t *>(field), reinterpret_cast<int32_t *>(area), &ni, &njnk, &npak,
               &spare, &mode);
      return true;
    }
    case DataType::kFloatPacker: pack_float_packer(in, n, area); return true;
    case DataType::kFloatPackerCompressed: {
      pack_float_packer(in, n, data.data() + 1);
      const int64_t first = 1 + kPackerHeaderWords;
      if (compress_slots(data, first, slot_words(n), in.ni, in.nj, in.nbits, 4 * kPackerHeaderWords,
                         &out->used_words)) {
        return true;
      }
      PackInput plain = in;
      plain.datyp = DataType::kFloatPacker;
      return pack_data(plain, out);
    }
    default: return false;
  }
}

std::optional<RangeError> image_words(const void *field, int datyp, int64_t n, int nbits,
                                      int64_t room, int64_t *count) {
  if (is_compressed(datyp)) {
    int32_t first = 0;
    std::memcpy(&first, field, 4);
    if (first < 0 || first > room) return RangeError{"field[0]", first, 0, room};
    *count = std::min(first + int64_t{1}, room);
    return std::nullopt;
  }
  int64_t bits = n * nbits;
  if (datyp == DataType::kPackedReal) bits += 120;
  if (datyp == DataType::kCharacters) bits = n * 8;
  *count = std::min((bits + 31) / 32, room);
  return std::nullopt;
}

}  // namespace zep::stdfile
