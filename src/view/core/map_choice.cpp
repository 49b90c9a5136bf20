// Which catalogue map shows a position: among the maps whose bitmap covers it, the
// one with the fewest metres per pixel, the first listed on a tie.
#include <cmath>

#include "store/maps.h"
#include "view/follow.h"
#include "view/transform.h"

int32_t ChooseMapFor(double easting, double northing)
{
    int32_t best = -1;
    double bestMetres = 0.0;
    const int32_t last = lastMapIndex < kMapCount ? lastMapIndex : kMapCount - 1;
    for (int32_t i = 0; i <= last; ++i) {
        const MapEntry& m = mapTable[i];
        if (MapCovers(m, easting, northing) == 0) continue;
        const double metres = std::fabs((m.bottomRightX - m.topLeftX) / double(m.widthPx));
        if (best < 0 || metres < bestMetres) best = i, bestMetres = metres;
    }
    return best;
}
