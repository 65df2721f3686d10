// The master file table: unit choice, name resolution, attribute bits, the
// failure table (messages and the state each failure leaves), dumps, and
// the small by-reference helpers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "io/test_support.h"

namespace {

using io_test::be_words;
using io_test::write_bytes;
using io_test::write_text;

class FileTableTest : public io_test::IoTest {
 protected:
  // Binds `name` with `attributes` to a library-chosen unit; the row or null.
  const zep::io::FileEntry *bind(const std::string &name, const std::string &attributes,
                                 int *unit_out = nullptr) {
    int unit = 0;
    if (c_fnom(&unit, name.c_str(), attributes.c_str(), 0) != 0) return nullptr;
    if (unit_out) *unit_out = unit;
    const int idx = zep::io::file_index_of(unit);
    return idx < 0 ? nullptr : &zep::io::file_entry(idx);
  }
  int count_used() const {
    int n = 0;
    for (int i = 0; i < zep::io::kMaxFiles; ++i) n += zep::io::file_entry(i).iun != 0;
    return n;
  }
};

TEST_F(FileTableTest, FreeUnitsCountDownFrom999OrFrom99ForRecordUnits) {
  int u1 = 0, u2 = 0, f1 = 0, f2 = 0;
  ASSERT_EQ(c_fnom(&u1, dir_.file("a").c_str(), "RND", 0), 0);
  ASSERT_EQ(c_fnom(&u2, dir_.file("b").c_str(), "RND", 0), 0);
  testing::internal::CaptureStdout();
  ASSERT_EQ(c_fnom(&f1, dir_.file("c").c_str(), "FTN", 0), 0);
  ASSERT_EQ(c_fnom(&f2, dir_.file("d").c_str(), "D77", 0), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(u1, 999);
  EXPECT_EQ(u2, 998);
  EXPECT_EQ(f1, 99);
  EXPECT_EQ(f2, 98);
  EXPECT_EQ(c_qqqfscr("ftn"), 97);
  EXPECT_EQ(c_qqqfscr("d77"), 97);
  EXPECT_EQ(c_qqqfscr(""), 997);
}

TEST_F(FileTableTest, NoFreeUnitNeverBindsMinusOne) {
  // Take every record-unit candidate 99..11 directly.
  testing::internal::CaptureStdout();
  for (int u = 99; u >= 11; --u)
    ASSERT_EQ(c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(u)),
                     dir_.file("f" + std::to_string(u)).c_str(), "FTN", 0),
              0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(c_qqqfscr("FTN"), -1);
  int unit = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(&unit, dir_.file("x").c_str(), "FTN", 0), -1);
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_EQ(zep::io::file_index_of(-1), -1);
  EXPECT_EQ(unit, 0);
}

TEST_F(FileTableTest, CaseFoldingAndPrefixes) {
  // Folding looks at the whole name, so work with names relative to the
  // temporary directory.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  struct Case {
    std::string given, stored;
  } cases[] = {
      {"ABC.DAT", "abc.dat"},    // all upper case: folded
      {"Abc.dat", "Abc.dat"},    // both cases: kept
      {"+ABC.DAT", "ABC.DAT"},   // '+': kept, the prefix dropped
      {"%XYZ", "xyz"},           // '%': dropped, still folded
      {"DIR1/A-2", "dir1/a-2"},  // caseless characters do not count
  };
  ASSERT_EQ(mkdir("dir1", 0700), 0);
  for (const Case &c : cases) {
    int unit = 0;
    ASSERT_EQ(c_fnom(&unit, c.given.c_str(), "RND", 0), 0) << c.given;
    const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(unit));
    EXPECT_EQ(e.file_name, c.stored);
    EXPECT_EQ(e.has(zep::io::kAttrSpecialName), c.given[0] == '%') << c.given;
    ASSERT_EQ(c_waclos2(unit), 0);
    ASSERT_EQ(c_fclos(unit), 0);
  }
  struct stat st;
  EXPECT_EQ(stat("abc.dat", &st), 0);
  EXPECT_EQ(stat("ABC.DAT", &st), 0);
  EXPECT_EQ(stat("dir1/a-2", &st), 0);
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(FileTableTest, AtThenPercentLosesOnlyTheAt) {
  const std::string name = dir_.file("%odd");
  write_bytes(name, be_words({1}));
  // '@' looks for the rest as written (after folding): "%odd" is found as is.
  int unit = 0;
  ASSERT_EQ(c_fnom(&unit, ("@" + name).c_str(), "RND+R/O", 0), 0);
  const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(unit));
  EXPECT_EQ(e.file_name, name);
  EXPECT_FALSE(e.has(zep::io::kAttrSpecialName));
}

