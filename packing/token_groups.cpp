// Word-group token loops (see token_groups.h). Each group is read as whole
// words shifted by the stream's bit offset, so that the loop body has no
// carried state and no branch: the compiler vectorises it. The loops are
// written once (always inlined) and compiled twice: for the baseline and,
// on x86, for AVX2, chosen once from what the processor has.
#include "packing/token_groups.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZEP_X86_DISPATCH 1
#endif

#define ZEP_ALWAYS_INLINE inline __attribute__((always_inline))

namespace zep::packing {

bool cpu_has_avx2() {
#if defined(ZEP_X86_DISPATCH)
  static const bool yes = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return yes;
#else
  return false;
#endif
}

namespace {

// Token to float: tokens go to double through a signed 32-bit conversion
// (the one the vector units have), exactly; full 32-bit tokens are moved
// into its range and back.
template <bool kFull>
struct ToFloat {
  double scale, min;
  ZEP_ALWAYS_INLINE float operator()(uint32_t t) const {
    const double x = kFull
                         ? static_cast<double>(static_cast<int32_t>(t ^ 0x80000000u)) + 2147483648.0
                         : static_cast<double>(static_cast<int32_t>(t));
    return static_cast<float>(x * scale + min);
  }
};

struct ToInteger {
  uint32_t base;
  ZEP_ALWAYS_INLINE uint32_t operator()(uint32_t t) const { return t + base; }
};

// Word k of the stream as it would be with the tokens starting at bit 0.
template <bool kAligned>
ZEP_ALWAYS_INLINE uint32_t shifted(const uint32_t *w, size_t k, int off) {
  if constexpr (kAligned) {
    return w[k];
  } else {
    return (w[k] << off) | (w[k + 1] >> (32 - off));
  }
}

template <int kWidth, bool kAligned, class F, class Out>
ZEP_ALWAYS_INLINE void convert(const uint32_t *w, int off, size_t groups, F f, Out *v) {
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
      Out *o = v + 8 * g;
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
      Out *o = v + 4 * g;
      o[0] = f(a >> 8);
      o[1] = f(((a & 0xFFu) << 16) | (b >> 16));
      o[2] = f(((b & 0xFFFFu) << 8) | (c >> 24));
      o[3] = f(c & 0xFFFFFFu);
    }
  }
}

template <int kWidth, class F, class Out>
ZEP_ALWAYS_INLINE void convert_at(const uint32_t *w, int off, size_t groups, F f, Out *v) {
  if (off == 0) {
    convert<kWidth, true>(w, off, groups, f, v);
  } else {
    convert<kWidth, false>(w, off, groups, f, v);
  }
}

// The float loops of every width, for one instruction set.
ZEP_ALWAYS_INLINE void floats_body(const uint32_t *w, int off, int width, size_t groups,
                                   double scale, double min, float *v) {
  switch (width) {
    case 8: convert_at<8>(w, off, groups, ToFloat<false>{scale, min}, v); break;
    case 12: convert_at<12>(w, off, groups, ToFloat<false>{scale, min}, v); break;
    case 16: convert_at<16>(w, off, groups, ToFloat<false>{scale, min}, v); break;
    case 24: convert_at<24>(w, off, groups, ToFloat<false>{scale, min}, v); break;
    default: convert_at<32>(w, off, groups, ToFloat<true>{scale, min}, v); break;
  }
}

ZEP_ALWAYS_INLINE void integers_body(const uint32_t *w, int off, int width, size_t groups,
                                     uint32_t base, uint32_t *v) {
  switch (width) {
    case 8: convert_at<8>(w, off, groups, ToInteger{base}, v); break;
    case 12: convert_at<12>(w, off, groups, ToInteger{base}, v); break;
    case 16: convert_at<16>(w, off, groups, ToInteger{base}, v); break;
    case 24: convert_at<24>(w, off, groups, ToInteger{base}, v); break;
    default: convert_at<32>(w, off, groups, ToInteger{base}, v); break;
  }
}

