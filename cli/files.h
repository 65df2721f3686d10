// What the subcommands share around the safe API: an owning handle of an
// open file, the library's messages, bounded reads of a record's values, the
// identity of two paths, and an output file that appears only when complete.
#ifndef ZEP_CLI_FILES_H
#define ZEP_CLI_FILES_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zep/api.h"

namespace cli {

struct FileCloser {
  void operator()(zep_file *f) const { zep_close(f); }
};
using File = std::unique_ptr<zep_file, FileCloser>;

// "what failed: the library's message" for a failed call on f (f may be
// null for a failed open), falling back on the code's text.
std::string describe(int code, const zep_file *f);

// Collects every message the library emits while it lives (one at a time:
// the handler is process-wide). Severity 3 and above are errors.
class MessageLog {
 public:
  MessageLog();
  ~MessageLog();
  MessageLog(const MessageLog &) = delete;
  MessageLog &operator=(const MessageLog &) = delete;
  // The first error-or-worse message since the last clear(), "" if none.
  const std::string &first_error() const { return first_error_; }
  void clear() { first_error_.clear(); }

 private:
  static void receive(void *self, int severity, const char *text);
  std::string first_error_;
};

// Minimum, maximum and mean of a record's values (NaN values left out).
struct Stats {
  bool ok = false;       // the values were read
  uint64_t counted = 0;  // values taken into account
  double min = 0, max = 0, mean = 0;
};

// Largest number of values zep reads from one record (2^28): a descriptor
// claiming more is taken for damage rather than allocated.
constexpr uint64_t kMaxValues = uint64_t{1} << 28;

// Reads every value of rec in its natural type and summarises them. 0 on
// success, else a negative ZEP_E* code with the reason in *why.
int read_values(zep_file *f, const zep_record &rec, Stats *stats, std::string *why);

// Hands each live record of f (deleted ones skipped) to visit, in file
// order, until visit returns false or the walk ends. 0 then; else the
// negative code of the step that failed, with the library's account in *why.
using VisitFn = std::function<bool(zep_file *f, const zep_record &rec)>;
int walk_live_records(zep_file *f, const VisitFn &visit, std::string *why);

// True if both paths name the same existing file (device and inode).
bool same_file(const std::string &a, const std::string &b);
bool path_exists(const std::string &path);

// A standard file written under a scratch name beside its final path and
// moved there by publish(): the final path never holds a partial file. With
// `append`, the scratch file starts as a copy of the existing file, so a
// failure leaves that file as it was. Destroyed unpublished, the scratch
// file is removed.
class OutputFile {
 public:
  OutputFile(std::string path, bool append) : path_(std::move(path)), append_(append) {}
  ~OutputFile();
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;

  // Creates the scratch file and opens it. False with *why set on failure.
  bool open(std::string *why);
  zep_file *get() const { return file_.get(); }
  const std::string &path() const { return path_; }
  const std::string &scratch_path() const { return scratch_; }
  // Closes the file and moves it to its final path; for a new file, fails
  // if that path has appeared meanwhile (nothing is overwritten).
  bool publish(std::string *why);

 private:
  std::string path_, scratch_;
  bool append_;
  bool published_ = false;
  File file_;
};

// Why zep_copy_record failed (code rc, the library's message msg) with
// out's scratch name replaced by its final one.
std::string copy_failure(int rc, std::string msg, const OutputFile &out);

}  // namespace cli

#endif
