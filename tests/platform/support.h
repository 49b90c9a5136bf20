// Shared pieces of the window-layer tests: a small resource table (dialogs 900
// and 901, menu and button table 104, strings, accelerators 102, icon 50), a
// procedure that records every message, event pumping and temporary folders.
#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/draw.h"
#include "platform/window.h"

extern const ResourceTable testResources;

constexpr int32_t kTestDialog = 900;      // centred, default push button, every control kind
constexpr int32_t kTestToolDialog = 901;  // not centred, tool window, at (10, 20) dialog units
constexpr int32_t kTestIcon = 50;         // 32 x 32: red disc on transparent

struct LoggedMessage {
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};
extern std::vector<LoggedMessage> messageLog;
// Counts logged messages with this number (and, when given, this wParam).
int CountMessages(uint32_t message);
int CountMessages(uint32_t message, uintptr_t wParam);

// A window procedure that logs everything; message 15 runs paintHook (if set)
// between BeginPaint and EndPaint, message 16 destroys the window, message 2
// posts quit 0, the rest goes to DefaultWindowProc.
intptr_t RecordingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
extern std::function<void(SurfaceHandle, const PaintInfo&)> paintHook;

// A main window of a fresh class with RecordingProc (client 240 x 268), shown.
WindowHandle MakeRecordedWindow();

// Processes events until done() or about five seconds have gone by (a bound on
// waiting, not a measurement); returns done().
bool PumpUntil(const std::function<bool()>& done);
// Processes the events already due, for a moment.
void PumpBriefly();

// A new empty folder under the system's temporary folder.
std::string MakeTempFolder();
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Runs body with standard error sent to a file and returns what was written.
std::string CaptureStderr(const std::function<void()>& body);
std::string CaptureStdout(const std::function<void()>& body);

inline uint32_t Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
