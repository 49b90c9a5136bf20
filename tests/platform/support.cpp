// Shared pieces of the window-layer tests (see support.h).
#include "support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/qt/qt_handles.h"

namespace {

const char kDiscSvg[] =
    "<svg xmlns='http://www.w3.org/2000/svg' width='32' height='32' viewBox='0 0 32 32'>"
    "<circle cx='16' cy='16' r='10' fill='#ff0000'/></svg>";

const ControlTemplate kTestControls[] = {
    {ControlKind::Button, 1, u"OK", 10, 100, 40, 12, kBsDefPushButton | kWsTabStop, 0},
    {ControlKind::Button, 2, u"Cancel", 60, 100, 40, 12, kBsPushButton | kWsTabStop, 0},
    {ControlKind::Button, 10, u"Auto box", 10, 4, 80, 10, kBsAutoCheckBox | kWsTabStop, 0},
    {ControlKind::Button, 11, u"Plain box", 10, 16, 80, 10, 0x2 | kWsTabStop, 0},
    {ControlKind::Edit, 20, u"read only", 10, 28, 60, 12, kEsReadOnly | kEsAutoHScroll | kWsBorder, 0},
    {ControlKind::Edit, 21, u"", 75, 28, 20, 12, kWsBorder | kWsTabStop, 0},
    {ControlKind::Edit, 22, u"", 10, 42, 60, 12, kEsAutoHScroll | kWsBorder | kWsTabStop, 0},
    {ControlKind::Static, kNoId, u"Label °", 75, 42, 40, 10, 0, 0},
    {ControlKind::Static, 25, u"", 100, 4, 21, 20, kSsIcon, kTestIcon},
    {ControlKind::ComboBox, 30, u"", 10, 56, 80, 40, kCbsDropDown | kWsVScroll | kWsTabStop, 0},
    {ControlKind::ListBox, 40, u"", 10, 72, 80, 24, kLbsNotify | kWsBorder | kWsVScroll | kLbsNoIntegralHeight, 0},
};
const DialogTemplate kTestDialogTemplate = {
    kTestDialog, u"Test Dialog", 0, 0, 130, 116, kDsModalFrame | kDsCenter | kWsCaption | kWsVisible, 0,
    u"System", 8, kTestControls, static_cast<int32_t>(sizeof kTestControls / sizeof kTestControls[0])};

const ControlTemplate kToolControls[] = {
    {ControlKind::Button, 1, u"GoTo", 40, 2, 26, 11, kBsPushButton | kWsTabStop, 0},
    {ControlKind::Button, 2, u"Exit", 40, 15, 26, 11, kBsPushButton | kWsTabStop, 0},
};
const DialogTemplate kToolDialogTemplate = {
    kTestToolDialog, u"Tool", 10, 20, 70, 30, kDsModalFrame | kWsCaption, kWsExToolWindow,
    u"System", 8, kToolControls, 2};

const DialogTemplate* const kDialogs[] = {&kTestDialogTemplate, &kToolDialogTemplate};

const MenuItemTemplate kPopup[] = {
    {u"Exit", 40005, nullptr, 0},
    {nullptr, 0, nullptr, 0},
    {u"Map Set...", 40011, nullptr, 0},
};
const MenuItemTemplate kTopMenu[] = {
    {u"Main", 0, kPopup, 3},
    {u"Gps", 40006, nullptr, 0},
    {u"About", 40010, nullptr, 0},
};
const MenuTemplate kMenu104 = {104, kTopMenu, 3};
const MenuTemplate kMenu105 = {105, kTopMenu, 3};
const MenuTemplate* const kMenus[] = {&kMenu104, &kMenu105};

// Words: menu id, button count, then image, command, state, style, caption,
// reserved, menu entry for each button (the shell's menu-bar layout).
const uint16_t kButtons104[] = {104,   3,     65534, 40002, 4, 24, 40004, 0, 0, 65534, 40006, 4,
                                16,    40014, 0,     1,     65534, 40010, 4, 16, 40009, 0,     2};
// Claims three buttons but holds only one.
const uint16_t kButtons105[] = {105, 3, 65534, 40002, 4, 24, 40004, 0, 0};
const RawDataResource kRaw104 = {104, kButtons104, static_cast<int32_t>(sizeof kButtons104 / 2)};
const RawDataResource kRaw105 = {105, kButtons105, static_cast<int32_t>(sizeof kButtons105 / 2)};
const RawDataResource* const kRaw[] = {&kRaw104, &kRaw105};

const StringResource kStrings[] = {{40004, u"Main"}, {40009, u"About"}, {40014, u"Gps"}};

const AcceleratorEntry kAccelEntries[] = {{0x8B, 81, 1}};
const AcceleratorResource kAccel102 = {102, kAccelEntries, 1};
const AcceleratorResource* const kAccels[] = {&kAccel102};

const IconResource kIcons[] = {{kTestIcon, kDiscSvg, sizeof kDiscSvg - 1, 32}};

int classCounter = 0;

}  // namespace

