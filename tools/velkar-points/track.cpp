// velkar-points track: the navigator's track log, which holds neither date nor
// hemisphere, as a dated and signed GPX 1.1 track.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "catalogue.h"
#include "platform/files.h"
#include "points_tool.h"
#include "store/track_log.h"

namespace {

constexpr double kNewDaySeconds = 12 * 3600;

std::string FixedText6(double v) { return FixedText(v, 6); }

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

std::string CivilText(int64_t days)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return text;
}

// "2026-12-06" to days since 1970-01-01; 0 when it is no date.
int ParseDate(const std::string& text, int64_t* days)
{
    unsigned y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u%c", &y, &m, &d, &tail) != 3) return 0;
    if (m < 1 || m > 12 || d < 1 || d > 31) return 0;
    *days = DaysFromCivil(y, m, d);
    return CivilText(*days) == text ? 1 : 0;  // 2026-02-30 does not come back the same
}

// A log line's time text, "163400.0" (hhmmss with optional fraction), to
// seconds of the day; -1 when it is not one.
double TimeOfDay(const std::string& text)
{
    if (text.size() < 6) return -1;
    for (int i = 0; i < 6; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    char* end = nullptr;
    const double fraction = text.size() > 6 ? std::strtod(text.c_str() + 6, &end) : 0;
    if (text.size() > 6 && (text[6] != '.' || *end != 0)) return -1;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int mi = (text[2] - '0') * 10 + (text[3] - '0');
    const int s = (text[4] - '0') * 10 + (text[5] - '0');
    if (h > 23 || mi > 59 || s > 60) return -1;
    return h * 3600 + mi * 60 + s + fraction;
}

}  // namespace

int RunTrack(const Options& o)
{
    int64_t day = 0;
    if (!ParseDate(o.date, &day)) return Refuse("--date needs a date YYYY-MM-DD, not '" + o.date + "'");
    const std::string& h = o.hemisphere;
    if (h.size() != 3 || (h[0] != 'N' && h[0] != 'S') || h[1] != ',' || (h[2] != 'E' && h[2] != 'W'))
        return Refuse("--hemisphere needs N or S, a comma and E or W (N,E), not '" + h + "'");
    const double latSign = h[0] == 'S' ? -1 : 1;
    const double lonSign = h[2] == 'W' ? -1 : 1;

    const std::string logPath = o.log.empty() ? DevicePathToHost(kTrackLogPath) : o.log;
    std::string message;
    if (!InputIsRegularFile(logPath, &message)) return Refuse(message);
    std::ifstream in(logPath, std::ios::binary);
    if (!in) return Refuse(logPath + " cannot be read");
    const std::string exchange = ScratchFile("track.txt");
    if (exchange.empty()) return Refuse("cannot create a temporary file");
    std::ofstream out(exchange, std::ios::binary);
    int points = 0, skipped = 0;
    double previous = -1;
    // 44.348733;11.717500;163400.0;1;0.000000;0.000000 \n
    // latitude  longitude utcTime  fix speedKmh course
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, ';');) f.push_back(field);
        if (f.size() < 6) {
            if (line.find_first_not_of(" \r") != std::string::npos) ++skipped;
            continue;
        }
        char *e1 = nullptr, *e2 = nullptr;
        const double lat = std::strtod(f[0].c_str(), &e1);
        const double lon = std::strtod(f[1].c_str(), &e2);
        const double t = TimeOfDay(f[2]);
        if (*e1 != 0 || *e2 != 0 || !(lat >= 0 && lat <= 90 && lon >= 0 && lon <= 180) || t < 0) {
            ++skipped;
            continue;
        }
        // Past midnight: the time of day goes back by more than half a day. A
        // receiver's timestamps may step back a little; that is no new day.
        if (previous >= 0 && t < previous - kNewDaySeconds) ++day;
        previous = t;
        const int whole = static_cast<int>(t);
        char time[64];
        std::snprintf(time, sizeof time, "%sT%02d:%02d:%02d.%03dZ", CivilText(day).c_str(), whole / 3600,
                      whole / 60 % 60, whole % 60, static_cast<int>(std::lround((t - whole) * 1000)) % 1000);
        out << FixedText6(lat * latSign) << ';' << FixedText6(lon * lonSign) << ';' << time << ';'
            << FixedText6(std::strtod(f[4].c_str(), nullptr)) << ';' << FixedText6(std::strtod(f[5].c_str(), nullptr))
            << '\n';
        ++points;
    }
    out.close();
    if (!out) return Refuse("cannot write a temporary file");
    if (points == 0) return Refuse(logPath + " holds no track-log lines");
    std::fprintf(stderr,
                 "velkar-points: the track log holds no date and no hemisphere: its first line is dated %s UTC "
                 "(a day added when the time goes back past midnight) and every position taken as %s (--date, --hemisphere)\n",
                 o.date.c_str(), h.c_str());
    if (skipped > 0) std::fprintf(stderr, "velkar-points: %d line%s that are not track-log lines left out\n", skipped,
                                  skipped == 1 ? "" : "s");
    return WriteGpx("velkar-track.style", exchange, o.output);
}

