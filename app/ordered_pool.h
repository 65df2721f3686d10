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
#include <deque>
#include <memory>
#include <mutex>
#include <string>
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
  // threads or the caller's (within queue(), wait_for() or drain()).
  using Sink = void (*)(void *context, const char *text, size_t length);

  // Pieces queued and not yet passed to the sink, past which queue() waits.
  static constexpr size_t kMaxQueued = 4096;

  // Starts `threads` threads (at least 1), which the caller's thread joins
  // in queue(), wait_for() and drain(). At most `buffers` texts (at least 1)
  // are formatted and not yet passed to the sink at once; pieces queued
  // beyond them wait for a buffer, without holding one. Throws
  // std::system_error when a thread cannot be started (none is left
  // running).
  OrderedPool(int threads, size_t buffers, Sink sink, void *context);
  // Finishes the pieces queued and passes them to the sink, then ends the
  // threads.
  ~OrderedPool();

  OrderedPool(const OrderedPool &) = delete;
  OrderedPool &operator=(const OrderedPool &) = delete;

  int threads() const { return static_cast<int>(threads_.size()); }

  // Queues a piece whose text needs at most `room` bytes and returns at
  // once (unless kMaxQueued pieces wait: then it formats pieces, or waits,
  // until fewer do). `data` must stay valid until the piece's text has been
  // passed to the sink.
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

  // Formats pieces no thread has taken and passes texts on, then waits until
  // every piece queued has been passed to the sink. The sink is then not
  // called again before the next queue().
  void drain();

  // True once a text could not be made for want of memory (it was passed on
  // empty, in its turn).
  bool lost() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lost_;
  }

 private:
  struct Piece {
    Fill fill = nullptr;
    const void *data = nullptr;
    size_t count = 0;
    size_t room = 0;
    bool taken = false;  // a thread formats it, or it came ready-made
    bool done = false;   // its text is made
    int buffer = -1;     // the text buffer it was formatted into
    size_t length = 0;
    std::string ready;  // a ready-made text
  };
  struct Buffer {
    std::unique_ptr<char[]> text;
    size_t capacity = 0;
  };

  void work();
  // True when the piece at next_ may be formatted now (one is waiting and a
  // buffer is free).
  bool can_format() const { return next_ != tail_ && !free_.empty(); }
  // Formats the piece at next_, then passes on the texts whose turn has
  // come unless another thread does. Called and returns with the lock held.
  void format_next(std::unique_lock<std::mutex> *lock);
  // Passes on every made text at the head, unless another thread does.
  void pass_on(std::unique_lock<std::mutex> *lock);
  // Helps (passing texts on, formatting) or waits until `until` holds.
  template <typename Until>
  void help_until(Until until);
  Piece &piece(uint64_t n) { return pieces_[static_cast<size_t>(n - head_)]; }

  // Pieces head_ <= n < tail_, pieces_.front() being head_'s; those from
  // next_ on are not taken yet. One thread at a time (the one that set
  // writing_) passes texts to the sink. A reference to a piece stays valid
  // while the piece is queued (a deque grows and shrinks at its ends only).
  std::deque<Piece> pieces_;
  std::vector<Buffer> buffers_;
  std::vector<int> free_;  // buffers no piece holds
  Sink sink_;
  void *context_;
  uint64_t head_ = 0, next_ = 0, tail_ = 0;
  bool writing_ = false;
  bool stop_ = false;
  bool lost_ = false;
  std::mutex mutex_;
  // work_ready_: a piece or a buffer became available (or the pool stops);
  // progress_: a text was made or passed on.
  std::condition_variable work_ready_, progress_;
  std::vector<std::thread> threads_;
};

}  // namespace zep::app
