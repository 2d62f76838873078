#include "multi/multifiles.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "common/atomicfile.h"
#include "common/format.h"
#include "common/paths.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "common/textutil.h"
#include "measure/measurecodes.h"

namespace tolv {

namespace fs = std::filesystem;

QString& ScaleRowTexts::cell(int column) {
  switch (column) {
    case 1: return unit;
    case 2: return factor;
    case 3: return offset;
    case 4: return min;
    default: return max;
  }
}

const QString& ScaleRowTexts::cell(int column) const {
  return const_cast<ScaleRowTexts*>(this)->cell(column);
}

bool scaleCellNumber(const QString& text, double* value) {
  double v = 0;
  // The grammar the data file's reader takes back: sign, digits, one mark, exponent.
  if (textToNumber(text.trimmed(), v) != 0) return false;
  if (!(std::fabs(v) <= kMaxScaleMagnitude)) return false;
  if (value) *value = v;
  return true;
}

bool scaleCellAccepted(int column, const QString& text) {
  return column == 1 || scaleCellNumber(text);
}

ScaleRowValues ScaleRowValues::of(const ScaleRowTexts& t) {
  ScaleRowValues v;
  v.factor = numberOr(t.factor, 0.0);
  v.offset = numberOr(t.offset, 0.0);
  v.min = numberOr(t.min, 0.0);
  v.max = numberOr(t.max, 0.0);
  return v;
}

// --- Stamps -------------------------------------------------------------------------------

QString multiTimeText(const DayTime& t) {
  // The trigger moments of a cycle's devices lie fractions of a millisecond apart: the cell
  // keeps microseconds, and its first twelve characters stay "HH:MM:SS.mmm" for readers that
  // take the milliseconds only. Rounded with the date cell, so near midnight both carry.
  return csvMicroTimeText(t);
}

// The shape the cell beside it names ("MM.DD.YYYY"), whatever the regional date format: a
// short date such as "8 Dec 2026" or "12/8/26" would not read back everywhere.
QString multiDateText(const DayTime& t) {
  return csvDateText(t);
}

int multiStampFromTexts(const QString& date, const QString& time, DayTime& out,
                        int* fractionDigits) {
  QDate d = QDate::fromString(date.trimmed(), QStringLiteral("MM.dd.yyyy"));
  if (!d.isValid()) {
    // Files written by hand or by other tools in the regional format.
    d = QDate::fromString(date.trimmed(), regional().shortDateFormat());
    // Two-digit years read as 19xx; a measurement is never that old.
    if (d.isValid() && d.year() < 1950) d = d.addYears(100);
  }
  if (!d.isValid()) return kNotANumber;
  // "HH:MM:SS" with a fraction of any length; beyond microseconds it is cut.
  static const QRegularExpression shape(
      QStringLiteral("^(\\d{1,2}):(\\d{2}):(\\d{2})(?:\\.(\\d+))?$"));
  const QRegularExpressionMatch m = shape.match(time.trimmed());
  if (!m.hasMatch()) return kNotANumber;
  const QTime tm(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
  if (!tm.isValid()) return kNotANumber;
  const QString frac = m.captured(4).left(6);
  const double fraction = frac.isEmpty() ? 0.0 : frac.toInt() / std::pow(10.0, frac.size());
  out = dtAddSeconds(dtFromQDateTime(QDateTime(d, tm)), fraction);
  if (fractionDigits) *fractionDigits = int(frac.size());
  return 0;
}

// --- Intermediate device file -------------------------------------------------------------

namespace {

void appendText(std::string& out, const QString& s) {
  out += s.toUtf8().toStdString();
}

void appendLine(std::string& out, std::initializer_list<QString> cells, char sep) {
  bool first = true;
  for (const QString& c : cells) {
    if (!first) out += sep;
    first = false;
    // Between blanks an empty cell would vanish: "_" keeps its place.
    if (sep == ' ' && c.isEmpty())
      out += '_';
    else
      appendText(out, c);
  }
  out += "\r\n";
}

// A text typed by the user (a unit such as "V;m") that holds the column separator or a line
// end would split its line for every reader: such characters become blanks, so the line keeps
// its cells.
QString freeTextCell(const QString& s, char sep) {
  const QChar blank = sep == ' ' ? QLatin1Char('_') : QLatin1Char(' ');
  QString r = s;
  for (QChar& ch : r)
    if (ch == QLatin1Char(sep) || ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) ch = blank;
  return r;
}

}  // namespace

void appendDeviceFileHead(std::string& out, const DeviceFileHead& h, char sep, char dec) {
  const QString blank = QStringLiteral(" ");
  auto sys = [&](const QString& s) {
    QString r = s;
    for (QChar& c : r)
      if (c == QLatin1Char('.') || c == QLatin1Char(',')) c = QLatin1Char(dec);
    return r;
  };
  appendLine(out, {h.serial, blank, blank}, sep);
  appendLine(out, {text(226), multiDateText(h.time), QStringLiteral("MM.DD.YYYY")}, sep);
  appendLine(out, {text(227), multiTimeText(h.time), QStringLiteral("HH:MM:SS.ms")}, sep);
  appendLine(out, {text(223), QString::number(h.depth)}, sep);
  appendLine(out, {blank, text(30) + QStringLiteral(" 1"), text(30) + QStringLiteral(" 2")}, sep);
  appendLine(out, {text(31), QString::number(h.colours[0]), QString::number(h.colours[1])}, sep);
  const QString titles[4] = {QStringLiteral("dY/dV"), QStringLiteral("Y(0V)"), text(246),
                             text(247)};
  for (int c = 2; c <= 5; ++c)
    appendLine(out, {titles[c - 2], sys(h.rows[0].cell(c)), sys(h.rows[1].cell(c))}, sep);
  appendLine(out,
             {QStringLiteral("s"), freeTextCell(h.rows[0].unit, sep),
              freeTextCell(h.rows[1].unit, sep)},
             sep);
}

void appendDeviceFileLine(std::string& out, double t, double c1, double c2, char sep, char dec) {
  char buf[formatFixedCapacity(10, 6)];
  out.append(buf, std::size_t(formatFixed(buf, t, 10, 6, dec)));
  out += sep;
  out.append(buf, std::size_t(formatFixed(buf, c1, 9, 6, dec)));
  out += sep;
  out.append(buf, std::size_t(formatFixed(buf, c2, 9, 6, dec)));
  out += "\r\n";
}

// --- Merging ------------------------------------------------------------------------------

namespace {

// Lines without their CR LF / LF ends; a final line end does not open another line.
std::vector<std::string_view> splitLines(std::string_view s) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t e = s.find('\n', pos);
    std::size_t end = e == std::string_view::npos ? s.size() : e;
    std::size_t len = end - pos;
    if (len > 0 && s[pos + len - 1] == '\r') --len;
    lines.push_back(s.substr(pos, len));
    if (e == std::string_view::npos) break;
    pos = e + 1;
  }
  return lines;
}

}  // namespace

