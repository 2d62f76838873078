// The measurement table of the scope sheet: values of the record or its zoomed part, hiding,
// both languages.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <cmath>
#include <numbers>
#include <vector>

#include "devicewin/panel_scopemeasure.h"

namespace tolv {
namespace {

constexpr double kDt = 1e-6;

struct Record {
  std::vector<double> sine, square;
  explicit Record(std::size_t n) : sine(n), square(n) {
    for (std::size_t i = 0; i < n; ++i) {
      sine[i] = 2.0 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) * kDt);
      // 25 % high for the first half, then a flat 0.5 V.
      square[i] = i < n / 2 ? ((i % 400) < 100 ? 1.0 : -1.0) : 0.5;
    }
  }
};

TEST(ScopeMeasurePanel, MeasuresTheRecordAndFollowsTheZoom) {
  Record r(20000);
  TScopeMeasurePanel panel;
  panel.setRecord(r.sine, r.square, kDt);
  EXPECT_NEAR(*panel.measurement(0).frequency, 1000.0, 1.0);
  EXPECT_NEAR(panel.measurement(0).peakToPeak, 4.0, 1e-3);
  EXPECT_TRUE(panel.cellText(MeasureRow::Frequency, 0).contains("kHz"));
  EXPECT_NEAR(*panel.measurement(1).dutyCycle, 0.25, 1e-3);

  // Zoomed into the flat half of channel 2: no timing there, the level is 0.5 V.
  panel.setRange(12000, 19999);
  EXPECT_TRUE(panel.zoomed());
  EXPECT_FALSE(panel.measurement(1).frequency.has_value());
  EXPECT_NEAR(panel.measurement(1).mean, 0.5, 1e-12);
  EXPECT_EQ(panel.cellText(MeasureRow::Duty, 1), "-");
  EXPECT_EQ(panel.measurement(0).count, 8000u);
  panel.setRange(-1, -1);
  EXPECT_EQ(panel.measurement(0).count, 20000u);

  // A range beyond the record shows dashes, not old values.
  panel.setRange(30000, 40000);
  EXPECT_EQ(panel.cellText(MeasureRow::Mean, 0), "-");
}

TEST(ScopeMeasurePanel, HiddenTableWaitsAndCatchesUpWhenShown) {
  Record r(8000);
  TScopeMeasurePanel panel;
  auto* table = panel.findChild<QWidget*>("SG_ScopeMeasure");
  ASSERT_NE(table, nullptr);
  panel.setTableShown(false);
  EXPECT_TRUE(table->isHidden());
  panel.setRecord(r.sine, r.square, kDt);
  EXPECT_EQ(panel.measurement(0).count, 0u);
  panel.setTableShown(true);
  EXPECT_FALSE(table->isHidden());
  EXPECT_EQ(panel.measurement(0).count, 8000u);
}

TEST(ScopeMeasurePanel, TextsInBothLanguages) {
  TScopeMeasurePanel panel;
  auto* toggle = panel.findChild<QCheckBox*>("CB_ScopeMeasure");
  ASSERT_NE(toggle, nullptr);
  panel.applyTexts(0);
  EXPECT_EQ(toggle->text(), "Messwerte");
  panel.setRange(5, 10);
  EXPECT_EQ(toggle->text(), "Messwerte (Ausschnitt)");
  panel.applyTexts(1);
  EXPECT_EQ(toggle->text(), "Measurements (zoomed)");
  EXPECT_EQ(measureRowCaption(MeasureRow::Duty, 0), "Tastgrad");
  EXPECT_EQ(measureRowCaption(MeasureRow::Duty, 2), "Duty cycle");
  EXPECT_EQ(measureRowCaption(MeasureRow::AcRms, 1), "AC RMS");
}

TEST(ScopeMeasurePanel, Screenshot) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  Record r(20000);
  TScopeMeasurePanel panel;
  panel.setChannelColours(QColor(255, 210, 60), QColor(60, 200, 255));
  panel.setRecord(r.sine, r.square, kDt);
  for (int lang : {0, 1}) {
    panel.applyTexts(lang);
    panel.adjustSize();
    QDir().mkpath(out);
    panel.grab().save(QString("%1/scope_measure_%2.png").arg(out).arg(lang ? "en" : "de"));
  }
}

}  // namespace
}  // namespace tolv
