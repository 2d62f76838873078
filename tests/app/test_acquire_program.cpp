// The built program measuring without a display, as a script on a server runs it: files,
// standard error, exit codes and the stop by a signal.
#include <gtest/gtest.h>

#include "app/acquire_files.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>

#include "measure/export_clients.h"
#include "multi/multifiles.h"

#ifdef TOLV_PROGRAM_PATH

using namespace tolv;
using namespace tolv::test;
namespace fs = std::filesystem;

namespace {

struct Finished {
  int code = -1;
  QString err;
  QString out;
};

class AcquireProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = fs::path(dir_.path().toStdString());
  }
  void start(QStringList args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("LC_ALL", "C");
    // Replies move as soon as they are ready: records of 131000 samples take the program's time,
    // not the 17 s a real link needs.
    if (fastLink_) env.insert("TOLV_SIM_FAST_LINK", "1");
    p_.setProcessEnvironment(env);
    args.prepend("--acquire");
    args << "--data-root" << q(root_ / "data");
    p_.start(TOLV_PROGRAM_PATH, args);
    ASSERT_TRUE(p_.waitForStarted());
  }
  Finished wait(int ms = 120000) {
    Finished r;
    if (!p_.waitForFinished(ms)) {
      p_.kill();
      p_.waitForFinished();
      return r;
    }
    r.code = p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -2;
    r.err = QString::fromLocal8Bit(p_.readAllStandardError());
    r.out = QString::fromLocal8Bit(p_.readAllStandardOutput());
    return r;
  }
  Finished run(const QStringList& args) {
    start(args);
    return wait();
  }
  static QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

  QTemporaryDir dir_;
  fs::path root_;
  QProcess p_;
  bool fastLink_ = true;
};

}  // namespace

TEST_F(AcquireProgram, ThreeScopeRecordsOfOneDevice) {
  const fs::path out = root_ / "out";
  const Finished r = run({"--simulate", "1", "--mode", "OSA0", "--samples", "131000", "--records",
                          "3", "--out", q(out)});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const fs::path dev = out / "TVS00001";
  EXPECT_EQ(filesUnder(dev, ".CSV").size(), 3u);
  EXPECT_EQ(filesUnder(dev / "Intermediate_OSA0", ".FIL").size(), 3u);
  for (const fs::path& f : filesUnder(dev / "Intermediate_OSA0", ".FIL"))
    EXPECT_EQ(fs::file_size(f), 131001u * 8);  // N + 1 float pairs
  // Not a terminal: one progress line per record, naming the device.
  const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << r.err.toStdString();
  EXPECT_TRUE(lines[2].startsWith("TVS00001 3 records")) << lines[2].toStdString();
  // The stored settings of the device window stay as they were.
  EXPECT_FALSE(fs::exists(root_ / "data" / "TVS00001" / "LastSettings.VXS"));
}

// Times of the commands the simulated device was sent, from its trace: (ms, first 4 bytes).
static std::vector<std::pair<long, std::string>> commandsIn(const fs::path& trace) {
  std::vector<std::pair<long, std::string>> out;
  std::ifstream in(trace);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    long ms = 0;
    std::string dir;
    int n = 0;
    if (!(l >> ms >> dir >> n) || dir != "in") continue;
    std::string word;
    for (int k = 0; k < 4 && k < n; ++k) {
      unsigned b = 0;
      l >> std::hex >> b;
      word += char(b);
    }
    out.emplace_back(ms, word);
  }
  return out;
}

