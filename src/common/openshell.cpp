// openWithShell (declared with the paths) apart from them: it needs the windowing part of the
// toolkit, which the paths' users without a window do not load.
#include <QDesktopServices>
#include <QUrl>

#include "common/paths.h"

namespace tolv {

bool openWithShell(const QString& nameOrUrl) {
  QUrl url = QUrl::fromUserInput(nameOrUrl, QString(), QUrl::AssumeLocalFile);
  return QDesktopServices::openUrl(url);
}

}  // namespace tolv
