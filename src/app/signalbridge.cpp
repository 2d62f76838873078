#include "app/signalbridge.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace tolv {

namespace {

int g_pipe[2] = {-1, -1};
struct sigaction g_oldTerm {};
struct sigaction g_oldInt {};

extern "C" void onTerminationSignal(int sig) {
  // Only async-signal-safe calls here: hand the signal number to the event loop.
  const int saved = errno;
  const unsigned char b = static_cast<unsigned char>(sig);
  if (g_pipe[1] >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &b, 1);
  }
  errno = saved;
}

volatile sig_atomic_t g_early = 0;
bool g_terminating = false;

extern "C" void onEarlySignal(int sig) {
  // Nothing has been started that needs saving; a second signal while start-up still hangs
  // (a display that does not answer) ends the program at once instead of being swallowed.
  if (g_early != 0) ::_exit(0);
  g_early = sig;
}

}  // namespace

void TSignalBridge::catchEarly() {
  struct sigaction sa {};
  sa.sa_handler = onEarlySignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  // A pipe's reader that went away is a write error (EPIPE) the writer reports, never the end
  // of the process: the window keeps its runs and files, a command says which output failed.
  ::signal(SIGPIPE, SIG_IGN);
  // A mask inherited blocked from the parent would keep the program deaf to them for good.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

bool TSignalBridge::earlySignalPending() { return g_early != 0; }

bool TSignalBridge::terminating() { return g_terminating || g_early != 0; }

TSignalBridge::TSignalBridge(QObject* parent) : QObject(parent) {
  if (g_pipe[0] >= 0) return;
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_pipe[0] = g_pipe[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { readPipe(); });

  struct sigaction sa {};
  sa.sa_handler = onTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &sa, &g_oldTerm);
  ::sigaction(SIGINT, &sa, &g_oldInt);
  installed_ = true;
  // A signal caught before the bridge existed is handed on as if it came now.
  if (g_early != 0) {
    g_terminating = true;
    onTerminationSignal(g_early);
    g_early = 0;
  }
}

TSignalBridge::~TSignalBridge() {
  if (!installed_) return;
  ::sigaction(SIGTERM, &g_oldTerm, nullptr);
  ::sigaction(SIGINT, &g_oldInt, nullptr);
  delete notifier_;
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void TSignalBridge::readPipe() {
  unsigned char buf[16];
  for (;;) {
    const ssize_t n = ::read(g_pipe[0], buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      ++received_;
      g_terminating = true;
      emit terminationRequested(buf[i]);
    }
  }
}

}  // namespace tolv
