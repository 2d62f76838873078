// The settings model against the real acquisition cycle and a scripted device: debounce,
// reply application, ControlsEnabled, mode layout and the logger rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "device/settingsrecord.h"
#include "test_settings_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

class SettingsModel : public ::testing::Test {
 protected:
  SettingsRig rig;
  TSettingsModel& m = rig.model;
  TAcquisition& acq = rig.acq;
};

TEST(SettingsTables, NearestRowTakesTheFirstOfEquallyNearRows) {
  EXPECT_EQ(nearestRow(kAmplitudeTable, 1.5), 2);  // 1 and 2 are equally near: 1 wins
  EXPECT_EQ(nearestRow(kAmplitudeTable, 100), 6);
  EXPECT_EQ(nearestRow(kAmplitudeTable, -3), 0);
  EXPECT_EQ(nearestRow(kSampleTimeTableUs, 9.8), 3);
  EXPECT_EQ(nearestRow(kSampleTimeTableUs, 99), 6);
  EXPECT_EQ(nearestRow(kMemoryDepthTable, 131000), 10);
  EXPECT_EQ(nearestRow(kMemoryDepthTable, std::nan("")), 0);
}

// A setting from a file goes to the device as the controls offer it; one they offer stays.
TEST(SettingsTables, ALoadedSettingIsLimitedToWhatTheControlsOffer) {
  SettingsRecord r = SettingsRecord::defaults();
  EXPECT_EQ(limitToOffered(r), 0);
  EXPECT_EQ(r, SettingsRecord::defaults());
  // A range the window saved comes back from the file in single precision: nothing replaced.
  r.amplC0 = double(0.2f);
  r.amplC1 = double(0.5f);
  EXPECT_EQ(limitToOffered(r), 0);
  EXPECT_EQ(r.amplC0, double(0.2f));
  r.mode = modeCodeFromText("XXXX");
  r.amplC0 = 3;        // between 2 and 5: the nearer
  r.amplC1 = std::nan("");
  r.memoryDepth = 75000;  // halfway: the first of the two
  r.sampleTime = 0;
  r.triggerPoint = 150;
  r.probeFactorC1 = 500;
  EXPECT_EQ(limitToOffered(r), 7);
  EXPECT_EQ(r.mode, kModeOSA0);
  EXPECT_EQ(r.amplC0, 2.0);
  EXPECT_EQ(r.amplC1, 10.0);
  EXPECT_EQ(r.memoryDepth, 50000.0);
  EXPECT_EQ(r.sampleTime, 1e-6);
  EXPECT_EQ(r.triggerPoint, 100.0);
  EXPECT_EQ(r.probeFactorC1, 100.0);
  // Sample times the device took and reported, between rows, in its single precision: kept.
  for (const float st : {9.9e-5f, 9.8e-6f, 1e-5f, 2.5f}) {
    r.sampleTime = st;
    EXPECT_EQ(limitToOffered(r), 0) << st;
    EXPECT_EQ(r.sampleTime, double(st));
  }
  r.sampleTime = 3.0;
  EXPECT_EQ(limitToOffered(r), 1);
  EXPECT_EQ(r.sampleTime, 2.5);
}

TEST(SettingsTables, TableTextsUseTheCommaAndReadBackThroughTheSystemSeparator) {
  EXPECT_EQ(tableValueText(0.2), QStringLiteral("0,2"));
  EXPECT_EQ(tableValueText(2500000), QStringLiteral("2500000"));
  EXPECT_DOUBLE_EQ(parseTableValue(QStringLiteral("0,5"), QLatin1Char('.')), 0.5);
  EXPECT_DOUBLE_EQ(parseTableValue(QStringLiteral("0,5"), QLatin1Char(',')), 0.5);
  EXPECT_DOUBLE_EQ(parseTableValue(QStringLiteral("131000"), QLatin1Char(',')), 131000);
  EXPECT_TRUE(std::isnan(parseTableValue(QStringLiteral("abc"), QLatin1Char('.'))));
}

