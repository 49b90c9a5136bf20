// GoTo coordinate strip: "0.0" in the six fields, degrees/minutes/seconds to latitude,
// longitude and plane grid, gotoActive and erased repaints of the main view, live
// sentences held back while a GoTo is active; messages, then typing and clicks.
#include <mutex>

#include "dialogs/dialogs.h"
#include "geo/geo.h"
#include "gps/emulation.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "ui_support.h"

namespace {

class GotoCoordDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_NE(CreateShellWindow(), nullptr);
    }
};

// Latitude 1018 1019 1020, longitude 1015 1016 1017, then "GoTo".
void GoTo(WindowHandle dialog, const char16_t* const (&fields)[6])
{
    const int32_t ids[6] = {1018, 1019, 1020, 1015, 1016, 1017};
    for (int i = 0; i < 6; ++i) SetDlgItemText(dialog, ids[i], fields[i]);
    EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, MakeWParam(1, kNotifyClicked), 0), 0);
}

FrameResult FrameSentence(const char* sentence)  // byte by byte; what the '*' did
{
    static char16_t buffer[kSentenceBufferSize];
    FramingState state{0, 0};
    FrameResult last = kFrameNone;
    for (const char* p = sentence; *p != 0; ++p)
        if (FrameResult r = FrameByte(buffer, &state, static_cast<unsigned char>(*p)); r != kFrameNone) last = r;
    return last;
}

TEST_F(GotoCoordDialogTest, GoToConvertsTheTypedPointMovesTheViewAndStaysOpen)
{
    // Rocca is the worked example; the rest hand computed. Fields pass through 24-unit buffers.
    const struct {
        const char* name;
        const char16_t* fields[6];
        double latitude, longitude;
    } rows[] = {
        {"Rocca", {u"44", u"20", u"55.44", u"11", u"43", u"3"}, 44.348733333333335, 11.7175},
        {"negative degrees get minutes added", {u"-9", u"30", u"0", u"9", u"0", u"0"}, -8.5, 9.0},
        {"empty fields count as 0", {u"", u"", u"", u"", u"", u""}, 0.0, 0.0},
        {"stops at a foreign character", {u"45°", u"30'", u"x1", u"7,5", u"0", u"36e"}, 45.5, 7.01},
        {"23 characters read: 44, not 445", {u"000000000000000000000445", u"0", u"0", u"0", u"0", u"0"}, 44.0, 0.0},
    };
    const DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (int32_t id = 1015; id <= 1020; ++id) EXPECT_EQ(FieldText(dialog, id), "0.0") << id;
        EXPECT_TRUE(widget->windowFlags().testFlag(Qt::Tool));
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            {
                std::lock_guard<std::mutex> lock(gpsMutex);
                gpsState.latHemisphere = u'S';
                gpsState.utmEasting = 123.0;
            }
            gotoActive = 0;
            FlushPaints();
            const int paints = record.paints;
            GoTo(dialog, row.fields);
            EXPECT_TRUE(widget->isVisible());
            EXPECT_EQ(gotoActive.load(), 1);
            const GpsState g = SnapshotGpsState();
            double northing = 0, easting = 0;
            LatLonToGrid(row.latitude, row.longitude, &northing, &easting);
            EXPECT_NEAR(g.latitude, row.latitude, 1e-12);
            EXPECT_NEAR(g.longitude, row.longitude, 1e-12);
            EXPECT_NEAR(g.gridEasting, easting, 1e-6);
            EXPECT_NEAR(g.gridNorthing, northing, 1e-6);
            EXPECT_EQ(g.latHemisphere, u'S') << "hemisphere untouched";
            EXPECT_EQ(g.utmEasting, 123.0) << "UTM untouched";
            FlushPaints();
            EXPECT_GT(record.paints, paints);
            EXPECT_EQ(record.lastErase, 1);
        }
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, 40006, 0), 0);
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, 2, 0), 1);
    });
    EXPECT_TRUE(run.closed);
}

TEST_F(GotoCoordDialogTest, ExitWithoutGoToClearsGotoActiveAndRepaints)
{
    gotoActive = 1;
    int paints = 0;
    EXPECT_TRUE(RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget*) {
        FlushPaints();
        paints = record.paints;
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, 2, 0), 1);
    }).closed);
    EXPECT_EQ(gotoActive.load(), 0);
    FlushPaints();
    EXPECT_GT(record.paints, paints);
    EXPECT_EQ(record.lastErase, 1);
}

TEST_F(GotoCoordDialogTest, LiveSentencesAreHeldBackWhileActiveButTheEmulationFeedIsNot)
{
    // A receiver's fix far from the typed point (Lago di Garda, 45.6 N 10.6 E).
    const char* live = "$GPGGA,120000.00,4536.000,N,01036.000,E,1,08,0.9,65.0,M,47.0,M,,*47\r\n";
    EXPECT_TRUE(RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget*) {
        GoTo(dialog, {u"44", u"20", u"55.44", u"11", u"43", u"3"});
        EXPECT_EQ(FrameSentence(live), kFrameIgnored);
        EXPECT_NEAR(SnapshotGpsState().latitude, 44.348733333333335, 1e-12) << "typed point kept";
        GoTo(dialog, {u"10", u"0", u"0", u"10", u"0", u"0"});
        ASSERT_EQ(FeedEmulatedSentence(1), 14);
        EXPECT_NEAR(SnapshotGpsState().latitude, 44.0 + 20.924 / 60.0, 1e-9) << "4420.924,N replaces the point";
        GotoCoordDlgProc(dialog, kMsgCommand, 2, 0);
    }).closed);
    EXPECT_EQ(FrameSentence(live), kFrameGga);
    EXPECT_NEAR(SnapshotGpsState().latitude, 45.6, 1e-9) << "accepted again after Exit";
}

TEST_F(GotoCoordDialogTest, PersonTypesACoordinateAndClicksGoToThenExit)
{
    bool openAfterGoTo = false;
    const DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle, QWidget* widget) {
        const std::pair<int32_t, const char*> typed[] = {{1018, "44"}, {1019, "20"}, {1020, "55.44"},
                                                         {1015, "11"}, {1016, "43"}, {1017, "3"}};
        for (const auto& [id, text] : typed) TypeInto(widget, id, text);
        Click(widget, 1);
        openAfterGoTo = widget->isVisible();
        EXPECT_EQ(gotoActive.load(), 1);
        Click(widget, 2);
    });
    EXPECT_TRUE(run.closed);
    EXPECT_TRUE(openAfterGoTo);
    EXPECT_EQ(gotoActive.load(), 0);
    EXPECT_NEAR(SnapshotGpsState().latitude, 44.348733333333335, 1e-12);
    EXPECT_NEAR(SnapshotGpsState().longitude, 11.7175, 1e-12);
}

}  // namespace
