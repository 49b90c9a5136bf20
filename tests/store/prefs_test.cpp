// Preference points: plane or degree positions, the alert switch, name and sound
// lengths, the ten-record table, reloading, and cut records.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "geo/geo.h"
#include "store_test_support.h"

namespace {

std::string Point(int number, const std::string& name, const std::string& x, const std::string& y,
                  const std::string& alert = "1", const std::string& sound = "\\bip.wav")
{
    return "[" + std::to_string(number) + "][" + name + "][-][" + x + "][" + y + "][-][-][" + alert + "][" + sound +
           "][-][-][-][-]\n";
}

// Provenance: the plane example (716346.6, 4914433.5 with the switch 0) and the
// degree example record "Rocca" (switch 1).
TEST(PrefPoints, PlaneAndDegrees)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    root.Write(kPrefsFile, Point(1, "Casa", "716346.6", "4914433.5"));
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_EQ(lastPrefIndex, 0);
    EXPECT_EQ(prefTable[0].x, 716346.6);
    EXPECT_EQ(prefTable[0].y, 4914433.5);

    // The same numbers with the switch on are taken as degrees: the switch must match.
    settings.prefInDegrees = 1;
    ASSERT_EQ(LoadPrefPoints(), 1);
    double n = 0, e = 0;
    LatLonToGrid(716346.6, 4914433.5, &n, &e);
    EXPECT_EQ(prefTable[0].x, e);
    EXPECT_EQ(prefTable[0].y, n);

    root.Write(kPrefsFile, "[1][Rocca][-][44.348733][11.7175][-][-][1][\\bip.wav][-][-][-][-]");
    ASSERT_EQ(LoadPrefPoints(), 1);
    LatLonToGrid(44.348733, 11.7175, &n, &e);
    EXPECT_EQ(prefTable[0].x, e);
    EXPECT_EQ(prefTable[0].y, n);
    EXPECT_NEAR(prefTable[0].x, 716594.872, 0.05);  // the first canned position, to the 6th decimal of a degree
    EXPECT_EQ(std::u16string(prefTable[0].name), u"Rocca");
    EXPECT_EQ(std::u16string(prefTable[0].soundFile), u"\\bip.wav");
    EXPECT_EQ(prefTable[0].alert, 1);
    settings.prefInDegrees = 0;
}

struct AlertRow {
    const char* token;
    int32_t alert;
};

TEST(PrefPoints, AlertTruncated)
{
    TempDeviceRoot root;
    // Provenance: [1.5] counts as 1; [2] is stored as 2 and takes no part.
    const AlertRow rows[] = {{"1.5", 1}, {"2", 2}, {"0.9", 0}, {"-1.5", -1}, {"si", 0}};
    for (const AlertRow& r : rows) {
        ClearTables();
        ClearSettings();
        root.Write(kPrefsFile, Point(1, "P", "1", "2", r.token));
        ASSERT_EQ(LoadPrefPoints(), 1);
        EXPECT_EQ(prefTable[0].alert, r.alert) << r.token;
    }
}

TEST(PrefPoints, NameAndSoundAreCut)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    root.Write(kPrefsFile, Point(1, std::string(40, 'n'), "1", "2", "1", "\\lungo_suono.wav"));
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_EQ(std::u16string(prefTable[0].name), std::u16string(31, u'n'));
    EXPECT_EQ(std::u16string(prefTable[0].soundFile), u"\\lungo_su");  // 9 characters
    // The neighbouring records are untouched by the cut.
    EXPECT_EQ(prefTable[1].name[0], 0);
    EXPECT_EQ(prefTable[0].alert, 1);
}

TEST(PrefPoints, EleventhIsNotReadAndReloadingShorterFiles)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    std::string file;
    for (int i = 1; i <= 11; ++i) file += Point(i, "P" + std::to_string(i), std::to_string(i), "0");
    root.Write(kPrefsFile, file);
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_EQ(lastPrefIndex, 9);
    EXPECT_EQ(TextToUtf8(prefTable[9].name), "P10");
    EXPECT_EQ(prefTable[9].x, 10.0);

    selectedPref = 7;
    root.Write(kPrefsFile, Point(1, "Nuovo", "5", "6") + Point(2, "Altro", "7", "8"));
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_EQ(lastPrefIndex, 1);
    EXPECT_EQ(TextToUtf8(prefTable[0].name), "Nuovo");
    EXPECT_EQ(TextToUtf8(prefTable[7].name), "P8");  // beyond the count: old content
    EXPECT_EQ(selectedPref, 7);                       // a reading leaves the selection alone
}

TEST(PrefPoints, CutRecordMissingAndEmptyFiles)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    EXPECT_EQ(LoadPrefPoints(), 0);
    EXPECT_EQ(lastPrefIndex, 0);

    root.Write(kPrefsFile, Point(1, "Intero", "1", "2") + "[2][Mezzo][-][3][4][-][-][1][\\b.wav]");
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_EQ(lastPrefIndex, 0);
    EXPECT_EQ(std::u16string(prefTable[1].name), u"Mezzo");
    EXPECT_EQ(prefTable[1].alert, 1);
    EXPECT_EQ(prefTable[1].x, 0.0);  // positions wait for the record's end

    root.Write(kPrefsFile, "");
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_EQ(lastPrefIndex, -1);

    root.Write(kPrefsFile, "[1][Senza fine][-][3][4");
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_EQ(lastPrefIndex, -1);
}

}  // namespace
