// Application globals shared by the shell, the view and the dialogs. One instance
// each for the whole run; the user-interface thread owns them.
#pragma once

#include <cstdint>

#include "platform/draw.h"
#include "platform/window.h"

constexpr int kArrowCount = 8;
constexpr int kSoundDirectorySize = 260;
constexpr int kPortNameSize = 8;

extern InstanceHandle hInstance;          // source of all resources
extern WindowHandle mainWindow;
extern char16_t portName[kPortNameSize];  // "COM1:" to "COM5:"
extern BitmapHandle mapBitmap;            // bitmap of the current map, or nullptr
extern IconHandle arrowIcons[kArrowCount];
extern char16_t soundDirectory[kSoundDirectorySize];  // "\Scheda di memoria\Velkar"
extern int32_t logTickCounter;            // ticks counted towards the next track-log line
extern int32_t redrawCounter;             // ticks since the last forced repaint
