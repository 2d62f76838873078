#include "multi/multi_busytexts.h"

#include "common/texttable.h"

namespace tolv {

QString multiBusyCaption(int language) {
  return tableText(kTextMultiBusy, language);
}

QString multiBusyHint(int language) {
  return tableText(kTextMultiBusyHint, language);
}

QString multiBusyNotice(int language, const QStringList& serials, bool runEnded) {
  const QString who = tableText(kTextMultiBusyWho, language).arg(serials.join(QStringLiteral(", ")));
  return who + QLatin1Char('\n') +
         tableText(runEnded ? kTextMultiBusyRunEnded : kTextMultiBusyLeftOut, language);
}

}  // namespace tolv
