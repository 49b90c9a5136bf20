// Map set dialog: the default map without a catalogue, choosing a map, "Ok" storing the
// typed calibration into the map shown before and switching, the 19-character reading,
// "Cancel", an empty catalogue, long names and paths; messages, then keys and clicks.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "app/globals.h"
#include "dialogs/dialogs.h"
#include "platform/draw.h"
#include "store/maps.h"
#include "view/view.h"
#include "ui_support.h"

namespace {

class MapSetDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_NE(CreateShellWindow(), nullptr);
    }
    // Three maps, their bitmaps of three sizes so that a reload shows in mapBitmap.
    void WriteThreeMaps()
    {
        WriteDeviceFile(kMapFile,
                        "[1][Centro][\\My Documents\\Velkar\\centro.bmp][716346.6][4914433.5][717261.9][4913879.2]"
                        "[741][498][3][4][0][-]\n"
                        "[2][Rocca][\\My Documents\\Velkar\\rocca.bmp][716000.0][4915000.0][716500.0][4914500.0]"
                        "[50][40][-5][6][0][-]\n"
                        "[3][Lago][\\My Documents\\Velkar\\lago.bmp][700000.5][4900000.25][701000.75][4899000.125]"
                        "[30][20][7][-8][0][-]\n");
        WriteBmp("My Documents/Velkar/centro.bmp", 74, 49);
        WriteBmp("My Documents/Velkar/rocca.bmp", 50, 40);
        WriteBmp("My Documents/Velkar/lago.bmp", 30, 20);
        ASSERT_EQ(LoadMapCatalogue(), 1);
        currentMap = 0;
        SwitchMapBitmap();  // as at window creation
    }
};

int32_t BitmapWidth()
{
    int32_t width = -1, height = -1;
    if (mapBitmap != nullptr) GetBitmapSize(mapBitmap, &width, &height);
    return width;
}

QComboBox* Combo(QWidget* dialog) { return qobject_cast<QComboBox*>(ControlWidget(dialog, 1024)); }

TEST_F(MapSetDialogTest, DefaultMapWithoutCatalogueShowsOneUnnamedEntry)
{
    const DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        const std::pair<int32_t, const char*> fields[] = {
            {1005, "716346.600000"}, {1006, "4914433.500000"}, {1007, "717261.900000"}, {1008, "4913879.200000"},
            {1010, "741"}, {1011, "498"}, {1009, ".\\temp.bmp"}, {1012, "0"}, {1016, "0"}};
        for (const auto& [id, text] : fields) {
            EXPECT_EQ(FieldText(dialog, id), text) << id;
            auto* edit = qobject_cast<QLineEdit*>(ControlWidget(widget, id));
            EXPECT_TRUE(edit != nullptr && edit->isReadOnly() == (id != 1012 && id != 1016)) << id;
        }
        ASSERT_NE(Combo(widget), nullptr);
        EXPECT_EQ(Combo(widget)->count(), 1);
        EXPECT_EQ(Combo(widget)->itemText(0), "");
        EXPECT_TRUE(Combo(widget)->isEditable());
        EXPECT_EQ(SendDlgItemMessage(dialog, 1024, kComboGetCurSel, 0, 0), 0);
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1013, 0), 1);
    });
    EXPECT_TRUE(run.closed);
}

TEST_F(MapSetDialogTest, ChoosingShowsTheMapButNotItsCalibrationAndOkStoresIntoTheMapShownBefore)
{
    WriteThreeMaps();
    const DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget*) {
        SendDlgItemMessage(dialog, 1024, kComboSetCurSel, 2, 0);
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1024, kNotifySelChange), 0), 0);
        const std::pair<int32_t, const char*> lago[] = {
            {1005, "700000.500000"}, {1006, "4900000.250000"}, {1007, "701000.750000"}, {1008, "4899000.125000"},
            {1010, "30"}, {1011, "20"}, {1009, "\\My Documents\\Velkar\\lago.bmp"}, {1012, "3"}, {1016, "4"}};
        for (const auto& [id, text] : lago) EXPECT_EQ(FieldText(dialog, id), text) << id;
        SendDlgItemMessage(dialog, 1024, kComboSetCurSel, 1, 0);
        MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1024, 5), 0);  // not a selection change: shows nothing
        EXPECT_EQ(FieldText(dialog, 1010), "30");
        SendDlgItemMessage(dialog, 1024, kComboSetCurSel, 2, 0);
        SetDlgItemText(dialog, 1012, u"12");
        SetDlgItemText(dialog, 1016, u"-7");
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1014, 0), 1);
    });
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(currentMap, 2);
    EXPECT_EQ(mapTable[0].calibX, 12);
    EXPECT_EQ(mapTable[0].calibY, -7);
    EXPECT_EQ(mapTable[2].calibX, 7) << "the chosen map keeps its own";
    EXPECT_EQ(BitmapWidth(), 30);
}

