// The reader thread and the user-interface thread together: one thread frames the
// receiver corpus while the other feeds canned sentences, flips the switches and
// takes snapshots. Every snapshot must be the state after a whole parse (its
// distance is the one between its own two UTM positions); ThreadSanitizer runs
// this to check that nothing is shared without the lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "gps_test_support.h"

namespace {

std::string ReadLog(const std::string& name)
{
    std::ifstream in(std::string(VELKAR_SHARED_DIR) + "/nmea-corpus/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Threads, SnapshotsSeeWholeParses)
{
    StartFromZero();
    ResetGpsState();
    const std::string bytes = ReadLog("telit-he910.log") + ReadLog("hemi.log") + ReadLog("nmea-rtk.log");
    std::atomic<bool> done{false};
    int handed = 0, heldBack = 0;
    std::thread reader([&] {
        Framer f;
        for (int round = 0; round < 3; ++round) f.Feed(bytes);
        handed = f.gga + f.vtg;
        heldBack = f.ignored;
        done = true;
    });

    int snapshots = 0, torn = 0;
    while (!done) {
        const GpsState g = SnapshotGpsState();
        const double expected = std::sqrt(std::pow(g.prevUtmEasting - g.utmEasting, 2.0) +
                                          std::pow(g.prevUtmNorthing - g.utmNorthing, 2.0));
        if (!(g.distanceMoved == expected) && !(std::isnan(expected) && std::isnan(g.distanceMoved))) ++torn;
        ++snapshots;
        char16_t line[kDisplayLineSize];
        SnapshotDisplayLine(line);
        if (snapshots % 50 == 0) FeedEmulatedSentence(1);
        if (snapshots % 200 == 0) settings.gpsEmulation = settings.gpsEmulation == 0 ? 1 : 0;
        if (snapshots % 300 == 0) gotoActive = gotoActive == 0 ? 1 : 0;
    }
    reader.join();
    settings.gpsEmulation = 0;
    gotoActive = 0;
    EXPECT_EQ(torn, 0) << "of " << snapshots << " snapshots";
    // Each of the 3 x 1000 GGA and VTG sentences was either parsed or held back by
    // a switch the other thread had just set.
    EXPECT_EQ(handed + heldBack, 3000);
}

}  // namespace
