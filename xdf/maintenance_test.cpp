// Maintenance calls: statistics and their printout, diagnosis, restore of
// a file left marked by a writer, record copy (with striping), bit fields.
#include "io/file_table.h"
#include "xdf/test_util.h"
#include "zep/xdf_maint.h"

using namespace xdf_test;

namespace {

constexpr uint32_t kAny = 0xFFFFFFFFu;

class Maintenance : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
  void TearDown() override {
    c_xdfopt("ERRTOLR", "ERROR", 0);
    c_xdfopt("MSGLVL", "INFORMATIF", 0);
    c_xdfopt("STRIPING", "", 1);
  }
  TempDir dir;

  // A random standard file of n records; record i has key words (i, 7)
  // and 2 + i % 3 data words.
  static void make_file(int iun, const std::string &path, int n, const char *attr = "RND",
                        const char *appl = "STDR") {
    OpenUnit u(iun, path, attr, "CREATE", appl);
    ASSERT_EQ(u.result(), 0);
    for (int i = 0; i < n; ++i) {
      std::vector<uint32_t> buf = record_buffer(40);
      uint32_t keys[16] = {};
      keys[0] = static_cast<uint32_t>(i);
      keys[1] = 7;
      ASSERT_EQ(c_xdfini(iun, buf.data(), 1, keys, 16, nullptr, 0), 0);
      uint32_t d[4] = {0xA0u + i, 1, 2, 3};
      ASSERT_EQ(c_xdfadd(buf.data(), d, 2 + i % 3, 32, 0), 0);
      ASSERT_EQ(c_xdfput(iun, 0, buf.data()), 0);
    }
  }

  // First key word of every live record of an open unit, in file order.
  static std::vector<uint32_t> first_keys(int iun) {
    std::vector<uint32_t> out;
    uint32_t keys[16];
    for (auto &k : keys) k = kAny;
    for (int h = c_xdfloc(iun, 0, keys, 16); h > 0 && out.size() < 1000;
         h = c_xdfloc(iun, -1, nullptr, 0)) {
      int a, l, t;
      uint32_t k[16];
      EXPECT_EQ(c_xdfprm(h, &a, &l, &t, k, 16), 0);
      out.push_back(k[0]);
    }
    return out;
  }
};

TEST_F(Maintenance, StatisticsOfOpenAndClosedFilesAgree) {
  const std::string path = dir.file("s.vkt");
  make_file(41, path, 3);
  ASSERT_EQ(bind(41, path, "RND"), 0);
  int32_t closed[12];
  uint32_t pri[4], aux[4];
  char version[5], appl[5];
  ASSERT_EQ(c_xdfsta(41, closed, 12, pri, 2, aux, 2, version, appl), 0);
  // The header of a 26-unit standard file with one page of 2308 units and
  // three records of 10 + 1, 10 + 2 (rounded) and 10 + 2 units.
  EXPECT_EQ(closed[0], 26 + 2308 + 11 + 12 + 12);
  EXPECT_EQ(closed[2], 3);
  EXPECT_EQ(closed[3], 1);
  EXPECT_EQ(closed[4], 27);
  EXPECT_EQ(closed[5], 12);
  EXPECT_EQ(closed[6], 16);
  EXPECT_EQ(closed[7], 9);
  EXPECT_EQ(closed[8], 2);
  EXPECT_EQ(closed[9], 1);
  EXPECT_EQ(closed[10], 0);
  EXPECT_EQ(closed[11], 3);
  EXPECT_STREQ(version, "XDF0");
  EXPECT_STREQ(appl, "STDR");
  // npri 2: the descriptors of SF01 and SF02; the info keys AXI1, AXI2.
  EXPECT_EQ(pri[0], 0x53463031u);
  EXPECT_EQ(pri[1], 0x00FFC000u);
  EXPECT_EQ(pri[2], 0x53463032u);
  EXPECT_EQ(pri[3], 0x01FFC000u);
  EXPECT_EQ(aux[0], 0x41584931u);
  EXPECT_EQ(aux[2], 0x41584932u);
  EXPECT_EQ(aux[3], 0x01FFC000u);
  // Read without opening the unit as a directory file.
  EXPECT_EQ(zep::xdf::file_index(41), -1);

  StdKeys k;
  ASSERT_EQ(c_xdfopn(41, "READ", k.pri, 16, k.aux, 2, "STDR"), 3);
  int32_t open[12];
  ASSERT_EQ(c_xdfsta(41, open, 12, nullptr, 0, nullptr, 0, version, appl), 0);
  EXPECT_TRUE(std::equal(open, open + 12, closed));
  // nstat outside 0..12 is refused; 0 still gives version and signature.
  EXPECT_EQ(c_xdfsta(41, open, 13, nullptr, 0, nullptr, 0, version, appl), zep::xdf::ERR_BAD_STATS);
  std::memset(version, 0, sizeof version);
  EXPECT_EQ(c_xdfsta(41, nullptr, 0, nullptr, 0, nullptr, 0, version, appl), 0);
  EXPECT_STREQ(version, "XDF0");
  c_xdfcls(41);
  c_fclos(41);
  EXPECT_EQ(c_xdfsta(41, open, 12, nullptr, 0, nullptr, 0, version, appl), zep::xdf::ERR_NOT_FNOM);
}

