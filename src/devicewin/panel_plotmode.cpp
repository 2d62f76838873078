#include "devicewin/panel_plotmode.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "common/texttable.h"
#include "devicewin/picturesave.h"

namespace tolv {

// --- Plot-mode group ---------------------------------------------------------------------------

namespace {

// Captions and hints come from the text table, which names the channels 1 and 2 ("K1",
// "Kanal 1"; "C1", "Channel 1") as the settings, the voltage groups and the measurements do.
struct ModeDef {
  const char* name;
  int captionId;  // 0: "--"
  int hintId;
};
constexpr ModeDef kModes[6] = {
    {"RB_NoPlot", 0, 112},      {"RB_K0", 113, 114},       {"RB_K1", 115, 116},
    {"RB_K0_K1", 117, 118},     {"RB_K1_vs_K0", 119, 120}, {"RB_K0_vs_K1", 121, 122},
};

QString modeCaption(int i) {
  const int id = kModes[i].captionId;
  if (id == 0) return QStringLiteral("--");
  // Both channels are named from the single ones: the table's own text for it misspells the
  // English channels ("C2 + C2").
  if (id == 117) return channelShortName(0) + QStringLiteral(" + ") + channelShortName(1);
  return text(id);
}

}  // namespace

TPlotModeGroup::TPlotModeGroup(QWidget* parent) : QGroupBox(parent) {
  setObjectName(QStringLiteral("GB_PlotMode"));
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(4, 0, 4, 2);
  lay->setSpacing(6);
  for (int i = 0; i < 6; ++i) {
    auto* rb = new QRadioButton(this);
    rb->setObjectName(QString::fromLatin1(kModes[i].name));
    lay->addWidget(rb);
    modes_[std::size_t(i)] = rb;
    connect(rb, &QRadioButton::clicked, this, [this, i] {
      if (!mark_.isSet()) emit plotModeChosen(i);
    });
  }
  // The two zoom boxes one above the other: the group fits the bar's row beside the run and
  // file controls in a window of the default width.
  auto* zooms = new QVBoxLayout;
  zooms->setContentsMargins(0, 0, 0, 0);
  zooms->setSpacing(0);
  lay->addLayout(zooms);
  for (int ch = 0; ch < 2; ++ch) {
    auto* cb = new QCheckBox(this);
    cb->setObjectName(ch == 0 ? QStringLiteral("CB_AutoScaleC0") : QStringLiteral("CB_AutoScaleC1"));
    zooms->addWidget(cb);
    auto_[std::size_t(ch)] = cb;
    connect(cb, &QCheckBox::clicked, this, [this, ch](bool on) {
      if (!mark_.isSet()) emit autoScaleClicked(ch, on);
    });
  }
  synch_ = new QCheckBox(QStringLiteral("S"), this);
  synch_->setObjectName(QStringLiteral("CB_SynchYAxes"));
  lay->addWidget(synch_);
  connect(synch_, &QCheckBox::clicked, this, [this](bool on) {
    if (!mark_.isSet()) emit synchYAxesClicked(on);
  });
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  applyTexts();
}

void TPlotModeGroup::applyTexts() {
  setTitle(text(kTextPlotModeGroup));
  for (int i = 0; i < 6; ++i) {
    modes_[std::size_t(i)]->setText(modeCaption(i));
    modes_[std::size_t(i)]->setToolTip(hintText(kModes[i].hintId));
  }
  for (int ch = 0; ch < 2; ++ch) {
    auto_[std::size_t(ch)]->setText(text(ch == 0 ? 123 : 125));
    auto_[std::size_t(ch)]->setToolTip(hintText(ch == 0 ? 124 : 126));
  }
  synch_->setToolTip(hintText(208));
}

void TPlotModeGroup::showPlotMode(int mode) {
  TReentryMark::Scope s(mark_);
  if (mode >= 0 && mode < 6) modes_[std::size_t(mode)]->setChecked(true);
}

void TPlotModeGroup::showAutoScale(int ch, bool on) {
  TReentryMark::Scope s(mark_);
  if (ch == 0 || ch == 1) auto_[std::size_t(ch)]->setChecked(on);
}

void TPlotModeGroup::showSynchYAxes(bool on) {
  TReentryMark::Scope s(mark_);
  synch_->setChecked(on);
}

// --- Tool buttons ------------------------------------------------------------------------------

void TMouseDownButton::mousePressEvent(QMouseEvent* e) {
  // Every button counts here (the right one copies the whole window), not only the left.
  emit mouseDown(e->button());
  QToolButton::mousePressEvent(e);
}

TPlotToolButtons::TPlotToolButtons(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PN_PlotTools"));
  // Two rows of two: the bar keeps the width it had with three buttons in a row.
  auto* lay = new QGridLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(2);
  copy_ = new TMouseDownButton(this);
  copy_->setObjectName(QStringLiteral("BBN_CopyToClipboard"));
  copy_->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  print_ = new QToolButton(this);
  print_->setObjectName(QStringLiteral("BBN_Print"));
  print_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  savePicture_ = new QToolButton(this);
  savePicture_->setObjectName(QStringLiteral("BBN_SavePicture"));
  savePicture_->setIcon(savePictureIcon());
  stdSize_ = new QToolButton(this);
  stdSize_->setObjectName(QStringLiteral("BBN_StdSize"));
  stdSize_->setIcon(style()->standardIcon(QStyle::SP_TitleBarNormalButton));
  int at = 0;
  for (QToolButton* b : {static_cast<QToolButton*>(copy_), print_, savePicture_, stdSize_}) {
    b->setAutoRaise(false);
    b->setFixedSize(26, 26);
    lay->addWidget(b, at / 2, at % 2);
    ++at;
  }
  connect(copy_, &TMouseDownButton::mouseDown, this, &TPlotToolButtons::copyRequested);
  connect(print_, &QToolButton::clicked, this, &TPlotToolButtons::printRequested);
  connect(savePicture_, &QToolButton::clicked, this, &TPlotToolButtons::savePictureRequested);
  connect(stdSize_, &QToolButton::clicked, this, &TPlotToolButtons::stdSizeRequested);
  applyTexts();
}

void TPlotToolButtons::applyTexts() {
  copy_->setToolTip(hintText(57));
  print_->setToolTip(hintText(kTextPrintScopeHint));
  stdSize_->setToolTip(hintText(kTextStdSizeHint));
  savePicture_->setToolTip(savePictureCaption(languageIndex()) + QStringLiteral("\n") +
                           savePictureHint(languageIndex()));
}

}  // namespace tolv
