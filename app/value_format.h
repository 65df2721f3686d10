// Text of one value as the document writes it: "%12.6g " of a double,
// byte for byte as the C library's printf writes it (glibc's "nan", "-nan",
// "inf", "-inf"; exponents of two digits at least).
#pragma once

#include <cstddef>

namespace app {

// Longest text either formatter writes: sign, 6 digits, point, "e+308", blank.
constexpr size_t kMaxValueText = 24;

// Writes the text of v followed by one blank at out (which has room for
// kMaxValueText bytes) and returns the number of bytes written.
size_t format_value(double v, char *out);

// The same text for a float widened to double, by a faster road: six digits
// from a 64-bit power-of-ten product, with the exact conversion whenever the
// product lies too close to a rounding tie to decide.
size_t format_float(float v, char *out);

}  // namespace app
