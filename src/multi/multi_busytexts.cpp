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
  // The serials stand outside the texts: a language file without these ids (its third language
  // a placeholder) still names the devices.
  return serials.join(QStringLiteral(", ")) + QStringLiteral(": ") +
         tableText(kTextMultiBusyWho, language) + QLatin1Char('\n') +
         tableText(runEnded ? kTextMultiBusyRunEnded : kTextMultiBusyLeftOut, language);
}

}  // namespace tolv
