// velkar-map: brings a user's georeferenced raster into the navigator's map
// catalogue (a BMP in "My Documents/Velkar/maps" and a vlmap.cfg record whose
// edges come from the navigator's own LatLonToGrid), and lists the catalogue.
// GDAL/PROJ and the navigation core only; exit 0 done, 1 usage, 2 refused.
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "../tool_message.h"
#include "base/text.h"
#include "catalogue.h"
#include "grid_inverse.h"
#include "platform/files.h"
#include "raster.h"
#include "store/maps.h"
#include "store/settings.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitRefused = 2;
constexpr double kResidualGoal = 0.5;            // metres
constexpr uint64_t kMaxBmpBytes = 0xFFFFFFFFull;  // the BMP header's 32-bit file size
constexpr int kMetreDecimals = 3;                 // millimetres
constexpr int kDegreeDecimals = 10;               // about 0.01 mm
const char16_t kMapsFolder[] = u"\\My Documents\\Velkar\\maps";

const char kHelp[] =
    "usage: velkar-map import FILE [--name NAME] [--srs SRS] [--replace N]\n"
    "                  [--resampling METHOD] [--root DIR]\n"
    "       velkar-map list [--root DIR]\n"
    "\n"
    "import  Takes any raster GDAL opens with a georeference (GeoTIFF, an\n"
    "        OziExplorer .map with its image, an image with a world file and a\n"
    "        .prj, KAP...). A raster already north-up in EPSG:32632 or 25832 is\n"
    "        taken pixel for pixel; any other is warped into EPSG:32632 at about\n"
    "        its own resolution. Writes maps/NAME.bmp (24-bit, uncompressed) in\n"
    "        the device's My Documents/Velkar folder and appends a record to\n"
    "        vlmap.cfg, in plane metres or, when the settings' mapInDegrees is 1,\n"
    "        in degrees. Prints the record and the residual between where the\n"
    "        navigator puts the map and GDAL's own transform.\n"
    "  --name NAME          name in the Map set list (default: the file's name)\n"
    "  --srs SRS            coordinate system when the file has none (EPSG:NNNN,\n"
    "                       WKT, PROJ string); a .prj beside the file is read too\n"
    "  --replace N          replace record N (1 to 5) instead of appending\n"
    "  --resampling METHOD  GDAL resampling when warping (default bilinear;\n"
    "                       near, cubic, lanczos, average...)\n"
    "list    Prints each record, its coverage in latitude/longitude and whether\n"
    "        its bitmap opens.\n"
    "  --root DIR           device root (default $XDG_DATA_HOME/velkar)\n"
    "\n"
    "Exit status: 0 done, 1 wrong command line, 2 input refused (nothing written).\n";

int Usage(const std::string& message) { return ToolMessage("velkar-map", message, kExitUsage, 1); }
int Refuse(const std::string& message) { return ToolMessage("velkar-map", message, kExitRefused); }

struct Options {
    std::string command;
    std::string file;
    std::string name;
    std::string srs;
    std::string resampling = "bilinear";
    std::string root;
    int replace = 0;  // 1-based record number, 0 = append
};

int ParseOptions(int argc, char** argv, Options* o, std::string* message)
{
    o->command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) { return OptionValue(argc, argv, &i, out, message); };
        if (arg == "--root") {
            if (!value(&o->root)) return 0;
        } else if (arg == "--name" && o->command == "import") {
            if (!value(&o->name)) return 0;
        } else if (arg == "--srs" && o->command == "import") {
            if (!value(&o->srs)) return 0;
        } else if (arg == "--resampling" && o->command == "import") {
            if (!value(&o->resampling)) return 0;
        } else if (arg == "--replace" && o->command == "import") {
            std::string n;
            if (!value(&n)) return 0;
            char* end = nullptr;
            const long k = std::strtol(n.c_str(), &end, 10);
            if (end == n.c_str() || *end != 0 || k < 1 || k > kMapCount) {
                *message = "--replace needs a record number from 1 to 5, not '" + n + "'";
                return 0;
            }
            o->replace = static_cast<int>(k);
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
        *message = "import needs a FILE";
        return 0;
    }
    return 1;
}

void LoadDevice(const Options& o)
{
    SetDeviceRoot(o.root.empty() ? DeviceRootDefault() : o.root);
    LoadSettings();
}

std::string DegreesText(double lat, double lon)
{
    return FixedText(std::fabs(lat), 6) + (lat < 0 ? "S " : "N ") + FixedText(std::fabs(lon), 6) + (lon < 0 ? "W" : "E");
}

