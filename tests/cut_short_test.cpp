// The golden sequential and old-layout files cut at every 4-byte offset and
// converted in-process: a cut that costs the document a record (missing or
// different from the sound file's) must fail the run, every document stays
// well-formed, and nothing crashes.
//
// One cut cannot be told from a sound file: the old sequential layout has no
// end mark, so a file cut exactly where one of its records ends is an old
// sequential file with fewer records. For those cuts the document must hold
// the records before the cut, unchanged.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/vkt2xml.h"
#include "common/big_endian.h"
#include "zep/stdfile.h"
#include "tests/e2e_support.h"
#include "tests/temp_dir.h"

namespace {

using zep_test::golden_dir;
using zep_test::slurp;

// The <vktrecord> elements of a document, in order.
std::vector<std::string> records_of(const std::string &doc) {
  std::vector<std::string> out;
  const std::string open = "<vktrecord>\n", close = "</vktrecord>\n";
  for (size_t at = doc.find(open); at != std::string::npos; at = doc.find(open, at + 1)) {
    const size_t end = doc.find(close, at);
    out.push_back(
        doc.substr(at, end == std::string::npos ? std::string::npos : end + close.size() - at));
  }
  return out;
}

// Runs the converter's main routine on `in`, the document into `out`, with
// the library's traces and messages sent to /dev/null. Returns its status.
int convert(const std::string &in, const std::string &out) {
  std::string args[] = {"vkt2xml", "-vkt", in, "-xml", out};
  char *argv[] = {&args[0][0], &args[1][0], &args[2][0], &args[3][0], &args[4][0], nullptr};
  std::fflush(stdout);
  std::fflush(stderr);
  const int saved_out = dup(STDOUT_FILENO), saved_err = dup(STDERR_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  dup2(null, STDERR_FILENO);
  const int status = zep::app::vkt2xml(5, argv);
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved_out, STDOUT_FILENO);
  dup2(saved_err, STDERR_FILENO);
  close(saved_out);
  close(saved_err);
  close(null);
  c_vktopc("MSGLVL", "INFORM", 0);
  c_vktopc("TOLRNC", "ERRORS", 0);
  return status;
}

// Word offsets (from 0) at which records of an old sequential file end.
std::set<size_t> old_sequential_record_ends(const std::string &bytes) {
  std::set<size_t> ends;
  const size_t words = bytes.size() / 4;
  for (size_t at = 0; at + 30 <= words;) {
    const uint32_t data_words = zep::load_be32(bytes.data() + 4 * (at + 14));
    at += 2 * ((static_cast<size_t>(data_words) + 3) / 4 + 15);
    ends.insert(at);
  }
  return ends;
}

struct Sweep {
  int cuts = 0;          // cuts converted
  int losing = 0;        // cuts that cost the document a record
  int undetectable = 0;  // of those, old sequential cuts at a record's end
  std::vector<std::string> faults;
};

Sweep sweep(const std::string &name, const std::string &dir) {
  Sweep s;
  const std::string bytes = slurp(golden_dir() + name + ".vkt");
  const std::vector<std::string> sound = records_of(slurp(golden_dir() + name + ".xml"));
  const bool old_sequential = name == "old_sequential";
  const std::set<size_t> record_ends =
      old_sequential ? old_sequential_record_ends(bytes) : std::set<size_t>{};
  const std::string in = dir + "/" + name + ".vkt", out = dir + "/" + name + ".xml";
  for (size_t cut = 4; cut < bytes.size(); cut += 4) {
    std::ofstream(in, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(cut));
    std::remove(out.c_str());
    const int status = convert(in, out);
    const std::string doc = slurp(out);
    const std::vector<std::string> got = records_of(doc);
    ++s.cuts;
    size_t kept = 0;
    while (kept < sound.size() && kept < got.size() && got[kept] == sound[kept]) ++kept;
    const std::string where = name + " cut at byte " + std::to_string(cut);
    const std::string tail = "</zep-standard-file>\n";
    if (doc.rfind("<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n<zep-standard-file>\n",
                  0) != 0 ||
        doc.size() < tail.size() || doc.compare(doc.size() - tail.size(), tail.size(), tail) != 0)
      s.faults.push_back(where + ": the document is not complete");
    if (kept == sound.size()) continue;
    ++s.losing;
    if (record_ends.count(cut / 4) != 0) {
      ++s.undetectable;
      if (got.size() != kept)
        s.faults.push_back(where + ": at a record's end, the records before it must be kept");
      continue;
    }
    if (status == 0)
      s.faults.push_back(where + ": " + std::to_string(kept) + " of " +
                         std::to_string(sound.size()) + " records kept, yet status 0");
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
  return s;
}

TEST(CutShort, NoCutThatLosesARecordConvertsWithStatus0) {
  zep_test::TempDir dir("zep_cut");
  int cuts = 0;
  for (const char *name : {"sequential", "sequential_eof", "old_random", "old_sequential"}) {
    SCOPED_TRACE(name);
    const Sweep s = sweep(name, dir.path());
    cuts += s.cuts;
    EXPECT_GT(s.losing, s.cuts / 2);  // most cuts do cost a record
    for (const std::string &fault : s.faults) ADD_FAILURE() << fault;
    // Three records of the old sequential file (the deleted one among them)
    // end before its end-of-file mark and cost a record when cut there.
    EXPECT_EQ(s.undetectable, std::string(name) == "old_sequential" ? 3 : 0);
  }
  EXPECT_EQ(cuts, 1106);
}

}  // namespace
