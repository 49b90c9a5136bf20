// GoTo preference point dialog: the list read afresh from the file, selection to
// selectedPref, "GoTo" to the point in the plane grid, shorter and empty files,
// long names; messages, then clicks on the real list and buttons.
#include <QListWidget>
#include <QTest>
#include <QWidget>

#include <mutex>
#include <string>

#include "app/globals.h"
#include "dialog_support.h"
#include "dialogs/dialogs.h"
#include "gps/gps_state.h"
#include "platform/qt/qt_handles.h"
#include "store/prefs.h"

namespace {

class GotoPrefDialogTest : public DialogTest {
protected:
    void WriteFourPoints()
    {
        WriteDeviceFile("My Documents/Velkar/vlpref.cfg",
                        "[1][Rocca][-][716594.9][4914197.9][-][-][1][\\bip.wav][-][-][-][-]\n"
                        "[2][Ponte][-][716700.5][4914100.25][-][-][0][\\bip.wav][-][-][-][-]\n"
                        "[3][Chiesa][-][716800.75][4914300.125][-][-][1][\\din.wav][-][-][-][-]\n"
                        "[4][Fonte][-][716900][4914400][-][-][0][-][-][-][-][-]\n");
    }
};

QListWidget* PointList(QWidget* dialog)
{
    return qobject_cast<QListWidget*>(ControlWidget(dialog, 1023));
}

std::string ListText(QWidget* dialog, int row)
{
    QListWidget* list = PointList(dialog);
    if (list == nullptr || list->item(row) == nullptr) return "<missing>";
    return list->item(row)->text().toStdString();
}

TEST_F(GotoPrefDialogTest, ChoosingTheThirdNameAndGoToPutsTheViewOnThatPoint)
{
    WriteFourPoints();
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = 1.25;
        gpsState.utmNorthing = 77.0;
    }
    DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        ASSERT_NE(PointList(widget), nullptr);
        ASSERT_EQ(PointList(widget)->count(), 4);
        const char* names[] = {"Rocca", "Ponte", "Chiesa", "Fonte"};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(ListText(widget, i), names[i]);
        EXPECT_EQ(SendDlgItemMessage(dialog, 1023, kListGetCurSel, 0, 0), 0) << "selectedPref shown";

        SendDlgItemMessage(dialog, 1023, kListSetCurSel, 2, 0);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, MakeWParam(1023, kNotifySelChange), 0), 0);
        EXPECT_EQ(selectedPref, 2);
        FlushMainPaints();
        const int paintsBefore = MainPaintCount();
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 1, 0), 0);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(gotoActive.load(), 1);
        GpsState g = SnapshotGpsState();
        EXPECT_EQ(g.gridEasting, 716800.75);
        EXPECT_EQ(g.gridNorthing, 4914300.125);
        EXPECT_EQ(g.latitude, 1.25) << "placed in the plane grid only";
        EXPECT_EQ(g.utmNorthing, 77.0);
        FlushMainPaints();
        EXPECT_GT(MainPaintCount(), paintsBefore);
        EXPECT_EQ(LastPaintErased(), 1);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 2, 0), 1);
    });
    EXPECT_TRUE(run.found);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(run.endCode, 0);
    EXPECT_EQ(selectedPref, 2);
    EXPECT_EQ(gotoActive.load(), 0);
}

TEST_F(GotoPrefDialogTest, OtherNotificationsAndCommandsChangeNothing)
{
    WriteFourPoints();
    DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget*) {
        SendDlgItemMessage(dialog, 1023, kListSetCurSel, 3, 0);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, MakeWParam(1023, 2), 0), 0);  // not a selection change
        EXPECT_EQ(selectedPref, 0);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 1013, 0), 0);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgTimer, 0, 0), 0);
        EXPECT_EQ(gotoActive.load(), 0);
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(GotoPrefDialogTest, ExitWithoutGoToKeepsTheNewChoiceAndClearsGotoActive)
{
    WriteFourPoints();
    gotoActive.store(1);
    int paintsBefore = 0;
    DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget*) {
        SendDlgItemMessage(dialog, 1023, kListSetCurSel, 1, 0);
        GotoPrefDlgProc(dialog, kMsgCommand, MakeWParam(1023, kNotifySelChange), 0);
        FlushMainPaints();
        paintsBefore = MainPaintCount();
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 2, 0), 1);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(selectedPref, 1);
    EXPECT_EQ(gotoActive.load(), 0);
    EXPECT_EQ(SnapshotGpsState().gridEasting, 0.0) << "no GoTo, no move";
    FlushMainPaints();
    EXPECT_GT(MainPaintCount(), paintsBefore);
}

