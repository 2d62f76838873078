#pragma once
// A scripted FTDI driver for the acquisition tests: records every write with its time, delivers
// scripted replies when the clock reaches them, and fails calls on request.
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

#include "common/clock.h"
#include "device/acquisition.h"
#include "device/devtimer.h"
#include "ftdi/device_link.h"
#include "ftdi/ftdi_driver.h"

namespace tolv::test {

using Bytes = std::vector<std::uint8_t>;

class FakeDriver : public IFtdiDriver {
 public:
  explicit FakeDriver(ManualClock& clock) : clock_(clock) {}

  struct Written {
    std::int64_t atMs;
    Bytes bytes;
  };
  std::vector<Written> writes;
  // Called after each write with the bytes; scripts replies through deliver().
  std::function<void(const Bytes&)> onWrite;
  FtStatus nextWriteStatus = kFtOk;
  // When set, the status of each write by its bytes (kFtOk: written).
  std::function<FtStatus(const Bytes&)> onWriteStatus;
  FtStatus nextQueryStatus = kFtOk;
  FtStatus nextReadStatus = kFtOk;
  bool disconnected = false;
  int queries = 0, reads = 0;

  // Bytes become readable delayMs from now.
  void deliver(const Bytes& b, std::int64_t delayMs = 0) {
    pending_.push_back({clock_.nowMs() + delayMs, b});
  }
  std::size_t rxSize() {
    settle();
    return rx_.size();
  }
  // The words written so far, as four-character texts ("*RUN", "ZZZZ", ...).
  std::vector<std::string> words() const {
    std::vector<std::string> w;
    for (const auto& x : writes) w.emplace_back(x.bytes.begin(), x.bytes.begin() + 4);
    return w;
  }
  int count(const std::string& word) const {
    int n = 0;
    for (const auto& w : words()) n += w == word;
    return n;
  }

  FtStatus listCount(std::uint32_t& c) override {
    c = 1;
    return kFtOk;
  }
  FtStatus listSerial(std::uint32_t, char* buf, std::size_t size) override {
    return text(buf, size, "FAKE0001");
  }
  FtStatus listDescription(std::uint32_t, char* buf, std::size_t size) override {
    return text(buf, size, "Tolvanex Scope 1");
  }
  FtStatus openBySerial(const char*, FtHandle& h) override {
    // A device hanging on the bus opens no better than it answers.
    if (disconnected) return gone();
    h = reinterpret_cast<FtHandle>(std::uintptr_t(1));
    return kFtOk;
  }
  FtStatus purge(FtHandle, std::uint32_t) override { return gone(); }
  FtStatus setTimeouts(FtHandle, std::uint32_t, std::uint32_t) override { return gone(); }
  FtStatus getQueueStatus(FtHandle, std::uint32_t& n) override {
    ++queries;
    if (FtStatus st = take(nextQueryStatus)) return st;
    settle();
    n = std::uint32_t(rx_.size());
    return kFtOk;
  }
  FtStatus read(FtHandle, std::uint8_t* buf, std::uint32_t toRead, std::uint32_t& got) override {
    ++reads;
    got = 0;
    if (FtStatus st = take(nextReadStatus)) return st;
    settle();
    while (got < toRead && !rx_.empty()) {
      buf[got++] = rx_.front();
      rx_.pop_front();
    }
    return kFtOk;
  }
  FtStatus write(FtHandle, const std::uint8_t* buf, std::uint32_t n,
                 std::uint32_t& written) override {
    written = 0;
    Bytes b(buf, buf + n);
    writes.push_back({clock_.nowMs(), b});
    if (FtStatus st = take(nextWriteStatus)) return st;
    if (onWriteStatus)
      if (const FtStatus st = onWriteStatus(b)) return st;
    written = n;
    if (onWrite) onWrite(b);
    return kFtOk;
  }
  FtStatus close(FtHandle) override { return kFtOk; }

 private:
  FtStatus gone() const { return disconnected ? kFtIoError : kFtOk; }
  FtStatus take(FtStatus& once) {
    if (disconnected) return kFtIoError;
    const FtStatus st = once;
    once = kFtOk;
    return st;
  }
  static FtStatus text(char* buf, std::size_t size, const char* t) {
    std::snprintf(buf, size, "%s", t);
    return kFtOk;
  }
  void settle() {
    while (!pending_.empty() && pending_.front().atMs <= clock_.nowMs()) {
      rx_.insert(rx_.end(), pending_.front().bytes.begin(), pending_.front().bytes.end());
      pending_.pop_front();
    }
  }
  struct Pending {
    std::int64_t atMs;
    Bytes bytes;
  };
  ManualClock& clock_;
  std::deque<Pending> pending_;
  std::deque<std::uint8_t> rx_;
};

// Records what the window would show.
struct RecordingHost : IAcquisitionHost {
  std::vector<RunState> states;
  std::vector<int> queueCounts;
  std::vector<std::string> events;
  int settingsApplied = 0, modesConfirmed = 0, ioApplied = 0, processed = 0;
  QString identification;
  std::function<void()> onProcessEvents;

  void processEvents() override {
    ++processed;
    if (onProcessEvents) onProcessEvents();
  }
  void runStateChanged(RunState s) override { states.push_back(s); }
  std::vector<StopShow> stops;
  std::vector<std::pair<double, double>> adjusted;  // asked, got
  void sampleTimeAdjusted(double asked, double got) override { adjusted.emplace_back(asked, got); }
  void stopShowChanged(const StopShow& s) override { stops.push_back(s); }
  void queueCountChanged(int n) override { queueCounts.push_back(n); }
  void identificationChanged(const QString& t) override { identification = t; }
  void settingsReplyApplied(const SettingsReply&, bool) override { ++settingsApplied; }
  void ioReplyApplied(const SettingsReply&) override { ++ioApplied; }
  void modeConfirmed(ModeCode) override { ++modesConfirmed; }
  std::vector<LostRun> lost;
  int back = 0;
  void deviceLost(const LostRun& r) override { lost.push_back(r); }
  void deviceBack() override { ++back; }
  int headInDoubt = 0;  // records whose start may be shifted
  bool headDoubtShown = false;
  void recordHeadInDoubt(bool doubt) override {
    headInDoubt += doubt;
    headDoubtShown = doubt;
  }
};

// The last records, and a hook into closing a voltmeter series (the window draws its chart
// there, letting events run).
struct TestSink : TLastRecordSink {
  std::function<void()> onVoltmeterStopped;
  std::vector<bool> voltmeterRunStarts;  // single shot or not, per run command
  void voltmeterRunStarted(bool single) override { voltmeterRunStarts.push_back(single); }
  void voltmeterStopped() override {
    if (onVoltmeterStopped) onVoltmeterStopped();
  }
};

// One device window's acquisition on manual timers.
struct Rig {
  Rig(ManualClock& clk, IFtdiDriver& driver)
      : clock(clk),
        hub(clock),
        followUp(hub.create(0)),
        accumulate(hub.create(0)),
        settings(hub.create(0)),
        closeTimer(hub.create(0)),
        link(driver),
        acq(link, {followUp, accumulate, settings, closeTimer}, sink, &host) {
    link.setSerialNumber("FAKE0001");
  }
  ManualClock& clock;  // shared with the driver
  TManualTimerHub hub;
  TManualTimer& followUp;
  TManualTimer& accumulate;
  TManualTimer& settings;
  TManualTimer& closeTimer;
  TDeviceLink link;
  TestSink sink;
  RecordingHost host;
  TAcquisition acq;
};

}  // namespace tolv::test
