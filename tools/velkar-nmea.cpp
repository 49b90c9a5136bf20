// velkar-nmea: shows what the navigator makes of a receiver's output. Bytes from
// files, a tty or standard input go through the navigator's own sentence framing
// and parsers; every sentence handed to a parser prints one JSON line of the state.
// Uses the navigation core only (standard library, no platform layer).
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

#include "base/text.h"
#include "geo/geo.h"
#include "gps/emulation.h"
#include "gps/framing.h"
#include "gps/gps_state.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitUnreadable = 2;

const char kHelp[] =
    "usage: velkar-nmea [FILE ...]\n"
    "       velkar-nmea --emulate N\n"
    "       velkar-nmea --convert LAT LON\n"
    "       velkar-nmea --help\n"
    "\n"
    "Shows what the navigator makes of a GPS receiver's NMEA 0183 output.\n"
    "\n"
    "velkar-nmea [FILE ...]\n"
    "  Reads each FILE in turn (none, or '-': standard input; a tty such as\n"
    "  /dev/ttyUSB0 works too, set its speed beforehand) and sends the bytes\n"
    "  through the navigator's sentence framing and GGA/VTG/RMC/GNS parsers, with\n"
    "  GPS emulation and GoTo both off. For every sentence handed to a parser it\n"
    "  prints one JSON object on one line:\n"
    "    \"kind\"         \"GGA\", \"VTG\", \"RMC\" or \"GNS\"\n"
    "    \"stoodIn\"      RMC and GNS only: true when the sentence stood in for a\n"
    "                 GGA that the receiver does not send (it set the position)\n"
    "    \"displayLine\"  the sentence as handed over, from '$' to before '*'\n"
    "    then every field of the navigation state under its own name:\n"
    "    utcTime prevUtcTime latitude latHemisphere longitude utmEasting\n"
    "    utmNorthing prevUtmEasting prevUtmNorthing prevGridEasting\n"
    "    prevGridNorthing gridEasting gridNorthing utmZone lonHemisphere\n"
    "    fixQuality satellites altitude distanceMoved timeDelta speedKmh course\n"
    "  Texts are strings, hemisphere letters one-character strings, numbers are\n"
    "  printed so that they read back to the same double (null when a value is\n"
    "  infinite or not a number). The state starts as after the navigator's\n"
    "  start-up and runs on from one FILE to the next; each FILE starts a new\n"
    "  sentence. A FILE that cannot be read is named in a one-line message on\n"
    "  standard error, the other files are still read, and the exit status is 2.\n"
    "\n"
    "velkar-nmea --emulate N\n"
    "  Feeds N of the five canned sentences of the GPS emulation, in their cycle,\n"
    "  and prints the same line after each.\n"
    "\n"
    "velkar-nmea --convert LAT LON\n"
    "  Converts a latitude and longitude in decimal degrees (north and east\n"
    "  positive) and prints\n"
    "  {\"utmZone\":..,\"utmEasting\":..,\"utmNorthing\":..,\"gridNorthing\":..,\"gridEasting\":..}\n"
    "  with the UTM zone, easting and northing and the plane grid (central\n"
    "  meridian 9 E) northing and easting, in metres.\n"
    "\n"
    "Exit status: 0 when everything was read, 2 when a FILE could not be read,\n"
    "1 for a wrong command line.\n";

void AppendJsonString(std::string& out, const char16_t* text)
{
    // Plain ASCII, the usual case, goes out as it is, in one append.
    char plain[kDisplayLineSize + 1];
    size_t n = 0;
    plain[n++] = '"';
    for (; n < sizeof plain && *text >= 0x20 && *text < 0x7F && *text != u'"' && *text != u'\\'; ++text)
        plain[n++] = static_cast<char>(*text);
    out.append(plain, n);
    // Control characters (and DEL) are escaped one by one; the rest goes out as UTF-8.
    const char16_t* run = text;
    auto flush = [&](const char16_t* end) {
        if (end == run) return;
        std::u16string part(run, end);
        out += TextToUtf8(part.c_str());
    };
    const char16_t* p = text;
    for (; *p != 0; ++p) {
        const char16_t c = *p;
        if (c >= 0x20 && c != u'"' && c != u'\\' && c != 0x7F) continue;
        flush(p);
        run = p + 1;
        switch (c) {
        case u'"': out += "\\\""; break;
        case u'\\': out += "\\\\"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        default: {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
            break;
        }
        }
    }
    flush(p);
    out.push_back('"');
}

