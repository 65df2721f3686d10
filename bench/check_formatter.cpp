// Compares the converter's value text with the C library's printf("%12.6g ")
// for every one of the 2^32 float bit patterns, through both entries of the
// formatter (the float road and the double road a widened float takes), and
// states how long it took. Exits with status 1 at the first differences.
//
// Usage: check_formatter [THREADS]   (default: every processor)
#include "app/value_format.h"
#include "common/bit_cast.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr uint64_t kPatterns = uint64_t{1} << 32;
constexpr uint64_t kSlice = uint64_t{1} << 24;  // patterns a thread takes at a time
constexpr int kMaxReported = 20;

std::atomic<uint64_t> next_slice{0};
std::atomic<uint64_t> differences{0};
std::atomic<uint64_t> done{0};
std::mutex report_mutex;

void report(uint32_t bits, const char *road, const char *ours, size_t n, const char *ref) {
  const uint64_t seen = differences.fetch_add(1);
  if (seen >= kMaxReported) return;
  std::lock_guard<std::mutex> lock(report_mutex);
  std::printf("0x%08" PRIx32 " %s: \"%.*s\", printf \"%s\"\n", bits, road, static_cast<int>(n),
              ours, ref);
}

void check_slices() {
  char ref[64];
  char ours[zep::app::kMaxValueText];
  for (;;) {
    const uint64_t first = next_slice.fetch_add(kSlice);
    if (first >= kPatterns) return;
    for (uint64_t b = first; b < first + kSlice; ++b) {
      const uint32_t bits = static_cast<uint32_t>(b);
      const float f = zep::float_from_bits(bits);
      const double v = f;
      const int m = std::snprintf(ref, sizeof ref, "%12.6g ", v);
      size_t n = zep::app::format_float(f, ours);
      if (n != static_cast<size_t>(m) || std::memcmp(ours, ref, n) != 0)
        report(bits, "format_float", ours, n, ref);
      n = zep::app::format_value(v, ours);
      if (n != static_cast<size_t>(m) || std::memcmp(ours, ref, n) != 0)
        report(bits, "format_value", ours, n, ref);
    }
    const uint64_t total = done.fetch_add(kSlice) + kSlice;
    if (total % (kPatterns / 16) == 0) {
      std::lock_guard<std::mutex> lock(report_mutex);
      std::printf("%3d%% of the patterns checked\n", static_cast<int>(100 * total / kPatterns));
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  if (argc > 1) threads = static_cast<unsigned>(std::max(1, std::atoi(argv[1])));
  std::printf("Checking all %" PRIu64
              " float patterns against printf(\"%%12.6g \") on %u threads\n",
              kPatterns, threads);
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) pool.emplace_back(check_slices);
  for (auto &t : pool) t.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const uint64_t bad = differences.load();
  std::printf("%" PRIu64 " patterns checked in %.1f s (%u threads): %" PRIu64 " differences\n",
              done.load(), seconds, threads, bad);
  return bad == 0 ? 0 : 1;
}
