// Absolute-time X axes: the label step must grow until the labels fit, and zoomed labels must
// show exactly the digits of their step.
#include <gtest/gtest.h>

#include <QDateTime>
#include <cmath>
#include <cstdlib>

#include "common/nicestep.h"
#include "common/regional.h"
#include "plot/genkernel.h"
#include "plot/plotlabel.h"

namespace tolv {
namespace {

DayTime at(int y, int mo, int d, int h, int mi, double s) {
  DayTime t;
  t.day = static_cast<std::int32_t>(QDate(y, mo, d).toJulianDay() - 1721425);
  t.seconds = h * 3600.0 + mi * 60.0 + s;
  return t;
}

class TimeAxis : public ::testing::Test {
 protected:
  void SetUp() override {
    regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
  }
  void TearDown() override { regional().reload(); }

  // A curve from t0 over span seconds on an image of the given width; returns its X ticks.
  const std::vector<TTicRecord>& render(const DayTime& t0, double span, int width) {
    k_ = std::make_unique<TGenD2ImgKernel>();
    k_->SetImageSize(width, 300);
    k_->PrepareImage(nullptr);
    TGenD2DataSet& ds = k_->NewDataSet();
    ds.SetXKind(kWorldTime);
    ds.SetXUnit(QString());
    ds.SetYUnit(QStringLiteral("V"));
    PlotPoint p = ds.points.GetTemplate();
    for (int i = 0; i <= 50; ++i) {
      p.X = WorldValue::at(dtAddSeconds(t0, span * i / 50));
      p.Y = WorldValue::num(std::sin(i * 0.3));
      ds.points.AddLinkedPoint(p);
    }
    EXPECT_EQ(k_->AddDataSet(ds), kPlotOk);
    EXPECT_EQ(k_->Render(nullptr, true), kPlotOk);
    return k_->Get(0)->xTics;
  }
  double step() const { return k_->XTrace(0).steps.back(); }

  std::unique_ptr<TGenD2ImgKernel> k_;
};

// Digits behind the decimal mark of a step such as 0.05 (2) or 0.0002 (4).
int decimalsOf(double step) {
  for (int k = 0; k <= 9; ++k) {
    const double scaled = step * std::pow(10.0, k);
    if (std::fabs(scaled - std::nearbyint(scaled)) < 1e-6 * scaled) return k;
  }
  return 10;
}

// The fraction digits of a label "05.03.2024 14:30:12 ,15"; empty for whole seconds.
QString fractionDigits(const QString& label) {
  const qsizetype comma = label.lastIndexOf(QLatin1Char(','));
  return comma < 0 ? QString() : label.mid(comma + 1);
}

TEST_F(TimeAxis, ZoomedLabelsCarryTheDigitsOfTheirStep) {
  const DayTime t0 = at(2024, 3, 5, 14, 30, 12.1234);
  for (int width : {604, 1000}) {
    for (double span : {0.3, 0.1, 0.001}) {
      const auto& tics = render(t0, span, width);
      ASSERT_GE(tics.size(), 2u) << span;
      const int digits = decimalsOf(step());
      ASSERT_GT(digits, 0) << span;
      bool full = false;
      for (std::size_t i = 0; i < tics.size(); ++i) {
        const TTicRecord& t = tics[i];
        const QString f = fractionDigits(t.label.text);
        EXPECT_LE(f.size(), digits) << span << " " << t.label.text.toStdString();
        // The date once, on the first label; the time of day on all.
        EXPECT_TRUE(t.label.text.startsWith(i == 0 ? QStringLiteral("05.03.2024 14:30:12")
                                                   : QStringLiteral("14:30:12")))
            << t.label.text.toStdString();
        full = full || f.size() == digits;
      }
      EXPECT_TRUE(full) << "no label shows the step's last digit, span " << span;
    }
  }
  // The 0.3 s span of the report: tenths, not ",200005".
  const auto& tics = render(t0, 0.3, 604);
  EXPECT_DOUBLE_EQ(step(), 0.1);
  QStringList texts;
  for (const TTicRecord& t : tics) texts << t.label.text;
  EXPECT_TRUE(texts.contains(QStringLiteral("14:30:12 ,2")) ||
              texts.contains(QStringLiteral("05.03.2024 14:30:12 ,2")))
      << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("14:30:12 ,3")));
}

// A clock-time axis writes the date once, on its first label, and again where the day
// changes; every other label shows the time of day only.
TEST_F(TimeAxis, DateOnceAndAgainWhereTheDayChanges) {
  // Ten minutes within one day.
  const auto& tics = render(at(2026, 12, 8, 22, 30, 0), 600, 1000);
  ASSERT_GE(tics.size(), 3u);
  int dated = 0;
  for (const TTicRecord& t : tics) dated += t.label.text.contains(QStringLiteral("08.12.2026"));
  EXPECT_EQ(dated, 1);
  EXPECT_TRUE(tics.front().label.text.startsWith(QStringLiteral("08.12.2026 22:3")))
      << tics.front().label.text.toStdString();
  for (std::size_t i = 1; i < tics.size(); ++i)
    EXPECT_TRUE(tics[i].label.text.startsWith(QStringLiteral("22:"))) << tics[i].label.text.toStdString();
  // Four hours across midnight: the first label after midnight carries the new date.
  const auto& night = render(at(2026, 12, 8, 22, 0, 0), 4 * 3600, 1000);
  ASSERT_GE(night.size(), 3u);
  QStringList texts;
  for (const TTicRecord& t : night) texts << t.label.text;
  int first = -1, second = -1;
  for (int i = 0; i < int(night.size()); ++i) {
    if (texts[i].contains(QStringLiteral("08.12.2026"))) {
      EXPECT_EQ(first, -1) << texts.join('|').toStdString();
      first = i;
    }
    if (texts[i].contains(QStringLiteral("09.12.2026"))) {
      EXPECT_EQ(second, -1) << texts.join('|').toStdString();
      second = i;
    }
  }
  EXPECT_EQ(first, 0) << texts.join('|').toStdString();
  ASSERT_GT(second, 0) << texts.join('|').toStdString();
  // The labels before the new date are of the old day, the ones after it of the new.
  for (int i = 1; i < second; ++i) EXPECT_FALSE(texts[i].startsWith(QStringLiteral("0"))) << texts[i].toStdString();
  // Labels never run into each other.
  for (std::size_t i = 1; i < night.size(); ++i)
    EXPECT_GT(night[i].label.left, night[i - 1].label.right);
}

