// The device window shell: link operations, status panels, caption, folders, close.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "common/clock.h"
#include "common/paths.h"
#include "common/texttable.h"
#include "common/typedlists.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "ftdi/simulated_driver.h"

using namespace tolv;
using Call = TSimulatedDriver::Call;

namespace {

class DeviceWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = std::filesystem::path(dir_.path().toStdString());
    setDataRoot(root_);
  }
  QLabel* panel(const char* name) { return w_.findChild<QLabel*>(name); }
  static QColor colour(QLabel* l) { return l->palette().color(QPalette::Window); }

  QTemporaryDir dir_;
  std::filesystem::path root_;
  ManualClock clock_;
  TSimulatedDriver driver_{1, clock_};
  TF_OneTolvanex w_{driver_};
};

}  // namespace

TEST_F(DeviceWindowTest, OpenPreparesFoldersAndTurnsReadGreen) {
  EXPECT_EQ(colour(panel("PN_ReadStatus")), TOneTolvanexLinkPanel::initialColor());
  w_.setSerialNumber("TVS00001");
  // No stored settings yet: the window runs on defaults and says so.
  EXPECT_EQ(w_.open(), 2);
  EXPECT_TRUE(w_.link().isOpen());
  EXPECT_EQ(colour(panel("PN_ReadStatus")), QColor(0, 255, 0));
  EXPECT_EQ(w_.deviceFolder(), root_ / "TVS00001");
  for (const char* sub : TF_OneTolvanex::kIntermediateFolders)
    EXPECT_TRUE(std::filesystem::is_directory(root_ / "TVS00001" / sub)) << sub;
  EXPECT_EQ(w_.lastSettingsPath(), root_ / "TVS00001" / "LastSettings.VXS");
  EXPECT_EQ(driver_.calls(Call::Purge), 1);
  EXPECT_EQ(driver_.calls(Call::SetTimeouts), 1);
}

TEST_F(DeviceWindowTest, RestoreHookReadsTheLastSettingsAndTheIdentificationIsQueued) {
  std::filesystem::path asked;
  w_.setSettingsRestore([&](const std::filesystem::path& p, SettingsRecord& r) {
    asked = p;
    r = SettingsRecord::defaults();
    return 0;
  });
  w_.setSerialNumber("TVS00001");
  EXPECT_EQ(w_.open(), 0);
  EXPECT_EQ(asked, root_ / "TVS00001" / "LastSettings.VXS");
  EXPECT_EQ(w_.acquisition().queue().count(), 1);
}

TEST_F(DeviceWindowTest, SixtyCharacterSerialIsOpenedWithItsFirst49) {
  const std::string s49(49, 'K');
  driver_.addDevice(s49, "Tolvanex Scope 1");
  const QString s60 = QString::fromStdString(s49) + "0123456789X";
  ASSERT_EQ(s60.size(), 60);
  w_.setSerialNumber(s60);
  EXPECT_EQ(std::string(w_.link().serialBuffer()), s49);
  EXPECT_EQ(w_.serialNumber(), s60);
  w_.open();
  EXPECT_TRUE(w_.link().isOpen());
}

TEST_F(DeviceWindowTest, WriteFailureStaysRedAfterALaterSuccess) {
  w_.setSerialNumber("TVS00001");
  w_.open();
  std::memcpy(w_.link().transmitBuffer(), "ZZZZ", 4);
  driver_.failNext(Call::Write, kFtIoError);
  EXPECT_EQ(w_.writeCommand(4), kFtIoError);
  EXPECT_EQ(panel("PN_WriteStatus")->text(), "4");
  EXPECT_EQ(colour(panel("PN_WriteStatus")), QColor(255, 0, 0));
  EXPECT_EQ(w_.writeCommand(4), kFtOk);
  EXPECT_EQ(panel("PN_WriteStatus")->text(), "4");
  EXPECT_EQ(colour(panel("PN_WriteStatus")), QColor(255, 0, 0));
}

TEST_F(DeviceWindowTest, QueueQueryShowsOnTheDebugLineAndReadFailuresTurnReadRed) {
  w_.setSerialNumber("TVS00001");
  w_.open();
  EXPECT_EQ(w_.queryQueue(), kFtOk);
  EXPECT_EQ(panel("PN_Test")->text(), "ErrCode: 0 Bytes: 0  1");
  driver_.failNext(Call::QueueStatus, 3);
  w_.queryQueue();
  EXPECT_EQ(panel("PN_ReadStatus")->text(), "3");
  EXPECT_EQ(colour(panel("PN_ReadStatus")), QColor(255, 0, 0));
  w_.queryQueue();
  EXPECT_EQ(panel("PN_ReadStatus")->text(), "3");
}

TEST_F(DeviceWindowTest, DebugLineLiesUnderItsCoverUntilClicked) {
  w_.show();
  TOneTolvanexLinkPanel* lp = w_.linkPanel();
  EXPECT_TRUE(lp->debugCovered());
  EXPECT_FALSE(panel("PN_Test")->isVisible());
  QTest::mouseClick(panel("PN_HideDebug"), Qt::LeftButton);
  EXPECT_FALSE(lp->debugCovered());
  EXPECT_TRUE(panel("PN_Test")->isVisible());
  lp->setDebugCovered(true);
  EXPECT_FALSE(panel("PN_Test")->isVisible());
}

