#include "devicewin/sheets_plots.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QTabWidget>
#include <QTimer>

#include "devicewin/panel_scopecontrols_widgets.h"
#include "devicewin/plotshortcuts.h"
#include "devicewin/repaintpacer.h"

namespace tolv {

namespace {

struct ImageDef {
  const char* name;
  int hintId;
};
// By page; the settings page has no image.
constexpr ImageDef kImages[6] = {{"IM_Chart", 191},     {nullptr, 0},
                                 {"IM_OSA0_Data", 209}, {"IM_LAIO_Data", 209},
                                 {"IM_DLA0_Data", 211}, {"IM_DLDI_Data", 213}};

// What the timing diagrams draw before the window's data is attached.
const TLogAnalList& emptyList() {
  static const TLogAnalList list;
  return list;
}

constexpr int kCurveNavHint = 331;
constexpr int kTimingNavHint = 332;

int idx(PlotSheet s) {
  return int(s);
}

bool printWithDialog(QPrinter& printer, QWidget* parent) {
  QPrintDialog dlg(&printer, parent);
  dlg.setObjectName(QStringLiteral("PD_"));
  return dlg.exec() == QDialog::Accepted;
}

// The kernel's shift-state bits of a mouse event.
int shiftBits(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  int s = 0;
  if (mods & Qt::ShiftModifier) s |= kShiftShift;
  if (mods & Qt::AltModifier) s |= kShiftAlt;
  if (buttons & Qt::LeftButton) s |= kShiftLeft;
  if (buttons & Qt::RightButton) s |= kShiftRight;
  return s;
}

// A timing diagram's fresh picture at the image's size and its screen's pixel ratio.
void prepareOn(TLogAnalPlot& p, QLabel* im) {
  p.setDevicePixelRatio(im->devicePixelRatioF());
  p.prepare(im->size());
}

int kernelButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton:
      return kMouseLeft;
    case Qt::RightButton:
      return kMouseRight;
    case Qt::MiddleButton:
      return kMouseMiddle;
    default:
      return kMouseNone;
  }
}

int plotFamily(int plotMode) {
  return plotMode == kPlotK1vsK0 || plotMode == kPlotK0vsK1 ? plotMode : 0;
}

TPlotSheets::AxisRanges axisRanges(TGenD2ImgKernel& k, int family) {
  TPlotSheets::AxisRanges r;
  for (const bool x : {true, false}) {
    TAxWorldDataLst& list = x ? k.XAxes() : k.YAxes();
    for (int i = 0; i < list.Count(); ++i) {
      const AxisWorldData* a = list.Get(i);
      r.emplace(std::make_tuple(family, x, a->unit, int(a->minimum.kind)),
                std::make_pair(a->minimum, a->maximum));
    }
  }
  return r;
}

// Puts the kept ranges on the merged axes of matching unit, and on the curves' own axes.
void applyRanges(TGenD2ImgKernel& k, const TPlotSheets::AxisRanges& kept, int family, bool withY) {
  for (const bool x : {true, false}) {
    if (!x && !withY) continue;
    TAxWorldDataLst& list = x ? k.XAxes() : k.YAxes();
    for (int i = 0; i < list.Count(); ++i) {
      AxisWorldData* a = list.Get(i);
      const auto it = kept.find(std::make_tuple(family, x, a->unit, int(a->minimum.kind)));
      if (it == kept.end()) continue;
      a->minimum = it->second.first;
      a->maximum = it->second.second;
    }
  }
  for (int i = 0; i < k.DataSetCount(); ++i) {
    TGenD2DataSet& ds = *k.Get(i);
    for (auto [own, merged] : {std::pair{&ds.xAxis, ds.mergedX}, std::pair{&ds.yAxis, ds.mergedY}})
      if (merged) {
        own->minimum = merged->minimum;
        own->maximum = merged->maximum;
      }
  }
}

}  // namespace

