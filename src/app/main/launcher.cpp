// The program users start. Conversions of stored files run right here, on the core libraries
// alone, so a script converting many files does not wait for the windowing libraries to load;
// everything else (the windows, drawing, measuring without a window, help) belongs to the
// windows program, which takes this process's place with the same arguments.
#include <unistd.h>

#include <QStringList>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/headless.h"
#include "app/launcherpath.h"

int main(int argc, char** argv) {
  // A reader that goes away (| head) is a write error the conversion reports with exit code 1;
  // the windows program started below keeps it ignored too.
  ::signal(SIGPIPE, SIG_IGN);
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (tolv::wantsConvert(args)) return tolv::runHeadlessCommand(argc, argv, nullptr);

  // Found beside this program as installed (and as built), whatever folder that is.
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const char* path = std::getenv("PATH");
  const std::filesystem::path program =
      tolv::launcherFolder(ec ? std::filesystem::path() : self, argc > 0 ? argv[0] : "",
                           path ? path : "", TOLV_INSTALL_BINDIR) /
      TOLV_WINDOW_PROGRAM;
  ::execv(program.c_str(), argv);
  // As a shell says of a command it cannot run: neither a bad file (1) nor wrong usage (2).
  std::fprintf(stderr, "multi_tolvanex: %s cannot be started: %s\n", program.c_str(),
               std::strerror(errno));
  return 127;
}
