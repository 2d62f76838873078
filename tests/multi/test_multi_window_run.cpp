// The multi-device window during runs, with fake members: BREAK where the pointer is for the
// whole continuous run, closing or hiding that ends a run, the status grid of
// many devices with the trigger column, the shifted-curves switch and refused scale cells, the
// page the user chose and what a tick during a run says.
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <tuple>

#include "common/widgetcolours.h"
#include "common/windowmessages.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "multi/multi_settingspage.h"
#include "multi/multi_statusgrid.h"
#include "multi/multi_toppanel.h"
#include "multi/multiplotfeed.h"
#include "multi/tf_multi_tolvanex_img.h"
#include "multi_rig.h"

namespace tolv::test {
namespace {

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MultiRunWindow : public MultiRig {
 protected:
  void SetUp() override {
    MultiRig::SetUp();
    setBootingFlag(false);
  }
  void TearDown() override {
    win_.reset();
    MultiRig::TearDown();
  }
  // n devices, all checked and active, the window shown and laid out; as a user does, the
  // devices are checked in the shown window.
  TF_Multi_Tolvanex_Img& activeWindow(int n, int depth = 500) {
    for (int i = 0; i < n; ++i)
      members_.add(QStringLiteral("TVS0000") + QString::number(i + 1), depth);
    win_ = std::make_unique<TF_Multi_Tolvanex_Img>(
        nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
    win_->setMembers(&members_);
    win_->fillFromDeviceWindows();
    win_->resize(1200, 760);
    win_->show();
    win_->layOut();
    QCoreApplication::processEvents();
    for (int i = 0; i < n; ++i) win_->coll().setItemChecked(i, true);
    if (n > 0) {
      EXPECT_EQ(win_->activateCheckedDevices(), 0);
    }
    QCoreApplication::processEvents();
    return *win_;
  }
  template <typename T>
  T* find(const char* name) {
    return win_->findChild<T*>(QString::fromLatin1(name));
  }
  // Every active device delivers its record of the cycle; the window's own work then ends.
  void deliverCycle() {
    for (auto& m : members_.list)
      if (m->index() >= 0) win_->coll().recordArrived(m->notice());
    QCoreApplication::processEvents();
  }
  int starts() const {
    int n = 0;
    for (const auto& m : members_.list) n += m->starts;
    return n;
  }
  int stops() const {
    int n = 0;
    for (const auto& m : members_.list) n += m->stops;
    return n;
  }

  // Merged data files in the day folder of the run.
  int mergedFiles() const {
    int n = 0;
    std::error_code ec;
    for (const auto& e :
         fs::directory_iterator(win_->coll().autoDataFileName().parent_path(), ec))
      n += e.path().extension() == ".CSV";
    return n;
  }

  std::unique_ptr<TF_Multi_Tolvanex_Img> win_;
};

// A user who aims at BREAK at any moment of a continuous run hits BREAK, enabled, and the run
// stops; RUN is never under the pointer and cannot restart the run meanwhile.
TEST_F(MultiRunWindow, BreakStaysUnderThePointerForTheWholeContinuousRun) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  auto* run = find<QPushButton>("BN_Run");
  auto* brk = find<QPushButton>("BN_Break");
  ASSERT_TRUE(run && brk);
  EXPECT_TRUE(run->isEnabled());
  QTest::mouseClick(run, Qt::LeftButton);
  ASSERT_TRUE(w.coll().running());
  const QPoint spot = brk->mapTo(&w, brk->rect().center());
  auto atSpot = [&](const char* moment) {
    QWidget* hit = w.childAt(spot);
    EXPECT_EQ(hit, brk) << moment << ": " << (hit ? hit->objectName().toStdString() : "nothing");
    EXPECT_TRUE(brk->isVisible() && brk->isEnabled()) << moment;
    EXPECT_FALSE(run->isEnabled()) << moment;
  };
  atSpot("waiting for records");
  w.coll().recordArrived(members_.list[0]->notice());
  QCoreApplication::processEvents();
  atSpot("first record in");
  deliverCycle();
  ASSERT_TRUE(w.coll().reRunTimer().isActive());
  atSpot("cycle drawn, next one pending");
  hub_.advance(TMultiCollection::kReRunMs);
  QCoreApplication::processEvents();
  ASSERT_TRUE(w.coll().running());
  atSpot("second cycle");
  deliverCycle();
  atSpot("second cycle drawn");
  // The click between two cycles ends the run for good.
  const int startsBefore = starts();
  QTest::mouseClick(w.childAt(spot), Qt::LeftButton);
  EXPECT_FALSE(w.runGoing());
  EXPECT_EQ(stops(), 2);
  hub_.advance(5000);
  QCoreApplication::processEvents();
  EXPECT_EQ(starts(), startsBefore);
  EXPECT_TRUE(run->isEnabled());
  EXPECT_EQ(w.childAt(spot), brk);  // still BREAK's place when idle
}

// STOP never stays down: the rows of the records a cut cycle still waits for say so, and go
// once that record is in or can no longer come.
TEST_F(MultiRunWindow, StopNeverStaysDownTheRowsOfRecordsOnTheirWaySaySo) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  auto* brk = find<QPushButton>("BN_Break");
  auto* grid = find<QTableWidget>("DG_");
  ASSERT_TRUE(brk && grid);
  const QString coming = TMultiStatusGrid::missCaption(MultiMiss::Transferring);
  auto rowSays = [&](int r) {
    const QTableWidgetItem* cell = grid->item(r, TMultiStatusGrid::kDeltaColumn);
    return cell ? cell->text() : QString();
  };
  w.BN_RunClick();
  w.coll().recordArrived(members_.list[0]->notice());
  QTest::mouseClick(brk, Qt::LeftButton);
  EXPECT_FALSE(brk->isChecked() || brk->isDown());
  EXPECT_TRUE(w.coll().breakPending());
  EXPECT_NE(rowSays(0), coming);
  EXPECT_EQ(rowSays(1), coming);
  w.coll().recordArrived(members_.list[1]->notice());
  hub_.advance(0);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.coll().cycleOpen());
  EXPECT_NE(rowSays(1), coming);
  // A run cut before any record, its records never coming.
  hub_.advance(5000);
  w.BN_RunClick();
  QTest::mouseClick(brk, Qt::LeftButton);
  EXPECT_FALSE(brk->isChecked());
  EXPECT_EQ(rowSays(0), coming);
  for (auto& m : members_.list) m->owes = false;
  hub_.advance(w.coll().collectTimeMs() + TMultiCollection::kTriggerWaitMs);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.coll().cycleOpen());
  EXPECT_NE(rowSays(0), coming);
}

