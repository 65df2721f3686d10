// "%12.6g " without printf.
//
// Every road ends in six significant digits d (100000..999999) and a decimal
// exponent x, and one writer lays them out as %g does: trailing zeros of the
// digits dropped, the fixed form for -4 <= x < 6, the exponent form beyond.
// With |x| < 100 the text never exceeds 12 characters, so each value takes
// exactly 13 bytes; the writer builds its pieces in 64-bit words and stores
// them straight at their place in the output.
//
// Floats: the 24-bit significand times a 64-bit power of ten. The powers
// 10^0..10^27 are exact in 64 bits (5^27 < 2^63), so for values from about
// 1e-22 up to 1e6 the product is exact and ties round to even as the C
// library rounds them. Other powers are truncated to 2^-63 relative, which
// decides the digits unless the discarded part lies within 2^-32 of one
// half; those few values take the exact conversion of the standard library.
//
// Doubles: integers below 2^53 are rounded exactly in 64-bit integers, values
// a float holds exactly take the float road, the rest the standard library's
// exact conversion with a precision (which rounds as printf does).
#include "app/value_format.h"

#include "common/big_endian.h"
#include "common/bit_cast.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zep::app {

namespace {

using u128 = unsigned __int128;

constexpr int kWidth = 12;
constexpr uint64_t kBlanks = 0x2020202020202020ULL;

constexpr int bit_length(u128 v) {
  int n = 0;
  while (v != 0) {
    v >>= 1;
    ++n;
  }
  return n;
}

// 10^t ≈ mant · 2^exp with mant in [2^63, 2^64), truncated, for t in
// [kMinPow, kMaxPow]: what six digits of every float need (decimal exponents
// -45..38, scaled by 10^(5-x)). Exact for 0 <= t <= 27.
constexpr int kMinPow = -33;
constexpr int kMaxPow = 50;
constexpr int kMaxExactPow = 27;

struct Pow10 {
  uint64_t mant;
  int exp;
};

struct Pow10Table {
  Pow10 p[kMaxPow - kMinPow + 1];
};

constexpr Pow10Table make_pow10_table() {
  Pow10Table table{};
  for (int t = 0; t <= kMaxPow; ++t) {  // 5^50 < 2^117: exact in 128 bits
    u128 five = 1;
    for (int i = 0; i < t; ++i) five *= 5;
    const int shift = bit_length(five) - 64;
    const uint64_t mant =
        shift >= 0 ? static_cast<uint64_t>(five >> shift) : static_cast<uint64_t>(five) << -shift;
    table.p[t - kMinPow] = {mant, t + shift};
  }
  for (int t = 1; t <= -kMinPow; ++t) {  // 2^n / 5^t by long division
    u128 five = 1;
    for (int i = 0; i < t; ++i) five *= 5;
    const int n = bit_length(five) + 63;  // the quotient has 64 significant bits
    u128 rem = 0;
    uint64_t q = 0;
    for (int bit = n; bit >= 0; --bit) {
      rem = (rem << 1) | (bit == n ? 1 : 0);
      q <<= 1;
      if (rem >= five) {
        rem -= five;
        q |= 1;
      }
    }
    // 2^n / 5^t = q (truncated); 10^-t = q · 2^(-n - t).
    table.p[-t - kMinPow] = {q, -n - t};
  }
  return table;
}

constexpr Pow10Table kPow10 = make_pow10_table();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Texts are composed in 64-bit words whose lowest byte is the first
// character, and stored in that order whatever the host's.
inline uint64_t digit_pair(uint32_t v) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(kDigitPairs) + 2 * v;
  return uint64_t{p[0]} | uint64_t{p[1]} << 8;
}

inline void store64(char *out, uint64_t v) {
  if (!zep::host_is_little_endian()) v = zep::byte_swap64(v);
  std::memcpy(out, &v, 8);
}

inline void store32(char *out, uint32_t v) {
  if (!zep::host_is_little_endian()) v = zep::byte_swap32(v);
  std::memcpy(out, &v, 4);
}

// The bytes of v below byte n (n <= 7), the rest blanks.
inline uint64_t keep_bytes(uint64_t v, int n) {
  const uint64_t mask = (uint64_t{1} << (8 * n)) - 1;
  return (v & mask) | (kBlanks & ~mask);
}

// The three digits of 0..999 as byte values, the first in the lowest byte.
struct DigitTriples {
  uint32_t v[1000];
};

