#include "measure/csvread.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "common/stamptext.h"
#include "common/texttable.h"
#include "device/records.h"
#include "measure/measurecodes.h"
#include "measure/storedfile.h"

namespace tolv {

namespace {

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

// The letters a trigger pattern is written with, one per line: anything else in that cell is
// no pattern of ours and is not carried on.
bool isTriggerPattern(std::string_view s) {
  return !s.empty() && s.size() <= 8 && s.find_first_not_of("XLHeE") == std::string_view::npos;
}

std::string unquoted(std::string_view s) {
  s = trimmed(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return std::string(s);
}

// A row read cell by cell. Numbers are padded with leading blanks, so with the blank as column
// separator the blanks between two cells are one separator and the next cell's padding.
struct Cursor {
  std::string_view line;
  char col;
  std::size_t pos = 0;

  // A padded number cell; the cell ends at the separator or the end of the line.
  bool cellNumber(double& v) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != col && !(col == ' ' && line[pos] == ' ')) ++pos;
    return number(line.substr(start, pos - start), v);
  }
  // "0" or "1" as a cell of its own.
  bool cellBit(bool& bit) {
    if (pos >= line.size() || (line[pos] != '0' && line[pos] != '1')) return false;
    bit = line[pos++] == '1';
    return pos == line.size() || line[pos] == col;
  }
  bool separator() {
    if (pos >= line.size() || line[pos] != col) return false;
    ++pos;
    return true;
  }
  // What follows the cells read so far: a parameter group, starting with the separator.
  std::string_view rest() const { return line.substr(pos); }
};

// The label ids of the parameter groups and the unit note each may carry.
struct GroupLabel {
  int id;
  const char* unit;
};
constexpr GroupLabel kGroupLabels[] = {
    {174, nullptr},       {215, "s"},          {216, nullptr},      {217, "s"},
    {218, nullptr},       {219, nullptr},      {220, nullptr},      {221, "V"},
    {222, "V"},           {223, nullptr},      {225, nullptr},      {226, "MM.DD.YYYY"},
    {227, "HH:MM:SS.ms"}, {228, "MM.DD.YYYY"}, {229, "HH:MM:SS.ms"}};

// The labels in both built-in languages and the current one, longest first, so that "Time of
// measurement" is not taken for the start of "Time of measurement start".
struct LabelText {
  std::string text;
  const GroupLabel* label;
};
std::vector<LabelText> labelTexts() {
  std::vector<LabelText> v;
  for (const GroupLabel& g : kGroupLabels)
    for (const QString& t : {tableText(g.id, 0), tableText(g.id, 1), text(g.id)})
      if (!t.isEmpty()) v.push_back({t.toUtf8().toStdString(), &g});
  std::stable_sort(v.begin(), v.end(), [](const LabelText& a, const LabelText& b) {
    return a.text.size() > b.text.size();
  });
  return v;
}

// A parameter group: separator, label, separator, value and, where the label has one,
// separator and unit note. Found by its label, so the separator may also stand inside the value
// (a dated "12.08.2026" beside the point as separator).
struct Group {
  int id = 0;
  std::string_view value;
};
bool parseGroup(std::string_view rest, char col, const std::vector<LabelText>& labels, Group& g) {
  if (rest.size() < 2 || rest[0] != col) return false;
  rest.remove_prefix(1);
  for (const LabelText& l : labels) {
    if (rest.size() <= l.text.size() || rest.substr(0, l.text.size()) != l.text ||
        rest[l.text.size()] != col)
      continue;
    std::string_view v = rest.substr(l.text.size() + 1);
    if (l.label->unit) {
      const std::string tail = std::string(1, col) + l.label->unit;
      if (v.size() >= tail.size() && v.substr(v.size() - tail.size()) == tail)
        v.remove_suffix(tail.size());
    }
    g.id = l.label->id;
    g.value = v;
    return true;
  }
  return false;
}

std::optional<DayTime> stampOf(std::string_view date, std::string_view time) {
  if (trimmed(date).empty()) return std::nullopt;
  DayTime t;
  if (dateTimeFromCsvCells(textOf(trimmed(date)), textOf(trimmed(time)), t) != 0)
    return std::nullopt;
  return t;
}

// The label of a logic table's first cell ("Time [s]" in either language or the current one).
std::size_t timeLabelLength(std::string_view line) {
  for (const QString& t : {tableText(224, 0), tableText(224, 1), text(224)}) {
    const std::string s = t.toUtf8().toStdString();
    if (!s.empty() && line.size() > s.size() && line.substr(0, s.size()) == s) return s.size();
  }
  return 0;
}

// A logic table's title line with this separator: the time label, D15 .. D0, and optionally
// the device group. The serial number is handed out.
bool logicTitles(std::string_view line, char col, QString* serial) {
  const std::size_t n = timeLabelLength(line);
  if (n == 0) return false;
  std::size_t pos = n;
  for (int bit = 15; bit >= 0; --bit) {
    const std::string cell = std::string(1, col) + "D" + std::to_string(bit);
    if (line.substr(pos, cell.size()) != cell) return false;
    pos += cell.size();
  }
  if (pos < line.size()) {
    Group g;
    if (parseGroup(line.substr(pos), col, labelTexts(), g) && g.id == 225 && serial)
      *serial = textOf(trimmed(g.value));
  }
  return true;
}

// The voltmeter chart's header cell: separator, label, separator, value and, where it has one,
// separator and note. The value may hold the separator (a dotted date beside the point).
bool chartCell(std::string_view rest, char col, std::string_view label, std::string_view note,
               std::string_view& value) {
  if (rest.size() < label.size() + 2 || rest[0] != col || rest.substr(1, label.size()) != label ||
      rest[label.size() + 1] != col)
    return false;
  value = rest.substr(label.size() + 2);
  if (!note.empty() && value.size() > note.size() &&
      value.substr(value.size() - note.size()) == note && value[value.size() - note.size() - 1] == col)
    value.remove_suffix(note.size() + 1);
  return true;
}

// A chart row's three cells: numbers, or all empty on the rows a short series was padded with.
// false for anything else; `empty` tells which.
bool chartValues(Cursor& c, double (&v)[3], bool& empty) {
  empty = c.line.size() >= 3 && c.line[0] == c.col && c.line[1] == c.col && c.line[2] == c.col;
  if (empty) {
    c.pos = 2;
    return true;
  }
  return c.cellNumber(v[0]) && c.separator() && c.cellNumber(v[1]) && c.separator() &&
         c.cellNumber(v[2]);
}

bool isChartFirstRow(std::string_view line, char col) {
  Cursor c{line, col};
  double v[3];
  bool empty = false;
  std::string_view serial;
  return chartValues(c, v, empty) && chartCell(c.rest(), col, "Device", {}, serial);
}

// A scope row: two padded numbers (the window writes six decimals); the character after the
// first is the separator.
char scopeColumn(std::string_view line) {
  const auto digit = [&](std::size_t i) {
    return i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]));
  };
  std::size_t pos = 0;
  while (pos < line.size() && line[pos] == ' ') ++pos;
  if (pos < line.size() && line[pos] == '-') ++pos;
  if (!digit(pos)) return 0;
  while (digit(pos)) ++pos;
  char mark = 0;
  if (pos < line.size() && (line[pos] == '.' || line[pos] == ',') && digit(pos + 1)) {
    mark = line[pos++];
    while (digit(pos)) ++pos;
  }
  if (pos >= line.size()) return 0;
  const char col = line[pos];
  if (col == mark || col == '-' || col == '+') return 0;
  Cursor c{line, col};
  double a = 0, b = 0;
  if (!c.cellNumber(a) || !c.separator() || !c.cellNumber(b)) return 0;
  // A third number is the voltmeter chart's row (time and two channels), not the scope's: its
  // channel 2 would be lost and its times read as volts.
  double third = 0;
  return c.separator() && c.cellNumber(third) ? 0 : col;
}

}  // namespace

