// Modal dialogs built from templates: dialog units become pixels through the
// dialog font's base units (x * averageWidth / 4, y * height / 8); controls are
// push buttons, check boxes, edits, static texts and icons, drop-down combo boxes
// and list boxes, found by id; their notifications reach the dialog procedure as
// message 273 with wParam = id | code << 16.
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QValidator>
#include <QTimer>

#include <algorithm>

#include "base/text.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kBsCheckBox = 0x2;
constexpr uint32_t kBsTypeMask = 0xF;
constexpr uint32_t kCbsSimple = 0x1;
constexpr uint32_t kCbsDropDownList = 0x3;
constexpr uint32_t kCbsTypeMask = 0x3;
constexpr uint32_t kSsTypeMask = 0x1F;
constexpr uint32_t kIdOk = 1;
constexpr uint32_t kIdCancel = 2;
constexpr intptr_t kListError = -1;
constexpr const char* kIdProperty = "velkarControlId";
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

class TemplateDialog;

// Sends a notification to the dialog procedure.
void Notify(WindowHandle dialog, int32_t id, uint32_t code)
{
    if (!IsLiveWindow(dialog) || !dialog->notifying || dialog->procedure == nullptr) return;
    dialog->procedure(dialog, kMsgCommand, MakeWParam(static_cast<uint32_t>(id), code), 0);
}

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

// A single-line edit without horizontal scrolling takes only what fits its width.
// Typing is checked; text set by the procedure is taken whole, as on the handheld.
class FitsWidthValidator : public QValidator {
public:
    explicit FitsWidthValidator(QLineEdit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& input, int&) const override
    {
        const int frame = edit_->hasFrame() ? edit_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
        const QMargins m = edit_->textMargins();
        const int room = edit_->width() - 2 * frame - m.left() - m.right() - 4;  // 2 pixels a side inside
        return QFontMetrics(edit_->font()).horizontalAdvance(input) <= room ? Acceptable : Invalid;
    }

private:
    QLineEdit* edit_;
};

QWidget* MakeControl(const ControlTemplate& c, WindowHandle dialog, TemplateDialog* parent, InstanceHandle instance)
{
    const QString text = QStringOfText(c.text);
    const int32_t id = c.id;
    switch (c.kind) {
    case ControlKind::Button: {
        const uint32_t type = c.style & kBsTypeMask;
        if (type == kBsAutoCheckBox || type == kBsCheckBox) {
            auto* box = new QCheckBox(text, parent);
            const bool automatic = type == kBsAutoCheckBox;
            QObject::connect(box, &QCheckBox::clicked, box, [box, dialog, id, automatic](bool) {
                // A plain check box leaves its state to the procedure.
                if (!automatic) box->setChecked(!box->isChecked());
                Notify(dialog, id, kNotifyClicked);
            });
            return box;
        }
        auto* button = new QPushButton(text, parent);
        button->setAutoDefault(false);
        if (type == kBsDefPushButton) {
            button->setDefault(true);
            parent->defaultButton = button;
        }
        QObject::connect(button, &QPushButton::clicked, button, [dialog, id]() { Notify(dialog, id, kNotifyClicked); });
        return button;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, parent);
        edit->setReadOnly((c.style & kEsReadOnly) != 0);
        edit->setFrame((c.style & kWsBorder) != 0);
        edit->setTextMargins(0, 0, 0, 0);
        if (!(c.style & kEsAutoHScroll)) edit->setValidator(new FitsWidthValidator(edit));
        return edit;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if ((c.style & kSsTypeMask) == kSsIcon) {
            if (IconHandle icon = LoadIconResource(instance, c.iconId)) {
                label->setPixmap(QPixmap::fromImage(icon->image));
                DestroyIconHandle(icon);
            }
        } else {
            label->setText(text);
            label->setWordWrap(true);
        }
        return label;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        const uint32_t type = c.style & kCbsTypeMask;
        combo->setEditable(type == kCbsSimple || type == kCbsDropDown);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(8);
        if (combo->isEditable()) combo->setEditText(text);
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [dialog, id](int) { Notify(dialog, id, kNotifySelChange); });
        return combo;
    }
    case ControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setFrameShape((c.style & kWsBorder) ? QFrame::StyledPanel : QFrame::NoFrame);
        list->setVerticalScrollBarPolicy((c.style & kWsVScroll) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        if (c.style & kLbsNotify) {
            // Notified once the selection itself has moved: a mouse press moves the
            // current row first, and the procedure asks for the selection at once.
            QObject::connect(list, &QListWidget::itemSelectionChanged, list,
                             [dialog, id]() { Notify(dialog, id, kNotifySelChange); });
        }
        return list;
    }
    }
    return nullptr;
}

