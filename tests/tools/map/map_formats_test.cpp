// velkar-map on formats made here with GDAL: an MBTiles at two zoom levels, an
// XYZ tile folder, a KMZ of two ground overlays; through its record, each
// bitmap's pixel at sample positions is the source pixel GDAL puts there. A
// whole-world raster is refused, or taken with --force.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include "geo/geo.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-map";
constexpr double kHalf = 20037508.342789244;  // EPSG:3857's half world
constexpr int kZoom = 16;                    // about 2.4 m pixels at 44 N
constexpr int kTileX = 34900, kTileY = 23900;  // near Imola at zoom 16

double Metres() { return 2 * kHalf / (std::ldexp(1.0, kZoom) * 256); }

// A side x side raster in EPSG:3857 from tile (kTileX, kTileY) on: red = column / scale,
// green = row / scale, blue 200.
GDALDatasetH Gradient(int side, int scale)
{
    GDALDatasetH d = GDALCreate(GDALGetDriverByName("MEM"), "", side, side, 3, GDT_Byte, nullptr);
    std::vector<unsigned char> band(size_t(side) * side);
    for (int b = 1; b <= 3; ++b) {
        for (size_t i = 0; i < band.size(); ++i)
            band[i] = static_cast<unsigned char>(b == 1 ? i % side / scale : b == 2 ? i / side / scale : 200);
        EXPECT_EQ(CE_None, GDALRasterIO(GDALGetRasterBand(d, b), GF_Write, 0, 0, side, side, band.data(), side, side, GDT_Byte, 0, 0));
    }
    double geo[6] = {-kHalf + kTileX * 256 * Metres(), Metres(), 0, kHalf - kTileY * 256 * Metres(), 0, -Metres()};
    GDALSetGeoTransform(d, geo);
    OGRSpatialReferenceH s = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(s, 3857);
    GDALSetSpatialRef(d, s);
    OSRDestroySpatialReference(s);
    return d;
}

// Latitude/longitude of a position given as a fraction of the gradient's extent.
void LatLonAt(int side, double fx, double fy, double* lat, double* lon)
{
    const double x = -kHalf + kTileX * 256 * Metres() + fx * side * Metres();
    const double y = kHalf - kTileY * 256 * Metres() - fy * side * Metres();
    *lon = x / kHalf * 180;
    *lat = std::atan(std::sinh(y / kHalf * M_PI)) * 180 / M_PI;
}

// The red and green of the imported bitmap at (lat, lon), found through record 1.
void BitmapPixel(const std::string& root, double lat, double lon, int* red, int* green)
{
    SetDeviceRoot(root);
    ASSERT_EQ(LoadSettings(), 1);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    const MapEntry& m = mapTable[lastMapIndex];
    double northing, easting;
    LatLonToGrid(lat, lon, &northing, &easting);
    const int px = static_cast<int>((easting - m.topLeftX) / (m.bottomRightX - m.topLeftX) * m.widthPx);
    const int py = static_cast<int>((m.topLeftY - northing) / (m.topLeftY - m.bottomRightY) * m.heightPx);
    const std::string bmp = DevicePathToHost(m.bitmapPath);
    GDALDatasetH d = GDALOpen(bmp.c_str(), GA_ReadOnly);
    ASSERT_NE(d, nullptr) << bmp;
    unsigned char rgb[2];
    for (int b = 0; b < 2; ++b)
        ASSERT_EQ(CE_None, GDALRasterIO(GDALGetRasterBand(d, b + 1), GF_Read, px, py, 1, 1, &rgb[b], 1, 1, GDT_Byte, 0, 0));
    GDALClose(d);
    *red = rgb[0], *green = rgb[1];
}

struct Sample {
    double fx, fy;  // fraction of the gradient's extent
};
const Sample kSamples[] = {{0.3, 0.3}, {0.7, 0.4}, {0.4, 0.7}, {0.6, 0.6}};

// Every sample's pixel is the gradient's (column / scale, row / scale) within tolerance.
void ExpectGradient(const std::string& root, int side, int scale, double tolerance)
{
    for (const Sample& s : kSamples) {
        double lat, lon;
        LatLonAt(side, s.fx, s.fy, &lat, &lon);
        int red = -1, green = -1;
        BitmapPixel(root, lat, lon, &red, &green);
        SCOPED_TRACE("sample " + std::to_string(s.fx) + "," + std::to_string(s.fy));
        EXPECT_NEAR(red, s.fx * side / scale, tolerance);
        EXPECT_NEAR(green, s.fy * side / scale, tolerance);
    }
}

class MapFormats : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GDALAllRegister(); }
    Root root{"[BEGIN][1][4800][1][0][0][0][0][0][0][0][0][END]\n"};
    Outcome Import(const std::string& what) { return Shell(kTool + " import " + what + " --root " + Quote(root.dir)); }
};

// The MBTiles driver writes zoom 16 from the gradient, gdaladdo zooms 15 and 14.
TEST_F(MapFormats, MbtilesAtTwoZoomLevels)
{
    const std::string file = root.dir + "/area.mbtiles";
    GDALDatasetH source = Gradient(512, 2);
    const std::string tif = root.dir + "/area.tif";
    GDALClose(GDALCreateCopy(GDALGetDriverByName("GTiff"), tif.c_str(), source, FALSE, nullptr, nullptr, nullptr));
    GDALClose(source);
    const Outcome made = Shell("gdal_translate -q -of MBTiles " + Quote(tif) + " " + Quote(file) + " && gdaladdo -q " + Quote(file) + " 2 4");
    ASSERT_EQ(made.status, 0) << made.output;
    const struct { const char* zoom; const char* says; double tolerance; } rows[] = {
        {"", "zoom 16 of 14 to 16", 1.5},          // the default: the deepest
        {" --zoom 15", "zoom 15 of 14 to 16", 2.5},  // half the pixels: one more step of the gradient
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.says);
        const Outcome run = Import(Quote(file) + r.zoom);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(r.says), std::string::npos) << run.output;
        ExpectGradient(root.dir, 512, 2, r.tolerance);
    }
    const Outcome missing = Import(Quote(file) + " --zoom 12");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.output.find("holds zoom levels 14 to 16, not 12"), std::string::npos) << missing.output;
}

