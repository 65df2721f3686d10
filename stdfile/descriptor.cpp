// Packing and unpacking of the standard record descriptor (see descriptor.h
// for the entry layout), the key builders lent to the directory-file layer,
// and crack_std_parms.
#include "stdfile/descriptor.h"

#include <algorithm>
#include <cstring>

#include "common/bit_stream.h"
#include "xdf/table.h"
#include "zep/coding.h"
#include "zep/xdf.h"
#include "common/fixed_text.h"

namespace stdfile {

namespace {

// Primary key n (1..16): name "SFnn", 32 bits ending at bit 32n - 1.
// Info keys: "AXI1", "AXI2".
struct KeyTables {
  uint32_t primary[2 * kKeyWords];
  uint32_t info[2 * kInfoWords];
  KeyTables() {
    for (int n = 1; n <= kKeyWords; ++n) {
      primary[2 * (n - 1)] = 0x53460000u | (static_cast<uint32_t>('0' + n / 10) << 8) |
                             static_cast<uint32_t>('0' + n % 10);
      primary[2 * (n - 1) + 1] = 0x00FFC000u + (static_cast<uint32_t>(n - 1) << 24);
    }
    info[0] = 0x41584931u;
    info[1] = 0x00FFC000u;
    info[2] = 0x41584932u;
    info[3] = 0x01FFC000u;
  }
};

const KeyTables& key_tables() {
  static const KeyTables tables;
  return tables;
}

// Blank-padded copy of at most `width` characters of `s`.
std::string padded(std::string_view s, size_t width) {
  return zep::blank_padded(zep::until_nul(s.substr(0, width)), width);
}

// Six-bit field of character `index` (0-based) of a name laid out from bit
// `top` downward in a word: code at bits top - 6*index .. +5.
uint32_t field6(uint32_t word, int shift) { return (word >> shift) & 0x3Fu; }

void set_field6(uint32_t* word, int shift, uint32_t code) {
  *word = (*word & ~(0x3Fu << shift)) | ((code & 0x3Fu) << shift);
}

}  // namespace

const uint32_t* stdfkeys() { return key_tables().primary; }
const uint32_t* stdf_info_keys() { return key_tables().info; }

uint32_t ascii6_encode(unsigned char c) {
  uint32_t v = c;
  if (v & 0x40u) v &= ~0x20u;
  return (v - 32u) & 0x3Fu;
}

char ascii6_decode(uint32_t code) { return static_cast<char>((code & 0x3Fu) + 32u); }

uint32_t stamp_to_stored(int32_t stamp) {
  // Truncating signed division; the result is kept as the word's bits.
  const int64_t stored = static_cast<int64_t>(stamp / 10) * 8 + stamp % 10;
  return static_cast<uint32_t>(stored);
}

int32_t stamp_from_stored(uint32_t word) {
  // Unsigned arithmetic wraps like the stored word does.
  return static_cast<int32_t>((word >> 3) * 10u + (word & 7u));
}

void put_etiket(uint32_t* entry, std::string_view etiket) {
  const std::string e = padded(etiket, 12);
  for (int i = 0; i < 5; ++i) {
    set_field6(&entry[10], 2 + 6 * (4 - i), ascii6_encode(static_cast<unsigned char>(e[i])));
    set_field6(&entry[11], 2 + 6 * (4 - i),
               ascii6_encode(static_cast<unsigned char>(e[5 + i])));
  }
  set_field6(&entry[12], 26, ascii6_encode(static_cast<unsigned char>(e[10])));
  set_field6(&entry[12], 20, ascii6_encode(static_cast<unsigned char>(e[11])));
}

void put_typvar(uint32_t* entry, std::string_view typvar) {
  const std::string t = padded(typvar, 2);
  set_field6(&entry[12], 14, ascii6_encode(static_cast<unsigned char>(t[0])));
  set_field6(&entry[12], 8, ascii6_encode(static_cast<unsigned char>(t[1])));
}

void put_nomvar(uint32_t* entry, std::string_view nomvar) {
  const std::string n = padded(nomvar, 4);
  for (int i = 0; i < 4; ++i)
    set_field6(&entry[13], 26 - 6 * i, ascii6_encode(static_cast<unsigned char>(n[i])));
}

Descriptor Descriptor::from_entry(const uint32_t* e) {
  Descriptor d;
  d.nbits = static_cast<int>(e[2] & 0xFFu);
  d.deet = static_cast<int>(e[2] >> 8);
  d.grtyp = static_cast<char>(e[3] & 0xFFu);
  d.ni = static_cast<int>(e[3] >> 8);
  d.datyp = static_cast<int>(e[4] & 0xFFu);
  d.nj = static_cast<int>(e[4] >> 8);
  d.ubc = static_cast<int>(e[5] & 0xFFFu);
  d.nk = static_cast<int>(e[5] >> 12);
  d.npas = static_cast<int>(e[6] >> 6);
  d.ig4 = static_cast<int>(e[7] >> 8);
  d.ig1 = static_cast<int>(e[8] >> 8);
  d.ig3 = static_cast<int>(e[9] >> 8);
  d.ig2 = static_cast<int>(((e[7] & 0xFFu) << 16) | ((e[8] & 0xFFu) << 8) | (e[9] & 0xFFu));
  for (int i = 0; i < 5; ++i) {
    d.etiket[i] = ascii6_decode(field6(e[10], 2 + 6 * (4 - i)));
    d.etiket[5 + i] = ascii6_decode(field6(e[11], 2 + 6 * (4 - i)));
  }
  d.etiket[10] = ascii6_decode(field6(e[12], 26));
  d.etiket[11] = ascii6_decode(field6(e[12], 20));
  d.typvar[0] = ascii6_decode(field6(e[12], 14));
  d.typvar[1] = ascii6_decode(field6(e[12], 8));
  for (int i = 0; i < 4; ++i) d.nomvar[i] = ascii6_decode(field6(e[13], 26 - 6 * i));
  d.ip1 = static_cast<int>(e[14] >> 4);
  d.ip2 = static_cast<int>(e[15] >> 4);
  d.ip3 = static_cast<int>(e[16] >> 4);
  d.datev = stamp_from_stored(e[17]);
  return d;
}

void Descriptor::to_entry(uint32_t* e) const {
  auto u = [](int v, int bits) { return static_cast<uint32_t>(v) & zep::low_mask32(bits); };
  e[2] = u(nbits, 8) | (u(deet, 24) << 8);
  e[3] = static_cast<uint32_t>(static_cast<unsigned char>(grtyp)) | (u(ni, 24) << 8);
  e[4] = u(datyp, 8) | (u(nj, 24) << 8);
  e[5] = u(ubc, 12) | (u(nk, 20) << 12);
  e[6] = u(npas, 26) << 6;
  const uint32_t g2 = u(ig2, 24);
  e[7] = (g2 >> 16) | (u(ig4, 24) << 8);
  e[8] = ((g2 >> 8) & 0xFFu) | (u(ig1, 24) << 8);
  e[9] = (g2 & 0xFFu) | (u(ig3, 24) << 8);
  e[10] = e[11] = e[12] = e[13] = 0;
  put_etiket(e, etiket);
  put_typvar(e, typvar);
  put_nomvar(e, nomvar);
  e[14] = u(ip1, 28) << 4;
  e[15] = u(ip2, 28) << 4;
  e[16] = u(ip3, 28) << 4;
  e[17] = stamp_to_stored(datev);
}

char datyp_letter(int datyp) {
  switch (datyp) {
    case 0: return 'X';
    case 1: return 'R';
    case 2: return 'I';
    case 3: return 'C';
    case 4: return 'S';
    case 5: return 'E';
    case 6: return 'F';
    case 129: return 'r';
    case 134: return 'f';
    default: return '?';
  }
}

bool datyp_is_valid(int datyp) { return datyp_letter(datyp) != '?'; }

}  // namespace stdfile

