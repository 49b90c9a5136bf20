// Map set dialog: the default map without a catalogue, choosing another map,
// "Ok" storing the typed calibration into the map shown before and reloading the
// bitmap, the 19-character reading, "Cancel", an empty catalogue, long names.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include <string>

#include "app/globals.h"
#include "dialog_support.h"
#include "dialogs/dialogs.h"
#include "platform/draw.h"
#include "store/maps.h"
#include "view/view.h"

namespace {

class MapSetDialogTest : public DialogTest {
protected:
    // Three maps with bitmaps of three sizes, so that a reload shows in mapBitmap.
    void WriteThreeMapCatalogue()
    {
        WriteDeviceFile("My Documents/Velkar/vlmap.cfg",
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
        ASSERT_EQ(lastMapIndex, 2);
        currentMap = 0;
        SwitchMapBitmap();  // as at window creation
    }
};

struct BitmapSize {
    int32_t width = -1, height = -1;
};

BitmapSize SizeOfMapBitmap()
{
    BitmapSize s;
    if (mapBitmap == nullptr) return s;
    GetBitmapSize(mapBitmap, &s.width, &s.height);
    return s;
}

void ChooseByMessage(WindowHandle dialog, int position)
{
    SendDlgItemMessage(dialog, 1024, kComboSetCurSel, static_cast<uintptr_t>(position), 0);
    EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1024, kNotifySelChange), 0), 0);
}

TEST_F(MapSetDialogTest, DefaultMapWithoutCatalogueShowsOneUnnamedSelectedEntry)
{
    // Values of the built-in default map; start-up leaves lastMapIndex 0 without a file.
    const struct {
        int32_t id;
        const char* text;
    } expected[] = {
        {1005, "716346.600000"}, {1006, "4914433.500000"}, {1007, "717261.900000"}, {1008, "4913879.200000"},
        {1010, "741"},           {1011, "498"},            {1009, ".\\temp.bmp"},   {1012, "0"},
        {1016, "0"},
    };
    ASSERT_EQ(LoadMapCatalogue(), 0);
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        for (const auto& e : expected) EXPECT_EQ(Utf8(FieldText(dialog, e.id)), e.text) << "field " << e.id;
        EXPECT_EQ(SendDlgItemMessage(dialog, 1024, kComboGetCurSel, 0, 0), 0);
        auto* combo = qobject_cast<QComboBox*>(ControlWidget(widget, 1024));
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->count(), 1);
        EXPECT_EQ(combo->itemText(0).toStdString(), "");
        EXPECT_TRUE(combo->isEditable());
        for (int32_t id : {1005, 1006, 1007, 1008, 1009, 1010, 1011}) {
            auto* edit = qobject_cast<QLineEdit*>(ControlWidget(widget, id));
            ASSERT_NE(edit, nullptr);
            EXPECT_TRUE(edit->isReadOnly()) << "field " << id;
        }
        for (int32_t id : {1012, 1016}) {
            auto* edit = qobject_cast<QLineEdit*>(ControlWidget(widget, id));
            ASSERT_NE(edit, nullptr);
            EXPECT_FALSE(edit->isReadOnly()) << "field " << id;
        }
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1013, 0), 1);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
}

