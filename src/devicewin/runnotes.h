#pragma once
// What a device window's status line says about its run: a scope run that asks for more samples
// than the scope's memory keeps (the rest is measured and sent, but dropped), and how many
// samples a logger run has brought so far (its stream goes to a file, not to a picture, until
// the run ends: without the count nothing shows that data flows).
#include <QString>
#include <cstdint>

#include "wire/wirecommands.h"

namespace tolv {

// Empty unless a scope run's depth exceeds what its record keeps; it adds when the trigger
// point lies beyond the part kept, so the record holds no trigger.
QString scopeDepthNote(ModeCode mode, double memoryDepth, double triggerPoint);

// Empty unless automatic binary saving is chosen in a mode that has no binary file (voltmeter
// and loggers keep their data in the intermediate file): then it says so, so a choice that
// writes nothing does not pass for one that worked.
QString binSaveNote(ModeCode mode, int autoSaveMode);

// The samples among the bytes a logger stream brought; once the run has ended its end marker
// is no sample.
std::int64_t loggerSamples(std::int64_t bytes, bool ended);
QString loggerReceivedNote(std::int64_t bytes, bool ended);

// After the device is back: the run its disconnection ended. What had arrived is kept, except
// a record cut off in flight (bytesCut > 0 of bytesExpected), which was discarded.
QString runEndedByLossNote(std::int32_t bytesCut, std::int32_t bytesExpected);

}  // namespace tolv
