// The request filter: setters and their refusals, the matcher's walk over
// the sets and its criteria, the directive file, the debug stream.
#include "stdfile/filter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "stdfile/directives.h"
#include "zep/coding.h"
#include "zep/filter.h"

namespace {

using zep::stdfile::match_request;
using zep::stdfile::RecordDescriptors;

// A record; names are blank-padded to their widths as c_vktprm gives them.
RecordDescriptors record(const char *nomvar, const char *typvar = "P", const char *etiket = "",
                         int dateo = 0, int ip1 = 0, int ip2 = 0, int ip3 = 0) {
  RecordDescriptors r;
  std::memcpy(r.nomvar, nomvar, std::min<size_t>(std::strlen(nomvar), 4));
  std::memcpy(r.typvar, typvar, std::min<size_t>(std::strlen(typvar), 2));
  std::memcpy(r.etiket, etiket, std::min<size_t>(std::strlen(etiket), 12));
  r.dateo = dateo;
  r.ip1 = ip1;
  r.ip2 = ip2;
  r.ip3 = ip3;
  return r;
}

int level_code(float value, int kind) {
  int code = 0, mode = 2, flag = 0;
  char text[1] = {' '};
  convip_(&code, &value, &kind, &mode, text, &flag, 0);
  return code;
}

int stamp(int yyyymmdd, int hhmmsshh) {
  int s = 0, mode = 3;
  EXPECT_EQ(newdate_(&s, &yyyymmdd, &hhmmsshh, &mode), 0);
  return s;
}

std::string temp_path(const char *tag) {
  static int n = 0;
  return testing::TempDir() + "filter_" + tag + "_" + std::to_string(::getpid()) + "_" +
         std::to_string(n++);
}

std::string slurp(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int desire_names(int (*setter)(int, int, char **, int), int set, int des_exc,
                 std::vector<const char *> names) {
  return setter(set, des_exc, const_cast<char **>(names.data()), static_cast<int>(names.size()));
}

class FilterTest : public testing::Test {
 protected:
  void SetUp() override {
    testing::internal::CaptureStderr();
    for (int s = 0; s < 20; ++s) c_requetes_reset(s, 0, 0, 0, 0, 0, 0, 0);
    c_desire_groupset(0, 19);
    testing::internal::GetCapturedStderr();
  }
  // Leaves the process-wide table empty for the other tests of the layer.
  void TearDown() override {
    unsetenv("DEBUGFILE");
    unsetenv("VKT_FILTER_FILE");
    c_requetes_init();
    c_desire_groupset(0, 19);
  }
  int pass(const RecordDescriptors &r) { return match_request(r, 7); }
};

TEST_F(FilterTest, EmptyFirstSetPassesEverything) {
  EXPECT_EQ(pass(record("TT")), 1);
  EXPECT_EQ(pass(record("GZ", "X", "ANY", 5, 6, 7, 8)), 1);
  // Only set 1 filled: the walk stops at the empty set 0.
  ASSERT_EQ(desire_names(c_desire_nomvar, 1, 1, {"TT"}), 0);
  EXPECT_EQ(pass(record("GZ")), 1);
}

TEST_F(FilterTest, DesireSetMatchesNamePrefixes) {
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 1, {"TT"}), 0);
  EXPECT_EQ(pass(record("TT")), 1);
  EXPECT_EQ(pass(record("TTX")), 1);
  EXPECT_EQ(pass(record("GZ")), 0);
  EXPECT_EQ(pass(record("T")), 0);
}

TEST_F(FilterTest, ExclusionSetRefusesItsRecordsOnly) {
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 0, {"TT"}), 0);
  EXPECT_EQ(pass(record("TT")), 0);
  EXPECT_EQ(pass(record("GZ")), 1);
  EXPECT_EQ(pass(record("UU")), 1);
}

