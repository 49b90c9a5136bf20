// GoTo coordinate dialog: "0.0" in the six fields, degrees/minutes/seconds to
// latitude, longitude and plane grid, gotoActive and main-window repaints, live
// sentences held back while a GoTo is active; messages, then typing and clicks.
#include <QTest>
#include <QWidget>

#include <cstring>
#include <mutex>

#include "dialog_support.h"
#include "dialogs/dialogs.h"
#include "geo/geo.h"
#include "gps/emulation.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "store/settings.h"

namespace {

class GotoCoordDialogTest : public DialogTest {};

// Rows in the dialog's order: latitude 1018 1019 1020, longitude 1015 1016 1017.
struct Typed {
    const char16_t* lat[3];
    const char16_t* lon[3];
};

void TypeByMessage(WindowHandle dialog, const Typed& t)
{
    SetDlgItemText(dialog, 1018, t.lat[0]);
    SetDlgItemText(dialog, 1019, t.lat[1]);
    SetDlgItemText(dialog, 1020, t.lat[2]);
    SetDlgItemText(dialog, 1015, t.lon[0]);
    SetDlgItemText(dialog, 1016, t.lon[1]);
    SetDlgItemText(dialog, 1017, t.lon[2]);
}

// Frames a whole sentence byte by byte; returns what the '*' did.
FrameResult FrameSentence(const char* sentence)
{
    static char16_t buffer[kSentenceBufferSize];
    FramingState state{0, 0};
    FrameResult last = kFrameNone;
    for (const char* p = sentence; *p != 0; ++p) {
        FrameResult r = FrameByte(buffer, &state, static_cast<unsigned char>(*p));
        if (r != kFrameNone) last = r;
    }
    return last;
}

TEST_F(GotoCoordDialogTest, FieldsStartAtZeroPointZero)
{
    DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (int32_t id = 1015; id <= 1020; ++id) EXPECT_EQ(Utf8(FieldText(dialog, id)), "0.0") << "field " << id;
        EXPECT_TRUE(widget->windowFlags().testFlag(Qt::Tool)) << "a tool-window strip";
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, 2, 0), 1);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
}

TEST_F(GotoCoordDialogTest, GoToConvertsTheTypedPointAndStaysOpen)
{
    struct Row {
        const char* name;
        Typed typed;
        double latitude, longitude;
    };
    // Worked examples of the degrees/minutes/seconds conversion; hand computed for the rest.
    const Row rows[] = {
        {"Rocca", {{u"44", u"20", u"55.44"}, {u"11", u"43", u"3"}}, 44.348733333333335, 11.7175},
        {"negative degrees get minutes added", {{u"-9", u"30", u"0"}, {u"9", u"0", u"0"}}, -8.5, 9.0},
        {"empty fields count as 0", {{u"", u"", u""}, {u"", u"", u""}}, 0.0, 0.0},
        {"text that is not a number counts as 0", {{u"abc", u"N", u"x1"}, {u"E", u"-", u"."}}, 0.0, 0.0},
        {"number stops at the first foreign character", {{u"45°", u"30'", u"0\""}, {u"7,5", u"0", u"36e"}}, 45.5,
         7.01},
        // 21 zeros, "44", then "5": only the first 23 characters are read, giving 44, not 445.
        {"23 characters are read", {{u"000000000000000000000445", u"0", u"0"}, {u"0", u"0", u"0"}}, 44.0, 0.0},
    };
    DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (const Row& r : rows) {
            {
                std::lock_guard<std::mutex> lock(gpsMutex);
                gpsState.latHemisphere = u'S';
                gpsState.utmEasting = 123.0;
                gpsState.fixQuality = 2;
            }
            gotoActive.store(0);
            TypeByMessage(dialog, r.typed);
            FlushMainPaints();
            const int paintsBefore = MainPaintCount();
            EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, MakeWParam(1, kNotifyClicked), 0), 0) << r.name;
            EXPECT_TRUE(widget->isVisible()) << r.name;
            EXPECT_EQ(gotoActive.load(), 1) << r.name;
            GpsState g = SnapshotGpsState();
            EXPECT_NEAR(g.latitude, r.latitude, 1e-12) << r.name;
            EXPECT_NEAR(g.longitude, r.longitude, 1e-12) << r.name;
            double northing = 0, easting = 0;
            LatLonToGrid(r.latitude, r.longitude, &northing, &easting);
            EXPECT_NEAR(g.gridEasting, easting, 1e-6) << r.name;
            EXPECT_NEAR(g.gridNorthing, northing, 1e-6) << r.name;
            EXPECT_EQ(g.latHemisphere, u'S') << r.name << ": hemisphere untouched";
            EXPECT_EQ(g.utmEasting, 123.0) << r.name << ": UTM untouched";
            EXPECT_EQ(g.fixQuality, 2) << r.name << ": fix untouched";
            FlushMainPaints();
            EXPECT_GT(MainPaintCount(), paintsBefore) << r.name << ": the main view is repainted";
            EXPECT_EQ(LastPaintErased(), 1) << r.name;
        }
        GotoCoordDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(GotoCoordDialogTest, RoccaLandsOnItsPlaneGridPosition)
{
    // The first canned sentence is the same point; its grid values are x=716594.9 y=4914197.9.
    DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget*) {
        TypeByMessage(dialog, {{u"44", u"20", u"55.44"}, {u"11", u"43", u"3"}});
        GotoCoordDlgProc(dialog, kMsgCommand, 1, 0);
        GpsState g = SnapshotGpsState();
        EXPECT_NEAR(g.gridEasting, 716594.9, 0.05);
        EXPECT_NEAR(g.gridNorthing, 4914197.9, 0.05);
        // The same values again: the same position and one more repaint.
        FlushMainPaints();
        const int paintsBefore = MainPaintCount();
        GotoCoordDlgProc(dialog, kMsgCommand, 1, 0);
        GpsState again = SnapshotGpsState();
        EXPECT_EQ(again.gridEasting, g.gridEasting);
        EXPECT_EQ(again.gridNorthing, g.gridNorthing);
        FlushMainPaints();
        EXPECT_GT(MainPaintCount(), paintsBefore);
        GotoCoordDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(GotoCoordDialogTest, ExitWithoutGoToClearsGotoActiveAndRepaints)
{
    gotoActive.store(1);  // as a crashed-out earlier GoTo might have left it
    int paintsBefore = 0;
    DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        FlushMainPaints();
        paintsBefore = MainPaintCount();
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, 2, 0), 1);
        EXPECT_FALSE(widget->isVisible());
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
    EXPECT_EQ(gotoActive.load(), 0);
    FlushMainPaints();
    EXPECT_GT(MainPaintCount(), paintsBefore);
    EXPECT_EQ(LastPaintErased(), 1);
}

