#include "measure/derived.h"

#include <algorithm>
#include <cmath>

#include "common/nicestep.h"

namespace tolv {

std::int64_t scopeRecordDepth(double memoryDepth, std::int64_t samples) {
  const std::int64_t asked = roundHalfEven(memoryDepth);
  return asked > kScopeMemorySamples && samples < asked ? std::max<std::int64_t>(samples, 0)
                                                        : asked;
}

bool isCutScopeRecord(double memoryDepth, std::int64_t samples) {
  return samples > 0 && scopeRecordDepth(memoryDepth, samples) < roundHalfEven(memoryDepth);
}

std::int32_t scopeTriggerSample(double triggerPoint, double memoryDepth, std::int32_t samples) {
  return isCutScopeRecord(memoryDepth, samples)
             ? triggerSample(triggerPoint, double(roundHalfEven(memoryDepth)))
             : triggerSample(triggerPoint, double(samples));
}

std::int32_t scopePostTrigger(double triggerPoint, double memoryDepth, std::int32_t samples) {
  if (!isCutScopeRecord(memoryDepth, samples)) return postTriggerSamples(triggerPoint, samples);
  return std::int32_t(std::int64_t(samples) - scopeTriggerSample(triggerPoint, memoryDepth, samples));
}

std::int64_t scopeMeasuredAfterTrigger(double triggerPoint, double memoryDepth,
                                       std::int32_t samples) {
  // A scope record is short of its depth only when cut at the scope's memory.
  return isCutScopeRecord(memoryDepth, samples)
             ? measuredAfterTrigger(triggerPoint, memoryDepth, samples)
             : postTriggerSamples(triggerPoint, samples);
}

double totalRecordTime(const SettingsRecord& r) {
  return r.memoryDepth * r.sampleTime;
}

double pretriggerTime(const SettingsRecord& r) {
  return r.triggerPoint * 0.01 * totalRecordTime(r);
}

double logicTimeStep(double sampleTime) {
  return snapToDecadeStep(sampleTime);
}

}  // namespace tolv
