// GPIO lines, trigger pattern and I/O counter test, through clicks on the real panels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QSpinBox>
#include <QTest>

#include "devicewin/panel_gpio.h"
#include "device/test_settings_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

// A click as the user gives it: on a laid-out panel, pressed and released inside it.
void click(QWidget* w) {
  QApplication::processEvents();
  if (w->rect().isEmpty()) w->adjustSize();
  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

class Gpio : public ::testing::Test {
 protected:
  SettingsRig rig;
  TGpioModel& g = rig.gpio;
  TGpioPanel panel{rig.gpio};
  TGpioPatternPanel pattern{rig.gpio};
};

TEST(GpioLooks, CaptionsAndColoursOfTheLinePanels) {
  EXPECT_EQ(gpioDataLook(true).caption, QStringLiteral("H"));
  EXPECT_EQ(gpioDataLook(true).colour, colorRef(0xFF, 0x9D, 0x9D));
  EXPECT_EQ(gpioDataLook(false).caption, QStringLiteral("L"));
  EXPECT_EQ(gpioDataLook(false).colour, colorRef(0x80, 0xFF, 0xFF));
  EXPECT_EQ(gpioDirectionLook(true).caption, QStringLiteral("O"));
  EXPECT_EQ(gpioDirectionLook(true).colour, colorRef(0xFF, 0xFF, 0x00));
  EXPECT_EQ(gpioDirectionLook(false).caption, QStringLiteral("I"));
  EXPECT_EQ(gpioDirectionLook(false).colour, colorRef(0x00, 0xFF, 0x00));
  // The four level symbols differ from each other.
  const QString s[4] = {levelSymbol(true, true), levelSymbol(true, false), levelSymbol(false, true),
                        levelSymbol(false, false)};
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) EXPECT_NE(s[i], s[j]);
  EXPECT_NE(edgeSymbol(), stateSymbol());
}

TEST(GpioLooks, PatternLookShowsOnlyRelevantBits) {
  const PatternLook p = patternLook(TriggerWord{0, 0x81, 0x01, 0x80});
  EXPECT_EQ(p.relevanceHex, QStringLiteral("81"));
  EXPECT_TRUE(p.relevanceHexHighlighted);
  EXPECT_EQ(p.dynamicHex, QStringLiteral("01"));
  EXPECT_EQ(p.levelHex, QStringLiteral("80"));
  for (int n = 0; n < 8; ++n) EXPECT_EQ(p.detailVisible[std::size_t(n)], n == 0 || n == 7) << n;
  EXPECT_EQ(p.dynamic[0].colour, colorRef(0xF1, 0xCD, 0x7A));  // edge
  EXPECT_EQ(p.dynamic[7].colour, colorRef(0xCD, 0xB1, 0xEB));  // state
  EXPECT_EQ(p.level[7].colour, colorRef(0xFF, 0x9D, 0x9D));    // high
  EXPECT_EQ(p.level[0].colour, colorRef(0x80, 0xFF, 0xFF));    // low
  EXPECT_EQ(p.relevance[0], colorRef(0xFF, 0xFF, 0x00));
  EXPECT_EQ(p.relevance[1], colorRef(0xFF, 0xFF, 0xFF));
  const PatternLook none = patternLook(TriggerWord{0, 0, 0xFF, 0xFF});
  EXPECT_EQ(none.relevanceHex, QStringLiteral("00"));
  EXPECT_EQ(none.dynamicHex, QStringLiteral("00"));  // masked by relevance
  EXPECT_FALSE(none.relevanceHexHighlighted);
}

TEST_F(Gpio, TwoClicksBeforeTheReplyKeepTheFirstClicksValue) {
  rig.boot();
  TClickPanel* bit5 = panel.dataPanel(5);
  ASSERT_EQ(bit5->objectName(), QStringLiteral("PN_GPIO24BitData_5"));
  EXPECT_EQ(bit5->text(), QStringLiteral("L"));
  EXPECT_EQ(bit5->toolTip(), QStringLiteral("Bit 5"));
  // An input line's data box takes no click: the device reports its level, and a bit sent
  // for it would never show.
  click(bit5);
  EXPECT_EQ(rig.host.desired().gpioData, 0u);
  EXPECT_FALSE(rig.accumulate.isActive());
  click(panel.directionPanel(5));
  rig.advance(1500);
  ASSERT_EQ(rig.acq.storedReply().gpioDirection, 1u << 5);
  rig.drv.writes.clear();
  click(bit5);
  EXPECT_EQ(rig.host.desired().gpioData, 1u << 5);
  EXPECT_EQ(bit5->text(), QStringLiteral("H"));
  rig.advance(100);
  click(bit5);  // NOT of the same reported bit: still high
  EXPECT_EQ(rig.host.desired().gpioData, 1u << 5);
  rig.advance(1500);
  const auto w = rig.settingsWrites();
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].gpioData, 1u << 5);
  EXPECT_EQ(rig.acq.storedReply().gpioData, 1u << 5);
  EXPECT_EQ(bit5->text(), QStringLiteral("H"));
  EXPECT_EQ(bit5->colour(), kColourHigh);
  // The font contrasts with the panel.
  EXPECT_EQ(fromQColor(bit5->palette().color(QPalette::WindowText)),
            contrastTextColour(kColourHigh));
  click(bit5);  // now relative to a reported high: low again
  EXPECT_EQ(rig.host.desired().gpioData, 0u);
}

