// velkar-points with the real GPSBabel on GPX written here: waypoints, route or
// track points as asked; a point far from 9 E kept in degrees and refused in
// plane metres; track dates past midnight only; and on a shared device root, two
// imports at once, kill -9, FIFOs and UTF-16 files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <set>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "store/prefs.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kTool = VELKAR_BINARY_DIR "/tools/velkar-points";
constexpr int kLoops = 20;

const char kAllKinds[] =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
    "<wpt lat=\"44.1\" lon=\"11.1\"><name>Fonte</name></wpt>\n"
    "<rte><name>Giro</name><rtept lat=\"44.2\" lon=\"11.2\"/><rtept lat=\"44.3\" lon=\"11.3\"/>"
    "<rtept lat=\"44.31\" lon=\"11.31\"/></rte>\n"
    "<trk><name>Salita</name><trkseg><trkpt lat=\"44.4\" lon=\"11.4\"/><trkpt lat=\"44.5\" lon=\"11.5\"/></trkseg></trk>\n"
    "</gpx>\n";

std::string Settings(int prefInDegrees)
{
    return "[BEGIN][1][4800][0][" + std::to_string(prefInDegrees) + "][0][0][0][0][0][0][0][END]\n";
}

std::vector<std::string> PointNames(const std::string& root)
{
    SetDeviceRoot(root);
    LoadSettings();
    std::vector<std::string> names;
    if (LoadPrefPoints() == 1)
        for (int i = 0; i <= lastPrefIndex; ++i) names.push_back(TextToUtf8(prefTable[i].name));
    return names;
}

