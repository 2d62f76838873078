#pragma once
// Qt's own file dialogs write the files' dates in the operating system's locale, whatever the
// program uses. While this object lives, every such dialog of the program writes them as the
// program's regional settings do (short date with its full year, long time), so a dialog shows
// the same date as the files and plots it lists.
#include <QObject>

class QFileDialog;

namespace tolv {

class TFileDialogDates : public QObject {
  Q_OBJECT
 public:
  // Watches the application's widgets for file dialogs.
  explicit TFileDialogDates(QObject* parent = nullptr);
  ~TFileDialogDates() override;
  // Gives one dialog the regional dates; does nothing to a native dialog or a second time.
  static void follow(QFileDialog& dialog);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tolv
