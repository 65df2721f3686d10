// The listing of standard records: print_std_parms (one descriptor line,
// columns chosen by option words looked for as substrings) and c_vktvoi
// (every live record of a unit, then the file's statistics).
#include "stdfile/listing.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "coding/level_code.h"
#include "io/file_table.h"
#include "stdfile/descriptor.h"
#include "stdfile/search.h"
#include "xdf/table.h"
#include "zep/coding.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/xdf.h"

namespace zep::stdfile {

namespace {

constexpr size_t kMaxExceptions = 256;

bool has(const char *options, const char *word) {
  return options && std::strstr(options, word) != nullptr;
}

std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...) {
  va_list ap, again;
  va_start(ap, fmt);
  va_copy(again, ap);
  char buf[256];
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  std::string out;
  if (n >= 0 && static_cast<size_t>(n) < sizeof buf) {
    out.assign(buf, static_cast<size_t>(n));
  } else if (n >= 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, again);
    out.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return out;
}

// Date (YYYYMMDD) and time (HHMMSS) of a stamp; zeros when it cannot be read.
void date_time(int stamp, int *date, int *time) {
  int s = stamp, d = 0, t = 0, mode = -3;
  newdate_(&s, &d, &t, &mode);
  *date = d;
  *time = t / 100;
}

// A blank-padded field of `len` characters, cut to `keep`.
std::string cut(const char *text, size_t len, size_t keep) {
  return std::string(text, std::min(len, keep));
}

}  // namespace

const std::string &level_exceptions() {
  static const std::string text = [] {
    std::string t = "^^  >>  ";
    if (const char *root = std::getenv("OBRVLIB")) {
      const std::string path = std::string(root) + "/data/exception_vars";
      if (std::FILE *f = std::fopen(path.c_str(), "r")) {
        char line[kMaxExceptions + 1];
        if (std::fgets(line, sizeof line, f)) {
          t = line;
          if (!t.empty() && t.back() == '\n') t.pop_back();
        }
        std::fclose(f);
      }
    }
    return t;
  }();
  return text;
}

std::string level_column(int ip1, const char *nomvar) {
  if (nomvar && std::strstr(level_exceptions().c_str(), nomvar)) return format("%12d   ", ip1);
  coding::DecodedLevel level;
  coding::LevelFailure failure;
  if (!coding::decode_level(ip1, true, &level, &failure)) {
    // A code the level coding refuses is shown raw rather than ending the
    // process from a listing.
    return format("%12d   ", ip1);
  }
  if (level.kind21_notice) {
    std::string ignored;
    coding::level_text(ip1, &ignored, stdout);
  }
  std::string text = coding::format_level(ip1, level, 15);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  std::string field(15, ' ');
  if (text.empty()) return field;
  const size_t end = std::isdigit(static_cast<unsigned char>(text.back())) ? 12 : 15;
  const size_t start = text.size() >= end ? 0 : end - text.size();
  field.replace(start, std::min(text.size(), 15 - start), text.substr(0, 15 - start));
  return field;
}