TEST_F(DeviceWindowTest, FailedOpenLeavesNothingToClose) {
  driver_.failNext(Call::Open, kFtDeviceNotFound);
  w_.setSerialNumber("TVS00001");
  EXPECT_EQ(w_.open(), 2);
  EXPECT_FALSE(w_.link().isOpen());
  EXPECT_TRUE(w_.deviceFolder().empty());
  EXPECT_EQ(colour(panel("PN_ReadStatus")), TOneTolvanexLinkPanel::initialColor());
  EXPECT_TRUE(w_.closeQuery());
  EXPECT_EQ(driver_.calls(Call::Close), 0);
}

TEST_F(DeviceWindowTest, CaptionFollowsIndexIdentificationAndSerial) {
  const int language = languageIndex();
  setLanguageIndex(0);
  w_.setSerialNumber("TVS00001");
  EXPECT_EQ(w_.windowTitle(), "Gerät 1:  Ser. Nr.: TVS00001");
  w_.setIdentification("Tolvanex Scope V2.1");
  EXPECT_EQ(w_.windowTitle(), "Gerät 1: Tolvanex Scope V2.1 Ser. Nr.: TVS00001");
  w_.setDeviceIndex(4);
  EXPECT_TRUE(w_.windowTitle().startsWith("Gerät 5: "));
  // In English the caption says "Device", at once when the language changes.
  setLanguageIndex(1);
  w_.applyTexts();
  EXPECT_EQ(w_.windowTitle(), "Device 5: Tolvanex Scope V2.1 Ser. Nr.: TVS00001");
  setLanguageIndex(0);
  w_.applyTexts();
  EXPECT_TRUE(w_.windowTitle().startsWith("Gerät 5: "));
  w_.setCaption("Tolvanex Scope 1 Ser. Nr.:TVS00001 (4)");
  EXPECT_EQ(w_.windowTitle(), "Tolvanex Scope 1 Ser. Nr.:TVS00001 (4)");
  w_.applyTexts();  // a language change leaves the frame's caption alone
  EXPECT_EQ(w_.windowTitle(), "Tolvanex Scope 1 Ser. Nr.:TVS00001 (4)");
  setLanguageIndex(language);
}

TEST_F(DeviceWindowTest, SerialsThatWouldLeaveTheDataRootGetNoFolder) {
  for (const char* bad : {"..", "../x", "a/b"}) {
    TSimulatedDriver d(0, clock_);
    d.addDevice(bad, "Tolvanex Scope 1");
    TF_OneTolvanex w(d);
    w.setSerialNumber(bad);
    EXPECT_EQ(w.open(), 3) << bad;
    EXPECT_TRUE(w.deviceFolder().empty());
  }
  EXPECT_FALSE(std::filesystem::exists(root_.parent_path() / "x"));
}

TEST_F(DeviceWindowTest, PageControlHasItsSheetsAndDefaultSize) {
  QTabWidget* pc = w_.pageControl();
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->count(), 6);
  EXPECT_EQ(w_.scopeControlsPage()->objectName(), "TSH_Scope_Controls");
  EXPECT_FALSE(pc->tabText(2).isEmpty());
  w_.resize(200, 100);
  w_.restoreDefaultSize();
  EXPECT_EQ(w_.size(), QSize(TF_OneTolvanex::kDefaultWidth, TF_OneTolvanex::kDefaultHeight));
}

TEST(FormsList, CountGetCloseAndShutDown) {
  ManualClock clock;
  TSimulatedDriver driver(2, clock);
  setBootingFlag(false);
  TTolvanexFormsList list;
  EXPECT_TRUE(bootingFlag());
  // Each new list installs a fresh idle handler.
  QPointer<TIdleObject> first = idleObject();
  ASSERT_FALSE(first.isNull());
  { TTolvanexFormsList other; }
  EXPECT_TRUE(first.isNull());
  EXPECT_NE(idleObject(), nullptr);
  EXPECT_EQ(list.createDeviceWindow(), nullptr);  // no factory
  std::vector<std::unique_ptr<TF_OneTolvanex>> owned;
  list.setFactory([&] {
    owned.push_back(std::make_unique<TF_OneTolvanex>(driver));
    return owned.back().get();
  });
  TF_OneTolvanex* a = list.createDeviceWindow();
  TF_OneTolvanex* b = list.createDeviceWindow();
  EXPECT_EQ(list.count(), 2);
  EXPECT_EQ(list.get(1), b);
  EXPECT_EQ(list.get(2), nullptr);
  EXPECT_EQ(list.get(-1), nullptr);
  EXPECT_EQ(list.indexOf(a), 0);
  a->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
  b->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(2)));
  a->open();
  b->open();
  a->show();
  list.shutDown();
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(driver.openHandles(), 0);
  list.add(a);
  list.add(b);
  list.closeAll();
  EXPECT_EQ(list.count(), 0);
  EXPECT_FALSE(a->isVisible());
  list.add(a);
  owned.clear();  // a window that went away reads as missing
  EXPECT_EQ(list.get(0), nullptr);
  list.clear();
}
