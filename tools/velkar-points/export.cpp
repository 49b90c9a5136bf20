// velkar-points export: the preference points as GPX 1.1 waypoints, plane
// metres turned back into latitude/longitude; a point that gives none is named
// and the export refused, never silently left out.
#include <cmath>
#include <fstream>

#include "base/text.h"
#include "catalogue.h"
#include "geo/geo.h"
#include "grid_inverse.h"
#include "platform/files.h"
#include "points_tool.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {

constexpr double kRoundTripMetres = 1.0;

// Latitude/longitude of a record's two coordinates; 0 when they give none.
int RecordPosition(const RawRecord& r, double* lat, double* lon)
{
    const double a = TextToDouble(r[3].c_str());
    const double b = TextToDouble(r[4].c_str());
    if (settings.prefInDegrees == 1) {
        *lat = a, *lon = b;
        return a >= -90 && a <= 90 && b >= -180 && b <= 180;
    }
    if (GridToLatLon(b, a, lat, lon) == 0) return 0;
    *lon = std::remainder(*lon, 360.0);  // the grid repeats every turn of longitude
    double northing = 0, easting = 0;
    LatLonToGrid(*lat, *lon, &northing, &easting);
    return *lat >= -90 && *lat <= 90 && std::hypot(northing - b, easting - a) <= kRoundTripMetres;
}

}  // namespace

int RunExport(const Options& o)
{
    std::vector<RawRecord> records;
    if (ReadRawRecords(kPrefPointsPath, &records) == 0)
        return Refuse(DevicePathToHost(kPrefPointsPath) + " cannot be read");
    if (records.size() > static_cast<size_t>(kPrefCount)) records.resize(kPrefCount);  // what the navigator reads
    const std::string exchange = ScratchFile("points.txt");
    if (exchange.empty()) return Refuse("cannot create a temporary file");
    std::string unplaced;
    int unplacedCount = 0;
    {
        std::ofstream out(exchange, std::ios::binary);
        for (const RawRecord& r : records) {
            std::string name = TextToUtf8(r[1].c_str());
            double lat = 0, lon = 0;
            if (!RecordPosition(r, &lat, &lon)) {
                unplaced += (unplacedCount++ ? ", " : "") + name + " (" + TextToUtf8(r[3].c_str()) + ", " +
                            TextToUtf8(r[4].c_str()) + ")";
                continue;
            }
            for (char& c : name)
                if (c == '\t' || c == '\n') c = ' ';
            out << name << '\t' << FixedText(lat, kDegreeDecimals) << '\t' << FixedText(lon, kDegreeDecimals) << '\n';
        }
        if (!out.flush()) return Refuse("cannot write a temporary file");
    }
    if (unplacedCount > 0)
        return Refuse(std::to_string(unplacedCount) + " point" + (unplacedCount == 1 ? "" : "s") +
                      " of vlpref.cfg give no latitude/longitude: " + unplaced + "; nothing written");
    return WriteGpx("velkar-points.style", exchange, o.output);
}
