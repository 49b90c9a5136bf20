// Sentence framing: which sentences reach which parser, what the parser receives,
// the 252-character limit, the second '*', bytes above 127, and the two switches
// that hold live sentences back.
#include <gtest/gtest.h>

#include <string>

#include "gps_test_support.h"

namespace {

const std::string kGga = "$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,*65\r\n";
const std::string kVtg = "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n";

struct TalkerRow {
    const char* name;
    std::string bytes;
    int gga, vtg;
    const char16_t* displayLine;  // what the parser was handed, '$' up to before '*'
};

// Provenance: talkers seen in the receiver logs (GP, GN, IN, GA); RMC and GSA are
// assembled and ignored.
const TalkerRow kTalkerRows[] = {
    {"GP GGA", kGga, 1, 0, u"$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,"},
    {"GN GGA", "$GNGGA,171948.00,4404.13902,N,12118.85371,W,1,12,1.05,1139.4,M,-21.3,M,,*7E\r\n", 1, 0,
     u"$GNGGA,171948.00,4404.13902,N,12118.85371,W,1,12,1.05,1139.4,M,-21.3,M,,"},
    {"IN GGA", "$INGGA,194118,4426.1215,N,07140.4987,W,2,10,0.9,268.5,M,,,,*1B\n", 1, 0,
     u"$INGGA,194118,4426.1215,N,07140.4987,W,2,10,0.9,268.5,M,,,,"},
    {"GP VTG", kVtg, 0, 1, u"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"},
    {"GN VTG", "$GNVTG,,T,,M,0.117,N,0.216,K,A*3C\r\n", 0, 1, u"$GNVTG,,T,,M,0.117,N,0.216,K,A"},
    {"GA VTG", "$GAVTG,,T,,M,0.0,N,0.0,K,A*3D\r\n", 0, 1, u"$GAVTG,,T,,M,0.0,N,0.0,K,A"},
    {"RMC ignored", "$GPRMC,163400.0,A,4420.924,N,01143.050,E,0.0,0.0,010101,,*00\r\n", 0, 0, u"untouched"},
    {"GSA ignored", "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n", 0, 0, u"untouched"},
    {"lower case is another type", "$gpgga,1,2*00\r\n", 0, 0, u"untouched"},
    {"text outside sentences", "hello * world\r\n", 0, 0, u"untouched"},
};

TEST(FrameByte, TalkersAndTypes)
{
    for (const TalkerRow& r : kTalkerRows) {
        StartFromZero();
        CopyAsciiText(displayLine, kDisplayLineSize, "untouched");
        Framer f;
        f.Feed(r.bytes);
        EXPECT_EQ(f.gga, r.gga) << r.name;
        EXPECT_EQ(f.vtg, r.vtg) << r.name;
        EXPECT_EQ(DisplayLineText(), r.displayLine) << r.name;
    }
}

TEST(FrameByte, SentenceReachesTheParsers)
{
    StartFromZero();
    Framer f;
    f.Feed(kGga + kVtg);
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(std::u16string(g.utcTime), u"163400.0");
    EXPECT_EQ(g.latitude, 44.348733333333335);
    EXPECT_EQ(g.course, 54.7);
    EXPECT_EQ(g.speedKmh, 10.2);
    // The RMC after them is assembled into the buffer and ignored.
    f.Feed("$GPRMC,1,2*00");
    EXPECT_EQ(std::u16string(f.buffer), u"$GPRMC,1,2");
    EXPECT_EQ(SnapshotGpsState().course, 54.7);
}

// Without its '*', a sentence swallows its line end and the next sentence, whose
// '$' is stored like any other character; the next '*' examines the whole text by
// its own positions 3 to 5.
TEST(FrameByte, NoStarAppendsTheNextSentence)
{
    StartFromZero();
    Framer f;
    f.Feed("$GPGGA,163400.0,4420.924,N,01143.050,E,1,5\r\n" + kVtg);
    EXPECT_EQ(f.gga, 1);
    EXPECT_EQ(f.vtg, 0);
    EXPECT_EQ(DisplayLineText(), u"$GPGGA,163400.0,4420.924,N,01143.050,E,1,5\r\n$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.satellites, 5);  // "5\r\n$GPVTG" reads as 5
    EXPECT_EQ(g.course, 0.0);    // the VTG never reached its parser

    // A VTG that lost its '*' takes a GGA along and is read as a VTG.
    StartFromZero();
    Framer v;
    v.Feed("$GPVTG,054.7,T\r\n" + kGga);
    EXPECT_EQ(v.gga, 0);
    EXPECT_EQ(v.vtg, 1);
    EXPECT_EQ(SnapshotGpsState().course, 54.7);
}

// A second '*' before the next '$' examines the buffer again; the first parse has
// ended its text at the first separator, so ParseGga gets "$GPGGA" and only moves
// the current values into the previous ones.
TEST(FrameByte, SecondStarReparsesTheAddress)
{
    StartFromZero();
    Framer f;
    f.Feed("$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,*1E0,*4E\r\n");
    EXPECT_EQ(f.gga, 2);
    EXPECT_EQ(DisplayLineText(), u"$GPGGA");
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(std::u16string(g.utcTime), u"163400.0");
    EXPECT_EQ(std::u16string(g.prevUtcTime), u"163400.0");
    EXPECT_EQ(g.prevUtmEasting, g.utmEasting);
    EXPECT_EQ(g.distanceMoved, 0.0);
    EXPECT_EQ(g.timeDelta, 0.0);
}

std::string SentenceOfLength(const std::string& head, size_t length, char fill)
{
    std::string s = head;
    while (s.size() < length) s.push_back(fill);
    return s;
}

// At most 252 characters are kept: exactly 252 is handed over whole, a longer
// sentence hands its first 252, and a '$' after the limit starts a new sentence.
TEST(FrameByte, TheLimitOf252)
{
    struct Row {
        const char* name;
        size_t length;
        size_t handed;
    } rows[] = {{"251", 251, 251}, {"exactly 252", 252, 252}, {"253", 253, 252}, {"600", 600, 252}};
    for (const Row& r : rows) {
        StartFromZero();
        Framer f;
        const std::string sentence = SentenceOfLength("$GPVTG,054.7,T,", r.length, '9');
        f.Feed(sentence + "*00\r\n");
        EXPECT_EQ(f.vtg, 1) << r.name;
        const std::u16string line = DisplayLineText();
        EXPECT_EQ(line.size(), r.handed) << r.name;
        EXPECT_EQ(Utf8(line), sentence.substr(0, r.handed)) << r.name;
        EXPECT_EQ(f.buffer[252], 0) << r.name;  // the terminator stands in the 253rd place
    }

    // After the limit the rest is dropped until a '$' starts afresh.
    StartFromZero();
    Framer f;
    f.Feed(SentenceOfLength("$GPRMC,", 300, 'x') + kVtg);
    EXPECT_EQ(f.vtg, 1);
    EXPECT_EQ(DisplayLineText(), u"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
}

// A serial byte b becomes the code unit b: 128 to 255 stay 128 to 255.
TEST(FrameByte, HighBytesBecomeTheSameCodeUnits)
{
    StartFromZero();
    Framer f;
    std::string sentence = "$GPVTG,1,";
    for (int b = 128; b <= 255; ++b) sentence.push_back(static_cast<char>(b));
    f.Feed(sentence + "*00");
    ASSERT_EQ(f.vtg, 1);
    const std::u16string line = DisplayLineText();
    ASSERT_EQ(line.size(), 9u + 128u);
    for (int b = 128; b <= 255; ++b) EXPECT_EQ(line[9 + (b - 128)], static_cast<char16_t>(b));
}

// Emulation on, or a GoTo dialog active: sentences are assembled and dropped;
// neither the state nor displayLine changes.
TEST(FrameByte, SwitchesHoldSentencesBack)
{
    for (int which = 0; which < 3; ++which) {
        StartFromZero();
        CopyAsciiText(displayLine, kDisplayLineSize, "i'm waiting....");
        if (which == 0 || which == 2) settings.gpsEmulation = 1;
        if (which == 1 || which == 2) gotoActive = 1;
        Framer f;
        f.Feed(kGga + kVtg);
        EXPECT_EQ(f.gga + f.vtg, 0) << which;
        EXPECT_EQ(f.ignored, 2) << which;
        EXPECT_EQ(DisplayLineText(), u"i'm waiting....") << which;
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(g.latitude, 0.0) << which;
        EXPECT_EQ(g.course, 0.0) << which;
        EXPECT_EQ(g.utcTime[0], 0) << which;
        // Switched off again, the next sentence goes through.
        settings.gpsEmulation = 0;
        gotoActive = 0;
        f.Feed(kGga);
        EXPECT_EQ(f.gga, 1) << which;
    }
}

// Junk never reaches past the buffer: a stream of '$' and of NUL and random
// control bytes keeps sentenceLength within its limit.
TEST(FrameByte, JunkStaysWithinTheBuffer)
{
    StartFromZero();
    Framer f;
    std::string junk;
    for (int i = 0; i < 5000; ++i) junk.push_back(static_cast<char>((i * 37) & 0xFF));
    junk += std::string(1000, '$');
    f.Feed(junk);
    EXPECT_GE(f.state.sentenceLength, 0);
    EXPECT_LE(f.state.sentenceLength, kMaxSentenceLength);
}

}  // namespace
