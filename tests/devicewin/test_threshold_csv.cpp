// The trigger thresholds of a scope CSV are the levels the window shows (the volts the device
// compares at its input), given in the samples' volts: through the probe factor and the 0.85
// divider of the trigger channel, not the range.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <fstream>

#include "devicewin/panel_files.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "measure/recordfiles.h"
#include "sim_window_fixture.h"

using namespace tolv;

namespace {

class ThresholdWindow : public tolv::test::SimWindowTest {
 protected:
  template <class T>
  T* child(const char* name) {
    return w_->findChild<T*>(QString::fromLatin1(name));
  }
  bool until(const std::function<bool()>& p, std::int64_t maxMs) {
    return hub_.advanceUntil(p, maxMs);
  }
  // The number a panel such as "    0.500 V" shows.
  static double shownVolts(const QLabel* l) {
    QString t = l->text().trimmed();
    t.chop(1);
    return t.trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
  }
  // The value cell of a threshold row of the CSV ("...;Upper trigger threshold;0.500488;V").
  static double csvThreshold(const std::filesystem::path& csv, const char* label) {
    std::ifstream in(csv, std::ios::binary);
    for (std::string l; std::getline(in, l);) {
      const auto at = l.find(label);
      if (at == std::string::npos) continue;
      std::string v = l.substr(at + std::strlen(label) + 1);
      v = v.substr(0, v.find('\t'));
      std::replace(v.begin(), v.end(), ',', '.');
      return std::stod(v);
    }
    return -999;
  }
};

}  // namespace

TEST_F(ThresholdWindow, CsvThresholdsAreTheShownLevelsAtTheProbesTip) {
  auto* upper = child<QScrollBar>("SB_TrgLevelUpper");
  auto* lower = child<QScrollBar>("SB_TrgLevelLower");
  auto* probe = child<QSpinBox>("SE_TF_C0");
  auto* aux = child<QCheckBox>("CB_0_85");
  ASSERT_TRUE(upper && lower && probe && aux);
  TFilePanel* files = w_->findChild<TFilePanel*>();
  ASSERT_NE(files, nullptr);
  files->setAutoSaveMode(1);
  probe->setValue(10);
  for (const bool divider : {true, false}) {
    if (aux->isChecked() != divider) QTest::mouseClick(aux, Qt::LeftButton);
    ASSERT_EQ(aux->isChecked(), divider);
    // A 10 V range: 205 of 4096 steps is about 0.5 V, -82 about -0.2 V.
    upper->setValue(205);
    lower->setValue(-82);
    hub_.advance(1500);  // the settings write and the device's answer
    const double shownUpper = shownVolts(child<QLabel>("PN_TrgLevelUpper"));
    const double shownLower = shownVolts(child<QLabel>("PN_TrgLevelLower"));
    EXPECT_NEAR(shownUpper, 0.5, 0.001);
    EXPECT_NEAR(shownLower, -0.2, 0.001);

    TOneTolvanexRunPanel& run = *w_->runPanel();
    if (!w_->acquisition().singleShot()) QTest::mouseClick(run.singleShotBox(), Qt::LeftButton);
    QTest::mouseClick(run.runButton(), Qt::LeftButton);
    ASSERT_TRUE(until([&] { return w_->acquisition().runState() == RunState::Measuring; }, 2000));
    ASSERT_TRUE(until([&] { return w_->acquisition().runState() == RunState::Idle; }, 20000));
    QApplication::processEvents();
    const std::filesystem::path csv = files->recordFiles()->lastDataFile();
    ASSERT_FALSE(csv.empty());
    // The panels show the device's answer to a tenth of a volt; probe 10 is 9 / 0.85 + 1 with
    // the divider, 10 without.
    const double k = divider ? 9.0 / 0.85 + 1.0 : 10.0;
    EXPECT_NEAR(csvThreshold(csv, "Upper trigger threshold"), shownUpper * k, 0.05 * k) << divider;
    EXPECT_NEAR(csvThreshold(csv, "Lower trigger threshold"), shownLower * k, 0.05 * k) << divider;
  }
}

// A logger run in between leaves the scope its own trigger: the scope CSV written after it has
// every trigger row (channel, pretrigger time, trigger sample, both thresholds) again.
TEST_F(ThresholdWindow, AScopeCsvAfterALoggerRunHasEveryTriggerRow) {
  struct No : IQuestionSink {
    bool askYesNo(const QString&) override { return false; }
  } no;
  w_->settingsModel().setQuestionSink(&no);
  TFilePanel* files = w_->findChild<TFilePanel*>();
  ASSERT_NE(files, nullptr);
  files->setAutoSaveMode(1);
  TSettingsModel& m = w_->settingsModel();
  m.triggerTypeChosen('T');
  hub_.advance(1000);
  TOneTolvanexRunPanel& run = *w_->runPanel();
  TAcquisition& acq = w_->acquisition();
  m.modeChosen(5);  // DLA0
  ASSERT_TRUE(until([&] { return acq.mode() == kModeDLA0; }, 3000));
  hub_.advance(1500);
  ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'M');
  QTest::mouseClick(run.runButton(), Qt::LeftButton);
  ASSERT_TRUE(until([&] { return acq.runState() == RunState::Measuring; }, 2000));
  hub_.advance(1000);
  QTest::mouseClick(run.breakButton(), Qt::LeftButton);
  ASSERT_TRUE(until([&] { return acq.runState() == RunState::Idle; }, 5000));
  m.modeChosen(4);  // OSA0
  ASSERT_TRUE(until([&] { return acq.mode() == kModeOSA0; }, 3000));
  hub_.advance(1500);
  ASSERT_EQ(triggerTypeLetter(acq.storedReply().triggerType), 'T');
  if (!acq.singleShot()) QTest::mouseClick(run.singleShotBox(), Qt::LeftButton);
  QTest::mouseClick(run.runButton(), Qt::LeftButton);
  ASSERT_TRUE(until([&] { return acq.runState() == RunState::Measuring; }, 2000));
  ASSERT_TRUE(until([&] { return acq.runState() == RunState::Idle; }, 20000));
  QApplication::processEvents();
  const std::filesystem::path csv = files->recordFiles()->lastDataFile();
  ASSERT_EQ(csv.extension(), ".CSV");
  std::ifstream in(csv, std::ios::binary);
  std::vector<std::string> rows;
  for (std::string l; rows.size() < 11 && std::getline(in, l);) rows.push_back(l);
  ASSERT_EQ(rows.size(), 11u);
  const char* labels[] = {"Device", "Date of measurement", "Time of measurement",
                          "Trigger mode\t\"T\"", "Trigger channel", "Pretrigger time",
                          "Trigger sample", "Lower trigger threshold", "Upper trigger threshold",
                          "Sampletime", "Memory Depth"};
  for (std::size_t r = 0; r < rows.size(); ++r)
    EXPECT_NE(rows[r].find(labels[r]), std::string::npos) << r << ": " << rows[r];
}
