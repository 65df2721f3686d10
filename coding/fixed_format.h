// Fixed-width edit rules for short texts: Iw, Fw.d, Ew.d, nX and Aw.
// Numbers are right-justified in their field; a number that does not fit
// fills its field with asterisks; the zero before the decimal point of a
// number below 1 is written only when the field has room for it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zep::coding {

// Appends fields one after another to a growing line.
class FixedFormat {
 public:
  // Iw: the integer, right-justified in w columns.
  FixedFormat &integer(long long value, int w);
  // Fw.d: fixed point with d digits after the point; d = 0 writes a
  // trailing point and no decimals.
  FixedFormat &fixed(double value, int w, int d);
  // Ew.d: 0.d...dE+xx, d digits after the point, exponent of two digits
  // and its sign (three digits and no letter when the exponent needs them).
  FixedFormat &exponent(double value, int w, int d);
  // nX: n blanks.
  FixedFormat &blanks(int n);
  // Aw: w characters of the text: its first w, or the text right-justified
  // after blanks when it is shorter.
  FixedFormat &text(std::string_view value, int w);

  const std::string &str() const { return line_; }

  // Copies the line into a field of `length` bytes: blanks after the written
  // characters, only the first characters when the field is shorter.
  void copy_to(char *field, size_t length) const;

 private:
  void put(const std::string &field);
  std::string line_;
};

// Single-field helpers.
std::string format_integer(long long value, int w);
std::string format_fixed(double value, int w, int d);
std::string format_exponent(double value, int w, int d);

}  // namespace zep::coding
