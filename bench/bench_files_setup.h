#pragma once
// Set-up shared by the benchmarks that write files: a scratch folder on /dev/shm when it exists
// (so the figures measure the program rather than the disk), removed when the program ends, and
// reproducible random scope samples.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "device/decoding.h"

namespace tolv::bench {

inline const std::filesystem::path& benchFolder() {
  static const std::filesystem::path d = [] {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::filesystem::path p = base / ("tolv_bench_files_" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  return d;
}

// n samples of both channels, uniform over +-10 V, the same in every run.
inline std::vector<ScopeSample> randomScopeSamples(std::size_t n) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> volts(-10.0f, 10.0f);
  std::vector<ScopeSample> out(n);
  for (auto& s : out) s = {volts(rng), volts(rng)};
  return out;
}

// Runs the registered benchmarks, then removes the scratch folder.
inline int runBenchmarksInFolder(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(benchFolder(), ec);
  return 0;
}

}  // namespace tolv::bench
