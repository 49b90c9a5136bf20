// Modal dialogs from a small template: geometry in dialog units, message 272
// before showing, control messages without notifications, the user's clicks,
// keys and selections as notifications, read-only and width-limited edits,
// check boxes, Escape and the close button as command 2, placement and style.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

#include "platform/qt/qt_handles.h"
#include "support.h"

namespace {

// The running dialog's procedure logs into messageLog and, on 272, runs
// onInit and then schedules `act` inside the modal loop.
std::function<void(WindowHandle)> onInit;
std::function<void(WindowHandle)> act;

intptr_t ScriptedDialog(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    messageLog.push_back({dialog, message, wParam, lParam});
    if (message == kMsgInitDialog) {
        if (onInit) onInit(dialog);
        if (act) QTimer::singleShot(0, [dialog] { act(dialog); });
    }
    return 0;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        messageLog.clear();
        onInit = nullptr;
        act = nullptr;
    }
    intptr_t Run(int32_t id, WindowHandle owner = nullptr)
    {
        return RunDialog(&testResources, id, owner, ScriptedDialog, 1234);
    }
};

template <typename T>
T* Control(WindowHandle dialog, int id)
{
    return WidgetOfHandle(dialog)->findChild<T*>(QStringLiteral("ctl-%1").arg(id));
}

int CommandsFor(int id, int code) { return CountMessages(kMsgCommand, MakeWParam(id, code)); }

TEST_F(DialogTest, GeometryFollowsDialogUnitsThroughTheFontsBaseUnits)
{
    int bw = 0, bh = 0;
    act = [&](WindowHandle d) {
        QWidget* dialog = WidgetOfHandle(d);
        DialogBaseUnits(FindDialogTemplate(&testResources, kTestDialog), &bw, &bh);
        EXPECT_EQ(dialog->objectName(), "dlg-900");
        EXPECT_EQ(dialog->windowTitle(), "Test Dialog");
        EXPECT_EQ(dialog->size(), QSize(130 * bw / 4, 116 * bh / 8));
        struct Row {
            int id, x, y, w, h;
        } rows[] = {{1, 10, 100, 40, 12}, {10, 10, 4, 80, 10}, {20, 10, 28, 60, 12}, {40, 10, 72, 80, 24}};
        for (const Row& r : rows) {
            QWidget* c = dialog->findChild<QWidget*>(QStringLiteral("ctl-%1").arg(r.id));
            ASSERT_NE(c, nullptr) << r.id;
            EXPECT_EQ(c->geometry(), QRect(r.x * bw / 4, r.y * bh / 8, r.w * bw / 4, r.h * bh / 8)) << r.id;
        }
        // The combo's field is one line high, not the height of its list.
        QWidget* combo = dialog->findChild<QWidget*>("ctl-30");
        EXPECT_LT(combo->height(), 40 * bh / 8);
        EXPECT_EQ(combo->pos(), QPoint(10 * bw / 4, 56 * bh / 8));
        EndDialog(d, 5);
    };
    EXPECT_EQ(Run(kTestDialog), 5);
    // The System font at 8 points, or the default sans at 8 points: a few pixels a unit.
    EXPECT_GE(bw, 4);
    EXPECT_LE(bw, 10);
    EXPECT_GE(bh, 9);
    EXPECT_LE(bh, 20);
}

TEST_F(DialogTest, InitComesAfterTheControlsAndBeforeShowingWithTheInitValue)
{
    bool visibleAtInit = true;
    int controlsAtInit = 0;
    onInit = [&](WindowHandle d) {
        visibleAtInit = WidgetOfHandle(d)->isVisible();
        controlsAtInit = WidgetOfHandle(d)->findChildren<QWidget*>(QRegularExpression("^ctl-")).size();
    };
    act = [](WindowHandle d) {
        EXPECT_TRUE(WidgetOfHandle(d)->isVisible());
        EndDialog(d, 0);
    };
    Run(kTestDialog);
    ASSERT_FALSE(messageLog.empty());
    EXPECT_EQ(messageLog.front().message, kMsgInitDialog);
    EXPECT_EQ(messageLog.front().lParam, 1234);
    EXPECT_FALSE(visibleAtInit);
    EXPECT_EQ(controlsAtInit, 11);
}

