// The plot sheets on their own: drawing with the headline, the mouse on the timing diagrams
// with the 250 ms unzoom window on a stepped timer, the mouse on kernel images, the clipboard,
// printing and the layout of the images on their sheets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPrinter>
#include <QPainter>
#include <QTabWidget>
#include <QTimer>
#include <cmath>

#include "common/clock.h"
#include "device/devtimer.h"
#include "devicewin/repaintpacer.h"
#include "devicewin/sheets_plots.h"

using namespace tolv;

namespace {

class Sheets : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(900, 600);
    pc_ = new QTabWidget(&window_);
    for (int i = 0; i < 6; ++i) pc_->addTab(new QWidget, QStringLiteral("p%1").arg(i));
    pc_->setGeometry(0, 0, 900, 600);
    sheets_ = std::make_unique<TPlotSheets>(pc_, timer_, &window_);
    for (int i = 0; i < 3000; ++i) logic_.add(i, std::uint16_t(i));
    for (int i = 0; i < 50; ++i) io_.add(i, std::uint16_t(i % 4));
    sheets_->attachLists(logic_, io_);
    window_.show();
    QApplication::processEvents();
    sheets_->relayout();
  }
  void TearDown() override { sheets_.reset(); }

  SettingsRecord laSettings() {
    SettingsRecord r = SettingsRecord::defaults();
    r.memoryDepth = 3000;
    r.triggerPoint = 10;
    r.sampleTime = 1e-6;
    return r;
  }
  static int countColour(const QImage& img, QRgb c) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
    return n;
  }
  QImage shown(PlotSheet s) { return sheets_->image(s)->pixmap().toImage(); }
  void left(PlotSheet s, int x) {
    sheets_->mouseDown(s, Qt::LeftButton, Qt::LeftButton, {}, x, 100);
  }
  // The timing diagram of a sheet, drawn with its list.
  TLogAnalPlot& drawDiagram(PlotSheet s) {
    EXPECT_EQ(s == PlotSheet::Logic ? sheets_->plotLogic(laSettings()) : sheets_->plotIoLogger(0.01),
              0);
    return s == PlotSheet::Logic ? sheets_->logicPlot() : sheets_->ioPlot();
  }
  // A left drag from x0 to x1.
  void dragZoom(PlotSheet s, int x0, int x1) {
    left(s, x0);
    sheets_->mouseMove(s, Qt::LeftButton, {}, x1, 100);
    sheets_->mouseUp(s, Qt::LeftButton, {}, {}, x1, 100);
  }
  void right(PlotSheet s, int x) {
    sheets_->mouseDown(s, Qt::RightButton, Qt::RightButton, {}, x, 100);
    sheets_->mouseUp(s, Qt::RightButton, {}, {}, x, 100);
  }

  QWidget window_;
  QTabWidget* pc_ = nullptr;
  ManualClock clock_;
  TManualTimerHub hub_{clock_};
  TManualTimer& timer_ = hub_.create(0);
  TLogAnalList logic_, io_;
  std::unique_ptr<TPlotSheets> sheets_;
};

}  // namespace

TEST_F(Sheets, ImagesHaveTheirNamesAndFillTheirSheets) {
  for (const char* n : {"IM_Chart", "IM_OSA0_Data", "IM_LAIO_Data", "IM_DLA0_Data", "IM_DLDI_Data"})
    EXPECT_NE(window_.findChild<QLabel*>(QString::fromLatin1(n)), nullptr) << n;
  EXPECT_EQ(sheets_->image(PlotSheet::ScopeControls), nullptr);
  const QWidget* pg = pc_->currentWidget();
  EXPECT_EQ(sheets_->image(PlotSheet::Scope)->geometry(), pg->rect());
  EXPECT_EQ(sheets_->image(PlotSheet::Logic)->size(), pg->size());
  // The chart leaves a gap at its right and starts below the voltage groups.
  QWidget groups(sheets_->page(PlotSheet::Voltmeter));
  groups.setMinimumHeight(40);
  sheets_->setVoltageGroup(&groups);
  QWidget box;
  box.resize(80, 30);
  sheets_->setNumberBox(PlotSheet::AnalogLogger, &box);
  sheets_->relayout();
  const QRect chart = sheets_->image(PlotSheet::Voltmeter)->geometry();
  EXPECT_EQ(chart.top(), groups.height() + TPlotSheets::kChartGap);
  const QWidget* vm = sheets_->page(PlotSheet::Voltmeter);
  EXPECT_EQ(chart.width(), vm->width() - TPlotSheets::kChartGap);
  EXPECT_EQ(chart.bottom(), vm->height() - 1);
  EXPECT_EQ(box.x(), vm->width() - 80);
  sheets_->setVoltageGroup(nullptr);
  sheets_->setNumberBox(PlotSheet::AnalogLogger, nullptr);
}

