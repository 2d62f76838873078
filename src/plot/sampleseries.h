#pragma once
// Long curves of evenly spaced samples without a point per sample: a reader hands out the
// values (from memory or straight from a file), a min/max pyramid summarises them per 64 and
// per 4096 samples, so the minimum and maximum of any stretch costs about one summary value
// per pixel column plus the few samples at its ends.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "plot/plotdata.h"
#include "plot/worldvalue.h"

namespace tolv {

// The values of a series, numbered from 0.
class TSampleReader {
 public:
  virtual ~TSampleReader() = default;
  virtual std::uint64_t Count() const = 0;
  // Copies values first .. first + n - 1 into out; false when they cannot be read (the
  // reader's file went away, or the range passes the end).
  virtual bool Read(std::uint64_t first, std::size_t n, double* out) const = 0;
  // The values where they lie in memory (Count() of them), or null when they must be read.
  virtual const double* Held() const { return nullptr; }
};

// Values held in memory (a record handed to the plot is copied into it).
class TVectorSampleReader : public TSampleReader {
 public:
  explicit TVectorSampleReader(std::vector<double> v) : v_(std::move(v)) {}
  std::uint64_t Count() const override { return v_.size(); }
  bool Read(std::uint64_t first, std::size_t n, double* out) const override;
  const double* Held() const override { return v_.data(); }
  const std::vector<double>& Values() const { return v_; }

 private:
  std::vector<double> v_;
};

// Values in a buffer of their own, written once by whoever made the reader (a record copied
// while it is summarised), never cleared first.
class TBufferSampleReader : public TSampleReader {
 public:
  explicit TBufferSampleReader(std::size_t n) : v_(new double[n]), n_(n) {}
  std::uint64_t Count() const override { return n_; }
  bool Read(std::uint64_t first, std::size_t n, double* out) const override;
  const double* Held() const override { return v_.get(); }
  double* Data() { return v_.get(); }

 private:
  std::unique_ptr<double[]> v_;
  std::size_t n_;
};

// Minimum and maximum per 64 and per 4096 samples, appended piece by piece while the values
// are read or written once.
class TMinMaxPyramid {
 public:
  static constexpr std::uint64_t kFine = 64;
  static constexpr std::uint64_t kCoarse = 4096;

  void Clear();
  // Room for the summaries of count values, so appending never moves them.
  void Reserve(std::uint64_t count);
  void Append(const double* v, std::size_t n);
  // As Append, copying the values to copy[0 .. n - 1] on the way; false when one of them is no
  // finite number (the summaries are then of no use).
  bool AppendFinite(const double* v, std::size_t n, double* copy);
  std::uint64_t Count() const { return count_; }
  // Of all values appended so far; false without values.
  bool Bounds(double& lo, double& hi) const;
  // Minimum and maximum of values [a, b) (a < b <= Count()); whole blocks come from the
  // summaries, the values at the ends from the reader. False when the reader fails.
  bool MinMax(const TSampleReader& r, std::uint64_t a, std::uint64_t b, double& lo,
              double& hi) const;
  std::size_t MemoryBytes() const;

 private:
  struct Level {
    std::vector<double> lo, hi;
  };
  // Appends n values to the level of blocks of `size`, counting from count_; with copy, copies
  // them there too and tells whether all were finite.
  bool appendTo(Level& l, std::uint64_t size, const double* v, std::size_t n, double* copy);
  // The coarse level over the n values just appended to the fine one; counts them.
  void appendCoarse(std::size_t n);
  Level fine_, coarse_;
  std::uint64_t count_ = 0;
};

// One curve drawn from a reader: sample i stands at X = x0 + i * dx (seconds added to a clock
// time), or at its stored X, joined to sample i + 1 by a line, in one colour.
class TSampleSeries {
 public:
  using XValues = std::shared_ptr<const std::vector<double>>;

  // Reads the values once, in pieces, to build the pyramid.
  TSampleSeries(std::shared_ptr<const TSampleReader> reader, const WorldValue& x0, double dx);
  // With a pyramid built while the values were read elsewhere.
  TSampleSeries(std::shared_ptr<const TSampleReader> reader, TMinMaxPyramid pyramid,
                const WorldValue& x0, double dx);
  // Sample i at the number (*xs)[i], for samples whose times were read rather than counted
  // (a series as long as the shorter of reader and xs). The X values must pass UsableX.
  TSampleSeries(std::shared_ptr<const TSampleReader> reader, XValues xs);
  // Finite and never decreasing: the order the column search and the X searches rely on.
  static bool UsableX(const double* xs, std::size_t n);

