#include "measure/plotfeed.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "common/format.h"
#include "common/texttable.h"
#include "common/version.h"
#include "measure/derived.h"
#include "plot/sampleseries.h"

namespace tolv {

namespace {

// More distinct lines in an XY curve of a stream than kLoggerXYMaxPoints points hold.
constexpr int kPlotXYTooManyLines = -2610;

// Marker shape that draws nothing: curves are their link lines only, and range points stay
// invisible.
constexpr int kNoMarker = 9;

double ampl(const SettingsRecord& rs, int ch) {
  return ch == 0 ? rs.amplC0 : rs.amplC1;
}

// A data set ready for one curve: kinds, units and colours set, no marker.
struct CurveStyle {
  std::uint8_t xKind = kWorldNumber;
  QString xUnit;
  QString yUnit;
  ColorRef xColour = kColorBlack;
  ColorRef yColour = kColorBlack;      // the curve
  ColorRef yAxisColour = kColorBlack;  // its Y axis: the curve's, or neutral when shared
};

// Y axis colour of a channel's time curve: its own colour, or a neutral one when both channels
// are drawn on one axis (the axis belongs to neither).
ColorRef yAxisColourOf(int ch, bool shared) {
  return shared ? kSharedAxisColour : kChannelColour[ch];
}

// The curves of one image. The kernel's data sets are kept when their number stays the same,
// so the next record fills the memory of the last one instead of allocating it again; the
// ranges are taken from the points once all are in.
class Curves {
 public:
  Curves(TGenD2ImgKernel& k, int count) : k_(k) {
    if (k.DataSetCount() == count) return;
    k.ClearDataSets();
    for (int i = 0; i < count; ++i) k.AddDataSet(k.NewDataSet());
  }
  // The next curve, emptied and styled.
  int begin(const CurveStyle& st, TGenD2DataSet*& out) {
    TGenD2DataSet* ds = k_.Get(next_++);
    if (!ds) return kPlotMissing;
    ds->points.Clear();
    ds->series.reset();
    ds->xySeries.reset();
    ds->xTics.clear();
    ds->yTics.clear();
    ds->SetXKind(st.xKind);
    ds->SetYKind(kWorldNumber);
    int rc = st.xKind == kWorldNumber ? ds->SetXUnit(st.xUnit) : kPlotOk;
    if (rc == kPlotOk) rc = ds->SetYUnit(st.yUnit);
    if (rc != kPlotOk) return rc;
    ds->xStyle.axisColor = ds->xStyle.labelColor = st.xColour;
    ds->yStyle.axisColor = ds->yStyle.labelColor = st.yAxisColour;
    ds->SetPointColor(st.yColour);
    ds->SetMarker(3, kNoMarker);
    out = ds;
    return kPlotOk;
  }
  int finish() {
    if (k_.DataSetCount() == 0) return kPlotOk;
    // A changed axis kind (seconds to clock time) is expected here; mixed kinds are not.
    return k_.ComputeRanges() == kPlotRangeKinds ? kPlotRangeKinds : kPlotOk;
  }

 private:
  TGenD2ImgKernel& k_;
  int next_ = 0;
};

// Appends points to a data set: a linked run (a line) or single unlinked points.
class PointWriter {
 public:
  PointWriter(TGenD2DataSet& ds, ColorRef colour) : pts_(ds.points), tpl_(ds.points.GetTemplate()) {
    tpl_.color = colour;
    tpl_.markerShape = kNoMarker;
  }
  void colour(ColorRef c) { tpl_.color = c; }
  // First point of a line: linked to nothing.
  void start(const WorldValue& x, double y) {
    PlotPoint p = tpl_;
    p.X = x;
    p.Y = WorldValue::num(y);
    p.linkA = p.linkB = -1;
    pts_.AddPoint(p);
  }
  // Next point of the line: linked to the point before.
  void next(const WorldValue& x, double y) {
    PlotPoint& p = tpl_;
    p.X = x;
    p.Y = WorldValue::num(y);
    p.linkA = p.linkB = -1;
    pts_.AddLinkedPoint(p);
  }
  // A point that only widens the ranges: no marker, no line, not measured.
  void invisible(const WorldValue& x, double y) {
    PlotPoint p = tpl_;
    p.X = x;
    p.Y = WorldValue::num(y);
    p.linkA = p.linkB = -1;
    p.flags &= ~kPointMeasurable;
    pts_.AddPoint(p);
  }
  // A straight line of kGuideLinePoints points from (x0, y0) to (x1, y1), not measured.
  void guide(const WorldValue& x0, double y0, const WorldValue& x1, double y1, ColorRef c) {
    PlotPoint p = tpl_;
    p.color = c;
    p.flags &= ~kPointMeasurable;
    const double dx = wvSub(x1, x0).toNumber();
    for (int i = 0; i < kGuideLinePoints; ++i) {
      const double f = double(i) / double(kGuideLinePoints - 1);
      p.X = wvAddUnits(x0, dx * f);
      p.Y = WorldValue::num(y0 + (y1 - y0) * f);
      p.linkA = p.linkB = i == 0 ? -1 : pts_.Count() - 1;
      pts_.AddPoint(p);
    }
  }
  void reserve(int n) { pts_.Reserve(pts_.Count() + n); }