TEST_F(FileTableTest, AttributeKeywords) {
  const std::string existing = dir_.file("exists.dat");
  write_bytes(existing, be_words({1, 2}));
  struct Case {
    const char *attributes;
    uint32_t set, clear;
  } cases[] = {
      {"RND", zep::io::kAttrRnd,
       zep::io::kAttrFtn | zep::io::kAttrReadOnly | zep::io::kAttrOld | zep::io::kAttrWa},
      {"rnd+r/o", zep::io::kAttrRnd | zep::io::kAttrReadOnly | zep::io::kAttrOld,
       zep::io::kAttrFtn},
      {"WA", zep::io::kAttrRnd, zep::io::kAttrWa | zep::io::kAttrFtn},
      {"STD+RND+OLD", zep::io::kAttrStd | zep::io::kAttrRnd | zep::io::kAttrOld,
       zep::io::kAttrFtn | zep::io::kAttrReadOnly},
      {"STREAM", zep::io::kAttrStream | zep::io::kAttrRnd, zep::io::kAttrFtn},
      {"QOLT", zep::io::kAttrQolt | zep::io::kAttrRnd, zep::io::kAttrFtn},
      {"RND+R/O+R/W", zep::io::kAttrOld | zep::io::kAttrRwRequested | zep::io::kAttrRnd,
       zep::io::kAttrReadOnly},
      {"FTN", zep::io::kAttrFtn, zep::io::kAttrRnd | zep::io::kAttrUnf},
      {"RND+FTN", zep::io::kAttrFtn, zep::io::kAttrRnd},
      {"FTN+UNF", zep::io::kAttrFtn | zep::io::kAttrUnf, zep::io::kAttrRnd},
      {"D77+UNF", zep::io::kAttrFtn | zep::io::kAttrRnd | zep::io::kAttrUnf, 0},
      {"", zep::io::kAttrFtn, zep::io::kAttrRnd | zep::io::kAttrUnf},
  };
  for (const Case &c : cases) {
    testing::internal::CaptureStdout();
    int unit = 0;
    ASSERT_EQ(c_fnom(&unit, existing.c_str(), c.attributes, 3), 0) << c.attributes;
    testing::internal::GetCapturedStdout();
    const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(unit));
    EXPECT_EQ(e.attr & c.set, c.set) << c.attributes;
    EXPECT_EQ(e.attr & c.clear, 0u) << c.attributes;
    EXPECT_EQ(e.lrec, 3);
    ASSERT_TRUE(e.file_type.has_value());
    EXPECT_EQ(*e.file_type, c.attributes);
    EXPECT_TRUE(e.open);
    if (e.has(zep::io::kAttrRnd) && !e.has(zep::io::kAttrFtn)) c_waclos2(unit);
    ASSERT_EQ(c_fclos(unit), 0);
  }
}

TEST_F(FileTableTest, RecordUnitFilesAreMeasuredAndAnnounced) {
  const std::string path = dir_.file("records.bin");
  write_bytes(path, std::vector<unsigned char>(10, 'x'));
  testing::internal::CaptureStdout();
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(40), path.c_str(), "D77+UNF", 8), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("opening file " + path + " as unit"), std::string::npos) << out;
  const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(40));
  EXPECT_EQ(e.size, 2);
  EXPECT_EQ(e.esize, 2);
  EXPECT_EQ(e.lrec, 8);
  EXPECT_TRUE(e.open);
  EXPECT_EQ(c_fclos(40), 0);
  // A missing record-unit file measures -1 and is created by the open.
  const std::string fresh = dir_.file("fresh.txt");
  testing::internal::CaptureStdout();
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(41), fresh.c_str(), "FTN", 0), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(41)).size, -1);
  EXPECT_TRUE(zep::io::path_exists(fresh));
}

