// The settings column and the "Scope Controls" sheet driven by real key and mouse events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <array>

#include "devicewin/panel_scopecontrols.h"
#include "devicewin/panel_scopecontrols_groups.h"
#include "device/test_settings_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

class Panels : public ::testing::Test {
 protected:
  SettingsRig rig;
  TScopeControlsPanel panel{rig.model, rig.gpio};
  TScopeControlsSheet sheet{rig.model};

  void SetUp() override {
    panel.resize(260, 900);
    panel.show();
    sheet.resize(700, 500);
    sheet.show();
    QApplication::processEvents();
  }
  void clickRow(QTableWidget* t, int row) {
    QApplication::processEvents();
    const QRect r = t->visualItemRect(t->item(row, 1));
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
  }
};

TEST_F(Panels, ControlsCarryTheirNamesAndRanges) {
  EXPECT_EQ(panel.amplitudeTrackbar(0)->objectName(), QStringLiteral("TB_AmplC0"));
  EXPECT_EQ(panel.amplitudeTrackbar(1)->maximum(), 6);
  EXPECT_EQ(panel.amplitudeTrackbar(0)->value(), 5);
  EXPECT_EQ(panel.sampleTimeTrackbar()->maximum(), 20);
  EXPECT_EQ(panel.memoryDepthTrackbar()->maximum(), 12);
  EXPECT_EQ(panel.triggerPointTrackbar()->value(), 50);
  EXPECT_EQ(panel.offsetSlider(1)->minimum(), -2048);
  EXPECT_EQ(panel.levelSlider(0)->maximum(), 2047);
  EXPECT_EQ(panel.probeSpin(0)->minimum(), -100);
  EXPECT_EQ(panel.triggerChannel()->maximum(), 2);
  EXPECT_TRUE(panel.auxBox()->isChecked());
  EXPECT_EQ(panel.triggerTypeCombo()->count(), 11);
  EXPECT_EQ(panel.logicTriggerTypeCombo()->count(), 4);
  EXPECT_EQ(panel.modes()->count(), 8);
  EXPECT_EQ(sheet.amplitudeTable()->item(0, 1)->text(), QStringLiteral("0,2"));
  EXPECT_EQ(sheet.sampleTimeTable()->item(20, 1)->text(), QStringLiteral("2500000"));
  EXPECT_EQ(sheet.memoryDepthTable()->item(10, 1)->text(), QStringLiteral("131000"));
  EXPECT_EQ(sheet.modeTable()->item(4, 0)->text(), QStringLiteral("OSA0"));
  EXPECT_EQ(sheet.triggerTypeTable()->item(11, 0)->text(), QStringLiteral("P"));
  EXPECT_EQ(sheet.amplitudeTable()->horizontalHeaderItem(1)->text(), QStringLiteral("V"));
}

TEST_F(Panels, ThreeTrackbarStepsWithin250msGiveOneWriteWithTheLastRange) {
  rig.boot();
  QSlider* tb = panel.amplitudeTrackbar(0);
  tb->setFocus();
  QTest::keyClick(tb, Qt::Key_Left);
  rig.advance(100);
  QTest::keyClick(tb, Qt::Key_Left);
  rig.advance(100);
  QTest::keyClick(tb, Qt::Key_Left);
  EXPECT_EQ(tb->value(), 2);
  rig.advance(1500);
  const auto w = rig.settingsWrites();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_FLOAT_EQ(w[0].amplC0, 1.0f);
  EXPECT_EQ(panel.amplitudePanel(0)->text(), QString::fromUtf8("\xC2\xB1") + "0.50V");
  EXPECT_EQ(tb->value(), 2);
}

