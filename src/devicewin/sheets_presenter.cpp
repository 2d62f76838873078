#include "devicewin/sheets_presenter.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTabWidget>

#include "common/texttable.h"
#include "devicewin/panel_plotmode.h"
#include "devicewin/panel_voltage.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "measure/derived.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"

namespace tolv {

namespace {

// Marks the running indicator as plotting for the lifetime of a drawing.
class PlottingScope {
 public:
  explicit PlottingScope(TOneTolvanexPresenter& p) : p_(p) { p_.plottingIndicator(true); }
  ~PlottingScope() { p_.plottingIndicator(false); }
  PlottingScope(const PlottingScope&) = delete;
  PlottingScope& operator=(const PlottingScope&) = delete;

 private:
  TOneTolvanexPresenter& p_;
};

PlotSheet sheetOf(MeasureSheet s) {
  switch (s) {
    case MeasureSheet::Scope:
      return PlotSheet::Scope;
    case MeasureSheet::AnalogLogger:
      return PlotSheet::AnalogLogger;
    case MeasureSheet::Voltmeter:
      return PlotSheet::Voltmeter;
    case MeasureSheet::LogicAnalyser:
      return PlotSheet::Logic;
    case MeasureSheet::IoLogger:
      return PlotSheet::IoLogger;
  }
  return PlotSheet::Scope;
}

}  // namespace

TOneTolvanexPresenter::TOneTolvanexPresenter(const Parts& parts, TMeasureData* data)
    : QObject(&parts.window), p_(parts), data_(data) {
  setObjectName(QStringLiteral("TOneTolvanexPresenter"));
  connect(&p_.plotMode, &TPlotModeGroup::plotModeChosen, this,
          [this](int m) { setPlotMode(m); });
  connect(&p_.plotMode, &TPlotModeGroup::autoScaleClicked, this,
          [this](int ch, bool on) { autoScaleClicked(ch, on); });
  connect(&p_.plotMode, &TPlotModeGroup::synchYAxesClicked, this,
          [this](bool on) { synchYAxesClicked(on); });
  connect(&p_.tools, &TPlotToolButtons::copyRequested, this,
          [this](Qt::MouseButton b) { p_.sheets.copyToClipboard(b); });
  connect(&p_.tools, &TPlotToolButtons::printRequested, this, [this] { p_.sheets.print(); });
  connect(&p_.tools, &TPlotToolButtons::savePictureRequested, this,
          [this] { p_.sheets.savePictureAs(); });
  connect(&p_.tools, &TPlotToolButtons::stdSizeRequested, this, [this] {
    if (stdSize_) stdSize_();
  });
  connect(&p_.voltages, &TVoltagePanels::plotOrUpdateChartClicked, this, [this] { plotChart(); });
  if (auto* pc = qobject_cast<QTabWidget*>(p_.sheets.parent()))
    connect(pc, &QTabWidget::currentChanged, this, [this](int i) { sheetShown(i); });
  p_.plotMode.showPlotMode(choice_.plotMode);
  p_.plotMode.showAutoScale(0, choice_.autoScale[0]);
  p_.plotMode.showAutoScale(1, choice_.autoScale[1]);
  p_.plotMode.showSynchYAxes(choice_.synchYAxes);
  sheetShown(int(p_.sheets.shownSheet()));
}

QString TOneTolvanexPresenter::headline() const {
  return headlineText(serial_ ? serial_() : QString(),
                      data_ ? data_->measurementTime() : DayTime{});
}

// --- Plot choices ------------------------------------------------------------------------------

void TOneTolvanexPresenter::setPlotMode(int mode) {
  if (mode < kPlotNone || mode > kPlotK0vsK1) return;
  p_.plotMode.showPlotMode(mode);
  choice_.plotMode = mode;
  redrawShownSheet(RedrawReason::PlotMode);
}

void TOneTolvanexPresenter::autoScaleClicked(int ch, bool on) {
  if (ch != 0 && ch != 1) return;
  choice_.autoScale[ch] = on;
  // A record arriving meanwhile is drawn first, and then again with the new setting.
  processEvents();
  redrawShownSheet(RedrawReason::AutoScale);
}

void TOneTolvanexPresenter::synchYAxesClicked(bool on) {
  if (on == choice_.synchYAxes) return;
  choice_.synchYAxes = on;
  redrawShownSheet(RedrawReason::SynchYAxes);
}

void TOneTolvanexPresenter::restoreOptions(const SettingsRecord& r) {
  choice_.plotMode = std::min<int>(r.scopePlotMode, kPlotK0vsK1);
  choice_.autoScale[0] = r.autoScaleC0;
  choice_.autoScale[1] = r.autoScaleC1;
  choice_.synchYAxes = r.synchYAxes;
  p_.plotMode.showPlotMode(choice_.plotMode);
  p_.plotMode.showAutoScale(0, r.autoScaleC0);
  p_.plotMode.showAutoScale(1, r.autoScaleC1);
  p_.plotMode.showSynchYAxes(r.synchYAxes);
}

void TOneTolvanexPresenter::applyTo(WindowOptions& o) const {
  o.scopePlotMode = std::uint8_t(choice_.plotMode);
  o.autoScaleC0 = choice_.autoScale[0];
  o.autoScaleC1 = choice_.autoScale[1];
  o.synchYAxes = choice_.synchYAxes;
}

void TOneTolvanexPresenter::redrawShownSheet(RedrawReason why) {
  if (!data_) return;
  // The same data drawn anew: the user's zoom stays.
  TPlotSheets::ViewKeeper keep(p_.sheets, why == RedrawReason::PlotMode
                                              ? TPlotSheets::KeepView::XAndY
                                              : TPlotSheets::KeepView::X);
  const PlotSheet shown = p_.sheets.shownSheet();
  if (shown != PlotSheet::Scope && data_->sampleCount() > 0) scopeStale_ = true;
  switch (shown) {
    case PlotSheet::Voltmeter: {
      const int need = why == RedrawReason::PlotMode ? 1 : 2;
      if (data_->chartList().Count() >= need) plotChart();
      break;
    }
    case PlotSheet::Scope:
      if (data_->sampleCount() > 0) drawRecordAgain();
      break;
    case PlotSheet::AnalogLogger: {
      std::error_code ec;
      if (!analogFile_.empty() && std::filesystem::exists(analogFile_, ec)) plotAnalogFile();
      break;
    }
    case PlotSheet::IoLogger:
      if (why == RedrawReason::PlotMode && data_->ioLoggerList().count() > 0)
        plotIoLoggerList(*data_);
      break;
    default:
      break;
  }
}

ChartScale TOneTolvanexPresenter::chartScale() const {
  if (storedSeries_ && data_) return chartScaleFor(data_->recordSettings());
  return chartScaleFor(p_.acq.mode(), p_.acq.conversion());
}

void TOneTolvanexPresenter::plotChart() {
  if (!data_) return;
  // A stored series says what its file left out.
  const QString note = storedSeries_ ? data_->shownSeriesHeadlineNote() : QString();
  p_.sheets.setHeadline(headline() + note);
  p_.sheets.plotChart(data_->chartList().Items(), chartScale(), choice_);
}

void TOneTolvanexPresenter::sheetShown(int index) {
  // The plot modes belong to the voltmeter, scope and analog-logger images.
  const auto s = PlotSheet(index);
  const bool on = s == PlotSheet::Voltmeter || s == PlotSheet::Scope || s == PlotSheet::AnalogLogger;
  if (showPlotMode_)
    showPlotMode_(on);
  else
    p_.plotMode.setVisible(on);
  // The last record, drawn as the choices now say: never a headline without its curves.
  if (s == PlotSheet::Scope && scopeStale_ && data_ && data_->sampleCount() > 0) {
    TPlotSheets::ViewKeeper keep(p_.sheets, TPlotSheets::KeepView::XAndY);
    drawRecordAgain();
  }
}

void TOneTolvanexPresenter::drawRecordAgain() {
  // A multi-device run scales the plot arrays in place with its own scale rows: the record's
  // own samples are drawn again, in the device's volts, as after its own run.
  data_->copyToPlotArray();
  drawScope(*data_);
}

void TOneTolvanexPresenter::setPlotModeVisibility(std::function<void(bool)> f) {
  showPlotMode_ = std::move(f);
  sheetShown(int(p_.sheets.shownSheet()));
}

// --- Record steps ------------------------------------------------------------------------------

void TOneTolvanexPresenter::plotScopeRecord(const TMeasureData& d) {
  scopeSettings_ = d.recordSettings();
  scopeTime_ = d.measurementTime();
  // Drawn just below: bringing the sheet to the front must not draw the older record first.
  scopeStale_ = false;
  // A multi-device run keeps its windows' sheets where the user put them.
  if (!(d.registered() && p_.acq.mode() == kModeOSA0)) p_.sheets.bringToFront(PlotSheet::Scope);
  drawScope(d);
}

void TOneTolvanexPresenter::drawScope(const TMeasureData& d) {
  scopeStale_ = false;
  PlottingScope busy(*this);
  QString h = headlineText(serial_ ? serial_() : QString(), scopeTime_);
  // A record that ended at the scope's memory, short of the depth it was asked for, says so.
  const std::int64_t asked = roundHalfEven(scopeSettings_.memoryDepth);
  if (scopeRecordDepth(scopeSettings_.memoryDepth, d.sampleCount()) < asked)
    h += QStringLiteral("  %1 / %2 %3")
             .arg(d.sampleCount())
             .arg(static_cast<qint64>(asked))
             .arg(text(201));
  p_.sheets.setHeadline(h);
  p_.sheets.plotScope(d.plotChannel0(), d.plotChannel1(), d.sampleCount(), scopeSettings_,
                      choice_);
  if (onScopePlotted) onScopePlotted();
}

void TOneTolvanexPresenter::plotLogicRecord(const TMeasureData& d) {
  PlottingScope busy(*this);
  p_.sheets.setHeadline(headline());
  p_.sheets.plotLogic(d.recordSettings());
}

void TOneTolvanexPresenter::showVoltmeterValues(double ch0, double ch1, const QString& unit) {
  p_.voltages.showVoltage(0, ch0, unit);
  p_.voltages.showVoltage(1, ch1, unit);
  if (onVoltmeterValues) onVoltmeterValues(ch0, ch1, unit);
}

void TOneTolvanexPresenter::chartListChanged(const TTaggedTimedFloatPointList& list) {
  storedSeries_ = false;
  p_.voltages.showChartButton(list.Count() > 1);
  // An emptied list (a new run, another mode) takes the curves of the last series off the
  // chart: under new readings they would pass for them, DC curves under an RMS run.
  if (list.Count() == 0) {
    p_.sheets.setHeadline(headline());
    p_.sheets.clearSheet(PlotSheet::Voltmeter);
  }
}

void TOneTolvanexPresenter::voltmeterRunStopped(const TMeasureData&) {
  PlottingScope busy(*this);
  plotChart();
}

void TOneTolvanexPresenter::voltmeterSeriesShown(const TMeasureData&) {
  storedSeries_ = true;
  PlottingScope busy(*this);
  plotChart();
}

int TOneTolvanexPresenter::plotAnalogFile() {
  failureOnSheet_ = false;
  // Drawn from the file through its summaries: a run of hours never becomes a point list.
  std::error_code sizeError, timeError;
  const std::uintmax_t size = std::filesystem::file_size(analogFile_, sizeError);
  const auto time = std::filesystem::last_write_time(analogFile_, timeError);
  const bool same = opened_.series && !sizeError && !timeError && opened_.file == analogFile_ &&
                    opened_.size == size && opened_.time == time;
  std::shared_ptr<const AnalogLoggerSeries> series = same ? opened_.series : nullptr;
  int rc = 0;
  if (!series) {
    opened_ = {};
    auto fresh = std::make_shared<AnalogLoggerSeries>();
    rc = openAnalogLoggerSeries(analogFile_, *fresh);
    if (rc == 0 && !sizeError && !timeError) opened_ = {analogFile_, size, time, fresh};
    series = std::move(fresh);
  }
  const AnalogLoggerSeries& stream = *series;
  // The headline names the stream's own start: a stored stream shown in a window that has not
  // measured yet has no time of the window's to give.
  const DayTime start = stream.start ? *stream.start : (data_ ? data_->measurementTime() : DayTime{});
  const QString headline = headlineText(serial_ ? serial_() : QString(), start);
  p_.sheets.setHeadline(headline);
  if (rc != 0) {
    // A damaged or empty stream leaves an empty image, never a stale one, and says why on it.
    clearSaying(headline, measureResultText(rc, languageIndex(), ResultContext::Reading),
                PlotSheet::AnalogLogger);
    failureOnSheet_ = true;
    return rc;
  }
  return p_.sheets.plotAnalogLogger(stream, start, choice_);
}

void TOneTolvanexPresenter::clearSaying(const QString& headline, const QString& why,
                                        PlotSheet sheet) {
  // The empty picture carries the reason; later pictures the plain headline.
  p_.sheets.setHeadline(headline + QStringLiteral("  ") + why);
  p_.sheets.clearSheet(sheet);
  p_.sheets.setHeadline(headline);
}

int TOneTolvanexPresenter::plotAnalogLoggerFile(const std::filesystem::path& streamFile) {
  PlottingScope busy(*this);
  analogFile_ = streamFile;
  opened_ = {};  // a stream shown anew is read anew
  p_.sheets.bringToFront(PlotSheet::AnalogLogger);
  return plotAnalogFile();
}

void TOneTolvanexPresenter::plotIoLoggerList(const TMeasureData& d) {
  PlottingScope busy(*this);
  p_.sheets.bringToFront(PlotSheet::IoLogger);
  // A stream that could not be read back leaves an empty picture that says why.
  p_.sheets.setHeadline(headline() + d.ioLoggerHeadlineNote());
  p_.sheets.plotIoLogger(d.recordSettings().sampleTime);
  p_.sheets.setHeadline(headline());
}

void TOneTolvanexPresenter::clearLoggerImage(IntermediateFamily family) {
  // A logger's picture is drawn from its stream once the run ends; until then the empty sheet
  // says so, or the user takes it for a fault. A stream that could not be opened gets no
  // picture at the end: the sheet says why instead.
  const int opened = data_ ? data_->lastLoggerOpenResult() : 0;
  const QString waiting = opened == 0
                              ? text(kTextLoggerDrawnAtEnd)
                              : measureResultText(opened, languageIndex(), ResultContext::Writing);
  if (family == IntermediateFamily::DLA0) {
    analogFile_.clear();
    opened_ = {};
    clearSaying(headline(), waiting, PlotSheet::AnalogLogger);
  } else if (family == IntermediateFamily::DLDI) {
    clearSaying(headline(), waiting, PlotSheet::IoLogger);
  }
}

void TOneTolvanexPresenter::plottingIndicator(bool on) {
  plottingDepth_ = std::max(0, plottingDepth_ + (on ? 1 : -1));
  p_.runPanel.showRunState(plottingDepth_ > 0 ? RunState::FilePlotting : p_.acq.runState());
}

void TOneTolvanexPresenter::sheetToFront(MeasureSheet s) {
  p_.sheets.bringToFront(sheetOf(s));
}

void TOneTolvanexPresenter::intermediateFilesChanged(const TIntermediateNumbering& n) {
  if (onIntermediateFilesChanged) onIntermediateFilesChanged(n);
}

void TOneTolvanexPresenter::processEvents() {
  QCoreApplication::processEvents();
}

}  // namespace tolv
