#include "coding/level_code.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "zep/coding.h"

namespace zep::coding {
namespace {

// The text convip_ mode -1 writes into a field of `length` bytes.
std::string decode_text(int code, size_t length, float *value = nullptr, int *kind = nullptr) {
  std::string field(length, '\0');
  float p = -1.0f;
  int k = -1, mode = -1, flag = 1;
  convip_(&code, &p, &k, &mode, &field[0], &flag, length);
  if (value != nullptr) *value = p;
  if (kind != nullptr) *kind = k;
  return field;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

int encode(float value, int kind, int mode) {
  int code = 123;
  int flag = 0;
  char text[4] = {'x', 'x', 'x', 'x'};
  convip_(&code, &value, &kind, &mode, text, &flag, sizeof text);
  EXPECT_EQ(std::string(text, 4), "xxxx");  // encoding never touches the text
  return code;
}

TEST(LevelCodeTest, OldStyleDecodesEveryRange) {
  float v;
  int k;
  EXPECT_EQ(decode_text(0, 16, &v, &k), "     0 mb       ");
  EXPECT_EQ(k, 2);
  EXPECT_EQ(v, 0.0f);
  EXPECT_EQ(trimmed(decode_text(1200, 16, &v, &k)), "     0");
  EXPECT_EQ(k, 3);
  EXPECT_EQ(decode_text(32767, 12, &v, &k), " 32767      ");
  EXPECT_EQ(v, 32767.0f);
  EXPECT_EQ(trimmed(decode_text(12001, 16, &v, &k)), "     0 m");
  EXPECT_EQ(k, 0);
  EXPECT_EQ(trimmed(decode_text(32000, 16, &v, &k)), " 99995 m");
  EXPECT_EQ(v, 99995.0f);
  EXPECT_EQ(trimmed(decode_text(1100, 16, &v, &k)), "   100");
  EXPECT_EQ(trimmed(decode_text(1207, 16, &v, &k)), ".00035 mb");
  EXPECT_EQ(v, static_cast<float>(7 * 0.00005));
  EXPECT_EQ(trimmed(decode_text(1515, 16)), "0.0575 mb");
  EXPECT_EQ(trimmed(decode_text(1662, 16)), " 0.310 mb");
  EXPECT_EQ(trimmed(decode_text(1932, 16)), "  6.60 mb");
  EXPECT_EQ(trimmed(decode_text(2850, 16, &v, &k)), "0.0850 sg");
  EXPECT_EQ(k, 1);
  EXPECT_EQ(trimmed(decode_text(12000, 16)), "1.0000 sg");
}

TEST(LevelCodeTest, NewStyleWorkedExamples) {
  EXPECT_EQ(encode(500.0f, 2, 2), 41394464);
  float v;
  int k;
  EXPECT_EQ(decode_text(41394464, 32, &v, &k), "         500 mb" + std::string(17, ' '));
  EXPECT_EQ(v, 500.0f);
  EXPECT_EQ(k, 2);
  EXPECT_EQ(encode(-50.0f, 0, 2), 7296456);
  EXPECT_EQ(decode_text(7296456, 15, &v, &k), "         -50 m ");
  EXPECT_EQ(v, -50.0f);
  // Short texts use the six-column forms.
  EXPECT_EQ(decode_text(41394464, 10), "   500 mb ");
  EXPECT_EQ(decode_text(41394464, 4), "   5");
}

TEST(LevelCodeTest, NewStyleTextForms) {
  struct Case {
    float value;
    int kind;
    const char *long_text;
    const char *short_text;
  };
  const Case cases[] = {
      {0.5f, 1, "    0.500000 sg", ".50000 sg"},
      {12.25f, 0, "     12.2500 m ", "12.250 m "},
      {250.5f, 2, "     250.500 mb", "250.50 mb"},
      {1234.5f, 0, "     1234.50 m ", nullptr},
      {0.05f, 1, "   0.0500000 sg", ".05000 sg"},
      {0.0025f, 1, "  0.00250000 sg", ".00250 sg"},
      {0.0005f, 1, "0.500000E-03 sg", ".5000E-03 sg"},
      {2.0e7f, 3, "0.200000E+08   ", ".2000E+08   "},
  };
  for (const Case &c : cases) {
    const int code = encode(c.value, c.kind, 2);
    EXPECT_EQ(decode_text(code, 15), c.long_text) << c.value;
    if (c.short_text != nullptr) {
      EXPECT_EQ(trimmed(decode_text(code, 14)), trimmed(c.short_text)) << c.value;
    }
  }
}

TEST(LevelCodeTest, EncodeOldStyle) {
  EXPECT_EQ(encode(0.0f, 2, 3), 0);
  EXPECT_EQ(encode(0.0f, 2, 2), 0);
  EXPECT_EQ(encode(500.0f, 2, 3), 500);
  EXPECT_EQ(encode(5.0f, 2, 3), 1900);
  EXPECT_EQ(encode(0.31f, 2, 3), 1662);
  EXPECT_EQ(encode(0.0575f, 2, 3), 1515);
  EXPECT_EQ(encode(0.0035f, 2, 3), 1270);
  EXPECT_EQ(encode(0.00035f, 2, 3), 0);  // below the last threshold
  EXPECT_EQ(encode(0.085f, 1, 3), 2850);
  EXPECT_EQ(encode(1.0f, 1, 3), 12000);
  EXPECT_EQ(encode(0.0f, 0, 3), 12001);
  EXPECT_EQ(encode(99995.0f, 0, 3), 32000);
  EXPECT_EQ(encode(-100.0f, 0, 3), 12001);
  EXPECT_EQ(encode(1e30f, 0, 3), 32000);
  EXPECT_EQ(encode(13.0f, 3, 3), 1187);
  EXPECT_EQ(encode(32767.0f, 3, 3), 32767);
}

TEST(LevelCodeTest, DefaultStyleSwitchesToNewOnModeZero) {
  ASSERT_FALSE(default_style_is_new());
  EXPECT_EQ(encode(500.0f, 2, 1), 500);
  EXPECT_EQ(encode(500.0f, 2, 7), 500);
  // Restricted decoding refuses new-style kinds above 3 while the style is old.
  DecodedLevel level;
  LevelFailure failure;
  const int kind4 = (7 << 20) | 500000 | (4 << 24);
  EXPECT_FALSE(decode_level(kind4, false, &level, &failure));
  EXPECT_EQ(failure.exit_status, 4);
  int code = 0, kind = 0, mode = 0, flag = 0;
  float p = 0;
  char text[1];
  convip_(&code, &p, &kind, &mode, text, &flag, 0);
  EXPECT_TRUE(default_style_is_new());
  EXPECT_EQ(encode(500.0f, 2, 1), 41394464);
  EXPECT_EQ(encode(500.0f, 2, 3), 500);
  default_style_is_new() = false;
}

TEST(LevelCodeTest, NewStyleEdges) {
  // Height 0 climbs to the largest exponent with a zero mantissa.
  EXPECT_EQ(encode(0.0f, 0, 2), 15 << 20);
  // Kind 3 of 1e10 reaches exponent 0 with the mantissa at its bound.
  EXPECT_EQ(encode(1e10f, 3, 2), (3 << 24) | 1000000);
  float big;
  decode_text((3 << 24) | 1000000, 15, &big);
  EXPECT_EQ(big, 1e10f);
  // Kind 6 values below the floor are raised to it.
  float v;
  int k;
  decode_text(encode(1.0f, 6, 2), 15, &v, &k);
  EXPECT_EQ(k, 6);
  EXPECT_EQ(v, 1.0f);
  // The mantissa of a negative value is stored above 1000000.
  const int code = encode(-20000.0f, 0, 2);
  EXPECT_GT(code & 0xFFFFF, 1000000);
  decode_text(code, 15, &v, &k);
  EXPECT_EQ(v, -20000.0f);
}

TEST(LevelCodeTest, Kind5OutsideUnitRangeReadsAsKind21) {
  const int code = (4 << 20) | 870800 | (5 << 24);  // 870800 hy: above 1
  testing::internal::CaptureStdout();
  float v;
  int k;
  const std::string text = decode_text(code, 32, &v, &k);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " Debug+ o.b. kind 5 --> 21\n");
  EXPECT_EQ(k, 21);
  EXPECT_FLOAT_EQ(v, 8.708f);
  EXPECT_EQ(trimmed(text), "     8.70800 ??");

  std::string lt;
  EXPECT_TRUE(level_text(code, &lt));  // no notice stream: nothing printed
  EXPECT_EQ(lt, text);
}

TEST(LevelCodeTest, LevelTextMatchesConvipAndRefusesWithoutStopping) {
  for (int code : {0, 1207, 32767, 41394464, 7296456, 88146241}) {
    std::string text;
    ASSERT_TRUE(level_text(code, &text)) << code;
    EXPECT_EQ(text.size(), 32u);
    testing::internal::CaptureStdout();
    const std::string expected = decode_text(code, 32);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(text, expected) << code;
  }
  std::string text = "old", why;
  EXPECT_FALSE(level_text(-1, &text, nullptr, &why));
  EXPECT_EQ(text, "");
  EXPECT_EQ(why, " Dans convip: ip initial =        -1");
  EXPECT_FALSE(level_text(32500, &text, nullptr, &why));
  EXPECT_FALSE(level_text((7 << 24) | 5, &text, nullptr, &why));
  EXPECT_EQ(why, " Dans convip: kind invalide =         7");
}

TEST(LevelCodeTest, FailureMessages) {
  int code = 0;
  LevelFailure f;
  EXPECT_FALSE(encode_level(1500.0f, 2, true, &code, &f));
  EXPECT_EQ(f.exit_status, 5);
  EXPECT_EQ(f.message, " Dans convip: p hors limite =.15000E+04 min=.00000E+00 max=.11000E+04");
  EXPECT_FALSE(encode_level(1.5f, 1, false, &code, &f));
  EXPECT_EQ(f.exit_status, 1);
  EXPECT_EQ(f.message, " Dans convip: sigma initial =.15000E+01");
  EXPECT_FALSE(encode_level(1100.0f, 2, false, &code, &f));
  EXPECT_EQ(f.exit_status, 2);
  EXPECT_EQ(f.message, " Dans convip: pression initiale =.11000E+04");
  EXPECT_FALSE(encode_level(101.0f, 3, false, &code, &f));
  EXPECT_EQ(f.exit_status, 3);
  EXPECT_EQ(f.message, " Dans convip: code arbitraire initial =.10100E+03");
  for (int kind : {4, 5, 6, 10, 21}) {
    EXPECT_FALSE(encode_level(0.5f, kind, false, &code, &f));
    EXPECT_EQ(f.exit_status, 4);
  }
  EXPECT_FALSE(encode_level(0.5f, 7, true, &code, &f));
  EXPECT_EQ(f.message, " Dans convip: kind invalide =         7");
  EXPECT_FALSE(encode_level(0.5f, 32, true, &code, &f));
  EXPECT_TRUE(encode_level(0.5f, 21, true, &code, &f));
}

using LevelCodeDeathTest = ::testing::Test;

TEST(LevelCodeDeathTest, StopsWithTheStatusOfEachFailure) {
  EXPECT_EXIT(decode_text(-5, 16), ::testing::ExitedWithCode(5), "");
  EXPECT_EXIT(decode_text(32100, 16), ::testing::ExitedWithCode(5), "");
  EXPECT_EXIT(encode(0.5f, 4, 3), ::testing::ExitedWithCode(4), "");
  EXPECT_EXIT(encode(2.0f, 1, 3), ::testing::ExitedWithCode(1), "");
  EXPECT_EXIT(encode(-1.0f, 2, 3), ::testing::ExitedWithCode(2), "");
  EXPECT_EXIT(encode(200.0f, 3, 3), ::testing::ExitedWithCode(3), "");
  EXPECT_EXIT(encode(2.0f, 1, 2), ::testing::ExitedWithCode(5), "");
}

}  // namespace
}  // namespace zep::coding
