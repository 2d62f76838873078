#pragma once
// Pixel primitives of the point drawing: markers and link lines expressed as vertical pixel
// spans, written either straight into the picture (point by point) or collected per column
// and written once (for long one-coloured curves). Both give the same pixels, because a
// one-coloured curve paints the union of its pixels whatever the order.
#include <QImage>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "plot/plotdata.h"

namespace tolv {

// Of y[0 .. n - 1] (n > 0): the minimum lo, the maximum hi and, when step is given, the largest
// difference of neighbours, in one pass. False when a value lies outside [ylo, yhi] or is no
// number (lo, hi and step are then meaningless).
bool columnStats(const double* y, int n, double ylo, double yhi, double& lo, double& hi,
                 double* step);

inline std::uint32_t rgbOf(ColorRef c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// Writes spans directly into an RGB32 picture, clipped to it.
class DirectSpans {
 public:
  DirectSpans(QImage& img, std::uint32_t rgb)
      : bits_(reinterpret_cast<std::uint32_t*>(img.bits())),
        stride_(int(img.bytesPerLine() / 4)),
        w_(img.width()),
        h_(img.height()),
        rgb_(rgb) {}
  void setColor(std::uint32_t rgb) { rgb_ = rgb; }
  void span(int x, int y0, int y1) {
    if (x < 0 || x >= w_) return;
    if (y0 < 0) y0 = 0;
    if (y1 >= h_) y1 = h_ - 1;
    if (y0 > y1) return;
    // Held in locals: a store through the pixels could alias the members, which would then be
    // read again for every pixel.
    const std::size_t stride = std::size_t(stride_);
    const std::uint32_t rgb = rgb_;
    std::uint32_t* p = bits_ + std::size_t(y0) * stride + std::size_t(x);
    for (int n = y1 - y0; n >= 0; --n, p += stride) *p = rgb;
  }

 private:
  std::uint32_t* bits_;
  int stride_, w_, h_;
  std::uint32_t rgb_;
};

// Collects one open run per column and merges touching spans into it; a span that does not
// touch the open run writes the run out first.
class ColumnSpans {
 public:
  ColumnSpans(QImage& img, std::uint32_t rgb)
      : out_(img, rgb),
        h_(img.height()),
        lo_(std::size_t(img.width()), 1),
        hi_(std::size_t(img.width()), 0) {}
  ~ColumnSpans() { flush(); }
  void span(int x, int y0, int y1) {
    if (x < 0 || x >= int(lo_.size())) return;
    if (y0 < 0) y0 = 0;
    if (y1 >= h_) y1 = h_ - 1;
    if (y0 > y1) return;
    int& lo = lo_[std::size_t(x)];
    int& hi = hi_[std::size_t(x)];
    if (lo > hi) {
      lo = y0;
      hi = y1;
    } else if (y0 <= hi + 1 && y1 >= lo - 1) {
      if (y0 < lo) lo = y0;
      if (y1 > hi) hi = y1;
    } else {
      out_.span(x, lo, hi);
      lo = y0;
      hi = y1;
    }
  }
  void flush() {
    for (std::size_t x = 0; x < lo_.size(); ++x) {
      if (lo_[x] <= hi_[x]) out_.span(int(x), lo_[x], hi_[x]);
      lo_[x] = 1;
      hi_[x] = 0;
    }
  }

 private:
  DirectSpans out_;
  int h_;
  std::vector<int> lo_, hi_;
};

// Pixels this far from the origin lie outside every picture.
inline constexpr int kFarPixel = 1 << 22;

// The parameters t0 <= t1 of the part of the segment from (ax, ay) by (dx, dy) that lies in
// the box [xlo, xhi] x [ylo, yhi] (Liang-Barsky); false when no part does.
inline bool clipParameters(double ax, double ay, double dx, double dy, double xlo, double xhi,
                           double ylo, double yhi, double& t0, double& t1) {
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {ax - xlo, xhi - ax, ay - ylo, yhi - ay};
  t0 = 0.0;
  t1 = 1.0;
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0.0) {
      if (r > t1) return false;
      if (r > t0) t0 = r;
    } else {
      if (r < t0) return false;
      if (r < t1) t1 = r;
    }
  }
  return true;
}

