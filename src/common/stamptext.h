#pragma once
// Reading date-and-time texts back into stamps: the fixed forms the program stores
// (storedDateTimeText and the CSV cells of format.h), what earlier versions wrote in the
// regional formats of whatever machine they ran on, and, as a last resort, the usual shapes
// typed by hand (German "d.M.yyyy", ISO "yyyy-M-d", "d/M/yyyy", US "M/d/yyyy" with AM/PM,
// "d MMM yyyy").
#include <QString>

#include "common/daytime.h"

namespace tolv {

// A text header's "Date Time" value: 0 and the moment the text names, or 9220 when it names
// none (the value is then unchanged). Leading and trailing blanks are ignored; a date alone is
// midnight of that day; a fraction of the second may follow the seconds or the whole time
// ("2:30:12 PM.5"), with "." or ",". The result does not depend on this machine's regional
// settings, except where an earlier version's text fits several (see stamptext.cpp).
int dateTimeFromText(const QString& text, DayTime& value);

// The date and time cells of a scope or logic-analyser CSV ("MM.DD.YYYY", "HH:MM:SS.ms"), or
// the cells an earlier version wrote in the regional formats.
int dateTimeFromCsvCells(const QString& date, const QString& time, DayTime& value);

// The same against one date format and one time format (Qt format letters; an empty time
// format reads a date alone). A two-digit year is taken within 50 years of the current one.
int dateTimeFromText(const QString& text, const QString& dateFormat, const QString& timeFormat,
                     DayTime& value);

}  // namespace tolv
