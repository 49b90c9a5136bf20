// Conversion tests: DmsToDegrees, LatLonToUtm, LatLonToGrid and HalfLogRatio
// against the worked examples and reference tables the conversions were built to,
// to a tenth of a millimetre (DmsToDegrees exactly), plus out-of-range inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geo/geo.h"

namespace {

constexpr double kMetreTolerance = 0.0005;  // half a millimetre: reference values carry 3 decimals

struct DmsRow {
    const char* name;
    double degrees, minutes, seconds;
    double expected;  // compared exactly
};

// Provenance: the worked example of the first canned sentence ("4420.924",
// "01143.050") and the two reference cases of the DMS conversion.
const DmsRow kDmsRows[] = {
    {"latitude of canned sentence 1", 44, 20.924, 0, 44.348733333333335},
    {"longitude of canned sentence 1", 11, 43.050, 0, 11.7175},
    {"longitude of canned sentence 2", 11, 43.038, 0, 11.7173},
    {"longitude of canned sentence 3", 11, 43.010, 0, 11.716833333333334},
    {"longitude of canned sentence 4", 11, 43.005, 0, 11.71675},
    {"longitude of canned sentence 5", 11, 43.000, 0, 11.716666666666667},
    {"minutes added to a negative degree value", -9, 30, 0, -8.5},
    {"seconds enter through 1/60 twice", 12, 30, 30, 12.508333333333333},
};

TEST(DmsToDegrees, ReferenceValuesExactly)
{
    for (const DmsRow& r : kDmsRows)
        EXPECT_EQ(DmsToDegrees(r.degrees, r.minutes, r.seconds), r.expected) << r.name;
}

struct UtmRow {
    const char* name;
    double latitude, longitude;
    int32_t zone;
    double easting, northing;
};

// Provenance: the UTM worked example, the table of the five canned sentences
// (latitude field "4420.924") and the table of further cases.
const UtmRow kUtmRows[] = {
    {"canned 1, 01143.050", 44.348733333333335, 11.7175, 32, 716594.899, 4914197.933},
    {"canned 2, 01143.038", 44.348733333333335, 11.7173, 32, 716578.958, 4914197.404},
    {"canned 3, 01143.010", 44.348733333333335, 11.716833333333334, 32, 716541.762, 4914196.170},
    {"canned 4, 01143.005", 44.348733333333335, 11.71675, 32, 716535.120, 4914195.950},
    {"canned 5, 01143.000", 44.348733333333335, 11.716666666666667, 32, 716528.478, 4914195.730},
    {"London, west of Greenwich", 51.5, -0.5, 30, 673519.508, 5708391.461},
    {"Cape Town, no false northing", -33.9, 18.4, 34, 259583.252, -3754111.171},
    {"equator on a central meridian", 0.0, 3.0, 31, 500000.000, 0.000},
    {"zone boundary 12 E belongs to zone 33", 45.0, 12.0, 33, 263553.985, 4987328.463},
    {"-180 is zone 1", 45.0, -180.0, 1, 263553.985, 4987328.463},
    {"last zone", 60.0, 179.5, 60, 639422.112, 6654044.634},
};

TEST(LatLonToUtm, ReferenceTables)
{
    for (const UtmRow& r : kUtmRows) {
        double easting = 0, northing = 0;
        const int32_t zone = LatLonToUtm(r.latitude, r.longitude, &easting, &northing);
        EXPECT_EQ(zone, r.zone) << r.name;
        EXPECT_NEAR(easting, r.easting, kMetreTolerance) << r.name;
        EXPECT_NEAR(northing, r.northing, kMetreTolerance) << r.name;
    }
}

// Mended fault: at 180 the zone came from the normalised longitude (-180, zone 1)
// while the longitude difference used 180 itself, 357 degrees from zone 1's
// meridian. Both now use the normalised value, so 180 gives the -180 result; the
// same holds for the last double below 180, whose sum with 180 rounds to 360.
TEST(LatLonToUtm, OneEightyEqualsMinusOneEighty)
{
    const double longitudes[] = {180.0, std::nextafter(180.0, 0.0), 540.0};
    for (double longitude : longitudes) {
        for (double latitude : {0.0, 45.0, -33.9, 60.0}) {
            double e1 = 0, n1 = 0, e2 = 0, n2 = 0;
            const int32_t z1 = LatLonToUtm(latitude, longitude, &e1, &n1);
            const int32_t z2 = LatLonToUtm(latitude, -180.0, &e2, &n2);
            EXPECT_EQ(z1, 1) << longitude;
            EXPECT_EQ(z1, z2) << longitude;
            EXPECT_NEAR(e1, e2, 1e-6) << latitude << " " << longitude;
            EXPECT_NEAR(n1, n2, 1e-6) << latitude << " " << longitude;
        }
    }
    // 180 + 6n behaves like -180 + 6n a full turn later.
    double e1 = 0, n1 = 0, e2 = 0, n2 = 0;
    EXPECT_EQ(LatLonToUtm(45.0, 192.0, &e1, &n1), LatLonToUtm(45.0, -168.0, &e2, &n2));
    EXPECT_NEAR(e1, e2, 1e-6);
    EXPECT_NEAR(n1, n2, 1e-6);
}

// Zones step at every -180 + 6n: the boundary belongs to the zone to its east.
TEST(LatLonToUtm, ZoneOfEveryBoundary)
{
    for (int n = 0; n < 60; ++n) {
        double e = 0, nn = 0;
        const double boundary = -180.0 + 6.0 * n;
        EXPECT_EQ(LatLonToUtm(10.0, boundary, &e, &nn), n + 1) << boundary;
        if (n > 0) {
            EXPECT_EQ(LatLonToUtm(10.0, boundary - 1e-9, &e, &nn), n) << boundary;
        }
    }
}

// Outside the series' range the arithmetic just runs; it must not trap or
// overflow an integer (a NaN or infinite longitude saturates the zone).
TEST(LatLonToUtm, NonFiniteInputsGiveSomeAnswer)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inputs[][2] = {{nan, 10}, {10, nan}, {10, inf}, {10, -inf}, {inf, 10}, {1e300, 1e300},
                                {10, -1e300}, {90, 0}, {-90, 0}, {10, -1000}};
    for (const auto& in : inputs) {
        double e = 0, n = 0;
        (void)LatLonToUtm(in[0], in[1], &e, &n);
        double gn = 0, ge = 0;
        LatLonToGrid(in[0], in[1], &gn, &ge);
    }
    double e = 0, n = 0;
    // Exactly 90: the stored radian factor is a little under pi/180, so the tangent
    // stays finite.
    LatLonToUtm(90.0, 9.0, &e, &n);
    EXPECT_TRUE(std::isfinite(n));
}