void AppendJsonChar(std::string& out, char16_t c)
{
    const char16_t text[2] = {c, 0};
    if (c == 0) {
        out += "\"\\u0000\"";  // a letter field never set
        return;
    }
    AppendJsonString(out, text);
}

void AppendInteger(std::string& out, long long value)
{
    char buffer[24];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

void AppendJsonNumber(std::string& out, double value)
{
    // JSON has no infinities or NaN.
    if (value != value || value - value != 0.0) {
        out += "null";
        return;
    }
    // A whole number below 2^53 is its own shortest plain form ("30", "-0").
    if (value > -9007199254740992.0 && value < 9007199254740992.0 && value == static_cast<double>(static_cast<int64_t>(value))) {
        if (value == 0.0 && std::signbit(value)) out.push_back('-');
        AppendInteger(out, static_cast<long long>(value));
        return;
    }
    // Most numbers of a line stand in the line before too (a VTG changes two; a GGA's
    // previous values are the last line's current ones): their texts are kept by
    // the double's bits, and a text depends on nothing else.
    struct KeptText {
        uint64_t bits;
        uint8_t length;  // 0: empty slot
        char text[31];
    };
    static KeptText kept[256];
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    KeptText& slot = kept[(bits * 0x9E3779B97F4A7C15ull) >> 56];
    if (slot.length != 0 && slot.bits == bits) {
        out.append(slot.text, slot.length);
        return;
    }
    // As DoubleToRoundTripText: plain notation within 24 characters, else the
    // shortest form with an exponent; written straight into the output.
    char buffer[400];
    auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (fixed.ec != std::errc() || fixed.ptr - buffer > 24) fixed = std::to_chars(buffer, buffer + sizeof buffer, value);
    const size_t length = static_cast<size_t>(fixed.ptr - buffer);
    out.append(buffer, length);
    if (length < sizeof slot.text) {
        slot.bits = bits;
        slot.length = static_cast<uint8_t>(length);
        std::memcpy(slot.text, buffer, length);
    }
}

// Everything printed goes through this buffer: written out when it holds 64 KiB,
// at every line while lineByLine is 1 (a receiver on a tty shows up as it talks),
// and at the end.
std::string output;
int lineByLine = 1;
constexpr size_t kOutputChunk = 1 << 16;

void WriteOutput()
{
    std::fwrite(output.data(), 1, output.size(), stdout);
    std::fflush(stdout);
    output.clear();
}

// ,"name": with the name's length known when compiled.
template <size_t N>
void AppendField(std::string& out, const char (&name)[N])
{
    out.append(",\"", 2);
    out.append(name, N - 1);
    out.append("\":", 2);
}

// One line for the sentence just parsed, from a snapshot taken under gpsMutex;
// an RMC or GNS also says whether it stood in for a GGA.
void PrintState(const char* kind)
{
    GpsState g;
    char16_t line[kDisplayLineSize];
    int32_t stoodIn = 0;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        g = gpsState;
        CopyText(line, kDisplayLineSize, displayLine);
        stoodIn = sentenceStoodIn;
    }
    std::string& out = output;
    if (out.capacity() < 2 * kOutputChunk) out.reserve(2 * kOutputChunk);
    out += "{\"kind\":\"";
    out += kind;
    out += "\"";
    if (kind[0] == 'R' || kind[1] == 'N') out += stoodIn != 0 ? ",\"stoodIn\":true" : ",\"stoodIn\":false";
    AppendField(out, "displayLine"), AppendJsonString(out, line);
    AppendField(out, "utcTime"), AppendJsonString(out, g.utcTime);
    AppendField(out, "prevUtcTime"), AppendJsonString(out, g.prevUtcTime);
    AppendField(out, "latitude"), AppendJsonNumber(out, g.latitude);
    AppendField(out, "latHemisphere"), AppendJsonChar(out, g.latHemisphere);
    AppendField(out, "longitude"), AppendJsonNumber(out, g.longitude);
    AppendField(out, "utmEasting"), AppendJsonNumber(out, g.utmEasting);
    AppendField(out, "utmNorthing"), AppendJsonNumber(out, g.utmNorthing);
    AppendField(out, "prevUtmEasting"), AppendJsonNumber(out, g.prevUtmEasting);
    AppendField(out, "prevUtmNorthing"), AppendJsonNumber(out, g.prevUtmNorthing);
    AppendField(out, "prevGridEasting"), AppendJsonNumber(out, g.prevGridEasting);
    AppendField(out, "prevGridNorthing"), AppendJsonNumber(out, g.prevGridNorthing);
    AppendField(out, "gridEasting"), AppendJsonNumber(out, g.gridEasting);
    AppendField(out, "gridNorthing"), AppendJsonNumber(out, g.gridNorthing);
    AppendField(out, "utmZone"), AppendInteger(out, g.utmZone);
    AppendField(out, "lonHemisphere"), AppendJsonChar(out, g.lonHemisphere);
    AppendField(out, "fixQuality"), AppendInteger(out, g.fixQuality);
    AppendField(out, "satellites"), AppendInteger(out, g.satellites);
    AppendField(out, "altitude"), AppendJsonNumber(out, g.altitude);
    AppendField(out, "distanceMoved"), AppendJsonNumber(out, g.distanceMoved);
    AppendField(out, "timeDelta"), AppendJsonNumber(out, g.timeDelta);
    AppendField(out, "speedKmh"), AppendJsonNumber(out, g.speedKmh);
    AppendField(out, "course"), AppendJsonNumber(out, g.course);
    out += "}\n";
    if (lineByLine != 0 || out.size() >= kOutputChunk) WriteOutput();
}

