#include "app/key_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "zep/ccard.h"

namespace zep::app {
namespace {

struct Parse {
  std::vector<std::string> values;
  std::string err;
  int npos = 0;
};

// Runs c_ccard on "prog" + args for the declared keys; values start equal
// to the defaults unless `initial` is given.
Parse run(const std::vector<std::string> &args, const std::vector<std::string> &names,
          const std::vector<std::string> &defaults, int npos = 0,
          std::vector<std::string> initial = {}, bool capture = true) {
  if (initial.empty()) initial = defaults;
  std::vector<std::string> argstore = {"prog"};
  argstore.insert(argstore.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (std::string &a : argstore) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  std::vector<std::string> namestore = names, defstore = defaults;
  std::vector<char *> nameptr, defptr;
  for (size_t i = 0; i < names.size(); ++i) {
    nameptr.push_back(&namestore[i][0]);
    defptr.push_back(&defstore[i][0]);
  }
  std::vector<char> slots(names.size() * 256, 'z');
  char(*values)[256] = reinterpret_cast<char(*)[256]>(slots.data());
  for (size_t i = 0; i < names.size(); ++i) std::snprintf(values[i], 256, "%s", initial[i].c_str());
  Parse p;
  p.npos = npos;
  if (capture) testing::internal::CaptureStderr();
  c_ccard(argv.data(), static_cast<int>(argstore.size()), nameptr.data(), values, defptr.data(),
          static_cast<int>(names.size()), &p.npos);
  if (capture) p.err = testing::internal::GetCapturedStderr();
  for (size_t i = 0; i < names.size(); ++i) p.values.emplace_back(values[i]);
  return p;
}

const std::vector<std::string> kNames = {"vkt.", "xml.", "encoding.", "format."};
const std::vector<std::string> kDefaults = {"bidon.vkt", "bidon.xml", "ascii", "(8g14.6)"};

const char *const kSequence =
    "\n *** SEQUENCE D'APPEL ***\n\n"
    "prog \n"
    "          -VKT [bidon.vkt:bidon.vkt]\n"
    "          -XML [bidon.xml:bidon.xml]\n"
    "          -ENCODING [ascii:ascii]\n"
    "          -FORMAT [(8g14.6):(8g14.6)]\n"
    "\n";

TEST(KeyParserTest, HelpersFoldAndFind) {
  EXPECT_EQ(c_jfc_tradup("vKt.x"), "VKT.X");
  std::string name = "LIST_";
  EXPECT_EQ(c_jfc_majmin(&name), 1);
  EXPECT_EQ(name, "LIST");
  name = "VKT.";
  EXPECT_EQ(c_jfc_majmin(&name), 2);
  EXPECT_EQ(name, "VKT");
  name = "ABC";
  EXPECT_EQ(c_jfc_majmin(&name), 0);
  EXPECT_EQ(name, "ABC");
  std::string v = "MiXed";
  c_jfc_traduire(&v, 1);
  EXPECT_EQ(v, "mixed");
  c_jfc_traduire(&v, 0);
  EXPECT_EQ(v, "MIXED");
  c_jfc_traduire(&v, 2);
  EXPECT_EQ(v, "MIXED");
  KeyTable table(3);
  table[0].name = "A";
  table[1].name = "LIST";
  table[2].name = "LIST";
  EXPECT_EQ(c_jfc_cherche_la_clef("list", table, 3), 1);
  EXPECT_EQ(c_jfc_cherche_la_clef("LIS", table, 3), -1);
  EXPECT_EQ(c_jfc_cherche_la_clef("a", table, 1), 0);
  EXPECT_EQ(c_jfc_cherche_la_clef("list", table, 1), -1);
  EXPECT_EQ(c_fretour(), 0);
  EXPECT_EQ(fretour_(), 0);
}

TEST(KeyParserTest, EveryFormOfTheConverterKey) {
  const std::vector<std::vector<std::string>> forms = {
      {"-vkt=a.vkt"}, {"-VKT=a.vkt"}, {"-vkt", "a.vkt"}, {"-Vkt", "=a.vkt"}};
  for (const auto &form : forms) {
    const Parse p = run(form, kNames, kDefaults);
    EXPECT_EQ(p.values[0], "a.vkt") << form[0];
    EXPECT_EQ(p.values[1], "bidon.xml");
    EXPECT_EQ(p.err, "");
  }
  const Parse mixed = run({"-xml=Out.XML", "-format=(8G14.6)"}, kNames, kDefaults);
  EXPECT_EQ(mixed.values[1], "Out.XML");
  EXPECT_EQ(mixed.values[3], "(8G14.6)");
  EXPECT_EQ(run({"-encoding=-5"}, kNames, kDefaults).values[2], "-5");
}

TEST(KeyParserTest, KeyWithoutValueTakesItsDefault) {
  const Parse p = run({"-xml"}, kNames, kDefaults, 0, {"x", "cur.xml", "y", "z"});
  EXPECT_EQ(p.values[1], "bidon.xml");
  EXPECT_EQ(p.values[0], "x");  // keys not given keep their value
}

TEST(KeyParserTest, ListOverflows) {
  Parse p = run({"-vkt=a.vkt", "b.vkt"}, kNames, kDefaults);
  EXPECT_EQ(p.values[0], "a.vkt");
  EXPECT_EQ(p.values[1], "bidon.xml");
  EXPECT_EQ(p.err, std::string("\n ***DEBORDEMENT DE LISTE \n") + kSequence);

  p = run({"-vkt=a:b"}, kNames, kDefaults);
  EXPECT_EQ(p.values[0], "a");
  EXPECT_EQ(p.values[1], "bidon.xml");
  EXPECT_EQ(p.err, "\n***ERREUR DEBORDEMENT DE LISTE  OU MODE POSITIONNEL\n");

  p = run({"first", "-xml=o"}, kNames, kDefaults);
  EXPECT_EQ(p.err, std::string("\n ***DEBORDEMENT DE LISTE \n") + kSequence);
  EXPECT_EQ(p.values[1], "o");  // the scan goes on after the error
}

TEST(KeyParserTest, InvalidKeys) {
  Parse p = run({"-h", "-vkt=x"}, kNames, kDefaults);
  EXPECT_EQ(p.err, std::string(" ***ERREUR CLEF=h INVALIDE***\n") + kSequence);
  EXPECT_EQ(p.values[0], "x");
  p = run({"-nope=1", "2"}, kNames, kDefaults);
  // The bad key leaves no key to take the following value.
  EXPECT_EQ(p.err, std::string(" ***ERREUR CLEF=nope INVALIDE***\n") + kSequence +
                       "\n ***DEBORDEMENT DE LISTE \n" + kSequence);
}

TEST(KeyParserTest, ValueListsFillConsecutiveSlotsFolded) {
  const std::vector<std::string> names = {"LIST_", "LIST_", "LIST_", "OTHER"};
  const std::vector<std::string> defs = {"d1", "d2", "d3", "o"};
  Parse p = run({"-list=A:B:C"}, names, defs);
  EXPECT_EQ(p.values, (std::vector<std::string>{"a", "b", "c", "O"}));
  p = run({"-list", "A", "B", "C"}, names, defs);
  EXPECT_EQ(p.values, (std::vector<std::string>{"a", "b", "c", "O"}));
  p = run({"-list=A:B:C:D", "-other=x"}, names, defs);
  EXPECT_EQ(p.values, (std::vector<std::string>{"a", "b", "c", "X"}));
  EXPECT_EQ(p.err, "\n***ERREUR DEBORDEMENT DE LISTE  OU MODE POSITIONNEL\n");
  p = run({"-list=A", "=B"}, names, defs);
  EXPECT_EQ(p.values[1], "b");
}

TEST(KeyParserTest, PositionalSlots) {
  const std::vector<std::string> names = {"-.", "-.", "KEY."};
  const std::vector<std::string> defs = {"", "", "k"};
  Parse p = run({"x", "y", "-key=v"}, names, defs, 1);
  EXPECT_EQ(p.values, (std::vector<std::string>{"x", "y", "v"}));
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(p.npos, 2);

  p = run({"x", "y", "z"}, names, defs, 5);
  EXPECT_EQ(p.values[0], "x");
  EXPECT_EQ(p.values[1], "y");
  EXPECT_EQ(p.values[2], "k");
  EXPECT_EQ(p.err.rfind("\n ***ERREUR - TROP D'ARGUMENTS POSITIONELS \n", 0), 0u) << p.err;

  // After "--" every argument is positional, continuing where the leading
  // scan stopped.
  p = run({"x", "--", "-y"}, names, defs, 1);
  EXPECT_EQ(p.values[1], "-y");
  EXPECT_EQ(p.npos, 2);
  EXPECT_EQ(p.err, "");
  // npos 0 asks for no count.
  p = run({"x"}, names, defs, 0);
  EXPECT_EQ(p.npos, 0);
}

TEST(KeyParserTest, DoubleDashWithoutPositionalKey) {
  Parse p = run({"-vkt=a", "--", "b", "-xml=c"}, kNames, kDefaults);
  EXPECT_EQ(p.values[0], "a");
  EXPECT_EQ(p.values[1], "bidon.xml");
  EXPECT_EQ(p.err, std::string("\n ***ERREUR - TROP D'ARGUMENTS POSITIONELS \n") + kSequence);
  p = run({"--"}, kNames, kDefaults);
  EXPECT_EQ(p.err, "");
}

TEST(KeyParserTest, OverlongTextsAreRefusedWithoutOverflow) {
  const std::string big(300, 'q');
  Parse p = run({"-vkt=" + big, "-xml=ok"}, kNames, kDefaults, 0, {"keep", "x", "y", "z"});
  EXPECT_EQ(p.values[0], "keep");
  EXPECT_EQ(p.values[1], "ok");
  EXPECT_NE(p.err.find("CLEF=VKT"), std::string::npos) << p.err;
  p = run({"-" + big + "=1", "-xml=ok"}, kNames, kDefaults);
  EXPECT_NE(p.err.find("CLEF TROP LONGUE"), std::string::npos);
  EXPECT_EQ(p.values[1], "ok");
  const std::string max(255, 'm');
  p = run({"-vkt=" + max}, kNames, kDefaults);
  EXPECT_EQ(p.values[0], max);
  EXPECT_EQ(p.err, "");
  // A default too long for the slot is refused as well.
  p = run({"-vkt"}, kNames, {big, "b", "c", "d"}, 0, {"keep", "b", "c", "d"});
  EXPECT_EQ(p.values[0], "keep");
}

using KeyParserDeathTest = ::testing::Test;

// Runs without capturing standard error, for the death tests to read it.
Parse run_raw(const std::vector<std::string> &args, int npos) {
  return run(args, kNames, kDefaults, npos, {}, false);
}

TEST(KeyParserDeathTest, HelpAndStopMode) {
  EXPECT_EXIT(run_raw({"-h"}, 0), ::testing::ExitedWithCode(0), "SEQUENCE D'APPEL");
  EXPECT_EXIT(run_raw({"-H"}, 0), ::testing::ExitedWithCode(0), "-FORMAT");
  EXPECT_EXIT(run_raw({"-bad"}, -111), ::testing::ExitedWithCode(255), "CLEF=bad INVALIDE");
  EXPECT_EXIT(run_raw({"loose"}, -111), ::testing::ExitedWithCode(255), "DEBORDEMENT DE LISTE");
  EXPECT_EXIT(run_raw({"-vkt=" + std::string(256, 'a')}, -111), ::testing::ExitedWithCode(255),
              "TROP LONGUE");
}

}  // namespace
}  // namespace zep::app
