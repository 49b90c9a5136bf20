// The program's resources: dialog templates 103, 105, 106, 107, 114, 115, menu 104
// and its menu-bar button table, the string table, accelerator table 102 and the
// icons 109, 111, 116 to 123.
#pragma once

#include "platform/resource_types.h"

extern const ResourceTable velkarResources;

// Dialog templates (dialog_templates.cpp).
extern const DialogTemplate kGpsDataDialog;      // 103
extern const DialogTemplate kAboutDialog;        // 105
extern const DialogTemplate kMapSetDialog;       // 106
extern const DialogTemplate kSettingsDialog;     // 107
extern const DialogTemplate kGotoCoordDialog;    // 114
extern const DialogTemplate kGotoPrefDialog;     // 115
