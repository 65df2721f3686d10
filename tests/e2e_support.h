// Helpers of the end-to-end tests: the environment ctest sets (the
// converter, the golden files), whole files as text, shell commands.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/golden_dir.h"
#include "tests/temp_dir.h"

namespace zep_test {

// The value of an environment variable, empty when unset.
inline std::string env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

// The converter under test ($ZEP_VKT2XML).
inline std::string converter() { return env("ZEP_VKT2XML"); }

// A whole file as bytes (empty when it cannot be read).
inline std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a shell command; its exit status, or -1 when it did not exit.
inline int run(const std::string &cmd) {
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Number of (possibly overlapping) occurrences of `what` in `text`.
inline int count_of(const std::string &text, const std::string &what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

}  // namespace zep_test
