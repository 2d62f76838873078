#pragma once
// The application's hint switch: while hints are off, no tooltip is shown in any window.
#include <QObject>

namespace tolv {

class THintSwitch : public QObject {
  Q_OBJECT
 public:
  // The process-wide switch, installed on the application at first use.
  static THintSwitch& instance();
  void setEnabled(bool on) { enabled_ = on; }
  bool enabled() const { return enabled_; }
  // How long a hint stays up, in ms (0: the toolkit's own choice).
  void setHidePause(int ms) { hidePause_ = ms; }
  int hidePause() const { return hidePause_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  THintSwitch();
  bool enabled_ = true;
  int hidePause_ = 0;
};

// Hint text for a tooltip: the text table joins hint lines with CR LF, tooltips want LF.
QString hintText(const QString& wrapped);

}  // namespace tolv
