#include "app/dataroot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tolv {

namespace fs = std::filesystem;

namespace {

QString quoted(const fs::path& p) {
  return QLatin1Char('"') + QString::fromStdString(p.string()) + QLatin1Char('"');
}

}  // namespace

QString checkDataRoot(const fs::path& root) {
  std::error_code ec;
  const auto st = fs::status(root, ec);
  if (fs::exists(st) && !fs::is_directory(st))
    return QStringLiteral("data root %1 is not a folder").arg(quoted(root));
  if (!fs::exists(st)) {
    fs::create_directories(root, ec);
    if (ec || !fs::is_directory(root))
      return QStringLiteral("data root %1 cannot be created: %2")
          .arg(quoted(root), QString::fromStdString(ec ? ec.message() : "not a folder"));
  }
  // A real file, not access(): permissions are only one reason a folder refuses files.
  const std::string probe = (root / ".multi_tolvanex_probe_XXXXXX").string();
  std::string name = probe;
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    const int err = errno;
    return QStringLiteral("data root %1 is not writable: %2")
        .arg(quoted(root), QString::fromLocal8Bit(std::strerror(err)));
  }
  ::close(fd);
  ::unlink(name.c_str());
  return {};
}

}  // namespace tolv
