// The track log: the line format, appending, unsigned south and west positions,
// a missing card, and a line that never outgrows its buffer.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "store/track_log.h"
#include "store_test_support.h"

namespace {

const char kLog[] = "Scheda di memoria/GpsLog.txt";

void ParseText(const char16_t* sentence)
{
    char16_t buffer[256] = {};
    for (int i = 0; i < 255 && sentence[i] != 0; ++i) buffer[i] = sentence[i];
    std::lock_guard<std::mutex> lock(gpsMutex);
    ParseGga(buffer);
}

// Provenance: the typical line of the track log, from the first canned sentence.
TEST(AppendTrackLog, LineFormatAndAppending)
{
    TempDeviceRoot root;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState = GpsState{};
    }
    emulationStep = 0;
    FeedEmulatedSentence(1);
    AppendTrackLog();
    EXPECT_EQ(root.Read(kLog), "44.348733;11.717500;163400.0;1;0.000000;0.000000 \n");
    FeedEmulatedSentence(1);
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.speedKmh = 10.2;
        gpsState.course = 54.7;
    }
    AppendTrackLog();
    EXPECT_EQ(root.Read(kLog),
              "44.348733;11.717500;163400.0;1;0.000000;0.000000 \n"
              "44.348733;11.717300;163410.0;1;10.200000;54.700000 \n");
}

TEST(AppendTrackLog, SouthAndWestArePositive)
{
    TempDeviceRoot root;
    ParseText(u"$GPGGA,120000,3345.000,S,07030.000,W,2,08,0.9,10.0,M");
    AppendTrackLog();
    EXPECT_EQ(root.Read(kLog).substr(0, 29), "33.750000;70.500000;120000;2;");
}

TEST(AppendTrackLog, MissingCardDropsTheLine)
{
    TempDeviceRoot root;
    std::filesystem::remove_all(root.Host("Scheda di memoria"));
    AppendTrackLog();
    EXPECT_FALSE(root.Exists("Scheda di memoria"));
    // The next call tries again.
    std::filesystem::create_directories(root.Host("Scheda di memoria"));
    AppendTrackLog();
    EXPECT_TRUE(root.Exists(kLog));
}

// A position typed into a GoTo dialog can be any double; the line is cut to its
// 128-unit buffer and still ends its line.
TEST(AppendTrackLog, HugeValuesStayInTheBuffer)
{
    TempDeviceRoot root;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = 1e300;
        gpsState.longitude = -1e300;
    }
    AppendTrackLog();
    AppendTrackLog();
    const std::string log = root.Read(kLog);
    ASSERT_EQ(log.size(), 2u * 127u);
    EXPECT_EQ(log.substr(125, 2), " \n");
    EXPECT_EQ(log.substr(252, 2), " \n");
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState = GpsState{};
}

}  // namespace
