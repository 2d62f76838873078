// A long I/O-logger stream (18 million samples, five hours at 1 ms): opening it for the
// timing diagram, drawing it whole and zoomed from its summary, beside the same drawing from a
// list holding every sample (the way it was loaded before).
//   bench_measure_iologger [benchmark options]
//   bench_measure_iologger --make-stream FILE SAMPLES   (the same stream, for --render)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>

#include "measure/loggerstream.h"
#include "measure/textheader.h"
#include "plot/loganal_list.h"
#include "plot/loganal_plot.h"

namespace {

constexpr std::int64_t kSamples = 18'000'000;

std::uint16_t wordOf(std::int64_t k) {
  // Lane 0 a 100 Hz clock at 1 ms, lanes 1..7 slower counters, the high byte changes rarely.
  const auto c = std::uint16_t(k / 5);
  return std::uint16_t((c & 0xFF) | (((k / 100000) & 0xFF) << 8));
}

// The stream of `samples` words at 1 ms with its text header; false when it could not be
// written whole.
bool writeStream(const tolv::fs::path& file, std::int64_t samples) {
  tolv::SettingsRecord h = tolv::SettingsRecord::defaults();
  h.mode = tolv::kModeDLDI;
  h.sampleTime = 0.001;
  if (tolv::writeTextHeader(file, h, tolv::DayTime{3600.0, 739000}) != 0) return false;
  std::ofstream out(file, std::ios::binary);
  std::vector<std::uint8_t> piece;
  piece.reserve(1 << 20);
  for (std::int64_t k = 0; k < samples; ++k) {
    const std::uint16_t w = wordOf(k);
    piece.insert(piece.end(), {0, 0, std::uint8_t(w), std::uint8_t(w >> 8)});
    if (piece.size() >= (1 << 20)) {
      out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
      piece.clear();
    }
  }
  piece.insert(piece.end(), std::begin(tolv::kLoggerEndMarker), std::end(tolv::kLoggerEndMarker));
  out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
  out.close();
  return bool(out);
}

struct Stream {
  QTemporaryDir dir;
  tolv::fs::path file;
  Stream() {
    file = tolv::fs::path(dir.path().toStdString()) / "Intermediate_DLDI_001.FIL";
    // Timings of a cut stream would mean nothing.
    if (!writeStream(file, kSamples)) {
      std::fprintf(stderr, "cannot write %s\n", file.c_str());
      std::abort();
    }
  }
};

Stream& stream() {
  static Stream s;
  return s;
}

tolv::TLogAnalView fullView(int n) {
  tolv::TLogAnalView v;
  v.period = 0.001;
  v.last = n - 1;
  return v;
}

void BM_IoLogger_Open(benchmark::State& state) {
  for (auto _ : state) {
    tolv::TLogAnalList list;
    benchmark::DoNotOptimize(tolv::loadIoLoggerStream(stream().file, list));
    state.counters["summary_MB"] = double(list.stream()->memoryBytes()) / 1e6;
  }
}

void drawBench(benchmark::State& state, bool summary, double zoomSteps) {
  tolv::TLogAnalList list;
  tolv::loadIoLoggerStream(stream().file, list);
  const int n = list.count();
  if (!summary) {
    tolv::TLogAnalList whole;
    whole.reserve(n);
    for (int i = 0; i < n; ++i) whole.add(i, list.at(i).word);
    list = std::move(whole);
  }
  tolv::TLogAnalPlot plot(list);
  plot.prepare(QSize(1200, 700));
  plot.render(nullptr, fullView(n), true);
  tolv::TLogAnalView zoomed = fullView(n);
  if (zoomSteps > 0) {
    plot.wheelZoom(nullptr, 500, zoomSteps);
    zoomed = plot.getView();
  }
  for (auto _ : state) {
    plot.prepare(QSize(1200, 700));
    benchmark::DoNotOptimize(plot.render(nullptr, zoomed, false));
  }
  state.counters["list_MB"] = summary ? 0.0 : double(n) * sizeof(tolv::TLogAnalEntry) / 1e6;
}

void BM_IoLogger_DrawFull_Summary(benchmark::State& s) {
  drawBench(s, true, 0);
}
void BM_IoLogger_DrawFull_WholeList(benchmark::State& s) {
  drawBench(s, false, 0);
}
void BM_IoLogger_DrawZoom30_Summary(benchmark::State& s) {
  drawBench(s, true, 30);
}
void BM_IoLogger_DrawZoom30_WholeList(benchmark::State& s) {
  drawBench(s, false, 30);
}
void BM_IoLogger_DrawZoom60_Summary(benchmark::State& s) {
  drawBench(s, true, 60);
}

// The end of a run whose summary was fed as the stream was written: what STOP still does.
void BM_IoLogger_OpenFed(benchmark::State& state) {
  std::ifstream in(stream().file, std::ios::binary);
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  tolv::TIoStreamSummaryFeed feed;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t k = 0; k < bytes.size(); k += 4096)
      feed.feed(std::span(bytes).subspan(k, std::min<std::size_t>(4096, bytes.size() - k)));
    state.ResumeTiming();
    tolv::TLogAnalList list;
    benchmark::DoNotOptimize(tolv::loadIoLoggerStream(stream().file, list, feed));
  }
}

// Feeding the summary while writing: the cost per written megabyte added to the run.
void BM_IoLogger_FeedPerMB(benchmark::State& state) {
  std::vector<std::uint8_t> bytes(std::size_t(1) << 20);
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = std::uint8_t(k / 20);
  tolv::TIoStreamSummaryFeed feed;
  for (auto _ : state) {
    for (std::size_t k = 0; k < bytes.size(); k += 4096)
      feed.feed(std::span(bytes).subspan(k, 4096));
  }
}

BENCHMARK(BM_IoLogger_Open)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IoLogger_OpenFed)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_IoLogger_FeedPerMB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IoLogger_DrawFull_Summary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IoLogger_DrawFull_WholeList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IoLogger_DrawZoom30_Summary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IoLogger_DrawZoom30_WholeList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IoLogger_DrawZoom60_Summary)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--make-stream") == 0) {
    char* end = nullptr;
    const long long samples = std::strtoll(argv[3], &end, 10);
    if (*end != '\0' || samples <= 0) {
      std::fprintf(stderr, "not a sample count: %s\n", argv[3]);
      return 2;
    }
    if (writeStream(argv[2], samples)) return 0;
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);  // fonts
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