TEST_F(GotoPrefDialogTest, AShorterFileShowsNoSelectionAndGoToUsesTheOldEntry)
{
    WriteFourPoints();
    ASSERT_EQ(LoadPrefPoints(), 1);
    selectedPref = 3;
    WriteDeviceFile("My Documents/Velkar/vlpref.cfg",
                    "[1][Nord][-][1000][2000][-][-][0][-][-][-][-][-]\n"
                    "[2][Sud][-][3000][4000][-][-][0][-][-][-][-][-]\n");
    DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        ASSERT_NE(PointList(widget), nullptr);
        EXPECT_EQ(PointList(widget)->count(), 2);
        EXPECT_EQ(ListText(widget, 0), "Nord");
        EXPECT_EQ(SendDlgItemMessage(dialog, 1023, kListGetCurSel, 0, 0), -1);
        EXPECT_EQ(lastPrefIndex, 1);
        GotoPrefDlgProc(dialog, kMsgCommand, 1, 0);
        GpsState g = SnapshotGpsState();
        EXPECT_EQ(g.gridEasting, 716900.0) << "entry 3 as the earlier reading left it";
        EXPECT_EQ(g.gridNorthing, 4914400.0);
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(selectedPref, 3);
}

TEST_F(GotoPrefDialogTest, EmptyAndMissingFilesGiveAnEmptyList)
{
    struct Row {
        const char* name;
        bool writeEmptyFile;
        int32_t lastPrefIndexAfter;
    };
    // An empty file is read (no record: -1); a missing one leaves what the earlier reading left (3).
    const Row rows[] = {
        {"empty file", true, -1},
        {"missing file", false, 3},
    };
    for (const Row& r : rows) {
        WriteFourPoints();
        ASSERT_EQ(LoadPrefPoints(), 1);
        selectedPref = 0;
        if (r.writeEmptyFile) WriteDeviceFile("My Documents/Velkar/vlpref.cfg", "");
        else RemoveDeviceFile("My Documents/Velkar/vlpref.cfg");
        DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
            ASSERT_NE(PointList(widget), nullptr);
            EXPECT_EQ(PointList(widget)->count(), 0) << r.name;
            EXPECT_EQ(SendDlgItemMessage(dialog, 1023, kListGetCurSel, 0, 0), -1) << r.name;
            EXPECT_EQ(lastPrefIndex, r.lastPrefIndexAfter) << r.name;
            GotoPrefDlgProc(dialog, kMsgCommand, 1, 0);
            EXPECT_EQ(SnapshotGpsState().gridEasting, 716594.9) << r.name << ": entry 0 as read before";
            GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
        });
        EXPECT_FALSE(run.leftOpen) << r.name;
    }
}

TEST_F(GotoPrefDialogTest, NamesLongerThanTheListBufferAreCut)
{
    // A 31-character name (the longest a point holds): the list shows 23.
    const std::string name31b = "Rifugio Monte Cimone sul crinal";
    ASSERT_EQ(name31b.size(), 31u);
    WriteDeviceFile("My Documents/Velkar/vlpref.cfg",
                    "[1][" + name31b + "][-][1][2][-][-][0][-][-][-][-][-]\n"
                    "[2][Exactly twenty-three ch][-][3][4][-][-][0][-][-][-][-][-]\n");
    DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        EXPECT_EQ(ListText(widget, 0), name31b.substr(0, 23));
        EXPECT_EQ(ListText(widget, 1), "Exactly twenty-three ch");
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_FALSE(run.leftOpen);
}

TEST_F(GotoPrefDialogTest, PersonClicksTheThirdNameThenGoToThenExit)
{
    WriteFourPoints();
    bool openAfterGoTo = false;
    GpsState during{};
    DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        QListWidget* list = PointList(widget);
        ASSERT_NE(list, nullptr);
        QListWidgetItem* third = list->item(2);
        ASSERT_NE(third, nullptr);
        list->scrollToItem(third);  // the strip's list shows about two lines at a time
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(third).center());
        EXPECT_EQ(selectedPref, 2);
        ClickControl(widget, 1);
        openAfterGoTo = widget->isVisible();
        during = SnapshotGpsState();
        ClickControl(widget, 2);
    });
    EXPECT_TRUE(run.found);
    EXPECT_TRUE(openAfterGoTo);
    EXPECT_FALSE(run.leftOpen);
    EXPECT_EQ(during.gridEasting, 716800.75);
    EXPECT_EQ(during.gridNorthing, 4914300.125);
    EXPECT_EQ(selectedPref, 2);
    EXPECT_EQ(gotoActive.load(), 0);
}

TEST_F(GotoPrefDialogTest, StripOpensAtTheTopLeftOfTheMainWindowClientArea)
{
    WriteFourPoints();
    QPoint dialogTopLeft, clientTopLeft;
    DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        dialogTopLeft = widget->frameGeometry().topLeft();  // the window's outer corner
        QWidget* client = WidgetOfHandle(mainWindow);
        if (QWidget* inner = client->findChild<QWidget*>(QStringLiteral("velkar-client"))) client = inner;
        clientTopLeft = client->mapToGlobal(QPoint(0, 0));
        EXPECT_TRUE(widget->windowFlags().testFlag(Qt::Tool));
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    });
    EXPECT_TRUE(run.found);
    EXPECT_EQ(dialogTopLeft, clientTopLeft);
}

}  // namespace
