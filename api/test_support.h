// Helpers shared by the safe API's tests: a scratch folder, records written
// through the API, and the check that nothing reached the standard streams.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zep/api.h"

namespace api_test {

// A folder of its own per test, removed with everything in it. Mixed case
// on purpose: the API takes paths as they are.
class Scratch {
 public:
  Scratch() {
    static int counter = 0;
    for (;;) {
      dir_ = "/tmp/ZepApi_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
      if (mkdir(dir_.c_str(), 0700) == 0 || errno != EEXIST) break;
    }
  }
  ~Scratch() {
    const std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir_;
  }
  std::string path(const std::string &name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// A descriptor of defaults with a name, dimensions and packing.
inline zep_record descriptor(const char *nomvar, int ni, int nj, int datyp, int nbits,
                             int ip1 = 0) {
  zep_record d;
  zep_record_init(&d);
  std::snprintf(d.nomvar, sizeof d.nomvar, "%s", nomvar);
  std::snprintf(d.etiket, sizeof d.etiket, "%s", "TEST");
  d.ni = ni;
  d.nj = nj;
  d.datyp = datyp;
  d.nbits = nbits;
  d.ip1 = ip1;
  return d;
}

// Writes n float records TT0.., each of 4x3 values v = 100*k + i, packed on
// 32 bits (exact).
inline void write_floats(const std::string &path, int n) {
  zep_file *f = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "w", &f), 0) << zep_last_message(nullptr);
  for (int k = 0; k < n; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "T%d", k % 1000);
    zep_record d = descriptor(name, 4, 3, 5, 32, k);
    std::vector<float> v(12);
    for (int i = 0; i < 12; ++i) v[i] = static_cast<float>(100 * k + i);
    ASSERT_EQ(zep_write(f, &d, ZEP_TYPE_F32, v.data(), v.size()), 0) << zep_last_message(f);
  }
  ASSERT_EQ(zep_close(f), 0);
}

// Every record of an open file, in file order.
inline std::vector<zep_record> walk(zep_file *f) {
  std::vector<zep_record> out;
  zep_rewind(f);
  zep_record r;
  int rc;
  while ((rc = zep_next(f, &r)) == 1) out.push_back(r);
  EXPECT_EQ(rc, 0) << zep_last_message(f);
  return out;
}

// Standard output and standard error sent to a file while it lives; text()
// gives what reached them.
class Silence {
 public:
  Silence() {
    std::fflush(stdout);
    std::fflush(stderr);
    std::snprintf(path_, sizeof path_, "/tmp/zep_api_streams_%d_XXXXXX",
                  static_cast<int>(getpid()));
    fd_ = mkstemp(path_);
    out_ = dup(1);
    err_ = dup(2);
    dup2(fd_, 1);
    dup2(fd_, 2);
  }
  std::string text() {
    restore();
    std::string s;
    if (FILE *in = std::fopen(path_, "rb")) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) s.append(buf, n);
      std::fclose(in);
    }
    return s;
  }
  ~Silence() {
    restore();
    close(fd_);
    unlink(path_);
  }

 private:
  void restore() {
    if (out_ < 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(out_, 1);
    dup2(err_, 2);
    close(out_);
    close(err_);
    out_ = err_ = -1;
  }
  char path_[96];
  int fd_ = -1, out_ = -1, err_ = -1;
};

}  // namespace api_test
