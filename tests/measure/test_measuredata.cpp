// The record steps of every mode on raw device bytes, with recording presenter and files.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "measure/derived.h"
#include "measure/loggerstream.h"
#include "measure/textheader.h"
#include "measure_fakes.h"

using namespace tolv;
using namespace tolv::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

// One scope sample: bytes 0-1 channel 1, bytes 2-3 channel 0.
void putScope(Bytes& b, std::uint16_t ch0, std::uint16_t ch1) {
  b.push_back(std::uint8_t(ch1));
  b.push_back(std::uint8_t(ch1 >> 8));
  b.push_back(std::uint8_t(ch0));
  b.push_back(std::uint8_t(ch0 >> 8));
}

ConversionInputs plainConversion() {
  ConversionInputs c;
  c.ampl = {10.0, 10.0};
  c.offs = {0.0, 0.0};
  c.probe = {1.0, 1.0};
  c.aux = 1.0;
  return c;
}

class Data : public ::testing::Test {
 protected:
  CallLog log;
  RecordingPresenter presenter{log};
  RecordingFiles files{log};
  TMeasureData data;
  SettingsRecord settings = SettingsRecord::defaults();
  DayTime clock{43200.0, 739000};

  void SetUp() override {
    data.setPresenter(&presenter);
    data.setFiles(&files);
    data.setSnapshotSource([this] { return settings; });
    data.setClock([this] { return clock; });
    presenter.data = &data;
  }
};

}  // namespace

TEST_F(Data, ScopeBufferKeepsOnlyWholeGroupsAndFillsNPlusOnePlotEntries) {
  const ConversionInputs conv = plainConversion();
  Bytes raw;
  putScope(raw, 32768, 0);      // 0 V, -5 V
  putScope(raw, 65535, 49152);  // 4.99985 V, 2.5 V
  putScope(raw, 16384, 16384);  // -2.5 V
  EXPECT_EQ(data.scopeRecord(raw, conv), 0);
  ASSERT_EQ(data.sampleCount(), 3);

  // Ten bytes: two samples, the last two bytes ignored.
  Bytes ten(raw.begin(), raw.begin() + 8);
  ten.push_back(0xFF);
  ten.push_back(0xFF);
  double* plot = data.plotArray();
  plot[3] = 99.0;  // past N + 1 entries: must stay
  plot[TMeasureData::kScopeEntries + 3] = 99.0;
  EXPECT_EQ(data.scopeRecord(ten, conv), 0);
  ASSERT_EQ(data.sampleCount(), 2);
  const ScopeSample* s = data.scopeSamples();
  EXPECT_FLOAT_EQ(s[0].ch0, 0.0f);
  EXPECT_FLOAT_EQ(s[0].ch1, -5.0f);
  EXPECT_NEAR(s[1].ch0, 4.99985, 1e-5);
  EXPECT_FLOAT_EQ(s[1].ch1, 2.5f);
  // The entry after the last sample is whatever the sample array holds there (the old third).
  EXPECT_DOUBLE_EQ(data.plotChannel0()[2], -2.5);
  EXPECT_DOUBLE_EQ(data.plotChannel1()[2], -2.5);
  EXPECT_DOUBLE_EQ(data.plotChannel0()[1], double(s[1].ch0));
  EXPECT_DOUBLE_EQ(plot[3], 99.0);
  EXPECT_DOUBLE_EQ(plot[TMeasureData::kScopeEntries + 3], 99.0);

  // Too short for one group: an empty record, and the steps still run.
  log.calls.clear();
  settings.autoSaveMode = 1;
  EXPECT_EQ(data.scopeRecord(Bytes{1, 2, 3}, conv), 0);
  EXPECT_EQ(data.sampleCount(), 0);
  EXPECT_EQ(log.calls, std::vector<std::string>{"saveScope 1"});
}

TEST_F(Data, OverlongScopeBufferStopsAtCapacity) {
  Bytes raw(4 * 131005, 0x80);
  EXPECT_EQ(data.scopeRecord(raw, plainConversion()), 0);
  EXPECT_EQ(data.sampleCount(), kScopeMemorySamples);
}