TEST(SettingsTables, AmplitudePanelDependsOnTheMode) {
  QString s;
  ASSERT_TRUE(amplitudePanelText(1, kModeOSA0, QLatin1Char('.'), s));
  EXPECT_EQ(s, QString::fromUtf8("\xC2\xB1") + QStringLiteral("0.50V"));
  ASSERT_TRUE(amplitudePanelText(1, kModeVMA0, QLatin1Char('.'), s));
  EXPECT_EQ(s, QStringLiteral("0.50V"));
  ASSERT_TRUE(amplitudePanelText(10, kModeDLA0, QLatin1Char('.'), s));
  EXPECT_EQ(s, QString::fromUtf8("\xC2\xB1") + QStringLiteral("5 V"));
  // A 5 V range measures +-2.5 V; the panel must not round that to 2 or 3.
  ASSERT_TRUE(amplitudePanelText(5, kModeVMD0, QLatin1Char(','), s));
  EXPECT_EQ(s, QString::fromUtf8("\xC2\xB1") + QStringLiteral("2,5 V"));
  s = QStringLiteral("keep");
  EXPECT_FALSE(amplitudePanelText(10, kModeLAIO, QLatin1Char('.'), s));
  EXPECT_FALSE(amplitudePanelText(10, kModeDLDI, QLatin1Char('.'), s));
  EXPECT_EQ(s, QStringLiteral("keep"));
}

TEST(SettingsTables, ModeLayoutsOfAllEightModes) {
  for (ModeCode vm : {kModeVMD0, kModeVMD1, kModeVMA0, kModeVMA1}) {
    const ModeLayout l = modeLayout(vm);
    EXPECT_TRUE(l.amplitudes && !l.timebase && !l.analogTrigger && !l.singleOverlap);
    EXPECT_EQ(l.gpio, GpioPlacement::BelowAmplitudes);
    EXPECT_EQ(l.sheet, TabSheet::Voltmeter);
  }
  const ModeLayout osa = modeLayout(kModeOSA0);
  EXPECT_TRUE(osa.singleOverlap && osa.amplitudes && osa.timebase && osa.analogTrigger &&
              osa.triggerTable && osa.autoSaveBinShown && osa.hidePlotOrUpdateChart);
  EXPECT_FALSE(osa.logicTrigger);
  EXPECT_EQ(osa.gpio, GpioPlacement::BelowTrigger);
  EXPECT_TRUE(osa.switchTab);
  EXPECT_FALSE(modeLayout(kModeOSA0, true).switchTab);
  const ModeLayout dla = modeLayout(kModeDLA0);
  EXPECT_TRUE(dla.amplitudes && dla.timebase && dla.startsForceManualTrigger);
  EXPECT_FALSE(dla.memoryDepth || dla.analogTrigger || dla.singleOverlap);
  const ModeLayout laio = modeLayout(kModeLAIO);
  EXPECT_TRUE(laio.singleOverlap && laio.timebaseAtTop && laio.triggerTable && laio.logicTrigger &&
              laio.autoSaveBinShown);
  EXPECT_FALSE(laio.amplitudes || laio.analogTrigger);
  EXPECT_EQ(laio.gpio, GpioPlacement::Hidden);
  const ModeLayout dldi = modeLayout(kModeDLDI);
  EXPECT_TRUE(dldi.timebaseAtTop && dldi.startsForceManualTrigger);
  EXPECT_FALSE(dldi.amplitudes || dldi.memoryDepth || dldi.logicTrigger);
  EXPECT_FALSE(memoryDepthControlsShown(true, kModeDLA0));
  EXPECT_FALSE(memoryDepthControlsShown(false, kModeOSA0));
  EXPECT_TRUE(memoryDepthControlsShown(true, kModeLAIO));
}

TEST_F(SettingsModel, ABurstOfChangesGivesOneWriteWithTheLastValues) {
  rig.boot();
  m.amplitudeTrackbarMoved(0, 4);
  rig.advance(100);
  m.amplitudeTrackbarMoved(0, 3);
  rig.advance(100);
  m.amplitudeTrackbarMoved(0, 2);
  rig.advance(249);
  EXPECT_TRUE(rig.settingsWrites().empty());
  rig.advance(1200);
  const auto w = rig.settingsWrites();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_FLOAT_EQ(w[0].amplC0, 1.0f);
  // The device's answer becomes the reported and the desired value.
  EXPECT_FLOAT_EQ(acq.storedReply().amplC0, 1.0f);
  EXPECT_DOUBLE_EQ(acq.conversion().ampl[0], 1.0);
  EXPECT_EQ(m.display().amplPos[0], 2);
  EXPECT_EQ(m.display().ak[0], QString::fromUtf8("\xC2\xB1") + QStringLiteral("0.50V"));
  rig.advance(2000);
  EXPECT_EQ(rig.settingsWrites().size(), 1u);  // applying the reply schedules nothing
}

