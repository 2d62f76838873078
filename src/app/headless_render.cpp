#include "app/headless_render.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "common/format.h"
#include "common/resulttext.h"
#include "measure/csvread.h"
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
// Stored tables beyond this size are not something the program wrote.
constexpr std::uintmax_t kMaxCsvBytes = 1ull << 30;

StoredProblem bad(const QString& reason) {
  return {kExitBadInput, reason};
}

QString nameText(const fs::path& p) {
  return QString::fromStdString(p.filename().string());
}

QString upperExtension(const fs::path& p) {
  return QString::fromStdString(p.extension().string()).toUpper();
}

StoredKind kindOfFamily(IntermediateFamily f) {
  switch (f) {
    case IntermediateFamily::VMXY:
      return StoredKind::Voltmeter;
    case IntermediateFamily::OSA0:
      return StoredKind::Scope;
    case IntermediateFamily::LAIO:
      return StoredKind::Logic;
    case IntermediateFamily::DLA0:
      return StoredKind::AnalogLogger;
    case IntermediateFamily::DLDI:
      return StoredKind::IoLogger;
  }
  return StoredKind::Unknown;
}

std::string fourCharacters(ModeCode m) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = char((m >> (24 - 8 * i)) & 0xFF);
    s[std::size_t(i)] = (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

StoredProblem checkIntermediate(const fs::path& file, StoredKind& kind, QString* serial) {
  const fs::path header = textHeaderName(file);
  std::error_code ec;
  if (!fs::exists(header, ec))
    return bad(QStringLiteral("its text header %1 is missing").arg(nameText(header)));
  SettingsRecord h;
  const int rc = readTextHeader(file, h);
  if (rc != 0)
    return bad(QStringLiteral("its text header %1 is damaged (%2)")
                   .arg(nameText(header), readResultText(rc)));
  const std::optional<IntermediateFamily> fam = familyOfMode(h.mode);
  if (!fam)
    return bad(QStringLiteral("its text header names an unknown mode \"%1\"")
                   .arg(QString::fromStdString(fourCharacters(h.mode))));
  if (const auto named = familyOfFileName(file); named && *named != *fam)
    return bad(QStringLiteral("wrong kind of file: its text header is of mode %1, its name of %2")
                   .arg(QLatin1String(familyCode(*fam)), QLatin1String(familyCode(*named))));
  kind = kindOfFamily(*fam);
  if (serial) *serial = serialOfIntermediateFile(file);
  // The content is judged where the conversions judge it.
  const StoredContent content = checkStoredContent(*fam, file, h);
  if (!content.ok()) return bad(content.text(1));
  return {};
}

StoredProblem checkVxd(const fs::path& file, StoredKind& kind, QString* serial) {
  std::vector<std::uint8_t> all;
  const int rc = readFileBytes(file, all, kLogicVxdHeader + 2ull * kLogicVxdMaxWords + 1);
  if (rc != 0) return bad(readResultText(rc));
  if (all.empty()) return bad(QStringLiteral("the file is empty"));
  if (all.size() < kScopeVxdHeader) return bad(QStringLiteral("the file is cut short (no whole header)"));
  // The logic analyser's header carries its 8-character pattern at offset 36; the scope's has
  // zeros there.
  kind = all[36] == 8 ? StoredKind::LogicVxd : StoredKind::ScopeVxd;
  if (serial) {
    const std::size_t len = std::min<std::size_t>(all[0], 10);
    *serial = QString::fromLatin1(reinterpret_cast<const char*>(all.data() + 1), qsizetype(len));
  }
  VxdHeader h;
  if (kind == StoredKind::ScopeVxd) {
    std::vector<ScopeSample> s;
    const int r = readScopeVxd(file, h, s);
    if (r == kDamagedFile)
      return bad(QStringLiteral("damaged scope file: its size does not match its sample count"));
    if (r != 0) return bad(readResultText(r));
    if (s.empty()) return bad(QStringLiteral("the file holds no samples"));
  } else {
    std::vector<std::uint16_t> w;
    const int r = readLogicVxd(file, h, w);
    if (r == kDamagedFile)
      return bad(QStringLiteral("damaged logic-analyser file: cut inside a sample or too long"));
    if (r != 0) return bad(readResultText(r));
    if (w.empty()) return bad(QStringLiteral("the file holds no samples"));
    if (h.count <= 0 || h.count > kLogicVxdMaxWords)
      return bad(QStringLiteral("damaged logic-analyser file: memory depth %1 in its header")
                     .arg(h.count));
    if (w.size() < std::size_t(h.count))
      return bad(
          QStringLiteral("the file is cut short (%1 of %2 samples)").arg(w.size()).arg(h.count));
  }
  return {};
}

std::string_view firstLineOf(std::string_view s) {
  const std::size_t nl = s.find('\n');
  std::string_view l = s.substr(0, nl);
  if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
  return l;
}

StoredProblem checkCsv(std::string_view bytes, char preferred, StoredKind& kind, char& column) {
  if (bytes.empty()) return bad(QStringLiteral("the file is empty"));
  column = storedCsvColumn(firstLineOf(bytes), preferred);
  if (column != 0) {
    switch (storedCsvKind(bytes, column)) {
      case StoredCsvKind::Scope:
        kind = StoredKind::ScopeCsv;
        return {};
      case StoredCsvKind::Logic:
        kind = StoredKind::LogicCsv;
        return {};
      case StoredCsvKind::IoLogger:
        kind = StoredKind::IoLoggerCsv;
        return {};
      case StoredCsvKind::Unknown:
        break;
    }
    TREADing r;
    const int rc = readMultiDataBytes(bytes, column, r);
    if (rc == 0) {
      kind = StoredKind::MultiCsv;
      return {};
    }
    // Fewer lines than a multi-device head are some other text; more are a cut-off file.
    if (rc == kMultiFileTooShort && std::count(bytes.begin(), bytes.end(), '\n') >= 8)
      return bad(QStringLiteral("multi-device data file is cut off"));
  }
  return bad(QStringLiteral(
      "not a table this program writes (scope, logic-analyser or multi-device CSV)"));
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

StoredText::~StoredText() {
  release();
}

StoredText::StoredText(StoredText&& o) noexcept : data_(o.data_), size_(o.size_) {
  o.data_ = nullptr;
  o.size_ = 0;
}

StoredText& StoredText::operator=(StoredText&& o) noexcept {
  if (this != &o) {
    release();
    data_ = std::exchange(o.data_, nullptr);
    size_ = std::exchange(o.size_, 0);
  }
  return *this;
}

void StoredText::release() {
  if (data_) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

int StoredText::open(const fs::path& file) {
  release();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno != 0 ? errno : EIO;
  struct stat st {};
  int rc = 0;
  if (::fstat(fd, &st) != 0) {
    rc = errno != 0 ? errno : EIO;
  } else if (std::uintmax_t(st.st_size) > kMaxCsvBytes) {
    rc = kDamagedFile;
  } else if (st.st_size > 0) {
    void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
      rc = errno != 0 ? errno : EIO;
    } else {
      data_ = static_cast<char*>(p);
      size_ = std::size_t(st.st_size);
    }
  }
  ::close(fd);
  return rc;
}

QString readResultText(int rc) {
  switch (rc) {
    case kDamagedFile:
      return QStringLiteral("damaged file: its size does not match its header");
    case kNoSamples:
    case kEmptySampleList:
      return QStringLiteral("no samples");
    case kMultiFileTooShort:
      return QStringLiteral("multi-device data file is cut off");
    default:
      return measureResultText(rc, 1, ResultContext::Reading);
  }
}

StoredProblem identifyStoredFile(const fs::path& file, char csvColumn, StoredKind& kind,
                                 QString* serial, StoredText* csvText) {
  kind = StoredKind::Unknown;
  std::error_code ec;
  const auto st = fs::status(file, ec);
  if (!fs::exists(st)) return bad(QStringLiteral("file not found"));
  if (fs::is_directory(st)) return bad(QStringLiteral("is a folder, not a file"));
  // A pipe or device would block the read for good.
  if (!fs::is_regular_file(st)) return bad(QStringLiteral("is not a regular file"));
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bad(QStringLiteral("cannot be read: ") + resultText(errno, 1));
  ::close(fd);
  const QString ext = upperExtension(file);
  if (ext == QLatin1String(".FIL")) return checkIntermediate(file, kind, serial);
  if (ext == QLatin1String(".VXD")) return checkVxd(file, kind, serial);
  if (ext == QLatin1String(".CSV")) {
    StoredText text;
    if (const int rc = text.open(file); rc != 0) return bad(readResultText(rc));
    char column = 0;
    StoredProblem p = checkCsv(text.view(), csvColumn, kind, column);
    if (p.ok() && csvText) *csvText = std::move(text);
    return p;
  }
  return bad(QStringLiteral("unknown kind of file \"%1\" (expected .FIL, .VXD or .CSV)")
                 .arg(ext.isEmpty() ? QStringLiteral("no extension") : ext));
}

StoredProblem renderStoredFile(const fs::path& file, QSize size, char csvColumn, QImage& out) {
  StoredKind kind = StoredKind::Unknown;
  QString serial;
  StoredText text;  // a table's text, read once
  StoredProblem p = identifyStoredFile(file, csvColumn, kind, &serial, &text);
  if (!p.ok()) return p;
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
      if (rc == 0) rc = readVoltmeterIntermediate(file, readings);
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
      out = logicPicture(list, logicAnalyserView(list.count(), h), size, headlineAt(t));
      return {};
    }
    case StoredKind::AnalogLogger: {
      AnalogLoggerStream stream;
      const int rc = loadAnalogLoggerStream(file, stream);
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
      out = logicPicture(list, logicAnalyserView(list.count(), rs), size,
                         headlineText(h.serial, h.time));
      return {};
    }
    case StoredKind::ScopeCsv:
    case StoredKind::LogicCsv:
    case StoredKind::IoLoggerCsv:
    case StoredKind::MultiCsv:
      break;
    case StoredKind::Unknown:
      return bad(QStringLiteral("unknown kind of file"));
  }
  const std::string_view bytes = text.view();
  const char column = storedCsvColumn(firstLineOf(bytes), csvColumn);
  int badRow = 0;
  if (kind == StoredKind::MultiCsv) {
    TREADing r;
    if (const int rc = readMultiDataBytes(bytes, column, r); rc != 0)
      return bad(readResultText(rc));
    TGenD2ImgKernel k;
    renderMultiReading(k, r, size.width(), size.height());
    out = k.Bitmap();
    return {};
  }
  if (kind == StoredKind::ScopeCsv) {
    StoredScopeCsv t;
    if (const int rc = readScopeCsv(bytes, column, t, &badRow); rc != 0)
      return bad(rc == kCsvBadCell ? QStringLiteral("line %1 is not a scope row").arg(badRow)
                                   : readResultText(rc));
    SettingsRecord rs;
    rs.mode = kModeOSA0;
    const double n = double(t.ch0.size());
    rs.memoryDepth = t.memoryDepth > 0 ? double(t.memoryDepth) : n;
    rs.sampleTime = t.sampleTime > 0 ? t.sampleTime : 1.0;
    rs.triggerPoint = triggerPointOf(t.pretrigger, rs.memoryDepth, rs.sampleTime);
    return scopePicture(t.ch0, t.ch1, rs, autoScaled(), size,
                        headlineText(t.serial, t.time ? *t.time : modificationTime(file)), out);
  }
  StoredLogicCsv t;
  if (const int rc = readLogicCsv(bytes, column, t, &badRow); rc != 0)
    return bad(rc == kCsvBadCell ? QStringLiteral("line %1 is not a timing row").arg(badRow)
                                 : readResultText(rc));
  const TLogAnalList list = listOf(t.words);
  const QString headline = headlineText(t.serial, t.time ? *t.time : modificationTime(file));
  if (t.ioLogger) {
    out = logicPicture(list, ioLoggerView(list.count(), t.step), size, headline);
  } else {
    SettingsRecord rs;
    rs.memoryDepth = t.memoryDepth > 0 ? double(t.memoryDepth) : double(list.count());
    rs.sampleTime = t.step;
    rs.triggerPoint = double(t.triggerPoint);
    out = logicPicture(list, logicAnalyserView(list.count(), rs), size, headline);
  }
  return {};
}

}  // namespace tolv
