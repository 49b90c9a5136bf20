// The main window's life through a real window: the 3000 ms tick (track-log counter,
// repaint rule), start-up (reset, the three files in order, defaults, the entry) and
// the resources the create handler loads.
#include <QImage>
#include <QTimer>

#include <cmath>
#include <limits>
#include <mutex>

#include "app/globals.h"
#include "app/shell.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "ui_support.h"

namespace {

const std::string kLog = "Scheda di memoria/GpsLog.txt";
// Ticks 10 and 20 of the emulation both feed canned sentence 5 (quality 1, no speed or course).
const std::string kCannedLogLine = "44.348733;11.716667;163440.0;1;0.000000;0.000000 \n";

void SetFix(uint8_t fixQuality, double distanceMoved)
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState.fixQuality = fixQuality;
    gpsState.distanceMoved = distanceMoved;
}

int LogLines()
{
    const std::string text = ReadDeviceFile(kLog);
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class TickTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        WriteDeviceFile("Scheda di memoria/.keep", "");
        ASSERT_NE(CreateShellWindow(), nullptr);
    }
};

TEST_F(TickTest, TrackLogLineEveryTenthTickWithEnableLogAndFixQualityExactlyOne)
{
    // enableLog, fixQuality, ticks -> lines written, counter after. 2 is neither on nor a plain fix.
    const struct {
        const char* name;
        int32_t enableLog;
        uint8_t fix;
        int ticks, lines, counter;
    } rows[] = {
        {"nine ticks: not yet", 1, 1, 9, 0, 9},       {"tenth tick writes", 1, 1, 10, 1, 0},
        {"25 ticks: two lines", 1, 1, 25, 2, 5},      {"differential fix 2", 1, 2, 30, 0, 0},
        {"no fix", 1, 0, 30, 0, 0},                   {"log off", 0, 1, 30, 0, 0},
        {"log switch 2", 2, 1, 30, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteDeviceFile(kLog, "");
        logTickCounter = 0;
        settings.enableLog = row.enableLog;
        SetFix(row.fix, 0.0);
        for (int i = 0; i < row.ticks; ++i) Tick();
        EXPECT_EQ(LogLines(), row.lines);
        EXPECT_EQ(logTickCounter, row.counter);
    }
}

TEST_F(TickTest, CounterHeldWhileAConditionFailsThenTheTenthCountedTickWrites)
{
    settings.enableLog = 1;
    settings.gpsEmulation = 1;  // the emulation's fixes count as well
    for (int i = 0; i < 20; ++i) Tick();
    EXPECT_EQ(ReadDeviceFile(kLog), kCannedLogLine + kCannedLogLine);
    settings.gpsEmulation = 0;
    WriteDeviceFile(kLog, "");
    SetFix(1, 0.0);
    for (int i = 0; i < 4; ++i) Tick();
    SetFix(2, 0.0);
    for (int i = 0; i < 7; ++i) Tick();
    SetFix(1, 0.0);
    settings.enableLog = 0;
    for (int i = 0; i < 7; ++i) Tick();
    EXPECT_EQ(logTickCounter, 4);
    settings.enableLog = 1;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = 45.0;
        gpsState.longitude = 9.5;
        gpsState.speedKmh = 12.5;
        gpsState.course = 270.0;
        std::copy_n(u"120000.00", 10, gpsState.utcTime);
    }
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(LogLines(), 0);
    Tick();
    EXPECT_EQ(ReadDeviceFile(kLog), "45.000000;9.500000;120000.00;1;12.500000;270.000000 \n");
}

TEST_F(TickTest, RepaintEveryTickFromOneMetreOtherwiseEveryThird)
{
    // distanceMoved, redrawCounter before, ticks -> paints, counter after. NaN compares false: standing still.
    const struct {
        const char* name;
        double distance;
        int32_t before;
        int ticks, paints;
        int32_t after;
    } rows[] = {
        {"exactly 1.0 m: every tick, counter left", 1.0, 2, 4, 4, 2},
        {"66.5 m (canned 5 to 1)", 66.5, 0, 3, 3, 0},
        {"just under 1 m: every third", std::nextafter(1.0, 0.0), 0, 6, 2, 0},
        {"standing still", 0.0, 0, 7, 2, 1},
        {"counter at 2: the next tick", 0.5, 2, 1, 1, 0},
        {"NaN", std::numeric_limits<double>::quiet_NaN(), 0, 3, 1, 0},
        {"negative", -5.0, 0, 2, 0, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetFix(0, row.distance);
        redrawCounter = row.before;
        FlushPaints();
        const int before = record.paints;
        for (int i = 0; i < row.ticks; ++i) Tick();
        EXPECT_EQ(record.paints - before, row.paints);
        EXPECT_EQ(redrawCounter, row.after);
        EXPECT_EQ(record.lastErase, 1);
    }
}

class StartupTest : public UiTest {};

TEST_F(StartupTest, SettingsAreReadBeforeCatalogueAndPoints)
{
    // Map corner and point at the first canned fix (44°20.924' N, 11°43.050' E); in degrees
    // they become its plane grid x=716594.9 y=4914197.9 (the Gps data dialog's figures, 0.1 m).
    const double lat = 44.348733333333335, lon = 11.7175, x = 716594.9, y = 4914197.9;
    const struct {
        int mapInDegrees, prefInDegrees;
        double mapX, mapY, prefX, prefY;
    } rows[] = {{1, 1, x, y, x, y}, {0, 0, lat, lon, lat, lon}, {1, 0, x, y, lat, lon}, {0, 1, lat, lon, x, y}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mapInDegrees * 10 + row.prefInDegrees);
        WriteDeviceFile(kSettingsFile, SettingsText({2, 4800, 0, row.prefInDegrees, 0, 0, 0, 0, row.mapInDegrees}));
        WriteDeviceFile(kMapFile, "[1][C][\\t.bmp][44.348733333333335][11.7175][44.3437][11.729][741][498][0][0][0][-]");
        WriteDeviceFile(kPrefFile, "[1][Rocca][-][44.348733333333335][11.7175][-][-][1][\\bip.wav][-][-][-][-]");
        settings.mapInDegrees = 1 - row.mapInDegrees;  // what a stale value would do
        settings.prefInDegrees = 1 - row.prefInDegrees;
        ASSERT_NE(CreateShellWindow(), nullptr);
        EXPECT_NEAR(mapTable[0].topLeftX, row.mapX, 0.06);
        EXPECT_NEAR(mapTable[0].topLeftY, row.mapY, 0.06);
        EXPECT_NEAR(prefTable[0].x, row.prefX, 0.06);
        EXPECT_NEAR(prefTable[0].y, row.prefY, 0.06);
        EXPECT_EQ(settings.baudRate, 4800);
        DestroyShellWindow();
    }
}

