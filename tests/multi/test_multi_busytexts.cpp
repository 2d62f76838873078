// The notice of devices that sit multi-device cycles out for a run of their own.
#include <gtest/gtest.h>

#include "common/texttable.h"
#include "multi/multi_busytexts.h"

using namespace tolv;

// Both languages word for word; in the third language, whose texts come only from a language
// file (placeholders when the file has none), the devices are still named.
TEST(MultiBusyTexts, NoticeNamesTheDevicesInEveryLanguage) {
  fillBuiltInTexts();
  const QStringList two = {QStringLiteral("TVS00001"), QStringLiteral("TVS00003")};
  EXPECT_EQ(multiBusyNotice(kLanguageEnglish, two, false),
            QStringLiteral("TVS00001, TVS00003: in a run of its own in another mode.\n"
                           "The multi-device run leaves it out until that run ends."));
  EXPECT_EQ(multiBusyNotice(kLanguageGerman, {QStringLiteral("TVS00002")}, true),
            QStringLiteral("TVS00002: in einer eigenen Messung in einer anderen Betriebsart.\n"
                           "Kein Gerät ist frei: die Mehrgerätemessung ist beendet."));
  const QString third = multiBusyNotice(kLanguageThird, two, true);
  EXPECT_TRUE(third.startsWith(QStringLiteral("TVS00001, TVS00003: "))) << third.toStdString();
  EXPECT_EQ(multiBusyCaption(kLanguageGerman), QStringLiteral("belegt"));
}
