// The window layer's part in the view's choices: wheel and pinch delivered as
// message 0x020A, check marks in the bar's pop-ups, full screen, the night
// palette and finger-sized menu-bar buttons (Qt widgets, gestures and screens).
#include <QAction>
#include <QApplication>
#include <QGestureEvent>
#include <QInputDevice>
#include <QMenu>
#include <QNativeGestureEvent>
#include <QPalette>
#include <QPinchGesture>
#include <QScreen>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "platform/diagnostics.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"
#include "platform/view_window.h"

namespace {

constexpr double kPinchInStep = 1.25;  // a spread by a quarter: one step in
constexpr double kPinchOutStep = 0.8;  // closed by a fifth: one step out
constexpr double kFingerMm = 9.0;
constexpr double kSmallScreenMm = 100.0;

void SendWheel(WindowHandle window, int delta)
{
    if (!IsLiveWindow(window) || delta == 0) return;
    SendWindowMessage(window, kMsgMouseWheel, MakeWParam(0, static_cast<uint32_t>(static_cast<int16_t>(delta))), 0);
}

// Watches the client area: the wheel as it turns, a pinch by its scale.
class WheelAndPinch : public QObject {
public:
    WheelAndPinch(WindowHandle window, QWidget* client) : QObject(client), window_(window) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Wheel: {
            const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
            SendWheel(window_, std::max(-32767, std::min(32767, delta)));
            return true;
        }
        case QEvent::Gesture: {
            auto* gesture = static_cast<QGestureEvent*>(event);
            if (auto* pinch = static_cast<QPinchGesture*>(gesture->gesture(Qt::PinchGesture))) {
                if (pinch->state() == Qt::GestureStarted) scale_ = 1.0;
                Scale(pinch->scaleFactor());
                gesture->accept(pinch);
            }
            return true;
        }
        case QEvent::NativeGesture: {
            auto* native = static_cast<QNativeGestureEvent*>(event);
            if (native->gestureType() == Qt::BeginNativeGesture) scale_ = 1.0;
            if (native->gestureType() == Qt::ZoomNativeGesture) Scale(1.0 + native->value());
            return true;
        }
        default: return false;
        }
    }

private:
    // Steps by the pinch's growth since the last step.
    void Scale(double factor)
    {
        if (!(factor > 0 && factor < 100)) return;
        scale_ *= factor;
        while (scale_ >= kPinchInStep) {
            scale_ /= kPinchInStep;
            SendWheel(window_, kWheelNotch);
        }
        while (scale_ <= kPinchOutStep) {
            scale_ /= kPinchOutStep;
            SendWheel(window_, -kWheelNotch);
        }
    }

    WindowHandle window_;
    double scale_ = 1.0;
};

// The menu bars keep their own background (the handheld's grey): night gives
// them the night panel, day (an invalid colour) the grey they had.
void PaintMenuBars(const QColor& night)
{
    constexpr const char* kDayColour = "velkarDayColour";
    for (QWidget* top : QApplication::topLevelWidgets()) {
        for (QWidget* bar : top->findChildren<QWidget*>(QStringLiteral("velkar-menubar"))) {
            QPalette p = bar->palette();
            if (!bar->property(kDayColour).isValid()) bar->setProperty(kDayColour, p.color(QPalette::Window));
            p.setColor(QPalette::Window, night.isValid() ? night : bar->property(kDayColour).value<QColor>());
            bar->setPalette(p);
        }
    }
}

bool IsMainWindow(WindowHandle window)
{
    return IsLiveWindow(window) && window->kind == PlatformWindow::MainWindow && window->widget != nullptr;
}

}  // namespace

int DeliverWheelAndPinch(WindowHandle window)
{
    if (!IsMainWindow(window) || window->client == nullptr) return 0;
    QWidget* client = window->client;
    client->setAttribute(Qt::WA_AcceptTouchEvents);
    client->grabGesture(Qt::PinchGesture);
    client->installEventFilter(new WheelAndPinch(window, client));
    return 1;
}

