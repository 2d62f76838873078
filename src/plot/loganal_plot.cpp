#include "plot/loganal_plot.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/nicestep.h"
#include "common/windowmessages.h"
#include "plot/loganal_time.h"

namespace tolv {

namespace {

constexpr int kPlotLeft = 20;
constexpr int kPlotTop = 12;
constexpr int kRightMargin = 8;
constexpr int kBottomMargin = 20;
constexpr int kLabelStripBottomMargin = 4;
constexpr int kLabelFontPoints = 8;
// Least free room between two neighbouring time labels, in pixels.
constexpr int kLabelGap = 8;
// Tick loops stop here whatever the numbers say, so a degenerate step can never hang.
constexpr int kMaxTicks = 100000;

// Nearest integer, clamped into the int range so odd views cannot overflow.
int roundInt(double v) {
  if (std::isnan(v)) return 0;
  constexpr double lo = double(std::numeric_limits<int>::min());
  constexpr double hi = double(std::numeric_limits<int>::max());
  return int(std::lround(std::clamp(v, lo, hi)));
}

// Nearest integer in 64 bits, clamped far inside the range a double holds exactly.
std::int64_t roundIndex(double v) {
  if (std::isnan(v)) return 0;
  constexpr double lim = 4.0e15;
  return std::int64_t(std::llround(std::clamp(v, -lim, lim)));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Steps of a clock axis: 1-2-5 steps below 2 s, the time step table from there on.
double clockStepAtLeast(double x) {
  if (x < 2.0) return x;
  for (int i = 1; i <= niceTimeStepCount(); ++i)
    if (niceTimeStepEntry(i) >= x * (1.0 - 1e-9)) return niceTimeStepEntry(i);
  return x;
}

double clockStepAbove(double x) {
  if (x * 1.05 < 2.0) return niceStepUp(x);
  for (int i = 1; i <= niceTimeStepCount(); ++i)
    if (niceTimeStepEntry(i) > x * (1.0 + 1e-9)) return niceTimeStepEntry(i);
  return x;
}

// The finest clock step from `least` on that divides the label step, so minor ticks meet
// every label (a 15 s label step gets 5 s ticks, not 2 s ones); the label step when none does.
double clockMinorStep(double big, double least) {
  for (double c = least; c > 0.0 && c < big * (1.0 - 1e-9); c = clockStepAbove(c)) {
    const double q = big / c;
    if (std::fabs(q - std::nearbyint(q)) < 1e-6) return c;
    if (!(clockStepAbove(c) > c)) break;
  }
  return big;
}

QColor colorOf(std::uint32_t rgb) {
  return QColor::fromRgb(QRgb(0xFF000000u | rgb));
}

// Inclusive horizontal and vertical pixel runs. Filling whole pixels keeps the picture
// independent of how the runs are cut up, which the column collapsing relies on.
void hRun(QPainter& p, int x0, int x1, int y, const QColor& c) {
  if (x1 < x0) std::swap(x0, x1);
  p.fillRect(QRect(x0, y, x1 - x0 + 1, 1), c);
}

void vRun(QPainter& p, int x, int y0, int y1, const QColor& c) {
  if (y1 < y0) std::swap(y0, y1);
  p.fillRect(QRect(x, y0, 1, y1 - y0 + 1), c);
}

QFont labelFont() {
  QFont f = QGuiApplication::font();
  f.setPointSize(kLabelFontPoints);
  f.setBold(false);
  return f;
}

QString hex2(unsigned v) {
  return QStringLiteral("%1").arg(v & 0xFFu, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

TLogAnalPlot::TLogAnalPlot(const TLogAnalList& samples) : samples_(samples) {}

// --- layout ------------------------------------------------------------------------------

void TLogAnalPlot::layout(QSize size) {
  const int w = size.width();
  const int h = size.height();
  plotArea_ = QRect(QPoint(kPlotLeft, kPlotTop), QPoint(w - kRightMargin, h - kBottomMargin));
  labelStrip_ = QRect(QPoint(kPlotLeft, h - kBottomMargin),
                      QPoint(w - kRightMargin, h - kLabelStripBottomMargin));
  const double bottom = plotArea_.bottom();
  const double pitch = (bottom - 12.0) / 18.0;
  for (int i = 0; i < kLanes; ++i) {
    // The high byte sits one pitch further up, so the two bytes read apart.
    const int steps = i + 1 + (i >= 8 ? 1 : 0);
    laneLow_[std::size_t(i)] = roundInt(bottom - steps * pitch);
    laneHigh_[std::size_t(i)] = roundInt(laneLow_[std::size_t(i)] - 0.75 * pitch);
  }
}

void TLogAnalPlot::prepare(QLabel* image) {
  if (image) setDevicePixelRatio(image->devicePixelRatioF());
  prepare(image ? image->size() : logicalSize_);
  present(image);
}

void TLogAnalPlot::setDevicePixelRatio(double ratio) {
  // Whole ratios only: the trace runs are placed on whole device pixels.
  scale_ = std::isfinite(ratio) ? std::clamp(int(std::lround(ratio)), 1, 4) : 1;
}

void TLogAnalPlot::prepare(QSize size) {
  ++generation_;
  layout(size);
  logicalSize_ = size.expandedTo(QSize(0, 0));
  bitmap_ = QImage(logicalSize_ * scale_, QImage::Format_RGB32);
  if (scale_ != 1) bitmap_.setDevicePixelRatio(scale_);
  if (!bitmap_.isNull()) bitmap_.fill(Qt::white);
  cursorDrawn_ = false;
  cursorX_ = 0;
  readOutBox_ = QRect();
  zooming_ = false;
  zoomDrawn_ = false;
  zoomLeft_ = 0;
  zoomRight_ = 0;
}

void TLogAnalPlot::present(QLabel* image) const {
  if (image) image->setPixmap(QPixmap::fromImage(bitmap_));
}

void TLogAnalPlot::post(int value) const {
  if (owner_) QCoreApplication::postEvent(owner_.data(), new TProgressEvent(value));
}

int TLogAnalPlot::clampX(int x) const {
  const int lo = plotArea_.left() + 1;
  const int hi = plotArea_.right() - 1;
  return hi < lo ? lo : std::clamp(x, lo, hi);
}

// --- coordinates -------------------------------------------------------------------------

int TLogAnalPlot::pixelOfTime(double t) const {
  return roundInt((t - startTime_) * pixelsPerSecond_) + plotArea_.left();
}

double TLogAnalPlot::timeAtPixel(int x) const {
  if (pixelsPerSecond_ == 0.0) return startTime_;
  const double t = (x - plotArea_.left()) / pixelsPerSecond_ + startTime_;
  // The column of time 0 reads 0 exactly; a fixed threshold would swallow whole samples of a
  // fine zoom (a few microseconds) or leave rounding noise in a coarse one.
  return std::fabs(t * pixelsPerSecond_) < 0.5 ? 0.0 : t;
}

std::int64_t TLogAnalPlot::indexOfTime(double t) const {
  const double base = double(view_.zeroIndex);
  if (view_.period == 0.0) return roundIndex(base);
  return roundIndex(t / view_.period + base);
}

double TLogAnalPlot::timeOfIndex(std::int64_t index) const {
  return (double(index) - double(view_.zeroIndex)) * view_.period;
}

// Whole sample positions of the view's ends, from the view itself rather than its times, so
// no division by the period can land a hair below a whole sample.
std::int64_t TLogAnalPlot::firstShownIndex() const {
  return roundIndex(std::floor(double(view_.first) + view_.offset + 1e-6)) + view_.zeroIndex;
}

std::int64_t TLogAnalPlot::lastShownIndex() const {
  const std::int64_t first = firstShownIndex();
  std::int64_t last =
      roundIndex(std::floor(double(view_.last) + view_.offset + 1e-6)) + view_.zeroIndex;
  // A record's full view ends where its last sample ends: the index standing exactly at the
  // right edge is past the recording and is not drawn as a drop to a filler word there (a
  // record read back from its file keeps that filler after its last sample).
  std::int64_t end = samples_.count();
  while (end > 0 && samples_.at(end - 1).sampleNumber == -1) --end;
  if (last >= end && last > first && std::fabs(view_.offset) < 1e-6) --last;
  return std::max(first, last);
}

std::int64_t TLogAnalPlot::indexShownAt(int x) const {
  if (!(view_.period > 0.0) || !(pixelsPerSecond_ > 0.0)) return indexOfTime(timeAtPixel(x));
  // pixelOfTime(t) <= x exactly when (t - start) * pixels per second < x - left + 0.5.
  const double limit =
      ((x - plotArea_.left() + 0.5) / pixelsPerSecond_ + startTime_) / view_.period;
  std::int64_t i = roundIndex(std::ceil(limit) - 1.0) + view_.zeroIndex;
  // Settle on the very pixels the traces were drawn at.
  for (int k = 0; k < 4 && pixelOfTime(timeOfIndex(i + 1)) <= x; ++k) ++i;
  for (int k = 0; k < 4 && pixelOfTime(timeOfIndex(i)) > x; ++k) --i;
  return i;
}

// --- render ------------------------------------------------------------------------------

int TLogAnalPlot::render(QLabel* image, const TLogAnalView& view, bool save) {
  ++generation_;
  TLogAnalView v = view;
  v.period = snapPeriod(v.period);
  view_ = v;
  if (save) savedView_ = v;

  // Far-out views wrap around rather than overflow; they are refused below or draw fillers.
  const std::int64_t n = std::int64_t(std::uint64_t(v.last) - std::uint64_t(v.first));
  const double width = plotArea_.right() - plotArea_.left();
  const double start = (double(v.first) + v.offset) * v.period;
  const double end = (double(v.last) + v.offset) * v.period;
  const double span = end - start;
  // A zero period would divide by a zero time as well; it is refused like first = last.
  if (n == 0 || span == 0.0 || !std::isfinite(width / span) || !std::isfinite(start)) {
    post(TProgressEvent::kFinished);
    return kZeroTime;
  }
  pixelsPerSample_ = width / double(n);
  startTime_ = start;
  endTime_ = end;
  span_ = span;
  pixelsPerSecond_ = width / span;

  if (bitmap_.isNull()) prepare(image ? image->size() : QSize());
  const std::uint64_t myGeneration = generation_;
  bool complete = true;
  if (!bitmap_.isNull()) {
    QPainter p(&bitmap_);
    drawGrid(p);
    p.end();
    complete = drawTraces(n);
    if (complete) {
      p.begin(&bitmap_);
      drawTimeAxis(p);
      drawCursorPair(p);
    }
  }
  if (complete && generation_ == myGeneration) {
    zooming_ = false;
    zoomDrawn_ = false;
    present(image);
  }
  post(TProgressEvent::kFinished);
  return 0;
}

void TLogAnalPlot::drawGrid(QPainter& p) {
  const QColor silver = colorOf(kGridColor);
  const int h = logicalSize_.height();
  const int top = laneHigh_[kLanes - 1];
  if (startTime_ < 0.0 && 0.0 < endTime_) vRun(p, pixelOfTime(0.0), h - 4, top, silver);
  vRun(p, plotArea_.left(), h - 4, top, silver);

  p.setFont(labelFont());
  p.setPen(Qt::black);
  const QFontMetrics fm = p.fontMetrics();
  for (int i = 0; i < kLanes; ++i) {
    const int y = laneLow_[std::size_t(i)];
    hRun(p, 0, plotArea_.right(), y, silver);
    const QRect box(0, y - fm.height() + 1, plotArea_.left() - 2, fm.height());
    p.drawText(box, Qt::AlignRight | Qt::AlignBottom, QString::number(i));
  }
}

// Writes the trace runs straight into the bitmap: thousands of short runs per picture would
// otherwise spend most of the time in the painter's per-call overhead.
class TLogAnalPlot::TraceCanvas {
 public:
  // scale: device pixels per coordinate unit; the runs stay one device pixel thin, so the
  // traces are as sharp as the screen allows.
  TraceCanvas(QImage& img, int scale)
      : bits_(reinterpret_cast<std::uint32_t*>(img.bits())),
        stride_(img.bytesPerLine() / 4),
        w_(img.width()),
        h_(img.height()),
        k_(scale) {}

  void hRun(int x0, int x1, int y) {
    if (x1 < x0) std::swap(x0, x1);
    if (k_ != 1) {
      x0 *= k_;
      x1 = x1 * k_ + k_ - 1;
      y *= k_;
    }
    if (y < 0 || y >= h_) return;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, w_ - 1);
    if (x0 > x1) return;
    std::uint32_t* row = bits_ + std::ptrdiff_t(y) * stride_;
    std::fill(row + x0, row + x1 + 1, kColor);
  }

  void vRun(int x, int y0, int y1) {
    if (y1 < y0) std::swap(y0, y1);
    if (k_ != 1) {
      x *= k_;
      y0 *= k_;
      y1 = y1 * k_ + k_ - 1;
    }
    if (x < 0 || x >= w_) return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, h_ - 1);
    for (std::uint32_t* px = bits_ + std::ptrdiff_t(y0) * stride_ + x; y0 <= y1;
         ++y0, px += stride_)
      *px = kColor;
  }

 private:
  static constexpr std::uint32_t kColor = 0xFF000000u | kTraceColor;
  std::uint32_t* bits_;
  std::ptrdiff_t stride_;
  int w_;
  int h_;
  int k_;
};

// Only word changes draw. Changes that land in the same pixel column are collapsed into one
// column: a lane that changed there gets its full vertical step, so the picture is the same
// as drawing every change; each lane's flat run is drawn once, when it ends.
bool TLogAnalPlot::drawTraces(std::int64_t n) {
  if (samples_.stream()) return drawSummaryTraces(n);
  TraceCanvas canvas(bitmap_, scale_);
  const std::int64_t first = firstShownIndex();
  const std::int64_t endIdx = lastShownIndex();

  const TLogAnalEntry* data = samples_.data();
  std::int64_t count = samples_.count();
  auto wordAt = [&](std::int64_t i) -> std::uint16_t {
    return i >= 0 && i < count ? data[i].word : std::uint16_t(0);
  };

  std::uint16_t cur = wordAt(first);
  std::array<int, kLanes> segStart;
  segStart.fill(plotArea_.left());
  int colX = plotArea_.left();
  std::uint16_t colEntry = cur;  // word on entering the pending column
  std::uint16_t colMask = 0;     // lanes that changed within it

  auto levelY = [&](int lane, std::uint16_t word) {
    return (word >> lane) & 1u ? laneHigh_[std::size_t(lane)] : laneLow_[std::size_t(lane)];
  };
  auto flushColumn = [&]() {
    for (int i = 0; i < kLanes && colMask; ++i) {
      if (!((colMask >> i) & 1u)) continue;
      canvas.hRun(segStart[std::size_t(i)], colX, levelY(i, colEntry));
      canvas.vRun(colX, laneLow_[std::size_t(i)], laneHigh_[std::size_t(i)]);
      segStart[std::size_t(i)] = colX;
    }
    colMask = 0;
  };
  auto change = [&](std::int64_t i, std::uint16_t word) {
    const int x = pixelOfTime(timeOfIndex(i));
    if (x != colX) {
      flushColumn();
      colX = x;
      colEntry = cur;
    }
    colMask |= std::uint16_t(cur ^ word);
    cur = word;
  };

  std::int64_t idx = first;
  while (idx < endIdx) {
    const std::int64_t nextProgress = (floorDiv(idx, kProgressInterval) + 1) * kProgressInterval;
    const std::int64_t stop = std::min(endIdx, nextProgress);
    std::int64_t j = idx + 1;
    while (j <= stop) {
      if (j < 0 || j >= count) {
        // Outside the recording every index reads as a filler word 0.
        const std::int64_t runEnd = j < 0 ? std::min<std::int64_t>(stop, -1) : stop;
        if (cur != 0) change(j, 0);
        j = runEnd + 1;
        continue;
      }
      const TLogAnalEntry* e = data + j;
      const TLogAnalEntry* e1 = data + std::min(stop, count - 1) + 1;
      while (e != e1 && e->word == cur) ++e;
      if (e == e1) {
        j = e1 - data;
        continue;
      }
      change(e - data, e->word);
      j = (e - data) + 1;
    }
    idx = stop;
    if (idx % kProgressInterval == 0 && owner_) {
      const std::int64_t denom = std::max<std::int64_t>({count, idx + 1, 1});
      post(roundInt(100.0 * double(idx) / double(denom)));
      // Serve the window while drawing; a nested prepare or render takes the picture over,
      // and the window may have refilled the list meanwhile.
      flushColumn();
      const std::uint64_t gen = generation_;
      QCoreApplication::processEvents();
      // A list turned into a recording in a file holds no entries to step through here.
      if (gen != generation_ || bitmap_.isNull() || samples_.stream()) return false;
      canvas = TraceCanvas(bitmap_, scale_);
      data = samples_.data();
      count = samples_.count();
    }
  }

  flushColumn();
  // The last word holds to the view's end: it lasts until the next sample.
  const int xLast = pixelOfTime(endTime_);
  for (int i = 0; i < kLanes; ++i) canvas.hRun(segStart[std::size_t(i)], xLast, levelY(i, cur));
  return true;
}

// A recording in a file is drawn column by column: the summary tells which lanes change within
// the samples of a column and the word at its end, which is all the collapsed drawing above
// uses, so both give the same picture. Progress is reported at column ends.
bool TLogAnalPlot::drawSummaryTraces(std::int64_t n) {
  const TLogicSummary* sum = samples_.stream();
  // No time runs forward: nothing to step through (the list path draws such views sample by
  // sample; a recording of millions would stall here).
  if (!(view_.period > 0.0) || !(pixelsPerSecond_ > 0.0)) return true;
  TraceCanvas canvas(bitmap_, scale_);
  const std::int64_t first = firstShownIndex();
  const std::int64_t endIdx = lastShownIndex();
  const double period = view_.period;
  const double base = double(view_.zeroIndex);
  auto xOf = [&](std::int64_t i) { return pixelOfTime(timeOfIndex(i)); };
  auto levelY = [&](int lane, std::uint16_t word) {
    return (word >> lane) & 1u ? laneHigh_[std::size_t(lane)] : laneLow_[std::size_t(lane)];
  };

  std::uint16_t cur = sum->wordAt(first);
  std::array<int, kLanes> segStart;
  segStart.fill(plotArea_.left());
  // Yield about a hundred times a drawing at most, on whole thousands of samples.
  const std::int64_t yieldStep = std::max<std::int64_t>(
      kProgressInterval, (n / 100 / kProgressInterval + 1) * kProgressInterval);
  std::int64_t nextYield = (floorDiv(first, yieldStep) + 1) * yieldStep;
  const double samplesPerPixel =
      pixelsPerSecond_ * period != 0.0 ? 1.0 / (pixelsPerSecond_ * period) : 0.0;

  std::int64_t j = first + 1;
  while (j <= endIdx) {
    const int x = xOf(j);
    // Last sample of column x: estimated from the scale, then settled on the exact pixels.
    std::int64_t e = j;
    if (samplesPerPixel > 1.0) {
      const double est =
          ((x + 0.5 - plotArea_.left()) / pixelsPerSecond_ + startTime_) / period + base;
      e = std::clamp<std::int64_t>(std::int64_t(std::floor(est)), j, endIdx);
      while (e > j && xOf(e) > x) --e;
    }
    while (e < endIdx && xOf(e + 1) <= x) ++e;
    std::uint16_t endWord = 0;
    const std::uint16_t mask = sum->changesIn(j, e, endWord);
    for (int i = 0; i < kLanes && mask; ++i) {
      if (!((mask >> i) & 1u)) continue;
      canvas.hRun(segStart[std::size_t(i)], x, levelY(i, cur));
      canvas.vRun(x, laneLow_[std::size_t(i)], laneHigh_[std::size_t(i)]);
      segStart[std::size_t(i)] = x;
    }
    cur = endWord;
    j = e + 1;
    if (j > nextYield && owner_) {
      nextYield = (floorDiv(j, yieldStep) + 1) * yieldStep;
      const std::int64_t denom = std::max<std::int64_t>({sum->count(), j, 1});
      post(roundInt(100.0 * double(j - 1) / double(denom)));
      const std::uint64_t gen = generation_;
      QCoreApplication::processEvents();
      if (gen != generation_ || bitmap_.isNull() || samples_.stream() != sum) return false;
      canvas = TraceCanvas(bitmap_, scale_);
    }
  }

  const int xLast = pixelOfTime(endTime_);
  for (int i = 0; i < kLanes; ++i) canvas.hRun(segStart[std::size_t(i)], xLast, levelY(i, cur));
  return true;
}

void TLogAnalPlot::drawTimeAxis(QPainter& p) {
  timeLabels_.clear();
  timeLabelTimes_.clear();
  timeLabelTexts_.clear();
  const QColor black(Qt::black);
  const int a = plotArea_.bottom() - plotArea_.top();
  const int y0 = laneLow_[0] + 2;
  const double m = niceStepUp(span_ * 0.01);
  if (!(m > 0.0) || !std::isfinite(m)) return;

  // Ticks and labels stand only on the drawn time range: a step before its start or after
  // its end would label a time that holds no data ("-7 s" left of a run starting at -6.3 s).
  // Half a pixel of slack keeps the ends themselves, which rounding may put a hair outside.
  const double slack = pixelsPerSecond_ > 0.0 ? 0.5 / pixelsPerSecond_ : 0.0;
  const double from = startTime_ - slack;
  const double to = endTime_ + slack;
  const int minorLen = std::max(3, roundInt(a / 80.0));
  auto drawMinorTicks = [&](double step) {
    const double k0 = std::ceil(from / step);
    for (int k = 0; k < kMaxTicks; ++k) {
      const double t = (k0 + k) * step;
      if (t > to) break;
      vRun(p, pixelOfTime(t), y0, y0 + minorLen, black);
    }
  };

  const TTimeTextStyle style = timeTextStyle(axisReach());
  const bool clock = style.form != TTimeTextStyle::Form::Seconds;
  // Clock labels stand on whole clock steps (10 s, 15 s, 1 min, 5 min ...), not on 50 s or 200 s.
  double big = clock ? clockStepAtLeast(niceStepUp(m * 2.5)) : niceStepUp(m * 2.5);
  if (!(big > 0.0) || !std::isfinite(big)) {
    drawMinorTicks(m);
    return;
  }
  const int yl = y0 + std::max(5, roundInt(a / 40.0));
  p.setFont(labelFont());
  p.setPen(Qt::black);
  const QFontMetrics fm = p.fontMetrics();
  const int width = logicalSize_.width();
  struct Label {
    double t;
    int x;
    QRect box;
    QString text;
    bool shown;
  };
  std::vector<Label> labels;
  // Lays the labels of a step out; false when one runs into its neighbour.
  auto layOut = [&](double step) {
    labels.clear();
    bool fits = true;
    const double k0 = std::ceil(from / step);
    for (int k = 0; k < kMaxTicks; ++k) {
      double t = (k0 + k) * step;
      if (t > to) break;
      // Rounding noise of the loop ("-1.1e-19 s") is 0.
      if (std::fabs(t) < step * 1e-6) t = 0.0;
      const int x = pixelOfTime(t);
      QString text = timeAxisLabel(t, step, style);
      const int w = fm.horizontalAdvance(text) + 1;
      // A label at the picture's edge is moved inside it rather than cut ("5 m" for "5 ms").
      const int left = std::clamp(x - w / 2, 0, std::max(0, width - w));
      const QRect box(left, yl, w, fm.height());
      const bool clear = labels.empty() || left > labels.back().box.right() + kLabelGap;
      fits = fits && clear;
      labels.push_back({t, x, box, std::move(text), clear});
    }
    return fits;
  };
  // The step grows until every label has room, so none is left out and none collides; only a
  // picture too narrow for any step leaves labels out (their ticks stay).
  while (!layOut(big) && pixelsPerSecond_ > 0.0) {
    const double next = clock ? clockStepAbove(big) : niceStepUp(big);
    if (!(next > big) || !std::isfinite(next)) break;
    big = next;
  }
  drawMinorTicks(clock ? clockMinorStep(big, m) : m);
  for (const Label& l : labels) {
    vRun(p, l.x, y0, yl, black);
    if (!l.shown) continue;
    p.drawText(l.box, Qt::AlignLeft | Qt::AlignTop, l.text);
    timeLabels_.push_back(l.box);
    timeLabelTimes_.push_back(l.t);
    timeLabelTexts_.push_back(l.text);
  }
}

// --- cursor read-out ---------------------------------------------------------------------

double TLogAnalPlot::axisReach() const {
  return std::max(std::fabs(startTime_), std::fabs(endTime_));
}

QString TLogAnalPlot::readOutText(double time, std::uint16_t word, double resolution,
                                  double axisMax) {
  const TTimeTextStyle style = timeTextStyle(axisMax < 0.0 ? time : axisMax);
  return timeReadOutText(time, resolution, style) + QStringLiteral("  $H ") + hex2(word >> 8) +
         QLatin1Char(' ') + hex2(word);
}

void TLogAnalPlot::xorCursorLine(QPainter& p) {
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  vRun(p, cursorX_, plotArea_.top(), plotArea_.bottom() - 1, colorOf(kCursorColor));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

int TLogAnalPlot::readAt(QLabel* image, int x, TLogAnalEntry& entry, double& time) {
  const std::int64_t count = samples_.count();
  if (count == 0 || pixelsPerSecond_ == 0.0) return kNoData;
  x = clampX(x);
  const double t = timeAtPixel(x);
  const std::int64_t index = std::clamp<std::int64_t>(indexShownAt(x), 0, count - 1);
  entry = samples_.at(index);
  time = t;
  if (bitmap_.isNull()) return 0;

  QPainter p(&bitmap_);
  if (cursorDrawn_) {
    xorCursorLine(p);
    p.fillRect(readOutBox_, Qt::white);
  }
  cursorX_ = x;
  xorCursorLine(p);
  cursorDrawn_ = true;

  const QString text =
      readOutText(t, entry.word, 1.0 / std::fabs(pixelsPerSecond_), axisReach());
  const double diagonal =
      std::hypot(double(logicalSize_.width()), double(logicalSize_.height()));
  QFont f = labelFont();
  f.setPointSize(std::max(8, roundInt(0.015 * diagonal)));
  f.setBold(true);
  p.setFont(f);
  const QFontMetrics fm = p.fontMetrics();
  const int tw = fm.horizontalAdvance(text);
  const int th = fm.height();
  const int w = logicalSize_.width();
  readOutBox_ = QRect(QPoint(w - tw - 3, -3), QPoint(w - 2, th - 3));
  // Written on white, like the old box is erased, so text never mixes with the traces.
  p.fillRect(readOutBox_, Qt::white);
  p.setPen(Qt::black);
  p.drawText(QRect(readOutBox_.left(), -3, tw + 1, th), Qt::AlignLeft | Qt::AlignTop, text);
  p.end();
  present(image);
  return 0;
}

// --- zoom --------------------------------------------------------------------------------

// Outline of the rubber band in not-exclusive-or, each pixel touched once so that drawing
// it twice restores the picture exactly.
void TLogAnalPlot::xorZoomRect(QPainter& p) {
  const QColor black(Qt::black);
  const int top = plotArea_.top();
  const int bottom = plotArea_.bottom();
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  hRun(p, zoomLeft_, zoomRight_, top, black);
  if (bottom != top) hRun(p, zoomLeft_, zoomRight_, bottom, black);
  if (bottom - top > 1) {
    vRun(p, zoomLeft_, top + 1, bottom - 1, black);
    if (zoomRight_ != zoomLeft_) vRun(p, zoomRight_, top + 1, bottom - 1, black);
  }
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TLogAnalPlot::beginZoom(int x) {
  if (zoomDrawn_ && !bitmap_.isNull()) {
    QPainter p(&bitmap_);
    xorZoomRect(p);
  }
  zoomDrawn_ = false;
  zooming_ = true;
  zoomLeft_ = zoomRight_ = clampX(x);
}

void TLogAnalPlot::dragZoom(QLabel* image, int x) {
  // Without a zoom begun there is no band to move; drawing one would leave it behind.
  if (!zooming_ || bitmap_.isNull()) return;
  x = clampX(x);
  QPainter p(&bitmap_);
  if (zoomDrawn_) xorZoomRect(p);
  if (x < zoomLeft_)
    zoomLeft_ = x;
  else
    zoomRight_ = x;
  xorZoomRect(p);
  zoomDrawn_ = true;
  p.end();
  present(image);
}

int TLogAnalPlot::finishZoom(QLabel* image, int x) {
  if (!zooming_) return 0;
  x = clampX(x);
  if (x < zoomLeft_)
    zoomLeft_ = x;
  else
    zoomRight_ = x;
  const double period = view_.period;
  TLogAnalView z;
  z.period = period;
  z.zeroIndex = view_.zeroIndex;
  z.spare = view_.spare;
  if (period != 0.0 && pixelsPerSecond_ != 0.0) {
    z.first = roundIndex(timeAtPixel(zoomLeft_) / period);
    z.last = roundIndex(timeAtPixel(zoomRight_) / period);
  }
  if (z.first == z.last) {
    // A click without a drag: keep the picture and the view, just end the band.
    if (zoomDrawn_ && !bitmap_.isNull()) {
      QPainter p(&bitmap_);
      xorZoomRect(p);
      p.end();
      present(image);
    }
    zoomDrawn_ = false;
    zooming_ = false;
    return kZeroTime;
  }
  zoomView_ = z;
  view_ = z;
  prepare(image);
  return render(image, z, false);
}

}  // namespace tolv

// --- navigation ------------------------------------------------------------------------------

namespace tolv {

int TLogAnalPlot::redrawView(QLabel* image, const TLogAnalView& v) {
  view_ = v;
  prepare(image);
  return render(image, v, false);
}

int TLogAnalPlot::wheelZoom(QLabel* image, int x, double steps) {
  if (pixelsPerSample_ == 0.0 || view_.period == 0.0) return kNoData;
  const double width = plotArea_.right() - plotArea_.left();
  const double n = double(view_.last - view_.first);
  // Never wider than a few full recordings, never narrower than one sample.
  const double full = std::max(1.0, double(savedView_.last - savedView_.first));
  const double n2 = std::clamp(std::round(n * std::pow(0.8, steps)), 1.0, std::max(n, 16.0 * full));
  if (n2 == n || width <= 0.0) return kZeroTime;
  const double frac = (x - plotArea_.left()) / width;
  // Sample position under the pointer, kept at the same share of the width.
  const double s = double(view_.first) + view_.offset + frac * n;
  return showFrom(image, s - frac * n2, n2);
}

// The view of n samples starting at sample position a (a fraction of a sample allowed).
int TLogAnalPlot::showFrom(QLabel* image, double a, double n) {
  // Far inside the range where a double counts whole samples exactly.
  constexpr double lim = 1e15;
  if (!(std::fabs(a) < lim && std::fabs(a + n) < lim)) return kZeroTime;
  TLogAnalView z = view_;
  z.first = std::int64_t(std::floor(a));
  z.offset = a - std::floor(a);
  z.last = z.first + std::int64_t(n);
  return redrawView(image, z);
}

int TLogAnalPlot::pan(QLabel* image, double steps) {
  if (pixelsPerSample_ == 0.0 || view_.period == 0.0) return kNoData;
  const double n = double(view_.last - view_.first);
  return showFrom(image, double(view_.first) + view_.offset + 0.1 * steps * n, n);
}

int TLogAnalPlot::setCursor(QLabel* image, int which, int x) {
  const std::int64_t count = samples_.count();
  if (count == 0 || pixelsPerSecond_ == 0.0) return kNoData;
  const double t = (clampX(x) - plotArea_.left()) / pixelsPerSecond_ + startTime_;
  const std::size_t w = std::size_t(which & 1);
  cursorIndex_[w] = std::clamp<std::int64_t>(indexOfTime(t), 0, count - 1);
  cursorSet_[w] = true;
  nextCursor_ = int(w ^ 1u);
  return redrawView(image, view_);
}

void TLogAnalPlot::clearCursors(QLabel* image) {
  const bool had = cursorSet_[0] || cursorSet_[1];
  cursorSet_ = {};
  nextCursor_ = 0;
  if (had && pixelsPerSecond_ != 0.0) redrawView(image, view_);
}

TCursorReadOut TLogAnalPlot::cursorReadOut() const {
  TCursorReadOut r;
  r.hasA = cursorSet_[0];
  r.hasB = cursorSet_[1];
  r.xUnit = QStringLiteral("s");
  r.timeAxis = true;
  r.xA = WorldValue::num(timeOfIndex(cursorIndex_[0]));
  r.xB = WorldValue::num(timeOfIndex(cursorIndex_[1]));
  // Whole samples apart: the distance is their count times the period, free of the rounding
  // of two times subtracted.
  if (r.complete()) r.dt = double(cursorIndex_[1] - cursorIndex_[0]) * view_.period;
  const std::int64_t count = samples_.count();
  for (int w = 0; w < 2; ++w) {
    const std::int64_t i = cursorIndex_[std::size_t(w)];
    if (!cursorSet_[std::size_t(w)] || i < 0 || i >= count) continue;
    const std::uint16_t word = samples_.at(i).word;
    r.notes.emplace_back(w == 0 ? QStringLiteral("A") : QStringLiteral("B"),
                         QStringLiteral("$H %1 %2").arg(hex2(word >> 8u), hex2(word)));
  }
  return r;
}

void TLogAnalPlot::drawCursorPair(QPainter& p) {
  for (int w = 0; w < 2; ++w) {
    if (!cursorSet_[std::size_t(w)]) continue;
    const int x = pixelOfTime(timeOfIndex(cursorIndex_[std::size_t(w)]));
    if (x < plotArea_.left() || x > plotArea_.right()) continue;
    const QColor c = colorOf(w == 0 ? kCursorAColor : kCursorBColor);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(c, 0, Qt::DashLine));
    p.drawLine(x, plotArea_.top(), x, plotArea_.bottom());
    p.setFont(labelFont());
    p.drawText(x + 2, plotArea_.top() + p.fontMetrics().ascent(),
               w == 0 ? QStringLiteral("A") : QStringLiteral("B"));
  }
}

}  // namespace tolv
