#include "multi/multi_busytexts.h"

#include "common/texttable.h"

namespace tolv {

namespace {

bool english(int language) {
  return language == kLanguageEnglish;
}

}  // namespace

QString multiBusyCaption(int language) {
  return english(language) ? QStringLiteral("busy") : QStringLiteral("belegt");
}

QString multiBusyHint(int language) {
  return english(language)
             ? QStringLiteral("The device is in a run of its own in another mode; the "
                              "multi-device run goes on without it until that run ends")
             : QStringLiteral("Das Gerät ist in einer eigenen Messung in einer anderen "
                              "Betriebsart; die Mehrgerätemessung läuft ohne es, bis diese endet");
}

QString multiBusyNotice(int language, const QStringList& serials, bool runEnded) {
  const QString who = serials.join(QStringLiteral(", "));
  if (english(language))
    return runEnded ? QStringLiteral("%1: in a run of its own in another mode.\nNo device is free: "
                                     "the multi-device run has ended.")
                          .arg(who)
                    : QStringLiteral("%1: in a run of its own in another mode.\nThe multi-device "
                                     "run leaves it out until that run ends.")
                          .arg(who);
  return runEnded ? QStringLiteral("%1: in einer eigenen Messung in einer anderen Betriebsart.\n"
                                   "Kein Gerät ist frei: die Mehrgerätemessung ist beendet.")
                        .arg(who)
                  : QStringLiteral("%1: in einer eigenen Messung in einer anderen Betriebsart.\n"
                                   "Die Mehrgerätemessung lässt es aus, bis diese Messung endet.")
                        .arg(who);
}

}  // namespace tolv
