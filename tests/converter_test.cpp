// vkt2xml end to end on files written here with the library's writer: the
// document's layout, the output choice, exit statuses and escaping.
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"
#include "tests/e2e_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using zep_test::converter;
using zep_test::count_of;
using zep_test::run;
using zep_test::slurp;

class Converter : public ::testing::Test {
 protected:
  void SetUp() override {
    if (converter().empty()) GTEST_SKIP() << "the converter was not built";
    dir_ = ::testing::TempDir() + "converter_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    run("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'");
  }

  // Opens a fresh standard file on unit 20 for the test to write into.
  void create(const std::string &name) {
    path_ = dir_ + "/" + name;
    ASSERT_EQ(c_fnom(&unit_, path_.c_str(), "STD+RND", 0), 0);
    ASSERT_GE(c_vktouv(unit_, "RND"), 0);
  }
  void write_floats(const std::vector<float> &v, int ni, int nj, const char *nomvar,
                    const char *etiket, int nbits = 32, int datyp = 5) {
    std::vector<float> copy(v);
    ASSERT_GE(c_vktecr(copy.data(), nullptr, -nbits, unit_, 0, 0, 0, ni, nj, 1, 500, 0, 0, "P",
                       nomvar, etiket, "X", 0, 0, 0, 0, datyp, 0),
              0);
  }
  void finish() {
    c_vktfrm(unit_);
    c_fclos(unit_);
  }
  // Runs the converter; returns its exit status.
  int convert(const std::string &args) {
    return run("cd '" + dir_ + "' && '" + converter() + "' " + args + " >'" + dir_ +
               "/out.txt' 2>'" + dir_ + "/err.txt'");
  }

  std::string dir_, path_;
  int unit_ = 20;
};

TEST_F(Converter, ValuesLinesOfEightAndTheClosingTag) {
  create("layout.vkt");
  write_floats({1, 2.5f, -3, 4, 5, 6, 7, 8}, 8, 1, "AA", "EIGHT");
  write_floats({1, 2, 3, 4, 5, 6, 7, 8, 0.000125f}, 9, 1, "BB", "NINE");
  finish();
  ASSERT_EQ(convert("-vkt layout.vkt -xml doc.xml"), 0) << slurp(dir_ + "/err.txt");
  std::string doc = slurp(dir_ + "/doc.xml");
  EXPECT_NE(doc.find("\t\t<values>           1          2.5           -3            4            5"
                     "            6            7            8 \n\t\t</values>\n"),
            std::string::npos)
      << doc;
  EXPECT_NE(doc.find("           8 \n    0.000125 \t\t</values>\n"), std::string::npos) << doc;
  EXPECT_NE(doc.find("\t<nomvar>AA  </nomvar>\n\t\t<typvar>P </typvar>\n"
                     "\t\t<etiket>EIGHT       </etiket>\n"),
            std::string::npos);
  // With an output file, standard output gets one listing line per record.
  EXPECT_EQ(count_of(slurp(dir_ + "/out.txt"), "Read(1)"), 2);
}

TEST_F(Converter, DocumentOnStandardOutputIsAloneThereAndIdentical) {
  create("alone.vkt");
  write_floats({1, 2, 3}, 3, 1, "TT", "LABEL");
  finish();
  ASSERT_EQ(convert("-vkt alone.vkt -xml doc.xml"), 0);
  std::string to_file = slurp(dir_ + "/doc.xml");
  ASSERT_EQ(convert("-VKT=alone.vkt"), 0);
  EXPECT_EQ(slurp(dir_ + "/out.txt"), to_file);
  ASSERT_EQ(convert("-vkt alone.vkt -xml bidon.xml"), 0);
  EXPECT_EQ(slurp(dir_ + "/out.txt"), to_file);
}

TEST_F(Converter, IntegersKeepEveryDigitBeforeTheirText) {
  create("ints.vkt");
  // 100002501 rounds to 100002496 as a float, which would print 1.00002e+08.
  std::vector<int32_t> v = {100002501, -7, 16777217, 2147483647};
  ASSERT_GE(c_vktecr(v.data(), nullptr, -32, unit_, 0, 0, 0, 4, 1, 1, 500, 0, 0, "P", "II", "INT",
                     "X", 0, 0, 0, 0, 4, 0),
            0);
  finish();
  ASSERT_EQ(convert("-vkt ints.vkt -xml doc.xml"), 0) << slurp(dir_ + "/err.txt");
  EXPECT_NE(slurp(dir_ + "/doc.xml")
                .find("<values> 1.00003e+08           -7  1.67772e+07  2.14748e+09 \t\t</values>"),
            std::string::npos)
      << slurp(dir_ + "/doc.xml");
}

