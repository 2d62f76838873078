#include "ftdi/hotplug_texts.h"

#include "common/texttable.h"

namespace tolv {

namespace {

// Without the 255-character cut of the plain lookup: the hint is longer.
QString fullText(int id) {
  return tableText(id, languageIndex()).replace(QLatin1Char('~'), QLatin1Char('\n'));
}

}  // namespace

QString disconnectedCaption() { return text(322); }

QString deviceGoneText(const QString& serial) { return fullText(323).arg(serial); }

QString recordCutText(int bytesCut, int bytesExpected) {
  return fullText(324).arg(bytesCut).arg(bytesExpected);
}

QString noAccessCaption() { return text(325); }

QString accessDeniedHint(const QString& serial) { return fullText(326).arg(serial); }

}  // namespace tolv
