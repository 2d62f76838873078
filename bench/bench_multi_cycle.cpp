// One multi-device collection cycle of 8 devices with 131000 samples each (scaling, the eight
// intermediate device files, 16 data sets drawn into 1200 x 700), merging the eight files into
// the data file, and reading that file back.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <vector>

#include "common/paths.h"
#include "common/regional.h"
#include "device/devtimer.h"
#include "multi/multicollect.h"

namespace tolv {
namespace {

constexpr int kDevices = 8;
constexpr int kSamples = 131000;

class BenchMember : public IMultiMember {
 public:
  explicit BenchMember(int i)
      : serial_(QStringLiteral("TX%1").arg(4700 + i)), c1_(131001), c2_(131001), i_(i) {
    refill();
  }
  void refill() {
    for (int k = 0; k < kSamples; ++k) {
      c1_[std::size_t(k)] = std::sin(k * 0.001 * (i_ + 1));
      c2_[std::size_t(k)] = 0.5 * std::cos(k * 0.0007 * (i_ + 1));
    }
  }
  QString serial() const override { return serial_; }
  int setMultiLink(QObject*, int index) override {
    index_ = index;
    return 0;
  }
  void setActive(bool on) override { active_ = on; }
  bool active() const override { return active_; }
  void setShown(bool) override {}
  bool shown() const override { return false; }
  void setSingleShot(bool) override {}
  void setPlotSwitch(bool) override {}
  void switchMode(const QString&) override {}
  void startMeasurement() override { ++runs; }
  void stopMeasurement() override {}
  std::uint32_t runCount() const override { return runs; }
  std::int32_t memoryDepth() const override { return kSamples; }
  double sampleInterval() const override { return 1e-6; }
  DayTime recordTime() const override { return dayTimeNow(); }
  void showScopeControlsPage() override {}
  void rescale(double o1, double g1, double o2, double g2) override {
    for (int k = 0; k < kSamples; ++k) {
      c1_[std::size_t(k)] = c1_[std::size_t(k)] * g1 + o1;
      c2_[std::size_t(k)] = c2_[std::size_t(k)] * g2 + o2;
    }
  }
  const double* channel1() const override { return c1_.data(); }
  const double* channel2() const override { return c2_.data(); }
  int index() const { return index_; }
  std::uint32_t runs = 0;

 private:
  QString serial_;
  std::vector<double> c1_, c2_;
  int i_;
  int index_ = -1;
  bool active_ = false;
};

class BenchMembers : public IMultiMembers {
 public:
  BenchMembers() {
    for (int i = 0; i < kDevices; ++i) list.push_back(std::make_unique<BenchMember>(i));
  }
  int count() const override { return int(list.size()); }
  IMultiMember* at(int i) override { return list[std::size_t(i)].get(); }
  std::vector<std::unique_ptr<BenchMember>> list;
};

struct Rig {
  Rig() {
    setDataRoot(std::filesystem::path(dir.path().toStdString()));
    initFolders();
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    coll = std::make_unique<TMultiCollection>(members, nullptr, nullptr,
                                              [this](int ms) -> ITimer& { return hub.create(ms); });
    coll->fill();
    for (int i = 0; i < kDevices; ++i) coll->setItemChecked(i, true);
    coll->activate();
    coll->setImageSize(1200, 700);
  }
  void cycle() {
    coll->startRun(false);
    for (auto& m : members.list)
      coll->recordArrived({kSamples, kSamples / 2, m->index(), 1e-6, m->runs});
  }
  QTemporaryDir dir;
  ManualClock clock;
  TManualTimerHub hub{clock};
  BenchMembers members;
  std::unique_ptr<TMultiCollection> coll;
};

void BM_MultiCycle8x131000(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    rig.cycle();
    benchmark::DoNotOptimize(rig.coll->image().constBits());
  }
  if (rig.coll->kernel().DataSetCount() != 2 * kDevices) state.SkipWithError("not all drawn");
}
BENCHMARK(BM_MultiCycle8x131000)->Unit(benchmark::kMillisecond)->Iterations(7)->Repetitions(1);

void BM_MultiMerge8Files(benchmark::State& state) {
  Rig rig;
  rig.cycle();
  const auto out = multiFolder() / "merged.CSV";
  for (auto _ : state) {
    if (rig.coll->saveDataFile(out) != 0) state.SkipWithError("merge failed");
  }
}
BENCHMARK(BM_MultiMerge8Files)->Unit(benchmark::kMillisecond)->Iterations(7);

void BM_MultiReadBack(benchmark::State& state) {
  Rig rig;
  rig.cycle();
  const auto out = multiFolder() / "merged.CSV";
  rig.coll->saveDataFile(out);
  for (auto _ : state) {
    TREADing r;
    if (readMultiDataFile(out, '\t', r) != 0 || r.points.At(7).Count() != kSamples)
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(r.deviceCount);
  }
}
BENCHMARK(BM_MultiReadBack)->Unit(benchmark::kMillisecond)->Iterations(7);

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
