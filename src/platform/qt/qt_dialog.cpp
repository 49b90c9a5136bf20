// Modal dialogs built from templates: dialog units become pixels through the
// dialog font's base units (x * averageWidth / 4, y * height / 8); Escape and the
// title bar's close button send command 2, Return the default button's command.
// The controls are built and driven in qt_controls.cpp.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "platform/qt/qt_dialog_parts.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kIdOk = 1;
constexpr uint32_t kIdCancel = 2;
constexpr const char* kHandleProperty = "velkarHandle";

// The font a template names, or the default sans at the same size when the
// named face is not installed.
QFont DialogFont(const DialogTemplate* t)
{
    const int points = (t != nullptr && t->fontPoints > 0 && t->fontPoints < 200) ? t->fontPoints : 8;
    QString family = t != nullptr ? QStringOfText(t->fontName) : QString();
    if (family.isEmpty() || !QFontDatabase::families().contains(family, Qt::CaseInsensitive))
        family = DefaultFontFamily();
    QFont font(family);
    font.setPointSize(points);
    return font;
}

struct BaseUnits {
    int width;   // average character width, pixels
    int height;  // character cell height, pixels
};

BaseUnits BaseUnitsOf(const QFont& font)
{
    // The average over the 52 letters, rounded, as the dialog manager takes it.
    const QFontMetrics metrics(font);
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int total = metrics.horizontalAdvance(letters);
    return BaseUnits{std::max(1, (total / 26 + 1) / 2), std::max(1, metrics.height())};
}

int DuToPxX(int du, BaseUnits b) { return static_cast<int>(static_cast<int64_t>(du) * b.width / 4); }
int DuToPxY(int du, BaseUnits b) { return static_cast<int>(static_cast<int64_t>(du) * b.height / 8); }

}  // namespace

// Sends a notification to the dialog procedure.
void Notify(WindowHandle dialog, int32_t id, uint32_t code)
{
    if (!IsLiveWindow(dialog) || !dialog->notifying || dialog->procedure == nullptr) return;
    dialog->procedure(dialog, kMsgCommand, MakeWParam(static_cast<uint32_t>(id), code), 0);
}

namespace {

class TemplateDialog : public QDialog {
public:
    TemplateDialog(WindowHandle handle, QWidget* parent, uint32_t style)
        : QDialog(parent), handle_(handle), style_(style)
    {
    }

    QPushButton* defaultButton = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Escape:
            // Cancel goes to the procedure as command 2; the dialog decides.
            event->accept();
            Notify(handle_, kIdCancel, kNotifyClicked);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            event->accept();
            if (auto* focused = qobject_cast<QPushButton*>(focusWidget()); focused != nullptr && focused->isEnabled()) {
                focused->click();
            } else if (defaultButton != nullptr && defaultButton->isEnabled()) {
                defaultButton->click();
            } else {
                Notify(handle_, kIdOk, kNotifyClicked);
            }
            return;
        }
        default:
            QDialog::keyPressEvent(event);
        }
    }

    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        if (IsLiveWindow(handle_) && !handle_->ended) Notify(handle_, kIdCancel, kNotifyClicked);
    }

    void reject() override
    {
        if (IsLiveWindow(handle_) && !handle_->ended) Notify(handle_, kIdCancel, kNotifyClicked);
    }

    void showEvent(QShowEvent* event) override
    {
        QDialog::showEvent(event);
        if (style_ & kDsSetForeground) {
            raise();
            activateWindow();
        }
    }

private:
    WindowHandle handle_;
    uint32_t style_;
};

}  // namespace

void DialogBaseUnits(const DialogTemplate* dialogTemplate, int* averageWidth, int* height)
{
    EnsureQtApplication();
    const BaseUnits b = BaseUnitsOf(DialogFont(dialogTemplate));
    if (averageWidth != nullptr) *averageWidth = b.width;
    if (height != nullptr) *height = b.height;
}

