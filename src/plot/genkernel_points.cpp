// Point drawing of TGenD2ImgKernel: markers and link lines of one data set.
#include <QCoreApplication>
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <optional>

#include "plot/genkernel.h"
#include "plot/plotraster.h"
#include "plot/sampleseries.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolv {

bool columnStats(const double* y, int n, double ylo, double yhi, double& lo, double& hi,
                 double* step) {
  int k = 0;
  double l = y[0], h = y[0], s = 0.0;
  bool ok = true;
#if defined(__SSE2__)
  if (n >= 8) {
    // One pass, four values a turn in two lanes of accumulators each, so no turn waits for the
    // minimum or maximum of the one before; the differences of neighbours in the same pass
    // (value k + 1 less value k, for k up to the turn's last).
    const __m128d vlo = _mm_set1_pd(ylo), vhi = _mm_set1_pd(yhi), sign = _mm_set1_pd(-0.0);
    __m128d all0 = _mm_castsi128_pd(_mm_set1_epi32(-1)), all1 = all0;
    __m128d ml0 = _mm_set1_pd(l), ml1 = ml0, mh0 = ml0, mh1 = ml0;
    __m128d ms0 = _mm_setzero_pd(), ms1 = ms0;
    for (; k + 5 <= n; k += 4) {
      const __m128d a = _mm_loadu_pd(y + k), b = _mm_loadu_pd(y + k + 2);
      all0 = _mm_and_pd(all0, _mm_and_pd(_mm_cmple_pd(vlo, a), _mm_cmple_pd(a, vhi)));
      all1 = _mm_and_pd(all1, _mm_and_pd(_mm_cmple_pd(vlo, b), _mm_cmple_pd(b, vhi)));
      ml0 = _mm_min_pd(ml0, a);
      ml1 = _mm_min_pd(ml1, b);
      mh0 = _mm_max_pd(mh0, a);
      mh1 = _mm_max_pd(mh1, b);
      if (step) {
        const __m128d a1 = _mm_loadu_pd(y + k + 1), b1 = _mm_loadu_pd(y + k + 3);
        ms0 = _mm_max_pd(ms0, _mm_andnot_pd(sign, _mm_sub_pd(a1, a)));
        ms1 = _mm_max_pd(ms1, _mm_andnot_pd(sign, _mm_sub_pd(b1, b)));
      }
    }
    ok = _mm_movemask_pd(_mm_and_pd(all0, all1)) == 3;
    double a[2], b[2], c[2];
    _mm_storeu_pd(a, _mm_min_pd(ml0, ml1));
    _mm_storeu_pd(b, _mm_max_pd(mh0, mh1));
    _mm_storeu_pd(c, _mm_max_pd(ms0, ms1));
    l = std::min(a[0], a[1]);
    h = std::max(b[0], b[1]);
    s = std::max(c[0], c[1]);
  }
#endif
  // The differences from value k on (the one into value k was taken above).
  for (int j = k; step && j + 1 < n; ++j) s = std::max(s, std::fabs(y[j + 1] - y[j]));
  for (; k < n; ++k) {
    const double v = y[k];
    ok &= ylo <= v && v <= yhi;
    l = std::min(l, v);
    h = std::max(h, v);
  }
  if (step) *step = s;
  lo = l;
  hi = h;
  return ok;
}

namespace {

// First index in [from, to) for which `out` holds, `out` being false up to some index and true
// from there on; to if none. The search starts at `guess` and widens from there (galloping),
// then halves, so a good guess costs two tests instead of a binary search over the whole
// stretch; any guess gives the same index.
template <class I, class Out>
I firstOutside(I from, I to, I guess, Out out) {
  I lo = from, hi = to;
  const I g = std::clamp(guess, from, to);
  if (g < to) {
    I step = 1;
    if (out(g)) {
      hi = g;
      while (lo < hi) {
        const I p = hi - std::min(step, hi - lo);
        if (!out(p)) {
          lo = p + 1;
          break;
        }
        hi = p;
        step *= 2;
      }
    } else {
      lo = g + 1;
      while (lo < hi) {
        const I p = lo + std::min(step, hi - lo) - 1;
        if (out(p)) {
          hi = p;
          break;
        }
        lo = p + 1;
        step *= 2;
      }
    }
  }
  while (lo < hi) {
    const I mid = lo + (hi - lo) / 2;
    if (out(mid))
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

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
    const double x = kind == kWorldNumber ? v.number : v.toNumber();
    return lo <= x && x <= hi;
  }
};

// The pixel rectangle of the axis ranges (bounds included), in unrounded pixels.
struct ClipBox {
  double x0, x1, y0, y1;
  ClipBox(const AxisTransform& tx, const AxisWorldData& ax, const AxisTransform& ty,
          const AxisWorldData& ay) {
    const double xa = tx.toPixelReal(ax.minimum), xb = tx.toPixelReal(ax.maximum);
    const double ya = ty.toPixelReal(ay.minimum), yb = ty.toPixelReal(ay.maximum);
    x0 = std::min(xa, xb);
    x1 = std::max(xa, xb);
    y0 = std::min(ya, yb);
    y1 = std::max(ya, yb);
  }
  // Cuts the segment to the box; false when no part of it lies inside.
  bool clip(double& ax, double& ay, double& bx, double& by) const {
    // Most lines of a zoomed curve lie wholly on one side of the window: refused at once.
    if ((ax < x0 && bx < x0) || (ax > x1 && bx > x1) || (ay < y0 && by < y0) ||
        (ay > y1 && by > y1))
      return false;
    const double dx = bx - ax, dy = by - ay;
    double t0 = 0.0, t1 = 1.0;
    if (!clipParameters(ax, ay, dx, dy, x0, x1, y0, y1, t0, t1)) return false;
    const double sx = ax, sy = ay;
    if (t1 < 1.0) {
      bx = sx + t1 * dx;
      by = sy + t1 * dy;
    }
    if (t0 > 0.0) {
      ax = sx + t0 * dx;
      ay = sy + t0 * dy;
    }
    return true;
  }
};

// The terms of one axis transform's arithmetic on plain numbers, taken once instead of per
// point: the same operations as toPixelFast, so the same pixels.
struct NumberAxis {
  double first, scale, min;
  explicit NumberAxis(const AxisTransform& t)
      : first(double(t.firstPixel)), scale(double(t.scale)), min(t.minimum.number) {}
  // The pixel before rounding.
  double real(double v) const { return first + scale * (v - min); }
  // Whether a pixel before rounding is rounded directly (else the transform clamps it).
  static bool fine(double p) { return p > -1e9 && p < 1e9; }
  int pixel(const AxisTransform& t, double v) const {
    const double p = real(v);
    return fine(p) ? AxisTransform::roundHalfEven(p) : t.toPixel(WorldValue::num(v));
  }
};

// What drawing any curve of a data set needs of its axes: the transforms into the picture's
// pixels (device pixels on fine screens), the axis ranges, their pixel box and, where ranges and
// transforms are plain numbers, the transforms' terms.
struct CurveFrame {
  const AxisTransform& tx;
  const AxisTransform& ty;
  RangeTest inX, inY;
  ClipBox box;
  bool numeric;
  NumberAxis nx, ny;

