// RUN, STOP, Single and Overlap clicked at random while records stream over a slow simulated
// link, and the multi-device window's START arriving at any time, some handled at once and some
// while the window is busy (inside its ticks and record steps): every record the window stores
// is exactly one record the device sent, as its trace shows. Fixed seeds, so a failure repeats;
// TOLV_STRESS_SEEDS=N runs more.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "devicewin/window_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

// Keeps the raw bytes of every scope record on its way to the window's data layer.
class RawKeeper final : public IRecordSink {
 public:
  IRecordSink* inner = nullptr;
  std::vector<std::vector<std::uint8_t>> scope;

  void recordStamped(const RecordStamp& s) override { inner->recordStamped(s); }
  int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) override {
    scope.emplace_back(raw.begin(), raw.end());
    return inner->scopeRecord(raw, conv);
  }
  void scopeRecordFinish() override { inner->scopeRecordFinish(); }
  void logicRecord(std::span<const std::uint8_t> raw) override { inner->logicRecord(raw); }
  int logicRecordFinish() override { return inner->logicRecordFinish(); }
  void voltmeterReading(const VoltmeterReplyRecord& r, const VoltmeterValues& v) override {
    inner->voltmeterReading(r, v);
  }
  int loggerChunk(ModeCode m, std::span<const std::uint8_t> b) override {
    return inner->loggerChunk(m, b);
  }
};

// The records (4000-byte replies) of a trace, as hex texts.
std::vector<std::string> sentRecords(const std::filesystem::path& trace) {
  std::vector<std::string> out;
  std::ifstream f(trace);
  std::string line;
  while (std::getline(f, line)) {
    std::istringstream in(line);
    long long ms = 0;
    std::string dir;
    std::size_t n = 0;
    if (!(in >> ms >> dir >> n) || dir != "out" || n != 4000) continue;
    std::string rest;
    std::getline(in, rest);
    out.push_back(rest);
  }
  return out;
}

std::string hexOf(const std::vector<std::uint8_t>& b) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(b.size() * 3);
  for (std::uint8_t c : b) {
    s += ' ';
    s += kHex[c >> 4];
    s += kHex[c & 15];
  }
  return s;
}

class RunStress : public WindowRig {
 protected:
  std::mt19937 rng_;
  std::string log_;
  RawKeeper keeper_;

  int pick(int n) { return int(rng_() % unsigned(n)); }
  bool usable(QWidget* w) { return w->isVisibleTo(w_.get()) && w->isEnabled(); }
  // A click handled now, or one that waits until the window next lets events run (inside a
  // tick or a record's steps), as a click on a busy window does.
  void clickSomeTime(QWidget* w, const char* name) {
    const bool later = pick(2) == 0;
    log_ += std::to_string(clock_.nowMs()) + (later ? " (later) " : " ") + name + "; ";
    auto act = [this, w] {
      if (usable(w)) QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    };
    if (later)
      QMetaObject::invokeMethod(w, act, Qt::QueuedConnection);
    else
      act();
  }
  // The multi-device window's START reaches the device window whatever it is doing.
  void multiStart() {
    const bool later = pick(2) == 0;
    log_ += std::to_string(clock_.nowMs()) + (later ? " (later) " : " ") + "multi START; ";
    if (later)
      QMetaObject::invokeMethod(
          w_.get(), [this] { acq().runNow(); }, Qt::QueuedConnection);
    else
      acq().runNow();
  }
  void act() {
    switch (pick(5)) {
      case 4:
        multiStart();
        break;
      case 0:
        clickSomeTime(run().runButton(), "RUN");
        break;
      case 1:
        clickSomeTime(run().breakButton(), "STOP");
        break;
      case 2:
        clickSomeTime(run().singleShotBox(), "Single");
        break;
      default:
        clickSomeTime(run().overlapBox(), "Overlap");
        break;
    }
  }
};

TEST_F(RunStress, EveryStoredRecordIsExactlyOneTheDeviceSent) {
  boot();
  // Records of 1000 samples take 127 ms over the link: clicks fall while they arrive.
  sim_.setLinkRate(LinkRate{});
  const auto trace = std::filesystem::path(dir_.path().toStdString()) / "trace";
  std::filesystem::create_directories(trace);
  dev().setTraceDir(trace);
  keeper_.inner = &w_->plots().data();
  w_->setRecordSink(&keeper_);
  unsigned seeds = 8;
  if (const char* n = std::getenv("TOLV_STRESS_SEEDS")) seeds = unsigned(std::max(1, std::atoi(n)));
  for (unsigned seed = 1; seed <= seeds; ++seed) {
    rng_.seed(seed);
    for (int step = 0; step < 150; ++step) {
      act();
      advance(pick(4) == 0 ? pick(10) : pick(160));
    }
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + log_);
    log_.clear();
    QApplication::processEvents();
    ASSERT_TRUE(until(
        [&] {
          if (!run().breakButton()->isHidden()) click(run().breakButton());
          return settled();
        },
        5000))
        << "state " << int(acq().runState()) << " queue " << acq().queue().count();
  }
  // Every stored record is one the device sent, none stored twice; what the device sent and
  // the window did not store was discarded after a STOP.
  const std::vector<std::string> sent =
      sentRecords(trace / (TSimulatedDriver::serialFor(1) + ".trace"));
  ASSERT_GE(keeper_.scope.size(), std::size_t(10 * seeds));
  std::map<std::string, int> times;
  for (const std::string& s : sent) ++times[s];
  std::map<std::string, int> stored;
  for (std::size_t i = 0; i < keeper_.scope.size(); ++i) {
    const std::vector<std::uint8_t>& r = keeper_.scope[i];
    ASSERT_EQ(r.size(), 4000u) << "record " << i;
    const std::string h = hexOf(r);
    ASSERT_TRUE(times.count(h)) << "record " << i << " is no record the device sent";
    EXPECT_LE(++stored[h], times[h]) << "record " << i << " stored twice";
  }
  EXPECT_LE(keeper_.scope.size(), sent.size());
}

}  // namespace
