#include "dialogs/goto_view.h"

#include "app/globals.h"
#include "gps/gps_state.h"

void RepaintMainView()
{
    if (mainWindow != nullptr) InvalidateWindow(mainWindow, 1);
}

void EndGoTo(WindowHandle dialog)
{
    gotoActive.store(0);
    RepaintMainView();
    EndDialog(dialog, 0);
}