// A single-shot run gives RUN back once its cycle is drawn.
TEST_F(MultiRunWindow, SingleShotGivesRunBackAfterItsCycle) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  auto* run = find<QPushButton>("BN_Run");
  w.BN_RunClick();
  EXPECT_FALSE(run->isEnabled());
  deliverCycle();
  EXPECT_FALSE(w.coll().reRunTimer().isActive());
  EXPECT_TRUE(run->isEnabled());
}

// Closing the window during a continuous run ends it as BREAK does, without a question box
// that could hide behind other windows while the run goes on: every device stops, the cycle
// in hand is saved, and no cycle or file follows. Hiding it does the same.
TEST_F(MultiRunWindow, ClosingOrHidingDuringAContinuousRunEndsItAsBreakDoes) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  w.coll().setAutosave(true);
  w.BN_RunClick();
  deliverCycle();
  ASSERT_TRUE(w.runGoing());
  ASSERT_EQ(mergedFiles(), 1);
  hub_.advance(TMultiCollection::kReRunMs);
  w.coll().recordArrived(members_.list[0]->notice());  // the next cycle is partly in
  EXPECT_TRUE(w.close());
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(w.runGoing());
  EXPECT_EQ(stops(), 2);
  // The cycle in hand is saved at its collecting time, and it is the last file.
  const int startsBefore = starts();
  hub_.advance(w.coll().collectTimeMs() + TMultiCollection::kLateStartMs);
  EXPECT_FALSE(w.coll().cycleOpen());
  EXPECT_EQ(mergedFiles(), 2);
  hub_.advance(20000);
  QCoreApplication::processEvents();
  EXPECT_EQ(starts(), startsBefore);
  EXPECT_EQ(mergedFiles(), 2);
  // Shown again it is as it was left: stopped, RUN ready.
  w.setShown(true);
  EXPECT_TRUE(find<QPushButton>("BN_Run")->isEnabled());

  w.BN_RunClick();
  ASSERT_TRUE(w.runGoing());
  w.setShown(false);
  EXPECT_FALSE(w.runGoing());
  hub_.advance(20000);
  EXPECT_EQ(starts(), startsBefore + 2);
}

// The cycle's end after BREAK waits for the events queued before it, records announced before
// the click among them; a close of the window reached meanwhile must neither drop such a
// record nor start the work twice.
TEST_F(MultiRunWindow, CloseReachedWhileBreakLetsEventsRunKeepsTheRecordsAnnounced) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  w.coll().setAutosave(true);
  w.BN_RunClick();
  // Queued as the user and the device windows left them: the close, then a record notice.
  QMetaObject::invokeMethod(&w, &QWidget::close, Qt::QueuedConnection);
  const MultiRecordNotice n = members_.list[1]->notice();
  QCoreApplication::postEvent(
      &w, new TRecordNoticeEvent(RecordNotice{n.n, n.m, n.index, n.dt, n.run}));
  w.BN_BreakClick();
  QCoreApplication::processEvents();
  hub_.advance(0);
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(w.runGoing());
  EXPECT_EQ(w.coll().receivedCount(), 1);
  hub_.advance(w.coll().collectTimeMs() + TMultiCollection::kLateStartMs);
  EXPECT_FALSE(w.coll().cycleOpen());
  EXPECT_EQ(w.coll().cyclesCount(), 1);
  ASSERT_EQ(mergedFiles(), 1);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(w.coll().autoDataFileName(), '\t', r), 0);
  EXPECT_EQ(r.names, QStringList{QStringLiteral("TVS00002")});
  hub_.advance(20000);
  QCoreApplication::processEvents();
  EXPECT_EQ(starts(), 2);
  EXPECT_EQ(mergedFiles(), 1);
}

// While a cycle collects, the window goes on showing the last cycle's picture and each device's
// last status until the new records are drawn: no blank picture between two cycles. A device
// that misses the cycle loses its cells when the cycle ends.
TEST_F(MultiRunWindow, LastPictureAndStatusStayUntilTheNextCycleIsDrawn) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  auto shown = [&] { return w.plotImage()->pixmap().toImage(); };
  auto inked = [](const QImage& im) {
    int n = 0;
    for (int y = 0; y < im.height(); y += 2)
      for (int x = 0; x < im.width(); x += 2) n += im.pixel(x, y) != qRgb(255, 255, 255);
    return n;
  };
  w.BN_RunClick();
  deliverCycle();
  hub_.advance(TMultiCollection::kHeaderMs);  // the picture gets its header
  QCoreApplication::processEvents();
  const QImage first = shown();
  const QString firstHeader = w.coll().headerText();
  ASSERT_GT(inked(first), 200);
  hub_.advance(TMultiCollection::kReRunMs - TMultiCollection::kHeaderMs);
  QCoreApplication::processEvents();
  ASSERT_TRUE(w.coll().cycleOpen());
  w.coll().recordArrived(members_.list[1]->notice());
  w.coll().drawHeader();  // as the header timer and a new size do meanwhile
  w.layOut();
  QCoreApplication::processEvents();
  EXPECT_EQ(shown(), first);
  // Copied, saved and printed is what is shown, with its own header.
  EXPECT_EQ(QPixmap::fromImage(w.coll().image()).toImage(), first);
  EXPECT_EQ(w.coll().headerText(), firstHeader);
  const MultiStatusRow& a = w.coll().statusRows()[0];
  EXPECT_TRUE(a.filled);
  EXPECT_TRUE(a.hasTriggerDelta);
  w.coll().recordArrived(members_.list[0]->notice());
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.coll().lastPictureShown());
  EXPECT_EQ(shown(), QPixmap::fromImage(w.coll().image()).toImage());
  // The next cycle: only B delivers; at the collecting time A is marked and emptied.
  hub_.advance(TMultiCollection::kReRunMs);
  w.coll().recordArrived(members_.list[1]->notice());
  EXPECT_TRUE(w.coll().statusRows()[0].filled);
  hub_.advance(w.coll().collectTimeMs() + TMultiCollection::kLateStartMs);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.coll().cycleOpen());
  EXPECT_TRUE(w.coll().statusRows()[0].missing);
  EXPECT_FALSE(w.coll().statusRows()[0].filled);
  EXPECT_FALSE(w.coll().statusRows()[0].hasTriggerDelta);
  EXPECT_TRUE(w.coll().statusRows()[1].filled);
  EXPECT_GT(inked(shown()), 200);
}

