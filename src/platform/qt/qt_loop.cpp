// The message loop with its accelerators, quitting, and message boxes (on standard
// error where nobody can answer one). Runs on the user-interface thread; a box
// asked for from another thread waits for it there.
#include <QApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>
#include <QShortcut>
#include <QThread>

#include <cstdio>
#include <map>

#include "platform/demo_root.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/qt/qt_app_parts.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

bool quitPosted = false;
bool inMainLoop = false;
int quitCode = 0;

}  // namespace

void ResetQuitState()
{
    quitPosted = false;
    quitCode = 0;
}

// ---- Message loop ----------------------------------------------------------------

struct PlatformAccelerators {
    const AcceleratorResource* table;
};

AcceleratorHandle LoadAcceleratorTable(InstanceHandle instance, int32_t id)
{
    const AcceleratorResource* table = FindAccelerators(instance, id);
    if (table == nullptr) return nullptr;
    // A table loaded from the resources is shared and lives as long as the
    // program, like the resources themselves: loading it again gives the same handle.
    static auto* loaded = new std::map<const AcceleratorResource*, PlatformAccelerators*>;
    PlatformAccelerators*& handle = (*loaded)[table];
    if (handle == nullptr) handle = new PlatformAccelerators{table};
    return handle;
}

namespace {

// Virtual-key code to the toolkit's key; 0 for keys this layer does not map.
int QtKeyOfVirtualKey(uint16_t vk)
{
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x7B) return Qt::Key_F1 + (vk - 0x70);
    switch (vk) {
    case 0x08: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case 0x0D: return Qt::Key_Return;
    case 0x1B: return Qt::Key_Escape;
    case 0x20: return Qt::Key_Space;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x2E: return Qt::Key_Delete;
    default: return 0;
    }
}

void InstallAccelerators(WindowHandle window, AcceleratorHandle accelerators)
{
    if (accelerators == nullptr || accelerators->table == nullptr || !IsLiveWindow(window)) return;
    QWidget* top = window->widget;
    if (top == nullptr) return;
    const AcceleratorResource* t = accelerators->table;
    for (int32_t i = 0; i < t->entryCount; ++i) {
        const AcceleratorEntry& e = t->entries[i];
        QKeyCombination combination(Qt::Key_unknown);
        Qt::KeyboardModifiers modifiers;
        if (e.flags & 0x04) modifiers |= Qt::ShiftModifier;
        if (e.flags & kAccelControl) modifiers |= Qt::ControlModifier;
        if (e.flags & 0x10) modifiers |= Qt::AltModifier;
        int key = (e.flags & kAccelVirtKey) ? QtKeyOfVirtualKey(e.key) : static_cast<int>(QChar(e.key).toUpper().unicode());
        if (key == 0) continue;
        combination = QKeyCombination(modifiers, static_cast<Qt::Key>(key));
        auto* shortcut = new QShortcut(QKeySequence(combination), top);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setObjectName(QStringLiteral("accel-%1").arg(e.command));
        const uint16_t command = e.command;
        QObject::connect(shortcut, &QShortcut::activated, top, [window, command]() {
            if (IsLiveWindow(window)) SendWindowMessage(window, kMsgCommand, command, 0);
        });
        if (e.flags & kAccelLast) break;
    }
}

}  // namespace

int RunMessageLoop(WindowHandle window, AcceleratorHandle accelerators)
{
    EnsureQtApplication();
    InstallAccelerators(window, accelerators);
    // A quit posted before the loop ends it at once, as a quit message already
    // waiting in the queue would; it is used up either way.
    if (!quitPosted) {
        inMainLoop = true;
        QApplication::exec();
        inMainLoop = false;
    }
    quitPosted = false;
    return quitCode;
}

void PostQuit(int exitCode)
{
    quitPosted = true;
    quitCode = exitCode;
    // Ends the main loop and any modal loop inside it. Outside the main loop the
    // toolkit would instead refuse every later modal loop, so only the flag is set.
    if (inMainLoop && QCoreApplication::instance() != nullptr) QCoreApplication::exit(exitCode);
}

// ---- Message boxes ---------------------------------------------------------------

void ShowMessageBox(WindowHandle owner, const char16_t* text, const char16_t* caption)
{
    EnsureQtApplication();
    const QString t = QStringOfText(text);
    const QString c = QStringOfText(caption);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        // Nobody can answer a box here: say it on standard error and go on.
        std::fprintf(stderr, "%s: %s\n", c.toUtf8().constData(), t.toUtf8().constData());
        std::fflush(stderr);
        return;
    }
    auto show = [owner, t, c]() {
        QWidget* parent = IsLiveWindow(owner) ? static_cast<QWidget*>(owner->widget) : nullptr;
        // On the heap and watched: the box belongs to its owner's frame, which a
        // close during the loop may end (see DestroyMainWindow).
        QPointer<QMessageBox> box = new QMessageBox(QMessageBox::NoIcon, c, t, QMessageBox::Ok, parent);
        box->setObjectName(QStringLiteral("velkar-messagebox"));
        EnterModalLoop();
        box->exec();
        LeaveModalLoop();
        delete box.data();
    };
    // Widgets live on the user-interface thread; another thread waits there.
    if (QThread::currentThread() != qApp->thread())
        QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
    else
        show();
}
