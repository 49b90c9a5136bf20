// The View pop-up through a real main window: each switch toggled by its command
// (check mark, vlview.cfg, what it does to the window), zoom by command and by
// wheel, the GPX recorder's times and a recording read back by GPSBabel.
#include <QAction>
#include <QApplication>
#include <QPalette>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/globals.h"
#include "app/shell.h"
#include "app/track_recorder.h"
#include "base/text.h"
#include "gps/fix_history.h"
#include "gps/gps_state.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "platform/view_window.h"
#include "store/maps.h"
#include "store/view_options.h"
#include "ui_support.h"

namespace {

const std::string kViewFile = "My Documents/Velkar/vlview.cfg";

class ViewTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        WriteDeviceFile("Scheda di memoria/.keep", "");
        WriteDeviceFile("My Documents/Velkar/.keep", "");
        WriteBmp("temp.bmp", 741, 498);
        ASSERT_NE(CreateShellWindow(), nullptr);
    }
    void TearDown() override
    {
        StopTrackRecording(mainWindow);
        SetNightPalette(0);
        UiTest::TearDown();
    }
    void Command(uint32_t id) { SendWindowMessage(mainWindow, kMsgCommand, id, 0); }
    bool Checked(uint32_t id)
    {
        auto* action = WidgetOfHandle(mainWindow)->findChild<QAction*>(QStringLiteral("menu-%1").arg(id));
        return action != nullptr && action->isCheckable() && action->isChecked();
    }
};

TEST_F(ViewTest, EachSwitchTogglesItsCheckMarkItsFileTokenAndTheWindow)
{
    // command, token of the VIEW record it is saved in (order of the file), what shows it on the window.
    const struct {
        const char* name;
        uint32_t command;
        int token;
        bool (*shown)();
    } rows[] = {
        {"trail", kCmdTrail, 1, [] { return viewOptions.trail == 1; }},
        {"record track", kCmdRecordTrack, 2, [] { return TrackRecordingActive() == 1; }},
        {"keep map", kCmdKeepMapWithoutFix, 3, [] { return viewOptions.keepMapWithoutFix == 1; }},
        {"night", kCmdNightColours, 4,
         [] { return QApplication::palette().color(QPalette::Window) == QColor(0x20, 0x04, 0x02); }},
        {"full screen", kCmdFullScreen, 5, [] { return WindowIsFullScreen(mainWindow) == 1; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (int on : {1, 0}) {
            Command(row.command);
            EXPECT_EQ(Checked(row.command), on == 1);
            EXPECT_EQ(row.shown(), on == 1);
            std::string tokens[6] = {"VIEW", "0", "0", "0", "0", "0"};
            tokens[row.token] = std::to_string(on);
            std::string view;
            for (const std::string& t : tokens) view += "[" + t + "]";
            EXPECT_EQ(ReadDeviceFile(kViewFile).substr(0, view.size()), view);
        }
    }
}

TEST_F(ViewTest, ZoomCommandsAndWheelStepTheCurrentMapAndKeepIt)
{
    // Messages from 1:1 (step 5); the wheel counts 120 a notch and keeps the rest.
    const struct {
        const char* name;
        uint32_t message;
        uintptr_t wParam[3];
        int32_t step;
    } rows[] = {
        {"zoom in", kMsgCommand, {kCmdZoomIn, kCmdZoomIn}, 7},
        {"zoom in past 4:1 stays", kMsgCommand, {kCmdZoomIn, kCmdZoomIn, kCmdZoomIn}, 7},
        {"zoom out", kMsgCommand, {kCmdZoomOut}, 4},
        {"1:1", kMsgCommand, {kCmdZoomOut, kCmdZoomOut, kCmdZoomOneToOne}, 5},
        {"wheel a notch up", kMsgMouseWheel, {MakeWParam(0, 120)}, 6},
        {"wheel two notches down", kMsgMouseWheel, {MakeWParam(0, static_cast<uint16_t>(-240))}, 3},
        {"two half notches make one", kMsgMouseWheel, {MakeWParam(0, 60), MakeWParam(0, 60)}, 6},
        {"a pad's small steps", kMsgMouseWheel, {MakeWParam(0, 40), MakeWParam(0, 40), MakeWParam(0, 39)}, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Command(kCmdZoomOneToOne);
        SendWindowMessage(mainWindow, kMsgMouseWheel, MakeWParam(0, 0), 0);
        for (uintptr_t w : row.wParam)
            if (w != 0) SendWindowMessage(mainWindow, row.message, w, 0);
        EXPECT_EQ(MapZoomStep(CurrentMapEntry()), row.step);
    }
    LoadViewOptions();  // what was saved at the last change
    EXPECT_EQ(MapZoomStep(CurrentMapEntry()), 5);
}

TEST(FixTime, RmcDateElseTheSystemClocksDate)
{
    constexpr int64_t kNow = 1796612400;  // 2026-12-07T03:00:00Z (date -u -d @1796612400)
    const struct {
        const char* name;
        const char16_t* time;
        int32_t date;
        const char* expected;
    } rows[] = {
        {"RMC date", u"123519", 230394, "1994-03-23T12:35:19Z"},
        {"no RMC: today", u"123519", 0, "2026-12-07T12:35:19Z"},
        {"hundredths kept", u"123519.25", 71226, "2026-12-07T12:35:19.25Z"},
        {"one decimal", u"000000.5", 0, "2026-12-07T00:00:00.5Z"},
        {"no time: the clock", u"", 230394, "2026-12-07T03:00:00Z"},
        {"hour 25 is no time", u"250000", 0, "2026-12-07T03:00:00Z"},
        {"month 13 is no date", u"010203", 11394, "2026-12-07T01:02:03Z"},
    };
    for (const auto& row : rows) {
        AcceptedFix fix = {};
        CopyText(fix.utcTime, 12, row.time);
        fix.utcDate = row.date;
        char text[24];
        FixTimeText(fix, kNow, text);
        EXPECT_STREQ(text, row.expected) << row.name;
    }
}

void AcceptFix(double lat, char16_t ns, double lon, char16_t ew, uint8_t quality, const char16_t* time)
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    GpsState& g = gpsState;
    g.latitude = lat, g.latHemisphere = ns, g.longitude = lon, g.lonHemisphere = ew, g.fixQuality = quality;
    g.altitude = 31;
    CopyText(g.utcTime, 12, time);
    RecordAcceptedFix(g);
}

std::string RunGpsBabel(const std::string& gpx)
{
    const std::string out = gpx + ".csv";
    const std::string command = "gpsbabel -t -i gpx -f '" + gpx + "' -o unicsv,utc=0 -F '" + out + "' 2>&1";
    if (std::system(command.c_str()) != 0) return "gpsbabel failed";
    std::ifstream in(out);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(ViewTest, RecordingWritesEveryFixWithAPositionAsAWholeGpxAfterEachOne)
{
    if (std::system("command -v gpsbabel >/dev/null") != 0) GTEST_SKIP() << "gpsbabel is not installed";
    AcceptFix(1, u'N', 1, u'E', 1, u"000000");  // before the recording: not in it
    Command(kCmdRecordTrack);
    ASSERT_EQ(TrackRecordingActive(), 1);
    const std::string folder = DevicePathToHost(u"\\Scheda di memoria\\Velkar\\tracks");
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    const std::string gpx = std::filesystem::directory_iterator(folder)->path().string();
    // Lake Garda, then a fix lost (no point), then the southern and western hemispheres.
    AcceptFix(45.695, u'N', 10.7125, u'E', 1, u"101500");
    SendWindowMessage(mainWindow, kMsgTimer, kRecordTimerId, 0);
    const std::string first = RunGpsBabel(gpx);
    EXPECT_NE(first.find("\n1,45.695000,10.712500,31.0,"), std::string::npos) << first;  // GPSBabel's six decimals
    AcceptFix(45.7, u'N', 10.7, u'E', 0, u"101501");
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsUtcDate = 230394;  // an RMC's date came
    }
    AcceptFix(33.8568, u'S', 70.5, u'W', 2, u"101502.5");
    SendWindowMessage(mainWindow, kMsgTimer, kRecordTimerId, 0);
    const std::string all = RunGpsBabel(gpx);
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 3) << all;  // header and two points
    EXPECT_NE(all.find("\n2,-33.856800,-70.500000,31.0,1994/03/23,10:15:02.500"), std::string::npos) << all;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsUtcDate = 0;
    }
    Command(kCmdRecordTrack);
    EXPECT_EQ(TrackRecordingActive(), 0);
}