TEST_F(MapSetDialogTest, ChoosingAnotherMapShowsItButLeavesTheCalibrationFields)
{
    WriteThreeMapCatalogue();
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget*) {
        EXPECT_EQ(Utf8(FieldText(dialog, 1012)), "3");
        EXPECT_EQ(Utf8(FieldText(dialog, 1016)), "4");
        ChooseByMessage(dialog, 2);
        // Corners, size and file of "Lago" (the catalogue's third record).
        EXPECT_EQ(Utf8(FieldText(dialog, 1005)), "700000.500000");
        EXPECT_EQ(Utf8(FieldText(dialog, 1006)), "4900000.250000");
        EXPECT_EQ(Utf8(FieldText(dialog, 1007)), "701000.750000");
        EXPECT_EQ(Utf8(FieldText(dialog, 1008)), "4899000.125000");
        EXPECT_EQ(Utf8(FieldText(dialog, 1010)), "30");
        EXPECT_EQ(Utf8(FieldText(dialog, 1011)), "20");
        EXPECT_EQ(Utf8(FieldText(dialog, 1009)), "\\My Documents\\Velkar\\lago.bmp");
        EXPECT_EQ(Utf8(FieldText(dialog, 1012)), "3") << "calibration of the map current at opening";
        EXPECT_EQ(Utf8(FieldText(dialog, 1016)), "4");
        // Other notifications of the combo box show nothing new.
        SendDlgItemMessage(dialog, 1024, kComboSetCurSel, 1, 0);
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1024, 5), 0), 0);
        EXPECT_EQ(Utf8(FieldText(dialog, 1010)), "30");
        ChooseByMessage(dialog, 2);
        SetDlgItemText(dialog, 1012, u"12");
        SetDlgItemText(dialog, 1016, u"-7");
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1014, 0), 1);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
    EXPECT_EQ(currentMap, 2);
    EXPECT_EQ(mapTable[0].calibX, 12) << "typed values go to the map shown before";
    EXPECT_EQ(mapTable[0].calibY, -7);
    EXPECT_EQ(mapTable[2].calibX, 7) << "the chosen map keeps its own calibration";
    EXPECT_EQ(mapTable[2].calibY, -8);
    BitmapSize s = SizeOfMapBitmap();
    EXPECT_EQ(s.width, 30);
    EXPECT_EQ(s.height, 20);
}

TEST_F(MapSetDialogTest, OkWithoutChangingTheListStoresTheCalibrationAndReloadsTheBitmap)
{
    WriteThreeMapCatalogue();
    ASSERT_EQ(SizeOfMapBitmap().width, 74);
    // The file changes on disk: only a reload can show the new size.
    WriteBmp("My Documents/Velkar/centro.bmp", 64, 33);
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget*) {
        SetDlgItemText(dialog, 1012, u"12");
        SetDlgItemText(dialog, 1016, u"-7");
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1014, kNotifyClicked), 0), 1);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(currentMap, 0);
    EXPECT_EQ(mapTable[0].calibX, 12);
    EXPECT_EQ(mapTable[0].calibY, -7);
    BitmapSize s = SizeOfMapBitmap();
    EXPECT_EQ(s.width, 64);
    EXPECT_EQ(s.height, 33);
}

TEST_F(MapSetDialogTest, CalibrationTextIsReadAsAtMostNineteenCharactersOfADecimalInteger)
{
    struct Row {
        const char* name;
        const char16_t* text;
        int32_t expected;
    };
    // Decimal integer conversion of the first 19 characters (hand worked).
    const Row rows[] = {
        {"plain", u"12", 12},
        {"negative", u"-7", -7},
        {"blanks and plus sign", u"  +42", 42},
        {"stops at the point", u"3.9", 3},
        {"stops at a letter", u"15px", 15},
        {"no digits", u"abc", 0},
        {"empty", u"", 0},
        {"sign only", u"-", 0},
        // 25 characters: 17 zeros, then 12345678. The first 19 read as 12.
        {"25 characters", u"0000000000000000012345678", 12},
        {"beyond int32 saturates", u"99999999999", 2147483647},
    };
    for (const Row& r : rows) {
        mapTable[0].calibY = -999;
        DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget*) {
            SetDlgItemText(dialog, 1016, r.text);
            MapSetDlgProc(dialog, kMsgCommand, 1014, 0);
        });
        EXPECT_FALSE(run.leftOpen) << r.name;
        EXPECT_EQ(mapTable[0].calibY, r.expected) << r.name;
    }
}

TEST_F(MapSetDialogTest, CancelAfterChangingTheListChangesNothing)
{
    WriteThreeMapCatalogue();
    BitmapHandle before = mapBitmap;
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget*) {
        ChooseByMessage(dialog, 1);
        SetDlgItemText(dialog, 1012, u"55");
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1013, 0), 1);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
    EXPECT_EQ(currentMap, 0);
    EXPECT_EQ(mapBitmap, before);
    EXPECT_EQ(mapTable[0].calibX, 3);
    EXPECT_EQ(SizeOfMapBitmap().width, 74);
}

