// The five dialogs over a real main window, driven with messages (272, 273 with ids and notifications, 275)
// and clicks and keys on the real widgets: Gps data, Map set, General settings, GoTo coordinate and GoTo Pref.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <functional>
#include "base/text.h"
#include "dialogs/dialogs.h"
#include "geo/geo.h"
#include "../app/ui_support.h"
#include "view/view.h"

namespace {
struct DialogTest : UiTest { void SetUp() override { UiTest::SetUp(); ASSERT_NE(CreateShellWindow(), nullptr); } };
// Runs template templateId modally, owned by mainWindow; act runs once it shows, from inside the dialog's
// own event loop. A dialog still open after act is ended with 99. True when it showed and act closed it with 0.
bool RunDialogWith(int32_t templateId, DialogProc procedure, const std::function<void(WindowHandle, QWidget*)>& act)
{
    bool closed = false;
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QPointer<QWidget> widget;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QStringLiteral("dlg-%1").arg(templateId) && w->isVisible()) widget = w;
        if (widget == nullptr && ++polls > 2000 && QApplication::activeModalWidget() != nullptr)
            QApplication::activeModalWidget()->close();  // never shown: give up rather than hang
        if (widget == nullptr) return;
        poll.stop(), act(HandleOfWidget(widget), widget);
        if (!(closed = widget == nullptr || !widget->isVisible())) EndDialog(HandleOfWidget(widget), 99);
    });
    poll.start(5);
    const intptr_t result = RunDialog(&velkarResources, templateId, mainWindow, procedure, 0);
    poll.stop();
    QCoreApplication::processEvents();
    return closed && result == 0;
}
std::string FieldText(WindowHandle dialog, int32_t id)  // UTF-8
{
    char16_t text[1024] = {};
    return GetDlgItemText(dialog, id, text, 1024), TextToUtf8(text);
}
template <class W = QWidget> W* Control(QWidget* dialog, int32_t id)
{
    return qobject_cast<W*>(dialog->findChild<QWidget*>(QStringLiteral("ctl-%1").arg(id)));
}
void Click(QWidget* dialog, int32_t id)
{
    QWidget* control = Control(dialog, id);
    ASSERT_NE(control, nullptr) << "no control " << id;
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}
template <class F> void EditGps(F edit) { std::lock_guard<std::mutex> lock(gpsMutex); edit(gpsState); }
TEST_F(DialogTest, GpsDataEmptyUntilItsTimerRefreshesThenTheTenFormats)
{
    const int32_t ids[10] = {1000, 1003, 1002, 1006, 1005, 1004, 1001, 1009, 1007, 1008};
    // The first canned sentence, in the state before the dialog opens.
    const char* const expected[10] = {"N44.348733°", "E11.717500°", "z=32 x=716594.9 y=4914197.9",
                                      "x=716594.9 y=4914197.9", "5", "1", "163400.0", "30", "0.000000", "0.000000"};
    ASSERT_EQ(FeedEmulatedSentence(1), 14);
    EXPECT_TRUE(RunDialogWith(103, GpsDataDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (int32_t id : ids) {
            EXPECT_EQ(FieldText(dialog, id), "") << id;
            EXPECT_TRUE(Control<QLineEdit>(widget, id)->isReadOnly()) << id;
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !FieldText(dialog, 1000).empty(); }, 20000)) << "timer 11025";
        for (int i = 0; i < 10; ++i) EXPECT_EQ(FieldText(dialog, ids[i]), expected[i]) << ids[i];
        // The altitude truncated toward zero, out of range saturated: TruncToInt32 (base_test has its table).
        for (const auto& [altitude, text] : {std::pair{-12.9, "-12"}, {1.0e12, "2147483647"}}) {
            EditGps([&](GpsState& g) { g.altitude = altitude; });
            EXPECT_EQ(GpsDataDlgProc(dialog, kMsgTimer, 11025, 0), 0);
            EXPECT_EQ(FieldText(dialog, 1009), text) << altitude;
        }
        EXPECT_EQ(GpsDataDlgProc(dialog, kMsgCommand, 2, 0), 0);  // the cancel key (Escape: view_e2e)
        EXPECT_TRUE(widget->isVisible());
        Click(widget, 1);
        EXPECT_EQ(StopTimer(dialog, 11025), 0) << "the timer went before the dialog";
    }));
}
int32_t BitmapWidth() { int32_t w = -1, h = -1; return mapBitmap != nullptr && GetBitmapSize(mapBitmap, &w, &h), w; }
// Without a catalogue the default map is the one unnamed entry, corners read only; an empty catalogue
// lists nothing and OK keeps the current map, reloads its bitmap and reads 19 characters of a field;
// then three maps chosen with the keys.
TEST_F(DialogTest, MapSetDefaultMapEmptyCatalogueAndThreeMapsChosenWithTheKeysOkOrCancel)
{
    EXPECT_TRUE(RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        const std::pair<int32_t, const char*> fields[] = {{1005, "716346.600000"}, {1006, "4914433.500000"},
            {1007, "717261.900000"}, {1008, "4913879.200000"}, {1010, "741"}, {1011, "498"}, {1009, ".\\temp.bmp"},
            {1012, "0"}, {1016, "0"}};
        for (auto [id, text] : fields) EXPECT_EQ(FieldText(dialog, id), text) << id;
        for (int32_t id = 1005; id <= 1016; id += id == 1012 ? 4 : 1)
            EXPECT_EQ(Control<QLineEdit>(widget, id)->isReadOnly(), id < 1012) << id;
        ASSERT_EQ(Control<QComboBox>(widget, 1024)->count(), 1);
        EXPECT_EQ(Control<QComboBox>(widget, 1024)->itemText(0), "");
        EXPECT_TRUE(Control<QComboBox>(widget, 1024)->isEditable());
        EXPECT_EQ(SendDlgItemMessage(dialog, 1024, kComboGetCurSel, 0, 0), 0);
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1013, 0), 1);
    }));
    WriteDeviceFile(kMapFile, ""), WriteBmp("temp.bmp", 21, 13);  // no record: lastMapIndex -1, the default entry stays
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_TRUE(RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        EXPECT_EQ(Control<QComboBox>(widget, 1024)->count(), 0);
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1024, kNotifySelChange), 0), 0);
        EXPECT_EQ(FieldText(dialog, 1010), "741");
        SetDlgItemText(dialog, 1012, u"4");
        SetDlgItemText(dialog, 1016, u"0000000000000000012345678");  // 25 characters: the first 19 read 12
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1014, 0), 1);
    }));
    EXPECT_EQ(currentMap, 0);
    EXPECT_EQ(mapTable[0].calibX, 4);
    EXPECT_EQ(mapTable[0].calibY, 12);
    EXPECT_EQ(BitmapWidth(), 21);
    // Three maps with bitmaps of three widths, so that a reload shows in mapBitmap; a name longer than the
    // list's buffer, and a path longer than 128 units (no bitmap behind it). The calibration fields are set
    // as text (typing with real keys is dialogs_e2e's, in GoTo coordinate).
    const std::string name60 = "Carta tecnica regionale foglio 220 sezione 090 Bologna Est!!";
    const std::string path200 = "\\Scheda di memoria\\Mappe\\" + std::string(175, 'm');
    // Down presses, the chosen map's corner x and width shown, button -> map shown after, calibration of
    // map 0, bitmap width (64: reloaded).
    const struct { int downs; const char *corner, *width; int32_t button, map, calibX, calibY, bitmapWidth; } rows[] = {
        {2, "700000.500000", "30", 1013, 0, 3, 4, 74}, {1, "716000.000000", "50", 1014, 1, 12, -7, 50},
        {0, "716346.600000", "741", 1014, 0, 12, -7, 64}};
    WriteDeviceFile(kMapFile, "[1][Centro][\\My Documents\\Velkar\\c.bmp][716346.6][4914433.5][717261.9][4913879.2]"
                              "[741][498][3][4][0][-]\n[2][" + name60 + "][\\My Documents\\Velkar\\r.bmp][716000]"
                              "[4915000][716500][4914500][50][40][-5][6][0][-]\n[3][Lago][" + path200 +
                              "][700000.5][4900000.25][701000.75][4899000.125][30][20][7][-8][0][-]\n");
    WriteBmp("My Documents/Velkar/r.bmp", 50, 20);
    for (const auto& row : rows) {
        WriteBmp("My Documents/Velkar/c.bmp", 74, 20);
        ASSERT_EQ(LoadMapCatalogue(), 1);
        currentMap = 0, SwitchMapBitmap();  // as at window creation
        WriteBmp("My Documents/Velkar/c.bmp", 64, 33);  // changed on disk: only a reload shows it
        EXPECT_TRUE(RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
            Control<QComboBox>(widget, 1024)->setFocus();
            for (int i = 0; i < row.downs; ++i) QTest::keyClick(Control<QComboBox>(widget, 1024), Qt::Key_Down);
            // The chosen map's corners, size and path; the calibration stays the current map's.
            EXPECT_EQ(FieldText(dialog, 1005), row.corner);
            EXPECT_EQ(FieldText(dialog, 1010), row.width);
            EXPECT_TRUE(FieldText(dialog, 1012) == "3" && FieldText(dialog, 1016) == "4");
            EXPECT_EQ(Control<QComboBox>(widget, 1024)->itemText(1).toStdString(), name60.substr(0, 49));
            EXPECT_TRUE(row.downs != 2 || FieldText(dialog, 1009) == path200) << "a long path shown whole";
            SetDlgItemText(dialog, 1012, u"12"), SetDlgItemText(dialog, 1016, u"-7");
            Click(widget, row.button);
        }));
        EXPECT_EQ(currentMap, row.map);
        EXPECT_EQ(mapTable[0].calibX, row.calibX);
        EXPECT_EQ(mapTable[0].calibY, row.calibY);
        EXPECT_EQ(BitmapWidth(), row.bitmapWidth) << row.button;
        EXPECT_EQ(mapTable[1].calibX, -5) << "a chosen map keeps its own calibration";
    }
}
// Boxes 1010 to 1016 in order and the settings they stand for.
int32_t* const kBoxed[7] = {nullptr, &settings.trackToTarget, &settings.proximity, &settings.audioMessages,
                            &settings.enableLog, &settings.prefInDegrees, &settings.mapInDegrees};
