// Measurements on screen: the device window runs a simulated device in every mode and shows
// each record on its sheet, with the plot controls redrawing the sheet in front.
#include <gtest/gtest.h>

#include "sim_window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QLayout>
#include <QTabBar>
#include <QTabWidget>
#include <QAbstractSpinBox>
#include <QAbstractScrollArea>
#include <QScrollArea>
#include <QAbstractItemView>
#include <QPainter>
#include <sstream>
#include <QTemporaryDir>
#include <QTest>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <algorithm>

#include "wire/wiremeasure.h"

#include "common/paths.h"
#include "common/texttable.h"
#include "device/gpio.h"
#include "devicewin/panel_plotmode.h"
#include "devicewin/panel_scopemeasure.h"
#include "devicewin/panel_voltage.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/voltmeterbars.h"
#include "measure/measurecodes.h"
#include "../measure/stream_maker.h"
#include "plot/sampleseries.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "devicewin/runnotes.h"
#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "ftdi/simulated_driver.h"
#include "measure/textheader.h"
#include "devicewin/panel_files.h"
#include "measure/chartcsv.h"
#include "measure/loggerseries.h"
#include "measure/measurecodes.h"
#include "measure/plotfeed.h"
#include "measure/recordfiles.h"

using namespace tolv;

namespace {

// The loggers' short-sample-time question gets a No instead of a modal dialog.
struct AnswerNo final : IQuestionSink {
  bool askYesNo(const QString&) override { return false; }
};

class SheetsWindow : public tolv::test::SimWindowTest {
 protected:
  void SetUp() override {
    tolv::test::SimWindowTest::SetUp();
    if (HasFatalFailure()) return;
    w_->settingsModel().setQuestionSink(&no_);
  }

  TAcquisition& acq() { return w_->acquisition(); }
  TOneTolvanexRunPanel& run() { return *w_->runPanel(); }
  TPlotSheets& sheets() { return w_->plots().sheets(); }
  TMeasureData& data() { return w_->plots().data(); }
  bool until(const std::function<bool()>& p, std::int64_t maxMs = 5000) {
    return hub_.advanceUntil(p, maxMs);
  }
  void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  template <class T>
  T* child(const char* name) {
    return w_->findChild<T*>(QString::fromLatin1(name));
  }
  void chooseMode(ModeCode m) {
    w_->settingsModel().modeChosen(modeIndex(m));
    ASSERT_TRUE(until([&] { return acq().mode() == m; }, 2000));
    hub_.advance(500);
  }
  // One record of a scope or logic-analyser mode.
  void singleRecord() {
    if (!acq().singleShot()) click(run().singleShotBox());
    click(run().runButton());
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 20000));
    QApplication::processEvents();
  }
  // A run of a logger or voltmeter mode for ms, then STOP.
  void runFor(std::int64_t ms) {
    if (acq().singleShot()) click(run().singleShotBox());
    click(run().runButton());
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
    hub_.advance(ms);
    click(run().breakButton());
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 10000));
    hub_.advance(500);
    QApplication::processEvents();
  }
  static int countColour(const QImage& img, QRgb c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
    return n;
  }
  QImage shown(PlotSheet s) { return sheets().image(s)->pixmap().toImage(); }
  static bool headerReadable(const std::filesystem::path& stream) {
    SettingsRecord h;
    std::optional<DayTime> t;
    return readTextHeader(stream, h, &t) == 0;
  }

  void closeDuringLoggerRun(bool silent);
  // The window as the program opens it again at its next start, shown, not yet opened.
  void newWindowOnTheSameDevice() {
    w_ = std::make_unique<TF_OneTolvanex>(sim_, nullptr,
                                          [this](int ms) -> ITimer& { return hub_.create(ms); });
    w_->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    w_->settingsModel().setQuestionSink(&no_);
    w_->show();
  }

  AnswerNo no_;
};

}  // namespace

TEST_F(SheetsWindow, ControlsHaveTheirNames) {
  for (const char* n : {"RB_NoPlot", "RB_K0", "RB_K1", "RB_K0_K1", "RB_K1_vs_K0", "RB_K0_vs_K1"})
    EXPECT_NE(child<QRadioButton>(n), nullptr) << n;
  for (const char* n : {"CB_AutoScaleC0", "CB_AutoScaleC1", "CB_SynchYAxes"})
    EXPECT_NE(child<QCheckBox>(n), nullptr) << n;
  EXPECT_NE(child<QGroupBox>("GB_PlotMode"), nullptr);
  for (const char* n : {"BBN_CopyToClipboard", "BBN_Print", "BBN_StdSize"})
    EXPECT_NE(child<QWidget>(n), nullptr) << n;
  for (const char* n : {"PN_VoltageC0", "PN_VoltageC1"}) EXPECT_NE(child<QLabel>(n), nullptr) << n;
  // Defaults: both channels, fixed ranges, one Y axis.
  EXPECT_TRUE(child<QRadioButton>("RB_K0_K1")->isChecked());
  EXPECT_TRUE(child<QCheckBox>("CB_SynchYAxes")->isChecked());
  // The group belongs to the voltmeter, scope and analog-logger sheets only.
  for (int page = 0; page < 6; ++page) {
    w_->pageControl()->setCurrentIndex(page);
    EXPECT_EQ(child<QGroupBox>("GB_PlotMode")->isVisible(), page == 0 || page == 2 || page == 4)
        << page;
  }
}

TEST_F(SheetsWindow, ScopeRecordShowsBothChannelsWithTriggerLineAndHeadline) {
  singleRecord();
  ASSERT_GT(data().sampleCount(), 0);
  EXPECT_EQ(sheets().shownSheet(), PlotSheet::Scope);
  TGenD2ImgKernel& k = sheets().scopeKernel();
  ASSERT_EQ(k.DataSetCount(), 2);
  const QImage img = shown(PlotSheet::Scope);
  EXPECT_GT(countColour(img, qRgb(0, 0, 255)), 200);
  EXPECT_GT(countColour(img, qRgb(255, 0, 0)), 200);
  // The trigger line stands at 0 s on the time axis of the record's settings.
  const SettingsRecord& rs = data().recordSettings();
  const double tp = rs.triggerPoint * 0.01 * rs.memoryDepth * rs.sampleTime;
  EXPECT_NEAR(k.Get(0)->mergedX->minimum.toNumber(), -tp, 1e-12);
  int black = 0;
  for (const PlotPoint& p : k.Get(0)->points.Points())
    if (p.color == kColorBlack) {
      ++black;
      EXPECT_EQ(p.X.toNumber(), 0.0);
    }
  EXPECT_EQ(black, kGuideLinePoints);
  EXPECT_TRUE(sheets().headline().startsWith(w_->serialNumber() + QStringLiteral("  ")));
  // The running indicator is back to its run state after the drawing.
  EXPECT_EQ(acq().runState(), RunState::Idle);
}

// A depth meant for the logic analyser is taken in the scope, whose record ends at its memory:
// the picture ends with the record and says how much of the depth came, and the CSV file names
// the samples it holds.
TEST_F(SheetsWindow, ScopeRecordCutAtItsMemoryIsShownAndSavedAsRecorded) {
  w_->settingsModel().sampleTimeRowClicked(1);  // 1 us
  w_->settingsModel().memoryDepthRowClicked(262000);
  ASSERT_TRUE(until([&] { return acq().storedReply().memoryDepth == 262000.0f; }, 3000));
  w_->filePanel()->setAutoSaveMode(1);
  singleRecord();
  ASSERT_EQ(data().sampleCount(), 131000);
  const SettingsRecord& rs = data().recordSettings();
  const double tp = rs.triggerPoint * 0.01 * rs.memoryDepth * rs.sampleTime;
  TGenD2ImgKernel& k = sheets().scopeKernel();
  ASSERT_GE(k.DataSetCount(), 1);
  EXPECT_NEAR(k.Get(0)->mergedX->minimum.toNumber(), -tp, 1e-12);
  EXPECT_NEAR(k.Get(0)->mergedX->maximum.toNumber(), 131000 * rs.sampleTime - tp, 1e-9);
  EXPECT_TRUE(sheets().headline(PlotSheet::Scope).endsWith(QStringLiteral("  131000 / 262000 Samples")))
      << sheets().headline(PlotSheet::Scope).toStdString();
  const std::filesystem::path csv = w_->filePanel()->recordFiles()->lastDataFile();
  ASSERT_FALSE(csv.empty());
  std::ifstream in(csv);
  std::string line;
  for (int i = 0; i <= 10; ++i) std::getline(in, line);
  EXPECT_NE(line.find("Memory Depth\t131000\r"), std::string::npos) << line;

  // A depth the memory holds is shown and saved whole, without a note.
  w_->settingsModel().memoryDepthRowClicked(1000);
  ASSERT_TRUE(until([&] { return acq().storedReply().memoryDepth == 1000.0f; }, 3000));
  singleRecord();
  ASSERT_EQ(data().sampleCount(), 1000);
  EXPECT_NEAR(k.Get(0)->mergedX->maximum.toNumber(),
              1000 * rs.sampleTime * (1 - rs.triggerPoint * 0.01), 1e-9);
  EXPECT_FALSE(sheets().headline(PlotSheet::Scope).contains(QStringLiteral("Samples")));
}