TPlotSheets::TPlotSheets(QTabWidget* pageControl, ITimer& unzoomTimer, QWidget* window)
    : QObject(pageControl),
      pc_(pageControl),
      unzoom_(unzoomTimer),
      logicList_(&emptyList()),
      ioList_(&emptyList()),
      window_(window),
      scope_(std::make_unique<TGenD2ImgKernel>()),
      logger_(std::make_unique<TGenD2ImgKernel>()),
      chart_(std::make_unique<TGenD2ImgKernel>()),
      printRunner_(printWithDialog) {
  setObjectName(QStringLiteral("TPlotSheets"));
  for (int i = 0; i < 6 && i < pc_->count(); ++i) {
    QWidget* pg = pc_->widget(i);
    pg->installEventFilter(this);
    if (!kImages[i].name) continue;
    auto* im = new QLabel(pg);
    im->setObjectName(QString::fromLatin1(kImages[i].name));
    im->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    im->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    im->setAutoFillBackground(true);
    im->setStyleSheet(QStringLiteral("background: white;"));
    im->setGeometry(pg->rect());
    im->installEventFilter(this);
    im->lower();
    images_[std::size_t(i)] = im;
  }
  // Hidden pages get no resize events until shown: the page control reports every resize.
  pc_->installEventFilter(this);
  // The unzoom window closes by itself.
  unzoom_.setInterval(kUnzoomWindowMs);
  unzoom_.setHandler([this] { unzoom_.stop(); });
  attachLists(emptyList(), emptyList());
  for (TGenD2ImgKernel* k : {scope_.get(), logger_.get(), chart_.get()}) k->SetImageSize(1, 1);
  applyTexts();
}

TPlotSheets::~TPlotSheets() {
  unzoom_.stop();
  unzoom_.setHandler({});
}

void TPlotSheets::attachLists(const TLogAnalList& logicList, const TLogAnalList& ioList) {
  logicList_ = &logicList;
  ioList_ = &ioList;
  logic_ = std::make_unique<TLogAnalPlot>(logicList);
  io_ = std::make_unique<TLogAnalPlot>(ioList);
  logic_->setOwner(window_);
  io_->setOwner(window_);
  drawn_[std::size_t(idx(PlotSheet::Logic))] = drawn_[std::size_t(idx(PlotSheet::IoLogger))] = false;
  // The last device's diagrams must not stay on screen (nor be copied) in place of the new ones.
  presentLogic(PlotSheet::Logic);
  presentLogic(PlotSheet::IoLogger);
}

void TPlotSheets::applyTexts() {
  for (int i = 0; i < 6; ++i)
    if (images_[std::size_t(i)]) {
      // The wheel and cursor rules follow the button rules of the image.
      const bool timing = i == idx(PlotSheet::Logic) || i == idx(PlotSheet::IoLogger);
      images_[std::size_t(i)]->setToolTip(hintText(kImages[i].hintId) + QLatin1Char('\n') +
                                          hintText(timing ? kTimingNavHint : kCurveNavHint));
    }
}

void TPlotSheets::unzoom(PlotSheet s) {
  if (!drawn_[std::size_t(idx(s))]) return;
  if (TGenD2ImgKernel* k = kernelOf(s)) {
    if (k->DataSetCount() == 0) return;
    k->RedrawAutoRange(nullptr);
    rememberView(s);
    presentKernel(s);
  } else if (TLogAnalPlot* p = logicOf(s)) {
    prepareOn(*p, image(s));
    p->render(nullptr, p->savedView(), true);
    presentLogic(s);
  }
}

void TPlotSheets::keyZoom(PlotSheet s, double steps) {
  int x = 0, y = 0;
  if (TGenD2ImgKernel* k = kernelOf(s)) {
    const PlotRect a = k->PlotArea();
    x = (a.left + a.right) / 2;
    y = (a.top + a.bottom) / 2;
  } else if (TLogAnalPlot* p = logicOf(s)) {
    x = p->plotArea().center().x();
    y = p->plotArea().center().y();
  } else {
    return;
  }
  wheel(s, Qt::NoModifier, x, y, int(std::lround(steps * 120.0)));
}

void TPlotSheets::stepSheet(int direction) {
  stepTab(pc_, direction);
}

QLabel* TPlotSheets::image(PlotSheet s) const {
  return images_[std::size_t(idx(s))];
}

