// The table of open files, error reporting with its level and tolerance,
// options, the open and close failures, and the by-reference entries.
#include "xdf/test_util.h"

using namespace xdf_test;

namespace {

class Table : public ::testing::Test {
 protected:
  void SetUp() override { use_copy_builders(); }
  void TearDown() override {
    c_xdfopt("ERRTOLR", "ERROR", 0);
    c_xdfopt("MSGLVL", "INFORMATIF", 0);
  }
  TempDir dir;
};

TEST_F(Table, ErrorMessageFormatLevelsAndStreams) {
  std::snprintf(zep::xdf::errmsg(), zep::xdf::kErrmsgSize, "something %d", 5);
  testing::internal::CaptureStderr();
  EXPECT_EQ(zep::xdf::error_msg("c_test", -7, 3), -7);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** ERROR #7 from module c_test: something 5\n");
  // Below the message level: nothing printed.
  testing::internal::CaptureStderr();
  EXPECT_EQ(zep::xdf::error_msg("c_test", -7, 0), -7);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // Severity 0 goes to standard output once the level allows it.
  c_xdfopt("MSGLVL", "TRIVIAL", 0);
  testing::internal::CaptureStdout();
  zep::xdf::error_msg("c_test", -1, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "*** TRIVIAL #1 from module c_test: something 5\n");
  // Above the tolerance the process ends with -code.
  EXPECT_EXIT(zep::xdf::error_msg("c_test", -21, 4), ::testing::ExitedWithCode(21),
              "FATAL ERROR #21 from module c_test");
  c_xdfopt("ERRTOLR", "WARNING", 0);
  EXPECT_EXIT(zep::xdf::report("c_x", -9, 3, "boom"), ::testing::ExitedWithCode(9),
              "ERROR #9 from module c_x: boom");
  c_xdfopt("ERRTOLR", "SYSTEM", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(zep::xdf::report("c_x", -36, 5, "x"), -36);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** SYSTEM SOFTWARE ERROR #36 from module c_x: x\n");
}

TEST_F(Table, Options) {
  char value[16];
  int number = 0;
  ASSERT_EQ(c_xdfopt("MSGLVL", "TRIVIAL", 0), 0);
  ASSERT_EQ(c_xdfgop("MSGLVL", value, &number), 0);
  EXPECT_STREQ(value, "TRIVIAL");
  ASSERT_EQ(c_xdfopt("msglvl", "informatif", 0), 0);
  ASSERT_EQ(c_xdfgop("MSGLVL", value, &number), 0);
  EXPECT_STREQ(value, "INFORM");
  // "FATAL ERROR" holds "ERROR", tested before "FATAL".
  ASSERT_EQ(c_xdfopt("ERRTOLR", "FATAL ERROR", 0), 0);
  EXPECT_EQ(zep::xdf::settings().xdf_toler, 3);
  ASSERT_EQ(c_xdfopt("ERRTOLR", "FATAL", 0), 0);
  ASSERT_EQ(c_xdfgop("errtolr", value, &number), 0);
  EXPECT_STREQ(value, "ERRFATAL");
  ASSERT_EQ(c_xdfopt("ERRTOLR", "SYSTEM", 0), 0);
  EXPECT_EQ(zep::xdf::settings().xdf_toler, 5);
  EXPECT_EQ(c_xdfopt("ERRTOLR", "system", 0), zep::xdf::ERR_BAD_OPTION);  // no lower-case form
  EXPECT_EQ(c_xdfopt("ERRTOLR", "nothing", 0), zep::xdf::ERR_BAD_OPTION);
  EXPECT_EQ(c_xdfopt("COLOR", "ERROR", 0), zep::xdf::ERR_BAD_OPTION);
  EXPECT_EQ(c_xdfgop("COLOR", value, &number), zep::xdf::ERR_BAD_OPTION);
  ASSERT_EQ(c_xdfopt("STRIPING", "", 4), 0);
  EXPECT_EQ(zep::xdf::settings().xdf_nsplit, 4);
  // The by-reference forms with blank-padded fields.
  int one = 0;
  ASSERT_EQ(xdfopt_("MSGLVL  ", "WARNING   ", &one, 8, 10), 0);
  EXPECT_EQ(zep::xdf::settings().msg_level, 2);
  char field[10];
  ASSERT_EQ(xdfgop_("MSGLVL", field, &one, 6, 10), 0);
  EXPECT_EQ(std::string(field, 10), "WARNING   ");
}

TEST_F(Table, OpenFailuresReleaseTheSlot) {
  StdKeys k;
  EXPECT_EQ(c_xdfopn(0, "READ", k.pri, 16, k.aux, 2, "STDR"), zep::xdf::ERR_BAD_UNIT);
  EXPECT_EQ(c_xdfopn(1000, "READ", k.pri, 16, k.aux, 2, "STDR"), zep::xdf::ERR_BAD_UNIT);
  // Slot 0 belongs to the reserved unit.
  ASSERT_TRUE(zep::xdf::file_table()[0]);
  EXPECT_EQ(zep::xdf::file_table()[0]->iun, zep::xdf::kReservedUnit);
  EXPECT_EQ(c_xdfopn(91, "READ", k.pri, 16, k.aux, 2, "STDR"), zep::xdf::ERR_NOT_FNOM);
  EXPECT_EQ(zep::xdf::file_index(91), -1);
  const std::string path = dir.file("t.vkt");
  {
    OpenUnit u(91, path, "RND", "CREATE");
    ASSERT_EQ(u.result(), 0);
    EXPECT_GE(zep::xdf::file_index(91), 1);
    EXPECT_EQ(c_xdfopn(91, "READ", k.pri, 16, k.aux, 2, "STDR"), zep::xdf::ERR_ALREADY_OPEN);
    EXPECT_EQ(qdfind_(&u.entry().iun), zep::xdf::file_index(91));
  }
  int unit = 91;
  EXPECT_EQ(qdfind_(&unit), 9999);
  EXPECT_EQ(c_xdfcls(91), zep::xdf::ERR_NOT_FNOM);
  ASSERT_EQ(bind(91, path, "RND"), 0);
  EXPECT_EQ(c_xdfcls(91), zep::xdf::ERR_NOT_OPEN);
  c_fclos(91);
  // Creating a read-only unit is refused before anything is written.
  const std::string ro = dir.file("ro.vkt");
  write_words(ro, {1, 2, 3, 4});
  ASSERT_EQ(bind(91, ro, "RND+R/O"), 0);
  EXPECT_EQ(c_xdfopn(91, "CREATE", k.pri, 16, k.aux, 2, "STDR"), zep::xdf::ERR_NO_WRITE);
  EXPECT_EQ(zep::xdf::file_index(91), -1);
  EXPECT_EQ(read_words(ro).size(), 4u);
  c_fclos(91);
  // A unit of a record-unit file is not random.
  const std::string ftn = dir.file("ftn.dat");
  write_words(ftn, {1, 2, 3, 4});
  testing::internal::CaptureStdout();
  ASSERT_EQ(bind(92, ftn, "FTN+UNF"), 0);
  testing::internal::GetCapturedStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_xdfopn(92, "READ", k.pri, 16, k.aux, 2, "STDR"), zep::xdf::ERR_NOT_OPEN);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("file must be random\n file in error: "),
            std::string::npos);
  EXPECT_EQ(zep::xdf::file_index(92), -1);
  c_fclos(92);
}

