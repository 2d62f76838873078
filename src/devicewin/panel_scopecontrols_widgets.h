#pragma once
// Small building blocks of the settings panels: clickable text panels, hint and name helpers,
// and the re-entry mark that keeps a programmatic update from firing a control's handler.
#include <QLabel>
#include <QMouseEvent>
#include <QString>

#include "common/colours.h"

namespace tolv {

// A framed text panel ("PN_"); a left click inside it emits clicked().
class TClickPanel : public QLabel {
  Q_OBJECT
 public:
  explicit TClickPanel(const QString& name, QWidget* parent = nullptr);
  // Background colour with the contrasting font colour.
  void setColour(ColorRef c);
  // The platform's button-face colour.
  void setButtonFace();
  ColorRef colour() const { return colour_; }

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  ColorRef colour_ = kWhite;
  bool pressed_ = false;
};

// Hint from the text table: wrapped, with the table's CR LF as plain line ends.
QString hintText(int id);
// Caption of a group box: the text framed by one blank on each side.
QString groupCaption(int id);
// The channels' names in the current language as the text table (and so the settings) gives
// them, short ("K1", "C1") and long ("Kanal 1", "Channel 1"); ch is 0 or 1.
QString channelShortName(int ch);
QString channelName(int ch);

// Re-entry mark: set while the panel moves its own controls; handlers check it.
class TReentryMark {
 public:
  bool isSet() const { return depth_ > 0; }
  class Scope {
   public:
    explicit Scope(TReentryMark& m) : m_(m) { ++m_.depth_; }
    ~Scope() { --m_.depth_; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    TReentryMark& m_;
  };

 private:
  int depth_ = 0;
};

}  // namespace tolv