// A continuous run at a depth beyond the scope's memory, stopped: the next settings the user
// chooses come back from the device and the memory-depth panel shows them, not the depth the
// run had.
TEST_F(SheetsWindow, AfterAnOverlappingRunCutAtItsMemoryTheNextDepthIsShown) {
  w_->settingsModel().sampleTimeRowClicked(10);
  w_->settingsModel().memoryDepthRowClicked(262000);
  ASSERT_TRUE(until([&] { return acq().storedReply().memoryDepth == 262000.0f; }, 3000));
  click(run().overlapBox());
  ASSERT_TRUE(acq().overlap());
  if (acq().singleShot()) click(run().singleShotBox());
  click(run().runButton());
  QSpinBox* stored = child<QSpinBox>("SE_OSA0_Nrs");
  ASSERT_TRUE(until([&] { return stored->maximum() >= 2; }, 30000));
  click(run().breakButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 20000));
  hub_.advance(500);
  w_->settingsModel().sampleTimeRowClicked(50);
  hub_.advance(700);
  w_->settingsModel().memoryDepthRowClicked(10000);
  ASSERT_TRUE(until([&] { return acq().storedReply().memoryDepth == 10000.0f; }, 3000));
  hub_.advance(500);
  QApplication::processEvents();
  EXPECT_FLOAT_EQ(acq().storedReply().sampleTime, 50e-6f);
  EXPECT_EQ(child<QLabel>("PN_Samples")->text(), QStringLiteral("10 kSamples"));
  EXPECT_EQ(child<QLabel>("PN_TotTim")->text(), QStringLiteral("500 ms"));
  EXPECT_EQ(child<QSlider>("TB_MemoryDepth")->value(), 6);
}

// Runs of other modes change the data's record settings and time; the scope image, drawn
// again by its plot controls, keeps the time axis, measurements and headline of its record.
TEST_F(SheetsWindow, ScopeRedrawAfterAnotherModeKeepsTheScopeRecordsSettings) {
  singleRecord();
  TGenD2ImgKernel& k = sheets().scopeKernel();
  const double xMin = k.Get(0)->mergedX->minimum.toNumber();
  const double xMax = k.Get(0)->mergedX->maximum.toNumber();
  const QString headline = sheets().headline(PlotSheet::Scope);
  auto* table = w_->findChild<TScopeMeasurePanel*>(QStringLiteral("PN_ScopeMeasure"));
  ASSERT_NE(table, nullptr);
  const QString frequency = table->cellText(MeasureRow::Frequency, 0);
  w_->settingsModel().sampleTimeTrackbarMoved(8);  // 500 us
  hub_.advance(1500);
  chooseMode(kModeVMD0);
  runFor(1000);
  ASSERT_NE(data().recordSettings().sampleTime,
            w_->plots().presenter().scopeRecordSettings().sampleTime);
  ASSERT_NE(data().measurementTime(), w_->plots().presenter().scopeRecordTime());
  w_->pageControl()->setCurrentIndex(int(PlotSheet::Scope));
  click(child<QRadioButton>("RB_K0"));
  click(child<QRadioButton>("RB_K0_K1"));
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(k.Get(0)->mergedX->minimum.toNumber(), xMin);
  EXPECT_DOUBLE_EQ(k.Get(0)->mergedX->maximum.toNumber(), xMax);
  EXPECT_EQ(sheets().headline(PlotSheet::Scope), headline);
  EXPECT_EQ(table->cellText(MeasureRow::Frequency, 0), frequency);
}

TEST_F(SheetsWindow, PlotControlsRedrawTheScopeSheet) {
  singleRecord();
  TGenD2ImgKernel& k = sheets().scopeKernel();
  click(child<QRadioButton>("RB_NoPlot"));
  EXPECT_EQ(k.DataSetCount(), 0);
  EXPECT_EQ(countColour(shown(PlotSheet::Scope), qRgb(0, 0, 255)), 0);
  click(child<QRadioButton>("RB_K1_vs_K0"));
  ASSERT_EQ(k.DataSetCount(), 1);
  EXPECT_EQ(k.Get(0)->xStyle.axisColor, kChannelColour[0]);
  click(child<QRadioButton>("RB_K0_K1"));
  EXPECT_EQ(k.YAxes().Count(), 1);
  click(child<QCheckBox>("CB_SynchYAxes"));
  EXPECT_FALSE(w_->plots().presenter().choice().synchYAxes);
  EXPECT_EQ(k.YAxes().Count(), 2);
  click(child<QCheckBox>("CB_AutoScaleC0"));
  EXPECT_TRUE(w_->plots().presenter().choice().autoScale[0]);
  EXPECT_LT(k.Get(0)->yAxis.maximum.toNumber(), data().recordSettings().amplC0 / 2 * 2);
  // The choices go into the settings snapshot.
  const SettingsRecord snap = data().snapshot();
  EXPECT_EQ(snap.scopePlotMode, 3);
  EXPECT_FALSE(snap.synchYAxes);
  EXPECT_TRUE(snap.autoScaleC0);
}

TEST_F(SheetsWindow, RunningIndicatorShowsPlottingWhileADrawingLasts) {
  const auto colour = [&] { return run().runningPanel()->colour(); };
  const ColorRef idle = colour();
  TOneTolvanexPresenter& p = w_->plots().presenter();
  p.plottingIndicator(true);
  EXPECT_EQ(colour(), rgbColour(0x008000));
  p.plottingIndicator(true);  // a drawing inside a drawing
  p.plottingIndicator(false);
  EXPECT_EQ(colour(), rgbColour(0x008000));
  p.plottingIndicator(false);
  EXPECT_EQ(colour(), idle);
}

TEST_F(SheetsWindow, ChartIsRedrawnByPlotModeFromOneReadingByTheBoxesFromTwo) {
  w_->pageControl()->setCurrentIndex(int(PlotSheet::Voltmeter));
  TGenD2ImgKernel& k = sheets().chartKernel();
  data().clearChartList();
  data().chartList().Add(VoltmeterReading::measured(DayTime{100.0, 739000}, 1.0, -1.0));
  click(child<QCheckBox>("CB_AutoScaleC0"));
  click(child<QCheckBox>("CB_SynchYAxes"));
  EXPECT_EQ(k.DataSetCount(), 0);
  click(child<QRadioButton>("RB_K0"));
  EXPECT_EQ(k.DataSetCount(), 1);
  data().chartList().Add(VoltmeterReading::measured(DayTime{101.0, 739000}, 1.5, -1.5));
  click(child<QCheckBox>("CB_AutoScaleC0"));
  EXPECT_EQ(k.Get(0)->points.Count(), 2 + 2);  // fixed range again: two range points
  // Other sheets are not drawn by a plot-mode change.
  w_->pageControl()->setCurrentIndex(int(PlotSheet::Scope));
  click(child<QRadioButton>("RB_K1"));
  EXPECT_EQ(sheets().scopeKernel().DataSetCount(), 0);
}

TEST_F(SheetsWindow, LogicAnalyserRecordIsDrawnOnItsSheet) {
  // The logic analyser has a binary file of its own: BIN is offered there whatever was chosen
  // in the scope, and a choice made there writes that file.
  QRadioButton* bin = child<QRadioButton>("RB_AutoSave_BIN");
  ASSERT_FALSE(bin->isHidden());
  QWidget* group = child<QWidget>("GB_AutoSave");
  QRadioButton* csv = child<QRadioButton>("RB_AutoSave_CSV");
  QCoreApplication::processEvents();
  const QRect groupAt(group->mapTo(w_.get(), QPoint()), group->size());
  const QPoint csvAt = csv->mapTo(w_.get(), QPoint());
  click(child<QRadioButton>("RB_AutoSave_OFF"));
  chooseMode(kModeLAIO);
  ASSERT_FALSE(bin->isHidden());
  EXPECT_FALSE(bin->isChecked());
  click(bin);
  EXPECT_TRUE(bin->isChecked());
  singleRecord();
  ASSERT_GT(data().logicList().count(), 0);
  const QImage img = shown(PlotSheet::Logic);
  EXPECT_GT(countColour(img, qRgb(255, 0, 0)), 500);
  int binaries = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(w_->deviceFolder()))
    binaries += e.path().extension() == ".VXD";
  EXPECT_EQ(binaries, 1);
  click(child<QRadioButton>("RB_AutoSave_CSV"));
  EXPECT_FALSE(bin->isHidden());
  // A mode without a binary file hides BIN, which keeps its room: nothing beside it moves
  // under the user's next click.
  chooseMode(kModeDLDI);
  EXPECT_TRUE(bin->isHidden());
  QCoreApplication::processEvents();
  EXPECT_EQ(QRect(group->mapTo(w_.get(), QPoint()), group->size()), groupAt);
  EXPECT_EQ(csv->mapTo(w_.get(), QPoint()), csvAt);
  chooseMode(kModeOSA0);
  EXPECT_FALSE(bin->isHidden());
  EXPECT_FALSE(bin->isChecked());
  // Nor does a voltmeter mode, which hides more than BIN, move the automatic-save radios.
  QCoreApplication::processEvents();
  const QPoint csvInScope = csv->mapTo(w_.get(), QPoint());
  chooseMode(kModeVMD0);
  ASSERT_TRUE(bin->isHidden());
  QCoreApplication::processEvents();
  EXPECT_EQ(csv->mapTo(w_.get(), QPoint()), csvInScope);
}