TEST_F(Panels, WindowInsideFromTheComboIsWrittenAs57) {
  rig.boot();
  QComboBox* cob = panel.triggerTypeCombo();
  ASSERT_EQ(cob->currentIndex(), 0);  // the device reported T
  cob->setFocus();
  QTest::keyClick(cob, Qt::Key_Down);
  QTest::keyClick(cob, Qt::Key_Down);
  rig.advance(1500);
  const auto w = rig.rawWrites("*SWr");
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(Bytes(w[0].begin() + 36, w[0].begin() + 40), (Bytes{0x57, 0, 0, 0}));
  EXPECT_EQ(cob->currentText(), QStringLiteral("Window, inside"));
  EXPECT_EQ(panel.triggerTypePanel()->text(), QStringLiteral("\"W\""));
  // The logic-analyser combo does not offer W and shows the caption as its placeholder.
  EXPECT_EQ(panel.logicTriggerTypeCombo()->currentIndex(), -1);
  EXPECT_EQ(panel.logicTriggerTypeCombo()->placeholderText(), QStringLiteral("Window, inside"));
  EXPECT_EQ(sheet.triggerTypeTable()->currentRow(), 2);
}

TEST_F(Panels, ProbeFactorZeroTurnsRedAndReturnsToOne) {
  rig.boot();
  QSpinBox* se = panel.probeSpin(0);
  se->setFocus();
  se->selectAll();
  QTest::keyClick(se, Qt::Key_0);
  ASSERT_EQ(se->value(), 0);
  EXPECT_EQ(se->palette().color(QPalette::Base), QColor(0xFF, 0, 0));
  rig.advance(249);
  EXPECT_EQ(se->value(), 0);
  rig.advance(1);
  EXPECT_EQ(se->value(), 1);
  EXPECT_NE(se->palette().color(QPalette::Base), QColor(0xFF, 0, 0));
  EXPECT_DOUBLE_EQ(rig.acq.conversion().probe[0], 1.0);
}

TEST_F(Panels, ProbeTenWithTheAuxDividerScalesBy11588) {
  rig.boot();
  panel.probeSpin(0)->setValue(10);
  EXPECT_NEAR(rig.acq.conversion().probeScale(0), 11.588, 0.001);
  QTest::mouseClick(panel.auxBox(), Qt::LeftButton);
  EXPECT_FALSE(panel.auxBox()->isChecked());
  EXPECT_DOUBLE_EQ(rig.acq.conversion().probeScale(0), 10.0);
}

TEST_F(Panels, OneVoltRangeShowsSignedInScopeAndUnsignedInAcVoltmeter) {
  rig.adjust = [](SettingsReply& r) { r.amplC0 = 1; };
  rig.boot();
  QTest::keyClick(panel.amplitudeTrackbar(1), Qt::Key_Left);  // any write: the device says 1 V
  rig.advance(1500);
  EXPECT_EQ(panel.amplitudePanel(0)->text(), QString::fromUtf8("\xC2\xB1") + "0.50V");
  rig.model.modeChosen(2);
  rig.advance(1500);
  ASSERT_EQ(rig.acq.mode(), kModeVMA0);
  EXPECT_EQ(panel.amplitudePanel(0)->text(), QStringLiteral("0.50V"));
}

TEST_F(Panels, AProgrammaticMoveNeverWritesAndARefusedMoveIsUndone) {
  rig.boot();
  rig.adjust = [](SettingsReply& r) { r.amplC0 = 2; };
  rig.model.triggerPointMoved(10);  // brings the device's 2 V back in its reply
  rig.replyDelay = 200;
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.acq.replyTag() >= 0; }, 2000));
  QTest::keyClick(panel.sampleTimeTrackbar(), Qt::Key_Right);  // refused: reply awaited
  EXPECT_EQ(panel.sampleTimeTrackbar()->value(), rig.model.display().samplTimPos);
  rig.advance(2000);
  EXPECT_EQ(panel.amplitudeTrackbar(0)->value(), 3);  // moved by the reply...
  EXPECT_EQ(rig.settingsWrites().size(), 1u);         // ...without a write of its own
}

