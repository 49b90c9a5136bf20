// The View pop-up through a real main window: each switch by its command (check mark, vlview.cfg, the window),
// zoom by command, wheel and pinch; the GPX recorder's times, the bar's finger rule and the window options.
#include <QAction>
#include <QNativeGestureEvent>
#include <QPalette>
#include <QPointingDevice>
#include "app/track_recorder.h"
#include "base/text.h"
#include "gps/fix_history.h"
#include "platform/view_window.h"
#include "store/view_options.h"
#include "ui_support.h"

namespace {
class ViewTest : public UiTest {
protected:
    void SetUp() override { UiTest::SetUp(), OpenShellOnCard(); }
    void TearDown() override { StopTrackRecording(mainWindow), SetNightPalette(0), UiTest::TearDown(); }
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
    // (Full screen, token 5, by its key F11 there and back: view_e2e.)
    const struct { const char* name; uint32_t command; int token; bool (*shown)(); } rows[] = {
        {"trail", kCmdTrail, 1, [] { return viewOptions.trail == 1; }},
        {"record track", kCmdRecordTrack, 2, [] { return TrackRecordingActive() == 1; }},
        {"keep map", kCmdKeepMapWithoutFix, 3, [] { return viewOptions.keepMapWithoutFix == 1; }},
        {"night", kCmdNightColours, 4,
         [] { return QApplication::palette().color(QPalette::Window) == QColor(0x20, 0x04, 0x02); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (int on : {1, 0}) {
            Command(row.command);
            EXPECT_EQ(Checked(row.command), on == 1);
            EXPECT_EQ(row.shown(), on == 1);
            std::string view = "[VIEW][0][0][0][0][0]";
            view[3 * row.token + 4] = char('0' + on);  // the digit of token 1 is at 7
            EXPECT_EQ(ReadDeviceFile("My Documents/Velkar/vlview.cfg").substr(0, view.size()), view);
        }
    }
    // A recording that cannot create its file (a file where its folder should be) stays off and unchecked.
    std::filesystem::remove_all(uiRoot + "/Scheda di memoria/Velkar");
    WriteDeviceFile("Scheda di memoria/Velkar", "a file where the folder should be");
    Command(kCmdRecordTrack);
    EXPECT_EQ(TrackRecordingActive(), 0);
    EXPECT_EQ(viewOptions.recordTrack, 0);
    EXPECT_FALSE(Checked(kCmdRecordTrack));
}
TEST_F(ViewTest, ZoomCommandsWheelAndPinchStepTheCurrentMap)
{
    // A pinch steps in per quarter spread and out per fifth closed (on a fresh window: no wheel rest).
    QWidget* client = WidgetOfHandle(mainWindow)->findChild<QWidget*>(QStringLiteral("velkar-client"));
    ASSERT_NE(client, nullptr);
    const auto pinch = [client](Qt::NativeGestureType type, double value) {
        QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, QPointF(), QPointF(), QPointF(), value,
                                  QPointF());
        QApplication::sendEvent(client, &event);
        return MapZoomStep(CurrentMapEntry());
    };
    pinch(Qt::BeginNativeGesture, 0);
    EXPECT_EQ(pinch(Qt::ZoomNativeGesture, 0.3), 6);   // x1.3: one quarter spread, 1.04 left
    EXPECT_EQ(pinch(Qt::ZoomNativeGesture, -0.5), 4);  // x0.5: 0.52, two fifths closed
    // Messages from 1:1 (step 5), which begins each row; the wheel counts 120 a notch and keeps the rest.
    // ('+' and '0' on the keyboard, two notches down and vlview.cfg keeping each are view_e2e's.)
    const struct { const char* name; uint32_t message; uintptr_t wParam[3]; int32_t step; } rows[] = {
        {"zoom in: one step", kMsgCommand, {kCmdZoomIn}, 6},
        {"zoom in past 4:1 stays", kMsgCommand, {kCmdZoomIn, kCmdZoomIn, kCmdZoomIn}, 7},
        {"zoom out", kMsgCommand, {kCmdZoomOut}, 4},
        {"wheel a notch up", kMsgMouseWheel, {MakeWParam(0, 120)}, 6},
        {"two half notches make one", kMsgMouseWheel, {MakeWParam(0, 60), MakeWParam(0, 60)}, 6},
        {"a pad's small steps", kMsgMouseWheel, {MakeWParam(0, 40), MakeWParam(0, 40), MakeWParam(0, 39)}, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Command(kCmdZoomOneToOne);
        for (uintptr_t w : row.wParam)
            if (w != 0) SendWindowMessage(mainWindow, row.message, w, 0);
        EXPECT_EQ(MapZoomStep(CurrentMapEntry()), row.step);
    }
}
TEST(FixTime, RmcDateElseTheSystemClocksDate)
{
    constexpr int64_t kNow = 1796612400;  // 2026-12-07T03:00:00Z (date -u -d @1796612400)
    const struct { const char* name; const char16_t* time; int32_t date; const char* expected; } rows[] = {
        {"RMC date", u"123519", 230394, "1994-03-23T12:35:19Z"},
        {"no RMC: today", u"123519", 0, "2026-12-07T12:35:19Z"},
        {"hundredths kept", u"123519.25", 71226, "2026-12-07T12:35:19.25Z"},
        {"no time: the clock", u"", 230394, "2026-12-07T03:00:00Z"},
        {"hour 25 is no time", u"250000", 0, "2026-12-07T03:00:00Z"},
        {"month 13 is no date", u"010203", 11394, "2026-12-07T01:02:03Z"},
    };
    for (const auto& row : rows) {
        AcceptedFix fix = {};
        char text[24];
        CopyText(fix.utcTime, 12, row.time), fix.utcDate = row.date, FixTimeText(fix, kNow, text);
        EXPECT_STREQ(text, row.expected) << row.name;
    }
}
TEST(FingerButtons, NineMillimetresOnSmallOrTouchScreensOnly)
{
    // screen height (mm), pixels a mm, touch -> least button height (9 mm, rounded up); 0: none.
    const struct { const char* name; double mm, ppm; int touch; int32_t least; } rows[] = {
        {"7-inch Pi screen, 86 mm, 5.6 px/mm", 86, 5.6, 0, 51}, {"laptop", 190, 4.0, 0, 0},
        {"laptop with a touch screen", 190, 4.0, 1, 36}, {"unknown size", 0, 3.8, 0, 0}, {"nonsense density", 80, -1, 1, 0}};
    for (const auto& r : rows) EXPECT_EQ(FingerButtonHeight(r.mm, r.ppm, r.touch), r.least) << r.name;
}
TEST(ProgramOptions, SizeTakesWidthByHeightFullScreenNoValue)
{
    const struct { std::vector<const char*> args; int ok, width, height; bool full; } rows[] = {
        {{"velkar", "--size=1280X800", "--fullscreen"}, 1, 1280, 800, true}, {{"velkar", "--size", "0x200"}, 0, 0, 0, false},
        {{"velkar", "--size", "20000x10"}, 0, 0, 0, false}, {{"velkar", "--size", "480x800px"}, 0, 0, 0, false},
        {{"velkar", "--fullscreen=1"}, 0, 0, 0, false}};
    for (const auto& r : rows) {
        PlatformOptions o;
        std::string message;
        char** argv = const_cast<char**>(r.args.data());
        EXPECT_EQ(ParsePlatformOptions(int(r.args.size()), argv, &o, &message), r.ok) << r.args.back();
        EXPECT_EQ(message.empty(), r.ok == 1) << r.args.back();
        EXPECT_EQ(o.sizeWidth * 100000 + o.sizeHeight, r.width * 100000 + r.height) << r.args.back();
        EXPECT_EQ(o.fullScreen, r.full) << r.args.back();
    }
}
}  // namespace