// What changes on screen without the user's doing is said under the start controls: a file
// loaded during a run, shown at once, until the run's next cycle takes its place; and a
// collecting time a run changed, with the record that set it (in the box's hint too), until
// the user sets one.
TEST_F(MultiRunWindow, TheNoticeSaysWhatTheRunChangesOnScreen) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  auto* notice = find<QLabel>("PN_MultiNotice");
  auto* box = find<QSpinBox>("SE_CollectTime_ms");
  ASSERT_TRUE(notice && box);
  EXPECT_FALSE(notice->isVisible());
  w.BN_RunClick();
  deliverCycle();
  EXPECT_FALSE(notice->isVisible());
  const fs::path f = root_ / "run.CSV";
  ASSERT_EQ(w.coll().saveDataFile(f), 0);
  hub_.advance(TMultiCollection::kReRunMs);
  ASSERT_TRUE(w.coll().cycleOpen());
  w.coll().recordArrived(members_.list[0]->notice());
  w.setFileDialog([&](TF_Multi_Tolvanex_Img::Dialog, const QString&) { return pathText(f); });
  ASSERT_EQ(w.LoadMUVXfile(), 0);
  QCoreApplication::processEvents();
  EXPECT_TRUE(notice->isVisible());
  EXPECT_TRUE(notice->text().contains(QStringLiteral("run.CSV"))) << notice->text().toStdString();
  EXPECT_EQ(w.plotImage()->pixmap().toImage(),
            QPixmap::fromImage(w.coll().image()).toImage());
  EXPECT_EQ(w.coll().headerText(), multiHeaderText(w.coll().loaded().time));
  // Said on after the cycle's picture has taken the file's place: a cycle may be too short to
  // read it.
  w.coll().recordArrived(members_.list[1]->notice());
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.coll().lastPictureShown());
  EXPECT_TRUE(notice->isVisible());
  EXPECT_TRUE(notice->text().contains(QStringLiteral("run.CSV"))) << notice->text().toStdString();
  // A record grown since the activation: the next cycle's start lengthens the time.
  members_.list[1]->setDepth(131000);
  hub_.advance(TMultiCollection::kReRunMs);
  QCoreApplication::processEvents();
  ASSERT_TRUE(w.coll().cycleOpen());
  EXPECT_EQ(box->value(), 131 + 16637 + 113);
  EXPECT_TRUE(notice->isVisible());
  EXPECT_TRUE(notice->text().contains(QStringLiteral("from 177 ms to 16881 ms")))
      << notice->text().toStdString();
  EXPECT_TRUE(notice->text().contains(QStringLiteral("TVS00002"))) << notice->text().toStdString();
  EXPECT_TRUE(box->toolTip().contains(QStringLiteral("131000"))) << box->toolTip().toStdString();
  // Another language: both notes and the hint rebuilt in it, every number with the one decimal
  // mark the system gives.
  setLanguageIndex(kLanguageGerman);
  w.applyTexts();
  EXPECT_TRUE(notice->text().contains(QStringLiteral("ist gezeichnet")))
      << notice->text().toStdString();
  EXPECT_TRUE(box->toolTip().contains(QStringLiteral("16.64 s \u00dcbertragung, dazu 113 ms")))
      << box->toolTip().toStdString();
  EXPECT_FALSE(box->toolTip().contains(QStringLiteral("0,113"))) << box->toolTip().toStdString();
  setLanguageIndex(kLanguageEnglish);
  w.applyTexts();
  box->setValue(3000);
  QCoreApplication::processEvents();
  EXPECT_TRUE(notice->text().contains(QStringLiteral("run.CSV"))) << notice->text().toStdString();
  EXPECT_FALSE(notice->text().contains(QStringLiteral("16881")));
  EXPECT_EQ(w.coll().collectTimeMs(), 3000);
  // The run over, the note stays for a user who looked away, until the picture is cleared.
  for (auto& m : members_.list) m->owes = false;
  w.BN_BreakClick();
  hub_.advance(TMultiCollection::kReRunMs);
  QCoreApplication::processEvents();
  EXPECT_TRUE(notice->text().contains(QStringLiteral("run.CSV"))) << notice->text().toStdString();
  w.BN_ClearImageClick();
  QCoreApplication::processEvents();
  EXPECT_FALSE(notice->isVisible());
  // A single shot: its cycle's end ends the run, and the file it replaced is still told of,
  // until RUN.
  w.coll().setSingleShot(true, false);
  for (auto& m : members_.list) m->owes = true;
  w.BN_RunClick();
  w.coll().recordArrived(members_.list[0]->notice());
  ASSERT_EQ(w.LoadMUVXfile(), 0);
  w.coll().recordArrived(members_.list[1]->notice());
  QCoreApplication::processEvents();
  ASSERT_FALSE(w.coll().cycleOpen());
  EXPECT_TRUE(notice->isVisible());
  EXPECT_TRUE(notice->text().contains(QStringLiteral("run.CSV"))) << notice->text().toStdString();
  w.BN_RunClick();
  QCoreApplication::processEvents();
  EXPECT_FALSE(notice->text().contains(QStringLiteral("run.CSV"))) << notice->text().toStdString();
}

