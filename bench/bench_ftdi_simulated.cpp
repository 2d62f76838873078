// The simulated devices must keep pace with real time when the program runs on them: the cost
// of producing a full scope record and of watching the input for a trigger that does not come.
#include <benchmark/benchmark.h>

#include <vector>

#include "ftdi/simulated_device.h"
#include "wire/wire.h"

namespace {

using tolv::TSimulatedDevice;
using tolv::TSimulatedSignal;

void send(TSimulatedDevice& dev, std::initializer_list<std::uint32_t> words) {
  std::vector<std::uint8_t> b;
  for (auto w : words) {
    b.resize(b.size() + 4);
    tolv::putU32(b.data() + b.size() - 4, w);
  }
  dev.receive(b.data(), b.size());
}

void configure(TSimulatedDevice& dev, tolv::ManualClock& clock, char trigger, float level) {
  tolv::SettingsWriteBlock blk;
  blk.amplC0 = blk.amplC1 = 10;
  blk.sampleTime = 1e-6f;
  blk.memoryDepth = 131000;
  blk.triggerPoint = 50;
  blk.triggerType = std::uint8_t(trigger);
  blk.levelUpper = level;
  const auto bytes = blk.toBytes();
  dev.receive(bytes.data(), bytes.size());
  clock.advanceMs(10);
  std::vector<std::uint8_t> sink(dev.available());
  dev.take(sink.data(), sink.size());
}

// One 131000-sample record of two signals, triggered on the input, taken off the link.
void BM_SimulatedScopeRecord(benchmark::State& state) {
  tolv::ManualClock clock;
  TSimulatedDevice dev("TVS00001", "Tolvanex Scope 1", clock);
  dev.setLinkRate(tolv::LinkRate::instant());
  configure(dev, clock, 'T', 0.5f);
  std::vector<std::uint8_t> buf(131000 * 4);
  for (auto _ : state) {
    send(dev, {tolv::kWordRUN});
    clock.advanceMs(140);
    benchmark::DoNotOptimize(dev.take(buf.data(), buf.size()));
  }
}
BENCHMARK(BM_SimulatedScopeRecord)->Unit(benchmark::kMillisecond);

// 100 ms of 1 us samples watched for a level the sine never reaches.
void BM_SimulatedTriggerWait100ms(benchmark::State& state) {
  tolv::ManualClock clock;
  TSimulatedDevice dev("TVS00001", "Tolvanex Scope 1", clock);
  dev.setInput(0, TSimulatedSignal::sine(1.0, 1000.0));
  configure(dev, clock, 'T', 2.0f);
  send(dev, {tolv::kWordRUN});
  for (auto _ : state) {
    clock.advanceMs(100);
    benchmark::DoNotOptimize(dev.available());
  }
}
BENCHMARK(BM_SimulatedTriggerWait100ms)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