// The write is queued exactly 250 ms after the last change: not at 249 ms, once at 250 ms.
TEST_F(SettingsModel, TheWriteIsQueuedTwoHundredFiftyMillisecondsAfterTheLastChange) {
  rig.boot();
  m.amplitudeTrackbarMoved(0, 4);
  rig.advance(200);
  m.amplitudeTrackbarMoved(0, 3);  // restarts the wait
  rig.advance(249);
  EXPECT_TRUE(rig.accumulate.isActive());
  EXPECT_EQ(acq.queue().indexOfKind(kKindSettingsWrite), -1);
  EXPECT_TRUE(rig.settingsWrites().empty());
  rig.advance(1);
  EXPECT_FALSE(rig.accumulate.isActive());
  EXPECT_NE(acq.queue().indexOfKind(kKindSettingsWrite), -1);
  rig.advance(1200);
  const auto w = rig.settingsWrites();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_FLOAT_EQ(w[0].amplC0, 2.0f);
}

TEST_F(SettingsModel, AValueBetweenRowsSelectsTheNearestRowAndShowsTheExactValue) {
  rig.adjust = [](SettingsReply& r) { r.sampleTime = 9.8e-6f; };
  rig.boot();
  m.sampleTimeTrackbarMoved(3);
  rig.advance(1200);
  ASSERT_EQ(rig.settingsWrites().size(), 1u);
  EXPECT_FLOAT_EQ(acq.storedReply().sampleTime, 9.8e-6f);
  EXPECT_EQ(m.display().samplTimPos, 3);
  EXPECT_TRUE(m.display().samplTim.startsWith(QStringLiteral("9.8")))
      << m.display().samplTim.toStdString();
  EXPECT_TRUE(m.display().samplTim.endsWith(QStringLiteral("s")));
  EXPECT_TRUE(m.display().samplFreq.endsWith(QStringLiteral("Hz")));
}

TEST_F(SettingsModel, TriggerTypeWindowInsideIsWrittenAsItsLetter) {
  rig.boot();
  m.triggerTypeChosen('W');
  rig.advance(1200);
  const auto w = rig.rawWrites("*SWr");
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0][36], 0x57);
  EXPECT_EQ(w[0][37], 0);
  EXPECT_EQ(w[0][38], 0);
  EXPECT_EQ(w[0][39], 0);
  EXPECT_EQ(m.display().trgTyp, QStringLiteral("\"W\""));
  EXPECT_EQ(m.display().trgTypRow, 2);
}

TEST_F(SettingsModel, PatternRowsShowInLaioOnlyOnceTheDeviceReportedP) {
  rig.boot(kModeLAIO);
  ASSERT_EQ(acq.mode(), kModeLAIO);
  EXPECT_FALSE(m.display().patternRowsVisible);
  m.triggerTypeChosen('P');
  EXPECT_FALSE(m.display().patternRowsVisible);  // desired P, reported still T
  rig.advance(1200);
  EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'P');
  EXPECT_TRUE(m.display().patternRowsVisible);
  m.triggerTypeChosen('X');
  EXPECT_TRUE(m.display().patternRowsVisible);  // reported still P
  rig.advance(1200);
  EXPECT_FALSE(m.display().patternRowsVisible);
}

TEST_F(SettingsModel, ProbeFactorAndAuxDividerFeedTheConversion) {
  rig.boot();
  m.probeSpinChanged(0, 10);
  EXPECT_DOUBLE_EQ(acq.conversion().probe[0], 10.0);
  EXPECT_TRUE(m.display().aux);
  EXPECT_NEAR(acq.conversion().probeScale(0), 11.588, 0.001);
  m.auxBoxChanged(false);
  EXPECT_DOUBLE_EQ(acq.conversion().probeScale(0), 10.0);
  rig.advance(1000);
  EXPECT_TRUE(rig.settingsWrites().empty());  // window-only settings
}

TEST_F(SettingsModel, ProbeFactorZeroWaitsAndBecomesOne) {
  rig.boot();
  m.probeSpinChanged(1, 7);
  m.probeSpinChanged(1, 0);
  EXPECT_EQ(m.display().probeSpin[1], 0);
  EXPECT_DOUBLE_EQ(acq.conversion().probe[1], 7.0);  // never multiplied by 0
  rig.advance(249);
  EXPECT_EQ(m.display().probeSpin[1], 0);
  rig.advance(1);
  EXPECT_EQ(m.display().probeSpin[1], 1);
  EXPECT_DOUBLE_EQ(acq.conversion().probe[1], 1.0);
}

