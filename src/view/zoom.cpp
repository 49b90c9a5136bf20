// Zoom of the current map, one of kZoomScales, kept per map in the view options.
#include "app/globals.h"
#include "store/view_options.h"
#include "view/view.h"

void ZoomBy(int32_t steps)
{
    const MapEntry& map = CurrentMapEntry();
    SetMapZoomStep(map, MapZoomStep(map) + steps);
    SaveViewOptions();
    InvalidateWindow(mainWindow, 1);
}

void ZoomReset()
{
    SetMapZoomStep(CurrentMapEntry(), kZoomOneToOne);
    SaveViewOptions();
    InvalidateWindow(mainWindow, 1);
}