TEST_F(SheetsWindow, VoltmeterShowsValuesAndChartsOnRequest) {
  chooseMode(kModeVMD0);
  runFor(2000);
  ASSERT_GT(data().chartList().Count(), 1);
  const QString t0 = child<QLabel>("PN_VoltageC0")->text();
  EXPECT_TRUE(t0.endsWith(QStringLiteral("V DC"))) << t0.toStdString();
  EXPECT_EQ(t0, TVoltagePanels::voltageText(data().voltage(0), QStringLiteral("V DC")));
  // A new probe factor shows at once on the last reading and its bar (no reading follows after
  // STOP); the other channel and the chart's readings stay as measured.
  const double v0 = data().voltage(0);
  const QString t1 = child<QLabel>("PN_VoltageC1")->text();
  const int readings = data().chartList().Count();
  ASSERT_TRUE(w_->settingsModel().display().aux);
  w_->settingsModel().probeSpinChanged(0, 10);
  const double f = 9 / 0.85 + 1;
  EXPECT_EQ(child<QLabel>("PN_VoltageC0")->text(),
            TVoltagePanels::voltageText(v0 * f, QStringLiteral("V DC")));
  auto* bar = child<TVoltmeterBar>("IM_V_C0");
  EXPECT_NEAR(bar->plot().indicatorMaximum(), v0 * f, 1e-9 * std::fabs(v0 * f) + 1e-12);
  EXPECT_EQ(child<QLabel>("PN_VoltageC1")->text(), t1);
  EXPECT_EQ(data().chartList().Count(), readings);
  w_->settingsModel().auxBoxChanged(false);  // divider 1: factor 10
  EXPECT_EQ(child<QLabel>("PN_VoltageC0")->text(),
            TVoltagePanels::voltageText(v0 * 10, QStringLiteral("V DC")));
  QPushButton* chart = child<QPushButton>("BN_PlotOrUpdateChart");
  ASSERT_TRUE(chart->isVisible());
  w_->pageControl()->setCurrentIndex(0);
  click(chart);
  EXPECT_EQ(sheets().chartKernel().DataSetCount(), 2);
  EXPECT_GT(countColour(shown(PlotSheet::Voltmeter), qRgb(0, 0, 255)), 20);
  // In another voltmeter mode the DC reading is none of its own: the panels are empty until
  // its first reading.
  chooseMode(kModeVMA0);
  EXPECT_TRUE(child<QLabel>("PN_VoltageC0")->text().isEmpty());
  EXPECT_TRUE(child<QLabel>("PN_VoltageC1")->text().isEmpty());
  w_->settingsModel().probeSpinChanged(0, 2);
  EXPECT_TRUE(child<QLabel>("PN_VoltageC0")->text().isEmpty());
}

// STOP ends a voltmeter run with the chart of its readings, under a headline with the run's
// time; in both RMS modes the fixed Y axis starts at 0.
TEST_F(SheetsWindow, StopInAVoltmeterModeDrawsTheChart) {
  chooseMode(kModeLAIO);
  singleRecord();  // an earlier record of another mode: its time must not head the chart
  for (ModeCode m : {kModeVMD0, kModeVMA0, kModeVMA1}) {
    SCOPED_TRACE(modeCodeText(m));
    chooseMode(m);
    w_->pageControl()->setCurrentIndex(int(PlotSheet::Voltmeter));
    sheets().clearSheet(PlotSheet::Voltmeter);
    runFor(2000);
    ASSERT_GT(data().chartList().Count(), 1);
    TGenD2ImgKernel& k = sheets().chartKernel();
    ASSERT_EQ(k.DataSetCount(), 2);
    // Every reading of the run is on the chart.
    int measured = 0;
    for (const PlotPoint& p : k.Get(0)->points.Points()) measured += (p.flags & kPointMeasurable) != 0;
    EXPECT_EQ(measured, data().chartList().Count());
    const QImage img = shown(PlotSheet::Voltmeter);
    EXPECT_GT(countColour(img, qRgb(0, 0, 255)), 20);
    EXPECT_EQ(sheets().headline(PlotSheet::Voltmeter),
              headlineText(w_->serialNumber(), data().measurementTime()));
    // The run's start, just before its first reading.
    const double lead = dtDiffSeconds(data().chartList().Items().front().time, data().measurementTime());
    EXPECT_GE(lead, 0.0);
    EXPECT_LT(lead, 1.0);
    const bool rms = m != kModeVMD0;
    EXPECT_DOUBLE_EQ(k.Get(0)->mergedY->minimum.toNumber(),
                     rms ? 0.0 : -acq().conversion().ampl[0] * acq().conversion().probe[0]);
  }
}

// RUN and a change of mode take the last series off the chart at once: its curves under new
// readings would pass for theirs (DC curves under an RMS run). A stored series shown is drawn
// at once, under its own time.
TEST_F(SheetsWindow, VoltmeterChartIsClearedByRunAndModeAndDrawnForAStoredSeries) {
  chooseMode(kModeVMD0);
  w_->pageControl()->setCurrentIndex(int(PlotSheet::Voltmeter));
  runFor(2000);
  TGenD2ImgKernel& k = sheets().chartKernel();
  ASSERT_EQ(k.DataSetCount(), 2);
  const DayTime firstRun = data().measurementTime();
  const auto blue = [&] { return countColour(shown(PlotSheet::Voltmeter), qRgb(0, 0, 255)); };
  const auto headedBy = [&](const DayTime& t) {
    return sheets().headline(PlotSheet::Voltmeter) == headlineText(w_->serialNumber(), t);
  };
  ASSERT_GT(blue(), 20);

  click(run().runButton());
  ASSERT_TRUE(until([&] { return data().chartList().Count() > 2; }));
  EXPECT_EQ(k.DataSetCount(), 0);
  EXPECT_EQ(blue(), 0);
  EXPECT_FALSE(data().measurementTime() == firstRun);
  EXPECT_TRUE(headedBy(data().measurementTime()));
  click(run().breakButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }));
  ASSERT_EQ(k.DataSetCount(), 2);

  chooseMode(kModeVMA0);
  EXPECT_EQ(data().chartList().Count(), 0);
  EXPECT_EQ(k.DataSetCount(), 0);
  EXPECT_EQ(blue(), 0);
  // The same mode again leaves the chart alone.
  data().chartList().Add(VoltmeterReading::measured(DayTime{100.0, 739000}, 1.0, -1.0));
  w_->plots().modeConfirmed(kModeVMA0);
  EXPECT_EQ(data().chartList().Count(), 1);

  w_->pageControl()->setCurrentIndex(int(PlotSheet::Scope));
  ASSERT_EQ(w_->filePanel()->show()->showByNumber(IntermediateFamily::VMXY, 1).rc, 0);
  EXPECT_EQ(sheets().shownSheet(), PlotSheet::Voltmeter);
  ASSERT_EQ(k.DataSetCount(), 2);
  int measured = 0;
  for (const PlotPoint& p : k.Get(0)->points.Points()) measured += (p.flags & kPointMeasurable) != 0;
  EXPECT_EQ(measured, data().chartList().Count());
  EXPECT_GT(blue(), 20);
  EXPECT_TRUE(headedBy(firstRun));
  // Shown in an RMS mode, the DC series keeps its own axis, below 0 as well.
  const SettingsRecord& stored = data().recordSettings();
  EXPECT_EQ(stored.mode, kModeVMD0);
  EXPECT_DOUBLE_EQ(k.Get(0)->mergedY->minimum.toNumber(),
                   -stored.amplC0 * stored.probeFactorC0);

  // A series number typed into its box and ended with Enter shows that series, and the box
  // keeps the number (and the focus, for the next one) rather than going back to the last.
  QSpinBox* series = child<QSpinBox>("SE_VMXY_Nrs");
  ASSERT_TRUE(series->isVisible());
  ASSERT_EQ(series->maximum(), 2);
  const auto readingsOf = [&](int k) {
    return int(std::filesystem::file_size(
                   intermediateFileName(data().deviceFolder(), IntermediateFamily::VMXY, k)) /
               VoltmeterReading::kSize);
  };
  ASSERT_NE(readingsOf(1), readingsOf(2));
  w_->activateWindow();
  series->setFocus();
  for (const int k : {1, 2}) {
    series->findChild<QLineEdit*>()->selectAll();
    QTest::keyClicks(series, QString::number(k));
    QTest::keyClick(series, Qt::Key_Return);
    EXPECT_EQ(series->value(), k);
    EXPECT_EQ(data().chartList().Count(), readingsOf(k)) << k;
    EXPECT_EQ(sheets().shownSheet(), PlotSheet::Voltmeter);
    EXPECT_TRUE(series->isVisible());
    EXPECT_TRUE(series->hasFocus());
  }
}

