// Conversions against the worked examples and reference tables they were built to: DmsToDegrees
// exactly, UTM and the plane grid to half a millimetre, HalfLogRatio to 1e-15; zone boundaries.
#include <gtest/gtest.h>
#include <cmath>
#include "geo/geo.h"

namespace {
constexpr double kMetre = 0.0005;  // reference values carry 3 decimals
constexpr double kLat1 = 44.348733333333335;  // latitude "4420.924" of every canned sentence

// Provenance: the canned sentences' fields ("4420.924", "01143.050" ...) and the two DMS cases.
TEST(DmsToDegrees, ReferenceValuesExactly)
{
    const struct { double d, m, s, expected; } rows[] = {
        {44, 20.924, 0, kLat1}, {11, 43.050, 0, 11.7175}, {11, 43.038, 0, 11.7173}, {11, 43.010, 0, 11.716833333333334},
        {11, 43.005, 0, 11.71675}, {11, 43.000, 0, 11.716666666666667}, {-9, 30, 0, -8.5}, {12, 30, 30, 12.508333333333333}};
    for (const auto& r : rows) EXPECT_EQ(DmsToDegrees(r.d, r.m, r.s), r.expected) << r.d << " " << r.m << " " << r.s;
}
// Provenance: the UTM worked example, its table of the five canned sentences, and the further cases
// (London west of Greenwich; no false northing in the south; 12 E and -180 open their zones).
TEST(LatLonToUtm, ReferenceTables)
{
    const struct { const char* name; double lat, lon; int32_t zone; double e, n; } rows[] = {
        {"canned 1", kLat1, 11.7175, 32, 716594.899, 4914197.933}, {"canned 2", kLat1, 11.7173, 32, 716578.958, 4914197.404},
        {"canned 3", kLat1, 11.716833333333334, 32, 716541.762, 4914196.170}, {"canned 4", kLat1, 11.71675, 32, 716535.120, 4914195.950},
        {"canned 5", kLat1, 11.716666666666667, 32, 716528.478, 4914195.730}, {"London", 51.5, -0.5, 30, 673519.508, 5708391.461},
        {"Cape Town, south", -33.9, 18.4, 34, 259583.252, -3754111.171}, {"equator", 0.0, 3.0, 31, 500000.000, 0.000},
        {"12 E is zone 33", 45.0, 12.0, 33, 263553.985, 4987328.463}, {"-180 is zone 1", 45.0, -180.0, 1, 263553.985, 4987328.463},
        {"last zone", 60.0, 179.5, 60, 639422.112, 6654044.634}};
    for (const auto& r : rows) {
        double e = 0, n = 0;
        EXPECT_EQ(LatLonToUtm(r.lat, r.lon, &e, &n), r.zone) << r.name;
        EXPECT_TRUE(std::fabs(e - r.e) <= kMetre && std::fabs(n - r.n) <= kMetre) << r.name << ": " << e << " " << n;
    }
}
// Mended fault: at 180 the zone was 1 but the longitude difference used 180 itself. Also the last
// double below 180, 540, and 192 against -168; every zone boundary belongs to the zone to its east.
TEST(LatLonToUtm, OneEightyAndZoneBoundaries)
{
    double e1 = 0, n1 = 0, e2 = 0, n2 = 0;
    for (const double lon : {180.0, std::nextafter(180.0, 0.0), 540.0, 192.0})
        for (double lat : {0.0, 45.0, -33.9}) {
            EXPECT_EQ(LatLonToUtm(lat, lon, &e1, &n1), LatLonToUtm(lat, lon == 192.0 ? -168.0 : -180.0, &e2, &n2)) << lon;
            EXPECT_TRUE(std::fabs(e1 - e2) <= 1e-6 && std::fabs(n1 - n2) <= 1e-6) << lat << " " << lon;
        }
    for (int z = 1; z < 60; ++z)
        EXPECT_EQ(LatLonToUtm(10.0, -180.0 + 6.0 * z, &e1, &n1) - 1, LatLonToUtm(10.0, -180.0 + 6.0 * z - 1e-9, &e1, &n1));
}
// Provenance: the plane-grid worked example, its table of the canned sentences, and further cases.
// The first output is the northing.
TEST(LatLonToGrid, ReferenceTablesNorthingFirst)
{
    const struct { const char* name; double lat, lon, n, e; } rows[] = {
        {"canned 1", kLat1, 11.7175, 4914197.915, 716594.898}, {"canned 2", kLat1, 11.7173, 4914197.386, 716578.957},
        {"canned 3", kLat1, 11.716833333333334, 4914196.153, 716541.762}, {"canned 4", kLat1, 11.71675, 4914195.932, 716535.119},
        {"canned 5", kLat1, 11.716666666666667, 4914195.712, 716528.477}, {"on the meridian", 45.0, 9.0, 4982949.346, 500000.000},
        {"equator", 0.0, 9.0, 0.000, 500000.000}, {"west of the meridian", 45.0, 7.5, 4984043.744, 381777.040},
        {"in UTM zone 33", 46.5, 12.0, 5153975.595, 730190.266}, {"south", -33.9, 18.4, -3791112.453, 1370563.534}};
    for (const auto& r : rows) {
        double n = 0, e = 0;
        LatLonToGrid(r.lat, r.lon, &n, &e);
        EXPECT_TRUE(std::fabs(n - r.n) <= kMetre && std::fabs(e - r.e) <= kMetre) << r.name << ": " << n << " " << e;
    }
}
// Provenance: the reference values of HalfLogRatio; atanh(0.5) = 0.5493061443340549.
TEST(HalfLogRatio, ReferenceValues)
{
    const double rows[][2] = {{0.0, 0.0}, {0.5, 0.5493061443340549}, {-0.5, -0.5493061443340549},
                              {2.0, 0.5493061443340549}, {0.03390391771110396, 0.03391691725367007}};
    for (const auto& r : rows) EXPECT_NEAR(HalfLogRatio(r[0]), r[1], 1e-15) << r[0];
    EXPECT_TRUE(std::isinf(HalfLogRatio(1.0)));  // the pole: no trap
}
}  // namespace
