// The multi-device window as far as it exists: a real window, and operations that report
// honestly that there is nothing to work on yet.
#include <gtest/gtest.h>

#include "common/texttable.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "multi/tf_multi_tolvanex_img.h"

using namespace tolv;

TEST(MultiWindow, ShowsHidesAndReportsEmptyLists) {
  TF_Multi_Tolvanex_Img m;
  EXPECT_EQ(m.objectName(), "TF_Multi_Tolvanex_Img");
  EXPECT_FALSE(m.isVisible());
  m.toggleVisible();
  EXPECT_TRUE(m.isVisible());
  m.toggleVisible();
  EXPECT_FALSE(m.isVisible());
  EXPECT_EQ(m.fillFromDeviceWindows(), -2230);
  EXPECT_EQ(m.activateCheckedDevices(), -2230);
  EXPECT_EQ(m.switchActiveToScopeMode(), -1140);
  EXPECT_FALSE(m.autostart());
  EXPECT_EQ(m.activeCount(), 0);
  setLanguageIndex(1);
  m.applyTexts();
  EXPECT_EQ(m.windowTitle(), text(242));
  setLanguageIndex(0);
}
