// Proximity alert: the first preference point marked for alerts (alert exactly 1)
// lying inside the square of 50 m half side around the position shown, in plane-grid
// metres, and the playing of its sound file.
#pragma once

#include <cstdint>

#include "store/prefs.h"

constexpr double kProximityHalfSide = 50.0;  // metres, east-west and north-south
constexpr int32_t kNoPointInRange = 999;
constexpr int kSoundPathSize = 128;          // soundDirectory + soundFile, terminator included

// Pure decision: index of the first point of table[0..lastIndex] with alert 1 whose
// x and y both differ from (easting, northing) by less than 50 m (strictly), or 999.
// A negative lastIndex examines nothing; one beyond the table is cut to the table.
int32_t FindPointInRange(double easting, double northing, const PrefPoint* table, int32_t lastIndex);

// The check as the view runs it, on the preference-point table and lastPrefIndex:
// the point found plays its sound (synchronously) when settings.audioMessages is 1.
// CheckProximityAt takes the position from the caller's snapshot of GpsState;
// CheckProximity takes its own.
int32_t CheckProximityAt(double easting, double northing);
int32_t CheckProximity();

// Plays soundDirectory immediately followed by the point's soundFile ("%s%s", no
// separator), synchronously. An index outside the table plays nothing.
void PlayPointSound(int32_t index);

// The path PlayPointSound plays for point index, into out (kSoundPathSize units).
void BuildPointSoundPath(int32_t index, char16_t* out);
