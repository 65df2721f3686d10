// Threads that fill text buffers, handed back in queue order.
#include "app/ordered_pool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

OrderedPool::OrderedPool(int threads, size_t slots, Sink sink, void *context)
    : slots_(slots > 0 ? slots : 1), sink_(sink), context_(context) {
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
    work_ready_.wait(lock, [this] { return stop_ || next_ != tail_; });
    if (next_ == tail_) return;  // stopped, and every piece taken
    format_next(&lock);
  }
}

void OrderedPool::format_next(std::unique_lock<std::mutex> *lock) {
  Slot &s = slot(next_++);
  lock->unlock();
  s.length = s.fill(s.data, s.count, s.text.get());
  lock->lock();
  s.done = true;
  if (writing_) return;  // the thread passing texts on takes this one in turn
  // Pass on every finished text whose turn has come: this one, when the
  // texts before it are gone, and those finished after it meanwhile.
  writing_ = true;
  while (head_ != tail_ && slot(head_).done) {
    Slot &w = slot(head_);
    lock->unlock();
    sink_(context_, w.text.get(), w.length);
    lock->lock();
    w.done = false;
    ++head_;
    slot_free_.notify_one();
  }
  writing_ = false;
}

// The fill of a text queued ready-made: it is in the slot already.
size_t OrderedPool::keep_text(const void *, size_t length, char *) { return length; }

void OrderedPool::queue_text(const char *text, size_t length) {
  take_slot();
  Slot &s = slot(tail_);
  reserve(&s, length);
  std::memcpy(s.text.get(), text, length);
  publish(&s, keep_text, nullptr, length);
}

void OrderedPool::queue(Fill fill, const void *data, size_t count, size_t room) {
  take_slot();
  Slot &s = slot(tail_);
  reserve(&s, room);
  publish(&s, fill, data, count);
}

void OrderedPool::take_slot() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    while (tail_ - head_ == slots_.size()) {
      if (next_ != tail_) {
        format_next(&lock);
      } else {
        slot_free_.wait(lock);
      }
    }
  }
}

// The slot at tail_ is no thread's until tail_ moves past it.
void OrderedPool::reserve(Slot *s, size_t room) {
  if (s->capacity < room) {
    s->text.reset();
    s->text.reset(new char[room]);
    s->capacity = room;
  }
}

void OrderedPool::publish(Slot *s, Fill fill, const void *data, size_t count) {
  s->fill = fill;
  s->data = data;
  s->count = count;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++tail_;
  }
  work_ready_.notify_one();
}

void OrderedPool::drain() { wait_for(tail_); }

void OrderedPool::wait_for(uint64_t ticket) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (head_ < ticket) {
    if (next_ != tail_) {
      format_next(&lock);
    } else {
      slot_free_.wait(lock);
    }
  }
}

}  // namespace zep::app
