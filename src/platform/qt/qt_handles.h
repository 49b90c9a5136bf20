// What tests may rely on when they drive the Qt window layer directly: widget
// names, handle <-> widget lookups, the pixels of the client area, bitmaps and
// icons. Object names: main window "velkar-main", its client "velkar-client",
// its menu bar "velkar-menubar", menu-bar buttons "menubar-<command>" (their
// pop-up menus "menubar-popup-<command>"), each dialog "dlg-<templateId>", each
// dialog control "ctl-<id>" (controls without an id: "ctl-static").
#pragma once

#include <QImage>
#include <QWidget>

#include <string>

#include "platform/draw.h"
#include "platform/window.h"

// The handle of a main window or dialog widget (nullptr for any other widget),
// and the top-level widget of a handle (nullptr once destroyed).
WindowHandle HandleOfWidget(QWidget* widget);
QWidget* WidgetOfHandle(WindowHandle window);

// Creates the QApplication when none exists yet (offscreen when there is no
// display). Every entry point of the layer calls it, so tests need not.
void EnsureQtApplication();

// A copy of the client area's back buffer (Format_RGB32): what the last paint
// drew. Null image for a handle that is not a live main window.
QImage ClientImage(WindowHandle window);

// A copy of a bitmap object's pixels (Format_RGB32); null for other handles.
QImage BitmapImage(BitmapHandle bitmap);
// A copy of an icon's pixels (Format_ARGB32_Premultiplied).
QImage IconImage(IconHandle icon);
// A bitmap object holding a copy of image (converted to Format_RGB32); the caller
// releases it with DeleteObject. nullptr for a null image.
BitmapHandle CreateBitmapFromImage(const QImage& image);

// Dialog base units of the font a template names (average character width and
// character height in pixels), as RunDialog converts dialog units with them.
void DialogBaseUnits(const DialogTemplate* dialogTemplate, int* averageWidth, int* height);

// Options of the velkar program as PlatformMain reads them.
struct PlatformOptions {
    std::string root;              // "" : the default device root
    std::string screenshot;        // "" : none
    double timeScale = 1.0;        // > 0
    long long quitAfterTicks = 0;  // 0: never
    int sizeWidth = 0;             // --size WxH: the client area; 0: the default
    int sizeHeight = 0;
    bool fullScreen = false;       // --fullscreen
    bool demo = false;             // --demo: run on a scratch copy of the bundled demo root
    bool verbose = false;          // --verbose, -v: diagnostics on standard error
    bool help = false;
    bool version = false;
};
// 1 when the arguments are valid (options filled); 0 with a one-line message.
int ParsePlatformOptions(int argc, char** argv, PlatformOptions* options, std::string* message);

// Raise requests this instance has received from later starts on the same root.
int RaiseRequestsReceived();
// The endpoint of the single-instance check for the current device root: a
// socket path in a private folder, or "@name" in the abstract namespace.
std::string InstanceServerName();
