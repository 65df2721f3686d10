// Sequential standard files: files written by the layer's own writer with
// marks between groups, positioned by rewind, skip and append, searched
// group by group, and damaged in their framing.
#include "stdfile/sequential.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/big_endian.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_seq.h"
#include "zep/stdfile_write.h"
#include "zep/xdf.h"
#include "tests/golden_dir.h"

namespace {

using zep::stdfile::seq::mark_word0;

constexpr int kUnit = 61;
constexpr int kFirstRecord = 53;  // word after the 26-unit header

std::vector<uint32_t> file_words(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  std::vector<uint32_t> words(bytes.size() / 4);
  for (size_t i = 0; i < words.size(); ++i) words[i] = zep::load_be32(bytes.data() + 4 * i);
  return words;
}

void put_file_words(const std::string &path, const std::vector<uint32_t> &words) {
  std::vector<unsigned char> bytes(words.size() * 4);
  for (size_t i = 0; i < words.size(); ++i) zep::store_be32(bytes.data() + 4 * i, words[i]);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// An object of a sequential file as found by walking from the first record.
struct Object {
  int64_t address;  // word address
  uint32_t type, length;
};

// Walks the objects from the first record to the end-of-data mark.
std::vector<Object> objects_of(const std::vector<uint32_t> &w) {
  std::vector<Object> out;
  size_t i = kFirstRecord - 1;
  while (i + 1 < w.size()) {
    const Object o{static_cast<int64_t>(i + 1), w[i] >> 24, w[i] & 0xFFFFFF};
    out.push_back(o);
    if (o.type == 0x7F || o.length == 0) break;
    i += 2 * o.length;
  }
  return out;
}

class SequentialTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::TempDir() + "zep_seq_" + std::to_string(getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name() + ".vkt";
    std::remove(path_.c_str());
    c_vktopc("MSGLVL", "WARNIN", 0);
  }
  void TearDown() override {
    close();
    c_vktopc("TOLRNC", "ERRORS", 0);
    c_vktopc("MSGLVL", "INFORM", 0);
    std::remove(path_.c_str());
  }

  void open(const char *attributes = "STD+SEQ", const char *options = "SEQ",
            const std::string &path = "") {
    int u = kUnit;
    ASSERT_EQ(c_fnom(&u, (path.empty() ? path_ : path).c_str(), attributes, 0), 0);
    ASSERT_GE(c_vktouv(kUnit, options), 0);
    bound_ = true;
  }
  void close() {
    if (!bound_) return;
    c_vktfrm(kUnit);
    c_fclos(kUnit);
    bound_ = false;
  }
  void reopen(const char *attributes = "STD+SEQ") {
    close();
    open(attributes);
  }

  // A 2 x 2 record whose ip1 tells it apart.
  void write(int ip1) {
    float field[4] = {1.0f * ip1, 2, 3, 4};
    ASSERT_GE(c_vktecr(field, nullptr, -16, kUnit, 0, 0, 0, 2, 2, 1, ip1, 0, 0, "P", "TT", "SEQ",
                       "X", 0, 0, 0, 0, 1, 0),
              0);
  }

  static int ip1_of(int handle) {
    int dateo, deet, npas, ni, nj, nk, nbits, datyp, ip1, ip2, ip3, ig1, ig2, ig3, ig4, swa, lng,
        dltf, ubc, e1, e2, e3;
    char typvar[3] = "  ", nomvar[5] = "    ", etiket[13] = "            ", grtyp[2] = " ";
    if (c_vktprm(handle, &dateo, &deet, &npas, &ni, &nj, &nk, &nbits, &datyp, &ip1, &ip2, &ip3,
                 typvar, nomvar, etiket, grtyp, &ig1, &ig2, &ig3, &ig4, &swa, &lng, &dltf, &ubc,
                 &e1, &e2, &e3) < 0)
      return -1;
    return ip1;
  }

  // ip1 of every record found from the position up to the next mark.
  std::vector<int> group() {
    std::vector<int> ip1s;
    int ni, nj, nk;
    for (int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
         h = c_vktsui(kUnit, &ni, &nj, &nk))
      ip1s.push_back(ip1_of(h));
    return ip1s;
  }

  // ip1 of the record at the position (it stays there), or -12.
  int record_here() {
    zep::xdf::FileEntry *f = entry();
    const int64_t at = f->cur_addr;
    int ni, nj, nk;
    const int h = c_vktinf(kUnit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "");
    f->cur_addr = at;
    return h < 0 ? h : ip1_of(h);
  }

  static zep::xdf::FileEntry *entry() { return zep::xdf::open_entry(zep::xdf::file_index(kUnit)); }

  std::string path_;
  bool bound_ = false;
};

// Two groups and a third after marks of levels 3 and 7.
class GroupedFileTest : public SequentialTest {
 protected:
  void SetUp() override {
    SequentialTest::SetUp();
    open();
    write(1);
    write(2);
    ASSERT_EQ(c_vktweo(kUnit, 3), 0);
    write(3);
    ASSERT_EQ(c_vktweo(kUnit, 7), 0);
    write(4);
    write(5);
    close();
  }
};

TEST_F(GroupedFileTest, MarksLieBetweenTheGroupsAndTheFileEndsAfterTheEndMark) {
  const std::vector<uint32_t> w = file_words(path_);
  const std::vector<Object> objs = objects_of(w);
  std::vector<uint32_t> kinds;
  for (const Object &o : objs)
    if (o.type != 0) kinds.push_back(o.type);
  EXPECT_EQ(kinds, (std::vector<uint32_t>{1, 1, 0x73, 1, 0x77, 1, 1, 0x7F}));
  for (const Object &o : objs) {
    if (o.type == 0) continue;  // record trailers
    EXPECT_EQ(w[o.address], static_cast<uint32_t>((o.address - 1) / 2 + 1)) << o.address;
    if (zep::stdfile::seq::is_mark(o.type)) {
      EXPECT_EQ(o.length, 1u);
    }
  }
  // Nothing after the end-of-data mark.
  EXPECT_EQ(static_cast<int64_t>(w.size()), objs.back().address + 1);
  EXPECT_EQ(w[3], 0x53544453u);  // "STDS"
}

TEST_F(GroupedFileTest, SearchesStopAtEachMarkAndGoOnBehindIt) {
  open("STD+RND+R/O");
  EXPECT_EQ(group(), (std::vector<int>{1, 2}));
  EXPECT_EQ(c_vkteof(kUnit), 3);
  EXPECT_EQ(group(), (std::vector<int>{3}));
  EXPECT_EQ(c_vkteof(kUnit), 7);
  EXPECT_EQ(group(), (std::vector<int>{4, 5}));
  EXPECT_EQ(c_vkteof(kUnit), 15);
  EXPECT_EQ(group(), std::vector<int>{});  // the end of data stays
  EXPECT_EQ(c_vkteof(kUnit), 15);

  EXPECT_EQ(c_vktrwd(kUnit), 0);
  EXPECT_EQ(c_vkteof(kUnit), 0);
  EXPECT_EQ(group(), (std::vector<int>{1, 2}));
}

TEST_F(SequentialTest, AMarkJustBeforeTheEndMarkIsSteppedOver) {
  // The last mark lies closer to the end of the file than a whole entry:
  // the search must still see it, step behind it and reach the end mark.
  open();
  write(1);
  ASSERT_EQ(c_vktweo(kUnit, 5), 0);
  close();
  open("STD+R/O");
  EXPECT_EQ(group(), (std::vector<int>{1}));
  EXPECT_EQ(c_vkteof(kUnit), 5);
  EXPECT_EQ(group(), std::vector<int>{});
  EXPECT_EQ(c_vkteof(kUnit), 15);
}

TEST_F(GroupedFileTest, ForwardSkipsCountRecordsAndStopOnAMark) {
  open("STD+R/O");
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);
  EXPECT_EQ(c_vkteof(kUnit), 0);
  EXPECT_EQ(record_here(), 2);

