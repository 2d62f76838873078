#include "plot/genkernel.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QStaticText>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <vector>

#include "plot/plotlabel.h"
#include "plot/plotraster.h"

namespace tolv {

namespace {

QColor qcolor(ColorRef c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

Qt::PenStyle gridPenStyle(std::uint8_t s) {
  switch (s) {
    case 0:
      return Qt::SolidLine;
    case 1:
      return Qt::DashLine;
    case 3:
      return Qt::DashDotLine;
    case 4:
      return Qt::DashDotDotLine;
    default:
      return Qt::DotLine;
  }
}

// The hourglass while drawing; the previous cursor comes back on every way out.
class BusyCursor {
 public:
  BusyCursor() : active_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (active_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~BusyCursor() {
    if (active_) QGuiApplication::restoreOverrideCursor();
  }

 private:
  bool active_;
};

// The pixels of a picture of w x h device-independent pixels (at least one each way).
QSize picturePixels(int w, int h, double ratio) {
  w = std::max(1, w);
  h = std::max(1, h);
  if (ratio == 1.0) return QSize(w, h);
  return QSize(int(std::lround(w * ratio)), int(std::lround(h * ratio)));
}

// Empty pictures in a background colour, as plain images the labels' pixmaps share without a
// copy: the last few made (the sheets of a window share one), whatever the screen's size.
struct Blank {
  QSize pixels;
  double ratio;
  ColorRef background;
  QImage image;
};

std::vector<Blank>& blanks() {
  static std::vector<Blank> kept;
  return kept;
}

// Lets go of the blanks no label shows any more.
void dropUnshownBlanks() {
  std::erase_if(blanks(), [](const Blank& b) { return b.image.isDetached(); });
}

QPixmap blankPicture(QSize pixels, double ratio, ColorRef background) {
  std::vector<Blank>& kept = blanks();
  auto it = std::find_if(kept.begin(), kept.end(), [&](const Blank& b) {
    return b.pixels == pixels && b.ratio == ratio && b.background == background;
  });
  if (it == kept.end()) {
    constexpr std::size_t kMost = 4;
    dropUnshownBlanks();
    if (kept.size() >= kMost) kept.pop_back();
    QImage image(pixels, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(qcolor(background));
    kept.insert(kept.begin(), Blank{pixels, ratio, background, std::move(image)});
  } else if (it != kept.begin()) {
    std::rotate(kept.begin(), it, it + 1);
  }
  return QPixmap::fromImage(kept.front().image);
}

void processPending() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

QString padHash(QString s, int minChars) {
  while (s.size() < minChars) s += QLatin1Char('#');
  return s;
}

// A label's width and its text laid out once for drawing (shared by its copies).
struct KeptLabel {
  int width = 0;
  QStaticText text;
};

// The labels kept for a font and pixel ratio, shared by every kernel, so a new kernel's first
// picture (one per record where curves are made anew) finds the texts the others measured and
// laid out. GUI thread only.
QHash<QString, KeptLabel>& keptLabels(const QString& fontKey) {
  static QHash<QString, QHash<QString, KeptLabel>> byFont;
  if (!byFont.contains(fontKey) && byFont.size() >= 16) byFont.clear();
  return byFont[fontKey];
}

// The kept label of a text, made when missing.
KeptLabel keptLabel(const QString& fontKey, const QFontMetrics& fm, const QString& text) {
  QHash<QString, KeptLabel>& labels = keptLabels(fontKey);
  if (const auto it = labels.constFind(text); it != labels.cend()) return *it;
  // Zooming on and on keeps making new texts: the table is started afresh now and then.
  if (labels.size() >= 4096) labels.clear();
  KeptLabel l{fm.horizontalAdvance(text), QStaticText(text)};
  l.text.setTextFormat(Qt::PlainText);
  labels.insert(text, l);
  return l;
}

// A span of 0 counts as 1 (one unit, or one second on time axes).
WorldValue nonZeroSpan(const AxisWorldData& ax) {
  WorldValue span = wvSub(ax.maximum, ax.minimum);
  if (span.toNumber() == 0.0)
    span = ax.minimum.kind == kWorldTime ? WorldValue::seconds(1.0) : WorldValue::num(1.0);
  return span;
}

const AxisStepTrace kNoTrace{};

// The first labelled value of an axis with label step s: three base steps below the minimum,
// then on a multiple of s itself. The base step (the next range step) is not always a multiple
// of s (s 0.2, base 0.5): started from it, the labels would sit at -0.1, 0.1, 0.3 ... and
// none at 0.
WorldValue firstTickValue(const WorldValue& minimum, const WorldValue& s) {
  const WorldValue base = rangeStep(s);
  return roundWorldToStep(wvSub(roundWorldToStep(minimum, base), wvScale(base, 3.0)), s);
}

}  // namespace

TGenD2ImgKernel::TGenD2ImgKernel() {
  font_.setFamily(QStringLiteral("DejaVu Sans"));
  font_.setPixelSize(11);
}

TGenD2ImgKernel::~TGenD2ImgKernel() {
  dropUnshownBlanks();
}

ColorRef TGenD2ImgKernel::NextColor(ColorRef last) {
  // Neighbours differ strongly in hue; all are dark enough to read on white.
  static constexpr std::array<ColorRef, 10> kRing = {
      0x0000FF,  // red
      0xFF0000,  // blue
      0x008000,  // green
      0xFF00FF,  // magenta
      0x0080FF,  // orange
      0x808000,  // teal
      0x800080,  // purple
      0x008080,  // olive
      0x800000,  // navy
      0x000080,  // maroon
  };
  for (std::size_t i = 0; i < kRing.size(); ++i) {
    if (kRing[i] == last) return kRing[(i + 1) % kRing.size()];
  }
  return kRing[0];
}

TGenD2DataSet& TGenD2ImgKernel::NewDataSet() {
  builder_.Reset();
  const ColorRef c = NextColor(lastColor_);
  lastColor_ = c;
  builder_.yStyle.axisColor = c;
  builder_.yStyle.labelColor = c;
  builder_.points.Template().color = c;
  markerCounter_ = std::uint8_t((markerCounter_ + 1) % 4);
  builder_.points.Template().markerShape = markerCounter_;
  return builder_;
}

void TGenD2ImgKernel::ClearDataSets() {
  ++generation_;
  dataSets_.Clear();
  xAxes_.Clear();
  yAxes_.Clear();
  xTraces_.clear();
  yTraces_.clear();
}

int TGenD2ImgKernel::AddDataSet(TGenD2DataSet& ds) {
  ++generation_;
  TGenD2DataSet& set = dataSets_.AddCopy(ds);
  const int rc = set.SetRangesFromPoints();
  set.mergedXIndex = xAxes_.MatchOrAdd(set.xAxis, set.mergedX);
  set.mergedYIndex = yAxes_.MatchOrAdd(set.yAxis, set.mergedY);
  return rc;
}

TGenD2DataSet* TGenD2ImgKernel::Get(int i) const {
  TGenD2DataSet* ds = nullptr;
  if (dataSets_.Get(i, ds) != kPlotOk) return nullptr;
  return ds;
}

void TGenD2ImgKernel::SetImageSize(int w, int h) {
  logicalW_ = w > 0 ? w : 1;
  logicalH_ = h > 0 ? h : 1;
  const QSize pixels = picturePixels(logicalW_, logicalH_, dpr_);
  // Every redraw starts here: a picture of the same size is only cleared, which spares
  // allocating and faulting in a few megabytes each time (a copy someone holds detaches).
  if (!bitmap_.isNull() && bitmap_.size() == pixels && bitmap_.devicePixelRatio() == dpr_) {
    bitmap_.fill(qcolor(backgroundColor));
    return;
  }
  bitmap_ = QImage(pixels, QImage::Format_RGB32);
  if (dpr_ != 1.0) bitmap_.setDevicePixelRatio(dpr_);
  bitmap_.fill(qcolor(backgroundColor));
}

void TGenD2ImgKernel::SetDevicePixelRatio(double ratio) {
  // Whole ratios from 1 to 4: the curves and cursors are placed on whole device pixels (a
  // fractional screen scales the picture down a little), and finer grids gain nothing visible.
  dpr_ = std::isfinite(ratio) ? double(std::clamp(std::lround(ratio), 1L, 4L)) : 1.0;
}

void TGenD2ImgKernel::show(QLabel* image) {
  if (image) image->setPixmap(QPixmap::fromImage(bitmap_));
}

void TGenD2ImgKernel::PrepareImage(QLabel* image) {
  ++generation_;
  int w = logicalW_, h = logicalH_;
  if (image) {
    w = image->width();
    h = image->height();
    SetDevicePixelRatio(image->devicePixelRatioF());
    // The label shows an empty picture of its own until the new one is finished. Showing the
    // kernel's picture would share it, and every redraw would first copy its megabytes.
    image->setPixmap(blankPicture(picturePixels(w, h, dpr_), dpr_, backgroundColor));
  }
  eraseCursors();
  SetImageSize(w, h);
  zoom_ = PlotRect{};
  zoomFlag_ = 0;
  focusDrawn_ = false;
  measurement_.resultFlag = 0;
  measurement_.filledFlag = 0;
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    ds.xTics.clear();
    ds.yTics.clear();
    ds.cursorColor = kColorBlack;
    ds.cursorX = ds.cursorY = ds.foundX = ds.foundY = 0;
    ds.cursorMode = 0;
    ds.cursorDrawn = false;
  }
}

int TGenD2ImgKernel::ComputeRanges() {
  if (dataSets_.Count() == 0 || (xAxes_.Count() == 0 && yAxes_.Count() == 0)) return kPlotEmpty;
  xAxes_.Clear();
  yAxes_.Clear();
  int rc = kPlotOk;
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    const int r = ds.SetRangesFromPoints();
    if (rc == kPlotOk) rc = r;
    ds.mergedXIndex = xAxes_.MatchOrAdd(ds.xAxis, ds.mergedX);
    ds.mergedYIndex = yAxes_.MatchOrAdd(ds.yAxis, ds.mergedY);
  }
  return rc;
}

static void setUpTransform(AxisTransform& t, const AxisWorldData& ax, int first, int last) {
  t.firstPixel = first;
  t.lastPixel = last;
  t.scaleType = ax.scaleType;
  t.minimum = ax.minimum;
  const double span = nonZeroSpan(ax).toNumber();
  t.scale = (long double)(last - first) / (long double)span;
}

int TGenD2ImgKernel::SetUpTransforms() {
  if (dataSets_.Count() == 0) return kPlotEmpty;
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (!ds.mergedX || !ds.mergedY) return kPlotMissing;
    setUpTransform(ds.xTransform, *ds.mergedX, plot_.left, plot_.right);
    setUpTransform(ds.yTransform, *ds.mergedY, plot_.bottom, plot_.top);
  }
  return kPlotOk;
}

void TGenD2ImgKernel::layoutFrame(int w, int h) {
  frame_ = QRect(2, 9, w - 4, h - 18);
  plot_ = PlotRect{2, frame_.top() + 6, frame_.left() + frame_.width() - 24,
                   frame_.top() + frame_.height()};
  initialPlot_ = plot_;
}

void TGenD2ImgKernel::layoutBands(QPainter& p) {
  const QFontMetrics fm(p.font());
  plot_ = initialPlot_;
  // X bands stacked upwards from the bottom, one per distinct X axis.
  const int h = fm.height() + 17;
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (!ds.mergedX) continue;
    AxisWorldData& ax = *ds.mergedX;
    ax.left = plot_.left;
    ax.right = plot_.right;
    ax.bottom = initialPlot_.bottom - h * ds.mergedXIndex;
    ax.top = ax.bottom + 5 - h;
    if (ax.top < plot_.bottom) plot_.bottom = ax.top;
  }
  // Y bands side by side from the left, each as wide as its widest end label.
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (!ds.mergedY) continue;
    AxisWorldData& ax = *ds.mergedY;
    const int digits = ds.yStyle.labelDigits;
    const QString lo =
        padHash(worldLabelText(ax.minimum, digits, ax.unit), int(ax.unit.size()) + 5);
    const QString hi = worldLabelText(ax.maximum, digits, ax.unit);
    const int lw = std::max(labelWidth(fm, lo), labelWidth(fm, hi));
    ax.left = plot_.left;
    ax.top = plot_.top;
    ax.bottom = plot_.bottom;
    ax.right = lw + 13;
  }
  int x = 2;
  for (int i = 0; i < yAxes_.Count(); ++i) {
    AxisWorldData& ax = *yAxes_.Get(i);
    const int width = ax.right - ax.left;
    ax.left = x;
    ax.right = x + width;
    x = ax.right;
  }
  if (x > plot_.left) plot_.left = x;
  for (int i = 0; i < xAxes_.Count(); ++i) xAxes_.Get(i)->left = plot_.left;
}

