#include "devicewin/runnotes.h"

#include <algorithm>

#include "common/texttable.h"
#include "device/records.h"
#include "wire/wiremeasure.h"

namespace tolv {

QString scopeDepthNote(ModeCode mode, double memoryDepth) {
  if (mode != kModeOSA0 || !(memoryDepth > double(kScopeMemorySamples))) return {};
  return text(kTextScopeDepthCut)
      .arg(QString::number(std::int64_t(memoryDepth)), QString::number(kScopeMemorySamples));
}

std::int64_t loggerSamples(std::int64_t bytes, bool ended) {
  if (ended) bytes -= std::int64_t(kEndMarker.size());
  return std::max<std::int64_t>(bytes, 0) / 4;
}

QString loggerReceivedNote(std::int64_t bytes, bool ended) {
  return text(kTextLoggerReceived).arg(loggerSamples(bytes, ended));
}

}  // namespace tolv
