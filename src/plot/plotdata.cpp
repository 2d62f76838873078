#include "plot/plotdata.h"

#include "plot/sampleseries.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tolv {

// ---- TD2PointsLst ---------------------------------------------------------------------------

void TD2PointsLst::Reserve(int n) {
  const std::size_t before = points_.capacity();
  points_.reserve(std::size_t(n > 0 ? n : 0));
  if (points_.capacity() == before) return;
  if (chainState_ == ChainState::Growing && chain_ && chain_.use_count() == 1) {
    chain_->x.reserve(points_.capacity());
    chain_->y.reserve(points_.capacity());
  }
  // A record of 131000 points takes some 15 MB that is written once right after: on huge pages
  // that first touch costs a few faults instead of thousands of small ones.
  constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(points_.data());
  const std::uintptr_t end = begin + points_.capacity() * sizeof(PlotPoint);
  const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t last = end & ~(kHuge - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void TD2PointsLst::Clear() {
  points_.clear();
  searchResults_.clear();
  changed();
}

namespace {

// Folds v into the bounds lo and hi as wvMin / wvMax do, plain numbers without the calls.
void foldBound(WorldValue& lo, WorldValue& hi, const WorldValue& v) {
  if (lo.kind == kWorldNumber && hi.kind == kWorldNumber && v.kind == kWorldNumber) {
    if (!(lo.number < v.number)) lo = v;
    if (hi.number < v.number) hi = v;
    return;
  }
  lo = wvMin(lo, v);
  hi = wvMax(hi, v);
}

}  // namespace

const PlotPoint& TD2PointsLst::AddPoint(const PlotPoint& p) {
  // Bounds known before stay known: the new point is folded in last, as computeBounds would,
  // while it is at hand, so a long record is not read once more only for its bounds.
  const bool extend = boundsValid_ || points_.empty();
  points_.push_back(p);
  PlotPoint& stored = points_.back();
  stored.color2 = stored.color;
  ++changes_.n;
  boundsValid_ = false;
  drawnOnce_ = false;
  growChain();
  if (extend) {
    if (points_.size() == 1) {
      minX_ = maxX_ = stored.X;
      minY_ = maxY_ = stored.Y;
    } else {
      foldBound(minX_, maxX_, stored.X);
      foldBound(minY_, maxY_, stored.Y);
    }
    boundsValid_ = true;
  }
  return stored;
}

const PlotPoint& TD2PointsLst::AddLinkedPoint(const PlotPoint& p) {
  PlotPoint copy = p;
  const std::int32_t n = Count();
  copy.linkA += n;
  copy.linkB += n;
  return AddPoint(copy);
}

int TD2PointsLst::AppendFrom(const TD2PointsLst& other, bool linked) {
  // Copy first: other may be this list.
  const std::vector<PlotPoint> src = other.points_;
  points_.reserve(points_.size() + src.size());
  for (const PlotPoint& p : src) {
    if (linked)
      AddLinkedPoint(p);
    else
      AddPoint(p);
  }
  return int(src.size());
}

void TD2PointsLst::OffsetX(double dx) {
  for (PlotPoint& p : points_)
    if (p.X.isNumber()) p.X.number += dx;
  changed();
}

int TD2PointsLst::TakeFrom(TD2PointsLst& other) {
  if (&other == this) return Count();
  Clear();
  points_.swap(other.points_);
  minX_ = other.minX_;
  maxX_ = other.maxX_;
  minY_ = other.minY_;
  maxY_ = other.maxY_;
  boundsValid_ = other.boundsValid_;
  chain_ = std::move(other.chain_);
  chainState_ = other.chainState_;
  forwardLink_ = other.forwardLink_;
  drawnOnce_ = other.drawnOnce_;
  other.Clear();
  return Count();
}

int TD2PointsLst::ReplaceFrom(const TD2PointsLst& other, bool linked) {
  if (&other == this) {
    const TD2PointsLst copy = other;
    Clear();
    return AppendFrom(copy, linked);
  }
  Clear();
  return AppendFrom(other, linked);
}

int TD2PointsLst::GetPoint(int i, PlotPoint& out) const {
  if (points_.empty()) return kPlotEmpty;
  if (i < 0 || i >= Count()) return kPlotIndex;
  out = points_[std::size_t(i)];
  return kPlotOk;
}

void TD2PointsLst::computeBounds() {
  if (points_.empty()) {
    minX_ = wvZero(minX_.kind);
    minY_ = wvZero(minY_.kind);
    return;
  }
  // Plain numbers (the common case) are compared as numbers, the extremes kept by index; the
  // same choices as the loop below makes.
  std::size_t lx = 0, hx = 0, ly = 0, hy = 0;
  double vlx = points_[0].X.number, vhx = vlx, vly = points_[0].Y.number, vhy = vly;
  bool plain = true;
  for (std::size_t i = 0; plain && i < points_.size(); ++i) {
    const PlotPoint& p = points_[i];
    plain = p.X.kind == kWorldNumber && p.Y.kind == kWorldNumber;
    const double x = p.X.number, y = p.Y.number;
    if (!(vlx < x)) vlx = x, lx = i;
    if (vhx < x) vhx = x, hx = i;
    if (!(vly < y)) vly = y, ly = i;
    if (vhy < y) vhy = y, hy = i;
  }
  if (plain) {
    minX_ = points_[lx].X;
    maxX_ = points_[hx].X;
    minY_ = points_[ly].Y;
    maxY_ = points_[hy].Y;
    boundsValid_ = true;
    return;
  }
  minX_ = maxX_ = points_[0].X;
  minY_ = maxY_ = points_[0].Y;
  for (const PlotPoint& p : points_) {
    minX_ = wvMin(minX_, p.X);
    maxX_ = wvMax(maxX_, p.X);
    minY_ = wvMin(minY_, p.Y);
    maxY_ = wvMax(maxY_, p.Y);
  }
  boundsValid_ = true;
}

void TD2PointsLst::GetBounds(WorldValue& minX, WorldValue& maxX, WorldValue& minY,
                             WorldValue& maxY) {
  if (!boundsValid_) computeBounds();
  minX = minX_;
  maxX = maxX_;
  minY = minY_;
  maxY = maxY_;
}

int TD2PointsLst::SetXKind(std::uint8_t k) {
  minX_.kind = maxX_.kind = k;
  changed();
  if (points_.empty()) return kPlotEmpty;
  for (PlotPoint& p : points_) p.X.kind = k;
  return kPlotOk;
}

int TD2PointsLst::SetYKind(std::uint8_t k) {
  minY_.kind = maxY_.kind = k;
  changed();
  if (points_.empty()) return kPlotEmpty;
  for (PlotPoint& p : points_) p.Y.kind = k;
  return kPlotOk;
}

int TD2PointsLst::SetColor(ColorRef c) {
  template_.color = c;
  if (points_.empty()) return kPlotEmpty;
  changed();
  for (PlotPoint& p : points_) p.color = c;
  return kPlotOk;
}

int TD2PointsLst::SetMarker(int size, int shape) {
  template_.markerSize = size;
  template_.markerShape = shape;
  if (points_.empty()) return kPlotEmpty;
  changed();
  for (PlotPoint& p : points_) {
    p.markerSize = size;
    p.markerShape = shape;
  }
  return kPlotOk;
}

void TD2PointsLst::growChain() {
  const std::size_t j = points_.size() - 1;
  if (chainState_ == ChainState::Grown) {
    // The points after the chain do not touch it, unless one of its links now designates one.
    if (std::int64_t(points_.size()) > forwardLink_) {
      chain_.reset();
      chainState_ = ChainState::Stale;
    }
    return;
  }
  if (chainState_ != ChainState::Growing) {
    // A chain found before is made again, with this point, when it is asked for.
    chain_.reset();
    chainState_ = ChainState::Stale;
    return;
  }
  const PlotPoint& q = points_[j];
  const PlotPoint& first = points_[0];
  if (std::int64_t(points_.size()) > forwardLink_) {
    chain_.reset();
    chainState_ = ChainState::Stale;
    return;
  }
  if (!PlainChainPoint(points_, j, first.color, first.markerShape)) {
    // What was grown stays: the points before this one.
    chainState_ = ChainState::Grown;
    return;
  }
  for (const std::int32_t link : {q.linkA, q.linkB})
    if (link >= std::int64_t(points_.size())) forwardLink_ = std::min(forwardLink_, link);
  if (chain_ && chain_.use_count() > 1) {
    // Read by a drawing that yielded, or shared with a copy of the list: never changed there.
    chain_ = std::make_shared<PlainChain>(*chain_);
  } else if (j == 0) {
    freshChain();
  }
  chain_->x.push_back(q.X.number);
  chain_->y.push_back(q.Y.number);
}

TD2PointsLst::PlainChain& TD2PointsLst::freshChain() const {
  if (chain_ && chain_.use_count() == 1) {
    chain_->x.clear();
    chain_->y.clear();
  } else {
    chain_ = std::make_shared<PlainChain>();
  }
  const PlotPoint& first = points_[0];
  chain_->square = first.markerShape == 0;
  chain_->x.reserve(points_.capacity());
  chain_->y.reserve(points_.capacity());
  return *chain_;
}

std::shared_ptr<const TD2PointsLst::PlainChain> TD2PointsLst::ChainForRedraw() const {
  const bool grown = chainState_ == ChainState::Growing || chainState_ == ChainState::Grown;
  if (!grown && !drawnOnce_) {
    drawnOnce_ = true;
    return nullptr;
  }
  drawnOnce_ = true;
  return Chain();
}

std::shared_ptr<const TD2PointsLst::PlainChain> TD2PointsLst::Chain() const {
  const auto longEnough = [this]() -> std::shared_ptr<const PlainChain> {
    if (chain_ && chain_->x.size() >= std::size_t(kPlainChainMin)) return chain_;
    return nullptr;
  };
  if (chainState_ != ChainState::Stale) return longEnough();
  chainState_ = ChainState::Checked;
  const std::size_t n = points_.size();
  if (n < std::size_t(kPlainChainMin)) return nullptr;
  const PlotPoint& first = points_[0];
  const int shape = first.markerShape;
  std::size_t m = 0;
  while (m < n && PlainChainPoint(points_, m, first.color, shape)) ++m;
  if (m < std::size_t(kPlainChainMin)) return nullptr;
  PlainChain& chain = freshChain();
  chain.x.resize(m);
  chain.y.resize(m);
  for (std::size_t i = 0; i < m; ++i) {
    chain.x[i] = points_[i].X.number;
    chain.y[i] = points_[i].Y.number;
  }
  return longEnough();
}

void TD2PointsLst::GetMarker(int& size, int& shape) const {
  const PlotPoint& p = points_.empty() ? template_ : points_[0];
  size = p.markerSize;
  shape = p.markerShape;
}

// ---- AxisTransform / TMyPosTxt --------------------------------------------------------------

int AxisTransform::toPixel(const WorldValue& v) const {
  // Same arithmetic as toPixelFast, so both agree to the pixel.
  const double p = toPixelReal(v);
  // Far outside values are clamped so the conversion stays defined.
  if (!(p > -1e9 && p < 1e9)) return p < 0 ? -1000000000 : 1000000000;
  return roundHalfEven(p);
}

WorldValue AxisTransform::toWorld(int p) const {
  if (scale == 0) return minimum;
  const double d = double((long double)(p - firstPixel) / scale);
  return wvAddUnits(minimum, d);
}

void TMyPosTxt::Place(int w, int h) {
  const int col = align % 3;  // 0 left, 1 centre, 2 right
  const int row = align / 3;  // 0 top, 1 middle, 2 bottom
  left = col == 0 ? x : col == 1 ? x - w / 2 : x - w;
  top = row == 0 ? y : row == 1 ? y - h / 2 : y - h;
  if (align < 0 || align > 8) {
    left = x;
    top = y;
  }
  right = left + w;
  bottom = top + h;
}

// ---- TGenD2DataSet --------------------------------------------------------------------------

void TGenD2DataSet::Reset() {
  name.clear();
  xStyle = TAxisStyle{};
  yStyle = TAxisStyle{};
  points = TD2PointsLst{};
  series.reset();
  xySeries.reset();
  xyNotes.reset();
  xAxis = AxisWorldData{};
  yAxis = AxisWorldData{};
  mergedX = mergedY = nullptr;
  mergedXIndex = mergedYIndex = -1;
  xTics.clear();
  yTics.clear();
  xTransform = AxisTransform{};
  yTransform = AxisTransform{};
  cursorColor = kColorBlack;
  cursorX = cursorY = foundX = foundY = 0;
  cursorMode = 0;
  cursorDrawn = false;
  messageInterval = 10000;
}

std::int64_t TGenD2DataSet::PointCount() const {
  return std::int64_t(points.Count()) + (series ? std::int64_t(series->Count()) : 0) +
         (xySeries ? std::int64_t(xySeries->Count()) : 0);
}

void TGenD2DataSet::ClearContents() {
  points.Clear();
  series.reset();
  xySeries.reset();
  xyNotes.reset();
  xTics.clear();
  yTics.clear();
}

int TGenD2DataSet::SetXKind(std::uint8_t k) {
  xAxis.minimum.kind = xAxis.maximum.kind = k;
  points.SetXKind(k);  // an empty list is no failure here
  return kPlotOk;
}

int TGenD2DataSet::SetYKind(std::uint8_t k) {
  yAxis.minimum.kind = yAxis.maximum.kind = k;
  points.SetYKind(k);
  return kPlotOk;
}

static int setUnit(AxisWorldData& axis, const QString& unit) {
  axis.unit = unit.left(255);
  if (axis.minimum.kind != kWorldNumber || axis.maximum.kind != kWorldNumber)
    return kPlotUnitOnTime;
  return kPlotOk;
}

int TGenD2DataSet::SetXUnit(const QString& unit) {
  return setUnit(xAxis, unit);
}
int TGenD2DataSet::SetYUnit(const QString& unit) {
  return setUnit(yAxis, unit);
}

void TGenD2DataSet::SetXAxisColor(ColorRef c) {
  xStyle.axisColor = c;
  if (xStyle.labelColor == 0) xStyle.labelColor = c;
}

void TGenD2DataSet::SetYAxisColor(ColorRef c) {
  yStyle.axisColor = c;
  if (yStyle.labelColor == 0) yStyle.labelColor = c;
}

int TGenD2DataSet::CopyPointsFrom(const TD2PointsLst& list, bool linked) {
  const int n = points.ReplaceFrom(list, linked);
  SetRangesFromPoints();
  return n;
}

int TGenD2DataSet::SetRangesFromPoints() {
  WorldValue minX, maxX, minY, maxY;
  points.GetBounds(minX, maxX, minY, maxY);
  // A curve without a point each widens the points' bounds, or is all of them.
  bool any = points.Count() > 0;
  const auto fold = [&](WorldValue a, WorldValue b, double lo, double hi) {
    if (wvLess(b, a)) std::swap(a, b);
    const WorldValue ylo = WorldValue::num(lo), yhi = WorldValue::num(hi);
    if (!any) {
      minX = a;
      maxX = b;
      minY = ylo;
      maxY = yhi;
    } else {
      minX = wvMin(minX, a);
      maxX = wvMax(maxX, b);
      minY = wvMin(minY, ylo);
      maxY = wvMax(maxY, yhi);
    }
    any = true;
  };
  double lo = 0, hi = 0;
  // X grows with the sample number (a negative step turns it round).
  if (series && series->Count() > 0 && series->Bounds(lo, hi))
    fold(series->XOf(0), series->XOf(series->Count() - 1), lo, hi);
  if (xySeries && xySeries->Count() > 0)
    fold(WorldValue::num(xySeries->xlo), WorldValue::num(xySeries->xhi), xySeries->ylo,
         xySeries->yhi);
  if (minX.kind != maxX.kind || minY.kind != maxY.kind) return kPlotRangeKinds;
  int rc = kPlotOk;
  // Both directions are updated even when the first one changes its kind; the code of the
  // first change is reported.
  if (xAxis.minimum.kind != minX.kind || xAxis.maximum.kind != maxX.kind) rc = kPlotAxisKindChanged;
  xAxis.minimum = minX;
  xAxis.maximum = maxX;
  if (yAxis.minimum.kind != minY.kind || yAxis.maximum.kind != maxY.kind) {
    if (rc == kPlotOk) rc = kPlotAxisKindChanged;
  }
  yAxis.minimum = minY;
  yAxis.maximum = maxY;
  return rc;
}

// ---- TAxWorldDataLst ------------------------------------------------------------------------

AxisWorldData* TAxWorldDataLst::Get(int i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return items_[std::size_t(i)].get();
}

bool TAxWorldDataLst::Matches(const AxisWorldData& a, const AxisWorldData& b) {
  return a.scaleType == b.scaleType && a.unit == b.unit && a.minimum.kind == b.minimum.kind &&
         a.maximum.kind == b.maximum.kind;
}

int TAxWorldDataLst::MatchOrAdd(const AxisWorldData& axis, AxisWorldData*& record) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    AxisWorldData& r = *items_[i];
    if (!Matches(r, axis)) continue;
    r.minimum = wvMin(r.minimum, axis.minimum);
    r.maximum = wvMax(r.maximum, axis.maximum);
    record = &r;
    return int(i);
  }
  items_.push_back(std::make_unique<AxisWorldData>(axis));
  record = items_.back().get();
  return Count() - 1;
}

