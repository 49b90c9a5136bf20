// The framing's byte streams (binary, "$$", banners, AIS lines, cut lines, long runs, the switches), RMC
// and GNS standing in for a missing GGA or VTG, and numbers read in place giving from_chars' doubles.
#include <charconv>
#include <cstdio>
#include <random>
#include "gps_support.h"

namespace {
// Frames bytes from a fresh state; returns "kind:displayLine" of every sentence handed over, joined by '|'.
std::string Frame(const std::string& bytes)
{
    static char16_t buffer[kSentenceBufferSize];
    FramingState state = {0, 0};
    static const char* const kKinds[kFrameResultCount] = {"", "GGA", "VTG", "held", "RMC", "GNS"};
    std::string handed;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t at = 0; at < bytes.size();) {
        FrameResult r = kFrameNone;
        at += FrameBytes(buffer, &state, p + at, bytes.size() - at, &r);
        if (r == kFrameNone) continue;
        handed += (handed.empty() ? "" : "|") + std::string(kKinds[r]) + ":" + TextToUtf8(Line().c_str());
    }
    return handed;
}
const std::string kGga = "$GPGGA,120000,4420.924,N,01143.050,E,2,07,1.0,30.0,M,,M,,*00\r\n";
const std::string kVtg = "$GPVTG,45.0,T,,M,5.0,N,9.3,K*00\r\n";
// What is handed over, from the sentence's own '$' to before its '*'; nothing else. Any talker
// (the corpus has GP, GN, IN and GA); other types, and types in lower case, are passed over.
// At most 252 characters are kept; a byte b (128 to 255 too) becomes the code unit b.
TEST(Framing, ByteStreamsTable)
{
    const std::string gga = kGga.substr(0, kGga.find('*')), vtg = kVtg.substr(0, kVtg.find('*'));
    const std::string run300 = "$GPVTG,1," + std::string(291, '9'), high = "$GPVTG,\x80\xB0\xFF";
    const struct { const char* name; std::string bytes, handed; } rows[] = {
        {"any talker, other types and lower case passed over", "$GAVTG,,T*3D\r\n$GPZDA,1*00\r\n$gpgga,1*00\r\n", "VTG:$GAVTG,,T"},
        {"high bytes", high + "*00", "VTG:$GPVTG,\u0080\u00B0\u00FF"},
        {"exactly 252 characters", run300.substr(0, 252) + "*", "VTG:" + run300.substr(0, 252)},
        {"binary holding '$' then a GGA", std::string("\xb5\x62$\x01\x07\x5c\x00*\x10", 9) + kGga, "GGA:" + gga},
        {"$$GNGGA (doubled '$')", "$" + kGga, "GGA:" + gga},
        {"banner without '*' then a VTG", "$SkyTraq,Venus6\r\n" + kVtg, "VTG:" + vtg},
        {"VTG then an AIS line: nothing more", kVtg + "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*76\r\n", "VTG:" + vtg},
        {"cut line then junk*", "$GPGGA,120000,4420.9\r\njunk*\r\n" + kVtg, "VTG:" + vtg},
        {"glued: a '$' drops the stub", "$GPGGA,1201" + kVtg, "VTG:" + vtg},
        {"300 characters then '*': the first 252", run300 + "*00\r\n", "VTG:" + run300.substr(0, 252)},
        {"300 characters then a line end", run300 + "\r\n*" + kGga, "GGA:" + gga},
        {"short sentence $GGA*", "$GGA*\r\n$GPGG*\r\n", ""},
        {"'*' with nothing stored", "*" + kVtg + "*", "VTG:" + vtg},
        {"RMC and GNS are taken", "$GPRMC,1,A*00\r\n$GNGNS,2,,,,,N*00\r\n", "RMC:$GPRMC,1,A|GNS:$GNGNS,2,,,,,N"}};
    for (const auto& r : rows) { Start(); EXPECT_EQ(Frame(r.bytes), r.handed) << r.name; }
    // Emulation on, or a GoTo dialog active: sentences are framed and held back, line and state unchanged
    // (the canned feed still goes on under a GoTo); switched off again, the next sentence goes through.
    for (int which = 1; which <= 3; ++which) {
        Start();
        settings.gpsEmulation = which & 1, gotoActive = which >> 1;
        EXPECT_EQ(Frame(kGga + kVtg), "held:-|held:-") << which;
        EXPECT_TRUE(SnapshotGpsState().latitude == 0.0 && SnapshotGpsState().utcTime[0] == 0) << which;
        EXPECT_TRUE(which != 2 || FeedEmulatedSentence(1) == 14) << "a GoTo holds back live sentences only";
        settings.gpsEmulation = gotoActive = 0;
        EXPECT_EQ(Frame(kGga), "GGA:" + gga) << which;
    }
}
// The sentences used below, and what each sets (read off its fields).
const std::string kRmc = "$GPRMC,120001,A,4500.000,N,01200.000,E,10.0,90.0,071226,,,A*00\r\n";   // 45, 18.52 km/h, 90
const std::string kRmcVoid = "$GPRMC,120003,V,4700.000,N,01400.000,E,20.0,180.0,081226,,,N*00\r\n";  // 47, fix 0, no motion
const std::string kRmcNoSpeed = "$GPRMC,120004,A,4800.000,S,01500.000,W,,,091226,,,A*00\r\n";  // 48 S, motion kept
const std::string kGns = "$GNGNS,120002,4600.000,N,01300.000,E,AN,09,0.9,120.5,,,*00\r\n";   // 46, fix 1, 9 sats, 120.5 m
const std::string kGnsNoFix = "$GNGNS,120005,,,,,NN,00,,,,,*00\r\n";                              // fix 0, 0 sats
// After each sentence: "latitude fix satellites speed course stoodIn fixes-recorded date".
std::string State(uint64_t firstSerial)
{
    const uint64_t fixes = LatestFixSerial() - firstSerial;
    std::lock_guard<std::mutex> lock(gpsMutex);
    const GpsState& g = gpsState;
    char text[160];
    std::snprintf(text, sizeof text, "%.4f%c %d %d %.3f %.1f %d %d %d", g.latitude, static_cast<char>(g.latHemisphere),
                  g.fixQuality, g.satellites, g.speedKmh, g.course, sentenceStoodIn,
                  static_cast<int>(fixes), gpsUtcDate);
    return text;
}
TEST(StandIn, StreamsTable)
{
    const struct { const char* name; std::vector<std::string> stream; std::vector<std::string> after; } rows[] = {
        {"RMC only: position and motion", {kRmc, kRmc}, {"45.0000N 1 0 18.520 90.0 1 1 71226", "45.0000N 1 0 18.520 90.0 1 2 71226"}},
        {"GGA then RMC: motion only; an RMC per system, counted by talker", {kGga, kRmc, "$GA" + kRmc.substr(3)},
         {"44.3487N 2 7 0.000 0.0 0 1 0", "44.3487N 2 7 18.520 90.0 0 1 71226", "44.3487N 2 7 18.520 90.0 0 1 71226"}},
        {"RMC then GGA then RMC", {kRmc, kGga, kRmc}, {"45.0000N 1 0 18.520 90.0 1 1 71226", "44.3487N 2 7 18.520 90.0 1 2 71226",
                                                       "44.3487N 2 7 18.520 90.0 0 2 71226"}},
        {"GGA, VTG, RMC: the VTG's motion stays", {kGga, kVtg, kRmc, kVtg, kRmc},
         {"44.3487N 2 7 0.000 0.0 0 1 0", "44.3487N 2 7 9.300 45.0 0 1 0", "44.3487N 2 7 9.300 45.0 0 1 71226",
          "44.3487N 2 7 9.300 45.0 0 1 71226", "45.0000N 1 7 9.300 45.0 1 2 71226"}},  // no GGA since the last RMC
        {"GNS only", {kGns, kGnsNoFix}, {"46.0000N 1 9 0.000 0.0 1 1 0", "46.0000N 0 0 0.000 0.0 1 2 0"}},
        {"GGA then GNS", {kGga, kGns}, {"44.3487N 2 7 0.000 0.0 0 1 0", "44.3487N 2 7 0.000 0.0 0 1 0"}},
        {"GNS then RMC", {kGns, kRmc}, {"46.0000N 1 9 0.000 0.0 1 1 0", "46.0000N 1 9 18.520 90.0 0 1 71226"}},
        {"void RMC", {kRmcVoid}, {"47.0000N 0 0 0.000 0.0 1 1 81226"}},
        {"empty speed keeps it", {kRmc, kRmcNoSpeed}, {"45.0000N 1 0 18.520 90.0 1 1 71226", "48.0000S 1 0 18.520 90.0 1 2 91226"}}};
    for (const auto& r : rows) {
        Start();
        const uint64_t first = LatestFixSerial();
        for (size_t i = 0; i < r.stream.size(); ++i)
            EXPECT_EQ((Frame(r.stream[i]), State(first)), r.after[i]) << r.name << ", sentence " << i;
    }
}
// Short decimals are read in place; every form gives from_chars' double, to the bit.
TEST(TextToDouble, SameDoublesAsFromChars)
{
    std::vector<std::string> texts = {"4420.924", "9007199254740993", "9007199254740992.5", "12345678901234567890",
                                      "0.0000000000000000000001", "1.5e2", "5.", "0.1", "-0.0", "+3.25"};
    std::mt19937_64 random(15);
    for (std::string t; texts.size() < 20010; texts.push_back(t.insert(random() % t.size(), ".")))
        t = std::to_string(random() % 100000000000000000ull);
    for (const std::string& t : texts) {
        double expected = 0.0;
        std::from_chars(t.c_str() + (t[0] == '+'), t.c_str() + t.size(), expected);  // from_chars takes no '+'
        const double got = TextToDouble(std::u16string(t.begin(), t.end()).c_str());
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << t;
    }
}
}  // namespace
