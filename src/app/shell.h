// The application shell: the program's entry, the main window procedure with its
// start-up, tick and shutdown, the command table and the About dialog. Runs on
// the user-interface thread only.
#pragma once

#include <cstdint>

#include "platform/window.h"

constexpr uint32_t kMainTimerId = 11024;
constexpr uint32_t kMainTimerPeriodMs = 3000;  // one tick: emulation step, track log, repaint rule
constexpr int32_t kLogEveryTicks = 10;        // a track-log line every tenth tick with a fix
constexpr int32_t kRedrawEveryTicks = 3;      // forced repaint when the position stands still
constexpr double kRepaintDistance = 1.0;      // metres moved since the last repaint that repaint at once

// The main window's own message: the reader's late "Unable to open the port",
// posted by the tick (in the range the window system leaves to applications).
constexpr uint32_t kMsgPortFailure = 0x8001;

extern const char16_t kMainClassName[];       // "Velkar Application"
extern const char16_t kMainTitle[];           // "Velkar"

// Steps 1 to 8 of the start: one instance per device root, class, window, port,
// message loop. Returns the exit code (0 also when another instance runs).
int VelkarEntry(const EntryArguments* arguments);

// The main window's procedure: 1 create, 2 destroy, 15 paint, 16 close,
// 273 command, 275 timer (11024 the tick, 11025 the GPX recorder, 11026 the
// view's follow poll), 0x020A wheel and pinch; anything else goes to
// DefaultWindowProc.
intptr_t MainWndProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The start-up reset: GpsState, the default map entry, then the settings file,
// the map catalogue and the preference points in this order (the latter two read
// mapInDegrees and prefInDegrees from the settings), then the remaining globals.
void ResetState();

// "COM1:" to "COM5:" for comPort 1 to 5, "COM1:" for any other value.
void ChoosePortName(int32_t comPort, char16_t* name /* kPortNameSize */);

// Parts of MainWndProc kept beside the command table (commands.cpp): the command
// message (273) and the menu bar built at window creation.
intptr_t MainWindowCommand(WindowHandle window, uintptr_t wParam, intptr_t lParam);
void CreateMainMenuBar(WindowHandle window);

// Commands of the View pop-up (and of the keys '+', '-', '0' and F11).
constexpr uint32_t kCmdZoomIn = 40020;
constexpr uint32_t kCmdZoomOut = 40021;
constexpr uint32_t kCmdZoomOneToOne = 40022;
constexpr uint32_t kCmdTrail = 40023;
constexpr uint32_t kCmdRecordTrack = 40024;
constexpr uint32_t kCmdKeepMapWithoutFix = 40025;
constexpr uint32_t kCmdNightColours = 40026;
constexpr uint32_t kCmdFullScreen = 40027;

// The View pop-up's commands (view_commands.cpp): 1 when command is one of them.
int ViewCommand(WindowHandle window, uint32_t command);
// Message 0x020A: the wheel or a pinch zooms a step per notch.
void OnMouseWheel(WindowHandle window, uintptr_t wParam);
// At window creation, once the bar exists: wheel and pinch, finger-sized buttons,
// full screen, night palette and recording as vlview.cfg (or --fullscreen) has
// them, the pop-up's check marks. At destroy: the recording is closed.
void StartViewOptions(WindowHandle window);
void StopViewOptions(WindowHandle window);

// The About dialog (template 105): "OK" (id 1) closes it.
intptr_t AboutDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);
