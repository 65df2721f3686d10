// Helpers of the end-to-end tests: the environment ctest sets (the
// converter, the golden files), whole files as text, shell commands.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// True if something exists at the path.
inline bool exists(const std::string &path) {
  struct stat s {};
  return ::stat(path.c_str(), &s) == 0;
}

// The names in `dir` that end in `suffix`, the suffix taken off, sorted.
inline std::vector<std::string> files_in(const std::string &dir, const std::string &suffix) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > suffix.size() &&
          n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(n.substr(0, n.size() - suffix.size()));
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The golden standard files that have a document: "dates" for dates.vkt
// beside dates.xml.
inline std::vector<std::string> golden_names(const std::string &dir = golden_dir()) {
  std::vector<std::string> names;
  for (const std::string &n : files_in(dir, ".vkt"))
    if (exists(dir + "/" + n + ".xml")) names.push_back(n);
  return names;
}

// The text in single quotes for the shell.
inline std::string quote(const std::string &text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
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
