// Threads that fill text buffers, handed back in queue order.
#include "app/ordered_pool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sched.h>

namespace zep::app {

int usable_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

int threads_from_setting(const char *setting, int fallback) {
  if (setting == nullptr) return fallback;
  errno = 0;
  char *end = nullptr;
  const long long n = std::strtoll(setting, &end, 10);
  if (end == setting) return fallback;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return fallback;
  if (errno == ERANGE) return n > 0 ? kMaxThreads : fallback;
  if (n <= 0) return fallback;
  return n > kMaxThreads ? kMaxThreads : static_cast<int>(n);
}

OrderedPool::OrderedPool(int threads, size_t buffers, Sink sink, void *context)
    : buffers_(buffers > 0 ? buffers : 1), sink_(sink), context_(context) {
  for (size_t i = buffers_.size(); i > 0; --i) free_.push_back(static_cast<int>(i - 1));
  const int n = threads > 0 ? threads : 1;
  threads_.reserve(static_cast<size_t>(n));
  try {
    for (int i = 0; i < n; ++i) threads_.emplace_back([this] { work(); });
  } catch (...) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    work_ready_.notify_all();
    for (auto &t : threads_) t.join();
    throw;
  }
}

OrderedPool::~OrderedPool() {
  drain();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  for (auto &t : threads_) t.join();
}

void OrderedPool::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stop_ || can_format(); });
    if (!can_format()) return;  // stopped, with every piece passed on
    format_next(&lock);
  }
}

void OrderedPool::format_next(std::unique_lock<std::mutex> *lock) {
  Piece &p = piece(next_);
  p.taken = true;
  while (next_ != tail_ && piece(next_).taken) ++next_;
  p.buffer = free_.back();
  free_.pop_back();
  Buffer &b = buffers_[static_cast<size_t>(p.buffer)];
  lock->unlock();
  bool made = true;
  try {
    if (b.capacity < p.room) {
      b.text.reset();
      b.text.reset(new char[p.room]);
      b.capacity = p.room;
    }
    p.length = p.fill(p.data, p.count, b.text.get());
  } catch (const std::bad_alloc &) {
    p.length = 0;  // passed on empty, and said so by lost()
    made = false;
  }
  lock->lock();
  if (!made) lost_ = true;
  p.done = true;
  progress_.notify_all();
  pass_on(lock);
}

// Passes on every made text whose turn has come: the head's, when it is
// made, and those made after it meanwhile. The buffers go back as they are
// written, so that the other threads go on formatting.
void OrderedPool::pass_on(std::unique_lock<std::mutex> *lock) {
  if (writing_) return;  // the thread passing texts on takes these in turn
  writing_ = true;
  while (head_ != tail_ && pieces_.front().done) {
    Piece &p = pieces_.front();
    const char *text =
        p.buffer >= 0 ? buffers_[static_cast<size_t>(p.buffer)].text.get() : p.ready.data();
    lock->unlock();
    sink_(context_, text, p.length);
    lock->lock();
    if (p.buffer >= 0) {
      free_.push_back(p.buffer);
      work_ready_.notify_one();
    }
    pieces_.pop_front();
    ++head_;
  }
  writing_ = false;
  progress_.notify_all();
}

template <typename Until>
void OrderedPool::help_until(Until until) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!until()) {
    if (!writing_ && head_ != tail_ && pieces_.front().done) {
      pass_on(&lock);
    } else if (can_format()) {
      format_next(&lock);
    } else {
      progress_.wait(lock);
    }
  }
}

void OrderedPool::queue_text(const char *text, size_t length) {
  help_until([this] { return tail_ - head_ < kMaxQueued; });
  std::lock_guard<std::mutex> lock(mutex_);
  Piece &p = pieces_.emplace_back();
  p.ready.assign(text, length);
  p.length = length;
  p.taken = p.done = true;
  if (next_ == tail_) ++next_;  // nothing to format before it
  ++tail_;
}

void OrderedPool::queue(Fill fill, const void *data, size_t count, size_t room) {
  help_until([this] { return tail_ - head_ < kMaxQueued; });
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Piece &p = pieces_.emplace_back();
    p.fill = fill;
    p.data = data;
    p.count = count;
    p.room = room;
    ++tail_;
  }
  work_ready_.notify_one();
}

void OrderedPool::drain() { wait_for(tail_); }

void OrderedPool::wait_for(uint64_t ticket) {
  help_until([this, ticket] { return head_ >= ticket; });
}

}  // namespace zep::app
