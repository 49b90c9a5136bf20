// The map catalogue: the default entry, records in plane metres or in degrees,
// the five-record table, cut records, name and path lengths, and file encodings.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "geo/geo.h"
#include "store_test_support.h"

namespace {

// Provenance: the example record of the catalogue.
const char kCentro[] = "[1][Centro][\\My Documents\\Velkar\\centro.bmp][716346.6][4914433.5][717261.9][4913879.2][741][498][0][0][0][-]\r\n";

std::string Record(int number, const std::string& name, const std::string& corners = "[1][2][3][4]")
{
    return "[" + std::to_string(number) + "][" + name + "][\\" + name + ".bmp]" + corners + "[100][50][3][-4][9][-]\n";
}

TEST(MapCatalogue, DefaultEntry)
{
    ClearTables();
    FillDefaultMapEntry(0);
    const MapEntry& m = mapTable[0];
    EXPECT_EQ(std::u16string(m.bitmapPath), u".\\temp.bmp");
    EXPECT_EQ(std::u16string(m.name), u"");
    EXPECT_EQ(m.widthPx, 741);
    EXPECT_EQ(m.heightPx, 498);
    EXPECT_EQ(m.topLeftX, 716346.6);
    EXPECT_EQ(m.topLeftY, 4914433.5);
    EXPECT_EQ(m.bottomRightX, 717261.9);
    EXPECT_EQ(m.bottomRightY, 4913879.2);
    EXPECT_EQ(m.calibX, 0);
    EXPECT_EQ(m.calibY, 0);
    EXPECT_EQ(m.spare, 0);
}

TEST(MapCatalogue, PlaneRecord)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    root.Write(kMapsFile, kCentro);
    EXPECT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(lastMapIndex, 0);
    const MapEntry& m = mapTable[0];
    EXPECT_EQ(std::u16string(m.name), u"Centro");
    EXPECT_EQ(std::u16string(m.bitmapPath), u"\\My Documents\\Velkar\\centro.bmp");
    EXPECT_EQ(m.topLeftX, 716346.6);
    EXPECT_EQ(m.topLeftY, 4914433.5);
    EXPECT_EQ(m.bottomRightX, 717261.9);
    EXPECT_EQ(m.bottomRightY, 4913879.2);
    EXPECT_EQ(m.widthPx, 741);
    EXPECT_EQ(m.heightPx, 498);
}

// With mapInDegrees 1 the same places are latitude, longitude, latitude,
// longitude, converted to the plane grid (northing into Y, easting into X).
TEST(MapCatalogue, DegreesAreConverted)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    settings.mapInDegrees = 1;
    root.Write(kMapsFile, Record(1, "Gradi", "[44.35][11.71][44.34][11.73]"));
    ASSERT_EQ(LoadMapCatalogue(), 1);
    double n = 0, e = 0;
    LatLonToGrid(44.35, 11.71, &n, &e);
    EXPECT_EQ(mapTable[0].topLeftX, e);
    EXPECT_EQ(mapTable[0].topLeftY, n);
    LatLonToGrid(44.34, 11.73, &n, &e);
    EXPECT_EQ(mapTable[0].bottomRightX, e);
    EXPECT_EQ(mapTable[0].bottomRightY, n);
    // In zone 32 the plane grid agrees with UTM to a few centimetres.
    double ue = 0, un = 0;
    LatLonToUtm(44.35, 11.71, &ue, &un);
    EXPECT_NEAR(mapTable[0].topLeftX, ue, 0.05);
    EXPECT_NEAR(mapTable[0].topLeftY, un, 0.05);
    settings.mapInDegrees = 0;
}

