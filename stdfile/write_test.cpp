// Records written with c_vktecr and read back with c_vktluk and c_vktprm:
// every datyp, the stored descriptors, rewrite, erase, checkpoint, the
// datyp adjustments and the refusals.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "stdfile/options.h"
#include "stdfile/write.h"
#include "xdf/table.h"
#include "zep/coding.h"
#include "zep/io.h"
#include "zep/packing.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"
#include "common/bit_cast.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

constexpr int kDate = 355847200;  // a valid stamp (new form)

// Descriptors of a record as c_vktprm returns them.
struct Prm {
  int dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3;
  int ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, extra1, extra2, extra3;
  char typvar[3] = "  ", nomvar[5] = "    ", etiket[13] = "            ", grtyp[2] = " ";
};

Prm prm_of(int handle) {
  Prm p{};
  std::strcpy(p.typvar, "  ");
  std::strcpy(p.nomvar, "    ");
  std::strcpy(p.etiket, "            ");
  std::strcpy(p.grtyp, " ");
  const int r =
      c_vktprm(handle, &p.dateo, &p.deet, &p.npas, &p.ni, &p.nj, &p.nk, &p.nbits, &p.datyp, &p.ip1,
               &p.ip2, &p.ip3, p.typvar, p.nomvar, p.etiket, p.grtyp, &p.ig1, &p.ig2, &p.ig3,
               &p.ig4, &p.swa, &p.lng, &p.dltf, &p.ubc, &p.extra1, &p.extra2, &p.extra3);
  EXPECT_EQ(r, handle);
  return p;
}

class WriteTest : public testing::Test {
 protected:
  void SetUp() override {
    // Keep FATAL ERROR reports returning (the second writer's refusal) and
    // the read and write traces quiet.
    c_vktopc("TOLRNC", "SYSTEM", 0);
    c_vktopc("MSGLVL", "WARNIN", 0);
    path_ = testing::TempDir() + "zep_write_" +
            testing::UnitTest::GetInstance()->current_test_info()->name() + ".vkt";
    std::remove(path_.c_str());
    open(kUnit, "RND");
  }
  void TearDown() override {
    close(kUnit);
    std::remove(path_.c_str());
    zep::stdfile::options().extra_compression = 0;
    zep::stdfile::options().image_mode_copy = 0;
  }

  void open(int unit, const char *attrs) {
    int u = unit;
    ASSERT_EQ(c_fnom(&u, path_.c_str(), attrs, 0), 0);
    ASSERT_GE(c_vktouv(unit, "RND"), 0);
  }
  void close(int unit) {
    c_vktfrm(unit);
    c_fclos(unit);
  }

  // Writes `field` under nomvar `name` (ip1 distinguishes records).
  int write(const void *field, int npak, int datyp, int ni, int nj, int nk, const char *name,
            int ip1 = 0, int date = kDate, int rewrit = 0) {
    return c_vktecr(const_cast<void *>(field), nullptr, npak, kUnit, date, 300, 12, ni, nj, nk, ip1,
                    0, 0, "P", name, "WRITETEST", "Z", 1, 2, 3, 4, datyp, rewrit);
  }

  int find(const char *name, int ip1 = -1) {
    int ni, nj, nk;
    return c_vktinf(kUnit, &ni, &nj, &nk, -1, "", ip1, -1, -1, "", name);
  }

  int count_records() {
    int ni, nj, nk, n = 0;
    for (int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
         h = c_vktsui(kUnit, &ni, &nj, &nk)) {
      ++n;
    }
    return n;
  }

  // Reads the record of `name` into `out` (room for `words` words).
  int read(const char *name, void *out, int ip1 = -1) {
    const int h = find(name, ip1);
    if (h < 0) return h;
    int ni, nj, nk;
    return c_vktluk(out, h, &ni, &nj, &nk);
  }

  zep::xdf::FileEntry &entry() { return *zep::xdf::open_entry(zep::xdf::file_index(kUnit)); }

  static constexpr int kUnit = 31;
  std::string path_;
};

std::vector<float> smooth_field(int n, float offset, float scale) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) v[i] = offset + scale * std::sin(0.37f * i) + 0.01f * i;
  return v;
}

// A field that varies slowly from point to point, as the compressor likes.
std::vector<float> gentle_field(int ni, int nj, float offset, float scale) {
  std::vector<float> v(static_cast<size_t>(ni) * nj);
  for (int j = 0; j < nj; ++j)
    for (int i = 0; i < ni; ++i)
      v[i + static_cast<size_t>(ni) * j] =
          offset + scale * std::sin(0.02f * i) * std::cos(0.03f * j);
  return v;
}

double spread(const std::vector<float> &v) {
  float lo = v[0], hi = v[0];
  for (float x : v) lo = std::min(lo, x), hi = std::max(hi, x);
  return static_cast<double>(hi) - lo;
}

double max_abs(const std::vector<float> &v) {
  double m = 0;
  for (float x : v) m = std::max(m, std::fabs(static_cast<double>(x)));
  return m;
}

// Packed reals: each value within one quantisation step of 2^e / 2^nbits
// (2^e at most twice the spread), plus the float rounding of the result.
void expect_packed_reals(const std::vector<float> &in, const std::vector<float> &out, int nbits,
                         const char *what) {
  const double tol = 2 * spread(in) / std::ldexp(1.0, nbits) + 2e-7 * max_abs(in);
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_NEAR(out[i], in[i], tol) << what << " nbits " << nbits << " value " << i;
  }
}