QWidget* TPlotSheets::page(PlotSheet s) const {
  return pc_->widget(idx(s));
}

TGenD2ImgKernel* TPlotSheets::kernelOf(PlotSheet s) const {
  switch (s) {
    case PlotSheet::Scope:
      return scope_.get();
    case PlotSheet::AnalogLogger:
      return logger_.get();
    case PlotSheet::Voltmeter:
      return chart_.get();
    default:
      return nullptr;
  }
}

TLogAnalPlot* TPlotSheets::logicOf(PlotSheet s) const {
  if (s == PlotSheet::Logic) return logic_.get();
  if (s == PlotSheet::IoLogger) return io_.get();
  return nullptr;
}

TF_D2Koord* TPlotSheets::coordinateWindow() {
  if (koord_) return koord_;
  if (!ownKoord_) ownKoord_ = std::make_unique<TF_D2Koord>();
  return ownKoord_.get();
}

// --- Drawing ---------------------------------------------------------------------------------

void TPlotSheets::presentKernel(PlotSheet s) {
  TGenD2ImgKernel* k = kernelOf(s);
  QLabel* im = image(s);
  if (!k || !im) return;
  drawHeadline(k->Bitmap(), sheetHeadlines_[std::size_t(idx(s))]);
  im->setPixmap(QPixmap::fromImage(k->Bitmap()));
}

void TPlotSheets::presentLogic(PlotSheet s) {
  TLogAnalPlot* p = logicOf(s);
  QLabel* im = image(s);
  if (!p || !im) return;
  QImage pic = p->bitmap();
  if (pic.isNull()) {
    pic = QImage(std::max(1, im->width()), std::max(1, im->height()), QImage::Format_RGB32);
    pic.fill(Qt::white);
  }
  drawHeadline(pic, sheetHeadlines_[std::size_t(idx(s))]);
  im->setPixmap(QPixmap::fromImage(pic));
}

int TPlotSheets::renderKernel(PlotSheet s, int feedResult, int plotMode) {
  TGenD2ImgKernel* k = kernelOf(s);
  QLabel* im = image(s);
  const auto i = std::size_t(idx(s));
  sheetHeadlines_[i] = headline_;
  k->PrepareImage(im);
  // A curve that could not be set up ends the plot: only the headline is shown. The mark is
  // set before drawing: a resize handled while the curves are drawn starts the picture anew
  // and must know that it has curves to draw, or the sheet stays empty.
  const bool drawn = feedResult == kPlotOk && k->DataSetCount() > 0;
  drawn_[i] = drawn;
  const int family = plotFamily(plotMode);
  if (keep_ == KeepView::None) kept_[i].clear();
  if (drawn) {
    family_[i] = family;
    if (k->ComputeRanges() == kPlotOk) {
      full_[i] = axisRanges(*k, family);
      if (keep_ == KeepView::X)  // the Y ranges are what the change was about
        std::erase_if(kept_[i], [](const auto& e) { return !std::get<1>(e.first); });
      applyRanges(*k, kept_[i], family, keep_ == KeepView::XAndY);
      k->Render(nullptr, false);
    } else {
      k->Render(nullptr, true);
    }
  } else {
    full_[i].clear();
  }
  presentKernel(s);
  return feedResult;
}

void TPlotSheets::rememberView(PlotSheet s) {
  TGenD2ImgKernel* k = kernelOf(s);
  const auto i = std::size_t(idx(s));
  if (!k || !drawn_[i]) return;
  for (const auto& [key, range] : axisRanges(*k, family_[i])) {
    const auto f = full_[i].find(key);
    if (f != full_[i].end() && f->second == range)
      kept_[i].erase(key);
    else
      kept_[i][key] = range;
  }
}

int TPlotSheets::plotScope(const double* ch0, const double* ch1, int n, const SettingsRecord& rs,
                           const PlotChoice& pc) {
  return renderKernel(PlotSheet::Scope, feedScopeImage(*scope_, ch0, ch1, n, rs, pc), pc.plotMode);
}

int TPlotSheets::plotAnalogLogger(const AnalogLoggerSeries& stream, const DayTime& start,
                                  const PlotChoice& pc) {
  return renderKernel(PlotSheet::AnalogLogger, feedAnalogLoggerImage(*logger_, stream, start, pc),
                      pc.plotMode);
}

