// Shared main of every test program: one QApplication on the offscreen platform,
// so widget tests and plain tests run alike without a display.
#include <QApplication>
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");  // as the program does: file numbers keep their dot
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
