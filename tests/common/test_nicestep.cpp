#include <gtest/gtest.h>

#include "common/nicestep.h"

namespace tolv {
namespace {

TEST(NiceStep, DecadesKeepSignAndHandleZero) {
  EXPECT_DOUBLE_EQ(decadeFloor(0.0), 0.0);
  EXPECT_DOUBLE_EQ(decadeCeil(0.0), 0.0);
  EXPECT_DOUBLE_EQ(decadeFloor(1000.0), 1000.0);
  EXPECT_DOUBLE_EQ(decadeFloor(999.0), 100.0);
  EXPECT_DOUBLE_EQ(decadeFloor(-0.034), -0.01);
  EXPECT_DOUBLE_EQ(decadeCeil(1000.0), 1000.0);
  EXPECT_DOUBLE_EQ(decadeCeil(1001.0), 10000.0);
  EXPECT_DOUBLE_EQ(decadeCeil(-0.034), -0.1);
  // Outside the searched decades the last decade is returned.
  EXPECT_DOUBLE_EQ(decadeFloor(1e40), 1e38);
  EXPECT_DOUBLE_EQ(decadeCeil(1e-40), 1e-38);
}

TEST(NiceStep, StepUpFollowsTwoFiveTenWithMargin) {
  EXPECT_DOUBLE_EQ(niceStepUp(10.1), 20.0);
  EXPECT_DOUBLE_EQ(niceStepUp(0.202), 0.5);
  EXPECT_DOUBLE_EQ(niceStepUp(0.505), 1.0);
  EXPECT_DOUBLE_EQ(niceStepUp(1.01), 2.0);
  // 1.05 * 1.9 = 1.995 stays below 2 * 1.
  EXPECT_DOUBLE_EQ(niceStepUp(1.9), 2.0);
  EXPECT_DOUBLE_EQ(niceStepUp(1.91), 5.0);
  EXPECT_DOUBLE_EQ(niceStepUp(-3.0), -5.0);
  EXPECT_DOUBLE_EQ(niceStepUp(0.0), 0.0);
}

TEST(NiceStep, StepDownFollowsOneHalfFifth) {
  EXPECT_DOUBLE_EQ(niceStepDown(10.0), 5.0);   // a = 9, c = 10
  EXPECT_DOUBLE_EQ(niceStepDown(2.0), 1.0);    // a = 1.8
  EXPECT_DOUBLE_EQ(niceStepDown(1.2), 1.0);    // a = 1.08, c = 10: 10,5,2 too big
  EXPECT_DOUBLE_EQ(niceStepDown(-0.5), -0.2);  // a = 0.45, c = 1
  EXPECT_DOUBLE_EQ(niceStepDown(0.0), 0.0);
}

TEST(NiceStep, TimeStepTable) {
  EXPECT_EQ(niceTimeStepCount(), 41);
  EXPECT_DOUBLE_EQ(niceTimeStepEntry(1), 2.0);
  EXPECT_DOUBLE_EQ(niceTimeStepEntry(41), 315567360000.0);
  EXPECT_DOUBLE_EQ(niceTimeStep(3.0), 2.0);
  EXPECT_DOUBLE_EQ(niceTimeStep(7.0), 10.0);
  EXPECT_DOUBLE_EQ(niceTimeStep(100000.0), 604800.0);
  EXPECT_DOUBLE_EQ(niceTimeStep(5.0), 10.0);
  EXPECT_DOUBLE_EQ(niceTimeStep(2.0), 2.0);
  EXPECT_DOUBLE_EQ(niceTimeStep(1.5), niceStepUp(1.5));
  // Beyond entry 40 the last entry is returned.
  EXPECT_DOUBLE_EQ(niceTimeStep(1e15), 315567360000.0);
  EXPECT_DOUBLE_EQ(niceTimeStep(-7.0), -10.0);
}

TEST(NiceStep, RoundToStep) {
  EXPECT_DOUBLE_EQ(roundToStep(7.3, 2.0), 8.0);
  EXPECT_DOUBLE_EQ(roundToStep(-7.3, 0.5), -7.5);
  // A zero step is derived from the value itself.
  EXPECT_DOUBLE_EQ(roundToStep(7.3, 0.0), 5.0);  // step niceStepDown(7.373) = 5
  EXPECT_DOUBLE_EQ(roundToStep(0.0, 0.0), 1.0);
  EXPECT_DOUBLE_EQ(roundSecondsToStep(125.0, 60.0), 120.0);
  EXPECT_DOUBLE_EQ(roundSecondsToStep(0.0, 0.0), 1.0);
}

// Sample periods snap onto 1, 2 and 5 per decade from 10 us to 1 s within their windows; the
// window ends themselves and anything outside stay as they are.
TEST(NiceStep, SnapToDecadeStep) {
  EXPECT_DOUBLE_EQ(snapToDecadeStep(1.1e-5), 1e-5);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(2.1e-6), 2.1e-6);  // below the lowest decade
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.0019), 0.002);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.0054), 0.005);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.85), 1.0);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(1.15), 1.0);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(2.0), 2.0);  // 2 s: beyond the highest decade
  // Window ends are excluded: 0.8, 1.2, 2.2, 4.8 and 5.5 times a decade stay.
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.0008), 0.0008);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.0022), 0.0022);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.12), 0.12);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.48), 0.48);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.55), 0.55);
  // Between the windows: 1.5 and 3 times a decade stay.
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.0015), 0.0015);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(3e-4), 3e-4);
  EXPECT_DOUBLE_EQ(snapToDecadeStep(0.0), 0.0);
}

}  // namespace
}  // namespace tolv
