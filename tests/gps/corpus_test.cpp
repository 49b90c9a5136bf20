// Every receiver log of the shared corpus through the sentence framing and both
// parsers, byte by byte as the reader thread sees them: nothing handed over is
// longer than the limit or starts anywhere but at a '$', the counts of GGA and
// VTG sentences match the corpus notes, and the last GGA of each log leaves the
// state its own text says.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "gps_test_support.h"

namespace {

struct LogRow {
    const char* file;
    int gga, vtg;            // sentences handed to each parser
    const char* lastGga;     // the log's last GGA from '$' to before '*'
    const char16_t* utcTime; // what that sentence leaves in the state
    const char* latField;    // latitude field text, "" when the field moved
    char16_t latHemisphere;
    int fixQuality;          // -1: the sentence has no fix field of its own
};

// Provenance: counts from the corpus README ("GGA total", "VTG total"); the last
// GGA line of each log copied from the log itself, its fields read by hand (empty
// fields shift the later ones: "$GPGGA,081429.000,,,,,0,0,,,M,,M,," leaves
// latitude token "0", hemisphere '0').
const LogRow kLogs[] = {
    {"GPSmap-76S.log", 12, 11, "$GPGGA,125128,3854.5087,N,07726.4523,W,8,10,2.0,268.8,M,-33.9,M,,", u"125128", "3854.5087", u'N', 8},
    {"bn-9015.log", 10, 10, "$GPGGA,171007.972,5200.8514,N,00421.7851,E,1,09,0.9,7.7,M,44.8,M,,0000", u"171007.972", "5200.8514", u'N', 1},
    {"bt451.log", 17, 17, "$GPGGA,143308.00,5546.81975,N,02334.70604,E,1,09,1.26,127.1,M,26.9,M,,", u"143308.00", "5546.81975", u'N', 1},
    {"bu353-glonass.log", 18, 0, "$GPGGA,081429.000,,,,,0,0,,,M,,M,,", u"081429.000", "", u'0', -1},
    {"bundg_zeus_9.log", 138, 148, "$GPGGA,094959,5250.8776,N,00518.5177,E,1,12,0.60,-4,M,46.8,M,,", u"094959", "5250.8776", u'N', 1},
    {"eXplorist110.log", 9, 0, "$GPGGA,014431.08,3728.0549,N,12213.8639,W,0,00,0.0,00019,M,-0028,M,,", u"014431.08", "3728.0549", u'N', 0},
    {"ericsson-gru04-02-70sec.log", 2, 71, "$GPGGA,213815.000,4111.59911,N,11156.54796,W,1,12,0.97,01482.8,M,-016.5,M,,", u"213815.000", "4111.59911", u'N', 1},
    {"et-332.log", 19, 19, "$GPGGA,153405.000,3940.6985,N,07544.9360,W,1,09,1.3,72.4,M,-33.8,M,,0000", u"153405.000", "3940.6985", u'N', 1},
    // The fix field is empty: the satellite count 11 moves into its place.
    {"firefly-II.log", 23, 0, "$GPGGA,010009.00,3715.6609,N,12157.6699,W,,11,0.8,85.4,M,-30.1,M,,", u"010009.00", "3715.6609", u'N', 11},
    {"garmin-10x.log", 14, 0, "$GPGGA,165049.000,4143.6110,N,08338.0882,W,1,05,1.5,212.3,M,-33.7,M,,0000", u"165049.000", "4143.6110", u'N', 1},
    {"gp-320fw-2019-04-06-overflow.log", 20, 20, "$GPGGA,235743.02,4808.9979,N,01135.0800,E,1,04,01.4,00464.4,M,0046.2,M,,", u"235743.02", "4808.9979", u'N', 1},
    // 16 GGA starts, but the cold-boot stream splices and cuts several; 15 reach
    // the parser (the log's 10 well-formed ones among them).
    {"gp-320fw-2019-04-07-coldboot.log", 15, 11, "$GPGGA,000435.00,0000.0000,N,00000.0000,E,0,00,0.0,,M,,M,,", u"000435.00", "0000.0000", u'N', 0},
    {"haicom-305N.log", 73, 73, "$GPGGA,095415.787,2712.6404,S,15303.1200,E,1,06,01.8,3.5,M,42.2,M,,", u"095415.787", "2712.6404", u'S', 1},
    {"hemi.log", 215, 215, "$GPGGA,194100.00,4221.8235522,N,07101.9438007,W,1,04,1.4,6.914,M,-33.057,M,,", u"194100.00", "4221.8235522", u'N', 1},
    {"humminbird-M37.log", 8, 8, "$INGGA,194118,4426.1215,N,07140.4987,W,2,10,0.9,268.5,M,,,,", u"194118", "4426.1215", u'N', 2},
    {"isync.log", 12, 12, "$GPGGA,131530.00,4153.85984,N,08738.63670,W,2,12,0.73,218.5,M,-33.8,M,,0000", u"131530.00", "4153.85984", u'N', 2},
    {"navika-100-fix.log", 20, 20, "$GPGGA,223310.00,3757.92655,N,12231.94546,W,1,05,1.20,9.2,M,-25.1,M,,", u"223310.00", "3757.92655", u'N', 1},
    {"neo-m8n.log", 23, 23, "$GNGGA,171948.00,4404.13902,N,12118.85371,W,1,12,1.05,1139.4,M,-21.3,M,,", u"171948.00", "4404.13902", u'N', 1},
    {"nl551e.log", 17, 17, "$GPGGA,191446.00,5200.17115,N,00602.17470,E,1,07,1.45,21.2,M,46.1,M,,", u"191446.00", "5200.17115", u'N', 1},
    {"nmea-fuzzy-cases.log", 14, 0, "$GNGGA,133900.90,4134.50180291,N,09345.03586858,W,4,19,0.7,280.833,M,-31.442,M,6.9,0002", u"133900.90", "4134.50180291", u'N', 4},
    {"nmea-rtk.log", 122, 0, "$GNGGA,133901.50,4134.50180366,N,09345.03586734,W,4,19,0.7,280.829,M,-31.442,M,7.5,0002", u"133901.50", "4134.50180366", u'N', 4},
    {"quectel-eg25-g.log", 60, 60, "$GPGGA,191533.98,3645.828239,N,03124.652575,E,1,03,3.1,-80.3,M,32.0,M,,", u"191533.98", "3645.828239", u'N', 1},
    {"quectel-l76k-nmea.log", 150, 150, "$GNGGA,055304.000,4739.71870,N,12219.58353,W,1,14,0.9,76.5,M,-21.6,M,,", u"055304.000", "4739.71870", u'N', 1},
    {"rx210.log", 61, 0, "$GNGGA,184141.00,5000.14178,N,00838.63752,E,1,06,2.55,131.7,M,47.6,M,,", u"184141.00", "5000.14178", u'N', 1},
    {"saab-r4.log", 12, 12, "$GPGGA,130722,5012.792600,N,00806.879600,W,2,,,,,,,", u"130722", "5012.792600", u'N', 2},
    {"skytraq-PX1172RH_DS.log", 9, 9, "$GPGGA,003840.000,4404.1271062,N,12118.8438377,W,5,14,0.8,1127.630,M,-20.300,M,1.000,0000", u"003840.000", "4404.1271062", u'N', 5},
    {"skytraq-dgps.log", 96, 96, "$GPGGA,213256.000,4404.1291692,N,12118.8674826,W,2,09,1.1,1105.001,M,-20.300,M,,0000", u"213256.000", "4404.1291692", u'N', 2},
    {"telit-he910.log", 224, 224, "$GPGGA,105459.408,5050.4126,N,00420.8228,E,1,05,1.75,102.0,M,,M,,0000", u"105459.408", "5050.4126", u'N', 1},
    {"telit-pls83-w.log", 20, 20, "$GAGGA,043548.00,4333.190127,N,00127.618382,E,1,01,1.3,250.7,M,50.0,M,,", u"043548.00", "4333.190127", u'N', 1},
    {"tn200.log", 19, 0, "$GPGGA,204139.079,0000.0000,N,00000.0000,E,0,00,50.0,0.0,M,0.0,M,0.0,0000", u"204139.079", "0000.0000", u'N', 0},
    {"tr737A+.log", 10, 0, "$GPGGA,071743.000,4404.1312,N,12118.8480,W,1,4,5.20,1134.6,M,-19.6,M,,", u"071743.000", "4404.1312", u'N', 1},
    {"triton400.log", 5, 0, "$GPGGA,030133.00,2638.1753,N,08011.3903,W,1,06,1.5,00020,M,-0028,M,,", u"030133.00", "2638.1753", u'N', 1},
    {"ublox-lea-5q.log", 9, 9, "$GPGGA,001909.00,,,,,0,00,99.99,,,,,,", u"001909.00", "", u'0', -1},
    {"ublox-neo-m9n-nmea.log", 61, 61, "$GNGGA,223845.00,3806.63006,N,12237.61538,W,2,12,0.56,81.8,M,-29.5,M,,0000", u"223845.00", "3806.63006", u'N', 2},
    {"ublox-zed-f9r.log", 30, 30, "$GNGGA,231437.00,4503.94634,N,00739.54434,E,5,12,0.87,256.4,M,47.2,M,0.0,0041", u"231437.00", "4503.94634", u'N', 5},
    {"pynmea2-examples/data.log", 1, 0, "$GPGGA,184353.07,1929.045,S,02410.506,E,1,04,2.6,100.00,M,-33.9,M,,0000", u"184353.07", "1929.045", u'S', 1},
};

std::string ReadLog(const std::string& name)
{
    std::ifstream in(std::string(VELKAR_SHARED_DIR) + "/nmea-corpus/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Degrees of a "ddmm.mmmm" field computed on its own: dd + mm.mmmm / 60.
double LatitudeOfField(const std::string& field)
{
    if (field.empty()) return 0.0;
    const double degrees = std::strtod(field.substr(0, 2).c_str(), nullptr);
    const double minutes = std::strtod(field.substr(2).c_str(), nullptr);
    return degrees + minutes / 60.0;
}

TEST(Corpus, EveryLogThroughFramingAndParsers)
{
    for (const LogRow& r : kLogs) {
        SCOPED_TRACE(r.file);
        const std::string bytes = ReadLog(r.file);
        ASSERT_FALSE(bytes.empty());
        StartFromZero();
        ResetGpsState();
        Framer f;
        std::u16string lastGgaLine;
        int gga = 0, vtg = 0;
        for (char c : bytes) {
            const FrameResult result = FrameByte(f.buffer, &f.state, static_cast<unsigned char>(c));
            if (result != kFrameGga && result != kFrameVtg) continue;
            const std::u16string line = DisplayLineText();
            ASSERT_LE(line.size(), 252u);
            ASSERT_EQ(line[0], u'$');
            const std::u16string type = line.substr(3, 3);
            ASSERT_EQ(type, result == kFrameGga ? u"GGA" : u"VTG");
            if (result == kFrameGga) {
                ++gga;
                if (line.size() > 6) lastGgaLine = line;  // not a re-examined "$GPGGA"
            } else {
                ++vtg;
            }
        }
        EXPECT_EQ(gga, r.gga);
        EXPECT_EQ(vtg, r.vtg);
        EXPECT_EQ(Utf8(lastGgaLine), r.lastGga);
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(std::u16string(g.utcTime), r.utcTime);
        EXPECT_NEAR(g.latitude, LatitudeOfField(r.latField), 1e-9);
        EXPECT_EQ(g.latHemisphere, r.latHemisphere);
        if (r.fixQuality >= 0) {
            EXPECT_EQ(g.fixQuality, r.fixQuality);
        }
        EXPECT_TRUE(std::isfinite(g.utmEasting) && std::isfinite(g.gridNorthing));
    }
}

// The corpus fix near the 9 E meridian (u-blox ZED-F9R near Turin) lies in zone 32,
// where grid and UTM agree to a few centimetres.
TEST(Corpus, TurinFixInZone32)
{
    StartFromZero();
    Framer f;
    f.Feed(ReadLog("ublox-zed-f9r.log"));
    const GpsState g = SnapshotGpsState();
    EXPECT_EQ(g.utmZone, 32);
    EXPECT_NEAR(g.gridEasting, g.utmEasting, 0.05);
    EXPECT_NEAR(g.gridNorthing, g.utmNorthing, 0.05);
    EXPECT_NEAR(g.longitude, 7.0 + 39.54434 / 60.0, 1e-9);
}

}  // namespace
