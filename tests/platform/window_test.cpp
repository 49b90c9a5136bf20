// The main window and the program around it: ticks and paints under a modal dialog and an owner dying under
// it, the menu bar, the headless message box, wrong options, one instance per device root and endpoints another
// user plants for it; a modal dialog from a template: geometry, 272 first, control messages, a plain box.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

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

// The bar at the foot, outside the client area, and its buttons' commands are the end-to-end runs' (view_e2e
// and dialogs_e2e click them); here tables that cannot be read, a caption from the string table and the
// drop-down whose own command is never sent. Then the same window's ticks and paints under a dialog.
TEST(Window, MenuBarCommandIdsThenTicksAndPaintsUnderADialogWhoseOwnerMayDieUnderIt)
{
    WindowHandle w = MakeRecordedWindow();
    auto create = [w](int32_t id) { MenuBarInfo info{32, w, 0, id, &testResources, 0, 0, nullptr}; return CreateMenuBar(&info); };
    EXPECT_EQ(create(777), 0) << "no such table";
    EXPECT_EQ(create(105), 0) << "a table shorter than its count";
    ASSERT_EQ(create(104), 1);
    QWidget* top = WidgetOfHandle(w);
    auto* gps = top->findChild<QToolButton*>("menubar-40006");
    ASSERT_NE(gps, nullptr);
    EXPECT_EQ(gps->text(), "Gps");
    QMenu* popup = top->findChild<QToolButton*>("menubar-40002")->menu();
    ASSERT_NE(popup, nullptr);
    popup->findChild<QAction*>("menu-40011")->trigger();
    EXPECT_TRUE(PumpUntil([] { return CountMessages(kMsgCommand, 40011) == 1; }));
    EXPECT_EQ(CountMessages(kMsgCommand, 40002), 0) << "the drop-down's own command is not sent";
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

TEST(Program, HeadlessMessageBoxAndWrongOptionsAnswerOnOneLineAtOnce)
{
    EnsureQtApplication();
    ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
    EXPECT_EQ(Said([] { ShowMessageBox(nullptr, u"Porta «COM1:» °", u"Error"); }, 0), "Error: Porta «COM1:» °\n");
    for (std::vector<const char*> args : std::vector<std::vector<const char*>>{
             {"--bogus"}, {"map.cfg"}, {"--root"}, {"--root", ""}, {"--time-scale", "0"}, {"--time-scale", "nan"},
             {"--time-scale", "3x"}, {"--quit-after-ticks", "-1"}, {"--quit-after-ticks", "99999999999999999999"}}) {
        args.insert(args.begin(), "velkar"), args.push_back(nullptr);
        int status = -1;
        char** argv = const_cast<char**>(args.data());
        const std::string err = Said([&] { status = PlatformMain(int(args.size()) - 1, argv, nullptr, nullptr); }, 0);
        EXPECT_EQ(status, 2) << args[1];
        EXPECT_EQ(err.rfind("velkar: ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    }
}

// Another user ("nobody", uid 65534) listening on the given endpoints (a path, or "@name" in the abstract
// namespace) in a child process, started where it could. Stop() ends it; its exit status: 0 when no byte came
// on the connections made meanwhile, 3 when one did; 1: users cannot be switched, 2: it could not listen; -1: no child.
struct ForeignListener {
    pid_t pid = -1;
    int link[2] = {-1, -1};  // ours, the child's: "ready", then our shutdown stops it
    bool started = false;
    explicit ForeignListener(const std::vector<std::string>& endpoints)
    {
        if (geteuid() != 0 || socketpair(AF_UNIX, SOCK_STREAM, 0, link) != 0) return;
        if ((pid = fork()) == 0) {  // forked from a threaded process: the child allocates nothing
            if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)
                _exit(1);
            int listening[4];
            for (size_t i = 0; i < endpoints.size(); ++i) {
                const std::string& e = endpoints[i];
                sockaddr_un a{AF_UNIX, {}};
                const size_t abstract = e[0] == '@';  // a zero byte first and no terminator
                std::memcpy(a.sun_path + abstract, e.data() + abstract, e.size() - abstract);
                const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + e.size() + 1 - abstract);
                listening[i] = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
                if (bind(listening[i], reinterpret_cast<sockaddr*>(&a), length) != 0 || listen(listening[i], 8) != 0)
                    _exit(2);
            }
            char c;
            (void)!write(link[1], "r", 1), (void)!read(link[1], &c, 1);
            for (size_t i = 0; i < endpoints.size(); ++i)
                for (int s; (s = accept4(listening[i], nullptr, nullptr, SOCK_NONBLOCK)) >= 0; close(s))
                    if (read(s, &c, 1) == 1) _exit(3);
            _exit(0);
        }
        char c = 0;
        close(link[1]), started = read(link[0], &c, 1) == 1;
    }
    int Stop()
    {
        int status = 0;
        if (pid <= 0) return -1;
        shutdown(link[0], SHUT_WR), waitpid(pid, &status, 0), close(link[0]), pid = -1;
        return WEXITSTATUS(status);
    }
};

TEST(Program, OneInstancePerDeviceRootTheSecondRaisesTheFirstAndNoEndpointOfAnotherUserStopsAStart)
{
    const TempRoot first, second;
    SetDeviceRoot(first.path + "/.");
    const std::string nameA = InstanceServerName();
    SetDeviceRoot(first.path);
    EXPECT_EQ(InstanceServerName(), nameA) << "the canonical root names the instance";
    EXPECT_EQ(FindOtherInstance(u"Velkar Application", u"Velkar"), nullptr) << "first on this root";
    WindowHandle window = MakeRecordedWindow();
    WidgetOfHandle(window)->setObjectName("velkar-main");  // the raise request looks for the program's window
    WindowHandle other = FindOtherInstance(u"Velkar Application", u"Velkar");
    ASSERT_NE(other, nullptr) << "a later start finds the first";
    const int before = RaiseRequestsReceived();
    BringToFront(other);
    EXPECT_TRUE(PumpUntil([&] { return RaiseRequestsReceived() == before + 1; }));
    DestroyMainWindow(window);
    SetDeviceRoot(second.path);
    EXPECT_NE(InstanceServerName(), nameA);
    EXPECT_EQ(FindOtherInstance(u"Velkar Application", u"Velkar"), nullptr) << "another root is another instance";

    // Endpoints of another user where the second root's start looks. The environment is put back however
    // the test ends (a skip returns early).
    const std::string runtimeWas = std::getenv("XDG_RUNTIME_DIR") != nullptr ? std::getenv("XDG_RUNTIME_DIR") : "";
    const std::shared_ptr<void> restore(nullptr, [&](void*) {
        runtimeWas.empty() ? unsetenv("XDG_RUNTIME_DIR") : setenv("XDG_RUNTIME_DIR", runtimeWas.c_str(), 1);
        unsetenv("TMPDIR");
    });
    const std::string& temp = second.path;
    const std::string runtime = temp + "/run", planted = temp + "/b/velkar-" + std::to_string(getuid());
    chmod(temp.c_str(), 0711);  // the other user reaches its folders
    for (const std::string& dir : {runtime, temp + "/a", temp + "/b", planted, temp + "/c"}) std::filesystem::create_directory(dir);
    chmod((temp + "/c").c_str(), 01777);  // shared by every user, as /tmp is
    chown(runtime.c_str(), 65534, 65534), chmod(runtime.c_str(), 0700);
    chown(planted.c_str(), 65534, 65534), chmod(planted.c_str(), 0777);
    setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);  // the name the endpoint has in whatever place it ends up
    const std::string ownName = InstanceServerName(), base = ownName.substr(ownName.find_last_of("/@") + 1);
    // The predictable name in the shared temporary folder, "velkar-<user>-<digest of the root>".
    const std::string user = std::getenv("USER") != nullptr ? std::getenv("USER") : getpwuid(getuid())->pw_name;
    const std::string shared = temp + "/c/velkar-" + user + base.substr(base.rfind('-'));
    const struct { const char* name; const char* tmp; bool runtimeSet; std::vector<std::string> endpoints; char expectedStart; } rows[] = {
        {"the shared temporary folder, at the predictable name", "/c", false, {shared}, '/'},
        {"$XDG_RUNTIME_DIR owned by another user, their socket in it", "/a", true, {runtime + "/" + base}, '/'},
        {"the temporary folder's velkar-<uid> planted by another user, their socket in it and in the abstract name",
         "/b", false, {planted + "/" + base, "@" + base}, '@'},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.runtimeSet) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", (temp + r.tmp).c_str(), 1);
        ForeignListener foreign(r.endpoints);
        if (!foreign.started) {
            const int status = foreign.Stop();
            if (status == -1 || status == 1) GTEST_SKIP() << "cannot run a process as another user here (needs root)";
            FAIL() << "the other user's listener did not start: exit " << status;
        }
        const std::string name = InstanceServerName();
        EXPECT_EQ(name[0] == '@' ? '@' : '/', r.expectedStart) << name;
        EXPECT_NE(name.rfind(runtime, 0), 0u) << name;
        EXPECT_NE(name.rfind(planted, 0), 0u) << name;
        EXPECT_EQ(FindOtherInstance(u"Velkar Application", u"Velkar"), nullptr) << "the start goes on";
        EXPECT_EQ(foreign.Stop(), 0) << "nothing is sent to another user's endpoint";
    }
}

