// The one way the lower layers end the process on an unrecoverable failure
// (a short read of a file that shrank, a refused write, a packer told to do
// the impossible), and the diagnostics they print just before.
//
// By default fatal_stop(status) is std::exit(status) and fatal_print writes
// its text to the stream it is given, exactly as a direct call would. A
// thread that holds a FatalThrowScope (the safe API does, for each call)
// gets instead: the texts kept in memory, and a FatalStop carrying them
// thrown by fatal_stop, to be caught at the API's boundary.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace zep {

// What failed, so that the boundary can choose its error code.
enum class FatalKind { kOther, kShortRead, kWrite };

struct FatalStop : std::exception {
  int status = 0;
  FatalKind kind = FatalKind::kOther;
  std::string message;  // the diagnostics printed (or kept) before the stop
  const char *what() const noexcept override { return message.c_str(); }
};

namespace fatal_detail {

struct ThreadState {
  bool throws = false;
  std::string kept;  // diagnostics of the current fatal path
};

inline ThreadState &state() {
  static thread_local ThreadState s;
  return s;
}

}  // namespace fatal_detail

// True while the calling thread is inside a FatalThrowScope.
inline bool fatal_throws() { return fatal_detail::state().throws; }

// Turns the throwing mode on for the calling thread; the destructor puts
// back what it found (scopes nest).
class FatalThrowScope {
 public:
  FatalThrowScope() : saved_(fatal_detail::state().throws) {
    fatal_detail::state().throws = true;
    if (!saved_) fatal_detail::state().kept.clear();
  }
  ~FatalThrowScope() {
    fatal_detail::state().throws = saved_;
    if (!saved_) fatal_detail::state().kept.clear();
  }
  FatalThrowScope(const FatalThrowScope &) = delete;
  FatalThrowScope &operator=(const FatalThrowScope &) = delete;

 private:
  bool saved_;
};

// printf to `stream`, or kept for the FatalStop under the throwing mode.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
inline void
fatal_print(std::FILE *stream, const char *format, ...) {
  va_list args;
  va_start(args, format);
  if (!fatal_throws()) {
    std::vfprintf(stream, format, args);
    va_end(args);
    return;
  }
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, again);
    text.resize(static_cast<size_t>(n));
    fatal_detail::state().kept += text;
  }
  va_end(again);
}

// std::perror(s), or its text kept under the throwing mode.
inline void fatal_perror(const char *s) {
  if (!fatal_throws()) {
    std::perror(s);
    return;
  }
  const int e = errno;
  std::string &kept = fatal_detail::state().kept;
  if (s != nullptr && *s != '\0') kept += std::string(s) + ": ";
  kept += std::strerror(e);
  kept += '\n';
}

// Ends the process with `status`, or throws a FatalStop with the kept texts
// under the throwing mode.
[[noreturn]] inline void fatal_stop(int status, FatalKind kind = FatalKind::kOther) {
  if (!fatal_throws()) std::exit(status);
  FatalStop stop;
  stop.status = status;
  stop.kind = kind;
  stop.message.swap(fatal_detail::state().kept);
  while (!stop.message.empty() && (stop.message.back() == '\n' || stop.message.back() == ' '))
    stop.message.pop_back();
  throw stop;
}

}  // namespace zep
