#include "plot/worldvalue.h"

namespace tolv {

double WorldValue::toNumber() const {
  if (kind == kWorldNumber) return number;
  if (kind == kWorldTime) return double(day) * DayTime::kSecondsPerDay + number;
  return 0.0;
}

WorldValue wvZero(std::uint8_t kind) {
  if (kind == kWorldTime) return WorldValue::seconds(0.0);
  return WorldValue::num(0.0);
}

WorldValue wvSub(const WorldValue& a, const WorldValue& b) {
  if (a.kind == kWorldNumber && b.kind == kWorldNumber) return WorldValue::num(a.number - b.number);
  if (a.kind == kWorldTime && b.kind == kWorldTime)
    return WorldValue::at(dtDiff(a.time(), b.time()));
  return a;
}

WorldValue wvAdd(const WorldValue& a, const WorldValue& b) {
  if (a.kind == kWorldNumber && b.kind == kWorldNumber) return WorldValue::num(a.number + b.number);
  if (a.kind == kWorldTime && b.kind == kWorldTime)
    return WorldValue::at(dtAdd(a.time(), b.time()));
  return a;
}

WorldValue wvAddUnits(const WorldValue& a, double x) {
  if (a.kind == kWorldNumber) return WorldValue::num(a.number + x);
  if (a.kind == kWorldTime) return WorldValue::at(dtAddSeconds(a.time(), x));
  return a;
}

WorldValue wvScale(const WorldValue& a, double x) {
  if (a.kind == kWorldNumber) return WorldValue::num(a.number * x);
  if (a.kind == kWorldTime) return WorldValue::seconds(a.time().totalSeconds() * x);
  return a;
}

bool wvLess(const WorldValue& a, const WorldValue& b) {
  if (a.kind == kWorldNumber && b.kind == kWorldNumber) return a.number < b.number;
  if (a.kind == kWorldTime && b.kind == kWorldTime)
    return a.time().totalSeconds() < b.time().totalSeconds();
  return false;
}

bool wvLessEqual(const WorldValue& a, const WorldValue& b) {
  if (a.kind == kWorldNumber && b.kind == kWorldNumber) return a.number <= b.number;
  if (a.kind == kWorldTime && b.kind == kWorldTime)
    return a.time().totalSeconds() <= b.time().totalSeconds();
  return false;
}

WorldValue wvMin(const WorldValue& a, const WorldValue& b) {
  return wvLess(a, b) ? a : b;
}

WorldValue wvMax(const WorldValue& a, const WorldValue& b) {
  return wvLess(a, b) ? b : a;
}

}  // namespace tolv
