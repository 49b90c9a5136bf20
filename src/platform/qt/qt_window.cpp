// The main window on Qt: a frame with the painted client area above and the menu
// bar at its foot, the paint cycle over a white-erasable back buffer (shown by the
// same paint event that ran it), window classes, synchronous and posted messages,
// destruction while modal loops run.
#include <QApplication>
#include <QBackingStore>
#include <QCloseEvent>
#include <QDialog>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>

#include "base/numbers.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

// Never destroyed: window records (dead ones included, so that a stale handle is
// refused) stay reachable and checkable while static objects are torn down at exit.
std::set<WindowHandle>& LiveWindows()
{
    static auto* live = new std::set<WindowHandle>;
    return *live;
}

struct ClassRecord {
    std::u16string name;
    WindowClass record;
};
std::vector<ClassRecord>& Classes()
{
    static std::vector<ClassRecord> classes;
    return classes;
}

const WindowClass* FindClass(const char16_t* name)
{
    if (name == nullptr) return nullptr;
    for (const ClassRecord& c : Classes())
        if (c.name == name) return &c.record;
    return nullptr;
}

constexpr int kDefaultClientWidth = 240;   // the handheld's work area the layout was drawn for
constexpr int kDefaultClientHeight = 268;

const char* kHandleProperty = "velkarHandle";

}  // namespace

void ApplyClientSize(WindowHandle window, int width, int height)
{
    QWidget* top = window->widget;
    if (top == nullptr || window->client == nullptr) return;
    window->client->intendedSize = QSize(width, height);
    int barHeight = 0;
    if (window->menuBar != nullptr) barHeight = window->menuBar->sizeHint().height();
    top->resize(width, height + barHeight);
}

namespace {

int modalLoops = 0;

// Frames of destroyed windows waiting for the modal loops over them to end.
std::vector<QPointer<QWidget>>& PendingDeletes()
{
    static auto* pending = new std::vector<QPointer<QWidget>>;
    return *pending;
}

bool IsWithin(QWidget* widget, QWidget* top)
{
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget())
        if (w == top) return true;
    return false;
}

// Ends every modal loop running over top (message boxes, dialogs, open pop-up
// menus): each returns from its exec once control reaches its loop again.
void EndModalLoopsOver(QWidget* top)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == top || !w->isVisible() || !IsWithin(w, top)) continue;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->done(0);
        else if (w->windowType() == Qt::Popup)
            w->close();
    }
}

}  // namespace

void EnterModalLoop() { ++modalLoops; }

void LeaveModalLoop()
{
    if (modalLoops > 0) --modalLoops;
    if (modalLoops > 0) return;
    // Control is back where no modal loop runs: the frames can go.
    std::vector<QPointer<QWidget>> pending;
    pending.swap(PendingDeletes());
    for (QPointer<QWidget>& top : pending)
        if (!top.isNull()) top->deleteLater();
}

bool IsLiveWindow(WindowHandle window) { return window != nullptr && LiveWindows().count(window) != 0 && !window->destroyed; }
void RegisterWindow(WindowHandle window) { LiveWindows().insert(window); }
void UnregisterWindow(WindowHandle window) { LiveWindows().erase(window); }

WindowHandle HandleOfWidget(QWidget* widget)
{
    if (widget == nullptr) return nullptr;
    QVariant v = widget->property(kHandleProperty);
    if (!v.isValid()) return nullptr;
    auto* h = reinterpret_cast<WindowHandle>(v.value<quintptr>());
    return IsLiveWindow(h) ? h : nullptr;
}

QWidget* WidgetOfHandle(WindowHandle window) { return IsLiveWindow(window) ? window->widget.data() : nullptr; }

QImage ClientImage(WindowHandle window)
{
    if (!IsLiveWindow(window) || window->kind != PlatformWindow::MainWindow) return QImage();
    CatchUpBackBuffer(window);
    return window->backBuffer.copy();
}

// ---- Client area and frame ----------------------------------------------------------

