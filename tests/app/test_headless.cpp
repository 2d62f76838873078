// Converting and drawing stored files without a window: the CSV must be the window's own, the
// picture the sheet's own, and bad input must end with a message and leave old output whole.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QTabWidget>
#include <cstring>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "app/headless.h"
#include "app/headless_fixture.h"
#include "app/headless_render.h"
#include "common/clock.h"
#include "device/devtimer.h"
#include "devicewin/sheets_plots.h"
#include "measure/recordfiles.h"
#include "multi/multifiles.h"

using namespace tolv;
using namespace tolv::testfiles;

namespace {

// What a reader of a named pipe gets while `write` runs. A reader still waiting afterwards (the
// writer never opened the pipe) is let go, so no writer can hang the test.
std::string readPipeWhile(const fs::path& pipe, const std::function<void()>& write) {
  std::future<std::string> reader = std::async(std::launch::async, [&] { return slurp(pipe); });
  write();
  while (reader.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
    const int w = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (w >= 0) ::close(w);
  }
  return reader.get();
}

class Headless : public HeadlessFiles {
 protected:
  int convert(const QStringList& args) {
    HeadlessRequest r;
    QString err;
    const int u = parseHeadlessArguments(args, r, err);
    if (u != 0) {
      message_ = err;
      return u;
    }
    return runConvert(r, message_);
  }
  int render(const QStringList& args) {
    HeadlessRequest r;
    QString err;
    const int u = parseHeadlessArguments(args, r, err);
    if (u != 0) {
      message_ = err;
      return u;
    }
    return runRender(r, message_);
  }
  static QString q(const fs::path& p) { return QString::fromStdString(p.string()); }
  QString message_;
};

int countColour(const QImage& img, QRgb c) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF);
  return n;
}

}  // namespace

// --- Arguments -------------------------------------------------------------------------------

TEST(HeadlessArguments, DefaultsAndTheirBoundaries) {
  HeadlessRequest r;
  QString e;
  ASSERT_EQ(parseHeadlessArguments({"--render", "a.FIL", "b.png"}, r, e), kExitOk) << qPrintable(e);
  EXPECT_EQ(r.size, QSize(1200, 700));
  ASSERT_EQ(parseHeadlessArguments({"--render=a.FIL", "b.PDF", "--size=1x16384"}, r, e), kExitOk);
  EXPECT_EQ(r.size, QSize(1, 16384));
  // The largest edge holds for the width as for the height.
  ASSERT_EQ(parseHeadlessArguments({"--render", "a.FIL", "b.png", "--size", "16384x1"}, r, e),
            kExitOk)
      << qPrintable(e);
  EXPECT_EQ(r.size, QSize(16384, 1));
  // The device of a .FIL copied out of its folder, for the headline.
  ASSERT_EQ(parseHeadlessArguments({"--render", "a.FIL", "b.png", "--serial", "TX1"}, r, e),
            kExitOk)
      << qPrintable(e);
  EXPECT_EQ(r.serial, "TX1");
  ASSERT_EQ(parseHeadlessArguments({"--convert", "dir/x.FIL"}, r, e), kExitOk);
  EXPECT_EQ(r.target, fs::absolute("dir/x.CSV"));  // a relative name is one in this folder
  EXPECT_FALSE(r.decimal.has_value());
  ASSERT_EQ(parseHeadlessArguments({"--convert", "x.VXD", "y.csv", "--decimal", ",", "--separator",
                                    "tab", "--data-root", "/tmp/r"},
                                   r, e),
            kExitOk);
  EXPECT_EQ(r.decimal, ',');
  EXPECT_EQ(r.column, '\t');
  EXPECT_EQ(r.dataRoot, fs::path("/tmp/r"));
  // Every column separator the main frame offers, by character and by name.
  const std::vector<std::pair<QString, char>> columns = {
      {";", ';'}, {",", ','},     {".", '.'},     {"point", '.'}, {"Dot", '.'},
      {" ", ' '}, {"blank", ' '}, {"SPACE", ' '}, {"\t", '\t'},   {"TAB", '\t'}};
  for (const auto& [name, c] : columns) {
    ASSERT_EQ(parseHeadlessArguments({"--convert", "x.VXD", "--separator", name}, r, e), kExitOk)
        << qPrintable(name);
    EXPECT_EQ(r.column, c) << qPrintable(name);
  }
}

TEST(HeadlessArguments, WrongUsageIsExitTwoWithAReason) {
  const QList<QStringList> bad = {
      {"--render", "a.FIL"},                             // no output
      {"--render", "a.FIL", "b.jpg"},                    // not png/pdf
      {"--render", "a.FIL", "b.png", "--size", "0x10"},  // empty edge
      {"--render", "a.FIL", "b.png", "--size", "16385x10"},
      {"--render", "a.FIL", "b.png", "--size", "16385x1"},
      {"--render", "a.FIL", "b.png", "--size", "1x16385"},
      {"--render", "a.FIL", "b.png", "--size", "800"},
      {"--render", "a.FIL", "b.png", "--size", "800x-1"},
      {"--render", "a.FIL", "b.png", "--size"},
      {"--render", "a.FIL", "b.png", "--decimal", ","},  // belongs to convert
      {"--convert", "a.FIL", "--size", "10x10"},
      {"--convert", "a.FIL", "--decimal", ";"},
      {"--convert", "a.FIL", "--separator", "|"},
      {"--convert", "a.CSV"},  // would replace itself
      {"--convert", "a.FIL", "a.FIL"},
      {"--convert", "a.FIL", "a.VXT"},  // would replace the record's own header
      {"--convert", "a.FIL", "b.FIL"},  // a table only ever goes into a .CSV
      {"--convert", "a.FIL", "b.txt"},
      {"--convert", "a.FIL", "b.CSV", "c.CSV"},
      {"--convert", "a.FIL", "--simulate", "2"},
      {"--convert"},
      {"--convert", "a.FIL", "--render", "a.FIL", "b.png"},
      {"--convert", "a.FIL", "--serial", "TX;1"},  // would split its cell
      {"--convert", "a.FIL", "--serial"},
      {"--render", "a.FIL", "b.png", "--serial", "TX;1"},
  };
  for (const QStringList& args : bad) {
    HeadlessRequest r;
    QString e;
    EXPECT_EQ(parseHeadlessArguments(args, r, e), kExitBadUsage) << qPrintable(args.join(' '));
    EXPECT_FALSE(e.isEmpty());
  }
  EXPECT_TRUE(wantsHeadless({"--data-root", "x", "--render=a"}));
  EXPECT_FALSE(wantsHeadless({"--simulate", "2"}));
  EXPECT_FALSE(wantsHeadless({"--render", "a", "b.png", "--help"}));
  // What the command runs itself, without the windows program: conversions alone. Help, the
  // version, drawing and measuring (also beside a conversion, to be refused there) are not.
  EXPECT_TRUE(wantsConvert({"--convert", "a.FIL"}));
  EXPECT_TRUE(wantsConvert({"--data-root", "x", "--export=vcd", "a"}));
  EXPECT_TRUE(wantsConvert({"--convert"}));  // its usage error too
  for (const QStringList& args :
       {QStringList{"--convert", "a.FIL", "--help"}, QStringList{"-h", "--export", "sr", "a"},
        QStringList{"--version", "--convert", "a"}, QStringList{"--convert", "a", "--render", "b"},
        QStringList{"--render=a", "--convert", "b"}, QStringList{"--acquire", "--convert", "a"},
        QStringList{"--simulate", "2"}, QStringList{}})
    EXPECT_FALSE(wantsConvert(args)) << qPrintable(args.join(' '));
}

