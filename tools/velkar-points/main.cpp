// velkar-points: GPX waypoints in and out of the navigator's preference points,
// and its track log out as a GPX 1.1 track. GPSBabel (run as a program, with the
// project's xcsv style files) reads and writes GPX; this tool reads and writes the
// navigator's own files through the core. Exit 0 done, 1 usage, 2 refused.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "../tool_message.h"
#include "base/text.h"
#include "catalogue.h"
#include "geo/geo.h"
#include "grid_inverse.h"
#include "platform/files.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "store/track_log.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitRefused = 2;
constexpr int kDegreeDecimals = 9;  // about 0.1 mm
constexpr int kMetreDecimals = 3;
const char16_t kVelkarFolder[] = u"\\My Documents\\Velkar";

const char kHelp[] =
    "usage: velkar-points import FILE.gpx [--replace] [--root DIR]\n"
    "       velkar-points export [--output FILE.gpx] [--root DIR]\n"
    "       velkar-points track --date YYYY-MM-DD [--hemisphere N|S,E|W]\n"
    "                           [--log FILE] [--output FILE.gpx] [--root DIR]\n"
    "\n"
    "import  The file's waypoints (any format GPSBabel reads as GPX) are added to\n"
    "        vlpref.cfg, in degrees or plane metres as the settings'\n"
    "        prefInDegrees says, without alert; names are cut to 31 characters.\n"
    "        --replace drops the points already there. The navigator reads ten\n"
    "        points: more are refused.\n"
    "export  The preference points as GPX 1.1 waypoints (standard output unless\n"
    "        --output).\n"
    "track   The track log (\\Scheda di memoria\\GpsLog.txt, or --log FILE) as a\n"
    "        GPX 1.1 track. The log holds neither date nor hemisphere: --date is\n"
    "        the UTC day of its first line (a day is added whenever the time of\n"
    "        day goes back) and --hemisphere (default N,E) signs every position.\n"
    "  --root DIR  device root (default $XDG_DATA_HOME/velkar)\n"
    "\n"
    "Needs gpsbabel. Exit status: 0 done, 1 wrong command line, 2 refused\n"
    "(nothing written).\n";

int Usage(const std::string& message) { return ToolMessage("velkar-points", message, kExitUsage, 1); }
int Refuse(const std::string& message) { return ToolMessage("velkar-points", message, kExitRefused); }

struct Options {
    std::string command;
    std::string file;
    std::string root;
    std::string output = "-";
    std::string log;
    std::string date;
    std::string hemisphere = "N,E";
    int replace = 0;
};

int ParseOptions(int argc, char** argv, Options* o, std::string* message)
{
    o->command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) { return OptionValue(argc, argv, &i, out, message); };
        const bool track = o->command == "track";
        if (arg == "--root") {
            if (!value(&o->root)) return 0;
        } else if (arg == "--replace" && o->command == "import") {
            o->replace = 1;
        } else if (arg == "--output" && o->command != "import") {
            if (!value(&o->output)) return 0;
        } else if (arg == "--log" && track) {
            if (!value(&o->log)) return 0;
        } else if (arg == "--date" && track) {
            if (!value(&o->date)) return 0;
        } else if (arg == "--hemisphere" && track) {
            if (!value(&o->hemisphere)) return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            *message = "unknown option " + arg;
            return 0;
        } else if (o->command == "import" && o->file.empty()) {
            o->file = arg;
        } else {
            *message = "unexpected argument " + arg;
            return 0;
        }
    }
    if (o->command == "import" && o->file.empty()) {
        *message = "import needs a GPX FILE";
        return 0;
    }
    if (o->command == "track" && o->date.empty()) {
        *message = "the track log holds no date: give --date YYYY-MM-DD, the UTC day of its first line";
        return 0;
    }
    return 1;
}

// The folder of the project's GPSBabel style files: installed beside the
// program (../share/velkar/gpsbabel), else the source tree it was built from.
std::string StyleFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path installed = self.parent_path().parent_path() / "share/velkar/gpsbabel";
        if (fs::exists(installed / "velkar-points.style", ec)) return installed.string();
    }
    return VELKAR_GPSBABEL_STYLES_SOURCE;
}

