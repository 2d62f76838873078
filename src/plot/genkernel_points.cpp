// Point drawing of TGenD2ImgKernel: markers and link lines of one data set.
#include <QCoreApplication>
#include <climits>

#include "plot/genkernel.h"
#include "plot/plotraster.h"

namespace tolv {

namespace {

// Whether v lies within [lo, hi] (bounds included); mixed kinds never do.
struct RangeTest {
  std::uint8_t kind;
  double lo, hi;
  explicit RangeTest(const AxisWorldData& ax)
      : kind(ax.minimum.kind == ax.maximum.kind ? ax.minimum.kind : 0xFF),
        lo(ax.minimum.toNumber()),
        hi(ax.maximum.toNumber()) {}
  bool operator()(const WorldValue& v) const {
    if (v.kind != kind) return false;
    const double x = v.toNumber();
    return lo <= x && x <= hi;
  }
};

// Pixels of the points, computed chunk by chunk just ahead of the drawing so the points are
// read while they are still in the cache; a link to a point further on is computed directly.
struct PointPixels {
  const std::vector<PlotPoint>& pts;
  const AxisTransform& tx;
  const AxisTransform& ty;
  RangeTest inX, inY;
  std::vector<int> px, py;
  std::vector<std::uint8_t> in;
  int done = 0;

  PointPixels(const std::vector<PlotPoint>& p, const TGenD2DataSet& ds)
      : pts(p),
        tx(ds.xTransform),
        ty(ds.yTransform),
        inX(*ds.mergedX),
        inY(*ds.mergedY),
        px(p.size()),
        py(p.size()),
        in(p.size()) {}

  bool compute(int k, int& x, int& y) const {
    const PlotPoint& pt = pts[std::size_t(k)];
    if (!(inX(pt.X) && inY(pt.Y))) return false;
    x = tx.toPixelFast(pt.X);
    y = ty.toPixelFast(pt.Y);
    return true;
  }
  void computeUpTo(int end) {
    for (; done < end; ++done) {
      const std::size_t k = std::size_t(done);
      in[k] = compute(done, px[k], py[k]);
    }
  }
  bool get(int k, int& x, int& y) const {
    if (k < done) {
      const std::size_t u = std::size_t(k);
      x = px[u];
      y = py[u];
      return in[u];
    }
    return compute(k, x, y);
  }
};

// The last marker and line drawn into collapsed spans; repeating them adds no pixel.
struct Repeat {
  int x = INT_MIN, y = 0, shape = 0, size = 0;
  int lx0 = INT_MIN, ly0 = 0, lx1 = 0, ly1 = 0;
};

template <class Sink>
void drawPoint(Sink& sink, const PointPixels& pp, int i, int plotLeft, int plotBottom,
               Repeat* rep) {
  const PlotPoint& pt = pp.pts[std::size_t(i)];
  int x = 0, y = 0;
  if (!pp.get(i, x, y)) return;
  if (!rep || rep->x != x || rep->y != y || rep->shape != pt.markerShape ||
      rep->size != pt.markerSize) {
    markerSpans(sink, pt.markerShape, x, y, pt.markerSize, plotLeft, plotBottom);
    if (rep) {
      rep->x = x;
      rep->y = y;
      rep->shape = pt.markerShape;
      rep->size = pt.markerSize;
    }
  }
  const int n = int(pp.pts.size());
  for (const std::int32_t link : {pt.linkA, pt.linkB}) {
    int x0 = 0, y0 = 0;
    if (link < 0 || link >= n || !pp.get(link, x0, y0)) continue;
    if (rep) {
      if (rep->lx0 == x0 && rep->ly0 == y0 && rep->lx1 == x && rep->ly1 == y) continue;
      rep->lx0 = x0;
      rep->ly0 = y0;
      rep->lx1 = x;
      rep->ly1 = y;
    }
    lineSpans(sink, x0, y0, x, y);
  }
}

constexpr int kChunk = 2048;

}  // namespace

int TGenD2ImgKernel::drawPoints(TGenD2DataSet& ds, std::uint64_t generation) {
  const int n = ds.points.Count();
  if (n == 0) return kPlotEmpty;
  if (!ds.mergedX || !ds.mergedY) return kPlotMissing;
  const std::vector<PlotPoint>& pts = ds.points.Points();
  PointPixels pp(pts, ds);
  const int interval = ds.messageInterval;
  const int plotLeft = plot_.left, plotBottom = plot_.bottom;
  int i = 0;
  while (i < n) {
    // Yield at every multiple of the message interval, as the point loop reaches it.
    if (interval > 0 && i % interval == 0) {
      if (QCoreApplication::instance()) QCoreApplication::processEvents();
      if (generation_ != generation) return kPlotOk;
    }
    int end = std::min(n, i + kChunk);
    if (interval > 0) end = std::min(end, (i / interval + 1) * interval);
    pp.computeUpTo(end);
    // A run of points of one colour paints the union of its pixels, whatever the order, so
    // it is collected into column spans and written once; mixed colours go point by point.
    // The picture may have been touched while yielding: its pixels are taken afresh here.
    const ColorRef c = pts[std::size_t(i)].color;
    bool oneColour = collapsePoints;
    for (int k = i + 1; oneColour && k < end; ++k) oneColour = pts[std::size_t(k)].color == c;
    if (oneColour) {
      ColumnSpans sink(bitmap_, rgbOf(c));
      Repeat rep;
      for (; i < end; ++i) drawPoint(sink, pp, i, plotLeft, plotBottom, &rep);
    } else {
      DirectSpans sink(bitmap_, rgbOf(c));
      for (; i < end; ++i) {
        sink.setColor(rgbOf(pts[std::size_t(i)].color));
        drawPoint(sink, pp, i, plotLeft, plotBottom, nullptr);
      }
    }
  }
  return kPlotOk;
}

}  // namespace tolv
