#pragma once
// Writing a picture to a PNG or PDF file, chosen by the extension. The bytes are made in memory
// and go through the atomic writer, so a failure never leaves a half picture over an old one.
#include <QImage>
#include <QString>
#include <filesystem>

namespace tolv {

enum class PictureFormat { Unknown, Png, Pdf };

// By extension, in any case: ".png" or ".pdf"; anything else is Unknown. Inline, so checking a
// command line's output name needs no image code.
inline PictureFormat pictureFormatOf(const std::filesystem::path& name) {
  const QString ext = QString::fromStdString(name.extension().string()).toLower();
  if (ext == QLatin1String(".png")) return PictureFormat::Png;
  if (ext == QLatin1String(".pdf")) return PictureFormat::Pdf;
  return PictureFormat::Unknown;
}

// Result codes besides 0 and the file system's error numbers.
inline constexpr int kPictureUnknownFormat = -1301;  // neither .png nor .pdf
inline constexpr int kPictureEmpty = -1302;          // a null image
inline constexpr int kPictureEncodeFailed = -1303;   // the encoder gave no bytes

// The encoded bytes (PNG, or a one-page PDF showing the picture on a page of its own size, one
// point per pixel); empty when the format is unknown or encoding failed.
QByteArray encodePicture(const QImage& image, PictureFormat format, const QString& title = {});

// Encodes and writes atomically: 0, one of the codes above, or the file system's number.
int writePictureFile(const std::filesystem::path& name, const QImage& image,
                     const QString& title = {});

}  // namespace tolv
