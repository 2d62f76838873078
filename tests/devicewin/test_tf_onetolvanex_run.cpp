// The device window wired to its acquisition cycle and settings panels, against a simulated
// device on a manual clock and manual timers.
#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "common/paths.h"
#include "common/texttable.h"
#include "common/windowmessages.h"
#include "devicewin/panel_files.h"
#include "devicewin/panel_gpio.h"
#include "devicewin/panel_scopecontrols_groups.h"
#include "devicewin/runnotes.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "ftdi/simulated_driver.h"
#include "devicewin/window_rig.h"

using namespace tolv;

namespace {

using test::RecordingDriver;

// Counts the records on their way to the window's measurement data and reports each step.
class CountingSink final : public IRecordSink {
 public:
  IRecordSink* inner = nullptr;
  std::function<void(const char*)> onEvent;
  int scopeRecords = 0, scopeFinished = 0;
  std::size_t scopeSamples = 0;

  void recordStamped(const RecordStamp& s) override { inner->recordStamped(s); }
  int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) override {
    ++scopeRecords;
    scopeSamples = raw.size() / 4;
    const int rc = inner->scopeRecord(raw, conv);
    if (onEvent) onEvent("scope");
    return rc;
  }
  void scopeRecordFinish() override {
    inner->scopeRecordFinish();
    ++scopeFinished;
    if (onEvent) onEvent("finish");
  }
  void logicRecord(std::span<const std::uint8_t> raw) override { inner->logicRecord(raw); }
  int logicRecordFinish() override { return inner->logicRecordFinish(); }
  void voltmeterReading(const VoltmeterReplyRecord& r, const VoltmeterValues& v) override {
    inner->voltmeterReading(r, v);
  }
  void voltmeterRunStarted(bool single) override { inner->voltmeterRunStarted(single); }
  void voltmeterStopped() override { inner->voltmeterStopped(); }
  void loggerRunStarted(ModeCode m) override { inner->loggerRunStarted(m); }
  std::function<void(std::size_t)> onLoggerChunk;
  int loggerChunk(ModeCode m, std::span<const std::uint8_t> b) override {
    if (onLoggerChunk) onLoggerChunk(b.size());
    return inner->loggerChunk(m, b);
  }
  void loggerRunEnded(ModeCode m) override { inner->loggerRunEnded(m); }
};

class RunWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    setDataRoot(std::filesystem::path(dir_.path().toStdString()));
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    sim_.setLinkRate({4096, 1000});
    w_ = std::make_unique<TF_OneTolvanex>(rec_, nullptr,
                                          [this](int ms) -> ITimer& { return hub_.create(ms); });
    w_->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    w_->resize(1000, 700);
    w_->show();
    QApplication::processEvents();
  }
  void TearDown() override { w_.reset(); }

  void advance(std::int64_t ms) { hub_.advance(ms); }
  bool until(const std::function<bool()>& p, std::int64_t maxMs = 3000) {
    return hub_.advanceUntil(p, maxMs);
  }
  // Opened on defaults, the start-up done and the device's settings read back.
  void boot() {
    ASSERT_EQ(w_->open(), 2);
    advance(1500);
    ASSERT_EQ(acq().mode(), kModeOSA0);
    ASSERT_EQ(acq().queue().count(), 0);
  }
  TAcquisition& acq() { return w_->acquisition(); }
  // Puts the counting sink in front of the window's measurement data (after open).
  CountingSink& counted() {
    if (!counting_.inner) {
      counting_.inner = &w_->plots().data();
      w_->setRecordSink(&counting_);
    }
    return counting_;
  }
  TOneTolvanexRunPanel& run() { return *w_->runPanel(); }
  ColorRef runningColour() { return run().runningPanel()->colour(); }
  ColorRef buttonFace() {
    TClickPanel p(QStringLiteral("face"));
    p.setButtonFace();
    return p.colour();
  }
  void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

  QTemporaryDir dir_;
  ManualClock clock_;
  TSimulatedDriver sim_{1, clock_};
  RecordingDriver rec_{sim_, clock_};
  TManualTimerHub hub_{clock_};
  CountingSink counting_;
  std::unique_ptr<TF_OneTolvanex> w_;
};

}  // namespace

TEST_F(RunWindow, FreshWindowAsksForTheScopeModeAfter400msThenReadsTheSettings) {
  EXPECT_FALSE(run().runButton()->isEnabled());
  ASSERT_EQ(w_->open(), 2);
  const std::int64_t opened = clock_.nowMs();
  advance(399);
  EXPECT_TRUE(rec_.of("*SMd").empty());
  EXPECT_FALSE(run().runButton()->isEnabled());
  advance(1);
  // RUN is enabled with the stage that chooses the mode.
  EXPECT_TRUE(run().runButton()->isEnabled());
  ASSERT_TRUE(until([&] { return !rec_.of("*SRd").empty(); }));
  const auto smd = rec_.of("*SMd");
  ASSERT_EQ(smd.size(), 1u);
  EXPECT_EQ(smd[0].bytes,
            (std::vector<std::uint8_t>{0x2A, 0x53, 0x4D, 0x64, 0x30, 0x41, 0x53, 0x4F}));
  EXPECT_GE(smd[0].atMs - opened, 400);
  EXPECT_LT(smd[0].atMs - opened, 400 + 400);
  EXPECT_GT(rec_.of("*SRd")[0].atMs, smd[0].atMs);
  // The identification was asked as well, so the caption is complete.
  EXPECT_EQ(rec_.of("*IDN").size(), 1u);
  advance(500);
  EXPECT_TRUE(w_->windowTitle().contains(QStringLiteral("simulated")));
  EXPECT_EQ(w_->scopeControlsPanel()->modePanel()->text(), QStringLiteral("OSA0"));
  EXPECT_EQ(run().queuePanel()->text(), QStringLiteral("0"));
}

