// Damaged standard files, each made here from a sound file written with the
// library's writer (or, for the old layout, from the committed old random
// file), and each with the outcome it must have: the library's message,
// the code the failing call returns, and the converter's exit status. The
// converter must also end on its own within 10 seconds, with no sanitizer
// report, and leave a well-formed document.
//
// The damaged files are made in <temp>/zep_damaged_<pid>/<case>.vkt, with
// the converter's document and messages beside them; the folder is kept
// when a test fails so that the case can be replayed by hand. The files
// committed in tests/damaged/ are converted too.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/big_endian.h"
#include "stdfile/read.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_seq.h"
#include "zep/stdfile_write.h"
#include "tests/e2e_support.h"

namespace {

using zep_test::count_of;
using zep_test::env;
using zep_test::slurp;

using Words = std::vector<uint32_t>;

// A file's bytes as 32-bit words in file (big-endian) order; a last partial
// word is dropped.
Words read_words(const std::string &path) {
  const std::string bytes = slurp(path);
  Words w(bytes.size() / 4);
  for (size_t i = 0; i < w.size(); ++i) w[i] = zep::load_be32(bytes.data() + 4 * i);
  return w;
}

void write_words(const std::string &path, const Words &w, size_t bytes = SIZE_MAX) {
  std::string out(4 * w.size(), '\0');
  for (size_t i = 0; i < w.size(); ++i) zep::store_be32(&out[4 * i], w[i]);
  if (bytes < out.size()) out.resize(bytes);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(out.data(), static_cast<std::streamsize>(out.size()));
}

int shell(const std::string &cmd) {
  const int rc = std::system(cmd.c_str());
  if (rc == -1 || !WIFEXITED(rc)) return -1000 - (WIFSIGNALED(rc) ? WTERMSIG(rc) : 0);
  return WEXITSTATUS(rc);
}

// Layout of the sound random file: a file header of 52 words (16 fixed and
// 18 key descriptors), one directory page of 8 + 256 x 18 words, then the
// records. A directory entry is 18 words: type and length in units, the
// record's unit address, 16 key words.
constexpr size_t kPage = 52;
constexpr size_t kPageWords = 8 + 256 * 18;
constexpr size_t kFirstEntry = kPage + 8;
constexpr size_t kEntryWords = 18;

size_t entry_at(int i) { return kFirstEntry + kEntryWords * static_cast<size_t>(i); }
// Word index (from 0) of the record of entry i.
size_t record_at(const Words &w, int i) { return 2 * static_cast<size_t>(w[entry_at(i) + 1]) - 2; }
size_t record_words(const Words &w, int i) {
  return 2 * static_cast<size_t>(w[entry_at(i)] & 0xFFFFFF);
}

// The page checksum makes the XOR of words 4 to the end of the page zero.
void fix_checksum(Words &w, size_t page) {
  w[page + 6] = 0;
  uint32_t x = 0;
  for (size_t i = page + 4; i < page + kPageWords; ++i) x ^= w[i];
  w[page + 6] = x;
}

// What the library itself says of a file read as the converter reads it:
// the open's result, the first failing read's code (0 when none fails),
// the number of records found, and everything written on standard error.
struct Library {
  int open_rc = 0;
  int read_rc = 0;
  int records = 0;
  bool left_open = false;  // the unit still open after a failed open and c_fclos
  std::string err;
};

Library read_in_process(const std::string &path) {
  Library r;
  int unit = 30;
  ::testing::internal::CaptureStderr();
  c_vktopc("TOLRNC", "CATAST", 0);
  c_vktopc("MSGLVL", "WARNIN", 0);
  if (c_fnom(&unit, path.c_str(), "RND+R/O", 0) != 0) {
    r.open_rc = -1000;
  } else {
    r.open_rc = c_vktouv(unit, "RND");
    if (r.open_rc >= 0) {
      int ni = 0, nj = 0, nk = 0;
      int h = c_vktinf(unit, &ni, &nj, &nk, -1, " ", -1, -1, -1, " ", " ");
      while (h >= 0 && r.records < 10000) {
        ++r.records;
        std::vector<float> values;
        const int got = zep::stdfile::read_values_as_floats(h, &values);
        if (got < 0 && r.read_rc == 0) r.read_rc = got;
        h = c_vktsui(unit, &ni, &nj, &nk);
      }
      c_vktfrm(unit);
    }
    c_fclos(unit);
    r.left_open = zep::xdf::file_index(unit) != -1;
  }
  c_vktopc("MSGLVL", "INFORM", 0);
  c_vktopc("TOLRNC", "ERRORS", 0);
  r.err = ::testing::internal::GetCapturedStderr();
  return r;
}

// What the converter does with the file.
struct Converted {
  int status = 0;
  std::string err, doc;
  int lint = 0;  // xmllint's status, 0 when xmllint is absent
};

Converted convert(const std::string &path) {
  Converted c;
  const std::string out = path + ".xml", err = path + ".err";
  std::remove(out.c_str());
  c.status = shell(
      "ASAN_OPTIONS=exitcode=99:detect_leaks=1 UBSAN_OPTIONS=exitcode=98:print_stacktrace=1 "
      "timeout 10 '" +
      env("ZEP_VKT2XML") + "' -vkt '" + path + "' -xml '" + out + "' >/dev/null 2>'" + err + "'");
  c.err = slurp(err);
  c.doc = slurp(out);
  if (shell("command -v xmllint >/dev/null 2>&1") == 0)
    c.lint = shell("xmllint --noout '" + out + "' 2>/dev/null");
  return c;
}

class Files : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = ::testing::TempDir() + "zep_damaged_" + std::to_string(getpid());
    shell("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'");
    write_sound_random(dir_ + "/sound.vkt");
    write_sound_sequential(dir_ + "/sound_seq.vkt");
    sound_ = read_words(dir_ + "/sound.vkt");
    seq_ = read_words(dir_ + "/sound_seq.vkt");
  }
  static void TearDownTestSuite() {
    const ::testing::TestSuite *suite = ::testing::UnitTest::GetInstance()->current_test_suite();
    if (suite != nullptr && suite->Passed()) shell("rm -rf '" + dir_ + "'");
  }
  void SetUp() override {
    if (env("ZEP_VKT2XML").empty()) GTEST_SKIP() << "the converter was not built";
  }

  static void write_sound_random(const std::string &path) {
    int unit = 20;
    ASSERT_EQ(c_fnom(&unit, path.c_str(), "STD+RND", 0), 0);
    ASSERT_GE(c_vktouv(unit, "RND"), 0);
    write_records(unit);
    c_vktfrm(unit);
    c_fclos(unit);
  }
  static void write_sound_sequential(const std::string &path) {
    int unit = 21;
    ASSERT_EQ(c_fnom(&unit, path.c_str(), "STD+SEQ", 0), 0);
    ASSERT_GE(c_vktouv(unit, "SEQ"), 0);
    write_records(unit);
    c_vktfrm(unit);
    c_fclos(unit);
  }
  // Four records: packed reals (TT), the compressed float packer (UU),
  // unsigned integers (I2) and IEEE words (GZ).
  static void write_records(int unit) {
    std::vector<float> tt(50), uu(400), gz(16);
    for (size_t i = 0; i < tt.size(); ++i) tt[i] = 0.5f * static_cast<float>(i) - 7;
    for (size_t i = 0; i < uu.size(); ++i) uu[i] = static_cast<float>((i * 37) % 101) / 8;
    for (size_t i = 0; i < gz.size(); ++i) gz[i] = 1000.0f + static_cast<float>(i);
    std::vector<int> i2(24);
    for (size_t i = 0; i < i2.size(); ++i) i2[i] = static_cast<int>(i * 1000);
    ASSERT_GE(c_vktecr(tt.data(), nullptr, -16, unit, 0, 0, 0, 10, 5, 1, 500, 0, 0, "P", "TT",
                       "SOUND", "X", 0, 0, 0, 0, 1, 0),
              0);
    ASSERT_GE(c_vktecr(uu.data(), nullptr, -12, unit, 0, 0, 0, 20, 20, 1, 500, 0, 0, "P", "UU",
                       "SOUND", "X", 0, 0, 0, 0, 134, 0),
              0);
    ASSERT_GE(c_vktecr(i2.data(), nullptr, -16, unit, 0, 0, 0, 6, 4, 1, 500, 0, 0, "P", "I2",
                       "SOUND", "X", 0, 0, 0, 0, 2, 0),
              0);
    ASSERT_GE(c_vktecr(gz.data(), nullptr, -32, unit, 0, 0, 0, 8, 2, 1, 500, 0, 0, "P", "GZ",
                       "SOUND", "X", 0, 0, 0, 0, 5, 0),
              0);
  }

  static std::string dir_;
  static Words sound_, seq_;
};
std::string Files::dir_;
Words Files::sound_;
Words Files::seq_;