TEST_F(Panels, OffsetZeroButtonAndSliderText) {
  rig.boot();
  QScrollBar* sb = panel.offsetSlider(0);
  sb->setValue(2047);
  EXPECT_EQ(panel.offsetPanel(0)->text(), QStringLiteral("  4.99756 V"));
  QTest::mouseClick(panel.offsetZero(0), Qt::LeftButton);
  EXPECT_EQ(sb->value(), 0);
  EXPECT_FLOAT_EQ(rig.host.desired().offsC0, 0.0f);
  rig.advance(1500);
  EXPECT_EQ(rig.settingsWrites().size(), 1u);
}

TEST_F(Panels, RowClicksSetValues) {
  rig.boot();
  clickRow(sheet.amplitudeTable(), 1);
  EXPECT_FLOAT_EQ(rig.host.desired().amplC0, 0.5f);
  EXPECT_FLOAT_EQ(rig.host.desired().amplC1, 0.5f);
  EXPECT_EQ(panel.amplitudeTrackbar(1)->value(), 1);
  clickRow(sheet.memoryDepthTable(), 10);
  EXPECT_FLOAT_EQ(rig.host.desired().memoryDepth, 131000.0f);
  EXPECT_EQ(panel.memoryDepthTrackbar()->value(), 10);
  rig.advance(1500);
  ASSERT_EQ(rig.settingsWrites().size(), 1u);
  clickRow(sheet.modeTable(), 6);
  rig.advance(1500);
  EXPECT_EQ(rig.acq.mode(), kModeLAIO);
  EXPECT_EQ(panel.modePanel()->text(), QStringLiteral("LAIO"));
  EXPECT_EQ(panel.modes()->currentIndex(), 6);
}

TEST_F(Panels, LockedControlsAndModeLayout) {
  rig.boot();
  EXPECT_TRUE(panel.memoryDepthGroup()->isVisible());
  EXPECT_TRUE(panel.triggerGroup()->isVisible());
  EXPECT_FALSE(panel.logicTriggerGroup()->isVisible());
  // The last rows of the longest tables, in a sheet too low to show them without scrolling.
  clickRow(sheet.sampleTimeTable(), 20);
  clickRow(sheet.memoryDepthTable(), 12);
  rig.advance(1500);
  sheet.resize(700, 260);
  QApplication::processEvents();
  rig.acq.queueRun();
  QApplication::processEvents();
  EXPECT_FALSE(panel.amplitudeGroup()->isEnabled());
  EXPECT_FALSE(panel.modes()->isEnabled());
  EXPECT_FALSE(sheet.modeGroup()->isEnabled());
  // Locked, yet in sight: the ranges in force stay readable during the run.
  for (QWidget* w : {static_cast<QWidget*>(panel.amplitudeTrackbar(0)),
                     static_cast<QWidget*>(panel.sampleTimeTrackbar()),
                     static_cast<QWidget*>(panel.memoryDepthGroup()),
                     static_cast<QWidget*>(panel.memoryDepthTrackbar()),
                     static_cast<QWidget*>(panel.triggerPointTrackbar())}) {
    EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  }
  const std::pair<QTableWidget*, int> shown[] = {
      {sheet.amplitudeTable(), rig.model.display().amplPos[0]},
      {sheet.sampleTimeTable(), 20},
      {sheet.memoryDepthTable(), 12}};
  for (const auto& [t, row] : shown) {
    EXPECT_TRUE(t->isVisible()) << t->objectName().toStdString();
    EXPECT_FALSE(t->isEnabled()) << t->objectName().toStdString();
    EXPECT_EQ(t->currentRow(), row) << t->objectName().toStdString();
    ASSERT_FALSE(t->selectedItems().isEmpty()) << t->objectName().toStdString();
    EXPECT_EQ(t->selectedItems().front()->row(), row);
    EXPECT_TRUE(t->viewport()->rect().contains(t->visualItemRect(t->item(row, 1))))
        << t->objectName().toStdString();
  }
  rig.acq.queue().clear();  // the run never went out
  rig.acq.setRunState(RunState::Idle);
  EXPECT_TRUE(panel.amplitudeTrackbar(0)->isEnabled());
  QApplication::processEvents();
  EXPECT_TRUE(sheet.memoryDepthTable()->isEnabled());
  EXPECT_TRUE(sheet.modeGroup()->isEnabled());
  rig.model.modeChosen(5);  // DLA0: timebase without memory depth
  rig.advance(1500);
  ASSERT_EQ(rig.acq.mode(), kModeDLA0);
  EXPECT_TRUE(panel.timebaseGroup()->isVisible());
  EXPECT_FALSE(panel.memoryDepthGroup()->isVisible());
  EXPECT_FALSE(panel.triggerGroup()->isVisible());
  EXPECT_FALSE(sheet.triggerTypeGroup()->isVisible());
  rig.model.modeChosen(6);  // LAIO: timebase on top, pattern trigger, no amplitudes
  rig.advance(1500);
  EXPECT_FALSE(panel.amplitudeGroup()->isVisible());
  EXPECT_TRUE(panel.logicTriggerGroup()->isVisible());
  EXPECT_TRUE(panel.memoryDepthGroup()->isVisible());
  EXPECT_FALSE(panel.gpioPanel()->isVisible());
  EXPECT_LT(panel.timebaseGroup()->y(), panel.logicTriggerGroup()->y());
}

