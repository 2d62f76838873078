#include "devicewin/panel_scopecontrols_groups.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "common/texttable.h"
#include "common/widgetcolours.h"
#include "measure/derived.h"

namespace tolv {

namespace {

constexpr int kRowHeight = 18;
constexpr int kDepthHintWidth = 160;

TClickPanel* textPanel(const QString& name, QWidget* parent, int minWidth = 0) {
  auto* p = new TClickPanel(name, parent);
  p->setFixedHeight(kRowHeight);
  if (minWidth > 0) p->setMinimumWidth(minWidth);
  return p;
}

QSlider* trackbar(const QString& name, int max, QWidget* parent) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setObjectName(name);
  s->setRange(0, max);
  s->setPageStep(1);
  s->setTickPosition(QSlider::TicksBelow);
  s->setTickInterval(1);
  return s;
}

QScrollBar* levelBar(const QString& name, QWidget* parent) {
  auto* s = new QScrollBar(Qt::Horizontal, parent);
  s->setObjectName(name);
  s->setRange(kSliderMin, kSliderMax);
  s->setPageStep(256);
  s->setSingleStep(1);
  return s;
}

// Room for the widest range caption ("±100 mV") with either decimal mark, frame included.
int widestAmplitudeText(const QFontMetrics& fm) {
  int widest = 0;
  for (double range : kAmplitudeTable)
    for (QChar sep : {QLatin1Char('.'), QLatin1Char(',')}) {
      QString t;
      if (amplitudePanelText(range, kModeOSA0, sep, t))
        widest = std::max(widest, fm.horizontalAdvance(t));
    }
  return widest + 4;  // sunken frame and margin
}

QPushButton* zeroButton(const QString& name, QWidget* parent) {
  auto* b = new QPushButton(QStringLiteral("0"), parent);
  b->setObjectName(name);
  b->setFixedSize(20, kRowHeight);
  return b;
}

QGroupBox* group(const QString& name, QWidget* parent) {
  auto* g = new QGroupBox(parent);
  g->setObjectName(name);
  return g;
}

// Long captions must not widen the settings column; the drop-down list still shows them whole.
void narrowCombo(QComboBox* c) {
  c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  c->setMinimumContentsLength(10);
}

void setValueQuiet(QSlider* s, int v) {
  if (s->value() != v) s->setValue(v);
}

}  // namespace

TScopeControlsPanel::TScopeControlsPanel(TSettingsModel& settings, TGpioModel& gpio,
                                         QWidget* parent)
    : QWidget(parent), model_(settings), gpio_(gpio) {
  setObjectName(QStringLiteral("PN_ScopeControls"));
  build();
  connectHandlers();
  connect(&model_, &TSettingsModel::changed, this, [this](SettingsTopic a) { modelChanged(a); });
  applyTexts();
  sync();
  arrange();
  showEnabled();
}

// --- Construction -------------------------------------------------------------------------------

void TScopeControlsPanel::build() {
  groups_ = new QVBoxLayout(this);
  groups_->setContentsMargins(0, 0, 0, 0);
  groups_->setSpacing(3);

  modeRow_ = new QWidget(this);
  modeRow_->setObjectName(QStringLiteral("PN_ModeSelect"));
  auto* ml = new QGridLayout(modeRow_);
  ml->setContentsMargins(0, 0, 0, 0);
  ml->setSpacing(2);
  modes_ = new QComboBox(modeRow_);
  modes_->setObjectName(QStringLiteral("CB_Modes"));
  narrowCombo(modes_);
  // The list shows whole captions even where the box is narrower than one.
  modes_->view()->setTextElideMode(Qt::ElideNone);
  pnMode_ = textPanel(QStringLiteral("PN_Mode"), modeRow_, 40);
  // The box has the column's whole width, the code its own row below: the longest captions
  // ("Speicheroszilloskop, Analogspannung") need all of it, and a wider box would widen the
  // column past what the window's minimum size leaves it.
  ml->addWidget(modes_, 0, 0, 1, 2);
  ml->addWidget(pnMode_, 1, 1);
  ml->setColumnStretch(0, 1);
  groups_->addWidget(modeRow_);

  gbAmpl_ = buildAmplitude();
  gbTime_ = buildTimebase();
  gbTrg_ = buildTrigger();
  gbLogic_ = buildLogicTrigger();
  gpioPanel_ = new TGpioPanel(gpio_, this);
  for (QWidget* w : {static_cast<QWidget*>(gbAmpl_), static_cast<QWidget*>(gbTime_),
                     static_cast<QWidget*>(gbTrg_), static_cast<QWidget*>(gbLogic_),
                     static_cast<QWidget*>(gpioPanel_)})
    groups_->addWidget(w);
  groups_->addStretch(1);
  fillCombos();
}

