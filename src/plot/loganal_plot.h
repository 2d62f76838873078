#pragma once
// Timing diagram of a 16-lane logic recording: one lane per bit of the sample word, drawn
// over a time axis in seconds, with a cursor read-out and a horizontal rubber-band zoom.
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "common/nicestep.h"
#include "plot/loganal_list.h"
#include "plot/plotdata.h"

class QLabel;
class QObject;
class QPainter;

namespace tolv {

// The part of a recording that is shown. The sample at time 0 (a record's trigger sample)
// stands at list index zeroIndex; first and last count samples from that zero sample. Each
// sample holds its word from its own time to the next sample's, so first .. last spans
// last - first samples.
// Sample positions are 64-bit: an I/O-logger recording of hours holds more than 2^31 samples.
struct TLogAnalView {
  double period = 0.0;  // seconds per sample
  std::int64_t first = 0;
  std::int64_t zeroIndex = 0;
  std::int64_t last = 0;
  std::int32_t spare = 0;
  // Fraction of a sample by which first and last are moved on (a wheel zoom keeps the time
  // under the pointer at its pixel, which whole samples alone cannot).
  double offset = 0.0;

  friend bool operator==(const TLogAnalView&, const TLogAnalView&) = default;
};

class TLogAnalPlot {
 public:
  static constexpr int kLanes = 16;
  static constexpr int kNoData = -111;
  static constexpr int kZeroTime = -190;
  // Progress is reported (and pending events served) every this many list indexes.
  static constexpr int kProgressInterval = 1000;

  static constexpr std::uint32_t kGridColor = 0xC0C0C0;    // silver
  static constexpr std::uint32_t kTraceColor = 0xFF0000;   // red
  static constexpr std::uint32_t kCursorColor = 0x808080;  // grey

  explicit TLogAnalPlot(const TLogAnalList& samples);

  // Window that receives the progress events (TProgressEvent); may be none.
  void setOwner(QObject* owner) { owner_ = owner; }

  // New white bitmap of the image's size, lane layout, cursor and zoom reset.
  void prepare(QLabel* image);
  // Device pixels per device-independent pixel of the next prepare (whole numbers 1..4);
  // prepare(image) takes the image's. Coordinates stay device-independent.
  void setDevicePixelRatio(double ratio);
  int devicePixelRatio() const { return scale_; }
  // The same for a bare size, for drawing without an image control.
  void prepare(QSize size);

  void setView(const TLogAnalView& view) { view_ = view; }
  TLogAnalView getView() const { return view_; }
  TLogAnalView savedView() const { return savedView_; }

  // Draws grid, traces and time axis for the view; with save the view also becomes the
  // saved full view. 0, or -190 when the view spans no time.
  int render(QLabel* image, const TLogAnalView& view, bool save);
  int renderCurrent(QLabel* image) { return render(image, view_, true); }

  // Cursor line and read-out at pixel column x; returns the entry under the cursor and its
  // time. -111 when the list is empty or nothing has been rendered yet.
  int readAt(QLabel* image, int x, TLogAnalEntry& entry, double& time);

  void beginZoom(int x);
  void dragZoom(QLabel* image, int x);
  // Zooms to the dragged range (the saved full view stays for restoring). -190 when the
  // range holds no whole sample: the picture and view are then kept.
  int finishZoom(QLabel* image, int x);

  // --- navigation: wheel zoom, pan, two cursors ---
  // Narrows (steps > 0) or widens the shown time around pixel column x by 0.8 per step; the
  // time under x stays at x. 0, -111 before a drawing, -190 when the view cannot change.
  int wheelZoom(QLabel* image, int x, double steps);
  // Moves the view by steps tenths of its span (positive: later times).
  int pan(QLabel* image, double steps);
  // Cursor A (which 0) or B (1) on the sample under pixel column x; redraws.
  int setCursor(QLabel* image, int which, int x);
  int placeNextCursor(QLabel* image, int x) { return setCursor(image, nextCursor_, x); }
  void clearCursors(QLabel* image);
  bool hasCursor(int which) const { return cursorSet_[std::size_t(which & 1)]; }
  std::int64_t cursorIndex(int which) const { return cursorIndex_[std::size_t(which & 1)]; }
  // Times of both cursors, their distance and the sample words at them.
  TCursorReadOut cursorReadOut() const;
  static constexpr std::uint32_t kCursorAColor = 0x008080;  // teal
  static constexpr std::uint32_t kCursorBColor = 0x800080;  // purple

