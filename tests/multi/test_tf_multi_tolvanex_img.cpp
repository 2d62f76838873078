// The multi-device window with fake members: controls and texts, the record message, the
// status grid colours, layout while booting, its position lines and the evaluation page.
#include <QCheckBox>
#include <cmath>
#include <fstream>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include "common/widgetcolours.h"
#include "common/windowmessages.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "common/regional.h"
#include "multi/multi_dornellpage.h"
#include "multi/multifiles.h"
#include "multi/tf_multi_tolvanex_img.h"
#include "multi_rig.h"

namespace tolv::test {
namespace {

class MultiWindow : public MultiRig {
 protected:
  void TearDown() override {
    win_.reset();
    setBootingFlag(false);
    MultiRig::TearDown();
  }
  TF_Multi_Tolvanex_Img& window() {
    win_ = std::make_unique<TF_Multi_Tolvanex_Img>(
        nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
    win_->setMembers(&members_);
    return *win_;
  }
  template <typename T>
  T* find(const char* name) {
    return win_->findChild<T*>(QString::fromLatin1(name));
  }
  std::unique_ptr<TF_Multi_Tolvanex_Img> win_;
};

TEST_F(MultiWindow, ControlsCarryTheirNamesAndTexts) {
  members_.add(QStringLiteral("A1"));
  TF_Multi_Tolvanex_Img& w = window();
  EXPECT_EQ(w.windowTitle(), "Multi-Tolvanex Oscillographs");
  for (const char* n : {"PN_Top", "PN_StartStopControls", "CB_SingleShot", "BN_Run", "BN_Break",
                        "SE_CollectTime_ms", "DG_", "BN_ClearImage", "CB_ClearBeforeDrawing",
                        "GB_Auto", "CB_Autosave", "ED_Fix_File_Name_Part", "CB_Autostart",
                        "GB_IntervalStatistics", "PN_DeltaTMax", "PC_", "TSH_Settings",
                        "TSH_Image", "TSH_Dornell", "IM_2D", "SG_Scales", "DG_Scale_Colors",
                        "CLB_ACTIVE_Tolvanexs", "BN_Update", "RB_HVXV_All", "MM_MUVX_Img",
                        "BBN_LoadMUVXSettings", "SG_Dornell", "ED_V_Threshold"})
    EXPECT_TRUE(w.findChild<QObject*>(QString::fromLatin1(n))) << n;
  EXPECT_EQ(find<QPushButton>("BN_Run")->text(), "RUN");
  EXPECT_TRUE(find<QCheckBox>("CB_SingleShot")->isChecked());
  EXPECT_EQ(find<QSpinBox>("SE_CollectTime_ms")->value(), 2000);
  EXPECT_TRUE(find<QLabel>("PN_DeltaTStdDev_Label")->text().endsWith(QChar(0x00B1)));
  EXPECT_FALSE(find<QPushButton>("BN_Run")->toolTip().contains(QLatin1Char('\r')));
  w.fillFromDeviceWindows();
  auto* sg = find<QTableWidget>("SG_Scales");
  ASSERT_EQ(sg->rowCount(), 3);
  EXPECT_EQ(sg->item(0, 1)->text(), "Y-Unit");
  EXPECT_EQ(sg->item(0, 2)->text(), "dY/dV");
  EXPECT_EQ(sg->item(2, 0)->text(), "A1 K2");
  EXPECT_EQ(find<QListWidget>("CLB_ACTIVE_Tolvanexs")->count(), 1);
  // Dornell stays hidden.
  EXPECT_FALSE(w.pageControl()->isTabVisible(2));
  setLanguageIndex(0);
  w.applyTexts();
  EXPECT_EQ(find<QPushButton>("BN_Run")->text(), "START");
  EXPECT_EQ(sg->item(0, 1)->text(), "Y-Einheit");
}

TEST_F(MultiWindow, RecordMessageRunsACycleAndColoursTheStatusGrid) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 500);
  TF_Multi_Tolvanex_Img& w = window();
  w.fillFromDeviceWindows();
  w.coll().setRowColour(1, colorRef(128, 128, 128), true);
  w.coll().setRowColour(2, colorRef(129, 128, 128), true);
  auto* clb = find<QListWidget>("CLB_ACTIVE_Tolvanexs");
  clb->item(0)->setCheckState(Qt::Checked);  // the user's click: activates and saves
  EXPECT_EQ(w.activeCount(), 1);
  EXPECT_TRUE(find<QPushButton>("BN_Update")->isVisibleTo(&w));
  EXPECT_TRUE(std::filesystem::exists(multiFolder() / "Scalings.TXT"));
  w.BN_RunClick();
  EXPECT_TRUE(find<QPushButton>("BN_Break")->isVisibleTo(&w));
  QCoreApplication::postEvent(&w,
                              new TRecordNoticeEvent({500, 250, a.index(), 1e-6, a.runCount()}));
  QCoreApplication::processEvents();
  EXPECT_EQ(w.coll().cyclesCount(), 1);
  EXPECT_TRUE(find<QPushButton>("BN_Run")->isVisibleTo(&w));
  EXPECT_EQ(w.pageControl()->currentWidget(), w.imagePage());
  auto* dg = find<QTableWidget>("DG_");
  ASSERT_EQ(dg->rowCount(), 1);
  EXPECT_EQ(dg->item(0, 0)->text(), "A1");
  // "Channel 1" / "Kanal 1"
  EXPECT_EQ(dg->item(0, 1)->text(), text(183));
  EXPECT_EQ(fromQColor(dg->item(0, 1)->foreground().color()), kWhite);  // sum 384
  EXPECT_EQ(fromQColor(dg->item(0, 2)->foreground().color()), kBlack);  // sum 385
  EXPECT_TRUE(find<QWidget>("GB_IntervalStatistics")->isVisibleTo(&w));
  EXPECT_FALSE(w.plotImage()->pixmap().isNull());
}

TEST_F(MultiWindow, ResizingWhileBootingChangesNothing) {
  members_.add(QStringLiteral("A1"));
  TF_Multi_Tolvanex_Img& w = window();
  setBootingFlag(false);
  w.resize(900, 600);
  w.layOut();
  const QSize image = w.coll().image().size();
  const QRect pc = w.pageControl()->geometry();
  setBootingFlag(true);
  w.resize(1200, 800);
  w.layOut();
  EXPECT_EQ(w.coll().image().size(), image);
  EXPECT_EQ(w.pageControl()->geometry(), pc);
  setBootingFlag(false);
  w.layOut();
  EXPECT_NE(w.coll().image().size(), image);
}

TEST_F(MultiWindow, PositionLinesRoundTripAndBadValuesChangeNothing) {
  members_.add(QStringLiteral("A1"));
  TF_Multi_Tolvanex_Img& w = window();
  QStringList lines = {QStringLiteral("x"),    QStringLiteral("40"),
                       QStringLiteral("50"),   QStringLiteral("900"),
                       QStringLiteral("650"),  QStringLiteral("TRUE"),
                       QStringLiteral("LineA"), QStringLiteral("t"),
                       QStringLiteral("2"),    QStringLiteral("rest")};
  ASSERT_EQ(w.loadPositionLines(lines), 0);
  EXPECT_EQ(lines, QStringList{QStringLiteral("rest")});
  EXPECT_TRUE(w.coll().autosave());
  EXPECT_TRUE(w.autostart());
  EXPECT_FALSE(w.coll().singleShot());
  EXPECT_EQ(w.coll().visibleMode(), 2);
  EXPECT_EQ(find<QLineEdit>("ED_Fix_File_Name_Part")->text(), "LineA");
  QStringList saved;
  w.savePositionLines(saved);
  ASSERT_EQ(saved.size(), 9);
  EXPECT_EQ(saved[3], "900");
  EXPECT_EQ(saved.mid(5), (QStringList{QStringLiteral("T"), QStringLiteral("LineA"),
                                       QStringLiteral("T"), QStringLiteral("2")}));
  for (const QStringList& bad :
       {QStringList{QStringLiteral("x"), QStringLiteral("1")},
        QStringList{QStringLiteral("x"), QStringLiteral("1"), QStringLiteral("2"),
                    QStringLiteral("999999999"), QStringLiteral("5"), QStringLiteral("F"),
                    QString(), QStringLiteral("F"), QStringLiteral("0")},
        QStringList{QStringLiteral("x"), QStringLiteral("1"), QStringLiteral("2"),
                    QStringLiteral("300"), QStringLiteral("300"), QStringLiteral("yes"),
                    QString(), QStringLiteral("F"), QStringLiteral("0")},
        QStringList{QStringLiteral("x"), QStringLiteral("1"), QStringLiteral("2"),
                    QStringLiteral("300"), QStringLiteral("300"), QStringLiteral("F"),
                    QString(), QStringLiteral("F"), QStringLiteral("7")}}) {
    QStringList l = bad;
    EXPECT_NE(w.loadPositionLines(l), 0);
    EXPECT_TRUE(w.coll().autosave());
    EXPECT_EQ(w.coll().visibleMode(), 2);
  }
}

TEST_F(MultiWindow, EvaluationFieldsColourThemselves) {
  TF_Multi_Tolvanex_Img& w = window();
  auto* e = w.findChild<QLineEdit*>(QStringLiteral("ED_A_Threshold"));
  ASSERT_TRUE(e);
  auto bg = [&] { return fromQColor(e->palette().color(QPalette::Base)); };
  EXPECT_EQ(bg(), 0x008000u);
  e->setText(QStringLiteral("0,1"));  // not above 0.1
  EXPECT_EQ(bg(), 0x0000FFu);
  e->setText(QStringLiteral("0,11"));
  EXPECT_EQ(bg(), 0x008000u);
  e->setText(QStringLiteral("abc"));
  EXPECT_EQ(bg(), 0x0000FFu);
  auto* wmax = w.findChild<QLineEdit*>(QStringLiteral("ED_Dornell_W_max"));
  EXPECT_EQ(fromQColor(wmax->palette().color(QPalette::Base)), 0x0000FFu);  // "0" is not above 0
}

TEST_F(MultiWindow, ColourDialogSetsTheClickedRow) {
  members_.add(QStringLiteral("A1"));
  TF_Multi_Tolvanex_Img& w = window();
  w.fillFromDeviceWindows();
  w.setColourDialog([](ColorRef& c) {
    EXPECT_EQ(c, defaultColour(2));
    c = 0x112233;
    return true;
  });
  w.coll().repaintColours();
  w.DG_Scale_ColorsMouseDown(2);
  EXPECT_EQ(w.coll().rowColour(2), 0x112233u);
  EXPECT_EQ(gridCellColour(find<QTableWidget>("DG_Scale_Colors"), 0, 2), 0x112233u);
  w.setFileDialog([](TF_Multi_Tolvanex_Img::Dialog, const QString&) { return QString(); });
  EXPECT_EQ(w.SaveMUVXfileAs(), kMultiCancelled);
  EXPECT_EQ(w.LoadMUVXSettings(), kMultiCancelled);
}

TEST_F(MultiWindow, FirstShowWithoutActiveDevicesAsksTheFrameToActivate) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  TF_Multi_Tolvanex_Img& w = window();
  int requests = 0;
  w.setBootRequest([&] { ++requests; });
  w.fillFromDeviceWindows();
  w.toggleVisible();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(requests, 1);
  w.toggleVisible();
  w.coll().setItemChecked(0, true);
  w.activateCheckedDevices();
  w.toggleVisible();
  EXPECT_EQ(requests, 1);  // something is active now
  // The visible-windows radio buttons.
  w.findChild<QRadioButton*>(QStringLiteral("RB_HVXV_INactive"))->click();
  EXPECT_EQ(w.coll().visibleMode(), 1);
  EXPECT_FALSE(a.shown());
  w.findChild<QRadioButton*>(QStringLiteral("RB_HVXV_Active"))->click();
  EXPECT_TRUE(a.shown());
  EXPECT_TRUE(w.findChild<QRadioButton*>(QStringLiteral("RB_HVXV_Active"))->isChecked());
  w.hide();
}

