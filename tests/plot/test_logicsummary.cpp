// A long logic recording kept in a file is drawn from its per-block summary: the summary's
// answers equal those of the samples themselves, and the timing diagram drawn from it is the
// one drawn from the whole list, pixel for pixel, for full, zoomed and panned views.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <random>
#include <vector>

#include "common/windowmessages.h"
#include "plot/loganal_list.h"
#include "plot/loganal_plot.h"
#include "plot/logicsummary.h"

namespace tolv {
namespace {

// Words in memory posing as a file; counts what is read, and may stop short like a file cut.
class VectorWords : public TLogicWords {
 public:
  explicit VectorWords(std::vector<std::uint16_t> w, std::int64_t readable = -1)
      : w_(std::move(w)), readable_(readable < 0 ? std::int64_t(w_.size()) : readable) {}
  std::int64_t count() const override { return std::int64_t(w_.size()); }
  std::int64_t read(std::int64_t first, std::int64_t n, std::uint16_t* out) const override {
    ++reads;
    const std::int64_t end = std::min(first + n, readable_);
    for (std::int64_t i = first; i < end; ++i) out[i - first] = w_[std::size_t(i)];
    wordsRead += std::max<std::int64_t>(end - first, 0);
    return std::max<std::int64_t>(end - first, 0);
  }
  mutable std::int64_t reads = 0;
  mutable std::int64_t wordsRead = 0;