TEST_F(SettingsModel, OffsetAndLevelSlidersScaleWithTheReportedRange) {
  rig.boot();
  m.offsetSliderMoved(1, 1024);  // a quarter of 4096 with a 10 V range
  EXPECT_FLOAT_EQ(rig.host.desired().offsC1, 2.5f);
  EXPECT_EQ(m.display().offs[1], QStringLiteral("  2.50000 V"));
  EXPECT_EQ(m.display().offsPos[1], 1024);
  m.levelSliderMoved(0, -2048);
  EXPECT_FLOAT_EQ(rig.host.desired().levelUpper, -5.0f);
  EXPECT_EQ(m.display().level[0], QStringLiteral("   -5.000 V"));
  rig.advance(1200);
  EXPECT_EQ(rig.settingsWrites().size(), 1u);
  EXPECT_EQ(m.display().offsPos[1], 1024);
  EXPECT_EQ(m.display().level[0], QStringLiteral("-5.0 V"));
  EXPECT_EQ(m.display().prePosTrig, QStringLiteral(" 50.0 %"));
}

TEST_F(SettingsModel, TriggerChannelReplacesByteZeroOfTheReportedWord) {
  rig.device.trigger = TriggerWord{0, 0x81, 0x01, 0x80};
  rig.boot();
  m.triggerChannelChanged(2);
  EXPECT_EQ(rig.host.desired().trigger, (TriggerWord{1, 0x81, 0x01, 0x80}));
  rig.advance(1200);
  EXPECT_EQ(acq.storedReply().trigger.channel, 1);
  EXPECT_EQ(m.display().trgChan, 2);
}

// The record after the run is measured with what the device applied: conversion, trackbars
// and sliders follow the reply even though the controls are locked.
TEST_F(SettingsModel, AReplyWhileControlsAreLockedReachesControlsAndConversion) {
  rig.boot();
  rig.replyDelay = 100;
  // The device adjusts range and offset; its reply arrives after a run was queued.
  rig.adjust = [](SettingsReply& r) {
    r.amplC0 = 1;
    r.offsC0 = 0.25f;
  };
  m.triggerPointMoved(20);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return !rig.settingsWrites().empty(); }, 2000));
  acq.queueRun();
  ASSERT_FALSE(acq.controlsEnabled());
  rig.advance(400);
  ASSERT_FLOAT_EQ(acq.storedReply().amplC0, 1.0f);
  EXPECT_EQ(m.display().ak[0], QString::fromUtf8("\xC2\xB1") + QStringLiteral("0.50V"));
  EXPECT_EQ(m.display().offs[0], QStringLiteral("  0.25000 V"));
  EXPECT_FLOAT_EQ(rig.host.desired().amplC0, 1.0f);  // the block follows the report
  EXPECT_DOUBLE_EQ(acq.conversion().ampl[0], 1.0);
  EXPECT_DOUBLE_EQ(acq.conversion().offs[0], 0.25);
  EXPECT_EQ(m.display().amplPos[0], 2);
  EXPECT_EQ(m.display().offsPos[0], 1024);
  EXPECT_FALSE(acq.controlsEnabled());
}

TEST_F(SettingsModel, NothingTheUserDoesDuringARunSendsASettingsWrite) {
  rig.boot();
  acq.queueRun();
  ASSERT_FALSE(acq.controlsEnabled());
  m.amplitudeTrackbarMoved(0, 1);
  m.amplitudeRowClicked(0.5);
  m.sampleTimeRowClicked(5);
  m.memoryDepthTrackbarMoved(2);
  m.triggerPointMoved(10);
  m.offsetSliderMoved(0, 500);
  m.levelSliderMoved(1, 300);
  m.triggerChannelChanged(2);
  m.triggerTypeChosen('e');
  m.modeChosen(0);
  m.probeSpinChanged(0, 0);
  rig.gpio.toggleData(3);
  rig.gpio.toggleDirection(4);
  rig.gpio.togglePattern(PatternRow::Relevance, 1);
  rig.advance(3000);
  EXPECT_TRUE(rig.settingsWrites().empty());
  EXPECT_TRUE(rig.rawWrites("*SMd").empty());
  EXPECT_FLOAT_EQ(rig.host.desired().amplC0, 10.0f);
  EXPECT_EQ(rig.host.desired().gpioData, 0u);
}

TEST_F(SettingsModel, ModeSelectionSendsTheModeAndTheLayoutFollowsTheReply) {
  rig.boot();
  int layouts = 0;
  QObject::connect(&m, &TSettingsModel::changed, [&](SettingsTopic a) {
    if (a == SettingsTopic::Layout) ++layouts;
  });
  m.modeChosen(2);  // VMA0
  EXPECT_EQ(m.display().modeShown, kModeVMA0);
  EXPECT_EQ(m.layoutMode(), kModeOSA0);  // not before the device confirms
  EXPECT_TRUE(m.memoryDepthShown());
  rig.advance(1000);
  EXPECT_EQ(rig.rawWrites("*SMd").size(), 1u);
  EXPECT_EQ(m.layoutMode(), kModeVMA0);
  EXPECT_EQ(layouts, 1);
  EXPECT_EQ(m.layout().sheet, TabSheet::Voltmeter);
  EXPECT_FALSE(m.memoryDepthShown());
  EXPECT_EQ(m.display().ak[0], QStringLiteral("5 V"));  // AC: no sign
}

