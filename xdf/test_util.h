// Helpers shared by the directory-file tests: temporary files, binding
// units, the standard key set, raw word access to a file on disk, and a
// word-copying key builder like the standard-file layer's.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/big_endian.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/xdf.h"
#include "tests/golden_dir.h"
#include "tests/temp_dir.h"

namespace xdf_test {

inline const std::string kGolden = zep_test::golden_dir();

inline bool exists(const std::string &path) { return access(path.c_str(), R_OK) == 0; }

using zep_test::TempDir;

// The file's words in host order.
inline std::vector<uint32_t> read_words(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<uint32_t> w(bytes.size() / 4);
  for (size_t i = 0; i < w.size(); ++i) w[i] = zep::load_be32(&bytes[4 * i]);
  return w;
}

inline void write_words(const std::string &path, const std::vector<uint32_t> &w) {
  std::vector<char> bytes(4 * w.size());
  for (size_t i = 0; i < w.size(); ++i) zep::store_be32(&bytes[4 * i], w[i]);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void copy_file(const std::string &from, const std::string &to) {
  write_words(to, read_words(from));
}

// The standard key set: 16 primary keys of one word each, 2 info keys.
struct StdKeys {
  uint32_t pri[32];
  uint32_t aux[4];
  StdKeys() {
    for (int n = 1; n <= 16; ++n) {
      pri[2 * (n - 1)] = 0x53460000u | (static_cast<uint32_t>('0' + n / 10) << 8) | ('0' + n % 10);
      pri[2 * (n - 1) + 1] = 0x00FFC000u + (static_cast<uint32_t>(n - 1) << 24);
    }
    aux[0] = 0x41584931;
    aux[1] = 0x00FFC000;
    aux[2] = 0x41584932;
    aux[3] = 0x01FFC000;
  }
};

// Builders of the standard kind: key words copied verbatim.
extern "C" inline int copy_prim_keys(uint32_t *entry, uint32_t *keys, uint32_t *mask,
                                     uint32_t *mask_keys, int index, int mode) {
  zep::xdf::FileEntry *f = zep::xdf::open_entry(index);
  const int n = 2 * (f->primary_len - 1);
  mask[0] = mask[1] = 0;
  for (int i = 0; i < n; ++i) {
    if (mode == 1) {
      entry[i + 2] = keys[i];
      mask[i + 2] = mask_keys[i];
    } else {
      keys[i] = entry[i + 2];
    }
  }
  return 0;
}
extern "C" inline int noop_info_keys(uint32_t *, uint32_t *, int, int) { return 0; }

inline int filter_calls = 0;
inline int filter_reject_every = 0;  // refuse every n-th call when > 0
extern "C" inline int counting_filter(int handle) {
  ++filter_calls;
  int a, l, t;
  uint32_t k[16];
  // The filter looks at the record through c_xdfprm in the middle of a search.
  if (c_xdfprm(handle, &a, &l, &t, k, 16) < 0) return 0;
  return filter_reject_every > 0 ? (filter_calls % filter_reject_every != 0) : 1;
}

inline void use_copy_builders(bool with_filter = false) {
  zep::xdf::StdHooks h;
  h.build_primary = copy_prim_keys;
  h.build_info = noop_info_keys;
  h.record_filter = with_filter ? counting_filter : nullptr;
  zep::xdf::register_std_hooks(h);
}
inline void use_generic_builders() { zep::xdf::register_std_hooks(zep::xdf::StdHooks{}); }

inline int bind(int iun, const std::string &path, const char *attr) {
  return c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(iun)), path.c_str(), attr, 0);
}

// A unit bound and opened, closed and released at the end of the scope.
class OpenUnit {
 public:
  OpenUnit(int iun, const std::string &path, const char *attr, const char *mode,
           const char *appl = "STDR")
      : iun_(iun) {
    bound_ = bind(iun, path, attr) == 0;
    if (bound_) {
      StdKeys k;
      result_ = c_xdfopn(iun, mode, k.pri, 16, k.aux, 2, appl);
    }
  }
  ~OpenUnit() { close(); }
  void close() {
    if (result_ >= 0 && !closed_) c_xdfcls(iun_);
    closed_ = true;
    if (bound_) c_fclos(iun_);
    bound_ = false;
  }
  int result() const { return result_; }
  int iun() const { return iun_; }
  zep::xdf::FileEntry &entry() const { return *zep::xdf::open_entry(zep::xdf::file_index(iun_)); }

 private:
  int iun_;
  bool bound_ = false;
  bool closed_ = false;
  int result_ = -999;
};

// Record buffer with room for `image_words` words of image.
inline std::vector<uint32_t> record_buffer(size_t image_words) {
  std::vector<uint32_t> b(9 + image_words, 0);
  b[0] = static_cast<uint32_t>(b.size());
  return b;
}

// Appends to an open unit a record whose 16 key words are i, i+1, ... and
// whose 4 data words are i. Returns c_xdfput's result.
inline int put_numbered_record(int iun, uint32_t i) {
  std::vector<uint32_t> buf = record_buffer(24);
  uint32_t keys[16];
  for (int k = 0; k < 16; ++k) keys[k] = i + static_cast<uint32_t>(k);
  int rc = c_xdfini(iun, buf.data(), 1, keys, 16, nullptr, 0);
  if (rc < 0) return rc;
  std::vector<uint32_t> data(4, i);
  rc = c_xdfadd(buf.data(), data.data(), 4, 32, 0);
  return rc < 0 ? rc : c_xdfput(iun, 0, buf.data());
}

}  // namespace xdf_test
