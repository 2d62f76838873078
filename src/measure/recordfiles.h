#pragma once
// The files the record steps write: automatic saving by AutoSaveMode (scope and logic-analyser
// CSV or binary, logger CSV at the end of a run) and the scope, logic-analyser and voltmeter
// intermediate files with their text headers.
#include <QString>
#include <filesystem>
#include <functional>

#include "measure/datafiles.h"
#include "measure/intermediaterecords.h"
#include "measure/measuredata.h"

namespace tolv {

class TRecordFiles : public IRecordFiles {
 public:
  // `data` supplies the device folder, the numbering and (for the const calls) nothing else
  // than what the call passes; `serial` is the device's serial number text.
  TRecordFiles(TMeasureData& data, std::function<QString()> serial);

  // Separators of CSV output (default: the main frame's settings).
  void setStyleSource(std::function<CsvStyle()> f) { style_ = std::move(f); }
  // The voltmeter chart's CSV line, kept by the chart's own file code.
  using ChartCsv = std::function<int(const TMeasureData&, const VoltmeterReading&)>;
  // `end` ends the chart's file at each voltmeter RUN.
  void setChartCsv(ChartCsv f, std::function<void()> end = {}) {
    chartCsv_ = std::move(f);
    chartCsvEnd_ = std::move(end);
  }

  int autoSaveScope(const TMeasureData& d, int mode) override;
  int autoSaveLogic(const TMeasureData& d, int mode) override;
  int loggerCsv(const TMeasureData& d, ModeCode mode, const fs::path& streamFile) override;
  int writeScopeIntermediate(const TMeasureData& d) override;
  int writeLogicIntermediate(TMeasureData& d) override;
  int openVoltmeterIntermediate(const TMeasureData& d) override;
  int appendVoltmeterReading(const VoltmeterReading& r) override;
  int closeVoltmeterIntermediate() override;
  int chartCsvReading(const TMeasureData& d, const VoltmeterReading& r) override {
    return chartCsv_ ? chartCsv_(d, r) : 0;
  }
  void endChartCsv() override {
    if (chartCsvEnd_) chartCsvEnd_();
  }

  // The file the last automatic save or intermediate write produced (empty after a failure).
  const fs::path& lastDataFile() const { return lastDataFile_; }
  const fs::path& lastIntermediateFile() const { return lastIntermediate_; }

 private:
  RecordInfo info(const TMeasureData& d, const SettingsRecord& s) const;
  CsvStyle style() const { return style_ ? style_() : CsvStyle::current(); }
  // Next name of the family with its header (and "Date Time") written.
  int prepareIntermediate(IntermediateFamily f, const SettingsRecord& s, const DayTime& t,
                          fs::path& file);

  TMeasureData& data_;
  std::function<QString()> serial_;
  std::function<CsvStyle()> style_;
  ChartCsv chartCsv_;
  std::function<void()> chartCsvEnd_;
  TVoltmeterIntermediateFile voltmeter_;
  fs::path lastDataFile_;
  fs::path lastIntermediate_;
};

// --- Stored files to CSV (source file and CSV name as arguments) ---------------------------

// The stored file's header must exist (2) and carry its measurement time (-111). On a failure
// `side` (when given) tells whether the stored file could not be read or the CSV not written.
int convertVoltmeterFile(const fs::path& source, const fs::path& csv, const QString& serial,
                         const CsvStyle& style, ConvertSide* side = nullptr);
int convertScopeFile(const fs::path& source, const fs::path& csv, const QString& serial,
                     const CsvStyle& style, ConvertSide* side = nullptr);
// The trigger type shown in the file is the window's.
int convertLogicFile(const fs::path& source, const fs::path& csv, const QString& serial,
                     const std::string& windowTrgTypString, const CsvStyle& style,
                     ConvertSide* side = nullptr);
// Probe factors, divider, trigger type and sample time from the window's settings.
int convertAnalogLoggerFile(const fs::path& source, const fs::path& csv, const QString& serial,
                            const SettingsRecord& window, const CsvStyle& style,
                            ConvertSide* side = nullptr);
int convertIoLoggerFile(const fs::path& source, const fs::path& csv, const QString& serial,
                        const std::string& windowTrgTypString, const CsvStyle& style,
                        ConvertSide* side = nullptr);
// By family, as the save-as-CSV menu entries and --convert do: a stored file is converted with
// the settings of its own header (what it was measured with), whatever the window holds now.
int convertIntermediateFile(IntermediateFamily f, const fs::path& source, const fs::path& csv,
                            const QString& serial, const CsvStyle& style,
                            ConvertSide* side = nullptr);

// Stored ".VXD" files as the CSV of their kind; the serial number and time are the file's.
int convertScopeVxdFile(const fs::path& source, const fs::path& csv, const CsvStyle& style);
int convertLogicVxdFile(const fs::path& source, const fs::path& csv, const CsvStyle& style);

}  // namespace tolv
