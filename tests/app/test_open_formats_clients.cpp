// Records measured by simulated devices, exported by the built program and read back by the
// programs engineers open them with: sigrok-cli (sessions and dumps) and pandas (plain CSV).
// Every kind once at full size: a scope record of 131000 samples, a logic-analyser record of
// 262000, both loggers, a voltmeter series; the values read back are compared with the
// record as the program's own reader reads it.
#include <gtest/gtest.h>

#include "app/acquire_files.h"
#include "measure/export_clients.h"
#include "measure/stream_maker.h"

#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "measure/loggerstream.h"
#include "measure/storedfile.h"
#include "measure/textheader.h"

#ifdef TOLV_PROGRAM_PATH

using namespace tolv;
using namespace tolv::test;
namespace fs = std::filesystem;
namespace tc = tolv::testclients;

namespace {

const char* const kPython = "/usr/bin/python3";

bool havePandas() {
  return fs::exists(kPython) &&
         std::system((std::string(kPython) + " -c 'import pandas' >/dev/null 2>&1").c_str()) == 0;
}

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

// Runs the program without a display, replies moving as soon as they are ready.
int runProgram(const QStringList& args, QString* err = nullptr) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.insert("LC_ALL", "C");
  env.insert("TOLV_SIM_FAST_LINK", "1");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, args);
  if (!p.waitForFinished(240000)) {
    p.kill();
    p.waitForFinished();
    return -1;
  }
  if (err) *err = QString::fromLocal8Bit(p.readAllStandardError());
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
}

using tc::zipChannel;

std::vector<float> floatsOf(const std::string& bytes) {
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);  // the test machine is little-endian
  return v;
}

// What pandas makes of a plain CSV: its shape, columns, dtypes and first and last five rows,
// every value as Python's shortest text of the double it read. Its default number parser may
// miss the nearest double by one unit in the last place; the exact one is asked for.
struct PandasView {
  long rows = -1;
  std::vector<std::string> columns, dtypes;
  std::vector<std::vector<double>> head, tail;
};

std::vector<std::string> splitOn(const std::string& s, char c) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, c)) out.push_back(part);
  return out;
}

// `read` is the call that reads the file named by sys.argv[1]; the plain CSV's by default.
PandasView pandasView(const fs::path& csv,
                      const std::string& read =
                          "pd.read_csv(sys.argv[1], comment='#', float_precision='round_trip')") {
  const std::string script =
      "import sys, pandas as pd\n"
      "d = " + read + "\n"
      "print(len(d))\n"
      "print(','.join(d.columns))\n"
      "print(','.join(str(t) for t in d.dtypes))\n"
      "for part in (d.head(5), d.tail(5)):\n"
      "    for row in part.itertuples(index=False):\n"
      "        print(','.join(repr(float(v)) for v in row))\n";
  const std::string text =
      tc::run(std::string(kPython) + " -c \"$(cat <<'EOF'\n" + script + "EOF\n)\" " + csv.string());
  PandasView v;
  const auto lines = splitOn(text, '\n');
  if (lines.size() < 13) return v;
  v.rows = std::stol(lines[0]);
  v.columns = splitOn(lines[1], ',');
  v.dtypes = splitOn(lines[2], ',');
  for (int i = 0; i < 10; ++i) {
    std::vector<double> row;
    for (const std::string& cell : splitOn(lines[std::size_t(3 + i)], ',')) row.push_back(std::stod(cell));
    (i < 5 ? v.head : v.tail).push_back(row);
  }
  return v;
}

// "name: value unit" lines of sigrok's analog output, per channel.
std::map<std::string, std::vector<double>> sigrokAnalog(const std::string& text) {
  std::map<std::string, std::vector<double>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto colon = line.find(": ");
    if (colon == std::string::npos || line.rfind("FRAME", 0) == 0) continue;
    char* end = nullptr;
    const double v = std::strtod(line.c_str() + colon + 2, &end);
    if (end != line.c_str() + colon + 2) out[line.substr(0, colon)].push_back(v);
  }
  return out;
}

