#include "measure/chartcsv.h"

#include <cerrno>
#include <string>

#include "common/format.h"
#include "common/paths.h"
#include "common/regional.h"
#include "device/decoding.h"
#include "wire/wirecommands.h"

namespace tolv {

namespace {

// The file system's error number of the last failed call; never 0, so a failure stays one.
int lastErrno() {
  return errno != 0 ? errno : 5;
}

char latin1(QChar c, char fallback) {
  const char l = c.toLatin1();
  return l != 0 ? l : fallback;
}

}  // namespace

TChartData_CSV_Saver::TChartData_CSV_Saver(std::function<DayTime()> now) : now_(std::move(now)) {
  if (!now_) now_ = dayTimeNow;
}

TChartData_CSV_Saver::~TChartData_CSV_Saver() {
  // A file still open at exit gets its missing header rows as well.
  if (file_) close();
}

int TChartData_CSV_Saver::open(std::filesystem::path fileName, int modeIndex,
                               Placement placement) {
  if (file_) close();
  int rc = forceExtension(fileName, ".CSV");
  if (rc == 0) rc = makeFolders(fileName);
  if (rc == 0) {
    start_ = now_();
    // A name the program made: a file (or link) that stands there, even one put there after
    // the name was chosen, is kept and the readings go to the first free "_k" beside it.
    const bool made = placement == Placement::FreeName;
    const std::filesystem::path base = fileName;
    for (int tries = 0; rc == 0 && !file_; ++tries) {
      errno = 0;
      file_ = std::fopen(fileName.c_str(), made ? "wbx" : "wb");
      if (file_) break;
      rc = lastErrno();
      if (made && rc == EEXIST && tries < 1000) rc = freeBackupName(base, fileName);
    }
  }
  lastResult_ = rc;
  if (rc != 0) return rc;
  name_ = fileName;
  row_ = 0;
  mode_ = modeIndex;
  return 0;
}

void TChartData_CSV_Saver::startNoLaterThan(const DayTime& t) {
  if (file_ && row_ == 0 && dtDiffSeconds(t, start_) < 0) start_ = t;
}

void TChartData_CSV_Saver::appendHeaderCells(std::string& line, char sep) const {
  const auto cell = [&](const QString& text) {
    line += sep;
    line += text.toStdString();
  };
  switch (row_) {
    case 0:
      cell(QStringLiteral("Device"));
      cell(device_);
      break;
    case 1:
      cell(QStringLiteral("Date"));
      cell(csvShortDateText(start_));
      cell(QStringLiteral("MM.DD.YY"));
      break;
    case 2:
      cell(QStringLiteral("Time"));
      cell(csvTimeText(start_));
      cell(QStringLiteral("HH:MM:SS.ms"));
      break;
    case 3:
      cell(QStringLiteral("Unit"));
      cell(mode_ == 0 || mode_ == 1   ? QStringLiteral("V")
           : mode_ == 2 || mode_ == 3 ? QStringLiteral("V RMS")
                                      : QString());
      break;
    case 4:
      cell(QStringLiteral("Column 1"));
      cell(QStringLiteral("rel time in s"));
      break;
    case 5:
      cell(QStringLiteral("Column 2"));
      cell(QStringLiteral("Chan. 0"));
      break;
    case 6:
      cell(QStringLiteral("Column 3"));
      cell(QStringLiteral("Chan. 1"));
      break;
    default:
      break;
  }
}

int TChartData_CSV_Saver::writeReading(const VoltmeterReading& r) {
  if (lastResult_ != 0) return lastResult_;
  if (!file_) return kNotOpen;
  // Separators are read per row: the user may change them while a file is being written. The
  // decimal mark goes straight into the number text; the process locale is never touched.
  const char dec = latin1(decimalSeparatorSetting(), ',');
  const char sep = latin1(columnSeparatorSetting(), '\t');
  std::string line;
  line.reserve(96);
  appendFixed(line, dtDiffSeconds(r.time, start_), 9, 6, dec);
  line += sep;
  appendFixed(line, r.value0, 9, 6, dec);
  line += sep;
  appendFixed(line, r.value1, 9, 6, dec);
  return writeRow(line, sep);
}

int TChartData_CSV_Saver::writeRow(std::string& line, char sep) {
  appendHeaderCells(line, sep);
  line += "\r\n";
  errno = 0;
  // Each row reaches the operating system at once, so a crash loses no reading already shown.
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
    lastResult_ = lastErrno();
    return lastResult_;
  }
  ++row_;
  return 0;
}

