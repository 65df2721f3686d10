// End-to-end runs of the zep tool (build/zep) on the golden files and the
// damaged corpus: listings held to the converter's documents, selections,
// copies converted back, checks, repairs, usage errors. Every run is made
// with sanitizer reports turned into exit statuses of their own (98, 99),
// so a crash or a report never passes for a failure of the tool.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e_support.h"
#include "tests/xml_text.h"

namespace {

using zep_test::env;
using zep_test::exists;
using zep_test::files_in;
using zep_test::golden_names;
using zep_test::quote;
using zep_test::run;
using zep_test::slurp;

// The program: ZEP_CLI, else zep beside the folder of this test.
std::string zep_program() {
  if (!env("ZEP_CLI").empty()) return env("ZEP_CLI");
  char self[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "";
  std::string dir(self, static_cast<size_t>(n));
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/zep";
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// ---- A reader of the tool's JSON: an array of flat objects. --------------
struct JsonValue {
  bool is_string = false, is_null = false;
  std::string text;  // the string's bytes, or the number's text
};
using JsonObject = std::map<std::string, JsonValue>;

class JsonReader {
 public:
  explicit JsonReader(const std::string &s) : s_(s) {}
  bool array(std::vector<JsonObject> *out) {
    if (!eat('[')) return false;
    if (eat(']')) return end();
    do {
      JsonObject o;
      if (!object(&o)) return false;
      out->push_back(std::move(o));
    } while (eat(','));
    return eat(']') && end();
  }

 private:
  void blanks() {
    while (p_ < s_.size() && std::string(" \t\r\n").find(s_[p_]) != std::string::npos) ++p_;
  }
  bool eat(char c) {
    blanks();
    if (p_ < s_.size() && s_[p_] == c) return ++p_, true;
    return false;
  }
  bool end() {
    blanks();
    return p_ == s_.size();
  }
  bool string(std::string *out) {
    if (!eat('"')) return false;
    while (p_ < s_.size() && s_[p_] != '"') {
      const unsigned char c = static_cast<unsigned char>(s_[p_++]);
      if (c < 0x20) return false;
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        continue;
      }
      if (p_ >= s_.size()) return false;
      const char e = s_[p_++];
      if (e == 'u') {
        if (p_ + 4 > s_.size()) return false;
        const unsigned long v = std::strtoul(s_.substr(p_, 4).c_str(), nullptr, 16);
        if (v > 0xFF) return false;  // the tool writes bytes only
        out->push_back(static_cast<char>(v));
        p_ += 4;
      } else {
        const std::string from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
        const size_t k = from.find(e);
        if (k == std::string::npos) return false;
        out->push_back(to[k]);
      }
    }
    return p_++ < s_.size();
  }
  bool object(JsonObject *o) {
    if (!eat('{')) return false;
    do {
      std::string key;
      JsonValue v;
      if (!string(&key) || !eat(':')) return false;
      blanks();
      if (p_ < s_.size() && s_[p_] == '"') {
        v.is_string = true;
        if (!string(&v.text)) return false;
      } else if (s_.compare(p_, 4, "null") == 0) {
        v.is_null = true;
        p_ += 4;
      } else {
        const size_t start = p_;
        while (p_ < s_.size() && std::string("+-.0123456789eE").find(s_[p_]) != std::string::npos)
          ++p_;
        if (p_ == start) return false;
        v.text = s_.substr(start, p_ - start);
      }
      if (o->count(key) != 0) return false;
      (*o)[key] = v;
    } while (eat(','));
    return eat('}');
  }
  const std::string &s_;
  size_t p_ = 0;
};

// ---- The converter's document: each record's fields, unescaped. ---------
// A control byte is written by the converter as U+FFFD; it is kept here as
// the byte 0x01 and compared as "any control byte".
using XmlRecord = std::map<std::string, std::string>;

std::vector<XmlRecord> xml_records(const std::string &doc) {
  static const char *kTags[] = {"nomvar",
                                "typvar",
                                "etiket",
                                "ip1",
                                "ip2",
                                "ip3",
                                "ni",
                                "nj",
                                "nk",
                                "dateo",
                                "datev",
                                "deet",
                                "npas",
                                "grtyp",
                                "ig1",
                                "ig2",
                                "ig3",
                                "ig4",
                                "nbits",
                                "datyp",
                                "level",
                                "extra1",
                                "date-of-validity",
                                "values"};
  std::vector<XmlRecord> records;
  for (size_t at = doc.find("<vktrecord>"); at != std::string::npos;
       at = doc.find("<vktrecord>", at + 1)) {
    const size_t end = doc.find("</vktrecord>", at);
    const std::string block = doc.substr(at, end - at);
    XmlRecord r;
    for (const char *tag : kTags) {
      const std::string open = std::string("<") + tag + ">", close = std::string("</") + tag + ">";
      const size_t a = block.find(open);
      if (a == std::string::npos) continue;
      const size_t b = block.find(close, a);
      r[tag] = zep_test::xml_unescape(block.substr(a + open.size(), b - a - open.size()));
    }
    records.push_back(r);
  }
  return records;
}

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
std::string ltrim(std::string s) {
  s.erase(0, s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));
  return s;
}

// Texts agree byte for byte, a control byte matching the converter's U+FFFD.
bool same_text(const std::string &xml, const std::string &json) {
  if (xml.size() != json.size()) return false;
  for (size_t i = 0; i < xml.size(); ++i) {
    const unsigned char j = static_cast<unsigned char>(json[i]);
    if (xml[i] == '\x01' ? !(j < 0x20 || j == 0x7F) : xml[i] != json[i]) return false;
  }
  return true;
}

class ZepTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = std::make_unique<zep_test::TempDir>("zep_cli");
    dir_ = scratch_->path();
  }
  static void TearDownTestSuite() { scratch_.reset(); }
  void SetUp() override {
    zep_ = zep_program();
    if (zep_.empty() || !exists(zep_)) GTEST_SKIP() << "the zep tool was not built";
    golden_ = zep_test::golden_dir();
    if (!exists(golden_ + "empty.vkt")) GTEST_SKIP() << "no golden files";
  }

  // Runs zep with the arguments (already quoted as needed).
  Outcome zep(const std::string &args) const {
    Outcome r;
    const std::string out = dir_ + "/run.out", err = dir_ + "/run.err";
    r.status =
        run("ASAN_OPTIONS=exitcode=99 UBSAN_OPTIONS=exitcode=98:print_stacktrace=1 timeout 60 " +
            quote(zep_) + " " + args + " >" + quote(out) + " 2>" + quote(err));
    r.out = slurp(out);
    r.err = slurp(err);
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << args << "\n" << r.err;
    return r;
  }
  std::string golden(const std::string &name) const { return golden_ + name + ".vkt"; }
  std::string scratch(const std::string &name) const { return dir_ + "/" + name; }

  std::vector<JsonObject> json_listing(const std::string &args) const {
    const Outcome r = zep("ls --format json " + args);
    EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
    std::vector<JsonObject> list;
    EXPECT_TRUE(JsonReader(r.out).array(&list)) << args << "\n" << r.out.substr(0, 500);
    return list;
  }

  // The converter's records of a standard file.
  std::vector<XmlRecord> converted(const std::string &path, int *status = nullptr) const {
    const std::string xml = path + ".xml";
    const int rc = run(quote(zep_test::converter()) + " -vkt " + quote(path) + " -xml " +
                       quote(xml) + " >/dev/null 2>&1");
    if (status != nullptr) *status = rc;
    return xml_records(slurp(xml));
  }

  static std::unique_ptr<zep_test::TempDir> scratch_;
  static std::string dir_;
  std::string zep_, golden_;  // golden_ ends in '/'
};
std::unique_ptr<zep_test::TempDir> ZepTool::scratch_;
std::string ZepTool::dir_;

