// GGA/VTG parsing and the time difference: the sentence examples and edge cases
// the parsers were built to (empty fields shift later ones, letters read as 0,
// hemispheres stored but never applied), plus overlong and malformed fields.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "geo/geo.h"
#include "gps_test_support.h"

namespace {

const char16_t kCanned1[] = u"$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,*65\n";

TEST(ParseGga, FirstCannedSentenceAfterStartUp)
{
    StartFromZero();
    ResetGpsState();
    EXPECT_EQ(ParseGgaText(kCanned1), 14);
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(std::u16string(g.utcTime), u"163400.0");
    EXPECT_EQ(g.latitude, 44.348733333333335);
    EXPECT_EQ(g.latHemisphere, u'N');
    EXPECT_EQ(g.longitude, 11.7175);
    EXPECT_EQ(g.lonHemisphere, u'E');
    EXPECT_EQ(g.fixQuality, 1);
    EXPECT_EQ(g.satellites, 5);
    EXPECT_EQ(g.altitude, 30.0);
    EXPECT_EQ(g.utmZone, 32);
    EXPECT_NEAR(g.utmEasting, 716594.899, 0.0005);
    EXPECT_NEAR(g.utmNorthing, 4914197.933, 0.0005);
    EXPECT_NEAR(g.gridEasting, 716594.898, 0.0005);
    EXPECT_NEAR(g.gridNorthing, 4914197.915, 0.0005);
    // The first fix measures its move from the zero UTM position and its time
    // from an empty previous time: 34 min x 60 + 0 s.
    EXPECT_EQ(g.distanceMoved, std::sqrt(g.utmEasting * g.utmEasting + g.utmNorthing * g.utmNorthing));
    EXPECT_GT(g.distanceMoved, 4.9e6);
    EXPECT_EQ(g.timeDelta, 2040.0);
    EXPECT_EQ(std::u16string(g.prevUtcTime), u"");
    EXPECT_EQ(g.speedKmh, 0.0);
    EXPECT_EQ(g.course, 0.0);
}

// The parser splits its text in place: separators become terminators and the
// degree digits of the two position fields become '0'; a zero field is not split.
TEST(ParseGga, WritesIntoItsText)
{
    StartFromZero();
    std::u16string after;
    ParseGgaText(u"$GPGGA,163400.0,4420.924,N,01143.050,E,1", &after);
    EXPECT_EQ(std::u16string(after.c_str()), u"$GPGGA");
    EXPECT_EQ(std::u16string(after.c_str() + 16), u"0020.924");
    EXPECT_EQ(std::u16string(after.c_str() + 27), u"00043.050");

    ParseGgaText(u"$GPGGA,163400.0,0000.000,N,01143.050,E,1", &after);
    EXPECT_EQ(std::u16string(after.c_str() + 16), u"0000.000");
    EXPECT_EQ(SnapshotGpsState().latitude, 0.0);
}

struct DeltaRow {
    const char* name;
    const char16_t* previous;
    const char16_t* current;
    double expected;
};

// Provenance: the time-difference examples (minutes and seconds only, hours and
// fractions ignored); the short texts are this system's choice: a missing
// character counts as absent, so "1634" counts 34 minutes and no seconds.
const DeltaRow kDeltaRows[] = {
    {"ten seconds", u"163400.0", u"163410.0", 10},
    {"backwards", u"163440.0", u"163400.0", -40},
    {"across the hour", u"105950.0", u"110000.0", -3590},
    {"first fix: empty previous", u"", u"163400.0", 2040},
    {"both empty", u"", u"", 0},
    {"no fraction", u"125106", u"125128", 22},
    {"hours ignored", u"010000", u"230000", 0},
    {"short text", u"", u"1634", 2040},
    {"five characters", u"", u"16341", 2041},
    {"letters count 0", u"", u"12ab5x", 5},
    {"a time token cut to 11 characters", u"", u"16340012345", 2040},
};

TEST(UtcDeltaSeconds, Table)
{
    for (const DeltaRow& r : kDeltaRows) EXPECT_EQ(UtcDeltaSeconds(r.previous, r.current), r.expected) << r.name;
}

TEST(ParseGga, TimeDeltaBetweenSentences)
{
    StartFromZero();
    ParseGgaText(u"$GPGGA,105950.0,4420.924,N,01143.050,E,1,5,1.69,00030");
    ParseGgaText(u"$GPGGA,110000.0,4420.924,N,01143.050,E,1,5,1.69,00030");
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.timeDelta, -3590.0);
    EXPECT_EQ(std::u16string(g.prevUtcTime), u"105950.0");
    EXPECT_EQ(g.distanceMoved, 0.0);
}

