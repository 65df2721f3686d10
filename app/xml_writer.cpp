// Buffered output of the document and XML escaping of its texts.
#include "app/xml_writer.h"

#include "app/value_format.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
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

DocumentWriter::DocumentWriter(int fd) : fd_(fd), buf_(kChunk + 4096) {}

void DocumentWriter::make_room(size_t n) {
  flush();
  if (buf_.size() < n) buf_.resize(n);
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

void DocumentWriter::put_values(const float *values, size_t count) {
  // Eight values and a line feed, with the room the formatter may write past.
  constexpr size_t kLine = 8 * kMaxValueText + 1;
  size_t i = 0;
  while (i < count) {
    if (buf_.size() - len_ < kLine) make_room(kLine);
    char *p = buf_.data() + len_;
    const size_t n = count - i < 8 ? count - i : 8;
#ifdef ZEP_BENCH_PRINTF_VALUES
    // Benchmark-only build: the C library's printf per value, the yardstick
    // the formatter is measured against.
    for (size_t k = 0; k < n; ++k) p += std::snprintf(p, kMaxValueText, "%12.6g ", values[i + k]);
#else
    p = format_floats(values + i, n, p);
#endif
    i += n;
    if (n == 8) *p++ = '\n';
    len_ = static_cast<size_t>(p - buf_.data());
  }
}

void DocumentWriter::put_values(const double *values, size_t count) {
  constexpr size_t kLine = 8 * kMaxValueText + 1;
  size_t i = 0;
  while (i < count) {
    if (buf_.size() - len_ < kLine) make_room(kLine);
    char *p = buf_.data() + len_;
    size_t end = i + 8 <= count ? i + 8 : count;
    for (; i < end; ++i) p += format_value(values[i], p);
    if (i % 8 == 0) *p++ = '\n';
    len_ = static_cast<size_t>(p - buf_.data());
  }
}

bool DocumentWriter::flush() {
  size_t done = 0;
  while (done < len_ && !failed_) {
    ssize_t n = ::write(fd_, buf_.data() + done, len_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      error_ = n < 0 ? std::strerror(errno) : "nothing written";
      break;
    }
    done += static_cast<size_t>(n);
  }
  len_ = 0;
  return !failed_;
}

}  // namespace zep::app
