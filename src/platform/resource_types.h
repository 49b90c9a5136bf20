// Resources as data: dialog templates, menus, the menu-bar button table, strings,
// accelerators and icons. The program defines them (src/resources); the window
// layer reads them. Positions are in dialog units; styles use the bit values of
// the handheld's resource compiler, so a template reads like the original.
#pragma once

#include <cstddef>
#include <cstdint>

// Window and dialog styles.
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsBorder = 0x00800000;
constexpr uint32_t kWsVScroll = 0x00200000;
constexpr uint32_t kWsTabStop = 0x00010000;
constexpr uint32_t kDsModalFrame = 0x0080;
constexpr uint32_t kDsSetForeground = 0x0200;
constexpr uint32_t kDsCenter = 0x0800;
constexpr uint32_t kWsExToolWindow = 0x0080;

// Control kinds and their styles.
enum class ControlKind : int32_t { Button, Edit, Static, ComboBox, ListBox };
constexpr uint32_t kBsPushButton = 0x0;
constexpr uint32_t kBsDefPushButton = 0x1;
constexpr uint32_t kBsAutoCheckBox = 0x3;
constexpr uint32_t kEsAutoHScroll = 0x0080;
constexpr uint32_t kEsReadOnly = 0x0800;
constexpr uint32_t kSsIcon = 0x0003;
constexpr uint32_t kCbsDropDown = 0x0002;
constexpr uint32_t kLbsNotify = 0x0001;
constexpr uint32_t kLbsNoIntegralHeight = 0x0100;

constexpr int32_t kNoId = -1;  // a control without an id (IDC_STATIC)

struct ControlTemplate {
    ControlKind kind;
    int32_t id;
    const char16_t* text;  // caption or initial text ("" for none)
    int32_t x, y, width, height;
    uint32_t style;        // kind-specific bits plus kWs* bits
    int32_t iconId;        // static icon: the icon resource shown, else 0
};

struct DialogTemplate {
    int32_t id;
    const char16_t* title;
    int32_t x, y, width, height;
    uint32_t style;
    uint32_t exStyle;
    const char16_t* fontName;  // "System"
    int32_t fontPoints;        // 8
    const ControlTemplate* controls;
    int32_t controlCount;
};

// Menus: a top level of items, one of which may be a pop-up of further items.
struct MenuItemTemplate {
    const char16_t* text;            // nullptr: a separator
    int32_t commandId;               // 0 for a pop-up or a separator
    const MenuItemTemplate* popup;   // items of a pop-up, else nullptr
    int32_t popupCount;
};

struct MenuTemplate {
    int32_t id;
    const MenuItemTemplate* items;
    int32_t itemCount;
};

// A raw data resource (the menu-bar button table) as 16-bit words.
struct RawDataResource {
    int32_t id;
    const uint16_t* words;
    int32_t wordCount;
};

struct StringResource {
    int32_t id;
    const char16_t* text;
};

constexpr uint16_t kAccelVirtKey = 0x01;
constexpr uint16_t kAccelControl = 0x08;
constexpr uint16_t kAccelLast = 0x80;

struct AcceleratorEntry {
    uint16_t flags;    // 0x8B: virtual key, Control, no-invert, last entry
    uint16_t key;      // virtual key code (81: Q)
    uint16_t command;
};

struct AcceleratorResource {
    int32_t id;
    const AcceleratorEntry* entries;
    int32_t entryCount;
};

// Icons are SVG text drawn at their nominal size.
struct IconResource {
    int32_t id;
    const char* svg;
    size_t svgLength;
    int32_t size;      // pixels, square
};

struct ResourceTable {
    const DialogTemplate* const* dialogs;
    int32_t dialogCount;
    const MenuTemplate* const* menus;
    int32_t menuCount;
    const RawDataResource* const* rawData;
    int32_t rawDataCount;
    const StringResource* strings;
    int32_t stringCount;
    const AcceleratorResource* const* accelerators;
    int32_t acceleratorCount;
    const IconResource* icons;
    int32_t iconCount;
};

using InstanceHandle = const ResourceTable*;

struct PlatformAccelerators;
using AcceleratorHandle = PlatformAccelerators*;
struct PlatformIcon;
using IconHandle = PlatformIcon*;

// Lookups by id; nullptr when the table has no such resource.
const DialogTemplate* FindDialogTemplate(InstanceHandle instance, int32_t id);
const MenuTemplate* FindMenuTemplate(InstanceHandle instance, int32_t id);
const RawDataResource* FindRawData(InstanceHandle instance, int32_t id);
const char16_t* FindString(InstanceHandle instance, int32_t id);
const AcceleratorResource* FindAccelerators(InstanceHandle instance, int32_t id);
const IconResource* FindIcon(InstanceHandle instance, int32_t id);
