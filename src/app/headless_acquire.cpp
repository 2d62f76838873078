#include "app/headless_acquire.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QTimerEvent>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <csignal>
#include <iostream>
#include <sstream>
#include <unistd.h>

#include "app/cmdline.h"
#include "app/dataroot.h"
#include "app/driverchoice.h"
#include "app/headless.h"
#include "measure/storedfile.h"
#include "app/signalbridge.h"
#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/regional.h"
#include "common/textutil.h"
#include "device/settingstables.h"
#include "ftdi/ftdi_enumeration.h"
#include "ftdi/sim_control.h"
#include "ftdi/simulated_driver.h"
#include "measure/devicesession.h"
#include "measure/export_plaincsv.h"
#include "measure/export_stored.h"
#include "measure/export_sigrok.h"
#include "measure/export_vcd.h"
#include "measure/settingsfiles.h"
#include "measure/textheader.h"
#include "multi/multicollect.h"
#include "multi/sessionmember.h"

namespace tolv {

namespace fs = std::filesystem;

namespace {

constexpr int kTickMs = 50;
// Start-up stages take about two seconds; a device silent for this long is failing.
constexpr std::int64_t kStartUpLimitMs = 15000;
// After "ZZZZ" a logger sends the rest of its stream and its end marker; a device that never
// ends its stream is given up after this long, keeping what arrived.
constexpr std::int64_t kStopGraceMs = 5000;
constexpr std::int64_t kProgressEveryMs = 250;

const ModeCode kModes[8] = {kModeVMD0, kModeVMD1, kModeVMA0, kModeVMA1,
                            kModeOSA0, kModeDLA0, kModeLAIO, kModeDLDI};

bool isLogger(ModeCode m) { return m == kModeDLA0 || m == kModeDLDI; }
bool hasRecord(ModeCode m) { return m == kModeOSA0 || m == kModeLAIO; }

// The window's formats, then the open ones (written beside the intermediate files).
const QStringList kFormats = {QStringLiteral("csv"), QStringLiteral("vxd"), QStringLiteral("fil"),
                              QStringLiteral("plain"), QStringLiteral("vcd"), QStringLiteral("sr")};
bool openFormat(const QString& f) {
  return f == QLatin1String("plain") || f == QLatin1String("vcd") || f == QLatin1String("sr");
}
// Which records an open format takes; "" when it takes the mode.
QString openFormatRefusal(const QString& f, ModeCode m) {
  if (!openFormat(f)) return {};
  if (f == QLatin1String("vcd") && m != kModeLAIO && m != kModeDLDI)
    return QStringLiteral("--format vcd takes logic lines: logic-analyser (LAIO) records and "
                          "I/O-logger (DLDI) streams, not %1; use plain or sr")
        .arg(codeToFourChar(m));
  if (f == QLatin1String("sr") && !hasRecord(m) && !isLogger(m))
    return QStringLiteral("--format sr needs a regular sample rate, which a voltmeter series "
                          "(%1) has not; use plain")
        .arg(codeToFourChar(m));
  return {};
}

QString number(double v) { return QString::number(v, 'g', 10); }

// The allowed values next to v: the nearest row and its neighbour on v's other side.
QString nearestValues(std::span<const double> table, double v, const QString& unit) {
  const int row = nearestRow(table, v);
  const int other = v > table[std::size_t(row)] ? row + 1 : row - 1;
  const auto text = [&](int r) { return number(table[std::size_t(r)]) + unit; };
  if (other < 0 || other >= int(table.size())) return text(row);
  return text(std::min(row, other)) + QStringLiteral(" or ") + text(std::max(row, other));
}

bool inTable(std::span<const double> table, double v) {
  for (double t : table)
    if (std::abs(t - v) <= 1e-9 * std::max(1.0, std::abs(t))) return true;
  return false;
}

// One number, or two separated by a comma (channel 0, channel 1).
bool parsePair(const QString& text, std::array<double, 2>& out) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.size() < 1 || parts.size() > 2) return false;
  for (int i = 0; i < parts.size(); ++i) {
    bool ok = false;
    out[std::size_t(i)] = parts[i].trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(out[std::size_t(i)])) return false;
  }
  if (parts.size() == 1) out[1] = out[0];
  return true;
}

bool parseNumber(const QString& text, double& v) {
  bool ok = false;
  v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v);
}

bool parseTrigger(const QString& text, AcquireTrigger& t) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.isEmpty() || parts.size() > 4 || parts[0].size() != 1) return false;
  t = AcquireTrigger{};
  t.type = parts[0].at(0).toLatin1();
  if (parts.size() >= 2) {
    bool ok = false;
    const int ch = parts[1].trimmed().toInt(&ok);
    if (!ok) return false;
    t.channel = ch;
  }
  double v = 0;
  if (parts.size() >= 3) {
    if (!parseNumber(parts[2], v)) return false;
    t.level = v;
  }
  if (parts.size() == 4) {
    if (!parseNumber(parts[3], v)) return false;
    t.lower = v;
  }
  return true;
}

QString modeList() {
  QStringList l;
  for (ModeCode m : kModes) l << codeToFourChar(m);
  return l.join(QStringLiteral(", "));
}

}  // namespace

bool parseDuration(const QString& text, std::int64_t& ms) {
  static const std::pair<const char*, double> kUnits[] = {
      {"ms", 1.0}, {"s", 1e3}, {"min", 60e3}, {"m", 60e3}, {"h", 3600e3}, {"", 1e3}};
  const QString t = text.trimmed().toLower();
  for (const auto& [unit, factor] : kUnits) {
    if (!t.endsWith(QLatin1String(unit))) continue;
    double v = 0;
    if (!parseNumber(t.left(t.size() - qsizetype(std::strlen(unit))), v)) continue;
    if (v <= 0 || v * factor > 1e15) return false;
    ms = std::max<std::int64_t>(1, std::llround(v * factor));
    return true;
  }
  return false;
}

