// A map's placement: its corners through the navigator's own LatLonToGrid and
// the residual, over a grid of points, between where the navigator draws each
// point (linear between the edges) and where GDAL/PROJ put it.
#include <algorithm>
#include <cmath>

#include "geo/geo.h"
#include "raster.h"
#include "raster_private.h"

namespace {

constexpr int kResidualSteps = 10;  // residual grid: 11 x 11 points

}  // namespace

int PlaceMapRaster(const MapRaster& raster, MapPlacement* m, std::string* error)
{
    const MapRasterPrivate& p = *raster.p;
    OGRSpatialReferenceH wgs84 = EpsgSrs(4326);
    OGRCoordinateTransformationH toWgs84 = OCTNewCoordinateTransformation(p.viewSrs, wgs84);
    OSRDestroySpatialReference(wgs84);
    if (toWgs84 == nullptr) {
        *error = "PROJ cannot transform the map to WGS84: " + LastGdalError("no transformation");
        return 0;
    }
    const double w = raster.widthPx;
    const double h = raster.heightPx;
    // Latitude/longitude of the pixel corner (column, row), from GDAL's transform.
    auto latLonAt = [&](double column, double row, double* lat, double* lon) {
        double x = p.geo[0] + column * p.geo[1] + row * p.geo[2];
        double y = p.geo[3] + column * p.geo[4] + row * p.geo[5];
        const int ok = OCTTransform(toWgs84, 1, &x, &y, nullptr);
        *lon = x;
        *lat = y;
        return ok && std::isfinite(x) && std::isfinite(y);
    };
    int ok = latLonAt(0, 0, &m->topLeftLat, &m->topLeftLon) && latLonAt(w, h, &m->bottomRightLat, &m->bottomRightLon);
    if (ok) {
        LatLonToGrid(m->topLeftLat, m->topLeftLon, &m->topLeftY, &m->topLeftX);
        LatLonToGrid(m->bottomRightLat, m->bottomRightLon, &m->bottomRightY, &m->bottomRightX);
        double sum = 0;
        m->maxResidual = 0;
        for (int i = 0; ok && i <= kResidualSteps; ++i) {
            for (int j = 0; ok && j <= kResidualSteps; ++j) {
                const double column = w * i / kResidualSteps;
                const double row = h * j / kResidualSteps;
                double lat, lon, northing, easting;
                ok = latLonAt(column, row, &lat, &lon);
                LatLonToGrid(lat, lon, &northing, &easting);
                // Where the navigator puts that pixel corner: linear between the edges.
                const double placedX = m->topLeftX + column / w * (m->bottomRightX - m->topLeftX);
                const double placedY = m->topLeftY - row / h * (m->topLeftY - m->bottomRightY);
                const double r = std::hypot(placedX - easting, placedY - northing);
                m->maxResidual = std::max(m->maxResidual, r);
                sum += r;
            }
        }
        m->meanResidual = sum / ((kResidualSteps + 1) * (kResidualSteps + 1));
    }
    OCTDestroyCoordinateTransformation(toWgs84);
    if (!ok) *error = "PROJ cannot place the map's corners in latitude/longitude: " + LastGdalError("out of range");
    return ok;
}
