// Searches that read the record they find: c_vktlir, c_vktlirx, c_vktlis
// and c_vktlic.
#include <cstdio>
#include <cstring>

#include "stdfile/options.h"
#include "stdfile/search.h"
#include "xdf/table.h"
#include "zep/stdfile.h"

using zep::stdfile::msg_level;

extern "C" {

int c_vktlir(void *field, int iun, int *ni, int *nj, int *nk, int datev, const char *etiket,
             int ip1, int ip2, int ip3, const char *typvar, const char *nomvar) {
  return c_vktlirx(field, -2, iun, ni, nj, nk, datev, etiket, ip1, ip2, ip3, typvar, nomvar);
}

int c_vktlirx(void *field, int handle, int iun, int *ni, int *nj, int *nk, int datev,
              const char *etiket, int ip1, int ip2, int ip3, const char *typvar,
              const char *nomvar) {
  const int found =
      c_vktinfx(handle, iun, ni, nj, nk, datev, etiket, ip1, ip2, ip3, typvar, nomvar);
  if (found < 0) {
    if (msg_level() <= 2)
      std::printf("c_vktlirx: (unit=%d) record not found, errcode=%d\n", iun, found);
    return found;
  }
  const int read = c_vktluk(field, found, ni, nj, nk);
  return read < 0 ? read : found;
}

int c_vktlis(void *field, int iun, int *ni, int *nj, int *nk) {
  const int index = zep::stdfile::check_open_unit(iun, "c_vktlis");
  if (index < 0) return index;
  const int found = c_vktsui(iun, ni, nj, nk);
  if (found < 0) {
    if (msg_level() <= 2)
      std::printf("c_vktlis: (unit=%d) record not found, errcode=%d\n", iun, found);
    return found;
  }
  return c_vktluk(field, found, ni, nj, nk);
}

int c_vktlic(void *field, int iun, int ni, int nj, int nk, int datev, const char *etiket, int ip1,
             int ip2, int ip3, const char *typvar, const char *nomvar, int ig1, int ig2, int ig3,
             int ig4, const char *grtyp) {
  int fni = 0, fnj = 0, fnk = 0;
  const int found = c_vktinf(iun, &fni, &fnj, &fnk, datev, etiket, ip1, ip2, ip3, typvar, nomvar);
  if (found < 0)
    return zep::xdf::report("c_vktlic", zep::xdf::ERR_NOT_FOUND, zep::xdf::ERROR,
                            "(unit=%d) record not found", iun);
  if (fni != ni || fnj != nj || fnk != nk) {
    std::fprintf(stderr, "c_vktlic unit=%d, ni or nj or nk error:", iun);
    std::fprintf(stderr, " user ni=%d, file ni=%d\n", ni, fni);
    std::fprintf(stderr, " user nj=%d, file nj=%d\n", nj, fnj);
    std::fprintf(stderr, " user nk=%d, file nk=%d\n", nk, fnk);
    return -1;
  }
  int dateo, deet, npas, nbits, datyp, fip1, fip2, fip3;
  int fig1, fig2, fig3, fig4, swa, lng, dltf, ubc, extra1, extra2, extra3;
  char ftypvar[3] = "  ", fnomvar[5] = "    ", fetiket[13] = "            ", fgrtyp[2] = " ";
  c_vktprm(found, &dateo, &deet, &npas, &fni, &fnj, &fnk, &nbits, &datyp, &fip1, &fip2, &fip3,
           ftypvar, fnomvar, fetiket, fgrtyp, &fig1, &fig2, &fig3, &fig4, &swa, &lng, &dltf, &ubc,
           &extra1, &extra2, &extra3);
  const char *g = grtyp ? grtyp : "";
  if (std::strcmp(g, fgrtyp) == 0 && ig1 == fig1 && ig2 == fig2 && ig3 == fig3 && ig4 == fig4) {
    return c_vktlir(field, iun, &ni, &nj, &nk, datev, etiket, ip1, ip2, ip3, typvar, nomvar);
  }
  std::fprintf(stderr, "c_vktlic unit=%d, grtyp ig1 ig2 ig3 ig4 error:", iun);
  std::fprintf(stderr, " user grtyp=%s, file grtyp=%s\n", g, fgrtyp);
  std::fprintf(stderr, " user ig1=%d, file ig1=%d\n", ig1, fig1);
  std::fprintf(stderr, " user ig2=%d, file ig2=%d\n", ig2, fig2);
  std::fprintf(stderr, " user ig3=%d, file ig3=%d\n", ig3, fig3);
  std::fprintf(stderr, " user ig4=%d, file ig4=%d\n", ig4, fig4);
  return -1;
}

}  // extern "C"
