#include "common/bit_fields.h"
#include "common/big_endian.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(BigEndian, BytesOnDiskAreMostSignificantFirst) {
  unsigned char b[8];
  zep::store_be32(b, 0x01020304u);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[3], 4);
  EXPECT_EQ(zep::load_be32(b), 0x01020304u);
  zep::store_be64(b, 0x0102030405060708ull);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[7], 8);
  EXPECT_EQ(zep::load_be64(b), 0x0102030405060708ull);
  uint32_t w[2] = {0x01020304u, 0xAABBCCDDu};
  zep::swap_words_in_place(w, 2);
  zep::swap_words_in_place(w, 2);
  EXPECT_EQ(w[1], 0xAABBCCDDu);
}

TEST(BitFields, FieldsAcrossWordBoundaries) {
  uint32_t w[3] = {0, 0, 0};
  zep::put_bits(w, 28, 8, 0xABu);  // spans words 0 and 1
  EXPECT_EQ(w[0], 0x0000000Au);
  EXPECT_EQ(w[1], 0xB0000000u);
  EXPECT_EQ(zep::get_bits(w, 28, 8), 0xABu);
  zep::put_bits(w, 32, 32, 0xFFFFFFFFu);
  EXPECT_EQ(zep::get_bits(w, 28, 8), 0xAFu);  // neighbour kept, field replaced
  EXPECT_EQ(w[0], 0x0000000Au);
  zep::put_bits(w, 0, 32, 0x12345678u);
  EXPECT_EQ(zep::get_bits(w, 0, 32), 0x12345678u);
  EXPECT_EQ(zep::get_bits(w, 4, 4), 0x2u);
}

TEST(BitFields, WriterThenReaderRoundTripRandomWidths) {
  std::mt19937 rng(7);
  std::vector<std::pair<uint32_t, int>> tokens;
  uint64_t total = 0;
  for (int i = 0; i < 5000; ++i) {
    int n = 1 + static_cast<int>(rng() % 32);
    tokens.emplace_back(rng() & zep::low_mask32(n), n);
    total += n;
  }
  std::vector<uint32_t> buf((total + 31) / 32 + 1, 0);
  zep::BitWriter wr(buf.data(), buf.size(), 3);
  for (auto& t : tokens) wr.write(t.first, t.second);
  EXPECT_FALSE(wr.overrun());
  zep::BitReader rd(buf.data(), buf.size(), 3);
  for (auto& t : tokens) ASSERT_EQ(rd.read(t.second), t.first);
  EXPECT_FALSE(rd.overrun());
}

TEST(BitFields, ReaderAndWriterStopAtTheEnd) {
  uint32_t w[1] = {0xFFFFFFFFu};
  zep::BitReader rd(w, 1);
  EXPECT_EQ(rd.read(30), 0x3FFFFFFFu);
  EXPECT_EQ(rd.read(3), 0u);
  EXPECT_TRUE(rd.overrun());
  uint32_t out[1] = {0};
  zep::BitWriter wr(out, 1);
  wr.write(1, 32);
  wr.write(1, 1);
  EXPECT_TRUE(wr.overrun());
  EXPECT_EQ(out[0], 1u);
}

}  // namespace
