// What velkar-map's GDAL side shares between opening, placing and writing a map:
// the private state behind MapRaster and small GDAL/PROJ helpers. GDAL's errors
// are caught by a quiet handler and handed back as text; nothing here prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gdal.h>
#include <ogr_srs_api.h>

constexpr int kPlaneEpsg = 32632;      // WGS84 / UTM 32N: the plane grid within a metre
constexpr int kPlaneEpsgEtrs = 25832;  // ETRS89 / UTM 32N, taken as it is

struct MapRequest;

// The datasets a map file gave: every one opened (closed in reverse order) and
// the one to warp.
struct MapSources {
    std::vector<GDALDatasetH> owned;
    std::vector<GDALDatasetH> inputs;
    std::vector<std::string> memoryFiles;  // GDAL's /vsimem/ files, removed with the datasets
    std::string note;
};
int OpenMapSources(const std::string& path, const MapRequest& request, MapSources* sources, std::string* error);
int OpenKmlOverlays(const std::string& path, MapSources* sources, std::string* error);
void CloseMapSources(MapSources* sources);
// A number as GDAL's options take it ("%.12g").
std::string FixedDegrees(double value);

struct MapRasterPrivate {
    MapSources sources;                            // as opened
    std::vector<GDALDatasetH> virtuals;            // expansions and the warp, newest last
    GDALDatasetH view = nullptr;                   // what is written
    OGRSpatialReferenceH viewSrs = nullptr;
    double geo[6] = {0, 1, 0, 0, 0, 1};            // view's pixel-corner geotransform
    std::vector<int> bands;                        // colour bands (1 or 3), then alpha if any
    int hasAlpha = 0;
};

// GDAL's last error message on one line, or fallback when there is none.
std::string LastGdalError(const char* fallback);
// A spatial reference with x = easting/longitude; EpsgSrs: nullptr when unknown.
OGRSpatialReferenceH NewSrs();
OGRSpatialReferenceH EpsgSrs(int code);
// The text of a ".prj" beside the file (same name, other extension), or "".
std::string ReadPrjBeside(const std::string& path);
// 1 when srs is the plane grid's own system (EPSG:32632 or 25832).
int IsPlaneSrs(OGRSpatialReferenceH srs);
// "EPSG:32633", or the system's name.
std::string SrsName(OGRSpatialReferenceH srs);
// A GDAL utility's argument list ("-of", "VRT", ...), owned by the caller.
char** ArgList(const std::vector<std::string>& args);
