// The command table of the main window (Control+Q, Exit, the dialogs of the menu
// bar, then the View pop-up's), the menu bar built from menu 104, and the About
// dialog's procedure.
#include "app/globals.h"
#include "app/shell.h"
#include "dialogs/dialogs.h"
#include "store/exit_save.h"
#include "store/settings.h"
#include "store/view_options.h"

namespace {

constexpr int32_t kMenuBarId = 104;      // menu and button table
constexpr uint32_t kMenuBarRecordSize = 32;

constexpr uint32_t kCmdClose = 1;         // Control+Q
constexpr uint32_t kCmdExit = 40005;
constexpr uint32_t kCmdGpsData = 40006;
constexpr uint32_t kCmdAbout = 40010;
constexpr uint32_t kCmdMapSet = 40011;
constexpr uint32_t kCmdSettings = 40012;
constexpr uint32_t kCmdGotoCoord = 40015;
constexpr uint32_t kCmdGotoPref = 40016;

// Every dialog opens the same way: its template afresh, modal, owned by the main
// window, init value 0; its end code is not used.
void OpenDialog(int32_t templateId, DialogProc procedure)
{
    RunDialog(hInstance, templateId, mainWindow, procedure, 0);
}

// Closing runs the destroy steps and does not write the settings.
void CloseProgram()
{
    StopViewOptions(mainWindow);  // the track being recorded gets its last fixes
    SendWindowMessage(mainWindow, kMsgClose, 0, 0);
}

// Exit writes what the user changed over the files as they are now (a failure is
// said only under -v) and ends the loop at once, without the destroy steps.
void ExitProgram()
{
    SaveChangedSettings();
    KeepChosenMap(CurrentMapEntry());  // the Map set's choice, or the map the position led to
    SaveViewOptions();
    StopViewOptions(mainWindow);
    PostQuit(0);
}

}  // namespace

void CreateMainMenuBar(WindowHandle window)
{
    MenuBarInfo info = {};
    info.size = kMenuBarRecordSize;
    info.owner = window;
    info.flags = 0;
    info.resourceId = kMenuBarId;
    info.instance = hInstance;
    info.bitmapId = 0;
    info.bitmapCount = 0;
    if (CreateMenuBar(&info) == 0) ShowMessageBox(window, u"SHCreateMenuBar Failed", u"Error");
    // The View pop-up's switches act on the window and its bar as soon as both exist.
    StartViewOptions(window);
}

intptr_t MainWindowCommand(WindowHandle window, uintptr_t wParam, intptr_t lParam)
{
    switch (LowWord(wParam)) {
    case kCmdClose: CloseProgram(); return 1;
    case kCmdExit: ExitProgram(); return 1;
    case kCmdGpsData: OpenDialog(103, GpsDataDlgProc); return 1;
    case kCmdAbout: OpenDialog(105, AboutDlgProc); return 1;
    case kCmdMapSet: OpenDialog(106, MapSetDlgProc); return 1;
    case kCmdSettings: OpenDialog(107, SettingsDlgProc); return 1;
    case kCmdGotoCoord: OpenDialog(114, GotoCoordDlgProc); return 1;
    case kCmdGotoPref: OpenDialog(115, GotoPrefDlgProc); return 1;
    }
    if (ViewCommand(window, LowWord(wParam))) return 1;
    return DefaultWindowProc(window, kMsgCommand, wParam, lParam);
}

intptr_t AboutDlgProc(WindowHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgCommand && LowWord(wParam) == 1) {
        EndDialog(dialog, 0);
        return 1;
    }
    return 0;
}
