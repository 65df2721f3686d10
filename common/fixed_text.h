// Fixed-length character fields: the blank-padded, unterminated text
// arguments of the by-reference entries (a pointer and a hidden length) and
// the fixed-width texts the library hands back. The one set of helpers that
// cuts, trims, pads and copies them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zep {

// The first min(len, limit) characters of a field; empty for a null field.
inline std::string_view field_view(const char *field, size_t len, size_t limit = SIZE_MAX) {
  return field == nullptr ? std::string_view() : std::string_view(field, std::min(len, limit));
}

// The text up to its first NUL character.
inline std::string_view until_nul(std::string_view s) { return s.substr(0, s.find('\0')); }

// The text without its trailing blanks, but never shorter than `keep`
// characters (nor than the text).
inline std::string_view trim_blanks(std::string_view s, size_t keep = 0) {
  size_t n = s.size();
  while (n > keep && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}

// The text cut or blank-filled to exactly `width` characters.
inline std::string blank_padded(std::string_view s, size_t width) {
  std::string out(width, ' ');
  const size_t n = std::min(s.size(), width);
  if (n > 0) out.replace(0, n, s.data(), n);
  return out;
}

// A field as text: at most `limit` characters, up to the first NUL, without
// trailing blanks.
inline std::string field_text(const char *field, size_t len, size_t limit = SIZE_MAX) {
  return std::string(trim_blanks(until_nul(field_view(field, len, limit))));
}

// The first min(len, width) characters of a field, blank-filled to `width`.
inline std::string padded_field(const char *field, size_t len, size_t width) {
  return blank_padded(field_view(field, len, width), width);
}

// Copies the first min(len, text size) characters of `text` into a field of
// `len` characters; the rest of the field is left as it is.
inline void copy_back(char *field, size_t len, std::string_view text) {
  const size_t n = std::min(len, text.size());
  if (field != nullptr && n > 0) std::memcpy(field, text.data(), n);
}

// Copies `text` into a field of `len` characters, cut or blank-filled.
inline void fill_field(char *field, size_t len, std::string_view text) {
  if (field == nullptr) return;
  const size_t n = std::min(len, text.size());
  if (n > 0) std::memcpy(field, text.data(), n);
  if (len > n) std::memset(field + n, ' ', len - n);
}

}  // namespace zep
