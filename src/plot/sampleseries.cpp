#include "plot/sampleseries.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolv {

namespace {

#if defined(__SSE2__)
// Joins the two-lane chains of minima (l0, l1) and maxima (h0, h1) into lo and hi.
void joinLanes(__m128d l0, __m128d l1, __m128d h0, __m128d h1, double& lo, double& hi) {
  double l[4], h[4];
  _mm_storeu_pd(l, l0);
  _mm_storeu_pd(l + 2, l1);
  _mm_storeu_pd(h, h0);
  _mm_storeu_pd(h + 2, h1);
  for (std::size_t k = 0; k < 4; ++k) {
    lo = l[k] < lo ? l[k] : lo;
    hi = h[k] > hi ? h[k] : hi;
  }
}
#endif

// Folds a[k] into the minimum lo and b[k] into the maximum hi for k < n, in independent chains
// that are joined at the end; the result is the one of comparing value after value (a NaN
// value is passed over, a NaN bound stays). Every record and every redraw goes through here,
// so on x86 the chains run two to a register (minpd keeps its second operand on a NaN, as
// the comparison below does).
void foldOne(const double* v, std::size_t n, double& lo, double& hi);

void fold(const double* a, const double* b, std::size_t n, double& lo, double& hi) {
  if (a == b) return foldOne(a, n, lo, hi);
  std::size_t j = 0;
#if defined(__SSE2__)
  if (n >= 8) {
    __m128d l0 = _mm_set1_pd(lo), l1 = l0, h0 = _mm_set1_pd(hi), h1 = h0;
    for (; j + 4 <= n; j += 4) {
      l0 = _mm_min_pd(_mm_loadu_pd(a + j), l0);
      l1 = _mm_min_pd(_mm_loadu_pd(a + j + 2), l1);
      h0 = _mm_max_pd(_mm_loadu_pd(b + j), h0);
      h1 = _mm_max_pd(_mm_loadu_pd(b + j + 2), h1);
    }
    joinLanes(l0, l1, h0, h1, lo, hi);
  }
#endif
  double l[4] = {lo, lo, lo, lo}, h[4] = {hi, hi, hi, hi};
  for (; j + 4 <= n; j += 4) {
    for (std::size_t k = 0; k < 4; ++k) {
      l[k] = a[j + k] < l[k] ? a[j + k] : l[k];
      h[k] = b[j + k] > h[k] ? b[j + k] : h[k];
    }
  }
  for (; j < n; ++j) {
    l[0] = a[j] < l[0] ? a[j] : l[0];
    h[0] = b[j] > h[0] ? b[j] : h[0];
  }
  for (std::size_t k = 1; k < 4; ++k) {
    l[0] = l[k] < l[0] ? l[k] : l[0];
    h[0] = h[k] > h[0] ? h[k] : h[0];
  }
  lo = l[0];
  hi = h[0];
}

// fold of one array into both bounds: each value loaded once, in eight chains (the values
// of every column of a picture go through here).
void foldOne(const double* v, std::size_t n, double& lo, double& hi) {
  std::size_t j = 0;
#if defined(__SSE2__)
  if (n >= 8) {
    __m128d l[4], h[4];
    for (int k = 0; k < 4; ++k) {
      l[k] = _mm_set1_pd(lo);
      h[k] = _mm_set1_pd(hi);
    }
    for (; j + 8 <= n; j += 8) {
      for (int k = 0; k < 4; ++k) {
        const __m128d x = _mm_loadu_pd(v + j + 2 * std::size_t(k));
        l[k] = _mm_min_pd(x, l[k]);
        h[k] = _mm_max_pd(x, h[k]);
      }
    }
    double ls[8], hs[8];
    for (int k = 0; k < 4; ++k) {
      _mm_storeu_pd(ls + 2 * k, l[k]);
      _mm_storeu_pd(hs + 2 * k, h[k]);
    }
    for (std::size_t k = 0; k < 8; ++k) {
      lo = ls[k] < lo ? ls[k] : lo;
      hi = hs[k] > hi ? hs[k] : hi;
    }
  }
#endif
  for (; j < n; ++j) {
    lo = v[j] < lo ? v[j] : lo;
    hi = v[j] > hi ? v[j] : hi;
  }
}

// fold of one array into both bounds, copying it to `copy` on the way; false when a value is
// no finite number (the bounds are then meaningless). A record passes through here once, so
// checking, copying and summarising it take one pass while it is in the cache.
bool foldCopy(const double* v, std::size_t n, double& lo, double& hi, double* copy) {
  std::size_t j = 0;
  bool finite = true;
#if defined(__SSE2__)
  if (n >= 8) {
    __m128d l0 = _mm_set1_pd(lo), l1 = l0, h0 = _mm_set1_pd(hi), h1 = h0;
    const __m128d zero = _mm_setzero_pd();
    __m128d fin = _mm_castsi128_pd(_mm_set1_epi32(-1));
    for (; j + 4 <= n; j += 4) {
      const __m128d a = _mm_loadu_pd(v + j), b = _mm_loadu_pd(v + j + 2);
      _mm_storeu_pd(copy + j, a);
      _mm_storeu_pd(copy + j + 2, b);
      // x - x is 0 for every finite x, NaN for infinities and NaN.
      fin = _mm_and_pd(fin, _mm_and_pd(_mm_cmpeq_pd(_mm_sub_pd(a, a), zero),
                                       _mm_cmpeq_pd(_mm_sub_pd(b, b), zero)));
      l0 = _mm_min_pd(a, l0);
      l1 = _mm_min_pd(b, l1);
      h0 = _mm_max_pd(a, h0);
      h1 = _mm_max_pd(b, h1);
    }
    finite = _mm_movemask_pd(fin) == 3;
    joinLanes(l0, l1, h0, h1, lo, hi);
  }
#endif
  for (; j < n; ++j) {
    finite &= std::isfinite(v[j]);
    copy[j] = v[j];
    lo = v[j] < lo ? v[j] : lo;
    hi = v[j] > hi ? v[j] : hi;
  }
  return finite;
}

}  // namespace

