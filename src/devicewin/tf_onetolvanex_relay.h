#pragma once
// The record sink a device window hands to its acquisition cycle: it passes every record on to
// the data layer attached at the moment, so the per-mode data layer can be attached after the
// cycle has been built. Without one attached, the last records are kept in memory.
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
  void loggerRunStarted(ModeCode mode) override { target_->loggerRunStarted(mode); }
  int loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) override {
    return target_->loggerChunk(mode, bytes);
  }
  void loggerRunEnded(ModeCode mode) override { target_->loggerRunEnded(mode); }

 private:
  IRecordSink& fallback_;
  IRecordSink* target_;
};

}  // namespace tolv