TEST_F(FileTableTest, ArchiveMemberNames) {
  const std::string arch = dir_.file("lib.arc");
  write_bytes(arch, std::vector<unsigned char>(64, 0));
  zep::io::FileEntry e;
  e.iun = 5;
  ASSERT_EQ(zep::io::resolve_name(e, arch + "@member1", "RND"), 0);
  EXPECT_EQ(e.file_name, arch);
  ASSERT_TRUE(e.subname.has_value());
  EXPECT_EQ(*e.subname, "member1");
  EXPECT_TRUE(e.has(zep::io::kAttrReadOnly | zep::io::kAttrOld));
  // Only the first '@' splits.
  zep::io::FileEntry f;
  ASSERT_EQ(zep::io::resolve_name(f, arch + "@a@b", ""), 0);
  EXPECT_EQ(*f.subname, "a@b");
  // Through c_fnom the bits survive the keywords ("R/W" included) even when
  // the open fails because the archive holds no such member.
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(42), (arch + "@member1").c_str(), "RND+R/W", 0), -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("qqcopen error: subfile member1 not found in " + arch), std::string::npos)
      << err;
  EXPECT_LT(zep::io::file_index_of(42), 0);
}

TEST_F(FileTableTest, AtSearchPathOrder) {
  // The search roots are read once per process: run in a fresh copy.
  const std::string yk = dir_.file("yk"), ob = dir_.file("ob");
  ASSERT_EQ(std::system(("mkdir -p " + yk + "/datafiles/constants " + ob + "/data").c_str()), 0);
  write_text(ob + "/data/both", "o");
  write_text(yk + "/datafiles/constants/both", "y");
  write_text(ob + "/data/onlyob", "o");
  auto scenario = [&]() -> std::string {
    setenv("YREKSIO", yk.c_str(), 1);
    setenv("OBRVLIB", ob.c_str(), 1);
    std::string failures;
    int u = 0;
    if (c_fnom(&u, "@both", "RND+R/O", 0) != 0) return "@both not found\n";
    if (zep::io::file_entry(zep::io::file_index_of(u)).file_name !=
        yk + "/datafiles/constants/both")
      failures += "@both: " + zep::io::file_entry(zep::io::file_index_of(u)).file_name + "\n";
    u = 0;
    if (c_fnom(&u, "@ONLYOB", "RND+R/O", 0) != 0) return failures + "@ONLYOB not found\n";
    if (zep::io::file_entry(zep::io::file_index_of(u)).file_name != ob + "/data/onlyob")
      failures += "@ONLYOB: " + zep::io::file_entry(zep::io::file_index_of(u)).file_name + "\n";
    u = 0;
    if (c_fnom(&u, "@nowhere", "RND", 0) != -1) failures += "@nowhere bound\n";
    if (zep::io::file_index_of(u) >= 0) failures += "@nowhere left a row\n";
    return failures;
  };
  IO_RUN_FRESH(nullptr, scenario);
}

TEST_F(FileTableTest, ScratchFiles) {
  auto scenario = [&]() -> std::string {
    setenv("TMPDIR", dir_.path().c_str(), 1);
    std::string failures;
    int u = 0;
    if (c_fnom(&u, "Work", "RND+SCRATCH", 0) != 0) return "scratch bind failed\n";
    const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(u));
    const std::string want = dir_.path() + "/" + std::to_string(getpid()) + "_Work";
    if (e.file_name != want) failures += "name " + e.file_name + "\n";
    if (!e.has(zep::io::kAttrScratch)) failures += "SCRATCH bit clear\n";
    unsetenv("TMPDIR");
    u = 0;
    testing::internal::CaptureStderr();
    const int r = c_fnom(&u, "tmpwork", "RND+scratch", 0);
    const std::string err = testing::internal::GetCapturedStderr();
    if (r != 0) failures += "scratch in /tmp failed\n";
    if (err != "c_fnom warning: TMPDIR environment variable is not defined, /tmp is used\n")
      failures += "warning: " + err;
    const std::string tmp_name = "/tmp/" + std::to_string(getpid()) + "_tmpwork";
    if (zep::io::file_entry(zep::io::file_index_of(u)).file_name != tmp_name)
      failures += "tmp name\n";
    c_waclos2(u);
    c_fclos(u);
    unlink(tmp_name.c_str());
    return failures;
  };
  IO_RUN_FRESH(nullptr, scenario);

  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(43), "a/b", "SCRATCH", 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_fnom error: / is illegal in scratch file name\n"
            "              specified name was a/b\n");
  EXPECT_LT(zep::io::file_index_of(43), 0);
}

