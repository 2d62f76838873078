#pragma once
// The plot controls of a device window's cool bar: the plot-mode group (GB_PlotMode with the
// six plot modes, the two auto-scale boxes and the Y-axis synchronisation) and the copy, print
// and standard-size buttons. They show what they are told and report what the user does.
#include <QFrame>
#include <QGroupBox>
#include <QToolButton>
#include <array>
#include <vector>

#include "devicewin/panel_scopecontrols_widgets.h"

class QCheckBox;
class QRadioButton;

namespace tolv {

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
  QToolButton* savePictureButton() const { return savePicture_; }

 signals:
  void copyRequested(Qt::MouseButton button);
  void printRequested();
  void savePictureRequested();
  void stdSizeRequested();

 private:
  TMouseDownButton* copy_ = nullptr;
  QToolButton* print_ = nullptr;
  QToolButton* savePicture_ = nullptr;
  QToolButton* stdSize_ = nullptr;
};

}  // namespace tolv
