// Searching: masks, handles, positions, record types, linked files, the
// request filter slot and c_xdfprm.
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

constexpr uint32_t kAny = 0xFFFFFFFFu;

class Search : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
  TempDir dir;

  // Creates a standard file with records whose key words 0 and 1 are
  // (i, i % 3), i = first .. first + n - 1, with types from `types`.
  void make_file(int iun, const std::string &path, uint32_t first, int n,
                 std::vector<int> types = {}) {
    OpenUnit u(iun, path, "RND", "CREATE");
    ASSERT_EQ(u.result(), 0);
    for (int i = 0; i < n; ++i) {
      std::vector<uint32_t> buf = record_buffer(24);
      uint32_t keys[16] = {};
      keys[0] = first + i;
      keys[1] = (first + i) % 3;
      const int type = i < static_cast<int>(types.size()) ? types[i] : 1;
      ASSERT_EQ(c_xdfini(iun, buf.data(), type, keys, 16, nullptr, 0), 0);
      uint32_t d[4] = {first + i, 0, 0, 0};
      ASSERT_EQ(c_xdfadd(buf.data(), d, 4, 32, 0), 0);
      ASSERT_EQ(c_xdfput(iun, 0, buf.data()), 0);
    }
  }

  static std::vector<uint32_t> walk(int iun, uint32_t *keys, int nkeys, uint32_t *mask = nullptr) {
    std::vector<uint32_t> found;
    for (int h = c_xdfloc2(iun, 0, keys, nkeys, mask); h > 0; h = c_xdfloc(iun, -1, nullptr, 0)) {
      int a, l, t;
      uint32_t k[16];
      EXPECT_EQ(c_xdfprm(h, &a, &l, &t, k, 16), 0);
      found.push_back(k[0]);
      if (found.size() > 10000) break;
    }
    return found;
  }
};

TEST_F(Search, WildcardsMasksAndContinuation) {
  const std::string path = dir.file("a.vkt");
  make_file(51, path, 10, 9);
  OpenUnit u(51, path, "RND+R/O", "READ");
  ASSERT_EQ(u.result(), 9);
  uint32_t keys[16];
  for (auto &k : keys) k = kAny;
  // Handle 0 with all keys -1: every record, then -12.
  EXPECT_EQ(walk(51, keys, 16).size(), 9u);
  EXPECT_EQ(c_xdfloc(51, -1, nullptr, 0), zep::xdf::ERR_NOT_FOUND);
  // One key given: only the records with that value.
  keys[1] = 1;
  EXPECT_EQ(walk(51, keys, 16), (std::vector<uint32_t>{10, 13, 16}));
  // Fewer keys than the file declares.
  uint32_t two[2] = {kAny, 2};
  EXPECT_EQ(walk(51, two, 2), (std::vector<uint32_t>{11, 14, 17}));
  // A caller's mask: only the low bit of key 0 compared.
  uint32_t k0[1] = {1};
  uint32_t m0[1] = {1};
  EXPECT_EQ(walk(51, k0, 1, m0), (std::vector<uint32_t>{11, 13, 15, 17}));
  // A persistent selection mask ANDed into new targets.
  keys[1] = kAny;
  keys[0] = 12;
  u.entry().srch_mask[2] = 0xFFFFFFFCu;  // ignore the two low bits of key 0
  EXPECT_EQ(walk(51, keys, 16), (std::vector<uint32_t>{12, 13, 14, 15}));
  u.entry().srch_mask[2] = kAny;
  // Going on with -1 keeps the last target.
  keys[0] = 15;
  const int h = c_xdfloc(51, 0, keys, 16);
  ASSERT_GT(h, 0);
  EXPECT_EQ(c_xdfloc(51, -1, nullptr, 0), zep::xdf::ERR_NOT_FOUND);
  // Starting after a handle skips the handle's own record.
  for (auto &k : keys) k = kAny;
  const int first = c_xdfloc(51, 0, keys, 16);
  const int second = c_xdfloc(51, first, nullptr, 0);
  EXPECT_EQ((second >> 7) & 0xFF, 1);
  EXPECT_EQ(c_xdfloc(51, h, nullptr, 0) >> 7 & 0xFF, 6);
}

