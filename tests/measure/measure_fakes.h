#pragma once
// Presenter and file layer that record what the record steps ask of them, in order.
#include <QCoreApplication>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "common/windowmessages.h"
#include "measure/measuredata.h"

namespace tolv::test {

struct CallLog {
  std::vector<std::string> calls;
  void add(std::string s) { calls.push_back(std::move(s)); }
};

struct RecordingPresenter : IMeasurePresenter {
  explicit RecordingPresenter(CallLog& l) : log(l) {}
  CallLog& log;
  bool busyWhilePlotting = false, busyWhileEvents = false;
  QString unit;
  double v0 = 0, v1 = 0;
  std::filesystem::path analogFile;
  int analogResult = 0;  // what drawing a stream file answers
  int ioSamples = -1;
  std::function<void()> onEvents;

  void plotScopeRecord(const TMeasureData& d) override {
    busyWhilePlotting = d.plotBusy();
    log.add("plotScope");
  }
  void plotLogicRecord(const TMeasureData&) override { log.add("plotLogic"); }
  void showVoltmeterValues(double a, double b, const QString& u) override {
    v0 = a;
    v1 = b;
    unit = u;
    log.add("showVoltmeter");
  }
  void chartListChanged(const TTaggedTimedFloatPointList&) override { log.add("chart"); }
  int plotAnalogLoggerFile(const std::filesystem::path& f) override {
    analogFile = f;
    log.add("plotAnalogFile");
    return analogResult;
  }
  void plotIoLoggerList(const TMeasureData& d) override {
    ioSamples = d.ioLoggerList().count();
    log.add("plotIoList");
  }
  void clearLoggerImage(IntermediateFamily f) override {
    log.add(std::string("clearImage ") + familyCode(f));
  }
  void sheetToFront(MeasureSheet s) override { log.add("front " + std::to_string(int(s))); }
  void intermediateFilesChanged(const TIntermediateNumbering& n) override {
    log.add(std::string("files ") + familyCode(n.family()));
  }
  void processEvents() override {
    busyWhileEvents = data && data->plotBusy();
    log.add("events");
    QCoreApplication::sendPostedEvents();
    if (onEvents) onEvents();
  }
  const TMeasureData* data = nullptr;
};

struct RecordingFiles : IRecordFiles {
  explicit RecordingFiles(CallLog& l) : log(l) {}
  CallLog& log;
  int saveResult = 0, openResult = 0, appendResult = 0;
  std::vector<VoltmeterReading> appended;
  std::function<void(const TMeasureData&)> onAutoSave;

  int autoSaveScope(const TMeasureData& d, int mode) override {
    log.add("saveScope " + std::to_string(mode));
    if (onAutoSave) onAutoSave(d);
    return saveResult;
  }
  int autoSaveLogic(const TMeasureData&, int mode) override {
    log.add("saveLogic " + std::to_string(mode));
    return saveResult;
  }
  int loggerCsv(const TMeasureData&, ModeCode m, const std::filesystem::path&) override {
    log.add("loggerCsv " + modeCodeText(m));
    return 0;
  }
  int writeScopeIntermediate(const TMeasureData&) override {
    log.add("scopeFile");
    return 0;
  }
  int writeLogicIntermediate(TMeasureData&) override {
    log.add("logicFile");
    return 0;
  }
  int openVoltmeterIntermediate(const TMeasureData&) override {
    log.add("openVm");
    return openResult;
  }
  int appendVoltmeterReading(const VoltmeterReading& r) override {
    appended.push_back(r);
    log.add("appendVm");
    return appendResult;
  }
  int closeVoltmeterIntermediate() override {
    log.add("closeVm");
    return 0;
  }
  int chartCsvReading(const TMeasureData&, const VoltmeterReading&) override {
    log.add("chartCsv");
    return 0;
  }
};

// Receives the multi-device window's record notices.
class NoticeReceiver : public QObject {
 public:
  std::vector<RecordNotice> notices;
  bool event(QEvent* e) override {
    if (e->type() == kRecordNoticeMessage) {
      notices.push_back(static_cast<TRecordNoticeEvent*>(e)->notice());
      return true;
    }
    return QObject::event(e);
  }
};

}  // namespace tolv::test
