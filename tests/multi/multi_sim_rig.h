#pragma once
// Device windows on simulated devices and the multi-device collection, all on one stepped
// clock: records come over simulated links, are announced with the device windows' own record
// notices and are taken by the collection. Every command written is noted with its time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/paths.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "common/windowmessages.h"
#include "device/devtimer.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "ftdi/simulated_driver.h"
#include "measure/measuredata.h"
#include "multi/devicewindowmember.h"
#include "multi/multicollect.h"

namespace tolv::test {

// Passes every call on and notes each write: which device, when (us of the clock), what.
class NotingDriver final : public IFtdiDriver {
 public:
  NotingDriver(TSimulatedDriver& d, IClock& c) : d_(d), clock_(c) {}
  struct Written {
    std::string serial;
    std::int64_t us;
    std::string word;  // the first four bytes
  };
  std::vector<Written> writes;

  FtStatus listCount(std::uint32_t& c) override { return d_.listCount(c); }
  FtStatus listSerial(std::uint32_t i, char* b, std::size_t n) override {
    return d_.listSerial(i, b, n);
  }
  FtStatus listDescription(std::uint32_t i, char* b, std::size_t n) override {
    return d_.listDescription(i, b, n);
  }
  FtStatus openBySerial(const char* s, FtHandle& h) override {
    const FtStatus st = d_.openBySerial(s, h);
    if (st == kFtOk) serials_[h] = s;
    return st;
  }
  FtStatus purge(FtHandle h, std::uint32_t m) override { return d_.purge(h, m); }
  FtStatus setTimeouts(FtHandle h, std::uint32_t r, std::uint32_t w) override {
    return d_.setTimeouts(h, r, w);
  }
  FtStatus getQueueStatus(FtHandle h, std::uint32_t& n) override { return d_.getQueueStatus(h, n); }
  FtStatus read(FtHandle h, std::uint8_t* b, std::uint32_t n, std::uint32_t& got) override {
    return d_.read(h, b, n, got);
  }
  FtStatus write(FtHandle h, const std::uint8_t* b, std::uint32_t n,
                 std::uint32_t& written) override {
    if (n >= 4) writes.push_back({serials_[h], clock_.nowUs(), std::string(b, b + 4)});
    return d_.write(h, b, n, written);
  }
  FtStatus close(FtHandle h) override { return d_.close(h); }

  // Times of one device's writes of a word, in order.
  std::vector<std::int64_t> times(const std::string& serial, const char* word) const {
    std::vector<std::int64_t> v;
    for (const Written& w : writes)
      if (w.serial == serial && w.word == word) v.push_back(w.us);
    return v;
  }
  int count(const char* word) const {
    int n = 0;
    for (const Written& w : writes) n += w.word == word ? 1 : 0;
    return n;
  }

 private:
  TSimulatedDriver& d_;
  IClock& clock_;
  std::map<FtHandle, std::string> serials_;
};

// What the multi-device window does with a record notice, without its widgets.
class NoticeTarget final : public QObject {
 public:
  TMultiCollection* coll = nullptr;
  int notices = 0;
  bool event(QEvent* e) override {
    if (e->type() != TRecordNoticeEvent::kType) return QObject::event(e);
    const RecordNotice& n = static_cast<TRecordNoticeEvent*>(e)->notice();
    ++notices;
    if (coll)
      coll->recordArrived({n.sampleCount, n.postTrigger, n.registration, n.sampleTime, n.run});
    return true;
  }
};

class LoopView final : public IMultiView {
 public:
  void changed(unsigned) override {}
  void processEvents() override { QCoreApplication::processEvents(); }
};

// Fires the timers due by now whenever window events run, as a Qt event loop delivers timer
// events inside long work: another window's tick then runs inside a window's record steps.
class NestingPump final : public QObject {
 public:
  explicit NestingPump(TManualTimerHub& hub) : hub_(hub) { post(); }
  int depth = 0, deepest = 0;
  bool event(QEvent* e) override {
    if (e->type() != kType) return QObject::event(e);
    post();
    ++depth;
    deepest = std::max(deepest, depth);
    hub_.fireDue();
    --depth;
    return true;
  }

