// Navigation of TGenD2ImgKernel: wheel zoom around the pointer, panning, and the two cursors
// with their differences.
#include <QLabel>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "plot/genkernel.h"
#include "plot/plotraster.h"
#include "plot/sampleseries.h"

namespace tolv {

namespace {

struct NewRange {
  AxisWorldData* axis;
  WorldValue minimum, maximum;
};

// The smallest span an axis may take: below it the labels and the pixel arithmetic can no
// longer tell the values apart. Times count their seconds within the day.
bool spanUsable(const AxisWorldData& ax, double span) {
  if (!std::isfinite(span) || span <= 0.0 || span > 1e300) return false;
  const double mag = ax.minimum.kind == kWorldTime
                         ? 86400.0
                         : std::max(std::fabs(ax.minimum.toNumber()), std::fabs(ax.maximum.toNumber()));
  return span > mag * 1e-12 && span > 1e-300;
}

// The range of axis ax (drawn with transform t) zoomed by f around pixel p: the value at p
// keeps its distance in pixels from the first pixel.
bool zoomedRange(AxisWorldData& ax, const AxisTransform& t, int p, double f, NewRange& out) {
  if (t.scale == 0 || t.lastPixel == t.firstPixel) return false;
  const long double d = (long double)(p - t.firstPixel) / t.scale;
  const long double span = (long double)(t.lastPixel - t.firstPixel) / t.scale;
  const long double newSpan = span * f;
  if (!spanUsable(ax, double(newSpan))) return false;
  out.axis = &ax;
  out.minimum = wvAddUnits(t.minimum, double(d - d * f));
  out.maximum = wvAddUnits(t.minimum, double(d - d * f + newSpan));
  return true;
}

bool alreadyListed(const std::vector<NewRange>& list, const AxisWorldData* ax) {
  for (const NewRange& r : list)
    if (r.axis == ax) return true;
  return false;
}

// The point whose X lies nearest to x (the earlier on equal distances; the samples of a
// series come before the list's points).
struct NearestX {
  bool found = false;
  WorldValue X, Y;
};

NearestX nearestByX(const TGenD2DataSet& ds, const WorldValue& x, bool withinRange) {
  NearestX r;
  double bestDist = 0.0;
  const AxisWorldData* ax = ds.mergedX;
  if (ds.series && ds.series->Count() > 0 && ds.series->X0().kind == x.kind) {
    const TSampleSeries& s = *ds.series;
    std::uint64_t lo = 0, hi = s.Count();
    if (withinRange && ax) {
      lo = s.LowerIndex(ax->minimum, false);
      hi = s.LowerIndex(ax->maximum, true);
    }
    if (lo < hi) {
      std::uint64_t k = s.NearestIndex(x);
      k = std::clamp(k, lo, hi - 1);
      double v = 0;
      if (s.Value(k, v)) {
        r = {true, s.XOf(k), WorldValue::num(v)};
        bestDist = std::fabs(wvSub(r.X, x).toNumber());
      }
    }
  }
  const auto& pts = ds.points.Points();
  for (int k = 0; k < int(pts.size()); ++k) {
    const WorldValue& px = pts[std::size_t(k)].X;
    if (px.kind != x.kind) continue;
    if (withinRange && ax && (!wvLessEqual(ax->minimum, px) || !wvLessEqual(px, ax->maximum)))
      continue;
    const double d = std::fabs(wvSub(px, x).toNumber());
    if (!r.found || d < bestDist) {
      r = {true, px, pts[std::size_t(k)].Y};
      bestDist = d;
    }
  }
  return r;
}

}  // namespace

int TGenD2ImgKernel::WheelZoom(QLabel* image, int x, int y, double steps, bool vertical) {
  if (dataSets_.Count() == 0) return kPlotEmpty;
  const double f = std::pow(kWheelZoomFactor, steps);
  std::vector<NewRange> ranges;
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    AxisWorldData* ax = vertical ? ds.mergedY : ds.mergedX;
    if (!ax || alreadyListed(ranges, ax)) continue;
    NewRange r{};
    if (!zoomedRange(*ax, vertical ? ds.yTransform : ds.xTransform, vertical ? y : x, f, r))
      return kPlotDivZero;
    ranges.push_back(r);
  }
  for (const NewRange& r : ranges) {
    r.axis->minimum = r.minimum;
    r.axis->maximum = r.maximum;
  }
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (ds.mergedX) {
      ds.xAxis.minimum = ds.mergedX->minimum;
      ds.xAxis.maximum = ds.mergedX->maximum;
    }
    if (ds.mergedY) {
      ds.yAxis.minimum = ds.mergedY->minimum;
      ds.yAxis.maximum = ds.mergedY->maximum;
    }
  }
  return Redraw(image);
}

