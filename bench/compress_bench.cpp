// Lossless compression: both methods, encode and decode of a 1000 x 1000
// field of tokens, and the in-place expansion the record reader runs.
#include <algorithm>

#include "bench/bench_fields.h"
#include "zep/compress.h"
#include "packing/compress.h"

namespace {

void BM_ZipEncode(benchmark::State &state, int type) {
  const int nbits = static_cast<int>(state.range(0));
  const std::vector<uint16_t> tokens = bench::token_field(nbits);
  std::vector<uint32_t> stream(zep::packing::zip_max_words(bench::kNi, bench::kNj, type));
  size_t words = 0;
  for (auto _ : state) {
    zep::packing::vktzip(tokens.data(), bench::kNi, bench::kNj, type, nbits, stream.data(),
                         stream.size(), &words);
    benchmark::DoNotOptimize(stream.data());
  }
  state.counters["words"] = static_cast<double>(words);
  bench::count_values(state);
}

void BM_ZipDecode(benchmark::State &state, int type) {
  const int nbits = static_cast<int>(state.range(0));
  const std::vector<uint16_t> tokens = bench::token_field(nbits);
  std::vector<uint32_t> stream(zep::packing::zip_max_words(bench::kNi, bench::kNj, type));
  size_t words = 0;
  zep::packing::vktzip(tokens.data(), bench::kNi, bench::kNj, type, nbits, stream.data(),
                       stream.size(), &words);
  std::vector<uint16_t> out(bench::kPoints);
  for (auto _ : state) {
    if (zep::packing::vktunzip(stream.data(), words, bench::kNi, bench::kNj, out.data(),
                               out.size()) != zep::packing::PackStatus::kOk) {
      state.SkipWithError("stream refused");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != tokens) state.SkipWithError("round trip differs");
  bench::count_values(state);
}

// obrv_compress mode 2 on a record data area (the copy of the stream into
// the area is part of each iteration, as it is part of each record read).
void BM_ObrvExpandInPlace(benchmark::State &state) {
  const int nbits = static_cast<int>(state.range(0));
  const std::vector<uint16_t> tokens = bench::token_field(nbits);
  std::vector<uint32_t> data((bench::kPoints + 1) / 2 + 64, 0);
  for (size_t k = 0; k < bench::kPoints; ++k) {
    data[k / 2] |= static_cast<uint32_t>(tokens[k]) << (k % 2 ? 0 : 16);
  }
  c_obrv_compress_setlevel(0);
  const int bytes = obrv_compress(data.data(), bench::kNi, bench::kNj, 1, nbits, 1);
  const std::vector<uint32_t> stream(data.begin(), data.begin() + (bytes - 1) / 4);
  for (auto _ : state) {
    std::copy(stream.begin(), stream.end(), data.begin());
    obrv_compress(data.data(), bench::kNi, bench::kNj, 1, nbits, 2);
    benchmark::DoNotOptimize(data.data());
  }
  bench::count_values(state);
}

BENCHMARK_CAPTURE(BM_ZipEncode, minimum, zep::packing::kMinimumType)
    ->Arg(12)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ZipDecode, minimum, zep::packing::kMinimumType)
    ->Arg(12)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ZipEncode, sample, zep::packing::kSampleType)
    ->Arg(12)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ZipDecode, sample, zep::packing::kSampleType)
    ->Arg(12)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObrvExpandInPlace)->Arg(12)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
