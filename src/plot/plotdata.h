#pragma once
// The data of the 2-D plot library: points, point lists, axes, axis styles, data sets (one
// curve each), their lists and the result of a cursor measurement. Failures are result codes
// of plotcodes.h.
#include <QString>
#include <array>
#include <cstdint>
#include <climits>
#include <memory>
#include <utility>
#include <vector>

#include "plot/plotcodes.h"
#include "plot/worldvalue.h"

namespace tolv {

// Colours are the platform's 32-bit value with red in the low byte (0x00BBGGRR).
using ColorRef = std::uint32_t;
constexpr ColorRef kColorBlack = 0x000000;
constexpr ColorRef kColorWhite = 0xFFFFFF;
constexpr ColorRef kColorBlue = 0xFF0000;
constexpr ColorRef kColorSilver = 0xC0C0C0;

// Flag bit of a point that takes part in nearest-point measurements.
constexpr std::uint32_t kPointMeasurable = 2;

struct PlotPoint {
  WorldValue X;
  WorldValue Y;
  std::uint32_t flags = 15;
  std::int32_t linkA = -1;  // index of the point a line is drawn from; out of range = none
  std::int32_t linkB = -1;
  ColorRef color = kColorBlue;
  std::int32_t markerSize = 3;
  std::int32_t markerShape = 2;
  ColorRef color2 = kColorSilver;  // set to the colour on every add; carried along
  std::array<std::uint32_t, 5> words{0, 1, 0, 0, 0};  // carried along, never interpreted
};

class TD2PointsLst {
 public:
  TD2PointsLst() = default;

  int Count() const { return int(points_.size()); }
  PlotPoint GetTemplate() const { return template_; }
  PlotPoint& Template() { return template_; }
  void Clear();
  // The stored copy, valid until the next point is added. Points change only through the
  // list, so what it keeps about them for drawing (PlainChain) stays true.
  const PlotPoint& AddPoint(const PlotPoint& p);
  // As AddPoint, after adding the current count to both links (a link of -1 then designates
  // the previously added point).
  const PlotPoint& AddLinkedPoint(const PlotPoint& p);
  int AppendFrom(const TD2PointsLst& other, bool linked);
  int ReplaceFrom(const TD2PointsLst& other, bool linked);
  // Takes other's points as they are (no links added); other is left empty.
  int TakeFrom(TD2PointsLst& other);
  int GetPoint(int i, PlotPoint& out) const;
  // Unchecked access for the renderer.
  const PlotPoint& At(int i) const { return points_[std::size_t(i)]; }
  const std::vector<PlotPoint>& Points() const { return points_; }
  void Reserve(int n);
  // Moves every point with a numeric X by dx (a curve shifted along its time axis).
  void OffsetX(double dx);

  // The four bounds, recomputed first when not valid. With no points the minima become the
  // zero of their kind, the maxima stay and the bounds stay invalid.
  void GetBounds(WorldValue& minX, WorldValue& maxX, WorldValue& minY, WorldValue& maxY);
  bool BoundsValid() const { return boundsValid_; }

  int SetXKind(std::uint8_t k);
  int SetYKind(std::uint8_t k);
  int SetColor(ColorRef c);
  int SetMarker(int size, int shape);
  void GetMarker(int& size, int& shape) const;

