// The parts of the main view beyond the handheld's picture: the map drawn at any
// zoom, the dimmed map kept without a fix, night colours, the trail, "Off the map"
// and the target line (name, distance, bearing). Called by the paint handler only.
#pragma once

#include <cstdint>

#include "gps/gps_state.h"
#include "platform/draw.h"
#include "view/layout.h"

// 1 when the view is the handheld's: 240 x 268 at pixel ratio 1, zoom 1:1 and every
// view option off. What is new is then left out: the picture stays the handheld's own.
int ViewAtHandheldDefaults(int32_t width, int32_t height, double pixelRatio, double scale);

// The current map's bitmap with its top-left corner at (left, top), scale screen
// pixels per bitmap pixel, AND-ed onto the client area of width x height. Only the
// visible part of the bitmap is read.
void DrawMapAt(SurfaceHandle dc, int32_t left, int32_t top, int32_t width, int32_t height, double scale);

void DimView(SurfaceHandle dc, int32_t width, int32_t height);    // a map kept without a fix
void NightView(SurfaceHandle dc, int32_t width, int32_t height);  // dimmed and red-shifted

// The trail in a thin solid line of the trail colour.
void DrawTrailLine(SurfaceHandle dc, double easting, double northing, int32_t width, int32_t height, double scale,
                   int32_t lineWidth);

// "Off the map" in the small font, centred at the top.
void DrawOffTheMap(SurfaceHandle dc, const ViewLayout& layout, int32_t width);

// "Name  340 m  47°" for the selected point, under the proximity indicator: the
// distance in plane metres (km with one decimal from 1000 m), the bearing in
// degrees true, 0 to 359.
void FormatTargetLine(const GpsState& g, double targetEasting, double targetNorthing, const char16_t* name,
                      char16_t* out, int capacity);
void DrawTargetLine(SurfaceHandle dc, const GpsState& g, const ViewLayout& layout);