// Float packer: values brought to the exponent of the largest magnitude and
// quantised on nbits bits, rounded.
void expect_float_packer(const std::vector<float> &in, const std::vector<float> &out, int nbits,
                         const char *what) {
  const double tol = 2 * spread(in) / (std::ldexp(1.0, nbits) - 1) + 4 * max_abs(in) * 0x1p-23;
  for (size_t i = 0; i < in.size(); ++i) {
    ASSERT_NEAR(out[i], in[i], tol) << what << " nbits " << nbits << " value " << i;
  }
}

TEST_F(WriteTest, PackedRealsEveryWidth) {
  const int ni = 13, nj = 7;
  const auto in = smooth_field(ni * nj, -40.0f, 25.0f);
  for (int nbits = 1; nbits <= 32; ++nbits) {
    ASSERT_GE(write(in.data(), -nbits, 1, ni, nj, 1, "R1", nbits), 0);
  }
  for (int nbits = 1; nbits <= 32; ++nbits) {
    std::vector<float> out(in.size(), -1.0f);
    const int h = find("R1", nbits);
    ASSERT_GT(h, 0);
    const Prm p = prm_of(h);
    EXPECT_EQ(p.datyp, 1);
    EXPECT_EQ(p.nbits, nbits);
    int a, b, c;
    ASSERT_EQ(c_vktluk(out.data(), h, &a, &b, &c), h);
    EXPECT_EQ(a, ni);
    EXPECT_EQ(b, nj);
    EXPECT_EQ(c, 1);
    expect_packed_reals(in, out, nbits, "datyp 1");
  }
}

TEST_F(WriteTest, PackedRealsFromDoubles) {
  std::vector<double> in(60);
  std::vector<float> as_float(60);
  for (int i = 0; i < 60; ++i) as_float[i] = static_cast<float>(in[i] = 1000.0 + 3.25 * i);
  ASSERT_GE(write(in.data(), -16, 801, 6, 10, 1, "R8"), 0);
  const int h = find("R8");
  EXPECT_EQ(prm_of(h).datyp, 1);
  std::vector<float> out(60);
  ASSERT_GT(read("R8", out.data()), 0);
  expect_packed_reals(as_float, out, 16, "datyp 801");
}

TEST_F(WriteTest, CompressedRealsAndFloatPacker) {
  const int ni = 23, nj = 17;
  const auto in = gentle_field(ni, nj, 280.0f, 12.0f);
  for (int nbits = 1; nbits <= 16; ++nbits) {
    ASSERT_GE(write(in.data(), -nbits, 129, ni, nj, 1, "C1", nbits), 0);
    ASSERT_GE(write(in.data(), -nbits, 6, ni, nj, 1, "F6", nbits), 0);
    ASSERT_GE(write(in.data(), -nbits, 134, ni, nj, 1, "C6", nbits), 0);
  }
  for (int nbits = 1; nbits <= 16; ++nbits) {
    std::vector<float> out(in.size());
    ASSERT_GT(read("C1", out.data(), nbits), 0);
    EXPECT_EQ(prm_of(find("C1", nbits)).datyp, 129);
    expect_packed_reals(in, out, nbits, "datyp 129");
    ASSERT_GT(read("F6", out.data(), nbits), 0);
    EXPECT_EQ(prm_of(find("F6", nbits)).datyp, 6);
    expect_float_packer(in, out, nbits, "datyp 6");
    ASSERT_GT(read("C6", out.data(), nbits), 0);
    EXPECT_EQ(prm_of(find("C6", nbits)).datyp, 134);
    expect_float_packer(in, out, nbits, "datyp 134");
  }
}

TEST_F(WriteTest, CompressedFormsOfOnePointWideGrids) {
  // The compressor leaves such grids as they are: the record must still
  // hold every value, sized from the words actually stored.
  const auto in = smooth_field(15, 5.0f, 2.0f);
  ASSERT_GE(write(in.data(), -12, 129, 1, 15, 1, "W1"), 0);
  ASSERT_GE(write(in.data(), -16, 134, 15, 1, 1, "W6"), 0);
  std::vector<float> out(15);
  ASSERT_GT(read("W1", out.data()), 0);
  expect_packed_reals(in, out, 12, "datyp 129, ni 1");
  ASSERT_GT(read("W6", out.data()), 0);
  expect_float_packer(in, out, 16, "datyp 134, nj 1");
  // 20 key words, then data[0], the 4-word header and 8 words of slots,
  // the count rounded to an even number of words.
  const Prm p = prm_of(find("W1"));
  EXPECT_EQ(p.datyp, 129);
  EXPECT_EQ(p.lng, 20 + 2 * (((4 * 8 + 1 + 16) * 8 + 63) / 64));
}

TEST_F(WriteTest, CompressedRecordsOfSeveralLevelsKeepEveryLevel) {
  const int ni = 9, nj = 8, nk = 3;
  const auto in = smooth_field(ni * nj * nk, 10.0f, 4.0f);
  ASSERT_GE(write(in.data(), -12, 129, ni, nj, nk, "K1"), 0);
  ASSERT_GE(write(in.data(), -12, 134, ni, nj, nk, "K6"), 0);
  EXPECT_EQ(prm_of(find("K1")).datyp, 1);
  EXPECT_EQ(prm_of(find("K6")).datyp, 6);
  std::vector<float> out(in.size());
  ASSERT_GT(read("K1", out.data()), 0);
  expect_packed_reals(in, out, 12, "datyp 129, nk 3");
  ASSERT_GT(read("K6", out.data()), 0);
  expect_float_packer(in, out, 12, "datyp 134, nk 3");
}