  // The numbers of a long curve whose points are plain numbers of one colour with one marker
  // (the square of shape 0, or a shape that draws none), the first linked to nothing and each
  // other one to the point before it: all that drawing such a curve needs to read, a fifth of
  // the points' bytes, so a redraw does not stream every point through the cache again.
  struct PlainChain {
    std::vector<double> x, y;
    bool square = false;  // shape 0; else no marker
  };
  static constexpr int kPlainChainMin = 4096;  // shorter lists are read point by point
  // Whether point j of `pts` belongs to a plain chain of the colour and marker shape given:
  // numbers on both axes, no marker the chain does not draw, linked to the point before it
  // alone (point 0 to none).
  static bool PlainChainPoint(const std::vector<PlotPoint>& pts, std::size_t j, ColorRef colour,
                              int shape) {
    const PlotPoint& q = pts[j];
    const auto n = std::int64_t(pts.size());
    const auto none = [n](std::int32_t link) { return link < 0 || link >= n; };
    const auto prev = std::int32_t(j) - 1;
    const bool links = j == 0 ? none(q.linkA) && none(q.linkB)
                              : (q.linkA == prev && (q.linkB == prev || none(q.linkB))) ||
                                    (q.linkB == prev && none(q.linkA));
    // Shapes 1..7 draw markers the chain's columns do not hold.
    return !(shape > 0 && shape <= 7) && links && q.X.kind == kWorldNumber &&
           q.Y.kind == kWorldNumber && q.color == colour && q.markerShape == shape;
  }
  // The numbers of the list's first points as far as they form such a chain (x.size() of them,
  // at least kPlainChainMin; null if fewer): a curve ends with points of other kinds (corners,
  // guide lines), drawn from the points after it. Kept up to date while points are only added
  // (a list filled point by point has it at once), else made on first use and kept until the
  // points change. Shared, so a drawing that yields keeps it while the points change meanwhile.
  std::shared_ptr<const PlainChain> Chain() const;
  // The same for a drawing. After any other change than adding points, null at the first
  // drawing, which reads the points once anyway (a record drawn once and replaced costs no
  // more than that), the chain from the second on (a zoom, a resize, a cursor).
  std::shared_ptr<const PlainChain> ChainForRedraw() const;
  // Counts every change of the points: a drawing that yields compares it afterwards, so a
  // list emptied or refilled meanwhile is never read on at its old length.
  std::uint64_t Changes() const { return changes_.n; }

 private:
  void computeBounds();
  void changed() {
    ++changes_.n;
    boundsValid_ = false;
    // Emptied, not freed, unless a drawing or a copy holds it: a data set filled again for
    // each record writes its numbers into memory already touched.
    if (chain_ && chain_.use_count() == 1) {
      chain_->x.clear();
      chain_->y.clear();
    } else {
      chain_.reset();
    }
    // An empty list grows its chain with the points that come.
    chainState_ = points_.empty() ? ChainState::Growing : ChainState::Stale;
    forwardLink_ = INT32_MAX;
    drawnOnce_ = false;
  }
  // Adds the point just stored to the growing chain, or ends the growing.
  void growChain();

  std::vector<PlotPoint> points_;
  std::vector<PlotPoint> searchResults_;  // kept for the selection pass; unused here
  WorldValue minX_, maxX_, minY_, maxY_;
  bool boundsValid_ = false;
  PlotPoint template_;
  // A chain_ to fill afresh: the list's own emptied one, else a new one.
  PlainChain& freshChain() const;

  // Growing: chain_ holds the numbers of every point so far (null or empty while the list is
  // empty); Grown: chain_ holds those of the points before the first that did not continue it;
  // Stale: not known since the last change; Checked: chain_ is what Chain() found (null or
  // shorter than kPlainChainMin: no chain).
  enum class ChainState : std::uint8_t { Growing, Grown, Stale, Checked };
  mutable std::shared_ptr<PlainChain> chain_;
  mutable ChainState chainState_ = ChainState::Growing;
  // The smallest link of a grown chain's points that lies beyond the list: once the list
  // reaches it, that link designates a point and the chain is no chain any more.
  std::int32_t forwardLink_ = INT32_MAX;
  mutable bool drawnOnce_ = false;
  // A list assigned over this one is a change of it too; a copy starts its own count.
  struct ChangeCount {
    std::uint64_t n = 0;
    ChangeCount() = default;
    ChangeCount(const ChangeCount&) {}
    ChangeCount& operator=(const ChangeCount&) {
      ++n;
      return *this;
    }
  };
  ChangeCount changes_;
};

struct AxisWorldData {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;  // the axis band on the image
  std::uint8_t scaleType = 0;                             // 0 = linear (the only type made)
  QString unit = QStringLiteral("#");
  WorldValue minimum;
  WorldValue maximum;
  WorldValue renderedMin;
  WorldValue renderedMax;
  WorldValue reference = WorldValue::num(1.0);
  WorldValue reference2 = WorldValue::num(1.0);
  WorldValue timeOrigin;
  std::int32_t pointCount = 0;
};

// Grid pen styles: 0 solid, 1 dashed, 2 dotted, 3 dash-dot, 4 dash-dot-dot.
struct TAxisStyle {
  std::int32_t labelDigits = 5;
  ColorRef axisColor = kColorBlack;
  ColorRef labelColor = kColorBlack;
  std::uint8_t grid = 0;
  std::uint8_t gridPenStyle = 2;
};

// World <-> pixel mapping of one axis of a data set (linear only).
struct AxisTransform {
  int firstPixel = 0;
  int lastPixel = 0;
  std::uint8_t scaleType = 0;
  long double scale = 0;  // pixels per world unit (per second on time axes)
  double p1 = 0, p2 = 0;  // used only by non-linear scales
  WorldValue minimum;