// The window keeps its size through a run: what appears with the first cycle (the statistics,
// the picture's buttons) and values whose texts change from cycle to cycle have their room
// from the start, so the window never grows over its neighbours.
TEST_F(MultiRunWindow, TheWindowKeepsItsSizeThroughARun) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.resize(w.minimumWidth(), 500);
  QCoreApplication::processEvents();
  auto* top = find<QWidget>("PN_Top");
  ASSERT_NE(top, nullptr);
  const QSize before = w.size(), topBefore = top->sizeHint();
  const int minBefore = w.minimumWidth();
  w.coll().setSingleShot(false, false);
  w.BN_RunClick();
  // Cycles a few ms apart, then seconds: the statistics change their length.
  double at = dtTotalSeconds(dayTimeNow());
  for (double gap : {0.0, 0.004, 0.0071, 9.87, 47.5}) {
    at += gap;
    for (auto& m : members_.list) m->time = dtFromSeconds(at);
    deliverCycle();
    EXPECT_EQ(top->sizeHint(), topBefore) << gap;
    EXPECT_EQ(w.minimumWidth(), minBefore) << gap;
    EXPECT_EQ(w.size(), before) << gap;
    hub_.advance(TMultiCollection::kReRunMs);
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(find<QWidget>("GB_IntervalStatistics")->isVisible());
  EXPECT_EQ(w.coll().statistics().Count(), 4);
  // The smallest and largest interval have their captions just before them, on the rows of the
  // mean and of the standard deviation.
  auto* grid = qobject_cast<QGridLayout*>(find<QWidget>("GB_IntervalStatistics")->layout());
  ASSERT_NE(grid, nullptr);
  auto cell = [&](const char* name) {
    int r = -1, c = -1, rs = 0, cs = 0;
    const int i = grid->indexOf(find<QWidget>(name));
    if (i >= 0) grid->getItemPosition(i, &r, &c, &rs, &cs);
    return std::pair{r, c};
  };
  for (auto [caption, value, beside, shown] :
       {std::tuple{"PN_DeltaTMin_Label", "PN_DeltaTMin", "PN_DeltaTmean", "min ="},
        std::tuple{"PN_DeltaTMax_Label", "PN_DeltaTMax", "PN_DeltaTStdDev", "max ="}}) {
    EXPECT_EQ(find<QLabel>(caption)->text(), shown);
    const auto [row, column] = cell(caption);
    EXPECT_EQ(row, cell(beside).first) << caption;
    EXPECT_GT(column, cell(beside).second) << caption;
    EXPECT_EQ(cell(value), std::pair(row, column + 1)) << caption;
  }
}

// Narrower than one row of the top panel's groups (a 1280 pixel screen in German), the window
// stacks the statistics beneath the start and stop controls: no group is cut at its edge or
// squeezed over its neighbour. Wide enough, they go back into the row.
TEST_F(MultiRunWindow, ANarrowWindowStacksTheStatisticsWithinIt) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  auto* top = find<TMultiTopPanel>("PN_Top");
  ASSERT_NE(top, nullptr);
  const int oneRow = top->rowWidth(false);
  ASSERT_LT(top->rowWidth(true), oneRow);
  EXPECT_LE(w.minimumWidth(), top->rowWidth(true));
  w.coll().setSingleShot(true, true);
  w.BN_RunClick();
  deliverCycle();
  const char* groups[] = {"PN_StartStopControls", "DG_", "BN_ClearImage", "CB_ClearBeforeDrawing",
                          "GB_Auto", "GB_IntervalStatistics"};
  for (int width : {oneRow - 1, oneRow}) {
    w.resize(width, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(top->statisticsStacked(), width < oneRow) << width;
    std::vector<QRect> rects;
    for (const char* name : groups) {
      QWidget* g = find<QWidget>(name);
      ASSERT_TRUE(g && g->isVisible()) << name;
      const QRect r(g->mapTo(&w, QPoint(0, 0)), g->size());
      EXPECT_LE(r.right(), w.width() - 1) << name << " " << width;
      EXPECT_LE(r.bottom(), top->geometry().bottom()) << name << " " << width;
      EXPECT_GE(g->width(), g->sizeHint().width()) << name << " " << width;
      for (const QRect& other : rects) EXPECT_FALSE(r.intersects(other)) << name << " " << width;
      rects.push_back(r);
    }
  }
}

