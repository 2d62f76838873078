#pragma once
// Texts and steps of axis labels: the label of a WorldValue, the step search rule RangeStep
// and rounding a value to a multiple of a step, for numbers and times alike.
#include <QString>
#include <cstdint>

#include "plot/worldvalue.h"

namespace tolv {

// Tick label: engineering notation without blanks ("200mV"), fixed point for "%" units,
// date / time of day / fraction for times above a second, "500 ms" for shorter times.
QString worldLabelText(const WorldValue& v, int digits, const QString& unit);
// The label of a time value (the unit is not used for times). Without the date a label shows
// only its time of day (an axis writes the date once and again where the day changes).
QString timeLabelText(const DayTime& t, int digits, bool withDate = true);
// The day whose date a time label shows; INT32_MIN for labels without a date (short times
// and durations).
std::int32_t timeLabelDay(const DayTime& t);

// Next larger label step: numbers niceStepUp(1.01 v); times niceTimeStep(2.001 s) from one
// second on, else niceStepUp(1.1 s), as a time again.
WorldValue rangeStep(const WorldValue& v);
// The label step search: where it starts for the range step R (R * 0.01; on time axes the
// readable step at or below it) and the step it tries next (numbers rangeStep; times the
// next of ... 0.5 s, 1 s, 2 s, 5 s, 10 s, 15 s, 30 s, 1 min ... of the time table, so the
// step can grow past any entry).
WorldValue firstLabelStep(const WorldValue& range);
WorldValue nextLabelStep(const WorldValue& step);
// v rounded to a multiple of step (numbers, or seconds for times: within the day for steps of
// up to a day, the day kept apart).
WorldValue roundWorldToStep(const WorldValue& v, const WorldValue& step);

// The value a tick at v is labelled with: numbers below step * 0.00001 in magnitude are 0,
// so rounding noise of the tick loop does not show as "-111.02a".
WorldValue tickShownValue(const WorldValue& v, const WorldValue& step);

// Cell of the coordinate read-out: a number as mantissa right-aligned in 7 characters, a
// blank, the prefix right-aligned in a field of 2 and the unit ("  1.5  mV", "    3   V"); a
// time in its label form.
QString koordCellText(const WorldValue& v, const QString& unit);

}  // namespace tolv
