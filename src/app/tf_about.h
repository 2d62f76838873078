#pragma once
// The about window opened from the frame's bottom panel: program name, version and a small
// animation, nothing more.
#include <QWidget>

class QTimer;

namespace tolv {

class TF_About : public QWidget {
  Q_OBJECT
 public:
  explicit TF_About(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  QTimer* timer_ = nullptr;
  int phase_ = 0;
};

}  // namespace tolv
