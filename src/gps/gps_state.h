// Live navigation state and the GGA, VTG, RMC and GNS sentence parsers.
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
// '$' on. Fields keep their NMEA place (empty ones counted); an empty field leaves
// its value as it was. The text is split in place (separators become terminators,
// the degree digits of the position fields become '0'). Return the number of
// non-empty fields. The caller holds gpsMutex.
int32_t ParseGga(char16_t* text);
int32_t ParseVtg(char16_t* text);

// RMC and GNS, for receivers that send no GGA or no VTG, parsed the same way.
// RMC: 1 time, 2 status (A valid), 3 latitude, 4 N/S, 5 longitude, 6 E/W, 7 knots,
// 8 true course, 9 date ddmmyy. GNS: 1 time, 2 latitude, 3 N/S, 4 longitude, 5 E/W,
// 6 mode (a letter per system, N no fix), 7 satellites, 9 altitude.
// Motion: a valid RMC sets speedKmh (knots x 1.852) and course only when no VTG
// came since the previous RMC. Position: a GNS stands in for a GGA when no GGA came
// since the previous GNS; an RMC when neither a GGA nor a GNS came since the
// previous RMC. "Previous" counts by talker: $GPRMC and $GARMC after one GGA, as a
// receiver of several systems sends them, are both answered by that GGA. Standing in runs ParseGga's steps with the sentence's time and
// position; fixQuality is 1 for a valid RMC (0 otherwise), for a GNS 0 when every
// mode letter is 'N', else 1; a GNS also sets satellites and altitude. The RMC's
// date goes to gpsUtcDate whether it stands in or not. The caller holds gpsMutex.
int32_t ParseRmc(char16_t* text);
int32_t ParseGns(char16_t* text);

// 1 when the last RMC or GNS parsed stood in for a GGA, else 0. Guarded by gpsMutex.
extern int32_t sentenceStoodIn;

// Seconds between two hhmmss time texts, counting minutes and seconds only
// (hours and fractions ignored, so the result is negative across a full hour).
double UtcDeltaSeconds(const char16_t* previousTime, const char16_t* currentTime);

// The start-up reset of the state: numbers to 0, hemispheres 'N' and 'E'. Texts,
// grid fields, altitude and course keep what they hold (the start-up sets
// displayLine itself, after the files are read). Takes gpsMutex.
void ResetGpsState();

// A receiver silent for longer than this no longer has a fix. Real milliseconds:
// the receiver talks at its own pace whatever --time-scale does to the timers.
constexpr int64_t kGpsSilenceLimitMs = 5000;

// The silence rule. While live input counts (gpsEmulation 0 and gotoActive 0):
// when no GGA (nor an RMC or GNS standing in) has been parsed for more than
// kGpsSilenceLimitMs before nowMs (MonotonicMs), or lost is 1 (the reader saw the
// device or connection go), fixQuality becomes 0, once: the next GGA (or sentence
// standing in) arms the rule again (the start-up reset
// disarms it). Returns 1 when it dropped the fix. Takes gpsMutex.
int32_t DropSilentFix(int64_t nowMs, int32_t lost);

// A consistent copy of the state / of displayLine, taken under gpsMutex.
GpsState SnapshotGpsState();
void SnapshotDisplayLine(char16_t* out /* kDisplayLineSize */);
