#pragma once
// Stored files as pictures without a window: each kind is loaded and handed to the same feeds
// and kernels the device window's sheets and the multi-device window use, and the headline is
// drawn on the picture.
#include <QImage>
#include <QSize>
#include <QString>
#include <filesystem>

#include "measure/datafiles.h"
#include "measure/storedfile.h"

namespace tolv {

namespace fs = std::filesystem;

// The picture of a stored file, as the window's sheet draws it, size w x h. `serial` names the
// device in the headline where the file does not (a .FIL copied out of its device's folder).
StoredProblem renderStoredFile(const fs::path& file, QSize size, char csvColumn, QImage& out,
                               const QString& serial = {});

}  // namespace tolv