// A receiver without a fix leaves fields empty; every later field moves forward.
TEST(ParseGga, NoFixSentenceShiftsFields)
{
    StartFromZero();
    ParseGgaText(kCanned1);
    const GpsState before = SnapshotGpsState();
    EXPECT_EQ(ParseGgaText(u"$GPGGA,163450.0,,,,,0,00,,,M,,M,,"), 6);  // $GPGGA|163450.0|0|00|M|M
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(std::u16string(g.utcTime), u"163450.0");
    EXPECT_EQ(g.latitude, 0.0);
    EXPECT_EQ(g.latHemisphere, u'0');
    EXPECT_EQ(g.longitude, 0.0);
    EXPECT_EQ(g.lonHemisphere, u'M');
    EXPECT_EQ(g.fixQuality, 1);
    EXPECT_EQ(g.satellites, 5);
    EXPECT_EQ(g.altitude, 30.0);
    // (0, 0) is converted and the move is the jump to it.
    double e = 0, n = 0;
    EXPECT_EQ(g.utmZone, LatLonToUtm(0.0, 0.0, &e, &n));
    EXPECT_EQ(g.utmEasting, e);
    EXPECT_EQ(g.prevUtmEasting, before.utmEasting);
    EXPECT_NEAR(g.distanceMoved, std::hypot(before.utmEasting - e, before.utmNorthing - n), 1e-6);
    EXPECT_EQ(g.timeDelta, 50.0);
}

TEST(ParseGga, SouthAndWestStayUnsigned)
{
    StartFromZero();
    ParseGgaText(u"$GPGGA,120000,3345.000,S,07030.000,W,1,08,0.9,10.0,M");
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.latitude, 33.75);
    EXPECT_EQ(g.latHemisphere, u'S');
    EXPECT_EQ(g.longitude, 70.5);
    EXPECT_EQ(g.lonHemisphere, u'W');
}

// A text with only the address changes no parsed field but still moves the
// current values into the previous ones and converts the unchanged position.
TEST(ParseGga, AddressOnly)
{
    StartFromZero();
    ParseGgaText(kCanned1);
    const GpsState before = SnapshotGpsState();
    EXPECT_EQ(ParseGgaText(u"$GPGGA"), 1);
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(std::u16string(g.utcTime), u"163400.0");
    EXPECT_EQ(std::u16string(g.prevUtcTime), u"163400.0");
    EXPECT_EQ(g.prevUtmEasting, before.utmEasting);
    EXPECT_EQ(g.prevGridNorthing, before.gridNorthing);
    EXPECT_EQ(g.utmEasting, before.utmEasting);
    EXPECT_EQ(g.distanceMoved, 0.0);
    EXPECT_EQ(g.timeDelta, 0.0);
}

struct FieldRow {
    const char* name;
    const char16_t* sentence;
    int32_t tokens;
    double latitude, longitude;
    int fix, satellites;
    double altitude;
};

// Field reading: numbers take their longest valid prefix (0 when none), integers
// stop at the point, fix and satellites keep their low 8 bits, ':' splits like ','.
const FieldRow kFieldRows[] = {
    {"zero-padded integers", u"$GPGGA,1,4808.9979,N,01135.0800,E,1,04,01.4,00464.4,M", 11, 48.149965, 11.584666666666667, 1, 4, 464.4},
    {"negative altitude", u"$GPGGA,1,5250.8776,N,00518.5177,E,1,12,0.60,-4,M", 11, 52.84796, 5.308628333333333, 1, 12, -4},
    {"exponent in altitude", u"$GPGGA,1,4420.924,N,01143.050,E,2,5,1,1.5e2", 10, 44.348733333333335, 11.7175, 2, 5, 150},
    {"integer stops at the point", u"$GPGGA,1,4420.924,N,01143.050,E,1.9,7.69,1,7", 10, 44.348733333333335, 11.7175, 1, 7, 7},
    {"fix 257 keeps its low 8 bits", u"$GPGGA,1,4420.924,N,01143.050,E,257,-1,1,0", 10, 44.348733333333335, 11.7175, 1, 255, 0},
    {"a colon splits a field", u"$GPGGA,1:4420.924:N,01143.050,E,3,9,1,8", 10, 44.348733333333335, 11.7175, 3, 9, 8},
    {"leading separators make no token", u",,$GPGGA,,1,,4420.924,N,01143.050,E,1,5,1,2", 10, 44.348733333333335, 11.7175, 1, 5, 2},
    {"letter in a number field", u"$GPGGA,1,N,N,E,E,A,B,1,Q", 10, 0, 0, 0, 0, 0},
    {"out-of-range minutes read as they are", u"$GPGGA,1,8960.0000,N,00000.0000,E,0,4,1,5", 10, 90.0, 0, 0, 4, 5},
    {"latitude shorter than its degree digits", u"$GPGGA,1,5,N,7,E,1,1,1,1", 10, 5.0, 7.0, 1, 1, 1},
    {"checksum digits stay in the last token", u"$GPGGA,1,4420.924,N,01143.050,E,1,5,1.69,00030*65\n", 10, 44.348733333333335, 11.7175, 1, 5, 30},
};

