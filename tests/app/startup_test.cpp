// Start-up: the create handler's reset and the three files read in order (the
// settings first, so that mapInDegrees and prefInDegrees rule the catalogue and
// the points), the defaults without files, the menu-bar failure message, and the
// entry itself run once in this process (port "COM1:", baud rate 0, quit code 0).
#include <QTimer>

#include <cmath>
#include <mutex>

#include "app/globals.h"
#include "app/shell.h"
#include "app_support.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "resources/resources.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {

const std::string kSettings = "My Documents/Velkar/vlcfg.cfg";
const std::string kCatalogue = "My Documents/Velkar/vlmap.cfg";
const std::string kPoints = "My Documents/Velkar/vlpref.cfg";

// One catalogue record and one point, both at the first canned fix (44°20.924' N,
// 11°43.050' E, i.e. 44.348733333333335, 11.7175), with the bottom-right corner a
// little south-east of it. In degrees or in plane metres, depending on the
// settings read before them.
const std::string kCatalogueInDegrees =
    "[1][Canned][\\temp.bmp][44.348733333333335][11.7175][44.3437][11.7290][741][498][0][0][0][-]\n";
const std::string kPointsInDegrees = "[1][Rocca][-][44.348733333333335][11.7175][-][-][1][\\bip.wav][-][-][-][-]\n";

// Plane grid of the first canned fix: x=716594.9 y=4914197.9 as the Gps data
// dialog shows it for that sentence (0.1 m).
constexpr double kCannedGridEasting = 716594.9;
constexpr double kCannedGridNorthing = 4914197.9;

class StartupTest : public ShellTest {};

struct DegreesRow {
    const char* name;
    int mapInDegrees;
    int prefInDegrees;
    double mapLeft, mapTop;    // expected topLeftX, topLeftY
    double prefX, prefY;       // expected x, y of point 0
    double tolerance;
};

const DegreesRow kDegreesRows[] = {
    {"both in degrees: converted to the plane grid", 1, 1, kCannedGridEasting, kCannedGridNorthing,
     kCannedGridEasting, kCannedGridNorthing, 0.06},
    {"both in plane metres: kept as written", 0, 0, 44.348733333333335, 11.7175, 44.348733333333335, 11.7175, 1e-12},
    {"maps in degrees only", 1, 0, kCannedGridEasting, kCannedGridNorthing, 44.348733333333335, 11.7175, 0.06},
    {"points in degrees only", 0, 1, 44.348733333333335, 11.7175, kCannedGridEasting, kCannedGridNorthing, 0.06},
};

TEST_F(StartupTest, SettingsAreReadBeforeCatalogueAndPoints)
{
    for (const DegreesRow& row : kDegreesRows) {
        SCOPED_TRACE(row.name);
        WriteDeviceFile(kSettings, SettingsText(2, 4800, 0, row.prefInDegrees, 0, 0, 0, 0, row.mapInDegrees));
        WriteDeviceFile(kCatalogue, kCatalogueInDegrees);
        WriteDeviceFile(kPoints, kPointsInDegrees);
        settings.mapInDegrees = 1 - row.mapInDegrees;  // what a stale value would do
        settings.prefInDegrees = 1 - row.prefInDegrees;
        ASSERT_NE(CreateShellWindow(), nullptr);
        EXPECT_EQ(settings.mapInDegrees, row.mapInDegrees);
        EXPECT_EQ(settings.prefInDegrees, row.prefInDegrees);
        EXPECT_NEAR(mapTable[0].topLeftX, row.mapLeft, row.tolerance);
        EXPECT_NEAR(mapTable[0].topLeftY, row.mapTop, row.tolerance);
        EXPECT_NEAR(prefTable[0].x, row.prefX, row.tolerance);
        EXPECT_NEAR(prefTable[0].y, row.prefY, row.tolerance);
        EXPECT_EQ(lastMapIndex, 0);
        EXPECT_EQ(lastPrefIndex, 0);
        DestroyShellWindow();
    }
}

