// The velkar-nmea probe run as a user runs it: files, standard input, a real pty, unreadable files,
// --emulate, --convert, wrong command lines. Its numbers must read back to the very doubles computed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <algorithm>
#include <regex>
#include <set>
#include <vector>
#include "../support/common.h"
#include "geo/geo.h"

namespace {
struct TempDir {
    std::string path = MakeTempFolder("probe");
    ~TempDir() { std::filesystem::remove_all(path); }
} kTemp;
const std::string kLogPath = std::string(VELKAR_CORPUS_DIR) + "/bn-9015.log", kLog = "'" + kLogPath + "'";
struct ProbeRun { int status; std::string out, err; };
// Reads the probe's output until it ends; Probe runs it through the shell (args quoted as needed).
ProbeRun Finish(FILE* p, const std::string& errPath, std::string out = "")
{
    for (char buf[4096]; std::fgets(buf, sizeof buf, p) != nullptr;) out += buf;
    const int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, Slurp(errPath)};
}
ProbeRun Probe(const std::string& args, const std::string& input = "/dev/null")
{
    const std::string err = kTemp.path + "/err";
    return Finish(popen((VELKAR_NMEA_PATH " " + args + " <" + input + " 2>" + err).c_str(), "r"), err);
}
long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }
// The raw JSON value of "name" in the first object of text (a string keeps its quotes).
std::string Field(const std::string& text, const std::string& name)
{
    std::smatch m;
    const std::regex value("\"" + name + "\":(\"(\\\\.|[^\"\\\\])*\"|[^,}\n]*)");
    return std::regex_search(text, m, value) ? m[1].str() : "<missing>";
}
double Number(const std::string& text, const char* name) { return std::strtod(Field(text, name).c_str(), nullptr); }
// The canned cycle and the conversions have their tables in gps and geo; here the tool prints them.
TEST(Probe, EmulateConvertAndWrongCommandLines)
{
    const ProbeRun run = Probe("--emulate 6"), convert = Probe("--convert 44.348733333333335 11.7175");
    ASSERT_TRUE(run.status == 0 && Lines(run.out) == 6) << run.err;
    std::string fields;
    for (const char* name : {"kind", "displayLine", "utcTime", "latHemisphere", "utmZone", "timeDelta"})
        fields += Field(run.out, name);
    EXPECT_EQ(fields, "\"GGA\"\"$GPGGA\"\"163400.0\"\"N\"322040");
    double e = 0, n = 0, gn = 0, ge = 0;
    LatLonToUtm(44.348733333333335, 11.7175, &e, &n);
    LatLonToGrid(44.348733333333335, 11.7175, &gn, &ge);
    EXPECT_EQ(Number(run.out.substr(run.out.find('\n') + 1), "prevUtmEasting"), e);  // the second line
    ASSERT_TRUE(convert.status == 0 && Lines(convert.out) == 1 && convert.out.rfind("{\"utmZone\":32,", 0) == 0) << convert.out;
    EXPECT_TRUE(Number(convert.out, "utmEasting") == e && Number(convert.out, "utmNorthing") == n &&
                Number(convert.out, "gridNorthing") == gn && Number(convert.out, "gridEasting") == ge) << convert.out;
    const ProbeRun wrong = Probe("--convert 44 11x");
    EXPECT_TRUE(wrong.status == 1 && Lines(wrong.err) == 1 && wrong.out.empty()) << wrong.err;
}
// Files, standard input and "-" give the same lines; an unreadable file (missing, or a folder) is named
// in one line on standard error, the others are still read, and the status is 2. Texts are JSON
// strings: quotes, backslashes and control characters escaped, bytes above 127 in UTF-8.
TEST(Probe, FilesStandardInputAndErrors)
{
    const ProbeRun file = Probe(kLog), missing = Probe(kTemp.path + "/none " + kLog + " " + kTemp.path);
    EXPECT_TRUE(file.status == 0 && Lines(file.out) == 30) << file.err;  // 10 GGA, 10 VTG, 10 RMC
    EXPECT_TRUE(Probe("", kLog).out == file.out && Probe("-", kLog).out == file.out);
    EXPECT_TRUE(missing.status == 2 && missing.out == file.out && Lines(missing.err) == 2) << missing.err;
    EXPECT_TRUE(missing.err.find("/none") < missing.err.find('\n') &&
                missing.err.find(kTemp.path, missing.err.find('\n')) != std::string::npos) << missing.err;
    std::ofstream(kTemp.path + "/odd.log", std::ios::binary) << "$GPVTG,1\"2\\3\x01\t\xE9,T*00\r\n";
    const ProbeRun odd = Probe(kTemp.path + "/odd.log");
    EXPECT_EQ(Field(odd.out, "displayLine") + Field(odd.out, "course"), "\"$GPVTG,1\\\"2\\\\3\\u0001\\t\xC3\xA9,T\"1");
}
// A log written into a pty comes out as from the file; the other side hanging up ends the run.
TEST(Probe, ReadsAPty)
{
    Pty pty;  // the slave raw, and open until the end
    const std::string slave = pty.slavePath;
    ASSERT_FALSE(slave.empty());
    const ProbeRun expected = Probe(kLog);
    FILE* p = popen((VELKAR_NMEA_PATH " " + slave + " 2>" + kTemp.path + "/pty-err").c_str(), "r");
    pty.Write(Slurp(kLogPath));
    std::string out;
    for (char buf[4096]; Lines(out) < Lines(expected.out) && std::fgets(buf, sizeof buf, p) != nullptr;) out += buf;
    pty.Unplug();
    const ProbeRun run = Finish(p, kTemp.path + "/pty-err", out);
    EXPECT_EQ(run.out, expected.out);
    // The kernel ends a hung-up tty either as a failed read (EIO: status 2, naming the device) or as an
    // end of file, depending on when the hang-up lands.
    EXPECT_TRUE((run.status == 2 && run.err.find(slave) != std::string::npos) || (run.status == 0 && run.err.empty()))
        << run.status << " " << run.err;
}
// Every corpus log against tests/data/probe-corpus-states.txt (scripts/corpus-states.py, made once with
// the landed probe): this build's whole output by hash, so that any state after any sentence that
// changes fails; for receivers sending GGA and VTG, the landed states from the second GGA on.
uint64_t Fnv(const std::vector<std::string>& lines)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (const std::string& line : lines)
        for (char c : line + "\n") h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    return h;
}
TEST(Probe, CorpusStatesAsKept)
{
    const std::set<std::string> readDifferently = {  // GGA and VTG, but read differently now:
        "bundg_zeus_9.log",                  // an RMC stands in for the GGA missing at 09:48:03
        "ericsson-gru04-02-70sec.log",       // 71 GNS and 2 GGA: the GNS stand in
        "gp-320fw-2019-04-07-coldboot.log",  // RMC stand in between GGAs; a banner no longer swallows a GGA
        "humminbird-M37.log",                // an RMC between every two GGAs stands in
        "quectel-eg25-g.log"};               // the first GNS sets the time its GGAs without time keep
    std::ifstream data(std::string(VELKAR_SOURCE_DIR) + "/tests/data/probe-corpus-states.txt");
    int logs = 0, asLanded = 0;
    for (std::string log, landed, now; data >> log;) {
        if (log[0] == '#' && std::getline(data, log)) continue;
        size_t landedCount = 0, nowCount = 0;
        data >> landedCount >> landed >> nowCount >> now;
        std::vector<std::string> lines, kept;
        std::istringstream out(Probe("'" + std::string(VELKAR_CORPUS_DIR) + "/" + log + "'").out);
        int ggas = 0, vtgs = 0;
        for (std::string line; std::getline(out, line); lines.push_back(line)) {
            const bool gga = line.rfind("{\"kind\":\"GGA", 0) == 0, vtg = line.rfind("{\"kind\":\"VTG", 0) == 0;
            if ((ggas += gga) >= 2 && (gga || vtg)) kept.push_back(line);
            vtgs += vtg;
        }
        EXPECT_TRUE(lines.size() == nowCount && Fnv(lines) == std::stoull(now, nullptr, 16)) << log;
        ++logs;
        if (ggas == 0 || vtgs == 0 || readDifferently.count(log) != 0) continue;
        EXPECT_TRUE(kept.size() == landedCount && Fnv(kept) == std::stoull(landed, nullptr, 16)) << log << " unlike landed";
        ++asLanded;
    }
    EXPECT_TRUE(logs == 36 && asLanded == 20) << logs << " logs, " << asLanded << " read as the landed build";
}
}  // namespace
