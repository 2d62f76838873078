#pragma once
// One simulated Tolvanex device: the device side of the wire protocol, driven by the bytes the
// host writes and by an IClock (no threads, no sleeping). Replies and measurement data become
// readable over time: a run first measures (memory depth x sample time), then its bytes arrive
// at the link rate. Faults can be injected for tests.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "common/clock.h"
#include "wire/wire.h"

namespace tolv {

// Speed of the simulated USB link: `bytes` every `intervalUs`; intervalUs 0 delivers at once.
struct LinkRate {
  std::uint32_t bytes = 4;
  std::uint32_t intervalUs = 127;
  static LinkRate instant() { return {4, 0}; }
};

class TSimulatedDevice {
 public:
  // Amplitude ranges the device offers (volts peak-to-peak); requests snap to these.
  static constexpr float kAmplitudeTable[7] = {0.2f, 0.5f, 1.0f, 2.0f, 5.0f, 10.0f, 20.0f};
  static constexpr std::uint32_t kMaxMemoryDepth = 262000;

  // A device without firmware is an FTDI bridge of some other product: it never answers.
  TSimulatedDevice(std::string serial, std::string description, IClock& clock,
                   bool firmware = true);

  const std::string& serial() const { return serial_; }
  const std::string& description() const { return description_; }
  bool hasFirmware() const { return firmware_; }

  void setLinkRate(LinkRate rate) { rate_ = rate; }
  LinkRate linkRate() const { return rate_; }
  // Delay between a command's arrival and the start of its reply.
  void setReplyLatencyUs(std::int64_t us) { latencyUs_ = us; }
  // Every received command and every sent reply is appended to DIR/<serial>.trace.
  void setTraceDir(const std::filesystem::path& dir) { traceDir_ = dir; }
  void setIdentification(const std::string& text) { identification_ = text; }

  // --- host side -------------------------------------------------------------------------
  // Bytes written by the host; complete commands are executed at once.
  void receive(const std::uint8_t* data, std::size_t n);
  // Bytes that have arrived and wait to be read.
  std::size_t available();
  // Moves up to n arrived bytes to buf; returns how many.
  std::size_t take(std::uint8_t* buf, std::size_t n);
  // Drops the arrived bytes (purge of the receive buffer).
  void purgeReceived();

  // --- state, for tests and the window's simulated world -----------------------------------
  ModeCode mode() const { return mode_; }
  const SettingsReply& settings() const { return settings_; }
  bool measuring() const { return runKind_ != RunKind::None; }
  bool logging() const { return runKind_ == RunKind::Logger; }
  std::uint64_t commandCount() const { return commandCount_; }

  // --- faults ------------------------------------------------------------------------------
  // A silent device takes commands but never answers.
  void setSilent(bool silent) { silent_ = silent; }
  // n bytes of noise become readable at once.
  void injectGarbage(std::size_t n);
  // Every following scope, logic-analyser or voltmeter record is followed by n extra bytes.
  void setExtraBytesAfterRecord(std::size_t n) { extraAfterRecord_ = n; }

  // Raw converter value of a voltage in a channel's range and offset (32768 = middle).
  static std::uint16_t rawFromVolts(double volts, double ampl, double offs);
  // Nearest amplitude range that covers the request.
  static float snapAmplitude(float requested);

 private:
  enum class RunKind { None, Record, Logger };
  struct Segment {
    std::vector<std::uint8_t> data;
    std::int64_t startUs = 0;
    std::size_t moved = 0;
    bool record = false;  // measurement data a stop may still cancel before it starts
  };

  void execute(WireCommand c, const std::uint8_t* cmd, std::size_t len);
  void applyWrite(const SettingsWriteBlock& block);
  void startRun();
  void stopRun();
  void queueReply(std::vector<std::uint8_t> bytes, std::int64_t startUs, bool record = false);
  void pump();
  std::int64_t transferUs(std::size_t n) const;
  std::size_t arrivedOf(const Segment& s, std::int64_t nowUs) const;
  void trace(const char* direction, const std::uint8_t* data, std::size_t n);

  std::vector<std::uint8_t> scopeRecord();
  std::vector<std::uint8_t> logicRecord();
  std::vector<std::uint8_t> voltmeterRecord();
  std::uint16_t logicLines(std::int64_t g) const;
  double channelVolts(int ch, double t) const;
  double signalFrequency() const;
  std::uint32_t readGpio() const;

  std::string serial_;
  std::string description_;
  IClock& clock_;
  bool firmware_ = true;
  LinkRate rate_;
  std::int64_t latencyUs_ = 2000;
  std::filesystem::path traceDir_;
  std::string identification_ = "Tolvanex Scope 1 (simulated) \r\n";

  ModeCode mode_ = kModeOSA0;
  SettingsReply settings_;
  std::vector<std::uint8_t> input_;
  std::vector<std::uint8_t> ready_;
  std::size_t readyHead_ = 0;
  std::deque<Segment> segments_;
  std::int64_t lastSegmentEndUs_ = 0;

  RunKind runKind_ = RunKind::None;
  std::int64_t runStartUs_ = 0;
  std::int64_t nextSampleUs_ = 0;
  std::int64_t loggerSample_ = 0;
  std::uint64_t runCounter_ = 0;
  std::uint64_t commandCount_ = 0;

  bool silent_ = false;
  std::size_t extraAfterRecord_ = 0;
  std::uint32_t noise_ = 0x1234567u;
};

}  // namespace tolv
