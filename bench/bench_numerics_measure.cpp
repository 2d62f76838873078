// Measurements of a full two-channel scope record (2 x 131000 samples); target <= 1 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "numerics/signalmeasure.h"

namespace {

void BM_MeasureTwoChannels(benchmark::State& state) {
  constexpr std::size_t n = 131000;
  std::vector<double> a(n), b(n);
  for (std::size_t i = 0; i < n; ++i) {
    a[i] = 1.0 + 2.5 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) * 1e-6);
    b[i] = (i % 4000) < 1000 ? 1.0 : -2.0;
  }
  tolv::SignalMeasurement ma, mb;
  for (auto _ : state) {
    tolv::measureSignal(a, 1e-6, ma);
    tolv::measureSignal(b, 1e-6, mb);
    benchmark::DoNotOptimize(ma);
    benchmark::DoNotOptimize(mb);
  }
}
BENCHMARK(BM_MeasureTwoChannels)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