// --- Convert ---------------------------------------------------------------------------------

TEST_F(Headless, NamesWithoutAFolderAndASeparatorThatIsTheDecimalMark) {
  const fs::path fil = scopeFil();
  const fs::path here = fs::current_path();
  fs::current_path(fil.parent_path());
  const int byDefault = convert({"--convert", q(fil.filename())});
  const int named = convert({"--convert", q(fil.filename()), "rel.CSV"});
  fs::current_path(here);
  EXPECT_EQ(byDefault, kExitOk);
  EXPECT_EQ(named, kExitOk) << qPrintable(message_);
  EXPECT_TRUE(fs::exists(fs::path(fil).replace_extension(".CSV")));
  EXPECT_TRUE(fs::exists(fil.parent_path() / "rel.CSV"));
  // Every number would fall apart into two cells.
  EXPECT_EQ(convert({"--convert", q(fil), q(dir_ / "c.CSV"), "--decimal", ",", "--separator", ","}),
            kExitBadUsage);
  EXPECT_TRUE(message_.contains("decimal")) << qPrintable(message_);
  EXPECT_FALSE(fs::exists(dir_ / "c.CSV"));
}

// The device's serial number is the name of the folder above the family folder, however the
// file is named on the command line.
TEST_F(Headless, SerialCellComesFromTheFoldersOfARelativeNameToo) {
  const fs::path fil = scopeFil();
  const fs::path family = fil.parent_path();
  const fs::path here = fs::current_path();
  const std::vector<std::pair<fs::path, fs::path>> ways = {
      {family, fil.filename()},
      {device_, fs::path("Intermediate_OSA0") / fil.filename()},
      {dir_, fs::path(kSerial) / "Intermediate_OSA0" / ".." / "Intermediate_OSA0" / fil.filename()},
      {familyFile(IntermediateFamily::LAIO).parent_path(),
       fs::path("..") / "Intermediate_OSA0" / fil.filename()},
  };
  int n = 0;
  for (const auto& [folder, name] : ways) {
    const fs::path out = dir_ / ("serial" + std::to_string(n++) + ".CSV");
    fs::current_path(folder);
    const int rc = convert({"--convert", q(name), q(out)});
    fs::current_path(here);
    ASSERT_EQ(rc, kExitOk) << name << ": " << qPrintable(message_);
    const std::string text = slurp(out);
    EXPECT_EQ(text.substr(0, text.find('\r')), " 0.000000; 0.500000;Device;TX123456") << name;
  }
  // A copy outside its device folder: the serial is --serial's, else empty and said so; a file
  // in its device folder keeps the folder's.
  fs::copy_file(fil, dir_ / "copy.FIL");
  fs::copy_file(textHeaderName(fil), dir_ / "copy.VXT");
  const fs::path out = dir_ / "copy.CSV";
  ASSERT_EQ(convert({"--convert", q(dir_ / "copy.FIL"), q(out)}), kExitOk);
  EXPECT_TRUE(message_.contains(QStringLiteral("--serial names it"))) << qPrintable(message_);
  std::string text = slurp(out);
  EXPECT_EQ(text.substr(0, text.find('\r')), " 0.000000; 0.500000;Device;");
  ASSERT_EQ(convert({"--convert", q(dir_ / "copy.FIL"), q(out), "--serial", "TX-9_a"}), kExitOk);
  EXPECT_TRUE(message_.isEmpty()) << qPrintable(message_);
  text = slurp(out);
  EXPECT_EQ(text.substr(0, text.find('\r')), " 0.000000; 0.500000;Device;TX-9_a");
  ASSERT_EQ(convert({"--convert", q(fil), q(out), "--serial", "TX9"}), kExitOk);
  text = slurp(out);
  EXPECT_EQ(text.substr(0, text.find('\r')), " 0.000000; 0.500000;Device;TX123456");
}