TEST_F(MultiWindow, UpdateButtonActivatesSavesAndShowsThePlot) {
  members_.add(QStringLiteral("A1"));
  members_.add(QStringLiteral("B2"));
  {
    // A scalings file that checks the second device.
    ScalingsData d;
    d.rows.resize(4);
    d.checked = {false, true};
    ASSERT_EQ(writeScalingsFile(multiFolder() / "Scalings.TXT", d), 0);
  }
  TF_Multi_Tolvanex_Img& w = window();
  w.fillFromDeviceWindows();
  auto* update = find<QPushButton>("BN_Update");
  EXPECT_TRUE(update->isVisibleTo(&w));
  EXPECT_EQ(find<QListWidget>("CLB_ACTIVE_Tolvanexs")->item(1)->checkState(), Qt::Checked);
  // The boot sequence's activation is the go the button waits for.
  EXPECT_EQ(w.activateCheckedDevices(), 0);
  EXPECT_FALSE(update->isVisibleTo(&w));
  update->setVisible(true);
  w.BN_UpdateClick();
  EXPECT_FALSE(update->isVisibleTo(&w));
  EXPECT_EQ(w.activeCount(), 1);
  EXPECT_EQ(w.pageControl()->currentWidget(), w.imagePage());
  EXPECT_FALSE(w.coll().scalingsChanged());
  // The spin edit sets the collecting timer.
  find<QSpinBox>("SE_CollectTime_ms")->setValue(1234);
  EXPECT_EQ(w.coll().collectTimer().interval(), 1234);
}

