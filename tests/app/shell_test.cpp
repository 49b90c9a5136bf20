// The main window's life through a real window: the 3000 ms tick (track-log counter, repaint rule),
// start-up (the three files in order, defaults, the entry), the command table (Exit, command 1, default
// processing) and the arrow icons.
#include <cmath>
#include <limits>
#include "ui_support.h"

namespace {
const std::string kLog = "Scheda di memoria/GpsLog.txt";
long LogLines() { const std::string log = ReadDeviceFile(kLog); return std::count(log.begin(), log.end(), '\n'); }
// By default a place that can be logged.
void SetFix(uint8_t fixQuality, double distanceMoved, double latitude = 44.348733, double longitude = 11.7175,
            double speedKmh = 0)
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState.fixQuality = fixQuality, gpsState.distanceMoved = distanceMoved, gpsState.speedKmh = speedKmh;
    gpsState.latitude = latitude, gpsState.longitude = longitude;
}
// By hand on one line: a rewrite shows as the program's layout, a line a value.
const std::string kHandWritten = "[BEGIN][2][4800][0][0][1][1][0][1][0][0][0][END]";
struct ShellTest : UiTest { void SetUp() override { UiTest::SetUp(), OpenShellOnCard(kHandWritten); } };
// A line every tenth tick while the log is on (exactly 1), the fix measured (1 to 5: GPS to RTK float,
// not 6 to 8) and no GoTo point shown; the counter holds otherwise. A position that cannot be a place
// (latitude over 90, exactly 0, 0, a speed that is not finite) is counted but never written.
TEST_F(ShellTest, TrackLogLineEveryTenthTickOfAMeasuredFixWithEnableLogCounterHeldOtherwise)
{
    // enableLog, fixQuality, gotoActive, counter before, ticks -> lines, counter after.
    const struct { int32_t enableLog; uint8_t fix; int32_t goTo, before; int ticks, lines, counter; } rows[] = {
        {1, 1, 0, 0, 9, 0, 9}, {1, 1, 0, 0, 10, 1, 0}, {1, 1, 0, 0, 25, 2, 5}, {1, 5, 0, 4, 30, 3, 4},
        {1, 0, 0, 4, 30, 0, 4}, {1, 6, 0, 4, 30, 0, 4}, {1, 1, 1, 4, 30, 0, 4}, {0, 1, 0, 4, 30, 0, 4},
        {2, 1, 0, 4, 30, 0, 4}, {1, 1, 0, 4, 6, 1, 0}};
    for (const auto& row : rows) {
        WriteDeviceFile(kLog, ""), logTickCounter = row.before, settings.enableLog = row.enableLog;
        SetFix(row.fix, 0.0), gotoActive = row.goTo, Tick(row.ticks), gotoActive = 0;
        EXPECT_EQ(LogLines(), row.lines) << row.enableLog << row.fix << row.goTo << row.ticks;
        EXPECT_EQ(logTickCounter, row.counter) << row.enableLog << row.fix << row.goTo << row.ticks;
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (auto [latitude, longitude, speed] : {std::tuple{100.67, 11.7175, 0.0}, {0.0, 0.0, 0.0}, {44.3, 11.7, inf}}) {
        WriteDeviceFile(kLog, ""), logTickCounter = 0, SetFix(1, 0.0, latitude, longitude, speed), Tick(10);
        EXPECT_EQ(ReadDeviceFile(kLog), "") << latitude << " " << longitude << " " << speed;
    }
}
TEST_F(ShellTest, RepaintEveryTickFromOneMetreOtherwiseEveryThird)
{
    // distanceMoved, redrawCounter before, ticks -> erased paints, counter after. NaN compares false.
    const struct { double distance; int32_t before; int ticks, paints; int32_t after; } rows[] = {
        {1.0, 2, 4, 4, 2}, {66.5, 0, 3, 3, 0}, {std::nextafter(1.0, 0.0), 0, 6, 2, 0}, {0.0, 0, 7, 2, 1},
        {0.5, 2, 1, 1, 0}, {std::numeric_limits<double>::quiet_NaN(), 0, 3, 1, 0}, {-5.0, 0, 2, 0, 2}};
    for (const auto& row : rows) {
        SetFix(0, row.distance), redrawCounter = row.before, FlushPaints();
        const int before = record.paints;
        Tick(row.ticks);
        EXPECT_EQ(record.paints - before, row.paints) << row.distance;
        EXPECT_EQ(redrawCounter, row.after) << row.distance;
        EXPECT_EQ(record.lastErase, 1);
    }
}
TEST_F(UiTest, EntryWithoutSettingsUsesCom1AndBaudZeroSettingsAreReadBeforeCatalogueAndPoints)
{
    // Without a settings file the entry uses COM1: and baud 0.
    std::copy_n(u"X", 2, portName);
    QTimer::singleShot(0, [] { PostQuit(0); });
    EntryArguments arguments = {&velkarResources, 0, u"", 1};
    EXPECT_EQ(VelkarEntry(&arguments), 0);  // "Unable to open the port" on standard error
    EXPECT_EQ(std::u16string(portName), u"COM1:");
    EXPECT_EQ(settings.baudRate, 0);
    ASSERT_NE(mainWindow, nullptr);
    DestroyMainWindow(mainWindow);
    // Map corner and point at the first canned fix (44°20.924' N, 11°43.050' E), in degrees as the file's
    // switches say (both off before it is read): kept as the plane grid x=716594.9 y=4914197.9 (the Gps
    // data dialog's figures, 0.1 m).
    WriteDeviceFile(kMapFile, "[1][C][\\t.bmp][44.348733333333335][11.7175][44.3437][11.729][741][498][0][0][0][-]");
    WriteDeviceFile(kPrefFile, "[1][Rocca][-][44.348733333333335][11.7175][-][-][1][\\bip.wav][-][-][-][-]");
    WriteDeviceFile(kSettingsFile, "[BEGIN][2][4800][0][1][0][0][0][0][1][0][0][END]");
    settings.mapInDegrees = settings.prefInDegrees = 0;
    ASSERT_NE(CreateShellWindow(), nullptr);
    EXPECT_NEAR(mapTable[0].topLeftX, 716594.9, 0.06);
    EXPECT_NEAR(mapTable[0].topLeftY, 4914197.9, 0.06);
    EXPECT_NEAR(prefTable[0].x, 716594.9, 0.06);
    EXPECT_NEAR(prefTable[0].y, 4914197.9, 0.06);
}
// Unlisted ids go to default processing (40002: the "Main" button's own); Exit (40005) writes the
// settings and skips the destroy steps, command 1 (Control+Q) the reverse (its file untouched: app_e2e).
TEST_F(ShellTest, UnlistedIdsGoToDefaultProcessingExitWritesTheSettingsCommandOneDestroys)
{
    for (uint32_t id : {40002u, 0u, 2u, 40003u, 40007u, 40013u, 65535u}) {
        EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, id, 0), DefaultWindowProc(mainWindow, kMsgCommand, id, 0));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << id;
    }
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), kHandWritten);
    settings.gpsEmulation = settings.enableLog = 1;  // changed during the run, as General settings would
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 40005, 0), 1);
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), "[BEGIN]\n[2]\n[4800]\n[1]\n[0]\n[1]\n[1]\n[1]\n[1]\n[0]\n[0]\n[0]\n[END]\n");
    EXPECT_NE(shellWindow, nullptr);
    EXPECT_NE(mapBitmap, nullptr);
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 1, 0), 1);
    FlushPaints();
    EXPECT_EQ(shellWindow, nullptr) << "destroyed";
    EXPECT_EQ(mapBitmap, nullptr);
    EXPECT_EQ(portHandle.load(), kInvalidPort);
}
// Slots N, NE, E, SE, S, SW, W, NW; screen y grows downwards. The head is wide and the shaft narrow: an
// arrow points where the cut across it ahead of the centre is widest.
TEST_F(ShellTest, ArrowIconsPointTheWayTheirSlotSays)
{
    const double s = std::sqrt(0.5), way[8][2] = {{0, -1}, {s, -s}, {1, 0}, {s, s}, {0, 1}, {-s, s}, {-1, 0}, {-s, -s}};
    for (int slot = 0; slot < kArrowCount; ++slot) {
        ASSERT_NE(arrowIcons[slot], nullptr);
        const QImage image = IconImage(arrowIcons[slot]);
        ASSERT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)) + qAlpha(image.pixel(31, 31)), 0) << "transparent corners";
        // Opaque width across the line perpendicular to way d, offset pixels from the centre along it.
        const auto width = [&](const double* d, double offset) {
            int opaque = 0;
            for (double t = -16; t <= 16; t += 0.25) {
                const int x = int(std::floor(16 + offset * d[0] - t * d[1]));
                const int y = int(std::floor(16 + offset * d[1] + t * d[0]));
                opaque += x >= 0 && y >= 0 && x < 32 && y < 32 && qAlpha(image.pixel(x, y)) > 128;
            }
            return opaque * 0.25;
        };
        const double lead = width(way[slot], 4) - width(way[slot], -4);
        EXPECT_GT(lead, 4.0) << slot;
        for (int d = 0; d < 8; ++d) EXPECT_TRUE(d == slot || width(way[d], 4) - width(way[d], -4) < lead) << slot << d;
    }
}
}  // namespace
