#pragma once
// Qt's own texts (the buttons of standard message boxes, the file, colour and print dialogs) in
// the program's language: Qt's German catalogue "qtbase_de.qm" is installed while German is
// chosen. Where the catalogue is missing Qt's texts simply stay English.
#include <QString>
#include <memory>

class QTranslator;

namespace tolv {

class TQtTexts {
 public:
  // folder: where the catalogue is looked for; empty means Qt's own translations folder.
  explicit TQtTexts(QString folder = QString());
  ~TQtTexts();
  TQtTexts(const TQtTexts&) = delete;
  TQtTexts& operator=(const TQtTexts&) = delete;

  // Follows the program's language (0 German, 1 English, 2 third language): true when Qt's
  // texts are German afterwards. Needs the application object.
  bool apply(int language);
  bool german() const { return installed_; }

 private:
  QString folder_;
  std::unique_ptr<QTranslator> translator_;
  bool loaded_ = false;  // the catalogue was read once
  bool installed_ = false;
};

}  // namespace tolv