TEST_F(ZepTool, JsonListingIsTheConvertersDocument) {
  const auto names = golden_names(golden_);
  ASSERT_GE(names.size(), 20u);
  for (const std::string &name : names) {
    SCOPED_TRACE(name);
    const auto list = json_listing(quote(golden(name)));
    const auto doc = xml_records(slurp(golden_ + name + ".xml"));
    ASSERT_EQ(list.size(), doc.size());
    for (size_t i = 0; i < list.size(); ++i) {
      SCOPED_TRACE("record " + std::to_string(i));
      const JsonObject &j = list[i];
      EXPECT_EQ(j.size(), 22u);
      for (const char *key : {"nomvar", "typvar", "etiket", "grtyp"}) {
        ASSERT_TRUE(j.count(key) && j.at(key).is_string) << key;
        EXPECT_TRUE(same_text(rtrim(doc[i].at(key)), j.at(key).text))
            << key << ": '" << j.at(key).text << "'";
      }
      // dateo and datev as the document gives them: the origin, and the
      // origin plus deet x npas (a stored 30 February reads as 2 March).
      for (const char *key : {"ip1", "ip2", "ip3", "ni", "nj", "nk", "dateo", "datev", "deet",
                              "npas", "ig1", "ig2", "ig3", "ig4", "datyp", "nbits"}) {
        ASSERT_TRUE(j.count(key) && !j.at(key).is_string && !j.at(key).is_null) << key;
        EXPECT_EQ(j.at(key).text, doc[i].at(key)) << key;
      }
      ASSERT_TRUE(j.count("level") && j.at("level").is_string);
      EXPECT_EQ(j.at("level").text, ltrim(doc[i].at("level")));
      ASSERT_TRUE(j.count("file"));
      EXPECT_EQ(j.at("file").text, golden(name));
    }
  }
}

