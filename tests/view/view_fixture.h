// Shared set-up for the tests and benchmarks that paint the main view in a real
// offscreen window: a device root in /tmp, ALSA pointed at a file sink, coloured
// stand-in arrow icons, BMP files written byte by byte, and a window whose
// procedure paints the view (or, for reference frames, a single text).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QImage>

#include "platform/draw.h"
#include "platform/window.h"

namespace viewtest {

// Creates the device root (with "Scheda di memoria/Velkar" and "My Documents/Velkar"),
// the ALSA file-sink configuration and the arrow icons; returns the root.
std::string SetUpViewWorld();
void TearDownViewWorld();
std::string SinkPath();          // raw samples of the last sound played

// Colour (0xRRGGBB) of the stand-in arrow icon with index i of arrowIcons.
uint32_t ArrowColour(int index);

// A BMP of width x height: bits 24 or 32 (bottom-up or top-down) or 8 (a palette
// of the first 256 colours pixel() gives, in first-seen order). pixel gives 0xRRGGBB.
std::string BmpBytes(int32_t width, int32_t height, int bits, bool topDown,
                     const std::function<uint32_t(int32_t, int32_t)>& pixel);
void WriteFile(const std::string& path, const std::string& bytes);

// Main windows of a given client size whose message 15 runs PaintMainView, or,
// while a reference text is set, draws only that text in the view's font and
// colour at (left, top).
WindowHandle CreateViewWindow(int32_t width, int32_t height);
void SetReferenceText(const char16_t* text, int32_t left, int32_t top);  // nullptr: the view again
// Paints now (erase 1: on a freshly erased white client area) and returns the frame.
QImage PaintFrame(WindowHandle window, int erase = 1);

}  // namespace viewtest
