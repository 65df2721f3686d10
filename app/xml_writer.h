// The converter's output: a large buffer flushed to a file descriptor in
// pieces of about 1 MiB, with the texts of the document escaped as XML needs.
// Long lists of values may be formatted on several threads, chunk by chunk,
// and written in their place.
#pragma once

#include "app/ordered_pool.h"
#include "stdfile/read.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zep::app {

// Appends `text` to `out` escaped for element content: '&', '<' and '>' as
// entities; bytes 0x80..0xFF as "&#xHH;" (their Latin-1 code point); control
// bytes 0x01..0x1F other than tab, line feed and carriage return as
// "&#xFFFD;"; NUL bytes dropped. Every result is well-formed UTF-8.
void append_escaped(std::string_view text, std::string *out);

class DocumentWriter {
 public:
  static constexpr size_t kChunk = 1 << 20;
  // Values formatted by one thread at a time (a multiple of 8, so that every
  // chunk starts a line), and the shortest list worth the threads. Fewer,
  // larger chunks cost less handing over (measured: 16,384 values in two
  // buffers a thread take about 6 % less processor time than 8,192 in four).
  static constexpr size_t kValuesPerChunk = 16384;
  static constexpr size_t kThreadedMinimum = 16384;
  // Text buffers per thread: chunks formatted and not yet written (the
  // chunks queued beyond them wait without one).
  static constexpr size_t kChunksPerThread = 2;
  // The values of the record before the last are kept too (so that the
  // threads never wait for the reader) unless a record holds more bytes of
  // values than this.
  static constexpr size_t kSecondKeptLimit = size_t{8} << 20;

  // Writes to `fd`, which the writer does not own. With `threads` above 1,
  // lists of kThreadedMinimum values or more are formatted on that many
  // threads: the caller's and threads - 1 started with the first such list
  // and kept until the writer goes (all on the caller's thread if they
  // cannot be started).
  explicit DocumentWriter(int fd, int threads = 1);
  // Drops what was not flushed.
  ~DocumentWriter();

  DocumentWriter(const DocumentWriter &) = delete;
  DocumentWriter &operator=(const DocumentWriter &) = delete;

  // Threads formatting long lists (1 when the caller's thread does).
  int threads() const { return threads_; }

  void put(std::string_view s) {
    if (buf_size_ - len_ < s.size()) make_room(s.size());
    s.copy(buf_.get() + len_, s.size());
    len_ += s.size();
  }
  void put_char(char c) {
    if (len_ == buf_size_) make_room(1);
    buf_[len_++] = c;
  }
  void put_int(long long v);
  // An element line: `tabs` tabs, the open tag, the escaped text, the close tag.
  void put_text_element(int tabs, std::string_view open, std::string_view text,
                        std::string_view close);
  void put_int_element(int tabs, std::string_view open, long long v, std::string_view close);
  // Writes the values as "%12.6g " each, a line feed after every eighth.
  void put_values(const float *values, size_t count);
  void put_values(const double *values, size_t count);
  // The same for values the writer may keep: when their text is formatted
  // on the threads, the writer takes them and returns before the last
  // chunks are done, and *values is left holding the storage of values it
  // took earlier (or nothing), for the caller to fill again. Either way the
  // text is written before anything put later.
  void put_values(std::vector<float> *values);
  void put_values(std::vector<double> *values);
  // The same for a record's values decoded range by range: each chunk is
  // decoded by the thread that formats it. *values is left holding an
  // object taken earlier (or an empty one), for the caller to fetch into.
  void put_values(stdfile::FloatValues *values);

  // Writes out what is buffered, formatted chunks first. Returns false (and
  // remembers it) if the descriptor refused any byte.
  bool flush();
  // What the writes did, once the chunks queued are written (after flush()
  // or put_values of a pointer).
  bool failed() const { return failed_; }
  const std::string &error() const { return error_; }
  // Records decoded range by range some of whose words could not be read
  // from the file when their chunks were formatted (the file cut short or
  // failing meanwhile): their unread values were written as zeros. Counted
  // as their text is written; all of them after flush().
  int unread_records() const { return unread_records_; }

 private:
  void make_room(size_t n);
  // True when a list of `count` values goes to the threads (started here
  // the first time).
  bool threaded(size_t count);
  template <typename T>
  void put_lines(const T *values, size_t count);
  void put_lines(const stdfile::FloatValues &values);
  // Queues the chunks of a list on the threads.
  template <typename T>
  void queue_chunks(const T *values, size_t count);
  // Waits until every chunk queued is formatted and written.
  void drain();
  void hand_over();
  // Writes to the descriptor unless a write failed before; remembers a
  // failure. Called by one thread at a time: the caller's while no chunk is
  // queued, the threads' in turn otherwise.
  void write_out(const char *text, size_t length);

  int fd_;
  int threads_;
  // Not cleared when made: only what is put is written, and with threads
  // only the texts between value lists pass through it.
  std::unique_ptr<char[]> buf_;
  size_t buf_size_;
  size_t len_ = 0;
  bool failed_ = false;
  int unread_records_ = 0;
  std::atomic<bool> dropping_{false};  // the writer is going: write nothing more
  std::string error_;
  std::string scratch_;
  // Values whose chunks are queued; the threads go before them.
  // Where a chunk of a record decoded range by range starts.
  struct Range {
    const stdfile::FloatValues *values;
    size_t first;
  };
  struct Kept {
    std::vector<float> floats;
    std::vector<double> doubles;
    stdfile::FloatValues ranged;
    std::vector<Range> ranges;  // one per chunk of `ranged`
    uint64_t ticket = 0;        // the pool's ticket once its pieces were queued
    bool unsettled = false;     // `ranged` is not yet counted in unread_records_
  };
  Kept &take_kept(size_t bytes);
  // Counts a kept record decoded range by range whose chunks are written.
  void settle(Kept *k);
  // Lets go of what `k` holds, but the kind of values named.
  static void keep_only(Kept *k, bool floats, bool doubles, bool ranged);
  std::array<Kept, 2> kept_;
  size_t next_kept_ = 0;
  std::unique_ptr<OrderedPool> pool_;
};

}  // namespace zep::app
