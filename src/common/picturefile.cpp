#include "common/picturefile.h"

#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <span>

#include "common/atomicfile.h"

namespace tolv {

namespace {

// One point per pixel: page sizes are whole points, so the page fits the picture exactly.
constexpr int kPdfDpi = 72;

QByteArray encodePdf(const QImage& image, const QString& title) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  {
    QPdfWriter pdf(&buffer);
    pdf.setResolution(kPdfDpi);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Multi_Tolvanex"));
    const QSizeF points(image.width(), image.height());
    pdf.setPageSize(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p;
    if (!p.begin(&pdf)) return {};
    // Device pixels of the writer are dots at kPdfDpi: one picture pixel each.
    p.drawImage(QRect(0, 0, image.width(), image.height()), image);
    if (!p.end()) return {};
  }
  return bytes;
}

}  // namespace

QByteArray encodePicture(const QImage& image, PictureFormat format, const QString& title) {
  if (image.isNull()) return {};
  if (format == PictureFormat::Pdf) return encodePdf(image, title);
  if (format != PictureFormat::Png) return {};
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  // Quality 80 is zlib level 1: a third faster than the default and lossless all the same.
  if (!image.save(&buffer, "PNG", 80)) return {};
  return bytes;
}

int writePictureFile(const std::filesystem::path& name, const QImage& image, const QString& title) {
  const PictureFormat f = pictureFormatOf(name);
  if (f == PictureFormat::Unknown) return kPictureUnknownFormat;
  if (image.isNull()) return kPictureEmpty;
  const QByteArray bytes = encodePicture(image, f, title);
  if (bytes.isEmpty()) return kPictureEncodeFailed;
  return writeFileAtomically(
      name, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                      std::size_t(bytes.size())));
}

}  // namespace tolv
