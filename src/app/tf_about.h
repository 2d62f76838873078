#pragma once
// The about window opened from the frame's bottom panel: program name, version and a small
// animation, nothing more. Its texts follow the program's language.
#include <QWidget>

class QTimer;

namespace tolv {

class TF_About : public QWidget {
  Q_OBJECT
 public:
  explicit TF_About(QWidget* parent = nullptr);
  // The title and hint in the current language (the painted lines take it as they are drawn).
  void applyTexts();
  // The lines drawn below the program's name.
  static QString bodyText();

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
