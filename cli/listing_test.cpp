// Tests of the output of `zep ls` and the JSON texts it is made of, and of
// the option scanner.
#include "cli/listing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "cli/args.h"
#include "cli/json.h"

namespace cli {
namespace {

zep_record make_record() {
  zep_record r{};
  std::strcpy(r.nomvar, "TT");
  std::strcpy(r.typvar, "P");
  std::strcpy(r.etiket, "A,\"B\"");
  std::strcpy(r.grtyp, "X");
  r.ip1 = 500;
  r.ip2 = -6;
  r.ip3 = 7;
  r.ni = 10;
  r.nj = 5;
  r.nk = 1;
  r.dateo = 11;
  r.datev = 12;
  r.deet = 300;
  r.npas = 2;
  r.ig1 = 1;
  r.ig2 = 2;
  r.ig3 = 3;
  r.ig4 = 4;
  r.datyp = 134;
  r.nbits = 12;
  std::strcpy(r.level_text, "500 mb");
  r.datev_ok = 1;
  r.datev_unix = 436050000;  // 1983-10-26T21:00:00Z
  return r;
}

TEST(Json, StringsAreAsciiAndEscaped) {
  std::string s;
  append_json_string(&s, std::string("a\"b\\c\n\t\x01\x7f\xd8 ", 11));
  EXPECT_EQ(s, "\"a\\\"b\\\\c\\n\\t\\u0001\\u007f\\u00d8 \"");
  s.clear();
  append_json_string(&s, std::string("\0x", 2));
  EXPECT_EQ(s, "\"\\u0000x\"");
}

TEST(Json, NamesKeepValidUtf8Only) {
  std::string s;
  append_json_name(&s, "d\xc3\xa9j\xc3\xa0/\"f\".vkt");
  EXPECT_EQ(s, "\"d\xc3\xa9j\xc3\xa0/\\\"f\\\".vkt\"");
  s.clear();
  append_json_name(&s, "a\xc3(\xe9\xed\xa0\x80z");  // cut sequence, Latin-1, a surrogate
  EXPECT_EQ(s, "\"a\\u00c3(\\u00e9\\u00ed\\u00a0\\u0080z\"");
}

TEST(Json, NumbersRoundTripAndNonFiniteIsNull) {
  std::string s;
  for (double v : std::initializer_list<double>{0.1, -2.5e-300, 1e21, 3.0, NAN, INFINITY}) {
    append_json_number(&s, v);
    s += ' ';
  }
  EXPECT_EQ(s, "0.1 -2.5e-300 1e+21 3 null null ");
}

TEST(Listing, JsonHasEveryKeyWithStoredValues) {
  Listing l(Format::kJson, false, false);
  std::string out = l.begin();
  out += l.row(make_record(), "in.vkt", nullptr);
  out += l.end();
  EXPECT_EQ(
      out,
      "[\n{\"nomvar\":\"TT\",\"typvar\":\"P\",\"etiket\":\"A,\\\"B\\\"\",\"grtyp\":\"X\",\"ip1\":"
      "500,"
      "\"ip2\":-6,\"ip3\":7,\"ni\":10,\"nj\":5,\"nk\":1,\"dateo\":11,\"datev\":12,\"deet\":300,"
      "\"npas\":2,\"ig1\":1,\"ig2\":2,\"ig3\":3,\"ig4\":4,\"datyp\":134,\"nbits\":12,"
      "\"level\":\"500 mb\",\"file\":\"in.vkt\"}\n]\n");
  Listing empty(Format::kJson, true, false);
  EXPECT_EQ(empty.begin() + empty.end(), "[]\n");
}

TEST(Listing, JsonStatsAreNumbersOrNull) {
  Listing l(Format::kJson, true, false);
  Stats st;
  st.ok = true;
  st.min = -1.5;
  st.max = 2;
  st.mean = 0.25;
  const std::string row = l.row(make_record(), "f", &st);
  EXPECT_NE(row.find("\"min\":-1.5,\"max\":2,\"mean\":0.25,\"file\":\"f\"}"), std::string::npos)
      << row;
  const std::string failed = l.row(make_record(), "f", nullptr);
  EXPECT_EQ(failed.rfind(",\n{", 0), 0u);
  EXPECT_NE(failed.find("\"min\":null,\"max\":null,\"mean\":null,"), std::string::npos) << failed;
}

TEST(Listing, CsvQuotesFieldsAndAlwaysNamesTheFile) {
  Listing l(Format::kCsv, false, false);
  EXPECT_EQ(
      l.begin(),
      "nomvar,typvar,etiket,level,ip1,ip2,ip3,datev,deet,npas,ni,nj,nk,grtyp,datyp,nbits,file\n");
  EXPECT_EQ(
      l.row(make_record(), "a b.vkt", nullptr),
      "TT,P,\"A,\"\"B\"\"\",500 mb,500,-6,7,1983-10-26T21:00:00Z,300,2,10,5,1,X,134,12,a b.vkt\n");
}

TEST(Listing, ValidityTimeIsWrittenFromItsSeconds) {
  Listing l(Format::kCsv, false, false);
  zep_record r = make_record();
  const std::pair<int64_t, const char *> cases[] = {{951827696, "2000-02-29T12:34:56Z"},
                                                    {-1, "1969-12-31T23:59:59Z"},
                                                    {4107542400, "2100-03-01T00:00:00Z"},
                                                    {-2208988800, "1900-01-01T00:00:00Z"}};
  for (const auto &[seconds, text] : cases) {
    r.datev_unix = seconds;
    EXPECT_NE(l.row(r, "f", nullptr).find(std::string(",") + text + ","), std::string::npos)
        << text;
  }
  r.datev_ok = 0;  // an unreadable stamp: an empty field
  EXPECT_NE(l.row(r, "f", nullptr).find(",7,,300,"), std::string::npos);
}

TEST(Listing, TableRowsLineUpUnderTheHeader) {
  Listing l(Format::kTable, true, true);
  const std::string header = l.begin();
  zep_record r = make_record();
  std::strcpy(r.grtyp, "\t");
  r.etiket[0] = '\0';
  Stats st;
  st.ok = true;
  st.min = 1;
  st.max = 3;
  st.mean = 2;
  const std::string row = l.row(r, "x.vkt", &st);
  // Each column title ends where its right-aligned values end.
  for (const char *title : {"ip1", "nbits", "mean"}) {
    const size_t end = header.find(title) + std::strlen(title);
    ASSERT_LT(end, row.size());
    EXPECT_NE(row[end - 1], ' ') << title << "\n" << header << row;
    EXPECT_EQ(row[end], ' ') << title << "\n" << header << row;
  }
  EXPECT_NE(row.find(" ? "), std::string::npos) << row;  // the tab, harmless on a terminal
  EXPECT_NE(row.find("TT     P      -  "), std::string::npos) << row;  // empty label shown as '-'
  EXPECT_EQ(row.substr(row.size() - 6), "x.vkt\n");
  EXPECT_EQ(header.substr(header.size() - 5), "file\n");
}

TEST(ArgScanner, OptionsValuesAndOperands) {
  ArgScanner s({"a.vkt", "--format=json", "--where", "ip1=5", "-", "--", "--stats"});
  std::string v;
  ASSERT_TRUE(s.next());
  EXPECT_FALSE(s.is_option());
  EXPECT_EQ(s.operand(), "a.vkt");
  ASSERT_TRUE(s.next());
  EXPECT_EQ(s.name(), "--format");
  ASSERT_TRUE(s.value(&v));
  EXPECT_EQ(v, "json");
  ASSERT_TRUE(s.next());
  EXPECT_EQ(s.name(), "--where");
  EXPECT_FALSE(s.has_inline_value());
  ASSERT_TRUE(s.value(&v));
  EXPECT_EQ(v, "ip1=5");
  ASSERT_TRUE(s.next());  // a lone dash is an operand
  EXPECT_FALSE(s.is_option());
  EXPECT_EQ(s.operand(), "-");
  ASSERT_TRUE(s.next());  // after --, options are operands
  EXPECT_FALSE(s.is_option());
  EXPECT_EQ(s.operand(), "--stats");
  EXPECT_FALSE(s.next());

  ArgScanner last({"--where"});
  ASSERT_TRUE(last.next());
  EXPECT_FALSE(last.value(&v));
  EXPECT_NE(last.error().find("--where"), std::string::npos);
}

}  // namespace
}  // namespace cli
