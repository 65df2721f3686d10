#include "common/fixed_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The by-reference entries see fields such as "NAME  " of a hidden length,
// with no terminator; some callers pass NUL-padded or null fields.
TEST(FixedText, CutTrimAndStopAtNul) {
  const char field[] = {'T', 'T', ' ', ' ', 'x'};
  EXPECT_EQ(zep::field_view(field, 4), "TT  ");
  EXPECT_EQ(zep::field_view(field, 5, 3), "TT ");
  EXPECT_EQ(zep::field_view(nullptr, 8), "");
  EXPECT_EQ(zep::trim_blanks(zep::field_view(field, 4)), "TT");
  EXPECT_EQ(zep::trim_blanks("    "), "");
  EXPECT_EQ(zep::trim_blanks("    ", 1), " ");  // names keep one character
  EXPECT_EQ(zep::trim_blanks("", 1), "");
  const char nul_padded[] = {'a', 'b', '\0', 'c', ' '};
  EXPECT_EQ(zep::until_nul(zep::field_view(nul_padded, 5)), "ab");
  EXPECT_EQ(zep::field_text(nul_padded, 5), "ab");
  EXPECT_EQ(zep::field_text("ab  \0zz", 7), "ab");  // NUL first, then the blanks
  EXPECT_EQ(zep::field_text("abcdef", 6, 4), "abcd");
}

TEST(FixedText, PadToWidth) {
  EXPECT_EQ(zep::padded_field("TT", 2, 4), "TT  ");
  EXPECT_EQ(zep::padded_field("ABCDEFG", 7, 4), "ABCD");
  EXPECT_EQ(zep::padded_field(nullptr, 3, 2), "  ");
  EXPECT_EQ(zep::blank_padded("", 3), "   ");
}

// copy_back leaves the field beyond the text alone; fill_field blanks it.
TEST(FixedText, CopyBackAndFill) {
  char out[6];
  std::memcpy(out, "######", 6);
  zep::copy_back(out, 6, "ab");
  EXPECT_EQ(std::string(out, 6), "ab####");
  zep::copy_back(out, 1, "xyz");
  EXPECT_EQ(std::string(out, 6), "xb####");
  zep::fill_field(out, 6, "cd");
  EXPECT_EQ(std::string(out, 6), "cd    ");
  zep::fill_field(out, 3, "longer");
  EXPECT_EQ(std::string(out, 6), "lon   ");
  zep::copy_back(nullptr, 4, "ab");  // a null field is left alone
  zep::fill_field(nullptr, 4, "ab");
}

}  // namespace
