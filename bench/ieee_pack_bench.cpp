// IEEE packing: encode and decode of 1000 x 1000 floats cut to their top
// nbits bits.
#include <cstring>

#include "bench/bench_fields.h"
#include "zep/packing.h"

namespace {

std::vector<int32_t> float_words() {
  const std::vector<float> f = bench::smooth_field();
  std::vector<int32_t> w(f.size());
  std::memcpy(w.data(), f.data(), f.size() * 4);
  return w;
}

void BM_IeeePackEncode(benchmark::State &state) {
  int npak = -static_cast<int>(state.range(0));
  std::vector<int32_t> values = float_words();
  std::vector<int32_t> packed(bench::kPoints);
  int ni = bench::kNi, nj = bench::kNj, spare = 0, mode = 1;
  for (auto _ : state) {
    ieeepak_(values.data(), packed.data(), &ni, &nj, &npak, &spare, &mode);
    benchmark::DoNotOptimize(packed.data());
  }
  bench::count_values(state);
}

void BM_IeeePackDecode(benchmark::State &state) {
  int npak = -static_cast<int>(state.range(0));
  std::vector<int32_t> values = float_words();
  std::vector<int32_t> packed(bench::kPoints);
  int ni = bench::kNi, nj = bench::kNj, spare = 0, pack = 1, unpack = 2;
  ieeepak_(values.data(), packed.data(), &ni, &nj, &npak, &spare, &pack);
  for (auto _ : state) {
    ieeepak_(values.data(), packed.data(), &ni, &nj, &npak, &spare, &unpack);
    benchmark::DoNotOptimize(values.data());
  }
  bench::count_values(state);
}

BENCHMARK(BM_IeeePackEncode)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IeeePackDecode)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
