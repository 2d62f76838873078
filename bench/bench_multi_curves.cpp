// The multi-device plot's curves drawn into 1200 x 700: four devices, two channels each, of
// 131001 and 262000 samples at their own start and sample time, as a linked point per sample
// (the way the window fed them before) and as evenly spaced series drawn from their envelope;
// and a read data file of four devices (times as the file holds them, six decimals), fed a
// point per sample as before and as series at their stored times.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <vector>

#include "../tests/multi/reading_as_points.h"
#include "multi/multifiles.h"
#include "multi/multiplotfeed.h"
#include "plot/genkernel.h"

namespace {

using namespace tolv;

std::vector<double> signal(int n, int seed) {
  std::vector<double> v(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k)
    v[std::size_t(k)] = std::sin(k * 0.0007 + seed) * 2.0 + ((k * 7919 + seed) % 1000) * 0.0004;
  return v;
}

void feed(TGenD2ImgKernel& k, const std::vector<std::vector<double>>& curves, bool asSeries) {
  k.ClearDataSets();
  k.SetImageSize(1200, 700);
  k.PrepareImage(nullptr);
  for (std::size_t c = 0; c < curves.size(); ++c) {
    TGenD2DataSet& ds = k.NewDataSet();
    ds.name = QStringLiteral("D%1 K%2").arg(c / 2).arg(c % 2 + 1);
    ds.SetXUnit(QStringLiteral("s"));
    ds.SetYUnit(QStringLiteral("V"));
    ds.points.SetMarker(1, 9);
    const int n = int(curves[c].size());
    const double t0 = -0.1 * n * 1e-6 + double(c / 2) * 1.3e-6,
                 dt = 1e-6 * (1.0 + 1e-6 * double(c / 2));
    if (asSeries) {
      setEvenCurve(ds, t0, dt, curves[c].data(), n);
    } else {
      PlotPoint p = ds.points.GetTemplate();
      ds.points.Reserve(n);
      for (int i = 0; i < n; ++i) {
        p.X = WorldValue::num(t0 + i * dt);
        p.Y = WorldValue::num(curves[c][std::size_t(i)]);
        ds.points.AddLinkedPoint(p);
      }
    }
    k.AddDataSet(ds);
  }
  k.DataSets().SortByName();
}

void bench(benchmark::State& state, bool asSeries) {
  const int n = int(state.range(0));
  std::vector<std::vector<double>> curves;
  for (int c = 0; c < 8; ++c) curves.push_back(signal(n, c));
  TGenD2ImgKernel k;
  for (auto _ : state) {
    feed(k, curves, asSeries);
    benchmark::DoNotOptimize(k.Render(nullptr, true));
  }
}

void BM_MultiCurves_FeedAndDraw_Points(benchmark::State& s) {
  bench(s, false);
}
void BM_MultiCurves_FeedAndDraw_Series(benchmark::State& s) {
  bench(s, true);
}

TREADing readFile(int n) {
  TREADing r;
  r.deviceCount = 4;
  for (int d = 0; d < 4; ++d) {
    r.names << QStringLiteral("D%1").arg(d);
    r.colours.Add(0xFF0000);
    r.colours.Add(0x0000FF);
    r.scaleRange.Add(FPoint{0.0, 0.0});
    r.scaleRange.Add(FPoint{0.0, 0.0});
    r.units << QStringLiteral("s") << QStringLiteral("V") << QStringLiteral("V");
    const std::vector<double> a = signal(n, 2 * d), b = signal(n, 2 * d + 1);
    TD3PointList& pts = r.points.Get(d);
    for (int k = 0; k < n; ++k)
      pts.Add({std::round((-0.1 * n * 1e-6 + d * 1.3e-6 + k * 1e-6) * 1e6) / 1e6,
               a[std::size_t(k)], b[std::size_t(k)]});
  }
  return r;
}

void benchReadFile(benchmark::State& state, bool asSeries) {
  const TREADing r = readFile(int(state.range(0)));
  TGenD2ImgKernel k;
  for (auto _ : state) {
    k.ClearDataSets();
    k.SetImageSize(1200, 700);
    k.PrepareImage(nullptr);
    if (asSeries) {
      feedMultiReading(k, r);
    } else {  // a linked point per sample, as the file's curves were fed before
      test::feedReadingAsPoints(k, r);
    }
    k.DataSets().SortByName();
    benchmark::DoNotOptimize(k.Render(nullptr, true));
  }
}

void BM_MultiReadFile_FeedAndDraw_Points(benchmark::State& s) {
  benchReadFile(s, false);
}
void BM_MultiReadFile_FeedAndDraw_Series(benchmark::State& s) {
  benchReadFile(s, true);
}

BENCHMARK(BM_MultiReadFile_FeedAndDraw_Points)
    ->Arg(131001)
    ->Arg(262000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultiReadFile_FeedAndDraw_Series)
    ->Arg(131001)
    ->Arg(262000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_MultiCurves_FeedAndDraw_Points)
    ->Arg(131001)
    ->Arg(262000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultiCurves_FeedAndDraw_Series)
    ->Arg(131001)
    ->Arg(262000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);  // fonts
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
