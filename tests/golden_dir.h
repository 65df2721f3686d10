// Where the tests find the golden files: $ZEP_GOLDEN_DIR (ctest sets it),
// else tests/data/golden of this source tree. Shared by the unit tests of
// every layer and the end-to-end tests.
#pragma once

#include <cstdlib>
#include <string>

namespace zep_test {

// The golden folder, with a trailing slash.
inline std::string golden_dir() {
  if (const char *env = std::getenv("ZEP_GOLDEN_DIR")) {
    if (*env != '\0') return std::string(env) + "/";
  }
  std::string here = __FILE__;  // <repo>/tests/golden_dir.h
  here = here.substr(0, here.find_last_of('/'));
  return here + "/data/golden/";
}

// The golden file `name` (for example "integers.vkt").
inline std::string golden_file(const std::string &name) { return golden_dir() + name; }

}  // namespace zep_test
