// The five dialogs reached from the menu bar. Each procedure takes (dialog,
// message, wParam, lParam) and returns 1 after it has closed its dialog, else 0.
#pragma once

#include <cstdint>

#include "platform/window.h"

intptr_t GpsDataDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);   // 103
intptr_t MapSetDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);    // 106
intptr_t SettingsDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);  // 107
intptr_t GotoCoordDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam); // 114
intptr_t GotoPrefDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam);  // 115
