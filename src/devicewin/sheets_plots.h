#pragma once
// The device window's five data images on the tab sheets of its page control: the voltmeter
// chart, the scope image, the logic-analyser diagram, the analog-logger image and the
// I/O-logger diagram. Owns the three plot kernels and the two timing diagrams, draws what it is
// handed, puts the headline on every picture, handles zoom, measurement and unzoom with the
// mouse, keeps the images fitted to their sheets, and copies or prints what is shown.
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <tuple>
#include <utility>

#include "device/devtimer.h"
#include "devicewin/picturesave.h"
#include "measure/plotfeed.h"
#include "plot/d2koord.h"
#include "plot/genkernel.h"
#include "plot/loganal_plot.h"

class QLabel;
class QPrinter;
class QTabWidget;
class QWidget;

namespace tolv {

// Pages of the page control, in page order.
enum class PlotSheet : int {
  Voltmeter = 0,
  ScopeControls = 1,
  Scope = 2,
  Logic = 3,
  AnalogLogger = 4,
  IoLogger = 5,
};

class TRepaintPacer;

class TPlotSheets : public QObject {
  Q_OBJECT
 public:
  // Right then left button within this time on a timing diagram returns to the full view.
  static constexpr int kUnzoomWindowMs = 250;
  // A timing diagram is redrawn on resize only with at least this many entries (logic
  // analyser) or more than this many (I/O logger).
  static constexpr int kLogicRedrawMin = 100;
  static constexpr int kIoRedrawAbove = 9;
  static constexpr int kChartGap = 5;

  // pageControl: the window's PC_1 with its six pages (ScopeControls has no image). The
  // unzoom timer is TM_Replot_DLDI_Data; window receives the timing diagrams' progress and is
  // what the whole-window copy and the print show.
  TPlotSheets(QTabWidget* pageControl, ITimer& unzoomTimer, QWidget* window);
  ~TPlotSheets() override;

  // How much of the user's zoom a drawing keeps. A new record shows its full view (None); a
  // redraw of the same data after a plot-mode change keeps every axis whose unit it still
  // has (XAndY), after an auto-scale or synchronisation change only the X axes (X), since
  // those changes are about the Y ranges.
  enum class KeepView { None, X, XAndY };
  // An axis of a kernel sheet: its plot family (0 time curves, 4 and 5 the XY modes), X or Y,
  // its unit and the kind of its values; and its range.
  using ViewKey = std::tuple<int, bool, QString, int>;
  using AxisRanges = std::map<ViewKey, std::pair<WorldValue, WorldValue>>;
  // Drawings while it lives keep the zoom as asked.
  class ViewKeeper {
   public:
    ViewKeeper(TPlotSheets& s, KeepView k) : s_(s), was_(s.keep_) { s.keep_ = k; }
    ~ViewKeeper() { s_.keep_ = was_; }
    ViewKeeper(const ViewKeeper&) = delete;
    ViewKeeper& operator=(const ViewKeeper&) = delete;

   private:
    TPlotSheets& s_;
    KeepView was_;
  };

  // The window's two sample lists, drawn by the timing diagrams (new diagrams are made).
  void attachLists(const TLogAnalList& logicList, const TLogAnalList& ioList);

  // --- Drawing -------------------------------------------------------------------------------
  // Each feeds its kernel or view, renders into its image and draws the headline; they return
  // 0 or the code of the curve that could not be set up (nothing is drawn then).
  int plotScope(const double* ch0, const double* ch1, int n, const SettingsRecord& rs,
                const PlotChoice& pc);
  int plotAnalogLogger(const AnalogLoggerSeries& stream, const DayTime& start,
                       const PlotChoice& pc);
  int plotChart(std::span<const VoltmeterReading> readings, const ChartScale& scale,
                const PlotChoice& pc);
  int plotLogic(const SettingsRecord& rs);
  int plotIoLogger(double sampleTime);
  // Empties an image (a mode change, a run that starts afresh) and leaves the headline.
  void clearSheet(PlotSheet s);

  // Headline text of the next drawing; each image keeps the headline of its own last drawing
  // (a record of another mode does not retitle it).
  void setHeadline(const QString& text);
  const QString& headline() const { return headline_; }
  const QString& headline(PlotSheet s) const { return sheetHeadlines_[std::size_t(int(s))]; }
  void drawHeadlines();

  void bringToFront(PlotSheet s);
  PlotSheet shownSheet() const;

  // --- Mouse (the images' handlers; also called by tests) ------------------------------------
  // button: Qt::LeftButton / RightButton / MiddleButton of the event; buttons: those held.
  void mouseDown(PlotSheet s, Qt::MouseButton button, Qt::MouseButtons buttons,
                 Qt::KeyboardModifiers mods, int x, int y);
  void mouseMove(PlotSheet s, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods, int x, int y);
  void mouseUp(PlotSheet s, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods, int x, int y);

  // Wheel over an image: zooms the X axis around the pointer, with Ctrl the Y axis (curves
  // only), with Shift it pans. delta in eighths of a degree (120 a notch, positive away from
  // the user: zoom in, pan towards earlier times).
  void wheel(PlotSheet s, Qt::KeyboardModifiers mods, int x, int y, int delta);
  // Middle button: cursor A, then B, then A ...; with Ctrl both cursors go. The read-out
  // window shows their distance.
  void placeCursor(PlotSheet s, Qt::KeyboardModifiers mods, int x);

