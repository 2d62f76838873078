// Reading a stored analog-logger run back for its plot, and converting it to CSV from the file
// piece by piece: one hour at 1 ms (3.6 million samples, 14.4 MB) with its text header.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <fstream>
#include <vector>

#include "measure/datafiles.h"
#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace {

constexpr std::size_t kSamples = 3600000;

// The hour's stream file, written once.
std::filesystem::path hourStream(const QTemporaryDir& dir) {
  const std::filesystem::path file =
      std::filesystem::path(dir.path().toStdString()) / "Intermediate_DLA0_001.FIL";
  tolv::SettingsRecord h = tolv::SettingsRecord::defaults();
  h.mode = tolv::kModeDLA0;
  h.sampleTime = 0.001;
  tolv::writeTextHeader(file, h, tolv::DayTime{3600.0, 739958});
  std::vector<std::uint8_t> bytes(kSamples * 4);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 31);
  bytes.insert(bytes.end(), std::begin(tolv::kLoggerEndMarker), std::end(tolv::kLoggerEndMarker));
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return file;
}

void BM_LoadAnalogLoggerHour(benchmark::State& state) {
  QTemporaryDir dir;
  const std::filesystem::path file = hourStream(dir);
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

// The table of the hour, formatted and handed on in pieces (the bytes are counted, not written:
// the disk is not what is measured).
void BM_AnalogLoggerHourToCsv(benchmark::State& state) {
  QTemporaryDir dir;
  const std::filesystem::path file = hourStream(dir);
  tolv::RecordInfo header{QStringLiteral("TX123456"), tolv::SettingsRecord::defaults(),
                          tolv::DayTime{3600.0, 739958}};
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    const int rc = tolv::streamAnalogLoggerCsv(file, header, header.settings, {',', '\t'},
                                               [&bytes](std::string_view piece) {
                                                 bytes += piece.size();
                                                 return 0;
                                               });
    if (rc != 0) state.SkipWithError("conversion failed");
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(kSamples));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
}
BENCHMARK(BM_AnalogLoggerHourToCsv)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