  // Snaps a period close to 1, 2 or 5 times a decade (1e-5 .. 1 s) onto that value.
  static double snapPeriod(double period) { return snapToDecadeStep(period); }

  // Read-out text of a time and a sample word: "<time> s  $H 3F 0A". The time is written in the
  // form of an axis reaching axisMax (below 0: the time's own magnitude) to the resolution of
  // one pixel (0: five significant digits).
  static QString readOutText(double time, std::uint16_t word, double resolution = 0.0,
                             double axisMax = -1.0);

  // --- geometry and state, for the window and for tests ---
  const QImage& bitmap() const { return bitmap_; }
  QRect plotArea() const { return plotArea_; }
  QRect labelStrip() const { return labelStrip_; }
  int laneLowY(int lane) const { return laneLow_[std::size_t(lane)]; }
  int laneHighY(int lane) const { return laneHigh_[std::size_t(lane)]; }
  double pixelsPerSample() const { return pixelsPerSample_; }
  double pixelsPerSecond() const { return pixelsPerSecond_; }
  double startTime() const { return startTime_; }
  double endTime() const { return endTime_; }
  int pixelOfTime(double t) const;
  double timeAtPixel(int x) const;
  // Nearest list index of a time (where cursors snap to) and the time of a list index.
  std::int64_t indexOfTime(double t) const;
  double timeOfIndex(std::int64_t index) const;
  // List index of the sample drawn at pixel column x: the last one whose step lies at or left
  // of x, so the read-out names the level the picture shows there.
  std::int64_t indexShownAt(int x) const;
  bool cursorDrawn() const { return cursorDrawn_; }
  int cursorX() const { return cursorX_; }
  QRect readOutBox() const { return readOutBox_; }
  bool zooming() const { return zooming_; }
  // Boxes of the time labels drawn by the last render, left to right.
  const std::vector<QRect>& timeLabelBoxes() const { return timeLabels_; }
  // The times those labels name and their texts, in the same order.
  const std::vector<double>& timeLabelTimes() const { return timeLabelTimes_; }
  const QStringList& timeLabelTexts() const { return timeLabelTexts_; }
  int zoomLeft() const { return zoomLeft_; }
  int zoomRight() const { return zoomRight_; }

 private:
  class TraceCanvas;

  void layout(QSize size);
  void present(QLabel* image) const;
  void post(int value) const;
  int clampX(int x) const;
  void drawGrid(QPainter& p);
  // Returns false when a nested drawing replaced the picture while events were served.
  bool drawTraces(std::int64_t n);
  // The same picture from a recording's summary: one step per pixel column.
  bool drawSummaryTraces(std::int64_t n);
  // List indexes of the samples at the view's left edge and of the last one whose step is drawn.
  std::int64_t firstShownIndex() const;
  std::int64_t lastShownIndex() const;
  void drawTimeAxis(QPainter& p);
  // Largest time magnitude of the view: it sets one form for labels and read-out alike.
  double axisReach() const;
  void xorCursorLine(QPainter& p);
  void xorZoomRect(QPainter& p);
  void drawCursorPair(QPainter& p);
  int redrawView(QLabel* image, const TLogAnalView& v);
  int showFrom(QLabel* image, double a, double n);

  const TLogAnalList& samples_;
  QPointer<QObject> owner_;
  QImage bitmap_;
  QSize logicalSize_;
  int scale_ = 1;

  QRect plotArea_;  // left, top, right, bottom inclusive as laid out
  QRect labelStrip_;
  std::array<int, kLanes> laneLow_{};
  std::array<int, kLanes> laneHigh_{};

  TLogAnalView view_;
  TLogAnalView savedView_;
  TLogAnalView zoomView_;

  double pixelsPerSample_ = 0.0;
  double pixelsPerSecond_ = 0.0;
  double startTime_ = 0.0;
  double endTime_ = 0.0;
  double span_ = 0.0;

  bool cursorDrawn_ = false;
  int cursorX_ = 0;
  QRect readOutBox_;

  std::vector<QRect> timeLabels_;
  std::vector<double> timeLabelTimes_;
  QStringList timeLabelTexts_;

  bool zooming_ = false;
  bool zoomDrawn_ = false;
  int zoomLeft_ = 0;
  int zoomRight_ = 0;

  // Bumped by every prepare and render, so a drawing interrupted by serving events can tell
  // that a nested one has taken over the picture.
  std::uint64_t generation_ = 0;

  std::array<bool, 2> cursorSet_{};
  std::array<std::int64_t, 2> cursorIndex_{};  // list index of the sample under each cursor
  int nextCursor_ = 0;
};

}  // namespace tolv