 private:
  TD2PointsLst& pts_;
  PlotPoint tpl_;
};

struct Range {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  void add(double v) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  bool valid() const { return lo <= hi; }
  bool containsZero() const { return valid() && lo <= 0.0 && hi >= 0.0; }
};

// What both kinds of time curve end with: the fixed range's corners, the trigger line at trigX
// and the zero line from x0 to x1.
int finishTimeCurve(PointWriter& w, Range r, int ch, const WorldValue& trigX, const WorldValue& x0,
                    const WorldValue& x1, bool autoScale, const ValueRange& fixed) {
  if (!autoScale) {
    w.invisible(x0, fixed.hi);
    w.invisible(x0, fixed.lo);
    r.lo = fixed.lo;
    r.hi = fixed.hi;
  }
  if (r.valid()) w.guide(trigX, r.lo, trigX, r.hi, kColorBlack);
  if (r.containsZero()) w.guide(x0, 0.0, x1, 0.0, kChannelColour[ch]);
  return kPlotOk;
}

// A time curve of one channel: the samples, the fixed range, the trigger line at x0 and the
// zero line from x0 to xEnd. values(i) gives sample i, xOf(i) its X.
template <class Values, class XOf>
int timeCurve(Curves& k, int ch, int n, Values values, XOf xOf, const WorldValue& trigX,
              const WorldValue& x0, const WorldValue& x1, const CurveStyle& st, bool autoScale,
              const ValueRange& fixed) {
  TGenD2DataSet* ds = nullptr;
  if (const int rc = k.begin(st, ds); rc != kPlotOk) return rc;
  PointWriter w(*ds, kChannelColour[ch]);
  w.reserve(n + 2 + 2 * kGuideLinePoints);
  Range r;
  for (int i = 0; i < n; ++i) {
    const double v = values(i);
    r.add(v);
    if (i == 0)
      w.start(xOf(i), v);
    else
      w.next(xOf(i), v);
  }
  return finishTimeCurve(w, r, ch, trigX, x0, x1, autoScale, fixed);
}

// A time curve of one channel drawn from a sample series instead of a point per sample:
// the same ranges, trigger and zero lines as timeCurve.
int seriesCurve(Curves& k, int ch, std::shared_ptr<TSampleSeries> series, const WorldValue& trigX,
                const WorldValue& x0, const WorldValue& x1, const CurveStyle& st, bool autoScale,
                const ValueRange& fixed) {
  TGenD2DataSet* ds = nullptr;
  if (const int rc = k.begin(st, ds); rc != kPlotOk) return rc;
  series->color = kChannelColour[ch];
  Range r;
  if (double lo = 0, hi = 0; series->Bounds(lo, hi)) {
    r.add(lo);
    r.add(hi);
  }
  ds->series = std::move(series);
  PointWriter w(*ds, kChannelColour[ch]);
  w.reserve(2 + 2 * kGuideLinePoints);
  return finishTimeCurve(w, r, ch, trigX, x0, x1, autoScale, fixed);
}

// A copy of n values as a series of samples dt apart from x0, or null when one of them is no
// number or infinite. Checked, copied and summarised in one pass while the values are in the
// cache: each record passes through here.
std::shared_ptr<TSampleSeries> finiteSeries(const double* v, int n, const WorldValue& x0,
                                            double dt) {
  auto copy = std::make_shared<TBufferSampleReader>(std::size_t(n));
  TMinMaxPyramid summaries;
  summaries.Reserve(std::uint64_t(n));
  if (!summaries.AppendFinite(v, std::size_t(n), copy->Data())) return nullptr;
  return std::make_shared<TSampleSeries>(std::move(copy), std::move(summaries), x0, dt);
}

// An XY curve's style: both units "V", the X axis in the colour of the channel on X, the Y
// axis and the curve in that of the channel on Y.
CurveStyle xyStyle(int chX, int chY) {
  CurveStyle st;
  st.xUnit = QStringLiteral("V");
  st.yUnit = QStringLiteral("V");
  st.xColour = kChannelColour[chX];
  st.yColour = st.yAxisColour = kChannelColour[chY];
  return st;
}

// What every XY curve ends with: its ranges (fixed per axis, else the data's), two invisible
// corners that fix its extent, and the zero lines.
void finishXYCurve(PointWriter& w, Range rx, Range ry, bool fixX, const ValueRange& rangeX,
                   bool fixY, const ValueRange& rangeY, ColorRef zeroColourX,
                   ColorRef zeroColourY) {
  if (fixX) {
    rx.lo = rangeX.lo;
    rx.hi = rangeX.hi;
  }
  if (fixY) {
    ry.lo = rangeY.lo;
    ry.hi = rangeY.hi;
  }
  if (rx.valid() && ry.valid()) {
    w.invisible(WorldValue::num(rx.lo), ry.lo);
    w.invisible(WorldValue::num(rx.hi), ry.hi);
    if (rx.containsZero())
      w.guide(WorldValue::num(0.0), ry.lo, WorldValue::num(0.0), ry.hi, zeroColourX);
    if (ry.containsZero())
      w.guide(WorldValue::num(rx.lo), 0.0, WorldValue::num(rx.hi), 0.0, zeroColourY);
  }
}

// An XY curve: x(i), y(i) for i < n, each point linked to the one before unless starts(i);
// chX / chY are the channels on the axes.
template <class XV, class YV, class Starts>
int xyCurve(Curves& k, int n, XV xv, YV yv, Starts starts, int chX, int chY, bool fixX,
            const ValueRange& rangeX, bool fixY, const ValueRange& rangeY, ColorRef zeroColourX,
            ColorRef zeroColourY) {
  TGenD2DataSet* ds = nullptr;
  if (const int rc = k.begin(xyStyle(chX, chY), ds); rc != kPlotOk) return rc;
  PointWriter w(*ds, kChannelColour[chY]);
  w.reserve(n + 2 + 2 * kGuideLinePoints);
  Range rx, ry;
  for (int i = 0; i < n; ++i) {
    const double x = xv(i), y = yv(i);
    rx.add(x);
    ry.add(y);
    if (i == 0 || starts(i))
      w.start(WorldValue::num(x), y);
    else
      w.next(WorldValue::num(x), y);
  }
  finishXYCurve(w, rx, ry, fixX, rangeX, fixY, rangeY, zeroColourX, zeroColourY);
  return kPlotOk;
}

// The same curve drawn straight from a series of its points (a stream with more distinct lines
// than points may be spent on), its ranges from the series' bounds.
int xySeriesCurve(Curves& k, std::shared_ptr<TXYSeries> series, int chX, int chY, bool fixX,
                  const ValueRange& rangeX, bool fixY, const ValueRange& rangeY,
                  ColorRef zeroColourX, ColorRef zeroColourY) {
  TGenD2DataSet* ds = nullptr;
  if (const int rc = k.begin(xyStyle(chX, chY), ds); rc != kPlotOk) return rc;
  PointWriter w(*ds, kChannelColour[chY]);
  w.reserve(2 + 2 * kGuideLinePoints);
  Range rx, ry;
  rx.add(series->xlo);
  rx.add(series->xhi);
  ry.add(series->ylo);
  ry.add(series->yhi);
  series->color = kChannelColour[chY];
  ds->xySeries = std::move(series);
  finishXYCurve(w, rx, ry, fixX, rangeX, fixY, rangeY, zeroColourX, zeroColourY);
  return kPlotOk;
}

// A set of 64-bit keys with open addressing, sized once for at most `most` keys.
class KeySet {
 public:
  explicit KeySet(std::size_t most) {
    std::size_t cap = 16;
    while (cap < 2 * most) cap *= 2;
    slots_.assign(cap, kEmpty);
  }
  // True when key was not in the set yet.
  bool insert(std::uint64_t key) {
    if (key == kEmpty) return !std::exchange(emptySeen_, true);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = std::size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;;
         i = (i + 1) & mask) {
      if (slots_[i] == key) return false;
      if (slots_[i] == kEmpty) {
        slots_[i] = key;
        return true;
      }
    }
  }

