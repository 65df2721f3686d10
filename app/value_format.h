// Text of one value as the document writes it: "%12.6g " of a double,
// byte for byte as the C library's printf writes it (glibc's "nan", "-nan",
// "inf", "-inf"; exponents of two digits at least; ties of the decimal
// rounding to even).
#pragma once

#include <cstddef>

namespace zep::app {

// Room the formatters need at `out`: the longest text (sign, 6 digits,
// point, "e+308", blank) and the blanks the fast roads write past the text.
constexpr size_t kMaxValueText = 24;

// Writes the text of v followed by one blank at out (which has room for
// kMaxValueText bytes; bytes past the returned length may be overwritten)
// and returns the number of bytes written.
size_t format_value(double v, char *out);

// The same text for a float widened to double: always 13 bytes.
size_t format_float(float v, char *out);

// The texts of `count` floats one after the other (13 bytes each); `out` has
// room for 13 * count + kMaxValueText bytes. Returns the end of the text.
char *format_floats(const float *values, size_t count, char *out);

}  // namespace zep::app