constexpr DigitTriples make_digit_triples() {
  DigitTriples t{};
  for (uint32_t i = 0; i < 1000; ++i) t.v[i] = i / 100 | (i / 10 % 10) << 8 | (i % 10) << 16;
  return t;
}

constexpr DigitTriples kTriples = make_digit_triples();

// The digits of d (100000..999999) as six byte values, the first digit in
// the lowest byte.
inline uint64_t digit_values(uint32_t d) {
  const uint32_t hi = d / 1000;
  return kTriples.v[hi] | uint64_t{kTriples.v[d - hi * 1000]} << 24;
}

// Digits left once trailing zeros go (1..6): the first digit is never 0.
inline int significant_digits(uint64_t values) { return 8 - __builtin_clzll(values) / 8; }

// The first `whole` digits, then, if any digit follows within nd, a point
// and those digits; *len receives the length (at most 7).
inline uint64_t with_point(uint64_t ascii, int whole, int nd, int *len) {
  const uint64_t low = (uint64_t{1} << (8 * whole)) - 1;
  const uint64_t text = (ascii & low) | uint64_t{'.'} << (8 * whole) | (ascii & ~low) << 8;
  *len = nd > whole ? nd + 1 : whole;
  return keep_bytes(text, *len);
}

// Writes "%12.6g " of ±d·10^(x-5) at out (|x| < 100): 13 bytes, and blanks
// up to out + 20. Returns 13.
inline size_t put_digits(bool neg, uint32_t d, int x, char *out) {
  const uint64_t values = digit_values(d);
  const int nd = significant_digits(values);
  const uint64_t ascii = values + 0x3030303030303030ULL;
  store64(out, kBlanks);
  store64(out + 8, kBlanks);
  if (x >= 0 && x < 6) {
    int len;
    uint64_t text = with_point(ascii, x + 1, nd, &len);
    if (neg) {
      text = text << 8 | '-';
      ++len;
    }
    store64(out + kWidth - len, text);
  } else if (x < 0 && x >= -4) {
    // "0.", then -x - 1 zeros, then the digits; the prefix first, since the
    // digits overwrite the end of its word.
    const int prefix = (neg ? 3 : 2) - x - 1;
    const uint64_t zeros = neg ? 0x2030303030302E30ULL << 8 | '-' : 0x2030303030302E30ULL;
    store64(out + kWidth - nd - prefix, zeros);
    store64(out + kWidth - nd, keep_bytes(ascii, nd));
  } else {
    int len;
    uint64_t text = with_point(ascii, 1, nd, &len);
    if (neg) {
      text = text << 8 | '-';
      ++len;
    }
    const uint32_t ax = static_cast<uint32_t>(x < 0 ? -x : x);
    const uint32_t expo =
        'e' | (x < 0 ? '-' : '+') << 8 | static_cast<uint32_t>(digit_pair(ax)) << 16;
    store64(out + 8 - len, text);
    store32(out + 8, expo);
  }
  return kWidth + 1;
}

size_t pad_right_aligned(const char *text, size_t len, char *out) {
  size_t pad = len < kWidth ? kWidth - len : 0;
  std::memset(out, ' ', pad);
  std::memcpy(out + pad, text, len);
  out[pad + len] = ' ';
  return pad + len + 1;
}

// The exact road: the standard library's conversion with a precision.
size_t format_exact(double v, char *out) {
  char text[kMaxValueText];
  size_t len;
  if (std::isnan(v)) {
    const char *s = std::signbit(v) ? "-nan" : "nan";
    len = std::strlen(s);
    std::memcpy(text, s, len);
  } else {
    auto res = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6);
    len = static_cast<size_t>(res.ptr - text);
  }
  return pad_right_aligned(text, len, out);
}