TEST_F(Gpio, DirectionRowToggles) {
  rig.boot();
  click(panel.directionPanel(23));
  EXPECT_EQ(rig.host.desired().gpioDirection, 1u << 23);
  EXPECT_EQ(panel.directionPanel(23)->text(), QStringLiteral("O"));
  EXPECT_EQ(panel.directionPanel(23)->colour(), kColourOutput);
  EXPECT_EQ(panel.directionPanel(22)->text(), QStringLiteral("I"));
  rig.advance(1500);
  EXPECT_EQ(rig.acq.storedReply().gpioDirection, 1u << 23);
}

TEST_F(Gpio, AClickWhileAReplyIsAwaitedChangesNothing) {
  rig.boot();
  rig.replyDelay = 200;
  rig.model.triggerPointMoved(20);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return !rig.settingsWrites().empty(); }, 2000));
  ASSERT_GE(rig.acq.replyTag(), 0);
  const SettingsWriteBlock before = rig.host.desired();
  click(panel.dataPanel(2));
  click(panel.directionPanel(2));
  click(pattern.relevancePanel(2));
  EXPECT_EQ(rig.host.desired(), before);
  EXPECT_FALSE(rig.accumulate.isActive());
  EXPECT_EQ(panel.dataPanel(2)->text(), QStringLiteral("L"));
  rig.advance(2000);
  EXPECT_EQ(rig.settingsWrites().size(), 1u);
}

TEST_F(Gpio, LockedControlsDisableBothGroups) {
  rig.boot();
  EXPECT_TRUE(panel.dataGroup()->isEnabled());
  rig.acq.queueRun();
  EXPECT_FALSE(panel.dataGroup()->isEnabled());
  EXPECT_FALSE(panel.directionGroup()->isEnabled());
}

TEST_F(Gpio, PatternClicksAndTheRelevanceExample) {
  rig.boot(kModeLAIO);
  pattern.show();
  rig.model.triggerTypeChosen('P');
  rig.advance(1500);
  ASSERT_TRUE(rig.model.display().patternRowsVisible);
  click(pattern.relevancePanel(0));
  rig.advance(100);
  click(pattern.relevancePanel(7));
  // Visible now that bit 0 is relevant; this click must not undo the two before it.
  click(pattern.dynamicPanel(0));
  EXPECT_EQ(rig.host.desired().trigger, (TriggerWord{0, 0x81, 0x01, 0x00}));
  rig.advance(1500);
  const TriggerWord t = rig.acq.storedReply().trigger;
  EXPECT_EQ(t.relevance, 0x81);
  EXPECT_EQ(t.dynamic, 0x01);
  EXPECT_EQ(pattern.relevanceHex()->text(), QStringLiteral("81"));
  EXPECT_EQ(pattern.relevanceHex()->colour(), kColourRelevant);
  EXPECT_EQ(pattern.dynamicHex()->text(), QStringLiteral("01"));
  for (int n = 0; n < 8; ++n) {
    EXPECT_EQ(pattern.dynamicPanel(n)->isVisible(), n == 0 || n == 7) << n;
    EXPECT_EQ(pattern.levelPanel(n)->isVisible(), n == 0 || n == 7) << n;
  }
  EXPECT_EQ(pattern.dynamicPanel(0)->text(), edgeSymbol());
  EXPECT_EQ(pattern.dynamicPanel(7)->text(), stateSymbol());
}

// Hovering a pattern panel explains its row; only the line panels carry "Bit n".
TEST_F(Gpio, PatternPanelsCarryTheirRowsHintsInEveryLanguage) {
  for (int lang : {kLanguageEnglish, kLanguageGerman}) {
    setLanguageIndex(lang);
    pattern.applyTexts();
    panel.applyTexts();
    for (int n = 0; n < 8; ++n) {
      EXPECT_EQ(pattern.relevancePanel(n)->toolTip(), hintText(175)) << n;
      EXPECT_EQ(pattern.dynamicPanel(n)->toolTip(), hintText(176)) << n;
      EXPECT_EQ(pattern.levelPanel(n)->toolTip(), hintText(177)) << n;
    }
    EXPECT_TRUE(hintText(176).contains(QLatin1Char('#')));
    EXPECT_EQ(panel.dataPanel(3)->toolTip(), QStringLiteral("Bit 3"));
    EXPECT_EQ(panel.directionPanel(23)->toolTip(), QStringLiteral("Bit 23"));
  }
  EXPECT_EQ(pattern.dynamicPanel(3)->toolTip(),
            QStringLiteral("dynamisch:\n  =: Zustand\n  #: Flanke"));
  setLanguageIndex(kLanguageEnglish);
}

