#pragma once
// The keyboard commands of a window with plots (a device window, the multi-device window):
// one action per command with its keys, usable while the window has the focus, and the keys
// written into the menu entries and the tool tips of the buttons that do the same.
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <vector>

class QAction;
class QTabWidget;
class QWidget;

namespace tolv {

enum class PlotCommand : int {
  StartStop = 0,
  Single,
  Save,
  CopyPicture,
  Print,
  Unzoom,
  ZoomIn,
  ZoomOut,
  NextSheet,
  PreviousSheet,
};
inline constexpr int kPlotCommandCount = 10;

// The next (direction 1) or previous (-1) page of pc that is shown and enabled, round the end.
void stepTab(QTabWidget* pc, int direction);

class TPlotShortcuts : public QObject {
  Q_OBJECT
 public:
  // The actions are added to window, so their keys work wherever the focus is in it.
  explicit TPlotShortcuts(QWidget* window);

  // The keys of a command; the first is the one shown.
  static QList<QKeySequence> keys(PlotCommand c);
  // The command's caption from the text table, in the current language.
  static QString caption(PlotCommand c);

  // Makes the action of c run f. Returns it (named MI_<command>).
  QAction* add(PlotCommand c, std::function<void()> f);
  QAction* action(PlotCommand c) const { return actions_[std::size_t(int(c))]; }
  // The widget's tool tip gets a last line with the keys of the commands (the caption first
  // when there are several); call applyTexts after the widget's own texts changed.
  void decorate(QWidget* w, std::vector<PlotCommand> cs);
  // Captions of the actions and the key lines of the decorated tool tips.
  void applyTexts();

 private:
  QWidget* window_;
  std::array<QAction*, kPlotCommandCount> actions_{};
  struct Decorated {
    QPointer<QWidget> widget;
    std::vector<PlotCommand> commands;
    QString suffix;  // what was appended last, so it is not appended twice
  };
  std::vector<Decorated> decorated_;
};

}  // namespace tolv
