// The page cache of word-addressable files. The cache is configured once per
// process from WA_CONFIG, so each scenario runs in a fresh copy of the test
// program (IO_RUN_FRESH) and reports its failures as text.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "io/test_support.h"

namespace {

using io_test::be_words;
using io_test::file_word;
using io_test::read_bytes;
using io_test::write_bytes;

// Collects failures of a scenario.
struct Checks {
  std::string text;
  void expect(bool ok, const std::string &what) {
    if (!ok) text += what + "\n";
  }
  template <typename A, typename B>
  void equal(const A &got, const B &want, const std::string &what) {
    if (!(got == want)) {
      std::ostringstream s;
      s << what << ": got " << testing::PrintToString(got) << ", want "
        << testing::PrintToString(want);
      text += s.str() + "\n";
    }
  }
};

std::vector<uint32_t> counting(size_t n, uint32_t base = 1) {
  std::vector<uint32_t> w(n);
  for (size_t i = 0; i < n; ++i) w[i] = base + static_cast<uint32_t>(i);
  return w;
}

const zep::io::WaSlot &slot_of_unit(int unit) {
  return zep::io::wa_table()[zep::io::wa_slot_of_fd(
      zep::io::file_entry(zep::io::file_index_of(unit)).fd)];
}

class PageCacheTest : public io_test::IoTest {};

TEST_F(PageCacheTest, ConfigurationFromTheEnvironment) {
  const std::string path = dir_.file("cfg.dat");
  write_bytes(path, be_words(counting(10)));
  auto open_and_capture = [&](std::string *err) {
    testing::internal::CaptureStderr();
    const int r = c_fnom(reinterpret_cast<void *>(30), path.c_str(), "RND", 0);
    *err = testing::internal::GetCapturedStderr();
    return r;
  };
  auto unset = [&]() {
    Checks c;
    std::string err;
    c.equal(open_and_capture(&err), 0, "bind");
    c.equal(err, std::string(), "messages");
    c.equal(zep::io::wa_settings().page_size, 0, "page size");
    uint32_t buf[10];
    c.equal(c_waread2(30, buf, 1, 10), 10, "read");
    c.equal(c_wawrit2(30, buf, 3, 4), 4, "write");
    c.equal(zep::io::wa_buffers_allocated(), 0, "buffers");
    return c.text;
  };
  IO_RUN_FRESH(nullptr, unset);

  auto four_three = [&]() {
    Checks c;
    std::string err;
    c.equal(open_and_capture(&err), 0, "bind");
    c.equal(err, std::string("WA_PAGE_SZ = 16384 Bytes WA_PAGE_NB = 3 WA_PAGE_LIMIT = 384\n"),
            "banner");
    c.equal(zep::io::wa_settings().page_size, 4096, "page size");
    c.equal(zep::io::wa_settings().page_nb, 3, "pages per file");
    c.equal(zep::io::wa_settings().page_limit, 384, "limit");
    return c.text;
  };
  IO_RUN_FRESH("4 3", four_three);

  auto too_many_pages = [&]() {
    Checks c;
    std::string err;
    c.equal(open_and_capture(&err), 0, "bind");
    c.expect(
        err.find("WA_PAGE_NB") != std::string::npos && err.find("warning") != std::string::npos,
        "no warning: " + err);
    c.equal(zep::io::wa_settings().page_nb, 10, "pages per file");
    c.equal(zep::io::wa_settings().page_limit, 1280, "limit");
    c.equal(zep::io::wa_settings().page_size, 1024, "page size");
    return c.text;
  };
  IO_RUN_FRESH("1 20", too_many_pages);

  auto limit_capped = [&]() {
    Checks c;
    std::string err;
    c.equal(open_and_capture(&err), 0, "bind");
    c.expect(err.find("WA_PAGE_LIMIT 5000 lowered to 1280") != std::string::npos,
             "no warning: " + err);
    c.equal(zep::io::wa_settings().page_limit, 1280, "limit");
    c.equal(zep::io::wa_settings().trace, 0, "trace");
    return c.text;
  };
  IO_RUN_FRESH("2 3 5000 0", limit_capped);

  for (const char *off : {"0", "-3", "99999999999", "4097"}) {
    auto cache_off = [&]() {
      Checks c;
      std::string err;
      c.equal(open_and_capture(&err), 0, "bind");
      c.expect(err.find("WA_CONFIG warning") != std::string::npos,
               std::string("no warning for ") + off);
      c.expect(err.find("WA_PAGE_SZ") == std::string::npos, "banner printed");
      c.equal(zep::io::wa_settings().page_size, 0, "page size");
      return c.text;
    };
    IO_RUN_FRESH(off, cache_off);
  }

  auto not_numeric = [&]() {
    Checks c;
    std::string err;
    c.equal(open_and_capture(&err), 0, "bind");
    c.equal(err, std::string(), "messages");
    c.equal(zep::io::wa_settings().page_size, 0, "page size");
    return c.text;
  };
  IO_RUN_FRESH("fast please", not_numeric);
}

TEST_F(PageCacheTest, RequestsAreCutAtFrameBoundaries) {
  const std::string path = dir_.file("frames.dat");
  write_bytes(path, be_words(counting(3000)));
  auto scenario = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c.equal(c_fnom(reinterpret_cast<void *>(31), path.c_str(), "RND+R/O", 0), 0, "bind");
    testing::internal::GetCapturedStderr();
    std::vector<uint32_t> buf(10);
    testing::internal::CaptureStderr();
    c.equal(c_waread2(31, buf.data(), 1020, 10), 10, "read across");
    const std::string trace = testing::internal::GetCapturedStderr();
    c.equal(buf, counting(10, 1020), "words across the boundary");
    c.expect(trace.find("Debug WA_PAGE_READ requete adr=1020, nmots=5 ind=") != std::string::npos,
             "first piece");
    c.expect(trace.find("Debug WA_PAGE_READ requete adr=1025, nmots=5 ind=") != std::string::npos,
             "second piece");
    c.expect(trace.find("Debug WA_PAGE_READ lecture disque adr=1\n") != std::string::npos,
             "frame 0 read");
    c.expect(trace.find("Debug WA_PAGE_READ lecture disque adr=1025\n") != std::string::npos,
             "frame 1 read");
    const zep::io::WaSlot &w = slot_of_unit(31);
    c.equal(w.npages, 2, "pages");
    c.equal(w.page[0].wa0, 1, "page 0 frame");
    c.equal(w.page[1].wa0, 1025, "page 1 frame");
    c.equal(w.page[0].walast, 1024, "page 0 last");
    // Word 1024 alone is served by the page holding 1..1024, without a disk read.
    testing::internal::CaptureStderr();
    c.equal(c_waread2(31, buf.data(), 1024, 1), 1, "read 1024");
    const std::string trace2 = testing::internal::GetCapturedStderr();
    c.equal(buf[0], 1024u, "word 1024");
    c.expect(trace2.find("lecture disque") == std::string::npos, "word 1024 missed: " + trace2);
    // The last frame is partial: its page holds the words up to the end.
    c.equal(c_waread2(31, buf.data(), 2995, 10), 6, "read at the end");
    c.equal(buf[5], 3000u, "last word");
    // Record 1 (frame 1) had the smaller weight: its record now holds frame 2.
    c.equal(slot_of_unit(31).page[0].wa0, 1, "frame 0 kept");
    c.equal(slot_of_unit(31).page[1].wa0, 2049, "frame 2 in record 1");
    c.equal(slot_of_unit(31).page[1].walast, 3000, "partial page last");
    return c.text;
  };
  IO_RUN_FRESH("1 2 0 5", scenario);
}

