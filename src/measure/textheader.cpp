#include "measure/textheader.h"

#include <QByteArray>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/atomicfile.h"
#include "common/format.h"
#include "common/settingsio.h"
#include "common/textutil.h"

namespace tolv {

namespace {

constexpr const char* kCrLf = "\r\n";

void addPair(std::string& s, const char* key, const std::string& value) {
  s += key;
  s += kCrLf;
  s += value;
  s += kCrLf;
}

// Value lines of reals: "," counts as decimal mark; NAN and INF, which the writer may produce
// for a broken value, read back as such.
int readReal(LineReader& r, double& v) {
  QString text;
  int rc = readTextValue(r, text);
  if (rc != 0) return rc;
  text = text.trimmed();
  const QString upper = text.toUpper();
  if (upper == QLatin1String("NAN")) {
    v = std::nan("");
    return 0;
  }
  if (upper == QLatin1String("INF") || upper == QLatin1String("+INF")) {
    v = HUGE_VAL;
    return 0;
  }
  if (upper == QLatin1String("-INF")) {
    v = -HUGE_VAL;
    return 0;
  }
  return textToNumber(text, v) == 0 ? 0 : kNotANumber;
}

// The GPIO words are written unsigned, so all 32 bits come back (a signed reader would drop
// values above 2^31 - 1).
int readWord(LineReader& r, std::int32_t& v) {
  QString text;
  int rc = readTextValue(r, text);
  if (rc != 0) return rc;
  bool ok = false;
  const qlonglong x = text.trimmed().toLongLong(&ok, 10);
  if (ok && x >= -2147483648LL && x <= 4294967295LL) v = std::int32_t(std::uint32_t(x));
  return 0;
}

int readAll(const fs::path& name, QByteArray& bytes) {
  std::error_code ec;
  if (!fs::exists(name, ec)) return 2;
  std::ifstream in(name, std::ios::binary);
  if (!in) return 5;
  std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return 5;
  bytes = QByteArray(s.data(), qsizetype(s.size()));
  return 0;
}

}  // namespace

std::string headerRealText(double v) {
  if (std::isnan(v)) return std::string(20, ' ') + "NAN";
  if (std::isinf(v)) return std::string(19, ' ') + (v < 0 ? "-INF" : "+INF");
  // to_chars, not printf: the point must not follow the process locale (a German one would
  // write a comma).
  char buf[48];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  std::string s(buf, r.ptr);  // d.dddddddddddddde+xx
  const auto e = s.find('e');
  if (e == std::string::npos || e + 2 > s.size()) return s;
  const char sign = s[e + 1];
  const int exponent = std::atoi(s.c_str() + e + 2);
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%04d", sign, exponent);
  std::string out = s.substr(0, e) + tail;
  if (out[0] != '-') out.insert(out.begin(), ' ');
  return out;
}

std::string textHeaderText(const SettingsRecord& r) {
  std::string s;
  s.reserve(640);
  std::string mode(4, '\0');
  for (int i = 0; i < 4; ++i) mode[std::size_t(i)] = char((r.mode >> (8 * i)) & 0xFF);
  addPair(s, "Mode", mode);
  addPair(s, "AmplC0", headerRealText(r.amplC0));
  addPair(s, "AmplC1", headerRealText(r.amplC1));
  addPair(s, "OffsC0", headerRealText(r.offsC0));
  addPair(s, "OffsC1", headerRealText(r.offsC1));
  addPair(s, "SamplTim", headerRealText(r.sampleTime));
  addPair(s, "MemoryDepth", headerRealText(r.memoryDepth));
  addPair(s, "TriggerPoint", headerRealText(r.triggerPoint));
  addPair(s, "TrgChan", std::to_string(r.trgChan));
  addPair(s, "Relevances", std::to_string(r.relevances));
  addPair(s, "Dynamics", std::to_string(r.dynamics));
  addPair(s, "Levels", std::to_string(r.levels));
  addPair(s, "TrgTypString", r.trgTypString.substr(0, 255));
  addPair(s, "TrgLevelUpper", headerRealText(r.trgLevelUpper));
  addPair(s, "TrgLevelLower", headerRealText(r.trgLevelLower));
  addPair(s, "GPIO24BitData", std::to_string(std::uint32_t(r.gpioData)));
  addPair(s, "GPIO24BitDirection", std::to_string(std::uint32_t(r.gpioDirection)));
  addPair(s, "VXS_ProbeFactor_C0", headerRealText(r.probeFactorC0));
  addPair(s, "VXS_ProbeFactor_C1", headerRealText(r.probeFactorC1));
  addPair(s, "VXS_ProbeHelpFactorFlag", r.probeHelpFactorFlag ? "TRUE" : "FALSE");
  return s;
}

std::string textHeaderDateTimeText(const DayTime& t) {
  std::string s;
  addPair(s, "Date Time", storedDateTimeText(t).toStdString());
  return s;
}

fs::path textHeaderName(const fs::path& file) {
  fs::path p = file;
  p.replace_extension(".VXT");
  // A copy through a FAT stick or an archive often has lower-case names; a header only there
  // is the file's own.
  std::error_code ec;
  if (!fs::exists(p, ec)) {
    fs::path lower = file;
    lower.replace_extension(".vxt");
    if (fs::exists(lower, ec)) return lower;
  }
  return p;
}

int writeTextHeader(const fs::path& file, const SettingsRecord& r) {
  return writeFileAtomically(textHeaderName(file), textHeaderText(r));
}

int writeTextHeader(const fs::path& file, const SettingsRecord& r, const DayTime& t) {
  return writeFileAtomically(textHeaderName(file), textHeaderText(r) + textHeaderDateTimeText(t));
}

int appendTextHeaderDateTime(const fs::path& file, const DayTime& t) {
  const fs::path name = textHeaderName(file);
  QByteArray bytes;
  if (int rc = readAll(name, bytes); rc != 0) return rc;
  std::string s(bytes.constData(), std::size_t(bytes.size()));
  if (!s.empty() && s.back() != '\n') s += kCrLf;
  s += textHeaderDateTimeText(t);
  // Rewritten whole, so a crash in between leaves the old header rather than half a line.
  return writeFileAtomically(name, s);
}

int parseTextHeader(const QByteArray& bytes, SettingsRecord& out,
                    std::optional<DayTime>* dateTime) {
  LineReader r(bytes);
  SettingsRecord h;
  // Fields the header does not carry are zero.
  h.probeFactorC0 = 0;
  h.probeFactorC1 = 0;
  int rc = 0;
  auto step = [&rc](int result) {
    if (rc == 0) rc = result;
    return rc == 0;
  };
  QString mode;
  if (!step(readShortTextValue(r, mode, 4))) return rc;
  const QByteArray m = mode.toLatin1();
  for (int i = 0; i < m.size() && i < 4; ++i)
    h.mode |= std::uint32_t(std::uint8_t(m[i])) << (8 * i);
  for (double* d :
       {&h.amplC0, &h.amplC1, &h.offsC0, &h.offsC1, &h.sampleTime, &h.memoryDepth, &h.triggerPoint})
    if (!step(readReal(r, *d))) return rc;
  for (std::uint8_t* b : {&h.trgChan, &h.relevances, &h.dynamics, &h.levels})
    if (!step(readByteValue(r, *b))) return rc;
  QString trg;
  if (!step(readShortTextValue(r, trg, 255))) return rc;
  h.trgTypString = trg.toLatin1().toStdString();
  if (!step(readReal(r, h.trgLevelUpper)) || !step(readReal(r, h.trgLevelLower))) return rc;
  if (!step(readWord(r, h.gpioData)) || !step(readWord(r, h.gpioDirection))) return rc;
  if (!step(readReal(r, h.probeFactorC0)) || !step(readReal(r, h.probeFactorC1))) return rc;
  if (!step(readBoolValue(r, h.probeHelpFactorFlag))) return rc;

  std::optional<DayTime> time;
  // Blank lines at the end are no "Date Time" pair.
  LineReader ahead = r;
  bool more = false;
  while (!ahead.atEnd()) {
    QString line;
    if (ahead.readLine(line) != 0) break;
    if (!line.trimmed().isEmpty()) {
      more = true;
      break;
    }
  }
  if (more) {
    DayTime t;
    if (!step(readDateTimeValue(r, t))) return rc;
    time = t;
  }
  out = h;
  if (dateTime) *dateTime = time;
  return 0;
}

int readTextHeader(const fs::path& file, SettingsRecord& out, std::optional<DayTime>* dateTime) {
  QByteArray bytes;
  if (int rc = readAll(textHeaderName(file), bytes); rc != 0) return rc;
  return parseTextHeader(bytes, out, dateTime);
}

}  // namespace tolv