TEST_F(StartupTest, NoFilesLeaveTheDefaults)
{
    ASSERT_NE(CreateShellWindow(), nullptr);
    EXPECT_EQ(record.creates, 1);
    // Settings keep their start values; the default map stands in entry 0.
    EXPECT_EQ(settings.comPort, 0);
    EXPECT_EQ(settings.baudRate, 0);
    EXPECT_EQ(std::u16string(mapTable[0].bitmapPath), u".\\temp.bmp");
    EXPECT_EQ(mapTable[0].widthPx, 741);
    EXPECT_EQ(mapTable[0].heightPx, 498);
    EXPECT_DOUBLE_EQ(mapTable[0].topLeftX, 716346.6);
    EXPECT_DOUBLE_EQ(mapTable[0].bottomRightY, 4913879.2);
    EXPECT_EQ(lastMapIndex, 0);
    EXPECT_EQ(lastPrefIndex, 0);
    EXPECT_EQ(mapBitmap, nullptr) << "no temp.bmp: no map bitmap";
    EXPECT_EQ(std::u16string(soundDirectory), u"\\Scheda di memoria\\Velkar");
    char16_t line[kDisplayLineSize];
    SnapshotDisplayLine(line);
    EXPECT_EQ(std::u16string(line), u"i'm waiting....");
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.latHemisphere, u'N');
    EXPECT_EQ(g.lonHemisphere, u'E');
    EXPECT_EQ(g.fixQuality, 0);
    for (int i = 0; i < kArrowCount; ++i) EXPECT_NE(arrowIcons[i], nullptr) << "arrow " << i;
}

TEST_F(StartupTest, ResetClearsWhatAPreviousRunLeft)
{
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = 12.0;
        gpsState.fixQuality = 2;
        gpsState.distanceMoved = 40.0;
        gpsState.speedKmh = 9.0;
        gpsState.latHemisphere = u'S';
        gpsState.lonHemisphere = u'W';
    }
    emulationStep = 3;
    gotoActive = 1;
    WriteBmp("temp.bmp", 741, 498);
    ASSERT_NE(CreateShellWindow(), nullptr);
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.latitude, 0.0);
    EXPECT_EQ(g.fixQuality, 0);
    EXPECT_EQ(g.distanceMoved, 0.0);
    EXPECT_EQ(g.speedKmh, 0.0);
    EXPECT_EQ(g.latHemisphere, u'N');
    EXPECT_EQ(g.lonHemisphere, u'E');
    EXPECT_EQ(emulationStep, 0);
    EXPECT_EQ(gotoActive.load(), 0);
    EXPECT_NE(mapBitmap, nullptr) << "the default map's .\\temp.bmp is loaded";
}

TEST_F(StartupTest, SettingsFileSetsPortChoiceValues)
{
    // "COMn:" for 1 to 5; anything else is "COM1:".
    const struct {
        int32_t comPort;
        const char16_t* name;
    } rows[] = {{1, u"COM1:"}, {2, u"COM2:"}, {3, u"COM3:"}, {4, u"COM4:"}, {5, u"COM5:"},
                {0, u"COM1:"}, {6, u"COM1:"}, {-2, u"COM1:"}, {2147483647, u"COM1:"}};
    for (const auto& row : rows) {
        char16_t name[kPortNameSize] = u"junk";
        ChoosePortName(row.comPort, name);
        EXPECT_EQ(std::u16string(name), row.name) << row.comPort;
    }
}

TEST_F(StartupTest, MenuBarFailureIsReportedAndStartUpGoesOn)
{
    // A resource table without menu 104: the bar cannot be built. Headless, the
    // message box writes its caption and text to standard error.
    static const ResourceTable kEmpty = {};
    hInstance = &kEmpty;
    WriteDeviceFile(kSettings, SettingsText(3, 9600, 1, 0, 0, 0, 0, 0, 0));
    testing::internal::CaptureStderr();
    WindowHandle window = CreateShellWindow();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(err.find("Error"), std::string::npos) << err;
    EXPECT_NE(err.find("SHCreateMenuBar Failed"), std::string::npos) << err;
    EXPECT_EQ(settings.baudRate, 9600) << "the settings were read before the bar";
    // The create handler went on: the tick still feeds the emulation.
    Tick();
    EXPECT_EQ(emulationStep, 1);
}

// The whole entry, once in this process: no settings file, so the port is
// "COM1:" at baud rate 0; the loop ends with the quit code 0.
TEST_F(StartupTest, EntryWithoutSettingsFileUsesCom1AndBaudZero)
{
    portName[0] = u'X';
    portName[1] = 0;
    QTimer::singleShot(0, [] { PostQuit(0); });
    EntryArguments arguments = {&velkarResources, 0, u"", 1};
    testing::internal::CaptureStderr();
    const int code = VelkarEntry(&arguments);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(std::u16string(portName), u"COM1:");
    EXPECT_EQ(settings.baudRate, 0);
    EXPECT_NE(mainWindow, nullptr);
    if (mainWindow != nullptr) DestroyMainWindow(mainWindow);
    mainWindow = nullptr;
}

}  // namespace
