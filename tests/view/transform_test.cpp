// Map placement: the reference values of the default map (741 x 498 pixels,
// 716346.6 / 4914433.5 to 717261.9 / 4913879.2) on a 240 x 268 client, the
// truncation cases, and maps whose edges coincide.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "store/maps.h"
#include "view/transform.h"

namespace {

constexpr int32_t kW = 240;
constexpr int32_t kH = 268;
constexpr double kCentreX = 716804.25;   // the middle of the default map
constexpr double kCentreY = 4914156.35;

class TransformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        currentMap = 0;
        FillDefaultMapEntry(0);
    }
};

struct PixelRow {
    const char* name;
    double easting, northing;
    int32_t column, row;      // GridToBitmapPixel
    int32_t left, top;        // GridToMapOrigin, 240 x 268, no calibration
};

// Reference values of the default map, worked by hand from the edges; the middle
// is 370.5 columns and just over 249 rows before truncation.
const PixelRow kPixelRows[] = {
    {"top-left corner", 716346.6, 4914433.5, 0, 0, 120, 134},
    {"bottom-right corner", 717261.9, 4913879.2, 741, 498, -621, -364},
    {"exact middle", kCentreX, kCentreY, 370, 249, -250, -115},
    // West and north of the map: -37.4 and -59.6 truncate toward zero, not down.
    {"west and north outside", 716300.0, 4914500.0, -37, -59, 157, 193},
};

TEST_F(TransformTest, DefaultMapReferenceValues)
{
    for (const PixelRow& r : kPixelRows) {
        SCOPED_TRACE(r.name);
        const BitmapPixel p = GridToBitmapPixel(r.easting, r.northing);
        EXPECT_EQ(p.column, r.column);
        EXPECT_EQ(p.row, r.row);
        int32_t left = 12345, top = 12345;
        EXPECT_EQ(GridToMapOrigin(r.easting, r.northing, kW, kH, &left, &top), 0);
        EXPECT_EQ(left, r.left);
        EXPECT_EQ(top, r.top);
    }
}

TEST_F(TransformTest, CalibrationShiftMovesTheOrigin)
{
    // Reference: the middle with calibX 5 and calibY -3 gives (-255, -112).
    mapTable[0].calibX = 5;
    mapTable[0].calibY = -3;
    int32_t left = 0, top = 0;
    GridToMapOrigin(kCentreX, kCentreY, kW, kH, &left, &top);
    EXPECT_EQ(left, -255);
    EXPECT_EQ(top, -112);
    // The pixel itself does not move with the calibration.
    const BitmapPixel p = GridToBitmapPixel(kCentreX, kCentreY);
    EXPECT_EQ(p.column, 370);
    EXPECT_EQ(p.row, 249);
}

TEST_F(TransformTest, TheCurrentMapIsReadOnEveryCall)
{
    // A second map, twice the scale of the default one: the same point lands on
    // twice the pixel as soon as it becomes current.
    FillDefaultMapEntry(1);
    mapTable[1].widthPx = 1482;
    mapTable[1].heightPx = 996;
    currentMap = 1;
    BitmapPixel p = GridToBitmapPixel(kCentreX, kCentreY);
    EXPECT_EQ(p.column, 741);   // 0.5 * 1482
    EXPECT_EQ(p.row, 498);      // 996 - 0.49999.. * 996 = 498.0000.., truncated
    currentMap = 0;
    p = GridToBitmapPixel(kCentreX, kCentreY);
    EXPECT_EQ(p.column, 370);
    // An index outside the table falls back to entry 0.
    currentMap = 7;
    p = GridToBitmapPixel(kCentreX, kCentreY);
    EXPECT_EQ(p.column, 370);
}

struct ScreenRow {
    const char* name;
    double easting, northing;
    int32_t x, y;
};

// Centre (716804.25, 4914156.35) on 240 x 268. The 100 m points: 80.9 columns and
// 89.8 rows per 100 m on this map, so (370 + 80, 249 - 89) and (370 - 80, 249 + 90).
const ScreenRow kScreenRows[] = {
    {"the centre itself", kCentreX, kCentreY, 120, 134},
    {"100 m east and north", 716904.25, 4914256.35, 201, 44},
    {"100 m west and south", 716704.25, 4914056.35, 39, 223},
};

TEST_F(TransformTest, GridToScreenReferenceValues)
{
    for (int calibrated = 0; calibrated < 2; ++calibrated) {
        mapTable[0].calibX = calibrated ? 17 : 0;   // no calibration enters GridToScreen
        mapTable[0].calibY = calibrated ? -9 : 0;
        for (const ScreenRow& r : kScreenRows) {
            SCOPED_TRACE(r.name);
            int32_t x = 0, y = 0;
            EXPECT_EQ(GridToScreen(kCentreX, kCentreY, r.easting, r.northing, kW, kH, &x, &y), 0);
            EXPECT_EQ(x, r.x);
            EXPECT_EQ(y, r.y);
        }
    }
}

// Finds an easting whose column is the centre's column plus offset (by stepping
// a tenth of a pixel at a time), so that the tests below exercise exact pixel
// differences rather than metre values.
double EastingAtColumnOffset(int32_t offset)
{
    const int32_t c0 = GridToBitmapPixel(kCentreX, kCentreY).column;
    const double metresPerColumn = (717261.9 - 716346.6) / 741.0;
    for (double e = kCentreX + (offset - 1) * metresPerColumn;; e += metresPerColumn / 10.0) {
        if (GridToBitmapPixel(e, kCentreY).column == c0 + offset) return e;
    }
}