std::string listing_line(const uint32_t *entry, const char *text, const char *options,
                         bool header) {
  stdf_key_strings k;
  crack_std_parms(entry, &k);
  const Descriptor d = Descriptor::from_entry(entry);

  const bool c_nomv = !has(options, "NONOMV");
  const bool c_typv = !has(options, "NOTYPV");
  const bool c_etiq = !has(options, "NOETIQ");
  const bool c_dims = has(options, "NINJNK");
  // The origin date shows with either word (DATESTAMPO also asks for it).
  const bool c_dateo = has(options, "DATEO") || has(options, "DATESTAMPO");
  const bool c_stampo = has(options, "DATESTAMPO");
  const bool c_datev = has(options, "DATEV");
  const bool c_level = has(options, "LEVEL");
  const bool c_ip1 = has(options, "IP1");
  const bool c_ip23 = !has(options, "NOIP23");
  const bool c_deet = !has(options, "NODEET");
  const bool c_npas = !has(options, "NONPAS");
  const bool c_dty = !has(options, "NODTY");
  const bool c_gridinfo = has(options, "GRIDINFO");
  const bool c_ig1234 = has(options, "IG1234");

  std::string out;
  if (header) {
    const char *grid = c_gridinfo ? "G    XG1    XG2     XG3     XG4"
                                  : (c_ig1234 ? "G   IG1   IG2   IG3   IG4" : "");
    out +=
        format("\n       %s %s %s %s %s %s %s %s %s %s %s %s  %s  %s\n\n", c_nomv ? "NOMV" : "",
               c_typv ? "TV" : "", c_etiq ? "ETIQUETTE   " : "", c_dims ? "   NI    NJ    NK" : "",
               c_dateo ? "(DATE-O  h m s)" : "", c_stampo ? "  STAMP-O" : "",
               c_datev ? "(DATE-V  h m s)   STAMP-V" : "", c_level ? "       LEVEL   " : "",
               c_ip1 ? "      IP1" : "", c_ip23 ? "   IP2   IP3" : "", c_deet ? "    DEET" : "",
               c_npas ? "    NPAS" : "", c_dty ? "DTY" : "", grid);
  }

  const std::string nomv = c_nomv ? format("%4s", k.nomvar) : "";
  const std::string typv = c_typv ? format("%2s", k.typvar) : "";
  const std::string etiq = c_etiq ? format("%12s", k.etiket) : "";
  const std::string dims = c_dims ? format("%5d %5d %5d", d.ni, d.nj, d.nk) : "";
  std::string dateo, stampo, datev;
  if (c_dateo) {
    int date = 0, time = 0;
    date_time(k.dateo, &date, &time);
    dateo = format("%08d %06d", date, time);
  }
  if (c_stampo) stampo = format("%09d", k.dateo);
  if (c_datev) {
    int date = 0, time = 0;
    date_time(k.datev, &date, &time);
    datev = format("%08d %06d %09d", date, time, k.datev);
  }
  const std::string level = c_level ? level_column(d.ip1, k.nomvar) : "";
  const std::string ip1 = c_ip1 ? format("%9d", d.ip1) : "";
  const std::string ip23 = c_ip23 ? format("%6d %5d", d.ip2, d.ip3) : "";
  const std::string deet = c_deet ? format("%8d", d.deet) : "";
  const std::string npas = c_npas ? format("%8d", d.npas) : "";
  const std::string dty = c_dty ? format("%1c%2d", datyp_letter(d.datyp), d.nbits) : "";
  std::string grid;
  if (c_gridinfo) {
    char g[2] = {k.gtyp[0], '\0'};
    char p1[7], p2[7], p3[8], p4[8];
    int ig1 = d.ig1, ig2 = d.ig2, ig3 = d.ig3, ig4 = d.ig4;
    igapg_(g, p1, p2, p3, p4, &ig1, &ig2, &ig3, &ig4, 1, 7, 7, 8, 8);
    grid = format("%1s %6s %6s %7s %7s", k.gtyp, cut(p1, 7, 6).c_str(), cut(p2, 7, 6).c_str(),
                  cut(p3, 8, 7).c_str(), cut(p4, 8, 7).c_str());
  } else if (c_ig1234) {
    grid = format("%1s %5d %5d %5d %5d", k.gtyp, d.ig1, d.ig2, d.ig3, d.ig4);
  }
  out += format("%s %s %s %s %s %s %s %s %s %s %s %s %s  %s  %s\n", text ? text : "", nomv.c_str(),
                typv.c_str(), etiq.c_str(), dims.c_str(), dateo.c_str(), stampo.c_str(),
                datev.c_str(), level.c_str(), ip1.c_str(), ip23.c_str(), deet.c_str(), npas.c_str(),
                dty.c_str(), grid.c_str());
  return out;
}

}  // namespace zep::stdfile

using namespace zep::stdfile;

