// Block reads and writes of big-endian 16-, 32- and 64-bit values on
// buffered streams. Readers convert to host order after reading; writers
// convert the caller's buffer in place, write, and convert it back, so the
// buffer is unchanged when they return.
#include <cstdint>
#include <cstdio>

#include "common/big_endian.h"
#include "zep/io.h"

namespace zep::io {

namespace {

constexpr size_t kRefused = static_cast<size_t>(-1);

void swap16(void *ptr, size_t count) {
  if (!zep::host_is_little_endian()) return;
  auto *v = static_cast<uint16_t *>(ptr);
  for (size_t i = 0; i < count; ++i) v[i] = static_cast<uint16_t>((v[i] >> 8) | (v[i] << 8));
}

void swap32(void *ptr, size_t count) {
  zep::swap_words_in_place(static_cast<uint32_t *>(ptr), count);
}

// Each 64-bit value: swap the bytes of both 32-bit halves and exchange them.
void swap64(void *ptr, size_t count) {
  if (!zep::host_is_little_endian()) return;
  auto *v = static_cast<uint64_t *>(ptr);
  for (size_t i = 0; i < count; ++i) v[i] = zep::byte_swap64(v[i]);
}

}  // namespace

}  // namespace zep::io

extern "C" {

size_t fread32(void *ptr, size_t size, size_t nitems, FILE *stream) {
  if (size % 4 != 0) return zep::io::kRefused;
  const size_t n = std::fread(ptr, size, nitems, stream);
  zep::io::swap32(ptr, n * size / 4);
  return n;
}

size_t fwrite32(void *ptr, size_t size, size_t nitems, FILE *stream) {
  if (size % 4 != 0) return zep::io::kRefused;
  zep::io::swap32(ptr, nitems * size / 4);
  const size_t n = std::fwrite(ptr, size, nitems, stream);
  zep::io::swap32(ptr, nitems * size / 4);
  return n;
}

size_t fread16(void *ptr, size_t size, size_t nitems, FILE *stream) {
  if (size % 2 != 0) {
    std::fprintf(stderr, "fread16 error: size=%d must be a multiple of 2\n",
                 static_cast<int>(size));
    return zep::io::kRefused;
  }
  const size_t n = std::fread(ptr, size, nitems, stream);
  zep::io::swap16(ptr, n * size / 2);
  return n;
}

size_t fwrite16(void *ptr, size_t size, size_t nitems, FILE *stream) {
  if (size % 2 != 0) {
    std::fprintf(stderr, "fwrite16 error: size=%d must be a multiple of 2\n",
                 static_cast<int>(size));
    return zep::io::kRefused;
  }
  zep::io::swap16(ptr, nitems * size / 2);
  const size_t n = std::fwrite(ptr, size, nitems, stream);
  zep::io::swap16(ptr, nitems * size / 2);
  return n;
}

// The 64-bit forms convert whole 8-byte values; an item size that is a
// multiple of 4 but not of 8 leaves its last half-value unconverted.
size_t fread64(void *ptr, size_t size, size_t nitems, FILE *stream) {
  if (size % 4 != 0) {
    std::fprintf(stderr, "fread64 error: size=%d must be a multiple of 4\n",
                 static_cast<int>(size));
    return zep::io::kRefused;
  }
  const size_t n = std::fread(ptr, size, nitems, stream);
  zep::io::swap64(ptr, n * size / 8);
  return n;
}

size_t fwrite64(void *ptr, size_t size, size_t nitems, FILE *stream) {
  if (size % 4 != 0) {
    std::fprintf(stderr, "fwrite64 error: size=%d must be a multiple of 4\n",
                 static_cast<int>(size));
    return zep::io::kRefused;
  }
  zep::io::swap64(ptr, nitems * size / 8);
  const size_t n = std::fwrite(ptr, size, nitems, stream);
  zep::io::swap64(ptr, nitems * size / 8);
  return n;
}

}  // extern "C"