TEST_F(MapSetDialogTest, CalibrationReadAsADecimalIntegerOfAtMostNineteenCharacters)
{
    // Hand worked: 25 characters (17 zeros, then 12345678) read as their first 19, i.e. 12.
    const std::pair<const char16_t*, int32_t> rows[] = {
        {u"-7", -7}, {u"  +42", 42}, {u"3.9", 3}, {u"abc", 0}, {u"0000000000000000012345678", 12},
        {u"99999999999", 2147483647}};
    for (const auto& [text, expected] : rows) {
        mapTable[0].calibY = -999;
        EXPECT_TRUE(RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget*) {
            SetDlgItemText(dialog, 1016, text);
            MapSetDlgProc(dialog, kMsgCommand, 1014, 0);
        }).closed);
        EXPECT_EQ(mapTable[0].calibY, expected) << expected;
    }
}

TEST_F(MapSetDialogTest, OkWithAnEmptyCatalogueKeepsTheCurrentMapAndReloadsIt)
{
    WriteDeviceFile(kMapFile, "");  // no record: lastMapIndex -1, the default entry stays
    WriteBmp("temp.bmp", 21, 13);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    ASSERT_EQ(lastMapIndex, -1);
    const DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        EXPECT_EQ(Combo(widget)->count(), 0);
        EXPECT_EQ(SendDlgItemMessage(dialog, 1024, kComboGetCurSel, 0, 0), -1);
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1024, kNotifySelChange), 0), 0);
        EXPECT_EQ(FieldText(dialog, 1010), "741");
        SetDlgItemText(dialog, 1012, u"4");
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1014, 0), 1);
    });
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(currentMap, 0);
    EXPECT_EQ(mapTable[0].calibX, 4);
    EXPECT_EQ(BitmapWidth(), 21);
}

TEST_F(MapSetDialogTest, LongNamesAreCutToTheListBufferAndLongPathsShownWhole)
{
    const std::string name60 = "Carta tecnica regionale foglio 220 sezione 090 Bologna Est!!";
    const std::string path200 = "\\Scheda di memoria\\Mappe\\" + std::string(175, 'm');  // beyond 128-unit buffers
    WriteDeviceFile(kMapFile, "[1][" + name60 + "][" + path200 + "][1][2][3][4][10][10][0][0][0][-]"
                              "[2][Breve][.\\b.bmp][1][2][3][4][10][10][0][0][0][-]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_TRUE(RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        ASSERT_EQ(Combo(widget)->count(), 2);
        EXPECT_EQ(Combo(widget)->itemText(0).toStdString(), name60.substr(0, 49));
        EXPECT_EQ(Combo(widget)->itemText(1), "Breve");
        EXPECT_EQ(FieldText(dialog, 1009), path200);
        MapSetDlgProc(dialog, kMsgCommand, 1013, 0);
    }).closed);
}

TEST_F(MapSetDialogTest, PersonChoosesTypesAndClicksOkOrCancel)
{
    // Down presses, button -> map shown after, calibration of map 0, bitmap width.
    const struct {
        int downs;
        int32_t button, map, calibX, calibY, width;
    } rows[] = {{2, 1013, 0, 3, 4, 74}, {1, 1014, 1, 12, -7, 50}, {0, 1014, 0, 12, -7, 64}};
    for (const auto& row : rows) {
        WriteThreeMaps();
        WriteBmp("My Documents/Velkar/centro.bmp", 64, 33);  // changed on disk: only a reload shows it
        const DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
            Combo(widget)->setFocus();
            for (int i = 0; i < row.downs; ++i) QTest::keyClick(Combo(widget), Qt::Key_Down);
            const char* widths[] = {"741", "50", "30"};
            EXPECT_EQ(FieldText(dialog, 1010), widths[row.downs]);
            TypeInto(widget, 1012, "12");
            TypeInto(widget, 1016, "-7");
            Click(widget, row.button);
        });
        EXPECT_TRUE(run.closed) << row.button;
        EXPECT_EQ(currentMap, row.map);
        EXPECT_EQ(mapTable[0].calibX, row.calibX);
        EXPECT_EQ(mapTable[0].calibY, row.calibY);
        EXPECT_EQ(BitmapWidth(), row.width) << row.button;
    }
}

}  // namespace