bool parseSampleTime(const QString& text, double& seconds) {
  static const std::pair<const char*, double> kUnits[] = {
      {"us", 1e-6}, {"\u00b5s", 1e-6}, {"ms", 1e-3}, {"ns", 1e-9}, {"s", 1.0}, {"", 1.0}};
  const QString t = text.trimmed().toLower();
  for (const auto& [unit, factor] : kUnits) {
    const QString u = QString::fromUtf8(unit);
    if (!t.endsWith(u)) continue;
    double v = 0;
    if (!parseNumber(t.left(t.size() - u.size()), v)) continue;
    if (v <= 0) return false;
    seconds = v * factor;
    return true;
  }
  return false;
}

bool wantsAcquire(const QStringList& args) {
  for (const QString& a : args)
    if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("--version"))
      return false;
  return args.contains(QStringLiteral("--acquire"));
}

int parseAcquireArguments(const QStringList& args, AcquireRequest& out, QString& error) {
  out = AcquireRequest{};
  bool acquire = false;
  const auto bad = [&error](const QString& why) {
    error = why;
    return kExitBadUsage;
  };
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args.at(i);
    if (a == QLatin1String("--acquire")) {
      acquire = true;
      continue;
    }
    if (a == QLatin1String("--merged")) {
      out.merged = true;
      continue;
    }
    if (a == QLatin1String("--quiet") || a == QLatin1String("-q")) {
      out.quiet = true;
      continue;
    }
    QString v;
    bool m = false;
    // Each option with its value; `need` names what the value must be.
    const auto take = [&](const char* name, const char* need) -> int {
      if (!takeValue(args, i, QLatin1String(name), v, m) || (m && v.isEmpty())) {
        error = QStringLiteral("%1 needs %2").arg(QLatin1String(name), QLatin1String(need));
        return -1;
      }
      return m ? 1 : 0;
    };
    int t = 0;
    if ((t = take("--simulate", "a number of devices")) != 0) {
      if (t < 0) return kExitBadUsage;
      bool ok = false;
      out.simulate = v.toInt(&ok);
      if (!ok || out.simulate < 0 || out.simulate > kMaxSimulatedDevices)
        return bad(QStringLiteral("--simulate needs a number from 0 to %1, not \"%2\"")
                       .arg(kMaxSimulatedDevices)
                       .arg(v));
      continue;
    }
    if ((t = take("--driver", "d2xx or libftdi")) != 0) {
      if (t < 0) return kExitBadUsage;
      if (v == QLatin1String("d2xx"))
        out.driver = FtdiBackend::D2xx;
      else if (v == QLatin1String("libftdi"))
        out.driver = FtdiBackend::Libftdi;
      else
        return bad(QStringLiteral("--driver needs d2xx or libftdi, not \"%1\"").arg(v));
      continue;
    }
    if ((t = take("--data-root", "a folder")) != 0) {
      if (t < 0) return kExitBadUsage;
      out.dataRoot = fs::path(v.toStdString());
      continue;
    }
    if ((t = take("--sim-trace", "a folder")) != 0) {
      if (t < 0) return kExitBadUsage;
      out.simTrace = fs::path(v.toStdString());
      continue;
    }
    if ((t = take("--sim-control", "a file or named pipe")) != 0) {
      if (t < 0) return kExitBadUsage;
      out.simControl = fs::path(v.toStdString());
      continue;
    }
    if ((t = take("--device", "a serial number")) != 0) {
      if (t < 0) return kExitBadUsage;
      if (!out.devices.contains(v)) out.devices << v;
      continue;
    }
    if ((t = take("--settings", "a settings file FILE.VXS")) != 0) {
      if (t < 0) return kExitBadUsage;
      out.settingsFile = fs::path(v.toStdString());
      continue;
    }
    if ((t = take("--mode", "a mode code")) != 0) {
      if (t < 0) return kExitBadUsage;
      const QString code = v.toUpper();
      const auto it = std::find_if(std::begin(kModes), std::end(kModes),
                                   [&](ModeCode c) { return codeToFourChar(c) == code; });
      if (it == std::end(kModes))
        return bad(QStringLiteral("--mode needs one of %1, not \"%2\"").arg(modeList(), v));
      out.mode = *it;
      continue;
    }
    if ((t = take("--samples", "a memory depth")) != 0) {
      if (t < 0) return kExitBadUsage;
      double d = 0;
      if (!parseNumber(v, d)) return bad(QStringLiteral("--samples needs a number, not \"%1\"").arg(v));
      out.samples = d;
      continue;
    }
    if ((t = take("--sample-time", "a time such as 100us")) != 0) {
      if (t < 0) return kExitBadUsage;
      double s = 0;
      if (!parseSampleTime(v, s))
        return bad(QStringLiteral("--sample-time needs a time such as 100us, 2ms or 0.5s, not \"%1\"")
                       .arg(v));
      out.sampleTime = s;
      continue;
    }
    if ((t = take("--trigger-point", "a percentage")) != 0) {
      if (t < 0) return kExitBadUsage;
      double p = 0;
      if (!parseNumber(v, p))
        return bad(QStringLiteral("--trigger-point needs a percentage, not \"%1\"").arg(v));
      out.triggerPoint = p;
      continue;
    }
    bool pairDone = false;
    for (const auto& [name, slot] :
         {std::pair{"--range", &out.range}, std::pair{"--offset", &out.offset},
          std::pair{"--probe", &out.probe}}) {
      if ((t = take(name, "volts (or two values: channel 1,channel 2)")) == 0) continue;
      if (t < 0) return kExitBadUsage;
      std::array<double, 2> p{};
      if (!parsePair(v, p))
        return bad(QStringLiteral("%1 needs a number or two separated by a comma, not \"%2\"")
                       .arg(QLatin1String(name), v));
      *slot = p;
      pairDone = true;
      break;
    }
    if (pairDone) continue;
    if ((t = take("--trigger", "TYPE[,CHANNEL,LEVEL[,LOWER]]")) != 0) {
      if (t < 0) return kExitBadUsage;
      AcquireTrigger tr;
      if (!parseTrigger(v, tr))
        return bad(QStringLiteral("--trigger needs TYPE[,CHANNEL,LEVEL[,LOWER]], not \"%1\"").arg(v));
      out.trigger = tr;
      continue;
    }
    if ((t = take("--records", "a number of records")) != 0) {
      if (t < 0) return kExitBadUsage;
      bool ok = false;
      const qlonglong k = v.toLongLong(&ok);
      if (!ok || k < 1)
        return bad(QStringLiteral("--records needs a number of 1 or more, not \"%1\"").arg(v));
      out.records = k;
      continue;
    }
    if ((t = take("--duration", "a time such as 10s, 5min or 2h")) != 0) {
      if (t < 0) return kExitBadUsage;
      std::int64_t ms = 0;
      if (!parseDuration(v, ms))
        return bad(QStringLiteral("--duration needs a time such as 10s, 5min or 2h, not \"%1\"").arg(v));
      out.durationMs = ms;
      continue;
    }
    if ((t = take("--out", "a folder or -")) != 0) {
      if (t < 0) return kExitBadUsage;
      out.out = v;
      continue;
    }
    if ((t = take("--format", "csv, vxd, fil, plain, vcd or sr")) != 0) {
      if (t < 0) return kExitBadUsage;
      const QString f = v.toLower();
      if (!kFormats.contains(f))
        return bad(QStringLiteral("--format needs csv, vxd, fil, plain, vcd or sr, not \"%1\"")
                       .arg(v));
      out.format = f;
      continue;
    }
    if ((t = take("--decimal", ". or ,")) != 0) {
      if (t < 0) return kExitBadUsage;
      if (v != QLatin1String(".") && v != QLatin1String(","))
        return bad(QStringLiteral("--decimal needs . or , not \"%1\"").arg(v));
      out.decimal = v.at(0).toLatin1();
      continue;
    }
    if ((t = take("--separator", "; , . tab or blank")) != 0) {
      if (t < 0) return kExitBadUsage;
      const QString s = v.toLower();
      if (s == QLatin1String(";") || s == QLatin1String(",") || s == QLatin1String(".") ||
          s == QLatin1String(" "))
        out.column = s.at(0).toLatin1();
      else if (s == QLatin1String("tab") || s == QLatin1String("\t"))
        out.column = '\t';
      else if (s == QLatin1String("blank") || s == QLatin1String("space"))
        out.column = ' ';
      else if (s == QLatin1String("point") || s == QLatin1String("dot"))
        out.column = '.';
      else
        return bad(QStringLiteral("--separator needs ; , . tab or blank, not \"%1\"").arg(v));
      continue;
    }
    if (a.startsWith(QLatin1Char('-')))
      return bad(QStringLiteral("%1 cannot be used with --acquire").arg(a));
    return bad(QStringLiteral("unexpected argument \"%1\"").arg(a));
  }
  if (!acquire) return bad(QStringLiteral("--acquire is missing"));
  if (out.driver != FtdiBackend::Auto && out.simulate >= 0)
    return bad(QStringLiteral("--driver and --simulate cannot be used together"));
  if (!out.simControl.empty() && out.simulate <= 0)
    return bad(QStringLiteral("--sim-control needs simulated devices (--simulate N)"));
  if (out.records && out.durationMs)
    return bad(QStringLiteral("give one of --records and --duration"));
  if (!out.settingsFile.empty()) {
    const QString ext = QString::fromStdString(out.settingsFile.extension().string()).toUpper();
    if (ext != QLatin1String(".VXS"))
      return bad(QStringLiteral("--settings needs a settings file ending in .VXS"));
  }
  if (out.out == QLatin1String("-")) {
    if (out.merged)
      return bad(QStringLiteral("--merged writes the multi-device data file: give --out a folder"));
    if (out.mode && isLogger(*out.mode))
      return bad(QStringLiteral("--out - takes voltmeter readings and scope or logic-analyser "
                                "records; a logger stream goes to a folder"));
  }
  if (out.merged) {
    if (out.mode && *out.mode != kModeOSA0)
      return bad(QStringLiteral("--merged collects scope records: --mode must be OSA0"));
    if (out.format != QLatin1String("csv"))
      return bad(QStringLiteral("--merged writes the multi-device data file; --format does not "
                                "apply"));
  }
  if (out.mode) {
    if (const QString why = openFormatRefusal(out.format, *out.mode); !why.isEmpty())
      return bad(why);
  }
  if (out.mode && isLogger(*out.mode) && out.records)
    return bad(QStringLiteral("a logger run has no records: use --duration or stop it with "
                              "Ctrl+C"));
  if (out.decimal && out.column && *out.decimal == *out.column)
    return bad(QStringLiteral("the column separator \"%1\" is also the decimal separator")
                   .arg(QLatin1Char(*out.column)));
  return kExitOk;
}

