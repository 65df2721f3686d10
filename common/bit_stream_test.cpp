#include "common/bit_stream.h"
#include "common/big_endian.h"

#include <gtest/gtest.h>

#include <cstring>
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

// Every length around the four-word steps: each word swapped on its own,
// the words past n left alone.
TEST(BigEndian, SwapInPlaceEveryLength) {
  std::mt19937 rng(3);
  for (size_t n = 0; n <= 13; ++n) {
    std::vector<uint32_t> w(n + 1), before;
    for (uint32_t &x : w) x = rng();
    before = w;
    zep::swap_words_in_place(w.data(), n);
    for (size_t i = 0; i < n; ++i) {
      unsigned char b[4];
      std::memcpy(b, &w[i], 4);
      EXPECT_EQ(zep::load_be32(b), before[i]) << "n=" << n << " i=" << i;
      EXPECT_EQ(w[i], zep::byte_swap32(before[i]));
    }
    EXPECT_EQ(w[n], before[n]);
  }
}

TEST(BitFields, FieldsAcrossWordBoundaries) {
  uint32_t w[3] = {0, 0, 0};
  EXPECT_TRUE(zep::put_bits(w, 3, 28, 8, 0xABu));  // spans words 0 and 1
  EXPECT_EQ(w[0], 0x0000000Au);
  EXPECT_EQ(w[1], 0xB0000000u);
  EXPECT_EQ(zep::get_bits(w, 3, 28, 8), 0xABu);
  EXPECT_TRUE(zep::put_bits(w, 3, 32, 32, 0xFFFFFFFFu));
  EXPECT_EQ(zep::get_bits(w, 3, 28, 8), 0xAFu);  // neighbour kept, field replaced
  EXPECT_EQ(w[0], 0x0000000Au);
  EXPECT_EQ(w[2], 0u);
  EXPECT_TRUE(zep::put_bits(w, 3, 0, 32, 0x12345678u));
  EXPECT_EQ(zep::get_bits(w, 3, 0, 32), 0x12345678u);
  EXPECT_EQ(zep::get_bits(w, 3, 4, 4), 0x2u);
}

TEST(BitFields, FieldsOutsideTheArrayAreRefused) {
  uint32_t w[2] = {0x11111111u, 0x22222222u};
  EXPECT_FALSE(zep::put_bits(w, 2, 60, 8, 0xFFu));
  EXPECT_FALSE(zep::put_bits(w, 2, 1000, 1, 1u));
  EXPECT_EQ(w[0], 0x11111111u);
  EXPECT_EQ(w[1], 0x22222222u);
  EXPECT_EQ(zep::get_bits(w, 2, 60, 8), 0u);
  EXPECT_EQ(zep::get_bits(w, 2, 56, 8), 0x22u);  // the last field that fits
}

TEST(BitStream, WriterThenReaderRoundTripRandomWidths) {
  std::mt19937 rng(7);
  std::vector<std::pair<uint32_t, int>> tokens;
  uint64_t total = 0;
  for (int i = 0; i < 5000; ++i) {
    int n = 1 + static_cast<int>(rng() % 32);
    tokens.emplace_back(rng() & zep::low_mask32(n), n);
    total += n;
  }
  std::vector<uint32_t> buf((total + 3 + 31) / 32, 0xFFFFFFFFu);
  zep::BitWriter wr(buf.data(), buf.size(), 3);
  for (auto &t : tokens) wr.put(t.first, t.second);
  wr.finish();
  EXPECT_FALSE(wr.overrun());
  EXPECT_EQ(buf[0] >> 29, 7u);  // the bits before the start are kept
  if ((total + 3) % 32 != 0) {
    EXPECT_EQ(buf.back() & 1u, 1u);  // and those after the end
  }
  zep::BitReader rd(buf.data(), buf.size(), 3);
  for (auto &t : tokens) ASSERT_EQ(rd.read(t.second), t.first);
  EXPECT_FALSE(rd.overrun());
  EXPECT_EQ(rd.bits_left(), buf.size() * 32 - total - 3);
}

TEST(BitStream, ReaderAndWriterStopAtTheEnd) {
  uint32_t w[1] = {0xFFFFFFFFu};
  zep::BitReader rd(w, 1);
  EXPECT_EQ(rd.read(30), 0x3FFFFFFFu);
  EXPECT_FALSE(rd.overrun());
  EXPECT_EQ(rd.read(3), 0x6u);  // two bits of the word, then zeros
  EXPECT_TRUE(rd.overrun());
  EXPECT_EQ(rd.bits_left(), 0u);
  EXPECT_EQ(rd.read(32), 0u);

  zep::BitReader late(w, 1, 33);
  EXPECT_EQ(late.read(1), 0u);
  EXPECT_TRUE(late.overrun());

  uint32_t out[2] = {0, 0xABCDEF01u};
  zep::BitWriter wr(out, 1);
  wr.put(1, 32);
  EXPECT_FALSE(wr.overrun());
  wr.put(1, 1);
  wr.put(0, 31);  // a second word that does not fit
  EXPECT_TRUE(wr.overrun());
  EXPECT_EQ(out[0], 1u);
  EXPECT_EQ(out[1], 0xABCDEF01u);
  EXPECT_EQ(wr.words_written(), 1u);

  zep::BitWriter partial(out, 1, 16);
  partial.put(0xFFFF, 16);
  partial.put(1, 4);  // pending bits with no word to hold them
  partial.finish();
  EXPECT_TRUE(partial.overrun());
  EXPECT_EQ(out[1], 0xABCDEF01u);
}

