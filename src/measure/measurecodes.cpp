#include "measure/measurecodes.h"

#include "common/resulttext.h"
#include "measure/datafiles.h"

namespace tolv {

QString measureResultText(int rc, int language, ResultContext context) {
  const bool de = language == 0;
  switch (rc) {
    case kNoSamples:
      return de ? QStringLiteral("keine Messwerte (oder keine Messzeit im Dateikopf)")
                : QStringLiteral("no samples (or no measurement time in the header)");
    case kShortBlock:
      return de ? QStringLiteral("ein Block wurde nur zum Teil geschrieben")
                : QStringLiteral("a block was written only in part");
    case kDamagedFile:
      return de ? QStringLiteral("beschädigte Datei: ihre Größe passt nicht zu ihrem Kopf")
                : QStringLiteral("damaged file: its size does not match its header");
    case kIntermediateNotOpen:
      return de ? QStringLiteral("die Zwischendatei ist nicht offen")
                : QStringLiteral("the intermediate file is not open");
    case kUnknownMode:
      return de ? QStringLiteral("unbekannte Betriebsart") : QStringLiteral("unknown mode");
    case kNoFreeIntermediateName:
      return de ? QStringLiteral("alle 1000 Nummern der Zwischendateien sind vergeben")
                : QStringLiteral("all 1000 numbers of the intermediate files are taken");
    case kEmptySampleList:
      return de ? QStringLiteral("keine Messwerte") : QStringLiteral("no samples");
    default:
      return resultText(rc, language, context);
  }
}

}  // namespace tolv