// A logger run that died before its end marker converts with every complete sample; the start
// of a marker it died in and half a sample are left out.
TEST_F(Headless, LoggerStreamWithoutEndMarkerConvertsEverySample) {
  for (IntermediateFamily f : {IntermediateFamily::DLA0, IntermediateFamily::DLDI}) {
    const fs::path fil = loggerFil(f, 300);
    const std::string whole = slurp(fil);
    const std::string samples = whole.substr(0, whole.size() - 16);
    const bool io = f == IntermediateFamily::DLDI;
    for (const std::string& end :
         {std::string(), std::string("\x01\x02"), whole.substr(whole.size() - 16, 9)}) {
      spit(fil, samples + end);
      const fs::path out = dir_ / "crashed.CSV";
      ASSERT_EQ(convert({"--convert", q(fil), q(out)}), kExitOk)
          << familyCode(f) << " " << end.size() << ": " << qPrintable(message_);
      const std::string text = slurp(out);
      EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 300 + (io ? 1 : 0))
          << familyCode(f) << " " << end.size();
      // The depth counts what is there: words of the samples, or samples.
      EXPECT_NE(text.find(io ? ";Memory Depth;300\r\n" : ";Memory Depth;600\r\n"),
                std::string::npos)
          << familyCode(f);
      // Said on the way, not refused.
      EXPECT_TRUE(message_.endsWith(QStringLiteral("the stream ends without the end marker of "
                                                   "its run (cut short); its 300 whole samples "
                                                   "are kept")))
          << qPrintable(message_);
    }
    spit(fil, whole);
    ASSERT_EQ(convert({"--convert", q(fil), q(dir_ / "whole.CSV")}), kExitOk);
    EXPECT_FALSE(message_.contains(QStringLiteral("cut short"))) << qPrintable(message_);
  }
  // A voltmeter file is written reading by reading too: one cut inside its last reading keeps
  // the whole ones and says so.
  const fs::path vm = voltmeterFil(20);
  fs::resize_file(vm, 72 * 13 + 40);
  ASSERT_EQ(convert({"--convert", q(vm), q(dir_ / "vm.CSV")}), kExitOk) << qPrintable(message_);
  const std::string table = slurp(dir_ / "vm.CSV");
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 13);  // the titles, 13 readings
  EXPECT_NE(table.find("\n 2.200000;"), std::string::npos);  // the 13th reading is the last
  EXPECT_EQ(table.find("\n 2.300000;"), std::string::npos);
  EXPECT_TRUE(message_.endsWith(QStringLiteral("the file ends inside its last reading (cut "
                                               "short); its 13 whole readings are kept")))
      << qPrintable(message_);
  // Drawn, it is said too; a damaged reading among them is not counted as kept.
  std::string bytes = slurp(vm);
  bytes.replace(72 * 3, 72, std::string(72, '\xFF'));
  spit(vm, bytes);
  ASSERT_EQ(render({"--render", q(vm), q(dir_ / "vm.png")}), kExitOk) << qPrintable(message_);
  EXPECT_TRUE(message_.endsWith(QStringLiteral("the file ends inside its last reading (cut "
                                               "short); its 12 whole readings are kept")))
      << qPrintable(message_);
}

// A run beyond 1 GiB (7.4 hours at 99 us) and one beyond 4 GiB are valid streams, not damage.
TEST_F(Headless, LoggerStreamsBeyondOneAndFourGiBAreValid) {
  for (const std::uint64_t size :
       {(std::uint64_t(1) << 30) + 4096 + 16, (std::uint64_t(5) << 30) + 16}) {
    const fs::path fil = loggerFil(IntermediateFamily::DLA0);
    fs::resize_file(fil, size);  // sparse: zero samples
    {
      std::fstream io(fil, std::ios::binary | std::ios::in | std::ios::out);
      io.seekp(std::streamoff(size - 16));
      io.write(reinterpret_cast<const char*>(kLoggerEndMarkerBytes), 16);
    }
    StoredKind kind = StoredKind::Unknown;
    QString serial;
    const StoredProblem p = identifyStoredFile(fil, ';', kind, &serial);
    EXPECT_TRUE(p.ok()) << size << ": " << qPrintable(p.reason);
    EXPECT_EQ(kind, StoredKind::AnalogLogger);
    EXPECT_EQ(serial, QString::fromLatin1(kSerial));
    fs::remove(fil);
  }
}

// A pipe as input would block for good; as output it is what the user reads from, as a link's
// target is what the user named: both get the content, neither is replaced by a file.
TEST_F(Headless, APipeIsRefusedAsInputAndWrittenIntoAsOutputAsALinksTarget) {
  const fs::path pipe = dir_ / "p.CSV";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(render({"--render", q(pipe), q(dir_ / "p.png")}), kExitBadInput);
  EXPECT_TRUE(message_.contains("not a regular file")) << qPrintable(message_);
  EXPECT_FALSE(fs::exists(dir_ / "p.png"));
  const fs::path fil = scopeFil();
  const std::string want = scopeCsvText(scopeInfo(), scopeSamples(1000), CsvStyle{'.', ';'});
  std::string piped;
  std::thread reader([&] { piped = slurp(pipe); });
  const int rc = convert({"--convert", q(fil), q(pipe)});
  reader.join();
  EXPECT_EQ(rc, kExitOk) << qPrintable(message_);
  EXPECT_EQ(piped, want);
  EXPECT_TRUE(fs::is_fifo(pipe));
  // A picture goes into a pipe too, and a logger stream's table of any length: neither is
  // copied anywhere first, so a $TMPDIR where nothing can be made is no hindrance.
  const QByteArray tmpWas = qgetenv("TMPDIR");
  qputenv("TMPDIR", "/proc/self");
  const fs::path picturePipe = dir_ / "p.png";
  ASSERT_EQ(::mkfifo(picturePipe.c_str(), 0600), 0);
  int drawn = -1;
  const std::string picture = readPipeWhile(picturePipe, [&] {
    drawn = render({"--render", q(fil), q(picturePipe), "--size", "200x100"});
  });
  EXPECT_EQ(drawn, kExitOk) << qPrintable(message_);
  EXPECT_EQ(QImage::fromData(QByteArray::fromStdString(picture), "PNG").size(), QSize(200, 100));
  const fs::path logger = loggerFil(IntermediateFamily::DLA0);
  ASSERT_EQ(convert({"--convert", q(logger), q(dir_ / "logger.CSV")}), kExitOk);
  int streamed = -1;
  EXPECT_EQ(readPipeWhile(pipe, [&] { streamed = convert({"--convert", q(logger), q(pipe)}); }),
            slurp(dir_ / "logger.CSV"));
  EXPECT_EQ(streamed, kExitOk) << qPrintable(message_);
  // A record that cannot be read never opens the pipe: its reader sees it end, empty.
  fs::resize_file(fil, 8 * 600);
  int cut = -1;
  EXPECT_EQ(readPipeWhile(pipe, [&] { cut = convert({"--convert", q(fil), q(pipe)}); }), "");
  EXPECT_EQ(cut, kExitBadInput);
  if (tmpWas.isNull())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", tmpWas);
  const fs::path fil2 = scopeFil();
  ASSERT_EQ(fil2, fil);
  // Links, relative to their own folder, to a table and to a picture in another folder.
  fs::create_directories(dir_ / "target");
  spit(dir_ / "target" / "real.CSV", "old");
  spit(dir_ / "target" / "real.png", "old");
  fs::create_symlink("target/real.CSV", dir_ / "link.CSV");
  fs::create_symlink("target/real.png", dir_ / "link.png");
  ASSERT_EQ(convert({"--convert", q(fil), q(dir_ / "link.CSV")}), kExitOk) << qPrintable(message_);
  ASSERT_EQ(render({"--render", q(fil), q(dir_ / "link.png")}), kExitOk) << qPrintable(message_);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.CSV"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.png"));
  EXPECT_EQ(slurp(dir_ / "target" / "real.CSV"), want);
  EXPECT_FALSE(QImage(q(dir_ / "target" / "real.png")).isNull());
  // A folder is no output.
  fs::create_directories(dir_ / "dir.CSV");
  EXPECT_EQ(convert({"--convert", q(fil), q(dir_ / "dir.CSV")}), kExitBadInput);
  EXPECT_TRUE(message_.contains("that is a folder")) << qPrintable(message_);
  EXPECT_TRUE(fs::is_directory(dir_ / "dir.CSV"));
}

