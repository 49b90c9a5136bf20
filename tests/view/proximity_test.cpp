// The proximity decision: a square of 50 m half side with strict bounds, marked
// points only (alert exactly 1), the lower index first, nothing beyond lastIndex.
#include <gtest/gtest.h>

#include <cmath>

#include "store/prefs.h"
#include "view/proximity.h"

namespace {

constexpr double kE = 716804.25;   // a position on the default map
constexpr double kN = 4914156.35;

PrefPoint Marked(double x, double y, int32_t alert = 1)
{
    PrefPoint p = {};
    p.x = x;
    p.y = y;
    p.alert = alert;
    return p;
}

struct OnePointRow {
    const char* name;
    double dx, dy;    // point minus position, metres
    int32_t alert;
    int32_t expected;
};

// Rows from the alert's definition: the square counts, not the distance.
const OnePointRow kOnePointRows[] = {
    {"on the position", 0, 0, 1, 0},
    {"50.0 m east is out", 50.0, 0, 1, 999},
    {"49.9 m east is in", 49.9, 0, 1, 0},
    {"50.0 m west is out", -50.0, 0, 1, 999},
    {"49.9 m west is in", -49.9, 0, 1, 0},
    {"50.0 m north is out", 0, 50.0, 1, 999},
    {"50.0 m south is out", 0, -50.0, 1, 999},
    {"49.9 m south is in", 0, -49.9, 1, 0},
    {"40 m east and 40 m north (56.6 m) is in", 40.0, 40.0, 1, 0},
    {"49 m each way, corner of the square", -49.0, -49.0, 1, 0},
    {"east in but 60 m north", 10.0, 60.0, 1, 999},
    {"alert 0 never counts", 0, 0, 0, 999},
    {"alert 2 never counts", 0, 0, 2, 999},
    {"alert -1 never counts", 0, 0, -1, 999},
};

TEST(FindPointInRangeTest, SinglePoint)
{
    for (const OnePointRow& r : kOnePointRows) {
        SCOPED_TRACE(r.name);
        // The point lies exactly at position + offset, as the reference cases put it
        // (x = gridEasting + 50.0).
        PrefPoint table[1] = {Marked(kE + r.dx, kN + r.dy, r.alert)};
        EXPECT_EQ(FindPointInRange(kE, kN, table, 0), r.expected);
    }
}

TEST(FindPointInRangeTest, LowerIndexWinsAmongPointsInRange)
{
    PrefPoint table[kPrefCount] = {};
    table[0] = Marked(kE + 500.0, kN);          // far away
    table[1] = Marked(kE + 10.0, kN - 10.0, 0); // near but not marked
    table[2] = Marked(kE + 20.0, kN + 20.0);    // near and marked
    table[3] = Marked(kE - 5.0, kN);            // nearer, but later in the table
    EXPECT_EQ(FindPointInRange(kE, kN, table, 3), 2);
    // The higher one alone in range: it is reported.
    table[2].alert = 0;
    EXPECT_EQ(FindPointInRange(kE, kN, table, 3), 3);
    // The last point of the table takes part like the others.
    table[3].alert = 0;
    table[9] = Marked(kE, kN);
    EXPECT_EQ(FindPointInRange(kE, kN, table, 9), 9);
}

TEST(FindPointInRangeTest, OnlyEntriesUpToLastIndex)
{
    PrefPoint table[kPrefCount] = {};
    table[4] = Marked(kE, kN);  // left over from a longer file read earlier
    EXPECT_EQ(FindPointInRange(kE, kN, table, 3), 999);
    EXPECT_EQ(FindPointInRange(kE, kN, table, 4), 4);
    // An empty file: lastPrefIndex -1 examines nothing, every time.
    table[0] = Marked(kE, kN);
    for (int call = 0; call < 3; ++call) EXPECT_EQ(FindPointInRange(kE, kN, table, -1), 999);
    // A single point file (lastIndex 0) returns 0 while in range.
    EXPECT_EQ(FindPointInRange(kE, kN, table, 0), 0);
    // An index beyond the table is cut to it, never read past it.
    table[0].alert = 0;
    table[4].alert = 0;
    EXPECT_EQ(FindPointInRange(kE, kN, table, 1000), 999);
}

TEST(FindPointInRangeTest, NotANumberIsNeverInRange)
{
    PrefPoint table[2] = {Marked(NAN, kN), Marked(kE, NAN)};
    EXPECT_EQ(FindPointInRange(kE, kN, table, 1), 999);
    table[0] = Marked(kE, kN);
    EXPECT_EQ(FindPointInRange(NAN, kN, table, 1), 999);
}

}  // namespace
