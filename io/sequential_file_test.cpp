// Sequential files on STREAM units: descriptors, positions, word and byte
// transfers, short files, units without the attribute, special names.
#include "io/sequential_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "io/test_support.h"
#include "zep/io_seq.h"

namespace {

using io_test::IoTest;

class SequentialFileTest : public IoTest {
 protected:
  // Binds `unit` to a file of the given bytes with the given attributes.
  void bind(int unit, const std::string &name, const std::vector<unsigned char> &bytes,
            const char *attributes = "STREAM") {
    const std::string path = dir_.file(name);
    io_test::write_bytes(path, bytes);
    int u = unit;
    ASSERT_EQ(c_fnom(&u, path.c_str(), attributes, 0), 0);
  }
};

TEST_F(SequentialFileTest, DescriptorOnlyForOpenStreamUnits) {
  bind(31, "plain", std::vector<unsigned char>(8, 1), "RND");
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_getfdsc(31), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "c_getfdsc error: unit 31 does not have the STREAM attribute\n");
  // Every word or byte call on such a unit fails the same way.
  char text[4];
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_sqgetw(31, text, 1), -1);
  EXPECT_EQ(c_sqputs(31, "ab", 2), -1);
  EXPECT_EQ(c_sqrew(31), -1);
  testing::internal::GetCapturedStderr();

  bind(32, "stream", std::vector<unsigned char>(8, 1));
  const int fd = c_getfdsc(32);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(fd, zep::io::file_entry(zep::io::file_index_of(32)).fd);

  ASSERT_EQ(c_waclos(32), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(c_getfdsc(32), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "c_getfdsc error: unit 32 is not open\n");

  testing::internal::CaptureStderr();
  EXPECT_EQ(c_getfdsc(33), -1);
  EXPECT_EQ(c_sqopen(33), -1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("c_getfdsc error: unit 33 is not associated with any file"),
            std::string::npos);
  EXPECT_NE(err.find("c_sqopen error: unit 33 is not associated with any file"), std::string::npos);
}

TEST_F(SequentialFileTest, EndAndStartOfA400ByteFile) {
  std::vector<unsigned char> bytes(400);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
  bind(34, "four_hundred", bytes);
  EXPECT_EQ(c_sqeoi(34), 400);
  char c;
  EXPECT_EQ(c_sqgets(34, &c, 1), -1);  // nothing after the end
  EXPECT_EQ(c_sqrew(34), 0);
  char head[5] = {};
  EXPECT_EQ(c_sqgets(34, head, 4), 4);
  EXPECT_EQ(std::memcmp(head, bytes.data(), 4), 0);
}

TEST_F(SequentialFileTest, WordsMoveAsTheyLieInTheFile) {
  const std::vector<unsigned char> six_words = io_test::be_words({1, 2, 3, 4, 5, 6});
  bind(35, "six", six_words);
  uint32_t words[10] = {};
  EXPECT_EQ(c_sqgetw(35, words, 10), -1);  // only 6 words there
  EXPECT_EQ(c_sqrew(35), 0);
  EXPECT_EQ(c_sqgetw(35, words, 6), 6);
  EXPECT_EQ(std::memcmp(words, six_words.data(), 24), 0);
  EXPECT_EQ(c_sqgetw(35, words, 0), 0);

  // Appended words land at the end; a rewind reads everything back.
  const uint32_t more[2] = {0x11223344u, 0x55667788u};
  EXPECT_EQ(c_sqeoi(35), 24);
  EXPECT_EQ(c_sqputw(35, more, 2), 2);
  EXPECT_EQ(c_sqeoi(35), 32);
  EXPECT_EQ(c_sqrew(35), 0);
  uint32_t all[8] = {};
  EXPECT_EQ(c_sqgetw(35, all, 8), 8);
  EXPECT_EQ(all[6], more[0]);
  EXPECT_EQ(all[7], more[1]);

  testing::internal::CaptureStderr();
  EXPECT_EQ(c_sqgetw(35, all, -1), -1);
  EXPECT_EQ(c_sqputw(35, all, -3), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("invalid count"), std::string::npos);
}