TEST_F(Search, RecordTypesTakingPart) {
  const std::string path = dir.file("types.vkt");
  make_file(52, path, 1, 4, {1, 126, 3, 5});
  {
    // A type-126 entry counts as deleted since open: the close wrote it as 255.
    OpenUnit u(52, path, "RND", "R-W");
    EXPECT_EQ(u.entry().dir_page[0]->entry(1)[0] >> 24, 255u);
    u.entry().dir_page[0]->entry(1)[0] = (126u << 24) | 12;
    // Entries of type 127 and 255 in memory are never returned.
    u.entry().dir_page[0]->entry(2)[0] = (127u << 24) | 12;
    u.entry().dir_page[0]->entry(3)[0] = (255u << 24) | 12;
    uint32_t keys[16];
    for (auto &k : keys) k = kAny;
    EXPECT_EQ(walk(52, keys, 16), (std::vector<uint32_t>{1, 2}));
    u.entry().modified = 0;
  }
}

TEST_F(Search, HandleAndPositionErrors) {
  const std::string path = dir.file("h.vkt");
  const std::string other = dir.file("o.vkt");
  make_file(53, path, 1, 3);
  make_file(54, other, 1, 3);
  OpenUnit u(53, path, "RND+R/O", "READ");
  OpenUnit o(54, other, "RND+R/O", "READ");
  uint32_t keys[16];
  for (auto &k : keys) k = kAny;
  // Nothing searched yet: no position.
  EXPECT_EQ(c_xdfloc(53, -1, keys, 16), zep::xdf::ERR_NO_POSITION);
  EXPECT_EQ(c_xdfloc(53, -5, keys, 16), zep::xdf::ERR_BAD_HANDLE);
  EXPECT_EQ(c_xdfloc(55, 0, keys, 16), zep::xdf::ERR_NOT_OPEN);
  const int ho = c_xdfloc(54, 0, keys, 16);
  ASSERT_GT(ho, 0);
  EXPECT_EQ(c_xdfloc(53, ho, keys, 16), zep::xdf::ERR_BAD_HANDLE);  // a handle of another file
  // A page beyond the file, not linked: the position is cleared.
  const int h = c_xdfloc(53, 0, keys, 16);
  ASSERT_GT(h, 0);
  const int far = (h & 0x7F) | (3 << 19);
  EXPECT_EQ(c_xdfloc(53, far, keys, 16), zep::xdf::ERR_BAD_PAGE);
  EXPECT_EQ(c_xdfloc(53, -1, nullptr, 0), zep::xdf::ERR_NO_POSITION);
  int a, l, t;
  EXPECT_EQ(c_xdfprm(far, &a, &l, &t, keys, 16), zep::xdf::ERR_BAD_PAGE);
  EXPECT_EQ(c_xdfprm((h & 0x7F) | (7 << 7), &a, &l, &t, keys, 16), zep::xdf::ERR_BAD_HANDLE);
  EXPECT_EQ(c_xdfprm(0x7F, &a, &l, &t, keys, 16), zep::xdf::ERR_BAD_HANDLE);  // index of no file
  EXPECT_EQ(c_xdfprm(h, &a, &l, &t, keys, 16), 0);
  EXPECT_EQ(a, 2335);
  EXPECT_EQ(l, 12);
  EXPECT_EQ(t, 1);
  // A handle from an earlier search still works and does not move the position.
  for (auto &k : keys) k = kAny;
  const int h1 = c_xdfloc(53, 0, keys, 16);
  EXPECT_EQ(c_xdfprm(h + (2 << 7), &a, &l, &t, keys, 16), 0);
  EXPECT_EQ(keys[0], 3u);
  EXPECT_EQ(c_xdfloc(53, -1, nullptr, 0), h1 + (1 << 7));
}

