#pragma once
// A read data file fed to the multi-device plot as it was before its curves became sample
// series: a linked point per sample at its read time, then a channel's two display-range
// points. The reference the series drawing is compared and timed against.
#include "multi/multifiles.h"
#include "plot/genkernel.h"

namespace tolv::test {

inline void feedReadingAsPoints(TGenD2ImgKernel& k, const TREADing& r) {
  for (int dev = 0; dev < r.deviceCount; ++dev) {
    const auto& pts = r.points.At(dev).Items();
    const int n = int(pts.size());
    for (int ch = 0; ch < 2; ++ch) {
      const FPoint range = r.scaleRange.Items()[std::size_t(2 * dev + ch)];
      TGenD2DataSet& ds = k.NewDataSet();
      ds.name = r.names.value(dev) + (ch == 0 ? QStringLiteral(" K1") : QStringLiteral(" K2"));
      ds.SetXUnit(QStringLiteral("s"));
      ds.SetYUnit(r.units.value(3 * dev + 1 + ch));
      const ColorRef c = ColorRef(r.colours.Items()[std::size_t(2 * dev + ch)]);
      ds.SetYAxisColor(c);
      ds.SetYLabelColor(c);
      ds.points.Template().color = c;
      ds.points.SetMarker(1, 9);
      ds.points.Reserve(n + 2);
      PlotPoint p = ds.points.GetTemplate();
      for (const D3Point& q : pts) {
        p.X = WorldValue::num(q.x);
        p.Y = WorldValue::num(ch == 0 ? q.y : q.z);
        ds.points.AddLinkedPoint(p);
      }
      if (range.x != range.y && n > 0) {
        PlotPoint q = ds.points.GetTemplate();
        q.linkA = q.linkB = -1;
        q.X = WorldValue::num(pts.back().x);
        q.Y = WorldValue::num(range.x);
        ds.points.AddPoint(q);
        q.Y = WorldValue::num(range.y);
        ds.points.AddPoint(q);
      }
      k.AddDataSet(ds);
    }
  }
}

}  // namespace tolv::test
