// Fixed-width float packing (header layout in compact_float.h) and the C
// entries compact_float, compact_double and f_pow_.
#include "packing/compact_float.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "packing/token_groups.h"
#include "zep/packing.h"
#include "common/bit_cast.h"
#include "common/fatal.h"

namespace zep::packing {
namespace {

// The powers-of-two table, 2^0 .. 2^64, built on first use.
const std::array<double, 65> &powers_of_two() {
  static const std::array<double, 65> table = [] {
    std::array<double, 65> t{};
    double p = 1.0;
    for (double &v : t) {
      v = p;
      p *= 2.0;
    }
    return t;
  }();
  return table;
}

// The factor applied to every non-zero token on unpacking: 1.0000000000001,
// exactly the double of bits 0x3FF00000000001C2.
const double kUnpackFactor = zep::double_from_bits(0x3FF00000000001C2ull);

// trunc(x) as an unsigned token; NaN and negatives give 0, values beyond 32
// bits saturate.
uint32_t to_token(double x) {
  if (!(x > 0.0)) return 0;
  if (x >= 4294967295.0) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(x);
}

uint32_t missing_token(int nbits) { return nbits >= 32 ? 0xFFFFFFFFu : (1u << nbits) - 1u; }

// Values and missing markers are compared as the element type; the double
// packer's marker is the caller's value rounded to single precision.
template <class T>
T missing_marker(T missing) {
  return static_cast<T>(static_cast<float>(missing));
}

// The checks an unpacking of `count` values makes before it writes anything
// (see unpack_floats); fills *h on kOk.
PackStatus check_unpack(const uint32_t *header, size_t stream_words, uint64_t offset, int nbits_arg,
                        size_t count, size_t values_len, size_t stride, bool has_missing,
                        FloatHeader *h) {
  if (nbits_arg < 0) return PackStatus::kBadArgument;
  const TokenWidth w = split_nbits(nbits_arg);
  if (w.significant == 0 || (w.significant == 1 && has_missing)) return PackStatus::kNothingToDo;
  if (stride < 1 || w.stored > 64) return PackStatus::kBadArgument;
  if (count == 0) return PackStatus::kNothingToDo;
  if (decode_float_header(header, h) != PackStatus::kOk) return PackStatus::kBadHeader;
  if (!h->contiguous() && h->count != count) return PackStatus::kBadHeader;
  if (h->nbits > w.stored) return PackStatus::kBadHeader;
  if (!strided_fits(count, stride, values_len)) return PackStatus::kShortOutput;
  if (!token_span_fits(offset, count, w.stored, stream_words)) return PackStatus::kShortStream;
  return PackStatus::kOk;
}

// Values first .. first + count - 1 of a stream that check_unpack accepted,
// into values[i * stride]. Each value depends on its token alone, so any
// range gives the bits the whole stream gives.
template <class T>
void unpack_checked(const FloatHeader &h, const uint32_t *stream, size_t stream_words,
                    uint64_t offset, int nbits_arg, size_t first, size_t count, T *values,
                    size_t stride, bool has_missing, T missing) {
  const TokenWidth w = split_nbits(nbits_arg);
  offset += static_cast<uint64_t>(first) * static_cast<uint64_t>(w.stored);
  const uint32_t missing_tok = missing_token(h.nbits);
  const WideSlot mode = h.nbits > 32 ? WideSlot::kHigh32 : WideSlot::kLow32;
  const double step = pow2(h.step_exponent);
  const double min = static_cast<double>(h.min);
  const T min_value = static_cast<T>(min);
  if (has_missing) {
    const T marker = missing_marker(missing);
    BitReader::read_tokens(
        stream, stream_words, offset, w.stored, mode, count, [=](size_t i, uint32_t t) {
          T *out = values + i * stride;
          if (t == missing_tok) {
            *out = marker;
          } else if (t == 0) {
            *out = min_value;
          } else {
            *out = static_cast<T>(static_cast<double>(t) * step * kUnpackFactor + min);
          }
        });
    return;
  }
  // The common widths in bulk: t * step * factor is t * (step * factor)
  // when both products are exact and normal, and a zero token gives min
  // itself unless min is -0.
  size_t done = 0;
  const double scale = step * kUnpackFactor;
  if (std::is_same_v<T, float> && stride == 1 && w.stored == w.significant && std::isnormal(step) &&
      std::isnormal(scale) && step < 0x1p900 && std::isfinite(min) &&
      !(min == 0.0 && std::signbit(min))) {
    const uint64_t word = offset >> 5;
    done = tokens_to_floats(stream + word, static_cast<int>(offset & 31), w.stored, count, scale,
                            min, reinterpret_cast<float *>(values));
  }
  if (done == count) return;
  const uint64_t rest = offset + static_cast<uint64_t>(done) * static_cast<uint64_t>(w.stored);
  values += done * stride;
  BitReader::read_tokens(
      stream, stream_words, rest, w.stored, mode, count - done, [=](size_t i, uint32_t t) {
        values[i * stride] =
            t == 0 ? min_value
                   : static_cast<T>(static_cast<double>(t) * step * kUnpackFactor + min);
      });
}

template <class T>
PackStatus unpack_impl(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                       uint64_t offset, int nbits_arg, size_t count, T *values, size_t values_len,
                       size_t stride, bool has_missing, T missing) {
  FloatHeader h;
  const PackStatus st = check_unpack(header, stream_words, offset, nbits_arg, count, values_len,
                                     stride, has_missing, &h);
  if (st != PackStatus::kOk) return st;
  unpack_checked(h, stream, stream_words, offset, nbits_arg, 0, count, values, stride, has_missing,
                 missing);
  return PackStatus::kOk;
}

template <class T>
PackStatus pack_impl(const T *values, size_t values_len, size_t count, size_t stride, int nbits_arg,
                     bool contiguous, uint32_t *header, uint32_t *stream, size_t stream_words,
                     uint64_t offset, bool has_missing, T missing, FloatRange *range) {
  if (nbits_arg < 0) return PackStatus::kBadArgument;
  const TokenWidth w = split_nbits(nbits_arg);
  const int nbits = w.significant;
  if (nbits == 0 || (nbits == 1 && has_missing)) return PackStatus::kNothingToDo;
  if (nbits > 32 || w.stored > 64 || w.stored < nbits || stride < 1) {
    return PackStatus::kBadArgument;
  }
  if (count == 0) return PackStatus::kNothingToDo;
  if (!contiguous && count > kMaxSeparateCount) return PackStatus::kCountOverflow;
  if (!strided_fits(count, stride, values_len)) return PackStatus::kShortOutput;
  if (!token_span_fits(offset, count, w.stored, stream_words)) return PackStatus::kShortStream;

  const uint32_t missing_tok = missing_token(nbits);
  const T marker = missing_marker(missing);

  // Extremes: with missing values, from the first value that is not missing
  // (0 and 0 when every value is missing).
  double min = 0.0, max = 0.0;
  size_t first = 0;
  if (has_missing) {
    while (first < count && values[first * stride] == marker) ++first;
  }
  // Floats one after the other without missing values, 16-bit tokens: one
  // vectorised pass for the extremes (the loop below, unless a NaN is met)
  // and a vectorised quantisation.
  float lo = 0.0f, hi = 0.0f;
  const bool bulk16 = std::is_same_v<T, float> && !has_missing && stride == 1 && nbits == 16 &&
                      w.stored == 16 &&
                      float_extremes(reinterpret_cast<const float *>(values), count, &lo, &hi);
  if (bulk16) {
    min = lo;
    max = hi;
  } else if (first < count) {
    min = max = static_cast<double>(values[first * stride]);
    for (size_t i = 1; i < count; ++i) {
      const T tv = values[i * stride];
      if (has_missing && tv == marker) continue;
      const double v = static_cast<double>(tv);
      if (v < min) {
        min = v;
      } else if (v > max) {
        max = v;
      }
    }
  }
  if (range) {
    range->min = min;
    range->max = max;
  }
  if (max > 1e38 || min < -1e38) return PackStatus::kValueTooLarge;

  double scale = 0.0;
  float_header(min, max, count, nbits, contiguous, has_missing, header, &scale);

  size_t done = 0;
  if (bulk16) {
    done = floats_to_tokens16(reinterpret_cast<const float *>(values), count, min, scale,
                              stream + (offset >> 5), static_cast<int>(offset & 31));
  }
  if (done == count) return PackStatus::kOk;
  values += done;
  count -= done;
  offset += static_cast<uint64_t>(done) * static_cast<uint64_t>(w.stored);
  BitWriter::write_tokens(stream, stream_words, offset, w.stored, count, [=](size_t i) {
    const T tv = values[i * stride];
    return (has_missing && tv == marker) ? missing_tok
                                         : to_token((static_cast<double>(tv) - min) * scale);
  });
  return PackStatus::kOk;
}

}  // namespace

TokenWidth split_nbits(int nbits_arg) {
  TokenWidth w;
  if (nbits_arg <= 64) {
    w.significant = w.stored = nbits_arg;
  } else {
    w.significant = nbits_arg & 63;
    w.stored = nbits_arg >> 6;
  }
  return w;
}

double pow2(int k) {
  if (k >= 0 && k <= 64) return powers_of_two()[static_cast<size_t>(k)];
  return std::ldexp(1.0, k);
}

void float_header(double min, double max, size_t count, int nbits, bool contiguous,
                  bool has_missing, uint32_t header[4], double *scale) {
  // R: the largest power of two not above 2 * (max - min), 0 for a constant
  // field; doubled when the top token would equal the missing token.
  const uint32_t missing_tok = missing_token(nbits);
  const double spread = max - min;
  double r = zep::double_from_bits(zep::double_bits(2.0 * spread) & 0xFFF0000000000000ull);
  if (r != 0.0) {
    const uint32_t top = to_token(spread * pow2(nbits) / r);
    if (top == missing_tok && has_missing) r *= 2.0;
  }
  const int e = r == 0.0 ? 0 : static_cast<int>((zep::double_bits(r) >> 52) & 0x7FF) - 1023;
  *scale = pow2(nbits - e);

  // In the contiguous form the tokens share word 3 and overwrite its low
  // bits: the header is written before the tokens.
  const uint64_t mbits = zep::double_bits(min);
  const uint32_t min_exp =
      min == 0.0 ? 0x111u : (static_cast<uint32_t>((mbits >> 52) & 0x7FF) - 47u) & 0xFFFu;
  const uint32_t marker_word = contiguous
                                   ? (has_missing ? kMarkerContiguousMissing : kMarkerContiguous)
                                   : (has_missing ? kMarkerSeparateMissing : kMarkerSeparate);
  header[0] = (marker_word << 20) | (static_cast<uint32_t>(count) & 0xFFFFFu);
  header[1] = (min_exp << 4) | (min < 0.0 ? 1u : 0u) |
              (static_cast<uint32_t>(e - nbits + 4096) & 0xFFFFu) << 16;
  header[2] =
      min == 0.0 ? 0u : 0x80000000u | (static_cast<uint32_t>((mbits >> 29) & 0x7FFFFF) << 8);
  header[3] = (static_cast<uint32_t>(nbits) << 8) | (static_cast<uint32_t>(count >> 20) & 0xFFu);
}

PackStatus decode_float_header(const uint32_t header[4], FloatHeader *out) {
  FloatHeader h;
  h.marker = header[0] >> 20;
  if (h.marker != kMarkerContiguous && h.marker != kMarkerContiguousMissing &&
      h.marker != kMarkerSeparate && h.marker != kMarkerSeparateMissing) {
    return PackStatus::kBadHeader;
  }
  h.count = header[0] & 0xFFFFFu;
  if (!h.contiguous()) h.count |= (header[3] & 0xFFu) << 20;
  h.nbits = static_cast<int>((header[3] >> 8) & 0xFFu);
  h.step_exponent = static_cast<int>(header[1] >> 16) - 4096;
  const uint32_t min_exp = (header[1] >> 4) & 0xFFFu;
  if (header[2] != 0 && min_exp >= 849) {
    const uint32_t bits = ((header[1] & 1u) << 31) | (((min_exp - 849) & 0xFFu) << 23) |
                          ((header[2] >> 8) & 0x7FFFFFu);
    h.min = zep::float_from_bits(bits);
  }
  *out = h;
  return PackStatus::kOk;
}

PackStatus unpack_floats(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                         uint64_t offset, int nbits_arg, size_t count, float *values,
                         size_t values_len, size_t stride, bool has_missing, float missing) {
  return unpack_impl<float>(header, stream, stream_words, offset, nbits_arg, count, values,
                            values_len, stride, has_missing, missing);
}

PackStatus unpack_float_range(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                              uint64_t offset, int nbits_arg, size_t count, size_t first, size_t n,
                              float *values) {
  // The whole stream is the window.
  return unpack_float_window(header, stream_words, offset, nbits_arg, count, first, n, stream, 0,
                             stream_words, values);
}

WordSpan float_range_words(uint64_t offset, int nbits_arg, size_t first, size_t n) {
  const uint64_t width = static_cast<uint64_t>(split_nbits(nbits_arg).stored);
  const uint64_t from = offset + static_cast<uint64_t>(first) * width;
  if (n == 0 || width == 0) return {from / 32, 0};
  const uint64_t to = from + static_cast<uint64_t>(n) * width;
  return {from / 32, (to + 31) / 32 - from / 32};
}

PackStatus unpack_float_window(const uint32_t *header, size_t stream_words, uint64_t offset,
                               int nbits_arg, size_t count, size_t first, size_t n,
                               const uint32_t *window, uint64_t window_first, size_t window_words,
                               float *values) {
  FloatHeader h;
  const PackStatus st =
      check_unpack(header, stream_words, offset, nbits_arg, count, count, 1, false, &h);
  if (st != PackStatus::kOk) return st;
  if (first > count || n > count - first) return PackStatus::kBadArgument;
  const WordSpan need = float_range_words(offset, nbits_arg, first, n);
  if (need.first < window_first || need.count > window_words ||
      need.first - window_first > window_words - need.count)
    return PackStatus::kBadArgument;
  const uint64_t width = static_cast<uint64_t>(split_nbits(nbits_arg).stored);
  const uint64_t bit = offset + static_cast<uint64_t>(first) * width - 32 * window_first;
  unpack_checked(h, window, window_words, bit, nbits_arg, 0, n, values, 1, false, 0.0f);
  return PackStatus::kOk;
}

PackStatus unpack_doubles(const uint32_t *header, const uint32_t *stream, size_t stream_words,
                          uint64_t offset, int nbits_arg, size_t count, double *values,
                          size_t values_len, size_t stride, bool has_missing, double missing) {
  return unpack_impl<double>(header, stream, stream_words, offset, nbits_arg, count, values,
                             values_len, stride, has_missing, missing);
}

PackStatus pack_floats(const float *values, size_t values_len, size_t count, size_t stride,
                       int nbits_arg, bool contiguous, uint32_t *header, uint32_t *stream,
                       size_t stream_words, uint64_t offset, bool has_missing, float missing,
                       FloatRange *range) {
  return pack_impl<float>(values, values_len, count, stride, nbits_arg, contiguous, header, stream,
                          stream_words, offset, has_missing, missing, range);
}

PackStatus pack_doubles(const double *values, size_t values_len, size_t count, size_t stride,
                        int nbits_arg, bool contiguous, uint32_t *header, uint32_t *stream,
                        size_t stream_words, uint64_t offset, bool has_missing, double missing,
                        FloatRange *range) {
  return pack_impl<double>(values, values_len, count, stride, nbits_arg, contiguous, header, stream,
                           stream_words, offset, has_missing, missing, range);
}

}  // namespace zep::packing

