// The float packer: extremes, quantisation and decoding (see float_packer.h
// for the layout), and the C entries that forward to the bounded ones.
#include "packing/float_packer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "zep/compress.h"
#include "common/bit_cast.h"

namespace zep::packing {
namespace {

int exponent_field(uint32_t bits) { return static_cast<int>((bits >> 23) & 0xFF); }

// Scaled integer of the value with IEEE bits `bits` at exponent E:
// (mantissa + 2^23) >> min(E - e, 31), negated for a negative value. A value
// whose exponent exceeds E (only a NaN or infinity can) is not shifted.
int64_t scale_to(uint32_t bits, int exponent) {
  int d = exponent - exponent_field(bits);
  if (d < 0) d = 0;
  if (d > 31) d = 31;
  const int64_t q = static_cast<int64_t>((bits & 0x7FFFFFu) | 0x800000u) >> d;
  return (bits & 0x80000000u) ? -q : q;
}

// The extremes are scaled the same way, except that an exponent field of 0
// (zero or subnormal) scales to 0.
int64_t scale_extreme(uint32_t bits, int exponent) {
  return exponent_field(bits) == 0 ? 0 : scale_to(bits, exponent);
}

}  // namespace

FloatPackerHeader FloatPackerHeader::decode(const uint32_t header[kFloatPackerHeaderWords]) {
  FloatPackerHeader h;
  h.signature = header[0] >> 20;
  h.nbits = static_cast<int>((header[0] >> 16) & 0xF) + 1;
  h.exponent = static_cast<int>((header[0] >> 8) & 0xFF);
  h.shift = static_cast<int>(header[0] & 0xFF);
  h.minimum = static_cast<int32_t>(header[1]);
  h.count = static_cast<int32_t>(header[2]);
  return h;
}

float float_packer_compose(int64_t g, int exponent) {
  const uint64_t mag = g < 0 ? static_cast<uint64_t>(-g) : static_cast<uint64_t>(g);
  if (mag < (1u << 24) && exponent < 255) {
    // g * 2^(E - 150) is exact here (a multiple of at least 2^-149 below
    // 2^(E - 126)); the double product rounds nothing.
    return static_cast<float>(static_cast<double>(g) * std::ldexp(1.0, exponent - 150));
  }
  if (mag < (1u << 24)) {
    // Exponent field 255: build the patterns bit by bit as the format says.
    const uint32_t sign = g < 0 ? 0x80000000u : 0u;
    const uint32_t e = static_cast<uint32_t>(exponent) << 23;
    float v = zep::float_from_bits(sign | e | static_cast<uint32_t>(mag & 0x7FFFFF));
    if (!(mag & 0x800000)) v -= zep::float_from_bits(sign | e);
    return v;
  }
  return static_cast<float>(std::ldexp(static_cast<double>(g), exponent - 150));
}

PackStatus float_pack(const float *values, size_t count, int nbits,
                      uint32_t header[kFloatPackerHeaderWords], uint32_t *stream,
                      size_t stream_words) {
  if (nbits < 1 || nbits > 16) return PackStatus::kBadWidth;
  if (count > 0x7FFFFFFFu) return PackStatus::kBadCount;
  if (stream_words < float_packer_stream_words(count)) return PackStatus::kShortStream;
  header[2] = static_cast<uint32_t>(count);
  header[0] |= (kFloatPackerSignature << 20) | (static_cast<uint32_t>(nbits - 1) << 16);
  if (count == 0) {
    header[1] = 0;
    return PackStatus::kOk;
  }

  float lo = values[0], hi = values[0];
  for (size_t i = 1; i < count; ++i) {
    const float v = values[i];
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  const uint32_t lo_bits = zep::float_bits(lo), hi_bits = zep::float_bits(hi);
  const int exponent = std::max(exponent_field(lo_bits), exponent_field(hi_bits));
  const int64_t minimum = scale_extreme(lo_bits, exponent);
  int64_t range = scale_extreme(hi_bits, exponent) - minimum;
  const int64_t top = (int64_t{1} << nbits) - 1;
  int shift = 0;
  while (range > top) {
    range >>= 1;
    ++shift;
  }
  const int64_t round = shift > 0 ? int64_t{1} << (shift - 1) : 0;
  header[1] = static_cast<uint32_t>(static_cast<int32_t>(minimum));
  header[0] |= (static_cast<uint32_t>(exponent) << 8) | static_cast<uint32_t>(shift);

  auto slot = [&](float v) -> uint32_t {
    int64_t s = (scale_to(zep::float_bits(v), exponent) - minimum + round) >> shift;
    if (s > top) s = top;
    if (s < 0) s = 0;
    return static_cast<uint32_t>(s);
  };
  const size_t pairs = count / 2;
  for (size_t k = 0; k < pairs; ++k) {
    stream[k] = (slot(values[2 * k]) << 16) | slot(values[2 * k + 1]);
  }
  if (count & 1) stream[pairs] = slot(values[count - 1]) << 16;
  return PackStatus::kOk;
}

PackStatus float_unpack(const uint32_t header[kFloatPackerHeaderWords], const uint32_t *stream,
                        size_t stream_words, size_t count, float *out, size_t out_room,
                        int *nbits_out) {
  const FloatPackerHeader h = FloatPackerHeader::decode(header);
  if (nbits_out) *nbits_out = h.nbits;
  if (h.signature != kFloatPackerSignature) return PackStatus::kBadSignature;
  if (h.count < 0 || static_cast<uint64_t>(h.count) != count) {
    return PackStatus::kCountMismatch;
  }
  if (out_room < count) return PackStatus::kShortOutput;
  if (h.exponent == 0) {
    for (size_t i = 0; i < count; ++i) out[i] = 0.0f;
    return PackStatus::kOk;
  }
  if (stream_words < float_packer_stream_words(count)) return PackStatus::kShortStream;

  const int shift = h.shift & 31;
  const int64_t minimum = h.minimum;
  const int exponent = h.exponent;
  // A slot is below 2^16, so g = minimum + f * 2^shift fits 48 bits. When
  // |g| < 2^24 the value is one exact multiplication; otherwise (a top slot
  // rounded up, or a damaged header) it goes through the general composer.
  const double scale = std::ldexp(1.0, exponent - 150);
  const int64_t limit = int64_t{1} << 24;
  auto value = [&](uint32_t f) -> float {
    const int64_t g = minimum + (static_cast<int64_t>(f) << shift);
    if (g < limit && g > -limit && exponent < 255) {
      return static_cast<float>(static_cast<double>(g) * scale);
    }
    return float_packer_compose(g, exponent);
  };
  const size_t pairs = count / 2;
  for (size_t k = 0; k < pairs; ++k) {
    const uint32_t w = stream[k];
    out[2 * k] = value(w >> 16);
    out[2 * k + 1] = value(w & 0xFFFF);
  }
  if (count & 1) out[count - 1] = value(stream[pairs] >> 16);
  return PackStatus::kOk;
}

}  // namespace zep::packing

using zep::packing::PackStatus;

namespace zep::packing {
namespace {

const uint32_t *words(const int32_t *p) { return reinterpret_cast<const uint32_t *>(p); }

}  // namespace
}  // namespace zep::packing

using namespace zep::packing;

extern "C" int c_float_packer(float *values, int nbits, int32_t *header, int32_t *stream,
                              int count) {
  if (nbits < 1 || nbits > 16) {
    std::printf("float_unpacker: ERROR nbits must be > 0 and <= 16 ,nbits = %d\n", nbits);
    return -1;
  }
  if (count < 0) return -1;
  if (!header || (count > 0 && (!values || !stream))) {
    std::printf("float_packer: ERROR values, header or stream is NULL\n");
    return -1;
  }
  const size_t n = static_cast<size_t>(count);
  const PackStatus st = zep::packing::float_pack(
      values, n, nbits, reinterpret_cast<uint32_t *>(header), reinterpret_cast<uint32_t *>(stream),
      zep::packing::float_packer_stream_words(n));
  return st == PackStatus::kOk ? 0 : -1;
}

extern "C" int float_unpacker_1(float *values, int32_t *header, int32_t *stream, int count) {
  if (!header || (count > 0 && (!values || !stream))) {
    std::printf("float_unpacker_1: ERROR values, header or stream is NULL\n");
    return -1;
  }
  if (count < 0 || header[2] != count) {
    std::printf("float_unpacker_1: ERROR inconsistent number of points\n");
    return -1;
  }
  const size_t n = static_cast<size_t>(count);
  const PackStatus st =
      zep::packing::float_unpack(words(header), words(stream),
                                 zep::packing::float_packer_stream_words(n), n, values, n, nullptr);
  return st == PackStatus::kOk ? 0 : -1;
}

extern "C" int c_float_unpacker(float *values, int32_t *header, int32_t *stream, int count,
                                int *nbits) {
  if (!header || (count > 0 && (!values || !stream))) {
    std::printf("float_unpacker: ERROR values, header or stream is NULL\n");
    return -1;
  }
  const zep::packing::FloatPackerHeader h = zep::packing::FloatPackerHeader::decode(words(header));
  if (nbits) *nbits = h.nbits;
  if (h.signature != zep::packing::kFloatPackerSignature) {
    std::printf("float_unpacker: ERROR invalid header \n");
    return -1;
  }
  if (count != h.count) {
    std::printf("float_unpacker: ERROR inconsistent number of points (header/request mismatch)\n");
    return -1;
  }
  return float_unpacker_1(values, header, stream, count);
}

extern "C" void c_float_packer_params(int *header_bytes, int *stream_bytes, int *spare1,
                                      int *spare2, int count) {
  *header_bytes = 4 * zep::packing::kFloatPackerHeaderWords;
  *stream_bytes = count > 0 ? 4 * ((count / 2) + (count & 1)) : 0;
  *spare1 = 0;
  *spare2 = 0;
}
