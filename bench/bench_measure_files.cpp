// Data and intermediate files of the largest records: scope CSV (131000 rows with parameter
// groups) against the same text made with snprintf, logic-analyser CSV (262000 rows), scope
// ".VXD" and intermediate ".FIL" (131000 samples). Files go to /dev/shm when it exists, so the
// figures measure the program rather than the disk.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/regional.h"
#include "common/texttable.h"
#include "measure/datafiles.h"
#include "measure/intermediaterecords.h"
#include "bench_files_setup.h"

namespace fs = std::filesystem;
using namespace tolv;

namespace {

constexpr int kScopeRows = 131000;
constexpr int kLogicRows = 262000;

using bench::benchFolder;

const std::vector<ScopeSample>& scopeSamples() {
  static const std::vector<ScopeSample> v = bench::randomScopeSamples(kScopeRows + 1);
  return v;
}

RecordInfo scopeInfo() {
  SettingsRecord s = SettingsRecord::defaults();
  s.memoryDepth = kScopeRows;
  return {QStringLiteral("TX0001"), s, DayTime{52215.12, 739593}};
}

// The scope table as a plain snprintf writer would make it.
std::string scopeViaSnprintf(const RecordInfo& info, const std::vector<ScopeSample>& v,
                             const CsvStyle& st) {
  // The parameter groups are shared: only the per-row numbers differ between the writers.
  const std::string fast = scopeCsvText(info, std::span(v).first(11), st);
  std::vector<std::string> groups;
  std::size_t pos = 0;
  for (int r = 0; r < 11; ++r) {
    const std::size_t e = fast.find("\r\n", pos);
    std::string line = fast.substr(pos, e - pos);
    std::size_t cut = line.find(st.column);
    cut = line.find(st.column, cut + 1);
    groups.push_back(cut == std::string::npos ? std::string() : line.substr(cut));
    pos = e + 2;
  }
  std::string s;
  s.reserve(std::size_t(kScopeRows) * 22 + 1024);
  char buf[64];
  for (int i = 0; i < kScopeRows; ++i) {
    for (int c = 0; c < 2; ++c) {
      const double x = c == 0 ? v[std::size_t(i)].ch0 : v[std::size_t(i)].ch1;
      const int n = std::snprintf(buf, sizeof buf, "%9.6f", x);
      if (char* p = std::strchr(buf, '.')) *p = st.decimal;
      s.append(buf, std::size_t(n));
      if (c == 0) s += st.column;
    }
    if (i < 11) s += groups[std::size_t(i)];
    s += "\r\n";
  }
  return s;
}

void setUp() {
  fillBuiltInTexts();
  regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
}

void BM_ScopeCsvText(benchmark::State& state) {
  setUp();
  const RecordInfo info = scopeInfo();
  const auto& v = scopeSamples();
  const std::span<const ScopeSample> rows = std::span(v).first(kScopeRows);
  if (scopeCsvText(info, rows, {',', '\t'}) != scopeViaSnprintf(info, v, {',', '\t'})) {
    state.SkipWithError("texts differ");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(scopeCsvText(info, rows, {',', '\t'}));
}

void BM_ScopeCsvSnprintf(benchmark::State& state) {
  setUp();
  const RecordInfo info = scopeInfo();
  for (auto _ : state)
    benchmark::DoNotOptimize(scopeViaSnprintf(info, scopeSamples(), {',', '\t'}));
}

void BM_ScopeCsvFile(benchmark::State& state) {
  setUp();
  const RecordInfo info = scopeInfo();
  const auto rows = std::span(scopeSamples()).first(kScopeRows);
  const fs::path f = benchFolder() / "scope.CSV";
  for (auto _ : state)
    if (writeScopeCsv(f, info, rows, {',', '\t'}) != 0) state.SkipWithError("write failed");
}

void BM_LogicCsvFile(benchmark::State& state) {
  setUp();
  RecordInfo info = scopeInfo();
  info.settings.mode = kModeLAIO;
  info.settings.memoryDepth = kLogicRows;
  TLogAnalList list;
  std::mt19937 rng(3);
  for (int i = 0; i < kLogicRows; ++i) list.add(i, std::uint16_t(rng()));
  const fs::path f = benchFolder() / "logic.CSV";
  const LogicCsvParams p = logicCsvParams(info.settings);
  for (auto _ : state)
    if (writeLogicCsv(f, info, p, list, {',', '\t'}) != 0) state.SkipWithError("write failed");
}

void BM_ScopeVxdFile(benchmark::State& state) {
  const RecordInfo info = scopeInfo();
  const auto rows = std::span(scopeSamples()).first(kScopeRows);
  const fs::path f = benchFolder() / "scope.VXD";
  for (auto _ : state)
    if (writeScopeVxd(f, info, rows) != 0) state.SkipWithError("write failed");
}

void BM_ScopeIntermediateFile(benchmark::State& state) {
  const fs::path f = benchFolder() / "Intermediate_OSA0_001.FIL";
  for (auto _ : state)
    if (writeScopeIntermediate(f, scopeSamples()) != 0) state.SkipWithError("write failed");
}

}  // namespace

BENCHMARK(BM_ScopeCsvText)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_ScopeCsvSnprintf)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_ScopeCsvFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_LogicCsvFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_ScopeVxdFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_ScopeIntermediateFile)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

int main(int argc, char** argv) { return bench::runBenchmarksInFolder(argc, argv); }