namespace zep::packing {
namespace {

using zep::packing::PackStatus;

// The C entries trust their caller for sizes: the room given to the bounded
// entries is exactly what the arguments describe.
template <class T>
void *compact_entry(T *values, uint32_t *header, uint32_t *stream, int count, int nbits, int offset,
                    int stride, int op_code, int has_missing, const T *missing) {
  const zep::packing::TokenWidth w = zep::packing::split_nbits(nbits);
  if (w.significant == 0 || (w.significant == 1 && has_missing == 1)) return nullptr;
  if (op_code != 1 && op_code != 2) {
    std::printf("\n opCode is not defined \n");
    return nullptr;
  }
  if (!values || !header || !stream) {
    std::printf("\n compact_float: ERROR values, header or stream is NULL \n");
    return nullptr;
  }
  if (count <= 0 || offset < 0 || stride < 1 || nbits < 0 || w.stored > 64) {
    return nullptr;
  }
  const size_t n = static_cast<size_t>(count);
  const size_t step = static_cast<size_t>(stride);
  const size_t values_len = (n - 1) * step + 1;
  const uint64_t off = static_cast<uint64_t>(offset);
  const size_t stream_words = static_cast<size_t>(zep::packing::token_words(off, n, w.stored));
  const bool with_missing = has_missing == 1;
  const T marker = (with_missing && missing) ? *missing : T(0);

  if (op_code == 1) {
    const bool contiguous =
        (stream == header + 3 && offset == 24) || (stream == header && offset == 120);
    zep::packing::FloatRange range;
    PackStatus st;
    if constexpr (std::is_same_v<T, float>) {
      st = zep::packing::pack_floats(values, values_len, n, step, nbits, contiguous, header, stream,
                                     stream_words, off, with_missing, marker, &range);
    } else {
      st = zep::packing::pack_doubles(values, values_len, n, step, nbits, contiguous, header,
                                      stream, stream_words, off, with_missing, marker, &range);
    }
    if (st == PackStatus::kCountOverflow) {
      std::printf("\n element count overflow in xxpack header \n");
      return nullptr;
    }
    if (st == PackStatus::kValueTooLarge) {
      zep::fatal_print(
          stderr, "\n***ERROR: floating point packer, number too large minFloat=%E maxFloat=%E\n",
          range.min, range.max);
      zep::fatal_stop(33);
    }
    return st == PackStatus::kOk ? static_cast<void *>(stream) : nullptr;
  }

  PackStatus st;
  if constexpr (std::is_same_v<T, float>) {
    st = zep::packing::unpack_floats(header, stream, stream_words, off, nbits, n, values,
                                     values_len, step, with_missing, marker);
  } else {
    st = zep::packing::unpack_doubles(header, stream, stream_words, off, nbits, n, values,
                                      values_len, step, with_missing, marker);
  }
  return st == PackStatus::kOk ? static_cast<void *>(values) : nullptr;
}

}  // namespace
}  // namespace zep::packing

using namespace zep::packing;

extern "C" {

void *compact_float(float *values, uint32_t *header, uint32_t *stream, int count, int nbits,
                    int offset, int stride, int opCode, int hasMissing, float *missing) {
  return compact_entry<float>(values, header, stream, count, nbits, offset, stride, opCode,
                              hasMissing, missing);
}

void *compact_double(double *values, uint32_t *header, uint32_t *stream, int count, int nbits,
                     int offset, int stride, int opCode, int hasMissing, double *missing) {
  return compact_entry<double>(values, header, stream, count, nbits, offset, stride, opCode,
                               hasMissing, missing);
}

double f_pow_(const double *base, const int *exponent) {
  double b = *base;
  long long k = *exponent;
  const bool invert = k < 0;
  if (invert) k = -k;
  double result = 1.0;
  while (k > 0) {
    if (k & 1) result *= b;
    b *= b;
    k >>= 1;
  }
  return invert ? 1.0 / result : result;
}

}  // extern "C"