TEST_F(Table, DebugLinesAtTrivialLevel) {
  const std::string path = dir.file("d.vkt");
  { OpenUnit u(93, path, "RND", "CREATE"); }
  c_xdfopt("MSGLVL", "TRIVIAL", 0);
  testing::internal::CaptureStdout();
  {
    OpenUnit u(93, path, "RND", "READ");
    uint32_t keys[16];
    for (auto &x : keys) x = 0xFFFFFFFFu;
    EXPECT_EQ(c_xdfloc(93, 0, keys, 16), zep::xdf::ERR_NOT_FOUND);
  }
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Debug c_xdfopn f->xdf_seq=0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Debug c_xdfopn fichier existe f->xdf_seq=0\n"), std::string::npos) << out;
}

TEST_F(Table, MaxKeysThroughTheByReferenceEntries) {
  int iun = 94, npri = 101, naux = 2;
  StdKeys k;
  EXPECT_EXIT(xdfopn_(&iun, "READ", k.pri, &npri, k.aux, &naux, "STDR", 4, 4),
              ::testing::ExitedWithCode(36), "npri=101 or naux=2 > MAX_KEYS must recompile");
  int handle = 0, nkeys = 101;
  EXPECT_EXIT(xdfloc_(&iun, &handle, k.pri, &nkeys), ::testing::ExitedWithCode(36),
              "nprim=101 > MAX_KEYS must recompile");
  // qdferr_ reports on a caller's behalf, the code made negative.
  int level = 3, code = 12;
  testing::internal::CaptureStderr();
  EXPECT_EQ(qdferr_("mymodule  ", "went wrong   ", &level, &code, 10, 13), -12);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "*** ERROR #12 from module mymodule: went wrong\n");
}