TEST_F(FileTableTest, FailureTable) {
  const std::string path = dir_.file("f.dat");
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(50), path.c_str(), "RND", 0), 0);
  const int before = count_used();
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(50), path.c_str(), "RND", 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "c_fnom error: unit 50 is already in use\n");
  EXPECT_EQ(count_used(), before);

  const std::string missing = dir_.file("missing.dat");
  for (const char *attributes : {"RND+R/O", "RND+OLD"}) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(c_fnom(reinterpret_cast<void *>(51), missing.c_str(), attributes, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "c_fnom error: file " + missing + " should exist and does not\n");
    EXPECT_LT(zep::io::file_index_of(51), 0);
    EXPECT_FALSE(zep::io::path_exists(missing));
  }

  // A file that cannot be opened for writing when "R/W" is asked for.
  const std::string locked = dir_.file("locked.dat");
  write_bytes(locked, be_words({1}));
  chmod(locked.c_str(), 0444);
  if (access(locked.c_str(), W_OK) != 0) {  // not when running as root
    testing::internal::CaptureStderr();
    EXPECT_EQ(c_fnom(reinterpret_cast<void *>(52), locked.c_str(), "RND+R/W", 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "qqcopen error: cannot open in write mode filename=(" + locked + ") !\n");
    EXPECT_LT(zep::io::file_index_of(52), 0);
    // Without "R/W" it falls back to read-only.
    ASSERT_EQ(c_fnom(reinterpret_cast<void *>(52), locked.c_str(), "RND", 0), 0);
    EXPECT_TRUE(zep::io::file_entry(zep::io::file_index_of(52)).has(zep::io::kAttrReadOnly));
  }

  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fclos(53), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_fclos error: unit 53 is not associated with any file\n");
}

TEST_F(FileTableTest, TableHolds128Units) {
  for (int u = 1; u <= zep::io::kMaxFiles; ++u)
    ASSERT_EQ(c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(u + 100)),
                     dir_.file("t" + std::to_string(u)).c_str(), "RND", 0),
              0)
        << u;
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(500), dir_.file("one_more").c_str(), "RND", 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_fnom error: too many files, file table is full\n");
  EXPECT_FALSE(zep::io::path_exists(dir_.file("one_more")));
  EXPECT_EQ(count_used(), zep::io::kMaxFiles);
  // Releasing one row makes room again, and the same unit can be bound anew.
  c_waclos2(101);
  ASSERT_EQ(c_fclos(101), 0);
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(101), dir_.file("again").c_str(), "RND", 0), 0);
}

TEST_F(FileTableTest, OverlongNamesAreRefused) {
  const std::string longname(5000, 'a');
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(60), longname.c_str(), "RND", 0), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("too long"), std::string::npos);
  EXPECT_LT(zep::io::file_index_of(60), 0);
  const std::string longattr(2000, 'R');
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_fnom(reinterpret_cast<void *>(60), dir_.file("x").c_str(), longattr.c_str(), 0), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("too long"), std::string::npos);
  // The by-reference form refuses a field whose text passes 256 characters.
  std::string field(300, 'b');
  int unit = 61, lrec = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(fnom_(&unit, field.data(), "RND", &lrec, field.size(), 3), -1);
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_LT(zep::io::file_index_of(61), 0);
}

