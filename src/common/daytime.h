#pragma once
// DayTime: the program's time stamp. In files and memory images it is 16 bytes:
// bytes 0-9 an 80-bit extended-precision count of seconds since midnight, bytes 10-11 zero,
// bytes 12-15 a signed 32-bit day number (day 1 = 1 January of year 1).
#include <array>
#include <cstdint>

class QDateTime;

namespace tolv {

struct DayTime {
  double seconds = 0.0;  // seconds since midnight; 0 <= seconds < 86400 once normalised
  std::int32_t day = 0;  // day 1 = 0001-01-01 (proleptic Gregorian)

  static constexpr std::int32_t kDay18991230 = 693594;
  static constexpr double kSecondsPerDay = 86400.0;

  double totalSeconds() const { return double(day) * kSecondsPerDay + seconds; }
  DayTime normalised() const;
  static DayTime fromTotalSeconds(double total);

  std::array<std::uint8_t, 16> toBytes() const;
  static DayTime fromBytes(const std::uint8_t* bytes16);

  friend bool operator==(const DayTime& a, const DayTime& b) {
    return a.day == b.day && a.seconds == b.seconds;
  }
};

// Explicit 80-bit x87 extended format: sign, 15-bit exponent (bias 16383),
// 64-bit mantissa with explicit integer bit; little-endian, 10 bytes.
void encodeExtended80(double value, std::uint8_t* out10);
double decodeExtended80(const std::uint8_t* in10);

DayTime dayTimeNow();  // local time, millisecond resolution
DayTime dtNormalise(const DayTime& t);
DayTime dtAdd(const DayTime& a, const DayTime& b);
double dtDiffSeconds(const DayTime& a, const DayTime& b);  // a - b
DayTime dtDiff(const DayTime& a, const DayTime& b);        // a - b, normalised
DayTime dtAddSeconds(const DayTime& a, double s);
DayTime dtFromSeconds(double total);
double dtTotalSeconds(const DayTime& a);
// ratio = total(a) / total(b); returns 0, or -190 when total(b) is 0 (ratio untouched).
int dtRatio(const DayTime& a, const DayTime& b, double& ratio);
bool dtLess(const DayTime& a, const DayTime& b);
bool dtLessEqual(const DayTime& a, const DayTime& b);

QDateTime dtToQDateTime(const DayTime& t);  // milliseconds rounded, local time
DayTime dtFromQDateTime(const QDateTime& dt);

}  // namespace tolv
