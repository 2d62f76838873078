#pragma once
// Values derived from a record's settings, shared by files and plots.
#include <cstdint>

#include "device/records.h"
#include "device/settingsrecord.h"

namespace tolv {

// Nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4), clamped to the 32-bit range.
std::int32_t roundHalfEven(double x);
// M = round((1 - triggerPoint * 0.01) * n): the samples after the trigger.
std::int32_t postTriggerSamples(double triggerPoint, std::int32_t n);
// round(triggerPoint * 0.01 * count).
std::int32_t triggerSample(double triggerPoint, double count);
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
// The samples the device measured after the trigger before it sent a scope or logic-analyser
// record of `samples`: M, or of a record short of its depth (cut at the scope's memory, or
// handed over short) those of the whole depth after its trigger sample, since the device
// measured the whole depth and only the transfer was cut.
std::int64_t measuredAfterTrigger(double triggerPoint, double memoryDepth, std::int32_t samples);
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
