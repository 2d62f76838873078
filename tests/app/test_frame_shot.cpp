// Pictures of the frame and a device window for a visual check of the layout. Runs only when
// TOLV_FRAME_SHOT_DIR names a folder to write the PNG files to.
#include <QCoreApplication>
#include <QPixmap>
#include <QTreeWidget>

#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "frame_fixture.h"

using namespace tolv;
using tolv::testing::FrameTest;

TEST_F(FrameTest, ScreenshotsForLayoutCheck) {
  const QByteArray out = qgetenv("TOLV_FRAME_SHOT_DIR");
  if (out.isEmpty()) GTEST_SKIP() << "TOLV_FRAME_SHOT_DIR not set";
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  driver_->addDevice("FT12AB", "USB <-> Serial", false);
  TF_MultiTolvanexFrame& f = makeFrame();
  f.show();
  for (int lang : {0, 1}) {
    f.setLanguage(lang);
    QCoreApplication::processEvents();
    EXPECT_TRUE(
        f.grab().save(QString::fromLatin1(out) + QStringLiteral("/frame_%1.png").arg(lang)));
  }
  TF_OneTolvanex* w = window(0);
  w->linkPanel()->setDebugCovered(false);
  w->queryQueue();
  QCoreApplication::processEvents();
  EXPECT_TRUE(w->grab().save(QString::fromLatin1(out) + QStringLiteral("/device.png")));
}
