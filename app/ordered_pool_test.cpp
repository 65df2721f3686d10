#include "app/ordered_pool.h"

#include <gtest/gtest.h>

#include <atomic>
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

// A piece's text: its items' numbers; the first item records the thread
// that formatted the piece. Pieces whose first number is a multiple of 7
// take longer, so that later pieces finish first.
struct Item {
  int number;
  std::thread::id *formatter;
};

size_t fill_numbers(const void *data, size_t count, char *out) {
  const Item *items = static_cast<const Item *>(data);
  if (items[0].number % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  *items[0].formatter = std::this_thread::get_id();
  size_t length = 0;
  for (size_t i = 0; i < count; ++i)
    length += static_cast<size_t>(std::snprintf(out + length, 16, "%d,", items[i].number));
  return length;
}

// The sink: the texts in the order received, the threads that passed them,
// and whether two calls ever overlapped.
struct Received {
  std::string text;
  std::set<std::thread::id> threads;
  std::atomic<int> inside{0};
  bool overlapped = false;
  static void sink(void *context, const char *text, size_t length) {
    Received *r = static_cast<Received *>(context);
    if (r->inside.fetch_add(1) != 0) r->overlapped = true;
    r->text.append(text, length);
    r->threads.insert(std::this_thread::get_id());
    std::this_thread::yield();
    r->inside.fetch_sub(1);
  }
};

TEST(OrderedPool, TextsReachTheSinkInQueueOrderOneAtATime) {
  constexpr int kPieces = 200, kPerPiece = 3;
  std::vector<std::thread::id> formatters(kPieces);
  std::vector<Item> items;
  for (int i = 0; i < kPieces * kPerPiece; ++i) items.push_back({i, &formatters[i / kPerPiece]});
  std::string expected;
  for (const Item &item : items) expected += std::to_string(item.number) + ",";

  Received received;
  OrderedPool pool(3, 5, Received::sink, &received);
  EXPECT_EQ(pool.threads(), 3);
  for (int i = 0; i < kPieces; ++i)
    pool.queue(fill_numbers, &items[static_cast<size_t>(i * kPerPiece)], kPerPiece, 64);
  pool.drain();
  EXPECT_EQ(received.text, expected);
  EXPECT_FALSE(received.overlapped);
  // With pieces that sleep, more than one thread formats and more than
  // one passes texts on.
  std::set<std::thread::id> distinct(formatters.begin(), formatters.end());
  EXPECT_GT(distinct.size(), 1u);
  EXPECT_GT(received.threads.size(), 1u);
}

TEST(OrderedPool, DrainWaitsForEveryTextAndSlotsGrowForLongerTexts) {
  std::vector<std::thread::id> formatters(3);
  std::vector<Item> slow = {{0, &formatters[0]}}, small = {{1, &formatters[1]}}, large;
  for (int i = 0; i < 1000; ++i) large.push_back({100000 + i, &formatters[2]});
  Received received;
  OrderedPool pool(2, 1, Received::sink, &received);
  pool.queue(fill_numbers, slow.data(), slow.size(), 8);  // sleeps
  pool.drain();
  EXPECT_EQ(received.text, "0,");
  pool.queue(fill_numbers, small.data(), small.size(), 8);
  pool.queue(fill_numbers, large.data(), large.size(), 7 * large.size() + 16);
  pool.drain();
  ASSERT_EQ(received.text.size(), 4 + 7 * large.size());
  EXPECT_EQ(received.text.substr(0, 18), "0,1,100000,100001,");
  EXPECT_EQ(received.text.substr(received.text.size() - 7), "100999,");
}

// While the pool's one thread is held up by a slow piece, the caller's
// thread formats the pieces behind it, and those wait for their turn.
std::atomic<bool> slow_piece_started{false};

size_t fill_slowly(const void *data, size_t count, char *out) {
  slow_piece_started = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  return fill_numbers(data, count, out);
}

TEST(OrderedPool, TheCallerFormatsWhileItWaits) {
  std::vector<std::thread::id> formatters(3);
  std::vector<Item> items = {{1, &formatters[0]}, {2, &formatters[1]}, {3, &formatters[2]}};
  Received received;
  OrderedPool pool(1, 2, Received::sink, &received);
  pool.queue(fill_slowly, &items[0], 1, 8);
  while (!slow_piece_started) std::this_thread::yield();
  pool.queue(fill_numbers, &items[1], 1, 8);
  pool.queue(fill_numbers, &items[2], 1, 8);  // no free slot: the caller formats item 2
  pool.drain();
  EXPECT_EQ(received.text, "1,2,3,");
  EXPECT_NE(formatters[0], std::this_thread::get_id());
  EXPECT_EQ(formatters[1], std::this_thread::get_id());
}

// Pieces still queued when the pool goes are finished and passed on before
// the threads end: the data they point to is never left to a thread after
// the pool is gone.
TEST(OrderedPool, EndingWithPiecesQueued) {
  std::vector<std::thread::id> formatters(4);
  std::vector<Item> items;
  for (int i = 0; i < 4; ++i) items.push_back({7 * i, &formatters[static_cast<size_t>(i)]});
  Received received;
  {
    OrderedPool pool(2, 4, Received::sink, &received);
    for (const Item &item : items) pool.queue(fill_numbers, &item, 1, 16);
  }
  EXPECT_EQ(received.text, "0,7,14,21,");
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

namespace {

// Ready-made texts take their turn among formatted pieces, and wait_for
// returns once every piece before its ticket is passed on.
TEST(OrderedPool, TextsQueuedReadyMadeKeepTheirTurn) {
  constexpr int kPieces = 60;
  std::vector<std::thread::id> formatters(kPieces);
  std::vector<Item> items;
  for (int i = 0; i < kPieces; ++i) items.push_back({i, &formatters[static_cast<size_t>(i)]});
  Received received;
  std::string expected;
  OrderedPool pool(2, 4, Received::sink, &received);
  for (int i = 0; i < kPieces; ++i) {
    const std::string label = "<" + std::to_string(i) + ">";
    std::string copy = label;
    pool.queue_text(copy.data(), copy.size());
    copy.assign(copy.size(), '#');  // the pool keeps its own copy
    pool.queue(fill_numbers, &items[static_cast<size_t>(i)], 1, 16);
    expected += label + std::to_string(i) + ",";
    if (i == kPieces / 2) {
      pool.wait_for(pool.ticket());  // nothing queued after it: the sink is idle
      EXPECT_EQ(received.text, expected);
    }
  }
  pool.drain();
  EXPECT_EQ(received.text, expected);
  EXPECT_FALSE(received.overlapped);
}

}  // namespace

namespace {

std::atomic<bool> held_piece_started{false}, release_held_piece{false};

size_t fill_when_released(const void *data, size_t count, char *out) {
  held_piece_started = true;
  while (!release_held_piece) std::this_thread::yield();
  return fill_numbers(data, count, out);
}

// Queuing never waits for a text buffer: while the pool's one thread is held
// up by a piece and so holds the one buffer, the caller queues a
// whole list and returns at once, formatting nothing; the pieces are then
// formatted as the buffers come back, and reach the sink in order.
TEST(OrderedPool, QueuingDoesNotWaitForBuffers) {
  constexpr int kPieces = 12;
  std::vector<std::thread::id> formatters(kPieces);
  std::vector<Item> items;
  for (int i = 0; i < kPieces; ++i) items.push_back({i + 1, &formatters[static_cast<size_t>(i)]});
  Received received;
  OrderedPool pool(1, 1, Received::sink, &received);
  pool.queue(fill_when_released, &items[0], 1, 8);
  while (!held_piece_started) std::this_thread::yield();
  for (int i = 1; i < kPieces; ++i) pool.queue(fill_numbers, &items[static_cast<size_t>(i)], 1, 8);
  for (int i = 1; i < kPieces; ++i)
    EXPECT_EQ(formatters[static_cast<size_t>(i)], std::thread::id()) << "piece " << i;
  EXPECT_EQ(received.text, "");
  release_held_piece = true;
  pool.drain();
  std::string expected;
  for (int i = 1; i <= kPieces; ++i) expected += std::to_string(i) + ",";
  EXPECT_EQ(received.text, expected);
}

}  // namespace
