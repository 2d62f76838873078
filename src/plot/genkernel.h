#pragma once
// TGenD2ImgKernel: draws data sets (curves with their own axes) into a picture shown by an
// image label, and handles the mouse on it: rubber-band zoom with the left button, unzoom with
// both buttons, cursor measurements with the right button.
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "plot/plotdata.h"

class QLabel;
class QPainter;

namespace tolv {

// Mouse shift state bits as the windows pass them.
enum PlotShift : int {
  kShiftShift = 1,
  kShiftAlt = 2,
  kShiftLeft = 8,
  kShiftRight = 16,
};

// Mouse buttons as the windows pass them (kMouseNone for a move).
enum PlotButton : int { kMouseNone = 0, kMouseLeft = 1, kMouseRight = 2, kMouseMiddle = 3 };

struct PlotRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const PlotRect&, const PlotRect&) = default;
};

// What the step search of one axis found at the last drawing (read by tests and tools).
struct AxisStepTrace {
  double range = 0;           // R
  std::vector<double> steps;  // S at each try, the last one is the step used
  double minor = 0;           // m
  double base = 0;            // B
};

class TGenD2ImgKernel {
 public:
  TGenD2ImgKernel();
  ~TGenD2ImgKernel();
  TGenD2ImgKernel(const TGenD2ImgKernel&) = delete;
  TGenD2ImgKernel& operator=(const TGenD2ImgKernel&) = delete;

  // The builder, re-initialised with the next colour and marker shape.
  TGenD2DataSet& NewDataSet();
  void ClearDataSets();
  // Keeps a copy of ds (whose points are cleared), sets its ranges and merges its axes.
  int AddDataSet(TGenD2DataSet& ds);
  TGenD2DataSet* Get(int i) const;
  int DataSetCount() const { return dataSets_.Count(); }
  TGenD2DataSetsLst& DataSets() { return dataSets_; }

  // image may be null: the picture then keeps the size given by SetImageSize.
  void PrepareImage(QLabel* image);
  int ComputeRanges();
  int SetUpTransforms();
  int Render(QLabel* image, bool recompute);
  int Redraw(QLabel* image);
  int RedrawAutoRange(QLabel* image);
  // button: kMouseNone for a move. result receives the measurement when it is complete,
  // else null. Always 0.
  int HandleMouse(QLabel* image, int button, const TMeasurementData*& result, int y, int x,
                  int shift, bool mouseUp);

  // The mouse steps, also used directly by tests.
  void BeginZoom(QLabel* image, int x, int y);
  void DragZoom(QLabel* image, int x, int y);
  int FinishZoom(QLabel* image, int x, int y);
  void ReadWorldAt(QLabel* image, int x, int y);
  int MeasureNearest(QLabel* image, int x, int y, int mode);

  static ColorRef NextColor(ColorRef last);

  // --- Navigation: wheel zoom, pan and the two cursors -------------------------------------
  // One wheel notch (steps 1) shrinks the span to this share; negative steps widen it.
  static constexpr double kWheelZoomFactor = 0.8;
  // One pan step moves the view by this share of its span.
  static constexpr double kPanShare = 0.1;
  // Zooms every X axis (vertical: every Y axis) around the pointer: the world value under
  // pixel x (y) stays at that pixel. 0, -2230 without curves, -190 when the span would
  // shrink below what the numbers can tell apart (nothing changes then).
  int WheelZoom(QLabel* image, int x, int y, double steps, bool vertical);
  // Moves every X axis by steps pan shares of its span (positive steps: towards larger X).
  int Pan(QLabel* image, double steps);
  // Places cursor A (which 0) or B (1) on the sample of the first curve nearest to pixel
  // column x and redraws. -2230 without curves.
  int SetCursor(QLabel* image, int which, int x);
  // A, then B, then A again ...
  int PlaceNextCursor(QLabel* image, int x);
  void ClearCursors(QLabel* image);
  // Positions and differences of the cursors over the current curves.
  TCursorReadOut CursorReadOut() const;
  bool HasCursor(int which) const { return cursorSet_[std::size_t(which & 1)]; }
  const WorldValue& CursorX(int which) const { return cursorX_[std::size_t(which & 1)]; }
  static constexpr ColorRef kCursorAColor = 0x808000;  // teal
  static constexpr ColorRef kCursorBColor = 0x800080;  // purple