// A file mapped into memory (read-only), so large device files are not copied first.
class MappedFile {
 public:
  int open(const fs::path& name) {
    std::error_code ec;
    if (!fs::exists(name, ec)) return 2;
    file_.setFileName(pathText(name));
    if (!file_.open(QIODevice::ReadOnly)) return 5;
    if (file_.size() == 0) return 0;
    const uchar* p = file_.map(0, file_.size());
    if (!p) return 5;
    view_ = std::string_view(reinterpret_cast<const char*>(p), std::size_t(file_.size()));
    return 0;
  }
  std::string_view view() const { return view_; }

 private:
  QFile file_;
  std::string_view view_;
};

int mergeDeviceTexts(std::vector<NamedDeviceText> texts, char sep, std::string& out) {
  out.clear();
  if (texts.empty()) return kMultiEmpty;
  std::sort(texts.begin(), texts.end(),
            [](const NamedDeviceText& a, const NamedDeviceText& b) { return a.name < b.name; });
  std::size_t total = 0, maxLines = 0;
  std::vector<std::vector<std::string_view>> lines(texts.size());
  for (std::size_t k = 0; k < texts.size(); ++k) {
    lines[k] = splitLines(texts[k].text);
    total += texts[k].text.size();
    maxLines = std::max(maxLines, lines[k].size());
  }
  if (maxLines == 0) return kMultiEmpty;
  out.reserve(total + maxLines * (texts.size() * 6 + 2));
  for (std::size_t j = 0; j < maxLines; ++j) {
    std::size_t cells = 0;
    for (std::size_t k = 0; k < texts.size(); ++k) {
      if (j >= lines[k].size()) continue;
      // An earlier device that ran out leaves " " cells, so this device keeps its columns.
      while (cells < 3 * k) {
        if (cells > 0) out += sep;
        out += ' ';
        ++cells;
      }
      if (cells > 0) out += sep;
      const std::string_view line = lines[k][j];
      out.append(line);
      cells += std::size_t(std::count(line.begin(), line.end(), sep)) + 1;
      // A device takes its three cells on every line it has (its two-cell depth line too), so
      // the head is a table of equal rows for tools that insist on one.
      while (cells < 3 * (k + 1)) {
        out += sep;
        out += ' ';
        ++cells;
      }
    }
    out += "\r\n";
  }
  return 0;
}

int mergeDeviceFiles(std::vector<fs::path> files, char sep, std::string& out) {
  out.clear();
  if (files.empty()) return kMultiEmpty;
  std::vector<MappedFile> contents(files.size());
  std::vector<NamedDeviceText> texts;
  for (std::size_t k = 0; k < files.size(); ++k) {
    if (int rc = contents[k].open(files[k]); rc != 0) return rc;
    texts.push_back({files[k], contents[k].view()});
  }
  return mergeDeviceTexts(std::move(texts), sep, out);
}

int writeMergedText(const fs::path& name, const std::string& merged) {
  if (int rc = makeFolders(name); rc != 0) return rc;
  return writeFileAtomically(name, merged);
}

