// The fix ring: every GGA appends one fix that carries the last RMC date, and
// TakeFixesAfter hands back the fixes after a serial that the ring still holds,
// oldest first, the newest included, at most the capacity asked for.
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>
#include "base/text.h"
#include "gps/fix_history.h"
#include "gps/gps_state.h"

// Provenance: the first canned sentence's worked example (163400.0, 44°20.924' N), with a
// date no other test sets, so that a date left over in the ring cannot pass for it.
TEST(FixHistory, EveryGgaIsRecordedWithTheLastDate)
{
    const uint64_t before = LatestFixSerial();
    for (int i = 0; i < 3; ++i) {
        char16_t text[96];
        CopyAsciiText(text, 96, "$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,");
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsUtcDate = 291187 + i;
        ParseGga(text);
    }
    AcceptedFix out[4] = {};
    ASSERT_EQ(TakeFixesAfter(before, out, 4), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out[i].serial, before + 1 + i) << i;
        EXPECT_EQ(out[i].utcDate, 291187 + i) << i;
        EXPECT_NEAR(out[i].latitude, 44.0 + 20.924 / 60.0, 1e-12) << i;
        EXPECT_EQ(std::u16string(out[i].utcTime), u"163400.0") << i;
    }
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsUtcDate = 0;
}

// Expected values from the ring's size (kFixHistorySize fixes kept): serials below
// newest - kFixHistorySize + 1 have been written over.
TEST(FixHistory, TakeFixesAfterTable)
{
    const int kRecorded = kFixHistorySize + 40;
    for (int i = 0; i < kRecorded; ++i) {
        std::lock_guard<std::mutex> lock(gpsMutex);
        GpsState g = {};
        g.altitude = i;  // each fix told apart by its altitude
        RecordAcceptedFix(g);
    }
    const uint64_t newest = LatestFixSerial();
    const struct {
        const char* name;
        uint64_t back;     // afterSerial = newest - back
        int32_t capacity;
        int32_t count;     // fixes handed back, serials newest - back + 1 onwards
        uint64_t skipped;  // of those, the oldest not held any more
    } rows[] = {
        {"only the newest", 1, 8, 1, 0},
        {"none after the newest", 0, 8, 0, 0},
        {"capacity caps, oldest first", 5, 2, 2, 0},
        {"the oldest still held", kFixHistorySize, 400, kFixHistorySize, 0},
        {"older ones written over", kFixHistorySize + 30, 400, kFixHistorySize, 30},
    };
    std::vector<AcceptedFix> out(400);
    for (const auto& r : rows) {
        const int32_t n = TakeFixesAfter(newest - r.back, out.data(), r.capacity);
        ASSERT_EQ(n, r.count) << r.name;
        for (int32_t k = 0; k < n; ++k) {
            const uint64_t serial = newest - r.back + 1 + r.skipped + k;
            EXPECT_EQ(out[k].serial, serial) << r.name << ", fix " << k;
            EXPECT_EQ(out[k].altitude, double(kRecorded - 1) - double(newest - serial)) << r.name << ", fix " << k;
        }
    }
}