 private:
  std::vector<std::uint16_t> w_;
  std::int64_t readable_;
};

// Runs of equal words of random length, some lanes busy, some quiet, some that never move,
// and bursts of single-sample glitches: the shapes that make columns collapse differently.
std::vector<std::uint16_t> recording(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint16_t> w;
  w.reserve(n);
  std::uint16_t cur = 0x0A31;
  while (w.size() < n) {
    const int kind = int(rng() % 10);
    std::size_t run = kind < 3 ? 1 : kind < 8 ? 1 + rng() % 40 : 1 + rng() % 5000;
    for (; run > 0 && w.size() < n; --run) w.push_back(cur);
    // Lanes 0..3 busy, 8..11 rare, lane 15 never changes.
    std::uint16_t flip = std::uint16_t(rng() & 0x000F);
    if (rng() % 50 == 0) flip |= std::uint16_t((rng() & 0x0F) << 8);
    cur ^= flip;
  }
  return w;
}

std::uint16_t bruteChanges(const std::vector<std::uint16_t>& w, std::int64_t a, std::int64_t b,
                           std::uint16_t& wordAtB) {
  auto at = [&](std::int64_t i) -> std::uint16_t {
    return i >= 0 && i < std::int64_t(w.size()) ? w[std::size_t(i)] : 0;
  };
  std::uint16_t m = 0;
  for (std::int64_t j = a; j <= b; ++j) m |= std::uint16_t(at(j) ^ at(j - 1));
  wordAtB = at(b);
  return m;
}

TEST(LogicSummary, AnswersAsTheSamplesDoAtEveryKindOfRange) {
  for (const std::size_t n : {std::size_t(1), std::size_t(63), std::size_t(64), std::size_t(65),
                              std::size_t(4096 + 1), std::size_t(300000)}) {
    const auto w = recording(n, std::uint32_t(n));
    TLogicSummary s(std::make_shared<VectorWords>(w));
    ASSERT_EQ(s.count(), std::int64_t(n));
    EXPECT_EQ(s.blockShift(), TLogicSummary::kMinBlockShift);
    std::mt19937 rng(7);
    const std::int64_t N = std::int64_t(n);
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges = {
        {0, N - 1}, {-5, N + 5}, {-3, -1}, {N, N + 10}, {N - 1, N},   {0, 0}, {-1, 0},
        {63, 64},   {64, 127},   {64, 64}, {1, 4095},   {4096, 8191}, {5, 4}};
    for (int k = 0; k < 400; ++k) {
      const std::int64_t a = std::int64_t(rng() % std::uint32_t(N + 20)) - 10;
      const std::int64_t len =
          k % 3 == 0 ? std::int64_t(rng() % 70) : std::int64_t(rng() % (N + 10));
      ranges.emplace_back(a, a + len);
    }
    for (const auto& [a, b] : ranges) {
      std::uint16_t got = 0xDEAD, want = 0xBEEF;
      EXPECT_EQ(s.changesIn(a, b, got), bruteChanges(w, a, b, want))
          << "n " << n << " range " << a << ".." << b;
      EXPECT_EQ(got, want) << "n " << n << " range " << a << ".." << b;
    }
    for (std::int64_t i : {std::int64_t(-1), std::int64_t(0), N / 2, N - 1, N})
      EXPECT_EQ(s.wordAt(i), i >= 0 && i < N ? w[std::size_t(i)] : 0) << i;
  }
}

TEST(LogicSummary, LongRecordingsTakeLongerBlocksSoTheSummaryStaysSmall) {
  // One sample more than the block limit at 64 samples a block: blocks of 128. The words are
  // made up as they are read, so nothing of the recording's size sits in memory.
  class Counting : public TLogicWords {
   public:
    std::int64_t count() const override { return TLogicSummary::kMaxBlocks * 64 + 1; }
    std::int64_t read(std::int64_t first, std::int64_t n, std::uint16_t* out) const override {
      for (std::int64_t i = 0; i < n; ++i) out[i] = std::uint16_t((first + i) / 1000);
      return n;
    }
  };
  TLogicSummary s(std::make_shared<Counting>());
  EXPECT_EQ(s.blockShift(), TLogicSummary::kMinBlockShift + 1);
  EXPECT_LT(s.memoryBytes(), std::size_t(16) << 20);
  const std::int64_t n = s.count();
  std::uint16_t w = 0;
  // The word steps every 1000 samples; 999 -> 1000 is one step of lanes 0..3 (0 -> 1).
  EXPECT_EQ(s.changesIn(1000, 1000, w), 1u);
  EXPECT_EQ(w, 1u);
  EXPECT_EQ(s.changesIn(1001, 1999, w), 0u);
  EXPECT_EQ(s.changesIn(n - 1, n - 1, w), 0u);
  EXPECT_EQ(w, std::uint16_t((n - 1) / 1000));
  EXPECT_EQ(s.changesIn(n, n, w), std::uint16_t((n - 1) / 1000));  // down to the fillers
  EXPECT_EQ(w, 0u);
}

TEST(LogicSummary, AFileCutMeanwhileIsTheRecordingAsFarAsItReads) {
  const auto w = recording(10000, 3);
  TLogicSummary s(std::make_shared<VectorWords>(w, 5000));
  EXPECT_EQ(s.count(), 5000);
  std::uint16_t last = 0;
  const std::vector<std::uint16_t> head(w.begin(), w.begin() + 5000);
  std::uint16_t want = 0;
  EXPECT_EQ(s.changesIn(0, 6000, last), bruteChanges(head, 0, 6000, want));
  EXPECT_EQ(last, 0u);

  TLogicSummary none(std::make_shared<VectorWords>(std::vector<std::uint16_t>{}));
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(none.changesIn(-2, 5, last), 0u);
}

TEST(LogicSummary, ListStandingForARecordingReadsItsWordsAndTurnsBackWhenAddedTo) {
  const auto w = recording(1000, 5);
  TLogAnalList l;
  l.add(9, 9);
  l.attachStream(std::make_shared<TLogicSummary>(std::make_shared<VectorWords>(w)));
  ASSERT_EQ(l.count(), 1000);
  EXPECT_EQ(l.at(0), (TLogAnalEntry{0, w[0]}));
  EXPECT_EQ(l.at(999), (TLogAnalEntry{999, w[999]}));
  EXPECT_EQ(l.at(1000), (TLogAnalEntry{}));
  EXPECT_EQ(l.get(500), (TLogAnalEntry{500, w[500]}));
  EXPECT_EQ(l.ensureIndex(999), 0);
  EXPECT_EQ(l.count(), 1000);
  // Past the end: fillers, and the recording stays (no 8 bytes per index asked for).
  EXPECT_EQ(l.get(1000), (TLogAnalEntry{}));
  EXPECT_EQ(l.get(5000000), (TLogAnalEntry{}));
  EXPECT_EQ(l.ensureIndex(1000), 0);
  EXPECT_EQ(l.ensureIndex(5000000), 0);
  ASSERT_NE(l.stream(), nullptr);
  EXPECT_EQ(l.count(), 1000);
  EXPECT_EQ(l.at(999), (TLogAnalEntry{999, w[999]}));
  l.add(1, 0x1234);
  EXPECT_EQ(l.stream(), nullptr);
  EXPECT_EQ(l.count(), 1);
  EXPECT_EQ(l.at(0), (TLogAnalEntry{1, 0x1234}));
}

// --- built while written ------------------------------------------------------------------

// Every block of the two summaries holds the same answer, and both count and block alike.
void expectSameSummary(const TLogicSummary& a, const TLogicSummary& b, const std::string& what) {
  ASSERT_EQ(a.count(), b.count()) << what;
  ASSERT_EQ(a.blockShift(), b.blockShift()) << what;
  const std::int64_t bs = std::int64_t(1) << a.blockShift();
  int differ = 0;
  for (std::int64_t k = 0; k * bs < a.count() && differ < 5; ++k) {
    std::uint16_t wa = 0, wb = 1;
    const std::int64_t e = std::min(a.count(), (k + 1) * bs) - 1;
    if (a.changesIn(k * bs, e, wa) != b.changesIn(k * bs, e, wb) || wa != wb) {
      ADD_FAILURE() << what << ": block " << k;
      ++differ;
    }
  }
  std::uint16_t wa = 0, wb = 1;
  EXPECT_EQ(a.changesIn(0, a.count() + 3, wa), b.changesIn(0, b.count() + 3, wb)) << what;
}

// Pushes w in pieces of the sizes drawn from rng (0 included).
void pushInPieces(TLogicSummaryBuilder& b, const std::vector<std::uint16_t>& w, std::mt19937& rng) {
  std::size_t done = 0;
  while (done < w.size()) {
    const std::size_t n = std::min<std::size_t>(w.size() - done, rng() % 5 == 0 ? rng() % 3
                                                                                  : rng() % 9000);
    b.push(w.data() + done, std::int64_t(n));
    done += n;
  }
}

TEST(LogicSummaryBuilder, PiecesAsWrittenGiveTheSummaryReadFromTheFileAndReadNothing) {
  std::mt19937 rng(21);
  for (const std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(16), std::size_t(17),
                              std::size_t(64), std::size_t(80), std::size_t(65536 + 17),
                              std::size_t(300001)}) {
    // The stream's last words (an end marker, say) are pushed but are no samples: up to the
    // held ones may be left out at the end.
    for (const std::size_t cut : {std::size_t(0), std::size_t(4), std::size_t(16)}) {
      if (cut > n) continue;
      const auto all = recording(n, std::uint32_t(n + cut));
      const std::vector<std::uint16_t> kept(all.begin(), all.end() - std::ptrdiff_t(cut));
      TLogicSummaryBuilder b;
      pushInPieces(b, all, rng);
      EXPECT_EQ(b.pushed(), std::int64_t(n));
      ASSERT_TRUE(b.finish(std::int64_t(kept.size())));
      auto fromFile = std::make_shared<VectorWords>(kept);
      const TLogicSummary read(fromFile);
      auto again = std::make_shared<VectorWords>(kept);
      const TLogicSummary built(again, std::move(b));
      EXPECT_EQ(again->reads, 0) << n;
      expectSameSummary(read, built, "n " + std::to_string(n) + " cut " + std::to_string(cut));
    }
  }
}

TEST(LogicSummaryBuilder, LongRunsFoldTheirBlocksAsTheFileReadWouldChooseThem) {
  // Past the block limit by one word and by a whole block more: blocks of 128 either way.
  for (const std::int64_t extra : {std::int64_t(1), std::int64_t(64 + 5)}) {
    const std::int64_t n = TLogicSummary::kMaxBlocks * 64 + extra;
    std::vector<std::uint16_t> w(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
      w[std::size_t(i)] = std::uint16_t((i / 1000) ^ (i % 977 == 0 ? 1 : 0));
    TLogicSummaryBuilder b;
    std::mt19937 rng(5);
    pushInPieces(b, w, rng);
    ASSERT_TRUE(b.finish(n));
    auto words = std::make_shared<VectorWords>(w);
    const TLogicSummary built(words, std::move(b));
    EXPECT_EQ(words->reads, 0);
    EXPECT_EQ(built.blockShift(), TLogicSummary::kMinBlockShift + 1);
    const TLogicSummary read(std::make_shared<VectorWords>(w));
    expectSameSummary(read, built, "extra " + std::to_string(extra));
  }
}

TEST(LogicSummaryBuilder, AnEndItCannotGiveMakesTheSummaryReadTheFile) {
  const auto w = recording(1000, 9);
  TLogicSummaryBuilder b;
  b.push(w.data(), 1000);
  EXPECT_FALSE(b.finish(1001));  // more samples than were written
  EXPECT_FALSE(b.finish(1000 - TLogicSummaryBuilder::kHeld - 1));  // summarized already
  EXPECT_FALSE(b.finished());
  // Unfinished, or of another count than the file: the file is read instead.
  auto words = std::make_shared<VectorWords>(w);
  const TLogicSummary s(words, std::move(b));
  EXPECT_GT(words->reads, 0);
  expectSameSummary(TLogicSummary(std::make_shared<VectorWords>(w)), s, "unfinished");

  TLogicSummaryBuilder shorter;
  shorter.push(w.data(), 990);
  ASSERT_TRUE(shorter.finish(990));
  shorter.push(w.data(), 10);  // nothing is added once finished
  auto file = std::make_shared<VectorWords>(w);
  const TLogicSummary t(file, std::move(shorter));
  EXPECT_GT(file->reads, 0);
  EXPECT_EQ(t.count(), 1000);
}

// --- the drawing ---------------------------------------------------------------------------

struct PlotPair {
  explicit PlotPair(const std::vector<std::uint16_t>& w, QSize size)
      : exact(list), summary(streamed) {
    for (std::size_t i = 0; i < w.size(); ++i) list.add(std::int32_t(i), w[i]);
    words = std::make_shared<VectorWords>(w);
    streamed.attachStream(std::make_shared<TLogicSummary>(words));
    exact.prepare(size);
    summary.prepare(size);
  }
  TLogAnalList list, streamed;
  std::shared_ptr<VectorWords> words;
  TLogAnalPlot exact, summary;
};

TLogAnalView ioView(int n, double period) {
  TLogAnalView v;
  v.period = period;
  v.last = n - 1;
  return v;
}

void expectSamePicture(const TLogAnalPlot& a, const TLogAnalPlot& b, const std::string& what) {
  ASSERT_EQ(a.bitmap().size(), b.bitmap().size());
  int differ = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < a.bitmap().height(); ++y)
    for (int x = 0; x < a.bitmap().width(); ++x)
      if (a.bitmap().pixel(x, y) != b.bitmap().pixel(x, y) && differ++ == 0) {
        firstX = x;
        firstY = y;
      }
  EXPECT_EQ(differ, 0) << what << ": first at " << firstX << "," << firstY;
}

bool anyRed(const QImage& img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) == 0xFF0000) return true;
  return false;
}