int TGenD2ImgKernel::Pan(QLabel* image, double steps) {
  if (dataSets_.Count() == 0) return kPlotEmpty;
  std::vector<AxisWorldData*> done;
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    AxisWorldData* ax = ds.mergedX;
    if (!ax || std::find(done.begin(), done.end(), ax) != done.end()) continue;
    done.push_back(ax);
    const double span = wvSub(ax->maximum, ax->minimum).toNumber();
    const double shift = (span == 0.0 ? 1.0 : span) * kPanShare * steps;
    ax->minimum = wvAddUnits(ax->minimum, shift);
    ax->maximum = wvAddUnits(ax->maximum, shift);
  }
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (ds.mergedX) {
      ds.xAxis.minimum = ds.mergedX->minimum;
      ds.xAxis.maximum = ds.mergedX->maximum;
    }
  }
  return Redraw(image);
}

int TGenD2ImgKernel::SetCursor(QLabel* image, int which, int x) {
  const TGenD2DataSet* first = nullptr;
  for (int i = 0; i < dataSets_.Count() && !first; ++i)
    if (dataSets_.At(i)->PointCount() > 0 && dataSets_.At(i)->mergedX) first = dataSets_.At(i);
  if (!first) return kPlotEmpty;
  const WorldValue at = first->xTransform.toWorld(clampX(x));
  // Snapped to a sample, so the distances read are those of the record, not of the pixels.
  const NearestX k = nearestByX(*first, at, true);
  const std::size_t w = std::size_t(which & 1);
  cursorX_[w] = k.found ? k.X : at;
  cursorSet_[w] = true;
  nextCursor_ = int(w ^ 1u);
  return Redraw(image);
}

int TGenD2ImgKernel::PlaceNextCursor(QLabel* image, int x) {
  return SetCursor(image, nextCursor_, x);
}

void TGenD2ImgKernel::ClearCursors(QLabel* image) {
  const bool had = cursorSet_[0] || cursorSet_[1];
  cursorSet_ = {};
  nextCursor_ = 0;
  if (had && dataSets_.Count() > 0) Redraw(image);
}

TCursorReadOut TGenD2ImgKernel::CursorReadOut() const {
  TCursorReadOut r;
  r.hasA = cursorSet_[0];
  r.hasB = cursorSet_[1];
  r.xA = cursorX_[0];
  r.xB = cursorX_[1];
  for (int i = 0; i < dataSets_.Count(); ++i) {
    const TGenD2DataSet& ds = *dataSets_.At(i);
    if (r.xUnit.isEmpty() && ds.mergedX) r.xUnit = ds.mergedX->unit;
  }
  r.timeAxis = r.xA.kind == kWorldTime || r.xUnit == QStringLiteral("s");
  if (r.complete()) r.dt = wvSub(r.xB, r.xA).toNumber();
  for (int i = 0; i < dataSets_.Count(); ++i) {
    const TGenD2DataSet& ds = *dataSets_.At(i);
    TCursorChannel c;
    c.name = ds.name;
    if (ds.mergedY) c.yUnit = ds.mergedY->unit;
    if (r.complete()) {
      const NearestX a = nearestByX(ds, r.xA, false), b = nearestByX(ds, r.xB, false);
      if (a.found && b.found) {
        c.yA = a.Y;
        c.yB = b.Y;
        c.dy = wvSub(c.yB, c.yA).toNumber();
        c.valid = true;
      }
    }
    r.channels.push_back(c);
  }
  return r;
}

void TGenD2ImgKernel::drawCursorPair(QPainter& p) {
  const TGenD2DataSet* first = nullptr;
  for (int i = 0; i < dataSets_.Count() && !first; ++i)
    if (dataSets_.At(i)->mergedX) first = dataSets_.At(i);
  if (!first) return;
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setFont(font_);
  const QFontMetrics fm(font_);
  for (int w = 0; w < 2; ++w) {
    if (!cursorSet_[std::size_t(w)]) continue;
    const WorldValue& v = cursorX_[std::size_t(w)];
    if (v.kind != first->xTransform.minimum.kind) continue;
    const double real = first->xTransform.toPixelReal(v);
    if (!(real > plot_.left - 0.5 && real < plot_.right + 0.5)) continue;
    const int x = AxisTransform::roundHalfEven(real);
    const QColor c = QColor::fromRgb(rgbOf(w == 0 ? kCursorAColor : kCursorBColor));
    p.setPen(QPen(c, 0, Qt::DashLine));
    p.drawLine(x, plot_.top, x, plot_.bottom);
    p.setPen(c);
    const QString name = w == 0 ? QStringLiteral("A") : QStringLiteral("B");
    p.drawText(x + 2, plot_.top + fm.ascent(), name);
  }
}

}  // namespace tolv