  CurveFrame(const TGenD2DataSet& ds, const AxisTransform& ptx, const AxisTransform& pty)
      : tx(ptx),
        ty(pty),
        inX(*ds.mergedX),
        inY(*ds.mergedY),
        box(ptx, *ds.mergedX, pty, *ds.mergedY),
        numeric(inX.kind == kWorldNumber && inY.kind == kWorldNumber &&
                ptx.minimum.kind == kWorldNumber && pty.minimum.kind == kWorldNumber),
        nx(ptx),
        ny(pty) {}
  // The part of the line between the unrounded pixels a and b that lies in the ranges' box,
  // its ends rounded as the points' pixels are; false when none of it does.
  bool cutLine(double ax, double ay, double bx, double by, int& x0, int& y0, int& x1,
               int& y1) const {
    if (!box.clip(ax, ay, bx, by)) return false;
    x0 = AxisTransform::roundHalfEven(ax);
    y0 = AxisTransform::roundHalfEven(ay);
    x1 = AxisTransform::roundHalfEven(bx);
    y1 = AxisTransform::roundHalfEven(by);
    return true;
  }
  // A point of plain numbers inside the ranges, at pixels rounded directly: true with x, y.
  bool numbersAt(double vx, double vy, int& x, int& y) const {
    if (!(inX.lo <= vx && vx <= inX.hi && inY.lo <= vy && vy <= inY.hi)) return false;
    const double fx = nx.real(vx), fy = ny.real(vy);
    if (!NumberAxis::fine(fx) || !NumberAxis::fine(fy)) return false;
    x = AxisTransform::roundHalfEven(fx);
    y = AxisTransform::roundHalfEven(fy);
    return true;
  }
};

constexpr int kChunk = 2048;

// Pixels of the points, computed chunk by chunk just ahead of the drawing so the points are
// read while they are still in the cache; only the current chunk's are kept (a few tens of
// kilobytes, whatever the list's length), a link outside it is computed directly.
struct PointPixels : CurveFrame {
  const std::vector<PlotPoint>& pts;
  // Of points base .. done - 1, at k - base.
  std::unique_ptr<int[]> px, py;
  // Unrounded pixels of the points outside the ranges (NaN: never drawable), filled only
  // where needed, so a picture without zoom never touches them.
  std::unique_ptr<double[]> rx, ry;
  std::unique_ptr<std::uint8_t[]> in;
  int base = 0, done = 0;

  PointPixels(const std::vector<PlotPoint>& p, const TGenD2DataSet& ds, const AxisTransform& ptx,
              const AxisTransform& pty)
      : CurveFrame(ds, ptx, pty),
        pts(p),
        px(new int[kChunk]),
        py(new int[kChunk]),
        rx(new double[kChunk]),
        ry(new double[kChunk]),
        in(new std::uint8_t[kChunk]) {}

