// "%12.6g " without printf.
//
// The general road takes six significant digits from the standard library's
// exact conversion with a precision, which rounds as printf does. The float
// road scales the float's 24-bit significand by a 64-bit approximation of a
// power of ten; the approximation is good to 2^-63 relative, so the six
// digits and their rounding are certain unless the discarded part lies within
// 2^-32 of one half, and then the general road decides.
#include "app/value_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace app {

namespace {

constexpr int kWidth = 12;

size_t pad_right_aligned(const char *text, size_t len, char *out) {
  size_t pad = len < kWidth ? kWidth - len : 0;
  std::memset(out, ' ', pad);
  std::memcpy(out + pad, text, len);
  out[pad + len] = ' ';
  return pad + len + 1;
}

// 10^t ≈ mant · 2^exp with mant in [2^63, 2^64), truncated, for t in
// [kMinPow, kMaxPow]: the range the floats need (decimal exponents -45..38
// less five).
constexpr int kMinPow = -40;
constexpr int kMaxPow = 52;
struct Pow10 {
  uint64_t mant;
  int exp;
};

struct Pow10Table {
  Pow10 p[kMaxPow - kMinPow + 1];
  Pow10Table() {
    using u128 = unsigned __int128;
    for (int t = 0; t <= kMaxPow; ++t) {  // 5^52 < 2^121: exact in 128 bits
      u128 five = 1;
      for (int i = 0; i < t; ++i) five *= 5;
      int len = 128 - (five >> 64 ? __builtin_clzll(static_cast<uint64_t>(five >> 64))
                                   : 64 + __builtin_clzll(static_cast<uint64_t>(five)));
      int shift = len - 64;
      uint64_t mant = shift >= 0 ? static_cast<uint64_t>(five >> shift)
                                 : static_cast<uint64_t>(five) << -shift;
      p[t - kMinPow] = {mant, t + shift};
    }
    for (int t = 1; t <= -kMinPow; ++t) {  // 2^n / 5^t by long division
      u128 five = 1;
      for (int i = 0; i < t; ++i) five *= 5;
      int len = 128 - (five >> 64 ? __builtin_clzll(static_cast<uint64_t>(five >> 64))
                                  : 64 + __builtin_clzll(static_cast<uint64_t>(five)));
      int n = len + 63;  // quotient of n+1 bits has 64 significant bits
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
      p[-t - kMinPow] = {q, -n - t};
    }
  }
};

const Pow10Table &pow10_table() {
  static const Pow10Table table;
  return table;
}

const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the six digits of d (100000..999999).
inline void six_digits(uint32_t d, char *out) {
  uint32_t hi = d / 10000, mid = (d / 100) % 100, lo = d % 100;
  out[0] = static_cast<char>('0' + hi / 10);
  out[1] = static_cast<char>('0' + hi % 10);
  std::memcpy(out + 2, kDigitPairs + 2 * mid, 2);
  std::memcpy(out + 4, kDigitPairs + 2 * lo, 2);
}

// Six significant digits of m·2^e (m > 0, below 2^24): d in [10^5, 10^6) and
// the decimal exponent x of the rounded value. False when undecided.
bool six_significant(uint32_t m, int e, uint32_t *d, int *x) {
  using u128 = unsigned __int128;
  const int bits = 32 - __builtin_clz(m);
  // floor(log10(v)) is x or x - 1 for this estimate (log10(2) ≈ 0.30103).
  int est = static_cast<int>(std::floor((e + bits - 1) * 0.30102999566398120));
  for (int attempt = 0; attempt < 3; ++attempt) {
    int k = est - 5;
    if (-k < kMinPow || -k > kMaxPow) return false;
    const Pow10 &p = pow10_table().p[-k - kMinPow];
    u128 prod = static_cast<u128>(m) * p.mant;  // v / 10^k = prod · 2^(e + p.exp)
    int s = -(e + p.exp);
    if (s <= 33 || s >= 127) return false;
    u128 ip = prod >> s;
    if (ip >= 1000000) {
      ++est;
      continue;
    }
    if (ip < 100000) {
      --est;
      continue;
    }
    u128 frac = prod & ((static_cast<u128>(1) << s) - 1);
    u128 half = static_cast<u128>(1) << (s - 1);
    u128 margin = static_cast<u128>(1) << (s - 32);
    u128 dist = frac > half ? frac - half : half - frac;
    if (dist <= margin) return false;
    uint32_t q = static_cast<uint32_t>(ip) + (frac > half ? 1 : 0);
    if (q == 1000000) {
      q = 100000;
      ++est;
    }
    *d = q;
    *x = est;
    return true;
  }
  return false;
}

// %g text of ±d·10^(x-5) with six significant digits, trailing zeros gone.
size_t g_text(bool neg, uint32_t d, int x, char *out) {
  char digits[6];
  six_digits(d, digits);
  int nd = 6;
  while (nd > 1 && digits[nd - 1] == '0') --nd;
  char *p = out;
  if (neg) *p++ = '-';
  if (x < -4 || x >= 6) {
    *p++ = digits[0];
    if (nd > 1) {
      *p++ = '.';
      std::memcpy(p, digits + 1, static_cast<size_t>(nd - 1));
      p += nd - 1;
    }
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    int ax = x < 0 ? -x : x;
    if (ax >= 100) {
      *p++ = static_cast<char>('0' + ax / 100);
      ax %= 100;
    }
    std::memcpy(p, kDigitPairs + 2 * ax, 2);
    p += 2;
  } else if (x >= 0) {
    std::memcpy(p, digits, static_cast<size_t>(x + 1));
    p += x + 1;
    if (nd > x + 1) {
      *p++ = '.';
      std::memcpy(p, digits + x + 1, static_cast<size_t>(nd - x - 1));
      p += nd - x - 1;
    }
  } else {
    *p++ = '0';
    *p++ = '.';
    for (int i = 0; i < -x - 1; ++i) *p++ = '0';
    std::memcpy(p, digits, static_cast<size_t>(nd));
    p += nd;
  }
  return static_cast<size_t>(p - out);
}

}  // namespace

size_t format_value(double v, char *out) {
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

size_t format_float(float v, char *out) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  const bool neg = bits >> 31;
  const uint32_t biased = (bits >> 23) & 0xFF;
  uint32_t m = bits & 0x7FFFFF;
  if (biased == 0xFF || (biased == 0 && m == 0)) return format_value(v, out);
  int e;
  if (biased == 0) {
    e = -149;
  } else {
    m |= 0x800000;
    e = static_cast<int>(biased) - 150;
  }
  uint32_t d;
  int x;
  if (!six_significant(m, e, &d, &x)) return format_value(v, out);
  char text[kMaxValueText];
  return pad_right_aligned(text, g_text(neg, d, x, text), out);
}

}  // namespace app
