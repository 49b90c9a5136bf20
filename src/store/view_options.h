// The view's own choices, beside the nine integers of the settings file: the zoom
// of each map, the trail, GPX recording, keeping the map while the fix is lost,
// night colours and full screen. Kept in "\My Documents\Velkar\vlview.cfg".
// Everything off and every map at 1:1 by default: the view is then the handheld's.
#pragma once

#include <cstdint>

#include "store/maps.h"

// Zoom steps: 1:8, 1:6, 1:4, 1:3, 1:2, 1:1, 2:1, 4:1 (screen pixels per map pixel).
constexpr int32_t kZoomStepCount = 8;
constexpr int32_t kZoomOneToOne = 5;
extern const double kZoomScales[kZoomStepCount];

struct ViewOptions {
    int32_t trail;              // 1 = draw the trail of the last 10 km
    int32_t recordTrack;        // 1 = write every accepted fix to a GPX track
    int32_t keepMapWithoutFix;  // 1 = keep the last map and position, dimmed, without a fix
    int32_t night;              // 1 = night colours
    int32_t fullScreen;         // 1 = the main window fills the screen
};
extern ViewOptions viewOptions;
extern const char16_t kViewOptionsPath[];

// Zoom step of a map (kZoomOneToOne when none is kept for it), and setting it
// (clamped to 0 .. kZoomStepCount - 1). Maps are told apart by their bitmap path.
int32_t MapZoomStep(const MapEntry& map);
void SetMapZoomStep(const MapEntry& map, int32_t step);

// The map chosen when the program was last left with Exit, by its bitmap path: at
// start-up it becomes current again when the catalogue still holds it.
// KeepChosenMap notes the current one for the next SaveViewOptions (Exit does);
// ChosenMapIndex is its index in the map table, -1 when none is kept or listed.
void KeepChosenMap(const MapEntry& map);
int32_t ChosenMapIndex();

// Reads vlview.cfg (missing or unreadable: the defaults); 1 when it was read.
int LoadViewOptions();
// Replaces vlview.cfg atomically; 0 when it cannot be written (the old file stays).
int SaveViewOptions();