int writeMultiDataFile(const fs::path& name, const std::vector<fs::path>& files, char sep) {
  std::string merged;
  if (int rc = mergeDeviceFiles(files, sep, merged); rc != 0) return rc;
  return writeMergedText(name, merged);
}

fs::path multiDataFileName(const fs::path& folder, const DayTime& t, const QString& fixedPart) {
  QString rel = fileNameStamp(t);
  // The fixed part names the file only: a separator in it would make folders of its pieces
  // (or, with "..", leave the day folder), so it stands as "_".
  QString part = fixedPart;
  for (QChar& c : part)
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
      c = QLatin1Char('_');
  if (!part.isEmpty()) rel += QLatin1Char('_') + part;
  rel += QStringLiteral(".CSV");
  return folder / pathFromText(rel);
}

// --- Reading ------------------------------------------------------------------------------

TD3PointList& TTolvanexPointLists::Get(int i) {
  if (i >= Count()) lists_.resize(std::size_t(i) + 1);
  return lists_[std::size_t(i)];
}

void TREADing::Clear() {
  *this = TREADing();
}

namespace {

// Cells of one line; an empty rest after the last separator counts as a cell here, because a
// data line never ends in a separator unless its last cell is empty.
void splitCells(std::string_view line, char sep, std::vector<std::string_view>& cells) {
  cells.clear();
  std::size_t pos = 0;
  for (;;) {
    std::size_t e = line.find(sep, pos);
    if (e == std::string_view::npos) {
      cells.push_back(line.substr(pos));
      return;
    }
    cells.push_back(line.substr(pos, e - pos));
    pos = e + 1;
  }
}

bool isBlankCell(std::string_view c) {
  return std::all_of(c.begin(), c.end(), [](char ch) { return ch == ' ' || ch == '\t'; });
}

// A number with "." or "," as decimal separator, blanks around it allowed.
bool cellNumber(std::string_view c, double& v) {
  std::size_t b = 0, e = c.size();
  while (b < e && c[b] == ' ') ++b;
  while (e > b && c[e - 1] == ' ') --e;
  // Room for the longest cell the writers make: "%f" of the largest double.
  constexpr std::size_t kMaxCell = 2 + 309 + 1 + 20;
  if (b == e || e - b > kMaxCell) return false;
  char buf[kMaxCell];
  std::size_t n = 0;
  std::size_t i = b;
  if (c[i] == '+') ++i;  // from_chars takes no plus sign
  for (; i < e; ++i) buf[n++] = c[i] == ',' ? '.' : c[i];
  if (n == 0) return false;
  auto [p, ec] = std::from_chars(buf, buf + n, v, std::chars_format::general);
  return ec == std::errc() && p == buf + n && std::isfinite(v);
}

// The point as column separator splits the head's date cells ("04.24.2024", "MM.DD.YYYY")
// and time cells ("13:05:59.500", "HH:MM:SS.ms") at their own points. Neighbouring pieces of
// one line are contiguous, one point apart, so each stamp is joined again into one view.
void joinPointSplitStamps(std::vector<std::string_view>& cells) {
  auto digits = [](std::string_view p, std::size_t lo, std::size_t hi) {
    return p.size() >= lo && p.size() <= hi &&
           std::all_of(p.begin(), p.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
  };
  auto clock = [&](std::string_view p) {  // "HH:MM:SS"
    return p.size() == 8 && p[2] == ':' && p[5] == ':' && digits(p.substr(0, 2), 2, 2) &&
           digits(p.substr(3, 2), 2, 2) && digits(p.substr(6, 2), 2, 2);
  };
  auto span = [](std::string_view a, std::string_view b) {
    return std::string_view(a.data(), std::size_t(b.data() + b.size() - a.data()));
  };
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::string_view p = cells[i];
    const auto next = [&](std::size_t k) {
      return i + k < cells.size() ? cells[i + k] : std::string_view();
    };
    if ((digits(p, 1, 2) && digits(next(1), 1, 2) && digits(next(2), 4, 4)) ||
        (p == "MM" && next(1) == "DD" && next(2) == "YYYY")) {
      out.push_back(span(p, next(2)));
      i += 2;
    } else if ((clock(p) && digits(next(1), 1, 6)) || (p == "HH:MM:SS" && next(1) == "ms")) {
      out.push_back(span(p, next(1)));
      i += 1;
    } else {
      out.push_back(p);
    }
  }
  cells = std::move(out);
}

QString cellText(std::string_view c) {
  return decodeText(c.data(), qsizetype(c.size()));
}

// --- Blank as column separator ---
// Blanks pad the numbers and stand inside the head's titles ("Date of measurement"), so a
// blank-separated file has no cells of its own: only runs of blanks between words. Its layout
// is known, though: each head line holds per device a title of words and a fixed number of
// values, and each data line the three numbers of every device whose memory depth reaches it.
// From that the cells are found again and the file is handed on as a tab-separated one.

// Words of a line, runs of blanks being one gap.
std::vector<std::string_view> blankWords(std::string_view line) {
  std::vector<std::string_view> w;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t b = line.find_first_not_of(' ', pos);
    if (b == line.npos) break;
    const std::size_t e = std::min(line.find(' ', b), line.size());
    w.push_back(line.substr(b, e - b));
    pos = e;
  }
  return w;
}