std::function<void(WindowHandle)> act;  // runs inside the modal loop

intptr_t ScriptedDialog(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    messageLog.push_back({dialog, message, wParam, lParam});
    if (message == kMsgInitDialog) {
        EXPECT_FALSE(WidgetOfHandle(dialog)->isVisible()) << "initialised before it is shown";
        QTimer::singleShot(0, [dialog] { act(dialog); });
    }
    return 0;
}

QWidget* Control(WindowHandle d, int id) { return WidgetOfHandle(d)->findChild<QWidget*>(QStringLiteral("ctl-%1").arg(id)); }

// Escape and the close button as command 2, list clicks (code 1) and automatic boxes are met by the real
// dialogs under Xvfb (view_e2e, dialogs_e2e) and DialogTest; here what no dialog of the program has.
TEST(Dialog, GeometryControlMessagesAndAPlainBox)
{
    messageLog.clear(), act = [](WindowHandle d) {
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
        QTest::mouseClick(Control(d, 11), Qt::LeftButton, {}, QPoint(6, Control(d, 11)->height() / 2));  // its box
        EXPECT_EQ(SendDlgItemMessage(d, 11, kCheckBoxGetCheck, 0, 0), 0) << "a plain box: the procedure decides";
        EXPECT_EQ(CountMessages(kMsgCommand, 11), 1);
        EndDialog(d, 5);
    };
    EXPECT_EQ(RunDialog(&testResources, kTestDialog, nullptr, ScriptedDialog, 1234), 5);
    ASSERT_FALSE(messageLog.empty());
    EXPECT_TRUE(messageLog[0].message == kMsgInitDialog && messageLog[0].lParam == 1234) << "272 first, with its value";
}

}  // namespace
