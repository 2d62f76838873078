// Mouse handling of TGenD2ImgKernel: rubber-band zoom, unzoom and cursor measurements.
#include <QLabel>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "plot/genkernel.h"
#include "plot/plotraster.h"
#include "plot/sampleseries.h"

namespace tolv {

namespace {

// Cursor lines are drawn in copy mode and erased by drawing the same pixels again in
// not-exclusive-or mode; every pixel is visited exactly once per drawing.
struct CursorPixels {
  QImage& img;
  std::uint32_t rgb;
  bool notXor;
  int scale = 1;  // device pixels per coordinate unit: each point covers scale x scale pixels
  void putDevice(int x, int y) {
    if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return;
    auto* line = reinterpret_cast<std::uint32_t*>(img.scanLine(y));
    if (notXor)
      line[x] = 0xFF000000u | (~(rgb ^ line[x]) & 0x00FFFFFFu);
    else
      line[x] = rgb;
  }
  void put(int x, int y) {
    if (scale == 1) return putDevice(x, y);
    for (int dy = 0; dy < scale; ++dy)
      for (int dx = 0; dx < scale; ++dx) putDevice(x * scale + dx, y * scale + dy);
  }
  void span(int x, int y0, int y1) {
    for (int y = y0; y <= y1; ++y) put(x, y);
  }
  // From (x0, y) towards x1, the first pixel left out when skipFirst is set.
  void horizontal(int x0, int x1, int y, bool dotted, bool skipFirst) {
    const int step = x0 <= x1 ? 1 : -1;
    int k = 0;
    for (int x = x0;; x += step, ++k) {
      if (!(skipFirst && k == 0) && (!dotted || k % 2 == 0)) put(x, y);
      if (x == x1) break;
    }
  }
  void vertical(int x, int y0, int y1, bool dotted, bool skipFirst) {
    const int step = y0 <= y1 ? 1 : -1;
    int k = 0;
    for (int y = y0;; y += step, ++k) {
      if (!(skipFirst && k == 0) && (!dotted || k % 2 == 0)) put(x, y);
      if (y == y1) break;
    }
  }
};

// The nearest sample of a series to the pixel (cx, cy) by the measuring mode (1 by X, 2 by Y,
// 3 by distance), among the samples inside the axis ranges and the plot area: the one a point
// by point search finds (the earlier one on equal distances). The samples are read from the
// series around the pointer; the column envelopes only rule out columns that cannot win.
struct SeriesNearest {
  bool found = false;
  std::uint64_t index = 0;
  long long dist = 0;
  int px = 0, py = 0;
  double value = 0;
  double x = 0;  // of an XY series' point
};

SeriesNearest nearestSample(const TSampleSeries& s, const TGenD2DataSet& ds, const PlotRect& plot,
                            int cx, int cy, int mode) {
  SeriesNearest best;
  const AxisWorldData& ax = *ds.mergedX;
  const AxisWorldData& ay = *ds.mergedY;
  const AxisTransform& tx = ds.xTransform;
  const AxisTransform& ty = ds.yTransform;
  const std::uint64_t n = s.Count();
  if (n == 0 || ax.minimum.kind != s.X0().kind || ay.minimum.kind != kWorldNumber) return best;
  const std::uint64_t i0 = s.LowerIndex(ax.minimum, false), i1 = s.LowerIndex(ax.maximum, true);
  if (i0 >= i1) return best;
  const double ylo = ay.minimum.toNumber(), yhi = ay.maximum.toNumber();
  const auto col = [&](std::uint64_t i) { return tx.toPixelFast(s.XOf(i)); };
  // First index in [i0, i1) whose column is >= p.
  const auto firstAt = [&](int p) {
    std::uint64_t lo = i0, hi = i1;
    while (lo < hi) {
      const std::uint64_t mid = lo + (hi - lo) / 2;
      if (col(mid) < p)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo;
  };
  const auto distOf = [&](long long dx, long long dy) {
    return mode == 1 ? std::llabs(dx) : mode == 2 ? std::llabs(dy) : dx * dx + dy * dy;
  };
  const auto yPix = [&](double v) { return ty.toPixelFast(WorldValue::num(v)); };
  // Looks at the samples of column c, when its envelope leaves a chance to win.
  std::vector<double> buf;
  const auto visit = [&](int c) {
    if (c < plot.left || c > plot.right) return;
    const std::uint64_t a = firstAt(c), b = firstAt(c + 1);
    if (a >= b) return;
    double lo = 0, hi = 0;
    if (!s.MinMax(a, b, lo, hi) || hi < ylo || lo > yhi) return;
    int ya = yPix(std::max(lo, ylo)), yb = yPix(std::min(hi, yhi));
    if (ya > yb) std::swap(ya, yb);
    ya = std::max(ya, plot.top);
    yb = std::min(yb, plot.bottom);
    if (ya > yb) return;
    const long long gap = cy < ya ? ya - cy : cy > yb ? cy - yb : 0;
    const long long bound = distOf(c - cx, gap);
    if (best.found && (bound > best.dist || (bound == best.dist && a > best.index))) return;
    for (std::uint64_t i = a; i < b;) {
      const std::size_t m = std::size_t(std::min<std::uint64_t>(b - i, 4096));
      buf.resize(m);
      if (!s.Read(i, m, buf.data())) return;
      for (std::size_t k = 0; k < m; ++k) {
        const double v = buf[k];
        if (!(ylo <= v && v <= yhi)) continue;
        const int py = yPix(v);
        if (py < plot.top || py > plot.bottom) continue;
        const long long d = distOf(c - cx, py - cy);
        if (!best.found || d < best.dist || (d == best.dist && i + k < best.index)) {
          best = {true, i + k, d, c, py, v, 0.0};
        }
      }
      i += m;
    }
  };
  const int left = std::max(plot.left, col(i0)), right = std::min(plot.right, col(i1 - 1));
  if (mode == 2) {
    for (int c = left; c <= right; ++c) visit(c);
    return best;
  }
  // Outwards from the pointer's column until no farther column can come nearer.
  for (int d = 0;; ++d) {
    const long long reach = mode == 1 ? d : (long long)d * d;
    if (best.found && reach > best.dist) break;
    if (cx - d < left && cx + d > right) break;
    visit(cx - d);
    if (d > 0) visit(cx + d);
  }
  return best;
}

// The nearest point of an XY series to the pixel (cx, cy), as for a list's points: among those
// inside the ranges and the plot area, the earliest on equal distances. An XY curve has no order
// to search by, so its points are read through, a piece at a time.
SeriesNearest nearestXYPoint(const TXYSeries& s, const TGenD2DataSet& ds, const PlotRect& plot,
                             int cx, int cy, int mode) {
  SeriesNearest best;
  const AxisWorldData& ax = *ds.mergedX;
  const AxisWorldData& ay = *ds.mergedY;
  for (const WorldValue* v : {&ax.minimum, &ax.maximum, &ay.minimum, &ay.maximum})
    if (v->kind != kWorldNumber) return best;
  const double xlo = ax.minimum.number, xhi = ax.maximum.number;
  const double ylo = ay.minimum.number, yhi = ay.maximum.number;
  const std::uint64_t n = s.Count();
  std::vector<double> xs(std::size_t(std::min<std::uint64_t>(n, 65536))), ys(xs.size());
  for (std::uint64_t i = 0; i < n;) {
    const std::size_t m = std::size_t(std::min<std::uint64_t>(n - i, xs.size()));
    if (!s.reader->Read(i, m, xs.data(), ys.data())) break;
    for (std::size_t k = 0; k < m; ++k) {
      const double x = xs[k], y = ys[k];
      if (!(xlo <= x && x <= xhi && ylo <= y && y <= yhi)) continue;
      const int px = ds.xTransform.toPixelFast(WorldValue::num(x));
      const int py = ds.yTransform.toPixelFast(WorldValue::num(y));
      if (px < plot.left || px > plot.right || py < plot.top || py > plot.bottom) continue;
      const long long dx = px - cx, dy = py - cy;
      const long long d = mode == 1 ? std::llabs(dx) : mode == 2 ? std::llabs(dy) : dx * dx + dy * dy;
      if (!best.found || d < best.dist) best = {true, i + k, d, px, py, y, x};
    }
    i += m;
  }
  return best;
}

// The same from the grid the last finished drawing noted: only the pixels around the pointer
// are looked at, and the point found is read alone.
SeriesNearest nearestXYNoted(const TXYSeries& s, const TXYNearestGrid& grid, int cx, int cy,
                             int mode) {
  SeriesNearest best;
  std::uint64_t index = 0;
  int px = 0, py = 0;
  long long dist = 0;
  double x = 0, y = 0;
  if (!grid.Nearest(cx, cy, mode, index, px, py, dist) || !s.reader->Read(index, 1, &x, &y))
    return best;
  return {true, index, dist, px, py, y, x};
}

}  // namespace

int TGenD2ImgKernel::clampX(int x) const {
  return x < plot_.left ? plot_.left : x > plot_.right ? plot_.right : x;
}
int TGenD2ImgKernel::clampY(int y) const {
  return y < plot_.top ? plot_.top : y > plot_.bottom ? plot_.bottom : y;
}

void TGenD2ImgKernel::drawCursor(TGenD2DataSet& ds, bool erase) {
  if (bitmap_.isNull()) return;
  CursorPixels px{bitmap_, rgbOf(ds.cursorColor), erase, int(std::lround(dpr_))};
  const int cx = ds.cursorX, cy = ds.cursorY, fx = ds.foundX, fy = ds.foundY;
  switch (ds.cursorMode) {
    case 1:  // dotted vertical to the point's height, solid horizontal to the point
      px.vertical(cx, cy, fy, true, false);
      if (fx != cx) px.horizontal(cx, fx, fy, false, true);
      break;
    case 2:
      px.vertical(cx, cy, fy, false, false);
      if (fx != cx) px.horizontal(cx, fx, fy, true, true);
      break;
    default:
      lineSpans(px, cx, cy, fx, fy);
      break;
  }
}

void TGenD2ImgKernel::eraseCursors() {
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (!ds.cursorDrawn) continue;
    drawCursor(ds, true);
    ds.cursorDrawn = false;
  }
}

void TGenD2ImgKernel::drawFocusRect() {
  if (bitmap_.isNull()) return;
  const int l = std::min(zoom_.left, zoom_.right), r = std::max(zoom_.left, zoom_.right);
  const int t = std::min(zoom_.top, zoom_.bottom), b = std::max(zoom_.top, zoom_.bottom);
  // A dotted outline, every pixel once, so a second drawing restores the picture exactly.
  QPolygon dots;
  auto dot = [&](int x, int y) {
    if (((x + y) & 1) == 0) dots << QPoint(x, y);
  };
  for (int x = l; x <= r; ++x) {
    dot(x, t);
    if (b != t) dot(x, b);
  }
  for (int y = t + 1; y < b; ++y) {
    dot(l, y);
    if (r != l) dot(r, y);
  }
  QPainter p(&bitmap_);
  p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  p.setPen(QPen(Qt::black, 0));
  p.drawPoints(dots);
  focusDrawn_ = !focusDrawn_;
}

void TGenD2ImgKernel::ReadWorldAt(QLabel* image, int x, int y) {
  eraseCursors();
  measurement_.Clear();
  measurement_.kind = 1;
  measurement_.cursorX = clampX(x);
  measurement_.cursorY = clampY(y);
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    TMeasurementEntry e;
    e.cursorX = ds.xTransform.toWorld(measurement_.cursorX);
    e.cursorY = ds.yTransform.toWorld(measurement_.cursorY);
    if (ds.mergedX) e.xUnit = ds.mergedX->unit;
    if (ds.mergedY) e.yUnit = ds.mergedY->unit;
    measurement_.AddEntry(e);
  }
  show(image);
}