TEST_F(MapSetDialogTest, OkWithAnEmptyCatalogueKeepsTheCurrentMapAndReloadsIt)
{
    // An empty catalogue file: lastMapIndex -1, the default entry stays at index 0.
    WriteDeviceFile("My Documents/Velkar/vlmap.cfg", "");
    WriteBmp("temp.bmp", 21, 13);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    ASSERT_EQ(lastMapIndex, -1);
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        auto* combo = qobject_cast<QComboBox*>(ControlWidget(widget, 1024));
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->count(), 0);
        EXPECT_EQ(SendDlgItemMessage(dialog, 1024, kComboGetCurSel, 0, 0), -1);
        EXPECT_EQ(Utf8(FieldText(dialog, 1009)), ".\\temp.bmp");
        // A selection-change report without a selection shows nothing else.
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, MakeWParam(1024, kNotifySelChange), 0), 0);
        EXPECT_EQ(Utf8(FieldText(dialog, 1010)), "741");
        SetDlgItemText(dialog, 1012, u"4");
        EXPECT_EQ(MapSetDlgProc(dialog, kMsgCommand, 1014, 0), 1);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(currentMap, 0);
    EXPECT_EQ(mapTable[0].calibX, 4);
    BitmapSize s = SizeOfMapBitmap();
    EXPECT_EQ(s.width, 21);
    EXPECT_EQ(s.height, 13);
}

TEST_F(MapSetDialogTest, NamesLongerThanTheListBufferAreCut)
{
    // 60-character name: the list shows its first 49 characters.
    const std::string name60 = "Carta tecnica regionale foglio 220 sezione 090 Bologna Est!!";
    ASSERT_EQ(name60.size(), 60u);
    WriteDeviceFile("My Documents/Velkar/vlmap.cfg",
                    "[1][" + name60 + "][.\\a.bmp][1][2][3][4][10][10][0][0][0][-]"
                    "[2][Breve][.\\b.bmp][1][2][3][4][10][10][0][0][0][-]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        auto* combo = qobject_cast<QComboBox*>(ControlWidget(widget, 1024));
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->itemText(0).toStdString(), name60.substr(0, 49));
        EXPECT_EQ(combo->itemText(1).toStdString(), "Breve");
        MapSetDlgProc(dialog, kMsgCommand, 1013, 0);
    });
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(MapSetDialogTest, ALongBitmapPathIsShownWhole)
{
    // 200 characters, longer than the 128-unit buffer of the formatted fields.
    const std::string path = "\\Scheda di memoria\\Mappe\\" + std::string(200 - 25, 'm');
    ASSERT_EQ(path.size(), 200u);
    WriteDeviceFile("My Documents/Velkar/vlmap.cfg", "[1][Lunga][" + path + "][1][2][3][4][10][10][0][0][0][-]");
    ASSERT_EQ(LoadMapCatalogue(), 1);
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget*) {
        EXPECT_EQ(Utf8(FieldText(dialog, 1009)), path);
        MapSetDlgProc(dialog, kMsgCommand, 1013, 0);
    });
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(MapSetDialogTest, PersonChoosesAMapTypesTheCalibrationAndClicksOk)
{
    WriteThreeMapCatalogue();
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        auto* combo = qobject_cast<QComboBox*>(ControlWidget(widget, 1024));
        ASSERT_NE(combo, nullptr);
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);  // "Centro" -> "Rocca"
        EXPECT_EQ(Utf8(FieldText(dialog, 1009)), "\\My Documents\\Velkar\\rocca.bmp");
        EXPECT_EQ(Utf8(FieldText(dialog, 1010)), "50");
        TypeInto(widget, 1012, u"12");
        TypeInto(widget, 1016, u"-7");
        ClickControl(widget, 1014);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
    EXPECT_EQ(currentMap, 1);
    EXPECT_EQ(mapTable[0].calibX, 12);
    EXPECT_EQ(mapTable[0].calibY, -7);
    EXPECT_EQ(mapTable[1].calibX, -5);
    EXPECT_EQ(SizeOfMapBitmap().width, 50);
}

TEST_F(MapSetDialogTest, PersonChoosesAMapAndClicksCancel)
{
    WriteThreeMapCatalogue();
    DialogRun run = RunDialogWith(106, MapSetDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        auto* combo = qobject_cast<QComboBox*>(ControlWidget(widget, 1024));
        ASSERT_NE(combo, nullptr);
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        QTest::keyClick(combo, Qt::Key_Down);
        EXPECT_EQ(Utf8(FieldText(dialog, 1010)), "30");
        TypeInto(widget, 1016, u"9");
        ClickControl(widget, 1013);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(currentMap, 0);
    EXPECT_EQ(mapTable[0].calibY, 4);
    EXPECT_EQ(SizeOfMapBitmap().width, 74);
}

}  // namespace