// The outcome a damaged file must have.
struct Expect {
  int open_rc = 0;      // c_vktouv's result (>= 0: the records it counts)
  int read_rc = 0;      // the first failing read's code, 0 when every read succeeds
  int records = -1;     // records the search finds (-1: as many as open counts)
  std::string message;  // a line the library writes on standard error ("" none)
  int status = 1;       // the converter's exit status
};

class Damaged : public Files {
 protected:
  // Writes the damaged image as <case>.vkt and holds the library and the
  // converter to `e`.
  void check(const std::string &name, const Words &w, size_t bytes, const Expect &e) {
    SCOPED_TRACE(name);
    const std::string path = dir_ + "/" + name + ".vkt";
    write_words(path, w, bytes);
    const Library lib = read_in_process(path);
    EXPECT_EQ(lib.open_rc, e.open_rc);
    EXPECT_FALSE(lib.left_open);
    EXPECT_EQ(lib.read_rc, e.read_rc);
    const int records = e.records >= 0 ? e.records : (e.open_rc > 0 ? e.open_rc : 0);
    EXPECT_EQ(lib.records, records);
    if (e.message.empty()) {
      EXPECT_EQ(lib.err.find("***"), std::string::npos) << lib.err;
    } else {
      EXPECT_NE(lib.err.find(e.message + "\n"), std::string::npos) << lib.err;
    }
    const Converted c = convert(path);
    EXPECT_EQ(c.status, e.status) << c.err;
    if (!e.message.empty()) {
      EXPECT_NE(c.err.find(e.message + "\n"), std::string::npos) << c.err;
    }
    EXPECT_EQ(c.err.find("Sanitizer"), std::string::npos) << c.err;
    EXPECT_EQ(c.err.find("runtime error"), std::string::npos) << c.err;
    expect_well_formed(c, records);
  }

