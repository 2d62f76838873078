// A device window whose device is pulled out: the run ends, its stream file converts, a record
// cut short is told once, the window says what happened, and the device comes back to it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include "common/texttable.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "ftdi/hotplug_texts.h"
#include "measure/loggerstream.h"
#include "wire/wirecommands.h"
#include "sim_window_fixture.h"

namespace tolv {
namespace {

struct NoQuestions final : IQuestionSink {
  bool askYesNo(const QString&) override { return false; }
};

class WindowUnplug : public test::SimWindowTest {
 protected:
  void SetUp() override {
    test::SimWindowTest::SetUp();
    if (HasFatalFailure()) return;
    w_->settingsModel().setQuestionSink(&no_);
  }
  TAcquisition& acq() { return w_->acquisition(); }
  bool until(const std::function<bool()>& p, std::int64_t maxMs = 5000) {
    return hub_.advanceUntil(p, maxMs);
  }
  void chooseMode(ModeCode m) {
    w_->settingsModel().modeChosen(modeIndex(m));
    ASSERT_TRUE(until([&] { return acq().mode() == m; }, 2000));
    hub_.advance(500);
  }
  void clickRun() { QTest::mouseClick(w_->runPanel()->runButton(), Qt::LeftButton); }
  TOneTolvanexLinkPanel& panel() { return *w_->linkPanel(); }
  // Plugged back and reconnected: the window is idle and says the run the loss ended is over
  // (and, for a record cut in flight, that it was discarded, not kept).
  void plugBack(const QString& said = text(kTextRunEndedByLoss)) {
    sim_.plug(0);
    ASSERT_EQ(w_->reconnect(), 0);
    hub_.advance(2000);
    QApplication::processEvents();
    EXPECT_FALSE(w_->isLost());
    EXPECT_TRUE(panel().statePanel()->isHidden());
    EXPECT_FALSE(panel().messagePanel()->isHidden());
    EXPECT_EQ(panel().messagePanel()->text(), said);
  }
  void loggerStreamOfAPulledDevice(bool csv);
  int colourIn(PlotSheet sheet, QRgb c) {
    const QImage img = w_->plots().sheets().image(sheet)->pixmap().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == c;
    return n;
  }
  // The automatic tables of a mode under the device folder.
  int csvTables(ModeCode m) {
    int n = 0;
    const std::string code = modeCodeText(m);
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_))
      n += e.path().extension() == ".CSV" && e.path().stem().string().ends_with(code);
    return n;
  }
  NoQuestions no_;
};

// Whatever the auto-save setting: writing the run's table must not keep its picture away.
void WindowUnplug::loggerStreamOfAPulledDevice(bool csv) {
  if (csv) QTest::mouseClick(w_->findChild<QRadioButton*>(QStringLiteral("RB_AutoSave_CSV")),
                             Qt::LeftButton);
  chooseMode(kModeDLA0);
  clickRun();
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
  hub_.advance(2000);
  sim_.unplug(0);
  hub_.advance(500);
  QApplication::processEvents();
  ASSERT_TRUE(w_->isLost());
  EXPECT_EQ(acq().runState(), RunState::Idle);
  EXPECT_FALSE(w_->runPanel()->runButton()->isEnabled());
  EXPECT_EQ(panel().statePanel()->text(), disconnectedCaption());
  EXPECT_FALSE(panel().statePanel()->isHidden());
  EXPECT_FALSE(panel().messagePanel()->isHidden());
  EXPECT_TRUE(panel().messagePanel()->text().contains(QStringLiteral("TVS00001")));
  EXPECT_EQ(panel().readPanel()->text(), QStringLiteral("4"));
  EXPECT_EQ(panel().writePanel()->text(), QStringLiteral("4"));

  const auto& n = w_->plots().data().numbering(IntermediateFamily::DLA0);
  const std::filesystem::path file = n.fileName(n.current());
  AnalogLoggerStream s;
  ASSERT_EQ(loadAnalogLoggerStream(file, s), 0) << file;
  EXPECT_GT(s.sampleCount(), 100u);
  EXPECT_EQ(s.sampleCount() * 4, std::filesystem::file_size(file));
  EXPECT_EQ(s.header.mode, kModeDLA0);
  // What was kept is drawn at once, as after STOP.
  EXPECT_EQ(w_->plots().sheets().shownSheet(), PlotSheet::AnalogLogger);
  EXPECT_EQ(w_->plots().presenter().analogLoggerFile(), file);
  EXPECT_GT(colourIn(PlotSheet::AnalogLogger, 0x0000FF), 100);
  EXPECT_EQ(csvTables(kModeDLA0), csv ? 1 : 0);
  plugBack();

  // The I/O logger likewise: its sheet shows the kept stream, not an empty picture.
  chooseMode(kModeDLDI);
  clickRun();
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
  hub_.advance(2000);
  sim_.unplug(0);
  hub_.advance(500);
  QApplication::processEvents();
  ASSERT_TRUE(w_->isLost());
  EXPECT_EQ(w_->plots().sheets().shownSheet(), PlotSheet::IoLogger);
  EXPECT_GT(w_->plots().data().ioLoggerList().count(), 0);
  EXPECT_GT(colourIn(PlotSheet::IoLogger, 0xFF0000), 100);
  EXPECT_EQ(csvTables(kModeDLDI), csv ? 1 : 0);
  plugBack();
}

