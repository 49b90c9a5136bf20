// Following the position: the view remembers where it last painted; the tick's
// move test measures from there, and a 50 ms poll repaints at once when the
// position has moved a screen pixel or more at the current zoom, at most ten times
// a second. The map shown follows the position across the catalogue.
#pragma once

#include <cstdint>

#include "gps/gps_state.h"
#include "platform/window.h"

constexpr uint32_t kFollowTimerId = 11026;
constexpr uint32_t kFollowPeriodMs = 50;
constexpr int32_t kFollowMostPerSecond = 10;  // repaints the poll asks for in any second

// The paint handler tells where it centred the view, or that it showed no position.
void NotePaintedPosition(double easting, double northing);
void NotePaintedNothing();
// Metres between the position in g and the last painted one (g.distanceMoved, the
// move between the last two fixes, before the view has painted a position).
double MovedSincePaint(const GpsState& g);

// The poll (timer kFollowTimerId): takes new fixes into the trail and asks for a
// repaint when the position shown moved a pixel since the last paint.
void FollowFixes(WindowHandle window);

// Index of the catalogue map that should show (easting, northing): the finest scale
// (fewest metres per pixel) of those covering it, the first listed on a tie; -1 when
// none does.
int32_t ChooseMapFor(double easting, double northing);
// When the current map does not cover the position and another does, that one
// becomes current, as if chosen in Map set. 1 when the map changed.
int FollowPositionAcrossMaps(double easting, double northing);
