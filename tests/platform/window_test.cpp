// The main window on the offscreen platform: creation and its messages, the
// paint cycle with and without erase, timers (also under a modal dialog), close
// and destroy, the menu bar from the button table, accelerators, message boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QShortcut>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "platform/qt/qt_handles.h"
#include "support.h"

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        messageLog.clear();
        paintHook = nullptr;
    }
    void TearDown() override
    {
        paintHook = nullptr;
        PumpBriefly();
    }
};

// A red 10 x 10 square at (x, y) drawn through a memory surface.
void PaintSquare(SurfaceHandle s, int x, int y, QRgb colour)
{
    QImage square(10, 10, QImage::Format_RGB32);
    square.fill(colour);
    BitmapHandle b = CreateBitmapFromImage(square);
    SurfaceHandle memory = CreateCompatibleSurface(s);
    ObjectHandle old = SelectObject(memory, b);
    BlockTransfer(s, x, y, 10, 10, memory, 0, 0, 0xCC0020);
    SelectObject(memory, old);
    DeleteSurface(memory);
    DeleteObject(b);
}

TEST_F(WindowTest, CreationSendsCreateFirstAndNamesTheWidgets)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_FALSE(messageLog.empty());
    EXPECT_EQ(messageLog.front().message, kMsgCreate);
    EXPECT_EQ(messageLog.front().window, w);
    QWidget* top = WidgetOfHandle(w);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->objectName(), "velkar-main");
    EXPECT_EQ(top->windowTitle(), "Recorded");
    EXPECT_EQ(HandleOfWidget(top), w);
    QWidget* client = top->findChild<QWidget*>("velkar-client");
    ASSERT_NE(client, nullptr);
    Rect r{};
    GetClientRect(w, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 240);   // the handheld's work area
    EXPECT_EQ(r.bottom, 268);
    DestroyMainWindow(w);
}

TEST_F(WindowTest, UnknownClassOrRefusedCreateGivesNoWindow)
{
    EXPECT_EQ(CreateMainWindow(u"No Such Class", u"x", kStyleVisible, kUseDefault, kUseDefault, kUseDefault,
                               kUseDefault),
              nullptr);
    static const WindowClass refusing{3,
                                      [](WindowHandle, uint32_t m, uintptr_t, intptr_t) -> intptr_t {
                                          return m == kMsgCreate ? -1 : 0;
                                      },
                                      &testResources, 0, u"Refusing"};
    ASSERT_EQ(RegisterWindowClass(&refusing), 1);
    EXPECT_EQ(RegisterWindowClass(&refusing), 0);  // a class registers once
    EXPECT_EQ(CreateMainWindow(u"Refusing", u"x", kStyleVisible, kUseDefault, kUseDefault, kUseDefault, kUseDefault),
              nullptr);
}

TEST_F(WindowTest, PaintWithEraseStartsWhiteAndWithoutEraseKeepsThePicture)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    int squareX = 0;
    std::vector<int> erased;
    paintHook = [&](SurfaceHandle s, const PaintInfo& info) {
        erased.push_back(info.erase);
        PaintSquare(s, squareX, 0, qRgb(255, 0, 0));
    };
    UpdateWindowNow(w);  // the first paint of a new window erases
    ASSERT_EQ(erased.size(), 1u);
    EXPECT_EQ(erased.back(), 1);
    EXPECT_EQ(Rgb(ClientImage(w), 5, 5), 0xFF0000u);

    squareX = 50;
    InvalidateWindow(w, 0);
    UpdateWindowNow(w);
    ASSERT_EQ(erased.size(), 2u);
    EXPECT_EQ(erased.back(), 0);
    QImage kept = ClientImage(w);
    EXPECT_EQ(Rgb(kept, 5, 5), 0xFF0000u) << "without erase the old square stays";
    EXPECT_EQ(Rgb(kept, 55, 5), 0xFF0000u);

    squareX = 100;
    InvalidateWindow(w, 1);
    UpdateWindowNow(w);
    ASSERT_EQ(erased.size(), 3u);
    EXPECT_EQ(erased.back(), 1);
    QImage fresh = ClientImage(w);
    EXPECT_EQ(Rgb(fresh, 5, 5), 0xFFFFFFu) << "erase fills white before the paint";
    EXPECT_EQ(Rgb(fresh, 55, 5), 0xFFFFFFu);
    EXPECT_EQ(Rgb(fresh, 105, 5), 0xFF0000u);

    // Nothing invalid: no paint.
    UpdateWindowNow(w);
    EXPECT_EQ(erased.size(), 3u);
    DestroyMainWindow(w);
}