  // Size in device-independent pixels; the picture holds ratio times as many pixels each way.
  void SetImageSize(int w, int h);
  // Pixels of the screen per device-independent pixel, rounded to a whole number 1..4 (1 by
  // default). PrepareImage takes the image's ratio. Layout, hit tests and every coordinate stay in device-independent pixels;
  // text, lines and curves are drawn at the finer grid.
  void SetDevicePixelRatio(double ratio);
  double DevicePixelRatio() const { return dpr_; }
  int ImageWidth() const { return logicalW_; }
  int ImageHeight() const { return logicalH_; }
  const QImage& Bitmap() const { return bitmap_; }
  QImage& Bitmap() { return bitmap_; }
  PlotRect PlotArea() const { return plot_; }
  PlotRect InitialPlotArea() const { return initialPlot_; }
  QRect Frame() const { return frame_; }
  PlotRect ZoomRect() const { return zoom_; }
  bool Zooming() const { return zoomFlag_ != 0; }
  TMeasurementData& Measurement() { return measurement_; }
  TAxWorldDataLst& XAxes() { return xAxes_; }
  TAxWorldDataLst& YAxes() { return yAxes_; }
  const AxisStepTrace& XTrace(int set) const;
  const AxisStepTrace& YTrace(int set) const;
  QFont& Font() { return font_; }

  ColorRef backgroundColor = kColorWhite;
  // Collapses the drawing of one-coloured curves into column spans; off draws point by
  // point. Both give the same pixels.
  bool collapsePoints = true;
  // Draws axis labels from their laid-out texts, kept across pictures (and kernels) for the
  // font and pixel ratio; off lays each out as it is drawn. Both give the same pixels.
  bool keepLabelTexts = true;

 private:
  void layoutFrame(int w, int h);
  void layoutBands(QPainter& p);
  void drawXAxis(QPainter& p, TGenD2DataSet& ds, AxisStepTrace& trace);
  void drawYAxis(QPainter& p, TGenD2DataSet& ds, AxisStepTrace& trace);
  int drawPoints(TGenD2DataSet& ds, std::uint64_t generation);
  // The view an XY series' nearest-point grid holds for: transforms, ranges and plot area.
  std::vector<double> xyView(const TGenD2DataSet& ds) const;
  void show(QLabel* image);
  int labelWidth(const QFontMetrics& fm, const QString& text);
  void drawLabel(QPainter& p, const QFontMetrics& fm, TMyPosTxt& t);
  void measure(QLabel* image, int x, int y, int shift, bool redrawFirst);
  void eraseCursors();
  void drawCursor(TGenD2DataSet& ds, bool erase);
  void drawFocusRect();
  void drawCursorPair(QPainter& p);
  bool zoomCollapsed() const { return zoom_.left == zoom_.right && zoom_.top == zoom_.bottom; }
  int clampX(int x) const;
  int clampY(int y) const;

  TGenD2DataSetsLst dataSets_;
  TGenD2DataSet builder_;
  TMeasurementData measurement_;
  TAxWorldDataLst xAxes_;
  TAxWorldDataLst yAxes_;
  QRect frame_;
  PlotRect plot_;
  PlotRect initialPlot_;
  QImage bitmap_;
  PlotRect zoom_;
  std::uint8_t zoomFlag_ = 0;
  bool focusDrawn_ = false;  // the zoom rectangle is on the picture
  std::uint8_t markerCounter_ = 0;
  ColorRef lastColor_ = kColorBlack;
  QFont font_;
  // Label widths and laid-out texts are kept by text for the font and pixel ratio they were
  // made in (named by this key): the label step search measures the same texts on every
  // drawing, a new record's picture draws the same ones, and shaping them was a good part of a
  // picture's cost.
  QString labelWidthKey_;
  std::vector<AxisStepTrace> xTraces_;
  std::vector<AxisStepTrace> yTraces_;
  // Bumped by every operation that replaces the picture or the curves, so a drawing that
  // yielded to the event loop notices that a nested event started over and stops.
  std::uint64_t generation_ = 0;
  double dpr_ = 1.0;
  int logicalW_ = 0, logicalH_ = 0;
  // The two cursors, in world X of the first curve's axis; they outlive new curves.
  std::array<bool, 2> cursorSet_{};
  std::array<WorldValue, 2> cursorX_{};
  int nextCursor_ = 0;
};

}  // namespace tolv