TEST_F(ZepTool, TableAndCsvListEveryRecordUnderOneHeader) {
  const Outcome table = zep("ls " + quote(golden("many_records")));
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 301);
  EXPECT_EQ(table.out.rfind("nomvar typvar etiket", 0), 0u) << table.out.substr(0, 200);
  for (const char *column :
       {" level ", " ip1 ", " datev ", " deet ", " npas ", " grtyp ", " datyp ", " nbits"})
    EXPECT_NE(table.out.substr(0, table.out.find('\n')).find(column), std::string::npos) << column;

  // The rows say what the document says: the dates' validity times.
  const auto doc = xml_records(slurp(golden_ + "dates.xml"));
  const Outcome csv = zep("ls --format=csv " + quote(golden("dates")));
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::istringstream lines(csv.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(
      line,
      "nomvar,typvar,etiket,level,ip1,ip2,ip3,datev,deet,npas,ni,nj,nk,grtyp,datyp,nbits,file");
  for (const XmlRecord &r : doc) {
    ASSERT_TRUE(std::getline(lines, line));
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string c; std::getline(cells, c, ',');) f.push_back(c);
    ASSERT_EQ(f.size(), 17u) << line;
    EXPECT_EQ(f[0], rtrim(r.at("nomvar")));
    EXPECT_EQ(f[3], ltrim(r.at("level")));
    EXPECT_EQ(f[4], r.at("ip1"));
    EXPECT_EQ(f[7], r.at("date-of-validity"));
    EXPECT_EQ(f[16], golden("dates"));
  }
  EXPECT_FALSE(std::getline(lines, line));

  // Several files, one after the other, each row naming its file.
  const auto both = json_listing(quote(golden("dates")) + " " + quote(golden("deleted")));
  const size_t dates = doc.size(), deleted = xml_records(slurp(golden_ + "deleted.xml")).size();
  ASSERT_EQ(both.size(), dates + deleted);
  EXPECT_EQ(both[dates - 1].at("file").text, golden("dates"));
  EXPECT_EQ(both[dates].at("file").text, golden("deleted"));
  const Outcome two = zep("ls " + quote(golden("dates")) + " " + quote(golden("empty")));
  ASSERT_EQ(two.status, 0);
  EXPECT_EQ(std::count(two.out.begin(), two.out.end(), '\n'), static_cast<long>(dates + 1));
  EXPECT_NE(two.out.find(" " + golden("dates") + "\n"), std::string::npos);

  const Outcome empty = zep("ls --format json " + quote(golden("empty")));
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.out, "[]\n");
}