// Binary saving chosen in the scope stays chosen in a voltmeter mode, which has no binary file:
// the status line says so as the run starts, rather than a run that saves nothing passing for
// one that saved. CSV writes the chart file, and the note goes.
TEST_F(SheetsWindow, VoltmeterRunWithCsvSavingWritesTheChartFileAndFeedsTheBars) {
  const auto dataFiles = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path().toStdString()))
      n += e.path().extension() == ".CSV" || e.path().extension() == ".VXD";
    return n;
  };
  click(child<QRadioButton>("RB_AutoSave_BIN"));
  chooseMode(kModeVMD0);
  ASSERT_TRUE(child<QRadioButton>("RB_AutoSave_BIN")->isChecked());
  QLabel* note = w_->linkPanel()->messagePanel();
  runFor(500);
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(note->text(), binSaveNote(kModeVMD0, 2));
  EXPECT_TRUE(note->text().contains(QStringLiteral("VMD0")));
  hub_.advance(2500);
  EXPECT_EQ(dataFiles(), 0);
  EXPECT_EQ(binSaveNote(kModeVMA1, 2), text(kTextNoBinFile).arg(QStringLiteral("VMA1")));
  for (const ModeCode m : {kModeOSA0, kModeLAIO}) EXPECT_TRUE(binSaveNote(m, 2).isEmpty());
  for (const int choice : {0, 1}) EXPECT_TRUE(binSaveNote(kModeVMD0, choice).isEmpty());

  // The note follows the choice: CSV takes it away at once, not only at the next run.
  click(child<QRadioButton>("RB_AutoSave_CSV"));
  EXPECT_TRUE(note->isHidden());
  runFor(2000);
  EXPECT_TRUE(note->isHidden());
  const int readings = data().chartList().Count();
  ASSERT_GT(readings, 1);
  hub_.advance(2500);  // TM_CloseChartFile ends the file after two quiet seconds
  std::vector<std::filesystem::path> csv;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path().toStdString()))
    if (e.path().extension() == ".CSV") csv.push_back(e.path());
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_NE(csv[0].filename().string().find("_VMD0"), std::string::npos);
  std::ifstream in(csv[0], std::ios::binary);
  int lines = 0;
  for (std::string l; std::getline(in, l);) ++lines;
  EXPECT_GE(lines, readings);  // header rows carry the first readings, later rows one each
  // Both bars show their channel's last reading.
  for (const char* name : {"IM_V_C0", "IM_V_C1"}) {
    auto* bar = child<TVoltmeterBar>(name);
    ASSERT_NE(bar, nullptr) << name;
    EXPECT_TRUE(bar->isVisibleTo(w_.get())) << name;
  }
  // A logger keeps its stream in the intermediate file only, as the voltmeter its series: BIN
  // writes nothing there either, and is told beside the samples the run brought.
  chooseMode(kModeDLA0);
  click(child<QRadioButton>("RB_AutoSave_BIN"));
  runFor(500);
  EXPECT_EQ(dataFiles(), 1);
  EXPECT_TRUE(note->text().split(QLatin1Char('\n')).contains(binSaveNote(kModeDLA0, 2)))
      << note->text().toStdString();
}

// Switching from DC to RMS redraws the bars' scale at once, before the first RMS reading.
TEST_F(SheetsWindow, VoltmeterBarsTakeTheNewModesScaleWhenTheModeChanges) {
  chooseMode(kModeVMD0);
  runFor(500);
  chooseMode(kModeVMA0);
  for (const char* name : {"IM_V_C0", "IM_V_C1"}) {
    auto* bar = child<TVoltmeterBar>(name);
    ASSERT_NE(bar, nullptr) << name;
    EXPECT_EQ(bar->plot().mode(), 2) << name;
    // The RMS scale starts at 1.95 % of the width; the DC one has no tick left of its centre.
    const int x0 = bar->plot().xOf(0.0);
    EXPECT_LT(x0, bar->plot().image().width() / 10) << name;
    EXPECT_EQ(bar->plot().image().pixel(x0, bar->plot().geometry().y4), qRgb(0, 0, 0)) << name;
  }
}

// With unchanged settings the drag indicator spans every reading so far; a changed range
// starts it afresh.
TEST_F(SheetsWindow, VoltmeterBarsKeepTheirBandAcrossReadings) {
  chooseMode(kModeVMD0);
  auto* bar = child<TVoltmeterBar>("IM_V_C0");
  ASSERT_NE(bar, nullptr);
  TOneTolvanexPresenter& p = w_->plots().presenter();
  p.showVoltmeterValues(1.0, 0.0, QStringLiteral("V DC"));
  p.showVoltmeterValues(2.0, 0.0, QStringLiteral("V DC"));
  EXPECT_TRUE(bar->plot().indicatorValid());
  EXPECT_DOUBLE_EQ(bar->plot().indicatorMinimum(), 1.0);
  EXPECT_DOUBLE_EQ(bar->plot().indicatorMaximum(), 2.0);
  p.showVoltmeterValues(1.5, 0.0, QStringLiteral("V DC"));
  EXPECT_DOUBLE_EQ(bar->plot().indicatorMinimum(), 1.0);
  EXPECT_DOUBLE_EQ(bar->plot().indicatorMaximum(), 2.0);
  // The grey band covers 1.0 .. 2.0 V on the picture.
  const int y = bar->plot().geometry().y3 / 2;
  const QImage& img = bar->plot().image();
  EXPECT_EQ(img.pixel((bar->plot().xOf(1.0) + bar->plot().xOf(1.5)) / 2, y),
            TVoltmeterPlot::kIndicatorGrey);
  EXPECT_EQ(img.pixel((bar->plot().xOf(1.5) + bar->plot().xOf(2.0)) / 2, y),
            TVoltmeterPlot::kIndicatorGrey);
  // Another range: the band starts again with the next reading.
  w_->settingsModel().amplitudeTrackbarMoved(0, 3);  // 2 V
  ASSERT_TRUE(until([&] { return acq().conversion().ampl[0] == 2.0; }, 3000));
  p.showVoltmeterValues(0.5, 0.0, QStringLiteral("V DC"));
  EXPECT_DOUBLE_EQ(bar->plot().indicatorMinimum(), 0.5);
  EXPECT_DOUBLE_EQ(bar->plot().indicatorMaximum(), 0.5);
}

// A window that comes up in a voltmeter mode shows the bars in the range in force before the
// first reading, not in a range of 1 V left from nothing.
TEST_F(SheetsWindow, VoltmeterBarsShowTheRangeInForceBeforeTheFirstReading) {
  w_->settingsModel().amplitudeTrackbarMoved(0, 3);  // 2 V
  w_->settingsModel().amplitudeTrackbarMoved(1, 6);  // 20 V
  hub_.advance(1500);
  chooseMode(kModeVMA0);
  ASSERT_TRUE(until([&] { return acq().conversion().ampl[1] == 20.0; }, 3000));
  hub_.advance(500);
  const double ampl[2] = {2.0, 20.0};
  for (int ch = 0; ch < 2; ++ch) {
    auto* bar = child<TVoltmeterBar>(ch == 0 ? "IM_V_C0" : "IM_V_C1");
    EXPECT_EQ(bar->plot().mode(), 2) << ch;
    EXPECT_DOUBLE_EQ(bar->plot().range(), ampl[ch] / 2) << ch;
    EXPECT_DOUBLE_EQ(bar->plot().probeFactor(), acq().conversion().probe[std::size_t(ch)]) << ch;
    EXPECT_DOUBLE_EQ(bar->plot().auxDivider(), acq().conversion().aux) << ch;
  }
  // A probe factor is the window's own (no settings reply follows): the scale takes it at once.
  auto* bar = child<TVoltmeterBar>("IM_V_C0");
  const QImage before = bar->plot().image();
  w_->settingsModel().probeSpinChanged(0, 10);
  EXPECT_DOUBLE_EQ(bar->plot().probeFactor(), 10.0);
  EXPECT_NE(bar->plot().image(), before);
  w_->settingsModel().auxBoxChanged(!w_->settingsModel().display().aux);
  EXPECT_DOUBLE_EQ(bar->plot().auxDivider(), acq().conversion().aux);
}