TEST_F(WindowTest, ResizingRepaintsTheWholeNewClientArea)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    std::vector<Rect> painted;
    paintHook = [&](SurfaceHandle, const PaintInfo& info) { painted.push_back(info.paintArea); };
    UpdateWindowNow(w);
    ASSERT_EQ(painted.size(), 1u);
    WidgetOfHandle(w)->resize(320, 200);
    ASSERT_TRUE(PumpUntil([&] { return painted.size() >= 2; }));
    Rect r{};
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 200);
    EXPECT_EQ(painted.back().right, 320);
    EXPECT_EQ(painted.back().bottom, 200);
    EXPECT_EQ(ClientImage(w).size(), QSize(320, 200));
    DestroyMainWindow(w);
}

TEST_F(WindowTest, RepaintRequestIsPaintedByTheEventLoop)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    UpdateWindowNow(w);
    const int before = CountMessages(kMsgPaint);
    InvalidateWindow(w, 1);
    InvalidateWindow(w, 1);  // requests before the paint merge into one
    EXPECT_TRUE(PumpUntil([&] { return CountMessages(kMsgPaint) > before; }));
    PumpBriefly();
    EXPECT_EQ(CountMessages(kMsgPaint), before + 1);
    DestroyMainWindow(w);
}

TEST_F(WindowTest, TimersDeliverTheirIdUntilStopped)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(StartTimer(w, 11024, 5), 1);
    ASSERT_EQ(StartTimer(w, 7, 5), 1);
    EXPECT_TRUE(PumpUntil([] { return CountMessages(kMsgTimer, 11024) >= 3 && CountMessages(kMsgTimer, 7) >= 3; }));
    EXPECT_EQ(StopTimer(w, 7), 1);
    EXPECT_EQ(StopTimer(w, 7), 0);  // already stopped
    const int sevens = CountMessages(kMsgTimer, 7);
    const int others = CountMessages(kMsgTimer, 11024);
    EXPECT_TRUE(PumpUntil([&] { return CountMessages(kMsgTimer, 11024) >= others + 3; }));
    EXPECT_EQ(CountMessages(kMsgTimer, 7), sevens);
    for (const LoggedMessage& m : messageLog) {
        if (m.message == kMsgTimer) {
            EXPECT_EQ(m.window, w);
        }
    }
    DestroyMainWindow(w);
    const int afterDestroy = CountMessages(kMsgTimer);
    PumpBriefly();
    EXPECT_EQ(CountMessages(kMsgTimer), afterDestroy) << "destroying the window stops its timers";
    EXPECT_EQ(StartTimer(w, 1, 5), 0) << "a destroyed window takes no timer";
}

WindowHandle modalOwner = nullptr;
int ticksAtDialogStart = 0;

intptr_t TickWatchingDialog(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == kMsgInitDialog) {
        ticksAtDialogStart = CountMessages(kMsgTimer, 11024);
        StartTimer(dialog, 11025, 5);
        return 0;
    }
    if (message == kMsgTimer && wParam == 11025) {
        // The owner's ticks and paints keep coming while the dialog is modal.
        if (CountMessages(kMsgTimer, 11024) >= ticksAtDialogStart + 3) {
            StopTimer(dialog, 11025);
            EndDialog(dialog, 42);
            return 1;
        }
    }
    return 0;
}

TEST_F(WindowTest, OwnerKeepsTicksAndPaintsUnderAModalDialog)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    modalOwner = w;
    StartTimer(w, 11024, 5);
    int paintsInDialog = 0;
    QTimer::singleShot(0, [&] { InvalidateWindow(w, 1); });
    paintHook = [&](SurfaceHandle, const PaintInfo&) { ++paintsInDialog; };
    EXPECT_EQ(RunDialog(&testResources, kTestToolDialog, w, TickWatchingDialog, 0), 42);
    EXPECT_GE(CountMessages(kMsgTimer, 11024), ticksAtDialogStart + 3);
    EXPECT_GE(paintsInDialog, 1);
    DestroyMainWindow(w);
}