struct GridRow {
    const char* name;
    double latitude, longitude;
    double northing, easting;
};

// Provenance: the plane-grid worked example, its table of the five canned
// sentences, and its table of further cases.
const GridRow kGridRows[] = {
    {"canned 1, 01143.050", 44.348733333333335, 11.7175, 4914197.915, 716594.898},
    {"canned 2, 01143.038", 44.348733333333335, 11.7173, 4914197.386, 716578.957},
    {"canned 3, 01143.010", 44.348733333333335, 11.716833333333334, 4914196.153, 716541.762},
    {"canned 4, 01143.005", 44.348733333333335, 11.71675, 4914195.932, 716535.119},
    {"canned 5, 01143.000", 44.348733333333335, 11.716666666666667, 4914195.712, 716528.477},
    {"on the central meridian", 45.0, 9.0, 4982949.346, 500000.000},
    {"equator on the central meridian", 0.0, 9.0, 0.000, 500000.000},
    {"west of the meridian", 45.0, 7.5, 4984043.744, 381777.040},
    {"in UTM zone 33, no zone change", 46.5, 12.0, 5153975.595, 730190.266},
    {"southern, no false northing", -33.9, 18.4, -3791112.453, 1370563.534},
};

TEST(LatLonToGrid, ReferenceTablesNorthingFirst)
{
    for (const GridRow& r : kGridRows) {
        double first = 0, second = 0;
        LatLonToGrid(r.latitude, r.longitude, &first, &second);
        EXPECT_NEAR(first, r.northing, kMetreTolerance) << r.name << " (first output is the northing)";
        EXPECT_NEAR(second, r.easting, kMetreTolerance) << r.name << " (second output is the easting)";
    }
}

// The five canned positions lie inside the default map (716346.6..717261.9 east,
// 4913879.2..4914433.5 north), and grid and UTM agree to a few centimetres in zone 32.
TEST(LatLonToGrid, CannedPositionsInsideDefaultMapAndNearUtm)
{
    for (int i = 0; i < 5; ++i) {
        const GridRow& g = kGridRows[i];
        double n = 0, e = 0;
        LatLonToGrid(g.latitude, g.longitude, &n, &e);
        EXPECT_GT(e, 716346.6);
        EXPECT_LT(e, 717261.9);
        EXPECT_GT(n, 4913879.2);
        EXPECT_LT(n, 4914433.5);
        double ue = 0, un = 0;
        LatLonToUtm(g.latitude, g.longitude, &ue, &un);
        EXPECT_NEAR(ue, e, 0.03);
        EXPECT_NEAR(un, n, 0.03);
    }
}

struct RatioRow {
    const char* name;
    double x;
    double expected;
};

// Provenance: the reference values of HalfLogRatio; atanh(0.5) = 0.5493061443340549.
const RatioRow kRatioRows[] = {
    {"zero", 0.0, 0.0},
    {"one half", 0.5, 0.5493061443340549},
    {"minus one half keeps the sign", -0.5, -0.5493061443340549},
    {"two: x and 1/x agree through the absolute value", 2.0, 0.5493061443340549},
    {"worked example's A", 0.03390391771110396, 0.03391691725367007},
};

TEST(HalfLogRatio, ReferenceValues)
{
    for (const RatioRow& r : kRatioRows) EXPECT_NEAR(HalfLogRatio(r.x), r.expected, 1e-15) << r.name;
    EXPECT_TRUE(std::isinf(HalfLogRatio(1.0)));  // the pole: no trap
}

}  // namespace
