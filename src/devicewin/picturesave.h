#pragma once
// "Save picture as…" beside copy and print: the texts in the window's language, the file
// dialog (PNG or PDF, starting in the data root) and the saving through the atomic writer.
// Windows pass the picture they show; tests replace the dialog by a function.
#include <QIcon>
#include <QImage>
#include <QString>
#include <filesystem>
#include <functional>

class QWidget;

namespace tolv {

// Result of a save the user cancelled in the dialog.
inline constexpr int kPictureCancelled = -1111;

// The tool buttons' icon: a small framed picture with a curve and a down arrow (save).
QIcon savePictureIcon();

// "Bild speichern unter…" (German, language 0) or "Save picture as…" (the others).
QString savePictureCaption(int language);
QString savePictureHint(int language);
// The two filters of the dialog, PNG first.
QString savePictureFilters(int language);

// The chosen name with the extension of the chosen filter when it has neither ".png" nor
// ".pdf" (any case): "plot" with the PDF filter becomes "plot.pdf".
std::filesystem::path pictureNameWithExtension(const QString& name, const QString& filter);

// Asks for the name: parent, start folder; returns the name with the chosen filter's
// extension, or an empty path when cancelled.
using PictureNameDialog = std::function<std::filesystem::path(QWidget*, const QString&)>;
std::filesystem::path askPictureName(QWidget* parent, const QString& startFolder);

// What a failed save tells the user: the file and the reason, in words.
QString savePictureFailureText(const std::filesystem::path& name, int rc, int language);

// Asks (through `dialog`, the real one when empty) and writes the picture. 0,
// kPictureCancelled, or the picture writer's code; with the real dialog a failure is also shown
// in a message box.
int savePictureAs(QWidget* parent, const QImage& picture, const PictureNameDialog& dialog,
                  const QString& title);

}  // namespace tolv
