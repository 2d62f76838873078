// Runs and settings against a simulated device, driven through the window's own controls: a run
// pressed before the device's settings are known, STOP while the run still waits in the queue,
// settings changed just before RUN, quick mode changes and the logger's manual trigger.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <tuple>

#include "devicewin/window_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

class RunFaults : public WindowRig {
 public:
  TScopeControlsPanel& controls() { return *w_->scopeControlsPanel(); }

  // As a user choosing from the drop-down list.
  void chooseMode(ModeCode m) {
    QComboBox* modes = controls().modes();
    modes->setCurrentIndex(modeIndex(m));
    emit modes->activated(modeIndex(m));
  }
  void enterMode(ModeCode m) {
    chooseMode(m);
    ASSERT_TRUE(until([&] { return acq().mode() == m && settled(); }, 5000));
  }
  // One step of a slider by key, down unless it is at its minimum (short sample times and
  // depths keep the runs short). A horizontal scroll bar takes Page Up as the step down.
  void stepSlider(QAbstractSlider* s, bool page = false) {
    const int v = s->value();
    QTest::keyClick(s, page ? Qt::Key_PageUp : Qt::Key_Left);
    if (s->value() == v) QTest::keyClick(s, page ? Qt::Key_PageDown : Qt::Key_Right);
  }
  void stopAndSettle() {
    if (!run().breakButton()->isHidden()) click(run().breakButton());
    ASSERT_TRUE(until([&] { return settled(); }, 5000));
  }
  // Index in rec_.writes of the first write of `word` at or after `from`, -1 when none.
  int firstWrite(const char* word, std::size_t from) const {
    for (std::size_t i = from; i < rec_.writes.size(); ++i)
      if (rec_.writes[i].word() == word) return int(i);
    return -1;
  }
};

// The run waits for the device's settings instead of starting with an unknown record length.
TEST_F(RunFaults, RunPressedAt401msTakesRecordsOfTheDevicesMemoryDepth) {
  ASSERT_EQ(w_->open(), 2);
  advance(401);
  ASSERT_TRUE(run().runButton()->isEnabled());
  std::vector<std::size_t> sizes;
  records().onEvent = [&](const char* what) {
    if (std::string(what) == "scope") sizes.push_back(records().scope.size());
  };
  click(run().runButton());
  EXPECT_EQ(acq().runState(), RunState::RunQueued);
  advance(3000);
  const auto depth = std::size_t(dev().settings().memoryDepth);
  ASSERT_GT(depth, 0u);
  ASSERT_GE(sizes.size(), 3u);
  for (std::size_t n : sizes) EXPECT_EQ(n, depth);
  EXPECT_EQ(acq().expectedByteCount(), std::int32_t(depth * 4));
  EXPECT_EQ(acq().storedReply().memoryDepth, dev().settings().memoryDepth);
  ASSERT_FALSE(rec_.of("*SRd").empty());
  EXPECT_LT(rec_.of("*SRd").front().atMs, rec_.of("*RUN").front().atMs);
  stopAndSettle();
  EXPECT_EQ(mismatch(), "");
}

// RUN then STOP before the run command has gone out: nothing is measured, the window is Idle
// at once, also when the run waits behind a settings write whose reply is pending.
TEST_F(RunFaults, StopWhileTheRunIsQueuedEndsIdleInEveryModeFamily) {
  boot();
  for (ModeCode m : {kModeVMD0, kModeOSA0, kModeLAIO, kModeDLA0, kModeDLDI}) {
    SCOPED_TRACE(modeCodeText(m));
    enterMode(m);
    for (bool behindWrite : {false, true}) {
      SCOPED_TRACE(behindWrite ? "behind a settings write" : "at once");
      if (behindWrite) {
        const std::size_t writes = rec_.of("*SWr").size();
        stepSlider(isVoltmeterMode(m) ? controls().amplitudeTrackbar(0)
                                      : controls().sampleTimeTrackbar());
        ASSERT_TRUE(until([&] { return rec_.of("*SWr").size() > writes; }, 1000));
        ASSERT_GE(acq().replyTag(), 0);
      }
      const std::size_t runs = rec_.of("*RUN").size();
      const int handed = records().scopeRecords + records().logicRecords +
                          records().voltmeterReadings;
      click(run().runButton());
      ASSERT_EQ(acq().runState(), RunState::RunQueued);
      click(run().breakButton());
      EXPECT_EQ(acq().runState(), RunState::Idle);
      EXPECT_FALSE(run().runButton()->isHidden());
      EXPECT_TRUE(run().runButton()->isEnabled());
      EXPECT_TRUE(run().breakButton()->isHidden());
      EXPECT_TRUE(acq().controlsEnabled());
      advance(2000);
      EXPECT_EQ(rec_.of("*RUN").size(), runs);
      EXPECT_FALSE(dev().measuring());
      EXPECT_EQ(acq().runState(), RunState::Idle);
      EXPECT_EQ(records().scopeRecords + records().logicRecords +
                    records().voltmeterReadings,
                handed);
      ASSERT_TRUE(until([&] { return settled(); }, 3000));
      EXPECT_EQ(mismatch(), "");
      // The next RUN measures normally.
      click(run().runButton());
      ASSERT_TRUE(until([&] { return dev().measuring(); }, 2000));
      stopAndSettle();
    }
  }
}

