#include "common/texttable.h"

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <array>
#include <cstdint>
#include <utility>

#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/settingsio.h"

namespace tolv {

namespace {

using Entry = std::array<QString, 3>;

// Ids that show the texts of another id (German and English copied).
constexpr std::pair<int, int> kSharedTexts[] = {
    {164, 156}, {198, 197}, {202, 200}, {255, 251}, {273, 271}, {276, 274}, {279, 277}, {282, 57},
};

// A legitimate language file is a few hundred kilobytes; anything far larger is not one and
// must not be pulled into memory.
constexpr std::uintmax_t kMaxLanguageFileBytes = 64u * 1024u * 1024u;

struct Table {
  std::array<Entry, kLastTextId + 1> entries;  // index 0 unused
  bool filled = false;
};

Table& rawTable() {
  static Table table;
  return table;
}

// What an id without a text says in German or English.
QString undefinedText(int n, int language) {
  return QString::number(n) + QStringLiteral(", ") +
         (language == kLanguageGerman ? QStringLiteral("GERMAN ") : QStringLiteral("english")) +
         QStringLiteral(" is undefined");
}

void assignDefaultsAndBuiltIns(Table& t) {
  for (int n = 1; n <= kLastTextId; ++n) {
    Entry& e = t.entries[n];
    e[kLanguageGerman] = undefinedText(n, kLanguageGerman);
    e[kLanguageEnglish] = undefinedText(n, kLanguageEnglish);
    e[kLanguageThird] = QString::number(n) + QString(kThirdLanguageDots, QLatin1Char('.'));
  }
  for (auto part : {detail::builtInTexts1(), detail::builtInTexts2(), detail::builtInTexts3()}) {
    for (const detail::BuiltInText& b : part) {
      if (b.id < 1 || b.id > kLastTextId) continue;
      t.entries[b.id][kLanguageGerman] = QString::fromUtf8(b.german);
      t.entries[b.id][kLanguageEnglish] = QString::fromUtf8(b.english);
    }
  }
  for (const auto& [id, source] : kSharedTexts) {
    t.entries[id][kLanguageGerman] = t.entries[source][kLanguageGerman];
    t.entries[id][kLanguageEnglish] = t.entries[source][kLanguageEnglish];
  }
  t.filled = true;
}

// The table, filled with the built-in texts on first use.
Table& table() {
  Table& t = rawTable();
  if (!t.filled) assignDefaultsAndBuiltIns(t);
  return t;
}

int g_languageIndex = kLanguageGerman;

bool validId(int id) {
  return id >= 1 && id <= kLastTextId;
}

// A decimal integer line, blanks around it allowed.
bool parseIntLine(const QString& line, int& value) {
  const QString t = line.trimmed();
  if (t.isEmpty()) return false;
  bool ok = false;
  const int v = t.toInt(&ok, 10);
  if (!ok) return false;
  value = v;
  return true;
}

}  // namespace

int languageIndex() {
  return g_languageIndex;
}

void setLanguageIndex(int index) {
  g_languageIndex =
      ((index >= kLanguageGerman && index <= kLanguageThird) ? index : kLanguageGerman);
}

QString tableText(int id, int language) {
  if (!validId(id) || language < kLanguageGerman || language > kLanguageThird) return {};
  return table().entries[id][language];
}

QString text(int id) {
  if (!validId(id)) return {};
  return table().entries[id][languageIndex()].left(kTextLookupMax);
}

QString wrapHint(const QString& source) {
  const QChar tilde = QLatin1Char('~');
  const QChar blank = QLatin1Char(' ');
  if (source.size() <= kHintLineColumns && !source.contains(tilde)) return source;

  QString out;
  QString rest = source;
  bool first = true;
  while (!rest.isEmpty()) {
    // 0-based start of the scan: a "~" within the first 40 characters, else column 40.
    const qsizetype t = rest.indexOf(tilde);
    const qsizetype c = (t < 0 || t >= kHintLineColumns) ? kHintLineColumns - 1 : t;
    qsizetype p = -1;
    for (qsizetype i = c; i < rest.size(); ++i) {
      if (rest[i] == blank || rest[i] == tilde) {
        p = i;
        break;
      }
    }
    QString line;
    if (p < 0) {
      line = rest;
      rest.clear();
    } else if (rest[p] == blank) {
      line = rest.left(p + 1);  // the blank stays at the line's end
      rest.remove(0, p + 1);
    } else {
      line = rest.left(p);  // the "~" is dropped
      rest.remove(0, p + 1);
    }
    if (!first) out += QStringLiteral("\r\n");
    out += line;
    first = false;
  }
  return out.left(kTextLookupMax);
}

QString wrappedText(int id) {
  if (!validId(id)) return {};
  return wrapHint(text(id));
}

void fillBuiltInTexts() {
  assignDefaultsAndBuiltIns(rawTable());
  setLanguageIndex(kLanguageGerman);
}

std::filesystem::path languageFilePath(const std::filesystem::path& dataRoot) {
  return dataRoot / kLanguageFileName;
}

QString decodeLanguageFileLine(std::string_view bytes) {
  return decodeText(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

namespace {

// The loader; *whole tells whether the file carried every id up to kLastTextId.
int loadLanguageFileFrom(const std::filesystem::path& dataRoot, bool* whole) {
  namespace fs = std::filesystem;
  if (whole) *whole = false;
  const fs::path path = languageFilePath(dataRoot);
  std::error_code ec;
  if (!fs::is_directory(dataRoot, ec)) return kErrFolderMissing;
  if (!fs::exists(fs::status(path, ec))) return kErrFileNotFound;
  // Opened without waiting: a named pipe at its name is refused, never read from.
  QByteArray data;
  if (const int rc = readOwnFile(path, data, qint64(kMaxLanguageFileBytes)); rc != 0)
    return rc == 2 ? kErrFileNotFound : rc == EFBIG ? kErrLanguageFileDamaged : kErrAccessDenied;

  // The shared reader takes LF or CR LF, skips a byte-order mark and decodes each line as
  // UTF-8, or as Windows-1252 where it is not valid UTF-8.
  LineReader reader(std::move(data));
  Table& t = table();
  for (int n = 1; n <= kLastTextId; ++n) {
    QString line;
    int id = 0;
    const bool haveId = reader.readLine(line) == 0 && parseIntLine(line, id) && id == n;
    if (!haveId) {
      // The added ids are optional: files of earlier versions end after the original table.
      if (n > kTextCount) return 0;
      return kErrLanguageFileDamaged;
    }
    int maxLen = 0;
    if (reader.readLine(line) != 0 || !parseIntLine(line, maxLen) || maxLen < 0)
      return kErrLanguageFileDamaged;
    Entry entry;
    for (QString& slot : entry) {
      if (reader.readLine(line) != 0) return kErrLanguageFileDamaged;
      slot = line.left(maxLen);
    }
    // A build that had no text for an id wrote its placeholder into the file: a build that
    // has one keeps its own rather than showing the placeholder.
    for (int language : {kLanguageGerman, kLanguageEnglish})
      if (entry[std::size_t(language)] == undefinedText(n, language))
        entry[std::size_t(language)] = t.entries[n][std::size_t(language)];
    t.entries[n] = std::move(entry);
  }
  if (whole) *whole = true;
  return 0;
}

}  // namespace

int loadLanguageFile(const std::filesystem::path& dataRoot) {
  return loadLanguageFileFrom(dataRoot, nullptr);
}

int writeLanguageFile(const std::filesystem::path& dataRoot) {
  namespace fs = std::filesystem;
  const fs::path path = languageFilePath(dataRoot);
  std::error_code ec;
  if (!fs::is_directory(dataRoot, ec)) return kErrFolderMissing;

  Table& t = table();
  QByteArray out;
  out.reserve(256 * 1024);
  const QByteArray crlf("\r\n");
  for (int n = 1; n <= kLastTextId; ++n) {
    Entry& e = t.entries[n];
    const qsizetype maxLen = std::max(e[kLanguageGerman].size(), e[kLanguageEnglish].size());
    out += QByteArray::number(n) + crlf;
    out += QByteArray::number(maxLen) + crlf;
    for (QString& slot : e) {
      if (slot.size() > maxLen) slot.truncate(maxLen);
      out += slot.toUtf8() + crlf;
    }
  }

  // Through a temporary file: a crash or a full disk must not leave a torn table behind, and
  // the old file is only kept aside once the new one is complete, so a failed write leaves it
  // where it was.
  TAtomicFile file(path);
  int err = file.status();
  if (err == 0)
    err = file.write(std::string_view(out.constData(), static_cast<std::size_t>(out.size())));
  if (err == 0) {
    // A file that cannot be kept aside is overwritten: the table must reach the disk.
    if (fs::exists(path, ec) && !fs::is_directory(path, ec)) (void)backUpFile(path);
    err = file.commit();
  }
  if (err == 0) return 0;
  if (err == EACCES || err == EPERM || err == EROFS || err == EISDIR) return kErrAccessDenied;
  if (err == ENOENT) return kErrFolderMissing;
  return kErrWriteFailed;
}

int loadTextsAtStart(const std::filesystem::path& dataRoot, int* writeResult) {
  bool whole = false;
  const int loaded = loadLanguageFileFrom(dataRoot, &whole);
  int written = 0;
  if (loaded != 0) {
    fillBuiltInTexts();
    written = writeLanguageFile(dataRoot);
  } else if (!whole) {
    // A file of an earlier version keeps its texts and gains the ids added since, so they can
    // be corrected or translated in it too (the old file is kept aside).
    written = writeLanguageFile(dataRoot);
  }
  if (writeResult) *writeResult = written;
  return loaded;
}

}  // namespace tolv
