// The directive reader on well-formed and malformed directive texts.
#include "stdfile/directives.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct Call {
  std::vector<std::string> argv;
  char cmd = 0;
  void *private1 = nullptr;
  int private2 = 0;
};

std::vector<Call> &calls() {
  static std::vector<Call> c;
  return c;
}

int record_handler(int argc, char **argv, char cmd, void *p1, int p2) {
  Call c;
  for (int i = 0; i <= argc; ++i) c.argv.emplace_back(argv[i]);
  EXPECT_EQ(argv[argc + 1], nullptr);
  c.cmd = cmd;
  c.private1 = p1;
  c.private2 = p2;
  calls().push_back(c);
  return 0;
}

int failing_handler(int, char **, char, void *, int) { return 7; }
int other_handler(int, char **, char, void *, int) {
  calls().push_back(Call{{"other"}, 0, nullptr, 0});
  return 0;
}

std::string write_temp(const std::string &text) {
  static int n = 0;
  std::string path = testing::TempDir() + "directives_" + std::to_string(::getpid()) + "_" +
                     std::to_string(n++) + ".txt";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

struct Outcome {
  int result;
  std::string err;
  std::string out;
};

Outcome run_text(const std::string &text) {
  std::string path = write_temp(text);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  int r = process_c_callback(path.c_str());
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  std::remove(path.c_str());
  return Outcome{r, err, out};
}

class DirectivesTest : public testing::Test {
 protected:
  void SetUp() override {
    zep::directives::clear_verbs();
    calls().clear();
    static char tag[] = "tag";
    for (const char *v : {"nomvar", "ip1", "date", "v"})
      zep_c_callback(v, record_handler, nullptr, tag, 42);
  }
  void TearDown() override { zep::directives::clear_verbs(); }
};

TEST_F(DirectivesTest, ListGetsCountMarker) {
  Outcome r = run_text("nomvar(0, 1, [TT, GZ])\n");
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv, (std::vector<std::string>{"nomvar", "0", "1", "[  2]", "TT", "GZ"}));
  EXPECT_EQ(calls()[0].cmd, '(');
  EXPECT_EQ(std::string(static_cast<char *>(calls()[0].private1)), "tag");
  EXPECT_EQ(calls()[0].private2, 42);
  // The line is echoed, then the end message.
  EXPECT_EQ(r.err, "nomvar(0, 1, [TT, GZ])\nEND of directives\n");
}

TEST_F(DirectivesTest, RangeExpandsInsideList) {
  Outcome r = run_text("ip1 = 0, 1, 2, [<1000, 500, -100>];\n");
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv,
            (std::vector<std::string>{"ip1", "0", "1", "2", "[  6]", "1000.000000", "900.000000",
                                      "800.000000", "700.000000", "600.000000", "500.000000"}));
  EXPECT_EQ(calls()[0].cmd, '=');
}

TEST_F(DirectivesTest, RangeStepAwayFromEndAndFractionalCount) {
  Outcome r = run_text("v(<1, 5, -1>)\nv(<0,1,0.3>)\n");
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(calls().size(), 2u);
  EXPECT_EQ(calls()[0].argv, (std::vector<std::string>{"v", "1.000000"}));
  EXPECT_EQ(calls()[1].argv,
            (std::vector<std::string>{"v", "0.000000", "0.300000", "0.600000", "0.900000"}));
}

TEST_F(DirectivesTest, DirectiveSpansLinesAndSeveralShareALine) {
  Outcome r = run_text("  \t \n v\n (a,\n\n  'x y', \"q\",+1.5e3) v=b;v(c)\n");
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(calls().size(), 3u);
  EXPECT_EQ(calls()[0].argv, (std::vector<std::string>{"v", "a", "'x y'", "\"q\"", "+1.5e3"}));
  EXPECT_EQ(calls()[1].argv, (std::vector<std::string>{"v", "b"}));
  EXPECT_EQ(calls()[2].argv, (std::vector<std::string>{"v", "c"}));
  // Lines of blanks and tabs are neither read nor echoed.
  EXPECT_EQ(r.err.find(" \t \n"), std::string::npos);
  EXPECT_NE(r.err.find(" v\n (a,\n  'x y'"), std::string::npos);
}