 private:
  static constexpr std::uint64_t kEmpty = ~std::uint64_t(0);
  std::vector<std::uint64_t> slots_;
  bool emptySeen_ = false;
};

// The most an XY curve of a stream may cost: each drawn point, its kept line (a word pair and
// a start flag) and up to four slots of the set that found it.
static_assert(kLoggerXYMaxPoints * (sizeof(PlotPoint) + sizeof(std::uint32_t) + 1 + 4 * 8) <=
                  std::uint64_t(512) << 20,
              "the XY limit outgrows its memory budget");

// The points of an XY curve of a stream: word pairs (channel 0 in the low half), each linked to
// the one before unless it starts a run.
struct XYLines {
  std::vector<std::uint32_t> ends;
  std::vector<std::uint8_t> starts;
};

// The lines between neighbouring samples of a stream, each distinct line once, in the order
// and direction they are first met. A line drawn again adds no pixel and no other read-out, and
// every sample is an end of a kept line, so the picture and the ranges are those of a point per
// sample while the points stay bounded. kPlotXYTooManyLines when
// more than `most` points are needed; a read error ends the curve where it occurs.
int distinctXYLines(const TLoggerChannelReader& r, XYLines& out, std::uint64_t most) {
  const std::uint64_t n = r.Count();
  out = {};
  if (n == 0) return kPlotOk;
  KeySet seen(std::size_t(std::min<std::uint64_t>(n, most)));
  std::vector<std::uint32_t> piece(std::size_t(std::min<std::uint64_t>(n, 65536)));
  std::uint32_t prev = 0;
  std::uint64_t lastKept = 0;  // the index of the last point added
  for (std::uint64_t i = 0; i < n;) {
    const std::size_t m = std::size_t(std::min<std::uint64_t>(n - i, piece.size()));
    if (!r.ReadPairs(i, m, piece.data())) break;
    for (std::size_t k = 0; k < m; ++k, ++i) {
      const std::uint32_t cur = piece[k];
      if (i == 0) {
        out.ends.push_back(cur);
        out.starts.push_back(1);
      } else if (seen.insert(std::uint64_t(prev) << 32 | cur)) {
        if (lastKept != i - 1) {
          out.ends.push_back(prev);
          out.starts.push_back(1);
        }
        out.ends.push_back(cur);
        out.starts.push_back(0);
        lastKept = i;
        if (out.ends.size() > most) {
          out = {};
          return kPlotXYTooManyLines;
        }
      }
      prev = cur;
    }
  }
  return kPlotOk;
}

// A logger channel's time curve: seconds or clock time on X, its colour, its Y axis.
CurveStyle loggerTimeStyle(int ch, bool clock, const PlotChoice& pc) {
  CurveStyle st;
  st.xKind = clock ? kWorldTime : kWorldNumber;
  st.xUnit = QStringLiteral("s");
  st.yUnit = channelYUnit(ch, pc.synchYAxes);
  st.xColour = kColorBlack;
  st.yColour = kChannelColour[ch];
  st.yAxisColour = yAxisColourOf(ch, pc.synchYAxes && pc.plotMode == kPlotK0K1);
  return st;
}

bool showsChannel(int plotMode, int ch) {
  return plotMode == kPlotK0K1 || plotMode == (ch == 0 ? kPlotK0 : kPlotK1);
}

bool isXY(int plotMode) {
  return plotMode == kPlotK1vsK0 || plotMode == kPlotK0vsK1;
}

// Curves of a plot mode with samples to draw.
int curveCount(int plotMode, int n) {
  if (n <= 0) return 0;
  if (isXY(plotMode)) return 1;
  return int(showsChannel(plotMode, 0)) + int(showsChannel(plotMode, 1));
}

}  // namespace

