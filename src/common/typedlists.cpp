#include "common/typedlists.h"

#include <QGuiApplication>

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

TIdleObject::TIdleObject(QObject* parent) : QObject(parent) {
  connect(&timer_, &QTimer::timeout, this, &TIdleObject::Idle);
}

void TIdleObject::Install(int intervalMs) {
  timer_.start(intervalMs < 1 ? 1 : intervalMs);
}

void TIdleObject::Idle() {
  if (overAbout_) return;
  // Guard against a stack of override cursors left by nested busy phases.
  int guard = 64;
  while (QGuiApplication::overrideCursor() && guard-- > 0) QGuiApplication::restoreOverrideCursor();
}

}  // namespace tolv