ClientWidget::ClientWidget(PlatformWindow* owner, QWidget* parent) : QWidget(parent), owner_(owner)
{
    setObjectName(QStringLiteral("velkar-client"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMinimumSize(1, 1);
    setFocusPolicy(Qt::StrongFocus);
}

QSize ClientWidget::sizeHint() const { return intendedSize; }

void ClientWidget::paintEvent(QPaintEvent*)
{
    if (!IsLiveWindow(owner_)) return;
    if (owner_->pictureInStore && !owner_->invalid && PaintDevice() == backingStore()->paintDevice()) {
        const QImage* image = nullptr;
        QPoint at;
        if (PictureStillInStore(owner_, &image, &at)) return;  // shown as it is
        owner_->pictureInStore = false;  // gone with Qt's store: drawn anew
        owner_->invalid = owner_->eraseDue = true;
    }
    if (PaintIntoBackingStore(this, owner_)) return;
    if (!owner_->invalid) CatchUpBackBuffer(owner_);  // painted elsewhere, a grab: from the back buffer
    if (owner_->invalid) {
        // What this cycle draws is shown below: no second paint event is asked for.
        owner_->inPaintEvent = true;
        RunPaintCycle(owner_);
        if (IsLiveWindow(owner_)) owner_->inPaintEvent = false;
    }
    QPainter p(this);
    p.drawImage(0, 0, owner_->backBuffer);
}

void ClientWidget::resizeEvent(QResizeEvent* event)
{
    const QSize s = event->size();
    if (s.isEmpty() || s == owner_->backBuffer.size()) return;
    // The class redraws on every resize: a fresh white buffer and a full paint.
    owner_->backBuffer = QImage(s, QImage::Format_RGB32);
    owner_->backBuffer.fill(Qt::white);
    owner_->pictureInStore = false;
    owner_->invalid = true;
    owner_->eraseDue = true;
}

MainFrame::MainFrame(PlatformWindow* owner) : QWidget(nullptr), owner_(owner) {}

void MainFrame::closeEvent(QCloseEvent* event)
{
    // The window closes only when its procedure destroys it.
    event->ignore();
    if (IsLiveWindow(owner_)) SendWindowMessage(owner_, kMsgClose, 0, 0);
}

// ---- Paint cycle -----------------------------------------------------------------------

namespace {

void WriteScreenshot(const QImage& image)
{
    const char* path = ScreenshotPath();
    if (path == nullptr || *path == '\0') return;
    // A reader never sees half a file: write beside it, then rename over it.
    const std::string target = path;
    const std::string temporary = target + ".tmp";
    if (!image.save(QString::fromStdString(temporary), "PNG")) {
        std::remove(temporary.c_str());
        return;
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) std::remove(temporary.c_str());
}

}  // namespace

void RunPaintCycle(WindowHandle window)
{
    if (!IsLiveWindow(window) || window->kind != PlatformWindow::MainWindow) return;
    if (window->backBuffer.isNull()) return;
    if (!window->eraseDue) CatchUpBackBuffer(window);  // drawn over: it must be level
    window->pictureInStore = false;
    window->erasedThisPaint = false;
    if (window->eraseDue) {
        window->whitePending = true;  // filled by the first drawing, around what it covers
        window->eraseDue = false;
        window->erasedThisPaint = true;
    }
    window->invalid = false;
    if (window->procedure != nullptr) window->procedure(window, kMsgPaint, 0, 0);
    if (!IsLiveWindow(window)) return;
    FinishErase(window);
    WriteScreenshot(window->backBuffer);
}

// ---- Classes and the main window ------------------------------------------------------

int RegisterWindowClass(const WindowClass* windowClass)
{
    if (windowClass == nullptr || windowClass->className == nullptr || windowClass->procedure == nullptr) return 0;
    if (FindClass(windowClass->className) != nullptr) return 0;
    Classes().push_back(ClassRecord{windowClass->className, *windowClass});
    return 1;
}

WindowHandle CreateMainWindow(const char16_t* className, const char16_t* title, uint32_t style, int32_t x, int32_t y,
                              int32_t width, int32_t height)
{
    EnsureQtApplication();
    const WindowClass* wc = FindClass(className);
    if (wc == nullptr) return nullptr;

    auto* window = new PlatformWindow;
    window->kind = PlatformWindow::MainWindow;
    window->procedure = wc->procedure;
    window->instance = wc->instance;

    auto* frame = new MainFrame(window);
    frame->setObjectName(QStringLiteral("velkar-main"));
    frame->setWindowTitle(QStringOfText(title));
    frame->setProperty(kHandleProperty, QVariant::fromValue(reinterpret_cast<quintptr>(window)));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* client = new ClientWidget(window, frame);
    layout->addWidget(client, 1);
    window->widget = frame;
    window->client = client;

    const int clientWidth = (width == kUseDefault || width <= 0) ? kDefaultClientWidth : width;
    const int clientHeight = (height == kUseDefault || height <= 0) ? kDefaultClientHeight : height;
    window->backBuffer = QImage(clientWidth, clientHeight, QImage::Format_RGB32);
    window->backBuffer.fill(Qt::white);
    window->invalid = true;
    window->eraseDue = true;
    ApplyClientSize(window, clientWidth, clientHeight);
    if (x != kUseDefault && y != kUseDefault) frame->move(x, y);

    if (wc->iconId != 0) {
        if (IconHandle icon = LoadIconResource(wc->instance, wc->iconId)) {
            frame->setWindowIcon(QIcon(QPixmap::fromImage(icon->image)));
            DestroyIconHandle(icon);
        }
    }
    RegisterWindow(window);

    // The create message runs before creation returns; -1 refuses the window.
    if (window->procedure(window, kMsgCreate, 0, 0) == -1) {
        DestroyMainWindow(window);
        return nullptr;
    }
    if (!IsLiveWindow(window)) return nullptr;
    ApplyClientSize(window, clientWidth, clientHeight);
    if (style & kStyleVisible) frame->show();
    return window;
}

void ShowMainWindow(WindowHandle window, int showMode)
{
    if (!IsLiveWindow(window) || window->widget == nullptr) return;
    if (showMode == 0)
        window->widget->hide();
    else
        window->widget->show();
}

void UpdateWindowNow(WindowHandle window)
{
    if (!IsLiveWindow(window) || window->kind != PlatformWindow::MainWindow) return;
    if (window->invalid) RunPaintCycle(window);
    if (IsLiveWindow(window) && window->client != nullptr) window->client->update();
}

intptr_t DefaultWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgClose:
        DestroyMainWindow(window);
        return 0;
    default:
        return 0;
    }
}

