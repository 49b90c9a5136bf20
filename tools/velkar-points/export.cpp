// velkar-points export: the preference points as GPX 1.1 waypoints, plane
// metres turned back into latitude/longitude.
#include <fstream>

#include "base/text.h"
#include "catalogue.h"
#include "grid_inverse.h"
#include "platform/files.h"
#include "points_tool.h"
#include "store/prefs.h"
#include "store/settings.h"

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

