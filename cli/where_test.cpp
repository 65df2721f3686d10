// Tests of the --where criteria: date-times, levels, and how criteria and
// their values combine.
#include "cli/where.h"

#include <gtest/gtest.h>

#include <cstring>

namespace cli {
namespace {

zep_record make_record() {
  zep_record r{};
  std::strcpy(r.nomvar, "TT");
  std::strcpy(r.typvar, "P");
  std::strcpy(r.etiket, "SOUND");
  r.ip1 = 500;
  r.ip2 = 6;
  r.ip3 = 0;
  r.level_ok = 1;
  r.level = 500.0f;
  std::strcpy(r.level_kind_text, "mb");
  std::strcpy(r.level_text, "500 mb");
  r.datev = 123456789;
  r.datev_ok = 1;
  r.datev_unix = 436050000;  // 1983-10-26T21:00:00Z
  return r;
}

TEST(IsoDateTime, ReadsEveryAcceptedForm) {
  int64_t s = 0;
  ASSERT_TRUE(parse_iso_datetime("1970-01-01T00:00:00Z", &s));
  EXPECT_EQ(s, 0);
  ASSERT_TRUE(parse_iso_datetime("2000-02-29T12:34:56Z", &s));
  EXPECT_EQ(s, 951827696);
  ASSERT_TRUE(parse_iso_datetime("1983-10-26T21", &s));
  EXPECT_EQ(s, 436050000);
  ASSERT_TRUE(parse_iso_datetime("1983-10-26 21:00", &s));
  EXPECT_EQ(s, 436050000);
  ASSERT_TRUE(parse_iso_datetime("1969-12-31T23:59:59", &s));
  EXPECT_EQ(s, -1);
  ASSERT_TRUE(parse_iso_datetime("2100-03-01", &s));
  EXPECT_EQ(s, 4107542400);
}

TEST(IsoDateTime, RefusesImpossibleOrMalformedDates) {
  int64_t s = 7;
  for (const char *bad :
       {"", "2001-02-29", "2100-02-29", "2000-13-01", "2000-00-10", "2000-04-31",
        "2000-01-01T24:00", "2000-01-01T10:60", "2000-01-01T10:00:60", "2000-1-01", "2000-01-01T",
        "2000-01-01T10:00Zjunk", "2000-01-01+01:00", "20000101"}) {
    EXPECT_FALSE(parse_iso_datetime(bad, &s)) << bad;
  }
  EXPECT_EQ(s, 7);
}

TEST(Level, NumberAndOptionalKind) {
  LevelValue l;
  ASSERT_TRUE(parse_level("500mb", &l));
  EXPECT_EQ(l.value, 500);
  EXPECT_EQ(l.kind, "mb");
  ASSERT_TRUE(parse_level(" 0.5 sg ", &l));
  EXPECT_EQ(l.value, 0.5);
  EXPECT_EQ(l.kind, "sg");
  ASSERT_TRUE(parse_level("-.542700E+07", &l));
  EXPECT_EQ(l.value, -5427000);
  EXPECT_EQ(l.kind, "");
  ASSERT_TRUE(parse_level("0 ??", &l));
  EXPECT_EQ(l.kind, "??");
  for (const char *bad :
       {"", "mb", "inf", "nan", "0x10", "500 m b", "500mb,", "5_00", "1e999", "1 abcdefgh"})
    EXPECT_FALSE(parse_level(bad, &l)) << bad;
}

TEST(Level, MatchesToSixDigitsAndByKind) {
  zep_record r = make_record();
  r.level = 0.267128f;
  std::strcpy(r.level_kind_text, "sg");
  LevelValue l;
  ASSERT_TRUE(parse_level("0.267128sg", &l));
  EXPECT_TRUE(level_matches(l, r));
  ASSERT_TRUE(parse_level("0.267128", &l));
  EXPECT_TRUE(level_matches(l, r));  // no kind: any kind
  ASSERT_TRUE(parse_level("0.267128mb", &l));
  EXPECT_FALSE(level_matches(l, r));
  ASSERT_TRUE(parse_level("0.26713sg", &l));
  EXPECT_FALSE(level_matches(l, r));
  r.level_ok = 0;
  ASSERT_TRUE(parse_level("0.267128sg", &l));
  EXPECT_FALSE(level_matches(l, r));
  // 'M' and 'm' are different kinds.
  r = make_record();
  std::strcpy(r.level_kind_text, "m");
  ASSERT_TRUE(parse_level("500M", &l));
  EXPECT_FALSE(level_matches(l, r));
}

TEST(Selection, ValuesAreAlternativesAndCriteriaMustAllHold) {
  const zep_record r = make_record();
  std::string error;
  Selection s;
  EXPECT_TRUE(s.empty());
  EXPECT_TRUE(s.matches(r));
  ASSERT_TRUE(s.add("nomvar=UU,TT", &error)) << error;
  EXPECT_TRUE(s.matches(r));
  ASSERT_TRUE(s.add("ip1=500", &error)) << error;
  EXPECT_TRUE(s.matches(r));
  ASSERT_TRUE(s.add("level=850mb,500mb", &error)) << error;
  EXPECT_TRUE(s.matches(r));
  ASSERT_TRUE(s.add("etiket=OTHER", &error)) << error;
  EXPECT_FALSE(s.matches(r));

  Selection t;
  ASSERT_TRUE(t.add("typvar=P ", &error));  // trailing blanks are not part of a name
  ASSERT_TRUE(t.add("ip2=6", &error));
  ASSERT_TRUE(t.add("ip3=0,1", &error));
  EXPECT_TRUE(t.matches(r));
  ASSERT_TRUE(t.add("nomvar=T", &error));  // whole names, not prefixes
  EXPECT_FALSE(t.matches(r));
}

TEST(Selection, ValidityTimeAsDateTimeOrStamp) {
  const zep_record r = make_record();
  std::string error;
  Selection iso;
  ASSERT_TRUE(iso.add("datev=1983-10-26T21:00:00Z", &error)) << error;
  EXPECT_TRUE(iso.matches(r));
  Selection later;
  ASSERT_TRUE(later.add("datev=1983-10-26T21:00:05Z", &error)) << error;
  EXPECT_FALSE(later.matches(r));
  Selection stamp;
  ASSERT_TRUE(stamp.add("datev=123456789", &error)) << error;
  EXPECT_TRUE(stamp.matches(r));
  zep_record unknown = r;
  unknown.datev_ok = 0;
  EXPECT_FALSE(iso.matches(unknown));
}

TEST(Selection, RefusesBadKeysAndValues) {
  for (const char *bad :
       {"nomvar", "=TT", "colour=red", "NOMVAR=TT", "nomvar=", "nomvar=TT,", "nomvar=TOOLONG",
        "typvar=PPP", "etiket=THIRTEENCHARS", "ip1=five", "ip1=1.5", "ip1=99999999999",
        "datev=yesterday", "datev=1983-10-32", "level=high", "level=500mb,"}) {
    Selection s;
    std::string error;
    EXPECT_FALSE(s.add(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_TRUE(s.empty()) << bad;
  }
}

}  // namespace
}  // namespace cli
