// The follow rule on the user-interface thread: the last painted position, the
// 50 ms poll that repaints on a move of a screen pixel (at most ten a second),
// and the switch to the catalogue map that covers the position.
#include "view/follow.h"

#include <cmath>

#include "app/globals.h"
#include "gps/fix_history.h"
#include "platform/clock.h"
#include "store/maps.h"
#include "view/trail.h"
#include "view/transform.h"
#include "view/view.h"

namespace {

// What the last paint showed: never painted by the view, no position, a position.
enum PaintedState { kNeverPainted, kPaintedNoPosition, kPaintedPosition };
PaintedState painted = kNeverPainted;
double paintedEasting = 0.0;
double paintedNorthing = 0.0;
// When the last kFollowMostPerSecond repaints were asked for (a ring): a new one
// waits until the oldest is a second old, so no second holds more, while fixes that
// come a little early or late are still each repainted.
int64_t requestMs[kFollowMostPerSecond] = {};
int32_t oldestRequest = 0;
int requestsMade = 0;
uint64_t seenSerial = 0;

}  // namespace

void NotePaintedNothing()
{
    painted = kPaintedNoPosition;
}

void NotePaintedPosition(double easting, double northing)
{
    painted = kPaintedPosition;
    paintedEasting = easting;
    paintedNorthing = northing;
}

double MovedSincePaint(const GpsState& g)
{
    if (painted != kPaintedPosition) return g.distanceMoved;
    const double moved = std::hypot(g.gridEasting - paintedEasting, g.gridNorthing - paintedNorthing);
    return std::isnan(moved) ? 1e9 : moved;
}

void FollowFixes(WindowHandle window)
{
    const uint64_t serial = LatestFixSerial();
    if (serial == seenSerial) return;  // nothing new: the last paint stands
    const GpsState g = SnapshotGpsState();
    FeedTrail();
    if (painted == kNeverPainted || gotoActive.load() != 0 || g.fixQuality == 0) {
        seenSerial = serial;
        return;
    }
    // The first position after a view without one is always worth a repaint.
    const double moved = painted == kPaintedNoPosition
                             ? 1.0
                             : ScreenPixelsMoved(CurrentMapEntry(), paintedEasting, paintedNorthing, g.gridEasting,
                                                 g.gridNorthing, CurrentZoomScale());
    if (moved < 1.0) {
        seenSerial = serial;
        return;
    }
    const int64_t now = MonotonicMs();
    if (requestsMade >= kFollowMostPerSecond && now - requestMs[oldestRequest] < 1000) return;  // next poll
    seenSerial = serial;
    requestMs[oldestRequest] = now;
    oldestRequest = (oldestRequest + 1) % kFollowMostPerSecond;
    if (requestsMade < kFollowMostPerSecond) ++requestsMade;
    InvalidateWindow(window, 1);
}

int FollowPositionAcrossMaps(double easting, double northing)
{
    if (MapCovers(CurrentMapEntry(), easting, northing) == 1) return 0;
    const int32_t chosen = ChooseMapFor(easting, northing);
    if (chosen < 0 || chosen == currentMap) return 0;
    currentMap = chosen;
    SwitchMapBitmap();
    return 1;
}
