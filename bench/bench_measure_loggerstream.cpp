// Reading a stored analog-logger run back for its plot: one hour at 1 ms (3.6 million
// samples, 14.4 MB) with its text header.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <fstream>
#include <vector>

#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace {

void BM_LoadAnalogLoggerHour(benchmark::State& state) {
  constexpr std::size_t kSamples = 3600000;
  QTemporaryDir dir;
  const std::filesystem::path file =
      std::filesystem::path(dir.path().toStdString()) / "Intermediate_DLA0_001.FIL";
  tolv::SettingsRecord h = tolv::SettingsRecord::defaults();
  h.mode = tolv::kModeDLA0;
  h.sampleTime = 0.001;
  tolv::writeTextHeader(file, h);
  std::vector<std::uint8_t> bytes(kSamples * 4);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 31);
  bytes.insert(bytes.end(), std::begin(tolv::kLoggerEndMarker), std::end(tolv::kLoggerEndMarker));
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  for (auto _ : state) {
    tolv::AnalogLoggerStream s;
    const int rc = tolv::loadAnalogLoggerStream(file, s);
    benchmark::DoNotOptimize(rc);
    benchmark::DoNotOptimize(s.raw1.data());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(kSamples));
}
BENCHMARK(BM_LoadAnalogLoggerHour)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
