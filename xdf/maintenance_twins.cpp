// By-reference entry points of the maintenance calls: they dereference
// their arguments, turn fixed-length blank-padded strings into terminated
// text (and back) and forward.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "zep/xdf_maint.h"

namespace zep::xdf {
namespace {

// Four characters of a field (fewer when it is shorter), trailing blanks
// kept, as terminated text.
std::string chars4(const char *field, size_t len) {
  return std::string(zep::until_nul(zep::field_view(field, len, 4)));
}

}  // namespace
}  // namespace zep::xdf

using namespace zep::xdf;

extern "C" {

int xdfsta_(int *iun, int32_t *stats, int *nstat, uint32_t *pri, int *npri, uint32_t *aux,
            int *naux, char *version_out, char *appl_out, size_t version_len, size_t appl_len) {
  char version[5] = {}, appl[5] = {};
  const int rc = c_xdfsta(*iun, stats, *nstat, pri, *npri, aux, *naux, version, appl);
  if (rc >= 0) {
    zep::fill_field(version_out, version_len, version);
    zep::fill_field(appl_out, appl_len, appl);
  }
  return rc;
}

int xdfimp_(int *iun, const int32_t *stats, int *nstat, const uint32_t *pri, const uint32_t *aux,
            const char *version, const char *appl, size_t version_len, size_t appl_len) {
  const std::string v = chars4(version, version_len), a = chars4(appl, appl_len);
  return c_xdfimp(*iun, stats, *nstat, pri, aux, v.c_str(), a.c_str());
}

int qdfdiag_(int *iun) { return c_qdfdiag(*iun); }

int qdfrstr_(int *source_unit, int *dest_unit) { return c_qdfrstr(*source_unit, *dest_unit); }

int xdfuse_(int *source_unit, int *dest_unit) { return c_xdfuse(*source_unit, *dest_unit); }

int qdfput_(uint32_t *words, uint32_t *value, int *bitpos, int *nbits) {
  return c_qdfput(words, *value, *bitpos, *nbits);
}

}  // extern "C"
