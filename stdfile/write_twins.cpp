// By-reference entries of the record writer: dereference, copy the
// fixed-length names into terminated blank-filled text, forward.
#include <cstddef>
#include <string>

#include "common/fixed_text.h"
#include "zep/stdfile_write.h"

extern "C" {

int vktecr_(void *field, void *work, int *npak, int *iun, int *date, int *deet, int *npas, int *ni,
            int *nj, int *nk, int *ip1, int *ip2, int *ip3, const char *typvar, const char *nomvar,
            const char *etiket, const char *grtyp, int *ig1, int *ig2, int *ig3, int *ig4,
            int *datyp, int *rewrit, size_t ltypvar, size_t lnomvar, size_t letiket,
            size_t lgrtyp) {
  const std::string t = zep::padded_field(typvar, ltypvar, 2);
  const std::string n = zep::padded_field(nomvar, lnomvar, 4);
  const std::string e = zep::padded_field(etiket, letiket, 12);
  const std::string g = zep::padded_field(grtyp, lgrtyp, 1);
  return c_vktecr(field, work, *npak, *iun, *date, *deet, *npas, *ni, *nj, *nk, *ip1, *ip2, *ip3,
                  t.c_str(), n.c_str(), e.c_str(), g.c_str(), *ig1, *ig2, *ig3, *ig4, *datyp,
                  *rewrit);
}

int vkteff_(int *handle) { return c_vkteff(*handle); }

int vktckp_(int *iun) { return c_vktckp(*iun); }

}  // extern "C"
