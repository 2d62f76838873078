// CSV number formatting: the fast fixed-point formatter against snprintf plus separator
// replacement, over one record's worth of values (262000 doubles, "%9.6f", decimal comma).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/format.h"

namespace {

const std::vector<double>& values() {
  static const std::vector<double> v = [] {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> volts(-60.0, 60.0);
    std::vector<double> out(262000);
    for (double& x : out) x = volts(rng);
    return out;
  }();
  return v;
}

std::string viaSnprintf() {
  std::string s;
  s.reserve(262000 * 11);
  char buf[64];
  for (double x : values()) {
    int n = std::snprintf(buf, sizeof buf, "%9.6f", x);
    if (char* p = std::strchr(buf, '.')) *p = ',';
    s.append(buf, std::size_t(n));
    s += '\n';
  }
  return s;
}

std::string viaFormatFixed() {
  std::string s;
  s.reserve(262000 * 11);
  char buf[64];
  for (double x : values()) {
    int n = tolv::formatFixed(buf, sizeof buf, x, 9, 6, ',');
    s.append(buf, std::size_t(n));
    s += '\n';
  }
  return s;
}

void BM_Snprintf(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(viaSnprintf());
}

void BM_FormatFixed(benchmark::State& state) {
  if (viaFormatFixed() != viaSnprintf()) {
    state.SkipWithError("texts differ");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(viaFormatFixed());
}

}  // namespace

BENCHMARK(BM_Snprintf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatFixed)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
