#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>
#include <cstdlib>

#include "common/texttable.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "devicewin/voltmeterbars.h"

namespace tolv {
namespace {

TEST(VoltmeterBar, NamesColoursAndHintsPerChannel) {
  TVoltmeterBar b0(0), b1(1);
  EXPECT_EQ(b0.objectName(), QStringLiteral("IM_V_C0"));
  EXPECT_EQ(b1.objectName(), QStringLiteral("IM_V_C1"));
  EXPECT_EQ(b0.toolTip(), hintText(188));
  b1.resize(400, 60);
  b1.setMode(0);
  b1.setRange(2.0);
  b1.showValue(0.25);
  const int x = b1.plot().xOf(0.25);
  EXPECT_EQ(b1.plot().image().pixel(x, 0), qRgb(255, 0, 0));
}

TEST(VoltmeterBar, RightClickClearsTheIndicatorLeftClickDoesNot) {
  TVoltmeterBar b(0);
  b.resize(400, 60);
  b.setMode(2);
  b.setRange(10.0);
  b.showValue(1.0);
  b.showValue(3.0);
  QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(50, 10));
  EXPECT_TRUE(b.plot().indicatorValid());
  QTest::mouseClick(&b, Qt::RightButton, {}, QPoint(50, 10));
  EXPECT_FALSE(b.plot().indicatorValid());
  b.showValue(2.0);
  EXPECT_DOUBLE_EQ(b.plot().indicatorMaximum(), 2.0);
}

TEST(VoltmeterBar, ResizingRedrawsTheScaleInTheNewSize) {
  TVoltmeterBar b(0);
  b.setMode(0);
  b.setRange(2.0);
  b.showValue(0.5);
  b.show();
  b.resize(300, 50);
  QApplication::processEvents();
  EXPECT_TRUE(b.plot().indicatorValid());
  EXPECT_EQ(b.plot().image().pixel(b.plot().xOf(0.5), 0), qRgb(0, 0, 255));
  EXPECT_EQ(b.plot().image().size(), QSize(300, 50));
  const auto& g = b.plot().geometry();
  EXPECT_EQ(b.plot().image().pixel(b.plot().xOf(0), g.y2), qRgb(0, 0, 0));
}

// A reading at an end of the scale (a converter at its limit stops within a step of it) or
// beyond it carries a mark at that end; inside the scale, or after a new range, none.
TEST(VoltmeterBar, ReadingsAtOrBeyondTheScaleEndAreMarked) {
  TVoltmeterBar b(0);
  b.resize(400, 60);
  const auto marked = [&b](int x) {
    const QImage img = b.grab().toImage();
    return img.pixelColor(x, b.plot().geometry().y3 / 2) == TVoltmeterBar::kOverRangeColour;
  };
  b.setMode(0);
  b.setRange(2.0);  // S = 1 V
  b.showValue(0.999);
  EXPECT_EQ(b.overRange(), 0);
  EXPECT_FALSE(marked(398));
  b.showValue(65535.0 / 32768.0 - 1.0);  // the converter's top
  EXPECT_EQ(b.overRange(), 1);
  EXPECT_TRUE(marked(398));
  EXPECT_FALSE(marked(1));
  b.showValue(-3.0);
  EXPECT_EQ(b.overRange(), -1);
  EXPECT_TRUE(marked(1));
  EXPECT_FALSE(marked(398));
  b.setRange(10.0);  // a new scale shows no reading yet
  EXPECT_EQ(b.overRange(), 0);
  b.setMode(2);  // RMS: nothing below 0 to pass
  b.showValue(-6.0);
  EXPECT_EQ(b.overRange(), 0);
  b.showValue(5.0);
  EXPECT_EQ(b.overRange(), 1);
  b.setMode(0);  // a negative probe factor turns the scale round: -10 V stands at the right end
  b.setRange(2.0);
  b.setProbeFactor(-10.0);
  b.showValue(0.5);
  EXPECT_EQ(b.overRange(), 0);
  b.showValue(-10.5);
  EXPECT_EQ(b.overRange(), 1);
  b.showValue(10.5);
  EXPECT_EQ(b.overRange(), -1);
  b.setProbeFactor(1.0);
  b.setMode(4);  // not a voltmeter mode
  b.showValue(50.0);
  EXPECT_EQ(b.overRange(), 0);
}

// Pictures of the two bars as the voltmeter sheet shows them (only when a folder is given).
TEST(VoltmeterBar, Screenshots) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  setLanguageIndex(kLanguageEnglish);
  QWidget host;
  auto* lay = new QVBoxLayout(&host);
  auto* b0 = new TVoltmeterBar(0, &host);
  auto* b1 = new TVoltmeterBar(1, &host);
  lay->addWidget(b0);
  lay->addWidget(b1);
  const auto shoot = [&](const char* name, int w, int h) {
    host.resize(w, h);
    host.show();
    QApplication::processEvents();
    host.grab().save(QString::fromLocal8Bit(out) + "/" + name + ".png");
  };
  // DC, +-1 V (range 2 V), readings swept over a part of the scale.
  b0->setMode(0);
  b1->setMode(0);
  b0->setRange(2.0);
  b1->setRange(20.0);
  b1->setProbeFactor(10);
  shoot("vm_bars_scale_only", 520, 160);
  for (double v : {0.2, 0.8, 0.5}) b0->showValue(v);
  for (double v : {-35.0, 60.0, 12.5}) b1->showValue(v);
  shoot("vm_bars_dc", 520, 160);
  shoot("vm_bars_dc_wide", 1000, 200);
  // RMS, small range.
  b0->setMode(2);
  b1->setMode(3);
  b0->setRange(0.2);
  b1->setRange(5.0);
  for (double v : {0.03, 0.07, 0.05}) b0->showValue(v);
  for (double v : {1.2, 2.4, 0.4}) b1->showValue(v);
  shoot("vm_bars_rms", 520, 160);
  setLanguageIndex(kLanguageGerman);
}

}  // namespace
}  // namespace tolv