TEST_F(Data, ProbeFactorWithTheAuxiliaryDivider) {
  ConversionInputs conv = plainConversion();
  conv.probe = {10.0, 1.0};
  conv.aux = 0.85;
  EXPECT_NEAR(conv.probeScale(0), 9.0 / 0.85 + 1.0, 1e-12);
  EXPECT_NEAR(conv.probeScale(0), 11.588, 5e-4);
  Bytes raw;
  putScope(raw, 65535, 65535);
  data.scopeRecord(raw, conv);
  EXPECT_NEAR(data.scopeSamples()[0].ch0, 57.94, 0.005);
  // Channel 1 keeps probe 1: the divider only corrects the probe factor.
  EXPECT_NEAR(data.scopeSamples()[0].ch1, 4.99985, 1e-5);
}

TEST_F(Data, TriggerMomentLiesMSamplesBeforeReceptionAcrossMidnight) {
  settings.triggerPoint = 10;
  settings.sampleTime = 0.0001;
  clock = DayTime{0.5, 739000};  // half a second after midnight
  Bytes raw(4 * 10000, 0);
  data.scopeRecord(raw, plainConversion());
  EXPECT_EQ(data.postTrigger(), 9000);
  EXPECT_EQ(data.measurementTime().day, 738999);
  EXPECT_NEAR(data.measurementTime().seconds, 86399.6, 1e-6);
  const RecordInformation info = data.recordInformation();
  EXPECT_EQ(info.postTrigger, 9000);
  EXPECT_EQ(info.preTrigger, 1000);
  EXPECT_DOUBLE_EQ(info.samplTim, 0.0001);
  EXPECT_EQ(info.measurementTime, data.measurementTime());

  // Halves round to even: 2.5 -> 2, 3.5 -> 4.
  settings.triggerPoint = 50;
  data.scopeRecord(Bytes(4 * 5, 0), plainConversion());
  EXPECT_EQ(data.postTrigger(), 2);
  data.scopeRecord(Bytes(4 * 7, 0), plainConversion());
  EXPECT_EQ(data.postTrigger(), 4);
}

// A depth beyond the scope's memory (262000) brings the first 131000 samples of the record the
// device measured: its trigger lies TriggerPoint % of the whole depth in, maybe after the last
// sample kept, and the trigger moment lies the rest of that depth before the transfer.
TEST_F(Data, RecordCutAtTheMemoryCountsItsTriggerFromTheWholeDepth) {
  NoticeReceiver multi;
  ASSERT_EQ(data.registerMulti(&multi, 0), 0);
  settings.memoryDepth = 262000;
  settings.sampleTime = 1e-5;
  const Bytes raw(4 * 131000, 0);
  struct Case {
    double tp;
    std::int32_t m;         // post-trigger samples of the record kept
    std::int64_t measured;  // samples measured after the trigger
  };
  for (const Case c : {Case{50, 0, 131000}, Case{10, 104800, 235800}, Case{60, -26200, 104800},
                       Case{49.9996, 1, 131001}}) {
    settings.triggerPoint = c.tp;
    clock = DayTime{100.0, 739000};
    data.scopeRecord(raw, plainConversion());
    EXPECT_EQ(data.sampleCount(), 131000);
    EXPECT_EQ(data.postTrigger(), c.m) << c.tp;
    EXPECT_EQ(data.recordInformation().preTrigger, 131000 - c.m) << c.tp;
    EXPECT_NEAR(data.measurementTime().seconds, 100.0 - double(c.measured) * 1e-5, 1e-9) << c.tp;
  }
  QCoreApplication::sendPostedEvents(&multi);
  ASSERT_EQ(multi.notices.size(), 4u);
  EXPECT_EQ(multi.notices[0].postTrigger, 0);
  EXPECT_EQ(multi.notices[2].postTrigger, -26200);
  // 200000 is cut too; exactly 131000 is a whole record.
  settings.triggerPoint = 50;
  settings.memoryDepth = 200000;
  data.scopeRecord(raw, plainConversion());
  EXPECT_EQ(data.postTrigger(), 31000);
  settings.memoryDepth = 131000;
  clock = DayTime{100.0, 739000};
  data.scopeRecord(raw, plainConversion());
  EXPECT_EQ(data.postTrigger(), 65500);
  EXPECT_NEAR(data.measurementTime().seconds, 100.0 - 0.655, 1e-9);
  // A record that ended early without reaching the memory is no cut one.
  settings.memoryDepth = 100000;
  data.scopeRecord(Bytes(4 * 1000, 0), plainConversion());
  EXPECT_EQ(data.postTrigger(), 500);
}

