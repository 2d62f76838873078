#include "devicewin/scopemeasure_link.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <span>

#include "common/colours.h"
#include "devicewin/panel_scopemeasure.h"
#include "devicewin/sheets_plots.h"
#include "measure/measuredata.h"
#include "measure/plotfeed.h"

namespace tolv {

TScopeMeasureLink::TScopeMeasureLink(TPlotSheets& sheets, DataSource data, ChoiceSource choice,
                                     SettingsSource settings)
    : QObject(sheets.page(PlotSheet::Scope)),
      sheets_(sheets),
      data_(std::move(data)),
      choice_(std::move(choice)),
      settings_(std::move(settings)) {
  QWidget* page = sheets.page(PlotSheet::Scope);
  panel_ = new TScopeMeasurePanel(page);
  panel_->setChannelColours(toQColor(kChannelColour[0]), toQColor(kChannelColour[1]));
  // A column beside the scope image: the table never covers the curves.
  sheets.setSideWidget(PlotSheet::Scope, panel_);
  if (QLabel* image = sheets.image(PlotSheet::Scope)) image->installEventFilter(this);
  place();
}

bool TScopeMeasureLink::eventFilter(QObject*, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease) {
    // The sheets zoom on the same release; look at the range once they are done.
    QTimer::singleShot(0, this, [this] { viewChanged(); });
  }
  return false;
}

void TScopeMeasureLink::place() {
  // New texts or values may change the table's size: the sheets give it its column again.
  if (panel_->layout() != nullptr) panel_->layout()->activate();
  panel_->adjustSize();
  sheets_.scheduleRelayout();
}

const SettingsRecord& TScopeMeasureLink::recordSettings(const TMeasureData& d) const {
  return settings_ ? settings_() : d.recordSettings();
}

void TScopeMeasureLink::recordPlotted() {
  const TMeasureData* d = data_ ? data_() : nullptr;
  if (d == nullptr) return;
  const auto n = static_cast<std::size_t>(std::max(0, d->sampleCount()));
  panel_->setRecord(std::span<const double>(d->plotChannel0(), n),
                    std::span<const double>(d->plotChannel1(), n), recordSettings(*d).sampleTime);
  viewChanged();
}

bool TScopeMeasureLink::shownSampleRange(double shownMin, double shownMax, double dt,
                                         double pretrigger, int samples, int& first, int& last) {
  if (!(dt > 0.0) || samples <= 0 || !(shownMax > shownMin)) return false;
  const double lo = std::ceil((shownMin + pretrigger) / dt - 1e-9);
  const double hi = std::floor((shownMax + pretrigger) / dt + 1e-9);
  if (lo <= 0.0 && hi >= samples - 1) return false;
  first = static_cast<int>(std::clamp(lo, -1.0, double(samples)));
  last = static_cast<int>(std::clamp(hi, -1.0, double(samples)));
  return true;
}

void TScopeMeasureLink::viewChanged() {
  const TMeasureData* d = data_ ? data_() : nullptr;
  TGenD2ImgKernel& k = sheets_.scopeKernel();
  const int mode = choice_ ? choice_().plotMode : kPlotK0K1;
  int first = -1, last = -1;
  // XY pictures have volts on the X axis: they always stand for the whole record.
  if (d != nullptr && mode != kPlotK1vsK0 && mode != kPlotK0vsK1 && k.DataSets().Count() > 0) {
    const SettingsRecord& rs = recordSettings(*d);
    const AxisWorldData& ax = k.DataSets().At(0)->xAxis;
    const double pre = rs.triggerPoint * 0.01 * rs.memoryDepth * rs.sampleTime;
    if (!shownSampleRange(ax.renderedMin.toNumber(), ax.renderedMax.toNumber(), rs.sampleTime,
                          pre, d->sampleCount(), first, last))
      first = last = -1;
  }
  panel_->setRange(first, last);
  place();
}

void TScopeMeasureLink::applyTexts(int language) {
  panel_->applyTexts(language);
  place();
}

}  // namespace tolv
