// The measurement table on the scope sheet of a device window running a simulated device.
#include <gtest/gtest.h>

#include "sim_window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

#include "common/paths.h"
#include "common/texttable.h"
#include "devicewin/panel_scopemeasure.h"
#include "devicewin/scopemeasure_link.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "ftdi/simulated_driver.h"

using namespace tolv;

namespace {

class ScopeMeasureWindow : public tolv::test::SimWindowTest {
 protected:
  TAcquisition& acq() { return w_->acquisition(); }
  TPlotSheets& sheets() { return w_->plots().sheets(); }
  TScopeMeasurePanel& panel() { return w_->plots().scopeMeasure().panel(); }
  void singleRecord() {
    TOneTolvanexRunPanel& run = *w_->runPanel();
    if (!acq().singleShot()) QTest::mouseClick(run.singleShotBox(), Qt::LeftButton);
    QTest::mouseClick(run.runButton(), Qt::LeftButton);
    ASSERT_TRUE(hub_.advanceUntil([&] { return acq().runState() == RunState::Measuring; }, 2000));
    ASSERT_TRUE(hub_.advanceUntil([&] { return acq().runState() == RunState::Idle; }, 20000));
    QApplication::processEvents();
  }

};

}  // namespace

TEST_F(ScopeMeasureWindow, TableOnTheScopeSheetMeasuresTheRecordAndTheZoomedPart) {
  EXPECT_EQ(panel().parentWidget(), sheets().page(PlotSheet::Scope));
  singleRecord();
  const int n = w_->plots().data().sampleCount();
  ASSERT_GT(n, 100);
  EXPECT_FALSE(panel().zoomed());
  EXPECT_EQ(panel().measurement(0).count, std::size_t(n));
  EXPECT_GT(panel().measurement(0).peakToPeak, 0.5);
  EXPECT_TRUE(panel().isVisible());

  // Zoom with the mouse on the middle of the picture: the table follows the shown samples.
  QLabel* image = sheets().image(PlotSheet::Scope);
  const int y = image->height() / 2;
  const int x0 = image->width() * 4 / 10, x1 = image->width() * 6 / 10;
  sheets().mouseDown(PlotSheet::Scope, Qt::LeftButton, Qt::LeftButton, {}, x0, y);
  sheets().mouseMove(PlotSheet::Scope, Qt::LeftButton, {}, x1, y + 40);
  QTest::mouseRelease(image, Qt::LeftButton, {}, QPoint(x1, y + 40));
  QApplication::processEvents();
  EXPECT_TRUE(panel().zoomed());
  EXPECT_GT(panel().measurement(0).count, 0u);
  EXPECT_LT(panel().measurement(0).count, std::size_t(n) / 2);

  // A new record is measured whole again once it is drawn in full.
  singleRecord();
  EXPECT_EQ(panel().measurement(1).count, std::size_t(w_->plots().data().sampleCount()));
  EXPECT_FALSE(panel().zoomed());

  // Language follows the window's texts.
  setLanguageIndex(kLanguageGerman);
  w_->plots().applyTexts();
  EXPECT_EQ(panel().findChild<QCheckBox*>("CB_ScopeMeasure")->text(), "Messwerte");
}

TEST(ScopeMeasureRange, ShownTimeRangeToSamples) {
  int f = 0, l = 0;
  // 1000 samples of 1 ms, 100 ms before the trigger: x = i * 1 ms - 0.1 s.
  EXPECT_FALSE(TScopeMeasureLink::shownSampleRange(-0.1, 0.899, 1e-3, 0.1, 1000, f, l));
  EXPECT_FALSE(TScopeMeasureLink::shownSampleRange(-0.2, 1.5, 1e-3, 0.1, 1000, f, l));
  ASSERT_TRUE(TScopeMeasureLink::shownSampleRange(0.0, 0.1, 1e-3, 0.1, 1000, f, l));
  EXPECT_EQ(f, 100);
  EXPECT_EQ(l, 200);
  // Samples between two shown edges are not counted in.
  ASSERT_TRUE(TScopeMeasureLink::shownSampleRange(0.0005, 0.0015, 1e-3, 0.1, 1000, f, l));
  EXPECT_EQ(f, 101);
  EXPECT_EQ(l, 101);
  EXPECT_FALSE(TScopeMeasureLink::shownSampleRange(0.0, 0.1, 0.0, 0.1, 1000, f, l));
  EXPECT_FALSE(TScopeMeasureLink::shownSampleRange(0.1, 0.1, 1e-3, 0.1, 1000, f, l));
}

TEST_F(ScopeMeasureWindow, Screenshot) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  singleRecord();
  for (int lang : {kLanguageGerman, kLanguageEnglish}) {
    setLanguageIndex(lang);
    w_->plots().applyTexts();
    QApplication::processEvents();
    w_->grab().save(QString::fromLocal8Bit(out) + "/scope_sheet_measure_" +
                    (lang == kLanguageGerman ? "de" : "en") + ".png");
  }
  panel().setTableShown(false);
  QApplication::processEvents();
  w_->grab().save(QString::fromLocal8Bit(out) + "/scope_sheet_measure_hidden.png");
}
