// velkar-points with the real GPSBabel: GPX waypoints, route or track points into the preference points
// as the navigator's LoadPrefPoints reads them, in both units, out to GPX and in again; a point far from
// 9 E kept in degrees and refused in plane metres; too many points and broken GPX refused; the demo's own
// track log, written by the navigator, out as a dated and signed GPX 1.1 track, its date rolling past
// midnight only; and on a shared device root, two imports at once, kill -9, FIFOs and UTF-16 files.
#include <random>
#include <regex>
#include <set>

#include <sys/stat.h>

#include "base/text.h"
#include "geo/geo.h"
#include "platform/files.h"
#include "store/prefs.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-points";

std::string Settings(int prefInDegrees)
{
    return "[BEGIN][1][4800][0][" + std::to_string(prefInDegrees) + "][0][0][0][0][0][0][0][END]\n";
}

std::string Gpx(const std::string& body)
{
    return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n" +
           body + "</gpx>\n";
}

std::string Wpt(const std::string& lat, const std::string& lon, const std::string& name)
{
    return "<wpt lat=\"" + lat + "\" lon=\"" + lon + "\"><name>" + name + "</name></wpt>\n";
}

// The points' names as the navigator reads them.
std::vector<std::string> PointNames(const std::string& root)
{
    SetDeviceRoot(root);
    LoadSettings();
    std::vector<std::string> names;
    if (LoadPrefPoints() == 1)
        for (int i = 0; i <= lastPrefIndex; ++i) names.push_back(TextToUtf8(prefTable[i].name));
    return names;
}

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

std::string Waypoints(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i) {
        const Waypoint& w = kWaypoints[i % 3];
        body += Wpt(std::to_string(w.lat), std::to_string(w.lon), w.name);
    }
    return Gpx(body);
}

// The three waypoints as the navigator reads them.
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
    Root first(Settings(GetParam())), second(Settings(GetParam()));
    const std::string import = kTool + " import " + Quote(first.dir) + "/";
    std::ofstream(first.dir + "/in.gpx") << Waypoints(3);
    Expect(import + "in.gpx" + first.Tail(), 0);
    ExpectNavigatorPoints(first.dir);
    Expect(kTool + " export --output " + Quote(first.dir + "/out.gpx") + first.Tail(), 0);
    Expect(import + "out.gpx --replace" + second.Tail(), 0);
    ExpectNavigatorPoints(second.dir);

    // Refused, the file left as it was: eight points, broken GPX, no GPX at all.
    const std::string kept = Slurp(first.File("vlpref.cfg"));
    std::ofstream(first.dir + "/eight.gpx") << Waypoints(8);
    std::ofstream(first.dir + "/broken.gpx") << "<gpx><wpt lat=";
    for (const char* file : {"eight.gpx", "broken.gpx", "missing.gpx"}) {
        const Outcome refused = Expect(import + file + first.Tail(), 2);
        EXPECT_EQ(std::count(refused.output.begin(), refused.output.end(), '\n'), 1) << refused.output;
        EXPECT_EQ(Slurp(first.File("vlpref.cfg")), kept) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Units, PointsRoundTrip, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "degrees" : "plane_metres"; });

// The file's waypoints by default; --routes and --tracks take the others, named from their route or track
// and a number.
TEST(PointsChoices, WaypointsRoutePointsOrTrackPoints)
{
    const std::string all = Gpx(Wpt("44.1", "11.1", "Fonte") +
                                "<rte><name>Giro</name><rtept lat=\"44.2\" lon=\"11.2\"/><rtept lat=\"44.3\" lon=\"11.3\"/>"
                                "<rtept lat=\"44.31\" lon=\"11.31\"/></rte>\n<trk><name>Salita</name><trkseg>"
                                "<trkpt lat=\"44.4\" lon=\"11.4\"/><trkpt lat=\"44.5\" lon=\"11.5\"/></trkseg></trk>\n");
    const struct { const char* option; std::vector<std::string> names; } rows[] = {
        {"", {"Fonte"}}, {" --routes", {"Giro 1", "Giro 2", "Giro 3"}}, {" --tracks", {"Salita 1", "Salita 2"}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.option);
        Root root(Settings(1));
        std::ofstream(root.dir + "/all.gpx") << all;
        Expect(kTool + " import " + Quote(root.dir + "/all.gpx") + r.option + root.Tail(), 0);
        EXPECT_EQ(PointNames(root.dir), r.names);
    }
}