  bool compute(int k, int& x, int& y) const {
    const PlotPoint& pt = pts[std::size_t(k)];
    if (numeric && pt.X.kind == kWorldNumber && pt.Y.kind == kWorldNumber) {
      const double vx = pt.X.number, vy = pt.Y.number;
      if (!(inX.lo <= vx && vx <= inX.hi && inY.lo <= vy && vy <= inY.hi)) return false;
      if (numbersAt(vx, vy, x, y)) return true;
    }
    if (!(inX(pt.X) && inY(pt.Y))) return false;
    x = tx.toPixelFast(pt.X);
    y = ty.toPixelFast(pt.Y);
    return true;
  }
  // The chunk from..end - 1 (at most kChunk points).
  void computeChunk(int from, int end) {
    base = done = from;
    for (; done < end; ++done) {
      const std::size_t k = std::size_t(done - base);
      in[k] = compute(done, px[k], py[k]);
      if (!in[k] && !realOf(done, rx[k], ry[k])) rx[k] = std::nan("");
    }
  }
  bool kept(int k) const { return k >= base && k < done; }
  bool realOf(int k, double& x, double& y) const {
    int ix = 0, iy = 0;
    if (compute(k, ix, iy)) {
      x = ix;
      y = iy;
      return true;
    }
    const PlotPoint& pt = pts[std::size_t(k)];
    if (pt.X.kind != inX.kind || pt.Y.kind != inY.kind) return false;
    x = tx.toPixelReal(pt.X);
    y = ty.toPixelReal(pt.Y);
    return std::isfinite(x) && std::isfinite(y);
  }
  // Unrounded pixel of any point whose kinds match the axes, in range or not (a point in
  // range stands at its pixel, so a cut line ends exactly where its marker is).
  bool real(int k, double& x, double& y) const {
    if (kept(k)) {
      const std::size_t u = std::size_t(k - base);
      if (in[u]) {
        x = px[u];
        y = py[u];
        return true;
      }
      x = rx[u];
      y = ry[u];
      return !std::isnan(x);
    }
    return realOf(k, x, y);
  }
  // A line between two points of which at least one lies outside the axis ranges: the part
  // inside them, with the ends rounded as the points' pixels are. False when none is inside.
  bool clippedLine(int a, int b, int& x0, int& y0, int& x1, int& y1) const {
    double ax = 0, ay = 0, bx = 0, by = 0;
    if (!real(a, ax, ay) || !real(b, bx, by)) return false;
    return cutLine(ax, ay, bx, by, x0, y0, x1, y1);
  }
  bool get(int k, int& x, int& y) const {
    if (kept(k)) {
      const std::size_t u = std::size_t(k - base);
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
               int sizeScale, Repeat* rep) {
  const PlotPoint& pt = pp.pts[std::size_t(i)];
  int x = 0, y = 0;
  const bool inside = pp.get(i, x, y);
  const int size = pt.markerSize * sizeScale;
  if (inside && (!rep || rep->x != x || rep->y != y || rep->shape != pt.markerShape ||
                 rep->size != size)) {
    markerSpans(sink, pt.markerShape, x, y, size, plotLeft, plotBottom);
    if (rep) {
      rep->x = x;
      rep->y = y;
      rep->shape = pt.markerShape;
      rep->size = size;
    }
  }
  const int n = int(pp.pts.size());
  for (int which = 0; which < 2; ++which) {
    const std::int32_t link = which == 0 ? pt.linkA : pt.linkB;
    if (link < 0 || link >= n) continue;
    // A linked list's points carry their one link twice: the same line paints nothing new.
    if (which == 1 && link == pt.linkA) continue;
    int x0 = 0, y0 = 0, x1 = x, y1 = y;
    // A line that leaves the axis ranges (a zoomed picture) is cut at their edge instead of
    // being dropped, so steep edges and curves passing through the window stay visible.
    if (!(pp.get(link, x0, y0) && inside) && !pp.clippedLine(link, i, x0, y0, x1, y1)) continue;
    if (rep) {
      if (rep->lx0 == x0 && rep->ly0 == y0 && rep->lx1 == x1 && rep->ly1 == y1) continue;
      rep->lx0 = x0;
      rep->ly0 = y0;
      rep->lx1 = x1;
      rep->ly1 = y1;
    }
    lineSpans(sink, x0, y0, x1, y1);
  }
}

// The pixels of the points of one column of a linked curve, gathered into the column's run
// and its two neighbours' (which square markers reach) and written when the column changes.
// A span that does not touch its run writes the run out first, so the pixels are the union of
// the spans given, as ColumnSpans keeps them.
template <class Sink>
class ColumnGather {
 public:
  explicit ColumnGather(Sink& sink) : sink_(sink) {}
  ~ColumnGather() { flush(); }
  ColumnGather(const ColumnGather&) = delete;
  ColumnGather& operator=(const ColumnGather&) = delete;

  bool holds(int x) const { return open_ && x == x_; }
  // Column x, nothing in it yet; the column before is written out.
  void open(int x) {
    flush();
    open_ = true;
    x_ = x;
    mid_ = side_ = Run{};
  }
  // Pixels lo..hi of the column.
  void mid(int lo, int hi) { merge(mid_, lo, hi, false); }
  // A square marker (shape 0) at y: three pixels in the column and in each neighbour.
  void square(int y) {
    merge(mid_, y - 1, y + 1, false);
    merge(side_, y - 1, y + 1, true);
  }
  void flush() {
    if (!open_) return;
    write(mid_, false);
    write(side_, true);
    open_ = false;
  }

 private:
  struct Run {
    int lo = 1, hi = 0;  // empty while lo > hi
  };
  void merge(Run& r, int lo, int hi, bool sides) {
    if (r.lo <= r.hi) {
      if (lo <= r.hi + 1 && hi >= r.lo - 1) {
        r.lo = std::min(r.lo, lo);
        r.hi = std::max(r.hi, hi);
        return;
      }
      write(r, sides);
    }
    r.lo = lo;
    r.hi = hi;
  }
  void write(const Run& r, bool sides) {
    if (r.lo > r.hi) return;
    if (sides) {
      sink_.span(x_ - 1, r.lo, r.hi);
      sink_.span(x_ + 1, r.lo, r.hi);
    } else {
      sink_.span(x_, r.lo, r.hi);
    }
  }
  Sink& sink_;
  bool open_ = false;
  int x_ = 0;
  Run mid_, side_;
};

// Points i .. end - 1 of one colour. The common long curve (each point inside the ranges,
// linked to the one before or to none, with a square marker of shape 0 or none) is drawn
// column by column without the pixels of every marker and line going through the sink; from
// the first other point on, the chunk is drawn by drawPoint. Same pixels either way.
template <class Sink>
void drawChain(Sink& sink, PointPixels& pp, int i, int end, int plotLeft, int plotBottom,
               int sizeScale) {
  const int n = int(pp.pts.size());
  Repeat rep;
  ColumnGather<Sink> gather(sink);
  int px = 0, py = 0;
  bool prevIn = i > 0 && pp.compute(i - 1, px, py);
  for (; i < end; ++i) {
    const PlotPoint& pt = pp.pts[std::size_t(i)];
    int x = 0, y = 0;
    const bool inside = pp.compute(i, x, y);
    const std::int32_t a = pt.linkA, b = pt.linkB;
    const bool toPrev = i > 0 && (a == i - 1 || b == i - 1);
    // Shapes beyond 0..7 draw no marker.
    const int shape = pt.markerShape;
    const bool square = shape == 0, bare = shape < 0 || shape > 7;
    const bool plain = inside && (square || bare) && (toPrev ? prevIn : true) &&
                       (a < 0 || a >= n || a == i - 1) && (b < 0 || b >= n || b == i - 1);
    if (!plain) {
      // The rest of the chunk goes point by point, its pixels computed once (a zoomed
      // picture has many points outside, each looked at again for its lines).
      gather.flush();
      pp.computeChunk(i, end);
      for (; i < end; ++i) drawPoint(sink, pp, i, plotLeft, plotBottom, sizeScale, &rep);
      return;
    }
    if (gather.holds(x)) {
      // The one before stands in this column too: its line is vertical.
      if (toPrev) gather.mid(std::min(py, y), std::max(py, y));
    } else {
      gather.open(x);
      if (toPrev) {
        lineSpans(sink, px, py, x, y);
        // Painted by the line already; kept so a vertical line after it joins the run.
        gather.mid(y, y);
      }
    }
    if (square) gather.square(y);
    prevIn = inside;
    px = x;
    py = y;
  }
}

constexpr int kBlock = 256;

// Whether x[0] <= x[1] <= ... <= x[n - 1]; a NaN anywhere makes it false.
bool nonDecreasing(const double* x, int n) {
  int k = 0;
#if defined(__SSE2__)
  __m128d all = _mm_castsi128_pd(_mm_set1_epi32(-1));
  for (; k + 3 <= n; k += 2)
    all = _mm_and_pd(all, _mm_cmple_pd(_mm_loadu_pd(x + k), _mm_loadu_pd(x + k + 1)));
  if (_mm_movemask_pd(all) != 3) return false;
#endif
  bool ok = true;
  for (; k + 1 < n; ++k) ok &= x[k] <= x[k + 1];
  return ok;
}

// The X and Y numbers of a plain chain (TD2PointsLst::Chain), a block at a time.
struct ChainNumbers {
  const TD2PointsLst::PlainChain& ch;
  bool square() const { return ch.square; }
  // Points i .. i + m - 1: all of them.
  int block(int i, int m, const double*& xs, const double*& ys) const {
    xs = ch.x.data() + i;
    ys = ch.y.data() + i;
    return m;
  }
  int plainEnd(int, int end) const { return end; }
};

// The same read straight from the points on a first drawing, which would otherwise build the
// chain into fresh memory (its page faults cost more than the drawing): a block's numbers are
// copied while each point is checked to continue the chain as Chain() checks it.
struct PointNumbers {
  const std::vector<PlotPoint>& pts;
  ColorRef colour;
  int shape;
  double x[kBlock], y[kBlock];
  PointNumbers(const std::vector<PlotPoint>& p, int first)
      : pts(p),
        colour(p[std::size_t(first)].color),
        shape(p[std::size_t(first)].markerShape) {}
  bool square() const { return shape == 0; }
  // Whether the list's point j can be drawn as a plain chain's point.
  bool plain(int j) const {
    return TD2PointsLst::PlainChainPoint(pts, std::size_t(j), colour, shape);
  }
  // Points i .. i + m - 1 up to the first that is not plain: how many.
  int block(int i, int m, const double*& xs, const double*& ys) {
    int k = 0;
    for (; k < m && plain(i + k); ++k) {
      x[k] = pts[std::size_t(i + k)].X.number;
      y[k] = pts[std::size_t(i + k)].Y.number;
    }
    xs = x;
    ys = y;
    return k;
  }
  // The first point from `from` on that is not plain; end if none.
  int plainEnd(int from, int end) const {
    while (from < end && plain(from)) ++from;
    return from;
  }
};

// drawChain for points that continue a plain chain on numeric axes: only the points' numbers
// are read, their pixels worked out a block at a time in one straight loop, and the column's
// runs kept in locals. From the first point outside the ranges (a zoomed picture) on, the rest
// goes to drawPoint. Same pixels as drawChain. Returns where the chain ends (end when it does
// not): a point of another kind is left to the caller.
template <class Sink, class Numbers>
int drawPlainChain(Sink& sink, PointPixels& pp, Numbers& src, int i, int end, int plotLeft,
                   int plotBottom, int sizeScale) {
  const bool square = src.square();
  const double xlo = pp.inX.lo, xhi = pp.inX.hi, ylo = pp.inY.lo, yhi = pp.inY.hi;
  const double xF = pp.nx.first, xS = pp.nx.scale, xM = pp.nx.min;
  const double yF = pp.ny.first, yS = pp.ny.scale, yM = pp.ny.min;
  // Whether a point lies in the ranges with a pixel toPixelFast rounds directly.
  const auto usable = [&](double vx, double vy, double fx, double fy) {
    return (xlo <= vx) & (vx <= xhi) & (ylo <= vy) & (vy <= yhi) & (fx > -1e9) & (fx < 1e9) &
           (fy > -1e9) & (fy < 1e9);
  };
  int px = 0, py = 0;
  const auto rest = [&](int from) {
    Repeat rep;
    const int to = src.plainEnd(from, end);
    for (int k = from; k < to;) {
      const int e = std::min(to, k + kChunk);
      pp.computeChunk(k, e);
      for (; k < e; ++k) drawPoint(sink, pp, k, plotLeft, plotBottom, sizeScale, &rep);
    }
    return to;
  };
  if (i > 0 && !pp.compute(i - 1, px, py)) return rest(i);

  // The open column cx: its run (mid) and its neighbours' run (side), empty while lo > hi.
  bool open = false;
  int cx = 0, midLo = 1, midHi = 0, sideLo = 1, sideHi = 0;
  const auto writeSide = [&](int lo, int hi) {
    sink.span(cx - 1, lo, hi);
    sink.span(cx + 1, lo, hi);
  };
  const auto flush = [&] {
    if (!open) return;
    if (midLo <= midHi) sink.span(cx, midLo, midHi);
    if (sideLo <= sideHi) writeSide(sideLo, sideHi);
    open = false;
  };
  // Joins lo..hi to a run it touches, or writes the run out and starts a new one.
  const auto merge = [&](int& runLo, int& runHi, int lo, int hi, auto write) {
    if (runLo <= runHi) {
      if (lo <= runHi + 1 && hi >= runLo - 1) {
        runLo = std::min(runLo, lo);
        runHi = std::max(runHi, hi);
        return;
      }
      write(runLo, runHi);
    }
    runLo = lo;
    runHi = hi;
  };
  const auto writeMid = [&](int lo, int hi) { sink.span(cx, lo, hi); };
  const auto mergeMid = [&](int lo, int hi) { merge(midLo, midHi, lo, hi, writeMid); };
  const auto mergeSide = [&](int lo, int hi) { merge(sideLo, sideHi, lo, hi, writeSide); };
  const auto rowOf = [&](double vy) { return AxisTransform::roundHalfEven(yF + yS * (vy - yM)); };
  const auto colOf = [&](double vx) { return AxisTransform::roundHalfEven(xF + xS * (vx - xM)); };
  const auto fine = [](double f) { return f > -1e9 && f < 1e9; };
  // Points of one column that continue the open one or start a new one; first and last are
  // their first and last point's rows.
  const auto enterColumn = [&](int x, int y, bool linked) {
    if (open && x == cx) {
      // The one before stands in this column too: its line is vertical.
      if (linked) mergeMid(std::min(py, y), std::max(py, y));
      return;
    }
    flush();
    open = true;
    cx = x;
    midLo = sideLo = 1;
    midHi = sideHi = 0;
    if (linked) {
      lineSpans(sink, px, py, x, y);
      // Painted by the line already; kept so a vertical line after it joins the run.
      mergeMid(y, y);
    }
  };
  // Draws points 0 .. m - 1 of a block (first the chain's point `first`) column by column from
  // each column's extremes, as far as X does not decrease and every point lies in the ranges:
  // a column's points joined one after the other paint every row between their lowest and
  // highest, so those two rows give its run. Square markers add a row above and below it, in
  // the column and beside it; beside it the markers leave gaps where neighbours lie more than
  // three rows apart, and such a column takes its markers one by one. Returns how many points
  // it drew; the same pixels as point by point.
  int runGuess = 1;
  const auto envelope = [&](const double* xs, const double* ys, int m, int first) {
    if (m < 8 || !(xlo <= xs[0] && xs[m - 1] <= xhi)) return 0;
    if (!fine(xF + xS * (xs[0] - xM)) || !fine(xF + xS * (xs[m - 1] - xM))) return 0;
    if (!nonDecreasing(xs, m)) return 0;
    // Rows per unit of Y; neighbours closer than two rows keep the markers beside joined.
    const double joinedStep = yS != 0.0 ? 2.0 / std::fabs(yS) : HUGE_VAL;
    const auto notIn = [&](int k, int c) { return colOf(xs[k]) != c; };
    int a = 0;
    while (a < m) {
      const int c = colOf(xs[a]);
      // The first point after a in another column, searched from the last column's width.
      const int e = firstOutside(a + 1, m, a + runGuess, [&](int k) { return notIn(k, c); });
      double vlo = 0, vhi = 0, jump = 0;
      if (!columnStats(ys + a, e - a, ylo, yhi, vlo, vhi, square ? &jump : nullptr)) return a;
      const double flo = yF + yS * (vlo - yM), fhi = yF + yS * (vhi - yM);
      if (!fine(flo) || !fine(fhi)) return a;
      runGuess = e - a;
      int r0 = AxisTransform::roundHalfEven(flo), r1 = AxisTransform::roundHalfEven(fhi);
      if (r0 > r1) std::swap(r0, r1);
      enterColumn(c, rowOf(ys[a]), first + a > 0);
      if (e - a > 1) mergeMid(r0, r1);
      if (square) {
        mergeMid(r0 - 1, r1 + 1);
        if (jump <= joinedStep) {
          mergeSide(r0 - 1, r1 + 1);
        } else {
          for (int k = a; k < e; ++k) {
            const int y = rowOf(ys[k]);
            mergeSide(y - 1, y + 1);
          }
        }
      }
      px = c;
      py = rowOf(ys[e - 1]);
      a = e;
    }
    return m;
  };
  int bx[kBlock], by[kBlock];
  while (i < end) {
    const double* xs = nullptr;
    const double* ys = nullptr;
    const int got = src.block(i, std::min(kBlock, end - i), xs, ys);
    if (got == 0) break;
    const int done = envelope(xs, ys, got, i);
    // The rest of the block point by point.
    const int base = i + done, m = got - done;
    xs += done;
    ys += done;
    i += done;
    if (m == 0) continue;
    bool allUsable = true;
    int k = 0;
#if defined(__SSE2__)
    {
      // Two points at a time, with the same operations in the same order as below.
      const __m128d vxlo = _mm_set1_pd(xlo), vxhi = _mm_set1_pd(xhi);
      const __m128d vylo = _mm_set1_pd(ylo), vyhi = _mm_set1_pd(yhi);
      const __m128d vxF = _mm_set1_pd(xF), vxS = _mm_set1_pd(xS), vxM = _mm_set1_pd(xM);
      const __m128d vyF = _mm_set1_pd(yF), vyS = _mm_set1_pd(yS), vyM = _mm_set1_pd(yM);
      const __m128d lim = _mm_set1_pd(1e9), nlim = _mm_set1_pd(-1e9);
      const __m128d magic = _mm_set1_pd(6755399441055744.0);
      __m128d all = _mm_castsi128_pd(_mm_set1_epi32(-1));
      for (; k + 2 <= m; k += 2) {
        const __m128d vx = _mm_loadu_pd(xs + k), vy = _mm_loadu_pd(ys + k);
        const __m128d fx = _mm_add_pd(vxF, _mm_mul_pd(vxS, _mm_sub_pd(vx, vxM)));
        const __m128d fy = _mm_add_pd(vyF, _mm_mul_pd(vyS, _mm_sub_pd(vy, vyM)));
        __m128d ok = _mm_and_pd(_mm_cmple_pd(vxlo, vx), _mm_cmple_pd(vx, vxhi));
        ok = _mm_and_pd(ok, _mm_and_pd(_mm_cmple_pd(vylo, vy), _mm_cmple_pd(vy, vyhi)));
        ok = _mm_and_pd(ok, _mm_and_pd(_mm_cmpgt_pd(fx, nlim), _mm_cmplt_pd(fx, lim)));
        ok = _mm_and_pd(ok, _mm_and_pd(_mm_cmpgt_pd(fy, nlim), _mm_cmplt_pd(fy, lim)));
        all = _mm_and_pd(all, ok);
        const __m128d rx = _mm_sub_pd(_mm_add_pd(_mm_and_pd(ok, fx), magic), magic);
        const __m128d ry = _mm_sub_pd(_mm_add_pd(_mm_and_pd(ok, fy), magic), magic);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bx + k), _mm_cvttpd_epi32(rx));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(by + k), _mm_cvttpd_epi32(ry));
      }
      allUsable = _mm_movemask_pd(all) == 3;
    }
#endif
    for (; k < m; ++k) {
      const double vx = xs[k], vy = ys[k];
      const double fx = xF + xS * (vx - xM), fy = yF + yS * (vy - yM);
      const bool ok = usable(vx, vy, fx, fy);
      allUsable &= ok;
      bx[k] = AxisTransform::roundHalfEven(ok ? fx : 0.0);
      by[k] = AxisTransform::roundHalfEven(ok ? fy : 0.0);
    }
    int upTo = m;
    if (!allUsable) {
      upTo = 0;
      while (upTo < m) {
        const double vx = xs[upTo], vy = ys[upTo];
        if (!usable(vx, vy, xF + xS * (vx - xM), yF + yS * (vy - yM))) break;
        ++upTo;
      }
    }
    for (int k = 0; k < upTo; ++k) {
      const int x = bx[k], y = by[k];
      enterColumn(x, y, base + k > 0);
      if (square) {
        mergeMid(y - 1, y + 1);
        mergeSide(y - 1, y + 1);
      }
      px = x;
      py = y;
    }
    if (upTo < m) {
      flush();
      return rest(base + upTo);
    }
    i += m;
  }
  flush();
  return i;
}

