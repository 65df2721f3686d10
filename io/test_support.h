// Helpers shared by the io tests: a temporary directory, small file
// writers, and a way to run a scenario in a fresh process (the page cache
// settings are fixed at the first open of a process).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/big_endian.h"
#include "io/file_table.h"
#include "io/word_file.h"
#include "zep/io.h"
#include "tests/temp_dir.h"

namespace io_test {

// In a fresh copy of the test program started by IO_RUN_FRESH, the
// fixture's folder is the parent's.
class TempDir : public zep_test::TempDir {
 public:
  TempDir() : zep_test::TempDir("io_test", "IO_TEST_SHARED_DIR") {}
};

inline void write_bytes(const std::string &path, const std::vector<unsigned char> &bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void write_text(const std::string &path, const std::string &text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

inline std::vector<unsigned char> read_bytes(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(f)),
                                    std::istreambuf_iterator<char>());
}

// Big-endian words as file bytes.
inline std::vector<unsigned char> be_words(const std::vector<uint32_t> &words) {
  std::vector<unsigned char> out(words.size() * 4);
  for (size_t i = 0; i < words.size(); ++i) zep::store_be32(out.data() + 4 * i, words[i]);
  return out;
}

// Word i (from 0) of a file, big-endian.
inline uint32_t file_word(const std::vector<unsigned char> &bytes, size_t i) {
  return zep::load_be32(bytes.data() + 4 * i);
}

// Frees every row of the file table, closing what is still open.
inline void release_all_units() {
  for (int i = 0; i < zep::io::kMaxFiles; ++i) {
    const int u = zep::io::file_entry(i).iun;
    if (u == 0) continue;
    if (zep::io::file_entry(i).open && zep::io::wa_slot_of_fd(zep::io::file_entry(i).fd) >= 0)
      c_waclos2(u);
    c_fclos(u);
  }
}

// Fixture that leaves the file table empty after each test.
class IoTest : public ::testing::Test {
 protected:
  void TearDown() override { release_all_units(); }
  TempDir dir_;
};

}  // namespace io_test

// Runs `scenario` (a function returning a std::string of failures, empty
// when sound) in a fresh copy of the test program, with WA_CONFIG set to
// `config` (nullptr: unset) before anything is opened there. The page cache
// settings are fixed at the first open of a process, hence the fresh copy.
// Used inside an IoTest: the copy works in the same directory dir_, but
// runs the test body again up to this point (setup that the scenario must
// not see twice belongs in the scenario).
#define IO_RUN_FRESH(config, scenario)                    \
  do {                                                    \
    GTEST_FLAG_SET(death_test_style, "threadsafe");       \
    setenv("IO_TEST_SHARED_DIR", dir_.path().c_str(), 1); \
    EXPECT_EXIT(                                          \
        {                                                 \
          const char *cfg_ = (config);                    \
          if (cfg_)                                       \
            setenv("WA_CONFIG", cfg_, 1);                 \
          else                                            \
            unsetenv("WA_CONFIG");                        \
          const std::string failures_ = scenario();       \
          std::fprintf(stderr, "%s", failures_.c_str());  \
          std::fflush(stderr);                            \
          std::fflush(stdout);                            \
          std::_Exit(failures_.empty() ? 0 : 2);          \
        },                                                \
        ::testing::ExitedWithCode(0), "");                \
    unsetenv("IO_TEST_SHARED_DIR");                       \
  } while (0)
