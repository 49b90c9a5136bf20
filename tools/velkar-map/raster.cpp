// GDAL and PROJ behind velkar-map: opening a raster, expanding its palette and
// warping it into the plane grid unless it already lies north-up in it. GDAL's
// errors are caught by a quiet handler and handed back as text.
#include "raster.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_utils.h>

#include "raster_private.h"

namespace {

constexpr char kBlockCacheMiB[] = "128";  // GDAL's block cache, unless the user sets one

}  // namespace

std::string LastGdalError(const char* fallback)
{
    const char* message = CPLGetLastErrorMsg();
    std::string text = (message != nullptr && message[0] != 0) ? message : fallback;
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

OGRSpatialReferenceH NewSrs()
{
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);  // x = easting/longitude
    return srs;
}

OGRSpatialReferenceH EpsgSrs(int code)
{
    OGRSpatialReferenceH srs = NewSrs();
    if (OSRImportFromEPSG(srs, code) != OGRERR_NONE) {
        OSRDestroySpatialReference(srs);
        return nullptr;
    }
    return srs;
}

std::string ReadPrjBeside(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    const std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                                 ? path.substr(0, dot) : path;
    for (const char* ext : {".prj", ".PRJ"}) {
        std::ifstream in(stem + ext, std::ios::binary);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    return "";
}

int IsPlaneSrs(OGRSpatialReferenceH srs)
{
    for (int code : {kPlaneEpsg, kPlaneEpsgEtrs}) {
        OGRSpatialReferenceH plane = EpsgSrs(code);
        const char* criteria[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
        const int same = plane != nullptr && OSRIsSameEx(srs, plane, criteria);
        if (plane != nullptr) OSRDestroySpatialReference(plane);
        if (same) return 1;
    }
    return 0;
}

std::string SrsName(OGRSpatialReferenceH srs)
{
    const char* authority = OSRGetAuthorityName(srs, nullptr);
    const char* code = OSRGetAuthorityCode(srs, nullptr);
    if (authority != nullptr && code != nullptr) return std::string(authority) + ":" + code;
    const char* name = OSRGetName(srs);
    if (name != nullptr && std::string(name) != "unnamed" && name[0] != 0) return name;
    const char* projection = OSRGetAttrValue(srs, "PROJECTION", 0);  // "Lambert_Conformal_Conic_2SP"
    if (projection == nullptr) return OSRIsGeographic(srs) ? "latitude/longitude" : "unnamed";
    std::string text = projection;
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

char** ArgList(const std::vector<std::string>& args)
{
    char** list = nullptr;
    for (const std::string& a : args) list = CSLAddString(list, a.c_str());
    return list;
}


void CloseMapRaster(MapRaster* raster)
{
    MapRasterPrivate* p = raster->p;
    if (p == nullptr) return;
    for (auto it = p->virtuals.rbegin(); it != p->virtuals.rend(); ++it) GDALClose(*it);
    CloseMapSources(&p->sources);
    if (p->viewSrs != nullptr) OSRDestroySpatialReference(p->viewSrs);
    delete p;
    raster->p = nullptr;
}

int OpenMapRaster(const std::string& path, const MapRequest& request, MapRaster* raster, std::string* error)
{
    const std::string& srsText = request.srs;
    const std::string& resampling = request.resampling;
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);
    // Pixels pass through once, strip by strip: a small block cache is enough,
    // and keeps a huge raster from growing the program to GDAL's default share of RAM.
    if (CPLGetConfigOption("GDAL_CACHEMAX", nullptr) == nullptr) CPLSetConfigOption("GDAL_CACHEMAX", kBlockCacheMiB);
    CPLErrorReset();
    raster->p = new MapRasterPrivate;
    MapRasterPrivate& p = *raster->p;
    auto fail = [&](const std::string& message) {
        *error = message;
        CloseMapRaster(raster);
        return 0;
    };

    std::string opened;
    if (!OpenMapSources(path, request, &p.sources, &opened)) return fail(opened);
    raster->note = p.sources.note;
    GDALDatasetH source = p.sources.inputs[0];
    if (GDALGetRasterCount(source) < 1 || GDALGetRasterXSize(source) < 1 || GDALGetRasterYSize(source) < 1)
        return fail(path + " holds no raster bands");

    // Bytes only: wider pixels (elevations, 12-bit imagery) have no colours to show
    // until scaled, and clamping them would paint the map white.
    const GDALDataType type = GDALGetRasterDataType(GDALGetRasterBand(source, 1));
    if (type != GDT_Byte)
        return fail(path + " holds " + GDALGetDataTypeName(type) +
                    " pixels, not 8-bit colours: make a copy with gdal_translate -ot Byte -scale first");

    // Georeference: an affine geotransform, or at least three control points.
    double sourceGeo[6];
    const int hasGeo = GDALGetGeoTransform(source, sourceGeo) == CE_None;
    const int gcpCount = GDALGetGCPCount(source);
    if (!hasGeo && gcpCount < 3)
        return fail(path + " has no georeference (no geotransform, world file or three control points)");

    // Coordinate system: --srs, then the file's own, then a .prj beside it.
    OGRSpatialReferenceH srs = NewSrs();
    std::string prj;
    std::string given = srsText;
    if (given.empty()) {
        OGRSpatialReferenceH own = hasGeo ? GDALGetSpatialRef(source) : GDALGetGCPSpatialRef(source);
        if (own != nullptr) {
            OSRDestroySpatialReference(srs);
            srs = OSRClone(own);
            OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
        } else {
            given = prj = ReadPrjBeside(path);
            if (given.empty()) {
                OSRDestroySpatialReference(srs);
                return fail(path + " has no coordinate system: put its .prj beside it or give --srs EPSG:NNNN");
            }
        }
    }
    if (!given.empty() && OSRSetFromUserInput(srs, given.c_str()) != OGRERR_NONE) {
        OSRDestroySpatialReference(srs);
        return fail(std::string(prj.empty() ? "--srs" : "the .prj file") + " names no coordinate system PROJ knows");
    }
    raster->sourceSrs = SrsName(srs);
    {
        OGRSpatialReferenceH wgs84 = EpsgSrs(4326);
        OGRCoordinateTransformationH toWgs84 = OCTNewCoordinateTransformation(srs, wgs84);
        OSRDestroySpatialReference(wgs84);
        if (toWgs84 == nullptr) {
            OSRDestroySpatialReference(srs);
            return fail("PROJ cannot transform " + raster->sourceSrs + " to WGS84: " + LastGdalError("no transformation"));
        }
        OCTDestroyCoordinateTransformation(toWgs84);
    }

    std::vector<GDALDatasetH> inputs = p.sources.inputs;  // a KMZ's overlays come in red, green, blue, alpha
    GDALDatasetH& input = inputs[0];
    // A palette becomes red, green, blue and alpha (transparent entries stay so).
    if (GDALGetRasterCount(input) == 1 && GDALGetRasterColorTable(GDALGetRasterBand(input, 1)) != nullptr) {
        char** args = ArgList({"-of", "VRT", "-expand", "rgba"});
        GDALTranslateOptions* options = GDALTranslateOptionsNew(args, nullptr);
        CSLDestroy(args);
        GDALDatasetH expanded = GDALTranslate("", input, options, nullptr);
        GDALTranslateOptionsFree(options);
        if (expanded == nullptr) {
            OSRDestroySpatialReference(srs);
            return fail(path + ": its palette cannot be expanded: " + LastGdalError("GDAL failed"));
        }
        p.virtuals.push_back(expanded);
        input = expanded;
    }

    const int northUpPlane = hasGeo && sourceGeo[2] == 0 && sourceGeo[4] == 0 && sourceGeo[1] > 0 &&
                             sourceGeo[5] < 0 && IsPlaneSrs(srs);
    if (northUpPlane && inputs.size() == 1) {
        p.view = input;
        p.viewSrs = srs;
        std::copy(sourceGeo, sourceGeo + 6, p.geo);
    } else {
        char* wkt = nullptr;
        OSRExportToWkt(srs, &wkt);
        std::vector<std::string> argv = {"-of", "VRT", "-t_srs", "EPSG:32632", "-r", resampling, "-dstalpha",
                                         "-s_srs", wkt != nullptr ? wkt : "", "-wo", "NUM_THREADS=ALL_CPUS"};
        CPLFree(wkt);
        OSRDestroySpatialReference(srs);
        char** args = ArgList(argv);
        GDALWarpAppOptions* options = GDALWarpAppOptionsNew(args, nullptr);
        CSLDestroy(args);
        if (options == nullptr) return fail("the resampling '" + resampling + "' is not one GDAL knows");
        int usageError = 0;
        GDALDatasetH warped =
            GDALWarp("", nullptr, static_cast<int>(inputs.size()), inputs.data(), options, &usageError);
        GDALWarpAppOptionsFree(options);
        if (warped == nullptr || GDALGetRasterXSize(warped) < 1 || GDALGetRasterYSize(warped) < 1) {
            if (warped != nullptr) GDALClose(warped);
            return fail(path + ": GDAL cannot warp its coordinate system (" + raster->sourceSrs +
                        ") into the plane grid (EPSG:32632)");
        }
        p.virtuals.push_back(warped);
        p.view = warped;
        p.viewSrs = EpsgSrs(kPlaneEpsg);
        GDALGetGeoTransform(warped, p.geo);
        raster->warped = 1;
    }

    // Colour bands and alpha, by their colour interpretation.
    const int count = GDALGetRasterCount(p.view);
    std::vector<int> colour;
    int alpha = 0;
    for (int b = 1; b <= count; ++b) {
        if (GDALGetRasterColorInterpretation(GDALGetRasterBand(p.view, b)) == GCI_AlphaBand) {
            if (alpha == 0) alpha = b;
        } else {
            colour.push_back(b);
        }
    }
    if (colour.empty()) return fail(path + " holds only an alpha band");
    if (colour.size() >= 3) colour.resize(3);
    else colour.resize(1);
    p.bands = colour;
    if (alpha != 0) {
        p.bands.push_back(alpha);
        p.hasAlpha = 1;
    }
    raster->widthPx = GDALGetRasterXSize(p.view);
    raster->heightPx = GDALGetRasterYSize(p.view);
    raster->metresPerPixelX = std::fabs(p.geo[1]);
    raster->metresPerPixelY = std::fabs(p.geo[5]);
    return 1;
}