TEST_F(FileTableTest, ByReferenceTwinsTrimFieldsAndReturnTheUnit) {
  const std::string path = dir_.file("twin.dat");
  std::string name_field = path + std::string(20, ' ');
  std::string type_field = "RND" + std::string(9, ' ');
  int unit = 0, lrec = 7;
  ASSERT_EQ(fnom_(&unit, name_field.data(), type_field.data(), &lrec, name_field.size(),
                  type_field.size()),
            0);
  EXPECT_EQ(unit, 999);
  const zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(999));
  EXPECT_EQ(e.file_name, path);
  EXPECT_EQ(*e.file_type, "RND");
  EXPECT_EQ(e.lrec, 7);

  char name_out[8], type_out[6];
  int lrec_out = 0;
  ASSERT_EQ(qqqfnom_(&unit, name_out, type_out, &lrec_out, sizeof name_out, sizeof type_out), 0);
  EXPECT_EQ(std::string(name_out, sizeof name_out), path.substr(0, 8));
  EXPECT_EQ(std::string(type_out, sizeof type_out), "RND   ");
  EXPECT_EQ(lrec_out, 7);
  int other = 12;
  testing::internal::CaptureStderr();
  EXPECT_EQ(qqqfnom_(&other, name_out, type_out, &lrec_out, sizeof name_out, sizeof type_out), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "qqqfnom error: unit 12 is not associated with any file\n");

  EXPECT_EQ(waclos_(&unit), 0);
  EXPECT_EQ(fclos_(&unit), 0);
  EXPECT_LT(zep::io::file_index_of(999), 0);
}

TEST_F(FileTableTest, ExisteAndLongueur) {
  const std::string path = dir_.file("here");
  write_text(path, "x");
  std::string field = path + "      ";
  EXPECT_EQ(existe_(field.data(), field.size()), 1);
  std::string gone = dir_.file("gone") + "   ";
  EXPECT_EQ(existe_(gone.data(), gone.size()), 0);
  EXPECT_EQ(longueur_("abc   ", 6), 3);
  EXPECT_EQ(longueur_("      ", 6), 0);
  EXPECT_EQ(longueur_("a b", 3), 3);
  EXPECT_EQ(longueur_("", 0), 0);
}

TEST_F(FileTableTest, DumpFormat) {
  const std::string path = dir_.file("dump.dat");
  write_bytes(path, be_words({1, 2, 3, 4}));
  ASSERT_EQ(c_fnom(reinterpret_cast<void *>(70), path.c_str(), "RND+R/O", 9), 0);
  const int idx = zep::io::file_index_of(70);
  const int fd = zep::io::file_entry(idx).fd;
  testing::internal::CaptureStderr();
  d_fgfdt_();
  const std::string out = testing::internal::GetCapturedStderr();
  const std::string want =
      "********** DUMP of MASTER FILE TABLE **********\n"
      "FGFDT[" +
      std::to_string(idx) + "] file_name=" + path +
      " subname=(null) file_type=RND+R/O\n"
      "iun=70,fd=" +
      std::to_string(fd) + ",size=4,esize=4,lrec=9,flags=OPEN+RND+FMT+R/O+OLD\n\n";
  EXPECT_EQ(out, want);
}

TEST_F(FileTableTest, UnitSixRedirectsStandardOutput) {
  const std::string path = dir_.file("stdout.txt");
  write_text(path, "before\n");
  EXPECT_EXIT(
      {
        if (c_fnom(reinterpret_cast<void *>(6), path.c_str(), "", 0) != 0) std::_Exit(3);
        if (zep::io::file_index_of(6) >= 0) std::_Exit(4);
        std::printf("after\n");
        std::fflush(stdout);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(io_test::read_bytes(path).size(), std::string("before\nafter\n").size());
  const std::string err_path = dir_.file("stderr.txt");
  EXPECT_EXIT(
      {
        int unit = -2;
        if (c_fnom(&unit, err_path.c_str(), "", 0) != 0) std::_Exit(3);
        std::fprintf(stderr, "to the file\n");
        std::fflush(stderr);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
  const auto bytes = io_test::read_bytes(err_path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "to the file\n");
}

TEST_F(FileTableTest, QqexitEndsWithTheStatus) {
  int status = 7;
  EXPECT_EXIT(qqexit_(&status), testing::ExitedWithCode(7), "");
}

}  // namespace
