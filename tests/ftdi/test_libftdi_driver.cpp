#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>

#include "ftdi/device_link.h"
#include "ftdi/ftdi_enumeration.h"
#include "ftdi/libftdi_driver.h"
#include "wire/wire.h"

namespace tolv {
namespace {

// Control calls of the stand-in libftdi1, reached through a second dlopen of the same file.
struct FtdiStandIn {
  void* lib = dlopen(TOLV_STANDIN_FTDI1, RTLD_NOW | RTLD_LOCAL);
  ~FtdiStandIn() {
    if (lib != nullptr) dlclose(lib);
  }
  template <typename F>
  F fn(const char* name) {
    return reinterpret_cast<F>(dlsym(lib, name));
  }
  void setup(int family, const char* other) {
    fn<void (*)(int, const char*)>("TolvStandIn_Setup")(family, other);
  }
  void advanceUs(std::int64_t us) { fn<void (*)(std::int64_t)>("TolvStandIn_AdvanceUs")(us); }
  int closeCalls() { return fn<int (*)()>("TolvStandIn_CloseCalls")(); }
  void failNext(const char* function, int rc) {
    fn<void (*)(const char*, int)>("TolvStandIn_FailNext")(function, rc);
  }
  void disconnect(int i) { fn<void (*)(int)>("TolvStandIn_Disconnect")(i); }
  void unplug(int i) { fn<void (*)(int)>("TolvStandIn_Unplug")(i); }
  void plug(int i) { fn<void (*)(int)>("TolvStandIn_Plug")(i); }
  void deny(int i, bool on) { fn<void (*)(int, int)>("TolvStandIn_Deny")(i, on ? 1 : 0); }
  int openContexts() { return probe(0); }
  int flushes() { return probe(1); }
  int probe(int what) { return fn<int (*)(int)>("TolvStandIn_Probe")(what); }
};

class LibFtdi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(standIn.lib, nullptr) << dlerror();
    standIn.setup(2, "USB Serial Converter");
    ASSERT_TRUE(drv.isLoaded()) << drv.missingSymbol();
    contextsBefore = standIn.openContexts();
  }
  // Writes the identification request and lets the simulated device answer (32 bytes).
  void askIdentification(TDeviceLink& link) {
    ASSERT_EQ(link.writeWords({kWordIdnFirst, kWordIdnSecond}), kFtOk);
    standIn.advanceUs(5000);
  }
  FtdiStandIn standIn;
  TLibFtdiDriver drv{TOLV_STANDIN_FTDI1};
  int contextsBefore = 0;
};

TEST_F(LibFtdi, EnumeratesAndTalksThroughTheLoadedLibrary) {
  standIn.setup(2, "Tolvanex Scope 1 ");
  TRecordingMessageSink sink;
  TFtdiEnumeration en(drv, &sink);
  std::vector<FtdiDeviceRow> rows;
  ASSERT_EQ(en.scan(rows), 0);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].serial, "TVS00002");
  EXPECT_EQ(rows[2].description, "Tolvanex Scope 1 ");
  std::vector<FtdiDeviceRow> family;
  ASSERT_EQ(TFtdiEnumeration::familyRows(rows, family), 0);
  EXPECT_EQ(family.size(), 2u);
  EXPECT_EQ(en.GetFTDeviceSerialNo(7), kFtDeviceNotFound);
  ASSERT_EQ(sink.messages.size(), 1u);
  // Enumeration leaves no library context behind.
  EXPECT_EQ(standIn.openContexts(), contextsBefore);

  TDeviceLink link(drv);
  link.setSerialNumber("TVS00002");
  const int flushes = standIn.flushes();
  ASSERT_EQ(link.open(), kFtOk);
  EXPECT_EQ(standIn.flushes(), flushes + 1);
  askIdentification(link);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  ASSERT_EQ(link.queueByteCount(), 32u);
  ASSERT_EQ(link.readReceived(), kFtOk);
  std::string id;
  ASSERT_TRUE(
      decodeIdentificationReply(link.receivedBytes().data(), link.receivedBytes().size(), id));
  EXPECT_EQ(id, "Tolvanex Scope 1 (simulated)");
  const int closesBefore = standIn.closeCalls();
  EXPECT_EQ(link.close(), kFtOk);
  EXPECT_EQ(standIn.closeCalls(), closesBefore + 1);
  // The device got the link's 500 ms time-outs and a short latency.
  EXPECT_EQ(standIn.probe(2), 500);
  EXPECT_EQ(standIn.probe(3), 500);
  EXPECT_EQ(standIn.probe(4), 2);
  EXPECT_EQ(standIn.openContexts(), contextsBefore);

  link.setSerialNumber("NOSUCH");
  EXPECT_EQ(link.open(), kFtDeviceNotFound);
  EXPECT_EQ(standIn.openContexts(), contextsBefore);
  EXPECT_EQ(drv.purge(nullptr, kFtPurgeRx), kFtInvalidHandle);
}