TEST_F(GotoCoordDialogTest, OtherCommandsAndMessagesChangeNothing)
{
    DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, MakeWParam(1018, 0x300), 0), 0);
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, 40006, 0), 0);
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgTimer, 11025, 0), 0);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(gotoActive.load(), 0);
        EXPECT_EQ(SnapshotGpsState().latitude, 0.0);
        GotoCoordDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(GotoCoordDialogTest, LiveSentencesAreHeldBackWhileActiveButTheEmulationFeedIsNot)
{
    // A real receiver's fix far from the typed point (Lago di Garda, 45.6 N 10.6 E).
    const char* live = "$GPGGA,120000.00,4536.000,N,01036.000,E,1,08,0.9,65.0,M,47.0,M,,*47\r\n";
    settings.gpsEmulation.store(0);
    DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget*) {
        TypeByMessage(dialog, {{u"44", u"20", u"55.44"}, {u"11", u"43", u"3"}});
        GotoCoordDlgProc(dialog, kMsgCommand, 1, 0);
        EXPECT_EQ(FrameSentence(live), kFrameIgnored);
        EXPECT_NEAR(SnapshotGpsState().latitude, 44.348733333333335, 1e-12) << "typed point kept";

        // The emulation tick does not look at gotoActive: its sentence replaces the point.
        TypeByMessage(dialog, {{u"10", u"0", u"0"}, {u"10", u"0", u"0"}});
        GotoCoordDlgProc(dialog, kMsgCommand, 1, 0);
        ASSERT_EQ(FeedEmulatedSentence(1), 14);
        EXPECT_NEAR(SnapshotGpsState().latitude, 44.0 + 20.924 / 60.0, 1e-9) << "4420.924,N";

        GotoCoordDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(FrameSentence(live), kFrameGga);
    EXPECT_NEAR(SnapshotGpsState().latitude, 45.6, 1e-9) << "sentences accepted again after Exit";
}

TEST_F(GotoCoordDialogTest, PersonTypesACoordinateAndPressesGoToThenExit)
{
    double northing = 0, easting = 0;
    LatLonToGrid(44.348733333333335, 11.7175, &northing, &easting);
    bool openAfterGoTo = false;
    DialogRun run = RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        TypeInto(widget, 1018, u"44");
        TypeInto(widget, 1019, u"20");
        TypeInto(widget, 1020, u"55.44");
        TypeInto(widget, 1015, u"11");
        TypeInto(widget, 1016, u"43");
        TypeInto(widget, 1017, u"3");
        EXPECT_EQ(Utf8(FieldText(dialog, 1020)), "55.44");
        ClickControl(widget, 1);
        openAfterGoTo = widget->isVisible();
        EXPECT_EQ(gotoActive.load(), 1);
        ClickControl(widget, 2);
    });
    EXPECT_TRUE(run.found);
    EXPECT_TRUE(openAfterGoTo);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
    EXPECT_EQ(gotoActive.load(), 0);
    GpsState g = SnapshotGpsState();
    EXPECT_NEAR(g.latitude, 44.348733333333335, 1e-12);
    EXPECT_NEAR(g.longitude, 11.7175, 1e-12);
    EXPECT_NEAR(g.gridEasting, easting, 1e-6);
    EXPECT_NEAR(g.gridNorthing, northing, 1e-6);
}

}  // namespace
