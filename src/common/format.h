#pragma once
// Value texts with units and SI prefixes, time-stamp texts, and the fast fixed-point number
// formatter used for CSV tables.
#include <QString>
#include <cstddef>
#include <string>

#include "common/daytime.h"

namespace tolv {

// --- Values with units -------------------------------------------------------------------

// A value for statistics and read-outs: durations for second units above a minute,
// fixed-point for percent units, engineering notation with SI prefix otherwise.
QString valueText(double x, int digits, const QString& unit);

// The pieces of engineering notation: mantissa text with `digits` significant digits (at
// least 3, trailing zeros removed) and the power of ten, a multiple of 3.
struct EngParts {
  QString mantissa;
  int exponent3 = 0;
  bool finite = true;
};
EngParts engParts(double x, int digits);
// SI prefix for a multiple-of-3 exponent from -15 to 12 ("µ" is U+00B5); empty outside.
QString siPrefix(int exponent3);
// Mantissa, optional blank, prefix (or "E+nn"/"E-nn" outside the prefix range) and unit.
// The plot's axis labels use blank = false.
QString engText(double x, int digits, const QString& unit, bool blank);

// Duration text for second units ("01:30 mm:ss", "1 01:01:01 d hh:mm:ss").
QString durationText(double seconds, int digits, const QString& unit);

// |seconds| rounded once to `decimals` fraction digits (0..9) and split into clock fields, so
// 59.9996 s at 3 digits is 1 minute and 0.000 s. Shared by every duration-like text.
struct DurationFields {
  bool negative = false;  // only when something non-zero is left after rounding
  long long days = 0, hours = 0, minutes = 0, seconds = 0;
  long long fraction = 0;  // the fraction digits as a whole number
  int decimals = 0;
};
DurationFields durationFields(double seconds, int decimals);
// Two-digit (or wider) zero-padded field, "07".
QString padField(long long v, int width = 2);

// --- Time-stamp texts --------------------------------------------------------------------

// Texts for the screen, in the regional formats.
QString dateText(const DayTime& t);  // system short date format
// Time of day in the system long time format + "." + 3 to 6 fraction digits.
QString timeText(const DayTime& t);
// Date text (with a four-digit year), two blanks, time of day and fraction with at least one
// fraction digit. readDateTimeValue (settingsio.h) reads it back under any regional setting.
QString dateTimeText(const DayTime& t);
// Texts of stamps the program stores: one fixed form whatever the regional settings, so a file
// reads back the same on every machine.
// "dd.MM.yyyy  HH:mm:ss" and the fraction with trailing zeros removed, at least one digit
// ("08.12.2026  22:32:58.736"): the "Date Time" value of text headers.
QString storedDateTimeText(const DayTime& t);
// CSV cells as their notes name them: "MM.DD.YYYY" ("12.08.2026"), "MM.DD.YY" ("12.08.26") and
// "HH:MM:SS.ms" ("22:32:58.736", milliseconds cut as in the file names).
QString csvDateText(const DayTime& t);
QString csvShortDateText(const DayTime& t);
QString csvTimeText(const DayTime& t);
// "HH:MM:SS" and the microseconds, trailing zeros removed, at least the milliseconds
// ("22:32:58.7365"); rounded as csvDateText, so the two cells name one moment.
QString csvMicroTimeText(const DayTime& t);
// "YYYYMMDD/HHMMSS": a day folder followed by the time digits.
QString fileNameStamp(const DayTime& t);
// Fraction of the second as "." + digits: trailing zeros removed, at least minDigits kept.
QString fractionText(const DayTime& t, int minDigits);

// --- Fast fixed-point numbers ------------------------------------------------------------

// Bytes formatFixed may need for the given width and decimals (the terminating zero included).
constexpr std::size_t formatFixedCapacity(int width, int decimals) {
  std::size_t w = width >= 0 ? std::size_t(width) : std::size_t(-(long long)width);
  std::size_t d = decimals > 0 ? std::size_t(decimals) : 6;
  std::size_t need = 1 + 309 + 1 + d + 1;  // sign, integer digits of DBL_MAX, point, fraction
  return (w + 1 > need ? w + 1 : need);
}

// Writes v like printf("%*.*f", width, decimals, v) with the decimal point replaced by
// decimalSep; the text is identical to snprintf's. `out` must hold formatFixedCapacity()
// bytes. Returns the length written (without the terminating zero).
int formatFixed(char* out, double v, int width, int decimals, char decimalSep);
// As above with a capacity; returns -1 (and writes an empty text) when the text does not fit.
int formatFixed(char* out, std::size_t capacity, double v, int width, int decimals,
                char decimalSep);
// Appends the text to s.
void appendFixed(std::string& s, double v, int width, int decimals, char decimalSep);
std::string fixedText(double v, int width, int decimals, char decimalSep);
QString fixedQText(double v, int width, int decimals, QChar decimalSep);

}  // namespace tolv
