#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "common/atomicfile.h"
#include "common/paths.h"
#include "measure/settingsfiles.h"
#include "measure/textheader.h"
#include "support/pipe_rescue.h"
#include "wire/wirecommands.h"

namespace tolv {
namespace {

QByteArray fileBytes(const fs::path& p) {
  QFile f(pathText(p));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void putFile(const fs::path& p, const QByteArray& b) {
  QFile f(pathText(p));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(b);
}

// A setting unlike the defaults in every field the files carry.
SettingsRecord sample(ModeCode mode = kModeOSA0) {
  SettingsRecord r = SettingsRecord::defaults(700, 450, 30, 40);
  r.mode = mode;
  r.amplC0 = 2;
  r.amplC1 = 0.5;
  r.offsC0 = 0.25;
  r.offsC1 = -0.125;
  r.sampleTime = 0.0001;
  r.memoryDepth = 20000;
  r.triggerPoint = 35;
  r.trgChan = 1;
  r.relevances = 0x81;
  r.dynamics = 0x01;
  r.levels = 0x80;
  r.trgTypString = "W";
  r.trgLevelUpper = 0.75;
  r.trgLevelLower = -0.5;
  r.gpioData = 0x00A5A5A5;
  r.gpioDirection = 0x00FF00FF;
  r.singleShot = true;
  r.overlapping = false;
  r.scopePlotMode = 5;
  r.autoScaleC0 = true;
  r.autoScaleC1 = false;
  r.autoSaveMode = 2;
  r.probeFactorC0 = 10;
  r.probeFactorC1 = -3;
  r.probeHelpFactorFlag = false;
  r.synchYAxes = false;
  r.clockInterval0 = 250;
  r.clockInterval1 = 1700;
  r.makeIntermediateFiles = false;
  return r;
}

class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    base_ = fs::path(dir_.path().toStdString()) / "TVS00001" / "LastSettings.VXS";
  }
  fs::path base_;
  QTemporaryDir dir_;
};

TEST_F(SettingsFiles, SaveWritesTheImageTheHeaderAndTheOptionsInTableOrder) {
  const SettingsRecord r = sample();
  ASSERT_EQ(saveSettingsFiles(base_, r), 0);
  const QByteArray vxs = fileBytes(base_);
  ASSERT_EQ(vxs.size(), 408);
  const auto image = r.toBytes();
  EXPECT_EQ(vxs, QByteArray(reinterpret_cast<const char*>(image.data()), 408));
  // Scope mode shows its code in stored byte order after the key "Mode".
  const QByteArray vxt = fileBytes(base_.parent_path() / "LastSettings.VXT");
  EXPECT_TRUE(vxt.startsWith("Mode\r\n0ASO\r\n")) << vxt.left(20).toStdString();
  EXPECT_FALSE(vxt.contains("Date Time"));
  EXPECT_EQ(fileBytes(base_.parent_path() / "LastSettings.SKS"),
            QByteArray("SingleShot\r\nTRUE\r\nOverlapping\r\nFALSE\r\nScopePlotMode\r\n5\r\n"
                       "AutoScaleC0\r\nTRUE\r\nAutoScaleC1\r\nFALSE\r\nAutoSaveMode\r\n2\r\n"
                       "Width\r\n700\r\nHeight\r\n450\r\nLeft\r\n30\r\nTop\r\n40\r\n"
                       "ProbeFactor_C0\r\n 1.00000000000000E+0001\r\n"
                       "ProbeFactor_C1\r\n-3.00000000000000E+0000\r\n"
                       "ProbeHelpFactorFlag\r\nFALSE\r\nSynchYAxes\r\nFALSE\r\n"
                       "Clock_Interval_0\r\n250\r\nClock_Interval_0\r\n1700\r\n"
                       "MakeIntermediateFiles\r\nFALSE\r\n"));
  // Nothing but the three files is left in the folder.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(base_.parent_path())) ++entries;
  EXPECT_EQ(entries, 3);
}

TEST_F(SettingsFiles, ASavedSettingLoadsBackFieldForField) {
  for (ModeCode m : kModeCodes) {
    const SettingsRecord r = sample(m);
    ASSERT_EQ(saveSettingsFiles(base_, r), 0);
    SettingsRecord image;
    ASSERT_EQ(readSettingsImage(base_, image), 0);
    EXPECT_EQ(image, r);
    TSettingsLoader l;
    ASSERT_EQ(l.load(base_), 0);
    EXPECT_FALSE(l.lastLoadUsedImage());
    EXPECT_TRUE(l.lastLoadBrokenFile().empty());
    EXPECT_EQ(l.toApply(), r) << modeCodeText(m);
  }
}

TEST_F(SettingsFiles, WithoutTheSksTheImageIsAppliedWithTheOptionsLastRead) {
  const SettingsRecord a = sample();
  ASSERT_EQ(saveSettingsFiles(base_, a), 0);
  fs::remove(sksName(base_));
  // A fresh window has read no options: all zero, the record's own window bytes unused.
  TSettingsLoader fresh;
  ASSERT_EQ(fresh.load(base_), 0);
  EXPECT_TRUE(fresh.lastLoadUsedImage());
  EXPECT_EQ(fresh.lastLoadBrokenFile(), sksName(base_));
  EXPECT_EQ(fresh.pendingRecord(), a);
  const SettingsRecord applied = fresh.toApply();
  EXPECT_EQ(applied.amplC0, 2);
  EXPECT_EQ(applied.trgTypString, "W");
  EXPECT_EQ(WindowOptions::fromRecord(applied), zeroWindowOptions());
  EXPECT_EQ(applied.width, 0);
  EXPECT_EQ(applied.probeFactorC0, 0);
  // A window that read options before keeps them.
  SettingsRecord b = SettingsRecord::defaults(900, 600, 5, 6);
  b.scopePlotMode = 2;
  const fs::path other = base_.parent_path() / "Other.VXS";
  ASSERT_EQ(saveSettingsFiles(other, b), 0);
  TSettingsLoader used;
  ASSERT_EQ(used.load(other), 0);
  ASSERT_EQ(used.load(base_), 0);
  EXPECT_EQ(WindowOptions::fromRecord(used.toApply()), WindowOptions::fromRecord(b));
  EXPECT_EQ(used.toApply().amplC1, 0.5);
}

TEST_F(SettingsFiles, HeaderValuesWithADecimalCommaLoad) {
  ASSERT_EQ(saveSettingsFiles(base_, sample()), 0);
  QByteArray vxt = fileBytes(vxtName(base_));
  ASSERT_TRUE(vxt.contains("SamplTim\r\n 1.00000000000000E-0004\r\n"));
  const int at = vxt.indexOf("SamplTim\r\n") + 10;
  const int end = vxt.indexOf("\r\n", at);
  vxt.replace(at, end - at, "1,0E-0004");
  putFile(vxtName(base_), vxt);
  fs::remove(base_);  // the header alone must carry it
  TSettingsLoader l;
  ASSERT_EQ(l.load(base_), 0);
  EXPECT_EQ(l.toApply().sampleTime, 0.0001);
}

TEST_F(SettingsFiles, TheSecondClockIntervalIsTheSecondCounter) {
  WindowOptions o = zeroWindowOptions();
  o.clockInterval0 = 17;
  o.clockInterval1 = 2000;
  const std::string t = sksText(o);
  EXPECT_NE(t.find("Clock_Interval_0\r\n17\r\nClock_Interval_0\r\n2000\r\n"), std::string::npos);
  WindowOptions back = zeroWindowOptions();
  int n = 0;
  ASSERT_EQ(parseSks(QByteArray::fromStdString(t), back, &n), 0);
  EXPECT_EQ(n, 17);
  EXPECT_EQ(back.clockInterval1, 2000);
  EXPECT_EQ(back, o);
}

TEST_F(SettingsFiles, SksValuesAreReadUntilTheFirstUnreadableOne) {
  WindowOptions o = WindowOptions::fromRecord(sample());
  const WindowOptions before = o;
  int n = -1;
  // Key lines are ignored; LF line ends, odd cases and short words are accepted.
  ASSERT_EQ(parseSks("x\nf\nx\nt\nx\n260\nx\nfalse\nx\nTrue\nx\n1\nx\nabc\nx\n480\nx\n-20\n"
                     "x\n-30\nx\n2,5\nx\nnot a number\nx\nTRUE\n",
                     o, &n),
            0);
  EXPECT_EQ(n, 11);
  EXPECT_FALSE(o.singleShot);
  EXPECT_TRUE(o.overlapping);
  EXPECT_EQ(o.scopePlotMode, 4);  // 260: low byte
  EXPECT_FALSE(o.autoScaleC0);
  EXPECT_TRUE(o.autoScaleC1);
  EXPECT_EQ(o.autoSaveMode, 1);
  EXPECT_EQ(o.width, before.width);  // a whole number that is none keeps the value
  EXPECT_EQ(o.height, 480);
  EXPECT_EQ(o.left, -20);
  EXPECT_EQ(o.top, -30);
  EXPECT_EQ(o.probeFactorC0, 2.5);
  // Everything from the unreadable real on keeps its value.
  EXPECT_EQ(o.probeFactorC1, before.probeFactorC1);
  EXPECT_EQ(o.probeHelpFactorFlag, before.probeHelpFactorFlag);
  EXPECT_EQ(o.makeIntermediateFiles, before.makeIntermediateFiles);
  // A wrong boolean stops at once; an empty or cut file is no failure either.
  WindowOptions p = before;
  ASSERT_EQ(parseSks("SingleShot\r\nyes\r\n", p, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(p, before);
  ASSERT_EQ(parseSks("", p, &n), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(parseSks("SingleShot\r\nF\r\nOverlapping", p, &n), 0);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(readSks(base_.parent_path() / "none.SKS", p, &n), 3);
}

TEST_F(SettingsFiles, DamagedImagesReturnTheirCodeAndChangeNothing) {
  const SettingsRecord good = sample();
  const auto bytes = good.toBytes();
  const QByteArray img(reinterpret_cast<const char*>(bytes.data()), 408);
  SettingsRecord out = SettingsRecord::defaults();
  const SettingsRecord before = out;
  EXPECT_EQ(decodeSettingsImage(img.left(407), out), kSettingsImageSize);
  EXPECT_EQ(decodeSettingsImage(img + '\0', out), kSettingsImageSize);
  EXPECT_EQ(decodeSettingsImage(QByteArray(), out), kSettingsImageSize);
  QByteArray badMode = img;
  badMode[0] = 'Z';
  EXPECT_EQ(decodeSettingsImage(badMode, out), 9220);
  QByteArray nanAmpl = img;
  for (int i = 8; i < 16; ++i) nanAmpl[i] = char(0xFF);
  EXPECT_EQ(decodeSettingsImage(nanAmpl, out), 9220);
  QByteArray badFlag = img;
  badFlag[404] = 2;
  EXPECT_EQ(decodeSettingsImage(badFlag, out), 9210);
  std::mt19937 rng(12);
  for (int k = 0; k < 200; ++k) {
    QByteArray rnd(408, '\0');
    for (char& c : rnd) c = char(rng());
    EXPECT_NE(decodeSettingsImage(rnd, out), 0);
  }
  EXPECT_EQ(out, before);
  // Padding bytes do not matter: files of older writers may carry anything there.
  QByteArray padded = img;
  padded[4] = 'x';
  padded[358] = 'y';
  ASSERT_EQ(decodeSettingsImage(padded, out), 0);
  EXPECT_EQ(out, good);
}

TEST_F(SettingsFiles, FailedLoadsFallBackToTheImageOrReturnTheCode) {
  TSettingsLoader l;
  const SettingsRecord zero = l.pendingRecord();
  EXPECT_EQ(l.load(base_), 2);  // no folder
  fs::create_directories(base_.parent_path());
  EXPECT_EQ(l.load(base_), 2);
  ASSERT_EQ(saveSettingsFiles(base_, sample()), 0);
  const QByteArray vxt = fileBytes(vxtName(base_));
  const QByteArray vxs = fileBytes(base_);
  struct Case {
    const char* what;
    QByteArray header;
    int code;  // without the image
  };
  QByteArray badBool = vxt;
  badBool.replace("FALSE", "MAYBE");
  QByteArray badReal = vxt;
  badReal.replace(badReal.indexOf("AmplC0\r\n") + 8, 3, "abc");
  const Case cases[] = {
      {"cut short", vxt.left(vxt.indexOf("TrgChan")), 38},
      {"empty", QByteArray(), 38},
      {"wrong boolean", badBool, 9210},
      {"not a number", badReal, 9220},
      // Longer than any setting: refused whole, not read up to a cut.
      {"past the limit", vxt + QByteArray(kLargestOwnSettingsFile - vxt.size() + 1, ' '), EFBIG},
  };
  for (const Case& c : cases) {
    putFile(vxtName(base_), c.header);
    putFile(base_, vxs);
    TSettingsLoader a;
    EXPECT_EQ(a.load(base_), 0) << c.what;
    EXPECT_TRUE(a.lastLoadUsedImage()) << c.what;
    EXPECT_EQ(a.lastLoadBrokenFile(), vxtName(base_)) << c.what;
    EXPECT_EQ(a.pendingRecord(), sample()) << c.what;
    fs::remove(base_);
    TSettingsLoader b;
    EXPECT_EQ(b.load(base_), c.code) << c.what;
    EXPECT_EQ(b.pendingRecord(), zero) << c.what;
    // A damaged image behind a damaged header: its own code.
    putFile(base_, vxs.left(100));
    EXPECT_EQ(b.load(base_), kSettingsImageSize) << c.what;
    EXPECT_EQ(b.pendingRecord(), zero) << c.what;
  }
  {
    // Window options exactly at the limit are read; one byte more and the image stands in.
    putFile(vxtName(base_), vxt);
    putFile(base_, vxs);
    const QByteArray sks = fileBytes(sksName(base_));
    const QByteArray atLimit = sks + QByteArray(kLargestOwnSettingsFile - sks.size(), ' ');
    putFile(sksName(base_), atLimit);
    TSettingsLoader whole;
    EXPECT_EQ(whole.load(base_), 0);
    EXPECT_FALSE(whole.lastLoadUsedImage());
    putFile(sksName(base_), atLimit + ' ');
    TSettingsLoader over;
    EXPECT_EQ(over.load(base_), 0);
    EXPECT_TRUE(over.lastLoadUsedImage());
    EXPECT_EQ(over.lastLoadBrokenFile(), sksName(base_));
    // Behind it an image padded past the limit is no image either.
    putFile(base_, vxs + QByteArray(2 << 20, '\0'));
    TSettingsLoader padded;
    EXPECT_EQ(padded.load(base_), EFBIG);
    putFile(sksName(base_), sks);
  }
  // A named pipe without a writer at a name of a window's own setting is a damaged file, read
  // without waiting (a waiting read would hang the window): the image stands in for a text
  // file, and with every name a pipe the load fails at once with that code.
  putFile(vxtName(base_), vxt);
  putFile(base_, vxs);
  const QByteArray sks = fileBytes(sksName(base_));
  const auto plantPipe = [](const fs::path& name) {
    fs::remove(name);
    return ::mkfifo(name.c_str(), 0600) == 0;
  };
  for (const fs::path& name : {vxtName(base_), sksName(base_)}) {
    ASSERT_TRUE(plantPipe(name));
    testing::PipeRescue guard({name});
    TSettingsLoader own;
    EXPECT_EQ(own.load(base_), 0) << name;
    EXPECT_FALSE(guard.stop()) << name << " was waited on";
    EXPECT_TRUE(own.lastLoadUsedImage()) << name;
    EXPECT_EQ(own.lastLoadBrokenFile(), name);
    EXPECT_EQ(own.pendingRecord(), sample()) << name;
    // The next case has a whole file here again.
    fs::remove(name);
    putFile(name, name == vxtName(base_) ? vxt : sks);
  }
  putFile(vxtName(base_), vxt);
  putFile(sksName(base_), sks);
  for (const fs::path& name : {base_, vxtName(base_), sksName(base_)}) ASSERT_TRUE(plantPipe(name));
  {
    testing::PipeRescue guard({base_, vxtName(base_), sksName(base_)});
    TSettingsLoader own;
    EXPECT_EQ(own.load(base_), kNotARegularFile);
    EXPECT_FALSE(guard.stop()) << "a pipe was waited on";
    EXPECT_EQ(own.pendingRecord(), zero);
  }
  // A setting named on a command line may come through a pipe on purpose (a shell's "<(...)"
  // names the image alone): it is read as it comes.
  fs::remove(vxtName(base_));
  fs::remove(sksName(base_));
  const auto was = ::signal(SIGPIPE, SIG_IGN);
  std::thread writer([&] {
    const int w = ::open(base_.c_str(), O_WRONLY | O_CLOEXEC);
    if (w < 0) return;
    if (::write(w, vxs.constData(), std::size_t(vxs.size())) < 0) {
      // the reader went at once: the load below says so
    }
    ::close(w);
  });
  TSettingsLoader named(SettingsSource::Named);
  const int namedRc = named.load(base_);
  // A writer the load never met is let go.
  const int release = ::open(base_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  writer.join();
  if (release >= 0) ::close(release);
  ::signal(SIGPIPE, was);
  EXPECT_EQ(namedRc, 0);
  EXPECT_TRUE(named.lastLoadUsedImage());
  EXPECT_EQ(named.pendingRecord(), sample());
}

TEST_F(SettingsFiles, ASaveStoppedBetweenItsFilesLeavesThePreviousSettingLoadable) {
  const SettingsRecord a = sample(kModeVMA0);
  SettingsRecord b = SettingsRecord::defaults(600, 400, 1, 2);
  ASSERT_EQ(saveSettingsFiles(base_, a), 0);
  for (int stopAt : {0, 1}) {
    EXPECT_EQ(saveSettingsFiles(base_, b, [&](int k) { return k < stopAt; }), -1);
    TSettingsLoader l;
    ASSERT_EQ(l.load(base_), 0) << stopAt;
    EXPECT_EQ(l.toApply(), a) << stopAt;
    ASSERT_EQ(saveSettingsFiles(base_, a), 0);
  }
  // A failing first replacement changes no file: the image's name is taken by a folder.
  const fs::path blocked = base_.parent_path() / "Blocked.VXS";
  ASSERT_EQ(saveSettingsFiles(blocked, a), 0);
  fs::remove(blocked);
  fs::create_directories(blocked);
  EXPECT_NE(saveSettingsFiles(blocked, b), 0);
  TSettingsLoader l;
  ASSERT_EQ(l.load(blocked), 0);
  EXPECT_EQ(l.toApply(), a);
  // Folder of the name cannot be made.
  putFile(base_.parent_path() / "file", "x");
  EXPECT_NE(saveSettingsFiles(base_.parent_path() / "file" / "S.VXS", a), 0);
}

// Child of the next test: saves two settings in turn until it is killed.
TEST(SettingsFilesKill, SaveLoopChild) {
  const char* dir = std::getenv("TOLV_SAVE_LOOP_FILE");
  if (!dir) GTEST_SKIP() << "only run by SettingsFilesKill.AKilledSaveLeavesALoadableSetting";
  const fs::path name(dir);
  const SettingsRecord a = sample(kModeVMA0);
  const SettingsRecord b = SettingsRecord::defaults(600, 400, 1, 2);
  saveSettingsFiles(name, b);
  putFile(name.parent_path() / "child.started", "1");
  for (unsigned long i = 0;; ++i) saveSettingsFiles(name, i % 2 ? b : a);
}

TEST(SettingsFilesKill, AKilledSaveLeavesALoadableSetting) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const fs::path name = fs::path(tmp.path().toStdString()) / "dev" / "LastSettings.VXS";
  const SettingsRecord a = sample(kModeVMA0);
  const SettingsRecord b = SettingsRecord::defaults(600, 400, 1, 2);
  ASSERT_EQ(saveSettingsFiles(name, a), 0);
  const auto device = [](SettingsRecord r) {
    WindowOptions::fromRecord(SettingsRecord{}).applyTo(r);
    return r;
  };
  const fs::path started = name.parent_path() / "child.started";
  for (int delayMs : {0, 3, 11, 27, 40}) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TOLV_SAVE_LOOP_FILE", QString::fromStdString(name.string()));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=SettingsFilesKill.SaveLoopChild"});
    ASSERT_TRUE(child.waitForStarted(10000));
    // The kill must land inside the loop of saves.
    for (int i = 0; i < 2000 && !fs::exists(started); ++i) QThread::msleep(5);
    ASSERT_TRUE(fs::exists(started));
    fs::remove(started);
    QThread::msleep(delayMs);
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(10000));
    // Whatever moment the kill hit, a whole setting loads: each file is the old or the new one.
    TSettingsLoader l;
    ASSERT_EQ(l.load(name), 0) << delayMs;
    const SettingsRecord r = l.toApply();
    EXPECT_TRUE(device(r) == device(a) || device(r) == device(b)) << delayMs;
    const WindowOptions o = WindowOptions::fromRecord(r);
    EXPECT_TRUE(o == WindowOptions::fromRecord(a) || o == WindowOptions::fromRecord(b)) << delayMs;
    SettingsRecord image;
    ASSERT_EQ(readSettingsImage(name, image), 0) << delayMs;
    EXPECT_TRUE(image == a || image == b) << delayMs;
  }
}

}  // namespace
}  // namespace tolv
