// Map placement: plane-grid metres (easting, northing) to pixels of the current
// map's bitmap and of the client area. Pure arithmetic over the current map entry;
// every double becomes an int32 by truncation toward zero, saturating.
#pragma once

#include <cstdint>

#include "store/maps.h"

struct BitmapPixel {
    int32_t column;  // from the map's left edge, growing with easting
    int32_t row;     // from the map's top edge, growing as northing falls
};

// 1 when the map's edges span a finite, non-zero distance both ways, so that the
// transform gives meaningful pixels; 0 otherwise (the view then does not draw it).
int MapIsDrawable(const MapEntry& map);

// Pixel of the current map's bitmap at (easting, northing). Points outside the map
// give columns / rows outside 0..widthPx / 0..heightPx, negative ones included. On a
// map that is not drawable the quotients are infinite or undefined and the results
// saturate (INT32_MIN, INT32_MAX or 0) instead of invoking undefined behaviour.
BitmapPixel GridToBitmapPixel(double easting, double northing);
// The same for any catalogue entry.
BitmapPixel GridToMapPixel(const MapEntry& map, double easting, double northing);

// 1 when (easting, northing) lies on the map's bitmap (column 0..widthPx - 1, row
// 0..heightPx - 1) and the map is drawable; 0 otherwise.
int MapCovers(const MapEntry& map, double easting, double northing);

// How far, in screen pixels at scale, the position moves from (easting0, northing0)
// to (easting1, northing1) on the map: the larger of the horizontal and vertical
// moves. On a map that is not drawable one metre counts as one pixel; anything
// not a number counts as a move of 1e9 pixels, so that it is never ignored.
double ScreenPixelsMoved(const MapEntry& map, double easting0, double northing0, double easting1,
                         double northing1, double scale);

// Screen pixels per map pixel of the current map at its kept zoom step.
double CurrentZoomScale();

// Client position (left, top) of the bitmap's top-left corner that puts (easting,
// northing) on the client centre (width/2, height/2), with the map's calibration
// shift applied (positive calibX moves the bitmap left, positive calibY up).
// scale: screen pixels per map pixel (the bitmap drawn scale times its size, the
// shift scaled with it); 1 gives the handheld's placement. Returns 0 in every case.
int32_t GridToMapOrigin(double easting, double northing, int32_t width, int32_t height, int32_t* left,
                        int32_t* top, double scale = 1.0);

// Client position (x, y) of the point (easting1, northing1) while (easting0,
// northing0) lies on the client centre, the map drawn at scale screen pixels per
// map pixel. No calibration shift. Returns 0 in every case.
int32_t GridToScreen(double easting0, double northing0, double easting1, double northing1, int32_t width,
                     int32_t height, int32_t* x, int32_t* y, double scale = 1.0);
