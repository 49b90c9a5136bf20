// The view's new arithmetic, without a window: the overlay's layout for any size, the zoomed transform,
// the pixel move the follow rule measures, the trail's ring and file text, and the target line's text.
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include "base/text.h"
#include "store/view_options.h"
#include "view/overlay.h"
#include "view/trail.h"
#include "view/transform.h"

namespace {
// The handheld's numbers (245, 240, 180, 230, 22) are the landed painter's constants; the others are
// them scaled by the growth: 1 + 0.5 * (longer side - 480) / 1440, times the ratio.
TEST(ViewRules, OverlayKeepsItsEdgeDistancesAtAnySize)
{
    const struct { const char* name; int32_t w, h; double ratio; int32_t speed, notFixed, arrowLeft, arrowTop, font; } rows[] = {
        {"handheld", 240, 268, 1.0, 245, 240, 180, 230, 22},
        {"short window: nothing lost below", 240, 200, 1.0, 177, 172, 180, 162, 22},
        {"phone portrait 480x800 (growth 1.111)", 480, 800, 1.0, 774, 769, 413, 758, 24},
        {"laptop 1280x800 (growth 1.278)", 1280, 800, 1.0, 771, 764, 1203, 751, 28},
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
        {"1:1, the handheld's", 1.0, 130, 137, 70, 85}, {"2:1: 10 columns are 20 pixels", 2.0, 140, 140, 20, 36},
        {"4:1", 4.0, 160, 146, -80, -62}, {"1:2: 10 columns are 5 pixels", 0.5, 125, 135, 95, 110},
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
TEST(ViewRules, TrailKeepsTenKilometresOnePointEveryFewMetres)
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
}
TEST(ViewRules, TrailTextReadsBackAndSkipsWhatIsNotTwoNumbers)
{
    const struct { const char* name; const char16_t* text; int32_t read; double lastNorthing; } rows[] = {
        {"two points", u"716500.00 4914200.00\n716510.00 4914200.50\n", 2, 4914200.5},
        {"carriage returns and no final newline", u"1.5 2.5\r\n-10 -20", 2, -20.0},
        {"decimal comma, words, exponent, one number, empty: skipped", u"1,5 2\nabc def\n1e5 3\n42\n\n7 8\n", 1, 8.0},
        {"a second point too close to the first", u"0 0\n1 1\n", 1, 0.0}};
    for (const auto& r : rows) {
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