TEST(BitStream, SignedTokensAreTwosComplement) {
  uint32_t w[1] = {0};
  zep::BitWriter wr(w, 1);
  wr.put(static_cast<uint32_t>(-3), 5);
  wr.put(5, 5);
  wr.put(0x10, 5);
  wr.finish();
  zep::BitReader rd(w, 1);
  EXPECT_EQ(rd.read_signed(5), -3);
  EXPECT_EQ(rd.read_signed(5), 5);
  EXPECT_EQ(rd.read_signed(5), -16);
}

// The bulk reader against one field at a time, for every width, several
// start bits and both ways of cutting a wide slot.
TEST(BitStream, BulkTokensMatchFieldByField) {
  std::mt19937 rng(11);
  std::vector<uint32_t> buf(200);
  for (auto &w : buf) w = rng();
  for (int width = 1; width <= 64; ++width) {
    for (uint64_t start : {0, 5, 31, 32}) {
      const size_t count = (buf.size() * 32 - start) / width;
      for (zep::WideSlot mode : {zep::WideSlot::kLow32, zep::WideSlot::kHigh32}) {
        std::vector<uint32_t> got(count);
        ASSERT_TRUE(zep::BitReader::read_tokens(buf.data(), buf.size(), start, width, mode, count,
                                                [&](size_t i, uint32_t t) { got[i] = t; }));
        for (size_t i = 0; i < count; ++i) {
          const uint64_t pos = start + i * width;
          uint32_t want;
          if (width <= 32) {
            want = zep::get_bits(buf.data(), buf.size(), pos, width);
          } else if (mode == zep::WideSlot::kLow32) {
            want = zep::get_bits(buf.data(), buf.size(), pos + width - 32, 32);
          } else {
            want = zep::get_bits(buf.data(), buf.size(), pos, 32);
          }
          ASSERT_EQ(got[i], want) << "width " << width << " start " << start << " token " << i;
        }
        // One token more than the words hold: refused, nothing read.
        int calls = 0;
        EXPECT_FALSE(zep::BitReader::read_tokens(buf.data(), buf.size(), start, width, mode,
                                                 count + 1, [&](size_t, uint32_t) { ++calls; }));
        EXPECT_EQ(calls, 0);
      }
    }
  }
}

// The bulk writer against one field at a time: slots wider than 32 bits
// hold the token right-aligned, the bits around the tokens are kept, and
// tokens that do not fit are refused before anything is written.
TEST(BitStream, BulkWriteMatchesFieldByField) {
  std::mt19937 rng(5);
  for (int width = 1; width <= 64; width += 3) {
    for (uint64_t start : {0, 7, 32}) {
      std::vector<uint32_t> buf(40, 0xA5A5A5A5u);
      const size_t count = (buf.size() * 32 - start - 5) / width;  // leaves 5+ bits after
      std::vector<uint32_t> tokens(count);
      for (auto &t : tokens) t = rng() & zep::low_mask32(std::min(width, 32));
      ASSERT_TRUE(zep::BitWriter::write_tokens(buf.data(), buf.size(), start, width, count,
                                               [&](size_t i) { return tokens[i]; }));
      for (size_t i = 0; i < count; ++i) {
        const uint64_t pos = start + i * width;
        if (width > 32) {
          ASSERT_EQ(zep::get_bits(buf.data(), buf.size(), pos, width - 32), 0u);
          ASSERT_EQ(zep::get_bits(buf.data(), buf.size(), pos + width - 32, 32), tokens[i]);
        } else {
          ASSERT_EQ(zep::get_bits(buf.data(), buf.size(), pos, width), tokens[i]) << width;
        }
      }
      const std::vector<uint32_t> fill(buf.size(), 0xA5A5A5A5u);
      if (start > 0) {
        EXPECT_EQ(zep::get_bits(buf.data(), buf.size(), 0, static_cast<int>(start)),
                  zep::get_bits(fill.data(), fill.size(), 0, static_cast<int>(start)));
      }
      const uint64_t end = start + count * width;
      EXPECT_EQ(zep::get_bits(buf.data(), buf.size(), end, 5),
                zep::get_bits(fill.data(), fill.size(), end, 5));

      const std::vector<uint32_t> before = buf;
      EXPECT_FALSE(zep::BitWriter::write_tokens(buf.data(), buf.size(), start, width, count + 6,
                                                [](size_t) { return 0u; }));
      EXPECT_EQ(buf, before);
    }
  }
}

}  // namespace
