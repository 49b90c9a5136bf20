// velkar-map list: each record of vlmap.cfg, its coverage in latitude/longitude
// and whether its bitmap opens.
#include <cstdio>

#include "base/text.h"
#include "catalogue.h"
#include "grid_inverse.h"
#include "map_tool.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/settings.h"

int RunList(const Options& o)
{
    LoadDevice(o);
    const std::string file = DevicePathToHost(kMapCataloguePath);
    if (LoadMapCatalogue() == 0) {
        std::printf("%s: no catalogue; the navigator shows its built-in map .\\temp.bmp\n", file.c_str());
        return kExitOk;
    }
    std::printf("%s: %d map%s, corners in %s\n", file.c_str(), lastMapIndex + 1, lastMapIndex == 0 ? "" : "s",
                settings.mapInDegrees == 1 ? "degrees (mapInDegrees 1)" : "plane metres");
    for (int i = 0; i <= lastMapIndex && i < kMapCount; ++i) {
        const MapEntry& m = mapTable[i];
        double lat0, lon0, lat1, lon1;
        const int placed = GridToLatLon(m.topLeftY, m.topLeftX, &lat0, &lon0) &&
                           GridToLatLon(m.bottomRightY, m.bottomRightX, &lat1, &lon1);
        const BitmapCheck check = CheckBitmapFile(DevicePathToHost(m.bitmapPath));
        std::printf("%d  %s\n", i + 1, TextToUtf8(m.name).c_str());
        std::printf("   bitmap   %s: %s%s\n", TextToUtf8(m.bitmapPath).c_str(), check.opens ? "opens, " : "does not open, ",
                    check.detail.c_str());
        if (check.opens && check.widthPx > 0 && (check.widthPx != m.widthPx || check.heightPx != m.heightPx))
            std::printf("   note     the record's scale is %d x %d pixels, the bitmap's %d x %d\n", m.widthPx, m.heightPx,
                        check.widthPx, check.heightPx);
        std::printf("   plane    %s E %s N to %s E %s N, %d x %d pixels, calibration %d,%d\n",
                    FixedText(m.topLeftX, 1).c_str(), FixedText(m.topLeftY, 1).c_str(),
                    FixedText(m.bottomRightX, 1).c_str(), FixedText(m.bottomRightY, 1).c_str(), m.widthPx, m.heightPx,
                    m.calibX, m.calibY);
        if (placed)
            std::printf("   covers   %s to %s\n", DegreesText(lat0, lon0).c_str(), DegreesText(lat1, lon1).c_str());
        else
            std::printf("   covers   (its edges lie outside latitude/longitude)\n");
    }
    return kExitOk;
}