int TPlotSheets::plotChart(std::span<const VoltmeterReading> readings, const ChartScale& scale,
                           const PlotChoice& pc) {
  return renderKernel(PlotSheet::Voltmeter, feedChartImage(*chart_, readings, scale, pc),
                      pc.plotMode);
}

int TPlotSheets::plotLogic(const SettingsRecord& rs) {
  sheetHeadlines_[std::size_t(idx(PlotSheet::Logic))] = headline_;
  return renderDiagram(PlotSheet::Logic, logicAnalyserView(*logicList_, rs), true);
}

int TPlotSheets::plotIoLogger(double sampleTime) {
  sheetHeadlines_[std::size_t(idx(PlotSheet::IoLogger))] = headline_;
  const TLogAnalView full = ioLoggerView(ioList_->count(), sampleTime);
  // A redraw of the same stream (a plot-mode change) keeps the zoomed time range.
  const bool same = keep_ != KeepView::None && drawn_[std::size_t(idx(PlotSheet::IoLogger))] &&
                    io_->savedView() == full;
  return renderDiagram(PlotSheet::IoLogger, same ? io_->getView() : full, !same);
}

int TPlotSheets::renderDiagram(PlotSheet s, const TLogAnalView& view, bool save) {
  TLogAnalPlot* p = logicOf(s);
  const auto i = std::size_t(idx(s));
  prepareOn(*p, image(s));
  // Marked before drawing, as the kernel sheets are: the drawing serves the window's events,
  // and a resize handled meanwhile starts the picture anew at the new size; it must know that
  // there are traces to draw, or the sheet stays blank.
  const bool any = (s == PlotSheet::Logic ? logicList_ : ioList_)->count() > 0;
  drawn_[i] = any;
  const int rc = any ? p->render(nullptr, view, save) : TLogAnalPlot::kNoData;
  // Only a failure unmarks it: a clear or another plot served during the drawing has set the
  // mark for what the sheet holds now.
  if (rc != 0) drawn_[i] = false;
  presentLogic(s);
  return rc;
}

void TPlotSheets::clearSheet(PlotSheet s) {
  if (TGenD2ImgKernel* k = kernelOf(s)) {
    k->ClearDataSets();
    renderKernel(s, kPlotOk, 0);
  } else if (TLogAnalPlot* p = logicOf(s)) {
    sheetHeadlines_[std::size_t(idx(s))] = headline_;
    prepareOn(*p, image(s));
    drawn_[std::size_t(idx(s))] = false;
    presentLogic(s);
  }
}

void TPlotSheets::setHeadline(const QString& text) {
  headline_ = text;
}

void TPlotSheets::drawHeadlines() {
  for (PlotSheet s : {PlotSheet::Voltmeter, PlotSheet::Scope, PlotSheet::AnalogLogger})
    presentKernel(s);
  for (PlotSheet s : {PlotSheet::Logic, PlotSheet::IoLogger}) presentLogic(s);
}

void TPlotSheets::bringToFront(PlotSheet s) {
  pc_->setCurrentIndex(idx(s));
}

PlotSheet TPlotSheets::shownSheet() const {
  return PlotSheet(std::clamp(pc_->currentIndex(), 0, 5));
}

// --- Mouse -----------------------------------------------------------------------------------

void TPlotSheets::kernelMouse(PlotSheet s, int button, Qt::MouseButtons buttons,
                              Qt::KeyboardModifiers mods, int x, int y, bool up) {
  TGenD2ImgKernel* k = kernelOf(s);
  if (!k || k->DataSetCount() == 0) return;
  // While the last button pressed is the right one, moves and releases measure by X.
  int shift = shiftBits(buttons, mods);
  if (lastDown_ == Qt::RightButton && (up || button == kMouseNone)) shift = kShiftAlt;
  const TMeasurementData* result = nullptr;
  k->HandleMouse(image(s), button, result, y, x, shift, up);
  if (result) {
    coordinateWindow()->SetPlot(image(s));
    coordinateWindow()->Show(result);
  }
  if (up) {
    rememberView(s);
    presentKernel(s);
  }
}

