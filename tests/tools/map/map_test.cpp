// velkar-map on rasters GDAL writes here, whose pixels carry their own column (red) and row (green):
// GeoTIFFs, a world file and an OziExplorer map shown by the real navigator, headless, MBTiles, XYZ
// tiles and a KMZ checked through their record; broken input refused with the catalogue left as it was;
// and a device root other programs use too (two imports at once, kills, links, UTF-16).
#include <cpl_vsi.h>
#include <gdal.h>

#include "base/text.h"
#include "geo/geo.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-map";
constexpr double kLat = 44.348733333333335, kLon = 11.7175;  // the first emulated fix
constexpr double kPixelMetres = 0.4;                          // so a 0.9 m misplacement shows
[[maybe_unused]] const int kDrivers = (GDALAllRegister(), 0);  // every GDAL driver, before any test

// Emulation on; proximity, track line and log off: nothing but the marker covers the map.
std::string SettingsLine(int degrees = 0) { return "[BEGIN][1][4800][1][0][0][0][0][0][" + std::to_string(degrees) + "][0][0][END]"; }

// Writes a w x h three-band raster to path, PNG or GeoTIFF by its name (no .aux.xml beside it): red = column /
// scale, green = row / scale, blue 200; with scale 0 every pixel is the colour 0xRRGGBB. Its geotransform and
// coordinate system are set when given. The path.
std::string Raster(const std::string& path, int w, int h, int scale, const double* geo = nullptr, int epsg = 0,
                   unsigned colour = 0)
{
    GDALDatasetH d = GDALCreate(GDALGetDriverByName("MEM"), "", w, h, 3, GDT_Byte, nullptr);
    std::vector<unsigned char> band(size_t(w) * h);
    for (int b = 0; b < 3; ++b) {
        for (size_t i = 0; i < band.size(); ++i)
            band[i] = static_cast<unsigned char>(scale == 0 ? colour >> (16 - 8 * b)
                                                            : b == 2 ? 200 : (b == 0 ? i % w : i / w) / scale);
        EXPECT_EQ(CE_None, GDALRasterIO(GDALGetRasterBand(d, b + 1), GF_Write, 0, 0, w, h, band.data(), w, h, GDT_Byte, 0, 0));
    }
    if (geo != nullptr) GDALSetGeoTransform(d, const_cast<double*>(geo));
    EXPECT_EQ(epsg == 0 ? CE_None : GDALSetProjection(d, ("EPSG:" + std::to_string(epsg)).c_str()), CE_None);
    const char* driver = path.ends_with(".png") ? "PNG" : "GTiff";
    GDALDatasetH out = GDALCreateCopy(GDALGetDriverByName(driver), path.c_str(), d, FALSE, nullptr, nullptr, nullptr);
    EXPECT_NE(out, nullptr) << path;
    GDALClose(out), GDALClose(d);
    fs::remove(path + ".aux.xml");
    return path;
}

// The red, green and blue of the file's pixel (x, y), counted from its centre when centred, read with all the
// others (a file cut short fails); with whole, {-1, -1, -1} when any pixel holds another colour.
std::array<int, 3> Pixel(const std::string& file, int x, int y, bool centred = false, bool whole = false)
{
    GDALDatasetH d = GDALOpen(file.c_str(), GA_ReadOnly);
    EXPECT_NE(d, nullptr) << file;
    if (d == nullptr) return {-1, -1, -1};
    const int w = GDALGetRasterXSize(d), h = GDALGetRasterYSize(d);
    std::vector<unsigned char> v(size_t(w) * h * 3);
    EXPECT_EQ(CE_None, GDALDatasetRasterIO(d, GF_Read, 0, 0, w, h, v.data(), w, h, GDT_Byte, 3, nullptr, 3, 3 * w, 1)) << file;
    GDALClose(d);
    for (size_t i = 3; whole && i < v.size(); ++i)
        if (v[i] != v[i % 3]) return {-1, -1, -1};
    const size_t at = 3 * (size_t(y + (centred ? h / 2 : 0)) * w + x + (centred ? w / 2 : 0));
    return {v[at], v[at + 1], v[at + 2]};
}

