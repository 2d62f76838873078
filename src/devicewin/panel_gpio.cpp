#include "devicewin/panel_gpio.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/texttable.h"

namespace tolv {

namespace {

constexpr int kBitPanelWidth = 10;
constexpr int kPanelHeight = 16;

TClickPanel* bitPanel(const QString& name, int bit, QWidget* parent) {
  auto* p = new TClickPanel(name, parent);
  p->setMinimumWidth(kBitPanelWidth - 2);
  p->setFixedHeight(kPanelHeight);
  p->setFrameShape(QFrame::Box);
  p->setLineWidth(1);
  p->setMargin(0);
  p->setToolTip(QStringLiteral("Bit %1").arg(bit));
  QFont f = p->font();
  f.setPointSizeF(7);
  p->setFont(f);
  return p;
}

}  // namespace

// --- GPIO rows ----------------------------------------------------------------------------------

TGpioPanel::TGpioPanel(TGpioModel& model, QWidget* parent) : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("PN_GPIO"));
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(2);
  for (int row = 0; row < 2; ++row) {
    const bool dir = row == 0;
    auto* g = new QGroupBox(this);
    g->setObjectName(dir ? QStringLiteral("GB_GPIODirection") : QStringLiteral("GB_GPIOData"));
    auto* gl = new QHBoxLayout(g);
    gl->setContentsMargins(3, 2, 3, 3);
    gl->setSpacing(1);
    for (int bit = kGpioBits - 1; bit >= 0; --bit) {
      const QString name =
          (dir ? QStringLiteral("PN_GPIO24BitDirection_%1") : QStringLiteral("PN_GPIO24BitData_%1"))
              .arg(bit);
      TClickPanel* p = bitPanel(name, bit, g);
      gl->addWidget(p, 1);
      if (dir) {
        direction_[std::size_t(bit)] = p;
        connect(p, &TClickPanel::clicked, this, [this, bit] { model_.toggleDirection(bit); });
      } else {
        data_[std::size_t(bit)] = p;
        connect(p, &TClickPanel::clicked, this, [this, bit] { model_.toggleData(bit); });
      }
    }
    (dir ? directionGroup_ : dataGroup_) = g;
    lay->addWidget(g);
  }
  ioStatus_ = new TClickPanel(QStringLiteral("PN_IOStatus"), this);
  ioStatus_->setFixedHeight(kPanelHeight);
  ioStatus_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lay->addWidget(ioStatus_);
  connect(ioStatus_, &TClickPanel::clicked, this, &TGpioPanel::ioStatusClicked);

  connect(&model_.settings(), &TSettingsModel::changed, this,
          [this](SettingsTopic a) { modelChanged(a); });
  redraw();
  showEnabled();
  showCounter();
  applyTexts();
}

void TGpioPanel::applyTexts() {
  dataGroup_->setTitle(groupCaption(180));
  dataGroup_->setToolTip(hintText(181));
  directionGroup_->setTitle(groupCaption(178));
  directionGroup_->setToolTip(hintText(179));
}

void TGpioPanel::modelChanged(SettingsTopic a) {
  if (a == SettingsTopic::Gpio) redraw();
  if (a == SettingsTopic::ControlsEnabled) showEnabled();
  if (a == SettingsTopic::Counter) showCounter();
}

void TGpioPanel::redraw() {
  const std::uint32_t d = model_.shownData();
  const std::uint32_t r = model_.shownDirection();
  for (int bit = 0; bit < kGpioBits; ++bit) {
    const BitLook dl = gpioDataLook((d >> bit) & 1);
    const BitLook rl = gpioDirectionLook((r >> bit) & 1);
    TClickPanel* dp = data_[std::size_t(bit)];
    TClickPanel* rp = direction_[std::size_t(bit)];
    dp->setText(dl.caption);
    dp->setColour(dl.colour);
    rp->setText(rl.caption);
    rp->setColour(rl.colour);
  }
}

void TGpioPanel::showEnabled() {
  const bool on = model_.controlsEnabled();
  dataGroup_->setEnabled(on);
  directionGroup_->setEnabled(on);
}

void TGpioPanel::showCounter() {
  ioStatus_->setText(QStringLiteral("IO %1%2")
                         .arg(model_.counter(), 5, 16, QLatin1Char('0'))
                         .arg(model_.counting() ? QStringLiteral(" *") : QString())
                         .toUpper());
}

// --- Trigger pattern ----------------------------------------------------------------------------

