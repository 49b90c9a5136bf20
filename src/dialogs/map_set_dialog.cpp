// Map set dialog (template 106, "Bitmap Parameter"): chooses the current map of
// the map table and sets the calibration offsets (pixels) of the map that was
// current when the dialog opened. Corner fields are plane-grid metres.
#include <cstdint>

#include "base/text.h"
#include "dialogs/dialogs.h"
#include "store/maps.h"
#include "view/view.h"

namespace {

constexpr int kFieldTextSize = 128;
constexpr int kListEntrySize = 50;     // a name longer than 49 characters is shown cut
constexpr int kCalibrationTextSize = 20;  // at most 19 typed characters are read

constexpr int32_t kTopLeftXField = 1005;
constexpr int32_t kTopLeftYField = 1006;
constexpr int32_t kBottomRightXField = 1007;
constexpr int32_t kBottomRightYField = 1008;
constexpr int32_t kBitmapPathField = 1009;
constexpr int32_t kWidthField = 1010;
constexpr int32_t kHeightField = 1011;
constexpr int32_t kCalibXField = 1012;
constexpr int32_t kCancelButton = 1013;
constexpr int32_t kOkButton = 1014;
constexpr int32_t kCalibYField = 1016;
constexpr int32_t kMapList = 1024;

// The list position is the table index; anything else (no selection, an empty
// list) names no map.
bool IsListedMap(intptr_t position)
{
    return position >= 0 && position <= lastMapIndex && position < kMapCount;
}

void SetNumberField(WindowHandle dialog, int32_t id, const char* format, double value)
{
    char16_t text[kFieldTextSize];
    FormatText(text, kFieldTextSize, format, value);
    SetDlgItemText(dialog, id, text);
}

void SetIntegerField(WindowHandle dialog, int32_t id, int32_t value)
{
    char16_t text[kFieldTextSize];
    FormatText(text, kFieldTextSize, "%d", static_cast<int>(value));
    SetDlgItemText(dialog, id, text);
}

// Corners, size and file of one map; the calibration fields are left alone.
void ShowMapFields(WindowHandle dialog, const MapEntry& m)
{
    SetNumberField(dialog, kTopLeftXField, "%f", m.topLeftX);
    SetNumberField(dialog, kTopLeftYField, "%f", m.topLeftY);
    SetNumberField(dialog, kBottomRightXField, "%f", m.bottomRightX);
    SetNumberField(dialog, kBottomRightYField, "%f", m.bottomRightY);
    SetIntegerField(dialog, kWidthField, m.widthPx);
    SetIntegerField(dialog, kHeightField, m.heightPx);
    SetDlgItemText(dialog, kBitmapPathField, m.bitmapPath);  // as stored, whatever its length
}

void FillMapList(WindowHandle dialog)
{
    char16_t entry[kListEntrySize];
    for (int32_t i = 0; i <= lastMapIndex && i < kMapCount; ++i) {
        FormatText(entry, kListEntrySize, "%s", mapTable[i].name);
        SendDlgItemMessage(dialog, kMapList, kComboAddString, 0, reinterpret_cast<intptr_t>(entry));
    }
}

void InitMapSet(WindowHandle dialog)
{
    const MapEntry& m = CurrentMapEntry();
    ShowMapFields(dialog, m);
    SetIntegerField(dialog, kCalibXField, m.calibX);
    SetIntegerField(dialog, kCalibYField, m.calibY);
    FillMapList(dialog);
    SendDlgItemMessage(dialog, kMapList, kComboSetCurSel, static_cast<uintptr_t>(currentMap), 0);
}

void ShowChosenMap(WindowHandle dialog)
{
    intptr_t position = SendDlgItemMessage(dialog, kMapList, kComboGetCurSel, 0, 0);
    if (!IsListedMap(position)) return;
    ShowMapFields(dialog, mapTable[position]);
    RedrawDialog(dialog);
}

int32_t ReadCalibration(WindowHandle dialog, int32_t id)
{
    char16_t text[kCalibrationTextSize];
    GetDlgItemText(dialog, id, text, kCalibrationTextSize);
    return TextToInt(text);
}

// The typed offsets belong to the map shown before the switch. Without a listed
// selection (an empty catalogue) the current map stays; its bitmap is reloaded
// all the same, as it is when the selection did not change.
void StoreAndSwitch(WindowHandle dialog)
{
    MapEntry& shown = CurrentMapEntry();
    shown.calibX = ReadCalibration(dialog, kCalibXField);
    shown.calibY = ReadCalibration(dialog, kCalibYField);
    intptr_t position = SendDlgItemMessage(dialog, kMapList, kComboGetCurSel, 0, 0);
    if (IsListedMap(position)) currentMap = static_cast<int32_t>(position);
    SwitchMapBitmap();
    EndDialog(dialog, 0);
}

intptr_t OnMapSetCommand(WindowHandle dialog, uint32_t commandId, uint32_t notification)
{
    switch (commandId) {
    case kMapList:
        if (notification == kNotifySelChange) ShowChosenMap(dialog);
        return 0;
    case kOkButton: StoreAndSwitch(dialog); return 1;
    case kCancelButton: EndDialog(dialog, 0); return 1;
    default: return 0;
    }
}

}  // namespace

intptr_t MapSetDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgInitDialog: InitMapSet(dialog); return 0;
    case kMsgCommand: return OnMapSetCommand(dialog, LowWord(wParam), HighWord(wParam));
    default: return 0;
    }
}
