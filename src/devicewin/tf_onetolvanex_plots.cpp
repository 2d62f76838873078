#include "devicewin/tf_onetolvanex_plots.h"

#include <QTabWidget>

#include "devicewin/flowlayout.h"
#include "devicewin/panel_files.h"
#include "devicewin/panel_plotmode.h"
#include "common/texttable.h"
#include "devicewin/panel_voltage.h"
#include "devicewin/scopemeasure_link.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/voltmeterbars.h"
#include "device/decoding.h"
#include "wire/wirecommands.h"
#include "measure/snapshot.h"

namespace tolv {

TOneTolvanexPlots::TOneTolvanexPlots(TF_OneTolvanex& window, ITimer& unzoomTimer)
    : w_(window), data_(std::make_unique<TMeasureData>()) {
  sheets_ = new TPlotSheets(w_.pageControl(), unzoomTimer, &w_);

  // The plot controls follow the run controls in the cool bar, whose rows wrap in a narrow
  // window. The plot-mode group keeps its room while hidden, so changing sheets does not
  // move the rows.
  auto* bar = static_cast<TFlowLayout*>(w_.runControlsArea()->layout());
  tools_ = new TPlotToolButtons(w_.runControlsArea());
  group_ = new TPlotModeGroup(w_.runControlsArea());
  QSizePolicy keep = group_->sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  group_->setSizePolicy(keep);
  bar->insertWidget(-1, tools_);
  bar->insertWidget(-1, group_);

  voltages_ = new TVoltagePanels(sheets_->page(PlotSheet::Voltmeter));
  sheets_->setVoltageGroup(voltages_);

  presenter_ = new TOneTolvanexPresenter(
      {*sheets_, *group_, *tools_, *voltages_, *w_.runPanel(), w_.acquisition(), w_}, data_.get());
  presenter_->setPlotModeVisibility([this](bool on) { group_->setVisible(on); });
  presenter_->setSerialSource([this] { return w_.serialNumber(); });
  presenter_->setStdSizeAction([this] { w_.restoreDefaultSize(); });
  w_.setVoltmeterRunHook([this] { data_->clearChartList(); });
  wireBars();
  measure_ = new TScopeMeasureLink(
      *sheets_, [this] { return data_.get(); },
      [this]() -> const PlotChoice& { return presenter_->choice(); },
      [this]() -> const SettingsRecord& { return presenter_->scopeRecordSettings(); });
  presenter_->onScopePlotted = [this] { measure_->recordPlotted(); };
  wireData();
}

TOneTolvanexPlots::~TOneTolvanexPlots() {
  // The data goes first: nothing may report to the presenter while the widgets go away.
  w_.setRecordSink(nullptr);
  data_->setPresenter(nullptr);
  // The sheets hold a window timer that the window destroys before its child widgets.
  delete measure_;
  delete presenter_;
  delete sheets_;
}

void TOneTolvanexPlots::wireBars() {
  for (int ch = 0; ch < 2; ++ch) {
    bars_[std::size_t(ch)] = new TVoltmeterBar(ch);
    voltages_->barSlot(ch)->addWidget(bars_[std::size_t(ch)]);
  }
  // Each reading is shown with the settings in force; with unchanged settings the drag
  // indicator keeps the values seen so far.
  presenter_->onVoltmeterValues = [this](double ch0, double ch1, const QString&) {
    if (!reshowing_) shown_ = {true, data_->lastVoltmeterRecord(), w_.acquisition().conversion()};
    barsFollowSettings();
    bars_[0]->showValue(ch0);
    bars_[1]->showValue(ch1);
  };
  // A probe factor or the divider is the window's own: no settings reply follows, so the scale
  // and the reading take it at once rather than with the next reading.
  QObject::connect(&w_.settingsModel(), &TSettingsModel::changed, bars_[0], [this](SettingsTopic t) {
    if (t != SettingsTopic::Probe && t != SettingsTopic::Aux) return;
    barsFollowSettings();
    reshowReading();
  });
}

void TOneTolvanexPlots::reshowReading() {
  const ModeCode mode = w_.acquisition().mode();
  if (!shown_.valid || !isVoltmeterMode(mode) || voltmeterRecordMode(shown_.raw) != mode) return;
  const ConversionInputs& now = w_.acquisition().conversion();
  if (now.probe == shown_.conv.probe && now.aux == shown_.conv.aux) return;
  // The reading's own ranges and offsets (a raw value was measured in them), the factors now
  // in force. The chart keeps the readings as they were taken.
  shown_.conv.probe = now.probe;
  shown_.conv.aux = now.aux;
  const VoltmeterValues v = convertVoltmeterReply(shown_.raw, shown_.conv);
  reshowing_ = true;
  presenter_->showVoltmeterValues(v.ch0, v.ch1, data_->voltageUnit());
  reshowing_ = false;
}

void TOneTolvanexPlots::barsFollowSettings() {
  const int mode = modeIndex(w_.acquisition().mode());
  if (mode < 0 || mode >= 4) {
    // Leaving the voltmeter family ends what the bars have shown: back in it, they start
    // afresh.
    for (BarState& b : barState_) b.mode = -1;
    return;
  }
  // A changed mode, range, probe factor or divider draws the scale anew and starts the bar
  // afresh (its setters clear the drag indicator).
  const ConversionInputs& c = w_.acquisition().conversion();
  for (std::size_t ch = 0; ch < 2; ++ch) {
    const BarState now{mode, c.ampl[ch], c.probe[ch], c.aux};
    BarState& was = barState_[ch];
    if (now == was) continue;
    TVoltmeterBar* b = bars_[ch];
    if (now.mode != was.mode) b->setMode(now.mode);
    if (now.ampl != was.ampl || now.mode != was.mode) b->setRange(now.ampl);
    if (now.probe != was.probe) b->setProbeFactor(now.probe);
    if (now.aux != was.aux) b->setAuxDivider(now.aux);
    b->resetIndicator();
    was = now;
  }
}

void TOneTolvanexPlots::modeConfirmed(ModeCode mode) {
  // Another voltmeter mode: the bars take its scale at once, in the range in force (not after
  // the first reading, and not in a range left from before).
  barsFollowSettings();
  // The chart's series belongs to the mode it was measured in.
  if (mode != chartMode_ && chartMode_ != 0) data_->clearChartList();
  // A reading of another mode (DC under RMS, its unit too) is no reading of this one.
  if (mode != chartMode_ && chartMode_ != 0) voltages_->clearVoltages();
  if (mode != chartMode_) shown_.valid = false;
  chartMode_ = mode;
}

void TOneTolvanexPlots::settingsApplied() {
  // The device reported its settings (after a restart, a range change): the bars show them.
  barsFollowSettings();
}

void TOneTolvanexPlots::wireData() {
  data_->setPresenter(presenter_);
  data_->setSnapshotSource([this] { return snapshot(); });
  presenter_->setData(data_.get());
  sheets_->attachLists(data_->logicList(), data_->ioLoggerList());
  w_.setRecordSink(data_.get());
}

void TOneTolvanexPlots::setDeviceFolder(const std::filesystem::path& folder) {
  if (folder == data_->deviceFolder()) return;
  auto fresh = std::make_unique<TMeasureData>(folder);
  w_.setRecordSink(nullptr);
  data_->setPresenter(nullptr);
  data_ = std::move(fresh);
  data_->initNumbering();
  wireData();
}

SettingsRecord TOneTolvanexPlots::snapshot() {
  TAcquisition& acq = w_.acquisition();
  // What this side does not own comes from the settings the window was started with.
  WindowOptions o = WindowOptions::fromRecord(acq.loadedSettings());
  o.singleShot = acq.singleShot();
  o.overlapping = acq.overlap();
  presenter_->applyTo(o);
  if (w_.filePanel()) o.autoSaveMode = std::uint8_t(w_.filePanel()->autoSaveMode());
  const QRect g = w_.geometry();
  o.width = g.width();
  o.height = g.height();
  o.left = g.left();
  o.top = g.top();
  return takeSnapshot(acq, o);
}

void TOneTolvanexPlots::restoreOptions(const SettingsRecord& r) {
  presenter_->restoreOptions(r);
}

void TOneTolvanexPlots::applyTexts() {
  sheets_->applyTexts();
  group_->applyTexts();
  tools_->applyTexts();
  voltages_->applyTexts();
  for (TVoltmeterBar* b : bars_)
    if (b) b->applyTexts();
  measure_->applyTexts(languageIndex());
}

void TOneTolvanexPlots::setCoordinateWindow(TF_D2Koord* k) {
  sheets_->setCoordinateWindow(k);
}

}  // namespace tolv