// Pictures of the settings page and of the plot page after a cycle of two devices, written
// when TOLV_WINDOW_SHOT_DIR names a folder.
TEST_F(MultiWindow, Screenshots) {
  const QByteArray dir = qgetenv("TOLV_WINDOW_SHOT_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  FakeMember& a = members_.add(QStringLiteral("TX4711"), 2000, 2e-6);
  FakeMember& b = members_.add(QStringLiteral("TX4712"), 1500, 2e-6);
  for (int k = 0; k < 2000; ++k) {
    a.ch1()[std::size_t(k)] = std::sin(k * 0.01);
    a.ch2()[std::size_t(k)] = 0.5 * std::cos(k * 0.013);
    b.ch1()[std::size_t(k)] = (k / 200) % 2 ? 1.2 : -0.2;
    b.ch2()[std::size_t(k)] = 0.001 * (k % 400) - 0.2;
  }
  setBootingFlag(false);
  TF_Multi_Tolvanex_Img& w = window();
  w.resize(1100, 700);
  w.fillFromDeviceWindows();
  w.coll().repaintColours();
  w.coll().setScaleCell(4, 1, QStringLiteral("A"));
  w.coll().setScaleCell(4, 2, QStringLiteral("2.5"));
  for (int i = 0; i < 2; ++i) w.coll().setItemChecked(i, true);
  w.activateCheckedDevices();
  w.applyTexts();
  w.show();
  w.layOut();
  QCoreApplication::processEvents();
  w.pageControl()->setCurrentWidget(w.settingsPage());
  QCoreApplication::processEvents();
  const QString d = QString::fromLocal8Bit(dir);
  QDir().mkpath(d);
  EXPECT_TRUE(w.grab().save(d + QStringLiteral("/multi_settings.png")));
  w.BN_RunClick();
  w.coll().recordArrived(a.notice(1500));
  w.coll().recordArrived(b.notice(1000));
  hub_.advance(TMultiCollection::kHeaderMs);
  w.layOut();
  QCoreApplication::processEvents();
  EXPECT_TRUE(w.grab().save(d + QStringLiteral("/multi_plot.png")));
  w.hide();
}


// Every column title of the scale table is readable in both languages.
TEST_F(MultiWindow, ScaleTableTitlesFitTheirColumns) {
  members_.add(QStringLiteral("A1"));
  TF_Multi_Tolvanex_Img& w = window();
  w.fillFromDeviceWindows();
  auto* sg = find<QTableWidget>("SG_Scales");
  for (int lang : {0, 1}) {
    setLanguageIndex(lang);
    w.applyTexts();
    for (int c = 1; c <= 5; ++c) {
      const QString t = sg->item(0, c)->text();
      EXPECT_GE(sg->columnWidth(c), sg->fontMetrics().horizontalAdvance(t) + 6) << t.toStdString();
      EXPECT_GE(sg->columnWidth(c), 72);
    }
  }
}


// A multi-device data file `name` of devices TX000001 and TX000002, `depth` samples each at
// 10 us (the second device's `shift` seconds later), in the window's column separator.
void writeTwoDeviceDataFile(const std::filesystem::path& root, const char* name, int depth,
                            double shift = 0) {
  const char sep = char(columnSeparatorSetting().toLatin1());
  std::vector<std::filesystem::path> parts;
  for (int d = 0; d < 2; ++d) {
    DeviceFileHead h;
    h.serial = QStringLiteral("TX00000%1").arg(d + 1);
    h.depth = depth;
    std::string text;
    appendDeviceFileHead(text, h, sep, '.');
    for (int i = 0; i < depth; ++i)
      appendDeviceFileLine(text, i * 1e-5 + d * shift, d + i * 0.01, -1, sep, '.');
    parts.push_back(root / (std::string(name) + std::to_string(d) + ".part.CSV"));
    std::ofstream(parts.back(), std::ios::binary) << text;
  }
  ASSERT_EQ(writeMultiDataFile(root / name, parts, sep), 0);
}

// "Export record on screen..." of the data files menu: the merged record the window holds, as a sigrok session
// or plain CSV by the name's ending; with nothing to export the user is told so.
TEST_F(MultiWindow, ExportWritesTheMergedRecordByTheNamesEnding) {
  TF_Multi_Tolvanex_Img& w = window();
  QStringList told;
  w.setExportProblemSink([&](const QString& t) { told << t; });
  QString answer;
  w.setFileDialog([&](TF_Multi_Tolvanex_Img::Dialog d, const QString&) {
    return d == TF_Multi_Tolvanex_Img::Dialog::Export ? answer : QString();
  });
  EXPECT_EQ(w.ExportMUVX(), kMultiEmpty);
  ASSERT_EQ(told.size(), 1);
  writeTwoDeviceDataFile(root_, "m.CSV", 100);
  ASSERT_EQ(w.coll().loadDataFile(root_ / "m.CSV"), 0);
  answer = QString::fromStdString((root_ / "m.sr").string());
  EXPECT_EQ(w.ExportMUVX(), 0);
  EXPECT_EQ(w.targetFilter(), "sigrok session (*.sr);;Plain CSV (*.csv)");
  EXPECT_TRUE(std::filesystem::exists(root_ / "m.sr"));
  answer = QString::fromStdString((root_ / "m").string());  // no ending: plain CSV
  EXPECT_EQ(w.ExportMUVX(), 0);
  std::ifstream in(root_ / "m.csv");
  std::string line;
  while (std::getline(in, line) && line.rfind('#', 0) == 0) {
  }
  EXPECT_EQ(line, "time_s,TX000001_ch0_V,TX000001_ch1_V,TX000002_ch0_V,TX000002_ch1_V");
  EXPECT_EQ(told.size(), 1);
  // Devices off one sample grid share no session: only a table is offered.
  writeTwoDeviceDataFile(root_, "skewed.CSV", 50, 0.5e-5);
  ASSERT_EQ(w.coll().loadDataFile(root_ / "skewed.CSV"), 0);
  answer = QString::fromStdString((root_ / "skewed").string());
  EXPECT_EQ(w.ExportMUVX(), 0);
  EXPECT_EQ(w.targetFilter(), "Plain CSV (*.csv)");
  EXPECT_TRUE(std::filesystem::exists(root_ / "skewed.csv"));
  EXPECT_EQ(told.size(), 1);
  answer.clear();
  EXPECT_EQ(w.ExportMUVX(), kMultiCancelled);
}

// "Export..." of the data files menu: a stored merged data file chosen in a dialog, to the
// format its target's name ends in (a session when it names none); a logic record to a dump;
// what the format cannot hold is told with the file's name.
TEST_F(MultiWindow, ExportOfAStoredFileTakesItsFormatFromTheTarget) {
  TF_Multi_Tolvanex_Img& w = window();
  QStringList told;
  w.setExportProblemSink([&](const QString& t) { told << t; });
  QString source, target;
  QString proposed;
  w.setFileDialog([&](TF_Multi_Tolvanex_Img::Dialog d, const QString& p) {
    if (d == TF_Multi_Tolvanex_Img::Dialog::ExportStored) return source;
    if (d == TF_Multi_Tolvanex_Img::Dialog::ExportStoredTarget) {
      proposed = p;
      return target;
    }
    return QString();
  });
  writeTwoDeviceDataFile(root_, "stored.CSV", 50);
  EXPECT_EQ(w.ExportStoredMUVX(), kMultiCancelled);  // no file chosen
  source = QString::fromStdString((root_ / "stored.CSV").string());
  EXPECT_EQ(w.ExportStoredMUVX(), kMultiCancelled);  // no target named
  EXPECT_EQ(proposed, QString::fromStdString((root_ / "stored.sr").string()));
  // Analog records of several devices: a session or a table, no value change dump.
  EXPECT_EQ(w.targetFilter(), "sigrok session (*.sr);;Plain CSV (*.csv)");
  target = QString::fromStdString((root_ / "out").string());
  EXPECT_EQ(w.ExportStoredMUVX(), 0);
  EXPECT_TRUE(std::filesystem::exists(root_ / "out.sr"));
  target = QString::fromStdString((root_ / "out.csv").string());
  EXPECT_EQ(w.ExportStoredMUVX(), 0);
  std::ifstream in(root_ / "out.csv");
  std::string line;
  while (std::getline(in, line) && line.rfind('#', 0) == 0) {
  }
  EXPECT_EQ(line, "time_s,TX000001_ch0_V,TX000001_ch1_V,TX000002_ch0_V,TX000002_ch1_V");
  EXPECT_TRUE(told.isEmpty());
  // Analog samples make no value change dump: refused in words, nothing written.
  target = QString::fromStdString((root_ / "out.vcd").string());
  EXPECT_EQ(w.ExportStoredMUVX(), 2);
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told[0].contains(source)) << told[0].toStdString();
  EXPECT_FALSE(std::filesystem::exists(root_ / "out.vcd"));
  // Devices off one sample grid share no session: only a table is offered, and proposed.
  writeTwoDeviceDataFile(root_, "skewed.CSV", 50, 0.5e-5);
  source = QString::fromStdString((root_ / "skewed.CSV").string());
  target = QString::fromStdString((root_ / "skewed").string());
  told.clear();
  EXPECT_EQ(w.ExportStoredMUVX(), 0);
  EXPECT_EQ(proposed, QString::fromStdString((root_ / "skewed_plain.csv").string()));
  EXPECT_EQ(w.targetFilter(), "Plain CSV (*.csv)");
  EXPECT_TRUE(std::filesystem::exists(root_ / "skewed.csv"));
  EXPECT_TRUE(told.isEmpty()) << told.join('\n').toStdString();
  // A file no export knows is told before any target is asked for, a file of no stored
  // file's ending in the window's language.
  std::ofstream(root_ / "notes.csv") << "shopping list\r\n";
  source = QString::fromStdString((root_ / "notes.csv").string());
  proposed.clear();
  EXPECT_NE(w.ExportStoredMUVX(), 0);
  EXPECT_TRUE(proposed.isEmpty());
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told[0].contains(source)) << told[0].toStdString();
  setLanguageIndex(kLanguageGerman);
  std::ofstream(root_ / "notes.txt") << "shopping list\r\n";
  source = QString::fromStdString((root_ / "notes.txt").string());
  EXPECT_NE(w.ExportStoredMUVX(), 0);
  EXPECT_TRUE(proposed.isEmpty());
  ASSERT_EQ(told.size(), 2);
  EXPECT_TRUE(told[1].contains("unbekannte Art von Datei")) << told[1].toStdString();
}

