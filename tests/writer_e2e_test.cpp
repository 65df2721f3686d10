// Files made by the record writer, converted by vkt2xml: every datyp comes
// back with its descriptors, and its values within what the packing keeps
// (exact for integers, characters and IEEE values, one quantisation step
// for packed reals), the document's six significant digits aside.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"
#include "tests/e2e_support.h"

namespace {

using zep_test::env;
using zep_test::run;
using zep_test::slurp;

// One <vktrecord> of the document.
struct XmlRecord {
  std::string text;
  std::string tag(const std::string &name) const {
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    const size_t a = text.find(open);
    if (a == std::string::npos) return "";
    const size_t b = text.find(close, a);
    return text.substr(a + open.size(), b - a - open.size());
  }
  int int_tag(const std::string &name) const { return std::atoi(tag(name).c_str()); }
  std::vector<double> values() const {
    std::vector<double> v;
    const std::string body = tag("values");
    const char *p = body.c_str();
    char *end = nullptr;
    for (double x = std::strtod(p, &end); end != p; x = std::strtod(p, &end)) {
      v.push_back(x);
      p = end;
    }
    return v;
  }
};

std::vector<XmlRecord> records_of(const std::string &doc) {
  std::vector<XmlRecord> out;
  for (size_t a = doc.find("<vktrecord>"); a != std::string::npos;
       a = doc.find("<vktrecord>", a + 1)) {
    const size_t b = doc.find("</vktrecord>", a);
    out.push_back({doc.substr(a, b == std::string::npos ? std::string::npos : b - a)});
  }
  return out;
}

// What was written, and how closely it must come back.
struct Case {
  std::string nomvar;
  int datyp_asked = 0;
  int npak = 0;
  int datyp_stored = 0;
  int nbits_stored = 0;
  int ni = 0, nj = 0, nk = 1;
  std::vector<double> expected;  // the values as the document must show them
  double abs_tol = 0;            // quantisation allowance

  Case(std::string name, int asked, int pak, int stored, int bits, int i, int j, int k = 1)
      : nomvar(std::move(name)),
        datyp_asked(asked),
        npak(pak),
        datyp_stored(stored),
        nbits_stored(bits),
        ni(i),
        nj(j),
        nk(k) {}
};

constexpr int kUnit = 41;
constexpr int kDate = 355847200;

class WriterE2eTest : public testing::Test {
 protected:
  void SetUp() override {
    exe_ = env("ZEP_VKT2XML");
    if (exe_.empty()) GTEST_SKIP() << "the converter was not built";
    dir_ = testing::TempDir();
    path_ = dir_ + "zep_writer_e2e.vkt";
    std::remove(path_.c_str());
    int u = kUnit;
    ASSERT_EQ(c_fnom(&u, path_.c_str(), "RND", 0), 0);
    ASSERT_GE(c_vktouv(kUnit, "RND"), 0);
    c_vktopc("MSGLVL", "WARNIN", 0);
  }

  // Writes one record and remembers what the document must show.
  void add(Case c, const void *field, int ig2 = 0) {
    const int r = c_vktecr(const_cast<void *>(field), nullptr, c.npak, kUnit, kDate, 3600, 6, c.ni,
                           c.nj, c.nk, static_cast<int>(cases_.size()), 0, 0, "P", c.nomvar.c_str(),
                           "E2E", "Z", 0, ig2, 0, 0, c.datyp_asked, 0);
    ASSERT_GE(r, 0) << c.nomvar;
    cases_.push_back(std::move(c));
  }

  std::string convert() {
    c_vktfrm(kUnit);
    c_fclos(kUnit);
    const std::string out = dir_ + "zep_writer_e2e.xml";
    const int rc = run("'" + exe_ + "' -vkt '" + path_ + "' -xml '" + out + "' >'" + dir_ +
                       "zep_writer_e2e.stdout' 2>'" + dir_ + "zep_writer_e2e.stderr'");
    EXPECT_EQ(rc, 0) << slurp(dir_ + "zep_writer_e2e.stderr");
    if (run("command -v xmllint >/dev/null 2>&1") == 0) {
      EXPECT_EQ(run("xmllint --noout '" + out + "'"), 0);
    }
    return slurp(out);
  }

