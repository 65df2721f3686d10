// Fixed-width edit rules (Iw, Fw.d, Ew.d, nX, Aw) for level and grid texts.
#include "coding/fixed_format.h"
#include "common/fixed_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>

namespace zep::coding {

namespace {

// Right-justifies `number` in w columns, or w asterisks when it is wider.
std::string justify(const std::string &number, int w) {
  if (w <= 0) return std::string();
  const size_t width = static_cast<size_t>(w);
  if (number.size() > width) return std::string(width, '*');
  return std::string(width - number.size(), ' ') + number;
}

}  // namespace

std::string format_integer(long long value, int w) { return justify(std::to_string(value), w); }

std::string format_fixed(double value, int w, int d) {
  if (w <= 0) return std::string();
  if (d < 0) d = 0;
  if (!std::isfinite(value)) {
    const char *s = std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    return justify(s, w);
  }
  // Digits of the magnitude, correctly rounded to d decimals.
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e300) return std::string(static_cast<size_t>(w), '*');
  const int len = std::snprintf(nullptr, 0, "%.*f", d, magnitude);
  std::string digits(static_cast<size_t>(len) + 1, '\0');
  std::snprintf(&digits[0], digits.size(), "%.*f", d, magnitude);
  digits.resize(static_cast<size_t>(len));
  if (d == 0) digits += '.';
  const std::string sign = std::signbit(value) && value != 0.0 ? "-" : "";
  // A lone zero before the point is dropped when the field lacks room for it
  // (never when nothing would follow the point).
  if (d > 0 && digits.size() > 1 && digits[0] == '0' && digits[1] == '.' &&
      sign.size() + digits.size() > static_cast<size_t>(w)) {
    digits.erase(0, 1);
  }
  return justify(sign + digits, w);
}

std::string format_exponent(double value, int w, int d) {
  if (w <= 0) return std::string();
  if (d < 1) d = 1;
  if (!std::isfinite(value)) {
    const char *s = std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    return justify(s, w);
  }
  const double magnitude = std::fabs(value);
  std::string mantissa;
  int exp10 = 0;
  if (magnitude == 0.0) {
    mantissa.assign(static_cast<size_t>(d), '0');
  } else {
    // d significant digits as d1.d2...dd e X, then 0.d1d2...dd E X+1.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", d - 1, magnitude);
    const char *e = std::strchr(buf, 'e');
    for (const char *p = buf; p < e; ++p)
      if (*p != '.') mantissa += *p;
    exp10 = std::atoi(e + 1) + 1;
  }
  char expbuf[16];
  const int aexp = std::abs(exp10);
  if (aexp <= 99)
    std::snprintf(expbuf, sizeof expbuf, "E%c%02d", exp10 < 0 ? '-' : '+', aexp);
  else
    std::snprintf(expbuf, sizeof expbuf, "%c%03d", exp10 < 0 ? '-' : '+', aexp);
  const std::string sign = std::signbit(value) && value != 0.0 ? "-" : "";
  std::string body = "." + mantissa + expbuf;
  if (sign.size() + body.size() + 1 <= static_cast<size_t>(w)) body = "0" + body;
  return justify(sign + body, w);
}

void FixedFormat::put(const std::string &field) { line_ += field; }

FixedFormat &FixedFormat::integer(long long value, int w) {
  put(format_integer(value, w));
  return *this;
}

FixedFormat &FixedFormat::fixed(double value, int w, int d) {
  put(format_fixed(value, w, d));
  return *this;
}

FixedFormat &FixedFormat::exponent(double value, int w, int d) {
  put(format_exponent(value, w, d));
  return *this;
}

FixedFormat &FixedFormat::blanks(int n) {
  if (n > 0) line_.append(static_cast<size_t>(n), ' ');
  return *this;
}

FixedFormat &FixedFormat::text(std::string_view value, int w) {
  if (w <= 0) return *this;
  const size_t width = static_cast<size_t>(w);
  if (value.size() >= width) {
    line_.append(value.substr(0, width));
  } else {
    line_.append(width - value.size(), ' ');
    line_.append(value);
  }
  return *this;
}

void FixedFormat::copy_to(char *field, size_t length) const {
  zep::fill_field(field, length, line_);
}

}  // namespace zep::coding