void TPlotSheets::wheel(PlotSheet s, Qt::KeyboardModifiers mods, int x, int y, int delta) {
  if (!drawn_[std::size_t(idx(s))] || delta == 0) return;
  const double steps = delta / 120.0;
  if (TGenD2ImgKernel* k = kernelOf(s)) {
    if (k->DataSetCount() == 0) return;
    if (mods & Qt::ShiftModifier)
      k->Pan(nullptr, -steps);
    else
      k->WheelZoom(nullptr, x, y, steps, bool(mods & Qt::ControlModifier));
    rememberView(s);
    presentKernel(s);
  } else if (TLogAnalPlot* p = logicOf(s)) {
    if (mods & Qt::ShiftModifier)
      p->pan(nullptr, -steps);
    else if (!(mods & Qt::ControlModifier))  // a timing diagram has no Y axis to zoom
      p->wheelZoom(nullptr, x, steps);
    presentLogic(s);
  }
}

void TPlotSheets::placeCursor(PlotSheet s, Qt::KeyboardModifiers mods, int x) {
  if (!drawn_[std::size_t(idx(s))]) return;
  const bool clear = mods & Qt::ControlModifier;
  TCursorReadOut r;
  if (TGenD2ImgKernel* k = kernelOf(s)) {
    if (k->DataSetCount() == 0) return;
    if (clear)
      k->ClearCursors(nullptr);
    else if (k->PlaceNextCursor(nullptr, x) != kPlotOk)
      return;
    r = k->CursorReadOut();
    presentKernel(s);
  } else if (TLogAnalPlot* p = logicOf(s)) {
    if (clear)
      p->clearCursors(nullptr);
    else if (p->placeNextCursor(nullptr, x) != 0)
      return;
    r = p->cursorReadOut();
    presentLogic(s);
  } else {
    return;
  }
  if (clear) {
    coordinateWindow()->SetShown(false);
  } else {
    coordinateWindow()->SetPlot(image(s));
    coordinateWindow()->ShowCursors(r);
  }
}

void TPlotSheets::mouseDown(PlotSheet s, Qt::MouseButton button, Qt::MouseButtons buttons,
                            Qt::KeyboardModifiers mods, int x, int y) {
  if (button == Qt::MiddleButton) {
    placeCursor(s, mods, x);
    return;
  }
  lastDown_ = button;
  if (kernelOf(s)) {
    kernelMouse(s, kernelButton(button), buttons | button, mods, x, y, false);
    return;
  }
  TLogAnalPlot* p = logicOf(s);
  if (!p) return;
  if (button == Qt::LeftButton) {
    if (unzoom_.isActive()) {
      // The full view goes onto a fresh picture, not over the zoomed one.
      if (drawn_[std::size_t(idx(s))]) {
        prepareOn(*p, image(s));
        p->render(nullptr, p->savedView(), true);
      }
    } else {
      p->beginZoom(x);
    }
  } else if (button == Qt::RightButton) {
    TLogAnalEntry e;
    double t = 0;
    p->readAt(nullptr, x, e, t);
    unzoom_.start(kUnzoomWindowMs);
  }
  presentLogic(s);
}

void TPlotSheets::mouseMove(PlotSheet s, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods,
                            int x, int y) {
  if (kernelOf(s)) {
    if (buttons & (Qt::LeftButton | Qt::RightButton))
      kernelMouse(s, kMouseNone, buttons, mods, x, y, false);
    return;
  }
  TLogAnalPlot* p = logicOf(s);
  if (!p) return;
  if (buttons & Qt::LeftButton) {
    if (!p->zooming()) return;
    p->dragZoom(nullptr, x);
  } else if (buttons & Qt::RightButton) {
    TLogAnalEntry e;
    double t = 0;
    p->readAt(nullptr, x, e, t);
  } else {
    return;
  }
  presentLogic(s);
}

