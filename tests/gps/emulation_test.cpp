// GPS emulation: the five canned sentences in their cycle, what each sets, and
// the switch (off: nothing changes; off and on again: the cycle goes on).
#include <gtest/gtest.h>

#include <cmath>

#include "gps_test_support.h"

namespace {

struct CannedRow {
    const char16_t* utcTime;
    double longitude;
    double timeDelta;       // in the second and later cycles
    double distanceMoved;   // from the previous canned fix, to 0.1 m
};

// Provenance: the table of what the canned sentences set and the distances
// between them (15.9, 37.2, 6.6, 6.6 m, and 66.5 m from the fifth back to the first).
const CannedRow kCannedRows[] = {
    {u"163400.0", 11.7175, -40, 66.5},
    {u"163410.0", 11.7173, 10, 15.9},
    {u"163420.0", 11.716833333333334, 10, 37.2},
    {u"163430.0", 11.71675, 10, 6.6},
    {u"163440.0", 11.716666666666667, 10, 6.6},
};

TEST(FeedEmulatedSentence, TwoCycles)
{
    StartFromZero();
    ResetGpsState();
    for (int tick = 0; tick < 10; ++tick) {
        const CannedRow& r = kCannedRows[tick % 5];
        EXPECT_EQ(FeedEmulatedSentence(1), 14) << tick;
        EXPECT_EQ(emulationStep, (tick + 1) % 5) << tick;
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(std::u16string(g.utcTime), r.utcTime) << tick;
        EXPECT_EQ(g.latitude, 44.348733333333335) << tick;
        EXPECT_EQ(g.longitude, r.longitude) << tick;
        EXPECT_EQ(g.latHemisphere, u'N');
        EXPECT_EQ(g.lonHemisphere, u'E');
        EXPECT_EQ(g.fixQuality, 1);
        EXPECT_EQ(g.satellites, 5);
        EXPECT_EQ(g.altitude, 30.0);
        EXPECT_EQ(g.utmZone, 32);
        if (tick == 0) {
            EXPECT_EQ(g.timeDelta, 2040.0);  // the first GGA after start-up
        } else {
            EXPECT_EQ(g.timeDelta, r.timeDelta) << tick;
            EXPECT_NEAR(g.distanceMoved, r.distanceMoved, 0.05) << tick;
            EXPECT_GE(g.distanceMoved, 1.0) << tick;  // every feed repaints at once
        }
        // Speed and course are not fed.
        EXPECT_EQ(g.speedKmh, 0.0);
        EXPECT_EQ(g.course, 0.0);
        // The parse has ended displayLine at its first separator.
        EXPECT_EQ(DisplayLineText(), u"$GPGGA") << tick;
    }
}

TEST(FeedEmulatedSentence, SwitchedOffChangesNothing)
{
    StartFromZero();
    ResetGpsState();
    FeedEmulatedSentence(1);
    const GpsState before = SnapshotGpsState();
    CopyAsciiText(displayLine, kDisplayLineSize, "marker");
    EXPECT_EQ(FeedEmulatedSentence(0), 0);
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(emulationStep, 1);
    EXPECT_EQ(DisplayLineText(), u"marker");
    EXPECT_EQ(std::u16string(g.utcTime), std::u16string(before.utcTime));
    EXPECT_EQ(g.distanceMoved, before.distanceMoved);
    EXPECT_EQ(g.prevUtmEasting, before.prevUtmEasting);
}

// Switching emulation off after the second tick and on again later feeds the
// third sentence next; any value other than 0 counts as on.
TEST(FeedEmulatedSentence, CycleGoesOnWhereItStopped)
{
    StartFromZero();
    FeedEmulatedSentence(1);
    FeedEmulatedSentence(1);
    FeedEmulatedSentence(0);
    FeedEmulatedSentence(0);
    EXPECT_EQ(FeedEmulatedSentence(7), 14);
    EXPECT_EQ(std::u16string(SnapshotGpsState().utcTime), u"163420.0");
    EXPECT_EQ(emulationStep, 3);
}

// The canned texts are 67 characters each, end in "*65\n" and are accepted
// although the checksum does not match.
TEST(FeedEmulatedSentence, CannedTexts)
{
    for (int i = 0; i < kCannedSentenceCount; ++i) {
        const std::u16string s = kCannedSentences[i];
        EXPECT_EQ(s.size(), 67u) << i;
        EXPECT_EQ(s.substr(s.size() - 4), u"*65\n") << i;
        EXPECT_EQ(s.substr(0, 7), u"$GPGGA,") << i;
    }
}

}  // namespace
