// velkar-points with the real GPSBabel: GPX waypoints, route or track points into the preference points as
// the navigator reads them, in both units, out to GPX and in again; a point far from 9 E kept in degrees and
// refused in plane metres; too many points and broken GPX refused; the demo's track log, written by the
// navigator, out as a dated and signed GPX track; and on a shared root, kills, a FIFO and an unreadable file.
#include <regex>

#include "base/text.h"
#include "geo/geo.h"
#include "platform/files.h"
#include "store/prefs.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-points ";

std::string Settings(int degrees) { return "[BEGIN][1][4800][0][" + std::to_string(degrees) + "][0][0][0][0][0][0][0][END]\n"; }
std::string Gpx(const std::string& body) { return "<gpx version=\"1.1\" creator=\"test\">\n" + body + "</gpx>\n"; }
std::string Wpt(double lat, double lon, const std::string& name)
{
    return "<wpt lat=\"" + std::to_string(lat) + "\" lon=\"" + std::to_string(lon) + "\"><name>" + name + "</name></wpt>\n";
}

// The points' names as the navigator reads them (none when it cannot).
std::vector<std::string> PointNames(const std::string& root)
{
    SetDeviceRoot(root);
    std::vector<std::string> names;
    if (LoadSettings() == 1 && LoadPrefPoints() == 1)
        for (int i = 0; i <= lastPrefIndex; ++i) names.push_back(TextToUtf8(prefTable[i].name));
    return names;
}

const struct Waypoint {
    const char* name;
    const char* expected;  // as the navigator holds it (31 characters at most)
    double lat, lon;
} kWaypoints[] = {
    {"Rocca", "Rocca", 44.348733, 11.7175},
    {"Città [vecchia] con un nome più lungo del posto", "Città (vecchia) con un nome più", 44.35, 11.72},
    {"Sud-ovest", "Sud-ovest", -33.9, -18.4},
};

std::string Waypoints(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i) body += Wpt(kWaypoints[i % 3].lat, kWaypoints[i % 3].lon, kWaypoints[i % 3].name);
    return Gpx(body);
}

// The three waypoints as the navigator reads them.
void ExpectNavigatorPoints(const std::string& root)
{
    ASSERT_EQ(PointNames(root).size(), 3u);
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

TEST_P(PointsRoundTrip, GpxWaypointsRoutesOrTracksIntoPrefPointsOutAndInAgain)
{
    Root first(Settings(GetParam())), second(Settings(GetParam()));
    const std::string import = kTool + "import " + Quote(first.dir) + "/";
    std::ofstream(first.Path("in.gpx")) << Waypoints(3);
    Expect(import + "in.gpx" + first.Tail(), 0);
    ExpectNavigatorPoints(first.dir);
    Expect(kTool + "export --output " + Quote(first.Path("out.gpx")) + first.Tail(), 0);
    Expect(import + "out.gpx --replace" + second.Tail(), 0);
    ExpectNavigatorPoints(second.dir);
    // 40 N 105 W: in degrees it goes in and comes out the same; in plane metres it would come back 10,000 km
    // away, so it is refused by name and nothing written. A point written in plane metres by hand that gives
    // no latitude/longitude is named.
    std::ofstream(first.Path("far.gpx")) << Gpx(Wpt(40, -105, "Denver"));
    const std::string three = Slurp(second.File("vlpref.cfg"));
    if (GetParam() == 1) {
        Expect(import + "far.gpx" + second.Tail(), 0);
        Expect(kTool + "export" + second.Tail(), 0, "lat=\"40.000000000\" lon=\"-105.000000000\"");
    } else {
        Expect(import + "far.gpx" + second.Tail(), 2, "the point Denver at 40.000000, -105.000000 lies too far from 9 E");
        EXPECT_EQ(Slurp(second.File("vlpref.cfg")), three);
        WriteFile(second.File("vlpref.cfg"), "[1][Casa][-][716000][4914000][-][-][0][-][-][-][-][-]\n"
                                             "[2][Nowhere][-][1e12][4914000][-][-][0][-][-][-][-][-]\n");
        Expect(kTool + "export" + second.Tail(), 2, "1 point of vlpref.cfg give no latitude/longitude: Nowhere");
    }
    // Refused, the file left as it was: eight points, broken GPX, no GPX at all.
    const std::string kept = Slurp(first.File("vlpref.cfg"));
    std::ofstream(first.Path("eight.gpx")) << Waypoints(8);
    std::ofstream(first.Path("broken.gpx")) << "<gpx><wpt lat=";
    for (const char* file : {"eight.gpx", "broken.gpx", "missing.gpx"}) {
        const Outcome refused = Expect(import + file + first.Tail(), 2);
        EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
        EXPECT_EQ(Slurp(first.File("vlpref.cfg")), kept) << file;
    }
    // The file's waypoints by default; --routes and --tracks take the others, named from their route or track
    // and a number.
    std::ofstream(first.Path("all.gpx")) << Gpx(Wpt(44.1, 11.1, "Fonte") + "<rte><name>Giro</name>"
        "<rtept lat=\"44.2\" lon=\"11.2\"/><rtept lat=\"44.3\" lon=\"11.3\"/><rtept lat=\"44.31\" lon=\"11.31\"/></rte>\n"
        "<trk><name>Salita</name><trkseg><trkpt lat=\"44.4\" lon=\"11.4\"/><trkpt lat=\"44.5\" lon=\"11.5\"/></trkseg></trk>\n");
    const struct { const char* option; std::vector<std::string> names; } rows[] = {
        {"", {"Fonte"}}, {" --routes", {"Giro 1", "Giro 2", "Giro 3"}}, {" --tracks", {"Salita 1", "Salita 2"}}};
    for (const auto& r : rows) {
        Expect(import + "all.gpx --replace" + r.option + first.Tail(), 0);
        EXPECT_EQ(PointNames(first.dir), r.names) << r.option;
    }
}

INSTANTIATE_TEST_SUITE_P(Units, PointsRoundTrip, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "degrees" : "plane_metres"; });