TEST_F(SettingsModel, LoggerModesForceTheManualTrigger) {
  rig.boot(kModeDLA0);
  ASSERT_EQ(acq.mode(), kModeDLA0);
  rig.advance(1500);
  const auto w = rig.settingsWrites();
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(triggerTypeLetter(w.back().triggerType), 'M');
  EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
}

// The logger's manual trigger and its own sample time stay with the loggers: back in the scope
// its "Level, above" and 10 us return (the controls show them before the write is answered),
// back in the logger its 200 us, without the short-sample-time question. A voltmeter mode in
// between neither takes nor loses them.
TEST_F(SettingsModel, EachSideOfTheLoggerBoundaryKeepsItsSampleTimeAndTrigger) {
  rig.boot();
  m.sampleTimeRowClicked(10);
  m.triggerTypeChosen('e');
  rig.advance(1000);
  ASSERT_FLOAT_EQ(rig.device.sampleTime, 1e-5f);
  rig.question.answer = false;
  m.modeChosen(5);  // DLA0
  rig.advance(2000);
  ASSERT_EQ(acq.mode(), kModeDLA0);
  ASSERT_EQ(triggerTypeLetter(rig.device.triggerType), 'M');
  EXPECT_GE(rig.question.asked, 1);  // 10 us is short for a logger: asked, No
  m.sampleTimeRowClicked(200);
  rig.advance(1000);
  ASSERT_FLOAT_EQ(rig.device.sampleTime, 2e-4f);

  m.modeChosen(0);  // VMD0: no timebase of its own
  rig.advance(2000);
  ASSERT_EQ(acq.mode(), kModeVMD0);
  EXPECT_FLOAT_EQ(rig.device.sampleTime, 2e-4f);
  m.modeChosen(4);  // OSA0
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.accumulate.isActive(); }, 2000));
  EXPECT_EQ(m.display().trgTypRow, triggerTypeRow('e'));
  EXPECT_EQ(m.display().samplTimPos, 3);  // 10 us
  rig.advance(2000);
  ASSERT_EQ(acq.mode(), kModeOSA0);
  EXPECT_FLOAT_EQ(rig.device.sampleTime, 1e-5f);
  EXPECT_EQ(triggerTypeLetter(rig.device.triggerType), 'e');
  EXPECT_EQ(m.display().trgTyp, QStringLiteral("\"e\""));
  rig.advance(2000);
  EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'e');  // nothing forces M now

  const int asked = rig.question.asked;
  m.modeChosen(5);
  rig.advance(2000);
  EXPECT_FLOAT_EQ(rig.device.sampleTime, 2e-4f);
  EXPECT_EQ(triggerTypeLetter(rig.device.triggerType), 'M');
  EXPECT_EQ(rig.question.asked, asked);

  // A change of another field still waiting for its write when the first reply comes is
  // sent, and the sample time comes back all the same.
  m.modeChosen(4);
  rig.advance(2000);
  ASSERT_FLOAT_EQ(rig.device.sampleTime, 1e-5f);
  m.modeChosen(5);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.mode() == kModeDLA0; }, 2000));
  ASSERT_GE(acq.replyTag(), 0);  // the first settings reply is on its way
  const float offset = 0.5f;
  rig.host.desired().offsC0 = offset;
  rig.accumulate.start();
  rig.advance(2000);
  EXPECT_FLOAT_EQ(rig.device.sampleTime, 2e-4f);
  EXPECT_FLOAT_EQ(rig.device.offsC0, offset);
  EXPECT_EQ(rig.question.asked, asked);
}

