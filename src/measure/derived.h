#pragma once
// Values derived from a record's settings, shared by files and plots.
#include <cstdint>

#include "device/records.h"
#include "device/settingsrecord.h"

namespace tolv {

// roundHalfEven, postTriggerSamples, triggerSample and measuredAfterTrigger are in
// device/records.h: the acquisition reckons with the same time after the trigger.
// The depth a scope record of `samples` really has: its memory depth, unless that asks more
// than the scope's memory keeps and the record ended before it.
std::int64_t scopeRecordDepth(double memoryDepth, std::int64_t samples);
// A scope record cut at the scope's memory holds the first samples of the depth the device
// measured, so its trigger lies TriggerPoint % of that depth in, maybe after its last sample.
bool isCutScopeRecord(double memoryDepth, std::int64_t samples);
// The trigger sample of a scope record of `samples`, counted from its first sample:
// round(TriggerPoint % of the samples), of a cut record round(TriggerPoint % of the depth).
std::int32_t scopeTriggerSample(double triggerPoint, double memoryDepth, std::int32_t samples);
// Its post-trigger samples M = round((1 - TriggerPoint %) x samples); of a cut record the
// samples after its trigger sample, 0 or fewer when the trigger lies after the record.
std::int32_t scopePostTrigger(double triggerPoint, double memoryDepth, std::int32_t samples);
// The same for a scope record, short of its depth only when cut at the scope's memory.
std::int64_t scopeMeasuredAfterTrigger(double triggerPoint, double memoryDepth,
                                       std::int32_t samples);
// MemoryDepth * SamplTim.
double totalRecordTime(const SettingsRecord& r);
// TriggerPoint * 0.01 * total record time.
double pretriggerTime(const SettingsRecord& r);
// The time step of logic-analyser and I/O-logger samples: the sample time snapped onto the
// nominal 1-2-5 value the logic plot uses.
double logicTimeStep(double sampleTime);

}  // namespace tolv