TEST_F(WriteTest, NoisyFieldThatDoesNotCompressIsWrittenWhole) {
  // Random 16-bit tokens cost more compressed than packed: the record goes
  // uncompressed rather than past its room.
  const int ni = 100, nj = 100;
  std::vector<float> in(ni * nj);
  uint32_t s = 12345;
  for (float &v : in) {
    s = s * 1103515245u + 12345u;
    v = static_cast<float>((s >> 8) & 0xFFFF);
  }
  ASSERT_GE(write(in.data(), -16, 129, ni, nj, 1, "NZ"), 0);
  const Prm p = prm_of(find("NZ"));
  EXPECT_EQ(p.datyp, 1);
  std::vector<float> out(in.size());
  ASSERT_GT(read("NZ", out.data()), 0);
  expect_packed_reals(in, out, 16, "noise");
}

TEST_F(WriteTest, IntegersExact) {
  const int n = 40;
  for (int nbits = 1; nbits <= 32; ++nbits) {
    std::vector<uint32_t> u(n);
    std::vector<int32_t> sgn(n);
    const uint64_t top = (uint64_t{1} << nbits) - 1;
    const int64_t smin = -(int64_t{1} << (nbits - 1));
    const int64_t smax = (int64_t{1} << (nbits - 1)) - 1;
    for (int i = 0; i < n; ++i) {
      u[i] = static_cast<uint32_t>(i == 0 ? top : (uint64_t{2654435761u} * i) & top);
      sgn[i] = static_cast<int32_t>(i % 2 ? smin + (i * 7919 % (smax - smin + 1)) : smax);
    }
    sgn[1] = static_cast<int32_t>(smin);
    ASSERT_GE(write(u.data(), -nbits, 2, 8, 5, 1, "IU", nbits), 0);
    ASSERT_GE(write(sgn.data(), -nbits, 4, 4, 5, 2, "IS", nbits), 0);
    std::vector<uint32_t> ou(n);
    std::vector<int32_t> os(n);
    ASSERT_GT(read("IU", ou.data(), nbits), 0);
    ASSERT_GT(read("IS", os.data(), nbits), 0);
    EXPECT_EQ(ou, u) << "unsigned, nbits " << nbits;
    EXPECT_EQ(os, sgn) << "signed, nbits " << nbits;
  }
}

TEST_F(WriteTest, CharactersReadBackInTheirOrder) {
  // ni*nj*nk characters are stored, several levels included.
  const char text[] = "The quick brown fox!";  // 20 characters
  ASSERT_GE(write(text, -1, 3, 5, 2, 2, "CH"), 0);
  const Prm p = prm_of(find("CH"));
  EXPECT_EQ(p.datyp, 3);
  EXPECT_EQ(p.nbits, 8);
  char out[24] = {};
  ASSERT_GT(read("CH", out), 0);
  EXPECT_EQ(std::string(out, 20), std::string(text, 20));
}

TEST_F(WriteTest, IeeeValues) {
  std::vector<float> in = {1.0f, -0.0f, 1.5f, 3.4e38f, 1e-40f, -7.25f, INFINITY, 1.0000001f};
  in.push_back(zep::float_from_bits(0x7FC00123u));
  const int n = static_cast<int>(in.size());
  ASSERT_GE(write(in.data(), -32, 5, n, 1, 1, "E32"), 0);
  ASSERT_GE(write(in.data(), -16, 5, n, 1, 1, "E16"), 0);
  std::vector<uint32_t> out(n);
  ASSERT_GT(read("E32", out.data()), 0);
  EXPECT_EQ(std::memcmp(out.data(), in.data(), 4 * n), 0);
  ASSERT_GT(read("E16", out.data()), 0);
  for (int i = 0; i < n; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &in[i], 4);
    EXPECT_EQ(out[i], bits & 0xFFFF0000u) << i;
  }
  std::vector<double> d = {1.0 / 3.0, -2.5e300, 0.0, 6.02214076e23, -1e-310};
  ASSERT_GE(write(d.data(), -64, 5, 5, 1, 1, "E64"), 0);
  EXPECT_EQ(prm_of(find("E64")).nbits, 64);
  std::vector<double> od(5);
  ASSERT_GT(read("E64", od.data()), 0);
  EXPECT_EQ(od, d);
}

TEST_F(WriteTest, RawWords) {
  // npak 0 writes datyp 0 on 32 bits whatever datyp was asked.
  std::vector<uint32_t> in = {0xDEADBEEFu, 0u, 0xFFFFFFFFu, 0x7FC00000u, 1u};
  ASSERT_GE(write(in.data(), 0, 1, 5, 1, 1, "X0"), 0);
  Prm p = prm_of(find("X0"));
  EXPECT_EQ(p.datyp, 0);
  EXPECT_EQ(p.nbits, 32);
  std::vector<uint32_t> out(5);
  ASSERT_GT(read("X0", out.data()), 0);
  EXPECT_EQ(out, in);
  // 10 elements of 12 bits: 4 words copied unchanged.
  std::vector<uint32_t> packed = {0x12345678u, 0x9ABCDEF0u, 0x0F1E2D3Cu, 0x4B5A0000u};
  ASSERT_GE(write(packed.data(), -12, 0, 10, 1, 1, "X12"), 0);
  std::vector<uint32_t> back(10, 0xAAAAAAAAu);
  ASSERT_GT(read("X12", back.data()), 0);
  EXPECT_EQ(std::vector<uint32_t>(back.begin(), back.begin() + 4), packed);
}