int TChartData_CSV_Saver::padHeaderRows() {
  // The header stands beside the first seven rows: a shorter series would lose its last
  // header cells (a single reading would not even say its date or unit). The rows it lacks
  // come with empty time and value cells, so the columns stay where they are.
  const char sep = latin1(columnSeparatorSetting(), '\t');
  while (lastResult_ == 0 && row_ < kHeaderRows) {
    std::string line(2, sep);
    writeRow(line, sep);
  }
  return lastResult_;
}

int TChartData_CSV_Saver::close() {
  if (!file_) return kNotOpen;
  // A file whose open or a write failed is left as it is.
  const int padded = lastResult_ == 0 ? padHeaderRows() : 0;
  errno = 0;
  int rc = std::fclose(file_) == 0 ? 0 : lastErrno();
  if (rc == 0) rc = padded;
  file_ = nullptr;
  if (rc != 0) return rc;
  row_ = 0;
  lastResult_ = 0;
  return 0;
}

// --- Automatic chart CSV ---------------------------------------------------------------------

TChartCsvAutoSave::TChartCsvAutoSave(TTaggedTimedFloatPointList& chart, ITimer& closeChartFile,
                                     NameFor nameFor, std::function<DayTime()> now)
    : chart_(chart), timer_(closeChartFile), nameFor_(std::move(nameFor)), saver_(std::move(now)) {
  timer_.stop();
  timer_.setInterval(kCloseChartFileMs);
  timer_.setHandler([this] { onCloseChartFileTimer(); });
}

TChartCsvAutoSave::~TChartCsvAutoSave() {
  timer_.stop();
  timer_.setHandler({});
}

int TChartCsvAutoSave::writeChartCsv(const std::filesystem::path& fileName, int modeIndex,
                                     const DayTime* opener) {
  int rc = saver_.open(fileName, modeIndex, Placement::FreeName);
  if (rc == 0 && opener) saver_.startNoLaterThan(*opener);
  for (const VoltmeterReading& r : chart_.Items()) {
    if (rc != 0) break;
    rc = saver_.writeReading(r);
  }
  // A file left open by a failed write is ended by the timer as well, not kept open for good.
  if (saver_.isOpen()) timer_.start(kCloseChartFileMs);
  return rc;
}

int TChartCsvAutoSave::chartReading(const VoltmeterReading& r, const DayTime& measurementTime,
                                    int modeIndex) {
  if (!saver_.isOpen()) {
    if (!nameFor_) return -1001;
    return writeChartCsv(nameFor_(measurementTime, "CSV"), modeIndex, &r.time);
  }
  timer_.stop();
  const int rc = saver_.writeReading(r);
  timer_.start(kCloseChartFileMs);
  return rc;
}

void TChartCsvAutoSave::onCloseChartFileTimer() {
  timer_.stop();
  saver_.close();
}

int TChartCsvAutoSave::runReading(const TMeasureData& d, const VoltmeterReading& r) {
  return chartReading(r, d.measurementTime(),
                      modeIndex(voltmeterRecordMode(d.lastVoltmeterRecord())));
}

int TChartCsvRecordFiles::chartCsvReading(const TMeasureData& d, const VoltmeterReading& r) {
  return chart_.runReading(d, r);
}

}  // namespace tolv