TEST_F(Search, FilterIsAskedAboutMatchingEntriesOnly) {
  const std::string path = dir.file("f.vkt");
  make_file(56, path, 1, 6);
  use_copy_builders(true);
  filter_calls = 0;
  filter_reject_every = 2;
  OpenUnit u(56, path, "RND+R/O", "READ");
  uint32_t keys[16];
  for (auto &k : keys) k = kAny;
  keys[1] = 0;  // records 3 and 6
  EXPECT_EQ(walk(56, keys, 16), (std::vector<uint32_t>{3}));
  EXPECT_EQ(filter_calls, 2);
  filter_reject_every = 0;
  EXPECT_EQ(walk(56, keys, 16), (std::vector<uint32_t>{3, 6}));
  // Generic files get no filter.
  const std::string gen = dir.file("g.vkt");
  make_file(57, gen, 1, 2);
  filter_calls = 0;
  ASSERT_EQ(bind(58, gen, "RND+R/O"), 0);
  StdKeys k;
  ASSERT_EQ(c_xdfopn(58, "READ", k.pri, 16, k.aux, 2, "GENR"), 2);
  for (auto &x : keys) x = kAny;
  EXPECT_EQ(walk(58, keys, 16).size(), 2u);
  EXPECT_EQ(filter_calls, 0);
  c_xdfcls(58);
  c_fclos(58);
  use_copy_builders();
}

TEST_F(Search, LinkedFilesFormOneChain) {
  const std::string a = dir.file("la.vkt");
  const std::string b = dir.file("lb.vkt");
  make_file(61, a, 1, 300);  // two pages
  make_file(62, b, 1000, 3);
  OpenUnit ua(61, a, "RND+R/O", "READ");
  OpenUnit ub(62, b, "RND+R/O", "READ");
  int units[2] = {61, 62};
  ASSERT_EQ(c_xdflnk(units, 2), 0);
  uint32_t keys[16];
  for (auto &k : keys) k = kAny;
  keys[0] = 1001;
  const int h = c_xdfloc(61, 0, keys, 16);
  ASSERT_GT(h, 0);
  // The second file's record carries the first file's index and page 2.
  EXPECT_EQ(h & 0x7F, zep::xdf::file_index(61));
  EXPECT_EQ(h >> 19, 2);
  EXPECT_EQ((h >> 7) & 0xFF, 1);
  int ad, l, t;
  uint32_t got[16];
  ASSERT_EQ(c_xdfprm(h, &ad, &l, &t, got, 16), 0);
  EXPECT_EQ(got[0], 1001u);
  std::vector<uint32_t> buf = record_buffer(24);
  ASSERT_EQ(c_xdfget2(h, buf.data(), nullptr), 0);
  EXPECT_EQ(static_cast<int>(buf[4]), 62);  // the unit holding the record
  EXPECT_EQ(buf[9 + 20], 1001u);
  // Starting at that handle goes on inside the second file.
  for (auto &k : keys) k = kAny;
  const int next = c_xdfloc(61, h, keys, 16);
  EXPECT_EQ(next >> 19, 2);
  EXPECT_EQ((next >> 7) & 0xFF, 2);
  EXPECT_EQ(c_xdfloc(61, -1, nullptr, 0), zep::xdf::ERR_NOT_FOUND);
  EXPECT_EQ(walk(61, keys, 16).size(), 303u);
  // A unit linked twice would make a loop.
  int loop[3] = {61, 62, 61};
  EXPECT_LT(c_xdflnk(loop, 3), 0);
  EXPECT_EQ(walk(61, keys, 16).size(), 303u);
  // Unlinked: the chain ends with the first file, and a far page is refused.
  ASSERT_EQ(c_xdfunl(units, 2), 0);
  EXPECT_EQ(walk(61, keys, 16).size(), 300u);
  EXPECT_EQ(c_xdfprm(h, &ad, &l, &t, got, 16), zep::xdf::ERR_BAD_PAGE);
  int bad[2] = {61, 63};
  EXPECT_EQ(c_xdflnk(bad, 2), zep::xdf::ERR_NOT_FNOM);
}