// The catalogue as the navigator reads it.
void LoadRoot(const std::string& root)
{
    SetDeviceRoot(root);
    ASSERT_EQ(LoadSettings(), 1);
    ASSERT_EQ(LoadMapCatalogue(), 1);
}

class MapTool : public ::testing::Test {
protected:
    Root root{SettingsLine()};
    std::string Maps() const { return root.File("maps"); }
    std::string Catalogue() const { return root.File("vlmap.cfg"); }
    std::string Import(const std::string& file, const std::string& options = "") const
    {
        return kTool + " import " + Quote(root.Path(file)) + options + root.Tail();
    }
};

// ---- Rasters shown by the navigator.

// A point through GDAL's own transformer (gdaltransform with these options: geotransform or control points
// of a file): its first two coordinates.
std::array<double, 2> Transform(const std::string& options, double x, double y)
{
    char point[64];
    std::snprintf(point, sizeof point, "%.10f %.10f", x, y);
    const Outcome run = Shell(std::string("echo ") + point + " | gdaltransform " + options);
    std::array<double, 2> out{NAN, NAN};
    EXPECT_EQ(std::sscanf(run.output.c_str(), "%lf %lf", &out[0], &out[1]), 2) << options << "\n" << run.output;
    return out;
}

// (x, y) of the emulated position in EPSG code.
std::array<double, 2> PositionIn(int code) { return Transform("-s_srs EPSG:4326 -t_srs EPSG:" + std::to_string(code), kLon, kLat); }

