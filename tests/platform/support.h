// Shared by the window-layer tests: a small resource table (dialog 900, menu and button tables 104/105,
// strings), a procedure recording every message, event pumping, a device root, stderr and memory surfaces.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <functional>

#include "../support/common.h"

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"

constexpr int32_t kTestDialog = 900;
inline const ControlTemplate kTestControls[] = {
    {ControlKind::Button, 10, u"Auto box", 10, 4, 80, 10, kBsAutoCheckBox | kWsTabStop, 0},
    {ControlKind::Button, 11, u"Plain box", 10, 16, 80, 10, 0x2 | kWsTabStop, 0},
    {ControlKind::Edit, 20, u"read only", 10, 28, 60, 12, kEsReadOnly | kEsAutoHScroll | kWsBorder, 0},
    {ControlKind::ComboBox, 30, u"", 10, 56, 80, 40, kCbsDropDown | kWsVScroll | kWsTabStop, 0},
    {ControlKind::ListBox, 40, u"", 10, 72, 80, 24, kLbsNotify | kWsBorder | kWsVScroll | kLbsNoIntegralHeight, 0},
};
inline const DialogTemplate kTestDialogTemplate = {kTestDialog, u"Test Dialog", 0, 0, 130, 116,
    kDsModalFrame | kDsCenter | kWsCaption | kWsVisible, 0, u"System", 8, kTestControls, 5};
inline const DialogTemplate* const kDialogs[] = {&kTestDialogTemplate};
inline const MenuItemTemplate kPopup[] = {{u"Exit", 40005, nullptr, 0}, {nullptr, 0, nullptr, 0},
                                          {u"Map Set...", 40011, nullptr, 0}};
inline const MenuItemTemplate kTopMenu[] = {{u"Main", 0, kPopup, 3}, {u"Gps", 40006, nullptr, 0}};
inline const MenuTemplate kMenu104 = {104, kTopMenu, 2}, kMenu105 = {105, kTopMenu, 2};
inline const MenuTemplate* const kMenus[] = {&kMenu104, &kMenu105};
// Menu id, button count, then per button: image, command, state, style, caption, reserved, menu entry.
inline const uint16_t kButtons104[] = {104, 2, 65534, 40002, 4, 24, 40004, 0, 0, 65534, 40006, 4, 16, 40014, 0, 1};
inline const uint16_t kButtons105[] = {105, 2, 65534, 40002, 4, 24, 40004, 0, 0};  // claims 2, holds 1
inline const RawDataResource kRaw104 = {104, kButtons104, 16}, kRaw105 = {105, kButtons105, 9};
inline const RawDataResource* const kRaw[] = {&kRaw104, &kRaw105};
inline const StringResource kStrings[] = {{40004, u"Main"}, {40014, u"Gps"}};
inline const ResourceTable testResources = {kDialogs, 1, kMenus, 2, kRaw, 2, kStrings, 2, nullptr, 0, nullptr, 0};

struct LoggedMessage { WindowHandle window; uint32_t message; uintptr_t wParam; intptr_t lParam; };
inline std::vector<LoggedMessage> messageLog;

inline int CountMessages(uint32_t message, intptr_t wParam = -1)
{
    return int(std::count_if(messageLog.begin(), messageLog.end(), [&](const LoggedMessage& m) {
        return m.message == message && (wParam < 0 || m.wParam == uintptr_t(wParam));
    }));
}

// Logs everything, paints nothing; the rest is default processing.
inline intptr_t RecordingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    messageLog.push_back({window, message, wParam, lParam});
    PaintInfo info{};
    if (message == kMsgPaint) return BeginPaint(window, &info), EndPaint(window, &info), 0;
    return DefaultWindowProc(window, message, wParam, lParam);
}

// A shown main window of RecordingProc (client 240 x 268), the message log emptied.
inline WindowHandle MakeRecordedWindow()
{
    EnsureQtApplication(), messageLog.clear();
    static const WindowClass wc{3, RecordingProc, &testResources, 0, u"Recorded"};
    static const int registered [[maybe_unused]] = RegisterWindowClass(&wc);
    return CreateMainWindow(u"Recorded", u"Recorded", kStyleVisible, kUseDefault, kUseDefault, kUseDefault, kUseDefault);
}

// Processes events until done() or five seconds have gone by (a bound, not a measurement).
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 5000)
{
    return WaitUntil([&] { return QCoreApplication::processEvents(QEventLoop::AllEvents, 10), done(); }, limitMs);
}

// A temporary folder as the device root for the test's life.
struct TempRoot {
    std::string path = MakeTempFolder("platform");
    TempRoot() { EnsureQtApplication(), SetDeviceRoot(path); }
    ~TempRoot() { std::filesystem::remove_all(path); }
};

// What body writes on standard error with the diagnostics at verbose (off again after).
inline std::string Said(const std::function<void()>& body, int verbose = 1)
{
    StderrCapture capture;
    SetVerbose(verbose), body(), SetVerbose(0);
    return capture.Text();
}

inline uint32_t Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
inline QImage Filled(int w, int h, QRgb fill) { QImage image(w, h, QImage::Format_RGB32); return image.fill(fill), image; }
// 24-bit-safe gradient: pixel (x, y) = (4 x, 5 y, blue), so every pixel names its own column and row.
inline QImage Gradient(int w, int h, int blue)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(4 * x, 5 * y, blue));
    return image;
}

// A memory surface with bitmap selected into it (owned when made from an image).
struct Canvas {
    BitmapHandle bitmap;
    bool owned;
    SurfaceHandle surface = CreateCompatibleSurface(nullptr);
    ObjectHandle previous = SelectObject(surface, bitmap);
    explicit Canvas(const QImage& image) : bitmap((EnsureQtApplication(), CreateBitmapFromImage(image))), owned(true) {}
    explicit Canvas(BitmapHandle b) : bitmap(b), owned(false) {}
    ~Canvas() { SelectObject(surface, previous), DeleteSurface(surface), owned ? DeleteObject(bitmap) : 0; }
    QImage Pixels() const { return BitmapImage(bitmap); }
};
