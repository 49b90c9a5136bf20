// The one road by which the current map's bitmap is (re)loaded: at window
// creation and after the Map set dialog. mapBitmap is owned here from one switch
// to the next; the start-up reset and the destroy handler release it here too.
#include "app/globals.h"
#include "platform/draw.h"
#include "store/maps.h"
#include "view/view.h"

void ReleaseMapBitmap()
{
    if (mapBitmap != nullptr) DeleteObject(mapBitmap);
    mapBitmap = nullptr;
}

void SwitchMapBitmap()
{
    ReleaseMapBitmap();
    // nullptr when the file is missing or not a bitmap: the view then draws on white.
    mapBitmap = LoadBitmapFile(CurrentMapEntry().bitmapPath);
}