// Shown, the window lies within its screen's free area however much room its top panel keeps
// for the devices, its minimum width included.
TEST_F(MultiRunWindow, ShownTheWindowFitsItsScreen) {
  for (int i = 0; i < 12; ++i) members_.add(QStringLiteral("TVS1000") + QString::number(i));
  win_ = std::make_unique<TF_Multi_Tolvanex_Img>(
      nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
  win_->setMembers(&members_);
  win_->fillFromDeviceWindows();
  for (int i = 0; i < 12; ++i) win_->coll().setItemChecked(i, true);
  ASSERT_EQ(win_->activateCheckedDevices(), 0);
  win_->resize(6000, 4000);
  win_->setShown(true);
  QCoreApplication::processEvents();
  const QRect area = win_->screen()->availableGeometry();
  EXPECT_LE(win_->minimumWidth(), area.width());
  EXPECT_LE(win_->frameGeometry().width(), area.width());
  EXPECT_LE(win_->frameGeometry().height(), area.height());
}

// "Save as" and "Export record on screen" take the record the picture shows: while a new cycle
// collects (and its device files are written anew), the cycle on screen; after a load, the
// file loaded.
TEST_F(MultiRunWindow, SaveAndExportTakeTheRecordOnScreenWhileACycleCollects) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  QString answer;
  w.setFileDialog([&](TF_Multi_Tolvanex_Img::Dialog, const QString&) { return answer; });
  const auto saved = [&](const char* name) {
    answer = pathText(root_ / name);
    EXPECT_EQ(w.SaveMUVXfileAs(), 0) << name;
    TREADing r;
    EXPECT_EQ(readMultiDataFile(root_ / name, '\t', r), 0) << name;
    return r;
  };
  const auto firstOfB = [](const TREADing& r) {
    return r.points.Count() > 1 && r.points.At(1).Count() > 0 ? r.points.At(1).Items()[0].y
                                                               : -1.0;
  };
  w.BN_RunClick();
  deliverCycle();
  // The next cycle: B's record differs and comes first, A's is still out.
  FakeMember& b = *members_.list[1];
  std::fill(b.ch1().begin(), b.ch1().end(), 5.0);
  hub_.advance(TMultiCollection::kReRunMs);
  QCoreApplication::processEvents();
  w.coll().recordArrived(b.notice());
  ASSERT_TRUE(w.coll().lastPictureShown());
  TREADing r = saved("collecting.CSV");
  EXPECT_EQ(r.names, (QStringList{QStringLiteral("TVS00001"), QStringLiteral("TVS00002")}));
  EXPECT_EQ(firstOfB(r), 0.0);
  const auto exportedTitles = [&](const char* name) {
    answer = pathText(root_ / name);
    EXPECT_EQ(w.ExportMUVX(), 0) << name;
    std::ifstream in(root_ / (std::string(name) + ".csv"));
    std::string line;
    while (std::getline(in, line) && line.rfind('#', 0) == 0) {
    }
    return line;
  };
  const std::string titles = "time_s,TVS00001_ch0_V,TVS00001_ch1_V,TVS00002_ch0_V,TVS00002_ch1_V";
  EXPECT_EQ(exportedTitles("collecting"), titles);
  // Drawn, the new cycle is the record on screen.
  w.coll().recordArrived(members_.list[0]->notice());
  QCoreApplication::processEvents();
  ASSERT_FALSE(w.coll().lastPictureShown());
  EXPECT_EQ(firstOfB(saved("drawn.CSV")), 5.0);
  // Switched to ";" with that cycle on screen, its device texts (written with Tab) are joined
  // in ";" as well: every cell, not only the joints, and the export reads it.
  setColumnSeparatorSetting(QLatin1Char(';'));
  answer = pathText(root_ / "cycle_semi.CSV");
  ASSERT_EQ(w.SaveMUVXfileAs(), 0);
  const std::string cycleSemi = slurp(root_ / "cycle_semi.CSV");
  EXPECT_EQ(cycleSemi.find('\t'), std::string::npos);
  for (std::size_t pos = 0, e; (e = cycleSemi.find("\r\n", pos)) != std::string::npos; pos = e + 2)
    ASSERT_EQ(std::count(cycleSemi.begin() + long(pos), cycleSemi.begin() + long(e), ';'), 5)
        << cycleSemi.substr(pos, e - pos);
  TREADing rc;
  ASSERT_EQ(readMultiDataFile(root_ / "cycle_semi.CSV", ';', rc), 0);
  EXPECT_EQ(firstOfB(rc), 5.0);
  EXPECT_EQ(exportedTitles("cycle_semi"), titles);
  setColumnSeparatorSetting(QLatin1Char('\t'));
  // A loaded file on screen is saved as it was read, cycle files or not.
  w.BN_BreakClick();
  ASSERT_EQ(w.coll().loadDataFile(root_ / "collecting.CSV"), 0);
  EXPECT_EQ(firstOfB(saved("again.CSV")), 0.0);
  EXPECT_EQ(slurp(root_ / "again.CSV"), slurp(root_ / "collecting.CSV"));
  // Saved after the column separator changed, it is written in the new one, as every data
  // file is, and reads back with it.
  setColumnSeparatorSetting(QLatin1Char(';'));
  answer = pathText(root_ / "semicolon.CSV");
  ASSERT_EQ(w.SaveMUVXfileAs(), 0);
  const std::string semi = slurp(root_ / "semicolon.CSV");
  EXPECT_EQ(semi.find('\t'), std::string::npos);
  TREADing rs;
  ASSERT_EQ(readMultiDataFile(root_ / "semicolon.CSV", ';', rs), 0);
  EXPECT_EQ(rs.names, r.names);
  EXPECT_EQ(rs.points.At(1).Count(), r.points.At(1).Count());
  EXPECT_EQ(firstOfB(rs), 0.0);
  // A Tab file loaded while ";" is in force reads with its own separator, and is saved in ";".
  ASSERT_EQ(w.coll().loadDataFile(root_ / "collecting.CSV"), 0);
  answer = pathText(root_ / "semicolon2.CSV");
  ASSERT_EQ(w.SaveMUVXfileAs(), 0);
  EXPECT_EQ(slurp(root_ / "semicolon2.CSV"), semi);
  setColumnSeparatorSetting(QLatin1Char('\t'));
  // Loaded beside a cycle on show (clear before drawing off), the file is there to compare
  // with: the cycle, never saved, stays the record Save as writes.
  w.coll().setSingleShot(true, false);
  w.BN_RunClick();
  deliverCycle();
  ASSERT_EQ(w.coll().recordOnScreen(), TMultiCollection::OnScreen::Cycle);
  w.coll().setClearBeforeDrawing(false);
  ASSERT_EQ(w.coll().loadDataFile(root_ / "collecting.CSV"), 0);
  EXPECT_EQ(w.coll().kernel().DataSetCount(), 8);
  EXPECT_EQ(firstOfB(saved("beside.CSV")), 5.0);
  // Cleared first, the file alone is on show and is the record saved.
  w.coll().setClearBeforeDrawing(true);
  ASSERT_EQ(w.coll().loadDataFile(root_ / "collecting.CSV"), 0);
  EXPECT_EQ(firstOfB(saved("alone.CSV")), 0.0);
  // A second file drawn beside the first: Save as and Export (which reads the loaded record)
  // both still take the first.
  w.coll().setClearBeforeDrawing(false);
  ASSERT_EQ(w.coll().loadDataFile(root_ / "drawn.CSV"), 0);
  EXPECT_EQ(firstOfB(saved("first.CSV")), 0.0);
  EXPECT_EQ(firstOfB(w.coll().loaded()), 0.0);
}

// The frame's shut-down ends a run the same way.
TEST_F(MultiRunWindow, ShutDownEndsTheRun) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  w.BN_RunClick();
  // Waiting when the shut-down comes: a record announced before it is taken into the cycle
  // saved, a click on RUN is not run inside it.
  const MultiRecordNotice n = members_.list[1]->notice();
  QMetaObject::invokeMethod(&w, [&w] { w.BN_RunClick(); }, Qt::QueuedConnection);
  QCoreApplication::postEvent(
      &w, new TRecordNoticeEvent(RecordNotice{n.n, n.m, n.index, n.dt, n.run}));
  w.endRunForShutDown();
  EXPECT_FALSE(w.runGoing());
  EXPECT_EQ(w.coll().cyclesCount(), 1);
  EXPECT_FALSE(w.coll().statusRows()[1].missing);
  EXPECT_EQ(stops(), 2);
  EXPECT_TRUE(w.close());
}

// A shut-down in the middle of a cycle keeps what came: the merged file is written with the
// records in, the device still missing left out.
TEST_F(MultiRunWindow, ShutDownInsideACycleSavesWhatCame) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  w.coll().setSingleShot(false, false);
  w.coll().setAutosave(true);
  w.BN_RunClick();
  w.coll().recordArrived(members_.list[0]->notice());
  w.endRunForShutDown();
  EXPECT_FALSE(w.coll().cycleOpen());
  TREADing r;
  ASSERT_EQ(readMultiDataFile(w.coll().autoDataFileName(), '\t', r), 0);
  EXPECT_EQ(r.deviceCount, 1);
  EXPECT_EQ(r.names.value(0), "TVS00001");
  EXPECT_TRUE(w.coll().statusRows()[1].missing);
  // No run starts after the shut-down.
  w.BN_RunClick();
  EXPECT_FALSE(w.runGoing());
  // Break first, the shut-down within the collecting time: the cycle still waiting is saved.
  hub_.advance(1000);
  win_.reset();
  members_.list.clear();
  TF_Multi_Tolvanex_Img& w2 = activeWindow(2);
  w2.coll().setSingleShot(false, false);
  w2.coll().setAutosave(true);
  w2.BN_RunClick();
  w2.coll().recordArrived(members_.list[1]->notice());
  w2.coll().breakClicked();
  ASSERT_TRUE(w2.coll().cycleOpen());
  w2.endRunForShutDown();
  EXPECT_FALSE(w2.coll().cycleOpen());
  fs::path second = w2.coll().autoDataFileName();  // same stamp: kept beside the first
  second.replace_filename(second.stem().string() + "_1.CSV");
  ASSERT_EQ(readMultiDataFile(second, '\t', r), 0) << second;
  EXPECT_EQ(r.names.value(0), "TVS00002");
}