QGroupBox* TScopeControlsPanel::buildAmplitude() {
  QGroupBox* g = group(QStringLiteral("GB_Amplitude"), this);
  auto* gl = new QGridLayout(g);
  gl->setContentsMargins(3, 2, 3, 3);
  gl->setHorizontalSpacing(2);
  gl->setVerticalSpacing(1);
  for (int ch = 0; ch < 2; ++ch) {
    const std::size_t i = std::size_t(ch);
    const QString n = QString::number(ch);
    const int r = ch * 3;
    chLabel_[i] = new QLabel(g);
    pnAk_[i] = textPanel(QStringLiteral("PN_AK") + n, g, widestAmplitudeText(g->fontMetrics()));
    seTf_[i] = new QSpinBox(g);
    seTf_[i]->setObjectName(QStringLiteral("SE_TF_C") + n);
    seTf_[i]->setRange(kProbeMin, kProbeMax);
    seTf_[i]->setAutoFillBackground(true);
    tbAmpl_[i] = trackbar(QStringLiteral("TB_AmplC") + n, int(kAmplitudeTable.size()) - 1, g);
    pnOffs_[i] = textPanel(QStringLiteral("PN_OffsK") + n, g);
    bnOffs0_[i] = zeroButton(QStringLiteral("BN_SB_OffsC%1_0").arg(ch), g);
    sbOffs_[i] = levelBar(QStringLiteral("SB_OffsC") + n, g);
    pnNpkt_[i] = textPanel(QStringLiteral("PN_NPktKorrK") + n, g);
    gl->addWidget(chLabel_[i], r, 0);
    gl->addWidget(pnAk_[i], r, 1);
    gl->addWidget(seTf_[i], r, 2);
    gl->addWidget(tbAmpl_[i], r + 1, 0, 1, 3);
    gl->addWidget(pnOffs_[i], r + 1, 3);
    gl->addWidget(bnOffs0_[i], r + 2, 0);
    gl->addWidget(sbOffs_[i], r + 2, 1, 1, 2);
    gl->addWidget(pnNpkt_[i], r + 2, 3);
  }
  cb085_ = new QCheckBox(QStringLiteral("0.85"), g);
  cb085_->setObjectName(QStringLiteral("CB_0_85"));
  gl->addWidget(cb085_, 0, 3);
  gl->setColumnStretch(1, 1);
  return g;
}

QGroupBox* TScopeControlsPanel::buildTimebase() {
  QGroupBox* g = group(QStringLiteral("GB_Timebase"), this);
  auto* gl = new QGridLayout(g);
  gl->setContentsMargins(3, 2, 3, 3);
  gl->setHorizontalSpacing(2);
  gl->setVerticalSpacing(1);
  pnSamplTim_ = textPanel(QStringLiteral("PN_SamplTim"), g, 60);
  pnSamplFreq_ = textPanel(QStringLiteral("PN_SamplFreq"), g, 60);
  tbSampl_ = trackbar(QStringLiteral("TB_SamplTim"), int(kSampleTimeTableUs.size()) - 1, g);
  gl->addWidget(pnSamplTim_, 0, 0);
  gl->addWidget(pnSamplFreq_, 0, 1);
  gl->addWidget(tbSampl_, 1, 0, 1, 2);

  gbMem_ = group(QStringLiteral("GB_MemoryDepth"), g);
  auto* ml = new QGridLayout(gbMem_);
  ml->setContentsMargins(2, 2, 2, 2);
  ml->setHorizontalSpacing(2);
  ml->setVerticalSpacing(1);
  pnSamples_ = textPanel(QStringLiteral("PN_Samples"), gbMem_, 60);
  pnTotTim_ = textPanel(QStringLiteral("PN_TotTim"), gbMem_, 60);
  tbMem_ = trackbar(QStringLiteral("TB_MemoryDepth"), int(kMemoryDepthTable.size()) - 1, gbMem_);
  pnPrePos_ = textPanel(QStringLiteral("PN_PrePosTrig"), gbMem_, 60);
  tbTrgPt_ = trackbar(QStringLiteral("TB_TriggerPoint"), 100, gbMem_);
  tbTrgPt_->setPageStep(10);
  tbTrgPt_->setTickInterval(10);
  ml->addWidget(pnSamples_, 0, 0);
  ml->addWidget(pnTotTim_, 0, 1);
  ml->addWidget(tbMem_, 1, 0, 1, 2);
  ml->addWidget(pnPrePos_, 2, 0);
  ml->addWidget(tbTrgPt_, 3, 0, 1, 2);
  lbDepthHint_ = new QLabel(gbMem_);
  lbDepthHint_->setObjectName(QStringLiteral("LB_ScopeDepthHint"));
  lbDepthHint_->setWordWrap(true);
  // Wraps within a fixed width rather than widening the column; its height follows its text.
  lbDepthHint_->setFixedWidth(kDepthHintWidth);
  QPalette hp = lbDepthHint_->palette();
  hp.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
  lbDepthHint_->setPalette(hp);
  lbDepthHint_->setVisible(false);
  gl->addWidget(lbDepthHint_, 3, 0, 1, 2);
  gl->addWidget(gbMem_, 2, 0, 1, 2);
  return g;
}