// The file's waypoints by default; --routes and --tracks take the others, named
// from their route or track and a number.
TEST(PointsChoices, WaypointsRoutePointsOrTrackPoints)
{
    const struct { const char* option; std::vector<std::string> names; } rows[] = {
        {"", {"Fonte"}},
        {" --routes", {"Giro 1", "Giro 2", "Giro 3"}},
        {" --tracks", {"Salita 1", "Salita 2"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.option);
        Root root(Settings(1));
        std::ofstream(root.dir + "/all.gpx") << kAllKinds;
        const Outcome run = Shell(kTool + " import " + Quote(root.dir + "/all.gpx") + r.option + " --root " + Quote(root.dir));
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(PointNames(root.dir), r.names);
    }
}

// 40 N 105 W: in degrees it goes in and comes out the same; in plane metres it
// would come back 10,000 km away, so it is refused by name and nothing written.
TEST(PointsChoices, FarPointKeptInDegreesRefusedInPlaneMetres)
{
    const char gpx[] = "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
                       "<wpt lat=\"40\" lon=\"-105\"><name>Denver</name></wpt></gpx>";
    const struct { int degrees; int status; const char* says; } rows[] = {
        {1, 0, "lat=\"40.000000000\" lon=\"-105.000000000\""},
        {0, 2, "the point Denver at 40.000000, -105.000000 lies too far from 9 E"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.degrees);
        Root root(Settings(r.degrees));
        std::ofstream(root.dir + "/far.gpx") << gpx;
        const std::string tail = " --root " + Quote(root.dir);
        const Outcome in = Shell(kTool + " import " + Quote(root.dir + "/far.gpx") + tail);
        EXPECT_EQ(in.status, r.status) << in.output;
        const Outcome out = r.status == 0 ? Shell(kTool + " export" + tail) : in;
        EXPECT_NE(out.output.find(r.says), std::string::npos) << out.output;
        EXPECT_EQ(r.status == 0, fs::exists(root.dir + kVelkarDir + "vlpref.cfg"));
    }
    // A point written in plane metres by hand that gives no latitude/longitude is named.
    Root root(Settings(0));
    std::ofstream(root.dir + kVelkarDir + "vlpref.cfg")
        << "[1][Casa][-][716000][4914000][-][-][0][-][-][-][-][-]\n[2][Nowhere][-][1e12][4914000][-][-][0][-][-][-][-][-]\n";
    const Outcome out = Shell(kTool + " export --root " + Quote(root.dir));
    EXPECT_EQ(out.status, 2);
    EXPECT_NE(out.output.find("1 point of vlpref.cfg give no latitude/longitude: Nowhere"), std::string::npos) << out.output;
}

// Log lines "lat;lon;hhmmss.s;fix;speed;course": a receiver stepping back by a
// quarter second stays on the day; passing midnight moves to the next.
TEST(PointsChoices, TrackDateRollsOnlyPastMidnight)
{
    const struct { const char* what; const char* log; std::vector<std::string> times; } rows[] = {
        {"step back 0.25 s", "44.1;11.1;120000.50;1;0;0\n44.1;11.1;120000.25;1;0;0\n44.1;11.1;120001.00;1;0;0\n",
         {"2026-12-06T12:00:00.500Z", "2026-12-06T12:00:00.250Z", "2026-12-06T12:00:01Z"}},
        {"midnight", "44.1;11.1;235959.0;1;0;0\n44.1;11.1;000001.0;1;0;0\n",
         {"2026-12-06T23:59:59Z", "2026-12-07T00:00:01Z"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        Root root;
        std::ofstream(root.dir + "/GpsLog.txt") << r.log;
        const Outcome run = Shell(kTool + " track --date 2026-12-06 --log " + Quote(root.dir + "/GpsLog.txt") +
                                  " --root " + Quote(root.dir) + " --output " + Quote(root.dir + "/t.gpx"));
        ASSERT_EQ(run.status, 0) << run.output;
        const std::string gpx = Slurp(root.dir + "/t.gpx");
        std::vector<std::string> times;
        for (size_t at = gpx.find("<time>"); at != std::string::npos; at = gpx.find("<time>", at + 1))
            times.push_back(gpx.substr(at + 6, gpx.find("</time>", at) - at - 6));
        if (!times.empty() && gpx.find("<metadata>") != std::string::npos) times.erase(times.begin());
        EXPECT_EQ(times, r.times);
    }
}

class PointsSharedRoot : public ::testing::Test {
protected:
    Root root{Settings(1)};
    std::string Prefs() const { return root.dir + kVelkarDir + "vlpref.cfg"; }
    std::string Import(const std::string& file) const
    {
        return kTool + " import " + Quote(root.dir + "/" + file) + " --root " + Quote(root.dir);
    }
    void Waypoint(const std::string& file, const std::string& name) const
    {
        std::ofstream(root.dir + "/" + file) << "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
                                                "<wpt lat=\"44.3\" lon=\"11.7\"><name>" << name << "</name></wpt></gpx>";
    }
};

TEST_F(PointsSharedRoot, TwoImportsAtOnceLoseNoPoint)
{
    Waypoint("a.gpx", "Alfa");
    Waypoint("b.gpx", "Bravo");
    for (int i = 0; i < kLoops; ++i) {
        SCOPED_TRACE("round " + std::to_string(i));
        fs::remove(Prefs());
        const Outcome both = Shell("(" + Import("a.gpx") + " & " + Import("b.gpx") + "; s=$?; wait $!; exit $(( s + $? )))");
        ASSERT_EQ(both.status, 0) << both.output;
        const std::vector<std::string> names = PointNames(root.dir);
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), (std::set<std::string>{"Alfa", "Bravo"}));
        EXPECT_EQ(names.size(), 2u);
    }
}

// Killed with -9 at random moments, then ended by SIGTERM: vlpref.cfg stays
// whole, the scratch folder goes with a signal, and the next run removes the
// folders of the runs that died.
TEST_F(PointsSharedRoot, KilledRunsLeaveNoScratchBehind)
{
    const std::string temp = root.dir + "/tmp";
    fs::create_directories(temp);
    Waypoint("a.gpx", "Alfa");
    std::mt19937 random(5);
    for (int i = 0; i < kLoops; ++i) {
        const int ms = std::uniform_int_distribution<int>(0, 60)(random);
        Shell("TMPDIR=" + Quote(temp) + " " + Import("a.gpx") + " --replace >/dev/null 2>&1 & sleep " +
              std::to_string(ms / 1000.0) + "; kill -" + (i % 2 ? "9" : "TERM") + " $! 2>/dev/null; wait");
    }
    Shell("sleep 1.1");
    ASSERT_EQ(Shell("TMPDIR=" + Quote(temp) + " " + Import("a.gpx") + " --replace").status, 0);
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(PointNames(root.dir), std::vector<std::string>{"Alfa"});
}

// A FIFO as the track log is refused at once; a UTF-16 vlpref.cfg keeps its
// points; one the reader cannot take record by record is left as it was.
TEST_F(PointsSharedRoot, FifoRefusedUtf16KeptUnreadableLeftAlone)
{
    ASSERT_EQ(mkfifo((root.dir + "/GpsLog.txt").c_str(), 0600), 0);
    const Outcome fifo = Shell("timeout 10 " + kTool + " track --date 2026-12-06 --log " + Quote(root.dir + "/GpsLog.txt") +
                               " --root " + Quote(root.dir));
    EXPECT_EQ(fifo.status, 2);
    EXPECT_NE(fifo.output.find("not a regular file"), std::string::npos) << fifo.output;

    Waypoint("a.gpx", "Alfa");
    const std::u16string wide = u"[1][Città][-][44.1][11.1][-][-][0][-][-][-][-][-]\r\n";
    std::string utf16be = "\xfe\xff";
    for (char16_t c : wide) utf16be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xff)};
    const struct { const char* what; std::string bytes; std::vector<std::string> names; } rows[] = {
        {"UTF-16 BE with its mark", utf16be, {"Città", "Alfa"}},
        {"UTF-16 without a mark", utf16be.substr(2), {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::ofstream(Prefs(), std::ios::binary | std::ios::trunc) << r.bytes;
        const Outcome run = Shell(Import("a.gpx"));
        EXPECT_EQ(run.status, r.names.empty() ? 2 : 0) << run.output;
        if (r.names.empty()) EXPECT_EQ(Slurp(Prefs()), r.bytes);
        else EXPECT_EQ(PointNames(root.dir), r.names);
    }
}

}  // namespace
