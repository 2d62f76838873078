#include "common/resulttext.h"

#include <cerrno>
#include <cstring>

#include "common/atomicfile.h"
#include "common/picturefile.h"
#include "common/settingsio.h"

namespace tolv {

namespace {

struct Words {
  const char* de;
  const char* en;
};

// The file system's numbers a writer or reader may pass on, in the user's words.
const Words* systemWords(int rc) {
  static const Words kAccess{"Zugriff verweigert", "access denied"};
  static const Words kFull{"der Datenträger ist voll", "the disk is full"};
  static const Words kReadOnly{"der Datenträger ist schreibgeschützt", "the disk is read-only"};
  static const Words kNotFolder{"ein Teil des Pfades ist kein Ordner",
                                "a part of the path is not a folder"};
  static const Words kIsFolder{"das ist ein Ordner", "that is a folder"};
  static const Words kLong{"der Name ist zu lang", "the name is too long"};
  static const Words kQuota{"das Speicherkontingent ist erschöpft", "the disk quota is used up"};
  static const Words kTooBig{"die Datei ist zu groß", "the file is too large"};
  static const Words kReaderGone{"der Leser hat die Pipe geschlossen",
                                 "the reader has closed the pipe"};
  switch (rc) {
    case EACCES:
    case EPERM:
      return &kAccess;
    case ENOSPC:
      return &kFull;
    case EROFS:
      return &kReadOnly;
    case ENOTDIR:
      return &kNotFolder;
    case EISDIR:
      return &kIsFolder;
    case ENAMETOOLONG:
      return &kLong;
    case EDQUOT:
      return &kQuota;
    case EFBIG:
      return &kTooBig;
    case EPIPE:
      return &kReaderGone;
    default:
      return nullptr;
  }
}

QString pick(int language, const char* de, const char* en) {
  return QString::fromUtf8(language == 0 ? de : en);
}

}  // namespace

namespace {

// The words the program has for a code; empty for one it does not name.
QString ownWords(int rc, int language, ResultContext context) {
  const bool writing = context == ResultContext::Writing;
  switch (rc) {
    case 0:
      return pick(language, "kein Fehler", "no error");
    case 2:
      return writing ? pick(language, "der Ordner fehlt", "the folder does not exist")
                     : pick(language, "Datei nicht gefunden", "file not found");
    case 3:
      return pick(language, "der Ordner fehlt oder kann nicht angelegt werden",
                  "the folder is missing or cannot be made");
    case 5:
      return pick(language, "Zugriff verweigert", "access denied");
    case kReadPastEnd:
      return pick(language, "vorzeitig zu Ende", "cut short");
    case kBadBoolean:
      return pick(language, "ein Ja/Nein-Wert ist unlesbar", "a yes/no value cannot be read");
    case kNotANumber:
      return pick(language, "ein Wert ist keine Zahl", "a value is not a number");
    case -192:
    case -194:
    case -196:
      return pick(language, "kein Dateiname", "not a file name");
    case kPictureUnknownFormat:
      return pick(language, "nur .png und .pdf werden geschrieben",
                  "only .png and .pdf are written");
    case kPictureEmpty:
      return pick(language, "es wird noch kein Bild gezeigt", "no picture is shown yet");
    case kPictureEncodeFailed:
      return pick(language, "das Bild ließ sich nicht kodieren",
                  "the picture could not be encoded");
    case kNotARegularFile:
      return pick(language, "das ist keine gewöhnliche Datei", "that is not a regular file");
    case kOutputChanged:
      return pick(language, "der Name wurde beim Öffnen durch etwas anderes ersetzt",
                  "the name was replaced by something else while it was opened");
    default:
      break;
  }
  if (rc > 0)
    if (const Words* w = systemWords(rc)) return pick(language, w->de, w->en);
  return {};
}

}  // namespace

QString resultText(int rc, int language, ResultContext context) {
  if (QString w = ownWords(rc, language, context); !w.isEmpty()) return w;
  // Anything else the system reports, in its own words and with its number.
  if (rc > 0) return QString::fromLocal8Bit(std::strerror(rc)) + QStringLiteral(" (%1)").arg(rc);
  return (language == 0 ? QStringLiteral("Fehler %1") : QStringLiteral("error %1")).arg(rc);
}

QString codeWithWords(int rc, int language, ResultContext context) {
  // The words here are German or English only; a language from the language file would show
  // them untranslated inside its own text, so it gets the number alone.
  if (language != 0 && language != 1) return QString::number(rc);
  QString w = ownWords(rc, language, context);
  if (w.isEmpty() && rc > 0) w = QString::fromLocal8Bit(std::strerror(rc));
  return w.isEmpty() ? QString::number(rc) : QStringLiteral("%1: %2").arg(rc).arg(w);
}

}  // namespace tolv