  c_vktopc("MSGLVL", "INFORM", 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktskp(kUnit, 5), 0);  // one record, then onto the level-3 mark
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "c_vktskp: (unit 61) skip to end of file\n");
  EXPECT_EQ(c_vkteof(kUnit), 3);
  const int64_t mark3 = entry()->cur_addr;
  EXPECT_EQ(file_words(path_)[mark3 - 1], mark_word0(3));

  // Repeated skips stay on the mark: record 3 behind it is never skipped.
  for (int i = 0; i < 3; ++i) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(c_vktskp(kUnit, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "c_vktskp: (unit 61) skip to end of file\n");
    EXPECT_EQ(entry()->cur_addr, mark3);
    EXPECT_EQ(c_vkteof(kUnit), 3);
  }
  // A search steps over the mark; the group behind it is whole.
  EXPECT_EQ(group(), std::vector<int>{});
  EXPECT_EQ(record_here(), 3);

  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);  // record 3 only: no message
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(c_vkteof(kUnit), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);  // onto the level-7 mark
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "c_vktskp: (unit 61) skip to end of file\n");
  EXPECT_EQ(c_vkteof(kUnit), 7);
  EXPECT_EQ(group(), std::vector<int>{});
  EXPECT_EQ(record_here(), 4);

  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktskp(kUnit, 9), 0);  // records 4 and 5, then the end of data
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(c_vkteof(kUnit), 15);
  const int64_t end = entry()->cur_addr;
  const std::vector<uint32_t> w = file_words(path_);
  EXPECT_EQ(w[end - 1], mark_word0(15));

  // At the end of data further skips stay put; the message is a trace.
  c_vktopc("MSGLVL", "WARNIN", 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(entry()->cur_addr, end);
  EXPECT_EQ(c_vktskp(kUnit, 0), 0);
  EXPECT_EQ(entry()->cur_addr, end);
}