TEST_F(PageCacheTest, DirtyPageIsWrittenBackBeforeItsBufferIsReused) {
  const std::string path = dir_.file("one_page.dat");
  write_bytes(path, be_words(counting(2048)));
  auto scenario = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c.equal(c_fnom(reinterpret_cast<void *>(32), path.c_str(), "RND", 0), 0, "bind");
    testing::internal::GetCapturedStderr();
    uint32_t a = 0xAAAA0005u, b = 0xBBBB0406u;
    c.equal(c_wawrit2(32, &a, 5, 1), 1, "write frame 0");
    c.equal(file_word(read_bytes(path), 4), 5u, "frame 0 not yet on disk");
    c.equal(c_wawrit2(32, &b, 1030, 1), 1, "write frame 1");
    // Switching frames with one page per file wrote frame 0 back.
    const auto disk = read_bytes(path);
    c.equal(file_word(disk, 4), 0xAAAA0005u, "frame 0 written back");
    c.equal(file_word(disk, 3), 4u, "neighbour kept (pre-read)");
    c.equal(file_word(disk, 1029), 1030u, "frame 1 not yet on disk");
    uint32_t r[2] = {};
    c.equal(c_waread2(32, r, 4, 2), 2, "read back frame 0");
    c.equal(r[0], 4u, "word 4");
    c.equal(r[1], 0xAAAA0005u, "word 5");
    c.equal(file_word(read_bytes(path), 1029), 0xBBBB0406u, "frame 1 written back on switch");
    c.equal(zep::io::wa_buffers_allocated(), 1, "one buffer");
    c.equal(c_waread2(32, r, 1030, 1), 1, "read frame 1");
    c.equal(r[0], 0xBBBB0406u, "word 1030");
    c.equal(c_waclos2(32), 0, "close");
    const auto final_disk = read_bytes(path);
    c.equal(final_disk.size(), 2048u * 4, "size");
    c.equal(file_word(final_disk, 4), 0xAAAA0005u, "word 5 on disk");
    c.equal(file_word(final_disk, 1029), 0xBBBB0406u, "word 1030 on disk");
    c.equal(zep::io::file_entry(zep::io::file_index_of(32)).size, 0, "size reset at close");
    return c.text;
  };
  IO_RUN_FRESH("1 1", scenario);
}

