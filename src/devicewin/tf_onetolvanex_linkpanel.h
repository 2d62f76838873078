#pragma once
// The device window's link state display: the "Read" and "Write" status panels and the debug
// line PN_Test, which lies under the cover panel PN_HideDebug until the user uncovers it.
#include <QColor>
#include <QFrame>

#include "ftdi/device_link.h"

class QLabel;
class QStackedWidget;

namespace tolv {

class TOneTolvanexLinkPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TOneTolvanexLinkPanel(QWidget* parent = nullptr);

  // Shows the link's panel states and debug line.
  void showReadState(TDeviceLink::PanelState state, FtStatus status);
  void showWriteState(TDeviceLink::PanelState state, FtStatus status);
  void showTestLine(const QString& line);
  // A device that went away or may not be opened: a short state beside the panels and what
  // to do below them. An empty state clears both.
  void showLinkMessage(const QString& state, const QString& message);
  QLabel* statePanel() const { return state_; }
  QLabel* messagePanel() const { return message_; }

  // The cover over the debug controls: uncovered by a click on it, covered again by the device
  // window (a click on its I/O status, or registering with the multi-device window).
  void setDebugCovered(bool covered);
  void applyTexts();
  bool debugCovered() const;
  // Page under the cover that the debug controls are added to.
  QWidget* debugPage() const { return debugPage_; }

  QLabel* readPanel() const { return read_; }
  QLabel* writePanel() const { return write_; }
  QLabel* testPanel() const { return test_; }
  QLabel* coverPanel() const { return cover_; }

  static QColor initialColor();
  static QColor greenColor() { return QColor(0x00, 0xFF, 0x00); }
  static QColor redColor() { return QColor(0xFF, 0x00, 0x00); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static void paintPanel(QLabel* panel, const QColor& c, const QString& caption);
  static void showState(QLabel* panel, TDeviceLink::PanelState state, FtStatus status,
                        const QString& idleCaption);

  QLabel* read_ = nullptr;
  QLabel* write_ = nullptr;
  QStackedWidget* debugStack_ = nullptr;
  QLabel* cover_ = nullptr;
  QWidget* debugPage_ = nullptr;
  QLabel* test_ = nullptr;
  QLabel* state_ = nullptr;
  QLabel* message_ = nullptr;
};

}  // namespace tolv
