// The main window's life through a real window: the 3000 ms tick (track-log counter, repaint rule),
// start-up (the three files in order, defaults, the entry), the command table (Exit, command 1, default
// processing) and the arrow icons.
#include <cmath>
#include <limits>

#include "gps/framing.h"
#include "ui_support.h"

namespace {

const std::string kLog = "Scheda di memoria/GpsLog.txt";
long LogLines() { const std::string log = ReadDeviceFile(kLog); return std::count(log.begin(), log.end(), '\n'); }

void SetFix(uint8_t fixQuality, double distanceMoved)
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState.fixQuality = fixQuality, gpsState.distanceMoved = distanceMoved;
    gpsState.latitude = 44.348733, gpsState.longitude = 11.7175;  // a place that can be logged
}

class ShellTest : public UiTest {
protected:
    void SetUp() override { UiTest::SetUp(), OpenShellOnCard(kHandWritten); }
    // SettingsText({2, 4800, 0, 0, 1, 1, 0, 1, 0}) by hand on one line: a rewrite shows as a new layout.
    const std::string kHandWritten = "[BEGIN][2][4800][0][0][1][1][0][1][0][0][0][END]";
};

TEST_F(ShellTest, TrackLogLineEveryTenthTickWithEnableLogAndAMeasuredFixCounterHeldOtherwise)
{
    // enableLog, fixQuality, counter before, ticks -> lines, counter after. 2 counts as 1; the counter holds otherwise.
    const struct { int32_t enableLog; uint8_t fix; int32_t before; int ticks, lines, counter; } rows[] = {
        {1, 1, 0, 9, 0, 9}, {1, 1, 0, 10, 1, 0}, {1, 1, 0, 25, 2, 5}, {1, 2, 4, 30, 3, 4}, {1, 0, 4, 30, 0, 4},
        {0, 1, 4, 30, 0, 4}, {2, 1, 4, 30, 0, 4}, {1, 1, 4, 6, 1, 0}};
    for (const auto& row : rows) {
        WriteDeviceFile(kLog, ""), logTickCounter = row.before, settings.enableLog = row.enableLog;
        SetFix(row.fix, 0.0), Tick(row.ticks);
        EXPECT_EQ(LogLines(), row.lines) << row.enableLog << row.fix << row.ticks;
        EXPECT_EQ(logTickCounter, row.counter) << row.enableLog << row.fix << row.ticks;
    }
    // The emulation's fixes count too: ticks 10 and 20 both feed canned sentence 5.
    WriteDeviceFile(kLog, ""), settings.gpsEmulation = settings.enableLog = 1, logTickCounter = 0, Tick(20);
    const std::string line = "44.348733;11.716667;163440.0;1;0.000000;0.000000 \n";
    EXPECT_EQ(ReadDeviceFile(kLog), line + line);
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

TEST_F(UiTest, SettingsAreReadBeforeCatalogueAndPoints)
{
    // Map corner and point at the first canned fix (44°20.924' N, 11°43.050' E); read as degrees
    // they become its plane grid x=716594.9 y=4914197.9 (the Gps data dialog's figures, 0.1 m).
    const double lat = 44.348733333333335, lon = 11.7175, x = 716594.9, y = 4914197.9;
    WriteDeviceFile(kMapFile, "[1][C][\\t.bmp][44.348733333333335][11.7175][44.3437][11.729][741][498][0][0][0][-]");
    WriteDeviceFile(kPrefFile, "[1][Rocca][-][44.348733333333335][11.7175][-][-][1][\\bip.wav][-][-][-][-]");
    const struct { int mapInDegrees, prefInDegrees; double mapX, mapY, prefX, prefY; } rows[] = {
        {1, 1, x, y, x, y}, {0, 0, lat, lon, lat, lon}, {1, 0, x, y, lat, lon}, {0, 1, lat, lon, x, y}};
    for (const auto& row : rows) {
        WriteDeviceFile(kSettingsFile, SettingsText({2, 4800, 0, row.prefInDegrees, 0, 0, 0, 0, row.mapInDegrees}));
        settings.mapInDegrees = 1 - row.mapInDegrees, settings.prefInDegrees = 1 - row.prefInDegrees;  // stale values
        ASSERT_NE(CreateShellWindow(), nullptr);
        EXPECT_NEAR(mapTable[0].topLeftX, row.mapX, 0.06) << row.mapInDegrees;
        EXPECT_NEAR(mapTable[0].topLeftY, row.mapY, 0.06) << row.mapInDegrees;
        EXPECT_NEAR(prefTable[0].x, row.prefX, 0.06) << row.prefInDegrees;
        EXPECT_NEAR(prefTable[0].y, row.prefY, 0.06) << row.prefInDegrees;
    }
}

TEST_F(UiTest, EntryWithoutSettingsFileUsesCom1AndBaudZero)
{
    std::copy_n(u"X", 2, portName);
    QTimer::singleShot(0, [] { PostQuit(0); });
    EntryArguments arguments = {&velkarResources, 0, u"", 1};
    EXPECT_EQ(VelkarEntry(&arguments), 0);  // "Unable to open the port" on standard error
    EXPECT_EQ(std::u16string(portName), u"COM1:");
    EXPECT_EQ(settings.baudRate, 0);
    ASSERT_NE(mainWindow, nullptr);
    DestroyMainWindow(mainWindow);
}

TEST_F(ShellTest, ExitWritesTheSettingsAndSkipsTheDestroyStepsCommandOneTheReverse)
{
    settings.gpsEmulation = settings.enableLog = 1;  // changed during the run, as General settings would
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 40005, 0), 1);
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), SettingsText({2, 4800, 1, 0, 1, 1, 1, 1, 0}));
    EXPECT_EQ(record.destroys, 0);
    EXPECT_NE(mapBitmap, nullptr);
    WriteDeviceFile(kSettingsFile, kHandWritten);
    EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, 1, 0), 1);  // Control+Q
    FlushPaints();
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), kHandWritten);
    EXPECT_EQ(record.destroys, 1);
    EXPECT_EQ(mapBitmap, nullptr);
    EXPECT_EQ(portHandle.load(), kInvalidPort);
}

