// The View pop-up and its keys: zoom in, out and 1:1 ('+', '-', '0', the wheel
// and a pinch), and the switches trail, record track, keep map without fix,
// night colours and full screen (F11), each checked in the pop-up and saved to
// vlview.cfg at once.
#include "app/globals.h"
#include "app/shell.h"
#include "app/track_recorder.h"
#include "platform/view_window.h"
#include "store/view_options.h"
#include "view/view.h"

namespace {

struct ViewSwitch {
    uint32_t command;
    int32_t ViewOptions::*field;
};
const ViewSwitch kSwitches[] = {
    {kCmdTrail, &ViewOptions::trail},
    {kCmdRecordTrack, &ViewOptions::recordTrack},
    {kCmdKeepMapWithoutFix, &ViewOptions::keepMapWithoutFix},
    {kCmdNightColours, &ViewOptions::night},
    {kCmdFullScreen, &ViewOptions::fullScreen},
};

int32_t wheelRest = 0;  // wheel distance not yet turned into a zoom step

void ShowChecks(WindowHandle window)
{
    for (const ViewSwitch& s : kSwitches) CheckMenuBarItem(window, static_cast<int32_t>(s.command), viewOptions.*s.field);
}

// Brings the window, the recorder and the pop-up in line with one switch.
void ApplySwitch(WindowHandle window, uint32_t command)
{
    ViewOptions& v = viewOptions;
    switch (command) {
    case kCmdRecordTrack:
        if (v.recordTrack && StartTrackRecording(window) == 0) {
            v.recordTrack = 0;  // no file, no recording: the check mark stays off and the user is told
            ShowMessageBox(window, u"Unable to create the track file", u"Error");
        }
        if (!v.recordTrack) StopTrackRecording(window);
        break;
    case kCmdNightColours: SetNightPalette(v.night); break;
    case kCmdFullScreen: SetWindowFullScreen(window, v.fullScreen); break;
    }
    InvalidateWindow(window, 1);
}

int Toggle(WindowHandle window, uint32_t command)
{
    for (const ViewSwitch& s : kSwitches) {
        if (s.command != command) continue;
        viewOptions.*s.field = viewOptions.*s.field ? 0 : 1;
        ApplySwitch(window, command);
        ShowChecks(window);
        SaveViewOptions();
        return 1;
    }
    return 0;
}

}  // namespace

int ViewCommand(WindowHandle window, uint32_t command)
{
    switch (command) {
    case kCmdZoomIn: ZoomBy(1); return 1;
    case kCmdZoomOut: ZoomBy(-1); return 1;
    case kCmdZoomOneToOne: ZoomReset(); return 1;
    default: return Toggle(window, command);
    }
}

void OnMouseWheel(WindowHandle, uintptr_t wParam)
{
    wheelRest += static_cast<int16_t>(HighWord(wParam));
    int32_t steps = wheelRest / kWheelNotch;
    if (steps > kZoomStepCount) steps = kZoomStepCount;
    if (steps < -kZoomStepCount) steps = -kZoomStepCount;
    wheelRest %= kWheelNotch;
    if (steps != 0) ZoomBy(steps);
}

void StartViewOptions(WindowHandle window)
{
    if (RequestedFullScreen()) viewOptions.fullScreen = 1;
    wheelRest = 0;
    DeliverWheelAndPinch(window);
    FitMenuBarToFingers(window);
    // Only what is on acts: with everything off the window is exactly as without the pop-up.
    for (const ViewSwitch& s : kSwitches)
        if (viewOptions.*s.field) ApplySwitch(window, s.command);
    ShowChecks(window);
}

void StopViewOptions(WindowHandle window) { StopTrackRecording(window); }