TEST_F(Sheets, EmptyImagesCarryOnlyTheHeadline) {
  sheets_->setHeadline(QStringLiteral("TV1  headline"));
  SettingsRecord r = SettingsRecord::defaults();
  PlotChoice pc;
  pc.plotMode = kPlotNone;
  std::vector<double> v(100, 1.0);
  EXPECT_EQ(sheets_->plotScope(v.data(), v.data(), 100, r, pc), 0);
  const QImage img = shown(PlotSheet::Scope);
  EXPECT_EQ(img.size(), sheets_->image(PlotSheet::Scope)->size());
  const int black = countColour(img, qRgb(0, 0, 0));
  EXPECT_GT(black, 0);
  // All ink lies in the headline's band at the top.
  for (int y = 20; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(Sheets, ScopeCurvesInChannelColours) {
  std::vector<double> c0(1000), c1(1000);
  for (int i = 0; i < 1000; ++i) {
    c0[std::size_t(i)] = 2.0 * std::sin(i * 0.02);
    c1[std::size_t(i)] = (i / 100) % 2 ? 1.0 : -1.0;
  }
  SettingsRecord r = SettingsRecord::defaults();
  r.memoryDepth = 1000;
  r.sampleTime = 0.001;
  PlotChoice pc;
  EXPECT_EQ(sheets_->plotScope(c0.data(), c1.data(), 1000, r, pc), 0);
  const QImage img = shown(PlotSheet::Scope);
  EXPECT_GT(countColour(img, qRgb(0, 0, 255)), 500);
  EXPECT_GT(countColour(img, qRgb(255, 0, 0)), 500);
}

TEST_F(Sheets, RightThenLeftWithin250msRestoresTheFullViewAfterwardsLeftZooms) {
  for (const PlotSheet s : {PlotSheet::Logic, PlotSheet::IoLogger}) {
    SCOPED_TRACE(int(s));
    TLogAnalPlot& p = s == PlotSheet::Logic ? sheets_->logicPlot() : sheets_->ioPlot();
    ASSERT_EQ(s == PlotSheet::Logic ? sheets_->plotLogic(laSettings()) : sheets_->plotIoLogger(0.01),
              0);
    const TLogAnalView full = p.savedView();
    // Zoom in with the left button.
    left(s, 200);
    sheets_->mouseMove(s, Qt::LeftButton, {}, 400, 100);
    sheets_->mouseUp(s, Qt::LeftButton, {}, {}, 400, 100);
    const TLogAnalView zoomed = p.getView();
    ASSERT_NE(zoomed, full);
    // Right click measures and opens the unzoom window; 249 ms later the left click unzooms.
    right(s, 300);
    EXPECT_TRUE(p.cursorDrawn());
    EXPECT_TRUE(sheets_->unzoomTimer().isActive());
    hub_.advance(249);
    ASSERT_TRUE(sheets_->unzoomTimer().isActive());
    left(s, 300);
    EXPECT_EQ(p.getView(), full);
    EXPECT_FALSE(p.zooming());
    sheets_->mouseUp(s, Qt::LeftButton, {}, {}, 300, 100);
    EXPECT_EQ(p.getView(), full);
    // The window is still open for 1 ms: run it out.
    hub_.advance(1);
    ASSERT_FALSE(sheets_->unzoomTimer().isActive());
    // Zoom again; right click, and at 250 ms the window has closed: the left click zooms.
    left(s, 200);
    sheets_->mouseMove(s, Qt::LeftButton, {}, 450, 100);
    sheets_->mouseUp(s, Qt::LeftButton, {}, {}, 450, 100);
    ASSERT_NE(p.getView(), full);
    const TLogAnalView again = p.getView();
    right(s, 300);
    hub_.advance(250);
    EXPECT_FALSE(sheets_->unzoomTimer().isActive());
    left(s, 300);
    EXPECT_TRUE(p.zooming());
    EXPECT_EQ(p.getView(), again);
    sheets_->mouseUp(s, Qt::LeftButton, {}, {}, 300, 100);
  }
}

// The unzoom draws the full view on a fresh picture: not one pixel of the zoomed picture
// survives, the picture equals the full view drawn anew.
TEST_F(Sheets, UnzoomOfATimingDiagramReplacesTheZoomedPicture) {
  for (const PlotSheet s : {PlotSheet::Logic, PlotSheet::IoLogger}) {
    SCOPED_TRACE(int(s));
    TLogAnalPlot& p = drawDiagram(s);
    const QImage full = p.bitmap().copy();
    dragZoom(s, 200, 400);
    const QImage zoomed = p.bitmap().copy();
    ASSERT_NE(zoomed, full);
    right(s, 300);
    hub_.advance(100);
    left(s, 300);
    sheets_->mouseUp(s, Qt::LeftButton, {}, {}, 300, 100);
    hub_.advance(200);
    EXPECT_EQ(p.bitmap(), full);
    // Where the zoomed picture had trace pixels the full view has none, they are gone.
    int survivors = 0;
    for (int y = 0; y < full.height(); ++y)
      for (int x = 0; x < full.width(); ++x)
        survivors += (zoomed.pixel(x, y) & 0xFFFFFF) == 0xFF0000 &&
                     (full.pixel(x, y) & 0xFFFFFF) != 0xFF0000 &&
                     (p.bitmap().pixel(x, y) & 0xFFFFFF) == 0xFF0000;
    EXPECT_EQ(survivors, 0);
  }
}

TEST_F(Sheets, BothTimingDiagramsShareTheOneUnzoomTimer) {
  ASSERT_EQ(sheets_->plotLogic(laSettings()), 0);
  ASSERT_EQ(sheets_->plotIoLogger(0.01), 0);
  const TLogAnalView full = sheets_->ioPlot().savedView();
  left(PlotSheet::IoLogger, 200);
  sheets_->mouseMove(PlotSheet::IoLogger, Qt::LeftButton, {}, 500, 100);
  sheets_->mouseUp(PlotSheet::IoLogger, Qt::LeftButton, {}, {}, 500, 100);
  ASSERT_NE(sheets_->ioPlot().getView(), full);
  right(PlotSheet::Logic, 300);
  hub_.advance(100);
  left(PlotSheet::IoLogger, 300);
  EXPECT_EQ(sheets_->ioPlot().getView(), full);
}

TEST_F(Sheets, KernelImagesZoomMeasureAndUnzoomWithTheMouse) {
  std::vector<double> c0(1000), c1(1000);
  for (int i = 0; i < 1000; ++i) c0[std::size_t(i)] = c1[std::size_t(i)] = std::sin(i * 0.01);
  SettingsRecord r = SettingsRecord::defaults();
  r.memoryDepth = 1000;
  r.sampleTime = 0.001;
  PlotChoice pc;
  pc.autoScale[0] = pc.autoScale[1] = true;
  sheets_->setHeadline(QStringLiteral("HEADLINE"));
  ASSERT_EQ(sheets_->plotScope(c0.data(), c1.data(), 1000, r, pc), 0);
  TGenD2ImgKernel& k = sheets_->scopeKernel();
  const WorldValue min0 = k.Get(0)->mergedX->minimum;
  // Left drag from upper left to lower right zooms.
  sheets_->mouseDown(PlotSheet::Scope, Qt::LeftButton, Qt::LeftButton, {}, 300, 100);
  sheets_->mouseMove(PlotSheet::Scope, Qt::LeftButton, {}, 500, 300);
  sheets_->mouseUp(PlotSheet::Scope, Qt::LeftButton, {}, {}, 500, 300);
  EXPECT_GT(k.Get(0)->mergedX->minimum.toNumber(), min0.toNumber());
  // The right button measures: the read-out window shows the result.
  sheets_->mouseDown(PlotSheet::Scope, Qt::RightButton, Qt::RightButton, {}, 400, 200);
  sheets_->mouseUp(PlotSheet::Scope, Qt::RightButton, {}, {}, 400, 200);
  EXPECT_TRUE(sheets_->coordinateWindow()->IsShown());
  EXPECT_GT(sheets_->coordinateWindow()->RowCount(), 0);
  sheets_->coordinateWindow()->SetShown(false);
  // Right held, then left: back to the full view.
  sheets_->mouseDown(PlotSheet::Scope, Qt::RightButton, Qt::RightButton, {}, 400, 200);
  sheets_->mouseDown(PlotSheet::Scope, Qt::LeftButton, Qt::LeftButton | Qt::RightButton, {}, 400,
                     200);
  EXPECT_EQ(k.Get(0)->mergedX->minimum, min0);
  // The headline is back after the release.
  sheets_->mouseUp(PlotSheet::Scope, Qt::LeftButton, Qt::RightButton, {}, 400, 200);
  EXPECT_GT(countColour(shown(PlotSheet::Scope).copy(0, 0, 900, 14), qRgb(0, 0, 0)), 0);
}

// Each picture keeps the headline of its own drawing: a later record of another mode and a
// resize that redraws every picture do not retitle it.
TEST_F(Sheets, EachPictureKeepsItsOwnHeadline) {
  std::vector<double> c0(1000, 0.5), c1(1000, -0.5);
  SettingsRecord r = SettingsRecord::defaults();
  PlotChoice pc;
  sheets_->setHeadline(QStringLiteral("SCOPE RECORD 10:00:00"));
  ASSERT_EQ(sheets_->plotScope(c0.data(), c1.data(), 1000, r, pc), 0);
  const QImage scopeBefore = shown(PlotSheet::Scope).copy(0, 0, shown(PlotSheet::Scope).width(), 14);
  sheets_->setHeadline(QStringLiteral("LOGIC RECORD 11:11:11"));
  ASSERT_EQ(sheets_->plotLogic(laSettings()), 0);
  EXPECT_EQ(sheets_->headline(PlotSheet::Scope), QStringLiteral("SCOPE RECORD 10:00:00"));
  EXPECT_EQ(sheets_->headline(PlotSheet::Logic), QStringLiteral("LOGIC RECORD 11:11:11"));
  // A resize draws every picture again, each with its own headline.
  pc_->resize(880, 590);
  QApplication::processEvents();
  sheets_->relayout();
  QImage top = shown(PlotSheet::Scope).copy(0, 0, shown(PlotSheet::Scope).width(), 14);
  QImage expected(top.size(), QImage::Format_RGB32);
  expected.fill(Qt::white);
  drawHeadline(expected, QStringLiteral("SCOPE RECORD 10:00:00"));
  // Compare the headline's band only (the plot's frame starts below it).
  const QFontMetrics fm(QPainter(&expected).font());
  const int w = fm.horizontalAdvance(QStringLiteral("SCOPE RECORD 10:00:00"));
  const QRect band((top.width() - w) / 2, 0, w, fm.ascent());
  EXPECT_EQ(top.copy(band), expected.copy(band));
  EXPECT_NE(scopeBefore.size(), QSize());
  pc_->resize(900, 600);
  QApplication::processEvents();
}

// Relayouts wait for a pass of the frame's pacer. Sheets that outlive the pacer are not left
// with a relayout marked as pending for good (no resize would ever fit their pictures again),
// and later resizes lay them out without it.
TEST_F(Sheets, RelayoutsHeldByAPacerThatGoesStillComeAndLaterOnesNeedNoPacer) {
  // Its pass never ends here.
  struct Held final : ITimer {
    void start(int) override { on = true; }
    void start() override { on = true; }
    void stop() override { on = false; }
    bool isActive() const override { return on; }
    int interval() const override { return 0; }
    void setInterval(int) override {}
    void setHandler(std::function<void()>) override {}
    bool on = false;
  };
  auto pacer = std::make_unique<TRepaintPacer>(std::make_unique<Held>());
  sheets_->setPacer(pacer.get());
  pc_->resize(700, 500);
  QApplication::processEvents();
  ASSERT_EQ(pacer->heldBack(), 1u);  // the pass has not ended: the picture keeps its size
  EXPECT_NE(sheets_->image(PlotSheet::Logic)->size(), pc_->currentWidget()->size());
  pacer.reset();
  QApplication::processEvents();
  EXPECT_EQ(sheets_->image(PlotSheet::Logic)->size(), pc_->currentWidget()->size());
  pc_->resize(900, 600);
  QApplication::processEvents();
  EXPECT_EQ(sheets_->image(PlotSheet::Logic)->size(), pc_->currentWidget()->size());
}

TEST_F(Sheets, ClipboardTakesTheShownImageOrTheWholeWindow) {
  ASSERT_EQ(sheets_->plotLogic(laSettings()), 0);
  sheets_->bringToFront(PlotSheet::Logic);
  QImage img = sheets_->copyToClipboard(Qt::LeftButton);
  EXPECT_EQ(img.size(), sheets_->image(PlotSheet::Logic)->size());
  EXPECT_EQ(QApplication::clipboard()->image().size(), img.size());
  img = sheets_->copyToClipboard(Qt::MiddleButton);
  EXPECT_EQ(img.size(), sheets_->image(PlotSheet::Logic)->size());
  img = sheets_->copyToClipboard(Qt::RightButton);
  EXPECT_EQ(img.size(), window_.size() * window_.devicePixelRatio());
  // The settings sheet has no image: the whole window.
  sheets_->bringToFront(PlotSheet::ScopeControls);
  img = sheets_->copyToClipboard(Qt::LeftButton);
  EXPECT_EQ(img.size(), window_.size() * window_.devicePixelRatio());
}

TEST_F(Sheets, PrintsOnlyWhenTheDialogIsConfirmed) {
  int asked = 0;
  sheets_->setPrintDialogRunner([&](QPrinter&, QWidget* parent) {
    ++asked;
    EXPECT_EQ(parent, &window_);
    return false;
  });
  EXPECT_FALSE(sheets_->print());
  const QString pdf = QDir::temp().filePath(QStringLiteral("tolv_sheets_print.pdf"));
  QFile::remove(pdf);
  sheets_->setPrintDialogRunner([&](QPrinter& p, QWidget*) {
    ++asked;
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    return true;
  });
  EXPECT_TRUE(sheets_->print());
  EXPECT_EQ(asked, 2);
  EXPECT_GT(QFileInfo(pdf).size(), 1000);
  QFile::remove(pdf);
}

TEST_F(Sheets, ResizeRedrawsDiagramsWithEnoughSamplesAndKeepsKernelZoom) {
  ASSERT_EQ(sheets_->plotLogic(laSettings()), 0);
  ASSERT_EQ(sheets_->plotIoLogger(0.01), 0);
  pc_->resize(700, 500);
  QApplication::processEvents();
  EXPECT_EQ(sheets_->logicPlot().bitmap().size(), sheets_->image(PlotSheet::Logic)->size());
  EXPECT_GT(countColour(sheets_->logicPlot().bitmap(), qRgb(255, 0, 0)), 100);
  EXPECT_GT(countColour(sheets_->ioPlot().bitmap(), qRgb(255, 0, 0)), 100);
  // Nine I/O-logger samples are too few to be drawn again.
  TLogAnalList few;
  for (int i = 0; i < 9; ++i) few.add(i, 1);
  sheets_->attachLists(logic_, few);
  ASSERT_EQ(sheets_->plotIoLogger(0.01), 0);
  pc_->resize(800, 520);
  QApplication::processEvents();
  EXPECT_EQ(countColour(sheets_->ioPlot().bitmap(), qRgb(255, 0, 0)), 0);
  // A resize that comes while a diagram is drawn (the drawing serves the window's events: a
  // logger's end moves the cool bar and the status line) starts the picture anew at the new
  // size, and that picture has the traces: the sheet never stays blank.
  TLogAnalList many;
  for (int i = 0; i < 5000; ++i) many.add(i, std::uint16_t(i % 7));
  sheets_->attachLists(logic_, many);
  for (PlotSheet s : {PlotSheet::Logic, PlotSheet::IoLogger}) {
    SCOPED_TRACE(int(s));
    sheets_->bringToFront(s);
    QApplication::processEvents();
    const QSize before = sheets_->image(s)->size();
    pc_->resize(s == PlotSheet::Logic ? 760 : 720, 480);  // the relayout waits for the loop
    TLogAnalPlot& p = drawDiagram(s);
    EXPECT_NE(sheets_->image(s)->size(), before);
    EXPECT_EQ(p.bitmap().size(), sheets_->image(s)->size());
    EXPECT_GT(countColour(p.bitmap(), qRgb(255, 0, 0)), 100);
    EXPECT_GT(countColour(shown(s), qRgb(255, 0, 0)), 100);
    // A clear served during the drawing (RUN pressed again) wins: the picture it cut short
    // stays blank through a later resize instead of coming back.
    QTimer::singleShot(0, &window_, [&, s] { sheets_->clearSheet(s); });
    drawDiagram(s);
    pc_->resize(s == PlotSheet::Logic ? 780 : 740, 500);
    QApplication::processEvents();
    EXPECT_EQ(countColour(p.bitmap(), qRgb(255, 0, 0)), 0);
    EXPECT_EQ(countColour(shown(s), qRgb(255, 0, 0)), 0);
  }
  sheets_->attachLists(logic_, io_);
  pc_->resize(900, 600);
  QApplication::processEvents();
}
