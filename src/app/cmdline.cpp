#include "app/cmdline.h"

#include "common/version.h"

namespace tolv {

bool takeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value,
               bool& matched) {
  const QString& a = args.at(i);
  matched = false;
  if (a == name) {
    matched = true;
    if (i + 1 >= args.size()) return false;
    value = args.at(++i);
    return true;
  }
  if (a.startsWith(name + QLatin1Char('='))) {
    matched = true;
    value = a.mid(name.size() + 1);
    return true;
  }
  return true;
}

namespace {

// The options the toolkit takes from the command line itself (common ones and those of the X11
// platform). It accepts each with one dash or two.
constexpr const char* kToolkitValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "session", "display", "geometry", "title", "icon", "name",
    "style", "stylesheet"};
constexpr const char* kToolkitEqualsOptions[] = {"qmljsdebugger", "dialogs", "fontengine",
                                                 "style", "stylesheet"};
constexpr const char* kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync",
                                         "testability"};

}  // namespace

ToolkitOption skipToolkitOption(const QStringList& args, qsizetype& i) {
  QString a = args.at(i);
  if (!a.startsWith(QLatin1Char('-'))) return ToolkitOption::No;
  a.remove(0, a.startsWith(QLatin1String("--")) ? 2 : 1);
  for (const char* f : kToolkitFlags)
    if (a == QLatin1String(f)) return ToolkitOption::Skipped;
  for (const char* o : kToolkitEqualsOptions)
    if (a.startsWith(QLatin1String(o) + QLatin1Char('='))) return ToolkitOption::Skipped;
  for (const char* o : kToolkitValueOptions) {
    if (a != QLatin1String(o)) continue;
    if (i + 1 >= args.size()) return ToolkitOption::MissingValue;
    ++i;
    return ToolkitOption::Skipped;
  }
  return ToolkitOption::No;
}

int parseCommandLine(const QStringList& args, CommandLine& out, bool toolkitOptions) {
  out = CommandLine{};
  QString error;
  // The first error is kept; scanning goes on so that --help or --version later still wins.
  const auto fail = [&error](const QString& why) {
    if (error.isEmpty()) error = why;
  };
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args.at(i);
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      out.help = true;
      continue;
    }
    if (a == QLatin1String("--version")) {
      out.version = true;
      continue;
    }
    QString value;
    bool matched = false;
    if (!takeValue(args, i, QStringLiteral("--simulate"), value, matched)) {
      fail(QStringLiteral("--simulate needs a number of devices"));
      continue;
    }
    if (matched) {
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 0 || n > kMaxSimulatedDevices) {
        fail(QStringLiteral("--simulate needs a number from 0 to %1, not \"%2\"")
                 .arg(kMaxSimulatedDevices)
                 .arg(value));
        continue;
      }
      out.simulateCount = n;
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--data-root"), value, matched) ||
        (matched && value.isEmpty())) {
      fail(QStringLiteral("--data-root needs a folder"));
      continue;
    }
    if (matched) {
      out.dataRoot = std::filesystem::path(value.toStdString());
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--sim-trace"), value, matched) ||
        (matched && value.isEmpty())) {
      fail(QStringLiteral("--sim-trace needs a folder"));
      continue;
    }
    if (matched) {
      out.simTraceDir = std::filesystem::path(value.toStdString());
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--driver"), value, matched)) {
      fail(QStringLiteral("--driver needs d2xx or libftdi"));
      continue;
    }
    if (matched) {
      if (value == QLatin1String("d2xx")) {
        out.driver = FtdiBackend::D2xx;
      } else if (value == QLatin1String("libftdi")) {
        out.driver = FtdiBackend::Libftdi;
      } else {
        fail(QStringLiteral("--driver needs d2xx or libftdi, not \"%1\"").arg(value));
      }
      continue;
    }
    // Hot-plug of the simulated devices.
    if (!takeValue(args, i, QStringLiteral("--sim-control"), value, matched) ||
        (matched && value.isEmpty())) {
      fail(QStringLiteral("--sim-control needs a file or named pipe"));
      continue;
    }
    if (matched) {
      out.simControl = std::filesystem::path(value.toStdString());
      continue;
    }
    const ToolkitOption t = toolkitOptions ? skipToolkitOption(args, i) : ToolkitOption::No;
    if (t == ToolkitOption::Skipped) continue;
    if (t == ToolkitOption::MissingValue) {
      fail(QStringLiteral("%1 needs a value").arg(a));
      continue;
    }
    fail(QStringLiteral("unknown argument \"%1\"").arg(a));
  }
  // A forced driver beside simulated devices would be silently ignored; say so instead.
  if (out.driver != FtdiBackend::Auto && out.simulateCount >= 0)
    fail(QStringLiteral("--driver and --simulate cannot be used together"));
  if (!out.simControl.empty() && out.simulateCount <= 0)
    fail(QStringLiteral("--sim-control needs simulated devices (--simulate N)"));
  if (out.help || out.version) return 0;
  out.error = error;
  return error.isEmpty() ? 0 : -1;
}

