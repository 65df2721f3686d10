// JSON texts written by `zep ls --format json` (see json.h).
#include "cli/json.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace cli {

void append_json_string(std::string *out, std::string_view s) {
  static const char kHex[] = "0123456789abcdef";
  out->push_back('"');
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\t': out->append("\\t"); break;
      case '\r': out->append("\\r"); break;
      default:
        if (c < 0x20 || c > 0x7E) {
          out->append("\\u00");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 15]);
        } else {
          out->push_back(ch);
        }
    }
  }
  out->push_back('"');
}

namespace {

// Length of the well-formed UTF-8 sequence of two to four bytes at s[i], 0
// if there is none.
size_t utf8_length(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = 0;
  uint32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(s[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (t & 0x3F);
  }
  const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

void append_json_name(std::string *out, std::string_view s) {
  std::string escaped;
  size_t start = 0;
  out->push_back('"');
  for (size_t i = 0; i < s.size();) {
    const size_t n = static_cast<unsigned char>(s[i]) >= 0x80 ? utf8_length(s, i) : 0;
    if (n == 0) {
      ++i;
      continue;
    }
    escaped.clear();
    append_json_string(&escaped, s.substr(start, i - start));
    out->append(escaped, 1, escaped.size() - 2);
    out->append(s.substr(i, n));
    i += n;
    start = i;
  }
  escaped.clear();
  append_json_string(&escaped, s.substr(start));
  out->append(escaped, 1, escaped.size() - 2);
  out->push_back('"');
}

void append_json_number(std::string *out, double v) {
  if (!std::isfinite(v)) {
    out->append("null");
    return;
  }
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out->append(buf, r.ptr);
}

}  // namespace cli
