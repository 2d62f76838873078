#pragma once
// Turns SIGTERM and SIGINT into a Qt signal on the user-interface thread (self-pipe and socket
// notifier), so the program can shut down in order instead of dying with unsaved settings.
#include <QObject>

class QSocketNotifier;

namespace tolv {

class TSignalBridge : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers for SIGTERM and SIGINT; only one bridge may exist at a time.
  explicit TSignalBridge(QObject* parent = nullptr);
  ~TSignalBridge() override;
  bool installed() const { return installed_; }
  // First thing in main: remembers SIGTERM/SIGINT until a bridge exists, so a signal during
  // start-up (toolkit, display connection) still ends in the orderly shut-down. SIGPIPE is
  // ignored from then on: a closed pipe comes back to its writer as EPIPE.
  static void catchEarly();
  static bool earlySignalPending();
  // True once SIGTERM or SIGINT has come (early or through a bridge): the program is ending, so
  // nothing may wait for a user any more.
  static bool terminating();
  // Number of signals received so far.
  int received() const { return received_; }

 signals:
  void terminationRequested(int signalNumber);

 private:
  void readPipe();

  QSocketNotifier* notifier_ = nullptr;
  bool installed_ = false;
  int received_ = 0;
};

}  // namespace tolv
