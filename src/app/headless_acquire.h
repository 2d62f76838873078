#pragma once
// "--acquire": measuring without a window. Each chosen device runs as a TDeviceSession (link,
// acquisition cycle, measurement data, record files) with the settings of a file, of options
// or its LastSettings; with --merged the devices' scope records are collected cycle by cycle as
// the multi-device window collects them and written as its merged data file. Parsing and the
// settings checks are plain functions, so they run in tests without a process.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "device/settingsrecord.h"
#include "ftdi/driver_factory.h"
#include "ftdi/ftdi_driver.h"
#include "measure/datafiles.h"

namespace tolv {

class TDeviceSession;
class TSessionMember;
class TMultiCollection;
class IMultiMembers;
class TRecordNoticeReceiver;
class TPlainVoltmeterStream;

// A device lost or failing in the middle of a run.
inline constexpr int kExitDeviceLost = 3;

struct AcquireTrigger {
  char type = 'T';
  std::optional<int> channel;  // 1 or 2
  std::optional<double> level, lower;
};

struct AcquireRequest {
  // Devices
  int simulate = -1;  // -1: the FTDI driver
  FtdiBackend driver = FtdiBackend::Auto;
  std::filesystem::path dataRoot, simTrace;
  // --sim-control: lines that pull and plug the simulated devices while the run goes on.
  std::filesystem::path simControl;
  QStringList devices;  // empty: every family device listed
  // Settings
  std::filesystem::path settingsFile;
  std::optional<ModeCode> mode;
  std::optional<double> samples, sampleTime, triggerPoint;
  std::optional<std::array<double, 2>> range, offset, probe;
  std::optional<AcquireTrigger> trigger;
  // How long: records per device, or a duration; neither: until a signal.
  std::optional<std::int64_t> records;
  std::optional<std::int64_t> durationMs;
  // Where
  QString out;  // empty: below the data root; "-": standard output as plain CSV
  // csv, vxd (each with intermediate files), fil (intermediate files only), or an open format
  // instead of the window's data file: plain (CSV), vcd (logic analyser), sr (sigrok session)
  QString format = QStringLiteral("csv");
  std::optional<char> decimal, column;
  bool merged = false;
  bool quiet = false;
};

// Whether the arguments ask for --acquire (and not for --help or --version).
bool wantsAcquire(const QStringList& args);
// 0, or kExitBadUsage with the reason in `error`.
int parseAcquireArguments(const QStringList& args, AcquireRequest& out, QString& error);
// "10s", "5min", "2h", "250ms" or plain seconds to milliseconds; false for anything else.
bool parseDuration(const QString& text, std::int64_t& ms);
// "100us", "0.1ms", "1e-4", "2.5s" to seconds; false for anything else.
bool parseSampleTime(const QString& text, double& seconds);
// Puts the request's settings into `r` (the record to start with), each checked against the
// device's tables for the resulting mode. 0, or kExitBadUsage with the reason (naming the
// nearest allowed values) in `error`.
int applyAcquireSettings(const AcquireRequest& q, SettingsRecord& r, QString& error);

// The run itself, on the event loop of the caller.
class THeadlessAcquisition : public QObject {
 public:
  // `err` takes progress and error lines; `out` the plain CSV of "--out -".
  THeadlessAcquisition(const AcquireRequest& q, IFtdiDriver& driver, std::FILE* err = stderr,
                       std::ostream* out = nullptr);
  ~THeadlessAcquisition() override;

  // Lists and opens the devices, starts them up. 0, or the exit code with the lines written.
  int start();
  // SIGINT, SIGTERM or the end of the duration: every device is stopped and its files closed.
  void requestStop();
  // Called once every device has stopped (with the exit code).
  std::function<void(int)> onFinished;
  bool finished() const { return finished_; }
  int exitCode() const { return exitCode_; }
  // Whether the progress line is redrawn in place (a terminal) or one line per record.
  void setTerminal(bool on) { terminal_ = on; }

  int sessionCount() const { return int(sessions_.size()); }
  TDeviceSession& session(int i) { return *sessions_[std::size_t(i)]; }
  TMultiCollection* collection() const { return collection_.get(); }

 private:
  void tick();
  void allReady();
  void recordDone(int i);
  // "--out -": the record or reading just handed over as a plain CSV block (line).
  void writePlain(int i);
  // --format plain|vcd|sr: device i's record just handed over (at the end of the run: its
  // voltmeter series or logger stream) in that format; the reason when it could not be
  // written.
  QString writeOpenFormat(int i);
  void fail(int code, const QString& line);
  void beginStopping();
  void finish();
  bool quiet() const { return q_.quiet; }
  void progress(bool force);
  void line(const QString& text);

  AcquireRequest q_;
  IFtdiDriver& driver_;
  std::FILE* err_;
  std::ostream* out_;
  std::vector<std::unique_ptr<TPlainVoltmeterStream>> voltmeterStreams_;
  std::vector<std::unique_ptr<TDeviceSession>> sessions_;
  std::vector<std::unique_ptr<TSessionMember>> members_;
  std::unique_ptr<IMultiMembers> memberList_;
  std::unique_ptr<TRecordNoticeReceiver> receiver_;
  std::unique_ptr<TMultiCollection> collection_;
  CsvStyle style_;
  QElapsedTimer clock_;
  std::int64_t startedMs_ = 0, stopAtMs_ = -1, stoppingSinceMs_ = -1, lastProgressMs_ = -1;
  // --duration counts from the first run command a device was sent, not from the set-up.
  std::int64_t readyMs_ = -1;
  std::vector<std::uint32_t> runsAtReady_;
  void startDurationOnFirstRun(std::int64_t now);
  std::vector<bool> done_;
  std::vector<bool> lostTold_;  // the device's loss has been told
  std::vector<std::uint64_t> seen_;  // records (or cycles) already reported per device
  bool running_ = false;
  bool stopping_ = false;
  bool finished_ = false;
  bool terminal_ = false;
  bool lineOpen_ = false;
  bool outBroken_ = false;  // standard output failed: nothing more goes there
  int exitCode_ = 0;
  int cycles_ = 0;
  QObject ticker_;
  int timerId_ = 0;

  // Devices that go without a failing call (a silent driver) or come back at once on a new
  // connection are found by listing the bus now and then; their runs end as after a failing
  // call.
  static constexpr std::int64_t kRelistMs = 2000;
  void relistDevices(std::int64_t now);
  std::int64_t relistedMs_ = 0;
  void timerEvent(QTimerEvent*) override { tick(); }
};

// Whole process for main(): parses, runs, prints, returns the exit code.
int acquireMain(int argc, char** argv);

}  // namespace tolv
