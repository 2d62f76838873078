// Voltmeter displays: one bar update (clear, indicator, scale, pointer) into 400 x 60, and the
// chart of 10000 time-stamped readings of both channels drawn by the plot kernel.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>

#include "common/daytime.h"
#include "plot/genkernel.h"
#include "plot/voltmeterplot.h"

namespace {

using namespace tolv;

void BM_BarUpdate400x60(benchmark::State& state) {
  TVoltmeterPlot p(400, 60);
  p.setMode(int(state.range(0)));
  p.setRange(10.0);
  p.setPenColour(QColor(0, 0, 255));
  int i = 0;
  for (auto _ : state) {
    p.showValue(4.0 * std::sin(0.01 * ++i));
    benchmark::DoNotOptimize(p.image().constBits());
  }
}

void BM_Chart10000Readings(benchmark::State& state) {
  TGenD2ImgKernel k;
  k.collapsePoints = true;
  k.SetImageSize(900, 450);
  k.PrepareImage(nullptr);
  // One reading every 100 ms from 10:00 on, as the voltmeter chart list holds them.
  const DayTime t0{36000.0, 739000};
  for (int c = 0; c < 2; ++c) {
    TGenD2DataSet& ds = k.NewDataSet();
    ds.SetXUnit(QStringLiteral("s"));
    ds.SetYUnit(QStringLiteral("V"));
    ds.points.SetMarker(3, 0);
    ds.points.Reserve(10000);
    PlotPoint pt = ds.points.GetTemplate();
    for (int i = 0; i < 10000; ++i) {
      pt.X = WorldValue::at(dtAddSeconds(t0, 0.1 * i));
      pt.Y = WorldValue::num(c == 0 ? 2.0 * std::sin(i * 0.003) : 0.5 + 0.01 * std::cos(i * 0.7));
      ds.points.AddLinkedPoint(pt);
    }
    k.AddDataSet(ds);
  }
  for (auto _ : state) {
    state.PauseTiming();
    k.PrepareImage(nullptr);
    state.ResumeTiming();
    if (k.Render(nullptr, true) != 0) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(k.Bitmap().constBits());
  }
}

BENCHMARK(BM_BarUpdate400x60)
    ->Arg(0)
    ->Arg(2)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Chart10000Readings)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  // Fonts need a GUI application; no window is shown.
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