// A run asked for together with the way back from the logger (the multi-device window's RUN)
// goes out with the scope's own settings, not the logger's.
TEST_F(SettingsModel, ARunRightAfterLeavingTheLoggerMeasuresWithTheScopeSettings) {
  rig.boot();
  m.modeChosen(5);
  rig.advance(2000);
  m.sampleTimeRowClicked(500);
  rig.advance(1000);
  ASSERT_EQ(triggerTypeLetter(rig.device.triggerType), 'M');
  rig.device.memoryDepth = 262000;  // what the device holds now: only the two come back
  rig.drv.writes.clear();
  acq.selectMode(kModeOSA0);
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return !rig.rawWrites("*RUN").empty(); }, 3000));
  const auto w = rig.settingsWrites();
  ASSERT_FALSE(w.empty());
  EXPECT_FLOAT_EQ(w.back().sampleTime, 1e-4f);
  EXPECT_EQ(triggerTypeLetter(w.back().triggerType), 'T');
  EXPECT_EQ(w.back().memoryDepth, 262000.0f);
  const auto words = rig.drv.words();
  EXPECT_EQ(words.back(), "*RUN");
  EXPECT_EQ(words[words.size() - 2], "*SWr");
}

// A mode takes only the trigger types it offers: the logic analyser, reached from the scope with
// "Level, above", goes to manual (its combo has no analog type to show); the scope, reached with
// the pattern, goes to "Level, above"; a type both offer stays without a write.
TEST_F(SettingsModel, EachModeKeepsOnlyATriggerTypeItOffers) {
  EXPECT_EQ(offeredTriggerType(kModeLAIO, 'T'), 'M');
  EXPECT_EQ(offeredTriggerType(kModeLAIO, 'e'), 'M');
  EXPECT_EQ(offeredTriggerType(kModeLAIO, 'P'), 'P');
  EXPECT_EQ(offeredTriggerType(kModeLAIO, 'x'), 'x');
  EXPECT_EQ(offeredTriggerType(kModeOSA0, 'P'), 'T');
  EXPECT_EQ(offeredTriggerType(kModeOSA0, 'W'), 'W');
  EXPECT_EQ(offeredTriggerType(kModeDLA0, 'X'), 'M');
  EXPECT_EQ(offeredTriggerType(kModeVMD0, 'P'), 'P');

  rig.boot();
  ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'T');
  m.modeChosen(6);  // LAIO
  rig.advance(2000);
  ASSERT_EQ(acq.mode(), kModeLAIO);
  auto w = rig.settingsWrites();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(triggerTypeLetter(w.back().triggerType), 'M');
  EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
  EXPECT_EQ(m.display().trgTypRow, triggerTypeRow('M'));
  EXPECT_EQ(m.display().trgTypLogAnal, QStringLiteral("\"M\""));
  const auto backInScopeWith = [&](char type) {
    m.modeChosen(4);
    rig.advance(2000);
    ASSERT_EQ(acq.mode(), kModeOSA0);
    EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), type);
    EXPECT_EQ(m.display().trgTyp, QStringLiteral("\"%1\"").arg(QLatin1Char(type)));
  };
  // Back in the scope its own type returns: manual was only the logic analyser's stand-in.
  backInScopeWith('T');
  m.modeChosen(6);
  rig.advance(2000);
  ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
  // A run started before the type came back keeps the type it went out with; the type comes
  // back once the run is over. A run queued together with the mode change (the multi-device
  // window's RUN, often a single shot) waits for it instead: it measures with the type.
  for (const bool together : {false, true}) {
    SCOPED_TRACE(together);
    rig.drv.writes.clear();
    if (together) {
      acq.selectMode(kModeOSA0);
      acq.runClicked();
    } else {
      m.modeChosen(4);
      ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.mode() == kModeOSA0; }, 2000));
      // The settings read the mode brings is answered; the type's timer has not fired yet.
      ASSERT_TRUE(rig.hub.advanceUntil(
          [&] { return acq.replyTag() < 0 && acq.queue().count() == 0; }, 300));
      acq.runClicked();
    }
    rig.advance(2000);
    ASSERT_EQ(acq.mode(), kModeOSA0);
    ASSERT_EQ(acq.runState(), RunState::Measuring);
    const char during = together ? 'T' : 'M';
    EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), during);
    if (together) {
      const auto words = rig.drv.words();
      ASSERT_GE(words.size(), 2u);
      EXPECT_EQ(words.back(), "*RUN");
      EXPECT_EQ(words[words.size() - 2], "*SWr");
      EXPECT_EQ(triggerTypeLetter(rig.settingsWrites().back().triggerType), 'T');
    }
    rig.advance(2000);
    EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), during);
    acq.stopClicked();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Idle; }, 3000));
    rig.advance(2000);
    EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'T');
    m.modeChosen(6);
    rig.advance(2000);
    ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
  }

  m.triggerTypeChosen('P');
  rig.advance(1000);
  ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'P');
  backInScopeWith('T');
  // The way back brings the pattern back; manual chosen by the user in the logic analyser
  // stays manual in the scope.
  m.modeChosen(6);
  rig.advance(2000);
  EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'P');
  // The same way back with a run queued at once: the run goes out with the pattern, not with
  // the manual trigger the logic analyser offers for the scope's type.
  backInScopeWith('T');
  rig.drv.writes.clear();
  acq.selectMode(kModeLAIO);
  acq.runClicked();
  rig.advance(2000);
  ASSERT_EQ(acq.mode(), kModeLAIO);
  {
    const auto words = rig.drv.words();
    ASSERT_GE(words.size(), 2u);
    const auto run = std::find(words.begin(), words.end(), "*RUN");
    ASSERT_NE(run, words.end());
    ASSERT_NE(run, words.begin());
    EXPECT_EQ(*(run - 1), "*SWr");
    EXPECT_EQ(triggerTypeLetter(rig.settingsWrites().back().triggerType), 'P');
  }
  acq.stopClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Idle; }, 5000));
  rig.advance(2000);
  EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'P');
  m.triggerTypeChosen('M');
  rig.advance(1000);
  backInScopeWith('M');

  // External, rising is offered by both: it goes across as it is.
  m.triggerTypeChosen('X');
  rig.advance(1000);
  ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'X');
  rig.drv.writes.clear();
  m.modeChosen(6);
  rig.advance(2000);
  EXPECT_TRUE(rig.settingsWrites().empty());
  EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'X');
}

