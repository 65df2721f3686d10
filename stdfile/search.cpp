// Record search of standard files: criteria to key image and mask, the
// searches c_vktinf, c_vktinfx, c_vktsui, c_vktinl, the selection mask
// c_vktmsq and the chain of linked units.
#include "stdfile/search.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/file_table.h"
#include "stdfile/descriptor.h"
#include "stdfile/options.h"
#include "xdf/table.h"
#include "zep/stdfile.h"
#include "zep/xdf.h"
#include "common/fixed_text.h"

namespace zep::stdfile {

namespace {

constexpr int kMaxLinks = 1024;

// Units most recently linked by vktlnk_.
struct LinkList {
  std::vector<int> units;
};

LinkList &link_list() {
  static LinkList list;
  return list;
}

std::string padded(const char *s, size_t width) {
  return zep::blank_padded(s ? std::string_view(s, strnlen(s, width)) : std::string_view(), width);
}

bool all_blank(const std::string &s) { return s.find_first_not_of(' ') == std::string::npos; }

// Dimensions of the record of `handle` from its key words.
void dimensions_of(int handle, int *ni, int *nj, int *nk) {
  uint32_t entry[kEntryWords] = {};
  int addr = 0, lng = 0, type = 0;
  if (c_xdfprm(handle, &addr, &lng, &type, entry + 2, kKeyWords) < 0) return;
  // A caller that passes no place for a dimension does not get it.
  if (ni != nullptr) *ni = static_cast<int>(entry[3] >> 8);
  if (nj != nullptr) *nj = static_cast<int>(entry[4] >> 8);
  if (nk != nullptr) *nk = static_cast<int>(entry[5] >> 12);
}

}  // namespace

void make_search_keys(const SearchCriteria &c, uint32_t *keys, uint32_t *mask) {
  for (int i = 0; i < kEntryWords; ++i) {
    keys[i] = 0;
    mask[i] = xdf::kAllOnes;
  }
  // Never compared: the directory words, the sizes, dates of origin and
  // grid words, the pads, and the last digit of the stored stamp.
  for (int i = 0; i <= 9; ++i) mask[i] = 0;
  mask[10] &= ~0x3u;
  mask[11] &= ~0x3u;
  mask[12] &= ~0xFFu;
  mask[13] &= ~0xFFu;
  mask[14] &= ~0xFu;
  mask[15] &= ~0xFu;
  mask[16] &= ~0xFu;
  mask[17] &= ~0x7u;

  keys[17] = stamp_to_stored(c.datev);
  if (c.datev == -1) mask[17] = 0;
  const int ips[3] = {c.ip1, c.ip2, c.ip3};
  for (int i = 0; i < 3; ++i) {
    keys[14 + i] = static_cast<uint32_t>(ips[i]) << 4;
    if (ips[i] == -1) mask[14 + i] = 0;
  }

  const std::string etiket = padded(c.etiket, 12);
  const std::string typvar = padded(c.typvar, 2);
  const std::string nomvar = padded(c.nomvar, 4);
  put_etiket(keys, etiket);
  put_typvar(keys, typvar);
  put_nomvar(keys, nomvar);
  if ((keys[13] >> 8) == 0) mask[13] &= 0xFFu;
  if (((keys[12] >> 8) & 0xFFFu) == 0) mask[12] &= ~0xFFF00u;
  // Characters 11 and 12 are compared only when one of 1..10 is not blank.
  if (all_blank(etiket.substr(0, 10))) {
    mask[10] = 0;
    mask[11] = 0;
    mask[12] &= 0xFFFFFu;
  }
}

int check_open_unit(int iun, const char *module) {
  if (xdf::fnom_index(iun) < 0)
    return xdf::report(module, xdf::ERR_NOT_FNOM, xdf::ERROR,
                       "file (unit=%d) is not connected with fnom", iun);
  const int index = xdf::file_index(iun);
  if (index < 0)
    return xdf::report(module, xdf::ERR_NOT_OPEN, xdf::ERROR, "file (unit=%d) is not open", iun);
  return index;
}

}  // namespace zep::stdfile

using namespace zep::stdfile;