TEST_F(ShellTest, UnlistedIdsGoToDefaultProcessing)
{
    for (uint32_t id : {40002u, 0u, 2u, 40003u, 40007u, 40013u, 65535u}) {  // 40002: the "Main" button's own
        EXPECT_EQ(SendWindowMessage(mainWindow, kMsgCommand, id, 0), DefaultWindowProc(mainWindow, kMsgCommand, id, 0));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << id;
    }
    EXPECT_EQ(record.destroys, 0);
    EXPECT_EQ(ReadDeviceFile(kSettingsFile), kHandWritten);
}

// Width of the opaque part of an icon across the line perpendicular to (dx, dy),
// offset pixels from the centre along it.
double WidthAcross(const QImage& image, double dx, double dy, double offset)
{
    int opaque = 0;
    for (double t = -16; t <= 16; t += 0.25) {
        const int x = static_cast<int>(std::floor(16 + offset * dx - t * dy));
        const int y = static_cast<int>(std::floor(16 + offset * dy + t * dx));
        opaque += x >= 0 && y >= 0 && x < 32 && y < 32 && qAlpha(image.pixel(x, y)) > 128;
    }
    return opaque * 0.25;
}

TEST_F(ShellTest, ArrowIconsPointTheWayTheirSlotSays)
{
    // Slots N, NE, E, SE, S, SW, W, NW; screen y grows downwards. The head is wide and
    // the shaft narrow: an arrow points where the cut ahead of the centre is widest.
    const double s = std::sqrt(0.5);
    const double way[8][2] = {{0, -1}, {s, -s}, {1, 0}, {s, s}, {0, 1}, {-s, s}, {-1, 0}, {-s, -s}};
    for (int slot = 0; slot < kArrowCount; ++slot) {
        ASSERT_NE(arrowIcons[slot], nullptr);
        const QImage image = IconImage(arrowIcons[slot]);
        ASSERT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)) + qAlpha(image.pixel(31, 31)), 0) << "transparent corners";
        int best = -1;
        double bestLead = -1e9;
        for (int d = 0; d < 8; ++d) {
            const double lead = WidthAcross(image, way[d][0], way[d][1], 4) - WidthAcross(image, way[d][0], way[d][1], -4);
            if (lead > bestLead) bestLead = lead, best = d;
        }
        EXPECT_EQ(best, slot);
        EXPECT_GT(bestLead, 4.0) << slot;
    }
}

// Every measured fix is logged (GGAs through the real framing: DGPS, RTK float), never quality 6
// to 8, never a GoTo point, never a position that cannot be one (latitude over 90, a number that
// is not finite, exactly 0, 0 left by fields that were not numbers).
TEST_F(ShellTest, TrackLogTakesMeasuredFixesOnly)
{
    const std::string place = "$GPGGA,120000,4420.924,N,01143.050,E,";
    const struct { const char* name; std::string sentences; int32_t goTo; int lines; } rows[] = {
        {"DGPS", place + "2,07,1.0,30.0,M,,M,,*00\r\n", 0, 1}, {"RTK float", place + "5,07,1.0,30.0,M,,M,,*00\r\n", 0, 1},
        {"estimated", place + "6,07,1.0,30.0,M,,M,,*00\r\n", 0, 0}, {"simulated", place + "8,07*00\r\n", 0, 0},
        {"GoTo point", place + "1,07,1.0,30.0,M,,M,,*00\r\n", 1, 0},
        {"latitude 100.67", "$GPGGA,120000,99100.200,N,01143.050,E,1,07*00\r\n", 0, 0},
        {"0, 0", "$GPGGA,120000,N,N,E,E,1,07*00\r\n", 0, 0},
        {"infinite speed", place + "1,07*00\r\n$GPVTG,1,T,,M,1,N,1e999,K*00\r\n", 0, 0}};
    for (const auto& row : rows) {
        WriteDeviceFile(kLog, ""), settings.gpsEmulation = 0, settings.enableLog = 1, ResetGpsState();
        char16_t buffer[kSentenceBufferSize];
        FramingState framing = {0, 0};
        for (char c : row.sentences) FrameByte(buffer, &framing, static_cast<unsigned char>(c));
        gotoActive = row.goTo, logTickCounter = 0, Tick(10), gotoActive = 0;
        EXPECT_EQ(LogLines(), row.lines) << row.name << ": " << ReadDeviceFile(kLog);
    }
}

}  // namespace
