#pragma once
// The program's few command-line options, parsed into a plain struct so the parsing can be
// tested without starting the application.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "ftdi/driver_factory.h"

namespace tolv {

struct CommandLine {
  int simulateCount = -1;             // -1: use the vendor driver; N >= 0: N simulated devices
  std::filesystem::path dataRoot;     // empty: the default data root
  std::filesystem::path simTraceDir;  // empty: no trace of the simulated devices
  FtdiBackend driver = FtdiBackend::Auto;  // --driver d2xx|libftdi
  // --sim-control FILE|FIFO: lines "unplug N", "plug N", "deny N", "allow N" for the simulated
  // devices while the program runs (empty: none).
  std::filesystem::path simControl;
  bool help = false;
  bool version = false;
  QString error;  // why parsing failed (empty on success)
};

// Parses the arguments after the program name. With toolkitOptions set, the toolkit's own
// options ("-platform xcb", "--style=Fusion", ...) are still in the list and are skipped with
// their values; this lets the command line be checked before any toolkit object exists, so a
// mistyped option is reported without a display. Anything else unknown is an error.
// --help or --version anywhere wins over errors elsewhere. Returns 0, or -1 with out.error set.
int parseCommandLine(const QStringList& args, CommandLine& out, bool toolkitOptions = false);

// Whether args[i] is one of the toolkit's own options; when it is, i moves past its value.
enum class ToolkitOption { No, Skipped, MissingValue };
ToolkitOption skipToolkitOption(const QStringList& args, qsizetype& i);

// One option of the form "--opt value" or "--opt=value" at args[i]: matched tells whether it is
// that option, value gets its value and i moves past a separate value. False when the value is
// missing.
bool takeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value,
               bool& matched);

// Whether the toolkit can have a display: a platform named on the command line or in
// QT_QPA_PLATFORM, or an X11 or Wayland display in the environment. Without one the toolkit
// aborts the program.
bool displayReachable(const QStringList& args, const QByteArray& platformEnv,
                      const QByteArray& x11Display, const QByteArray& waylandDisplay);

QString commandLineHelpText();
// The first line of the help text, shown again after a usage error.
QString commandLineUsageLine();
QString commandLineVersionText();
// The version alone, as the about window shows it.
QString programVersion();

}  // namespace tolv
