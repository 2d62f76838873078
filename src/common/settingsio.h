#pragma once
// Line reading for the program's text files and the readers of label-line / value-line
// settings files.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "common/daytime.h"

namespace tolv {

// Input codes of the readers besides 0 and the file-system codes 2 (not found), 3 (folder
// missing) and 5 (access denied).
inline constexpr int kReadPastEnd = 38;    // the file ended before the line
inline constexpr int kBadBoolean = 9210;   // a boolean that cannot be read
inline constexpr int kNotANumber = 9220;   // a value that is not a number (or date)
inline constexpr int kMaxValueLine = 255;  // longer value lines are cut

// Reads lines ending in LF or CR LF. Each line is decoded as UTF-8, or as Windows-1252 when
// it is not valid UTF-8; a UTF-8 byte-order mark at the start is skipped.
class LineReader {
 public:
  LineReader() = default;
  explicit LineReader(QByteArray bytes);
  // Reads the whole of one of the program's own files (readOwnFile); openCode() tells whether
  // that worked.
  explicit LineReader(const std::filesystem::path& file);

  // 0, or the code why the file could not be read.
  int openCode() const { return openCode_; }
  bool atEnd() const { return pos_ >= data_.size(); }
  // 0 and the next line (without its line end), or kReadPastEnd / the open code.
  int readLine(QString& line);
  // 1-based number of the last line read.
  int lineNumber() const { return line_; }

 private:
  QByteArray data_;
  qsizetype pos_ = 0;
  int openCode_ = 0;
  int line_ = 0;
};

// The whole of a file the program keeps for itself (its settings, window places, language
// file), at most `limit` bytes: 0, or 2 (missing), 3 (folder missing), 5, kNotARegularFile for
// a pipe, device or socket at its name, or EFBIG for a longer file (none of the program's,
// and a part of it could pass for a whole one). It is opened without waiting, so a named pipe
// put there cannot hold the program up; it is treated like a damaged file.
int readOwnFile(const std::filesystem::path& file, QByteArray& bytes,
                qint64 limit = std::numeric_limits<qint64>::max());

// Bytes to text: UTF-8 when valid, otherwise Windows-1252.
QString decodeText(const char* data, qsizetype size);
QString decodeWindows1252(const char* data, qsizetype size);

// Each reader consumes a label line (ignored) and a value line (cut at 255 characters). The
// target is changed only when the reader says so; the result is 0 or the input code.
int readTextValue(LineReader& r, QString& value);              // leading blanks removed
int readShortTextValue(LineReader& r, QString& value, int n);  // cut to n characters
int readLanguageValue(LineReader& r, int& index);              // "DE"/"EN"/"LX"
int readBoolValue(LineReader& r, bool& value);                 // T/F/TRUE/FALSE, else 9210
int readNumberValue(LineReader& r, double& value);             // else the bad position
// Stored when the value is an integer, otherwise kept; 0 unless the line could not be read.
int readIntValue(LineReader& r, std::int32_t& value);
// As readIntValue, stored only for 0 .. 255.
int readByteValue(LineReader& r, std::uint8_t& value);
// A date and time as dateTimeText writes it under any regional setting, or in one of the
// usual shapes (stamptext.h); 9220 when the text is no date.
int readDateTimeValue(LineReader& r, DayTime& value);

// The texts the readers above accept, for writing value lines.
QString dateTimeValueText(const DayTime& t);  // "dd.MM.yyyy HH:mm:ss"

}  // namespace tolv
