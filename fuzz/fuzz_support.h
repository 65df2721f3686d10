// Helpers shared by the fuzz targets: a reader that takes parameters from the
// front of an input, and a scratch file per process for the readers that
// take a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/temp_dir.h"

namespace fuzz {

// Takes bytes from the front of the input; once the input is used up every
// take returns 0.
class Input {
 public:
  Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}

  uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t u16() { return static_cast<uint16_t>((u8() << 8) | u8()); }
  uint32_t u32() { return (static_cast<uint32_t>(u16()) << 16) | u16(); }
  // An integer in lo..hi (lo <= hi, span below 2^32).
  int64_t range(int64_t lo, int64_t hi) {
    const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
    const uint64_t v = span > 0xFFFF ? u32() : span > 0xFF ? u16() : u8();
    return lo + static_cast<int64_t>(v % span);
  }
  bool flag() { return (u8() & 1) != 0; }

  size_t left() const { return size_ - pos_; }
  const uint8_t *rest() const { return data_ + pos_; }
  // The rest of the input as big-endian words (a last partial word padded
  // with zeros), as a stored stream would be.
  std::vector<uint32_t> rest_as_words() const {
    std::vector<uint32_t> w((left() + 3) / 4, 0);
    for (size_t i = 0; i < left(); ++i)
      w[i / 4] |= static_cast<uint32_t>(data_[pos_ + i]) << (24 - 8 * (i % 4));
    return w;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

// A scratch folder of this process (see tests/temp_dir.h), made on first
// use and removed with everything in it at exit.
class Scratch {
 public:
  static std::string file(const std::string &name) { return instance().dir_.file(name); }

 private:
  static Scratch &instance() {
    static Scratch s;
    return s;
  }
  zep_test::TempDir dir_{"zepfuzz"};
};

// Writes the bytes to `path`, replacing its contents; aborts when it cannot.
inline void write_file(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
}

inline std::string read_file(const std::string &path) {
  std::string text;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

// Stops the run with a message: a broken promise of the code under test.
[[noreturn]] inline void fail(const char *what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz
