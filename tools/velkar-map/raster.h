// A georeferenced raster made ready for the navigator with GDAL and PROJ: opened,
// expanded to colours, warped into the plane grid (EPSG:32632) unless it already
// lies north-up in it, placed through the navigator's own LatLonToGrid, and
// written as an uncompressed 24-bit BMP. Errors come back as one line of text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MapRasterPrivate;

struct MapRaster {
    MapRasterPrivate* p = nullptr;
    int warped = 0;          // 0: taken pixel for pixel; 1: warped into EPSG:32632
    int32_t widthPx = 0;     // of the bitmap to be written
    int32_t heightPx = 0;
    double metresPerPixelX = 0;  // of the bitmap, in its own coordinate system
    double metresPerPixelY = 0;
    std::string sourceSrs;   // short name of the input's coordinate system
    std::string note;        // what was taken ("zoom 15 of 13 to 15", "2 ground overlays"), or ""
};

// What to take from the file: srs ("" for none) overrides the file's own
// coordinate system; resampling is a GDAL resampling name (near, bilinear,
// cubic, lanczos...); zoom (-1: the deepest that fits one BMP) picks an MBTiles's
// or tile folder's level; area (latitude, longitude, latitude, longitude) cuts.
struct MapRequest {
    std::string srs;
    std::string resampling = "bilinear";
    int zoom = -1;
    int hasArea = 0;
    double area[4] = {0, 0, 0, 0};
};

// Opens path: a raster file (GeoTIFF, OziExplorer .map with its image or OZF,
// GeoPDF, KAP, an image with a world file...), an MBTiles, an XYZ tile folder, or
// a KMZ/KML of ground overlays.
int OpenMapRaster(const std::string& path, const MapRequest& request, MapRaster* raster, std::string* error);
void CloseMapRaster(MapRaster* raster);

struct MapPlacement {
    double topLeftLat, topLeftLon;          // WGS84 degrees of the top-left corner, from PROJ
    double bottomRightLat, bottomRightLon;
    double topLeftX, topLeftY;              // the same corners through LatLonToGrid, metres
    double bottomRightX, bottomRightY;
    double maxResidual;                     // metres, over a grid of points on the map
    double meanResidual;
};

// Edges and residual: for points over the bitmap, the distance between where
// the navigator puts the point (linear between the edges) and LatLonToGrid of
// the latitude/longitude GDAL/PROJ give that point.
int PlaceMapRaster(const MapRaster& raster, MapPlacement* placement, std::string* error);

// Bytes of the 24-bit BMP for the raster (header included).
uint64_t BmpFileSize(int32_t widthPx, int32_t heightPx);

// Writes the BMP to hostPath, a new file (created exclusively, never through a
// link; an existing name fails). The room is reserved before
// the first pixel, so a full disk fails at once. Transparent or uncovered pixels
// become white, the colour the navigator draws where no map is.
int WriteMapBmp(const MapRaster& raster, const std::string& hostPath, std::string* error);