// The samples of a series as the point drawing would place them: a sample inside the axis
// ranges stands on its rounded pixel, one outside them is kept unrounded for cutting lines.
struct SeriesPixels : CurveFrame {
  const TSampleSeries& s;
  const AxisWorldData& axX;

  SeriesPixels(const TSampleSeries& ser, const TGenD2DataSet& ds, const AxisTransform& ptx,
               const AxisTransform& pty)
      : CurveFrame(ds, ptx, pty), s(ser), axX(*ds.mergedX) {
    // Plain numbers throughout (no clock time): the transforms' arithmetic is done here on the
    // numbers instead of through world values.
    numeric = numeric && ser.X0().kind == kWorldNumber;
  }

  int column(std::uint64_t i) const {
    if (numeric) return nx.pixel(tx, s.XNumber(i));
    return tx.toPixelFast(s.XOf(i));
  }
  bool inside(std::uint64_t i, double v, int& x, int& y) const {
    if (numeric) {
      const double X = s.XNumber(i);
      if (!(inX.lo <= X && X <= inX.hi && inY.lo <= v && v <= inY.hi)) return false;
      x = nx.pixel(tx, X);
      y = ny.pixel(ty, v);
      return true;
    }
    const WorldValue X = s.XOf(i), Y = WorldValue::num(v);
    if (!(inX(X) && inY(Y))) return false;
    x = tx.toPixelFast(X);
    y = ty.toPixelFast(Y);
    return true;
  }
  bool real(std::uint64_t i, double v, double& x, double& y) const {
    int ix = 0, iy = 0;
    if (inside(i, v, ix, iy)) {
      x = ix;
      y = iy;
      return true;
    }
    const WorldValue X = s.XOf(i);
    if (X.kind != inX.kind || inY.kind != kWorldNumber) return false;
    x = tx.toPixelReal(X);
    y = ty.toPixelReal(WorldValue::num(v));
    return std::isfinite(x) && std::isfinite(y);
  }
  // The line from sample a to sample b as drawPoint draws a link: whole when both lie in the
  // ranges, else cut at their edge.
  template <class Sink>
  void link(Sink& sink, std::uint64_t a, double va, std::uint64_t b, double vb) const {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    const bool ina = inside(a, va, x0, y0);
    const bool inb = inside(b, vb, x1, y1);
    if (!(ina && inb)) {
      double ax = 0, ay = 0, bx = 0, by = 0;
      if (!real(a, va, ax, ay) || !real(b, vb, bx, by)) return;
      if (!cutLine(ax, ay, bx, by, x0, y0, x1, y1)) return;
    }
    lineSpans(sink, x0, y0, x1, y1);
  }
  // First index in [from, to) whose column is not c (columns grow with the index); to if none.
  std::uint64_t columnEnd(std::uint64_t from, std::uint64_t to, int c, std::uint64_t guess) const {
    return firstOutside(from, to, guess, [&](std::uint64_t k) { return column(k) != c; });
  }
  // The pixels a run of samples with values lo..hi, all in one column c, paints: the union of
  // the lines joining them. Lines that leave the Y range are cut at its edge.
  template <class Sink>
  void columnSpan(Sink& sink, int c, double lo, double hi) const {
    const double ylo = inY.lo, yhi = inY.hi;
    if (inY.kind != kWorldNumber || hi < ylo || lo > yhi) return;
    int a = 0, b = 0;
    if (numeric) {
      a = ny.pixel(ty, std::max(lo, ylo));
      b = ny.pixel(ty, std::min(hi, yhi));
    } else {
      a = ty.toPixelFast(WorldValue::num(std::max(lo, ylo)));
      b = ty.toPixelFast(WorldValue::num(std::min(hi, yhi)));
    }
    if (a > b) std::swap(a, b);
    sink.span(c, a, b);
  }
};