// The barrier of a checkpoint: every dirty page reaches the file, and the
// pages stay cached (clean) for the reads that follow.
TEST_F(PageCacheTest, BarrierWritesBackDirtyPagesAndKeepsThem) {
  const std::string path = dir_.file("barrier.dat");
  write_bytes(path, be_words(counting(4096)));
  auto scenario = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c.equal(c_fnom(reinterpret_cast<void *>(33), path.c_str(), "RND", 0), 0, "bind");
    testing::internal::GetCapturedStderr();
    uint32_t a = 0xAAAA0007u, b = 0xBBBB0C01u, r = 0;
    c.equal(c_waread2(33, &r, 2100, 1), 1, "read frame 2 (clean)");
    c.equal(c_wawrit2(33, &b, 3073, 1), 1, "write frame 3");
    c.equal(c_wawrit2(33, &a, 7, 1), 1, "write frame 0");
    c.equal(file_word(read_bytes(path), 6), 7u, "frame 0 not yet on disk");
    const int row = zep::io::file_index_of(33);
    zep::io::qqcsync(row, true);
    const auto disk = read_bytes(path);
    c.equal(file_word(disk, 6), 0xAAAA0007u, "frame 0 on disk after the barrier");
    c.equal(file_word(disk, 3072), 0xBBBB0C01u, "frame 3 on disk after the barrier");
    c.equal(disk.size(), 4096u * 4, "size unchanged");
    const zep::io::WaSlot &w = slot_of_unit(33);
    c.equal(w.npages, 3, "pages kept");
    for (int i = 0; i < w.npages; ++i)
      c.equal(w.page[i].dirty, 0, "clean page " + std::to_string(i));
    // A page written back is not written again: a change made behind the
    // cache's back survives the close.
    write_bytes(path, be_words(counting(4096, 100)));
    c.equal(c_waclos2(33), 0, "close");
    c.equal(file_word(read_bytes(path), 6), 106u, "nothing written back twice");
    return c.text;
  };
  IO_RUN_FRESH("1 4", scenario);
}

