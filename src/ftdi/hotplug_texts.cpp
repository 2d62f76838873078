#include "ftdi/hotplug_texts.h"

#include "common/texttable.h"

namespace tolv {

namespace {

// Without the 255-character cut of the plain lookup: the hint is longer.
QString fullText(int id) {
  return tableText(id, languageIndex()).replace(QLatin1Char('~'), QLatin1Char('\n'));
}

}  // namespace

QString disconnectedCaption() { return text(326); }

QString deviceGoneText(const QString& serial) { return fullText(327).arg(serial); }

QString recordCutText(int bytesCut, int bytesExpected) {
  return fullText(328).arg(bytesCut).arg(bytesExpected);
}

QString noAccessCaption() { return text(329); }

QString accessDeniedHint(const QString& serial) { return fullText(330).arg(serial); }

}  // namespace tolv