TEST_F(ZepTool, StatsSummariseTheConvertersValues) {
  for (const char *name : {"integers", "sample_reals", "zero_values"}) {
    SCOPED_TRACE(name);
    const Outcome r = zep("ls --stats --format json " + quote(golden(name)));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<JsonObject> list;
    ASSERT_TRUE(JsonReader(r.out).array(&list));
    const auto doc = xml_records(slurp(golden_ + name + ".xml"));
    ASSERT_EQ(list.size(), doc.size());
    for (size_t i = 0; i < list.size(); ++i) {
      std::istringstream values(doc[i].at("values"));
      std::vector<double> v;
      for (double x; values >> x;) v.push_back(x);
      if (v.empty()) {
        EXPECT_TRUE(list[i].at("min").is_null);
        EXPECT_TRUE(list[i].at("mean").is_null);
        continue;
      }
      double sum = 0;
      for (double x : v) sum += x;
      const double lo = *std::min_element(v.begin(), v.end()),
                   hi = *std::max_element(v.begin(), v.end());
      // The document shows six digits.
      auto near = [](double a, double b) {
        return std::abs(a - b) <= 1e-5 * std::max({1.0, std::abs(a), std::abs(b)});
      };
      EXPECT_TRUE(near(std::stod(list[i].at("min").text), lo))
          << i << " " << list[i].at("min").text << " " << lo;
      EXPECT_TRUE(near(std::stod(list[i].at("max").text), hi)) << i;
      EXPECT_TRUE(near(std::stod(list[i].at("mean").text), sum / static_cast<double>(v.size())))
          << i;
    }
  }
}

TEST_F(ZepTool, WhereCriteriaCombine) {
  // Each selection against the same filter applied to the whole document.
  struct Case {
    std::string file, where;
    std::function<bool(const XmlRecord &)> want;
  };
  const auto doc_of = [this](const std::string &name) {
    return xml_records(slurp(golden_ + name + ".xml"));
  };
  const auto dates = doc_of("dates");
  const auto many = doc_of("many_records");
  ASSERT_GE(dates.size(), 3u);
  ASSERT_GE(many.size(), 3u);
  const std::string n0 = rtrim(many[0].at("nomvar")), n1 = rtrim(many[1].at("nomvar"));
  const std::string e0 = rtrim(many[0].at("etiket")), ip1 = many[2].at("ip1");
  const std::string when = dates[1].at("date-of-validity"), stamp = dates[1].at("datev");
  const std::vector<Case> cases = {
      {"many_records", "--where nomvar=" + n0 + "," + n1,
       [&](const XmlRecord &r) {
         return rtrim(r.at("nomvar")) == n0 || rtrim(r.at("nomvar")) == n1;
       }},
      {"many_records", "--where nomvar=" + n0 + "," + n1 + " --where=etiket=" + e0,
       [&](const XmlRecord &r) {
         return (rtrim(r.at("nomvar")) == n0 || rtrim(r.at("nomvar")) == n1) &&
                rtrim(r.at("etiket")) == e0;
       }},
      {"many_records", "--where ip1=" + ip1,
       [&](const XmlRecord &r) { return r.at("ip1") == ip1; }},
      {"dates", "--where datev=" + when,
       [&](const XmlRecord &r) { return r.at("date-of-validity") == when; }},
      {"dates", "--where datev=" + stamp,
       [&](const XmlRecord &r) { return r.at("datev") == stamp; }},
      {"dates", "--where level=1000mb",
       [&](const XmlRecord &r) { return ltrim(r.at("level")) == "1000 mb"; }},
      {"levels_new", "--where 'level=1 sg,0.0850sg'",
       [&](const XmlRecord &r) {
         return ltrim(r.at("level")) == "1 sg" || ltrim(r.at("level")) == "0.0850 sg";
       }},
      {"levels_new", "--where level=1",
       [&](const XmlRecord &r) { return ltrim(r.at("level")).rfind("1 ", 0) == 0; }},
      {"many_records", "--where nomvar=NONE", [](const XmlRecord &) { return false; }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file + " " + c.where);
    const auto doc = doc_of(c.file);
    const auto list = json_listing(c.where + " " + quote(golden(c.file)));
    // The listing holds no values: match on the descriptors, in order.
    std::vector<std::string> want_keys, got_keys;
    for (const XmlRecord &r : doc)
      if (c.want(r))
        want_keys.push_back(rtrim(r.at("nomvar")) + "/" + r.at("ip1") + "/" + r.at("ip2") + "/" +
                            r.at("datev"));
    for (const JsonObject &o : list)
      got_keys.push_back(o.at("nomvar").text + "/" + o.at("ip1").text + "/" + o.at("ip2").text +
                         "/" + o.at("datev").text);
    EXPECT_EQ(got_keys, want_keys);
  }
}