// A temporary file (removed by its destructor).
struct TempFile {
    std::string path;
    TempFile()
    {
        std::string pattern = (fs::temp_directory_path() / "velkar-points-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) {
            close(fd);
            path = pattern;
        }
    }
    ~TempFile()
    {
        if (!path.empty()) unlink(path.c_str());
    }
};

// Runs gpsbabel with args; its error output is kept and its first line returned
// through *message when it fails. Returns 1 when it exited with 0.
int RunGpsBabel(const std::vector<std::string>& args, std::string* message)
{
    TempFile errors;
    std::vector<char*> argv;
    std::string program = "gpsbabel";
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!errors.path.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errors.path.c_str(), O_WRONLY | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "gpsbabel", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        *message = "gpsbabel cannot be run (Debian package gpsbabel): " + std::string(std::strerror(spawned));
        return 0;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 1;
    std::ifstream in(errors.path);
    std::string line;
    std::getline(in, line);
    *message = "gpsbabel: " + (line.empty() ? std::string("failed") : line);
    return 0;
}

// Has GPSBabel turn an exchange file of the project's style into GPX 1.1 at output.
int WriteGpx(const char* style, const std::string& exchange, const std::string& output)
{
    std::string message;
    if (!RunGpsBabel({"-i", "xcsv,style=" + StyleFolder() + "/" + style, "-f", exchange, "-o", "gpx,gpxver=1.1",
                      "-F", output},
                     &message))
        return Refuse(message);
    return kExitOk;
}

std::string FixedText6(double v) { return FixedText(v, 6); }

int EnsureVelkarFolder()
{
    std::error_code ec;
    fs::create_directories(DevicePathToHost(kVelkarFolder), ec);
    return fs::is_directory(DevicePathToHost(kVelkarFolder), ec) ? 1 : 0;
}

struct Waypoint {
    std::string name;
    double latitude;
    double longitude;
};

// Lines of the points exchange style: "Rocca\t44.348733000\t11.717500000".
std::vector<Waypoint> ReadExchange(const std::string& path, int* skipped)
{
    std::vector<Waypoint> points;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
        char* end1 = nullptr;
        char* end2 = nullptr;
        const double lat = fields.size() >= 3 ? std::strtod(fields[1].c_str(), &end1) : NAN;
        const double lon = fields.size() >= 3 ? std::strtod(fields[2].c_str(), &end2) : NAN;
        if (!(lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180) || *end1 != 0 || *end2 != 0) {
            ++*skipped;
            continue;
        }
        points.push_back({fields[0], lat, lon});
    }
    return points;
}

