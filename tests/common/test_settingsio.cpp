#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <random>

#include "common/settingsio.h"

using namespace tolv;

namespace {
LineReader reader(const char* s) {
  return LineReader(QByteArray(s));
}
LineReader reader(QByteArray b) {
  return LineReader(std::move(b));
}
}  // namespace

TEST(LineReading, LineEndsAndEncodings) {
  LineReader r(
      QByteArray("\xEF\xBB\xBF"
                 "a\r\nb\n\nlast"));
  QString l;
  EXPECT_EQ(r.readLine(l), 0);
  EXPECT_EQ(l, QStringLiteral("a"));
  EXPECT_EQ(r.readLine(l), 0);
  EXPECT_EQ(l, QStringLiteral("b"));
  EXPECT_EQ(r.readLine(l), 0);
  EXPECT_EQ(l, QString());
  EXPECT_EQ(r.readLine(l), 0);
  EXPECT_EQ(l, QStringLiteral("last"));
  EXPECT_EQ(r.readLine(l), kReadPastEnd);
  // UTF-8 umlauts and Windows-1252 single bytes read alike.
  LineReader u(
      QByteArray("Gr\xC3\xB6\xC3\x9F"
                 "e\nGr\xF6\xDF"
                 "e \x80\n"));
  EXPECT_EQ(u.readLine(l), 0);
  EXPECT_EQ(l, QString::fromUtf8("Größe"));
  EXPECT_EQ(u.readLine(l), 0);
  EXPECT_EQ(l, QString::fromUtf8("Größe €"));
}