const AxisStepTrace& TGenD2ImgKernel::XTrace(int set) const {
  return set >= 0 && set < int(xTraces_.size()) ? xTraces_[std::size_t(set)] : kNoTrace;
}

const AxisStepTrace& TGenD2ImgKernel::YTrace(int set) const {
  return set >= 0 && set < int(yTraces_.size()) ? yTraces_[std::size_t(set)] : kNoTrace;
}

int TGenD2ImgKernel::Render(QLabel* image, bool recompute) {
  BusyCursor busy;
  if (dataSets_.Count() == 0) return kPlotEmpty;
  if (bitmap_.isNull()) PrepareImage(image);
  const std::uint64_t myGen = ++generation_;

  layoutFrame(logicalW_, logicalH_);
  if (recompute) {
    const int rc = ComputeRanges();
    if (rc != kPlotOk) return rc;
  }
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    for (AxisWorldData* ax : {&ds.xAxis, &ds.yAxis}) {
      ax->renderedMin = ax->minimum;
      ax->renderedMax = ax->maximum;
      ax->pointCount = std::int32_t(std::min<std::int64_t>(ds.PointCount(), INT32_MAX));
    }
  }
  xTraces_.assign(std::size_t(dataSets_.Count()), AxisStepTrace{});
  yTraces_.assign(std::size_t(dataSets_.Count()), AxisStepTrace{});
  {
    QPainter p(&bitmap_);
    p.setFont(font_);
    labelWidthKey_ = font_.key() + QLatin1Char('@') + QString::number(dpr_);
    layoutBands(p);
    const int rc = SetUpTransforms();
    if (rc != kPlotOk) return rc;
    for (int i = 0; i < dataSets_.Count(); ++i) {
      TGenD2DataSet& ds = *dataSets_.At(i);
      drawXAxis(p, ds, xTraces_[std::size_t(i)]);
      drawYAxis(p, ds, yTraces_[std::size_t(i)]);
    }
  }
  zoom_ = PlotRect{plot_.left, plot_.top, plot_.left, plot_.top};
  zoomFlag_ = 0;
  focusDrawn_ = false;

  int rc = kPlotOk;
  for (int i = 0; rc == kPlotOk && i < dataSets_.Count(); ++i) {
    processPending();
    if (generation_ != myGen) return kPlotOk;  // a nested event started a new picture
    rc = drawPoints(*dataSets_.At(i), myGen);
    if (generation_ != myGen) return kPlotOk;
  }
  if (cursorSet_[0] || cursorSet_[1]) {
    QPainter p(&bitmap_);
    drawCursorPair(p);
  }
  show(image);
  return rc;
}