TEST_F(Converter, LabelsWithMarkupAreEscapedAndTheDocumentIsWellFormed) {
  create("markup.vkt");
  write_floats({1}, 1, 1, "A&B", "<X>&Y");
  finish();
  ASSERT_EQ(convert("-vkt markup.vkt -xml doc.xml"), 0);
  std::string doc = slurp(dir_ + "/doc.xml");
  EXPECT_NE(doc.find("<nomvar>A&amp;B </nomvar>"), std::string::npos) << doc;
  EXPECT_NE(doc.find("<etiket>&lt;X&gt;&amp;Y       </etiket>"), std::string::npos) << doc;
  if (run("command -v xmllint >/dev/null") == 0) {
    EXPECT_EQ(run("xmllint --noout '" + dir_ + "/doc.xml'"), 0);
  }
}

TEST_F(Converter, FailuresEndWithTheirStatus) {
  // Missing input: the head and the tail, status 1.
  EXPECT_EQ(convert("-vkt missing.vkt -xml doc.xml"), 1);
  EXPECT_EQ(slurp(dir_ + "/doc.xml"),
            "<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n<zep-standard-file>\n"
            "</zep-standard-file>\n");
  // An output that cannot be opened: status 13 and the message without a line end.
  create("some.vkt");
  write_floats({1}, 1, 1, "TT", "X");
  finish();
  EXPECT_EQ(convert("-vkt some.vkt -xml no/such/dir/doc.xml"), 13);
  std::string err = slurp(dir_ + "/err.txt");
  // The fixed words, then the name and the system's reason, ending the line.
  EXPECT_NE(err.find("Cannot open output file... Exiting... no/such/dir/doc.xml: No such file or "
                     "directory\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.back(), '\n');
  // A full disk: the write error is reported and the status says so.
  if (std::ifstream("/dev/full").good()) {
    EXPECT_EQ(convert("-vkt some.vkt -xml /dev/full"), 1);
    EXPECT_NE(slurp(dir_ + "/err.txt").find("could not be written"), std::string::npos);
  }
}

TEST_F(Converter, DamagedRecordIsWrittenEmptyAndTheWalkGoesOn) {
  create("damaged.vkt");
  write_floats({1, 2, 3, 4}, 4, 1, "AA", "FIRST", 16, 1);
  write_floats({5, 6}, 2, 1, "BB", "SECOND");
  finish();
  // Cut the file inside the first record's data: the directory stays whole
  // but that record can no longer be read in full.
  std::string bytes = slurp(path_);
  ASSERT_GT(bytes.size(), 2335u * 8);
  std::ofstream(path_, std::ios::binary | std::ios::trunc).write(bytes.data(), 2335 * 8 + 8);
  int rc = convert("-vkt damaged.vkt -xml doc.xml");
  std::string doc = slurp(dir_ + "/doc.xml");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(count_of(doc, "<vktrecord>"), 2) << doc;
  EXPECT_NE(doc.find("<values>\t\t</values>"), std::string::npos);
  EXPECT_NE(doc.find("</zep-standard-file>\n"), std::string::npos);
}

// An output that is the input file under any name is refused before it is
// opened: the input keeps every byte.
TEST_F(Converter, OutputThatIsTheInputIsRefused) {
  create("self.vkt");
  write_floats({1, 2, 3}, 3, 1, "TT", "SELF");
  finish();
  const std::string before = slurp(path_);
  ASSERT_GT(before.size(), 1000u);
  ASSERT_EQ(run("cd '" + dir_ + "' && ln -s self.vkt link.vkt && ln self.vkt hard.vkt"), 0);
  for (const char *out : {"self.vkt", "./self.vkt", "link.vkt", "hard.vkt"}) {
    SCOPED_TRACE(out);
    EXPECT_EQ(convert(std::string("-vkt self.vkt -xml ") + out), 13);
    const std::string err = slurp(dir_ + "/err.txt");
    EXPECT_NE(err.find(std::string("the output file ") + out + " is the input file self.vkt"),
              std::string::npos)
        << err;
    EXPECT_EQ(slurp(path_), before);
  }
  // Through the link given as input, too.
  EXPECT_EQ(convert("-vkt link.vkt -xml self.vkt"), 13);
  EXPECT_EQ(slurp(path_), before);
  // Another file is written as usual.
  EXPECT_EQ(convert("-vkt self.vkt -xml other.xml"), 0);
  EXPECT_EQ(slurp(path_), before);
}

// Each input that cannot be opened is explained in words that say what to do.
TEST_F(Converter, InputsThatCannotBeOpenedAreExplained) {
  ASSERT_EQ(run("cd '" + dir_ + "' && mkdir adir && echo hello > text.txt && echo x > UPPER.VKT"),
            0);
  const auto err_of = [&](const std::string &args) {
    EXPECT_EQ(convert(args), 1) << args;
    return slurp(dir_ + "/err.txt");
  };
  std::string err = err_of("-vkt adir -xml doc.xml");
  EXPECT_NE(err.find("adir is a directory"), std::string::npos) << err;
  EXPECT_EQ(err.find("too large"), std::string::npos) << err;
  err = err_of("-vkt text.txt -xml doc.xml");
  EXPECT_NE(err.find("text.txt is not a standard file: it was recognised as"), std::string::npos)
      << err;
  err = err_of("-vkt UPPER.VKT -xml doc.xml");
  EXPECT_NE(err.find("folded to lower case (upper.vkt was looked for)"), std::string::npos) << err;
  EXPECT_NE(err.find("a leading + keeps a name as written (-vkt +UPPER.VKT)"), std::string::npos)
      << err;
  err = err_of("-vkt @nowhere.vkt -xml doc.xml");
  EXPECT_NE(err.find("no file nowhere.vkt was found in any place searched"), std::string::npos)
      << err;
  EXPECT_NE(err.find("/datafiles/constants/nowhere.vkt ($YREKSIO)"), std::string::npos) << err;
  EXPECT_NE(err.find("/data/nowhere.vkt ($OBRVLIB)"), std::string::npos) << err;
  // Each time the document is still complete.
  EXPECT_EQ(slurp(dir_ + "/doc.xml"),
            "<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n<zep-standard-file>\n"
            "</zep-standard-file>\n");
}

TEST_F(Converter, DebugFileThatCannotBeOpenedIsReported) {
  create("dbg.vkt");
  write_floats({1}, 1, 1, "TT", "X");
  finish();
  std::ofstream(dir_ + "/filter.txt") << "nomvar(0, 1, [TT])\n";
  EXPECT_EQ(
      run("cd '" + dir_ + "' && VKT_FILTER_FILE=filter.txt DEBUGFILE=no/such/dir/debug.txt '" +
          converter() + "' -vkt dbg.vkt -xml doc.xml >out.txt 2>err.txt"),
      0);
  const std::string err = slurp(dir_ + "/err.txt");
  EXPECT_NE(err.find("DEBUGFILE no/such/dir/debug.txt cannot be opened"), std::string::npos) << err;
}

// A directory entry whose address points at the file header is damage,
// named as such (not taken for a record of another version).
TEST_F(Converter, RecordAddressInTheHeaderIsDamage) {
  create("hdr.vkt");
  write_floats({1, 2}, 2, 1, "AA", "FIRST");
  write_floats({3, 4}, 2, 1, "BB", "SECOND");
  finish();
  std::string bytes = slurp(path_);
  const auto word = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + 3]));
  };
  const auto put = [&](size_t i, uint32_t w) {
    for (int b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<char>(w >> (24 - 8 * b));
  };
  // The first directory page starts at word 53 (index 52): its checksum at
  // index 58, its first entry's address at index 61.
  ASSERT_EQ(word(61), 2335u);
  put(58, word(58) ^ word(61) ^ 1u);
  put(61, 1u);
  std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(convert("-vkt hdr.vkt -xml doc.xml"), 1);
  const std::string err = slurp(dir_ + "/err.txt");
  EXPECT_NE(err.find("its address points into the file header"), std::string::npos) << err;
  EXPECT_EQ(err.find("recompile"), std::string::npos) << err;
  EXPECT_EQ(count_of(slurp(dir_ + "/doc.xml"), "<vktrecord>"), 2);
}

}  // namespace