TEST_F(RunWindow, StoredSettingsComeBackInStages) {
  SettingsRecord stored = SettingsRecord::defaults();
  stored.mode = kModeLAIO;
  stored.singleShot = true;
  stored.overlapping = true;
  stored.probeFactorC0 = 10;
  stored.memoryDepth = 2000;
  stored.width = 1300;
  stored.height = 200;  // below the minimum height
  w_->setSettingsRestore([&](const std::filesystem::path&, SettingsRecord& r) {
    r = stored;
    return 0;
  });
  ASSERT_EQ(w_->open(), 0);
  const std::int64_t opened = clock_.nowMs();
  advance(400);
  // Stage 1: the window options and the stored mode; single shot survives the mode's selection,
  // which clears it.
  EXPECT_TRUE(run().overlapBox()->isChecked());
  EXPECT_TRUE(run().singleShotBox()->isChecked());
  EXPECT_TRUE(acq().singleShot());
  EXPECT_EQ(w_->scopeControlsPanel()->probeSpin(0)->value(), 10);
  // No wider than the screen holds (the test screen is narrower than the window's minimum).
  const int screenWidth = QGuiApplication::primaryScreen()->availableGeometry().width();
  EXPECT_EQ(w_->size(),
            QSize(std::min(1300, std::max(TF_OneTolvanex::kMinimumWidth, screenWidth)),
                  TF_OneTolvanex::kMinimumHeight));
  EXPECT_FALSE(run().runButton()->isEnabled());
  ASSERT_TRUE(until([&] { return !rec_.of("*SWr").empty(); }));
  // Stage 2 writes the stored device settings 789 + 250 ms after stage 1.
  EXPECT_GE(rec_.of("*SWr")[0].atMs - opened, 400 + 789 + 250);
  EXPECT_EQ(acq().mode(), kModeLAIO);
  ASSERT_TRUE(until([&] { return run().runButton()->isEnabled(); }));
  EXPECT_GE(clock_.nowMs() - opened, 400 + 789 + 800);
  EXPECT_EQ(acq().storedReply().memoryDepth, 2000.0f);
  EXPECT_EQ(rec_.of("*SWr").size(), 1u);
  // The device confirming the stored mode is no new choice of the user's: single shot stays.
  EXPECT_TRUE(acq().singleShot());
  EXPECT_TRUE(run().singleShotBox()->isChecked());
}

TEST_F(RunWindow, RunInScopeModeTakesARecordWhileTheRunStateColoursFollow) {
  boot();
  ColorRef atRecord = 0;
  bool breakShownAtRecord = true;
  counted().onEvent = [&](const char* what) {
    if (std::string(what) != "scope") return;
    atRecord = runningColour();
    breakShownAtRecord = !run().breakButton()->isHidden();
  };
  click(run().singleShotBox());
  ASSERT_TRUE(acq().singleShot());
  click(run().runButton());
  EXPECT_EQ(acq().runState(), RunState::RunQueued);
  EXPECT_EQ(runningColour(), rgbColour(0xFFFF00));
  EXPECT_TRUE(run().runButton()->isHidden());
  EXPECT_FALSE(run().breakButton()->isHidden());
  EXPECT_EQ(run().queuePanel()->text(), QStringLiteral("1"));
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 500));
  EXPECT_EQ(runningColour(), rgbColour(0xFF0000));
  EXPECT_EQ(rec_.of("*RUN").size(), 1u);
  ASSERT_TRUE(until([&] { return counted().scopeFinished == 1; }));
  EXPECT_EQ(atRecord, rgbColour(0x00FF00));
  EXPECT_FALSE(breakShownAtRecord);
  EXPECT_EQ(counted().scopeSamples, std::size_t(acq().storedReply().memoryDepth));
  EXPECT_EQ(acq().runState(), RunState::Idle);
  EXPECT_EQ(runningColour(), buttonFace());
  EXPECT_FALSE(run().runButton()->isHidden());
  EXPECT_TRUE(run().runButton()->isEnabled());
  EXPECT_TRUE(run().breakButton()->isHidden());
  // Single shot: one record only.
  advance(1000);
  EXPECT_EQ(counted().scopeRecords, 1);
  EXPECT_EQ(rec_.of("*RUN").size(), 1u);

  // A depth beyond what the scope keeps: the status line says so as the run starts and after
  // it; a run within the scope's memory takes the note away.
  QLabel* note = w_->linkPanel()->messagePanel();
  EXPECT_TRUE(note->isHidden());
  TSettingsModel& m = w_->settingsModel();
  for (const double depth : {131000.0, 200000.0}) {
    m.memoryDepthRowClicked(depth);
    advance(1000);
    ASSERT_EQ(acq().storedReply().memoryDepth, float(depth));
    click(run().runButton());
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 1000));
    EXPECT_EQ(note->isHidden(), depth == 131000.0) << depth;
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 10000));
  }
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(note->text(), QStringLiteral("The scope's memory holds 131000 samples: of the 200000 "
                                         "samples of this run only the first 131000 are shown "
                                         "and stored."));
  // The trigger in the middle of 262000 samples is sample 131000, one past the part kept.
  m.setTriggerPoint(50);
  m.memoryDepthRowClicked(262000);
  advance(1000);
  ASSERT_EQ(acq().storedReply().triggerPoint, 50.0f);
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 1000));
  EXPECT_TRUE(note->text().endsWith(QStringLiteral(
      "only the first 131000 are shown and stored. The trigger point lies after the stored part.")))
      << note->text().toStdString();
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 15000));
  // Sample 131000 is the first not kept, sample 130999 the last kept.
  EXPECT_TRUE(scopeDepthNote(kModeOSA0, 200000, 65.5).endsWith(text(kTextScopeTriggerCut)));
  EXPECT_FALSE(scopeDepthNote(kModeOSA0, 200000, 65.4995).endsWith(text(kTextScopeTriggerCut)));
  EXPECT_FALSE(scopeDepthNote(kModeOSA0, 262000, 49.9).contains(text(kTextScopeTriggerCut)));
  setLanguageIndex(kLanguageGerman);
  EXPECT_TRUE(scopeDepthNote(kModeOSA0, 262000, 50)
                  .endsWith(QStringLiteral(
                      "gespeichert. Der Triggerpunkt liegt hinter dem gespeicherten Teil.")));
  setLanguageIndex(kLanguageEnglish);
  m.memoryDepthRowClicked(1000);
  advance(1000);
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 1000));
  EXPECT_TRUE(note->isHidden());
}

TEST_F(RunWindow, StopEndsAContinuousRunInIdle) {
  boot();
  click(run().overlapBox());
  click(run().runButton());
  ASSERT_TRUE(until([&] { return counted().scopeRecords >= 2; }));
  click(run().breakButton());
  EXPECT_EQ(rec_.writes.back().word(), "ZZZZ");
  EXPECT_FALSE(acq().singleShot());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 2000));
  const int records = counted().scopeRecords;
  const std::size_t runs = rec_.of("*RUN").size();
  advance(1000);
  EXPECT_EQ(counted().scopeRecords, records);
  EXPECT_EQ(rec_.of("*RUN").size(), runs);
  EXPECT_FALSE(run().runButton()->isHidden());
  EXPECT_TRUE(run().breakButton()->isHidden());
  EXPECT_TRUE(acq().controlsEnabled());
  EXPECT_TRUE(w_->scopeControlsPanel()->amplitudeTrackbar(0)->isEnabled());

  // From the keyboard: Space on RUN starts, a second Space stops, as two clicks do. The focus
  // stays on the spot the two buttons share, so it never lands on another control.
  w_->show();
  w_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get()));
  run().runButton()->setFocus(Qt::TabFocusReason);
  QWindow* win = w_->windowHandle();
  QTest::keyClick(win, Qt::Key_Space);
  ASSERT_TRUE(until([&] { return counted().scopeRecords >= records + 1; }));
  ASSERT_FALSE(run().breakButton()->isHidden());
  EXPECT_TRUE(run().breakButton()->hasFocus());
  const std::size_t stops = rec_.of("ZZZZ").size();
  QTest::keyClick(win, Qt::Key_Space);
  EXPECT_EQ(rec_.of("ZZZZ").size(), stops + 1);
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 2000));
  EXPECT_TRUE(run().runButton()->hasFocus());
  w_->hide();
}