  int toPixel(const WorldValue& v) const;
  // Faster variant for the point loops; same result as toPixel.
  int toPixelFast(const WorldValue& v) const {
    if (v.kind == kWorldNumber && minimum.kind == kWorldNumber) {
      const double p = double(firstPixel) + double(scale) * (v.number - minimum.number);
      if (p > -1e9 && p < 1e9) return roundHalfEven(p);
    }
    return toPixel(v);
  }
  // The pixel before rounding (both variants above round this value), unbounded.
  double toPixelReal(const WorldValue& v) const {
    if (v.kind == kWorldNumber && minimum.kind == kWorldNumber)
      return double(firstPixel) + double(scale) * (v.number - minimum.number);
    return double(firstPixel) + double(scale) * wvSub(v, minimum).toNumber();
  }
  // Nearest integer, halves to even (as the default floating-point rounding does).
  static int roundHalfEven(double p) {
    // Adding and removing 1.5 * 2^52 leaves the value rounded in the current (nearest) mode;
    // valid for |p| < 2^51, which the callers ensure.
    constexpr double kMagic = 6755399441055744.0;
    const double r = p + kMagic;
    return int(r - kMagic);
  }
  WorldValue toWorld(int p) const;
};

// A positioned label; alignment codes 0..8 choose which point of the text box the anchor is.
struct TMyPosTxt {
  QString text;
  int x = 0, y = 0;
  int align = 0;
  int left = 0, top = 0, right = 0, bottom = 0;
  ColorRef color = kColorBlack;

  // Computes the box from a text size (halves truncated toward zero).
  void Place(int w, int h);
};

struct TTicRecord {
  int x = 0, y = 0;
  int tickEnd = 0;
  ColorRef color = kColorBlack;
  int priority = 0;
  bool drawn = false;
  WorldValue value;
  TMyPosTxt label;
};
using TTicList_X_Ax = std::vector<TTicRecord>;
using TTicList_Y_Ax = std::vector<TTicRecord>;

class TAxWorldDataLst;
class TSampleSeries;
struct TXYSeries;
struct TXYNotes;

class TGenD2DataSet {
 public:
  TGenD2DataSet() = default;
  TGenD2DataSet(const TGenD2DataSet&) = delete;
  TGenD2DataSet& operator=(const TGenD2DataSet&) = delete;

  // Back to the state of a new set (used by the kernel's builder).
  void Reset();
  void ClearContents();
  int SetXKind(std::uint8_t k);
  int SetYKind(std::uint8_t k);
  int SetXUnit(const QString& unit);
  int SetYUnit(const QString& unit);
  void SetXAxisColor(ColorRef c);
  void SetXLabelColor(ColorRef c) { xStyle.labelColor = c; }
  void SetYAxisColor(ColorRef c);
  void SetYLabelColor(ColorRef c) { yStyle.labelColor = c; }
  int SetPointColor(ColorRef c) { return points.SetColor(c); }
  int SetMarker(int size, int shape) { return points.SetMarker(size, shape); }
  void GetMarker(int& size, int& shape) const { points.GetMarker(size, shape); }
  int CopyPointsFrom(const TD2PointsLst& list, bool linked);
  // Own X and Y ranges := the bounds of the points (-2520 / -2530, see plotdata.cpp).
  int SetRangesFromPoints();

