// Float packer: encode and decode of a 1000 x 1000 field.
#include "bench/bench_fields.h"
#include "zep/compress.h"

namespace {

void BM_FloatPackerEncode(benchmark::State &state) {
  const int nbits = static_cast<int>(state.range(0));
  std::vector<float> values = bench::smooth_field();
  std::vector<int32_t> stream((bench::kPoints + 1) / 2);
  int32_t header[3];
  for (auto _ : state) {
    header[0] = header[1] = header[2] = 0;
    c_float_packer(values.data(), nbits, header, stream.data(), static_cast<int>(bench::kPoints));
    benchmark::DoNotOptimize(stream.data());
  }
  bench::count_values(state);
}

void BM_FloatPackerDecode(benchmark::State &state) {
  const int nbits = static_cast<int>(state.range(0));
  std::vector<float> values = bench::smooth_field();
  std::vector<int32_t> stream((bench::kPoints + 1) / 2);
  int32_t header[3] = {0, 0, 0};
  c_float_packer(values.data(), nbits, header, stream.data(), static_cast<int>(bench::kPoints));
  int got = 0;
  for (auto _ : state) {
    c_float_unpacker(values.data(), header, stream.data(), static_cast<int>(bench::kPoints), &got);
    benchmark::DoNotOptimize(values.data());
  }
  bench::count_values(state);
}

BENCHMARK(BM_FloatPackerEncode)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloatPackerDecode)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
