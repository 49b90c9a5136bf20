// velkar-map on rasters made here with GDAL, whose pixels carry their own column
// (red) and row (green): each import is shown by the real navigator, headless, on
// the canned emulation position, and the pixels around the view's centre must be
// the raster pixels GDAL maps to those places, within one pixel. Broken input is
// refused with exit 2 and the catalogue left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_alg.h>
#include <ogr_srs_api.h>

#include "platform/files.h"
#include "store/maps.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-map";
constexpr double kLat = 44.348733333333335, kLon = 11.7175;  // the first emulated fix
constexpr int kSize = 256;                                    // test rasters, pixels a side
constexpr double kPixelMetres = 0.4;                          // so a 0.9 m misplacement shows

// Emulation on; proximity, track line and log off: nothing but the marker covers the map.
std::string SettingsLine(int mapInDegrees)
{
    return "[BEGIN][1][4800][1][0][0][0][0][0][" + std::to_string(mapInDegrees) + "][0][0][END]\n";
}

OGRSpatialReferenceH Srs(int epsg)
{
    OGRSpatialReferenceH s = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(s, epsg);
    OSRSetAxisMappingStrategy(s, OAMS_TRADITIONAL_GIS_ORDER);
    return s;
}

// (x, y) of the emulated position in EPSG code.
void PositionIn(int epsg, double* x, double* y)
{
    OGRSpatialReferenceH wgs = Srs(4326), to = Srs(epsg);
    OGRCoordinateTransformationH t = OCTNewCoordinateTransformation(wgs, to);
    *x = kLon, *y = kLat;
    OCTTransform(t, 1, x, y, nullptr);
    OCTDestroyCoordinateTransformation(t);
    OSRDestroySpatialReference(wgs), OSRDestroySpatialReference(to);
}

// A geotransform putting pixel (128, 128) on the emulated position, rotated by degrees.
void CentredGeo(int epsg, double pixelX, double pixelY, double degrees, double* g)
{
    double x, y;
    PositionIn(epsg, &x, &y);
    const double a = degrees * M_PI / 180;
    g[1] = pixelX * std::cos(a), g[2] = pixelY * std::sin(a);
    g[4] = pixelX * std::sin(a), g[5] = -pixelY * std::cos(a);
    g[0] = x - 128 * g[1] - 128 * g[2];
    g[3] = y - 128 * g[4] - 128 * g[5];
}

// A 256 x 256 raster, red = column, green = row, blue 200, written by driver
// (through a memory copy for drivers without Create). geo: geotransform or null.
void WriteRaster(const std::string& path, const char* driver, int epsg, double* geo)
{
    GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "", kSize, kSize, 3, GDT_Byte, nullptr);
    std::vector<unsigned char> band(kSize * kSize);
    for (int b = 1; b <= 3; ++b) {
        for (int i = 0; i < kSize * kSize; ++i) band[i] = static_cast<unsigned char>(b == 1 ? i % kSize : b == 2 ? i / kSize : 200);
        ASSERT_EQ(CE_None, GDALRasterIO(GDALGetRasterBand(mem, b), GF_Write, 0, 0, kSize, kSize, band.data(), kSize,
                                        kSize, GDT_Byte, 0, 0));
    }
    if (geo != nullptr) GDALSetGeoTransform(mem, geo);
    if (epsg != 0) {
        OGRSpatialReferenceH s = Srs(epsg);
        GDALSetSpatialRef(mem, s);
        OSRDestroySpatialReference(s);
    }
    char** options = CSLSetNameValue(nullptr, "WORLDFILE", "NO");
    GDALDatasetH out = GDALCreateCopy(GDALGetDriverByName(driver), path.c_str(), mem, FALSE, options, nullptr, nullptr);
    CSLDestroy(options);
    ASSERT_NE(out, nullptr) << path;
    GDALClose(out), GDALClose(mem);
    fs::remove(path + ".aux.xml");
}

