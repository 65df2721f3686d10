// The lines of `zep ls` (see listing.h).
#include "cli/listing.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "cli/json.h"

namespace cli {
namespace {

// Table cells are for a terminal: bytes it would act on become '?', and an
// empty text a dash so that the columns stay apart.
std::string cell(const char *text) {
  std::string s;
  for (const char *p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    s.push_back(c < 0x20 || c > 0x7E ? '?' : static_cast<char>(c));
  }
  return s.empty() ? "-" : s;
}

std::string csv_field(const std::string &s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q.push_back('"');
    q.push_back(c);
  }
  q.push_back('"');
  return q;
}

std::string shortest(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string general(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

void pad(std::string *line, const std::string &text, int width, bool left) {
  const int n = static_cast<int>(text.size());
  if (!left && n < width) line->append(static_cast<size_t>(width - n), ' ');
  line->append(text);
  if (left && n < width) line->append(static_cast<size_t>(width - n), ' ');
  line->push_back(' ');
}

// Columns of the table: title, width, left-aligned.
struct Column {
  const char *title;
  int width;
  bool left;
};
const Column kColumns[] = {
    {"nomvar", 6, true}, {"typvar", 6, true}, {"etiket", 12, true}, {"level", 14, false},
    {"ip1", 10, false},  {"ip2", 6, false},   {"ip3", 6, false},    {"datev", 20, true},
    {"deet", 6, false},  {"npas", 6, false},  {"ni", 5, false},     {"nj", 5, false},
    {"nk", 4, false},    {"grtyp", 5, true},  {"datyp", 5, false},  {"nbits", 5, false}};
const Column kStatColumns[] = {{"min", 12, false}, {"max", 12, false}, {"mean", 12, false}};

// "YYYY-MM-DDThh:mm:ssZ" of seconds since 1970: the record's validity time
// from its seconds, so that a stamp of an impossible day (30 February) shows
// as the day it stands for, as the converter shows it.
std::string iso_text(int64_t seconds) {
  int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  char buf[128];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                static_cast<long long>(rest % 60));
  return buf;
}

std::string validity(const zep_record &rec) {
  return rec.datev_ok ? iso_text(rec.datev_unix) : std::string();
}

std::string trim_line(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  s.push_back('\n');
  return s;
}

}  // namespace

bool parse_format(const std::string &text, Format *out) {
  if (text == "table")
    *out = Format::kTable;
  else if (text == "csv")
    *out = Format::kCsv;
  else if (text == "json")
    *out = Format::kJson;
  else
    return false;
  return true;
}

std::string Listing::begin() const {
  std::string line;
  switch (format_) {
    case Format::kJson: return "[";
    case Format::kCsv:
      for (const Column &c : kColumns) line += std::string(c.title) + ",";
      if (stats_)
        for (const Column &c : kStatColumns) line += std::string(c.title) + ",";
      return line + "file\n";
    case Format::kTable:
      for (const Column &c : kColumns) pad(&line, c.title, c.width, c.left);
      if (stats_)
        for (const Column &c : kStatColumns) pad(&line, c.title, c.width, c.left);
      if (file_) line += "file";
      return trim_line(line);
  }
  return line;
}

std::string Listing::end() const {
  return format_ == Format::kJson ? (first_ ? "]\n" : "\n]\n") : "";
}

std::string Listing::row(const zep_record &rec, const std::string &file, const Stats *stats) {
  std::string text;
  switch (format_) {
    case Format::kTable: text = table_row(rec, file, stats); break;
    case Format::kCsv: text = csv_row(rec, file, stats); break;
    case Format::kJson: text = (first_ ? "\n" : ",\n") + json_row(rec, file, stats); break;
  }
  first_ = false;
  return text;
}

std::string Listing::table_row(const zep_record &rec, const std::string &file,
                               const Stats *stats) const {
  const std::string cells[] = {cell(rec.nomvar),          cell(rec.typvar),
                               cell(rec.etiket),          cell(rec.level_text),
                               std::to_string(rec.ip1),   std::to_string(rec.ip2),
                               std::to_string(rec.ip3),   cell(validity(rec).c_str()),
                               std::to_string(rec.deet),  std::to_string(rec.npas),
                               std::to_string(rec.ni),    std::to_string(rec.nj),
                               std::to_string(rec.nk),    cell(rec.grtyp),
                               std::to_string(rec.datyp), std::to_string(rec.nbits)};
  std::string line;
  size_t i = 0;
  for (const Column &c : kColumns) pad(&line, cells[i++], c.width, c.left);
  if (stats_) {
    const bool ok = stats != nullptr && stats->ok;
    pad(&line, ok ? general(stats->min) : "-", 12, false);
    pad(&line, ok ? general(stats->max) : "-", 12, false);
    pad(&line, ok ? general(stats->mean) : "-", 12, false);
  }
  if (file_) line += file;
  return trim_line(line);
}

std::string Listing::csv_row(const zep_record &rec, const std::string &file,
                             const Stats *stats) const {
  const std::string fields[] = {rec.nomvar,
                                rec.typvar,
                                rec.etiket,
                                rec.level_text,
                                std::to_string(rec.ip1),
                                std::to_string(rec.ip2),
                                std::to_string(rec.ip3),
                                validity(rec),
                                std::to_string(rec.deet),
                                std::to_string(rec.npas),
                                std::to_string(rec.ni),
                                std::to_string(rec.nj),
                                std::to_string(rec.nk),
                                rec.grtyp,
                                std::to_string(rec.datyp),
                                std::to_string(rec.nbits)};
  std::string line;
  for (const std::string &f : fields) line += csv_field(f) + ",";
  if (stats_) {
    const bool ok = stats != nullptr && stats->ok;
    for (double v : {stats ? stats->min : 0.0, stats ? stats->max : 0.0, stats ? stats->mean : 0.0})
      line += (ok ? shortest(v) : std::string()) + ",";
  }
  return line + csv_field(file) + "\n";
}

std::string Listing::json_row(const zep_record &rec, const std::string &file,
                              const Stats *stats) const {
  std::string o = "{";
  auto text = [&o](const char *key, const char *value) {
    o += '"';
    o += key;
    o += "\":";
    append_json_string(&o, value);
    o += ',';
  };
  auto integer = [&o](const char *key, long long value) {
    o += '"';
    o += key;
    o += "\":" + std::to_string(value) + ",";
  };
  text("nomvar", rec.nomvar);
  text("typvar", rec.typvar);
  text("etiket", rec.etiket);
  text("grtyp", rec.grtyp);
  integer("ip1", rec.ip1);
  integer("ip2", rec.ip2);
  integer("ip3", rec.ip3);
  integer("ni", rec.ni);
  integer("nj", rec.nj);
  integer("nk", rec.nk);
  integer("dateo", rec.dateo);
  integer("datev", rec.datev);
  integer("deet", rec.deet);
  integer("npas", rec.npas);
  integer("ig1", rec.ig1);
  integer("ig2", rec.ig2);
  integer("ig3", rec.ig3);
  integer("ig4", rec.ig4);
  integer("datyp", rec.datyp);
  integer("nbits", rec.nbits);
  text("level", rec.level_text);
  if (stats_) {
    const bool ok = stats != nullptr && stats->ok;
    for (auto [key, v] : {std::pair<const char *, double>{"min", ok ? stats->min : NAN},
                          {"max", ok ? stats->max : NAN},
                          {"mean", ok ? stats->mean : NAN}}) {
      o += '"';
      o += key;
      o += "\":";
      append_json_number(&o, v);
      o += ',';
    }
  }
  o += "\"file\":";
  append_json_name(&o, file);
  return o + "}";
}

}  // namespace cli