void TPlotSheets::mouseUp(PlotSheet s, Qt::MouseButton button, Qt::MouseButtons buttons,
                          Qt::KeyboardModifiers mods, int x, int y) {
  if (button == Qt::MiddleButton) return;  // the cursor was placed on the press
  if (kernelOf(s)) {
    kernelMouse(s, kernelButton(button), buttons, mods, x, y, true);
    return;
  }
  TLogAnalPlot* p = logicOf(s);
  if (!p) return;
  if (button == Qt::LeftButton && p->zooming()) p->finishZoom(nullptr, x);
  presentLogic(s);
}

bool TPlotSheets::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pc_) {
    if (event->type() == QEvent::Resize) scheduleRelayout();
    return false;
  }
  for (const QPointer<QWidget>& w : sideWidgets_) {
    if (w && watched == w.data()) {
      // A column that changes its size (a table hidden, wider values) gives or takes room. Its
      // values change with every record and ask for a layout each time; only a change of the
      // room it takes is worth a relayout.
      const QEvent::Type t = event->type();
      if (t == QEvent::Show || t == QEvent::Hide ||
          ((t == QEvent::LayoutRequest || t == QEvent::Resize) && w->width() != sideWidth(*w)))
        scheduleRelayout();
      return false;
    }
  }
  for (int i = 0; i < 6; ++i) {
    const PlotSheet s = PlotSheet(i);
    if (watched == images_[std::size_t(i)]) {
      const QEvent::Type t = event->type();
      if (t == QEvent::Wheel) {
        auto* we = static_cast<QWheelEvent*>(event);
        const QPoint pos = we->position().toPoint();
        // Some systems turn Shift+wheel into a sideways wheel.
        const QPoint d = we->angleDelta();
        wheel(s, we->modifiers(), pos.x(), pos.y(), d.y() != 0 ? d.y() : d.x());
        return true;
      }
      // Only mouse events may be read as such; every other event passes through untouched.
      if (t != QEvent::MouseButtonPress && t != QEvent::MouseButtonDblClick &&
          t != QEvent::MouseMove && t != QEvent::MouseButtonRelease)
        return false;
      auto* me = static_cast<QMouseEvent*>(event);
      const QPoint pos = me->position().toPoint();
      switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
          mouseDown(s, me->button(), me->buttons(), me->modifiers(), pos.x(), pos.y());
          return true;
        case QEvent::MouseMove:
          mouseMove(s, me->buttons(), me->modifiers(), pos.x(), pos.y());
          return true;
        case QEvent::MouseButtonRelease:
          mouseUp(s, me->button(), me->buttons(), me->modifiers(), pos.x(), pos.y());
          return true;
        default:
          return false;
      }
    }
    if (watched == pc_->widget(i) && event->type() == QEvent::Resize) {
      scheduleRelayout();
      return false;
    }
  }
  return false;
}

// --- Copy, print, layout ---------------------------------------------------------------------

QImage TPlotSheets::shownPicture() const {
  QLabel* im = image(shownSheet());
  if (im && !im->pixmap().isNull()) return im->pixmap().toImage();
  return window_ ? window_->grab().toImage() : QImage();
}

QImage TPlotSheets::copyToClipboard(Qt::MouseButton button) {
  QImage picture;
  if (button != Qt::RightButton)
    picture = shownPicture();
  else if (window_)
    picture = window_->grab().toImage();
  if (!picture.isNull()) QApplication::clipboard()->setImage(picture);
  return picture;
}

int TPlotSheets::savePictureAs() {
  return tolv::savePictureAs(window_, shownPicture(), pictureDialog_,
                             sheetHeadlines_[std::size_t(idx(shownSheet()))]);
}

bool TPlotSheets::print() {
  if (!window_) return false;
  QPrinter printer(QPrinter::HighResolution);
  if (!printRunner_ || !printRunner_(printer, window_)) return false;
  const QPixmap shot = window_->grab();
  QPainter p;
  if (!p.begin(&printer)) return false;
  const QRect page = p.viewport();
  QSize size = shot.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  p.setViewport(page.x(), page.y(), size.width(), size.height());
  p.setWindow(shot.rect());
  p.drawPixmap(0, 0, shot);
  return p.end();
}