TEST_F(FilterTest, FirstSetThatHoldsDecidesElseLastSetInUse) {
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 1, {"TT"}), 0);
  ASSERT_EQ(desire_names(c_desire_typvar, 1, 0, {"P"}), 0);
  EXPECT_EQ(pass(record("TT", "P")), 1);  // set 0 decides before set 1
  EXPECT_EQ(pass(record("GZ", "P")), 0);  // refused by set 1
  EXPECT_EQ(pass(record("GZ", "A")), 1);  // no decision: last set is an exclusion set
  // Now the last set in use is a desire set: undecided records are refused.
  ASSERT_EQ(desire_names(c_desire_typvar, 2, 1, {"XX"}), 0);
  EXPECT_EQ(pass(record("GZ", "A")), 0);
  EXPECT_EQ(pass(record("GZ", "XX")), 1);
}

TEST_F(FilterTest, LastSetRuleLooksPastAnEmptySet) {
  // Set 1 is empty, so the walk never reaches set 5, but set 5 is the last
  // set in use and, as an exclusion set, lets undecided records pass.
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 1, {"TT"}), 0);
  ASSERT_EQ(desire_names(c_desire_nomvar, 5, 0, {"GZ"}), 0);
  EXPECT_EQ(pass(record("GZ")), 1);
  EXPECT_EQ(pass(record("TT")), 1);
}

TEST_F(FilterTest, AllCriteriaOfASetMustHold) {
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 1, {"TT", "UU"}), 0);
  ASSERT_EQ(desire_names(c_desire_typvar, 0, 1, {"P"}), 0);
  ASSERT_EQ(desire_names(c_desire_etiquette, 0, 1, {"R1"}), 0);
  EXPECT_EQ(pass(record("UU", "P", "R1_OPER")), 1);
  EXPECT_EQ(pass(record("UU", "A", "R1_OPER")), 0);
  EXPECT_EQ(pass(record("UU", "P", "R2")), 0);
  EXPECT_EQ(pass(record("VV", "P", "R1")), 0);
}

TEST_F(FilterTest, GroupChoosesTheSetsWalked) {
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 1, {"TT"}), 0);
  ASSERT_EQ(desire_names(c_desire_nomvar, 3, 1, {"GZ"}), 0);
  ASSERT_EQ(c_desire_groupset(3, 3), 0);
  EXPECT_EQ(pass(record("GZ")), 1);
  EXPECT_EQ(pass(record("TT")), 0);
  ASSERT_EQ(c_desire_groupset(4, 19), 0);  // set 4 is empty
  EXPECT_EQ(pass(record("XX")), 1);
}

TEST_F(FilterTest, LongWordsAreKeptToTheirField) {
  ASSERT_EQ(desire_names(c_desire_etiquette, 0, 1, {"ABCDEFGHIJKLMN"}), 0);
  EXPECT_EQ(pass(record("TT", "P", "ABCDEFGHIJKL")), 1);
  ASSERT_EQ(desire_names(c_desire_nomvar, 1, 1, {"ABCDEF"}), 0);
  ASSERT_EQ(desire_names(c_desire_typvar, 1, 1, {"XYZ"}), 0);
  EXPECT_EQ(pass(record("ABCD", "XY", "Q")), 1);
}

TEST_F(FilterTest, DateListsAndIntervals) {
  const int d0 = stamp(20041125, 0);
  const int d6 = stamp(20041125, 6000000);
  const int d12 = stamp(20041125, 12000000);
  const int d18 = stamp(20041125, 18000000);
  int list[] = {d0, d12};
  ASSERT_EQ(c_desire_date(0, 1, list, 2, 0), 0);
  EXPECT_EQ(pass(record("TT", "P", "", d0)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", d6)), 0);
  EXPECT_EQ(pass(record("TT", "P", "", d12)), 1);

  int interval[] = {d6, d12};
  ASSERT_EQ(c_desire_date(0, 1, interval, -2, 0), 0);
  EXPECT_EQ(pass(record("TT", "P", "", d0)), 0);
  EXPECT_EQ(pass(record("TT", "P", "", d6)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 9300000))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", d12)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", d18)), 0);

  // A start of -1 is the record's own date: only the end bounds it.
  int open_start[] = {-1, d12};
  ASSERT_EQ(c_desire_date(0, 1, open_start, -2, 0), 0);
  EXPECT_EQ(pass(record("TT", "P", "", stamp(19950101, 0))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", d12)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", d18)), 0);
}

