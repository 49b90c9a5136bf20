// The view's arithmetic without a window: map placement, arrow choice, proximity decision, on the
// default map (741 x 498 pixels, 716346.6 / 4914433.5 to 717261.9 / 4913879.2) and a 240 x 268 client.
#include <gtest/gtest.h>
#include <cmath>
#include "view/proximity.h"
#include "view/transform.h"
#include "view/view.h"

namespace {
constexpr double kCx = 716804.25, kCy = 4914156.35, kInf = INFINITY, kNaN = NAN;  // (kCx, kCy): pixel (370, 249)
// The grid point in the middle of pixel (column, row), so that truncation picks exactly that pixel.
double EastingOf(int32_t column) { return 716346.6 + (column + 0.5) / 741.0 * (717261.9 - 716346.6); }
double NorthingOf(int32_t row) { return 4913879.2 + (497.5 - row) / 498.0 * (4914433.5 - 4913879.2); }
struct TransformTest : ::testing::Test {
    void SetUp() override { currentMap = 0, FillDefaultMapEntry(0); }
};

TEST_F(TransformTest, BitmapPixelOriginAndScreen)
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
}
TEST_F(TransformTest, MapsWithoutScaleAreNotDrawableAndSaturate)
{
    const struct { const char* name; double left, top, right, bottom; int drawable; } rows[] = {
        {"default", 716346.6, 4914433.5, 717261.9, 4913879.2, 1}, {"mirrored", 717261.9, 4913879.2, 716346.6, 4914433.5, 1},
        {"equal eastings", 716346.6, 4914433.5, 716346.6, 4913879.2, 0}, {"all zero", 0, 0, 0, 0, 0},
        {"equal northings", 716346.6, 4914433.5, 717261.9, 4914433.5, 0}, {"NaN", 716346.6, kNaN, 717261.9, 4913879.2, 0},
        {"infinite", 716346.6, 4914433.5, kInf, 4913879.2, 0}};
    MapEntry& m = mapTable[0];
    int32_t left = 0, top = 0, x, y;
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
}  // namespace