  std::uint64_t Count() const { return pyramid_.Count(); }
  WorldValue XOf(std::uint64_t i) const {
    if (xs_) return WorldValue::num((*xs_)[std::size_t(i)] + shift_);
    return evenX(i);
  }
  // XOf(i)'s number, for a series on numbers rather than clock time.
  double XNumber(std::uint64_t i) const {
    return xs_ ? (*xs_)[std::size_t(i)] + shift_ : x0_.number + double(i) * dx_;
  }
  // The first sample's X; with stored X values dx is their mean step (a guess for searches).
  const WorldValue& X0() const { return x0_; }
  double Dx() const { return dx_; }
  const XValues& StoredX() const { return xs_; }
  // The same samples moved along X by dx (a trigger shift): values and stored X values are
  // shared, the summaries copied (a thirty-second of the values), nothing read again.
  std::shared_ptr<TSampleSeries> MovedX(double dx) const;
  // The sample whose X lies nearest to x (the earliest one on a tie); Count() when empty.
  std::uint64_t NearestIndex(const WorldValue& x) const;
  // First index whose X is >= x (>, strict = true); Count() when none.
  std::uint64_t LowerIndex(const WorldValue& x, bool strict) const;
  bool Value(std::uint64_t i, double& v) const {
    if (held_ && i < Count()) {
      v = held_[i];
      return true;
    }
    return reader_->Read(i, 1, &v);
  }
  bool Read(std::uint64_t first, std::size_t n, double* out) const {
    return reader_->Read(first, n, out);
  }
  bool MinMax(std::uint64_t a, std::uint64_t b, double& lo, double& hi) const {
    return pyramid_.MinMax(*reader_, a, b, lo, hi);
  }
  bool Bounds(double& lo, double& hi) const { return pyramid_.Bounds(lo, hi); }
  const TMinMaxPyramid& Pyramid() const { return pyramid_; }
  const TSampleReader& Reader() const { return *reader_; }

  ColorRef color = kColorBlue;

 private:
  WorldValue evenX(std::uint64_t i) const;
  void summarise(std::uint64_t n);

  std::shared_ptr<const TSampleReader> reader_;
  const double* held_ = nullptr;  // the reader's values when they lie in memory
  XValues xs_;
  double shift_ = 0.0;  // added to the stored X values
  TMinMaxPyramid pyramid_;
  WorldValue x0_;
  double dx_ = 1.0;
};

// The points of an XY curve, numbered from 0: point i is (X value i, Y value i).
class TPairReader {
 public:
  virtual ~TPairReader() = default;
  virtual std::uint64_t Count() const = 0;
  // Points first .. first + n - 1 into xs and ys; false when they cannot be read.
  virtual bool Read(std::uint64_t first, std::size_t n, double* xs, double* ys) const = 0;
};

// An XY curve too long for a point each (a whole logger stream): drawn straight from its
// reader a piece at a time, each point joined to the one before by a line, in one colour,
// without markers, so its memory does not grow with its length. Its bounds come from whoever
// made it (the summaries of the two channels it pairs), so nothing is read to lay out a picture.
struct TXYBoxes;
struct TXYSeries {
  std::shared_ptr<const TPairReader> reader;
  double xlo = 0.0, xhi = 0.0, ylo = 0.0, yhi = 0.0;
  ColorRef color = kColorBlue;
  // Left by its first whole drawing, for every later one whatever the view or the data set
  // drawing it: a re-plot of the same curve (another plot mode and back, auto-scale) keeps it.
  mutable std::shared_ptr<const TXYBoxes> boxes;
  std::uint64_t Count() const { return reader ? reader->Count() : 0; }
};

// The bounds of each block of `block` points of an XY series, so a zoomed picture reads only
// the blocks that can reach it. Per block b: the finite X and Y values of points b * block ..
// (b + 1) * block - 1 and of the point before them (the line into the block starts there);
// lo > hi where none is. Blocks are 256 points up to 16M points, then twice as long at each
// doubling of the stream, so a file of any size keeps at most 64k of them (2 MiB) and a zoomed
// redraw never looks at more.
struct TXYBoxes {
  static constexpr int kMinShift = 8;
  static constexpr std::uint64_t kMaxBlocks = std::uint64_t(1) << 16;
  // The block length, as a power of two, for n points.
  static int ShiftFor(std::uint64_t n) {
    int shift = kMinShift;
    while (((n + (std::uint64_t(1) << shift) - 1) >> shift) > kMaxBlocks) ++shift;
    return shift;
  }
  // The points they were made of: a series handed another reader makes its own.
  std::weak_ptr<const TPairReader> reader;
  // How many points they were made of: a reader grown within its last block would otherwise
  // have its new points skipped by the old bounds. The block length follows from it.
  std::uint64_t count = 0;
  int shift = kMinShift;
  std::vector<double> xlo, xhi, ylo, yhi;
  std::uint64_t Block() const { return std::uint64_t(1) << shift; }
  std::size_t BlockOf(std::uint64_t i) const { return std::size_t(i >> shift); }
  // Starts the boxes afresh for n points.
  void Begin(std::uint64_t n);
  // Whether they hold the blocks of series s.
  bool Serve(const TXYSeries& s) const { return reader.lock() == s.reader && count == s.Count(); }
  // Folds point i into its block and, when it is a block's last, into the next one.
  void Fold(std::uint64_t i, double x, double y) {
    const std::size_t b = BlockOf(i);
    fold(b, x, y);
    if (((i + 1) & (Block() - 1)) == 0 && b + 1 < xlo.size()) fold(b + 1, x, y);
  }