namespace {

bool readHeld(const double* v, std::uint64_t count, std::uint64_t first, std::size_t n,
              double* out) {
  if (first > count || n > count - first) return false;
  std::copy_n(v + first, n, out);
  return true;
}

}  // namespace

bool TVectorSampleReader::Read(std::uint64_t first, std::size_t n, double* out) const {
  return readHeld(v_.data(), v_.size(), first, n, out);
}

bool TBufferSampleReader::Read(std::uint64_t first, std::size_t n, double* out) const {
  return readHeld(v_.get(), n_, first, n, out);
}

// ---- TMinMaxPyramid -------------------------------------------------------------------------

void TMinMaxPyramid::Clear() {
  fine_ = {};
  coarse_ = {};
  count_ = 0;
}

bool TMinMaxPyramid::appendTo(Level& l, std::uint64_t size, const double* v, std::size_t n,
                              double* copy) {
  // Block by block: each block's minimum and maximum in one tight loop, the block begun by an
  // earlier piece carried on.
  bool finite = true;
  std::uint64_t i = count_;
  for (std::size_t k = 0; k < n;) {
    const std::uint64_t at = i % size;
    const std::size_t m = std::size_t(std::min<std::uint64_t>(size - at, n - k));
    double lo = 0, hi = 0;
    std::size_t j = k;
    if (at == 0) {
      lo = hi = v[j];
      if (copy) {
        copy[j] = v[j];
        finite &= std::isfinite(v[j]);
      }
      ++j;
    } else {
      lo = l.lo.back();
      hi = l.hi.back();
    }
    if (copy)
      finite &= foldCopy(v + j, k + m - j, lo, hi, copy + j);
    else
      fold(v + j, v + j, k + m - j, lo, hi);
    if (at == 0) {
      l.lo.push_back(lo);
      l.hi.push_back(hi);
    } else {
      l.lo.back() = lo;
      l.hi.back() = hi;
    }
    k += m;
    i += m;
  }
  return finite;
}

void TMinMaxPyramid::Reserve(std::uint64_t count) {
  fine_.lo.reserve(std::size_t((count + kFine - 1) / kFine));
  fine_.hi.reserve(std::size_t((count + kFine - 1) / kFine));
  coarse_.lo.reserve(std::size_t((count + kCoarse - 1) / kCoarse));
  coarse_.hi.reserve(std::size_t((count + kCoarse - 1) / kCoarse));
}

void TMinMaxPyramid::Append(const double* v, std::size_t n) {
  if (n == 0) return;
  appendTo(fine_, kFine, v, n, nullptr);
  appendCoarse(n);
}

bool TMinMaxPyramid::AppendFinite(const double* v, std::size_t n, double* copy) {
  if (n == 0) return true;
  const bool finite = appendTo(fine_, kFine, v, n, copy);
  appendCoarse(n);
  return finite;
}

