#include <gtest/gtest.h>

#include <QLabel>
#include <QRegularExpression>

#include "common/colours.h"
#include "common/version.h"
#include "common/widgetcolours.h"

using namespace tolv;

TEST(Colours, DefaultColourRuleGivesTheTable) {
  const ColorRef table[13] = {0x0000FF, 0xFF0000, 0x00FF00, 0x0A575E, 0xF70A57, 0xBDC3D7, 0x13E1BC,
                              0xEF13E1, 0xAE88AD, 0x1D6C1A, 0xE71D6B, 0x9F4D83, 0x26F678};
  for (int r = 0; r < 13; ++r) {
    EXPECT_EQ(defaultColour(r), table[r]) << r;
    EXPECT_EQ(defaultColour(r + 13), table[r]);
  }
  EXPECT_EQ(defaultColour(-1), table[12]);
  EXPECT_EQ(redOf(defaultColour(3)), 94);
  EXPECT_EQ(greenOf(defaultColour(3)), 87);
  EXPECT_EQ(blueOf(defaultColour(3)), 10);
}

TEST(Colours, ContrastAndText) {
  EXPECT_EQ(contrastTextColour(colorRef(128, 128, 128)), kWhite);
  EXPECT_EQ(contrastTextColour(colorRef(129, 128, 128)), kBlack);
  EXPECT_EQ(rgbText(0x0000FF), QStringLiteral("RGB FF0000"));
  ColorRef c = 0;
  EXPECT_TRUE(colourFromRgbText("RGB 5E570A", c));
  EXPECT_EQ(c, 0x0A575Eu);
  EXPECT_FALSE(colourFromRgbText("RGB 5E57", c));
  EXPECT_EQ(toQColor(0x0000FF), QColor(Qt::red));
}

TEST(Colours, GridCellsAreClamped) {
  QTableWidget grid(3, 1);
  EXPECT_TRUE(paintGridCell(&grid, 5, 1, 0x00FF00));
  EXPECT_EQ(gridCellColour(&grid, 0, 1), 0x00FF00u);
  EXPECT_TRUE(paintGridCell(&grid, 0, 99, 0xF70A57));
  EXPECT_EQ(gridCellColour(&grid, 0, 2), 0xF70A57u);
  QTableWidget none;
  EXPECT_FALSE(paintGridCell(&none, 0, 0, 0));
  QLabel label;
  colourWidget(&label, 0x000080);
  EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(Qt::white));
  QListWidget list;
  for (int i = 0; i < 3; ++i) {
    auto* it = new QListWidgetItem(QString::number(i), &list);
    it->setCheckState(i == 1 ? Qt::Unchecked : Qt::Checked);
  }
  EXPECT_EQ(countChecked(&list), 2);
}

TEST(Version, TextLayout) {
  QStringList lines = versionText().split('\n');
  ASSERT_GE(lines.size(), 6);
  EXPECT_EQ(lines[0], QStringLiteral("Multi_Tolvanex"));
  EXPECT_TRUE(lines.contains(QStringLiteral("multi_tolvanex")));
  EXPECT_EQ(lines.filter(QRegularExpression("^Version: \\d+\\.\\d+")).size(), 1);
}