// Eight devices are all in sight, each row whole and nothing of the grid under the pages;
// twelve scroll, and every row can be reached.
TEST_F(MultiRunWindow, StatusGridShowsEightDevicesAndScrollsToMore) {
  for (int n : {8, 12}) {
    members_.list.clear();
    TF_Multi_Tolvanex_Img& w = activeWindow(n);
    auto* grid = find<TMultiStatusGrid>("DG_");
    ASSERT_TRUE(grid);
    ASSERT_EQ(grid->rowCount(), n);
    // The grid lies wholly above the pages.
    const QRect onWindow(grid->mapTo(&w, QPoint(0, 0)), grid->size());
    EXPECT_LE(onWindow.bottom(), w.pageControl()->geometry().top()) << n;
    const QRect view = grid->viewport()->rect();
    for (int r = 0; r < n; ++r) {
      const QRect cell = grid->visualItemRect(grid->item(r, 0));
      if (n <= TMultiStatusGrid::kVisibleRows) {
        EXPECT_TRUE(view.contains(cell)) << n << " row " << r;
      } else {
        grid->scrollToItem(grid->item(r, 0));
        EXPECT_TRUE(view.contains(grid->visualItemRect(grid->item(r, 0)))) << n << " row " << r;
      }
    }
    EXPECT_EQ(grid->verticalScrollBar()->isVisible(), n > TMultiStatusGrid::kVisibleRows) << n;
    win_.reset();
  }
}

// The grid keeps room for the devices that can become active: checking them one by one in the
// shown window never moves the check list under the user's pointer.
TEST_F(MultiRunWindow, CheckingDevicesOneByOneNeverMovesThePages) {
  TF_Multi_Tolvanex_Img& w = activeWindow(0);
  for (int i = 0; i < 9; ++i) members_.add(QStringLiteral("TVS1000") + QString::number(i));
  w.fillFromDeviceWindows();
  QCoreApplication::processEvents();
  const QRect pages = w.pageControl()->geometry();
  for (int i = 0; i < 9; ++i) {
    w.CLB_ACTIVE_TolvanexsClickCheck(i, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.pageControl()->geometry(), pages) << i;
  }
  EXPECT_EQ(w.activeCount(), 9);
  // A device's row brings its window up (one the user closed during the run included).
  auto* grid = find<QTableWidget>("DG_");
  ASSERT_TRUE(grid && grid->item(2, 0));
  const QPoint cell = grid->visualItemRect(grid->item(2, 0)).center();
  members_.list[2]->setShown(false);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
  EXPECT_FALSE(members_.list[2]->shown());
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
  EXPECT_TRUE(members_.list[2]->shown());
}

// The run's first picture brings the plot page to the front; a page the user turns to during the
// run stays there as further cycles are drawn. What RUN or a tick did beyond what was asked
// (devices switched to the scope, the run ended) is said beside the list.
TEST_F(MultiRunWindow, ThePageTheUserChoseStaysAndATickSaysWhatItDid) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  auto* notice = find<QLabel>("PN_ActiveNotice");
  ASSERT_NE(notice, nullptr);
  w.pageControl()->setCurrentWidget(w.settingsPage());
  w.coll().setSingleShot(false, false);
  w.BN_RunClick();
  EXPECT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->text(), text(kTextMultiSwitchedToScope) + QStringLiteral(" TVS00001, TVS00002"));
  deliverCycle();
  EXPECT_EQ(w.pageControl()->currentWidget(), w.imagePage());
  w.pageControl()->setCurrentWidget(w.settingsPage());
  for (int cycle = 0; cycle < 2; ++cycle) {
    hub_.advance(TMultiCollection::kReRunMs);
    deliverCycle();
    EXPECT_EQ(w.pageControl()->currentWidget(), w.settingsPage()) << cycle;
  }
  ASSERT_TRUE(w.runGoing());
  w.CLB_ACTIVE_TolvanexsClickCheck(1, false);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.runGoing());
  EXPECT_EQ(notice->text(), text(kTextMultiRunEndedByChange));
  EXPECT_EQ(w.pageControl()->currentWidget(), w.settingsPage());
  w.BN_RunClick();
  EXPECT_FALSE(notice->isVisible());
  deliverCycle();
  EXPECT_EQ(w.pageControl()->currentWidget(), w.imagePage());
  // The start-up's autostart starts a run as RUN does.
  w.coll().breakClicked();
  w.pageControl()->setCurrentWidget(w.settingsPage());
  ASSERT_EQ(w.startRun(), 0);
  deliverCycle();
  EXPECT_EQ(w.pageControl()->currentWidget(), w.imagePage());
}

