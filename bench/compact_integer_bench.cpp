// Integer packing without header: encode and decode of 1000 x 1000 tokens.
#include "bench/bench_fields.h"
#include "zep/packing.h"

namespace {

std::vector<int32_t> integers(int nbits) {
  const std::vector<uint16_t> t = bench::token_field(nbits);
  return std::vector<int32_t>(t.begin(), t.end());
}

void BM_CompactIntegerEncode(benchmark::State &state) {
  const int nbits = static_cast<int>(state.range(0));
  std::vector<int32_t> values = integers(nbits);
  std::vector<uint32_t> stream(bench::kPoints / 2 + 8);
  for (auto _ : state) {
    compact_integer(values.data(), nullptr, stream.data(), static_cast<int>(bench::kPoints), nbits,
                    0, 1, 1);
    benchmark::DoNotOptimize(stream.data());
  }
  bench::count_values(state);
}

void BM_CompactIntegerDecode(benchmark::State &state) {
  const int nbits = static_cast<int>(state.range(0));
  std::vector<int32_t> values = integers(nbits);
  std::vector<uint32_t> stream(bench::kPoints / 2 + 8);
  compact_integer(values.data(), nullptr, stream.data(), static_cast<int>(bench::kPoints), nbits, 0,
                  1, 1);
  for (auto _ : state) {
    compact_integer(values.data(), nullptr, stream.data(), static_cast<int>(bench::kPoints), nbits,
                    0, 1, 2);
    benchmark::DoNotOptimize(values.data());
  }
  bench::count_values(state);
}

BENCHMARK(BM_CompactIntegerEncode)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompactIntegerDecode)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