TEST(LogicSummaryPlot, SummaryDrawingIsTheExactDrawingFullAndZoomed) {
  for (const int n : {1000, 4099, 65543, 262000}) {
    const auto w = recording(std::size_t(n), std::uint32_t(n) * 3);
    for (const QSize size : {QSize(1200, 700), QSize(517, 300)}) {
      PlotPair p(w, size);
      const std::string at = "n " + std::to_string(n) + " width " + std::to_string(size.width());
      ASSERT_EQ(p.exact.render(nullptr, ioView(n, 0.001), true), 0);
      ASSERT_EQ(p.summary.render(nullptr, ioView(n, 0.001), true), 0);
      ASSERT_TRUE(anyRed(p.exact.bitmap()));
      expectSamePicture(p.exact, p.summary, at + " full");
      // Wheel zooms at the left edge, inside and at the right edge, down to a few samples per
      // column and below one, then out beyond the recording's ends (filler words there).
      for (const int x : {25, size.width() / 3, size.width() - 12}) {
        for (const double steps : {3.0, 9.0, 20.0, 30.0, -40.0}) {
          ASSERT_EQ(p.exact.wheelZoom(nullptr, x, steps), p.summary.wheelZoom(nullptr, x, steps));
          ASSERT_EQ(p.exact.getView(), p.summary.getView());
          expectSamePicture(
              p.exact, p.summary,
              at + " wheel x " + std::to_string(x) + " steps " + std::to_string(steps));
        }
        p.exact.render(nullptr, p.exact.savedView(), false);
        p.summary.render(nullptr, p.summary.savedView(), false);
      }
      // Panned half beyond the end, and a rubber-band zoom.
      p.exact.pan(nullptr, 5);
      p.summary.pan(nullptr, 5);
      expectSamePicture(p.exact, p.summary, at + " panned");
      for (TLogAnalPlot* q : {&p.exact, &p.summary}) {
        q->beginZoom(300);
        q->finishZoom(nullptr, 340);
      }
      expectSamePicture(p.exact, p.summary, at + " band zoom");
    }
  }
}

