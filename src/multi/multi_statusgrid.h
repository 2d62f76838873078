#pragma once
// The status grid DG_ of the multi-device window: one row per active device with its serial,
// the colours of its two channels once its record of the cycle came, and its trigger moment
// relative to the cycle's first device. A device that sent nothing is marked. Up to
// kVisibleRows rows are shown at once; more scroll, and the grid scrolls to a missing device.
// Without active devices it is hidden and keeps its room.
#include <QStringList>
#include <QTableWidget>
#include <vector>

namespace tolv {

struct MultiStatusRow;
enum class MultiMiss;

class TMultiStatusGrid : public QTableWidget {
  Q_OBJECT
 public:
  static constexpr int kVisibleRows = 8;
  static constexpr int kRowHeight = 18;
  static constexpr int kColourColumnWidth = 56;
  static constexpr int kDeltaColumn = 3;
  // Background of a device that did not deliver: a light red the row reads on.
  static constexpr unsigned kMissingColour = 0x00C8C8FF;  // red in the low byte

  explicit TMultiStatusGrid(QWidget* parent = nullptr);

  void showRows(const std::vector<MultiStatusRow>& rows);
  void applyTexts();
  // Room the grid keeps for the devices that can become active (rows, at most kVisibleRows,
  // and the width of their serials), hidden or not, so checking devices one by one never moves
  // the pages below nor widens the window.
  void setRoom(const QStringList& serials);

  // "+1.234 ms" for a trigger 1.234 ms after the first device's; seconds from 1 s on.
  // dec: the decimal mark shown.
  // digits: fraction-of-second digits the trigger moments were known to (6: microseconds).
  static QString deltaText(double seconds, QChar dec, int digits = 6);
  // The trigger cell's word for a device that gave no record, and its hint.
  static QString missCaption(MultiMiss why);
  static QString missHint(MultiMiss why);

 private:
  void fitSize();
  std::size_t rows_ = 0;
  int roomRows_ = 0;
  QStringList roomSerials_;
};

}  // namespace tolv