TEST_F(WriteTest, StoredDescriptors) {
  std::vector<float> f(6, 1.0f);
  ASSERT_GE(c_vktecr(f.data(), nullptr, -16, kUnit, kDate, 3600, 6, 3, 2, 1, 12000, 7, 9, "p", "tt",
                     "label", "G", 11, 70000, 13, 16777215, 1, 0),
            0);
  const int h = find("TT");
  ASSERT_GT(h, 0);
  const Prm p = prm_of(h);
  EXPECT_EQ(p.ig1, 11);
  EXPECT_EQ(p.ig2, 70000);
  EXPECT_EQ(p.ig3, 13);
  EXPECT_EQ(p.ig4, 16777215);
  EXPECT_EQ(p.ip1, 12000);
  EXPECT_EQ(p.ip2, 7);
  EXPECT_EQ(p.ip3, 9);
  EXPECT_EQ(p.deet, 3600);
  EXPECT_EQ(p.npas, 6);
  EXPECT_EQ(p.ubc, 0);
  EXPECT_STREQ(p.nomvar, "TT  ");
  EXPECT_STREQ(p.typvar, "P ");
  EXPECT_STREQ(p.etiket, "LABEL       ");
  EXPECT_STREQ(p.grtyp, "G");
  // The stored stamp is the valid one, six hours after the origin.
  int valid = 0, origin = kDate;
  double hours = 6.0;
  incdatr_(&valid, &origin, &hours);
  EXPECT_EQ(p.extra1, valid);
  EXPECT_EQ(p.dateo, kDate);
  // nk 0 is stored as 1.
  ASSERT_GE(write(f.data(), -16, 1, 3, 2, 0, "NK0"), 0);
  EXPECT_EQ(prm_of(find("NK0")).nk, 1);
}

TEST_F(WriteTest, LargeDeetTimesNpasDoesNotOverflow) {
  // 16777215 x 16777215 seconds overflows 32 bits; the stamp must still
  // move forward.
  std::vector<float> f(4, 2.0f);
  ASSERT_GE(c_vktecr(f.data(), nullptr, -16, kUnit, kDate, 86400, 1000, 2, 2, 1, 1, 0, 0, "P", "DT",
                     "", "X", 0, 0, 0, 0, 1, 0),
            0);
  const Prm p = prm_of(find("DT"));
  int valid = 0, origin = kDate;
  double hours = 86400.0 * 1000 / 3600.0;
  incdatr_(&valid, &origin, &hours);
  EXPECT_EQ(p.extra1, valid);
  EXPECT_NE(p.extra1, kDate);
}

TEST_F(WriteTest, RewriteReplacesTheRecordWhateverItsDate) {
  std::vector<float> a(20, 1.0f), b(20, 2.0f);
  ASSERT_GE(write(a.data(), -16, 1, 4, 5, 1, "RW", 5, kDate), 0);
  ASSERT_GE(write(a.data(), -16, 1, 4, 5, 1, "RW", 6, kDate), 0);
  int later = 0, origin = kDate;
  double hours = 24.0;
  incdatr_(&later, &origin, &hours);
  ASSERT_GE(write(b.data(), -16, 1, 4, 5, 1, "RW", 5, later, 1), 0);
  EXPECT_EQ(count_records(), 2);
  const int h = find("RW", 5);
  EXPECT_EQ(prm_of(h).dateo, later);
  std::vector<float> out(20);
  ASSERT_GT(read("RW", out.data(), 5), 0);
  EXPECT_EQ(out, b);
  // Without rewrit the same descriptors make a second record.
  ASSERT_GE(write(b.data(), -16, 1, 4, 5, 1, "RW", 6, later, 0), 0);
  EXPECT_EQ(count_records(), 3);
}

TEST_F(WriteTest, EraseRemovesTheRecord) {
  std::vector<float> a(4, 1.0f);
  ASSERT_GE(write(a.data(), -16, 1, 2, 2, 1, "E1"), 0);
  ASSERT_GE(write(a.data(), -16, 1, 2, 2, 1, "E2"), 0);
  const int h = find("E1");
  ASSERT_GT(h, 0);
  EXPECT_EQ(c_vkteff(h), 0);
  EXPECT_LT(find("E1"), 0);
  EXPECT_GT(find("E2"), 0);
  EXPECT_EQ(count_records(), 1);
  CaptureStderr();
  EXPECT_EQ(c_vkteff(h), -11);  // already deleted
  GetCapturedStderr();
  CaptureStderr();
  EXPECT_EQ(c_vkteff(0), -9);
  EXPECT_EQ(c_vkteff(0x7F), -9);
  EXPECT_NE(GetCapturedStderr().find("invalid handle=0"), std::string::npos);
}

TEST_F(WriteTest, CheckpointKeepsTheFileOpenAndRefusesASecondWriter) {
  std::vector<float> a(4, 3.0f);
  ASSERT_GE(write(a.data(), -16, 1, 2, 2, 1, "CK"), 0);
  EXPECT_EQ(c_vktckp(kUnit), 0);
  EXPECT_EQ(zep::xdf::settings().xdf_checkpoint, 0);
  // Still open: a second record goes in.
  ASSERT_GE(write(a.data(), -16, 1, 2, 2, 1, "CK", 1), 0);

  // A reader sees what the checkpoint flushed.
  int reader = 32;
  ASSERT_EQ(c_fnom(&reader, path_.c_str(), "RND+R/O", 0), 0);
  EXPECT_GE(c_vktouv(reader, "RND"), 0);
  int ni, nj, nk;
  EXPECT_GT(c_vktinf(reader, &ni, &nj, &nk, -1, "", 0, -1, -1, "", "CK"), 0);
  close(reader);

  // A second writer is refused.
  int writer = 33;
  ASSERT_EQ(c_fnom(&writer, path_.c_str(), "RND", 0), 0);
  CaptureStderr();
  EXPECT_LT(c_vktouv(writer, "RND"), 0);
  EXPECT_NE(GetCapturedStderr().find("currently used by another application in write mode"),
            std::string::npos);
  close(writer);

  EXPECT_EQ(c_vktckp(999), -29);
}

