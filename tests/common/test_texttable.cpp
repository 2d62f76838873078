#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/texttable.h"

namespace fs = std::filesystem;
using namespace tolv;

namespace {

// Every test starts from the built-in table in German and leaves it so for other tests.
class TextTable : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = fs::path(dir_.path().toStdString());
    fillBuiltInTexts();
  }
  void TearDown() override { fillBuiltInTexts(); }

  fs::path file() const { return languageFilePath(root_); }

  static std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  // The lines of a written language file (CR LF split); line k of id n is (n-1)*5 + k.
  std::vector<std::string> writtenLines() {
    EXPECT_EQ(writeLanguageFile(root_), 0);
    std::string data = readBytes(file());
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < data.size()) {
      std::size_t end = data.find("\r\n", pos);
      lines.push_back(data.substr(pos, end - pos));
      pos = end + 2;
    }
    fs::remove(file());
    return lines;
  }
  static std::string join(const std::vector<std::string>& lines, const char* eol = "\r\n") {
    std::string s;
    for (const auto& l : lines) s += l + eol;
    return s;
  }

  QTemporaryDir dir_;
  fs::path root_;
};

QString dots(int n, int count) {
  return QString::number(n) + QString(count, QLatin1Char('.'));
}

}  // namespace

TEST_F(TextTable, QuotedTextsInBothLanguages) {
  struct Row {
    int id;
    const char* german;
    const char* english;
  };
  const Row rows[] = {
      {3, "Dezimal-Trenner", "Decimal separator"},
      {5, "Spalten-Trenner", "Column separator"},
      {7, "Komma", "Comma"},
      {9, "Tabulator", "Tab"},
      {11, "Leerzeichen", "Blank"},
      {12, "Sprache", "Language"},
      {23, "von", "of"},
      {26, "Ordnet die Tolvanex-Fenster neu an", "Rearranges the Tolvanex-windows "},
      {35, "DC-Voltmeter", "Voltmeter, DC"},
      {41, "Logik-Analysator, IO-Ports", "Logicanalyzer, IO-ports"},
      {45, "Schwelle, Überschreitung", "Level, above"},
      {56, "Muster", "Pattern"},
      {64, "Oszilloskop-Daten speichern (binär)", "Save scope data (binary)"},
      {80, "Wollen Sie wirklich alle Voltmeter-Zwischendateien löschen?",
       "Do you really want to erase all voltmeter intermediate files?"},
      {85, "START", "RUN"},
      {87, "STOP", "BREAK"},
      {88, "Stoppt oder bricht die laufende Messung ab", "Stopps or cancels running measurement"},
      {95, "Hinweise", "Hints"},
      {117, "K1 + K2", "C2 + C2"},
      {174, "Trigger-Kanal", "Trigger channel"},
      {194, "Oszilloskop- /Logik-Analysator-Einstellungen", "Scope- and logic analyzer settings"},
      {207, "Logik Diagramm", "Logic analyzer plot"},
      {220, "Trigger modus", "Trigger mode"},
      {225, "Gerät", "Device"},
      {239, "Logik-Daten", "Logic data"},
      {241, "In Koordinaten-Fenster klicken lässt es verschwinden",
       "Clicking in the coordinate window lets it disappear;"},
      {278, "Std.-Abw. = ±", "Std. dev. = ±"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(tableText(r.id, kLanguageGerman), QString::fromUtf8(r.german)) << r.id;
    EXPECT_EQ(tableText(r.id, kLanguageEnglish), QString::fromUtf8(r.english)) << r.id;
  }
  EXPECT_EQ(text(225), QStringLiteral("Gerät"));
  setLanguageIndex(kLanguageEnglish);
  EXPECT_EQ(text(225), QStringLiteral("Device"));
  EXPECT_TRUE(tableText(230, kLanguageGerman).startsWith(QStringLiteral("Zu kurze Abtastzeiten")));
}

TEST_F(TextTable, DefaultsSharedIdsAndCoverage) {
  EXPECT_EQ(tableText(17, kLanguageGerman), QStringLiteral("17, GERMAN  is undefined"));
  EXPECT_EQ(tableText(17, kLanguageEnglish), QStringLiteral("17, english is undefined"));
  for (int id : {18, 166, 168, 310})
    EXPECT_EQ(tableText(id, kLanguageEnglish), QString::number(id) + ", english is undefined");
  const std::pair<int, int> shared[] = {{164, 156}, {198, 197}, {202, 200}, {255, 251},
                                        {273, 271}, {276, 274}, {279, 277}, {282, 57}};
  for (auto [id, src] : shared) {
    EXPECT_EQ(tableText(id, kLanguageGerman), tableText(src, kLanguageGerman)) << id;
    EXPECT_EQ(tableText(id, kLanguageEnglish), tableText(src, kLanguageEnglish)) << id;
  }
  int undefined = 0;
  for (int id = 1; id <= kTextCount; ++id) {
    for (int lang : {kLanguageGerman, kLanguageEnglish}) {
      const QString t = tableText(id, lang);
      EXPECT_FALSE(t.isEmpty()) << id;
      EXPECT_FALSE(t.contains(QLatin1Char('\n')) || t.contains(QLatin1Char('\r'))) << id;
      if (t.endsWith(QStringLiteral("is undefined"))) ++undefined;
    }
    EXPECT_EQ(tableText(id, kLanguageThird), dots(id, kThirdLanguageDots)) << id;
  }
  EXPECT_EQ(undefined, 10);  // ids 17, 18, 166, 168, 310 in both languages
  EXPECT_TRUE(text(0).isEmpty());
  EXPECT_TRUE(text(kLastTextId + 1).isEmpty());
  EXPECT_TRUE(wrappedText(-1).isEmpty());
}

TEST_F(TextTable, LanguageIndexAndThirdLanguagePlaceholder) {
  setLanguageIndex(kLanguageThird);
  EXPECT_EQ(languageIndex(), kLanguageThird);
  EXPECT_EQ(text(1), dots(1, 130));  // before any file: the full 130 dots
  // After the file is written the placeholder is as long as the longer of German and English.
  ASSERT_EQ(writeLanguageFile(root_), 0);
  EXPECT_EQ(text(1), dots(1, 4));  // "Datei" / "File": L = 5
  // A longer text does not lengthen the placeholder: it stays the id and 130 dots.
  EXPECT_EQ(text(230), dots(230, 130));
  setLanguageIndex(7);
  EXPECT_EQ(languageIndex(), kLanguageGerman);
  setLanguageIndex(kLanguageEnglish);
  fillBuiltInTexts();
  EXPECT_EQ(languageIndex(), kLanguageGerman);
}

TEST_F(TextTable, WrapHintRules) {
  const QString forty(40, QLatin1Char('a'));
  EXPECT_EQ(wrapHint(forty), forty);
  const QString fortyOne = QString(35, QLatin1Char('b')) + QStringLiteral(" cccccc");
  EXPECT_EQ(wrapHint(fortyOne), fortyOne);  // blank before column 40, none after: unchanged
  EXPECT_EQ(wrapHint(QStringLiteral("ab~~cd")), QStringLiteral("ab\r\n\r\ncd"));
  EXPECT_EQ(wrapHint(QStringLiteral("ab~")), QStringLiteral("ab"));
  EXPECT_EQ(wrapHint(QStringLiteral("~x")), QStringLiteral("\r\nx"));
  // No "~": break at the first blank at or after column 40, the blank ends the line.
  const QString a44 = QString(44, QLatin1Char('a'));
  EXPECT_EQ(wrapHint(QString(39, QLatin1Char('a')) + QStringLiteral(" rest")),
            QString(39, QLatin1Char('a')) + QStringLiteral(" \r\nrest"));
  EXPECT_EQ(wrapHint(a44 + QStringLiteral(" b c")), a44 + QStringLiteral(" \r\nb c"));
  // A "~" beyond column 40 that comes before any blank breaks there.
  EXPECT_EQ(wrapHint(a44 + QStringLiteral("~b c")), a44 + QStringLiteral("\r\nb c"));
  // A "~" within 40 columns always wins.
  EXPECT_EQ(wrapHint(QStringLiteral("x y~") + a44), QStringLiteral("x y\r\n") + a44);
  // The result is cut to 255 characters.
  QString many;
  for (int i = 0; i < 100; ++i) many += QStringLiteral("ab~");
  const QString wrapped = wrapHint(many);
  EXPECT_EQ(wrapped.size(), 255);
  EXPECT_TRUE(wrapped.startsWith(QStringLiteral("ab\r\nab\r\n")));
}

TEST_F(TextTable, WrappedTableTexts) {
  setLanguageIndex(kLanguageEnglish);
  EXPECT_EQ(wrappedText(208), QStringLiteral("Active:\r\nsynchronize Y-axes"));
  EXPECT_EQ(wrappedText(3), QStringLiteral("Decimal separator"));
  EXPECT_EQ(wrappedText(28),
            QStringLiteral("Opens a window, in which you can display \r\nand process oscillographs "
                           "of several Tolvanex \r\nscopes."));
  EXPECT_EQ(wrappedText(134),
            QStringLiteral("Selector for\r\nAmplitude range channel 1\r\n\r\nsome "
                           "bucking of the indicator is unavoidable"));
}

TEST_F(TextTable, RoundTripKeepsTextsAndBacksUpOldFile) {
  ASSERT_EQ(writeLanguageFile(root_), 0);
  const std::string first = readBytes(file());
  EXPECT_NE(first.find("Ger\xC3\xA4t\r\nDevice\r\n"), std::string::npos);  // UTF-8
  ASSERT_EQ(loadLanguageFile(root_), 0);
  EXPECT_EQ(tableText(225, kLanguageGerman), QStringLiteral("Gerät"));
  EXPECT_EQ(tableText(17, kLanguageGerman), QStringLiteral("17, GERMAN  is undefined"));
  ASSERT_EQ(writeLanguageFile(root_), 0);
  EXPECT_EQ(readBytes(file()), first);
  EXPECT_EQ(readBytes(root_ / "VX_Language_1.TXT"), first);
  ASSERT_EQ(writeLanguageFile(root_), 0);
  EXPECT_TRUE(fs::exists(root_ / "VX_Language_2.TXT"));
}

TEST_F(TextTable, LoadedFileSuppliesThirdLanguageAndCutsToLength) {
  auto lines = writtenLines();
  lines[(12 - 1) * 5 + 4] = "Kieli";                // id 12, third language
  lines[(34 - 1) * 5 + 1] = "3";                    // id 34: L = 3
  lines[(40 - 1) * 5 + 1] = "300";                  // id 40: long texts survive the file...
  lines[(40 - 1) * 5 + 3] = std::string(300, 'e');  // ...but a lookup gives 255
  writeBytes(file(), join(lines));
  ASSERT_EQ(loadLanguageFile(root_), 0);
  EXPECT_EQ(tableText(34, kLanguageGerman), QStringLiteral("Mod"));
  EXPECT_EQ(tableText(34, kLanguageEnglish), QStringLiteral("Mod"));
  EXPECT_EQ(tableText(34, kLanguageThird), QStringLiteral("34."));
  EXPECT_EQ(tableText(40, kLanguageEnglish).size(), 300);
  setLanguageIndex(kLanguageEnglish);
  EXPECT_EQ(text(40).size(), 255);
  setLanguageIndex(kLanguageThird);
  EXPECT_EQ(text(12), QStringLiteral("Kieli"));
}

TEST_F(TextTable, Windows1252AndLineEndVariants) {
  auto lines = writtenLines();
  // Single-byte umlauts and the euro sign as an older editor stores them.
  lines[(225 - 1) * 5 + 2] = "Ger\xE4t";
  lines[(67 - 1) * 5 + 1] = "60";
  lines[(67 - 1) * 5 + 2] = "Alle Voltmeter-Zwischendateien l\xF6schen \x80";
  lines[(231 - 1) * 5 + 4] = "\xFC";
  writeBytes(file(), "\xEF\xBB\xBF" + join(lines, "\n"));  // LF only, with byte order mark
  ASSERT_EQ(loadLanguageFile(root_), 0);
  EXPECT_EQ(tableText(225, kLanguageGerman), QStringLiteral("Gerät"));
  EXPECT_EQ(tableText(67, kLanguageGerman),
            QStringLiteral("Alle Voltmeter-Zwischendateien löschen €"));
  EXPECT_EQ(tableText(231, kLanguageThird), QStringLiteral("ü"));
  EXPECT_EQ(tableText(226, kLanguageGerman), QStringLiteral("Datum der Messung"));
  EXPECT_EQ(decodeLanguageFileLine("\xC3\xA4"), QStringLiteral("ä"));
  EXPECT_EQ(decodeLanguageFileLine("\xC3"), QStringLiteral("Ã"));  // cut sequence: 1252
  EXPECT_EQ(decodeLanguageFileLine("\xED\xA0\x80").size(), 3);     // surrogate: not UTF-8
}

TEST_F(TextTable, RejectedFileIsKeptAndRewritten) {
  auto lines = writtenLines();
  lines[2 * 5] = "4";  // third entry claims id 4
  const std::string rejected = join(lines);
  writeBytes(file(), rejected);
  writeBytes(root_ / "VX_Language_1.TXT", "older");
  setLanguageIndex(kLanguageEnglish);
  int written = -1;
  EXPECT_EQ(loadTextsAtStart(root_, &written), kErrLanguageFileDamaged);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(readBytes(root_ / "VX_Language_1.TXT"), "older");
  EXPECT_EQ(readBytes(root_ / "VX_Language_2.TXT"), rejected);
  EXPECT_EQ(languageIndex(), kLanguageGerman);
  EXPECT_EQ(loadLanguageFile(root_), 0);
  EXPECT_EQ(loadTextsAtStart(root_, &written), 0);
  EXPECT_EQ(written, 0);
  EXPECT_FALSE(fs::exists(root_ / "VX_Language_3.TXT"));
}

TEST_F(TextTable, DamagedFilesGiveCodeAndNeverCrash) {
  EXPECT_EQ(loadLanguageFile(root_), kErrFileNotFound);
  EXPECT_EQ(loadLanguageFile(root_ / "missing"), kErrFolderMissing);
  EXPECT_EQ(writeLanguageFile(root_ / "missing"), kErrFolderMissing);
  fs::create_directory(file());
  EXPECT_EQ(loadLanguageFile(root_), kErrAccessDenied);
  EXPECT_EQ(writeLanguageFile(root_), kErrAccessDenied);  // a folder is not moved aside
  EXPECT_FALSE(fs::exists(root_ / "VX_Language_1.TXT"));
  fs::remove(file());

  const auto lines = writtenLines();
  auto expectDamaged = [&](const std::string& bytes, const char* what) {
    writeBytes(file(), bytes);
    EXPECT_EQ(loadLanguageFile(root_), kErrLanguageFileDamaged) << what;
  };
  expectDamaged("", "empty");
  // Cut after two whole entries: those two are taken, the rest is untouched.
  std::vector<std::string> head(lines.begin(), lines.begin() + 10);
  head[3] = "Datei!";
  expectDamaged(join(head), "two entries");
  EXPECT_EQ(tableText(1, kLanguageEnglish), QStringLiteral("Datei"));
  fillBuiltInTexts();
  // Only the last third-language line missing.
  std::vector<std::string> noLast(lines.begin(), lines.end() - 1);
  expectDamaged(join(noLast), "last line");
  auto bad = lines;
  bad[1] = "five";
  expectDamaged(join(bad), "length not a number");
  bad[1] = "-1";
  expectDamaged(join(bad), "negative length");
  std::mt19937 rng(4711);
  std::string noise(20000, '\0');
  for (char& c : noise) c = static_cast<char>(rng() & 0xFF);
  expectDamaged(noise, "binary");
  expectDamaged(std::string(5000, '\0'), "zeros");
}

// A write cut short (a full disk, here a file size limit) or refused (a read-only folder) keeps
// the old table under its name and leaves no temporary file.
TEST_F(TextTable, FailedRewriteLeavesTheOldFileWhole) {
  auto onlyFile = [&] {
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(root_)) ++entries;
    return entries == 1;
  };
  writeBytes(file(), "old table");
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int cut = writeLanguageFile(root_);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(cut, kErrWriteFailed);
  EXPECT_EQ(readBytes(file()), "old table");
  EXPECT_TRUE(onlyFile());
}

