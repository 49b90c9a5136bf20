// The stored files on a temporary device root: bracket tokens, handheld paths, settings, map catalogue,
// preference points, track log; bad files keep what was there. Hostile: FIFOs and links where the files
// should be, a full disk and file-size limits while saving and appending, from real limits (setrlimit, a
// tiny tmpfs; a failing fsync: velkar-port's tests). SharedFiles: UTF-16 files from Windows editors, files
// a tool must not rewrite record by record, temporaries of killed runs. ExitSave: Exit's save over files
// another program changed meanwhile: only what the user changed is written, calibrations into their own
// records, a refused save or append said under -v with its reason.
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <limits>
#include "geo/geo.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "platform/diagnostics.h"
#include "store/bracket_tokens.h"
#include "store/exit_save.h"
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
// Mended fault: a save keeps the old file's permissions (a new file renamed over it must not widen or narrow them).
TEST_F(Store, SettingsSaveAndLoad)
{
    Write(kCfg, "old");
    fs::permissions(Host(kCfg), fs::perms::owner_read | fs::perms::owner_write);
    Set({2, 4800, 0, 0, 0, 0, 1, 0, 0});
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read(kCfg), kCom2LogOn);
    EXPECT_EQ(fs::status(Host(kCfg)).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
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
const std::string kOldLog = "44.348733;11.717500;163400.0;1;0.000000;0.000000 \n";
// One line appended to the track log: 0 when write or close reports the failure.
int AppendLine()
{
    TextFile* file = OpenTextFile(kTrackLogPath, "a");
    if (file == nullptr) return 98;
    const int wrote = WriteText(file, u"44.348733;11.717300;163410.0;1;10.200000;54.700000 \n");
    return CloseTextFile(file) && wrote;
}
using Hostile = Store;
// Runs action in a child that an alarm ends after 20 s: a hang fails the test instead of holding the
// run. The child's exit code, or -signal.
int InChild(const std::function<int()>& action)
{
    const pid_t pid = fork();
    if (pid == 0) alarm(20), _exit(action());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
TEST_F(Hostile, AFifoCountsAsAMissingFile)
{
    const struct { const char* name; std::string fifo; std::function<int()> action; } rows[] = {
        {"settings read", kCfg, [] { return LoadSettings(); }}, {"settings saved over", kCfg, [] { return SaveSettings(); }},
        {"catalogue", kDir + "vlmap.cfg", [] { return LoadMapCatalogue(); }},
        {"preference points", kDir + "vlpref.cfg", [] { return LoadPrefPoints(); }},
        {"track log", kLog, [] { return OpenTextFile(kTrackLogPath, "a") != nullptr ? 1 : (AppendTrackLog(), 0); }}};
    for (const auto& r : rows) {
        ASSERT_EQ(mkfifo(Host(r.fifo).c_str(), 0644), 0) << r.name;
        EXPECT_EQ(InChild(r.action), 0) << r.name;
        EXPECT_TRUE(fs::is_fifo(Host(r.fifo))) << r.name;
        fs::remove(Host(r.fifo));
    }
    Write(kDir + "real.cfg", "[BEGIN][3][9600]");  // while a link to a regular file is read
    fs::create_symlink("real.cfg", Host(kCfg));
    EXPECT_TRUE(LoadSettings() == 1 && settings.comPort == 3);
}
TEST_F(Hostile, SaveNeverWritesThroughALink)
{
    Write("victim", "keep me");  // a link planted at the name older versions used for the temporary file
    fs::create_symlink(Host("victim"), Host(kCfg + ".tmp-velkar"));
    settings.comPort = 4;
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read("victim"), "keep me");
    EXPECT_EQ(Read(kCfg).substr(0, 11), "[BEGIN]\n[4]");
    EXPECT_EQ(FilesIn(kDir), 2u);  // vlcfg.cfg and the planted link, no temporary left
    // vlcfg.cfg a link (relative, then a chain): the link stays, its target changes.
    fs::remove(Host(kCfg));
    fs::create_directories(Host("elsewhere"));
    Write("elsewhere/cfg", "old");
    fs::create_symlink(Host("elsewhere/link"), Host(kCfg));
    fs::create_symlink("cfg", Host("elsewhere/link"));
    settings.comPort = 2;
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_TRUE(fs::is_symlink(Host(kCfg)) && fs::is_symlink(Host("elsewhere/link")));
    EXPECT_EQ(Read("elsewhere/cfg").substr(0, 11), "[BEGIN]\n[2]");
    EXPECT_EQ(FilesIn("elsewhere"), 2u);
    fs::remove(Host(kCfg));  // a link to something that is not a regular file is refused and left alone
    fs::create_symlink("/dev/null", Host(kCfg));
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_TRUE(fs::is_symlink(Host(kCfg)) && fs::is_character_file("/dev/null"));
}
// No room for an append or a save: a real full disk (a 64 KiB tmpfs on the folder, in a mount namespace
// of the child's own, filled up; the log line would cross into a page there is no room for) and a
// file-size limit 9 bytes past the old file (SIGXFSZ must not end the program). The failure is
// reported, the file cut back.
TEST_F(Hostile, NoRoomDuringAnAppendOrASave)
{
    const std::string oldLog(4096 - 20, 'x'), oldCfg = "[BEGIN]\n[2]\n";
    const std::function<int()> save = [] { return SaveSettings(); };
    const struct { const char* name; bool fullDisk; std::string folder, file, old; std::function<int()> action; } rows[] = {
        {"append, full disk", true, kCard, kLog, oldLog, AppendLine}, {"save, full disk", true, kDir, kCfg, oldCfg, save},
        {"append, size limit", false, kCard, kLog, kOldLog, AppendLine}, {"save, size limit", false, kDir, kCfg, oldCfg, save}};
    int skipped = 0;
    for (const auto& r : rows) {
        const int code = InChild([&] {
            const rlimit limit{r.old.size() + 9, r.old.size() + 9};
            if (r.fullDisk && (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                               mount("tmpfs", Host(r.folder).c_str(), "tmpfs", 0, "size=64k") != 0))
                return 99;
            Write(r.file, r.old);
            if (r.fullDisk) {
                std::ofstream fill(Host(r.folder + "fill"), std::ios::binary);
                const std::string page(4096, 'f');
                for (int i = 0; i < 64 && fill.write(page.data(), page.size()).flush(); ++i) continue;
            } else if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                return 99;
            }
            const int done = r.action();
            return done * 10 + (Read(r.file) == r.old ? 0 : 1) + (FilesIn(r.folder) == (r.fullDisk ? 2u : 1u) ? 0 : 2);
        });
        skipped += code == 99;
        EXPECT_TRUE(code == 0 || code == 99) << r.name << ": " << code << " (1 the file changed, 2 a file left behind, 10 reported as done)";
    }
    if (skipped > 0) GTEST_SKIP() << skipped << " rows cannot be set up here (a tmpfs needs CAP_SYS_ADMIN)";
}
using SharedFiles = Store;
// text (ASCII) as UTF-16 with its byte-order mark, CRLF line ends as Notepad writes them.
std::string Utf16(const std::string& text, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text)
        for (char u : c == '\n' ? std::string("\r\n") : std::string(1, c))
            out += bigEndian ? std::string(1, '\0') + u : std::string(1, u) + '\0';
    return out;
}
const std::string kMapRecord = "[1][Centro][\\My Documents\\Velkar\\centro.bmp][716346.6][4914433.5]"
                               "[717261.9][4913879.2][741][498][3][-4][0][-]\n";
