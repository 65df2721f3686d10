// Lossless compression: the method header, the dispatch between the two
// methods, the choice of method for a record, the process-wide level, and
// the C entries (layouts in compress.h).
#include "packing/compress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zep/compress.h"

namespace zep::packing {
namespace {

// Largest grid handled: 2 * ni * nj must fit the C entries' int result.
constexpr uint64_t kMaxPoints = uint64_t{1} << 30;

bool grid_ok(int ni, int nj) {
  return ni >= 1 && nj >= 1 && static_cast<uint64_t>(ni) * static_cast<uint64_t>(nj) <= kMaxPoints;
}

size_t points(int ni, int nj) { return static_cast<size_t>(ni) * static_cast<size_t>(nj); }

uint64_t blocks(int ni, int nj, int step) {
  return static_cast<uint64_t>((ni + step - 1) / step) *
         static_cast<uint64_t>((nj + step - 1) / step);
}

int sample_coarse(int n) { return ((n - 1) % 3 != 0 ? 1 : 0) + (n + 2) / 3; }

// Values i and i + 1 sit in word i / 2, the earlier in bits 31-16.
void unpack_pairs(const uint32_t *words, size_t n, uint16_t *values) {
  const size_t pairs = n / 2;
  for (size_t k = 0; k < pairs; ++k) {
    values[2 * k] = static_cast<uint16_t>(words[k] >> 16);
    values[2 * k + 1] = static_cast<uint16_t>(words[k]);
  }
  if (n & 1) values[n - 1] = static_cast<uint16_t>(words[pairs] >> 16);
}

void pack_pairs(const uint16_t *values, size_t n, uint32_t *words) {
  const size_t pairs = n / 2;
  for (size_t k = 0; k < pairs; ++k) {
    words[k] = (static_cast<uint32_t>(values[2 * k]) << 16) | values[2 * k + 1];
  }
  if (n & 1) words[pairs] = static_cast<uint32_t>(values[n - 1]) << 16;
}

}  // namespace

uint32_t ZipHeader::encode() const {
  return (static_cast<uint32_t>(type) & 0xF) | ((static_cast<uint32_t>(spare) & 0x7) << 4) |
         ((static_cast<uint32_t>(step) & 0x7) << 7) |
         ((static_cast<uint32_t>(nbits) & 0x1F) << 10) |
         ((static_cast<uint32_t>(code) & 0x7) << 15);
}

ZipHeader ZipHeader::decode(uint32_t word) {
  ZipHeader h;
  h.type = static_cast<int>(word & 0xF);
  h.spare = static_cast<int>((word >> 4) & 0x7);
  h.step = static_cast<int>((word >> 7) & 0x7);
  h.nbits = static_cast<int>((word >> 10) & 0x1F);
  h.code = static_cast<int>((word >> 15) & 0x7);
  return h;
}

ZipHeader ZipHeader::minimum(int nbits) {
  return ZipHeader{kMinimumType, kMinimumSpare, kMinimumStep, nbits, kMinimumCode};
}

ZipHeader ZipHeader::sample(int nbits) {
  return ZipHeader{kSampleType, kSampleSpare, kSampleStep, nbits, kSampleCode};
}

size_t zip_max_words(int ni, int nj, int type) {
  if (!grid_ok(ni, nj)) return 0;
  uint64_t bits = 32;  // the trailing zero bits
  if (type == kMinimumType) {
    // Per block: 4-bit width, a minimum, and at most 16 bits a value.
    bits += blocks(ni, nj, kMinimumStep) * 20 + points(ni, nj) * 16;
  } else if (type == kSampleType) {
    int si = ni, sj = nj;
    for (int level = 0; level < 3; ++level) {
      // Token width, a width per block, at most 32 bits a residual.
      bits += 3 + blocks(si, sj, kSampleStep) * 5 + points(si, sj) * 32;
      si = sample_coarse(si);
      sj = sample_coarse(sj);
    }
    bits += points(si, sj) * 16;
  } else {
    return 0;
  }
  return static_cast<size_t>(1 + (bits + 31) / 32);
}

PackStatus vktzip(const uint16_t *values, int ni, int nj, int type, int nbits, uint32_t *stream,
                  size_t stream_room, size_t *words_out) {
  *words_out = 0;
  if (!grid_ok(ni, nj)) return PackStatus::kBadGrid;
  if (nbits < 0 || nbits > 16) return PackStatus::kBadWidth;
  if (type != kMinimumType && type != kSampleType) return PackStatus::kUnknownMethod;
  if (stream_room < zip_max_words(ni, nj, type)) return PackStatus::kShortOutput;
  const bool minimum = type == kMinimumType;
  stream[0] = (minimum ? ZipHeader::minimum(nbits) : ZipHeader::sample(nbits)).encode();
  BitWriter out(stream + 1, stream_room - 1);
  const PackStatus st = minimum ? c_vktzip_minimum(values, ni, nj, nbits, out)
                                : c_vktzip_sample(values, ni, nj, nbits, out);
  if (st != PackStatus::kOk) return st;
  *words_out = 1 + out.words_written();
  return PackStatus::kOk;
}

PackStatus vktunzip(const uint32_t *stream, size_t stream_words, int ni, int nj, uint16_t *values,
                    size_t value_room) {
  if (!grid_ok(ni, nj)) return PackStatus::kBadGrid;
  if (value_room < points(ni, nj)) return PackStatus::kShortOutput;
  if (stream_words < 1) return PackStatus::kShortStream;
  const ZipHeader h = ZipHeader::decode(stream[0]);
  if (h.type != kMinimumType && h.type != kSampleType) return PackStatus::kUnknownMethod;
  if (h.step != (h.type == kMinimumType ? kMinimumStep : kSampleStep))
    return PackStatus::kWrongStep;
  if (h.nbits > 16) return PackStatus::kBadWidth;
  BitReader in(stream + 1, stream_words - 1);
  return h.type == kMinimumType ? c_vktunzip_minimum(in, ni, nj, h.nbits, values)
                                : c_vktunzip_sample(in, ni, nj, h.nbits, values);
}

int &compress_level() {
  static int level = -1;
  return level;
}

int decided_compress_level() {
  int &level = compress_level();
  if (level == -1) {
    char name[8];
    level = init_comp_settings(name);
  }
  return level;
}

PackStatus compress_packed(uint32_t *data, size_t data_room, int ni, int nj, int nbits, int level,
                           size_t *stream_words) {
  *stream_words = 0;
  if (!grid_ok(ni, nj)) return PackStatus::kBadGrid;
  const size_t n = points(ni, nj);
  if (data_room < (n + 1) / 2) return PackStatus::kShortOutput;
  std::vector<uint16_t> values(n);
  unpack_pairs(data, n, values.data());

  std::vector<uint32_t> best(zip_max_words(ni, nj, kMinimumType), 0);
  size_t best_words = 0;
  PackStatus st =
      vktzip(values.data(), ni, nj, kMinimumType, nbits, best.data(), best.size(), &best_words);
  if (st != PackStatus::kOk) return st;
  if (level != 0 && ni >= kSampleMinimumSide && nj >= kSampleMinimumSide) {
    std::vector<uint32_t> other(zip_max_words(ni, nj, kSampleType), 0);
    size_t other_words = 0;
    st =
        vktzip(values.data(), ni, nj, kSampleType, nbits, other.data(), other.size(), &other_words);
    if (st != PackStatus::kOk) return st;
    if (other_words <= best_words) {
      best.swap(other);
      best_words = other_words;
    }
  }
  *stream_words = best_words;
  if (best_words > data_room) return PackStatus::kShortOutput;
  std::copy(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(best_words), data);
  return PackStatus::kOk;
}

PackStatus expand_packed(uint32_t *data, size_t stream_words, size_t data_room, int ni, int nj) {
  if (!grid_ok(ni, nj)) return PackStatus::kBadGrid;
  const size_t n = points(ni, nj);
  if (data_room < (n + 1) / 2) return PackStatus::kShortOutput;
  std::vector<uint16_t> values(n + 1, 0);
  const PackStatus st = vktunzip(data, stream_words, ni, nj, values.data(), n);
  if (st != PackStatus::kOk) return st;
  pack_pairs(values.data(), n, data);
  return PackStatus::kOk;
}

}  // namespace zep::packing

