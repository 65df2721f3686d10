// File-kind detection on arbitrary first bytes: the input is written to a
// scratch file and its kind asked for. The probes must read only what the
// file holds, and the answer must be one of the kind codes.
#include "fuzz/fuzz_support.h"
#include "zep/io.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = fuzz::Scratch::file("kind.bin");
  fuzz::write_file(path, data, size);
  const int kind = wkoffit_(path.c_str(), path.size());
  if (kind < -3 || kind > 40) fuzz::fail("kind code out of range");
  if (size == 0 && kind != -2) fuzz::fail("an empty file is not kind -2");
  // The name with a '+' prefix is taken as it stands.
  const std::string plus = "+" + path;
  if (wkoffit_(plus.c_str(), plus.size()) != kind) fuzz::fail("'+' name gives another kind");
  return 0;
}
