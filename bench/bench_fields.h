// Fields of the benchmarks: 1000 x 1000 values shaped like a meteorological
// field (large smooth waves plus a little noise), as floats and as the
// unsigned tokens a packer makes of them.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace bench {

constexpr int kNi = 1000;
constexpr int kNj = 1000;
constexpr size_t kPoints = static_cast<size_t>(kNi) * kNj;

inline std::vector<float> smooth_field() {
  std::vector<float> v(kPoints);
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
  for (int j = 0; j < kNj; ++j) {
    for (int i = 0; i < kNi; ++i) {
      const double x = i * 0.0123, y = j * 0.0171;
      v[static_cast<size_t>(j) * kNi + i] =
          static_cast<float>(273.15 + 25.0 * std::sin(x) * std::cos(y) +
                             8.0 * std::sin(3.1 * x + y)) +
          noise(rng);
    }
  }
  return v;
}

// The field quantised to nbits-bit tokens over its range.
inline std::vector<uint16_t> token_field(int nbits) {
  const std::vector<float> f = smooth_field();
  float lo = f[0], hi = f[0];
  for (float x : f) {
    lo = x < lo ? x : lo;
    hi = x > hi ? x : hi;
  }
  const double scale = ((1 << nbits) - 1) / static_cast<double>(hi - lo);
  std::vector<uint16_t> t(kPoints);
  for (size_t k = 0; k < kPoints; ++k) t[k] = static_cast<uint16_t>((f[k] - lo) * scale);
  return t;
}

inline void count_values(benchmark::State &state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPoints));
}

}  // namespace bench