ValueRange fixedRange(const SettingsRecord& rs, int ch) {
  const double f = channelFactor(rs, ch);
  const double offs = ch == 0 ? rs.offsC0 : rs.offsC1;
  const double a = f * (offs - ampl(rs, ch) / 2.0);
  const double b = f * (offs + ampl(rs, ch) / 2.0);
  return {std::min(a, b), std::max(a, b)};
}

QString channelYUnit(int ch, bool synchYAxes) {
  return ch == 0 || synchYAxes ? QStringLiteral("V") : QStringLiteral("V ");
}

int feedScopeImage(TGenD2ImgKernel& k, const double* ch0, const double* ch1, int n,
                   const SettingsRecord& rs, const PlotChoice& pc) {
  if (n < 0 || !ch0 || !ch1) n = 0;
  // Without samples the time curves still show their ranges, trigger and zero lines.
  Curves c(k, isXY(pc.plotMode) ? curveCount(pc.plotMode, n) : curveCount(pc.plotMode, 1));
  const double* data[2] = {ch0, ch1};
  const double total = rs.memoryDepth * rs.sampleTime;
  const double tp = rs.triggerPoint * 0.01 * total;
  const double dt = rs.sampleTime;
  if (pc.plotMode == kPlotK1vsK0 || pc.plotMode == kPlotK0vsK1) {
    if (n == 0) return c.finish();
    const int cx = pc.plotMode == kPlotK1vsK0 ? 0 : 1;
    const int cy = 1 - cx;
    const int rc = xyCurve(
        c, n, [&](int i) { return data[cx][i]; }, [&](int i) { return data[cy][i]; },
        [](int) { return false; }, cx, cy, !pc.autoScale[cx], fixedRange(rs, cx),
        !pc.autoScale[cy], fixedRange(rs, cy),
        kColorBlack, kColorBlack);
    return rc != kPlotOk ? rc : c.finish();
  }
  for (int ch = 0; ch < 2; ++ch) {
    if (!showsChannel(pc.plotMode, ch)) continue;
    CurveStyle st;
    st.xUnit = QStringLiteral("s");
    st.yUnit = channelYUnit(ch, pc.synchYAxes);
    st.xColour = kColorBlack;
    st.yColour = kChannelColour[ch];
    st.yAxisColour = yAxisColourOf(ch, pc.synchYAxes && pc.plotMode == kPlotK0K1);
    const double* v = data[ch];
    // The axis ends with the record: one cut at the scope's memory does not reach the depth.
    const double depth = double(scopeRecordDepth(rs.memoryDepth, n));
    const double span = n > 0 && depth < std::nearbyint(rs.memoryDepth) ? depth * dt : total;
    const WorldValue x0 = WorldValue::num(-tp), x1 = WorldValue::num(span - tp);
    // The samples go to the plot as a series (a copy of the values and their min/max
    // summaries, not a point of 80 bytes each), drawn per pixel column: sample i stands at
    // -Tp + i x dt, the same X as i x dt - Tp. A record whose sample time is no forward step
    // or with values that are no numbers (a damaged file) keeps a point per sample, which
    // needs no order and leaves such values out.
    auto series = n > 0 && dt > 0.0 && std::isfinite(dt) ? finiteSeries(v, n, x0, dt) : nullptr;
    const int rc =
        series
            ? seriesCurve(c, ch, std::move(series), WorldValue::num(0.0), x0, x1, st,
                          pc.autoScale[ch], fixedRange(rs, ch))
            : timeCurve(
                  c, ch, n, [v](int i) { return v[i]; },
                  [dt, tp](int i) { return WorldValue::num(double(i) * dt - tp); },
                  WorldValue::num(0.0), x0, x1, st, pc.autoScale[ch], fixedRange(rs, ch));
    if (rc != kPlotOk) return rc;
  }
  return c.finish();
}