TEST_F(PageCacheTest, EvictionPrefersTheLowestSlotAndRecordOnTies) {
  const std::string pa = dir_.file("a.dat"), pb = dir_.file("b.dat");
  write_bytes(pa, be_words(counting(4096)));
  write_bytes(pb, be_words(counting(4096, 100000)));
  auto within_file = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c_fnom(reinterpret_cast<void *>(33), pa.c_str(), "RND+R/O", 0);
    testing::internal::GetCapturedStderr();
    uint32_t w;
    c_waread2(33, &w, 1, 1);
    c_waread2(33, &w, 1025, 1);
    zep::io::WaSlot &s = zep::io::wa_table()[zep::io::wa_slot_of_fd(
        zep::io::file_entry(zep::io::file_index_of(33)).fd)];
    c.equal(s.npages, 2, "pages");
    // Equal weights after the next decay: the lower record goes.
    s.page[0].age = s.page[1].age = 400;
    c_waread2(33, &w, 2049, 1);
    c.equal(s.npages, 2, "pages after");
    c.equal(s.page[0].wa0, 1025, "kept record 1, moved down");
    c.equal(s.page[1].wa0, 2049, "new page last");
    // A strictly smaller weight wins over the lower record.
    s.page[0].age = 600;
    s.page[1].age = 400;
    c_waread2(33, &w, 1, 1);
    c.equal(s.page[0].wa0, 1025, "record 0 kept");
    c.equal(s.page[1].wa0, 1, "record 1 replaced");
    return c.text;
  };
  IO_RUN_FRESH("1 2", within_file);

  auto across_files = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c_fnom(reinterpret_cast<void *>(34), pa.c_str(), "RND+R/O", 0);
    c_fnom(reinterpret_cast<void *>(35), pb.c_str(), "RND+R/O", 0);
    testing::internal::GetCapturedStderr();
    uint32_t w;
    c_waread2(34, &w, 1, 1);
    c_waread2(35, &w, 1, 1);
    c.equal(zep::io::wa_buffers_allocated(), 2, "limit reached");
    zep::io::WaSlot &sa = zep::io::wa_table()[zep::io::wa_slot_of_fd(
        zep::io::file_entry(zep::io::file_index_of(34)).fd)];
    zep::io::WaSlot &sb = zep::io::wa_table()[zep::io::wa_slot_of_fd(
        zep::io::file_entry(zep::io::file_index_of(35)).fd)];
    c.expect(&sa < &sb, "file a in the lower slot");
    sa.page[0].age = sb.page[0].age = 64;
    c.equal(c_waread2(35, &w, 1025, 1), 1, "read b frame 1");
    c.equal(w, 100000u + 1024, "word");
    c.equal(sa.npages, 0, "a's page evicted on the tie");
    c.equal(sb.npages, 2, "b holds two");
    c.equal(zep::io::wa_buffers_allocated(), 2, "no new buffer");
    // Now b's record 0 has the smallest weight over all slots.
    sb.page[0].age = 1;
    sb.page[1].age = 900;
    c.equal(c_waread2(34, &w, 5, 1), 1, "read a");
    c.equal(w, 5u, "a word 5");
    c.equal(sb.npages, 1, "b lost one page");
    c.equal(sb.page[0].wa0, 1025, "b kept frame 1");
    return c.text;
  };
  IO_RUN_FRESH("1 2 2", across_files);
}

TEST_F(PageCacheTest, WeightsDecayOnEveryPagedAccess) {
  const std::string path = dir_.file("decay.dat");
  write_bytes(path, be_words(counting(2048)));
  auto scenario = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c_fnom(reinterpret_cast<void *>(36), path.c_str(), "RND", 0);
    testing::internal::GetCapturedStderr();
    uint32_t w = 7;
    c_waread2(36, &w, 1, 1);  // miss: 1, then +256
    const zep::io::WaSlot &s = slot_of_unit(36);
    c.equal(s.page[0].age, 257, "after read");
    c_waread2(36, &w, 1025, 1);  // decay: 257 - 64 = 193
    c.equal(s.page[0].age, 193, "decayed");
    c.equal(s.page[0].idle, 1, "idle");
    c.equal(s.page[1].age, 257, "new page");
    c_wawrit2(36, &w, 2, 1);  // decay page 0: 193 - 48 = 145, then +512
    c.equal(s.page[0].age, 657, "after write");
    c.equal(s.page[0].idle, 0, "idle reset");
    c.equal(s.page[0].dirty, 1, "dirty");
    c.equal(s.page[1].age, 257 - 64, "other decayed");
    c.equal(s.page[1].idle, 1, "other idle");
    return c.text;
  };
  IO_RUN_FRESH("1 2", scenario);
}

