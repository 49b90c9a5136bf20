// Dialog templates 103, 105, 106, 107, 114 and 115 as data: titles, controls, ids,
// positions (x, y, width, height in dialog units of "System" 8) and styles. The
// window layer builds each modal dialog from its template at every opening.
#include "resources/resources.h"

namespace {

constexpr uint32_t kChild = kWsVisible;                       // every control is shown
constexpr uint32_t kStatic = kChild;                          // left-aligned text
constexpr uint32_t kReadOnlyEdit = kChild | kEsReadOnly | kEsAutoHScroll | kWsBorder;
constexpr uint32_t kScrollEdit = kChild | kEsAutoHScroll | kWsBorder | kWsTabStop;
constexpr uint32_t kFixedEdit = kChild | kWsBorder | kWsTabStop;  // takes only what fits its width
constexpr uint32_t kPush = kChild | kBsPushButton | kWsTabStop;
constexpr uint32_t kDefPush = kChild | kBsDefPushButton | kWsTabStop;
constexpr uint32_t kCheck = kChild | kBsAutoCheckBox | kWsTabStop;

constexpr uint32_t kDialogFrame = kWsCaption | kDsModalFrame;

using K = ControlKind;

template <size_t N>
constexpr int32_t Count(const ControlTemplate (&)[N])
{
    return static_cast<int32_t>(N);
}

// 103 "Gps Data   Velkar": the live values, refreshed by the dialog's own timer.
const ControlTemplate kGpsDataControls[] = {
    {K::Button, 1, u"OK", 7, 120, 37, 10, kDefPush, 0},
    {K::Static, kNoId, u"Latitude °", 13, 2, 33, 10, kStatic, 0},
    {K::Edit, 1000, u"", 56, 2, 68, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"Longitude °", 13, 16, 38, 10, kStatic, 0},
    {K::Edit, 1003, u"", 56, 16, 68, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"UTM - PLANE Coordinate", 13, 31, 105, 10, kStatic, 0},
    {K::Edit, 1002, u"", 11, 41, 113, 12, kReadOnlyEdit, 0},
    {K::Edit, 1006, u"", 11, 54, 113, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"UTC Time", 13, 70, 31, 11, kStatic, 0},
    {K::Edit, 1001, u"", 51, 70, 73, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"Sat.", 13, 87, 31, 11, kStatic, 0},
    {K::Edit, 1005, u"", 29, 87, 19, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"Fix", 52, 87, 13, 11, kStatic, 0},
    {K::Edit, 1004, u"", 63, 87, 19, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"Alt.", 85, 86, 13, 11, kStatic, 0},
    {K::Edit, 1009, u"", 97, 86, 27, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"Speed", 13, 102, 31, 11, kStatic, 0},
    {K::Edit, 1007, u"", 40, 102, 27, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"TMG", 79, 102, 17, 11, kStatic, 0},
    {K::Edit, 1008, u"", 97, 102, 28, 12, kReadOnlyEdit, 0},
};

// 105 "About Velkar": product name, version, contact line and picture (icon 111).
const ControlTemplate kAboutControls[] = {
    {K::Button, 1, u"OK", 26, 81, 36, 10, kDefPush, 0},
    {K::Static, kNoId, u"Velkar", 23, 14, 41, 10, kStatic, 0},
    {K::Static, kNoId, u"Ver 0.0.15 (b1)", 18, 25, 49, 10, kStatic, 0},
    {K::Static, kNoId, u"info@velkar.test", 16, 37, 57, 12, kStatic, 0},
    {K::Static, kNoId, u"", 33, 58, 21, 20, kChild | kSsIcon, 111},
};

// 106 "Bitmap Parameter": corners, size and file of the chosen map; the calibration
// of the current one (1012, 1016). The corner labels say UTM although the values
// are plane-grid metres, as the map catalogue stores them.
const ControlTemplate kMapSetControls[] = {
    {K::Static, kNoId, u"UTM  XY Top Left", 13, 7, 58, 8, kStatic, 0},
    {K::Edit, 1005, u"", 13, 17, 48, 12, kReadOnlyEdit, 0},
    {K::Edit, 1006, u"", 64, 17, 48, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"UTM XY Bottom Right", 13, 30, 71, 11, kStatic, 0},
    {K::Edit, 1007, u"", 13, 39, 48, 12, kReadOnlyEdit, 0},
    {K::Edit, 1008, u"", 64, 39, 48, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"Altezza Larghezza Bitmap", 13, 52, 84, 10, kStatic, 0},
    {K::Edit, 1010, u"", 14, 63, 48, 12, kReadOnlyEdit, 0},
    {K::Edit, 1011, u"", 64, 63, 49, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"Map File", 14, 79, 97, 11, kStatic, 0},
    {K::Edit, 1009, u"", 14, 87, 101, 12, kReadOnlyEdit, 0},
    {K::Static, kNoId, u"X,Y Calibr.", 15, 105, 41, 8, kStatic, 0},
    {K::Edit, 1012, u"", 58, 103, 23, 12, kFixedEdit, 0},
    {K::Static, kNoId, u",", 84, 106, 10, 8, kStatic, 0},
    {K::Edit, 1016, u"", 92, 103, 23, 12, kScrollEdit, 0},
    {K::ComboBox, 1024, u"", 12, 123, 103, 34, kChild | kCbsDropDown | kWsVScroll | kWsTabStop, 0},
    {K::Button, 1014, u"Ok", 27, 142, 32, 10, kPush, 0},
    {K::Button, 1013, u"Cancel", 71, 142, 32, 10, kPush, 0},
};

// 107 "Velkar General Settings": seven of the nine settings as check boxes.
const ControlTemplate kSettingsControls[] = {
    {K::Button, 1010, u"Emulazione GPS ", 13, 14, 90, 10, kCheck, 0},
    {K::Button, 1011, u"Track punto di arrivo", 13, 26, 90, 10, kCheck, 0},
    {K::Button, 1012, u"Gestione Prossimita'", 13, 38, 90, 10, kCheck, 0},
    {K::Button, 1013, u"Abilita Messaggi Audio", 13, 50, 90, 10, kCheck, 0},
    {K::Button, 1014, u"Abilita Log", 13, 61, 90, 10, kCheck, 0},
    {K::Button, 1015, u"Preferiti espressi in Gradi", 13, 71, 100, 10, kCheck, 0},
    {K::Button, 1016, u"Dati Mappa espressi in Gradi", 13, 82, 109, 10, kCheck, 0},
    {K::Button, 1, u"OK", 15, 111, 32, 9, kPush, 0},
    {K::Button, 2, u"Reload Pref.", 59, 111, 51, 9, kPush, 0},
};

// 114 "GoTo Coordinate LL": degrees, minutes, seconds of latitude (row "N") and
// longitude (row "E").
const ControlTemplate kGotoCoordControls[] = {
    {K::Static, kNoId, u"N", 2, 1, 10, 8, kStatic, 0},
    {K::Edit, 1018, u"", 8, 1, 19, 12, kScrollEdit, 0},
    {K::Edit, 1019, u"", 30, 1, 21, 12, kScrollEdit, 0},
    {K::Edit, 1020, u"", 54, 1, 28, 12, kScrollEdit, 0},
    {K::Static, kNoId, u"E", 2, 17, 10, 8, kStatic, 0},
    {K::Edit, 1015, u"", 8, 15, 19, 12, kScrollEdit, 0},
    {K::Edit, 1016, u"", 30, 15, 21, 12, kScrollEdit, 0},
    {K::Edit, 1017, u"", 54, 15, 28, 12, kScrollEdit, 0},
    {K::Button, 1, u"GoTo", 86, 2, 26, 11, kPush, 0},
    {K::Button, 2, u"Exit", 86, 16, 26, 11, kPush, 0},
};

// 115 "GoTo Preference Point": the point names; opens at the top-left corner of
// the main window's client area (not centred).
const ControlTemplate kGotoPrefControls[] = {
    {K::ListBox, 1023, u"", 2, 4, 98, 24,
     kChild | kLbsNotify | kWsBorder | kWsVScroll | kLbsNoIntegralHeight | kWsTabStop, 0},
    {K::Button, 1, u"GoTo", 100, 4, 26, 11, kPush, 0},
    {K::Button, 2, u"Exit", 100, 17, 26, 11, kPush, 0},
};

}  // namespace