extern "C" {

int build_vktd_prim_keys(uint32_t* entry, uint32_t* keys, uint32_t* mask,
                         uint32_t* mask_keys, int file_index, int mode) {
  // Words copied: 2 x (primary length in units - 1), at most the 16 key words.
  int nwords = stdfile::kKeyWords;
  if (const xdf::FileEntry* f = xdf::open_entry(file_index); f && f->primary_len > 0)
    nwords = std::clamp(2 * (f->primary_len - 1), 0, stdfile::kKeyWords);
  if (mask) mask[0] = mask[1] = 0;
  if (mode == 1) {
    for (int i = 0; i < nwords; ++i) {
      entry[i + 2] = keys[i];
      if (mask) mask[i + 2] = mask_keys ? mask_keys[i] : 0xFFFFFFFFu;
    }
  } else {
    for (int i = 0; i < nwords; ++i) keys[i] = entry[i + 2];
  }
  return 0;
}

int build_vktd_info_keys(uint32_t*, uint32_t*, int, int) { return 0; }

void crack_std_parms(const uint32_t* entry, stdf_key_strings* out) {
  const stdfile::Descriptor d = stdfile::Descriptor::from_entry(entry);
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

namespace {

// Copies as many characters of `from` (at most `width`) as `to` holds
// before its NUL; writes no NUL.
void fill_caller_text(char* to, const char* from, size_t width) {
  if (!to) return;
  const size_t n = strnlen(to, width);
  std::memcpy(to, from, n);
}

}  // namespace

extern "C" int c_vktprm(int handle, int* dateo, int* deet, int* npas, int* ni, int* nj, int* nk,
                        int* nbits, int* datyp, int* ip1, int* ip2, int* ip3, char* typvar,
                        char* nomvar, char* etiket, char* grtyp, int* ig1, int* ig2, int* ig3,
                        int* ig4, int* swa, int* lng, int* dltf, int* ubc, int* extra1,
                        int* extra2, int* extra3) {
  uint32_t entry[stdfile::kEntryWords] = {};
  int addr = 0, length = 0, type = 0;
  const int status = c_xdfprm(handle, &addr, &length, &type, entry + 2, stdfile::kKeyWords);
  if (status < 0) return status;
  stdf_key_strings k;
  crack_std_parms(entry, &k);
  const stdfile::Descriptor d = stdfile::Descriptor::from_entry(entry);
  *dateo = k.dateo;
  *deet = d.deet;
  *npas = d.npas;
  *ni = d.ni;
  *nj = d.nj;
  *nk = d.nk;
  *nbits = d.nbits;
  *datyp = d.datyp;
  *ip1 = d.ip1;
  *ip2 = d.ip2;
  *ip3 = d.ip3;
  fill_caller_text(typvar, k.typvar, 2);
  fill_caller_text(nomvar, k.nomvar, 4);
  fill_caller_text(etiket, k.etiket, 12);
  if (grtyp) grtyp[0] = k.gtyp[0];
  *ig1 = d.ig1;
  *ig2 = d.ig2;
  *ig3 = d.ig3;
  *ig4 = d.ig4;
  *swa = addr;
  *lng = 2 * length;
  *dltf = 0;
  *ubc = d.ubc;
  *extra1 = k.datev;
  *extra2 = 0;
  *extra3 = 0;
  return handle;
}