void TMinMaxPyramid::appendCoarse(std::size_t n) {
  // The coarse blocks touched are folded from their fine blocks: a sixty-fourth of the work.
  const std::uint64_t per = kCoarse / kFine;
  const std::uint64_t first = count_ / kCoarse, end = (count_ + n - 1) / kCoarse + 1;
  coarse_.lo.resize(std::size_t(end));
  coarse_.hi.resize(std::size_t(end));
  for (std::uint64_t c = first; c < end; ++c) {
    const std::size_t f0 = std::size_t(c * per);
    const std::size_t f1 = std::min(fine_.lo.size(), std::size_t((c + 1) * per));
    double lo = fine_.lo[f0], hi = fine_.hi[f0];
    fold(fine_.lo.data() + f0 + 1, fine_.hi.data() + f0 + 1, f1 - f0 - 1, lo, hi);
    coarse_.lo[std::size_t(c)] = lo;
    coarse_.hi[std::size_t(c)] = hi;
  }
  count_ += n;
}

bool TMinMaxPyramid::Bounds(double& lo, double& hi) const {
  if (count_ == 0) return false;
  lo = *std::min_element(coarse_.lo.begin(), coarse_.lo.end());
  hi = *std::max_element(coarse_.hi.begin(), coarse_.hi.end());
  return true;
}

std::size_t TMinMaxPyramid::MemoryBytes() const {
  return (fine_.lo.capacity() + fine_.hi.capacity() + coarse_.lo.capacity() +
          coarse_.hi.capacity()) *
         sizeof(double);
}

bool TMinMaxPyramid::MinMax(const TSampleReader& r, std::uint64_t a, std::uint64_t b,
                            double& lo, double& hi) const {
  if (a >= b || b > count_) return false;
  bool any = false;
  const auto take = [&](const double* l, const double* h, std::size_t n) {
    if (n == 0) return;
    if (!any) {
      lo = *l++;
      hi = *h++;
      --n;
      any = true;
    }
    fold(l, h, n, lo, hi);
  };
  // The values before the first whole block and after the last one, read directly (values
  // held in memory where they lie).
  const double* held = r.Held();
  const auto direct = [&](std::uint64_t from, std::uint64_t to) {
    if (held) {
      if (to > r.Count()) return false;
      take(held + from, held + from, std::size_t(to - from));
      return true;
    }
    double buf[kFine];
    while (from < to) {
      const std::size_t n = std::size_t(std::min<std::uint64_t>(to - from, kFine));
      if (!r.Read(from, n, buf)) return false;
      take(buf, buf, n);
      from += n;
    }
    return true;
  };
  const auto blocks = [&](const Level& l, std::uint64_t from, std::uint64_t to) {
    take(l.lo.data() + from, l.hi.data() + from, std::size_t(to - from));
  };
  const std::uint64_t f0 = (a + kFine - 1) / kFine, f1 = b / kFine;  // whole fine blocks
  // A short stretch held in memory (a column of a record's picture) is read whole: one pass
  // costs less than its ragged ends and a block or two each passed on their own.
  if (f0 >= f1 || (held && b - a <= 2 * kFine)) return direct(a, b);
  if (!direct(a, f0 * kFine) || !direct(f1 * kFine, b)) return false;
  const std::uint64_t per = kCoarse / kFine;
  const std::uint64_t c0 = (f0 + per - 1) / per, c1 = f1 / per;  // whole coarse blocks
  if (c0 >= c1) {
    blocks(fine_, f0, f1);
  } else {
    blocks(fine_, f0, c0 * per);
    blocks(coarse_, c0, c1);
    blocks(fine_, c1 * per, f1);
  }
  return true;
}

// ---- TSampleSeries --------------------------------------------------------------------------

TSampleSeries::TSampleSeries(std::shared_ptr<const TSampleReader> reader, const WorldValue& x0,
                             double dx)
    : reader_(std::move(reader)), held_(reader_->Held()), x0_(x0), dx_(dx) {
  summarise(reader_->Count());
}

TSampleSeries::TSampleSeries(std::shared_ptr<const TSampleReader> reader, TMinMaxPyramid pyramid,
                             const WorldValue& x0, double dx)
    : reader_(std::move(reader)),
      held_(reader_->Held()),
      pyramid_(std::move(pyramid)),
      x0_(x0),
      dx_(dx) {}

