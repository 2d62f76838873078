#pragma once
// The evaluation page TSH_Dornell of the multi-device window. It is created hidden and no
// computation reads it; its edit fields colour themselves green or red as their text is a
// number inside its range or not.
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

namespace tolv {

class TMultiDornellPage : public QWidget {
  Q_OBJECT
 public:
  explicit TMultiDornellPage(QWidget* parent = nullptr);
  QTableWidget* grid() const { return grid_; }
  QTableWidget* colourGrid() const { return colours_; }
  // Makes both grids rows long; column 0 of grid row r gets names[r - 1].
  void setRows(const QStringList& names);
  // Empties column 1 (at the start of every cycle).
  void clearResults();
  // Green for a number inside (lower, upper], red otherwise; the text contrasts.
  static bool validate(QLineEdit* e, double lower, double upper);
  // Captions in the current language.
  void applyTexts();

 private:
  QLineEdit* edit(const char* name, const QString& text, double lower, double upper);
  QTableWidget* grid_ = nullptr;
  QTableWidget* colours_ = nullptr;
  QTimer* colourTimer_ = nullptr;
  QLineEdit* comment_ = nullptr;
  QGroupBox* threshold_ = nullptr;
  QGroupBox* options_ = nullptr;
  QLabel* limitLabels_[4] = {};
  QCheckBox* power_ = nullptr;
  QCheckBox* work_ = nullptr;
};

}  // namespace tolv
