#include "app/xml_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

namespace {

// A temporary file the writer fills; text() reads back what reached it.
class TempFile {
 public:
  TempFile() {
    char name[] = "/tmp/xml_writer_test_XXXXXX";
    fd_ = mkstemp(name);
    path_ = name;
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  std::string text() const {
    std::string s;
    FILE *f = std::fopen(path_.c_str(), "rb");
    if (!f) return s;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

// The value lines as the document has them: printf's "%12.6g " per value,
// a line feed after every eighth.
template <typename T>
std::string expected_values(const std::vector<T> &values) {
  std::string s;
  char buf[64];
  for (size_t i = 0; i < values.size(); ++i) {
    s.append(buf, static_cast<size_t>(
                      std::snprintf(buf, sizeof buf, "%12.6g ", static_cast<double>(values[i]))));
    if (i % 8 == 7) s.push_back('\n');
  }
  return s;
}

TEST(AppendEscaped, EntitiesControlsAndHighBytes) {
  std::string out;
  zep::app::append_escaped(std::string("a&b<c>d", 7), &out);
  EXPECT_EQ(out, "a&amp;b&lt;c&gt;d");
  out.clear();
  zep::app::append_escaped(std::string("x\0y\tz\n\r\x01\x1F", 9), &out);
  EXPECT_EQ(out, "xy\tz\n\r&#xFFFD;&#xFFFD;");
  out = "kept:";
  zep::app::append_escaped("\xE9t\xE9 \x80\xFF", &out);
  EXPECT_EQ(out, "kept:&#xE9;t&#xE9; &#x80;&#xFF;");
  out.clear();
  zep::app::append_escaped("", &out);
  EXPECT_EQ(out, "");
}

TEST(DocumentWriter, ElementsAndIntegers) {
  TempFile file;
  {
    zep::app::DocumentWriter doc(file.fd());
    doc.put_text_element(2, "<etiket>", "A&B <1>", "</etiket>");
    doc.put_int_element(1, "<ip1>", -2147483648LL, "</ip1>");
    doc.put_int_element(0, "<n>", 0, "</n>");
    doc.put_char('x');
    doc.put_int(9223372036854775807LL);
    ASSERT_TRUE(doc.flush());
  }
  EXPECT_EQ(file.text(),
            "\t\t<etiket>A&amp;B &lt;1&gt;</etiket>\n\t<ip1>-2147483648</ip1>\n<n>0</n>\n"
            "x9223372036854775807");
}

TEST(DocumentWriter, ValueLinesOfEveryLengthAsPrintf) {
  std::mt19937 rng(3);
  for (size_t count : {0u, 1u, 7u, 8u, 9u, 16u, 17u, 23u}) {
    std::vector<float> floats(count);
    std::vector<double> doubles(count);
    for (size_t i = 0; i < count; ++i) {
      uint32_t b = static_cast<uint32_t>(rng());
      std::memcpy(&floats[i], &b, 4);
      doubles[i] = static_cast<double>(static_cast<int32_t>(rng()));
    }
    TempFile file;
    zep::app::DocumentWriter doc(file.fd());
    doc.put("<values>");
    doc.put_values(floats.data(), floats.size());
    doc.put("|");
    doc.put_values(doubles.data(), doubles.size());
    doc.put("</values>");
    ASSERT_TRUE(doc.flush());
    EXPECT_EQ(file.text(),
              "<values>" + expected_values(floats) + "|" + expected_values(doubles) + "</values>")
        << count << " values";
  }
}

// Several megabytes of values cross the 1 MiB pieces many times, in records
// whose lengths are not multiples of eight; nothing is lost or repeated at
// the seams.
TEST(DocumentWriter, LongRecordsAcrossTheFlushes) {
  std::mt19937 rng(11);
  TempFile file;
  std::string expected;
  {
    zep::app::DocumentWriter doc(file.fd());
    for (size_t count : {250001u, 3u, 180007u}) {
      std::vector<float> values(count);
      for (auto &v : values) v = static_cast<float>(std::ldexp(rng() % 100000, -(rng() % 40)));
      values[count / 2] = std::numeric_limits<float>::quiet_NaN();
      doc.put("<r>");
      doc.put_values(values.data(), values.size());
      doc.put("</r>\n");
      expected += "<r>" + expected_values(values) + "</r>\n";
    }
    std::vector<double> wide(120001);
    for (auto &v : wide) v = static_cast<double>(rng());
    doc.put_values(wide.data(), wide.size());
    expected += expected_values(wide);
    ASSERT_TRUE(doc.flush());
    EXPECT_FALSE(doc.failed());
  }
  const std::string got = file.text();
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

TEST(DocumentWriter, RefusedWritesAreReportedAndRemembered) {
  const int fd = open("/dev/full", O_WRONLY);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  zep::app::DocumentWriter doc(fd);
  std::vector<float> values(300000, 1.5f);  // more than one piece: flushes on the way
  doc.put_values(values.data(), values.size());
  EXPECT_TRUE(doc.failed());
  EXPECT_FALSE(doc.flush());
  EXPECT_EQ(doc.error(), std::strerror(ENOSPC));
  close(fd);

  const int ro = open("/dev/null", O_RDONLY);
  ASSERT_GE(ro, 0);
  zep::app::DocumentWriter doc2(ro);
  doc2.put("text");
  EXPECT_FALSE(doc2.flush());
  EXPECT_TRUE(doc2.failed());
  EXPECT_FALSE(doc2.error().empty());
  close(ro);
}

// With threads, lists are cut into chunks formatted apart: the text is
// printf's, as on one thread, for lengths below, at and around the chunk
// sizes, given as pointers or as vectors the writer takes (and keeps while
// the caller's copy is gone), with text put between.
TEST(DocumentWriter, ThreadedTextEqualsTheSingleThreadText) {
  using zep::app::DocumentWriter;
  std::mt19937 rng(5);
  const size_t chunk = DocumentWriter::kValuesPerChunk;
  const std::vector<size_t> counts = {DocumentWriter::kThreadedMinimum - 1,
                                      DocumentWriter::kThreadedMinimum,
                                      3 * chunk + 5,
                                      7,
                                      4 * chunk - 3,
                                      0};
  std::vector<std::vector<float>> floats;
  std::vector<std::vector<double>> doubles;
  std::string expected;  // the same for every writer below
  for (size_t count : counts) {
    std::vector<float> f(count);
    std::vector<double> d(count);
    for (size_t i = 0; i < count; ++i) {
      f[i] = static_cast<float>(std::ldexp(static_cast<double>(rng() % 2000001) - 1000000.0,
                                           static_cast<int>(rng() % 60) - 40));
      d[i] = static_cast<double>(static_cast<int64_t>(rng()) - 2147483648LL);
    }
    expected += "<f>" + expected_values(f) + "</f><d>" + expected_values(d) + "</d>\n";
    floats.push_back(std::move(f));
    doubles.push_back(std::move(d));
  }
  // Two and three threads; each length goes once as a pointer and once as
  // a vector.
  for (int threads : {2, 3}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    TempFile file;
    {
      DocumentWriter doc(file.fd(), threads);
      for (size_t k = 0; k < counts.size(); ++k) {
        std::vector<float> f = floats[k];
        std::vector<double> d = doubles[k];
        const bool as_vectors = (k + static_cast<size_t>(threads)) % 2 == 1;
        doc.put("<f>");
        if (as_vectors) {
          const float *f_taken = f.data();
          const double *d_taken = d.data();
          doc.put_values(&f);
          doc.put("</f><d>");
          doc.put_values(&d);
          // What the writer hands back is never the storage it took.
          if (counts[k] >= DocumentWriter::kThreadedMinimum) {
            EXPECT_TRUE(f.data() != f_taken && d.data() != d_taken);
          }
        } else {
          doc.put_values(f.data(), f.size());
          doc.put("</f><d>");
          doc.put_values(d.data(), d.size());
        }
        doc.put("</d>\n");
      }
      ASSERT_TRUE(doc.flush());
      EXPECT_EQ(doc.threads(), threads);  // they could be started
    }
    const std::string got = file.text();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
  }
}

// Small records, then records past the size where the writer keeps one
// record's values at a time, then small ones again, handed over as vectors
// and refilled the way the converter does: the text is the records' in order.
TEST(DocumentWriter, LargeAndSmallRecordsHandedOverInTurn) {
  const size_t large = zep::app::DocumentWriter::kSecondKeptLimit / sizeof(float) + 9;
  const size_t small = zep::app::DocumentWriter::kThreadedMinimum + 3;
  std::string expected;
  TempFile file;
  {
    zep::app::DocumentWriter doc(file.fd(), 2);
    std::vector<float> values;
    int record = 0;
    for (size_t count : {small, small, large, large, small, small}) {
      values.resize(count);  // what the converter's read does with what it got back
      for (size_t i = 0; i < count; ++i)
        values[i] = static_cast<float>((i * 7 + static_cast<size_t>(record) * 131) % 1000) / 8.0f;
      const std::string head = "<r" + std::to_string(record++) + ">";
      expected += head + expected_values(values);
      doc.put(head);
      doc.put_values(&values);
    }
    ASSERT_TRUE(doc.flush());
  }
  const std::string got = file.text();
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

// Records decoded range by range, chunk by chunk on the threads, give the
// text of their whole read on one thread and on three: packed reals of two
// widths at lengths around the chunk sizes, and IEEE values (decoded whole).
TEST(DocumentWriter, RecordsDecodedByRangeGiveTheirValuesText) {
  using zep::app::DocumentWriter;
  char dir[] = "/tmp/xml_writer_records_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/records.vkt";
  const size_t chunk = DocumentWriter::kValuesPerChunk;
  struct Shape {
    size_t count;
    int nbits, datyp;
  };
  const Shape shapes[] = {{DocumentWriter::kThreadedMinimum, 16, 1},
                          {3 * chunk + 5, 12, 1},
                          {7, 16, 1},
                          {4 * chunk - 3, 16, 1},
                          {2 * chunk + 1, 32, 5},
                          {DocumentWriter::kThreadedMinimum - 1, 24, 1}};
  int unit = 0;
  ASSERT_EQ(c_fnom(&unit, path.c_str(), "STD+RND", 0), 0);
  ASSERT_GE(c_vktouv(unit, "RND"), 0);
  std::mt19937 rng(11);
  for (const Shape &sh : shapes) {
    std::vector<float> v(sh.count);
    for (float &x : v) x = static_cast<float>(rng() % 100000) * 0.01f - 300.0f;
    ASSERT_GE(c_vktecr(v.data(), nullptr, -sh.nbits, unit, 0, 0, 0, static_cast<int>(sh.count), 1,
                       1, 500, 0, 0, "P", "RNG", "RANGES", "X", 0, 0, 0, 0, sh.datyp, 0),
              0);
  }
  std::vector<int> handles;
  int ni, nj, nk;
  for (int h = c_vktinf(unit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
       h = c_vktsui(unit, &ni, &nj, &nk))
    handles.push_back(h);
  ASSERT_EQ(handles.size(), std::size(shapes));
  std::string expected;
  for (int h : handles) {
    std::vector<float> whole;
    ASSERT_EQ(zep::stdfile::read_values_as_floats(h, &whole), h);
    expected += "<r>" + expected_values(whole);
  }
  for (int threads : {1, 3}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    TempFile file;
    {
      DocumentWriter doc(file.fd(), threads);
      zep::stdfile::FloatValues values;  // fetched into again, as the converter does
      for (int h : handles) {
        ASSERT_EQ(values.fetch(h), h);
        doc.put("<r>");
        doc.put_values(&values);
      }
      ASSERT_TRUE(doc.flush());
    }
    const std::string got = file.text();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
  }
  c_vktfrm(unit);
  c_fclos(unit);
  std::remove(path.c_str());
  rmdir(dir);
}

// A file cut short after a record was fetched, before its chunks are
// formatted: the values that cannot be read come out as zeros, and the
// record is counted once, with threads as without; the records before it
// are whole.
TEST(DocumentWriter, RecordCutShortBeforeItsChunksIsCounted) {
  using zep::app::DocumentWriter;
  char dir[] = "/tmp/xml_writer_cut_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/cut.vkt";
  const size_t count = 4 * DocumentWriter::kValuesPerChunk;
  for (int threads : {1, 3}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::remove(path.c_str());
    int unit = 0;
    ASSERT_EQ(c_fnom(&unit, path.c_str(), "STD+RND", 0), 0);
    ASSERT_GE(c_vktouv(unit, "RND"), 0);
    std::vector<float> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = 1.0f + static_cast<float>(i % 1000);
    for (int r = 0; r < 2; ++r)
      ASSERT_GE(c_vktecr(v.data(), nullptr, -16, unit, 0, 0, 0, static_cast<int>(count), 1, 1,
                         500 + r, 0, 0, "P", "CUT", "CUT", "X", 0, 0, 0, 0, 1, 0),
                0);
    int ni, nj, nk;
    const int first = c_vktinf(unit, &ni, &nj, &nk, -1, "", 500, -1, -1, "", "");
    const int last = c_vktinf(unit, &ni, &nj, &nk, -1, "", 501, -1, -1, "", "");
    ASSERT_GE(first, 0);
    ASSERT_GE(last, 0);
    std::vector<float> whole;
    ASSERT_EQ(zep::stdfile::read_values_as_floats(last, &whole), last);
    TempFile file;
    {
      DocumentWriter doc(file.fd(), threads);
      zep::stdfile::FloatValues values;
      ASSERT_EQ(values.fetch(first), first);
      doc.put_values(&values);
      ASSERT_TRUE(doc.flush());
      EXPECT_EQ(doc.unread_records(), 0);
      ASSERT_EQ(values.fetch(last), last);
      // The last record's second half is gone (and whatever follows it).
      struct stat st;
      ASSERT_EQ(stat(path.c_str(), &st), 0);
      ASSERT_EQ(truncate(path.c_str(), st.st_size - static_cast<off_t>(count)), 0);
      doc.put_values(&values);
      ASSERT_TRUE(doc.flush());
      EXPECT_EQ(doc.unread_records(), 1);
    }
    std::vector<float> expected = whole;
    std::fill(expected.begin() + count / 2, expected.end(), 0.0f);
    const std::string text = file.text();
    ASSERT_EQ(text.size(), 2 * expected_values(expected).size());
    EXPECT_TRUE(text.substr(0, text.size() / 2) == expected_values(whole));
    // Some values at its start are still read, none at its end.
    const std::string cut = text.substr(text.size() / 2);
    EXPECT_TRUE(cut.substr(0, 100) == expected_values(whole).substr(0, 100));
    EXPECT_TRUE(cut.substr(cut.size() - 200) == expected_values(expected).substr(cut.size() - 200));
    EXPECT_NE(cut, expected_values(whole));
    c_vktfrm(unit);
    c_fclos(unit);
  }
  std::remove(path.c_str());
  rmdir(dir);
}

// A descriptor that refuses the chunks: the failure is seen and kept with
// threads as without.
TEST(DocumentWriter, RefusedChunksAreReportedWithThreads) {
  const int fd = open("/dev/full", O_WRONLY);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  zep::app::DocumentWriter doc(fd, 3);
  std::vector<float> values(5 * zep::app::DocumentWriter::kValuesPerChunk + 1, 0.25f);
  doc.put_values(&values);
  std::vector<double> wide(3 * zep::app::DocumentWriter::kValuesPerChunk, 12.0);
  doc.put_values(wide.data(), wide.size());
  EXPECT_TRUE(doc.failed());
  EXPECT_FALSE(doc.flush());
  EXPECT_EQ(doc.error(), std::strerror(ENOSPC));
  close(fd);
}

}  // namespace
