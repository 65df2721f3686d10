// The data type letters, the key builders lent to the directory-file layer,
// crack_std_parms and c_vktprm (the entry codec is xdf/std_entry.cpp).
#include "stdfile/descriptor.h"

#include <algorithm>
#include <cstring>

#include "xdf/table.h"
#include "zep/coding.h"
#include "zep/xdf.h"
#include "common/fixed_text.h"

namespace zep::stdfile {

char datyp_letter(int datyp) {
  switch (datyp) {
    case DataType::kRawBits: return 'X';
    case DataType::kPackedReal: return 'R';
    case DataType::kUnsigned: return 'I';
    case DataType::kCharacters: return 'C';
    case DataType::kSigned: return 'S';
    case DataType::kIeee: return 'E';
    case DataType::kFloatPacker: return 'F';
    case DataType::kPackedRealCompressed: return 'r';
    case DataType::kFloatPackerCompressed: return 'f';
    default: return '?';
  }
}

bool datyp_is_valid(int datyp) { return datyp_letter(datyp) != '?'; }

}  // namespace zep::stdfile

extern "C" {

int build_vktd_prim_keys(uint32_t *entry, uint32_t *keys, uint32_t *mask, uint32_t *mask_keys,
                         int file_index, int mode) {
  // Words copied: 2 x (primary length in units - 1), at most the 16 key words.
  int nwords = zep::stdfile::kKeyWords;
  if (const zep::xdf::FileEntry *f = zep::xdf::open_entry(file_index); f && f->primary_len > 0)
    nwords = std::clamp(2 * (f->primary_len - 1), 0, zep::stdfile::kKeyWords);
  if (mask) mask[0] = mask[1] = 0;
  if (mode == 1) {
    for (int i = 0; i < nwords; ++i) {
      entry[i + 2] = keys[i];
      if (mask) mask[i + 2] = mask_keys ? mask_keys[i] : zep::xdf::kAllOnes;
    }
  } else {
    for (int i = 0; i < nwords; ++i) keys[i] = entry[i + 2];
  }
  return 0;
}

int build_vktd_info_keys(uint32_t *, uint32_t *, int, int) { return 0; }

void crack_std_parms(const uint32_t *entry, stdf_key_strings *out) {
  const zep::stdfile::Descriptor d = zep::stdfile::Descriptor::from_entry(entry);
  std::memcpy(out->etiket, d.etiket.data(), 12);
  out->etiket[12] = '\0';
  std::memcpy(out->nomvar, d.nomvar.data(), 4);
  out->nomvar[4] = '\0';
  std::memcpy(out->typvar, d.typvar.data(), 2);
  out->typvar[2] = '\0';
  out->gtyp[0] = d.grtyp;
  out->gtyp[1] = '\0';
  out->reserved1 = 0;
  out->reserved2 = 0;
  out->ig2 = d.ig2;
  out->datev = d.datev;
  out->dateo = d.datev;
  // The product stays the 32-bit unsigned one; the hours are negated in
  // double precision so the origin moves back, never 136 years forward.
  const uint32_t seconds = static_cast<uint32_t>(d.deet) * static_cast<uint32_t>(d.npas);
  if (seconds != 0) {
    double hours = -(static_cast<double>(seconds) / 3600.0);
    int valid = d.datev;
    int origin = 0;
    incdatr_(&origin, &valid, &hours);
    out->dateo = origin;
  }
}

}  // extern "C"

namespace zep::stdfile {
namespace {

// Copies as many characters of `from` (at most `width`) as `to` holds
// before its NUL; writes no NUL.
void fill_caller_text(char *to, const char *from, size_t width) {
  if (!to) return;
  const size_t n = strnlen(to, width);
  std::memcpy(to, from, n);
}

}  // namespace
}  // namespace zep::stdfile

using namespace zep::stdfile;

extern "C" int c_vktprm(int handle, int *dateo, int *deet, int *npas, int *ni, int *nj, int *nk,
                        int *nbits, int *datyp, int *ip1, int *ip2, int *ip3, char *typvar,
                        char *nomvar, char *etiket, char *grtyp, int *ig1, int *ig2, int *ig3,
                        int *ig4, int *swa, int *lng, int *dltf, int *ubc, int *extra1, int *extra2,
                        int *extra3) {
  uint32_t entry[zep::stdfile::kEntryWords] = {};
  int addr = 0, length = 0, type = 0;
  const int status = c_xdfprm(handle, &addr, &length, &type, entry + 2, zep::stdfile::kKeyWords);
  if (status < 0) return status;
  stdf_key_strings k;
  crack_std_parms(entry, &k);
  const zep::stdfile::Descriptor d = zep::stdfile::Descriptor::from_entry(entry);
  // A null place is skipped; every other output is still filled.
  const auto put = [](int *place, int value) {
    if (place != nullptr) *place = value;
  };
  put(dateo, k.dateo);
  put(deet, d.deet);
  put(npas, d.npas);
  put(ni, d.ni);
  put(nj, d.nj);
  put(nk, d.nk);
  put(nbits, d.nbits);
  put(datyp, d.datyp);
  put(ip1, d.ip1);
  put(ip2, d.ip2);
  put(ip3, d.ip3);
  fill_caller_text(typvar, k.typvar, 2);
  fill_caller_text(nomvar, k.nomvar, 4);
  fill_caller_text(etiket, k.etiket, 12);
  if (grtyp) grtyp[0] = k.gtyp[0];
  put(ig1, d.ig1);
  put(ig2, d.ig2);
  put(ig3, d.ig3);
  put(ig4, d.ig4);
  put(swa, addr);
  put(lng, 2 * length);
  put(dltf, 0);
  put(ubc, d.ubc);
  put(extra1, k.datev);
  put(extra2, 0);
  put(extra3, 0);
  return handle;
}