TEST_F(ZepTool, CopiesConvertToTheSameRecords) {
  for (const std::string &name : golden_names(golden_)) {
    SCOPED_TRACE(name);
    const std::string out = scratch("copy_" + name + ".vkt");
    const Outcome r = zep("copy " + quote(golden(name)) + " " + quote(out));
    if (name.rfind("old_", 0) == 0) {
      // The library copies records between files of the current layout only.
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("record 0 ("), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("old layout"), std::string::npos) << r.err;
      EXPECT_FALSE(exists(out));
      continue;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");  // no progress bar off a terminal
    int status = -1;
    const auto copy = converted(out, &status);
    EXPECT_EQ(status, 0);
    auto doc = xml_records(slurp(golden_ + name + ".xml"));
    ASSERT_EQ(copy.size(), doc.size());
    for (size_t i = 0; i < doc.size(); ++i) EXPECT_EQ(copy[i], doc[i]) << "record " << i;
  }
}

TEST_F(ZepTool, CopyOfASelectionAndAppend) {
  const auto many = xml_records(slurp(golden_ + "many_records.xml"));
  const std::string n0 = rtrim(many[0].at("nomvar"));
  const std::string out = scratch("selection.vkt");
  ASSERT_EQ(zep("copy --where nomvar=" + n0 + " " + quote(golden("many_records")) + " " +
                quote(golden("dates")) + " " + quote(out))
                .status,
            0);
  std::vector<XmlRecord> want;
  for (const XmlRecord &r : many)
    if (rtrim(r.at("nomvar")) == n0) want.push_back(r);
  for (const XmlRecord &r : xml_records(slurp(golden_ + "dates.xml")))
    if (rtrim(r.at("nomvar")) == n0) want.push_back(r);
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(converted(out), want);

  // Without --append an existing OUT is refused and left alone.
  const std::string before = slurp(out);
  const Outcome again = zep("copy " + quote(golden("integers")) + " " + quote(out));
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("exists"), std::string::npos) << again.err;
  EXPECT_EQ(slurp(out), before);

  // --append adds behind the records already there.
  ASSERT_EQ(zep("copy --append " + quote(golden("integers")) + " " + quote(out)).status, 0);
  auto more = want;
  for (const XmlRecord &r : xml_records(slurp(golden_ + "integers.xml"))) more.push_back(r);
  EXPECT_EQ(converted(out), more);

  // A failed append (a damaged input) leaves OUT exactly as it was.
  const std::string held = slurp(out);
  const Outcome bad =
      zep("copy --append " + quote(golden("dates")) + " " +
          quote(env("ZEP_SOURCE_DIR") + "/tests/damaged/cut_in_record_1_at_word_20.vkt") + " " +
          quote(out));
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(slurp(out), held);
  // No scratch file is left beside it.
  for (const std::string &n : files_in(dir_, ""))
    EXPECT_EQ(n.find(".zep-"), std::string::npos) << n;
}