TEST_F(Gpio, FirstCounterCommandCarriesOneWithTheOddInterval) {
  rig.boot();
  TGpioCounterControls controls(g);
  controls.interval(0)->setValue(40);
  controls.interval(1)->setValue(70);
  EXPECT_EQ(g.countInterval(1), 70);
  controls.countBox()->setChecked(true);
  ASSERT_EQ(rig.acq.queue().count(), 1);
  const QueuedCommand c = rig.acq.queue().get(0);
  EXPECT_EQ(c.payloadWord(0), kWordIOW);
  EXPECT_EQ(c.payloadWord(1), 1u);
  EXPECT_EQ(c.payloadWord(2), kIowLineMask);
  EXPECT_EQ(c.waitMs, 70);
  EXPECT_EQ(c.replyTag, kTagIo);
}

TEST_F(Gpio, CounterWrapsToZeroWithTheEvenInterval) {
  rig.boot();
  g.setCountInterval(0, 55);
  g.setCountInterval(1, 2500);  // clamped to 2000
  EXPECT_EQ(g.countInterval(1), 2000);
  g.setCounter(0xFFFFF);
  g.setCounting(true);
  ASSERT_EQ(rig.acq.queue().count(), 1);
  const QueuedCommand c = rig.acq.queue().get(0);
  EXPECT_EQ(c.payloadWord(1), 0u);
  EXPECT_EQ(c.waitMs, 55);
}

TEST_F(Gpio, CounterRunsOnEveryIoReplyUntilUnticked) {
  rig.boot();
  g.setCountInterval(0, 30);
  g.setCountInterval(1, 30);
  g.setCounting(true);
  rig.advance(1000);
  const auto iow = rig.rawWrites("*IOW");
  ASSERT_GE(iow.size(), 3u);
  for (std::size_t i = 0; i < iow.size(); ++i) EXPECT_EQ(getU32(iow[i].data() + 4), i + 1);
  // The panels show the lines as read back.
  EXPECT_EQ(panel.dataPanel(0)->text(), (rig.acq.storedReply().gpioData & 1) ? "H" : "L");
  g.setCounting(false);
  rig.advance(500);
  const std::size_t n = rig.rawWrites("*IOW").size();
  rig.advance(1000);
  EXPECT_EQ(rig.rawWrites("*IOW").size(), n);
  EXPECT_TRUE(rig.settingsWrites().empty());  // the test sends no settings
}

TEST_F(Gpio, IoStatusClickIsReported) {
  int clicks = 0;
  QObject::connect(&panel, &TGpioPanel::ioStatusClicked, [&] { ++clicks; });
  click(panel.ioStatus());
  EXPECT_EQ(clicks, 1);
}

}  // namespace

namespace {

TEST_F(Gpio, ChannelChangeKeepsPendingPatternClicks) {
  rig.boot(kModeLAIO);
  rig.model.triggerTypeChosen('P');
  rig.advance(1500);
  g.togglePattern(PatternRow::Relevance, 3);
  rig.model.triggerChannelChanged(2);
  EXPECT_EQ(rig.host.desired().trigger, (TriggerWord{1, 0x08, 0, 0}));
  rig.advance(1500);
  EXPECT_EQ(rig.acq.storedReply().trigger, (TriggerWord{1, 0x08, 0, 0}));
  EXPECT_EQ(rig.settingsWrites().size(), 2u);  // the P write and one for both changes
}

TEST_F(Gpio, RestoredWindowOptionsReachTheControls) {
  SettingsRecord rec = SettingsRecord::defaults();
  rec.probeFactorC1 = -3;
  rec.probeHelpFactorFlag = false;
  rec.clockInterval0 = 250;
  rec.clockInterval1 = 0;
  rig.acq.open([&](SettingsRecord& r) {
    r = rec;
    return 0;
  });
  rig.advance(400);
  EXPECT_EQ(rig.model.display().probeSpin[1], -3);
  EXPECT_FALSE(rig.model.display().aux);
  EXPECT_DOUBLE_EQ(rig.acq.conversion().aux, 1.0);
  EXPECT_EQ(g.countInterval(0), 250);
  EXPECT_EQ(g.countInterval(1), kCountIntervalStart);
}

}  // namespace
