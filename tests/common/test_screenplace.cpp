// Windows whose place and size come from a file are kept where the user can reach them.
#include <gtest/gtest.h>

#include "common/screenplace.h"

using namespace tolv;

TEST(ScreenPlace, PlaceOnScreensKeepsVisibleTitleBarsAndBringsBackLostOnes) {
  const QList<QRect> two = {QRect(0, 0, 1600, 1000), QRect(1600, 0, 1280, 1024)};
  const QSize size(800, 600);
  EXPECT_EQ(placeOnScreens({100, 50}, size, two), QPoint(100, 50));
  EXPECT_EQ(placeOnScreens({2000, 300}, size, two), QPoint(2000, 300));  // second monitor
  EXPECT_EQ(placeOnScreens({-700, 10}, size, two), QPoint(-700, 10));    // 100 px still seen
  EXPECT_EQ(placeOnScreens({-750, 10}, size, two), QPoint(0, 10));       // 50 px: too little
  EXPECT_EQ(placeOnScreens({3000, 200}, size, two), QPoint(800, 200));   // monitor gone
  EXPECT_EQ(placeOnScreens({100, 995}, size, two), QPoint(100, 400));    // 5 px of the title
  EXPECT_EQ(placeOnScreens({100, 985}, size, two), QPoint(100, 985));    // 15 px of it seen
  EXPECT_EQ(placeOnScreens({100, -30}, size, two), QPoint(100, 0));      // title above the top
  EXPECT_EQ(placeOnScreens({5, 5}, size, {}), QPoint(5, 5));
}

TEST(ScreenPlace, FitOnScreensBoundsBySizeOfTheScreenHoldingTheTitle) {
  const QList<QRect> two = {QRect(0, 0, 1600, 1000), QRect(1600, 0, 1280, 1024)};
  EXPECT_EQ(fitOnScreens({100, 50}, {800, 600}, two), QSize(800, 600));
  EXPECT_EQ(fitOnScreens({100, 50}, {20000, 20000}, two), QSize(1600, 1000));
  EXPECT_EQ(fitOnScreens({1700, 50}, {20000, 20000}, two), QSize(1280, 1024));
  // Off every screen: the first one's size (the window is brought onto it).
  EXPECT_EQ(fitOnScreens({9000, 9000}, {3000, 3000}, two), QSize(1600, 1000));
  EXPECT_EQ(fitOnScreens({0, 0}, {1600, 1000}, two), QSize(1600, 1000));
  EXPECT_EQ(fitOnScreens({0, 0}, {1601, 1001}, two), QSize(1600, 1000));
  EXPECT_EQ(fitOnScreens({5, 5}, {20000, 20000}, {}), QSize(20000, 20000));
}

// The inner rectangle a settings file holds: the title bar above it must land on the screen,
// and the window is no larger than the screen with its frame.
TEST(ScreenPlace, KeptOnScreensBringsTheTitleBarOfAnInnerRectangleIntoSight) {
  const QList<QRect> one = {QRect(0, 0, 1600, 1000)};
  const QMargins frame(2, 24, 2, 2);
  EXPECT_EQ(keptOnScreens(QRect(100, 80, 1240, 680), frame, one), QRect(100, 80, 1240, 680));
  // Off to the left and below, far too wide: the whole outer window on the screen.
  EXPECT_EQ(keptOnScreens(QRect(-5000, 30000, 99999, 680), frame, one),
            QRect(2, 1000 - 706 + 24, 1596, 680));
  // Inner top at 0 leaves the title bar above the screen: moved down by its height.
  EXPECT_EQ(keptOnScreens(QRect(100, 0, 1240, 680), frame, one), QRect(100, 24, 1240, 680));
  // At the boundary: inner top 24 puts the title bar at 0 and stays.
  EXPECT_EQ(keptOnScreens(QRect(100, 24, 1240, 680), frame, one), QRect(100, 24, 1240, 680));
  EXPECT_EQ(keptOnScreens(QRect(-5000, 30000, 400, 300), frame, {}),
            QRect(-5000, 30000, 400, 300));
  // Stored lower than this screen has room for: moved up until the bottom edge (the status
  // line) is on it, to the row; one row higher than needed stays.
  EXPECT_EQ(keptOnScreens(QRect(100, 400, 1240, 680), frame, one), QRect(100, 1000 - 682, 1240, 680));
  EXPECT_EQ(keptOnScreens(QRect(100, 318, 1240, 680), frame, one), QRect(100, 318, 1240, 680));
  EXPECT_EQ(keptOnScreens(QRect(100, 317, 1240, 680), frame, one), QRect(100, 317, 1240, 680));
  // A window placed on a 1600 x 1000 screen, started again at 1280 x 800 under a panel.
  const QList<QRect> small = {QRect(0, 24, 1280, 776)};
  EXPECT_EQ(keptOnScreens(QRect(30, 220, 1240, 680), frame, small), QRect(30, 800 - 682, 1240, 680));
  // On the second of two screens, the bottom of that screen counts.
  const QList<QRect> two = {QRect(0, 0, 1600, 1000), QRect(1600, 0, 1280, 800)};
  EXPECT_EQ(keptOnScreens(QRect(1700, 300, 1000, 600), frame, two), QRect(1700, 800 - 602, 1000, 600));
}