// After a restart into a voltmeter mode the bars show the stored ranges as soon as the device
// has reported them, before any reading.
TEST_F(SheetsWindow, VoltmeterBarsAfterARestartIntoAVoltmeterMode) {
  w_->settingsModel().amplitudeTrackbarMoved(0, 3);  // 2 V
  w_->settingsModel().amplitudeTrackbarMoved(1, 6);  // 20 V
  hub_.advance(1500);
  chooseMode(kModeVMA0);
  w_->closeQuery();
  w_.reset();
  newWindowOnTheSameDevice();
  ASSERT_EQ(w_->open(), 0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeVMA0 && acq().queue().count() == 0; }, 6000));
  hub_.advance(1000);
  ASSERT_DOUBLE_EQ(acq().conversion().ampl[1], 20.0);
  const double ampl[2] = {2.0, 20.0};
  for (int ch = 0; ch < 2; ++ch) {
    auto* bar = child<TVoltmeterBar>(ch == 0 ? "IM_V_C0" : "IM_V_C1");
    EXPECT_EQ(bar->plot().mode(), 2) << ch;
    EXPECT_DOUBLE_EQ(bar->plot().range(), ampl[ch] / 2) << ch;
    EXPECT_FALSE(bar->plot().indicatorValid()) << ch;
  }
}

// After a restart the scope sheet's number box names the newest stored record ("2 of 2"): the
// sheet shows that record once the program has booted, rather than an empty picture.
TEST_F(SheetsWindow, AfterARestartTheScopeSheetShowsTheRecordItsNumberBoxNames) {
  w_->settingsModel().memoryDepthRowClicked(1000);
  hub_.advance(1500);
  singleRecord();
  w_->settingsModel().memoryDepthRowClicked(2000);
  hub_.advance(1500);
  singleRecord();
  ASSERT_EQ(data().sampleCount(), 2000);
  w_->closeQuery();
  w_.reset();
  setBootingFlag(true);
  struct BootEnds {
    ~BootEnds() { setBootingFlag(false); }
  } ends;  // whatever fails, later tests run after the boot
  newWindowOnTheSameDevice();
  ASSERT_EQ(w_->open(), 0);
  ASSERT_TRUE(until([&] { return !w_->startUpPending(); }, 6000));
  // The window opens on the settings sheet; the mode's stored records can be paged at once,
  // without waiting for a new one, and again after the device came back.
  QGroupBox* box = child<QGroupBox>("GB_OSA0_Nrs");
  for (const bool reconnected : {false, true}) {
    if (reconnected) {
      // The device came back in the window's mode: the sheet in front stays, and the settings
      // sheet brought forward offers the records again.
      ASSERT_EQ(child<QTabWidget>("PC_1")->currentIndex(), int(PlotSheet::Logic));
      EXPECT_FALSE(box->isVisibleTo(w_.get()));  // the box of the sheet in front, not the mode's
      child<QTabWidget>("PC_1")->setCurrentIndex(int(PlotSheet::ScopeControls));
    }
    ASSERT_EQ(child<QTabWidget>("PC_1")->currentIndex(), int(PlotSheet::ScopeControls));
    EXPECT_TRUE(box->isVisibleTo(w_.get())) << reconnected;
    EXPECT_EQ(child<QLabel>("PN_OSA0_von")->text(), QStringLiteral("of 2"));
    if (reconnected) break;
    child<QTabWidget>("PC_1")->setCurrentIndex(int(PlotSheet::Logic));
    EXPECT_FALSE(box->isVisibleTo(w_.get()));
    sim_.unplug(0);
    hub_.advance(500);
    sim_.plug(0);
    ASSERT_EQ(w_->reconnect(), 0);
    hub_.advance(2000);
    QApplication::processEvents();
  }
  child<QTabWidget>("PC_1")->setCurrentIndex(int(PlotSheet::Scope));
  EXPECT_EQ(child<QSpinBox>("SE_OSA0_Nrs")->value(), 2);
  hub_.advance(1000);
  EXPECT_EQ(data().sampleCount(), 0);  // nothing is shown while the program boots
  setBootingFlag(false);
  hub_.advance(TF_OneTolvanex::kStoredScopeRetryMs);
  EXPECT_EQ(data().sampleCount(), 2000);
  EXPECT_EQ(sheets().scopeKernel().DataSetCount(), 2);
  // A record in the sheet stays when the sheet comes to the front again.
  child<QSpinBox>("SE_OSA0_Nrs")->setValue(1);
  ASSERT_EQ(data().sampleCount(), 1000);
  child<QTabWidget>("PC_1")->setCurrentIndex(int(PlotSheet::Voltmeter));
  child<QTabWidget>("PC_1")->setCurrentIndex(int(PlotSheet::Scope));
  hub_.advance(1000);
  EXPECT_EQ(data().sampleCount(), 1000);
}

TEST_F(SheetsWindow, OpeningAgainOnTheSameFolderKeepsTheDataAndItsChartFile) {
  chooseMode(kModeVMD0);
  click(child<QRadioButton>("RB_AutoSave_CSV"));
  runFor(300);
  TMeasureData* data = &w_->plots().data();
  TChartCsvAutoSave* chart = w_->chartCsv();
  ASSERT_TRUE(chart->saver().isOpen());
  const std::filesystem::path first = chart->saver().fileName();
  w_->open();
  // The run's chart file stays open, within its pause, in the same chart object.
  EXPECT_EQ(w_->chartCsv(), chart);
  EXPECT_TRUE(chart->saver().isOpen());
  EXPECT_EQ(chart->saver().fileName(), first);
  runFor(300);  // a new series gets a chart file of its own
  EXPECT_EQ(&w_->plots().data(), data);
  hub_.advance(2500);
  int csv = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path().toStdString()))
    csv += e.path().extension() == ".CSV";
  EXPECT_EQ(csv, 2);
}

TEST_F(SheetsWindow, AnalogLoggerStreamIsDrawnAfterStopAndADamagedOneLeavesAnEmptyImage) {
  chooseMode(kModeDLA0);
  runFor(3000);
  const std::filesystem::path file = w_->plots().presenter().analogLoggerFile();
  ASSERT_FALSE(file.empty());
  if (!headerReadable(file)) GTEST_SKIP() << "the stream's text header is not readable yet";
  EXPECT_EQ(sheets().shownSheet(), PlotSheet::AnalogLogger);
  EXPECT_GT(sheets().loggerKernel().DataSetCount(), 0);
  // A stored stream shown where the window holds no time of its own: the headline takes the
  // stream's start, never the empty time.
  AnalogLoggerSeries stream;
  ASSERT_EQ(openAnalogLoggerSeries(file, stream), 0);
  ASSERT_TRUE(stream.start.has_value());
  data().setMeasurementTime(DayTime{});
  w_->plots().presenter().plotAnalogLoggerFile(file);
  EXPECT_EQ(sheets().headline(), headlineText(w_->serialNumber(), *stream.start));
  EXPECT_EQ(sheets().headline(PlotSheet::AnalogLogger), sheets().headline());
  // Cut the stream short: drawing it again never reads past its end. A lone sample is drawn
  // like any other; an empty stream answers why nothing is drawn and says so on the picture.
  std::filesystem::resize_file(file, 7);
  EXPECT_EQ(w_->plots().presenter().plotAnalogLoggerFile(file), 0);
  EXPECT_GT(sheets().loggerKernel().DataSetCount(), 0);
  std::filesystem::resize_file(file, 0);
  EXPECT_EQ(w_->plots().presenter().plotAnalogLoggerFile(file), kNoSamples);
  EXPECT_EQ(sheets().loggerKernel().DataSetCount(), 0);
  EXPECT_TRUE(sheets().headline(PlotSheet::AnalogLogger)
                  .endsWith(measureResultText(kNoSamples, languageIndex(), ResultContext::Reading)));
  std::filesystem::remove(file);
  EXPECT_EQ(w_->plots().presenter().plotAnalogLoggerFile(file), 2);
  EXPECT_EQ(sheets().loggerKernel().DataSetCount(), 0);
  // The next stream's drawing carries no stale message.
  EXPECT_FALSE(sheets().headline().contains(measureResultText(2, languageIndex())));
}