TEST_F(SequentialFileTest, StringsAreOneTransferEach) {
  bind(36, "text", {});
  EXPECT_EQ(c_sqputs(36, "hello, world", 12), 12);
  EXPECT_EQ(c_sqputs(36, "", 0), -1);  // nothing written counts as a failure
  EXPECT_EQ(c_sqrew(36), 0);
  char buf[32] = {};
  EXPECT_EQ(c_sqgets(36, buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(c_sqgets(36, buf, 32), 7);  // at most what is left
  EXPECT_EQ(std::string(buf, 7), ", world");
  EXPECT_EQ(c_sqgets(36, buf, 32), -1);

  // The twins never pass more than the caller's field holds.
  int unit = 36, count = 100;
  EXPECT_EQ(sqrew_(&unit), 0);
  char field[3];
  EXPECT_EQ(sqgets_(&unit, field, &count, sizeof field), 3);
  EXPECT_EQ(std::string(field, 3), "hel");
  EXPECT_EQ(sqeoi_(&unit), 12);
  count = 50;
  EXPECT_EQ(sqputs_(&unit, "!?", &count, 1), 1);
  EXPECT_EQ(sqeoi_(&unit), 13);
}

TEST_F(SequentialFileTest, OpenAndCloseGoThroughTheWordApi) {
  bind(37, "opened", std::vector<unsigned char>(16, 0));
  // Bound STREAM units are open but not marked WA: the close does nothing.
  EXPECT_EQ(c_sqclos(37), 0);
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(37)).open, 1);
  const int fd = c_sqopen(37);
  EXPECT_EQ(fd, c_getfdsc(37));
  EXPECT_TRUE(zep::io::file_entry(zep::io::file_index_of(37)).has(zep::io::kAttrWa));
  EXPECT_EQ(c_sqclos(37), 0);
  EXPECT_EQ(zep::io::file_entry(zep::io::file_index_of(37)).open, 0);
  int unit = 37;
  const int again = sqopen_(&unit);
  EXPECT_EQ(again, c_getfdsc(37));
  EXPECT_EQ(sqclos_(&unit), 0);
}

// Special names are resolved in the current directory; the test works in
// its own directory and goes back.
class SpecialNameTest : public IoTest {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override {
    IoTest::TearDown();
    EXPECT_EQ(chdir(cwd_), 0);
  }
  char cwd_[4096];
};

TEST_F(SpecialNameTest, SocketNamesAndDescriptorNumbers) {
  int u = 38;
  ASSERT_EQ(c_fnom(&u, "%%sock", "STREAM", 0), 0);  // stored as "%sock"
  ASSERT_TRUE(zep::io::file_entry(zep::io::file_index_of(38)).has(zep::io::kAttrSpecialName));
  EXPECT_EQ(c_sqopen(38), 64);
  EXPECT_EQ(c_sqrew(38), 1);
  EXPECT_EQ(c_sqeoi(38), 1);

  u = 39;
  ASSERT_EQ(c_fnom(&u, "%x17", "STREAM", 0), 0);
  zep::io::FileEntry &e = zep::io::file_entry(zep::io::file_index_of(39));
  const int own_fd = e.fd;
  EXPECT_EQ(c_sqopen(39), 1);
  EXPECT_EQ(e.fd, 17);
  e.fd = own_fd;  // give the row its descriptor back for the release

  // Any other special name loses its first character before the open.
  u = 40;
  ASSERT_EQ(c_fnom(&u, "%zfile", "STREAM", 0), 0);
  zep::io::FileEntry &z = zep::io::file_entry(zep::io::file_index_of(40));
  EXPECT_EQ(z.file_name, "zfile");
  EXPECT_EQ(c_sqopen(40), z.fd);
  EXPECT_EQ(z.file_name, "file");
}

TEST(StreamTransfer, RepeatsShortTransfersUntilDoneOrEmpty) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  // Two writes on a pipe arrive as two reads; the full read joins them.
  ASSERT_EQ(write(fds[1], "abcd", 4), 4);
  ASSERT_EQ(write(fds[1], "efgh", 4), 4);
  close(fds[1]);
  char buf[16] = {};
  EXPECT_EQ(zep::io::stream_read_full(fds[0], buf, 8), 8);
  EXPECT_EQ(std::string(buf, 8), "abcdefgh");
  EXPECT_EQ(zep::io::stream_read_full(fds[0], buf, 8), 0);  // closed: stops at once
  close(fds[0]);
}

}  // namespace