const DialogTemplate kGpsDataDialog = {
    103, u"Gps Data   Velkar", 0, 0, 133, 133,
    kWsVisible | kDialogFrame | kDsCenter | kDsSetForeground, 0,
    u"System", 8, kGpsDataControls, Count(kGpsDataControls)};

const DialogTemplate kAboutDialog = {
    105, u"About Velkar", 0, 0, 90, 98,
    kDialogFrame | kDsCenter, 0,
    u"System", 8, kAboutControls, Count(kAboutControls)};

const DialogTemplate kMapSetDialog = {
    106, u"Bitmap Parameter", 0, 0, 129, 157,
    kDialogFrame | kDsCenter, 0,
    u"System", 8, kMapSetControls, Count(kMapSetControls)};

const DialogTemplate kSettingsDialog = {
    107, u"Velkar General Settings", 0, 0, 129, 127,
    kWsVisible | kDialogFrame | kDsCenter, 0,
    u"System", 8, kSettingsControls, Count(kSettingsControls)};

const DialogTemplate kGotoCoordDialog = {
    114, u"GoTo Coordinate LL", 0, 0, 113, 33,
    kWsVisible | kDialogFrame | kDsCenter, kWsExToolWindow,
    u"System", 8, kGotoCoordControls, Count(kGotoCoordControls)};

const DialogTemplate kGotoPrefDialog = {
    115, u"GoTo Preference Point", 0, 0, 128, 31,
    kDialogFrame, kWsExToolWindow,
    u"System", 8, kGotoPrefControls, Count(kGotoPrefControls)};
