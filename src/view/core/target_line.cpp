// The target line's text: the selected point's name, its plane-grid distance from
// the position and its bearing turned from grid north to true north by the grid's
// convergence at the position (found by stepping north in latitude).
#include <cmath>

#include "base/text.h"
#include "geo/geo.h"
#include "view/overlay.h"

namespace {

// Grid bearing of true north at the fix's latitude and longitude, degrees.
double TrueNorthOnGrid(const GpsState& g)
{
    const double lat = g.latHemisphere == u'S' ? -g.latitude : g.latitude;
    const double lon = g.lonHemisphere == u'W' ? -g.longitude : g.longitude;
    if (!(std::fabs(lat) < 85.0 && std::fabs(lon) <= 180.0)) return 0.0;
    double n0 = 0.0, e0 = 0.0, n1 = 0.0, e1 = 0.0;
    LatLonToGrid(lat, lon, &n0, &e0);
    LatLonToGrid(lat + 0.01, lon, &n1, &e1);
    const double d = std::atan2(e1 - e0, n1 - n0) * 180.0 / M_PI;
    return std::isfinite(d) ? d : 0.0;
}

}  // namespace

void FormatTargetLine(const GpsState& g, double targetEasting, double targetNorthing, const char16_t* name,
                      char16_t* out, int capacity)
{
    const double de = targetEasting - g.gridEasting;
    const double dn = targetNorthing - g.gridNorthing;
    const double distance = std::hypot(de, dn);
    double bearing = std::atan2(de, dn) * 180.0 / M_PI - TrueNorthOnGrid(g);
    if (!std::isfinite(bearing) || !std::isfinite(distance)) {
        FormatText(out, size_t(capacity), "%s", name);
        return;
    }
    bearing = std::fmod(std::fmod(bearing, 360.0) + 360.0, 360.0);
    int32_t degrees = static_cast<int32_t>(std::lround(bearing)) % 360;
    if (distance < 999.5) {
        FormatText(out, size_t(capacity), "%s  %d m  %d%c", name, static_cast<int32_t>(std::lround(distance)), degrees,
                   0x00B0);
    } else {
        FormatText(out, size_t(capacity), "%s  %.1f km  %d%c", name, distance / 1000.0, degrees, 0x00B0);
    }
}