const ResourceTable testResources = {kDialogs, 2, kMenus, 2, kRaw, 2, kStrings, 3, kAccels, 1, kIcons, 1};

std::vector<LoggedMessage> messageLog;
std::function<void(SurfaceHandle, const PaintInfo&)> paintHook;

int CountMessages(uint32_t message)
{
    int n = 0;
    for (const LoggedMessage& m : messageLog) n += m.message == message ? 1 : 0;
    return n;
}

int CountMessages(uint32_t message, uintptr_t wParam)
{
    int n = 0;
    for (const LoggedMessage& m : messageLog) n += (m.message == message && m.wParam == wParam) ? 1 : 0;
    return n;
}

intptr_t RecordingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    messageLog.push_back({window, message, wParam, lParam});
    switch (message) {
    case kMsgPaint: {
        PaintInfo info{};
        SurfaceHandle s = BeginPaint(window, &info);
        if (paintHook) paintHook(s, info);
        EndPaint(window, &info);
        return 0;
    }
    case kMsgClose: DestroyMainWindow(window); return 0;
    case kMsgDestroy: PostQuit(0); return 0;
    default: return DefaultWindowProc(window, message, wParam, lParam);
    }
}

WindowHandle MakeRecordedWindow()
{
    EnsureQtApplication();
    const int n = classCounter++;
    std::u16string name = u"Recorded " + std::u16string(1, char16_t(u'A' + n % 26)) +
                          std::u16string(1, char16_t(u'a' + n / 26 % 26));
    static std::vector<std::u16string> names;  // the class keeps a pointer to its name
    names.push_back(name);
    WindowClass wc{3, RecordingProc, &testResources, 0, names.back().c_str()};
    if (!RegisterWindowClass(&wc)) return nullptr;
    WindowHandle w = CreateMainWindow(names.back().c_str(), u"Recorded", kStyleVisible, kUseDefault, kUseDefault,
                                      kUseDefault, kUseDefault);
    return w;
}

bool PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return done();
}

void PumpBriefly()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

std::string MakeTempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "velkar-platform-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = mkdtemp(buffer.data());
    return made != nullptr ? std::string(made) : std::string();
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {

std::string CaptureFd(int fd, FILE* stream, const std::function<void()>& body)
{
    const std::string folder = MakeTempFolder();
    const std::string path = folder + "/captured";
    std::fflush(stream);
    const int saved = dup(fd);
    const int file = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    dup2(file, fd);
    close(file);
    body();
    std::fflush(stream);
    dup2(saved, fd);
    close(saved);
    std::stringstream text;
    {
        std::ifstream in(path, std::ios::binary);
        text << in.rdbuf();
    }
    std::filesystem::remove_all(folder);
    return text.str();
}

}  // namespace

std::string CaptureStderr(const std::function<void()>& body) { return CaptureFd(2, stderr, body); }
std::string CaptureStdout(const std::function<void()>& body) { return CaptureFd(1, stdout, body); }