TEST_F(Table, FullTableEndsTheProcess) {
  // 127 files open; the 128th fails with "xdf file table is full".
  EXPECT_EXIT(
      {
        StdKeys k;
        for (int i = 0; i < 128; ++i) {
          const int iun = 200 + i;
          if (bind(iun, dir.file("full" + std::to_string(i)), "RND") != 0) std::exit(90);
          c_xdfopn(iun, "CREATE", k.pri, 16, k.aux, 2, "STDR");
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(3), "xdf file table is full");
}

TEST_F(Table, SecateurCutsAndSequentialCloseCutsAtTheEndMark) {
  const std::string path = dir.file("cut.vkt");
  write_words(path, std::vector<uint32_t>(100, 7));
  EXPECT_EQ(c_secateur(path.c_str(), 40), 0);
  EXPECT_EQ(read_words(path).size(), 10u);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_secateur(dir.file("no/such").c_str(), 4), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("secateur"), std::string::npos);
  // A sequential file with junk after its end: rewritten from its start, the
  // close cuts it right after the new end mark.
  const std::string seq = dir.file("s.vkt");
  {
    OpenUnit u(95, seq, "RND+SEQ", "CREATE", "STDS");
    for (int i = 0; i < 3; ++i) {
      std::vector<uint32_t> buf = record_buffer(24);
      uint32_t keys[16] = {static_cast<uint32_t>(i)};
      ASSERT_EQ(c_xdfini(95, buf.data(), 1, keys, 16, nullptr, 0), 0);
      buf[1] = 24 * 32;
      ASSERT_EQ(c_xdfput(95, 0, buf.data()), 0);
    }
  }
  const size_t full = read_words(seq).size();
  EXPECT_EQ(full, 52u + 3 * 28 + 2);
  {
    OpenUnit u(95, seq, "RND+SEQ", "APPEND", "STDS");
    ASSERT_EQ(u.result(), 3);
    u.entry().cur_addr = u.entry().seq_bof;  // the writer positions the file at its start
    std::vector<uint32_t> buf = record_buffer(24);
    uint32_t keys[16] = {9};
    ASSERT_EQ(c_xdfini(95, buf.data(), 1, keys, 16, nullptr, 0), 0);
    buf[1] = 24 * 32;
    ASSERT_EQ(c_xdfput(95, 0, buf.data()), 0);
  }
  std::vector<uint32_t> w = read_words(seq);
  EXPECT_EQ(w.size(), 52u + 28 + 2);
  EXPECT_EQ(w.back(), static_cast<uint32_t>((52 + 28) / 2 + 1));
  EXPECT_EQ(w[w.size() - 2], 0x7F000001u);
}

}  // namespace
