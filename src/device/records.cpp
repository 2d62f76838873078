#include "device/records.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace tolv {

std::int32_t roundHalfEven(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return 2147483647;
  if (x <= -2147483648.0) return -2147483647 - 1;
  // The default rounding mode of the floating-point unit rounds halves to even.
  return std::int32_t(std::nearbyint(x));
}

std::int32_t postTriggerSamples(double triggerPoint, std::int32_t n) {
  return roundHalfEven((1.0 - triggerPoint * 0.01) * double(n));
}

std::int32_t triggerSample(double triggerPoint, double count) {
  return roundHalfEven(triggerPoint * 0.01 * count);
}

std::int64_t measuredAfterTrigger(double triggerPoint, double memoryDepth, std::int32_t samples) {
  const std::int64_t depth = roundHalfEven(memoryDepth);
  if (samples <= 0 || samples >= depth) return postTriggerSamples(triggerPoint, samples);
  return depth - triggerSample(triggerPoint, double(depth));
}

TLastRecordSink::TLastRecordSink(std::filesystem::path deviceFolder)
    : folder_(std::move(deviceFolder)) {
  scope.reserve(std::size_t(kScopeMemorySamples));
  logic.reserve(std::size_t(kLogicMemorySamples));
}

int TLastRecordSink::scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) {
  scope.resize(std::min(raw.size() / 4, std::size_t(kScopeMemorySamples)));
  scope.resize(convertScopeRecord(raw, conv, scope.data(), scope.size()));
  ++scopeRecords;
  event("scope");
  return 0;
}

void TLastRecordSink::logicRecord(std::span<const std::uint8_t> raw) {
  logic.resize(std::min(raw.size() / 4 * 2, std::size_t(kLogicMemorySamples)));
  logic.resize(decodeLogicRecord(raw, logic.data(), logic.size()));
  ++logicRecords;
  event("logic");
}

void TLastRecordSink::voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) {
  lastVoltmeterRecord = rec;
  lastVoltmeter = v;
  ++voltmeterReadings;
  event("voltmeter");
}

void TLastRecordSink::loggerRunStarted(ModeCode mode) {
  ++loggerRuns;
  loggerBytes = 0;
  if (logger_.is_open()) logger_.close();
  loggerFile.clear();
  event("loggerStart");
  if (folder_.empty()) return;
  const std::string family = "Intermediate_" + modeCodeText(mode);
  std::error_code ec;
  std::filesystem::create_directories(folder_ / family, ec);
  // The first free number; after 999 the numbers wrap to three digits.
  for (int k = 1; k <= 1000; ++k) {
    char name[64];
    std::snprintf(name, sizeof name, "%s_%03d.FIL", family.c_str(), k % 1000);
    const auto p = folder_ / family / name;
    if (!std::filesystem::exists(p, ec) || k == 1000) {
      loggerFile = p;
      break;
    }
  }
  logger_.open(loggerFile, std::ios::binary | std::ios::trunc);
}

int TLastRecordSink::loggerChunk(ModeCode, std::span<const std::uint8_t> bytes) {
  loggerBytes += bytes.size();
  event("loggerChunk");
  if (folder_.empty()) return 0;
  if (!logger_.is_open()) return 5;  // input/output error: the run has no open file
  logger_.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return logger_ ? 0 : 5;
}

void TLastRecordSink::loggerRunEnded(ModeCode) {
  ++loggerEnded;
  if (logger_.is_open()) logger_.close();
  event("loggerEnd");
}

}  // namespace tolv
