// The follow rule on the user-interface thread: the last painted position, the
// 50 ms poll that repaints on a move of a screen pixel (at most every 100 ms),
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

int painted = 0;  // 1 once the view has painted a position
double paintedEasting = 0.0;
double paintedNorthing = 0.0;
int64_t lastRequestMs = 0;
uint64_t seenSerial = 0;

}  // namespace

void NotePaintedPosition(double easting, double northing)
{
    painted = 1;
    paintedEasting = easting;
    paintedNorthing = northing;
}

double MovedSincePaint(const GpsState& g)
{
    if (painted == 0) return g.distanceMoved;
    const double moved = std::hypot(g.gridEasting - paintedEasting, g.gridNorthing - paintedNorthing);
    return std::isnan(moved) ? 1e9 : moved;
}

void FollowFixes(WindowHandle window)
{
    const uint64_t serial = LatestFixSerial();
    if (serial == seenSerial) return;  // nothing new: the last paint stands
    const GpsState g = SnapshotGpsState();
    FeedTrail();
    if (painted == 0 || gotoActive.load() != 0 || g.fixQuality == 0) {
        seenSerial = serial;
        return;
    }
    const double moved = ScreenPixelsMoved(CurrentMapEntry(), paintedEasting, paintedNorthing, g.gridEasting,
                                           g.gridNorthing, CurrentZoomScale());
    if (moved < 1.0) {
        seenSerial = serial;
        return;
    }
    const int64_t now = MonotonicMs();
    if (now - lastRequestMs < kFollowMinGapMs) return;  // asked again at the next poll
    seenSerial = serial;
    lastRequestMs = now;
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
