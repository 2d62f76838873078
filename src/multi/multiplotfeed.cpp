#include "multi/multiplotfeed.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/format.h"
#include "plot/sampleseries.h"

namespace tolv {

void setEvenCurve(TGenD2DataSet& ds, double t0, double dt, const double* values, int n) {
  if (n >= 2) {
    auto reader = std::make_shared<TVectorSampleReader>(std::vector<double>(values, values + n));
    auto series = std::make_shared<TSampleSeries>(std::move(reader), WorldValue::num(t0), dt);
    series->color = ds.points.GetTemplate().color;
    ds.series = std::move(series);
    return;
  }
  PlotPoint p = ds.points.GetTemplate();
  for (int k = 0; k < n; ++k) {
    p.X = WorldValue::num(t0 + k * dt);
    p.Y = WorldValue::num(values[k]);
    ds.points.AddLinkedPoint(p);
  }
}

void setTimedCurve(TGenD2DataSet& ds, const std::shared_ptr<const std::vector<double>>& xs,
                   std::vector<double> values) {
  const std::size_t n = std::min(xs->size(), values.size());
  if (n >= 2 && TSampleSeries::UsableX(xs->data(), n) &&
      std::all_of(values.begin(), values.begin() + std::ptrdiff_t(n),
                  [](double v) { return std::isfinite(v); })) {
    values.resize(n);
    auto reader = std::make_shared<TVectorSampleReader>(std::move(values));
    auto series = std::make_shared<TSampleSeries>(std::move(reader), xs);
    series->color = ds.points.GetTemplate().color;
    ds.series = std::move(series);
    return;
  }
  ds.points.Reserve(ds.points.Count() + int(n));
  PlotPoint p = ds.points.GetTemplate();
  for (std::size_t i = 0; i < n; ++i) {
    p.X = WorldValue::num((*xs)[i]);
    p.Y = WorldValue::num(values[i]);
    ds.points.AddLinkedPoint(p);
  }
}

void offsetCurveX(TGenD2DataSet& ds, double dx) {
  ds.points.OffsetX(dx);
  if (!ds.series) return;
  // A series is shared and never changed: a moved copy shares its samples.
  ds.series = ds.series->MovedX(dx);
}

void feedMultiReading(TGenD2ImgKernel& k, const TREADing& r) {
  for (int dev = 0; dev < r.deviceCount; ++dev) {
    const TD3PointList& pts = r.points.At(dev);
    const int n = pts.Count();
    // The device's times, read once for both channels.
    auto xs = std::make_shared<std::vector<double>>(std::size_t(n));
    for (int i = 0; i < n; ++i) (*xs)[std::size_t(i)] = pts.Items()[std::size_t(i)].x;
    for (int ch = 0; ch < 2; ++ch) {
      const FPoint range = r.scaleRange.Items()[std::size_t(2 * dev + ch)];
      ScaleRowValues v;
      v.min = range.x;
      v.max = range.y;
      TGenD2DataSet& ds = k.NewDataSet();
      ds.name = r.names.value(dev) + (ch == 0 ? QStringLiteral(" K1") : QStringLiteral(" K2"));
      ds.SetXUnit(QStringLiteral("s"));
      ds.SetYUnit(r.units.value(3 * dev + 1 + ch));
      const ColorRef c = ColorRef(r.colours.Items()[std::size_t(2 * dev + ch)]);
      ds.SetYAxisColor(c);
      ds.SetYLabelColor(c);
      ds.points.Template().color = c;
      ds.points.SetMarker(1, 9);
      ds.points.Reserve(2);
      std::vector<double> values(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) {
        const auto& item = pts.Items()[std::size_t(i)];
        values[std::size_t(i)] = ch == 0 ? item.y : item.z;
      }
      setTimedCurve(ds, xs, std::move(values));
      if (v.hasRange() && n > 0) {
        PlotPoint q = ds.points.GetTemplate();
        q.linkA = q.linkB = -1;
        q.X = WorldValue::num(pts.Items()[std::size_t(n - 1)].x);
        q.Y = WorldValue::num(v.min);
        ds.points.AddPoint(q);
        q.Y = WorldValue::num(v.max);
        ds.points.AddPoint(q);
      }
      k.AddDataSet(ds);
    }
  }
}

QString multiHeaderText(const DayTime& stamp) {
  return dateTimeText(stamp) + QStringLiteral(" Multi_Tolvanex");
}

void drawMultiHeader(QImage& image, const QFont& font, const QString& text) {
  if (image.isNull()) return;
  QPainter p(&image);
  p.setFont(font);
  const QFontMetrics fm(p.font());
  const int w = fm.horizontalAdvance(text);
  // In the painter's pixels: a fine screen's picture has more device pixels than that.
  const int x = (int(image.deviceIndependentSize().width()) - w) / 2;
  p.fillRect(QRect(x, 0, w, fm.height()), Qt::white);
  p.setPen(Qt::black);
  p.drawText(x, fm.ascent(), text);
}

std::optional<double> readingCurveDelta(const std::vector<std::pair<QString, double>>& deltas,
                                        const QString& curveName) {
  // "<serial> K1" and "<serial> K2" belong to the device with that serial.
  const QString serial = curveName.left(curveName.size() - 3);
  for (const auto& [name, delta] : deltas)
    if (name == serial) return delta;
  return std::nullopt;
}

int renderMultiReading(TGenD2ImgKernel& k, const TREADing& r, int w, int h, bool shifted) {
  k.ClearDataSets();
  k.SetImageSize(w, h);
  k.PrepareImage(nullptr);
  feedMultiReading(k, r);
  if (shifted) {
    const auto deltas = loadedTriggerDeltas(r);
    for (int i = 0; i < k.DataSetCount(); ++i)
      if (const auto delta = readingCurveDelta(deltas, k.Get(i)->name); delta && *delta != 0)
        offsetCurveX(*k.Get(i), *delta);
  }
  k.DataSets().SortByName();
  const int rc = k.Render(nullptr, true);
  drawMultiHeader(k.Bitmap(), k.Font(), multiHeaderText(r.time));
  return rc;
}

}  // namespace tolv