TEST_F(DirectivesTest, LaterRegistrationHidesEarlier) {
  int before = Find_Callback("v");
  EXPECT_GE(before, 0);
  EXPECT_EQ(zep_c_callback("v", other_handler, nullptr, nullptr, 0), 5);
  EXPECT_EQ(Find_Callback("v"), 4);
  EXPECT_EQ(Find_Callback("V"), -1);  // names are case-sensitive
  EXPECT_EQ(Find_Callback("unknown"), -1);
  run_text("v(1)\n");
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv[0], "other");
}

TEST_F(DirectivesTest, HashLineStopsReadingWithBadStart) {
  Outcome r = run_text("# a comment\nnomvar(0,1,TT)\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(r.err, "# a comment\nBad starting character for Verb:#:\n");
}

TEST_F(DirectivesTest, EmptyInputWritesOnlyTheEndMessage) {
  Outcome r = run_text("");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.err, "END of directives\n");
}

TEST_F(DirectivesTest, UnknownVerbIsReportedNotCounted) {
  Outcome r = run_text("foo(1) v(2)\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_NE(r.err.find("Command foo NOT FOUND\n"), std::string::npos);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv[1], "2");
}

// Each malformed directive gives its message, is counted, and the reading
// goes on with the next line.
TEST_F(DirectivesTest, MalformedDirectivesEachFailAndReadingGoesOn) {
  struct Case {
    const char *text;
    const char *message;
  };
  const Case cases[] = {
      {"v x(1)\n", "Badly formed command \n"},
      {"v(1 2)\n", "bad separator :2:\n"},
      {"v(1;\n", "bad separator :;:\n"},
      {"v=1)\n", "bad separator :):\n"},
      {"v(1,[2,[3]])\n", "List already open \n"},
      {"v(1])\n", "Cannot close non existent list \n"},
      {"v([1,2)\n", "Unmatched [ \n"},
      {"v(;)\n", "Bad char in token:;:\nTOKEN error in argument\n"},
      {"v(\"abc\n", "TOKEN error in argument\n"},
      {"v(<1, 2>)\n", "bad range\n"},
      {"v(<1, 2, 0>)\n", "bad range\n"},
      {"v(<nan, 2, 1>)\n", "bad range\n"},
      {"v(<1, 2, 1 x>)\n", "bad range\n"},
      {"v('abc>')\n", nullptr},  // quoted: an ordinary argument
  };
  for (const Case &c : cases) {
    calls().clear();
    Outcome r = run_text(std::string(c.text) + "v(next)\n");
    if (c.message == nullptr) {
      EXPECT_EQ(r.result, 0) << c.text;
      continue;
    }
    EXPECT_EQ(r.result, 1) << c.text;
    EXPECT_NE(r.err.find(std::string(c.message) + "skipping rest of line\n"), std::string::npos)
        << c.text << " gave " << r.err;
    ASSERT_EQ(calls().size(), 1u) << c.text;
    EXPECT_EQ(calls()[0].argv, (std::vector<std::string>{"v", "next"})) << c.text;
  }
}

TEST_F(DirectivesTest, VerbLengthLimit) {
  // A verb stops after 79 characters; the 80th is then a bad command.
  Outcome r = run_text(std::string(80, 'v') + "(1)\nv(2)\n");
  EXPECT_EQ(r.result, 1);
  EXPECT_NE(r.err.find("Badly formed command \nskipping rest of line\n"), std::string::npos);
  // 79 characters read as a verb, unknown (names are kept to 16 characters).
  r = run_text(std::string(79, 'v') + "(1)\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_NE(r.err.find("Command " + std::string(79, 'v') + " NOT FOUND\n"), std::string::npos);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv[1], "2");
}

TEST_F(DirectivesTest, FailureDropsRestOfLineOnly) {
  Outcome r = run_text("v(1 2) v(lost)\nv(kept)\n");
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv[1], "kept");
}

TEST_F(DirectivesTest, EndOfInputInsideDirectiveFails) {
  Outcome r = run_text("v(1,");
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(calls().empty());
  EXPECT_NE(r.err.find("Bad char in token: :\nTOKEN error in argument\nskipping rest of line\n"),
            std::string::npos);
  EXPECT_NE(r.err.find(", line 1: this directive failed and was skipped\nEND of directives\n"),
            std::string::npos)
      << r.err;
}

TEST_F(DirectivesTest, HandlerFailureIsCounted) {
  zep_c_callback("bad", failing_handler, nullptr, nullptr, 0);
  Outcome r = run_text("bad(1)\nbad(2) v(3)\nv(4)\n");
  EXPECT_EQ(r.result, 2);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv[1], "4");
}

