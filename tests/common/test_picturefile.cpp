// Pictures written as PNG or PDF by extension, through the atomic writer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/picturefile.h"

using namespace tolv;
namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class PictureFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tolv_picture_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    image_ = QImage(30, 20, QImage::Format_RGB32);
    image_.fill(Qt::white);
    image_.setPixel(3, 4, qRgb(0, 0, 255));
    image_.setPixel(29, 19, qRgb(255, 0, 0));
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  QImage image_;
};

}  // namespace

TEST_F(PictureFile, FormatFollowsTheExtensionInAnyCase) {
  EXPECT_EQ(pictureFormatOf("a.png"), PictureFormat::Png);
  EXPECT_EQ(pictureFormatOf("a.PnG"), PictureFormat::Png);
  EXPECT_EQ(pictureFormatOf("a.PDF"), PictureFormat::Pdf);
  EXPECT_EQ(pictureFormatOf("a.png.bak"), PictureFormat::Unknown);
  EXPECT_EQ(pictureFormatOf("png"), PictureFormat::Unknown);
}

TEST_F(PictureFile, PngKeepsEveryPixel) {
  const fs::path f = dir_ / "a.PNG";
  ASSERT_EQ(writePictureFile(f, image_), 0);
  const QImage back(QString::fromStdString(f.string()));
  ASSERT_EQ(back.size(), image_.size());
  EXPECT_EQ(back.pixel(3, 4) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(back.pixel(29, 19) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image_);
}

TEST_F(PictureFile, PdfIsOnePageOfThePicturesSize) {
  const fs::path f = dir_ / "a.pdf";
  ASSERT_EQ(writePictureFile(f, image_, QStringLiteral("title")), 0);
  const std::string pdf = slurp(f);
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_NE(pdf.find("/Count 1"), std::string::npos);
  // One point per pixel.
  EXPECT_NE(pdf.find("/MediaBox [0 0 30.000000 20.000000]"), std::string::npos);
}

TEST_F(PictureFile, FailuresLeaveTheOldFileAndNoTemporaryFile) {
  const fs::path f = dir_ / "old.png";
  { std::ofstream(f) << "old"; }
  EXPECT_EQ(writePictureFile(dir_ / "x.jpg", image_), kPictureUnknownFormat);
  EXPECT_EQ(writePictureFile(f, QImage()), kPictureEmpty);
  EXPECT_EQ(writePictureFile(dir_ / "missing" / "a.png", image_), 2);
  EXPECT_EQ(slurp(f), "old");
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir_)) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
}
