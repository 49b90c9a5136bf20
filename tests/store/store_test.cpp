// The stored files on a temporary device root: bracket tokens, handheld paths, settings, map catalogue,
// preference points, track log; bad files keep what was there (failing saves: hostile_files_test).
#include <limits>
#include "geo/geo.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "store/bracket_tokens.h"
#include "store_fixture.h"

namespace {
constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();

using Nine = std::array<int32_t, 9>;  // the settings fields in file order
void Set(Nine v)
{
    Settings& s = settings;
    s.comPort = v[0], s.baudRate = v[1], s.gpsEmulation = v[2], s.prefInDegrees = v[3], s.audioMessages = v[4];
    s.trackToTarget = v[5], s.enableLog = v[6], s.proximity = v[7], s.mapInDegrees = v[8];
}
Nine Get()
{
    const Settings& s = settings;
    return {s.comPort, s.baudRate, s.gpsEmulation, s.prefInDegrees, s.audioMessages, s.trackToTarget, s.enableLog,
            s.proximity, s.mapInDegrees};
}
std::pair<double, double> Grid(double lat, double lon) { double n, e; return LatLonToGrid(lat, lon, &n, &e), std::make_pair(e, n); }
using Tokens = std::vector<std::pair<int32_t, std::u16string>>;
int Collect(int32_t n, char16_t* token, void* tokens) { return static_cast<Tokens*>(tokens)->emplace_back(n, token), 1; }

// Provenance: the reading algorithm ('[' restarts, ']' closes without moving on; 255 characters kept).
TEST_F(Store, BracketTokensAndPaths)
{
    const struct { std::u16string text; Tokens expected; } rows[] = {
        {u"x [BEGIN]\n [ a\\b ]\r\n", {{0, u"BEGIN"}, {1, u" a\\b "}}}, {u"[ab]cd]", {{0, u"ab"}, {1, u"abcd"}}},
        {u"]", {{0, u""}}}, {u"[BEGIN", {}}, {u"[a[b]]", {{0, u"b"}, {1, u"b"}}},
        {u"[" + std::u16string(1 << 20, u'7') + u"][next]", {{0, std::u16string(255, u'7')}, {1, u"next"}}},
        {u"[ab]" + std::u16string(600, u'x') + u"]", {{0, u"ab"}, {1, u"ab" + std::u16string(253, u'x')}}}};
    for (const auto& r : rows) {
        Tokens tokens;
        ScanBracketTokens(r.text, Collect, &tokens);
        EXPECT_EQ(tokens, r.expected) << TextToUtf8(r.text.substr(0, 30).c_str());
    }
    Tokens tokens;
    EXPECT_EQ(ReadBracketTokens(u"\\My Documents\\Velkar\\none.cfg", Collect, &tokens), 0);
    EXPECT_EQ(ReadBracketTokens(u"\\My Documents\\Velkar", Collect, &tokens), 0);  // a folder is no file
    // Handheld paths: '\\' is '/', ".\\" and "\\" the root, any case matches, ".." never leaves the root.
    const struct { const char16_t* device; std::string host; } paths[] = {{u".\\t.bmp", "t.bmp"},
        {u"\\my documents\\VELKAR\\x.cfg", kDir + "x.cfg"}, {u"\\\\..\\..\\etc\\passwd", "etc/passwd"}};
    for (const auto& r : paths) EXPECT_EQ(DevicePathToHost(r.device), Host(r.host)) << r.host;
}
// Provenance: the file written for a receiver on COM2 with only the log on.
const char kCom2LogOn[] = "[BEGIN]\n[2]\n[4800]\n[0]\n[0]\n[0]\n[0]\n[1]\n[0]\n[0]\n[0]\n[0]\n[END]\n";
TEST_F(Store, SettingsSaveAndLoad)
{
    Set({2, 4800, 0, 0, 0, 0, 1, 0, 0});
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read(kCfg), kCom2LogOn);
    // Reading rules, and bad files that keep what was there (every field 7 before each row).
    const struct { const char* name; std::string file; Nine expected; } rows[] = {
        {"fractions truncated", "[BEGIN][1.9][-3][0.99][-0.99][2][3][4][5][6][0][0][END]", {1, -3, 0, 0, 2, 3, 4, 5, 6}},
        {"spaces, comments, CRLF", "cfg\r\n[BEGIN] x\r\n [4]\r\n\t[ 19200] [1] [1] [1] [1] [1] [1] [1]\r\n[0][0][END]\r\n",
         {4, 19200, 1, 1, 1, 1, 1, 1, 1}},
        {"not a number reads 0, huge ones saturate", "[BEGIN][COM2][1e30][-1e30]", {0, kMax, kMin, 7, 7, 7, 7, 7, 7}},
        {"empty file", "", {7, 7, 7, 7, 7, 7, 7, 7, 7}},
        {"no ']'", "[BEGIN][2][4800", {2, 7, 7, 7, 7, 7, 7, 7, 7}},
        {"no '[END]'", "[BEGIN][2][4800][1][0][1]", {2, 4800, 1, 0, 1, 7, 7, 7, 7}},
        {"binary", std::string("\x00\x01\xFF\xFE\x80\x9F garbage\x7F", 15), {7, 7, 7, 7, 7, 7, 7, 7, 7}},
        {"1 MiB token", "[BEGIN][" + std::string(1 << 20, '9') + "][5][1]", {kMax, 5, 1, 7, 7, 7, 7, 7, 7}}};
    for (const auto& r : rows) {
        Write(kCfg, r.file);
        Set({7, 7, 7, 7, 7, 7, 7, 7, 7});
        EXPECT_EQ(LoadSettings(), 1) << r.name;
        EXPECT_EQ(Get(), r.expected) << r.name;
    }
    fs::remove(Host(kCfg));
    EXPECT_EQ(LoadSettings(), 0);  // missing: the last row's fields stay
    EXPECT_EQ(Get(), rows[7].expected);
}
// Mended fault: a save that cannot happen reports 0 and leaves what was there; a save keeps the old
// file's permissions (a new file renamed over it must not widen or narrow them).
TEST_F(Store, SettingsSaveThatCannotWriteAndPermissions)
{
    Write(kCfg, kCom2LogOn);
    fs::permissions(Host(kCfg), fs::perms::owner_read | fs::perms::owner_write);
    Set({1, 4800, 1, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(fs::status(Host(kCfg)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    fs::remove(Host(kCfg));
    fs::create_directory(Host(kCfg));  // a folder where the file should be
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_TRUE(fs::is_directory(Host(kCfg)));
    fs::remove_all(Host("My Documents"));  // no folder at all
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_FALSE(fs::exists(Host("My Documents")));
}
// Provenance: the default entry and the example record; names and paths cut to 255, then name to 129;
// a sixth record and a cut one are not counted (what the cut one delivered stays, corners wait).
TEST_F(Store, MapCatalogue)
{
    EXPECT_EQ(LoadMapCatalogue(), 0);  // no file: the entries stay
    FillDefaultMapEntry(0);
    const MapEntry& m = mapTable[0];
    EXPECT_TRUE(TextToUtf8(m.bitmapPath) == ".\\temp.bmp" && m.name[0] == 0 && m.widthPx == 741 && m.heightPx == 498);
    EXPECT_TRUE(m.topLeftX == 716346.6 && m.topLeftY == 4914433.5 && m.bottomRightX == 717261.9 && m.bottomRightY == 4913879.2);
    Write(kDir + "vlmap.cfg", "[1][Centro][\\My Documents\\Velkar\\centro.bmp][716346.6][4914433.5][717261.9][4913879.2]"
                             "[741.9][-2.5][7][8][9][-]\r\n[2][" + std::string(300, 'n') + "][" + std::string(1 << 20, 'p') +
                             "][1][2][3][4][5][6][7][8][9][-][3][Citt\xE0 \x80][a][1][2][3][4][5][6][7][8][9][-]"
                             "[4][Citt\xC3\xA0 \xE2\x82\xAC][b][1][2][3][4][5][6][7][8][9][-][5][5][5][1][2][3][4][5][6][7][8][9][-]"
                             "[6][6][6][1][2][3][4][5][6][7][8][9][-]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(lastMapIndex, 4);
    EXPECT_TRUE(TextToUtf8(m.name) == "Centro" && TextToUtf8(m.bitmapPath) == "\\My Documents\\Velkar\\centro.bmp");
    EXPECT_TRUE(m.topLeftX == 716346.6 && m.bottomRightY == 4913879.2 && m.widthPx == 741 && m.heightPx == -2);
    EXPECT_TRUE(m.calibX == 7 && m.calibY == 8 && m.spare == 9);
    EXPECT_EQ(std::u16string(mapTable[1].name), std::u16string(129, u'n'));
    EXPECT_EQ(std::u16string(mapTable[1].bitmapPath), std::u16string(255, u'p'));
    EXPECT_TRUE(mapTable[1].topLeftX == 1 && mapTable[1].topLeftY == 2 && mapTable[1].bottomRightX == 3 &&
                mapTable[1].bottomRightY == 4);  // corners in file order
    EXPECT_EQ(std::u16string(mapTable[2].name), u"Citt\u00E0 \u20AC");  // Windows-1252, from the handheld
    EXPECT_EQ(std::u16string(mapTable[3].name), u"Citt\u00E0 \u20AC");  // UTF-8, written here
    Write(kDir + "vlmap.cfg", "[1][Tagliata][\\t.bmp][1][2][3][4][640][480]");
    settings.mapInDegrees = 1;  // the corners are latitude, longitude: converted to the plane grid
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_TRUE(lastMapIndex == -1 && TextToUtf8(m.name) == "Tagliata" && m.widthPx == 640 && m.topLeftX == 716346.6);
    Write(kDir + "vlmap.cfg", "[1][Gradi][\\g.bmp][44.35][11.71][44.34][11.73][1][1][0][0][0][-]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_TRUE(Grid(44.35, 11.71) == std::make_pair(m.topLeftX, m.topLeftY));
    EXPECT_TRUE(Grid(44.34, 11.73) == std::make_pair(m.bottomRightX, m.bottomRightY));
    for (const std::string& bad : {std::string(), std::string("\x00\xFF[\x80]]\x01[", 9)}) {
        Write(kDir + "vlmap.cfg", bad);
        EXPECT_TRUE(LoadMapCatalogue() == 1 && lastMapIndex >= -1 && lastMapIndex <= 4);
    }
}
std::string Point(int i, const std::string& name, const std::string& x, const std::string& alert = "1", const char* sound = "\\b")
{
    return "[" + std::to_string(i) + "][" + name + "][-][" + x + "][4914433.5][-][-][" + alert + "][" + sound + "][-][-][-][-]\n";
}
// Provenance: the plane example (716346.6, 4914433.5, switch 0) and the degree example "Rocca";
// [1.5] counts as 1, [2] is stored as 2; name holds 31, soundFile 9; an eleventh point is not read.
TEST_F(Store, PrefPoints)
{
    EXPECT_TRUE(LoadPrefPoints() == 0 && lastPrefIndex == 0);
    std::string file = Point(1, std::string(40, 'n'), "716346.6", "1.5", "\\lungo_suono.wav") + Point(2, "P", "1", "2") +
                       Point(3, "P", "1", "-1.5") + Point(4, "P", "1", "si");
    for (int i = 5; i <= 11; ++i) file += Point(i, "P" + std::to_string(i), std::to_string(i));
    Write(kDir + "vlpref.cfg", file);
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_TRUE(lastPrefIndex == 9 && prefTable[0].x == 716346.6 && prefTable[0].y == 4914433.5);
    EXPECT_TRUE(TextToUtf8(prefTable[0].name) == std::string(31, 'n') && TextToUtf8(prefTable[0].soundFile) == "\\lungo_su");
    EXPECT_TRUE(prefTable[0].alert == 1 && prefTable[1].alert == 2 && prefTable[2].alert == -1 && prefTable[3].alert == 0);
    EXPECT_TRUE(TextToUtf8(prefTable[9].name) == "P10" && prefTable[9].x == 10.0);
    selectedPref = 7, settings.prefInDegrees = 1;
    Write(kDir + "vlpref.cfg", "[1][Rocca][-][44.348733][11.7175][-][-][1][\\bip.wav][-][-][-][-][2][Mezzo][-][3][4][-][-][1]");
    ASSERT_EQ(LoadPrefPoints(), 1);
    EXPECT_TRUE(Grid(44.348733, 11.7175) == std::make_pair(prefTable[0].x, prefTable[0].y) && prefTable[0].name[0] == u'R');
    EXPECT_NEAR(prefTable[0].x, 716594.872, 0.05);  // the first canned position, to a millionth of a degree
    EXPECT_TRUE(lastPrefIndex == 0 && TextToUtf8(prefTable[1].name) == "Mezzo" && prefTable[1].x == 1.0);  // cut record
    EXPECT_TRUE(TextToUtf8(prefTable[7].name) == "P8" && selectedPref == 7);  // beyond the count: left alone
    Write(kDir + "vlpref.cfg", "");
    EXPECT_TRUE(LoadPrefPoints() == 1 && lastPrefIndex == -1);
}
// Provenance: the typical line of the track log, from the first canned sentence. South and west
// stay unsigned; huge values are cut to the 128-unit line; a place that cannot be one is not written.
TEST_F(Store, TrackLog)
{
    auto state = [](auto change) { std::lock_guard<std::mutex> lock(gpsMutex); change(gpsState); };
    char16_t south[] = u"$GPGGA,120000,3345.000,S,07030.000,W,2,08,0.9,10.0,M";
    state([](GpsState& g) { g = GpsState{}; });
    for (int step = emulationStep = 0; step < 3; ++step) {
        if (step < 2) FeedEmulatedSentence(1);
        state([&](GpsState& g) { g.speedKmh = 10.2 * step, g.course = 54.7 * step, step == 2 && ParseGga(south); });
        AppendTrackLog();
    }
    EXPECT_EQ(Read(kLog), "44.348733;11.717500;163400.0;1;0.000000;0.000000 \n"
                          "44.348733;11.717300;163410.0;1;10.200000;54.700000 \n"
                          "33.750000;70.500000;120000;2;20.400000;109.400000 \n");
    state([](GpsState& g) { g.speedKmh = 1e300, g.course = -1e300; });
    fs::remove(Host(kLog));
    AppendTrackLog();
    EXPECT_TRUE(Read(kLog).size() == 127u && Read(kLog).substr(125) == " \n") << Read(kLog);
    state([](GpsState& g) { g.latitude = 1e300, g.longitude = -1e300; });
    fs::remove(Host(kLog));
    AppendTrackLog();
    state([](GpsState& g) { g = GpsState{}; });
    EXPECT_EQ(Read(kLog), "");
}
}  // namespace
