// Turning the name and attribute string given to c_fnom into a row of the
// file table: scratch names, the '@' search path, the '%' and '+' prefixes,
// case folding, archive members, and the attribute keywords.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/file_table.h"

namespace zep::io {

namespace {

bool contains(const std::string &s, const char *a, const char *b) {
  return s.find(a) != std::string::npos || s.find(b) != std::string::npos;
}

// An all-upper-case (or caseless) name is folded to lower case; a name with
// both cases is kept as written.
std::string fold_case(const std::string &s) {
  bool upper = false, lower = false;
  for (unsigned char c : s) {
    if (c >= 'A' && c <= 'Z') upper = true;
    if (c >= 'a' && c <= 'z') lower = true;
  }
  if (upper && lower) return s;
  std::string out = s;
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

int resolve_name(FileEntry &e, const std::string &name, const std::string &attributes) {
  bool search = false;
  if (contains(attributes, "SCRATCH", "scratch")) {
    if (name.find('/') != std::string::npos) {
      std::fprintf(stderr, "c_fnom error: / is illegal in scratch file name\n");
      std::fprintf(stderr, "              specified name was %s\n", name.c_str());
      return -1;
    }
    e.set(kAttrScratch);
    std::string dir;
    if (const char *t = std::getenv("TMPDIR")) {
      dir = t;
    } else {
      std::fprintf(stderr,
                   "c_fnom warning: TMPDIR environment variable is not defined, /tmp is used\n");
      dir = "/tmp";
    }
    e.file_name = dir + "/" + std::to_string(static_cast<long>(::getpid())) + "_" + name;
  } else {
    e.set(kAttrScratch, false);
    std::string rest = name;
    bool keep_case = false;
    if (!rest.empty() && rest[0] == '@') {
      search = true;
      rest.erase(0, 1);
    } else if (!rest.empty() && rest[0] == '%') {
      e.set(kAttrSpecialName);
      rest.erase(0, 1);
    } else if (!rest.empty() && rest[0] == '+') {
      keep_case = true;
      rest.erase(0, 1);
    }
    e.file_name = keep_case ? rest : fold_case(rest);
  }

  const size_t at = e.file_name.find('@');
  if (at != std::string::npos) {
    e.subname = e.file_name.substr(at + 1);
    e.file_name.erase(at);
    e.set(kAttrOld | kAttrReadOnly);
  } else {
    e.subname.reset();
  }

  if (search) {
    const std::string candidates[] = {
        e.file_name,
        yreksio_root() + "/datafiles/constants/" + e.file_name,
        obrvlib_root() + "/data/" + e.file_name,
    };
    bool found = false;
    for (const std::string &c : candidates) {
      if (path_exists(c)) {
        e.file_name = c;
        found = true;
        break;
      }
    }
    if (!found) return -1;
  }
  return 0;
}

void parse_attributes(FileEntry &e, const std::string &a) {
  e.attr &= ~(0xFFu | kAttrOld | kAttrNotPaged);
  if (contains(a, "STREAM", "stream")) e.set(kAttrStream | kAttrRnd);
  if (contains(a, "STD", "std")) e.set(kAttrStd | kAttrRnd);
  if (contains(a, "QOLT", "qolt")) e.set(kAttrQolt | kAttrRnd);
  if (contains(a, "RND", "rnd")) e.set(kAttrRnd);
  if (contains(a, "WA", "wa")) e.set(kAttrRnd);
  if (contains(a, "FTN", "ftn")) {
    e.set(kAttrFtn);
    e.set(kAttrRnd, false);
  }
  if (contains(a, "UNF", "unf")) {
    e.set(kAttrUnf | kAttrFtn);
    e.set(kAttrRnd, false);
  }
  if (contains(a, "OLD", "old")) e.set(kAttrOld);
  if (contains(a, "R/O", "r/o")) e.set(kAttrReadOnly | kAttrOld);
  if (contains(a, "R/W", "r/w")) {
    e.set(kAttrReadOnly, false);
    e.set(kAttrRwRequested);
  }
  if (contains(a, "D77", "d77")) e.set(kAttrFtn | kAttrRnd);
  if (!e.has(kAttrStream | kAttrStd | kAttrQolt | kAttrWa | kAttrRnd)) e.set(kAttrFtn);
}

}  // namespace zep::io
