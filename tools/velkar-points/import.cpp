// velkar-points import: the GPX file's waypoints, through GPSBabel, added to
// vlpref.cfg in degrees or plane metres as the settings say.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/text.h"
#include "catalogue.h"
#include "geo/geo.h"
#include "platform/files.h"
#include "points_tool.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace fs = std::filesystem;

namespace {

const char16_t kVelkarFolder[] = u"\\My Documents\\Velkar";

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

}  // namespace

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