TEST_F(FilterTest, DateIntervalWalkedWithAStep) {
  int interval[] = {stamp(20041125, 0), stamp(20041126, 0)};
  ASSERT_EQ(c_desire_date(0, 1, interval, 2, 6.0f), 0);
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 6000000))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 18000000))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 9000000))), 0);
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 6001000))), 0);  // 10 s late
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041126, 6000000))), 0);  // past the end
  // A step of 0.1 h is not exact in binary: records on the step still pass.
  ASSERT_EQ(c_desire_date(0, 1, interval, 2, 0.1f), 0);
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 60000))), 1);     // 00:06
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 4180000))), 1);   // 04:18
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 12000000))), 1);  // 12:00
  EXPECT_EQ(pass(record("TT", "P", "", stamp(20041125, 30000))), 0);     // 00:03
}

TEST_F(FilterTest, LevelListsWithToleranceAndKind) {
  float levels[] = {500.0f, 850.0f};
  ASSERT_EQ(c_desire_ip1(0, 1, levels, 2, 2), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(500.0f, 2))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(500.001f, 2))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(850.0f, 2))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 500)), 1);  // the old code of 500 mb
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(500.01f, 2))), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(500.001f, 0))), 0);  // other kind
  // Level 0 never matches a list, even a list holding 0.
  float zero[] = {0.0f};
  ASSERT_EQ(c_desire_ip1(0, 1, zero, 1, 2), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0)), 0);
}

TEST_F(FilterTest, LevelCodesTakeTheirDecodedKind) {
  int codes[] = {level_code(500.0f, 2)};
  ASSERT_EQ(c_desire_ip1(0, 1, codes, 1, -1), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 500)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(500.0f, 0))), 0);
  // Kind -2 stores numbers under a kind no decoded level has.
  int raw[] = {500};
  ASSERT_EQ(c_desire_ip1(0, 1, raw, 1, -2), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 500)), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(500.0f, 2))), 0);
}

TEST_F(FilterTest, LevelIntervals) {
  float range[] = {100.0f, 600.0f};
  ASSERT_EQ(c_desire_ip1(0, 1, range, -2, 2), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(100.0f, 2))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(600.0f, 2))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(700.0f, 2))), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(50.0f, 2))), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(300.0f, 0))), 0);
  // Codes: -1 as the end stands for the record's own level.
  int codes[] = {level_code(850.0f, 2), -1};
  ASSERT_EQ(c_desire_ip1(0, 1, codes, -2, -1), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(1000.0f, 2))), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(700.0f, 2))), 0);
}

// A damaged record's ip1 that is no level code (kind 14) meets no level
// criterion; the matcher goes on instead of ending the process.
TEST_F(FilterTest, UndecodableLevelMeetsNoLevelCriterion) {
  const int bad = (14 << 24) | 1000;
  float levels[] = {500.0f};
  ASSERT_EQ(c_desire_ip1(0, 1, levels, 1, 2), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, bad)), 0);
  float range[] = {0.0f, 1e6f};
  ASSERT_EQ(c_desire_ip1(0, 1, range, -2, 2), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, bad)), 0);
  // An exclusion set of levels does not exclude it.
  ASSERT_EQ(c_requetes_reset(0, 0, 0, 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(c_desire_ip1(0, 0, levels, 1, 2), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, bad)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, level_code(500.0f, 2))), 0);
}

TEST_F(FilterTest, Ip2AndIp3Lists) {
  int ip2s[] = {6, 12};
  int ip3s[] = {0};
  ASSERT_EQ(c_desire_ip2(0, 1, ip2s, 2, -1), 0);
  ASSERT_EQ(c_desire_ip3(0, 1, ip3s, 1, -1), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 12, 0)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 24, 0)), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 6, 1)), 0);
}