int TGenD2ImgKernel::labelWidth(const QFontMetrics& fm, const QString& text) {
  return keptLabel(labelWidthKey_, fm, text).width;
}

void TGenD2ImgKernel::drawLabel(QPainter& p, const QFontMetrics& fm, TMyPosTxt& t) {
  if (t.text.isEmpty()) return;
  const KeptLabel l = keptLabel(labelWidthKey_, fm, t.text);
  t.Place(l.width, fm.height());
  p.setPen(qcolor(t.color));
  if (keepLabelTexts) {
    // Placed by its top left: the baseline lies the font's ascent (unrounded) below it.
    p.drawStaticText(QPointF(t.left, t.top + fm.ascent() - QFontMetricsF(p.font()).ascent()),
                     l.text);
  } else {
    p.drawText(t.left, t.top + fm.ascent(), t.text);
  }
}

int TGenD2ImgKernel::Redraw(QLabel* image) {
  PrepareImage(image);
  return Render(image, false);
}

int TGenD2ImgKernel::RedrawAutoRange(QLabel* image) {
  PrepareImage(image);
  return Render(image, true);
}

// ---- axes ----------------------------------------------------------------------------------

void TGenD2ImgKernel::drawXAxis(QPainter& p, TGenD2DataSet& ds, AxisStepTrace& trace) {
  ds.xTics.clear();
  if (!ds.mergedX) return;
  const AxisWorldData& ax = *ds.mergedX;
  const AxisTransform& t = ds.xTransform;
  const TAxisStyle& st = ds.xStyle;
  const QFontMetrics fm(p.font());
  const QColor axisColor = qcolor(st.axisColor);
  const int y0 = ax.top + 5;
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setPen(QPen(axisColor, 0, Qt::SolidLine));
  p.drawLine(ax.left, y0, ax.right, y0);

  WorldValue span = nonZeroSpan(ax);
  if (ax.minimum.kind == kWorldTime) span = wvScale(span, 1.1);
  const WorldValue r = rangeStep(span);
  WorldValue s = firstLabelStep(r);
  trace.range = r.toNumber();
  trace.steps = {s.toNumber()};
  std::vector<WorldValue> tried{s};
  const int minChars = st.labelDigits + int(ax.unit.size());
  const int p0 = t.toPixel(ax.minimum);

  // The labelled ticks of a step. The search measures one label only, but the labels drawn
  // can be wider (a time label gains its time of day, a number its sign), so a step is
  // taken only when none of its labels come closer than kLabelGap to the next.
  constexpr int kLabelGap = 2;
  struct XTick {
    WorldValue v;
    int x = 0;
    bool inside = false;
    QString text;
  };
  std::vector<XTick> ticks;
  // Time labels carry their date only where it is new: on the first label and where the day
  // changes; the others show the time of day alone.
  const bool timeAxis = ax.minimum.kind == kWorldTime;
  auto tickText = [&](const WorldValue& shown, std::int32_t& lastDay) {
    if (!timeAxis || shown.kind != kWorldTime)
      return worldLabelText(shown, st.labelDigits, ax.unit);
    const std::int32_t day = timeLabelDay(shown.time());
    QString text = timeLabelText(shown.time(), st.labelDigits, day != lastDay);
    if (text.isEmpty()) text = timeLabelText(shown.time(), st.labelDigits, true);
    lastDay = day;
    return text;
  };
  auto placeTicks = [&](const WorldValue& step, std::vector<XTick>& out) {
    out.clear();
    WorldValue v = firstTickValue(ax.minimum, step);
    bool fits = true;
    int prevRight = 0;
    bool havePrev = false;
    std::int32_t lastDay = INT32_MIN;
    for (int pass = 0; pass < 1001 && wvLessEqual(v, ax.maximum); ++pass) {
      XTick tk;
      tk.v = v;
      tk.x = t.toPixel(v);
      tk.inside = ax.left < tk.x && tk.x < ax.right;
      if (tk.inside) {
        tk.text = tickText(tickShownValue(v, step), lastDay);
        if (!tk.text.isEmpty()) {
          const int w = labelWidth(fm, tk.text);
          const int left = tk.x - w / 2;
          if (havePrev && left - prevRight < kLabelGap) fits = false;
          prevRight = left + w;
          havePrev = true;
        }
      }
      out.push_back(std::move(tk));
      v = wvAdd(v, step);
    }
    return fits;
  };

  bool placed = false;
  for (int n = 0; n < 1000; ++n) {
    const WorldValue v = wvAdd(ax.minimum, s);
    // Measured as most labels are drawn: on a time axis without the date.
    std::int32_t day = timeAxis ? timeLabelDay(v.time()) : INT32_MIN;
    const int w = labelWidth(fm, padHash(tickText(v, day), minChars));
    const int d = std::abs(t.toPixel(v) - p0);
    if (d - w >= 5 && placeTicks(s, ticks)) {
      placed = true;
      break;
    }
    s = nextLabelStep(s);
    tried.push_back(s);
    trace.steps.push_back(s.toNumber());
  }
  if (!placed) placeTicks(s, ticks);
  const WorldValue m = tried.size() > 3 ? tried[tried.size() - 4] : tried.front();
  const WorldValue b = rangeStep(s);
  trace.minor = m.toNumber();
  trace.base = b.toNumber();

  const QPen tickPen(axisColor, 0, Qt::SolidLine);
  const QPen gridPen(axisColor, 0, gridPenStyle(st.gridPenStyle));
  auto grid = [&](int x) {
    if (!st.grid) return;
    p.setPen(gridPen);
    p.drawLine(x, plot_.bottom, x, plot_.top);
    p.setPen(tickPen);
  };
  auto minorTicks = [&](const WorldValue& from, const WorldValue& to) {
    if (m.toNumber() <= 0) return;
    const double eps = std::fabs(m.toNumber()) * 1e-6;
    p.setPen(tickPen);
    for (int k = 1; k <= 101; ++k) {
      const WorldValue tv = wvAddUnits(from, m.toNumber() * k);
      if (!(wvSub(to, tv).toNumber() > eps)) break;
      const int x = t.toPixel(tv);
      if (ax.left < x && x < ax.right) {
        p.drawLine(x, y0, x, ax.top + 8);
        grid(x);
      }
    }
  };

  std::int32_t drawnDay = INT32_MIN;  // the day of the last label drawn
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    XTick& tk = ticks[i];
    if (i > 0) minorTicks(ticks[i - 1].v, tk.v);
    if (!tk.inside) continue;
    // A label left out at the edge took the date with it: the next one shows it.
    std::int32_t day = drawnDay;
    if (timeAxis && !tk.text.isEmpty()) tk.text = tickText(tickShownValue(tk.v, s), day);
    p.setPen(tickPen);
    p.drawLine(tk.x, y0, tk.x, ax.top + 12);
    grid(tk.x);
    TTicRecord rec;
    rec.x = tk.x;
    rec.y = ax.top + 12;
    rec.tickEnd = ax.top + 12;
    rec.color = st.labelColor;
    rec.value = tickShownValue(tk.v, s);
    rec.label.text = tk.text;
    rec.label.x = tk.x;
    rec.label.y = ax.top + 12;
    rec.label.align = 1;
    rec.label.color = st.labelColor;
    // A centred label near the picture's edge is moved inside it rather than cut off (long time
    // labels at the right end lost their seconds); one that then runs into its neighbour is left
    // out, the tick stays.
    rec.label.Place(labelWidth(fm, rec.label.text), fm.height());
    const int shift = std::max(0, -rec.label.left) -
                      std::max(0, rec.label.right - p.device()->width());
    const int prevRight = ds.xTics.empty() || ds.xTics.back().label.text.isEmpty()
                              ? INT_MIN
                              : ds.xTics.back().label.right;
    if (shift != 0 && rec.label.left + shift <= prevRight + kLabelGap) rec.label.text.clear();
    rec.label.x += shift;
    if (!rec.label.text.isEmpty()) drawnDay = day;
    drawLabel(p, fm, rec.label);
    rec.drawn = true;
    ds.xTics.push_back(rec);
  }
  if (!ticks.empty()) minorTicks(ticks.back().v, wvAdd(ticks.back().v, s));
}

