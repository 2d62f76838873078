#include "devicewin/runnotes.h"

#include <algorithm>

#include "common/texttable.h"
#include "device/records.h"
#include "measure/derived.h"
#include "wire/wiremeasure.h"

namespace tolv {

QString scopeDepthNote(ModeCode mode, double memoryDepth, double triggerPoint) {
  if (mode != kModeOSA0 || !(memoryDepth > double(kScopeMemorySamples))) return {};
  QString note =
      text(kTextScopeDepthCut)
          .arg(QString::number(std::int64_t(memoryDepth)), QString::number(kScopeMemorySamples));
  // The trigger sample as the cut record itself counts it.
  if (scopeTriggerSample(triggerPoint, memoryDepth, kScopeMemorySamples) >= kScopeMemorySamples)
    note += QLatin1Char(' ') + text(kTextScopeTriggerCut);
  return note;
}

QString binSaveNote(ModeCode mode, int autoSaveMode) {
  constexpr int kAutoSaveBin = 2;
  if (autoSaveMode != kAutoSaveBin || !(isVoltmeterMode(mode) || isLoggerMode(mode))) return {};
  return text(kTextNoBinFile).arg(QString::fromStdString(modeCodeText(mode)));
}

std::int64_t loggerSamples(std::int64_t bytes, bool ended) {
  if (ended) bytes -= std::int64_t(kEndMarker.size());
  return std::max<std::int64_t>(bytes, 0) / 4;
}

QString loggerReceivedNote(std::int64_t bytes, bool ended) {
  return text(kTextLoggerReceived).arg(loggerSamples(bytes, ended));
}

QString runEndedByLossNote(std::int32_t bytesCut, std::int32_t bytesExpected) {
  if (bytesCut <= 0) return text(kTextRunEndedByLoss);
  return text(kTextRunEndedRecordCut).arg(bytesCut).arg(bytesExpected);
}

}  // namespace tolv