// The type a mode did not offer is remembered for the way back only within what the user did:
// a loaded settings file, or a device back with its power-on settings, starts afresh.
TEST_F(SettingsModel, ALoadedFileOrAReconnectForgetsTheDisplacedTriggerType) {
  for (const bool load : {true, false}) {
    SCOPED_TRACE(load);
    SettingsRig rig;
    TSettingsModel& m = rig.model;
    TAcquisition& acq = rig.acq;
    rig.boot();
    m.triggerTypeChosen('E');
    rig.advance(1000);
    m.modeChosen(6);  // LAIO: the edge gives way to manual
    rig.advance(2000);
    ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
    if (load) {
      SettingsRecord rec = SettingsRecord::defaults();
      rec.mode = kModeLAIO;
      rec.trgTypString = "M";
      acq.startUp(0, &rec);
    } else {
      rig.drv.disconnected = true;
      acq.linkLost(kFtIoError);
      ASSERT_TRUE(acq.lost());
      rig.drv.disconnected = false;
      ASSERT_EQ(acq.reconnect(), 0);
    }
    rig.advance(3000);
    ASSERT_EQ(acq.mode(), kModeLAIO);
    ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
    m.modeChosen(4);
    rig.advance(3000);
    ASSERT_EQ(acq.mode(), kModeOSA0);
    EXPECT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
  }
}

// Before the first settings reply the model knows nothing of the device: a pending sample time
// equal to what the first reply brings is no change of the user's, and a sample time kept
// across the logger boundary comes back in its place.
TEST_F(SettingsModel, TheFirstReplyJudgesAPendingValueAgainstItself) {
  rig.acq.open([](SettingsRecord&) { return 2; });
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.mode() == kModeOSA0; }, 2000));
  ASSERT_FLOAT_EQ(acq.storedReply().sampleTime, 0.0f);  // its settings are still to come
  // Both sides of the boundary have their own sample time before the device has answered.
  rig.host.desired() = rig.device.toWriteBlock();
  rig.host.desired().sampleTime = 1e-5f;
  m.modeConfirmed(kModeDLA0);
  rig.host.desired().sampleTime = 2e-4f;
  m.modeConfirmed(kModeOSA0);  // back in the scope: its 10 us is to come back
  rig.host.desired() = rig.device.toWriteBlock();  // pending, equal to the device's
  rig.accumulate.start();
  rig.drv.writes.clear();
  rig.advance(3000);
  ASSERT_EQ(acq.mode(), kModeOSA0);
  EXPECT_FLOAT_EQ(rig.device.sampleTime, 1e-5f);
}

// A run never goes out with a type its mode does not offer, even when the settings model had no
// chance to change it (a run asked for at once, without a window).
TEST_F(SettingsModel, ARunInTheLogicAnalyserGoesOutWithATypeItOffers) {
  rig.boot(kModeLAIO);
  rig.advance(2000);  // the model's own write of M is done
  rig.device.triggerType = 'E';  // the device took an edge trigger anyway
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  rig.advance(500);
  ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'E');
  rig.drv.writes.clear();
  acq.runClicked();
  rig.advance(1000);
  const auto w = rig.settingsWrites();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(triggerTypeLetter(w[0].triggerType), 'M');
  // The write goes first, then the run.
  ASSERT_GE(rig.drv.writes.size(), 2u);
  EXPECT_EQ(rig.drv.words()[0], "*SWr");
  EXPECT_EQ(rig.drv.words()[1], "*RUN");
}

