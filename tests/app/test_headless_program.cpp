// The built program converting and drawing without a display: DISPLAY and the platform unset,
// as on a server; messages on standard error and the exit codes a script checks.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>

#include "app/headless_fixture.h"
#include "app/launcherpath.h"
#include "multi/multifiles.h"

#ifdef TOLV_PROGRAM_PATH

using namespace tolv;
using namespace tolv::testfiles;

namespace {

struct ProgramRun {
  int code = -1;
  QString err;
  QString out;
};

class HeadlessProgram : public HeadlessFiles {
 protected:
  // `locale`: the regional settings of the run (LC_ALL), else those of the test's own.
  ProgramRun run(QStringList args, const QString& locale = QString()) {
    args << "--data-root" << QString::fromStdString(dir_.string());
    return runProgram(TOLV_PROGRAM_PATH, args, locale);
  }
  // Any program with these arguments, as they are.
  static ProgramRun runProgram(const QString& program, const QStringList& args,
                               const QString& locale = QString()) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!locale.isEmpty()) {
      const QString full = locale == QLatin1String("C") ? locale : locale + ".UTF-8";
      env.insert("LC_ALL", full);
      env.insert("LANG", full);
      env.insert("LANGUAGE", locale);
    }
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForFinished(60000)) return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    return r;
  }
  static QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

  // Two devices of 500 points in one multi-device data file.
  fs::path multiFile() {
    std::vector<fs::path> parts;
    for (int d = 0; d < 2; ++d) {
      DeviceFileHead h;
      h.serial = QStringLiteral("TX00000%1").arg(d + 1);
      h.time = time_;
      h.depth = 500;
      h.colours = {ColorRef(0x00A000 + d), ColorRef(0x8000FF - d)};
      std::string text;
      appendDeviceFileHead(text, h, ';', '.');
      for (int i = 0; i < 500; ++i)
        appendDeviceFileLine(text, i * 1e-4, std::sin(i * 0.05 + d), 0.3 * d + (i % 50) * 0.01, ';',
                             '.');
      parts.push_back(dir_ / ("dev" + std::to_string(d) + ".CSV"));
      spit(parts.back(), text);
    }
    const fs::path f = dir_ / "multi.CSV";
    EXPECT_EQ(writeMultiDataFile(f, parts, ';'), 0);
    return f;
  }
};

}  // namespace