// Only the mark at the very start of the file is skipped; one starting a later line (or a
// second one at the start) is text and stays, so a line reads back as it was written.
TEST(LineReading, ByteOrderMarkOnlyAtTheFileStart) {
  LineReader r(QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx\n\xEF\xBB\xBF\xC3\xB6\n"));
  QString l;
  ASSERT_EQ(r.readLine(l), 0);
  const QChar mark(0xFEFF);
  EXPECT_EQ(l, mark + QStringLiteral("x"));
  ASSERT_EQ(r.readLine(l), 0);
  EXPECT_EQ(l, mark + QString::fromUtf8("\xC3\xB6"));
  EXPECT_EQ(decodeText("\xEF\xBB\xBF", 3), QString(mark));
}

TEST(LineReading, MissingFiles) {
  QTemporaryDir tmp;
  std::filesystem::path base = tmp.path().toStdString();
  QString l;
  LineReader a(base / "none.txt");
  EXPECT_EQ(a.openCode(), 2);
  EXPECT_EQ(a.readLine(l), 2);
  LineReader b(base / "nofolder" / "none.txt");
  EXPECT_EQ(b.openCode(), 3);
  bool v = false;
  EXPECT_EQ(readBoolValue(b, v), 3);
}

TEST(LineReading, AnOwnFileOverItsLimitIsRefusedNotCut) {
  QTemporaryDir tmp;
  const std::filesystem::path f = std::filesystem::path(tmp.path().toStdString()) / "own.SKS";
  const auto put = [&](qsizetype n) {
    QFile out(QString::fromStdString(f.string()));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(QByteArray(n, 'a'));
  };
  // Small limits, and one just past the reader's 64 KiB pieces: exactly the limit is the whole
  // file, one byte more is no part of it (a cut would pass for a whole file).
  for (const qint64 limit : {qint64(0), qint64(100), qint64(1 << 16), qint64((1 << 16) + 1)}) {
    put(limit);
    QByteArray bytes("before");
    EXPECT_EQ(readOwnFile(f, bytes, limit), 0) << limit;
    EXPECT_EQ(bytes.size(), limit) << limit;
    put(limit + 1);
    bytes = "before";
    EXPECT_EQ(readOwnFile(f, bytes, limit), EFBIG) << limit;
    EXPECT_EQ(bytes, "before") << limit;
  }
}

TEST(SettingsReaders, ValuesAndCodes) {
  auto r = reader("Label\n   text value  \nL\n" + QByteArray(300, 'x') + "\nL\nEN\n");
  QString s;
  EXPECT_EQ(readTextValue(r, s), 0);
  EXPECT_EQ(s, QStringLiteral("text value  "));
  EXPECT_EQ(readShortTextValue(r, s, 300), 0);
  EXPECT_EQ(s.size(), 255);
  int lang = 0;
  EXPECT_EQ(readLanguageValue(r, lang), 0);
  EXPECT_EQ(lang, 1);
  EXPECT_EQ(readTextValue(r, s), kReadPastEnd);
  EXPECT_EQ(s.size(), 255);  // unchanged
}

TEST(SettingsReaders, Booleans) {
  bool v = false;
  auto r = reader("a\ntrue\nb\nF\nc\nyes\nd\nT");
  EXPECT_EQ(readBoolValue(r, v), 0);
  EXPECT_TRUE(v);
  EXPECT_EQ(readBoolValue(r, v), 0);
  EXPECT_FALSE(v);
  v = true;
  EXPECT_EQ(readBoolValue(r, v), kBadBoolean);
  EXPECT_TRUE(v);
  EXPECT_EQ(readBoolValue(r, v), 0);  // last line without line end
}

TEST(SettingsReaders, NumbersIntegersBytes) {
  auto r = reader("a\n2,5\nb\n1.5x\nc\n42\nd\nabc\ne\n300\nf\n7\n");
  double d = 0;
  EXPECT_EQ(readNumberValue(r, d), 0);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(readNumberValue(r, d), 4);
  EXPECT_EQ(d, 2.5);
  std::int32_t i = -1;
  EXPECT_EQ(readIntValue(r, i), 0);
  EXPECT_EQ(i, 42);
  EXPECT_EQ(readIntValue(r, i), 0);
  EXPECT_EQ(i, 42);
  std::uint8_t b = 9;
  EXPECT_EQ(readByteValue(r, b), 0);
  EXPECT_EQ(b, 9);
  EXPECT_EQ(readByteValue(r, b), 0);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(readByteValue(r, b), kReadPastEnd);
}

TEST(SettingsReaders, DateTime) {
  DayTime t{};
  auto r = reader("a\n  05.03.2024 14:30:12\nb\n31.02.2024 10:00:00\nc\n");
  EXPECT_EQ(readDateTimeValue(r, t), 0);
  EXPECT_EQ(dtToQDateTime(t), QDateTime(QDate(2024, 3, 5), QTime(14, 30, 12)));
  EXPECT_EQ(dateTimeValueText(t), QStringLiteral("05.03.2024 14:30:12"));
  DayTime before = t;
  EXPECT_EQ(readDateTimeValue(r, t), kNotANumber);
  EXPECT_EQ(readDateTimeValue(r, t), kReadPastEnd);  // label only: not read
  EXPECT_EQ(t, before);
}

TEST(SettingsReaders, HostileInputNeverCrashes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    QByteArray junk(int(rng() % 2000), Qt::Uninitialized);
    for (char& c : junk) c = char(rng());
    if (round % 10 == 0) junk = QByteArray(100000, 'z');  // one overlong line
    if (round % 10 == 1) junk.clear();
    LineReader r(junk);
    QString s;
    double d = 0;
    std::int32_t i = 0;
    std::uint8_t b = 0;
    bool v = false;
    int lang = 0;
    DayTime t;
    readTextValue(r, s);
    EXPECT_LE(s.size(), kMaxValueLine);
    readShortTextValue(r, s, 4);
    readLanguageValue(r, lang);
    EXPECT_TRUE(lang >= 0 && lang <= 2);
    readBoolValue(r, v);
    readNumberValue(r, d);
    readIntValue(r, i);
    readByteValue(r, b);
    readDateTimeValue(r, t);
  }
  auto empty = reader("");
  bool v = false;
  EXPECT_EQ(readBoolValue(empty, v), kReadPastEnd);
}