int TGenD2ImgKernel::MeasureNearest(QLabel* image, int x, int y, int mode) {
  eraseCursors();
  measurement_.Clear();
  measurement_.kind = 2;
  const int cx = measurement_.cursorX = clampX(x);
  const int cy = measurement_.cursorY = clampY(y);
  int rc = kPlotOk;
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (!ds.mergedX || !ds.mergedY) {
      rc = kPlotMissing;
      continue;
    }
    const AxisWorldData& ax = *ds.mergedX;
    const AxisWorldData& ay = *ds.mergedY;
    int best = -1;
    long long bestDist = 0;
    int bx = 0, by = 0;
    // The samples of a series count as the points before the list's own.
    SeriesNearest sn;
    if (ds.series) sn = nearestSample(*ds.series, ds, plot_, cx, cy, mode);
    if (ds.xySeries && !ds.series) {
      const TXYNotes* notes = ds.xyNotes.get();
      if (notes && notes->gridValid && notes->series.lock() == ds.xySeries &&
          notes->gridView == xyView(ds))
        sn = nearestXYNoted(*ds.xySeries, notes->grid, cx, cy, mode);
      else
        sn = nearestXYPoint(*ds.xySeries, ds, plot_, cx, cy, mode);
    }
    if (sn.found) {
      bestDist = sn.dist;
      bx = sn.px;
      by = sn.py;
    }
    const auto& pts = ds.points.Points();
    for (int k = 0; k < int(pts.size()); ++k) {
      const PlotPoint& pt = pts[std::size_t(k)];
      if (!(pt.flags & kPointMeasurable)) continue;
      if (!wvLessEqual(ax.minimum, pt.X) || !wvLessEqual(pt.X, ax.maximum)) continue;
      if (!wvLessEqual(ay.minimum, pt.Y) || !wvLessEqual(pt.Y, ay.maximum)) continue;
      const int ppx = ds.xTransform.toPixelFast(pt.X), ppy = ds.yTransform.toPixelFast(pt.Y);
      if (ppx < plot_.left || ppx > plot_.right || ppy < plot_.top || ppy > plot_.bottom) continue;
      const long long dx = ppx - cx, dy = ppy - cy;
      const long long d = mode == 1   ? std::llabs(dx)
                          : mode == 2 ? std::llabs(dy)
                                      : dx * dx + dy * dy;
      if ((best < 0 && !sn.found) || d < bestDist) {
        best = k;
        bestDist = d;
        bx = ppx;
        by = ppy;
      }
    }
    ds.cursorX = cx;
    ds.cursorY = cy;
    ds.cursorMode = std::uint8_t(mode);
    if (best < 0 && !sn.found) {
      rc = kPlotNoCandidate;
      ds.cursorColor = kColorBlack;
      ds.foundX = cx;
      ds.foundY = cy;
      ds.cursorDrawn = false;  // a line from the cursor to itself draws nothing
      continue;
    }
    rc = kPlotOk;
    PlotPoint pt;
    if (best >= 0) {
      pt = pts[std::size_t(best)];
    } else {
      pt = ds.points.GetTemplate();
      pt.X = ds.series ? ds.series->XOf(sn.index) : WorldValue::num(sn.x);
      pt.Y = WorldValue::num(sn.value);
      pt.color = ds.series ? ds.series->color : ds.xySeries->color;
      pt.linkA = pt.linkB = -1;
    }
    ds.cursorColor = pt.color;
    ds.foundX = bx;
    ds.foundY = by;
    drawCursor(ds, false);
    ds.cursorDrawn = true;
    TMeasurementEntry e;
    e.cursorX = ds.xTransform.toWorld(cx);
    e.cursorY = ds.yTransform.toWorld(cy);
    e.xUnit = ax.unit;
    e.yUnit = ay.unit;
    e.foundPoint = pt;
    e.mode = std::uint8_t(mode);
    e.found = 1;
    measurement_.AddEntry(e);
  }
  show(image);
  return rc;
}

