// The preference-point file "\My Documents\Velkar\vlpref.cfg": up to ten named
// places in the plane grid, for the proximity alert, the track line and GoTo.
//   [1][Rocca][-][44.348733][11.7175][-][-][1][\bip.wav][-][-][-][-]
//    0  name   2  X or lat   Y or lon 5  6 alert sound   9 10 11 12
#pragma once

#include <cstdint>

constexpr int kPrefCount = 10;
constexpr int kSoundFileSize = 10;  // 9 characters and the terminator
constexpr int kPrefNameSize = 32;   // 31 characters and the terminator

struct PrefPoint {
    double x;                           // plane easting, metres
    double y;                           // plane northing, metres
    int32_t alert;                      // exactly 1 = takes part in the proximity check
    char16_t soundFile[kSoundFileSize]; // appended to soundDirectory, so it starts with '\'
    char16_t name[kPrefNameSize];
};

extern PrefPoint prefTable[kPrefCount];
extern int32_t lastPrefIndex;  // points read minus one
extern int32_t selectedPref;   // target of the track line and of GoTo

extern const char16_t kPrefPointsPath[];

// Reads up to ten records from index 0 (converted with LatLonToGrid when
// settings.prefInDegrees is 1); lastPrefIndex = complete records - 1. Entries
// beyond keep their old content. Returns 0 when the file cannot be opened (table
// and lastPrefIndex unchanged), else 1. selectedPref is not changed.
int LoadPrefPoints();

// The entry at selectedPref, or entry 0 when selectedPref lies outside the table.
PrefPoint& SelectedPrefPoint();
