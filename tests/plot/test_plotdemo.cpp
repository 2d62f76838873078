// A sample picture: two curves with their own Y axes over an absolute-time X axis with a
// grid. Set TOLV_PLOT_DEMO_PNG to a file name to keep the picture for a look.
#include <gtest/gtest.h>

#include <QDateTime>
#include <cmath>

#include "plot/genkernel.h"

namespace tolv {
namespace {

void buildDemo(TGenD2ImgKernel& k) {
  const DayTime t0 = dtFromQDateTime(QDateTime(QDate(2026, 12, 8), QTime(9, 58, 30)));
  for (int c = 0; c < 2; ++c) {
    TGenD2DataSet& ds = k.NewDataSet();
    ds.name = c == 0 ? QStringLiteral("Temperature") : QStringLiteral("Current");
    ds.SetXKind(kWorldTime);
    ds.SetXUnit(QString());
    ds.SetYUnit(c == 0 ? QStringLiteral("V") : QStringLiteral("A"));
    ds.xStyle.grid = 1;
    ds.yStyle.grid = c == 0 ? 1 : 0;
    ds.yStyle.gridPenStyle = 1;
    ds.points.SetMarker(2, c == 0 ? 0 : 1);
    PlotPoint p = ds.points.GetTemplate();
    for (int i = 0; i <= 600; ++i) {
      p.X = WorldValue::at(dtAddSeconds(t0, i * 0.75));
      p.Y = WorldValue::num(c == 0 ? 2.5 + 2.0 * std::sin(i * 0.02)
                                   : 0.004 * std::cos(i * 0.013) + 0.001 * ((i / 40) % 2));
      ds.points.AddLinkedPoint(p);
    }
    if (c == 1) ds.points.SetMarker(2, 9);  // line only
    k.AddDataSet(ds);
  }
}

TEST(PlotDemo, TwoCurvesOverAbsoluteTime) {
  TGenD2ImgKernel k;
  k.SetImageSize(900, 420);
  k.PrepareImage(nullptr);
  buildDemo(k);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  ASSERT_EQ(k.YAxes().Count(), 2);
  ASSERT_EQ(k.XAxes().Count(), 1);
  // Labels of one axis never overlap.
  for (int i = 0; i < k.DataSetCount(); ++i) {
    const auto& xt = k.Get(i)->xTics;
    for (std::size_t j = 1; j < xt.size(); ++j) EXPECT_GT(xt[j].label.left, xt[j - 1].label.right);
    const auto& yt = k.Get(i)->yTics;
    for (std::size_t j = 1; j < yt.size(); ++j)
      EXPECT_LT(yt[j].label.bottom, yt[j - 1].label.top + 1);
  }
  const QByteArray out = qgetenv("TOLV_PLOT_DEMO_PNG");
  if (!out.isEmpty()) {
    EXPECT_TRUE(k.Bitmap().save(QString::fromLocal8Bit(out), "PNG"));
  }
}

}  // namespace
}  // namespace tolv
