// Known physical inputs of the simulated devices read back through the acquisition cycle and
// the program's own conversion: a wrong range, offset, probe factor, channel or sample time
// shows as a wrong voltage or a wrong number of periods.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "common/rawvolts.h"
#include "fake_device.h"
#include "ftdi/simulated_driver.h"
#include "wire/wire.h"

using namespace tolv;
using namespace tolv::test;

namespace {

// One device window's acquisition on a hub shared with the other windows, so several devices
// measure on the same clock.
struct Window {
  Window(TManualTimerHub& hub, IFtdiDriver& driver, int n)
      : followUp(hub.create(0)),
        accumulate(hub.create(0)),
        settings(hub.create(0)),
        closeTimer(hub.create(0)),
        link(driver),
        acq(link, {followUp, accumulate, settings, closeTimer}, sink) {
    link.setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(n)));
  }
  TManualTimer& followUp;
  TManualTimer& accumulate;
  TManualTimer& settings;
  TManualTimer& closeTimer;
  TDeviceLink link;
  TLastRecordSink sink;
  TAcquisition acq;
};

class SimInputs : public ::testing::Test {
 protected:
  ManualClock clock;
  TSimulatedDriver sim{2, clock};
  TManualTimerHub hub{clock};
  std::vector<std::unique_ptr<Window>> windows;

  void SetUp() override {
    for (int n = 1; n <= 2; ++n) {
      windows.push_back(std::make_unique<Window>(hub, sim, n));
      ASSERT_EQ(windows.back()->acq.open([](SettingsRecord&) { return 2; }), 2);
    }
    advance(1500);
    ASSERT_EQ(acq().mode(), kModeOSA0);
  }
  void advance(std::int64_t ms) { hub.advance(ms); }
  TAcquisition& acq(int i = 0) { return windows[std::size_t(i)]->acq; }
  TLastRecordSink& sink(int i = 0) { return windows[std::size_t(i)]->sink; }
  TSimulatedDevice& dev(int i = 0) { return sim.device(std::size_t(i)); }

  // Changes the desired settings and waits for the device's reply.
  void settle(const std::function<void(SettingsWriteBlock&)>& change, int i = 0) {
    change(acq(i).desired());
    acq(i).requestSettingsWrite();
    advance(1000);
    ASSERT_EQ(acq(i).runState(), RunState::Idle);
  }
  // One single-shot scope record, converted by the program.
  const std::vector<ScopeSample>& record(int i = 0) {
    const int before = sink(i).scopeRecords;
    acq(i).setSingleShot(true);
    acq(i).runClicked();
    EXPECT_TRUE(hub.advanceUntil([&] { return sink(i).scopeRecords > before; }, 5000));
    advance(100);
    return sink(i).scope;
  }
  void selectMode(ModeCode m) {
    acq().selectMode(m);
    advance(1000);
    ASSERT_EQ(acq().mode(), m);
  }
};

TEST_F(SimInputs, DcInputReadsBackWithinOneRawStepThroughEveryRangeAndOffsetThatFitsIt) {
  dev().setInput(0, TSimulatedSignal::dc(1.234));
  dev().setInput(1, TSimulatedSignal::dc(-0.567));
  int combinations = 0;
  for (const float ampl : {0.2f, 0.5f, 1.0f, 2.0f, 5.0f, 10.0f, 20.0f}) {
    for (const float offs : {0.0f, 1.0f, 1.2f, 1.25f, 1.3f, -2.0f, 3.0f, 6.0f}) {
      if (std::abs(1.234 - offs) >= ampl / 2 * 0.999) continue;
      SCOPED_TRACE(std::to_string(ampl) + " V, offset " + std::to_string(offs));
      ++combinations;
      settle([&](SettingsWriteBlock& b) {
        b.amplC0 = ampl;
        b.offsC0 = offs;
        b.amplC1 = 2;  // channel 1 keeps its own range and offset
        b.offsC1 = 0;
        b.triggerType = 'M';
      });
      ASSERT_FLOAT_EQ(acq().storedReply().amplC0, ampl);
      const auto& r = record();
      ASSERT_EQ(r.size(), 1000u);
      for (const ScopeSample& s : r) {
        ASSERT_NEAR(s.ch0, 1.234, ampl / 65536.0);
        ASSERT_NEAR(s.ch1, -0.567, 2.0 / 65536.0);
      }
    }
  }
  EXPECT_EQ(combinations, 37);
}