TEST_F(SettingsModel, ShortLoggerSampleTimeAsksAndYesProlongsIt) {
  rig.device.sampleTime = 1e-5f;
  rig.question.answer = false;
  rig.boot(kModeDLDI);
  rig.advance(1500);  // the manual-trigger write and its reply
  const int askedAfterNo = rig.question.asked;
  EXPECT_GE(askedAfterNo, 1);
  EXPECT_TRUE(rig.question.lastText.contains(QLatin1Char('\n')));
  EXPECT_FALSE(rig.question.lastText.contains(QLatin1Char('~')));
  EXPECT_FLOAT_EQ(rig.device.sampleTime, 1e-5f);  // No changes nothing
  rig.question.answer = true;
  m.triggerPointMoved(20);  // any write brings the next reply and the next question
  rig.advance(2000);
  EXPECT_GT(rig.question.asked, askedAfterNo);
  EXPECT_FLOAT_EQ(rig.device.sampleTime, 9.9e-5f);
  EXPECT_FALSE(m.forcedSampleTimeFlag());
  const int asked = rig.question.asked;
  m.triggerPointMoved(30);
  rig.advance(2000);
  EXPECT_EQ(rig.question.asked, asked);  // 99 us is long enough
}

TEST_F(SettingsModel, ScopeModeNeverAsksAboutTheSampleTime) {
  rig.device.sampleTime = 1e-6f;
  rig.boot();
  m.triggerPointMoved(20);
  rig.advance(1000);
  EXPECT_EQ(rig.question.asked, 0);
}

}  // namespace

namespace {

TEST_F(SettingsModel, SampleTimeRowClickWhileAReplyIsAwaitedStoresWithoutAWrite) {
  rig.boot();
  rig.replyDelay = 200;
  m.triggerPointMoved(20);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() >= 0; }, 2000));
  m.sampleTimeRowClicked(5);
  EXPECT_FLOAT_EQ(rig.host.desired().sampleTime, 5e-6f);
  EXPECT_FALSE(rig.accumulate.isActive());
  m.sampleTimeTrackbarMoved(0);  // trackbars wait for the reply
  EXPECT_FLOAT_EQ(rig.host.desired().sampleTime, 5e-6f);
  rig.advance(2000);
  // The reply brings the device's value back; nothing else was sent.
  EXPECT_EQ(rig.settingsWrites().size(), 1u);
  EXPECT_FLOAT_EQ(rig.host.desired().sampleTime, 1e-4f);
}

// Restored settings wait 250 ms for their settings write. A reply the device sends meanwhile
// (the settings read behind the first stage's mode change, pushed there when the event loop
// stalls) must not undo them: what reaches the device is the stored setting.
TEST(SettingsRestore, AStalledStartStillGivesTheDeviceTheStoredSetting) {
  for (int stall = 0; stall <= 1000; stall += 50) {
    SettingsRig rig;
    rig.replyDelay = 5;
    SettingsRecord rec = SettingsRecord::defaults();
    rec.mode = kModeVMD0;
    rec.amplC0 = 2;
    rec.amplC1 = 0.5;
    rec.sampleTime = 0.0005;
    rec.gpioDirection = 0xF0;
    rec.gpioData = 0x50;
    rig.acq.open([&](SettingsRecord& r) {
      r = rec;
      return 0;
    });
    rig.advance(500);            // the mode change is on its way
    rig.clock.advanceMs(stall);  // nothing runs; overdue timers then fire in due order
    rig.advance(8000);
    SCOPED_TRACE(stall);
    EXPECT_EQ(rig.deviceMode, kModeVMD0);
    EXPECT_FLOAT_EQ(rig.device.amplC0, 2.0f);
    EXPECT_FLOAT_EQ(rig.device.amplC1, 0.5f);
    EXPECT_FLOAT_EQ(rig.device.sampleTime, 0.0005f);
    EXPECT_EQ(rig.device.gpioDirection, 0xF0u);
    EXPECT_EQ(rig.device.gpioData, 0x50u);
    EXPECT_DOUBLE_EQ(rig.acq.conversion().ampl[0], 2.0);
    EXPECT_EQ(rig.model.display().amplPos[0], nearestRow(kAmplitudeTable, 2.0));
    EXPECT_TRUE(rig.acq.runEnabled());
  }
}

}  // namespace
