#include "app/filedialogdates.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>

#include "common/regional.h"

namespace tolv {

namespace {

// The dialog's file list with the date column in the regional formats.
class TRegionalDatesModel : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  static constexpr int kDateColumn = 3;  // name, size, type, date modified

  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole && index.column() == kDateColumn) {
      if (const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel())) {
        const QDateTime t = files->lastModified(mapToSource(index));
        if (t.isValid()) {
          const RegionalSettings& r = regional();
          return t.toString(RegionalSettings::fullYear(r.shortDateFormat()) + QLatin1Char(' ') +
                            r.longTimeFormat());
        }
      }
    }
    return QIdentityProxyModel::data(index, role);
  }
};

}  // namespace

TFileDialogDates::TFileDialogDates(QObject* parent) : QObject(parent) {
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

TFileDialogDates::~TFileDialogDates() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void TFileDialogDates::follow(QFileDialog& dialog) {
  if (dynamic_cast<TRegionalDatesModel*>(dialog.proxyModel())) return;
  dialog.setProxyModel(new TRegionalDatesModel(&dialog));
}

bool TFileDialogDates::eventFilter(QObject* watched, QEvent* event) {
  // Polished once, before it is first shown: the list has not been drawn yet.
  if (event->type() == QEvent::Polish)
    if (auto* d = qobject_cast<QFileDialog*>(watched)) follow(*d);
  return false;
}

}  // namespace tolv