void TGenD2ImgKernel::BeginZoom(QLabel* image, int x, int y) {
  zoomFlag_ = 0;
  measurement_.resultFlag = 0;
  measurement_.filledFlag = 0;
  eraseCursors();
  ReadWorldAt(nullptr, x, y);
  if (focusDrawn_) drawFocusRect();
  zoom_ = PlotRect{x, y, x, y};
  zoomFlag_ = 1;
  measurement_.filledFlag = 1;
  show(image);
}

void TGenD2ImgKernel::DragZoom(QLabel* image, int x, int y) {
  ReadWorldAt(nullptr, x, y);
  if (focusDrawn_) drawFocusRect();
  if (zoom_.left < x)
    zoom_.right = x;
  else
    zoom_.left = x;
  if (zoom_.top < y)
    zoom_.bottom = y;
  else
    zoom_.top = y;
  drawFocusRect();
  show(image);
}

int TGenD2ImgKernel::FinishZoom(QLabel* image, int x, int y) {
  if (focusDrawn_) drawFocusRect();
  zoom_.right = x;
  zoom_.bottom = y;
  drawFocusRect();
  show(image);

  int rc = kPlotOk;
  PlotRect r = zoom_;
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  const PlotRect before = r;
  r.left = clampX(r.left);
  r.right = clampX(r.right);
  r.top = clampY(r.top);
  r.bottom = clampY(r.bottom);
  if (!(r == before)) rc = kPlotZoomClamped;
  if (r.left == r.right || r.top == r.bottom) return kPlotZoomEmpty;

  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    const WorldValue xl = ds.xTransform.toWorld(r.left), xr = ds.xTransform.toWorld(r.right);
    const WorldValue yb = ds.yTransform.toWorld(r.bottom), yt = ds.yTransform.toWorld(r.top);
    ds.xAxis.minimum = wvMin(xl, xr);
    ds.xAxis.maximum = wvMax(xl, xr);
    ds.yAxis.minimum = wvMin(yb, yt);
    ds.yAxis.maximum = wvMax(yb, yt);
  }
  for (int i = 0; i < dataSets_.Count(); ++i) {
    TGenD2DataSet& ds = *dataSets_.At(i);
    if (ds.mergedX) {
      ds.mergedX->minimum = ds.xAxis.minimum;
      ds.mergedX->maximum = ds.xAxis.maximum;
    }
    if (ds.mergedY) {
      ds.mergedY->minimum = ds.yAxis.minimum;
      ds.mergedY->maximum = ds.yAxis.maximum;
    }
  }
  Redraw(image);
  zoomFlag_ = 0;
  return rc;
}