// The same records a UTF-8 file holds; values from the records themselves.
TEST_F(SharedFiles, Utf16FilesReadAsTheirText)
{
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
        Write(kCfg, Utf16("[BEGIN]\n[2]\n[9600]\n[0]\n[0]\n[1]\n[0]\n[1]\n[0]\n[0]\n[0]\n[0]\n[END]\n", bigEndian));
        Write(kDir + "vlmap.cfg", Utf16(kMapRecord, bigEndian));
        Write(kDir + "vlpref.cfg", Utf16("[1][Rocca][-][716800.5][4914100.25][-][-][1][\\bip.wav][-][-][-][-]\n", bigEndian));
        ASSERT_TRUE(LoadSettings() == 1 && LoadMapCatalogue() == 1 && LoadPrefPoints() == 1);
        EXPECT_TRUE(settings.comPort == 2 && settings.baudRate == 9600 && settings.enableLog == 1);
        EXPECT_TRUE(mapTable[0].name == std::u16string(u"Centro") && mapTable[0].calibY == -4);
        EXPECT_TRUE(prefTable[0].name == std::u16string(u"Rocca") && prefTable[0].y == 4914100.25);
    }
}
TEST_F(SharedFiles, RecordFileReadableSaysWhatCannotBeRewritten)
{
    const struct { const char* name; std::string bytes; int readable; const char* why; } rows[] = {
        {"UTF-8 record", kMapRecord, 1, ""}, {"UTF-16 LE with mark", Utf16(kMapRecord, false), 1, ""},
        {"UTF-16 BE with mark", Utf16(kMapRecord, true), 1, ""},
        {"UTF-16 without mark", Utf16(kMapRecord, false).substr(2), 0, "binary or UTF-16 text without a byte-order mark"},
        {"UTF-32 LE with mark", std::string("\xFF\xFE\0\0[\0\0\0", 8), 0, "UTF-32 text"}, {"empty", "", 1, ""}};
    std::string why;
    for (const auto& row : rows) {
        Write("f", row.bytes);
        why.clear();
        EXPECT_EQ(RecordFileReadable(Host("f"), &why), row.readable) << row.name;
        EXPECT_EQ(why, row.why) << row.name;
    }
    EXPECT_EQ(RecordFileReadable(Host("missing"), &why), 1) << "a missing file is created, not rewritten";
    ASSERT_EQ(mkfifo(Host("fifo").c_str(), 0600), 0);
    EXPECT_EQ(RecordFileReadable(Host("fifo"), &why), 0);
    EXPECT_EQ(why, "not a regular file");
}
TEST_F(SharedFiles, LeftoverTemporariesOfDeadRunsAreRemoved)
{
    const pid_t dead = fork();  // a pid that surely ended: a child that has been reaped
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string deadPid = std::to_string(dead), live = std::to_string(getppid());
    const struct { const char* name; std::string file; bool old; bool removed; } rows[] = {
        {"dead owner's, older than the run", "vlcfg.cfg.tmp-velkar-" + deadPid + "-0123456789abcdef", true, true},
        {"dead owner's, changed during the run", "vlmap.cfg.tmp-velkar-" + deadPid + "-0123456789abcdee", false, false},
        {"a live process's", "vlcfg.cfg.tmp-velkar-" + live + "-0123456789abcdef", true, false},
        {"another program's kind", "c.bmp.tmp-velkar-map-" + deadPid + "-0123456789abcdef", true, false},
        {"not a temporary", "vlcfg.cfg", true, false},
        {"suffix of the wrong length", "vlcfg.cfg.tmp-velkar-" + deadPid + "-0123", true, false}};
    for (const auto& row : rows) {
        Write(kDir + row.file, "x");
        const auto now = fs::file_time_type::clock::now();
        fs::last_write_time(Host(kDir + row.file), row.old ? now - std::chrono::hours(1) : now + std::chrono::seconds(5));
    }
    SetTemporaryOwner("velkar");
    EXPECT_EQ(RemoveLeftoverTemporaries(Host(kDir)), 1);
    for (const auto& row : rows) EXPECT_EQ(fs::exists(Host(kDir + row.file)), !row.removed) << row.name;
    const std::string made = TemporaryFileName("vlcfg.cfg");
    EXPECT_EQ(made.rfind("vlcfg.cfg.tmp-velkar-" + std::to_string(getpid()) + "-", 0), 0u) << made;
}
using ExitSave = Store;
// Nine values, as the navigator writes them.
std::string Record(const std::string& values)
{
    std::string text = "[BEGIN]\n[";
    for (char c : values) text += c == ' ' ? std::string("]\n[") : std::string(1, c);
    return text + "]\n[0]\n[0]\n[END]\n";
}
// comPort and baudRate are the file's own: velkar-port's change between start and Exit stays.
TEST_F(ExitSave, OnlyWhatTheUserChangedIsWrittenOverTheFileAsItIsNow)
{
    const struct { const char* name; const char *atStart, *atExit; int logSwitch; const char* expected; } rows[] = {
        {"another program's port change and a switch it turned on kept, the user's log switch written",
         "1 4800 0 0 0 0 0 0 0", "2 9600 0 0 0 0 0 1 0", 1, "2 9600 0 0 0 0 1 1 0"},
        {"nothing changed: the file as it is now", "1 4800 0 1 0 0 0 0 0", "3 4800 0 1 1 1 0 0 0", 0, "3 4800 0 1 1 1 0 0 0"},
        {"the file gone at Exit: the whole record from memory", "2 9600 0 0 0 0 0 0 0", "", 1, "2 9600 0 0 0 0 1 0 0"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Write(kCfg, Record(row.atStart));
        ASSERT_EQ(LoadSettings(), 1);
        LoadMapCatalogue();  // none: the default map, no calibration to save
        settings.enableLog = row.logSwitch;
        if (*row.atExit == 0) fs::remove(Host(kCfg));
        else Write(kCfg, Record(row.atExit));
        EXPECT_EQ(SaveChangedSettings(), 1);
        EXPECT_EQ(Read(kCfg), Record(row.expected));
    }
}
TEST_F(ExitSave, ACalibrationGoesIntoItsOwnRecordOfTheCatalogueAsItIsNow)
{
    const std::string a = "[1][A][\\a.bmp][1][2][3][4][10][20][0][0][0][-]\n", b = "[2][B][\\b.bmp][1][2][3][4][10][20][5][6][0][-]\n";
    const std::string c = "[3][C][\\c.bmp][1][2][3][4][10][20][0][0][0][-]\n";  // added by a tool meanwhile
    Write(kDir + "vlmap.cfg", a + b);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    mapTable[1].calibX = -12, mapTable[1].calibY = 7;
    Write(kDir + "vlmap.cfg", c + a + b);
    EXPECT_EQ(SaveChangedSettings(), 1);
    EXPECT_EQ(Read(kDir + "vlmap.cfg"), c + a + "[2][B][\\b.bmp][1][2][3][4][10][20][-12][7][0][-]\n");
    Write(kDir + "vlmap.cfg", "[x]");  // no calibration changed: the catalogue is not written at all
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(SaveChangedSettings(), 1);
    EXPECT_EQ(Read(kDir + "vlmap.cfg"), "[x]");
}
TEST_F(ExitSave, ARefusedSaveAndAppendAreSaidUnderVerboseWithTheirReason)
{
    SetVerbose(1);
    for (auto [folder, reason] : {std::pair{true, "it is a folder"}, {false, "No such file or directory"}}) {
        Write(kCfg, Record("1 4800 0 0 0 0 0 0 0"));
        LoadSettings();
        LoadMapCatalogue();
        settings.proximity = 1;
        fs::remove_all(Host(folder ? kCfg : kDir));
        if (folder) fs::create_directory(Host(kCfg));  // vlcfg.cfg a folder, else the folder gone
        testing::internal::CaptureStderr();
        EXPECT_EQ(SaveChangedSettings(), 0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        EXPECT_NE(said.find("the settings were not saved on Exit"), std::string::npos) << said;
        EXPECT_TRUE(folder ? fs::is_directory(Host(kCfg)) : !fs::exists(Host(kDir))) << "left as it was, no folder made";
        fs::remove_all(Host(kDir));
        fs::create_directories(Host(kDir));
    }
    // The track log: the first refused append is said, the next ones not until one got through.
    fs::remove_all(Host(kCard));
    testing::internal::CaptureStderr();
    AppendTrackLog(), AppendTrackLog();
    fs::create_directories(Host(kCard));
    AppendTrackLog();
    fs::remove_all(Host(kCard));
    AppendTrackLog();
    const std::string said = testing::internal::GetCapturedStderr();
    SetVerbose(0);
    size_t lines = 0;
    for (size_t at = said.find("cannot append to"); at != std::string::npos; at = said.find("cannot append to", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << said;
    EXPECT_NE(said.find("GpsLog.txt: No such file or directory"), std::string::npos) << said;
}
}  // namespace
