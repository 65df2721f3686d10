// A fixed set of threads that turn pieces of work into text, each in a
// buffer of its own, and hand the texts to one sink in the order the pieces
// were queued: the converter formats a record's values chunk by chunk on
// every core and writes the chunks in document order. The caller's thread
// lends a hand while it waits (for a free slot, or for the texts to be
// passed on). A text is passed to the sink by the thread that finished it
// when its turn has come (by the thread that passes the text before it
// otherwise), so that most texts go out from the cache of the core that
// wrote them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
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
// (null) or not a whole number of 1 or more.
int threads_from_setting(const char *setting, int fallback);

class OrderedPool {
 public:
  // Writes the text of `count` items starting at `data` into `out` and
  // returns its length, which never exceeds the room the piece was queued
  // with. Called on the pool's threads, several at once.
  using Fill = size_t (*)(const void *data, size_t count, char *out);
  // Receives the texts in queue order, one call at a time, on the pool's
  // threads or the caller's (within queue() or drain()).
  using Sink = void (*)(void *context, const char *text, size_t length);

  // Starts `threads` threads (at least 1), which the caller's thread joins
  // in queue() and drain(). At most `slots` pieces (at least 1) are queued
  // and not yet passed to the sink at once. Throws
  // std::system_error when a thread cannot be started (none is left
  // running).
  OrderedPool(int threads, size_t slots, Sink sink, void *context);
  // Finishes the pieces queued and passes them to the sink, then ends the
  // threads.
  ~OrderedPool();

  OrderedPool(const OrderedPool &) = delete;
  OrderedPool &operator=(const OrderedPool &) = delete;

  int threads() const { return static_cast<int>(threads_.size()); }

  // Queues a piece whose text needs at most `room` bytes, first formatting
  // pieces no thread has taken, or waiting, until a slot is free. `data`
  // must stay valid until the piece's text has been passed to the sink.
  void queue(Fill fill, const void *data, size_t count, size_t room);
  // Queues a text already made: it is copied, and passed to the sink in its
  // turn like a formatted piece.
  void queue_text(const char *text, size_t length);

  // The number of pieces queued so far: once head() reaches it, every one of
  // them has been passed to the sink. Called by the queuing thread.
  uint64_t ticket() const { return tail_; }
  // Like drain(), but returns as soon as the pieces queued before `ticket`
  // have been passed to the sink.
  void wait_for(uint64_t ticket);

  // Formats the pieces no thread has taken, then waits until every piece
  // queued has been passed to the sink. The sink is then not called again
  // before the next queue().
  void drain();

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

  static size_t keep_text(const void *data, size_t length, char *out);
  // Waits (formatting pieces meanwhile) until the slot at tail_ is free.
  void take_slot();
  void reserve(Slot *s, size_t room);
  void publish(Slot *s, Fill fill, const void *data, size_t count);
  void work();
  // Formats the piece at next_ (next_ != tail_), then passes on the texts
  // whose turn has come unless another thread does. Called and returns
  // with the lock held.
  void format_next(std::unique_lock<std::mutex> *lock);
  Slot &slot(uint64_t n) { return slots_[n % slots_.size()]; }

  std::vector<Slot> slots_;
  Sink sink_;
  void *context_;
  // Pieces head_ <= n < tail_ are queued and not yet passed to the sink;
  // those from next_ on wait for a thread. One thread at a time (the one
  // that set writing_) passes texts to the sink.
  uint64_t head_ = 0, next_ = 0, tail_ = 0;
  bool writing_ = false;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable work_ready_, slot_free_;
  std::vector<std::thread> threads_;
};

}  // namespace zep::app