// Where the raster's pixel grid holds a plane point (EPSG:32632), by GDAL's own
// transformer for the file (geotransform or control points).
void SourcePixelAt(const std::string& file, const char* srs, double x, double y, double* column, double* row)
{
    GDALDatasetH d = GDALOpen(file.c_str(), GA_ReadOnly);
    ASSERT_NE(d, nullptr);
    char** options = CSLSetNameValue(nullptr, "DST_SRS", "EPSG:32632");
    if (srs != nullptr) options = CSLSetNameValue(options, "SRC_SRS", srs);
    void* t = GDALCreateGenImgProjTransformer2(d, nullptr, options);
    CSLDestroy(options);
    ASSERT_NE(t, nullptr);
    double z = 0;
    int ok = 0;
    GDALGenImgProjTransform(t, TRUE, 1, &x, &y, &z, &ok);
    GDALDestroyGenImgProjTransformer(t);
    GDALClose(d);
    ASSERT_TRUE(ok);
    *column = x, *row = y;
}

struct ImportCase {
    const char* name;
    int epsg;                // of the GeoTIFF, or of the world file's .prj
    double pixelX, pixelY;   // pixel size in the system's units
    double degrees;          // rotation
    int mapInDegrees;        // the settings' switch: the record is written in degrees
    const char* expected;    // in velkar-map's report
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

class MapImport : public ::testing::TestWithParam<ImportCase> {
protected:
    static void SetUpTestSuite() { GDALAllRegister(); }
};

// Writes the case's input into dir; returns the file to import and the
// coordinate system to tell the pixel check when the file carries none.
std::string MakeInput(const ImportCase& c, const std::string& dir, const char** srs)
{
    double g[6];
    const std::string base = dir + "/" + c.name;
    *srs = nullptr;
    if (c.epsg != 0) CentredGeo(c.epsg, c.pixelX, c.pixelY, c.degrees, g);
    if (std::string(c.name) == "worldfile") {  // the .prj beside the PNG names the system
        WriteRaster(base + ".png", "PNG", 0, nullptr);
        std::ofstream(base + ".pgw") << g[1] << "\n0\n0\n" << g[5] << "\n"
                                     << g[0] + g[1] / 2 << "\n" << g[3] + g[5] / 2 << "\n";
        OGRSpatialReferenceH s = Srs(c.epsg);
        OSRMorphToESRI(s);
        char* wkt = nullptr;
        OSRExportToWkt(s, &wkt);
        std::ofstream(base + ".prj") << wkt;
        CPLFree(wkt), OSRDestroySpatialReference(s);
        *srs = "EPSG:25832";
        return base + ".png";
    }
    if (c.epsg != 0) {
        WriteRaster(base + ".tif", "GTiff", c.epsg, g);
        return base + ".tif";
    }
    // An OziExplorer calibration with three points, latitude/longitude on WGS84:
    // pixel (0,0) at 44 21.0'N 11 43.0'E, (255,0) 0.1' east, (0,255) 0.1' south.
    WriteRaster(base + ".png", "PNG", 0, nullptr);
    std::ofstream map(base + ".map");
    map << "OziExplorer Map Data File Version 2.2\n" << c.name << "\n" << c.name << ".png\n1 ,Map Code,\n"
        << "WGS 84,WGS 84,   0.0000,   0.0000,WGS 84\nReserved 1\nReserved 2\nMagnetic Variation,,,E\n"
        << "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\n"
        << "Point01,xy,    0,    0,in, deg,  44, 21.0000,N,  11, 43.0000,E, grid,   ,           ,           ,N\n"
        << "Point02,xy,  255,    0,in, deg,  44, 21.0000,N,  11, 43.1000,E, grid,   ,           ,           ,N\n"
        << "Point03,xy,    0,  255,in, deg,  44, 20.9000,N,  11, 43.0000,E, grid,   ,           ,           ,N\n"
        << "Projection Setup,,,,,,,,,,\nIWH,Map Image Width/Height,256,256\n";
    return base + ".map";
}

TEST_P(MapImport, NavigatorDrawsThePixelGdalMapsToThePosition)
{
    const ImportCase& c = GetParam();
    Root root(SettingsLine(c.mapInDegrees));
    const char* srs = nullptr;
    const std::string input = MakeInput(c, root.dir, &srs);
    const Outcome imported = Shell(kTool + " import " + Quote(input) + " --root " + Quote(root.dir));
    ASSERT_EQ(imported.status, 0) << imported.output;
    EXPECT_NE(imported.output.find(c.expected), std::string::npos) << imported.output;

    // The record as the navigator reads it: its scale, in plane metres per pixel.
    SetDeviceRoot(root.dir);
    settings.mapInDegrees = 0;
    ASSERT_EQ(LoadSettings(), 1);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    ASSERT_EQ(lastMapIndex, 0);
    const MapEntry& m = mapTable[0];
    const double metresX = (m.bottomRightX - m.topLeftX) / m.widthPx, metresY = (m.topLeftY - m.bottomRightY) / m.heightPx;

    // Two ticks: the first fix is painted, the window closes before a second paint.
    const std::string shot = root.dir + "/shot.png";
    const Outcome shown = Shell("QT_QPA_PLATFORM=offscreen timeout 60 " + kVelkar + " --root " + Quote(root.dir) +
                                " --time-scale 10 --quit-after-ticks 2 --screenshot " + Quote(shot));
    ASSERT_EQ(shown.status, 0) << shown.output;
    GDALDatasetH picture = GDALOpen(shot.c_str(), GA_ReadOnly);
    ASSERT_NE(picture, nullptr);
    const int w = GDALGetRasterXSize(picture), h = GDALGetRasterYSize(picture);
    double x0, y0;
    PositionIn(32632, &x0, &y0);
    // Around the centre (the marker covers the centre itself): 20 pixels off in each diagonal.
    for (const int dx : {-20, 20})
        for (const int dy : {-20, 20}) {
            unsigned char rgb[3];
            for (int b = 0; b < 3; ++b)
                ASSERT_EQ(CE_None, GDALRasterIO(GDALGetRasterBand(picture, b + 1), GF_Read, w / 2 + dx, h / 2 + dy, 1,
                                                1, &rgb[b], 1, 1, GDT_Byte, 0, 0));
            double column, row;
            SourcePixelAt(input, srs, x0 + dx * metresX, y0 - dy * metresY, &column, &row);
            SCOPED_TRACE(std::string(c.name) + " offset " + std::to_string(dx) + "," + std::to_string(dy));
            EXPECT_NEAR(rgb[2], 200, 2);  // map, not white
            EXPECT_NEAR(rgb[0] + 0.5, column, 1.0);
            EXPECT_NEAR(rgb[1] + 0.5, row, 1.0);
        }
    GDALClose(picture);
}

// wgs84 pixels are about 0.44 m by 0.44 m; the world file's .prj is ETRS89 / UTM 32N.
INSTANTIATE_TEST_SUITE_P(
    Rasters, MapImport,
    ::testing::Values(ImportCase{"utm32", 32632, kPixelMetres, kPixelMetres, 0, 0, "taken pixel for pixel"},
                      ImportCase{"utm33", 32633, kPixelMetres, kPixelMetres, 0, 0, "warped into EPSG:32632"},
                      ImportCase{"wgs84", 4326, 0.0000055, 0.000004, 0, 1, "warped into EPSG:32632"},
                      ImportCase{"rotated", 32632, kPixelMetres, kPixelMetres, 20, 1, "warped into EPSG:32632"},
                      ImportCase{"ozimap", 0, 0, 0, 0, 0, "warped into EPSG:32632"},
                      ImportCase{"worldfile", 25832, kPixelMetres, kPixelMetres, 0, 0, "taken pixel for pixel"}),
    [](const auto& info) { return std::string(info.param.name); });

// A catalogue of four maps. Broken input, a record past the end, then a sixth map:
// one line, exit 2, nothing written (neither catalogue nor bitmap). --replace N swaps
// that record and keeps the others as written; list tells which bitmaps open.
TEST(MapImportCatalogue, RefusalsLeaveItWholeReplaceKeepsTheOthers)
{
    GDALAllRegister();
    Root root(SettingsLine(0));
    const std::string catalogue = root.dir + kVelkarDir + "vlmap.cfg", d = root.dir + "/";
    for (const char* i : {"1", "2", "3", "4"})
        std::ofstream(catalogue, std::ios::app) << "[" << i << "][Map " << i << "][\\My Documents\\Velkar\\m" << i
                                                << ".bmp][716000][4915000][717000][4914000][100][100][" << i << "][0][0][-]\n";
    const auto lines = [&] {
        std::vector<std::string> all;
        std::istringstream text(Slurp(catalogue));
        for (std::string line; std::getline(text, line);) all.push_back(line);
        return all;
    };
    const std::string kept = Slurp(catalogue);
    double g[6];
    CentredGeo(32632, kPixelMetres, kPixelMetres, 0, g);
    WriteRaster(d + "plain.png", "PNG", 0, nullptr);  // no world file
    WriteRaster(d + "noprj.png", "PNG", 0, nullptr);
    std::ofstream(d + "noprj.pgw") << "0.4\n0\n0\n-0.4\n716000\n4914000\n";
    WriteRaster(d + "good.tif", "GTiff", 32632, g);
    std::ofstream(d + "text.tif") << "not a raster\n";
    GDALDatasetH wide = GDALCreate(GDALGetDriverByName("GTiff"), (d + "dem.tif").c_str(), 8, 8, 1, GDT_UInt16, nullptr);
    GDALSetGeoTransform(wide, g);
    GDALClose(wide);
    const std::string tool = kTool + " import " + d, tail = " --root " + root.dir;
    const struct { const char* what; std::string command; const char* says; } rows[] = {
        {"no georeference", tool + "plain.png" + tail, "has no georeference"},
        {"no coordinate system", tool + "noprj.png" + tail, "has no coordinate system"},
        {"unknown coordinate system", tool + "noprj.png --srs EPSG:999999" + tail, "names no coordinate system"},
        {"not a raster", tool + "text.tif" + tail, "cannot be read as a raster"},
        {"missing file", tool + "missing.tif" + tail, "missing.tif is missing or unreadable"},
        {"16-bit pixels", tool + "dem.tif --srs EPSG:32632" + tail, "not 8-bit colours"},
        {"replace past the end", tool + "good.tif --replace 5" + tail, "holds 4 record"},
        // A full disk: the file-size limit makes the bitmap's first write fail.
        {"full disk", "(trap '' XFSZ; ulimit -f 64; exec " + tool + "good.tif" + tail + ")", "cannot write"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const Outcome run = Shell(r.command);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.output.find(r.says), std::string::npos) << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_EQ(Slurp(catalogue), kept);
        EXPECT_TRUE(!fs::exists(root.dir + kVelkarDir + "maps") || fs::is_empty(root.dir + kVelkarDir + "maps"));
    }

    ASSERT_EQ(Shell(tool + "good.tif" + tail).status, 0);  // the fifth
    const std::vector<std::string> before = lines();
    const Outcome sixth = Shell(tool + "good.tif" + tail);
    EXPECT_TRUE(sixth.status == 2 && sixth.output.find("already holds 5 maps") != std::string::npos) << sixth.output;
    EXPECT_EQ(lines(), before);
    ASSERT_EQ(Shell(tool + "good.tif --name Nuova --replace 3" + tail).status, 0);
    std::vector<std::string> after = lines();
    ASSERT_EQ(after.size(), 5u);
    EXPECT_EQ(after[2].rfind("[3][Nuova][\\My Documents\\Velkar\\maps\\Nuova.bmp][", 0), 0u) << after[2];
    after[2] = before[2];
    EXPECT_EQ(after, before);
    const Outcome list = Shell(kTool + " list --root " + root.dir);
    EXPECT_NE(list.output.find("maps\\Nuova.bmp: opens, BMP 24-bit, 256 x 256"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("m1.bmp: does not open"), std::string::npos) << list.output;
}

}  // namespace