TEST_F(Search, GenericKeysFoldAndMask) {
  // Keys: NAME 4 characters (folded), LEVL 16 bits, STEP 12 bits.
  uint32_t pri[6], aux[2];
  c_xdfcle("NAME", 31, 32, 32, &pri[0], &pri[1]);
  c_xdfcle("LEVL", 47, 16, 0, &pri[2], &pri[3]);
  c_xdfcle("STEP", 63, 12, 0, &pri[4], &pri[5]);
  c_xdfcle("INFO", 31, 32, 0, &aux[0], &aux[1]);
  const std::string path = dir.file("gen.vkt");
  ASSERT_EQ(bind(64, path, "RND"), 0);
  ASSERT_EQ(c_xdfopn(64, "CREATE", pri, 3, aux, 1, "TEST"), 0);
  zep::xdf::FileEntry &f = *zep::xdf::open_entry(zep::xdf::file_index(64));
  EXPECT_EQ(f.primary_len, 2);
  EXPECT_EQ(f.info_len, 1);
  const uint32_t names[3] = {0x74742020, 0x68752020, 0x54542020};  // "tt", "hu", "TT"
  for (int i = 0; i < 3; ++i) {
    std::vector<uint32_t> buf = record_buffer(8);
    uint32_t keys[3] = {names[i], static_cast<uint32_t>(500 + i), 0xABC};
    uint32_t info[1] = {0x1234};
    ASSERT_EQ(c_xdfini(64, buf.data(), 2, keys, 3, info, 1), 0);
    EXPECT_EQ(buf[1], 192u);
    EXPECT_EQ(buf[2], 6u);
    EXPECT_EQ(buf[5], 4u);
    EXPECT_EQ(buf[9 + 2], i == 1 ? 0x48552020u : 0x54542020u);
    EXPECT_EQ(buf[9 + 3], (static_cast<uint32_t>(500 + i) << 16) | 0xABC);
    EXPECT_EQ(buf[9 + 4], 0x1234u);
    ASSERT_EQ(c_xdfput(64, 0, buf.data()), 0);
  }
  uint32_t want[3] = {0x74742020, kAny, kAny};
  int n = 0;
  for (int h = c_xdfloc(64, 0, want, 3); h > 0; h = c_xdfloc(64, -1, nullptr, 0)) ++n;
  EXPECT_EQ(n, 2);
  // Mask on LEVL: only its low bit compared.
  uint32_t lev[3] = {kAny, 1, kAny};
  uint32_t mask[3] = {0, 1, 0};
  const int h = c_xdfloc2(64, 0, lev, 3, mask);
  ASSERT_GT(h, 0);
  int a, l, t;
  uint32_t out[3];
  ASSERT_EQ(c_xdfprm(h, &a, &l, &t, out, 3), 0);
  EXPECT_EQ(out[0], 0x48552020u);
  EXPECT_EQ(out[1], 501u);
  EXPECT_EQ(out[2], 0xABCu);
  EXPECT_EQ(t, 2);
  // The info keys come back through c_xdfget2's aux and c_xdfhdr.
  std::vector<uint32_t> buf = record_buffer(8);
  int info_words[2] = {-1, -1};
  ASSERT_EQ(c_xdfget2(h, buf.data(), info_words), 0);
  EXPECT_EQ(info_words[0], 0x1234);
  EXPECT_EQ(info_words[1], 0);
  uint32_t k3[3], i1[1];
  ASSERT_EQ(c_xdfhdr(buf.data(), &a, &l, &t, k3, 3, i1, 1), 0);
  EXPECT_EQ(k3[1], 501u);
  EXPECT_EQ(i1[0], 0x1234u);
  EXPECT_EQ(l, 3);
  c_xdfcls(64);
  c_fclos(64);
}

}  // namespace