TEST_F(SimInputs, AnInputBeyondTheRangeClipsAtTheRangesEnds) {
  dev().setInput(0, TSimulatedSignal::dc(4.0));
  dev().setInput(1, TSimulatedSignal::dc(-4.0));
  settle([](SettingsWriteBlock& b) {
    b.amplC0 = b.amplC1 = 2;
    b.offsC0 = b.offsC1 = 0;
    b.triggerType = 'M';
  });
  const auto& r = record();
  ASSERT_EQ(r.size(), 1000u);
  for (const ScopeSample& s : r) {
    ASSERT_FLOAT_EQ(s.ch0, float(rawToVolts(65535, 2, 0, 1, 1)));  // 0.99997 V
    ASSERT_FLOAT_EQ(s.ch1, -1.0f);
  }
  // An offset moves the window: 4 V fits +-1 V around 3.5 V.
  settle([](SettingsWriteBlock& b) { b.offsC0 = 3.5f; });
  for (const ScopeSample& s : record()) ASSERT_NEAR(s.ch0, 4.0, 2.0 / 65536);
}

TEST_F(SimInputs, ProbeFactorTenWithTheAuxDividerScalesTheKnownInput) {
  dev().setInput(0, TSimulatedSignal::dc(1.0));
  dev().setInput(1, TSimulatedSignal::dc(1.0));
  settle([](SettingsWriteBlock& b) {
    b.amplC0 = b.amplC1 = 5;
    b.triggerType = 'M';
  });
  ConversionInputs& conv = acq().conversion();
  conv.probe = {10.0, 1.0};
  conv.aux = 0.85;
  const double step = 5.0 / 65536;
  auto r = record();
  // (10 - 1) / 0.85 + 1 = 11.588...; channel 1 keeps factor 1.
  EXPECT_NEAR(r[0].ch0, 11.588235, 11.59 * step);
  EXPECT_NEAR(r[0].ch1, 1.0, step);
  conv.aux = 1.0;
  r = record();
  EXPECT_NEAR(r[0].ch0, 10.0, 10 * step);
  // The voltmeter's floats are scaled the same way.
  conv.aux = 0.85;
  selectMode(kModeVMD0);
  acq().setSingleShot(true);
  acq().runClicked();
  advance(1000);
  EXPECT_NEAR(sink().lastVoltmeter.ch0, 11.588235, 11.59 * step);
  EXPECT_NEAR(sink().lastVoltmeter.ch1, 1.0, step);
}

TEST_F(SimInputs, SampleTimeSetsHowManyPeriodsOfASineARecordShows) {
  dev().setInput(0, TSimulatedSignal::sine(2.0, 1000.0, 0.0, 0.3));
  for (const auto& [dt, periods] : {std::pair{1e-5f, 10}, std::pair{1e-4f, 100}}) {
    SCOPED_TRACE(periods);
    settle([dt = dt](SettingsWriteBlock& b) {
      b.sampleTime = dt;
      b.memoryDepth = 1000;
      b.triggerType = 'T';
      b.levelUpper = 0;
    });
    const auto& r = record();
    ASSERT_EQ(r.size(), 1000u);
    std::vector<int> rising;
    for (int k = 1; k < 1000; ++k) {
      if (r[std::size_t(k - 1)].ch0 < 0 && r[std::size_t(k)].ch0 >= 0) rising.push_back(k);
    }
    // One rising zero per period: 1000 samples span 10 or 100 ms.
    EXPECT_GE(int(rising.size()), periods - 1);
    EXPECT_LE(int(rising.size()), periods);
    const int perPeriod = 1000 / periods;
    for (std::size_t i = 1; i < rising.size(); ++i) {
      EXPECT_NEAR(rising[i] - rising[i - 1], perPeriod, 1);
    }
    // The trigger at level 0 sits at the trigger point.
    EXPECT_NE(std::find(rising.begin(), rising.end(), 500), rising.end());
  }
}

TEST_F(SimInputs, TwoDevicesMeasuringTogetherRecordDifferentSignals) {
  for (int i = 0; i < 2; ++i) {
    acq(i).setSingleShot(true);
    acq(i).runClicked();
  }
  ASSERT_TRUE(hub.advanceUntil(
      [&] { return sink(0).scopeRecords == 1 && sink(1).scopeRecords == 1; }, 3000));
  const auto& a = sink(0).scope;
  const auto& b = sink(1).scope;
  ASSERT_EQ(a.size(), b.size());
  int differ = 0;
  for (std::size_t k = 0; k < a.size(); ++k) differ += std::abs(a[k].ch0 - b[k].ch0) > 0.05;
  // Both are triggered on their rising 0.5 V: close to the trigger point they agree.
  EXPECT_GT(differ, int(a.size()) / 2);
}