TEST_F(Headless, ScopeFileGivesTheWindowsScopeCsvWithTheSavedSeparators) {
  const fs::path fil = scopeFil();
  ASSERT_EQ(convert({"--convert", q(fil)}), kExitOk) << qPrintable(message_);
  const fs::path csv = fs::path(fil).replace_extension(".CSV");
  EXPECT_EQ(slurp(csv), scopeCsvText(scopeInfo(), scopeSamples(1000), CsvStyle{'.', ';'}));
  // The options win over the saved settings.
  const fs::path out = dir_ / "out" / "x.csv";
  ASSERT_EQ(convert({"--convert", q(fil), q(out), "--decimal", ",", "--separator", "tab"}), 0);
  const std::string text = slurp(out);
  EXPECT_EQ(text, scopeCsvText(scopeInfo(), scopeSamples(1000), CsvStyle{',', '\t'}));
  EXPECT_EQ(text.substr(0, 30), " 0,000000\t 0,500000\tDevice\tTX1");
  // Blank, a choice of the main frame, with the saved decimal point.
  ASSERT_EQ(convert({"--convert", q(fil), q(out), "--separator", "blank"}), 0);
  EXPECT_EQ(slurp(out), scopeCsvText(scopeInfo(), scopeSamples(1000), CsvStyle{'.', ' '}));
}

TEST_F(Headless, EveryIntermediateFamilyConvertsAsTheWindowsMenuDoes) {
  const std::vector<std::pair<IntermediateFamily, fs::path>> files = {
      {IntermediateFamily::VMXY, voltmeterFil()},
      {IntermediateFamily::LAIO, logicFil()},
      {IntermediateFamily::DLA0, loggerFil(IntermediateFamily::DLA0)},
      {IntermediateFamily::DLDI, loggerFil(IntermediateFamily::DLDI)},
  };
  for (const auto& [fam, fil] : files) {
    const fs::path ref = dir_ / (std::string("ref_") + familyCode(fam) + ".CSV");
    ASSERT_EQ(
        convertIntermediateFile(fam, fil, ref, QString::fromLatin1(kSerial), CsvStyle{'.', ';'}),
        0);
    ASSERT_EQ(convert({"--convert", q(fil)}), kExitOk) << familyCode(fam) << qPrintable(message_);
    const std::string got = slurp(fs::path(fil).replace_extension(".CSV"));
    EXPECT_EQ(got, slurp(ref)) << familyCode(fam);
    EXPECT_NE(got.find("TX123456"), std::string::npos) << familyCode(fam);
  }
  // A lower-case copy (a FAT stick, an archive) finds its lower-case header too.
  const fs::path scope = scopeFil();
  for (const char* name : {"lower.fil", "upper.FIL"}) {
    const fs::path copy = dir_ / name;
    fs::copy_file(scope, copy, fs::copy_options::overwrite_existing);
    fs::copy_file(textHeaderName(scope), fs::path(copy).replace_extension(".vxt"));
    ASSERT_EQ(convert({"--convert", q(copy), q(dir_ / "lower.CSV"), "--serial", "TX123456"}),
              kExitOk)
        << name << ": " << qPrintable(message_);
    EXPECT_EQ(slurp(dir_ / "lower.CSV"), scopeCsvText(scopeInfo(), scopeSamples(1000),
                                                       CsvStyle{'.', ';'}))
        << name;
  }
}