struct ImportCase {
    const char* name;
    int epsg;               // of the GeoTIFF, or of the world file's .prj; 0: an OziExplorer map
    double pixelX, pixelY;  // pixel size in the system's units
    double degrees;         // rotation
    int mapInDegrees;       // the settings' switch: the record is written in degrees
    const char* expected;   // in velkar-map's report
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

class MapImport : public ::testing::TestWithParam<ImportCase> {};

// Writes the case's input (a 256 x 256 gradient, pixel (128, 128) on the emulated position, turned by the
// case's degrees) into dir; returns the file to import, and in srs the system to tell gdaltransform when
// the file carries none.
std::string MakeInput(const ImportCase& c, const std::string& dir, std::string* srs)
{
    const std::string base = dir + "/" + c.name;
    const double a = c.degrees * M_PI / 180;
    const std::array<double, 2> p = PositionIn(c.epsg == 0 ? 4326 : c.epsg);
    double g[6] = {0, c.pixelX * std::cos(a), c.pixelY * std::sin(a), 0, c.pixelX * std::sin(a), -c.pixelY * std::cos(a)};
    g[0] = p[0] - 128 * g[1] - 128 * g[2], g[3] = p[1] - 128 * g[4] - 128 * g[5];
    if (c.epsg != 0 && std::string(c.name) != "worldfile") return Raster(base + ".tif", 256, 256, 1, g, c.epsg);
    Raster(base + ".png", 256, 256, 1);
    if (c.epsg != 0) {  // a world file, and a .prj beside the PNG naming the system
        std::ofstream(base + ".pgw") << g[1] << "\n0\n0\n" << g[5] << "\n" << g[0] + g[1] / 2 << "\n" << g[3] + g[5] / 2 << "\n";
        std::ofstream(base + ".prj") << Expect("gdalsrsinfo --single-line -o wkt_esri EPSG:" + std::to_string(c.epsg), 0).output;
        *srs = " -s_srs EPSG:25832";
        return base + ".png";
    }
    // An OziExplorer calibration with three points, latitude/longitude on WGS84: pixel (0,0) at
    // 44 21.0'N 11 43.0'E, (255,0) 0.1' east, (0,255) 0.1' south.
    std::ofstream(base + ".map")
        << "OziExplorer Map Data File Version 2.2\n" << c.name << "\n" << c.name << ".png\n1 ,Map Code,\n"
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
    std::string srs;
    const std::string input = MakeInput(c, root.dir, &srs);
    Expect(kTool + " import " + Quote(input) + root.Tail(), 0, c.expected);
    // The record as the navigator reads it: its scale, in plane metres per pixel.
    LoadRoot(root.dir);
    ASSERT_EQ(lastMapIndex, 0);
    const MapEntry& m = mapTable[0];
    const double metresX = (m.bottomRightX - m.topLeftX) / m.widthPx, metresY = (m.topLeftY - m.bottomRightY) / m.heightPx;
    // Two ticks: the first fix is painted, the window closes before a second paint.
    const std::string shot = root.Path("shot.png");
    if (Expect(kHeadless + root.Tail() + " --time-scale 10 --quit-after-ticks 2 --screenshot " + Quote(shot), 0).status)
        return;
    const std::array<double, 2> centre = PositionIn(32632);
    // Around the centre (the marker covers the centre itself): 20 pixels off in each diagonal.
    for (const int dx : {-20, 20})
        for (const int dy : {-20, 20}) {
            const std::array<int, 3> rgb = Pixel(shot, dx, dy, true);
            const std::array<double, 2> source =
                Transform("-i -t_srs EPSG:32632" + srs + " " + Quote(input), centre[0] + dx * metresX, centre[1] - dy * metresY);
            SCOPED_TRACE(std::string(c.name) + " offset " + std::to_string(dx) + "," + std::to_string(dy));
            EXPECT_NEAR(rgb[2], 200, 2);  // map, not white
            EXPECT_NEAR(rgb[0] + 0.5, source[0], 1.0);
            EXPECT_NEAR(rgb[1] + 0.5, source[1], 1.0);
        }
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

// A catalogue of four maps. Broken input, a record past the end, a whole-world raster (up to 171 degrees
// from the grid's meridian), then a sixth map: one line, exit 2, nothing written (neither catalogue nor
// bitmap); the world is taken with --force. --replace N swaps that record and keeps the others as written;
// list tells which bitmaps open.
TEST_F(MapTool, RefusalsLeaveTheCatalogueWholeReplaceKeepsTheOthers)
{
    for (const char* i : {"1", "2", "3", "4"})
        std::ofstream(Catalogue(), std::ios::app) << "[" << i << "][Map " << i << "][\\My Documents\\Velkar\\m" << i
                                                  << ".bmp][716000][4915000][717000][4914000][100][100][" << i << "][0][0][-]\n";
    const std::string kept = Slurp(Catalogue());
    const double g[6] = {715900, kPixelMetres, 0, 4915100, 0, -kPixelMetres};
    Raster(root.Path("plain.png"), 256, 256, 1);  // no world file
    Raster(root.Path("noprj.png"), 256, 256, 1);
    std::ofstream(root.Path("noprj.pgw")) << "0.4\n0\n0\n-0.4\n716000\n4914000\n";
    Raster(root.Path("good.tif"), 256, 256, 1, g, 32632);
    std::ofstream(root.Path("text.tif")) << "not a raster\n";
    const double world[6] = {-180, 1, 0, 90, 0, -1};
    Raster(root.Path("world.tif"), 360, 180, 0, world, 4326);
    GDALDatasetH wide = GDALCreate(GDALGetDriverByName("GTiff"), root.Path("dem.tif").c_str(), 8, 8, 1, GDT_UInt16, nullptr);
    GDALSetGeoTransform(wide, const_cast<double*>(g)), GDALClose(wide);
    const struct { std::string command; const char* says; } rows[] = {
        {Import("plain.png"), "has no georeference"},
        {Import("noprj.png"), "has no coordinate system"},
        {Import("noprj.png", " --srs EPSG:999999"), "names no coordinate system"},
        {Import("text.tif"), "cannot be read as a raster"},
        {Import("missing.tif"), "missing.tif is missing or unreadable"},
        {Import("dem.tif", " --srs EPSG:32632"), "not 8-bit colours"},
        {Import("good.tif", " --replace 5"), "holds 4 record"},
        {Import("world.tif"), "the navigator's grid cannot hold it"},
        {"(trap '' XFSZ; ulimit -f 64; exec " + Import("good.tif") + ")", "cannot write"},  // a full disk
    };
    for (const auto& r : rows) {
        const Outcome run = Expect(r.command, 2, r.says);
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
        EXPECT_EQ(Slurp(Catalogue()), kept) << r.says;
        EXPECT_TRUE(!fs::exists(Maps()) || fs::is_empty(Maps())) << r.says;
    }
    Expect(Import("world.tif", " --force"), 0, "imported with --force");  // the fifth
    EXPECT_TRUE(fs::exists(Maps() + "/world.bmp"));
    const std::string before = Slurp(Catalogue());
    Expect(Import("good.tif"), 2, "already holds 5 maps");
    EXPECT_EQ(Slurp(Catalogue()), before);
    Expect(Import("good.tif", " --name Nuova --replace 3"), 0);
    const std::string after = Slurp(Catalogue()), first = before.substr(0, before.find("[3][Map 3]"));  // records 1, 2
    EXPECT_EQ(after.rfind(first + "[3][Nuova][\\My Documents\\Velkar\\maps\\Nuova.bmp][", 0), 0u) << after;
    EXPECT_EQ(after.substr(after.find("\n[4][Map 4]")), before.substr(before.find("\n[4][Map 4]"))) << after;
    const Outcome list = Expect(kTool + " list" + root.Tail(), 0, "maps\\Nuova.bmp: opens, BMP 24-bit, 256 x 256");
    EXPECT_HAS(list.output, "m1.bmp: does not open");
}

// ---- Other formats, checked through the record: a 512-pixel gradient (red = column / 2, green = row / 2)
// in EPSG:3857 from tile (34900, 23900) at zoom 16 on (about 2.4 m pixels near Imola).
constexpr double kHalf = 20037508.342789244;  // EPSG:3857's half world
constexpr int kTileX = 34900, kTileY = 23900;
const double kMetres = 2 * kHalf / (std::ldexp(1.0, 16) * 256);
const double kGradientGeo[6] = {-kHalf + kTileX * 256 * kMetres, kMetres, 0, kHalf - kTileY * 256 * kMetres, 0, -kMetres};

// {latitude, longitude} of a position given as a fraction of the gradient's extent.
std::array<double, 2> LatLonAt(double fx, double fy)
{
    return {std::atan(std::sinh((kGradientGeo[3] - fy * 512 * kMetres) / kHalf * M_PI)) * 180 / M_PI,
            (kGradientGeo[0] + fx * 512 * kMetres) / kHalf * 180};
}

// The pixel of the last imported bitmap at (lat, lon), found through its record.
std::array<int, 3> BitmapPixel(const std::string& root, double lat, double lon)
{
    LoadRoot(root);
    const MapEntry& m = mapTable[lastMapIndex];
    double northing, easting;
    LatLonToGrid(lat, lon, &northing, &easting);
    return Pixel(DevicePathToHost(m.bitmapPath),
                 static_cast<int>((easting - m.topLeftX) / (m.bottomRightX - m.topLeftX) * m.widthPx),
                 static_cast<int>((m.topLeftY - northing) / (m.topLeftY - m.bottomRightY) * m.heightPx));
}

// At every sample the bitmap holds the gradient's colours within tolerance.
void ExpectGradient(const std::string& root, double tolerance)
{
    for (const auto& [fx, fy] : {std::pair{0.3, 0.3}, {0.7, 0.4}, {0.4, 0.7}, {0.6, 0.6}}) {
        const auto [lat, lon] = LatLonAt(fx, fy);
        const std::array<int, 3> rgb = BitmapPixel(root, lat, lon);
        EXPECT_NEAR(rgb[0], fx * 256, tolerance) << fx << "," << fy;
        EXPECT_NEAR(rgb[1], fy * 256, tolerance) << fx << "," << fy;
    }
}

// The gradient as MBTiles (the driver writes zoom 16, gdaladdo zooms 15 and 14), then cut into four 256-pixel
// tiles "16/X/Y.png" (no .aux.xml beside them) taken whole and by --area (the top-left one); then a KMZ of two
// overlays, red north of 44.35 N and blue south of it, mosaicked: five records in all.
TEST_F(MapTool, MbtilesAtTwoZoomLevelsXyzTilesWholeAndByAreaKmzOfTwoOverlays)
{
    const std::string area = Quote(root.Path("area.tif")), file = Quote(root.Path("area.mbtiles"));
    Raster(root.Path("area.tif"), 512, 512, 2, kGradientGeo, 3857);
    Expect("gdal_translate -q -of MBTiles " + area + " " + file + " && gdaladdo -q " + file + " 2 4", 0);
    Expect(Import("area.mbtiles"), 0, "zoom 16 of 14 to 16");  // the default: the deepest
    ExpectGradient(root.dir, 1.5);
    Expect(Import("area.mbtiles", " --zoom 15"), 0, "zoom 15 of 14 to 16");
    ExpectGradient(root.dir, 2.5);  // half the pixels: one more step of the gradient
    Expect(Import("area.mbtiles", " --zoom 12"), 2, "holds zoom levels 14 to 16, not 12");
    for (int i = 0; i < 4; ++i) {  // tile i % 2 across, i / 2 down
        const std::string folder = root.Path("tiles/16/" + std::to_string(kTileX + i % 2)) + "/";
        fs::create_directories(folder);
        const std::string window = std::to_string(i % 2 * 256) + " " + std::to_string(i / 2 * 256) + " 256 256 ";
        Expect("gdal_translate -q --config GDAL_PAM_ENABLED NO -of PNG -srcwin " + window + area + " " +
                   Quote(folder + std::to_string(kTileY + i / 2) + ".png"), 0);
    }
    Expect(Import("tiles"), 0, "zoom 16, 4 tiles");
    ExpectGradient(root.dir, 1.5);
    const auto [lat, lon] = LatLonAt(0.2, 0.2);
    Expect(Import("tiles", " --area " + std::to_string(lat) + "," + std::to_string(lon) + "," + std::to_string(lat - 0.0005) +
                               "," + std::to_string(lon + 0.0005)), 0, "zoom 16, 1 tiles");
    const std::string kmz = "/vsizip/" + root.Path("two.kmz") + "/";
    std::string kml = "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Folder>";
    for (const auto& [name, colour, north, south] :
         {std::tuple{"red.png", 0xff0000u, "44.36", "44.35"}, {"blue.png", 0x0000ffu, "44.35", "44.34"}}) {
        Raster(kmz + name, 100, 60, 0, nullptr, 0, colour);
        kml += std::string("<GroundOverlay><Icon><href>") + name + "</href></Icon><LatLonBox><north>" + north +
               "</north><south>" + south + "</south><east>11.72</east><west>11.70</west></LatLonBox></GroundOverlay>";
    }
    kml += "</Folder></kml>";
    VSILFILE* f = VSIFOpenL((kmz + "doc.kml").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    VSIFWriteL(kml.data(), 1, kml.size(), f), VSIFCloseL(f);
    Expect(Import("two.kmz"), 0, "2 ground overlays");
    for (const auto& [lat, red] : {std::pair{44.355, 255}, {44.345, 0}}) {
        const std::array<int, 3> rgb = BitmapPixel(root.dir, lat, 11.71);
        EXPECT_EQ(rgb[0], red) << lat;
        EXPECT_EQ(rgb[1], 0) << lat;
    }
}

// ---- A device root other programs use too.

// Both under the same name at once: two records, two bitmaps, each whole in its own colour. Then names and
// bytes planted by another program: a link at the bitmap's name or at the old temporary's name is never written
// through; a catalogue a Windows editor saved as UTF-16 keeps its records, one the reader cannot take record by
// record is refused and left as it was.
TEST_F(MapTool, TwoImportsAtOnceLoseNothingAndPlantedNamesAreNotTrusted)
{
    const double plane[6] = {716000, 1, 0, 4915000, 0, -1};  // north-up in the plane grid: taken pixel for pixel
    Raster(root.Path("red.tif"), 32, 32, 0, plane, 32632, 0xff0000);
    Raster(root.Path("blue.tif"), 32, 32, 0, plane, 32632, 0x0000ff);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        fs::remove(Catalogue()), fs::remove_all(Maps());
        const std::string red = Import("red.tif", " --name Same"), blue = Import("blue.tif", " --name Same");
        const Outcome both = Shell("(" + red + " & " + blue + "; s=$?; wait $!; exit $(( s + $? )))");  // both statuses
        ASSERT_EQ(both.status, 0) << both.output;
        LoadRoot(root.dir);
        ASSERT_EQ(lastMapIndex, 1);
        std::set<std::array<int, 3>> colours;
        for (int m = 0; m < 2; ++m) colours.insert(Pixel(DevicePathToHost(mapTable[m].bitmapPath), 0, 0, false, true));
        EXPECT_NE(TextToUtf8(mapTable[0].bitmapPath), TextToUtf8(mapTable[1].bitmapPath));
        EXPECT_EQ(colours, (std::set<std::array<int, 3>>{{255, 0, 0}, {0, 0, 255}}));
    }
    std::ofstream(root.Path("victim")) << "keep";
    fs::create_symlink(root.Path("victim"), Maps() + "/red.bmp");
    fs::create_symlink(root.Path("victim"), Maps() + "/red.bmp.part");
    Expect(Import("red.tif"), 0, "maps/red-2.bmp");
    EXPECT_EQ(Slurp(root.Path("victim")), "keep");
    std::string utf16le = "\xff\xfe", record = "[1][Città][\\My Documents\\Velkar\\old.bmp][716000][4915000][717000]";
    for (char16_t c : Utf8ToText(record + "[4914000][100][100][0][0][0][-]\r\n"))
        utf16le += {static_cast<char>(c & 0xff), static_cast<char>(c >> 8)};
    for (const std::string& bytes : {utf16le.substr(2), record.replace(4, 5, "Half") + "\n"}) {
        WriteFile(Catalogue(), bytes);  // UTF-16 without its mark, a record cut short
        Expect(Import("red.tif"), 2, "cannot be read record by record");
        EXPECT_EQ(Slurp(Catalogue()), bytes);
    }
    WriteFile(Catalogue(), utf16le);
    Expect(Import("red.tif"), 0);
    LoadRoot(root.dir);
    ASSERT_EQ(lastMapIndex, 1);
    EXPECT_EQ(TextToUtf8(mapTable[0].name), "Città");
    EXPECT_EQ(TextToUtf8(mapTable[1].name), "red");
}

// Killed (-9 or TERM) at random moments while warping from the next zone and writing: the catalogue and
// its bitmap stay whole, and the next run removes the dead runs' temporaries.
TEST_F(MapTool, KilledImportsLeaveNothingBehind)
{
    const double nextZone[6] = {276000, 1, 0, 4915000, 0, -1};  // warped into EPSG:32632
    Raster(root.Path("big.tif"), 1500, 1500, 0, nextZone, 32633, 0x008000);
    Expect(Import("big.tif"), 0);
    std::mt19937 random(17);
    for (int i = 0; i < 20; ++i)
        KillAfter(Import("big.tif", " --replace 1"), std::uniform_int_distribution<int>(0, 400)(random) * 1000,
                  i % 2 ? SIGKILL : SIGTERM);
    std::ofstream(Maps() + "/earlier.bmp.part") << "cut short by an earlier version";
    Shell("sleep 1.1");  // the next run removes only what changed before it started
    Expect(Import("big.tif", " --replace 1"), 0);
    EXPECT_EQ(CountNamed(Maps(), ".tmp-velkar-map-"), 0);
    EXPECT_FALSE(fs::exists(Maps() + "/earlier.bmp.part"));
    EXPECT_EQ(CountNamed(root.dir + kVelkarDir, ".tmp-velkar-map-"), 0);
    LoadRoot(root.dir);
    EXPECT_EQ(lastMapIndex, 0);
    EXPECT_EQ(Pixel(DevicePathToHost(mapTable[0].bitmapPath), 0, 0, true), (std::array<int, 3>{0, 128, 0}));
}

}  // namespace
