// The wrapping row layout of the device window's cool bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "devicewin/flowlayout.h"

namespace tolv {
namespace {

class Box : public QWidget {
 public:
  Box(int w, int h, QWidget* parent) : QWidget(parent), hint_(w, h) {}
  QSize sizeHint() const override { return hint_; }
  QSize minimumSizeHint() const override { return hint_; }

 private:
  QSize hint_;
};

// Three boxes of 100 x 30 and one of 200 x 50 that keeps its room while hidden, spacing 6.
struct Bar {
  QWidget host;
  TFlowLayout* lay = new TFlowLayout(&host, 6);
  Box* a = new Box(100, 30, &host);
  Box* b = new Box(100, 30, &host);
  Box* c = new Box(100, 30, &host);
  Box* kept = new Box(200, 50, &host);
  Bar() {
    lay->setContentsMargins(2, 3, 2, 4);
    for (QWidget* w : {static_cast<QWidget*>(a), static_cast<QWidget*>(b), static_cast<QWidget*>(c),
                       static_cast<QWidget*>(kept)})
      lay->addWidget(w);
    QSizePolicy p = kept->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    kept->setSizePolicy(p);
    host.show();  // children of a window never shown count as hidden
  }
};

TEST(FlowLayout, RowsWrapAtTheExactWidth) {
  Bar bar;
  // One row needs 2 + 100 + 6 + 100 + 6 + 100 + 6 + 200 + 2 = 522.
  EXPECT_EQ(bar.lay->heightForWidth(522), 3 + 50 + 4);
  // One pixel less: the wide box opens a second row.
  EXPECT_EQ(bar.lay->heightForWidth(521), 3 + 30 + 6 + 50 + 4);
  // Narrower still: every box in a row of its own.
  EXPECT_EQ(bar.lay->heightForWidth(205), 3 + 30 + 6 + 30 + 6 + 30 + 6 + 50 + 4);
  bar.host.resize(321, 200);
  bar.lay->setGeometry(QRect(0, 0, 321, 200));
  EXPECT_EQ(bar.c->geometry(), QRect(214, 3, 100, 30));
  EXPECT_EQ(bar.kept->geometry(), QRect(2, 39, 200, 50));
}

// A hidden box that keeps its room keeps it within a row of shown boxes, but a row of its own
// takes no height: the bar shows no empty band.
TEST(FlowLayout, HiddenBoxAloneInARowTakesNoHeight) {
  Bar bar;
  bar.kept->hide();
  EXPECT_EQ(bar.lay->heightForWidth(522), 3 + 50 + 4);  // in the row: its room stays
  EXPECT_EQ(bar.lay->heightForWidth(521), 3 + 30 + 4);
  EXPECT_EQ(bar.lay->heightForWidth(205), 3 + 30 + 6 + 30 + 6 + 30 + 4);
  // Hidden in the middle: the rows around it close up.
  bar.kept->show();
  bar.b->hide();
  QSizePolicy p = bar.b->sizePolicy();
  p.setRetainSizeWhenHidden(true);
  bar.b->setSizePolicy(p);
  EXPECT_EQ(bar.lay->heightForWidth(205), 3 + 30 + 6 + 30 + 6 + 50 + 4);
  bar.host.resize(205, 200);
  bar.lay->setGeometry(QRect(0, 0, 205, 200));
  EXPECT_EQ(bar.c->geometry().top(), 3 + 30 + 6);
  // Nothing shown at all: only the margins.
  bar.a->hide();
  bar.c->hide();
  bar.kept->hide();
  EXPECT_EQ(bar.lay->heightForWidth(205), 3 + 4);
}

}  // namespace
}  // namespace tolv