TEST_F(WriteTest, ExtraCompressionOnlyForPackedReals) {
  zep::stdfile::options().extra_compression = 128;
  const auto in = smooth_field(30, 1.0f, 1.0f);
  std::vector<uint32_t> ints(30, 7);
  ASSERT_GE(write(in.data(), -12, 1, 6, 5, 1, "V12"), 0);
  ASSERT_GE(write(in.data(), -24, 1, 6, 5, 1, "V24"), 0);
  const std::vector<float> flat(30, 2.5f);
  ASSERT_GE(write(flat.data(), -16, 6, 6, 5, 1, "V6"), 0);
  ASSERT_GE(write(ints.data(), -8, 2, 6, 5, 1, "VI"), 0);
  ASSERT_GE(write(in.data(), -32, 5, 6, 5, 1, "VE"), 0);
  EXPECT_EQ(prm_of(find("V12")).datyp, 129);
  EXPECT_EQ(prm_of(find("V24")).datyp, 1);
  EXPECT_EQ(prm_of(find("V6")).datyp, 134);
  EXPECT_EQ(prm_of(find("VI")).datyp, 2);
  EXPECT_EQ(prm_of(find("VE")).datyp, 5);
  std::vector<float> out(30);
  ASSERT_GT(read("V12", out.data()), 0);
  expect_packed_reals(in, out, 12, "VKT_COMPRESS");
}

TEST_F(WriteTest, FloatPackerBeyond16BitsWarns) {
  const auto in = smooth_field(12, 100.0f, 3.0f);
  CaptureStderr();
  ASSERT_GE(write(in.data(), -20, 6, 4, 3, 1, "F20"), 0);
  ASSERT_GE(write(in.data(), -32, 6, 4, 3, 1, "F32"), 0);
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("c_vktecr WARNING: nbits > 16, writing R20 instead of F20\n"),
            std::string::npos);
  EXPECT_NE(err.find("c_vktecr WARNING: nbits > 16, writing E32 instead of F32\n"),
            std::string::npos);
  Prm p = prm_of(find("F20"));
  EXPECT_EQ(p.datyp, 1);
  EXPECT_EQ(p.nbits, 20);
  p = prm_of(find("F32"));
  EXPECT_EQ(p.datyp, 5);
  EXPECT_EQ(p.nbits, 32);
  std::vector<float> out(12);
  ASSERT_GT(read("F32", out.data()), 0);
  EXPECT_EQ(out, in);
}

