#include "app/qttexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tolv {

TQtTexts::TQtTexts(QString folder)
    : folder_(folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath)
                               : std::move(folder)),
      translator_(std::make_unique<QTranslator>()) {}

TQtTexts::~TQtTexts() {
  if (installed_ && QCoreApplication::instance())
    QCoreApplication::removeTranslator(translator_.get());
}

bool TQtTexts::apply(int language) {
  if (!QCoreApplication::instance()) return false;
  const bool want = language == 0;
  if (want && !loaded_) loaded_ = translator_->load(QStringLiteral("qtbase_de"), folder_);
  if (want && loaded_ && !installed_)
    installed_ = QCoreApplication::installTranslator(translator_.get());
  else if (!want && installed_) {
    QCoreApplication::removeTranslator(translator_.get());
    installed_ = false;
  }
  return installed_;
}

}  // namespace tolv