TEST_F(Maintenance, StatisticsPrintout) {
  const std::string path = dir.file("p.vkt");
  make_file(42, path, 2);
  ASSERT_EQ(bind(42, path, "RND"), 0);
  int32_t st[12];
  uint32_t pri[32], aux[4];
  char version[5], appl[5];
  ASSERT_EQ(c_xdfsta(42, st, 12, pri, 16, aux, 2, version, appl), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_xdfimp(42, st, 12, pri, aux, version, appl), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string name = zep::io::file_entry(zep::io::file_index_of(42)).file_name;
  std::string expect = "\n  Statistiques pour le fichier 42, Nom " + name + "\n";
  expect +=
      "  Taille du fichier \t\t\t 2357\n"
      "  Nombre de reecriture \t\t\t 0\n"
      "  Nombre d'extensions \t\t\t 2\n"
      "  Nombre de pages de Repertoires \t 1\n"
      "  Addr. derniere page de repertoire \t 27\n"
      "  Taille du plus gros enregistrement \t 12\n"
      "  Nombre d'enregistrements effaces \t 0\n"
      "  Nombre d'enregistrements valides \t 2\n"
      "  Version du progiciel XDF \t\t XDF0\n"
      "  Nom de l'application \t\t\t STDR\n"
      "\n  Definition des cles primaires \n\n"
      " \tNom \tBit1 \tLongueur \tType \n\n";
  for (int n = 1; n <= 16; ++n) {
    char line[64];
    std::snprintf(line, sizeof line, " \tSF%02d \t%d \t32 \t\t0 \n", n, 32 * n - 1);
    expect += line;
  }
  expect +=
      "\n  Definition des cles auxiliaires \n\n"
      " \tNom \tBit1 \tLongueur \tType \n\n"
      " \tAXI1 \t31 \t32 \t\t0 \n"
      " \tAXI2 \t63 \t32 \t\t0 \n";
  EXPECT_EQ(out, expect);
  c_fclos(42);
  EXPECT_EQ(c_xdfimp(42, st, 12, pri, aux, version, appl), zep::xdf::ERR_NOT_FNOM);
}

TEST_F(Maintenance, DiagnosisOfSoundAndDamagedFiles) {
  const std::string path = dir.file("d.vkt");
  make_file(43, path, 4);
  ASSERT_EQ(bind(43, path, "RND"), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_qdfdiag(43), 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("\nStatistics from file header for "), std::string::npos);
  EXPECT_NE(out.find("\t number of valid records         4\n"), std::string::npos);
  EXPECT_NE(out.find("\t application signature           STDR\n"), std::string::npos);
  EXPECT_NE(out.find("\n **** This file is in OK ****\n"), std::string::npos);
  EXPECT_EQ(out.find("Statistics from file scan"), std::string::npos);
  c_fclos(43);

  // A record of 20 units appended by hand, its header stating its own
  // address; the file header knows nothing of it.
  std::vector<uint32_t> w = read_words(path);
  const uint32_t unit = static_cast<uint32_t>(w.size() / 2 + 1);
  std::vector<uint32_t> rec(40, 0);
  rec[0] = 0x01000000u | 20;
  rec[1] = unit;
  w.insert(w.end(), rec.begin(), rec.end());
  write_words(path, w);
  ASSERT_EQ(bind(43, path, "RND"), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_qdfdiag(43), 0);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("\n **** This file has been dammaged ****\n"), std::string::npos);
  const size_t scan = out.find("\nStatistics from file scan\n");
  ASSERT_NE(scan, std::string::npos);
  const std::string tail = out.substr(scan);
  EXPECT_EQ(tail,
            "\nStatistics from file scan\n"
            "\t number of extensions            5\n"
            "\t number of directory pages       1\n"
            "\t size of biggest record          20\n"
            "\t number erasures                 0\n"
            "\t number of valid records         5\n");
  c_fclos(43);

  // An object of length 1 in a random file is an invalid length.
  w[w.size() - 40] = 0x01000001u;
  write_words(path, w);
  ASSERT_EQ(bind(43, path, "RND"), 0);
  c_xdfopt("ERRTOLR", "FATAL", 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_qdfdiag(43), zep::xdf::ERR_BAD_LENGTH);
  testing::internal::GetCapturedStdout();
  c_fclos(43);
}