bool displayReachable(const QStringList& args, const QByteArray& platformEnv,
                      const QByteArray& x11Display, const QByteArray& waylandDisplay) {
  if (!platformEnv.isEmpty() || !x11Display.isEmpty() || !waylandDisplay.isEmpty()) return true;
  for (qsizetype i = 0; i + 1 < args.size(); ++i)
    if (args.at(i) == QLatin1String("-platform") || args.at(i) == QLatin1String("--platform"))
      return true;
  return false;
}

// Laid out the way help2man reads it, since the manual page is made from this text: a usage
// block, a paragraph, then sections headed by a line ending in a colon.
QString commandLineUsageLine() {
  return QStringLiteral("Usage: multi_tolvanex [OPTION]...");
}

QString commandLineHelpText() {
  return commandLineUsageLine() +
         QStringLiteral(
             "\n"
             "  or:  multi_tolvanex --convert SRC [DST|-] [--format FORMAT] [--decimal SEP]\n"
             "                      [--separator SEP] [--serial SERIAL]\n"
             "  or:  multi_tolvanex --render SRC OUT.png|OUT.pdf [--size WxH]\n"
             "                      [--serial SERIAL]\n"
             "  or:  multi_tolvanex --acquire [--device SERIAL]... [SETTINGS] [--records K |\n"
             "                      --duration TIME] [--out DIR|-] [--merged]\n"
             "  or:  multi_tolvanex --export plain|vcd|sr SRC [TARGET|-]\n"
             "Measurement program for Tolvanex devices behind FTDI USB bridges: DC and AC\n"
             "voltmeter, two-channel storage scope, analog data logger, logic analyser and\n"
             "I/O data logger, and a window that merges the scope records of several devices.\n"
             "\n"
             "Options:\n"
             "  --simulate N      run with N simulated devices instead of the FTDI driver\n"
             "                    (0 to %1)\n"
             "  --driver NAME     talk to the devices through the FTDI D2XX library (d2xx) or\n"
             "                    libftdi1 (libftdi); default: D2XX when installed, else\n"
             "                    libftdi1\n"
             "  --data-root DIR   keep language file, settings and data below DIR\n"
             "                    (default: ~/TolvanexData)\n"
             "  --sim-trace DIR   simulated devices write every command and reply to\n"
             "                    DIR/<serial>.trace\n"
             "  --sim-control FILE\n"
             "                    read lines \"unplug N\", \"plug N\", \"deny N\", \"allow N\"\n"
             "                    from FILE or a named pipe while running (the window, or\n"
             "                    --acquire, where a device pulled out stays out of the\n"
             "                    run): simulated device N\n"
             "                    is pulled out, plugged in (beyond the last: a new one), or\n"
             "                    comes back without access rights; \"unplug N 0\" pulls it\n"
             "                    without the driver noticing\n"
             "  -h, --help        show this text and exit\n"
             "  --version         show the version and exit\n"
             "\n"
             "Without a window:\n"
             "  --convert SRC [DST|-]\n"
             "                    write a stored file (intermediate .FIL with its .VXT header,\n"
             "                    scope or logic-analyser .VXD) as the CSV the device window\n"
             "                    writes, or in an open format when DST ends in .vcd or .sr;\n"
             "                    without DST next to SRC with the format's ending (a file\n"
             "                    standing there is kept: the first free _1, _2, ... name)\n"
             "    --format FORMAT         csv (the window's CSV), plain (plain CSV for pandas\n"
             "                            and spreadsheets: # lines, one header line, point\n"
             "                            decimals), vcd (value change dump of logic-analyser\n"
             "                            and I/O-logger records, for GTKWave and PulseView)\n"
             "                            or sr (sigrok session), whatever DST ends in; - as\n"
             "                            DST writes plain (the default there) or vcd to\n"
             "                            standard output\n"
             "    --decimal . | ,         decimal separator (default: the saved setting)\n"
             "    --separator ; | , | . | tab | blank\n"
             "                            column separator (default: the saved setting)\n"
             "    --serial SERIAL         the device's serial number for an intermediate file\n"
             "                            whose folder does not name it (a copy elsewhere);\n"
             "                            with --render too, for the headline\n"
             "  --render SRC OUT.png|OUT.pdf\n"
             "                    draw a stored file (.FIL, .VXD, scope or logic-analyser\n"
             "                    CSV, multi-device data file) as the window shows it; needs\n"
             "                    no display\n"
             "    --size WxH              picture size in pixels (default: 1200x700)\n"
             "  --export plain|vcd|sr SRC [TARGET|-]\n"
             "                    the same as --convert SRC [TARGET|-] --format FORMAT (csv\n"
             "                    here is plain); without TARGET next to SRC as _plain.csv,\n"
             "                    .vcd or .sr\n"
             "\n"
             "Measuring without a window:\n"
             "  --acquire         measure with the devices listed (or --simulate N) and write\n"
             "                    the files the device window writes; no display needed\n"
             "    --device SERIAL         only this device (repeatable; default: all)\n"
             "    --settings FILE.VXS     settings saved from the device window (default: the\n"
             "                            device's LastSettings, else the first-start ones)\n"
             "    --mode CODE             VMD0 VMD1 VMA0 VMA1 OSA0 DLA0 LAIO DLDI\n"
             "    --samples N             memory depth (OSA0, LAIO)\n"
             "    --sample-time T         sample time, e.g. 1us, 100us, 2ms, 0.5s\n"
             "    --range V[,V]           range in volts peak-to-peak, per channel\n"
             "    --offset V[,V]          offset in volts, per channel\n"
             "    --probe P[,P]           probe factor, per channel\n"
             "    --trigger TYPE[,CHANNEL,LEVEL[,LOWER]]\n"
             "                            trigger type letter (T t W w E e D d X x M; LAIO:\n"
             "                            X x M P), channel 1 or 2, levels in volts\n"
             "    --trigger-point PCT     part of the record before the trigger, percent\n"
             "                            Every value must be one the device offers; a value\n"
             "                            it does not offer is refused with the nearest ones.\n"
             "    --records K             K records (voltmeter readings) per device, then stop\n"
             "    --duration TIME         stop after TIME, e.g. 10s, 5min, 2h, counted from\n"
             "                            the first run command (the devices' set-up comes\n"
             "                            first); without either option the run goes on until\n"
             "                            Ctrl+C or SIGTERM\n"
             "    --out DIR               device folders below DIR (default: the data root)\n"
             "    --out -                 standard output as plain CSV: a voltmeter line per\n"
             "                            reading, a block per scope or logic-analyser record;\n"
             "                            not with --merged, whose data file needs a folder\n"
             "    --format FORMAT         csv (default) or vxd: the window's data files, each\n"
             "                            with the intermediate files; fil: intermediate\n"
             "                            files only; plain (CSV), vcd (LAIO, DLDI) or sr\n"
             "                            (sigrok session; not the voltmeter): records in\n"
             "                            that format instead of the window's data file, a\n"
             "                            voltmeter series or logger stream when it ends\n"
             "    --merged                collect one scope record of every device per cycle,\n"
             "                            as the multi-device window does, into its data\n"
             "                            file (in DIR, default: the multi folder)\n"
             "    --decimal . | ,  --separator ; | , | . | tab | blank\n"
             "                            CSV separators (default: the saved settings)\n"
             "    -q, --quiet             no progress on standard error\n"
             "                    Ctrl+C or SIGTERM stops every device (ZZZZ), finishes its\n"
             "                    files and ends with status 0; logger streams are written\n"
             "                    through to their end marker.\n"
             "\n"
             "In a device window:\n"
             "  RUN and STOP share one button. A second click stops the run the first one\n"
             "  started, the second press of a double click too; what the device measured\n"
             "  by then is kept and saved as any record. Every press counts: RUN pressed\n"
             "  while a stop still waits for the record starts the next run once it is in.\n"
             "\n"
             "Exit status:\n"
             "  0 on success, 1 for unreadable or damaged input, an output that cannot be\n"
             "  written or no display to show the windows on, 2 for wrong usage, 3 when a\n"
             "  device is lost or fails during --acquire (what arrived is kept).\n")
             .arg(kMaxSimulatedDevices);
}

QString programVersion() {
  return versionInfo().fileVersion;
}

QString commandLineVersionText() {
  return QStringLiteral("Multi_Tolvanex ") + programVersion();
}

}  // namespace tolv
