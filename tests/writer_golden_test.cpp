// Golden files written anew: every record read with c_vktluk and written
// again with c_vktecr, with the same descriptors, in the same order, gives
// back the golden file byte for byte (header, directory, keys and data).
// Only files whose decoded values pack back to the same tokens are used:
// integers, characters, IEEE values, the float packer with and without
// compression, and the files about dates and levels.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"
#include "tests/e2e_support.h"

namespace {

using zep_test::slurp;

// Copies every record of `from` into a new file `to`; returns the count.
int copy_records(const std::string &from, const std::string &to) {
  constexpr int kIn = 61, kOut = 62;
  int u = kIn;
  EXPECT_EQ(c_fnom(&u, from.c_str(), "RND+R/O", 0), 0);
  EXPECT_GE(c_vktouv(kIn, "RND"), 0);
  u = kOut;
  EXPECT_EQ(c_fnom(&u, to.c_str(), "RND", 0), 0);
  EXPECT_GE(c_vktouv(kOut, "RND"), 0);
  c_vktopc("MSGLVL", "WARNIN", 0);
  int count = 0, ni = 0, nj = 0, nk = 0;
  for (int h = c_vktinf(kIn, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
       h = c_vktsui(kIn, &ni, &nj, &nk)) {
    int dateo, deet, npas, nbits, datyp, ip1, ip2, ip3, ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, e1,
        e2, e3;
    char typvar[3] = "  ", nomvar[5] = "    ", etiket[13] = "            ", grtyp[2] = " ";
    EXPECT_EQ(c_vktprm(h, &dateo, &deet, &npas, &ni, &nj, &nk, &nbits, &datyp, &ip1, &ip2, &ip3,
                       typvar, nomvar, etiket, grtyp, &ig1, &ig2, &ig3, &ig4, &swa, &lng, &dltf,
                       &ubc, &e1, &e2, &e3),
              h);
    // Room for 64-bit values and the characters' last word.
    std::vector<uint32_t> field(2 * static_cast<size_t>(ni) * nj * nk + 2, 0);
    EXPECT_EQ(c_vktluk(field.data(), h, &ni, &nj, &nk), h) << nomvar;
    EXPECT_GE(c_vktecr(field.data(), nullptr, -nbits, kOut, dateo, deet, npas, ni, nj, nk, ip1, ip2,
                       ip3, typvar, nomvar, etiket, grtyp, ig1, ig2, ig3, ig4, datyp, 0),
              0)
        << nomvar;
    ++count;
  }
  c_vktfrm(kOut);
  c_fclos(kOut);
  c_vktfrm(kIn);
  c_fclos(kIn);
  return count;
}

TEST(WriterGolden, RewrittenFilesAreIdentical) {
  const std::string dir = zep_test::golden_dir();
  ASSERT_FALSE(slurp(dir + "integers.vkt").empty()) << "no golden files in " << dir;
  for (const char *name : {"integers", "characters", "ieee", "float_packer", "compressed_packer",
                           "dates", "levels_new"}) {
    SCOPED_TRACE(name);
    const std::string golden = dir + name + ".vkt";
    const std::string copy = testing::TempDir() + "zep_rewritten_" + name + ".vkt";
    std::remove(copy.c_str());
    EXPECT_GT(copy_records(golden, copy), 0);
    const std::string expected = slurp(golden), got = slurp(copy);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "files differ: cmp " << golden << " " << copy;
    std::remove(copy.c_str());
  }
}

}  // namespace