// sigrok's summary of a session or dump.
std::string sigrokShow(const fs::path& file, const std::string& input = {}) {
  int status = -1;
  const std::string s =
      tc::run("sigrok-cli -i " + file.string() + (input.empty() ? "" : " -I " + input) + " --show",
              &status);
  return status == 0 ? s : std::string();
}

class OpenFormatClients : public ::testing::Test {
 protected:
  // One run of each kind, all at once, shared by the tests below; short sample times keep the
  // records' own duration small.
  static void SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    root_ = fs::path(dir_->path().toStdString());
    const std::vector<QStringList> runs = {
        {"--mode", "OSA0", "--samples", "131000", "--sample-time", "1us", "--records", "1"},
        {"--mode", "LAIO", "--samples", "262000", "--sample-time", "1us", "--records", "1"},
        {"--mode", "DLA0", "--sample-time", "100us", "--duration", "1s"},
        {"--mode", "DLDI", "--sample-time", "100us", "--duration", "1s"},
        {"--mode", "VMD0", "--records", "7"}};
    std::vector<std::unique_ptr<QProcess>> procs;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      QStringList args = runs[i];
      args.prepend("--acquire");
      // Each run its own folders: the runs share nothing but the machine.
      const fs::path home = root_ / ("run" + std::to_string(i));
      args << "--simulate" << "1" << "--format" << "fil" << "--quiet" << "--out" << q(root_ / "out")
           << "--data-root" << q(home);
      auto p = std::make_unique<QProcess>();
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.remove("DISPLAY");
      env.remove("WAYLAND_DISPLAY");
      env.insert("LC_ALL", "C");
      env.insert("TOLV_SIM_FAST_LINK", "1");
      p->setProcessEnvironment(env);
      p->start(TOLV_PROGRAM_PATH, args);
      procs.push_back(std::move(p));
    }
    for (std::size_t i = 0; i < procs.size(); ++i) {
      QProcess& p = *procs[i];
      if (!p.waitForFinished(240000)) p.kill();
      p.waitForFinished();
      EXPECT_EQ(p.exitCode(), 0) << runs[i].join(' ').toStdString() << "\n"
                                 << p.readAllStandardError().toStdString();
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!dir_ || !dir_->isValid()) GTEST_SKIP() << "no folder for the runs";
  }

  static fs::path record(const char* mode) {
    const auto f = filesUnder(root_ / "out" / "TVS00001" / (std::string("Intermediate_") + mode), ".FIL");
    return f.empty() ? fs::path() : f.front();
  }
  // --convert SRC DST [--format F]: 0 when written.
  static int convert(const fs::path& src, const fs::path& dst, const char* format = nullptr) {
    QStringList args{"--convert", q(src), q(dst), "--data-root", q(root_ / "data")};
    if (format) args << "--format" << format;
    QString err;
    const int rc = runProgram(args, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return rc;
  }

  static QTemporaryDir* dir_;
  static fs::path root_;
};

QTemporaryDir* OpenFormatClients::dir_ = nullptr;
fs::path OpenFormatClients::root_;

// The cells of a pandas row after its time cell, against the expected ones. Float samples
// are written as the float's shortest text: read back, they give that float again.
void expectRow(const std::vector<double>& row, const std::vector<double>& want, double time,
               double dt, const std::string& where, bool floats = false) {
  ASSERT_EQ(row.size(), want.size() + 1) << where;
  EXPECT_NEAR(row[0], time, 1e-9 * std::max(1.0, std::fabs(time)) + 1e-3 * dt) << where;
  for (std::size_t c = 0; c < want.size(); ++c) {
    if (floats)
      EXPECT_EQ(float(row[c + 1]), float(want[c])) << where << " column " << c + 1;
    else
      EXPECT_EQ(row[c + 1], want[c]) << where << " column " << c + 1;
  }
}

