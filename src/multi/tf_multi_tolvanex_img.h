#pragma once
// The multi-device window. For now an empty window that can be shown and hidden; the collection
// cycle, the common plot and the files are added to it later. The operations the main frame and
// its boot sequence call exist already and report that nothing is there to do yet.
#include <QWidget>
#include <filesystem>

namespace tolv {

class TTolvanexFormsList;

class TF_Multi_Tolvanex_Img : public QWidget {
  Q_OBJECT
 public:
  // Result of the activation and fill steps when there is nothing to work on.
  static constexpr int kEmptyList = -2230;
  // Result of switching to scope mode without active devices.
  static constexpr int kNoActiveDevices = -1140;

  explicit TF_Multi_Tolvanex_Img(QWidget* parent = nullptr);
  ~TF_Multi_Tolvanex_Img() override;

  // The main frame's device windows (references; the list stays the frame's).
  void setDeviceWindows(const TTolvanexFormsList* list) { devices_ = list; }

  // Boot and frame operations.
  int fillFromDeviceWindows();
  void toggleVisible() { setVisible(!isVisible()); }
  void setDataFileFolder(const std::filesystem::path& folder) { dataFileFolder_ = folder; }
  const std::filesystem::path& dataFileFolder() const { return dataFileFolder_; }
  void layOut();
  void prepareEmptyPlot();
  bool autostart() const;
  int activateCheckedDevices();
  int switchActiveToScopeMode();
  int startRun();
  int activeCount() const { return 0; }

  void applyTexts();

 private:
  const TTolvanexFormsList* devices_ = nullptr;
  std::filesystem::path dataFileFolder_;
};

}  // namespace tolv
