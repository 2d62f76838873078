// From raw device bytes to the finished picture on the device window's sheets: one scope
// record of 131000 samples (conversion, settings snapshot, plot array, two time curves drawn
// into 1200 x 700 with the headline) and one logic-analyser record of 262000 samples. Also the
// sheet's part alone (two plot arrays of 131000 samples fed, ranged, drawn and shown), and an
// analog-logger run of an hour at the simulated logger's fastest step (200 us, 18 million
// samples per channel) shown after STOP as the window shows it: the stream file opened and
// summarised, then drawn; and the redraw after a wheel notch over it.
//   bench_devicewin_scope [benchmark options]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <cmath>
#include <vector>

#include "common/clock.h"
#include "common/windowmessages.h"
#include "device/devtimer.h"
#include "../tests/measure/stream_maker.h"
#include "devicewin/sheets_plots.h"
#include "measure/loggerseries.h"
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
    for (PlotSheet p : {PlotSheet::Scope, PlotSheet::Logic, PlotSheet::AnalogLogger})
      sheets->image(p)->resize(1200, 700);
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

// The two plot arrays of a 131000-sample record handed to the scope sheet: fed as two sample
// series with their guide lines, ranged, drawn, headline and shown, as after every record.
void BM_ScopeSheetFeedAndDraw2x131000(benchmark::State& state) {
  constexpr int kSamples = 131000;
  Rig rig(settings(kSamples, 1e-6));
  std::vector<double> v[2];
  for (int c = 0; c < 2; ++c) {
    v[c].resize(kSamples);
    for (int i = 0; i < kSamples; ++i) {
      const double ph = 2 * M_PI * 7.0 * i / kSamples;
      v[c][std::size_t(i)] = c == 0 ? 4.0 * std::sin(ph) + 0.05 * std::sin(i * 0.37)
                                    : (std::sin(ph * 1.5) >= 0 ? 3.0 : -3.0);
    }
  }
  const SettingsRecord rs = settings(kSamples, 1e-6);
  const QString headline = headlineText(QStringLiteral("TVS00001"), DayTime{36000.25, 739000});
  for (auto _ : state) {
    rig.sheets->setHeadline(headline);
    if (rig.sheets->plotScope(v[0].data(), v[1].data(), kSamples, rs, PlotChoice{}) != 0)
      state.SkipWithError("the record was not drawn");
    benchmark::DoNotOptimize(rig.sheets->scopeKernel().Bitmap().constBits());
  }
}

// An hour at 200 us: the seeded stream, written once into the temporary folder and kept (its
// name says the recipe); empty when it cannot be written.
std::filesystem::path hourAtFastestStep() {
  testfiles::StreamRecipe r;
  r.samples = 18000000;
  r.sampleTime = 200e-6;
  const auto f = std::filesystem::temp_directory_path() /
                 ("tolv_bench_DLA0_18000000_200us_seed" + std::to_string(r.seed) + ".FIL");
  std::error_code ec;
  if (std::filesystem::file_size(f, ec) == r.samples * 4 + 16 &&
      std::filesystem::exists(textHeaderName(f), ec))
    return f;
  if (testfiles::makeAnalogStream(f, r) != 0) {
    std::filesystem::remove(f, ec);
    return {};
  }
  return f;
}

// After STOP: the run's stream file opened (one pass building the summaries), both time curves
// drawn from it onto the sheet and shown: the time until the first complete picture. What the
// window's presenter does around this (the file's size and time looked up, the headline text,
// the sheet brought to the front) is left out; a stream just ended is never in its cache.
void BM_LoggerHourAfterStop(benchmark::State& state) {
  const auto file = hourAtFastestStep();
  if (file.empty()) {
    state.SkipWithError("the stream could not be written");
    return;
  }
  Rig rig(settings(0, 200e-6));
  for (auto _ : state) {
    AnalogLoggerSeries stream;
    if (openAnalogLoggerSeries(file, stream) != 0 || !stream.start ||
        rig.sheets->plotAnalogLogger(stream, *stream.start, PlotChoice{}) != 0)
      state.SkipWithError("the stream was not drawn");
    benchmark::DoNotOptimize(rig.sheets->loggerKernel().Bitmap().constBits());
  }
}

// A wheel notch in and one out over the shown hour, at zoom depths from the whole run to a few
// samples per column: two redraws per iteration, each shown.
void BM_LoggerHourWheelRedraw(benchmark::State& state) {
  Rig rig(settings(0, 200e-6));
  AnalogLoggerSeries stream;
  const auto file = hourAtFastestStep();
  if (file.empty() || openAnalogLoggerSeries(file, stream) != 0 || !stream.start ||
      rig.sheets->plotAnalogLogger(stream, *stream.start, PlotChoice{}) != 0) {
    state.SkipWithError("the stream was not drawn");
    return;
  }
  const PlotRect pa = rig.sheets->loggerKernel().PlotArea();
  for (int d = 0; d < int(state.range(0)); ++d)
    rig.sheets->wheel(PlotSheet::AnalogLogger, Qt::NoModifier, pa.left + 400, pa.top + 50, 360);
  int step = 0;
  for (auto _ : state) {
    const int x = pa.left + 1 + (step++ * 97) % (pa.right - pa.left - 2);
    rig.sheets->wheel(PlotSheet::AnalogLogger, Qt::NoModifier, x, pa.top + 50, 120);
    rig.sheets->wheel(PlotSheet::AnalogLogger, Qt::NoModifier, x, pa.top + 50, -120);
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * 2);  // redraws
}

BENCHMARK(BM_ScopeSheetFeedAndDraw2x131000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_LoggerHourAfterStop)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoggerHourWheelRedraw)
    ->Arg(0)
    ->Arg(4)
    ->Arg(12)
    ->Arg(25)
    ->Unit(benchmark::kMillisecond);

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