int feedAnalogLoggerImage(TGenD2ImgKernel& k, const AnalogLoggerStream& stream,
                          const DayTime& start, const PlotChoice& pc) {
  const SettingsRecord& header = stream.header;
  const double dt = header.sampleTime;
  const double w = double(stream.wordCount);
  // Point k is stream sample k, the first one included: it is a measured sample like every
  // other, and the CSV of the same stream has it as its first row.
  const std::size_t count = std::min(stream.raw0.size(), stream.raw1.size());
  const int n = int(std::min<std::size_t>(count, 1u << 30));
  Curves c(k, curveCount(pc.plotMode, n));
  if (n == 0) return c.finish();
  const ConversionInputs conv = stream.headerConversion();
  const auto volts = [&](int ch, int i) {
    const auto& raw = ch == 0 ? stream.raw0 : stream.raw1;
    return conv.rawToVolts(ch, raw[std::size_t(i)]);
  };
  const bool clock = dt * w > kLoggerClockTimeSeconds;
  const auto xOf = [&](int i) {
    return clock ? WorldValue::at(dtAddSeconds(start, double(i) * dt))
                 : WorldValue::num(double(i) * dt);
  };
  if (pc.plotMode == kPlotK1vsK0 || pc.plotMode == kPlotK0vsK1) {
    const int cx = pc.plotMode == kPlotK1vsK0 ? 0 : 1;
    const int cy = 1 - cx;
    const int rc = xyCurve(
        c, n, [&](int i) { return volts(cx, i); }, [&](int i) { return volts(cy, i); },
        [](int) { return false; }, cx, cy, !pc.autoScale[cx], fixedRange(header, cx),
        !pc.autoScale[cy],
        fixedRange(header, cy), kChannelColour[cx], kChannelColour[cy]);
    return rc != kPlotOk ? rc : c.finish();
  }
  for (int ch = 0; ch < 2; ++ch) {
    if (!showsChannel(pc.plotMode, ch)) continue;
    const CurveStyle st = loggerTimeStyle(ch, clock, pc);
    const int rc = timeCurve(
        c, ch, n, [&](int i) { return volts(ch, i); }, xOf, xOf(0), xOf(0), xOf(n - 1), st,
        pc.autoScale[ch], fixedRange(header, ch));
    if (rc != kPlotOk) return rc;
  }
  return c.finish();
}