// RUN and STOP share one spot, and every press there counts, the second of a double click
// too: the user's last press is what the device does. A double click on RUN starts and stops
// (a user who stops at once means it; the run already sent ends at once), one on STOP stops
// and starts again. While a continuous run goes on RUN never comes into sight, not even while
// a record is drawn.
TEST_F(RunWindow, EveryPressOnTheSharedSpotCountsTheLastOneWins) {
  boot();
  // RUN in sight whenever the window lets events run (a user sees and clicks only then).
  int runSeen = 0;
  bool counting = false;
  const QMetaObject::Connection seen =
      QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                       [&] { runSeen += counting && !run().runButton()->isHidden(); });
  QWindow* win = w_->windowHandle();
  const QPoint spot = run().runButton()->mapTo(w_.get(), run().runButton()->rect().center());
  ASSERT_EQ(run().childAt(run().mapFrom(w_.get(), spot)), run().runButton());

  // Both presses of a double click at one instant: the queued run is taken back unsent.
  QTest::mouseDClick(win, Qt::LeftButton, {}, spot);
  EXPECT_EQ(acq().runState(), RunState::Idle);
  EXPECT_EQ(rec_.of("ZZZZ").size(), 1u);
  advance(2000);
  EXPECT_TRUE(rec_.of("*RUN").empty());
  EXPECT_FALSE(run().runButton()->isHidden());
  // A hand's double click, its presses 150 ms apart: the run is on the wire before the second
  // press, which lands on STOP and stops it. What the device measured by then still comes in;
  // nothing starts again.
  QTest::mouseClick(win, Qt::LeftButton, {}, spot);
  advance(150);
  ASSERT_EQ(rec_.of("*RUN").size(), 1u);
  ASSERT_FALSE(run().breakButton()->isHidden());
  QTest::mouseClick(win, Qt::LeftButton, {}, spot);
  EXPECT_EQ(rec_.of("ZZZZ").size(), 2u);
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 5000));
  advance(2000);
  EXPECT_EQ(rec_.of("*RUN").size(), 1u);
  EXPECT_EQ(rec_.of("ZZZZ").size(), 2u);
  EXPECT_FALSE(run().runButton()->isHidden());
  const int strayRecords = counted().scopeRecords;
  QTest::mouseClick(win, Qt::LeftButton, {}, spot);
  EXPECT_EQ(acq().runState(), RunState::RunQueued);
  counting = true;
  ASSERT_TRUE(until([&] { return counted().scopeRecords >= strayRecords + 3; }, 10000));
  counting = false;
  QObject::disconnect(seen);
  EXPECT_EQ(runSeen, 0);
  EXPECT_EQ(rec_.of("ZZZZ").size(), 2u);

  // STOP the run, then a double click on STOP the moment a queued run is taken back: RUN
  // shows at once under the second press, which starts the run again.
  QTest::mouseClick(win, Qt::LeftButton, {}, spot);
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 5000));
  ASSERT_FALSE(run().runButton()->isHidden());
  QTest::mouseClick(win, Qt::LeftButton, {}, spot);
  ASSERT_EQ(acq().runState(), RunState::RunQueued);
  const std::size_t stops = rec_.of("ZZZZ").size();
  const std::size_t runsBefore = rec_.of("*RUN").size();
  QTest::mouseDClick(win, Qt::LeftButton, {}, spot);
  EXPECT_EQ(rec_.of("ZZZZ").size(), stops + 1);
  EXPECT_EQ(acq().runState(), RunState::RunQueued);
  EXPECT_FALSE(run().breakButton()->isHidden());
  ASSERT_TRUE(until([&] { return rec_.of("*RUN").size() == runsBefore + 1; }, 1000));
  // And a double click on STOP of a run under way: stopped, and started again once the
  // record the device had begun is in.
  QTest::mouseDClick(win, Qt::LeftButton, {}, spot);
  EXPECT_EQ(rec_.of("ZZZZ").size(), stops + 2);
  EXPECT_TRUE(acq().startAfterStop());
  EXPECT_FALSE(run().breakButton()->isHidden());
  ASSERT_TRUE(until([&] { return rec_.of("*RUN").size() == runsBefore + 2; }, 5000));
  EXPECT_EQ(acq().runState(), RunState::Measuring);
  QTest::mouseClick(win, Qt::LeftButton, {}, spot);
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 5000));
  advance(2000);
  EXPECT_EQ(rec_.of("*RUN").size(), runsBefore + 2);
  EXPECT_EQ(rec_.of("ZZZZ").size(), stops + 3);
  EXPECT_FALSE(run().runButton()->isHidden());
}

// STOP while a long record crosses a slow link: the run-state panel says at once that the
// window stops and how much of the record has come, and RUN is offered in STOP's place, for the
// run to begin once the stop is done. Taken, the panel says the window restarts and STOP takes
// that back; neither press sends anything while the record still comes. The panel says
// "Running" again once the record is in and the run has ended.
TEST_F(RunWindow, StopDuringALongRecordShowsStoppingUntilTheRecordIsIn) {
  boot();
  acq().desired().memoryDepth = 100000;
  acq().requestSettingsWrite();
  advance(1000);
  ASSERT_EQ(acq().storedReply().memoryDepth, 100000.0f);
  sim_.setLinkRate(LinkRate{});
  click(run().singleShotBox());
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }));
  advance(1000);
  click(run().breakButton());
  ASSERT_EQ(rec_.writes.back().word(), "ZZZZ");
  const std::size_t writes = rec_.writes.size();
  EXPECT_TRUE(run().runningPanel()->text().startsWith(QStringLiteral("Stopping ")));
  EXPECT_TRUE(run().runningPanel()->text().endsWith(QStringLiteral(" %")));
  EXPECT_EQ(run().runningPanel()->toolTip(), hintText(kTextStoppingHint));
  EXPECT_TRUE(run().breakButton()->isHidden());
  EXPECT_FALSE(run().runButton()->isHidden());
  EXPECT_TRUE(run().runButton()->isEnabled());
  // RUN there begins its run only once the stop is done, and says so.
  EXPECT_EQ(run().runButton()->toolTip(), hintText(kTextStoppingHint));
  const QString early = run().runningPanel()->text();
  advance(3000);
  EXPECT_NE(run().runningPanel()->text(), early);  // the share that has come grows
  click(run().runButton());
  EXPECT_TRUE(run().runningPanel()->text().startsWith(QStringLiteral("Restarting ")));
  EXPECT_EQ(run().runningPanel()->toolTip(), hintText(kTextRestartingHint));
  EXPECT_FALSE(run().breakButton()->isHidden());
  EXPECT_TRUE(run().breakButton()->isEnabled());
  EXPECT_EQ(run().breakButton()->toolTip(), hintText(kTextRestartTakenBackHint));
  click(run().breakButton());
  acq().stopClicked();
  EXPECT_EQ(rec_.writes.size(), writes);
  EXPECT_TRUE(run().runningPanel()->text().startsWith(QStringLiteral("Stopping ")));
  EXPECT_FALSE(run().runButton()->isHidden());
  // German while it stops: the caption follows the language.
  setLanguageIndex(kLanguageGerman);
  run().applyTexts();
  EXPECT_TRUE(run().runningPanel()->text().startsWith(QStringLiteral("Stoppt ")));
  setLanguageIndex(kLanguageEnglish);
  run().applyTexts();
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 20000));
  EXPECT_EQ(run().runningPanel()->text(), text(89));
  EXPECT_TRUE(run().breakButton()->isHidden());
  EXPECT_FALSE(run().runButton()->isHidden());
  EXPECT_EQ(counted().scopeRecords, 0);
  EXPECT_EQ(rec_.writes.size(), writes);
  EXPECT_EQ(run().runButton()->toolTip(), hintText(86));
  // A device gone quiet on the stop: the STOP shown for a start kept meanwhile says that it
  // sends the stop once more. A voltmeter's stop, not shown as stopping, still shows the start.
  StopShow quiet;
  quiet.on = quiet.pending = quiet.startAfter = quiet.stopAgain = true;
  run().showStop(quiet);
  EXPECT_TRUE(run().breakButton()->toolTip().endsWith(hintText(kTextStopAgainHint)));
  quiet.stopAgain = false;
  run().showStop(quiet);
  EXPECT_EQ(run().breakButton()->toolTip(), hintText(kTextRestartTakenBackHint));
  StopShow voltmeter;
  voltmeter.pending = voltmeter.startAfter = true;
  run().showStop(voltmeter);
  EXPECT_EQ(run().runningPanel()->text(), text(kTextRestarting));
  run().showStop(StopShow{});
  EXPECT_EQ(run().runningPanel()->text(), text(89));
}

