// Reading and decoding: every datyp of the golden files against the values
// of their documents, c_vktluk's own layouts, IMAGE and REDUCTION32, and
// damaged records.
#include "stdfile/read.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "stdfile/options.h"
#include "stdfile/test_support.h"
#include "zep/stdfile.h"

namespace zep::stdfile {
namespace {

using stdfile_test::golden_dir;
using stdfile_test::golden_records;
using stdfile_test::GoldenRecord;
using stdfile_test::OpenUnit;
using stdfile_test::StdImage;
using stdfile_test::TempDir;
using stdfile_test::value_token;

class ReadTest : public stdfile_test::QuietLayer {
 protected:
  void TearDown() override {
    options().image_mode_copy = 0;
    options().downgrade_32 = 0;
    QuietLayer::TearDown();
  }

  // Handles of every record of the open unit, in file order.
  static std::vector<int> handles(int iun) {
    std::vector<int> out;
    int ni = 0, nj = 0, nk = 0;
    for (int h = c_vktinf(iun, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
         h = c_vktsui(iun, &ni, &nj, &nk))
      out.push_back(h);
    return out;
  }

  // Decodes every record of a golden file with read_values and
  // compares the "%.6g" text of each value with the document's.
  static void check_golden(const std::string &name) {
    const std::vector<GoldenRecord> expected = golden_records(name);
    OpenUnit unit(31, golden_dir() + name + ".vkt");
    ASSERT_GE(unit.status(), 0) << name;
    const std::vector<int> hs = handles(31);
    ASSERT_EQ(hs.size(), expected.size()) << name;
    for (size_t r = 0; r < hs.size(); ++r) {
      std::vector<double> values;
      ASSERT_EQ(read_values(hs[r], &values), hs[r]) << name << " record " << r;
      ASSERT_EQ(values.size(), expected[r].values.size()) << name << " record " << r;
      for (size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(value_token(values[i]), expected[r].values[i])
            << name << " record " << r << " value " << i;
    }
  }
};

TEST_F(ReadTest, GoldenValuesOfEveryDatyp) {
  int checked = 0;
  for (const char *name :
       {"datyp1_widths", "datyp1_magnitudes", "integers", "characters", "ieee", "raw_words",
        "float_packer", "compressed_reals", "compressed_packer", "sample_reals", "sample_packer",
        "zero_values", "names", "deleted", "many_records"}) {
    if (!stdfile_test::have_golden(std::string(name) + ".vkt")) {
      std::printf("golden file %s absent, skipped\n", name);
      continue;
    }
    SCOPED_TRACE(name);
    check_golden(name);
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no golden files";
}

TEST_F(ReadTest, ExactDoublesOfIntegers) {
  SKIP_WITHOUT_GOLDEN("integers.vkt");
  const std::vector<GoldenRecord> expected = golden_records("integers");
  OpenUnit unit(32, golden_dir() + "integers.vkt");
  ASSERT_GE(unit.status(), 0);
  const std::vector<int> hs = handles(32);
  ASSERT_EQ(hs.size(), expected.size());
  bool saw_top = false;
  for (size_t r = 0; r < hs.size(); ++r) {
    std::vector<double> values;
    ASSERT_EQ(read_values(hs[r], &values), hs[r]);
    std::vector<uint32_t> raw(values.size() + 1);
    int ni, nj, nk;
    ASSERT_EQ(c_vktluk(raw.data(), hs[r], &ni, &nj, &nk), hs[r]);
    const bool is_signed = expected[r].num("datyp") == 4;
    for (size_t i = 0; i < values.size(); ++i) {
      const double want = is_signed ? static_cast<double>(static_cast<int32_t>(raw[i]))
                                    : static_cast<double>(raw[i]);
      ASSERT_EQ(values[i], want) << r << " " << i;
      saw_top |= raw[i] == 0xFFFFFFFFu && !is_signed;
    }
  }
  EXPECT_TRUE(saw_top) << "the 32-bit unsigned extreme is in the golden file";
}

TEST_F(ReadTest, CharactersInFileOrderOnEveryHost) {
  SKIP_WITHOUT_GOLDEN("characters.vkt");
  const std::vector<GoldenRecord> expected = golden_records("characters");
  OpenUnit unit(33, golden_dir() + "characters.vkt");
  ASSERT_GE(unit.status(), 0);
  const std::vector<int> hs = handles(33);
  ASSERT_EQ(hs.size(), expected.size());
  for (size_t r = 0; r < hs.size(); ++r) {
    const size_t n = expected[r].values.size();
    std::vector<unsigned char> bytes(4 * ((n + 3) / 4) + 4, 0xEE);
    int ni, nj, nk;
    ASSERT_EQ(c_vktluk(bytes.data(), hs[r], &ni, &nj, &nk), hs[r]);
    for (size_t i = 0; i < n; ++i)
      EXPECT_EQ(std::to_string(bytes[i]), expected[r].values[i]) << r << " " << i;
  }
}

TEST_F(ReadTest, ReductionTo32BitsAndWithoutIt) {
  SKIP_WITHOUT_GOLDEN("ieee.vkt");
  const std::vector<GoldenRecord> expected = golden_records("ieee");
  OpenUnit unit(34, golden_dir() + "ieee.vkt");
  ASSERT_GE(unit.status(), 0);
  const std::vector<int> hs = handles(34);
  bool saw64 = false;
  for (size_t r = 0; r < hs.size(); ++r) {
    if (expected[r].num("nbits") != 64) continue;
    saw64 = true;
    const size_t n = expected[r].values.size();
    int ni, nj, nk;
    // Without REDUCTION32 the caller receives n doubles.
    std::vector<double> doubles(n + 1, -7.0);
    ASSERT_EQ(c_vktluk(doubles.data(), hs[r], &ni, &nj, &nk), hs[r]);
    options().downgrade_32 = 1;
    std::vector<float> floats(n + 1, -7.0f);
    ASSERT_EQ(c_vktluk(floats.data(), hs[r], &ni, &nj, &nk), hs[r]);
    options().downgrade_32 = 0;
    for (size_t i = 0; i < n; ++i) {
      EXPECT_EQ(value_token(static_cast<float>(doubles[i])), expected[r].values[i]);
      const float want = static_cast<float>(doubles[i]);
      EXPECT_EQ(std::memcmp(&floats[i], &want, sizeof want), 0) << i;
    }
    EXPECT_EQ(floats[n], -7.0f) << "one float per value";
  }
  EXPECT_TRUE(saw64);
}

TEST_F(ReadTest, ImageModeCopiesThePackedWords) {
  SKIP_WITHOUT_GOLDEN("datyp1_widths.vkt");
  const std::string path = golden_dir() + "datyp1_widths.vkt";
  StdImage file{stdfile_test::read_words(path)};
  OpenUnit unit(35, path);
  ASSERT_GE(unit.status(), 0);
  const std::vector<int> hs = handles(35);
  ASSERT_FALSE(hs.empty());
  const Descriptor d = Descriptor::from_entry(&file.w[file.entry_at(0)]);
  const size_t words = (static_cast<size_t>(d.nbits) * d.ni * d.nj * d.nk + 120 + 31) / 32;
  options().image_mode_copy = 1;
  std::vector<uint32_t> field(words + 4, 0xA5A5A5A5u);
  int ni, nj, nk;
  ASSERT_EQ(c_vktluk(field.data(), hs[0], &ni, &nj, &nk), hs[0]);
  for (size_t i = 0; i < words; ++i) ASSERT_EQ(field[i], file.w[file.data_at(0) + i]) << i;
  EXPECT_EQ(field[words], 0xA5A5A5A5u);
}

TEST_F(ReadTest, ListingLineAtInformLevel) {
  SKIP_WITHOUT_GOLDEN("datyp1_widths.stdout");
  const std::string lines = stdfile_test::read_text(golden_dir() + "datyp1_widths.stdout");
  OpenUnit unit(36, golden_dir() + "datyp1_widths.vkt");
  ASSERT_GE(unit.status(), 0);
  const std::vector<int> hs = handles(36);
  ASSERT_FALSE(hs.empty());
  std::vector<float> values;
  xdf::settings().msg_level = 1;
  testing::internal::CaptureStdout();
  ASSERT_GE(read_values_as_floats(hs[0], &values), 0);
  const std::string printed = testing::internal::GetCapturedStdout();
  // The line names the record's unit: Read(36) here, Read(1) in the golden run.
  ASSERT_EQ(printed.rfind("Read(36) ", 0), 0u);
  EXPECT_EQ(printed.substr(8), lines.substr(7, lines.find('\n') - 6));
  xdf::settings().msg_level = 4;
  testing::internal::CaptureStdout();
  ASSERT_GE(read_values_as_floats(hs[0], &values), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// A buffer handed back record after record keeps its size: values read into
// one that still holds another record's values are those read into an empty
// one, whatever the widths (constant fields included) and kinds.
TEST_F(ReadTest, ReadIntoAReusedBufferGivesTheSameValues) {
  for (const char *name : {"datyp1_widths", "datyp1_magnitudes", "float_packer"}) {
    SCOPED_TRACE(name);
    SKIP_WITHOUT_GOLDEN(std::string(name) + ".vkt");
    OpenUnit unit(37, golden_dir() + name + ".vkt");
    ASSERT_GE(unit.status(), 0);
    for (int h : handles(37)) {
      std::vector<float> fresh;
      ASSERT_GE(read_values_as_floats(h, &fresh), 0);
      std::vector<float> reused(fresh.size(), -123.5f);
      ASSERT_GE(read_values_as_floats(h, &reused), 0);
      ASSERT_EQ(std::memcmp(fresh.data(), reused.data(), fresh.size() * sizeof(float)), 0)
          << "handle " << h;
    }
  }
}

// Values decoded range by range are the bits of the whole read, for every
// datyp the converter reads as floats, however the record is cut, and an
// object fetched again record after record keeps giving them.
TEST_F(ReadTest, FloatValuesByRangeAreTheWholeRead) {
  int checked = 0;
  FloatValues reused;
  for (const char *name : {"big_field", "datyp1_widths", "datyp1_magnitudes", "ieee", "raw_words",
                           "characters", "float_packer", "compressed_reals", "zero_values"}) {
    if (!stdfile_test::have_golden(std::string(name) + ".vkt")) continue;
    SCOPED_TRACE(name);
    OpenUnit unit(38, golden_dir() + name + ".vkt");
    ASSERT_GE(unit.status(), 0);
    for (int h : handles(38)) {
      std::vector<float> whole;
      ASSERT_EQ(read_values_as_floats(h, &whole), h);
      ASSERT_EQ(reused.fetch(h), h);
      ASSERT_EQ(reused.size(), whole.size());
      const size_t n = whole.size();
      if (n == 0) continue;
      for (size_t piece : {n, size_t{1000}, size_t{8}, size_t{3}}) {
        std::vector<float> got(n + 1, -9.5f);
        // Pieces of 8 tell how far they go on (a record read range by range
        // reads ahead, and later pieces come from what was read).
        for (size_t first = 0; first < n; first += piece)
          reused.decode(first, std::min(piece, n - first), got.data() + first,
                        piece == 8 ? n - first : 0);
        ASSERT_EQ(std::memcmp(got.data(), whole.data(), n * sizeof(float)), 0)
            << "handle " << h << ", pieces of " << piece;
        ASSERT_EQ(got[n], -9.5f);
      }
    }
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no golden files";
}

// A copy of a golden file whose entry `index` is changed by `edit`, opened
// on unit 40 for the test.
class DamagedRecord : public ReadTest {
 protected:
  bool prepare(const std::string &name, int index, void (*edit)(StdImage &, int)) {
    if (!stdfile_test::have_golden(name + ".vkt")) return false;
    StdImage file{stdfile_test::read_words(golden_dir() + name + ".vkt")};
    edit(file, index);
    path_ = dir_.file("damaged.vkt");
    stdfile_test::write_words(path_, file.w);
    unit_ = std::make_unique<OpenUnit>(40, path_);
    hs_ = handles(40);
    if (unit_->status() < 0 || static_cast<int>(hs_.size()) <= index) {
      ADD_FAILURE() << "the damaged copy of " << name << " does not open";
      return false;
    }
    return true;
  }
  // Both read paths refuse the record with `code` and write nothing.
  void expect_refused(int index, int code) {
    std::vector<float> values(3, 1.0f);
    EXPECT_EQ(read_values_as_floats(hs_[index], &values), code);
    EXPECT_TRUE(values.empty());
    FloatValues ranged;
    EXPECT_EQ(ranged.fetch(hs_[index]), code);
    EXPECT_EQ(ranged.size(), 0u);
    std::vector<uint32_t> field(1 << 16, 0x5A5A5A5Au);
    int ni, nj, nk;
    EXPECT_EQ(c_vktluk(field.data(), hs_[index], &ni, &nj, &nk), code);
    for (uint32_t w : field) ASSERT_EQ(w, 0x5A5A5A5Au);
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<OpenUnit> unit_;
  std::vector<int> hs_;
};

TEST_F(DamagedRecord, HugeDimensionsAreRefusedBeforeAllocation) {
  // ni = nj = 2^24 - 1: ni*nj*nk overflows 32 bits.
  if (!prepare("datyp1_widths", 0, [](StdImage &f, int i) {
        uint32_t *e = &f.w[f.entry_at(i)];
        f.set_entry_word(i, 3, (0xFFFFFFu << 8) | (e[3] & 0xFF));
        f.set_entry_word(i, 4, (0xFFFFFFu << 8) | (e[4] & 0xFF));
      }))
    GTEST_SKIP();
  expect_refused(0, -23);
}

TEST_F(DamagedRecord, PackedHeaderWithAnUnknownMarker) {
  // The first word of the packed data: marker (12 bits) and count.
  if (!prepare("datyp1_widths", 2, [](StdImage &f, int i) { f.w[f.data_at(i)] = 0x12300005u; }))
    GTEST_SKIP();
  expect_refused(2, -23);
}

TEST_F(DamagedRecord, DimensionsBeyondTheStoredLength) {
  if (!prepare("datyp1_widths", 1, [](StdImage &f, int i) {
        uint32_t *e = &f.w[f.entry_at(i)];
        f.set_entry_word(i, 3, (1000u << 8) | (e[3] & 0xFF));
      }))
    GTEST_SKIP();
  expect_refused(1, -23);
}

TEST_F(DamagedRecord, CompressedLengthBeyondTheRecordStaysInside) {
  // data[0] far beyond the record: only the stored words are read.
  if (!prepare("compressed_reals", 0, [](StdImage &f, int i) { f.w[f.data_at(i)] = 0x00FFFFFFu; }))
    GTEST_SKIP();
  std::vector<double> values;
  EXPECT_EQ(read_values(hs_[0], &values), hs_[0]);
  EXPECT_EQ(values.size(), 33u * 16u);
}

TEST_F(DamagedRecord, CompressedStreamCutShort) {
  // A 33 x 16 field of 14 bits whose stream would end after two words.
  if (!prepare("compressed_reals", 0, [](StdImage &f, int i) { f.w[f.data_at(i)] = 6; }))
    GTEST_SKIP();
  expect_refused(0, -23);
}

TEST_F(DamagedRecord, CompressedHeaderMissing) {
  if (!prepare("compressed_packer", 0, [](StdImage &f, int i) { f.w[f.data_at(i)] = 2; }))
    GTEST_SKIP();
  expect_refused(0, -23);
}

TEST_F(DamagedRecord, CompressedDimensionsBeyondAnyStream) {
  if (!prepare("compressed_packer", 3, [](StdImage &f, int i) {
        uint32_t *e = &f.w[f.entry_at(i)];
        f.set_entry_word(i, 3, (0x7FFFu << 8) | (e[3] & 0xFF));
        f.set_entry_word(i, 4, (0x7FFFu << 8) | (e[4] & 0xFF));
      }))
    GTEST_SKIP();
  expect_refused(3, -23);
}

TEST_F(DamagedRecord, CompressedStreamGarbageNeverOverruns) {
  // Whatever the stream words hold, decoding stays inside its buffers
  // (AddressSanitizer watches); the record is refused or decoded.
  if (!prepare("sample_reals", 0, [](StdImage &f, int i) {
        const size_t first = f.data_at(i) + 5;
        const size_t k = f.w[f.data_at(i)];
        for (size_t j = 0; j + 4 < k; ++j) f.w[first + j] = 0xFFFFFFFFu - 0x01010101u * j;
      }))
    GTEST_SKIP();
  std::vector<float> values;
  const int status = read_values_as_floats(hs_[0], &values);
  EXPECT_TRUE(status == hs_[0] || status == -23) << status;
}

TEST_F(DamagedRecord, ZeroBitValuesAreRefused) {
  // nbits 0 would pass any count through the length check.
  if (!prepare("integers", 1, [](StdImage &f, int i) {
        uint32_t *e = &f.w[f.entry_at(i)];
        f.set_entry_word(i, 2, e[2] & ~0xFFu);
        f.set_entry_word(i, 3, (40000u << 8) | (e[3] & 0xFF));
        f.set_entry_word(i, 4, (40000u << 8) | (e[4] & 0xFF));
      }))
    GTEST_SKIP();
  expect_refused(1, -23);
}

TEST_F(DamagedRecord, CharactersBeyondTheStoredFirstLevel) {
  if (!prepare("characters", 0, [](StdImage &f, int i) {
        uint32_t *e = &f.w[f.entry_at(i)];
        f.set_entry_word(i, 3, (30000u << 8) | (e[3] & 0xFF));
        f.set_entry_word(i, 4, (30000u << 8) | (e[4] & 0xFF));
      }))
    GTEST_SKIP();
  expect_refused(0, -23);
}

TEST_F(DamagedRecord, Ieee64BitWidthsBetween33And63AreInvalid) {
  if (!prepare("ieee", 0, [](StdImage &f, int i) {
        uint32_t *e = &f.w[f.entry_at(i)];
        f.set_entry_word(i, 2, (e[2] & ~0xFFu) | 40u);
        f.set_entry_word(i, 4, (e[4] & ~0xFFu) | 5u);
      }))
    GTEST_SKIP();
  expect_refused(0, -16);
}

TEST_F(DamagedRecord, UnknownDatypIsInvalid) {
  if (!prepare("integers", 0, [](StdImage &f, int i) {
        uint32_t *e = &f.w[f.entry_at(i)];
        f.set_entry_word(i, 4, (e[4] & ~0xFFu) | 7u);
      }))
    GTEST_SKIP();
  expect_refused(0, -16);
}

TEST_F(DamagedRecord, BothInfoKeysSetIsAVersionError) {
  if (!prepare("integers", 0, [](StdImage &f, int i) {
        const size_t rec = f.data_at(i) - 2;  // the two info words
        f.w[rec] = 1;
        f.w[rec + 1] = 2;
      }))
    GTEST_SKIP();
  testing::internal::CaptureStdout();
  expect_refused(0, -40);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("c_vktluk aux_keys[0]=1, aux_keys[1]=2"),
            std::string::npos);
}

TEST_F(DamagedRecord, OneInfoKeyAloneIsAccepted) {
  if (!prepare("integers", 0, [](StdImage &f, int i) { f.w[f.data_at(i) - 1] = 9; })) GTEST_SKIP();
  std::vector<float> values;
  EXPECT_EQ(read_values_as_floats(hs_[0], &values), hs_[0]);
}

TEST_F(DamagedRecord, VersionErrorEndsTheProcessUnderTheDefaultTolerance) {
  if (!prepare("integers", 0, [](StdImage &f, int i) {
        f.w[f.data_at(i) - 2] = 1;
        f.w[f.data_at(i) - 1] = 1;
      }))
    GTEST_SKIP();
  xdf::settings().xdf_toler = 3;
  std::vector<float> values;
  EXPECT_EXIT(read_values_as_floats(hs_[0], &values), testing::ExitedWithCode(40),
              "wrong version of vktd98 \\(200001\\)");
}

TEST(NeededWords, ByDatypIn64Bits) {
  EXPECT_EQ(needed_data_words(0, 12, 10), 4);  // 120 bits
  EXPECT_EQ(needed_data_words(1, 16, 100), 54);
  EXPECT_EQ(needed_data_words(3, 8, 6), 0);
  EXPECT_EQ(needed_data_words(5, 64, 3), 6);
  EXPECT_EQ(needed_data_words(5, 0, 3), 3);
  EXPECT_EQ(needed_data_words(5, 48, 3), -1);
  EXPECT_EQ(needed_data_words(5, 100, 3), 6);  // widths above 64 read as 64
  EXPECT_EQ(needed_data_words(6, 8, 5), 6);
  EXPECT_EQ(needed_data_words(129, 8, 5), 1);
  EXPECT_EQ(needed_data_words(9, 8, 5), -1);
  // No 32-bit wrap: 32 bits x 2^31 values.
  EXPECT_EQ(needed_data_words(2, 32, int64_t{1} << 31), int64_t{1} << 31);
}

}  // namespace
}  // namespace zep::stdfile