TEST_F(Data, ScopeStepsRunInOrderAndASaveFailureStopsNothing) {
  settings.autoSaveMode = 2;
  settings.makeIntermediateFiles = true;
  files.saveResult = 28;  // disk full
  bool timeSetAtSave = false, plotFilledAtSave = true;
  files.onAutoSave = [&](const TMeasureData& d) {
    timeSetAtSave = d.measurementTime().day == 739000;
    plotFilledAtSave = d.plotChannel0()[0] != 0.0;
  };
  Bytes raw;
  putScope(raw, 65535, 65535);
  EXPECT_EQ(data.scopeRecord(raw, plainConversion()), 28);
  EXPECT_TRUE(timeSetAtSave);
  EXPECT_FALSE(plotFilledAtSave);  // step 5 comes before step 6
  EXPECT_NE(data.plotChannel0()[0], 0.0);
  EXPECT_FALSE(data.plotBusy());
  // Settings changed between the hand-over and the plot: the plot's record settings are new.
  settings.scopePlotMode = 5;
  data.scopeRecordFinish();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"saveScope 2", "plotScope", "scopeFile",
                                                 "files OSA0", "events"}));
  EXPECT_TRUE(presenter.busyWhilePlotting);
  EXPECT_TRUE(presenter.busyWhileEvents);
  EXPECT_FALSE(data.plotBusy());
  EXPECT_EQ(data.recordSettings().scopePlotMode, 5);

  log.calls.clear();
  settings.autoSaveMode = 0;
  settings.makeIntermediateFiles = false;
  data.scopeRecord(raw, plainConversion());
  data.scopeRecordFinish();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"plotScope", "events"}));
}

TEST_F(Data, LogicBufferGivesSamplesInTimeOrderAndStepsInOrder) {
  settings.autoSaveMode = 1;
  settings.memoryDepth = 4;  // a whole record of 4 samples
  const Bytes raw{0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x80, 0xEE};
  data.logicRecord(raw);
  const TLogAnalList& l = data.logicList();
  ASSERT_EQ(l.count(), 4);
  EXPECT_EQ(l.at(0).word, 0x0002);  // bytes 2-3
  EXPECT_EQ(l.at(1).word, 0x0001);  // bytes 0-1
  EXPECT_EQ(l.at(2).word, 0x8004);  // bytes 6-7
  EXPECT_EQ(l.at(3).word, 0x0003);  // bytes 4-5
  EXPECT_EQ(l.at(3).sampleNumber, 3);
  // Not stamped: the arrival, less the 4 samples (of 100 us) after the trigger at 10 %.
  EXPECT_NEAR(data.measurementTime().seconds, 43200.0 - 4e-4, 1e-9);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(data.logicRecordFinish(), 0);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"plotLogic", "logicFile", "files LAIO",
                                                 "front 3", "saveLogic 1"}));
  // A second record replaces the first.
  data.logicRecord(Bytes{0xFF, 0xFF, 0, 0});
  EXPECT_EQ(data.logicList().count(), 2);
  // Its time is the trigger moment, as a scope record's: the transfer and the part after the
  // trigger lie between it and the arrival (90 % of 262000 samples at 10 us, 2.5 s transfer).
  settings.triggerPoint = 10;
  settings.sampleTime = 1e-5;
  RecordStamp st;
  st.received = clock;
  st.transfer = 2.5;
  data.recordStamped(st);
  data.logicRecord(Bytes(4 * 131000, 0));
  ASSERT_EQ(data.logicList().count(), 262000);
  EXPECT_NEAR(data.measurementTime().seconds, 43200.0 - 2.5 - 235800 * 1e-5, 1e-9);
  // One handed over 20000 samples short of its depth was measured whole: its trigger lies as
  // far before its arrival as the whole depth's part after it, not 18000 samples less.
  settings.memoryDepth = 262000;
  data.recordStamped(st);
  data.logicRecord(Bytes(4 * 121000, 0));
  ASSERT_EQ(data.logicList().count(), 242000);
  EXPECT_NEAR(data.measurementTime().seconds, 43200.0 - 2.5 - 235800 * 1e-5, 1e-9);
}