  std::string exe_, dir_, path_;
  std::vector<Case> cases_;
};

std::vector<float> gentle(int ni, int nj, float offset, float scale) {
  std::vector<float> v(static_cast<size_t>(ni) * nj);
  for (int j = 0; j < nj; ++j)
    for (int i = 0; i < ni; ++i)
      v[i + static_cast<size_t>(ni) * j] = offset + scale * std::sin(0.2f * i) * std::cos(0.3f * j);
  return v;
}

double spread(const std::vector<float> &v) {
  float lo = v[0], hi = v[0];
  for (float x : v) lo = std::min(lo, x), hi = std::max(hi, x);
  return static_cast<double>(hi) - lo;
}

std::vector<double> widen(const std::vector<float> &v) { return {v.begin(), v.end()}; }

TEST_F(WriterE2eTest, EveryDatypThroughTheConverter) {
  const int ni = 12, nj = 9;
  const auto reals = gentle(ni, nj, 250.0f, 30.0f);
  for (int nbits : {8, 16, 24, 32}) {
    Case c{"R" + std::to_string(nbits), 1, -nbits, 1, nbits, ni, nj};
    c.expected = widen(reals);
    c.abs_tol = 2 * spread(reals) / std::ldexp(1.0, nbits);
    add(c, reals.data(), nbits == 16 ? 70000 : 0);
  }
  {
    Case c{"R129", 129, -10, 129, 10, ni, nj};
    c.expected = widen(reals);
    c.abs_tol = 2 * spread(reals) / std::ldexp(1.0, 10);
    add(c, reals.data());
  }
  for (int datyp : {6, 134}) {
    Case c{"F" + std::to_string(datyp), datyp, -12, datyp, 12, ni, nj};
    c.expected = widen(reals);
    c.abs_tol = 2 * spread(reals) / 4095.0 + 4 * 256.0 * 0x1p-23;
    add(c, reals.data());
  }
  {
    std::vector<double> d(ni * nj);
    for (size_t i = 0; i < d.size(); ++i) d[i] = 1000.0 + 0.5 * static_cast<double>(i);
    Case c{"R801", 801, -16, 1, 16, ni, nj};
    c.expected = d;
    c.abs_tol = 2 * (d.back() - d.front()) / 65536.0;
    add(c, d.data());
  }
  {
    std::vector<uint32_t> u(ni * nj);
    for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<uint32_t>((i * 37) % 4096);
    Case c{"I2", 2, -12, 2, 12, ni, nj};
    c.expected.assign(u.begin(), u.end());
    add(c, u.data());
  }
  {
    std::vector<int32_t> s(ni * nj);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int32_t>(i * 4099) - 250000;
    Case c{"S4", 4, -20, 4, 20, ni, nj};
    c.expected.assign(s.begin(), s.end());
    add(c, s.data());
  }
  {
    // Characters, several levels: every one of the 3 x 2 x 2 shown by its code.
    const char text[] = "Zep writes!!";
    Case c{"C3", 3, -32, 3, 8, 3, 2, 2};
    for (int i = 0; i < 12; ++i) c.expected.push_back(static_cast<unsigned char>(text[i]));
    add(c, text);
  }
  {
    const std::vector<float> e = {1.5f, -2.25f, 3.0e10f, 1e-20f, 0.0f, 65504.0f};
    Case c{"E32", 5, -32, 5, 32, 3, 2};
    c.expected = widen(e);
    add(c, e.data());
    const std::vector<double> d = {0.1, -7.5, 1e30, 2.0, 3.0, 4.0};
    Case c64{"E64", 5, -64, 5, 64, 3, 2};
    for (double x : d) c64.expected.push_back(static_cast<float>(x));
    add(c64, d.data());
  }
  {
    // Raw words are shown as the floats they hold.
    const std::vector<float> raw = {1.0f, 2.0f, -3.5f, 1234.5f};
    Case c{"X0", 5, 0, 0, 32, 2, 2};
    c.expected = widen(raw);
    add(c, raw.data());
  }

  const auto records = records_of(convert());
  ASSERT_EQ(records.size(), cases_.size());
  for (size_t r = 0; r < records.size(); ++r) {
    const Case &c = cases_[r];
    const XmlRecord &x = records[r];
    SCOPED_TRACE(c.nomvar);
    EXPECT_EQ(x.tag("nomvar").substr(0, c.nomvar.size()), c.nomvar);
    EXPECT_EQ(x.int_tag("datyp"), c.datyp_stored);
    EXPECT_EQ(x.int_tag("nbits"), c.nbits_stored);
    EXPECT_EQ(x.int_tag("ni"), c.ni);
    EXPECT_EQ(x.int_tag("nj"), c.nj);
    EXPECT_EQ(x.int_tag("nk"), c.nk);
    EXPECT_EQ(x.int_tag("ip1"), static_cast<int>(r));
    EXPECT_EQ(x.int_tag("dateo"), kDate);
    EXPECT_EQ(x.int_tag("deet"), 3600);
    EXPECT_EQ(x.int_tag("npas"), 6);
    EXPECT_EQ(x.tag("etiket"), "E2E         ");
    EXPECT_EQ(x.tag("grtyp"), "Z");
    EXPECT_EQ(x.int_tag("ig2"), c.nomvar == "R16" ? 70000 : 0);
    const std::vector<double> v = x.values();
    ASSERT_EQ(v.size(), c.expected.size());
    for (size_t i = 0; i < v.size(); ++i) {
      // Six significant digits in the document.
      const double shown = 6e-6 * std::fabs(c.expected[i]) + 1e-30;
      EXPECT_NEAR(v[i], c.expected[i], c.abs_tol + shown) << "value " << i;
    }
  }
}

}  // namespace