// Draws a series into the sink: per pixel column the span of its samples' minimum to maximum
// and the line from the column's last sample to the next column's first, which are the
// pixels the samples linked point by point give.
template <class Sink>
void drawSeries(Sink& sink, const SeriesPixels& sp) {
  const TSampleSeries& s = sp.s;
  const std::uint64_t n = s.Count();
  if (n < 2) return;  // a lone sample has no line and a series no marker
  if (sp.inX.kind != s.X0().kind) return;
  const std::uint64_t i0 = s.LowerIndex(sp.axX.minimum, false);
  const std::uint64_t i1 = s.LowerIndex(sp.axX.maximum, true);
  double va = 0, vb = 0;
  // Lines from the samples just outside the window into it (or across it).
  if (i0 > 0 && i0 < n && s.Value(i0 - 1, va) && s.Value(i0, vb)) sp.link(sink, i0 - 1, va, i0, vb);
  if (i1 > i0 && i1 < n && s.Value(i1 - 1, va) && s.Value(i1, vb)) sp.link(sink, i1 - 1, va, i1, vb);
  // Where each column's samples end, estimated from the samples per pixel; columnEnd makes
  // it exact.
  const double pr0 = i0 < i1 ? sp.tx.toPixelReal(s.XOf(i0)) : 0.0;
  const double perPixel = 1.0 / (s.Dx() * double(sp.tx.scale));
  const bool estimate = std::isfinite(pr0) && std::isfinite(perPixel) && perPixel > 0;
  double prev = 0;
  for (std::uint64_t i = i0; i < i1;) {
    const int c = sp.column(i);
    std::uint64_t guess = i + 1;
    if (estimate) {
      const double g = double(i0) + std::ceil((c + 0.5 - pr0) * perPixel);
      if (g > double(guess)) guess = g < double(i1) ? std::uint64_t(g) : i1;
    }
    const std::uint64_t e = sp.columnEnd(i + 1, i1, c, guess);
    double lo = 0, hi = 0, first = 0, last = 0;
    if (!s.MinMax(i, e, lo, hi) || !s.Value(i, first) || !s.Value(e - 1, last)) return;
    if (i > i0) sp.link(sink, i - 1, prev, i, first);
    if (e - i > 1) sp.columnSpan(sink, c, lo, hi);
    prev = last;
    i = e;
  }
}

