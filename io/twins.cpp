// By-reference entry points of the low-level I/O layer: each dereferences
// its arguments, turns fixed-length blank-padded strings into terminated
// text, and forwards.
#include <cstdio>
#include <string>

#include "common/fixed_text.h"
#include "zep/io.h"

namespace zep::io {
namespace {

constexpr size_t kFieldLimit = 256;

// A fixed-length field without its trailing blanks (never below one
// character). Refuses text longer than kFieldLimit.
bool field_text(const char *who, const char *s, size_t len, std::string *out) {
  const std::string_view text = zep::trim_blanks(zep::field_view(s, len), 1);
  if (text.size() > kFieldLimit) {
    std::fprintf(stderr, "%s error: string of %zu characters is longer than %zu\n", who,
                 text.size(), kFieldLimit);
    return false;
  }
  out->assign(zep::until_nul(text));
  return true;
}

}  // namespace
}  // namespace zep::io

using namespace zep::io;

extern "C" {

int fnom_(int *iun, const char *name, const char *attributes, int *lrec, size_t name_len,
          size_t attributes_len) {
  std::string nm, at;
  if (!field_text("fnom", name, name_len, &nm) ||
      !field_text("fnom", attributes, attributes_len, &at))
    return -1;
  int unit = *iun;
  const int r = c_fnom(&unit, nm.c_str(), at.c_str(), *lrec);
  if (*iun == 0) *iun = unit;
  return r;
}

int fclos_(int *iun) { return c_fclos(*iun); }

int waopen_(int *iun) { return c_waopen(*iun); }
int waopen2_(int *iun) { return c_waopen2(*iun); }
int waclos_(int *iun) { return c_waclos2(*iun); }
int waclos2_(int *iun) { return c_waclos2(*iun); }
int wawrit2_(int *iun, void *buf, unsigned int *adr, int *nmots) {
  return c_wawrit2(*iun, buf, *adr, *nmots);
}
int wawrit_(int *iun, void *buf, unsigned int *adr, int *nmots) {
  return wawrit2_(iun, buf, adr, nmots);
}
int waread2_(int *iun, void *buf, unsigned int *adr, int *nmots) {
  return c_waread2(*iun, buf, *adr, *nmots);
}
int waread_(int *iun, void *buf, unsigned int *adr, int *nmots) {
  return waread2_(iun, buf, adr, nmots);
}
int wasize_(int *iun) { return c_wasize(*iun); }
int numblks_(int *iun) { return c_numblks(*iun); }

}  // extern "C"