TSampleSeries::TSampleSeries(std::shared_ptr<const TSampleReader> reader, XValues xs)
    : reader_(std::move(reader)), held_(reader_->Held()), xs_(std::move(xs)) {
  const std::uint64_t n = std::min<std::uint64_t>(reader_->Count(), xs_->size());
  if (n > 0) x0_ = WorldValue::num(xs_->front());
  if (n > 1) dx_ = ((*xs_)[std::size_t(n - 1)] - xs_->front()) / double(n - 1);
  summarise(n);
}

std::shared_ptr<TSampleSeries> TSampleSeries::MovedX(double dx) const {
  auto moved = std::make_shared<TSampleSeries>(*this);
  if (xs_) {
    moved->shift_ += dx;
    if (Count() > 0) moved->x0_ = moved->XOf(0);
  } else if (x0_.kind == kWorldTime) {
    moved->x0_ = WorldValue::at(dtAddSeconds(x0_.time(), dx));
  } else {
    moved->x0_ = WorldValue::num(x0_.number + dx);
  }
  return moved;
}

bool TSampleSeries::UsableX(const double* xs, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (!std::isfinite(xs[i]) || (i > 0 && xs[i] < xs[i - 1])) return false;
  return true;
}

void TSampleSeries::summarise(std::uint64_t n) {
  // Values held in memory are summarised where they lie, without a copy.
  if (held_) {
    pyramid_.Reserve(n);
    pyramid_.Append(held_, std::size_t(n));
    return;
  }
  std::vector<double> buf(65536);
  for (std::uint64_t i = 0; i < n;) {
    const std::size_t m = std::size_t(std::min<std::uint64_t>(n - i, buf.size()));
    if (!reader_->Read(i, m, buf.data())) break;  // a series as long as what could be read
    pyramid_.Append(buf.data(), m);
    i += m;
  }
}

WorldValue TSampleSeries::evenX(std::uint64_t i) const {
  // The same arithmetic as the point lists use, so both stand on the same pixels.
  if (x0_.kind == kWorldTime) return WorldValue::at(dtAddSeconds(x0_.time(), double(i) * dx_));
  return WorldValue::num(x0_.number + double(i) * dx_);
}

