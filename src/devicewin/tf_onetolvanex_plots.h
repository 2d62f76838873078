#pragma once
// The measurement side of a device window in one piece: its measurement data (the record sink
// of the acquisition cycle), the plot sheets on the page control, the plot controls in the
// cool bar, the voltage panels, and the presenter that connects them.
#include <array>
#include <filesystem>
#include <memory>

#include "device/devtimer.h"
#include "measure/measuredata.h"

namespace tolv {

class TF_OneTolvanex;
class TPlotSheets;
class TPlotModeGroup;
class TPlotToolButtons;
class TVoltagePanels;
class TOneTolvanexPresenter;
class TF_D2Koord;
class TVoltmeterBar;
class TScopeMeasureLink;

class TOneTolvanexPlots {
 public:
  // unzoomTimer: TM_Replot_DLDI_Data (250 ms).
  TOneTolvanexPlots(TF_OneTolvanex& window, ITimer& unzoomTimer);
  ~TOneTolvanexPlots();
  TOneTolvanexPlots(const TOneTolvanexPlots&) = delete;
  TOneTolvanexPlots& operator=(const TOneTolvanexPlots&) = delete;

  // The device folder is known once the device is open: the data starts afresh there, with
  // its intermediate files' numbering read from it.
  void setDeviceFolder(const std::filesystem::path& folder);
  // Options of restored settings: plot mode, auto-scale flags, synchronised Y axes.
  void restoreOptions(const SettingsRecord& r);
  void applyTexts();
  // Leaving the voltmeter family ends what the bars have shown: back in it, they start afresh.
  void modeConfirmed(ModeCode mode);
  // The device reported its settings: the voltage bars take the ranges in force.
  void settingsApplied();
  // The shared coordinate read-out of the main frame.
  void setCoordinateWindow(TF_D2Koord* k);

  TMeasureData& data() { return *data_; }
  TPlotSheets& sheets() { return *sheets_; }
  TPlotModeGroup& plotModeGroup() { return *group_; }
  TPlotToolButtons& toolButtons() { return *tools_; }
  TVoltagePanels& voltagePanels() { return *voltages_; }
  TOneTolvanexPresenter& presenter() { return *presenter_; }
  TScopeMeasureLink& scopeMeasure() { return *measure_; }

 private:
  void wireData();
  void wireBars();
  void barsFollowSettings();
  // A probe factor or the divider changed: the last reading is shown again converted with it.
  void reshowReading();
  SettingsRecord snapshot();

  TF_OneTolvanex& w_;
  std::unique_ptr<TMeasureData> data_;
  TPlotSheets* sheets_ = nullptr;
  TPlotModeGroup* group_ = nullptr;
  TPlotToolButtons* tools_ = nullptr;
  TVoltagePanels* voltages_ = nullptr;
  TOneTolvanexPresenter* presenter_ = nullptr;
  TScopeMeasureLink* measure_ = nullptr;  // owned by the scope page
  // The voltage bars IM_V_C0/IM_V_C1 and the settings they were last drawn with.
  struct BarState {
    int mode = -1;
    double ampl = 0, probe = 0, aux = 0;
    bool operator==(const BarState&) const = default;
  };
  std::array<TVoltmeterBar*, 2> bars_{};
  std::array<BarState, 2> barState_{};
  ModeCode chartMode_ = 0;  // the mode confirmed last
  // The reading the voltage panels show, with the conversion it was taken with.
  struct ShownReading {
    bool valid = false;
    VoltmeterReplyRecord raw{};
    ConversionInputs conv;
  } shown_;
  bool reshowing_ = false;
};

}  // namespace tolv
