// Map placement arithmetic: plane-grid metres to bitmap and client pixels, in
// the evaluation order the stored calibrations were made with (quotient first,
// then product, then truncation toward zero). Pure; reads the current map entry.
#include "view/transform.h"

#include <cmath>
#include <limits>

#include "base/numbers.h"

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
    const MapEntry& m = CurrentMapEntry();
    BitmapPixel p;
    p.column = TruncToInt32(Quotient(easting - m.topLeftX, m.bottomRightX - m.topLeftX) * double(m.widthPx));
    // Measured upward from the bottom edge, then reversed: the stored calibrations
    // depend on this order (the shorter (top - Y) / span can differ in the last place).
    p.row = TruncToInt32(double(m.heightPx) -
                         Quotient(northing - m.bottomRightY, m.topLeftY - m.bottomRightY) * double(m.heightPx));
    return p;
}

int32_t GridToMapOrigin(double easting, double northing, int32_t width, int32_t height, int32_t* left,
                        int32_t* top)
{
    const BitmapPixel p = GridToBitmapPixel(easting, northing);
    const MapEntry& m = CurrentMapEntry();
    *left = ClampToInt32(int64_t(width / 2) - p.column - m.calibX);
    *top = ClampToInt32(int64_t(height / 2) - p.row - m.calibY);
    return 0;
}

int32_t GridToScreen(double easting0, double northing0, double easting1, double northing1, int32_t width,
                     int32_t height, int32_t* x, int32_t* y)
{
    const BitmapPixel p0 = GridToBitmapPixel(easting0, northing0);
    const BitmapPixel p1 = GridToBitmapPixel(easting1, northing1);
    const int32_t hw = width / 2;
    const int32_t hh = height / 2;
    // The visible window, columns c0 - hw .. c0 + hw and rows r0 - hh .. r0 + hh,
    // rescaled onto 0..width and 0..height. Quotient, then product, then truncation:
    // a point 3 columns right of the centre lands on 122 of 240, not 123.
    const double left = double(int64_t(p0.column) - hw);
    const double right = double(int64_t(p0.column) + hw);
    *x = TruncToInt32(Quotient(double(p1.column) - left, right - left) * double(width));
    const double top = double(int64_t(p0.row) - hh);
    const double bottom = double(int64_t(p0.row) + hh);
    *y = TruncToInt32(Quotient(double(p1.row) - top, bottom - top) * double(height));
    return 0;
}