int DestroyMainWindow(WindowHandle window)
{
    if (!IsLiveWindow(window) || window->kind != PlatformWindow::MainWindow) return 0;
    StopAllTimers(window);
    if (window->procedure != nullptr) window->procedure(window, kMsgDestroy, 0, 0);
    window->destroyed = true;
    if (QWidget* top = window->widget) {
        // A message box or dialog may be running its loop over this window (a tick
        // closing it from inside the box): the loop is ended first and the frame,
        // which owns the box, is freed only after the loop has returned.
        EndModalLoopsOver(top);
        top->hide();
        top->setProperty(kHandleProperty, QVariant());
        if (modalLoops > 0)
            PendingDeletes().emplace_back(top);
        else
            top->deleteLater();
    }
    // The record stays allocated (marked dead) so that a stale handle is refused
    // rather than followed.
    return 1;
}

intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (!IsLiveWindow(window) || window->procedure == nullptr) return 0;
    return window->procedure(window, message, wParam, lParam);
}

void PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    QMetaObject::invokeMethod(
        qApp,
        [window, message, wParam, lParam]() {
            if (IsLiveWindow(window)) SendWindowMessage(window, message, wParam, lParam);
        },
        Qt::QueuedConnection);
}

void InvalidateWindow(WindowHandle window, int erase)
{
    if (!IsLiveWindow(window)) return;
    if (window->kind == PlatformWindow::Dialog) {
        if (window->widget) window->widget->update();
        return;
    }
    if (window->kind != PlatformWindow::MainWindow) return;
    window->invalid = true;
    if (erase) window->eraseDue = true;
    if (window->client != nullptr) window->client->update();
}