TEST_F(Data, VoltmeterRawModesGoThroughTheRawConversion) {
  ConversionInputs conv = plainConversion();
  conv.probe = {10.0, 1.0};
  conv.aux = 0.85;
  // VMA1: raw converter values in 32-bit slots.
  const std::uint8_t eight[8] = {0xFF, 0xFF, 0, 0, 0x00, 0x40, 0, 0};
  const auto rec = makeVoltmeterReplyRecord(kModeVMA1, eight);
  const VoltmeterValues v = convertVoltmeterReply(rec, conv);
  settings.singleShot = true;
  EXPECT_EQ(data.voltmeterReply(rec, v), 0);
  EXPECT_EQ(data.voltageUnit(), QStringLiteral("V RMS"));
  EXPECT_EQ(presenter.unit, QStringLiteral("V RMS"));
  EXPECT_NEAR(data.voltage(0), 57.94, 0.005);
  EXPECT_NEAR(data.voltage(1), -2.5, 1e-9);
  EXPECT_EQ(data.lastVoltmeterRecord(), rec);
  ASSERT_EQ(data.chartList().Count(), 1);
  const VoltmeterReading r = data.chartList().Items()[0];
  EXPECT_EQ(r.tag, 1);
  EXPECT_EQ(r.time, clock);
  EXPECT_DOUBLE_EQ(r.value0, data.voltage(0));

  // VMD0 sends volts as floats: only the probe factor applies.
  std::uint8_t floats[8];
  const float f0 = 1.5f, f1 = -0.25f;
  std::memcpy(floats, &f0, 4);
  std::memcpy(floats + 4, &f1, 4);
  const auto dc = makeVoltmeterReplyRecord(kModeVMD0, floats);
  data.voltmeterReply(dc, convertVoltmeterReply(dc, conv));
  EXPECT_EQ(data.voltageUnit(), QStringLiteral("V DC"));
  EXPECT_NEAR(data.voltage(0), 1.5 * (9.0 / 0.85 + 1.0), 1e-9);

  // A reply of no voltmeter mode changes nothing.
  const auto odd = makeVoltmeterReplyRecord(kModeOSA0, eight);
  EXPECT_EQ(data.voltmeterReply(odd, v), kUnknownMode);
  EXPECT_EQ(data.chartList().Count(), 2);
  EXPECT_EQ(data.voltageUnit(), QStringLiteral("V DC"));
}

TEST_F(Data, VoltmeterSeriesOpensOnceAppendsAndCloses) {
  settings.autoSaveMode = 1;
  const std::uint8_t eight[8] = {0, 0x80, 0, 0, 0, 0x80, 0, 0};
  const auto rec = makeVoltmeterReplyRecord(kModeVMD1, eight);
  const VoltmeterValues v = convertVoltmeterReply(rec, plainConversion());
  EXPECT_EQ(data.voltmeterReply(rec, v), kIntermediateNotOpen);  // no series open
  log.calls.clear();

  clock = DayTime{100.0, 739000};
  data.voltmeterRunStarted(false);
  clock = DayTime{101.0, 739000};
  data.voltmeterRunStarted(false);  // every run command of the series passes here
  EXPECT_EQ(data.measurementTime().seconds, 100.0);
  EXPECT_EQ(data.voltmeterReply(rec, v), 0);
  // A reading carries the time the acquisition stamped it with (when it was measured), not
  // the moment its steps run.
  RecordStamp measured;
  measured.received = DayTime{100.5, 739000};
  data.recordStamped(measured);
  EXPECT_EQ(data.voltmeterReply(rec, v), 0);
  EXPECT_EQ(data.chartList().Items().back().time, measured.received);
  data.voltmeterStopped();
  data.voltmeterStopped();
  EXPECT_EQ(log.calls,
            (std::vector<std::string>{"chart", "openVm", "showVoltmeter", "chart", "chartCsv",
                                      "appendVm", "showVoltmeter", "chart", "chartCsv",
                                      "appendVm", "closeVm", "files VMXY", "chart"}));
  EXPECT_EQ(files.appended.size(), 2u);
  EXPECT_EQ(files.appended[0].time, clock);
  EXPECT_EQ(files.appended[1].time, measured.received);

  // A write error closes the series: later readings report it closed.
  files.appendResult = 28;
  data.voltmeterRunStarted(false);
  EXPECT_EQ(data.voltmeterReply(rec, v), 28);
  EXPECT_FALSE(data.voltmeterFileOpen());
  log.calls.clear();
  data.voltmeterRunStarted(false);  // the series' next run command opens no second file
  EXPECT_EQ(data.voltmeterReply(rec, v), kIntermediateNotOpen);
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "openVm"), 0);
  data.voltmeterStopped();
  data.voltmeterRunStarted(false);  // a new series after STOP does
  EXPECT_TRUE(data.voltmeterFileOpen());

  data.clearChartList();
  EXPECT_EQ(data.chartList().Count(), 0);
}