// Pairs of 16-bit tokens (y: the 32 bits of tokens 2k and 2k + 1).
ZEP_ALWAYS_INLINE void quantise_body(const float *v, size_t m, double min, double scale,
                                     uint32_t *y) {
  for (size_t k = 0; k < m; ++k) {
    const uint32_t hi =
        static_cast<uint32_t>(static_cast<int32_t>((static_cast<double>(v[2 * k]) - min) * scale));
    const uint32_t lo = static_cast<uint32_t>(
        static_cast<int32_t>((static_cast<double>(v[2 * k + 1]) - min) * scale));
    y[k] = (hi & 0xFFFFu) << 16 | (lo & 0xFFFFu);
  }
}

void floats_base(const uint32_t *w, int off, int width, size_t groups, double scale, double min,
                 float *v) {
  floats_body(w, off, width, groups, scale, min, v);
}

void integers_base(const uint32_t *w, int off, int width, size_t groups, uint32_t base,
                   uint32_t *v) {
  integers_body(w, off, width, groups, base, v);
}

void quantise_base(const float *v, size_t m, double min, double scale, uint32_t *y) {
  quantise_body(v, m, min, scale, y);
}

#if defined(ZEP_X86_DISPATCH)
__attribute__((target("avx2"))) void floats_avx2(const uint32_t *w, int off, int width,
                                                 size_t groups, double scale, double min,
                                                 float *v) {
  floats_body(w, off, width, groups, scale, min, v);
}

__attribute__((target("avx2"))) void integers_avx2(const uint32_t *w, int off, int width,
                                                   size_t groups, uint32_t base, uint32_t *v) {
  integers_body(w, off, width, groups, base, v);
}

__attribute__((target("avx2"))) void quantise_avx2(const float *v, size_t m, double min,
                                                   double scale, uint32_t *y) {
  quantise_body(v, m, min, scale, y);
}

// Eight values a step in two sets of lanes; minps and maxps keep their
// second operand unless the first is below (above) it, as the scalar loop.
__attribute__((target("avx2"))) size_t extremes_avx2(const float *values, size_t n, float *lo,
                                                     float *hi, bool *nan) {
  __m256 lo0 = _mm256_set1_ps(*lo), lo1 = lo0, hi0 = lo0, hi1 = lo0;
  __m256 bad = _mm256_setzero_ps();
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256 v0 = _mm256_loadu_ps(values + i);
    const __m256 v1 = _mm256_loadu_ps(values + i + 8);
    lo0 = _mm256_min_ps(v0, lo0);
    lo1 = _mm256_min_ps(v1, lo1);
    hi0 = _mm256_max_ps(v0, hi0);
    hi1 = _mm256_max_ps(v1, hi1);
    bad = _mm256_or_ps(bad, _mm256_or_ps(_mm256_cmp_ps(v0, v0, _CMP_UNORD_Q),
                                         _mm256_cmp_ps(v1, v1, _CMP_UNORD_Q)));
  }
  float l[16], h[16];
  _mm256_storeu_ps(l, lo0);
  _mm256_storeu_ps(l + 8, lo1);
  _mm256_storeu_ps(h, hi0);
  _mm256_storeu_ps(h + 8, hi1);
  for (int k = 0; k < 16; ++k) {
    *lo = l[k] < *lo ? l[k] : *lo;
    *hi = h[k] > *hi ? h[k] : *hi;
  }
  *nan = _mm256_movemask_ps(bad) != 0;
  return i;
}

