// One full scope record (131000 samples) from raw device bytes through the record steps:
// conversion, trigger moment, snapshot, plot array, record settings (no rendering here).
#include <benchmark/benchmark.h>

#include <vector>

#include "measure/measuredata.h"
#include "measure/snapshot.h"
#include "wire/wiremeasure.h"

namespace {

constexpr std::size_t kSamples = 131000;

void BM_ScopeRecordSteps(benchmark::State& state) {
  std::vector<std::uint8_t> raw(kSamples * 4);
  for (std::size_t i = 0; i < kSamples; ++i)
    tolv::encodeScopeSample(std::uint16_t(i * 7), std::uint16_t(65535 - i), &raw[4 * i]);
  tolv::ConversionInputs conv;
  conv.ampl = {10, 2};
  conv.offs = {0.5, -0.25};
  conv.probe = {10, 1};
  conv.aux = 0.85;
  tolv::SettingsWriteBlock desired = tolv::SettingsRecord::defaults().toWriteBlock();
  desired.memoryDepth = float(kSamples);
  tolv::WindowOptions opts;
  opts.makeIntermediateFiles = false;
  tolv::TMeasureData data;
  data.setSnapshotSource(
      [&] { return tolv::takeSnapshot(tolv::kModeOSA0, desired, conv, opts); });
  data.setClock([] { return tolv::DayTime{43200.0, 739000}; });
  for (auto _ : state) {
    const int rc = data.scopeRecord(raw, conv);
    data.scopeRecordFinish();
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(data.plotChannel1()[kSamples - 1]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(kSamples));
}
BENCHMARK(BM_ScopeRecordSteps)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
