// Painted frames of what the view does beyond the handheld's picture: the map at
// 2:1 and 1:2 where the zoomed transform puts it, the overlay at other window
// sizes, the map following the position across three maps, the map kept dimmed
// without a fix, night colours, the trail and the target line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "app/globals.h"
#include "base/text.h"
#include "gps/fix_history.h"
#include "gps/gps_state.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "store/view_options.h"
#include "view/layout.h"
#include "view/trail.h"
#include "view/transform.h"
#include "view/view.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;
constexpr uint32_t kWhite = 0xFFFFFF, kBlue = 0x0000FF, kPurple = 0x800080;  // colourTable 2 and 11
constexpr double kLeftX = 700000.0, kTopY = 5000150.0;

// 8 x 8 blocks of one colour each, never white or blue.
uint32_t BlockColour(int32_t x, int32_t y) { return uint32_t((x / 8 * 37) & 0xFF) << 16 | uint32_t((y / 8 * 53) & 0xFF) << 8 | 0x40; }
uint32_t Rgb(const QImage& image, int32_t x, int32_t y) { return image.pixel(x, y) & 0xFFFFFF; }
int CountColour(const QImage& image, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour)
{
    int n = 0;
    for (int32_t y = std::max(top, 0); y < std::min(bottom, image.height()); ++y)
        for (int32_t x = std::max(left, 0); x < std::min(right, image.width()); ++x) n += Rgb(image, x, y) == colour;
    return n;
}

// Map index: name, bitmap, its left edge's easting, pixels and metres a pixel.
void PlaceMap(int32_t index, const char* file, double leftX, int32_t w, int32_t h, double metres)
{
    MapEntry& m = mapTable[index];
    m = MapEntry{};
    CopyAsciiText(m.bitmapPath, kBitmapPathSize, (std::string("\\My Documents\\Velkar\\") + file).c_str());
    m.widthPx = w, m.heightPx = h, m.topLeftX = leftX, m.topLeftY = kTopY;
    m.bottomRightX = leftX + w * metres, m.bottomRightY = kTopY - h * metres;
}

class ExtendTest : public ::testing::Test {
protected:
    static inline std::string root;
    static inline WindowHandle window = nullptr;
    static void SetUpTestSuite()
    {
        root = SetUpViewWorld();
        window = CreateViewWindow(240, 268);
        WriteFile(root + "/My Documents/Velkar/blocks.bmp", BmpBytes(200, 150, 24, false, BlockColour));
    }
    static void TearDownTestSuite() { DestroyMainWindow(window), TearDownViewWorld(); }
    void SetUp() override
    {
        PlaceMap(currentMap = 0, "blocks.bmp", kLeftX, 200, 150, 1.0);
        lastMapIndex = 0;
        SwitchMapBitmap();
        settings.trackToTarget = settings.proximity = settings.audioMessages = 0;
        gotoActive = 0, lastPrefIndex = -1, selectedPref = 0;
        viewOptions = ViewOptions{};
        ClearTrail();
        At(1, kLeftX + 50.5, kTopY - 49.5);  // map pixel (50, 49)
    }
    void TearDown() override { SetMapZoomStep(mapTable[0], kZoomOneToOne); }
    static void At(int fix, double e, double n)
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.fixQuality = uint8_t(fix), gpsState.gridEasting = e, gpsState.gridNorthing = n;
        gpsState.prevGridEasting = e, gpsState.prevGridNorthing = n, gpsState.course = 100;
        RecordAcceptedFix(gpsState);
    }
};

