// Cross-check against documents written by an independent implementation:
// every record's <ip1> must give its <level> text, and its <dateo>, <deet>
// and <npas> its <datev> and both ISO texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "coding/date_stamp.h"
#include "coding/level_code.h"
#include "zep/coding.h"
#include "tests/golden_dir.h"
#include "tests/xml_text.h"

namespace zep::coding {
namespace {

using zep_test::golden_dir;

// Text between <tag> and </tag> starting at `from`; npos when absent.
bool element(const std::string &doc, const std::string &tag, size_t from, size_t to,
             std::string *out) {
  const std::string open = "<" + tag + ">", close = "</" + tag + ">";
  const size_t a = doc.find(open, from);
  if (a == std::string::npos || a >= to) return false;
  const size_t b = doc.find(close, a);
  if (b == std::string::npos || b > to) return false;
  *out = doc.substr(a + open.size(), b - a - open.size());
  return true;
}

std::string iso_text(int stamp) {
  int date = 0, time = 0, mode = -3;
  newdate_(&stamp, &date, &time, &mode);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", date / 10000, (date / 100) % 100,
                date % 100, time / 1000000, (time / 10000) % 100, (time / 100) % 100);
  return buf;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

TEST(GoldenPairsTest, LevelAndDateTextsOfEveryRecord) {
  const std::string dir = golden_dir();
  DIR *d = opendir(dir.c_str());
  if (d == nullptr) GTEST_SKIP() << "golden folder " << dir << " is absent";
  std::vector<std::string> names;
  while (dirent *e = readdir(d)) {
    const std::string n = e->d_name;
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".xml") == 0 && n != "big_field.xml")
      names.push_back(n);
  }
  closedir(d);
  int records = 0;
  for (const std::string &name : names) {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string doc = ss.str();
    for (size_t at = doc.find("<vktrecord>"); at != std::string::npos;
         at = doc.find("<vktrecord>", at + 1)) {
      const size_t end = doc.find("</vktrecord>", at);
      ASSERT_NE(end, std::string::npos) << name;
      std::string ip1, level, dateo, datev, deet, npas, origin, validity;
      ASSERT_TRUE(element(doc, "ip1", at, end, &ip1) && element(doc, "level", at, end, &level) &&
                  element(doc, "dateo", at, end, &dateo) &&
                  element(doc, "datev", at, end, &datev) && element(doc, "deet", at, end, &deet) &&
                  element(doc, "npas", at, end, &npas) &&
                  element(doc, "date-of-origin", at, end, &origin) &&
                  element(doc, "date-of-validity", at, end, &validity))
          << name << " at " << at;
      ++records;
      const std::string where = name + " ip1=" + ip1 + " dateo=" + dateo;
      std::string text;
      testing::internal::CaptureStdout();
      const bool ok = level_text(std::stoi(ip1), &text, stdout);
      testing::internal::GetCapturedStdout();
      EXPECT_EQ(ok ? trimmed(text.substr(0, 31)) : std::string(), zep_test::xml_unescape(level))
          << where;

      int stamp = std::stoi(dateo);
      const long long steps = std::stoll(deet) * std::stoll(npas);
      double hours = static_cast<double>(steps) * (1.0 / 3600.0);
      int valid = 0;
      testing::internal::CaptureStdout();
      incdatr_(&valid, &stamp, &hours);
      testing::internal::GetCapturedStdout();
      EXPECT_EQ(valid, std::stoi(datev)) << where;
      EXPECT_EQ(iso_text(stamp), origin) << where;
      EXPECT_EQ(iso_text(valid), validity) << where;
    }
  }
  EXPECT_GT(records, 0);
  std::printf("checked %d records in %zu documents\n", records, names.size());
}

}  // namespace
}  // namespace zep::coding
