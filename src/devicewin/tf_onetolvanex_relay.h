#pragma once
// The record sink a device window hands to its acquisition cycle: it passes every record on to
// the data layer attached at the moment, so the per-mode data layer can be attached after the
// cycle has been built. Without one attached, the last records are kept in memory.
#include <cstdint>
#include <functional>

#include "device/records.h"

namespace tolv {

class TRecordSinkRelay final : public IRecordSink {
 public:
  explicit TRecordSinkRelay(IRecordSink& fallback) : fallback_(fallback), target_(&fallback) {}
  // nullptr returns to the fallback.
  void setTarget(IRecordSink* s) { target_ = s ? s : &fallback_; }
  IRecordSink& target() const { return *target_; }

  void recordStamped(const RecordStamp& s) override { target_->recordStamped(s); }
  int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) override {
    return target_->scopeRecord(raw, conv);
  }
  void scopeRecordFinish() override { target_->scopeRecordFinish(); }
  void logicRecord(std::span<const std::uint8_t> raw) override { target_->logicRecord(raw); }
  int logicRecordFinish() override { return target_->logicRecordFinish(); }
  void voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) override {
    target_->voltmeterReading(rec, v);
  }
  void voltmeterRunStarted(bool singleShot) override { target_->voltmeterRunStarted(singleShot); }
  void voltmeterStopped() override { target_->voltmeterStopped(); }
  void loggerRunStarted(ModeCode mode) override {
    loggerBytes_ = 0;
    target_->loggerRunStarted(mode);
    if (onLoggerBytes) onLoggerBytes(loggerBytes_, false);
  }
  int loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) override {
    loggerBytes_ += std::int64_t(bytes.size());
    const int rc = target_->loggerChunk(mode, bytes);
    if (onLoggerBytes) onLoggerBytes(loggerBytes_, false);
    return rc;
  }
  void loggerRunEnded(ModeCode mode) override {
    target_->loggerRunEnded(mode);
    if (onLoggerBytes) onLoggerBytes(loggerBytes_, true);
  }

  // The bytes of the logger run so far (marker included) after each chunk, and once more with
  // true when the run has ended.
  std::function<void(std::int64_t bytes, bool ended)> onLoggerBytes;

 private:
  IRecordSink& fallback_;
  IRecordSink* target_;
  std::int64_t loggerBytes_ = 0;
};

}  // namespace tolv
