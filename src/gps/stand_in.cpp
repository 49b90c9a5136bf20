// RMC and GNS parsing: speed and course from an RMC when no VTG comes, and the
// position from a GNS or an RMC standing in for a GGA that does not come. The
// flags in standInFlags say what came since the previous sentence of each kind
// from the same talker.
#include <cstdint>

#include "base/text.h"
#include "gps/fields.h"
#include "gps/fix_history.h"
#include "gps/gps_state.h"

namespace {

constexpr int kKeptFields = 10;  // fields 0 to 9 are looked at
constexpr double kKmhPerKnot = 1.852;

// The sentence's non-empty fields 0 to 9 by number (nullptr for an empty or
// absent one); returns the number of non-empty fields in the whole sentence.
int32_t SplitFields(char16_t* text, char16_t** field)
{
    for (int i = 0; i < kKeptFields; ++i) field[i] = nullptr;
    return ForEachField(text, [field](int32_t number, char16_t* token) {
        if (number < kKeptFields) field[number] = token;
    });
}

uint8_t LowByte(const char16_t* token) { return static_cast<uint8_t>(static_cast<uint32_t>(TextToInt(token)) & 0xFF); }

// Time (field 1) and latitude, hemisphere letters and longitude (fields at, at + 1,
// at + 2, at + 3), each set only when present, between ParseGga's first and last
// steps; then the fix quality when it is 0 or more.
void StandInPosition(GpsState& g, char16_t** f, int at, int32_t fixQuality)
{
    if (f[1] != nullptr) CopyText(g.utcTime, sizeof g.utcTime / sizeof g.utcTime[0], f[1]);
    if (f[at] != nullptr) g.latitude = FieldDegrees(f[at], 2);
    if (f[at + 1] != nullptr) g.latHemisphere = f[at + 1][0];
    if (f[at + 2] != nullptr) g.longitude = FieldDegrees(f[at + 2], 3);
    if (f[at + 3] != nullptr) g.lonHemisphere = f[at + 3][0];
    if (fixQuality >= 0) g.fixQuality = static_cast<uint8_t>(fixQuality);
}

// The next slot taken up by a new talker once all are in use.
int nextReusedSlot = 1;

}  // namespace

void MarkHandedOver(int32_t StandInFlags::*flag)
{
    for (StandInFlags& f : standInFlags) f.*flag = 1;
}

StandInFlags& TalkerFlags(const char16_t* text)
{
    const char16_t a = text[0] != 0 ? text[1] : 0;
    const char16_t b = a != 0 ? text[2] : 0;
    for (int i = 1; i <= kTalkerSlots; ++i) {
        StandInFlags& f = standInFlags[i];
        if (f.talker[0] == a && f.talker[1] == b && (a != 0 || b != 0)) return f;
        if (f.talker[0] == 0 && f.talker[1] == 0) {
            f = standInFlags[0];
            f.talker[0] = a, f.talker[1] = b;
            return f;
        }
    }
    StandInFlags& f = standInFlags[nextReusedSlot];
    nextReusedSlot = nextReusedSlot % kTalkerSlots + 1;
    f = standInFlags[0];
    f.talker[0] = a, f.talker[1] = b;
    return f;
}

// $GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E*62
//   0       1   2    3    4    5     6   7     8     9
//  addr   time st   lat  N/S  lon  E/W knots course date
int32_t ParseRmc(char16_t* text)
{
    GpsState& g = gpsState;
    StandInFlags& talker = TalkerFlags(text);
    char16_t* f[kKeptFields];
    const int32_t count = SplitFields(text, f);
    const bool motion = talker.vtgSinceRmc == 0;
    const bool standIn = talker.fixSinceRmc == 0;
    talker.vtgSinceRmc = 0;
    talker.fixSinceRmc = 0;
    sentenceStoodIn = standIn ? 1 : 0;
    const bool valid = f[2] != nullptr && f[2][0] == u'A';
    if (f[9] != nullptr) gpsUtcDate = TextToInt(f[9]);
    if (motion && valid) {
        if (f[7] != nullptr) g.speedKmh = TextToDouble(f[7]) * kKmhPerKnot;
        if (f[8] != nullptr) g.course = TextToDouble(f[8]);
    }
    if (standIn) {
        BeginFix(g);
        StandInPosition(g, f, 3, f[2] == nullptr ? -1 : (valid ? 1 : 0));
        FinishFix(g);
    }
    return count;
}

// $GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,03,10.5,,,,*57
//   0        1         2      3     4       5  6  7   8  9
//  addr    time       lat   N/S    lon    E/W mode sats hdop alt
int32_t ParseGns(char16_t* text)
{
    GpsState& g = gpsState;
    StandInFlags& talker = TalkerFlags(text);
    char16_t* f[kKeptFields];
    const int32_t count = SplitFields(text, f);
    const bool standIn = talker.ggaSinceGns == 0;
    talker.ggaSinceGns = 0;
    MarkHandedOver(&StandInFlags::fixSinceRmc);
    sentenceStoodIn = standIn ? 1 : 0;
    if (!standIn) return count;
    int32_t fixQuality = -1;
    if (f[6] != nullptr) {
        fixQuality = 0;
        for (const char16_t* m = f[6]; *m != 0; ++m)
            if (*m != u'N') fixQuality = 1;
    }
    BeginFix(g);
    StandInPosition(g, f, 2, fixQuality);
    if (f[7] != nullptr) g.satellites = LowByte(f[7]);
    if (f[9] != nullptr) g.altitude = TextToDouble(f[9]);
    FinishFix(g);
    return count;
}