char detectCsvColumn(std::string_view firstLine, char preferred) {
  if (preferred != 0 && firstLine.find(preferred) != std::string_view::npos) return preferred;
  for (char c : {'\t', ';', ',', ' '})
    if (firstLine.find(c) != std::string_view::npos) return c;
  return 0;
}

char tableColumn(std::string_view firstLine) {
  if (const char c = scopeColumn(firstLine)) return c;
  const std::size_t n = timeLabelLength(firstLine);
  if (n > 0 && logicTitles(firstLine, firstLine[n], nullptr)) return firstLine[n];
  for (const char c : {'\t', ';', ',', ' ', '.'})
    if (isChartFirstRow(firstLine, c)) return c;
  return 0;
}

char storedCsvColumn(std::string_view firstLine, char preferred) {
  const char c = tableColumn(firstLine);
  return c != 0 ? c : detectCsvColumn(firstLine, preferred);
}

StoredCsvKind storedCsvKind(std::string_view bytes, char col) {
  std::string_view rest = bytes, line;
  if (!nextLine(rest, line)) return StoredCsvKind::Unknown;
  if (scopeColumn(line) == col) {
    // Row 1 carries the date group: of the measurement, or of the analog logger's start.
    std::string_view second;
    if (nextLine(rest, second)) {
      Cursor c{second, col};
      double a = 0, b = 0;
      Group g;
      if (c.cellNumber(a) && c.separator() && c.cellNumber(b) &&
          parseGroup(c.rest(), col, labelTexts(), g) && g.id == 228)
        return StoredCsvKind::AnalogLogger;
    }
    return StoredCsvKind::Scope;
  }
  if (isChartFirstRow(line, col)) return StoredCsvKind::VoltmeterChart;
  if (!logicTitles(line, col, nullptr)) return StoredCsvKind::Unknown;
  // Row 3 of an I/O-logger table carries the sample time; a logic-analyser table the pattern.
  for (int row = 0; row <= 3; ++row)
    if (!nextLine(rest, line)) return StoredCsvKind::Logic;
  Cursor c{line, col};
  double t = 0;
  bool bit = false;
  if (!c.cellNumber(t)) return StoredCsvKind::Logic;
  for (int b = 0; b < 16; ++b)
    if (!c.separator() || !c.cellBit(bit)) return StoredCsvKind::Logic;
  Group g;
  return parseGroup(c.rest(), col, labelTexts(), g) && g.id == 215 ? StoredCsvKind::IoLogger
                                                                   : StoredCsvKind::Logic;
}

