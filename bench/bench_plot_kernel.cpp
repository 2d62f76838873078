// Rendering speed of the plot kernel: two scope-like curves of 131000 linked points each
// (sine and square, marker shape 0) into 1200 x 700, redrawn whole and zoomed, at pixel ratios
// 1 and 2, and drawn for the first time; a small curve; also the same curves without markers,
// as the program's curves are.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <memory>
#include <vector>

#include "plot/genkernel.h"

namespace {

using namespace tolv;

void fill(TGenD2ImgKernel& k, int n, bool collapse, double ratio = 1.0, int shape = 0) {
  k.collapsePoints = collapse;
  k.SetDevicePixelRatio(ratio);
  k.SetImageSize(1200, 700);
  k.PrepareImage(nullptr);
  for (int c = 0; c < 2; ++c) {
    TGenD2DataSet& ds = k.NewDataSet();
    ds.SetXUnit(QStringLiteral("s"));
    ds.SetYUnit(QStringLiteral("V"));
    ds.points.SetMarker(3, shape);
    ds.points.Reserve(n);
    PlotPoint p = ds.points.GetTemplate();
    for (int i = 0; i < n; ++i) {
      const double t = i * 1e-6;
      p.X = WorldValue::num(t);
      const double ph = 2 * M_PI * 7.0 * i / n;
      p.Y = WorldValue::num(c == 0 ? 4.0 * std::sin(ph) + 0.05 * std::sin(i * 0.37)
                                   : (std::sin(ph * 1.5) >= 0 ? 3.0 : -3.0) +
                                         0.02 * std::cos(i * 0.11));
      ds.points.AddLinkedPoint(p);
    }
    k.AddDataSet(ds);
  }
}

// Times Render on a fresh picture; recompute takes the ranges from the points again.
void renderLoop(benchmark::State& state, TGenD2ImgKernel& k, bool recompute) {
  for (auto _ : state) {
    state.PauseTiming();
    k.PrepareImage(nullptr);
    state.ResumeTiming();
    const int rc = k.Render(nullptr, recompute);
    if (rc != 0) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(k.Bitmap().constBits());
  }
}

void renderCase(benchmark::State& state, int n, bool collapse) {
  TGenD2ImgKernel k;
  fill(k, n, collapse);
  renderLoop(state, k, true);
}

// The same curves zoomed to the middle third in time and to +-1 V: most lines leave the window
// and are cut at its edge.
void BM_Render2x131000_Zoomed(benchmark::State& state) {
  TGenD2ImgKernel k;
  fill(k, 131000, true);
  if (k.Render(nullptr, true) != 0) state.SkipWithError("render failed");
  const TGenD2DataSet& ds = *k.Get(0);
  const int x0 = ds.xTransform.toPixel(WorldValue::num(131000e-6 / 3));
  const int x1 = ds.xTransform.toPixel(WorldValue::num(2 * 131000e-6 / 3));
  const int y0 = ds.yTransform.toPixel(WorldValue::num(1.0));
  const int y1 = ds.yTransform.toPixel(WorldValue::num(-1.0));
  k.BeginZoom(nullptr, x0, y0);
  if (k.FinishZoom(nullptr, x1, y1) != 0) state.SkipWithError("zoom failed");
  renderLoop(state, k, false);
}

void BM_Render2x131000(benchmark::State& s) {
  renderCase(s, 131000, true);
}
// A record's first drawing: the curves are new each time (filled outside the timing), as when
// each record replaces the last; the figures above are redraws of the same curves.
void firstDrawings(benchmark::State& state, bool keepLabelTexts) {
  for (auto _ : state) {
    state.PauseTiming();
    auto k = std::make_unique<TGenD2ImgKernel>();
    k->keepLabelTexts = keepLabelTexts;
    fill(*k, 131000, true);
    state.ResumeTiming();
    if (k->Render(nullptr, true) != 0) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(k->Bitmap().constBits());
    state.PauseTiming();
    k.reset();
    state.ResumeTiming();
  }
}
void BM_Render2x131000_FirstDrawing(benchmark::State& state) {
  firstDrawings(state, true);
}
// The same with the axis labels laid out as they are drawn, not kept across pictures.
void BM_Render2x131000_FirstDrawing_LabelsLaidOutEachTime(benchmark::State& state) {
  firstDrawings(state, false);
}
// A record as the program makes it, timed from the fill to the first drawing: each curve has
// no marker, ends with two unlinked corners and two guide lines of another colour, and its
// data set is cleared and filled again for the next record (the kernel is kept).
void BM_FillAndFirstDrawing2x131000_ProgramShape(benchmark::State& state) {
  constexpr int n = 131000, kGuide = 1001;
  TGenD2ImgKernel k;
  k.SetImageSize(1200, 700);
  for (int c = 0; c < 2; ++c) k.AddDataSet(k.NewDataSet());
  // The readings, worked out once: the fill is timed, not the sine.
  std::vector<double> ys[2];
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < n; ++i) {
      const double ph = 2 * M_PI * 7.0 * i / n;
      ys[c].push_back(c == 0 ? 4.0 * std::sin(ph) + 0.05 * std::sin(i * 0.37)
                             : (std::sin(ph * 1.5) >= 0 ? 3.0 : -3.0));
    }
  for (auto _ : state) {
    k.PrepareImage(nullptr);
    for (int c = 0; c < 2; ++c) {
      TGenD2DataSet& ds = *k.Get(c);
      ds.points.Clear();
      ds.points.Reserve(n + 2 + 2 * kGuide);
      PlotPoint p = ds.points.GetTemplate();
      p.markerShape = 9;
      p.color = c == 0 ? 0x0000ff : 0x00ff00;
      for (int i = 0; i < n; ++i) {
        p.X = WorldValue::num(i * 1e-6);
        p.Y = WorldValue::num(ys[c][std::size_t(i)]);
        p.linkA = p.linkB = -1;
        if (i == 0)
          ds.points.AddPoint(p);
        else
          ds.points.AddLinkedPoint(p);
      }
      p.linkA = p.linkB = -1;
      for (const double corner : {-5.0, 5.0}) {
        p.X = WorldValue::num(corner < 0 ? 0.0 : n * 1e-6);
        p.Y = WorldValue::num(corner);
        ds.points.AddPoint(p);
      }
      p.color = 0x808080;
      for (int g = 0; g < 2; ++g)
        for (int i = 0; i < kGuide; ++i) {
          const double f = double(i) / (kGuide - 1);
          p.X = WorldValue::num(g == 0 ? 0.0 : f * n * 1e-6);
          p.Y = WorldValue::num(g == 0 ? -5.0 + 10.0 * f : 0.0);
          p.linkA = p.linkB = i == 0 ? -1 : ds.points.Count() - 1;
          ds.points.AddPoint(p);
        }
    }
    if (k.Render(nullptr, true) != 0) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(k.Bitmap().constBits());
  }
}
void BM_Render2x131000_NoMarker(benchmark::State& state) {
  TGenD2ImgKernel k;
  fill(k, 131000, true, 1.0, 9);
  renderLoop(state, k, true);
}
void BM_Render2x131000_PointByPoint(benchmark::State& s) {
  renderCase(s, 131000, false);
}
void BM_Render1000(benchmark::State& s) {
  renderCase(s, 500, true);
}
// The same picture on a screen of pixel ratio 2: four times the pixels.
void BM_Render2x131000_Ratio2(benchmark::State& state) {
  TGenD2ImgKernel k;
  fill(k, 131000, true, 2.0);
  renderLoop(state, k, true);
}

BENCHMARK(BM_Render2x131000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Render2x131000_FirstDrawing)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Render2x131000_FirstDrawing_LabelsLaidOutEachTime)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
// Repetitions from the command line: on a loaded machine the minimum tells most.
BENCHMARK(BM_FillAndFirstDrawing2x131000_ProgramShape)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render2x131000_NoMarker)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Render2x131000_PointByPoint)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Render2x131000_Zoomed)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Render2x131000_Ratio2)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Render1000)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

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