TEST_F(GroupedFileTest, BackwardSkipsFollowTrailersAndStopOnMarks) {
  open("STD+R/O");
  for (int i = 0; i < 3; ++i) group();  // the searches cross the marks
  ASSERT_EQ(c_vkteof(kUnit), 15);

  EXPECT_EQ(c_vktskp(kUnit, -1), 0);
  EXPECT_EQ(record_here(), 5);
  EXPECT_EQ(c_vkteof(kUnit), 0);
  EXPECT_EQ(c_vktskp(kUnit, -5), 0);  // record 4, then onto the level-7 mark
  EXPECT_EQ(c_vkteof(kUnit), 7);
  const int64_t mark = entry()->cur_addr;
  EXPECT_EQ(file_words(path_)[mark - 1], mark_word0(7));

  EXPECT_EQ(c_vktskp(kUnit, -1), 0);  // from on the mark to the record before it
  EXPECT_EQ(record_here(), 3);
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);  // record 3 again: on the mark
  EXPECT_EQ(entry()->cur_addr, mark);
  EXPECT_EQ(c_vkteof(kUnit), 0);
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);  // a skip stays on it
  EXPECT_EQ(entry()->cur_addr, mark);
  EXPECT_EQ(c_vkteof(kUnit), 7);
  EXPECT_EQ(group(), std::vector<int>{});  // a search steps behind it
  EXPECT_EQ(record_here(), 4);

  EXPECT_EQ(c_vktskp(kUnit, -2), 0);  // onto the mark: stops there
  EXPECT_EQ(entry()->cur_addr, mark);
  EXPECT_EQ(c_vktskp(kUnit, -3), 0);  // record 3, then onto the level-3 mark
  EXPECT_EQ(c_vkteof(kUnit), 3);
  EXPECT_EQ(c_vktskp(kUnit, -2), 0);
  EXPECT_EQ(record_here(), 1);
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);
  EXPECT_EQ(c_vktskp(kUnit, -1), 0);  // at the first record nothing changes
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);
  EXPECT_EQ(c_vktskp(kUnit, INT32_MIN), 0);
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);
}

TEST_F(GroupedFileTest, AppendGoesToTheFirstMarkFromThePosition) {
  open();
  EXPECT_EQ(c_vktapp(kUnit), 0);
  EXPECT_EQ(c_vkteof(kUnit), 3);
  const int64_t first_mark = entry()->cur_addr;
  EXPECT_EQ(entry()->next_write, first_mark);
  EXPECT_EQ(c_vktapp(kUnit), 0);  // on a mark already: stays
  EXPECT_EQ(entry()->cur_addr, first_mark);

  // From behind the last logical mark the append reaches the end of data;
  // a record written there keeps everything before it.
  EXPECT_EQ(c_vktskp(kUnit, 100), 0);  // a skip does not leave the mark
  EXPECT_EQ(entry()->cur_addr, first_mark);
  ASSERT_EQ(c_vktrwd(kUnit), 0);
  EXPECT_EQ(group(), (std::vector<int>{1, 2}));
  EXPECT_EQ(group(), (std::vector<int>{3}));
  ASSERT_EQ(c_vkteof(kUnit), 7);
  EXPECT_EQ(c_vktapp(kUnit), 0);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  write(6);
  reopen("STD+R/O");
  EXPECT_EQ(group(), (std::vector<int>{1, 2}));
  EXPECT_EQ(group(), (std::vector<int>{3}));
  EXPECT_EQ(group(), (std::vector<int>{4, 5, 6}));
}

