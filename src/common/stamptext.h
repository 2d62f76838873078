#pragma once
// Reading date-and-time texts back into stamps: what dateTimeText (format.h) writes under the
// current regional settings, and the usual shapes written under other settings (German
// "d.M.yyyy", ISO "yyyy-M-d", US "M/d/yyyy" with AM/PM, "d MMM yyyy").
#include <QString>

#include "common/daytime.h"

namespace tolv {

// 0 and the moment the text names, or 9220 when it names none (the value is then unchanged).
// Leading and trailing blanks are ignored; a date alone is midnight of that day; a fraction of
// the second may follow the seconds or the whole time ("2:30:12 PM.5"), with "." or ",".
// The current regional formats are tried first, so ambiguous texts read the local way.
int dateTimeFromText(const QString& text, DayTime& value);

// The same against one date format and one time format (Qt format letters; an empty time
// format reads a date alone). A two-digit year is taken within 50 years of the current one.
int dateTimeFromText(const QString& text, const QString& dateFormat, const QString& timeFormat,
                     DayTime& value);

}  // namespace tolv