  QString name;
  TAxisStyle xStyle;
  TAxisStyle yStyle;
  TD2PointsLst points;
  // A long curve of evenly spaced samples drawn before the points from its per-column
  // minimum and maximum instead of a point per sample; shared, never changed once set.
  std::shared_ptr<const TSampleSeries> series;
  // A long XY curve drawn before the points straight from its reader; shared, never changed
  // once set.
  std::shared_ptr<const TXYSeries> xySeries;
  // What drawing the XY series left for later drawings and the read-out (made by the kernel).
  std::shared_ptr<TXYNotes> xyNotes;
  // Samples of the series and of the XY series plus the points.
  std::int64_t PointCount() const;

  AxisWorldData xAxis;
  AxisWorldData* mergedX = nullptr;
  int mergedXIndex = -1;
  TTicList_X_Ax xTics;

  AxisWorldData yAxis;
  AxisWorldData* mergedY = nullptr;
  int mergedYIndex = -1;
  TTicList_Y_Ax yTics;

  AxisTransform xTransform;
  AxisTransform yTransform;

  // Cursor state of the last measurement.
  ColorRef cursorColor = kColorBlack;
  int cursorX = 0, cursorY = 0;
  int foundX = 0, foundY = 0;
  std::uint8_t cursorMode = 0;
  bool cursorDrawn = false;

  std::int32_t messageInterval = 10000;
};

class TAxWorldDataLst {
 public:
  void Clear() { items_.clear(); }
  int Count() const { return int(items_.size()); }
  AxisWorldData* Get(int i) const;
  // Finds the first record matching axis (scale type, unit character by character, kinds of
  // minimum and maximum) and widens it, else appends a copy. Returns the record's index.
  int MatchOrAdd(const AxisWorldData& axis, AxisWorldData*& record);
  static bool Matches(const AxisWorldData& a, const AxisWorldData& b);
  int ResetPointCounts();

 private:
  std::vector<std::unique_ptr<AxisWorldData>> items_;
};

class TGenD2DataSetsLst {
 public:
  void Clear() { items_.clear(); }
  int Count() const { return int(items_.size()); }
  int Get(int i, TGenD2DataSet*& out) const;
  TGenD2DataSet* At(int i) const { return items_[std::size_t(i)].get(); }
  // Appends a new set made from src; src's points and tick lists are cleared. Returns it.
  TGenD2DataSet& AddCopy(TGenD2DataSet& src);
  void SortByName();

 private:
  std::vector<std::unique_ptr<TGenD2DataSet>> items_;
};

struct TMeasurementEntry {
  WorldValue cursorX;
  WorldValue cursorY;
  QString xUnit;
  QString yUnit;
  PlotPoint foundPoint;
  std::uint8_t mode = 0;  // 0 none, 1 nearest by X, 2 by Y, 3 by distance
  std::uint8_t found = 0;
};

// The two cursors of a plot and what lies between them: the X distance, its inverse and,
// per curve, the difference of the curve's values at the two cursors.
struct TCursorChannel {
  QString name;
  QString yUnit;
  WorldValue yA, yB;
  double dy = 0.0;  // yB - yA
  bool valid = false;  // the curve has points at both cursors
};

struct TCursorReadOut {
  bool hasA = false, hasB = false;
  WorldValue xA, xB;
  QString xUnit;
  bool timeAxis = false;  // X is time (absolute or seconds): dt in s, 1/dt in Hz
  double dt = 0.0;        // xB - xA in units or seconds
  std::vector<TCursorChannel> channels;
  // Further rows (label, text) a plot adds, e.g. the sample words of a timing diagram.
  std::vector<std::pair<QString, QString>> notes;
  bool complete() const { return hasA && hasB; }
};

class TMeasurementData {
 public:
  void Clear() {
    entries_.clear();
    title.clear();
  }
  int Count() const { return int(entries_.size()); }
  const TMeasurementEntry* Get(int i) const;
  int AddEntry(const TMeasurementEntry& e);

  int cursorX = 0, cursorY = 0;
  std::uint8_t resultFlag = 0;
  std::uint8_t filledFlag = 0;
  std::uint8_t kind = 0;  // 0 none, 1 cursor only, 2 nearest point
  QString title;
  PlotPoint templatePoint;

 private:
  std::vector<TMeasurementEntry> entries_;
};

}  // namespace tolv
