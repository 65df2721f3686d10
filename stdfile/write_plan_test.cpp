#include "stdfile/write.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zep::stdfile {
namespace {

Descriptor sample_request() {
  Descriptor r;
  r.deet = 300;
  r.npas = 12;
  r.ni = 10;
  r.nj = 20;
  r.nk = 1;
  r.ip1 = 12000;
  r.ip2 = 6;
  r.ip3 = 0;
  r.ig1 = 1;
  r.ig2 = 2;
  r.ig3 = 3;
  r.ig4 = 4;
  r.typvar = padded_name("P", 2);
  r.nomvar = padded_name("TT", 4);
  r.etiket = padded_name("LABEL", 12);
  r.grtyp = padded_name("Z", 1)[0];
  return r;
}

TEST(WritePlanTest, PadNameCutsAndFills) {
  char buf[13];
  pad_name("tt", buf, 4);
  EXPECT_STREQ(buf, "tt  ");
  pad_name("ABCDEFGHIJKLMNOP", buf, 12);
  EXPECT_STREQ(buf, "ABCDEFGHIJKL");
  pad_name(nullptr, buf, 2);
  EXPECT_STREQ(buf, "  ");
  pad_name("", buf, 1);
  EXPECT_STREQ(buf, " ");
  EXPECT_EQ(padded_name("tt", 4), "tt  ");
  EXPECT_EQ(padded_name("ABCDEFGHIJKLMNOP", 12), "ABCDEFGHIJKL");
  EXPECT_EQ(padded_name(nullptr, 2), "  ");
}

TEST(WritePlanTest, NbitsFromNpak) {
  EXPECT_EQ(nbits_from_npak(0), 32);
  EXPECT_EQ(nbits_from_npak(-16), 16);
  EXPECT_EQ(nbits_from_npak(-64), 64);
  EXPECT_EQ(nbits_from_npak(1), 32);
  EXPECT_EQ(nbits_from_npak(2), 16);
  EXPECT_EQ(nbits_from_npak(3), 10);
  EXPECT_EQ(nbits_from_npak(40), 1);      // at least one bit
  EXPECT_EQ(nbits_from_npak(-100), 100);  // refused later by the range check
}

TEST(WritePlanTest, RangesCheckedInOrderWithTheirBounds) {
  Descriptor r = sample_request();
  EXPECT_FALSE(check_ranges(r, 16).has_value());

  r.ni = 0;
  auto e = check_ranges(r, 16);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->message(), "ni = 0 must be between 1 and 16777215");

  // ni is reported before a later bad field.
  r.ip3 = -5;
  EXPECT_EQ(check_ranges(r, 16)->name, "ni");

  r = sample_request();
  r.nk = 1048576;
  EXPECT_EQ(check_ranges(r, 16)->message(), "nk = 1048576 must be between 1 and 1048575");
  r = sample_request();
  r.deet = 16777216;
  EXPECT_EQ(check_ranges(r, 16)->name, "deet");
  r = sample_request();
  r.npas = -1;
  EXPECT_EQ(check_ranges(r, 16)->message(), "npas = -1 must be between 0 and 16777215");
  r = sample_request();
  EXPECT_EQ(check_ranges(r, 65)->message(), "nbits = 65 must be between 1 and 64");
  EXPECT_FALSE(check_ranges(r, 64).has_value());
  r.ig2 = 16777216;
  EXPECT_EQ(check_ranges(r, 16)->name, "ig2");
  r = sample_request();
  r.ig4 = -1;
  EXPECT_EQ(check_ranges(r, 16)->name, "ig4");
  r = sample_request();
  r.ip1 = 268435456;
  EXPECT_EQ(check_ranges(r, 16)->message(), "ip1 = 268435456 must be between 0 and 268435455");
  r = sample_request();
  r.ip1 = 268435455;
  r.ig1 = 16777215;
  EXPECT_FALSE(check_ranges(r, 16).has_value());
}

TEST(WritePlanTest, NpakZeroOrOneWritesRawWords) {
  auto p = plan_datyp(1, 0, 32, 0, 1, false);
  EXPECT_EQ(p.datyp, 0);
  EXPECT_EQ(p.nbits, 32);
  p = plan_datyp(6, 1, 32, 128, 1, false);
  EXPECT_EQ(p.datyp, 0);
  EXPECT_TRUE(p.warnings.empty());
}