// The same mixed sequence of writes and reads on three files, with and
// without the cache, must leave the same files and read the same words.
std::string run_mixed(const std::vector<std::string> &paths, std::vector<uint32_t> *reads) {
  Checks c;
  testing::internal::CaptureStderr();
  for (size_t f = 0; f < paths.size(); ++f)
    c.equal(c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(200 + f)), paths[f].c_str(),
                   "RND", 0),
            0, "bind");
  testing::internal::GetCapturedStderr();
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFFFFFF;
  };
  std::vector<uint32_t> buf(3000);
  for (int step = 0; step < 300; ++step) {
    const int unit = 200 + static_cast<int>(next() % paths.size());
    const int size = c_wasize(unit);
    const unsigned adr = 1 + next() % static_cast<unsigned>(size + 1500);
    const int n = 1 + static_cast<int>(next() % 2500);
    if (next() % 3 != 0) {
      for (int i = 0; i < n; ++i) buf[i] = next() ^ (static_cast<uint32_t>(step) << 24);
      c.equal(c_wawrit2(unit, buf.data(), adr, n), n, "write");
    } else {
      const int r = c_waread2(unit, buf.data(), adr, n);
      reads->push_back(static_cast<uint32_t>(r));
      for (int i = 0; i < r; ++i) reads->push_back(buf[i]);
    }
  }
  for (size_t f = 0; f < paths.size(); ++f)
    c.equal(c_waclos2(200 + static_cast<int>(f)), 0, "close");
  return c.text;
}

TEST_F(PageCacheTest, SeveralFilesMatchTheUncachedResult) {
  const std::string d = dir_.path();
  // Each run lays down its own three files, then reads and writes them.
  auto make = [d](const std::string &prefix) {
    return [d, prefix]() {
      std::vector<std::string> paths;
      for (int f = 0; f < 3; ++f) {
        paths.push_back(d + "/" + prefix + std::to_string(f));
        write_bytes(paths.back(), be_words(counting(1000 + 700 * f)));
      }
      std::vector<uint32_t> reads;
      std::string failures = run_mixed(paths, &reads);
      write_bytes(d + "/" + prefix + "_reads", be_words(reads));
      return failures;
    };
  };
  auto uncached = make("plain");
  IO_RUN_FRESH(nullptr, uncached);
  // Two pages per file but only three buffers for three files: constant
  // eviction across files.
  auto with_cache = make("cached");
  IO_RUN_FRESH("1 2 3", with_cache);
  for (int f = 0; f < 3; ++f) {
    const auto a = read_bytes(d + "/plain" + std::to_string(f));
    const auto b = read_bytes(d + "/cached" + std::to_string(f));
    EXPECT_GT(a.size(), (1000u + 700u * f) * 4) << f;
    EXPECT_TRUE(a == b) << "file " << f << " differs";
  }
  const auto ra = read_bytes(d + "/plain_reads"), rb = read_bytes(d + "/cached_reads");
  EXPECT_GT(ra.size(), 1000u);
  EXPECT_TRUE(ra == rb) << "reads differ";
}

TEST_F(PageCacheTest, EndOfFileThroughTheCache) {
  const std::string path = dir_.file("end.dat");
  write_bytes(path, be_words(counting(1030)));
  auto scenario = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c_fnom(reinterpret_cast<void *>(37), path.c_str(), "RND", 0);
    testing::internal::GetCapturedStderr();
    std::vector<uint32_t> buf(100, 0xFEEDu);
    c.equal(c_waread2(37, buf.data(), 1021, 100), 10, "read at esize - 9");
    c.equal(buf[9], 1030u, "last word");
    c.equal(buf[10], 0xFEEDu, "buffer past the count untouched");
    c.equal(c_waread2(37, buf.data(), 1031, 100), 0, "at esize + 1");
    c.equal(c_waread2(37, buf.data(), 1033, 100), -2, "at esize + 3");
    // Extend through the cache with a gap, then read it back before closing.
    uint32_t w[2] = {0x12345678u, 0x9ABCDEF0u};
    c.equal(c_wawrit2(37, w, 1040, 2), 2, "write past the end");
    c.equal(c_wasize(37), 1041, "size");
    std::vector<uint32_t> back(12, 1);
    c.equal(c_waread2(37, back.data(), 1030, 12), 12, "read the gap");
    c.equal(back[0], 1030u, "old last word");
    for (int i = 1; i < 10; ++i) c.equal(back[i], 0u, "gap word");
    c.equal(back[10], 0x12345678u, "data");
    c.equal(back[11], 0x9ABCDEF0u, "data 2");
    c.equal(c_waclos2(37), 0, "close");
    const auto disk = read_bytes(path);
    c.equal(disk.size(), 1041u * 4, "disk size");
    c.equal(file_word(disk, 1039), 0x12345678u, "disk data");
    c.equal(file_word(disk, 1035), 0u, "disk gap");
    return c.text;
  };
  IO_RUN_FRESH("1 1", scenario);
}