// Loading a damaged data file or saving where nothing can be written says so; a cancelled
// dialog says nothing.
TEST_F(MultiWindow, DataFileProblemsAreTold) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TF_Multi_Tolvanex_Img& w = window();
  QStringList told;
  w.setExportProblemSink([&](const QString& t) { told << t; });
  QString answer;
  w.setFileDialog([&](TF_Multi_Tolvanex_Img::Dialog, const QString&) { return answer; });
  std::ofstream(root_ / "bad.CSV") << "A\t \t \r\nshort\r\n";
  answer = QString::fromStdString((root_ / "bad.CSV").string());
  EXPECT_EQ(w.LoadMUVXfile(), kMultiFileTooShort);
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told[0].contains(QStringLiteral("bad.CSV"))) << told[0].toStdString();
  EXPECT_TRUE(told[0].contains(QStringLiteral("cut off"))) << told[0].toStdString();
  // Nothing to save yet.
  answer = QString::fromStdString((root_ / "out.CSV").string());
  EXPECT_EQ(w.SaveMUVXfileAs(), kMultiEmpty);
  ASSERT_EQ(told.size(), 2);
  EXPECT_TRUE(told[1].contains(QStringLiteral("no cycle"))) << told[1].toStdString();
  EXPECT_FALSE(std::filesystem::exists(root_ / "out.CSV"));
  answer.clear();
  EXPECT_EQ(w.LoadMUVXfile(), kMultiCancelled);
  EXPECT_EQ(w.SaveMUVXfileAs(), kMultiCancelled);
  EXPECT_EQ(told.size(), 2);
  // Device files that cannot be written (folders in their place): one message for the cycle,
  // naming each once, in words that keep them apart from the merged file.
  const std::filesystem::path blocked[] = {intermediateFolder() / "A1.CSV",
                                           intermediateFolder() / "B2.CSV"};
  for (const auto& p : blocked) std::filesystem::create_directories(p);
  w.fillFromDeviceWindows();
  for (int i = 0; i < 2; ++i) w.coll().setItemChecked(i, true);
  w.activateCheckedDevices();
  w.BN_RunClick();
  w.coll().recordArrived(a.notice());
  w.coll().recordArrived(b.notice());
  QCoreApplication::processEvents();
  ASSERT_EQ(told.size(), 3);
  const QString& t = told[2];
  for (const auto& p : blocked)
    EXPECT_EQ(t.count(pathText(p) + QStringLiteral(": ")), 1) << t.toStdString();
  EXPECT_TRUE(t.startsWith(QStringLiteral("The device files cannot be written"))) << t.toStdString();
  EXPECT_TRUE(t.contains(QStringLiteral("stay in the multi-device data file"))) << t.toStdString();

}

}  // namespace
}  // namespace tolv::test
