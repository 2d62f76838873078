#pragma once
// A plot coordinate: a plain number or an absolute date and time. The payload is shared: a
// number uses the seconds field of the time, so changing only the kind (as the point lists do)
// reads a number as seconds of day 0 and a time as its seconds of the day.
#include <cstdint>

#include "common/daytime.h"

namespace tolv {

enum WorldKind : std::uint8_t { kWorldNumber = 0, kWorldTime = 1 };

struct WorldValue {
  double number = 0.0;   // the number, or the seconds of the day of a time
  std::int32_t day = 0;  // day number of a time
  std::uint8_t kind = kWorldNumber;

  static WorldValue num(double v) {
    WorldValue w;
    w.number = v;
    return w;
  }
  static WorldValue at(const DayTime& t) {
    WorldValue w;
    w.kind = kWorldTime;
    const DayTime n = t.normalised();
    w.number = n.seconds;
    w.day = n.day;
    return w;
  }
  static WorldValue seconds(double s) { return at(dtFromSeconds(s)); }

  DayTime time() const { return DayTime{number, day}; }
  bool isNumber() const { return kind == kWorldNumber; }
  bool isTime() const { return kind == kWorldTime; }
  // Numbers give their value, times their total seconds, other kinds 0.
  double toNumber() const;

  friend bool operator==(const WorldValue& a, const WorldValue& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == kWorldTime) return a.day == b.day && a.number == b.number;
    return a.number == b.number;
  }
};

// The zero of a kind: number 0, or the DayTime of 0 seconds.
WorldValue wvZero(std::uint8_t kind);
// a - b: numbers subtract, times subtract as DayTimes; mixed or unknown kinds give a copy of a.
WorldValue wvSub(const WorldValue& a, const WorldValue& b);
// a + b with the same rules.
WorldValue wvAdd(const WorldValue& a, const WorldValue& b);
// a + x units (numbers) or x seconds (times).
WorldValue wvAddUnits(const WorldValue& a, double x);
// a * x: a time becomes total seconds * x rebuilt with day part 0 and normalised.
WorldValue wvScale(const WorldValue& a, double x);
// Comparisons on values (numbers) or total seconds (times); false for mixed or unknown kinds.
bool wvLess(const WorldValue& a, const WorldValue& b);
bool wvLessEqual(const WorldValue& a, const WorldValue& b);
// On equal values the minimum returns b and the maximum returns a.
WorldValue wvMin(const WorldValue& a, const WorldValue& b);
WorldValue wvMax(const WorldValue& a, const WorldValue& b);

}  // namespace tolv
