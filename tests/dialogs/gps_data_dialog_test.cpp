// Gps data dialog: empty fields until the first refresh, the ten field formats,
// altitude truncation, "OK" as the only way out; driven with messages and with
// the real timer and a real click.
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "dialog_support.h"
#include "dialogs/dialogs.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"

namespace {

constexpr int32_t kFieldIds[] = {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009};

class GpsDataDialogTest : public DialogTest {};

void Refresh(WindowHandle dialog)
{
    EXPECT_EQ(GpsDataDlgProc(dialog, kMsgTimer, 11025, 0), 0);
}

struct FieldRow {
    int32_t id;
    const char16_t* text;
};

void ExpectFields(WindowHandle dialog, const FieldRow* rows, size_t count, const char* what)
{
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(Utf8(FieldText(dialog, rows[i].id)), Utf8(rows[i].text)) << what << ", field " << rows[i].id;
}

TEST_F(GpsDataDialogTest, FieldsStayEmptyUntilTheFirstRefreshThenShowTheStartUpValues)
{
    // Start-up values: numbers 0, hemispheres 'N' and 'E', no time text yet.
    const FieldRow startUp[] = {
        {1000, u"N0.000000°"}, {1003, u"E0.000000°"}, {1002, u"z=0 x=0.0 y=0.0"}, {1006, u"x=0.0 y=0.0"},
        {1005, u"0"}, {1004, u"0"}, {1001, u""}, {1009, u"0"}, {1007, u"0.000000"}, {1008, u"0.000000"},
    };
    DialogRun run = RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget*) {
        for (int32_t id : kFieldIds) EXPECT_EQ(Utf8(FieldText(dialog, id)), "") << "field " << id << " before refresh";
        Refresh(dialog);
        ExpectFields(dialog, startUp, std::size(startUp), "before any sentence");
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgCommand, 1, 0), 1);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
}

TEST_F(GpsDataDialogTest, FirstCannedSentenceShowsTheTenFormats)
{
    // Example column of the field table: the first canned sentence of the emulation feed.
    const FieldRow canned[] = {
        {1000, u"N44.348733°"}, {1003, u"E11.717500°"}, {1002, u"z=32 x=716594.9 y=4914197.9"},
        {1006, u"x=716594.9 y=4914197.9"}, {1005, u"5"}, {1004, u"1"}, {1001, u"163400.0"},
        {1009, u"30"}, {1007, u"0.000000"}, {1008, u"0.000000"},
    };
    ASSERT_EQ(FeedEmulatedSentence(1), 14);
    DialogRun run = RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget*) {
        Refresh(dialog);
        ExpectFields(dialog, canned, std::size(canned), "first canned sentence");
        GpsDataDlgProc(dialog, kMsgCommand, 1, 0);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(GpsDataDialogTest, NumbersAreShownAsStoredWithAltitudeTruncatedTowardZero)
{
    struct Row {
        const char* name;
        double altitude, latitude, speed, course;
        const char16_t *altitudeText, *latitudeText, *speedText, *courseText;
    };
    // Hand computations: "%d" of the altitude truncated toward zero (NaN and
    // out-of-range values saturate), "%f" six decimals, signs as stored.
    const Row rows[] = {
        {"positive altitude", 30.7, 44.5, 12.25, 359.9, u"30", u"N44.500000°", u"12.250000", u"359.900000"},
        {"negative altitude", -12.9, 0.0, 0.0, 0.0, u"-12", u"N0.000000°", u"0.000000", u"0.000000"},
        {"just below one", 0.999, -1.5, 1.0e-7, 90.0, u"0", u"N-1.500000°", u"0.000000", u"90.000000"},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), 10.0, 100.0, 1.5, u"0", u"N10.000000°",
         u"100.000000", u"1.500000"},
        {"beyond int32", 1.0e12, 10.0, 100.0, 1.5, u"2147483647", u"N10.000000°", u"100.000000", u"1.500000"},
    };
    DialogRun run = RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget*) {
        for (const Row& r : rows) {
            {
                std::lock_guard<std::mutex> lock(gpsMutex);
                gpsState.altitude = r.altitude;
                gpsState.latitude = r.latitude;
                gpsState.speedKmh = r.speed;
                gpsState.course = r.course;
            }
            Refresh(dialog);
            EXPECT_EQ(Utf8(FieldText(dialog, 1009)), Utf8(r.altitudeText)) << r.name;
            EXPECT_EQ(Utf8(FieldText(dialog, 1000)), Utf8(r.latitudeText)) << r.name;
            EXPECT_EQ(Utf8(FieldText(dialog, 1007)), Utf8(r.speedText)) << r.name;
            EXPECT_EQ(Utf8(FieldText(dialog, 1008)), Utf8(r.courseText)) << r.name;
        }
        GpsDataDlgProc(dialog, kMsgCommand, 1, 0);
    });
    EXPECT_TRUE(run.found);
}