// A point of plain numbers as the point drawing places it: inside the ranges on its rounded
// pixel (in), else at its unrounded pixel for cutting lines (usable when finite).
struct NumberPoint {
  bool in = false;
  int x = 0, y = 0;
  double rx = 0.0, ry = 0.0;
};

NumberPoint placeNumbers(const CurveFrame& f, double vx, double vy) {
  NumberPoint p;
  p.in = f.inX.lo <= vx && vx <= f.inX.hi && f.inY.lo <= vy && vy <= f.inY.hi;
  if (p.in) {
    p.x = f.nx.pixel(f.tx, vx);
    p.y = f.ny.pixel(f.ty, vy);
    p.rx = p.x;
    p.ry = p.y;
  } else {
    p.rx = f.nx.real(vx);
    p.ry = f.ny.real(vy);
  }
  return p;
}

// The pixels of the line from a to b as drawPoint draws a link: whole when both lie in the
// ranges, else the part inside them. False when none is; x0..y1 are set otherwise.
bool numbersLine(const CurveFrame& f, const NumberPoint& a, const NumberPoint& b, int& x0, int& y0,
                 int& x1, int& y1) {
  if (a.in && b.in) {
    x0 = a.x;
    y0 = a.y;
    x1 = b.x;
    y1 = b.y;
    return true;
  }
  if (!std::isfinite(a.rx) || !std::isfinite(a.ry) || !std::isfinite(b.rx) || !std::isfinite(b.ry))
    return false;
  return f.cutLine(a.rx, a.ry, b.rx, b.ry, x0, y0, x1, y1);
}

// Points of an XY series read at a time; the lines of a noisy stream repeat within far fewer.
constexpr std::size_t kXYPiece = 65536;
// Lines drawn lately, by their pixels: one drawn again adds nothing. A fixed table (512 KiB)
// whatever the series' length; a line that lost its slot is merely drawn once more.
constexpr std::size_t kXYRecentLines = std::size_t(1) << 16;

