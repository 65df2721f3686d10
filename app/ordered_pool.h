// A fixed set of threads that turn pieces of work into text, each in a
// buffer of its own, handed back in the order the pieces were queued: the
// converter formats a record's values chunk by chunk on every core and
// writes the chunks in document order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace zep::app {

// Most threads the converter starts, whatever it is asked for.
constexpr int kMaxThreads = 64;

// Number of processors this process may run on (its affinity mask), at
// least 1.
int usable_cores();

// The thread count asked for by `setting` (a whole number, blanks around it
// allowed) clamped to 1..kMaxThreads; `fallback` when the setting is absent
// (null) or not a positive whole number.
int threads_from_setting(const char *setting, int fallback);

class OrderedPool {
 public:
  // Writes the text of `count` items starting at `data` into `out` and
  // returns its length, which never exceeds the room the piece was queued
  // with. Called on the pool's threads, several at once.
  using Fill = size_t (*)(const void *data, size_t count, char *out);

  // Starts `threads` threads (at least 1). At most `slots` pieces (at least
  // 1) are queued or waiting to be taken at once. Throws std::system_error
  // when a thread cannot be started (none is left running).
  OrderedPool(int threads, size_t slots);
  // Finishes the pieces already queued, then ends the threads; texts not
  // taken are dropped.
  ~OrderedPool();

  OrderedPool(const OrderedPool &) = delete;
  OrderedPool &operator=(const OrderedPool &) = delete;

  int threads() const { return static_cast<int>(threads_.size()); }
  // Every slot holds a piece: take the oldest before queueing another.
  bool full() const { return tail_ - head_ == slots_.size(); }
  bool empty() const { return tail_ == head_; }

  // Queues a piece whose text needs at most `room` bytes. `data` must stay
  // valid until the piece's text has been taken. Requires !full().
  void queue(Fill fill, const void *data, size_t count, size_t room);

  // Waits for the oldest piece and returns its text, valid until drop_oldest().
  // Requires !empty().
  std::string_view oldest();
  // Frees the oldest piece's slot for another piece.
  void drop_oldest();

 private:
  struct Slot {
    Fill fill = nullptr;
    const void *data = nullptr;
    size_t count = 0;
    std::unique_ptr<char[]> text;
    size_t capacity = 0;
    size_t length = 0;
    bool done = false;
  };

  void work();
  Slot &slot(uint64_t n) { return slots_[n % slots_.size()]; }

  std::vector<Slot> slots_;
  // Pieces head_ <= n < tail_ are held; those from next_ on wait for a
  // thread. Only the caller's thread changes head_ and tail_.
  uint64_t head_ = 0, next_ = 0, tail_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable work_ready_, piece_done_;
  std::vector<std::thread> threads_;
};

}  // namespace zep::app
