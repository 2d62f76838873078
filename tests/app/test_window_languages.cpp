// Every text a user can read in the main frame, the device windows and the multi-device window
// (captions, hints, titles, tab, menu and grid texts) follows the chosen language: no German
// word under English, no English-only caption under German.
#include <QAbstractButton>
#include <QApplication>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include "common/texttable.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "frame_fixture.h"
#include "multi/multi_statusgrid.h"
#include "multi/multicollect.h"
#include "multi/tf_multi_tolvanex_img.h"

namespace tolv::testing {
namespace {

struct Shown {
  QString where;
  QString text;
};

void note(std::vector<Shown>& out, const QObject* o, const char* what, const QString& t) {
  if (!t.trimmed().isEmpty())
    out.push_back({o->objectName() + QLatin1Char('.') + QLatin1String(what), t});
}

// What the user can read on w and everything inside it.
std::vector<Shown> textsOf(QWidget* top) {
  std::vector<Shown> out;
  QList<QWidget*> all = top->findChildren<QWidget*>();
  all.prepend(top);
  for (QWidget* w : all) {
    note(out, w, "title", w->windowTitle());
    note(out, w, "hint", w->toolTip());
    note(out, w, "status", w->statusTip());
    if (auto* b = qobject_cast<QAbstractButton*>(w)) note(out, w, "text", b->text());
    if (auto* l = qobject_cast<QLabel*>(w)) note(out, w, "text", l->text());
    if (auto* g = qobject_cast<QGroupBox*>(w)) note(out, w, "title", g->title());
    if (auto* e = qobject_cast<QLineEdit*>(w)) note(out, w, "placeholder", e->placeholderText());
    if (auto* m = qobject_cast<QMenu*>(w)) note(out, w, "menu", m->title());
    if (auto* c = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) note(out, w, "item", c->itemText(i));
    if (auto* t = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < t->count(); ++i) {
        note(out, w, "tab", t->tabText(i));
        note(out, w, "tabhint", t->tabToolTip(i));
      }
    if (auto* g = qobject_cast<QTableWidget*>(w)) {
      for (int c = 0; c < g->columnCount(); ++c)
        if (const QTableWidgetItem* h = g->horizontalHeaderItem(c)) note(out, w, "head", h->text());
      for (int r = 0; r < g->rowCount(); ++r)
        for (int c = 0; c < g->columnCount(); ++c)
          if (const QTableWidgetItem* it = g->item(r, c)) {
            note(out, w, "cell", it->text());
            note(out, w, "cellhint", it->toolTip());
          }
    }
    if (auto* t = qobject_cast<QTreeWidget*>(w)) {
      for (int c = 0; c < t->columnCount(); ++c) note(out, w, "head", t->headerItem()->text(c));
      for (int r = 0; r < t->topLevelItemCount(); ++r)
        for (int c = 0; c < t->columnCount(); ++c) note(out, w, "row", t->topLevelItem(r)->text(c));
    }
  }
  for (const QAction* a : top->findChildren<QAction*>()) {
    note(out, a, "action", a->text());
    note(out, a, "actionhint", a->toolTip());
  }
  return out;
}

// German-only spellings: umlauts and sharp s, and words that no English text of the program
// contains.
const QRegularExpression& germanMark() {
  static const QRegularExpression re(
      QStringLiteral("[äöüÄÖÜß]|Kanal|Oszill|drucken|Logik|Aufnahme|zeichnen|Speichern|"
                     "Skalen|schwelle|Kommentar|Einstellung|Datei|\\bAUS\\b|\\bGerät"));
  return re;
}

// Captions the program carries in English only when German is not chosen.
const QRegularExpression& englishMark() {
  static const QRegularExpression re(
      QStringLiteral("Print scope image|Standard size|Plot Mode|commands in queue|"
                     "Aux Divider|uncover debug|polling time|\\bChannel\\b|Oscillograph|"
                     "\\bDevice \\d|Logging:|\\bOFF\\b|Plot options|scale start"));
  return re;
}

std::string offenders(const std::vector<Shown>& texts, const QRegularExpression& re) {
  std::string s;
  for (const Shown& t : texts)
    if (re.match(t.text).hasMatch())
      s += (t.where + QStringLiteral(": ") + t.text.left(80) + QLatin1Char('\n')).toStdString();
  return s;
}

class WindowLanguages : public FrameTest {
 protected:
  std::vector<Shown> everything() {
    std::vector<Shown> all = textsOf(frame_.get());
    for (int i = 0; i < frame_->deviceWindows().count(); ++i) {
      auto t = textsOf(window(i));
      all.insert(all.end(), t.begin(), t.end());
    }
    auto m = textsOf(frame_->multiWindow());
    all.insert(all.end(), m.begin(), m.end());
    return all;
  }
};

TEST_F(WindowLanguages, EnglishShowsNoGermanAndGermanNoEnglishOnlyCaption) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  ASSERT_EQ(f.deviceWindows().count(), 2);
  f.setLanguage(kLanguageEnglish);
  // The channel cells of the multi-device status grid, filled as in a run.
  auto* grid = f.multiWindow()->findChild<TMultiStatusGrid*>(QStringLiteral("DG_"));
  ASSERT_NE(grid, nullptr);
  MultiStatusRow row;
  row.serial = QStringLiteral("A1");
  row.filled = true;
  grid->showRows({row});
  const auto english = everything();
  ASSERT_GT(english.size(), 200u);  // the walk reaches the panels, not just the frames
  EXPECT_EQ(offenders(english, germanMark()), "");

