// The program's resource table: the six dialog templates, menu 104 with its
// menu-bar button table (raw data 104), the string table, accelerator table 102
// and the icons (SVG text from icons/*.svg, embedded at build time).
#include "resources/resources.h"

#include "resources/icons_svg.inc"  // generated from icons/*.svg: kSvgIcon<id>[]

namespace {

// Menu 104: the pop-up "Main" and the two plain entries the bar shows as buttons.
const MenuItemTemplate kMainPopupItems[] = {
    {u"Exit", 40005, nullptr, 0},
    {nullptr, 0, nullptr, 0},
    {u"Map Set...", 40011, nullptr, 0},
    {u"Setting...", 40012, nullptr, 0},
    {nullptr, 0, nullptr, 0},
    {u"GoTo L/L", 40015, nullptr, 0},
    {u"GoTo Pref...", 40016, nullptr, 0},
};

// The View pop-up: zoom, then the switches, which carry check marks.
const MenuItemTemplate kViewPopupItems[] = {
    {u"Zoom in", 40020, nullptr, 0},
    {u"Zoom out", 40021, nullptr, 0},
    {u"1:1", 40022, nullptr, 0},
    {nullptr, 0, nullptr, 0},
    {u"Trail", 40023, nullptr, 0},
    {u"Record track", 40024, nullptr, 0},
    {u"Keep map without fix", 40025, nullptr, 0},
    {u"Night colours", 40026, nullptr, 0},
    {u"Full screen", 40027, nullptr, 0},
};

const MenuItemTemplate kMainMenuItems[] = {
    {u"Main", 0, kMainPopupItems, 7},
    {u"Gps", 40006, nullptr, 0},
    {u"About", 40010, nullptr, 0},
    {u"View", 0, kViewPopupItems, 9},
};

const MenuTemplate kMainMenu = {104, kMainMenuItems, 4};

// Button table 104: menu id, button count, then per button: image (65534 = none),
// command, state (4 = enabled), style (24 = drop-down sized to its caption,
// 16 = plain button sized to its caption), caption string, reserved, menu entry.
const uint16_t kMenuBarWords[] = {
    104,   4,
    65534, 40002, 4, 24, 40004, 0, 0,  // "Main": drops down entry 0
    65534, 40006, 4, 16, 40014, 0, 1,  // "Gps"
    65534, 40010, 4, 16, 40009, 0, 2,  // "About"
    65534, 40019, 4, 24, 40017, 0, 3,  // "View": drops down entry 3
};

const RawDataResource kMenuBarTable = {104, kMenuBarWords, sizeof kMenuBarWords / sizeof kMenuBarWords[0]};

const StringResource kStrings[] = {
    {40004, u"Main"},
    {40009, u"About"},
    {40014, u"Gps"},
    {40017, u"View"},
};

// Control+Q sends command 1 (virtual key | Control | no-invert 0x02); the
// characters '+', '-' and '0' zoom (no flags: the character typed); F11
// (virtual key 0x7A) switches full screen and ends the table (0x80).
const AcceleratorEntry kAcceleratorEntries[] = {
    {0x0B, 81, 1},
    {0x00, '+', 40020},
    {0x00, '-', 40021},
    {0x00, '0', 40022},
    {0x81, 0x7A, 40027},
};

const AcceleratorResource kAccelerators = {102, kAcceleratorEntries, 5};

// Icons: 109 application, 111 About picture, 116 to 123 course arrows
// (116 N, 117 S, 118 W, 119 E, 120 NE, 121 SE, 122 SW, 123 NW).
#define VELKAR_ICON(id) {id, kSvgIcon##id, sizeof kSvgIcon##id - 1, 32}
const IconResource kIcons[] = {
    VELKAR_ICON(109), VELKAR_ICON(111), VELKAR_ICON(116), VELKAR_ICON(117), VELKAR_ICON(118),
    VELKAR_ICON(119), VELKAR_ICON(120), VELKAR_ICON(121), VELKAR_ICON(122), VELKAR_ICON(123),
};
#undef VELKAR_ICON

const DialogTemplate* const kDialogs[] = {
    &kGpsDataDialog, &kAboutDialog, &kMapSetDialog, &kSettingsDialog, &kGotoCoordDialog, &kGotoPrefDialog,
};
const MenuTemplate* const kMenus[] = {&kMainMenu};
const RawDataResource* const kRawData[] = {&kMenuBarTable};
const AcceleratorResource* const kAcceleratorTables[] = {&kAccelerators};

template <typename T, size_t N>
constexpr int32_t Count(const T (&)[N])
{
    return static_cast<int32_t>(N);
}

}  // namespace

const ResourceTable velkarResources = {
    kDialogs,   Count(kDialogs),
    kMenus,     Count(kMenus),
    kRawData,   Count(kRawData),
    kStrings,   Count(kStrings),
    kAcceleratorTables, Count(kAcceleratorTables),
    kIcons,     Count(kIcons),
};