int feedAnalogLoggerImage(TGenD2ImgKernel& k, const AnalogLoggerSeries& stream,
                          const DayTime& start, const PlotChoice& pc, std::uint64_t xyMaxPoints) {
  const SettingsRecord& header = stream.header;
  const double dt = header.sampleTime;
  const double w = double(stream.wordCount);
  const std::uint64_t n = stream.drawnCount();
  Curves c(k, curveCount(pc.plotMode, n > 0 ? 1 : 0));
  if (n == 0 || pc.plotMode == kPlotNone) return c.finish();
  const bool clock = dt * w > kLoggerClockTimeSeconds;
  const WorldValue x0 = clock ? WorldValue::at(start) : WorldValue::num(0.0);
  if (pc.plotMode == kPlotK1vsK0 || pc.plotMode == kPlotK0vsK1) {
    // An XY curve has no column order to summarise: its distinct lines become points, or,
    // when there are more than points may be spent on, it is drawn from the stream itself.
    const int cx = pc.plotMode == kPlotK1vsK0 ? 0 : 1;
    const int cy = 1 - cx;
    XYLines lines;
    const bool tooMany = stream.xyLinesMoreThan && xyMaxPoints <= *stream.xyLinesMoreThan;
    const int lrc =
        tooMany ? kPlotXYTooManyLines : distinctXYLines(*stream.reader[0], lines, xyMaxPoints);
    if (lrc == kPlotXYTooManyLines) {
      if (!tooMany) stream.xyLinesMoreThan = xyMaxPoints;
      auto series = stream.xySeries(cx);
      if (!series) {
        // An empty curve in the place of the last file's.
        TGenD2DataSet* ds = nullptr;
        if (const int rc = c.begin(xyStyle(cx, cy), ds); rc != kPlotOk) return rc;
        return c.finish();
      }
      const int rc = xySeriesCurve(c, std::move(series), cx, cy, !pc.autoScale[cx],
                                   fixedRange(header, cx), !pc.autoScale[cy],
                                   fixedRange(header, cy), kChannelColour[cx], kChannelColour[cy]);
      return rc != kPlotOk ? rc : c.finish();
    }
    if (lrc != kPlotOk) return lrc;
    const std::vector<double>* volts[2] = {&stream.reader[0]->Volts(), &stream.reader[1]->Volts()};
    const auto word = [&](int ch, int i) {
      return std::size_t(lines.ends[std::size_t(i)] >> (16 * ch) & 0xFFFF);
    };
    const int rc = xyCurve(
        c, int(lines.ends.size()), [&](int i) { return (*volts[cx])[word(cx, i)]; },
        [&](int i) { return (*volts[cy])[word(cy, i)]; },
        [&](int i) { return bool(lines.starts[std::size_t(i)]); }, cx, cy, !pc.autoScale[cx],
        fixedRange(header, cx), !pc.autoScale[cy], fixedRange(header, cy), kChannelColour[cx],
        kChannelColour[cy]);
    return rc != kPlotOk ? rc : c.finish();
  }
  for (int ch = 0; ch < 2; ++ch) {
    if (!showsChannel(pc.plotMode, ch)) continue;
    const CurveStyle st = loggerTimeStyle(ch, clock, pc);
    auto series = stream.series(ch, x0, dt);
    const WorldValue last = series->XOf(n - 1);
    const int rc = seriesCurve(c, ch, std::move(series), x0, x0, last, st, pc.autoScale[ch],
                               fixedRange(header, ch));
    if (rc != kPlotOk) return rc;
  }
  return c.finish();
}