// Four 256-pixel tiles cut from the gradient, "16/X/Y.png"; --area keeps the top-left one.
TEST_F(MapFormats, XyzTileFolderWholeAndByArea)
{
    GDALDatasetH source = Gradient(512, 2);
    for (int tx = 0; tx < 2; ++tx)
        for (int ty = 0; ty < 2; ++ty) {
            const std::string folder = root.dir + "/tiles/16/" + std::to_string(kTileX + tx);
            fs::create_directories(folder);
            const std::string tile = folder + "/" + std::to_string(kTileY + ty) + ".png";
            char** args = nullptr;
            for (const std::string& a : {std::string("-of"), std::string("PNG"), std::string("-srcwin"),
                                         std::to_string(tx * 256), std::to_string(ty * 256), std::string("256"),
                                         std::string("256")})
                args = CSLAddString(args, a.c_str());
            GDALTranslateOptions* options = GDALTranslateOptionsNew(args, nullptr);
            GDALClose(GDALTranslate(tile.c_str(), source, options, nullptr));
            GDALTranslateOptionsFree(options), CSLDestroy(args);
            fs::remove(tile + ".aux.xml");
        }
    GDALClose(source);
    const Outcome whole = Import(Quote(root.dir + "/tiles"));
    ASSERT_EQ(whole.status, 0) << whole.output;
    EXPECT_NE(whole.output.find("zoom 16, 4 tiles"), std::string::npos) << whole.output;
    ExpectGradient(root.dir, 512, 2, 1.5);
    double lat, lon;
    LatLonAt(512, 0.2, 0.2, &lat, &lon);
    const Outcome area = Import(Quote(root.dir + "/tiles") + " --area " + std::to_string(lat) + "," +
                                std::to_string(lon) + "," + std::to_string(lat - 0.0005) + "," + std::to_string(lon + 0.0005));
    ASSERT_EQ(area.status, 0) << area.output;
    EXPECT_NE(area.output.find("zoom 16, 1 tiles"), std::string::npos) << area.output;
}

// Two overlays in one KMZ, red north of 44.35 N and blue south of it.
TEST_F(MapFormats, KmzOfTwoGroundOverlaysMosaicked)
{
    const std::string kmz = root.dir + "/two.kmz";
    const struct { const char* name; int band; const char* north; const char* south; } overlays[] = {
        {"red.png", 1, "44.36", "44.35"}, {"blue.png", 3, "44.35", "44.34"}};
    std::string kml = "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Folder>";
    for (const auto& o : overlays) {
        GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "", 100, 60, 3, GDT_Byte, nullptr);
        GDALFillRaster(GDALGetRasterBand(mem, o.band), 255, 0);
        GDALClose(GDALCreateCopy(GDALGetDriverByName("PNG"), ("/vsizip/" + kmz + "/" + o.name).c_str(), mem, FALSE,
                                 nullptr, nullptr, nullptr));
        GDALClose(mem);
        kml += std::string("<GroundOverlay><Icon><href>") + o.name + "</href></Icon><LatLonBox><north>" + o.north +
               "</north><south>" + o.south + "</south><east>11.72</east><west>11.70</west></LatLonBox></GroundOverlay>";
    }
    kml += "</Folder></kml>";
    VSILFILE* f = VSIFOpenL(("/vsizip/" + kmz + "/doc.kml").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    VSIFWriteL(kml.data(), 1, kml.size(), f);
    VSIFCloseL(f);
    const Outcome run = Import(Quote(kmz));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("2 ground overlays"), std::string::npos) << run.output;
    const struct { double lat; int red; } samples[] = {{44.355, 255}, {44.345, 0}};
    for (const auto& s : samples) {
        int red = -1, green = -1;
        BitmapPixel(root.dir, s.lat, 11.71, &red, &green);
        EXPECT_EQ(red, s.red) << s.lat;
        EXPECT_EQ(green, 0) << s.lat;
    }
}

// A whole-world raster lies up to 171 degrees from the grid's meridian.
TEST_F(MapFormats, WorldRasterRefusedThenTakenWithForce)
{
    const std::string file = root.dir + "/world.tif";
    GDALDatasetH d = GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), 360, 180, 3, GDT_Byte, nullptr);
    double geo[6] = {-180, 1, 0, 90, 0, -1};
    GDALSetGeoTransform(d, geo);
    OGRSpatialReferenceH s = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(s, 4326);
    GDALSetSpatialRef(d, s);
    OSRDestroySpatialReference(s), GDALClose(d);
    const Outcome refused = Import(Quote(file));
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find("the navigator's grid cannot hold it"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(root.dir + kVelkarDir + "vlmap.cfg"));
    EXPECT_TRUE(!fs::exists(root.dir + kVelkarDir + "maps") || fs::is_empty(root.dir + kVelkarDir + "maps"));
    const Outcome forced = Import(Quote(file) + " --force");
    EXPECT_EQ(forced.status, 0) << forced.output;
    EXPECT_NE(forced.output.find("imported with --force"), std::string::npos) << forced.output;
    EXPECT_TRUE(fs::exists(root.dir + kVelkarDir + "maps/world.bmp"));
}

}  // namespace
