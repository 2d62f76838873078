// Scope records of 131000 samples from a simulated device on an instant link, measured without a
// window (TDeviceSession) and by the device window (TF_OneTolvanex, drawing its oscillogram),
// both writing the CSV data file and the intermediate file of every record. The clock is stepped
// by hand, so the time per record is the program's own work: records per second and CPU time
// per record side by side.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

#include "common/clock.h"
#include "common/paths.h"
#include "common/texttable.h"
#include "device/devtimer.h"
#include "devicewin/tf_onetolvanex.h"
#include "ftdi/simulated_driver.h"
#include "measure/devicesession.h"

namespace {

using namespace tolv;
namespace fs = std::filesystem;

SettingsRecord scope131000() {
  SettingsRecord r = SettingsRecord::defaults();
  r.memoryDepth = 131000;
  r.sampleTime = 1e-6;
  r.autoSaveMode = 1;
  return r;
}

struct Link {
  QTemporaryDir dir;
  ManualClock clock;
  TSimulatedDriver sim{1, clock};
  TManualTimerHub hub{clock};
  Link() {
    sim.setLinkRate(LinkRate::instant());
    setDataRoot(fs::path(dir.path().toStdString()));
    fillBuiltInTexts();
  }
  QString serial() const { return QString::fromStdString(TSimulatedDriver::serialFor(1)); }
};

void BM_HeadlessScopeRecords(benchmark::State& state) {
  Link l;
  TDeviceSession s(l.sim, l.serial(), [&l](int ms) -> ITimer& { return l.hub.create(ms); });
  const SettingsRecord r = scope131000();
  if (s.open(dataRoot(), r, WindowOptions::fromRecord(r)) != 0 ||
      !l.hub.advanceUntil([&] { return s.ready(); }, 10000)) {
    state.SkipWithError("the session did not start");
    return;
  }
  s.run();
  for (auto _ : state) {
    const std::uint64_t before = s.records();
    if (!l.hub.advanceUntil([&] { return s.records() > before; }, 10000)) {
      state.SkipWithError("no record");
      break;
    }
  }
  s.stop();
  state.SetItemsProcessed(state.iterations());
  if (s.firstFileError() != 0) state.SkipWithError("a file was not written");
}

void BM_WindowScopeRecords(benchmark::State& state) {
  Link l;
  TF_OneTolvanex w(l.sim, nullptr, [&l](int ms) -> ITimer& { return l.hub.create(ms); });
  w.setSerialNumber(l.serial());
  w.resize(1240, 680);
  w.show();
  const SettingsRecord r = scope131000();
  w.setSettingsRestore([r](const fs::path&, SettingsRecord& out) {
    out = r;
    return 0;
  });
  QApplication::processEvents();
  if (w.open() != 0 || !l.hub.advanceUntil([&] { return w.acquisition().runEnabled(); }, 10000)) {
    state.SkipWithError("the window did not start");
    return;
  }
  l.hub.advance(1000);
  w.acquisition().runClicked();
  for (auto _ : state) {
    const std::uint32_t before = w.acquisition().lastStamp().run;
    // The stamp is renewed as a record is taken in; its steps end within the same tick.
    if (!l.hub.advanceUntil([&] { return w.acquisition().lastStamp().run > before; }, 10000)) {
      state.SkipWithError("no record");
      break;
    }
  }
  w.acquisition().stopClicked();
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_HeadlessScopeRecords)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_WindowScopeRecords)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::benchmark::Initialize(&argc, argv);
  ::benchmark::RunSpecifiedBenchmarks();
  ::benchmark::Shutdown();
  return 0;
}
