// velkar-points with the real GPSBabel: GPX waypoints into the preference points
// as the navigator's LoadPrefPoints reads them, in both units, out to GPX and in
// again; too many points and broken GPX refused; the demo's own track log, written
// by the navigator, out as a dated and signed GPX 1.1 track.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <vector>

#include "base/text.h"
#include "geo/geo.h"
#include "platform/files.h"
#include "store/prefs.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-points";

struct Waypoint {
    const char* name;
    const char* expected;  // as the navigator holds it (31 characters at most)
    double lat, lon;
};
const Waypoint kWaypoints[] = {
    {"Rocca", "Rocca", 44.348733, 11.7175},
    {"Città [vecchia] con un nome più lungo del posto", "Città (vecchia) con un nome più", 44.35, 11.72},
    {"Sud-ovest", "Sud-ovest", -33.9, -18.4},
};

std::string Gpx(int count)
{
    std::string gpx = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                      "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (int i = 0; i < count; ++i) {
        const Waypoint& w = kWaypoints[i % 3];
        gpx += "<wpt lat=\"" + std::to_string(w.lat) + "\" lon=\"" + std::to_string(w.lon) + "\"><name>" + w.name +
               "</name></wpt>\n";
    }
    return gpx + "</gpx>\n";
}

// The points as the navigator reads them.
void ExpectNavigatorPoints(const std::string& root)
{
    SetDeviceRoot(root);
    ASSERT_EQ(LoadSettings(), 1);
    ASSERT_EQ(LoadPrefPoints(), 1);
    ASSERT_EQ(lastPrefIndex, 2);
    for (int i = 0; i < 3; ++i) {
        const Waypoint& w = kWaypoints[i];
        double northing, easting;
        LatLonToGrid(w.lat, w.lon, &northing, &easting);
        EXPECT_EQ(TextToUtf8(prefTable[i].name), w.expected);
        EXPECT_NEAR(prefTable[i].x, easting, 0.002) << w.name;
        EXPECT_NEAR(prefTable[i].y, northing, 0.002) << w.name;
        EXPECT_EQ(prefTable[i].alert, 0);
    }
}

class PointsRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(PointsRoundTrip, GpxIntoPrefPointsOutAndInAgain)
{
    const std::string settings = "[BEGIN][1][4800][0][" + std::to_string(GetParam()) + "][0][0][0][0][0][0][0][END]\n";
    Root first(settings), second(settings);
    const std::string import = kTool + " import " + Quote(first.dir) + "/", tail = " --root " + Quote(first.dir);
    std::ofstream(first.dir + "/in.gpx") << Gpx(3);
    ASSERT_EQ(Shell(import + "in.gpx" + tail).status, 0);
    ExpectNavigatorPoints(first.dir);
    ASSERT_EQ(Shell(kTool + " export --output " + Quote(first.dir + "/out.gpx") + tail).status, 0);
    ASSERT_EQ(Shell(import + "out.gpx --replace --root " + Quote(second.dir)).status, 0);
    ExpectNavigatorPoints(second.dir);

    // Refused, the file left as it was: eight points, broken GPX, no GPX at all.
    const std::string prefs = first.dir + kVelkarDir + "vlpref.cfg", kept = Slurp(prefs);
    std::ofstream(first.dir + "/eight.gpx") << Gpx(8);
    std::ofstream(first.dir + "/broken.gpx") << "<gpx><wpt lat=";
    for (const char* file : {"eight.gpx", "broken.gpx", "missing.gpx"}) {
        const Outcome refused = Shell(import + file + tail);
        EXPECT_EQ(refused.status, 2) << file << ": " << refused.output;
        EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
        EXPECT_EQ(Slurp(prefs), kept) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Units, PointsRoundTrip, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "degrees" : "plane_metres"; });

// The demo root's navigator logs the emulated fixes; with a date and a hemisphere
// they become a GPX track, a day later past midnight.
TEST(TrackToGpx, DemoTrackLogBecomesADatedSignedTrack)
{
    Root root;
    fs::copy(VELKAR_SOURCE_DIR "/demo", root.dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories(root.dir + "/Scheda di memoria");
    const Outcome ran = Shell("QT_QPA_PLATFORM=offscreen timeout 60 " + kVelkar + " --root " + Quote(root.dir) +
                              " --time-scale 100 --quit-after-ticks 21");
    ASSERT_EQ(ran.status, 0) << ran.output;
    const std::string log = root.dir + "/Scheda di memoria/GpsLog.txt";
    std::vector<std::smatch> lines;  // "44.348733;11.717500;163400.0;1;0.000000;0.000000 ": latitude, longitude, time
    const std::string logged = Slurp(log);
    const std::regex field("([-0-9.]+);([-0-9.]+);([0-9.]+);[^\n]*\n");
    for (auto it = std::sregex_iterator(logged.begin(), logged.end(), field); it != std::sregex_iterator(); ++it)
        lines.push_back(*it);
    ASSERT_GE(lines.size(), 2u) << "the navigator logged no fixes";
    std::ofstream(log, std::ios::app) << "44.100000;11.200000;000010.5;1;3.500000;90.000000 \n";

    const std::string gpx = root.dir + "/track.gpx";
    const Outcome converted = Shell(kTool + " track --date 2026-12-06 --hemisphere S,W --root " + Quote(root.dir) +
                                    " --output " + Quote(gpx));
    ASSERT_EQ(converted.status, 0) << converted.output;
    const std::string text = Slurp(gpx);
    EXPECT_NE(text.find("<trk>"), std::string::npos);
    const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">\\s*<time>([^<]+)</time>");
    std::vector<std::smatch> points;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), point); it != std::sregex_iterator(); ++it)
        points.push_back(*it);
    ASSERT_EQ(points.size(), lines.size() + 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NEAR(std::stod(points[i][1]), -std::stod(lines[i][1]), 1e-6);
        EXPECT_NEAR(std::stod(points[i][2]), -std::stod(lines[i][2]), 1e-6);
        const std::string t = lines[i][3];  // "163400.0"
        EXPECT_EQ(points[i][3].str().substr(0, 19),
                  "2026-12-06T" + t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2));
    }
    EXPECT_EQ(points.back()[3].str(), "2026-12-07T00:00:10.500Z");
    const Outcome undated = Shell(kTool + " track --root " + Quote(root.dir));
    EXPECT_EQ(undated.status, 1);
    EXPECT_NE(undated.output.find("holds no date"), std::string::npos) << undated.output;
}

}  // namespace
