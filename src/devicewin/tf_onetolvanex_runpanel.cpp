#include "devicewin/tf_onetolvanex_runpanel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "common/texttable.h"
#include "device/gpio.h"

namespace tolv {

TOneTolvanexRunPanel::TOneTolvanexRunPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PN_RunControls"));

  // What changes with every cycle sits in room of a fixed size: a child shown, hidden or
  // re-captioned there lays out nothing beyond it. Otherwise each record would lay out the
  // whole window again, eight windows at a time in a multi-device run.
  // RUN and STOP take turns in one place.
  buttons_ = new QWidget(this);
  buttons_->setObjectName(QStringLiteral("PN_RunOrBreak"));
  run_ = new QPushButton(buttons_);
  run_->setObjectName(QStringLiteral("BN_Run"));
  run_->setEnabled(runEnabled_);  // not until the start-up has chosen a mode
  break_ = new QPushButton(buttons_);
  break_->setObjectName(QStringLiteral("BN_BREAK"));
  break_->setVisible(false);
  for (QPushButton* b : {run_, break_}) b->setFocusPolicy(Qt::TabFocus);

  single_ = new QCheckBox(this);
  single_->setObjectName(QStringLiteral("CB_SingleShot"));
  overlap_ = new QCheckBox(this);
  overlap_->setObjectName(QStringLiteral("CB_Overlapping"));
  // Hidden in the voltmeter and logger modes, they keep their room: the controls after them
  // stay where the user's hand expects them.
  for (QCheckBox* box : {single_, overlap_}) {
    QSizePolicy keepRoom = box->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    box->setSizePolicy(keepRoom);
  }

  running_ = new TClickPanel(QStringLiteral("PN_Running"), this);
  running_->setAlignment(Qt::AlignCenter);
  running_->setButtonFace();
  queue_ = new TClickPanel(QStringLiteral("PN_Queue"), this);
  queue_->setAlignment(Qt::AlignCenter);
  queue_->setText(QStringLiteral("0"));

  // The drawing bar keeps its room while hidden, so the rows of the bar do not wrap anew.
  drawRoom_ = new QWidget(this);
  drawRoom_->setObjectName(QStringLiteral("PN_DrawRoom"));
  draw_ = new QProgressBar(drawRoom_);
  draw_->setObjectName(QStringLiteral("PB_Draw"));
  draw_->setRange(0, 100);
  draw_->setVisible(false);

  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(4);
  lay->addWidget(buttons_);
  // The two boxes one above the other: the bar's row holds the plot-mode group beside them in
  // a window of the default width.
  auto* boxes = new QVBoxLayout;
  boxes->setContentsMargins(0, 0, 0, 0);
  boxes->setSpacing(0);
  boxes->addWidget(single_);
  boxes->addWidget(overlap_);
  lay->addLayout(boxes);
  lay->addWidget(running_);
  lay->addWidget(queue_);
  lay->addWidget(drawRoom_);
  lay->addStretch(1);

  // Every press counts, the second of a double click too: RUN and STOP swap under the pointer,
  // and the user's last press is what the device is to do.
  connect(run_, &QPushButton::clicked, this, [this] { emit runClicked(); });
  connect(break_, &QPushButton::clicked, this, [this] { emit breakClicked(); });
  connect(single_, &QCheckBox::toggled, this, [this](bool on) {
    if (!mark_.isSet()) emit singleShotToggled(on);
  });
  connect(overlap_, &QCheckBox::toggled, this, [this](bool on) {
    if (!mark_.isSet()) emit overlapToggled(on);
  });
  applyTexts();
}

void TOneTolvanexRunPanel::applyTexts() {
  run_->setText(text(85));
  break_->setText(text(87));
  single_->setText(QStringLiteral("Single"));
  applyRunEnabled();
  overlap_->setText(QStringLiteral("Overlap"));
  overlap_->setToolTip(hintText(kTextOverlapHint));
  queue_->setToolTip(hintText(kTextQueueHint));
  showStop(stop_);
  fitRooms();
}

void TOneTolvanexRunPanel::fitRooms() {
  QSize button(kMinimumButtonWidth, 0);
  for (QPushButton* b : {run_, break_}) button = button.expandedTo(b->sizeHint());
  buttons_->setFixedSize(button);
  for (QPushButton* b : {run_, break_}) b->setGeometry(QRect(QPoint(0, 0), button));

  // As wide as the widest caption the panel can have in this language asks.
  fitToWidest(running_, {text(89), stoppingCaption(100), stoppingCaption(100, true)},
              kMinimumRunningWidth);
  fitToWidest(queue_, {QStringLiteral("999")}, kMinimumQueueWidth);

  drawRoom_->setFixedSize(kDrawBarWidth, draw_->sizeHint().height());
  draw_->setGeometry(drawRoom_->rect());
}