// A made name is checked where the table is committed, not before it is made: a file put under
// it while the conversion runs (a user's, another conversion's of the same source) is kept,
// and conversions running at once end on distinct names. A DST the user named is replaced.
TEST_F(Headless, AMadeNameTakenWhileConvertingIsKept) {
  const fs::path m = dir_ / "m.VXD";
  ASSERT_EQ(writeScopeVxd(m, scopeInfo(1000, "M"), scopeSamples(1000)), 0);
  const std::string table =
      scopeCsvText(scopeInfo(1000, "M"), scopeSamples(1000), CsvStyle{'.', ';'});
  HeadlessRequest r;
  QString err;
  ASSERT_EQ(parseHeadlessArguments({"--convert", q(m)}, r, err), 0) << qPrintable(err);
  const CsvStyle style = headlessCsvStyle(r);
  QString note;
  EXPECT_EQ(writeRequestOutput(
                r,
                [&](const fs::path& file) {
                  spit(dir_ / "m.CSV", "the user's");
                  return convertScopeVxdFile(m, file, style);
                },
                note),
            0);
  EXPECT_EQ(note, QStringLiteral("\"%1\": exists already and is kept; the output is \"%2\"")
                      .arg(q(dir_ / "m.CSV"), q(dir_ / "m_1.CSV")));
  EXPECT_EQ(slurp(dir_ / "m.CSV"), "the user's");
  EXPECT_EQ(slurp(dir_ / "m_1.CSV"), table);
  // A second conversion starts and ends while the first runs: both chose "_2" once.
  EXPECT_EQ(writeRequestOutput(
                r,
                [&](const fs::path& file) {
                  QString second;
                  EXPECT_EQ(runConvert(r, second), kExitOk) << qPrintable(second);
                  EXPECT_TRUE(second.endsWith(q(dir_ / "m_2.CSV") + QLatin1Char('"')))
                      << qPrintable(second);
                  return convertScopeVxdFile(m, file, style);
                },
                note),
            0);
  EXPECT_TRUE(note.endsWith(q(dir_ / "m_3.CSV") + QLatin1Char('"'))) << qPrintable(note);
  EXPECT_EQ(slurp(dir_ / "m_2.CSV"), table);
  EXPECT_EQ(slurp(dir_ / "m_3.CSV"), table);
  EXPECT_EQ(slurp(dir_ / "m.CSV"), "the user's");
  // Named, the file there is replaced, whenever it came.
  ASSERT_EQ(parseHeadlessArguments({"--convert", q(m), q(dir_ / "m.CSV")}, r, err), 0);
  EXPECT_EQ(writeRequestOutput(
                r,
                [&](const fs::path& file) {
                  spit(dir_ / "m.CSV", "the user's again");
                  return convertScopeVxdFile(m, file, style);
                },
                note),
            0);
  EXPECT_TRUE(note.isEmpty()) << qPrintable(note);
  EXPECT_EQ(slurp(dir_ / "m.CSV"), table);
  EXPECT_FALSE(fs::exists(dir_ / "m_4.CSV"));
}

TEST_F(Headless, ScopeVxdKeepsItsOwnGroupsAndLeavesOutWhatItDoesNotStore) {
  // Without trigger point the table is exactly the window's.
  const fs::path m = dir_ / "m.VXD";
  ASSERT_EQ(writeScopeVxd(m, scopeInfo(1000, "M"), scopeSamples(1000)), 0);
  ASSERT_EQ(convert({"--convert", q(m)}), kExitOk) << qPrintable(message_);
  EXPECT_EQ(slurp(dir_ / "m.CSV"),
            scopeCsvText(scopeInfo(1000, "M"), scopeSamples(1000), CsvStyle{'.', ';'}));
  // The window's own CSV of the same record beside it (it keeps what a .VXD cannot) is never
  // replaced under a made name: the table takes the first free "_1", "_2" name, as the window's
  // automatic names do, and says so. Named as DST it is replaced.
  const std::string table =
      scopeCsvText(scopeInfo(1000, "M"), scopeSamples(1000), CsvStyle{'.', ';'});
  spit(dir_ / "m.CSV", "the window's table");
  ASSERT_EQ(convert({"--convert", q(m)}), kExitOk) << qPrintable(message_);
  EXPECT_EQ(message_, QStringLiteral("\"%1\": exists already and is kept; the output is \"%2\"")
                          .arg(q(dir_ / "m.CSV"), q(dir_ / "m_1.CSV")));
  EXPECT_EQ(slurp(dir_ / "m.CSV"), "the window's table");
  EXPECT_EQ(slurp(dir_ / "m_1.CSV"), table);
  spit(dir_ / "m_1.CSV", "kept too");
  ASSERT_EQ(convert({"--convert", q(m)}), kExitOk) << qPrintable(message_);
  EXPECT_TRUE(message_.endsWith(q(dir_ / "m_2.CSV") + QLatin1Char('"'))) << qPrintable(message_);
  EXPECT_EQ(slurp(dir_ / "m_1.CSV"), "kept too");
  EXPECT_EQ(slurp(dir_ / "m_2.CSV"), table);
  ASSERT_EQ(convert({"--convert", q(m), q(dir_ / "m.CSV")}), kExitOk) << qPrintable(message_);
  EXPECT_TRUE(message_.isEmpty()) << qPrintable(message_);
  EXPECT_EQ(slurp(dir_ / "m.CSV"), table);
  EXPECT_FALSE(fs::exists(dir_ / "m_3.CSV"));
  // With one, trigger channel and thresholds are not in the file: those rows stay plain.
  const fs::path t = dir_ / "t.VXD";
  ASSERT_EQ(writeScopeVxd(t, scopeInfo(), scopeSamples(1000)), 0);
  ASSERT_EQ(convert({"--convert", q(t)}), kExitOk);
  const auto got = lines(slurp(dir_ / "t.CSV"));
  const auto want = lines(scopeCsvText(scopeInfo(), scopeSamples(1000), CsvStyle{'.', ';'}));
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (i == 4 || i == 7 || i == 8)
      EXPECT_EQ(got[i], want[i].substr(0, 19)) << i;
    else
      EXPECT_EQ(got[i], want[i]) << i;
  }
  EXPECT_EQ(got[5], want[5]);  // pretrigger time 0.00100 s from the file
}

TEST_F(Headless, LogicVxdGivesTheAutomaticLogicCsv) {
  const fs::path f = dir_ / "la.VXD";
  const RecordInfo info{QString::fromLatin1(kSerial), logicSettings(200), time_};
  const TLogAnalList list = logicList(200);
  ASSERT_EQ(writeLogicVxd(f, info, list), 0);
  ASSERT_EQ(convert({"--convert", q(f), q(dir_ / "la.csv")}), kExitOk) << qPrintable(message_);
  EXPECT_EQ(slurp(dir_ / "la.csv"),
            logicCsvText(info, logicCsvParams(info.settings), list, CsvStyle{'.', ';'}));
}

TEST_F(Headless, GermanSettingsGiveGermanLabels) {
  GlobalSettings g;
  g.language = 0;
  ASSERT_EQ(writeGlobalSettingsFile(multiFolder() / kGlobalSettingsFileName, g), 0);
  const fs::path fil = scopeFil();
  ASSERT_EQ(convert({"--convert", q(fil)}), kExitOk);
  const auto l = lines(slurp(fs::path(fil).replace_extension(".CSV")));
  EXPECT_EQ(l[0], " 0,000000\t 0,500000\tGerät\tTX123456");
}