TEST_F(Maintenance, DiagnosisOfAnOpenFileAndOfASequentialFile) {
  const std::string path = dir.file("q.vkt");
  make_file(44, path, 3, "RND+SEQ", "STDS");  // no directory: records, trailers, end mark
  OpenUnit u(44, path, "RND", "R-W", "STDS");
  ASSERT_EQ(u.result(), 3);
  ASSERT_EQ(u.entry().xdf_seq, 1);
  // A logical end-of-file mark and a deleted record do not upset the scan.
  uint32_t keys[16];
  for (auto &k : keys) k = kAny;
  const int h = c_xdfloc(44, 0, keys, 16);
  ASSERT_GT(h, 0);
  ASSERT_EQ(c_xdfdel(h), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_qdfdiag(44), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  // The deletion is counted in the header in memory and marked on disk at
  // once: header and scan agree.
  EXPECT_NE(out.find("\t number of directory pages       0\n"), std::string::npos);
  EXPECT_NE(out.find("\t number erasures                 1\n"), std::string::npos);
  EXPECT_NE(out.find("\t number of valid records         2\n"), std::string::npos);
  EXPECT_NE(out.find("\n **** This file is in OK ****\n"), std::string::npos);
  // The open file keeps its position and stays open.
  EXPECT_GE(zep::xdf::file_index(44), 0);
}

TEST_F(Maintenance, RestoreClearsTheWriterMark) {
  const std::string src = dir.file("r.vkt"), dst = dir.file("r2.vkt");
  make_file(45, src, 5);
  std::vector<uint32_t> w = read_words(src);
  w[14] = 1;  // left by a writer in WRITE mode
  write_words(src, w);
  write_words(dst, std::vector<uint32_t>(50000, 0x12345678u));  // longer old contents
  c_xdfopt("ERRTOLR", "FATAL", 0);
  {
    // A unit that cannot take the writer's lock (read-only) still heeds
    // the mark when it asks to write.
    OpenUnit busy(45, src, "RND+R/O", "R-W");
    EXPECT_EQ(busy.result(), zep::xdf::ERR_IN_USE);
  }
  c_xdfopt("ERRTOLR", "ERROR", 0);
  ASSERT_EQ(bind(45, src, "RND"), 0);
  ASSERT_EQ(bind(46, dst, "RND"), 0);
  EXPECT_EQ(c_qdfrstr(45, 46), 0);
  // Both units are closed; the source is untouched.
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(45)).open, 0);
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(46)).open, 0);
  EXPECT_EQ(read_words(src), w);
  std::vector<uint32_t> copy = read_words(dst);
  ASSERT_EQ(copy.size(), w.size());
  std::vector<uint32_t> expect = w;
  expect[14] = 0;
  EXPECT_EQ(copy, expect);
  c_fclos(45);
  c_fclos(46);
  OpenUnit again(46, dst, "RND", "R-W");
  EXPECT_EQ(again.result(), 5);
  EXPECT_EQ(first_keys(46), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
}