TEST(MapCatalogue, FieldsAndTruncation)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    const std::string longName(200, 'n');
    const std::string longPath(300, 'p');
    root.Write(kMapsFile, "[1][" + longName + "][" + longPath +
                              "][1][2][3][4][741.9][-2.5][7][8][9][-]"
                              "[2][ Due spazi \\ e barre ][ .\\a b\\c.bmp ][1][2][3][4][1][1][0][0][0][-]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(lastMapIndex, 1);
    const MapEntry& m = mapTable[0];
    EXPECT_EQ(std::u16string(m.name), std::u16string(129, u'n'));  // name holds 129
    EXPECT_EQ(std::u16string(m.bitmapPath), std::u16string(255, u'p'));  // the token buffer's 255 come first
    EXPECT_EQ(m.widthPx, 741);
    EXPECT_EQ(m.heightPx, -2);
    EXPECT_EQ(m.calibX, 7);
    EXPECT_EQ(m.calibY, 8);
    EXPECT_EQ(m.spare, 9);
    EXPECT_EQ(std::u16string(mapTable[1].name), u" Due spazi \\ e barre ");
    EXPECT_EQ(std::u16string(mapTable[1].bitmapPath), u" .\\a b\\c.bmp ");
    // The bitmap path field has room for 259 characters whatever fills it.
    CopyText(mapTable[2].bitmapPath, kBitmapPathSize, std::u16string(400, u'q').c_str());
    EXPECT_EQ(TextLength(mapTable[2].bitmapPath), 259u);
}

TEST(MapCatalogue, SixthRecordIsNotRead)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    std::string file;
    for (int i = 1; i <= 6; ++i) file += Record(i, "Map" + std::to_string(i));
    root.Write(kMapsFile, file);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(lastMapIndex, 4);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(TextToUtf8(mapTable[i].name), "Map" + std::to_string(i + 1));
}

// A record cut by the end of the file is not counted, but what it delivered stays
// in the next entry.
TEST(MapCatalogue, CutRecord)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    root.Write(kMapsFile, std::string(kCentro) + "[2][Tagliata][\\t.bmp][1][2][3][4][640][480]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(lastMapIndex, 0);
    EXPECT_EQ(std::u16string(mapTable[1].name), u"Tagliata");
    EXPECT_EQ(mapTable[1].widthPx, 640);
    EXPECT_EQ(mapTable[1].heightPx, 480);
    EXPECT_EQ(mapTable[1].topLeftX, 0.0);  // corners wait for the record's end
}

TEST(MapCatalogue, MissingEmptyAndBadFiles)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    FillDefaultMapEntry(0);
    lastMapIndex = 0;
    EXPECT_EQ(LoadMapCatalogue(), 0);  // no file: the default stays
    EXPECT_EQ(lastMapIndex, 0);
    EXPECT_EQ(mapTable[0].widthPx, 741);

    root.Write(kMapsFile, "");
    EXPECT_EQ(LoadMapCatalogue(), 1);  // empty: no maps listed, entry 0 still the default
    EXPECT_EQ(lastMapIndex, -1);
    EXPECT_EQ(std::u16string(mapTable[0].bitmapPath), u".\\temp.bmp");

    root.Write(kMapsFile, "[1][Centro][" + std::string(1 << 20, 'x') + "][1][2][3][4][5][6][7][8][9][-]");
    EXPECT_EQ(LoadMapCatalogue(), 1);  // 1 MiB path: cut to the token buffer, the record still closes
    EXPECT_EQ(lastMapIndex, 0);
    EXPECT_EQ(TextLength(mapTable[0].bitmapPath), 255u);
    EXPECT_EQ(mapTable[0].spare, 9);

    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    root.Write(kMapsFile, binary);
    EXPECT_EQ(LoadMapCatalogue(), 1);  // whatever it holds: an answer, no fault
    EXPECT_GE(lastMapIndex, -1);
    EXPECT_LE(lastMapIndex, 4);
}

// Names written on the handheld are Windows-1252; names written here are UTF-8.
TEST(MapCatalogue, NameEncodings)
{
    TempDeviceRoot root;
    ClearTables();
    ClearSettings();
    root.Write(kMapsFile, "[1][Citt\xE0 \x80][\\a.bmp][1][2][3][4][5][6][7][8][9][-]"
                          "[2][Citt\xC3\xA0 \xE2\x82\xAC][\\b.bmp][1][2][3][4][5][6][7][8][9][-]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(std::u16string(mapTable[0].name), u"Citt\u00E0 \u20AC");
    EXPECT_EQ(std::u16string(mapTable[1].name), u"Citt\u00E0 \u20AC");
}

}  // namespace
