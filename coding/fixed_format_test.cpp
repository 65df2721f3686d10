#include "coding/fixed_format.h"

#include <gtest/gtest.h>

#include <string>

namespace zep::coding {
namespace {

TEST(FixedFormatTest, IntegerRightJustifiedOrAsterisks) {
  EXPECT_EQ(format_integer(500, 12), "         500");
  EXPECT_EQ(format_integer(-50, 6), "   -50");
  EXPECT_EQ(format_integer(123456, 6), "123456");
  EXPECT_EQ(format_integer(1234567, 6), "******");
  EXPECT_EQ(format_integer(-123456, 6), "******");
  EXPECT_EQ(format_integer(0, 1), "0");
}

TEST(FixedFormatTest, FixedKeepsLeadingZeroOnlyWithRoom) {
  EXPECT_EQ(format_fixed(0.0575f, 6, 4), "0.0575");
  EXPECT_EQ(format_fixed(0.00035f, 6, 5), ".00035");
  EXPECT_EQ(format_fixed(-0.5, 3, 1), "-.5");
  EXPECT_EQ(format_fixed(-0.5, 4, 1), "-0.5");
  EXPECT_EQ(format_fixed(0.658570f, 12, 6), "    0.658570");
  EXPECT_EQ(format_fixed(6.6f, 6, 2), "  6.60");
  EXPECT_EQ(format_fixed(200.0, 6, 1), " 200.0");
}

TEST(FixedFormatTest, FixedRoundsAndOverflows) {
  EXPECT_EQ(format_fixed(123456.0, 12, 0), "     123456.");
  EXPECT_EQ(format_fixed(2.71828, 6, 3), " 2.718");
  EXPECT_EQ(format_fixed(9.9996, 6, 3), "10.000");
  EXPECT_EQ(format_fixed(99.9996, 6, 3), "******");
  EXPECT_EQ(format_fixed(12345.5, 6, 2), "******");
  EXPECT_EQ(format_fixed(-1234.5, 7, 2), "*******");
}

TEST(FixedFormatTest, ExponentForm) {
  EXPECT_EQ(format_exponent(1500.0, 10, 5), ".15000E+04");
  EXPECT_EQ(format_exponent(1500.0, 11, 5), "0.15000E+04");
  EXPECT_EQ(format_exponent(6.81179e-05, 12, 6), "0.681179E-04");
  EXPECT_EQ(format_exponent(-6.81179e-05, 12, 6), "-.681179E-04");
  EXPECT_EQ(format_exponent(0.0, 12, 6), "0.000000E+00");
  EXPECT_EQ(format_exponent(1e10, 9, 4), ".1000E+11");
  EXPECT_EQ(format_exponent(1e10, 10, 4), "0.1000E+11");
  EXPECT_EQ(format_exponent(-2e7, 10, 4), "-.2000E+08");
  EXPECT_EQ(format_exponent(-2e7, 9, 4), "*********");
  // Rounding that carries into a new leading digit moves the exponent.
  EXPECT_EQ(format_exponent(0.99999996, 10, 5), ".10000E+01");
  EXPECT_EQ(format_exponent(-480000000.0, 10, 5), "**********");
  EXPECT_EQ(format_exponent(1e-40, 12, 6), "0.100000E-39");
  // A three-digit exponent takes the place of the letter.
  EXPECT_EQ(format_exponent(1e-101, 12, 6), "0.100000-100");
  EXPECT_EQ(format_exponent(1e-100, 12, 6), "0.100000E-99");
}

TEST(FixedFormatTest, FieldsJoinAndPadToLength) {
  FixedFormat f;
  f.integer(500, 12).blanks(1).text("mb", 2);
  EXPECT_EQ(f.str(), "         500 mb");
  char field[20];
  f.copy_to(field, sizeof field);
  EXPECT_EQ(std::string(field, sizeof field), "         500 mb     ");
  char shortfield[5];
  f.copy_to(shortfield, sizeof shortfield);
  EXPECT_EQ(std::string(shortfield, sizeof shortfield), "     ");

  FixedFormat g;
  g.text("m", 3).text("abcdef", 2).blanks(2);
  EXPECT_EQ(g.str(), "  mab  ");
}

}  // namespace
}  // namespace zep::coding
