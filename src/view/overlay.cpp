// The new parts of the main view on the platform's drawing calls: the map at any
// zoom (only the bitmap's visible part is read), the dim and night filters, the
// trail's pen, "Off the map" and the target line in the small font.
#include "view/overlay.h"

#include <cmath>

#include "app/globals.h"
#include "base/text.h"
#include "store/prefs.h"
#include "view/trail.h"
#include "view/view.h"

namespace {


constexpr int kLineSize = 96;

// Draws text at (left, top) in a bold font of fontHeight, then puts the view's font back.
void DrawSmallText(SurfaceHandle dc, const char16_t* text, int32_t left, int32_t top, int32_t fontHeight)
{
    ObjectHandle font = CreateViewFont(fontHeight);
    ObjectHandle previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    Rect r = {left, top, 1 << 20, 1 << 20};
    DrawTextInRect(dc, text, -1, &r, kDtInternal);
    if (font != nullptr) {
        SelectObject(dc, previous);
        DeleteObject(font);
    }
}

}  // namespace

void DrawMapAt(SurfaceHandle dc, int32_t left, int32_t top, int32_t width, int32_t height, double scale)
{
    if (mapBitmap == nullptr) return;  // its file failed to load: white background
    SurfaceHandle memory = CreateCompatibleSurface(dc);
    if (memory == nullptr) return;
    ObjectHandle replaced = SelectObject(memory, mapBitmap);
    int32_t mapWidth = 0;
    int32_t mapHeight = 0;
    GetBitmapSize(mapBitmap, &mapWidth, &mapHeight);
    if (scale == 1.0) {
        // The whole bitmap; the platform touches only what lands inside the client.
        BlockTransfer(dc, left, top, mapWidth, mapHeight, memory, 0, 0, kRopSourceAnd);
    } else {
        // The bitmap pixels that land in the client, widened to whole steps of the
        // reduction so that every destination edge falls on a whole pixel.
        const int32_t step = scale < 1.0 ? static_cast<int32_t>(std::lround(1.0 / scale)) : 1;
        auto firstSeen = [&](int32_t origin, int32_t size) {
            int64_t v = static_cast<int64_t>(std::floor(-double(origin) / scale));
            v = v < 0 ? 0 : v - v % step;
            return static_cast<int32_t>(v > size ? size : v);
        };
        auto endSeen = [&](int32_t origin, int32_t client, int32_t size) {
            int64_t v = static_cast<int64_t>(std::ceil((double(client) - origin) / scale));
            v = v + (step - v % step) % step;
            return static_cast<int32_t>(v > size ? size : (v < 0 ? 0 : v));
        };
        const int32_t x0 = firstSeen(left, mapWidth), x1 = endSeen(left, width, mapWidth);
        const int32_t y0 = firstSeen(top, mapHeight), y1 = endSeen(top, height, mapHeight);
        if (x1 > x0 && y1 > y0) {
            const int32_t dx = left + static_cast<int32_t>(std::lround(x0 * scale));
            const int32_t dy = top + static_cast<int32_t>(std::lround(y0 * scale));
            const int32_t dw = static_cast<int32_t>(std::lround((x1 - x0) * scale));
            const int32_t dh = static_cast<int32_t>(std::lround((y1 - y0) * scale));
            if (dw > 0 && dh > 0) StretchTransfer(dc, dx, dy, dw, dh, memory, x0, y0, x1 - x0, y1 - y0, kRopSourceAnd);
        }
    }
    SelectObject(memory, replaced);
    DeleteSurface(memory);
}

void DimView(SurfaceHandle dc, int32_t width, int32_t height)
{
    const Rect r = {0, 0, width, height};
    FilterSurface(dc, &r, kFilterDim);
}

void NightView(SurfaceHandle dc, int32_t width, int32_t height)
{
    const Rect r = {0, 0, width, height};
    FilterSurface(dc, &r, kFilterNight);
}

void DrawTrailLine(SurfaceHandle dc, double easting, double northing, int32_t width, int32_t height, double scale,
                   int32_t lineWidth)
{
    if (trail.count < 2) return;
    ObjectHandle pen = CreatePenObject(kPenSolid, lineWidth, colourTable[11]);
    ObjectHandle previous = pen != nullptr ? SelectObject(dc, pen) : nullptr;
    DrawTrail(dc, easting, northing, width, height, scale);
    if (pen != nullptr) {
        SelectObject(dc, previous);
        DeleteObject(pen);
    }
}

void DrawOffTheMap(SurfaceHandle dc, const ViewLayout& layout, int32_t width)
{
    // About 0.55 of the font's height a character: centred well enough for 11 characters.
    const int32_t halfWidth = static_cast<int32_t>(11 * 0.55 * layout.smallFontHeight / 2);
    DrawSmallText(dc, u"Off the map", width / 2 - halfWidth, layout.offMapTop, layout.smallFontHeight);
}

void DrawTargetLine(SurfaceHandle dc, const GpsState& g, const ViewLayout& layout)
{
    const PrefPoint& target = SelectedPrefPoint();
    char16_t line[kLineSize];
    FormatTargetLine(g, target.x, target.y, target.name, line, kLineSize);
    DrawSmallText(dc, line, layout.textLeft, layout.targetTextTop, layout.smallFontHeight + 2);
}
