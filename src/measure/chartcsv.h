#pragma once
// The voltmeter chart as a CSV file: TChartData_CSV_Saver writes one row per reading (time since
// the file was opened, both channels) with a few header cells on the first rows, and
// TChartCsvAutoSave streams the readings of a run into such files while automatic CSV saving
// is on, ending a file after two seconds without a reading.
#include <QString>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "common/atomicfile.h"
#include "common/daytime.h"
#include "common/typedlists.h"
#include "common/voltmeterreading.h"
#include "device/devtimer.h"
#include "measure/measuredata.h"

namespace tolv {

class TChartData_CSV_Saver {
 public:
  static constexpr int kNotOpen = 5;
  // Rows that carry header cells beside their values.
  static constexpr int kHeaderRows = 7;

  // `now` gives the start time of a file (the system clock unless a test pins it).
  explicit TChartData_CSV_Saver(std::function<DayTime()> now = dayTimeNow);
  ~TChartData_CSV_Saver();
  TChartData_CSV_Saver(const TChartData_CSV_Saver&) = delete;
  TChartData_CSV_Saver& operator=(const TChartData_CSV_Saver&) = delete;

  // Serial number shown in the first row.
  void setDevice(const QString& serial) { device_ = serial; }
  const QString& device() const { return device_; }

  // Forces the extension ".CSV", makes the folder and creates the file (a file still open is
  // closed first). With FreeName nothing standing under the name is written over: the file is
  // the first free "stem_k.CSV" beside it (fileName() tells). 0, a name code of forceExtension
  // or the file system's error number.
  int open(std::filesystem::path fileName, int modeIndex,
           Placement placement = Placement::Replace);
  // One row; 0 or the error. While the last open or write failed, returns that error without
  // writing; when no file is open, 5.
  int writeReading(const VoltmeterReading& r);
  // Ends the file: a file of fewer than seven rows first gets the header rows it lacks, with
  // empty time and value cells. 0, 5 when no file is open, or the file error.
  int close();
  // Moves the start of a file with no row yet back to t when t is earlier: the reading that
  // opens a file came before the file did, and its row must not fall before the start.
  void startNoLaterThan(const DayTime& t);

  bool isOpen() const { return file_ != nullptr; }
  int row() const { return row_; }
  int lastResult() const { return lastResult_; }
  int mode() const { return mode_; }
  const DayTime& start() const { return start_; }
  const std::filesystem::path& fileName() const { return name_; }

 private:
  void appendHeaderCells(std::string& line, char sep) const;
  // Appends the row's header cells and the line end to `line` and writes it; 0 or the error.
  int writeRow(std::string& line, char sep);
  int padHeaderRows();

  std::function<DayTime()> now_;
  QString device_;
  std::FILE* file_ = nullptr;
  std::filesystem::path name_;
  int mode_ = 0;
  DayTime start_;
  int row_ = 0;
  int lastResult_ = 0;
};

// Chart readings while automatic saving is CSV: the first reading (or the first after a pause
// of two seconds) opens a new file holding every reading of the list so far; the following ones
// are appended. The window's TM_CloseChartFile ends the file.
class TChartCsvAutoSave {
 public:
  static constexpr int kCloseChartFileMs = 2000;
  // The automatic data file name for a measurement time and extension ("CSV").
  using NameFor = std::function<std::filesystem::path(const DayTime&, const char* extension)>;

  TChartCsvAutoSave(TTaggedTimedFloatPointList& chart, ITimer& closeChartFile, NameFor nameFor,
                    std::function<DayTime()> now = dayTimeNow);
  ~TChartCsvAutoSave();

  TChartData_CSV_Saver& saver() { return saver_; }

  // Opens the saver and writes every reading of the chart list; on success the close timer runs.
  // The file starts no later than `opener`, the reading it is opened for, when given.
  int writeChartCsv(const std::filesystem::path& fileName, int modeIndex,
                    const DayTime* opener = nullptr);
  // A reading that has just been appended to the chart list, with AutoSaveMode 1.
  int chartReading(const VoltmeterReading& r, const DayTime& measurementTime, int modeIndex);
  // The same for the data's run: its file is named by the run's measurement time and takes the
  // unit of the reply's mode. The one way readings of a run reach the chart file.
  int runReading(const TMeasureData& d, const VoltmeterReading& r);
  // TM_CloseChartFile: stops itself and ends the file.
  void onCloseChartFileTimer();
  // Ends the file now (a new run begins, the window closes); the next reading opens the next
  // file.
  void endFile() { onCloseChartFileTimer(); }

 private:
  TTaggedTimedFloatPointList& chart_;
  ITimer& timer_;
  NameFor nameFor_;
  TChartData_CSV_Saver saver_;
};

// The record steps' files with the chart CSV added: every call goes to `inner`, except the chart
// reading, which goes to the automatic chart file, named as the window names it.
class TChartCsvRecordFiles : public IRecordFiles {
 public:
  TChartCsvRecordFiles(IRecordFiles& inner, TChartCsvAutoSave& chart)
      : inner_(inner), chart_(chart) {}

  int autoSaveScope(const TMeasureData& d, int mode) override {
    return inner_.autoSaveScope(d, mode);
  }
  int autoSaveLogic(const TMeasureData& d, int mode) override {
    return inner_.autoSaveLogic(d, mode);
  }
  int loggerCsv(const TMeasureData& d, ModeCode mode,
                const std::filesystem::path& streamFile) override {
    return inner_.loggerCsv(d, mode, streamFile);
  }
  int writeScopeIntermediate(const TMeasureData& d) override {
    return inner_.writeScopeIntermediate(d);
  }
  int writeLogicIntermediate(TMeasureData& d) override { return inner_.writeLogicIntermediate(d); }
  int openVoltmeterIntermediate(const TMeasureData& d) override {
    return inner_.openVoltmeterIntermediate(d);
  }
  int appendVoltmeterReading(const VoltmeterReading& r) override {
    return inner_.appendVoltmeterReading(r);
  }
  int closeVoltmeterIntermediate() override { return inner_.closeVoltmeterIntermediate(); }
  int chartCsvReading(const TMeasureData& d, const VoltmeterReading& r) override;
  void endChartCsv() override { chart_.endFile(); }

 private:
  IRecordFiles& inner_;
  TChartCsvAutoSave& chart_;
};

}  // namespace tolv
