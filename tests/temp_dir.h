// The temporary folder of the tests: made under /tmp with a lower-case name
// (name resolution may fold the case of a path), removed with everything
// in it by the destructor. Shared by the unit tests of every layer and the
// end-to-end tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <filesystem>

namespace zep_test {

class TempDir {
 public:
  // A new folder /tmp/<prefix>_<pid>_<n>. When `shared_env` names a set
  // environment variable, its value is the folder instead, and it is left
  // in place (a test program started afresh by its parent works in the
  // parent's folder).
  explicit TempDir(const char *prefix = "zep_test", const char *shared_env = nullptr) {
    if (shared_env != nullptr) {
      if (const char *shared = std::getenv(shared_env)) {
        path_ = shared;
        owned_ = false;
        return;
      }
    }
    static int counter = 0;
    for (;;) {
      path_ = std::string("/tmp/") + prefix + "_" + std::to_string(getpid()) + "_" +
              std::to_string(counter++);
      if (mkdir(path_.c_str(), 0700) == 0 || errno != EEXIST) break;
    }
  }
  ~TempDir() {
    if (!owned_) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  bool owned_ = true;
};

}  // namespace zep_test