void TGenD2ImgKernel::drawYAxis(QPainter& p, TGenD2DataSet& ds, AxisStepTrace& trace) {
  ds.yTics.clear();
  if (!ds.mergedY) return;
  const AxisWorldData& ax = *ds.mergedY;
  const AxisTransform& t = ds.yTransform;
  const TAxisStyle& st = ds.yStyle;
  const QFontMetrics fm(p.font());
  const QColor axisColor = qcolor(st.axisColor);
  const int x0 = ax.right - 5;
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setPen(QPen(axisColor, 0, Qt::SolidLine));
  p.drawLine(x0, ax.bottom, x0, ax.top);

  WorldValue span = nonZeroSpan(ax);
  if (ax.minimum.kind == kWorldTime) span = wvScale(span, 1.1);
  const WorldValue r = rangeStep(span);
  WorldValue s = firstLabelStep(r);
  trace.range = r.toNumber();
  trace.steps = {s.toNumber()};
  const int h = fm.height();
  const int p0 = t.toPixel(ax.minimum);
  for (int n = 0; n < 1000; ++n) {
    const WorldValue v = wvAdd(ax.minimum, s);
    const int d = std::abs(t.toPixel(v) - p0);
    if (d - h >= 5) break;
    s = nextLabelStep(s);
    // Very flat axes would need thousands of 1-2-5 steps; from here on the steps grow faster.
    if (n >= 100) s = wvScale(s, 2.6);
    trace.steps.push_back(s.toNumber());
  }
  const WorldValue b = rangeStep(s);
  trace.base = b.toNumber();
  const WorldValue start = firstTickValue(ax.minimum, s);
  const QPen tickPen(axisColor, 0, Qt::SolidLine);
  const QPen gridPen(axisColor, 0, gridPenStyle(st.gridPenStyle));

  WorldValue v = start;
  for (int pass = 0; pass < 1001 && wvLessEqual(v, ax.maximum); ++pass) {
    const int y = t.toPixel(v);
    if (ax.top < y && y < ax.bottom) {
      p.setPen(tickPen);
      p.drawLine(x0, y, ax.right - 12, y);
      if (st.grid) {
        p.setPen(gridPen);
        p.drawLine(plot_.left, y, plot_.right, y);
      }
      const WorldValue shown = tickShownValue(v, s);
      TTicRecord rec;
      rec.x = ax.right - 13;
      rec.y = y;
      rec.tickEnd = ax.right - 12;
      rec.color = st.labelColor;
      rec.value = shown;
      rec.label.text = worldLabelText(shown, st.labelDigits, ax.unit);
      rec.label.x = ax.right - 13;
      rec.label.y = y;
      rec.label.align = 5;
      rec.label.color = st.labelColor;
      drawLabel(p, fm, rec.label);
      rec.drawn = true;
      ds.yTics.push_back(rec);
    }
    v = wvAdd(v, s);
  }
}

}  // namespace tolv
