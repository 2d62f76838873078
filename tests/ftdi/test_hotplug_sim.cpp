// Simulated devices that are pulled, plugged back and refused while the program runs: through
// the driver's own calls, the control lines and the control file or pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ftdi/sim_control.h"
#include "ftdi/simulated_driver.h"
#include "ftdi/udev_monitor.h"
#include "wire/wire.h"

namespace tolv {
namespace {

std::vector<std::string> listedSerials(TSimulatedDriver& sim) {
  std::uint32_t n = 0;
  EXPECT_EQ(sim.listCount(n), kFtOk);
  std::vector<std::string> out;
  for (std::uint32_t i = 0; i < n; ++i) {
    char buf[64] = {};
    EXPECT_EQ(sim.listSerial(i, buf, sizeof buf), kFtOk);
    out.emplace_back(buf);
  }
  return out;
}

std::uint32_t waiting(TSimulatedDriver& sim, FtHandle h, FtStatus* st = nullptr) {
  std::uint32_t n = 0;
  const FtStatus s = sim.getQueueStatus(h, n);
  if (st) *st = s;
  return n;
}

void sendWords(TSimulatedDriver& sim, FtHandle h, std::initializer_list<std::uint32_t> words,
               FtStatus expect = kFtOk) {
  std::vector<std::uint8_t> b;
  for (auto w : words) {
    b.resize(b.size() + 4);
    putU32(b.data() + b.size() - 4, w);
  }
  std::uint32_t written = 0;
  EXPECT_EQ(sim.write(h, b.data(), std::uint32_t(b.size()), written), expect);
}

struct HotPlug : ::testing::Test {
  ManualClock clock;
  TSimulatedDriver sim{3, clock};
  int announced = 0;
  void SetUp() override {
    sim.setPlugListener([this] { ++announced; });
  }
};

TEST_F(HotPlug, UnplugMidTransferCutsTheStreamAndFailsEveryCallWithTheStatus) {
  FtHandle h = nullptr;
  ASSERT_EQ(sim.openBySerial("TVS00002", h), kFtOk);
  // A scope record of 1000 samples (4000 bytes) at 4 bytes per 127 us takes about 127 ms.
  sendWords(sim, h, {kWordRUN});
  clock.advanceMs(60);
  FtStatus st = kFtOk;
  const std::uint32_t before = waiting(sim, h, &st);
  ASSERT_EQ(st, kFtOk);
  ASSERT_GT(before, 0u);
  ASSERT_LT(before, 4000u);

  EXPECT_TRUE(sim.unplug(1));
  EXPECT_FALSE(sim.unplug(1));  // already out
  EXPECT_EQ(announced, 1);
  EXPECT_FALSE(sim.plugged(1));
  EXPECT_EQ(listedSerials(sim), (std::vector<std::string>{"TVS00001", "TVS00003"}));
  clock.advanceMs(500);
  waiting(sim, h, &st);
  EXPECT_EQ(st, kFtIoError);
  std::uint8_t buf[16];
  std::uint32_t got = 99;
  EXPECT_EQ(sim.read(h, buf, sizeof buf, got), kFtIoError);
  EXPECT_EQ(got, 0u);
  sendWords(sim, h, {kWordZZZZ}, kFtIoError);
  FtHandle again = nullptr;
  EXPECT_EQ(sim.openBySerial("TVS00002", again), kFtDeviceNotFound);

  // Back in: listed in its place, the old handle dead but closable, a new open works and the
  // device starts afresh with nothing of the cut record left.
  EXPECT_TRUE(sim.plug(1));
  EXPECT_EQ(announced, 2);
  EXPECT_EQ(listedSerials(sim), (std::vector<std::string>{"TVS00001", "TVS00002", "TVS00003"}));
  waiting(sim, h, &st);
  EXPECT_EQ(st, kFtIoError);
  EXPECT_EQ(sim.openHandles(), 1);
  ASSERT_EQ(sim.openBySerial("TVS00002", again), kFtOk);
  EXPECT_NE(again, h);
  EXPECT_EQ(sim.openHandles(), 2);
  EXPECT_EQ(sim.close(h), kFtOk);
  EXPECT_EQ(sim.close(h), kFtInvalidHandle);
  EXPECT_EQ(sim.openHandles(), 1);
  clock.advanceMs(500);
  EXPECT_EQ(waiting(sim, again, &st), 0u);
  EXPECT_EQ(st, kFtOk);
  EXPECT_FALSE(sim.device(1).measuring());
  EXPECT_EQ(sim.device(1).mode(), kModeOSA0);
  EXPECT_EQ(sim.close(again), kFtOk);
  EXPECT_EQ(sim.openHandles(), 0);
}

TEST_F(HotPlug, SilentUnplugAnswersNothingAndAStatusGivenPerDevice) {
  FtHandle h1 = nullptr, h3 = nullptr;
  ASSERT_EQ(sim.openBySerial("TVS00001", h1), kFtOk);
  ASSERT_EQ(sim.openBySerial("TVS00003", h3), kFtOk);
  sim.unplug(0, kFtOk);
  sim.unplug(2, kFtDeviceNotFound);
  sendWords(sim, h1, {kWordIdnFirst, kWordIdnSecond});
  clock.advanceMs(200);
  FtStatus st = kFtIoError;
  EXPECT_EQ(waiting(sim, h1, &st), 0u);
  EXPECT_EQ(st, kFtOk);
  EXPECT_EQ(sim.device(0).commandCount(), 0u);  // nothing reached the device
  waiting(sim, h3, &st);
  EXPECT_EQ(st, kFtDeviceNotFound);
  EXPECT_EQ(listedSerials(sim), (std::vector<std::string>{"TVS00002"}));
}

TEST_F(HotPlug, DeniedDeviceIsListedButRefusesOpeningUntilAllowed) {
  sim.setDenied(2, true);
  EXPECT_TRUE(sim.denied(2));
  EXPECT_EQ(listedSerials(sim).size(), 3u);
  FtHandle h = nullptr;
  EXPECT_EQ(sim.openBySerial("TVS00003", h), kFtDeviceNotOpened);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(sim.openHandles(), 0);
  sim.setDenied(2, false);
  EXPECT_EQ(sim.openBySerial("TVS00003", h), kFtOk);
  EXPECT_EQ(sim.close(h), kFtOk);
}

TEST_F(HotPlug, PluggingBeyondTheLastDeviceAddsNewOnes) {
  EXPECT_TRUE(sim.plug(4));  // devices 4 and 5
  EXPECT_EQ(sim.deviceCount(), 5u);
  EXPECT_EQ(announced, 1);
  EXPECT_EQ(listedSerials(sim).back(), "TVS00005");
  EXPECT_FALSE(sim.plug(0));  // already in: nothing to announce
  EXPECT_EQ(announced, 1);
}

TEST_F(HotPlug, ControlLinesPullPlugAndRefuseByNumberFromOne) {
  std::string err;
  EXPECT_TRUE(applySimControlLine(sim, "unplug 2", &err)) << err;
  EXPECT_FALSE(sim.plugged(1));
  EXPECT_TRUE(applySimControlLine(sim, "  plug 2  ", &err)) << err;
  EXPECT_TRUE(sim.plugged(1));
  EXPECT_TRUE(applySimControlLine(sim, "unplug 1 0", &err)) << err;  // the silent kind
  FtHandle h = nullptr;
  EXPECT_TRUE(applySimControlLine(sim, "plug 1", &err));
  EXPECT_TRUE(applySimControlLine(sim, "deny 3", &err)) << err;
  EXPECT_TRUE(sim.denied(2));
  EXPECT_TRUE(sim.plugged(2));
  EXPECT_EQ(sim.openBySerial("TVS00003", h), kFtDeviceNotOpened);
  EXPECT_TRUE(applySimControlLine(sim, "allow 3", &err));
  EXPECT_EQ(sim.openBySerial("TVS00003", h), kFtOk);
  EXPECT_TRUE(applySimControlLine(sim, "", &err));
  EXPECT_TRUE(applySimControlLine(sim, "# a comment", &err));
  EXPECT_TRUE(applySimControlLine(sim, "plug 4", &err));
  EXPECT_EQ(sim.deviceCount(), 4u);

  for (const char* bad : {"unplug", "unplug 0", "unplug x", "unplug 9", "deny 9", "unplug 2 -1",
                          "unplug 2 4 more", "pull 2", "plug 1001"}) {
    err.clear();
    EXPECT_FALSE(applySimControlLine(sim, bad, &err)) << bad;
    EXPECT_FALSE(err.empty()) << bad;
  }
  EXPECT_EQ(sim.deviceCount(), 4u);

  // New devices come up to the most the program simulates, and not one beyond: a mistyped
  // number must not make a thousand windows.
  EXPECT_TRUE(applySimControlLine(sim, "plug 32", &err)) << err;
  EXPECT_EQ(sim.deviceCount(), 32u);
  for (const char* bad : {"plug 33", "plug 1000", "unplug 33", "deny 99999999999"}) {
    err.clear();
    EXPECT_FALSE(applySimControlLine(sim, bad, &err)) << bad;
    EXPECT_NE(err.find("at most 32"), std::string::npos) << err;
  }
  EXPECT_FALSE(sim.plug(32));
  EXPECT_EQ(sim.deviceCount(), 32u);
}

TEST_F(HotPlug, ControlFileAndPipeAreReadAsLinesArriveWithoutBlocking) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("tolv_simctl_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "ctl.txt";
  { std::ofstream(file) << "unplug 1\nplu"; }
  TSimControlReader fromFile(sim, file.string());
  fromFile.setReportErrors(false);
  ASSERT_TRUE(fromFile.isOpen());
  EXPECT_EQ(fromFile.poll(), 1);
  EXPECT_FALSE(sim.plugged(0));
  EXPECT_EQ(fromFile.poll(), 0);  // half a line waits for its end
  { std::ofstream(file, std::ios::app) << "g 1\r\nnonsense 2\n"; }
  EXPECT_EQ(fromFile.poll(), 1);
  EXPECT_TRUE(sim.plugged(0));
  EXPECT_NE(fromFile.lastError().find("nonsense"), std::string::npos);

  const auto fifo = dir / "ctl.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TSimControlReader fromPipe(sim, fifo.string());
  ASSERT_TRUE(fromPipe.isOpen());
  EXPECT_EQ(fromPipe.poll(), 0);  // nobody writes yet: no wait
  const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(w, 0);
  const std::string lines = "unplug 3\n";
  ASSERT_EQ(::write(w, lines.data(), lines.size()), ssize_t(lines.size()));
  ::close(w);
  EXPECT_EQ(fromPipe.poll(), 1);
  EXPECT_FALSE(sim.plugged(2));
  EXPECT_EQ(fromPipe.poll(), 0);  // the writer has gone: still no wait
  const int w2 = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(w2, 0);
  ASSERT_EQ(::write(w2, "plug 3\n", 7), 7);
  ::close(w2);
  EXPECT_EQ(fromPipe.poll(), 1);
  EXPECT_TRUE(sim.plugged(2));

  TSimControlReader missing(sim, (dir / "none").string());
  EXPECT_FALSE(missing.isOpen());
  EXPECT_EQ(missing.poll(), 0);
  std::filesystem::remove_all(dir);
}

TEST(SimulatedUnplugTrace, SentPartOfTheCutRecordAndTheUnreadBytesAreTraced) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("tolv_unplug_trace_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  ManualClock clock;
  {
    TSimulatedDriver sim(1, clock, dir);
    FtHandle h = nullptr;
    ASSERT_EQ(sim.openBySerial("TVS00001", h), kFtOk);
    sendWords(sim, h, {kWordRUN});
    clock.advanceMs(60);
    std::uint8_t buf[100];
    std::uint32_t got = 0;
    ASSERT_EQ(sim.read(h, buf, sizeof buf, got), kFtOk);
    ASSERT_EQ(got, 100u);
    const std::uint32_t unread = waiting(sim, h);
    sim.unplug(0);
    std::ifstream f(dir / "TVS00001.trace");
    std::string in, out, unplug;
    std::getline(f, in);
    std::getline(f, out);
    std::getline(f, unplug);
    std::istringstream o(out), u(unplug);
    std::int64_t ms = 0;
    std::string dirWord;
    std::size_t n = 0, m = 0;
    o >> ms >> dirWord >> n;
    EXPECT_EQ(dirWord, "out");
    EXPECT_EQ(n, 100u + unread);
    u >> ms >> dirWord >> m;
    EXPECT_EQ(ms, 60);
    EXPECT_EQ(dirWord, "unplug");
    EXPECT_EQ(m, unread);
  }
  std::filesystem::remove_all(dir);
}

TEST(UdevMonitor, WithoutTheLibraryItIsInactiveAndSaysWhy) {
  TUdevMonitor none("libtolv-no-such-udev.so.1");
  EXPECT_FALSE(none.isActive());
  EXPECT_EQ(none.fd(), -1);
  EXPECT_EQ(none.takeEvents(), 0);
  EXPECT_NE(none.reason().find("could not be loaded"), std::string::npos);

  // The system's: active or not (containers have no device manager), it never waits.
  TUdevMonitor system;
  EXPECT_EQ(system.isActive(), system.reason().empty());
  EXPECT_EQ(system.takeEvents(), 0);

  EXPECT_TRUE(TUdevMonitor::isListChange("add"));
  EXPECT_TRUE(TUdevMonitor::isListChange("remove"));
  EXPECT_FALSE(TUdevMonitor::isListChange("change"));
  EXPECT_FALSE(TUdevMonitor::isListChange(nullptr));
}

}  // namespace
}  // namespace tolv
