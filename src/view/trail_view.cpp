// The trail on the user-interface thread: fed from the accepted fixes, drawn as
// runs of a polyline (points off the client area and points within two pixels of
// the last one drawn are left out), read and replaced as a small text file in the
// device root.
#include <cmath>
#include <string>

#include "gps/fix_history.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/view_options.h"
#include "view/trail.h"
#include "view/transform.h"

namespace {

uint64_t trailSerial = 0;       // newest fix taken into the trail
int32_t keptSinceSave = 0;      // points kept since the file was last replaced
Point screen[kTrailCapacity];   // one run of the polyline being drawn
constexpr int32_t kMargin = 64; // pixels beyond the client area that still count as inside
constexpr int32_t kMinStep = 2; // pixels between two points of a run (its ends always kept)

}  // namespace

int LoadTrail()
{
    ClearTrail();
    trailSerial = LatestFixSerial();  // fixes from before the window are not the trail's
    keptSinceSave = 0;
    TextFile* file = OpenTextFile(kTrailPath, "r");
    if (file == nullptr) return 0;
    std::u16string text;
    char16_t c = 0;
    while (ReadTextChar(file, &c) == 1 && text.size() < 64u * kTrailCapacity) text += c;
    CloseTextFile(file);
    ParseTrailText(text);
    return 1;
}

int SaveTrail()
{
    keptSinceSave = 0;
    return ReplaceTextFile(kTrailPath, TrailText().c_str());
}

int FeedTrail()
{
    AcceptedFix fixes[kFixHistorySize];
    const int32_t n = TakeFixesAfter(trailSerial, fixes, kFixHistorySize);
    int kept = 0;
    for (int32_t i = 0; i < n; ++i) {
        trailSerial = fixes[i].serial;
        if (fixes[i].fixQuality == 0) continue;
        const int added = AddTrailPoint(fixes[i].gridEasting, fixes[i].gridNorthing);
        kept |= added;
        keptSinceSave += added;
    }
    if (keptSinceSave >= kTrailSaveEvery && viewOptions.trail == 1) SaveTrail();
    return kept;
}

void DrawTrail(SurfaceHandle dc, double easting, double northing, int32_t width, int32_t height, double scale)
{
    // Plane metres a client pixel spans each way: a point further from the position
    // than half the client and the margin is left out before any pixel is worked out.
    const MapEntry& m = CurrentMapEntry();
    double across = 1.0 / scale, down = 1.0 / scale;
    if (MapIsDrawable(m) == 1 && m.widthPx > 0 && m.heightPx > 0) {
        across *= std::fabs((m.bottomRightX - m.topLeftX) / m.widthPx);
        down *= std::fabs((m.topLeftY - m.bottomRightY) / m.heightPx);
    }
    const double reachX = (width / 2 + kMargin) * across, reachY = (height / 2 + kMargin) * down;
    auto toScreen = [&](int32_t i) {
        const TrailPoint& t = TrailPointAt(i);
        Point p;
        GridToScreen(easting, northing, t.easting, t.northing, width, height, &p.x, &p.y, scale);
        return p;
    };
    // Points closer than kMinStep pixels to the last one kept wait as the run's possible
    // end: a zoomed-out trail costs what it shows, not the points it holds.
    Point pending = {0, 0};
    int hasPending = 0;
    auto append = [&](int32_t& run, const Point& p) {
        const int32_t dx = p.x - (run > 0 ? screen[run - 1].x : p.x), dy = p.y - (run > 0 ? screen[run - 1].y : p.y);
        if (run == 0 || dx >= kMinStep || dx <= -kMinStep || dy >= kMinStep || dy <= -kMinStep) {
            screen[run++] = p;
            hasPending = 0;
        } else {
            pending = p;
            hasPending = 1;
        }
    };
    auto flush = [&](int32_t& run) {
        if (hasPending && (pending.x != screen[run - 1].x || pending.y != screen[run - 1].y)) screen[run++] = pending;
        if (run > 1) Polyline(dc, screen, run);
        run = 0;
        hasPending = 0;
    };
    int32_t run = 0;
    int previousInside = 0;
    for (int32_t i = 0; i < trail.count; ++i) {
        const TrailPoint& t = TrailPointAt(i);
        const int inside = std::fabs(t.easting - easting) < reachX && std::fabs(t.northing - northing) < reachY;
        if (inside && !previousInside && i > 0) append(run, toScreen(i - 1));  // the segment coming in
        if (inside || previousInside) append(run, toScreen(i));
        if (!inside && previousInside) flush(run);  // the segment going out ends the run
        previousInside = inside;
    }
    if (run > 0) flush(run);
}