TEST_F(WindowTest, CloseButtonSendsCloseAndDestroyRunsMessageTwoOnce)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    QWidget* top = WidgetOfHandle(w);
    ASSERT_NE(top, nullptr);
    top->close();  // what the window manager's close button does
    EXPECT_EQ(CountMessages(kMsgClose), 1);
    EXPECT_EQ(CountMessages(kMsgDestroy), 1);
    EXPECT_EQ(WidgetOfHandle(w), nullptr);
    EXPECT_EQ(SendWindowMessage(w, 5000, 0, 0), 0) << "a destroyed window takes no messages";
    EXPECT_EQ(DestroyMainWindow(w), 0);
    EXPECT_EQ(CountMessages(kMsgDestroy), 1);
}

TEST_F(WindowTest, SendWindowMessageIsSynchronousAndReturnsTheResult)
{
    static const WindowClass echo{3,
                                  [](WindowHandle w, uint32_t m, uintptr_t wp, intptr_t lp) -> intptr_t {
                                      if (m == 5000) return static_cast<intptr_t>(wp) + lp;
                                      return DefaultWindowProc(w, m, wp, lp);
                                  },
                                  &testResources, 0, u"Echo"};
    ASSERT_EQ(RegisterWindowClass(&echo), 1);
    WindowHandle w = CreateMainWindow(u"Echo", u"e", 0, kUseDefault, kUseDefault, kUseDefault, kUseDefault);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(SendWindowMessage(w, 5000, 40, 2), 42);
    EXPECT_EQ(DefaultWindowProc(w, 40002, 0, 0), 0);
    EXPECT_EQ(SendWindowMessage(w, kMsgClose, 0, 0), 0);  // default processing destroys
    EXPECT_EQ(WidgetOfHandle(w), nullptr);
}

TEST_F(WindowTest, MenuBarSitsAtTheFootAndSendsItsCommands)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    MenuBarInfo info{32, w, 0, 104, &testResources, 0, 0, nullptr};
    ASSERT_EQ(CreateMenuBar(&info), 1);
    EXPECT_NE(info.menuBar, nullptr);
    QWidget* top = WidgetOfHandle(w);
    top->show();
    PumpBriefly();
    QWidget* client = top->findChild<QWidget*>("velkar-client");
    QWidget* bar = top->findChild<QWidget*>("velkar-menubar");
    ASSERT_NE(client, nullptr);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(client->size(), QSize(240, 268)) << "the bar is not part of the client area";
    EXPECT_GE(bar->geometry().top(), client->geometry().bottom());

    // Captions come from the string table, in the table's order.
    struct Row {
        int command;
        const char* caption;
        bool dropDown;
    } rows[] = {{40002, "Main", true}, {40006, "Gps", false}, {40010, "About", false}};
    int previousX = -1;
    for (const Row& row : rows) {
        auto* button = top->findChild<QToolButton*>(QStringLiteral("menubar-%1").arg(row.command));
        ASSERT_NE(button, nullptr) << row.command;
        EXPECT_EQ(button->text(), row.caption);
        EXPECT_EQ(button->menu() != nullptr, row.dropDown) << row.command;
        EXPECT_GT(button->x(), previousX);
        previousX = button->x();
    }

    // Plain buttons send their command as soon as the click is over.
    top->findChild<QToolButton*>("menubar-40006")->click();
    EXPECT_TRUE(PumpUntil([] { return CountMessages(kMsgCommand, 40006) == 1; }));
    top->findChild<QToolButton*>("menubar-40010")->click();
    EXPECT_TRUE(PumpUntil([] { return CountMessages(kMsgCommand, 40010) == 1; }));
    EXPECT_EQ(CountMessages(kMsgCommand, 40006), 1);

    // The drop-down holds the pop-up of its menu entry; its items post their command.
    auto* main = top->findChild<QToolButton*>("menubar-40002");
    EXPECT_EQ(main->popupMode(), QToolButton::InstantPopup);
    QMenu* popup = main->menu();
    ASSERT_NE(popup, nullptr);
    QStringList texts;
    for (QAction* a : popup->actions()) texts << (a->isSeparator() ? QString("-") : a->text());
    EXPECT_EQ(texts, (QStringList{"Exit", "-", "Map Set..."}));
    // Shown from the foot of the window, the pop-up opens above its button.
    top->move(50, 300);
    PumpBriefly();
    popup->popup(main->mapToGlobal(QPoint(0, main->height())));
    EXPECT_TRUE(PumpUntil([&] { return popup->isVisible(); }));
    EXPECT_LE(popup->geometry().bottom(), main->mapToGlobal(QPoint(0, 0)).y());
    popup->hide();
    popup->findChild<QAction*>("menu-40011")->trigger();
    EXPECT_TRUE(PumpUntil([] { return CountMessages(kMsgCommand, 40011) == 1; }));
    EXPECT_EQ(CountMessages(kMsgCommand, 40002), 0) << "the drop-down's own command is not sent";
    DestroyMainWindow(w);
}