// Every kind of setting, changed 0 to 249 ms before RUN: its write goes out before the run,
// the device measures with it and the records are converted with what the device applied.
struct SettingKind {
  const char* name;
  std::function<void(RunFaults&, TScopeControlsPanel&)> change;
  bool records = true;  // false: the run may wait for a trigger that does not come
};

class SettingBeforeRun : public RunFaults {
 protected:
  void changeAndRun(const SettingKind& k, int gapMs, bool singleShot) {
    SCOPED_TRACE(std::string(k.name) + " " + std::to_string(gapMs) + " ms" +
                 (singleShot ? " single" : " continuous"));
    ASSERT_TRUE(settled());
    if (run().singleShotBox()->isChecked() != singleShot) click(run().singleShotBox());
    const SettingsReply before = dev().settings();
    std::vector<std::string> bad;
    std::vector<std::size_t> sizes;
    records().onEvent = [&](const char* what) {
      if (std::string(what) != "scope") return;
      const SettingsReply& d = dev().settings();
      const ConversionInputs& c = acq().conversion();
      if (c.ampl[0] != d.amplC0 || c.ampl[1] != d.amplC1 || c.offs[0] != d.offsC0 ||
          c.offs[1] != d.offsC1)
        bad.push_back("record converted with other ranges or offsets than the device's");
      sizes.push_back(records().scope.size());
    };
    const std::size_t from = rec_.writes.size();
    std::vector<std::vector<std::uint8_t>> atRun;  // the device's settings at each "*RUN"
    rec_.onWrite = [&](const RecordingDriver::Written& w) {
      if (w.word() != "*RUN") return;
      const auto b = dev().settings().toBytes();
      atRun.emplace_back(b.begin(), b.end());
    };
    k.change(*this, controls());
    advance(gapMs);
    click(run().runButton());
    const int wanted = singleShot ? 1 : 3;
    if (k.records)
      ASSERT_TRUE(until([&] { return int(sizes.size()) >= wanted; }, 4000));
    else
      ASSERT_TRUE(until([&] { return !atRun.empty(); }, 2000));
    stopAndSettle();
    rec_.onWrite = nullptr;
    const auto now = dev().settings().toBytes();
    for (const auto& b : atRun) EXPECT_TRUE(std::equal(b.begin(), b.end(), now.begin()));
    records().onEvent = nullptr;
    EXPECT_TRUE(bad.empty()) << bad.front();
    for (std::size_t n : sizes) EXPECT_EQ(n, std::size_t(dev().settings().memoryDepth));
    EXPECT_NE(before.toBytes(), dev().settings().toBytes()) << "the change never reached it";
    const int swr = firstWrite("*SWr", from);
    const int runAt = firstWrite("*RUN", from);
    ASSERT_GE(swr, 0);
    ASSERT_GE(runAt, 0);
    EXPECT_LT(swr, runAt);
    EXPECT_EQ(mismatch(), "");
  }
};