TEST(WritePlanTest, CompressionFlagAndExtraCompression) {
  // More than 16 bits drops the flag.
  EXPECT_EQ(plan_datyp(129, -24, 24, 0, 1, false).datyp, 1);
  EXPECT_EQ(plan_datyp(129, -16, 16, 0, 1, false).datyp, 129);
  // VKT_COMPRESS: datyp 1 of 12 bits becomes 129, of 24 bits stays 1.
  EXPECT_EQ(plan_datyp(1, -12, 12, 128, 1, false).datyp, 129);
  EXPECT_EQ(plan_datyp(1, -24, 24, 128, 1, false).datyp, 1);
  EXPECT_EQ(plan_datyp(6, -16, 16, 128, 1, false).datyp, 134);
  // Only the packed reals take the flag: the others stay valid codes.
  for (int d : {0, 2, 3, 4, 5}) {
    const auto p = plan_datyp(d, -8, 8, 128, 1, false);
    EXPECT_EQ(p.datyp, d) << d;
  }
  // Already compressed types are left alone.
  EXPECT_EQ(plan_datyp(134, -8, 8, 128, 1, false).datyp, 134);
}

TEST(WritePlanTest, CompressedRecordsOfSeveralLevelsGoUncompressed) {
  EXPECT_EQ(plan_datyp(129, -12, 12, 0, 3, false).datyp, 1);
  EXPECT_EQ(plan_datyp(134, -12, 12, 0, 2, false).datyp, 6);
  EXPECT_EQ(plan_datyp(1, -12, 12, 128, 2, false).datyp, 1);
}

TEST(WritePlanTest, FloatPackerWidthsBeyond16) {
  auto p = plan_datyp(6, -20, 20, 0, 1, false);
  EXPECT_EQ(p.datyp, 1);
  EXPECT_EQ(p.nbits, 20);
  ASSERT_EQ(p.warnings.size(), 1u);
  EXPECT_EQ(p.warnings[0], "c_vktecr WARNING: nbits > 16, writing R20 instead of F20\n");

  p = plan_datyp(6, -32, 32, 0, 1, false);
  EXPECT_EQ(p.datyp, 5);
  EXPECT_EQ(p.nbits, 32);
  ASSERT_EQ(p.warnings.size(), 1u);
  EXPECT_EQ(p.warnings[0], "c_vktecr WARNING: nbits > 16, writing E32 instead of F32\n");

  p = plan_datyp(134, -24, 24, 128, 1, false);
  EXPECT_EQ(p.datyp, 1);
  EXPECT_EQ(p.warnings.size(), 1u);
  p = plan_datyp(6, -16, 16, 0, 1, false);
  EXPECT_EQ(p.datyp, 6);
  EXPECT_TRUE(p.warnings.empty());
}

TEST(WritePlanTest, DoublesAndCharacters) {
  auto p = plan_datyp(801, -16, 16, 0, 1, false);
  EXPECT_EQ(p.datyp, 1);
  EXPECT_TRUE(p.use_double);
  p = plan_datyp(801, -12, 12, 128, 1, false);
  EXPECT_EQ(p.datyp, 129);
  EXPECT_TRUE(p.use_double);
  EXPECT_FALSE(plan_datyp(1, -16, 16, 0, 1, false).use_double);
  EXPECT_TRUE(plan_datyp(1, -16, 16, 0, 1, true).use_double);
  // Characters are stored on 8 bits whatever the request.
  EXPECT_EQ(plan_datyp(3, -1, 1, 0, 1, false).nbits, 8);
  EXPECT_EQ(plan_datyp(3, -32, 32, 0, 1, false).nbits, 8);
}

TEST(WritePlanTest, WidthsThePackersCannotHold) {
  EXPECT_EQ(check_datyp_width(1, 40)->message(), "nbits = 40 must be between 1 and 32");
  EXPECT_TRUE(check_datyp_width(129, 33).has_value());
  EXPECT_TRUE(check_datyp_width(2, 64).has_value());
  EXPECT_TRUE(check_datyp_width(4, 33).has_value());
  EXPECT_TRUE(check_datyp_width(5, 48).has_value());
  EXPECT_FALSE(check_datyp_width(5, 64).has_value());
  EXPECT_FALSE(check_datyp_width(5, 16).has_value());
  EXPECT_FALSE(check_datyp_width(1, 32).has_value());
  EXPECT_FALSE(check_datyp_width(0, 64).has_value());
}

