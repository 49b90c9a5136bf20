// The program's side of the layer: option parsing and its exit statuses, a whole
// run through PlatformMain with --time-scale, --quit-after-ticks and
// --screenshot, and the one-instance-per-device-root check.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QTimer>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "support.h"

namespace {

int Main(std::vector<std::string> args, EntryFunction entry = nullptr)
{
    args.insert(args.begin(), "velkar");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return PlatformMain(static_cast<int>(args.size()), argv.data(), &testResources, entry);
}

TEST(Options, ValidCommandLinesAreRead)
{
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string root, screenshot;
        double timeScale;
        long long quitAfterTicks;
    } rows[] = {
        {"nothing", {}, "", "", 1.0, 0},
        {"root", {"--root", "/tmp/r"}, "/tmp/r", "", 1.0, 0},
        {"root with =", {"--root=/tmp/r2"}, "/tmp/r2", "", 1.0, 0},
        {"all four", {"--root", "/d", "--screenshot", "/s.png", "--time-scale", "250", "--quit-after-ticks", "4"},
         "/d", "/s.png", 250.0, 4},
        {"fractional scale", {"--time-scale", "0.5"}, "", "", 0.5, 0},
    };
    for (Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), "velkar");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        PlatformOptions o;
        std::string message;
        ASSERT_EQ(ParsePlatformOptions(static_cast<int>(argv.size()), argv.data(), &o, &message), 1) << row.name;
        EXPECT_EQ(o.root, row.root) << row.name;
        EXPECT_EQ(o.screenshot, row.screenshot) << row.name;
        EXPECT_DOUBLE_EQ(o.timeScale, row.timeScale) << row.name;
        EXPECT_EQ(o.quitAfterTicks, row.quitAfterTicks) << row.name;
        EXPECT_TRUE(message.empty()) << row.name;
    }
}

TEST(Options, WrongOptionsGiveOneLineAndStatusTwo)
{
    const std::vector<std::vector<std::string>> rows = {
        {"--bogus"},
        {"map.cfg"},
        {"--root"},
        {"--root", ""},
        {"--screenshot"},
        {"--time-scale", "0"},
        {"--time-scale", "-2"},
        {"--time-scale", "fast"},
        {"--time-scale", "nan"},
        {"--time-scale", "inf"},
        {"--time-scale", "3x"},
        {"--quit-after-ticks", "0"},
        {"--quit-after-ticks", "-1"},
        {"--quit-after-ticks", "2.5"},
        {"--quit-after-ticks", "99999999999999999999"},
        {"--version=2"},
        {"-root", "/tmp"},
    };
    for (const auto& args : rows) {
        int status = -1;
        const std::string err = CaptureStderr([&] { status = Main(args); });
        EXPECT_EQ(status, 2) << args.front();
        ASSERT_FALSE(err.empty()) << args.front();
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
        EXPECT_EQ(err.rfind("velkar: ", 0), 0u) << err;
    }
}

TEST(Options, HelpAndVersionAnswerAndReturnZero)
{
    int status = -1;
    std::string out = CaptureStdout([&] { status = Main({"--version"}); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "velkar 0.0.15\n");
    out = CaptureStdout([&] { status = Main({"--help"}); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.rfind("usage: velkar", 0), 0u);
    for (const char* option : {"--root", "--screenshot", "--time-scale", "--quit-after-ticks"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
}

// A whole run: a 3000 ms timer, the client painted red at (0, 0) and blue at
// (20, 0) from the second paint on; command 1 closes as Control+Q does.
int runTicks = 0;
int runCommandOnes = 0;
uintptr_t runCommandWParam = 0;
int runPaints = 0;
std::string rootSeenByEntry;

intptr_t RunProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgCreate: StartTimer(w, 11024, 3000); return 0;
    case kMsgTimer:
        ++runTicks;
        InvalidateWindow(w, 1);
        return 0;
    case kMsgCommand:
        if (LowWord(wParam) == 1) {
            ++runCommandOnes;
            runCommandWParam = wParam;
            SendWindowMessage(w, kMsgClose, 0, 0);
        }
        return 1;
    case kMsgClose: DestroyMainWindow(w); return 0;
    case kMsgDestroy:
        StopTimer(w, 11024);
        PostQuit(0);
        return 0;
    case kMsgPaint: {
        PaintInfo info{};
        SurfaceHandle s = BeginPaint(w, &info);
        ObjectHandle pen = CreatePenObject(kPenSolid, 4, runPaints == 0 ? 0x0000FF : 0xFF0000);
        ObjectHandle old = SelectObject(s, pen);
        const Point line[] = {{runPaints == 0 ? 2 : 22, 2}, {runPaints == 0 ? 12 : 32, 2}};
        Polyline(s, line, 2);
        SelectObject(s, old);
        DeleteObject(pen);
        EndPaint(w, &info);
        ++runPaints;
        return 0;
    }
    default: return DefaultWindowProc(w, message, wParam, lParam);
    }
}

int RunEntry(const EntryArguments* arguments)
{
    rootSeenByEntry = DeviceRoot();
    static const WindowClass wc{3, RunProc, nullptr, 0, u"Whole Run"};
    RegisterWindowClass(&wc);
    WindowHandle w = CreateMainWindow(u"Whole Run", u"Velkar", kStyleVisible, kUseDefault, kUseDefault, kUseDefault,
                                      kUseDefault);
    if (w == nullptr) return 9;
    ShowMainWindow(w, arguments->showMode);
    UpdateWindowNow(w);
    return RunMessageLoop(w, LoadAcceleratorTable(arguments->instance, 102));
}

TEST(WholeRun, TimeScaleQuitAfterTicksAndScreenshots)
{
    EnsureQtApplication();
    const std::string folder = MakeTempFolder();
    const std::string shot = folder + "/shot.png";
    // 3000 ms a tick at a thousand times: three ticks in about 9 ms of waiting.
    const int status = Main({"--root", folder, "--time-scale", "1000", "--quit-after-ticks", "3", "--screenshot", shot},
                            RunEntry);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rootSeenByEntry, folder) << "the device root is set before the entry runs";
    EXPECT_EQ(runTicks, 3) << "command 1 follows the third tick";
    EXPECT_EQ(runCommandOnes, 1);
    EXPECT_EQ(runCommandWParam, 1u) << "the same command Control+Q sends";
    EXPECT_GE(runPaints, 2);
    QImage written(QString::fromStdString(shot));
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), QSize(240, 268));
    EXPECT_EQ(written.pixel(25, 2) & 0xFFFFFF, 0x0000FFu) << "the last paint is the screenshot";
    EXPECT_EQ(written.pixel(5, 2) & 0xFFFFFF, 0xFFFFFFu) << "erased before it";
    EXPECT_FALSE(std::filesystem::exists(shot + ".tmp"));
    std::filesystem::remove_all(folder);
}

