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
#include "multi/multi_loop_rig.h"

namespace tolv {
namespace {

constexpr int kDevices = 8;

using test::LoopView;
using test::NoticeTarget;
using test::NotingDriver;
using test::WindowMembers;

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
    for (auto& w : windows)
      members.list.push_back(std::make_unique<TDeviceWindowMember>(
          w.get(), [this] { return coll && coll->running(); }));
    coll = std::make_unique<TMultiCollection>(members, &target, &view);
    target.coll = coll.get();
    coll->fill();
    for (int i = 0; i < kDevices; ++i) coll->setItemChecked(i, true);
    ok = ok && coll->activate() == 0;
    coll->setVisibleMode(0);
    spin([] { return false; }, 500);
  }
  // The moments (us of the system clock) of every device's run commands, in order.
  std::vector<std::int64_t> runs() const {
    std::vector<std::int64_t> v;
    for (const NotingDriver::Written& w : stamps.writes)
      if (w.word == "*RUN") v.push_back(w.us);
    return v;
  }
  // One single-shot cycle; false when it did not complete.
  bool cycle(double& runSkewUs, double& timeSpreadUs) {
    const std::size_t first = runs().size();
    coll->runClicked();
    if (!spin([&] { return !coll->cycleOpen(); }, 5000)) return false;
    const std::vector<std::int64_t> all = runs();
    if (coll->receivedCount() != kDevices || all.size() < first + kDevices) return false;
    const auto b = all.begin() + std::ptrdiff_t(first);
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
  NotingDriver stamps{sim, SystemClock::instance()};
  std::vector<std::unique_ptr<TF_OneTolvanex>> windows;
  WindowMembers members;
  NoticeTarget target;
  LoopView view;
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