// The user's quick presses on the shared spot during a record of 131000 samples (1.31 s
// measured, about 1.3 s in transfer, saved as CSV): START, STOP 0.6 s later, then one or two
// more pairs whose presses come within the double-click interval (the second of each pair is a
// double click for Qt). Four presses leave the device stopped with one run and one stop sent,
// five start it once more when the stopped record is in.
TEST_F(RunWindow, QuickPressesDuringALongRecordEndAsTheLastPress) {
  boot();
  w_->findChild<TFilePanel*>()->setAutoSaveMode(1);
  acq().desired().sampleTime = 1e-5f;
  acq().desired().memoryDepth = 131000;
  acq().requestSettingsWrite();
  advance(1000);
  ASSERT_EQ(acq().storedReply().memoryDepth, 131000.0f);
  sim_.setLinkRate({4096, 10000});
  QWindow* win = w_->windowHandle();
  const QPoint spot = run().runButton()->mapTo(w_.get(), run().runButton()->rect().center());
  for (const int presses : {4, 5}) {
    SCOPED_TRACE(presses);
    const std::size_t runs = rec_.of("*RUN").size(), stops = rec_.of("ZZZZ").size();
    const int records = counted().scopeRecords;
    QTest::mouseClick(win, Qt::LeftButton, {}, spot);
    ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 1000));
    advance(600);
    QTest::mouseClick(win, Qt::LeftButton, {}, spot);
    advance(100);
    QTest::mouseDClick(win, Qt::LeftButton, {}, spot);  // presses 3 and 4
    if (presses == 5) {
      advance(100);
      QTest::mouseClick(win, Qt::LeftButton, {}, spot);
    }
    EXPECT_EQ(rec_.of("ZZZZ").size(), stops + 1);
    EXPECT_EQ(acq().startAfterStop(), presses == 5);
    // The spot offers what the next press asks for.
    EXPECT_EQ(run().runButton()->isHidden(), presses == 5);
    EXPECT_EQ(run().breakButton()->isHidden(), presses == 4);
    ASSERT_TRUE(until([&] { return counted().scopeRecords == records + 1; }, 10000));
    advance(presses == 5 ? 500 : 5000);
    EXPECT_EQ(rec_.of("*RUN").size(), runs + (presses == 5 ? 2 : 1));
    EXPECT_EQ(rec_.of("ZZZZ").size(), stops + 1);
    EXPECT_EQ(acq().runState(), presses == 5 ? RunState::Measuring : RunState::Idle);
    EXPECT_EQ(run().breakButton()->isHidden(), presses == 4);
    if (presses == 5) {
      QTest::mouseClick(win, Qt::LeftButton, {}, spot);
      ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 10000));
    }
  }
}

// The same user's presses as they reached a busy window: START, STOP 0.6 s later, the third
// press while the stopped record is saved as CSV (the steps serve events), the fourth just after
// those steps. Four presses: the device ends stopped, and whatever went out after the last ZZZZ,
// no run.
TEST_F(RunWindow, PressesThatReachABusyWindowLateEndAsTheLastPress) {
  boot();
  w_->findChild<TFilePanel*>()->setAutoSaveMode(1);
  acq().desired().sampleTime = 1e-5f;
  acq().desired().memoryDepth = 131000;
  acq().requestSettingsWrite();
  advance(1000);
  ASSERT_EQ(acq().storedReply().memoryDepth, 131000.0f);
  sim_.setLinkRate({4096, 10000});
  const QPoint spot = run().runButton()->geometry().center();
  const auto clickSpot = [&] {
    auto* b = qobject_cast<QAbstractButton*>(run().childAt(spot));
    ASSERT_NE(b, nullptr);
    click(b);
  };
  const int records = counted().scopeRecords;
  clickSpot();
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 1000));
  advance(600);
  clickSpot();
  ASSERT_EQ(rec_.of("ZZZZ").size(), 1u);
  bool third = false;
  counted().onEvent = [&](const char* what) {
    if (third || std::string(what) != "scope") return;
    third = true;
    clickSpot();
  };
  ASSERT_TRUE(until([&] { return third && !acq().recordStepGoing(); }, 10000));
  counted().onEvent = nullptr;
  clickSpot();
  advance(5000);
  // The stopped record is kept (and the part of the run the fourth press stopped, if any).
  EXPECT_GE(counted().scopeRecords, records + 1);
  EXPECT_EQ(acq().runState(), RunState::Idle);
  std::size_t lastStop = 0;
  for (std::size_t i = 0; i < rec_.writes.size(); ++i)
    if (rec_.writes[i].word() == "ZZZZ") lastStop = i;
  for (std::size_t i = lastStop; i < rec_.writes.size(); ++i)
    EXPECT_NE(rec_.writes[i].word(), "*RUN");
  EXPECT_FALSE(run().runButton()->isHidden());
}