TEST_F(DirectivesTest, TokenLengthLimit) {
  std::string t79(79, 'a'), t80(80, 'b');
  Outcome ok = run_text("v(" + t79 + ")\n");
  EXPECT_EQ(ok.result, 0);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv[1], t79);
  Outcome quoted = run_text("v('" + std::string(78, 'q') + "')\n");
  EXPECT_EQ(quoted.result, 1);  // 80 with its quotes
  Outcome bad = run_text("v(" + t80 + ")\nv(z)\n");
  EXPECT_EQ(bad.result, 1);
  EXPECT_NE(bad.err.find("TOKEN error in argument\n"), std::string::npos);
  EXPECT_EQ(calls().back().argv[1], "z");
}

TEST_F(DirectivesTest, LinesOfAnyLength) {
  // A list of 40 names on one line far longer than 125 characters.
  std::string names;
  for (int i = 0; i < 40; ++i)
    names += (i ? ", " : "") + std::string("N") + std::to_string(100 + i);
  const std::string line = "nomvar(0, 1, [" + names + "])";
  ASSERT_GT(line.size(), 2 * 125u);
  // Tokens running across the 125th character are read whole.
  const std::string longer = "v(" + std::string(60, 'a') + "," + std::string(70, 'b') + ")";
  Outcome r = run_text(longer + "\n" + line + "\n");
  EXPECT_EQ(r.result, 0) << r.err;
  EXPECT_NE(r.err.find(longer + "\n" + line + "\n"), std::string::npos);  // echoed whole
  ASSERT_EQ(calls().size(), 2u) << r.err;
  EXPECT_EQ(calls()[0].argv[1], std::string(60, 'a'));
  EXPECT_EQ(calls()[0].argv[2], std::string(70, 'b'));
  const std::vector<std::string> &a = calls()[1].argv;
  EXPECT_EQ(a[0], "nomvar");
  ASSERT_EQ(a.size(), 44u);  // the verb, 0, 1, the list marker and 40 names
  EXPECT_EQ(a[3], "[ 40]");
  EXPECT_EQ(a[4], "N100");
  EXPECT_EQ(a[43], "N139");
}

