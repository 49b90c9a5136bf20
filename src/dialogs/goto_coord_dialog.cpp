// GoTo coordinate dialog (template 114): places the position on a typed latitude
// and longitude (degrees, minutes, seconds) and repaints the main view behind the
// dialog, which stays open; "Exit" gives the view back to the receiver.
#include <cstdint>
#include <mutex>

#include "base/text.h"
#include "dialogs/dialogs.h"
#include "dialogs/field_number.h"
#include "dialogs/goto_view.h"
#include "geo/geo.h"
#include "gps/gps_state.h"

namespace {

constexpr int kFieldTextSize = 24;  // at most 23 typed characters are read

constexpr int32_t kGoToButton = 1;
constexpr int32_t kExitButton = 2;
// Fields in the order the dialog fills them with "0.0".
constexpr int32_t kLonDegreesField = 1015;
constexpr int32_t kLonMinutesField = 1016;
constexpr int32_t kLonSecondsField = 1017;
constexpr int32_t kLatDegreesField = 1018;
constexpr int32_t kLatMinutesField = 1019;
constexpr int32_t kLatSecondsField = 1020;

void ResetFields(WindowHandle dialog)
{
    for (int32_t id = kLonDegreesField; id <= kLatSecondsField; ++id) SetDlgItemText(dialog, id, u"0.0");
}

// Text that does not begin with a number counts as 0; a decimal comma is a point.
double ReadNumberField(WindowHandle dialog, int32_t id)
{
    char16_t text[kFieldTextSize] = {};
    GetDlgItemText(dialog, id, text, kFieldTextSize);
    return FieldNumber(text);
}

// gotoActive goes up before the position is written, so the reader thread holds
// back live sentences from then on. Hemispheres, UTM values and the fix stay.
void GoToTypedPoint(WindowHandle dialog)
{
    gotoActive.store(1);
    const double latitude = DmsToDegrees(ReadNumberField(dialog, kLatDegreesField),
                                         ReadNumberField(dialog, kLatMinutesField),
                                         ReadNumberField(dialog, kLatSecondsField));
    const double longitude = DmsToDegrees(ReadNumberField(dialog, kLonDegreesField),
                                          ReadNumberField(dialog, kLonMinutesField),
                                          ReadNumberField(dialog, kLonSecondsField));
    double northing = 0;
    double easting = 0;
    LatLonToGrid(latitude, longitude, &northing, &easting);
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.latitude = latitude;
        gpsState.longitude = longitude;
        gpsState.gridEasting = easting;
        gpsState.gridNorthing = northing;
    }
    RepaintMainView();
}

intptr_t OnGotoCoordCommand(WindowHandle dialog, uint32_t commandId)
{
    switch (commandId) {
    case kGoToButton: GoToTypedPoint(dialog); return 0;
    case kExitButton: EndGoTo(dialog); return 1;
    default: return 0;
    }
}

}  // namespace

intptr_t GotoCoordDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgInitDialog: ResetFields(dialog); return 0;
    case kMsgCommand: return OnGotoCoordCommand(dialog, LowWord(wParam));
    default: return 0;
    }
}