int RunList(const Options& o)
{
    LoadDevice(o);
    const std::string file = DevicePathToHost(kMapCataloguePath);
    if (LoadMapCatalogue() == 0) {
        std::printf("%s: no catalogue; the navigator shows its built-in map .\\temp.bmp\n", file.c_str());
        return kExitOk;
    }
    std::printf("%s: %d map%s, corners in %s\n", file.c_str(), lastMapIndex + 1, lastMapIndex == 0 ? "" : "s",
                settings.mapInDegrees == 1 ? "degrees (mapInDegrees 1)" : "plane metres");
    for (int i = 0; i <= lastMapIndex && i < kMapCount; ++i) {
        const MapEntry& m = mapTable[i];
        double lat0, lon0, lat1, lon1;
        const int placed = GridToLatLon(m.topLeftY, m.topLeftX, &lat0, &lon0) &&
                           GridToLatLon(m.bottomRightY, m.bottomRightX, &lat1, &lon1);
        const BitmapCheck check = CheckBitmapFile(DevicePathToHost(m.bitmapPath));
        std::printf("%d  %s\n", i + 1, TextToUtf8(m.name).c_str());
        std::printf("   bitmap   %s: %s%s\n", TextToUtf8(m.bitmapPath).c_str(), check.opens ? "opens, " : "does not open, ",
                    check.detail.c_str());
        if (check.opens && check.widthPx > 0 && (check.widthPx != m.widthPx || check.heightPx != m.heightPx))
            std::printf("   note     the record's scale is %d x %d pixels, the bitmap's %d x %d\n", m.widthPx, m.heightPx,
                        check.widthPx, check.heightPx);
        std::printf("   plane    %s E %s N to %s E %s N, %d x %d pixels, calibration %d,%d\n",
                    FixedText(m.topLeftX, 1).c_str(), FixedText(m.topLeftY, 1).c_str(),
                    FixedText(m.bottomRightX, 1).c_str(), FixedText(m.bottomRightY, 1).c_str(), m.widthPx, m.heightPx,
                    m.calibX, m.calibY);
        if (placed)
            std::printf("   covers   %s to %s\n", DegreesText(lat0, lon0).c_str(), DegreesText(lat1, lon1).c_str());
        else
            std::printf("   covers   (its edges lie outside latitude/longitude)\n");
    }
    return kExitOk;
}

// File-name part for the bitmap: letters, digits, '-', '_' and '.'.
std::string SafeFileStem(const std::string& name)
{
    std::string stem;
    for (unsigned char c : name) stem.push_back(std::isalnum(c) || c == '-' || c == '_' || c == '.' ? char(c) : '_');
    while (!stem.empty() && stem[0] == '.') stem.erase(0, 1);
    if (stem.size() > 64) stem.resize(64);
    return stem.empty() ? "map" : stem;
}

