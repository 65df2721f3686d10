// The converter on a file image: the input is written to a scratch file and
// converted as a user's file would be (bind, open, walk, read and decode
// every record, close, release). After each input the unit must be free in
// both tables, the exit status 0 or 1, and the document well-formed.
#include "app/vkt2xml.h"
#include "fuzz/fuzz_support.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"

#include <cctype>
#include <string>
#include <vector>

namespace {

bool entity_at(const std::string &t, size_t p, size_t *end) {
  size_t semi = t.find(';', p);
  if (semi == std::string::npos || semi - p > 10) return false;
  std::string e = t.substr(p + 1, semi - p - 1);
  *end = semi + 1;
  if (e == "amp" || e == "lt" || e == "gt" || e == "quot" || e == "apos") return true;
  if (e.size() >= 3 && e[0] == '#' && e[1] == 'x') {
    for (size_t i = 2; i < e.size(); ++i)
      if (!std::isxdigit(static_cast<unsigned char>(e[i]))) return false;
    return true;
  }
  return false;
}

// Empty when the document is well-formed as far as this converter can make
// it go wrong: ASCII only (no control bytes but tab, line feed and
// carriage return), every '&' an entity, tags nested and
// closed, one root element.
std::string document_problem(const std::string &t) {
  const std::string prolog = "<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n";
  if (t.compare(0, prolog.size(), prolog) != 0) return "no prolog";
  std::vector<std::string> open;
  bool root_seen = false;
  for (size_t p = prolog.size(); p < t.size();) {
    const unsigned char c = static_cast<unsigned char>(t[p]);
    if (c == '<') {
      size_t close = t.find('>', p);
      if (close == std::string::npos) return "tag not closed";
      std::string tag = t.substr(p + 1, close - p - 1);
      if (tag.empty()) return "empty tag";
      if (tag[0] == '/') {
        if (open.empty() || open.back() != tag.substr(1)) return "mismatched end tag " + tag;
        open.pop_back();
      } else {
        std::string name = tag.substr(0, tag.find(' '));
        if (open.empty()) {
          if (root_seen) return "second root element";
          root_seen = true;
        }
        open.push_back(name);
      }
      p = close + 1;
    } else if (c == '&') {
      size_t end = 0;
      if (!entity_at(t, p, &end)) return "bare ampersand";
      p = end;
    } else if (c == '>') {
      return "bare '>'";
    } else if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c > 0x7F) {
      return "byte outside printable ASCII";
    } else {
      if (open.empty() && c != '\n') return "text outside the root";
      ++p;
    }
  }
  if (!open.empty()) return "element " + open.back() + " left open";
  if (!root_seen) return "no root element";
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string input = fuzz::Scratch::file("input.vkt");
  static const std::string output = fuzz::Scratch::file("output.xml");
  static const bool quiet = [] {
    // Listing lines and notices are not what is tested; errors still print.
    c_vktopc("MSGLVL", "SYSTEM", 0);
    return true;
  }();
  (void)quiet;
  fuzz::write_file(input, data, size);

  std::vector<std::string> args = {"vkt2xml", "-vkt", input, "-xml", output};
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = zep::app::vkt2xml(static_cast<int>(args.size()), argv.data());

  if (status != 0 && status != 1) fuzz::fail("exit status other than 0 or 1");
  if (zep::xdf::file_index(1) != -1) fuzz::fail("unit 1 still open as a directory file");
  if (zep::xdf::fnom_index(1) != -1) fuzz::fail("unit 1 still bound");
  const std::string problem = document_problem(fuzz::read_file(output));
  if (!problem.empty()) fuzz::fail(("document not well-formed: " + problem).c_str());
  return 0;
}
