#include "devicewin/panel_plotmode.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStyle>

#include "common/texttable.h"
#include "devicewin/picturesave.h"

namespace tolv {

// --- Plot-mode group ---------------------------------------------------------------------------

namespace {

struct ModeDef {
  const char* name;
  const char* caption;
  const char* hint;
};
constexpr ModeDef kModes[6] = {
    {"RB_NoPlot", "--", ""},
    {"RB_K0", "K0", "Plot Kanal 0 gegen Zeit"},
    {"RB_K1", "K1", "Plot Kanal 1 gegen Zeit"},
    {"RB_K0_K1", "K0 + K1", "Plot Kanäle 0 und 1 gegen Zeit"},
    {"RB_K1_vs_K0", "K1 vs K0 XY", "Plot XY Kanal 1 gegen Kanal 0"},
    {"RB_K0_vs_K1", "K0 vs K1 XY", "Plot XY Kanal 0 gegen Kanal 1"},
};

}  // namespace

TPlotModeGroup::TPlotModeGroup(QWidget* parent) : QGroupBox(parent) {
  setObjectName(QStringLiteral("GB_PlotMode"));
  setTitle(QStringLiteral(" Plot Mode "));
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(4, 0, 4, 2);
  lay->setSpacing(6);
  for (int i = 0; i < 6; ++i) {
    auto* rb = new QRadioButton(QString::fromUtf8(kModes[i].caption), this);
    rb->setObjectName(QString::fromLatin1(kModes[i].name));
    rb->setToolTip(QString::fromUtf8(kModes[i].hint));
    lay->addWidget(rb);
    modes_[std::size_t(i)] = rb;
    connect(rb, &QRadioButton::clicked, this, [this, i] {
      if (!mark_.isSet()) emit plotModeChosen(i);
    });
  }
  for (int ch = 0; ch < 2; ++ch) {
    auto* cb = new QCheckBox(QStringLiteral("K%1 Zoom").arg(ch), this);
    cb->setObjectName(ch == 0 ? QStringLiteral("CB_AutoScaleC0") : QStringLiteral("CB_AutoScaleC1"));
    lay->addWidget(cb);
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
  print_->setToolTip(QStringLiteral("Scope-Bild drucken"));
  savePicture_ = new QToolButton(this);
  savePicture_->setObjectName(QStringLiteral("BBN_SavePicture"));
  savePicture_->setIcon(savePictureIcon());
  stdSize_ = new QToolButton(this);
  stdSize_->setObjectName(QStringLiteral("BBN_StdSize"));
  stdSize_->setIcon(style()->standardIcon(QStyle::SP_TitleBarNormalButton));
  stdSize_->setToolTip(QStringLiteral("Standard-Größe"));
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
  savePicture_->setToolTip(savePictureCaption(languageIndex()) + QStringLiteral("\n") +
                           savePictureHint(languageIndex()));
}

}  // namespace tolv
