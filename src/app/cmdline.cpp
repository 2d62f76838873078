#include "app/cmdline.h"

#include "app/driverchoice.h"

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

int parseCommandLine(const QStringList& args, CommandLine& out, bool lenient) {
  out = CommandLine{};
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
      out.error = QStringLiteral("--simulate needs a number of devices");
      return -1;
    }
    if (matched) {
      bool ok = false;
      const int n = value.toInt(&ok);
      if (!ok || n < 0 || n > kMaxSimulatedDevices) {
        out.error = QStringLiteral("--simulate needs a number from 0 to %1, not \"%2\"")
                        .arg(kMaxSimulatedDevices)
                        .arg(value);
        return -1;
      }
      out.simulateCount = n;
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--data-root"), value, matched) ||
        (matched && value.isEmpty())) {
      out.error = QStringLiteral("--data-root needs a folder");
      return -1;
    }
    if (matched) {
      out.dataRoot = std::filesystem::path(value.toStdString());
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--sim-trace"), value, matched) ||
        (matched && value.isEmpty())) {
      out.error = QStringLiteral("--sim-trace needs a folder");
      return -1;
    }
    if (matched) {
      out.simTraceDir = std::filesystem::path(value.toStdString());
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--driver"), value, matched)) {
      out.error = QStringLiteral("--driver needs d2xx or libftdi");
      return -1;
    }
    if (matched) {
      if (value == QLatin1String("d2xx")) {
        out.driver = FtdiBackend::D2xx;
      } else if (value == QLatin1String("libftdi")) {
        out.driver = FtdiBackend::Libftdi;
      } else {
        out.error = QStringLiteral("--driver needs d2xx or libftdi, not \"%1\"").arg(value);
        return -1;
      }
      continue;
    }
    if (!lenient) {
      out.error = QStringLiteral("unknown argument \"%1\"").arg(a);
      return -1;
    }
  }
  // A forced driver beside simulated devices would be silently ignored; say so instead.
  if (out.driver != FtdiBackend::Auto && out.simulateCount >= 0) {
    out.error = QStringLiteral("--driver and --simulate cannot be used together");
    return -1;
  }
  return 0;
}

QString commandLineHelpText() {
  return QStringLiteral(
             "Usage: multi_tolvanex [options]\n"
             "Measurement program for Tolvanex devices behind FTDI USB bridges.\n"
             "\n"
             "Options:\n"
             "  --simulate N      run with N simulated devices instead of the FTDI D2XX driver\n"
             "                    (0 to %1)\n"
             "  --driver NAME     talk to the devices through the FTDI D2XX library (d2xx) or\n"
             "                    libftdi1 (libftdi); default: D2XX when installed, else libftdi1\n"
             "  --data-root DIR   keep language file, settings and data below DIR\n"
             "                    (default: ~/TolvanexData)\n"
             "  --sim-trace DIR   simulated devices write every command and reply to\n"
             "                    DIR/<serial>.trace\n"
             "  --convert SRC [DST.CSV]\n"
             "                    write a stored file (intermediate .FIL with its .VXT header,\n"
             "                    scope or logic-analyser .VXD) as the CSV the device window\n"
             "                    writes; without DST next to SRC with the extension .CSV\n"
             "    --decimal . | ,         decimal separator (default: the saved setting)\n"
             "    --separator ; | , | . | tab | blank\n"
             "                            column separator (default: the saved setting)\n"
             "  --render SRC OUT.png|OUT.pdf\n"
             "                    draw a stored file (.FIL, .VXD, scope or logic-analyser\n"
             "                    CSV, multi-device data file) as the window shows it; needs\n"
             "                    no display\n"
             "    --size WxH              picture size in pixels (default: 1200x700)\n"
             "                    Exit code 0 on success, 1 for unreadable or damaged input or\n"
             "                    an output that cannot be written, 2 for wrong usage.\n"
             "  --help            show this text and exit\n"
             "  --version         show the version and exit\n")
      .arg(kMaxSimulatedDevices);
}

QString commandLineVersionText() {
  return QStringLiteral("Multi_Tolvanex ") + programVersion();
}

}  // namespace tolv
