#include "multi/tf_multi_tolvanex_img.h"

#include "common/texttable.h"
#include "devicewin/tf_onetolvanex_formslist.h"

namespace tolv {

TF_Multi_Tolvanex_Img::TF_Multi_Tolvanex_Img(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TF_Multi_Tolvanex_Img"));
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(900, 600);
  applyTexts();
}

TF_Multi_Tolvanex_Img::~TF_Multi_Tolvanex_Img() = default;

// The device check list and scale rows are not built yet: report an empty list.
int TF_Multi_Tolvanex_Img::fillFromDeviceWindows() {
  return kEmptyList;
}

// The window holds no controls yet, so there is nothing to lay out or to draw.
void TF_Multi_Tolvanex_Img::layOut() {}

void TF_Multi_Tolvanex_Img::prepareEmptyPlot() {}

bool TF_Multi_Tolvanex_Img::autostart() const {
  return false;
}

// Nothing can be checked yet, so nothing becomes active.
int TF_Multi_Tolvanex_Img::activateCheckedDevices() {
  return kEmptyList;
}

int TF_Multi_Tolvanex_Img::switchActiveToScopeMode() {
  return kNoActiveDevices;
}

int TF_Multi_Tolvanex_Img::startRun() {
  return kNoActiveDevices;
}

void TF_Multi_Tolvanex_Img::applyTexts() {
  setWindowTitle(text(242));
}

}  // namespace tolv