QGroupBox* TScopeControlsPanel::buildTrigger() {
  QGroupBox* g = group(QStringLiteral("GB_Trigger"), this);
  auto* gl = new QGridLayout(g);
  gl->setContentsMargins(3, 2, 3, 3);
  gl->setHorizontalSpacing(2);
  gl->setVerticalSpacing(1);
  cobTrg_ = new QComboBox(g);
  cobTrg_->setObjectName(QStringLiteral("COB_TrgTyp"));
  narrowCombo(cobTrg_);
  lbTrgTyp_ = new QLabel(g);
  pnTrgTyp_ = textPanel(QStringLiteral("PN_TrgTyp"), g, 28);
  lbTrgChan_ = new QLabel(g);
  seTrgChan_ = new QSpinBox(g);
  seTrgChan_->setObjectName(QStringLiteral("SE_TrgChan"));
  seTrgChan_->setRange(1, 2);
  gl->addWidget(cobTrg_, 0, 0, 1, 4);
  gl->addWidget(lbTrgTyp_, 1, 0);
  gl->addWidget(pnTrgTyp_, 1, 1);
  gl->addWidget(lbTrgChan_, 1, 2);
  gl->addWidget(seTrgChan_, 1, 3);
  static const char* pn[2] = {"PN_TrgLevelUpper", "PN_TrgLevelLower"};
  static const char* sb[2] = {"SB_TrgLevelUpper", "SB_TrgLevelLower"};
  static const char* bn[2] = {"BN_TrgLevelUpper", "BN_TrgLevelLower"};
  for (int w = 0; w < 2; ++w) {
    const std::size_t i = std::size_t(w);
    const int r = 2 + w * 2;
    lbLevel_[i] = new QLabel(g);
    pnLevel_[i] = textPanel(QString::fromLatin1(pn[w]), g, 80);
    bnLevel0_[i] = zeroButton(QString::fromLatin1(bn[w]), g);
    sbLevel_[i] = levelBar(QString::fromLatin1(sb[w]), g);
    gl->addWidget(lbLevel_[i], r, 0);
    gl->addWidget(pnLevel_[i], r, 1, 1, 3);
    gl->addWidget(bnLevel0_[i], r + 1, 0);
    gl->addWidget(sbLevel_[i], r + 1, 1, 1, 3);
  }
  gl->setColumnStretch(1, 1);
  return g;
}

QGroupBox* TScopeControlsPanel::buildLogicTrigger() {
  QGroupBox* g = group(QStringLiteral("GB_LogAnalTrigger"), this);
  auto* gl = new QGridLayout(g);
  gl->setContentsMargins(3, 2, 3, 3);
  gl->setSpacing(2);
  cobTrgLog_ = new QComboBox(g);
  cobTrgLog_->setObjectName(QStringLiteral("COB_TrgTypLogAnal"));
  narrowCombo(cobTrgLog_);
  pnTrgTypLog_ = textPanel(QStringLiteral("PN_TrgTypLogAnal"), g, 28);
  pattern_ = new TGpioPatternPanel(gpio_, g);
  gl->addWidget(cobTrgLog_, 0, 0);
  gl->addWidget(pnTrgTypLog_, 0, 1);
  gl->addWidget(pattern_, 1, 0, 1, 2);
  gl->setColumnStretch(0, 1);
  return g;
}