void TOneTolvanexRunPanel::fitToWidest(QLabel* panel, const QStringList& captions, int least) {
  const QString shown = panel->text();
  panel->setMinimumSize(0, 0);
  panel->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  QSize room(least, 0);
  for (const QString& c : captions) {
    panel->setText(c);
    room = room.expandedTo(panel->sizeHint() + QSize(2 * kPanelPadding, 0));
  }
  panel->setText(shown);
  panel->setFixedSize(room);
}

QString TOneTolvanexRunPanel::stoppingCaption(int percent, bool startAfter) {
  QString caption = text(startAfter ? kTextRestarting : kTextStopping);
  if (percent >= 0) caption += QStringLiteral(" %1 %").arg(percent);
  return caption;
}

void TOneTolvanexRunPanel::showStop(const StopShow& stop) {
  stop_ = stop;
  // A voltmeter's stop is not shown as stopping, but a start kept for after it is.
  if (stop.on || stop.startAfter) {
    running_->setText(stoppingCaption(stop.percent, stop.startAfter));
    running_->setToolTip(hintText(stop.startAfter ? kTextRestartingHint : kTextStoppingHint));
  } else {
    running_->setText(text(89));
    running_->setToolTip(hintText(90));
  }
  // STOP that takes back a start kept for after the stop says so, and that it writes the stop
  // once more to a device gone quiet on it.
  QString breakHint = hintText(stop.startAfter ? kTextRestartTakenBackHint : 88);
  if (stop.startAfter && stop.stopAgain) breakHint += QLatin1Char('\n') + hintText(kTextStopAgainHint);
  break_->setToolTip(breakHint);
  applyButtons();
  applyRunEnabled();
}

void TOneTolvanexRunPanel::showRunState(RunState s) {
  const RunStateLook look = runStateLook(s, runGoesOn_, stop_);
  if (look.buttonFace)
    running_->setButtonFace();
  else
    running_->setColour(rgbColour(look.rgb));
  // A picture being drawn only colours the panel: the buttons stay as the run has them, so a
  // record drawn while the run goes on does not put RUN in STOP's place.
  if (s == RunState::FilePlotting) return;
  state_ = s;
  applyButtons();
}

void TOneTolvanexRunPanel::applyButtons() {
  const RunStateLook look = runStateLook(state_, runGoesOn_, stop_);
  const bool parked = parkButtonFocus();
  run_->setVisible(look.runVisible);
  break_->setVisible(look.breakVisible);
  restoreButtonFocus(parked);
}

bool TOneTolvanexRunPanel::parkButtonFocus() {
  if (!run_->hasFocus() && !break_->hasFocus() && !buttons_->hasFocus()) return false;
  // Parked before a button hides or greys: Qt would pass the focus on down the tab chain,
  // where the next Space would act on some other control.
  buttons_->setFocus(Qt::OtherFocusReason);
  return true;
}

void TOneTolvanexRunPanel::restoreButtonFocus(bool parked) {
  if (!parked) return;
  for (QPushButton* b : {run_, break_}) {
    if (!b->isHidden() && b->isEnabled()) {
      b->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

void TOneTolvanexRunPanel::showQueueCount(int n) {
  queue_->setText(QString::number(n));
}

void TOneTolvanexRunPanel::showRunEnabled(bool on) {
  runEnabled_ = on;
  applyRunEnabled();
}

void TOneTolvanexRunPanel::showHeldByMultiRun(bool held) {
  if (held_ == held) return;
  held_ = held;
  applyRunEnabled();
}

void TOneTolvanexRunPanel::applyRunEnabled() {
  const bool parked = parkButtonFocus();
  run_->setEnabled(runEnabled_ && !held_);
  restoreButtonFocus(parked);
  single_->setEnabled(!held_);
  // RUN during a stop begins its run only once the stop is done.
  run_->setToolTip(hintText(held_ ? kTextHeldByMultiRun : stop_.pending ? kTextStoppingHint : 86));
  single_->setToolTip(hintText(held_ ? kTextHeldByMultiRun : kTextSingleShotHint));
}

void TOneTolvanexRunPanel::showSingleShot(bool on) {
  TReentryMark::Scope s(mark_);
  single_->setChecked(on);
}

void TOneTolvanexRunPanel::showOverlap(bool on) {
  TReentryMark::Scope s(mark_);
  overlap_->setChecked(on);
}

void TOneTolvanexRunPanel::showSingleOverlapBoxes(bool visible) {
  single_->setVisible(visible);
  overlap_->setVisible(visible);
}

void TOneTolvanexRunPanel::showDrawProgress(bool visible, int value) {
  if (visible) draw_->setValue(value);
  draw_->setVisible(visible);
}

}  // namespace tolv
