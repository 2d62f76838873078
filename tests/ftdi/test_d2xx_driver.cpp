#include <dlfcn.h>
#include <gtest/gtest.h>

#include "wire/wire.h"
#include "ftdi/d2xx_driver.h"
#include "ftdi/device_link.h"
#include "ftdi/ftdi_enumeration.h"

namespace tolv {
namespace {

// Control calls of the stand-in library, reached through a second dlopen of the same file
// (the loader hands back the library the driver has loaded, with its state).
struct StandIn {
  void* lib = dlopen(TOLV_STANDIN_D2XX, RTLD_NOW | RTLD_LOCAL);
  ~StandIn() {
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
};

TEST(D2xxDriver, EnumeratesAndTalksThroughTheLoadedLibrary) {
  StandIn standIn;
  ASSERT_NE(standIn.lib, nullptr) << dlerror();
  standIn.setup(2, "Tolvanex Scope 1 ");
  TD2xxDriver drv(TOLV_STANDIN_D2XX);
  ASSERT_TRUE(drv.isLoaded());
  EXPECT_EQ(drv.loadResult(), TD2xxDriver::LoadResult::Loaded);

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

  TDeviceLink link(drv);
  link.setSerialNumber("TVS00002");
  ASSERT_EQ(link.open(), kFtOk);
  ASSERT_EQ(link.writeWords({kWordIdnFirst, kWordIdnSecond}), kFtOk);
  standIn.advanceUs(5000);
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

  // Statuses come through unchanged.
  link.setSerialNumber("NOSUCH");
  EXPECT_EQ(link.open(), kFtDeviceNotFound);
  EXPECT_EQ(drv.purge(nullptr, kFtPurgeRx), kFtInvalidHandle);
}

TEST(D2xxDriver, LibraryLackingOneCallIsRejectedAndActsAsNoDevices) {
  TD2xxDriver drv(TOLV_STANDIN_D2XX_NOCLOSE);
  EXPECT_FALSE(drv.isLoaded());
  EXPECT_EQ(drv.loadResult(), TD2xxDriver::LoadResult::MissingSymbol);
  EXPECT_EQ(drv.missingSymbol(), "FT_Close");
  std::uint32_t n = 99;
  EXPECT_EQ(drv.listCount(n), kFtOk);
  EXPECT_EQ(n, 0u);
}

TEST(D2xxDriver, MissingLibraryActsAsNoDevicesAndEveryCallFailsCleanly) {
  TD2xxDriver drv("/nonexistent/libftd2xx.so");
  EXPECT_EQ(drv.loadResult(), TD2xxDriver::LoadResult::NotFound);
  TRecordingMessageSink sink;
  TFtdiEnumeration en(drv, &sink);
  std::vector<FtdiDeviceRow> rows;
  EXPECT_EQ(en.scan(rows), kNoDeviceFound);
  EXPECT_TRUE(sink.messages.empty());
  TDeviceLink link(drv);
  link.setSerialNumber("X");
  EXPECT_NE(link.open(), kFtOk);
  EXPECT_NE(link.writeWords({kWordZZZZ}), kFtOk);
  EXPECT_NE(link.queryQueue(), kFtOk);
  link.close();
}

}  // namespace
}  // namespace tolv
