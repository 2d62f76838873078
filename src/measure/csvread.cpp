#include "measure/csvread.h"

#include <charconv>
#include <cmath>

#include "common/stamptext.h"
#include "common/texttable.h"
#include "measure/measurecodes.h"

namespace tolv {

namespace {

// Splits a line (without its line end) at the separator.
void splitCells(std::string_view line, char col, std::vector<std::string_view>& cells) {
  cells.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t at = line.find(col, start);
    if (at == std::string_view::npos) {
      cells.push_back(line.substr(start));
      return;
    }
    cells.push_back(line.substr(start, at - start));
    start = at + 1;
  }
}

// The next line without CR LF; false at the end.
bool nextLine(std::string_view& rest, std::string_view& line) {
  if (rest.empty()) return false;
  const std::size_t nl = rest.find('\n');
  line = rest.substr(0, nl);
  rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A number written with "." or "," as decimal mark.
bool number(std::string_view cell, double& v) {
  cell = trimmed(cell);
  if (cell.empty() || cell.size() > 64) return false;
  char buf[65];
  for (std::size_t i = 0; i < cell.size(); ++i) buf[i] = cell[i] == ',' ? '.' : cell[i];
  const char* end = buf + cell.size();
  const char* first = buf[0] == '+' ? buf + 1 : buf;
  const auto r = std::from_chars(first, end, v);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(v);
}

bool wholeNumber(std::string_view cell, std::int64_t& v) {
  double d = 0;
  if (!number(cell, d) || std::fabs(d) > 9e15) return false;
  v = std::llround(d);
  return true;
}

QString textOf(std::string_view s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string unquoted(std::string_view s) {
  s = trimmed(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return std::string(s);
}

// The value cell of the group on a row: label, value, unit follow the first `lead` cells.
std::string_view groupValue(const std::vector<std::string_view>& cells, std::size_t lead) {
  return cells.size() > lead + 1 ? cells[lead + 1] : std::string_view();
}

std::optional<DayTime> stampOf(std::string_view date, std::string_view time) {
  if (trimmed(date).empty()) return std::nullopt;
  DayTime t;
  if (dateTimeFromCsvCells(textOf(trimmed(date)), textOf(trimmed(time)), t) != 0)
    return std::nullopt;
  return t;
}

// A label of either built-in language (German or English) or the current one.
bool isLabel(std::string_view cell, int id) {
  const QString s = textOf(trimmed(cell));
  return !s.isEmpty() && (s == tableText(id, 0) || s == tableText(id, 1) || s == text(id));
}

}  // namespace

char detectCsvColumn(std::string_view firstLine, char preferred) {
  if (preferred != 0 && firstLine.find(preferred) != std::string_view::npos) return preferred;
  for (char c : {'\t', ';', ',', ' '})
    if (firstLine.find(c) != std::string_view::npos) return c;
  return 0;
}

StoredCsvKind storedCsvKind(std::string_view bytes, char col) {
  std::string_view rest = bytes, line;
  if (!nextLine(rest, line)) return StoredCsvKind::Unknown;
  std::vector<std::string_view> cells;
  splitCells(line, col, cells);
  double a = 0, b = 0;
  if (cells.size() >= 2 && number(cells[0], a) && number(cells[1], b)) return StoredCsvKind::Scope;
  if (cells.size() < 17 || trimmed(cells[1]) != "D15" || trimmed(cells[16]) != "D0")
    return StoredCsvKind::Unknown;
  // Row 3 of an I/O-logger table carries the sample time; a logic-analyser table the pattern.
  for (int row = 0; row <= 3; ++row)
    if (!nextLine(rest, line)) return StoredCsvKind::Logic;
  splitCells(line, col, cells);
  return cells.size() > 18 && isLabel(cells[17], 215) ? StoredCsvKind::IoLogger
                                                      : StoredCsvKind::Logic;
}

int readScopeCsv(std::string_view bytes, char col, StoredScopeCsv& out, int* badRow) {
  StoredScopeCsv r;
  // Rows are about 21 bytes: one allocation instead of a doubling series.
  r.ch0.reserve(bytes.size() / 20 + 16);
  r.ch1.reserve(bytes.size() / 20 + 16);
  std::string_view rest = bytes, line;
  std::vector<std::string_view> cells;
  std::string_view date, time;
  int row = 0;
  for (; nextLine(rest, line); ++row) {
    if (line.empty() && rest.empty()) break;  // the last line end
    splitCells(line, col, cells);
    double c0 = 0, c1 = 0;
    if (cells.size() < 2 || !number(cells[0], c0) || !number(cells[1], c1)) {
      if (badRow) *badRow = row + 1;
      return kCsvBadCell;
    }
    r.ch0.push_back(c0);
    r.ch1.push_back(c1);
    if (row > 10 || cells.size() < 4) continue;
    const std::string_view v = groupValue(cells, 2);
    double d = 0;
    std::int64_t k = 0;
    switch (row) {
      case 0:
        r.serial = textOf(trimmed(v));
        break;
      case 1:
        date = v;
        break;
      case 2:
        time = v;
        break;
      case 3:
        r.trgTypString = unquoted(v);
        break;
      case 5:
        if (number(v, d)) r.pretrigger = d;
        break;
      case 9:
        if (number(v, d)) r.sampleTime = d;
        break;
      case 10:
        if (wholeNumber(v, k)) r.memoryDepth = k;
        break;
      default:
        break;
    }
  }
  if (r.ch0.empty()) return kNoSamples;
  r.time = stampOf(date, time);
  out = std::move(r);
  return 0;
}

int readLogicCsv(std::string_view bytes, char col, StoredLogicCsv& out, int* badRow) {
  StoredLogicCsv r;
  std::string_view rest = bytes, line;
  std::vector<std::string_view> cells;
  if (!nextLine(rest, line)) return kNoSamples;
  splitCells(line, col, cells);
  if (cells.size() < 17) {
    if (badRow) *badRow = 1;
    return kCsvBadCell;
  }
  if (cells.size() >= 19) r.serial = textOf(trimmed(cells[18]));
  r.ioLogger = storedCsvKind(bytes, col) == StoredCsvKind::IoLogger;
  std::string_view date, time;
  int row = 0;
  for (; nextLine(rest, line); ++row) {
    if (line.empty() && rest.empty()) break;
    splitCells(line, col, cells);
    double t = 0;
    if (cells.size() < 17 || !number(cells[0], t)) {
      if (badRow) *badRow = row + 2;
      return kCsvBadCell;
    }
    std::uint16_t w = 0;
    for (int bit = 0; bit < 16; ++bit) {
      const std::string_view c = trimmed(cells[std::size_t(16 - bit)]);
      if (c != "0" && c != "1") {
        if (badRow) *badRow = row + 2;
        return kCsvBadCell;
      }
      if (c == "1") w = std::uint16_t(w | (1u << bit));
    }
    r.words.push_back(w);
    if (row > 8 || cells.size() < 19) continue;
    const std::string_view v = groupValue(cells, 17);
    double d = 0;
    std::int64_t k = 0;
    // The I/O logger has date, time, trigger mode, step and depth; the logic analyser adds
    // pattern, trigger point, trigger sample and pretrigger time before its step and depth.
    const int stepRow = r.ioLogger ? 3 : 7;
    const int depthRow = r.ioLogger ? 4 : 8;
    if (row == 0) date = v;
    if (row == 1) time = v;
    if (row == 2) r.trgTypString = unquoted(v);
    if (!r.ioLogger && row == 4 && wholeNumber(v, k)) r.triggerPoint = k;
    if (row == stepRow && number(v, d)) r.step = d;
    if (row == depthRow && wholeNumber(v, k)) r.memoryDepth = k;
  }
  if (r.words.empty()) return kNoSamples;
  r.time = stampOf(date, time);
  out = std::move(r);
  return 0;
}

}  // namespace tolv