TEST_F(PageCacheTest, WholeFrameWriteSkipsThePreRead) {
  const std::string path = dir_.file("whole.dat");
  write_bytes(path, be_words(counting(1024)));
  auto scenario = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c_fnom(reinterpret_cast<void *>(38), path.c_str(), "RND", 0);
    std::vector<uint32_t> w(1024, 3);
    c_wawrit2(38, w.data(), 1, 1024);   // covers the frame
    c_wawrit2(38, w.data(), 1025, 10);  // past the file's last word
    c_wawrit2(38, w.data(), 1030, 2);   // hit
    const std::string trace = testing::internal::GetCapturedStderr();
    c.expect(trace.find("relecture") == std::string::npos, "pre-read happened: " + trace);
    testing::internal::CaptureStderr();
    c_wawrit2(38, w.data(), 3, 2);  // frame 0 again, partial: pre-read
    const std::string trace2 = testing::internal::GetCapturedStderr();
    c.expect(trace2.find("Debug WA_PAGE_WRITE relecture disque de la page 0 a l'adresse 1\n") !=
                 std::string::npos,
             "no pre-read: " + trace2);
    c_waclos2(38);
    c.equal(read_bytes(path).size(), 1034u * 4, "size");
    return c.text;
  };
  IO_RUN_FRESH("1 1 0 5", scenario);
}

TEST_F(PageCacheTest, OpenAndCloseTraces) {
  const std::string path = dir_.file("trace.dat");
  write_bytes(path, be_words(counting(3)));
  auto scenario = [&]() {
    Checks c;
    testing::internal::CaptureStderr();
    c_fnom(reinterpret_cast<void *>(39), path.c_str(), "RND", 0);
    const int fd = zep::io::file_entry(zep::io::file_index_of(39)).fd;
    c_waclos2(39);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string want =
        "WA_PAGE_SZ = 8192 Bytes WA_PAGE_NB = 1 WA_PAGE_LIMIT = 128\n"
        "Debug ouverture du fichier " +
        path + " ind=0, fd=" + std::to_string(fd) +
        "\nDebug longueur du fichier =12 Bytes\n"
        "Debug fermeture du fichier ind=0, fd=" +
        std::to_string(fd) + "\n";
    c.equal(err, want, "traces");
    return c.text;
  };
  IO_RUN_FRESH("2 1 0 2", scenario);
}

TEST_F(PageCacheTest, OverlappingPagesEndTheProcess) {
  const std::string path = dir_.file("overlap.dat");
  write_bytes(path, be_words(counting(3000)));
  setenv("WA_CONFIG", "1 2", 1);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        c_fnom(reinterpret_cast<void *>(40), path.c_str(), "RND", 0);
        uint32_t w;
        c_waread2(40, &w, 1, 1);
        c_waread2(40, &w, 1025, 1);
        zep::io::wa_table()[zep::io::wa_slot_of_fd(
                                zep::io::file_entry(zep::io::file_index_of(40)).fd)]
            .page[1]
            .wa0 = 513;
        c_waread2(40, &w, 2, 1);
      },
      testing::ExitedWithCode(1),
      "WA_PAGE_READ error: overlapping pages i=0\npage\\[j\\].wa0 =513, page\\[i\\].wa0 =1, "
      "page\\[i\\].wa0\\+WA_PAGE_SIZE =1024");
  unsetenv("WA_CONFIG");
}

}  // namespace
