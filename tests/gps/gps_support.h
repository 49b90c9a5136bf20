// The position tests' ground: the shared position state, display line, date, canned cycle and switches
// cleared as at a start; the display line read back.
#pragma once
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>
#include "base/text.h"
#include "gps/emulation.h"
#include "gps/fix_history.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "store/settings.h"

namespace {
// The state as ResetGpsState leaves it, the line "-", no date, the cycle at its first sentence, both switches off.
inline void Start()
{
    std::unique_lock<std::mutex> lock(gpsMutex);
    gpsState = GpsState{};
    CopyAsciiText(displayLine, kDisplayLineSize, "-");
    gpsUtcDate = emulationStep = settings.gpsEmulation = gotoActive = 0;
    lock.unlock();
    ResetGpsState();
}
inline std::u16string Line() { char16_t line[kDisplayLineSize]; return SnapshotDisplayLine(line), line; }
}  // namespace
