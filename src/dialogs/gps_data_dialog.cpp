// Gps data dialog (template 103): the live navigation state as text, refreshed
// every 1500 ms from one snapshot of GpsState until "OK". Reads only; the fields
// stay empty until the first refresh.
#include <cstdint>

#include "base/numbers.h"
#include "base/text.h"
#include "dialogs/dialogs.h"
#include "gps/gps_state.h"

namespace {

constexpr uint32_t kRefreshTimer = 11025;
constexpr uint32_t kRefreshPeriodMs = 1500;  // independent of the main window's 3000 ms tick
constexpr int kFieldTextSize = 128;

constexpr int32_t kOkButton = 1;
constexpr int32_t kLatitudeField = 1000;    // "%c%f°"          N44.348733°
constexpr int32_t kUtcTimeField = 1001;     // as received      163400.0
constexpr int32_t kUtmField = 1002;         // z=32 x=716594.9 y=4914197.9
constexpr int32_t kLongitudeField = 1003;   // "%c%f°"          E11.717500°
constexpr int32_t kFixField = 1004;         // "%d"
constexpr int32_t kSatellitesField = 1005;  // "%d"
constexpr int32_t kGridField = 1006;        // x=716594.9 y=4914197.9
constexpr int32_t kSpeedField = 1007;       // "%f" km/h
constexpr int32_t kCourseField = 1008;      // "%f" degrees
constexpr int32_t kAltitudeField = 1009;    // "%d", truncated toward zero

void StartRefresh(WindowHandle dialog)
{
    StartTimer(dialog, kRefreshTimer, kRefreshPeriodMs);
}

// Writes the ten fields in a fixed order, each through a 128-unit buffer. The
// hemisphere letters and the signs are shown as stored: nothing is computed.
void RefreshFields(WindowHandle dialog)
{
    const GpsState g = SnapshotGpsState();
    char16_t text[kFieldTextSize];

    FormatText(text, kFieldTextSize, "%c%f°", static_cast<int>(g.latHemisphere), g.latitude);
    SetDlgItemText(dialog, kLatitudeField, text);
    FormatText(text, kFieldTextSize, "%c%f°", static_cast<int>(g.lonHemisphere), g.longitude);
    SetDlgItemText(dialog, kLongitudeField, text);
    FormatText(text, kFieldTextSize, "z=%d x=%.1f y=%.1f", static_cast<int>(g.utmZone), g.utmEasting, g.utmNorthing);
    SetDlgItemText(dialog, kUtmField, text);
    FormatText(text, kFieldTextSize, "x=%.1f y=%.1f", g.gridEasting, g.gridNorthing);
    SetDlgItemText(dialog, kGridField, text);
    FormatText(text, kFieldTextSize, "%d", static_cast<int>(g.satellites));
    SetDlgItemText(dialog, kSatellitesField, text);
    FormatText(text, kFieldTextSize, "%d", static_cast<int>(g.fixQuality));
    SetDlgItemText(dialog, kFixField, text);
    SetDlgItemText(dialog, kUtcTimeField, g.utcTime);
    FormatText(text, kFieldTextSize, "%d", static_cast<int>(TruncToInt32(g.altitude)));
    SetDlgItemText(dialog, kAltitudeField, text);
    FormatText(text, kFieldTextSize, "%f", g.speedKmh);
    SetDlgItemText(dialog, kSpeedField, text);
    FormatText(text, kFieldTextSize, "%f", g.course);
    SetDlgItemText(dialog, kCourseField, text);
}

// The timer is stopped before the dialog goes, so no refresh reaches a closed dialog.
void CloseGpsData(WindowHandle dialog)
{
    StopTimer(dialog, kRefreshTimer);
    EndDialog(dialog, 0);
}

// "OK" is the only way out: command 2 (the cancel key) is ignored.
intptr_t OnGpsDataCommand(WindowHandle dialog, uint32_t commandId)
{
    switch (commandId) {
    case kOkButton: CloseGpsData(dialog); return 1;
    default: return 0;
    }
}

}  // namespace

intptr_t GpsDataDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgInitDialog: StartRefresh(dialog); return 0;
    case kMsgCommand: return OnGpsDataCommand(dialog, LowWord(wParam));
    case kMsgTimer: RefreshFields(dialog); return 0;  // the timer id is not examined
    default: return 0;
    }
}
