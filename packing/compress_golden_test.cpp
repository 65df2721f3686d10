// Cross-check against standard files written by another program of the
// family: every compressed float-packer and packed-real record of the
// reference files must expand, decode to the values of the reference
// document, and compress again to the very same words.
//
// Record layout used here: a record starts at unit address swa (byte
// (swa - 1) * 8); 20 words of keys precede the data. Data type 134: data[0]
// the words that follow, data[1..3] the float-packer header, the compressed
// stream from data[4]. Data type 129: data[1..4] the packed-real header, the
// stream from data[5].
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/big_endian.h"
#include "packing/compress.h"
#include "packing/float_packer.h"
#include "tests/golden_dir.h"

namespace zep::packing {
namespace {

using zep_test::golden_dir;

struct GoldenRecord {
  int ni = 0, nj = 0, nk = 0, nbits = 0, datyp = 0;
  long swa = 0, lng = 0;
  std::vector<std::string> values;
};

std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string tag(const std::string &rec, const std::string &name) {
  const std::string open = "<" + name + ">", close = "</" + name + ">";
  const size_t a = rec.find(open);
  const size_t b = rec.find(close, a);
  if (a == std::string::npos || b == std::string::npos) return "";
  return rec.substr(a + open.size(), b - a - open.size());
}

std::vector<GoldenRecord> parse_document(const std::string &xml) {
  std::vector<GoldenRecord> out;
  size_t pos = 0;
  while ((pos = xml.find("<vktrecord>", pos)) != std::string::npos) {
    const size_t end = xml.find("</vktrecord>", pos);
    const std::string rec = xml.substr(pos, end - pos);
    GoldenRecord r;
    r.ni = std::stoi(tag(rec, "ni"));
    r.nj = std::stoi(tag(rec, "nj"));
    r.nk = std::stoi(tag(rec, "nk"));
    r.nbits = std::stoi(tag(rec, "nbits"));
    r.datyp = std::stoi(tag(rec, "datyp"));
    r.swa = std::stol(tag(rec, "swa"));
    r.lng = std::stol(tag(rec, "lng"));
    std::istringstream vs(tag(rec, "values"));
    std::string v;
    while (vs >> v) r.values.push_back(v);
    out.push_back(r);
    pos = end;
  }
  return out;
}

// The data words of a record, in host order.
std::vector<uint32_t> record_data(const std::string &file, const GoldenRecord &r) {
  const size_t start = static_cast<size_t>(r.swa - 1) * 8 + 20 * 4;
  const size_t words = static_cast<size_t>(r.lng) - 20;  // lng counts words
  std::vector<uint32_t> out(words);
  for (size_t k = 0; k < words; ++k) out[k] = zep::load_be32(file.data() + start + 4 * k);
  return out;
}

std::string text(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(v));
  return buf;
}

// Expands, compresses again with `level` and compares the words; for the
// float-packer records also compares the decoded values.
void check_file(const std::string &name, int level, int *compressed_records) {
  const std::string xml = read_file(golden_dir() + name + ".xml");
  const std::string vkt = read_file(golden_dir() + name + ".vkt");
  ASSERT_FALSE(xml.empty() || vkt.empty()) << name;
  for (const GoldenRecord &r : parse_document(xml)) {
    SCOPED_TRACE(name + " record at " + std::to_string(r.swa));
    ASSERT_TRUE(r.datyp == 134 || r.datyp == 129);
    std::vector<uint32_t> data = record_data(vkt, r);
    const size_t n = static_cast<size_t>(r.ni) * r.nj * r.nk;
    const size_t hwords = r.datyp == 134 ? 3 : 4;
    const size_t stream_at = 1 + hwords;
    const bool compressed = r.ni > 1 && r.nj > 1;
    // data[0] counts the data words, itself included (the record length is
    // data[0] plus the 20 key words).
    ASSERT_EQ(data[0], data.size());
    std::vector<uint32_t> stream(data.begin() + stream_at, data.end());
    std::vector<uint32_t> work(std::max(stream.size(), (n + 1) / 2) + 2, 0);
    std::copy(stream.begin(), stream.end(), work.begin());
    if (compressed) {
      ++*compressed_records;
      ASSERT_EQ(expand_packed(work.data(), stream.size(), work.size(), r.ni, r.nj),
                PackStatus::kOk);
      // Compress the tokens again: same words, same record length.
      std::vector<uint32_t> again(work.begin(), work.begin() + (n + 1) / 2);
      again.resize(zip_max_words(r.ni, r.nj, kSampleType) + 8);
      size_t words = 0;
      ASSERT_EQ(compress_packed(again.data(), again.size(), r.ni, r.nj, r.nbits, level, &words),
                PackStatus::kOk);
      const int64_t c = zip_length_code(words);
      const int64_t extra = r.datyp == 134 ? 4 * 3 + 16 : 16;
      const int64_t expect_len = 2 * (((c + extra) * 8 + 63) / 64);
      EXPECT_EQ(static_cast<int64_t>(data[0]), expect_len);
      ASSERT_LE(words, stream.size());
      for (size_t k = 0; k < words; ++k) ASSERT_EQ(again[k], stream[k]) << "word " << k;
    }
    if (r.datyp != 134) continue;
    std::vector<float> values(n);
    ASSERT_EQ(float_unpack(data.data() + 1, work.data(), (n + 1) / 2, n, values.data(), n, nullptr),
              PackStatus::kOk);
    ASSERT_EQ(r.values.size(), n);
    for (size_t k = 0; k < n; ++k) ASSERT_EQ(text(values[k]), r.values[k]) << "value " << k;
  }
}

bool golden_available() { return !read_file(golden_dir() + "MANIFEST.txt").empty(); }

TEST(CompressGolden, MinimumMethodRecords) {
  if (!golden_available()) GTEST_SKIP() << "no reference files in " << golden_dir();
  int count = 0;
  check_file("compressed_packer", 0, &count);
  check_file("compressed_reals", 0, &count);
  EXPECT_GT(count, 30);
}

TEST(CompressGolden, SampleMethodRecords) {
  if (!golden_available()) GTEST_SKIP() << "no reference files in " << golden_dir();
  int count = 0;
  check_file("sample_packer", 1, &count);
  check_file("sample_reals", 1, &count);
  EXPECT_GT(count, 8);
}

TEST(FloatPackerGolden, UncompressedRecords) {
  const std::string xml = read_file(golden_dir() + "float_packer.xml");
  const std::string vkt = read_file(golden_dir() + "float_packer.vkt");
  if (xml.empty() || vkt.empty()) GTEST_SKIP() << "reference files not available";
  int checked = 0;
  for (const GoldenRecord &r : parse_document(xml)) {
    SCOPED_TRACE("record at " + std::to_string(r.swa));
    ASSERT_EQ(r.datyp, 6);
    const std::vector<uint32_t> data = record_data(vkt, r);
    const size_t n = static_cast<size_t>(r.ni) * r.nj * r.nk;
    std::vector<float> values(n);
    int nbits = 0;
    ASSERT_EQ(
        float_unpack(data.data(), data.data() + 3, data.size() - 3, n, values.data(), n, &nbits),
        PackStatus::kOk);
    EXPECT_EQ(nbits, r.nbits);
    ASSERT_EQ(r.values.size(), n);
    for (size_t k = 0; k < n; ++k) ASSERT_EQ(text(values[k]), r.values[k]) << "value " << k;
    ++checked;
  }
  EXPECT_GT(checked, 5);
}

}  // namespace
}  // namespace zep::packing
