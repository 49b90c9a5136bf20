// The reader thread and the user-interface thread together: one frames three receiver logs while
// the other feeds canned sentences, flips the switches and takes snapshots. Every snapshot must be
// the state after a whole parse (its distance is the one between its own two UTM positions);
// ThreadSanitizer runs this to check that nothing is shared without the lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "gps_support.h"

namespace {

TEST(Threads, SnapshotsSeeWholeParses)
{
    StartFromZero();
    const std::string bytes = ReadLog("telit-he910.log") + ReadLog("hemi.log") + ReadLog("nmea-rtk.log");
    std::atomic<bool> done{false};
    Framer f;
    std::thread reader([&] {
        for (int round = 0; round < 3; ++round) f.Feed(bytes);
        done = true;
    });
    int snapshots = 0, torn = 0;
    char16_t line[kDisplayLineSize];
    while (!done) {
        const GpsState g = SnapshotGpsState();
        const double de = g.prevUtmEasting - g.utmEasting, dn = g.prevUtmNorthing - g.utmNorthing;
        const double moved = std::sqrt(de * de + dn * dn);
        if (!(g.distanceMoved == moved) && !(std::isnan(moved) && std::isnan(g.distanceMoved))) ++torn;
        SnapshotDisplayLine(line);
        if (++snapshots % 50 == 0) FeedEmulatedSentence(1);
        if (snapshots % 200 == 0) settings.gpsEmulation = settings.gpsEmulation == 0 ? 1 : 0;
        if (snapshots % 300 == 0) gotoActive = gotoActive == 0 ? 1 : 0;
    }
    reader.join();
    settings.gpsEmulation = gotoActive = 0;
    EXPECT_EQ(torn, 0) << "of " << snapshots << " snapshots";
    // Each of the 3 x 1000 GGA and VTG sentences was parsed or held back by a switch just set.
    EXPECT_EQ(f.count[kFrameGga] + f.count[kFrameVtg] + f.count[kFrameIgnored], 3000);
}

}  // namespace
