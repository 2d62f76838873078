// Mouse handling of TGenD2ImgKernel: rubber-band zoom, unzoom and cursor measurements.
#include <QLabel>
#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <cstdlib>

#include "plot/genkernel.h"
#include "plot/plotraster.h"

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
      if (best < 0 || d < bestDist) {
        best = k;
        bestDist = d;
        bx = ppx;
        by = ppy;
      }
    }
    ds.cursorX = cx;
    ds.cursorY = cy;
    ds.cursorMode = std::uint8_t(mode);
    if (best < 0) {
      rc = kPlotNoCandidate;
      ds.cursorColor = kColorBlack;
      ds.foundX = cx;
      ds.foundY = cy;
      ds.cursorDrawn = false;  // a line from the cursor to itself draws nothing
      continue;
    }
    rc = kPlotOk;
    const PlotPoint& pt = pts[std::size_t(best)];
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