TEST_F(DialogTest, EndDialogDuringInitNeverShowsTheDialog)
{
    onInit = [](WindowHandle d) { EndDialog(d, 77); };
    EXPECT_EQ(Run(kTestDialog), 77);
    EXPECT_EQ(RunDialog(&testResources, 4242, nullptr, ScriptedDialog, 0), -1) << "no such template";
}

TEST_F(DialogTest, ControlMessagesAnswerAndStayQuiet)
{
    act = [](WindowHandle d) {
        struct Step {
            const char* name;
            int id;
            uint32_t message;
            uintptr_t wParam;
            const char16_t* text;
            intptr_t expected;
        } steps[] = {
            {"combo add 1st", 30, kComboAddString, 0, u"Centro", 0},
            {"combo add 2nd", 30, kComboAddString, 0, u"Nord", 1},
            {"combo add 3rd", 30, kComboAddString, 0, u"Sud", 2},
            {"combo nothing chosen yet", 30, kComboGetCurSel, 0, nullptr, -1},
            {"combo choose 1", 30, kComboSetCurSel, 1, nullptr, 1},
            {"combo reads 1", 30, kComboGetCurSel, 0, nullptr, 1},
            {"combo choose past the end", 30, kComboSetCurSel, 9, nullptr, -1},
            {"combo reads none", 30, kComboGetCurSel, 0, nullptr, -1},
            {"combo choose 2", 30, kComboSetCurSel, 2, nullptr, 2},
            {"list add 1st", 40, kListAddString, 0, u"Rocca", 0},
            {"list add 2nd", 40, kListAddString, 0, u"Fontana", 1},
            {"list add 3rd", 40, kListAddString, 0, u"Chiesa", 2},
            {"list nothing chosen yet", 40, kListGetCurSel, 0, nullptr, -1},
            {"list choose 2", 40, kListSetCurSel, 2, nullptr, 2},
            {"list reads 2", 40, kListGetCurSel, 0, nullptr, 2},
            {"list choose -1", 40, kListSetCurSel, static_cast<uintptr_t>(-1), nullptr, -1},
            {"list reads none", 40, kListGetCurSel, 0, nullptr, -1},
            {"box starts clear", 10, kCheckBoxGetCheck, 0, nullptr, 0},
            {"box set", 10, kCheckBoxSetCheck, 1, nullptr, 0},
            {"box reads set", 10, kCheckBoxGetCheck, 0, nullptr, 1},
            {"box cleared", 10, kCheckBoxSetCheck, 0, nullptr, 0},
            {"box reads clear", 10, kCheckBoxGetCheck, 0, nullptr, 0},
            {"no such control", 999, kCheckBoxGetCheck, 0, nullptr, 0},
            {"add without text", 40, kListAddString, 0, nullptr, -1},
        };
        for (const Step& s : steps)
            EXPECT_EQ(SendDlgItemMessage(d, s.id, s.message, s.wParam, reinterpret_cast<intptr_t>(s.text)), s.expected)
                << s.name;
        EXPECT_EQ(Control<QComboBox>(d, 30)->currentText(), "Sud");
        EXPECT_EQ(Control<QListWidget>(d, 40)->count(), 3);
        EXPECT_EQ(CountMessages(kMsgCommand), 0) << "control messages notify nobody";
        EndDialog(d, 0);
    };
    Run(kTestDialog);
}

