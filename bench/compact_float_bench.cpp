// Fixed-width float packing: encode and decode of a 1000 x 1000 field, with
// tokens of nbits bits and, as compressed records store them, in 16-bit
// slots.
#include "bench/bench_fields.h"
#include "zep/packing.h"

namespace {

// nbits argument: the width, or width * 64 + significant bits for slots.
int nbits_arg(const benchmark::State &state) {
  const int nbits = static_cast<int>(state.range(0));
  return state.range(1) ? nbits + 64 * 16 : nbits;
}

void BM_CompactFloatEncode(benchmark::State &state) {
  std::vector<float> values = bench::smooth_field();
  std::vector<uint32_t> stream(bench::kPoints / 2 + 8);
  uint32_t header[4];
  float missing = 99999.0f;
  const int nbits = nbits_arg(state);
  for (auto _ : state) {
    compact_float(values.data(), header, stream.data(), static_cast<int>(bench::kPoints), nbits, 0,
                  1, 1, 0, &missing);
    benchmark::DoNotOptimize(stream.data());
  }
  bench::count_values(state);
}

void BM_CompactFloatDecode(benchmark::State &state) {
  std::vector<float> values = bench::smooth_field();
  std::vector<uint32_t> stream(bench::kPoints / 2 + 8);
  uint32_t header[4];
  float missing = 99999.0f;
  const int nbits = nbits_arg(state);
  compact_float(values.data(), header, stream.data(), static_cast<int>(bench::kPoints), nbits, 0, 1,
                1, 0, &missing);
  for (auto _ : state) {
    if (!compact_float(values.data(), header, stream.data(), static_cast<int>(bench::kPoints),
                       nbits, 0, 1, 2, 0, &missing)) {
      state.SkipWithError("unpacking refused");
      break;
    }
    benchmark::DoNotOptimize(values.data());
  }
  bench::count_values(state);
}

BENCHMARK(BM_CompactFloatEncode)
    ->Args({12, 0})
    ->Args({16, 0})
    ->Args({12, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompactFloatDecode)
    ->Args({12, 0})
    ->Args({16, 0})
    ->Args({12, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