// Each damaged input: exit 1, the file and the reason named, and an existing output untouched.
TEST_F(Headless, BadInputNamesFileAndReasonAndKeepsTheOldOutput) {
  const fs::path out = dir_ / "old.CSV";
  spit(out, "keep me");
  struct Case {
    const char* what;
    std::function<fs::path()> make;
    const char* reason;
  };
  // A logger stream of nothing but the device's end marker.
  const auto loggerEndOnly = [&](IntermediateFamily f) {
    return [&, f] {
      const fs::path p = loggerFil(f);
      spit(p, std::string(reinterpret_cast<const char*>(kLoggerEndMarkerBytes), 16));
      return p;
    };
  };
  const std::vector<Case> cases = {
      {"missing", [&] { return dir_ / "nope.FIL"; }, "file not found"},
      {"folder", [&] { return dir_; }, "folder"},
      {"no header",
       [&] {
         const fs::path f = scopeFil();
         fs::remove(textHeaderName(f));
         return f;
       },
       ".VXT is missing"},
      {"empty header",
       [&] {
         const fs::path f = scopeFil();
         spit(textHeaderName(f), "");
         return f;
       },
       "damaged"},
      {"header of another kind",
       [&] {
         const fs::path f = scopeFil();
         header(f, logicSettings());
         return f;
       },
       "wrong kind"},
      {"header without time",
       [&] {
         const fs::path f = scopeFil();
         header(f, scopeSettings(), false);
         return f;
       },
       "no measurement time"},
      {"empty scope file",
       [&] {
         const fs::path f = scopeFil();
         spit(f, "");
         return f;
       },
       "no samples"},
      {"cut inside a sample",
       [&] {
         const fs::path f = scopeFil();
         fs::resize_file(f, fs::file_size(f) - 3);
         return f;
       },
       "cut short"},
      {"cut by whole samples",
       [&] {
         const fs::path f = scopeFil();
         fs::resize_file(f, fs::file_size(f) - 80);
         return f;
       },
       "990 of 1000"},
      {"logic-analyser file cut by whole entries",
       [&] {
         const fs::path f = logicFil(1000);
         fs::resize_file(f, 8 * 500);
         return f;
       },
       "cut short (499 of 1000 samples)"},
      {"logic-analyser vxd cut by whole samples",
       [&] {
         const fs::path f = dir_ / "l.VXD";
         EXPECT_EQ(writeLogicVxd(f, {QString::fromLatin1(kSerial), logicSettings(2000), time_},
                                 logicList(2000)),
                   0);
         fs::resize_file(f, kLogicVxdHeader + 2 * 500);
         return f;
       },
       "cut short (500 of 2000 samples)"},
      {"scope file longer than any record",
       [&] {
         const fs::path f = scopeFil();
         std::vector<ScopeSample> e = scopeSamples(200000);
         e.push_back({});
         EXPECT_EQ(writeScopeIntermediate(f, e), 0);
         header(f, scopeSettings(200000));
         return f;
       },
       "200000 samples, more than a record holds (131000)"},
      {"logic-analyser file longer than any record",
       [&] {
         const fs::path f = logicFil(300000);
         return f;
       },
       "300000 samples, more than a record holds (262000)"},
      {"voltmeter file cut inside its first reading",
       [&] {
         const fs::path f = voltmeterFil();
         fs::resize_file(f, 71);
         return f;
       },
       "cut short"},
      {"analog logger stream of its end words only", loggerEndOnly(IntermediateFamily::DLA0),
       "no samples"},
      {"I/O logger stream of its end words only", loggerEndOnly(IntermediateFamily::DLDI),
       "no samples"},
      {"logger stream whose end marker is out of step",
       [&] {
         const fs::path f = loggerFil(IntermediateFamily::DLA0);
         std::string b = slurp(f);
         b.insert(b.size() - 16, "xy");
         spit(f, b);
         return f;
       },
       "end marker does not follow whole samples"},
      {"scope vxd cut",
       [&] {
         const fs::path f = dir_ / "s.VXD";
         EXPECT_EQ(writeScopeVxd(f, scopeInfo(), scopeSamples(1000)), 0);
         fs::resize_file(f, fs::file_size(f) - 8);
         return f;
       },
       "does not match"},
      {"vxd header only half",
       [&] {
         const fs::path f = dir_ / "h.VXD";
         spit(f, std::string(40, '\0'));
         return f;
       },
       "cut short"},
      {"unknown extension",
       [&] {
         const fs::path f = dir_ / "x.PNG";
         spit(f, "x");
         return f;
       },
       "unknown kind"},
  };
  for (const Case& c : cases) {
    const fs::path src = c.make();
    EXPECT_EQ(convert({"--convert", q(src), q(out)}), kExitBadInput) << c.what;
    EXPECT_TRUE(message_.contains(q(src))) << c.what << ": " << qPrintable(message_);
    EXPECT_TRUE(message_.contains(QString::fromUtf8(c.reason)))
        << c.what << ": " << qPrintable(message_);
    EXPECT_FALSE(message_.contains(QLatin1Char('\n')));
    EXPECT_EQ(slurp(out), "keep me") << c.what;
  }
  // The same refusals hold for drawing.
  const fs::path png = dir_ / "old.png";
  spit(png, "keep me");
  for (const Case& c : cases) {
    const fs::path src = c.make();
    if (std::string(c.what) == "header without time") continue;  // drawn with the file's time
    EXPECT_EQ(render({"--render", q(src), q(png)}), kExitBadInput) << c.what;
    EXPECT_EQ(slurp(png), "keep me") << c.what;
  }
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir_, ec))
    EXPECT_EQ(e.path().string().find(".tmp-"), std::string::npos) << e.path();
}