TEST_F(GroupedFileTest, AMarkWrittenAfterRewindEndsTheFileThere) {
  open();
  ASSERT_EQ(c_vktskp(kUnit, 1), 0);
  EXPECT_EQ(c_vktweo(kUnit, 15), 0);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  const int64_t end = entry()->cur_addr;
  close();
  const std::vector<uint32_t> w = file_words(path_);
  ASSERT_EQ(static_cast<int64_t>(w.size()), end + 1);
  EXPECT_EQ(w[end - 1], mark_word0(15));
  open("STD+R/O");
  EXPECT_EQ(group(), std::vector<int>{1});
  EXPECT_EQ(c_vkteof(kUnit), 15);
}

TEST_F(SequentialTest, AppendingAfterReopeningKeepsEveryRecord) {
  open();
  write(10);
  write(20);
  reopen();
  EXPECT_EQ(c_vktapp(kUnit), 0);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  write(30);
  ASSERT_EQ(c_vktweo(kUnit, 1), 0);
  write(40);
  reopen();
  EXPECT_EQ(c_vktapp(kUnit), 0);  // stops on the level-1 mark
  EXPECT_EQ(c_vkteof(kUnit), 1);
  ASSERT_EQ(c_vktskp(kUnit, 1), 0);  // a skip stays on it
  EXPECT_EQ(c_vkteof(kUnit), 1);
  const int64_t at_mark = entry()->cur_addr;
  EXPECT_EQ(group(), std::vector<int>{});  // a search steps behind it
  EXPECT_EQ(entry()->cur_addr, at_mark + 2);
  EXPECT_EQ(c_vktapp(kUnit), 0);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  write(50);
  reopen("STD+R/O");
  EXPECT_EQ(group(), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(c_vkteof(kUnit), 1);
  EXPECT_EQ(group(), (std::vector<int>{40, 50}));
  const std::vector<Object> objs = objects_of(file_words(path_));
  EXPECT_EQ(objs.back().type, 0x7Fu);
}

TEST_F(SequentialTest, TwoRecordsSkippedThreeTimesEndOnTheEndMark) {
  open();
  write(1);
  write(2);
  ASSERT_EQ(c_vktrwd(kUnit), 0);
  c_vktopc("MSGLVL", "INFORM", 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktskp(kUnit, 3), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "c_vktskp: (unit 61) skip to end of file\n");
  c_vktopc("MSGLVL", "WARNIN", 0);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  // The next record goes over the end mark, after the two.
  write(3);
  reopen("STD+R/O");
  EXPECT_EQ(group(), (std::vector<int>{1, 2, 3}));
}

TEST_F(SequentialTest, AppendOnANewFileStaysAtTheStart) {
  open();
  EXPECT_EQ(c_vktapp(kUnit), 0);
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);
  EXPECT_EQ(entry()->next_write, kFirstRecord);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  EXPECT_EQ(c_vktskp(kUnit, -1), 0);
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);
}

TEST_F(SequentialTest, EveryLevelFrom1To15AndNoOther) {
  open();
  for (int level = 1; level <= 14; ++level) {
    write(level);
    ASSERT_EQ(c_vktweo(kUnit, level), 0);
  }
  write(15);
  ASSERT_EQ(c_vktweo(kUnit, 15), 0);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  c_vktopc("MSGLVL", "FATALE", 0);
  EXPECT_EQ(c_vktweo(kUnit, 16), -36);
  EXPECT_EQ(c_vktweo(kUnit, 0), -36);
  EXPECT_EQ(c_vktweo(kUnit, -3), -36);
  c_vktopc("MSGLVL", "WARNIN", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktweo(kUnit, 16), -36);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** ERROR #36 from module c_vktweo: level = 16 must be between 1 and 15\n");

  reopen("STD+R/O");
  for (int level = 1; level <= 14; ++level) {
    EXPECT_EQ(group(), std::vector<int>{level});
    EXPECT_EQ(c_vkteof(kUnit), level);
  }
  EXPECT_EQ(group(), std::vector<int>{15});
  EXPECT_EQ(c_vkteof(kUnit), 15);
  // Skipping back over the whole file meets every mark on the way.
  ASSERT_EQ(c_vktskp(kUnit, -1), 0);
  EXPECT_EQ(record_here(), 15);
  for (int level = 14; level >= 1; --level) {
    SCOPED_TRACE(level);
    ASSERT_EQ(c_vktskp(kUnit, -10), 0);  // onto the mark right before
    EXPECT_EQ(c_vkteof(kUnit), level);
    ASSERT_EQ(c_vktskp(kUnit, -1), 0);  // the record before the mark
    EXPECT_EQ(record_here(), level);
    EXPECT_EQ(c_vkteof(kUnit), 0);
  }
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);
}

