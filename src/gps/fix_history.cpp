#include "gps/fix_history.h"

#include <cstring>

int32_t gpsUtcDate = 0;

namespace {

AcceptedFix ring[kFixHistorySize];
uint64_t newestSerial = 0;  // guarded by gpsMutex

}  // namespace

void RecordAcceptedFix(const GpsState& g)
{
    ++newestSerial;
    AcceptedFix& f = ring[newestSerial % kFixHistorySize];
    f.serial = newestSerial;
    f.latitude = g.latitude;
    f.longitude = g.longitude;
    f.latHemisphere = g.latHemisphere;
    f.lonHemisphere = g.lonHemisphere;
    f.gridEasting = g.gridEasting;
    f.gridNorthing = g.gridNorthing;
    f.altitude = g.altitude;
    std::memcpy(f.utcTime, g.utcTime, sizeof f.utcTime);
    f.utcDate = gpsUtcDate;
    f.fixQuality = g.fixQuality;
}

int32_t TakeFixesAfter(uint64_t afterSerial, AcceptedFix* out, int32_t capacity)
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    uint64_t first = afterSerial + 1;
    if (newestSerial >= kFixHistorySize && first <= newestSerial - kFixHistorySize)
        first = newestSerial - kFixHistorySize + 1;
    int32_t n = 0;
    for (uint64_t s = first; s <= newestSerial && n < capacity; ++s) out[n++] = ring[s % kFixHistorySize];
    return n;
}

uint64_t LatestFixSerial()
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    return newestSerial;
}
