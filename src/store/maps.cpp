#include "store/maps.h"

#include "base/numbers.h"
#include "base/text.h"
#include "geo/geo.h"
#include "store/settings.h"
#include "store/bracket_tokens.h"

MapEntry mapTable[kMapCount];
int32_t currentMap = 0;
int32_t lastMapIndex = 0;
int32_t loadedCalibration[kMapCount][2];

const char16_t kMapCataloguePath[] = u"\\My Documents\\Velkar\\vlmap.cfg";

void FillDefaultMapEntry(int32_t index)
{
    if (!(index >= 0 && index < kMapCount)) return;
    MapEntry& m = mapTable[index];
    CopyAsciiText(m.bitmapPath, kBitmapPathSize, ".\\temp.bmp");
    m.widthPx = 741;
    m.heightPx = 498;
    m.topLeftX = 716346.6;
    m.topLeftY = 4914433.5;
    m.bottomRightX = 717261.9;
    m.bottomRightY = 4913879.2;
    m.calibX = 0;
    m.calibY = 0;
}

MapEntry& CurrentMapEntry()
{
    return (currentMap >= 0 && currentMap < kMapCount) ? mapTable[currentMap] : mapTable[0];
}

namespace {

struct CatalogueReading {
    int32_t records = 0;
    double corners[4] = {0, 0, 0, 0};  // tokens 3 to 6, held until the record closes
};

int MapToken(int32_t number, char16_t* token, void* context)
{
    auto& r = *static_cast<CatalogueReading*>(context);
    MapEntry& m = mapTable[r.records];
    switch (number) {
    case 1: CopyText(m.name, kMapNameSize, token); break;
    case 2: CopyText(m.bitmapPath, kBitmapPathSize, token); break;
    case 3: case 4: case 5: case 6: r.corners[number - 3] = TextToDouble(token); break;
    case 7: m.widthPx = TruncToInt32(TextToDouble(token)); break;
    case 8: m.heightPx = TruncToInt32(TextToDouble(token)); break;
    case 9: m.calibX = TruncToInt32(TextToDouble(token)); break;
    case 10: m.calibY = TruncToInt32(TextToDouble(token)); break;
    case 11: m.spare = TruncToInt32(TextToDouble(token)); break;
    case 12:
        if (settings.mapInDegrees == 1) {
            LatLonToGrid(r.corners[0], r.corners[1], &m.topLeftY, &m.topLeftX);
            LatLonToGrid(r.corners[2], r.corners[3], &m.bottomRightY, &m.bottomRightX);
        } else {
            m.topLeftX = r.corners[0];
            m.topLeftY = r.corners[1];
            m.bottomRightX = r.corners[2];
            m.bottomRightY = r.corners[3];
        }
        ++r.records;
        if (r.records >= kMapCount) return 0;  // a sixth record is not read
        break;
    default: break;
    }
    return 1;
}

}  // namespace

int LoadMapCatalogue()
{
    CatalogueReading reading;
    const int read = ReadBracketTokens(kMapCataloguePath, MapToken, &reading);
    if (read == 1) lastMapIndex = reading.records - 1;
    for (int i = 0; i < kMapCount; ++i) {
        loadedCalibration[i][0] = mapTable[i].calibX;
        loadedCalibration[i][1] = mapTable[i].calibY;
    }
    return read;
}
