// The main window and the program around it: ticks and paints under a modal dialog,
// an owner destroyed under its dialog, the menu bar's command ids, the headless message
// box, wrong options and their exit status, one instance per device root.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include "platform/files.h"
#include "support.h"

namespace {

// Started with 1: posts quit 5. Else ends with 42 once the owner has ticked three times more.
int ticksAtDialogStart = 0;
intptr_t TickWatchingDialog(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgInitDialog && lParam == 1) QTimer::singleShot(0, [] { PostQuit(5); });
    else if (message == kMsgInitDialog) ticksAtDialogStart = CountMessages(kMsgTimer, 11024), StartTimer(dialog, 9, 5);
    return message == kMsgTimer && wParam == 9 && CountMessages(kMsgTimer, 11024) >= ticksAtDialogStart + 3
               ? EndDialog(dialog, 42) : 0;
}

TEST(Window, TicksAndPaintsGoOnUnderADialogAndItsOwnerMayDieUnderIt)
{
    EnsureQtApplication();
    messageLog.clear();
    WindowHandle w = MakeRecordedWindow();
    StartTimer(w, 11024, 5);
    QTimer::singleShot(0, [w] { InvalidateWindow(w, 1); });
    const int paints = CountMessages(kMsgPaint);
    EXPECT_EQ(RunDialog(&testResources, kTestDialog, w, TickWatchingDialog, 0), 42);
    EXPECT_GT(CountMessages(kMsgPaint), paints);
    // Exit's road: a quit posted under a dialog ends the dialog, then the main loop with its code.
    QTimer::singleShot(0, [w] { RunDialog(&testResources, kTestDialog, w, TickWatchingDialog, 1); });
    EXPECT_EQ(RunMessageLoop(w, nullptr), 5);
    EXPECT_NE(WidgetOfHandle(w), nullptr) << "the window is not closed first";
    QTimer::singleShot(0, [w] { DestroyMainWindow(w); });  // as --quit-after-ticks may, under a dialog
    EXPECT_NE(RunDialog(&testResources, kTestDialog, w, TickWatchingDialog, 0), 42) << "ended with its owner";
    EXPECT_EQ(WidgetOfHandle(w), nullptr);
    EXPECT_EQ(CountMessages(kMsgDestroy), 1);
    PumpUntil([] { return false; }, 60);  // the dialog's timer may still fire: at a dead window
    EXPECT_EQ(StartTimer(w, 1, 5), 0) << "a destroyed window takes no timer";
}

TEST(Window, MenuBarSendsItsCommandIds)
{
    EnsureQtApplication();
    messageLog.clear();
    WindowHandle w = MakeRecordedWindow();
    for (int32_t broken : {777, 105}) {  // no such table; a table shorter than its count
        MenuBarInfo info{32, w, 0, broken, &testResources, 0, 0, nullptr};
        EXPECT_EQ(CreateMenuBar(&info), 0) << broken;
    }
    MenuBarInfo info{32, w, 0, 104, &testResources, 0, 0, nullptr};
    ASSERT_EQ(CreateMenuBar(&info), 1);
    PumpUntil([] { return false; }, 60);  // lays the bar out
    QWidget* top = WidgetOfHandle(w);
    QWidget *client = top->findChild<QWidget*>("velkar-client"), *bar = top->findChild<QWidget*>("velkar-menubar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(client->size(), QSize(240, 268)) << "the bar is not part of the client area";
    EXPECT_GE(bar->geometry().top(), client->geometry().bottom()) << "at the foot";
    const struct { int command; const char* caption; } buttons[] = {{40002, "Main"}, {40006, "Gps"}, {40010, "About"}};
    for (const auto& b : buttons) {
        auto* button = top->findChild<QToolButton*>(QStringLiteral("menubar-%1").arg(b.command));
        ASSERT_NE(button, nullptr) << b.command;
        EXPECT_EQ(button->text(), b.caption);
        if (b.command == 40002) continue;  // the drop-down
        button->click();
        EXPECT_TRUE(PumpUntil([&] { return CountMessages(kMsgCommand, b.command) == 1; })) << b.command;
    }
    QMenu* popup = top->findChild<QToolButton*>("menubar-40002")->menu();
    ASSERT_NE(popup, nullptr);
    popup->findChild<QAction*>("menu-40011")->trigger();
    EXPECT_TRUE(PumpUntil([] { return CountMessages(kMsgCommand, 40011) == 1; }));
    EXPECT_EQ(CountMessages(kMsgCommand, 40002), 0) << "the drop-down's own command is not sent";
    DestroyMainWindow(w);
}

TEST(Program, HeadlessMessageBoxAndWrongOptionsAnswerOnOneLineAtOnce)
{
    EnsureQtApplication();
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    EXPECT_EQ(Capture(2, [] { ShowMessageBox(nullptr, u"Porta «COM1:» °", u"Error"); }), "Error: Porta «COM1:» °\n");
    std::vector<std::vector<std::string>> wrong = {
        {"--bogus"}, {"map.cfg"}, {"--root"}, {"--root", ""}, {"--time-scale", "0"}, {"--time-scale", "nan"},
        {"--time-scale", "3x"}, {"--quit-after-ticks", "-1"}, {"--quit-after-ticks", "99999999999999999999"}};
    for (auto& args : wrong) {
        args.insert(args.begin(), "velkar");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int status = -1;
        const std::string err =
            Capture(2, [&] { status = PlatformMain(int(args.size()), argv.data(), nullptr, nullptr); });
        EXPECT_EQ(status, 2) << args[1];
        EXPECT_EQ(err.rfind("velkar: ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    }
}

TEST(Program, OneInstancePerDeviceRootAndTheSecondRaisesTheFirst)
{
    EnsureQtApplication();
    const std::string a = MakeTempFolder(), b = MakeTempFolder();
    SetDeviceRoot(a + "/.");
    const std::string nameA = InstanceServerName();
    SetDeviceRoot(a);
    EXPECT_EQ(InstanceServerName(), nameA) << "the canonical root names the instance";
    EXPECT_EQ(FindOtherInstance(u"Velkar Application", u"Velkar"), nullptr) << "first on this root";
    WindowHandle first = MakeRecordedWindow();
    WidgetOfHandle(first)->setObjectName("velkar-main");  // the raise request looks for the program's window
    WindowHandle other = FindOtherInstance(u"Velkar Application", u"Velkar");
    ASSERT_NE(other, nullptr) << "a later start finds the first";
    const int before = RaiseRequestsReceived();
    BringToFront(other);
    EXPECT_TRUE(PumpUntil([&] { return RaiseRequestsReceived() == before + 1; }));
    SetDeviceRoot(b);
    EXPECT_NE(InstanceServerName(), nameA);
    EXPECT_EQ(FindOtherInstance(u"Velkar Application", u"Velkar"), nullptr) << "another root is another instance";
    DestroyMainWindow(first);
    std::filesystem::remove_all(a), std::filesystem::remove_all(b);
}

}  // namespace
