// The bits of IEEE floats and doubles as unsigned integers, and back.
#pragma once

#include <cstdint>
#include <cstring>

namespace zep {

// The object representation of `from` as a `To` of the same size.
template <class To, class From>
inline To bit_cast(const From &from) {
  static_assert(sizeof(To) == sizeof(From), "bit_cast between types of different sizes");
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

inline uint32_t float_bits(float f) { return bit_cast<uint32_t>(f); }
inline float float_from_bits(uint32_t b) { return bit_cast<float>(b); }
inline uint64_t double_bits(double d) { return bit_cast<uint64_t>(d); }
inline double double_from_bits(uint64_t b) { return bit_cast<double>(b); }

}  // namespace zep
