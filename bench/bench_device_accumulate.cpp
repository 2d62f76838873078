// A full scope record (131000 samples) arriving in 12000-byte reads: appended to the
// accumulation buffer and converted to volts, as the measurement path does per record.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "device/decoding.h"
#include "wire/wiremeasure.h"

namespace {

constexpr std::size_t kSamples = 131000;
constexpr std::size_t kBytes = kSamples * 4;
constexpr std::size_t kChunk = 12000;

void BM_AccumulateAndConvertScopeRecord(benchmark::State& state) {
  std::vector<std::uint8_t> wire(kBytes);
  for (std::size_t i = 0; i < kSamples; ++i)
    tolv::encodeScopeSample(std::uint16_t(i * 7), std::uint16_t(65535 - i), &wire[4 * i]);
  std::unique_ptr<std::uint8_t[]> accumulation(new std::uint8_t[524000]);
  std::vector<tolv::ScopeSample> out(kSamples + 1);
  tolv::ConversionInputs conv;
  conv.ampl = {10, 2};
  conv.offs = {0.5, -0.25};
  conv.probe = {10, 1};
  conv.aux = 0.85;
  for (auto _ : state) {
    std::size_t fill = 0;
    for (std::size_t pos = 0; pos < kBytes; pos += kChunk) {
      const std::size_t n = std::min(kChunk, kBytes - pos);
      std::memcpy(accumulation.get() + fill, wire.data() + pos, n);
      fill += n;
    }
    const std::size_t got =
        tolv::convertScopeRecord({accumulation.get(), fill}, conv, out.data(), kSamples);
    benchmark::DoNotOptimize(got);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(kSamples));
  state.counters["time_per_sample"] =
      benchmark::Counter(double(state.iterations()) * double(kSamples),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AccumulateAndConvertScopeRecord)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
