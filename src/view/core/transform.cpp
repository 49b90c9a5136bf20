// Map placement arithmetic: plane-grid metres to bitmap and client pixels, in
// the evaluation order the stored calibrations were made with (quotient first,
// then product, then truncation toward zero). Pure; reads the current map entry.
#include "view/transform.h"

#include <cmath>
#include <limits>

#include "base/numbers.h"
#include "store/view_options.h"

namespace {

// a / b, with the IEEE result spelled out for a zero divisor (an infinity of the
// numerator's sign, or NaN for 0 / 0) so that no division by zero is ever executed.
double Quotient(double a, double b)
{
    if (b != 0.0) return a / b;
    if (std::isnan(a) || a == 0.0) return std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    return std::signbit(a) != std::signbit(b) ? -inf : inf;
}

// Integer steps of the placement, done wide so that saturated pixels (a map that
// is not drawable) cannot overflow; identical to int32 arithmetic for real maps.
int32_t ClampToInt32(int64_t v)
{
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

}  // namespace

int MapIsDrawable(const MapEntry& map)
{
    const double across = map.bottomRightX - map.topLeftX;
    const double down = map.topLeftY - map.bottomRightY;
    // Written so that NaN edges fail as well.
    if (!(std::isfinite(across) && across != 0.0)) return 0;
    if (!(std::isfinite(down) && down != 0.0)) return 0;
    return 1;
}

BitmapPixel GridToBitmapPixel(double easting, double northing)
{
    return GridToMapPixel(CurrentMapEntry(), easting, northing);
}

BitmapPixel GridToMapPixel(const MapEntry& m, double easting, double northing)
{
    BitmapPixel p;
    p.column = TruncToInt32(Quotient(easting - m.topLeftX, m.bottomRightX - m.topLeftX) * double(m.widthPx));
    // Measured upward from the bottom edge, then reversed: the stored calibrations
    // depend on this order (the shorter (top - Y) / span can differ in the last place).
    p.row = TruncToInt32(double(m.heightPx) -
                         Quotient(northing - m.bottomRightY, m.topLeftY - m.bottomRightY) * double(m.heightPx));
    return p;
}

int MapCovers(const MapEntry& map, double easting, double northing)
{
    if (MapIsDrawable(map) == 0) return 0;
    const BitmapPixel p = GridToMapPixel(map, easting, northing);
    return p.column >= 0 && p.column < map.widthPx && p.row >= 0 && p.row < map.heightPx ? 1 : 0;
}

double ScreenPixelsMoved(const MapEntry& map, double easting0, double northing0, double easting1,
                         double northing1, double scale)
{
    double across = std::fabs(easting1 - easting0);
    double down = std::fabs(northing1 - northing0);
    if (MapIsDrawable(map) == 1) {
        across *= std::fabs(double(map.widthPx) / (map.bottomRightX - map.topLeftX));
        down *= std::fabs(double(map.heightPx) / (map.topLeftY - map.bottomRightY));
    }
    const double moved = (across > down ? across : down) * scale;
    return std::isfinite(moved) && !std::isnan(across + down) ? moved : 1e9;
}

double CurrentZoomScale()
{
    return kZoomScales[MapZoomStep(CurrentMapEntry())];
}

int32_t GridToMapOrigin(double easting, double northing, int32_t width, int32_t height, int32_t* left,
                        int32_t* top, double scale)
{
    const BitmapPixel p = GridToBitmapPixel(easting, northing);
    const MapEntry& m = CurrentMapEntry();
    if (scale == 1.0) {  // the handheld's integer placement, kept exactly
        *left = ClampToInt32(int64_t(width / 2) - p.column - m.calibX);
        *top = ClampToInt32(int64_t(height / 2) - p.row - m.calibY);
        return 0;
    }
    // Rounded to the nearest pixel: the bitmap is then at most half a pixel from
    // where GridToScreen puts its points.
    *left = TruncToInt32(std::floor(double(width / 2) - (double(p.column) + m.calibX) * scale + 0.5));
    *top = TruncToInt32(std::floor(double(height / 2) - (double(p.row) + m.calibY) * scale + 0.5));
    return 0;
}

int32_t GridToScreen(double easting0, double northing0, double easting1, double northing1, int32_t width,
                     int32_t height, int32_t* x, int32_t* y, double scale)
{
    const BitmapPixel p0 = GridToBitmapPixel(easting0, northing0);
    const BitmapPixel p1 = GridToBitmapPixel(easting1, northing1);
    const int32_t hw = width / 2;
    const int32_t hh = height / 2;
    // The visible window, columns c0 - hw / scale .. c0 + hw / scale and rows likewise,
    // rescaled onto 0..width and 0..height. Quotient, then product, then truncation:
    // a point 3 columns right of the centre lands on 122 of 240, not 123. At scale 1
    // the edges are the exact integers c0 - hw and c0 + hw.
    const double halfColumns = Quotient(double(hw), scale);
    const double halfRows = Quotient(double(hh), scale);
    const double left = double(p0.column) - halfColumns;
    const double right = double(p0.column) + halfColumns;
    *x = TruncToInt32(Quotient(double(p1.column) - left, right - left) * double(width));
    const double top = double(p0.row) - halfRows;
    const double bottom = double(p0.row) + halfRows;
    *y = TruncToInt32(Quotient(double(p1.row) - top, bottom - top) * double(height));
    return 0;
}