TEST_F(DialogTest, TextsAreSetAndReadAndCutToTheBuffer)
{
    act = [](WindowHandle d) {
        EXPECT_EQ(SetDlgItemText(d, 20, u"N44.348733°"), 1);
        EXPECT_EQ(SetDlgItemText(d, 999, u"x"), 0);
        char16_t buffer[24];
        EXPECT_EQ(GetDlgItemText(d, 20, buffer, 24), 11);
        EXPECT_EQ(std::u16string(buffer), u"N44.348733°");
        EXPECT_EQ(GetDlgItemText(d, 20, buffer, 5), 4) << "capacity 5: four characters and the terminator";
        EXPECT_EQ(std::u16string(buffer), u"N44.");
        buffer[0] = u'?';
        EXPECT_EQ(GetDlgItemText(d, 20, buffer, 1), 0);
        EXPECT_EQ(buffer[0], 0);
        EXPECT_EQ(GetDlgItemText(d, 20, buffer, 0), 0);
        EXPECT_EQ(GetDlgItemText(d, 999, buffer, 24), 0);
        EXPECT_EQ(GetDlgItemText(d, 1, buffer, 24), 2);
        EXPECT_EQ(std::u16string(buffer), u"OK");
        EXPECT_EQ(WidgetOfHandle(d)->findChild<QLabel*>("ctl-static")->text(), QString::fromUtf16(u"Label °"));
        EXPECT_EQ(CountMessages(kMsgCommand), 0);
        EndDialog(d, 0);
    };
    Run(kTestDialog);
}

TEST_F(DialogTest, UserActionsNotifyWithIdAndCode)
{
    act = [](WindowHandle d) {
        for (const char16_t* name : {u"Centro", u"Nord", u"Sud"}) {
            SendDlgItemMessage(d, 30, kComboAddString, 0, reinterpret_cast<intptr_t>(name));
            SendDlgItemMessage(d, 40, kListAddString, 0, reinterpret_cast<intptr_t>(name));
        }
        SendDlgItemMessage(d, 30, kComboSetCurSel, 0, 0);

        QTest::mouseClick(Control<QPushButton>(d, 2), Qt::LeftButton);
        EXPECT_EQ(CommandsFor(2, 0), 1) << "button click: code 0";

        QComboBox* combo = Control<QComboBox>(d, 30);
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        EXPECT_EQ(combo->currentIndex(), 1);
        EXPECT_EQ(CommandsFor(30, 1), 1) << "combo selection by the user: code 1";
        EXPECT_EQ(SendDlgItemMessage(d, 30, kComboGetCurSel, 0, 0), 1);

        QListWidget* list = Control<QListWidget>(d, 40);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        EXPECT_EQ(CommandsFor(40, 1), 1) << "list selection by the user: code 1";
        EXPECT_EQ(SendDlgItemMessage(d, 40, kListGetCurSel, 0, 0), 2);
        EndDialog(d, 0);
    };
    Run(kTestDialog);
}

TEST_F(DialogTest, CheckBoxesAutoToggleAndPlainOnesLeaveItToTheProcedure)
{
    act = [](WindowHandle d) {
        QCheckBox* automatic = Control<QCheckBox>(d, 10);
        QCheckBox* plain = Control<QCheckBox>(d, 11);
        // Click on the box itself, at the left of the control.
        const QPoint box(6, automatic->height() / 2);
        QTest::mouseClick(automatic, Qt::LeftButton, {}, box);
        EXPECT_EQ(SendDlgItemMessage(d, 10, kCheckBoxGetCheck, 0, 0), 1);
        QTest::mouseClick(automatic, Qt::LeftButton, {}, box);
        EXPECT_EQ(SendDlgItemMessage(d, 10, kCheckBoxGetCheck, 0, 0), 0);
        EXPECT_EQ(CommandsFor(10, 0), 2);
        QTest::mouseClick(plain, Qt::LeftButton, {}, box);
        EXPECT_EQ(SendDlgItemMessage(d, 11, kCheckBoxGetCheck, 0, 0), 0);
        EXPECT_EQ(CommandsFor(11, 0), 1);
        EndDialog(d, 0);
    };
    Run(kTestDialog);
}

TEST_F(DialogTest, ReadOnlyEditsRefuseTypingAndNarrowOnesTakeOnlyWhatFits)
{
    act = [](WindowHandle d) {
        QLineEdit* readOnly = Control<QLineEdit>(d, 20);
        QTest::keyClicks(readOnly, "abc");
        EXPECT_EQ(readOnly->text(), "read only");

        QLineEdit* free = Control<QLineEdit>(d, 22);
        free->setFocus();
        QTest::keyClicks(free, "44.3487333333333333333333333333");
        EXPECT_EQ(free->text(), "44.3487333333333333333333333333") << "scrolling edits take any length";

        QLineEdit* narrow = Control<QLineEdit>(d, 21);
        narrow->setFocus();
        QTest::keyClicks(narrow, "123456789012345");
        const QString kept = narrow->text();
        EXPECT_GT(kept.size(), 0);
        EXPECT_LT(kept.size(), 15);
        EXPECT_TRUE(QString("123456789012345").startsWith(kept));
        EXPECT_LE(narrow->fontMetrics().horizontalAdvance(kept), narrow->width());
        EndDialog(d, 0);
    };
    Run(kTestDialog);
}