// The analog logger asked for 100 us on a link that carries no such stream: the device takes
// 200 us, and the panel, the highlighted table row and the next write all say 200 us, while the
// line under the panels tells the user what became of the choice until another mode is chosen.
TEST_F(RunWindow, ALoggerSampleTimeTheDeviceChangesIsShownAgreeingAndNamed) {
  sim_.setLinkRate(LinkRate{});
  boot();
  TSettingsModel& m = w_->settingsModel();
  m.modeChosen(5);  // DLA0
  ASSERT_TRUE(until([&] { return acq().mode() == kModeDLA0; }));
  advance(1500);
  m.sampleTimeRowClicked(100);
  advance(1500);
  EXPECT_EQ(acq().storedReply().sampleTime, 2e-4f);
  EXPECT_EQ(acq().desired().sampleTime, 2e-4f);
  EXPECT_EQ(m.display().samplTimPos, 7);  // the 200 us row
  EXPECT_TRUE(m.display().samplTim.startsWith(QStringLiteral("200 ")));
  QLabel* note = w_->linkPanel()->messagePanel();
  EXPECT_FALSE(note->isHidden());
  EXPECT_TRUE(note->text().startsWith(QStringLiteral("The device took the sample time 200 ")))
      << note->text().toStdString();
  m.modeChosen(6);  // LAIO
  ASSERT_TRUE(until([&] { return acq().mode() == kModeLAIO; }));
  EXPECT_TRUE(note->isHidden());
  // The logger's choice stays with the loggers: the logic analyser samples every 10 us again, as
  // before the logger, and the panel and the highlighted row say so, with nothing more to tell.
  advance(1500);
  EXPECT_EQ(acq().storedReply().sampleTime, 1e-5f);
  EXPECT_EQ(m.display().samplTimPos, 3);
  EXPECT_TRUE(note->isHidden());
  // Back in the logger its own 200 us returns, without a note: the device took it as asked.
  m.modeChosen(5);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeDLA0; }));
  advance(1500);
  EXPECT_EQ(acq().storedReply().sampleTime, 2e-4f);
  EXPECT_EQ(m.display().samplTimPos, 7);
  EXPECT_TRUE(note->isHidden());

  // A logger run tells how many samples have come so far: its stream goes to a file, nothing
  // else in the window moves while it runs.
  std::int64_t bytes = 0;
  counted().onLoggerChunk = [&](std::size_t n) { bytes += std::int64_t(n); };
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 1000));
  advance(2000);
  ASSERT_GT(bytes, 4 * 1000);  // 200 us: some 5000 samples a second
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(note->text(), QStringLiteral("Data logger: %1 samples received").arg(bytes / 4));
  click(run().breakButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 3000));
  // The end marker is no sample.
  EXPECT_EQ(note->text(), QStringLiteral("Data logger: %1 samples received").arg((bytes - 16) / 4));
  // The note follows the language.
  setLanguageIndex(kLanguageGerman);
  w_->applyTexts();
  EXPECT_EQ(note->text(), QStringLiteral("Datenlogger: %1 Samples empfangen").arg((bytes - 16) / 4));
  setLanguageIndex(kLanguageEnglish);
  w_->applyTexts();
  m.modeChosen(4);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeOSA0; }));
  EXPECT_TRUE(note->isHidden());
}

// The user aims at the spot where STOP shows during a continuous run of long records with
// automatic saving, at each moment of the cycle: while the record streams in, while a finished
// record is saved and drawn (with and without overlap). Whatever the moment, that click stops:
// "ZZZZ" goes out and no run follows it; the records complete by then are kept, and so is the
// one the device was measuring or sending (streaming, or started by the overlap run).
TEST_F(RunWindow, AClickOnTheStopSpotStopsAContinuousRunAtEveryMoment) {
  boot();
  w_->findChild<TFilePanel*>()->setAutoSaveMode(1);
  acq().desired().memoryDepth = 100000;
  acq().requestSettingsWrite();
  advance(1500);
  ASSERT_EQ(acq().storedReply().memoryDepth, 100000);
  const QPoint spot = run().runButton()->geometry().center();
  const auto clickSpot = [&] {
    auto* b = qobject_cast<QAbstractButton*>(run().childAt(spot));
    ASSERT_NE(b, nullptr);
    click(b);
  };
  const auto csvFiles = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path().toStdString()))
      n += e.path().extension() == ".CSV";
    return n;
  };
  enum class Moment { Streaming, SavingNoOverlap, DrawingAfterOverlapRun };
  for (const Moment m : {Moment::Streaming, Moment::SavingNoOverlap,
                         Moment::DrawingAfterOverlapRun}) {
    SCOPED_TRACE(int(m));
    if (acq().overlap() != (m == Moment::DrawingAfterOverlapRun)) click(run().overlapBox());
    const int files0 = csvFiles();
    const int records0 = counted().scopeRecords;
    const std::size_t stops0 = rec_.of("ZZZZ").size();
    bool clicked = false;
    int recordsAtClick = -1;
    counted().onEvent = [&](const char* what) {
      const bool want = (m == Moment::SavingNoOverlap && std::string(what) == "scope") ||
                        (m == Moment::DrawingAfterOverlapRun && std::string(what) == "finish");
      if (clicked || !want || counted().scopeRecords < records0 + 2) return;
      clicked = true;
      recordsAtClick = counted().scopeRecords;
      clickSpot();
    };
    click(run().runButton());
    if (m == Moment::Streaming) {
      ASSERT_TRUE(until([&] { return counted().scopeRecords >= records0 + 2; }, 10000));
      ASSERT_TRUE(until([&] { return w_->link().accumulationFill() > 40000; }, 10000));
      clicked = true;
      recordsAtClick = counted().scopeRecords;
      clickSpot();
    } else {
      ASSERT_TRUE(until([&] { return clicked; }, 10000));
    }
    // Two more presses while the stopped run's last record is saved and drawn: a START that
    // waits for the stop to end, and a STOP that takes it back. Nothing is sent for them.
    counted().onEvent = [&](const char* what) {
      if (std::string(what) != "scope") return;
      clickSpot();
      EXPECT_TRUE(acq().startAfterStop());
      clickSpot();
      EXPECT_FALSE(acq().startAfterStop());
    };
    ASSERT_EQ(rec_.of("ZZZZ").size(), stops0 + 1);
    const std::size_t stopAt = rec_.writes.size();
    advance(3000);
    counted().onEvent = nullptr;
    EXPECT_EQ(acq().runState(), RunState::Idle);
    for (std::size_t i = stopAt; i < rec_.writes.size(); ++i) {
      EXPECT_NE(rec_.writes[i].word(), "*RUN");
      EXPECT_NE(rec_.writes[i].word(), "ZZZZ");
    }
    const int inFlight = m == Moment::SavingNoOverlap ? 0 : 1;
    EXPECT_EQ(counted().scopeRecords, recordsAtClick + inFlight);
    EXPECT_EQ(csvFiles() - files0, recordsAtClick + inFlight - records0);
    EXPECT_FALSE(run().runButton()->isHidden());
    EXPECT_TRUE(run().breakButton()->isHidden());
  }
}