int applyAcquireSettings(const AcquireRequest& q, SettingsRecord& r, QString& error) {
  if (q.mode) r.mode = *q.mode;
  if (q.merged) r.mode = kModeOSA0;
  const ModeCode mode = r.mode;
  const QString code = codeToFourChar(mode);
  const auto bad = [&error](const QString& why) {
    error = why;
    return kExitBadUsage;
  };
  if (q.samples) {
    if (!hasRecord(mode))
      return bad(QStringLiteral("--samples belongs to OSA0 and LAIO, not to %1").arg(code));
    const double most = mode == kModeOSA0 ? kScopeMemorySamples : kLogicMemorySamples;
    if (!inTable(kMemoryDepthTable, *q.samples) || *q.samples > most) {
      std::vector<double> allowed;
      for (double d : kMemoryDepthTable)
        if (d <= most) allowed.push_back(d);
      return bad(QStringLiteral("--samples %1 is no memory depth of %2; nearest: %3")
                     .arg(number(*q.samples), code,
                          nearestValues(allowed, *q.samples, QString())));
    }
    r.memoryDepth = *q.samples;
  }
  if (q.sampleTime) {
    const double us = *q.sampleTime * 1e6;
    if (!inTable(kSampleTimeTableUs, us))
      return bad(QStringLiteral("--sample-time %1 s is no sample time of the device; nearest: %2")
                     .arg(number(*q.sampleTime),
                          nearestValues(kSampleTimeTableUs, us, QStringLiteral("us"))));
    r.sampleTime = kSampleTimeTableUs[std::size_t(nearestRow(kSampleTimeTableUs, us))] * 1e-6;
  }
  if (r.mode == kModeDLA0 || r.mode == kModeDLDI) {
    if (r.sampleTime < kLoggerMinSampleTime)
      return bad(QStringLiteral("%1 takes sample times from 100us; nearest: 100us").arg(code));
  }
  if (q.triggerPoint) {
    if (!hasRecord(mode))
      return bad(QStringLiteral("--trigger-point belongs to OSA0 and LAIO, not to %1").arg(code));
    if (*q.triggerPoint < 0 || *q.triggerPoint > 100)
      return bad(QStringLiteral("--trigger-point %1 lies outside 0 to 100 percent")
                     .arg(number(*q.triggerPoint)));
    r.triggerPoint = *q.triggerPoint;
  }
  if (q.range) {
    for (int ch = 0; ch < 2; ++ch) {
      const double v = (*q.range)[std::size_t(ch)];
      if (!inTable(kAmplitudeTable, v))
        return bad(QStringLiteral("--range %1 V is no range of channel %2; nearest: %3")
                       .arg(number(v))
                       .arg(ch + 1)
                       .arg(nearestValues(kAmplitudeTable, v, QStringLiteral(" V"))));
    }
    r.amplC0 = (*q.range)[0];
    r.amplC1 = (*q.range)[1];
  }
  // Offsets and levels go as far as the slider does: half the range either side.
  const auto withinRange = [](double v, double range) { return std::abs(v) <= range / 2 + 1e-12; };
  const std::array<double, 2> ranges{r.amplC0, r.amplC1};
  if (q.offset) {
    for (int ch = 0; ch < 2; ++ch) {
      const double v = (*q.offset)[std::size_t(ch)];
      if (!withinRange(v, ranges[std::size_t(ch)]))
        return bad(QStringLiteral("--offset %1 V lies outside the range of channel %2; allowed: "
                                  "%3 to %4 V")
                       .arg(number(v))
                       .arg(ch + 1)
                       .arg(number(-ranges[std::size_t(ch)] / 2))
                       .arg(number(ranges[std::size_t(ch)] / 2)));
    }
    r.offsC0 = (*q.offset)[0];
    r.offsC1 = (*q.offset)[1];
  }
  if (q.probe) {
    for (int ch = 0; ch < 2; ++ch) {
      const double p = (*q.probe)[std::size_t(ch)];
      if (p != std::round(p) || p < kProbeMin || p > kProbeMax || p == 0)
        return bad(QStringLiteral("--probe %1 is no probe factor; allowed: whole numbers from %2 "
                                  "to %3 except 0")
                       .arg(number(p))
                       .arg(kProbeMin)
                       .arg(kProbeMax));
    }
    r.probeFactorC0 = (*q.probe)[0];
    r.probeFactorC1 = (*q.probe)[1];
  }
  if (q.trigger) {
    const AcquireTrigger& t = *q.trigger;
    if (mode == kModeLAIO) {
      if (logicComboIndex(t.type) < 0)
        return bad(QStringLiteral("--trigger %1 is no trigger type of LAIO; allowed: X x M P")
                       .arg(QLatin1Char(t.type)));
    } else if (mode == kModeOSA0 || mode == kModeDLA0) {
      if (analogComboIndex(t.type) < 0)
        return bad(QStringLiteral("--trigger %1 is no trigger type of %2; allowed: T t W w E e D "
                                  "d X x M")
                       .arg(QLatin1Char(t.type))
                       .arg(code));
    } else {
      return bad(QStringLiteral("--trigger does not apply to %1").arg(code));
    }
    r.trgTypString.assign(1, t.type);
    if (t.channel) {
      if (*t.channel < 1 || *t.channel > 2)
        return bad(QStringLiteral("--trigger channel %1 is no channel; allowed: 1 or 2")
                       .arg(*t.channel));
      r.trgChan = std::uint8_t(*t.channel - 1);
    }
    const double range = ranges[r.trgChan == 0 ? 0 : 1];
    for (const auto& [value, slot] :
         {std::pair{t.level, &r.trgLevelUpper}, std::pair{t.lower, &r.trgLevelLower}}) {
      if (!value) continue;
      if (!withinRange(*value, range))
        return bad(QStringLiteral("--trigger level %1 V lies outside the range of channel %2; "
                                  "allowed: %3 to %4 V")
                       .arg(number(*value))
                       .arg(int(r.trgChan) + 1)
                       .arg(number(-range / 2))
                       .arg(number(range / 2)));
      *slot = *value;
    }
    if (t.level && t.lower && *t.lower > *t.level)
      return bad(QStringLiteral("--trigger: the lower level lies above the level"));
  }
  return kExitOk;
}

