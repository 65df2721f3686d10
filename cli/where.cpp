// Record selection of `zep ls` and `zep copy` (see where.h).
#include "cli/where.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace cli {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Reads exactly `width` digits at s[*pos].
bool digits(std::string_view s, size_t *pos, size_t width, int *out) {
  if (*pos + width > s.size()) return false;
  int v = 0;
  for (size_t i = 0; i < width; ++i) {
    const char c = s[*pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *pos += width;
  *out = v;
  return true;
}

bool parse_int(std::string_view s, long long *out) {
  if (s.empty() || s.size() > 20) return false;
  const std::string text(s);
  errno = 0;
  char *end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *out = v;
  return true;
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t p = s.find(sep);
    parts.push_back(s.substr(0, p));
    if (p == std::string_view::npos) break;
    s.remove_prefix(p + 1);
  }
  return parts;
}

}  // namespace

bool parse_iso_datetime(std::string_view s, int64_t *seconds) {
  s = trim(s);
  size_t p = 0;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
  if (!digits(s, &p, 4, &y) || p >= s.size() || s[p++] != '-' || !digits(s, &p, 2, &mo) ||
      p >= s.size() || s[p++] != '-' || !digits(s, &p, 2, &d))
    return false;
  if (p < s.size() && (s[p] == 'T' || s[p] == 't' || s[p] == ' ')) {
    ++p;
    if (!digits(s, &p, 2, &h)) return false;
    if (p < s.size() && s[p] == ':') {
      ++p;
      if (!digits(s, &p, 2, &mi)) return false;
      if (p < s.size() && s[p] == ':') {
        ++p;
        if (!digits(s, &p, 2, &se)) return false;
      }
    }
  }
  if (p < s.size() && (s[p] == 'Z' || s[p] == 'z')) ++p;
  if (p != s.size()) return false;
  return zep_date_to_unix(y * 10000 + mo * 100 + d, h * 1000000 + mi * 10000 + se * 100, seconds) ==
         0;
}

bool parse_level(std::string_view text, LevelValue *out) {
  text = trim(text);
  if (text.empty()) return false;
  const std::string s(text);
  char *end = nullptr;
  errno = 0;
  const double v = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || errno == ERANGE || !std::isfinite(v)) return false;
  // strtod takes "inf", "nan" and hexadecimal forms: only plain numbers here.
  for (const char *c = s.c_str(); c != end; ++c)
    if (std::strchr("0123456789+-.eE", *c) == nullptr) return false;
  const std::string_view kind = trim(std::string_view(end));
  for (char c : kind)
    if (!(std::isalpha(static_cast<unsigned char>(c)) || c == '?')) return false;
  if (kind.size() >= sizeof(zep_record{}.level_kind_text)) return false;
  out->value = v;
  out->kind = std::string(kind);
  return true;
}

bool level_matches(const LevelValue &want, const zep_record &rec) {
  if (!rec.level_ok) return false;
  if (!want.kind.empty() && want.kind != rec.level_kind_text) return false;
  const double have = rec.level;
  if (have == want.value) return true;
  const double scale = std::fmax(std::fabs(have), std::fabs(want.value));
  return std::fabs(have - want.value) <= 5e-6 * scale;
}