TEST_F(RunWindow, AmplitudeTrackbarStepGivesOneSettingsWrite250msLater) {
  boot();
  rec_.writes.clear();
  QSlider* tb = w_->scopeControlsPanel()->amplitudeTrackbar(0);
  tb->setFocus();
  const std::int64_t at = clock_.nowMs();
  QTest::keyClick(tb, Qt::Key_Left);
  ASSERT_TRUE(until([&] { return !rec_.of("*SWr").empty(); }, 1000));
  const auto swr = rec_.of("*SWr");
  EXPECT_GE(swr[0].atMs - at, 250);
  EXPECT_LT(swr[0].atMs - at, 250 + 400);
  advance(1000);
  EXPECT_EQ(rec_.of("*SWr").size(), 1u);
  EXPECT_FLOAT_EQ(acq().storedReply().amplC0, 5.0f);
}

TEST_F(RunWindow, ControlsDuringARunSendNoSettingsWrite) {
  boot();
  rec_.writes.clear();
  click(run().singleShotBox());
  click(run().runButton());
  // Locked while queued and while measuring: neither a key on the trackbar nor the model's
  // handler reaches the device.
  QSlider* tb = w_->scopeControlsPanel()->amplitudeTrackbar(0);
  QTest::keyClick(tb, Qt::Key_Left);
  w_->settingsModel().amplitudeTrackbarMoved(0, 2);
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 500));
  w_->settingsModel().amplitudeTrackbarMoved(1, 1);
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }));
  advance(1000);
  EXPECT_TRUE(rec_.of("*SWr").empty());
  EXPECT_FLOAT_EQ(acq().storedReply().amplC0, 10.0f);
}

TEST_F(RunWindow, CloseQueryStopsTheDeviceAndReleasesTheHandleOnce) {
  boot();
  int stores = 0;
  w_->setCloseSteps([&] { ++stores; });
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 500));
  EXPECT_TRUE(w_->closeQuery());
  EXPECT_EQ(rec_.writes.back().word(), "ZZZZ");
  EXPECT_EQ(stores, 1);
  EXPECT_FALSE(w_->link().isOpen());
  EXPECT_EQ(sim_.openHandles(), 0);
  const int queries = sim_.calls(TSimulatedDriver::Call::QueueStatus);
  advance(2000);
  // No polling of a released handle, and a second close query changes nothing.
  EXPECT_EQ(sim_.calls(TSimulatedDriver::Call::QueueStatus), queries);
  const std::size_t writes = rec_.writes.size();
  EXPECT_TRUE(w_->closeQuery());
  EXPECT_EQ(rec_.writes.size(), writes);
  EXPECT_EQ(stores, 1);
  EXPECT_EQ(sim_.calls(TSimulatedDriver::Call::Close), 1);
}

// The user's close hides the window, which the main frame's list shows again: it must still
// reach its device, whether it was closed running or idle.
TEST_F(RunWindow, WindowClosedByTheUserAndShownAgainStillDrivesItsDevice) {
  boot();
  int stores = 0;
  w_->setCloseSteps([&] { ++stores; });
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 500));
  EXPECT_TRUE(w_->close());
  EXPECT_FALSE(w_->isVisible());
  EXPECT_EQ(rec_.writes.back().word(), "ZZZZ");
  EXPECT_EQ(stores, 1);
  EXPECT_TRUE(w_->link().isOpen());
  // The stopped run ends while the window is hidden.
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle && !acq().stopping(); }));
  w_->show();
  QApplication::processEvents();
  EXPECT_FALSE(run().runButton()->isHidden());
  EXPECT_TRUE(run().runButton()->isEnabled());
  EXPECT_TRUE(acq().controlsEnabled());

  // Closed idle: the choice of single shot stays.
  click(run().singleShotBox());
  EXPECT_TRUE(w_->close());
  EXPECT_EQ(stores, 2);
  EXPECT_TRUE(acq().singleShot());
  advance(1000);
  w_->show();
  QApplication::processEvents();
  const std::size_t runs = rec_.of("*RUN").size();
  click(run().runButton());
  ASSERT_TRUE(until([&] { return rec_.of("*RUN").size() == runs + 1; }, 1000));
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 20000));
  EXPECT_EQ(acq().lastStamp().run, acq().runsWritten());

  // A member of a multi-device run only hides: the run is the multi-device window's to end.
  w_->show();
  w_->setMultiRegistered(true);
  bool multiRun = true;
  w_->setMultiRunQuery([&] { return multiRun; });
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 500));
  const std::size_t stops = rec_.of("ZZZZ").size();
  EXPECT_TRUE(w_->close());
  EXPECT_FALSE(w_->isVisible());
  EXPECT_EQ(rec_.of("ZZZZ").size(), stops);
  // Registered, but with no multi-device run going, the run is the window's own: it stops.
  multiRun = false;
  w_->show();
  EXPECT_TRUE(w_->close());
  EXPECT_GT(rec_.of("ZZZZ").size(), stops);
  w_->setMultiRunQuery(nullptr);
}

// A continuous run closed between two records (in the record steps, where events run) stops
// there: no further run command reaches the device.
TEST_F(RunWindow, WindowClosedByTheUserBetweenTwoRecordsEndsTheContinuousRun) {
  boot();
  bool closed = false;
  counted().onEvent = [&](const char* what) {
    if (std::string(what) == "finish" && !closed) closed = w_->close();
  };
  click(run().runButton());
  ASSERT_TRUE(until([&] { return closed; }));
  const std::size_t runs = rec_.of("*RUN").size();
  advance(3000);
  EXPECT_EQ(rec_.of("*RUN").size(), runs);
  EXPECT_EQ(acq().runState(), RunState::Idle);
  EXPECT_TRUE(w_->link().isOpen());
}

