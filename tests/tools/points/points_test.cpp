// velkar-points with the real GPSBabel: GPX waypoints into the preference points
// as the navigator's LoadPrefPoints reads them, in both units, out to GPX and in
// again; too many points and broken GPX refused; the demo's own track log, written
// by the navigator, out as a dated and signed GPX 1.1 track.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "geo/geo.h"
#include "platform/files.h"
#include "store/prefs.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-points";
const std::string kVelkar = VELKAR_BINARY_DIR "/src/velkar";
const std::string kPrefs = "/My Documents/Velkar/vlpref.cfg";

using tool_test::Outcome;
using tool_test::Quote;
using tool_test::Shell;
using tool_test::Slurp;

struct Root {
    std::string dir;
    Root(const std::string& name, int prefInDegrees)
    {
        dir = fs::temp_directory_path() / ("velkar-points-" + name + "-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir + "/My Documents/Velkar");
        std::ofstream(dir + "/My Documents/Velkar/vlcfg.cfg")
            << "[BEGIN][1][4800][0][" << prefInDegrees << "][0][0][0][0][0][0][0][END]\n";
    }
    ~Root() { fs::remove_all(dir); }
};

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
    const int degrees = GetParam();
    Root first("first", degrees), second("second", degrees);
    const std::string gpx = first.dir + "/in.gpx";
    std::ofstream(gpx) << Gpx(3);
    const Outcome in = Shell(kTool + " import '" + gpx + "' --root '" + first.dir + "'");
    ASSERT_EQ(in.status, 0) << in.output;
    EXPECT_NE(in.output.find(degrees ? "in degrees" : "in plane metres"), std::string::npos) << in.output;
    ExpectNavigatorPoints(first.dir);

    const std::string out = first.dir + "/out.gpx";
    const Outcome exported = Shell(kTool + " export --output '" + out + "' --root '" + first.dir + "'");
    ASSERT_EQ(exported.status, 0) << exported.output;
    EXPECT_NE(Slurp(out).find("<gpx version=\"1.1\""), std::string::npos);
    const Outcome again = Shell(kTool + " import '" + out + "' --replace --root '" + second.dir + "'");
    ASSERT_EQ(again.status, 0) << again.output;
    ExpectNavigatorPoints(second.dir);

    // Refused, the file left as it was: eleven points, broken GPX, no GPX at all.
    const std::string kept = Slurp(first.dir + kPrefs);
    std::ofstream(first.dir + "/eight.gpx") << Gpx(8);
    std::ofstream(first.dir + "/broken.gpx") << "<gpx><wpt lat=";
    for (const char* file : {"eight.gpx", "broken.gpx", "missing.gpx"}) {
        const Outcome refused = Shell(kTool + " import '" + first.dir + "/" + file + "' --root '" + first.dir + "'");
        EXPECT_EQ(refused.status, 2) << file << ": " << refused.output;
        EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
        EXPECT_EQ(Slurp(first.dir + kPrefs), kept) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Units, PointsRoundTrip, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "degrees" : "plane_metres"; });

// The demo root's navigator logs the emulated fixes; with a date and a hemisphere
// they become a GPX track, a day later past midnight.
TEST(TrackToGpx, DemoTrackLogBecomesADatedSignedTrack)
{
    const std::string root = fs::temp_directory_path() / ("velkar-points-demo-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::copy(VELKAR_SOURCE_DIR "/demo", root, fs::copy_options::recursive);
    fs::create_directories(root + "/Scheda di memoria");
    const Outcome ran = Shell("QT_QPA_PLATFORM=offscreen timeout 60 " + kVelkar + " --root '" + root +
                              "' --time-scale 100 --quit-after-ticks 21");
    ASSERT_EQ(ran.status, 0) << ran.output;
    const std::string log = root + "/Scheda di memoria/GpsLog.txt";
    std::vector<std::vector<std::string>> lines;  // latitude, longitude, time
    {
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            std::stringstream split(line);
            std::vector<std::string> f;
            for (std::string field; std::getline(split, field, ';');) f.push_back(field);
            ASSERT_EQ(f.size(), 6u) << line;
            lines.push_back(f);
        }
    }
    ASSERT_GE(lines.size(), 2u) << "the navigator logged no fixes";
    std::ofstream(log, std::ios::app) << "44.100000;11.200000;000010.5;1;3.500000;90.000000 \n";

    const std::string gpx = root + "/track.gpx";
    const Outcome converted = Shell(kTool + " track --date 2026-12-06 --hemisphere S,W --root '" + root +
                                    "' --output '" + gpx + "'");
    ASSERT_EQ(converted.status, 0) << converted.output;
    EXPECT_NE(converted.output.find("no date and no hemisphere"), std::string::npos) << converted.output;
    const std::string text = Slurp(gpx);
    EXPECT_NE(text.find("<trk>"), std::string::npos);
    const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">\\s*<time>([^<]+)</time>");
    std::vector<std::smatch> points;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), point); it != std::sregex_iterator(); ++it)
        points.push_back(*it);
    ASSERT_EQ(points.size(), lines.size() + 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NEAR(std::stod(points[i][1]), -std::stod(lines[i][0]), 1e-6);
        EXPECT_NEAR(std::stod(points[i][2]), -std::stod(lines[i][1]), 1e-6);
        const std::string t = lines[i][2];  // "163400.0"
        EXPECT_EQ(points[i][3].str().substr(0, 19),
                  "2026-12-06T" + t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2));
    }
    EXPECT_EQ(points.back()[3].str(), "2026-12-07T00:00:10.500Z");

    const Outcome undated = Shell(kTool + " track --root '" + root + "'");
    EXPECT_EQ(undated.status, 1);
    EXPECT_NE(undated.output.find("holds no date"), std::string::npos) << undated.output;
    fs::remove_all(root);
}

}  // namespace