using zep::packing::PackStatus;

extern "C" int init_comp_settings(char *level_name) {
  if (std::getenv("OBRV_COMPRESS") != nullptr) return 1;
  if (level_name) std::strcpy(level_name, "fast");
  return 0;
}

extern "C" int c_obrv_compress_setlevel(int level) {
  if (level != 0 && level != 1) {
    std::fprintf(stderr, "Wrong compression level : %d\n", level);
    std::fprintf(stderr, "Setting level to fast : %d\n", level);
    level = 0;
  }
  zep::packing::compress_level() = level;
  return level;
}

extern "C" int c_obrv_compress_getlevel(void) { return zep::packing::compress_level(); }

extern "C" int c_vktzip(uint32_t *stream, int *length, uint16_t *values, int ni, int nj, int type,
                        int spare, int step, int nbits) {
  if (!stream || !length || !values) {
    std::printf("c_vktzip: ERROR stream, length or values is NULL\n");
    return -1;
  }
  if ((type == zep::packing::kMinimumType && step != zep::packing::kMinimumStep) ||
      (type == zep::packing::kSampleType && step != zep::packing::kSampleStep)) {
    return -1;
  }
  const size_t room = zep::packing::zip_max_words(ni, nj, type);
  size_t words = 0;
  if (zep::packing::vktzip(values, ni, nj, type, nbits, stream, room, &words) != PackStatus::kOk) {
    return -1;
  }
  stream[0] = (stream[0] & ~(0x7u << 4)) | ((static_cast<uint32_t>(spare) & 0x7) << 4);
  *length = static_cast<int>(zep::packing::zip_length_code(words));
  return 0;
}

