// A progress bar on standard error for long copies: shown only when
// standard error is a terminal and the work has lasted more than a second,
// redrawn at most ten times a second, erased when done.
#ifndef ZEP_CLI_PROGRESS_H
#define ZEP_CLI_PROGRESS_H

#include <chrono>
#include <cstdint>

namespace cli {

class Progress {
 public:
  explicit Progress(int64_t total);
  ~Progress();
  void update(int64_t done);

 private:
  using Clock = std::chrono::steady_clock;
  int64_t total_;
  bool terminal_;
  bool shown_ = false;
  Clock::time_point start_, last_;
};

}  // namespace cli

#endif