// At shut-down every device is stopped before any logger's end is waited for, and one bounded
// wait serves them all: a silent device holds the shut-down up for the bound at most, and every
// run's stream is converted.
TEST_F(RunWindow, ShutDownStopsEveryDeviceFirstAndWaitsForTheLoggersTogether) {
  TSimulatedDriver sim(2, clock_);
  sim.setLinkRate({4096, 1000});
  RecordingDriver rec(sim, clock_);
  struct : IQuestionSink {
    bool askYesNo(const QString&) override { return false; }
  } no;
  TTolvanexFormsList forms;
  setBootingFlag(false);
  std::vector<std::unique_ptr<TF_OneTolvanex>> ws;
  for (int k = 0; k < 2; ++k) {
    ws.push_back(std::make_unique<TF_OneTolvanex>(
        rec, nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); }));
    TF_OneTolvanex& w = *ws.back();
    w.setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(k + 1)));
    w.settingsModel().setQuestionSink(&no);
    w.setCloseWait([this](int ms) { advance(ms); });
    ASSERT_EQ(w.open(), 2);
    forms.add(&w);
  }
  advance(1500);
  for (auto& w : ws) {
    w->settingsModel().modeChosen(5);  // DLA0
    w->filePanel()->setAutoSaveMode(1);
  }
  const auto all = [&](const std::function<bool(TAcquisition&)>& p) {
    return p(ws[0]->acquisition()) && p(ws[1]->acquisition());
  };
  ASSERT_TRUE(until([&] { return all([](TAcquisition& a) { return a.mode() == kModeDLA0; }); }));
  advance(1500);
  for (auto& w : ws) w->acquisition().runClicked();
  ASSERT_TRUE(until(
      [&] { return all([](TAcquisition& a) { return a.runState() == RunState::Measuring; }); }));
  advance(2000);
  sim.device(1).setSilent(true);
  rec.writes.clear();
  const std::int64_t closedAt = clock_.nowMs();
  forms.shutDown();
  EXPECT_LE(clock_.nowMs() - closedAt, TF_OneTolvanex::kLoggerEndWaitMs);
  const auto stops = rec.of("ZZZZ");
  ASSERT_EQ(stops.size(), 2u);
  EXPECT_EQ(stops[0].atMs, closedAt);
  EXPECT_EQ(stops[1].atMs, closedAt);
  EXPECT_EQ(forms.count(), 0);
  for (auto& w : ws) {
    EXPECT_FALSE(w->link().isOpen());
    int csv = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(w->deviceFolder()))
      csv += e.path().extension() == ".CSV" && e.path().stem().string().ends_with("_DLA0");
    EXPECT_EQ(csv, 1) << w->serialNumber().toStdString();
  }
}

TEST_F(RunWindow, ClosingWhileARecordIsProcessedEndsThePolling) {
  boot();
  // The record steps let window events run; a close arriving there releases the link under
  // the running tick, which then must not start polling again.
  counted().onEvent = [&](const char* what) {
    if (std::string(what) == "scope") w_->closeQuery();
  };
  click(run().runButton());
  ASSERT_TRUE(until([&] { return counted().scopeRecords == 1; }));
  EXPECT_FALSE(w_->link().isOpen());
  const int queries = sim_.calls(TSimulatedDriver::Call::QueueStatus);
  advance(2000);
  EXPECT_EQ(sim_.calls(TSimulatedDriver::Call::QueueStatus), queries);
  EXPECT_EQ(counted().scopeRecords, 1);
}

TEST_F(RunWindow, CloseQueryOfAnUnpluggedOrNeverOpenedDeviceFinishes) {
  boot();
  sim_.disconnect(0);
  advance(500);
  EXPECT_TRUE(w_->closeQuery());
  EXPECT_FALSE(w_->link().isOpen());

  // A window whose open failed stores nothing (it would overwrite the stored settings).
  TSimulatedDriver none(0, clock_);
  TF_OneTolvanex w(none, nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
  int stores = 0;
  w.setCloseSteps([&] { ++stores; });
  w.setSerialNumber(QStringLiteral("NOPE"));
  EXPECT_NE(w.open(), 0);
  EXPECT_TRUE(w.closeQuery());
  EXPECT_EQ(stores, 0);
  EXPECT_EQ(none.calls(TSimulatedDriver::Call::Write), 0);
}

TEST_F(RunWindow, ModeLayoutSwitchesSheetAndRunBoxes) {
  boot();
  ModeCode hooked = 0;
  w_->setModeLayoutHook([&](ModeCode m, const ModeLayout&) { hooked = m; });
  QComboBox* modes = w_->scopeControlsPanel()->modes();
  // As a user choice from the drop-down list does.
  const auto choose = [&](ModeCode m) {
    modes->setCurrentIndex(modeIndex(m));
    emit modes->activated(modeIndex(m));
  };
  choose(kModeVMD0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeVMD0; }, 1500));
  EXPECT_EQ(hooked, kModeVMD0);
  EXPECT_EQ(w_->pageControl()->currentWidget()->objectName(), "TSH_VMXY_DataImage");
  EXPECT_TRUE(run().singleShotBox()->isHidden());
  EXPECT_TRUE(run().overlapBox()->isHidden());
  choose(kModeOSA0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeOSA0; }, 1500));
  EXPECT_EQ(w_->pageControl()->currentWidget()->objectName(), "TSH_Scope_Controls");
  EXPECT_FALSE(run().singleShotBox()->isHidden());
  // Registered with a multi-device window, the scope mode leaves the sheet alone.
  w_->setMultiRegistered(true);
  choose(kModeVMA0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeVMA0; }, 1500));
  w_->pageControl()->setCurrentIndex(3);
  choose(kModeOSA0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeOSA0; }, 1500));
  EXPECT_EQ(w_->pageControl()->currentIndex(), 3);
}

TEST_F(RunWindow, DrawingProgressMessagesDriveTheBar) {
  QProgressBar* bar = run().drawProgress();
  EXPECT_TRUE(bar->isHidden());
  TProgressEvent drawing(40);
  QCoreApplication::sendEvent(w_.get(), &drawing);
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->value(), 40);
  TProgressEvent done(TProgressEvent::kFinished);
  QCoreApplication::sendEvent(w_.get(), &done);
  EXPECT_TRUE(bar->isHidden());
  // A posted message, as the plot sends it, takes the same way.
  QCoreApplication::postEvent(w_.get(), new TProgressEvent(100));
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), 100);
  EXPECT_FALSE(bar->isHidden());
}

// What a running window shows per cycle (run state, RUN and STOP taking turns, the queue
// count, the drawing bar, the stop share, the intermediate file numbers) must not lay out the
// whole window again: with eight windows that was a stall of the event loop per record.
TEST_F(RunWindow, ACycleOfAContinuousRunDoesNotLayOutTheWindow) {
  boot();
  w_->findChild<TFilePanel*>()->setAutoSaveMode(1);
  click(run().overlapBox());
  click(run().runButton());
  ASSERT_TRUE(until([&] { return counted().scopeRecords >= 2; }));
  struct LayoutCount : QObject {
    int n = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::LayoutRequest) ++n;
      return false;
    }
  } count;
  const auto settle = [] {
    for (int i = 0; i < 6; ++i) QApplication::processEvents();
  };
  settle();
  w_->installEventFilter(&count);
  const int before = counted().scopeRecords;
  for (int i = 0; i < 40 && counted().scopeRecords < before + 4; ++i) {
    advance(50);
    settle();
  }
  EXPECT_GE(counted().scopeRecords, before + 4);
  // The drawing bar comes and goes, the queue count runs to two digits.
  for (int p : {10, 60, TProgressEvent::kFinished, 100, TProgressEvent::kFinished}) {
    TProgressEvent drawing(p);
    QCoreApplication::sendEvent(w_.get(), &drawing);
    settle();
  }
  run().showQueueCount(12);
  settle();
  run().showQueueCount(0);
  // Stopping, with the share of the record that has come.
  for (int share : {0, 7, 58, 100}) {
    run().showStop({true, share, false});
    settle();
  }
  run().showStop({});
  settle();
  EXPECT_EQ(count.n, 0);
  // The count is not blind: a change of the bar's own make-up does lay it out.
  run().showSingleOverlapBoxes(false);
  settle();
  EXPECT_GT(count.n, 0);
  w_->removeEventFilter(&count);
  click(run().breakButton());
}