// A value word: a number, date or time (all open with a digit, sign or point), or "_", the
// writer's stand-in for an empty cell.
bool valueWord(std::string_view w) {
  if (w == "_") return true;
  std::size_t i = w[0] == '+' || w[0] == '-' ? 1 : 0;
  if (i < w.size() && (w[i] == '.' || w[i] == ',')) ++i;
  return i < w.size() && w[i] >= '0' && w[i] <= '9';
}

// What a cell of a head line takes from the words: the title words before it, one value, the
// title words and one value (one cell, "Channel 1"), any one word, or nothing.
enum class Take { Title, Value, TitleValue, Word, Nothing };

// The cells of one line for n devices, each device taking `shape`; false when the words do not
// fit it.
bool takeCells(const std::vector<std::string_view>& words, int n, std::array<Take, 3> shape,
               std::vector<std::string>& cells) {
  std::size_t i = 0;
  auto titleWords = [&] {
    std::string t;
    while (i < words.size() && !valueWord(words[i])) {
      if (!t.empty()) t += ' ';
      t += words[i++];
    }
    return t;
  };
  auto value = [&](std::string& out) {
    if (i >= words.size() || !valueWord(words[i])) return false;
    out += words[i] == "_" ? std::string_view() : words[i];
    ++i;
    return true;
  };
  for (int k = 0; k < n; ++k)
    for (Take t : shape) {
      std::string c;
      switch (t) {
        case Take::Title:
          c = titleWords();
          break;
        case Take::Value:
          if (!value(c)) return false;
          break;
        case Take::TitleValue:
          c = titleWords();
          if (!c.empty()) c += ' ';
          if (!value(c)) return false;
          break;
        case Take::Word:
          if (i >= words.size()) return false;
          c = words[i] == "_" ? std::string_view() : words[i];
          ++i;
          break;
        case Take::Nothing:
          // A blank cell another separator's file had, as a conversion to the blank writes it.
          if (i < words.size() && words[i] == "_") ++i;
          break;
      }
      cells.push_back(std::move(c));
    }
  return i == words.size();
}

void appendTabLine(std::string& out, const std::vector<std::string>& cells) {
  for (std::size_t k = 0; k < cells.size(); ++k) {
    if (k > 0) out += '\t';
    out += cells[k];
  }
  out += "\r\n";
}

// The names line of a blank-separated file: serial numbers, which hold no other separator.
bool blankNamesLine(std::string_view line, int& n) {
  std::vector<std::string_view> names = blankWords(line);
  std::erase(names, std::string_view("_"));
  n = int(names.size());
  return n > 0 && std::none_of(names.begin(), names.end(), [](std::string_view w) {
           return w.find_first_of("\t,;.") != w.npos;
         });
}

// The file with tabs between its cells; nullopt when its words do not fit the layout.
std::optional<std::string> blankSeparatedAsTabs(std::string_view bytes) {
  const std::vector<std::string_view> lines = splitLines(bytes);
  int n = 0;
  if (lines.empty() || !blankNamesLine(lines[0], n)) return std::nullopt;
  using T = Take;
  const std::array<Take, 3> head[11] = {
      {T::Word, T::Nothing, T::Nothing},    // names
      {T::Title, T::Value, T::Word},        // date, "MM.DD.YYYY"
      {T::Title, T::Value, T::Word},        // time, "HH:MM:SS.ms"
      {T::Title, T::Value, T::Nothing},     // memory depth
      {T::Nothing, T::TitleValue, T::TitleValue},  // "Channel 1", "Channel 2"
      {T::Title, T::Value, T::Value},       // colours
      {T::Title, T::Value, T::Value},       // factor
      {T::Title, T::Value, T::Value},       // offset
      {T::Title, T::Value, T::Value},       // scale minimum
      {T::Title, T::Value, T::Value},       // scale maximum
      {T::Word, T::Word, T::Word},          // units
  };
  std::string out;
  out.reserve(bytes.size());
  std::vector<std::string> cells;
  std::vector<double> depths;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    std::vector<std::string_view> words = blankWords(lines[l]);
    // No number is "_": in a data line it stands for a blank cell of a device that has ended.
    if (l >= 11) std::erase(words, std::string_view("_"));
    cells.clear();
    if (l < 11) {
      if (!takeCells(words, n, head[l], cells)) {
        // Units left empty by an older writer leave too few words: the units go, not the data.
        if (l != 10) return std::nullopt;
        cells.clear();
        for (int k = 0; k < n; ++k) cells.insert(cells.end(), {"s", "", ""});
      }
      if (l == 3)
        for (int k = 0; k < n; ++k) {
          double v = 0;
          if (!cellNumber(cells[std::size_t(3 * k + 1)], v)) return std::nullopt;
          depths.push_back(v);
        }
    } else {
      // The devices whose record reaches this line, in order; the others' cells are blank.
      const double row = double(l - 11);
      int running = 0;
      for (double d : depths) running += d > row ? 1 : 0;
      std::vector<std::string> numbers;
      if (!takeCells(words, running, {T::Value, T::Value, T::Value}, numbers))
        return std::nullopt;
      std::size_t next = 0;
      for (double d : depths)
        for (int j = 0; j < 3; ++j)
          cells.push_back(d > row ? std::move(numbers[next++]) : std::string(" "));
    }
    appendTabLine(out, cells);
  }
  return out;
}

}  // namespace

