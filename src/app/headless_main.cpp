#include "app/headless.h"

#include <QGuiApplication>
#include <QImage>
#include <clocale>
#include <csignal>

#include "app/headless_acquire.h"
#include "app/headless_render.h"
#include "app/signalbridge.h"
#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/picturefile.h"

namespace tolv {

namespace fs = std::filesystem;

int runRender(const HeadlessRequest& r, QString& message) {
  message.clear();
  const CsvStyle style = headlessCsvStyle(r);
  QImage picture;
  StoredProblem p = renderStoredFile(r.source, r.size, style.column, picture, r.serial);
  if (!p.ok()) {
    message = fileProblem(r.source, p.reason);
    return p.exitCode;
  }
  // OUT is always named, and so written as named; the rule is the conversions'.
  QString moved;
  const fs::path& target = r.target;
  // Like the CSV writers, the picture gets its folder made first.
  const fs::path folder = fs::absolute(target).parent_path();
  std::error_code ec;
  int rc = fs::is_directory(folder, ec) ? 0 : makeFolders(folder / "x.x");
  // A pipe named as the output gets the picture once it is encoded whole.
  if (rc == 0)
    rc = writeRequestOutput(
        r,
        [&](const fs::path& file) {
          return writePictureFile(file, picture,
                                  QString::fromStdString(r.source.filename().string()));
        },
        moved);
  if (rc != 0) {
    message = fileProblem(target, QStringLiteral("cannot be written: ") + outputProblem(rc));
    return kExitBadInput;
  }
  // Drawn in part (a file cut by a crash, damaged readings left out): said as a conversion says it.
  noteConvertedFile(r, message);
  addNote(message, moved);
  return kExitOk;
}

namespace {

int renderProcess(const HeadlessRequest& req, char** argv, QString& message) {
  // Drawing needs fonts but no display: the offscreen platform works without one.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  std::setlocale(LC_NUMERIC, "C");  // see main(): numbers in files keep their dot
  return runRender(req, message);
}

}  // namespace

int headlessMain(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (wantsAcquire(args)) return acquireMain(argc, argv);
  // A signal caught since start-up ends the process now, as any later one will (see
  // beginHeadlessProcess).
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  if (TSignalBridge::earlySignalPending()) ::raise(SIGTERM);
  return runHeadlessCommand(argc, argv, renderProcess);
}

}  // namespace tolv