TEST_F(RunWindow, LanguageChangeRenewsTheRunControlTexts) {
  EXPECT_EQ(run().runButton()->text(), QStringLiteral("RUN"));
  EXPECT_EQ(run().breakButton()->text(), QStringLiteral("BREAK"));
  setLanguageIndex(kLanguageGerman);
  w_->applyTexts();
  EXPECT_EQ(run().runButton()->text(), QStringLiteral("START"));
  EXPECT_EQ(run().breakButton()->text(), QStringLiteral("STOP"));
  EXPECT_EQ(run().runningPanel()->text(), QStringLiteral("Läuft"));
  EXPECT_EQ(w_->scopeControlsPanel()->modes()->itemText(4),
            QStringLiteral("Speicheroszilloskop, Analogspannung"));
  EXPECT_EQ(run().singleShotBox()->text(), QStringLiteral("Single"));
}

TEST_F(RunWindow, IoStatusClickCoversTheDebugControls) {
  TOneTolvanexLinkPanel* lp = w_->linkPanel();
  lp->setDebugCovered(false);
  QTest::mouseClick(w_->scopeControlsPanel()->gpioPanel()->ioStatus(), Qt::LeftButton);
  EXPECT_TRUE(lp->debugCovered());
}

// At its minimum size the window still has room for what every mode layout needs at least;
// anything larger would be squeezed over its neighbours or cut off.
TEST_F(RunWindow, EveryModeLayoutFitsTheMinimumSize) {
  boot();
  // Static: the window may outlive this test body if an assertion returns early.
  static struct AnswerNo final : IQuestionSink {
    bool askYesNo(const QString&) override { return false; }
  } no;
  w_->settingsModel().setQuestionSink(&no);
  w_->resize(TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
  for (ModeCode m : kModeCodes) {
    SCOPED_TRACE(modeCodeText(m));
    w_->settingsModel().modeChosen(modeIndex(m));
    ASSERT_TRUE(until([&] { return acq().mode() == m; }, 1500));
    // Both sheets a mode may bring to the front.
    for (int page : {0, 1}) {
      w_->pageControl()->setCurrentIndex(page);
      QApplication::processEvents();
      const QSize need = w_->layout()->minimumSize();
      EXPECT_LE(need.width(), TF_OneTolvanex::kMinimumWidth);
      EXPECT_LE(need.height(), TF_OneTolvanex::kMinimumHeight);
    }
    // The settings column scrolls only up and down: its groups must fit its width.
    const auto* parms = w_->findChild<QScrollArea*>(QStringLiteral("SB_Parms"));
    ASSERT_NE(parms, nullptr);
    EXPECT_LE(parms->widget()->minimumSizeHint().width(), parms->viewport()->width());
  }
  w_->settingsModel().setQuestionSink(nullptr);
}

// The wheel over the settings column scrolls it: a slider, spin box or drop-down list under
// the pointer takes the wheel only once it has the focus, so scrolling changes no setting.
TEST_F(RunWindow, WheelOverTheSettingsColumnScrollsItUnlessTheControlHasTheFocus) {
  boot();
  w_->resize(TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
  QApplication::processEvents();
  QScrollBar* bar = w_->findChild<QScrollArea*>(QStringLiteral("SB_Parms"))->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  const auto wheel = [](QWidget* target, int notches) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent e(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &e);
  };
  auto* slider = w_->findChild<QSlider*>(QStringLiteral("TB_TriggerPoint"));
  auto* modes = w_->findChild<QComboBox*>(QStringLiteral("CB_Modes"));
  auto* spin = w_->findChild<QSpinBox*>(QStringLiteral("SE_TrgChan"));
  const int point = slider->value(), mode = modes->currentIndex(), channel = spin->value();
  const std::size_t sent = rec_.writes.size();
  for (QWidget* over :
       {static_cast<QWidget*>(slider), static_cast<QWidget*>(modes), static_cast<QWidget*>(spin)}) {
    bar->setValue(0);
    wheel(over, 1);
    EXPECT_GT(bar->value(), 0) << over->metaObject()->className();
  }
  EXPECT_EQ(slider->value(), point);
  EXPECT_EQ(modes->currentIndex(), mode);
  EXPECT_EQ(spin->value(), channel);
  advance(1000);
  EXPECT_EQ(rec_.writes.size(), sent);
  // Turning the wheel over one never gives it the focus; clicked or tabbed to, it takes it.
  EXPECT_EQ(slider->focusPolicy(), Qt::StrongFocus);
  w_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get()));
  slider->setFocus();
  ASSERT_TRUE(slider->hasFocus());
  const int top = bar->value();
  wheel(slider, 1);
  EXPECT_NE(slider->value(), point);
  EXPECT_EQ(bar->value(), top);
}

// Pictures of the window for a look at its layout (only when a folder is given).
TEST_F(RunWindow, Screenshots) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  boot();
  const auto shoot = [&](const char* name, int width, int height) {
    w_->resize(width, height);
    QApplication::processEvents();
    w_->grab().save(QString::fromLocal8Bit(out) + "/" + name + ".png");
  };
  shoot("osa0_large", 1600, 1000);
  shoot("osa0_1200", 1200, 800);
  shoot("osa0_min", TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
  w_->linkPanel()->setDebugCovered(false);
  click(run().runButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 500));
  shoot("osa0_measuring_debug", 1000, 640);
  click(run().breakButton());
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }));
  // Every mode layout at the largest and the smallest window size. The loggers' short sample
  // time question gets a No instead of a modal dialog.
  // Static: the window may outlive this test body if an assertion returns early.
  static struct AnswerNo final : IQuestionSink {
    bool askYesNo(const QString&) override { return false; }
  } no;
  w_->settingsModel().setQuestionSink(&no);
  for (ModeCode m : kModeCodes) {
    w_->settingsModel().modeChosen(modeIndex(m));
    ASSERT_TRUE(until([&] { return acq().mode() == m; }, 1500));
    advance(500);
    std::string code = modeCodeText(m);
    for (char& c : code) c = char(std::tolower(static_cast<unsigned char>(c)));
    shoot((code + "_large").c_str(), 1600, 1000);
    shoot((code + "_min").c_str(), TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
    if (m != kModeLAIO) continue;
    // The pattern trigger adds the widest rows of the settings column.
    w_->settingsModel().triggerTypeChosen('P');
    advance(1000);
    shoot("laio_pattern_large", 1600, 1000);
    shoot("laio_pattern_min", TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight);
  }
  w_->settingsModel().setQuestionSink(nullptr);
}
