#pragma once
// One simulated Tolvanex device: the device side of the wire protocol, driven by the bytes the
// host writes and by an IClock (no threads, no sleeping). Each channel measures a physical
// input signal (volts over seconds of the clock) through a converter with the device's current
// range and offset; records span memory depth x sample time of that signal and are triggered
// by it. Replies and measurement data become readable over time at the link rate. Faults can
// be injected for tests.
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "common/clock.h"
#include "ftdi/simulated_input.h"
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
  // The logger's sample clock runs in these steps (microseconds); a logger asked to sample
  // faster than its link carries takes the shortest step the link keeps up with.
  static constexpr double kLoggerStepsUs[] = {1,     2,     5,      10,     20,     50,     100,
                                              200,   500,   1000,   2000,   5000,   10000,  20000,
                                              50000, 1e5,   2e5,    5e5,    1e6,    2e6,    2.5e6};
  // A voltmeter reading averages the inputs over this time, sampled every kVoltmeterStepUs.
  static constexpr std::int64_t kVoltmeterUs = 20000;
  static constexpr std::int64_t kVoltmeterStepUs = 10;
  // The external trigger input reads high above this level.
  static constexpr double kExternalHighV = 1.5;
  // IO lines 0-7 count at this rate (lines 8-11 are slower divisions of the same counter).
  static constexpr std::int64_t kLogicCounterNs = 10000;

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
  // Every received command (stamped on arrival) and every reply (stamped when its last byte
  // has become readable) is appended to DIR/<serial>.trace.
  void setTraceDir(const std::filesystem::path& dir) { traceDir_ = dir; }
  // The identification text; it is padded with blanks to 32 bytes and may be longer.
  void setIdentification(const std::string& text) { identification_ = text; }

  // --- inputs ------------------------------------------------------------------------------
  // What channel 0 or 1 measures from now on; records, readings and logger samples follow it.
  void setInput(int channel, const TSimulatedSignal& signal);
  const TSimulatedSignal& input(int channel) const { return inputs_[channel == 0 ? 0 : 1]; }
  // The external trigger input of the trigger types "X" and "x" (high above kExternalHighV).
  void setExternalInput(const TSimulatedSignal& signal) { external_ = signal; }
  const TSimulatedSignal& externalInput() const { return external_; }
  // The signals a device is born with: channel 0 a sine with a DC part, channel 1 a square
  // wave, the external input a 0/5 V clock; frequencies and phases differ per serial number.
  static TSimulatedSignal defaultInput(const std::string& serial, int channel);
  static TSimulatedSignal defaultExternalInput(const std::string& serial);
  // IO lines 0-15 at time t (ns of the clock): a counter on lines 0-11, GPIO outputs on 12-15.
  std::uint16_t logicLinesAt(std::int64_t tNs) const;

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
  // The settings as the device reports them.
  SettingsReply settings() const;
  // A run is in progress (waiting for its trigger, measuring, or its record not yet sent).
  bool measuring() const { return runKind_ != RunKind::None; }
  bool waitingForTrigger() const { return runKind_ == RunKind::Armed; }
  bool logging() const { return runKind_ == RunKind::Logger; }
  std::uint64_t commandCount() const { return commandCount_; }
  // Shortest logger sample time: the first step of kLoggerStepsUs the link can carry (4 bytes
  // per sample), in seconds.
  double minLoggerSampleTime() const;

  // --- faults ------------------------------------------------------------------------------
  // A silent device takes commands but never answers.
  void setSilent(bool silent) { silent_ = silent; }
  // n bytes of noise become readable at once.
  void injectGarbage(std::size_t n);
  // Every following scope, logic-analyser or voltmeter record is followed by n extra bytes.
  void setExtraBytesAfterRecord(std::size_t n) { extraAfterRecord_ = n; }

  // --- power -------------------------------------------------------------------------------
  // The cable is pulled: what is on its way stops where it is (the part already sent is
  // traced as sent, the rest as cut), what waited unread in the computer is gone, and a run in
  // progress ends with the power. Returns the bytes sent but never read.
  std::size_t powerOff();
  // Plugged in again: the firmware starts afresh with its power-on settings (the inputs it
  // measures are the world's and stay).
  void powerOn();

  // The converter: round(((volts - offs) / (ampl / 2) + 1) x 32768), clipped to 0...65535.
  static std::uint16_t rawFromVolts(double volts, double ampl, double offs);
  // Nearest amplitude range that covers the request.
  static float snapAmplitude(float requested);

 private:
  enum class RunKind { None, Armed, Record, Logger };
  struct Segment {
    std::vector<std::uint8_t> data;
    std::int64_t startUs = 0;
    std::size_t moved = 0;
    bool record = false;  // measurement data a stop may still cancel before it starts
  };
  // A scope or logic-analyser run waiting for its trigger. Sample k is taken at
  // startNs + k x dtNs; the trigger may fall on a sample once the pre-trigger part is full.
  struct Armed {
    std::int64_t startNs = 0;
    std::int64_t dtNs = 1000;
    std::int64_t depth = 1;
    std::int64_t npre = 0;
    std::int64_t nextK = 1;  // next sample to test
    char type = 'M';
    int channel = 0;
    double upper = 0;
    double lower = 0;
    TriggerWord word;
    bool armed = false;  // edge and slope types: the opposite state has been seen
  };

  void execute(WireCommand c, const std::uint8_t* cmd, std::size_t len);
  void applyWrite(const SettingsWriteBlock& block);
  void startRun();
  // "ZZZZ": a logger ends with the end marker, a run waiting for its trigger sends its memory.
  void stopRun();
  // A mode change: the run ends without sending what it has not started to send.
  void abandonRun();
  void queueReply(std::vector<std::uint8_t> bytes, std::int64_t startUs, bool record = false);
  void pump();
  void pumpLogger(std::int64_t nowNs);
  void searchTrigger(std::int64_t nowNs);
  bool triggerAt(std::int64_t k);
  void sendRecord(std::int64_t firstK, std::int64_t readyUs);
  std::int64_t transferUs(std::size_t n) const;
  std::size_t arrivedOf(const Segment& s, std::int64_t nowUs) const;
  void trace(std::int64_t atMs, const char* direction, const std::uint8_t* data, std::size_t n);
  void powerOnSettings();
  // Nothing in either direction and no run: the state of a device without power.
  void dropLine();

  double effectiveSampleTime() const;
  std::int64_t sampleNs(std::int64_t k) const { return armed_.startNs + k * armed_.dtNs; }
  std::uint16_t rawAt(int ch, double t) const;
  std::vector<std::uint8_t> record(std::int64_t firstK) const;
  std::vector<std::uint8_t> voltmeterRecord() const;
  std::uint32_t readGpio() const;

  std::string serial_;
  std::string description_;
  IClock& clock_;
  bool firmware_ = true;
  LinkRate rate_;
  std::int64_t latencyUs_ = 2000;
  std::filesystem::path traceDir_;
  std::string identification_ = "Tolvanex Scope 1 (simulated) \r\n";

  std::array<TSimulatedSignal, 2> inputs_;
  TSimulatedSignal external_;

  ModeCode mode_ = kModeOSA0;
  SettingsReply settings_;  // as requested; settings() reports what the device really keeps
  std::vector<std::uint8_t> input_;
  std::vector<std::uint8_t> ready_;
  std::size_t readyHead_ = 0;
  std::deque<Segment> segments_;
  std::int64_t lastSegmentEndUs_ = 0;

  RunKind runKind_ = RunKind::None;
  Armed armed_;
  std::int64_t loggerStartNs_ = 0;
  std::int64_t loggerPaceNs_ = 0;
  std::int64_t loggerSample_ = 0;
  std::uint64_t commandCount_ = 0;

  bool silent_ = false;
  std::size_t extraAfterRecord_ = 0;
  std::uint32_t noise_ = 0x1234567u;
};

}  // namespace tolv