// 40 N 105 W: in degrees it goes in and comes out the same; in plane metres it would come back 10,000 km
// away, so it is refused by name and nothing written.
TEST(PointsChoices, FarPointKeptInDegreesRefusedInPlaneMetres)
{
    const struct { int degrees; int status; const char* says; } rows[] = {
        {1, 0, "lat=\"40.000000000\" lon=\"-105.000000000\""},
        {0, 2, "the point Denver at 40.000000, -105.000000 lies too far from 9 E"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.degrees);
        Root root(Settings(r.degrees));
        std::ofstream(root.dir + "/far.gpx") << Gpx(Wpt("40", "-105", "Denver"));
        const Outcome in = Expect(kTool + " import " + Quote(root.dir + "/far.gpx") + root.Tail(), r.status);
        EXPECT_HAS(r.status == 0 ? Shell(kTool + " export" + root.Tail()).output : in.output, r.says);
        EXPECT_EQ(r.status == 0, fs::exists(root.File("vlpref.cfg")));
    }
    // A point written in plane metres by hand that gives no latitude/longitude is named.
    Root root(Settings(0));
    std::ofstream(root.File("vlpref.cfg"))
        << "[1][Casa][-][716000][4914000][-][-][0][-][-][-][-][-]\n[2][Nowhere][-][1e12][4914000][-][-][0][-][-][-][-][-]\n";
    Expect(kTool + " export" + root.Tail(), 2, "1 point of vlpref.cfg give no latitude/longitude: Nowhere");
}

// The GPX's <time>s, past the metadata's own.
std::vector<std::string> TrackTimes(const std::string& gpx)
{
    std::vector<std::string> times;
    for (size_t at = gpx.find("<time>"); at != std::string::npos; at = gpx.find("<time>", at + 1))
        times.push_back(gpx.substr(at + 6, gpx.find("</time>", at) - at - 6));
    if (!times.empty() && gpx.find("<metadata>") != std::string::npos) times.erase(times.begin());
    return times;
}

// Log lines "lat;lon;hhmmss.s;fix;speed;course": a receiver stepping back by a quarter second stays on the
// day; passing midnight moves to the next.
TEST(PointsChoices, TrackDateRollsOnlyPastMidnight)
{
    const struct { const char* what; const char* log; std::vector<std::string> times; } rows[] = {
        {"step back 0.25 s", "44.1;11.1;120000.50;1;0;0\n44.1;11.1;120000.25;1;0;0\n44.1;11.1;120001.00;1;0;0\n",
         {"2026-12-06T12:00:00.500Z", "2026-12-06T12:00:00.250Z", "2026-12-06T12:00:01Z"}},
        {"midnight", "44.1;11.1;235959.0;1;0;0\n44.1;11.1;000001.0;1;0;0\n", {"2026-12-06T23:59:59Z", "2026-12-07T00:00:01Z"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Root root;
        std::ofstream(root.dir + "/GpsLog.txt") << r.log;
        Expect(kTool + " track --date 2026-12-06 --log " + Quote(root.dir + "/GpsLog.txt") + root.Tail() + " --output " +
               Quote(root.dir + "/t.gpx"), 0);
        EXPECT_EQ(TrackTimes(Slurp(root.dir + "/t.gpx")), r.times);
    }
}

// The demo root's navigator logs the emulated fixes; with a date and a hemisphere they become a GPX track,
// a day later past midnight.
TEST(TrackToGpx, DemoTrackLogBecomesADatedSignedTrack)
{
    Root root;
    fs::copy(VELKAR_SOURCE_DIR "/demo", root.dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories(root.dir + "/Scheda di memoria");
    Expect(kHeadless + root.Tail() + " --time-scale 100 --quit-after-ticks 21", 0);
    const std::string log = root.dir + "/Scheda di memoria/GpsLog.txt", logged = Slurp(log);
    std::vector<std::smatch> lines;  // "44.348733;11.717500;163400.0;1;0.000000;0.000000 ": latitude, longitude, time
    const std::regex field("([-0-9.]+);([-0-9.]+);([0-9.]+);[^\n]*\n");
    for (auto it = std::sregex_iterator(logged.begin(), logged.end(), field); it != std::sregex_iterator(); ++it)
        lines.push_back(*it);
    ASSERT_GE(lines.size(), 2u) << "the navigator logged no fixes";
    std::ofstream(log, std::ios::app) << "44.100000;11.200000;000010.5;1;3.500000;90.000000 \n";

    const std::string gpx = root.dir + "/track.gpx";
    Expect(kTool + " track --date 2026-12-06 --hemisphere S,W" + root.Tail() + " --output " + Quote(gpx), 0);
    const std::string text = Slurp(gpx);
    EXPECT_HAS(text, "<trk>");
    const std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">\\s*<time>([^<]+)</time>");
    std::vector<std::smatch> points;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), point); it != std::sregex_iterator(); ++it)
        points.push_back(*it);
    ASSERT_EQ(points.size(), lines.size() + 1);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NEAR(std::stod(points[i][1]), -std::stod(lines[i][1]), 1e-6);
        EXPECT_NEAR(std::stod(points[i][2]), -std::stod(lines[i][2]), 1e-6);
        const std::string t = lines[i][3];  // "163400.0"
        EXPECT_EQ(points[i][3].str().substr(0, 19), "2026-12-06T" + t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2));
    }
    EXPECT_EQ(points.back()[3].str(), "2026-12-07T00:00:10.500Z");
    Expect(kTool + " track" + root.Tail(), 1, "holds no date");
}