std::string mergedTextWithSeparator(std::string_view text, char from, char to, char dec) {
  if (from == ' ' && to != ' ')
    if (const std::optional<std::string> tabs = blankSeparatedAsTabs(text))
      return mergedTextWithSeparator(*tabs, '\t', to, dec);
  std::string out;
  out.reserve(text.size());
  const std::vector<std::string_view> lines = splitLines(text);
  std::vector<std::string_view> cells;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    splitCells(lines[l], from, cells);
    // The date and time lines stand as written (a stamp split by "." included: the reader
    // joins it again); one that "." as the old separator split is one cell again.
    const bool stamps = l == 1 || l == 2;
    if (stamps && from == '.') joinPointSplitStamps(cells);
    for (std::size_t k = 0; k < cells.size(); ++k) {
      if (k > 0) out += to;
      const std::string_view cell = cells[k];
      const QString q = QString::fromUtf8(cell.data(), qsizetype(cell.size()));
      double v = 0;
      if (textToNumber(q.trimmed(), v) == 0) {
        // A number takes the decimal mark that goes with the new separator.
        for (char c : cell) out += c == '.' || c == ',' ? dec : c;
      } else {
        appendText(out, stamps ? q : freeTextCell(q, to));
      }
    }
    out += "\r\n";
  }
  return out;
}

int readMultiDataFile(const fs::path& name, char sep, TREADing& into, std::string* bytes,
                      char* found) {
  MappedFile f;
  if (int rc = f.open(name); rc != 0) return rc;
  const int rc = found ? readMultiDataOwnSep(f.view(), sep, into, *found)
                       : readMultiDataBytes(f.view(), sep, into);
  if (rc == 0 && bytes) bytes->assign(f.view());
  return rc;
}