// The trigger column: each device's delta to the cycle's first device, a missing device marked
// in its row, and the grid scrolled to it.
TEST_F(MultiRunWindow, TriggerColumnShowsDeltasAndMarksMissingDevices) {
  TMultiStatusGrid grid;
  std::vector<MultiStatusRow> rows(10);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].serial = QStringLiteral("TVS%1").arg(i);
    rows[i].filled = true;
    rows[i].colour1 = 0x0000FF;
    rows[i].colour2 = 0xFF0000;
    rows[i].hasTriggerDelta = true;
    rows[i].triggerDelta = 0.00025 * double(i);
  }
  rows[3].triggerDelta = -0.0015;
  rows[4].hasTriggerDelta = false;
  rows[9].missing = true;
  rows[9].filled = false;
  rows[9].hasTriggerDelta = false;
  rows[5].busy = true;
  rows[5].filled = false;
  rows[5].hasTriggerDelta = false;
  rows[6].owed = true;  // after Break, its record still on its way
  rows[6].filled = false;
  rows[6].hasTriggerDelta = false;
  grid.resize(400, 200);
  grid.show();
  grid.showRows(rows);
  EXPECT_EQ(grid.horizontalHeaderItem(TMultiStatusGrid::kDeltaColumn)->text(), "Δt trigger");
  EXPECT_EQ(grid.item(0, 3)->text(), "0.000 ms");
  EXPECT_EQ(grid.item(1, 3)->text(), "+0.250 ms");
  EXPECT_EQ(grid.item(3, 3)->text(), "-1.500 ms");
  EXPECT_EQ(grid.item(4, 3)->text(), "");  // no delta known
  EXPECT_EQ(grid.item(2, 1)->text(), text(183));  // "Channel 1" / "Kanal 1"
  EXPECT_EQ(grid.item(9, 3)->text(), "missing");
  EXPECT_EQ(grid.item(9, 1)->text(), "");
  EXPECT_EQ(gridCellColour(&grid, 0, 9), ColorRef(TMultiStatusGrid::kMissingColour));
  EXPECT_EQ(gridCellColour(&grid, 3, 9), ColorRef(TMultiStatusGrid::kMissingColour));
  EXPECT_EQ(gridCellColour(&grid, 0, 8), kWhite);
  EXPECT_FALSE(grid.item(9, 0)->toolTip().isEmpty());
  // A device left out for a run of its own is marked so, with its own hint.
  EXPECT_EQ(grid.item(5, 3)->text(), "busy");
  EXPECT_EQ(gridCellColour(&grid, 3, 5), ColorRef(TMultiStatusGrid::kMissingColour));
  EXPECT_NE(grid.item(5, 0)->toolTip(), grid.item(9, 0)->toolTip());
  EXPECT_EQ(grid.item(6, 3)->text(), "transferring");
  EXPECT_EQ(gridCellColour(&grid, 3, 6), kWhite);
  // Each reason a device gave no record has its own word and hint.
  QStringList seen{grid.item(9, 3)->text()}, hints{grid.item(9, 0)->toolTip()};
  for (MultiMiss why : {MultiMiss::NoTrigger, MultiMiss::Stopped, MultiMiss::Transferring}) {
    std::vector<MultiStatusRow> one{rows[9]};
    one[0].why = why;
    TMultiStatusGrid g;
    g.showRows(one);
    EXPECT_FALSE(seen.contains(g.item(0, 3)->text())) << g.item(0, 3)->text().toStdString();
    EXPECT_FALSE(hints.contains(g.item(0, 0)->toolTip()));
    seen << g.item(0, 3)->text();
    hints << g.item(0, 0)->toolTip();
  }
  EXPECT_EQ(seen, QStringList({"missing", "no trigger", "stopped", "transferring"}));
  // Row 9 is below the eight rows in sight: the grid has scrolled to it.
  EXPECT_TRUE(grid.viewport()->rect().contains(grid.visualItemRect(grid.item(9, 0))));
  // The delta's text: milliseconds below a second, seconds from there, the system's mark.
  EXPECT_EQ(TMultiStatusGrid::deltaText(0.0012345, QLatin1Char(',')), "+1,234 ms");
  EXPECT_EQ(TMultiStatusGrid::deltaText(-0.999, QLatin1Char('.')), "-999.000 ms");
  EXPECT_EQ(TMultiStatusGrid::deltaText(1.0, QLatin1Char('.')), "+1.000 s");
  EXPECT_EQ(TMultiStatusGrid::deltaText(-2.5, QLatin1Char('.')), "-2.500 s");
  // Deltas of a file that kept milliseconds only claim no finer resolution.
  EXPECT_EQ(TMultiStatusGrid::deltaText(0.001, QLatin1Char('.'), 3), "+1 ms");
  EXPECT_EQ(TMultiStatusGrid::deltaText(0.0, QLatin1Char('.'), 3), "0 ms");
  EXPECT_EQ(TMultiStatusGrid::deltaText(-1.25, QLatin1Char(','), 3), "-1,250 s");
  EXPECT_EQ(TMultiStatusGrid::deltaText(1e-12, QLatin1Char('.')), "0.000 ms");
  setLanguageIndex(0);
  grid.applyTexts();
  grid.showRows(rows);
  EXPECT_EQ(grid.item(9, 3)->text(), "fehlt");
  EXPECT_EQ(grid.item(5, 3)->text(), "belegt");
  EXPECT_EQ(grid.item(6, 3)->text(), "überträgt noch");
  rows[9].why = MultiMiss::Stopped;
  grid.showRows(rows);
  EXPECT_EQ(grid.item(9, 3)->text(), "abgebrochen");
  EXPECT_EQ(grid.horizontalHeaderItem(3)->text(), "Δt Trigger");
  // The column is as wide as its widest text with the cell's margins (a plus sign is wider than
  // a minus sign: "+123.485 ms" was cut to "+123.485 ..." with 8 devices).
  const int margins = 2 * (grid.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid) + 1);
  for (const char* widest : {"+999.999 ms", "-999.999 ms", "+999,999 ms"})
    EXPECT_GE(grid.columnWidth(3),
              grid.fontMetrics().horizontalAdvance(QString::fromLatin1(widest)) + margins)
        << widest;
  QFont bold = grid.font();
  bold.setBold(true);
  EXPECT_GE(grid.columnWidth(3),
            QFontMetrics(bold).horizontalAdvance(QStringLiteral("überträgt noch")) + margins);
}

