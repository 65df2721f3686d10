// Integer packing (header layout in compact_integer.h) and the C entry
// compact_integer.
#include "packing/compact_integer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "packing/token_groups.h"
#include "zep/packing.h"

namespace zep::packing {
namespace {

// Minimum and maximum in scan order: a value below the minimum replaces it,
// else a value above the maximum replaces that.
template <class T>
void scan_extremes(const uint32_t *values, size_t count, size_t stride, T *min, T *max) {
  T lo = static_cast<T>(values[0]);
  T hi = lo;
  for (size_t i = 1; i < count; ++i) {
    const T v = static_cast<T>(values[i * stride]);
    if (v < lo) {
      lo = v;
    } else if (v > hi) {
      hi = v;
    }
  }
  *min = lo;
  *max = hi;
}

}  // namespace

PackStatus decode_integer_header(const uint32_t header[4], IntegerHeader *out) {
  if ((header[0] >> 24) != kIntegerHeaderMarker) return PackStatus::kBadHeader;
  out->nbits = static_cast<int>(header[0] & 0x3F);
  out->shift = static_cast<int>((header[0] >> 6) & 0x3F);
  out->count = header[1];
  out->min = header[2];
  out->max = header[3];
  return PackStatus::kOk;
}

PackStatus unpack_integers(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                           uint64_t offset, int nbits, size_t count, bool is_signed,
                           uint32_t *values, size_t values_len, size_t stride, int *width_used,
                           size_t *count_out) {
  if (stride < 1) return PackStatus::kBadArgument;
  int width = nbits;
  int shift = 0;
  uint32_t base = 0;  // added to every token (minimum), or subtracted (bias)
  size_t n = count;
  if (header) {
    IntegerHeader h;
    if (decode_integer_header(header, &h) != PackStatus::kOk || h.shift > 31 || h.count > count) {
      return PackStatus::kBadHeader;
    }
    width = h.nbits;
    shift = h.shift;
    base = h.min;
    n = h.count;
  } else {
    if (nbits == 0) return PackStatus::kNothingToDo;
    if (nbits < 0 || nbits > 64) return PackStatus::kBadArgument;
    if (is_signed && nbits <= 32) base = 0u - (1u << (nbits - 1));  // adding it subtracts the bias
  }
  if (n == 0) {
    if (width_used) *width_used = width;
    if (count_out) *count_out = 0;
    return PackStatus::kOk;
  }
  if (!strided_fits(n, stride, values_len)) return PackStatus::kShortOutput;
  if (!token_span_fits(offset, n, width, stream_words)) return PackStatus::kShortStream;

  if (width == 0) {
    for (size_t i = 0; i < n; ++i) values[i * stride] = base;
  } else if (shift == 0) {
    // The common widths a word group at a time, the rest token by token.
    const size_t done =
        stride == 1 ? tokens_to_integers(stream + (offset >> 5), static_cast<int>(offset & 31),
                                         width, n, base, values)
                    : 0;
    BitReader::read_tokens(stream, stream_words, offset + static_cast<uint64_t>(done) * width,
                           width, WideSlot::kHigh32, n - done,
                           [=](size_t i, uint32_t t) { values[(done + i) * stride] = t + base; });
  } else {
    BitReader::read_tokens(stream, stream_words, offset, width, WideSlot::kHigh32, n,
                           [=](size_t i, uint32_t t) { values[i * stride] = (t << shift) + base; });
  }
  if (width_used) *width_used = width;
  if (count_out) *count_out = n;
  return PackStatus::kOk;
}

PackStatus pack_integers(const uint32_t *values, size_t values_len, size_t count, size_t stride,
                         int nbits, bool is_signed, uint32_t *header, uint32_t *stream,
                         size_t stream_words, uint64_t offset, int *width_used) {
  if (stride < 1 || nbits == 0 || nbits < -1 || nbits > 32) return PackStatus::kBadArgument;
  if (count == 0) return PackStatus::kNothingToDo;
  if (!strided_fits(count, stride, values_len)) return PackStatus::kShortOutput;

  int width = nbits;
  int shift = 0;
  uint32_t min = 0, max = 0;
  uint32_t bias = 0;
  if (header) {
    if (is_signed) {
      int32_t lo, hi;
      scan_extremes<int32_t>(values, count, stride, &lo, &hi);
      min = static_cast<uint32_t>(lo);
      max = static_cast<uint32_t>(hi);
    } else {
      scan_extremes<uint32_t>(values, count, stride, &min, &max);
    }
    const int needed = bit_length(max - min);
    if (width == -1) {
      width = needed;
    } else if (needed > width) {
      shift = needed - width;
    }
  } else {
    if (width == -1) {
      if (is_signed) {
        int32_t lo, hi;
        scan_extremes<int32_t>(values, count, stride, &lo, &hi);
        const int64_t mag = std::max<int64_t>(hi, -static_cast<int64_t>(lo));
        // 2^31 would need 33 bits by this rule; 32 bits with a bias of 2^31
        // already hold every 32-bit value.
        width = std::min(32, 1 + bit_length(static_cast<uint32_t>(mag)));
      } else {
        uint32_t all = 0;
        for (size_t i = 0; i < count; ++i) all |= values[i * stride];
        width = bit_length(all);
      }
    }
    if (width == 0) {
      if (width_used) *width_used = 0;
      return PackStatus::kOk;
    }
    if (is_signed) bias = 1u << (width - 1);
  }
  if (!token_span_fits(offset, count, width, stream_words)) return PackStatus::kShortStream;

  if (header) {
    header[0] = (kIntegerHeaderMarker << 24) | (static_cast<uint32_t>(shift) << 6) |
                static_cast<uint32_t>(width);
    header[1] = static_cast<uint32_t>(count);
    header[2] = min;
    header[3] = max;
  }
  if (width > 0) {
    if (header) {
      BitWriter::write_tokens(stream, stream_words, offset, width, count,
                              [=](size_t i) { return (values[i * stride] - min) >> shift; });
    } else {
      BitWriter::write_tokens(stream, stream_words, offset, width, count,
                              [=](size_t i) { return values[i * stride] + bias; });
    }
  }
  if (width_used) *width_used = width;
  return PackStatus::kOk;
}

}  // namespace zep::packing

