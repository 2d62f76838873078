// From raw device bytes to the finished picture on the device window's sheets: one scope
// record of 131000 samples (conversion, settings snapshot, plot array, two time curves drawn
// into 1200 x 700 with the headline) and one logic-analyser record of 262000 samples.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <cmath>
#include <vector>

#include "common/clock.h"
#include "common/windowmessages.h"
#include "device/devtimer.h"
#include "devicewin/sheets_plots.h"
#include "measure/measuredata.h"
#include "wire/wiremeasure.h"

namespace {

using namespace tolv;

// Swallows the timing diagram's progress events, as the window does.
class Window : public QWidget {
 public:
  bool event(QEvent* e) override {
    if (e->type() == TProgressEvent::kType) return true;
    return QWidget::event(e);
  }
};

// Draws what the record steps hand over, the way the window's presenter does.
class Presenter : public IMeasurePresenter {
 public:
  explicit Presenter(TPlotSheets& s) : sheets_(s) {}
  void plotScopeRecord(const TMeasureData& d) override {
    sheets_.setHeadline(headlineText(QStringLiteral("TVS00001"), d.measurementTime()));
    sheets_.plotScope(d.plotChannel0(), d.plotChannel1(), d.sampleCount(), d.recordSettings(),
                      PlotChoice{});
  }
  void plotLogicRecord(const TMeasureData& d) override {
    sheets_.setHeadline(headlineText(QStringLiteral("TVS00001"), d.measurementTime()));
    sheets_.plotLogic(d.recordSettings());
  }

 private:
  TPlotSheets& sheets_;
};

struct Rig {
  Window window;
  QTabWidget* pc = new QTabWidget(&window);
  ManualClock clock;
  TManualTimerHub hub{clock};
  std::unique_ptr<TPlotSheets> sheets;
  TMeasureData data;
  std::unique_ptr<Presenter> presenter;

  explicit Rig(const SettingsRecord& s) {
    for (int i = 0; i < 6; ++i) pc->addTab(new QWidget, QString::number(i));
    window.resize(1300, 800);
    pc->setGeometry(window.rect());
    sheets = std::make_unique<TPlotSheets>(pc, hub.create(250), &window);
    sheets->attachLists(data.logicList(), data.ioLoggerList());
    presenter = std::make_unique<Presenter>(*sheets);
    data.setPresenter(presenter.get());
    data.setSettings(s);
    // Layout settles first; then the images get the measured size and keep it.
    QApplication::processEvents();
    for (PlotSheet p : {PlotSheet::Scope, PlotSheet::Logic}) sheets->image(p)->resize(1200, 700);
  }
};

SettingsRecord settings(double depth, double dt) {
  SettingsRecord s = SettingsRecord::defaults();
  s.memoryDepth = depth;
  s.sampleTime = dt;
  s.makeIntermediateFiles = false;  // files are not part of the picture
  return s;
}

void BM_ScopeRecordToImage(benchmark::State& state) {
  constexpr int kSamples = 131000;
  Rig rig(settings(kSamples, 1e-6));
  std::vector<std::uint8_t> raw(std::size_t(kSamples) * 4);
  for (int i = 0; i < kSamples; ++i) {
    const double ph = 2 * M_PI * 7.0 * i / kSamples;
    const auto c0 = std::uint16_t(32768 + 20000 * std::sin(ph));
    const auto c1 = std::uint16_t(std::sin(ph * 1.5) >= 0 ? 45000 : 20000);
    encodeScopeSample(c0, c1, raw.data() + 4 * i);
  }
  ConversionInputs conv;
  for (auto _ : state) {
    rig.data.scopeRecord(raw, conv);
    rig.data.scopeRecordFinish();
    benchmark::DoNotOptimize(rig.sheets->scopeKernel().Bitmap().constBits());
  }
  if (rig.data.sampleCount() != kSamples || rig.sheets->scopeKernel().DataSetCount() != 2 ||
      rig.sheets->scopeKernel().Bitmap().size() != QSize(1200, 700))
    state.SkipWithError("the record was not drawn as expected");
}

void BM_LogicRecordToImage(benchmark::State& state) {
  constexpr int kSamples = 262000;
  Rig rig(settings(kSamples, 1e-6));
  std::vector<std::uint8_t> raw(std::size_t(kSamples) * 2);
  for (int g = 0; g < kSamples / 2; ++g)
    encodeLogicGroup(std::uint16_t(2 * g), std::uint16_t(2 * g + 1), raw.data() + 4 * g);
  for (auto _ : state) {
    rig.data.logicRecord(raw);
    rig.data.logicRecordFinish();
    benchmark::DoNotOptimize(rig.sheets->logicPlot().bitmap().constBits());
  }
  if (rig.data.logicList().count() != kSamples ||
      rig.sheets->logicPlot().bitmap().size() != QSize(1200, 700))
    state.SkipWithError("the record was not drawn as expected");
}

BENCHMARK(BM_ScopeRecordToImage)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_LogicRecordToImage)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
