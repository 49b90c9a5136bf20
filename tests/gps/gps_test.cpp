// Sentence to position: ParseGga, ParseVtg and the time difference on the worked examples and edge
// cases, the byte-by-byte framing, the canned-sentence cycle, the fix ring, every receiver log of the
// corpus, and the reader thread beside the user-interface thread (gps_threads_test runs that one under TSan).
#include <atomic>
#include <cstdlib>
#include <thread>
#include "../support/common.h"
#include "base/numbers.h"
#include "gps_support.h"
#include "platform/clock.h"

namespace {
// Parses a writable copy (the parsers write into their text); after gets the text as left.
int32_t Parse(int32_t (*parser)(char16_t*), const char16_t* text, std::u16string* after = nullptr)
{
    char16_t buffer[512] = {};
    CopyText(buffer, 512, text);
    std::lock_guard<std::mutex> lock(gpsMutex);
    const int32_t count = parser(buffer);
    if (after != nullptr) after->assign(buffer, 512);
    return count;
}
std::string ReadLog(const std::string& name) { return Slurp(std::string(VELKAR_CORPUS_DIR) + "/" + name); }
struct Framer {  // the reader thread's buffer, and what each byte gave (counted by FrameResult)
    char16_t buffer[kSentenceBufferSize] = {};
    FramingState state = {0, 0};
    int count[kFrameResultCount] = {};
    FrameResult Byte(char c) { const FrameResult r = FrameByte(buffer, &state, (unsigned char)c); return ++count[r], r; }
    void Feed(const std::string& bytes) { for (char c : bytes) Byte(c); }
};

const char16_t kCanned1[] = u"$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,*65\n";

// Provenance: the worked example of the first canned sentence after start-up; then a time token too long
// and lost fixes with empty fields. Every GGA goes into the fix ring with the last RMC date (dates no
// other test sets, so that a date left over in the ring cannot pass for them).
TEST(ParseGga, FirstCannedSentenceLostFixesAndTheRing)
{
    Start();
    const uint64_t first = LatestFixSerial();
    const auto dated = [](int32_t date) { std::lock_guard<std::mutex> lock(gpsMutex); gpsUtcDate = date; };
    std::u16string after;
    dated(291187);
    EXPECT_EQ(Parse(ParseGga, kCanned1, &after), 14);
    const GpsState g = SnapshotGpsState();
    EXPECT_TRUE(TextToUtf8(g.utcTime) == "163400.0" && g.latitude == 44.348733333333335 && g.longitude == 11.7175);
    EXPECT_TRUE(g.latHemisphere == u'N' && g.lonHemisphere == u'E' && g.fixQuality == 1 && g.satellites == 5);
    EXPECT_TRUE(g.altitude == 30.0 && g.utmZone == 32 && std::fabs(g.utmEasting - 716594.899) < 0.0005 &&
                std::fabs(g.gridNorthing - 4914197.915) < 0.0005);
    // The first fix moves from the zero UTM position; its time from an empty one: 34 min x 60.
    EXPECT_TRUE(g.distanceMoved == std::sqrt(Square(g.utmEasting) + Square(g.utmNorthing)) && g.timeDelta == 2040.0);
    // Split in place: separators end tokens, the degree digits of both positions become '0'.
    EXPECT_EQ(TextToUtf8(&after[0]) + "|" + TextToUtf8(&after[16]) + "|" + TextToUtf8(&after[27]), "$GPGGA|0020.924|00043.050");
    // Mended fault: the time field holds 11 characters; a longer token is cut, the neighbours survive.
    dated(291188);
    Parse(ParseGga, u"$GPGGA,163410.0000000000000000000000,4420.924,N,01143.050,E,1");
    EXPECT_EQ(TextToUtf8(SnapshotGpsState().utcTime) + TextToUtf8(SnapshotGpsState().prevUtcTime), "163410.0000163400.0");
    EXPECT_TRUE(SnapshotGpsState().latitude == g.latitude && SnapshotGpsState().timeDelta == 10.0);
    // A lost fix (neo-m8n, telit-he910 log these forms): time, fix and satellites change; position,
    // hemispheres and altitude keep the last fix, so nothing moved.
    const char16_t* const lost[] = {u"$GPGGA,163450.0,,,,,0,00,,,M,,M,,", u"$GPGGA,120002.000,,,,,0,0,,,M,,M,,"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(TextToUtf8(lost[i]));
        const GpsState before = SnapshotGpsState();
        dated(291189 + i);
        EXPECT_EQ(Parse(ParseGga, lost[i]), 6);  // $GPGGA | time | 0 | 0(0) | M | M
        const GpsState l = SnapshotGpsState();
        EXPECT_TRUE(l.fixQuality == 0 && l.satellites == 0 && l.utcTime[0] == lost[i][7] && l.altitude == 30.0);
        EXPECT_TRUE(l.latitude == before.latitude && l.longitude == before.longitude && l.gridEasting == before.gridEasting);
        EXPECT_TRUE(l.latHemisphere == u'N' && l.lonHemisphere == u'E' && l.distanceMoved == 0.0 &&
                    l.prevUtmEasting == before.utmEasting);
    }
    const char16_t* const times[] = {u"163400.0", u"163410.0000", u"163450.0", u"120002.000"};
    AcceptedFix out[5] = {};
    ASSERT_EQ(TakeFixesAfter(first, out, 5), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(out[i].serial == first + 1 + i && out[i].utcDate == 291187 + i && out[i].utcTime == std::u16string(times[i])
                    && std::fabs(out[i].latitude - (44.0 + 20.924 / 60.0)) <= 1e-12) << i;
}
// Provenance: the time-difference examples (minutes and seconds only); a missing character is absent.
TEST(UtcDeltaSeconds, Table)
{
    const struct { const char16_t *previous, *current; double expected; } rows[] = {
        {u"163400.0", u"163410.0", 10}, {u"163440.0", u"163400.0", -40}, {u"105950.0", u"110000.0", -3590},
        {u"", u"163400.0", 2040}, {u"", u"", 0}, {u"010000", u"230000", 0}, {u"", u"1634", 2040},
        {u"", u"16341", 2041}, {u"", u"12ab5x", 5}, {u"", u"16340012345", 2040}};
    for (const auto& r : rows) EXPECT_EQ(UtcDeltaSeconds(r.previous, r.current), r.expected) << TextToUtf8(r.current);
}
// Numbers take their longest valid prefix, integers stop at the point, fix and satellites keep
// their low 8 bits, ':' splits like ','. Fields keep their NMEA place: an empty field sets nothing.
TEST(ParseGga, FieldTable)
{
    const struct { const char16_t* s; int32_t fields; double lat, lon; int fix, sats; double alt; char16_t hemi; } rows[] = {
        {u"$GPGGA,1,3345.000,S,07030.000,W,1,04,01.4,-00464.4,M", 11, 33.75, 70.5, 1, 4, -464.4, u'S'},
        {u"$GPGGA,1:4420.924:N,01143.050,E,257,-1.69,1,1.5e2", 10, 44.348733333333335, 11.7175, 1, 255, 150, u'N'},
        {u"$GPGGA,1,N,N,E,E,A,B,1,Q", 10, 0, 0, 0, 0, 0, u'N'},
        {u",$GPGGA,1,4420.924,N", 4, 1, 0, 0, 0, 0, u'4'},  // a leading separator moves every field one place on
        // Signs and over 19 digits take the general reading: degree digits "+4", minutes "00420.924".
        {u"$GPGGA,1,+4420.924,N,-0000.0,W,1", 7, 11.0154, 0, 1, 0, 0, u'N'},
        {u"$GPGGA,1,0000.000,N,0000000000000000000000.0,E", 6, 0, 0, 0, 0, 0, u'N'}};
    for (const auto& r : rows) {
        SCOPED_TRACE(TextToUtf8(r.s));
        Start();
        EXPECT_EQ(Parse(ParseGga, r.s), r.fields);
        const GpsState g = SnapshotGpsState();
        EXPECT_TRUE(std::fabs(g.latitude - r.lat) < 1e-12 && std::fabs(g.longitude - r.lon) < 1e-12 && g.altitude == r.alt);
        EXPECT_TRUE(g.fixQuality == r.fix && g.satellites == r.sats && g.latHemisphere == r.hemi);
    }
}
// The silence rule: armed by a GGA, it drops the fix once after more than 5 s (or at a loss), only
// while live input counts; the next GGA arms it again. Times are MonotonicMs() plus an offset.
TEST(DropSilentFix, Table)
{
    const struct { int emulation, goTo; int64_t afterMs; int32_t lost, dropped; } rows[] = {
        {0, 0, kGpsSilenceLimitMs, 0, 0}, {0, 0, kGpsSilenceLimitMs + 100, 0, 1}, {0, 0, 0, 1, 1},
        {1, 0, kGpsSilenceLimitMs + 100, 1, 0}, {0, 1, kGpsSilenceLimitMs + 100, 1, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.afterMs << " " << r.lost << r.emulation << r.goTo);
        Start();
        EXPECT_EQ(DropSilentFix(INT64_MAX / 2, 1), 0) << "no GGA since the reset: nothing to drop";
        Parse(ParseGga, kCanned1);
        const int64_t now = MonotonicMs();
        settings.gpsEmulation = r.emulation, gotoActive = r.goTo;
        EXPECT_TRUE(DropSilentFix(now + r.afterMs, r.lost) == r.dropped && SnapshotGpsState().fixQuality == 1 - r.dropped);
        settings.gpsEmulation = gotoActive = 0;
        EXPECT_EQ(DropSilentFix(now + 60000, 1), 1 - r.dropped) << "once per silence";
        Parse(ParseGga, kCanned1);
        EXPECT_EQ(DropSilentFix(MonotonicMs() + 60000, 0), 1) << "armed again by the next GGA";
    }
}
// Provenance: the two VTG examples (magnetic course empty: the km/h field stays field 7) and forms
// from the logs. Each row follows $GPVTG,100.0,T,,M,1.0,N,1.9,K, so an empty field shows its keeping.
TEST(ParseVtg, TableChangesOnlyCourseAndSpeed)
{
    const struct { const char16_t* s; int32_t fields; double course, speed; } rows[] = {
        {u"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K", 9, 54.7, 10.2}, {u"$GPVTG,054.7,T,,M,005.5,N,010.2,K", 8, 54.7, 10.2},
        {u"$GNVTG,,T,,M,0.117,N,0.216,K,A", 8, 100, 0.216}, {u"$GPVTG,,,,,,,,,N", 2, 100, 1.9}};
    for (const auto& r : rows) {
        Start();
        Parse(ParseGga, kCanned1), Parse(ParseVtg, u"$GPVTG,100.0,T,,M,1.0,N,1.9,K");
        const double moved = SnapshotGpsState().distanceMoved;
        EXPECT_EQ(Parse(ParseVtg, r.s), r.fields) << TextToUtf8(r.s);
        const GpsState g = SnapshotGpsState();
        EXPECT_TRUE(g.course == r.course && g.speedKmh == r.speed && g.distanceMoved == moved) << TextToUtf8(r.s);
    }
}
// Provenance: the table of the canned sentences and the distances between them (15.9, 37.2, 6.6,
// 6.6 m, and 66.5 m from the fifth back to the first). Off: nothing changes and the cycle waits.
TEST(FeedEmulatedSentence, TwoCyclesAndTheSwitch)
{
    const struct { const char16_t* time; double lon, delta, moved; } rows[] = {
        {u"163400.0", 11.7175, -40, 66.5}, {u"163410.0", 11.7173, 10, 15.9}, {u"163420.0", 11.716833333333334, 10, 37.2},
        {u"163430.0", 11.71675, 10, 6.6}, {u"163440.0", 11.716666666666667, 10, 6.6}};
    Start();
    for (int tick = 0; tick < 10; ++tick) {
        SCOPED_TRACE(tick);
        const auto& r = rows[tick % 5];
        EXPECT_EQ(FeedEmulatedSentence(tick == 7 ? 7 : 1), 14);  // any value but 0 is on
        const GpsState g = SnapshotGpsState();
        EXPECT_TRUE(emulationStep == (tick + 1) % 5 && std::u16string(g.utcTime) == r.time && Line() == u"$GPGGA");
        EXPECT_TRUE(g.latitude == 44.348733333333335 && g.longitude == r.lon && g.utmZone == 32 && g.course == 0.0);
        EXPECT_EQ(g.timeDelta, tick == 0 ? 2040.0 : r.delta);
        EXPECT_NEAR(g.distanceMoved, tick > 0 ? r.moved : g.distanceMoved, 0.05);
        if (tick != 3) continue;
        CopyAsciiText(displayLine, kDisplayLineSize, "marker");
        EXPECT_TRUE(FeedEmulatedSentence(0) == 0 && emulationStep == 4 && Line() == u"marker" &&
                    SnapshotGpsState().utcTime[4] == u'3');
    }
}
// Provenance: counts from the corpus README; the last GGA of each log read by hand (bu353-glonass,
// firefly-II, ublox-lea-5q end on a lost fix with empty fields: the last position stays, fix 0;
// bundg_zeus_9 and ericsson end on an RMC / a GNS standing in for a GGA; coldboot and triton400
// glue no sentence to a banner or a cut line). Every sentence is also read by place here: a VTG with a
// km/h field (field 7) gives that speed (a log without VTG ends with its last valid RMC's knots x 1.852
// and course), a GGA with fix field 0 gives fix 0, and with empty position fields leaves the position.
TEST(Corpus, EveryLogThroughFramingAndParsers)
{
    const struct { const char* file; int gga, vtg; const char *time, *lat; int fix; } logs[] = {
        {"GPSmap-76S", 12, 11, "125128", "3854.5087N", 8}, {"bn-9015", 10, 10, "171007.972", "5200.8514N", 1},
        {"bt451", 17, 17, "143308.00", "5546.81975N", 1}, {"bu353-glonass", 18, 0, "081429.000", "5541.1973N", 0},
        {"bundg_zeus_9", 138, 148, "095003", "5250.8736N", 1}, {"eXplorist110", 9, 0, "014431.08", "3728.0549N", 0},
        {"ericsson-gru04-02-70sec", 2, 71, "213822.000", "4111.59931N", 1}, {"et-332", 19, 19, "153405.000", "3940.6985N", 1},
        {"firefly-II", 23, 0, "010009.00", "3715.6609N", 0}, {"garmin-10x", 14, 0, "165049.000", "4143.6110N", 1},
        {"gp-320fw-2019-04-06-overflow", 20, 20, "235743.02", "4808.9979N", 1}, {"gp-320fw-2019-04-07-coldboot", 16, 10, "000435.00", "0000.0000N", 0},
        {"haicom-305N", 73, 73, "095415.787", "2712.6404S", 1}, {"hemi", 215, 215, "194100.00", "4221.8235522N", 1},
        {"humminbird-M37", 8, 8, "194118", "4426.1215N", 2}, {"isync", 12, 12, "131530.00", "4153.85984N", 2},
        {"navika-100-fix", 20, 20, "223310.00", "3757.92655N", 1}, {"neo-m8n", 23, 23, "171948.00", "4404.13902N", 1},
        {"nl551e", 17, 17, "191446.00", "5200.17115N", 1}, {"nmea-fuzzy-cases", 14, 0, "133900.90", "4134.50180291N", 4},
        {"nmea-rtk", 122, 0, "133901.50", "4134.50180366N", 4}, {"quectel-eg25-g", 60, 60, "191533.98", "3645.828239N", 1},
        {"quectel-l76k-nmea", 150, 150, "055304.000", "4739.71870N", 1}, {"rx210", 61, 0, "184141.00", "5000.14178N", 1},
        {"saab-r4", 12, 12, "130722", "5012.792600N", 2}, {"skytraq-PX1172RH_DS", 9, 9, "003840.000", "4404.1271062N", 5},
        {"skytraq-dgps", 96, 96, "213256.000", "4404.1291692N", 2}, {"telit-he910", 224, 224, "105459.408", "5050.4126N", 1},
        {"telit-pls83-w", 20, 20, "043548.00", "4333.190127N", 1}, {"tn200", 19, 0, "204139.079", "0000.0000N", 0},
        {"tr737A+", 10, 0, "071743.000", "4404.1312N", 1}, {"triton400", 4, 0, "030133.00", "2638.1753N", 1},
        {"ublox-lea-5q", 9, 9, "001909.00", "0000.0000N", 0}, {"ublox-neo-m9n-nmea", 61, 61, "223845.00", "3806.63006N", 2},
        {"ublox-zed-f9r", 30, 30, "231437.00", "4503.94634N", 5}, {"pynmea2-examples/data", 1, 0, "184353.07", "1929.045S", 1}};
    int totalSpeeds = 0, totalLostFixes = 0, rmcSpeeds = 0;
    for (const auto& r : logs) {
        SCOPED_TRACE(r.file);
        const std::string bytes = ReadLog(r.file + std::string(".log"));
        ASSERT_FALSE(bytes.empty());
        Start();
        Framer f;
        double knots = 0.0, course = 0.0;  // of the last valid RMC
        GpsState before = SnapshotGpsState();
        for (char c : bytes) {
            const FrameResult result = f.Byte(c);
            if (result != kFrameGga && result != kFrameVtg && result != kFrameRmc) continue;
            const std::u16string line = Line();
            SCOPED_TRACE(TextToUtf8(line.c_str()));
            ASSERT_TRUE(line.size() <= 252u && line[0] == u'$' &&
                        line.substr(3, 3) == (result == kFrameGga ? u"GGA" : result == kFrameVtg ? u"VTG" : u"RMC"));
            std::vector<std::u16string> field(1);  // split by place, empty fields kept
            for (char16_t ch : line)
                if (ch == u',' || ch == u':') field.emplace_back(); else field.back().push_back(ch);
            field.resize(std::max<size_t>(field.size(), 9));
            const GpsState g = SnapshotGpsState();
            const bool valid = result == kFrameRmc && field[2] == u"A";  // a log without VTG moves by its RMC
            knots = valid && !field[7].empty() ? TextToDouble(field[7].c_str()) : knots;
            course = valid && !field[8].empty() ? TextToDouble(field[8].c_str()) : course;
            if (result == kFrameVtg && !field[7].empty()) {
                ++totalSpeeds;
                EXPECT_EQ(g.speedKmh, TextToDouble(field[7].c_str()));
            }
            if (result == kFrameGga && field[6] == u"0") {
                ++totalLostFixes;
                EXPECT_TRUE(g.fixQuality == 0 && (!field[2].empty() || !field[4].empty() ||
                                                  (g.latitude == before.latitude && g.longitude == before.longitude)));
            }
            before = g;
        }
        EXPECT_TRUE(f.count[kFrameGga] == r.gga && f.count[kFrameVtg] == r.vtg) << f.count[kFrameGga] << ", " << f.count[kFrameVtg];
        const GpsState g = SnapshotGpsState();
        const std::string lat = r.lat;  // "ddmm.mmmmH"
        EXPECT_NEAR(g.latitude, std::atof(lat.substr(0, 2).c_str()) + std::atof(&lat[2]) / 60, 1e-9);
        EXPECT_TRUE(TextToUtf8(g.utcTime) == r.time && g.latHemisphere == lat.back() && g.fixQuality == r.fix)
            << TextToUtf8(g.utcTime) << " " << char(g.latHemisphere) << " " << g.fixQuality;
        EXPECT_TRUE(std::isfinite(g.utmEasting) && std::isfinite(g.gridNorthing));
        EXPECT_TRUE(r.vtg > 0 || (g.speedKmh == knots * 1.852 && g.course == course)) << g.speedKmh << " " << g.course;
        rmcSpeeds += r.vtg == 0 && g.speedKmh > 0.0;
    }
    EXPECT_GE(rmcSpeeds, 5) << "logs without VTG that end moving";
    EXPECT_GT(totalSpeeds, 1000) << "VTG sentences with a km/h field";
    EXPECT_GT(totalLostFixes, 300) << "GGA sentences with fix 0";
}
// While one thread frames three logs and this one feeds canned sentences and flips the switches,
// every snapshot shows a whole parse: its distance is the one between its own two positions.
TEST(Threads, SnapshotsSeeWholeParses)
{
    Start();
    const std::string bytes = ReadLog("telit-he910.log") + ReadLog("hemi.log") + ReadLog("nmea-rtk.log");
    std::atomic<bool> done{false};
    Framer f;
    std::thread reader([&] { for (int round = 0; round < 3; ++round) f.Feed(bytes); done = true; });
    int snapshots = 0, torn = 0;
    while (!done) {
        const GpsState g = SnapshotGpsState();
        const double moved = std::sqrt(Square(g.prevUtmEasting - g.utmEasting) + Square(g.prevUtmNorthing - g.utmNorthing));
        if (!(g.distanceMoved == moved) && !(std::isnan(moved) && std::isnan(g.distanceMoved))) ++torn;
        Line();
        if (++snapshots % 50 == 0) FeedEmulatedSentence(1);
        if (snapshots % 200 == 0) settings.gpsEmulation = settings.gpsEmulation == 0 ? 1 : 0;
        if (snapshots % 300 == 0) gotoActive = gotoActive == 0 ? 1 : 0;
    }
    reader.join();
    settings.gpsEmulation = gotoActive = 0;
    EXPECT_EQ(torn, 0) << "of " << snapshots << " snapshots";
    // Each of the 3 x 1346 GGA, VTG and RMC sentences was parsed or held back by a switch.
    EXPECT_EQ(f.count[kFrameGga] + f.count[kFrameVtg] + f.count[kFrameRmc] + f.count[kFrameIgnored], 3 * 1346);
}

// TakeFixesAfter hands back the fixes after a serial that the ring still holds, oldest first, the
// newest included, at most the capacity asked for. Expected values from the ring's size
// (kFixHistorySize kept): serials below newest - kFixHistorySize + 1 have been written over.
TEST(FixHistory, TakeFixesAfterTable)
{
    const int kRecorded = kFixHistorySize + 40;
    std::unique_lock<std::mutex> lock(gpsMutex);
    for (GpsState g = {}; g.altitude < kRecorded; ++g.altitude) RecordAcceptedFix(g);  // told apart by their altitude
    lock.unlock();
    const uint64_t newest = LatestFixSerial();
    const struct { const char* name; uint64_t back; int32_t capacity, count; uint64_t skipped; } rows[] = {
        // afterSerial = newest - back; count fixes handed back from newest - back + 1 + skipped on
        {"only the newest", 1, 8, 1, 0}, {"none after the newest", 0, 8, 0, 0}, {"capacity caps, oldest first", 5, 2, 2, 0},
        {"the oldest still held", kFixHistorySize, 400, kFixHistorySize, 0},
        {"older ones written over", kFixHistorySize + 30, 400, kFixHistorySize, 30}};
    std::vector<AcceptedFix> out(400);
    for (const auto& r : rows) {
        const int32_t n = TakeFixesAfter(newest - r.back, out.data(), r.capacity);
        ASSERT_EQ(n, r.count) << r.name;
        for (int32_t k = 0; k < n; ++k) {
            const uint64_t serial = newest - r.back + 1 + r.skipped + k;
            EXPECT_TRUE(out[k].serial == serial && out[k].altitude == double(kRecorded - 1) - double(newest - serial))
                << r.name << ", fix " << k;
        }
    }
}
}  // namespace
