// The velkar-nmea probe run as a user runs it: real files, standard input, a real
// pty, an unreadable file, --emulate and --convert; its JSON lines are checked
// field by field and its numbers must read back to the very doubles computed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "geo/geo.h"

namespace {

struct ProbeRun {
    int status = -1;  // exit status
    std::string out, err;
};

std::string TempDir()
{
    char pattern[] = "/tmp/velkar-probe-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir != nullptr ? dir : "/tmp";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs the probe with args; stdinPath (or /dev/null) as its standard input.
ProbeRun RunProbe(const std::vector<std::string>& args, const std::string& stdinPath = "/dev/null")
{
    const std::string dir = TempDir();
    const std::string outPath = dir + "/out", errPath = dir + "/err";
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(stdinPath.c_str(), O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(VELKAR_NMEA_PATH));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(VELKAR_NMEA_PATH, argv.data());
        _exit(127);
    }
    ProbeRun run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    std::system(("rm -rf '" + dir + "'").c_str());
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The raw JSON value of "name" in a one-line object (a string keeps its quotes).
std::string Field(const std::string& line, const std::string& name)
{
    const std::string key = "\"" + name + "\":";
    const size_t at = line.find(key);
    if (at == std::string::npos) return "<missing>";
    size_t i = at + key.size();
    if (line[i] == '"') {
        size_t j = i + 1;
        while (j < line.size() && line[j] != '"') j += (line[j] == '\\') ? 2 : 1;
        return line.substr(i, j - i + 1);
    }
    size_t j = i;
    while (j < line.size() && line[j] != ',' && line[j] != '}') ++j;
    return line.substr(i, j - i);
}

double Number(const std::string& line, const std::string& name)
{
    return std::strtod(Field(line, name).c_str(), nullptr);
}

std::string Corpus(const std::string& name) { return std::string(VELKAR_SHARED_DIR) + "/nmea-corpus/" + name; }

TEST(Probe, EmulateSixLines)
{
    const ProbeRun run = RunProbe({"--emulate", "6"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u);
    const char* names[] = {"kind", "displayLine", "utcTime", "prevUtcTime", "latitude", "latHemisphere",
                           "longitude", "utmEasting", "utmNorthing", "prevUtmEasting", "prevUtmNorthing",
                           "prevGridEasting", "prevGridNorthing", "gridEasting", "gridNorthing", "utmZone",
                           "lonHemisphere", "fixQuality", "satellites", "altitude", "distanceMoved",
                           "timeDelta", "speedKmh", "course"};
    for (const std::string& line : lines)
        for (const char* name : names) EXPECT_NE(Field(line, name), "<missing>") << name;

    const std::string& first = lines[0];
    EXPECT_EQ(Field(first, "kind"), "\"GGA\"");
    EXPECT_EQ(Field(first, "displayLine"), "\"$GPGGA\"");
    EXPECT_EQ(Field(first, "utcTime"), "\"163400.0\"");
    EXPECT_EQ(Field(first, "latHemisphere"), "\"N\"");
    EXPECT_EQ(Field(first, "lonHemisphere"), "\"E\"");
    EXPECT_EQ(Field(first, "utmZone"), "32");
    EXPECT_EQ(Field(first, "fixQuality"), "1");
    EXPECT_EQ(Field(first, "timeDelta"), "2040");
    // Numbers read back to the same doubles.
    EXPECT_EQ(Number(first, "latitude"), 44.348733333333335);
    EXPECT_EQ(Number(first, "longitude"), 11.7175);
    double e = 0, n = 0, gn = 0, ge = 0;
    LatLonToUtm(44.348733333333335, 11.7175, &e, &n);
    LatLonToGrid(44.348733333333335, 11.7175, &gn, &ge);
    EXPECT_EQ(Number(first, "utmEasting"), e);
    EXPECT_EQ(Number(first, "utmNorthing"), n);
    EXPECT_EQ(Number(first, "gridNorthing"), gn);
    EXPECT_EQ(Number(first, "gridEasting"), ge);
    EXPECT_EQ(Number(lines[1], "prevUtmEasting"), e);
    // The sixth line is the first sentence again, 40 s "earlier" than the fifth.
    EXPECT_EQ(Field(lines[5], "utcTime"), "\"163400.0\"");
    EXPECT_EQ(Field(lines[5], "timeDelta"), "-40");
    EXPECT_NEAR(Number(lines[5], "distanceMoved"), 66.5, 0.05);
}

struct ConvertRow {
    const char* latitude;
    const char* longitude;
    int zone;
    double easting, northing, gridNorthing, gridEasting;
};

// Provenance: the UTM and plane-grid worked example and reference tables.
const ConvertRow kConvertRows[] = {
    {"44.348733333333335", "11.7175", 32, 716594.899, 4914197.933, 4914197.915, 716594.898},
    {"-33.9", "18.4", 34, 259583.252, -3754111.171, -3791112.453, 1370563.534},
};

TEST(Probe, Convert)
{
    for (const ConvertRow& r : kConvertRows) {
        const ProbeRun run = RunProbe({"--convert", r.latitude, r.longitude});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 1u);
        const std::string& l = lines[0];
        EXPECT_EQ(l.rfind("{\"utmZone\":", 0), 0u) << l;
        EXPECT_EQ(Field(l, "utmZone"), std::to_string(r.zone));
        EXPECT_NEAR(Number(l, "utmEasting"), r.easting, 0.0005);
        EXPECT_NEAR(Number(l, "utmNorthing"), r.northing, 0.0005);
        EXPECT_NEAR(Number(l, "gridNorthing"), r.gridNorthing, 0.0005);
        EXPECT_NEAR(Number(l, "gridEasting"), r.gridEasting, 0.0005);
    }
    // 180 gives the result of -180 (zone 1).
    const ProbeRun east = RunProbe({"--convert", "45", "180"});
    const ProbeRun west = RunProbe({"--convert", "45", "-180"});
    EXPECT_EQ(Field(east.out, "utmZone"), "1");
    EXPECT_EQ(Field(east.out, "utmEasting"), Field(west.out, "utmEasting"));
    EXPECT_EQ(Field(east.out, "utmNorthing"), Field(west.out, "utmNorthing"));
}

TEST(Probe, WrongCommandLines)
{
    const std::vector<std::vector<std::string>> wrong = {
        {"--convert", "north", "11"}, {"--convert", "44"}, {"--convert", "nan", "11"}, {"--convert", "44", "1e999"},
        {"--convert", "44", "11x"}, {"--emulate", "-1"}, {"--emulate", "x"}, {"--bogus"}};
    for (const auto& args : wrong) {
        const ProbeRun run = RunProbe(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    const ProbeRun help = RunProbe({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--emulate N"), std::string::npos);
    EXPECT_NE(help.out.find("--convert LAT LON"), std::string::npos);
    EXPECT_NE(help.out.find("exit status is 2"), std::string::npos);
}

// An unreadable file is named in one line on standard error; the other files are
// still read and the exit status is 2.
TEST(Probe, UnreadableFileIsNamedAndSkipped)
{
    const std::string dir = TempDir();
    const std::string missing = dir + "/no-such-log";
    const ProbeRun good = RunProbe({Corpus("bn-9015.log")});
    ASSERT_EQ(good.status, 0);
    EXPECT_EQ(Lines(good.out).size(), 20u);  // 10 GGA and 10 VTG

    const ProbeRun run = RunProbe({missing, Corpus("bn-9015.log"), dir});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, good.out);
    const std::vector<std::string> errors = Lines(run.err);
    ASSERT_EQ(errors.size(), 2u) << run.err;
    EXPECT_NE(errors[0].find(missing), std::string::npos);
    EXPECT_NE(errors[1].find(dir), std::string::npos);  // a folder cannot be read as a log
    rmdir(dir.c_str());
}

TEST(Probe, StandardInputAndDash)
{
    const ProbeRun file = RunProbe({Corpus("neo-m8n.log")});
    const ProbeRun noArgs = RunProbe({}, Corpus("neo-m8n.log"));
    const ProbeRun dash = RunProbe({"-"}, Corpus("neo-m8n.log"));
    EXPECT_EQ(file.status, 0);
    EXPECT_EQ(Lines(file.out).size(), 46u);
    EXPECT_EQ(noArgs.out, file.out);
    EXPECT_EQ(dash.out, file.out);
}

// Texts are JSON strings: quotes, backslashes and control characters escaped, a
// serial byte above 127 shown as its character in UTF-8.
TEST(Probe, TextsAreEscaped)
{
    const std::string dir = TempDir();
    WriteFile(dir + "/odd.log", std::string("$GPVTG,1\"2\\3\x01\t\xE9,T*00\r\n"));
    const ProbeRun run = RunProbe({dir + "/odd.log"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(Field(run.out, "displayLine"), "\"$GPVTG,1\\\"2\\\\3\\u0001\\t\xC3\xA9,T\"");
    EXPECT_EQ(Field(run.out, "course"), "1");
    std::system(("rm -rf '" + dir + "'").c_str());
}

// A tty path is opened and read like a file: a log written into a pty comes out
// as from the file. When the other side hangs up, the read fails and says so.
TEST(Probe, ReadsAPty)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slavePath = ptsname(master);
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    const std::string dir = TempDir();
    const std::string outPath = dir + "/out", errPath = dir + "/err";
    const pid_t pid = fork();
    if (pid == 0) {
        close(master);
        close(slave);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        execl(VELKAR_NMEA_PATH, VELKAR_NMEA_PATH, slavePath.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const ProbeRun expected = RunProbe({Corpus("bn-9015.log")});
    const std::string bytes = ReadFile(Corpus("bn-9015.log"));
    for (size_t at = 0; at < bytes.size();) {
        const ssize_t n = write(master, bytes.data() + at, bytes.size() - at);
        ASSERT_GT(n, 0);
        at += static_cast<size_t>(n);
    }
    // Wait until every line has come out (the test's time limit guards a hang).
    const size_t want = Lines(expected.out).size();
    while (Lines(ReadFile(outPath)).size() < want) usleep(10000);
    close(slave);
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(ReadFile(outPath), expected.out);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(ReadFile(errPath).find(slavePath), std::string::npos);
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
