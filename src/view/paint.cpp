// The main view (message 15): the current map placed so that the position shown
// lies on the client centre, the track line to the selected preference point, the
// proximity indicator, the speed text, the position circle and the course arrow.
// Everything created here is released here; GpsState is read once, under its lock.
#include "view/view.h"

#include <cstdint>

#include "app/globals.h"
#include "base/text.h"
#include "gps/gps_state.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "view/proximity.h"
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

constexpr int kTextSize = 128;                // formatted texts, terminator included
constexpr int32_t kViewFontHeight = 22;       // pixels
constexpr int32_t kPenWidth = 2;              // pixels
constexpr int32_t kMarkerRadius = 6;          // position circle, pixels
constexpr int32_t kTargetRadius = 2;          // target circle, pixels
constexpr int32_t kTextLeft = 1;
constexpr int32_t kProximityTextTop = 10;
constexpr int32_t kSpeedTextTop = 245;
constexpr int32_t kNotFixedTextTop = 240;
constexpr int32_t kArrowLeft = 180;           // absolute, whatever the client size
constexpr int32_t kArrowTop = 230;

// v + d without overflow: a target on a map without scale lies at a saturated
// position, and its circle's box must not wrap around.
int32_t Beside(int32_t v, int32_t d)
{
    const int64_t r = int64_t(v) + d;
    if (r > INT32_MAX) return INT32_MAX;
    if (r < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(r);
}

// AND-transfers the whole bitmap to (left, top); the platform touches only what
// lands inside the client area. White client pixels take the map's own colours.
void DrawMap(SurfaceHandle dc, int32_t left, int32_t top)
{
    if (mapBitmap == nullptr) return;  // its file failed to load: white background
    SurfaceHandle memory = CreateCompatibleSurface(dc);
    if (memory == nullptr) return;
    ObjectHandle replaced = SelectObject(memory, mapBitmap);
    int32_t width = 0;
    int32_t height = 0;
    GetBitmapSize(mapBitmap, &width, &height);
    BlockTransfer(dc, left, top, width, height, memory, 0, 0, kRopSourceAnd);
    SelectObject(memory, replaced);
    DeleteSurface(memory);
}

// Previous position, centre, selected point; then the target circle.
void DrawTrackLine(SurfaceHandle dc, const GpsState& g, int32_t w, int32_t h)
{
    const PrefPoint& target = SelectedPrefPoint();
    Point line[3];
    GridToScreen(g.gridEasting, g.gridNorthing, g.prevGridEasting, g.prevGridNorthing, w, h, &line[0].x,
                 &line[0].y);
    line[1].x = w / 2;
    line[1].y = h / 2;
    GridToScreen(g.gridEasting, g.gridNorthing, target.x, target.y, w, h, &line[2].x, &line[2].y);
    Polyline(dc, line, 3);
    Ellipse(dc, Beside(line[2].x, kTargetRadius), Beside(line[2].y, kTargetRadius),
            Beside(line[2].x, -kTargetRadius), Beside(line[2].y, -kTargetRadius));
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

    SetTextColor(dc, colourTable[2]);
    ObjectHandle font = CreateViewFont(kViewFontHeight);
    ObjectHandle previousFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    ObjectHandle pen = CreatePenObject(kPenDash, kPenWidth, colourTable[2]);
    ObjectHandle previousPen = pen != nullptr ? SelectObject(dc, pen) : nullptr;

    const GpsState g = SnapshotGpsState();
    char16_t text[kTextSize];

    if (g.fixQuality != 0 || gotoActive.load() != 0) {
        int32_t left = 0;
        int32_t top = 0;
        GridToMapOrigin(g.gridEasting, g.gridNorthing, w, h, &left, &top);
        // A map whose edges coincide has no scale: it is left out, the rest is drawn.
        if (MapIsDrawable(CurrentMapEntry())) DrawMap(dc, left, top);
        if (settings.trackToTarget == 1) DrawTrackLine(dc, g, w, h);
        if (settings.proximity == 1) {
            // May play the point's sound, synchronously, before anything more is drawn.
            const int32_t found = CheckProximityAt(g.gridEasting, g.gridNorthing);
            if (found == kNoPointInRange) {
                CopyText(text, kTextSize, u"?");
            } else {
                FormatText(text, kTextSize, "!%d", found);
            }
            DrawTextAt(dc, &textRect, kTextLeft, kProximityTextTop, text);
        }
    }

    if (g.fixQuality != 0) {
        // Cut to the buffer for absurd speeds; two spaces after "Fix".
        FormatText(text, kTextSize, "Fix  %.1fKm/h", g.speedKmh);
        DrawTextAt(dc, &textRect, kTextLeft, kSpeedTextTop, text);
    } else {
        DrawTextAt(dc, &textRect, kTextLeft, kNotFixedTextTop, u"GPS Not Fixed");
    }

    Ellipse(dc, w / 2 + kMarkerRadius, h / 2 + kMarkerRadius, w / 2 - kMarkerRadius, h / 2 - kMarkerRadius);

    const IconHandle arrow = arrowIcons[CourseToArrow(g.course)];
    if (arrow != nullptr) DrawIconAt(dc, kArrowLeft, kArrowTop, arrow, 0, 0, 0, nullptr, kDiNormal);

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