// --- The run ----------------------------------------------------------------------------------

namespace {

class TSessionMembers final : public IMultiMembers {
 public:
  explicit TSessionMembers(std::vector<std::unique_ptr<TSessionMember>>& m) : m_(m) {}
  int count() const override { return int(m_.size()); }
  IMultiMember* at(int i) override {
    return i >= 0 && i < count() ? m_[std::size_t(i)].get() : nullptr;
  }

 private:
  std::vector<std::unique_ptr<TSessionMember>>& m_;
};

QString sizeText(std::uint64_t bytes) {
  if (bytes < 10 * 1024) return QStringLiteral("%1 B").arg(bytes);
  if (bytes < 10ull * 1024 * 1024) return QStringLiteral("%1 KiB").arg(bytes / 1024);
  return QStringLiteral("%1 MiB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

}  // namespace

THeadlessAcquisition::THeadlessAcquisition(const AcquireRequest& q, IFtdiDriver& driver,
                                           std::FILE* err, std::ostream* out)
    : q_(q), driver_(driver), err_(err), out_(out) {
  clock_.start();
}

THeadlessAcquisition::~THeadlessAcquisition() {
  if (timerId_ != 0) killTimer(timerId_);
  collection_.reset();
  receiver_.reset();
  members_.clear();
  sessions_.clear();
}

void THeadlessAcquisition::line(const QString& text) {
  if (!err_) return;
  if (lineOpen_) std::fputs("\n", err_);
  lineOpen_ = false;
  std::fprintf(err_, "multi_tolvanex: %s\n", qPrintable(text));
  std::fflush(err_);
}

void THeadlessAcquisition::fail(int code, const QString& text) {
  line(text);
  if (exitCode_ == 0 || code == kExitDeviceLost) exitCode_ = code;
}

int THeadlessAcquisition::start() {
  HeadlessRequest style;
  style.decimal = q_.decimal;
  style.column = q_.column;
  style_ = headlessCsvStyle(style);
  if (style_.decimal == style_.column) {
    line(QStringLiteral("the column separator \"%1\" is also the decimal separator")
             .arg(QLatin1Char(style_.column)));
    return kExitBadUsage;
  }
  // The multi-device files take the process-wide choice, as in the window.
  setDecimalSeparatorSetting(QLatin1Char(style_.decimal));
  setColumnSeparatorSetting(QLatin1Char(style_.column));
  TFtdiEnumeration list(driver_);
  list.setErrorBoxesOn(false);
  std::vector<FtdiDeviceRow> rows, family;
  list.scan(rows);
  TFtdiEnumeration::familyRows(rows, family);
  QStringList serials;
  for (const FtdiDeviceRow& r : family) serials << r.serial;
  if (serials.isEmpty()) {
    line(QStringLiteral("no Tolvanex device found"));
    return kExitBadInput;
  }
  QStringList chosen = q_.devices.isEmpty() ? serials : q_.devices;
  for (const QString& s : chosen)
    if (!serials.contains(s)) {
      line(QStringLiteral("%1: no such device; listed: %2").arg(s, serials.join(QStringLiteral(", "))));
      return kExitBadInput;
    }
  // Every device's settings are checked before anything is sent to any of them.
  std::vector<SettingsRecord> records;
  for (const QString& serial : chosen) {
    SettingsRecord rec = SettingsRecord::defaults();
    // A file named with --settings may be a pipe on purpose; the device's LastSettings is one
    // of the program's own files, where a pipe is a damaged file.
    TSettingsLoader loader(q_.settingsFile.empty() ? SettingsSource::Own : SettingsSource::Named);
    if (!q_.settingsFile.empty()) {
      const int rc = loader.load(q_.settingsFile);
      if (rc != 0) {
        line(QStringLiteral("\"%1\": cannot be read as settings: %2")
                 .arg(QString::fromStdString(q_.settingsFile.string()), readResultText(rc)));
        return kExitBadInput;
      }
      // A broken text file must not pass unnoticed because the image stood in for it.
      if (loader.lastLoadUsedImage())
        line(QStringLiteral("\"%1\": cannot be read; the settings are taken from \"%2\"")
                 .arg(pathText(loader.lastLoadBrokenFile()), pathText(q_.settingsFile)));
      rec = loader.toApply();
    } else if (serialIsFolderName(serial)) {
      const fs::path last = dataRoot() / pathFromText(serial) / "LastSettings.VXS";
      std::error_code ec;
      if (fs::exists(last, ec) && loader.load(last) == 0) rec = loader.toApply();
    }
    QString why;
    if (applyAcquireSettings(q_, rec, why) != kExitOk) {
      line(chosen.size() > 1 || q_.settingsFile.empty() ? serial + QStringLiteral(": ") + why : why);
      return kExitBadUsage;
    }
    if (q_.out == QLatin1String("-") && isLogger(rec.mode)) {
      line(serial + QStringLiteral(": --out - takes voltmeter readings and scope or "
                                   "logic-analyser records; a logger stream goes to a folder"));
      return kExitBadUsage;
    }
    if (const QString why = openFormatRefusal(q_.format, rec.mode); !why.isEmpty()) {
      line(serial + QStringLiteral(": ") + why);
      return kExitBadUsage;
    }
    if (q_.records && isLogger(rec.mode)) {
      line(serial + QStringLiteral(": a logger run has no records: use --duration or stop it "
                                   "with Ctrl+C"));
      return kExitBadUsage;
    }
    records.push_back(rec);
  }
  // Merged or to standard output, the devices write no files of their own: their folders stay
  // below the data root.
  const bool toStdout = q_.out == QLatin1String("-");
  const fs::path root =
      q_.out.isEmpty() || q_.merged || toStdout ? dataRoot() : fs::path(q_.out.toStdString());
  for (int i = 0; i < chosen.size(); ++i) {
    auto s = std::make_unique<TDeviceSession>(driver_, chosen[i]);
    s->setCsvStyle(style_);
    WindowOptions o = WindowOptions::fromRecord(records[std::size_t(i)]);
    // An open format takes the place of the window's data file; intermediate files stay.
    o.autoSaveMode = q_.format == QLatin1String("csv") ? 1 : q_.format == QLatin1String("vxd") ? 2 : 0;
    o.makeIntermediateFiles = true;
    o.singleShot = q_.records && *q_.records == 1;
    if (q_.merged || toStdout) {
      // The merged file (standard output) is the output; the collection keeps its own
      // per-device files.
      o.autoSaveMode = 0;
      o.makeIntermediateFiles = false;
    }
    const int rc = s->open(root, records[std::size_t(i)], o);
    if (rc != 0) {
      line(rc == 3 ? QStringLiteral("%1: folder below \"%2\" cannot be made")
                         .arg(chosen[i], QString::fromStdString(root.string()))
                   : QStringLiteral("%1: cannot be opened (driver status %2)").arg(chosen[i]).arg(rc));
      sessions_.clear();
      return rc == 3 ? kExitBadInput : kExitDeviceLost;
    }
    s->onEvent = [this, i](const SessionEvent&) { recordDone(i); };
    s->onNotice = [this](const QString& text) { line(text); };
    sessions_.push_back(std::move(s));
  }
  done_.assign(sessions_.size(), false);
  lostTold_.assign(sessions_.size(), false);
  voltmeterStreams_.resize(sessions_.size());
  startedMs_ = clock_.elapsed();
  timerId_ = startTimer(kTickMs);
  return kExitOk;
}

void THeadlessAcquisition::allReady() {
  running_ = true;
  startedMs_ = clock_.elapsed();  // rates count from the first run
  readyMs_ = startedMs_;
  runsAtReady_.clear();
  for (auto& s : sessions_) runsAtReady_.push_back(s->acquisition().runsWritten());
  if (q_.merged) {
    for (auto& s : sessions_) members_.push_back(std::make_unique<TSessionMember>(*s));
    memberList_ = std::make_unique<TSessionMembers>(members_);
    receiver_ = std::make_unique<TRecordNoticeReceiver>(
        [this](const MultiRecordNotice& n) { collection_->recordArrived(n); });
    collection_ = std::make_unique<TMultiCollection>(*memberList_, receiver_.get());
    collection_->fill();
    for (int i = 0; i < collection_->itemCount(); ++i) collection_->setItemChecked(i, true);
    collection_->activate();
    collection_->setAutosave(true);
    collection_->setSingleShot(false, false);
    if (!q_.out.isEmpty()) collection_->setDataFileFolder(fs::path(q_.out.toStdString()));
    // Counted once the cycle's file is written: a stop asked while it is drawn would be taken
    // as a Break and leave the last cycle unsaved.
    collection_->onCycleEnded = [this] {
      ++cycles_;
      progress(false);
      if (q_.records && cycles_ >= *q_.records) std::fill(done_.begin(), done_.end(), true);
    };
    // The merged file is the run's output: one that cannot be written ends the run as a file
    // error, never a silent exit 0.
    collection_->onAutosaveFailed = [this](const fs::path& name, int rc) {
      fail(kExitBadInput, QStringLiteral("the merged file \"%1\" cannot be written: %2; stopping")
                              .arg(QString::fromStdString(name.string()), outputProblem(rc)));
      beginStopping();
    };
    // A device's own file is a by-product: its record stays in the merged file, which is what
    // the run delivers. Said in one line a cycle (each file once), and the run goes on (exit
    // code 0).
    collection_->onDeviceFilesFailed = [this](const std::vector<DeviceFileFailure>& failed) {
      QStringList each;
      for (const DeviceFileFailure& f : failed)
        each << QStringLiteral("the device file \"%1\" cannot be written: %2")
                    .arg(QString::fromStdString(f.name.string()), outputProblem(f.rc));
      line(QStringLiteral("warning: %1; %2 stay in the merged files, the run goes on")
               .arg(each.join(QStringLiteral("; ")),
                    failed.size() == 1 ? QStringLiteral("its records")
                                       : QStringLiteral("their records")));
    };
    collection_->runClicked();
    return;
  }
  for (auto& s : sessions_) s->run();
}

void THeadlessAcquisition::writePlain(int i) {
  TDeviceSession& s = *sessions_[std::size_t(i)];
  const TMeasureData& d = s.data();
  const ModeCode mode = s.acquisition().mode();
  int rc = 0;
  if (isVoltmeterMode(mode)) {
    const TTaggedTimedFloatPointList& chart = d.chartList();
    if (chart.Count() == 0) return;
    auto& stream = voltmeterStreams_[std::size_t(i)];
    if (!stream) {
      SettingsRecord r = s.requested();
      r.mode = mode;
      PlainCsvHead head = plainHeadOf({s.serial(), r, chart.Items().front().time}, -1);
      head.conversion = s.acquisition().conversion();
      stream = std::make_unique<TPlainVoltmeterStream>(*out_, head);
    }
    rc = stream->add(chart.Items().back());
  } else if (mode == kModeOSA0) {
    const RecordInfo info{s.serial(), d.recordSettings(), d.measurementTime()};
    rc = writePlainScope(*out_, plainHeadOf(info, d.sampleCount()),
                         std::span<const ScopeSample>(d.scopeSamples(), std::size_t(d.sampleCount())));
  } else if (mode == kModeLAIO) {
    const RecordInfo info{s.serial(), d.recordSettings(), d.measurementTime()};
    rc = writePlainLogic(*out_, plainHeadOf(info, d.logicList().count()), d.logicList());
  }
  out_->flush();
  if (rc != 0 && exitCode_ == 0) {
    // A reader that went away (a closed pipe) ends the run like Ctrl+C, with the status of a
    // failed output.
    fail(kExitBadInput, QStringLiteral("%1: standard output cannot be written").arg(s.serial()));
    outBroken_ = true;
    beginStopping();
  }
}

QString THeadlessAcquisition::writeOpenFormat(int i) {
  TDeviceSession& s = *sessions_[std::size_t(i)];
  const TMeasureData& d = s.data();
  SettingsRecord r = s.requested();
  r.mode = s.acquisition().mode();
  // Records are named by their MeasurementTime, a series by its first reading, a logger
  // stream by the start its header keeps.
  std::optional<DayTime> t;
  if (hasRecord(r.mode)) {
    t = d.measurementTime();
  } else if (isLogger(r.mode)) {
    SettingsRecord h;
    if (d.loggerStream().fileName().empty() ||
        readTextHeader(d.loggerStream().fileName(), h, &t) != 0)
      t.reset();
  } else if (d.chartList().Count() > 0) {
    t = d.chartList().Items().front().time;
  }
  if (!t) return {};  // nothing arrived: nothing to write
  const std::string ext = q_.format == QLatin1String("plain") ? "csv" : q_.format.toStdString();
  const fs::path name = automaticDataFileBase(s.deviceFolder(), *t, r.mode, ext);
  ExportFormat f{};
  exportFormatOf(q_.format == QLatin1String("plain") ? QStringLiteral("csv") : q_.format, f);
  const fs::path stream = isLogger(r.mode) ? d.loggerStream().fileName() : fs::path();
  // A file put under the name meanwhile (another run on the same data root) is kept.
  StoredProblem p;
  fs::path taken;
  writeMadeOutput(
      name,
      [&](const fs::path& file) {
        p = exportMeasuredRecord(f, d, s.serial(), r, stream, file, nullptr);
        return p.ok() ? 0 : -1;
      },
      taken);
  return p.ok() ? QString() : p.reason;
}

void THeadlessAcquisition::recordDone(int i) {
  TDeviceSession& s = *sessions_[std::size_t(i)];
  // A record handed over after the stop (on its way when it came) belongs to the output like
  // the others; after --records' last one none is taken.
  if (out_ && q_.out == QLatin1String("-") && !done_[std::size_t(i)] && !outBroken_) writePlain(i);
  if (openFormat(q_.format) && q_.out != QLatin1String("-") && !q_.merged &&
      hasRecord(s.acquisition().mode()))
    if (const QString why = writeOpenFormat(i); !why.isEmpty() && exitCode_ == 0) {
      fail(kExitBadInput,
           QStringLiteral("%1: the %2 file cannot be written (%3)").arg(s.serial(), q_.format, why));
      beginStopping();
      return;
    }
  if (const int rc = s.firstFileError(); rc != 0 && exitCode_ == 0) {
    fail(kExitBadInput, QStringLiteral("%1: a file cannot be written: %2; stopping")
                            .arg(s.serial(), outputProblem(rc)));
    beginStopping();
    return;
  }
  if (const int rc = s.firstReadBackError(); rc != 0 && exitCode_ == 0) {
    fail(kExitBadInput, QStringLiteral("%1: the stream cannot be read back: %2; stopping")
                            .arg(s.serial(), readResultText(rc)));
    beginStopping();
    return;
  }
  if (!q_.merged && q_.records && !done_[std::size_t(i)] &&
      std::int64_t(s.records()) >= *q_.records) {
    done_[std::size_t(i)] = true;
    // The device stops; a run already on its way (overlap) brings a record beyond the count
    // asked for, which is not taken.
    s.stopTakingNoMore();
  }
  progress(false);
}

void THeadlessAcquisition::requestStop() {
  if (finished_) return;
  beginStopping();
}

void THeadlessAcquisition::beginStopping() {
  if (stopping_) return;
  stopping_ = true;
  stoppingSinceMs_ = clock_.elapsed();
  if (collection_) {
    // The cycle in flight is finished and written with what comes; its devices run single
    // shot, so none starts another run, and finish() stops them all.
    collection_->stopAfterCycle();
    return;
  }
  for (auto& s : sessions_) s->stop();
}

void THeadlessAcquisition::relistDevices(std::int64_t now) {
  if (now - relistedMs_ < kRelistMs) return;
  relistedMs_ = now;
  TFtdiEnumeration list(driver_);
  std::vector<FtdiDeviceRow> rows;
  // Only a complete list tells that a device has gone.
  const bool complete = list.relist(rows);
  for (auto& s : sessions_) {
    if (s->lost() || !s->link().isOpen()) continue;
    const bool listed =
        !complete || std::any_of(rows.begin(), rows.end(),
                                 [&](const FtdiDeviceRow& r) { return r.serial == s->serial(); });
    if (!listed)
      s->acquisition().linkLost(kFtDeviceNotFound);
    else if (s->link().handleDead())
      s->acquisition().linkLost(kFtIoError);
  }
}

void THeadlessAcquisition::tick() {
  if (finished_) return;
  const std::int64_t now = clock_.elapsed();
  relistDevices(now);
  for (std::size_t i = 0; i < sessions_.size(); ++i) {
    TDeviceSession& s = *sessions_[i];
    if (!s.lost() || lostTold_[i]) continue;
    lostTold_[i] = true;
    // A merged run goes on with the others, as the multi-device window does: the lost device
    // is marked missing in each cycle's file. It ends when no device is left.
    const bool goesOn = collection_ && running_ && !stopping_ &&
                        std::any_of(sessions_.begin(), sessions_.end(),
                                    [](const auto& o) { return !o->lost(); });
    fail(kExitDeviceLost,
         QStringLiteral("%1: device lost (driver status %2); %3")
             .arg(s.serial())
             .arg(int(s.lostStatus()))
             .arg(goesOn ? QStringLiteral("the merged run goes on without it, marked missing")
                         : QStringLiteral("keeping what arrived")));
    if (!goesOn) beginStopping();
  }
  if (!running_ && !stopping_) {
    bool ready = true;
    for (auto& s : sessions_) ready = ready && s->ready();
    if (ready) {
      allReady();
    } else if (now - startedMs_ > kStartUpLimitMs) {
      for (auto& s : sessions_)
        if (!s->ready())
          fail(kExitDeviceLost, QStringLiteral("%1: the device did not take its settings")
                                    .arg(s->serial()));
      beginStopping();
    }
    return;
  }
  if (running_ && !stopping_) {
    startDurationOnFirstRun(now);
    const bool allDone =
        !done_.empty() && std::all_of(done_.begin(), done_.end(), [](bool b) { return b; });
    if ((stopAtMs_ >= 0 && now >= stopAtMs_) || (q_.records && allDone)) beginStopping();
  }
  progress(false);
  if (!stopping_) return;
  // Stopped devices finish what is on its way: a logger's stream to its end marker.
  // A merged cycle still open waits for its records.
  bool quiet = !(collection_ && collection_->cycleOpen());
  for (auto& s : sessions_)
    if (!s->lost() && (s->loggerRunning() || s->acquisition().runState() == RunState::Transferring))
      quiet = false;
  if (quiet || now - stoppingSinceMs_ > kStopGraceMs) {
    if (!quiet)
      for (auto& s : sessions_)
        if (s->loggerRunning())
          line(QStringLiteral("%1: the stream did not end; its file keeps what arrived")
                   .arg(s->serial()));
    // A cycle that could not finish in time is written with what came.
    if (collection_ && collection_->cycleOpen()) collection_->endCycleNow();
    finish();
  }
}

void THeadlessAcquisition::startDurationOnFirstRun(std::int64_t now) {
  if (!q_.durationMs || stopAtMs_ >= 0) return;
  // The devices take their settings before their first run; a run queued behind that counts
  // only once it went out. A device that never gets one does not hold the time back forever.
  bool ran = now - readyMs_ > kStartUpLimitMs;
  for (std::size_t i = 0; i < sessions_.size() && i < runsAtReady_.size(); ++i)
    if (sessions_[i]->acquisition().runsWritten() != runsAtReady_[i]) ran = true;
  if (ran) stopAtMs_ = now + *q_.durationMs;
}

void THeadlessAcquisition::finish() {
  if (finished_) return;
  finished_ = true;
  if (timerId_ != 0) killTimer(timerId_);
  timerId_ = 0;
  // A merged run's devices were left to finish their cycle: every one is stopped now.
  if (collection_)
    for (auto& s : sessions_) s->stop();
  for (auto& s : sessions_) s->close();
  // A voltmeter series and a logger stream are whole only now: their open format follows
  // their closed files.
  if (openFormat(q_.format) && q_.out != QLatin1String("-") && !q_.merged)
    for (std::size_t i = 0; i < sessions_.size(); ++i)
      if (!hasRecord(sessions_[i]->acquisition().mode()))
        if (const QString why = writeOpenFormat(int(i)); !why.isEmpty()) {
          const QString what = QStringLiteral("%1: the %2 file cannot be written (%3)")
                                   .arg(sessions_[i]->serial(), q_.format, why);
          if (exitCode_ == 0)
            fail(kExitBadInput, what);
          else
            line(what);
        }
  progress(true);
  if (lineOpen_ && err_) {
    std::fputs("\n", err_);
    lineOpen_ = false;
  }
  if (onFinished) onFinished(exitCode_);
}

void THeadlessAcquisition::progress(bool force) {
  if (quiet() || !err_ || sessions_.empty()) return;
  const std::int64_t now = clock_.elapsed();
  const double seconds = std::max(1e-3, double(now - startedMs_) / 1000.0);
  const auto deviceText = [&](TDeviceSession& s) {
    return QStringLiteral("%1 %2 %3, %4/s, %5")
        .arg(s.serial())
        .arg(s.records())
        .arg(isLogger(s.acquisition().mode()) ? QStringLiteral("chunks") : QStringLiteral("records"))
        .arg(double(s.records()) / seconds, 0, 'g', 3)
        .arg(sizeText(s.bytesIn()));
  };
  if (terminal_) {
    if (!force && lastProgressMs_ >= 0 && now - lastProgressMs_ < kProgressEveryMs) return;
    lastProgressMs_ = now;
    QStringList parts;
    if (collection_) parts << QStringLiteral("%1 cycles").arg(cycles_);
    for (auto& s : sessions_) parts << deviceText(*s);
    std::fprintf(err_, "\r%.*s\033[K", 400, qPrintable(parts.join(QStringLiteral(" | "))));
    std::fflush(err_);
    lineOpen_ = true;
    return;
  }
  // Not a terminal: one line per record (per cycle when merged, per second for streams).
  std::vector<std::uint64_t>& seen = seen_;
  if (force) return;
  if (collection_) {
    if (std::uint64_t(cycles_) != (seen.empty() ? 0 : seen[0])) {
      seen.assign(1, std::uint64_t(cycles_));
      std::fprintf(err_, "cycle %d: %d of %d devices\n", cycles_, collection_->receivedCount(),
                   collection_->activeCount());
      std::fflush(err_);
    }
    return;
  }
  seen.resize(sessions_.size(), 0);
  for (std::size_t k = 0; k < sessions_.size(); ++k) {
    TDeviceSession& s = *sessions_[k];
    if (s.records() == seen[k]) continue;
    if (isLogger(s.acquisition().mode()) && lastProgressMs_ >= 0 && now - lastProgressMs_ < 1000)
      continue;
    seen[k] = s.records();
    lastProgressMs_ = now;
    std::fprintf(err_, "%s\n", qPrintable(deviceText(s)));
  }
  std::fflush(err_);
}

namespace {

// Scripts read standard error for our lines; the toolkit's notes about the session (no runtime
// folder, no display) are no concern of theirs.
void quietToolkit(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "multi_tolvanex: %s\n", qPrintable(msg));
}

}  // namespace

int acquireMain(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  AcquireRequest q;
  QString error;
  if (parseAcquireArguments(args, q, error) != kExitOk) {
    std::fprintf(stderr, "multi_tolvanex: %s\nTry \"multi_tolvanex --help\".\n", qPrintable(error));
    return kExitBadUsage;
  }
  if (!q.dataRoot.empty()) {
    const QString problem = checkDataRoot(q.dataRoot);
    if (!problem.isEmpty()) {
      std::fprintf(stderr, "multi_tolvanex: %s\n", qPrintable(problem));
      return kExitBadUsage;
    }
    setDataRoot(q.dataRoot);
  }
  // No display is needed: the merged cycle draws into a picture only.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(quietToolkit);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  std::setlocale(LC_NUMERIC, "C");  // see main(): numbers in files keep their dot
  if (TSignalBridge::earlySignalPending()) return kExitOk;
  CommandLine cmd;
  cmd.simulateCount = q.simulate;
  cmd.simTraceDir = q.simTrace;
  cmd.driver = q.driver;
  std::unique_ptr<IFtdiDriver> driver = chooseDriver(cmd);
  // Pulls and plugs of the simulated devices while the run goes on, as in the window.
  std::unique_ptr<TSimControlReader> simControl;
  QTimer simControlTimer;
  if (auto* sim = dynamic_cast<TSimulatedDriver*>(driver.get()); sim && !q.simControl.empty()) {
    simControl = std::make_unique<TSimControlReader>(*sim, q.simControl.string());
    if (!simControl->isOpen()) {
      std::fprintf(stderr, "multi_tolvanex: --sim-control %s cannot be opened\n",
                   q.simControl.string().c_str());
      return kExitBadInput;
    }
    QObject::connect(&simControlTimer, &QTimer::timeout, [&simControl] { simControl->poll(); });
    simControlTimer.start(200);
  }
  int rc = kExitOk;
  {
    THeadlessAcquisition run(q, *driver, stderr, &std::cout);
    run.setTerminal(::isatty(STDERR_FILENO) == 1);
    TSignalBridge signals_;
    QObject::connect(&signals_, &TSignalBridge::terminationRequested, &app,
                     [&run](int) { run.requestStop(); });
    run.onFinished = [](int code) { QCoreApplication::exit(code); };
    rc = run.start();
    if (rc == kExitOk) rc = app.exec();
    if (!run.finished()) rc = std::max(rc, run.exitCode());
  }
  simControlTimer.stop();
  simControl.reset();
  driver.reset();
  return rc;
}

}  // namespace tolv
