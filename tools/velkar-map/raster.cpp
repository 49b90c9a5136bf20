// GDAL and PROJ behind velkar-map: opening, colour expansion, warping, placement
// and the BMP writer. GDAL's errors are caught by a quiet handler and handed back
// as text; nothing here prints.
#include "raster.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include "geo/geo.h"

namespace {

constexpr int kPlaneEpsg = 32632;          // WGS84 / UTM 32N: the plane grid within a metre
constexpr int kPlaneEpsgEtrs = 25832;      // ETRS89 / UTM 32N, taken as it is
constexpr int kResidualSteps = 10;         // residual grid: 11 x 11 points
constexpr uint64_t kStripBytes = 16u << 20;  // pixels read from GDAL at a time
constexpr uint32_t kBmpHeaderBytes = 54;
constexpr char kBlockCacheMiB[] = "128";     // GDAL's block cache, unless the user sets one   // file header 14 + BITMAPINFOHEADER 40

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

// The text of a ".prj" beside the file (same name, other extension), or "".
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
    return name != nullptr ? name : "unnamed";
}

// A GDAL utility's argument list ("-of", "VRT", ...), owned by the caller.
char** ArgList(const std::vector<std::string>& args)
{
    char** list = nullptr;
    for (const std::string& a : args) list = CSLAddString(list, a.c_str());
    return list;
}

}  // namespace

struct MapRasterPrivate {
    GDALDatasetH source = nullptr;                 // as opened
    std::vector<GDALDatasetH> virtuals;            // expansions and the warp, newest last
    GDALDatasetH view = nullptr;                   // what is written
    OGRSpatialReferenceH viewSrs = nullptr;
    double geo[6] = {0, 1, 0, 0, 0, 1};            // view's pixel-corner geotransform
    std::vector<int> bands;                        // colour bands (1 or 3), then alpha if any
    int hasAlpha = 0;
};

void CloseMapRaster(MapRaster* raster)
{
    MapRasterPrivate* p = raster->p;
    if (p == nullptr) return;
    for (auto it = p->virtuals.rbegin(); it != p->virtuals.rend(); ++it) GDALClose(*it);
    if (p->source != nullptr) GDALClose(p->source);
    if (p->viewSrs != nullptr) OSRDestroySpatialReference(p->viewSrs);
    delete p;
    raster->p = nullptr;
}