extern "C" int c_vktunzip(uint16_t *values, uint32_t *stream, int ni, int nj) {
  if (!stream || !values) {
    std::printf("c_vktunzip: ERROR stream or values is NULL\n");
    return -1;
  }
  const zep::packing::ZipHeader h = zep::packing::ZipHeader::decode(stream[0]);
  const size_t words = zep::packing::zip_max_words(ni, nj, h.type);
  if (words == 0) return -1;
  const size_t n = static_cast<size_t>(ni) * static_cast<size_t>(nj);
  return zep::packing::vktunzip(stream, words, ni, nj, values, n) == PackStatus::kOk ? 0 : -1;
}

extern "C" int obrv_compress(void *data, int ni, int nj, int nk, int nbits, int mode) {
  if (mode != 1 && mode != 2) return 0;
  if (nbits >= 17 || ni == 1 || nj == 1) {
    return static_cast<int>(static_cast<int64_t>(ni) * nj * nbits * nk / 8 + 1);
  }
  if (nbits < 0 || !data) return 0;
  const int level = zep::packing::decided_compress_level();
  uint32_t *words = static_cast<uint32_t *>(data);
  const size_t n = static_cast<size_t>(ni > 0 ? ni : 0) * static_cast<size_t>(nj > 0 ? nj : 0);
  if (mode == 1) {
    const size_t room = std::max(zep::packing::zip_max_words(ni, nj, zep::packing::kMinimumType),
                                 zep::packing::zip_max_words(ni, nj, zep::packing::kSampleType));
    size_t stream_words = 0;
    if (zep::packing::compress_packed(words, room, ni, nj, nbits, level, &stream_words) !=
        PackStatus::kOk) {
      return 0;
    }
    return static_cast<int>(zep::packing::zip_length_code(stream_words));
  }
  const zep::packing::ZipHeader h = zep::packing::ZipHeader::decode(words[0]);
  const size_t stream_words = zep::packing::zip_max_words(ni, nj, h.type);
  const size_t room = std::max(stream_words, (n + 1) / 2);
  if (zep::packing::expand_packed(words, stream_words, room, ni, nj) != PackStatus::kOk) return -1;
  return static_cast<int>(2 * n);
}