  // Back to the full view (the rule of both buttons, or of right then left on a diagram).
  void unzoom(PlotSheet s);
  // A wheel step at the middle of the plot (the keys for zooming in and out).
  void keyZoom(PlotSheet s, double steps);
  // The next (direction 1) or previous (-1) page that can be shown, round the end.
  void stepSheet(int direction);

  // --- Copy, print, layout -------------------------------------------------------------------
  // Left or middle button: the picture of the shown image; right button or the settings sheet:
  // the whole window. Returns the image put on the clipboard.
  QImage copyToClipboard(Qt::MouseButton button);
  // Shows the print dialog and prints the whole window when it is confirmed; the runner
  // replaces the dialog (tests). Returns whether it printed.
  using PrintDialogRunner = std::function<bool(QPrinter&, QWidget* parent)>;
  void setPrintDialogRunner(PrintDialogRunner r) { printRunner_ = std::move(r); }
  bool print();
  // The picture copy and "Save picture as…" take: the shown image, or the whole window when
  // the settings sheet is in front.
  QImage shownPicture() const;
  // "Save picture as…" of the shown picture; the dialog replaces the file dialog (tests).
  // 0, kPictureCancelled or the picture writer's code.
  void setPictureNameDialog(PictureNameDialog d) { pictureDialog_ = std::move(d); }
  int savePictureAs();
  // Fits every image to its sheet; a picture whose size changed is drawn and shown anew.
  void relayout();
  // The room a side column takes beside its picture: its wanted width, at most half the sheet.
  int sideWidth(const QWidget& w) const;
  // A box the file panels keep at the right edge of a sheet (GB_OSA0_Nrs and the like).
  void setNumberBox(PlotSheet s, QWidget* box);
  // A column at the right of a sheet beside its image (the scope's measurements): the image
  // takes the rest of the width, so the column never covers the curves. The column is as
  // wide as the widget's size hint while the widget is shown.
  void setSideWidget(PlotSheet s, QWidget* w);
  QWidget* sideWidget(PlotSheet s) const { return sideWidgets_[std::size_t(int(s))]; }
  // Relayout once the current burst of events is over (resizes come in bursts).
  void scheduleRelayout();
  // The voltage groups above the chart: they span the sheet's top, the chart starts below.
  void setVoltageGroup(QWidget* group) { voltageGroup_ = group; }

  // The shared coordinate read-out; without one the sheets keep a window of their own.
  void setCoordinateWindow(TF_D2Koord* k) { koord_ = k; }
  // Relayouts wait for a pass of the event loop of their own (several windows fit their pictures
  // at once when a multi-device cycle brings their plots to the front).
  void setPacer(TRepaintPacer* p);
  TF_D2Koord* coordinateWindow();

  QLabel* image(PlotSheet s) const;
  QWidget* page(PlotSheet s) const;
  TGenD2ImgKernel& scopeKernel() { return *scope_; }
  TGenD2ImgKernel& loggerKernel() { return *logger_; }
  TGenD2ImgKernel& chartKernel() { return *chart_; }
  TLogAnalPlot& logicPlot() { return *logic_; }
  TLogAnalPlot& ioPlot() { return *io_; }
  ITimer& unzoomTimer() { return unzoom_; }
  void applyTexts();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TGenD2ImgKernel* kernelOf(PlotSheet s) const;
  TLogAnalPlot* logicOf(PlotSheet s) const;
  int renderKernel(PlotSheet s, int feedResult, int plotMode);
  // Draws a timing diagram's list into a fresh picture of its image's size and shows it.
  int renderDiagram(PlotSheet s, const TLogAnalView& view, bool save);
  // After the user zoomed, panned or unzoomed a kernel sheet: notes the axes that differ from
  // their full range, forgets those that are back at it.
  void rememberView(PlotSheet s);
  // Shows a timing diagram's picture with the headline on it.
  void presentLogic(PlotSheet s);
  void presentKernel(PlotSheet s);
  void kernelMouse(PlotSheet s, int button, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods,
                   int x, int y, bool up);

  QTabWidget* pc_;
  ITimer& unzoom_;
  const TLogAnalList* logicList_;
  const TLogAnalList* ioList_;
  QWidget* window_;
  std::array<QLabel*, 6> images_{};
  std::array<QPointer<QWidget>, 6> numberBoxes_{};
  std::array<QPointer<QWidget>, 6> sideWidgets_{};
  QPointer<QWidget> voltageGroup_;
  std::unique_ptr<TGenD2ImgKernel> scope_, logger_, chart_;
  std::unique_ptr<TLogAnalPlot> logic_, io_;
  std::array<bool, 6> drawn_{};  // the image shows data (else only the headline)
  Qt::MouseButton lastDown_ = Qt::NoButton;
  QString headline_;
  std::array<QString, 6> sheetHeadlines_;
  QPointer<TF_D2Koord> koord_;
  std::unique_ptr<TF_D2Koord> ownKoord_;
  PrintDialogRunner printRunner_;
  PictureNameDialog pictureDialog_;
  bool relayoutPending_ = false;
  // The frame's. Guarded: sheets that outlive it lay out without it.
  QPointer<TRepaintPacer> pacer_;
  KeepView keep_ = KeepView::None;
  std::array<AxisRanges, 6> kept_;  // the user's zoom, per sheet
  std::array<AxisRanges, 6> full_;  // the full ranges of the last drawing
  std::array<int, 6> family_{};
};

}  // namespace tolv