namespace {

// A table whose rows fall short of the length it states is cut; without the cell (a run of
// fewer rows than the parameter groups) nothing is stated.
int checkStatedLength(std::int64_t held, std::int64_t stated, CsvFault* fault) {
  if (stated <= held) return 0;
  if (fault) *fault = {0, held, stated};
  return kCsvCutShort;
}

// The last line of `bytes`, read when `rest` is empty, has no line end, and its last number
// lacks the six decimals every number the window writes has: the file ends inside that row.
bool endsInsideRow(std::string_view bytes, std::string_view rest, std::string_view line) {
  if (!rest.empty() || bytes.empty() || bytes.back() == '\n') return false;
  const std::size_t n = line.size();
  if (n < 7 || (line[n - 7] != '.' && line[n - 7] != ',')) return true;
  for (std::size_t i = n - 6; i < n; ++i)
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return true;
  return false;
}

}  // namespace

QString csvFaultText(int rc, const CsvFault& fault, const char* row) {
  if (rc == kCsvBadCell)
    return QStringLiteral("line %1 is not a %2 row").arg(fault.line).arg(QLatin1String(row));
  if (rc == kCsvCutShort)
    return QStringLiteral("the file is cut short (%1 of %2 samples)").arg(fault.held).arg(fault.stated);
  return readResultText(rc);
}

int readScopeCsv(std::string_view bytes, char col, StoredScopeCsv& out, CsvFault* fault) {
  StoredScopeCsv r;
  // Rows are about 21 bytes: one allocation instead of a doubling series.
  r.ch0.reserve(bytes.size() / 20 + 16);
  r.ch1.reserve(bytes.size() / 20 + 16);
  const std::vector<LabelText> labels = labelTexts();
  std::string_view rest = bytes, line;
  std::string_view date, time;
  bool loggerDates = false;  // the analog logger's start date
  const auto stated = [&] {
    return loggerDates ? (r.memoryDepth + 1) / 2
                       : std::min<std::int64_t>(r.memoryDepth, kScopeMemorySamples);
  };
  int row = 0;
  for (; nextLine(rest, line); ++row) {
    if (line.empty() && rest.empty()) break;  // the last line end
    // Past the parameter groups a row ends in its second number.
    if (row > 10 && endsInsideRow(bytes, rest, line)) {
      if (fault) *fault = {0, row, std::max<std::int64_t>(stated(), row + 1)};
      return kCsvCutShort;
    }
    Cursor c{line, col};
    double c0 = 0, c1 = 0;
    if (!c.cellNumber(c0) || !c.separator() || !c.cellNumber(c1)) {
      if (fault) fault->line = row + 1;
      return kCsvBadCell;
    }
    r.ch0.push_back(c0);
    r.ch1.push_back(c1);
    Group g;
    if (row > 10 || !parseGroup(c.rest(), col, labels, g)) continue;
    double d = 0;
    std::int64_t k = 0;
    switch (g.id) {
      case 225:
        r.serial = textOf(trimmed(g.value));
        break;
      case 226:
      case 228:
        date = g.value;
        loggerDates = g.id == 228;
        break;
      case 227:
      case 229:
        time = g.value;
        break;
      case 220:
        r.trgTypString = unquoted(g.value);
        break;
      case 217:
        if (number(g.value, d)) r.pretrigger = d;
        break;
      case 218:
        if (wholeNumber(g.value, k)) r.triggerSample = k;
        break;
      case 215:
        if (number(g.value, d)) r.sampleTime = d;
        break;
      case 223:
        if (wholeNumber(g.value, k)) r.memoryDepth = k;
        break;
      default:
        break;
    }
  }
  if (r.ch0.empty()) return kNoSamples;
  if (const int rc = checkStatedLength(std::int64_t(r.ch0.size()), stated(), fault); rc != 0)
    return rc;
  r.time = stampOf(date, time);
  out = std::move(r);
  return 0;
}