TEST_F(ViewTest, RecordingThatCannotCreateItsFileStaysOffAndUnchecked)
{
    WriteDeviceFile("Scheda di memoria/Velkar", "a file where the folder should be");
    Command(kCmdRecordTrack);
    EXPECT_EQ(TrackRecordingActive(), 0);
    EXPECT_EQ(viewOptions.recordTrack, 0);
    EXPECT_FALSE(Checked(kCmdRecordTrack));
}

TEST(FingerButtons, NineMillimetresOnSmallOrTouchScreensOnly)
{
    // height of the screen (mm), pixels a mm, touch -> least button height (9 mm, rounded up).
    const struct { const char* name; double mm, ppm; int touch; int32_t least; } rows[] = {
        {"7-inch Pi screen, 86 mm high, 5.6 px/mm", 86, 5.6, 1, 51},
        {"phone without a touch device known", 100, 10.0, 0, 90},
        {"laptop", 190, 4.0, 0, 0},
        {"laptop with a touch screen", 190, 4.0, 1, 36},
        {"unknown size, no touch", 0, 3.8, 0, 0},
        {"nonsense density", 80, -1, 1, 0},
    };
    for (const auto& r : rows) EXPECT_EQ(FingerButtonHeight(r.mm, r.ppm, r.touch), r.least) << r.name;
}

TEST(ProgramOptions, SizeAndFullScreen)
{
    const struct { const char* name; std::vector<const char*> args; int ok, width, height; bool full; } rows[] = {
        {"size", {"velkar", "--size", "480x800"}, 1, 480, 800, false},
        {"size inline, full screen", {"velkar", "--size=1280X800", "--fullscreen"}, 1, 1280, 800, true},
        {"zero side", {"velkar", "--size", "0x200"}, 0, 0, 0, false},
        {"too large", {"velkar", "--size", "20000x10"}, 0, 0, 0, false},
        {"no x", {"velkar", "--size", "480"}, 0, 0, 0, false},
        {"trailing text", {"velkar", "--size", "480x800px"}, 0, 0, 0, false},
        {"full screen takes no value", {"velkar", "--fullscreen=1"}, 0, 0, 0, false},
    };
    for (const auto& r : rows) {
        std::vector<char*> argv;
        for (const char* a : r.args) argv.push_back(const_cast<char*>(a));
        PlatformOptions o;
        std::string message;
        EXPECT_EQ(ParsePlatformOptions(static_cast<int>(argv.size()), argv.data(), &o, &message), r.ok) << r.name;
        if (r.ok == 0) {
            EXPECT_FALSE(message.empty()) << r.name;
            continue;
        }
        EXPECT_EQ(o.sizeWidth, r.width) << r.name;
        EXPECT_EQ(o.sizeHeight, r.height) << r.name;
        EXPECT_EQ(o.fullScreen, r.full) << r.name;
    }
}

}  // namespace