int RunImport(const Options& o)
{
    LoadDevice(o);
    // The catalogue as it stands: the navigator's own reading for the count, the
    // raw tokens so that untouched records are written back as they were.
    const int count = LoadMapCatalogue() == 1 ? lastMapIndex + 1 : 0;
    std::vector<RawRecord> records;
    ReadRawRecords(kMapCataloguePath, &records);
    if (o.replace > 0 && o.replace > count)
        return Refuse("--replace " + std::to_string(o.replace) + ": vlmap.cfg holds " + std::to_string(count) +
                      " record" + (count == 1 ? "" : "s"));
    if (o.replace == 0 && count >= kMapCount)
        return Refuse("vlmap.cfg already holds " + std::to_string(count) +
                      " maps, the most the navigator reads; give --replace N (1 to 5) to replace one");

    std::string error;
    MapRaster raster;
    if (!OpenMapRaster(o.file, o.srs, o.resampling, &raster, &error)) return Refuse(error);
    MapPlacement place{};
    if (!PlaceMapRaster(raster, &place, &error)) {
        CloseMapRaster(&raster);
        return Refuse(error);
    }
    const uint64_t bytes = BmpFileSize(raster.widthPx, raster.heightPx);
    if (bytes > kMaxBmpBytes) {
        CloseMapRaster(&raster);
        return Refuse("the map would be " + std::to_string(raster.widthPx) + " x " + std::to_string(raster.heightPx) +
                      " pixels, over the 4 GiB a BMP holds: cut it (gdal_translate -srcwin) or lower its resolution");
    }

    // Where the bitmap goes: maps/STEM.bmp, never over an existing file.
    const std::string fileName = fs::path(o.file).stem().string();
    const std::string name = o.name.empty() ? fileName : o.name;
    std::error_code ec;
    fs::create_directories(DevicePathToHost(kMapsFolder), ec);
    const fs::path folder = DevicePathToHost(kMapsFolder);
    if (!fs::is_directory(folder, ec)) {
        CloseMapRaster(&raster);
        return Refuse("cannot create the folder " + folder.string());
    }
    const std::string stem = SafeFileStem(name);
    std::string bitmapName = stem + ".bmp";
    for (int k = 2; fs::exists(folder / bitmapName, ec); ++k) bitmapName = stem + "-" + std::to_string(k) + ".bmp";
    const fs::space_info space = fs::space(folder, ec);
    if (!ec && space.available < bytes) {
        CloseMapRaster(&raster);
        return Refuse("not enough room in " + folder.string() + ": the bitmap needs " +
                      std::to_string(bytes >> 20) + " MiB, " + std::to_string(space.available >> 20) + " MiB are free");
    }
    const fs::path bitmapHost = folder / bitmapName;
    const fs::path temporary = folder / (bitmapName + ".part");
    const int written = WriteMapBmp(raster, temporary.string(), &error);
    CloseMapRaster(&raster);
    if (!written) return Refuse(error);

    // The record, in the unit the settings ask for.
    RawRecord r;
    r[0] = Utf8ToText(std::to_string(o.replace > 0 ? o.replace : count + 1));
    r[1] = TokenText(name, kMapNameSize);
    r[2] = TokenText("\\My Documents\\Velkar\\maps\\" + bitmapName, kBitmapPathSize);
    if (settings.mapInDegrees == 1) {
        r[3] = Utf8ToText(FixedText(place.topLeftLat, kDegreeDecimals));
        r[4] = Utf8ToText(FixedText(place.topLeftLon, kDegreeDecimals));
        r[5] = Utf8ToText(FixedText(place.bottomRightLat, kDegreeDecimals));
        r[6] = Utf8ToText(FixedText(place.bottomRightLon, kDegreeDecimals));
    } else {
        r[3] = Utf8ToText(FixedText(place.topLeftX, kMetreDecimals));
        r[4] = Utf8ToText(FixedText(place.topLeftY, kMetreDecimals));
        r[5] = Utf8ToText(FixedText(place.bottomRightX, kMetreDecimals));
        r[6] = Utf8ToText(FixedText(place.bottomRightY, kMetreDecimals));
    }
    r[7] = Utf8ToText(std::to_string(raster.widthPx));
    r[8] = Utf8ToText(std::to_string(raster.heightPx));
    r[9] = r[10] = r[11] = u"0";
    r[12] = u"-";
    if (o.replace > 0) records[static_cast<size_t>(o.replace - 1)] = r;
    else records.push_back(r);

    fs::rename(temporary, bitmapHost, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return Refuse("cannot name the bitmap " + bitmapHost.string());
    }
    if (ReplaceTextFile(kMapCataloguePath, RawRecordsText(records).c_str()) == 0) {
        fs::remove(bitmapHost, ec);
        return Refuse("cannot write " + DevicePathToHost(kMapCataloguePath) + "; it is left as it was");
    }

    std::printf("%s: %s, %d x %d pixels%s\n", o.file.c_str(), raster.sourceSrs.c_str(), raster.widthPx,
                raster.heightPx, raster.warped ? ", warped into EPSG:32632" : ", taken pixel for pixel");
    std::printf("bitmap   %s\n", bitmapHost.string().c_str());
    std::printf("record   %s", TextToUtf8(RawRecordsText({r}).c_str()).c_str());  // ends with its line break
    std::printf("covers   %s to %s\n", DegreesText(place.topLeftLat, place.topLeftLon).c_str(),
                DegreesText(place.bottomRightLat, place.bottomRightLon).c_str());
    std::printf("residual max %.3f m, mean %.3f m between the navigator's placement and GDAL's transform%s\n",
                place.maxResidual, place.meanResidual,
                place.maxResidual < kResidualGoal ? "" : " (over 0.5 m: the map lies far from 9 E)");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage("give a command: import or list");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (command != "import" && command != "list") return Usage("unknown command " + command);
    Options o;
    std::string message;
    if (!ParseOptions(argc, argv, &o, &message)) return Usage(message);
    return command == "import" ? RunImport(o) : RunList(o);
}