bool Selection::add(std::string_view criterion, std::string *error) {
  const size_t eq = criterion.find('=');
  if (eq == std::string_view::npos) {
    *error = "--where needs KEY=VALUE, not '" + std::string(criterion) + "'";
    return false;
  }
  const std::string name(trim(criterion.substr(0, eq)));
  const std::string_view list = criterion.substr(eq + 1);
  Criterion c{};
  if (name == "nomvar")
    c.key = Key::kNomvar;
  else if (name == "typvar")
    c.key = Key::kTypvar;
  else if (name == "etiket")
    c.key = Key::kEtiket;
  else if (name == "ip1")
    c.key = Key::kIp1;
  else if (name == "ip2")
    c.key = Key::kIp2;
  else if (name == "ip3")
    c.key = Key::kIp3;
  else if (name == "datev")
    c.key = Key::kDatev;
  else if (name == "level")
    c.key = Key::kLevel;
  else {
    *error =
        "unknown --where key '" + name + "' (nomvar, typvar, etiket, ip1, ip2, ip3, datev, level)";
    return false;
  }
  for (std::string_view raw : split(list, ',')) {
    const std::string_view v = trim(raw);
    const std::string bad = "bad value '" + std::string(raw) + "' for --where " + name;
    if (v.empty()) {
      *error = "empty value for --where " + name;
      return false;
    }
    switch (c.key) {
      case Key::kNomvar:
      case Key::kTypvar:
      case Key::kEtiket: {
        const size_t max = c.key == Key::kNomvar ? 4 : c.key == Key::kTypvar ? 2 : 12;
        std::string_view t = raw;  // leading blanks are part of a name
        while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
        if (t.size() > max) {
          *error = bad + ": at most " + std::to_string(max) + " characters";
          return false;
        }
        c.texts.emplace_back(t);
        break;
      }
      case Key::kIp1:
      case Key::kIp2:
      case Key::kIp3: {
        long long n = 0;
        if (!parse_int(v, &n)) {
          *error = bad + ": not an integer";
          return false;
        }
        c.ints.push_back(n);
        break;
      }
      case Key::kDatev: {
        Time t;
        if (all_digits(v)) {
          long long n = 0;
          if (!parse_int(v, &n)) {
            *error = bad + ": stamp out of range";
            return false;
          }
          t.stamp = n;
          int64_t s = 0;
          if (zep_stamp_to_unix(static_cast<int>(n), &s) == 0) {
            t.seconds = s;
            t.known = true;
          }
        } else if (parse_iso_datetime(v, &t.seconds)) {
          t.known = true;
        } else {
          *error = bad + ": neither an ISO 8601 date-time (YYYY-MM-DDThh:mm:ssZ) nor a stamp";
          return false;
        }
        c.times.push_back(t);
        break;
      }
      case Key::kLevel: {
        LevelValue l;
        if (!parse_level(v, &l)) {
          *error = bad + ": a level is a number with an optional kind, e.g. 500mb";
          return false;
        }
        c.levels.push_back(l);
        break;
      }
    }
  }
  criteria_.push_back(std::move(c));
  return true;
}

bool Selection::meets(const Criterion &c, const zep_record &rec) {
  switch (c.key) {
    case Key::kNomvar:
    case Key::kTypvar:
    case Key::kEtiket: {
      const char *have = c.key == Key::kNomvar   ? rec.nomvar
                         : c.key == Key::kTypvar ? rec.typvar
                                                 : rec.etiket;
      for (const std::string &t : c.texts)
        if (t == have) return true;
      return false;
    }
    case Key::kIp1:
    case Key::kIp2:
    case Key::kIp3: {
      const int have = c.key == Key::kIp1 ? rec.ip1 : c.key == Key::kIp2 ? rec.ip2 : rec.ip3;
      for (long long n : c.ints)
        if (n == have) return true;
      return false;
    }
    case Key::kDatev:
      for (const Time &t : c.times) {
        // The stamp as shown (datev) or as stored (extra1).
        if (t.stamp >= 0 && (t.stamp == rec.datev || t.stamp == rec.extra1)) return true;
        if (t.known && rec.datev_ok && t.seconds == rec.datev_unix) return true;
      }
      return false;
    case Key::kLevel:
      for (const LevelValue &l : c.levels)
        if (level_matches(l, rec)) return true;
      return false;
  }
  return false;
}

bool Selection::matches(const zep_record &rec) const {
  for (const Criterion &c : criteria_)
    if (!meets(c, rec)) return false;
  return true;
}

}  // namespace cli