TEST_F(LibFtdi, BytesWaitingAreKeptUntilReadAndPurgeDropsThem) {
  TDeviceLink link(drv);
  link.setSerialNumber("TVS00001");
  ASSERT_EQ(link.open(), kFtOk);
  askIdentification(link);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  ASSERT_EQ(link.queueByteCount(), 32u);
  // A partial read leaves the rest counted as waiting, in arrival order.
  ASSERT_EQ(link.readReceived(10), kFtOk);
  ASSERT_EQ(link.bytesReturned(), 10u);
  const std::vector<std::uint8_t> head(link.receivedBytes().begin(), link.receivedBytes().end());
  ASSERT_EQ(link.queryQueue(), kFtOk);
  EXPECT_EQ(link.queueByteCount(), 22u);
  ASSERT_EQ(link.readReceived(), kFtOk);
  std::vector<std::uint8_t> all = head;
  all.insert(all.end(), link.receivedBytes().begin(), link.receivedBytes().end());
  std::string id;
  ASSERT_TRUE(decodeIdentificationReply(all.data(), all.size(), id));
  EXPECT_EQ(id, "Tolvanex Scope 1 (simulated)");
  ASSERT_EQ(link.queryQueue(), kFtOk);
  EXPECT_EQ(link.queueByteCount(), 0u);

  askIdentification(link);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  ASSERT_EQ(link.queueByteCount(), 32u);
  EXPECT_EQ(drv.purge(link.handle(), kFtPurgeRx), kFtOk);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  EXPECT_EQ(link.queueByteCount(), 0u);
  link.close();
}

TEST_F(LibFtdi, ReadOfMoreThanWaitingReturnsAfterTheTimeoutWithWhatCame) {
  FtHandle h = nullptr;
  ASSERT_EQ(drv.openBySerial("TVS00001", h), kFtOk);
  ASSERT_EQ(drv.setTimeouts(h, 30, 30), kFtOk);
  std::uint8_t buf[64] = {};
  std::uint32_t got = 99;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(drv.read(h, buf, 64, got), kFtOk);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - t0)
                      .count();
  EXPECT_EQ(got, 0u);
  EXPECT_GE(ms, 30);
  EXPECT_LT(ms, 400);
  EXPECT_EQ(drv.close(h), kFtOk);
  // A closed handle is refused, not used.
  EXPECT_EQ(drv.read(h, buf, 4, got), kFtInvalidHandle);
  EXPECT_EQ(drv.close(h), kFtInvalidHandle);
}

