// velkar-map on a device root other programs use too: two imports at once lose
// no record and tear no bitmap; an import killed with -9 leaves nothing the next
// run does not remove; links and FIFOs are never written through or waited on;
// a UTF-16 catalogue is kept, one the tool cannot read is left as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

#include <gdal.h>
#include <ogr_srs_api.h>

#include "base/text.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-map";
constexpr int kSide = 32;          // solid rasters, north-up in the plane grid: taken pixel for pixel
constexpr int kLoops = 20;

// A side x side GeoTIFF of one colour in EPSG:epsg near Imola.
void SolidRaster(const std::string& path, int side, int epsg, unsigned char r, unsigned char g, unsigned char b)
{
    GDALDatasetH d = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), side, side, 3, GDT_Byte, nullptr);
    const unsigned char colour[3] = {r, g, b};
    for (int i = 0; i < 3; ++i) GDALFillRaster(GDALGetRasterBand(d, i + 1), colour[i], 0);
    double geo[6] = {epsg == 32632 ? 716000.0 : 276000.0, 1, 0, 4915000, 0, -1};
    GDALSetGeoTransform(d, geo);
    OGRSpatialReferenceH s = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(s, epsg);
    GDALSetSpatialRef(d, s);
    OSRDestroySpatialReference(s);
    GDALClose(d);
}

// A little-endian 32-bit header field, wherever it lies.
uint32_t Le32(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}

// 1 when the 24-bit bitmap holds as many bytes as its header says.
int BitmapWhole(const std::string& bytes)
{
    if (bytes.size() < 54) return 0;
    const uint32_t w = Le32(bytes, 18);
    const uint32_t h = Le32(bytes, 22);
    return bytes.size() == 54 + ((w * 3 + 3) & ~size_t(3)) * h;
}

// The blue-green-red triple every pixel of a whole 24-bit bitmap holds; "" when
// the file is cut short or its pixels differ.
std::string BitmapColour(const std::string& path)
{
    const std::string bytes = Slurp(path);
    if (!BitmapWhole(bytes)) return "";
    const uint32_t w = Le32(bytes, 18);
    const uint32_t h = Le32(bytes, 22);
    const size_t stride = (w * 3 + 3) & ~size_t(3);
    const std::string first = bytes.substr(54, 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            if (bytes.compare(54 + y * stride + x * 3, 3, first) != 0) return "";
    return first;
}

int CountLeftovers(const std::string& folder)
{
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        n += e.path().filename().string().find(".tmp-velkar-map-") != std::string::npos;
    return n;
}

class MapSharedRoot : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GDALAllRegister(); }
    Root root{"[BEGIN][1][4800][1][0][0][0][0][0][0][0][0][END]\n"};
    std::string Maps() const { return root.dir + kVelkarDir + "maps"; }
    std::string Catalogue() const { return root.dir + kVelkarDir + "vlmap.cfg"; }
    std::string Import(const std::string& args) const { return kTool + " import " + args + " --root " + Quote(root.dir); }
};

// Both under the same name at once: two records, two bitmaps, each whole in its own colour.
TEST_F(MapSharedRoot, TwoImportsAtOnceLoseNothing)
{
    SolidRaster(root.dir + "/red.tif", kSide, 32632, 255, 0, 0);
    SolidRaster(root.dir + "/blue.tif", kSide, 32632, 0, 0, 255);
    for (int i = 0; i < kLoops; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        fs::remove(Catalogue());
        fs::remove_all(Maps());
        const Outcome both = Shell("(" + Import(Quote(root.dir + "/red.tif") + " --name Same") + " & " +
                                   Import(Quote(root.dir + "/blue.tif") + " --name Same") + "; s=$?; wait $!; " +
                                   "exit $(( s + $? )))");
        ASSERT_EQ(both.status, 0) << both.output;
        SetDeviceRoot(root.dir);
        ASSERT_EQ(LoadSettings(), 1);
        ASSERT_EQ(LoadMapCatalogue(), 1);
        ASSERT_EQ(lastMapIndex, 1);
        std::set<std::string> colours, bitmaps;
        for (int m = 0; m < 2; ++m) {
            bitmaps.insert(TextToUtf8(mapTable[m].bitmapPath));
            colours.insert(BitmapColour(DevicePathToHost(mapTable[m].bitmapPath)));
        }
        EXPECT_EQ(bitmaps.size(), 2u);
        EXPECT_EQ(colours, (std::set<std::string>{std::string("\xff\0\0", 3), std::string("\0\0\xff", 3)}));
    }
}