// Exit's road: a quit posted while a modal dialog runs ends the dialog and the
// message loop, which returns the code; the window is not closed first.
intptr_t QuittingDialog(WindowHandle dialog, uint32_t message, uintptr_t, intptr_t)
{
    if (message == kMsgInitDialog) QTimer::singleShot(0, [] { PostQuit(5); });
    return 0;
}

int QuitEntry(const EntryArguments*)
{
    WindowHandle w = MakeRecordedWindow();
    if (w == nullptr) return 9;
    intptr_t dialogResult = -7;
    QTimer::singleShot(0, [&] { dialogResult = RunDialog(&testResources, kTestToolDialog, w, QuittingDialog, 0); });
    const int code = RunMessageLoop(w, nullptr);
    const bool dialogEnded = dialogResult != -7;
    const bool windowOpen = WidgetOfHandle(w) != nullptr;
    DestroyMainWindow(w);
    return code * 100 + (dialogEnded ? 10 : 0) + (windowOpen ? 1 : 0);
}

TEST(WholeRun, QuitInsideAModalDialogEndsBothLoopsWithItsCode)
{
    EnsureQtApplication();
    messageLog.clear();
    const std::string folder = MakeTempFolder();
    EXPECT_EQ(Main({"--root", folder}, QuitEntry), 511) << "code 5, dialog ended, window still open";
    EXPECT_EQ(CountMessages(kMsgDestroy), 1) << "only the explicit destroy after the loop";
    std::filesystem::remove_all(folder);
}

TEST(SingleInstance, OnePerDeviceRootAndTheSecondRaisesTheFirst)
{
    EnsureQtApplication();
    const std::string a = MakeTempFolder(), b = MakeTempFolder();
    SetDeviceRoot(a);
    const std::string nameA = InstanceServerName();
    SetDeviceRoot(a + "/.");
    EXPECT_EQ(InstanceServerName(), nameA) << "the canonical root names the instance";
    SetDeviceRoot(b);
    EXPECT_NE(InstanceServerName(), nameA);

    SetDeviceRoot(a);
    EXPECT_EQ(FindOtherInstance(u"Velkar Application", u"Velkar"), nullptr) << "first on this root";
    WindowHandle first = MakeRecordedWindow();
    ASSERT_NE(first, nullptr);
    WidgetOfHandle(first)->setObjectName("velkar-main");  // the raise request looks for the program's window
    WindowHandle other = FindOtherInstance(u"Velkar Application", u"Velkar");
    ASSERT_NE(other, nullptr) << "a later start finds the first";
    const int before = RaiseRequestsReceived();
    BringToFront(other);
    EXPECT_TRUE(PumpUntil([&] { return RaiseRequestsReceived() == before + 1; }));

    SetDeviceRoot(b);
    EXPECT_EQ(FindOtherInstance(u"Velkar Application", u"Velkar"), nullptr) << "another root is another instance";
    DestroyMainWindow(first);
    std::filesystem::remove_all(a);
    std::filesystem::remove_all(b);
}

}  // namespace
