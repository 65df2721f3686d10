// "%12.6g " without printf: the six significant digits come from the
// standard library's shortest-exact conversion with a precision, which rounds
// exactly as printf does; this file only does the padding and the blank.
#include "app/value_format.h"

#include <charconv>
#include <cmath>
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

}  // namespace app
