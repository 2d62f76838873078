#include "plot/voltmeterplot.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/format.h"
#include "common/nicestep.h"

namespace tolv {

namespace {

// Nearest whole number, halves to even, as every pixel position of the program rounds.
int roundEven(double v) {
  return int(std::nearbyint(v));
}

// Tick counts are whole multiples of a step; a product that misses the full scale by rounding
// noise still counts as reaching it.
constexpr double kTickSlack = 1e-9;

}  // namespace

TVoltmeterPlot::Geometry TVoltmeterPlot::geometryFor(int h, int th) {
  Geometry g;
  const double hh = h;
  g.y1 = roundEven(hh - (0.08 * hh + th));
  g.y2 = roundEven(g.y1 - 0.15 * hh);
  g.y3 = roundEven(g.y1 - 0.04 * hh);
  g.y4 = roundEven(g.y3 - 0.05 * hh);
  return g;
}

TVoltmeterPlot::TVoltmeterPlot(int width, int height) {
  font_.setPointSize(kFontPointSize);
  resize(width, height);
}

void TVoltmeterPlot::resize(int width, int height) {
  image_ = QImage(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
  textHeight_ = QFontMetrics(font_, &image_).height();
  geo_ = geometryFor(image_.height(), textHeight_);
  // A new size keeps the values seen so far; only the picture is made again.
  drawAll(last_, hasValue_);
}

void TVoltmeterPlot::setMode(int modeIndex) {
  mode_ = modeIndex;
  invalidate();
  clear();
}

void TVoltmeterPlot::setRange(double amplitude) {
  range_ = amplitude * 0.5;
  invalidate();
  drawAll(0, false);
}

void TVoltmeterPlot::setProbeFactor(double p) {
  probe_ = p;
  invalidate();
  drawAll(0, false);
}

void TVoltmeterPlot::setAuxDivider(double a) {
  aux_ = a;
  invalidate();
  drawAll(0, false);
}

void TVoltmeterPlot::resetIndicator() {
  invalidate();
  drawAll(last_, hasValue_);
}

double TVoltmeterPlot::fullScale() const {
  const double r = range_ == 0 ? 1.0 : range_;
  // A probe factor of 0 only stands in the spin edit until it is replaced by 1.
  const double p = probe_ == 0 ? 1.0 : probe_;
  return r * p;
}

int TVoltmeterPlot::xOf(double v) const {
  const double w = image_.width();
  const double s = fullScale();
  double x;
  if (isDc())
    x = std::floor(w / 2) + 0.87 * w * (v / 2) / s;
  else if (isRms())
    x = 0.0195 * w + 0.922 * w * v / s;
  else
    return image_.width() / 2;
  // Far off-scale values (and infinities) stay a little outside the image.
  if (!(x >= -w)) x = -w;
  if (x > 2 * w) x = 2 * w;
  return roundEven(x);
}

double TVoltmeterPlot::minorStep() const {
  const double s = fullScale();
  return niceStepUp(isRms() ? s * 0.02 : s * 0.03);
}

double TVoltmeterPlot::labelStep() const {
  const double a = minorStep();
  const double b = isRms() ? a * 2.4 : (fullScale() >= 1 ? a * 3 : a * 4);
  return niceStepUp(b);
}

void TVoltmeterPlot::clear() {
  labelBoxes_.clear();
  image_.fill(Qt::white);
}

void TVoltmeterPlot::showValue(double v) {
  if (std::isnan(v)) return;
  const unsigned gen = ++generation_;
  clear();
  if (pump_) pump_();
  // A reading that arrived while events ran has drawn the newer value already.
  if (gen != generation_) return;
  if (!valid_) {
    min_ = max_ = v;
    valid_ = true;
  } else {
    min_ = std::min(min_, v);
    max_ = std::max(max_, v);
  }
  last_ = v;
  hasValue_ = true;
  drawAll(v, true);
}

void TVoltmeterPlot::drawAll(double v, bool withPointer) {
  clear();
  if (isDc() || isRms()) {
    if (valid_) drawIndicator(image_);
    drawScale();
    // The end marks go over the scale, so a tick at the same column does not hide them.
    if (valid_) drawIndicatorMarks();
  }
  if (withPointer) drawPointer(v);
}

void TVoltmeterPlot::vline(int x, int yFrom, int yTo, QRgb colour) {
  if (x < 0 || x >= image_.width()) return;
  const int a = std::clamp(std::min(yFrom, yTo), 0, image_.height() - 1);
  const int b = std::clamp(std::max(yFrom, yTo), 0, image_.height() - 1);
  for (int y = a; y <= b; ++y) reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
}

void TVoltmeterPlot::drawIndicator(QImage& img) {
  // The indicator is drawn with every reading while it is valid, not only when the reading
  // widened it: each reading starts from a white image.
  const int xa = isRms() ? xOf(0) : xOf(min_);
  const int xb = xOf(max_);
  const int left = std::max(0, std::min(xa, xb));
  const int right = std::min(img.width() - 1, std::max(xa, xb));
  const int bottom = std::min(geo_.y3, img.height() - 1);
  if (right >= left && bottom >= 0) {
    for (int y = 0; y <= bottom; ++y) {
      QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
      std::fill(line + left, line + right + 1, kIndicatorGrey);
    }
  }
}

void TVoltmeterPlot::drawIndicatorMarks() {
  // Black edges of the area; in RMS modes only the maximum moves.
  const QRgb black = qRgb(0, 0, 0);
  if (!isRms()) vline(xOf(min_), 0, geo_.y3, black);
  vline(xOf(max_), 0, geo_.y3, black);
}

void TVoltmeterPlot::drawScale() {
  labelBoxes_.clear();
  const double s = fullScale();
  if (!std::isfinite(s)) return;
  const double sign = s < 0 ? -1.0 : 1.0;
  const double as = std::fabs(s);
  const double a = std::fabs(minorStep());
  const double l = std::fabs(labelStep());
  const QRgb black = qRgb(0, 0, 0);
  const bool dc = isDc();

  const auto minorTick = [&](double value) {
    const int x = xOf(value);
    vline(x, 0, geo_.y1, kMinorTickGrey);
    vline(x, geo_.y4, geo_.y3, black);
  };
  if (a > 0 && std::isfinite(a)) {
    for (int k = 0;; ++k) {
      const double t = k * a;
      if (t >= as * (1 - kTickSlack)) break;
      minorTick(sign * t);
      if (dc && k > 0) minorTick(-sign * t);
    }
  }
  minorTick(s);
  if (dc) minorTick(-s);

  if (!(l > 0) || !std::isfinite(l)) return;
  // Ticks go straight into the pixels; the texts follow with one painter at the end.
  struct Label {
    int left;
    QString text;
    int rank;  // lower ranks win a place first
  };
  std::vector<Label> labels;
  const QFontMetrics fm(font_, &image_);
  const int w = image_.width();
  const int textTop = geo_.y1 + 1;
  const int textHeight = std::max(1, image_.height() - textTop);
  const int kMax = int(std::floor(as / l * (1 + kTickSlack)));
  const auto label = [&](double value) {
    const int x = xOf(value);
    vline(x, geo_.y1, geo_.y2, black);
    const double inside = as - std::fabs(value);
    QString text;
    int left;
    if (inside < 0.9 * l) {
      // End label: left edge at the tick right of centre, right edge at it left of centre,
      // kept inside the image either way.
      text = engText(value, 3, QStringLiteral("V"), true);
      const int tw = fm.horizontalAdvance(text);
      left = x >= w / 2 ? std::min(x, w - tw) : std::max(0, x - tw);
    } else {
      text = engText(value, 4, QString(), false);
      const int tw = fm.horizontalAdvance(text);
      // Zero of an RMS bar sits a few pixels from the edge: its label stays whole.
      left = std::clamp(x - tw / 2, 0, std::max(0, w - tw));
    }
    const int rank = inside < 0.9 * l ? 0 : value == 0 ? 1 : 2;
    labels.push_back({left, std::move(text), rank});
  };
  for (int k = 0; k <= kMax; ++k) {
    label(sign * k * l);
    if (dc && k > 0) label(-sign * k * l);
  }
  // On a narrow bar the labels of the nice step would run into each other: the end labels
  // (with the unit) and zero keep their place, a label that would touch one already placed is
  // left out; its tick stays.
  constexpr int kLabelGap = 3;
  std::stable_sort(labels.begin(), labels.end(),
                   [](const Label& a, const Label& b) { return a.rank < b.rank; });
  QPainter p(&image_);
  p.setFont(font_);
  p.setPen(Qt::black);
  for (const Label& lb : labels) {
    const QRect box(lb.left, textTop, fm.horizontalAdvance(lb.text), textHeight);
    const bool free = std::none_of(labelBoxes_.begin(), labelBoxes_.end(), [&](const QRect& o) {
      return box.adjusted(-kLabelGap, 0, kLabelGap, 0).intersects(o);
    });
    if (!free) continue;
    labelBoxes_.push_back(box);
    p.drawText(QRect(lb.left, textTop, w, textHeight), Qt::AlignLeft | Qt::AlignVCenter, lb.text);
  }
}

void TVoltmeterPlot::drawPointer(double v) {
  const int x = xOf(v);
  const QRgb c = pen_.rgb();
  for (int dx = -1; dx <= 1; ++dx) vline(x + dx, 0, geo_.y3, c);
}

}  // namespace tolv