TEST_F(Maintenance, RestoreRefusesWhatDoesNotFit) {
  const std::string src = dir.file("b.vkt"), dst = dir.file("b2.vkt");
  make_file(47, src, 1);
  const std::vector<uint32_t> good = read_words(src);
  ASSERT_EQ(bind(47, src, "RND"), 0);
  ASSERT_EQ(bind(48, dst, "RND"), 0);
  // The same file on both sides would be destroyed by the copy.
  ASSERT_EQ(bind(49, src, "RND"), 0);
  EXPECT_EQ(c_qdfrstr(47, 49), zep::xdf::ERR_DIFFERENT_FILES);
  c_fclos(49);
  c_xdfopt("ERRTOLR", "FATAL", 0);
  struct Case {
    int word;
    uint32_t value;
  };
  // A header of more than 2048 words, a header past the end of the file,
  // a file_size larger than the file.
  for (const Case c :
       {Case{0, 1100u}, Case{0, static_cast<uint32_t>(good.size())}, Case{4, 5000u}}) {
    std::vector<uint32_t> bad = good;
    bad[c.word] = c.value;
    write_words(src, bad);
    EXPECT_EQ(c_qdfrstr(47, 48), zep::xdf::ERR_BAD_LENGTH) << c.word << " " << c.value;
  }
  write_words(src, std::vector<uint32_t>(100, 0));
  EXPECT_EQ(c_qdfrstr(47, 48), zep::xdf::ERR_NOT_XDF);
  c_fclos(47);
  c_fclos(48);
  EXPECT_EQ(c_qdfrstr(47, 48), zep::xdf::ERR_NOT_FNOM);
}