TEST_F(DirectivesTest, FailuresNameTheFileAndTheLine) {
  Outcome r = run_text("v(one)\n\nv(two,\n three four)\n\nv(bad\n");
  EXPECT_EQ(r.result, 2);
  EXPECT_NE(r.err.find("skipping rest of line\n/"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(", lines 3-4: this directive failed"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(", line 6: this directive failed"), std::string::npos) << r.err;
}

TEST_F(DirectivesTest, ArgumentSlotLimit) {
  // 51198 arguments are accepted, one more is refused.
  auto many = [](int n) {
    std::string s = "v(";
    for (int i = 0; i < n; ++i) {
      s += (i ? "," : "");
      if (i % 40 == 39) s += "\n";
      s += "1";
    }
    return s + ")\n";
  };
  Outcome ok = run_text(many(zep::directives::kMaxArgs));
  EXPECT_EQ(ok.result, 0);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv.size(), static_cast<size_t>(zep::directives::kMaxArgs) + 1);
  calls().clear();
  Outcome bad = run_text(many(zep::directives::kMaxArgs + 1));
  EXPECT_EQ(bad.result, 1);
  EXPECT_NE(bad.err.find("Too many arguments or arguments too long \nARGC=51198, ARGLEN=102396, "
                         "oo=1 \n"),
            std::string::npos);
  EXPECT_TRUE(calls().empty());
}

TEST_F(DirectivesTest, RangePastLimitsIsRefusedWithoutExpanding) {
  Outcome r = run_text("v(<0, 1e300, 1e-300>)\nv(<0,60000,1>)\nv(ok)\n");
  EXPECT_EQ(r.result, 2);
  EXPECT_NE(r.err.find("Too many arguments or arguments too long \nnrange:ARGC=0"),
            std::string::npos);
  ASSERT_EQ(calls().size(), 1u);
  EXPECT_EQ(calls()[0].argv[1], "ok");
}

TEST_F(DirectivesTest, UnopenableFile) {
  testing::internal::CaptureStderr();
  int r = process_c_callback("/nonexistent/dir/file");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(r, 1);
  EXPECT_EQ(
      err, "process_c_callback: Cannot Open File -/nonexistent/dir/file-\nskipping rest of line\n");
}

std::vector<std::string> ref_block;
size_t ref_width = 0;
int ref_handler(int *argc, char *argv, char *cmd, void *, int *p2, size_t width, size_t one) {
  ref_block.clear();
  for (int i = 0; i <= *argc; ++i) ref_block.emplace_back(argv + i * width, width);
  ref_width = width;
  EXPECT_EQ(*cmd, '=');
  EXPECT_EQ(*p2, 9);
  EXPECT_EQ(one, 1u);
  return 0;
}

TEST_F(DirectivesTest, ByReferenceHandlerGetsPaddedBlock) {
  int p2 = 9;
  const char name[] = "refverb   ";  // blank-padded
  EXPECT_GT(zep_f_callback_(name, ref_handler, "", nullptr, &p2, sizeof name - 1, 0), 0);
  Outcome r = run_text("refverb = a, [bbb], cc;\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(ref_width, 7u);
  EXPECT_EQ(ref_block,
            (std::vector<std::string>{"refverb", "a      ", "[  1]  ", "bbb    ", "cc     "}));
}

TEST_F(DirectivesTest, ForwardingTwinTrimsBlankPaddedPath) {
  std::string path = write_temp("v(x)\n");
  std::string padded = path + "     ";
  testing::internal::CaptureStderr();
  int r = process_f_callback_(padded.data(), padded.size());
  testing::internal::GetCapturedStderr();
  std::remove(path.c_str());
  EXPECT_EQ(r, 0);
  ASSERT_EQ(calls().size(), 1u);
}

TEST_F(DirectivesTest, RegistrationLimitsAndNames) {
  zep::directives::clear_verbs();
  EXPECT_EQ(zep_c_callback(nullptr, record_handler, nullptr, nullptr, 0), -1);
  EXPECT_EQ(zep_c_callback("", record_handler, nullptr, nullptr, 0), -1);
  EXPECT_EQ(zep_c_callback("x", nullptr, nullptr, nullptr, 0), -1);
  // Names are cut to 16 characters.
  EXPECT_EQ(zep_c_callback("abcdefghijklmnopqrst", record_handler, nullptr, nullptr, 0), 1);
  EXPECT_EQ(Find_Callback("abcdefghijklmnop"), 0);
  EXPECT_EQ(Find_Callback("abcdefghijklmnopqrst"), -1);
  for (int i = 1; i < zep::directives::kMaxVerbs; ++i)
    EXPECT_EQ(
        zep_c_callback(("n" + std::to_string(i)).c_str(), record_handler, nullptr, nullptr, 0),
        i + 1);
  EXPECT_EQ(zep_c_callback("overflow", record_handler, nullptr, nullptr, 0), -1);
  EXPECT_EQ(Find_Callback("overflow"), -1);
}

TEST_F(DirectivesTest, PrintArgs) {
  zep_c_callback("p", Print_Args, nullptr, const_cast<char *>("data"), 5);
  Outcome r = run_text("p(a, b) p = c;\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.out,
            "Private_Data=data\nPrivate_Data_2=5\nCommand Type=EXEC\np\na\nb\n"
            "Private_Data=data\nPrivate_Data_2=5\nCommand Type=ASSIGN\np\nc\n");
}

TEST(DirectiveCharClasses, Table) {
  using zep::directives::char_class;
  EXPECT_EQ(char_class('a'), 1 | 4);
  EXPECT_EQ(char_class('_'), 1 | 4);
  EXPECT_EQ(char_class('7'), 2 | 4);
  EXPECT_EQ(char_class('-'), 4 | 16);
  EXPECT_EQ(char_class('%'), 8);
  EXPECT_EQ(char_class('@'), 8);
  EXPECT_EQ(char_class('('), 32);
  EXPECT_EQ(char_class('='), 32);
  EXPECT_EQ(char_class('['), 4 | 64);
  EXPECT_EQ(char_class('<'), 4 | 64);
  EXPECT_EQ(char_class(')'), 128);
  EXPECT_EQ(char_class('}'), 128);
  for (int c : {int{' '}, int{'\t'}, int{'\n'}, int{'~'}, 127, 200, 254, 255})
    EXPECT_EQ(char_class(c), 0) << c;
}

}  // namespace