TEST_F(Data, RecordNoticeCarriesACopyOfItsFourValues) {
  NoticeReceiver multi;
  EXPECT_EQ(data.registerMulti(nullptr, 1), kNoMultiHandle);
  EXPECT_EQ(data.registrationNumber(), -1);
  data.scopeRecord(Bytes(4 * 10, 0), plainConversion());
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(multi.notices.empty());  // not registered: nothing posted

  ASSERT_EQ(data.registerMulti(&multi, 3), 0);
  settings.triggerPoint = 25;
  settings.sampleTime = 2e-6;
  data.scopeRecord(Bytes(4 * 1000, 0), plainConversion());
  // Another record before the first notice is delivered: each keeps its own values.
  settings.triggerPoint = 50;
  data.scopeRecord(Bytes(4 * 10, 0), plainConversion());
  QCoreApplication::sendPostedEvents(&multi);
  ASSERT_EQ(multi.notices.size(), 2u);
  EXPECT_EQ(multi.notices[0].sampleCount, 1000);
  EXPECT_EQ(multi.notices[0].postTrigger, 750);
  EXPECT_EQ(multi.notices[0].registration, 3);
  EXPECT_DOUBLE_EQ(multi.notices[0].sampleTime, 2e-6);
  EXPECT_EQ(multi.notices[1].sampleCount, 10);
  EXPECT_EQ(multi.notices[1].postTrigger, 5);

  // A multi-device window that went away is not posted to.
  {
    NoticeReceiver gone;
    data.registerMulti(&gone, 4);
  }
  data.scopeRecord(Bytes(8, 0), plainConversion());
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(data.registered());
}

TEST_F(Data, RescaleTouchesPlotEntriesZeroToNOnly) {
  Bytes raw;
  putScope(raw, 65535, 49152);  // 4.99985 V, 2.5 V
  putScope(raw, 32768, 16384);  // 0 V, -2.5 V
  data.scopeRecord(raw, plainConversion());
  double* plot = data.plotArray();
  plot[3] = 7.0;
  const float before = data.scopeSamples()[0].ch1;
  data.rescalePlotData(/*offs1*/ 1.0, /*gain1*/ 2.0, /*offs0*/ -1.0, /*gain0*/ 10.0);
  EXPECT_NEAR(data.plotChannel0()[0], 4.99985 * 10.0 - 1.0, 1e-4);
  EXPECT_DOUBLE_EQ(data.plotChannel0()[1], -1.0);
  EXPECT_DOUBLE_EQ(data.plotChannel1()[0], 2.5 * 2.0 + 1.0);
  EXPECT_DOUBLE_EQ(data.plotChannel1()[1], -2.5 * 2.0 + 1.0);
  EXPECT_DOUBLE_EQ(plot[3], 7.0);
  EXPECT_EQ(data.scopeSamples()[0].ch1, before);
  data.setActive(true);
  EXPECT_TRUE(data.active());
}

TEST(DerivedValues, TimesSamplesAndLogicStep) {
  SettingsRecord r = SettingsRecord::defaults();
  EXPECT_DOUBLE_EQ(totalRecordTime(r), 1.0);
  EXPECT_DOUBLE_EQ(pretriggerTime(r), 0.1);
  EXPECT_EQ(triggerSample(10, 10000), 1000);
  EXPECT_EQ(triggerSample(50, 5), 2);
  EXPECT_EQ(roundHalfEven(-2.5), -2);
  EXPECT_EQ(roundHalfEven(1e12), 2147483647);
  EXPECT_EQ(roundHalfEven(std::nan("")), 0);
  EXPECT_DOUBLE_EQ(logicTimeStep(1.02e-5), 1e-5);
  EXPECT_DOUBLE_EQ(logicTimeStep(0.0199), 0.02);
}