// Cuts the segment to the square of +-kFarPixel; false when nothing is left.
inline bool clipToFarSquare(int& x0, int& y0, int& x1, int& y1) {
  const double lim = kFarPixel;
  const double dx = double(x1) - x0, dy = double(y1) - y0;
  double t0 = 0.0, t1 = 1.0;
  if (!clipParameters(x0, y0, dx, dy, -lim, lim, -lim, lim, t0, t1)) return false;
  auto at = [&](double base, double d, double t) {
    const double v = std::nearbyint(base + t * d);
    return int(v < -lim ? -lim : v > lim ? lim : v);
  };
  const int ax = at(x0, dx, t0), ay = at(y0, dy, t0);
  x1 = at(x0, dx, t1);
  y1 = at(y0, dy, t1);
  x0 = ax;
  y0 = ay;
  return true;
}

// A 1-pixel line including both end points (Bresenham), as column spans.
template <class Sink>
void lineSpans(Sink& sink, int x0, int y0, int x1, int y1) {
  if (x0 == x1) {  // the common case of dense curves: one span
    sink.span(x0, y0 < y1 ? y0 : y1, y0 < y1 ? y1 : y0);
    return;
  }
  // A point at the clamped pixel limits (a degenerate axis) would make the walk billions of
  // steps long and overflow its error terms; only the part near the picture can show.
  if (x0 < -kFarPixel || x0 > kFarPixel || x1 < -kFarPixel || x1 > kFarPixel ||
      y0 < -kFarPixel || y0 > kFarPixel || y1 < -kFarPixel || y1 > kFarPixel) {
    if (!clipToFarSquare(x0, y0, x1, y1)) return;
    if (x0 == x1) {
      sink.span(x0, y0 < y1 ? y0 : y1, y0 < y1 ? y1 : y0);
      return;
    }
  }
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int runX = x0, runLo = y0, runHi = y0;
  for (;;) {
    if (x0 != runX) {
      sink.span(runX, runLo, runHi);
      runX = x0;
      runLo = runHi = y0;
    } else {
      if (y0 < runLo) runLo = y0;
      if (y0 > runHi) runHi = y0;
    }
    if (x0 == x1 && y0 == y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  sink.span(runX, runLo, runHi);
}

// The pixels of a point marker (shapes 0..7, others draw nothing).
template <class Sink>
void markerSpans(Sink& sink, int shape, int x, int y, int s, int plotLeft, int plotBottom) {
  // Sizes beyond any picture are cut, so the corner arithmetic cannot overflow.
  if (s > 4096) s = 4096;
  if (s < -4096) s = -4096;
  switch (shape) {
    case 0:  // outline of the 3 x 3 square and its diagonal: all nine pixels
      for (int k = -1; k <= 1; ++k) sink.span(x + k, y - 1, y + 1);
      break;
    case 1:
      if (s < 0) s = -s;
      sink.span(x - s, y - s, y + s);
      if (s > 0) sink.span(x + s, y - s, y + s);
      for (int k = -s + 1; k <= s - 1; ++k) {
        sink.span(x + k, y - s, y - s);
        sink.span(x + k, y + s, y + s);
      }
      break;
    case 2:
      lineSpans(sink, x - s, y - s, x + s, y + s);
      lineSpans(sink, x - s, y + s, x + s, y - s);
      break;
    case 3:
      lineSpans(sink, x - s, y, x + s, y);
      lineSpans(sink, x, y - s, x, y + s);
      break;
    case 4:
      lineSpans(sink, plotLeft, y, x, y);
      break;
    case 5:
      lineSpans(sink, x, y, x, plotBottom);
      break;
    case 6: {
      const int a = plotLeft < x ? plotLeft : x, b = plotLeft < x ? x : plotLeft;
      const int t = s < 0 ? -s : s;
      for (int c = a; c <= b; ++c) sink.span(c, y - t, y + t);
      break;
    }
    case 7: {
      const int t = s < 0 ? -s : s;
      const int y0 = y < plotBottom ? y : plotBottom, y1 = y < plotBottom ? plotBottom : y;
      for (int c = x - t; c <= x + t; ++c) sink.span(c, y0, y1);
      break;
    }
    default:
      break;
  }
}

}  // namespace tolv