TEST_F(FilterTest, UnsupportedIp2TypeRefusesEveryRecord) {
  float values[] = {6.0f};
  ASSERT_EQ(c_desire_ip2(0, 0, values, 1, 2), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 6)), 0);
  EXPECT_EQ(pass(record("GZ", "P", "", 0, 0, 7)), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "error: c_vkt_match_req invalid Requetes[0].ip2s.arg_type=1\n"
            "error: c_vkt_match_req invalid Requetes[0].ip2s.arg_type=1\n");
}

TEST_F(FilterTest, ResetEmptiesTheSetButKeepsCriteriaLeftOut) {
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 1, {"TT"}), 0);
  ASSERT_EQ(desire_names(c_desire_typvar, 0, 1, {"P"}), 0);
  ASSERT_EQ(c_requetes_reset(0, -1, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(pass(record("GZ", "A")), 1);  // set 0 no longer in use
  // Back in use through another criterion: the kept nomvars still count, and
  // the set may now change to an exclusion set.
  ASSERT_EQ(desire_names(c_desire_typvar, 0, 0, {"A"}), 0);
  EXPECT_EQ(pass(record("TT", "A")), 0);
  EXPECT_EQ(pass(record("GZ", "A")), 1);
  EXPECT_EQ(pass(record("TT", "P")), 1);
}

struct Refusal {
  int code;
  std::string message;
};

template <typename F>
Refusal refused(F call) {
  testing::internal::CaptureStderr();
  int code = call();
  return Refusal{code, testing::internal::GetCapturedStderr()};
}

TEST_F(FilterTest, SetterRefusals) {
  int ints[41] = {};
  float reals[41] = {};
  std::vector<const char *> names(41, "TT");
  char **texts = const_cast<char **>(names.data());

  auto r = refused([&] { return c_desire_ip1(20, 1, reals, 1, 2); });
  EXPECT_EQ(r.code, -1);
  EXPECT_EQ(r.message, "error: c_desire_ip1 set_nb=20 > MAX_requetes=20\n");
  r = refused([&] { return c_desire_nomvar(-1, 1, texts, 1); });
  EXPECT_EQ(r.code, -1);
  EXPECT_EQ(r.message, "error: c_desire_nomvar set_nb=-1 > MAX_requetes=20\n");
  r = refused([&] { return c_desire_date(0, 1, ints, 41, 0); });
  EXPECT_EQ(r.code, -2);
  EXPECT_EQ(r.message, "error: c_desire_date nelm=41 > limits=40\n");
  r = refused([&] { return c_desire_etiquette(0, 1, texts, 41); });
  EXPECT_EQ(r.code, -2);
  EXPECT_EQ(r.message, "error: c_desire_etiquette nelm=41 > limits=40\n");
  r = refused([&] { return c_desire_ip2(0, 1, ints, -3, -1); });
  EXPECT_EQ(r.code, -3);
  EXPECT_EQ(r.message, "error: c_desire_ip2 nelm invalid = -3\n");
  r = refused([&] { return c_desire_typvar(0, 1, texts, -2); });  // no text intervals
  EXPECT_EQ(r.code, -3);
  EXPECT_EQ(r.message, "error: c_desire_typvar nelm invalid = -2\n");
  r = refused([&] { return c_desire_ip3(0, 1, ints, -5, -1); });
  EXPECT_EQ(r.code, -4);
  EXPECT_EQ(r.message, "error: c_desire_ip3 nelm invalid = -5\n");
  r = refused([&] { return c_desire_ip3(0, 1, ints, -2, -1); });
  EXPECT_EQ(r.code, -3);
  EXPECT_EQ(r.message, "error: c_desire_ip3, interval non supporte pour le moment\n");
  r = refused([&] { return c_desire_date(0, 1, ints, 1, 6.0f); });  // a step needs two stamps
  EXPECT_EQ(r.code, -3);
  int bad_code[] = {-5};
  r = refused([&] { return c_desire_ip1(0, 1, bad_code, 1, -1); });
  EXPECT_EQ(r.code, -5);
  EXPECT_NE(r.message.find("error: c_desire_ip1 invalid level code -5"), std::string::npos);
  // Nothing refused was stored.
  EXPECT_EQ(pass(record("GZ")), 1);

  ASSERT_EQ(c_desire_ip1(0, 1, reals, 1, 2), 0);
  r = refused([&] { return c_desire_nomvar(0, 0, texts, 1); });
  EXPECT_EQ(r.code, -4);
  EXPECT_EQ(r.message,
            "c_desire_nomvar error: des_exc value differs from previous call for set number=0\n");
  r = refused([&] { return c_desire_ip1(0, 2, reals, 1, 2); });  // 2 is also "exclusion"
  EXPECT_EQ(r.code, -4);
  EXPECT_EQ(r.message,
            "c_desire_ip1 error: des_exc value differs from previous call for set number=0\n");
  EXPECT_EQ(c_desire_ip1(0, 1, reals, 40, 2), 0);

  r = refused([] { return c_desire_groupset(5, 4); });
  EXPECT_EQ(r.code, -1);
  EXPECT_EQ(r.message, "error: c_desire_groupset first_set_nb=5, last_set_nb=4, MAX_requetes=20\n");
  EXPECT_EQ(refused([] { return c_desire_groupset(0, 20); }).code, -1);
  EXPECT_EQ(refused([] { return c_desire_groupset(-1, 3); }).code, -1);
  r = refused([] { return c_requetes_reset(20, 0, 0, 0, 0, 0, 0, 0); });
  EXPECT_EQ(r.code, -1);
  EXPECT_EQ(r.message, "error: c_requetes_reset set_nb=20 > MAX_requetes=20\n");
}

class FilterFileTest : public FilterTest {
 protected:
  void TearDown() override {
    FilterTest::TearDown();
    for (const auto &p : paths_) std::remove(p.c_str());
  }
  std::string file(const std::string &text) {
    std::string p = temp_path("dir");
    std::ofstream(p) << text;
    paths_.push_back(p);
    return p;
  }
  // Reads a directive file; returns its result, stdout and stderr.
  int read(const std::string &text, std::string *out = nullptr, std::string *err = nullptr) {
    std::string p = file(text);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int r = c_requetes_read_file(p.c_str());
    std::string e = testing::internal::GetCapturedStderr();
    std::string o = testing::internal::GetCapturedStdout();
    if (out) *out = o;
    if (err) *err = e;
    return r;
  }
  std::vector<std::string> paths_;
};

TEST_F(FilterFileTest, DirectivesFillTheSets) {
  std::string out, err;
  ASSERT_EQ(read("nomvar(0, 1, [TT, GZ])\n"
                 "typvar = 0, 1, P;\n"
                 "ip1 = 0, 1, 2, [<1000, 500, -100>];\n"
                 "etiquette(1, 1, 'R1 X')\n",
                 &out, &err),
            0);
  EXPECT_NE(out.find("\ncharvar set_nb=0, des_exc=1, nelm=2\nstring_array[0]=TT\n"
                     "string_array[1]=GZ\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nip123 set_nb=0, des_exc=1, nelm=6, kind=2\nlist_reel[0]=1000.000000\n"),
            std::string::npos);
  EXPECT_NE(err.find("warning: VKTD software uses filter file "), std::string::npos);
  EXPECT_NE(err.find("END of directives\n"), std::string::npos);
  EXPECT_EQ(pass(record("GZ", "P", "", 0, level_code(700.0f, 2))), 1);
  EXPECT_EQ(pass(record("GZ", "P", "", 0, level_code(750.0f, 2))), 0);
  // Set 1 wants the quoted label, blank included; it is the last set in
  // use, a desire set, so undecided records are refused.
  EXPECT_EQ(pass(record("UU", "P", "R1 X")), 1);
  EXPECT_EQ(pass(record("UU", "P", "R1")), 0);
}

TEST_F(FilterFileTest, DateDirective) {
  std::string out;
  ASSERT_EQ(read("date = 0, 1, 6, [319670450, -1];\n", &out), 0);
  EXPECT_NE(out.find("argument # 0-->date<-- \nargument # 1-->0<-- \nargument # 2-->1<-- \n"
                     "argument # 3-->6<-- \nargument # 4-->[  2]<-- \n"),
            std::string::npos);
  EXPECT_NE(out.find("\ndate set_nb=0, des_exc=1, nelm=2, delta=6.000000\n"
                     "list_entier[0]=319670450\nlist_entier[1]=-1\n"),
            std::string::npos);
  int later = 0, base = 319670450;
  double six = 6.0;
  incdatr_(&later, &base, &six);
  EXPECT_EQ(pass(record("TT", "P", "", later)), 1);
  six = 3.0;
  incdatr_(&later, &base, &six);
  EXPECT_EQ(pass(record("TT", "P", "", later)), 0);
}

TEST_F(FilterFileTest, BadDirectivesAreRefusedAndCounted) {
  std::string many = "nomvar(0,1,[";
  for (int i = 0; i < 41; ++i) many += (i ? ",A" : "A") + std::string(i % 20 == 19 ? "\n" : "");
  many += "])\n";
  std::string err;
  int failed = read(
      "nomvar(0, 1, TOOLONG)\n"           // word past 4 characters
      "typvar(0, 1, ABC)\n"               // past 2
      "etiquette(0, 1, ABCDEFGHIJKLM)\n"  // past 12
      "ip1(0, 1, 2)\n"                    // no value
      "nomvar(0, 1)\n"                    // no value
      "ip2(0, 1, -1, 5, 6)\n"             // values without a list
      "ip3(x, 1, -1, 5)\n"                // set not a number
      "nomvar(0, 1, [TT], GZ)\n"          // arguments after the list
      "ip1(0, 1, -1, 12.5.1)\n"           // not a number
          + many +                        // 41 values: the setter refuses
          "nomvar(30, 1, TT)\n"           // the setter refuses the set
          "nomvar(0, 1, TT)\n",           // still read
      nullptr, &err);
  EXPECT_EQ(failed, 11);
  EXPECT_NE(err.find("error: nomvar TOOLONG is longer than 4 characters\n"), std::string::npos);
  EXPECT_NE(err.find("error: typvar ABC is longer than 2 characters\n"), std::string::npos);
  EXPECT_NE(err.find("error: etiquette ABCDEFGHIJKLM is longer than 12 characters\n"),
            std::string::npos);
  EXPECT_NE(err.find("error: c_desire_nomvar nelm=41 > limits=40\n"), std::string::npos);
  EXPECT_NE(err.find("error: c_desire_nomvar set_nb=30 > MAX_requetes=20\n"), std::string::npos);
  EXPECT_EQ(pass(record("TT")), 1);
  EXPECT_EQ(pass(record("GZ")), 0);
}

TEST_F(FilterFileTest, HandlerRefusesAMarkerPastItsArguments) {
  ASSERT_EQ(read("nomvar(0, 1, TT)\n"), 0);  // registers the filter's verbs
  zep_directive_fn handler = zep::directives::handler_of("nomvar");
  ASSERT_NE(handler, nullptr);
  const char *argv[] = {"nomvar", "0", "1", "[  5]", "GZ", nullptr};
  testing::internal::CaptureStderr();
  int r = handler(4, const_cast<char **>(argv), '(', reinterpret_cast<void *>(&c_desire_nomvar), 4);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(r, 0);
  EXPECT_EQ(err, "error: nomvar list of 5 values, 1 arguments follow its start\n");
  EXPECT_EQ(pass(record("GZ")), 0);  // set 0 still wants TT only
  EXPECT_EQ(pass(record("TT")), 1);
}

TEST_F(FilterFileTest, UnopenableFileLeavesSetsEmpty) {
  testing::internal::CaptureStderr();
  int r = c_requetes_read_file("/nonexistent/filter");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(r, -1);
  EXPECT_EQ(err,
            "c_requetes_read_file error opening file /nonexistent/filter\nfilter file ignored\n");
  EXPECT_EQ(pass(record("GZ")), 1);
}

TEST_F(FilterFileTest, InitReadsTheNamedFileAndWritesDebugLines) {
  ASSERT_EQ(desire_names(c_desire_nomvar, 4, 1, {"XX"}), 0);  // emptied by init
  std::string debug_path = temp_path("debug");
  paths_.push_back(debug_path);
  setenv("DEBUGFILE", debug_path.c_str(), 1);
  setenv("VKT_FILTER_FILE", file("nomvar(0, 0, [TT])\nip2 = 0, 0, -1, 12;\n").c_str(), 1);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_requetes_init(), 0);
  testing::internal::GetCapturedStderr();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 12)), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 13)), 1);
  EXPECT_EQ(pass(record("XX")), 1);
  EXPECT_EQ(slurp(debug_path),
            "Debug Requetes[0].nomvars.sdata[0]=TT\n"
            "Debug Requetes[0].ip2s.data.tab_elem[0] = 12\n"
            "Debug c_vkt_match_req verifie nomvars du fichier=TT   set_nb=0\n"
            "Debug c_vkt_match_req verifie ip2s\n"
            "Debug c_vkt_match_req fin requete exclure satisfaite handle=7 \n"
            "Debug c_vkt_match_req verifie nomvars du fichier=TT   set_nb=0\n"
            "Debug c_vkt_match_req verifie ip2s\n"
            "Debug c_vkt_match_req verifie nomvars du fichier=XX   set_nb=0\n");
  // Without VKT_FILTER_FILE the sets stay empty; the debug stream goes on.
  unsetenv("VKT_FILTER_FILE");
  unsetenv("DEBUGFILE");
  EXPECT_EQ(c_requetes_init(), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 12)), 1);
  int codes[] = {500};
  ASSERT_EQ(c_desire_ip1(0, 1, codes, 1, -1), 0);  // written to the null device
  EXPECT_EQ(slurp(debug_path).find("ip_entier"), std::string::npos);
}

