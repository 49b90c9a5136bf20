// Timers of windows on Qt: one precise QTimer per window and timer number, each
// period divided by the program's time scale; a tick becomes message 275 to the
// window's procedure. Timers die with their window.
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "base/numbers.h"
#include "platform/qt/qt_internal.h"

int StartTimer(WindowHandle window, uint32_t timerId, uint32_t periodMs)
{
    if (!IsLiveWindow(window) || window->widget == nullptr) return 0;
    if (window->kind != PlatformWindow::MainWindow && window->kind != PlatformWindow::Dialog) return 0;
    QPointer<QTimer>& timer = window->timers[timerId];
    if (timer.isNull()) {
        timer = new QTimer(window->widget);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer, [window, timerId]() {
            if (!IsLiveWindow(window)) return;
            SendWindowMessage(window, kMsgTimer, timerId, 0);
            if (window->kind == PlatformWindow::MainWindow && IsLiveWindow(window)) CountMainWindowTick(window, timerId);
        });
    }
    // --time-scale runs every timer K times faster; the period given is unchanged.
    const double scaled = std::floor(static_cast<double>(periodMs) / TimeScale());
    timer->start(std::max(1, TruncToInt32(scaled)));
    return 1;
}

int StopTimer(WindowHandle window, uint32_t timerId)
{
    if (!IsLiveWindow(window)) return 0;
    auto it = window->timers.find(timerId);
    if (it == window->timers.end()) return 0;
    if (QTimer* timer = it->second) {
        timer->stop();
        timer->deleteLater();
    }
    window->timers.erase(it);
    return 1;
}

void StopAllTimers(WindowHandle window)
{
    if (window == nullptr) return;
    for (auto& [id, timer] : window->timers) {
        if (timer.isNull()) continue;
        timer->stop();
        timer->deleteLater();
    }
    window->timers.clear();
}
