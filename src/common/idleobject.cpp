// TIdleObject (declared with the typed lists) apart from them: it needs the windowing part of
// the toolkit, which the lists' users without a window do not load.
#include <QAbstractEventDispatcher>
#include <QGuiApplication>

#include "common/typedlists.h"

namespace tolv {

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
