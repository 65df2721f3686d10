// The bulk loops of the packers for the common token widths: tokens of 8,
// 12, 16, 24 or 32 bits taken a group of whole words at a time, and 16-bit
// tokens made from floats a block at a time, in loops the compiler
// vectorises. Each loop runs in a build for the host's vector unit (AVX2
// when the processor has it, else the baseline), with the same results bit
// for bit: no fused operations, the same roundings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zep::packing {

// True when the processor runs AVX2 code (asked once; false off x86).
bool cpu_has_avx2();

// Groups: the fewest tokens of a width that fill whole words (8 bits: 4
// tokens a word, 12: 8 tokens in 3 words, 16: 2 a word, 24: 4 in 3 words,
// 32: 1 a word). 0 for the other widths.
size_t token_group(int width);

// Converts the leading whole groups of `count` tokens of `width` bits that
// start at bit `offset` (0..31) of words[0] (host-order words, most
// significant bit first): values[i] = float(double(token_i) * scale + min).
// Reads only the words those tokens occupy. Returns the number of tokens
// converted (a multiple of token_group(width), 0 for widths it does not
// serve); the caller converts the rest.
size_t tokens_to_floats(const uint32_t *words, int offset, int width, size_t count, double scale,
                        double min, float *values);

// The same for integers: values[i] = token_i + base (modulo 2^32).
size_t tokens_to_integers(const uint32_t *words, int offset, int width, size_t count, uint32_t base,
                          uint32_t *values);

// Extremes of values[0 .. n) (n >= 1) in one pass. Returns false, with *lo
// and *hi unspecified, when a value is NaN.
bool float_extremes(const float *values, size_t n, float *lo, float *hi);

// The packer's 16-bit tokens of values[0 .. count): token_i =
// trunc((double(values[i]) - min) * scale), which the caller guarantees to
// lie in [0, 2^16), stored from bit `offset` (0..31) of words[0] (host-order
// words, most significant bit first). Stores the leading pairs of tokens:
// the bits before the first token and after the last keep their contents.
// Returns the number of tokens stored (count rounded down to even); the
// caller stores the rest.
size_t floats_to_tokens16(const float *values, size_t count, double min, double scale,
                          uint32_t *words, int offset);

}  // namespace zep::packing