 private:
  static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 211);
  void post() { QCoreApplication::postEvent(this, new QEvent(kType)); }
  TManualTimerHub& hub_;
};

class WindowMembers final : public IMultiMembers {
 public:
  int count() const override { return int(list.size()); }
  IMultiMember* at(int i) override {
    return i >= 0 && i < count() ? list[std::size_t(i)].get() : nullptr;
  }
  std::vector<std::unique_ptr<TDeviceWindowMember>> list;
};

class MultiSimRig : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = pathFromText(dir_.path());
    setDataRoot(root_);
    initFolders();
    fillBuiltInTexts();
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    setColumnSeparatorSetting(QLatin1Char('\t'));
    setLanguageIndex(kLanguageEnglish);
    hub_.setStepHook([] { QCoreApplication::processEvents(); });
  }
  void TearDown() override {
    pump_.reset();
    coll_.reset();
    members_.list.clear();
    windows_.clear();
    QCoreApplication::processEvents();
    regional().reload();
    setLanguageIndex(0);
  }

  // n devices opened on defaults (scope mode, 1000 samples at 10 us, triggered on channel 1),
  // all of them active in the collection, which is left with single shot off.
  void make(int n) {
    sim_ = std::make_unique<TSimulatedDriver>(n, clock_, traces_);
    rec_ = std::make_unique<NotingDriver>(*sim_, clock_);
    for (int i = 0; i < n; ++i) {
      auto w = std::make_unique<TF_OneTolvanex>(
          *rec_, nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
      w->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(i + 1)));
      ASSERT_EQ(w->open(), 2);
      windows_.push_back(std::move(w));
    }
    hub_.advance(1500);
    for (auto& w : windows_) {
      ASSERT_EQ(w->acquisition().mode(), kModeOSA0);
      members_.list.push_back(std::make_unique<TDeviceWindowMember>(w.get()));
    }
    coll_ = std::make_unique<TMultiCollection>(
        members_, &target_, &view_, [this](int ms) -> ITimer& { return hub_.create(ms); });
    target_.coll = coll_.get();
    coll_->fill();
    for (int i = 0; i < n; ++i) coll_->setItemChecked(i, true);
    ASSERT_EQ(coll_->activate(), 0);
    ASSERT_EQ(coll_->switchToScopeMode(), 0);
    coll_->setVisibleMode(0);  // no device window drawn on the way
    coll_->setSingleShot(false, true);
    hub_.advance(500);
  }
  TMultiCollection& coll() { return *coll_; }
  TF_OneTolvanex& window(int i) { return *windows_[std::size_t(i)]; }
  TSimulatedDevice& device(int i) { return sim_->device(std::size_t(i)); }
  std::string serial(int i) const { return TSimulatedDriver::serialFor(i + 1); }
  void advance(std::int64_t ms) { hub_.advance(ms); }
  // Other windows' ticks run inside a window's record steps from now on.
  void nestTicks() { pump_ = std::make_unique<NestingPump>(hub_); }

  // The merged data files written so far (below the multi folder's day folders).
  std::vector<std::filesystem::path> mergedFiles() const {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(multiFolder(), ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      const auto& p = it->path();
      if (it->is_regular_file() && p.extension() == ".CSV" &&
          p.parent_path().filename() != "Intermediate")
        out.push_back(p);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  QTemporaryDir dir_;
  std::filesystem::path root_;
  std::filesystem::path traces_;
  ManualClock clock_;
  TManualTimerHub hub_{clock_};
  std::unique_ptr<TSimulatedDriver> sim_;
  std::unique_ptr<NotingDriver> rec_;
  std::vector<std::unique_ptr<TF_OneTolvanex>> windows_;
  WindowMembers members_;
  NoticeTarget target_;
  LoopView view_;
  std::unique_ptr<TMultiCollection> coll_;
  std::unique_ptr<NestingPump> pump_;
};

}  // namespace tolv::test
