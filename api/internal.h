// The safe API's own state: the open file object, the library-wide lock and
// the guard every zep_* entry holds while it works.
//
// A guard (Call) takes the lock, turns the layers' fatal stops into
// exceptions (zep::FatalStop, caught by fenced() at the entry), raises the tolerance of the layers
// below so that no error of theirs ends the process, silences their printing (message level above
// every severity, IMAGE and REDUCTION32 off) and routes the reports of their error path into the
// call; its destructor puts every setting back as it found it and releases the lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "stdfile/read.h"
#include "zep/api.h"

struct zep_file {
  int iun = 0;            // unit bound by the API
  std::string path;       // as the caller gave it
  bool writable = false;  // opened "w" or "a"
  bool sequential = false;
  // The walk of zep_next: random files resume after the last handle given
  // (0 = from the first record); sequential files at a word address.
  int last_handle = 0;
  int64_t next_address = 0;
  bool walk_started = false;
  bool walk_ended = false;
  int64_t next_index = 0;
  // File order of the live records (keys), built on demand for zep_find and
  // zep_count and dropped by every write or erase.
  bool order_valid = false;
  std::vector<int64_t> order;
  std::string message;  // the last failure's message
  // Set when a call was stopped inside the layers below (a short read, a
  // refused write): their state for this file can no longer be trusted, so
  // every later call but zep_close gives broken_code.
  bool broken = false;
  int broken_code = 0;
  // The read buffer of the values' reads, kept from one read to the next;
  // record_busy while a read uses it (a message handler's own read of the
  // file then takes a buffer of its own).
  zep::stdfile::FetchedRecord record;
  bool record_busy = false;
};

namespace zep::api {

// The library-wide lock (recursive: a message handler may call zep_*).
std::recursive_mutex &library_lock();

struct Message {
  int level = 0;
  std::string text;
};

class Call {
 public:
  // f may be null (zep_open, zep_check, helpers without a file).
  explicit Call(zep_file *f);
  ~Call();
  Call(const Call &) = delete;
  Call &operator=(const Call &) = delete;

  // Records the failure of this call: the message is the first report of
  // the layers below of severity ERROR or above made during the call, else
  // `text`; it is prefixed with the file's path when it does not name it,
  // kept as the file's (or the thread's) last message and passed to the
  // handler when it is the API's own. Returns code.
  int fail(int code, const std::string &text);
  // Reports of severity ERROR and above made during this call.
  int errors() const { return errors_; }
  const std::vector<Message> &messages() const { return messages_; }
  void set_file(zep_file *f) { file_ = f; }
  zep_file *file() const { return file_; }
  // Records a stop of the layers below: the code for its kind, its kept
  // diagnostics as the message, and the file marked broken. Returns the code.
  int stopped(const FatalStop &stop);
  // The path messages name while there is no file object yet.
  void set_path(const std::string &path) { path_ = path; }

 private:
  static void sink(void *context, const char *module, int code, int level, const char *text);

  std::unique_lock<std::recursive_mutex> hold_;
  FatalThrowScope throwing_;
  zep_file *file_;
  std::string path_;
  Call *outer_;
  int saved_msg_level_, saved_toler_, saved_image_, saved_downgrade_;
  void *saved_sink_context_;
  void (*saved_sink_)(void *, const char *, int, int, const char *);
  int errors_ = 0;
  std::vector<Message> messages_;
};

// Runs the body of an entry under its guard c: a file already broken gives
// its code at once, and a fatal stop of the layers below becomes an error
// return (c.stopped) instead of leaving the entry as an exception.
template <typename Body>
auto fenced(Call &c, Body &&body) -> decltype(body()) {
  zep_file *f = c.file();
  if (f != nullptr && f->broken)
    return c.fail(f->broken_code, "the file is unusable after an earlier failure; close it");
  try {
    return body();
  } catch (const FatalStop &stop) {
    return c.stopped(stop);
  }
}

// Releases a unit after a stop: its cached pages dropped unwritten, its
// descriptor closed, its directory-file entry and its binding freed. Never
// throws; leaves the tables of other files as they were.
void abandon_unit(int unit);

// Maps a code of the layers below to a ZEP_E* code; `otherwise` for codes
// without a meaning of their own in the context.
int map_code(int code, int otherwise);

// Text of a path for messages ("<path>").
std::string quoted(const std::string &path);

// The xdf file index of an open zep_file, or -1.
int file_slot(const zep_file *f);

// Fills rec from the record of `handle` (its descriptors, decoded level and
// dates, key); the index is left to the caller. Returns 0 or a ZEP_E* code
// (after c.fail).
int describe(Call &c, zep_file *f, int handle, zep_record *rec);

// The search handle of the record a key names, found again (sequential
// files: the record is searched at its address). Returns the handle or a
// ZEP_E* code (after c.fail).
int locate(Call &c, zep_file *f, const zep_record *rec);

// Next live record of the walk from the state in f: the handle, 0 at the
// end, or a ZEP_E* code (after c.fail). Leaves the walk after it.
int walk_next(Call &c, zep_file *f);

// Rebuilds f->order when it is stale. 0 or a ZEP_E* code.
int build_order(Call &c, zep_file *f);

// Seconds since 1970 of a printable date (YYYYMMDD) and time (HHMMSShh).
int64_t unix_seconds(int date, int time);

// The key of a handle: {address or handle, kind}.
void key_of(const zep_file *f, int handle, int64_t key[2]);

}  // namespace zep::api
