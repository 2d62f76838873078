// Exports of the largest records: a 131000-sample scope record to plain CSV and to a sigrok
// session, a 262000-sample logic-analyser record to VCD, and a 1M-sample I/O- and analog-logger
// stream file to plain CSV and VCD, in the shared scratch folder.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "measure/export_plaincsv.h"
#include "measure/export_sigrok.h"
#include "measure/export_vcd.h"
#include "measure/textheader.h"
#include "bench_files_setup.h"

namespace fs = std::filesystem;
using namespace tolv;

namespace {

constexpr int kScopeSamples = 131000;
constexpr int kLogicSamples = 262000;
constexpr int kLoggerSamples = 1000000;

using bench::benchFolder;

PlainCsvHead head(ModeCode mode, double dt) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = mode;
  s.sampleTime = dt;
  s.memoryDepth = mode == kModeLAIO ? kLogicSamples : kScopeSamples;
  s.trgTypString = mode == kModeLAIO ? "P" : "T";
  return plainHeadOf({QStringLiteral("TX0001"), s, DayTime{52215.12, 739593}},
                     mode == kModeLAIO ? kLogicSamples : kScopeSamples);
}

const std::vector<ScopeSample>& scopeSamples() {
  static const std::vector<ScopeSample> v = bench::randomScopeSamples(kScopeSamples);
  return v;
}

// A busy bus: about one change in three samples.
const std::vector<std::uint16_t>& logicWords() {
  static const std::vector<std::uint16_t> v = [] {
    std::mt19937 rng(11);
    std::vector<std::uint16_t> out(kLogicSamples);
    std::uint16_t w = 0;
    for (auto& x : out) {
      if (rng() % 3 == 0) w = std::uint16_t(w ^ (1u << (rng() % 16)));
      x = w;
    }
    return out;
  }();
  return v;
}

// A one-megasample stream file of the mode, with its end marker and header.
fs::path loggerFile(ModeCode mode) {
  const fs::path f = benchFolder() / (mode == kModeDLA0 ? "Intermediate_DLA0_001.FIL"
                                                        : "Intermediate_DLDI_001.FIL");
  std::error_code ec;
  if (fs::exists(f, ec)) return f;
  std::string bytes;
  bytes.reserve(4 * kLoggerSamples + 16);
  std::mt19937 rng(3);
  for (int i = 0; i < kLoggerSamples; ++i) {
    const std::uint32_t v = rng();
    const std::uint16_t w1 = mode == kModeDLA0 ? std::uint16_t(v) : std::uint16_t(i / 5);
    for (std::uint16_t w : {std::uint16_t(v >> 16), w1}) {
      bytes += char(w & 0xFF);
      bytes += char(w >> 8);
    }
  }
  const std::uint8_t end[16] = {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
  bytes.append(reinterpret_cast<const char*>(end), 16);
  std::ofstream(f, std::ios::binary) << bytes;
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = mode;
  s.sampleTime = 0.001;
  writeTextHeader(f, s, DayTime{3600, 739593});
  return f;
}

void BM_ScopeToPlainCsv(benchmark::State& state) {
  const PlainCsvHead h = head(kModeOSA0, 1e-5);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ofstream out(benchFolder() / "scope.csv", std::ios::binary);
    writePlainScope(out, h, scopeSamples());
    bytes = std::size_t(out.tellp());
  }
  state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_ScopeToPlainCsv)->Unit(benchmark::kMillisecond);

void BM_ScopeToSigrokSession(benchmark::State& state) {
  const PlainCsvHead h = head(kModeOSA0, 1e-5);
  for (auto _ : state) {
    SrSession s;
    srOfScope(h, scopeSamples(), s);
    benchmark::DoNotOptimize(writeSrSession(benchFolder() / "scope.sr", s));
  }
  state.counters["MB"] = double(fs::file_size(benchFolder() / "scope.sr")) / 1e6;
}
BENCHMARK(BM_ScopeToSigrokSession)->Unit(benchmark::kMillisecond);

void BM_LogicToVcd(benchmark::State& state) {
  const PlainCsvHead h = head(kModeLAIO, 1e-6);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::ofstream out(benchFolder() / "la.vcd", std::ios::binary);
    writeVcd(out, h, logicWords());
    bytes = std::size_t(out.tellp());
  }
  state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_LogicToVcd)->Unit(benchmark::kMillisecond);

void BM_AnalogLoggerFileToPlainCsv(benchmark::State& state) {
  const fs::path f = loggerFile(kModeDLA0);
  for (auto _ : state) {
    std::ofstream out(benchFolder() / "dla.csv", std::ios::binary);
    benchmark::DoNotOptimize(writePlainLoggerFile(out, f, QStringLiteral("TX0001")));
  }
}
BENCHMARK(BM_AnalogLoggerFileToPlainCsv)->Unit(benchmark::kMillisecond);

void BM_IoLoggerFileToVcd(benchmark::State& state) {
  const fs::path f = loggerFile(kModeDLDI);
  for (auto _ : state) {
    std::ofstream out(benchFolder() / "dldi.vcd", std::ios::binary);
    benchmark::DoNotOptimize(writeVcdLoggerFile(out, f, QStringLiteral("TX0001")));
  }
}
BENCHMARK(BM_IoLoggerFileToVcd)->Unit(benchmark::kMillisecond);

void BM_IoLoggerFileToSigrokSession(benchmark::State& state) {
  const fs::path f = loggerFile(kModeDLDI);
  for (auto _ : state) {
    SrSession s;
    srOfLoggerFile(f, s);
    benchmark::DoNotOptimize(writeSrSession(benchFolder() / "dldi.sr", s));
  }
}
BENCHMARK(BM_IoLoggerFileToSigrokSession)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::runBenchmarksInFolder(argc, argv); }
