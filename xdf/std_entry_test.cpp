// The standard-file entry codec: character slots, the numbers without the
// names, the key table against the header of the old layouts, data types.
#include "xdf/std_entry.h"

#include <gtest/gtest.h>

#include "xdf/format.h"
#include "xdf/old_format.h"

using namespace zep::xdf;

namespace {

TEST(StdEntrySlots, EveryCharacterHasItsOwnSixBits) {
  // Setting each character of the three names to all ones, one at a time,
  // must touch six bits no other character uses, and never the pad bits.
  uint32_t seen[std_entry::kEntryWords] = {};
  auto mark = [&](std_entry::CharSlot s) {
    uint32_t e[std_entry::kEntryWords] = {};
    std_entry::set_code6(e, s, 0x3F);
    EXPECT_EQ(std_entry::code6(e, s), 0x3Fu);
    EXPECT_EQ(e[s.word], 0x3Fu << s.shift);
    EXPECT_EQ(seen[s.word] & e[s.word], 0u) << "word " << s.word << " shift " << s.shift;
    seen[s.word] |= e[s.word];
  };
  for (int i = 0; i < 12; ++i) mark(std_entry::etiket_slot(i));
  for (int i = 0; i < 2; ++i) mark(std_entry::typvar_slot(i));
  for (int i = 0; i < 4; ++i) mark(std_entry::nomvar_slot(i));
  EXPECT_EQ(seen[10], 0xFFFFFFFCu);
  EXPECT_EQ(seen[11], 0xFFFFFFFCu);
  EXPECT_EQ(seen[12], 0xFFFFFF00u);
  EXPECT_EQ(seen[13], 0xFFFFFF00u);
}

TEST(StdEntryCodec, NumbersLeaveNamesAndStampAlone) {
  std_entry::Descriptor d;
  d.nbits = 16, d.deet = 300, d.ni = 0xFFFFFF, d.nj = 7, d.nk = 0xFFFFF, d.datyp = 134,
  d.ubc = 0xABC;
  d.npas = 0x3FFFFFF, d.ig1 = 1, d.ig2 = 0x123456, d.ig3 = 3, d.ig4 = 4, d.ip1 = 0xFFFFFFF,
  d.ip2 = 2, d.ip3 = 3, d.grtyp = 'Z';
  uint32_t e[std_entry::kEntryWords];
  for (uint32_t &w : e) w = 0xDEADBEEF;
  d.put_numbers(e);
  for (int w : {0, 1, 10, 11, 12, 13, 17}) EXPECT_EQ(e[w], 0xDEADBEEFu) << "word " << w;
  const std_entry::Descriptor back = std_entry::Descriptor::from_entry(e);
  EXPECT_EQ(back.ni, d.ni);
  EXPECT_EQ(back.nk, d.nk);
  EXPECT_EQ(back.npas, d.npas);
  EXPECT_EQ(back.ig2, d.ig2);
  EXPECT_EQ(back.ip1, d.ip1);
  EXPECT_EQ(back.datyp, 134);
  EXPECT_EQ(back.ubc, 0xABC);
  EXPECT_EQ(back.grtyp, 'Z');
  EXPECT_EQ(e[7] & 0xFFu, 0x12u);  // ig2 split over words 7, 8, 9
  EXPECT_EQ(e[8] & 0xFFu, 0x34u);
  EXPECT_EQ(e[9] & 0xFFu, 0x56u);
  // to_entry adds the names (a NUL ends one) and the stamp.
  d.etiket = std::string("ab\0cd", 5);
  d.nomvar = "tt";
  d.datev = 123456787;
  d.to_entry(e);
  const std_entry::Descriptor full = std_entry::Descriptor::from_entry(e);
  EXPECT_EQ(full.etiket, "AB          ");
  EXPECT_EQ(full.nomvar, "TT  ");
  EXPECT_EQ(full.typvar, "  ");
  EXPECT_EQ(e[17], std_entry::stamp_to_stored(123456787));
  EXPECT_EQ(full.datev, 123456787);
}

TEST(StdEntryKeys, OldLayoutsDeclareTheKeysOfANewFile) {
  // The header given to the old layouts and the keys a new standard file
  // declares come from the one table.
  FileEntry f;
  old_format::build_standard_header(f);
  ASSERT_EQ(f.header.primary_count, std_entry::kKeyWords);
  for (int n = 0; n < std_entry::kKeyWords; ++n) {
    uint32_t w[2];
    f.header.primary[n].encode(w);
    EXPECT_EQ(w[0], std_entry::primary_keys()[2 * n]);
    EXPECT_EQ(w[1], std_entry::primary_keys()[2 * n + 1]);
    EXPECT_EQ(f.header.primary[n].bit1, 32 * n + 31);
    EXPECT_EQ(f.header.primary[n].width, 32);
  }
  EXPECT_EQ(f.header.primary_len, 1 + std_entry::kKeyWords / 2);
  EXPECT_EQ(std_entry::info_keys()[0], pack_chars4("AXI1"));
  EXPECT_EQ(KeyDescriptor::decode(std_entry::info_keys() + 2).bit1, 63);
}

TEST(StdEntryTypes, CompressionFlag) {
  using std_entry::DataType;
  EXPECT_TRUE(std_entry::is_compressed(DataType::kPackedRealCompressed));
  EXPECT_TRUE(std_entry::is_compressed(DataType::kFloatPackerCompressed));
  EXPECT_FALSE(std_entry::is_compressed(DataType::kCompressionFlag));
  EXPECT_FALSE(std_entry::is_compressed(DataType::kFloatPacker));
  EXPECT_EQ(std_entry::without_compression(DataType::kPackedRealCompressed), DataType::kPackedReal);
  EXPECT_EQ(std_entry::without_compression(DataType::kFloatPackerCompressed),
            DataType::kFloatPacker);
  EXPECT_EQ(std_entry::without_compression(256 + 5), 5);  // every bit above the flag goes too
}

}  // namespace
