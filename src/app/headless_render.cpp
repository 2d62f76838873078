#include "app/headless_render.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "common/format.h"
#include "common/resulttext.h"
#include "measure/csvread.h"
#include "measure/export_stored.h"
#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "measure/plotfeed.h"
#include "measure/textheader.h"
#include "multi/multifiles.h"
#include "multi/multiplotfeed.h"
#include "plot/genkernel.h"
#include "plot/loganal_plot.h"

namespace tolv {

namespace {

constexpr int kExitBadInput = 1;

StoredProblem bad(const QString& reason) {
  return {kExitBadInput, reason};
}

DayTime modificationTime(const fs::path& file) {
  return dtFromQDateTime(QFileInfo(QString::fromStdString(file.string())).lastModified());
}

// The kernel is a fresh one sized by SetImageSize: its picture is already the prepared, empty
// one PrepareImage would make again.
QImage kernelPicture(TGenD2ImgKernel& k, const QString& headline) {
  if (k.DataSetCount() > 0) k.Render(nullptr, true);
  drawHeadline(k.Bitmap(), headline);
  return k.Bitmap();
}

QImage logicPicture(const TLogAnalList& list, const TLogAnalView& view, QSize size,
                    const QString& headline) {
  TLogAnalPlot plot(list);
  plot.prepare(size);
  plot.render(nullptr, view, true);
  QImage pic = plot.bitmap();
  drawHeadline(pic, headline);
  return pic;
}

// The trigger point (per cent of the record) that gives this pretrigger time.
double triggerPointOf(double pretrigger, double depth, double dt) {
  const double span = 0.01 * depth * dt;
  return span > 0 && std::isfinite(pretrigger) ? pretrigger / span : 0.0;
}

StoredProblem drawFailed(int rc) {
  return bad(QStringLiteral("the record cannot be drawn (code %1)").arg(rc));
}

// A scope record from two channels with the settings that matter for drawing.
StoredProblem scopePicture(const std::vector<double>& c0, const std::vector<double>& c1,
                           const SettingsRecord& rs, const PlotChoice& pc, QSize size,
                           const QString& headline, QImage& out) {
  TGenD2ImgKernel k;
  k.SetImageSize(size.width(), size.height());
  const int rc = feedScopeImage(k, c0.data(), c1.data(), int(c0.size()), rs, pc);
  if (rc != kPlotOk) return drawFailed(rc);
  out = kernelPicture(k, headline);
  return {};
}

TLogAnalList listOf(const std::vector<std::uint16_t>& words) {
  TLogAnalList list;
  for (std::size_t i = 0; i < words.size(); ++i) list.add(std::int32_t(i), words[i]);
  return list;
}

// The automatic scales need the record's ranges; stored tables do not keep them.
PlotChoice autoScaled() {
  PlotChoice pc;
  pc.autoScale[0] = pc.autoScale[1] = true;
  return pc;
}

}  // namespace

StoredProblem renderStoredFile(const fs::path& file, QSize size, char csvColumn, QImage& out,
                               const QString& fallbackSerial) {
  StoredKind kind = StoredKind::Unknown;
  QString serial;
  StoredText text;  // a table's text, read once
  StoredProblem p = identifyStoredFile(file, csvColumn, kind, &serial, &text, probeMultiDataTable);
  if (!p.ok()) return p;
  if (serial.isEmpty()) serial = fallbackSerial;
  const PlotChoice pc;  // the window's initial choices: both channels, fixed scales
  // Headers without a measurement time show the file's own time.
  auto headlineAt = [&](const std::optional<DayTime>& t) {
    return headlineText(serial, t ? *t : modificationTime(file));
  };
  switch (kind) {
    case StoredKind::Scope: {
      SettingsRecord h;
      std::optional<DayTime> t;
      int rc = readTextHeader(file, h, &t);
      std::vector<ScopeSample> entries;
      int n = 0;
      if (rc == 0) rc = readScopeIntermediate(file, entries, n);
      if (rc != 0) return bad(readResultText(rc));
      std::vector<double> c0(static_cast<std::size_t>(n)), c1(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) {
        c0[std::size_t(i)] = entries[std::size_t(i)].ch0;
        c1[std::size_t(i)] = entries[std::size_t(i)].ch1;
      }
      return scopePicture(c0, c1, h, pc, size, headlineAt(t), out);
    }
    case StoredKind::Voltmeter: {
      SettingsRecord h;
      std::optional<DayTime> t;
      int rc = readTextHeader(file, h, &t);
      std::vector<VoltmeterReading> readings;
      if (rc == 0) rc = readVoltmeterIntermediate(file, readings, t);
      if (rc != 0) return bad(readResultText(rc));
      // The chart's scales from the record's own ranges and probes.
      const ConversionInputs c = conversionOfHeader(h);
      ChartScale scale;
      for (int ch = 0; ch < 2; ++ch) {
        scale.ampl[ch] = c.ampl[ch];
        scale.probe[ch] = c.probe[ch];
      }
      scale.rms = h.mode == kModeVMA0 || h.mode == kModeVMA1;
      TGenD2ImgKernel k;
      k.SetImageSize(size.width(), size.height());
      rc = feedChartImage(k, readings, scale, pc);
      if (rc != kPlotOk) return drawFailed(rc);
      out = kernelPicture(k, headlineAt(t));
      return {};
    }
    case StoredKind::Logic: {
      SettingsRecord h;
      std::optional<DayTime> t;
      int rc = readTextHeader(file, h, &t);
      TLogAnalList list;
      if (rc == 0) rc = readLogicIntermediate(file, list);
      if (rc != 0) return bad(readResultText(rc));
      if (list.count() == 0) return bad(readResultText(kNoSamples));
      out = logicPicture(list, logicAnalyserView(list, h), size, headlineAt(t));
      return {};
    }
    case StoredKind::AnalogLogger: {
      AnalogLoggerSeries stream;
      const int rc = openAnalogLoggerSeries(file, stream);
      if (rc != 0) return bad(readResultText(rc));
      const DayTime start = stream.start ? *stream.start : modificationTime(file);
      TGenD2ImgKernel k;
      k.SetImageSize(size.width(), size.height());
      const int frc = feedAnalogLoggerImage(k, stream, start, pc);
      if (frc != kPlotOk) return drawFailed(frc);
      out = kernelPicture(k, headlineText(serial, start));
      return {};
    }
    case StoredKind::IoLogger: {
      SettingsRecord h;
      std::optional<DayTime> t;
      TLogAnalList list;
      const int rc = loadIoLoggerStream(file, list, &h, &t);
      if (rc != 0) return bad(readResultText(rc));
      out = logicPicture(list, ioLoggerView(list.count(), h.sampleTime), size, headlineAt(t));
      return {};
    }
    case StoredKind::ScopeVxd: {
      VxdHeader h;
      std::vector<ScopeSample> s;
      if (const int rc = readScopeVxd(file, h, s); rc != 0) return bad(readResultText(rc));
      std::vector<double> c0(s.size()), c1(s.size());
      for (std::size_t i = 0; i < s.size(); ++i) {
        c0[i] = s[i].ch0;
        c1[i] = s[i].ch1;
      }
      SettingsRecord rs;
      rs.mode = kModeOSA0;
      rs.memoryDepth = h.count;
      rs.sampleTime = h.sampleTime;
      rs.triggerPoint = triggerPointOf(h.pretriggerTime, h.count, h.sampleTime);
      return scopePicture(c0, c1, rs, autoScaled(), size, headlineText(h.serial, h.time), out);
    }
    case StoredKind::LogicVxd: {
      VxdHeader h;
      std::vector<std::uint16_t> w;
      if (const int rc = readLogicVxd(file, h, w); rc != 0) return bad(readResultText(rc));
      SettingsRecord rs;
      rs.memoryDepth = h.count;
      rs.sampleTime = h.sampleTime;
      rs.triggerPoint = triggerPointOf(h.pretriggerTime, h.count, h.sampleTime);
      const TLogAnalList list = listOf(w);
      out = logicPicture(list, logicAnalyserView(list, rs), size,
                         headlineText(h.serial, h.time));
      return {};
    }
    case StoredKind::ScopeCsv:
    case StoredKind::AnalogLoggerCsv:
    case StoredKind::LogicCsv:
    case StoredKind::IoLoggerCsv:
    case StoredKind::VoltmeterCsv:
    case StoredKind::MultiCsv:
      break;
    case StoredKind::Unknown:
      return bad(QStringLiteral("unknown kind of file"));
  }
  const std::string_view bytes = text.view();
  if (kind == StoredKind::MultiCsv) {
    TREADing r;
    char found = csvColumn;
    if (const int rc = readMultiDataOwnSep(bytes, csvColumn, r, found); rc != 0)
      return bad(readResultText(rc));
    TGenD2ImgKernel k;
    renderMultiReading(k, r, size.width(), size.height());
    out = k.Bitmap();
    return {};
  }
  if (kind == StoredKind::VoltmeterCsv) {
    StoredChartCsv t;
    if (p = readStoredTable(bytes, csvColumn, t); !p.ok()) return p;
    const DayTime start = t.start ? *t.start : modificationTime(file);
    const std::vector<VoltmeterReading> readings = chartReadings(t, start);
    ChartScale scale;
    scale.rms = t.unit == "V RMS";
    TGenD2ImgKernel k;
    k.SetImageSize(size.width(), size.height());
    // The table keeps no ranges: the scales follow the values.
    if (const int rc = feedChartImage(k, readings, scale, autoScaled()); rc != kPlotOk)
      return drawFailed(rc);
    out = kernelPicture(k, headlineText(t.serial, start));
    return {};
  }
  if (kind == StoredKind::ScopeCsv || kind == StoredKind::AnalogLoggerCsv) {
    StoredScopeCsv t;
    if (p = readStoredTable(bytes, csvColumn, t); !p.ok()) return p;
    SettingsRecord rs;
    rs.mode = kModeOSA0;
    const double n = double(t.ch0.size());
    rs.memoryDepth = t.memoryDepth > 0 ? double(t.memoryDepth) : n;
    rs.sampleTime = t.sampleTime > 0 ? t.sampleTime : 1.0;
    rs.triggerPoint = triggerPointOf(t.pretrigger, rs.memoryDepth, rs.sampleTime);
    if (kind == StoredKind::AnalogLoggerCsv) {
      // Its depth counts two words per sample, and a run has no trigger: the axis is its rows
      // from the start.
      rs.memoryDepth = n;
      rs.triggerPoint = 0;
    }
    return scopePicture(t.ch0, t.ch1, rs, autoScaled(), size,
                        headlineText(t.serial, t.time ? *t.time : modificationTime(file)), out);
  }
  StoredLogicCsv t;
  if (p = readStoredTable(bytes, csvColumn, t); !p.ok()) return p;
  const TLogAnalList list = listOf(t.words);
  const QString headline = headlineText(t.serial, t.time ? *t.time : modificationTime(file));
  if (t.ioLogger) {
    out = logicPicture(list, ioLoggerView(list.count(), t.step), size, headline);
  } else {
    SettingsRecord rs;
    rs.memoryDepth = t.memoryDepth > 0 ? double(t.memoryDepth) : double(list.count());
    rs.sampleTime = t.step;
    rs.triggerPoint = double(t.triggerPoint);
    out = logicPicture(list, logicAnalyserView(list, rs), size, headline);
  }
  return {};
}

}  // namespace tolv