TEST(ParseGga, FieldTable)
{
    for (const FieldRow& r : kFieldRows) {
        StartFromZero();
        EXPECT_EQ(ParseGgaText(r.sentence), r.tokens) << r.name;
        const GpsState g = SnapshotGpsState();
        EXPECT_NEAR(g.latitude, r.latitude, 1e-12) << r.name;
        EXPECT_NEAR(g.longitude, r.longitude, 1e-12) << r.name;
        EXPECT_EQ(g.fixQuality, r.fix) << r.name;
        EXPECT_EQ(g.satellites, r.satellites) << r.name;
        EXPECT_EQ(g.altitude, r.altitude) << r.name;
    }
}

// The time field has room for 11 characters: a longer token is cut, nothing is
// written past the field (the neighbouring fields keep their values).
TEST(ParseGga, OverlongTimeIsCut)
{
    StartFromZero();
    ParseGgaText(kCanned1);
    ParseGgaText(u"$GPGGA,163410.0000000000000000000000,4420.924,N,01143.050,E,1");
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(std::u16string(g.utcTime), u"163410.0000");
    EXPECT_EQ(std::u16string(g.prevUtcTime), u"163400.0");
    EXPECT_EQ(g.latitude, 44.348733333333335);
    EXPECT_EQ(g.timeDelta, 10.0);
}

struct VtgRow {
    const char* name;
    const char16_t* sentence;
    int32_t tokens;
    double course, speed;
};

// Provenance: the two VTG examples (the second with its magnetic course empty, so
// token 7 is the letter K), and VTG forms from the receiver logs.
const VtgRow kVtgRows[] = {
    {"full sentence", u"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K", 9, 54.7, 10.2},
    {"magnetic course empty", u"$GPVTG,054.7,T,,M,005.5,N,010.2,K", 8, 54.7, 0.0},
    {"old 8-field form", u"$GPVTG,87.21,T,,M,0.12,N,0.2,K", 8, 87.21, 0.0},
    {"empty course (neo-m8n)", u"$GNVTG,,T,,M,0.117,N,0.216,K,A", 8, 0.0, 0.0},
    {"all empty", u"$GPVTG,,,,,,,,,N", 2, 0.0, 0.0},
};

TEST(ParseVtg, Table)
{
    for (const VtgRow& r : kVtgRows) {
        StartFromZero();
        ParseGgaText(kCanned1);
        const GpsState before = SnapshotGpsState();
        EXPECT_EQ(ParseVtgText(r.sentence), r.tokens) << r.name;
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(g.course, r.course) << r.name;
        EXPECT_EQ(g.speedKmh, r.speed) << r.name;
        // Nothing else changes.
        EXPECT_EQ(g.latitude, before.latitude) << r.name;
        EXPECT_EQ(g.distanceMoved, before.distanceMoved) << r.name;
        EXPECT_EQ(std::u16string(g.utcTime), std::u16string(before.utcTime)) << r.name;
    }
}

TEST(ResetGpsState, StartUpValues)
{
    StartFromZero();
    ParseGgaText(kCanned1);
    ParseVtgText(u"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
    ResetGpsState();
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.latitude, 0.0);
    EXPECT_EQ(g.utmEasting, 0.0);
    EXPECT_EQ(g.utmZone, 0);
    EXPECT_EQ(g.fixQuality, 0);
    EXPECT_EQ(g.distanceMoved, 0.0);
    EXPECT_EQ(g.speedKmh, 0.0);
    EXPECT_EQ(g.latHemisphere, u'N');
    EXPECT_EQ(g.lonHemisphere, u'E');
    // Texts, grid fields, altitude and course keep what they hold.
    EXPECT_EQ(std::u16string(g.utcTime), u"163400.0");
    EXPECT_NE(g.gridEasting, 0.0);
    EXPECT_EQ(g.altitude, 30.0);
    EXPECT_EQ(g.course, 54.7);
    EXPECT_EQ(DisplayLineText(), u"i'm waiting....");
}

// The record keeps its fields in the order the rest of the system reads them.
TEST(GpsState, FieldOrder)
{
    const size_t offsets[] = {
        offsetof(GpsState, utcTime),        offsetof(GpsState, prevUtcTime),     offsetof(GpsState, latitude),
        offsetof(GpsState, latHemisphere),  offsetof(GpsState, longitude),       offsetof(GpsState, utmEasting),
        offsetof(GpsState, utmNorthing),    offsetof(GpsState, prevUtmEasting),  offsetof(GpsState, prevUtmNorthing),
        offsetof(GpsState, prevGridEasting), offsetof(GpsState, prevGridNorthing), offsetof(GpsState, gridEasting),
        offsetof(GpsState, gridNorthing),   offsetof(GpsState, utmZone),         offsetof(GpsState, lonHemisphere),
        offsetof(GpsState, fixQuality),     offsetof(GpsState, satellites),      offsetof(GpsState, altitude),
        offsetof(GpsState, distanceMoved),  offsetof(GpsState, timeDelta),       offsetof(GpsState, speedKmh),
        offsetof(GpsState, course),
    };
    for (size_t i = 1; i < sizeof offsets / sizeof offsets[0]; ++i) EXPECT_LT(offsets[i - 1], offsets[i]) << i;
    EXPECT_EQ(sizeof(GpsState{}.utcTime) / sizeof(char16_t), 12u);
}

}  // namespace