TGpioPatternPanel::TGpioPatternPanel(TGpioModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("PN_LA_Trg_Pattern"));
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(1);
  static const char* rowNames[3] = {"PN_LA_Trg_Relev_s", "PN_LA_Trg_Dyn_s", "PN_LA_Trg_Level_s"};
  static const char* panelNames[3] = {"PN_Trg_Relv_%1", "PN_Trg_Dyn_%1", "PN_Trg_Level_%1"};
  static const char* hexNames[3] = {"PN_LA_Trg_Relev_Hex", "PN_LA_Trg_Dyn_HEX",
                                    "PN_LA_Trg_Level_HEX"};
  for (int row = 0; row < 3; ++row) {
    auto* w = new QWidget(this);
    w->setObjectName(QString::fromLatin1(rowNames[row]));
    auto* rl = new QHBoxLayout(w);
    rl->setContentsMargins(0, 0, 0, 0);
    rl->setSpacing(1);
    auto& panels = row == 0 ? relv_ : row == 1 ? dyn_ : level_;
    for (int bit = kPatternBits - 1; bit >= 0; --bit) {
      TClickPanel* p = bitPanel(QString::fromLatin1(panelNames[row]).arg(bit), bit, w);
      p->setMinimumWidth(14);
      QFont f = p->font();
      f.setPointSizeF(8);
      p->setFont(f);
      panels[std::size_t(bit)] = p;
      // A hidden panel still keeps its place, so the columns stay under their bits.
      QSizePolicy sp = p->sizePolicy();
      sp.setRetainSizeWhenHidden(true);
      p->setSizePolicy(sp);
      rl->addWidget(p, 1);
      const PatternRow pr = PatternRow(row);
      connect(p, &TClickPanel::clicked, this, [this, pr, bit] { model_.togglePattern(pr, bit); });
    }
    auto* hex = new TClickPanel(QString::fromLatin1(hexNames[row]), w);
    hex->setFixedSize(24, kPanelHeight);
    rl->addSpacing(3);
    rl->addWidget(hex);
    (row == 0 ? relvHex_ : row == 1 ? dynHex_ : levelHex_) = hex;
    rows_[std::size_t(row)] = w;
    lay->addWidget(w);
  }
  connect(&model_.settings(), &TSettingsModel::changed, this,
          [this](SettingsTopic a) { modelChanged(a); });
  redraw();
  applyTexts();
}

void TGpioPatternPanel::applyTexts() {
  // The pattern panels explain their row; the "Bit n" hint of the GPIO panels would hide it.
  for (int row = 0; row < 3; ++row) {
    const QString hint = hintText(175 + row);
    rows_[std::size_t(row)]->setToolTip(hint);
    auto& panels = row == 0 ? relv_ : row == 1 ? dyn_ : level_;
    for (TClickPanel* p : panels) p->setToolTip(hint);
  }
}

void TGpioPatternPanel::modelChanged(SettingsTopic a) {
  if (a == SettingsTopic::TriggerWord || a == SettingsTopic::TriggerType ||
      a == SettingsTopic::ControlsEnabled || a == SettingsTopic::Layout)
    redraw();
}

void TGpioPatternPanel::redraw() {
  const PatternLook look = patternLook(model_.shownTrigger());
  const bool rowsShown = model_.settings().display().patternRowsVisible;
  const bool on = model_.controlsEnabled();
  for (int bit = 0; bit < kPatternBits; ++bit) {
    const std::size_t i = std::size_t(bit);
    relv_[i]->setText(QString());
    relv_[i]->setColour(look.relevance[i]);
    dyn_[i]->setText(look.dynamic[i].caption);
    dyn_[i]->setColour(look.dynamic[i].colour);
    dyn_[i]->setVisible(look.detailVisible[i]);
    level_[i]->setText(look.level[i].caption);
    level_[i]->setColour(look.level[i].colour);
    level_[i]->setVisible(look.detailVisible[i]);
  }
  relvHex_->setText(look.relevanceHex);
  if (look.relevanceHexHighlighted)
    relvHex_->setColour(kColourRelevant);
  else
    relvHex_->setButtonFace();
  dynHex_->setText(look.dynamicHex);
  levelHex_->setText(look.levelHex);
  for (QWidget* r : rows_) {
    r->setVisible(rowsShown);
    r->setEnabled(on);
  }
}

// --- I/O counter debug controls -----------------------------------------------------------------

TGpioCounterControls::TGpioCounterControls(TGpioModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("PN_IOCounter"));
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  count_ = new QCheckBox(this);
  count_->setObjectName(QStringLiteral("CB_Count"));
  lay->addWidget(count_);
  for (int which = 0; which < 2; ++which) {
    auto* s = new QSpinBox(this);
    s->setObjectName(which == 0 ? QStringLiteral("SE_Count_0_Interval")
                                : QStringLiteral("SE_Count_1_Interval"));
    s->setRange(kCountIntervalMin, kCountIntervalMax);
    lay->addWidget(s);
    (which == 0 ? interval0_ : interval1_) = s;
    connect(s, &QSpinBox::valueChanged, this, [this, which](int v) {
      if (!mark_.isSet()) model_.setCountInterval(which, v);
    });
  }
  connect(count_, &QCheckBox::toggled, this, [this](bool on) {
    if (!mark_.isSet()) model_.setCounting(on);
  });
  connect(&model_.settings(), &TSettingsModel::changed, this, [this](SettingsTopic a) {
    if (a == SettingsTopic::Counter) showModel();
  });
  showModel();
  applyTexts();
}

void TGpioCounterControls::applyTexts() {
  count_->setText(text(kTextCounterBox));
  interval0_->setToolTip(hintText(kTextCountIntervalHint));
  interval1_->setToolTip(hintText(kTextCountIntervalHint));
}

void TGpioCounterControls::showModel() {
  TReentryMark::Scope s(mark_);
  count_->setChecked(model_.counting());
  interval0_->setValue(model_.countInterval(0));
  interval1_->setValue(model_.countInterval(1));
}

}  // namespace tolv