int readMultiDataBytes(std::string_view bytes, char sep, TREADing& into) {
  if (sep == ' ') {
    const std::optional<std::string> tabs = blankSeparatedAsTabs(bytes);
    return tabs ? readMultiDataBytes(*tabs, '\t', into) : kNotANumber;
  }
  const std::vector<std::string_view> lines = splitLines(bytes);
  if (lines.size() < 8) return kMultiFileTooShort;
  TREADing r;
  std::vector<std::string_view> cells;
  splitCells(lines[0], sep, cells);
  r.deviceCount = int(cells.size() / 3);
  if (r.deviceCount == 0) return kMultiEmpty;
  const int n = r.deviceCount;
  for (int k = 0; k < n; ++k) r.names << cellText(cells[std::size_t(3 * k)]);
  auto cellOf = [&](std::size_t line, int idx, std::string_view& out) {
    if (line >= lines.size()) return false;
    splitCells(lines[line], sep, cells);
    if (sep == '.' && (line == 1 || line == 2)) joinPointSplitStamps(cells);
    if (idx >= int(cells.size())) return false;
    out = cells[std::size_t(idx)];
    return true;
  };
  std::string_view c, c2;
  if (!cellOf(1, 1, c)) return kMultiFileTooShort;
  const QString date = cellText(c);
  if (!cellOf(2, 1, c)) return kMultiFileTooShort;
  if (int rc = multiStampFromTexts(date, cellText(c), r.time, &r.timeDigits); rc != 0) return rc;
  // Each device's own date and time cells: the true moment its record was triggered. The
  // finest of them tells how finely the file knows the moments; a guess, as the writer drops
  // trailing zeros: moments that all fall on whole milliseconds read back as 3 digits.
  for (int k = 0; k < n; ++k) {
    DayTime t = r.time, own;
    int digits = 0;
    if (cellOf(1, 3 * k + 1, c) && cellOf(2, 3 * k + 1, c2) &&
        multiStampFromTexts(cellText(c), cellText(c2), own, &digits) == 0) {
      t = own;
      r.timeDigits = std::max(r.timeDigits, digits);
    }
    r.times.push_back(t);
  }
  for (int k = 0; k < n; ++k) {
    double v = 0;
    if (!cellOf(3, 3 * k + 1, c)) return kMultiFileTooShort;
    if (!cellNumber(c, v) || v < 0 || v > kMultiMaxPoints || v != std::floor(v))
      return kNotANumber;
    r.depths.Set(k, std::int32_t(v));
    for (int ch = 0; ch < 2; ++ch) {
      if (!cellOf(5, 3 * k + 1 + ch, c)) return kMultiFileTooShort;
      if (!cellNumber(c, v) || v < 0 || v > 0xFFFFFF || v != std::floor(v)) return kNotANumber;
      r.colours.Set(2 * k + ch, std::int32_t(v));
    }
  }
  if (lines.size() < 11) return kMultiFileTooShort;
  // Lines 7 to 10: factor, offset, scale minimum, scale maximum. An empty cell is a table cell
  // that was left empty and counts as 0, as it did in the table.
  for (int k = 0; k < n; ++k)
    for (int ch = 0; ch < 2; ++ch) {
      double v[4] = {0, 0, 0, 0};
      for (int l = 0; l < 4; ++l) {
        if (!cellOf(std::size_t(6 + l), 3 * k + 1 + ch, c)) return kMultiFileTooShort;
        if (!isBlankCell(c) && !cellNumber(c, v[l])) return kNotANumber;
      }
      // Devices and channels come in index order 2k + channel.
      r.factorOffset.Add({v[0], v[1]});
      r.scaleRange.Add({v[2], v[3]});
    }
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < 3; ++j) {
      if (!cellOf(10, 3 * k + j, c)) return kMultiFileTooShort;
      r.units << cellText(c);
    }
  // Data lines.
  std::vector<bool> ended(std::size_t(n), false);
  std::vector<std::vector<D3Point>> pts(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) pts[std::size_t(k)].reserve(std::size_t(r.depths.Get(k)));
  for (std::size_t j = 11; j < lines.size(); ++j) {
    splitCells(lines[j], sep, cells);
    for (int k = 0; k < n; ++k) {
      const std::size_t first = std::size_t(3 * k);
      const std::size_t have = cells.size() > first ? std::min<std::size_t>(3, cells.size() - first)
                                                    : 0;
      bool blank = have == 0;
      if (have == 3 && isBlankCell(cells[first]) && isBlankCell(cells[first + 1]) &&
          isBlankCell(cells[first + 2]))
        blank = true;
      if (blank) {
        ended[std::size_t(k)] = true;
        continue;
      }
      // Numbers after a device's end, or a triple cut short, are damage.
      if (ended[std::size_t(k)] || have < 3) return kNotANumber;
      D3Point p;
      if (!cellNumber(cells[first], p.x) || !cellNumber(cells[first + 1], p.y) ||
          !cellNumber(cells[first + 2], p.z))
        return kNotANumber;
      auto& list = pts[std::size_t(k)];
      if (int(list.size()) >= kMultiMaxPoints) return kNotANumber;
      list.push_back(p);
    }
  }
  // A file cut off short of a device's memory depth is not a whole record.
  for (int k = 0; k < n; ++k)
    if (int(pts[std::size_t(k)].size()) != r.depths.Get(k)) return kMultiFileTooShort;
  for (int k = 0; k < n; ++k) {
    TD3PointList& l = r.points.Get(k);
    for (const D3Point& p : pts[std::size_t(k)]) l.Add(p);
  }
  into = std::move(r);
  return 0;
}

int readMultiDataOwnSep(std::string_view bytes, char preferred, TREADing& into, char& found) {
  const std::vector<std::string_view> lines = splitLines(bytes);
  std::vector<std::string_view> cells;
  // The names line as written: per device a name and two blank cells, the name holding no
  // blank (a serial number); and the first data line opening with a device's three cells, each
  // a number or blank. A wrong separator leaves whole lines, or pieces of them, as cells; the
  // blank one splits nothing but the blank cells, which then keep the other separator.
  auto fits = [&](char sep) {
    if (lines.empty()) return false;
    if (sep == ' ') {
      int n = 0;
      return blankNamesLine(lines[0], n);
    }
    splitCells(lines[0], sep, cells);
    if (cells.size() < 3) return false;
    for (std::size_t k = 0; k < cells.size(); ++k) {
      const std::string_view c = cells[k];
      const bool fine = k % 3 != 0 ? isBlankCell(c)
                                   : !isBlankCell(c) && c.find_first_of(" \t") == c.npos;
      if (!fine) return false;
    }
    if (lines.size() <= 11) return true;
    splitCells(lines[11], sep, cells);
    double v = 0;
    return cells.size() >= 3 && std::all_of(cells.begin(), cells.begin() + 3, [&](auto c) {
             return isBlankCell(c) || cellNumber(c, v);
           });
  };
  std::vector<char> order{preferred};
  for (char c : kColumnSeparators)
    if (c != preferred) order.push_back(c);
  // The program's own codes are negative: "none yet" is no code.
  std::optional<int> firstRc;
  for (char sep : order) {
    if (!fits(sep)) continue;
    const int rc = readMultiDataBytes(bytes, sep, into);
    if (rc == 0) {
      found = sep;
      return 0;
    }
    if (!firstRc) {
      firstRc = rc;
      found = sep;
    }
  }
  if (firstRc) return *firstRc;
  found = preferred;
  return readMultiDataBytes(bytes, preferred, into);
}

