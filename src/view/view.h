// The moving map: the paint handler and its companions, and the one function
// through which the current map's bitmap is (re)loaded.
#pragma once

#include <cstdint>

#include "platform/draw.h"
#include "platform/window.h"

// Paints the main window's client area (message 15).
void PaintMainView(WindowHandle window);

// Index into arrowIcons for a course in degrees (0 to 7; never 4).
int32_t CourseToArrow(double course);

// A bold font of the given cell height in pixels; the caller deletes it.
ObjectHandle CreateViewFont(int32_t height);

// Releases mapBitmap and loads the bitmap named by the current map entry into it
// (empty when it cannot be loaded). Used at window creation and after the Map set
// dialog switches maps.
void SwitchMapBitmap();

// Releases mapBitmap and leaves it empty (start-up reset, destroy handler).
void ReleaseMapBitmap();

constexpr int kColourCount = 20;
extern const uint32_t colourTable[kColourCount];  // 0x00BBGGRR

// Zoom of the current map: steps up (positive) or down the table of
// kZoomScales, or back to 1:1; the position stays at the centre and the step is
// kept for that map. Repaints.
void ZoomBy(int32_t steps);
void ZoomReset();