// --duration is the time the devices measure: from the first run command to the stop, not the
// set-up of the devices before it.
TEST_F(AcquireProgram, DurationCountsFromTheFirstRunCommand) {
  const fs::path trace = root_ / "trace";
  const Finished r = run({"--simulate", "1", "--mode", "VMD0", "--duration", "2s", "--out",
                          q(root_ / "d"), "--sim-trace", q(trace), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  long firstRun = -1, stop = -1;
  for (const auto& [ms, word] : commandsIn(trace / "TVS00001.trace")) {
    if (word == "*RUN" && firstRun < 0) firstRun = ms;
    if (word == "ZZZZ") stop = ms;
  }
  ASSERT_GE(firstRun, 0);
  ASSERT_GT(stop, firstRun);
  EXPECT_GE(stop - firstRun, 2000);
  EXPECT_LT(stop - firstRun, 2400);
}

// A device pulled out through --sim-control in the middle of a merged run: the others go on,
// the files after the pull hold them alone, and the run ends with the lost-device status.
TEST_F(AcquireProgram, SimControlPullsADeviceOutOfAMergedRun) {
  const fs::path out = root_ / "pulled";
  const fs::path control = root_ / "control.txt";
  std::ofstream(control).flush();
  start({"--simulate", "2", "--merged", "--samples", "1000", "--duration", "6s", "--out", q(out),
         "--sim-control", q(control)});
  QString err;
  for (int t = 0; t < 300 && !err.contains("cycle 2:"); ++t) {
    p_.waitForReadyRead(100);
    err += QString::fromLocal8Bit(p_.readAllStandardError());
  }
  ASSERT_TRUE(err.contains("cycle 2:")) << err.toStdString();
  const auto before = filesUnder(out, ".CSV");
  std::ofstream(control, std::ios::app) << "unplug 2\n";
  Finished r = wait();
  r.err = err + r.err;
  EXPECT_EQ(r.code, 3) << r.err.toStdString();  // a device lost
  EXPECT_TRUE(r.err.contains("TVS00002: device lost")) << r.err.toStdString();
  const auto after = filesUnder(out, ".CSV");
  ASSERT_GE(after.size(), before.size() + 3);
  // The last files were written without it; the first of them still holds both.
  TREADing read;
  ASSERT_EQ(readMultiDataFile(after.back(), '\t', read), 0);
  EXPECT_EQ(read.names, QStringList({"TVS00001"}));
  ASSERT_EQ(readMultiDataFile(after.front(), '\t', read), 0);
  EXPECT_EQ(read.deviceCount, 2);
}

TEST_F(AcquireProgram, FourDevicesMergedEveryCycle) {
  const fs::path out = root_ / "merged";
  const Finished r = run({"--simulate", "4", "--merged", "--duration", "5s", "--out", q(out),
                          "--separator", ";", "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
  const auto files = filesUnder(out, ".CSV");
  ASSERT_GE(files.size(), 1u);
  for (const fs::path& f : files) {
    TREADing read;
    ASSERT_EQ(readMultiDataFile(f, ';', read), 0) << f;
    EXPECT_EQ(read.deviceCount, 4) << f;
    EXPECT_EQ(read.names, QStringList({"TVS00001", "TVS00002", "TVS00003", "TVS00004"}));
  }
}

TEST_F(AcquireProgram, LoggerStoppedByASignalKeepsEveryByte) {
  const fs::path out = root_ / "log", trace = root_ / "trace";
  fastLink_ = false;  // the stream at the device's own pace
  fs::create_directories(trace);
  start({"--simulate", "1", "--mode", "DLA0", "--sample-time", "100us", "--out", q(out),
         "--sim-trace", q(trace)});
  const fs::path fil = out / "TVS00001" / "Intermediate_DLA0";
  // Stopped once the stream has been written for a while.
  for (int i = 0; i < 200 && filesUnder(fil, ".FIL").empty(); ++i) QThread::msleep(50);
  QThread::msleep(1500);
  ::kill(pid_t(p_.processId()), SIGINT);
  const Finished r = wait();
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto files = filesUnder(fil, ".FIL");
  ASSERT_EQ(files.size(), 1u);
  // Every byte the device sent after the run command, end marker included.
  std::ifstream t(trace / "TVS00001.trace");
  std::string line, sent;
  bool afterRun = false;
  while (std::getline(t, line)) {
    std::istringstream l(line);
    std::string at, dir;
    std::size_t n = 0;
    l >> at >> dir >> n;
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) {
      std::string hex;
      l >> hex;
      bytes += char(std::stoi(hex, nullptr, 16));
    }
    if (dir == "in" && bytes.rfind("*RUN", 0) == 0) {
      afterRun = true;
      sent.clear();
    } else if (dir == "out" && afterRun) {
      sent += bytes;
    }
  }
  ASSERT_GT(sent.size(), 1000u);
  EXPECT_EQ(slurp(files[0]), sent);
  // The link carries no stream of a sample every 100 us: the device took 200 us, and the user
  // is told so rather than finding it in the files.
  EXPECT_TRUE(r.err.contains("TVS00001: The device took the sample time 200 "))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(" instead of 100 ")) << r.err.toStdString();
}

TEST_F(AcquireProgram, WrongUsageAndMissingDevices) {
  Finished r = run({"--simulate", "1", "--samples", "131001"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("TVS00001: --samples 131001 is no memory depth of OSA0; nearest: "
                             "131000"))
      << r.err.toStdString();
  r = run({"--simulate", "1", "--duration", "soon"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("Try \"multi_tolvanex --help\""));
  r = run({"--simulate", "2", "--device", "TVS00009"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("TVS00009: no such device; listed: TVS00001, TVS00002"));
  r = run({"--simulate", "0"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("no Tolvanex device found"));
  // Nothing was started: no folder of any device.
  EXPECT_FALSE(fs::exists(root_ / "data" / "TVS00001"));
}

TEST_F(AcquireProgram, VoltmeterReadingsAndItsFiles) {
  const fs::path out = root_ / "vm";
  const Finished r = run({"--simulate", "1", "--mode", "VMD0", "--records", "5", "--out", q(out)});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_EQ(r.err.split('\n', Qt::SkipEmptyParts).size(), 5);
  // The chart CSV of the readings and the intermediate file of the series.
  const auto csv = filesUnder(out / "TVS00001", ".CSV");
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_EQ(filesUnder(out / "TVS00001" / "Intermediate_VMXY", ".FIL").size(), 1u);
  // Five readings, and the header rows they lack at the end of the run, the last one whole.
  const std::string text = slurp(csv[0]);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7) << text;
  EXPECT_TRUE(text.ends_with("\t\t\tColumn 3\tChan. 1\r\n")) << text;
}

TEST_F(AcquireProgram, VoltmeterToStandardOutputOneLinePerReading) {
  const Finished r = run({"--simulate", "1", "--mode", "VMD0", "--records", "6", "--out", "-"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  QStringList rows;
  int header = 0;
  for (const QString& l : r.out.split('\n', Qt::SkipEmptyParts)) {
    if (l.startsWith('#')) continue;
    if (l == QLatin1String("time_s,ch0_V,ch1_V")) {
      ++header;
      continue;
    }
    rows << l;
  }
  EXPECT_EQ(header, 1);  // one block, streamed
  ASSERT_EQ(rows.size(), 6) << r.out.toStdString();
  double last = -1;
  for (const QString& row : rows) {
    const QStringList cells = row.split(',');
    ASSERT_EQ(cells.size(), 3) << row.toStdString();
    bool ok[3];
    const double t = cells[0].toDouble(&ok[0]);
    cells[1].toDouble(&ok[1]);
    cells[2].toDouble(&ok[2]);
    EXPECT_TRUE(ok[0] && ok[1] && ok[2]) << row.toStdString();
    EXPECT_GT(t, last);
    last = t;
  }
  // No data file of the device; the series is kept in its intermediate file as the window keeps it.
  EXPECT_TRUE(filesUnder(root_ / "data" / "TVS00001", ".CSV").empty());
  EXPECT_EQ(filesUnder(root_ / "data" / "TVS00001" / "Intermediate_VMXY", ".FIL").size(), 1u);
  // And pandas reads it as written.
  QProcess py;
  py.start("/usr/bin/python3", {"-c",
                       "import sys,pandas as p; d=p.read_csv(sys.stdin, comment='#'); "
                       "print(len(d), list(d.columns), d.dtypes.iloc[1])"});
  ASSERT_TRUE(py.waitForStarted());
  py.write(r.out.toUtf8());
  py.closeWriteChannel();
  ASSERT_TRUE(py.waitForFinished(60000));
  EXPECT_EQ(QString::fromUtf8(py.readAllStandardOutput()).trimmed(),
            "6 ['time_s', 'ch0_V', 'ch1_V'] float64");
}

TEST_F(AcquireProgram, ScopeRecordsToStandardOutputOneBlockEach) {
  const Finished r = run({"--simulate", "1", "--samples", "1000", "--records", "2", "--out", "-",
                          "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.err.isEmpty());
  EXPECT_EQ(r.out.count("# multi_tolvanex plain CSV"), 2);
  EXPECT_EQ(r.out.count("time_s,ch0_V,ch1_V"), 2);
  EXPECT_EQ(r.out.count("# serial: TVS00001"), 2);
  int rows = 0;
  for (const QString& l : r.out.split('\n', Qt::SkipEmptyParts))
    if (!l.startsWith('#') && !l.startsWith("time_s")) ++rows;
  EXPECT_EQ(rows, 2000);
  // Loggers and merged cycles need a folder.
  EXPECT_EQ(run({"--simulate", "1", "--mode", "DLA0", "--out", "-"}).code, 2);
  EXPECT_EQ(run({"--simulate", "2", "--merged", "--out", "-"}).code, 2);
}

// Voltmeter and logger runs end in an open format too: the series as plain CSV, the streams as
// sessions and dumps, each read back by the program it is meant for, and every sample kept.
// A merged file that cannot be written ends the run with a file error, told on stderr.
TEST_F(AcquireProgram, MergedFileThatCannotBeWrittenIsAFileError) {
  std::ofstream(root_ / "afile") << "x";
  const Finished r = run({"--simulate", "2", "--merged", "--records", "2", "--samples", "1000",
                          "--out", q(root_ / "afile" / "out"), "--quiet"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains("cannot be written")) << r.err.toStdString();
}

// One cycle asked for is one merged file: the stop after the last cycle waits for its file.
// That file of eight devices then opens as one session and one plain table, which carry each
// device's samples and times as the program's own reader takes them from the merged file.
TEST_F(AcquireProgram, EightDevicesMergedForOneCycleAndItsOpenFormats) {
  const fs::path out = root_ / "eight";
  const Finished r = run({"--simulate", "8", "--merged", "--records", "1", "--samples", "10000",
                          "--out", q(out), "--separator", ";", "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto files = filesUnder(out, ".CSV");
  ASSERT_EQ(files.size(), 1u);
  TREADing read;
  ASSERT_EQ(readMultiDataFile(files[0], ';', read), 0);
  ASSERT_EQ(read.deviceCount, 8);
  ASSERT_EQ(read.points.Count(), 8);
  for (int k = 0; k < 8; ++k) ASSERT_EQ(read.points.At(k).Count(), 10000) << k;
  const auto convert = [&](const char* format, const fs::path& target) {
    QProcess p;
    p.start(TOLV_PROGRAM_PATH, {"--export", format, q(files[0]), q(target)});
    EXPECT_TRUE(p.waitForFinished(120000));
    return p.exitCode();
  };
  ASSERT_EQ(convert("sr", out / "eight.sr"), 0);
  ASSERT_EQ(convert("plain", out / "eight.csv"), 0);
  {
    std::ifstream in(out / "eight.csv");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("# mode: OSA0 scope\n"), std::string::npos) << text.substr(0, 400);
  }
  // The devices sample on one grid, so the table shares one time column.
  const auto& first = read.points.At(0).Items();
  for (int k = 1; k < 8; ++k)
    for (int i : {0, 9999}) ASSERT_EQ(read.points.At(k).Items()[i].x, first[i].x) << k << ' ' << i;

  // The plain table as pandas reads it, every cell written back at full precision.
  if (fs::exists("/usr/bin/python3")) {
    QProcess py;
    py.start("/usr/bin/python3",
             {"-c",
              "import sys,pandas as p; d=p.read_csv(sys.argv[1], comment='#');"
              " print(d.shape, d.columns[0], d.columns[-1], d.dtypes.iloc[-1]);"
              " d.to_csv(sys.stdout, index=False, float_format='%.17g')",
              q(out / "eight.csv")});
    ASSERT_TRUE(py.waitForFinished(60000));
    if (py.exitCode() == 0) {
      const QStringList lines = QString::fromUtf8(py.readAllStandardOutput()).split('\n');
      ASSERT_GT(lines.size(), 10002);
      EXPECT_EQ(lines[0].trimmed(), "(10000, 17) time_s TVS00008_ch1_V float64");
      const QStringList names = lines[1].trimmed().split(',');
      ASSERT_EQ(names.size(), 17);
      for (int k = 0; k < 8; ++k) {
        const QString serial = read.names.at(k).trimmed();
        EXPECT_EQ(names[1 + 2 * k], serial + "_ch0_V");
        EXPECT_EQ(names[2 + 2 * k], serial + "_ch1_V");
      }
      int wrong = 0;
      for (int i = 0; i < 10000 && wrong < 5; ++i) {
        const QStringList cells = lines[2 + i].trimmed().split(',');
        ASSERT_EQ(cells.size(), 17) << i;
        const auto near = [](double got, double want) {
          return std::fabs(got - want) <= 1e-12 * std::max(1.0, std::fabs(want));
        };
        if (!near(cells[0].toDouble(), first[std::size_t(i)].x)) {
          ADD_FAILURE() << "row " << i << " time " << cells[0].toStdString() << " != "
                        << first[std::size_t(i)].x;
          ++wrong;
        }
        for (int k = 0; k < 8; ++k) {
          const D3Point& pt = read.points.At(k).Items()[std::size_t(i)];
          if (!near(cells[1 + 2 * k].toDouble(), pt.y) || !near(cells[2 + 2 * k].toDouble(), pt.z)) {
            ADD_FAILURE() << "row " << i << " device " << k << ": " << cells[1 + 2 * k].toStdString()
                          << ", " << cells[2 + 2 * k].toStdString() << " != " << pt.y << ", "
                          << pt.z;
            ++wrong;
          }
        }
      }
    }
  }

  // The session: each device's two channels hold its samples as 32-bit floats on the grid of
  // the shared sample time.
  const std::string sr = (out / "eight.sr").string();
  const std::string meta = testclients::zipEntry(sr, "metadata");
  const double step = (first.back().x - first.front().x) / 9999.0;
  EXPECT_NE(meta.find("samplerate=" + std::to_string(std::llround(1.0 / step)) + "\n"),
            std::string::npos)
      << meta;
  for (int k = 0; k < 8; ++k) {
    const QString serial = read.names.at(k).trimmed();
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_NE(meta.find("analog" + std::to_string(2 * k + ch + 1) + "=" + serial.toStdString() +
                          "_ch" + std::to_string(ch) + "\n"),
                std::string::npos)
          << meta;
      const std::string bytes =
          testclients::zipChannel(sr, "analog-1-" + std::to_string(2 * k + ch + 1) + "-");
      ASSERT_EQ(bytes.size(), 4u * 10000u) << k << ' ' << ch;
      std::vector<float> v(10000);
      std::memcpy(v.data(), bytes.data(), bytes.size());  // the test machine is little-endian
      int wrong = 0;
      for (std::size_t i = 0; i < v.size() && wrong < 3; ++i) {
        const D3Point& pt = read.points.At(k).Items()[i];
        if (v[i] != float(ch == 0 ? pt.y : pt.z)) {
          ADD_FAILURE() << serial.toStdString() << " ch" << ch << " sample " << i << ": " << v[i]
                        << " != " << (ch == 0 ? pt.y : pt.z);
          ++wrong;
        }
      }
    }
  }

  // And sigrok itself reads the same session: channel names, count and the last device's
  // last samples as it prints them.
  QProcess which;
  which.start("sh", {"-c", "command -v sigrok-cli"});
  which.waitForFinished();
  if (which.exitCode() != 0) GTEST_SKIP() << "sigrok-cli is not installed";
  QProcess cli;
  cli.start("sigrok-cli", {"-i", q(out / "eight.sr"), "--show"});
  ASSERT_TRUE(cli.waitForFinished(60000));
  const QString shown = QString::fromUtf8(cli.readAllStandardOutput());
  EXPECT_TRUE(shown.contains("Channels: 16")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("TVS00001_ch0: analog")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("TVS00008_ch1: analog")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("Analog sample count: 10000")) << shown.toStdString();
  QProcess values;
  values.start("sigrok-cli", {"-i", q(out / "eight.sr"), "-O", "analog"});
  ASSERT_TRUE(values.waitForFinished(120000));
  // sigrok prints each value rounded to the digits it shows ("-2.00 V DC").
  std::vector<QString> last;
  const QString lastName = read.names.at(7).trimmed() + "_ch1:";
  for (const QString& l : QString::fromUtf8(values.readAllStandardOutput()).split('\n'))
    if (l.startsWith(lastName)) last.push_back(l.section(' ', 1, 1));
  ASSERT_EQ(last.size(), 10000u);
  for (std::size_t i = 0; i < last.size(); i += 997) {
    const double want = read.points.At(7).Items()[i].z;
    const qsizetype point = last[i].indexOf('.');
    const int digits = point < 0 ? 0 : int(last[i].size() - point - 1);
    EXPECT_NEAR(last[i].toDouble(), want, 0.5 * std::pow(10.0, -digits) + 1e-6)
        << i << ' ' << last[i].toStdString();
  }
}

TEST_F(AcquireProgram, SeriesAndStreamsEndInTheirOpenFormats) {
  const fs::path out = root_ / "open";
  Finished r = run({"--simulate", "1", "--mode", "VMD0", "--records", "4", "--format", "plain",
                    "--out", q(out), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto csv = filesUnder(out / "TVS00001", ".csv");
  ASSERT_EQ(csv.size(), 1u);
  EXPECT_TRUE(filesUnder(out / "TVS00001", ".CSV").empty());  // in place of the chart CSV
  if (fs::exists("/usr/bin/python3")) {
    QProcess py;
    py.start("/usr/bin/python3", {"-c",
                                  "import sys,pandas as p; d=p.read_csv(sys.argv[1], comment='#');"
                                  " print(len(d), list(d.columns), d.dtypes.iloc[1])",
                                  q(csv[0])});
    ASSERT_TRUE(py.waitForFinished(60000));
    if (py.exitCode() == 0) {
      EXPECT_EQ(QString::fromUtf8(py.readAllStandardOutput()).trimmed(),
                "4 ['time_s', 'ch0_V', 'ch1_V'] float64");
    }
  }
  r = run({"--simulate", "1", "--mode", "DLDI", "--sample-time", "100us", "--duration", "2s",
           "--format", "vcd", "--out", q(out), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto vcd = filesUnder(out / "TVS00001", ".vcd");
  ASSERT_EQ(vcd.size(), 1u);
  r = run({"--simulate", "1", "--mode", "DLA0", "--sample-time", "100us", "--duration", "2s",
           "--format", "sr", "--out", q(out), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto sr = filesUnder(out / "TVS00001", ".sr");
  ASSERT_EQ(sr.size(), 1u);
  // A voltmeter series has no rate for a session: refused before any device is opened.
  r = run({"--simulate", "1", "--mode", "VMD0", "--format", "sr", "--out", q(out)});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("regular sample rate")) << r.err.toStdString();
  QProcess which;
  which.start("sh", {"-c", "command -v sigrok-cli"});
  which.waitForFinished();
  if (which.exitCode() != 0) GTEST_SKIP() << "sigrok-cli is not installed";
  for (const fs::path& f : {sr[0], vcd[0]}) {
    QProcess cli;
    cli.start("sigrok-cli", {"-i", q(f), "--show"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << f << cli.readAllStandardError().toStdString();
  }
  // The session holds as many samples as the plain CSV of the same stream has rows.
  const auto fil = filesUnder(out / "TVS00001" / "Intermediate_DLA0", ".FIL");
  ASSERT_EQ(fil.size(), 1u);
  QProcess plain;
  plain.start(TOLV_PROGRAM_PATH, {"--convert", q(fil[0]), "-", "--format", "plain",
                                  "--data-root", q(root_ / "data")});
  ASSERT_TRUE(plain.waitForFinished(120000));
  qsizetype rows = -1;  // the header line
  for (const QString& l : QString::fromUtf8(plain.readAllStandardOutput()).split('\n'))
    if (!l.isEmpty() && !l.startsWith('#')) ++rows;
  QProcess cli;
  cli.start("sigrok-cli", {"-i", q(sr[0]), "-O", "analog"});
  ASSERT_TRUE(cli.waitForFinished(120000));
  qsizetype samples = 0;
  for (const QString& l : QString::fromUtf8(cli.readAllStandardOutput()).split('\n'))
    if (l.startsWith(QLatin1String("ch0:"))) ++samples;
  EXPECT_GT(rows, 1000);
  EXPECT_EQ(samples, rows);
}

TEST_F(AcquireProgram, OpenFormatsReadBackBySigrok) {
  const fs::path out = root_ / "open";
  Finished r = run({"--simulate", "1", "--samples", "1000", "--records", "2", "--format", "sr",
                    "--out", q(out), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto sr = filesUnder(out, ".sr");
  ASSERT_EQ(sr.size(), 2u);
  EXPECT_TRUE(filesUnder(out, ".CSV").empty());  // in place of the window's data file
  EXPECT_EQ(filesUnder(out / "TVS00001" / "Intermediate_OSA0", ".FIL").size(), 2u);
  r = run({"--simulate", "1", "--mode", "LAIO", "--samples", "1000", "--records", "1", "--format",
           "vcd", "--out", q(out), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err.toStdString();
  const auto vcd = filesUnder(out, ".vcd");
  ASSERT_EQ(vcd.size(), 1u);
  for (const fs::path& f : {sr[0], vcd[0]}) {
    QProcess cli;
    cli.start("sigrok-cli", {"-i", q(f), "--show"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << f << cli.readAllStandardError().toStdString();
    const QString shown = QString::fromUtf8(cli.readAllStandardOutput());
    EXPECT_TRUE(shown.contains("Samplerate") || shown.contains("samplerate") ||
                shown.contains("Channels"))
        << shown.toStdString();
  }
}

#endif