void TPlotSheets::setNumberBox(PlotSheet s, QWidget* box) {
  numberBoxes_[std::size_t(idx(s))] = box;
  if (box) {
    box->setParent(page(s));
    box->raise();
    box->show();
  }
  scheduleRelayout();
}

void TPlotSheets::setSideWidget(PlotSheet s, QWidget* w) {
  sideWidgets_[std::size_t(idx(s))] = w;
  if (w) {
    w->setParent(page(s));
    w->installEventFilter(this);
    w->raise();
  }
  scheduleRelayout();
}

void TPlotSheets::setPacer(TRepaintPacer* p) {
  pacer_ = p;
}

void TPlotSheets::scheduleRelayout() {
  // Resize events come in bursts while the user drags the frame: redraw once afterwards.
  if (relayoutPending_) return;
  relayoutPending_ = true;
  const auto run = [this] {
    relayoutPending_ = false;
    relayout();
  };
  if (pacer_)
    pacer_->queue(this, run);
  else
    QTimer::singleShot(0, this, run);
}

int TPlotSheets::sideWidth(const QWidget& w) const {
  const QWidget* front = pc_->currentWidget();
  const int sheetWidth = front ? front->width() : 1;
  return std::min(w.sizeHint().width(), sheetWidth / 2);
}

void TPlotSheets::relayout() {
  // Every sheet has the size of the one in front (hidden ones may not have been laid out).
  const QWidget* front = pc_->currentWidget();
  const QSize sheet = front ? front->size() : QSize(1, 1);
  if (voltageGroup_)
    voltageGroup_->setGeometry(0, 0, sheet.width(), voltageGroup_->sizeHint().height());
  for (int i = 0; i < 6; ++i) {
    if (QWidget* box = numberBoxes_[std::size_t(i)])
      box->move(sheet.width() - box->width(), box->y());
    int side = 0;
    if (QWidget* w = sideWidgets_[std::size_t(i)]; w && !w->isHidden()) {
      side = sideWidth(*w);
      w->setGeometry(sheet.width() - side, 0, side, sheet.height());
    }
    QLabel* im = images_[std::size_t(i)];
    if (!im) continue;
    if (PlotSheet(i) == PlotSheet::Voltmeter) {
      const int top = (voltageGroup_ ? voltageGroup_->height() : 0) + kChartGap;
      im->setGeometry(0, top, std::max(1, sheet.width() - kChartGap - side),
                      std::max(1, sheet.height() - top));
    } else {
      im->setGeometry(0, 0, std::max(1, sheet.width() - side), std::max(1, sheet.height()));
    }
  }
  // The kernels take the new size and draw their curves into it.
  for (PlotSheet s : {PlotSheet::Voltmeter, PlotSheet::Scope, PlotSheet::AnalogLogger}) {
    TGenD2ImgKernel* k = kernelOf(s);
    QLabel* im = image(s);
    if (k->ImageWidth() == im->width() && k->ImageHeight() == im->height() &&
        k->DevicePixelRatio() == double(std::clamp(std::lround(im->devicePixelRatioF()), 1L, 4L)))
      continue;
    k->PrepareImage(im);
    if (drawn_[std::size_t(idx(s))]) k->Render(nullptr, false);
    presentKernel(s);
  }
  for (PlotSheet s : {PlotSheet::Logic, PlotSheet::IoLogger}) {
    TLogAnalPlot* p = logicOf(s);
    QLabel* im = image(s);
    if (p->bitmap().deviceIndependentSize().toSize() == im->size() &&
        p->devicePixelRatio() == std::clamp(int(std::lround(im->devicePixelRatioF())), 1, 4))
      continue;
    const TLogAnalView v = p->getView();
    const std::int64_t n = (s == PlotSheet::Logic ? logicList_ : ioList_)->count();
    const bool redraw = drawn_[std::size_t(idx(s))] &&
                        (s == PlotSheet::Logic ? n >= kLogicRedrawMin : n > kIoRedrawAbove);
    prepareOn(*p, im);
    if (redraw) p->render(nullptr, v, false);
    presentLogic(s);
  }
  // A sheet whose picture kept its size keeps what it shows: presenting all of them again made
  // every record of every device window copy six pictures.
}

}  // namespace tolv