TEST_F(SequentialTest, RandomFilesAnswerWithWarnings) {
  open("STD+RND", "RND");
  write(1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktrwd(kUnit), -37);
  EXPECT_EQ(c_vktskp(kUnit, 1), -37);
  EXPECT_EQ(c_vktapp(kUnit), -37);
  EXPECT_EQ(c_vktweo(kUnit, 2), -37);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("*** WARNING #37 from module c_vktrwd: file (unit=61) is not sequential\n"),
            std::string::npos);
  EXPECT_NE(err.find("from module c_vktweo"), std::string::npos);
  EXPECT_EQ(c_vkteof(kUnit), 0);
  // Printed only down to the warning level.
  c_vktopc("MSGLVL", "ERRORS", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktskp(kUnit, -1), -37);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(SequentialTest, UnitsThatAreNotOpenOrNotStandard) {
  c_vktopc("MSGLVL", "FATALE", 0);
  EXPECT_EQ(c_vktrwd(kUnit), -29);
  EXPECT_EQ(c_vktskp(kUnit, 1), -29);
  EXPECT_EQ(c_vktapp(kUnit), -29);
  EXPECT_EQ(c_vktweo(kUnit, 1), -29);
  EXPECT_EQ(c_vkteof(kUnit), -29);
  int u = kUnit;
  ASSERT_EQ(c_fnom(&u, path_.c_str(), "STD+SEQ", 0), 0);
  EXPECT_EQ(c_vktrwd(kUnit), -1);
  EXPECT_EQ(c_vkteof(kUnit), -1);
  EXPECT_EQ(c_vktweo(kUnit, 1), -1);
  c_fclos(kUnit);

  // A sequential directory file of another application.
  ASSERT_EQ(c_fnom(&u, path_.c_str(), "RND+SEQ", 0), 0);
  uint32_t key[2] = {zep::xdf::pack_chars4("KEY1"), (31u << 19) | (31u << 14)};
  ASSERT_GE(c_xdfopn(kUnit, "CREATE", key, 1, nullptr, 0, "ABCD"), 0);
  c_vktopc("MSGLVL", "WARNIN", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktrwd(kUnit), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** ERROR #1 from module c_vktrwd: file (unit=61) is not a ZEP standard file\n");
  c_xdfcls(kUnit);
  c_fclos(kUnit);
}

TEST_F(SequentialTest, MarksNeedAWritableFile) {
  open();
  write(1);
  reopen("STD+SEQ+R/O");
  c_vktopc("MSGLVL", "FATALE", 0);
  const std::vector<uint32_t> before = file_words(path_);
  EXPECT_EQ(c_vktweo(kUnit, 2), -7);
  close();
  EXPECT_EQ(file_words(path_), before);
}

TEST_F(SequentialTest, TwinsForwardTheirArguments) {
  open();
  write(1);
  write(2);
  int unit = kUnit, n = -1, level = 4;
  EXPECT_EQ(vktrwd_(&unit), 0);
  EXPECT_EQ(vktapp_(&unit), 0);
  EXPECT_EQ(vkteof_(&unit), 15);
  EXPECT_EQ(vktweo_(&unit, &level), 0);
  EXPECT_EQ(vktskp_(&unit, &n), 0);
  EXPECT_EQ(vkteof_(&unit), 4);
}

// The framing of a file of three records, then damaged in one place.
class DamagedFileTest : public SequentialTest {
 protected:
  void SetUp() override {
    SequentialTest::SetUp();
    open();
    write(1);
    write(2);
    write(3);
    close();
    words_ = file_words(path_);
    for (const Object &o : objects_of(words_))
      if (o.type == 1) records_.push_back(o);
    ASSERT_EQ(records_.size(), 3u);
    c_vktopc("TOLRNC", "CATAST", 0);
    c_vktopc("MSGLVL", "CATAST", 0);
  }
  // Word address of the trailer of record i.
  int64_t trailer(int i) const { return records_[i].address + 2 * records_[i].length; }
  void damage(int64_t address, uint32_t value) {
    words_[address - 1] = value;
    put_file_words(path_, words_);
    open("STD+R/O");
  }
  std::vector<uint32_t> words_;
  std::vector<Object> records_;
};

TEST_F(DamagedFileTest, ATrailerThatIsNotOneStopsTheForwardSkip) {
  damage(trailer(0) + 1, 0);  // its 0xFFFFFFFF word
  EXPECT_EQ(c_vktskp(kUnit, 2), -39);
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);
}