TEST(WritePlanTest, DataRoomPerDatyp) {
  // datyp 1, 100 values of 16 bits: (1600 + 183) / 64 = 27 units.
  EXPECT_EQ(data_words(1, 100, 16), 54);
  // Integers: 10 values of 12 bits: (120 + 183) / 64 = 4 units.
  EXPECT_EQ(data_words(2, 10, 12), 8);
  // Float packer, 5 values: 12 header bytes + 12 stream bytes.
  EXPECT_EQ(data_words(6, 5, 16), 2 * ((24 * 8 + 63) / 64));
  EXPECT_EQ(data_words(134, 5, 16), 2 * ((24 * 8 + 95) / 64));
  // Compressed reals reserve 16 bits a value at least.
  EXPECT_EQ(data_words(129, 100, 8), 2 * ((1600 + 223) / 64));
  for (int d : {0, 1, 2, 3, 4, 5, 6, 129, 134}) EXPECT_EQ(data_words(d, 7, 9) % 2, 0) << d;
}

TEST(WritePlanTest, RecordSizeLimit) {
  EXPECT_FALSE(check_record_size(2 * kMaxRecordUnits).has_value());
  auto e = check_record_size(2 * kMaxRecordUnits + 2);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->value, kMaxRecordUnits + 1);
  EXPECT_NE(e->message().find("must be between 1 and 16777215"), std::string::npos);
}

TEST(WritePlanTest, EntryWords) {
  Descriptor r = sample_request();
  r.ig2 = 70000;  // 0x011170
  r.nomvar = padded_name("tt", 4);
  r.typvar = padded_name("p`", 2);  // 0x60 folds onto 0x40
  uint32_t e[18];
  std::memset(e, 0xAB, sizeof e);
  r.nbits = 16;
  r.datyp = 134;
  r.datev = 123456789;
  build_entry(r, e);
  EXPECT_EQ(e[0], 0x01FFFFFFu);
  EXPECT_EQ(e[1], 0xFFFFFFFFu);
  EXPECT_EQ(e[2], (300u << 8) | 16u);
  EXPECT_EQ(e[3], (10u << 8) | 'Z');
  EXPECT_EQ(e[4], (20u << 8) | 134u);
  EXPECT_EQ(e[5], 1u << 12);
  EXPECT_EQ(e[6], 12u << 6);
  EXPECT_EQ(e[7], (4u << 8) | 0x01u);
  EXPECT_EQ(e[8], (1u << 8) | 0x11u);
  EXPECT_EQ(e[9], (3u << 8) | 0x70u);
  // nomvar "TT  ": T is 0x54 - 32 = 52.
  EXPECT_EQ(e[13], (52u << 26) | (52u << 20));
  // typvar: 'P' = 48, '`' folds to '@' = 32; etiket chars 11 and 12 blank.
  EXPECT_EQ(e[12], (48u << 14) | (32u << 8));
  // etiket "LABEL": L=44, A=33, B=34, E=37, L=44.
  EXPECT_EQ(e[10], (44u << 26) | (33u << 20) | (34u << 14) | (37u << 8) | (44u << 2));
  EXPECT_EQ(e[11], 0u);
  EXPECT_EQ(e[14], 12000u << 4);
  EXPECT_EQ(e[15], 6u << 4);
  EXPECT_EQ(e[16], 0u);
  EXPECT_EQ(e[17], (123456789u / 10) * 8 + 9);
  // The whole of ig2 comes back from its three bytes.
  EXPECT_EQ(((e[7] & 0xFF) << 16) | ((e[8] & 0xFF) << 8) | (e[9] & 0xFF), 70000u);
}

TEST(WritePlanTest, EntryKeepsLargestFields) {
  Descriptor r = sample_request();
  r.ni = r.nj = r.deet = r.ig1 = r.ig2 = r.ig3 = r.ig4 = 16777215;
  r.nk = 1048575;
  r.npas = 16777215;
  r.ip1 = r.ip2 = r.ip3 = 268435455;
  uint32_t e[18];
  r.nbits = 64;
  r.datyp = 5;
  r.datev = 0;
  build_entry(r, e);
  EXPECT_EQ(e[2], 0xFFFFFF40u);
  EXPECT_EQ(e[3] >> 8, 16777215u);
  EXPECT_EQ(e[5] >> 12, 1048575u);
  EXPECT_EQ(e[6] >> 6, 16777215u);
  EXPECT_EQ(e[7], 0xFFFFFFFFu);
  EXPECT_EQ(e[14] >> 4, 268435455u);
}

}  // namespace
}  // namespace zep::stdfile
