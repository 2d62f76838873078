#include "measure/derived.h"

#include <algorithm>
#include <cmath>

#include "common/nicestep.h"

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

std::int64_t measuredAfterTrigger(double triggerPoint, double memoryDepth, std::int32_t samples) {
  const std::int64_t depth = roundHalfEven(memoryDepth);
  if (samples <= 0 || samples >= depth) return postTriggerSamples(triggerPoint, samples);
  return depth - triggerSample(triggerPoint, double(depth));
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
