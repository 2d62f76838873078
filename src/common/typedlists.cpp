#include "common/typedlists.h"

namespace tolv {

void TTaggedTimedFloatPointList::Clear() {
  TTypedList<VoltmeterReading>::Clear();
  tagged_ = 0;
  counter_ = 1;
}

int TTaggedTimedFloatPointList::Add(const VoltmeterReading& v) {
  if (v.tag != 0) ++tagged_;
  return TTypedList<VoltmeterReading>::Add(v);
}

}  // namespace tolv