 private:
  void fold(std::size_t b, double x, double y) {
    if (std::isfinite(x) && std::isfinite(y)) {
      xlo[b] = std::min(xlo[b], x);
      xhi[b] = std::max(xhi[b], x);
      ylo[b] = std::min(ylo[b], y);
      yhi[b] = std::max(yhi[b], y);
    }
  }
};

// Of each pixel of a plot area, the earliest point of an XY series standing on it, noted while
// the series is drawn: the nearest-point read-out then looks at the pixels around the pointer
// instead of reading the whole series again on every mouse move. Kept in tiles of 32 x 32
// pixels made where a point lands, so a mostly empty plot on a large screen costs little; the
// tiles at the right and bottom edges are cut to the area, so even a covered plot holds no more
// cells than it has pixels. Each tile is allocated on its own and never moves; a new view takes
// the last one's tiles again instead of freeing and allocating them.
class TXYNearestGrid {
 public:
  // Empties the grid for the pixels left..right x top..bottom (bounds included).
  void Begin(int left, int top, int right, int bottom);
  // Point `index` stands on pixel (x, y); points are noted in rising order, so the first noted
  // on a pixel is kept. Pixels outside the area and indices the grid cannot hold are ignored
  // (Usable then tells).
  void Note(int x, int y, std::uint64_t index) {
    if (x < left_ || x > right_ || y < top_ || y > bottom_) return;
    if (index >= kMaxIndex) {
      overflow_ = true;
      return;
    }
    const int rx = x - left_, ry = y - top_;
    std::unique_ptr<std::uint32_t[]>& t = tiles_[tileOf(rx, ry)];
    if (!t) makeTile(t, rx, ry);
    std::uint32_t& c = t[cellOf(rx, ry)];
    if (c == 0) c = std::uint32_t(index + 1);
    noted_ = true;
  }
  // Ends the noting; tiles an earlier view left and this one did not take go.
  void Finish();
  bool Usable() const { return complete_; }
  // The noted point nearest to (cx, cy) by the mode (1 by |dx|, 2 by |dy|, 3 by the squared
  // distance), the earliest on equal distances; false when none is noted.
  bool Nearest(int cx, int cy, int mode, std::uint64_t& index, int& x, int& y,
               long long& dist) const;
  // What the grid holds allocated: the cells, the tile pointers and the kept tiles.
  std::size_t MemoryBytes() const;
  // The cells alone, the most of which is one per pixel of the area.
  std::size_t CellBytes() const { return cells_ * sizeof(std::uint32_t); }
  // The tiles made for the current view.
  std::size_t Tiles() const { return made_; }

 private:
  static constexpr std::uint64_t kMaxIndex = 0xFFFFFFFEu;
  static constexpr int kTileShift = 5;
  static constexpr int kTile = 1 << kTileShift;
  static constexpr int kMask = kTile - 1;
  static constexpr std::size_t kTileCells = std::size_t(kTile) * kTile;
  std::size_t tileOf(int rx, int ry) const {
    return std::size_t(ry >> kTileShift) * std::size_t(tilesX_) + std::size_t(rx >> kTileShift);
  }
  // A tile's row is cut at the area's right edge.
  std::size_t cellOf(int rx, int ry) const {
    const int stride = rx >= lastX_ ? width_ - lastX_ : kTile;
    return std::size_t(ry & kMask) * std::size_t(stride) + std::size_t(rx & kMask);
  }
  void makeTile(std::unique_ptr<std::uint32_t[]>& t, int rx, int ry);
  std::uint32_t at(int x, int y) const {
    const int rx = x - left_, ry = y - top_;
    const std::unique_ptr<std::uint32_t[]>& t = tiles_[tileOf(rx, ry)];
    return t ? t[cellOf(rx, ry)] : 0;
  }
  // Per tile of the area, its cells (index + 1 per pixel, 0 where none); empty while no point.
  std::vector<std::unique_ptr<std::uint32_t[]>> tiles_;
  // Whole tiles of the last view, cleared and taken again by this one as it needs tiles.
  std::vector<std::unique_ptr<std::uint32_t[]>> spare_;
  std::size_t made_ = 0, cells_ = 0;
  int left_ = 0, top_ = 0, right_ = -1, bottom_ = -1, width_ = 0, height_ = 0, tilesX_ = 0;
  int lastX_ = 0;  // where the last column of tiles starts (cut at the right edge)
  bool complete_ = false, overflow_ = false, noted_ = false;
};

// What drawing an XY series leaves for the read-outs after it, kept by the data set: the
// nearest-point grid of the last finished picture.
struct TXYNotes {
  // The series they were made of.
  std::weak_ptr<const TXYSeries> series;
  TXYNearestGrid grid;
  // The view the grid was made for (transforms, ranges, plot area); compared before use.
  std::vector<double> gridView;
  bool gridValid = false;
};

}  // namespace tolv
