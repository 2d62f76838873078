#include <gtest/gtest.h>

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include "common/typedlists.h"

using namespace tolv;

TEST(TypedLists, GrowthOnAccess) {
  TIntList l;
  EXPECT_EQ(l.Ensure(5), kListGrew);
  l.Clear();
  EXPECT_EQ(l.Get(5), 0);
  EXPECT_EQ(l.Count(), 6);
  EXPECT_EQ(l.Ensure(5), 0);
  EXPECT_EQ(l.Ensure(-1), kListBadIndex);
  EXPECT_EQ(l.Get(-3), 0);
  EXPECT_EQ(l.Get(kMaxListIndex + 1), 0);
  EXPECT_EQ(l.Count(), 6);
}

TEST(TypedLists, SetChangesOnlyItsElement) {
  TIntList l;
  for (int v : {10, 11, 12}) l.Add(v);
  EXPECT_EQ(l.Set(2, 7), 0);
  EXPECT_EQ(l.Items(), (std::vector<std::int32_t>{10, 11, 7}));
  EXPECT_EQ(l.Set(4, 9), kListGrew);
  EXPECT_EQ(l.Items(), (std::vector<std::int32_t>{10, 11, 7, 0, 9}));
  EXPECT_EQ(l.Set(-1, 9), kListBadIndex);
}

TEST(TypedLists, OtherElementTypes) {
  TIntIOByteList b;
  EXPECT_EQ(b.Add(0xA5), 0);
  EXPECT_EQ(b.Get(3), 0);
  EXPECT_EQ(b.Count(), 4);
  TFPointList p;
  EXPECT_EQ(p.Get(1), FPoint{});
  p.Add({1.5, -2});
  EXPECT_EQ(p.Get(2), (FPoint{1.5, -2}));
  TD3PointList d;
  d.Add({1, 2, 3});
  EXPECT_EQ(d.Get(0), (D3Point{1, 2, 3}));
  d.Clear();
  EXPECT_EQ(d.Count(), 0);
}

TEST(TaggedList, TaggedCountAndDefault) {
  TTaggedTimedFloatPointList l;
  EXPECT_EQ(l.Counter(), 1);
  l.Add(VoltmeterReading::measured(DayTime{1.0, 5}, 1.0, 2.0));
  VoltmeterReading untagged;
  l.Add(untagged);
  l.Add(VoltmeterReading::measured(DayTime{2.0, 5}, 3.0, 4.0));
  EXPECT_EQ(l.TaggedCount(), 2);
  l.SetCounter(7);
  l.Get(5);  // the defaults appended here carry no tag
  EXPECT_EQ(l.TaggedCount(), 2);
  EXPECT_EQ(l.Count(), 6);
  auto b = l.Get(4).toBytes();
  const std::uint8_t want[72] = {
      0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0,    0, 0,
      0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0,
      0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0xFF,
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,    0,    0,    0, 0,
      0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0};
  EXPECT_TRUE(std::equal(b.begin(), b.end(), want));
  l.Clear();
  EXPECT_EQ(l.TaggedCount(), 0);
  EXPECT_EQ(l.Counter(), 1);
  EXPECT_EQ(l.Count(), 0);
}

TEST(VoltmeterRecord, LayoutAndRoundTrip) {
  VoltmeterReading r = VoltmeterReading::measured(DayTime{0.5, 693594}, 1.25, -2.5);
  auto b = r.toBytes();
  EXPECT_EQ(b[8], 1);
  EXPECT_EQ(b[16 + 7], 0x80);   // extended mantissa of 0.5
  EXPECT_EQ(b[16 + 12], 0x5A);  // day 693594 = 0x000A955A
  EXPECT_EQ(getF64(&b[56]), 1.25);
  EXPECT_EQ(getF64(&b[64]), -2.5);
  // Unused bytes survive a decode/encode pass unchanged.
  b[3] = 0x11;
  b[40] = 0x22;
  EXPECT_EQ(VoltmeterReading::decode(b.data()).toBytes(), b);
}

TEST(IdleObject, RestoresTheDefaultCursorUnlessOverAbout) {
  TIdleObject idle;
  EXPECT_FALSE(idle.PointerOverAbout());
  QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  idle.SetPointerOverAbout(true);
  idle.Idle();
  EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
  idle.SetPointerOverAbout(false);
  idle.Idle();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(IdleObject, InstalledHandlerRunsWhenTheLoopWaits) {
  TIdleObject idle;
  idle.Install();
  QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  QEventLoop loop;
  QTimer::singleShot(20, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