TEST_F(FilterFileTest, TwinsSplitPaddedTexts) {
  std::string debug_path = temp_path("debug");
  paths_.push_back(debug_path);
  setenv("DEBUGFILE", debug_path.c_str(), 1);
  c_requetes_init();
  int set = 0, des = 1, n = 2;
  const char names[] = "TT  GZ  ";
  EXPECT_EQ(desire_nomvar_(&set, &des, names, &n, 4), 0);
  EXPECT_EQ(pass(record("TT")), 1);
  EXPECT_EQ(pass(record("TTX")), 0);  // the padding is part of the text
  EXPECT_EQ(pass(record("GZ")), 1);
  int bad = 41;
  testing::internal::CaptureStderr();
  EXPECT_EQ(desire_typvar_(&set, &des, names, &bad, 4), -2);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(slurp(debug_path),
            "Debug desire_nomvar lng=4 nelm=2\n"
            "Debug string_array[0]-->TT  <--\n"
            "Debug string_array[1]-->GZ  <--\n"
            "Debug Requetes[0].nomvars.sdata[0]=TT  \n"
            "Debug Requetes[0].nomvars.sdata[1]=GZ  \n"
            "Debug c_vkt_match_req verifie nomvars du fichier=TT   set_nb=0\n"
            "Debug c_vkt_match_req fin requete desire satisfaite, handle=7 \n"
            "Debug c_vkt_match_req verifie nomvars du fichier=TTX  set_nb=0\n"
            "Debug c_vkt_match_req verifie nomvars du fichier=GZ   set_nb=0\n"
            "Debug c_vkt_match_req fin requete desire satisfaite, handle=7 \n");
  int ip3 = 4;
  int one = 1, type = -1;
  EXPECT_EQ(desire_ip3_(&set, &des, &ip3, &one, &type), 0);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 0, 4)), 1);
  EXPECT_EQ(pass(record("TT", "P", "", 0, 0, 0, 5)), 0);
}

TEST_F(FilterTest, MatchReqWithUnknownHandleRefuses) {
  EXPECT_EQ(c_vkt_match_req(12345), 1);  // no set in use: not even looked up
  ASSERT_EQ(desire_names(c_desire_nomvar, 0, 0, {"TT"}), 0);
  testing::internal::CaptureStderr();
  int h = 12345;
  EXPECT_EQ(vkt_match_req_(&h), 0);
  testing::internal::GetCapturedStderr();
}

}  // namespace