TEST_F(DialogTest, EscapeAndCloseSendCommandTwoAndLeaveTheDialogOpen)
{
    act = [](WindowHandle d) {
        QWidget* dialog = WidgetOfHandle(d);
        QTest::keyClick(dialog, Qt::Key_Escape);
        EXPECT_EQ(CommandsFor(2, 0), 1);
        EXPECT_TRUE(dialog->isVisible()) << "the procedure decides whether to close";
        dialog->close();
        EXPECT_EQ(CommandsFor(2, 0), 2);
        EXPECT_TRUE(dialog->isVisible());
        Control<QLineEdit>(d, 22)->setFocus();
        QTest::keyClick(Control<QLineEdit>(d, 22), Qt::Key_Return);
        EXPECT_EQ(CommandsFor(1, 0), 1) << "Enter presses the default button";
        EndDialog(d, 3);
    };
    EXPECT_EQ(Run(kTestDialog), 3);
}

TEST_F(DialogTest, CentredOnTheScreenOrPlacedFromTheOwnersClientArea)
{
    WindowHandle owner = MakeRecordedWindow();
    ASSERT_NE(owner, nullptr);
    QWidget* top = WidgetOfHandle(owner);
    top->move(100, 80);
    top->show();
    PumpBriefly();
    act = [](WindowHandle d) {
        QWidget* dialog = WidgetOfHandle(d);
        const QRect area = dialog->screen()->availableGeometry();
        EXPECT_LE((dialog->frameGeometry().center() - area.center()).manhattanLength(), 4);
        EXPECT_NE(dialog->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        EndDialog(d, 0);
    };
    Run(kTestDialog, owner);

    act = [owner](WindowHandle d) {
        QWidget* dialog = WidgetOfHandle(d);
        int bw = 0, bh = 0;
        DialogBaseUnits(FindDialogTemplate(&testResources, kTestToolDialog), &bw, &bh);
        QWidget* client = WidgetOfHandle(owner)->findChild<QWidget*>("velkar-client");
        EXPECT_EQ(dialog->pos(), client->mapToGlobal(QPoint(10 * bw / 4, 20 * bh / 8)));
        EXPECT_EQ(dialog->windowFlags() & Qt::WindowType_Mask, Qt::Tool) << "tool-window style";
        EndDialog(d, 0);
    };
    Run(kTestToolDialog, owner);
    DestroyMainWindow(owner);
}

TEST_F(DialogTest, DestroyingTheOwnerUnderTheDialogEndsItSafely)
{
    // As when the main window is closed by --quit-after-ticks while a dialog is open.
    WindowHandle owner = MakeRecordedWindow();
    ASSERT_NE(owner, nullptr);
    onInit = [](WindowHandle d) { StartTimer(d, 11025, 5); };
    act = [owner](WindowHandle d) { DestroyMainWindow(owner); };
    Run(kTestToolDialog, owner);
    EXPECT_EQ(WidgetOfHandle(owner), nullptr);
    EXPECT_EQ(CountMessages(kMsgDestroy), 1);
    PumpBriefly();
}

TEST_F(DialogTest, StaticIconShowsTheIconResource)
{
    act = [](WindowHandle d) {
        QLabel* icon = Control<QLabel>(d, 25);
        ASSERT_NE(icon, nullptr);
        const QPixmap pixmap = icon->pixmap();
        EXPECT_EQ(pixmap.size(), QSize(32, 32));
        EXPECT_EQ(pixmap.toImage().pixel(16, 16), qRgba(255, 0, 0, 255));
        EndDialog(d, 0);
    };
    Run(kTestDialog);
}

}  // namespace