// A change of plot mode or scaling redraws a shown stream from what was read when it was shown;
// a stream whose file grew since is read again.
TEST_F(SheetsWindow, PlotModeChangesKeepTheOpenedStreamUntilItsFileChanges) {
  const std::filesystem::path file =
      std::filesystem::path(dir_.path().toStdString()) / "Intermediate_DLA0_077.FIL";
  testfiles::StreamRecipe s;
  s.samples = 5000;
  ASSERT_EQ(testfiles::makeAnalogStream(file, s), 0);
  auto& p = w_->plots().presenter();
  p.plotAnalogLoggerFile(file);
  const auto readerShown = [&]() -> const TSampleReader* {
    const TGenD2DataSet* ds = sheets().loggerKernel().Get(0);
    return ds && ds->series ? &ds->series->Reader() : nullptr;
  };
  const TSampleReader* opened = readerShown();
  ASSERT_NE(opened, nullptr);
  p.setPlotMode(kPlotK0);  // channel 0's curve first, as before
  EXPECT_EQ(readerShown(), opened);
  click(child<QCheckBox>("CB_AutoScaleC0"));
  EXPECT_EQ(readerShown(), opened);
  std::ofstream(file, std::ios::binary | std::ios::app).write("\x01\x02\x03\x04", 4);
  p.setPlotMode(kPlotK0K1);
  ASSERT_NE(readerShown(), nullptr);
  EXPECT_NE(readerShown(), opened);
  // Shown again, the same file is read again.
  opened = readerShown();
  p.plotAnalogLoggerFile(file);
  EXPECT_NE(readerShown(), opened);
}

TEST_F(SheetsWindow, IoLoggerStreamIsDrawnAfterStop) {
  chooseMode(kModeDLDI);
  runFor(3000);
  const auto& n = data().numbering(IntermediateFamily::DLDI);
  if (!headerReadable(n.fileName(n.current())))
    GTEST_SKIP() << "the stream's text header is not readable yet";
  EXPECT_EQ(sheets().shownSheet(), PlotSheet::IoLogger);
  ASSERT_GT(data().ioLoggerList().count(), 0);
  EXPECT_GT(countColour(shown(PlotSheet::IoLogger), qRgb(255, 0, 0)), 100);

  // "Export record on screen" writes the stream the sheet drew, sample for sample.
  struct SaveTo final : IFileDialogs {
    QString answer, warned;
    QString saveFileName(const QString&, const QString&, const QString&, const QString&,
                         const QString&) override {
      return answer;
    }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    bool confirm(const QString&) override { return false; }
    void warn(const QString& t) override { warned = t; }
  } dialogs;
  const std::filesystem::path out = data().deviceFolder() / "shown_io.csv";
  dialogs.answer = QString::fromStdString(out.string());
  w_->filePanel()->setDialogs(&dialogs);
  EXPECT_EQ(w_->filePanel()->exportShown(), 0) << dialogs.warned.toStdString();
  EXPECT_TRUE(dialogs.warned.isEmpty());
  std::ifstream in(out);
  std::int64_t rows = 0;
  for (std::string line; std::getline(in, line);) rows += !line.empty() && line[0] != '#';
  EXPECT_EQ(rows, data().ioLoggerList().count() + 1);  // a title row, then every sample
  w_->filePanel()->setDialogs(nullptr);
}

TEST_F(SheetsWindow, IoLoggerStreamThatCannotBeReadBackSaysWhyOnItsEmptyPicture) {
  chooseMode(kModeDLDI);
  if (acq().singleShot()) click(run().singleShotBox());
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
  const std::filesystem::path file = data().loggerStream().fileName();
  ASSERT_FALSE(file.empty());
  ASSERT_TRUE(until([&] { return headerReadable(file); }, 5000));
  std::filesystem::remove(textHeaderName(file));  // gone before the run ends
  hub_.advance(1000);
  click(run().breakButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 10000));
  hub_.advance(500);
  QApplication::processEvents();
  EXPECT_EQ(sheets().shownSheet(), PlotSheet::IoLogger);
  EXPECT_EQ(data().ioLoggerList().count(), 0);
  const QString time = headlineText(w_->serialNumber(), data().measurementTime());
  EXPECT_EQ(sheets().headline(PlotSheet::IoLogger),
            time + QStringLiteral("  ") + measureResultText(2, languageIndex()));
  EXPECT_EQ(countColour(shown(PlotSheet::IoLogger), qRgb(255, 0, 0)), 0);
  // The next drawing elsewhere takes the plain headline.
  EXPECT_EQ(sheets().headline(), time);
  // A good run draws again without the note.
  runFor(3000);
  ASSERT_GT(data().ioLoggerList().count(), 0);
  EXPECT_EQ(sheets().headline(PlotSheet::IoLogger),
            headlineText(w_->serialNumber(), data().measurementTime()));
}

namespace {

// Where a shown control of the window is cut: outside the window or its parent, narrower or
// lower than its content needs, or (for the plot pictures) covered by a sibling.
std::string cutControls(QWidget* window, QWidget* root) {
  std::ostringstream o;
  const QRect win = window->rect();
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || w->isWindow()) continue;
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
                         qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QGroupBox*>(w);
    if (!control) continue;
    // The settings column and the value tables scroll up and down by design; anything else
    // in a scroll area (a cool bar that scrolls sideways) must show whole in its viewport.
    bool scrolled = false;
    QRect inView;
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
      if (auto* sa = qobject_cast<QAbstractScrollArea*>(p)) {
        const QString n = sa->objectName();
        if (n == QLatin1String("SB_Parms") || n == QLatin1String("SB_ScopeControlsSheet") ||
            qobject_cast<QAbstractItemView*>(sa))
          scrolled = true;
        else if (!sa->viewport()->rect().contains(
                     QRect(w->mapTo(sa->viewport(), QPoint(0, 0)), w->size())))
          o << w->objectName().toStdString() << " scrolled out of " << n.toStdString() << "; ";
      }
    }
    if (scrolled) continue;
    const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    const std::string name = w->objectName().isEmpty() ? w->metaObject()->className()
                                                        : w->objectName().toStdString();
    if (!win.contains(r)) o << name << " leaves the window; ";
    if (QWidget* p = w->parentWidget(); p && !p->rect().contains(w->geometry()))
      o << name << " leaves " << p->objectName().toStdString() << "; ";
    const QSize need = w->minimumSizeHint();
    if (!qobject_cast<QLabel*>(w) || !static_cast<QLabel*>(w)->pixmap().isNull()) {
      if (w->width() < need.width() || w->height() < need.height())
        o << name << " squeezed to " << w->width() << "x" << w->height() << "; ";
    } else if (!static_cast<QLabel*>(w)->wordWrap()) {
      const QLabel* l = static_cast<QLabel*>(w);
      const int textWidth = l->fontMetrics().horizontalAdvance(l->text());
      if (l->contentsRect().width() < textWidth && l->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored)
        o << name << " text cut (" << l->text().toStdString() << "); ";
    }
  }
  return o.str();
}

// The captions of a drop-down list that its closed box would cut (it shows the chosen one, and
// any may be chosen).
std::string comboCut(QComboBox* box) {
  QStyleOptionComboBox opt;
  opt.initFrom(box);
  const QRect field =
      box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, box);
  std::string cut;
  for (int i = 0; i < box->count(); ++i) {
    const int need = box->fontMetrics().horizontalAdvance(box->itemText(i));
    // The style writes the label one pixel in from either side of the field.
    if (need > field.width() - 2) cut += box->itemText(i).toStdString() + " in the box; ";
  }
  return cut;
}

}  // namespace

