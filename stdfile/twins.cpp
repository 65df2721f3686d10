// By-reference entries of the standard-file layer: each turns its
// fixed-length blank-padded strings into terminated text and forwards.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "zep/stdfile.h"

extern "C" {

int vktprm_(int *handle, int *dateo, int *deet, int *npas, int *ni, int *nj, int *nk, int *nbits,
            int *datyp, int *ip1, int *ip2, int *ip3, char *typvar, char *nomvar, char *etiket,
            char *grtyp, int *ig1, int *ig2, int *ig3, int *ig4, int *swa, int *lng, int *dltf,
            int *ubc, int *extra1, int *extra2, int *extra3, size_t ltypvar, size_t lnomvar,
            size_t letiket, size_t lgrtyp) {
  char t[3] = "  ", n[5] = "    ", e[13] = "            ", g[2] = " ";
  const int status =
      c_vktprm(*handle, dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3, t, n, e, g, ig1,
               ig2, ig3, ig4, swa, lng, dltf, ubc, extra1, extra2, extra3);
  zep::copy_back(typvar, ltypvar, zep::until_nul(zep::field_view(t, 2)));
  zep::copy_back(nomvar, lnomvar, zep::until_nul(zep::field_view(n, 4)));
  zep::copy_back(etiket, letiket, zep::until_nul(zep::field_view(e, 12)));
  zep::copy_back(grtyp, lgrtyp, zep::until_nul(zep::field_view(g, 1)));
  return status;
}

int vktouv_(int *iun, const char *options, size_t loptions) {
  return c_vktouv(*iun, std::string(zep::field_view(options, loptions, loptions)).c_str());
}

int vktfrm_(int *iun) { return c_vktfrm(*iun); }
int vktnbr_(int *iun) { return c_vktnbr(*iun); }
int vkt_version_(void) { return c_vkt_version(); }

int vktopc_(const char *option, const char *value, int *getmode, size_t loption, size_t lvalue) {
  return c_vktopc(std::string(zep::trim_blanks(zep::field_view(option, loption, 16))).c_str(),
                  std::string(zep::trim_blanks(zep::field_view(value, lvalue, 128))).c_str(),
                  *getmode);
}

int vktopi_(const char *option, int *value, int *getmode, size_t loption) {
  return c_vktopi(zep::padded_field(option, loption, 6).c_str(), *value, *getmode);
}

int vktopl_(const char *option, int *value, int *getmode, size_t loption) {
  return c_vktopl(std::string(zep::field_view(option, loption, 16)).c_str(), *value, *getmode);
}

int vktopr_(const char *option, float *value, int *getmode, size_t loption) {
  return c_vktopr(std::string(zep::field_view(option, loption, 6)).c_str(), *value, *getmode);
}

int vktinf_(int *iun, int *ni, int *nj, int *nk, int *datev, const char *etiket, int *ip1, int *ip2,
            int *ip3, const char *typvar, const char *nomvar, size_t letiket, size_t ltypvar,
            size_t lnomvar) {
  return c_vktinf(*iun, ni, nj, nk, *datev, zep::padded_field(etiket, letiket, 12).c_str(), *ip1,
                  *ip2, *ip3, zep::padded_field(typvar, ltypvar, 2).c_str(),
                  zep::padded_field(nomvar, lnomvar, 4).c_str());
}

int vktinfx_(int *handle, int *iun, int *ni, int *nj, int *nk, int *datev, const char *etiket,
             int *ip1, int *ip2, int *ip3, const char *typvar, const char *nomvar, size_t letiket,
             size_t ltypvar, size_t lnomvar) {
  return c_vktinfx(*handle, *iun, ni, nj, nk, *datev,
                   zep::padded_field(etiket, letiket, 12).c_str(), *ip1, *ip2, *ip3,
                   zep::padded_field(typvar, ltypvar, 2).c_str(),
                   zep::padded_field(nomvar, lnomvar, 4).c_str());
}

int vktsui_(int *iun, int *ni, int *nj, int *nk) { return c_vktsui(*iun, ni, nj, nk); }

int vktinl_(int *iun, int *ni, int *nj, int *nk, int *datev, const char *etiket, int *ip1, int *ip2,
            int *ip3, const char *typvar, const char *nomvar, int *liste, int *infon, int *nmax,
            size_t letiket, size_t ltypvar, size_t lnomvar) {
  return c_vktinl(*iun, ni, nj, nk, *datev, zep::padded_field(etiket, letiket, 12).c_str(), *ip1,
                  *ip2, *ip3, zep::padded_field(typvar, ltypvar, 2).c_str(),
                  zep::padded_field(nomvar, lnomvar, 4).c_str(), liste, infon, *nmax);
}

int vktmsq_(int *iun, int *mip1, int *mip2, int *mip3, char *metiket, int *getmode,
            size_t lmetiket) {
  std::string e = zep::padded_field(metiket, lmetiket, 12);
  int m1 = *mip1, m2 = *mip2, m3 = *mip3;
  const int status = c_vktmsq(*iun, &m1, &m2, &m3, e.data(), *getmode);
  if (*getmode) {
    *mip1 = m1;
    *mip2 = m2;
    *mip3 = m3;
    zep::copy_back(metiket, lmetiket, zep::until_nul(zep::field_view(e.data(), e.size(), 12)));
  }
  return status;
}

int vktluk_(void *field, int *handle, int *ni, int *nj, int *nk) {
  return c_vktluk(field, *handle, ni, nj, nk);
}

int vktlir_(void *field, int *iun, int *ni, int *nj, int *nk, int *datev, const char *etiket,
            int *ip1, int *ip2, int *ip3, const char *typvar, const char *nomvar, size_t letiket,
            size_t ltypvar, size_t lnomvar) {
  return c_vktlir(field, *iun, ni, nj, nk, *datev, zep::padded_field(etiket, letiket, 12).c_str(),
                  *ip1, *ip2, *ip3, zep::padded_field(typvar, ltypvar, 2).c_str(),
                  zep::padded_field(nomvar, lnomvar, 4).c_str());
}

int vktlirx_(void *field, int *handle, int *iun, int *ni, int *nj, int *nk, int *datev,
             const char *etiket, int *ip1, int *ip2, int *ip3, const char *typvar,
             const char *nomvar, size_t letiket, size_t ltypvar, size_t lnomvar) {
  return c_vktlirx(field, *handle, *iun, ni, nj, nk, *datev,
                   zep::padded_field(etiket, letiket, 12).c_str(), *ip1, *ip2, *ip3,
                   zep::padded_field(typvar, ltypvar, 2).c_str(),
                   zep::padded_field(nomvar, lnomvar, 4).c_str());
}

int vktlis_(void *field, int *iun, int *ni, int *nj, int *nk) {
  return c_vktlis(field, *iun, ni, nj, nk);
}

int vktlic_(void *field, int *iun, int *ni, int *nj, int *nk, int *datev, const char *etiket,
            int *ip1, int *ip2, int *ip3, const char *typvar, const char *nomvar, int *ig1,
            int *ig2, int *ig3, int *ig4, const char *grtyp, size_t letiket, size_t ltypvar,
            size_t lnomvar, size_t lgrtyp) {
  return c_vktlic(field, *iun, *ni, *nj, *nk, *datev,
                  zep::padded_field(etiket, letiket, 12).c_str(), *ip1, *ip2, *ip3,
                  zep::padded_field(typvar, ltypvar, 2).c_str(),
                  zep::padded_field(nomvar, lnomvar, 4).c_str(), *ig1, *ig2, *ig3, *ig4,
                  std::string(zep::field_view(grtyp, lgrtyp, 1)).c_str());
}

int vktvoi_(int *iun, const char *options, size_t loptions) {
  return c_vktvoi(*iun, std::string(zep::field_view(options, loptions, 79)).c_str());
}

}  // extern "C"