// Draws an XY series as its points linked one by one would be drawn (it has no markers): the
// line from each point to the next, cut at the ranges' edge where it leaves them. The points
// are read a piece at a time; at every multiple of `interval` points (none if 0) `more` is
// asked whether to go on (it may let events run, so the picture's pixels are taken afresh
// after it). Once a drawing has read every point, the series holds each block's bounds, and
// later drawings skip the blocks that lie wholly on one side of the ranges' box: none of their
// lines is drawn. The points inside the ranges are noted in the notes' grid by their pixels on
// `lf` (the layout's transforms; `f` when the same). False when the reader failed or `more`
// said stop; the grid is then left unfinished. Without `noteGrid` the grid is left as it is.
template <class More>
bool drawXYSeries(QImage& picture, const TXYSeries& s, const CurveFrame& f, const CurveFrame* lf,
                  TXYNotes& notes, bool noteGrid, std::uint64_t interval, More more) {
  const std::uint64_t n = s.Count();
  if (n < 2 || !f.numeric) return true;
  // Held: a nested drawing may leave the series new ones.
  const std::shared_ptr<const TXYBoxes> kept = s.boxes;
  const bool skip = kept && kept->Serve(s);
  // Made by a drawing that reads every point, handed to the series once it has.
  TXYBoxes made;
  if (!skip) {
    made.reader = s.reader;
    made.Begin(n);
  }
  const TXYBoxes& boxes = skip ? *kept : made;
  const std::uint64_t block = boxes.Block();
  // Whether no line of block b can reach the box: the same arithmetic as the points' pixels,
  // which keeps their order, so its bounds' pixels bound theirs.
  const auto outside = [&](std::size_t b) {
    if (!(boxes.xlo[b] <= boxes.xhi[b])) return true;
    const double ax = f.nx.real(boxes.xlo[b]), bx = f.nx.real(boxes.xhi[b]);
    const double ay = f.ny.real(boxes.ylo[b]), by = f.ny.real(boxes.yhi[b]);
    return std::max(ax, bx) < f.box.x0 || std::min(ax, bx) > f.box.x1 ||
           std::max(ay, by) < f.box.y0 || std::min(ay, by) > f.box.y1;
  };
  // A piece and the point before it.
  std::vector<double> xs(std::size_t(std::min<std::uint64_t>(n, kXYPiece)) + 1);
  std::vector<double> ys(xs.size());
  std::vector<std::uint64_t> recent(kXYRecentLines, ~std::uint64_t(0));
  const auto key = [](int x0, int y0, int x1, int y1) {
    return std::uint64_t(std::uint16_t(x0)) | std::uint64_t(std::uint16_t(y0)) << 16 |
           std::uint64_t(std::uint16_t(x1)) << 32 | std::uint64_t(std::uint16_t(y1)) << 48;
  };
  const auto keyable = [](int v) { return v >= 0 && v < 0xFFFF; };
  const std::uint32_t rgb = rgbOf(s.color);
  NumberPoint prev;
  bool havePrev = false;
  for (std::uint64_t i = 0; i < n;) {
    if (i > 0 && interval > 0 && i % interval == 0 && !more()) return false;
    const std::uint64_t stop = interval > 0 ? std::min(n, (i / interval + 1) * interval) : n;
    if (skip) {
      // From a block's start, or from where the last yield stopped inside it.
      std::uint64_t j = i;
      while (j < stop && outside(boxes.BlockOf(j))) j = (boxes.BlockOf(j) + 1) * block;
      if (j > i) {
        i = std::min(j, stop);
        havePrev = false;
        continue;
      }
    }
    std::uint64_t left = std::min<std::uint64_t>(stop - i, xs.size() - 1);
    if (skip) {
      // Up to the next block that lies outside: the blocks that can reach it are read at once.
      std::uint64_t end = (boxes.BlockOf(i) + 1) * block;
      while (end < i + left && !outside(boxes.BlockOf(end))) end += block;
      left = std::min(left, end - i);
    }
    const auto m = std::size_t(left);
    // After skipped blocks the line into this one starts at the point before it: read with
    // them in one call, the buffers' first.
    const bool before = !havePrev && i > 0;
    if (!s.reader->Read(i - (before ? 1 : 0), m + (before ? 1 : 0), xs.data(), ys.data()))
      return false;
    if (before) prev = placeNumbers(f, xs[0], ys[0]);
    const double* px = xs.data() + (before ? 1 : 0);
    const double* py = ys.data() + (before ? 1 : 0);
    ColumnSpans sink(picture, rgb);
    for (std::size_t k = 0; k < m; ++k) {
      const NumberPoint cur = placeNumbers(f, px[k], py[k]);
      if (!skip) made.Fold(i + k, px[k], py[k]);
      if (cur.in && noteGrid) {
        if (!lf) {
          notes.grid.Note(cur.x, cur.y, i + k);
        } else {
          const NumberPoint l = placeNumbers(*lf, px[k], py[k]);
          notes.grid.Note(l.x, l.y, i + k);
        }
      }
      int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
      if ((i > 0 || k > 0) && numbersLine(f, prev, cur, x0, y0, x1, y1)) {
        if (keyable(x0) && keyable(y0) && keyable(x1) && keyable(y1)) {
          const std::uint64_t kk = key(x0, y0, x1, y1);
          std::uint64_t& slot = recent[std::size_t((kk * 0x9E3779B97F4A7C15ull) >> 48)];
          if (slot != kk) {
            slot = kk;
            lineSpans(sink, x0, y0, x1, y1);
          }
        } else {
          lineSpans(sink, x0, y0, x1, y1);
        }
      }
      prev = cur;
    }
    havePrev = true;
    i += m;
  }
  if (!skip) s.boxes = std::make_shared<const TXYBoxes>(std::move(made));
  if (noteGrid) notes.grid.Finish();
  return true;
}

}  // namespace