double NorthingAtRowOffset(int32_t offset)
{
    const int32_t r0 = GridToBitmapPixel(kCentreX, kCentreY).row;
    const double metresPerRow = (4914433.5 - 4913879.2) / 498.0;
    for (double n = kCentreY - (offset - 1) * metresPerRow;; n -= metresPerRow / 10.0) {
        if (GridToBitmapPixel(kCentreX, n).row == r0 + offset) return n;
    }
}

TEST_F(TransformTest, QuotientThenProductTruncatesBelowTheShortcut)
{
    // Reference: 3 columns right of the centre on a width of 240 gives 122, not
    // 123, because (123 / 240) * 240 is just under 123 in double arithmetic.
    ASSERT_LT((123.0 / 240.0) * 240.0, 123.0);
    int32_t x = 0, y = 0;
    GridToScreen(kCentreX, kCentreY, EastingAtColumnOffset(3), kCentreY, kW, kH, &x, &y);
    EXPECT_EQ(x, 122);
    EXPECT_EQ(y, 134);
    // 105 rows above the centre on a height of 268: 28, not 29.
    ASSERT_LT((29.0 / 268.0) * 268.0, 29.0);
    GridToScreen(kCentreX, kCentreY, kCentreX, NorthingAtRowOffset(-105), kW, kH, &x, &y);
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, 28);
    // Where the double arithmetic is exact the shortcut holds: 4 columns right.
    GridToScreen(kCentreX, kCentreY, EastingAtColumnOffset(4), kCentreY, kW, kH, &x, &y);
    EXPECT_EQ(x, 124);
}

TEST_F(TransformTest, OddClientSizeStretchesTheOffset)
{
    // Width 241: the visible window is 240 columns wide and is rescaled onto 241,
    // so 100 columns right of the centre lands at (220 / 240) * 241 = 220.9 -> 220.
    int32_t x = 0, y = 0;
    GridToScreen(kCentreX, kCentreY, EastingAtColumnOffset(100), kCentreY, 241, kH, &x, &y);
    EXPECT_EQ(x, 220);
    // 100 columns left: (20 / 240) * 241 = 20.08 -> 20.
    GridToScreen(kCentreX, kCentreY, EastingAtColumnOffset(-100), kCentreY, 241, kH, &x, &y);
    EXPECT_EQ(x, 20);
}

struct DegenerateRow {
    const char* name;
    double left, top, right, bottom;
    int drawable;
};

const DegenerateRow kDegenerateRows[] = {
    {"default edges", 716346.6, 4914433.5, 717261.9, 4913879.2, 1},
    {"mirrored edges still have a scale", 717261.9, 4913879.2, 716346.6, 4914433.5, 1},
    {"equal eastings", 716346.6, 4914433.5, 716346.6, 4913879.2, 0},
    {"equal northings", 716346.6, 4914433.5, 717261.9, 4914433.5, 0},
    {"all edges zero (an empty catalogue record)", 0, 0, 0, 0, 0},
    {"infinite edge", 716346.6, 4914433.5, std::numeric_limits<double>::infinity(), 4913879.2, 0},
    {"NaN edge", 716346.6, std::numeric_limits<double>::quiet_NaN(), 717261.9, 4913879.2, 0},
};

TEST_F(TransformTest, MapsWithoutScaleAreNotDrawableAndSaturate)
{
    for (const DegenerateRow& r : kDegenerateRows) {
        SCOPED_TRACE(r.name);
        MapEntry& m = mapTable[0];
        m.topLeftX = r.left;
        m.topLeftY = r.top;
        m.bottomRightX = r.right;
        m.bottomRightY = r.bottom;
        EXPECT_EQ(MapIsDrawable(m), r.drawable);
        // Whatever the edges, the transform answers with defined values (the run
        // under UBSan would stop here otherwise) and the client arithmetic stays
        // in range.
        for (double e : {716000.0, 716346.6, 717000.0}) {
            int32_t left = 0, top = 0, x = 0, y = 0;
            GridToMapOrigin(e, 4914000.0, kW, kH, &left, &top);
            GridToScreen(e, 4914000.0, e + 30.0, 4914000.0 - 30.0, kW, kH, &x, &y);
        }
    }
    // Equal eastings: a point east of the edge is +infinity columns away and
    // saturates; the origin subtracts it without overflowing.
    mapTable[0].topLeftX = mapTable[0].bottomRightX = 716346.6;
    EXPECT_EQ(GridToBitmapPixel(716400.0, 4914433.5).column, INT32_MAX);
    EXPECT_EQ(GridToBitmapPixel(716300.0, 4914433.5).column, INT32_MIN);
    EXPECT_EQ(GridToBitmapPixel(716346.6, 4914433.5).column, 0);  // 0 / 0
    mapTable[0].calibX = -5;
    int32_t left = 0, top = 0;
    GridToMapOrigin(716300.0, 4914433.5, kW, kH, &left, &top);
    EXPECT_EQ(left, INT32_MAX);
    GridToMapOrigin(716400.0, 4914433.5, kW, kH, &left, &top);
    EXPECT_EQ(left, 120 - INT32_MAX + 5);
}

TEST_F(TransformTest, ZeroAndOneWideClients)
{
    // A minimised window: the visible window has no width, the results saturate
    // or are 0 but never undefined.
    int32_t x = -1, y = -1;
    GridToScreen(kCentreX, kCentreY, kCentreX, kCentreY, 0, 0, &x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    GridToScreen(kCentreX, kCentreY, 716904.25, 4914056.35, 1, 1, &x, &y);
    EXPECT_EQ(x, INT32_MAX);
    EXPECT_EQ(y, INT32_MAX);
}

}  // namespace
