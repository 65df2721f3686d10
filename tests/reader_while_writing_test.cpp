// Readers and a live writer in another process: the converter and the safe
// API's readers open the file read-only, take no lock, are never held up
// and never change a byte of it; a second writer is refused (and "w" does
// not empty the file under the writer); once the writer is killed, a new
// writer opens.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "zep/api.h"
#include "tests/e2e_support.h"

namespace {

using zep_test::quote;
using zep_test::run;
using zep_test::slurp;

zep_record float_record(int k) {
  zep_record d;
  zep_record_init(&d);
  std::snprintf(d.nomvar, sizeof d.nomvar, "T%d", k);
  std::snprintf(d.etiket, sizeof d.etiket, "%s", "HELD");
  d.ni = 3;
  d.nj = 2;
  d.datyp = 5;
  d.nbits = 32;
  d.ip1 = k;
  return d;
}

int write_record(zep_file *f, int k) {
  const zep_record d = float_record(k);
  std::vector<float> v(6, static_cast<float>(k));
  return zep_write(f, &d, ZEP_TYPE_F32, v.data(), v.size());
}

// A writer in a child process: opens the file for appending, writes one
// record more, says so on the pipe and waits to be killed.
pid_t start_writer(const std::string &path, int record) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    zep_file *f = nullptr;
    const char ok =
        zep_open(path.c_str(), "a", &f) == 0 && write_record(f, record) == 0 ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) std::_Exit(3);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char ok = 'n';
  const bool told = child > 0 && ::read(ready[0], &ok, 1) == 1;
  ::close(ready[0]);
  return told && ok == 'y' ? child : -1;
}

bool kill_writer(pid_t child) {
  int status = 0;
  return ::kill(child, SIGKILL) == 0 && ::waitpid(child, &status, 0) == child &&
         WIFSIGNALED(status);
}

TEST(ReaderWhileWriting, ReadersAreNotHeldUpAndChangeNothingASecondWriterIsRefused) {
  zep_test::TempDir dir("reader_writer");
  const std::string path = dir.file("held.vkt");
  {
    zep_file *f = nullptr;
    ASSERT_EQ(zep_open(path.c_str(), "w", &f), 0) << zep_last_message(nullptr);
    for (int k = 1; k <= 3; ++k) ASSERT_EQ(write_record(f, k), 0) << zep_last_message(f);
    ASSERT_EQ(zep_close(f), 0);
  }
  const pid_t writer = start_writer(path, 4);
  ASSERT_GT(writer, 0);
  const std::string before = slurp(path);

  // The converter: bounded in time, so that a reader that waited for the
  // writer would show here as a failure rather than a hang.
  const std::string xml = dir.file("held.xml");
  EXPECT_EQ(run("timeout 120 " + quote(zep_test::converter()) + " -vkt " + quote(path) + " -xml " +
                quote(xml) + " >/dev/null 2>&1"),
            0);
  EXPECT_EQ(zep_test::count_of(slurp(xml), "<vktrecord>"), 3);
  EXPECT_EQ(slurp(path), before);

  // The safe API's reader.
  zep_file *r = nullptr;
  ASSERT_EQ(zep_open(path.c_str(), "r", &r), 0) << zep_last_message(nullptr);
  EXPECT_EQ(zep_count(r), 3);
  zep_record rec;
  int seen = 0;
  while (zep_next(r, &rec) == 1) {
    float v[6];
    EXPECT_EQ(zep_read_f32(r, &rec, v, 6), 6);
    EXPECT_EQ(v[5], static_cast<float>(rec.ip1));
    ++seen;
  }
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(zep_close(r), 0);
  zep_check_report report{};
  EXPECT_EQ(zep_check(path.c_str(), &report), 0);
  EXPECT_EQ(report.records, 3);
  EXPECT_EQ(slurp(path), before);

  // Second writers: refused, with a message, and the file left whole.
  zep_file *w = nullptr;
  for (const char *mode : {"a", "w"}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(zep_open(path.c_str(), mode, &w), ZEP_EOPEN);
    EXPECT_EQ(w, nullptr);
    const std::string why = zep_last_message(nullptr);
    EXPECT_TRUE(why.find("another") != std::string::npos) << why;
    EXPECT_EQ(slurp(path), before);
  }

  // The writer dies without closing: its lock goes with it.
  ASSERT_TRUE(kill_writer(writer));
  ASSERT_EQ(zep_open(path.c_str(), "a", &w), 0) << zep_last_message(nullptr);
  EXPECT_EQ(zep_count(w), 3);  // the dead writer's unclosed record never reached the file
  EXPECT_EQ(write_record(w, 5), 0);
  EXPECT_EQ(zep_close(w), 0);
  EXPECT_EQ(run(quote(zep_test::converter()) + " -vkt " + quote(path) + " -xml " + quote(xml) +
                " >/dev/null 2>&1"),
            0);
  EXPECT_EQ(zep_test::count_of(slurp(xml), "<vktrecord>"), 4);
}

}  // namespace
