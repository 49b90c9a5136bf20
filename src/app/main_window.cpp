// The main window's procedure and its life: the create handler (arrow icons, the
// start-up reset and the three files, menu bar, timer 11024, the map bitmap), the
// 3000 ms tick (emulation step, silence rule, track log, repaint rule), close and
// destroy.
//
// Index: MainWndProc - OnCreate / ResetState - OnTick - OnClose / OnDestroy.
#include <mutex>

#include "app/globals.h"
#include "app/shell.h"
#include "app/track_recorder.h"
#include "base/text.h"
#include "gps/emulation.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/view_window.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "store/track_log.h"
#include "store/view_options.h"
#include "view/follow.h"
#include "view/trail.h"
#include "view/view.h"

namespace {

// Icon resources in the order of arrowIcons: N, NE, E, SE, S, SW, W, NW.
constexpr int32_t kArrowIconIds[kArrowCount] = {116, 120, 119, 121, 117, 122, 118, 123};

void LoadArrowIcons()
{
    for (int i = 0; i < kArrowCount; ++i) arrowIcons[i] = LoadIconResource(hInstance, kArrowIconIds[i]);
}

void ReleaseArrowIcons()
{
    for (int i = 0; i < kArrowCount; ++i) {
        if (arrowIcons[i] != nullptr) DestroyIconHandle(arrowIcons[i]);
        arrowIcons[i] = nullptr;
    }
}

void OnCreate(WindowHandle window)
{
    mainWindow = window;  // the menu bar's message box and the dialogs need it already
    LoadArrowIcons();
    ResetState();
    CreateMainMenuBar(window);
    StartTimer(window, kMainTimerId, kMainTimerPeriodMs);
    StartTimer(window, kFollowTimerId, kFollowPeriodMs);
    LoadTrail();
    SwitchMapBitmap();
}

// Counts towards the next track-log line only while the log is on, the fix is a
// measured one (1 GPS, 2 differential, 3 PPS, 4 RTK fixed, 5 RTK float; not 6 to 8,
// estimated, manual or simulated) and no GoTo dialog shows a chosen point;
// otherwise the counter keeps its value.
void CountTowardsLog(const GpsState& g)
{
    if (!(settings.enableLog == 1 && g.fixQuality >= 1 && g.fixQuality <= 5 && gotoActive.load() == 0)) return;
    ++logTickCounter;
    if (logTickCounter >= kLogEveryTicks) {
        AppendTrackLog();
        logTickCounter = 0;
    }
}

// A move of a metre or more since the last repaint repaints at once (leaving
// redrawCounter alone); otherwise every third tick repaints.
void ApplyRepaintRule(WindowHandle window, const GpsState& g)
{
    if (MovedSincePaint(g) >= kRepaintDistance) {
        InvalidateWindow(window, 1);
        return;
    }
    ++redrawCounter;
    if (redrawCounter >= kRedrawEveryTicks) {
        InvalidateWindow(window, 1);
        redrawCounter = 0;
    }
}

// A receiver that has gone quiet has no fix: the view says so at once instead
// of at the next forced repaint, and the log stops. A fix the reader dropped on
// losing the device is shown the same way.
uint8_t fixAtLastTick = 0;

void ApplySilenceRule(WindowHandle window, const GpsState& g)
{
    if (g.fixQuality == 0 && fixAtLastTick != 0) InvalidateWindow(window, 1);
    fixAtLastTick = g.fixQuality;
}

void OnTick(WindowHandle window)
{
    FeedEmulatedSentence(settings.gpsEmulation);
    if (DropSilentFix(MonotonicMs(), 0) == 1)
        VerboseLine("no GGA sentence for more than %lld s: no fix", static_cast<long long>(kGpsSilenceLimitMs / 1000));
    // The box is posted, so that it runs from the message loop and not inside
    // this tick: the tick keeps coming while it is up.
    if (TakePortFailure()) PostWindowMessage(window, kMsgPortFailure, 0, 0);
    const GpsState g = SnapshotGpsState();  // one consistent copy for the rules
    ApplySilenceRule(window, g);
    CountTowardsLog(g);
    ApplyRepaintRule(window, g);
}

void OnClose(WindowHandle window)
{
    DestroyMainWindow(window);
}

// Stops the tick, releases the map, releases the reader thread's wait and closes
// the port (the invalid handle ends the reader's loop), then ends the loop.
void OnDestroy(WindowHandle window)
{
    StopTimer(window, kMainTimerId);
    StopTimer(window, kFollowTimerId);
    if (viewOptions.trail == 1) SaveTrail();
    ReleaseMapBitmap();
    const PortHandle port = portHandle.load();
    ReleasePortWait(port);
    if (port != kInvalidPort) ClosePort(port);
    portHandle = kInvalidPort;
    ReleaseArrowIcons();
    PostQuit(0);
}

}  // namespace

void ResetState()
{
    ResetGpsState();

    ReleaseMapBitmap();
    FillDefaultMapEntry(currentMap);

    // The settings come first: the catalogue and the points read mapInDegrees and
    // prefInDegrees from them. A missing file leaves its defaults.
    LoadSettings();
    LoadMapCatalogue();
    LoadPrefPoints();
    LoadViewOptions();
    if (ChosenMapIndex() >= 0) currentMap = ChosenMapIndex();  // the map left with Exit

    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        CopyText(displayLine, kDisplayLineSize, u"i'm waiting....");
    }
    gotoActive = 0;
    emulationStep = 0;
    fixAtLastTick = 0;
    CopyText(soundDirectory, kSoundDirectorySize, u"\\Scheda di memoria\\Velkar");
}

intptr_t MainWndProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgCreate: OnCreate(window); return 1;
    case kMsgDestroy: OnDestroy(window); return 1;
    case kMsgPaint: PaintMainView(window); return 1;
    case kMsgClose: OnClose(window); return 1;
    case kMsgCommand: return MainWindowCommand(window, wParam, lParam);
    case kMsgTimer:
        if (wParam == kMainTimerId) OnTick(window);
        if (wParam == kFollowTimerId) FollowFixes(window);
        if (wParam == kRecordTimerId) RecordNewFixes();
        return 1;
    case kMsgMouseWheel: OnMouseWheel(window, wParam); return 1;
    case kMsgPortFailure: ReportPortFailure(); return 1;
    }
    return DefaultWindowProc(window, message, wParam, lParam);
}