void TScopeControlsPanel::fillCombos() {
  TReentryMark::Scope s(mark_);
  modes_->clear();
  for (int i = 0; i < 8; ++i) modes_->addItem(text(kModeTextFirst + i));
  cobTrg_->clear();
  for (char c : kAnalogTriggerLetters)
    cobTrg_->addItem(text(kTriggerTypes[std::size_t(triggerTypeRow(c))].textId));
  cobTrgLog_->clear();
  for (char c : kLogicTriggerLetters)
    cobTrgLog_->addItem(text(kTriggerTypes[std::size_t(triggerTypeRow(c))].textId));
}

// --- Handlers -----------------------------------------------------------------------------------

void TScopeControlsPanel::connectHandlers() {
  // Each handler ignores its control while the panel moves it, then shows the model again, so a
  // move the model refused (reply awaited, controls locked) does not linger on screen.
  auto guarded = [this](auto f) {
    return [this, f](auto... args) {
      if (mark_.isSet()) return;
      f(args...);
      sync();
    };
  };
  for (int ch = 0; ch < 2; ++ch) {
    const std::size_t i = std::size_t(ch);
    connect(tbAmpl_[i], &QSlider::valueChanged, this,
            guarded([this, ch](int p) { model_.amplitudeTrackbarMoved(ch, p); }));
    connect(sbOffs_[i], &QScrollBar::valueChanged, this,
            guarded([this, ch](int p) { model_.offsetSliderMoved(ch, p); }));
    connect(bnOffs0_[i], &QPushButton::clicked, this, [this, i] { sbOffs_[i]->setValue(0); });
    connect(seTf_[i], &QSpinBox::valueChanged, this,
            guarded([this, ch](int v) { model_.probeSpinChanged(ch, v); }));
    connect(sbLevel_[i], &QScrollBar::valueChanged, this,
            guarded([this, ch](int p) { model_.levelSliderMoved(ch, p); }));
    connect(bnLevel0_[i], &QPushButton::clicked, this, [this, i] { sbLevel_[i]->setValue(0); });
  }
  connect(cb085_, &QCheckBox::toggled, this,
          guarded([this](bool on) { model_.auxBoxChanged(on); }));
  connect(tbSampl_, &QSlider::valueChanged, this,
          guarded([this](int p) { model_.sampleTimeTrackbarMoved(p); }));
  connect(tbMem_, &QSlider::valueChanged, this,
          guarded([this](int p) { model_.memoryDepthTrackbarMoved(p); }));
  connect(tbTrgPt_, &QSlider::valueChanged, this,
          guarded([this](int p) { model_.triggerPointMoved(p); }));
  connect(seTrgChan_, &QSpinBox::valueChanged, this,
          guarded([this](int v) { model_.triggerChannelChanged(v); }));
  connect(cobTrg_, &QComboBox::activated, this, guarded([this](int idx) {
            if (idx >= 0 && idx < int(kAnalogTriggerLetters.size()))
              model_.triggerTypeChosen(kAnalogTriggerLetters[std::size_t(idx)]);
          }));
  connect(cobTrgLog_, &QComboBox::activated, this, guarded([this](int idx) {
            if (idx >= 0 && idx < int(kLogicTriggerLetters.size()))
              model_.triggerTypeChosen(kLogicTriggerLetters[std::size_t(idx)]);
          }));
  connect(modes_, &QComboBox::activated, this,
          guarded([this](int idx) { model_.modeChosen(idx); }));
}

void TScopeControlsPanel::modelChanged(SettingsTopic a) {
  switch (a) {
    case SettingsTopic::Gpio:
    case SettingsTopic::Counter:
      return;
    case SettingsTopic::Layout:
      arrange();
      break;
    case SettingsTopic::ControlsEnabled:
      showEnabled();
      break;
    default:
      break;
  }
  sync();
}

// --- Showing the model ----------------------------------------------------------------------