int RunImport(const Options& o)
{
    const std::string styles = StyleFolder();
    TempFile exchange;
    if (exchange.path.empty()) return Refuse("cannot create a temporary file");
    std::string message;
    if (!RunGpsBabel({"-i", "gpx", "-f", o.file, "-o", "xcsv,style=" + styles + "/velkar-points.style", "-F",
                      exchange.path},
                     &message))
        return Refuse(o.file + " cannot be read: " + message);
    int skipped = 0;
    const std::vector<Waypoint> points = ReadExchange(exchange.path, &skipped);
    if (points.empty()) return Refuse(o.file + " holds no waypoints");

    std::vector<RawRecord> records;
    if (!o.replace) ReadRawRecords(kPrefPointsPath, &records);
    if (records.size() + points.size() > static_cast<size_t>(kPrefCount))
        return Refuse("vlpref.cfg holds " + std::to_string(records.size()) + " points and " + o.file + " " +
                      std::to_string(points.size()) + " waypoints; the navigator reads 10 (--replace drops the old ones)");
    int cut = 0;
    for (const Waypoint& w : points) {
        RawRecord r;
        r[0] = Utf8ToText(std::to_string(records.size() + 1));
        const std::string name = w.name.empty() ? "WPT" + std::to_string(records.size() + 1) : w.name;
        r[1] = TokenText(name, kPrefNameSize);
        if (Utf8ToText(name).size() > r[1].size()) ++cut;
        if (settings.prefInDegrees == 1) {
            r[3] = Utf8ToText(FixedText(w.latitude, kDegreeDecimals));
            r[4] = Utf8ToText(FixedText(w.longitude, kDegreeDecimals));
        } else {
            double northing = 0, easting = 0;
            LatLonToGrid(w.latitude, w.longitude, &northing, &easting);
            r[3] = Utf8ToText(FixedText(easting, kMetreDecimals));
            r[4] = Utf8ToText(FixedText(northing, kMetreDecimals));
        }
        r[2] = r[5] = r[6] = r[8] = r[9] = r[10] = r[11] = r[12] = u"-";
        r[7] = u"0";
        records.push_back(r);
    }
    if (!EnsureVelkarFolder() || ReplaceTextFile(kPrefPointsPath, RawRecordsText(records).c_str()) == 0)
        return Refuse("cannot write " + DevicePathToHost(kPrefPointsPath) + "; it is left as it was");
    std::printf("%s: %zu waypoint%s into %s, now %zu points in %s\n", o.file.c_str(), points.size(),
                points.size() == 1 ? "" : "s", DevicePathToHost(kPrefPointsPath).c_str(), records.size(),
                settings.prefInDegrees == 1 ? "degrees (prefInDegrees 1)" : "plane metres");
    if (cut > 0) std::printf("%d name%s cut to 31 characters\n", cut, cut == 1 ? "" : "s");
    if (skipped > 0) std::printf("%d waypoint%s without a valid position left out\n", skipped, skipped == 1 ? "" : "s");
    return kExitOk;
}

int RunExport(const Options& o)
{
    std::vector<RawRecord> records;
    if (ReadRawRecords(kPrefPointsPath, &records) == 0)
        return Refuse(DevicePathToHost(kPrefPointsPath) + " cannot be read");
    if (records.size() > static_cast<size_t>(kPrefCount)) records.resize(kPrefCount);  // what the navigator reads
    TempFile exchange;
    if (exchange.path.empty()) return Refuse("cannot create a temporary file");
    {
        std::ofstream out(exchange.path, std::ios::binary);
        for (const RawRecord& r : records) {
            const double a = TextToDouble(r[3].c_str());
            const double b = TextToDouble(r[4].c_str());
            double lat = a, lon = b;
            if (settings.prefInDegrees != 1 && GridToLatLon(b, a, &lat, &lon) == 0) continue;
            std::string name = TextToUtf8(r[1].c_str());
            for (char& c : name)
                if (c == '\t' || c == '\n') c = ' ';
            out << name << '\t' << FixedText(lat, kDegreeDecimals) << '\t' << FixedText(lon, kDegreeDecimals) << '\n';
        }
        if (!out.flush()) return Refuse("cannot write a temporary file");
    }
    return WriteGpx("velkar-points.style", exchange.path, o.output);
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

std::string CivilText(int64_t days)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return text;
}

// "2026-12-06" to days since 1970-01-01; 0 when it is no date.
int ParseDate(const std::string& text, int64_t* days)
{
    unsigned y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u%c", &y, &m, &d, &tail) != 3) return 0;
    if (m < 1 || m > 12 || d < 1 || d > 31) return 0;
    *days = DaysFromCivil(y, m, d);
    return CivilText(*days) == text ? 1 : 0;  // 2026-02-30 does not come back the same
}