TEST_F(SimInputs, WindowTriggerFiresWhereTheInputEntersBetweenOneAndNineVolts) {
  settle([](SettingsWriteBlock& b) {
    b.amplC0 = 20;
    b.offsC0 = 2;  // -8 ... 12 V
    b.triggerType = 'W';
    b.levelUpper = 9;
    b.levelLower = 1;
  });
  const double step = 20.0 / 65536;
  // From below: a sine of +-5 V enters at 1 V.
  dev().setInput(0, TSimulatedSignal::sine(5.0, 1000.0));
  auto r = record();
  ASSERT_EQ(r.size(), 1000u);
  EXPECT_LT(r[499].ch0, 1.0 + step);
  EXPECT_GE(r[500].ch0, 1.0 - step);
  EXPECT_LT(r[500].ch0, 1.0 + 0.32);  // at most one sample's rise past the level
  // From above: a falling sawtooth from 12 V enters at 9 V.
  dev().setInput(0, TSimulatedSignal::ramp(12.0, -6.0, 0.003));
  r = record();
  ASSERT_EQ(r.size(), 1000u);
  EXPECT_GT(r[499].ch0, 9.0 - step);
  EXPECT_LE(r[500].ch0, 9.0 + step);
  EXPECT_GT(r[500].ch0, 9.0 - 0.07);  // 6 V/ms: 0.06 V per sample
}

TEST_F(SimInputs, ATriggerThatNeverComesKeepsMeasuringUntilStopReturnsToIdle) {
  dev().setInput(0, TSimulatedSignal::dc(0.2));
  settle([](SettingsWriteBlock& b) {
    b.triggerType = 'T';
    b.levelUpper = 0.5f;
  });
  acq().runClicked();
  advance(10000);
  EXPECT_EQ(acq().runState(), RunState::Measuring);
  EXPECT_FALSE(acq().controlsEnabled());
  EXPECT_EQ(sink().scopeRecords, 0);
  EXPECT_TRUE(dev().waitingForTrigger());
  acq().stopClicked();
  ASSERT_TRUE(hub.advanceUntil([&] { return acq().runState() == RunState::Idle; }, 1000));
  // The device sent its memory on the stop: a record like any other.
  EXPECT_EQ(sink().scopeRecords, 1);
  EXPECT_EQ(sink().scope.size(), 1000u);
  EXPECT_FALSE(dev().measuring());
  EXPECT_TRUE(acq().controlsEnabled());
  advance(1000);
  EXPECT_EQ(acq().runState(), RunState::Idle);
  // Once the input reaches the level the device triggers again.
  dev().setInput(0, TSimulatedSignal::sine(1.0, 1000.0));
  EXPECT_EQ(record().size(), 1000u);
}

TEST_F(SimInputs, VoltmeterReadsTheSameInputsAsTheScope) {
  dev().setInput(0, TSimulatedSignal::dc(1.234));
  dev().setInput(1, TSimulatedSignal::sine(3.0, 500.0));
  settle([](SettingsWriteBlock& b) {
    b.amplC0 = 5;
    b.amplC1 = 10;
  });
  for (ModeCode m : {kModeVMD0, kModeVMD1, kModeVMA0, kModeVMA1}) {
    SCOPED_TRACE(modeCodeText(m));
    selectMode(m);
    acq().setSingleShot(true);
    acq().runClicked();
    advance(1000);
    const VoltmeterValues& v = sink().lastVoltmeter;
    // DC: the mean over the measuring time; AC: the true RMS. The raw modes answer converter
    // values, which the program turns into the same volts.
    const bool rms = m == kModeVMA0 || m == kModeVMA1;
    EXPECT_NEAR(v.ch0, 1.234, 5.0 / 65536);
    EXPECT_NEAR(v.ch1, rms ? 3.0 / std::sqrt(2.0) : 0.0, 2e-3);
  }
}

}  // namespace

namespace {

TEST(SimIdentification, ALongerIdentificationIsCutToItsFirst32Characters) {
  ManualClock clock;
  TSimulatedDriver sim{1, clock};
  const std::string id = "Tolvanex Scope 1, firmware 3.04 build 2026-11\r\n";  // 47 bytes
  sim.device(0).setIdentification(id);
  TManualTimerHub hub{clock};
  Window w(hub, sim, 1);
  ASSERT_EQ(w.acq.open([](SettingsRecord&) { return 2; }), 2);
  hub.advance(1500);
  EXPECT_EQ(w.acq.identification().toStdString(), id.substr(0, 32));
  // The bytes beyond the 32 did not disturb the replies that follow.
  EXPECT_EQ(w.acq.mode(), kModeOSA0);
  EXPECT_FLOAT_EQ(w.acq.storedReply().amplC0, 10.0f);
}

}  // namespace
