// Helpers shared by the standard-file tests: the golden files, temporary
// copies with words changed in place, the records of a golden document, and
// a unit bound and opened for the length of a test.
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
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/big_endian.h"
#include "stdfile/descriptor.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "tests/golden_dir.h"
#include "tests/temp_dir.h"
#include "tests/xml_text.h"

namespace stdfile_test {

using zep_test::golden_dir;

inline bool have_golden(const std::string &name) {
  return access((golden_dir() + name).c_str(), R_OK) == 0;
}

#define SKIP_WITHOUT_GOLDEN(name)                                               \
  do {                                                                          \
    if (!stdfile_test::have_golden(name)) GTEST_SKIP() << "no golden " << name; \
  } while (0)

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

inline std::string read_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A random standard file in words (index 0 = word address 1): the header of
// 26 units, then the first directory page, 8 words and entries of 18 words.
struct StdImage {
  std::vector<uint32_t> w;
  static constexpr size_t kFirstPage = 52;

  size_t entry_at(int i) const { return kFirstPage + 8 + 18 * static_cast<size_t>(i); }
  // Word index of the data of the record of entry i (after its 20 key words).
  size_t data_at(int i) const { return 2 * static_cast<size_t>(w[entry_at(i) + 1]) - 2 + 20; }
  // Changes word `k` of entry i, in the entry and in the record's own copy,
  // keeping the page checksum sound.
  void set_entry_word(int i, int k, uint32_t value) {
    const size_t at = entry_at(i) + static_cast<size_t>(k);
    w[kFirstPage + 6] ^= w[at] ^ value;
    w[at] = value;
    w[2 * static_cast<size_t>(w[entry_at(i) + 1]) - 2 + static_cast<size_t>(k)] = value;
  }
};

// One record of a golden document: its element texts and value tokens.
struct GoldenRecord {
  std::map<std::string, std::string> fields;
  std::vector<std::string> values;
  int num(const std::string &tag) const { return std::stoi(fields.at(tag)); }
};

inline std::vector<GoldenRecord> golden_records(const std::string &name) {
  const std::string doc = read_text(golden_dir() + name + ".xml");
  std::vector<GoldenRecord> records;
  size_t pos = 0;
  while ((pos = doc.find("<vktrecord>", pos)) != std::string::npos) {
    const size_t end = doc.find("</vktrecord>", pos);
    const std::string rec = doc.substr(pos, end - pos);
    GoldenRecord r;
    for (const char *tag : {"nomvar", "typvar", "etiket", "ip1",    "ip2",    "ip3",    "ni",
                            "nj",     "nk",     "dateo",  "datev",  "deet",   "npas",   "grtyp",
                            "ig1",    "ig2",    "ig3",    "ig4",    "nbits",  "datyp",  "swa",
                            "lng",    "dltf",   "ubc",    "extra1", "extra2", "extra3", "level"}) {
      const std::string open = std::string("<") + tag + ">";
      const std::string close = std::string("</") + tag + ">";
      const size_t a = rec.find(open);
      if (a == std::string::npos) continue;
      const size_t b = rec.find(close, a);
      r.fields[tag] = zep_test::xml_unescape(rec.substr(a + open.size(), b - a - open.size()));
    }
    const size_t v = rec.find("<values>");
    const size_t ve = rec.find("</values>");
    std::istringstream in(rec.substr(v + 8, ve - v - 8));
    std::string token;
    while (in >> token) r.values.push_back(token);
    records.push_back(r);
    pos = end;
  }
  return records;
}

// The 18-word entry of a golden record (the stored stamp is extra1).
inline std::vector<uint32_t> entry_of(const GoldenRecord &r) {
  zep::stdfile::Descriptor d;
  d.nbits = r.num("nbits");
  d.deet = r.num("deet");
  d.ni = r.num("ni");
  d.nj = r.num("nj");
  d.nk = r.num("nk");
  d.datyp = r.num("datyp");
  d.ubc = r.num("ubc");
  d.npas = r.num("npas");
  d.ig1 = r.num("ig1");
  d.ig2 = r.num("ig2");
  d.ig3 = r.num("ig3");
  d.ig4 = r.num("ig4");
  d.ip1 = r.num("ip1");
  d.ip2 = r.num("ip2");
  d.ip3 = r.num("ip3");
  d.datev = r.num("extra1");
  const std::string &g = r.fields.at("grtyp");
  d.grtyp = g.empty() ? '\0' : g[0];
  d.etiket = r.fields.at("etiket");
  d.typvar = r.fields.at("typvar");
  d.nomvar = r.fields.at("nomvar");
  std::vector<uint32_t> e(zep::stdfile::kEntryWords, 0);
  d.to_entry(e.data());
  return e;
}

// "%12.6g" of a value, without the padding: the token the document holds.
inline std::string value_token(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

// Binds `iun` to `path` with "RND+R/O" and opens it as a standard file for
// the life of the object.
class OpenUnit {
 public:
  OpenUnit(int iun, const std::string &path, const char *attributes = "RND+R/O",
           const char *options = "RND")
      : iun_(iun) {
    bound_ = c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(iun)), path.c_str(), attributes,
                    0) == 0;
    status_ = bound_ ? c_vktouv(iun, options) : -1;
  }
  ~OpenUnit() {
    if (status_ >= 0) c_vktfrm(iun_);
    if (bound_) c_fclos(iun_);
  }
  int status() const { return status_; }
  int iun() const { return iun_; }

 private:
  int iun_;
  bool bound_ = false;
  int status_ = -1;
};

// Keeps the layer quiet (message level FATALE, tolerance CATAST) for a test
// and restores the defaults after it.
class QuietLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    zep::xdf::settings().msg_level = 4;
    zep::xdf::settings().xdf_toler = 6;
  }
  void TearDown() override {
    zep::xdf::settings().msg_level = 1;
    zep::xdf::settings().xdf_toler = 3;
  }
};

}  // namespace stdfile_test