ChartScale chartScaleFor(ModeCode mode, const ConversionInputs& conv) {
  ChartScale s;
  for (std::size_t ch = 0; ch < 2; ++ch) {
    s.ampl[ch] = conv.ampl[ch];
    s.probe[ch] = conv.probe[ch];
  }
  s.rms = mode == kModeVMA0 || mode == kModeVMA1;
  return s;
}

ChartScale chartScaleFor(const SettingsRecord& stored) {
  ConversionInputs c;
  c.ampl = {stored.amplC0, stored.amplC1};
  c.probe = {probeFactorInForce(stored.probeFactorC0), probeFactorInForce(stored.probeFactorC1)};
  return chartScaleFor(stored.mode, c);
}

int feedChartImage(TGenD2ImgKernel& k, std::span<const VoltmeterReading> readings,
                   const ChartScale& scale, const PlotChoice& pc) {
  const int n = int(readings.size());
  Curves c(k, curveCount(pc.plotMode, n));
  if (n == 0 || pc.plotMode == kPlotNone) return c.finish();
  const bool clock = n >= kChartClockTimeReadings;
  const DayTime t0 = readings[0].time;
  const auto xOf = [&](int i) {
    return clock ? WorldValue::at(readings[std::size_t(i)].time)
                 : WorldValue::num(dtDiffSeconds(readings[std::size_t(i)].time, t0));
  };
  const auto value = [&](int ch, int i) {
    return ch == 0 ? readings[std::size_t(i)].value0 : readings[std::size_t(i)].value1;
  };
  const double lo[2] = {scale.rms ? 0.0 : -scale.ampl[0] * scale.probe[0],
                        scale.rms ? 0.0 : -scale.ampl[1] * scale.probe[1]};
  const double hi[2] = {scale.ampl[0] * scale.probe[0], scale.ampl[1] * scale.probe[1]};
  if (pc.plotMode == kPlotK1vsK0 || pc.plotMode == kPlotK0vsK1) {
    const int cx = pc.plotMode == kPlotK1vsK0 ? 0 : 1;
    const int cy = 1 - cx;
    CurveStyle st;
    st.xUnit = QStringLiteral("V");
    st.yUnit = QStringLiteral("V");
    st.xColour = kChannelColour[cx];
    st.yColour = st.yAxisColour = kChannelColour[cy];
    TGenD2DataSet* ds = nullptr;
    if (const int rc = c.begin(st, ds); rc != kPlotOk) return rc;
    PointWriter w(*ds, kChannelColour[cy]);
    for (int i = 0; i < n; ++i) {
      if (i == 0)
        w.start(WorldValue::num(value(cx, i)), value(cy, i));
      else
        w.next(WorldValue::num(value(cx, i)), value(cy, i));
    }
    const double x0 = pc.autoScale[cx] ? value(cx, 0) : lo[cx];
    const double x1 = pc.autoScale[cx] ? value(cx, 0) : hi[cx];
    if (!pc.autoScale[cx] || !pc.autoScale[cy]) {
      w.invisible(WorldValue::num(x0), pc.autoScale[cy] ? value(cy, 0) : lo[cy]);
      w.invisible(WorldValue::num(x1), pc.autoScale[cy] ? value(cy, 0) : hi[cy]);
    }
    return c.finish();
  }
  for (int ch = 0; ch < 2; ++ch) {
    if (!showsChannel(pc.plotMode, ch)) continue;
    CurveStyle st;
    st.xKind = clock ? kWorldTime : kWorldNumber;
    st.xUnit = QStringLiteral("s");
    st.yUnit = QStringLiteral("V");  // the chart always shares one Y axis
    st.xColour = kColorBlack;
    st.yColour = kChannelColour[ch];
    st.yAxisColour = yAxisColourOf(ch, pc.plotMode == kPlotK0K1);
    TGenD2DataSet* ds = nullptr;
    if (const int rc = c.begin(st, ds); rc != kPlotOk) return rc;
    PointWriter w(*ds, kChannelColour[ch]);
    for (int i = 0; i < n; ++i) {
      if (i == 0)
        w.start(xOf(i), value(ch, i));
      else
        w.next(xOf(i), value(ch, i));
    }
    if (!pc.autoScale[ch]) {
      w.invisible(xOf(0), lo[ch]);
      w.invisible(xOf(0), hi[ch]);
    }
  }
  return c.finish();
}

