#pragma once
// Time texts of the timing diagram. The axis labels and the cursor read-out of one view share
// one form, chosen from the largest time the view shows: seconds with one SI prefix up to a
// minute, clock fields beyond ("02:43.412 mm:ss"). Each text carries the fraction digits its
// resolution needs (the label step, or one pixel for the read-out), so a zoom deep into a long
// run still tells its samples apart.
#include <QString>

namespace tolv {

struct TTimeTextStyle {
  enum class Form { Seconds, MinSec, HourMinSec, DayHourMinSec };
  Form form = Form::Seconds;
  int exponent3 = 0;  // SI prefix of the seconds form: -3 writes "ms"

  friend bool operator==(const TTimeTextStyle&, const TTimeTextStyle&) = default;
};

// Form for times up to maxAbs in magnitude: clock fields when it is more than 60 s (60 s
// itself still reads "60 s"), hours from 3600 s and days from 86400 s on.
TTimeTextStyle timeTextStyle(double maxAbs);

// Fraction digits that resolve a step (0.5 -> 1, 0.002 -> 3, 1 -> 0), at most 9.
int decimalsFor(double resolution);

// Axis label of t for labels `step` apart, in the axis' style.
QString timeAxisLabel(double t, double step, const TTimeTextStyle& style);

// Read-out of t where one pixel spans `resolution` seconds: the clock form of the axis, or
// seconds with their own prefix and at least 5 significant digits.
QString timeReadOutText(double t, double resolution, const TTimeTextStyle& style);

}  // namespace tolv