TEST_F(WriteTest, RefusalsLeaveTheFileUnchanged) {
  std::vector<float> f(64, 1.0f);
  ASSERT_GE(write(f.data(), -16, 1, 4, 4, 1, "OK"), 0);
  const uint32_t size_before = entry().header.file_size;
  const uint32_t valid_before = entry().header.valid_count;
  const auto expect_refused = [&](int code, const std::string &message, auto &&call) {
    CaptureStderr();
    EXPECT_EQ(call(), code) << message;
    EXPECT_NE(GetCapturedStderr().find(message), std::string::npos) << message;
    EXPECT_EQ(entry().header.file_size, size_before) << message;
    EXPECT_EQ(entry().header.valid_count, valid_before) << message;
  };
  const auto ecr = [&](int npak, int ni, int nj, int nk, int deet, int npas, int ip1, int ip2,
                       int ip3, int ig1, int ig2, int ig3, int ig4, int datyp) {
    return [=, &f] {
      return c_vktecr(f.data(), nullptr, npak, kUnit, kDate, deet, npas, ni, nj, nk, ip1, ip2, ip3,
                      "P", "BAD", "", "X", ig1, ig2, ig3, ig4, datyp, 0);
    };
  };
  expect_refused(-36, "ni = 0 must be between 1 and 16777215",
                 ecr(-16, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1));
  expect_refused(-36, "nj = 16777216 must be between 1 and 16777215",
                 ecr(-16, 1, 16777216, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1));
  expect_refused(-36, "nk = 1048576 must be between 1 and 1048575",
                 ecr(-16, 1, 1, 1048576, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1));
  expect_refused(-36, "deet = -1 must be between 0 and 16777215",
                 ecr(-16, 1, 1, 1, -1, 0, 0, 0, 0, 0, 0, 0, 0, 1));
  expect_refused(-36, "npas = 16777216 must be between 0 and 16777215",
                 ecr(-16, 1, 1, 1, 0, 16777216, 0, 0, 0, 0, 0, 0, 0, 1));
  expect_refused(-36, "nbits = 65 must be between 1 and 64",
                 ecr(-65, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5));
  expect_refused(-36, "ig1 = -1 must be between 0 and 16777215",
                 ecr(-16, 1, 1, 1, 0, 0, 0, 0, 0, -1, 0, 0, 0, 1));
  expect_refused(-36, "ig3 = 16777216 must be between 0 and 16777215",
                 ecr(-16, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 16777216, 0, 1));
  expect_refused(-36, "ip2 = 268435456 must be between 0 and 268435455",
                 ecr(-16, 1, 1, 1, 0, 0, 0, 268435456, 0, 0, 0, 0, 0, 1));
  expect_refused(-36, "ip3 = -2 must be between 0 and 268435455",
                 ecr(-16, 1, 1, 1, 0, 0, 0, 0, -2, 0, 0, 0, 0, 1));
  // datyp 1 packs at most 32 bits: more would store nothing.
  expect_refused(-36, "nbits = 40 must be between 1 and 32",
                 ecr(-40, 4, 4, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1));
  expect_refused(-16, "(unit=31) invalid datyp=7", ecr(-16, 4, 4, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7));
  // A record longer than the directory's 24-bit length field.
  expect_refused(-36, "record length",
                 ecr(-32, 16777215, 16777215, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(count_records(), 1);
}

TEST_F(WriteTest, UnitChecks) {
  std::vector<float> f(4, 1.0f);
  CaptureStderr();
  EXPECT_EQ(c_vktecr(f.data(), nullptr, -16, 77, kDate, 0, 0, 2, 2, 1, 0, 0, 0, "P", "A", "", "X",
                     0, 0, 0, 0, 1, 0),
            -29);
  int bound = 34;
  ASSERT_EQ(c_fnom(&bound, path_.c_str(), "RND", 0), 0);
  EXPECT_EQ(c_vktecr(f.data(), nullptr, -16, bound, kDate, 0, 0, 2, 2, 1, 0, 0, 0, "P", "A", "",
                     "X", 0, 0, 0, 0, 1, 0),
            -1);
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("file (unit=77) is not connected with fnom"), std::string::npos);
  EXPECT_NE(err.find("file (unit=34) is not open"), std::string::npos);
  c_fclos(bound);
}

TEST_F(WriteTest, ReadOnlyUnitRefused) {
  std::vector<float> f(4, 1.0f);
  ASSERT_GE(write(f.data(), -16, 1, 2, 2, 1, "RO"), 0);
  close(kUnit);
  open(kUnit, "RND+R/O");
  CaptureStderr();
  EXPECT_EQ(write(f.data(), -16, 1, 2, 2, 1, "RO"), -7);
  EXPECT_NE(GetCapturedStderr().find("file (unit=31) not open with write permission"),
            std::string::npos);
}

TEST_F(WriteTest, WriteListingLine) {
  std::vector<float> f(4, 1.0f);
  c_vktopc("MSGLVL", "INFORM", 0);
  CaptureStdout();
  ASSERT_GE(write(f.data(), -12, 1, 2, 2, 1, "LS"), 0);
  const std::string out = GetCapturedStdout();
  c_vktopc("MSGLVL", "WARNIN", 0);
  EXPECT_EQ(out.rfind("Write(31)", 0), 0u) << out;
  EXPECT_NE(out.find("LS"), std::string::npos);
  EXPECT_NE(out.find("R12"), std::string::npos);
}

// The Write trace follows every attempt that reaches the directory layer,
// the refused ones too: the listing shows what was tried.
TEST_F(WriteTest, WriteListingLineOfARefusedWrite) {
  std::vector<float> f(4, 1.0f);
  ASSERT_GE(write(f.data(), -12, 1, 2, 2, 1, "LS"), 0);
  close(kUnit);
  // A random file opened as a sequential one is read only below this layer.
  int u = kUnit;
  ASSERT_EQ(c_fnom(&u, path_.c_str(), "RND+SEQ", 0), 0);
  ASSERT_GE(c_vktouv(kUnit, "SEQ"), 0);
  c_vktopc("MSGLVL", "INFORM", 0);
  CaptureStderr();
  CaptureStdout();
  const int rc = write(f.data(), -12, 1, 2, 2, 1, "NO");
  const std::string out = GetCapturedStdout();
  GetCapturedStderr();
  c_vktopc("MSGLVL", "WARNIN", 0);
  EXPECT_LT(rc, 0);
  EXPECT_NE(out.find("Write(31)"), std::string::npos) << out;
  EXPECT_NE(out.find("NO"), std::string::npos) << out;
}

// The count of an open unit is the directory as it stands: records written
// since the open are counted, erased ones too.
TEST_F(WriteTest, CountOfAnOpenUnitFollowsItsWrites) {
  EXPECT_EQ(c_vktnbr(kUnit), 0);
  std::vector<float> f(4, 2.0f);
  for (int i = 0; i < 3; ++i) ASSERT_GE(write(f.data(), -16, 1, 2, 2, 1, "NB", i), 0);
  EXPECT_EQ(c_vktnbr(kUnit), 3);
  ASSERT_EQ(c_vkteff(find("NB", 1)), 0);
  EXPECT_EQ(c_vktnbr(kUnit), 3);
  close(kUnit);
  EXPECT_EQ(c_vktouv(kUnit, "RND"), -29);  // unbound now
  open(kUnit, "RND");
  EXPECT_EQ(c_vktnbr(kUnit), 3);
  ASSERT_GE(write(f.data(), -16, 1, 2, 2, 1, "NB", 7), 0);
  EXPECT_EQ(c_vktnbr(kUnit), 4);
}

// With nmax 0 the list stays empty but the dimensions are the first match's.
TEST_F(WriteTest, ListOfNoHandlesStillGivesTheDimensions) {
  std::vector<float> f(60, 2.0f);
  ASSERT_GE(write(f.data(), -16, 1, 5, 3, 1, "LI", 1), 0);
  ASSERT_GE(write(f.data(), -16, 1, 6, 10, 1, "LI", 2), 0);
  int ni = -1, nj = -1, nk = -1, infon = -1, liste[4] = {0, 0, 0, 0};
  EXPECT_EQ(c_vktinl(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "LI", liste, &infon, 0), 0);
  EXPECT_EQ(infon, 0);
  EXPECT_EQ(liste[0], 0);
  EXPECT_EQ(ni, 5);
  EXPECT_EQ(nj, 3);
  EXPECT_EQ(nk, 1);
  // With room, the largest record listed gives them, as before.
  EXPECT_EQ(c_vktinl(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "LI", liste, &infon, 4), 0);
  EXPECT_EQ(infon, 2);
  EXPECT_EQ(ni * nj, 60);
  // No match: the dimensions stay as they came.
  ni = nj = nk = -1;
  EXPECT_EQ(c_vktinl(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "ZZ", liste, &infon, 0), 0);
  EXPECT_EQ(ni, -1);
}

// A missing data array is refused before anything is written or read; a
// query's missing output place is skipped and the others are filled.
TEST_F(WriteTest, NullPointersAtTheEntryPoints) {
  std::vector<float> f(4, 3.0f);
  ASSERT_GE(write(f.data(), -16, 1, 2, 2, 1, "OK"), 0);
  const uint32_t size_before = entry().header.file_size;
  for (int datyp : {0, 1, 2, 3, 4, 5, 6, 129, 134}) {
    CaptureStderr();
    EXPECT_LT(write(nullptr, -16, datyp, 2, 2, 1, "NUL"), 0) << datyp;
    EXPECT_NE(GetCapturedStderr().find("field is NULL"), std::string::npos) << datyp;
  }
  EXPECT_EQ(entry().header.file_size, size_before);
  EXPECT_EQ(count_records(), 1);

  const int h = c_vktinf(kUnit, nullptr, nullptr, nullptr, -1, "", -1, -1, -1, "", "OK");
  ASSERT_GT(h, 0);
  int nj = 0;
  EXPECT_EQ(c_vktinf(kUnit, nullptr, &nj, nullptr, -1, "", -1, -1, -1, "", "OK"), h);
  EXPECT_EQ(nj, 2);
  int ni = 0, ip1 = -1, datyp = -1, ig4 = -1;
  char nomvar[5] = "    ";
  EXPECT_EQ(c_vktprm(h, nullptr, nullptr, nullptr, &ni, nullptr, nullptr, nullptr, &datyp, &ip1,
                     nullptr, nullptr, nullptr, nomvar, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &ig4, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            h);
  EXPECT_EQ(ni, 2);
  EXPECT_EQ(datyp, 1);
  EXPECT_EQ(ip1, 0);
  EXPECT_EQ(ig4, 4);
  EXPECT_STREQ(nomvar, "OK  ");
  CaptureStderr();
  EXPECT_LT(c_vktluk(nullptr, h, nullptr, nullptr, nullptr), 0);
  EXPECT_NE(GetCapturedStderr().find("field is NULL"), std::string::npos);
  std::vector<float> out(4, 0.0f);
  EXPECT_EQ(c_vktluk(out.data(), h, nullptr, nullptr, nullptr), h);
  EXPECT_EQ(out, f);
}

TEST_F(WriteTest, ImageModeCopiesPackedWords) {
  // A record's packed words, read in image mode, written back in image
  // mode, decode to the same values.
  const auto in = smooth_field(35, 50.0f, 5.0f);
  ASSERT_GE(write(in.data(), -16, 1, 7, 5, 1, "IM"), 0);
  const auto gentle = gentle_field(7, 5, 50.0f, 5.0f);
  ASSERT_GE(write(gentle.data(), -12, 134, 7, 5, 1, "IC"), 0);
  EXPECT_EQ(prm_of(find("IC")).datyp, 134);
  zep::stdfile::options().image_mode_copy = 1;
  std::vector<uint32_t> image(64, 0);
  ASSERT_GT(read("IM", image.data()), 0);
  ASSERT_GE(write(image.data(), -16, 1, 7, 5, 1, "IM", 1), 0);
  std::vector<uint32_t> cimage(64, 0);
  ASSERT_GT(read("IC", cimage.data()), 0);
  ASSERT_GE(write(cimage.data(), -12, 134, 7, 5, 1, "IC", 1), 0);
  // A compressed image whose count word overruns the room is refused.
  std::vector<uint32_t> bad(64, 0);
  bad[0] = 1000;
  CaptureStderr();
  EXPECT_EQ(write(bad.data(), -12, 134, 7, 5, 1, "IC", 2), -36);
  GetCapturedStderr();
  zep::stdfile::options().image_mode_copy = 0;
  std::vector<float> a(35), b(35);
  ASSERT_GT(read("IM", a.data(), 0), 0);
  ASSERT_GT(read("IM", b.data(), 1), 0);
  EXPECT_EQ(a, b);
  ASSERT_GT(read("IC", a.data(), 0), 0);
  ASSERT_GT(read("IC", b.data(), 1), 0);
  EXPECT_EQ(a, b);
}

TEST_F(WriteTest, SixteenBitRealsGiveTheBytesOfTheirHostOrderWords) {
  // Each field is written twice: packed by the writer (16-bit packed reals
  // of floats are packed in file byte order) and, into a second file, as
  // the image of the words the general packer makes in host order. Both
  // files must be the same bytes, for random fields of odd and even
  // counts, constant fields, fields of one value, and records appended to
  // sequential files (written in two parts) as well as random ones.
  std::mt19937 rng(1621);
  std::vector<std::vector<float>> fields;
  const int shapes[][2] = {{1, 1}, {3, 1}, {7, 5}, {33, 17}, {16, 16}, {100, 101}, {1000, 3}};
  for (const auto &shape : shapes) {
    std::uniform_real_distribution<float> value(-40.0f, 1e3f * static_cast<float>(shape[0]));
    std::vector<float> v(static_cast<size_t>(shape[0]) * shape[1]);
    for (float &x : v) x = value(rng);
    fields.push_back(v);
  }
  fields.push_back(std::vector<float>(99, 273.15f));
  fields.push_back(std::vector<float>(64, -0.0f));
  const std::string image_path = path_ + ".image";
  for (const char *kind : {"RND", "SEQ"}) {
    SCOPED_TRACE(kind);
    close(kUnit);
    std::remove(path_.c_str());
    std::remove(image_path.c_str());
    constexpr int kImage = 32;
    int u = kUnit;
    ASSERT_EQ(c_fnom(&u, path_.c_str(), std::string("RND+").append(kind).c_str(), 0), 0);
    ASSERT_GE(c_vktouv(kUnit, kind), 0);
    u = kImage;
    ASSERT_EQ(c_fnom(&u, image_path.c_str(), std::string("RND+").append(kind).c_str(), 0), 0);
    ASSERT_GE(c_vktouv(kImage, kind), 0);
    for (size_t k = 0; k < fields.size(); ++k) {
      std::vector<float> &v = fields[k];
      const int ni = static_cast<int>(k < 7 ? shapes[k][0] : v.size());
      const int nj = static_cast<int>(v.size()) / ni;
      ASSERT_GE(write(v.data(), -16, 1, ni, nj, 1, "F16", static_cast<int>(k)), 0);
      std::vector<uint32_t> words(
          static_cast<size_t>(zep::stdfile::data_words(1, static_cast<int64_t>(v.size()), 16)), 0u);
      float missing = 0.0f;
      ASSERT_NE(compact_float(v.data(), words.data(), words.data() + 3, static_cast<int>(v.size()),
                              16, 24, 1, 1, 0, &missing),
                nullptr);
      zep::stdfile::options().image_mode_copy = 1;
      const int written =
          c_vktecr(words.data(), nullptr, -16, kImage, kDate, 300, 12, ni, nj, 1,
                   static_cast<int>(k), 0, 0, "P", "F16", "WRITETEST", "Z", 1, 2, 3, 4, 1, 0);
      zep::stdfile::options().image_mode_copy = 0;
      ASSERT_GE(written, 0);
    }
    close(kImage);
    close(kUnit);
    auto bytes_of = [](const std::string &path) {
      std::ifstream in(path, std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string packed = bytes_of(path_), image = bytes_of(image_path);
    ASSERT_GT(packed.size(), 16000u);
    EXPECT_TRUE(packed == image)
        << "the files differ from byte "
        << std::mismatch(packed.begin(), packed.end(), image.begin(), image.end()).first -
               packed.begin();
    std::remove(image_path.c_str());
  }
  open(kUnit, "RND");
}

TEST_F(WriteTest, SequentialFileAppendsEvenWhenAskedToRewrite) {
  close(kUnit);
  std::remove(path_.c_str());
  int u = kUnit;
  ASSERT_EQ(c_fnom(&u, path_.c_str(), "RND+SEQ", 0), 0);
  ASSERT_GE(c_vktouv(kUnit, "SEQ"), 0);
  std::vector<float> f(6, 1.5f);
  for (int k = 0; k < 3; ++k) ASSERT_GE(write(f.data(), -16, 1, 3, 2, 1, "SQ", 7, kDate, 1), 0);
  close(kUnit);
  open(kUnit, "RND+R/O");
  // A sequential search runs on from the position: the first record read,
  // the two written after it remain.
  std::vector<float> out(6);
  ASSERT_GT(read("SQ", out.data()), 0);
  EXPECT_EQ(out, f);
  EXPECT_EQ(count_records(), 2);
}

TEST_F(WriteTest, ByReferenceTwins) {
  std::vector<float> f(6, 4.0f);
  int npak = -16, iun = kUnit, date = kDate, deet = 0, npas = 0, ni = 3, nj = 2, nk = 1;
  int ip1 = 0, ip2 = 0, ip3 = 0, ig1 = 0, ig2 = 0, ig3 = 0, ig4 = 0, datyp = 1, rewrit = 0;
  // Fixed-length names without terminators, longer than the fields.
  const char typvar[] = {'A', 'B', 'C'};
  const char nomvar[] = {'T', 'W', 'I', 'N', 'S', 'X'};
  const char etiket[] = {'E', 'T', 'I', 'Q'};
  const char grtyp[] = {'L', 'Q'};
  ASSERT_GE(vktecr_(f.data(), nullptr, &npak, &iun, &date, &deet, &npas, &ni, &nj, &nk, &ip1, &ip2,
                    &ip3, typvar, nomvar, etiket, grtyp, &ig1, &ig2, &ig3, &ig4, &datyp, &rewrit,
                    sizeof typvar, sizeof nomvar, sizeof etiket, sizeof grtyp),
            0);
  int h = find("TWIN");
  ASSERT_GT(h, 0);
  const Prm p = prm_of(h);
  EXPECT_STREQ(p.typvar, "AB");
  EXPECT_STREQ(p.etiket, "ETIQ        ");
  EXPECT_STREQ(p.grtyp, "L");
  EXPECT_EQ(vkteff_(&h), 0);
  EXPECT_LT(find("TWIN"), 0);
  EXPECT_EQ(vktckp_(&iun), 0);
}

}  // namespace
