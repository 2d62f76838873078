#include "devicewin/plotshortcuts.h"

#include <QAction>
#include <QTabWidget>
#include <QWidget>

#include "common/texttable.h"

namespace tolv {

namespace {

struct CommandDef {
  const char* name;
  int textId;
};
// Texts 333..342 of the text table, in command order.
constexpr CommandDef kCommands[kPlotCommandCount] = {
    {"MI_StartStop", 333}, {"MI_Single", 334},  {"MI_Save", 335},      {"MI_CopyPicture", 336},
    {"MI_Print", 337},     {"MI_Unzoom", 338},  {"MI_ZoomIn", 339},    {"MI_ZoomOut", 340},
    {"MI_NextSheet", 341}, {"MI_PreviousSheet", 342},
};

const CommandDef& def(PlotCommand c) {
  return kCommands[std::size_t(int(c))];
}

}  // namespace

void stepTab(QTabWidget* pc, int direction) {
  const int n = pc->count();
  int i = pc->currentIndex();
  for (int k = 0; k < n; ++k) {
    i = ((i + direction) % n + n) % n;
    if (pc->isTabVisible(i) && pc->isTabEnabled(i)) {
      pc->setCurrentIndex(i);
      return;
    }
  }
}

TPlotShortcuts::TPlotShortcuts(QWidget* window) : QObject(window), window_(window) {
  setObjectName(QStringLiteral("TPlotShortcuts"));
}

QList<QKeySequence> TPlotShortcuts::keys(PlotCommand c) {
  switch (c) {
    case PlotCommand::StartStop:
      return {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)};
    case PlotCommand::Single:
      return {QKeySequence(Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)};
    case PlotCommand::Save:
      return QKeySequence::keyBindings(QKeySequence::Save);
    case PlotCommand::CopyPicture:
      return QKeySequence::keyBindings(QKeySequence::Copy);
    case PlotCommand::Print:
      return QKeySequence::keyBindings(QKeySequence::Print);
    case PlotCommand::Unzoom:
      return {QKeySequence(Qt::CTRL | Qt::Key_0)};
    case PlotCommand::ZoomIn:
      return QKeySequence::keyBindings(QKeySequence::ZoomIn);
    case PlotCommand::ZoomOut:
      return QKeySequence::keyBindings(QKeySequence::ZoomOut);
    case PlotCommand::NextSheet:
      return {QKeySequence(Qt::CTRL | Qt::Key_PageDown), QKeySequence(Qt::CTRL | Qt::Key_Tab)};
    case PlotCommand::PreviousSheet:
      return {QKeySequence(Qt::CTRL | Qt::Key_PageUp),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)};
  }
  return {};
}

QString TPlotShortcuts::caption(PlotCommand c) {
  return text(def(c).textId);
}

QAction* TPlotShortcuts::add(PlotCommand c, std::function<void()> f) {
  QAction*& a = actions_[std::size_t(int(c))];
  if (!a) {
    a = new QAction(window_);
    a->setObjectName(QString::fromLatin1(def(c).name));
    a->setShortcuts(keys(c));
    a->setShortcutContext(Qt::WindowShortcut);
    a->setText(caption(c));
    window_->addAction(a);
  }
  disconnect(a, &QAction::triggered, nullptr, nullptr);
  connect(a, &QAction::triggered, this, [f = std::move(f)] { f(); });
  return a;
}

void TPlotShortcuts::decorate(QWidget* w, std::vector<PlotCommand> cs) {
  if (!w || cs.empty()) return;
  decorated_.push_back(Decorated{w, std::move(cs), QString()});
  applyTexts();
}

void TPlotShortcuts::applyTexts() {
  for (int i = 0; i < kPlotCommandCount; ++i)
    if (actions_[std::size_t(i)]) actions_[std::size_t(i)]->setText(caption(PlotCommand(i)));
  for (Decorated& d : decorated_) {
    if (!d.widget) continue;
    QStringList parts;
    for (PlotCommand c : d.commands) {
      const QString k = keys(c).value(0).toString(QKeySequence::NativeText);
      parts << (d.commands.size() > 1 ? caption(c) + QStringLiteral(": ") + k : k);
    }
    const QString suffix = QStringLiteral("\n(") + parts.join(QStringLiteral(", ")) +
                           QLatin1Char(')');
    QString tip = d.widget->toolTip();
    // The widget's own text may have been set again meanwhile (a language change).
    if (!d.suffix.isEmpty() && tip.endsWith(d.suffix)) tip.chop(d.suffix.size());
    const QString shown = tip.isEmpty() ? suffix.mid(1) : tip + suffix;
    d.widget->setToolTip(shown);
    d.suffix = tip.isEmpty() ? shown : suffix;
  }
}

}  // namespace tolv