// Killed (-9 or TERM) at random moments while warping from the next zone and
// writing: the catalogue and its bitmap stay whole, and the next run removes
// the dead runs' temporaries.
TEST_F(MapSharedRoot, KilledImportsLeaveNothingBehind)
{
    SolidRaster(root.dir + "/big.tif", 1500, 32633, 0, 128, 0);
    ASSERT_EQ(Shell(Import(Quote(root.dir + "/big.tif"))).status, 0);
    std::mt19937 random(17);
    for (int i = 0; i < kLoops; ++i) {
        const int ms = std::uniform_int_distribution<int>(0, 400)(random);
        Shell(Import(Quote(root.dir + "/big.tif") + " --replace 1") + " >/dev/null 2>&1 & sleep " +
              std::to_string(ms / 1000.0) + "; kill -" + (i % 2 ? "9" : "TERM") + " $! 2>/dev/null; wait");
    }
    std::ofstream(Maps() + "/earlier.bmp.part") << "cut short by an earlier version";
    Shell("sleep 1.1");  // the next run removes only what changed before it started
    ASSERT_EQ(Shell(Import(Quote(root.dir + "/big.tif") + " --replace 1")).status, 0);
    EXPECT_EQ(CountLeftovers(Maps()), 0);
    EXPECT_FALSE(fs::exists(Maps() + "/earlier.bmp.part"));
    EXPECT_EQ(CountLeftovers(root.dir + kVelkarDir), 0);
    SetDeviceRoot(root.dir);
    ASSERT_EQ(LoadMapCatalogue(), 1);
    EXPECT_EQ(lastMapIndex, 0);
    EXPECT_TRUE(BitmapWhole(Slurp(DevicePathToHost(mapTable[0].bitmapPath))));
}

// Names planted by another program: a link at the bitmap's name or at the old
// temporary's name is never written through; a FIFO as a record's bitmap is
// reported at once.
TEST_F(MapSharedRoot, LinksAndFifosAreNeitherWrittenThroughNorWaitedOn)
{
    SolidRaster(root.dir + "/red.tif", kSide, 32632, 255, 0, 0);
    fs::create_directories(Maps());
    std::ofstream(root.dir + "/victim") << "keep";
    fs::create_symlink(root.dir + "/victim", Maps() + "/red.bmp");
    fs::create_symlink(root.dir + "/victim", Maps() + "/red.bmp.part");
    const Outcome run = Shell(Import(Quote(root.dir + "/red.tif")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Slurp(root.dir + "/victim"), "keep");
    EXPECT_NE(run.output.find("maps/red-2.bmp"), std::string::npos) << run.output;

    ASSERT_EQ(mkfifo((Maps() + "/fifo.bmp").c_str(), 0600), 0);
    std::ofstream(Catalogue(), std::ios::app)
        << "[2][Fifo][\\My Documents\\Velkar\\maps\\fifo.bmp][716000][4915000][716032][4914968][32][32][0][0][0][-]\n";
    const Outcome list = Shell("timeout 10 " + kTool + " list --root " + Quote(root.dir));
    EXPECT_EQ(list.status, 0) << list.output;
    EXPECT_NE(list.output.find("fifo.bmp: does not open, missing, unreadable or not a regular file"), std::string::npos)
        << list.output;
}

// A catalogue saved as UTF-16 by a Windows editor keeps its records; bytes the
// reader cannot take record by record are refused and left as they were.
TEST_F(MapSharedRoot, Utf16CatalogueKeptUnreadableOneRefused)
{
    SolidRaster(root.dir + "/red.tif", kSide, 32632, 255, 0, 0);
    const std::string record = "[1][Città][\\My Documents\\Velkar\\old.bmp][716000][4915000][717000][4914000][100][100][0][0][0][-]\r\n";
    const std::u16string wide = Utf8ToText(record);
    std::string utf16le = "\xff\xfe";
    for (char16_t c : wide) utf16le += {static_cast<char>(c & 0xff), static_cast<char>(c >> 8)};
    const struct { const char* what; std::string bytes; int status; } rows[] = {
        {"UTF-16 LE with its mark", utf16le, 0},
        {"UTF-16 without a mark", utf16le.substr(2), 2},
        {"a record cut short", "[1][Half][\\My Documents\\Velkar\\old.bmp][716000]\n", 2},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::ofstream(Catalogue(), std::ios::binary | std::ios::trunc) << r.bytes;
        const Outcome run = Shell(Import(Quote(root.dir + "/red.tif")));
        EXPECT_EQ(run.status, r.status) << run.output;
        if (r.status != 0) {
            EXPECT_NE(run.output.find("cannot be read record by record"), std::string::npos) << run.output;
            EXPECT_EQ(Slurp(Catalogue()), r.bytes);
            continue;
        }
        SetDeviceRoot(root.dir);
        ASSERT_EQ(LoadMapCatalogue(), 1);
        ASSERT_EQ(lastMapIndex, 1);
        EXPECT_EQ(TextToUtf8(mapTable[0].name), "Città");
        EXPECT_EQ(TextToUtf8(mapTable[1].name), "red");
    }
}

}  // namespace