// A continuous run unlocks at each record and locks again for the next run before the loop
// comes round: the tables stay locked without being painted again (each repaint costs ms).
TEST_F(Panels, ARecordOfAContinuousRunDoesNotRepaintTheLockedTables) {
  rig.boot();
  rig.acq.queueRun();
  for (int i = 0; i < 4; ++i) QApplication::processEvents();  // locked and painted so
  ASSERT_FALSE(sheet.amplitudeTable()->isEnabled());
  struct PaintCount : QObject {
    int n = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++n;
      return false;
    }
  } count;
  const std::array<QTableWidget*, 5> tables{sheet.modeTable(), sheet.amplitudeTable(),
                                            sheet.sampleTimeTable(), sheet.memoryDepthTable(),
                                            sheet.triggerTypeTable()};
  for (QTableWidget* t : tables) t->viewport()->installEventFilter(&count);
  rig.acq.queue().clear();
  rig.acq.setRunState(RunState::Idle);  // the record is in
  rig.acq.queueRun();                   // and the next run queued
  for (int i = 0; i < 4; ++i) QApplication::processEvents();
  EXPECT_EQ(count.n, 0);
  for (QTableWidget* t : tables) EXPECT_FALSE(t->isEnabled()) << t->objectName().toStdString();
  // A run that ends shows the tables unlocked once the loop comes round, and painted so.
  rig.acq.queue().clear();
  rig.acq.setRunState(RunState::Idle);
  for (int i = 0; i < 4; ++i) QApplication::processEvents();
  for (QTableWidget* t : tables) EXPECT_TRUE(t->isEnabled()) << t->objectName().toStdString();
  EXPECT_GE(count.n, int(tables.size()));
}

// A click beside the rows would take the selection away from the value in force.
TEST_F(Panels, ClickBelowTheRowsKeepsTheSelection) {
  rig.boot();
  QTableWidget* t = sheet.memoryDepthTable();
  clickRow(t, 3);
  const QRect last = t->visualItemRect(t->item(t->rowCount() - 1, 1));
  ASSERT_LT(last.bottom() + 5, t->viewport()->height());
  QTest::mouseClick(t->viewport(), Qt::LeftButton, {},
                    QPoint(last.center().x(), t->viewport()->height() - 3));
  ASSERT_FALSE(t->selectedItems().isEmpty());
  EXPECT_EQ(t->selectedItems().front()->row(), 3);
  EXPECT_EQ(t->currentRow(), 3);
}