// At the window's minimum size every control of the cool bar and the sheets is whole, with
// intermediate-file numbers shown, on every sheet; the measurements never cover the scope's
// curves and every picture holds its headline.
TEST_F(SheetsWindow, NothingIsCutAtTheMinimumSize) {
  // The settings column scrolls up and down only: sideways every control lies in sight, the
  // panels holding the device's values ("100 kHz", "OSA0") included.
  const auto columnCut = [this] {
    auto* column = child<QScrollArea>("SB_Parms");
    std::string cut;
    for (QWidget* c : column->widget()->findChildren<QWidget*>()) {
      if (!c->isVisibleTo(column->widget())) continue;
      const QRect r(c->mapTo(column->viewport(), QPoint(0, 0)), c->size());
      if (r.right() >= column->viewport()->width()) cut += c->objectName().toStdString() + " ";
    }

    return cut;
  };
  w_->resize(TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
  for (int pass = 0; pass < 4; ++pass) QApplication::processEvents();
  EXPECT_EQ(columnCut(), "");
  singleRecord();
  // Two intermediate files of every family: all five number boxes join the cool bar.
  for (IntermediateFamily f : kIntermediateFamilies)
    for (int k = 1; k <= 2; ++k)
      if (!std::filesystem::exists(intermediateFileName(data().deviceFolder(), f, k)))
        std::ofstream(intermediateFileName(data().deviceFolder(), f, k)) << "x";
  w_->filePanel()->refreshAll();
  // Each sheet offers its own family's numbers, whatever the device's mode: the user's choice
  // of sheet decides, and no mode command goes out for it. The settings sheet, which draws
  // nothing, offers the mode's family (scope: page 2's box), and a new mode its own.
  const char* const boxes[] = {"GB_VMXY_Nrs", nullptr, "GB_OSA0_Nrs", "GB_LAIO_Nrs",
                               "GB_DLA0_Nrs", "GB_DLDI_Nrs"};
  const auto boxesShown = [&](int page, int family) {
    for (int b = 0; b < 6; ++b) {
      if (!boxes[b]) continue;
      EXPECT_EQ(child<QGroupBox>(boxes[b])->isVisibleTo(w_.get()), b == family)
          << boxes[b] << " on page " << page;
    }
  };
  for (int page : {3, 1, 5, 0, 4, 2}) {
    w_->pageControl()->tabBar()->setCurrentIndex(page);
    boxesShown(page, page == 1 ? 2 : page);
  }
  EXPECT_EQ(w_->acquisition().requestedMode(), kModeOSA0);
  EXPECT_EQ(w_->acquisition().queue().count(), 0);
  w_->pageControl()->setCurrentIndex(1);
  chooseMode(kModeDLA0);
  ASSERT_EQ(w_->pageControl()->currentIndex(), 1);
  boxesShown(1, 4);
  chooseMode(kModeOSA0);
  boxesShown(1, 2);
  w_->pageControl()->setCurrentIndex(3);
  ASSERT_EQ(child<QSpinBox>("SE_LAIO_Nrs")->maximum(), 2);
  w_->resize(TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
  for (int round = 0; round < 2; ++round) {
    setLanguageIndex(round == 0 ? kLanguageGerman : kLanguageEnglish);
    w_->applyTexts();
    for (int page = 0; page < 6; ++page) {
      w_->pageControl()->setCurrentIndex(page);
      QApplication::processEvents();
      QApplication::processEvents();
      SCOPED_TRACE("page " + std::to_string(page) + " language " + std::to_string(round));
      EXPECT_EQ(cutControls(w_.get(), w_->runControlsArea()), "");
      EXPECT_EQ(cutControls(w_.get(), w_->pageControl()->currentWidget()), "");
      EXPECT_EQ(columnCut(), "");
      EXPECT_EQ(comboCut(child<QComboBox>("CB_Modes")), "");
      // Every tab is whole: no scroll buttons, no shortened captions.
      QTabBar* tabs = w_->pageControl()->tabBar();
      EXPECT_LE(tabs->sizeHint().width(), tabs->width());
      EXPECT_GE(tabs->tabRect(tabs->count() - 1).right(), tabs->tabRect(0).left());
      EXPECT_LE(tabs->tabRect(tabs->count() - 1).right(), tabs->width() - 1);
      // The plot-mode group is whole where it is shown.
      auto* group = child<QGroupBox>("GB_PlotMode");
      if (group->isVisible()) {
        for (QWidget* c : group->findChildren<QWidget*>())
          EXPECT_TRUE(group->rect().contains(c->geometry())) << c->objectName().toStdString();
      }
    }
  }
  // The mode box holds every caption at the default size as well, in either language.
  w_->resize(TF_OneTolvanex::kDefaultWidth, TF_OneTolvanex::kDefaultHeight);
  for (int language : {kLanguageGerman, kLanguageEnglish}) {
    setLanguageIndex(language);
    w_->applyTexts();
    for (int pass = 0; pass < 4; ++pass) QApplication::processEvents();
    EXPECT_EQ(comboCut(child<QComboBox>("CB_Modes")), "") << language;
    EXPECT_EQ(cutControls(w_.get(), child<QWidget>("PN_ModeSelect")), "") << language;
  }
  w_->resize(TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
  // In every mode, after texts of another language, the cool bar's controls keep the width
  // they need, no more: rows without gaps, nothing squeezed.
  for (ModeCode m : {kModeVMD0, kModeLAIO, kModeDLDI, kModeOSA0}) {
    SCOPED_TRACE(modeCodeText(m));
    chooseMode(m);
    // A changed control asks its parents to lay out again one level per pass of the loop.
    for (int pass = 0; pass < 10; ++pass) QApplication::processEvents();
    QLayout* bar = w_->runControlsArea()->layout();
    for (int i = 0; i < bar->count(); ++i) {
      QWidget* c = bar->itemAt(i)->widget();
      if (!c || c->isHidden()) continue;
      // (A group box is at least as wide as its title.)
      const auto need = [](QWidget* k) {
        return k->sizeHint().expandedTo(k->minimumSizeHint()).width();
      };
      EXPECT_EQ(c->width(), need(c)) << c->objectName().toStdString();
      for (QWidget* k : c->findChildren<QWidget*>()) {
        if (!k->isVisibleTo(c) || !k->layout()) continue;
        EXPECT_EQ(k->width(), need(k)) << k->objectName().toStdString();
      }
    }
    EXPECT_EQ(cutControls(w_.get(), w_->runControlsArea()), "");
  }
  // The measurements stand beside the scope image, not on it.
  w_->pageControl()->setCurrentIndex(int(PlotSheet::Scope));
  QApplication::processEvents();
  QApplication::processEvents();
  QWidget* table = child<QWidget>("PN_ScopeMeasure");
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(table->isVisible());
  const QRect im = sheets().image(PlotSheet::Scope)->geometry();
  EXPECT_FALSE(im.intersects(table->geometry()));
  EXPECT_LE(im.right() + 1, table->x());
  EXPECT_EQ(table->geometry().right(), sheets().page(PlotSheet::Scope)->width() - 1);
  // The picture is drawn in the image's size, the headline fits into it.
  EXPECT_EQ(sheets().scopeKernel().Bitmap().size(), im.size());
  const QFontMetrics fm(QPainter(&sheets().scopeKernel().Bitmap()).font());
  for (PlotSheet s : {PlotSheet::Voltmeter, PlotSheet::Scope, PlotSheet::Logic,
                      PlotSheet::AnalogLogger, PlotSheet::IoLogger})
    EXPECT_LE(fm.horizontalAdvance(sheets().headline()), sheets().image(s)->width()) << int(s);
}

// The same physical input through the ranges 0.2 V, 2 V and 20 V: the curves change size and
// the small range clips (pictures only when a folder is given).
TEST_F(SheetsWindow, ScopeRangeScreenshots) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  const std::pair<int, const char*> ranges[] = {{0, "0_2V"}, {3, "2V"}, {6, "20V"}};
  for (const auto& [pos, name] : ranges) {
    for (int ch = 0; ch < 2; ++ch) {
      auto* tb = w_->findChild<QSlider*>(QStringLiteral("TB_AmplC%1").arg(ch));
      ASSERT_NE(tb, nullptr);
      tb->setValue(pos);
    }
    hub_.advance(1500);  // the settings write and its reply
    singleRecord();
    w_->pageControl()->setCurrentWidget(sheets().page(PlotSheet::Scope));
    QApplication::processEvents();
    w_->grab().save(QString::fromLatin1(out) + QStringLiteral("/scope_range_%1.png").arg(name));
  }
}

// Pictures of every mode and plot mode after a measurement (only when a folder is given).
TEST_F(SheetsWindow, Screenshots) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  const auto shoot = [&](const std::string& name) {
    for (const auto& [suffix, w, h] :
         {std::tuple{"_large", 1600, 1000},
          std::tuple{"_min", TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight}}) {
      w_->resize(w, h);
      QApplication::processEvents();
      QApplication::processEvents();
      w_->grab().save(QString::fromLocal8Bit(out) + "/sheet_" + QString::fromStdString(name) +
                      suffix + ".png");
    }
    w_->resize(1200, 800);
    QApplication::processEvents();
  };
  singleRecord();
  const char* modes[] = {"none", "k0", "k1", "k0k1", "k1vsk0", "k0vsk1"};
  for (int m = 0; m < 6; ++m) {
    w_->plots().presenter().setPlotMode(m);
    shoot(std::string("osa0_") + modes[m]);
  }
  w_->plots().presenter().setPlotMode(3);
  click(child<QCheckBox>("CB_SynchYAxes"));
  click(child<QCheckBox>("CB_AutoScaleC1"));
  shoot("osa0_unsynch_auto1");
  click(child<QCheckBox>("CB_SynchYAxes"));
  click(child<QCheckBox>("CB_AutoScaleC1"));
  for (ModeCode m : {kModeVMD0, kModeVMA1, kModeDLA0, kModeLAIO, kModeDLDI}) {
    chooseMode(m);
    std::string code = modeCodeText(m);
    for (char& c : code) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (m == kModeLAIO) {
      singleRecord();
    } else {
      runFor(m == kModeDLA0 || m == kModeDLDI ? 5000 : 3000);
    }
    if (m == kModeVMD0 || m == kModeVMA1) {
      w_->pageControl()->setCurrentIndex(0);
      click(child<QPushButton>("BN_PlotOrUpdateChart"));
    }
    shoot(code);
    if (m == kModeDLA0) {
      w_->plots().presenter().setPlotMode(4);
      shoot(code + "_k1vsk0");
      w_->plots().presenter().setPlotMode(3);
    }
  }
}

// With CSV auto-save the sheet is brought to front and resized while the stream is drawn: the
// picture must still show the curves, not an empty frame.
TEST_F(SheetsWindow, AnalogLoggerRunWithCsvAutoSaveIsDrawn) {
  chooseMode(kModeDLA0);
  click(child<QRadioButton>("RB_AutoSave_CSV"));
  runFor(3000);
  EXPECT_EQ(sheets().shownSheet(), PlotSheet::AnalogLogger);
  EXPECT_GT(sheets().loggerKernel().DataSetCount(), 0);
  EXPECT_GT(countColour(shown(PlotSheet::AnalogLogger), qRgb(0, 0, 255)), 100);
}

// The run's CSV files under the device folder.
static std::vector<std::filesystem::path> csvFilesOf(const std::filesystem::path& folder,
                                                     const char* mode) {
  std::vector<std::filesystem::path> v;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.path().extension() == ".CSV" && e.path().stem().string().ends_with(mode))
      v.push_back(e.path());
  return v;
}

