#include "store/view_options.h"

#include <string_view>

#include "base/text.h"

const double kZoomScales[kZoomStepCount] = {1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 1.0, 2.0, 4.0};
ViewOptions viewOptions = {};
const char16_t kViewOptionsPath[] = u"\\My Documents\\Velkar\\vlview.cfg";

namespace {

struct MapZoom {
    char16_t bitmapPath[kBitmapPathSize];
    int32_t step;
};
constexpr int kKeptZooms = 16;
MapZoom keptZooms[kKeptZooms];
int keptCount = 0;

int FindKept(const MapEntry& map)
{
    for (int i = 0; i < keptCount; ++i)
        if (std::u16string_view(keptZooms[i].bitmapPath) == std::u16string_view(map.bitmapPath)) return i;
    return -1;
}

}  // namespace

int32_t MapZoomStep(const MapEntry& map)
{
    const int i = FindKept(map);
    return i < 0 ? kZoomOneToOne : keptZooms[i].step;
}

void SetMapZoomStep(const MapEntry& map, int32_t step)
{
    if (step < 0) step = 0;
    if (step > kZoomStepCount - 1) step = kZoomStepCount - 1;
    int i = FindKept(map);
    if (i < 0) {
        i = keptCount < kKeptZooms ? keptCount++ : kKeptZooms - 1;  // the newest replaces the last
        CopyText(keptZooms[i].bitmapPath, kBitmapPathSize, map.bitmapPath);
    }
    keptZooms[i].step = step;
}

// The file itself comes with the View pop-up; until then the choices live for the run.
int LoadViewOptions() { return 0; }
int SaveViewOptions() { return 0; }
