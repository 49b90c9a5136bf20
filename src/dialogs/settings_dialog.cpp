// General settings dialog (template 107): seven of the nine settings as check
// boxes, stored back by "OK"; "Reload Pref." (command 2, also the cancel key)
// reads the preference-point file again and keeps the dialog open.
#include <cstdint>

#include "dialogs/dialogs.h"
#include "store/prefs.h"
#include "store/settings.h"

namespace {

constexpr int32_t kOkButton = 1;
constexpr int32_t kReloadPrefButton = 2;

// Box ids in template order; the setting of each is named in SettingOfBox.
constexpr int32_t kSettingBoxes[] = {
    1010,  // "Emulazione GPS "              gpsEmulation
    1011,  // "Track punto di arrivo"        trackToTarget
    1012,  // "Gestione Prossimita'"         proximity
    1013,  // "Abilita Messaggi Audio"       audioMessages
    1014,  // "Abilita Log"                  enableLog
    1015,  // "Preferiti espressi in Gradi"  prefInDegrees
    1016,  // "Dati Mappa espressi in Gradi" mapInDegrees
};

int32_t SettingOfBox(int32_t box)
{
    switch (box) {
    case 1010: return settings.gpsEmulation.load();
    case 1011: return settings.trackToTarget;
    case 1012: return settings.proximity;
    case 1013: return settings.audioMessages;
    case 1014: return settings.enableLog;
    case 1015: return settings.prefInDegrees;
    case 1016: return settings.mapInDegrees;
    default: return 0;
    }
}

void StoreSettingOfBox(int32_t box, int32_t value)
{
    switch (box) {
    case 1010: settings.gpsEmulation.store(value); break;  // the reader thread sees it with its next sentence
    case 1011: settings.trackToTarget = value; break;
    case 1012: settings.proximity = value; break;
    case 1013: settings.audioMessages = value; break;
    case 1014: settings.enableLog = value; break;
    case 1015: settings.prefInDegrees = value; break;
    case 1016: settings.mapInDegrees = value; break;
    default: break;
    }
}

// A box is checked only for a setting of exactly 1; 2 or -1 show unchecked.
void ShowSettings(WindowHandle dialog)
{
    for (int32_t box : kSettingBoxes)
        SendDlgItemMessage(dialog, box, kCheckBoxSetCheck, SettingOfBox(box) == 1 ? 1 : 0, 0);
}

// Stores 1 or 0 from each box. The settings file is written only by "Exit".
void StoreSettingsAndClose(WindowHandle dialog)
{
    for (int32_t box : kSettingBoxes)
        StoreSettingOfBox(box, SendDlgItemMessage(dialog, box, kCheckBoxGetCheck, 0, 0) == 1 ? 1 : 0);
    EndDialog(dialog, 0);
}

// Reads with prefInDegrees as stored, not as box 1015 shows it; the result is
// not reported (a missing file changes nothing).
void ReloadPrefPoints()
{
    LoadPrefPoints();
}

intptr_t OnSettingsCommand(WindowHandle dialog, uint32_t commandId)
{
    switch (commandId) {
    case kOkButton: StoreSettingsAndClose(dialog); return 1;
    case kReloadPrefButton: ReloadPrefPoints(); return 0;
    default: return 0;
    }
}

}  // namespace

intptr_t SettingsDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgInitDialog: ShowSettings(dialog); return 0;
    case kMsgCommand: return OnSettingsCommand(dialog, LowWord(wParam));
    default: return 0;
    }
}
