// Big-endian 32-bit words: the one place where byte order is handled.
// Files hold words most significant byte first; in memory the library works
// on host-order words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zep {

inline uint32_t byte_swap32(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t byte_swap64(uint64_t v) { return __builtin_bswap64(v); }

constexpr bool host_is_little_endian() { return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__; }

// Reads the big-endian word at p (any alignment).
inline uint32_t load_be32(const void *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return host_is_little_endian() ? byte_swap32(v) : v;
}

// Stores v at p as a big-endian word (any alignment).
inline void store_be32(void *p, uint32_t v) {
  if (host_is_little_endian()) v = byte_swap32(v);
  std::memcpy(p, &v, 4);
}

inline uint64_t load_be64(const void *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return host_is_little_endian() ? byte_swap64(v) : v;
}

inline void store_be64(void *p, uint64_t v) {
  if (host_is_little_endian()) v = byte_swap64(v);
  std::memcpy(p, &v, 8);
}

// Converts n words in place between file order (big-endian) and host order.
// The same call goes both ways.
// Four words a step where SSE2 is there (the compiler does not vectorise
// the byte swap itself): the bytes of each 16-bit half exchanged, then the
// halves.
inline void swap_words_in_place(uint32_t *words, size_t n) {
  if (!host_is_little_endian()) return;
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(words + i));
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(words + i), v);
  }
#endif
  for (; i < n; ++i) words[i] = byte_swap32(words[i]);
}

}  // namespace zep
