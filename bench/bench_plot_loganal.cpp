// Timing-diagram drawing of a full logic-analyser memory (262000 samples) into 1200 x 700.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <random>

#include "plot/loganal_list.h"
#include "plot/loganal_plot.h"

namespace {

constexpr int kSamples = 262000;
constexpr int kPre = 26200;

// Swallows the progress events like the device window does.
class Sink : public QObject {
 public:
  bool event(QEvent*) override { return true; }
};

tolv::TLogAnalList recording(int changeEvery) {
  std::mt19937 rng(7);
  tolv::TLogAnalList l;
  l.reserve(kSamples);
  std::uint16_t w = 0;
  for (int i = 0; i < kSamples; ++i) {
    if (i % changeEvery == 0) w = std::uint16_t(w + 1 + rng() % 0xFFFE);
    l.add(i, w);
  }
  return l;
}

tolv::TLogAnalView fullView() {
  tolv::TLogAnalView v;
  v.period = 1e-6;
  v.first = -kPre;
  v.zeroIndex = kPre;
  v.last = kSamples - kPre;
  return v;
}

void renderBench(benchmark::State& state, int changeEvery, bool toImage) {
  const tolv::TLogAnalList list = recording(changeEvery);
  tolv::TLogAnalPlot plot(list);
  Sink sink;
  plot.setOwner(&sink);
  QLabel image;
  image.resize(1200, 700);
  for (auto _ : state) {
    if (toImage) {
      plot.prepare(&image);
      benchmark::DoNotOptimize(plot.render(&image, fullView(), true));
    } else {
      plot.prepare(QSize(1200, 700));
      benchmark::DoNotOptimize(plot.render(nullptr, fullView(), true));
    }
  }
}

void BM_LogAnal_ChangeEvery100(benchmark::State& s) {
  renderBench(s, 100, false);
}
void BM_LogAnal_ChangeEverySample(benchmark::State& s) {
  renderBench(s, 1, false);
}
void BM_LogAnal_ChangeEvery100_ToLabel(benchmark::State& s) {
  renderBench(s, 100, true);
}
void BM_LogAnal_ChangeEverySample_ToLabel(benchmark::State& s) {
  renderBench(s, 1, true);
}

BENCHMARK(BM_LogAnal_ChangeEvery100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogAnal_ChangeEverySample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogAnal_ChangeEvery100_ToLabel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogAnal_ChangeEverySample_ToLabel)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);  // fonts, and the image control
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
