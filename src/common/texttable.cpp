#include "common/texttable.h"

#include <QByteArray>
#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <utility>

#include "common/paths.h"

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
  std::array<Entry, kTextCount + 1> entries;  // index 0 unused
  bool filled = false;
};

Table& rawTable() {
  static Table table;
  return table;
}

void assignDefaultsAndBuiltIns(Table& t) {
  for (int n = 1; n <= kTextCount; ++n) {
    const QString num = QString::number(n);
    Entry& e = t.entries[n];
    e[kLanguageGerman] =
        num + QStringLiteral(", ") + QStringLiteral("GERMAN ") + QStringLiteral(" is undefined");
    e[kLanguageEnglish] =
        num + QStringLiteral(", ") + QStringLiteral("english") + QStringLiteral(" is undefined");
    e[kLanguageThird] = num + QString(kThirdLanguageDots, QLatin1Char('.'));
  }
  for (auto part : {detail::builtInTexts1(), detail::builtInTexts2()}) {
    for (const detail::BuiltInText& b : part) {
      if (b.id < 1 || b.id > kTextCount) continue;
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
  return id >= 1 && id <= kTextCount;
}

// Strict UTF-8 check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view s) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    int len = 0;
    std::uint32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2;
      cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3;
      cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4;
      cp = b0 & 0x07u;
    } else {
      return false;
    }
    if (n - i < static_cast<std::size_t>(len)) return false;
    for (int k = 1; k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0u) != 0x80u) return false;
      cp = (cp << 6) | (b & 0x3Fu);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if (cp > 0x10FFFF) return false;
    i += static_cast<std::size_t>(len);
  }
  return true;
}

// Windows-1252 bytes 0x80..0x9F; the five unassigned bytes keep their own code point, as the
// Windows conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeCp1252(std::string_view s) {
  QString out;
  out.reserve(static_cast<qsizetype>(s.size()));
  for (char ch : s) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && b <= 0x9F)
      out.append(QChar(kCp1252High[b - 0x80]));
    else
      out.append(QChar(static_cast<char16_t>(b)));
  }
  return out;
}

// Splits a byte buffer into lines ended by LF or CR LF; a last line without line end counts.
class LineReader {
 public:
  explicit LineReader(std::string_view data) : data_(data) {}
  bool next(std::string_view& line) {
    if (pos_ >= data_.size()) return false;
    std::size_t end = data_.find('\n', pos_);
    std::size_t stop = end == std::string_view::npos ? data_.size() : end;
    line = data_.substr(pos_, stop - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end == std::string_view::npos ? data_.size() : end + 1;
    return true;
  }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
};

// A decimal integer line, blanks around it allowed.
bool parseIntLine(std::string_view line, int& value) {
  QByteArray bytes(line.data(), static_cast<qsizetype>(line.size()));
  bytes = bytes.trimmed();
  if (bytes.isEmpty()) return false;
  bool ok = false;
  const int v = bytes.toInt(&ok, 10);
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
  if (isValidUtf8(bytes))
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return decodeCp1252(bytes);
}

int loadLanguageFile(const std::filesystem::path& dataRoot) {
  namespace fs = std::filesystem;
  const fs::path path = languageFilePath(dataRoot);
  std::error_code ec;
  if (!fs::is_directory(dataRoot, ec)) return kErrFolderMissing;
  const fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) return kErrFileNotFound;
  if (!fs::is_regular_file(st)) return kErrAccessDenied;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return kErrAccessDenied;
  if (size > kMaxLanguageFileBytes) return kErrLanguageFileDamaged;

  std::ifstream in(path, std::ios::binary);
  if (!in) return kErrAccessDenied;
  std::string data(static_cast<std::size_t>(size), '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(in.gcount()));

  std::string_view view(data);
  if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  LineReader reader(view);
  Table& t = table();
  for (int n = 1; n <= kTextCount; ++n) {
    std::string_view line;
    int id = 0;
    if (!reader.next(line) || !parseIntLine(line, id) || id != n) return kErrLanguageFileDamaged;
    int maxLen = 0;
    if (!reader.next(line) || !parseIntLine(line, maxLen) || maxLen < 0)
      return kErrLanguageFileDamaged;
    Entry entry;
    for (QString& slot : entry) {
      if (!reader.next(line)) return kErrLanguageFileDamaged;
      slot = decodeLanguageFileLine(line).left(maxLen);
    }
    t.entries[n] = std::move(entry);
  }
  return 0;
}

int writeLanguageFile(const std::filesystem::path& dataRoot) {
  namespace fs = std::filesystem;
  const fs::path path = languageFilePath(dataRoot);
  std::error_code ec;
  if (!fs::is_directory(dataRoot, ec)) return kErrFolderMissing;
  // A file that cannot be kept aside is overwritten: the table must reach the disk.
  if (fs::exists(path, ec) && !fs::is_directory(path, ec)) (void)backUpFile(path);

  Table& t = table();
  QByteArray out;
  out.reserve(256 * 1024);
  const QByteArray crlf("\r\n");
  for (int n = 1; n <= kTextCount; ++n) {
    Entry& e = t.entries[n];
    const qsizetype maxLen = std::max(e[kLanguageGerman].size(), e[kLanguageEnglish].size());
    out += QByteArray::number(n) + crlf;
    out += QByteArray::number(maxLen) + crlf;
    for (QString& slot : e) {
      if (slot.size() > maxLen) slot.truncate(maxLen);
      out += slot.toUtf8() + crlf;
    }
  }

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return kErrAccessDenied;
  file.write(out.constData(), static_cast<std::streamsize>(out.size()));
  file.close();
  return file ? 0 : kErrWriteFailed;
}

int loadTextsAtStart(const std::filesystem::path& dataRoot, int* writeResult) {
  const int loaded = loadLanguageFile(dataRoot);
  int written = 0;
  if (loaded != 0) {
    fillBuiltInTexts();
    written = writeLanguageFile(dataRoot);
  }
  if (writeResult) *writeResult = written;
  return loaded;
}

}  // namespace tolv
