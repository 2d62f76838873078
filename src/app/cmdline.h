#pragma once
// The program's few command-line options, parsed into a plain struct so the parsing can be
// tested without starting the application.
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
  bool help = false;
  bool version = false;
  QString error;  // why parsing failed (empty on success)
};

// Largest number of simulated devices accepted; more would only flood the desktop with windows.
inline constexpr int kMaxSimulatedDevices = 32;

// Parses the arguments after the program name. With lenient set, arguments the program does not
// know are skipped (used before the toolkit has removed its own options such as "-platform x").
// Returns 0, or -1 with out.error set.
int parseCommandLine(const QStringList& args, CommandLine& out, bool lenient = false);

// One option of the form "--opt value" or "--opt=value" at args[i]: matched tells whether it is
// that option, value gets its value and i moves past a separate value. False when the value is
// missing.
bool takeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value,
               bool& matched);

QString commandLineHelpText();
QString commandLineVersionText();

}  // namespace tolv