TEST_F(OpenFormatClients, ScopeRecordOf131000SamplesKeepsBothChannels) {
  const fs::path fil = record("OSA0");
  ASSERT_FALSE(fil.empty());
  StoredRecord rec;
  ASSERT_EQ(readStoredHeader(fil, rec), 0);
  ASSERT_EQ(readStoredSamples(fil, StoredKind::Scope, rec), 0);
  ASSERT_EQ(rec.scopeSamples, 131000);
  const double dt = rec.header.sampleTime;
  ASSERT_EQ(convert(fil, root_ / "scope.sr"), 0);
  ASSERT_EQ(convert(fil, root_ / "scope.csv", "plain"), 0);

  if (havePandas()) {
    const PandasView v = pandasView(root_ / "scope.csv");
    EXPECT_EQ(v.rows, 131000);
    EXPECT_EQ(v.columns, (std::vector<std::string>{"time_s", "ch0_V", "ch1_V"}));
    EXPECT_EQ(v.dtypes, (std::vector<std::string>{"float64", "float64", "float64"}));
    ASSERT_EQ(v.head.size(), 5u);
    ASSERT_EQ(v.tail.size(), 5u);
    // Time runs by the sample time from wherever the record's time 0 is.
    const double t0 = v.head[0][0];
    for (int i = 0; i < 5; ++i) {
      const auto& s = rec.scope[std::size_t(i)];
      expectRow(v.head[std::size_t(i)], {s.ch0, s.ch1}, t0 + i * dt, dt, "row " + std::to_string(i),
                true);
      const std::size_t k = 131000 - 5 + std::size_t(i);
      expectRow(v.tail[std::size_t(i)], {rec.scope[k].ch0, rec.scope[k].ch1}, t0 + double(k) * dt,
                dt, "row " + std::to_string(k), true);
    }
  } else {
    std::cout << "[  SKIPPED ] pandas part: /usr/bin/python3 with pandas is not installed\n";
  }

  if (!tc::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  const std::string show = sigrokShow(root_ / "scope.sr");
  for (const std::string& want : {"Samplerate: " + std::to_string(std::llround(1 / dt)),
                                 std::string("- ch0: analog"), std::string("- ch1: analog"),
                                 std::string("Analog sample count: 131000")})
    EXPECT_NE(show.find(want), std::string::npos) << want << "\n" << show;
  // Its analog output: every sample of both channels, in volts to its printed digits.
  int status = -1;
  const auto analog = sigrokAnalog(tc::run("sigrok-cli -i " + (root_ / "scope.sr").string() + " -O analog", &status));
  ASSERT_EQ(analog.count("ch0"), 1u);
  ASSERT_EQ(analog.at("ch0").size(), 131000u);
  ASSERT_EQ(analog.at("ch1").size(), 131000u);
  for (std::size_t i = 0; i < 131000; i += 997) {
    EXPECT_NEAR(analog.at("ch0")[i], rec.scope[i].ch0, 0.0051) << i;
    EXPECT_NEAR(analog.at("ch1")[i], rec.scope[i].ch1, 0.0051) << i;
  }
  // Its own session writer keeps the very same floats.
  tc::run("sigrok-cli -i " + (root_ / "scope.sr").string() + " -o " + (root_ / "scope_copy.sr").string(), &status);
  ASSERT_EQ(status, 0);
  const auto ch0 = floatsOf(zipChannel(root_ / "scope_copy.sr", "analog-1-1-"));
  const auto ch1 = floatsOf(zipChannel(root_ / "scope_copy.sr", "analog-1-2-"));
  ASSERT_EQ(ch0.size(), 131000u);
  ASSERT_EQ(ch1.size(), 131000u);
  for (std::size_t i = 0; i < ch0.size(); ++i) {
    ASSERT_EQ(ch0[i], rec.scope[i].ch0) << i;
    ASSERT_EQ(ch1[i], rec.scope[i].ch1) << i;
  }
}

// The read_csv call README.md gives for the window's table `file`, reading sys.argv[1] instead:
// the documented call itself is what is tested. Empty when the README has none.
std::string readmeReadCall(const std::string& file) {
  fs::path root = fs::path(TOLV_PROGRAM_PATH).parent_path();
  while (!fs::exists(root / "tests" / "app" / "test_open_formats_clients.cpp")) {
    if (root == root.parent_path()) return {};
    root = root.parent_path();
  }
  std::ifstream in(root / "README.md");
  const std::string quoted = "'" + file + "'";
  for (std::string line; std::getline(in, line);) {
    const auto at = line.find("pd.read_csv(" + quoted);
    const auto end = line.find("); print", at);
    if (at == std::string::npos || end == std::string::npos) continue;
    std::string call = line.substr(at, end + 1 - at);
    call.replace(call.find(quoted), quoted.size(), "sys.argv[1]");
    return call;
  }
  return {};
}

// The words of a stored logic-analyser record, its filler entry left out; empty when unreadable.
std::vector<std::uint16_t> storedLogicWords(const fs::path& fil, StoredRecord& rec) {
  std::vector<std::uint16_t> words;
  if (readStoredHeader(fil, rec) != 0 || readStoredSamples(fil, StoredKind::Logic, rec) != 0)
    return words;
  for (int i = 0; i < rec.logic.count(); ++i)
    if (rec.logic.at(i).sampleNumber >= 0) words.push_back(rec.logic.at(i).word);
  return words;
}

// The line words of an I/O-logger stream as the program reads it; empty when unreadable.
std::vector<std::uint16_t> ioStreamWords(const fs::path& fil) {
  std::vector<std::uint16_t> words;
  TLogAnalList list;
  if (loadIoLoggerStream(fil, list) != 0) return words;
  for (int i = 0; i < list.count(); ++i) words.push_back(list.at(i).word);
  return words;
}

// sigrok's own session writer, given the session, keeps every float of the stream's volts.
void expectStreamInSession(const fs::path& session, const AnalogLoggerStream& a) {
  int status = -1;
  const fs::path copy = session.parent_path() / (session.stem().string() + "_copy.sr");
  tc::run("sigrok-cli -i " + session.string() + " -o " + copy.string(), &status);
  ASSERT_EQ(status, 0);
  for (int ch = 0; ch < 2; ++ch) {
    const auto v = floatsOf(zipChannel(copy, "analog-1-" + std::to_string(ch + 1) + "-"));
    ASSERT_EQ(v.size(), a.sampleCount()) << ch;
    for (std::size_t i = 0; i < v.size(); ++i) ASSERT_EQ(v[i], float(a.volts(ch, i))) << ch << " " << i;
  }
}

// The lanes of sigrok's bits output against the record's words.
void expectLanes(const std::map<std::string, std::string>& bits, const std::vector<std::uint16_t>& words,
                 const std::string& what) {
  for (int lane = 0; lane < 16; ++lane) {
    const std::string name = "D" + std::to_string(lane);
    ASSERT_EQ(bits.count(name), 1u) << what << " " << name;
    const std::string& got = bits.at(name);
    ASSERT_EQ(got.size(), words.size()) << what << " " << name;
    for (std::size_t i = 0; i < words.size(); ++i)
      if (got[i] != ((words[i] >> lane) & 1 ? '1' : '0')) {
        ADD_FAILURE() << what << " " << name << " differs at sample " << i;
        break;
      }
  }
}

// The session and the dump both read back by sigrok-cli give every lane of every word. The
// dump's timescale may be finer than a sample: its comment tells sigrok how many ticks make
// one, and the dump read that way gives every sample again.
void expectSessionAndDumpLanes(const fs::path& sr, const fs::path& vcdFile,
                               const std::vector<std::uint16_t>& words) {
  int status = -1;
  expectLanes(tc::sigrokBits(tc::run("sigrok-cli -i " + sr.string() + " -O bits:width=0", &status)), words,
              "session");
  const std::string vcd = slurp(vcdFile);
  EXPECT_NE(vcd.find("$var wire 1"), std::string::npos);
  std::string downsample;
  if (const auto at = vcd.find("downsample="); at != std::string::npos)
    downsample = ":downsample=" + vcd.substr(at + 11, vcd.find_first_not_of("0123456789", at + 11) - at - 11);
  expectLanes(tc::sigrokBits(tc::run("sigrok-cli -i " + vcdFile.string() + " -I vcd" + downsample +
                                         " -O bits:width=0",
                                     &status)),
              words, "dump");
}

TEST_F(OpenFormatClients, LogicRecordOf262000SamplesKeepsEveryLane) {
  const fs::path fil = record("LAIO");
  ASSERT_FALSE(fil.empty());
  StoredRecord rec;
  const std::vector<std::uint16_t> words = storedLogicWords(fil, rec);
  ASSERT_EQ(words.size(), 262000u);
  const double dt = rec.header.sampleTime;
  ASSERT_EQ(convert(fil, root_ / "la.sr"), 0);
  ASSERT_EQ(convert(fil, root_ / "la.vcd"), 0);
  ASSERT_EQ(convert(fil, root_ / "la.csv", "plain"), 0);

  if (havePandas()) {
    const PandasView v = pandasView(root_ / "la.csv");
    EXPECT_EQ(v.rows, 262000);
    ASSERT_EQ(v.columns.size(), 17u);
    EXPECT_EQ(v.columns.front(), "time_s");
    EXPECT_EQ(v.columns[1], "D0");
    EXPECT_EQ(v.columns.back(), "D15");
    EXPECT_EQ(v.dtypes.front(), "float64");
    EXPECT_EQ(std::count(v.dtypes.begin(), v.dtypes.end(), "int64"), 16);
    ASSERT_EQ(v.head.size(), 5u);
    ASSERT_EQ(v.tail.size(), 5u);
    const double t0 = v.head[0][0];
    const auto lanes = [&](std::size_t k) {
      std::vector<double> l;
      for (int lane = 0; lane < 16; ++lane) l.push_back((words[k] >> lane) & 1);
      return l;
    };
    for (std::size_t i = 0; i < 5; ++i) {
      expectRow(v.head[i], lanes(i), t0 + double(i) * dt, dt, "row " + std::to_string(i));
      const std::size_t k = words.size() - 5 + i;
      expectRow(v.tail[i], lanes(k), t0 + double(k) * dt, dt, "row " + std::to_string(k));
    }
  } else {
    std::cout << "[  SKIPPED ] pandas part: /usr/bin/python3 with pandas is not installed\n";
  }

  if (!tc::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  const std::string rate = "Samplerate: " + std::to_string(std::llround(1 / dt));
  const std::string show = sigrokShow(root_ / "la.sr");
  EXPECT_NE(show.find(rate), std::string::npos) << show;
  EXPECT_NE(show.find("- D15: logic"), std::string::npos) << show;
  EXPECT_NE(show.find("Logic sample count: 262000"), std::string::npos) << show;
  expectSessionAndDumpLanes(root_ / "la.sr", root_ / "la.vcd", words);
  int status = -1;
  const std::string dumped = tc::run("sigrok-cli -i " + (root_ / "la.sr").string() + " -O vcd", &status);
  EXPECT_NE(dumped.find("$var wire 1 ! D0 $end"), std::string::npos) << dumped.substr(0, 600);
}

TEST_F(OpenFormatClients, BothLoggerStreamsKeepTheirSamples) {
  // The analog logger: volts by the stream's own header.
  const fs::path dla = record("DLA0");
  ASSERT_FALSE(dla.empty());
  AnalogLoggerStream a;
  ASSERT_EQ(loadAnalogLoggerStream(dla, a), 0);
  const std::size_t na = a.sampleCount();
  ASSERT_GT(na, 2000u);
  ASSERT_EQ(convert(dla, root_ / "dla.sr"), 0);
  ASSERT_EQ(convert(dla, root_ / "dla.csv", "plain"), 0);
  // The I/O logger: its lines.
  const fs::path dldi = record("DLDI");
  ASSERT_FALSE(dldi.empty());
  const std::vector<std::uint16_t> words = ioStreamWords(dldi);
  ASSERT_GT(words.size(), 2000u);
  ASSERT_EQ(convert(dldi, root_ / "dldi.sr"), 0);
  ASSERT_EQ(convert(dldi, root_ / "dldi.vcd"), 0);
  ASSERT_EQ(convert(dldi, root_ / "dldi.csv", "plain"), 0);

  if (havePandas()) {
    PandasView v = pandasView(root_ / "dla.csv");
    EXPECT_EQ(v.rows, long(na));
    EXPECT_EQ(v.columns, (std::vector<std::string>{"time_s", "ch0_V", "ch1_V"}));
    EXPECT_EQ(v.dtypes, (std::vector<std::string>{"float64", "float64", "float64"}));
    ASSERT_EQ(v.tail.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
      const std::size_t k = na - 5 + i;
      expectRow(v.head[i], {a.volts(0, i), a.volts(1, i)}, double(i) * 1e-4, 1e-4, "row " + std::to_string(i));
      expectRow(v.tail[i], {a.volts(0, k), a.volts(1, k)}, double(k) * 1e-4, 1e-4, "row " + std::to_string(k));
    }
    v = pandasView(root_ / "dldi.csv");
    EXPECT_EQ(v.rows, long(words.size()));
    ASSERT_EQ(v.columns.size(), 17u);
    EXPECT_EQ(v.columns[16], "D15");
    EXPECT_EQ(std::count(v.dtypes.begin(), v.dtypes.end(), "int64"), 16);
    ASSERT_EQ(v.tail.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
      const std::size_t k = words.size() - 5 + i;
      std::vector<double> first, last;
      for (int lane = 0; lane < 16; ++lane) {
        first.push_back((words[i] >> lane) & 1);
        last.push_back((words[k] >> lane) & 1);
      }
      expectRow(v.head[i], first, double(i) * 1e-4, 1e-4, "row " + std::to_string(i));
      expectRow(v.tail[i], last, double(k) * 1e-4, 1e-4, "row " + std::to_string(k));
    }
  } else {
    std::cout << "[  SKIPPED ] pandas part: /usr/bin/python3 with pandas is not installed\n";
  }

  if (!tc::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  std::string show = sigrokShow(root_ / "dla.sr");
  EXPECT_NE(show.find("Samplerate: 10000"), std::string::npos) << show;
  EXPECT_NE(show.find("Analog sample count: " + std::to_string(na)), std::string::npos) << show;
  expectStreamInSession(root_ / "dla.sr", a);
  show = sigrokShow(root_ / "dldi.sr");
  EXPECT_NE(show.find("Logic sample count: " + std::to_string(words.size())), std::string::npos) << show;
  expectSessionAndDumpLanes(root_ / "dldi.sr", root_ / "dldi.vcd", words);
}

// A logger stream of an hour (seeded, 10 ms samples) ends in both formats whole.
TEST_F(OpenFormatClients, OneHourAnalogStreamEndsWhole) {
  testfiles::StreamRecipe recipe;
  recipe.samples = 360000;
  recipe.sampleTime = 0.01;
  const fs::path dla = root_ / "hour" / "Intermediate_DLA0" / "Intermediate_DLA0_001.FIL";
  fs::create_directories(dla.parent_path());
  ASSERT_EQ(testfiles::makeAnalogStream(dla, recipe), 0);
  AnalogLoggerStream a;
  ASSERT_EQ(loadAnalogLoggerStream(dla, a), 0);
  const std::size_t na = a.sampleCount();
  ASSERT_EQ(na, 360000u);
  ASSERT_EQ(convert(dla, root_ / "hour.sr"), 0);
  ASSERT_EQ(convert(dla, root_ / "hour.csv", "plain"), 0);
  if (havePandas()) {
    const PandasView v = pandasView(root_ / "hour.csv");
    EXPECT_EQ(v.rows, long(na));
    EXPECT_EQ(v.dtypes, (std::vector<std::string>{"float64", "float64", "float64"}));
    ASSERT_EQ(v.tail.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
      const std::size_t k = na - 5 + i;
      expectRow(v.head[i], {a.volts(0, i), a.volts(1, i)}, double(i) * 0.01, 0.01, "row " + std::to_string(i));
      expectRow(v.tail[i], {a.volts(0, k), a.volts(1, k)}, double(k) * 0.01, 0.01, "row " + std::to_string(k));
    }
  } else {
    std::cout << "[  SKIPPED ] pandas part: /usr/bin/python3 with pandas is not installed\n";
  }
  if (!tc::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  const std::string show = sigrokShow(root_ / "hour.sr");
  EXPECT_NE(show.find("Samplerate: 100\n"), std::string::npos) << show;
  EXPECT_NE(show.find("Analog sample count: 360000"), std::string::npos) << show;
  expectStreamInSession(root_ / "hour.sr", a);
}

// The device window's own tables read by pandas with the calls the README gives: the logic
// analyser's and the I/O logger's carry their settings in cells right of the first rows (and the
// serial right of the column titles), so the call names the 17 columns it wants; the analog
// logger's has no title line. Every sample comes back, the stream's last one too.
TEST_F(OpenFormatClients, WindowTablesReadWithTheDocumentedPandasCalls) {
  if (!havePandas()) GTEST_SKIP() << "/usr/bin/python3 with pandas is not installed";
  const std::string logicCall = readmeReadCall("143015_120_LAIO.CSV");
  const std::string analogCall = readmeReadCall("143015_120_DLA0.CSV");
  ASSERT_FALSE(logicCall.empty()) << "no pandas line for the logic table in README.md";
  ASSERT_FALSE(analogCall.empty()) << "no pandas line for the analog-logger table in README.md";
  const auto windowCsv = [](const fs::path& fil, const fs::path& csv) {
    QString err;
    EXPECT_EQ(runProgram({"--convert", q(fil), q(csv), "--format", "csv", "--decimal", ",",
                          "--separator", "tab", "--data-root", q(root_ / "data")},
                         &err),
              0)
        << err.toStdString();
  };
  std::vector<std::string> logicColumns{"Time [s]"};
  for (int n = 15; n >= 0; --n) logicColumns.push_back("D" + std::to_string(n));
  // Lines 15 down to 0, as the table's columns run.
  const auto lanes = [](std::uint16_t w) {
    std::vector<double> l;
    for (int lane = 15; lane >= 0; --lane) l.push_back((w >> lane) & 1);
    return l;
  };
  const auto expectLogic = [&](const fs::path& csv, const std::vector<std::uint16_t>& words,
                               double dt) {
    const PandasView v = pandasView(csv, logicCall);
    EXPECT_EQ(v.rows, long(words.size())) << csv;
    EXPECT_EQ(v.columns, logicColumns) << csv;
    ASSERT_EQ(v.dtypes.size(), 17u) << csv;
    EXPECT_EQ(v.dtypes.front(), "float64");
    EXPECT_EQ(std::count(v.dtypes.begin(), v.dtypes.end(), "int64"), 16);
    ASSERT_EQ(v.tail.size(), 5u) << csv;
    for (std::size_t i = 0; i < 5; ++i) {
      const std::size_t k = words.size() - 5 + i;
      expectRow(v.head[i], lanes(words[i]), double(i) * dt, dt, "row " + std::to_string(i));
      expectRow(v.tail[i], lanes(words[k]), double(k) * dt, dt, "row " + std::to_string(k));
    }
  };

  const fs::path la = record("LAIO");
  ASSERT_FALSE(la.empty());
  StoredRecord rec;
  std::vector<std::uint16_t> words = storedLogicWords(la, rec);
  ASSERT_EQ(words.size(), 262000u);
  windowCsv(la, root_ / "la_window.CSV");
  expectLogic(root_ / "la_window.CSV", words, rec.header.sampleTime);

  const fs::path dldi = record("DLDI");
  ASSERT_FALSE(dldi.empty());
  words = ioStreamWords(dldi);
  ASSERT_GT(words.size(), 2000u);
  windowCsv(dldi, root_ / "dldi_window.CSV");
  expectLogic(root_ / "dldi_window.CSV", words, 1e-4);

  const fs::path dla = record("DLA0");
  ASSERT_FALSE(dla.empty());
  AnalogLoggerStream a;
  ASSERT_EQ(loadAnalogLoggerStream(dla, a), 0);
  const std::size_t na = a.sampleCount();
  windowCsv(dla, root_ / "dla_window.CSV");
  const PandasView v = pandasView(root_ / "dla_window.CSV", analogCall);
  EXPECT_EQ(v.rows, long(na));
  EXPECT_EQ(v.columns, (std::vector<std::string>{"ch0_V", "ch1_V"}));
  EXPECT_EQ(v.dtypes, (std::vector<std::string>{"float64", "float64"}));
  ASSERT_EQ(v.tail.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    const std::size_t k = na - 5 + i;
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_NEAR(v.head[i][std::size_t(ch)], a.volts(ch, i), 5.1e-7) << "row " << i;
      EXPECT_NEAR(v.tail[i][std::size_t(ch)], a.volts(ch, k), 5.1e-7) << "row " << k;
    }
  }
}

TEST_F(OpenFormatClients, VoltmeterSeriesIsOneRowPerReading) {
  const fs::path fil = record("VMXY");
  ASSERT_FALSE(fil.empty());
  StoredRecord rec;
  ASSERT_EQ(readStoredHeader(fil, rec), 0);
  ASSERT_EQ(readStoredSamples(fil, StoredKind::Voltmeter, rec), 0);
  ASSERT_EQ(rec.readings.size(), 7u);
  ASSERT_EQ(convert(fil, root_ / "vm.csv", "plain"), 0);
  if (!havePandas()) GTEST_SKIP() << "/usr/bin/python3 with pandas is not installed";
  const PandasView v = pandasView(root_ / "vm.csv");
  EXPECT_EQ(v.rows, 7);
  EXPECT_EQ(v.columns, (std::vector<std::string>{"time_s", "ch0_V", "ch1_V"}));
  EXPECT_EQ(v.dtypes, (std::vector<std::string>{"float64", "float64", "float64"}));
  ASSERT_EQ(v.head.size(), 5u);
  ASSERT_EQ(v.tail.size(), 5u);
  ASSERT_TRUE(rec.time.has_value());
  const double t0 = rec.time->seconds;  // the series' start
  for (std::size_t i = 0; i < 5; ++i) {
    const auto& r = rec.readings[i];
    const auto& s = rec.readings[2 + i];
    // Times in whole milliseconds from the series' start; readings that are floats as floats.
    expectRow(v.head[i], {r.value0, r.value1}, std::round((r.time.seconds - t0) * 1000) / 1000, 1e-3,
              "row " + std::to_string(i), true);
    expectRow(v.tail[i], {s.value0, s.value1}, std::round((s.time.seconds - t0) * 1000) / 1000, 1e-3,
              "row " + std::to_string(2 + i), true);
  }
}

}  // namespace

#endif
