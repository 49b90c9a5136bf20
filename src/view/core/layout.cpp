// The overlay's layout for any client size: distances to the edges taken from the
// handheld's 240 x 268 picture and multiplied by the growth, which is the pixel
// ratio times 1 up to 480 px and up to 1.5 at 1920 px on the longer side.
#include "view/layout.h"

#include <cmath>

#include "store/view_options.h"
#include "view/overlay.h"

namespace {

constexpr int32_t kHandheldWidth = 240;
constexpr int32_t kHandheldHeight = 268;
constexpr double kGrowFrom = 480.0;   // windows up to this longer side keep the handheld's sizes
constexpr double kGrowFull = 1920.0;  // and reach the largest growth here
constexpr double kGrowMost = 0.5;     // 1.5 times at full HD

int32_t Grown(int32_t handheld, double growth)
{
    const int32_t v = static_cast<int32_t>(std::lround(handheld * growth));
    return v > 0 ? v : 1;
}

}  // namespace

ViewLayout LayoutView(int32_t width, int32_t height, double pixelRatio)
{
    if (!(pixelRatio >= 1.0 && pixelRatio <= 8.0)) pixelRatio = 1.0;
    const double longer = width > height ? width : height;
    double large = 1.0;
    if (longer > kGrowFrom) large += kGrowMost * std::fmin(1.0, (longer - kGrowFrom) / (kGrowFull - kGrowFrom));
    const double g = pixelRatio * large;

    ViewLayout l;
    l.growth = g;
    l.fontHeight = Grown(22, g);
    l.smallFontHeight = Grown(12, g);
    l.penWidth = Grown(2, g);
    l.trailWidth = g >= 2.0 ? static_cast<int32_t>(g) : 1;  // thin: one pixel up to twice the size
    l.markerRadius = Grown(6, g);
    l.targetRadius = Grown(2, g);
    l.textLeft = 1;
    l.proximityTop = Grown(10, g);
    l.targetTextTop = l.proximityTop + l.fontHeight + Grown(2, g);
    l.offMapTop = 1;
    l.speedTop = height - Grown(kHandheldHeight - 245, g);
    l.notFixedTop = height - Grown(kHandheldHeight - 240, g);
    l.arrowSize = Grown(32, g);
    l.arrowLeft = width - Grown(kHandheldWidth - 180, g);
    l.arrowTop = height - Grown(kHandheldHeight - 230, g);
    return l;
}

int ViewAtHandheldDefaults(int32_t width, int32_t height, double pixelRatio, double scale)
{
    if (width != kHandheldWidth || height != kHandheldHeight || pixelRatio != 1.0 || scale != 1.0) return 0;
    const ViewOptions& o = viewOptions;
    return o.trail == 0 && o.recordTrack == 0 && o.keepMapWithoutFix == 0 && o.night == 0 ? 1 : 0;
}