int CheckMenuBarItem(WindowHandle window, int32_t commandId, int checked)
{
    if (!IsMainWindow(window) || window->menuBar == nullptr) return 0;
    const QString name = QStringLiteral("menu-%1").arg(commandId);
    QAction* action = window->menuBar->findChild<QAction*>(name);
    if (action == nullptr) return 0;
    action->setCheckable(true);
    action->setChecked(checked != 0);
    return 1;
}

void SetWindowFullScreen(WindowHandle window, int on)
{
    if (!IsMainWindow(window)) return;
    QWidget* top = window->widget;
    const Qt::WindowStates state = top->windowState();
    top->setWindowState(on ? (state | Qt::WindowFullScreen) : (state & ~Qt::WindowFullScreen));
    if (top->isVisible()) top->show();  // a hidden frame takes the state when it is shown
}

int WindowIsFullScreen(WindowHandle window)
{
    return IsMainWindow(window) && (window->widget->windowState() & Qt::WindowFullScreen) ? 1 : 0;
}

void SetNightPalette(int on)
{
    EnsureQtApplication();
    static QPalette* day = nullptr;  // the palette before night, given back after it
    if (!on) {
        if (day != nullptr) QApplication::setPalette(*day);
        PaintMenuBars(QColor());
        return;
    }
    if (day == nullptr) day = new QPalette(QApplication::palette());
    // Dark red on black: bright enough to read, dark enough to keep the eyes' night sight.
    const QColor text(0xE0, 0x30, 0x20), dim(0x80, 0x18, 0x10), base(0x10, 0x00, 0x00), panel(0x20, 0x04, 0x02);
    QPalette p;
    p.setColor(QPalette::Window, panel);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, panel);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, panel);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, dim);
    p.setColor(QPalette::HighlightedText, QColor(0xFF, 0x60, 0x40));
    p.setColor(QPalette::ToolTipBase, panel);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dim);
    p.setColor(QPalette::Disabled, QPalette::Text, dim);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, dim);
    p.setColor(QPalette::Disabled, QPalette::WindowText, dim);
    QApplication::setPalette(p);
    PaintMenuBars(panel);
}

int32_t FingerButtonHeight(double heightMm, double pixelsPerMm, int touch)
{
    const bool small = heightMm > 0 && heightMm <= kSmallScreenMm;
    if (!(small || touch) || !(pixelsPerMm > 0 && pixelsPerMm < 1000)) return 0;
    return static_cast<int32_t>(std::ceil(kFingerMm * pixelsPerMm));
}

int32_t FitMenuBarToFingers(WindowHandle window)
{
    if (!IsMainWindow(window) || window->menuBar == nullptr) return 0;
    QWidget* bar = window->menuBar;
    const QScreen* screen = window->widget->screen();
    int touch = 0;
    for (const QInputDevice* device : QInputDevice::devices())
        if (device->type() == QInputDevice::DeviceType::TouchScreen) touch = 1;
    double heightMm = 0, pixelsPerMm = 0;
    if (screen != nullptr) {
        heightMm = screen->physicalSize().height();
        pixelsPerMm = screen->physicalDotsPerInchY() / 25.4;
    }
    const int32_t least = FingerButtonHeight(heightMm, pixelsPerMm, touch);
    VerboseLine("screen %.0f mm high at %.1f pixels a mm%s: menu-bar buttons at least %d pixels", heightMm,
                pixelsPerMm, touch ? ", touch screen" : "", static_cast<int>(least));
    int32_t height = 0;
    for (QToolButton* button : bar->findChildren<QToolButton*>()) {
        if (least > 0) button->setMinimumHeight(least);
        height = std::max(height, static_cast<int32_t>(button->sizeHint().expandedTo(button->minimumSize()).height()));
    }
    if (least > 0 && window->client != nullptr && !WindowIsFullScreen(window)) {
        // The client area keeps its size; the frame grows by the taller bar.
        const QSize client = window->client->intendedSize;
        window->widget->resize(client.width(), client.height() + bar->sizeHint().height());
    }
    return height;
}