TEST_F(StartupTest, CreateResetsWhatAPreviousRunLeftAndKeepsTheDefaultsWithoutFiles)
{
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = 12.0;
        gpsState.fixQuality = 2;
        gpsState.latHemisphere = u'S';
    }
    emulationStep = 3;
    gotoActive = 1;
    WriteBmp("temp.bmp", 741, 498);
    ASSERT_NE(CreateShellWindow(), nullptr);
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.latitude, 0.0);
    EXPECT_EQ(g.fixQuality, 0);
    EXPECT_EQ(g.latHemisphere, u'N');
    EXPECT_EQ(emulationStep, 0);
    EXPECT_EQ(gotoActive.load(), 0);
    EXPECT_EQ(settings.baudRate, 0);
    EXPECT_EQ(lastMapIndex, 0);
    EXPECT_EQ(std::u16string(mapTable[0].bitmapPath), u".\\temp.bmp");
    EXPECT_NE(mapBitmap, nullptr) << "the default map's .\\temp.bmp is loaded";
    EXPECT_EQ(std::u16string(soundDirectory), u"\\Scheda di memoria\\Velkar");
    char16_t line[kDisplayLineSize];
    SnapshotDisplayLine(line);
    EXPECT_EQ(std::u16string(line), u"i'm waiting....");
    const char16_t* ports[] = {u"COM1:", u"COM1:", u"COM2:", u"COM3:", u"COM4:", u"COM5:", u"COM1:"};
    for (int32_t comPort = 0; comPort <= 6; ++comPort) {
        char16_t name[kPortNameSize] = u"junk";
        ChoosePortName(comPort, name);
        EXPECT_EQ(std::u16string(name), ports[comPort]) << comPort;
    }
}

TEST_F(StartupTest, MenuBarFailureIsReportedAndStartUpGoesOn)
{
    static const ResourceTable kEmpty = {};  // no menu 104
    hInstance = &kEmpty;
    WriteDeviceFile(kSettingsFile, SettingsText({3, 9600, 1, 0, 0, 0, 0, 0, 0}));
    testing::internal::CaptureStderr();
    ASSERT_NE(CreateShellWindow(), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: SHCreateMenuBar Failed"), std::string::npos) << err;
    EXPECT_EQ(settings.baudRate, 9600) << "the settings were read before the bar";
    Tick();
    EXPECT_EQ(emulationStep, 1) << "the tick still feeds the emulation";
}

TEST_F(StartupTest, EntryWithoutSettingsFileUsesCom1AndBaudZero)
{
    std::copy_n(u"X", 2, portName);
    QTimer::singleShot(0, [] { PostQuit(0); });
    EntryArguments arguments = {&velkarResources, 0, u"", 1};
    testing::internal::CaptureStderr();
    EXPECT_EQ(VelkarEntry(&arguments), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::u16string(portName), u"COM1:");
    EXPECT_EQ(settings.baudRate, 0);
    ASSERT_NE(mainWindow, nullptr);
    DestroyMainWindow(mainWindow);
}

// Width of the opaque part of an icon across the line perpendicular to (dx, dy),
// offset pixels from the centre along it.
double WidthAcross(const QImage& image, double dx, double dy, double offset)
{
    int opaque = 0;
    for (double t = -16; t <= 16; t += 0.25) {
        const int x = static_cast<int>(std::floor(16 + offset * dx - t * dy));
        const int y = static_cast<int>(std::floor(16 + offset * dy + t * dx));
        if (x >= 0 && y >= 0 && x < 32 && y < 32 && qAlpha(image.pixel(x, y)) > 128) ++opaque;
    }
    return opaque * 0.25;
}

TEST_F(StartupTest, ArrowIconsPointTheWayTheirSlotSaysAndTheOtherIconsDraw)
{
    ASSERT_NE(CreateShellWindow(), nullptr);
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
    for (int32_t id : {109, 111}) {  // application icon, About picture
        IconHandle icon = LoadIconResource(&velkarResources, id);
        ASSERT_NE(icon, nullptr) << id;
        const QImage image = IconImage(icon);
        int opaque = 0;
        for (int i = 0; i < 32 * 32; ++i) opaque += qAlpha(image.pixel(i % 32, i / 32)) > 128;
        EXPECT_GT(opaque, 300) << id;
        DestroyIconHandle(icon);
    }
}

}  // namespace