// Six significant digits of m·2^e (m in [2^23, 2^24)): d in [10^5, 10^6)
// and the decimal exponent x of the rounded value. False when undecided.
inline bool six_significant(uint64_t m, int e, uint32_t *d, int *x) {
  const int b = e + 23;               // 2^b <= value < 2^(b+1)
  const int est = (b * 78913) >> 18;  // floor(b · log10(2)), for |b| < 1650
  // value / 10^(est-5) = prod / 2^s lies in [10^5, 2·10^6), so prod lies in
  // [2^86, 2^88) and s in 66..71: the whole part sits in the high word.
  const int t = 5 - est;
  const Pow10 &p = kPow10.p[t - kMinPow];
  const u128 prod = static_cast<u128>(m) * p.mant;
  const int sh = -(e + p.exp) - 64;
  if (sh < 1 || sh > 40) return false;
  const uint64_t hi = static_cast<uint64_t>(prod >> 64), lo = static_cast<uint64_t>(prod);
  const uint32_t ip = static_cast<uint32_t>(hi >> sh);
  const uint64_t frac_hi = hi & ((uint64_t{1} << sh) - 1);
  // The discarded part, as (top, lo) against one half of the last digit
  // kept, (half, 0); with seven digits the seventh joins the discarded part.
  // Masks rather than branches: which way these go is the data's whim.
  const uint32_t seven = ip >= 1000000;
  const uint64_t wide = uint64_t{0} - seven;
  const uint32_t ip10 = ip / 10;
  const uint32_t q = static_cast<uint32_t>((ip10 & wide) | (ip & ~wide));
  const uint64_t top = ((uint64_t{ip - ip10 * 10} << sh | frac_hi) & wide) | (frac_hi & ~wide);
  const uint64_t half = ((uint64_t{5} << sh) & wide) | ((uint64_t{1} << (sh - 1)) & ~wide);
  uint32_t up;
  if (t >= 0 && t <= kMaxExactPow) {  // exact product: ties go to even
    up = (top > half) | ((top == half) & ((lo != 0) | (q & 1)));
  } else {
    const u128 rest = static_cast<u128>(top) << 64 | lo, mid = static_cast<u128>(half) << 64;
    const u128 dist = rest > mid ? rest - mid : mid - rest;
    if (dist <= static_cast<u128>(1) << (32 + sh)) return false;
    up = rest > mid;
  }
  uint32_t digits = q + up;
  int expo = est + static_cast<int>(seven);
  if (digits == 1000000) {
    digits = 100000;
    ++expo;
  }
  if (digits < 100000 || digits >= 1000000) return false;
  *d = digits;
  *x = expo;
  return true;
}

// Six significant digits of the integer n (1 <= n < 2^64), rounded to even
// on ties as the C library does.
inline void integer_digits(uint64_t n, uint32_t *d, int *x) {
  int digits = 1;
  uint64_t scale = 1;  // 10^(digits - 6) once digits > 6
  for (uint64_t r = n; r >= 10; r /= 10) ++digits;
  if (digits <= 6) {
    uint32_t v = static_cast<uint32_t>(n);
    for (int i = digits; i < 6; ++i) v *= 10;
    *d = v;
    *x = digits - 1;
    return;
  }
  for (int i = 6; i < digits; ++i) scale *= 10;
  const uint64_t q = n / scale, r = n - q * scale;
  const bool up = r > scale - r || (r == scale - r && (q & 1));
  uint32_t v = static_cast<uint32_t>(q) + (up ? 1 : 0);
  int expo = digits - 1;
  if (v == 1000000) {
    v = 100000;
    ++expo;
  }
  *d = v;
  *x = expo;
}

__attribute__((always_inline)) inline size_t format_float_inline(float v, char *out) {
  const uint32_t bits = zep::float_bits(v);
  const bool neg = bits >> 31;
  const uint32_t biased = (bits >> 23) & 0xFF;
  uint64_t m = bits & 0x7FFFFF;
  if (biased == 0xFF || (biased == 0 && m == 0)) return format_exact(v, out);
  int e;
  if (biased == 0) {
    const int shift = __builtin_clzll(m) - 40;  // bring the leading bit to 2^23
    m <<= shift;
    e = -149 - shift;
  } else {
    m |= 0x800000;
    e = static_cast<int>(biased) - 150;
  }
  uint32_t d;
  int x;
  if (!six_significant(m, e, &d, &x)) return format_exact(v, out);
  return put_digits(neg, d, x, out);
}

}  // namespace

size_t format_value(double v, char *out) {
  const double a = std::fabs(v);
  if (a < 9007199254740992.0 && a >= 1.0 && a == std::floor(a)) {
    uint32_t d;
    int x;
    integer_digits(static_cast<uint64_t>(a), &d, &x);
    return put_digits(std::signbit(v), d, x, out);
  }
  if (a <= 3.4028234663852886e38) {  // the largest float: the conversion is defined
    const float f = static_cast<float>(v);
    if (static_cast<double>(f) == v) return format_float_inline(f, out);
  }
  return format_exact(v, out);
}

size_t format_float(float v, char *out) { return format_float_inline(v, out); }

char *format_floats(const float *values, size_t count, char *out) {
  for (size_t i = 0; i < count; ++i) out += format_float_inline(values[i], out);
  return out;
}

}  // namespace zep::app