// The depths meant for the logic analyser are taken in the scope; the panel says that the
// scope's record ends at its memory.
TEST_F(Panels, ScopeDepthBeyondItsMemoryIsHinted) {
  rig.boot();
  QLabel* hint = panel.scopeDepthHint();
  EXPECT_EQ(hint->objectName(), QStringLiteral("LB_ScopeDepthHint"));
  EXPECT_FALSE(hint->isVisible());
  clickRow(sheet.memoryDepthTable(), 11);  // 200000
  EXPECT_TRUE(hint->isVisible());
  EXPECT_TRUE(hint->text().startsWith(QStringLiteral("The memory depths 200000 and 262000")))
      << hint->text().toStdString();
  // Every line of it has room, in either language.
  for (int language : {kLanguageEnglish, kLanguageGerman, kLanguageEnglish}) {
    setLanguageIndex(language);
    panel.applyTexts();
    QApplication::processEvents();
    EXPECT_GE(hint->height(), hint->heightForWidth(hint->width())) << language;
  }
  clickRow(sheet.memoryDepthTable(), 10);  // 131000: all of it fits
  EXPECT_FALSE(hint->isVisible());
  clickRow(sheet.memoryDepthTable(), 12);
  rig.advance(1500);
  EXPECT_TRUE(hint->isVisible());
  rig.model.modeChosen(6);  // the logic analyser keeps 262000
  rig.advance(1500);
  ASSERT_EQ(rig.acq.mode(), kModeLAIO);
  EXPECT_FALSE(hint->isVisible());
}

TEST_F(Panels, TextsFollowTheLanguage) {
  EXPECT_EQ(panel.modes()->itemText(0), QStringLiteral("Voltmeter, DC"));
  setLanguageIndex(kLanguageGerman);
  panel.applyTexts();
  sheet.applyTexts();
  EXPECT_EQ(panel.modes()->itemText(0), QStringLiteral("DC-Voltmeter"));
  EXPECT_EQ(sheet.triggerTypeTable()->item(2, 1)->text(), QStringLiteral("Fenster, Eintritt"));
  EXPECT_EQ(panel.amplitudeGroup()->title(), QLatin1Char(' ') + text(128) + QLatin1Char(' '));
  setLanguageIndex(kLanguageEnglish);
}

// Renders both panels small and large for a look at the layout (files in the temp folder).
TEST_F(Panels, GrabsAtSmallAndLargeSizes) {
  rig.boot(kModeLAIO);
  rig.model.triggerTypeChosen('P');
  rig.advance(1500);
  rig.gpio.togglePattern(PatternRow::Relevance, 0);
  rig.gpio.togglePattern(PatternRow::Relevance, 7);
  rig.gpio.togglePattern(PatternRow::Dynamic, 0);
  rig.advance(1500);
  for (QSize s : {QSize(250, 500), QSize(400, 1000)}) {
    panel.resize(s);
    QApplication::processEvents();
    const QString f = QStringLiteral("/tmp/settings_panel_laio_%1.png").arg(s.width());
    EXPECT_TRUE(panel.grab().save(f));
  }
  rig.model.modeChosen(4);
  rig.advance(1500);
  for (QSize s : {QSize(250, 600), QSize(400, 1000)}) {
    panel.resize(s);
    QApplication::processEvents();
    EXPECT_TRUE(
        panel.grab().save(QStringLiteral("/tmp/settings_panel_osa0_%1.png").arg(s.width())));
  }
  for (QSize s : {QSize(700, 400), QSize(1000, 650)}) {
    sheet.resize(s);
    QApplication::processEvents();
    EXPECT_TRUE(sheet.grab().save(QStringLiteral("/tmp/settings_sheet_%1.png").arg(s.width())));
  }
}

}  // namespace
