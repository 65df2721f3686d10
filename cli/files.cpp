// What the subcommands share around the safe API (see files.h).
#include "cli/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>

namespace cli {

std::string describe(int code, const zep_file *f) {
  std::string text = zep_strerror(code);
  const char *msg = zep_last_message(f);
  if (msg != nullptr && *msg != '\0') text += std::string(": ") + msg;
  return text;
}

MessageLog::MessageLog() { zep_set_message_handler(&MessageLog::receive, this); }
MessageLog::~MessageLog() { zep_set_message_handler(nullptr, nullptr); }

void MessageLog::receive(void *self, int severity, const char *text) {
  auto *log = static_cast<MessageLog *>(self);
  if (severity >= 3 && log->first_error_.empty() && text != nullptr) log->first_error_ = text;
}

namespace {

template <typename T>
int read_typed(zep_file *f, const zep_record &rec, zep_type type, Stats *stats, std::string *why) {
  std::vector<T> values;
  try {
    values.resize(rec.count);
  } catch (const std::bad_alloc &) {
    *why = "not enough memory for " + std::to_string(rec.count) + " values";
    return ZEP_ENOMEM;
  }
  const long got = zep_read(f, &rec, type, values.data(), values.size());
  if (got < 0) {
    *why = describe(static_cast<int>(got), f);
    return static_cast<int>(got);
  }
  if (static_cast<uint64_t>(got) != rec.count) {
    *why = "read " + std::to_string(got) + " values of " + std::to_string(rec.count);
    return ZEP_EDAMAGED;
  }
  Stats s;
  double sum = 0;
  for (const T &raw : values) {
    const double v = static_cast<double>(raw);
    if (std::isnan(v)) continue;
    if (s.counted == 0 || v < s.min) s.min = v;
    if (s.counted == 0 || v > s.max) s.max = v;
    sum += v;
    ++s.counted;
  }
  s.mean = s.counted > 0 ? sum / static_cast<double>(s.counted) : NAN;
  if (s.counted == 0) s.min = s.max = NAN;
  s.ok = true;
  *stats = s;
  return 0;
}

}  // namespace

int walk_live_records(zep_file *f, const VisitFn &visit, std::string *why) {
  zep_record rec;
  for (;;) {
    const int got = zep_next(f, &rec);
    if (got == 0) return 0;
    if (got < 0) {
      *why = describe(got, f);
      return got;
    }
    if (rec.dltf == 0 && !visit(f, rec)) return 0;
  }
}

int read_values(zep_file *f, const zep_record &rec, Stats *stats, std::string *why) {
  *stats = Stats{};
  // The count must be the product of the dimensions, and within reach.
  if (rec.ni < 0 || rec.nj < 0 || rec.nk < 0) {
    *why = "negative dimensions";
    return ZEP_EDAMAGED;
  }
  const uint64_t ni = static_cast<uint64_t>(rec.ni), nj = static_cast<uint64_t>(rec.nj),
                 nk = static_cast<uint64_t>(rec.nk);
  const bool small = ni <= kMaxValues && nj <= kMaxValues && nk <= kMaxValues &&
                     (nj == 0 || ni <= kMaxValues / nj) && (nk == 0 || ni * nj <= kMaxValues / nk);
  if (!small || rec.count != ni * nj * nk) {
    *why = "the descriptor claims " + std::to_string(rec.ni) + " x " + std::to_string(rec.nj) +
           " x " + std::to_string(rec.nk) + " values, more than zep reads (2^28)";
    return ZEP_EDAMAGED;
  }
  switch (rec.type) {
    case ZEP_TYPE_F32: return read_typed<float>(f, rec, ZEP_TYPE_F32, stats, why);
    case ZEP_TYPE_F64: return read_typed<double>(f, rec, ZEP_TYPE_F64, stats, why);
    case ZEP_TYPE_I32: return read_typed<int32_t>(f, rec, ZEP_TYPE_I32, stats, why);
    case ZEP_TYPE_U32: return read_typed<uint32_t>(f, rec, ZEP_TYPE_U32, stats, why);
    case ZEP_TYPE_U8: return read_typed<uint8_t>(f, rec, ZEP_TYPE_U8, stats, why);
  }
  *why = "values of an unknown type " + std::to_string(static_cast<int>(rec.type));
  return ZEP_ETYPE;
}

bool same_file(const std::string &a, const std::string &b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool path_exists(const std::string &path) {
  struct stat s {};
  return ::lstat(path.c_str(), &s) == 0;
}

OutputFile::~OutputFile() {
  file_.reset();
  if (!published_ && !scratch_.empty()) ::unlink(scratch_.c_str());
}

namespace {

bool copy_bytes(const std::string &from, const std::string &to, std::string *why) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!in || !out) {
    *why = "cannot copy " + from + " to " + to;
    return false;
  }
  out << in.rdbuf();
  out.flush();
  if (!out || in.bad()) {
    *why = "cannot copy " + from + " to " + to;
    return false;
  }
  return true;
}

}  // namespace

bool OutputFile::open(std::string *why) {
  std::string templ = path_ + ".zep-XXXXXX";
  const int fd = ::mkstemp(templ.data());
  if (fd < 0) {
    *why = "cannot create a file beside " + path_ + ": " + std::strerror(errno);
    return false;
  }
  scratch_ = templ;
  struct stat st {};
  if (append_ && ::stat(path_.c_str(), &st) == 0) {
    ::fchmod(fd, st.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  ::close(fd);
  const bool existing = append_ && path_exists(path_);
  if (existing && !copy_bytes(path_, scratch_, why)) return false;
  zep_file *f = nullptr;
  const int rc = zep_open(scratch_.c_str(), existing ? "a" : "w", &f);
  if (rc < 0) {
    *why = path_ + ": " + describe(rc, nullptr);
    return false;
  }
  file_.reset(f);
  return true;
}

bool OutputFile::publish(std::string *why) {
  const int rc = zep_close(file_.release());
  if (rc < 0) {
    *why = path_ + ": " + describe(rc, nullptr);
    return false;
  }
  if (append_) {
    if (::rename(scratch_.c_str(), path_.c_str()) != 0) {
      *why = "cannot replace " + path_ + ": " + std::strerror(errno);
      return false;
    }
  } else {
    // link() refuses an existing name: a file made meanwhile is kept.
    // Where hard links are not supported, a rename after a last look.
    if (::link(scratch_.c_str(), path_.c_str()) == 0) {
      ::unlink(scratch_.c_str());
    } else if (errno == EEXIST || path_exists(path_) ||
               ::rename(scratch_.c_str(), path_.c_str()) != 0) {
      *why = "cannot create " + path_ + ": " + std::strerror(errno);
      return false;
    }
  }
  published_ = true;
  return true;
}

// The library refuses to copy between files of different layouts, with
// ZEP_EINVAL for a record that is otherwise sound: an input of an old layout.
std::string copy_failure(int rc, std::string msg, const OutputFile &out) {
  for (size_t at = msg.find(out.scratch_path());
       !out.scratch_path().empty() && at != std::string::npos; at = msg.find(out.scratch_path()))
    msg.replace(at, out.scratch_path().size(), out.path());
  std::string text = zep_strerror(rc);
  if (!msg.empty()) text += ": " + msg;
  if (rc == ZEP_EINVAL)
    text += " (records of a file of an old layout cannot be copied word for word)";
  return text;
}

}  // namespace cli
