#include "common/version.h"

#include "common/atomicfile.h"

#include <QStringList>

#ifndef TOLV_VERSION
#define TOLV_VERSION "0.0.0"
#endif
#ifndef TOLV_PRODUCT
#define TOLV_PRODUCT "Multi_Tolvanex"
#endif

namespace tolv {

const VersionInfo& versionInfo() {
  static const VersionInfo v{
      QStringLiteral(TOLV_PRODUCT),
      QStringLiteral("Multi_Tolvanex"),
      QStringLiteral("multi_tolvanex"),
      QStringLiteral("Tolvanex"),
      QStringLiteral("Copyright (C) Tolvanex"),
      QStringLiteral(TOLV_VERSION),
      QStringLiteral("Measurement program for one or several Tolvanex devices"),
  };
  return v;
}

QString versionText(const std::filesystem::path& dumpFile) {
  const VersionInfo& v = versionInfo();
  QStringList lines;
  auto add = [&](const QString& prefix, const QString& value) {
    if (!value.isEmpty()) lines << prefix + value;
  };
  add(QString(), v.productName);
  add(QString(), v.internalName);
  add(QString(), v.originalFileName);
  add(QString(), v.companyName);
  add(QString(), v.legalCopyright);
  add(QStringLiteral("Version: "), v.fileVersion);
  add(QString(), v.comments);
  QString text = lines.join(QLatin1Char('\n'));
  if (!dumpFile.empty()) {
    writeFileAtomically(dumpFile, text.toUtf8().toStdString());
  }
  return text;
}

}  // namespace tolv