TEST_F(LibFtdi, LibraryFailuresBecomeTheStatusNumbersTheLinkShows) {
  std::uint32_t n = 0;
  standIn.failNext("ftdi_usb_find_all", -5);
  EXPECT_EQ(drv.listCount(n), kFtIoError);
  standIn.failNext("ftdi_new", -1);
  EXPECT_EQ(drv.listCount(n), kFtInsufficientResources);
  // A device whose strings cannot be read (no access rights) is listed but reports "not opened".
  standIn.failNext("ftdi_usb_get_strings", -4);
  ASSERT_EQ(drv.listCount(n), kFtOk);
  ASSERT_EQ(n, 3u);
  char text[64] = {};
  EXPECT_EQ(drv.listSerial(0, text, sizeof text), kFtDeviceNotOpened);
  EXPECT_EQ(drv.listSerial(1, text, sizeof text), kFtOk);
  EXPECT_STREQ(text, "TVS00002");
  // Texts are cut to the caller's buffer and always terminated.
  char small[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(drv.listDescription(1, small, sizeof small), kFtOk);
  EXPECT_STREQ(small, "Tolv");

  TDeviceLink link(drv);
  link.setSerialNumber("TVS00001");
  standIn.failNext("ftdi_usb_open_dev", -5);
  EXPECT_EQ(link.open(), kFtDeviceNotOpened);
  EXPECT_EQ(standIn.openContexts(), contextsBefore);
  standIn.failNext("ftdi_tciflush", -1);
  EXPECT_EQ(link.open(), kFtIoError);
  link.close();
  ASSERT_EQ(link.open(), kFtOk);

  standIn.failNext("ftdi_write_data", -7);
  EXPECT_EQ(link.writeWords({kWordZZZZ}), kFtIoError);
  EXPECT_EQ(link.writePanelStatus(), kFtIoError);

  // Bytes that arrived before a failure are still delivered; the failure shows next.
  askIdentification(link);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  ASSERT_EQ(link.queueByteCount(), 32u);
  standIn.failNext("ftdi_read_data", -4);
  ASSERT_EQ(link.readReceived(), kFtOk);
  EXPECT_EQ(link.bytesReturned(), 32u);
  standIn.failNext("ftdi_read_data", -666);
  EXPECT_EQ(link.queryQueue(), kFtInvalidHandle);
  EXPECT_EQ(link.readPanelStatus(), kFtInvalidHandle);

  // Unplugged: every transfer fails with an I/O error, the window keeps its handle.
  standIn.disconnect(0);
  EXPECT_EQ(link.queryQueue(), kFtIoError);
  EXPECT_EQ(link.writeWords({kWordZZZZ}), kFtIoError);
  EXPECT_EQ(link.close(), kFtOk);
  EXPECT_EQ(standIn.openContexts(), contextsBefore);
}

TEST_F(LibFtdi, UnpluggedDeviceLeavesTheListAndComesBackToANewOpen) {
  standIn.setup(2, nullptr);
  TDeviceLink link(drv);
  link.setSerialNumber(QStringLiteral("TVS00001"));
  ASSERT_EQ(link.open(), kFtOk);
  askIdentification(link);
  standIn.unplug(0);
  EXPECT_NE(link.queryQueue(), kFtOk);
  std::uint32_t n = 9;
  ASSERT_EQ(drv.listCount(n), kFtOk);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(link.close(), kFtOk);
  EXPECT_EQ(link.open(), kFtDeviceNotFound);

  standIn.plug(0);
  ASSERT_EQ(drv.listCount(n), kFtOk);
  EXPECT_EQ(n, 2u);
  ASSERT_EQ(link.open(), kFtOk);
  askIdentification(link);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  EXPECT_EQ(link.queueByteCount(), 32u);
  EXPECT_EQ(link.close(), kFtOk);

  // No access rights: listed, but the open reports the driver's "not opened".
  standIn.deny(1, true);
  TDeviceLink denied(drv);
  denied.setSerialNumber(QStringLiteral("TVS00002"));
  EXPECT_EQ(denied.open(), kFtDeviceNotOpened);
  standIn.deny(1, false);
  EXPECT_EQ(denied.open(), kFtOk);
  EXPECT_EQ(denied.close(), kFtOk);
  EXPECT_EQ(standIn.openContexts(), contextsBefore);
}

TEST(LibFtdiMapping, NegativeResultsPerCall) {
  EXPECT_EQ(TLibFtdiDriver::mapListResult(0), kFtOk);
  EXPECT_EQ(TLibFtdiDriver::mapListResult(-3), kFtInsufficientResources);
  EXPECT_EQ(TLibFtdiDriver::mapStringsResult(-1), kFtInvalidParameter);
  EXPECT_EQ(TLibFtdiDriver::mapStringsResult(-9), kFtIoError);
  EXPECT_EQ(TLibFtdiDriver::mapOpenResult(-4), kFtDeviceNotOpened);
  EXPECT_EQ(TLibFtdiDriver::mapOpenResult(-11), kFtDeviceNotOpened);
  EXPECT_EQ(TLibFtdiDriver::mapOpenResult(-8), kFtInvalidHandle);
  EXPECT_EQ(TLibFtdiDriver::mapOpenResult(-6), kFtIoError);
  EXPECT_EQ(TLibFtdiDriver::mapTransferResult(12), kFtOk);
  EXPECT_EQ(TLibFtdiDriver::mapTransferResult(-666), kFtInvalidHandle);
  EXPECT_EQ(TLibFtdiDriver::mapTransferResult(-1), kFtIoError);
}

TEST(LibFtdiLoad, DevicesLeftOpenAreClosedWithTheDriver) {
  FtdiStandIn standIn;
  ASSERT_NE(standIn.lib, nullptr);
  standIn.setup(2, nullptr);
  const int before = standIn.openContexts();
  const int closes = standIn.closeCalls();
  {
    TLibFtdiDriver drv(TOLV_STANDIN_FTDI1);
    FtHandle a = nullptr, b = nullptr;
    ASSERT_EQ(drv.openBySerial("TVS00001", a), kFtOk);
    ASSERT_EQ(drv.openBySerial("TVS00002", b), kFtOk);
    EXPECT_NE(a, b);
    EXPECT_EQ(standIn.openContexts(), before + 2);
  }
  EXPECT_EQ(standIn.openContexts(), before);
  EXPECT_EQ(standIn.closeCalls(), closes + 2);
}

TEST(LibFtdiLoad, MissingOrForeignLibraryActsAsNoDevices) {
  TLibFtdiDriver missing("/nonexistent/libftdi1.so.2");
  EXPECT_EQ(missing.loadResult(), TLibFtdiDriver::LoadResult::NotFound);
  TRecordingMessageSink sink;
  TFtdiEnumeration en(missing, &sink);
  std::vector<FtdiDeviceRow> rows;
  EXPECT_EQ(en.scan(rows), kNoDeviceFound);
  EXPECT_TRUE(sink.messages.empty());
  TDeviceLink link(missing);
  link.setSerialNumber("X");
  EXPECT_NE(link.open(), kFtOk);
  EXPECT_NE(link.queryQueue(), kFtOk);

  // The vendor stand-in has none of libftdi1's calls.
  TLibFtdiDriver foreign(TOLV_STANDIN_D2XX);
  EXPECT_EQ(foreign.loadResult(), TLibFtdiDriver::LoadResult::MissingSymbol);
  EXPECT_EQ(foreign.missingSymbol(), "ftdi_new");
}

}  // namespace
}  // namespace tolv

namespace tolv {
namespace {

// Debian's libftdi1, where installed, offers every call the backend needs.
TEST(LibFtdiLoad, InstalledLibraryIsAccepted) {
  TLibFtdiDriver drv;
  if (drv.loadResult() == TLibFtdiDriver::LoadResult::NotFound) GTEST_SKIP() << "no libftdi1";
  EXPECT_EQ(drv.loadResult(), TLibFtdiDriver::LoadResult::Loaded) << drv.missingSymbol();
  std::uint32_t n = 0;
  const FtStatus st = drv.listCount(n);
  RecordProperty("listStatus", static_cast<int>(st));
  RecordProperty("devices", static_cast<int>(n));
}

}  // namespace
}  // namespace tolv
