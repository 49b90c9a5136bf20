// The view's arithmetic without a window: map placement, arrow choice, proximity decision, on the default
// map (741 x 498 pixels, 716346.6 / 4914433.5 to 717261.9 / 4913879.2) and a 240 x 268 client; and
// (ViewRules) the overlay's layout for any size, the zoomed transform, the pixel move the follow rule
// measures, the trail's ring and file text, and the target line's text.
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include "base/text.h"
#include "view/overlay.h"
#include "view/proximity.h"
#include "view/trail.h"
#include "view/transform.h"
#include "view/view.h"

namespace {
constexpr double kCx = 716804.25, kCy = 4914156.35, kInf = INFINITY, kNaN = NAN;  // (kCx, kCy): pixel (370, 249)
// The grid point in the middle of pixel (column, row), so that truncation picks exactly that pixel.
double EastingOf(int32_t column) { return 716346.6 + (column + 0.5) / 741.0 * (717261.9 - 716346.6); }
double NorthingOf(int32_t row) { return 4913879.2 + (497.5 - row) / 498.0 * (4914433.5 - 4913879.2); }
struct TransformTest : ::testing::Test { void SetUp() override { currentMap = 0, FillDefaultMapEntry(0); } };

TEST_F(TransformTest, BitmapPixelOriginAndScreenMapsWithoutScaleNotDrawableAndSaturating)
{
    // Worked by hand from the edges; the middle is 370.5 and just over 249 before truncation, the
    // west-north point -37.4 and -59.6, truncated toward zero.
    const struct { const char* name; double e, n; int32_t column, row, left, top; } pixels[] = {
        {"top-left corner", 716346.6, 4914433.5, 0, 0, 120, 134},
        {"bottom-right corner", 717261.9, 4913879.2, 741, 498, -621, -364}, {"exact middle", kCx, kCy, 370, 249, -250, -115},
        {"west and north outside", 716300.0, 4914500.0, -37, -59, 157, 193}};
    for (const auto& r : pixels) {
        int32_t left = 0, top = 0;
        GridToMapOrigin(r.e, r.n, 240, 268, &left, &top);
        const BitmapPixel p = GridToBitmapPixel(r.e, r.n);
        EXPECT_EQ(std::tie(p.column, p.row, left, top), std::tie(r.column, r.row, r.left, r.top)) << r.name;
    }
    // Centre (kCx, kCy); 100 m is 80.9 columns and 89.8 rows. The quotient-then-product in double gives
    // 122 where c1 - c0 + W/2 gives 123, 28 where it gives 29; an odd width stretches by 241/240 (220.9
    // and 20.08).
    const struct { const char* name; double e, n; int32_t w, x, y; } screen[] = {
        {"the centre", kCx, kCy, 240, 120, 134}, {"100 m east and north", 716904.25, 4914256.35, 240, 201, 44},
        {"100 m west and south", 716704.25, 4914056.35, 240, 39, 223},
        {"3 columns right", EastingOf(373), kCy, 240, 122, 134}, {"105 rows up", kCx, NorthingOf(144), 240, 120, 28},
        {"4 columns right", EastingOf(374), kCy, 240, 124, 134}, {"odd, +100", EastingOf(470), kCy, 241, 220, 134},
        {"odd, -100", EastingOf(270), kCy, 241, 20, 134}};
    int32_t x = -1, y = -1, left = 0, top = 0;
    for (int32_t calibration : {0, 17}) {  // calibration moves the origin only
        mapTable[0].calibX = calibration, mapTable[0].calibY = -calibration;
        for (const auto& r : screen) {
            GridToScreen(kCx, kCy, r.e, r.n, r.w, 268, &x, &y);
            EXPECT_EQ(std::tie(x, y), std::tie(r.x, r.y)) << r.name;
        }
    }
    GridToScreen(kCx, kCy, kCx, kCy, 0, 0, &x, &y);  // a minimised client: 0 or saturated, never undefined
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, 0));
    GridToScreen(kCx, kCy, 716904.25, 4914056.35, 1, 1, &x, &y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(INT32_MAX, INT32_MAX));
    mapTable[0].calibX = 5, mapTable[0].calibY = -3;
    GridToMapOrigin(kCx, kCy, 240, 268, &left, &top);
    EXPECT_EQ(std::make_pair(left, top), std::make_pair(-255, -112));
    // Maps without scale are not drawable; their transforms saturate.
    const struct { const char* name; double left, top, right, bottom; int drawable; } rows[] = {
        {"default", 716346.6, 4914433.5, 717261.9, 4913879.2, 1}, {"mirrored", 717261.9, 4913879.2, 716346.6, 4914433.5, 1},
        {"equal eastings", 716346.6, 4914433.5, 716346.6, 4913879.2, 0}, {"all zero", 0, 0, 0, 0, 0},
        {"equal northings", 716346.6, 4914433.5, 717261.9, 4914433.5, 0}, {"NaN", 716346.6, kNaN, 717261.9, 4913879.2, 0},
        {"infinite", 716346.6, 4914433.5, kInf, 4913879.2, 0}};
    MapEntry& m = mapTable[0];
    for (const auto& r : rows) {
        m.topLeftX = r.left, m.topLeftY = r.top, m.bottomRightX = r.right, m.bottomRightY = r.bottom;
        EXPECT_EQ(MapIsDrawable(m), r.drawable) << r.name;
        for (double e : {716000.0, 716346.6, 717000.0}) {  // defined answers (UBSan stops the run otherwise)
            GridToMapOrigin(e, 4914000.0, 240, 268, &left, &top);
            GridToScreen(e, 4914000.0, e + 30.0, 4914000.0 - 30.0, 240, 268, &x, &y);
        }
    }
    // Equal eastings: +-infinity columns saturate, 0 / 0 gives 0, the origin does not overflow.
    m.topLeftX = m.bottomRightX = 716346.6, m.topLeftY = 4914433.5, m.bottomRightY = 4913879.2, m.calibX = -5;
    EXPECT_EQ(GridToBitmapPixel(716400.0, 4914433.5).column, INT32_MAX);
    EXPECT_EQ(GridToBitmapPixel(716300.0, 4914433.5).column, INT32_MIN);
    EXPECT_EQ(GridToBitmapPixel(716346.6, 4914433.5).column, 0);
    GridToMapOrigin(716300.0, 4914433.5, 240, 268, &left, &top);
    EXPECT_EQ(left, INT32_MAX);
    GridToMapOrigin(716400.0, 4914433.5, 240, 268, &left, &top);
    EXPECT_EQ(left, 120 - INT32_MAX + 5);
}
TEST(CourseToArrowTest, SectorTable)
{
    // (0, 45] north, then 1, 2, 3, skipping the south arrow 4, then 5, 6, 7; all else north.
    const std::pair<double, int32_t> rows[] = {
        {0.0, 0}, {1e-9, 0}, {45.0, 0}, {std::nextafter(45.0, 90.0), 1}, {90.0, 1}, {90.001, 2}, {135.0, 2},
        {135.5, 3}, {180.0, 3}, {180.5, 5}, {225.0, 5}, {225.01, 6}, {270.0, 6}, {270.5, 7}, {315.0, 7},
        {315.2, 0}, {360.0, 0}, {360.0001, 0}, {-10.0, 0}, {kNaN, 0}, {-kNaN, 0}, {kInf, 0}, {-kInf, 0}};
    for (auto [course, arrow] : rows) EXPECT_EQ(CourseToArrow(course), arrow) << "course " << course;
}
TEST(FindPointInRangeTest, SquareOfFiftyMetresMarkedPointsLowerIndexFirst)
{
    // The square counts, not the distance; bounds strict; only alert 1 counts.
    const struct { const char* name; double dx, dy; int32_t alert, expected; } rows[] = {
        {"on the position", 0, 0, 1, 0}, {"50.0 m east", 50.0, 0, 1, 999}, {"49.9 m east", 49.9, 0, 1, 0},
        {"50.0 m west", -50.0, 0, 1, 999}, {"49.9 m west", -49.9, 0, 1, 0}, {"50.0 m north", 0, 50.0, 1, 999},
        {"49.9 m south", 0, -49.9, 1, 0}, {"40 m east, 40 m north", 40.0, 40.0, 1, 0},
        {"alert 0", 0, 0, 0, 999}, {"alert 2", 0, 0, 2, 999}, {"NaN point", kNaN, 0, 1, 999}};
    for (const auto& r : rows) {
        PrefPoint one[1] = {{kCx + r.dx, kCy + r.dy, r.alert, u"", u""}};
        EXPECT_EQ(FindPointInRange(kCx, kCy, one, 0), r.expected) << r.name;
    }
    PrefPoint table[kPrefCount] = {{kCx + 500.0, kCy, 1, u"", u""}, {kCx + 10.0, kCy, 0, u"", u""},
                                   {kCx + 20.0, kCy + 20.0, 1, u"", u""}, {kCx - 5.0, kCy, 1, u"", u""}};
    EXPECT_EQ(FindPointInRange(kCx, kCy, table, 3), 2);
    EXPECT_EQ(FindPointInRange(kCx, kCy, table, 1), 999);   // nothing past lastIndex is read
    EXPECT_EQ(FindPointInRange(kCx, kCy, table, -1), 999);  // an empty file
    table[2].alert = 0;
    EXPECT_EQ(FindPointInRange(kCx, kCy, table, 1000), 3);  // cut to the table
}
// The handheld's numbers (245, 240, 180, 230, 22) are the landed painter's constants; the others are
// them scaled by the growth: 1 + 0.5 * (longer side - 480) / 1440, times the ratio.
TEST(ViewRules, OverlayKeepsItsEdgeDistancesAtAnySize)
{
    const struct { const char* name; int32_t w, h; double ratio; int32_t speed, notFixed, arrowLeft, arrowTop, font; } rows[] = {
        {"handheld", 240, 268, 1.0, 245, 240, 180, 230, 22},
        {"short window: nothing lost below", 240, 200, 1.0, 177, 172, 180, 162, 22},
        {"phone portrait 480x800 (growth 1.111)", 480, 800, 1.0, 774, 769, 413, 758, 24},
        {"full HD (growth 1.5)", 1920, 1080, 1.0, 1045, 1038, 1830, 1023, 33},
        {"handheld at ratio 2", 240, 268, 2.0, 222, 212, 120, 192, 44},
        {"a ratio that is not a number counts as 1", 240, 268, NAN, 245, 240, 180, 230, 22}};
    for (const auto& r : rows) {
        const ViewLayout l = LayoutView(r.w, r.h, r.ratio);
        EXPECT_EQ(std::tie(l.speedTop, l.notFixedTop, l.arrowLeft, l.arrowTop, l.fontHeight, l.textLeft),
                  std::make_tuple(r.speed, r.notFixed, r.arrowLeft, r.arrowTop, r.font, 1)) << r.name;
        EXPECT_TRUE(l.arrowLeft + l.arrowSize >= 0 && l.arrowTop + l.arrowSize <= r.h) << r.name;
    }
}
// A 200 x 150 map at one metre a pixel; the position is map pixel (50, 49), the point map pixel (60, 52).
// Expected: the visible window c0 -+ 120 / s, r0 -+ 134 / s rescaled onto the client, and the bitmap's
// corner at the centre minus the pixel times s (rounded).
TEST(ViewRules, ZoomedTransformPutsAMapPixelWhereTheScaleSays)
{
    MapEntry& m = mapTable[currentMap = 0];
    m = MapEntry{};
    m.widthPx = 200, m.heightPx = 150, m.topLeftX = 700000.0, m.topLeftY = 5000150.0;
    m.bottomRightX = 700200.0, m.bottomRightY = 5000000.0;
    const struct { const char* name; double scale; int32_t x, y, left, top; } rows[] = {
        {"1:1, the handheld's", 1.0, 130, 137, 70, 85}, {"4:1: 10 columns are 40 pixels", 4.0, 160, 146, -80, -62},
        {"1:8: 10 columns are 1.25 pixels", 0.125, 121, 134, 114, 128}};
    for (const auto& r : rows) {
        int32_t x = 0, y = 0, left = 0, top = 0;
        GridToScreen(700050.5, 5000100.5, 700060.5, 5000097.5, 240, 268, &x, &y, r.scale);
        GridToMapOrigin(700050.5, 5000100.5, 240, 268, &left, &top, r.scale);
        EXPECT_EQ(std::tie(x, y, left, top), std::tie(r.x, r.y, r.left, r.top)) << r.name;
    }
}
// 0.4 m a pixel, as the demo's finest map: 5 km/h at 10 Hz is 0.139 m a fix.
TEST(ViewRules, PixelsMovedFollowTheMapAndTheZoom)
{
    MapEntry m = {};
    m.widthPx = 1200, m.heightPx = 900, m.topLeftX = 0.0, m.topLeftY = 360.0, m.bottomRightX = 480.0;
    MapEntry flat = m;
    flat.bottomRightX = flat.topLeftX;  // no scale: a metre counts as a pixel
    const struct { const char* name; const MapEntry& map; double de, dn, scale, pixels; } rows[] = {
        {"one fix at walking pace, 1:1", m, 0.139, 0.0, 1.0, 0.3475}, {"three fixes, 1:1", m, 0.0, -0.417, 1.0, 1.0425},
        {"one fix at 4:1", m, 0.139, 0.0, 4.0, 1.39}, {"map without scale", flat, 1.0, 0.5, 1.0, 1.0},
        {"not a number is never ignored", m, NAN, 0.0, 1.0, 1e9}};
    for (const auto& r : rows)
        EXPECT_NEAR(ScreenPixelsMoved(r.map, 100.0, 100.0, 100.0 + r.de, 100.0 + r.dn, r.scale), r.pixels, 1e-9) << r.name;
}
TEST(ViewRules, TrailKeepsTenKilometresOnePointEveryFewMetresItsTextReadsBackSkippingWhatIsNotTwoNumbers)
{
    const struct { const char* name; double step; int points; int32_t count; double firstEasting; } rows[] = {
        {"steps under the spacing are skipped", 1.0, 100, 34, 0.0},  // 1 m steps: 0, 3, 6 ... 99 m
        {"12 km in 5 m steps: the oldest 2 km go", 5.0, 2401, 2001, 2000.0},
        {"a long walk at the spacing stays inside the ring", 2.5, 8000, 4001, 10000.0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        ClearTrail();
        for (int i = 0; i < r.points; ++i) AddTrailPoint(500000.0 + i * r.step, 4900000.0);
        EXPECT_NEAR(trail.count, r.count, 1);  // the summed length may round either way at 10 km
        EXPECT_NEAR(TrailPointAt(0).easting - 500000.0, r.firstEasting, r.step);
        EXPECT_LE(trail.length, kTrailLength + r.step);
    }
    EXPECT_EQ(AddTrailPoint(NAN, 0.0), 0);
    EXPECT_EQ(AddTrailPoint(1e300, 0.0), 0);
    // The file's text reads back, skipping what is not two numbers.
    const struct { const char* name; const char16_t* text; int32_t read; double lastNorthing; } texts[] = {
        {"two points", u"716500.00 4914200.00\n716510.00 4914200.50\n", 2, 4914200.5},
        {"carriage returns and no final newline", u"1.5 2.5\r\n-10 -20", 2, -20.0},
        {"decimal comma, words, exponent, one number, empty: skipped", u"1,5 2\nabc def\n1e5 3\n42\n\n7 8\n", 1, 8.0},
        {"a second point too close to the first", u"0 0\n1 1\n", 1, 0.0}};
    for (const auto& r : texts) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ParseTrailText(r.text), r.read);
        ASSERT_EQ(trail.count, r.read);
        EXPECT_DOUBLE_EQ(TrailPointAt(trail.count - 1).northing, r.lastNorthing);
        const std::u16string again = TrailText();
        EXPECT_EQ(ParseTrailText(again), r.read);
        EXPECT_EQ(TrailText(), again);
    }
}
// The demo's first fix (44°20.924' N, 11°43.050' E): the grid's north lies 1.90° west of true north
// there (convergence atan(tan(2.7175°) sin(44.349°))), so a point due grid north bears 2° true and one
// due grid east 92°.
TEST(ViewRules, TargetLineGivesNameDistanceAndTrueBearing)
{
    GpsState g = {};
    g.latitude = 44.348733, g.longitude = 11.7175, g.latHemisphere = u'N', g.lonHemisphere = u'E';
    g.gridEasting = 716500.0, g.gridNorthing = 4914000.0;
    GpsState unknown = g;
    unknown.latitude = unknown.longitude = 0.0;  // no fix yet: the grid's own bearing
    const struct { const char* name; const GpsState& at; double de, dn; const char* text; } rows[] = {
        {"340 m grid north", g, 0.0, 340.0, "Rocca  340 m  2\xC2\xB0"},
        {"1.5 km grid east", g, 1500.0, 0.0, "Rocca  1.5 km  92\xC2\xB0"},
        {"999.4 m stays in metres", g, 0.0, -999.4, "Rocca  999 m  182\xC2\xB0"},
        {"999.6 m is 1.0 km", g, 0.0, -999.6, "Rocca  1.0 km  182\xC2\xB0"},
        {"no latitude yet: grid bearing", unknown, -100.0, 0.0, "Rocca  100 m  270\xC2\xB0"},
        {"on the point", unknown, 0.0, 0.0, "Rocca  0 m  0\xC2\xB0"}};
    for (const auto& r : rows) {
        char16_t out[96];
        FormatTargetLine(r.at, r.at.gridEasting + r.de, r.at.gridNorthing + r.dn, u"Rocca", out, 96);
        EXPECT_EQ(TextToUtf8(out), r.text) << r.name;
    }
}
}  // namespace