TEST_F(TextTable, RefusedRewriteLeavesTheOldFileWhole) {
  writeBytes(file(), "old table");
  fs::permissions(root_, fs::perms::owner_read | fs::perms::owner_exec);
  const bool enforced = !std::ofstream(root_ / "probe");  // root ignores folder permissions
  const int refused = writeLanguageFile(root_);
  fs::permissions(root_, fs::perms::owner_all);
  if (!enforced) GTEST_SKIP() << "folder permissions are not enforced for this user";
  EXPECT_EQ(refused, kErrAccessDenied);
  EXPECT_EQ(readBytes(file()), "old table");
  EXPECT_FALSE(fs::exists(root_ / "VX_Language_1.TXT"));
}

// Texts added after the original 310 ids: in both languages, written after the original
// table, taken from the file, and a file of an earlier version (310 ids only) is still whole.
TEST_F(TextTable, AddedIdsFollowTheOriginalTable) {
  // Two branches adding texts may take the same id; one would silently win.
  std::vector<int> seen(kLastTextId + 1, 0);
  for (auto part : {detail::builtInTexts1(), detail::builtInTexts2(), detail::builtInTexts3()})
    for (const detail::BuiltInText& b : part) {
      ASSERT_TRUE(b.id >= 1 && b.id <= kLastTextId) << b.id;
      EXPECT_EQ(++seen[b.id], 1) << "text id " << b.id << " given twice";
    }
  // Added ids are handed out in blocks, one per change, and a block may keep ids its change
  // left unused: those stay undefined. What the program names is not: every id the sources
  // name by a kText constant or pass to a lookup as a number has a text in both languages,
  // and no two constants name one id.
  const auto defined = [](int id) {
    return !tableText(id, kLanguageGerman).endsWith(QStringLiteral("is undefined")) &&
           !tableText(id, kLanguageEnglish).endsWith(QStringLiteral("is undefined"));
  };
  std::map<int, std::string> named;
  int lookups = 0;
  const QRegularExpression constant(
      QStringLiteral(R"(\bconstexpr\s+int\s+(kText\w+)\s*=\s*(\d+)\s*;)"));
  // A call of the table's own lookups, not a member called text (a tree row's column).
  const QRegularExpression lookup(
      QStringLiteral(R"((?<![.>\w])(?:text|tableText|wrappedText)\((\d+)\b)"));
  for (const auto& e : fs::recursive_directory_iterator(fs::path(TOLV_SOURCE_DIR))) {
    if (e.path().extension() != ".h" && e.path().extension() != ".cpp") continue;
    const QString code = QString::fromStdString(readBytes(e.path()));
    const std::string where = e.path().filename().string();
    for (auto it = constant.globalMatch(code); it.hasNext();) {
      const auto m = it.next();
      const std::string name = m.captured(1).toStdString();
      // Sizes, not ids.
      if (name == "kTextCount" || name == "kTextLookupMax") continue;
      const int id = m.captured(2).toInt();
      EXPECT_TRUE(id >= 1 && id <= kLastTextId && defined(id))
          << where << ": " << name << " = " << id << " has no text";
      const auto [at, fresh] = named.emplace(id, name);
      EXPECT_TRUE(fresh) << name << " and " << at->second << " both name id " << id;
    }
    for (auto it = lookup.globalMatch(code); it.hasNext(); ++lookups) {
      const int id = it.next().captured(1).toInt();
      EXPECT_TRUE(id >= 1 && id <= kLastTextId && defined(id)) << where << ": text " << id;
    }
  }
  EXPECT_GT(named.size(), 60u);
  EXPECT_GT(lookups, 100);
  for (int id = kTextCount + 1; id <= kLastTextId; ++id) {
    if (!defined(id)) continue;
    EXPECT_EQ(seen[id], 1) << id;
    EXPECT_NE(tableText(id, kLanguageGerman), tableText(id, kLanguageEnglish)) << id;
    EXPECT_EQ(tableText(id, kLanguageThird), dots(id, kThirdLanguageDots)) << id;
  }
  setLanguageIndex(kLanguageEnglish);
  EXPECT_EQ(text(313), QStringLiteral("missing"));
  auto lines = writtenLines();
  ASSERT_EQ(lines.size(), std::size_t(kLastTextId) * 5);
  EXPECT_EQ(lines[std::size_t(kTextCount) * 5], std::to_string(kTextCount + 1));
  lines[(313 - 1) * 5 + 4] = "puuttuu";
  writeBytes(file(), join(lines));
  // A file written by a build that had no text for an id yet holds its placeholders: a build
  // that has the text keeps it, and a placeholder never shows where a text exists.
  const std::size_t held = std::size_t(kTextHeaderDamaged - 1) * 5;
  const std::string num = std::to_string(kTextHeaderDamaged);
  lines[held + 1] = "25";
  lines[held + 2] = num + ", GERMAN  is undefined";
  lines[held + 3] = num + ", english is undefined";
  writeBytes(file(), join(lines));
  ASSERT_EQ(loadLanguageFile(root_), 0);
  EXPECT_EQ(tableText(313, kLanguageThird), QStringLiteral("puuttuu"));
  EXPECT_TRUE(tableText(kTextHeaderDamaged, kLanguageGerman).startsWith(QStringLiteral("sein ")));
  EXPECT_TRUE(tableText(kTextHeaderDamaged, kLanguageEnglish).startsWith(QStringLiteral("its ")));
  fillBuiltInTexts();
  // An earlier version's file: the original ids only, or followed by something else.
  std::vector<std::string> original(lines.begin(), lines.begin() + kTextCount * 5);
  original[(5 - 1) * 5 + 3] = "Columns";
  writeBytes(file(), join(original));
  EXPECT_EQ(loadLanguageFile(root_), 0);
  EXPECT_EQ(tableText(5, kLanguageEnglish), QStringLiteral("Columns"));
  EXPECT_EQ(tableText(313, kLanguageEnglish), QStringLiteral("missing"));
  original.push_back("");
  original.push_back("notes");
  writeBytes(file(), join(original));
  EXPECT_EQ(loadLanguageFile(root_), 0);
  // At start such a file is used and written again with the ids added since, its own texts
  // kept and the old file kept aside; a whole file is then left as it is.
  int written = -1;
  EXPECT_EQ(loadTextsAtStart(root_, &written), 0);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(readBytes(root_ / "VX_Language_1.TXT"), join(original));
  const std::string upgraded = readBytes(file());
  EXPECT_NE(upgraded.find("\r\nColumns\r\n"), std::string::npos);
  EXPECT_NE(upgraded.find("\r\n" + std::to_string(kLastTextId) + "\r\n"), std::string::npos);
  EXPECT_EQ(loadTextsAtStart(root_, &written), 0);
  EXPECT_FALSE(fs::exists(root_ / "VX_Language_2.TXT"));
  EXPECT_EQ(readBytes(file()), upgraded);
  // An added id whose block is cut off is damage, as in the original table.
  std::vector<std::string> cut(lines.begin(), lines.begin() + kTextCount * 5 + 3);
  writeBytes(file(), join(cut));
  EXPECT_EQ(loadLanguageFile(root_), kErrLanguageFileDamaged);
}
