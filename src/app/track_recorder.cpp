// GPX recording: fixes are taken from the fix history by serial, so none is
// written twice and a fast receiver loses none between two timer messages; the
// file name and any fix without a date take the system clock (UTC).
#include "app/track_recorder.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "base/text.h"
#include "platform/gpx_track.h"

namespace {

constexpr int32_t kBatch = 64;
constexpr int kPathSize = 96;

GpxTrackHandle track = nullptr;
uint64_t lastSerial = 0;

int64_t UtcNowSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

// Civil date of a day count since 1970-01-01 (proleptic Gregorian).
void CivilDate(int64_t days, int* year, int* month, int* day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2 ? 1 : 0));
}

bool Digits(const char16_t* text, int count)
{
    for (int i = 0; i < count; ++i)
        if (!(text[i] >= u'0' && text[i] <= u'9')) return false;
    return true;
}

int TwoDigits(const char16_t* text) { return (text[0] - u'0') * 10 + (text[1] - u'0'); }

// Up to two decimals of the seconds ("hhmmss.ss") as received, then "Z".
void AppendFraction(const char16_t* time, char* out, size_t size)
{
    char fraction[4] = {};
    if (time[6] == u'.' && Digits(time + 7, 1)) {
        fraction[0] = '.', fraction[1] = static_cast<char>(time[7]);
        if (Digits(time + 8, 1)) fraction[2] = static_cast<char>(time[8]);
    }
    const size_t used = std::char_traits<char>::length(out);
    std::snprintf(out + used, size - used, "%sZ", fraction);
}

}  // namespace

void FixTimeText(const AcceptedFix& fix, int64_t utcNowSeconds, char* out)
{
    constexpr size_t kSize = 24;
    char text[64];  // room for any int, so that nothing is cut; the values used fit kSize
    int64_t days = utcNowSeconds / 86400;
    int64_t secondOfDay = utcNowSeconds % 86400;
    if (secondOfDay < 0) secondOfDay += 86400, --days;
    int year = 0, month = 0, day = 0;
    CivilDate(days, &year, &month, &day);
    const char16_t* t = fix.utcTime;
    const bool timeOk = TextLength(t) >= 6 && Digits(t, 6) && TwoDigits(t) < 24 && TwoDigits(t + 2) < 60 &&
                        TwoDigits(t + 4) < 61;
    if (!timeOk) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day,
                      static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                      static_cast<int>(secondOfDay % 60));
    } else {
        const int32_t d = fix.utcDate;  // ddmmyy; years 80 to 99 are 1980 to 1999, as NMEA receivers count
        if (d > 0 && d / 10000 >= 1 && d / 10000 <= 31 && d / 100 % 100 >= 1 && d / 100 % 100 <= 12) {
            day = d / 10000;
            month = d / 100 % 100;
            year = d % 100 + (d % 100 >= 80 ? 1900 : 2000);
        }
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, TwoDigits(t),
                      TwoDigits(t + 2), TwoDigits(t + 4));
        AppendFraction(t, text, sizeof text);
    }
    std::snprintf(out, kSize, "%.23s", text);
}

int StartTrackRecording(WindowHandle window)
{
    if (track != nullptr) return 1;
    const int64_t now = UtcNowSeconds();
    int year = 0, month = 0, day = 0;
    CivilDate(now / 86400, &year, &month, &day);
    const int second = static_cast<int>(now % 86400);
    // Two recordings started within one second get "-2", "-3", ... after the time.
    for (int n = 1; n <= 9 && track == nullptr; ++n) {
        char16_t path[kPathSize];
        FormatText(path, kPathSize, "\\Scheda di memoria\\Velkar\\tracks\\%d-%d%d-%d%d-%d%d%d%d%d%d", year, month / 10,
                   month % 10, day / 10, day % 10, second / 36000, second / 3600 % 10, second / 60 % 60 / 10,
                   second / 60 % 10, second % 60 / 10, second % 10);
        if (n > 1) {
            char16_t suffix[8];
            FormatText(suffix, 8, "-%d", n);
            AppendText(path, kPathSize, suffix);
        }
        AppendText(path, kPathSize, u".gpx");
        track = OpenGpxTrack(path, u"Velkar");
    }
    if (track == nullptr) return 0;
    lastSerial = LatestFixSerial();
    StartTimer(window, kRecordTimerId, kRecordTimerPeriodMs);
    return 1;
}

int32_t RecordNewFixes()
{
    if (track == nullptr) return 0;
    AcceptedFix fixes[kBatch];
    int32_t written = 0;
    for (;;) {
        const int32_t count = TakeFixesAfter(lastSerial, fixes, kBatch);
        const int64_t now = UtcNowSeconds();
        for (int32_t i = 0; i < count; ++i) {
            const AcceptedFix& f = fixes[i];
            lastSerial = f.serial;
            if (f.fixQuality == 0) continue;  // a sentence without a fix carries no position
            GpxPoint p = {};
            p.latitude = f.latHemisphere == u'S' ? -f.latitude : f.latitude;
            p.longitude = f.lonHemisphere == u'W' ? -f.longitude : f.longitude;
            p.altitude = f.altitude;
            p.hasAltitude = 1;
            FixTimeText(f, now, p.time);
            if (AppendGpxPoint(track, &p)) ++written;
        }
        if (count < kBatch) return written;
    }
}

void StopTrackRecording(WindowHandle window)
{
    StopTimer(window, kRecordTimerId);
    if (track == nullptr) return;
    RecordNewFixes();
    CloseGpxTrack(track);
    track = nullptr;
}

int TrackRecordingActive() { return track != nullptr ? 1 : 0; }