// The demo root's navigator logs the emulated fixes (and makes the root's missing dev/ folder, so that
// velkar-port has its entry); with a date and a hemisphere they become a GPX track. Log lines
// "lat;lon;hhmmss.s;fix;speed;course" added after them: a receiver stepping back by a quarter second stays on
// the day; passing midnight moves to the next.
TEST(TrackToGpx, DemoTrackLogBecomesADatedSignedTrack)
{
    Root root;
    fs::copy(VELKAR_SOURCE_DIR "/demo", root.dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Expect(kHeadless + root.Tail() + " --time-scale 100 --quit-after-ticks 21", 0);
    EXPECT_TRUE(fs::is_directory(root.Path("dev")));
    const std::string log = root.Path("Scheda di memoria/GpsLog.txt"), logged = Slurp(log);
    // "44.348733;11.717500;163400.0;1;0.000000;0.000000 ": latitude, longitude, time
    const std::regex field("([-0-9.]+);([-0-9.]+);([0-9]{6})\\.0;[^\n]*\n");
    const std::vector<std::smatch> lines(std::sregex_iterator(logged.begin(), logged.end(), field), std::sregex_iterator());
    ASSERT_GE(lines.size(), 2u) << "the navigator logged no fixes";
    const std::string last = lines.back()[3];
    std::ofstream(log, std::ios::app) << "44.1;11.2;" << last << ".50;1;0;0\n44.1;11.2;" << last << ".25;1;0;0\n"
                                      << "44.100000;11.200000;000010.5;1;3.500000;90.000000 \n";
    Expect(kTool + "track --date 2026-12-06 --hemisphere S,W" + root.Tail() + " --output " + Quote(root.Path("track.gpx")), 0);
    const std::string text = Slurp(root.Path("track.gpx"));
    const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">\\s*<time>([^<]+)</time>");
    const std::vector<std::smatch> points(std::sregex_iterator(text.begin(), text.end(), point), std::sregex_iterator());
    ASSERT_EQ(points.size(), lines.size() + 3);
    const auto day = [](const std::string& t) {  // "163400" on the given date
        return "2026-12-06T" + t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2);
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NEAR(std::stod(points[i][1]), -std::stod(lines[i][1]), 1e-6);
        EXPECT_NEAR(std::stod(points[i][2]), -std::stod(lines[i][2]), 1e-6);
        EXPECT_EQ(points[i][3].str(), day(lines[i][3]) + "Z");
    }
    EXPECT_EQ(points[lines.size()][3].str(), day(last) + ".500Z");
    EXPECT_EQ(points[lines.size() + 1][3].str(), day(last) + ".250Z");
    EXPECT_EQ(points.back()[3].str(), "2026-12-07T00:00:10.500Z");
    Expect(kTool + "track" + root.Tail(), 1, "holds no date");
}

// On a root other programs use: killed with -9 or TERM at random moments, vlpref.cfg stays whole, the scratch
// folder goes with a signal and the next run removes the folders of runs that died; a vlpref.cfg the reader
// cannot take record by record is left as it was; a FIFO as the track log is refused at once.
TEST(PointsSharedRoot, KilledRunsLeaveNoScratchUnreadableFileAndFifoRefused)
{
    Root root(Settings(1));
    const std::string temp = root.Path("tmp"), unreadable("[\0001\0]\0", 6);  // UTF-16 without its mark
    const std::string import = "env TMPDIR=" + Quote(temp) + " " + kTool + "import " + Quote(root.Path("a.gpx")) + root.Tail();
    fs::create_directories(temp);
    std::ofstream(root.Path("a.gpx")) << Gpx(Wpt(44.3, 11.7, "Alfa"));
    std::mt19937 random(5);
    for (int i = 0; i < 20; ++i)
        KillAfter(import + " --replace", std::uniform_int_distribution<int>(0, 60)(random) * 1000, i % 2 ? SIGKILL : SIGTERM);
    Shell("sleep 1.1");
    Expect(import + " --replace", 0);
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(PointNames(root.dir), std::vector<std::string>{"Alfa"});
    WriteFile(root.File("vlpref.cfg"), unreadable);
    Expect(import, 2, "vlpref.cfg cannot be read record by record");
    EXPECT_EQ(Slurp(root.File("vlpref.cfg")), unreadable);
    ASSERT_EQ(mkfifo(root.Path("GpsLog.txt").c_str(), 0600), 0);
    Expect("timeout 10 " + kTool + "track --date 2026-12-06 --log " + Quote(root.Path("GpsLog.txt")) + root.Tail(), 2,
           "not a regular file");
}

}  // namespace
