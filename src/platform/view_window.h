// What the window layer does for the view's choices: check marks in the menu
// bar's pop-ups, full screen, night colours for the window's palette, menu-bar
// buttons a finger can hit, wheel and pinch as message 0x020A, and the client
// size and full screen asked for on the command line (--size WxH, --fullscreen).
#pragma once

#include <cstdint>

#include "platform/window.h"

// The mouse wheel over the client area (and a pinch on a touch screen or pad):
// wParam's high 16 bits hold the signed distance, 120 a notch; a pinch sends
// +120 each time it has spread by a quarter, -120 each time it has closed by a fifth.
constexpr uint32_t kMsgMouseWheel = 0x020A;
constexpr int32_t kWheelNotch = 120;

// From now on the window's procedure receives message 0x020A for the wheel and
// pinches over its client area. 1 on success.
int DeliverWheelAndPinch(WindowHandle window);

// Shows or clears the check mark of the pop-up item with this command in the
// window's menu bar. 1 when the item exists.
int CheckMenuBarItem(WindowHandle window, int32_t commandId, int checked);

// Full screen on (1) or back to the window it was (0).
void SetWindowFullScreen(WindowHandle window, int on);
// 1 while the window fills the screen.
int WindowIsFullScreen(WindowHandle window);

// Night (1): every window and dialog in dark red on black; 0: the usual colours.
void SetNightPalette(int on);

// On a screen 10 cm high or less, or with a touch screen, the menu bar's buttons
// are made at least 9 mm tall (the client area keeps its size). Returns the
// buttons' height in pixels afterwards.
int32_t FitMenuBarToFingers(WindowHandle window);
// The rule itself: the least button height in pixels for a screen heightMm tall
// (0: unknown) at pixelsPerMm, with or without a touch screen; 0: no minimum.
int32_t FingerButtonHeight(double heightMm, double pixelsPerMm, int touch);

// --size WxH: 1 with the client size asked for, else 0 (width and height untouched).
int RequestedClientSize(int32_t* width, int32_t* height);
// --fullscreen: 1 when given.
int RequestedFullScreen();