TEST_F(ZepTool, CopyRefusesAnOutputThatIsAnInput) {
  const std::string in = scratch("input.vkt");
  ASSERT_EQ(zep("copy " + quote(golden("dates")) + " " + quote(in)).status, 0);
  const std::string bytes = slurp(in);
  ASSERT_EQ(::link(in.c_str(), scratch("input_link.vkt").c_str()), 0);
  for (const std::string &out :
       std::vector<std::string>{in, dir_ + "/./input.vkt", scratch("input_link.vkt")}) {
    for (const char *append : {"", "--append "}) {
      SCOPED_TRACE(out + " " + append);
      const Outcome r = zep(std::string("copy ") + append + quote(golden("integers")) + " " +
                            quote(in) + " " + quote(out));
      EXPECT_EQ(r.status, 2);
      EXPECT_NE(r.err.find("is also an input"), std::string::npos) << r.err;
      EXPECT_EQ(slurp(in), bytes);
    }
  }
}

TEST_F(ZepTool, CheckSaysEveryGoldenFileIsSound) {
  for (const std::string &name : files_in(golden_, ".vkt")) {
    SCOPED_TRACE(name);
    const Outcome r = zep("check " + quote(golden(name)));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.rfind(golden(name) + ": ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(": sound\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
  const Outcome two = zep("check " + quote(golden("dates")) + " " + quote(golden("many_records")));
  EXPECT_EQ(two.status, 0);
  EXPECT_NE(
      two.out.find(golden("many_records") + ": random, 300 records, 0 deleted, 2 directory pages,"),
      std::string::npos)
      << two.out;
}

// The committed damaged corpus through every command: a status of 0 or 1,
// never a crash or a sanitizer report; check always says damaged.
TEST_F(ZepTool, DamagedCorpus) {
  const std::string corpus = env("ZEP_SOURCE_DIR") + "/tests/damaged";
  const auto names = files_in(corpus, ".vkt");
  ASSERT_GE(names.size(), 20u);
  for (const std::string &name : names) {
    SCOPED_TRACE(name);
    const std::string path = quote(corpus + "/" + name + ".vkt");
    const Outcome check = zep("check " + path);
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_NE(check.out.find("DAMAGED") == std::string::npos ? check.out.find("cannot be examined")
                                                             : check.out.find("DAMAGED"),
              std::string::npos)
        << check.out;
    EXPECT_NE(check.err.find("zep: "), std::string::npos) << check.err;

    const Outcome ls = zep("ls " + path);
    EXPECT_TRUE(ls.status == 0 || ls.status == 1) << ls.status << ls.err;
    const Outcome stats = zep("ls --stats --format json " + path);
    EXPECT_EQ(stats.status, 1) << stats.err;
    std::vector<JsonObject> list;
    EXPECT_TRUE(JsonReader(stats.out).array(&list)) << stats.out;

    // A copy fails and leaves nothing, or (damage a copy of the stored
    // words does not meet: inside the values, or in a directory entry whose
    // record's own header is whole) copies every record the listing shows.
    const std::string out = scratch("damaged_copy.vkt");
    const Outcome copy = zep("copy " + path + " " + quote(out));
    EXPECT_TRUE(copy.status == 0 || copy.status == 1) << copy.status << copy.err;
    EXPECT_EQ(exists(out), copy.status == 0);
    if (copy.status == 0) {
      EXPECT_EQ(ls.status, 0);
      const Outcome listed = zep("ls " + quote(out));
      EXPECT_EQ(listed.status, 0);
      EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'),
                std::count(ls.out.begin(), ls.out.end(), '\n'));
    } else {
      EXPECT_NE(copy.err.find("nothing copied"), std::string::npos) << copy.err;
    }
    std::remove(out.c_str());

    const std::string repaired = scratch("repaired_" + name + ".vkt");
    const Outcome repair = zep("repair " + path + " " + quote(repaired));
    EXPECT_TRUE(repair.status == 0 || repair.status == 1) << repair.status << repair.err;
    if (exists(repaired)) {
      int status = -1;
      converted(repaired, &status);
      EXPECT_EQ(status, 0) << "a repaired file converts cleanly";
      EXPECT_EQ(zep("check " + quote(repaired)).status, 0);
    }
  }
}

TEST_F(ZepTool, RepairKeepsWhatReadsAndReportsTheRest) {
  const std::string corpus = env("ZEP_SOURCE_DIR") + "/tests/damaged";
  // The last record is cut: the first three survive, bit for bit.
  const std::string out = scratch("repair_cut.vkt");
  const Outcome cut =
      zep("repair " + quote(corpus + "/cut_in_record_3_at_word_39.vkt") + " " + quote(out));
  EXPECT_EQ(cut.status, 1) << cut.err;
  EXPECT_NE(cut.out.find("lost: record 3 (GZ"), std::string::npos) << cut.out;
  EXPECT_NE(cut.out.find("3 records kept in " + out + ", 1 lost"), std::string::npos) << cut.out;
  const auto kept = converted(out);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(rtrim(kept[0].at("nomvar")), "TT");
  EXPECT_EQ(rtrim(kept[2].at("nomvar")), "I2");

  // A record claiming more values than it holds is the one lost.
  const std::string out2 = scratch("repair_count.vkt");
  const Outcome count =
      zep("repair " + quote(corpus + "/count_beyond_record.vkt") + " " + quote(out2));
  EXPECT_EQ(count.status, 1);
  EXPECT_NE(count.out.find("lost: record 0 (TT"), std::string::npos) << count.out;
  EXPECT_EQ(converted(out2).size(), 3u);

  // A directory that cannot be read: nothing recovered, no file.
  const std::string out3 = scratch("repair_none.vkt");
  const Outcome none = zep("repair " + quote(corpus + "/cut_after_header.vkt") + " " + quote(out3));
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("nothing can be recovered"), std::string::npos) << none.err;
  EXPECT_FALSE(exists(out3));

  // A sound file comes out whole, deleted records left behind.
  const std::string out4 = scratch("repair_sound.vkt");
  const Outcome sound = zep("repair " + quote(golden("deleted")) + " " + quote(out4));
  EXPECT_EQ(sound.status, 0) << sound.out << sound.err;
  EXPECT_EQ(converted(out4), xml_records(slurp(golden_ + "deleted.xml")));
  EXPECT_EQ(zep("repair " + quote(golden("deleted")) + " " + quote(out4)).status, 1);  // OUT exists
}