// A log line's time text, "163400.0" (hhmmss with optional fraction), to
// seconds of the day; -1 when it is not one.
double TimeOfDay(const std::string& text)
{
    if (text.size() < 6) return -1;
    for (int i = 0; i < 6; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    char* end = nullptr;
    const double fraction = text.size() > 6 ? std::strtod(text.c_str() + 6, &end) : 0;
    if (text.size() > 6 && (text[6] != '.' || *end != 0)) return -1;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int mi = (text[2] - '0') * 10 + (text[3] - '0');
    const int s = (text[4] - '0') * 10 + (text[5] - '0');
    if (h > 23 || mi > 59 || s > 60) return -1;
    return h * 3600 + mi * 60 + s + fraction;
}

int RunTrack(const Options& o)
{
    int64_t day = 0;
    if (!ParseDate(o.date, &day)) return Refuse("--date needs a date YYYY-MM-DD, not '" + o.date + "'");
    const std::string& h = o.hemisphere;
    if (h.size() != 3 || (h[0] != 'N' && h[0] != 'S') || h[1] != ',' || (h[2] != 'E' && h[2] != 'W'))
        return Refuse("--hemisphere needs N or S, a comma and E or W (N,E), not '" + h + "'");
    const double latSign = h[0] == 'S' ? -1 : 1;
    const double lonSign = h[2] == 'W' ? -1 : 1;

    const std::string logPath = o.log.empty() ? DevicePathToHost(kTrackLogPath) : o.log;
    std::ifstream in(logPath, std::ios::binary);
    if (!in) return Refuse(logPath + " cannot be read");
    TempFile exchange;
    if (exchange.path.empty()) return Refuse("cannot create a temporary file");
    std::ofstream out(exchange.path, std::ios::binary);
    int points = 0, skipped = 0;
    double previous = -1;
    // 44.348733;11.717500;163400.0;1;0.000000;0.000000 \n
    // latitude  longitude utcTime  fix speedKmh course
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, ';');) f.push_back(field);
        if (f.size() < 6) {
            if (line.find_first_not_of(" \r") != std::string::npos) ++skipped;
            continue;
        }
        char *e1 = nullptr, *e2 = nullptr;
        const double lat = std::strtod(f[0].c_str(), &e1);
        const double lon = std::strtod(f[1].c_str(), &e2);
        const double t = TimeOfDay(f[2]);
        if (*e1 != 0 || *e2 != 0 || !(lat >= 0 && lat <= 90 && lon >= 0 && lon <= 180) || t < 0) {
            ++skipped;
            continue;
        }
        if (previous >= 0 && t < previous) ++day;  // past midnight
        previous = t;
        const int whole = static_cast<int>(t);
        char time[64];
        std::snprintf(time, sizeof time, "%sT%02d:%02d:%02d.%03dZ", CivilText(day).c_str(), whole / 3600,
                      whole / 60 % 60, whole % 60, static_cast<int>(std::lround((t - whole) * 1000)) % 1000);
        out << FixedText6(lat * latSign) << ';' << FixedText6(lon * lonSign) << ';' << time << ';'
            << FixedText6(std::strtod(f[4].c_str(), nullptr)) << ';' << FixedText6(std::strtod(f[5].c_str(), nullptr))
            << '\n';
        ++points;
    }
    out.close();
    if (!out) return Refuse("cannot write a temporary file");
    if (points == 0) return Refuse(logPath + " holds no track-log lines");
    std::fprintf(stderr,
                 "velkar-points: the track log holds no date and no hemisphere: its first line is dated %s UTC "
                 "(a day added whenever the time goes back) and every position taken as %s (--date, --hemisphere)\n",
                 o.date.c_str(), h.c_str());
    if (skipped > 0) std::fprintf(stderr, "velkar-points: %d line%s that are not track-log lines left out\n", skipped,
                                  skipped == 1 ? "" : "s");
    return WriteGpx("velkar-track.style", exchange.path, o.output);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage("give a command: import, export or track");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (command != "import" && command != "export" && command != "track") return Usage("unknown command " + command);
    Options o;
    std::string message;
    if (!ParseOptions(argc, argv, &o, &message)) return Usage(message);
    SetDeviceRoot(o.root.empty() ? DeviceRootDefault() : o.root);
    LoadSettings();
    if (command == "import") return RunImport(o);
    if (command == "export") return RunExport(o);
    return RunTrack(o);
}
