// Newton's method on LatLonToGrid, with its Jacobian from central differences.
#include "grid_inverse.h"

#include <cmath>
#include <limits>

#include "geo/geo.h"

namespace {

constexpr double kMetresPerDegree = 111320.0;  // start value only
constexpr double kStepDegrees = 1e-6;          // for the differences, about 0.1 m
constexpr double kToleranceMetres = 1e-4;         // metres
constexpr int kMaxIterations = 40;

}  // namespace

int GridToLatLon(double northing, double easting, double* latitude, double* longitude)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    *latitude = nan;
    *longitude = nan;
    if (!(std::isfinite(northing) && std::isfinite(easting))) return 0;
    double lat = northing / kMetresPerDegree;
    if (!(lat > -80.0 && lat < 80.0)) lat = lat > 0 ? 80.0 : -80.0;
    double lon = 9.0 + (easting - 500000.0) / (kMetresPerDegree * std::cos(lat * kDegToRad));
    for (int i = 0; i < kMaxIterations; ++i) {
        double n = 0, e = 0;
        LatLonToGrid(lat, lon, &n, &e);
        const double dn = northing - n;
        const double de = easting - e;
        if (std::fabs(dn) < kToleranceMetres && std::fabs(de) < kToleranceMetres) {
            *latitude = lat;
            *longitude = lon;
            return 1;
        }
        double n1, e1, n2, e2, n3, e3, n4, e4;
        LatLonToGrid(lat + kStepDegrees, lon, &n1, &e1);
        LatLonToGrid(lat - kStepDegrees, lon, &n2, &e2);
        LatLonToGrid(lat, lon + kStepDegrees, &n3, &e3);
        LatLonToGrid(lat, lon - kStepDegrees, &n4, &e4);
        const double nLat = (n1 - n2) / (2 * kStepDegrees), eLat = (e1 - e2) / (2 * kStepDegrees);
        const double nLon = (n3 - n4) / (2 * kStepDegrees), eLon = (e3 - e4) / (2 * kStepDegrees);
        const double det = nLat * eLon - nLon * eLat;
        if (!(std::fabs(det) > 0)) return 0;
        lat += (dn * eLon - de * nLon) / det;
        lon += (de * nLat - dn * eLat) / det;
        if (!(std::isfinite(lat) && std::isfinite(lon))) return 0;
    }
    return 0;
}