void TGenD2ImgKernel::measure(QLabel* image, int x, int y, int shift, bool redrawFirst) {
  if (redrawFirst && !measurement_.resultFlag) Redraw(image);
  if (measurement_.resultFlag) return;
  const bool alt = shift & kShiftAlt, sh = shift & kShiftShift;
  if (alt) MeasureNearest(image, x, y, 1);
  if (sh) MeasureNearest(image, x, y, 2);
  if (!alt && !sh) MeasureNearest(image, x, y, 3);
}

int TGenD2ImgKernel::HandleMouse(QLabel* image, int button, const TMeasurementData*& result, int y,
                                 int x, int shift, bool mouseUp) {
  result = nullptr;
  if (mouseUp) {
    if (!zoomFlag_) {
      measure(image, x, y, shift, true);
      measurement_.resultFlag = 1;
    } else if (button == kMouseLeft) {
      FinishZoom(image, x, y);
    }
  } else {
    int pressed = shift & (kShiftLeft | kShiftRight);
    if (button == kMouseLeft) pressed |= kShiftLeft;
    if (button == kMouseRight) pressed |= kShiftRight;
    if (pressed == (kShiftLeft | kShiftRight)) {
      RedrawAutoRange(image);
    } else if (pressed & kShiftLeft) {
      if (zoomFlag_)
        DragZoom(image, x, y);
      else
        BeginZoom(image, x, y);
    } else if (pressed & kShiftRight) {
      measurement_.resultFlag = 0;
      measure(image, x, y, shift, false);
    }
  }
  if (measurement_.resultFlag) result = &measurement_;
  return kPlotOk;
}

}  // namespace tolv