void PrintResult(FrameResult r)
{
    static const char* const kKinds[kFrameResultCount] = {nullptr, "GGA", "VTG", nullptr, "RMC", "GNS"};
    if (r >= 0 && r < kFrameResultCount && kKinds[r] != nullptr) PrintState(kKinds[r]);
}

// Frames every byte of one stream. Returns 1 when the stream was read to its end,
// 0 on a read error (errno holds the reason). A regular file is read in large
// blocks and printed in large blocks; anything else (a tty, a pipe) byte by byte
// with getc, which hands over each byte as soon as the line has it, and line by line.
int FrameStream(std::FILE* in, bool regularFile)
{
    char16_t buffer[kSentenceBufferSize] = {};
    FramingState state = {0, 0};
    lineByLine = regularFile ? 0 : 1;
    if (regularFile) {
        static unsigned char block[1 << 16];
        size_t got;
        while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
            for (size_t at = 0; at < got;) {
                FrameResult r = kFrameNone;
                at += FrameBytes(buffer, &state, block + at, got - at, &r);
                PrintResult(r);
            }
        }
    } else {
        int c;
        while ((c = std::getc(in)) != EOF) PrintResult(FrameByte(buffer, &state, static_cast<unsigned char>(c)));
    }
    WriteOutput();
    return std::ferror(in) ? 0 : 1;
}