size_t extremes_sse2(const float *values, size_t n, float *lo, float *hi, bool *nan) {
  __m128 lo0 = _mm_set1_ps(*lo), lo1 = lo0, hi0 = lo0, hi1 = lo0;
  __m128 bad = _mm_setzero_ps();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128 v0 = _mm_loadu_ps(values + i);
    const __m128 v1 = _mm_loadu_ps(values + i + 4);
    lo0 = _mm_min_ps(v0, lo0);
    lo1 = _mm_min_ps(v1, lo1);
    hi0 = _mm_max_ps(v0, hi0);
    hi1 = _mm_max_ps(v1, hi1);
    bad = _mm_or_ps(bad, _mm_or_ps(_mm_cmpunord_ps(v0, v0), _mm_cmpunord_ps(v1, v1)));
  }
  float l[8], h[8];
  _mm_storeu_ps(l, lo0);
  _mm_storeu_ps(l + 4, lo1);
  _mm_storeu_ps(h, hi0);
  _mm_storeu_ps(h + 4, hi1);
  for (int k = 0; k < 8; ++k) {
    *lo = l[k] < *lo ? l[k] : *lo;
    *hi = h[k] > *hi ? h[k] : *hi;
  }
  *nan = _mm_movemask_ps(bad) != 0;
  return i;
}
#endif

void convert_floats(const uint32_t *w, int off, int width, size_t groups, double scale, double min,
                    float *v) {
#if defined(ZEP_X86_DISPATCH)
  if (cpu_has_avx2()) return floats_avx2(w, off, width, groups, scale, min, v);
#endif
  floats_base(w, off, width, groups, scale, min, v);
}

void convert_integers(const uint32_t *w, int off, int width, size_t groups, uint32_t base,
                      uint32_t *v) {
#if defined(ZEP_X86_DISPATCH)
  if (cpu_has_avx2()) return integers_avx2(w, off, width, groups, base, v);
#endif
  integers_base(w, off, width, groups, base, v);
}

void quantise(const float *v, size_t m, double min, double scale, uint32_t *y) {
#if defined(ZEP_X86_DISPATCH)
  if (cpu_has_avx2()) return quantise_avx2(v, m, min, scale, y);
#endif
  quantise_base(v, m, min, scale, y);
}

bool valid_offset(int offset) { return offset >= 0 && offset <= 31; }

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

// With an offset, group g also reads the first word of group g + 1, which
// its own last token reaches into; so does the last whole group.
size_t tokens_to_floats(const uint32_t *words, int offset, int width, size_t count, double scale,
                        double min, float *values) {
  const size_t per = token_group(width);
  if (per == 0 || !valid_offset(offset)) return 0;
  const size_t groups = count / per;
  if (groups > 0) convert_floats(words, offset, width, groups, scale, min, values);
  return groups * per;
}

size_t tokens_to_integers(const uint32_t *words, int offset, int width, size_t count, uint32_t base,
                          uint32_t *values) {
  const size_t per = token_group(width);
  if (per == 0 || !valid_offset(offset)) return 0;
  const size_t groups = count / per;
  if (groups > 0) convert_integers(words, offset, width, groups, base, values);
  return groups * per;
}

bool float_extremes(const float *values, size_t n, float *lo, float *hi) {
  float a = values[0], b = values[0];
  bool nan = false;
  size_t i = 0;
#if defined(ZEP_X86_DISPATCH)
  i = cpu_has_avx2() ? extremes_avx2(values, n, &a, &b, &nan)
                     : extremes_sse2(values, n, &a, &b, &nan);
#endif
  for (; i < n; ++i) {
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
  if (!valid_offset(offset)) return 0;
  const size_t pairs = count / 2;
  if (pairs == 0) return 0;
  // The pairs a block at a time, then the words they make, each of two
  // neighbouring pairs.
  constexpr size_t kBlock = 1024;
  uint32_t y[kBlock];
  const int off = offset;
  uint32_t carry = 0;  // the pair before the block (off > 0)
  for (size_t first = 0; first < pairs; first += kBlock) {
    const size_t m = std::min(kBlock, pairs - first);
    quantise(values + 2 * first, m, min, scale, y);
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
