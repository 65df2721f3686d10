// File-kind detection: every code of wkoffit_ from small files written
// here, the name preparation, the probes' bounds on short or damaged
// files, the big-endian stream routines and the stubs.
#include <gtest/gtest.h>

#include <cstring>

#include "io/test_support.h"
#include "tests/golden_dir.h"

namespace {

using io_test::be_words;
using io_test::write_bytes;
using io_test::write_text;

std::vector<unsigned char> bytes_of(const std::string &s) {
  return std::vector<unsigned char>(s.begin(), s.end());
}

std::vector<unsigned char> padded(std::vector<unsigned char> b, size_t n,
                                  unsigned char fill = 0xEE) {
  if (b.size() < n) b.resize(n, fill);
  return b;
}

class FileKindTest : public io_test::IoTest {
 protected:
  int kind_of(const std::string &name, const std::vector<unsigned char> &content) {
    const std::string path = dir_.file(name);
    write_bytes(path, content);
    return wkoffit_(path.c_str(), path.size());
  }
};

TEST_F(FileKindTest, MissingEmptyAndUnknown) {
  const std::string missing = dir_.file("nothing");
  EXPECT_EQ(wkoffit_(missing.c_str(), missing.size()), -3);
  EXPECT_EQ(wkoffit_(dir_.path().c_str(), dir_.path().size()),
            -3);  // a directory holds no bytes to read
  EXPECT_EQ(kind_of("empty", {}), -2);
  EXPECT_EQ(kind_of("text", bytes_of("hello there, nothing special here\n")), -1);
  EXPECT_EQ(kind_of("tiny", bytes_of("ab")), -1);
}

TEST_F(FileKindTest, WordSignaturesOfTheSystemsOwnFormats) {
  std::vector<uint32_t> w(40, 0x11111111u);

  auto old_random = w;
  old_random[0] = old_random[1] = 0x55555555u;
  EXPECT_EQ(kind_of("old_random", be_words(old_random)), 1);

  auto old_seq = w;
  old_seq[28] = old_seq[29] = 0xAAAAAAAAu;
  EXPECT_EQ(kind_of("old_seq", be_words(old_seq)), 2);

  // Record-framed old sequential: a 120-byte record, its length at byte 124.
  auto framed_seq = w;
  framed_seq[0] = 120;
  framed_seq[29] = framed_seq[30] = 0xAAAAAAAAu;
  framed_seq[31] = 120;
  EXPECT_EQ(kind_of("framed_seq", be_words(framed_seq)), 3);
  // The same words without the framing are not code 3.
  framed_seq[31] = 121;
  EXPECT_NE(kind_of("unframed_seq", be_words(framed_seq)), 3);

  auto sig_c = w;
  sig_c[0] = 64;
  sig_c[17] = 64;
  sig_c[2] = 0x20202020u;
  EXPECT_EQ(kind_of("sig_c", be_words(sig_c)), 4);

  auto pk84 = w;
  pk84[0] = 16;
  std::memcpy(&pk84[2], "\0\0\0\0", 4);
  pk84[2] = zep::load_be32("PK84");
  pk84[5] = 16;
  EXPECT_EQ(kind_of("pk84", be_words(pk84)), 5);

  auto stdr = be_words(w);
  std::memcpy(stdr.data() + 12, "STDR", 4);
  EXPECT_EQ(kind_of("stdr", stdr), 33);
  auto stds = be_words(w);
  std::memcpy(stds.data() + 12, "STDS", 4);
  EXPECT_EQ(kind_of("stds", stds), 34);
  for (const char *q : {"QLT0", "qLt0"}) {
    auto qolt = be_words(w);
    std::memcpy(qolt.data() + 12, q, 4);
    EXPECT_EQ(kind_of("qolt", qolt), 6) << q;
  }
  const struct {
    const char *magic;
    int code;
  } first_word[] = {{"GRIB", 7}, {"BUFR", 8}, {"BLOK", 9}};
  for (const auto &m : first_word) {
    auto b = be_words(w);
    std::memcpy(b.data(), m.magic, 4);
    EXPECT_EQ(kind_of(m.magic, b), m.code);
  }

  // A record-framed file whose first record is 100 bytes long.
  auto framed = w;
  framed[0] = 100;
  framed[26] = 100;
  EXPECT_EQ(kind_of("framed", be_words(framed)), 10);
}

TEST_F(FileKindTest, EarlierSignaturesWin) {
  std::vector<uint32_t> w(40, 0x11111111u);
  w[0] = w[1] = 0x55555555u;
  w[28] = w[29] = 0xAAAAAAAAu;
  auto b = be_words(w);
  std::memcpy(b.data() + 12, "STDR", 4);
  EXPECT_EQ(kind_of("one", b), 1);  // 1 before 2 before 33
  w[0] = 64;
  w[17] = 64;
  w[2] = 0x20202020u;
  b = be_words(w);
  EXPECT_EQ(kind_of("four", b), 4);  // 4 before 2
  w[0] = 0x11111111u;
  b = be_words(w);
  std::memcpy(b.data() + 12, "STDS", 4);
  EXPECT_EQ(kind_of("two", b), 2);  // 2 before 34
}

TEST_F(FileKindTest, ByteSignaturesOfCommonFormats) {
  const struct {
    const char *name;
    std::vector<unsigned char> bytes;
    int code;
  } cases[] = {
      {"compress", padded({0x1F, 0x9D, 0x90}, 16), 11},
      {"gif89", padded(bytes_of("GIF89a"), 16), 12},
      {"gif87", padded(bytes_of("GIF87a"), 16), 13},
      {"sgi", padded({0x01, 0xDA, 0x01}, 16), 14},
      {"sgi_swapped", padded({0xDA, 0x01, 0x01}, 16), 14},
      {"jpeg", padded({0xFF, 0xD8, 0xFF, 0xE0}, 16), 15},
      {"pbm", bytes_of("P1\n2 2\n1 0\n0 1\n"), 17},
      {"pgm", bytes_of("P5\n2 2\n255\nabcd"), 17},
      {"pjl_pcl", bytes_of("\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\n"), 18},
      {"pcl_escape",
       bytes_of("\x1b"
                "E\x1b&l1O some text"),
       18},
      {"pcx", padded({0x0A, 0x05, 0x01}, 16), 19},
      {"vicar", bytes_of("LBLSIZE=2048 FORMAT"), 20},
      {"pds", bytes_of("NJPL1I00PDS"), 20},
      {"pds2", bytes_of("  NJPL1I stuff"), 20},
      {"ccsd", bytes_of("xxCCSD3ZF0000100"), 20},
      {"view", padded(bytes_of("VIEW"), 16), 21},
      {"weiv", padded(bytes_of("WEIV"), 16), 21},
      {"ppm6", bytes_of("P6\n1 1\n255\nabc"), 22},
      {"ppm3", bytes_of("P3\n1 1\n255\n1 2 3\n"), 22},
      {"ps", bytes_of("%!PS-Adobe-3.0\n%%Title: t\n/x 1 def\n"), 23},
      {"ps_lookahead", bytes_of("%!\n\n% comment\n"), 23},
      {"ps_pjl", bytes_of("\x1b%-12345X@pjl enter language=postscript\nrest\n"), 23},
      {"ps_bare", bytes_of("%!PS\nshowpage\n"), 23},  // not by the line scan, by the first bytes
      {"ps_too_short", bytes_of("%!"), -1},
      {"rrbx", padded(bytes_of("RRBXRRUX"), 200), 25},
      {"tiff_mm", padded({'M', 'M', 0, 42}, 16), 27},
      {"tiff_ii", padded({'I', 'I', 42, 0}, 16), 27},
      {"rle", padded({'R', 0xCC, 1}, 16), 28},
      {"xbm", bytes_of("#define x_width 8\n"), 29},
      {"bmp", padded(bytes_of("BM"), 16), 32},
  };
  for (const auto &c : cases) EXPECT_EQ(kind_of(c.name, c.bytes), c.code) << c.name;
}

TEST_F(FileKindTest, SunRasterAndWindowDump) {
  std::vector<uint32_t> sun(8, 5);
  sun[0] = 0x59A66A95u;
  sun[6] = 1;
  EXPECT_EQ(kind_of("sun", be_words(sun)), 26);
  // A raster type other than 0 or 1 is still recognised by the magic alone
  // (top bits of bytes 1 and 3 ignored).
  sun[6] = 2;
  EXPECT_EQ(kind_of("sun2", be_words(sun)), 26);
  sun[0] = 0x59266A15u;
  EXPECT_EQ(kind_of("sun3", be_words(sun)), 26);
  sun.resize(7);
  sun[0] = 0x59A66A95u;
  sun[6] = 0;
  EXPECT_EQ(issun(dir_.file("short_sun").c_str()), 0);
  write_bytes(dir_.file("short_sun"), be_words(sun));
  EXPECT_EQ(issun(dir_.file("short_sun").c_str()), 0);  // 28 bytes: too short

  // X window dump: header 100 bytes, 2 colours, 3 lines of 4 bytes.
  std::vector<uint32_t> xwd(34, 0);
  xwd[0] = 100;
  xwd[1] = 7;
  xwd[5] = 3;
  xwd[12] = 4;
  xwd[19] = 2;
  EXPECT_EQ(kind_of("xwd", be_words(xwd)), 30);
  xwd.push_back(0);  // one word more than the header says
  EXPECT_EQ(kind_of("xwd_long", be_words(xwd)), -1);
}

TEST_F(FileKindTest, KmwPlots) {
  EXPECT_EQ(kind_of("kmw3", bytes_of("102407683\nPLOT$Z and more\n")), 24);
  EXPECT_EQ(kind_of("kmw1", bytes_of("102407681\nPLOT$Z and more\n")), 16);
  EXPECT_EQ(kind_of("kmw7", bytes_of("102407687\nPLOT$Z and more\n")), 16);  // mode 777
  EXPECT_EQ(kind_of("kmw_spread", bytes_of("abcdefghijkP.L.O.T.$.Z")), 16);  // no line end: mode 1
  EXPECT_EQ(kind_of("kmw_mode_text", bytes_of("  10  20\n\nPLOT$Z")), 16);   // no mode digit
  // A line end among the first nine characters leaves no room for the mode line.
  EXPECT_EQ(iskmw(dir_.file("kmw_early").c_str()), 0);
  write_bytes(dir_.file("kmw_early"), bytes_of("12\nPLOT$Z"));
  EXPECT_EQ(iskmw(dir_.file("kmw_early").c_str()), 0);
  // The match must complete within 350 characters.
  std::string far(400, 'x');
  far += "PLOT$Z";
  EXPECT_EQ(kind_of("kmw_far", bytes_of(far)), -1);
}

TEST_F(FileKindTest, PostScriptScanLimits) {
  std::string many;
  for (int i = 0; i < 70; ++i) many += "% comment\n";
  many += "%!\n/x\n";
  EXPECT_EQ(isps(dir_.file("none").c_str()), 0);
  write_text(dir_.file("many"), many);
  EXPECT_EQ(isps(dir_.file("many").c_str()), 0);
  std::string skipped;
  for (int i = 0; i < 70; ++i) skipped += "%% not counted\n";
  skipped += "%!\n/x\n";
  write_text(dir_.file("skipped"), skipped);
  EXPECT_EQ(isps(dir_.file("skipped").c_str()), 1);
  write_text(dir_.file("not_ps"), "%!\nshowpage\n");
  EXPECT_EQ(isps(dir_.file("not_ps").c_str()), 0);
}

TEST_F(FileKindTest, PclScanOnDamagedInput) {
  const std::string p = dir_.file("pcl");
  auto pcl = [&](const std::string &text) {
    write_text(p, text);
    return ispcl(p.c_str());
  };
  EXPECT_EQ(pcl("\x1b*b100W"), 1);        // raster data: at once
  EXPECT_EQ(pcl("\x1b(s3B"), 1);          // zero fraction
  EXPECT_EQ(pcl("\x1b(s1.5"), 0);         // non-zero fraction, then the end
  EXPECT_EQ(pcl("\x1b(x"), 0);            // '(' with a group other than f, s
  EXPECT_EQ(pcl("\x1b)f"), 0);            // ')' only with s
  EXPECT_EQ(pcl("\x1b*pXX\x1b&a1H"), 1);  // a skipped command, then PCL
  EXPECT_EQ(pcl("\x1b"
                "\x01"),
            0);                                   // not a command character
  EXPECT_EQ(pcl("\x1b(s-2147483648.5W"), 0);      // data count of the most negative integer
  EXPECT_EQ(pcl("\x1b(s+ 4.5Wabcd\x1b&l0O"), 1);  // 4 data bytes skipped, then PCL
  EXPECT_EQ(pcl("\x1b(s99999999999999999999.5W"), 0);
  EXPECT_EQ(pcl("plain text"), 0);
  EXPECT_EQ(pcl(""), 0);
}

TEST_F(FileKindTest, RecordFramingProbeStaysInsideTheFile) {
  const std::string p = dir_.file("framing");
  write_bytes(p, be_words({0xFFFFFFF0u, 1, 2}));
  FILE *f = std::fopen(p.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(isftnbin(f, static_cast<int>(0xFFFFFFF0u)), 0);
  EXPECT_EQ(isftnbin(f, 4), 0);
  std::fclose(f);
  write_bytes(p, be_words({4, 9, 4}));
  f = std::fopen(p.c_str(), "rb");
  EXPECT_EQ(isftnbin(f, 4), 1);
  std::fclose(f);
  EXPECT_EQ(isftnbin(nullptr, 4), 0);
}

TEST_F(FileKindTest, NamePreparation) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  std::vector<uint32_t> w(8, 0x11111111u);
  auto stdr = be_words(w);
  std::memcpy(stdr.data() + 12, "STDR", 4);
  write_bytes("abc.fil", stdr);
  write_bytes("Mixed.Fil", stdr);
  write_bytes("UP.FIL", stdr);
  EXPECT_EQ(wkoffit_("ABC.FIL     ", 12), 33);   // folded to abc.fil
  EXPECT_EQ(wkoffit_("abc.fil other", 13), 33);  // cut at the first blank
  EXPECT_EQ(wkoffit_("Mixed.Fil   ", 12), 33);   // has lower case: unchanged
  EXPECT_EQ(wkoffit_("UP.FIL", 6), -3);          // folded to up.fil, which is absent
  EXPECT_EQ(wkoffit_("+UP.FIL     ", 12), 33);   // '+': unchanged, blanks removed
  std::string field = "abc.fil";
  field.resize(400, ' ');
  EXPECT_EQ(wkoffit_(field.c_str(), field.size()), 33);  // at most 256 characters used
  std::string long_name(300, 'q');
  EXPECT_EQ(wkoffit_(long_name.c_str(), long_name.size()), -3);
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(FileKindTest, GoldenStandardFilesWhenPresent) {
  const std::string golden = zep_test::golden_dir();
  const struct {
    const char *file;
    int code;
  } cases[] = {
      {"empty.vkt", 33}, {"sequential.vkt", 34}, {"old_random.vkt", 1}, {"old_sequential.vkt", 2}};
  int seen = 0;
  for (const auto &c : cases) {
    const std::string path = golden + "/" + c.file;
    if (!zep::io::path_exists(path)) continue;
    ++seen;
    EXPECT_EQ(wkoffit_(path.c_str(), path.size()), c.code) << c.file;
  }
  if (seen == 0) GTEST_SKIP() << "no golden files at " << golden;
}

TEST(BigEndianStreams, RoundTripsAndRefusals) {
  io_test::TempDir dir;
  const std::string p = dir.file("be.bin");
  FILE *f = std::fopen(p.c_str(), "w+b");
  ASSERT_NE(f, nullptr);
  uint32_t w32[2] = {0x01020304u, 0xA1B2C3D4u};
  uint16_t w16[2] = {0x0102u, 0xF1F2u};
  uint64_t w64[1] = {0x0102030405060708ull};
  EXPECT_EQ(fwrite32(w32, 4, 2, f), 2u);
  EXPECT_EQ(fwrite16(w16, 2, 2, f), 2u);
  EXPECT_EQ(fwrite64(w64, 8, 1, f), 1u);
  // The writers leave the caller's buffers as they were.
  EXPECT_EQ(w32[0], 0x01020304u);
  EXPECT_EQ(w16[1], 0xF1F2u);
  EXPECT_EQ(w64[0], 0x0102030405060708ull);
  std::fflush(f);
  const auto bytes = io_test::read_bytes(p);
  const std::vector<unsigned char> want = {1,    2,    3, 4, 0xA1, 0xB2, 0xC3, 0xD4, 1, 2,
                                           0xF1, 0xF2, 1, 2, 3,    4,    5,    6,    7, 8};
  EXPECT_EQ(bytes, want);
  std::rewind(f);
  uint32_t r32[2] = {};
  uint16_t r16[2] = {};
  uint64_t r64[1] = {};
  EXPECT_EQ(fread32(r32, 8, 1, f), 1u);
  EXPECT_EQ(fread16(r16, 4, 1, f), 1u);
  EXPECT_EQ(fread64(r64, 8, 1, f), 1u);
  EXPECT_EQ(r32[1], 0xA1B2C3D4u);
  EXPECT_EQ(r16[0], 0x0102u);
  EXPECT_EQ(r64[0], 0x0102030405060708ull);
  // Short read: only the items read are converted.
  uint32_t tail[2] = {0, 0x55u};
  EXPECT_EQ(fread32(tail, 4, 2, f), 0u);
  EXPECT_EQ(tail[1], 0x55u);

  testing::internal::CaptureStderr();
  EXPECT_EQ(fread16(r16, 3, 1, f), static_cast<size_t>(-1));
  EXPECT_EQ(fwrite16(r16, 3, 1, f), static_cast<size_t>(-1));
  EXPECT_EQ(fread64(r64, 6, 1, f), static_cast<size_t>(-1));
  EXPECT_EQ(fwrite64(r64, 6, 1, f), static_cast<size_t>(-1));
  EXPECT_EQ(fread32(r32, 6, 1, f), static_cast<size_t>(-1));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "fread16 error: size=3 must be a multiple of 2\n"
            "fwrite16 error: size=3 must be a multiple of 2\n"
            "fread64 error: size=6 must be a multiple of 4\n"
            "fwrite64 error: size=6 must be a multiple of 4\n");
  std::fclose(f);
}

TEST(WordUtilities, MoveZeroAndJustify) {
  uint32_t src[3] = {1, 2, 3}, dst[4] = {9, 9, 9, 9};
  int n = 3;
  MOVE(src, dst, &n);
  EXPECT_EQ(dst[2], 3u);
  EXPECT_EQ(dst[3], 9u);
  n = 2;
  ZERO(dst, &n);
  EXPECT_EQ(dst[0], 0u);
  EXPECT_EQ(dst[1], 0u);
  EXPECT_EQ(dst[2], 3u);
  unsigned int word = 0x41424320u;  // "ABC "
  int chars = 3;
  EXPECT_EQ(hrjust_(&word, &chars), 0x00414243u);
  unsigned int right = 0x00414243u;
  EXPECT_EQ(hljust_(&right, &chars), 0x41424300u);
  chars = 4;
  EXPECT_EQ(hrjust_(&word, &chars), word);
  EXPECT_EQ(hljust_(&word, &chars), word);
  chars = 1;
  EXPECT_EQ(hrjust_(&word, &chars), 0x41u);
}

TEST(Stubs, SayWhichModuleAndEndTheProcess) {
  io_test::TempDir dir;
  const struct {
    void (*fn)(void);
    const char *name;
  } stubs[] = {{vktcvt2, "vktcvt2"},
               {vktcvt2_, "vktcvt2_"},
               {build_qolt_prim_keys, "build_qolt_prim_keys"},
               {build_qolt_info_keys, "build_qolt_info_keys"},
               {build_qolt_prim_keys_, "build_qolt_prim_keys_"},
               {build_qolt_info_keys_, "build_qolt_info_keys_"}};
  for (const auto &s : stubs) {
    const std::string out = dir.file(std::string("out_") + s.name);
    EXPECT_EXIT(
        {
          if (!std::freopen(out.c_str(), "w", stdout)) std::_Exit(9);
          s.fn();
        },
        testing::ExitedWithCode(1), "");
    const auto bytes = io_test::read_bytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              std::string("Error: call to stub version of module ") + s.name + "\n");
  }
}

}  // namespace
