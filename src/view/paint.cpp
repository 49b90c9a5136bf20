// The main view (message 15): the current map placed so that the position shown
// lies on the client centre at the map's zoom, the trail, the track line to the
// selected preference point, the proximity indicator, the speed text, the position
// circle and the course arrow, laid out for the client's size. Everything created
// here is released here; GpsState is read once, under its lock.
#include "view/view.h"

#include <cstdint>

#include "app/globals.h"
#include "base/text.h"
#include "gps/gps_state.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "view/proximity.h"
#include "gps/fix_history.h"
#include "store/view_options.h"
#include "view/follow.h"
#include "view/layout.h"
#include "view/overlay.h"
#include "view/transform.h"

const uint32_t colourTable[kColourCount] = {
    0x0000FF,  // 0 red
    0x00FF00,  // 1 green
    0xFF0000,  // 2 blue: texts and the pen
    0x00FFFF,  // 3 yellow
    0xFF00FF,  // 4 magenta
    0xFFFF00,  // 5 cyan
    0xFFFFFF,  // 6 white
    0x000080,  // 7 dark red
    0x008000,  // 8 dark green
    0x800000,  // 9 dark blue
    0x008080,  // 10 olive
    0x800080,  // 11 purple
    0x808000,  // 12 teal
    0x808080,  // 13 grey
    0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00,  // 14..19: 0..5 again
};

namespace {

constexpr int kTextSize = 128;  // formatted texts, terminator included

// v + d without overflow: a target on a map without scale lies at a saturated
// position, and its circle's box must not wrap around.
int32_t Beside(int32_t v, int32_t d)
{
    const int64_t r = int64_t(v) + d;
    if (r > INT32_MAX) return INT32_MAX;
    if (r < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(r);
}

// Previous position, centre, selected point; then the target circle.
void DrawTrackLine(SurfaceHandle dc, const GpsState& g, int32_t w, int32_t h, double scale, int32_t radius)
{
    const PrefPoint& target = SelectedPrefPoint();
    Point line[3];
    GridToScreen(g.gridEasting, g.gridNorthing, g.prevGridEasting, g.prevGridNorthing, w, h, &line[0].x,
                 &line[0].y, scale);
    line[1].x = w / 2;
    line[1].y = h / 2;
    GridToScreen(g.gridEasting, g.gridNorthing, target.x, target.y, w, h, &line[2].x, &line[2].y, scale);
    Polyline(dc, line, 3);
    Ellipse(dc, Beside(line[2].x, radius), Beside(line[2].y, radius), Beside(line[2].x, -radius),
            Beside(line[2].y, -radius));
}

void DrawTextAt(SurfaceHandle dc, Rect* textRect, int32_t left, int32_t top, const char16_t* text)
{
    textRect->left = left;
    textRect->top = top;
    DrawTextInRect(dc, text, -1, textRect, kDtInternal);
}

}  // namespace

ObjectHandle CreateViewFont(int32_t height)
{
    FontAttributes f = {};
    f.height = height;  // positive: cell height in pixels
    f.width = 0;        // the platform's width for that height
    f.weight = kFontWeightBold;
    f.faceName[0] = 0;  // the platform's default face
    return CreateFontObject(&f);
}

void PaintMainView(WindowHandle window)
{
    PaintInfo info = {};
    SurfaceHandle dc = BeginPaint(window, &info);
    if (dc == nullptr) {
        EndPaint(window, &info);
        return;
    }
    Rect client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    const int32_t w = client.right;
    const int32_t h = client.bottom;
    Rect textRect = client;  // right and bottom stay (w, h) for every text
    const double ratio = WindowPixelRatio(window);
    const ViewLayout l = LayoutView(w, h, ratio);

    SetTextColor(dc, colourTable[2]);
    ObjectHandle font = CreateViewFont(l.fontHeight);
    ObjectHandle previousFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    ObjectHandle pen = CreatePenObject(kPenDash, l.penWidth, colourTable[2]);
    ObjectHandle previousPen = pen != nullptr ? SelectObject(dc, pen) : nullptr;

    const GpsState g = SnapshotGpsState();
    char16_t text[kTextSize];
    const int shown = g.fixQuality != 0 || gotoActive.load() != 0;
    // Without a fix the last map and position may stay, dimmed, once a fix has come.
    const int kept = !shown && viewOptions.keepMapWithoutFix == 1 && LatestFixSerial() != 0;
    if (shown) FollowPositionAcrossMaps(g.gridEasting, g.gridNorthing);
    const double scale = CurrentZoomScale();
    const int atDefaults = ViewAtHandheldDefaults(w, h, ratio, scale);

    if (shown) {
        NotePaintedPosition(g.gridEasting, g.gridNorthing);
    } else {
        NotePaintedNothing();
    }
    if (shown || kept) {
        int32_t left = 0;
        int32_t top = 0;
        GridToMapOrigin(g.gridEasting, g.gridNorthing, w, h, &left, &top, scale);
        // A map whose edges coincide has no scale: it is left out, the rest is drawn.
        if (MapIsDrawable(CurrentMapEntry())) DrawMapAt(dc, left, top, w, h, scale);
        if (kept) DimView(dc, w, h);
        if (viewOptions.trail == 1) DrawTrailLine(dc, g.gridEasting, g.gridNorthing, w, h, scale, l.trailWidth);
        if (!MapCovers(CurrentMapEntry(), g.gridEasting, g.gridNorthing)) DrawOffTheMap(dc, l, w);
    }
    if (shown) {
        // No point loaded: no target, so no line to plane (0, 0).
        if (settings.trackToTarget == 1 && lastPrefIndex >= 0) {
            DrawTrackLine(dc, g, w, h, scale, l.targetRadius);
            if (!atDefaults) DrawTargetLine(dc, g, l);
        }
        if (settings.proximity == 1) {
            // May play the point's sound, synchronously, before anything more is drawn.
            const int32_t found = CheckProximityAt(g.gridEasting, g.gridNorthing);
            if (found == kNoPointInRange) {
                CopyText(text, kTextSize, u"?");
            } else {
                FormatText(text, kTextSize, "!%d", found);
            }
            DrawTextAt(dc, &textRect, l.textLeft, l.proximityTop, text);
        }
    }

    if (g.fixQuality != 0) {
        // Cut to the buffer for absurd speeds; two spaces after "Fix".
        FormatText(text, kTextSize, "Fix  %.1fKm/h", g.speedKmh);
        DrawTextAt(dc, &textRect, l.textLeft, l.speedTop, text);
    } else {
        DrawTextAt(dc, &textRect, l.textLeft, l.notFixedTop, u"GPS Not Fixed");
    }

    const int32_t r = l.markerRadius;
    Ellipse(dc, w / 2 + r, h / 2 + r, w / 2 - r, h / 2 - r);

    const IconHandle arrow = arrowIcons[CourseToArrow(g.course)];
    // Drawn at its own size on the handheld, grown with the layout elsewhere.
    const int32_t arrowSize = l.growth == 1.0 ? 0 : l.arrowSize;
    if (arrow != nullptr) DrawIconAt(dc, l.arrowLeft, l.arrowTop, arrow, arrowSize, arrowSize, 0, nullptr, kDiNormal);
    if (viewOptions.night == 1) NightView(dc, w, h);

    if (pen != nullptr) {
        SelectObject(dc, previousPen);
        DeleteObject(pen);
    }
    if (font != nullptr) {
        SelectObject(dc, previousFont);
        DeleteObject(font);
    }
    EndPaint(window, &info);
}
