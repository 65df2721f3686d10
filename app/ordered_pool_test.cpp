#include "app/ordered_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using zep::app::kMaxThreads;
using zep::app::OrderedPool;
using zep::app::threads_from_setting;

// A piece's text: its first item's number, and the thread that wrote it
// recorded in `ids`; the early pieces sleep so that later ones finish first.
struct Item {
  int number;
  std::thread::id *writer;
};

size_t fill_numbers(const void *data, size_t count, char *out) {
  const Item *items = static_cast<const Item *>(data);
  if (items[0].number % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  *items[0].writer = std::this_thread::get_id();
  size_t length = 0;
  for (size_t i = 0; i < count; ++i)
    length += static_cast<size_t>(std::snprintf(out + length, 16, "%d,", items[i].number));
  return length;
}

TEST(OrderedPool, TextsComeBackInQueueOrderFromEveryThread) {
  constexpr int kPieces = 200, kPerPiece = 3;
  std::vector<std::thread::id> writers(kPieces);
  std::vector<Item> items;
  for (int i = 0; i < kPieces * kPerPiece; ++i) items.push_back({i, &writers[i / kPerPiece]});
  std::string expected, got;
  for (const Item &item : items) expected += std::to_string(item.number) + ",";

  OrderedPool pool(3, 5);
  EXPECT_EQ(pool.threads(), 3);
  EXPECT_TRUE(pool.empty());
  int queued = 0;
  while (queued < kPieces || !pool.empty()) {
    if (queued < kPieces && !pool.full()) {
      pool.queue(fill_numbers, &items[static_cast<size_t>(queued * kPerPiece)], kPerPiece, 64);
      ++queued;
      continue;
    }
    got += std::string(pool.oldest());
    pool.drop_oldest();
  }
  EXPECT_EQ(got, expected);
  // The caller's thread fills nothing; with pieces that sleep, more than
  // one of the pool's threads takes part.
  std::set<std::thread::id> distinct(writers.begin(), writers.end());
  EXPECT_EQ(distinct.count(std::this_thread::get_id()), 0u);
  EXPECT_GT(distinct.size(), 1u);
}

TEST(OrderedPool, SlotsHoldPiecesUntilDroppedAndGrowForLongerTexts) {
  std::vector<std::thread::id> writers(2);
  std::vector<Item> small = {{1, &writers[0]}}, large;
  for (int i = 0; i < 1000; ++i) large.push_back({100000 + i, &writers[1]});
  OrderedPool pool(1, 1);
  pool.queue(fill_numbers, small.data(), small.size(), 8);
  EXPECT_TRUE(pool.full());
  EXPECT_EQ(pool.oldest(), "1,");
  EXPECT_EQ(pool.oldest(), "1,");  // still held
  pool.drop_oldest();
  EXPECT_TRUE(pool.empty());
  pool.queue(fill_numbers, large.data(), large.size(), 7 * large.size() + 16);
  const std::string text(pool.oldest());
  EXPECT_EQ(text.size(), 7 * large.size());
  EXPECT_EQ(text.substr(0, 14), "100000,100001,");
  EXPECT_EQ(text.substr(text.size() - 7), "100999,");
  pool.drop_oldest();
}

// Pieces still queued when the pool goes are finished before the threads
// end: the data they point to is read, never left to a thread after the
// pool is gone.
TEST(OrderedPool, EndingWithPiecesQueued) {
  std::vector<std::thread::id> writers(4);
  std::vector<Item> items;
  for (int i = 0; i < 4; ++i) items.push_back({7 * i, &writers[static_cast<size_t>(i)]});
  {
    OrderedPool pool(2, 4);
    for (const Item &item : items) pool.queue(fill_numbers, &item, 1, 16);
  }
  for (const auto &id : writers) EXPECT_NE(id, std::thread::id());
}

TEST(ThreadsFromSetting, WholeNumbersClampedOthersIgnored) {
  EXPECT_EQ(threads_from_setting(nullptr, 2), 2);
  EXPECT_EQ(threads_from_setting("1", 2), 1);
  EXPECT_EQ(threads_from_setting("3", 2), 3);
  EXPECT_EQ(threads_from_setting(" 4 ", 2), 4);
  EXPECT_EQ(threads_from_setting("65", 2), kMaxThreads);
  EXPECT_EQ(threads_from_setting("99999999999999999999999", 2), kMaxThreads);
  for (const char *bad : {"", " ", "0", "-1", "-99999999999999999999999", "two", "2x", "1.5"})
    EXPECT_EQ(threads_from_setting(bad, 5), 5) << "'" << bad << "'";
}

}  // namespace
