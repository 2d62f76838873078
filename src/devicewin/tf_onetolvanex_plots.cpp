#include "devicewin/tf_onetolvanex_plots.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>

#include "devicewin/panel_files.h"
#include "devicewin/panel_plotmode.h"
#include "common/texttable.h"
#include "devicewin/panel_voltage.h"
#include "devicewin/scopemeasure_link.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/voltmeterbars.h"
#include "wire/wirecommands.h"
#include "measure/snapshot.h"

namespace tolv {

TOneTolvanexPlots::TOneTolvanexPlots(TF_OneTolvanex& window, ITimer& unzoomTimer)
    : w_(window), data_(std::make_unique<TMeasureData>()) {
  sheets_ = new TPlotSheets(w_.pageControl(), unzoomTimer, &w_);

  // The plot controls sit in the cool bar after the run controls. In a narrow window the
  // plot-mode group scrolls sideways rather than pushing the window wider.
  auto* bar = static_cast<QHBoxLayout*>(w_.runControlsArea()->layout());
  tools_ = new TPlotToolButtons(w_.runControlsArea());
  auto* scroll = new QScrollArea(w_.runControlsArea());
  scroll->setObjectName(QStringLiteral("SB_PlotMode"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  group_ = new TPlotModeGroup;
  scroll->setWidget(group_);
  scroll->setFixedHeight(group_->sizeHint().height() +
                         scroll->horizontalScrollBar()->sizeHint().height());
  scroll->setMinimumWidth(60);
  scroll->setMaximumWidth(group_->sizeHint().width() + 2 * scroll->frameWidth());
  scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  const int at = std::max(0, bar->count() - 1);  // before the closing stretch
  bar->insertWidget(at, tools_, 0, Qt::AlignVCenter);
  // Takes all the room up to its full width before the closing stretch gets any.
  bar->insertWidget(at + 1, scroll, 1000, Qt::AlignTop);

  voltages_ = new TVoltagePanels(sheets_->page(PlotSheet::Voltmeter));
  sheets_->setVoltageGroup(voltages_);

  presenter_ = new TOneTolvanexPresenter(
      {*sheets_, *group_, *tools_, *voltages_, *w_.runPanel(), w_.acquisition(), w_}, data_.get());
  presenter_->setPlotModeVisibility([scroll](bool on) { scroll->setVisible(on); });
  presenter_->setSerialSource([this] { return w_.serialNumber(); });
  presenter_->setStdSizeAction([this] { w_.restoreDefaultSize(); });
  w_.setVoltmeterRunHook([this] { data_->clearChartList(); });
  wireBars();
  measure_ = new TScopeMeasureLink(
      *sheets_, [this] { return data_.get(); },
      [this]() -> const PlotChoice& { return presenter_->choice(); });
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
  // The bars follow the settings in force at each reading; a changed mode, range, probe factor
  // or divider starts the bar afresh (its setters clear the drag indicator).
  presenter_->onVoltmeterValues = [this](double ch0, double ch1, const QString&) {
    const ConversionInputs& c = w_.acquisition().conversion();
    const int mode = modeIndex(w_.acquisition().mode());
    const double values[2] = {ch0, ch1};
    for (std::size_t ch = 0; ch < 2; ++ch) {
      BarState now{mode, c.ampl[ch], c.probe[ch], c.aux};
      TVoltmeterBar* b = bars_[ch];
      if (!(now == barState_[ch])) {
        if (now.mode != barState_[ch].mode) b->setMode(now.mode);
        if (now.ampl != barState_[ch].ampl) b->setRange(now.ampl);
        if (now.probe != barState_[ch].probe) b->setProbeFactor(now.probe);
        if (now.aux != barState_[ch].aux) b->setAuxDivider(now.aux);
        b->resetIndicator();
        barState_[ch] = now;
      }
      b->showValue(values[ch]);
    }
  };
}

void TOneTolvanexPlots::modeConfirmed(ModeCode mode) {
  const int m = modeIndex(mode);
  if (m >= 4) {
    for (BarState& b : barState_) b.mode = -1;
    return;
  }
  // Another voltmeter mode: the bars take its scale at once (an RMS bar showed the DC scale
  // until the first reading arrived).
  for (std::size_t ch = 0; ch < 2; ++ch) {
    if (barState_[ch].mode == m) continue;
    bars_[ch]->setMode(m);
    bars_[ch]->setRange(barState_[ch].ampl);
    barState_[ch].mode = m;
  }
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
  measure_->applyTexts(languageIndex());
}

void TOneTolvanexPlots::setCoordinateWindow(TF_D2Koord* k) {
  sheets_->setCoordinateWindow(k);
}

}  // namespace tolv