TEST_F(HeadlessProgram, DrawsAndConvertsWithoutADisplay) {
  const fs::path fil = scopeFil();
  const fs::path png = dir_ / "scope.png";
  ProgramRun r = run({"--render", q(fil), q(png)});
  ASSERT_EQ(r.code, 0) << qPrintable(r.err);
  EXPECT_TRUE(r.err.isEmpty()) << qPrintable(r.err);
  EXPECT_EQ(QImage(q(png)).size(), QSize(1200, 700));
  r = run({"--convert", q(fil)});
  ASSERT_EQ(r.code, 0) << qPrintable(r.err);
  EXPECT_EQ(slurp(fs::path(fil).replace_extension(".CSV")),
            scopeCsvText(scopeInfo(), scopeSamples(1000), CsvStyle{'.', ';'}));
  // The converted table draws too, and so does the multi-device data file.
  r = run({"--render", q(fs::path(fil).replace_extension(".CSV")), q(dir_ / "t.pdf"), "--size",
           "800x500"});
  EXPECT_EQ(r.code, 0) << qPrintable(r.err);
  EXPECT_EQ(slurp(dir_ / "t.pdf").substr(0, 5), "%PDF-");
  const fs::path multiPng = dir_ / "multi.png";
  r = run({"--render", q(multiFile()), q(multiPng), "--size", "900x500"});
  ASSERT_EQ(r.code, 0) << qPrintable(r.err);
  const QImage m(q(multiPng));
  ASSERT_EQ(m.size(), QSize(900, 500));
  int green = 0;
  for (int y = 0; y < m.height(); ++y)
    for (int x = 0; x < m.width(); ++x) green += (m.pixel(x, y) & 0xFFFFFF) == 0x00A000;
  EXPECT_GT(green, 300);  // the first device's channel 1 in its file colour
  if (const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR"))
    m.save(QString::fromLocal8Bit(out) + "/headless_multi.png");
}

// The same table whatever regional settings the program runs under: the dates as their notes
// say, points where the settings ask for points. A header an earlier version wrote under
// British settings converts to its own date under every one.
TEST_F(HeadlessProgram, ConvertsToTheSameTableUnderEveryRegion) {
  const fs::path fil = scopeFil();
  const fs::path csv = fs::path(fil).replace_extension(".CSV");
  const std::string want = scopeCsvText(scopeInfo(), scopeSamples(1000), CsvStyle{'.', ';'});
  ASSERT_NE(want.find(";Date of measurement;03.14.2026;MM.DD.YYYY\r\n"), std::string::npos);
  ASSERT_NE(want.find(";Time of measurement;09:26:53.589;HH:MM:SS.ms\r\n"), std::string::npos);
  const fs::path old = familyFile(IntermediateFamily::OSA0, 2);
  fs::copy_file(fil, old);
  spit(textHeaderName(old),
       textHeaderText(scopeSettings()) + "Date Time\r\n08/12/2026  22:32:58.736\r\n");
  for (const char* locale : {"C", "de_DE", "en_US", "en_GB", "nl_NL", "ja_JP"}) {
    fs::remove(csv);  // a table standing under the made name is kept
    ProgramRun r = run({"--convert", q(fil)}, QString::fromLatin1(locale));
    ASSERT_EQ(r.code, 0) << locale << ": " << qPrintable(r.err);
    EXPECT_EQ(slurp(csv), want) << locale;
    r = run({"--convert", q(old), q(dir_ / "old.CSV")}, QString::fromLatin1(locale));
    ASSERT_EQ(r.code, 0) << locale << ": " << qPrintable(r.err);
    EXPECT_NE(slurp(dir_ / "old.CSV").find(";Date of measurement;12.08.2026;MM.DD.YYYY\r\n"),
              std::string::npos)
        << locale;
  }
}

TEST_F(HeadlessProgram, ExitCodesAndOneLineMessages) {
  ProgramRun r = run({"--convert", q(dir_ / "missing.FIL")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.count('\n'), 1) << qPrintable(r.err);
  EXPECT_TRUE(r.err.contains("missing.FIL") && r.err.contains("file not found"))
      << qPrintable(r.err);
  r = run({"--render", q(scopeFil()), q(dir_ / "x.gif")});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains(".png or .pdf")) << qPrintable(r.err);
  r = run({"--render", q(scopeFil()), q(dir_ / "x.png"), "--size", "big"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("--size")) << qPrintable(r.err);
  EXPECT_FALSE(fs::exists(dir_ / "x.png"));
  r = run({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.out.contains("--convert SRC") && r.out.contains("--render SRC"));
}

// The command converts on the core library alone: the windowing libraries are not among what
// the loader brings in for it (listed by the loader itself, as ldd does).
TEST_F(HeadlessProgram, TheCommandLoadsNoWindowingLibrary) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LD_TRACE_LOADED_OBJECTS", "1");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, QStringList{});
  ASSERT_TRUE(p.waitForFinished(60000));
  const QString listed = QString::fromLocal8Bit(p.readAllStandardOutput());
  EXPECT_TRUE(listed.contains("libQt6Core.so")) << qPrintable(listed);
  for (const char* lib : {"libQt6Gui", "libQt6Widgets", "libQt6PrintSupport", "libGL"})
    EXPECT_FALSE(listed.contains(QLatin1String(lib))) << lib << '\n' << qPrintable(listed);
#ifdef TOLV_WINDOW_PROGRAM_PATH
  // The windows program, which the command starts for everything else, has them.
  p.start(TOLV_WINDOW_PROGRAM_PATH, QStringList{});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_TRUE(QString::fromLocal8Bit(p.readAllStandardOutput()).contains("libQt6Widgets.so"));
#endif
}

#ifdef TOLV_WINDOW_PROGRAM_PATH
// Installed elsewhere, the command finds the windows program where it was put beside it (the
// same relative place as in the build), and says so when it is missing; conversions need it
// not.
TEST_F(HeadlessProgram, TheCommandStartsTheWindowsProgramBesideItOrSaysItIsMissing) {
  const fs::path command(TOLV_PROGRAM_PATH), windows(TOLV_WINDOW_PROGRAM_PATH);
  const fs::path prefix = dir_ / "prefix";
  const fs::path copy = prefix / "bin" / command.filename();
  const fs::path windowsCopy = copy.parent_path() / fs::relative(windows, command.parent_path());
  fs::create_directories(copy.parent_path());
  fs::copy_file(command, copy);
  const auto start = [&](const QStringList& args) { return runProgram(q(copy), args); };
  ProgramRun r = start({"--version"});
  EXPECT_EQ(r.code, 127);  // neither a bad file nor wrong usage
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(r.err.contains(q(windowsCopy.lexically_normal())) || r.err.contains(q(windowsCopy)))
      << qPrintable(r.err);
  EXPECT_TRUE(r.err.contains("cannot be started")) << qPrintable(r.err);
  r = start({"--convert", q(logicFil()), q(dir_ / "la.vcd"), "--data-root", q(dir_)});
  EXPECT_EQ(r.code, 0) << qPrintable(r.err);
  EXPECT_TRUE(fs::exists(dir_ / "la.vcd"));
  fs::create_directories(windowsCopy.parent_path());
  fs::copy_file(windows, windowsCopy);
  r = start({"--version"});
  EXPECT_EQ(r.code, 0) << qPrintable(r.err);
  EXPECT_TRUE(r.out.startsWith("Multi_Tolvanex ")) << qPrintable(r.out);
  // Arguments reach it unchanged: a usage error is the windows program's own.
  r = start({"--simulate", "x"});
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(r.err.contains("--simulate")) << qPrintable(r.err);
}
#endif

// Without /proc the command is found by the name it was started by: an absolute one as it
// stands, a bare one along the absolute folders of PATH (an executable file only), anything
// else at the install folder. A program of that name in the current folder, which an empty or
// relative PATH entry or "./name" would reach, is never taken.
TEST_F(HeadlessProgram, TheCommandsFolderIsNeverTheCurrentOne) {
  const fs::path install = "/usr/bin";
  EXPECT_EQ(launcherFolder("/opt/t/bin/multi_tolvanex", "/x/y", "/z", install), "/opt/t/bin");
  EXPECT_EQ(launcherFolder({}, "/opt/t/bin/multi_tolvanex", "", install), "/opt/t/bin");
  const fs::path here = dir_ / "here", plain = dir_ / "plain", found = dir_ / "found";
  for (const fs::path& d : {here, plain, found}) {
    fs::create_directories(d);
    spit(d / "multi_tolvanex", "#!/bin/sh\n");
  }
  fs::permissions(here / "multi_tolvanex", fs::perms::owner_exec, fs::perm_options::add);
  fs::permissions(found / "multi_tolvanex", fs::perms::owner_exec, fs::perm_options::add);
  const fs::path before = fs::current_path();
  fs::current_path(here);
  const std::string path = "::.:here:" + (dir_ / "none").string() + ':' + plain.string() + ':' +
                           found.string() + ':' + here.string();
  EXPECT_EQ(launcherFolder({}, "multi_tolvanex", path, install), found);
  EXPECT_EQ(launcherFolder({}, "multi_tolvanex", "::.", install), install);
  EXPECT_EQ(launcherFolder({}, "multi_tolvanex", plain.string(), install), install);
  EXPECT_EQ(launcherFolder({}, "./multi_tolvanex", found.string(), install), install);
  EXPECT_EQ(launcherFolder({}, "", found.string(), install), install);
  fs::current_path(before);
}

// Without /proc, a command reached through a link (on PATH, or named by its absolute path) lies
// where the link leads, relative targets and links to links too: its windows program is beside
// it, not beside the link. A dangling link is no program, and the search goes on.
TEST_F(HeadlessProgram, TheCommandsFolderIsTheOneItsLinksLeadTo) {
  const fs::path install = "/usr/bin";
  const fs::path real = dir_ / "real", links = dir_ / "links", chain = dir_ / "chain",
                 dangling = dir_ / "dangling";
  for (const fs::path& d : {real, links, chain, dangling}) fs::create_directories(d);
  spit(real / "multi_tolvanex", "#!/bin/sh\n");
  fs::permissions(real / "multi_tolvanex", fs::perms::owner_exec, fs::perm_options::add);
  fs::create_symlink(real / "multi_tolvanex", links / "multi_tolvanex");
  fs::create_symlink("../links/multi_tolvanex", chain / "multi_tolvanex");
  fs::create_symlink(dir_ / "none" / "multi_tolvanex", dangling / "multi_tolvanex");
  const fs::path want = fs::canonical(real);
  EXPECT_EQ(launcherFolder({}, "multi_tolvanex", links.string(), install), want);
  EXPECT_EQ(launcherFolder({}, "multi_tolvanex", chain.string(), install), want);
  EXPECT_EQ(launcherFolder({}, (links / "multi_tolvanex").string(), "", install), want);
  EXPECT_EQ(launcherFolder({}, "multi_tolvanex", dangling.string() + ':' + chain.string(), install),
            want);
  EXPECT_EQ(launcherFolder({}, "multi_tolvanex", dangling.string(), install), install);
}

#endif
