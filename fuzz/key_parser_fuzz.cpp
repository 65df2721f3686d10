// The command-line key parser on arbitrary argument vectors. The input is
// cut at NUL bytes into arguments (each cut to 4096 characters, at most 64
// of them, as the program entry does); the first byte picks one of the key
// tables below and whether the positional count is asked for. Every value
// must come back terminated inside its 256 characters.
#include "fuzz/fuzz_support.h"
#include "zep/ccard.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Table {
  std::vector<std::string> names, defaults;
};

const Table &table(int which) {
  static const Table tables[] = {
      // The converter's keys.
      {{"vkt.", "xml.", "encoding.", "format."}, {"bidon.vkt", "bidon.xml", "ascii", "(8g14.6)"}},
      // Positional slots, a key of three values, one folded to lower case,
      // one to upper case.
      {{"-", "-", "-", "list", "list", "list", "low_", "UP", "keep."},
       {"", "", "", "a", "b", "c", "x", "y", "z"}},
      // Only positional slots, dotted.
      {{"-.", "-.", "-."}, {"p1", "p2", "p3"}},
      // Names that differ only in case or suffix, and a long one.
      {{"a", "A.", "a_", "name_of_a_long_key", "-_"}, {"1", "2", "3", "4", "5"}},
  };
  return tables[which % 4];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t choice = in.u8();
  const Table &t = table(choice & 3);
  int npos = (choice & 4) ? 1 : 0;  // never -111: stop mode ends the process by design

  std::vector<std::string> args = {"prog"};
  std::string current;
  for (size_t i = 0; i < in.left(); ++i) {
    const char c = static_cast<char>(in.rest()[i]);
    if (c == '\0') {
      args.push_back(current);
      current.clear();
      if (args.size() >= 64) break;
    } else if (current.size() < 4096) {
      current.push_back(c);
    }
  }
  if (!current.empty() && args.size() < 64) args.push_back(current);
  // A lone -h or -H prints the calling sequence and ends the process, by design.
  if (args.size() == 2 && (args[1] == "-h" || args[1] == "-H")) return 0;

  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const int n = static_cast<int>(t.names.size());
  std::vector<std::string> names = t.names, defaults = t.defaults;
  std::vector<char *> name_ptrs, default_ptrs;
  std::vector<char[256]> values(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    name_ptrs.push_back(names[static_cast<size_t>(i)].data());
    default_ptrs.push_back(defaults[static_cast<size_t>(i)].data());
    std::snprintf(values[static_cast<size_t>(i)], 256, "v%d", i);
  }
  c_ccard(argv.data(), static_cast<int>(args.size()), name_ptrs.data(), values.data(),
          default_ptrs.data(), n, &npos);

  for (int i = 0; i < n; ++i)
    if (std::memchr(values[static_cast<size_t>(i)], '\0', 256) == nullptr)
      fuzz::fail("value not terminated in its slot");
  if ((choice & 4) && (npos < 0 || npos > static_cast<int>(args.size())))
    fuzz::fail("positional count out of range");
  for (int i = 0; i < n; ++i)
    if (names[static_cast<size_t>(i)] != t.names[static_cast<size_t>(i)])
      fuzz::fail("declared name changed");
  return 0;
}
