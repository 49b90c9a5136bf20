// The proximity decision: a square of 50 m half side, not a circle, with strict
// comparisons tested in the order west, east, south, north. No sound here; the
// caller plays the point's file.
#include "view/proximity.h"

int32_t FindPointInRange(double easting, double northing, const PrefPoint* table, int32_t lastIndex)
{
    if (lastIndex > kPrefCount - 1) lastIndex = kPrefCount - 1;
    const double east = easting + kProximityHalfSide;
    const double west = easting - kProximityHalfSide;
    const double north = northing + kProximityHalfSide;
    const double south = northing - kProximityHalfSide;
    for (int32_t i = 0; i <= lastIndex; ++i) {
        const PrefPoint& p = table[i];
        if (p.alert != 1) continue;
        if (p.x > west && p.x < east && p.y > south && p.y < north) return i;
    }
    return kNoPointInRange;
}