// Two map pixels a row around the position (50, 49), outside the circle at that zoom:
// where GridToScreen puts them, the frame shows their 8 x 8 block's colour.
TEST_F(ExtendTest, ZoomedMapPixelLandsWhereTheTransformPutsIt)
{
    const QImage oneToOne = PaintFrame(window);
    const struct { const char* name; int32_t step; std::pair<int32_t, int32_t> pixels[2]; } rows[] = {
        {"2:1", 6, {{60, 52}, {30, 20}}}, {"4:1", 7, {{60, 52}, {44, 44}}},
        {"1:2", 4, {{80, 90}, {10, 10}}}, {"1:8", 0, {{150, 140}, {180, 12}}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        SetMapZoomStep(mapTable[0], r.step);
        const QImage frame = PaintFrame(window);
        for (auto [column, row] : r.pixels) {
            int32_t x = 0, y = 0;
            GridToScreen(kLeftX + 50.5, kTopY - 49.5, kLeftX + column + 0.5, kTopY - row - 0.5, 240, 268, &x, &y,
                         kZoomScales[r.step]);
            EXPECT_EQ(Rgb(frame, x, y), BlockColour(column, row)) << column << ", " << row << " at " << x << ", " << y;
        }
    }
    SetMapZoomStep(mapTable[0], kZoomOneToOne);
    EXPECT_TRUE(PaintFrame(window) == oneToOne) << "back at 1:1 the picture is the 1:1 one";
}

// Each element at its layout place (rules_test has the numbers): the arrow's icon colour
// inside its box, the speed text's blue in its band, the circle at the centre.
TEST_F(ExtendTest, OverlayIsLaidOutInsideWindowsOfAnySize)
{
    const char* shots = std::getenv("VELKAR_VIEW_SHOTS");  // a folder: the frames to look at
    const struct { const char* name; int32_t w, h; } rows[] = {
        {"1280x800", 1280, 800}, {"800x480", 800, 480}, {"480x800", 480, 800}, {"240x200", 240, 200}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        WindowHandle sized = CreateViewWindow(r.w, r.h);
        for (int fix : {1, 0}) {
            At(fix, kLeftX + 50.5, kTopY - 49.5);
            const QImage frame = PaintFrame(sized);
            ASSERT_EQ(frame.size(), QSize(r.w, r.h));
            if (shots != nullptr) frame.save(QString("%1/%2-fix%3.png").arg(shots, r.name).arg(fix));
            const ViewLayout l = LayoutView(r.w, r.h, 1.0);
            const int32_t a = l.arrowSize;
            EXPECT_EQ(Rgb(frame, l.arrowLeft + 1, l.arrowTop + 1), ArrowColour(2));
            EXPECT_EQ(Rgb(frame, l.arrowLeft + a - 2, l.arrowTop + a - 2), ArrowColour(2));
            EXPECT_LE(l.arrowTop + a, r.h);
            const int32_t textTop = fix ? l.speedTop : l.notFixedTop;
            EXPECT_GT(CountColour(frame, 0, textTop, l.arrowLeft, textTop + l.fontHeight, kBlue), 20);
            const int32_t m = l.markerRadius;
            EXPECT_EQ(CountColour(frame, 0, r.h / 2 + m + 2, l.arrowLeft, textTop, kBlue), 0) << "none above it";
            EXPECT_GT(CountColour(frame, r.w / 2 - m - 1, r.h / 2 - m - 1, r.w / 2 + m + 2, r.h / 2 + m + 2, kBlue), 8);
        }
        DestroyMainWindow(sized);
    }
}

// Three adjacent 100 x 100 maps at 1 m a pixel, west to east, and a coarse 4 m map over
// the eastern two, listed first: on each map's ground the finest is chosen when the
// current one is left; past the last, "Off the map" (blue in the top band) and no switch.
TEST_F(ExtendTest, MapFollowsThePositionAcrossThreeMaps)
{
    WriteFile(root + "/My Documents/Velkar/square.bmp", BmpBytes(100, 100, 24, false, BlockColour));
    PlaceMap(0, "square.bmp", kLeftX + 100, 50, 25, 4.0);  // coarse: 700100 .. 700300
    PlaceMap(1, "square.bmp", kLeftX, 100, 100, 1.0);      // west
    PlaceMap(2, "square.bmp", kLeftX + 100, 100, 100, 1.0);
    PlaceMap(3, "square.bmp", kLeftX + 200, 100, 100, 1.0);  // east
    lastMapIndex = 3, currentMap = 1;
    SwitchMapBitmap();
    const struct { const char* name; double east; int32_t map; bool off; } rows[] = {
        {"on the west map", 50, 1, false},   {"over its edge: the middle one, not the coarse", 150, 2, false},
        {"the east map", 250, 3, false},     {"back to the middle", 199, 2, false},
        {"east again", 299, 3, false},       {"past the last: nothing covers it", 320, 3, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        At(1, kLeftX + r.east, kTopY - 50.5);
        const QImage frame = PaintFrame(window);
        EXPECT_EQ(currentMap, r.map);
        EXPECT_EQ(CountColour(frame, 60, 0, 180, 16, kBlue) > 0, r.off);
    }
}

// Dimmed: (c + luma) * 45 >> 7 per channel, luma = (77 r + 150 g + 29 b) >> 8.
TEST_F(ExtendTest, MapKeptDimmedWithoutAFixOnlyWhenAsked)
{
    const uint32_t c = BlockColour(60, 52);
    const uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF, luma = (77 * r + 150 * g + 29 * b) >> 8;
    const uint32_t dim = ((r + luma) * 45 >> 7) << 16 | ((g + luma) * 45 >> 7) << 8 | ((b + luma) * 45 >> 7);
    At(1, kLeftX + 50.5, kTopY - 49.5);
    PaintFrame(window);
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.fixQuality = 0;  // the receiver lost the fix
    }
    EXPECT_EQ(Rgb(PaintFrame(window), 130, 137), kWhite) << "off: the handheld's white";
    viewOptions.keepMapWithoutFix = 1;
    EXPECT_EQ(Rgb(PaintFrame(window), 130, 137), dim);
}

// Night: luma * 160 >> 8, luma * 24 >> 8, luma * 16 >> 8; white becomes 9F170F.
TEST_F(ExtendTest, NightColoursTintTheWholeView)
{
    viewOptions.night = 1;
    const QImage frame = PaintFrame(window);
    EXPECT_EQ(Rgb(frame, 120, 134), 0x9F170Fu) << "inside the circle";
    EXPECT_EQ(CountColour(frame, 0, 0, 240, 268, kBlue), 0);
}

// A walk from 40 m west to the position: the trail's purple runs left of the centre when
// asked, nowhere otherwise; kept when the map changes (plane metres, not pixels).
TEST_F(ExtendTest, TrailRunsUnderTheMarkersWhenAsked)
{
    for (int i = 40; i >= 0; i -= 4) AddTrailPoint(kLeftX + 50.5 - i, kTopY - 49.5);
    EXPECT_EQ(CountColour(PaintFrame(window), 0, 0, 240, 268, kPurple), 0);
    viewOptions.trail = 1;
    const QImage frame = PaintFrame(window);
    EXPECT_GT(CountColour(frame, 80, 130, 112, 138, kPurple), 25);
    EXPECT_EQ(CountColour(frame, 128, 0, 240, 268, kPurple), 0) << "nothing east of the position";
    PlaceMap(0, "blocks.bmp", kLeftX - 100, 200, 150, 2.0);  // another map: 2 m a pixel
    SwitchMapBitmap();
    EXPECT_GT(CountColour(PaintFrame(window), 98, 130, 116, 138, kPurple), 12);
}

// Track line on, target 100 m grid east: the line under the indicator appears only off
// the handheld's defaults; with no point loaded there is no line to plane (0, 0).
TEST_F(ExtendTest, TargetLineAndNoTrackLineWithoutPoints)
{
    settings.trackToTarget = 1;
    EXPECT_EQ(CountColour(PaintFrame(window), 0, 0, 240, 120, kBlue), 0) << "no point: no line";
    lastPrefIndex = selectedPref = 0;
    prefTable[0] = PrefPoint{kLeftX + 150.5, kTopY - 49.5, 0, u"", u"Rocca"};
    const ViewLayout l = LayoutView(240, 268, 1.0);
    const int32_t band = l.targetTextTop;
    EXPECT_EQ(CountColour(PaintFrame(window), 0, band, 100, band + 14, kBlue), 0) << "the handheld's picture";
    viewOptions.trail = 1;
    EXPECT_GT(CountColour(PaintFrame(window), 0, band, 100, band + 14, kBlue), 20);
}

}  // namespace
