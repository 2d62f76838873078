#pragma once
// Hand-over of completed measurements to the per-mode data layer. The acquisition cycle calls
// these in the order of the record steps; the data layer converts, stores, saves and plots.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <vector>

#include "common/daytime.h"
#include "device/decoding.h"
#include "wire/wirecommands.h"

namespace tolv {

// The samples a record can hold at most: the scope's memory (both channels per sample) and
// the logic analyser's. A record of a larger depth ends there.
inline constexpr std::int32_t kScopeMemorySamples = 131000;
inline constexpr std::int32_t kLogicMemorySamples = 262000;

// Nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4), clamped to the 32-bit range.
std::int32_t roundHalfEven(double x);
// M = round((1 - triggerPoint * 0.01) * n): the samples after the trigger.
std::int32_t postTriggerSamples(double triggerPoint, std::int32_t n);
// round(triggerPoint * 0.01 * count).
std::int32_t triggerSample(double triggerPoint, double count);
// The samples the device measured after the trigger before it sent a scope or logic-analyser
// record of `samples`: M, or of a record short of its depth (cut at the scope's memory, or
// handed over short) those of the whole depth after its trigger sample, since the device
// measured the whole depth and only the transfer was cut. Times `SamplTim` it is the time the
// acquisition waits at least for a run's record, and the time a record's trigger moment lies
// before its arrival (less the transfer): one count for both.
std::int64_t measuredAfterTrigger(double triggerPoint, double memoryDepth, std::int32_t samples);

// When and for which run a scope or logic-analyser record came (or a voltmeter reading was
// measured).
struct RecordStamp {
  // The moment the acquisition read the record's last byte (the reception time); of a
  // voltmeter reading, the moment its run went out.
  DayTime received;
  // The number of the run command the record answers (1 for the link's first "*RUN").
  std::uint32_t run = 0;
  // How long the record's bytes took over the link, s, as far as the pace of the reads tells
  // (0 for a record that came in one read). The device sends a record once it has measured it,
  // so the trigger moment lies this much and the post-trigger time before the reception.
  double transfer = 0.0;
};

class IRecordSink {
 public:
  virtual ~IRecordSink() = default;

  // Called right before scopeRecord, logicRecord or voltmeterReading with that record's stamp,
  // and before voltmeterRunStarted with the run's.
  virtual void recordStamped(const RecordStamp&) {}

  // Scope record: the steps up to the notice to the multi-device window (convert, trigger time,
  // automatic save, plot array, notice); returns the automatic save's result. `raw` is valid
  // only during the call. The remaining steps (plot, intermediate file) follow in
  // scopeRecordFinish, after the next run may already have been started.
  virtual int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) = 0;
  virtual void scopeRecordFinish() {}
  // Logic-analyser record: samples and reception time; the rest (plot, intermediate file,
  // automatic save, whose result it returns) in logicRecordFinish.
  virtual void logicRecord(std::span<const std::uint8_t> raw) = 0;
  virtual int logicRecordFinish() { return 0; }
  // One voltmeter reading: the 16-byte reply record and the converted values.
  virtual void voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) = 0;

  // A voltmeter run was written (not single shot: the intermediate file is to be open).
  virtual void voltmeterRunStarted(bool /*singleShot*/) {}
  // STOP in a voltmeter mode: close the voltmeter intermediate file.
  virtual void voltmeterStopped() {}
  // A logger run was written: open the run's next intermediate file.
  virtual void loggerRunStarted(ModeCode /*mode*/) {}
  // The bytes of one read of a logger stream, end marker included; returns the file result.
  virtual int loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) = 0;
  // The end marker arrived: close the file, plot it, save it as configured.
  virtual void loggerRunEnded(ModeCode /*mode*/) {}
};

// Minimal data layer: keeps the last converted record of each kind and writes logger streams
// raw to numbered intermediate files.
class TLastRecordSink : public IRecordSink {
 public:
  // deviceFolder empty: logger bytes are counted but not written.
  explicit TLastRecordSink(std::filesystem::path deviceFolder = {});

  int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) override;
  void scopeRecordFinish() override {
    ++scopeFinished;
    event("scopeFinish");
  }
  void logicRecord(std::span<const std::uint8_t> raw) override;
  int logicRecordFinish() override {
    ++logicFinished;
    event("logicFinish");
    return 0;
  }
  void voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) override;
  void loggerRunStarted(ModeCode mode) override;
  int loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) override;
  void loggerRunEnded(ModeCode mode) override;

  void recordStamped(const RecordStamp& s) override { stamp = s; }

  // Optional observer called at each hand-over (tests record the order of events with it).
  std::function<void(const char* what)> onEvent;

  std::vector<ScopeSample> scope;  // last scope record, converted
  std::vector<std::uint16_t> logic;
  RecordStamp stamp;  // of the last scope or logic-analyser record
  VoltmeterReplyRecord lastVoltmeterRecord{};
  VoltmeterValues lastVoltmeter;
  int scopeRecords = 0, scopeFinished = 0, logicRecords = 0, logicFinished = 0;
  int voltmeterReadings = 0, loggerRuns = 0, loggerEnded = 0;
  std::uint64_t loggerBytes = 0;  // of the current run
  std::filesystem::path loggerFile;

 private:
  void event(const char* what) {
    if (onEvent) onEvent(what);
  }
  std::filesystem::path folder_;
  std::ofstream logger_;
};

}  // namespace tolv
