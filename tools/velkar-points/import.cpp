// velkar-points import: the file's waypoints (or, with --routes or --tracks, its
// route or track points) through GPSBabel into vlpref.cfg, in degrees or plane
// metres as the settings say, under the device root's lock; a point the plane
// grid cannot hold is refused, and nothing is written.
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
#include "grid_inverse.h"
#include "platform/files.h"
#include "platform/root_lock.h"
#include "points_tool.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace fs = std::filesystem;

namespace {

const char16_t kVelkarFolder[] = u"\\My Documents\\Velkar";
constexpr double kRoundTripMetres = 1.0;  // plane metres must give the position back within this
constexpr double kEarthRadius = 6371000.0;

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

// Lines of the exchange styles: waypoints "Rocca\t44.348733000\t11.717500000";
// route or track points "44.2\t11.2\tGiro", named here "Giro 1", "Giro 2"...
std::vector<Waypoint> ReadExchange(const std::string& path, int pathPoints, int* skipped)
{
    std::vector<Waypoint> points;
    std::ifstream in(path, std::ios::binary);
    std::string line, lastPath;
    int number = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
        fields.resize(std::max<size_t>(fields.size(), 3));
        const int latField = pathPoints ? 0 : 1;
        char* end1 = nullptr;
        char* end2 = nullptr;
        const double lat = std::strtod(fields[latField].c_str(), &end1);
        const double lon = std::strtod(fields[latField + 1].c_str(), &end2);
        if (!(lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180) || *end1 != 0 || *end2 != 0) {
            ++*skipped;
            continue;
        }
        std::string name = fields[0];
        if (pathPoints) {
            std::string pathName = fields[2].empty() ? (pathPoints == 1 ? "Route" : "Track") : fields[2];
            number = pathName == lastPath ? number + 1 : 1;
            lastPath = pathName;
            // The number survives the 31-character cut.
            const std::string suffix = " " + std::to_string(number);
            std::u16string wide = TokenText(pathName, kPrefNameSize - suffix.size());
            name = TextToUtf8(wide.c_str()) + suffix;
        }
        points.push_back({name, lat, lon});
    }
    return points;
}

double Metres(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = (lat2 - lat1) * kDegToRad;
    const double dLon = std::remainder(lon2 - lon1, 360.0) * kDegToRad * std::cos(lat1 * kDegToRad);
    return kEarthRadius * std::hypot(dLat, dLon);
}

// The record of a point; 0 with *why when plane metres would not give it back.
int PointRecord(const Waypoint& w, size_t number, RawRecord* r, std::string* why)
{
    (*r)[0] = Utf8ToText(std::to_string(number));
    (*r)[1] = TokenText(w.name.empty() ? "WPT" + std::to_string(number) : w.name, kPrefNameSize);
    if (settings.prefInDegrees == 1) {
        (*r)[3] = Utf8ToText(FixedText(w.latitude, kDegreeDecimals));
        (*r)[4] = Utf8ToText(FixedText(w.longitude, kDegreeDecimals));
    } else {
        double northing = 0, easting = 0, lat = NAN, lon = NAN;
        LatLonToGrid(w.latitude, w.longitude, &northing, &easting);
        const int back = GridToLatLon(northing, easting, &lat, &lon);
        const double off = back ? Metres(w.latitude, w.longitude, lat, lon) : INFINITY;
        if (!(off <= kRoundTripMetres)) {
            *why = "the point " + TextToUtf8((*r)[1].c_str()) + " at " + FixedText(w.latitude, 6) + ", " +
                   FixedText(w.longitude, 6) + " lies too far from 9 E for plane metres (it would come back " +
                   (back ? FixedText(off / 1000, 1) + " km away" : std::string("nowhere")) +
                   "): set prefInDegrees to 1 in vlcfg.cfg, or leave the point out";
            return 0;
        }
        (*r)[3] = Utf8ToText(FixedText(easting, kMetreDecimals));
        (*r)[4] = Utf8ToText(FixedText(northing, kMetreDecimals));
    }
    (*r)[2] = (*r)[5] = (*r)[6] = (*r)[8] = (*r)[9] = (*r)[10] = (*r)[11] = (*r)[12] = u"-";
    (*r)[7] = u"0";
    return 1;
}

}  // namespace

int RunImport(const Options& o)
{
    const char* kinds[] = {"waypoint", "route point", "track point"};
    const char* styles[] = {"velkar-points.style", "velkar-route-points.style", "velkar-track-points.style"};
    const std::string kind = kinds[o.pathPoints];
    std::string message;
    if (!InputIsRegularFile(o.file, &message)) return Refuse(message);
    const std::string exchange = ScratchFile("points.txt");
    if (exchange.empty()) return Refuse("cannot create a temporary file");
    if (!RunGpsBabel({"-i", "gpx", "-f", o.file, "-o", "xcsv,style=" + StyleFolder() + "/" + styles[o.pathPoints],
                      "-F", exchange},
                     &message))
        return Refuse(o.file + " cannot be read: " + message);
    int skipped = 0;
    const std::vector<Waypoint> points = ReadExchange(exchange, o.pathPoints, &skipped);
    if (points.empty())
        return Refuse(o.file + " holds no " + kind + "s" +
                      (o.pathPoints ? "" : " (--routes or --tracks takes its route or track points)"));

    // Read, change and replace vlpref.cfg under the device root's lock.
    std::string holder;
    const int lock = LockDeviceRoot(kLockWaitMs, "velkar-points", &holder);
    if (lock < 0) return Refuse(LockRefusal(holder));
    std::vector<RawRecord> records;
    std::string why;
    if (!o.replace && !CatalogueRewritable(kPrefPointsPath, &why)) {
        UnlockDeviceRoot(lock);
        return Refuse(DevicePathToHost(kPrefPointsPath) + " cannot be read record by record (" + why +
                      "); it is left as it was");
    }
    if (!o.replace) ReadRawRecords(kPrefPointsPath, &records);
    if (records.size() + points.size() > static_cast<size_t>(kPrefCount)) {
        UnlockDeviceRoot(lock);
        return Refuse("vlpref.cfg holds " + std::to_string(records.size()) + " points and " + o.file + " " +
                      std::to_string(points.size()) + " " + kind +
                      "s; the navigator reads 10 (--replace drops the old ones)");
    }
    int cut = 0;
    for (const Waypoint& w : points) {
        RawRecord r;
        if (!PointRecord(w, records.size() + 1, &r, &why)) {
            UnlockDeviceRoot(lock);
            return Refuse(why);
        }
        if (Utf8ToText(w.name).size() > r[1].size()) ++cut;
        records.push_back(r);
    }
    const int written = EnsureVelkarFolder() && ReplaceTextFile(kPrefPointsPath, RawRecordsText(records).c_str());
    UnlockDeviceRoot(lock);
    if (!written) return Refuse("cannot write " + DevicePathToHost(kPrefPointsPath) + "; it is left as it was");
    std::printf("%s: %zu %s%s into %s, now %zu points in %s\n", o.file.c_str(), points.size(), kind.c_str(),
                points.size() == 1 ? "" : "s", DevicePathToHost(kPrefPointsPath).c_str(), records.size(),
                settings.prefInDegrees == 1 ? "degrees (prefInDegrees 1)" : "plane metres");
    if (cut > 0) std::printf("%d name%s cut to 31 characters\n", cut, cut == 1 ? "" : "s");
    if (skipped > 0)
        std::printf("%d %s%s without a valid position left out\n", skipped, kind.c_str(), skipped == 1 ? "" : "s");
    return kExitOk;
}
