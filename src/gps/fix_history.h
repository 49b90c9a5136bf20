// Fixes as they are accepted: every sentence that sets the position (a GGA, or an
// RMC or GNS standing in for one) appends a copy here, under gpsMutex, so that the
// view's trail and the GPX recorder see every fix, however fast the receiver talks,
// without the reader thread waiting on them. A ring of the last kFixHistorySize.
#pragma once

#include <cstdint>

#include "gps/gps_state.h"

constexpr int kFixHistorySize = 256;

struct AcceptedFix {
    uint64_t serial;           // 1 for the first fix of the run, then +1 per fix
    double latitude;           // decimal degrees, unsigned magnitude (see latHemisphere)
    double longitude;
    char16_t latHemisphere;    // 'N' or 'S' as received
    char16_t lonHemisphere;    // 'E' or 'W' as received
    double gridEasting;        // plane grid (9° E), metres
    double gridNorthing;
    double altitude;           // as received
    char16_t utcTime[12];      // hhmmss[.ss] as received
    int32_t utcDate;           // ddmmyy of the last RMC date field, 0 when none came
    uint8_t fixQuality;
};

// ddmmyy of the last RMC's date field, 0 before one arrives. Guarded by gpsMutex.
extern int32_t gpsUtcDate;

// Appends the state's current position as the next fix. The caller holds gpsMutex.
void RecordAcceptedFix(const GpsState& g);

// Copies the fixes with a serial above afterSerial, oldest first, at most capacity;
// returns how many. Fixes pushed out of the ring before the call are skipped.
// Takes gpsMutex.
int32_t TakeFixesAfter(uint64_t afterSerial, AcceptedFix* out, int32_t capacity);

// Serial of the newest fix, 0 before the first. Takes gpsMutex.
uint64_t LatestFixSerial();
