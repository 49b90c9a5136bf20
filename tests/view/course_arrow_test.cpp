// CourseToArrow over every sector, both bounds of each, and the values outside:
// sectors open below and closed above, anything else (NaN included) north.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "view/view.h"

namespace {

struct CourseRow {
    double course;
    int32_t arrow;
};

// The sector table: more than 0 up to 45 north (0), then 1, 2, 3, skipping the
// south arrow 4, then 5, 6, 7, and more than 315 up to 360 north again.
const CourseRow kCourseRows[] = {
    {0.0, 0},     {1e-9, 0},   {45.0, 0},   {45.1, 1},  {90.0, 1},
    {90.001, 2},  {135.0, 2},  {135.5, 3},  {180.0, 3}, {180.5, 5},
    {225.0, 5},   {225.01, 6}, {270.0, 6},  {270.5, 7}, {315.0, 7},
    {315.2, 0},   {360.0, 0},  {360.0001, 0}, {400.0, 0}, {-10.0, 0},
    {-0.0, 0},    {std::nextafter(45.0, 90.0), 1}, {std::nextafter(180.0, 0.0), 3},
};

TEST(CourseToArrowTest, SectorTable)
{
    for (const CourseRow& r : kCourseRows) {
        EXPECT_EQ(CourseToArrow(r.course), r.arrow) << "course " << r.course;
    }
}

TEST(CourseToArrowTest, NotANumberAndInfinitiesPointNorth)
{
    EXPECT_EQ(CourseToArrow(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(CourseToArrow(-std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(CourseToArrow(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(CourseToArrow(-std::numeric_limits<double>::infinity()), 0);
}

TEST(CourseToArrowTest, WholeCircleNeverGivesTheSouthArrow)
{
    // Every tenth of a degree from -5 to 365: in range 0..7, never 4, and the
    // index changes only at the eight sector bounds.
    int changes = 0;
    int32_t previous = CourseToArrow(-5.0);
    for (int tenth = -50; tenth <= 3650; ++tenth) {
        const int32_t a = CourseToArrow(tenth / 10.0);
        ASSERT_GE(a, 0);
        ASSERT_LE(a, 7);
        ASSERT_NE(a, 4);
        if (a != previous) ++changes;
        previous = a;
    }
    // 0 -> 1 -> 2 -> 3 -> 5 -> 6 -> 7 -> 0: six changes inside, 315 -> 0 one more
    // (north to north at 0 and 360 is no change).
    EXPECT_EQ(changes, 7);
}

}  // namespace
