// Word utilities: copy and clear word arrays, justify characters in a word.
#include <cstring>

#include "zep/io.h"

extern "C" {

void MOVE(const void *source, void *destination, int *nmots) {
  if (*nmots <= 0) return;
  std::memmove(destination, source, static_cast<size_t>(*nmots) * 4);
}

void ZERO(void *buffer, int *nmots) {
  if (*nmots <= 0) return;
  std::memset(buffer, 0, static_cast<size_t>(*nmots) * 4);
}

// The n characters at the left of a 4-byte word moved to its right end.
unsigned int hrjust_(unsigned int *word, int *n) {
  if (*n >= 4) return *word;
  const int shift = (4 - (*n < 0 ? 0 : *n)) * 8;
  return shift >= 32 ? 0u : *word >> shift;
}

// The n characters at the right of a 4-byte word moved to its left end.
unsigned int hljust_(unsigned int *word, int *n) {
  if (*n >= 4) return *word;
  const int shift = (4 - (*n < 0 ? 0 : *n)) * 8;
  return shift >= 32 ? 0u : *word << shift;
}

}  // extern "C"
