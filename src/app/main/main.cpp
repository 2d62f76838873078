// Program entry: for now an empty main frame titled after the application.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Multi_Tolvanex");
  QMainWindow frame;
  frame.setObjectName("TF_MultiTolvanexFrame");
  frame.setWindowTitle("Multi_Tolvanex");
  frame.resize(800, 500);
  frame.show();
  return app.exec();
}
