// The track log: one line per call, appended and closed at once, and only for a
// position that can be a place on Earth (a corrupted sentence is never logged).
#include "store/track_log.h"

#include <cmath>

#include "base/text.h"
#include "gps/gps_state.h"
#include "platform/files.h"

const char16_t kTrackLogPath[] = u"\\Scheda di memoria\\GpsLog.txt";

int IsLoggablePosition(double latitude, double longitude, double speedKmh, double course)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(speedKmh) || !std::isfinite(course))
        return 0;
    if (std::fabs(latitude) > 90.0 || std::fabs(longitude) > 180.0) return 0;
    if (latitude == 0.0 && longitude == 0.0) return 0;
    return 1;
}

void AppendTrackLog()
{
    TextFile* file = OpenTextFile(kTrackLogPath, "a+t");
    if (file == nullptr) return;
    const GpsState g = SnapshotGpsState();
    if (!IsLoggablePosition(g.latitude, g.longitude, g.speedKmh, g.course)) {
        CloseTextFile(file);
        return;
    }
    char16_t line[kTrackLineSize];
    FormatText(line, kTrackLineSize, "%f;%f;%s;%d;%f;%f \n", g.latitude, g.longitude, g.utcTime,
               static_cast<int>(g.fixQuality), g.speedKmh, g.course);
    // A line cut by the buffer (a huge typed coordinate) still ends its line, so
    // the next fix starts on a line of its own.
    const size_t length = TextLength(line);
    if (length >= 2 && line[length - 1] != u'\n') {
        line[length - 2] = u' ';
        line[length - 1] = u'\n';
    }
    WriteText(file, line);
    CloseTextFile(file);
}