TEST_F(SettingBeforeRun, EveryKindOfSettingWithin250msOfRunReachesTheDevice) {
  boot();
  const std::vector<SettingKind> kinds = {
      {"TB_AmplC0", [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.amplitudeTrackbar(0)); }},
      {"TB_AmplC1", [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.amplitudeTrackbar(1)); }},
      {"SB_OffsC0", [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.offsetSlider(0), true); }},
      {"TB_SamplTim", [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.sampleTimeTrackbar()); }},
      {"TB_MemoryDepth",
       [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.memoryDepthTrackbar()); }},
      {"TB_TriggerPoint",
       [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.triggerPointTrackbar()); }},
      {"COB_TrgTyp",
       [](RunFaults&, TScopeControlsPanel& c) {
         // Between "Manual" (the last entry) and the one above it.
         QComboBox* b = c.triggerTypeCombo();
         QTest::keyClick(b, b->currentIndex() == b->count() - 1 ? Qt::Key_Up : Qt::Key_Down);
       },
       false},
      {"SE_TrgChan",
       [](RunFaults&, TScopeControlsPanel& c) {
         QSpinBox* s = c.triggerChannel();
         QTest::keyClick(s, s->value() == 1 ? Qt::Key_Up : Qt::Key_Down);
       }},
      {"SB_TrgLevelUpper",
       [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.levelSlider(0), true); }},
      {"SB_TrgLevelLower",
       [](RunFaults& f, TScopeControlsPanel& c) { f.stepSlider(c.levelSlider(1), true); }},
      {"PN_GPIO24BitData_5",
       [](RunFaults& f, TScopeControlsPanel& c) { f.click(c.gpioPanel()->dataPanel(5)); }},
      {"PN_GPIO24BitDirection_7",
       [](RunFaults& f, TScopeControlsPanel& c) { f.click(c.gpioPanel()->directionPanel(7)); }},
  };
  // Line 5 an output, so its data bit reads back; the manual trigger, so every run records
  // whatever the signal does.
  click(controls().gpioPanel()->directionPanel(5));
  QComboBox* type = controls().triggerTypeCombo();
  type->setCurrentIndex(analogComboIndex('M'));
  emit type->activated(analogComboIndex('M'));
  ASSERT_TRUE(until([&] {
    return settled() && dev().settings().gpioDirection == 1u << 5 &&
           dev().settings().triggerType == 'M';
  }));
  for (const SettingKind& k : kinds)
    for (int gap : {0, 120, 249})
      for (bool single : {true, false}) {
        changeAndRun(k, gap, single);
        if (HasFatalFailure()) return;
      }
}

// The pattern bits of the logic analyser, clicked just before RUN.
TEST_F(SettingBeforeRun, PatternClickJustBeforeRunReachesTheDevice) {
  boot();
  enterMode(kModeLAIO);
  QComboBox* logic = controls().logicTriggerTypeCombo();
  logic->setCurrentIndex(logicComboIndex('P'));
  emit logic->activated(logicComboIndex('P'));
  ASSERT_TRUE(until([&] { return settled() && dev().settings().triggerType == 'P'; }, 3000));
  TGpioPatternPanel& p = *controls().patternPanel();
  for (int gap : {0, 249}) {
    const std::uint8_t relevance = dev().settings().trigger.relevance;
    const int before = records().logicRecords;
    click(p.relevancePanel(2));
    advance(gap);
    click(run().runButton());
    ASSERT_TRUE(
        until([&] { return records().logicRecords > before && dev().measuring(); }, 3000));
    stopAndSettle();
    EXPECT_EQ(dev().settings().trigger.relevance, relevance ^ 0x04) << gap;
    EXPECT_EQ(mismatch(), "") << gap;
  }
}