// A device left out of the run for a logger run of its own is told of in a box that blocks
// nothing: while it is up the run goes on and BREAK stops it at once. The device's busy mark
// goes as soon as its own run is over, without waiting for the next START.
TEST_F(MultiRunWindow, BusyNoticeBlocksNothingAndTheMarkGoesWithTheRun) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  FakeMember& b = *members_.list[1];
  b.mode = QStringLiteral("DLA0");
  b.refuseSwitch = true;
  w.coll().setSingleShot(false, false);
  QTest::mouseClick(find<QPushButton>("BN_Run"), Qt::LeftButton);
  // Anything modal that came up would hold the test here: look from inside it, and close it.
  bool modal = false;
  QTimer::singleShot(0, &w, [&] {
    if (QWidget* m = QApplication::activeModalWidget()) {
      modal = true;
      m->close();
    }
  });
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(modal);
  ASSERT_NE(w.busyNotice(), nullptr);
  EXPECT_TRUE(w.busyNotice()->isVisible());
  EXPECT_TRUE(w.busyNotice()->text().startsWith(QStringLiteral("TVS00002: ")));
  ASSERT_TRUE(w.runGoing());
  auto* grid = find<TMultiStatusGrid>("DG_");
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->item(1, TMultiStatusGrid::kDeltaColumn)->text(), "busy");
  QTest::mouseClick(find<QPushButton>("BN_Break"), Qt::LeftButton);
  EXPECT_FALSE(w.runGoing());
  EXPECT_EQ(members_.list[0]->stops, 1);
  EXPECT_EQ(b.stops, 0);  // its own run is left alone
  EXPECT_TRUE(w.busyNotice() && w.busyNotice()->isVisible());
  members_.list[0]->owes = false;  // nothing was measured before the Break
  // Its logger run ends in its own window: the mark goes at the next look.
  b.refuseSwitch = false;
  hub_.advance(TMultiCollection::kBusyPollMs - 1);
  EXPECT_TRUE(w.coll().statusRows()[1].busy);
  hub_.advance(1);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.coll().statusRows()[1].busy);
  EXPECT_EQ(grid->item(1, TMultiStatusGrid::kDeltaColumn)->text(), "");
  EXPECT_FALSE(w.coll().busyTimer().isActive());
  // With no device busy any more the notice has nothing left to say: it goes too.
  ASSERT_NE(w.busyNotice(), nullptr);
  EXPECT_FALSE(w.busyNotice()->isVisible());
  // A second START with the device busy again tells it in the same box, not a second one.
  b.mode = QStringLiteral("DLA0");
  b.refuseSwitch = true;
  QMessageBox* box = w.busyNotice();
  w.BN_RunClick();
  QCoreApplication::processEvents();
  EXPECT_EQ(w.busyNotice(), box);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(w.findChildren<QMessageBox*>().size(), 1);
  w.BN_BreakClick();
}

// The switch for shifted curves sits on the plot page, is off by default, and redraws.
TEST_F(MultiRunWindow, ShiftSwitchIsOffByDefaultAndRedrawsThePlot) {
  TF_Multi_Tolvanex_Img& w = activeWindow(2);
  auto* shift = find<QCheckBox>("CB_ShiftByTrigger");
  ASSERT_TRUE(shift);
  EXPECT_FALSE(shift->isChecked());
  EXPECT_FALSE(w.coll().shiftByTrigger());
  EXPECT_EQ(shift->text(), "Shift curves by Δt trigger");
  w.pageControl()->setCurrentWidget(w.settingsPage());
  EXPECT_FALSE(shift->isVisible());
  w.BN_RunClick();
  deliverCycle();
  ASSERT_EQ(w.pageControl()->currentWidget(), w.imagePage());
  EXPECT_TRUE(shift->isVisible());
  const qint64 before = w.plotImage()->pixmap().cacheKey();
  QTest::mouseClick(shift, Qt::LeftButton, {}, QPoint(6, shift->height() / 2));
  EXPECT_TRUE(shift->isChecked());
  EXPECT_TRUE(w.coll().shiftByTrigger());
  EXPECT_NE(w.plotImage()->pixmap().cacheKey(), before);
  shift->setChecked(false);
  EXPECT_FALSE(w.coll().shiftByTrigger());
}

// A scale cell the user fills with something that is not a number turns red, says why, and
// the last valid value stays in use; a valid entry clears the mark.
TEST_F(MultiRunWindow, ScaleCellThatIsNoNumberIsMarkedAndKeepsItsValue) {
  TF_Multi_Tolvanex_Img& w = activeWindow(1);
  auto* page = static_cast<TMultiSettingsPage*>(w.settingsPage());
  QTableWidget* sg = page->scaleTable();
  auto edit = [&](int r, int c, const char* t) { sg->item(r, c)->setText(QString::fromUtf8(t)); };
  edit(1, 2, "2.5 V/V");
  EXPECT_TRUE(page->cellRefused(1, 2));
  EXPECT_EQ(gridCellColour(sg, 2, 1), ColorRef(TMultiSettingsPage::kRefusedCellColour));
  EXPECT_TRUE(sg->item(1, 2)->toolTip().contains(QStringLiteral("\"2.5 V/V\"")));
  EXPECT_TRUE(sg->item(1, 2)->toolTip().contains(QStringLiteral("1.0 stays in use")));
  EXPECT_EQ(w.coll().row(1).factor, "1.0");
  EXPECT_EQ(sg->item(1, 2)->text(), "2.5 V/V");  // what the user typed stays to be mended
  edit(1, 2, " 2,5 ");
  EXPECT_FALSE(page->cellRefused(1, 2));
  EXPECT_TRUE(sg->item(1, 2)->toolTip().isEmpty());
  EXPECT_NE(gridCellColour(sg, 2, 1), ColorRef(TMultiSettingsPage::kRefusedCellColour));
  EXPECT_EQ(w.coll().row(1).factor, " 2,5 ");
  edit(2, 4, "");
  EXPECT_TRUE(page->cellRefused(2, 4));
  EXPECT_EQ(w.coll().row(2).min, "0.0");
  edit(2, 1, "kPa");  // a unit is any text
  EXPECT_FALSE(page->cellRefused(2, 1));
  EXPECT_EQ(w.coll().row(2).unit, "kPa");
  // Filled again (a language change): the values in use, unmarked.
  w.applyTexts();
  EXPECT_FALSE(page->cellRefused(2, 4));
  EXPECT_EQ(sg->item(2, 4)->text(), "0.0");

  // A range whose minimum equals its maximum is no range: both cells show "auto" (the text,
  // and with it the files, keep the number); any two different numbers are a range.
  for (int c : {4, 5}) EXPECT_TRUE(page->rangeFollowsData(1, c)) << c;
  EXPECT_FALSE(page->rangeFollowsData(1, 3));
  edit(1, 5, "0.001");
  EXPECT_FALSE(page->rangeFollowsData(1, 4));
  EXPECT_FALSE(page->rangeFollowsData(1, 5));
  EXPECT_TRUE(page->rangeFollowsData(2, 4));  // the other channel keeps its own
  edit(1, 4, "0,001");
  EXPECT_TRUE(page->rangeFollowsData(1, 5));
  edit(1, 4, "-2");
  EXPECT_FALSE(page->rangeFollowsData(1, 4));
  edit(1, 5, "x");  // refused: the number in use shows, marked
  EXPECT_FALSE(page->rangeFollowsData(1, 5));
}

}  // namespace
}  // namespace tolv::test
