#pragma once
// The plot controls of a device window's cool bar: the plot-mode group (GB_PlotMode with the
// six plot modes, the two auto-scale boxes and the Y-axis synchronisation) and the copy, print
// and standard-size buttons. They show what they are told and report what the user does.
#include <QFrame>
#include <QGroupBox>
#include <QLayout>
#include <QToolButton>
#include <array>

#include "devicewin/panel_scopecontrols_widgets.h"

class QCheckBox;
class QRadioButton;

namespace tolv {

// Lays its items out left to right and starts a new row where the width ends, so the cool
// bar's controls stay reachable in a narrow window.
class TFlowLayout : public QLayout {
 public:
  static constexpr int kMinimumWidth = 60;
  explicit TFlowLayout(QWidget* parent = nullptr, int spacing = 4);
  ~TFlowLayout() override;
  void addItem(QLayoutItem* item) override;
  int count() const override { return int(items_.size()); }
  QLayoutItem* itemAt(int i) const override;
  QLayoutItem* takeAt(int i) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int w) const override { return doLayout(QRect(0, 0, w, 0), true); }
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& r) override;

 private:
  int doLayout(const QRect& r, bool testOnly) const;
  std::vector<QLayoutItem*> items_;
  int spacing_;
};

class TPlotModeGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit TPlotModeGroup(QWidget* parent = nullptr);
  void applyTexts();

  // Update the controls without reporting back.
  void showPlotMode(int mode);
  void showAutoScale(int ch, bool on);
  void showSynchYAxes(bool on);

  QRadioButton* modeButton(int mode) const { return modes_[std::size_t(mode)]; }
  QCheckBox* autoScaleBox(int ch) const { return auto_[std::size_t(ch)]; }
  QCheckBox* synchBox() const { return synch_; }

 signals:
  void plotModeChosen(int mode);
  void autoScaleClicked(int ch, bool on);
  void synchYAxesClicked(bool on);

 private:
  TReentryMark mark_;
  std::array<QRadioButton*, 6> modes_{};
  std::array<QCheckBox*, 2> auto_{};
  QCheckBox* synch_ = nullptr;
};

// A tool button that reports which mouse button went down on it.
class TMouseDownButton : public QToolButton {
  Q_OBJECT
 public:
  using QToolButton::QToolButton;
 signals:
  void mouseDown(Qt::MouseButton button);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
};

class TPlotToolButtons : public QFrame {
  Q_OBJECT
 public:
  explicit TPlotToolButtons(QWidget* parent = nullptr);
  void applyTexts();
  TMouseDownButton* copyButton() const { return copy_; }
  QToolButton* printButton() const { return print_; }
  QToolButton* stdSizeButton() const { return stdSize_; }

 signals:
  void copyRequested(Qt::MouseButton button);
  void printRequested();
  void stdSizeRequested();

 private:
  TMouseDownButton* copy_ = nullptr;
  QToolButton* print_ = nullptr;
  QToolButton* stdSize_ = nullptr;
};

}  // namespace tolv