int OpenMapRaster(const std::string& path, const std::string& srsText, const std::string& resampling,
                  MapRaster* raster, std::string* error)
{
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

    p.source = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR, nullptr, nullptr, nullptr);
    if (p.source == nullptr) return fail(path + " cannot be read as a raster: " + LastGdalError("unknown format"));
    if (GDALGetRasterCount(p.source) < 1 || GDALGetRasterXSize(p.source) < 1 || GDALGetRasterYSize(p.source) < 1)
        return fail(path + " holds no raster bands");

    // Bytes only: wider pixels (elevations, 12-bit imagery) have no colours to show
    // until scaled, and clamping them would paint the map white.
    const GDALDataType type = GDALGetRasterDataType(GDALGetRasterBand(p.source, 1));
    if (type != GDT_Byte)
        return fail(path + " holds " + GDALGetDataTypeName(type) +
                    " pixels, not 8-bit colours: make a copy with gdal_translate -ot Byte -scale first");

    // Georeference: an affine geotransform, or at least three control points.
    double sourceGeo[6];
    const int hasGeo = GDALGetGeoTransform(p.source, sourceGeo) == CE_None;
    const int gcpCount = GDALGetGCPCount(p.source);
    if (!hasGeo && gcpCount < 3)
        return fail(path + " has no georeference (no geotransform, world file or three control points)");

    // Coordinate system: --srs, then the file's own, then a .prj beside it.
    OGRSpatialReferenceH srs = NewSrs();
    std::string prj;
    std::string given = srsText;
    if (given.empty()) {
        OGRSpatialReferenceH own = hasGeo ? GDALGetSpatialRef(p.source) : GDALGetGCPSpatialRef(p.source);
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

    GDALDatasetH input = p.source;
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
    if (northUpPlane) {
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
        GDALDatasetH warped = GDALWarp("", nullptr, 1, &input, options, &usageError);
        GDALWarpAppOptionsFree(options);
        if (warped == nullptr) return fail(path + " cannot be warped into EPSG:32632: " + LastGdalError("GDAL failed"));
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

uint64_t BmpFileSize(int32_t widthPx, int32_t heightPx)
{
    const uint64_t stride = (uint64_t(widthPx) * 3 + 3) & ~uint64_t(3);
    return kBmpHeaderBytes + stride * uint64_t(heightPx);
}

namespace {

void PutLe32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

int WriteAll(int fd, const unsigned char* data, size_t size, uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return 1;
}

}  // namespace

// The file: BITMAPFILEHEADER "BM" size 0 54, BITMAPINFOHEADER 40 width height 1 24
// 0 imageSize 0 0 0 0, then rows bottom-up, blue-green-red, each padded to 4 bytes.
int WriteMapBmp(const MapRaster& raster, const std::string& hostPath, std::string* error)
{
    const MapRasterPrivate& p = *raster.p;
    const int32_t w = raster.widthPx;
    const int32_t h = raster.heightPx;
    const uint64_t stride = (uint64_t(w) * 3 + 3) & ~uint64_t(3);
    const uint64_t fileSize = BmpFileSize(w, h);

    const int fd = open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot create " + hostPath + ": " + std::strerror(errno);
        return 0;
    }
    auto fail = [&](const std::string& message) {
        *error = message;
        close(fd);
        unlink(hostPath.c_str());
        return 0;
    };
    const int reserved = posix_fallocate(fd, 0, static_cast<off_t>(fileSize));
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL)
        return fail("cannot write " + hostPath + ": " + std::strerror(reserved));

    unsigned char header[kBmpHeaderBytes] = {'B', 'M'};
    PutLe32(header + 2, static_cast<uint32_t>(fileSize));
    PutLe32(header + 10, kBmpHeaderBytes);
    PutLe32(header + 14, 40);
    PutLe32(header + 18, static_cast<uint32_t>(w));
    PutLe32(header + 22, static_cast<uint32_t>(h));  // positive: bottom-up rows
    header[26] = 1;
    header[28] = 24;
    PutLe32(header + 34, static_cast<uint32_t>(stride * uint64_t(h)));
    if (!WriteAll(fd, header, sizeof header, 0)) return fail("cannot write " + hostPath + ": " + std::strerror(errno));

    const int bandCount = static_cast<int>(p.bands.size());
    const int colourCount = bandCount - p.hasAlpha;
    const uint64_t rowBytes = uint64_t(w) * uint64_t(bandCount);
    const int rowsPerStrip = static_cast<int>(std::clamp<uint64_t>(kStripBytes / rowBytes, 1, uint64_t(h)));
    std::vector<unsigned char> pixels(rowBytes * uint64_t(rowsPerStrip));
    std::vector<unsigned char> row(stride, 0);
    std::vector<int> bandMap = p.bands;
    for (int32_t y0 = 0; y0 < h; y0 += rowsPerStrip) {
        const int rows = std::min<int>(rowsPerStrip, h - y0);
        const CPLErr read = GDALDatasetRasterIO(p.view, GF_Read, 0, y0, w, rows, pixels.data(), w, rows, GDT_Byte,
                                                bandCount, bandMap.data(), bandCount,
                                                static_cast<GSpacing>(rowBytes), 1);
        if (read != CE_None) return fail("cannot read the raster's pixels: " + LastGdalError("GDAL failed"));
        for (int r = 0; r < rows; ++r) {
            const unsigned char* in = pixels.data() + uint64_t(r) * rowBytes;
            unsigned char* out = row.data();
            for (int32_t x = 0; x < w; ++x, in += bandCount, out += 3) {
                const unsigned red = in[0];
                const unsigned green = colourCount == 3 ? in[1] : in[0];
                const unsigned blue = colourCount == 3 ? in[2] : in[0];
                const unsigned a = p.hasAlpha ? in[bandCount - 1] : 255;
                // Over white: c * a + 255 * (255 - a), rounded, / 255.
                out[0] = static_cast<unsigned char>((blue * a + 255 * (255 - a) + 127) / 255);
                out[1] = static_cast<unsigned char>((green * a + 255 * (255 - a) + 127) / 255);
                out[2] = static_cast<unsigned char>((red * a + 255 * (255 - a) + 127) / 255);
            }
            const uint64_t offset = kBmpHeaderBytes + uint64_t(h - 1 - (y0 + r)) * stride;
            if (!WriteAll(fd, row.data(), stride, offset))
                return fail("cannot write " + hostPath + ": " + std::strerror(errno));
        }
    }
    if (fsync(fd) != 0 && errno != EINVAL) return fail("cannot write " + hostPath + ": " + std::strerror(errno));
    if (close(fd) != 0) {
        unlink(hostPath.c_str());
        *error = "cannot write " + hostPath + ": " + std::strerror(errno);
        return 0;
    }
    return 1;
}
