// 16-bit packed reals in file byte order (see float_pack16.h). The tokens of
// the contiguous form start 15 bytes into the area, one big-endian 16-bit
// token after the other, so the quantisation stores each token's two bytes
// where the file has them. The loop runs in an AVX2 build when the processor
// has it, else in the baseline build; both give the tokens of the general
// packer bit for bit (no fused operations, truncation through a signed
// 32-bit conversion of values the caller's scale keeps inside 16 bits).
#include "packing/float_pack16.h"

#include <cstring>

#include "common/big_endian.h"
#include "packing/token_groups.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZEP_X86_DISPATCH 1
#endif

namespace zep::packing {
namespace {

// First byte of token 0: after the 24 header bits of word 3.
constexpr size_t kFirstTokenByte = 15;

inline uint32_t token_of(float v, double min, double scale) {
  return static_cast<uint32_t>(static_cast<int32_t>((static_cast<double>(v) - min) * scale));
}

void quantise_be_base(const float *v, size_t n, double min, double scale, uint8_t *out) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t t = token_of(v[i], min, scale);
    out[2 * i] = static_cast<uint8_t>(t >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(t);
  }
}

#if defined(ZEP_X86_DISPATCH)
// Eight tokens of v[0 .. 8) as big-endian 16-bit values: widened to double,
// less min, times scale, truncated to 32 bits, narrowed (the tokens fit 16
// bits, so the saturation of the narrowing never acts) and byte-swapped.
__attribute__((target("avx2"))) inline __m128i tokens8_avx2(const float *v, __m256d min,
                                                            __m256d scale) {
  const __m256 f = _mm256_loadu_ps(v);
  const __m256d a =
      _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(f)), min), scale);
  const __m256d b =
      _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(f, 1)), min), scale);
  const __m128i t = _mm_packus_epi32(_mm256_cvttpd_epi32(a), _mm256_cvttpd_epi32(b));
  return _mm_or_si128(_mm_slli_epi16(t, 8), _mm_srli_epi16(t, 8));
}

__attribute__((target("avx2"))) void quantise_be_avx2(const float *v, size_t n, double min,
                                                      double scale, uint8_t *out) {
  const __m256d vmin = _mm256_set1_pd(min);
  const __m256d vscale = _mm256_set1_pd(scale);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i t =
        _mm256_set_m128i(tokens8_avx2(v + i + 8, vmin, vscale), tokens8_avx2(v + i, vmin, vscale));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 2 * i), t);
  }
  quantise_be_base(v + i, n - i, min, scale, out + 2 * i);
}
#endif

void quantise_be(const float *v, size_t n, double min, double scale, uint8_t *out) {
#if defined(ZEP_X86_DISPATCH)
  if (cpu_has_avx2()) return quantise_be_avx2(v, n, min, scale, out);
#endif
  quantise_be_base(v, n, min, scale, out);
}

}  // namespace

size_t packed16_bytes(size_t count) { return 4 * ((120 + 16 * count + 31) / 32); }

PackStatus pack_floats16_be(const float *values, size_t count, uint8_t *out, size_t out_bytes,
                            FloatRange *range) {
  if (count == 0) return PackStatus::kNothingToDo;
  if (count > (SIZE_MAX - 151) / 16 || out_bytes < packed16_bytes(count))
    return PackStatus::kShortStream;
  float lo = 0.0f, hi = 0.0f;
  if (!float_extremes(values, count, &lo, &hi)) return PackStatus::kBadArgument;
  const double min = lo, max = hi;
  if (range) {
    range->min = min;
    range->max = max;
  }
  if (max > 1e38 || min < -1e38) return PackStatus::kValueTooLarge;

  uint32_t header[4];
  double scale = 0.0;
  float_header(min, max, count, 16, true, false, header, &scale);
  // Word 3's low byte is the first token's high byte: the header goes first.
  for (int k = 0; k < 4; ++k) store_be32(out + 4 * k, header[k]);
  quantise_be(values, count, min, scale, out + kFirstTokenByte);
  const size_t end = kFirstTokenByte + 2 * count;
  std::memset(out + end, 0, out_bytes - end);
  return PackStatus::kOk;
}

}  // namespace zep::packing