TEST_F(WindowUnplug, LoggerStreamOfAPulledDeviceIsClosedAndConverts) {
  loggerStreamOfAPulledDevice(false);
}

TEST_F(WindowUnplug, LoggerStreamOfAPulledDeviceIsDrawnWithCsvAutoSave) {
  loggerStreamOfAPulledDevice(true);
}


TEST_F(WindowUnplug, CutRecordIsToldOnceAndTheDeviceComesBackToItsWindow) {
  const int settingsSheet = w_->pageControl()->currentIndex();  // where the opened mode put it
  // 131000 samples: 524000 bytes take about 130 ms over the test's link.
  w_->acquisition().desired().memoryDepth = 131000;
  w_->acquisition().desired().sampleTime = 1e-6f;
  w_->acquisition().requestSettingsWrite();
  hub_.advance(1000);
  ASSERT_EQ(acq().storedReply().memoryDepth, 131000.0f);
  clickRun();
  ASSERT_TRUE(until([&] { return w_->link().accumulationFill() > 0; }, 3000));
  sim_.unplug(0, kFtOk);  // the driver does not tell: the frame's listing does
  const int runSheet = w_->pageControl()->currentIndex();  // the run brought its image forward
  ASSERT_NE(runSheet, settingsSheet);
  w_->deviceGone();
  w_->deviceGone();  // told twice, shown once
  QApplication::processEvents();
  const QString message = panel().messagePanel()->text();
  EXPECT_EQ(message.count(QStringLiteral("discarded")), 1) << message.toStdString();
  EXPECT_EQ(acq().lastStamp().run, 0u);  // no record came
  const QRegularExpressionMatch cut =
      QRegularExpression(QStringLiteral(R"(\((\d+) of 524000 bytes\))")).match(message);
  ASSERT_TRUE(cut.hasMatch()) << message.toStdString();

  // Changes made while away are sent on return, and the window's own options stay as they are.
  QTest::mouseClick(w_->runPanel()->singleShotBox(), Qt::LeftButton);
  ASSERT_TRUE(acq().singleShot());
  w_->acquisition().desired().memoryDepth = 2000;
  w_->acquisition().requestSettingsWrite();
  hub_.advance(1000);
  plugBack(QStringLiteral("The last run ended when the device was disconnected; the record it "
                          "cut off was discarded (%1 of 524000 bytes).")
               .arg(cut.captured(1)));
  EXPECT_FALSE(panel().messagePanel()->text().contains(QStringLiteral("kept")));
  // The device confirms the mode it had: the window keeps the sheet the user looks at.
  EXPECT_EQ(w_->pageControl()->currentIndex(), runSheet);
  EXPECT_EQ(panel().readPanel()->text(), QStringLiteral("Read"));
  EXPECT_EQ(sim_.device(0).settings().memoryDepth, 2000.0f);
  EXPECT_TRUE(w_->runPanel()->runButton()->isEnabled());
  EXPECT_TRUE(acq().singleShot());
  EXPECT_TRUE(w_->runPanel()->singleShotBox()->isChecked());
  clickRun();
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Measuring; }, 2000));
  EXPECT_TRUE(panel().messagePanel()->isHidden());  // a new run: the note has done its work
  ASSERT_TRUE(until([&] { return acq().runState() == RunState::Idle; }, 5000));
  EXPECT_EQ(acq().lastStamp().run, acq().runsWritten());
  EXPECT_GT(acq().lastStamp().run, 1u);

  // Another mode chosen while away is set on return, and its sheet comes to the front.
  sim_.unplug(0);
  hub_.advance(500);
  ASSERT_TRUE(w_->isLost());
  w_->settingsModel().modeChosen(modeIndex(kModeVMD0));
  sim_.plug(0);
  ASSERT_EQ(w_->reconnect(), 0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeVMD0; }, 3000));
  hub_.advance(1000);
  QApplication::processEvents();
  EXPECT_EQ(sim_.device(0).mode(), kModeVMD0);
  EXPECT_EQ(w_->pageControl()->currentIndex(), 0);  // the voltmeter's sheet
}

}  // namespace
}  // namespace tolv
