// velkar-points' commands and what they share: the command line as read, exit
// statuses and the one-line refusal, temporary files, and GPSBabel run as a
// program with the project's xcsv style files.
#pragma once

#include <string>
#include <vector>

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitRefused = 2;
constexpr int kDegreeDecimals = 9;  // about 0.1 mm
constexpr int kMetreDecimals = 3;

struct Options {
    std::string command;
    std::string file;
    std::string root;
    std::string output = "-";
    std::string log;
    std::string date;
    std::string hemisphere = "N,E";
    int replace = 0;
    int pathPoints = 0;  // import: 0 waypoints, 1 route points, 2 track points
};


// Prints "velkar-points: message" and returns kExitRefused.
int Refuse(const std::string& message);

// The folder of the project's GPSBabel style files.
std::string StyleFolder();

// A file in this run's scratch folder (made at the first call; it and its files
// are removed when the program ends, by a signal too); "" when it cannot be made.
// At most eight names.
std::string ScratchFile(const char* name);


// Runs gpsbabel with args; its error output is kept and its first line returned
// through *message when it fails. Returns 1 when it exited with 0.
int RunGpsBabel(const std::vector<std::string>& args, std::string* message);
// Has GPSBabel turn an exchange file of the project's style into GPX 1.1 at
// output; the exit status (kExitOk, or the refusal's).
int WriteGpx(const char* style, const std::string& exchange, const std::string& output);

int RunImport(const Options& o);
int RunExport(const Options& o);
int RunTrack(const Options& o);