namespace {

// A sample index from record settings. A stored header may hold anything; far beyond any
// record it is held at a billion samples (the view then shows nothing, and -index stays an
// int) and a value that is no number counts as 0.
int viewIndex(double v) {
  if (!std::isfinite(v)) return 0;
  return int(std::clamp(std::nearbyint(v), -1e9, 1e9));
}

}  // namespace

TLogAnalView logicAnalyserView(std::int64_t n, const SettingsRecord& rs) {
  const int post = viewIndex(double(n) * (100.0 - rs.triggerPoint) * 0.01);
  const int pre = viewIndex(std::nearbyint(rs.memoryDepth) - double(post));
  TLogAnalView v;
  v.period = TLogAnalPlot::snapPeriod(rs.sampleTime);
  v.first = -pre;
  v.zeroIndex = pre;
  v.last = post;
  return v;
}

TLogAnalView logicAnalyserView(const TLogAnalList& list, const SettingsRecord& rs) {
  std::int64_t n = list.count();
  while (n > 0 && list.at(n - 1).sampleNumber == -1) --n;
  return logicAnalyserView(n, rs);
}

TLogAnalView ioLoggerView(std::int64_t n, double sampleTime) {
  TLogAnalView v;
  v.period = TLogAnalPlot::snapPeriod(sampleTime);
  v.first = 0;
  v.zeroIndex = 0;
  // Each sample holds until the next one: the run's n samples span n periods, the last one
  // drawn over its own period like every other.
  v.last = n;
  return v;
}

QString headlineText(const QString& serial, const DayTime& measurementTime) {
  const VersionInfo& vi = versionInfo();
  // Before anything was measured there is no time to name: day 0 lies before the calendar.
  const QString when =
      measurementTime.day > 0 ? dateTimeText(measurementTime) + QLatin1Char(' ') : QString();
  return serial + QStringLiteral("  ") + when + vi.productName + QStringLiteral(" V") +
         vi.fileVersion;
}

void drawHeadline(QImage& image, const QString& text) {
  if (image.isNull()) return;
  QPainter p(&image);
  const QFontMetrics fm(p.font());
  const int w = fm.horizontalAdvance(text);
  // Centred in the painter's (device-independent) pixels: on a fine screen the image has more
  // device pixels than that.
  const int width = int(image.deviceIndependentSize().width());
  const int x = (width - w) / 2;  // toward zero, as integer division does
  // The box is a little wider than the advance: glyph edges reach past it.
  p.fillRect(QRect(x - 2, 0, w + 4, fm.height()), Qt::white);
  p.setPen(Qt::black);
  p.drawText(x, fm.ascent(), text);
}

}  // namespace tolv
