// The guard of every zep_* call, the messages of failures (per file, per
// thread, and the caller's handler), error texts and the version.
#include <cstring>
#include <string>

#include "api/internal.h"
#include "stdfile/options.h"
#include "xdf/table.h"
#include "zep/api.h"

namespace zep::api {

namespace {

struct Handler {
  zep_message_fn fn = nullptr;
  void *context = nullptr;
};

Handler &handler() {
  static Handler h;
  return h;
}

// Passes a message to the handler, unless it comes from a call the handler
// itself made (which would feed it its own failures without end).
void deliver(int level, const char *text) {
  thread_local bool in_handler = false;
  const Handler &h = handler();
  if (h.fn == nullptr || in_handler) return;
  in_handler = true;
  h.fn(h.context, level, text);
  in_handler = false;
}

// The message of the calling thread's last failed zep_open or zep_check.
std::string &thread_message() {
  thread_local std::string text;
  return text;
}

// The innermost call in progress (the lock is held while it is set).
Call *&current_call() {
  static Call *call = nullptr;
  return call;
}

// The library's text without its line ends: inner ones become "; ".
std::string one_line(const char *text) {
  std::string out;
  for (const char *p = text; *p != '\0'; ++p) {
    if (*p == '\n') {
      out += "; ";
    } else {
      out += *p;
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
  // A line that began with its break leaves "; " in front.
  while (out.size() >= 2 && out[0] == ';' && out[1] == ' ') out.erase(0, 2);
  while (!out.empty() && out[0] == ' ') out.erase(0, 1);
  return out;
}

}  // namespace

std::recursive_mutex &library_lock() {
  static std::recursive_mutex m;
  return m;
}

std::string quoted(const std::string &path) { return path; }

Call::Call(zep_file *f) : hold_(library_lock()), file_(f), outer_(current_call()) {
  xdf::Settings &s = xdf::settings();
  stdfile::Options &o = stdfile::options();
  saved_msg_level_ = s.msg_level;
  saved_toler_ = s.xdf_toler;
  saved_image_ = o.image_mode_copy;
  saved_downgrade_ = o.downgrade_32;
  xdf::MessageSinkSetting &sink = xdf::message_sink();
  saved_sink_ = sink.fn;
  saved_sink_context_ = sink.context;
  // Above every severity: nothing is printed, nothing ends the process.
  s.msg_level = xdf::CATASTROPHIC + 1;
  s.xdf_toler = xdf::CATASTROPHIC;
  o.image_mode_copy = 0;
  o.downgrade_32 = 0;
  sink.fn = &Call::sink;
  sink.context = this;
  current_call() = this;
}

Call::~Call() {
  xdf::Settings &s = xdf::settings();
  stdfile::Options &o = stdfile::options();
  s.msg_level = saved_msg_level_;
  s.xdf_toler = saved_toler_;
  o.image_mode_copy = saved_image_;
  o.downgrade_32 = saved_downgrade_;
  xdf::MessageSinkSetting &sink = xdf::message_sink();
  sink.fn = saved_sink_;
  sink.context = saved_sink_context_;
  current_call() = outer_;
}

void Call::sink(void *context, const char *module, int code, int level, const char *text) {
  Call *c = static_cast<Call *>(context);
  std::string line = std::string(module ? module : "") + ": " + one_line(text ? text : "");
  (void)code;
  if (level >= xdf::ERROR) ++c->errors_;
  c->messages_.push_back(Message{level, line});
  deliver(level, line.c_str());
}

int Call::fail(int code, const std::string &text) {
  std::string message;
  for (const Message &m : messages_) {
    if (m.level >= xdf::ERROR) {
      message = m.text;
      break;
    }
  }
  if (message.empty() && !messages_.empty()) message = messages_.back().text;
  const bool own = message.empty();
  if (own) message = text;
  if (message.empty()) message = zep_strerror(code);
  const std::string &path = file_ != nullptr ? file_->path : path_;
  if (!path.empty() && message.find(path) == std::string::npos) message = path + ": " + message;
  if (own) deliver(xdf::ERROR, message.c_str());
  if (file_ != nullptr) {
    file_->message = message;
  } else {
    thread_message() = message;
  }
  return code;
}

int Call::stopped(const FatalStop &stop) {
  const int code = stop.kind == FatalKind::kShortRead ? ZEP_EDAMAGED
                   : stop.kind == FatalKind::kWrite   ? ZEP_EWRITE
                                                      : ZEP_EINTERNAL;
  if (file_ != nullptr) {
    file_->broken = true;
    file_->broken_code = code;
  }
  // The stop's own text says what happened; earlier reports do not.
  messages_.clear();
  std::string text = one_line(stop.message.c_str());
  if (text.empty()) text = "the library stopped with status " + std::to_string(stop.status);
  return fail(code, text);
}

int map_code(int code, int otherwise) {
  switch (code) {
    case xdf::ERR_NOT_XDF: return ZEP_ENOTSTD;
    case xdf::ERR_DAMAGED:
    case xdf::ERR_CHECKSUM:
    case xdf::ERR_BAD_PAGE:
    case xdf::ERR_BAD_LENGTH:
    case -39:  // framing of a sequential record
      return ZEP_EDAMAGED;
    case xdf::ERR_NO_MEMORY: return ZEP_ENOMEM;
    case xdf::ERR_DELETED: return ZEP_ENOTFOUND;
    case xdf::ERR_NO_WRITE: return ZEP_EREADONLY;
    case xdf::ERR_TABLE_FULL: return ZEP_ETOOMANY;
    default: return otherwise;
  }
}

}  // namespace zep::api

extern "C" {

const char *zep_strerror(int code) {
  switch (code) {
    case ZEP_OK: return "success";
    case ZEP_EINVAL: return "invalid argument";
    case ZEP_EOPEN: return "the file cannot be opened or created";
    case ZEP_ENOTSTD: return "not a standard file";
    case ZEP_EDAMAGED: return "the file or the record is damaged";
    case ZEP_ETOOSMALL: return "the buffer is too small";
    case ZEP_ENOTFOUND: return "the record is no longer in the file";
    case ZEP_EREADONLY: return "the file is not open for writing";
    case ZEP_EWRITE: return "a write failed";
    case ZEP_ETOOMANY: return "too many open files";
    case ZEP_ETYPE: return "the values' type does not fit the record's data type";
    case ZEP_ENOMEM: return "out of memory";
    case ZEP_EINTERNAL: return "internal failure of the library";
    default: return code > 0 ? "success" : "unknown error";
  }
}

const char *zep_last_message(const zep_file *f) {
  std::lock_guard<std::recursive_mutex> hold(zep::api::library_lock());
  if (f == nullptr) return zep::api::thread_message().c_str();
  return f->message.c_str();
}

void zep_set_message_handler(zep_message_fn fn, void *context) {
  std::lock_guard<std::recursive_mutex> hold(zep::api::library_lock());
  zep::api::handler().fn = fn;
  zep::api::handler().context = fn ? context : nullptr;
}

const char *zep_version(void) { return ZEP_VERSION_TEXT; }

}  // extern "C"