// Closing the program during a logger run ends the run as STOP does: what the device sent
// before the stop and its end marker reach the stream file, and the run's CSV is written. A
// device that never ends its stream holds the close up for a bounded while only, and the
// stream that came is converted all the same.
void SheetsWindow::closeDuringLoggerRun(bool silent) {
  chooseMode(kModeDLA0);
  click(child<QRadioButton>("RB_AutoSave_CSV"));
  w_->setCloseWait([this](int ms) { hub_.advance(ms); });
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
  hub_.advance(2000);
  sim_.device(0).setSilent(silent);
  const auto& n = data().numbering(IntermediateFamily::DLA0);
  const std::filesystem::path stream = n.fileName(n.current());
  const std::int64_t closedAt = clock_.nowMs();
  EXPECT_TRUE(w_->closeQuery());
  EXPECT_LE(clock_.nowMs() - closedAt, TF_OneTolvanex::kLoggerEndWaitMs);
  // The device ended the run itself; a silent one is left to the release of the link.
  if (!silent) {
    EXPECT_FALSE(acq().runInFlight());
  }
  std::ifstream in(stream, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(bytes.size(), 1000u);
  const bool marked =
      std::equal(kEndMarker.begin(), kEndMarker.end(), bytes.end() - kEndMarker.size(),
                 [](std::uint8_t a, char b) { return a == std::uint8_t(b); });
  EXPECT_EQ(marked, !silent);
  EXPECT_EQ(csvFilesOf(data().deviceFolder(), "DLA0").size(), 1u);
}

TEST_F(SheetsWindow, CloseQueryDuringALoggerRunEndsItAsStopDoes) {
  closeDuringLoggerRun(false);
}

TEST_F(SheetsWindow, CloseQueryDuringALoggerRunOfASilentDeviceConvertsWhatCame) {
  closeDuringLoggerRun(true);
}

// Ranges of the scope kernel's merged axes: X first, then Y.
static std::vector<std::pair<double, double>> axisRanges(TGenD2ImgKernel& k) {
  std::vector<std::pair<double, double>> r;
  for (TAxWorldDataLst* l : {&k.XAxes(), &k.YAxes()})
    for (int i = 0; i < l->Count(); ++i)
      r.emplace_back(l->Get(i)->minimum.toNumber(), l->Get(i)->maximum.toNumber());
  return r;
}

// The user's zoom survives redraws of the same record: a plot-mode change keeps every axis
// whose unit the new mode still has, an auto-scale change keeps the time axis, and the full
// view comes back with an unzoom or a new record.
TEST_F(SheetsWindow, PlotModeChangesKeepTheUsersZoom) {
  singleRecord();
  TGenD2ImgKernel& k = sheets().scopeKernel();
  click(child<QRadioButton>("RB_K0"));
  const auto full = axisRanges(k);
  ASSERT_EQ(full.size(), 2u);
  const PlotRect a = k.PlotArea();
  const int cx = (a.left + a.right) / 2, cy = (a.top + a.bottom) / 2;
  sheets().wheel(PlotSheet::Scope, Qt::NoModifier, cx, cy, 240);
  sheets().wheel(PlotSheet::Scope, Qt::ControlModifier, cx, cy, 120);
  const auto zoomed = axisRanges(k);
  ASSERT_NE(zoomed[0], full[0]);
  ASSERT_NE(zoomed[1], full[1]);

  // Both channels against time: the time axis and channel 0's axis ("V") keep the zoom.
  click(child<QRadioButton>("RB_K0_K1"));
  EXPECT_EQ(axisRanges(k)[0], zoomed[0]);
  EXPECT_EQ(axisRanges(k)[1], zoomed[1]);
  // XY: volts on both axes, a view of its own, shown whole.
  click(child<QRadioButton>("RB_K1_vs_K0"));
  const auto xy = axisRanges(k);
  sheets().unzoom(PlotSheet::Scope);
  EXPECT_EQ(axisRanges(k), xy);
  // Back to time: the zoom is still there.
  click(child<QRadioButton>("RB_K0"));
  EXPECT_EQ(axisRanges(k), zoomed);

  // Auto-scale redraws the Y range and keeps the time axis.
  click(child<QCheckBox>("CB_AutoScaleC0"));
  EXPECT_EQ(axisRanges(k)[0], zoomed[0]);
  EXPECT_NE(axisRanges(k)[1], zoomed[1]);
  // ... and the Y zoom it replaced does not come back with the next mode change.
  const auto autoY = axisRanges(k)[1];
  click(child<QRadioButton>("RB_K0_K1"));
  click(child<QRadioButton>("RB_K0"));
  EXPECT_EQ(axisRanges(k)[1], autoY);
  EXPECT_EQ(axisRanges(k)[0], zoomed[0]);

  // Unzoom: the full view, also after the next change.
  sheets().unzoom(PlotSheet::Scope);
  const auto whole = axisRanges(k);
  EXPECT_NE(whole[0], zoomed[0]);
  click(child<QRadioButton>("RB_K0_K1"));
  click(child<QRadioButton>("RB_K0"));
  EXPECT_EQ(axisRanges(k), whole);

  // A new record shows its full view.
  sheets().wheel(PlotSheet::Scope, Qt::NoModifier, cx, cy, 240);
  ASSERT_NE(axisRanges(k)[0], whole[0]);
  singleRecord();
  EXPECT_EQ(axisRanges(k)[0], whole[0]);
}

// While a logger runs, its sheet stays empty until the run ends, and says so; the drawing at
// the end carries the plain headline.
TEST_F(SheetsWindow, LoggerSheetSaysItIsDrawnWhenTheRunEnds) {
  setLanguageIndex(kLanguageEnglish);
  const QString note = text(kTextLoggerDrawnAtEnd);
  EXPECT_TRUE(note.startsWith(QStringLiteral("Logging:")));
  for (const ModeCode m : {kModeDLA0, kModeDLDI}) {
    const PlotSheet s = m == kModeDLA0 ? PlotSheet::AnalogLogger : PlotSheet::IoLogger;
    chooseMode(m);
    if (acq().singleShot()) click(run().singleShotBox());
    click(run().runButton());
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
    hub_.advance(1500);
    EXPECT_TRUE(sheets().headline(s).endsWith(note)) << sheets().headline(s).toStdString();
    click(run().breakButton());
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 10000));
    hub_.advance(500);
    QApplication::processEvents();
    EXPECT_FALSE(sheets().headline(s).contains(note)) << int(s);
  }
  setLanguageIndex(kLanguageGerman);
}

// A stream that cannot be opened (every intermediate name taken) gets no picture at the end:
// its sheet says why instead of promising one.
TEST_F(SheetsWindow, LoggerSheetSaysWhyWhenItsStreamCannotBeOpened) {
  chooseMode(kModeDLA0);
  for (int k = 1; k <= 1000; ++k) {
    const auto f = intermediateFileName(data().deviceFolder(), IntermediateFamily::DLA0, k);
    std::filesystem::create_directories(f.parent_path());
    std::ofstream(f) << "old";
  }
  if (acq().singleShot()) click(run().singleShotBox());
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
  ASSERT_EQ(data().lastLoggerOpenResult(), kNoFreeIntermediateName);
  const QString h = sheets().headline(PlotSheet::AnalogLogger);
  EXPECT_TRUE(h.endsWith(measureResultText(kNoFreeIntermediateName, languageIndex(),
                                           ResultContext::Writing)))
      << h.toStdString();
  EXPECT_FALSE(h.contains(text(kTextLoggerDrawnAtEnd)));
  click(run().breakButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 10000));
}