extern "C" {

int c_vktinf(int iun, int *ni, int *nj, int *nk, int datev, const char *etiket, int ip1, int ip2,
             int ip3, const char *typvar, const char *nomvar) {
  return c_vktinfx(-2, iun, ni, nj, nk, datev, etiket, ip1, ip2, ip3, typvar, nomvar);
}

int c_vktinfx(int handle, int iun, int *ni, int *nj, int *nk, int datev, const char *etiket,
              int ip1, int ip2, int ip3, const char *typvar, const char *nomvar) {
  const std::string e = padded(etiket, 12), t = padded(typvar, 2), n = padded(nomvar, 4);
  if (msg_level() == 0)
    std::printf(
        "Debug vktinf iun %d recherche: datev=%d etiket=[%s] ip1=%d ip2=%d ip3=%d "
        "typvar=[%s] nomvar=[%s]\n",
        iun, datev, e.c_str(), ip1, ip2, ip3, t.c_str(), n.c_str());
  const int index = check_open_unit(iun, "c_vktinf");
  if (index < 0) return index;

  uint32_t keys[kEntryWords], mask[kEntryWords];
  make_search_keys(SearchCriteria{datev, e.c_str(), ip1, ip2, ip3, t.c_str(), n.c_str()}, keys,
                   mask);

  int start = handle;
  if (handle == -2) {
    const zep::xdf::FileEntry *f = zep::xdf::open_entry(index);
    start = (f && f->xdf_seq) ? -1 : 0;
  } else if (handle > 0 && zep::xdf::Handle::index_of(handle) != index) {
    return zep::xdf::report("c_vktinfx", zep::xdf::ERR_BAD_HANDLE, zep::xdf::ERROR,
                            "invalid handle=%d, or iun=%d", handle, iun);
  }
  const int found = c_xdfloc2(iun, start, keys + 2, kKeyWords, mask + 2);
  if (found < 0) {
    if (msg_level() == 0)
      std::printf("c_vktinf: (unit=%d) record not found, errcode=%d\n", iun, found);
    return found;
  }
  dimensions_of(found, ni, nj, nk);
  return found;
}

int c_vktsui(int iun, int *ni, int *nj, int *nk) {
  const int found = c_xdfloc(iun, -1, nullptr, 0);
  if (found < 0) {
    if (msg_level() == 0) std::printf("c_vktsui: record not found, errcode=%d\n", found);
    return found;
  }
  dimensions_of(found, ni, nj, nk);
  return found;
}

int c_vktinl(int iun, int *ni, int *nj, int *nk, int datev, const char *etiket, int ip1, int ip2,
             int ip3, const char *typvar, const char *nomvar, int *liste, int *infon, int nmax) {
  if (msg_level() == 0) {
    const std::string e = padded(etiket, 12), t = padded(typvar, 2), n = padded(nomvar, 4);
    std::printf(
        "Debug vktinl iun %d recherche: datev=%d etiket=[%s] ip1=%d ip2=%d ip3=%d "
        "typvar=[%s] nomvar=[%s]\n",
        iun, datev, e.c_str(), ip1, ip2, ip3, t.c_str(), n.c_str());
  }
  int count = 0;
  int cur_ni = 0, cur_nj = 0, cur_nk = 0;
  int best_ni = 0, best_nj = 0, best_nk = 0;
  int64_t best = -1;
  int h = c_vktinf(iun, &cur_ni, &cur_nj, &cur_nk, datev, etiket, ip1, ip2, ip3, typvar, nomvar);
  // Handles go to `liste`: without one, none is listed.
  if (liste == nullptr) nmax = 0;
  while (h >= 0 && count < nmax) {
    // 24, 24 and 20 bits from the file: the plane is capped so that the
    // product stays inside 64 bits.
    const int64_t size =
        std::min<int64_t>(static_cast<int64_t>(cur_ni) * cur_nj, int64_t{1} << 40) * cur_nk;
    if (size > best) {
      best = size;
      best_ni = cur_ni;
      best_nj = cur_nj;
      best_nk = cur_nk;
    }
    liste[count++] = h;
    if (count >= nmax) break;
    h = c_vktsui(iun, &cur_ni, &cur_nj, &cur_nk);
  }
  if (count == 0 && h >= 0) {  // nmax 0: the first match's dimensions
    best_ni = cur_ni;
    best_nj = cur_nj;
    best_nk = cur_nk;
  }
  if (count > 0 || h >= 0) {
    if (ni != nullptr) *ni = best_ni;
    if (nj != nullptr) *nj = best_nj;
    if (nk != nullptr) *nk = best_nk;
  }
  if (infon != nullptr) *infon = count;
  if (msg_level() == 0) std::printf("Debug vktinl nombre trouve=%d nmax=%d\n", count, nmax);
  return 0;
}

int c_vktmsq(int iun, int *mip1, int *mip2, int *mip3, char *metiket, int getmode) {
  const int index = zep::xdf::file_index(iun);
  zep::xdf::FileEntry *f = zep::xdf::open_entry(index);
  if (index < 0 || !f)
    return zep::xdf::report("c_vktmsq", zep::xdf::ERR_NOT_OPEN, zep::xdf::ERROR,
                            "file (unit=%d) is not open", iun);
  const int row = zep::xdf::fnom_index(iun);
  if (row < 0 || !zep::io::file_entry(row).has(zep::io::kAttrStd))
    return zep::xdf::report("c_vktmsq", zep::xdf::ERR_NOT_OPEN, zep::xdf::ERROR,
                            "file (unit=%d) is not a ZEP standard file", iun);
  auto &m = f->srch_mask;
  int *mips[3] = {mip1, mip2, mip3};
  if (getmode) {
    for (int k = 0; k < 3; ++k)
      *mips[k] = static_cast<int>((m[zep::xdf::std_entry::kFirstIpWord + k] >> 4) ^
                                  zep::xdf::std_entry::kIpMask);
    for (int i = 0; i < 12; ++i) {
      const uint32_t bits =
          zep::xdf::std_entry::code6(m.data(), zep::xdf::std_entry::etiket_slot(i));
      const bool compared = i < 11 ? (bits & 1u) != 0 : bits == 0x3Fu;
      metiket[i] = compared ? ' ' : '*';
    }
    metiket[12] = '\0';
  } else {
    for (int k = 0; k < 3; ++k)
      m[zep::xdf::std_entry::kFirstIpWord + k] = (m[zep::xdf::std_entry::kFirstIpWord + k] & 0xFu) |
                                                 (~static_cast<uint32_t>(*mips[k]) << 4);
    bool ended = false;
    for (int i = 0; i < 12; ++i) {
      if (!ended && (!metiket || metiket[i] == '\0')) ended = true;
      const bool ignored = !ended && metiket[i] == '*';
      zep::xdf::std_entry::set_code6(m.data(), zep::xdf::std_entry::etiket_slot(i),
                                     ignored ? 0 : 0x3Fu);
    }
  }
  return 0;
}

int vktlnk_(int *liste, int *n) {
  int count = *n < 0 ? 0 : (*n > kMaxLinks ? kMaxLinks : *n);
  link_list().units.assign(liste, liste + count);
  return c_xdflnk(link_list().units.data(), count);
}

int vktunl_(void) {
  std::vector<int> &units = link_list().units;
  return c_xdfunl(units.data(), static_cast<int>(units.size()));
}

}  // extern "C"