// Quick changes in the mode selector: the mode chosen last is the one the window, its layout
// and the device end in.
TEST_F(RunFaults, QuickBackAndForthInTheModeSelectorEndsInTheModeChosenLast) {
  boot();
  struct Sequence {
    std::vector<int> steps;  // +1 Down, -1 Up in CB_Modes
    int gapMs;
  };
  const std::vector<Sequence> sequences = {
      {{+1, -1}, 0},          {{+1, -1}, 50},         {{+1, -1}, 200},
      {{+1, -1}, 400},        {{-1, +1}, 100},        {{+1, +1, -1, -1}, 60},
      {{+1, +1, +1, -1}, 90}, {{-1, -1, -1, +1, +1}, 150}, {{+1, +1, -1, -1, +1}, 30},
      {{-1, +1, -1, +1}, 250},
  };
  QComboBox* modes = controls().modes();
  for (const Sequence& q : sequences) {
    ASSERT_TRUE(until([&] { return settled(); }, 5000));
    const int start = modes->currentIndex();
    const std::size_t smd = rec_.of("*SMd").size();
    std::string trace = "from " + modeCodeText(kModeCodes[start]) + " gap " +
                        std::to_string(q.gapMs) + ":";
    int index = start;
    for (int step : q.steps) {
      QTest::keyClick(modes, step > 0 ? Qt::Key_Down : Qt::Key_Up);
      index += step;
      trace += " " + modeCodeText(kModeCodes[index]);
      advance(q.gapMs);
    }
    SCOPED_TRACE(trace);
    ASSERT_EQ(modes->currentIndex(), index);
    ASSERT_TRUE(until([&] { return settled(); }, 8000));
    advance(500);
    const ModeCode want = kModeCodes[index];
    EXPECT_EQ(modeCodeText(dev().mode()), modeCodeText(want));
    EXPECT_EQ(modeCodeText(acq().mode()), modeCodeText(want));
    EXPECT_EQ(modeCodeText(w_->settingsModel().layoutMode()), modeCodeText(want));
    EXPECT_EQ(modes->currentIndex(), index);
    EXPECT_EQ(mismatch(), "");
    // Back where it started within one polling interval: nothing was sent at all.
    if (index == start && q.gapMs == 0) {
      EXPECT_EQ(rec_.of("*SMd").size(), smd);
    }
  }
}

// The sample-time question in the logger modes, answered at human speed: the manual trigger
// still reaches the device, with the longer sample time after Yes.
class LoggerQuestion : public RunFaults,
                       public ::testing::WithParamInterface<std::tuple<ModeCode, int, bool>> {};

TEST_P(LoggerQuestion, ManualTriggerReachesTheDeviceWhateverTheAnswer) {
  const auto [mode, delay, yes] = GetParam();
  boot();
  ASSERT_LT(dev().settings().sampleTime, 9.9e-5f);
  ASSERT_NE(dev().settings().triggerType, std::uint32_t('M'));
  answer_.delayMs = delay;
  answer_.answer = yes;
  chooseMode(mode);
  ASSERT_TRUE(until([&] { return acq().mode() == mode && answer_.asked > 0 && settled(); },
                    4 * delay + 5000));
  EXPECT_EQ(dev().settings().triggerType, std::uint32_t('M'));
  EXPECT_EQ(controls().logicTriggerTypePanel()->text(), QStringLiteral("\"M\""));
  EXPECT_EQ(dev().settings().sampleTime, yes ? 9.9e-5f : 1e-5f);
  EXPECT_EQ(mismatch(), "");
}

INSTANTIATE_TEST_SUITE_P(Answers, LoggerQuestion,
                         ::testing::Combine(::testing::Values(kModeDLA0, kModeDLDI),
                                            ::testing::Values(50, 500, 5000),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return modeCodeText(std::get<0>(info.param)) + "_" +
                                  std::to_string(std::get<1>(info.param)) + "ms_" +
                                  (std::get<2>(info.param) ? "Yes" : "No");
                         });

// RUN at once after the logger mode was confirmed, before its manual-trigger timer fired.
TEST_F(RunFaults, LoggerRunPressedAtOnceGoesOutWithTheManualTrigger) {
  boot();
  for (ModeCode mode : {kModeDLA0, kModeDLDI}) {
    SCOPED_TRACE(modeCodeText(mode));
    if (mode == kModeDLDI) {
      // Back to the scope, with an edge trigger the device keeps.
      enterMode(kModeOSA0);
      QComboBox* b = controls().triggerTypeCombo();
      b->setCurrentIndex(analogComboIndex('E'));
      emit b->activated(analogComboIndex('E'));
      ASSERT_TRUE(until([&] { return settled() && dev().settings().triggerType == 'E'; }, 3000));
    }
    std::uint32_t typeAtRun = 0;
    rec_.onWrite = [&](const RecordingDriver::Written& w) {
      if (w.word() == "*RUN" && typeAtRun == 0) typeAtRun = dev().settings().triggerType;
    };
    chooseMode(mode);
    ASSERT_TRUE(until([&] { return acq().mode() == mode; }, 2000));
    click(run().runButton());
    ASSERT_TRUE(until([&] { return dev().logging(); }, 3000));
    EXPECT_EQ(typeAtRun, std::uint32_t('M'));
    rec_.onWrite = nullptr;
    stopAndSettle();
    EXPECT_EQ(mismatch(), "");
  }
}

}  // namespace