// Reads the named stream ("-" for standard input); 1 when it was read whole.
int ProbeFile(const char* name)
{
    const bool standardInput = std::strcmp(name, "-") == 0;
    errno = 0;
    std::FILE* in = standardInput ? stdin : std::fopen(name, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "velkar-nmea: cannot read %s: %s\n", name, std::strerror(errno));
        return 0;
    }
    // Standard input redirected from a file counts as that file.
    std::error_code ignored;
    const bool regularFile = std::filesystem::is_regular_file(standardInput ? "/dev/stdin" : name, ignored);
    errno = 0;
    const int ok = FrameStream(in, regularFile);
    const int readError = errno;
    if (!standardInput) std::fclose(in);
    if (ok == 0) {
        std::fprintf(stderr, "velkar-nmea: cannot read %s: %s\n", standardInput ? "standard input" : name,
                     std::strerror(readError != 0 ? readError : EIO));
        return 0;
    }
    return 1;
}

// The whole argument as a finite decimal number; 0 when it is not one ("nan",
// "inf" and out-of-range values included).
int ParseNumberArgument(const char* text, double* value)
{
    const char* end = text + std::strlen(text);
    const char* first = (*text == '+') ? text + 1 : text;
    auto r = std::from_chars(first, end, *value, std::chars_format::general);
    const bool finite = *value == *value && *value - *value == 0.0;
    return (r.ec == std::errc() && r.ptr == end && first != end && finite) ? 1 : 0;
}

int ParseCountArgument(const char* text, long long* value)
{
    const char* end = text + std::strlen(text);
    auto r = std::from_chars(text, end, *value);
    return (r.ec == std::errc() && r.ptr == end && text != end && *value >= 0) ? 1 : 0;
}

int Usage(const char* message)
{
    std::fprintf(stderr, "velkar-nmea: %s (velkar-nmea --help explains the usage)\n", message);
    return kExitUsage;
}

int RunConvert(const char* latitudeText, const char* longitudeText)
{
    double latitude = 0.0;
    double longitude = 0.0;
    if (ParseNumberArgument(latitudeText, &latitude) == 0) return Usage("LAT is not a decimal number");
    if (ParseNumberArgument(longitudeText, &longitude) == 0) return Usage("LON is not a decimal number");
    double easting = 0.0;
    double northing = 0.0;
    const int32_t zone = LatLonToUtm(latitude, longitude, &easting, &northing);
    double gridNorthing = 0.0;
    double gridEasting = 0.0;
    LatLonToGrid(latitude, longitude, &gridNorthing, &gridEasting);
    std::string out = "{\"utmZone\":" + std::to_string(zone);
    AppendField(out, "utmEasting"), AppendJsonNumber(out, easting);
    AppendField(out, "utmNorthing"), AppendJsonNumber(out, northing);
    AppendField(out, "gridNorthing"), AppendJsonNumber(out, gridNorthing);
    AppendField(out, "gridEasting"), AppendJsonNumber(out, gridEasting);
    out += "}\n";
    std::fwrite(out.data(), 1, out.size(), stdout);  // a separate string: nothing else is printed
    return kExitOk;
}

int RunEmulate(const char* countText)
{
    long long count = 0;
    if (ParseCountArgument(countText, &count) == 0) return Usage("N is not a whole number of 0 or more");
    ResetGpsState();
    lineByLine = 0;
    for (long long i = 0; i < count; ++i) {
        FeedEmulatedSentence(1);
        PrintState("GGA");
    }
    WriteOutput();
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--emulate") == 0) {
        if (argc != 3) return Usage("--emulate takes one number N");
        return RunEmulate(argv[2]);
    }
    if (argc >= 2 && std::strcmp(argv[1], "--convert") == 0) {
        if (argc != 4) return Usage("--convert takes a latitude and a longitude");
        return RunConvert(argv[2], argv[3]);
    }

    // Files: the rest of the arguments ("--" ends the options).
    int first = 1;
    if (argc >= 2 && std::strcmp(argv[1], "--") == 0) first = 2;
    else if (argc >= 2 && argv[1][0] == '-' && argv[1][1] != 0) return Usage("unknown option");

    ResetGpsState();
    int status = kExitOk;
    if (first >= argc) {
        if (ProbeFile("-") == 0) status = kExitUnreadable;
    } else {
        for (int i = first; i < argc; ++i)
            if (ProbeFile(argv[i]) == 0) status = kExitUnreadable;
    }
    return status;
}
