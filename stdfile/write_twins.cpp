// By-reference entries of the record writer: dereference, copy the
// fixed-length names into terminated blank-filled text, forward.
#include <cstddef>

#include "zep/stdfile_write.h"

namespace {

// At most `width` characters of a fixed-length argument of `len` bytes.
void fixed_name(const char *src, size_t len, char *dst, int width) {
  int i = 0;
  for (; i < width && static_cast<size_t>(i) < len && src != nullptr; ++i) dst[i] = src[i];
  for (; i < width; ++i) dst[i] = ' ';
  dst[width] = '\0';
}

}  // namespace

extern "C" {

int vktecr_(void *field, void *work, int *npak, int *iun, int *date, int *deet, int *npas,
            int *ni, int *nj, int *nk, int *ip1, int *ip2, int *ip3, const char *typvar,
            const char *nomvar, const char *etiket, const char *grtyp, int *ig1, int *ig2,
            int *ig3, int *ig4, int *datyp, int *rewrit, size_t ltypvar, size_t lnomvar,
            size_t letiket, size_t lgrtyp) {
  char t[3], n[5], e[13], g[2];
  fixed_name(typvar, ltypvar, t, 2);
  fixed_name(nomvar, lnomvar, n, 4);
  fixed_name(etiket, letiket, e, 12);
  fixed_name(grtyp, lgrtyp, g, 1);
  return c_vktecr(field, work, *npak, *iun, *date, *deet, *npas, *ni, *nj, *nk, *ip1, *ip2,
                  *ip3, t, n, e, g, *ig1, *ig2, *ig3, *ig4, *datyp, *rewrit);
}

int vkteff_(int *handle) { return c_vkteff(*handle); }

int vktckp_(int *iun) { return c_vktckp(*iun); }

}  // extern "C"
