#pragma once
// A device window on manual timers against a simulated device, with every write noted.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QLayout>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/paths.h"
#include "common/texttable.h"
#include "device/settingstables.h"
#include "devicewin/panel_gpio.h"
#include "devicewin/panel_scopecontrols_groups.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "ftdi/simulated_driver.h"
#include "support/driver_rig.h"

namespace tolv::test {

// Passes every call to the simulated driver and notes each write with its time.
class RecordingDriver final : public ForwardingDriver {
 public:
  RecordingDriver(IFtdiDriver& d, IClock& c) : ForwardingDriver(d), clock_(c) {}
  struct Written {
    std::int64_t atMs;
    std::vector<std::uint8_t> bytes;
    std::string word() const { return std::string(bytes.begin(), bytes.begin() + 4); }
  };
  std::vector<Written> writes;

  FtStatus write(FtHandle h, const std::uint8_t* b, std::uint32_t n,
                 std::uint32_t& written) override {
    if (n >= 4) writes.push_back({clock_.nowMs(), std::vector<std::uint8_t>(b, b + n)});
    if (onWrite) onWrite(writes.back());
    return inner_.write(h, b, n, written);
  }

  std::vector<Written> of(const char* word) const {
    std::vector<Written> v;
    for (const auto& w : writes)
      if (w.word() == word) v.push_back(w);
    return v;
  }
  // Called before each write reaches the device.
  std::function<void(const Written&)> onWrite;

 private:
  IClock& clock_;
};

// Answers the window's Yes/No questions after a while, as a user reading the box would: the
// clock (and every timer due meanwhile) moves on while the box is open.
struct DelayedAnswer final : IQuestionSink {
  std::function<void(std::int64_t)> wait;
  std::int64_t delayMs = 0;
  bool answer = false;
  int asked = 0;
  bool askYesNo(const QString&) override {
    ++asked;
    if (wait && delayMs > 0) wait(delayMs);
    return answer;
  }
};

// Keeps the last records and their counts while passing every record on to the window's
// measurement data, so tests see what reached the data layer without replacing it.
class TeeRecordSink final : public TLastRecordSink {
 public:
  IRecordSink* inner = nullptr;

  void recordStamped(const RecordStamp& s) override {
    inner->recordStamped(s);
    TLastRecordSink::recordStamped(s);
  }
  int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) override {
    const int rc = inner->scopeRecord(raw, conv);
    TLastRecordSink::scopeRecord(raw, conv);
    return rc;
  }
  void scopeRecordFinish() override {
    inner->scopeRecordFinish();
    TLastRecordSink::scopeRecordFinish();
  }
  void logicRecord(std::span<const std::uint8_t> raw) override {
    inner->logicRecord(raw);
    TLastRecordSink::logicRecord(raw);
  }
  int logicRecordFinish() override {
    const int rc = inner->logicRecordFinish();
    TLastRecordSink::logicRecordFinish();
    return rc;
  }
  void voltmeterReading(const VoltmeterReplyRecord& r, const VoltmeterValues& v) override {
    inner->voltmeterReading(r, v);
    TLastRecordSink::voltmeterReading(r, v);
  }
  void voltmeterRunStarted(bool single) override { inner->voltmeterRunStarted(single); }
  void voltmeterStopped() override { inner->voltmeterStopped(); }
  void loggerRunStarted(ModeCode m) override {
    inner->loggerRunStarted(m);
    TLastRecordSink::loggerRunStarted(m);
  }
  int loggerChunk(ModeCode m, std::span<const std::uint8_t> b) override {
    const int rc = inner->loggerChunk(m, b);
    TLastRecordSink::loggerChunk(m, b);
    return rc;
  }
  void loggerRunEnded(ModeCode m) override {
    inner->loggerRunEnded(m);
    TLastRecordSink::loggerRunEnded(m);
  }
};