std::uint64_t TSampleSeries::LowerIndex(const WorldValue& x, bool strict) const {
  std::uint64_t lo = 0, hi = Count();
  while (lo < hi) {
    const std::uint64_t mid = lo + (hi - lo) / 2;
    const WorldValue xm = XOf(mid);
    const bool before = strict ? wvLessEqual(xm, x) : wvLess(xm, x);
    if (before)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

std::uint64_t TSampleSeries::NearestIndex(const WorldValue& x) const {
  const std::uint64_t n = Count();
  if (n == 0 || x.kind != x0_.kind) return n;
  const std::uint64_t i = LowerIndex(x, false);
  if (i == 0) return 0;
  if (i >= n) return n - 1;
  const double da = std::fabs(wvSub(XOf(i - 1), x).toNumber());
  const double db = std::fabs(wvSub(XOf(i), x).toNumber());
  if (db < da) return i;
  // Samples sharing that X: the first of them, as a search in sample order finds.
  return LowerIndex(XOf(i - 1), false);
}

}  // namespace tolv

namespace tolv {

void TXYNearestGrid::Begin(int left, int top, int right, int bottom) {
  complete_ = overflow_ = noted_ = false;
  const int w = std::max(right - left + 1, 0), h = std::max(bottom - top + 1, 0);
  // The last view's whole tiles are kept for this one (cut ones fit only their own edge), no
  // more than this area has whole tiles, so the kept and the made never pass its pixels.
  const std::size_t whole = std::size_t(w >> kTileShift) * std::size_t(h >> kTileShift);
  if (spare_.size() > whole) spare_.resize(whole);
  if (spare_.capacity() > 2 * whole) spare_.shrink_to_fit();
  spare_.reserve(whole);  // taking and giving back tiles never moves the pointers
  for (std::size_t i = 0; i < tiles_.size(); ++i) {
    if (!tiles_[i]) continue;
    const int x0 = int(i % std::size_t(tilesX_)) * kTile, y0 = int(i / std::size_t(tilesX_)) * kTile;
    if (x0 + kTile <= width_ && y0 + kTile <= height_ && spare_.size() < whole)
      spare_.push_back(std::move(tiles_[i]));
    else
      tiles_[i].reset();
  }
  left_ = left;
  top_ = top;
  right_ = left + w - 1;
  bottom_ = top + h - 1;
  width_ = w;
  height_ = h;
  tilesX_ = (w + kMask) >> kTileShift;
  const int tilesY = (h + kMask) >> kTileShift;
  lastX_ = std::max(tilesX_ - 1, 0) * kTile;
  tiles_.resize(std::size_t(tilesX_) * std::size_t(tilesY));
  if (tiles_.capacity() > 2 * tiles_.size()) tiles_.shrink_to_fit();
  made_ = 0;
  cells_ = spare_.size() * kTileCells;
}

void TXYNearestGrid::Finish() {
  complete_ = !overflow_;
  cells_ -= spare_.size() * kTileCells;
  spare_.clear();
}

void TXYNearestGrid::makeTile(std::unique_ptr<std::uint32_t[]>& t, int rx, int ry) {
  ++made_;
  const int x0 = rx & ~kMask, y0 = ry & ~kMask;
  if (x0 + kTile <= width_ && y0 + kTile <= height_ && !spare_.empty()) {
    t = std::move(spare_.back());
    spare_.pop_back();
    std::fill_n(t.get(), kTileCells, 0u);
    return;
  }
  const std::size_t n = std::size_t(std::min(kTile, width_ - x0)) * std::min(kTile, height_ - y0);
  t = std::make_unique<std::uint32_t[]>(n);  // zeroed
  cells_ += n;
}

std::size_t TXYNearestGrid::MemoryBytes() const {
  return CellBytes() + (tiles_.capacity() + spare_.capacity()) * sizeof(void*);
}

bool TXYNearestGrid::Nearest(int cx, int cy, int mode, std::uint64_t& index, int& x, int& y,
                             long long& dist) const {
  bool found = false;
  std::uint32_t best = 0;
  const auto consider = [&](int px, int py, long long d) {
    const std::uint32_t c = at(px, py);
    if (c == 0) return;
    if (!found || d < dist || (d == dist && c < best)) {
      found = true;
      best = c;
      dist = d;
      x = px;
      y = py;
    }
  };
  if (!noted_) return false;
  if (mode == 1 || mode == 2) {
    // Whole columns (by X) or rows (by Y), outwards from the pointer's; the first that holds a
    // point decides, its neighbour on the other side at the same distance competing.
    const bool byX = mode == 1;
    const int lo = byX ? left_ : top_, hi = byX ? right_ : bottom_, c = byX ? cx : cy;
    for (int d = 0; c - d >= lo || c + d <= hi; ++d) {
      for (int side = 0; side < (d == 0 ? 1 : 2); ++side) {
        const int line = side == 0 ? c - d : c + d;
        if (line < lo || line > hi) continue;
        if (byX)
          for (int py = top_; py <= bottom_; ++py) consider(line, py, d);
        else
          for (int px = left_; px <= right_; ++px) consider(px, line, d);
      }
      if (found) break;
    }
  } else {
    // Rings of growing half-width around the pointer; a ring of half-width r lies at least r
    // away, so none beyond the found distance can win or tie.
    for (int r = 0;; ++r) {
      if (found && (long long)r * r > dist) break;
      if (cx - r < left_ && cx + r > right_ && cy - r < top_ && cy + r > bottom_) break;
      const auto visit = [&](int px, int py) {
        if (px < left_ || px > right_ || py < top_ || py > bottom_) return;
        const long long dx = px - cx, dy = py - cy;
        consider(px, py, dx * dx + dy * dy);
      };
      if (r == 0) {
        visit(cx, cy);
        continue;
      }
      for (int px = cx - r; px <= cx + r; ++px) {
        visit(px, cy - r);
        visit(px, cy + r);
      }
      for (int py = cy - r + 1; py <= cy + r - 1; ++py) {
        visit(cx - r, py);
        visit(cx + r, py);
      }
    }
  }
  if (found) index = best - 1;
  return found;
}

void TXYBoxes::Begin(std::uint64_t n) {
  count = n;
  shift = ShiftFor(n);
  const std::size_t blocks = std::size_t((n + Block() - 1) >> shift);
  xlo.assign(blocks, HUGE_VAL);
  ylo.assign(blocks, HUGE_VAL);
  xhi.assign(blocks, -HUGE_VAL);
  yhi.assign(blocks, -HUGE_VAL);
}

}  // namespace tolv
