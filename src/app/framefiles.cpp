#include "app/framefiles.h"

#include "app/framelogic.h"
#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "common/textutil.h"

namespace tolv {

namespace fs = std::filesystem;

namespace {

void line(std::string& out, const QString& s) {
  out += s.toUtf8().toStdString();
  out += "\r\n";
}

}  // namespace

GlobalSettings firstStartSettings(const RegionalSettings& system, FirstStartUse use) {
  GlobalSettings g;
  const QString& code = system.languageCode();
  const bool noLanguage = code.isEmpty() || code == QLatin1String("C");
  if (noLanguage && use == FirstStartUse::Window) {
    g.language = 0;
    g.decimal = QLatin1Char(',');
  } else {
    g.language = code == QLatin1String("de") ? 0 : 1;
    g.decimal =
        system.decimalSeparator() == QLatin1Char(',') ? QLatin1Char(',') : QLatin1Char('.');
  }
  g.column = QLatin1Char('\t');
  return g;
}

std::string globalSettingsText(const GlobalSettings& s) {
  std::string out;
  line(out, text(12));
  line(out, languageCode(s.language));
  line(out, text(95));
  line(out, boolToText(s.hints));
  line(out, text(3));
  line(out, QString::number(s.decimal.unicode()));
  line(out, text(5));
  line(out, QString::number(s.column.unicode()));
  return out;
}

int writeGlobalSettingsFile(const fs::path& name, const GlobalSettings& s) {
  if (int rc = makeFolders(name); rc != 0) return rc;
  return writeFileAtomically(name, globalSettingsText(s));
}

int readGlobalSettingsFile(const fs::path& name, GlobalSettings& s) {
  std::error_code ec;
  if (!fs::exists(name, ec)) return 2;
  LineReader r(name);
  if (r.openCode() != 0) return r.openCode();
  GlobalSettings g = s;
  if (int rc = readLanguageValue(r, g.language); rc != 0) return rc;
  if (int rc = readBoolValue(r, g.hints); rc != 0) return rc;
  std::uint8_t dec = std::uint8_t(g.decimal.unicode());
  std::uint8_t col = std::uint8_t(g.column.unicode());
  if (int rc = readByteValue(r, dec); rc != 0) return rc;
  if (int rc = readByteValue(r, col); rc != 0) return rc;
  // Only characters the drop-downs offer become separators.
  if (decimalSeparatorItem(QChar(dec)) >= 0) g.decimal = QChar(dec);
  if (columnSeparatorItem(QChar(col)) >= 0) g.column = QChar(col);
  s = g;
  return 0;
}

int readPositionFile(const fs::path& name, QStringList& lines) {
  std::error_code ec;
  if (!fs::exists(name, ec)) return 2;
  LineReader r(name);
  if (r.openCode() != 0) return r.openCode();
  QStringList out;
  QString l;
  while (!r.atEnd() && r.readLine(l) == 0) {
    // A file this long is no position file; stop before it eats memory.
    if (out.size() > 10000) return kNotANumber;
    out << l.left(kMaxValueLine);
  }
  lines = out;
  return 0;
}

int writePositionFile(const fs::path& name, const QStringList& lines) {
  if (int rc = makeFolders(name); rc != 0) return rc;
  std::string out;
  for (const QString& l : lines) line(out, l.left(kMaxValueLine));
  return writeFileAtomically(name, out);
}

}  // namespace tolv