  f.setLanguage(kLanguageGerman);
  grid->showRows({row});
  const auto german = everything();
  EXPECT_EQ(offenders(german, englishMark()), "");
  // The marks find what they look for: the walk is not blind.
  EXPECT_NE(offenders(german, germanMark()), "");
  f.setLanguage(kLanguageEnglish);
  grid->showRows({row});
  EXPECT_NE(offenders(everything(), englishMark()), "");
}

// Captions that are cut: a label, button or value panel shown narrower than its text asks.
// Elided or wrapped texts and the deliberately narrow drop-downs of the settings column are
// not captions of this kind.
std::string cutCaptions(QWidget* top) {
  std::string s;
  for (QWidget* w : top->findChildren<QWidget*>()) {
    if (!w->isVisible() || w->window() != top) continue;
    QString t;
    if (auto* l = qobject_cast<QLabel*>(w)) {
      if (l->wordWrap() || !l->pixmap().isNull()) continue;
      t = l->text();
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      t = b->text();
    } else {
      continue;
    }
    if (t.trimmed().isEmpty()) continue;
    // A push button's hint asks for the style's usual button width; its text needs less.
    const int need = qobject_cast<QPushButton*>(w)
                         ? w->fontMetrics().horizontalAdvance(t) + 4
                         : w->sizeHint().width();
    if (w->width() < need)
      s += (w->objectName() + QStringLiteral(" \"") + t + QStringLiteral("\" ") +
            QString::number(w->width()) + QStringLiteral(" < ") + QString::number(need) +
            QLatin1Char('\n'))
               .toStdString();
  }
  return s;
}

// Under either language, at the size a device window opens with, no caption of the frame and
// the device windows is cut, on the scope's sheets and while it stops.
TEST_F(WindowLanguages, NoCaptionIsCutInEitherLanguage) {
  driver_ = std::make_unique<TSimulatedDriver>(1, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  ASSERT_EQ(f.deviceWindows().count(), 1);
  TF_OneTolvanex* w = window(0);
  f.show();
  w->show();
  w->restoreDefaultSize();
  for (int language : {kLanguageGerman, kLanguageEnglish}) {
    SCOPED_TRACE(language);
    f.setLanguage(language);
    for (int sheet = 0; sheet < w->pageControl()->count(); ++sheet) {
      SCOPED_TRACE(sheet);
      w->pageControl()->setCurrentIndex(sheet);
      QApplication::processEvents();
      EXPECT_EQ(cutCaptions(&f), "");
      EXPECT_EQ(cutCaptions(w), "");
    }
    w->runPanel()->showStop({true, 100, false});
    QApplication::processEvents();
    EXPECT_EQ(cutCaptions(w), "");
    w->runPanel()->showStop({});
  }
}

}  // namespace
}  // namespace tolv::testing