void TScopeControlsPanel::sync() {
  TReentryMark::Scope s(mark_);
  const SettingsDisplay& d = model_.display();
  for (int ch = 0; ch < 2; ++ch) {
    const std::size_t i = std::size_t(ch);
    setValueQuiet(tbAmpl_[i], d.amplPos[i]);
    if (sbOffs_[i]->value() != d.offsPos[i]) sbOffs_[i]->setValue(d.offsPos[i]);
    if (sbLevel_[i]->value() != d.levelPos[i]) sbLevel_[i]->setValue(d.levelPos[i]);
    if (seTf_[i]->value() != d.probeSpin[i]) seTf_[i]->setValue(d.probeSpin[i]);
    // A factor of 0 or below is flagged red: 0 is replaced shortly, negative ones invert.
    QPalette p = seTf_[i]->palette();
    p.setColor(QPalette::Base,
               d.probeSpin[i] <= 0 ? QColor(0xFF, 0x00, 0x00) : palette().color(QPalette::Base));
    seTf_[i]->setPalette(p);
    pnAk_[i]->setText(d.ak[i]);
    pnOffs_[i]->setText(d.offs[i]);
    pnNpkt_[i]->setText(d.npkt[i]);
    pnLevel_[i]->setText(d.level[i]);
  }
  if (cb085_->isChecked() != d.aux) cb085_->setChecked(d.aux);
  showDepthHint();
  setValueQuiet(tbSampl_, d.samplTimPos);
  setValueQuiet(tbMem_, d.memDepthPos);
  setValueQuiet(tbTrgPt_, d.trgPointPos);
  if (seTrgChan_->value() != d.trgChan) seTrgChan_->setValue(d.trgChan);
  pnSamplTim_->setText(d.samplTim);
  pnSamplFreq_->setText(d.samplFreq);
  pnSamples_->setText(d.samples);
  pnTotTim_->setText(d.totTim);
  pnPrePos_->setText(d.prePosTrig);
  pnTrgTyp_->setText(d.trgTyp);
  pnTrgTypLog_->setText(d.trgTypLogAnal);

  // Both combos show the caption of the chosen type; one a combo does not offer shows as its
  // placeholder text.
  const int row = d.trgTypRow;
  const QString caption = row >= 0 ? text(kTriggerTypes[std::size_t(row)].textId) : QString();
  const char letter = row >= 0 ? kTriggerTypes[std::size_t(row)].letter : 0;
  const int ai = analogComboIndex(letter);
  const int li = logicComboIndex(letter);
  cobTrg_->setPlaceholderText(ai < 0 ? caption : QString());
  cobTrg_->setCurrentIndex(ai);
  cobTrgLog_->setPlaceholderText(li < 0 ? caption : QString());
  cobTrgLog_->setCurrentIndex(li);

  const int mi = modeIndex(d.modeShown);
  modes_->setCurrentIndex(mi);
  pnMode_->setText(mi >= 0 ? QString::fromStdString(modeCodeText(d.modeShown)) : QString());
}

void TScopeControlsPanel::arrange() {
  const ModeLayout& l = model_.layout();
  std::array<QWidget*, 5> order{};
  if (l.timebaseAtTop)
    order = {gbTime_, gbLogic_, gbAmpl_, gbTrg_, gpioPanel_};
  else if (l.gpio == GpioPlacement::BelowAmplitudes)
    order = {gbAmpl_, gpioPanel_, gbTime_, gbTrg_, gbLogic_};
  else
    order = {gbAmpl_, gbTime_, gbTrg_, gbLogic_, gpioPanel_};
  for (QWidget* w : order) groups_->removeWidget(w);
  for (std::size_t i = 0; i < order.size(); ++i) groups_->insertWidget(int(i) + 1, order[i]);
  gbAmpl_->setVisible(l.amplitudes);
  gbTime_->setVisible(l.timebase);
  gbTrg_->setVisible(l.analogTrigger);
  gbLogic_->setVisible(l.logicTrigger);
  gpioPanel_->setVisible(l.gpio != GpioPlacement::Hidden);
  showEnabled();
}

