// Window manager: the main window, timers, repaint requests, messages, message
// boxes, the menu bar, modal dialogs built from templates and their controls.
// Standard types and opaque handles only; the Qt side lives in platform/qt/.
// Message numbers, control messages, style bits and command ids are those the
// system's procedures switch on (see the constants below).
#pragma once

#include <cstdint>

#include "platform/resource_types.h"

struct PlatformWindow;
using WindowHandle = PlatformWindow*;

// Window and dialog procedures: (window, message, wParam, lParam).
using WindowProc = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
using DialogProc = WindowProc;

// Messages.
constexpr uint32_t kMsgCreate = 1;
constexpr uint32_t kMsgDestroy = 2;
constexpr uint32_t kMsgPaint = 15;
constexpr uint32_t kMsgClose = 16;
constexpr uint32_t kMsgInitDialog = 272;
constexpr uint32_t kMsgCommand = 273;
constexpr uint32_t kMsgTimer = 275;

// Control messages (SendDlgItemMessage).
constexpr uint32_t kCheckBoxGetCheck = 240;   // returns 1 checked, 0 not
constexpr uint32_t kCheckBoxSetCheck = 241;   // wParam 1 checked, 0 not
constexpr uint32_t kComboAddString = 323;     // lParam: const char16_t*; returns the position
constexpr uint32_t kComboGetCurSel = 327;     // returns the position or -1
constexpr uint32_t kComboSetCurSel = 334;     // wParam: position (-1 or out of range: none)
constexpr uint32_t kListAddString = 384;      // lParam: const char16_t*; returns the position
constexpr uint32_t kListSetCurSel = 390;      // wParam: position (out of range: none)
constexpr uint32_t kListGetCurSel = 392;      // returns the position or -1

// Notification codes, in the high 16 bits of a command's wParam.
constexpr uint32_t kNotifyClicked = 0;
constexpr uint32_t kNotifySelChange = 1;

inline uint32_t LowWord(uintptr_t v) { return static_cast<uint32_t>(v & 0xFFFF); }
inline uint32_t HighWord(uintptr_t v) { return static_cast<uint32_t>((v >> 16) & 0xFFFF); }
inline uintptr_t MakeWParam(uint32_t low, uint32_t high) { return (uintptr_t(high & 0xFFFF) << 16) | (low & 0xFFFF); }

// ---- Process -------------------------------------------------------------

// What the platform gives the program's entry.
struct EntryArguments {
    InstanceHandle instance;   // the program's resources
    int previousInstance;      // always 0 here
    const char16_t* commandLine;
    int showMode;
};
using EntryFunction = int (*)(const EntryArguments* arguments);

// Sets up the toolkit, reads the command line (--root, --screenshot, --time-scale,
// --quit-after-ticks, --help, --version), sets the device root and calls entry.
// Returns the exit status for main(). Wrong options: a one-line message and 2.
int PlatformMain(int argc, char** argv, InstanceHandle instance, EntryFunction entry);

// ---- Main window ---------------------------------------------------------

constexpr int32_t kUseDefault = static_cast<int32_t>(0x80000000);
constexpr uint32_t kStyleVisible = 0x10000000;

struct WindowClass {
    uint32_t style;            // 3: redraw on horizontal and vertical resizing
    WindowProc procedure;
    InstanceHandle instance;
    int32_t iconId;            // application icon resource
    const char16_t* className;
};

// 1 on success.
int RegisterWindowClass(const WindowClass* windowClass);

// Creates the main window of a registered class; the procedure receives message 1
// before this returns. The client area defaults to 240 x 268 pixels.
// nullptr on failure.
WindowHandle CreateMainWindow(const char16_t* className, const char16_t* title, uint32_t style, int32_t x,
                              int32_t y, int32_t width, int32_t height);

// One instance per device root: the window of another running instance with this
// class and title, or nullptr. Asking it to come to the front is BringToFront.
WindowHandle FindOtherInstance(const char16_t* className, const char16_t* title);
void BringToFront(WindowHandle window);

void ShowMainWindow(WindowHandle window, int showMode);
void UpdateWindowNow(WindowHandle window);  // paint at once if anything is invalid

intptr_t DefaultWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
int DestroyMainWindow(WindowHandle window);  // runs message 2 before returning

// Sends a message to the window's procedure and returns its result (synchronous).
intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Queues a message for the window's procedure: it is delivered from the message
// loop (or a modal loop), after the caller has returned. Dropped when the window
// is gone by then.
void PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Device pixels per pixel of the window's client area (1.0 on a plain screen).
double WindowPixelRatio(WindowHandle window);

// Repaint the whole client area at the next paint; erase: fill with the window
// background (white) first.
void InvalidateWindow(WindowHandle window, int erase);

// Timers deliver message 275 with the timer id as wParam, on the user-interface
// thread, also while a modal dialog runs. 1 on success.
int StartTimer(WindowHandle window, uint32_t timerId, uint32_t periodMs);
int StopTimer(WindowHandle window, uint32_t timerId);

// Message loop: runs until PostQuit; returns its code. Accelerators of the table
// send their commands to window.
int RunMessageLoop(WindowHandle window, AcceleratorHandle accelerators);
void PostQuit(int exitCode);

// A message box with an OK button, owned by owner; returns when dismissed. Where
// nobody can answer (no display), caption and text go to standard error and it
// returns at once.
void ShowMessageBox(WindowHandle owner, const char16_t* text, const char16_t* caption);

// ---- Menu bar --------------------------------------------------------------

// The handheld shell's menu-bar record (32 bytes there).
struct MenuBarInfo {
    uint32_t size;             // 32
    WindowHandle owner;
    uint32_t flags;            // 0
    int32_t resourceId;        // menu and button table id (104)
    InstanceHandle instance;
    int32_t bitmapId;          // 0: buttons without pictures
    int32_t bitmapCount;       // 0
    WindowHandle menuBar;      // out: the bar's window
};

// Builds the bar at the foot of the owner from menu resourceId and the button table
// with the same id. 1 on success, 0 on failure.
int CreateMenuBar(MenuBarInfo* info);

// ---- Resources -------------------------------------------------------------

AcceleratorHandle LoadAcceleratorTable(InstanceHandle instance, int32_t id);
IconHandle LoadIconResource(InstanceHandle instance, int32_t id);
void DestroyIconHandle(IconHandle icon);

// ---- Dialogs -----------------------------------------------------------------

// Runs the dialog template id of instance modally, owned by owner, with procedure
// and init value (lParam of message 272). Returns the end code. The owner keeps
// its timers and paints while the dialog runs.
intptr_t RunDialog(InstanceHandle instance, int32_t templateId, WindowHandle owner, DialogProc procedure,
                   intptr_t initValue);
// Ends the modal dialog with code; the procedure may still return afterwards.
int EndDialog(WindowHandle dialog, intptr_t code);

// Controls of a dialog by id.
int SetDlgItemText(WindowHandle dialog, int32_t id, const char16_t* text);
// Copies at most capacity - 1 characters and a terminator; returns the length.
int GetDlgItemText(WindowHandle dialog, int32_t id, char16_t* buffer, int capacity);
intptr_t SendDlgItemMessage(WindowHandle dialog, int32_t id, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Timers on a dialog deliver 275 to its procedure.
// (StartTimer / StopTimer above take a dialog as well.)
// Repaint the dialog at once.
void RedrawDialog(WindowHandle dialog);

// ---- Program-wide options set on the command line ----------------------------

// Where --screenshot writes the client area after every paint ("" when not set).
const char* ScreenshotPath();