// A shown device window on a simulated device, its timers stepped by hand.
class WindowRig : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    setDataRoot(std::filesystem::path(dir_.path().toStdString()));
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    sim_.setLinkRate({4096, 1000});
    w_ = std::make_unique<TF_OneTolvanex>(rec_, nullptr, [this](int ms) -> ITimer& {
      timers_.push_back(&hub_.create(ms));
      return *timers_.back();
    });
    w_->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    w_->resize(1000, 700);
    // Laid out but never shown: the many state changes of a run would otherwise each repaint
    // the whole window.
    w_->layout()->activate();
    answer_.wait = [this](std::int64_t ms) { advance(ms); };
    w_->settingsModel().setQuestionSink(&answer_);
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
    records();
    advance(1500);
    ASSERT_EQ(acq().mode(), kModeOSA0);
    ASSERT_EQ(acq().queue().count(), 0);
  }
  TAcquisition& acq() { return w_->acquisition(); }
  // The records handed to the window's data layer; put in front of it on first use, after
  // open() (which attaches the data layer of the device's folder).
  TLastRecordSink& records() {
    if (!tee_.inner) {
      tee_.inner = &w_->plots().data();
      w_->setRecordSink(&tee_);
    }
    return tee_;
  }
  TSettingsModel& model() { return w_->settingsModel(); }
  TOneTolvanexRunPanel& run() { return *w_->runPanel(); }
  TSimulatedDevice& dev() { return sim_.device(0); }
  void click(QWidget* b) {
    QApplication::processEvents();
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
  }
  // The window's timers in the order it makes them.
  TManualTimer& accumulateTimer() { return *timers_.at(1); }
  TManualTimer& forceManualTimer() { return *timers_.at(5); }
  TManualTimer& forcedSampleTimer() { return *timers_.at(6); }
  // Nothing on its way: the window idle, no command queued or awaited, no write pending.
  bool settled() {
    return acq().runState() == RunState::Idle && acq().queue().count() == 0 &&
           acq().replyTag() < 0 && !accumulateTimer().isActive() &&
           !forceManualTimer().isActive() && !forcedSampleTimer().isActive() &&
           !dev().measuring();
  }

  // Where the window does not show what the device applied; empty when it does. Compares the
  // settings the device holds with the stored reply, the desired block, the conversion, every
  // settings control and panel row, the GPIO and pattern panels and the mode selector.
  std::string mismatch() {
    std::ostringstream o;
    const auto diff = [&](const char* what, auto shown, auto device) {
      if (!(shown == device)) o << what << ": window " << shown << ", device " << device << "; ";
    };
    const SettingsReply& d = dev().settings();
    const SettingsReply& r = acq().storedReply();
    const SettingsDisplay& s = model().display();
    TScopeControlsPanel& c = *w_->scopeControlsPanel();
    if (r.toBytes() != d.toBytes()) o << "stored reply differs from the device; ";
    const SettingsWriteBlock want = d.toWriteBlock();
    SettingsWriteBlock got = acq().desired();
    got.word = want.word;
    if (!(got == want)) o << "desired block differs from the device; ";
    diff("mode", modeCodeText(acq().mode()), modeCodeText(dev().mode()));
    diff("mode shown", modeCodeText(s.modeShown), modeCodeText(dev().mode()));
    diff("CB_Modes", c.modes()->currentIndex(), modeIndex(dev().mode()));
    const auto sliderPos = [](double v, double range) {
      return int(std::clamp(std::round(v * 4096 / range), -2048.0, 2047.0));
    };
    const double ampl[2] = {d.amplC0, d.amplC1};
    const double offs[2] = {d.offsC0, d.offsC1};
    for (int ch = 0; ch < 2; ++ch) {
      const std::size_t i = std::size_t(ch);
      diff("conversion range", acq().conversion().ampl[i], ampl[i]);
      diff("conversion offset", acq().conversion().offs[i], offs[i]);
      diff("TB_AmplC", c.amplitudeTrackbar(ch)->value(), nearestRow(kAmplitudeTable, ampl[i]));
      diff("SB_OffsC", c.offsetSlider(ch)->value(), sliderPos(offs[i], ampl[i]));
    }
    diff("TB_SamplTim", c.sampleTimeTrackbar()->value(),
         nearestRow(kSampleTimeTableUs, double(d.sampleTime) * 1e6));
    diff("TB_MemoryDepth", c.memoryDepthTrackbar()->value(),
         nearestRow(kMemoryDepthTable, d.memoryDepth));
    diff("TB_TriggerPoint", c.triggerPointTrackbar()->value(), int(std::round(d.triggerPoint)));
    diff("SE_TrgChan", c.triggerChannel()->value(), int(d.trigger.channel) + 1);
    const char letter = triggerTypeLetter(d.triggerType);
    diff("trigger type row", s.trgTypRow, triggerTypeRow(letter));
    diff("PN_TrgTyp", c.triggerTypePanel()->text().toStdString(),
         std::string("\"") + letter + "\"");
    const double levelRange = ampl[d.trigger.channel == 0 ? 0 : 1];
    diff("SB_TrgLevelUpper", c.levelSlider(0)->value(), sliderPos(d.levelUpper, levelRange));
    diff("SB_TrgLevelLower", c.levelSlider(1)->value(), sliderPos(d.levelLower, levelRange));
    const TGpioModel& g = w_->gpioModel();
    diff("GPIO data", g.shownData(), d.gpioData);
    diff("GPIO direction", g.shownDirection(), d.gpioDirection);
    TGpioPanel& gp = *c.gpioPanel();
    for (int bit = 0; bit < kGpioBits; ++bit) {
      diff("PN_GPIO24BitData", gp.dataPanel(bit)->text().toStdString(),
           gpioDataLook((d.gpioData >> bit) & 1).caption.toStdString());
      diff("PN_GPIO24BitDirection", gp.directionPanel(bit)->text().toStdString(),
           gpioDirectionLook((d.gpioDirection >> bit) & 1).caption.toStdString());
    }
    const TriggerWord t = g.shownTrigger();
    diff("pattern relevance", int(t.relevance), int(d.trigger.relevance));
    diff("pattern dynamic", int(t.dynamic), int(d.trigger.dynamic));
    diff("pattern level", int(t.level), int(d.trigger.level));
    if (!acq().controlsEnabled()) o << "controls locked; ";
    return o.str();
  }

  QTemporaryDir dir_;
  ManualClock clock_;
  TSimulatedDriver sim_{1, clock_};
  RecordingDriver rec_{sim_, clock_};
  TManualTimerHub hub_{clock_};
  DelayedAnswer answer_;
  std::vector<TManualTimer*> timers_;
  TeeRecordSink tee_;
  std::unique_ptr<TF_OneTolvanex> w_;
};

}  // namespace tolv::test