TEST_F(DamagedFileTest, ATrailerNamingAnotherRecordStopsTheForwardSkip) {
  damage(trailer(1) + 3, static_cast<uint32_t>((records_[0].address - 1) / 2 + 1));
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);
  EXPECT_EQ(c_vktskp(kUnit, 1), -39);
}

TEST_F(DamagedFileTest, ABackwardSkipNeverMovesForwardOrBeforeTheFirstRecord) {
  const int64_t end = trailer(2) + 4;
  for (uint32_t bad : {static_cast<uint32_t>((trailer(2) - 1) / 2 + 1),  // the trailer itself
                       static_cast<uint32_t>((end - 1) / 2 + 1),         // the end mark
                       0u, 1u}) {                                        // before the first record
    SCOPED_TRACE(bad);
    damage(trailer(2) + 3, bad);
    ASSERT_EQ(c_vktapp(kUnit), 0);
    ASSERT_EQ(entry()->cur_addr, end);
    EXPECT_EQ(c_vktskp(kUnit, -1), -39);
    EXPECT_EQ(entry()->cur_addr, end);
    close();
  }
}

TEST_F(DamagedFileTest, ABackwardSkipChecksTheRecordItLandsOn) {
  // Names the unit just after record 2's start: no record header there.
  damage(trailer(2) + 3, static_cast<uint32_t>((records_[1].address - 1) / 2 + 2));
  ASSERT_EQ(c_vktapp(kUnit), 0);
  c_vktopc("MSGLVL", "ERRORS", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktskp(kUnit, -1), -39);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("postfix address"), std::string::npos) << err;
}

TEST_F(DamagedFileTest, ABackwardSkipNeedsATrailerBeforeThePosition) {
  damage(trailer(1), 0x01000002);      // type 1 instead of 0
  ASSERT_EQ(c_vktskp(kUnit, 2), -39);  // forward sees it too
  close();
  open("STD+R/O");
  ASSERT_EQ(c_vktapp(kUnit), 0);
  EXPECT_EQ(c_vktskp(kUnit, -1), 0);
  EXPECT_EQ(c_vktskp(kUnit, -1), -39);
}

TEST_F(DamagedFileTest, ALengthOfZeroIsADamagedFileNotALoop) {
  damage(records_[1].address, 0x01000000);
  EXPECT_EQ(c_vktapp(kUnit), -39);
  ASSERT_EQ(c_vktrwd(kUnit), 0);
  EXPECT_EQ(c_vktskp(kUnit, 3), -39);
}

TEST_F(DamagedFileTest, ALengthPastTheEndIsRefused) {
  damage(records_[2].address, 0x01FFFFFF);
  EXPECT_EQ(c_vktapp(kUnit), -39);
  ASSERT_EQ(c_vktrwd(kUnit), 0);
  EXPECT_EQ(c_vktskp(kUnit, 2), 0);
  EXPECT_EQ(c_vktskp(kUnit, 1), -39);
}

TEST_F(DamagedFileTest, AFileCutAfterARecordStopsTheSkipWithAnError) {
  words_.resize(static_cast<size_t>(trailer(1) + 3));  // records 1 and 2 and their trailers
  put_file_words(path_, words_);
  open("STD+R/O");
  c_vktopc("MSGLVL", "ERRORS", 0);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_vktskp(kUnit, 5), 0);
  testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(entry()->cur_addr, trailer(1) + 4);
  EXPECT_NE(err.find("file (unit=" + std::to_string(kUnit) + ") ends at address " +
                     std::to_string(trailer(1) + 4) + " without its end mark"),
            std::string::npos)
      << err;
}