TEST_F(TimeAxis, StepGrowsUntilLabelsFit) {
  const DayTime t0 = at(2024, 3, 5, 14, 30, 12);
  const struct {
    double span;
    const char* name;
  } cases[] = {
      {30, "30 s"}, {600, "10 min"}, {3 * 86400, "3 days"}, {2 * 365.25 * 86400, "2 years"}};
  for (int width : {604, 1000}) {
    for (const auto& c : cases) {
      const auto& tics = render(t0, c.span, width);
      SCOPED_TRACE(std::string(c.name) + " on " + std::to_string(width) + " px");
      EXPECT_LT(k_->XTrace(0).steps.size(), 1000u);
      // A readable step: one of the time table, and at least two labels on the axis.
      bool inTable = false;
      for (int i = 1; i <= niceTimeStepCount(); ++i)
        inTable = inTable || niceTimeStepEntry(i) == step();
      EXPECT_TRUE(inTable) << step();
      EXPECT_GE(tics.size(), 2u);
      for (std::size_t i = 1; i < tics.size(); ++i)
        EXPECT_GT(tics[i].label.left, tics[i - 1].label.right)
            << tics[i - 1].label.text.toStdString() << " / " << tics[i].label.text.toStdString();
    }
  }
}

// Pictures of the axes above for a look by eye; only when TOLV_WINDOW_SHOT_DIR is set.
TEST_F(TimeAxis, Screenshots) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  const struct {
    double span;
    const char* name;
  } cases[] = {{0.3, "300ms"}, {0.001, "1ms"},       {30, "30s"},
               {600, "10min"}, {3 * 86400, "3days"}, {2 * 365.25 * 86400, "2years"}};
  for (int width : {604, 1000}) {
    for (const auto& c : cases) {
      render(at(2024, 3, 5, 14, 30, 12.1234), c.span, width);
      EXPECT_TRUE(k_->Bitmap().save(QStringLiteral("%1/timeaxis_%2_%3.png")
                                        .arg(QString::fromLocal8Bit(out))
                                        .arg(QLatin1String(c.name))
                                        .arg(width)));
    }
  }
}

TEST(TimeLabelSteps, LadderAndRounding) {
  auto next = [](double s) { return nextLabelStep(WorldValue::seconds(s)).toNumber(); };
  EXPECT_DOUBLE_EQ(next(0.2), 0.5);
  EXPECT_DOUBLE_EQ(next(1), 2);
  EXPECT_DOUBLE_EQ(next(2), 5);  // rangeStep stays at 2 s here
  EXPECT_DOUBLE_EQ(rangeStep(WorldValue::seconds(2)).toNumber(), 2);
  EXPECT_DOUBLE_EQ(next(43200), 86400);  // 12 h, a day, a week
  EXPECT_DOUBLE_EQ(next(86400), 604800);
  EXPECT_DOUBLE_EQ(next(315567360000.0), niceStepUp(1.01 * 315567360000.0));
  EXPECT_DOUBLE_EQ(nextLabelStep(WorldValue::num(2)).toNumber(), 5);
  auto first = [](double r) { return firstLabelStep(WorldValue::seconds(r)).toNumber(); };
  EXPECT_DOUBLE_EQ(first(120), 1);  // 1.2 s is no step to read
  EXPECT_DOUBLE_EQ(first(1800), 15);
  EXPECT_DOUBLE_EQ(first(30), 0.2);
  EXPECT_DOUBLE_EQ(first(2), 0.02);
  EXPECT_DOUBLE_EQ(firstLabelStep(WorldValue::num(30)).toNumber(), 0.3);
  // Rounding keeps the day apart: 14:30:12.1234 to tenths is exactly 14:30:12.1.
  const WorldValue r =
      roundWorldToStep(WorldValue::at(at(2024, 3, 5, 14, 30, 12.1234)), WorldValue::seconds(0.1));
  EXPECT_EQ(r.day, at(2024, 3, 5, 0, 0, 0).day);
  EXPECT_NEAR(r.number, 52212.1, 1e-9);
  // Just before midnight rounds into the next day.
  const WorldValue n =
      roundWorldToStep(WorldValue::at(at(2024, 3, 5, 23, 59, 59.96)), WorldValue::seconds(0.1));
  EXPECT_EQ(n.day, at(2024, 3, 6, 0, 0, 0).day);
  EXPECT_EQ(n.number, 0.0);
}

}  // namespace
}  // namespace tolv