TEST_F(Maintenance, CopyIntoANewUnit) {
  const std::string src = dir.file("u.vkt"), dst = dir.file("u2.vkt");
  make_file(50, src, 6);
  ASSERT_EQ(bind(50, src, "RND"), 0);
  {
    // One record deleted in the source is not copied.
    StdKeys k;
    ASSERT_EQ(c_xdfopn(50, "R-W", k.pri, 16, k.aux, 2, "STDR"), 6);
    uint32_t keys[16];
    for (auto &x : keys) x = kAny;
    keys[0] = 2;
    const int h = c_xdfloc(50, 0, keys, 16);
    ASSERT_GT(h, 0);
    ASSERT_EQ(c_xdfdel(h), 0);
    ASSERT_EQ(c_xdfcls(50), 0);
  }
  ASSERT_EQ(bind(51, dst, "RND"), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_xdfuse(50, 51), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  // At the default message level the source statistics come first.
  EXPECT_EQ(out.find("\n  Statistiques pour le fichier 50"), 0u);
  EXPECT_NE(out.find(">>> c_xdfuse: copy of 5 records from unit 50 to unit 51 <<<\n"),
            std::string::npos);
  // The source opened here is closed again; the destination stays open.
  EXPECT_EQ(zep::xdf::file_index(50), -1);
  ASSERT_GE(zep::xdf::file_index(51), 0);
  EXPECT_EQ(first_keys(51), (std::vector<uint32_t>{0, 1, 3, 4, 5}));
  // The records keep their data.
  uint32_t keys[16];
  for (auto &x : keys) x = kAny;
  keys[0] = 4;
  const int h = c_xdfloc(51, 0, keys, 16);
  ASSERT_GT(h, 0);
  std::vector<uint32_t> buf = record_buffer(60);
  ASSERT_EQ(c_xdfget(h, buf.data()), 0);
  EXPECT_EQ(buf[9 + 20], 0xA4u);
  EXPECT_EQ(buf[9 + 21], 1u);
  ASSERT_EQ(c_xdfcls(51), 0);

  // Into an existing file of the same keys: appended.
  c_xdfopt("MSGLVL", "WARNING", 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_xdfuse(50, 51), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            ">>> c_xdfuse: copy of 5 records from unit 50 to unit 51 <<<\n");
  EXPECT_EQ(first_keys(51).size(), 10u);
  c_xdfcls(51);
  c_fclos(50);
  c_fclos(51);
}

TEST_F(Maintenance, CopyWithStripingSpreadsTheRecords) {
  const std::string src = dir.file("v.vkt");
  make_file(52, src, 7);
  ASSERT_EQ(bind(52, src, "RND"), 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(bind(53 + i, dir.file("v" + std::to_string(i)), "RND"), 0);
  ASSERT_EQ(c_xdfopt("STRIPING", "", 3), 0);
  c_xdfopt("MSGLVL", "WARNING", 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_xdfuse(52, 53), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(first_keys(53), (std::vector<uint32_t>{0, 3, 6}));
  EXPECT_EQ(first_keys(54), (std::vector<uint32_t>{1, 4}));
  EXPECT_EQ(first_keys(55), (std::vector<uint32_t>{2, 5}));
  for (int i = 0; i < 3; ++i) {
    c_xdfcls(53 + i);
    c_fclos(53 + i);
  }
  c_fclos(52);
}

TEST_F(Maintenance, CopyRefusesOtherKeysAndRestoresTheLevels) {
  const std::string src = dir.file("w.vkt"), dst = dir.file("w2.vkt");
  make_file(56, src, 2);
  {
    // A destination of another key layout: one generic key.
    ASSERT_EQ(bind(57, dst, "RND"), 0);
    uint32_t d0, d1;
    c_xdfcle("ONE", 31, 32, 0, &d0, &d1);
    uint32_t pri[2] = {d0, d1};
    ASSERT_EQ(c_xdfopn(57, "CREATE", pri, 1, nullptr, 0, "GENE"), 0);
    ASSERT_EQ(c_xdfcls(57), 0);
    c_fclos(57);
  }
  ASSERT_EQ(bind(56, src, "RND"), 0);
  ASSERT_EQ(bind(57, dst, "RND"), 0);
  c_xdfopt("ERRTOLR", "FATAL", 0);
  c_xdfopt("MSGLVL", "FATAL", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_xdfuse(56, 57), zep::xdf::ERR_DIFFERENT_FILES);
  const std::string err = testing::internal::GetCapturedStderr();
  // Lowered to 3 for the copy: the refusal is printed...
  EXPECT_NE(err.find("incompatible source (unit 56) and destination (unit 57) files"),
            std::string::npos);
  // ...and both settings are back afterwards.
  EXPECT_EQ(zep::xdf::settings().xdf_toler, 4);
  EXPECT_EQ(zep::xdf::settings().msg_level, 4);
  EXPECT_EQ(zep::xdf::file_index(56), -1);
  c_xdfcls(57);
  c_fclos(56);
  c_fclos(57);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_xdfuse(56, 57), zep::xdf::ERR_NOT_FNOM);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("source file is not connected with fnom"),
            std::string::npos);
}

TEST_F(Maintenance, CopyAppendsBehindTheRecordsOfASequentialFile) {
  const std::string src = dir.file("x.vkt"), dst = dir.file("x2.vkt");
  make_file(59, src, 3);
  make_file(60, dst, 2, "RND+SEQ", "STDS");
  ASSERT_EQ(bind(59, src, "RND"), 0);
  ASSERT_EQ(bind(60, dst, "RND"), 0);
  c_xdfopt("MSGLVL", "WARNING", 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(c_xdfuse(59, 60), 0);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(c_xdfcls(60), 0);
  c_fclos(59);
  c_fclos(60);
  OpenUnit u(60, dst, "RND", "READ", "STDS");
  ASSERT_EQ(u.result(), 5);
  EXPECT_EQ(first_keys(60), (std::vector<uint32_t>{0, 1, 0, 1, 2}));
}

TEST_F(Maintenance, OldLayoutsHaveNothingToDiagnose) {
  const std::string path = std::string(kGolden) + "old_random.vkt";
  if (!exists(path)) GTEST_SKIP() << "golden file absent";
  OpenUnit u(61, path, "RND+R/O", "READ");
  ASSERT_EQ(u.result(), 0);
  int32_t st[12];
  char version[5], appl[5];
  // The statistics are those of the header made in memory.
  ASSERT_EQ(c_xdfsta(61, st, 12, nullptr, 0, nullptr, 0, version, appl), 0);
  EXPECT_EQ(st[3], 1);
  EXPECT_EQ(st[6], 16);
  EXPECT_STREQ(appl, "STDF");
  c_xdfopt("ERRTOLR", "FATAL", 0);
  EXPECT_EQ(c_qdfdiag(61), zep::xdf::ERR_NOT_XDF);
}

TEST(BitField, PutStoresOneFieldAndKeepsTheRest) {
  uint32_t w[2] = {0xFFFFFFF8u, 0};
  ASSERT_EQ(c_qdfput(w, 5, 31, 3), 0);
  EXPECT_EQ(w[0], 0xFFFFFFFDu);  // bits 0-2: 1, 0, 1
  EXPECT_EQ(w[1], 0u);
  // Position 0 is the most significant bit of word 0.
  ASSERT_EQ(c_qdfput(w, 0, 0, 1), 0);
  EXPECT_EQ(w[0], 0x7FFFFFFDu);
  // A field in the second word, the value cut to its width.
  ASSERT_EQ(c_qdfput(w, 0x1FF, 39, 8), 0);
  EXPECT_EQ(w[1], 0xFF000000u);
  // A width of 32 gives an empty mask: nothing changes.
  ASSERT_EQ(c_qdfput(w, 0, 63, 32), 0);
  EXPECT_EQ(w[1], 0xFF000000u);
  EXPECT_EQ(c_qdfput(w, 1, -1, 1), -1);
  // The by-reference twin forwards.
  uint32_t v = 3;
  int pos = 63, nb = 2;
  ASSERT_EQ(qdfput_(w, &v, &pos, &nb), 0);
  EXPECT_EQ(w[1], 0xFF000003u);
}

TEST_F(Maintenance, TwinsFillBlankPaddedFields) {
  const std::string path = dir.file("t.vkt");
  make_file(58, path, 1);
  ASSERT_EQ(bind(58, path, "RND"), 0);
  int iun = 58, nstat = 12, npri = 0, naux = 0;
  int32_t st[12];
  char version[8], appl[6];
  ASSERT_EQ(xdfsta_(&iun, st, &nstat, nullptr, &npri, nullptr, &naux, version, appl, 8, 6), 0);
  EXPECT_EQ(std::string(version, 8), "XDF0    ");
  EXPECT_EQ(std::string(appl, 6), "STDR  ");
  EXPECT_EQ(st[11], 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(qdfdiag_(&iun), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("This file is in OK"), std::string::npos);
  testing::internal::CaptureStdout();
  EXPECT_EQ(xdfimp_(&iun, st, &nstat, nullptr, nullptr, version, appl, 8, 6), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("  Version du progiciel XDF \t\t XDF0\n"),
            std::string::npos);
  c_fclos(58);
}

}  // namespace
