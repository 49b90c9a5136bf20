// Where the overlay sits in a client area of any size: each element keeps the
// distance from the edge it sits at on the handheld's 240 x 268 (texts from the
// left, speed and "GPS Not Fixed" from the bottom, the arrow from the bottom-right
// corner), and markers, fonts and arrow grow with the pixel ratio and large windows.
#pragma once

#include <cstdint>

struct ViewLayout {
    double growth;            // 1 on the handheld; the pixel ratio times the large-window factor
    int32_t fontHeight;       // the view's bold font (22 on the handheld)
    int32_t smallFontHeight;  // "Off the map" and the target line
    int32_t penWidth;         // the dashed track-line pen and the position circle (2)
    int32_t trailWidth;       // the trail's thin line (1)
    int32_t markerRadius;     // position circle (6)
    int32_t targetRadius;     // target circle (2)
    int32_t textLeft;         // every text's left edge (1)
    int32_t proximityTop;     // "?" / "!n" (10)
    int32_t targetTextTop;    // the target line, under the indicator
    int32_t offMapTop;        // "Off the map"
    int32_t speedTop;         // "Fix  n.nKm/h" (245 of 268)
    int32_t notFixedTop;      // "GPS Not Fixed" (240 of 268)
    int32_t arrowLeft;        // course arrow (180 of 240)
    int32_t arrowTop;         // (230 of 268)
    int32_t arrowSize;        // drawn width and height (the icon's own 32)
};

// The layout for a client area of width x height on a screen of pixelRatio device
// pixels per pixel (anything not a number of at least 1 counts as 1). At 240 x 268
// and ratio 1 every value is the handheld's.
ViewLayout LayoutView(int32_t width, int32_t height, double pixelRatio);