QWidget* ControlOf(WindowHandle dialog, int32_t id)
{
    if (!IsLiveWindow(dialog) || dialog->kind != PlatformWindow::Dialog || dialog->widget == nullptr) return nullptr;
    for (QWidget* w : dialog->widget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        QVariant v = w->property(kIdProperty);
        if (v.isValid() && v.toInt() == id) return w;
    }
    return nullptr;
}

// Runs a control message with the dialog's notifications held back: only what the
// user does is reported, as the controls do on the handheld.
template <typename F>
intptr_t Quietly(WindowHandle dialog, F&& f)
{
    const bool was = dialog->notifying;
    dialog->notifying = false;
    intptr_t result = f();
    dialog->notifying = was;
    return result;
}

int ListSelection(QListWidget* list)
{
    QListWidgetItem* item = list->currentItem();
    return (item != nullptr && item->isSelected()) ? list->currentRow() : -1;
}

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
        QWidget* w = MakeControl(c, handle, dialog, instance);
        if (w == nullptr) continue;
        w->setObjectName(c.id == kNoId ? QStringLiteral("ctl-static") : QStringLiteral("ctl-%1").arg(c.id));
        w->setProperty(kIdProperty, c.id);
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

int SetDlgItemText(WindowHandle dialog, int32_t id, const char16_t* text)
{
    QWidget* w = ControlOf(dialog, id);
    if (w == nullptr) return 0;
    const QString t = QStringOfText(text);
    Quietly(dialog, [&]() -> intptr_t {
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setText(t);
            e->setCursorPosition(0);
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            l->setText(t);
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            b->setText(t);
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            if (c->isEditable()) c->setEditText(t);
        }
        return 1;
    });
    return 1;
}

int GetDlgItemText(WindowHandle dialog, int32_t id, char16_t* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0) return 0;
    buffer[0] = 0;
    QWidget* w = ControlOf(dialog, id);
    if (w == nullptr) return 0;
    QString t;
    if (auto* e = qobject_cast<QLineEdit*>(w))
        t = e->text();
    else if (auto* l = qobject_cast<QLabel*>(w))
        t = l->text();
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        t = b->text();
    else if (auto* c = qobject_cast<QComboBox*>(w))
        t = c->currentText();
    const std::u16string units(reinterpret_cast<const char16_t*>(t.utf16()), static_cast<size_t>(t.size()));
    return static_cast<int>(CopyText(buffer, static_cast<size_t>(capacity), units.c_str()));
}

intptr_t SendDlgItemMessage(WindowHandle dialog, int32_t id, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    QWidget* w = ControlOf(dialog, id);
    if (w == nullptr) return 0;
    return Quietly(dialog, [&]() -> intptr_t {
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            switch (message) {
            case kCheckBoxGetCheck: return box->isChecked() ? 1 : 0;
            case kCheckBoxSetCheck: box->setChecked(wParam != 0); return 0;
            default: return 0;
            }
        }
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            switch (message) {
            case kComboAddString: {
                if (lParam == 0) return kListError;
                const int before = combo->currentIndex();
                const QString edit = combo->currentText();
                combo->addItem(QStringOfText(reinterpret_cast<const char16_t*>(lParam)));
                // Adding a string never selects it.
                if (before == -1) {
                    combo->setCurrentIndex(-1);
                    if (combo->isEditable()) combo->setEditText(edit);
                }
                return combo->count() - 1;
            }
            case kComboGetCurSel: return combo->currentIndex();
            case kComboSetCurSel: {
                const intptr_t index = static_cast<intptr_t>(wParam);
                if (index < 0 || index >= combo->count()) {
                    combo->setCurrentIndex(-1);
                    if (combo->isEditable()) combo->setEditText(QString());
                    return kListError;
                }
                combo->setCurrentIndex(static_cast<int>(index));
                return index;
            }
            default: return 0;
            }
        }
        if (auto* list = qobject_cast<QListWidget*>(w)) {
            switch (message) {
            case kListAddString:
                if (lParam == 0) return kListError;
                list->addItem(QStringOfText(reinterpret_cast<const char16_t*>(lParam)));
                return list->count() - 1;
            case kListGetCurSel: return ListSelection(list);
            case kListSetCurSel: {
                const intptr_t index = static_cast<intptr_t>(wParam);
                if (index < 0 || index >= list->count()) {
                    list->setCurrentRow(-1);
                    list->clearSelection();
                    return kListError;
                }
                list->setCurrentRow(static_cast<int>(index));
                return index;
            }
            default: return 0;
            }
        }
        return 0;
    });
}

void RedrawDialog(WindowHandle dialog)
{
    if (!IsLiveWindow(dialog) || dialog->widget == nullptr) return;
    dialog->widget->repaint();
}
