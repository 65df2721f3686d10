// Direct-access files: block addressing, the pending-transfer list and the
// refusals that leave the caller's buffer and the file alone.
#include "io/direct_access.h"

#include <algorithm>
#include <numeric>

#include "io/test_support.h"
#include "zep/io_seq.h"

namespace {

using io_test::IoTest;

constexpr int kBlock = zep::io::kDaBlockWords;

class DirectAccessTest : public IoTest {
 protected:
  void SetUp() override { zep::io::da_pending().fill(0); }
  void TearDown() override {
    zep::io::da_pending().fill(0);
    IoTest::TearDown();
  }
  // A file of `nwords` words holding 1, 2, 3, ... bound to `unit` and opened.
  void make_counting_file(int unit, int nwords) {
    std::vector<uint32_t> words(static_cast<size_t>(nwords));
    std::iota(words.begin(), words.end(), 1u);
    const std::string path = dir_.file("da" + std::to_string(unit));
    io_test::write_bytes(path, io_test::be_words(words));
    int u = unit;
    ASSERT_EQ(c_fnom(&u, path.c_str(), "RND", 0), 0);
    c_openda(unit);
  }
};

TEST_F(DirectAccessTest, BlocksCountFromOneInUnitsOf512Words) {
  make_counting_file(21, 6 * kBlock);
  std::vector<uint32_t> buf(2 * kBlock, 0);
  c_readda(21, buf.data(), 2, 3);
  c_checda(21);
  EXPECT_EQ(buf.front(), 1025u);
  EXPECT_EQ(buf.back(), 2048u);
  for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], 1025u + i) << i;

  std::vector<uint32_t> out(kBlock);
  std::iota(out.begin(), out.end(), 900000u);
  c_writda(21, out.data(), 1, 5);
  c_checda(21);
  std::vector<uint32_t> back(kBlock + 2, 0);
  ASSERT_EQ(c_waread2(21, back.data(), 4 * kBlock, kBlock + 2), kBlock + 2);
  EXPECT_EQ(back[0], 4u * kBlock);  // last word of block 4 untouched
  EXPECT_TRUE(std::equal(out.begin(), out.end(), back.begin() + 1));
  EXPECT_EQ(back[kBlock + 1], 5u * kBlock + 1);  // first word of block 6 untouched
  // The caller's buffer comes back in host order.
  EXPECT_EQ(out[0], 900000u);
  c_closda(21);
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(21)).open, 0);
}

TEST_F(DirectAccessTest, ASecondTransferBeforeTheCheckIsRefused) {
  make_counting_file(22, 4 * kBlock);
  std::vector<uint32_t> buf(kBlock, 0);
  c_readda(22, buf.data(), 1, 1);
  EXPECT_TRUE(zep::io::da_is_pending(22));
  std::vector<uint32_t> second(kBlock, 7);
  testing::internal::CaptureStderr();
  c_readda(22, second.data(), 1, 2);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "readda error: consecutive calls to readda without call to checda, iun=22 \n");
  EXPECT_TRUE(std::all_of(second.begin(), second.end(), [](uint32_t w) { return w == 7; }));

  // A write on a unit with a read pending is refused too, and writes nothing.
  testing::internal::CaptureStderr();
  c_writda(22, second.data(), 1, 1);
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "writda error: consecutive calls to writda without call to checda, iun=22 \n");
  uint32_t first = 0;
  ASSERT_EQ(c_waread2(22, &first, 1, 1), 1);
  EXPECT_EQ(first, 1u);

  c_checda(22);
  EXPECT_FALSE(zep::io::da_is_pending(22));
  c_readda(22, second.data(), 1, 2);
  EXPECT_EQ(second[0], static_cast<uint32_t>(kBlock + 1));
  c_checda(22);
  c_checda(22);  // a unit not on the list: nothing happens
  EXPECT_EQ(std::count(zep::io::da_pending().begin(), zep::io::da_pending().end(), 0),
            zep::io::kMaxDaPending);
}

TEST_F(DirectAccessTest, PendingUnitsAreKeptApart) {
  make_counting_file(23, 2 * kBlock);
  make_counting_file(24, 2 * kBlock);
  std::vector<uint32_t> a(kBlock), b(kBlock);
  c_readda(23, a.data(), 1, 1);
  c_readda(24, b.data(), 1, 2);
  EXPECT_TRUE(zep::io::da_is_pending(23));
  EXPECT_TRUE(zep::io::da_is_pending(24));
  c_checda(23);
  EXPECT_FALSE(zep::io::da_is_pending(23));
  EXPECT_TRUE(zep::io::da_is_pending(24));
  EXPECT_EQ(b[0], static_cast<uint32_t>(kBlock + 1));
}

TEST_F(DirectAccessTest, AFullListStillTransfersButDoesNotRecordTheUnit) {
  make_counting_file(25, 2 * kBlock);
  auto &list = zep::io::da_pending();
  for (int i = 0; i < zep::io::kMaxDaPending; ++i) list[i] = 500 + i;
  std::vector<uint32_t> buf(kBlock, 0);
  testing::internal::CaptureStderr();
  c_readda(25, buf.data(), 1, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            " *** readda error: recompiler avec MAXWAFILES++ \n");
  EXPECT_EQ(buf[0], static_cast<uint32_t>(kBlock + 1));
  EXPECT_FALSE(zep::io::da_is_pending(25));
  // A place freed by a check is taken by the next transfer.
  c_checda(510);
  c_readda(25, buf.data(), 1, 1);
  EXPECT_EQ(list[10], 25);
}

TEST_F(DirectAccessTest, BadSpansMoveNothing) {
  make_counting_file(26, 2 * kBlock);
  std::vector<uint32_t> buf(kBlock, 3);
  const std::vector<std::pair<int, int>> spans = {
      {1, 0}, {1, -4}, {-1, 1}, {0x7FFFFFFF, 1}, {1, 0x7FFFFFFF}};
  for (auto [nblocks, block] : spans) {
    testing::internal::CaptureStderr();
    c_readda(26, buf.data(), nblocks, block);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("readda error: invalid transfer"), std::string::npos)
        << nblocks << " " << block;
    EXPECT_FALSE(zep::io::da_is_pending(26));
  }
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint32_t w) { return w == 3; }));

  uint32_t address = 0;
  int nwords = 0;
  EXPECT_TRUE(zep::io::da_transfer_span(4, 3, &address, &nwords));
  EXPECT_EQ(address, 1025u);
  EXPECT_EQ(nwords, 2048);
  // The last block a 32-bit word count can reach, and the one after it.
  const int last_block = static_cast<int>((static_cast<int64_t>(INT32_MAX) + 1) / kBlock);
  EXPECT_TRUE(zep::io::da_transfer_span(1, last_block - 1, &address, &nwords));
  EXPECT_FALSE(zep::io::da_transfer_span(2, last_block, &address, &nwords));
}

TEST_F(DirectAccessTest, TwinsDereference) {
  make_counting_file(27, 2 * kBlock);
  std::vector<uint32_t> buf(kBlock, 0);
  int unit = 27, n = 1, block = 2;
  readda_(&unit, buf.data(), &n, &block);
  EXPECT_TRUE(zep::io::da_is_pending(27));
  checda_(&unit);
  EXPECT_FALSE(zep::io::da_is_pending(27));
  EXPECT_EQ(buf[0], static_cast<uint32_t>(kBlock + 1));
  closda_(&unit);
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(27)).open, 0);
  openda_(&unit);
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(27)).open, 1);
}

}  // namespace