int TAxWorldDataLst::ResetPointCounts() {
  if (items_.empty()) return kPlotEmpty;
  for (auto& r : items_) r->pointCount = 0;
  return kPlotOk;
}

// ---- TGenD2DataSetsLst ----------------------------------------------------------------------

int TGenD2DataSetsLst::Get(int i, TGenD2DataSet*& out) const {
  if (items_.empty()) return kPlotEmpty;
  if (i < 0 || i >= Count()) return kPlotIndex;
  out = items_[std::size_t(i)].get();
  return kPlotOk;
}

TGenD2DataSet& TGenD2DataSetsLst::AddCopy(TGenD2DataSet& src) {
  auto set = std::make_unique<TGenD2DataSet>();
  set->name = src.name;
  set->points.Template() = src.points.GetTemplate();
  // The builder is emptied right after, so its points move instead of being copied point by
  // point (a scope record of 131000 points per curve makes the copy noticeable).
  set->points.TakeFrom(src.points);
  set->series = std::move(src.series);
  set->xySeries = std::move(src.xySeries);
  set->SetRangesFromPoints();
  set->xStyle = src.xStyle;
  set->yStyle = src.yStyle;
  set->xAxis = src.xAxis;
  set->yAxis = src.yAxis;
  set->messageInterval = src.messageInterval;
  items_.push_back(std::move(set));
  src.ClearContents();
  return *items_.back();
}

void TGenD2DataSetsLst::SortByName() {
  // Character codes in ascending order; equal names keep their order.
  std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
    return QString::compare(a->name, b->name, Qt::CaseSensitive) < 0;
  });
}

// ---- TMeasurementData -----------------------------------------------------------------------

const TMeasurementEntry* TMeasurementData::Get(int i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return &entries_[std::size_t(i)];
}

int TMeasurementData::AddEntry(const TMeasurementEntry& e) {
  entries_.push_back(e);
  filledFlag = 1;
  return Count() - 1;
}

}  // namespace tolv
