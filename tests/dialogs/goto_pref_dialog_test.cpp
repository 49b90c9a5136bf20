// GoTo preference point strip: the list read afresh from the file, selection to
// selectedPref, "GoTo" to the point in the plane grid, shorter and empty files, long
// names, the strip's place; messages, then clicks on the real list and buttons.
#include <QListWidget>
#include <QTest>

#include <mutex>

#include "app/globals.h"
#include "dialogs/dialogs.h"
#include "gps/gps_state.h"
#include "platform/qt/qt_handles.h"
#include "store/prefs.h"
#include "ui_support.h"

namespace {

class GotoPrefDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_NE(CreateShellWindow(), nullptr);
        WriteDeviceFile(kPrefFile, "[1][Rocca][-][716594.9][4914197.9][-][-][1][\\bip.wav][-][-][-][-]\n"
                                   "[2][Ponte][-][716700.5][4914100.25][-][-][0][\\bip.wav][-][-][-][-]\n"
                                   "[3][Chiesa][-][716800.75][4914300.125][-][-][1][\\din.wav][-][-][-][-]\n"
                                   "[4][Fonte][-][716900][4914400][-][-][0][-][-][-][-][-]\n");
    }
};

QListWidget* List(QWidget* dialog) { return qobject_cast<QListWidget*>(ControlWidget(dialog, 1023)); }

TEST_F(GotoPrefDialogTest, ChoosingTheThirdNameAndGoToPutsTheViewOnThatPoint)
{
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = 1.25;
    }
    const DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        ASSERT_EQ(List(widget)->count(), 4);
        EXPECT_EQ(List(widget)->item(2)->text(), "Chiesa");
        EXPECT_EQ(SendDlgItemMessage(dialog, 1023, kListGetCurSel, 0, 0), 0) << "selectedPref shown";
        SendDlgItemMessage(dialog, 1023, kListSetCurSel, 3, 0);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, MakeWParam(1023, 2), 0), 0);  // not a selection change
        EXPECT_EQ(selectedPref, 0);
        SendDlgItemMessage(dialog, 1023, kListSetCurSel, 2, 0);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, MakeWParam(1023, kNotifySelChange), 0), 0);
        EXPECT_EQ(selectedPref, 2);
        FlushPaints();
        const int paints = record.paints;
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 1, 0), 0);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(gotoActive.load(), 1);
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(g.gridEasting, 716800.75);
        EXPECT_EQ(g.gridNorthing, 4914300.125);
        EXPECT_EQ(g.latitude, 1.25) << "placed in the plane grid only";
        FlushPaints();
        EXPECT_GT(record.paints, paints);
        EXPECT_EQ(record.lastErase, 1);
        EXPECT_EQ(GotoPrefDlgProc(dialog, kMsgCommand, 2, 0), 1);
    });
    EXPECT_TRUE(run.closed);
    EXPECT_EQ(selectedPref, 2);
    EXPECT_EQ(gotoActive.load(), 0);
}

TEST_F(GotoPrefDialogTest, ShorterOrEmptyFileShowsNoSelectionAndGoToUsesTheEarlierEntry)
{
    // File at opening -> list length; the earlier reading's entry 3 (716900) or 0 (716594.9) is the target.
    const struct {
        const char* file;
        int count;
        int32_t selected;
        double easting;
    } rows[] = {{"[1][Nord][-][1000][2000][-][-][0][-][-][-][-][-]\n[2][Sud][-][3000][4000][-][-][0][-][-][-][-][-]\n",
                 2, 3, 716900.0},
                {"", 0, 0, 716594.9}};
    for (const auto& row : rows) {
        SetUp();
        ASSERT_EQ(LoadPrefPoints(), 1);
        selectedPref = row.selected;
        WriteDeviceFile(kPrefFile, row.file);
        EXPECT_TRUE(RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
            EXPECT_EQ(List(widget)->count(), row.count);
            EXPECT_EQ(SendDlgItemMessage(dialog, 1023, kListGetCurSel, 0, 0), -1);
            GotoPrefDlgProc(dialog, kMsgCommand, 1, 0);
            EXPECT_EQ(SnapshotGpsState().gridEasting, row.easting);
            GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
        }).closed);
        EXPECT_EQ(selectedPref, row.selected);
    }
}

TEST_F(GotoPrefDialogTest, NamesLongerThanTheListBufferAreCut)
{
    WriteDeviceFile(kPrefFile, "[1][Rifugio Monte Cimone sul crinal][-][1][2][-][-][0][-][-][-][-][-]\n"
                               "[2][Exactly twenty-three ch][-][3][4][-][-][0][-][-][-][-][-]\n");
    EXPECT_TRUE(RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        EXPECT_EQ(List(widget)->item(0)->text(), "Rifugio Monte Cimone su");  // 31 characters, 23 shown
        EXPECT_EQ(List(widget)->item(1)->text(), "Exactly twenty-three ch");
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    }).closed);
}

TEST_F(GotoPrefDialogTest, PersonClicksTheThirdNameThenGoToThenExit)
{
    bool openAfterGoTo = false;
    GpsState during{};
    const DialogRun run = RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle, QWidget* widget) {
        QListWidget* list = List(widget);
        list->scrollToItem(list->item(2));  // the strip shows about two lines at a time
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(2)).center());
        EXPECT_EQ(selectedPref, 2);
        Click(widget, 1);
        openAfterGoTo = widget->isVisible();
        during = SnapshotGpsState();
        Click(widget, 2);
    });
    EXPECT_TRUE(run.closed);
    EXPECT_TRUE(openAfterGoTo);
    EXPECT_EQ(during.gridEasting, 716800.75);
    EXPECT_EQ(selectedPref, 2);
    EXPECT_EQ(gotoActive.load(), 0);
}

TEST_F(GotoPrefDialogTest, ToolStripOpensAtTheTopLeftOfTheMainWindowsClientArea)
{
    QPoint strip, client;
    EXPECT_TRUE(RunDialogWith(115, GotoPrefDlgProc, [&](WindowHandle dialog, QWidget* widget) {
        strip = widget->frameGeometry().topLeft();
        client = WidgetOfHandle(mainWindow)->findChild<QWidget*>("velkar-client")->mapToGlobal(QPoint(0, 0));
        EXPECT_TRUE(widget->windowFlags().testFlag(Qt::Tool));
        GotoPrefDlgProc(dialog, kMsgCommand, 2, 0);
    }).closed);
    EXPECT_EQ(strip, client);
}

}  // namespace
