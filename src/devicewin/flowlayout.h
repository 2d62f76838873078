#pragma once
// A layout that lines its widgets up from left to right and starts a new row where the next
// one would not fit, so a narrow window shows every control instead of cutting or scrolling
// them. Rows are as high as their highest item; items keep their size hints.
#include <QLayout>
#include <QList>

namespace tolv {

class TFlowLayout : public QLayout {
 public:
  explicit TFlowLayout(QWidget* parent = nullptr, int spacing = 6);
  ~TFlowLayout() override;

  // Puts w at position index of the row order (at the end for an index out of range).
  void insertWidget(int index, QWidget* w);

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;
  int spacing() const;

 private:
  // Places the items into rect (or only measures when apply is false); returns the height.
  int arrange(const QRect& rect, bool apply) const;

  QList<QLayoutItem*> items_;
  int spacing_;
};

}  // namespace tolv