  static void expect_well_formed(const Converted &c, int records) {
    EXPECT_EQ(
        c.doc.rfind(
            "<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n<zep-standard-file>\n", 0),
        0u)
        << c.doc.substr(0, 200);
    const std::string end = "</zep-standard-file>\n";
    EXPECT_TRUE(c.doc.size() >= end.size() &&
                c.doc.compare(c.doc.size() - end.size(), end.size(), end) == 0);
    EXPECT_EQ(count_of(c.doc, "<vktrecord>"), records);
    EXPECT_EQ(count_of(c.doc, "</vktrecord>"), records);
    EXPECT_EQ(c.lint, 0);
  }

  static std::string past_end(const Words &w, int i) {
    return "*** ERROR #33 from module c_xdfget: record at address " +
           std::to_string(record_at(w, i) + 1) + " of " + std::to_string(record_words(w, i)) +
           " words runs past the end of the file";
  }
};

TEST_F(Damaged, SoundFilesReadWithoutAMessage) {
  // The baseline every case below departs from.
  for (const char *name : {"sound.vkt", "sound_seq.vkt"}) {
    SCOPED_TRACE(name);
    const Library lib = read_in_process(dir_ + "/" + name);
    EXPECT_EQ(lib.open_rc, std::string(name) == "sound.vkt" ? 4 : 0);
    EXPECT_EQ(lib.read_rc, 0);
    EXPECT_EQ(lib.records, 4);
    EXPECT_EQ(lib.err, "");
    const Converted c = convert(dir_ + "/" + name);
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.err, "");
    expect_well_formed(c, 4);
    EXPECT_NE(c.doc.find("<nomvar>UU  </nomvar>"), std::string::npos);
    EXPECT_NE(c.doc.find("        1000         1001         1002"), std::string::npos);
  }
}

TEST_F(Damaged, CutAtEveryStructuralBoundary) {
  const Words w = sound_;
  const Expect not_xdf{
      -34, 0, 0,
      "*** FATAL ERROR #34 from module c_xdfopn: file is not XDF type or old standard random type"};
  const Expect pages{-33, 0, 0,
                     "*** ERROR #33 from module c_xdfopn: number of directory pages is incorrect"};
  // An empty file is refused by the open without a message of the library;
  // the converter says it cannot open it.
  check("cut_to_nothing", w, 0, {-2, 0, 0, "", 1});
  EXPECT_NE(slurp(dir_ + "/cut_to_nothing.vkt.err").find("vkt2xml: cannot open the standard file "),
            std::string::npos);
  check("cut_in_first_word", w, 3, not_xdf);
  check("cut_in_header", w, 4 * (kPage - 1),
        {-33, 0, 0,
         "*** ERROR #33 from module c_xdfopn: header length 52 words does not fit the file (51 "
         "words)"});
  check("cut_after_header", w, 4 * kPage, pages);
  check("cut_after_page_header", w, 4 * (kPage + 8), pages);
  check("cut_in_page_last_word", w, 4 * (kPage + kPageWords) - 1, pages);
  // The directory is whole: every record is found, and those cut are refused.
  for (int cut = 0; cut < 4; ++cut) {
    const size_t start = record_at(w, cut);
    for (size_t at : {start, start + 1, start + 10, start + 20, start + record_words(w, cut) - 1}) {
      std::string name =
          "cut_in_record_" + std::to_string(cut) + "_at_word_" + std::to_string(at - start);
      check(name, w, 4 * at, {4, -33, 4, past_end(w, cut)});
    }
  }
  check("cut_in_last_word", w, 4 * w.size() - 2, {4, -33, 4, past_end(w, 3)});
}

