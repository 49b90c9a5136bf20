// The settings file "\My Documents\Velkar\vlcfg.cfg": one bracket-token record of
// nine integers, read at start-up and written by the Exit command.
//   [BEGIN][comPort][baudRate][gpsEmulation][prefInDegrees][audioMessages]
//   [trackToTarget][enableLog][proximity][mapInDegrees][0][0][END]
#pragma once

#include <atomic>
#include <cstdint>

struct Settings {
    int32_t comPort;                     // 1..5 selects "COM1:".."COM5:", else "COM1:"
    int32_t baudRate;                    // line speed, bits per second
    std::atomic<int32_t> gpsEmulation;   // 1 = canned sentences, receiver ignored (read by the reader thread)
    int32_t prefInDegrees;               // 1 = preference points in lat/lon degrees
    int32_t audioMessages;               // 1 = play a point's sound when near
    int32_t trackToTarget;               // 1 = track line to the selected point
    int32_t enableLog;                   // 1 = append fixes to the track log
    int32_t proximity;                   // 1 = proximity indicator
    int32_t mapInDegrees;                // 1 = map corners in lat/lon degrees
};

extern Settings settings;

extern const char16_t kSettingsPath[];

constexpr int kSettingsValueCount = 9;

// The nine values in file order (comPort first), and storing them into settings.
void SettingsToValues(int32_t values[kSettingsValueCount]);
void ValuesToSettings(const int32_t values[kSettingsValueCount]);
// The values as the last LoadSettings left them: what this run started from.
extern int32_t loadedSettings[kSettingsValueCount];
// Reads the file's values into values (those whose tokens are missing keep
// theirs); 0 when it cannot be opened. settings is not touched.
int ReadSettingsValues(int32_t values[kSettingsValueCount]);
// Replaces the file with the record of values (atomically); 0 when it cannot.
int WriteSettingsValues(const int32_t values[kSettingsValueCount]);

// Reads the settings file into settings; 0 when it cannot be opened (fields keep
// their values), else 1. Fields whose tokens are missing keep their values.
int LoadSettings();

// Writes the record; 0 when the file cannot be written. Never leaves a truncated
// file: the old one stays whole on any failure.
int SaveSettings();
