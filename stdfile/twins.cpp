// By-reference entries of the standard-file layer: each turns its
// fixed-length blank-padded strings into terminated text and forwards.
#include <algorithm>
#include <cstring>
#include <string>

#include "zep/stdfile.h"

namespace {

// The first min(len, width) characters of s, blank-filled to `width`.
std::string blank_filled(const char* s, size_t len, size_t width) {
  std::string out(width, ' ');
  if (s) out.replace(0, std::min(len, width), s, std::min(len, width));
  return out;
}

// The first min(len, width) characters of s.
std::string cut(const char* s, size_t len, size_t width) {
  return s ? std::string(s, std::min(len, width)) : std::string();
}

std::string without_trailing_blanks(std::string s) {
  const size_t end = s.find_last_not_of(' ');
  s.erase(end == std::string::npos ? 0 : end + 1);
  return s;
}

// Copies the first min(len, width) characters of `from` into `to`.
void copy_back(char* to, size_t len, const std::string& from, size_t width) {
  if (to) std::memcpy(to, from.data(), std::min({len, width, from.size()}));
}

}  // namespace

extern "C" {

int vktprm_(int* handle, int* dateo, int* deet, int* npas, int* ni, int* nj, int* nk,
            int* nbits, int* datyp, int* ip1, int* ip2, int* ip3, char* typvar, char* nomvar,
            char* etiket, char* grtyp, int* ig1, int* ig2, int* ig3, int* ig4, int* swa,
            int* lng, int* dltf, int* ubc, int* extra1, int* extra2, int* extra3,
            size_t ltypvar, size_t lnomvar, size_t letiket, size_t lgrtyp) {
  char t[3] = "  ", n[5] = "    ", e[13] = "            ", g[2] = " ";
  const int status = c_vktprm(*handle, dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2,
                              ip3, t, n, e, g, ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, extra1,
                              extra2, extra3);
  copy_back(typvar, ltypvar, t, 2);
  copy_back(nomvar, lnomvar, n, 4);
  copy_back(etiket, letiket, e, 12);
  copy_back(grtyp, lgrtyp, g, 1);
  return status;
}

int vktouv_(int* iun, const char* options, size_t loptions) {
  return c_vktouv(*iun, cut(options, loptions, loptions).c_str());
}

int vktfrm_(int* iun) { return c_vktfrm(*iun); }
int vktnbr_(int* iun) { return c_vktnbr(*iun); }
int vkt_version_(void) { return c_vkt_version(); }

int vktopc_(const char* option, const char* value, int* getmode, size_t loption,
            size_t lvalue) {
  return c_vktopc(without_trailing_blanks(cut(option, loption, 16)).c_str(),
                  without_trailing_blanks(cut(value, lvalue, 128)).c_str(), *getmode);
}

int vktopi_(const char* option, int* value, int* getmode, size_t loption) {
  return c_vktopi(blank_filled(option, loption, 6).c_str(), *value, *getmode);
}

int vktopl_(const char* option, int* value, int* getmode, size_t loption) {
  return c_vktopl(cut(option, loption, 16).c_str(), *value, *getmode);
}

int vktopr_(const char* option, float* value, int* getmode, size_t loption) {
  return c_vktopr(cut(option, loption, 6).c_str(), *value, *getmode);
}

int vktinf_(int* iun, int* ni, int* nj, int* nk, int* datev, const char* etiket, int* ip1,
            int* ip2, int* ip3, const char* typvar, const char* nomvar, size_t letiket,
            size_t ltypvar, size_t lnomvar) {
  return c_vktinf(*iun, ni, nj, nk, *datev, blank_filled(etiket, letiket, 12).c_str(), *ip1,
                  *ip2, *ip3, blank_filled(typvar, ltypvar, 2).c_str(),
                  blank_filled(nomvar, lnomvar, 4).c_str());
}

int vktinfx_(int* handle, int* iun, int* ni, int* nj, int* nk, int* datev, const char* etiket,
             int* ip1, int* ip2, int* ip3, const char* typvar, const char* nomvar,
             size_t letiket, size_t ltypvar, size_t lnomvar) {
  return c_vktinfx(*handle, *iun, ni, nj, nk, *datev, blank_filled(etiket, letiket, 12).c_str(),
                   *ip1, *ip2, *ip3, blank_filled(typvar, ltypvar, 2).c_str(),
                   blank_filled(nomvar, lnomvar, 4).c_str());
}

int vktsui_(int* iun, int* ni, int* nj, int* nk) { return c_vktsui(*iun, ni, nj, nk); }

int vktinl_(int* iun, int* ni, int* nj, int* nk, int* datev, const char* etiket, int* ip1,
            int* ip2, int* ip3, const char* typvar, const char* nomvar, int* liste, int* infon,
            int* nmax, size_t letiket, size_t ltypvar, size_t lnomvar) {
  return c_vktinl(*iun, ni, nj, nk, *datev, blank_filled(etiket, letiket, 12).c_str(), *ip1,
                  *ip2, *ip3, blank_filled(typvar, ltypvar, 2).c_str(),
                  blank_filled(nomvar, lnomvar, 4).c_str(), liste, infon, *nmax);
}

int vktmsq_(int* iun, int* mip1, int* mip2, int* mip3, char* metiket, int* getmode,
            size_t lmetiket) {
  std::string e = blank_filled(metiket, lmetiket, 12);
  int m1 = *mip1, m2 = *mip2, m3 = *mip3;
  const int status = c_vktmsq(*iun, &m1, &m2, &m3, e.data(), *getmode);
  if (*getmode) {
    *mip1 = m1;
    *mip2 = m2;
    *mip3 = m3;
    copy_back(metiket, lmetiket, e.c_str(), 12);
  }
  return status;
}

int vktluk_(void* field, int* handle, int* ni, int* nj, int* nk) {
  return c_vktluk(field, *handle, ni, nj, nk);
}

int vktlir_(void* field, int* iun, int* ni, int* nj, int* nk, int* datev, const char* etiket,
            int* ip1, int* ip2, int* ip3, const char* typvar, const char* nomvar,
            size_t letiket, size_t ltypvar, size_t lnomvar) {
  return c_vktlir(field, *iun, ni, nj, nk, *datev, blank_filled(etiket, letiket, 12).c_str(),
                  *ip1, *ip2, *ip3, blank_filled(typvar, ltypvar, 2).c_str(),
                  blank_filled(nomvar, lnomvar, 4).c_str());
}

int vktlirx_(void* field, int* handle, int* iun, int* ni, int* nj, int* nk, int* datev,
             const char* etiket, int* ip1, int* ip2, int* ip3, const char* typvar,
             const char* nomvar, size_t letiket, size_t ltypvar, size_t lnomvar) {
  return c_vktlirx(field, *handle, *iun, ni, nj, nk, *datev,
                   blank_filled(etiket, letiket, 12).c_str(), *ip1, *ip2, *ip3,
                   blank_filled(typvar, ltypvar, 2).c_str(),
                   blank_filled(nomvar, lnomvar, 4).c_str());
}

int vktlis_(void* field, int* iun, int* ni, int* nj, int* nk) {
  return c_vktlis(field, *iun, ni, nj, nk);
}

int vktlic_(void* field, int* iun, int* ni, int* nj, int* nk, int* datev, const char* etiket,
            int* ip1, int* ip2, int* ip3, const char* typvar, const char* nomvar, int* ig1,
            int* ig2, int* ig3, int* ig4, const char* grtyp, size_t letiket, size_t ltypvar,
            size_t lnomvar, size_t lgrtyp) {
  return c_vktlic(field, *iun, *ni, *nj, *nk, *datev, blank_filled(etiket, letiket, 12).c_str(),
                  *ip1, *ip2, *ip3, blank_filled(typvar, ltypvar, 2).c_str(),
                  blank_filled(nomvar, lnomvar, 4).c_str(), *ig1, *ig2, *ig3, *ig4,
                  cut(grtyp, lgrtyp, 1).c_str());
}

int vktvoi_(int* iun, const char* options, size_t loptions) {
  return c_vktvoi(*iun, cut(options, loptions, 79).c_str());
}

}  // extern "C"