int readLogicCsv(std::string_view bytes, char col, StoredLogicCsv& out, CsvFault* fault) {
  StoredLogicCsv r;
  std::string_view rest = bytes, line;
  if (!nextLine(rest, line)) return kNoSamples;
  if (!logicTitles(line, col, &r.serial)) {
    if (fault) fault->line = 1;
    return kCsvBadCell;
  }
  r.ioLogger = storedCsvKind(bytes, col) == StoredCsvKind::IoLogger;
  const std::vector<LabelText> labels = labelTexts();
  std::string_view date, time;
  int row = 0;
  for (; nextLine(rest, line); ++row) {
    if (line.empty() && rest.empty()) break;
    Cursor c{line, col};
    double t = 0;
    std::uint16_t w = 0;
    bool ok = c.cellNumber(t);
    for (int bit = 15; ok && bit >= 0; --bit) {
      bool one = false;
      ok = c.separator() && c.cellBit(one);
      if (one) w = std::uint16_t(w | (1u << bit));
    }
    if (!ok) {
      if (fault) fault->line = row + 2;
      return kCsvBadCell;
    }
    r.words.push_back(w);
    Group g;
    if (row > 8 || !parseGroup(c.rest(), col, labels, g)) continue;
    double d = 0;
    std::int64_t k = 0;
    if (g.id == 226) date = g.value;
    if (g.id == 227) time = g.value;
    if (g.id == 220) r.trgTypString = unquoted(g.value);
    if (g.id == 216 && !r.ioLogger && wholeNumber(g.value, k)) r.triggerPoint = k;
    if (g.id == 218 && !r.ioLogger && wholeNumber(g.value, k)) r.triggerSample = k;
    if (g.id == 219 && !r.ioLogger && isTriggerPattern(trimmed(g.value)))
      r.pattern = std::string(trimmed(g.value));
    if (g.id == 215 && number(g.value, d)) r.step = d;
    if (g.id == 223 && wholeNumber(g.value, k)) r.memoryDepth = k;
  }
  if (r.words.empty()) return kNoSamples;
  if (const int rc = checkStatedLength(std::int64_t(r.words.size()), r.memoryDepth, fault); rc != 0)
    return rc;
  r.time = stampOf(date, time);
  out = std::move(r);
  return 0;
}

int readChartCsv(std::string_view bytes, char col, StoredChartCsv& out, CsvFault* fault) {
  StoredChartCsv r;
  std::string_view rest = bytes, line;
  std::string_view date, time;
  int row = 0;
  for (; nextLine(rest, line); ++row) {
    if (line.empty() && rest.empty()) break;
    // Past the header cells a row ends in its third number.
    if (row > 3 && endsInsideRow(bytes, rest, line)) {
      r.cut = true;
      break;
    }
    Cursor c{line, col};
    double v[3] = {0, 0, 0};
    bool empty = false;
    if (!chartValues(c, v, empty)) {
      if (fault) fault->line = row + 1;
      return kCsvBadCell;
    }
    if (!empty) {
      r.time.push_back(v[0]);
      r.ch0.push_back(v[1]);
      r.ch1.push_back(v[2]);
    }
    std::string_view value;
    const std::string_view cells = c.rest();
    if (row == 0 && chartCell(cells, col, "Device", {}, value)) r.serial = textOf(trimmed(value));
    if (row == 1 && chartCell(cells, col, "Date", "MM.DD.YY", value)) date = trimmed(value);
    if (row == 2 && chartCell(cells, col, "Time", "HH:MM:SS.ms", value)) time = trimmed(value);
    if (row == 3 && chartCell(cells, col, "Unit", {}, value)) r.unit = std::string(trimmed(value));
  }
  if (r.time.empty()) return kNoSamples;
  // The date has a two-digit year: this century's.
  if (date.size() == 8 && date[2] == '.' && date[5] == '.') {
    const std::string full = std::string(date.substr(0, 6)) + "20" + std::string(date.substr(6));
    r.start = stampOf(full, time);
  }
  out = std::move(r);
  return 0;
}

std::vector<VoltmeterReading> chartReadings(const StoredChartCsv& t, const DayTime& start) {
  std::vector<VoltmeterReading> r;
  r.reserve(t.time.size());
  for (std::size_t i = 0; i < t.time.size(); ++i)
    r.push_back(VoltmeterReading::measured(dtAddSeconds(start, t.time[i]), t.ch0[i], t.ch1[i]));
  return r;
}

}  // namespace tolv
