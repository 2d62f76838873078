#include "common/typedlists.h"

#include <QAbstractEventDispatcher>
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

TIdleObject::TIdleObject(QObject* parent) : QObject(parent) {}

void TIdleObject::Install() {
  auto* dispatcher = QAbstractEventDispatcher::instance();
  if (installed_ || !dispatcher) return;
  connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TIdleObject::Idle);
  installed_ = true;
}

void TIdleObject::Idle() {
  if (overAbout_) return;
  // Guard against a stack of override cursors left by nested busy phases.
  int guard = 64;
  while (QGuiApplication::overrideCursor() && guard-- > 0) QGuiApplication::restoreOverrideCursor();
}

}  // namespace tolv
