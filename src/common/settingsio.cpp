#include "common/settingsio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <cerrno>
#include <QStringDecoder>
#include <system_error>

#include "common/atomicfile.h"
#include "common/stamptext.h"
#include "common/textutil.h"

namespace tolv {

namespace {

// Windows-1252 characters 0x80 .. 0x9F; the five unassigned bytes map to themselves.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int fileCode(const std::filesystem::path& file) {
  std::error_code ec;
  auto parent = file.parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) return 3;
  if (!std::filesystem::exists(file, ec)) return 2;
  return 5;
}

}  // namespace

QString decodeWindows1252(const char* data, qsizetype size) {
  QString s(size, Qt::Uninitialized);
  QChar* out = s.data();
  for (qsizetype i = 0; i < size; ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    out[i] = (b >= 0x80 && b < 0xA0) ? QChar(kCp1252High[b - 0x80]) : QChar(char16_t(b));
  }
  return s;
}

QString decodeText(const char* data, qsizetype size) {
  bool ascii = true;
  for (qsizetype i = 0; i < size && ascii; ++i) ascii = static_cast<unsigned char>(data[i]) < 0x80;
  if (ascii) return QString::fromLatin1(data, size);
  // A byte-order mark is the file's business (LineReader skips it once); inside the text it is
  // a character like any other and must not vanish from a line or a cell.
  QStringDecoder dec(QStringDecoder::Utf8,
                     QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  QString s = dec.decode(QByteArrayView(data, size));
  if (!dec.hasError()) return s;
  return decodeWindows1252(data, size);
}

LineReader::LineReader(QByteArray bytes) : data_(std::move(bytes)) {
  if (data_.startsWith("\xEF\xBB\xBF")) pos_ = 3;
}

int readOwnFile(const std::filesystem::path& file, QByteArray& bytes, qint64 limit) {
  int fd = -1;
  do fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return fileCode(file);
  struct stat st = {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kNotARegularFile;
  }
  QByteArray out;
  char piece[1 << 16];
  int rc = st.st_size > limit ? EFBIG : 0;
  // Read on to the end, as the file may have grown since it was looked at: a cut would pass
  // for the whole file.
  while (rc == 0) {
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) rc = 5;
    if (n <= 0) break;
    if (out.size() + n > limit) rc = EFBIG;
    else out.append(piece, qsizetype(n));
  }
  ::close(fd);
  if (rc == 0) bytes = std::move(out);
  return rc;
}

LineReader::LineReader(const std::filesystem::path& file) {
  openCode_ = readOwnFile(file, data_);
  if (openCode_ == 0 && data_.startsWith("\xEF\xBB\xBF")) pos_ = 3;
}

int LineReader::readLine(QString& line) {
  if (openCode_ != 0) return openCode_;
  if (pos_ >= data_.size()) return kReadPastEnd;
  qsizetype end = data_.indexOf('\n', pos_);
  qsizetype next = end < 0 ? data_.size() : end + 1;
  if (end < 0) end = data_.size();
  qsizetype len = end - pos_;
  if (len > 0 && data_.at(end - 1) == '\r') --len;
  line = decodeText(data_.constData() + pos_, len);
  pos_ = next;
  ++line_;
  return 0;
}

namespace {

// Label line, then the value line cut to the longest a value may be.
int readValueLine(LineReader& r, QString& value) {
  QString label;
  int rc = r.readLine(label);
  if (rc != 0) return rc;
  rc = r.readLine(value);
  if (rc != 0) return rc;
  if (value.size() > kMaxValueLine) value.truncate(kMaxValueLine);
  return 0;
}

bool parseInt(const QString& text, std::int32_t& out) {
  bool ok = false;
  int v = text.trimmed().toInt(&ok, 10);
  if (ok) out = v;
  return ok;
}

}  // namespace

int readTextValue(LineReader& r, QString& value) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc == 0) value = trimLeading(v);
  return rc;
}

int readShortTextValue(LineReader& r, QString& value, int n) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc == 0) value = v.left(n < 0 ? 0 : n);
  return rc;
}

int readLanguageValue(LineReader& r, int& index) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc == 0) index = languageIndexOfCode(v.trimmed());
  return rc;
}

int readBoolValue(LineReader& r, bool& value) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc != 0) return rc;
  v = v.trimmed().toUpper();
  if (v == QLatin1String("T") || v == QLatin1String("TRUE")) {
    value = true;
  } else if (v == QLatin1String("F") || v == QLatin1String("FALSE")) {
    value = false;
  } else {
    return kBadBoolean;
  }
  return 0;
}

int readNumberValue(LineReader& r, double& value) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc != 0) return rc;
  return textToNumber(trimTrailing(v), value);
}

int readIntValue(LineReader& r, std::int32_t& value) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc != 0) return rc;
  parseInt(v, value);
  return 0;
}

int readByteValue(LineReader& r, std::uint8_t& value) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc != 0) return rc;
  std::int32_t i = -1;
  if (parseInt(v, i) && i >= 0 && i <= 255) value = static_cast<std::uint8_t>(i);
  return 0;
}

int readDateTimeValue(LineReader& r, DayTime& value) {
  QString v;
  int rc = readValueLine(r, v);
  if (rc != 0) return rc;
  return dateTimeFromText(v, value);
}

QString dateTimeValueText(const DayTime& t) {
  return dtToQDateTime(t).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

}  // namespace tolv
