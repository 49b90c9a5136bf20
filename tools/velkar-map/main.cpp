// velkar-map: brings a user's georeferenced raster into the navigator's map
// catalogue (a BMP in "My Documents/Velkar/maps" and a vlmap.cfg record whose
// edges come from the navigator's own LatLonToGrid), and lists the catalogue.
// This file reads the command line; exit 0 done, 1 usage, 2 refused.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tool_message.h"
#include "catalogue.h"
#include "map_tool.h"
#include "platform/files.h"
#include "store/maps.h"
#include "store/settings.h"

namespace {

const char kHelp[] =
    "usage: velkar-map import FILE [--name NAME] [--srs SRS] [--replace N] [--force]\n"
    "                  [--zoom Z] [--area LAT1,LON1,LAT2,LON2]\n"
    "                  [--resampling METHOD] [--root DIR]\n"
    "       velkar-map list [--root DIR]\n"
    "\n"
    "import  Takes a georeferenced map: any raster GDAL opens (GeoTIFF, an\n"
    "        OziExplorer .map with its image or OZF2/OZF3, GeoPDF, KAP, an image\n"
    "        with a world file and a .prj...), an MBTiles file, a folder of XYZ\n"
    "        tiles (ZOOM/X/Y.png), or a KMZ/KML of ground overlays (mosaicked).\n"
    "        A raster already north-up in EPSG:32632 or 25832 is taken pixel for\n"
    "        pixel; any other is warped into EPSG:32632 at about its own\n"
    "        resolution. Writes maps/NAME.bmp (24-bit, uncompressed) in the\n"
    "        device's My Documents/Velkar folder and appends a record to\n"
    "        vlmap.cfg, in plane metres or, when the settings' mapInDegrees is 1,\n"
    "        in degrees. Prints the record and the residual between where the\n"
    "        navigator puts the map and GDAL's own transform; a map it would\n"
    "        draw more than one pixel or 5 m away (far from 9 E) is refused.\n"
    "  --name NAME          name in the Map set list (default: the file's name)\n"
    "  --srs SRS            coordinate system when the file has none (EPSG:NNNN,\n"
    "                       WKT, PROJ string); a .prj beside the file is read too\n"
    "  --replace N          replace record N (1 to 5) instead of appending\n"
    "  --force              import a map the navigator's grid cannot place, and\n"
    "                       say how far off it is drawn\n"
    "  --zoom Z             zoom level of an MBTiles or tile folder (default: the\n"
    "                       deepest whose area fits one bitmap)\n"
    "  --area LAT1,LON1,LAT2,LON2  only this area (two opposite corners,\n"
    "                       decimal degrees; default: the whole map)\n"
    "  --resampling METHOD  GDAL resampling when warping (default bilinear;\n"
    "                       near, cubic, lanczos, average...)\n"
    "list    Prints each record, its coverage in latitude/longitude and whether\n"
    "        its bitmap opens.\n"
    "  --root DIR           device root (default $XDG_DATA_HOME/velkar)\n"
    "\n"
    "Exit status: 0 done, 1 wrong command line, 2 input refused (nothing written).\n";


int Usage(const std::string& message) { return ToolMessage("velkar-map", message, kExitUsage, 1); }

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
            if (!value(&o->request.srs)) return 0;
        } else if (arg == "--resampling" && o->command == "import") {
            if (!value(&o->request.resampling)) return 0;
        } else if (arg == "--force" && o->command == "import") {
            o->force = 1;
        } else if (arg == "--zoom" && o->command == "import") {
            std::string z;
            if (!value(&z)) return 0;
            char* end = nullptr;
            const long k = std::strtol(z.c_str(), &end, 10);
            if (end == z.c_str() || *end != 0 || k < 0 || k > 30) {
                *message = "--zoom needs a zoom level from 0 to 30, not '" + z + "'";
                return 0;
            }
            o->request.zoom = static_cast<int>(k);
        } else if (arg == "--area" && o->command == "import") {
            std::string a;
            if (!value(&a)) return 0;
            double* v = o->request.area;
            char tail = 0;
            if (std::sscanf(a.c_str(), "%lf,%lf,%lf,%lf%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4 ||
                !(std::fabs(v[0]) <= 90 && std::fabs(v[2]) <= 90 && std::fabs(v[1]) <= 180 && std::fabs(v[3]) <= 180) ||
                v[0] == v[2] || v[1] == v[3]) {
                *message = "--area needs LAT1,LON1,LAT2,LON2 in decimal degrees (two opposite corners), not '" + a + "'";
                return 0;
            }
            o->request.hasArea = 1;
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

}  // namespace

int Refuse(const std::string& message) { return ToolMessage("velkar-map", message, kExitRefused); }

void LoadDevice(const Options& o)
{
    SetDeviceRoot(o.root.empty() ? DeviceRootDefault() : o.root);
    SetTemporaryOwner("velkar-map");
    LoadSettings();
}

std::string DegreesText(double lat, double lon)
{
    return FixedText(std::fabs(lat), 6) + (lat < 0 ? "S " : "N ") + FixedText(std::fabs(lon), 6) + (lon < 0 ? "W" : "E");
}


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
