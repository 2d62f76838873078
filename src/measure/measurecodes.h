#pragma once
// Result codes of the record layer besides 0 and the file system's error numbers.
#include <QString>

#include "common/resulttext.h"

namespace tolv {

inline constexpr int kNoSamples = -111;          // no samples, or a header without time
inline constexpr int kShortBlock = -180;         // a binary block was written short
inline constexpr int kIntermediateNotOpen = -189;  // a reading while its file is not open
inline constexpr int kNoMultiHandle = -1002;     // registering without a window handle
inline constexpr int kUnknownMode = -1010;       // a reply or file of a mode this layer has no use for
// Every one of the thousand names of an intermediate family is taken: nothing is
// overwritten, the measurement stays on screen and the user has to erase files first.
inline constexpr int kNoFreeIntermediateName = -1020;
inline constexpr int kEmptySampleList = -2230;

// Any code of this layer or below in words, German for language 0, English otherwise.
QString measureResultText(int rc, int language, ResultContext context = ResultContext::Reading);

}  // namespace tolv
