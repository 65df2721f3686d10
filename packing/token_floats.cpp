// Word-group token unpacking (see token_floats.h). Each group is read as
// whole words shifted by the stream's bit offset, so that the loop body has
// no carried state and no branch: the compiler vectorises it.
#include "packing/token_floats.h"

#include <algorithm>
#include <cstring>

namespace zep::packing {
namespace {

// Tokens are at most 32 bits: they go to double through a signed 32-bit
// conversion (the one the vector units have), exactly.
inline double token_value(uint32_t t) {
  return static_cast<double>(static_cast<int32_t>(t ^ 0x80000000u)) + 2147483648.0;
}

// The same for tokens below 2^31.
inline double small_token_value(uint32_t t) { return static_cast<double>(static_cast<int32_t>(t)); }

// Word k of the stream as it would be with the tokens starting at bit 0.
template <bool kAligned>
inline uint32_t shifted(const uint32_t *w, size_t k, int off) {
  if constexpr (kAligned) {
    return w[k];
  } else {
    return (w[k] << off) | (w[k + 1] >> (32 - off));
  }
}

template <int kWidth, bool kAligned>
void convert(const uint32_t *w, int off, size_t groups, double scale, double min, float *v) {
  auto f = [=](uint32_t t) {
    const double x = kWidth == 32 ? token_value(t) : small_token_value(t);
    return static_cast<float>(x * scale + min);
  };
  if constexpr (kWidth == 8) {
    for (size_t g = 0; g < groups; ++g) {
      const uint32_t y = shifted<kAligned>(w, g, off);
      v[4 * g] = f(y >> 24);
      v[4 * g + 1] = f((y >> 16) & 0xFFu);
      v[4 * g + 2] = f((y >> 8) & 0xFFu);
      v[4 * g + 3] = f(y & 0xFFu);
    }
  } else if constexpr (kWidth == 16) {
    for (size_t g = 0; g < groups; ++g) {
      const uint32_t y = shifted<kAligned>(w, g, off);
      v[2 * g] = f(y >> 16);
      v[2 * g + 1] = f(y & 0xFFFFu);
    }
  } else if constexpr (kWidth == 32) {
    for (size_t g = 0; g < groups; ++g) v[g] = f(shifted<kAligned>(w, g, off));
  } else if constexpr (kWidth == 12) {
    for (size_t g = 0; g < groups; ++g) {
      const uint32_t a = shifted<kAligned>(w, 3 * g, off);
      const uint32_t b = shifted<kAligned>(w, 3 * g + 1, off);
      const uint32_t c = shifted<kAligned>(w, 3 * g + 2, off);
      float *o = v + 8 * g;
      o[0] = f(a >> 20);
      o[1] = f((a >> 8) & 0xFFFu);
      o[2] = f(((a & 0xFFu) << 4) | (b >> 28));
      o[3] = f((b >> 16) & 0xFFFu);
      o[4] = f((b >> 4) & 0xFFFu);
      o[5] = f(((b & 0xFu) << 8) | (c >> 24));
      o[6] = f((c >> 12) & 0xFFFu);
      o[7] = f(c & 0xFFFu);
    }
  } else {  // 24
    for (size_t g = 0; g < groups; ++g) {
      const uint32_t a = shifted<kAligned>(w, 3 * g, off);
      const uint32_t b = shifted<kAligned>(w, 3 * g + 1, off);
      const uint32_t c = shifted<kAligned>(w, 3 * g + 2, off);
      float *o = v + 4 * g;
      o[0] = f(a >> 8);
      o[1] = f(((a & 0xFFu) << 16) | (b >> 16));
      o[2] = f(((b & 0xFFFFu) << 8) | (c >> 24));
      o[3] = f(c & 0xFFFFFFu);
    }
  }
}

template <int kWidth>
void convert_at(const uint32_t *w, int off, size_t groups, double scale, double min, float *v) {
  if (off == 0) {
    convert<kWidth, true>(w, off, groups, scale, min, v);
  } else {
    convert<kWidth, false>(w, off, groups, scale, min, v);
  }
}

}  // namespace

size_t token_group(int width) {
  switch (width) {
    case 8: return 4;
    case 12: return 8;
    case 16: return 2;
    case 24: return 4;
    case 32: return 1;
    default: return 0;
  }
}

size_t tokens_to_floats(const uint32_t *words, int offset, int width, size_t count, double scale,
                        double min, float *values) {
  const size_t per = token_group(width);
  if (per == 0 || offset < 0 || offset > 31) return 0;
  // With an offset, group g also reads the first word of group g + 1, which
  // its own last token reaches into; so does the last whole group.
  const size_t groups = count / per;
  switch (width) {
    case 8: convert_at<8>(words, offset, groups, scale, min, values); break;
    case 12: convert_at<12>(words, offset, groups, scale, min, values); break;
    case 16: convert_at<16>(words, offset, groups, scale, min, values); break;
    case 24: convert_at<24>(words, offset, groups, scale, min, values); break;
    default: convert_at<32>(words, offset, groups, scale, min, values); break;
  }
  return groups * per;
}

bool float_extremes(const float *values, size_t n, float *lo, float *hi) {
  float a = values[0], b = values[0];
  bool nan = false;
  for (size_t i = 0; i < n; ++i) {
    const float v = values[i];
    a = v < a ? v : a;
    b = v > b ? v : b;
    nan |= v != v;
  }
  *lo = a;
  *hi = b;
  return !nan;
}

size_t floats_to_tokens16(const float *values, size_t count, double min, double scale,
                          uint32_t *words, int offset) {
  if (offset < 0 || offset > 31) return 0;
  const size_t pairs = count / 2;
  if (pairs == 0) return 0;
  // Pairs of tokens (y: the 32 bits of tokens 2m and 2m + 1) a block at a
  // time, then the words they make, each of two neighbouring pairs.
  constexpr size_t kBlock = 1024;
  uint32_t y[kBlock];
  const int off = offset;
  uint32_t carry = 0;  // the pair before the block (off > 0)
  for (size_t first = 0; first < pairs; first += kBlock) {
    const size_t m = std::min(kBlock, pairs - first);
    const float *v = values + 2 * first;
    for (size_t k = 0; k < m; ++k) {
      const uint32_t hi = static_cast<uint32_t>(
          static_cast<int32_t>((static_cast<double>(v[2 * k]) - min) * scale));
      const uint32_t lo = static_cast<uint32_t>(
          static_cast<int32_t>((static_cast<double>(v[2 * k + 1]) - min) * scale));
      y[k] = (hi & 0xFFFFu) << 16 | (lo & 0xFFFFu);
    }
    uint32_t *w = words + first;
    if (off == 0) {
      std::memcpy(w, y, m * sizeof(uint32_t));
      continue;
    }
    const int back = 32 - off;
    w[0] = first == 0 ? (w[0] & ~((1u << back) - 1u)) | (y[0] >> off)
                      : (carry << back) | (y[0] >> off);
    for (size_t k = 1; k < m; ++k) w[k] = (y[k - 1] << back) | (y[k] >> off);
    carry = y[m - 1];
  }
  if (off > 0) {
    const int back = 32 - off;
    uint32_t &last = words[pairs];
    last = (carry << back) | (last & ((1u << back) - 1u));
  }
  return 2 * pairs;
}

}  // namespace zep::packing
