#pragma once
// Puts the measurement table on the scope sheet and keeps it on the shown record: a new record
// is measured whole, a zoom measures the samples inside the shown time range.
#include <QObject>
#include <functional>

namespace tolv {

class TPlotSheets;
class TMeasureData;
class TScopeMeasurePanel;
struct PlotChoice;
struct SettingsRecord;

class TScopeMeasureLink : public QObject {
  Q_OBJECT
 public:
  using DataSource = std::function<const TMeasureData*()>;
  using ChoiceSource = std::function<const PlotChoice&()>;
  // The settings of the record the scope image shows.
  using SettingsSource = std::function<const SettingsRecord&()>;
  TScopeMeasureLink(TPlotSheets& sheets, DataSource data, ChoiceSource choice,
                    SettingsSource settings);

  // After a scope record was drawn.
  void recordPlotted();
  // After the shown time range may have changed (zoom, unzoom).
  void viewChanged();
  void applyTexts(int language);
  TScopeMeasurePanel& panel() { return *panel_; }

  // Sample range first..last of a record (sample time dt, x of sample i = i * dt - pretrigger)
  // inside the shown time range; false when the whole record is shown.
  static bool shownSampleRange(double shownMin, double shownMax, double dt, double pretrigger,
                               int samples, int& first, int& last);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void place();
  const SettingsRecord& recordSettings(const TMeasureData& d) const;

  TPlotSheets& sheets_;
  DataSource data_;
  ChoiceSource choice_;
  SettingsSource settings_;
  TScopeMeasurePanel* panel_ = nullptr;
};

}  // namespace tolv
