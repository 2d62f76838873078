// Program entry: command line, application object, main frame, about window, message loop.
// SIGTERM and SIGINT close the main frame, which runs its normal shut-down.
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <memory>

#include "app/cmdline.h"
#include "app/dataroot.h"
#include "app/driverchoice.h"
#include "app/headless.h"
#include "app/runprobe.h"
#include "app/signalbridge.h"
#include "app/termination.h"
#include "app/tf_about.h"
#include "app/tf_multitolvanexframe.h"
#include "common/paths.h"
#include "ftdi/sim_control.h"
#include "ftdi/simulated_driver.h"

namespace {

QStringList rawArguments(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  return args;
}

// Signals are taken from the earliest moment the program's own code runs, before the
// initialisers of the toolkit's libraries; only the dynamic loader's work comes before it.
// main() repeats it for builds that leave this out.
void catchSignalsBeforeInitialisers(int, char**, char**) {
  tolv::TSignalBridge::catchEarly();
}
[[gnu::section(".preinit_array"), gnu::used]] void (*const kCatchSignalsFirst)(int, char**, char**) =
    &catchSignalsBeforeInitialisers;

}  // namespace

int main(int argc, char** argv) {
  tolv::TSignalBridge::catchEarly();
  // Converting and drawing stored files needs no window, no display and no devices.
  if (tolv::wantsHeadless(rawArguments(argc, argv))) return tolv::headlessMain(argc, argv);
  // The whole command line is checked before any toolkit object exists, so --help, --version
  // and a mistyped option are answered without a display.
  tolv::CommandLine cmd;
  if (tolv::parseCommandLine(rawArguments(argc, argv), cmd, true) != 0) {
    std::fprintf(stderr, "multi_tolvanex: %s\n%s\nTry \"multi_tolvanex --help\".\n",
                 qPrintable(cmd.error), qPrintable(tolv::commandLineUsageLine()));
    return 2;
  }
  if (cmd.help) {
    std::fputs(qPrintable(tolv::commandLineHelpText()), stdout);
    return 0;
  }
  if (cmd.version) {
    std::fputs(qPrintable(tolv::commandLineVersionText() + QLatin1Char('\n')), stdout);
    return 0;
  }
  if (!cmd.dataRoot.empty()) {
    const QString problem = tolv::checkDataRoot(cmd.dataRoot);
    if (!problem.isEmpty()) {
      std::fprintf(stderr, "multi_tolvanex: %s\n", qPrintable(problem));
      return 2;
    }
    tolv::setDataRoot(cmd.dataRoot);
  }
  // Without any display the toolkit would abort; say what is missing instead.
  if (!tolv::displayReachable(rawArguments(argc, argv), qgetenv("QT_QPA_PLATFORM"),
                              qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"))) {
    std::fputs(
        "multi_tolvanex: no display to show the windows on (DISPLAY and WAYLAND_DISPLAY are "
        "not set)\n",
        stderr);
    return 1;
  }

  QApplication app(argc, argv);
  // The toolkit has set the C library's locale from the environment. Numbers in the program's
  // files are written and read by C and C++ library calls that must keep the dot on a German
  // system too; the user's decimal mark comes from the regional settings instead.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Multi_Tolvanex"));
  QApplication::setApplicationVersion(tolv::programVersion());
  QApplication::setQuitOnLastWindowClosed(false);
  // Nothing has been started or written yet: a signal that came meanwhile simply ends here.
  if (tolv::TSignalBridge::earlySignalPending()) return 0;

  // Signals that arrive while the frame is still being created end the program right after.
  bool terminate = false;
  QPointer<tolv::TF_MultiTolvanexFrame> framePtr;
  tolv::TSignalBridge signals_;
  QObject::connect(&signals_, &tolv::TSignalBridge::terminationRequested, &app, [&](int) {
    terminate = true;
    tolv::endInOrder(framePtr.data());
  });

  std::unique_ptr<tolv::IFtdiDriver> driver = tolv::chooseDriver(cmd);
  auto frame = std::make_unique<tolv::TF_MultiTolvanexFrame>(*driver);
  framePtr = frame.get();
  QObject::connect(frame.get(), &tolv::TF_MultiTolvanexFrame::frameClosed, &app,
                   [] { QCoreApplication::quit(); });
  auto about = std::make_unique<tolv::TF_About>();
  frame->setAboutWindow(about.get());
  frame->show();
  auto probe = std::make_unique<tolv::TRunProbe>(*frame);

  // Devices plugged in and pulled out while the program runs: simulated ones announce it
  // themselves (and take the control lines), real ones through the system's device manager.
  auto* sim = dynamic_cast<tolv::TSimulatedDriver*>(driver.get());
  std::unique_ptr<tolv::TSimControlReader> simControl;
  QTimer simControlTimer;
  if (sim) {
    sim->setPlugListener([&framePtr] {
      if (framePtr) framePtr->devicesChanged();
    });
    frame->startHotplugWatch(tolv::TF_MultiTolvanexFrame::HotplugWatch::Announced);
    if (!cmd.simControl.empty()) {
      simControl = std::make_unique<tolv::TSimControlReader>(*sim, cmd.simControl.string());
      if (!simControl->isOpen())
        std::fprintf(stderr, "multi_tolvanex: --sim-control %s cannot be opened\n",
                     cmd.simControl.string().c_str());
      QObject::connect(&simControlTimer, &QTimer::timeout, [&simControl] { simControl->poll(); });
      simControlTimer.start(200);
    }
  } else {
    frame->startHotplugWatch(tolv::TF_MultiTolvanexFrame::HotplugWatch::Udev);
  }

  int rc = 0;
  if (terminate)
    frame->close();
  else
    rc = app.exec();
  // A frame closed other than through its close button still shuts down in order.
  if (!frame->shutDownDone()) frame->close();
  simControlTimer.stop();
  if (sim) sim->setPlugListener(nullptr);
  probe->writeStats();
  probe.reset();
  about.reset();
  frame.reset();
  driver.reset();
  return rc;
}