QString multiResultText(int rc, ResultContext context) {
  const bool de = languageIndex() == 0;
  switch (rc) {
    case kMultiEmpty:
      return de ? QStringLiteral("keine Daten (noch kein Zyklus)")
                : QStringLiteral("no data (no cycle yet)");
    case kMultiFileTooShort:
      return de ? QStringLiteral("die Datei ist zu kurz oder abgeschnitten")
                : QStringLiteral("the file is too short or cut off");
    default:
      return measureResultText(rc, languageIndex(), context);
  }
}

namespace {
constexpr int kTextMultiDeviceFilesFailed = 412;  // several device files in one message
}  // namespace

QString multiDeviceFileProblem(const std::vector<DeviceFileFailure>& failed) {
  if (failed.size() == 1)
    return tableText(kTextMultiDeviceFileFailed, languageIndex())
        .arg(pathText(failed[0].name), multiResultText(failed[0].rc, ResultContext::Writing));
  // A folder that takes none fails for every device at once: one message names them all.
  QStringList lines;
  for (const DeviceFileFailure& f : failed)
    lines << pathText(f.name) + QStringLiteral(": ") +
                 multiResultText(f.rc, ResultContext::Writing);
  // The list goes below the sentence; the table's texts are one line each (its file is line-based).
  return tableText(kTextMultiDeviceFilesFailed, languageIndex())
      .arg(QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
}

std::vector<std::pair<QString, double>> loadedTriggerDeltas(const TREADing& r) {
  std::vector<std::pair<QString, double>> out;
  if (r.times.empty()) return out;
  DayTime first = r.times.front();
  for (const DayTime& t : r.times)
    if (dtLess(t, first)) first = t;
  for (int k = 0; k < r.deviceCount && k < int(r.times.size()); ++k)
    out.emplace_back(r.names.value(k), dtDiffSeconds(r.times[std::size_t(k)], first));
  return out;
}

// --- Scalings file ------------------------------------------------------------------------

std::string scalingsText(const ScalingsData& d) {
  std::string out;
  const int rows = int(d.rows.size()) + 1;  // R: the title row counts
  for (int r = 1; r <= rows; ++r) {
    const bool hasRow = r - 1 < int(d.rows.size());
    for (int c = 1; c <= 5; ++c) {
      if (hasRow) appendText(out, d.rows[std::size_t(r - 1)].cell(c));
      out += "\r\n";
    }
    const auto& cols = d.colours.Items();
    const ColorRef col = r < int(cols.size()) ? ColorRef(cols[std::size_t(r)]) : 0;
    out += std::to_string(col) + "\r\n";
    const int item = (r - 1) / 2;
    if (r % 2 == 1 && item < int(d.checked.size()))
      out += d.checked[std::size_t(item)] ? "T\r\n" : "F\r\n";
  }
  out += " \r\n";
  return out;
}

int writeScalingsFile(const fs::path& name, const ScalingsData& d) {
  if (int rc = makeFolders(name); rc != 0) return rc;
  return writeFileAtomically(name, scalingsText(d));
}

int readScalingsFile(const fs::path& name, ScalingsData& d) {
  std::error_code ec;
  if (!fs::exists(name, ec)) return 2;
  LineReader probe(name);
  if (probe.openCode() != 0) return probe.openCode();
  std::ifstream in(name, std::ios::binary);
  QByteArray bytes;
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes = QByteArray(s.data(), qsizetype(s.size()));
  return readScalingsBytes(bytes, d);
}

int readScalingsBytes(const QByteArray& bytes, ScalingsData& d) {
  LineReader lr(bytes);
  ScalingsData r = d;
  r.checkRead.assign(r.checked.size(), false);
  const int rows = int(r.rows.size()) + 1;
  QString line;
  for (int row = 1; row <= rows && !lr.atEnd(); ++row) {
    ScaleRowTexts cellsRead;
    bool haveRow = row - 1 < int(r.rows.size());
    if (haveRow) cellsRead = r.rows[std::size_t(row - 1)];
    for (int c = 1; c <= 5; ++c) {
      if (lr.readLine(line) != 0) return kReadPastEnd;  // a block cut off
      cellsRead.cell(c) = line.left(kMaxValueLine);
    }
    if (lr.readLine(line) != 0) return kReadPastEnd;
    bool ok = false;
    const qlonglong colour = line.trimmed().toLongLong(&ok);
    if (!ok || colour < 0 || colour > 0xFFFFFF) return kNotANumber;
    // Five empty cells with colour 0 are the closing block of a file written for fewer devices
    // (or a row such a file had blanked): the row keeps its texts and colour, so a device's row
    // never turns into factor 0 drawn in black.
    bool empty = colour == 0;
    for (int c = 1; c <= 5 && empty; ++c) empty = cellsRead.cell(c).isEmpty();
    if (!empty) {
      if (haveRow) r.rows[std::size_t(row - 1)] = cellsRead;
      r.colours.Set(row, std::int32_t(colour));
    }
    const int item = (row - 1) / 2;
    if (row % 2 == 1 && item < int(r.checked.size())) {
      if (lr.readLine(line) != 0) {
        if (empty) break;
        return kReadPastEnd;
      }
      const bool on = line.trimmed().compare(QStringLiteral("T"), Qt::CaseInsensitive) == 0;
      // After a closing block the file's end line follows, not a check state.
      if (empty && !on && line.trimmed().compare(QStringLiteral("F"), Qt::CaseInsensitive) != 0)
        break;
      r.checked[std::size_t(item)] = on;
      r.checkRead[std::size_t(item)] = true;
    }
  }
  d = std::move(r);
  return 0;
}

int scalingsFileName(fs::path& name) {
  fs::path p = name;
  if (int rc = forceExtension(p, ".TXT"); rc != 0) return rc;
  const QString fileName = pathText(p.filename());
  if (!fileName.contains(QStringLiteral("Scalings.TXT"))) {
    const QString stem = fileName.left(fileName.size() - 4);
    p = p.parent_path() / pathFromText(stem + QStringLiteral("_Scalings.TXT"));
  }
  name = p;
  return 0;
}

namespace {

// Whether the last line of a file without a final line end is whole: complete triples of cells
// whose last number has the six decimals every data cell is written with. What is left of a
// line cut inside it may still read as numbers, but not as those. Blank triples at its end (a
// table made rectangular, devices that ended earlier) are no cut.
bool lastLineWhole(std::string_view bytes, char sep) {
  std::string_view line = bytes.substr(bytes.rfind('\n') + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::vector<std::string_view> cells;
  splitCells(line, sep, cells);
  if (cells.size() % 3 != 0) return false;
  while (cells.size() > 3 && std::all_of(cells.end() - 3, cells.end(), isBlankCell))
    cells.resize(cells.size() - 3);
  std::string_view last = cells.back();
  while (!last.empty() && last.back() == ' ') last.remove_suffix(1);
  const char decimal = sep == '.' ? ',' : sep == ',' ? '.' : 0;
  const std::size_t mark =
      decimal ? last.rfind(decimal) : std::min(last.rfind('.'), last.rfind(','));
  if (mark == std::string_view::npos) return false;
  const std::string_view digits = last.substr(mark + 1);
  return digits.size() == 6 &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

TableProbe probeMultiDataTable(std::string_view bytes, char preferred) {
  TREADing r;
  char sep = preferred;
  const int rc = readMultiDataOwnSep(bytes, preferred, r, sep);
  // Every line the program writes ends with its line end; a file that lost only that (an
  // editor, a copy) is whole, one cut inside its last line is not.
  const bool cutInLine = !bytes.empty() && bytes.back() != '\n' &&
                         (rc == 0 || rc == kNotANumber) && !lastLineWhole(bytes, sep);
  if (rc == 0 && !cutInLine) return TableProbe::Yes;
  // Fewer lines than a multi-device head are some other text; more are a cut-off file.
  if ((rc == kMultiFileTooShort || cutInLine) && std::count(bytes.begin(), bytes.end(), '\n') >= 8)
    return TableProbe::CutOff;
  return TableProbe::No;
}

PlainCsvHead plainHeadOfMerged(const TREADing& r) {
  PlainCsvHead h;
  h.mode = kModeOSA0;  // the devices merge scope records
  h.serial = r.names.join(QLatin1Char(' '));
  h.time = r.time;
  h.extra.push_back("merged_devices: " + std::to_string(r.deviceCount));
  // Each device's own moment (its record's trigger): the file keeps them, and so does the export.
  for (int k = 0; k < r.deviceCount && k < int(r.times.size()); ++k) {
    const QString name = k < r.names.size() ? r.names.at(k).trimmed() : QString::number(k + 1);
    h.extra.push_back("measurement_time_" + name.toStdString() + ": " +
                      isoTimeText(r.times[std::size_t(k)]));
  }
  return h;
}

std::vector<PlainDeviceSeries> plainSeriesOf(const TREADing& r) {
  std::vector<PlainDeviceSeries> out;
  for (int k = 0; k < r.deviceCount && k < r.points.Count(); ++k) {
    PlainDeviceSeries d;
    d.serial = k < r.names.size() ? r.names.at(k).trimmed() : QString::number(k + 1);
    const auto unitOf = [&](int j) {
      const qsizetype i = 3 * k + j;
      const QString u = i < r.units.size() ? r.units.at(i).trimmed() : QString();
      return u.isEmpty() ? std::string("V") : u.toStdString();
    };
    d.unit0 = unitOf(1);
    d.unit1 = unitOf(2);
    for (const D3Point& p : r.points.At(k).Items()) {
      d.time.push_back(p.x);
      d.ch0.push_back(p.y);
      d.ch1.push_back(p.z);
    }
    out.push_back(std::move(d));
  }
  return out;
}

int readMergedForExport(std::string_view bytes, char preferred, PlainCsvHead& head,
                        std::vector<PlainDeviceSeries>& devices) {
  TREADing r;
  char found = preferred;
  if (const int rc = readMultiDataOwnSep(bytes, preferred, r, found); rc != 0) return rc;
  head = plainHeadOfMerged(r);
  devices = plainSeriesOf(r);
  return 0;
}

}  // namespace tolv