TEST_F(Headless, UnreadableSourceAndUnwritableTargetAreNamed) {
  if (runningAsRoot()) GTEST_SKIP() << "root reads and writes everything";
  const fs::path fil = scopeFil();
  ::chmod(fil.c_str(), 0);
  EXPECT_EQ(convert({"--convert", q(fil), q(dir_ / "a.CSV")}), kExitBadInput);
  EXPECT_TRUE(message_.contains("cannot be read")) << qPrintable(message_);
  ::chmod(fil.c_str(), 0644);
  const fs::path ro = dir_ / "ro";
  fs::create_directories(ro);
  ::chmod(ro.c_str(), 0555);
  EXPECT_EQ(convert({"--convert", q(fil), q(ro / "a.CSV")}), kExitBadInput);
  EXPECT_TRUE(message_.contains(q(ro / "a.CSV")) && message_.contains("cannot be written"))
      << qPrintable(message_);
  EXPECT_EQ(render({"--render", q(fil), q(ro / "a.png")}), kExitBadInput);
  EXPECT_TRUE(message_.contains("cannot be written")) << qPrintable(message_);
  ::chmod(ro.c_str(), 0755);
}

// --- Render ----------------------------------------------------------------------------------

// The picture is the scope sheet's own: pixel for pixel what the window shows for the record.
TEST_F(Headless, ScopeFilePictureIsTheScopeSheetsPicture) {
  const fs::path fil = scopeFil();
  QWidget window;
  window.resize(900, 600);
  auto* pc = new QTabWidget(&window);
  for (int i = 0; i < 6; ++i) pc->addTab(new QWidget, QStringLiteral("p%1").arg(i));
  pc->setGeometry(0, 0, 900, 600);
  ManualClock clock;
  TManualTimerHub hub(clock);
  TPlotSheets sheets(pc, hub.create(0), &window);
  pc->setCurrentIndex(int(PlotSheet::Scope));
  window.show();
  QApplication::processEvents();
  sheets.relayout();
  const auto s = scopeSamples(1000);
  std::vector<double> c0, c1;
  for (const auto& x : s) {
    c0.push_back(x.ch0);
    c1.push_back(x.ch1);
  }
  sheets.setHeadline(headlineText(QString::fromLatin1(kSerial), time_));
  ASSERT_EQ(sheets.plotScope(c0.data(), c1.data(), 1000, scopeSettings(), PlotChoice{}), 0);
  const QImage shown =
      sheets.image(PlotSheet::Scope)->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
  const QString size = QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height());
  const fs::path png = dir_ / "scope.png";
  ASSERT_EQ(render({"--render", q(fil), q(png), "--size", size}), kExitOk) << qPrintable(message_);
  QImage got(q(png));
  ASSERT_FALSE(got.isNull());
  got = got.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(got.size(), shown.size());
  EXPECT_TRUE(got == shown);
  // Channel 0 blue, channel 1 red, and the black headline at the top edge.
  EXPECT_GT(countColour(got, qRgb(0, 0, 255)), 500);
  EXPECT_GT(countColour(got, qRgb(255, 0, 0)), 500);
  EXPECT_GT(countColour(got.copy(0, 0, got.width(), 12), qRgb(0, 0, 0)), 20);
  // A copy out of its device's folder names no device; --serial puts it into the headline.
  fs::create_directories(dir_ / "copied");
  fs::copy_file(fil, dir_ / "copied" / fil.filename());
  fs::copy_file(textHeaderName(fil), dir_ / "copied" / textHeaderName(fil).filename());
  const fs::path copy = dir_ / "copied" / fil.filename();
  ASSERT_EQ(render({"--render", q(copy), q(png), "--size", size}), kExitOk) << qPrintable(message_);
  EXPECT_FALSE(QImage(q(png)).convertToFormat(QImage::Format_RGB32) == shown);
  ASSERT_EQ(render({"--render", q(copy), q(png), "--size", size, "--serial", kSerial}), kExitOk)
      << qPrintable(message_);
  EXPECT_TRUE(QImage(q(png)).convertToFormat(QImage::Format_RGB32) == shown);
  if (const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR")) {
    shown.save(QString::fromLocal8Bit(out) + "/headless_window_scope.png");
    got.save(QString::fromLocal8Bit(out) + "/headless_render_scope.png");
  }
}

