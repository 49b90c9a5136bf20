// velkar-map's commands and what they share: the command line as read, the
// exit statuses and the one-line refusal. GDAL is reached only through raster.h.
#pragma once

#include <string>

#include "raster.h"

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitRefused = 2;

struct Options {
    std::string command;
    std::string file;
    std::string name;
    std::string root;
    MapRequest request;  // --srs, --resampling, --zoom, --area
    int replace = 0;     // 1-based record number, 0 = append
    int force = 0;       // import a map the grid cannot place
};

// Prints "velkar-map: message" and returns kExitRefused.
int Refuse(const std::string& message);
// Sets the device root from --root (or the default) and loads the settings.
void LoadDevice(const Options& o);
// "44.348733N 11.717500E"
std::string DegreesText(double lat, double lon);

int RunImport(const Options& o);
int RunList(const Options& o);
