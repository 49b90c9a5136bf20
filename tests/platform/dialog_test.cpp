// Modal dialogs from a template: geometry in dialog units, 272 before showing, control
// messages without notifications, clicks and keys as notifications the procedure sees
// with the state already changed, check boxes, Escape as command 2.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include "support.h"

namespace {

std::function<void(WindowHandle)> act;  // runs inside the modal loop
intptr_t listSelectionSeen = -2;        // what the procedure read when list 40 notified

intptr_t ScriptedDialog(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    messageLog.push_back({dialog, message, wParam, lParam});
    if (message == kMsgInitDialog) {
        EXPECT_FALSE(WidgetOfHandle(dialog)->isVisible()) << "initialised before it is shown";
        QTimer::singleShot(0, [dialog] { act(dialog); });
    }
    if (message == kMsgCommand && wParam == MakeWParam(40, 1))
        listSelectionSeen = SendDlgItemMessage(dialog, 40, kListGetCurSel, 0, 0);
    return 0;
}

intptr_t RunScripted(const std::function<void(WindowHandle)>& script)
{
    return messageLog.clear(), act = script, RunDialog(&testResources, kTestDialog, nullptr, ScriptedDialog, 1234);
}

template <typename T = QWidget>
T* Control(WindowHandle dialog, int id)
{
    return WidgetOfHandle(dialog)->findChild<T*>(QStringLiteral("ctl-%1").arg(id));
}

TEST(Dialog, GeometryAndControlMessages)
{
    const intptr_t result = RunScripted([](WindowHandle d) {
        int bw = 0, bh = 0;  // pixels per 4 horizontal and 8 vertical dialog units
        DialogBaseUnits(&kTestDialogTemplate, &bw, &bh);
        EXPECT_TRUE(bw >= 4 && bw <= 10 && bh >= 9 && bh <= 20) << bw << " x " << bh;
        EXPECT_EQ(WidgetOfHandle(d)->windowTitle(), "Test Dialog");
        EXPECT_EQ(WidgetOfHandle(d)->size(), QSize(130 * bw / 4, 116 * bh / 8));
        for (const ControlTemplate& c : kTestControls) {  // a combo's field is one line, not its list's height
            const int h = c.kind == ControlKind::ComboBox ? Control(d, c.id)->height() : c.height * bh / 8;
            EXPECT_EQ(Control(d, c.id)->geometry(), QRect(c.x * bw / 4, c.y * bh / 8, c.width * bw / 4, h)) << c.id;
        }
        EXPECT_LT(Control(d, 30)->height(), 40 * bh / 8);
        // The usual selections are the dialogs' own tests; here the edges: out of range, -1, no text, no control.
        const struct { int id; uint32_t message; uintptr_t wParam; const char16_t* text; intptr_t expected; } steps[] = {
            {30, kComboAddString, 0, u"Centro", 0}, {30, kComboGetCurSel, 0, nullptr, -1},
            {30, kComboSetCurSel, 9, nullptr, -1},  {30, kComboGetCurSel, 0, nullptr, -1},
            {40, kListAddString, 0, u"Rocca", 0},   {40, kListAddString, 0, nullptr, -1},
            {40, kListSetCurSel, 0, nullptr, 0},    {40, kListSetCurSel, uintptr_t(-1), nullptr, -1},
            {40, kListGetCurSel, 0, nullptr, -1},   {10, kCheckBoxSetCheck, 1, nullptr, 0},
            {10, kCheckBoxGetCheck, 0, nullptr, 1}, {999, kCheckBoxGetCheck, 0, nullptr, 0},
        };
        for (const auto& s : steps)
            EXPECT_EQ(SendDlgItemMessage(d, s.id, s.message, s.wParam, intptr_t(s.text)), s.expected)
                << "step " << &s - steps;
        char16_t buffer[8];
        EXPECT_EQ(SetDlgItemText(d, 20, u"N44.348733°"), 1);
        EXPECT_EQ(GetDlgItemText(d, 20, buffer, 5), 4) << "cut to the buffer, terminated";
        EXPECT_EQ(std::u16string(buffer), u"N44.");
        EXPECT_EQ(CountMessages(kMsgCommand), 0) << "control messages notify nobody";
        EndDialog(d, 5);
    });
    EXPECT_EQ(result, 5);
    ASSERT_FALSE(messageLog.empty());
    EXPECT_TRUE(messageLog[0].message == kMsgInitDialog && messageLog[0].lParam == 1234) << "272 first, with its value";
}

TEST(Dialog, ClicksAndKeysReachTheProcedure)
{
    const intptr_t result = RunScripted([](WindowHandle d) {
        for (const char16_t* name : {u"Rocca", u"Fontana", u"Chiesa"})
            SendDlgItemMessage(d, 40, kListAddString, 0, intptr_t(name));
        auto* list = Control<QListWidget>(d, 40);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        EXPECT_EQ(CountMessages(kMsgCommand, MakeWParam(40, 1)), 1) << "selection change: code 1";
        EXPECT_EQ(listSelectionSeen, 2) << "the procedure reads the new selection when told";

        const QPoint box(6, Control(d, 10)->height() / 2);  // the box itself, at the control's left
        QTest::mouseClick(Control<QCheckBox>(d, 10), Qt::LeftButton, {}, box);
        EXPECT_EQ(SendDlgItemMessage(d, 10, kCheckBoxGetCheck, 0, 0), 1) << "automatic box toggles";
        QTest::mouseClick(Control<QCheckBox>(d, 11), Qt::LeftButton, {}, box);
        EXPECT_EQ(SendDlgItemMessage(d, 11, kCheckBoxGetCheck, 0, 0), 0) << "plain box: the procedure decides";
        EXPECT_EQ(CountMessages(kMsgCommand, 10), 1);
        EXPECT_EQ(CountMessages(kMsgCommand, 11), 1);

        QTest::keyClick(WidgetOfHandle(d), Qt::Key_Escape);
        EXPECT_EQ(CountMessages(kMsgCommand, 2), 1) << "Escape is command 2";
        WidgetOfHandle(d)->close();
        EXPECT_EQ(CountMessages(kMsgCommand, 2), 2) << "so is the close button";
        EXPECT_TRUE(WidgetOfHandle(d)->isVisible()) << "the procedure decides whether to end";
        EndDialog(d, 3);
    });
    EXPECT_EQ(result, 3);
}

}  // namespace
