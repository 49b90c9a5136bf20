// The map catalogue "\My Documents\Velkar\vlmap.cfg": up to five calibrated maps,
// each a bitmap with the plane-grid coordinates (metres) of its edges.
//   [1][Centro][\My Documents\Velkar\centro.bmp][716346.6][4914433.5][717261.9][4913879.2][741][498][0][0][0][-]
//    0   name     bitmapPath                     left X    top Y      right X   bottom Y  w   h  cx cy spare 12
#pragma once

#include <cstdint>

constexpr int kMapCount = 5;
constexpr int kBitmapPathSize = 260;  // 259 characters and the terminator
constexpr int kMapNameSize = 130;     // 129 characters and the terminator

struct MapEntry {
    char16_t bitmapPath[kBitmapPathSize];
    char16_t name[kMapNameSize];
    int32_t widthPx;       // pixel columns between the left and right edges
    int32_t heightPx;      // pixel rows between the top and bottom edges
    int32_t reserved;
    double topLeftX;       // plane easting of the left edge, metres
    double topLeftY;       // plane northing of the top edge
    double bottomRightX;   // plane easting of the right edge
    double bottomRightY;   // plane northing of the bottom edge
    int32_t calibX;        // calibration shift, pixels (positive moves the bitmap left)
    int32_t calibY;        // calibration shift, pixels (positive moves the bitmap up)
    int32_t spare;
};

extern MapEntry mapTable[kMapCount];
extern int32_t currentMap;    // index of the map shown
extern int32_t lastMapIndex;  // maps read minus one

extern const char16_t kMapCataloguePath[];

// Fills entry index with the built-in default map (".\temp.bmp", 741 x 498,
// 716346.6 / 4914433.5 to 717261.9 / 4913879.2, no calibration).
void FillDefaultMapEntry(int32_t index);

// Reads up to five records from index 0 (corners converted with LatLonToGrid when
// settings.mapInDegrees is 1); lastMapIndex = complete records - 1. Returns 0
// when the file cannot be opened (table and lastMapIndex unchanged), else 1.
int LoadMapCatalogue();

// Each entry's calibX and calibY as the last LoadMapCatalogue left them: what
// this run started from.
extern int32_t loadedCalibration[kMapCount][2];

// The entry at currentMap, or entry 0 when currentMap lies outside the table.
MapEntry& CurrentMapEntry();
