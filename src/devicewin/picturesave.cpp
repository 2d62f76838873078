#include "devicewin/picturesave.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "common/paths.h"
#include "common/picturefile.h"
#include "common/resulttext.h"
#include "common/texttable.h"

namespace tolv {

namespace fs = std::filesystem;

QIcon savePictureIcon() {
  QPixmap pm(20, 20);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(1.5, 1.5, 15, 12));
  QPainterPath curve;
  curve.moveTo(3, 8);
  curve.cubicTo(6, 1, 9, 14, 15, 6);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 0, 255), 1.5));
  p.drawPath(curve);
  // The arrow down to the disk: saving, as opposed to copying.
  p.setPen(QPen(QColor(0, 128, 0), 2));
  p.drawLine(QPointF(15, 10), QPointF(15, 18));
  p.drawLine(QPointF(12, 15), QPointF(15, 18));
  p.drawLine(QPointF(18, 15), QPointF(15, 18));
  p.end();
  return QIcon(pm);
}

QString savePictureCaption(int language) {
  return language == 0 ? QStringLiteral("Bild speichern unter…")
                       : QStringLiteral("Save picture as…");
}

QString savePictureHint(int language) {
  return language == 0 ? QStringLiteral("Gezeigtes Bild als PNG oder PDF speichern")
                       : QStringLiteral("Save the picture shown as PNG or PDF");
}

QString savePictureFilters(int language) {
  return language == 0 ? QStringLiteral("PNG-Bild (*.png);;PDF-Dokument (*.pdf)")
                       : QStringLiteral("PNG picture (*.png);;PDF document (*.pdf)");
}

fs::path pictureNameWithExtension(const QString& name, const QString& filter) {
  fs::path p = pathFromText(name);
  if (pictureFormatOf(p) == PictureFormat::Unknown)
    p += filter.contains(QLatin1String("*.pdf")) ? ".pdf" : ".png";
  return p;
}

QString savePictureFailureText(const fs::path& name, int rc, int language) {
  const bool de = language == 0;
  const QString why = resultText(rc, language, ResultContext::Writing);
  return (de ? QStringLiteral("Das Bild konnte nicht in %1 gespeichert werden: %2")
             : QStringLiteral("The picture could not be saved to %1: %2"))
      .arg(pathText(name), why);
}

fs::path askPictureName(QWidget* parent, const QString& startFolder) {
  const int lang = languageIndex();
  QFileDialog dlg(parent, savePictureCaption(lang), startFolder, savePictureFilters(lang));
  dlg.setObjectName(QStringLiteral("SD_SavePicture"));
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  // The dialog adds the chosen filter's extension itself, so it asks before replacing that file.
  dlg.setDefaultSuffix(QStringLiteral("png"));
  QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg](const QString& f) {
    dlg.setDefaultSuffix(f.contains(QLatin1String("*.pdf")) ? QStringLiteral("pdf")
                                                            : QStringLiteral("png"));
  });
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return pictureNameWithExtension(dlg.selectedFiles().constFirst(), dlg.selectedNameFilter());
}

int savePictureAs(QWidget* parent, const QImage& picture, const PictureNameDialog& dialog,
                  const QString& title) {
  const QString folder = pathText(dataRoot());
  const fs::path name = dialog ? dialog(parent, folder) : askPictureName(parent, folder);
  if (name.empty()) return kPictureCancelled;
  const int rc = writePictureFile(name, picture, title);
  // The user must learn that nothing was saved; tests that stand in for the dialog read the code.
  if (rc != 0 && !dialog)
    QMessageBox::warning(parent, savePictureCaption(languageIndex()),
                         savePictureFailureText(name, rc, languageIndex()));
  return rc;
}

}  // namespace tolv
