#pragma once
// The settings page TSH_Settings of the multi-device window: the scale table with its colour
// grid, the active-device check list with BN_Update, and the visible-windows radio buttons.
// A number cell of the scale table that is not a usable number is marked red with a hint and
// its last valid value stays in use.
#include <QWidget>
#include <functional>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace tolv {

class TMultiCollection;

class TMultiSettingsPage : public QWidget {
  Q_OBJECT
 public:
  // Background of a refused scale cell (red in the low byte) and its text colour.
  static constexpr unsigned kRefusedCellColour = 0x000000FF;

  TMultiSettingsPage(TMultiCollection& coll, QWidget* parent = nullptr);

  // A press on a colour cell (row >= 1): the window opens its colour dialog.
  void setColourCellPressed(std::function<void(int row)> f) { colourPressed_ = std::move(f); }
  // The user toggled a device in the check list.
  void setCheckClicked(std::function<void(int item, bool on)> f) { checkClicked_ = std::move(f); }
  // BN_Update was clicked.
  void setUpdateClicked(std::function<void()> f) { updateClicked_ = std::move(f); }

  void applyTexts();
  void refreshScaleTable();
  void refreshColours();
  // The check list, and beside it what the user's last change of it did beyond the list.
  void refreshCheckList();
  void refreshVisibleMode();
  // Height of the scale table from the room the page has.
  void sizeScaleTable();
  // The check list shows all its items; the group box ends just below it.
  void sizeCheckList();
  // An edit of scale cell (row, column) by the user; false when it was refused and marked.
  bool editScaleCell(int row, int column, const QString& text);
  bool cellRefused(int row, int column) const;
  // A display range cell (column 4 or 5) of a row whose minimum equals its maximum: the axis
  // follows the data, and the cell shows "auto" instead of its number.
  bool rangeFollowsData(int row, int column) const;

  QTableWidget* scaleTable() const { return sgScales_; }
  QTableWidget* colourGrid() const { return dgColours_; }
  QListWidget* checkList() const { return clbActive_; }
  QPushButton* updateButton() const { return bnUpdate_; }
  QLabel* activationNotice() const { return pnNotice_; }

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void markCell(int row, int column, bool refused, const QString& hintText);
  TMultiCollection& coll_;
  bool refreshing_ = false;
  std::function<void(int)> colourPressed_;
  std::function<void(int, bool)> checkClicked_;
  std::function<void()> updateClicked_;

  QGroupBox* gbActive_ = nullptr;
  QListWidget* clbActive_ = nullptr;
  QPushButton* bnUpdate_ = nullptr;
  QLabel* pnNotice_ = nullptr;
  QTableWidget* sgScales_ = nullptr;
  QTableWidget* dgColours_ = nullptr;
  QGroupBox* gbHvxv_ = nullptr;
  QRadioButton* rbHvxv_[4] = {};
};

}  // namespace tolv
