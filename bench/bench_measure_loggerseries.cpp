// Long analog-logger runs drawn from their stream files through the min/max summaries: opening
// (one pass over the file), the first picture, a redraw after a wheel zoom at any depth, and
// the nearest-point read-out, for one hour and five hours at 1 ms (3.6 and 18 million samples
// per channel), and their XY plots. Also a scope record of 2 x 131000 samples fed and drawn as
// the window does.
//   bench_measure_loggerseries [benchmark options]
//   bench_measure_loggerseries --make-stream FILE SAMPLES [SAMPLE_TIME]   (seeded stream file)
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../tests/measure/stream_maker.h"
#include "measure/loggerseries.h"
#include "measure/plotfeed.h"

namespace {

using namespace tolv;

// A seeded stream in the temporary folder, written on first use and kept for later runs.
fs::path streamOf(std::uint64_t samples) {
  const fs::path f = fs::temp_directory_path() /
                     ("tolv_bench_DLA0_" + std::to_string(samples) + ".FIL");
  std::error_code ec;
  if (fs::file_size(f, ec) != samples * 4 + 16 || !fs::exists(textHeaderName(f), ec)) {
    testfiles::StreamRecipe s;
    s.samples = samples;
    testfiles::makeAnalogStream(f, s);
  }
  return f;
}

constexpr std::uint64_t kHour = 3600000, kFiveHours = 18000000;

struct Shown {
  AnalogLoggerSeries stream;
  TGenD2ImgKernel k;
  int open(std::uint64_t samples) {
    if (const int rc = openAnalogLoggerSeries(streamOf(samples), stream); rc != 0) return rc;
    k.SetImageSize(1200, 700);
    PlotChoice pc;
    const int rc = feedAnalogLoggerImage(k, stream, *stream.start, pc);
    return rc != 0 ? rc : k.Render(nullptr, true);
  }
};

// Open, summarise and draw: what "--render" does with the file, less writing the picture.
void BM_OpenAndDraw(benchmark::State& state) {
  const std::uint64_t n = std::uint64_t(state.range(0));
  streamOf(n);
  for (auto _ : state) {
    Shown s;
    if (s.open(n) != 0) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(s.k.Bitmap().constBits());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
}
BENCHMARK(BM_OpenAndDraw)->Arg(kHour)->Arg(kFiveHours)->Unit(benchmark::kMillisecond);

// One wheel notch in and one out around points across the picture, at zoom depths from the
// whole run down to a few samples per column: each a redraw.
void BM_RedrawAfterZoom(benchmark::State& state) {
  Shown s;
  if (s.open(std::uint64_t(state.range(0))) != 0) state.SkipWithError("open failed");
  const PlotRect pa = s.k.PlotArea();
  const int depth = int(state.range(1));
  for (int d = 0; d < depth; ++d) s.k.WheelZoom(nullptr, pa.left + 400, pa.top + 50, 3.0, false);
  int step = 0;
  for (auto _ : state) {
    const int x = pa.left + 1 + (step++ * 97) % (pa.right - pa.left - 2);
    s.k.WheelZoom(nullptr, x, pa.top + 50, 1.0, false);
    s.k.WheelZoom(nullptr, x, pa.top + 50, -1.0, false);
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * 2);  // redraws
}
BENCHMARK(BM_RedrawAfterZoom)
    ->Args({kFiveHours, 0})
    ->Args({kFiveHours, 4})
    ->Args({kFiveHours, 12})
    ->Args({kFiveHours, 25})
    ->Unit(benchmark::kMillisecond);

// The nearest-point read-out against the real samples, read from the file around the pointer.
void BM_NearestPoint(benchmark::State& state) {
  Shown s;
  if (s.open(kFiveHours) != 0) state.SkipWithError("open failed");
  const PlotRect pa = s.k.PlotArea();
  int step = 0;
  for (auto _ : state) {
    const int x = pa.left + 1 + (step++ * 97) % (pa.right - pa.left - 2);
    benchmark::DoNotOptimize(s.k.MeasureNearest(nullptr, x, (pa.top + pa.bottom) / 2, 3));
  }
}
BENCHMARK(BM_NearestPoint)->Unit(benchmark::kMillisecond);

// The XY plot of a whole run (channel 1 against channel 0), fed and drawn. One hour at 1 ms
// keeps under the limit of distinct lines and is drawn from a point per line; five hours pass
// it and are drawn straight from the stream, a piece at a time. Arg 2: 0 as the program does,
// 1 from the stream whatever the count (the same hour both ways).
void BM_XYOpenAndDraw(benchmark::State& state) {
  const std::uint64_t n = std::uint64_t(state.range(0));
  const bool fromStream = state.range(1) != 0;
  AnalogLoggerSeries stream;
  if (openAnalogLoggerSeries(streamOf(n), stream) != 0) state.SkipWithError("open failed");
  PlotChoice pc;
  pc.plotMode = kPlotK1vsK0;
  pc.autoScale[0] = pc.autoScale[1] = true;
  for (auto _ : state) {
    TGenD2ImgKernel k;
    k.SetImageSize(1200, 700);
    const int rc = fromStream ? feedAnalogLoggerImage(k, stream, *stream.start, pc, 0)
                              : feedAnalogLoggerImage(k, stream, *stream.start, pc);
    if (rc != 0 || k.Render(nullptr, true) != 0) state.SkipWithError("draw failed");
    benchmark::DoNotOptimize(k.Bitmap().constBits());
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(n));
}
BENCHMARK(BM_XYOpenAndDraw)
    ->Args({kHour, 0})
    ->Args({kHour, 1})
    ->Args({kFiveHours, 0})
    ->Unit(benchmark::kMillisecond);

// A redraw of the five-hour XY plot drawn from the stream, whole (arg 0) and zoomed in (1);
// arg 2 wheels in and out of the zoomed view at a moving pointer, so every drawing is of a new
// view and notes its nearest-point grid afresh (two drawings an iteration).
void BM_XYRedraw(benchmark::State& state) {
  AnalogLoggerSeries stream;
  if (openAnalogLoggerSeries(streamOf(kFiveHours), stream) != 0) state.SkipWithError("open failed");
  PlotChoice pc;
  pc.plotMode = kPlotK1vsK0;
  pc.autoScale[0] = pc.autoScale[1] = true;
  TGenD2ImgKernel k;
  k.SetImageSize(1200, 700);
  if (feedAnalogLoggerImage(k, stream, *stream.start, pc) != 0 || k.Render(nullptr, true) != 0)
    state.SkipWithError("draw failed");
  const PlotRect pa = k.PlotArea();
  if (state.range(0) != 0) {
    k.BeginZoom(nullptr, pa.left + 300, pa.top + 100);
    if (k.FinishZoom(nullptr, pa.left + 600, pa.top + 300) != 0) state.SkipWithError("zoom failed");
  }
  int step = 0;
  for (auto _ : state) {
    if (state.range(0) == 2) {
      const int x = pa.left + 1 + (step++ * 97) % (pa.right - pa.left - 2);
      k.WheelZoom(nullptr, x, pa.top + 50, 1.0, false);
      k.WheelZoom(nullptr, x, pa.top + 50, -1.0, false);
    } else if (k.Redraw(nullptr) != 0) {
      state.SkipWithError("redraw failed");
    }
    benchmark::DoNotOptimize(k.Bitmap().constBits());
  }
}
BENCHMARK(BM_XYRedraw)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The nearest-point read-out on the five-hour XY plot drawn from the stream, by distance (arg
// 3) and by X (arg 1), at pointers across the picture: what one mouse move with the right
// button costs.
void BM_XYNearestPoint(benchmark::State& state) {
  AnalogLoggerSeries stream;
  if (openAnalogLoggerSeries(streamOf(kFiveHours), stream) != 0) state.SkipWithError("open failed");
  PlotChoice pc;
  pc.plotMode = kPlotK1vsK0;
  pc.autoScale[0] = pc.autoScale[1] = true;
  TGenD2ImgKernel k;
  k.SetImageSize(1200, 700);
  if (feedAnalogLoggerImage(k, stream, *stream.start, pc) != 0 || k.Render(nullptr, true) != 0)
    state.SkipWithError("draw failed");
  const PlotRect pa = k.PlotArea();
  int step = 0;
  for (auto _ : state) {
    const int x = pa.left + 1 + (step * 97) % (pa.right - pa.left - 2);
    const int y = pa.top + 1 + (step++ * 61) % (pa.bottom - pa.top - 2);
    benchmark::DoNotOptimize(k.MeasureNearest(nullptr, x, y, int(state.range(0))));
  }
}
BENCHMARK(BM_XYNearestPoint)->Arg(3)->Arg(1)->Unit(benchmark::kMillisecond);

// A scope record of two channels of 131000 samples fed to its image as the window does (the
// values copied into series with their summaries, trigger and zero lines) and drawn.
void BM_Scope2x131000AsSeries(benchmark::State& state) {
  std::vector<double> v[2];
  for (int c = 0; c < 2; ++c) {
    v[c].resize(131000);
    for (int i = 0; i < 131000; ++i) {
      const double ph = 2 * M_PI * 7.0 * i / 131000;
      v[c][std::size_t(i)] = c == 0 ? 4.0 * std::sin(ph) + 0.05 * std::sin(i * 0.37)
                                    : (std::sin(ph * 1.5) >= 0 ? 3.0 : -3.0);
    }
  }
  SettingsRecord rs = SettingsRecord::defaults();
  rs.memoryDepth = 131000;
  rs.sampleTime = 1e-6;
  PlotChoice pc;
  pc.autoScale[0] = pc.autoScale[1] = true;
  TGenD2ImgKernel k;
  k.SetImageSize(1200, 700);
  for (auto _ : state) {
    if (feedScopeImage(k, v[0].data(), v[1].data(), 131000, rs, pc) != 0)
      state.SkipWithError("feed failed");
    k.PrepareImage(nullptr);
    if (k.Render(nullptr, true) != 0) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(k.Bitmap().constBits());
  }
}
BENCHMARK(BM_Scope2x131000AsSeries)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--make-stream") == 0) {
    testfiles::StreamRecipe s;
    s.samples = std::strtoull(argv[3], nullptr, 10);
    if (argc >= 5) s.sampleTime = std::strtod(argv[4], nullptr);
    const int rc = testfiles::makeAnalogStream(argv[2], s);
    if (rc != 0) std::fprintf(stderr, "cannot write %s: %d\n", argv[2], rc);
    return rc == 0 ? 0 : 1;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
