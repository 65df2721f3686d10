// The standard-file entry codec (see std_entry.h for the layout).
#include "xdf/std_entry.h"

#include <algorithm>

namespace zep::xdf {
namespace std_entry {

namespace {

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

const KeyTables &key_tables() {
  static const KeyTables tables;
  return tables;
}

// Blank-padded copy of at most `width` characters of `s`.
std::string padded(std::string_view s, size_t width) {
  std::string out(width, ' ');
  const size_t n = std::min(width, s.size());
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == '\0') break;
    out[i] = s[i];
  }
  return out;
}

uint32_t code_of(const std::string &s, size_t i) {
  return ascii6_encode(static_cast<unsigned char>(s[i]));
}

}  // namespace

const uint32_t *primary_keys() { return key_tables().primary; }
const uint32_t *info_keys() { return key_tables().info; }

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

void put_etiket(uint32_t *entry, std::string_view etiket) {
  const std::string e = padded(etiket, 12);
  for (size_t i = 0; i < 12; ++i) set_code6(entry, etiket_slot(static_cast<int>(i)), code_of(e, i));
}

void put_typvar(uint32_t *entry, std::string_view typvar) {
  const std::string t = padded(typvar, 2);
  for (size_t i = 0; i < 2; ++i) set_code6(entry, typvar_slot(static_cast<int>(i)), code_of(t, i));
}

void put_nomvar(uint32_t *entry, std::string_view nomvar) {
  const std::string n = padded(nomvar, 4);
  for (size_t i = 0; i < 4; ++i) set_code6(entry, nomvar_slot(static_cast<int>(i)), code_of(n, i));
}

Descriptor Descriptor::from_entry(const uint32_t *e) {
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
  for (int i = 0; i < 12; ++i) d.etiket[i] = ascii6_decode(code6(e, etiket_slot(i)));
  for (int i = 0; i < 2; ++i) d.typvar[i] = ascii6_decode(code6(e, typvar_slot(i)));
  for (int i = 0; i < 4; ++i) d.nomvar[i] = ascii6_decode(code6(e, nomvar_slot(i)));
  d.ip1 = static_cast<int>(e[kFirstIpWord] >> 4);
  d.ip2 = static_cast<int>(e[kFirstIpWord + 1] >> 4);
  d.ip3 = static_cast<int>(e[kFirstIpWord + 2] >> 4);
  d.datev = stamp_from_stored(e[17]);
  return d;
}

void Descriptor::put_numbers(uint32_t *e) const {
  auto u = [](int v, int bits) { return static_cast<uint32_t>(v) & ((1u << bits) - 1u); };
  e[2] = u(nbits, 8) | (u(deet, 24) << 8);
  e[3] = static_cast<uint32_t>(static_cast<unsigned char>(grtyp)) | (u(ni, 24) << 8);
  e[4] = u(datyp, 8) | (u(nj, 24) << 8);
  e[5] = u(ubc, 12) | (u(nk, 20) << 12);
  e[6] = u(npas, 26) << 6;
  const uint32_t g2 = u(ig2, 24);
  e[7] = (g2 >> 16) | (u(ig4, 24) << 8);
  e[8] = ((g2 >> 8) & 0xFFu) | (u(ig1, 24) << 8);
  e[9] = (g2 & 0xFFu) | (u(ig3, 24) << 8);
  e[kFirstIpWord] = u(ip1, 28) << 4;
  e[kFirstIpWord + 1] = u(ip2, 28) << 4;
  e[kFirstIpWord + 2] = u(ip3, 28) << 4;
}

void Descriptor::to_entry(uint32_t *e) const {
  put_numbers(e);
  e[10] = e[11] = e[12] = e[13] = 0;
  put_etiket(e, etiket);
  put_typvar(e, typvar);
  put_nomvar(e, nomvar);
  e[17] = stamp_to_stored(datev);
}

}  // namespace std_entry
}  // namespace zep::xdf
