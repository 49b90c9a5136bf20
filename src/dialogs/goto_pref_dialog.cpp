// GoTo preference point dialog (template 115): reads the preference-point file
// again, lists the points by name, makes the chosen one selectedPref (the track
// line's target) and on "GoTo" places the view on it in the plane grid.
#include <cstdint>
#include <mutex>

#include "base/text.h"
#include "dialogs/dialogs.h"
#include "dialogs/goto_view.h"
#include "gps/gps_state.h"
#include "store/prefs.h"

namespace {

constexpr int kListEntrySize = 24;  // a name longer than 23 characters is shown cut

constexpr int32_t kGoToButton = 1;
constexpr int32_t kExitButton = 2;
constexpr int32_t kPointList = 1023;

// A missing file leaves the list empty and unselected; the table keeps what
// earlier readings left. A selectedPref beyond a shorter file selects nothing.
void FillPointList(WindowHandle dialog)
{
    if (LoadPrefPoints() == 0) return;
    char16_t entry[kListEntrySize];
    for (int32_t i = 0; i <= lastPrefIndex && i < kPrefCount; ++i) {
        FormatText(entry, kListEntrySize, "%s", prefTable[i].name);
        SendDlgItemMessage(dialog, kPointList, kListAddString, 0, reinterpret_cast<intptr_t>(entry));
    }
    SendDlgItemMessage(dialog, kPointList, kListSetCurSel, static_cast<uintptr_t>(selectedPref), 0);
}

// The main view uses the new target at its next repaint. A report of no
// selection keeps the old target rather than storing -1.
void TakeSelectedPoint(WindowHandle dialog)
{
    intptr_t position = SendDlgItemMessage(dialog, kPointList, kListGetCurSel, 0, 0);
    if (position >= 0 && position < kPrefCount) selectedPref = static_cast<int32_t>(position);
}

// Plane grid only: latitude, longitude and the UTM values stay as they are.
void GoToSelectedPoint()
{
    gotoActive.store(1);
    const PrefPoint& p = SelectedPrefPoint();
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.gridEasting = p.x;
        gpsState.gridNorthing = p.y;
    }
    RepaintMainView();
}

intptr_t OnGotoPrefCommand(WindowHandle dialog, uint32_t commandId, uint32_t notification)
{
    switch (commandId) {
    case kPointList:
        if (notification == kNotifySelChange) TakeSelectedPoint(dialog);
        return 0;
    case kGoToButton: GoToSelectedPoint(); return 0;
    case kExitButton: EndGoTo(dialog); return 1;
    default: return 0;
    }
}

}  // namespace

intptr_t GotoPrefDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgInitDialog: FillPointList(dialog); return 0;
    case kMsgCommand: return OnGotoPrefCommand(dialog, LowWord(wParam), HighWord(wParam));
    default: return 0;
    }
}
