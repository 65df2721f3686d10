// The converter's output: a large buffer flushed to a file descriptor in
// pieces of about 1 MiB, with the texts of the document escaped as XML needs.
#pragma once

#include <cstddef>
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

  // Writes to `fd`, which the writer does not own.
  explicit DocumentWriter(int fd);

  void put(std::string_view s) {
    if (buf_.size() - len_ < s.size()) make_room(s.size());
    s.copy(buf_.data() + len_, s.size());
    len_ += s.size();
  }
  void put_char(char c) {
    if (len_ == buf_.size()) make_room(1);
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

  // Writes out what is buffered. Returns false (and remembers it) if the
  // descriptor refused any byte.
  bool flush();
  bool failed() const { return failed_; }
  const std::string &error() const { return error_; }

 private:
  void make_room(size_t n);
  int fd_;
  std::vector<char> buf_;
  size_t len_ = 0;
  bool failed_ = false;
  std::string error_;
  std::string scratch_;
};

}  // namespace zep::app
