#include "devicewin/tf_onetolvanex_linkpanel.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "common/texttable.h"
#include "devicewin/panel_scopecontrols_widgets.h"

namespace tolv {

namespace {

QLabel* makePanel(const QString& name, const QString& caption, QWidget* parent) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(name);
  l->setAlignment(Qt::AlignCenter);
  l->setFrameShape(QFrame::Panel);
  l->setFrameShadow(QFrame::Sunken);
  l->setAutoFillBackground(true);
  l->setMinimumWidth(44);
  return l;
}

}  // namespace

TOneTolvanexLinkPanel::TOneTolvanexLinkPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PN_Link"));
  setFrameShape(QFrame::StyledPanel);

  read_ = makePanel(QStringLiteral("PN_ReadStatus"), QStringLiteral("Read"), this);
  write_ = makePanel(QStringLiteral("PN_WriteStatus"), QStringLiteral("Write"), this);
  paintPanel(read_, initialColor(), QStringLiteral("Read"));
  paintPanel(write_, initialColor(), QStringLiteral("Write"));

  debugStack_ = new QStackedWidget(this);
  debugStack_->setObjectName(QStringLiteral("PN_DebugArea"));
  cover_ = new QLabel(debugStack_);
  cover_->setObjectName(QStringLiteral("PN_HideDebug"));
  cover_->setFrameShape(QFrame::Panel);
  cover_->setFrameShadow(QFrame::Raised);
  cover_->installEventFilter(this);

  debugPage_ = new QWidget(debugStack_);
  debugPage_->setObjectName(QStringLiteral("PN_DebugControls"));
  // One row: the debug line, then whatever debug controls the window adds.
  auto* dl = new QHBoxLayout(debugPage_);
  dl->setContentsMargins(2, 0, 2, 0);
  test_ = new QLabel(debugPage_);
  test_->setObjectName(QStringLiteral("PN_Test"));
  test_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  dl->addWidget(test_, 1);

  debugStack_->addWidget(cover_);
  debugStack_->addWidget(debugPage_);
  debugStack_->setCurrentWidget(cover_);
  debugStack_->setFixedHeight(24);

  state_ = makePanel(QStringLiteral("PN_LinkState"), QString(), this);
  paintPanel(state_, redColor(), QString());
  state_->setVisible(false);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("PN_LinkMessage"));
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  message_->setVisible(false);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(3, 3, 3, 3);
  outer->setSpacing(2);
  auto* lay = new QHBoxLayout;
  lay->setSpacing(4);
  lay->addWidget(read_);
  lay->addWidget(write_);
  lay->addWidget(state_);
  lay->addWidget(debugStack_, 1);
  outer->addLayout(lay);
  outer->addWidget(message_);
}

void TOneTolvanexLinkPanel::showLinkMessage(const QString& state, const QString& message) {
  state_->setText(state);
  state_->setVisible(!state.isEmpty());
  message_->setText(message);
  message_->setVisible(!message.isEmpty());
}

QColor TOneTolvanexLinkPanel::initialColor() {
  return QApplication::palette().color(QPalette::Button);
}

void TOneTolvanexLinkPanel::paintPanel(QLabel* panel, const QColor& c, const QString& caption) {
  QPalette p = panel->palette();
  p.setColor(QPalette::Window, c);
  // Black on bright colours (green), white on dark ones (red).
  const int luma = (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
  p.setColor(QPalette::WindowText, luma > 128 ? QColor(Qt::black) : QColor(Qt::white));
  panel->setPalette(p);
  panel->setText(caption);
}

void TOneTolvanexLinkPanel::showState(QLabel* panel, TDeviceLink::PanelState state, FtStatus status,
                                      const QString& idleCaption) {
  switch (state) {
    case TDeviceLink::PanelState::Initial:
      paintPanel(panel, initialColor(), idleCaption);
      break;
    case TDeviceLink::PanelState::Green:
      paintPanel(panel, greenColor(), idleCaption);
      break;
    case TDeviceLink::PanelState::Red:
      paintPanel(panel, redColor(), QString::number(status));
      break;
  }
}

void TOneTolvanexLinkPanel::showReadState(TDeviceLink::PanelState state, FtStatus status) {
  showState(read_, state, status, QStringLiteral("Read"));
}

void TOneTolvanexLinkPanel::showWriteState(TDeviceLink::PanelState state, FtStatus status) {
  showState(write_, state, status, QStringLiteral("Write"));
}

void TOneTolvanexLinkPanel::showTestLine(const QString& line) {
  test_->setText(line);
}

void TOneTolvanexLinkPanel::setDebugCovered(bool covered) {
  debugStack_->setCurrentWidget(covered ? static_cast<QWidget*>(cover_) : debugPage_);
}

void TOneTolvanexLinkPanel::applyTexts() {
  cover_->setToolTip(hintText(kTextUncoverDebugHint));
}

bool TOneTolvanexLinkPanel::debugCovered() const {
  return debugStack_->currentWidget() == cover_;
}

bool TOneTolvanexLinkPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cover_ && event->type() == QEvent::MouseButtonPress) {
    setDebugCovered(false);
    return true;
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace tolv
