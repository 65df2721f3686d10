// A progress bar on standard error for long copies (see progress.h).
#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace cli {

Progress::Progress(int64_t total)
    : total_(total), terminal_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()), last_(start_) {}

Progress::~Progress() {
  if (shown_) std::fprintf(stderr, "\r%60s\r", "");
}

void Progress::update(int64_t done) {
  if (!terminal_ || total_ <= 0) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < std::chrono::seconds(1) ||
      (shown_ && now - last_ < std::chrono::milliseconds(100)))
    return;
  last_ = now;
  shown_ = true;
  if (done > total_) done = total_;
  constexpr int kWidth = 40;
  const int filled = static_cast<int>(done * kWidth / total_);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(stderr, "\r[%s] %lld/%lld records", bar.c_str(), static_cast<long long>(done),
               static_cast<long long>(total_));
  std::fflush(stderr);
}

}  // namespace cli
