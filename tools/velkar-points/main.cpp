// velkar-points: GPX points in and out of the navigator's preference points, and
// its track log out as a GPX 1.1 track; GPSBabel reads and writes GPX, the core
// the navigator's own files. This file reads the command line; exit 0 done, 1
// usage, 2 refused.
#include <cstdio>
#include <string>

#include "../tool_message.h"
#include "platform/files.h"
#include "points_tool.h"
#include "store/settings.h"

namespace {

const char kHelp[] =
    "usage: velkar-points import FILE.gpx [--routes | --tracks] [--replace] [--root DIR]\n"
    "       velkar-points export [--output FILE.gpx] [--root DIR]\n"
    "       velkar-points track --date YYYY-MM-DD [--hemisphere N|S,E|W]\n"
    "                           [--log FILE] [--output FILE.gpx] [--root DIR]\n"
    "\n"
    "import  The file's waypoints are added to vlpref.cfg, in degrees or plane\n"
    "        metres as the settings' prefInDegrees says, without alert; names are\n"
    "        cut to 31 characters. --routes or --tracks takes the route or track\n"
    "        points instead, named from their route or track and a number.\n"
    "        --replace drops the points already there. The navigator reads ten\n"
    "        points: more are refused. In plane metres, a point that would not\n"
    "        come back within 1 m (far from 9 E) is refused with its name.\n"
    "export  The preference points as GPX 1.1 waypoints (standard output unless\n"
    "        --output). A point whose plane metres give no latitude/longitude is\n"
    "        named and the export refused.\n"
    "track   The track log (\\Scheda di memoria\\GpsLog.txt, or --log FILE) as a\n"
    "        GPX 1.1 track. The log holds neither date nor hemisphere: --date is\n"
    "        the UTC day of its first line (a day is added when the time of day\n"
    "        goes back by more than 12 hours: midnight passed) and --hemisphere\n"
    "        (default N,E) signs every position.\n"
    "  --root DIR  device root (default $XDG_DATA_HOME/velkar)\n"
    "\n"
    "Needs gpsbabel. Exit status: 0 done, 1 wrong command line, 2 refused\n"
    "(nothing written).\n";


int Usage(const std::string& message) { return ToolMessage("velkar-points", message, kExitUsage, 1); }

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
        } else if ((arg == "--routes" || arg == "--tracks") && o->command == "import") {
            const int wanted = arg == "--routes" ? 1 : 2;
            if (o->pathPoints != 0 && o->pathPoints != wanted) {
                *message = "give --routes or --tracks, not both";
                return 0;
            }
            o->pathPoints = wanted;
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


}  // namespace

int Refuse(const std::string& message) { return ToolMessage("velkar-points", message, kExitRefused); }


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
    SetTemporaryOwner("velkar-points");
    RemoveLeftoverTemporaries(DevicePathToHost(u"\\My Documents\\Velkar"));
    LoadSettings();
    if (command == "import") return RunImport(o);
    if (command == "export") return RunExport(o);
    return RunTrack(o);
}