TEST(LogicSummaryPlot, RecordViewsWithATriggerOffsetAndOddPeriodsMatchToo) {
  const auto w = recording(131001, 11);
  PlotPair p(w, QSize(900, 500));
  TLogAnalView v;
  v.period = 1.5e-5;  // not snapped, not exact in binary
  v.first = -13100;
  v.zeroIndex = 13100;
  v.last = 117901;
  v.offset = 0.37;
  ASSERT_EQ(p.exact.render(nullptr, v, true), 0);
  ASSERT_EQ(p.summary.render(nullptr, v, true), 0);
  expectSamePicture(p.exact, p.summary, "record view");
}

TEST(LogicSummaryPlot, ARedrawReadsAboutTwoBlocksPerColumnWhateverTheLength) {
  const auto w = recording(2000000, 13);
  PlotPair p(w, QSize(1200, 700));
  const std::int64_t afterBuild = p.words->wordsRead;
  ASSERT_EQ(afterBuild, 2000000);
  ASSERT_EQ(p.summary.render(nullptr, ioView(2000000, 0.001), true), 0);
  const std::int64_t columns = p.summary.plotArea().width();
  EXPECT_LE(p.words->wordsRead - afterBuild, 2 * columns * 64);
  // The read-out under the cursor is the sample's own word, not a summary's.
  TLogAnalEntry e;
  double t = 0;
  ASSERT_EQ(p.summary.readAt(nullptr, 600, e, t), 0);
  TLogAnalEntry ex;
  ASSERT_EQ(p.exact.render(nullptr, ioView(2000000, 0.001), true), 0);
  ASSERT_EQ(p.exact.readAt(nullptr, 600, ex, t), 0);
  EXPECT_EQ(e, ex);
  EXPECT_EQ(e.word, w[std::size_t(e.sampleNumber)]);
}

// Counts progress events and whether the drawing ended with -1.
class Progress : public QObject {
 public:
  std::vector<int> values;
  bool event(QEvent* e) override {
    if (e->type() != TProgressEvent::kType) return QObject::event(e);
    values.push_back(static_cast<TProgressEvent*>(e)->value());
    return true;
  }
};

TEST(LogicSummaryPlot, ProgressOfALongDrawingIsReportedAFewTimesAndEnds) {
  const auto w = recording(3000000, 17);
  PlotPair p(w, QSize(1200, 700));
  Progress sink;
  p.summary.setOwner(&sink);
  ASSERT_EQ(p.summary.render(nullptr, ioView(3000000, 0.001), true), 0);
  QCoreApplication::processEvents();
  ASSERT_FALSE(sink.values.empty());
  EXPECT_EQ(sink.values.back(), TProgressEvent::kFinished);
  EXPECT_GE(sink.values.size(), 20u);
  EXPECT_LE(sink.values.size(), 110u);
  for (std::size_t i = 1; i + 1 < sink.values.size(); ++i)
    EXPECT_LE(sink.values[i - 1], sink.values[i]);
  EXPECT_LE(sink.values[sink.values.size() - 2], 100);
}

}  // namespace
}  // namespace tolv