TEST_F(WindowTest, MenuBarWithMissingOrShortResourcesFails)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    struct Row {
        const char* name;
        int32_t id;
        InstanceHandle instance;
    } rows[] = {
        {"no such id", 777, &testResources},
        {"table shorter than its count", 105, &testResources},
        {"no resources at all", 104, nullptr},
    };
    for (const Row& row : rows) {
        MenuBarInfo info{32, w, 0, row.id, row.instance, 0, 0, nullptr};
        EXPECT_EQ(CreateMenuBar(&info), 0) << row.name;
        EXPECT_EQ(info.menuBar, nullptr) << row.name;
    }
    MenuBarInfo orphan{32, nullptr, 0, 104, &testResources, 0, 0, nullptr};
    EXPECT_EQ(CreateMenuBar(&orphan), 0);
    EXPECT_EQ(CreateMenuBar(nullptr), 0);
    EXPECT_EQ(WidgetOfHandle(w)->findChild<QWidget*>("velkar-menubar"), nullptr);
    DestroyMainWindow(w);
}

TEST_F(WindowTest, ControlQSendsCommandOneThroughTheAcceleratorTable)
{
    WindowHandle w = MakeRecordedWindow();
    ASSERT_NE(w, nullptr);
    AcceleratorHandle table = LoadAcceleratorTable(&testResources, 102);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(LoadAcceleratorTable(&testResources, 103), nullptr);
    // The loop ends at once with the code already posted; the shortcuts stay.
    PostQuit(7);
    EXPECT_EQ(RunMessageLoop(w, table), 7);
    QWidget* top = WidgetOfHandle(w);
    top->show();
    top->activateWindow();
    QApplication::setActiveWindow(top);
    PumpBriefly();
    QTest::keyClick(top->findChild<QWidget*>("velkar-client"), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(CountMessages(kMsgCommand, 1), 1);
    QTest::keyClick(top->findChild<QWidget*>("velkar-client"), Qt::Key_Q);
    EXPECT_EQ(CountMessages(kMsgCommand, 1), 1) << "Q without Control is no accelerator";
    DestroyMainWindow(w);
}

TEST_F(WindowTest, MessageBoxWithoutDisplayWritesCaptionAndTextAndReturns)
{
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    const std::string err = CaptureStderr([] { ShowMessageBox(nullptr, u"SHCreateMenuBar Failed", u"Error"); });
    EXPECT_EQ(err, "Error: SHCreateMenuBar Failed\n");
    const std::string wide = CaptureStderr([] { ShowMessageBox(nullptr, u"Porta «COM1:» °", u"Errore"); });
    EXPECT_EQ(wide, "Errore: Porta «COM1:» °\n");
}

TEST_F(WindowTest, IconsRenderFromTheirSvgAtTheirSize)
{
    IconHandle icon = LoadIconResource(&testResources, kTestIcon);
    ASSERT_NE(icon, nullptr);
    QImage image = IconImage(icon);
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "corner is transparent";
    EXPECT_EQ(image.pixel(16, 16), qRgba(255, 0, 0, 255));
    DestroyIconHandle(icon);
    EXPECT_EQ(LoadIconResource(&testResources, 51), nullptr);
    EXPECT_EQ(LoadIconResource(nullptr, kTestIcon), nullptr);

    static const char broken[] = "<svg this is not";
    static const IconResource brokenIcon[] = {{60, broken, sizeof broken - 1, 32}};
    static const ResourceTable brokenTable = {nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, brokenIcon, 1};
    EXPECT_EQ(LoadIconResource(&brokenTable, 60), nullptr);
}

}  // namespace