int TGenD2ImgKernel::drawPoints(TGenD2DataSet& ds, std::uint64_t generation) {
  int n = ds.points.Count();
  if (n == 0 && !ds.series && !ds.xySeries) return kPlotEmpty;
  if (!ds.mergedX || !ds.mergedY) return kPlotMissing;
  const std::vector<PlotPoint>& pts = ds.points.Points();
  // On a fine screen the curves are placed on the device pixels, so they are as sharp as the
  // text; the transforms are those of the layout, scaled.
  AxisTransform tx = ds.xTransform, ty = ds.yTransform;
  int plotLeft = plot_.left, plotBottom = plot_.bottom, sizeScale = 1;
  if (dpr_ != 1.0) {
    for (AxisTransform* t : {&tx, &ty}) {
      t->firstPixel = int(std::lround(t->firstPixel * dpr_));
      t->lastPixel = int(std::lround(t->lastPixel * dpr_));
      t->scale *= dpr_;
    }
    plotLeft = int(std::lround(plotLeft * dpr_));
    plotBottom = int(std::lround(plotBottom * dpr_));
    sizeScale = int(std::lround(dpr_));
  }
  if (ds.series) {
    // The samples come first, as they would in a point list, so the points are drawn over them.
    ColumnSpans sink(bitmap_, rgbOf(ds.series->color));
    drawSeries(sink, SeriesPixels(*ds.series, ds, tx, ty));
  }
  if (ds.xySeries) {
    // Held here, and the interval read once: the data set may go while the drawing yields.
    const std::shared_ptr<const TXYSeries> xy = ds.xySeries;
    const bool yields = ds.messageInterval > 0;
    const auto more = [&] {
      if (!yields) return true;
      if (QCoreApplication::instance()) QCoreApplication::processEvents();
      return generation_ == generation && ds.xySeries == xy;
    };
    // Stopped by a new picture, or the data set was given another curve meanwhile.
    const auto interval = std::uint64_t(yields ? ds.messageInterval : 0);
    if (!ds.xyNotes || ds.xyNotes->series.lock() != xy) {
      ds.xyNotes = std::make_shared<TXYNotes>();
      ds.xyNotes->series = xy;
    }
    // Held too: a nested drawing may give the set new notes.
    const std::shared_ptr<TXYNotes> notes = ds.xyNotes;
    // The view the grid is made for, taken before it is begun. A drawing of the view the grid
    // holds would note the same pixels: the grid is kept, and serves read-outs meanwhile.
    std::vector<double> view = xyView(ds);
    const bool noteGrid = !notes->gridValid || notes->gridView != view;
    if (noteGrid) {
      notes->gridValid = false;
      notes->grid.Begin(plot_.left, plot_.top, plot_.right, plot_.bottom);
    }
    // The read-out works on the layout's pixels; on a fine screen they are placed apart.
    std::optional<CurveFrame> layout;
    if (dpr_ != 1.0) layout.emplace(ds, ds.xTransform, ds.yTransform);
    const bool whole = drawXYSeries(bitmap_, *xy, CurveFrame(ds, tx, ty),
                                    layout ? &*layout : nullptr, *notes, noteGrid, interval,
                                    more);
    if (!whole && (generation_ != generation || ds.xySeries != xy)) return kPlotOk;
    if (whole && noteGrid && notes->grid.Usable()) {
      notes->gridView = std::move(view);
      notes->gridValid = true;
    }
    n = ds.points.Count();  // the points may have changed while it yielded
  } else {
    ds.xyNotes.reset();  // the grid of a stream curve no longer shown
  }
  if (n == 0) return kPlotOk;
  PointPixels pp(pts, ds, tx, ty);
  // Kept by this drawing, which reads it up to the next yield; a change of the points drops the
  // list's own.
  const std::shared_ptr<const TD2PointsLst::PlainChain> chain =
      collapsePoints && pp.numeric ? ds.points.ChainForRedraw() : nullptr;
  // The points the chain holds; those after it are drawn from the points.
  const int chained = chain ? int(chain->x.size()) : 0;
  const std::uint64_t changes = ds.points.Changes();
  const int interval = ds.messageInterval;
  int i = 0;
  while (i < n) {
    // Yield at every multiple of the message interval, as the point loop reaches it. Points
    // changed meanwhile (a new record begun, whoever did it draws again) end this curve: the
    // rest would be read from a list of another length.
    if (interval > 0 && i % interval == 0) {
      if (QCoreApplication::instance()) QCoreApplication::processEvents();
      if (generation_ != generation || ds.points.Changes() != changes) return kPlotOk;
    }
    int end = std::min(n, i + kChunk);
    if (interval > 0) end = std::min(end, (i / interval + 1) * interval);
    // A run of points of one colour paints the union of its pixels, whatever the order, so
    // it is collected into column spans and written once; mixed colours go point by point.
    // The picture may have been touched while yielding: its pixels are taken afresh here.
    const ColorRef c = pts[std::size_t(i)].color;
    if (i < chained) {
      // One colour throughout: the spans are collected up to the next yield.
      end = interval > 0 ? std::min(chained, (i / interval + 1) * interval) : chained;
      ColumnSpans sink(bitmap_, rgbOf(c));
      ChainNumbers src{*chain};
      i = drawPlainChain(sink, pp, src, i, end, plotLeft, plotBottom, sizeScale);
      continue;
    }
    if (collapsePoints && pp.numeric && n >= TD2PointsLst::kPlainChainMin) {
      // A first drawing: as far as the points continue a plain chain, up to the next yield.
      const int to = interval > 0 ? std::min(n, (i / interval + 1) * interval) : n;
      PointNumbers src(pts, i);
      if (src.plain(i)) {
        ColumnSpans sink(bitmap_, rgbOf(c));
        i = drawPlainChain(sink, pp, src, i, to, plotLeft, plotBottom, sizeScale);
        continue;
      }
    }
    bool oneColour = collapsePoints;
    for (int k = i + 1; oneColour && k < end; ++k) oneColour = pts[std::size_t(k)].color == c;
    if (oneColour) {
      ColumnSpans sink(bitmap_, rgbOf(c));
      drawChain(sink, pp, i, end, plotLeft, plotBottom, sizeScale);
      i = end;
    } else {
      pp.computeChunk(i, end);
      DirectSpans sink(bitmap_, rgbOf(c));
      for (; i < end; ++i) {
        sink.setColor(rgbOf(pts[std::size_t(i)].color));
        drawPoint(sink, pp, i, plotLeft, plotBottom, sizeScale, nullptr);
      }
    }
  }
  return kPlotOk;
}

std::vector<double> TGenD2ImgKernel::xyView(const TGenD2DataSet& ds) const {
  const auto num = [](const WorldValue& v) { return v.kind == kWorldNumber ? v.number : NAN; };
  const AxisTransform& tx = ds.xTransform;
  const AxisTransform& ty = ds.yTransform;
  return {double(plot_.left),
          double(plot_.top),
          double(plot_.right),
          double(plot_.bottom),
          double(tx.firstPixel),
          double(tx.scale),
          num(tx.minimum),
          double(ty.firstPixel),
          double(ty.scale),
          num(ty.minimum),
          ds.mergedX ? num(ds.mergedX->minimum) : NAN,
          ds.mergedX ? num(ds.mergedX->maximum) : NAN,
          ds.mergedY ? num(ds.mergedY->minimum) : NAN,
          ds.mergedY ? num(ds.mergedY->maximum) : NAN};
}

}  // namespace tolv