void TScopeControlsPanel::showEnabled() {
  const bool on = model_.controlsEnabled();
  for (QWidget* w : {static_cast<QWidget*>(modes_), static_cast<QWidget*>(gbAmpl_),
                     static_cast<QWidget*>(gbTime_), static_cast<QWidget*>(gbTrg_),
                     static_cast<QWidget*>(cobTrgLog_)})
    w->setEnabled(on);
  // Amplitude, time and memory depth stay in sight during a run, greyed with their groups, so
  // the settings in force can still be read. The memory-depth group belongs to the scope and
  // the logic analyser only.
  const bool mem = model_.memoryDepthShown();
  gbMem_->setVisible(mem);
  for (QWidget* w : {static_cast<QWidget*>(pnSamples_), static_cast<QWidget*>(tbMem_),
                     static_cast<QWidget*>(pnTotTim_), static_cast<QWidget*>(pnPrePos_),
                     static_cast<QWidget*>(tbTrgPt_)})
    w->setVisible(mem);
  showDepthHint();
}

void TScopeControlsPanel::showDepthHint() {
  // The depths meant for the logic analyser are not refused in the scope, but its record
  // keeps only what its memory holds: the user is told before the run.
  const bool beyond = model_.host().mode() == kModeOSA0 &&
                      double(model_.host().desired().memoryDepth) >
                          double(kScopeMemorySamples);
  lbDepthHint_->setVisible(beyond);
}

// --- Texts ------------------------------------------------------------------------------------

void TScopeControlsPanel::applyTexts() {
  modes_->setToolTip(hintText(33));
  pnMode_->setToolTip(text(34));
  gbAmpl_->setTitle(groupCaption(128));
  gbAmpl_->setToolTip(hintText(129));
  for (int ch = 0; ch < 2; ++ch) {
    const std::size_t i = std::size_t(ch);
    chLabel_[i]->setText(channelName(ch));
    pnAk_[i]->setToolTip(hintText(130 + 2 * ch));
    seTf_[i]->setToolTip(hintText(131 + 2 * ch));
    tbAmpl_[i]->setToolTip(hintText(134 + ch));
    pnOffs_[i]->setToolTip(hintText(136 + ch));
    sbOffs_[i]->setToolTip(hintText(138 + ch));
    bnOffs0_[i]->setToolTip(hintText(140 + ch));
    pnNpkt_[i]->setToolTip(hintText(142 + ch));
  }
  cb085_->setToolTip(hintText(kTextAuxDividerHint));
  gbTime_->setTitle(groupCaption(144));
  gbTime_->setToolTip(hintText(145));
  pnSamplTim_->setToolTip(hintText(146));
  pnSamplFreq_->setToolTip(hintText(147));
  tbSampl_->setToolTip(hintText(148));
  gbMem_->setTitle(groupCaption(223));
  pnSamples_->setToolTip(hintText(149));
  pnTotTim_->setToolTip(hintText(150));
  tbMem_->setToolTip(hintText(151));
  pnPrePos_->setToolTip(hintText(152));
  tbTrgPt_->setToolTip(hintText(153));
  // The table's own hint says which depths belong to the logic analyser: its last part.
  const QString reserved = text(200);
  const int cut = reserved.lastIndexOf(QStringLiteral("~~"));
  lbDepthHint_->setText(cut >= 0 ? reserved.mid(cut + 2) : reserved);
  // The height its lines take at its width: a wrapped label's own hint is only a guess, and the
  // scrolling column would cut its last line.
  lbDepthHint_->setFixedHeight(lbDepthHint_->heightForWidth(kDepthHintWidth));
  gbTrg_->setTitle(groupCaption(154));
  gbTrg_->setToolTip(hintText(155));
  cobTrg_->setToolTip(hintText(162));
  lbTrgTyp_->setText(text(170));
  pnTrgTyp_->setToolTip(hintText(169));
  lbTrgChan_->setText(text(173));
  seTrgChan_->setToolTip(hintText(172));
  lbLevel_[0]->setText(text(165));
  lbLevel_[1]->setText(text(163));
  pnLevel_[0]->setToolTip(hintText(157));
  pnLevel_[1]->setToolTip(hintText(156));
  sbLevel_[0]->setToolTip(hintText(158));
  sbLevel_[1]->setToolTip(hintText(159));
  bnLevel0_[0]->setToolTip(hintText(160));
  bnLevel0_[1]->setToolTip(hintText(161));
  gbLogic_->setTitle(groupCaption(219));
  cobTrgLog_->setToolTip(hintText(162));
  pnTrgTypLog_->setToolTip(hintText(169));
  fillCombos();
  pattern_->applyTexts();
  gpioPanel_->applyTexts();
  sync();
}

}  // namespace tolv