extern "C" int compact_integer(void *values, uint32_t *header, uint32_t *stream, int count,
                               int nbits, int offset, int stride, int opCode) {
  if (nbits == 0) return 0;
  if (opCode < 1 || opCode > 4) {
    std::printf("\n opCode:%d is not defined \n", opCode);
    return 0;
  }
  if (!values || !stream) {
    std::printf("\n compact_integer: ERROR values or stream is NULL \n");
    return 0;
  }
  if (count <= 0 || offset < 0 || stride < 1) return 0;
  const size_t n = static_cast<size_t>(count);
  const size_t step = static_cast<size_t>(stride);
  const size_t values_len = (n - 1) * step + 1;
  const uint64_t off = static_cast<uint64_t>(offset);
  auto *words = static_cast<uint32_t *>(values);
  int width = 0;
  zep::packing::PackStatus st;
  if (opCode == 1 || opCode == 3) {
    // The caller vouches for room of `count` tokens of the final width: at
    // most 32 bits each.
    const int room_width = nbits > 0 ? nbits : 32;
    const size_t stream_words = static_cast<size_t>(zep::packing::token_words(off, n, room_width));
    st = zep::packing::pack_integers(words, values_len, n, step, nbits, opCode == 3, header, stream,
                                     stream_words, off, &width);
  } else {
    int room_width = nbits;
    if (header) room_width = static_cast<int>(header[0] & 0x3F);
    const size_t stream_words = static_cast<size_t>(zep::packing::token_words(off, n, room_width));
    st = zep::packing::unpack_integers(header, stream, stream_words, off, nbits, n, opCode == 4,
                                       words, values_len, step, &width, nullptr);
  }
  return st == zep::packing::PackStatus::kOk ? width : 0;
}