TEST_F(ZepTool, UsageErrorsExitWith2) {
  const std::string f = quote(golden("dates"));
  for (const std::string &args :
       std::vector<std::string>{"",
                                std::string("frobnicate"),
                                std::string("--frobnicate"),
                                "ls",
                                "ls --bogus " + f,
                                "ls --format xml " + f,
                                "ls --format",
                                "ls --where colour=red " + f,
                                "ls --where ip1=high " + f,
                                "ls --where datev=1983-02-30T00:00:00Z " + f,
                                "ls --where level=up " + f,
                                "ls --where nomvar= " + f,
                                "ls --stats=yes " + f,
                                "copy " + f,
                                "copy --where ip9=1 " + f + " " + quote(scratch("x.vkt")),
                                "check",
                                "check --deep " + f,
                                "repair " + f,
                                "repair " + f + " a b",
                                std::string("help nothing")}) {
    SCOPED_TRACE(args);
    const Outcome r = zep(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("zep: ", 0), 0u) << r.err;
  }
  EXPECT_FALSE(exists(scratch("x.vkt")));
}

TEST_F(ZepTool, HelpAndVersion) {
  for (const std::string args : {"--help", "-h", "help", "help ls", "ls --help", "copy --help",
                                 "check -h", "repair --help", "help repair"}) {
    SCOPED_TRACE(args);
    const Outcome r = zep(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: zep ", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
  }
  EXPECT_NE(zep("help copy").out.find("--append"), std::string::npos);
  const Outcome v = zep("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("zep ", 0), 0u);
  EXPECT_EQ(std::count(v.out.begin(), v.out.end(), '.'), 2) << v.out;
}

TEST_F(ZepTool, UnreadableFilesExitWith1) {
  const std::string missing = quote(scratch("no_such_file.vkt"));
  for (const std::string &args : std::vector<std::string>{
           "ls " + missing, "ls " + quote(golden("dates")) + " " + missing, "check " + missing,
           "copy " + missing + " " + quote(scratch("never.vkt"))}) {
    SCOPED_TRACE(args);
    const Outcome r = zep(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no_such_file.vkt"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(exists(scratch("never.vkt")));
}

}  // namespace
