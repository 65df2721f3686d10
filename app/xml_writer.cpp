// Buffered output of the document and XML escaping of its texts.
#include "app/xml_writer.h"

#include "app/value_format.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <unistd.h>

namespace zep::app {

void append_escaped(std::string_view text, std::string *out) {
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : text) {
    switch (c) {
      case '&': out->append("&amp;"); break;
      case '<': out->append("&lt;"); break;
      case '>': out->append("&gt;"); break;
      case 0: break;
      case '\t':
      case '\n':
      case '\r': out->push_back(static_cast<char>(c)); break;
      default:
        if (c < 0x20) {
          out->append("&#xFFFD;");
        } else if (c >= 0x80) {
          out->append("&#x");
          out->push_back(kHex[c >> 4]);
          out->push_back(kHex[c & 15]);
          out->push_back(';');
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
}

namespace {

// Room the text of `count` values takes with its line feeds, and the bytes
// the formatters may write past its end.
size_t float_room(size_t count) { return 13 * count + count / 8 + kMaxValueText; }
size_t double_room(size_t count) { return kMaxValueText * count + count / 8 + kMaxValueText; }
size_t room_for(const float *, size_t count) { return float_room(count); }
size_t room_for(const double *, size_t count) { return double_room(count); }

// The text of `count` values from the start of a line: "%12.6g " each, a
// line feed after every eighth. Returns its length.
size_t float_lines(const void *data, size_t count, char *out) {
  const float *values = static_cast<const float *>(data);
  char *p = out;
  for (size_t i = 0; i < count; i += 8) {
    const size_t n = count - i < 8 ? count - i : 8;
#ifdef ZEP_BENCH_PRINTF_VALUES
    // Benchmark-only build: the C library's printf per value, the yardstick
    // the formatter is measured against.
    for (size_t k = 0; k < n; ++k) p += std::snprintf(p, kMaxValueText, "%12.6g ", values[i + k]);
#else
    p = format_floats(values + i, n, p);
#endif
    if (n == 8) *p++ = '\n';
  }
  return static_cast<size_t>(p - out);
}

size_t double_lines(const void *data, size_t count, char *out) {
  const double *values = static_cast<const double *>(data);
  char *p = out;
  for (size_t i = 0; i < count; ++i) {
    p += format_value(values[i], p);
    if (i % 8 == 7) *p++ = '\n';
  }
  return static_cast<size_t>(p - out);
}

// Values decoded a piece at a time into a buffer that stays in the cache,
// then formatted as float_lines does (pieces of whole lines: the text is
// the same as one call over the whole range).
constexpr size_t kDecodePiece = 1024;

size_t range_lines(const stdfile::FloatValues &values, size_t first, size_t count, char *out) {
  float piece[kDecodePiece];
  char *p = out;
  for (size_t i = 0; i < count; i += kDecodePiece) {
    const size_t n = count - i < kDecodePiece ? count - i : kDecodePiece;
    values.decode(first + i, n, piece, count - i);
    p += float_lines(piece, n, p);
  }
  return static_cast<size_t>(p - out);
}

template <typename Range>
size_t chunk_lines(const void *data, size_t count, char *out) {
  const Range &r = *static_cast<const Range *>(data);
  return range_lines(*r.values, r.first, count, out);
}

OrderedPool::Fill lines_of(const float *) { return float_lines; }
OrderedPool::Fill lines_of(const double *) { return double_lines; }

}  // namespace

DocumentWriter::DocumentWriter(int fd, int threads)
    : fd_(fd),
      threads_(threads > 1 ? threads : 1),
      buf_(new char[kChunk + 4096]),
      buf_size_(kChunk + 4096) {}

DocumentWriter::~DocumentWriter() {
  dropping_ = true;  // the chunks still queued are formatted, not written
  pool_.reset();
}

void DocumentWriter::make_room(size_t n) {
  if (pool_) {
    hand_over();
  } else {
    flush();
  }
  if (buf_size_ < n) {  // nothing is buffered now
    buf_.reset(new char[n]);
    buf_size_ = n;
  }
}

// Once threads format values, the text put meanwhile joins their queue, so
// that it is written in its turn without waiting for the pieces before it.
void DocumentWriter::hand_over() {
  if (len_ == 0) return;
  pool_->queue_text(buf_.get(), len_);
  len_ = 0;
}

void DocumentWriter::put_int(long long v) {
  char tmp[24];
  auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
  put(std::string_view(tmp, static_cast<size_t>(r.ptr - tmp)));
}

void DocumentWriter::put_text_element(int tabs, std::string_view open, std::string_view text,
                                      std::string_view close) {
  scratch_.clear();
  scratch_.append(static_cast<size_t>(tabs), '\t');
  scratch_.append(open);
  append_escaped(text, &scratch_);
  scratch_.append(close);
  scratch_.push_back('\n');
  put(scratch_);
}

void DocumentWriter::put_int_element(int tabs, std::string_view open, long long v,
                                     std::string_view close) {
  for (int i = 0; i < tabs; ++i) put_char('\t');
  put(open);
  put_int(v);
  put(close);
  put_char('\n');
}

// On the caller's thread: pieces of whole lines straight into the buffer.
template <typename T>
void DocumentWriter::put_lines(const T *values, size_t count) {
  constexpr size_t kPiece = 4096;
  for (size_t i = 0; i < count; i += kPiece) {
    const size_t n = count - i < kPiece ? count - i : kPiece;
    const size_t room = room_for(values, n);
    if (buf_size_ - len_ < room) make_room(room);
    len_ += lines_of(values)(values + i, n, buf_.get() + len_);
  }
}

void DocumentWriter::put_lines(const stdfile::FloatValues &values) {
  // (Records read range by range are read a piece at a time.)
  constexpr size_t kPiece = 32768;
  const size_t count = values.size();
  for (size_t i = 0; i < count; i += kPiece) {
    const size_t n = count - i < kPiece ? count - i : kPiece;
    const size_t room = float_room(n);
    if (buf_size_ - len_ < room) make_room(room);
    len_ += range_lines(values, i, n, buf_.get() + len_);
  }
}

bool DocumentWriter::threaded(size_t count) {
  if (threads_ == 1 || count < kThreadedMinimum) return false;
  if (!pool_) {
    try {
      // The threads write the chunks they format, in order, through
      // write_out: one at a time, and never while this thread writes its
      // own buffer.
      // This thread formats too while it waits: the pool has one fewer.
      pool_ = std::make_unique<OrderedPool>(
          threads_ - 1, kChunksPerThread * static_cast<size_t>(threads_),
          [](void *writer, const char *text, size_t length) {
            static_cast<DocumentWriter *>(writer)->write_out(text, length);
          },
          this);
    } catch (const std::system_error &) {
      threads_ = 1;  // the caller's thread formats everything
      return false;
    }
  }
  return true;
}

template <typename T>
void DocumentWriter::queue_chunks(const T *values, size_t count) {
  hand_over();  // what was put before the values goes first
  for (size_t i = 0; i < count; i += kValuesPerChunk) {
    const size_t n = count - i < kValuesPerChunk ? count - i : kValuesPerChunk;
    pool_->queue(lines_of(values), values + i, n, room_for(values, n));
  }
}

void DocumentWriter::put_values(const float *values, size_t count) {
  if (!threaded(count)) return put_lines(values, count);
  queue_chunks(values, count);
  drain();  // the caller keeps the values
}

void DocumentWriter::put_values(const double *values, size_t count) {
  if (!threaded(count)) return put_lines(values, count);
  queue_chunks(values, count);
  drain();
}

// The values of the last two records are kept while their pieces are
// formatted: the caller reads the next record meanwhile, and the record
// before the last one is long written when its buffer is taken again, so
// the threads never wait at a record's end for the reader.
void DocumentWriter::put_values(std::vector<float> *values) {
  if (!threaded(values->size())) return put_lines(values->data(), values->size());
  Kept &k = take_kept(values->size() * sizeof(float));
  keep_only(&k, true, false, false);
  k.floats.swap(*values);  // *values gets the storage of an older record, size kept
  queue_chunks(k.floats.data(), k.floats.size());
  k.ticket = pool_->ticket();
}

void DocumentWriter::put_values(std::vector<double> *values) {
  if (!threaded(values->size())) return put_lines(values->data(), values->size());
  Kept &k = take_kept(values->size() * sizeof(double));
  keep_only(&k, false, true, false);
  k.doubles.swap(*values);  // *values gets the storage of an older record, size kept
  queue_chunks(k.doubles.data(), k.doubles.size());
  k.ticket = pool_->ticket();
}

void DocumentWriter::put_values(stdfile::FloatValues *values) {
  const size_t count = values->size();
  if (!threaded(count)) {
    put_lines(*values);
    if (!values->complete()) ++unread_records_;
    return;
  }
  Kept &k = take_kept(values->held_bytes());
  keep_only(&k, false, false, true);
  std::swap(k.ranged, *values);  // *values gets an object of an older record
  k.unsettled = true;
  hand_over();  // what was put before the values goes first
  k.ranges.clear();
  for (size_t i = 0; i < count; i += kValuesPerChunk) k.ranges.push_back(Range{&k.ranged, i});
  for (size_t c = 0; c < k.ranges.size(); ++c) {
    const size_t first = k.ranges[c].first;
    const size_t n = count - first < kValuesPerChunk ? count - first : kValuesPerChunk;
    pool_->queue(chunk_lines<Range>, &k.ranges[c], n, float_room(n));
  }
  k.ticket = pool_->ticket();
}

void DocumentWriter::keep_only(Kept *k, bool floats, bool doubles, bool ranged) {
  if (!floats) std::vector<float>().swap(k->floats);
  if (!doubles) std::vector<double>().swap(k->doubles);
  if (!ranged) {
    k->ranged = stdfile::FloatValues();
    std::vector<Range>().swap(k->ranges);
  }
}

DocumentWriter::Kept &DocumentWriter::take_kept(size_t bytes) {
  Kept &k = kept_[next_kept_];
  Kept &other = kept_[1 - next_kept_];
  next_kept_ = 1 - next_kept_;
  pool_->wait_for(k.ticket);  // its values are formatted and written
  settle(&k);
  // Values of large records are kept one record at a time, so that memory
  // stays within twice the largest record (the one kept, the one read).
  if (bytes > kSecondKeptLimit) {
    pool_->wait_for(other.ticket);
    settle(&other);
    keep_only(&other, false, false, false);
  }
  return k;
}

void DocumentWriter::settle(Kept *k) {
  if (!k->unsettled) return;
  k->unsettled = false;
  if (!k->ranged.complete()) ++unread_records_;
}

void DocumentWriter::drain() {
  if (pool_) pool_->drain();
}

void DocumentWriter::write_out(const char *text, size_t length) {
  if (dropping_) return;
  size_t done = 0;
  while (done < length && !failed_) {
    ssize_t n = ::write(fd_, text + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      error_ = n < 0 ? std::strerror(errno) : "nothing written";
      break;
    }
    done += static_cast<size_t>(n);
  }
}

bool DocumentWriter::flush() {
  drain();
  for (Kept &k : kept_) settle(&k);
  if (pool_ && pool_->lost() && !failed_) {
    failed_ = true;
    error_ = std::strerror(ENOMEM);
  }
  write_out(buf_.get(), len_);
  len_ = 0;
  return !failed_;
}

}  // namespace zep::app
