// No driver fault at any point of the frame's life crashes or hangs it or a device window.
#include <QCoreApplication>

#include "frame_fixture.h"

using namespace tolv;
using tolv::testing::FrameTest;
using Call = TSimulatedDriver::Call;

namespace {

// Everything the frame and a device window do with the driver so far.
void exercise(TF_MultiTolvanexFrame& f) {
  for (int i = 0; i < f.deviceWindows().count(); ++i) {
    TF_OneTolvanex* w = f.deviceWindows().get(i);
    w->link().transmitBuffer()[0] = '*';
    w->writeCommand(4);
    w->queryQueue();
    w->readReceived();
    f.LV_TolvanexsMouseUp(i);
    f.LV_TolvanexsMouseUp(i);
  }
  f.TM_BootTimer();
  f.BN_CascadeClick();
  f.close();
}

}  // namespace

// One test per driver call, so the cells of this matrix run side by side.
class FrameCallFaults : public FrameTest, public ::testing::WithParamInterface<int> {};

TEST_P(FrameCallFaults, EveryStatusIsSurvived) {
  const FtStatus statuses[] = {1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFFu};
  const int k = GetParam();
  for (FtStatus st : statuses) {
    SCOPED_TRACE(::testing::Message() << "call " << k << " status " << st);
    sink_.messages.clear();
    driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
    driver_->failNext(static_cast<Call>(k), st);
    TF_MultiTolvanexFrame& f = makeFrame();
    const auto kind = static_cast<Call>(k);
    if (kind == Call::ListCount) {
      // The count stays 0: nothing is listed, no window is made.
      EXPECT_EQ(f.deviceWindows().count(), 0);
      EXPECT_EQ(f.bootResult(), -120);
      ASSERT_EQ(sink_.messages.size(), 1u);
      EXPECT_TRUE(sink_.messages[0].text.startsWith("GetFTDeviceCount"));
    } else if (kind == Call::ListDescription) {
      // The failed cell repeats the serial number just read: not a family description.
      EXPECT_EQ(f.deviceWindows().count(), 1);
    } else {
      EXPECT_EQ(f.deviceWindows().count(), 2);
    }
    if (kind == Call::Open || kind == Call::Purge || kind == Call::SetTimeouts) {
      EXPECT_FALSE(f.deviceWindows().get(0)->link().isOpen());
      EXPECT_TRUE(f.deviceWindows().get(1)->link().isOpen());
    }
    exercise(f);
    // A failed close leaves the driver's handle; the window forgets it all the same.
    EXPECT_EQ(driver_->openHandles(), kind == Call::Close ? 1 : 0);
    frame_.reset();
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FrameCallFaults,
                         ::testing::Range(0, static_cast<int>(Call::Count_)));

TEST_F(FrameTest, DevicesUnpluggedAfterStartAreSurvived) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  driver_->disconnect(0, kFtIoError);
  driver_->disconnect(1, kFtDeviceNotFound);
  TF_OneTolvanex* w = f.deviceWindows().get(0);
  w->writeCommand(4);
  EXPECT_EQ(w->link().writePanel(), TDeviceLink::PanelState::Red);
  EXPECT_EQ(w->link().writePanelStatus(), kFtIoError);
  exercise(f);
}