TEST_F(GpsDataDialogTest, OnlyCommandOneClosesTheDialog)
{
    DialogRun run = RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        // Command 2 (the cancel key), clicks on other controls and unknown messages change nothing.
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgCommand, 2, 0), 0);
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgCommand, MakeWParam(1000, 0), 0), 0);
        EXPECT_EQ(GpsDataDlgProc(dialog, 0x0200, 0, 0), 0);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(Utf8(FieldText(dialog, 1000)), "") << "no refresh without a timer message";
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgCommand, 1, 0), 1);
        EXPECT_FALSE(widget->isVisible());
        // The timer went with the "OK": there is nothing left to stop.
        EXPECT_EQ(StopTimer(dialog, 11025), 0);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
}

TEST_F(GpsDataDialogTest, RealTimerRefreshesAndEscapeKeepsItOpenUntilOkIsClicked)
{
    ASSERT_EQ(FeedEmulatedSentence(1), 14);
    bool closedByEscape = true;
    DialogRun run = RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (int32_t id : kFieldIds) {
            auto* edit = qobject_cast<QLineEdit*>(ControlWidget(widget, id));
            ASSERT_NE(edit, nullptr) << "field " << id;
            EXPECT_TRUE(edit->isReadOnly()) << "field " << id;
        }
        // Waits for timer 11025 to fire at all; how soon is measured nowhere here.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !FieldText(dialog, 1000).empty(); }, 20000));
        EXPECT_EQ(Utf8(FieldText(dialog, 1000)), "N44.348733°");
        EXPECT_EQ(Utf8(FieldText(dialog, 1001)), "163400.0");
        PressKey(widget, Qt::Key_Escape);
        closedByEscape = !widget->isVisible();
        ClickControl(widget, 1);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(closedByEscape);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
}

TEST_F(GpsDataDialogTest, ShowsThePointOfAGoToAndOnlyTheGridOfAPreferenceGoTo)
{
    // Refreshes once and returns the fields latitude, longitude, UTM and grid.
    auto readFields = [] {
        std::u16string fields[4];
        RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget*) {
            Refresh(dialog);
            const int32_t ids[4] = {1000, 1003, 1002, 1006};
            for (int i = 0; i < 4; ++i) fields[i] = FieldText(dialog, ids[i]);
            GpsDataDlgProc(dialog, kMsgCommand, 1, 0);
        });
        return std::vector<std::string>{Utf8(fields[0]), Utf8(fields[1]), Utf8(fields[2]), Utf8(fields[3])};
    };
    ASSERT_EQ(FeedEmulatedSentence(1), 14);
    const std::vector<std::string> canned = readFields();

    // GoTo coordinate 45 0 0 / 10 0 0: latitude, longitude and grid change, UTM stays.
    RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget*) {
        SetDlgItemText(dialog, 1018, u"45");
        SetDlgItemText(dialog, 1015, u"10");
        for (int32_t id : {1016, 1017, 1019, 1020}) SetDlgItemText(dialog, id, u"0");
        GotoCoordDlgProc(dialog, kMsgCommand, 1, 0);
        GotoCoordDlgProc(dialog, kMsgCommand, 2, 0);
    });
    const std::vector<std::string> coordinate = readFields();
    EXPECT_EQ(coordinate[0], "N45.000000°");
    EXPECT_EQ(coordinate[1], "E10.000000°");
    EXPECT_EQ(coordinate[2], canned[2]);
    EXPECT_NE(coordinate[3], canned[3]);

    // GoTo preference point: the grid alone changes.
    WriteDeviceFile("My Documents/Velkar/vlpref.cfg", "[1][Uno][-][700000.25][4900000.75][-][-][0][-][-][-][-][-]");
    RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget*) {
        GotoPrefDlgProc(dialog, kMsgCommand, 1, 0);
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    });
    const std::vector<std::string> preference = readFields();
    EXPECT_EQ(preference[0], coordinate[0]);
    EXPECT_EQ(preference[1], coordinate[1]);
    EXPECT_EQ(preference[2], canned[2]);
    EXPECT_EQ(preference[3], "x=700000.2 y=4900000.8");
}

}  // namespace