TEST_F(DamagedFileTest, UnderTheDefaultToleranceAFramingErrorEndsTheProcess) {
  damage(trailer(0) + 1, 0);
  c_vktopc("TOLRNC", "ERRORS", 0);
  EXPECT_EXIT(c_vktskp(kUnit, 1), testing::ExitedWithCode(39), "");
}

// The sequential files of an independent writer, among the golden files.
std::string golden(const char *name) { return zep_test::golden_file(name); }

TEST_F(SequentialTest, GoldenFilesAreSkippedRecordByRecord) {
  // Two records, a mark of level 11, two more records, the end of data.
  const std::string file = golden("sequential_eof.vkt");
  if (access(file.c_str(), R_OK) != 0) GTEST_SKIP() << "no golden file " << file;
  open("STD+RND+R/O", "RND", file);
  ASSERT_EQ(c_vktskp(kUnit, 1), 0);
  EXPECT_EQ(record_here(), 850);
  EXPECT_EQ(c_vktskp(kUnit, 5), 0);
  EXPECT_EQ(c_vkteof(kUnit), 11);
  const int64_t third = entry()->cur_addr + 2;  // on the mark; the third record behind it
  EXPECT_EQ(group(), std::vector<int>{});
  EXPECT_GE(record_here(), 0);
  EXPECT_EQ(entry()->cur_addr, third);
  EXPECT_EQ(c_vktapp(kUnit), 0);
  EXPECT_EQ(c_vkteof(kUnit), 15);
  EXPECT_EQ(c_vktskp(kUnit, -2), 0);
  EXPECT_EQ(entry()->cur_addr, third);
  EXPECT_EQ(c_vktskp(kUnit, -1), 0);
  EXPECT_EQ(c_vkteof(kUnit), 11);
  EXPECT_EQ(entry()->cur_addr, third - 2);
  EXPECT_EQ(c_vktskp(kUnit, -2), 0);
  EXPECT_EQ(record_here(), 500);
  EXPECT_EQ(entry()->cur_addr, kFirstRecord);

  // The other one: seven records, one of them deleted, counted by skips.
  close();
  const std::string seven = golden("sequential.vkt");
  open("STD+RND+R/O", "RND", seven);
  int skipped = 0;
  int64_t before = -1;
  while (entry()->cur_addr != before) {
    before = entry()->cur_addr;
    ASSERT_EQ(c_vktskp(kUnit, 1), 0);
    if (entry()->cur_addr != before) ++skipped;
  }
  EXPECT_EQ(skipped, 8);
  EXPECT_EQ(c_vkteof(kUnit), 15);
}

TEST_F(SequentialTest, OldLayoutFilesArePositionedByTheir30WordHeaders) {
  // Four records of 30 units (the second deleted), then a mark of level 1.
  const std::string file = golden("old_sequential.vkt");
  if (access(file.c_str(), R_OK) != 0) GTEST_SKIP() << "no golden file " << file;
  open("STD+RND+R/O", "RND", file);
  ASSERT_EQ(entry()->old_format, 1);
  EXPECT_EQ(c_vktskp(kUnit, 2), 0);
  EXPECT_EQ(entry()->cur_addr, 121);
  EXPECT_EQ(c_vkteof(kUnit), 0);
  c_vktopc("MSGLVL", "INFORM", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_vktskp(kUnit, 5), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "c_vktskp: (unit 61) skip to end of file\n");
  c_vktopc("MSGLVL", "WARNIN", 0);
  EXPECT_EQ(entry()->cur_addr, 241);
  EXPECT_EQ(c_vkteof(kUnit), 1);
  EXPECT_EQ(c_vktapp(kUnit), 0);  // already on the mark
  EXPECT_EQ(entry()->cur_addr, 241);
  EXPECT_EQ(c_vkteof(kUnit), 1);
  // The headers name no previous block: a backward skip goes to the start.
  EXPECT_EQ(c_vktskp(kUnit, -1), 0);
  EXPECT_EQ(entry()->cur_addr, 1);
  EXPECT_EQ(c_vkteof(kUnit), 0);
  EXPECT_EQ(c_vktskp(kUnit, 1), 0);
  EXPECT_EQ(c_vktrwd(kUnit), 0);
  EXPECT_EQ(entry()->cur_addr, 1);
  // Converted files are read-only.
  c_vktopc("MSGLVL", "FATALE", 0);
  EXPECT_EQ(c_vktweo(kUnit, 1), -7);
}

}  // namespace
