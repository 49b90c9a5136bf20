// What the screen under a window is like: its device pixel ratio.
#include "platform/qt/qt_internal.h"

double WindowPixelRatio(WindowHandle window)
{
    if (!IsLiveWindow(window) || window->widget == nullptr) return 1.0;
    const double ratio = window->widget->devicePixelRatioF();
    return ratio >= 1.0 ? ratio : 1.0;
}
