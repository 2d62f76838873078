#pragma once
// What a device window shows of its measurements: the record steps' drawing requests go to the
// plot sheets, the voltmeter values to the voltage panels, and the plot-mode controls redraw
// the sheet in front. Holds the window's plot choices (plot mode, auto-scale, synchronised Y
// axes) and the stream file the analog-logger image shows.
#include <QObject>
#include <filesystem>
#include <functional>

#include "device/acquisition.h"
#include "measure/measuredata.h"
#include "measure/plotfeed.h"
#include "measure/snapshot.h"

class QWidget;

namespace tolv {

class TPlotSheets;
class TPlotModeGroup;
class TPlotToolButtons;
class TVoltagePanels;
class TOneTolvanexRunPanel;
enum class PlotSheet : int;

class TOneTolvanexPresenter : public QObject, public IMeasurePresenter {
  Q_OBJECT
 public:
  // Why the shown sheet is drawn again: the rules differ slightly.
  enum class RedrawReason { PlotMode, AutoScale, SynchYAxes };

  struct Parts {
    TPlotSheets& sheets;
    TPlotModeGroup& plotMode;
    TPlotToolButtons& tools;
    TVoltagePanels& voltages;
    TOneTolvanexRunPanel& runPanel;
    TAcquisition& acq;
    QWidget& window;
  };
  // data: the window's measurement data (replaced when the window opens its device folder).
  TOneTolvanexPresenter(const Parts& parts, TMeasureData* data);

  void setData(TMeasureData* data) { data_ = data; }
  // Serial number for the headline.
  void setSerialSource(std::function<QString()> f) { serial_ = std::move(f); }
  // Shows or hides the plot-mode group with what holds it.
  void setPlotModeVisibility(std::function<void(bool)> f);
  // The window's standard size (BBN_StdSize).
  void setStdSizeAction(std::function<void()> f) { stdSize_ = std::move(f); }

  // --- Plot choices ------------------------------------------------------------------------
  const PlotChoice& choice() const { return choice_; }
  // Checks the matching radio button, stores the value and redraws the shown sheet.
  void setPlotMode(int mode);
  void autoScaleClicked(int ch, bool on);
  void synchYAxesClicked(bool on);
  // Settings restored at start: the controls follow without drawing anything.
  void restoreOptions(const SettingsRecord& r);
  // The presenter's part of the window options.
  void applyTo(WindowOptions& o) const;
  void redrawShownSheet(RedrawReason why);
  void drawRecordAgain();
  // BN_PlotOrUpdateChart.
  void plotChart();
  // Headline from the serial number and the current measurement time.
  QString headline() const;

  // Settings and time of the scope record the scope image shows. Records of other modes
  // change the data's record settings; the scope image keeps its own for redrawing.
  const SettingsRecord& scopeRecordSettings() const { return scopeSettings_; }
  const DayTime& scopeRecordTime() const { return scopeTime_; }

  // The stream file the analog-logger image shows (empty: none yet).
  const std::filesystem::path& analogLoggerFile() const { return analogFile_; }

  // --- Hooks for the displays and menus of other panels ----------------------------------------
  std::function<void(double, double, const QString&)> onVoltmeterValues;
  std::function<void(const TIntermediateNumbering&)> onIntermediateFilesChanged;
  std::function<void()> onScopePlotted;  // a scope record was drawn

  // --- IMeasurePresenter ------------------------------------------------------------------------
  void plotScopeRecord(const TMeasureData& d) override;
  void plotLogicRecord(const TMeasureData& d) override;
  void showVoltmeterValues(double ch0, double ch1, const QString& unit) override;
  void chartListChanged(const TTaggedTimedFloatPointList& list) override;
  void voltmeterRunStopped(const TMeasureData& d) override;
  void voltmeterSeriesShown(const TMeasureData& d) override;
  int plotAnalogLoggerFile(const std::filesystem::path& streamFile) override;
  bool failureOnSheet() const override { return failureOnSheet_; }
  void plotIoLoggerList(const TMeasureData& d) override;
  void clearLoggerImage(IntermediateFamily family) override;
  void plottingIndicator(bool on) override;
  void sheetToFront(MeasureSheet s) override;
  void intermediateFilesChanged(const TIntermediateNumbering& n) override;
  void processEvents() override;

 private:
  void sheetShown(int index);
  void drawScope(const TMeasureData& d);
  ChartScale chartScale() const;
  int plotAnalogFile();
  // Empties the analog-logger picture with `why` after the headline.
  void clearSaying(const QString& headline, const QString& why, PlotSheet sheet);

  Parts p_;
  TMeasureData* data_;
  PlotChoice choice_;
  bool storedSeries_ = false;  // the chart list holds a stored series, not the window's own
  std::filesystem::path analogFile_;
  bool failureOnSheet_ = false;
  // The stream last opened for drawing, kept while its file keeps its size and time: a change
  // of plot mode or scaling redraws it without reading and summarising the file again.
  struct OpenedStream {
    std::filesystem::path file;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time;
    std::shared_ptr<const AnalogLoggerSeries> series;
  };
  OpenedStream opened_;
  SettingsRecord scopeSettings_ = SettingsRecord::defaults();
  DayTime scopeTime_;
  std::function<QString()> serial_;
  std::function<void()> stdSize_;
  std::function<void(bool)> showPlotMode_;
  int plottingDepth_ = 0;
  // The scope record was not drawn with the plot choices in force (they changed while another
  // sheet was in front, or a multi-device run had the drawing off): drawn when the scope sheet
  // comes to the front.
  bool scopeStale_ = false;
};

}  // namespace tolv