intptr_t RunDialog(InstanceHandle instance, int32_t templateId, WindowHandle owner, DialogProc procedure,
                   intptr_t initValue)
{
    EnsureQtApplication();
    const DialogTemplate* t = FindDialogTemplate(instance, templateId);
    if (t == nullptr || procedure == nullptr) return -1;

    auto* handle = new PlatformWindow;
    handle->kind = PlatformWindow::Dialog;
    handle->procedure = procedure;
    handle->instance = instance;
    handle->templateId = templateId;

    QWidget* ownerWidget = IsLiveWindow(owner) ? owner->widget.data() : nullptr;
    auto* dialog = new TemplateDialog(handle, ownerWidget, t->style);
    dialog->setObjectName(QStringLiteral("dlg-%1").arg(templateId));
    dialog->setProperty(kHandleProperty, QVariant::fromValue(reinterpret_cast<quintptr>(handle)));
    dialog->setWindowTitle(QStringOfText(t->title));
    dialog->setModal(true);
    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
    if (t->exStyle & kWsExToolWindow) flags = (flags & ~Qt::WindowType_Mask) | Qt::Tool;
    dialog->setWindowFlags(flags);
    const QFont font = DialogFont(t);
    dialog->setFont(font);
    const BaseUnits b = BaseUnitsOf(font);
    handle->widget = dialog;
    QPointer<TemplateDialog> guard(dialog);

    for (int32_t i = 0; i < t->controlCount; ++i) {
        const ControlTemplate& c = t->controls[i];
        QWidget* w = MakeControl(c, handle, dialog, &dialog->defaultButton, instance);
        if (w == nullptr) continue;
        w->setObjectName(c.id == kNoId ? QStringLiteral("ctl-static") : QStringLiteral("ctl-%1").arg(c.id));
        w->setProperty(kControlIdProperty, c.id);
        int height = DuToPxY(c.height, b);
        if (c.kind == ControlKind::ComboBox) {
            // The template's height includes the drop-down list; the field itself
            // is one line high.
            height = std::min(height, std::max(DuToPxY(12, b), w->sizeHint().height()));
        }
        w->setGeometry(DuToPxX(c.x, b), DuToPxY(c.y, b), DuToPxX(c.width, b), height);
    }
    dialog->setFixedSize(DuToPxX(t->width, b), DuToPxY(t->height, b));

    RegisterWindow(handle);
    handle->notifying = true;
    procedure(handle, kMsgInitDialog, 0, initValue);

    intptr_t result = handle->endCode;
    if (IsLiveWindow(handle) && !handle->ended) {
        if (t->style & kDsCenter) {
            const QScreen* screen = ownerWidget != nullptr && ownerWidget->screen() != nullptr ? ownerWidget->screen()
                                                                                                : QGuiApplication::primaryScreen();
            if (screen != nullptr) {
                const QRect area = screen->availableGeometry();
                dialog->move(area.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
            }
        } else if (IsLiveWindow(owner) && owner->client != nullptr) {
            // Without centring the template's position counts from the owner's client area.
            dialog->move(owner->client->mapToGlobal(QPoint(DuToPxX(t->x, b), DuToPxY(t->y, b))));
        } else {
            dialog->move(DuToPxX(t->x, b), DuToPxY(t->y, b));
        }
        EnterModalLoop();
        dialog->exec();
        LeaveModalLoop();
        result = handle->endCode;
    }
    StopAllTimers(handle);
    UnregisterWindow(handle);
    handle->destroyed = true;
    // Destroying the owner while the dialog ran takes the dialog with it.
    if (!guard.isNull()) {
        guard->setProperty(kHandleProperty, QVariant());
        delete guard.data();
    }
    delete handle;
    return result;
}

int EndDialog(WindowHandle dialog, intptr_t code)
{
    if (!IsLiveWindow(dialog) || dialog->kind != PlatformWindow::Dialog) return 0;
    dialog->endCode = code;
    dialog->ended = true;
    StopAllTimers(dialog);
    if (auto* d = qobject_cast<QDialog*>(dialog->widget.data())) d->done(0);
    return 1;
}

void RedrawDialog(WindowHandle dialog)
{
    if (!IsLiveWindow(dialog) || dialog->widget == nullptr) return;
    dialog->widget->repaint();
}
