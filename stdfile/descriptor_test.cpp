// The record descriptor: key tables, six-bit names, stored stamps, entry
// layout, crack_std_parms and the key builders.
#include "stdfile/descriptor.h"

#include <gtest/gtest.h>

#include <cstring>

#include "zep/coding.h"
#include "zep/stdfile.h"

namespace zep::stdfile {
namespace {

TEST(StdfKeys, NamesAndPositionsOfEveryKey) {
  const uint32_t *k = stdfkeys();
  EXPECT_EQ(k[0], 0x53463031u);  // "SF01"
  EXPECT_EQ(k[1], 0x00FFC000u);
  EXPECT_EQ(k[2 * 9], 0x53463130u);  // "SF10"
  EXPECT_EQ(k[30], 0x53463136u);     // "SF16"
  EXPECT_EQ(k[31], 0x0FFFC000u);
  for (int n = 1; n <= 16; ++n) {
    // Rightmost bit 32n - 1, width 32, type 0.
    EXPECT_EQ(k[2 * (n - 1) + 1] >> 19, static_cast<uint32_t>(32 * n - 1)) << n;
    EXPECT_EQ((k[2 * (n - 1) + 1] >> 14) & 0x1F, 31u) << n;
    EXPECT_EQ(k[2 * (n - 1) + 1] & 0x3FFF, 0u) << n;
  }
  const uint32_t *info = stdf_info_keys();
  EXPECT_EQ(info[0], 0x41584931u);
  EXPECT_EQ(info[1], 0x00FFC000u);
  EXPECT_EQ(info[2], 0x41584932u);
  EXPECT_EQ(info[3], 0x01FFC000u);
}

TEST(Ascii6, FoldsLowerCaseAndTheHighColumns) {
  EXPECT_EQ(ascii6_encode(' '), 0u);
  EXPECT_EQ(ascii6_encode('_'), 63u);
  EXPECT_EQ(ascii6_encode('A'), 33u);
  EXPECT_EQ(ascii6_encode('t'), ascii6_encode('T'));
  for (int c = 0x60; c <= 0x7F; ++c)
    EXPECT_EQ(ascii6_decode(ascii6_encode(static_cast<unsigned char>(c))), c - 0x20) << c;
  for (int c = 0x20; c <= 0x5F; ++c)
    EXPECT_EQ(ascii6_decode(ascii6_encode(static_cast<unsigned char>(c))), c) << c;
}

TEST(StoredStamp, KeepsLastDigitsZeroToSeven) {
  for (int last = 0; last <= 7; ++last) {
    const int s = 295918550 + last;
    EXPECT_EQ(stamp_from_stored(stamp_to_stored(s)), s);
  }
  EXPECT_EQ(stamp_to_stored(295918557), (29591855u << 3) | 7u);
  // 8 and 9 come back with last digit 0 and 1, the tens part raised by one.
  EXPECT_EQ(stamp_from_stored(stamp_to_stored(295918558)), 295918560);
  EXPECT_EQ(stamp_from_stored(stamp_to_stored(295918559)), 295918561);
  // -1 (the wildcard) is stored with a truncating division.
  EXPECT_EQ(stamp_to_stored(-1), 0xFFFFFFFFu);
}

TEST(EntryLayout, EveryFieldAtItsBits) {
  Descriptor d;
  d.nbits = 16;
  d.deet = 0xABCDEF;
  d.grtyp = 'Z';
  d.ni = 0x123456;
  d.datyp = 134;
  d.nj = 0x654321;
  d.ubc = 0xABC;
  d.nk = 0xFEDCB;
  d.npas = 0x3FFFFFF;
  d.ig1 = 0x111111;
  d.ig2 = 0x123456;
  d.ig3 = 0x333333;
  d.ig4 = 0x444444;
  d.ip1 = 0xFFFFFFF;
  d.ip2 = 1;
  d.ip3 = 2;
  d.datev = 295918557;
  d.etiket = "ABCDEFGHIJKL";
  d.typvar = "P";
  d.nomvar = "tt";
  uint32_t e[kEntryWords] = {};
  d.to_entry(e);
  EXPECT_EQ(e[2], 0xABCDEF10u);
  EXPECT_EQ(e[3], 0x1234565Au);
  EXPECT_EQ(e[4], 0x65432186u);
  EXPECT_EQ(e[5], 0xFEDCBABCu);
  EXPECT_EQ(e[6], 0xFFFFFFC0u);
  // ig2 = 0x123456: 0x12 in word 7, 0x34 in word 8, 0x56 in word 9.
  EXPECT_EQ(e[7], 0x44444412u);
  EXPECT_EQ(e[8], 0x11111134u);
  EXPECT_EQ(e[9], 0x33333356u);
  // 'A' = 33 at bits 26-31, 'B' = 34 at 20-25, ... 'E' = 37 at 2-7.
  EXPECT_EQ(e[10], (33u << 26) | (34u << 20) | (35u << 14) | (36u << 8) | (37u << 2));
  EXPECT_EQ(e[11], (38u << 26) | (39u << 20) | (40u << 14) | (41u << 8) | (42u << 2));
  // K, L, then typvar "P " at bits 14-19 and 8-13.
  EXPECT_EQ(e[12], (43u << 26) | (44u << 20) | (48u << 14));
  // nomvar "tt" folded to "TT  ".
  EXPECT_EQ(e[13], (52u << 26) | (52u << 20));
  EXPECT_EQ(e[14], 0xFFFFFFF0u);
  EXPECT_EQ(e[15], 0x10u);
  EXPECT_EQ(e[16], 0x20u);
  EXPECT_EQ(e[17], stamp_to_stored(295918557));

  const Descriptor back = Descriptor::from_entry(e);
  EXPECT_EQ(back.nbits, 16);
  EXPECT_EQ(back.deet, 0xABCDEF);
  EXPECT_EQ(back.grtyp, 'Z');
  EXPECT_EQ(back.ni, 0x123456);
  EXPECT_EQ(back.nj, 0x654321);
  EXPECT_EQ(back.nk, 0xFEDCB);
  EXPECT_EQ(back.ubc, 0xABC);
  EXPECT_EQ(back.npas, 0x3FFFFFF);
  EXPECT_EQ(back.ig2, 0x123456);
  EXPECT_EQ(back.ig4, 0x444444);
  EXPECT_EQ(back.ip1, 0xFFFFFFF);
  EXPECT_EQ(back.etiket, "ABCDEFGHIJKL");
  EXPECT_EQ(back.typvar, "P ");
  EXPECT_EQ(back.nomvar, "TT  ");
  EXPECT_EQ(back.datev, 295918557);
}

TEST(EntryLayout, PadBitsOfNameWordsAreKept) {
  uint32_t e[kEntryWords] = {};
  e[10] = 0x3;
  e[12] = 0xFF;
  put_etiket(e, "XYZ");
  put_typvar(e, "ab");
  EXPECT_EQ(e[10] & 0x3u, 0x3u);
  EXPECT_EQ(e[12] & 0xFFu, 0xFFu);
  // Longer texts are cut to the field width; a NUL ends a name early.
  put_nomvar(e, std::string_view("ABCDEFG"));
  EXPECT_EQ(Descriptor::from_entry(e).nomvar, "ABCD");
  put_nomvar(e, std::string_view("A\0C", 3));
  EXPECT_EQ(Descriptor::from_entry(e).nomvar, "A   ");
}

TEST(DatypLetters, ListingLettersAndValidity) {
  EXPECT_EQ(datyp_letter(0), 'X');
  EXPECT_EQ(datyp_letter(1), 'R');
  EXPECT_EQ(datyp_letter(6), 'F');
  EXPECT_EQ(datyp_letter(129), 'r');
  EXPECT_EQ(datyp_letter(134), 'f');
  EXPECT_FALSE(datyp_is_valid(7));
  EXPECT_FALSE(datyp_is_valid(130));
  EXPECT_TRUE(datyp_is_valid(3));
}

// Stamp of a printable date and time (HHMMSShh).
int stamp_of(int yyyymmdd, int hhmmsshh) {
  int stamp = 0, mode = 3;
  newdate_(&stamp, &yyyymmdd, &hhmmsshh, &mode);
  return stamp;
}

TEST(CrackStdParms, NamesDatesAndReservedFields) {
  Descriptor d;
  d.etiket = "label";
  d.nomvar = "uu";
  d.typvar = "p";
  d.grtyp = 'N';
  d.ig2 = 0x010203;
  d.datev = stamp_of(20011122, 11300000);
  uint32_t e[kEntryWords] = {};
  d.to_entry(e);
  stdf_key_strings k;
  std::memset(&k, 0x55, sizeof k);
  crack_std_parms(e, &k);
  EXPECT_STREQ(k.etiket, "LABEL       ");
  EXPECT_STREQ(k.nomvar, "UU  ");
  EXPECT_STREQ(k.typvar, "P ");
  EXPECT_STREQ(k.gtyp, "N");
  EXPECT_EQ(k.ig2, 0x010203);
  EXPECT_EQ(k.reserved1, 0);
  EXPECT_EQ(k.reserved2, 0);
  // deet x npas = 0: the origin is the valid date.
  EXPECT_EQ(k.dateo, d.datev);
  EXPECT_EQ(k.datev, d.datev);

  d.deet = 3600;
  d.npas = 6;
  d.to_entry(e);
  crack_std_parms(e, &k);
  EXPECT_EQ(k.dateo, stamp_of(20011122, 5300000));
}

TEST(CrackStdParms, HugeStepProductMovesTheOriginBack) {
  // deet x npas above 2^31: as an unsigned product it still moves back.
  Descriptor d;
  d.deet = 0xFFFFFF;
  d.npas = 300;
  d.datev = stamp_of(20200101, 0);
  uint32_t e[kEntryWords] = {};
  d.to_entry(e);
  stdf_key_strings k;
  crack_std_parms(e, &k);
  double hours = 0;
  int later = d.datev, earlier = k.dateo;
  difdatr_(&later, &earlier, &hours);
  const uint32_t seconds = 0xFFFFFFu * 300u;
  EXPECT_NEAR(hours, seconds / 3600.0, 1.0);
}

TEST(KeyBuilders, CopyKeysAndMaskVerbatim) {
  uint32_t entry[kEntryWords] = {}, mask[kEntryWords], keys[kKeyWords], mkeys[kKeyWords];
  for (int i = 0; i < kKeyWords; ++i) {
    keys[i] = 0x1000u + static_cast<uint32_t>(i);
    mkeys[i] = 0xF0F0F000u | static_cast<uint32_t>(i);
  }
  for (uint32_t &m : mask) m = 0xDEADBEEF;
  // File index 0 is never an open file: the standard 16 words are copied.
  build_vktd_prim_keys(entry, keys, mask, mkeys, 0, 1);
  EXPECT_EQ(mask[0], 0u);
  EXPECT_EQ(mask[1], 0u);
  for (int i = 0; i < kKeyWords; ++i) {
    EXPECT_EQ(entry[i + 2], keys[i]);
    EXPECT_EQ(mask[i + 2], mkeys[i]);
  }
  build_vktd_prim_keys(entry, keys, mask, nullptr, 0, 1);
  for (int i = 0; i < kKeyWords; ++i) EXPECT_EQ(mask[i + 2], 0xFFFFFFFFu);

  uint32_t out[kKeyWords] = {};
  entry[17] = 77;
  build_vktd_prim_keys(entry, out, mask, nullptr, 0, 0);
  EXPECT_EQ(out[15], 77u);
  EXPECT_EQ(out[0], keys[0]);
  EXPECT_EQ(build_vktd_info_keys(nullptr, nullptr, 0, 1), 0);
}

}  // namespace
}  // namespace zep::stdfile
