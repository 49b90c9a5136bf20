// GGA and VTG parsing and the steps every position fix shares. Fields lie between
// separators (',' and ':') and keep their NMEA place: field n is NMEA field n,
// empty fields counted. An empty field sets nothing, so the value it would set
// keeps what it held. Checksums are not verified. Also the silence rule: a fix
// that no position sentence has confirmed for a while is dropped.
#include "gps/gps_state.h"

#include "base/numbers.h"
#include "base/text.h"
#include "geo/geo.h"
#include "gps/fields.h"
#include "gps/fix_history.h"
#include "platform/clock.h"
#include "store/settings.h"

#include <cmath>

GpsState gpsState;
char16_t displayLine[kDisplayLineSize];
std::mutex gpsMutex;
std::atomic<int32_t> gotoActive{0};

namespace {

// When the last GGA reached ParseGga, and whether the fix it set may still be
// dropped by the silence rule (once per silence). Guarded by gpsMutex.
int64_t lastGgaMs = 0;
bool silenceArmed = false;

// Count of a time text: mm x 60 + ss from its third to sixth characters. A text
// shorter than six characters counts its missing characters as absent digits
// (an empty text counts 0).
// Numeric value of a short text (the two digits of minutes or seconds, the degree
// digits of a position): read as digits straight away when every character is one,
// else by TextToDouble. Either way the same double.
double ShortNumber(const char16_t* text)
{
    double value = 0.0;
    const char16_t* p = text;
    for (; *p >= u'0' && *p <= u'9'; ++p) value = value * 10.0 + static_cast<double>(*p - u'0');
    return (*p == 0 && p != text) ? value : TextToDouble(text);
}

// 1 when the numeric value of a text is 0.0. A text of plain digits (sign, digits,
// point, at most 19 digits, no exponent) is zero exactly when every digit is '0'
// (or it has none); other forms are read by TextToDouble.
int IsZeroValue(const char16_t* text)
{
    const char16_t* p = text;
    while (*p == u' ' || (*p >= u'\t' && *p <= u'\r')) ++p;
    if (*p == u'+' || *p == u'-') ++p;
    int digits = 0;
    bool nonZero = false;
    for (; *p >= u'0' && *p <= u'9'; ++p, ++digits) nonZero = nonZero || *p != u'0';
    if (*p == u'.' && digits > 0)
        for (++p; *p >= u'0' && *p <= u'9'; ++p, ++digits) nonZero = nonZero || *p != u'0';
    if (digits == 0 || digits > 19 || *p == u'e' || *p == u'E') return TextToDouble(text) == 0.0 ? 1 : 0;
    return nonZero ? 0 : 1;
}

int32_t TimeCount(const char16_t* time)
{
    size_t length = 0;  // counted up to the seconds' end: what lies after is not read
    while (length < 6 && time[length] != 0) ++length;
    char16_t minutes[3] = {0, 0, 0};
    char16_t seconds[3] = {0, 0, 0};
    for (size_t i = 0; i < 2; ++i) {
        if (2 + i < length) minutes[i] = time[2 + i];
        if (4 + i < length) seconds[i] = time[4 + i];
    }
    if (minutes[0] == 0) minutes[1] = 0;
    if (seconds[0] == 0) seconds[1] = 0;
    return TruncToInt32(ShortNumber(minutes)) * 60 + TruncToInt32(ShortNumber(seconds));
}

}  // namespace

StandInFlags standInFlags[kTalkerSlots + 1] = {};
int32_t sentenceStoodIn = 0;

// A field whose whole value is 0.0 (zeros, or text that is not a number) gives 0.0.
// A token shorter than its degree digits is split within the token only.
double FieldDegrees(char16_t* token, int digits)
{
    // The form every receiver sends, "ddmm.mmmm": at least the degree digits, a point
    // and decimals, at most 19 digits in all. Read in one pass into the very doubles
    // the general reading below gives (the minutes' digits, read as one whole number,
    // over an exact power of ten).
    uint64_t degreeValue = 0, minuteDigits = 0;
    int whole = 0, fraction = 0;
    const char16_t* p = token;
    for (; whole < digits && *p >= u'0' && *p <= u'9'; ++p, ++whole) degreeValue = degreeValue * 10 + uint64_t(*p - u'0');
    for (; *p >= u'0' && *p <= u'9' && whole < 20; ++p, ++whole) minuteDigits = minuteDigits * 10 + uint64_t(*p - u'0');
    if (*p == u'.')
        for (++p; *p >= u'0' && *p <= u'9' && whole + fraction < 20; ++p, ++fraction)
            minuteDigits = minuteDigits * 10 + uint64_t(*p - u'0');
    if (*p == 0 && whole >= digits && whole + fraction <= 19 && minuteDigits <= (uint64_t{1} << 53)) {
        if (degreeValue == 0 && minuteDigits == 0) return 0.0;
        for (int i = 0; i < digits; ++i) token[i] = u'0';
        return DmsToDegrees(static_cast<double>(degreeValue),
                            static_cast<double>(minuteDigits) / kExactPowersOfTen[fraction], 0.0);
    }
    if (IsZeroValue(token)) return 0.0;
    char16_t degreeText[4] = {0, 0, 0, 0};
    int n = 0;
    while (n < digits && token[n] != 0) {
        degreeText[n] = token[n];
        ++n;
    }
    const double degrees = ShortNumber(degreeText);
    for (int i = 0; i < n; ++i) token[i] = u'0';
    const double minutes = TextToDouble(token);
    return DmsToDegrees(degrees, minutes, 0.0);
}