int32_t Boxed(int i) { return i == 0 ? settings.gpsEmulation.load() : *kBoxed[i]; }
// Values a settings file can hold: anything but exactly 1 is unchecked and stored back as 0. A click on
// "points in degrees" is stored only by OK: "Reload Pref." (command 2) reads the points in the stored unit.
TEST_F(DialogTest, SettingsBoxesCheckedOnlyForExactlyOneReloadPrefInTheStoredUnitOkStoresOneOrZero)
{
    WriteDeviceFile(kPrefFile, "[1][Rocca][-][44.348733][11.7175][-][-][1][\\bip.wav][-][-][-][-]");
    double northing = 0, easting = 0;
    LatLonToGrid(44.348733, 11.7175, &northing, &easting);
    const int32_t rows[2][2][7] = {{{1, 0, 2, -1, 1, 0, 1}, {1, 0, 0, 0, 1, 0, 1}},
                                   {{2, 1, 0, 1, 7, 1, 0}, {0, 1, 0, 1, 0, 1, 0}}};
    for (const auto& [before, checked] : rows) {
        settings.gpsEmulation = before[0];
        for (int i = 1; i < 7; ++i) *kBoxed[i] = before[i];
        EXPECT_TRUE(RunDialogWith(107, SettingsDlgProc, [&](WindowHandle dialog, QWidget* widget) {
            for (int i = 0; i < 7; ++i) EXPECT_EQ(SendDlgItemMessage(dialog, 1010 + i, kCheckBoxGetCheck, 0, 0), checked[i]);
            Click(widget, 1015);  // the box's own command, 1015, stores nothing (checked below)
            EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 2, 0), 0);
            EXPECT_TRUE(widget->isVisible());
            EXPECT_NEAR(prefTable[0].x, before[5] == 1 ? easting : 44.348733, 1e-6);
            EXPECT_NEAR(prefTable[0].y, before[5] == 1 ? northing : 11.7175, 1e-6);
            for (int i = 0; i < 7; ++i) EXPECT_EQ(Boxed(i), before[i]) << "nothing stored before OK";
            EXPECT_EQ(SettingsDlgProc(dialog, kMsgCommand, 1, 0), 1);
        }));
        for (int i = 0; i < 7; ++i) EXPECT_EQ(Boxed(i), i == 5 ? 1 - checked[i] : checked[i]) << 1010 + i;
    }
}
// GoTo coordinate, then GoTo preference point: each puts the view on its point while it stays open,
// and Exit ends the GoTo.
TEST_F(DialogTest, GotoCoordAndGotoPrefPutTheViewOnTheTypedOrChosenPointExitEndsTheGoTo)
{
    auto repainted = [before = 0]() mutable {  // erased paints of the main view since the last call
        FlushPaints();
        return std::exchange(before, record.paints) < record.paints && record.lastErase == 1;
    };
    // Rocca is the worked example; the rest hand computed (negative degrees: geo_test's DmsToDegrees row;
    // a number cut at a foreign character: base_test's TextToDouble rows). Fields pass through 24-unit buffers.
    const int32_t ids[6] = {1018, 1019, 1020, 1015, 1016, 1017};  // latitude, then longitude
    const struct { const char* name; std::array<const char16_t*, 6> fields; double latitude, longitude; } rows[] = {
        {"Rocca", {u"44", u"20", u"55.44", u"11", u"43", u"3"}, 44.348733333333335, 11.7175},
        {"empty fields count as 0", {u"", u"", u"", u"", u"", u""}, 0.0, 0.0},
        {"a decimal comma, as Italians write", {u"45,695", u"0", u"0", u"10,7125", u"0", u"0,5"}, 45.695, 10.7126388888889},
        {"23 characters read: 44, not 445", {u"000000000000000000000445", u"0", u"0", u"0", u"0", u"0"}, 44.0, 0.0},
    };
    EXPECT_TRUE(RunDialogWith(114, GotoCoordDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (int32_t id = 1015; id <= 1020; ++id) EXPECT_EQ(FieldText(dialog, id), "0.0") << id;
        EXPECT_TRUE(widget->windowFlags().testFlag(Qt::Tool));
        EditGps([](GpsState& g) { g.utmEasting = 123.0; });
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            for (int i = 0; i < 6; ++i) SetDlgItemText(dialog, ids[i], row.fields[i]);
            gotoActive = 0, repainted();
            EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, MakeWParam(1, kNotifyClicked), 0), 0);  // "GoTo"
            EXPECT_TRUE(widget->isVisible());
            EXPECT_EQ(gotoActive.load(), 1);
            const GpsState g = SnapshotGpsState();
            double northing = 0, easting = 0;
            LatLonToGrid(row.latitude, row.longitude, &northing, &easting);
            EXPECT_NEAR(g.latitude, row.latitude, 1e-12);
            EXPECT_NEAR(g.longitude, row.longitude, 1e-12);
            EXPECT_NEAR(g.gridEasting, easting, 1e-6);
            EXPECT_NEAR(g.gridNorthing, northing, 1e-6);
            EXPECT_EQ(g.utmEasting, 123.0) << "UTM untouched";
            EXPECT_TRUE(repainted());
        }
        EXPECT_EQ(GotoCoordDlgProc(dialog, kMsgCommand, 2, 0), 1);
    }));
    EXPECT_EQ(gotoActive.load(), 0) << "Exit clears it";
    EXPECT_TRUE(repainted());
    // GoTo Pref: the third name chosen.
    WriteDeviceFile(kPrefFile, "[1][Rocca][-][716594.9][4914197.9][-][-][1][\\bip.wav][-][-][-][-]\n"
                               "[2][Ponte][-][716700.5][4914100.25][-][-][0][\\bip.wav][-][-][-][-]\n"
                               "[3][Chiesa][-][716800.75][4914300.125][-][-][1][\\din.wav][-][-][-][-]\n"
                               "[4][Rifugio Monte Cimone sul crinal][-][716900][4914400][-][-][0][-][-][-][-][-]\n");
    EditGps([](GpsState& g) { g.latitude = 1.25; });
    EXPECT_TRUE(RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        QListWidget* list = Control<QListWidget>(widget, 1023);
        ASSERT_EQ(list->count(), 4);
        EXPECT_EQ(list->item(3)->text(), "Rifugio Monte Cimone su");  // 31 -> 23
        // A strip at the client area's top left, not a centred box.
        EXPECT_TRUE(widget->windowFlags().testFlag(Qt::Tool));
        EXPECT_EQ(widget->frameGeometry().topLeft(),
                  WidgetOfHandle(mainWindow)->findChild<QWidget*>("velkar-client")->mapToGlobal(QPoint(0, 0)));
        EXPECT_EQ(SendDlgItemMessage(dialog, 1023, kListGetCurSel, 0, 0), 0) << "selectedPref shown";
        SendDlgItemMessage(dialog, 1023, kListSetCurSel, 3, 0);
        GotoPrefDlgProc(dialog, kMsgCommand, MakeWParam(1023, 2), 0);  // not a selection change
        EXPECT_EQ(selectedPref, 0);
        // A click on the third name: the press moves the selection, which the list then reports.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        EXPECT_EQ(selectedPref, 2);
        repainted();
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 1, 0), 0);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(gotoActive.load(), 1);
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(g.gridEasting, 716800.75);
        EXPECT_EQ(g.gridNorthing, 4914300.125);
        EXPECT_EQ(g.latitude, 1.25) << "placed in the plane grid only";
        EXPECT_TRUE(repainted());
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 2, 0), 1);
    }));
    EXPECT_EQ(gotoActive.load(), 0);
    // A shorter file at opening selects nothing (selectedPref 2 is one past its end); GoTo takes the point
    // of the earlier reading.
    WriteDeviceFile(kPrefFile, "[1][Nord][-][1][2][-][-][0][-][-][-][-][-]\n[2][Sud][-][3][4][-][-][0][-][-][-][-][-]\n");
    EditGps([](GpsState& g) { g.gridEasting = 0; });
    EXPECT_TRUE(RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        EXPECT_EQ(Control<QListWidget>(widget, 1023)->count(), 2);
        EXPECT_EQ(SendDlgItemMessage(dialog, 1023, kListGetCurSel, 0, 0), -1);
        GotoPrefDlgProc(dialog, kMsgCommand, 1, 0);
        EXPECT_EQ(SnapshotGpsState().gridEasting, 716800.75);
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    }));
    EXPECT_EQ(selectedPref, 2);
}
}  // namespace