extern "C" {

void print_std_parms(const uint32_t *entry, const char *text, const char *options, int header) {
  const std::string line = listing_line(entry, text, options, header != 0);
  std::fwrite(line.data(), 1, line.size(), stdout);
}

int c_vktvoi(int iun, const char *options) {
  const int index = check_open_unit(iun, "c_vktvoi");
  if (index < 0) return index;
  zep::xdf::FileEntry *f = zep::xdf::open_entry(index);
  const int row = zep::xdf::fnom_index(iun);
  if (!f || row < 0 || !zep::io::file_entry(row).has(zep::io::kAttrStd))
    return zep::xdf::report("c_vktvoi", zep::xdf::ERR_NOT_OPEN, zep::xdf::ERROR,
                            "file (unit=%d) is not a ZEP standard file", iun);
  const char *opts = options ? options : "";
  const int words = f->entry_words();
  int listed = 0;
  auto list_entry = [&](const uint32_t *entry) {
    char text[32];
    std::snprintf(text, sizeof text, "%5d-", listed);
    print_std_parms(entry, text, opts, listed % 70 == 0);
    ++listed;
  };
  // An entry shorter than a standard one is widened with zeros.
  std::vector<uint32_t> entry(std::max(words, kEntryWords), 0);

  if (!f->xdf_seq) {
    for (const auto &page : f->dir_page) {
      if (!page || page->primary_len != f->primary_len) continue;
      const size_t capacity =
          (page->image.size() - zep::xdf::kDirPageHeaderWords) / static_cast<size_t>(words);
      const int count =
          std::min<int>(page->entry_count(), static_cast<int>(std::min<size_t>(capacity, 256)));
      for (int i = 0; i < count; ++i) {
        const uint32_t *e = page->entry(i);
        if (zep::xdf::RecordHeader::type_of(e[0]) >= 0x70) continue;
        std::copy(e, e + words, entry.begin());
        list_entry(entry.data());
      }
    }
  } else if (f->old_format) {
    // Old sequential headers are converted by the directory-file search,
    // which walks them from the start (and moves the unit's position).
    uint32_t keys[kKeyWords] = {}, mask[kKeyWords] = {};
    for (int h = c_xdfloc2(iun, 0, keys, kKeyWords, mask); h >= 0;
         h = c_xdfloc(iun, -1, nullptr, 0)) {
      std::fill(entry.begin(), entry.end(), 0);
      int addr = 0, lng = 0, type = 0;
      if (c_xdfprm(h, &addr, &lng, &type, entry.data() + 2, kKeyWords) < 0) break;
      list_entry(entry.data());
    }
  } else {
    // Record headers one after the other from the first record; trailers
    // (type 0) and deleted records are stepped over, an end mark or the end
    // of the file stops the walk.
    int64_t addr = f->seq_bof;
    for (;;) {
      std::fill(entry.begin(), entry.end(), 0);
      if (addr < 1 || addr > 0x7FFFFFFF) break;
      const int got = c_waread2(iun, entry.data(), static_cast<unsigned>(addr), words);
      if (got < 2) break;
      const uint32_t type = zep::xdf::RecordHeader::type_of(entry[0]);
      const uint32_t length = zep::xdf::RecordHeader::length_of(entry[0]);
      if (length == 0 || (type >= 0x70 && type < 0x80)) break;
      if (type != 0 && type < 0x70 && got >= words) list_entry(entry.data());
      addr += 2 * static_cast<int64_t>(length);
    }
  }

  const zep::io::FileEntry &fe = zep::io::file_entry(row);
  std::printf("\nSTATISTICS for file %s, unit=%d\n\n", fe.file_name.c_str(), iun);
  const char *version = f->old_format ? "Version 1989" : "Version 1998";
  if (!f->xdf_seq) {
    if (!f->old_format) {
      const zep::xdf::FileHeader &h = f->header;
      std::printf("Number of directory entries \t %d\n", static_cast<int>(h.valid_count));
      std::printf("Number of valid records     \t %d\n", listed);
      std::printf("File size                   \t %d Words\n", static_cast<int>(2 * h.file_size));
      std::printf("Number of writes            \t %d\n", static_cast<int>(h.extension_count));
      std::printf("Number of rewrites          \t %d\n", static_cast<int>(h.rewrite_count));
      std::printf("Number of erasures          \t %d\n",
                  static_cast<int>(h.erasure_count - h.rewrite_count));
    }
    std::printf("\n%d records in random ZEP standard file (%s)\n\n", listed, version);
  } else {
    std::printf("%d records in sequential ZEP standard file (%s)\n", listed, version);
  }
  return 0;
}

}  // extern "C"