TEST_F(Damaged, DirectoryPages) {
  Words w = sound_;
  w[kPage + 6] ^= 1;  // the checksum no longer makes the page's XOR zero
  // Reported; the records are still there and read, the run fails.
  check("checksum_flipped", w, SIZE_MAX,
        {4, 0, 4,
         "*** ERROR #32 from module c_xdfopn: incorrect checksum in page 0, directory is probably "
         "dammaged",
         1});

  w = sound_;
  w[7] = 2;           // two pages,
  w[kPage + 4] = 27;  // the next one the first again (unit address 27)
  fix_checksum(w, kPage);
  // The chain holds one page: the open keeps it and says the header is wrong.
  check("page_chain_loops", w, SIZE_MAX,
        {4, 0, 4,
         "*** ERROR #33 from module c_xdfopn: directory page 1 is a page already read, directory "
         "is probably dammaged"});

  w = sound_;
  w[7] = 2;
  w[kPage + 4] = 0x7FFFFFF0;  // far past the end
  fix_checksum(w, kPage);
  check("page_chain_past_end", w, SIZE_MAX,
        {4, 0, 4, "*** ERROR #33 from module c_xdfopn: number of directory pages is incorrect"});

  w = sound_;
  w[7] = 1025;
  check("page_count_1025", w, SIZE_MAX,
        {4, 0, 4, "*** ERROR #33 from module c_xdfopn: number of directory pages is incorrect"});

  // Entries beyond the page's count are not taken, but the header's count
  // of valid records says some are missing.
  w = sound_;
  w[kPage + 5] = 2;
  fix_checksum(w, kPage);
  check("entry_count_lowered", w, SIZE_MAX,
        {2, 0, 2,
         "*** ERROR #33 from module c_xdfopn: 2 valid records in the directory, 4 in the header, "
         "directory is probably dammaged"});

  // The header counts 100 units more than the file holds, but no record
  // lies there: a warning, every record read, the run succeeds.
  w = sound_;
  w[4] += 100;
  check("file_size_beyond_the_file", w, SIZE_MAX,
        {4, 0, 4,
         "*** WARNING #33 from module c_xdfopn: file size of " + std::to_string(w[4]) +
             " units in the header is larger than the file (" + std::to_string(w.size() / 2) +
             " units), file is probably dammaged",
         0});

  w = sound_;
  w[kPage + 5] = 257;
  fix_checksum(w, kPage);
  check("entry_count_257", w, SIZE_MAX,
        {-33, 0, 0,
         "*** ERROR #33 from module c_xdfopn: directory page 0 holds 257 entries, directory is "
         "probably dammaged"});

  // A count with its top bit set is no count either; the open must not
  // succeed with a negative status and leave the unit open.
  w = sound_;
  w[kPage + 5] = 0xFF000000u;
  fix_checksum(w, kPage);
  check("entry_count_negative", w, SIZE_MAX,
        {-33, 0, 0,
         "*** ERROR #33 from module c_xdfopn: directory page 0 holds -16777216 entries, directory "
         "is probably dammaged"});

  w = sound_;
  w[13] = 0x80000000u;  // the header's count of valid records
  check("valid_count_negative", w, SIZE_MAX,
        {-33, 0, 0,
         "*** ERROR #33 from module c_xdfopn: valid record count 2147483648 above 2^31 - 1"});
}