void BeginFix(GpsState& g)
{
    g.prevUtmEasting = g.utmEasting;
    g.prevUtmNorthing = g.utmNorthing;
    g.prevGridEasting = g.gridEasting;
    g.prevGridNorthing = g.gridNorthing;
    CopyText(g.prevUtcTime, sizeof g.prevUtcTime / sizeof g.prevUtcTime[0], g.utcTime);
}

void FinishFix(GpsState& g)
{
    const LatitudeTerms latitude = LatitudeTermsOf(g.latitude);
    g.utmZone = LatLonToUtm(latitude, g.longitude, &g.utmEasting, &g.utmNorthing);
    LatLonToGrid(latitude, g.longitude, &g.gridNorthing, &g.gridEasting);
    g.distanceMoved = std::sqrt(Square(g.prevUtmEasting - g.utmEasting) +
                                Square(g.prevUtmNorthing - g.utmNorthing));
    g.timeDelta = UtcDeltaSeconds(g.prevUtcTime, g.utcTime);
    lastGgaMs = MonotonicMs();
    silenceArmed = true;
    RecordAcceptedFix(g);
}

double UtcDeltaSeconds(const char16_t* previousTime, const char16_t* currentTime)
{
    return static_cast<double>(TimeCount(currentTime)) - static_cast<double>(TimeCount(previousTime));
}

// $GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,*65
//   0       1        2     3     4     5 6 7  8     9   10  11 12 (13 empty, 14 "*65")
//   addr  time      lat   N/S   lon  E/W fix sats hdop alt
// A lost fix leaves the position fields empty, and they keep their values:
// $GPGGA,163450.0,,,,,0,00,,,M,,M,,  sets time, fix 0 and satellites 0 only.
int32_t ParseGga(char16_t* text)
{
    GpsState& g = gpsState;
    MarkHandedOver(&StandInFlags::fixSinceRmc);
    MarkHandedOver(&StandInFlags::ggaSinceGns);
    BeginFix(g);

    const int32_t count = ForEachField(text, [](int32_t number, char16_t* token) {
        GpsState& g = gpsState;
        switch (number) {
        case 1: CopyText(g.utcTime, sizeof g.utcTime / sizeof g.utcTime[0], token); break;
        case 2: g.latitude = FieldDegrees(token, 2); break;
        case 3: g.latHemisphere = token[0]; break;
        case 4: g.longitude = FieldDegrees(token, 3); break;
        case 5: g.lonHemisphere = token[0]; break;
        case 6: g.fixQuality = static_cast<uint8_t>(static_cast<uint32_t>(TextToInt(token)) & 0xFF); break;
        case 7: g.satellites = static_cast<uint8_t>(static_cast<uint32_t>(TextToInt(token)) & 0xFF); break;
        case 9: g.altitude = TextToDouble(token); break;
        default: break;
        }
    });

    FinishFix(g);
    return count;
}

// $GPVTG,054.7,T,034.4,M,005.5,N,010.2,K
//   0      1   2   3   4   5   6   7   8
//   addr course   magn.    knots   km/h
// Many receivers leave the magnetic course empty ($GPVTG,054.7,T,,M,005.5,N,010.2,K);
// the km/h value stays field 7.
int32_t ParseVtg(char16_t* text)
{
    MarkHandedOver(&StandInFlags::vtgSinceRmc);
    return ForEachField(text, [](int32_t number, char16_t* token) {
        GpsState& g = gpsState;
        if (number == 1) g.course = TextToDouble(token);
        else if (number == 7) g.speedKmh = TextToDouble(token);
    });
}

void ResetGpsState()
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    GpsState& g = gpsState;
    g.latitude = 0.0;
    g.longitude = 0.0;
    g.utmEasting = 0.0;
    g.utmNorthing = 0.0;
    g.prevUtmEasting = 0.0;
    g.prevUtmNorthing = 0.0;
    g.utmZone = 0;
    g.fixQuality = 0;
    g.satellites = 0;
    g.distanceMoved = 0.0;
    g.timeDelta = 0.0;
    g.speedKmh = 0.0;
    g.latHemisphere = u'N';
    g.lonHemisphere = u'E';
    silenceArmed = false;
    for (StandInFlags& f : standInFlags) f = StandInFlags{};
    sentenceStoodIn = 0;
}

int32_t DropSilentFix(int64_t nowMs, int32_t lost)
{
    if (settings.gpsEmulation.load() != 0 || gotoActive.load() != 0) return 0;
    std::lock_guard<std::mutex> lock(gpsMutex);
    if (!silenceArmed) return 0;
    if (lost == 0 && !(nowMs - lastGgaMs > kGpsSilenceLimitMs)) return 0;
    silenceArmed = false;
    gpsState.fixQuality = 0;
    return 1;
}

GpsState SnapshotGpsState()
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    return gpsState;
}

void SnapshotDisplayLine(char16_t* out)
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    CopyText(out, kDisplayLineSize, displayLine);
}
