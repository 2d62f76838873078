// Settings snapshots from the settings in force and the window's options.
#include <gtest/gtest.h>

#include "measure/snapshot.h"
#include "measure/textheader.h"

using namespace tolv;

TEST(Snapshot, DeviceSettingsConversionAndOptionsMeetInOneRecord) {
  SettingsWriteBlock d;
  d.sampleTime = 0.0001f;  // not exact in binary: the snapshot must show what the user chose
  d.memoryDepth = 131000.0f;
  d.triggerPoint = 12.5f;
  d.trigger = {1, 0x81, 0x01, 0x80};
  d.triggerType = 'W';
  d.levelUpper = 0.3f;
  d.levelLower = -0.7f;
  d.gpioData = 0x00123456;
  d.gpioDirection = 0x00FF00FF;
  ConversionInputs c;
  c.ampl = {0.2, 20.0};
  c.offs = {-0.05, 1.5};
  c.probe = {10.0, -1.0};
  c.aux = 1.0;
  WindowOptions o;
  o.scopePlotMode = 4;
  o.autoSaveMode = 2;
  o.width = 1600;
  o.top = -20;
  o.probeFactorC0 = 77;  // the conversion's live values win
  o.probeHelpFactorFlag = true;
  o.clockInterval1 = 250;
  o.makeIntermediateFiles = false;

  const SettingsRecord r = takeSnapshot(kModeLAIO, d, c, o);
  EXPECT_EQ(r.mode, kModeLAIO);
  EXPECT_EQ(r.sampleTime, 0.0001);
  EXPECT_EQ(r.memoryDepth, 131000.0);
  EXPECT_EQ(r.triggerPoint, 12.5);
  EXPECT_EQ(r.trgLevelUpper, 0.3);
  EXPECT_EQ(r.trgLevelLower, -0.7);
  EXPECT_EQ(r.trgChan, 1);
  EXPECT_EQ(r.relevances, 0x81);
  EXPECT_EQ(r.levels, 0x80);
  EXPECT_EQ(r.trgTypString, "W");
  EXPECT_EQ(r.gpioData, 0x00123456);
  EXPECT_EQ(r.amplC0, 0.2);
  EXPECT_EQ(r.offsC1, 1.5);
  EXPECT_EQ(r.probeFactorC0, 10.0);
  EXPECT_EQ(r.probeFactorC1, -1.0);
  EXPECT_FALSE(r.probeHelpFactorFlag);
  EXPECT_EQ(r.scopePlotMode, 4);
  EXPECT_EQ(r.autoSaveMode, 2);
  EXPECT_EQ(r.width, 1600);
  EXPECT_EQ(r.top, -20);
  EXPECT_EQ(r.clockInterval1, 250);
  EXPECT_FALSE(r.makeIntermediateFiles);
  EXPECT_NE(textHeaderText(r).find("SamplTim\r\n 1.00000000000000E-0004\r\n"), std::string::npos);

  // The window options survive a trip through a record.
  EXPECT_EQ(WindowOptions::fromRecord(r).scopePlotMode, 4);
  WindowOptions back = WindowOptions::fromRecord(r);
  back.probeFactorC0 = o.probeFactorC0;
  back.probeFactorC1 = o.probeFactorC1;
  back.probeHelpFactorFlag = o.probeHelpFactorFlag;
  EXPECT_EQ(back, o);

  // No trigger letter: an empty text.
  d.triggerType = 0;
  EXPECT_TRUE(takeSnapshot(kModeOSA0, d, c, o).trgTypString.empty());
}