TEST_F(Damaged, Records) {
  Words w = sound_;
  w[entry_at(0) + 1] = 0x00FFFFF0;  // unit address far past the end
  fix_checksum(w, kPage);
  check("record_address_past_end", w, SIZE_MAX,
        {4, -33, 4,
         "*** ERROR #33 from module c_xdfget: record at address 33554399 of 50 words runs past the "
         "end of the file"});

  // An entry pointing into the record before its own: that record's words
  // are refused as its own; the other three are read.
  w = sound_;
  const uint32_t into = w[entry_at(0) + 1] + 4;
  w[entry_at(1) + 1] = into;
  fix_checksum(w, kPage);
  check("entry_into_another_record", w, SIZE_MAX,
        {4, -33, 4,
         "*** ERROR #33 from module c_xdfget: record at address " + std::to_string(2 * into - 1) +
             " does not match its directory entry, file is probably dammaged"});

  // ni, nj and nk at their largest: 2^68 values claimed by a record of 50.
  w = sound_;
  w[entry_at(0) + 3] = (0xFFFFFFu << 8) | 'X';
  w[entry_at(0) + 4] |= 0xFFFFFFu << 8;
  w[entry_at(0) + 5] |= 0xFFFFFu << 12;
  fix_checksum(w, kPage);
  check("count_far_beyond_record", w, SIZE_MAX,
        {4, -23, 4,
         "*** ERROR #23 from module c_vktluk: record (handle=1) is damaged: more values than a "
         "record can hold"});

  // 1000 x 5 values of 16 bits in a record that holds 50.
  w = sound_;
  w[entry_at(0) + 3] = (1000u << 8) | 'X';
  fix_checksum(w, kPage);
  check("count_beyond_record", w, SIZE_MAX,
        {4, -23, 4,
         "*** ERROR #23 from module c_vktluk: record (handle=1) is damaged: stored length too "
         "short for its values"});

  // The compressed record (UU) keeps 20 of its units: its stream is cut.
  w = sound_;
  const uint32_t cut = (w[entry_at(1)] & 0xFF000000u) | 20;
  w[entry_at(1)] = cut;
  w[record_at(w, 1)] = cut;
  fix_checksum(w, kPage);
  check("compressed_stream_cut_short", w, SIZE_MAX,
        {4, -23, 4,
         "*** ERROR #23 from module c_vktluk: record (handle=129) is damaged: compressed stream "
         "refused"});
}

TEST_F(Damaged, SequentialObjectOfLength0) {
  Words w = seq_;
  // The second record (UU, 0x5e units) says it is 0 units long: the walk
  // cannot move past it, reports it and ends after the first record.
  size_t second = 0;
  for (size_t i = kPage + 2; i < w.size() && second == 0; ++i)
    if (w[i] == 0x0100005Eu) second = i;
  ASSERT_NE(second, 0u);
  w[second] = 0x01000000u;
  check("sequential_object_of_length_0", w, SIZE_MAX,
        {0, 0, 1,
         "*** ERROR #33 from module c_xdfloc: object of length 0 at address " +
             std::to_string(second + 1) + ", file is probably dammaged",
         1});
}

TEST_F(Damaged, OldRandomEntryCountPastTheEnd) {
  Words w = read_words(env("ZEP_SOURCE_DIR") + "/fuzz/corpus/convert/old_random.vkt");
  ASSERT_GE(w.size(), 30u);
  ASSERT_EQ(w[0], 0x55555555u);
  w[4] = 1000;  // word 5: the number of 15-word entries
  check("old_entry_count_past_end", w, SIZE_MAX,
        {-33, 0, 0,
         "*** ERROR #33 from module c_xdfopn: old directory of 1000 entries does not fit the file, "
         "directory is probably dammaged"});
}

// Every damaged file committed beside these tests: whatever it holds, the
// converter ends by itself, says it failed and leaves a well-formed document.
TEST_F(Damaged, CommittedCorpus) {
  const std::string corpus = env("ZEP_SOURCE_DIR") + "/tests/damaged";
  const std::string list = dir_ + "/corpus.txt";
  ASSERT_EQ(shell("ls '" + corpus + "' | grep '\\.vkt$' >'" + list + "'"), 0);
  std::istringstream names(slurp(list));
  int seen = 0;
  for (std::string name; std::getline(names, name);) {
    SCOPED_TRACE(name);
    ++seen;
    const std::string path = dir_ + "/corpus_" + name;
    ASSERT_EQ(shell("cp '" + corpus + "/" + name + "' '" + path + "'"), 0);
    const Converted c = convert(path);
    EXPECT_EQ(c.status, 1) << c.err;
    EXPECT_NE(c.err.find("*** "), std::string::npos) << c.err;
    EXPECT_EQ(c.err.find("Sanitizer"), std::string::npos) << c.err;
    EXPECT_EQ(c.err.find("runtime error"), std::string::npos) << c.err;
    const std::string end = "</zep-standard-file>\n";
    EXPECT_EQ(count_of(c.doc, "<vktrecord>"), count_of(c.doc, "</vktrecord>"));
    EXPECT_TRUE(c.doc.size() >= end.size() &&
                c.doc.compare(c.doc.size() - end.size(), end.size(), end) == 0);
    EXPECT_EQ(c.lint, 0);
  }
  EXPECT_GE(seen, 20);  // the corpus is there
}

}  // namespace
