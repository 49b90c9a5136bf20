// The trail: the positions of the last 10 km (or since the start), kept one point
// every few metres in a fixed ring, drawn as a thin line under the markers, kept
// across a map switch (plane metres, not pixels) and across a restart in
// "\My Documents\Velkar\vltrail.txt" (one "easting northing" line a point).
#pragma once

#include <cstdint>

#include <string>

#include "platform/draw.h"

constexpr int32_t kTrailCapacity = 4096;
constexpr double kTrailLength = 10000.0;  // metres kept behind the position
constexpr double kTrailSpacing = 2.5;     // metres between kept points (4000 for 10 km)

struct TrailPoint {
    double easting, northing;  // plane grid, metres
};
struct Trail {
    TrailPoint points[kTrailCapacity];
    int32_t first;  // oldest point's slot
    int32_t count;
    double length;  // metres along the kept points
};
extern Trail trail;
extern const char16_t kTrailPath[];

void ClearTrail();
// Keeps (easting, northing) when it lies kTrailSpacing or more from the newest point
// (always the first one), then drops the oldest while the trail is longer than
// kTrailLength or the ring is full. Values that are not finite plane metres are
// refused. 1 when kept.
int AddTrailPoint(double easting, double northing);
// Point i, 0 the oldest; i must lie in 0..count - 1.
const TrailPoint& TrailPointAt(int32_t i);

// The file's text for the current trail, and the trail read from such a text
// (lines that are not two plane-metre numbers are skipped; at most the newest
// kTrailCapacity kept). ParseTrailText returns the points read.
std::u16string TrailText();
int32_t ParseTrailText(const std::u16string& text);

// The file: read at window creation (missing: an empty trail), replaced atomically
// on exit and every kTrailSaveEvery new points. 1 on success.
constexpr int32_t kTrailSaveEvery = 64;
int LoadTrail();
int SaveTrail();

// Takes the fixes accepted since the last call into the trail (saving every
// kTrailSaveEvery points). 1 when a point was kept.
int FeedTrail();

// Draws the trail as a polyline in the current pen, centred on (easting, northing)
// at scale, for a client of width x height.
void DrawTrail(SurfaceHandle dc, double easting, double northing, int32_t width, int32_t height, double scale);
