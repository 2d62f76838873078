#include "devicewin/tf_onetolvanex_runpanel.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "common/texttable.h"
#include "device/gpio.h"

namespace tolv {

namespace {
constexpr int kRunningMinWidth = 70;
}  // namespace

TOneTolvanexRunPanel::TOneTolvanexRunPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PN_RunControls"));

  run_ = new QPushButton(this);
  run_->setObjectName(QStringLiteral("BN_Run"));
  run_->setEnabled(false);  // until the start-up has chosen a mode
  break_ = new QPushButton(this);
  break_->setObjectName(QStringLiteral("BN_BREAK"));
  break_->setVisible(false);
  for (QPushButton* b : {run_, break_}) {
    b->setMinimumWidth(64);
    b->setFocusPolicy(Qt::TabFocus);
  }

  single_ = new QCheckBox(this);
  single_->setObjectName(QStringLiteral("CB_SingleShot"));
  overlap_ = new QCheckBox(this);
  overlap_->setObjectName(QStringLiteral("CB_Overlapping"));

  running_ = new TClickPanel(QStringLiteral("PN_Running"), this);
  running_->setAlignment(Qt::AlignCenter);
  running_->setButtonFace();
  queue_ = new TClickPanel(QStringLiteral("PN_Queue"), this);
  queue_->setAlignment(Qt::AlignCenter);
  queue_->setMinimumWidth(28);
  queue_->setText(QStringLiteral("0"));

  draw_ = new QProgressBar(this);
  draw_->setObjectName(QStringLiteral("PB_Draw"));
  draw_->setRange(0, 100);
  draw_->setMaximumWidth(160);
  draw_->setVisible(false);

  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(4);
  lay->addWidget(run_);
  lay->addWidget(break_);
  lay->addWidget(single_);
  lay->addWidget(overlap_);
  lay->addWidget(running_);
  lay->addWidget(queue_);
  lay->addWidget(draw_);
  lay->addStretch(1);

  connect(run_, &QPushButton::clicked, this, [this] {
    if (!swapGuarded()) emit runClicked();
  });
  connect(break_, &QPushButton::clicked, this, [this] {
    if (!swapGuarded()) emit breakClicked();
  });
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
  run_->setToolTip(hintText(86));
  break_->setText(text(87));
  single_->setText(QStringLiteral("Single"));
  single_->setToolTip(hintText(kTextSingleShotHint));
  overlap_->setText(QStringLiteral("Overlap"));
  overlap_->setToolTip(hintText(kTextOverlapHint));
  queue_->setToolTip(hintText(kTextQueueHint));
  // Wide enough for its longest caption: a stop's progress must not make the row reflow.
  const QFontMetrics fm = running_->fontMetrics();
  const int widest = std::max(fm.horizontalAdvance(text(89)),
                              fm.horizontalAdvance(text(kTextStopping) + QStringLiteral(" 100 %")));
  running_->setMinimumWidth(std::max(kRunningMinWidth, widest + 2 * running_->frameWidth() + 8));
  showStop(stop_);
}

void TOneTolvanexRunPanel::showStop(const StopShow& stop) {
  stop_ = stop;
  if (stop.on) {
    QString caption = text(kTextStopping);
    if (stop.percent >= 0) caption += QStringLiteral(" %1 %").arg(stop.percent);
    running_->setText(caption);
    running_->setToolTip(hintText(kTextStoppingHint));
  } else {
    running_->setText(text(89));
    running_->setToolTip(hintText(90));
  }
  break_->setEnabled(!stop.on || stop.stopAgain);
  // The greyed STOP (where RUN will show) says why it waits.
  break_->setToolTip(hintText(stop.on && !stop.stopAgain ? kTextStoppingHint : 88));
}

void TOneTolvanexRunPanel::showRunState(RunState s) {
  // A stop under way keeps STOP (disabled) in its place until the run has ended.
  const RunStateLook look = runStateLook(s, runGoesOn_ || stop_.on);
  if (look.buttonFace)
    running_->setButtonFace();
  else
    running_->setColour(rgbColour(look.rgb));
  // A drawing only colours the panel: the buttons stay as the run left them, so a record drawn
  // while the run goes on does not put RUN in STOP's place.
  if (s == RunState::FilePlotting) return;
  if (look.runVisible != runShown_) swapped(look.runVisible);
  run_->setVisible(look.runVisible);
  break_->setVisible(look.breakVisible);
}

void TOneTolvanexRunPanel::swapped(bool runShown) {
  runShown_ = runShown;
  // A run that goes on passes Idle between two records without letting events run: RUN shows
  // and goes again before anyone could see it, which is no swap. A swap counts once events have
  // run with it in place; until then clicks are held back as well.
  if (runShown == committedRunShown_) {
    swapPending_ = false;
    return;
  }
  swapPending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!swapPending_) return;
        swapPending_ = false;
        committedRunShown_ = runShown_;
        // Counted from when it could first be seen: posted calls run before the input that
        // queued up meanwhile, so those clicks still fall within the guard.
        swappedAtMs_ = clock_->nowMs();
        everSwapped_ = true;
      },
      Qt::QueuedConnection);
}

bool TOneTolvanexRunPanel::swapGuarded() const {
  return swapPending_ || (everSwapped_ && clock_->nowMs() - swappedAtMs_ < kSwapGuardMs);
}

void TOneTolvanexRunPanel::showQueueCount(int n) {
  queue_->setText(QString::number(n));
}

void TOneTolvanexRunPanel::showRunEnabled(bool on) {
  run_->setEnabled(on);
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