class PointsSharedRoot : public ::testing::Test {
protected:
    Root root{Settings(1)};
    std::string Import(const std::string& file) const { return kTool + " import " + Quote(root.dir + "/" + file) + root.Tail(); }
    void Waypoint(const std::string& file, const std::string& name) const
    {
        std::ofstream(root.dir + "/" + file) << Gpx(Wpt("44.3", "11.7", name));
    }
};

TEST_F(PointsSharedRoot, TwoImportsAtOnceLoseNoPoint)
{
    Waypoint("a.gpx", "Alfa");
    Waypoint("b.gpx", "Bravo");
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        fs::remove(root.File("vlpref.cfg"));
        const Outcome both = AtOnce(Import("a.gpx"), Import("b.gpx"));
        ASSERT_EQ(both.status, 0) << both.output;
        const std::vector<std::string> names = PointNames(root.dir);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{"Alfa", "Bravo"}));
        EXPECT_EQ(names.size(), 2u);
    }
}

// Killed with -9 at random moments, then ended by SIGTERM: vlpref.cfg stays whole, the scratch folder goes
// with a signal, and the next run removes the folders of the runs that died.
TEST_F(PointsSharedRoot, KilledRunsLeaveNoScratchBehind)
{
    const std::string temp = root.dir + "/tmp", env = "env TMPDIR=" + Quote(temp) + " ";
    fs::create_directories(temp);
    Waypoint("a.gpx", "Alfa");
    std::mt19937 random(5);
    for (int i = 0; i < 20; ++i)
        KillAfter(env + Import("a.gpx") + " --replace", std::uniform_int_distribution<int>(0, 60)(random) * 1000,
                  i % 2 ? SIGKILL : SIGTERM);
    Shell("sleep 1.1");
    Expect(env + Import("a.gpx") + " --replace", 0);
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(PointNames(root.dir), std::vector<std::string>{"Alfa"});
}

// A FIFO as the track log is refused at once; a UTF-16 vlpref.cfg keeps its points; one the reader cannot
// take record by record is left as it was.
TEST_F(PointsSharedRoot, FifoRefusedUtf16KeptUnreadableLeftAlone)
{
    ASSERT_EQ(mkfifo((root.dir + "/GpsLog.txt").c_str(), 0600), 0);
    Expect("timeout 10 " + kTool + " track --date 2026-12-06 --log " + Quote(root.dir + "/GpsLog.txt") + root.Tail(), 2,
           "not a regular file");
    Waypoint("a.gpx", "Alfa");
    std::string utf16be = "\xfe\xff";
    for (char16_t c : std::u16string(u"[1][Città][-][44.1][11.1][-][-][0][-][-][-][-][-]\r\n"))
        utf16be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xff)};
    const struct { const char* what; std::string bytes; std::vector<std::string> names; } rows[] = {
        {"UTF-16 BE with its mark", utf16be, {"Città", "Alfa"}}, {"UTF-16 without a mark", utf16be.substr(2), {}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::ofstream(root.File("vlpref.cfg"), std::ios::binary | std::ios::trunc) << r.bytes;
        Expect(Import("a.gpx"), r.names.empty() ? 2 : 0);
        if (r.names.empty()) EXPECT_EQ(Slurp(root.File("vlpref.cfg")), r.bytes);
        else EXPECT_EQ(PointNames(root.dir), r.names);
    }
}

}  // namespace
