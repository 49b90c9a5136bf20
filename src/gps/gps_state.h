// Live navigation state and the GGA/VTG sentence parsers.
// GpsState and displayLine are written by the reader thread (live sentences) and
// by the user-interface thread (emulation feed, GoTo dialogs). Every writer holds
// gpsMutex for a whole parse; every reader takes a copy under it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

struct GpsState {
    char16_t utcTime[12];      // hhmmss[.ss] exactly as received, at most 11 characters
    char16_t prevUtcTime[12];  // utcTime before the last GGA sentence
    double latitude;           // decimal degrees, unsigned magnitude (see latHemisphere)
    char16_t latHemisphere;    // first character of the field after the latitude
    double longitude;          // decimal degrees, unsigned magnitude
    double utmEasting;         // metres, in zone utmZone
    double utmNorthing;        // metres
    double prevUtmEasting;
    double prevUtmNorthing;
    double prevGridEasting;
    double prevGridNorthing;
    double gridEasting;        // plane grid (9° E), metres: what the map view centres on
    double gridNorthing;
    int32_t utmZone;
    char16_t lonHemisphere;
    uint8_t fixQuality;        // 0 none, 1 GPS, 2 differential, ...
    uint8_t satellites;
    double altitude;           // as received, unit field not examined
    double distanceMoved;      // metres between the previous and current UTM position
    double timeDelta;          // seconds, minutes and seconds of the times only
    double speedKmh;
    double course;             // degrees from true north
};

constexpr int kDisplayLineSize = 256;

extern GpsState gpsState;
extern char16_t displayLine[kDisplayLineSize];  // last sentence handed to a parser
extern std::mutex gpsMutex;                     // guards gpsState and displayLine

// 1 while a GoTo dialog has placed the view on a chosen point; the reader thread
// then hands no sentence to the parsers.
extern std::atomic<int32_t> gotoActive;

// Parse one GGA / VTG sentence held in a writable, terminated wide text, from its
// '$' on. The text is split in place (separators become terminators, the degree
// digits of the position fields become '0'). Return the number of tokens.
// The caller holds gpsMutex.
int32_t ParseGga(char16_t* text);
int32_t ParseVtg(char16_t* text);

// Seconds between two hhmmss time texts, counting minutes and seconds only
// (hours and fractions ignored, so the result is negative across a full hour).
double UtcDeltaSeconds(const char16_t* previousTime, const char16_t* currentTime);

// The start-up reset of the state: numbers to 0, hemispheres 'N' and 'E'. Texts,
// grid fields, altitude and course keep what they hold (the start-up sets
// displayLine itself, after the files are read). Takes gpsMutex.
void ResetGpsState();

// A consistent copy of the state / of displayLine, taken under gpsMutex.
GpsState SnapshotGpsState();
void SnapshotDisplayLine(char16_t* out /* kDisplayLineSize */);
