// Start skew of a multi-device cycle on 8 simulated devices in real time: device windows on
// QTimers and the system clock, as the program runs them. Per cycle: the time from the first to
// the last run command of the cycle (the devices' traces stamp each), and the spread of the
// eight MeasurementTimes of devices that all measure the same signal (so they trigger at one
// moment). Target: both at most 2 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <numbers>
#include <vector>

#include "common/paths.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "common/windowmessages.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "ftdi/simulated_driver.h"
#include "measure/measuredata.h"
#include "multi/devicewindowmember.h"
#include "multi/multicollect.h"

namespace tolv {
namespace {

constexpr int kDevices = 8;

// Passes every call on and keeps the moment (us of the system clock) of each run command.
class RunStamps final : public IFtdiDriver {
 public:
  explicit RunStamps(IFtdiDriver& d) : d_(d) {}
  std::vector<std::int64_t> runs;  // of all devices, in order

  FtStatus listCount(std::uint32_t& c) override { return d_.listCount(c); }
  FtStatus listSerial(std::uint32_t i, char* b, std::size_t n) override {
    return d_.listSerial(i, b, n);
  }
  FtStatus listDescription(std::uint32_t i, char* b, std::size_t n) override {
    return d_.listDescription(i, b, n);
  }
  FtStatus openBySerial(const char* s, FtHandle& h) override { return d_.openBySerial(s, h); }
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
    if (n >= 4 && b[0] == '*' && b[1] == 'R' && b[2] == 'U' && b[3] == 'N')
      runs.push_back(SystemClock::instance().nowUs());
    return d_.write(h, b, n, written);
  }
  FtStatus close(FtHandle h) override { return d_.close(h); }

 private:
  IFtdiDriver& d_;
};

class Target final : public QObject {
 public:
  TMultiCollection* coll = nullptr;
  bool event(QEvent* e) override {
    if (e->type() != TRecordNoticeEvent::kType) return QObject::event(e);
    const RecordNotice& n = static_cast<TRecordNoticeEvent*>(e)->notice();
    coll->recordArrived({n.sampleCount, n.postTrigger, n.registration, n.sampleTime, n.run});
    return true;
  }
};

class View final : public IMultiView {
 public:
  void changed(unsigned) override {}
  void processEvents() override { QCoreApplication::processEvents(); }
};

class Members final : public IMultiMembers {
 public:
  int count() const override { return int(list.size()); }
  IMultiMember* at(int i) override { return list[std::size_t(i)].get(); }
  std::vector<std::unique_ptr<TDeviceWindowMember>> list;
};

// Runs the event loop until pred holds or ms have passed.
bool spin(const std::function<bool()>& pred, int ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

struct Rig {
  Rig() {
    setDataRoot(std::filesystem::path(dir.path().toStdString()));
    initFolders();
    fillBuiltInTexts();
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    for (int i = 0; i < kDevices; ++i)
      sim.device(std::size_t(i)).setInput(0, TSimulatedSignal::sine(2.5, 1000.0));
    for (int i = 0; i < kDevices; ++i) {
      auto w = std::make_unique<TF_OneTolvanex>(stamps);
      w->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(i + 1)));
      ok = ok && w->open() == 2;
      windows.push_back(std::move(w));
    }
    ok = ok && spin(
                   [&] {
                     return std::all_of(windows.begin(), windows.end(), [](auto& w) {
                       return w->acquisition().mode() == kModeOSA0 &&
                              w->acquisition().settingsKnown() && w->acquisition().runEnabled();
                     });
                   },
                   5000);
    for (auto& w : windows) members.list.push_back(std::make_unique<TDeviceWindowMember>(w.get()));
    coll = std::make_unique<TMultiCollection>(members, &target, &view);
    target.coll = coll.get();
    coll->fill();
    for (int i = 0; i < kDevices; ++i) coll->setItemChecked(i, true);
    ok = ok && coll->activate() == 0;
    coll->setVisibleMode(0);
    spin([] { return false; }, 500);
  }
  // One single-shot cycle; false when it did not complete.
  bool cycle(double& runSkewUs, double& timeSpreadUs) {
    const std::size_t first = stamps.runs.size();
    coll->runClicked();
    if (!spin([&] { return !coll->cycleOpen(); }, 5000)) return false;
    if (coll->receivedCount() != kDevices || stamps.runs.size() < first + kDevices) return false;
    const auto b = stamps.runs.begin() + std::ptrdiff_t(first);
    runSkewUs = double(*std::max_element(b, b + kDevices) - *std::min_element(b, b + kDevices));
    double lo = 1e300, hi = -1e300;
    for (auto& w : windows) {
      const double s = dtTotalSeconds(w->plots().data().measurementTime());
      lo = std::min(lo, s);
      hi = std::max(hi, s);
    }
    timeSpreadUs = (hi - lo) * 1e6;
    return true;
  }

  QTemporaryDir dir;
  TSimulatedDriver sim{kDevices, SystemClock::instance()};
  RunStamps stamps{sim};
  std::vector<std::unique_ptr<TF_OneTolvanex>> windows;
  Members members;
  Target target;
  View view;
  std::unique_ptr<TMultiCollection> coll;
  bool ok = true;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

void BM_MultiStartSkew8(benchmark::State& state) {
  Rig rig;
  if (!rig.ok) {
    state.SkipWithError("devices did not start");
    return;
  }
  std::vector<double> skew, spread;
  for (auto _ : state) {
    double s = 0, t = 0;
    if (!rig.cycle(s, t)) {
      for (auto& w : rig.windows)
        std::fprintf(stderr, "state %d runs %u fill %d/%d\n", int(w->acquisition().runState()),
                     w->acquisition().runsWritten(), w->link().accumulationFill(),
                     w->acquisition().expectedByteCount());
      std::fprintf(stderr, "received %d open %d collect %d\n", rig.coll->receivedCount(),
                   int(rig.coll->cycleOpen()), rig.coll->collectTimeMs());
      for (auto& r : rig.coll->statusRows()) std::fprintf(stderr, "missing %d\n", int(r.missing));
      state.SkipWithError("a cycle did not complete");
      return;
    }
    skew.push_back(s);
    spread.push_back(t);
    state.PauseTiming();
    spin([] { return false; }, 100);  // a pause between cycles, as a re-run makes
    state.ResumeTiming();
  }
  state.counters["run_skew_median_us"] = median(skew);
  state.counters["run_skew_max_us"] = *std::max_element(skew.begin(), skew.end());
  state.counters["time_spread_median_us"] = median(spread);
  state.counters["time_spread_max_us"] = *std::max_element(spread.begin(), spread.end());
}
BENCHMARK(BM_MultiStartSkew8)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(1);

}  // namespace
}  // namespace tolv

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