TEST_F(Headless, EveryKindIsDrawnAtTheAskedSize) {
  const fs::path scope = scopeFil();
  const fs::path la = dir_ / "la.VXD";
  ASSERT_EQ(
      writeLogicVxd(la, {QString::fromLatin1(kSerial), logicSettings(), time_}, logicList(200)), 0);
  const fs::path sv = dir_ / "s.VXD";
  ASSERT_EQ(writeScopeVxd(sv, scopeInfo(), scopeSamples(1000)), 0);
  ASSERT_EQ(convert({"--convert", q(scope), q(dir_ / "scope.CSV")}), 0);
  ASSERT_EQ(convert({"--convert", q(la), q(dir_ / "la.CSV")}), 0);
  const fs::path io = loggerFil(IntermediateFamily::DLDI);
  ASSERT_EQ(convert({"--convert", q(io), q(dir_ / "io.CSV")}), 0);
  const std::vector<fs::path> sources = {scope,
                                         logicFil(),
                                         voltmeterFil(),
                                         loggerFil(IntermediateFamily::DLA0),
                                         io,
                                         la,
                                         sv,
                                         dir_ / "scope.CSV",
                                         dir_ / "la.CSV",
                                         dir_ / "io.CSV",
                                         analogLoggerCsv(),
                                         chartCsv()};
  const char* shot = std::getenv("TOLV_WINDOW_SHOT_DIR");
  int k = 0;
  for (const fs::path& src : sources) {
    const fs::path png = dir_ / ("pic" + std::to_string(k++) + ".png");
    ASSERT_EQ(render({"--render", q(src), q(png), "--size", "640x400"}), kExitOk)
        << src << qPrintable(message_);
    const QImage img(q(png));
    ASSERT_EQ(img.size(), QSize(640, 400)) << src;
    // Something besides white and the headline.
    EXPECT_GT(640 * 400 - countColour(img, qRgb(255, 255, 255)), 2000) << src;
    if (shot) img.save(QString::fromLocal8Bit(shot) + "/headless_" + QString::number(k) + ".png");
  }
  // The table's curves are the record's: the CSV and the .VXD draw the same picture, but for
  // a few pixels where the table's six decimals round a value near zero.
  const QImage a = QImage(q(dir_ / "pic6.png")).convertToFormat(QImage::Format_RGB32);
  const QImage b = QImage(q(dir_ / "pic7.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(a.size(), b.size());
  int differ = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) differ += a.pixel(x, y) != b.pixel(x, y);
  EXPECT_LT(differ, 40);
  // A logger table's depth counts two words per sample: its axis is its rows all the same.
  const fs::path logger = dir_ / "092653_589_DLA0.CSV";
  std::string text = slurp(logger);
  const std::size_t depth = text.find(";Memory Depth;600\r\n");
  ASSERT_NE(depth, std::string::npos);
  text.replace(depth, 18, ";Memory Depth;300\r");
  spit(dir_ / "rows.CSV", text);
  ASSERT_EQ(render({"--render", q(dir_ / "rows.CSV"), q(dir_ / "rows.png"), "--size", "640x400"}),
            kExitOk);
  EXPECT_TRUE(QImage(q(dir_ / "rows.png")) == QImage(q(dir_ / "pic10.png")));
}

// The program's own tables draw whatever separators wrote them, blank and point included, with
// or without naming the separator: the same picture as from the Tab table.
TEST_F(Headless, OwnTablesOfEverySeparatorAreDrawn) {
  const std::vector<std::pair<std::string, fs::path>> sources = {
      {"scope", scopeFil()}, {"logic", logicFil()}, {"io", loggerFil(IntermediateFamily::DLDI)}};
  const std::vector<std::pair<QString, QString>> styles = {
      {"tab", "."}, {";", ","}, {",", "."}, {"dot", ","}, {"blank", "."}, {"blank", ","}};
  for (const auto& [what, src] : sources) {
    QImage reference;
    int k = 0;
    for (const auto& [sep, dec] : styles) {
      const fs::path csv = dir_ / (what + std::to_string(k++) + ".CSV");
      ASSERT_EQ(convert({"--convert", q(src), q(csv), "--separator", sep, "--decimal", dec}), 0)
          << qPrintable(message_);
      for (const bool named : {false, true}) {
        const fs::path png = dir_ / "t.png";
        QStringList args = {"--render", q(csv), q(png), "--size", "500x300"};
        if (named) args << "--separator" << sep;
        ASSERT_EQ(render(args), kExitOk) << what << " " << qPrintable(sep) << " " << qPrintable(dec)
                                         << ": " << qPrintable(message_);
        const QImage img = QImage(q(png)).convertToFormat(QImage::Format_RGB32);
        if (reference.isNull()) reference = img;
        EXPECT_TRUE(img == reference) << what << " " << qPrintable(sep) << " " << qPrintable(dec);
      }
    }
    // A table one row short of the length it states (a copy taken while it was written) is cut.
    if (what == "logic") continue;  // a stored record's table states its file's entries
    const std::string whole = slurp(dir_ / (what + "0.CSV"));
    spit(dir_ / "cut.CSV", whole.substr(0, whole.rfind("\r\n", whole.size() - 3) + 2));
    EXPECT_EQ(render({"--render", q(dir_ / "cut.CSV"), q(dir_ / "t.png")}), kExitBadInput) << what;
    EXPECT_TRUE(message_.endsWith(what == "scope" ? "cut short (999 of 1000 samples)"
                                                  : "cut short (299 of 300 samples)"))
        << qPrintable(message_);
  }
}

// An output whose folder cannot be made says so in words, for a picture and a table alike.
TEST_F(Headless, AnOutputFolderThatCannotBeMadeIsNamedInWords) {
  const fs::path fil = scopeFil();
  spit(dir_ / "blocker", "a file where the folder should be");
  for (const QStringList& args :
       {QStringList{"--render", q(fil), q(dir_ / "blocker" / "sub" / "x.png")},
        QStringList{"--convert", q(fil), q(dir_ / "blocker" / "sub" / "x.CSV")}}) {
    EXPECT_EQ(args[0] == "--render" ? render(args) : convert(args), kExitBadInput);
    EXPECT_TRUE(message_.contains("cannot be written: the folder is missing or cannot be made"))
        << qPrintable(message_);
    EXPECT_FALSE(message_.contains(QString::fromLocal8Bit(std::strerror(3))))
        << qPrintable(message_);
  }
  // A folder that is there but takes no files is not called missing.
  if (!fs::is_directory("/proc/self")) return;
  for (const QStringList& args : {QStringList{"--render", q(fil), "/proc/x.png"},
                                  QStringList{"--convert", q(fil), "/proc/x.CSV"}}) {
    EXPECT_EQ(args[0] == "--render" ? render(args) : convert(args), kExitBadInput);
    EXPECT_TRUE(message_.endsWith("cannot be written: access denied")) << qPrintable(message_);
  }
}

TEST_F(Headless, PdfIsOnePageAndAFailedDrawingKeepsTheOldPicture) {
  const fs::path fil = scopeFil();
  const fs::path pdf = dir_ / "a.pdf";
  ASSERT_EQ(render({"--render", q(fil), q(pdf)}), kExitOk) << qPrintable(message_);
  const std::string bytes = slurp(pdf);
  EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
  EXPECT_NE(bytes.find("/Count 1"), std::string::npos);
  const fs::path bad = dir_ / "bad.CSV";
  spit(bad, " 1.0;2.0\r\nthree;4\r\n");
  EXPECT_EQ(render({"--render", q(bad), q(pdf)}), kExitBadInput);
  EXPECT_TRUE(message_.contains("line 2")) << qPrintable(message_);
  EXPECT_EQ(slurp(pdf), bytes);
  spit(bad, "");
  EXPECT_EQ(render({"--render", q(bad), q(pdf)}), kExitBadInput);
  EXPECT_TRUE(message_.contains("empty")) << qPrintable(message_);
  // A missing output folder is made, as the CSV writers do.
  ASSERT_EQ(render({"--render", q(fil), q(dir_ / "new" / "sub" / "b.PNG")}), kExitOk);
  EXPECT_FALSE(QImage(q(dir_ / "new" / "sub" / "b.PNG")).isNull());
  spit(bad, "hello;world\r\n");
  EXPECT_EQ(render({"--render", q(bad), q(pdf)}), kExitBadInput);
  EXPECT_TRUE(message_.contains("not a table")) << qPrintable(message_);
  EXPECT_EQ(slurp(pdf), bytes);
}
